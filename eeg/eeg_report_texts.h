// Captions, phrases and messages of the clinical EEG report.
#pragma once

namespace velor::eeg_report_text {

inline constexpr const char* kDegreeCategory = "Степень нарушения ЭЭГ:";
inline constexpr const char* kDegreePhrases[7] = {
    " не определена.",
    " норма.",
    " легкая.",
    " умеренная.",
    " значительная.",
    " грубая.",
    " очень грубая.",
};
inline constexpr const char* kMainCategory = "Главные компоненты ЭЭГ:";
inline constexpr const char* kMainPhrases[5] = {
    " бета-активность.",
    " альфа-активность",
    " тета-активность.",
    " дельта-активность.",
    " смешанная.",
};
inline constexpr const char* kAmplitudeCategory = " с амплитудой:";
inline constexpr const char* kAmplitudePhrases[5] = {
    " очень низкая",
    " низкая",
    " средняя",
    " высокая",
    " очень высокая",
};
inline constexpr const char* kAlphaCategory = " характеристика:";
inline constexpr const char* kAlphaPhrases[7] = {
    " альфа-активность отсутствует,",
    " одиночные волны,pедкие группы волн",
    " регулярная частота, модулированая",
    " регулярная частота, без модуляции",
    " слегка дезорганизованная",
    " заметно дезорганизованная",
    " резко дезорганизованная",
};
inline constexpr const char* kZonalCategory = " зональные различия:";
inline constexpr const char* kZonalPhrases[4] = {
    " не определены",
    " хорошие",
    " слегка сглаженные",
    " сильно сглаженные/извращенные",
};
inline constexpr const char* kBeta1Category = "Бета1-активность:";
inline constexpr const char* kBeta1Phrases[4] = {
    " нет.",
    " мало.",
    " много.",
    " очень много.",
};
inline constexpr const char* kSlowCategory = "Медленноволновая активность:";
inline constexpr const char* kSlowPhrases[7] = {
    " практически отсутствует.",
    " тета-активность выражена слабо.",
    " дельта-активность выражена слабо.",
    " тета-активность выражена умеренно.",
    " дельта-активность выражена умерено",
    " тета-активность выражена сильно.",
    " дельта-активность выражена сильно.",
};

inline constexpr const char* kWindowTitle = "Диагноз ЭЭГ";
inline constexpr const char* kBadLeads = "Неадекватный комплект отведений!";
inline constexpr const char* kShortRecord = "Мала длина записи <";
inline constexpr const char* kShortRecordEnd = "c!";
inline constexpr const char* kNoBands = "Не установлены частотные диапазоны!";
inline constexpr const char* kFocal = "Очаговые изменения ЭЭГ:";
inline constexpr const char* kDepression = " депрессия:";
inline constexpr const char* kActivity = " активность:";
inline constexpr const char* kAsymmetry = " асимметpия: ";
inline constexpr const char* kNoFocal = " отсутствуют.";
// The standard leads, in the order the report reads them.
inline constexpr const char* kLeads[8] = {"F3", "F4", "C3", "C4", "P3", "P4", "O1", "O2"};

// Messages for input the report cannot judge.
inline constexpr const char* kBadRate = "Неверная частота дискретизации записи!";
inline constexpr const char* kTransformViewOn = "Заключение строится по сигналам: выйдите из режима спектров!";
inline constexpr const char* kTooFewBands =
    "Для заключения нужны первые четыре частотных диапазона: дельта, тета, альфа, бета1!";
inline constexpr const char* kBadBand = "Неверные границы диапазона \"";
inline constexpr const char* kBadBandEnd = "\"!";
inline constexpr const char* kNoSpectra = "Спектры записи не вычисляются!";
inline constexpr const char* kFlatLead = "Нет сигнала в отведении ";
inline constexpr const char* kFlatLeadEnd = "!";

}  // namespace velor::eeg_report_text
