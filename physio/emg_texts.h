// Messages of the electromyography tools.
#pragma once

namespace velor {

inline constexpr const char kEmgCaption[] = "Миография";
// Not given by the window: refusals of the command-line entry.
inline constexpr const char kEmgNoMarks[] = "В записи нет канала меток: стимулы не найти";
inline constexpr const char kEmgBadBit[] = "Номер стимула вне 1..16";
inline constexpr const char kEmgBadChannel[] = "Нет такого канала";

inline constexpr const char kEmgSpectrumCaption[] = "Показатели спектра ЭМГ";
inline constexpr const char kEmgEpochAxis[] = "Эпоха [c]";
inline constexpr const char kEmgMaxAmplitudeAxis[] = "Мах.амплитуда [мкВ]";
inline constexpr const char kEmgMaxFrequencyAxis[] = "Частота мах.амплитуды [Гц]";
inline constexpr const char kEmgMeanMaxAmplitude[] = "Средняя макс.амплитуда=";
inline constexpr const char kEmgMeanMaxAmplitudeSd[] = " мкВ      Ст.откл.=";
inline constexpr const char kEmgMeanFrequency[] = "Средняя частота=";
inline constexpr const char kEmgMeanFrequencySd[] = " Гц     Ст.откл.=";
inline constexpr const char kEmgMeanAmplitudeCaption[] = "Средняя амплитуда ЭМГ";
inline constexpr const char kEmgMean[] = "Среднее=";
inline constexpr const char kEmgSd[] = "   Cт.откл=";
inline constexpr const char kEmgMeanAmplitudeAxis[] = "Амплитуда [мкв]";
inline constexpr const char kEmgTimeAxis[] = "Время [с]";
inline constexpr const char kEmgBandsCaption[] = "Средние амплитуды ЭМГ по частотным диапазонам";
inline constexpr const char kEmgBandAmplitudeAxis[] = "Амплитуда [мкВ]";
inline constexpr const char kEmgFrequencyAxis[] = "Частота [Гц]";
inline constexpr const char kEmgSwingCaption[] = "Гистограммы амплитуд и периодов ЭМГ";
inline constexpr const char kEmgSwingAmplitudeAxis[] = "Амплитуды [мкВ]";
inline constexpr const char kEmgSwingPeriodAxis[] = "Периоды [мc]";
inline constexpr const char kEmgProbabilityAxis[] = "Вероятности %";
inline constexpr const char kEmgMeasureMean[] = "Аср";
inline constexpr const char kEmgMeasureMax[] = "Amax";
inline constexpr const char kEmgStimulusLabel[] = "Стимул=";
inline constexpr const char kEmgStimulusHint[] = "Номер электростимула";
inline constexpr const char kEmgMeasureLabel[] = "Показатель=";
inline constexpr const char kEmgMeasureHint[] = "Спектральный параметр для эпох";
inline constexpr const char kEmgEpochLabel[] = "Эпоха [мс]=";
inline constexpr const char kEmgEpochHint[] = "Длина эпохи анализа";
inline constexpr const char kEmgStimulationGroup[] = "Стимуляционная";
inline constexpr const char kEmgPassiveGroup[] = "Пассивная";
inline constexpr const char kEmgMResponsesButton[] = "&1=М-ответы";
inline constexpr const char kEmgMResponsesHint[] = "Анализ М-ответов на элекростимул";
inline constexpr const char kEmgSpectrumButton[] = "&2=Спектр";
inline constexpr const char kEmgSpectrumHint[] = "Вычисление амплитудных спектров";
inline constexpr const char kEmgRecordsButton[] = "&2=Записи";
inline constexpr const char kEmgRecordsHint[] = "Переход от спектров к записям";
inline constexpr const char kEmgEpochsButton[] = "&3=Эпохи";
inline constexpr const char kEmgEpochsHint[] = "Вычисление спектрального параметра по эпохам";
inline constexpr const char kEmgBandsButton[] = "&4=Диапазоны";
inline constexpr const char kEmgBandsHint[] = "Амплитуда спектра текущей эпохи, усредненная по чатитным диапазонам";
inline constexpr const char kEmgHistogramsButton[] = "&5=Гистограммы";
inline constexpr const char kEmgCancelButton[] = "<Esc>=Отменить";
inline constexpr const char kEmgCancelHint[] = "Отменить меню";
// Not given by the window: guards of the passive analyses.
inline constexpr const char kEmgEpochTooLong[] = "Эпоха длиннее записи: ни одна эпоха не помещается";
inline constexpr const char kEmgNoBandBins[] =
    "Полосы 25 Гц не содержат ни одного отсчёта спектра: эпоха слишком коротка для этой частоты";
inline constexpr const char kEmgBandsSkipped[] = "Полосы 25 Гц без отсчётов спектра пропущены: ";
inline constexpr const char kEmgTooFewSwings[] = "Размахов больше 100 единиц меньше двух: гистограммы не построить";
inline constexpr const char kEmgEqualSwings[] =
    "Все размахи одинаковы по амплитуде или длительности: ширина класса равна нулю";
inline constexpr const char kEmgNoSpectra[] = "Спектры не вычислены: интервал вне записи или на экране уже спектры";
inline constexpr const char kEmgSettingsFile[] = "qemg.ini";

}  // namespace velor
