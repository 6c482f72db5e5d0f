// Messages and captions of the polygraph tools.
#pragma once

namespace velor {

inline constexpr const char kPoliCount[] = "Число событий=";
inline constexpr const char kPoliTooFew[] = "Мало событий: <3!";
inline constexpr const char kPoliTooMany[] = "Много событий: >500!";
inline constexpr const char kPoliAmplitudeMean[] = "Средняя амплитуда=";
inline constexpr const char kPoliIntervalMean[] = "Средний интервал=";
inline constexpr const char kPoliSd[] = "   Cт.откл=";
// Not given by the window itself: the guards of the histograms and tables.
inline constexpr const char kPoliTableFull[] =
    "Таблица событий заполнена (2048): подсчёт остановлен, остальные события не учтены";
inline constexpr const char kPoliHistTooFew[] = "Гистограмма: нужно не меньше двух значений";
inline constexpr const char kPoliHistEqual[] = "Гистограмма: все значения равны, ширина класса равна нулю";
inline constexpr const char kPoliHistFlat[] = "Гистограмма: дисперсия D = 0, асимметрия и эксцесс не определены";
inline constexpr const char kPoliFormulaFault[] = "Ошибка вычисления формулы: ";

}  // namespace velor
