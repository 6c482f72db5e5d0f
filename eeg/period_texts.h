// Captions and messages of the period analysis.
#pragma once

namespace velor::period_text {

inline constexpr const char* kNoRhythm = "Ритма не обнаружено!";
inline constexpr const char* kRhythmFound = "Выявлено ритма=";
inline constexpr const char* kModulation = "%, модуляция=";
inline constexpr const char* kInstability = "%, нестабильность=";
inline constexpr const char* kHistogramCaption = "Гистограммы период-анализа";
// Where the list of waves went, under the histograms (this system's own text).
inline constexpr const char* kWaveListWritten = "Список волн записан в файл ";
inline constexpr const char* kAmplitudeAxis = "Амплитуды [мкВ]";
inline constexpr const char* kPeriodAxis = "Периоды [с]";
inline constexpr const char* kProbabilityAxis = "%Вероятности";
inline constexpr const char* kMeanAmplitude = "Ср.амплитуда=";
inline constexpr const char* kDeviation = "  Ст.откл.=";
inline constexpr const char* kMeanPeriod = "Ср.период=";
inline constexpr const char* kWaveListHead = "Амплитуды    Периоды";
inline constexpr const char* kAllChannelsHeadLine = "nam А SA f Sf- Sf+ %ритма tUp-tDw % ddt %";
inline constexpr const char* kSecondsUnit = " с";
inline constexpr const char* kAllChannelsQuestion = "Обработать все каналы? \"Нет\"-текущий канал";

}  // namespace velor::period_text
