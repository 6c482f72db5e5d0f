#include "shell/ui/physio_graphs.h"

#include <algorithm>

#include "results/graph.h"
#include "results/ui/graph_host.h"
#include "results/ui/graph_window.h"
#include "shell/ui/main_window.h"
#include "shell/ui/results_wiring.h"

namespace velor::shell {

GraphWindow* seriesGraph(MainWindow& w, const SeriesPoints& upper, const SeriesPoints* lower, int style,
                         const char* caption, int bottom, int extra, int link) {
  StudyState& s = w.study();
  GraphHost& host = graphHostOf(w, s, w.interaction(), &w.fileChooser());
  GraphTable& t = host.table();
  const auto fill = [&s](const SeriesPoints& p, int row) {
    const int n = std::min<int>(static_cast<int>(p.size()), kGraphMaxPoints);
    for (int i = 0; i < n; ++i) {
      setFloatAt(s, row, i, static_cast<float>(p[static_cast<std::size_t>(i)].first));
      setFloatAt(s, row + 1, i, static_cast<float>(p[static_cast<std::size_t>(i)].second));
    }
    return n;
  };
  t.lastIndex.fill(kEmptySeries);
  const int n = fill(upper, 0);
  if (n == 0) return nullptr;
  t.series[0] = GraphSeriesEntry{0, 1, 0, static_cast<std::uint8_t>(style)};
  t.lastIndex[0] = static_cast<std::uint16_t>(n - 1);
  if (lower) {
    const int m = fill(*lower, 2);
    t.series[1] = GraphSeriesEntry{2, 3, 0, static_cast<std::uint8_t>(style)};
    t.lastIndex[1] = static_cast<std::uint16_t>(std::max(0, m - 1));
  }
  t.graphMonitorLink = link;
  GraphWindow* g = host.createGraphWindow(bottom, extra);
  if (!g) return nullptr;
  g->setWindowTitle(QString::fromUtf8(caption));
  if (lower) g->drawTwoPanels();
  else g->drawSeries(0);
  return g;
}

}  // namespace velor::shell
