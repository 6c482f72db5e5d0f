#include "shell/ui/rheo_wiring.h"
#include "shell/ui/physio_graphs.h"

#include <QObject>
#include <algorithm>

#include "core/numtext.h"
#include "physio/rheo_texts.h"
#include "physio/ui/reg_patient_dialog.h"
#include "physio/ui/reg_window.h"
#include "results/graph.h"
#include "results/text_results.h"
#include "results/ui/graph_host.h"
#include "results/ui/graph_window.h"
#include "results/ui/text_results_window.h"
#include "shell/ui/main_window.h"
#include "shell/ui/results_wiring.h"

namespace velor::shell {

namespace {

class RegWiring final : public QObject {
 public:
  explicit RegWiring(MainWindow& w) : QObject(&w) { setObjectName("regWiring"); }
  std::function<void(RegWindow&)> run;
  std::function<void(RegPatientDialog&)> patient;
};

RegWiring& wiringOf(MainWindow& w) {
  if (auto* e = w.findChild<QObject*>("regWiring", Qt::FindDirectChildrenOnly)) return *static_cast<RegWiring*>(e);
  return *new RegWiring(w);
}

constexpr int kTextBox = 600;  // width of the texts drawn into the graphs
constexpr int kLinkWaveTable = 2;  // the linked cursor reads the onsets of the wave table

void showDynamics(MainWindow& w, const RegDynamics& d) {
  GraphWindow* g = seriesGraph(w, d.points, nullptr, kStyleLine, d.caption.c_str(), 20, 20, kLinkWaveTable);
  if (!g) return;
  const GraphGeometry& geo = g->graphGeometry();
  g->drawTextAt(40, 30, d.yTitle, kTextBox);
  g->drawTextAt(geo.drawingWidth - 85, 250, kRegWaveNumber, kTextBox);
  g->drawTextAt(30, geo.drawingHeight - 50,
                std::string(kRegMeanText) + formatNumber(d.mean) + kRegSdText + formatNumber(d.sd), kTextBox);
}

TextResultsWindow* textWindow(MainWindow& w, StudyState& s, Interaction& ui, const char* caption,
                              const std::vector<std::string>& lines) {
  TextResultsWindow* text = beginTextResults(&w, s, ui, nullptr, kWithHeader);
  if (!text) return nullptr;
  text->setWindowTitle(QString::fromUtf8(caption));
  for (const std::string& l : lines) text->journal().addResultLine(l);
  return text;
}

void showAverage(MainWindow& w, StudyState& s, Interaction& ui, FileChooser* chooser, int channel,
                 const RegAverage& a, const std::vector<std::string>& lines) {
  GraphHost& host = graphHostOf(w, s, ui, chooser);
  GraphTable& t = host.table();
  const double fs = s.sampleRate > 0 ? s.sampleRate : 1;
  const double g = regOhmsPerCode(s, channel);
  // Point 0 carries the onset level; points 1..m the mean wave and its
  // differences, magnified five and ten times.
  const int m = std::min(a.m, kFloatRowLength - 1);
  setFloatAt(s, 0, 0, static_cast<float>(-10 / fs));
  setFloatAt(s, 1, 0, static_cast<float>(kRegLevel * g));
  setFloatAt(s, 2, 0, 0);
  setFloatAt(s, 3, 0, 0);
  for (int i = 0; i < m; ++i) {
    const auto u = static_cast<std::size_t>(i);
    setFloatAt(s, 0, i + 1, static_cast<float>((i - 10) / fs));
    setFloatAt(s, 1, i + 1, static_cast<float>((a.S[u] - 512) * g));
    setFloatAt(s, 2, i + 1, static_cast<float>(5.0 * (a.D[u] - 2048) * g));
    setFloatAt(s, 3, i + 1, static_cast<float>(10.0 * (a.A[u] - 2048) * g));
  }
  t.lastIndex.fill(kEmptySeries);
  const std::uint8_t colours[3] = {0, 1, 5};
  for (int k = 0; k < 3; ++k) {
    t.series[static_cast<std::size_t>(k)] =
        GraphSeriesEntry{0, static_cast<std::uint8_t>(k + 1), colours[k], kStyleLine};
    t.lastIndex[static_cast<std::size_t>(k)] = static_cast<std::uint16_t>(std::max(0, m - 1));
  }
  t.graphMonitorLink = 0;
  GraphWindow* gr = host.createGraphWindow(0, 0);
  if (gr) {
    gr->setWindowTitle(QString::fromUtf8(kRegAverageCaption));
    gr->drawSeries(2);
    const GraphGeometry& geo = gr->graphGeometry();
    gr->drawTextAt(40, 30, kRegAmplitudeTitle, kTextBox);
    gr->drawTextAt(geo.drawingWidth - 85, 250, kRegTimeTitle, kTextBox);
    gr->move(gr->x(), 20);
  }
  // the indices below the graph, as wide as it
  if (TextResultsWindow* text = textWindow(w, s, ui, kRegAverageTextCaption, lines); text && gr)
    text->setGeometry(gr->x(), gr->windowHeight() + 20, gr->width(), 150);
}

}  // namespace

void setRegWindowRunner(MainWindow& w, std::function<void(RegWindow&)> run) { wiringOf(w).run = std::move(run); }

void setRegPatientRunner(MainWindow& w, std::function<void(RegPatientDialog&)> run) {
  wiringOf(w).patient = std::move(run);
}

void runRegCommand(MainWindow& w, StudyState& s, Interaction& ui, FileChooser* chooser) {
  RegWindow::Actions a;
  a.dynamics = [&w](const RegDynamics& d) { showDynamics(w, d); };
  a.statistics = [&w, &s, &ui](const std::vector<std::string>& lines) {
    textWindow(w, s, ui, kRegStatisticsCaption, lines);
  };
  a.average = [&w, &s, &ui, chooser](int channel, const RegAverage& avg, const std::vector<std::string>& lines) {
    showAverage(w, s, ui, chooser, channel, avg, lines);
  };
  a.hemodynamics = [&w, &s, &ui](const std::vector<std::string>& lines) {
    if (TextResultsWindow* text = textWindow(w, s, ui, kRegHemoCaption, lines)) text->resize(250, text->height());
  };
  a.patient = [&w, &s]() -> std::optional<RegPatient> {
    RegPatientDialog d(s, &w);
    if (wiringOf(w).patient) wiringOf(w).patient(d);
    else d.exec();
    if (d.result() != QDialog::Accepted) return std::nullopt;
    return d.patient();
  };
  const int row = s.currentChannelRow;
  RegWindow window(s, ui, a, &w);
  if (wiringOf(w).run) {
    wiringOf(w).run(window);
  } else {
    window.exec();
  }
  s.currentChannelRow = row;
  // the wave search levels the analysed channels in memory
  w.refreshMonitor();
}

}  // namespace velor::shell
