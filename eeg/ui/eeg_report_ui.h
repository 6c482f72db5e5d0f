// "&4=Диагноз" of the EEG analysis window: the clinical EEG report of the
// record in memory, shown in the text result window titled "Диагноз ЭЭГ".
#pragma once

#include <QWidget>

#include "core/interaction.h"
#include "core/study_state.h"
#include "eeg/spectral.h"

namespace velor {

class TextResultsWindow;

// transformKind becomes 0 and the report runs (eeg/eeg_report.h); its lines
// go into the main window's text result window (a new run with the
// examination header), which then carries the title "Диагноз ЭЭГ". A record
// the report cannot judge gives its message through `ui` and no window
// (nullptr). dialogResult is 0 afterwards.
TextResultsWindow* runEegDiagnosis(QWidget* mainWindow, StudyState& s, SpectralEngine& engine, Interaction& ui);

}  // namespace velor
