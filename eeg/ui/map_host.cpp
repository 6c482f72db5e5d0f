// First cut of the map window's entry points: the window itself follows.
#include "eeg/ui/map_host.h"

#include "shell/ui/tfvelor.h"

namespace velor {

TMap* amplitudeMaps(shell::TFVelor&, StudyState&, SpectralEngine&, Interaction&) { return nullptr; }

bool bandDiagramMaps(shell::TFVelor&, StudyState&, SpectralEngine&, Interaction&, int) { return false; }

TMap* mapWindowOf(shell::TFVelor&) { return nullptr; }

void redrawMaps(shell::TFVelor&) {}

void closeMapWindow(shell::TFVelor&, StudyState& s) { s.sidePanelWidth = 0; }

}  // namespace velor
