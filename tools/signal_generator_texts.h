// Texts of the signal generator "Генератор".
#pragma once

namespace velor::generator_texts {

inline constexpr const char* kCaption = "Генератор";
inline constexpr const char* kFrequencyTooHigh = "Частота сигнала не может превышать десятикратной от дискретизации!";
inline constexpr const char* kFrequencyNotPositive = "Частота сигнала должна быть больше нуля!";
inline constexpr const char* kScaleTitle = "Масштаб вейвлета";
inline constexpr const char* kScalePrompt = "Введите масштаб 1-10";
inline constexpr const char* kScaleBad = "Масштаб вейвлета должен быть больше нуля!";
inline constexpr const char* kNoCalibration = "Калибровка канала равна нулю";

}  // namespace velor::generator_texts
