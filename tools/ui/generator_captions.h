// Captions of the generator window.
#pragma once

namespace velor::generator_texts {

inline constexpr const char* kWaveCaptions[8] = {"&1=Синус", "&2=Меандр", "&3=Пила", "&4=Треугольник", "&5=Белый шум", "&6=Гауссовый шум", "&7=Формула", "&8=Вейвлет Морле"};
inline constexpr const char* kWaveHints[8] = {"Синус заданной амплитуды и частоты", "Меандр заданной амплитуды и частоты", "Пила заданной амплитуды и частоты", "Пила заданной амплитуды и частоты", "Белый шум заданной амплитуды", "Гауссовый шум заданной амплитуды", "Генератор по формуле", "Генератор вейвлета"};
inline constexpr const char* kAmplitude = "Амплитуда%=";
inline constexpr const char* kAmplitudeHint = "Амплитуда сигнала в % от максимума";
inline constexpr const char* kFrequency = "Частота [Гц]=";
inline constexpr const char* kFrequencyHint = "Частота сигнала";
inline constexpr const char* kCancel = "<Esc>=Отменить";
inline constexpr const char* kCancelHint = "Отменить меню";
inline constexpr const char* kTypeGroup = "Тип";

}  // namespace velor::generator_texts
