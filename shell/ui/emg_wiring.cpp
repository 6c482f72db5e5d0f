#include "shell/ui/emg_wiring.h"

#include <QObject>
#include <algorithm>

#include "core/study_modes.h"
#include "physio/emg_texts.h"
#include "physio/ui/emg_window.h"
#include "results/graph.h"
#include "results/notebook.h"
#include "results/ui/graph_host.h"
#include "results/ui/graph_window.h"
#include "results/ui/notebook_window.h"
#include "shell/command_dispatch.h"
#include "shell/commands.h"
#include "shell/ui/main_window.h"
#include "shell/ui/physio_graphs.h"
#include "shell/ui/results_wiring.h"
#include "shell/ui/tools_wiring.h"

namespace velor::shell {

namespace {

class EmgWiring final : public QObject {
 public:
  explicit EmgWiring(MainWindow& w) : QObject(&w) { setObjectName("emgWiring"); }
  std::function<void(EmgWindow&)> run;
};

void showBands(MainWindow& w, const EmgBandAmplitudes& b);

// Stepping the monitor to another epoch while an EMG graph is in front draws
// the band amplitudes of the epoch the cursor arrived at, with the epoch
// length in force.
void bandsAfterEpochStep(MainWindow& w) {
  StudyState& s = w.study();
  GraphWindow* current = graphHostOf(w, s, w.interaction(), &w.fileChooser()).current();
  if (!current || !current->windowTitle().contains(QString::fromUtf8("ЭМГ"))) return;
  const int ch = std::clamp(s.firstShownChannel + s.currentChannelRow, 0, std::max(0, s.channelCount - 1));
  EmgBandAmplitudes b;
  std::string message;
  if (!emgBandAmplitudes(s, w.spectralEngine(), ch, s.cursorPos, s.epochLength, b, message)) return;
  s.currentEpoch = b.epoch;
  showBands(w, b);
}

EmgWiring& wiringOf(MainWindow& w) {
  if (auto* e = w.findChild<QObject*>("emgWiring", Qt::FindDirectChildrenOnly)) return *static_cast<EmgWiring*>(e);
  auto* made = new EmgWiring(w);
  for (Cmd step : {Cmd::NextEpoch, Cmd::PrevEpoch})
    w.commands().addFollowUp(step, [&w](Cmd, const CommandResult& r) {
      if (r.status == CommandStatus::Done) bandsAfterEpochStep(w);
    });
  return *made;
}

void showEpochs(MainWindow& w, const EmgEpochAnalysis& a) {
  if (a.measure == EmgMeasure::MaxAmplitude) {
    GraphWindow* g = seriesGraph(w, a.amplitude, &a.frequency, kStyleLineMarkers, kEmgSpectrumCaption, 60, 200);
    if (!g) return;
    const GraphGeometry& geo = g->graphGeometry();
    g->drawTextAt(geo.drawingWidth - 80, 190, kEmgEpochAxis, 80);
    g->drawTextAt(geo.drawingWidth - 80, 410, kEmgEpochAxis, 80);
    g->drawTextAt(45, 30, kEmgMaxAmplitudeAxis, 250);
    g->drawTextAt(45, 250, kEmgMaxFrequencyAxis, 250);
    g->drawTextAt(30, geo.drawingHeight - 60, a.lines[0], 600);
    g->drawTextAt(30, geo.drawingHeight - 45, a.lines[1], 600);
    return;
  }
  GraphWindow* g = seriesGraph(w, a.amplitude, nullptr, kStyleLine, kEmgMeanAmplitudeCaption, 20, 20);
  if (!g) return;
  const GraphGeometry& geo = g->graphGeometry();
  g->drawTextAt(30, geo.drawingHeight - 50, a.lines[0], 600);
  g->drawTextAt(40, 30, kEmgMeanAmplitudeAxis, 200);
  g->drawTextAt(geo.drawingWidth - 85, 250, kEmgTimeAxis, 85);
}

void showBands(MainWindow& w, const EmgBandAmplitudes& b) {
  GraphWindow* g = seriesGraph(w, b.points, nullptr, kStyleLineMarkers, kEmgBandsCaption, 20, 20);
  if (!g) return;
  const GraphGeometry& geo = g->graphGeometry();
  g->drawTextAt(30, geo.drawingHeight - 50, b.lines[0], 600);
  g->drawTextAt(40, 30, kEmgBandAmplitudeAxis, 200);
  g->drawTextAt(geo.drawingWidth - 85, 250, kEmgFrequencyAxis, 85);
}

void showSwings(MainWindow& w, const EmgSwingHistograms& h) {
  GraphWindow* g =
      seriesGraph(w, h.amplitudePoints, &h.durationPoints, kStyleLineMarkers, kEmgSwingCaption, 60, 200);
  if (!g) return;
  const GraphGeometry& geo = g->graphGeometry();
  g->drawTextAt(geo.drawingWidth - 80, 190, kEmgSwingAmplitudeAxis, 80);
  g->drawTextAt(geo.drawingWidth - 80, 410, kEmgSwingPeriodAxis, 80);
  g->drawTextAt(45, 30, kEmgProbabilityAxis, 160);
  g->drawTextAt(45, 250, kEmgProbabilityAxis, 160);
}

}  // namespace

void setEmgWindowRunner(MainWindow& w, std::function<void(EmgWindow&)> run) { wiringOf(w).run = std::move(run); }

void runEmgCommand(MainWindow& w) {
  StudyState& s = w.study();
  s.dialogResult = 0;
  EmgWindow::Actions a;
  a.mResponses = [&w](const std::vector<MResponse>& rows) {
    Notebook* book = notebookOf(w);
    NotebookWindow* window = notebookWindowOf(w);
    if (!book || !window) return;
    writeMResponses(*book, rows);
    window->refresh();
    window->show();
    window->raise();
  };
  a.showSpectra = [&s](int values) {
    s.transformKind = TransformKind::Amplitude;
    s.enterTransformView(TransformKind::Amplitude, values, s.monitorWidth);
  };
  a.backToSignals = [&w] { w.runCommand(Cmd::BackToSignals); };
  a.epochs = [&w](const EmgEpochAnalysis& e) { showEpochs(w, e); };
  a.bands = [&w](const EmgBandAmplitudes& b) { showBands(w, b); };
  a.swings = [&w](const EmgSwingHistograms& h) { showSwings(w, h); };
  a.redraw = [&w] { w.refreshMonitor(); };
  EmgWindow window(s, w.spectralEngine(), w.interaction(), a, &w);
  if (wiringOf(w).run) wiringOf(w).run(window);
  else window.exec();
  w.refreshMonitor();
}

}  // namespace velor::shell
