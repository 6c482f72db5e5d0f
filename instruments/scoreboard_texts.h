// Captions, hints and list items of the scoreboard "Табло" as it shows them.
#pragma once

namespace velor::scoreboard_text {

inline constexpr const char* kScoreboardTitle = "Табло";
inline constexpr const char* kListTitle = "Выбор интегрального параметра";
inline constexpr const char* kItemSa = "Sa площ.абсолют.";
inline constexpr const char* kItemSz = "Sз  площ-с-уч.зн.";
inline constexpr const char* kItemSplus = "S+ площ.положит.";
inline constexpr const char* kItemSminus = "S-  площ.отрицат.";
inline constexpr const char* kItemMean = "A  средн.ампл.";
inline constexpr const char* kItemHex = "Hex";
inline constexpr const char* kCaptionY = "Y=";
inline constexpr const char* kHintY = "Амплитуда сигнала по визиру";
inline constexpr const char* kCaptionT = "t=";
inline constexpr const char* kHintT = "Время по визиру";
inline constexpr const char* kCaptionDY = "dY=";
inline constexpr const char* kHintDY = "Разность амплитуд между маркером и визиром";
inline constexpr const char* kCaptionDT = "dt=";
inline constexpr const char* kHintDT = "Интервал времени между маркером и визиром";
inline constexpr const char* kHintIntegral = "Значение интегрального параметра";
inline constexpr const char* kInitialIntegralButton = "Sa=";
inline constexpr const char* kHintIntegralButton = "Переустановка интегрального параметра";
inline constexpr const char* kCaptionIn = "Вх=";
inline constexpr const char* kCaptionOut = "Вых=";
inline constexpr const char* kHintIn = "Состояние регистра входных сигналов";
inline constexpr const char* kHintOut = "Состояние регистра управляющих сигналов";
inline constexpr const char* kNotebookButton = "F5=в блокн";
inline constexpr const char* kHintNotebook = "Запись значений в блокнот";
inline constexpr const char* kCaptionF = "f=";
inline constexpr const char* kCaptionDF = "df=";

}  // namespace velor::scoreboard_text
