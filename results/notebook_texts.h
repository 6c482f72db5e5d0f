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

// Command panel.
inline constexpr const char* kSort = "&1=Упорядочить";
inline constexpr const char* kSortHint = "Упорядочить значения по текущей gthtvtyyjq";
inline constexpr const char* kGraph = "&2=График, X=";
inline constexpr const char* kGraphHint = "Построить график зависимости";
inline constexpr const char* kStatistics = "&3=Статистика";
inline constexpr const char* kStatisticsHint = "Выдать статистику переменных";
inline constexpr const char* kEvaluate = "&4=Вычислить";
inline constexpr const char* kEvaluateHint = "Преобразования по формуле";
inline constexpr const char* kCompute = "&5=Преобразовать";
inline constexpr const char* kComputeHint = "Преобразования по формуле";
inline constexpr const char* kClear = "&6=Очистить";
inline constexpr const char* kClearHint = "Очистить блокнот";
inline constexpr const char* kPrint = "  F2=Печать   ";
inline constexpr const char* kPrintHint = "Печать содержимого блокнота";
inline constexpr const char* kRead = "  F3=Читать   ";
inline constexpr const char* kReadHint = "Ввести файл";
inline constexpr const char* kSave = "F4=Сохранить";
inline constexpr const char* kSaveHint = "Сохранить";
inline constexpr const char* kExit = "F10=Выход";
inline constexpr const char* kExitHint = "Выйти из блокнота";
inline constexpr const char* kCancel = "Отменить";
inline constexpr const char* kCancelHint = "Отменить меню";
inline constexpr const char* kGraphXHint = "Номер независимой переменной";
inline constexpr const char* kGraphXItems[6] = {"X", "Y", "dX", "dY", "S", "№"};

// Refusals and notices of this implementation.
inline constexpr const char* kEmpty = "Блокнот пуст";
inline constexpr const char* kOneRow = "Для статистики нужно не менее двух строк";
inline constexpr const char* kEqualValues = "Все значения равны: асимметрия, эксцесс и гистограмма не определены";
inline constexpr const char* kFull = "Блокнот заполнен: 999 строк";
inline constexpr const char* kFileCut = "В блокноте 999 строк: остальные строки файла не прочитаны";
inline constexpr const char* kNotNotebook = "Это не файл блокнота: ";

}  // namespace velor::notebook_texts
