// Texts of the artefact window, its search window and its messages.
#pragma once

namespace velor {

inline constexpr const char* kAfCaption = "Артефакты";
inline constexpr const char* kAfGroup = "Режим";
inline constexpr const char* kAfMinInterval = "MINинтерв,c=";
inline constexpr const char* kAfMinIntervalHint = "Минимальный интервал превышения амплитуды";
inline constexpr const char* kAfMinAmplitude = "MINампл,мкВ=";
inline constexpr const char* kAfMinAmplitudeHint = "Минимальный уровень превышения амплитуды";
inline constexpr const char* kAfAllChannels = "все каналы";
inline constexpr const char* kAfAllChannelsHint = "Удаление по всем каналам";
inline constexpr const char* kAfInductor = "Кан.индуктор=";
inline constexpr const char* kAfInductorHint = "Номер канала-индуктора для коррекции";
inline constexpr const char* kAfSettingsFile = "qaf.ini";
inline constexpr const char* kAfSearchCaption = "Поиск";
inline constexpr const char* kAfSearchGroup = "Артефакт";
inline constexpr const char* kAfCutOne = "&1=Удалить";
inline constexpr const char* kAfCutOneHint = "Удалить текущий артефакт";
inline constexpr const char* kAfSkip = "&2=Пропустить";
inline constexpr const char* kAfSkipHint = "Пропустить текущий артефакт";
inline constexpr const char* kAfCutAll = "До конца";
inline constexpr const char* kAfCutAllHint = "Удалить артефакты до конца";
inline constexpr const char* kAfStop = "<Esc>=Отменить";
inline constexpr const char* kAfStopHint = "Прекратить удаление";
inline constexpr const char* kAfCut = "&1=Удалить";
inline constexpr const char* kAfCutHint = "Удалить артефакты согласно указанным параметрам";
inline constexpr const char* kAfCorrection = "&2=Коррекция";
inline constexpr const char* kAfCorrectionHint = "Коррекция текущего канала по каналу-корректору";
inline constexpr const char* kAfBlinks = "&3=Моргания";
inline constexpr const char* kAfBlinksHint = "Удалить моргания на ЭЭГ по Fp1, F3";
inline constexpr const char* kAfCancelHint = "Отменить меню";
inline constexpr const char* kAfNoFrontal = "Нет лобных отведений!";
inline constexpr const char* kAfFp1 = "Fp1";
inline constexpr const char* kAfF3 = "F3";
inline constexpr const char* kMenuTransformations = "&P=Преобразования";
inline constexpr const char* kMenuArtefacts = "&E=Артефакты";
// Degenerate inputs the window's own texts do not cover.
inline constexpr const char* kAfFlatInductor = "Канал-индуктор не меняется на участке: коррекция невозможна";

}  // namespace velor
