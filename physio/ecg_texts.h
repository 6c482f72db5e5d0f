// Texts of the ECG analysis: captions, messages and report lines.
#pragma once

namespace velor {

inline constexpr const char* kEcgTooFewIntervals = "Мало RR-интервалов: <3 или же есть артефакты!";
inline constexpr const char* kEcgNoSampleRate = "Частота дискретизации не задана: R-зубцы не выделить.";
inline constexpr const char* kEcgHalfWidthZero =
    "Полуширина R-зубца меньше половины отсчёта: ширина фильтра 0, R-зубцы не выделить.";
inline constexpr const char* kEcgRefractoryZero =
    "Макс.частота СС так велика, что шаг после R-зубца 0 отсчётов: R-зубцы не выделить.";
inline constexpr const char* kEcgNoValue = "—";

}  // namespace velor
