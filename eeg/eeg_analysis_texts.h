// Captions, hints and messages of the EEG analysis window and of the
// analyses it runs, in one place so that the window, the engine and the tests
// use the same bytes.
#pragma once

namespace velor::eeg_text {

inline constexpr const char* kWindowTitle = "Анализ ЭЭГ";
inline constexpr const char* kGroupSettings = "Установки";
inline constexpr const char* kGroupMethods = "Методы";
inline constexpr const char* kEpochLabel = "Эпоха=";
inline constexpr const char* kEpochHint = "Эпоха анализа";
inline constexpr const char* kShiftLabel = "Сдвиг=";
inline constexpr const char* kShiftHint = "Сдвиг следующей эпохи анализа";
inline constexpr const char* kShiftDefault = "100";
inline constexpr const char* kAverageLabel = "Усреднить=";
inline constexpr const char* kAverageHint = "Число усредняемых эпох";
inline constexpr const char* kAverageDefault = "0";
inline constexpr const char* kMeasureLabel = "Характеристика:";
inline constexpr const char* kMeasureHint = "Спектральный показатель";
inline constexpr const char* kWindowLabel = "Врем.окно:";
inline constexpr const char* kWindowHint = "Временное окно коррекции спектра";
inline constexpr const char* kBandLabel = "Диап=";
inline constexpr const char* kBandHint = "Выбор спектрального диапазона";
inline constexpr const char* kCountLabel = "N=";
inline constexpr const char* kCountHint = "Число эпох";
inline constexpr const char* kMapsButton = "&0=АмплКарты";
inline constexpr const char* kMapsHint = "Построение амплитудных карт";
inline constexpr const char* kSpectrumButton = "&1=Спектр";
inline constexpr const char* kSpectrumHint = "Частотные характеристики";
inline constexpr const char* kDiagramsButton = "&2=Диа";
inline constexpr const char* kDiagramsHint = "Диаграммы и карты по диапазонам";
inline constexpr const char* kEpochMapsButton = "&3=Эпохи";
inline constexpr const char* kEpochMapsHint = "Диаграммы и карты по эпохам";
inline constexpr const char* kReportButton = "&4=Диагноз";
inline constexpr const char* kReportHint = "Выдача заключения по Жирмунской";
inline constexpr const char* kPeriodButton = "&5=Период-анализ";
inline constexpr const char* kPeriodHint = "Период-анализа заданного ритма в выбранном диапазоне";
inline constexpr const char* kFilterButton = "&6=Фильтрация";
inline constexpr const char* kFilterHint = "Фильтрация записей в выбранном диапазоне";
inline constexpr const char* kSynchronyButton = "&8=Синхронность";
inline constexpr const char* kSynchronyHint = "Оценка синхронности";
inline constexpr const char* kLocaliseButton = "&C=Локализация";
inline constexpr const char* kLocaliseHint = "Вызов программы BrainLock";
inline constexpr const char* kBandsButton = "&A=Диапазоны";
inline constexpr const char* kBandsHint = "Установка частотных диапазонов";
inline constexpr const char* kLeadsButton = "&9=Отведения";
inline constexpr const char* kLeadsHint = "Коррекция схемы отведений и парных связей";
inline constexpr const char* kBipolarButton = "&B=Биполярные";
inline constexpr const char* kBipolarHint = "Переход к биполярному монтажу";
inline constexpr const char* kCommonRefButton = "&F=Общ.референт";
inline constexpr const char* kCommonRefHint = "Преобразование записи к общему референту";
inline constexpr const char* kNormaliseButton = "Ампл.нормир.";
inline constexpr const char* kNormaliseHint = "Нормирование амплитудного уровня";
inline constexpr const char* kCancelButton = "<Esc>=Отменить";
inline constexpr const char* kCancelHint = "Отменить меню";
inline constexpr const char* kCoherenceFallback = "Для вычисления когерентности и когерентной мощности число эпох и усреднений должно быть не меньше 5. Поэтому вычисления будут выполнены по амплитуде кросс-спектра";
inline constexpr const char* kPairFallback = "Для вычисления этой х-ки необходимо задание парных связей между отведениями. Поэтому вычисления будут выполнены по амплитуде спектра";
inline constexpr const char* kShortEpochQuestion = "Не рекомендуется выполнять спектральный анализ на эпохах короче 1 с из-за низкого частотного разрешения. Продолжить анализ?";
inline constexpr const char* kSettingsFile = "qeeg.ini";

// Items of "Характеристика:".
inline constexpr const char* kMeasures[9] = {
    "амплитуда",
    "мощность",
    "кросс-спектр",
    "крос-фаза",
    "когерентность",
    "когерентн.мощность",
    "корреляция",
    "огибающая",
    "синхронность",
};

// Refusals of degenerate input (no fixed wording elsewhere).
inline constexpr const char* kNotYet = "Пока недоступно в этой версии";
inline constexpr const char* kBadBand = "Границы выбранного диапазона заданы неверно";
inline constexpr const char* kBadPair = "Пара отведений ссылается на отсутствующий канал";
// "&B=Биполярные" without lead pairs on a record whose channels name no
// electrodes of the longitudinal chains
inline constexpr const char* kNoPairs =
    "Пары отведений не заданы, и среди каналов нет отведений системы 10-20 для продольных биполярных пар";
// "&F=Общ.референт" on a record without EEG channels
inline constexpr const char* kNoEegChannels = "В записи нет каналов ЭЭГ для общего референта";
inline constexpr const char* kNoSignal = "Нет записи для обработки";
inline constexpr const char* kInTransformView = "Сначала вернитесь к записи";
inline constexpr const char* kFlatSignal = "Сигнал без колебаний: обработка невозможна";
inline constexpr const char* kTooFewWaves = "Слишком мало волн для оценки";

}  // namespace velor::eeg_text
