// Texts of the notebook "Блокнот" and its command panel.
#pragma once

namespace velor::notebook_texts {

inline constexpr const char* kCaption = "Блокнот";
inline constexpr const char* kFileFilter = "Блокнот (*.cab)|*.cab";
inline constexpr const char* kHeaderCells[6] = {" N", "  X", "  Y", "  dX", "  dY", "  S"};
// Captions of the graph's independent variable, and the graph's caption pieces.
inline constexpr const char* kGraphCaption = "График блокнота: ";
inline constexpr const char* kHistogramCaption = "Гистограмма блокнота";
inline constexpr const char* kStatisticsCaption = "Статистика блокнота";
inline constexpr const char* kSize = "Размер=";
inline constexpr const char* kMean = "   Среднее=";
inline constexpr const char* kRange = "Размах=";
inline constexpr const char* kDeviation = "   Ст.отклонение=";
inline constexpr const char* kSkewness = "Асиметрия=";
inline constexpr const char* kKurtosis = "   Эксцесс=";
inline constexpr const char* kResult = "Результат=";
inline constexpr const char* kAddedRow = "Запись в блокнот=";

// Refusals and notices of this implementation.
inline constexpr const char* kEmpty = "Блокнот пуст";
inline constexpr const char* kOneRow = "Для статистики нужно не менее двух строк";
inline constexpr const char* kEqualValues = "Все значения равны: асимметрия, эксцесс и гистограмма не определены";
inline constexpr const char* kFull = "Блокнот заполнен: 999 строк";
inline constexpr const char* kFileCut = "В блокноте 999 строк: остальные строки файла не прочитаны";
inline constexpr const char* kNotNotebook = "Это не файл блокнота: ";

}  // namespace velor::notebook_texts
