#include "core/record_file.h"
#include "shell/ui/eeg_wiring.h"

#include <QObject>
#include <QStatusBar>
#include <memory>

#include "eeg/band_table.h"
#include "eeg/eeg_analysis.h"
#include "eeg/period_command.h"
#include "eeg/period_texts.h"
#include "eeg/ui/band_window.h"
#include "eeg/ui/eeg_report_ui.h"
#include "shell/ui/map_wiring.h"
#include "eeg/ui/eeg_analysis_dialog.h"
#include "results/text_results.h"
#include "results/ui/graph_host.h"
#include "results/ui/text_results_window.h"
#include "results/ui/graph_window.h"
#include "shell/main_commands.h"
#include "shell/ui/results_wiring.h"
#include "shell/ui/scoreboard_wiring.h"
#include "shell/ui/main_window.h"
#include "shell/ui/transform_view_wiring.h"
#include "shell/ui/transform_wiring.h"
#include "viewer/ui/monitor_widget.h"
#include "viewer/ui/lead_editor_dialog.h"

namespace velor::shell {

namespace {


// What the main window keeps for its EEG command.
class EegWiring final : public QObject {
 public:
  explicit EegWiring(MainWindow& w) : QObject(&w) { setObjectName("eegWiring"); }
  std::unique_ptr<EegAnalysis> analysis;
  std::function<void(EegAnalysisDialog&)> run;
};

EegWiring& wiringOf(MainWindow& w) {
  // only this file makes an object of that name
  if (auto* e = w.findChild<QObject*>("eegWiring", Qt::FindDirectChildrenOnly)) return *static_cast<EegWiring*>(e);
  return *new EegWiring(w);
}

// The histograms one above the other, the summary and the means under them.
void showPeriodHistograms(MainWindow& w, StudyState& s, Interaction& ui, FileChooser* chooser,
                          const PeriodCommandResult& r) {
  if (!r.summary.rhythmFound()) ui.message(r.summaryLine);
  if (r.summary.acceptedCount <= 0) return;
  GraphHost& host = graphHostOf(w, s, ui, chooser);
  periodHistogramSeries(s, host.table(), r.summary);
  GraphWindow* g = host.createGraphWindow(80, 200);
  if (!g) return;
  g->setWindowTitle(QString::fromUtf8(period_text::kHistogramCaption));
  g->drawTwoPanels();
  const GraphGeometry& geo = g->graphGeometry();
  const int half = geo.height / 2;
  // titles at the top right of each panel, clear of the tick labels
  g->drawTextAt(geo.left + 40, 2, period_text::kProbabilityAxis, 160);
  g->drawTextAt(geo.left + geo.width - 125, geo.top + 2, period_text::kAmplitudeAxis, 120);
  g->drawTextAt(geo.left + geo.width - 125, geo.top + half + 27, period_text::kPeriodAxis, 120);
  const bool listed = !r.docPath.empty();
  const int y = geo.drawingHeight - (listed ? 66 : 50);
  g->drawTextAt(geo.left, y, r.summaryLine, geo.drawingWidth - geo.left);
  g->drawTextAt(geo.left, y + 16, r.amplitudeLine, geo.drawingWidth - geo.left);
  g->drawTextAt(geo.left, y + 32, r.periodLine, geo.drawingWidth - geo.left);
  if (listed) g->drawTextAt(geo.left, y + 48, period_text::kWaveListWritten + r.docPath, geo.drawingWidth - geo.left);
  if (listed) w.statusBar()->showMessage(QString::fromStdString(period_text::kWaveListWritten + r.docPath));
}

void showPeriodTable(MainWindow& w, StudyState& s, Interaction& ui, const PeriodCommandResult& r) {
  // a table of zeros would read like measurements
  if (r.measuredChannels == 0) {
    ui.message(period_text::kNoRhythm);
    return;
  }
  MainWindowTextOpener opener(&w, ui);
  TextResults& text = opener.beginTextResults(s, kWithHeader);
  for (const std::string& line : r.tableLines) text.addResultLine(line);
}

}  // namespace

EegAnalysis& eegAnalysisOf(MainWindow& w, StudyState& s, Interaction& ui) {
  EegWiring& wiring = wiringOf(w);
  if (!wiring.analysis) wiring.analysis = std::make_unique<EegAnalysis>(s, w.spectralEngine(), ui);
  return *wiring.analysis;
}

void setEegWindowRunner(MainWindow& w, std::function<void(EegAnalysisDialog&)> run) { wiringOf(w).run = std::move(run); }

void runEegCommand(MainWindow& w, StudyState& s, Interaction& ui, FileChooser* chooser) {
  EegWiring& wiring = wiringOf(w);
  EegAnalysis& eeg = eegAnalysisOf(w, s, ui);
  auto pick = [&s, chooser](FileKind kind, bool save) -> std::optional<std::string> {
    if (!chooser) return std::nullopt;
    return chooseByKind(s, kind, save, *chooser);
  };

  EegAnalysisDialog::Actions actions;
  actions.bandTable = [&w, &s, &ui, pick] {
    BandTableDialog bands(s, ui, [pick](bool save) { return pick(FileKind::FrequencyBands, save); }, &w);
    bands.exec();
  };
  actions.leadEditor = [&w, &s, &ui, pick] { changeRecord(w, [&] { runLeadEditor(s, ui, pick, &w); return true; }); };
  actions.clinicalReport = [&w, &s, &ui] { runEegDiagnosis(&w, s, w.spectralEngine(), ui); };
  actions.amplitudeMaps = [&w, &s, &ui] { amplitudeMaps(w, s, w.spectralEngine(), ui); };
  actions.periodResults = [&w, &s, &ui, chooser](const PeriodCommandResult& r) {
    if (r.allChannels) {
      showPeriodTable(w, s, ui, r);
    } else {
      showPeriodHistograms(w, s, ui, chooser, r);
    }
  };
  actions.redraw = [&w] { w.refreshMonitor(); };
  actions.bandDiagrams = true;
  actions.undo = &recordUndoOf(w);

  EegDispatchHooks hooks;
  hooks.showWindow = [&w, &wiring, actions](EegAnalysis& eeg) {
    EegAnalysisDialog window(eeg, actions, &w);
    if (wiring.run) {
      wiring.run(window);
    } else {
      window.exec();
    }
  };
  hooks.scoreboardLabels = [&w](bool frequency) { setScoreboardFrequencyLabels(w, frequency); };
  hooks.showSpectra = [&w](std::string&) { return showSpectraInMonitor(w); };
  hooks.bandDiagrams = [&w, &s, &ui](ViewMode mode) { bandDiagramMaps(w, s, w.spectralEngine(), ui, mode); };
  hooks.redraw = [&w] { w.refreshMonitor(); };
  hooks.click = [&w] {
    if (w.monitor()) w.monitor()->Click(false);
  };
  runEegAnalysisWindow(eeg, hooks);
}

}  // namespace velor::shell
