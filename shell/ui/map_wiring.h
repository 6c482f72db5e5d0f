// The map window's entry points for the EEG dispatcher and the main window.
//
// How to call them (all on the user-interface thread, `w` the main window,
// `s` the one study state, `engine` w.spectralEngine(), `ui` the main
// window's Interaction):
//   - "&0=АмплКарты":           amplitudeMaps(w, s, engine, ui);
//   - results 2 ("&2=Диа") / 3 ("&3=Эпохи"):
//                               bandDiagramMaps(w, s, engine, ui, ViewMode::BandDiagrams or EpochMaps);
//     it computes the band measures into resultStore (or only shows
//     "Не установлены частотные диапазоны!" and returns to the signals when
//     the band table is empty) and then shows the map window in that view mode.
//     Returns false when nothing was shown.
//   - after any analysis that changed what the maps show: redrawMaps(w).
//   - closing the side window (F10, batch runs): closeMapWindow(w, s).
// The map window docks itself at the right of the monitor (sidePanelWidth),
// follows the monitor's cursor and the main window's size by itself.
#pragma once

#include "core/interaction.h"
#include "core/study_state.h"
#include "eeg/spectral.h"

namespace velor::shell {
class MainWindow;
}

namespace velor {

class MapWindow;

// "&0=АмплКарты": with the map window open, the transform view is left
// (the map then shows the signals again); otherwise, outside the band modes,
// the map window "Карта" is opened beside the monitor for the first channel.
// Returns the map window (nullptr when none was opened).
MapWindow* amplitudeMaps(shell::MainWindow& w, StudyState& s, SpectralEngine& engine, Interaction& ui);

// "&2=Диа" (band diagrams) and "&3=Эпохи" (epoch maps): the band measures of the
// current epoch or of every epoch, then the map window in that view mode.
bool bandDiagramMaps(shell::MainWindow& w, StudyState& s, SpectralEngine& engine, Interaction& ui, ViewMode mode);

// The map window of `w`, or nullptr while none is shown.
MapWindow* mapWindowOf(shell::MainWindow& w);
// Redraws the map window when it is shown.
void redrawMaps(shell::MainWindow& w);
// Closes the map window and gives the monitor its full width back.
void closeMapWindow(shell::MainWindow& w, StudyState& s);

}  // namespace velor
