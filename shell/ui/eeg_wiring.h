// The main window's EEG command ("&1=ЭЭГ", the monitor's key "1"): the
// dispatcher runEegAnalysisWindow with the window EegAnalysisDialog, tied to the monitor's
// transform view, the scoreboard, the map window, the band table, the lead
// editor and the result windows. The analysis settings live as long as the
// main window, as the window's own controls would.
#pragma once

#include <functional>

#include "core/interaction.h"
#include "core/study_state.h"

namespace velor {
class EegAnalysis;
class EegAnalysisDialog;
}  // namespace velor

namespace velor::shell {

class MainWindow;
class FileChooser;

// The EEG analysis settings of a main window (made on first use).
EegAnalysis& eegAnalysisOf(MainWindow& w, StudyState& s, Interaction& ui);
// How the window is run once it is built; the default shows it modally.
// Tests press its buttons instead of entering a modal loop.
void setEegWindowRunner(MainWindow& w, std::function<void(EegAnalysisDialog&)> run);
// runEegAnalysisWindow of the main window; `chooser` is the file window in use.
void runEegCommand(MainWindow& w, StudyState& s, Interaction& ui, FileChooser* chooser);

}  // namespace velor::shell
