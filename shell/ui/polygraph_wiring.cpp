#include "shell/ui/polygraph_wiring.h"

#include <QObject>
#include <algorithm>

#include "core/numtext.h"
#include "physio/breath.h"
#include "physio/breath_texts.h"
#include "physio/polygraph_texts.h"
#include "physio/ui/polygraph_window.h"
#include "results/graph.h"
#include "results/text_results.h"
#include "results/ui/graph_window.h"
#include "results/ui/text_results_window.h"
#include "shell/ui/main_window.h"
#include "shell/ui/physio_graphs.h"
#include "shell/ui/results_wiring.h"
#include "tools/ui/formula_window.h"

namespace velor::shell {

namespace {

constexpr int kSearchConditionUse = 5;  // the formula window as "Условие поиска"

class PolygraphWiring final : public QObject {
 public:
  explicit PolygraphWiring(MainWindow& w) : QObject(&w) { setObjectName("polygraphWiring"); }
  std::function<void(PolygraphWindow&)> run;
  std::function<std::optional<CompiledFormula>()> choose;
};

PolygraphWiring& wiringOf(MainWindow& w) {
  if (auto* e = w.findChild<QObject*>("polygraphWiring", Qt::FindDirectChildrenOnly))
    return *static_cast<PolygraphWiring*>(e);
  return *new PolygraphWiring(w);
}

int currentChannel(const StudyState& s) {
  return std::clamp(s.firstShownChannel + s.currentChannelRow, 0, std::max(0, s.channelCount - 1));
}

void showDynamics(MainWindow& w, const PolygraphDynamics& d) {
  // a series of equal values is not drawn; its window and texts still appear
  SeriesPoints none;
  GraphWindow* g = seriesGraph(w, d.sd > 0 ? d.points : none, nullptr, kStyleLine, d.caption.c_str(), 20, 0);
  if (!g) return;
  const GraphGeometry& geo = g->graphGeometry();
  g->drawTextAt(30, geo.drawingHeight - 45, d.summary, geo.drawingWidth - 30);
  g->drawTextAt(40, 20, d.axis, 200);
}

void showHistogram(MainWindow& w, const EventHistogram& h, HistogramKind kind) {
  const bool amplitudes = kind == HistogramKind::Amplitudes;
  if (GraphWindow* g = seriesGraph(w, h.points, nullptr, kStyleHistogram,
                                   amplitudes ? kPoliAmplitudeHistogramCaption : kPoliIntervalHistogramCaption, 0, 0)) {
    const GraphGeometry& geo = g->graphGeometry();
    g->drawTextAt(300, geo.drawingHeight - 58, amplitudes ? kPoliAmplitudeAxis : kPoliIntervalMsAxis, 200);
    g->drawTextAt(40, 30, kPoliProbabilityAxis, 160);
  }
  MainWindowTextOpener opener(&w, w.interaction());
  TextResults& text = opener.beginTextResults(w.study(), kWithoutHeader);
  for (const std::string& l : h.lines) text.addResultLine(l);
  if (TextResultsWindow* t = textWindowOf(&w))
    t->setWindowTitle(QString::fromUtf8(amplitudes ? kPoliAmplitudeStatisticsCaption : kPoliIntervalStatisticsCaption));
}

}  // namespace

void setPolygraphWindowRunner(MainWindow& w, std::function<void(PolygraphWindow&)> run) {
  wiringOf(w).run = std::move(run);
}

void setPolygraphConditionChooser(MainWindow& w, std::function<std::optional<CompiledFormula>()> choose) {
  wiringOf(w).choose = std::move(choose);
}

void runPolygraphCommand(MainWindow& w) {
  StudyState& s = w.study();
  Interaction& ui = w.interaction();
  s.dialogResult = 0;
  PolygraphWindow::Actions a;
  a.chooseCondition = [&w, &s, &ui]() -> std::optional<CompiledFormula> {
    if (wiringOf(w).choose) return wiringOf(w).choose();
    return chooseFormula(s, ui, kSearchConditionUse, &w);
  };
  a.dynamics = [&w](const PolygraphDynamics& d) { showDynamics(w, d); };
  a.histogram = [&w](const EventHistogram& h, HistogramKind kind) { showHistogram(w, h, kind); };
  a.redraw = [&w] { w.refreshMonitor(); };
  PolygraphWindow window(s, ui, a, &w);
  if (wiringOf(w).run) wiringOf(w).run(window);
  else window.exec();
  if (s.dialogResult == PolygraphWindow::kMessageResult && !window.resultMessage().empty())
    ui.message(window.resultMessage());
  w.refreshMonitor();
}

void runBreathingCommand(MainWindow& w) {
  StudyState& s = w.study();
  Interaction& ui = w.interaction();
  s.dialogResult = 0;
  const int ch = currentChannel(s);
  if (s.channelCount < 1 || !s.channel(ch)) return;
  BreathTable t;
  detectBreaths(s, ch, nullptr, &t);  // also the tables the linked cursor reads
  if (s.acquisitionActive != 0) return;
  if (t.full) ui.message(kBreathTableFull);
  BreathSummary sum;
  std::string message;
  if (!summarizeBreaths(s.channel(ch), t, s.sampleRate, s.microvoltsPerCode(ch), sum, message)) {
    ui.message(message);
    return;
  }
  SeriesPoints periods, amplitudes;
  for (std::size_t k = 0; k < sum.periods.size(); ++k) {
    periods.emplace_back(static_cast<double>(k + 1), sum.periods[k]);
    amplitudes.emplace_back(static_cast<double>(k + 1), sum.amplitudes[k]);
  }
  GraphWindow* g = seriesGraph(w, periods, &amplitudes, kStyleLineMarkers, kBreathCaption, 60, 200, 3);
  if (!g) return;
  const GraphGeometry& geo = g->graphGeometry();
  g->drawTextAt(geo.drawingWidth - 80, 190, kBreathIndexAxis, 80);
  g->drawTextAt(geo.drawingWidth - 80, 410, kBreathIndexAxis, 80);
  g->drawTextAt(45, 30, kBreathPeriodAxis, 200);
  g->drawTextAt(45, 250, kBreathAmplitudeAxis, 200);
  g->drawTextAt(30, geo.drawingHeight - 60, sum.lines[0], 600);
  g->drawTextAt(30, geo.drawingHeight - 45, sum.lines[1], 600);
}

}  // namespace velor::shell
