// The main window's rheography command ("&4=РГ"): the window "Анализ РГ"
// tied to the graph windows, the text window, the patient dialog and the
// monitor.
#pragma once

#include <functional>

#include "core/interaction.h"
#include "core/study_state.h"

namespace velor {
class RegWindow;
class RegPatientDialog;
}  // namespace velor

namespace velor::shell {

class MainWindow;
class FileChooser;

// How the windows are run once they are built; the defaults show them modally.
void setRegWindowRunner(MainWindow& w, std::function<void(RegWindow&)> run);
void setRegPatientRunner(MainWindow& w, std::function<void(RegPatientDialog&)> run);
void runRegCommand(MainWindow& w, StudyState& s, Interaction& ui, FileChooser* chooser);

}  // namespace velor::shell
