// Texts of the transformations window and its messages.
#pragma once

namespace velor {

inline constexpr const char* kTrnCaption = "Преобразования";
inline constexpr const char* kTrnSettingsFile = "qtrn.ini";
inline constexpr const char* kTrnAllChannels = "Все каналы";
inline constexpr const char* kTrnAllChannelsHint = "Распространение вышерасположенных операций на все каналы";
inline constexpr const char* kTrnAmplitude = "&1=ИзмАмпл=";
inline constexpr const char* kTrnAmplitudeHint = "Изменить амплитуду сигнала в тек.точке";
inline constexpr const char* kTrnDelete = "Удалить";
inline constexpr const char* kTrnDeleteHint = "Удалить часть записи текущего канала";
inline constexpr const char* kTrnCopy = "&4=кан -> канN";
inline constexpr const char* kTrnCopyHint = "Переписать канал или выделенную часть";
inline constexpr const char* kTrnCompare = "&5=Сравнение";
inline constexpr const char* kTrnCompareHint = "сравнить выделенные части 2-х каналов";
inline constexpr const char* kTrnAverageInside = "&3=Усреднить";
inline constexpr const char* kTrnAverageInsideHint = "Усреднить запись канала";
inline constexpr const char* kTrnGenerator = "Генератор";
inline constexpr const char* kTrnGeneratorHint = "Генерация сигналов стандартной формы";
inline constexpr const char* kTrnReadChannel = "&6=Чтение, кнлN=";
inline constexpr const char* kTrnReadChannelHint = "Добавление указанного канала из файла";
inline constexpr const char* kTrnAverageFile = "&7=Усреднить";
inline constexpr const char* kTrnAverageFileHint = "Усреднить записть с файлом";
inline constexpr const char* kTrnReorganise = "&8=Реорганизовать";
inline constexpr const char* kTrnReorganiseHint = "Разделить запись на несколько записей";
inline constexpr const char* kTrnDecimate = "Проредить, шаг=";
inline constexpr const char* kTrnDecimateHint = "Кратное уменьшение частоты дискретизации";
inline constexpr const char* kTrnStandardise = "Стандарт.амплитуд";
inline constexpr const char* kTrnStandardiseHint = "Приведение к стандиртному амплитудному уровню";
inline constexpr const char* kTrnFilter = "&9=Фильтрация";
inline constexpr const char* kTrnFilterHint = "Удаление частот в полосе НЧ-ВЧ";
inline constexpr const char* kTrnGraph = "Граф";
inline constexpr const char* kTrnGraphHint = "Выдача графика АЧХ фильтра";
inline constexpr const char* kTrnSmooth = "&A=Сглаживание";
inline constexpr const char* kTrnSmoothHint = "Сглаживание по трем точкам";
inline constexpr const char* kTrnWindowSmooth = "Сг";
inline constexpr const char* kTrnNoiseHint = "Подавление помех";
inline constexpr const char* kTrnSpike = "Ф";
inline constexpr const char* kTrnDerivative = "&B=Производная";
inline constexpr const char* kTrnDerivativeHint = "Вычисление производной";
inline constexpr const char* kTrnEnvelope = "&C=Огибающая";
inline constexpr const char* kTrnEnvelopeHint = "Вычисление огибающей";
inline constexpr const char* kTrnMax = "max";
inline constexpr const char* kTrnZScores = "&D=Z-преобразован.";
inline constexpr const char* kTrnZScoresHint = "Z-преобразование";
inline constexpr const char* kTrnFormula = "&E=Формула";
inline constexpr const char* kTrnFormulaHint = "Преобразование по формуле";
inline constexpr const char* kTrnCommonRef = "&F=Общий референт";
inline constexpr const char* kTrnCommonRefHint = "Преобразование записи к общему референту";
inline constexpr const char* kTrnProgram = "&G=Программа №";
inline constexpr const char* kTrnProgramHint = "Выполнение внешней программы по указанному номеру";
inline constexpr const char* kTrnHeaderLine = "&J=Ampl";
inline constexpr const char* kTrnCancel = "<Esc>=Отменить";
inline constexpr const char* kTrnCancelHint = "Отменить меню";
inline constexpr const char* kTrnTargetN = "N:";
inline constexpr const char* kTrnLow = "НЧ=";
inline constexpr const char* kTrnHigh = "ВЧ=";
inline constexpr const char* kTrnOrder = "Порядок=";
inline constexpr const char* kTrnEps = "Eps=";
inline constexpr const char* kTrnWindowWidth = "Ширина окна=";
inline constexpr const char* kTrnTwoWay = "2-направ";
inline constexpr const char* kTrnButterworth = "Баттерворта";
inline constexpr const char* kTrnChebyshev1 = "Чебышева 1";
inline constexpr const char* kTrnChebyshev2 = "Чебышева 2";
inline constexpr const char* kTrnFourier = "Фурье";
inline constexpr const char* kTrnWavelet = "Вейвлет";
inline constexpr const char* kTrnRangeError = "Ошибка диапазона частот!";
inline constexpr const char* kTrnBoundsError = "Ошибка границ фильтрации";
inline constexpr const char* kTrnChannelError = "Ошибка задания номера канала!";
inline constexpr const char* kTrnKeepBandQuestion = "Оставить частотные составляющие в полосе НЧ-ВЧ? (\"Нет\" = удалить)";
inline constexpr const char* kTrnRemoveBandQuestion = "Удалить частоты в диапазоне? (\"Нет\" = вне диапазона)";
inline constexpr const char* kTrnResponseCaption = "Характеристика фильтра";
inline constexpr const char* kTrnCompareCaption = "График cравнения";
inline constexpr const char* kTrnAmplitudeAxis = "Амплитуда [мкВ]";
inline constexpr const char* kTrnIntervalAxis = "Интервал [с]";
inline constexpr const char* kTrnCadFilter = "Записи (*.cad)|*.cad";
inline constexpr const char* kTrnHeaderFile = "Zagolovok.txt";
inline constexpr const char* kTrnStatT = "T=";
inline constexpr const char* kTrnStatSgnT = ", sgn:=";
inline constexpr const char* kTrnStatGap1 = "      ";
inline constexpr const char* kTrnStatW = "W=";
inline constexpr const char* kTrnStatSgn = ", sgn=";
inline constexpr const char* kTrnStatCorr = "     Корреляция=";
// Not a text of the window's own: the hint of the disabled external-program command.
inline constexpr const char* kTrnProgramDisabled =
    "Внешние программы не подключены: запись обрабатывается командами velor-cli";
// Undo of the last transformation of this record.
inline constexpr const char* kTrnUndo = "Отменить преобразование";
inline constexpr const char* kTrnUndoHint = "Вернуть запись, какой она была до последнего преобразования";
inline constexpr const char* kTrnNothingToUndo = "Нет преобразования этой записи для отмены";
// Degenerate inputs the window's own texts do not cover.
inline constexpr const char* kTrnFlatChannel = "Нулевой разброс значений канала: преобразование невозможно";
inline constexpr const char* kTrnNoSelection = "Не выделен участок записи";
inline constexpr const char* kTrnOtherFileMismatch =
    "Запись файла не совпадает с текущей (частота, число каналов или длина)";
inline constexpr const char* kTrnOtherFileUnreadable = "Файл не читается: ";
inline constexpr const char* kTrnFormulaFault = "Ошибка вычисления формулы: ";
inline constexpr const char* kTrnNoChange = "Записи нет: преобразование не выполнено";

}  // namespace velor
