// Captions and texts of the graph window, kept in one place so every caller
// and test uses the same bytes.
#pragma once

namespace velor::graph_text {

// window caption
inline constexpr const char* kGraphCaption = "Графики";
// popup menu: load a picture (F3)
inline constexpr const char* kMenuRead = "Чтение";
// save the picture (F4)
inline constexpr const char* kMenuWrite = "Запись";
// series values as text
inline constexpr const char* kMenuExport = "Экспорт";
// series values on the clipboard
inline constexpr const char* kMenuExportClipboard = "Экспорт в буфер обмена";
// print the picture (F2)
inline constexpr const char* kMenuPrint = "Печать";
// Ctrl+X
inline constexpr const char* kMenuCut = "Вырезать";
// Ctrl+C
inline constexpr const char* kMenuCopy = "Копировать";
// Ctrl+V
inline constexpr const char* kMenuPaste = "Вставить";
// the monitor's screen copy
inline constexpr const char* kMenuPasteScreen = "Вставить экран";
// F10
inline constexpr const char* kMenuClose = "Закрыть окно";
// every graph window
inline constexpr const char* kMenuCloseAll = "Закрыть все";
// Insert: the monitor to the linked point
inline constexpr const char* kMenuMonitor = "Монитор";
// before the reason of a failed paste
inline constexpr const char* kInterrupt = "Прерывание: ";
// linked cursor box, two-panel window
inline constexpr const char* kPeriodLabel = "Период=";
// linked cursor box, two-panel window
inline constexpr const char* kAmplitudeLabel = "Ампл.=";
// linked cursor box
inline constexpr const char* kValueLabel = "Y=";
// scatter ellipse text
inline constexpr const char* kScatterA = "a = ";
inline constexpr const char* kScatterB = "    b = ";
inline constexpr const char* kScatterRatio = "    b/a = ";
// window font
inline constexpr const char* kFontName = "Times New Roman Cyr";

}  // namespace velor::graph_text
