// The main window's ties to the result windows and to printing: its graph
// windows (made on first use and wired to the file dispatch, the monitor
// and the tool panel), F7's empty graph window, and F2, which prints the
// graph window in front or else the record on the monitor.
#pragma once

class QWidget;

#include "core/interaction.h"
#include "core/study_state.h"

namespace velor {
struct TextFileActions;
class GraphHost;
class GraphWindow;
struct PrintHooks;
}  // namespace velor

namespace velor::shell {

class MainWindow;
class FileChooser;

// The graph windows of the main window. `chooser` (when given) becomes the
// file window of their picture and export commands.
GraphHost& graphHostOf(MainWindow& w, StudyState& s, Interaction& ui, FileChooser* chooser = nullptr);
// What the main window's prints ask and where they go: the print settings
// dialog "Печать", then Qt's print dialog on the main window's printer.
PrintHooks& printHooksOf(MainWindow& w, StudyState& s, Interaction& ui);

// "Создать окно" (F7): an empty graph window, a blank canvas.
GraphWindow* newGraphWindow(MainWindow& w, StudyState& s, Interaction& ui, FileChooser* chooser);
// "Печать" (F2): the graph window in front prints its picture; otherwise the
// monitor's record is printed.
bool printActiveWindow(MainWindow& w, StudyState& s, Interaction& ui, FileChooser* chooser);
// The text window's "Чтение" and "Запись": the file window for text files
// and the open/save dispatch.
TextFileActions textFileActions(StudyState& s, FileChooser& chooser, Interaction& ui);
// The monitor's "Печать экрана" and F2 over the monitor.
bool printMonitorRecord(MainWindow& w, StudyState& s, Interaction& ui);

// The window the main window's F2, F4 and clipboard buttons act on: the one
// of the monitor, the map side window, a graph window or the text window
// that last had the keyboard focus (a click on the tool panel does not
// change it). `widget` is that window (nullptr for the monitor).
enum class FrontKind { Monitor, Map, Graph, Text };
struct FrontWindow {
  FrontKind kind = FrontKind::Monitor;
  QWidget* widget = nullptr;
};
FrontWindow frontWindow(MainWindow& w);
// "Сохранить" (F4) of the main window: the graph window's picture, the text
// window's "Запись", the map's values (its save dispatch), or else records.
bool saveActiveWindow(MainWindow& w, StudyState& s, Interaction& ui, FileChooser& chooser);

}  // namespace velor::shell
