#include "shell/ui/transform_view_wiring.h"

#include <string>

#include "eeg/spectral.h"
#include "shell/ui/scoreboard_wiring.h"
#include "shell/ui/main_window.h"
#include "viewer/record_edit.h"
#include "viewer/ui/record_edit_commands.h"

namespace velor::shell {

namespace {

int epochStepOf(const StudyState& s) { return s.epochStep > 0 ? s.epochStep : s.epochLength; }

}  // namespace

bool showSpectraInMonitor(MainWindow& w) {
  StudyState& s = w.study();
  // While an examination records, the channel buffers belong to the
  // acquisition side; swapping them would pull them from under it.
  if (s.acquisitionActive != 0) {
    w.interaction().message("Спектры нельзя показать во время исследования.");
    return false;
  }
  std::string problem;
  // The zoom is fitted to the new spectra, then kept while the user steps
  // through epochs and records, so that the frequency scale stays put.
  s.lockedZoom = false;
  const bool shown = showEpochSpectra(w.spectralEngine(), s, s.monitorWidth, problem);
  if (!shown) {
    // The view is off now: the kind has nothing to describe.
    if (s.viewMode == ViewMode::Signals) s.transformKind = TransformKind::Amplitude;
    w.refreshMonitor();
    if (!problem.empty()) w.interaction().message(problem);
    return false;
  }
  s.lockedZoom = true;
  setScoreboardFrequencyLabels(w, hasFrequencyAxis(s.transformKind));
  w.refreshMonitor();
  return true;
}

void installTransformView(MainWindow& w) {
  RecordEditCommands* edit = w.editCommands();
  if (!edit) return;
  edit->editor().setTransformComputer([&w](StudyState& s, TransformKind kind) -> int {
    // The step has put the signals back; the spectra of the epoch the step
    // arrived at are computed with the kind the view showed.
    const int start = s.currentEpoch * epochStepOf(s);
    s.transformKind = kind;
    const std::string problem = w.spectralEngine().epochProblem(s, start);
    if (!problem.empty() || w.spectralEngine().epochSpectra(s, start, s.currentEpoch) < 0) {
      s.transformKind = TransformKind::Amplitude;
      w.interaction().message(problem.empty() ? std::string("Спектры не вычислены.") : problem);
      return 0;
    }
    return s.epochLength / 2;
  });
}

}  // namespace velor::shell
