// The main window's editing commands of the monitor: they redraw it, explain
// refusals in the status line and pick reorganised record files.
#pragma once

#include <functional>

#include "core/interaction.h"
#include "core/study_state.h"
#include "shell/main_commands.h"

namespace velor {
class RecordEditCommands;
class MonitorWidget;
}  // namespace velor

namespace velor::shell {

class MainWindow;

// The editing commands of a main window: they redraw its monitor, explain
// refusals in its status line, and choose reorganised record files through
// its file window (`chooser` gives the one in use).
RecordEditCommands* createEditCommands(MainWindow& window, StudyState& s, Interaction& ui, MonitorWidget* monitor,
                                       std::function<FileChooser&()> chooser);

}  // namespace velor::shell
