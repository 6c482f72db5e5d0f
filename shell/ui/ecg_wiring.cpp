#include "shell/ui/ecg_wiring.h"

#include <QObject>

#include "physio/ecg_texts.h"
#include "physio/ui/ecg_bands_dialog.h"
#include "physio/ui/ecg_window.h"
#include "shell/ui/physio_graphs.h"
#include "results/graph.h"
#include "results/text_results.h"
#include "results/ui/graph_host.h"
#include "results/ui/graph_window.h"
#include "results/ui/text_results_window.h"
#include "shell/ui/main_window.h"
#include "shell/ui/results_wiring.h"

namespace velor::shell {

namespace {

class EcgWiring final : public QObject {
 public:
  explicit EcgWiring(MainWindow& w) : QObject(&w) { setObjectName("ecgWiring"); }
  std::function<void(EcgWindow&)> run;
};

EcgWiring& wiringOf(MainWindow& w) {
  if (auto* e = w.findChild<QObject*>("ecgWiring", Qt::FindDirectChildrenOnly)) return *static_cast<EcgWiring*>(e);
  return *new EcgWiring(w);
}

// One series (rows 0/1) of the points, in a new graph window, drawn.
GraphWindow* graphOf(MainWindow& w, const PointList& p, int style, const char* caption, int bottom, int link = 0) {
  return seriesGraph(w, p, nullptr, style, caption, bottom, 0, link);
}

void textLines(MainWindow& w, StudyState& s, Interaction& ui, int mode, const std::vector<std::string>& lines) {
  MainWindowTextOpener opener(&w, ui);
  TextResults& text = opener.beginTextResults(s, mode);
  for (const std::string& l : lines) text.addResultLine(l);
}

}  // namespace

void setEcgWindowRunner(MainWindow& w, std::function<void(EcgWindow&)> run) { wiringOf(w).run = std::move(run); }

void runEcgCommand(MainWindow& w, StudyState& s, Interaction& ui, FileChooser*) {
  s.dialogResult = 0;
  EcgWindow::Actions a;
  a.dynamics = [&w](const BeatDynamics& d) {
    GraphWindow* g = graphOf(w, d.points, kStyleLine, d.caption.c_str(), 60, 1);
    if (!g) return;
    const GraphGeometry& geo = g->graphGeometry();
    g->drawTextAt(30, geo.drawingHeight - 50, d.text, geo.drawingWidth - 30);
    g->drawTextAt(40, 30 - 20, d.yTitle, 160);
  };
  a.statistics = [&w, &s, &ui](const RrStatistics& st) {
    if (GraphWindow* g = graphOf(w, st.histogram, kStyleHistogram, kEcgHistogramCaption, 60)) {
      const GraphGeometry& geo = g->graphGeometry();
      g->drawTextAt(220, geo.drawingHeight - 58 + 20, kEcgAxisRr, 160);
      g->drawTextAt(40, 10, kEcgAxisProbability, 160);
    }
    textLines(w, s, ui, kWithHeader, st.lines);
  };
  a.scatter = [&w, &s](const PointList& p, bool standard) {
    s.dialogResult = standard ? kFixedScatterScale : 0;
    graphOf(w, p, kStyleScatter, kEcgScatterCaption, 40);
    s.dialogResult = 0;
  };
  a.spectrum = [&w, &s, &ui](const RrSpectrum& sp) {
    if (GraphWindow* g = graphOf(w, sp.points, kStyleLine, kEcgSpectrumCaption, 60)) {
      const GraphGeometry& geo = g->graphGeometry();
      g->drawTextAt(290, geo.drawingHeight - 40, kEcgAxisRhythm, 200);
      g->drawTextAt(40, 10, kEcgAxisRrChange, 200);
    }
    textLines(w, s, ui, kWithHeader, sp.lines);
  };
  a.diagnosis = [&w, &s, &ui](const EcgDiagnosis& d) { textLines(w, s, ui, kWithoutHeader, d.lines); };
  a.bands = [&w, &s] {
    EcgBandsDialog d(s, &w);
    d.exec();
    return s.dialogResult == 1;
  };
  a.redraw = [&w] { w.refreshMonitor(); };
  a.intervalList = [&w, &s, &ui](const std::vector<std::string>& lines) {
    textLines(w, s, ui, kWithoutHeader, lines);
  };
  a.clearText = [&w] {
    if (TextResultsWindow* t = textWindowOf(&w)) t->clearText();
  };
  EcgWindow window(s, ui, a, &w);
  if (wiringOf(w).run) {
    wiringOf(w).run(window);
  } else {
    window.exec();
  }
  w.refreshMonitor();
}

}  // namespace velor::shell
