// The main window's ECG command ("&2=ЭКГ"): the window "Анализ ЭКГ" tied to
// the graph windows, the text window and the monitor.
#pragma once

#include <functional>

#include "core/interaction.h"
#include "core/study_state.h"

namespace velor {
class EcgWindow;
}

namespace velor::shell {

class MainWindow;
class FileChooser;

// How the window is run once it is built; the default shows it modally.
void setEcgWindowRunner(MainWindow& w, std::function<void(EcgWindow&)> run);
void runEcgCommand(MainWindow& w, StudyState& s, Interaction& ui, FileChooser* chooser);

}  // namespace velor::shell
