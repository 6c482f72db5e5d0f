// The main window's record navigation and editing commands, handed to the
// monitor's editing commands.
#pragma once

#include <functional>

#include "core/interaction.h"
#include "core/study_state.h"
#include "shell/commands.h"
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

// Runs `cmd` when it is a navigation or editing command; false otherwise.
bool runEditCommand(RecordEditCommands& edit, Cmd cmd);

}  // namespace velor::shell
