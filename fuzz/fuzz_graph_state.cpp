// Graph window state files ("Gra<slot>.tmp") from arbitrary bytes: decode,
// and when the file is accepted put it into the shared table and floatStore,
// take it back and encode it again; the second decode must give the same
// series.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/study_state.h"
#include "results/graph.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static velor::StudyState state;
  velor::GraphSnapshot g;
  std::string reason;
  if (!velor::decodeGraphState(std::string_view(reinterpret_cast<const char*>(data), size), g, reason)) return 0;
  velor::GraphTable table;
  velor::applySnapshot(state, table, g);
  const std::string again = velor::encodeGraphState(g);
  velor::GraphSnapshot back;
  if (!velor::decodeGraphState(again, back, reason)) __builtin_trap();
  if (back.series.size() != g.series.size()) __builtin_trap();
  for (std::size_t k = 0; k < g.series.size(); ++k)
    if (back.series[k].count() != g.series[k].count()) __builtin_trap();
  // drawing what was read stays inside the picture's arithmetic
  const velor::GraphDrawing d = velor::drawGraph(g, velor::layOutPlot(521, 359, 0), g.seriesCountCode < 0, false, 2);
  (void)d;
  return 0;
}
