// Captions of the signal monitor, kept in one place so every caller and test
// uses the same bytes.
#pragma once

namespace velor::monitor_text {

// window caption
inline constexpr const char* kMonitorCaption = "Монитор";
// after the sampling rate
inline constexpr const char* kHertz = "Гц";
// sensitivity and speed in the caption
inline constexpr const char* kMicrovoltsPerMm = " мкВ/мм";
inline constexpr const char* kMmPerSecond = " мм/с";
// record number / count
inline constexpr const char* kRecordTag = " Зап:";
// epoch number / count
inline constexpr const char* kEpochTag = " Эпо:";
// reference suffixes of EEG lead names, by referenceKind 1..5
inline constexpr const char* kSuffixAA = "-AA";
inline constexpr const char* kSuffixA1 = "-A1";
inline constexpr const char* kSuffixA2 = "-A2";
inline constexpr const char* kSuffixAM = "-AМ";
inline constexpr const char* kSuffixMM = "-MM";
// popup menu
inline constexpr const char* kMenuOpen = "Читать файл";
inline constexpr const char* kMenuSave = "Сохранить";
inline constexpr const char* kMenuPrint = "Печать экрана";
inline constexpr const char* kMenuScreenToClipboard = "Экран в буфер обмена";
inline constexpr const char* kMenuSignalsToClipboard = "Сигналы в буфер обмена";
inline constexpr const char* kMenuHeader = "Заголовок";
inline constexpr const char* kMenuMaps = "Карты ЭЭГ";
inline constexpr const char* kMenuDelete = "Удалить";
inline constexpr const char* kMenuAnchor = "Маркер";
inline constexpr const char* kMenuRecords = "Записи";
inline constexpr const char* kMenuNextRecord = "следующая=&]";
inline constexpr const char* kMenuPrevRecord = "предыдущая=&[";
inline constexpr const char* kMenuRecordByNumber = "заданного номера";
inline constexpr const char* kMenuMerge = "слить=&U";
inline constexpr const char* kMenuRestore = "восстановить=&I";
inline constexpr const char* kMenuChannels = "Каналы";
inline constexpr const char* kMenuInsert = "вставить";
inline constexpr const char* kMenuRemove = "удалить";
inline constexpr const char* kMenuMarks = "Метки";
inline constexpr const char* kMenuRemoveAll = "удалить все";
inline constexpr const char* kMenuTransforms = "Преобразования";

}  // namespace velor::monitor_text
