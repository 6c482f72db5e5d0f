// Graph windows of point series for the polygraph, breathing and EMG
// commands: one series, or two in the two-panel form (series 0 above,
// series 1 below).
#pragma once

#include <utility>
#include <vector>

namespace velor {
class GraphWindow;
}

namespace velor::shell {

class MainWindow;

using SeriesPoints = std::vector<std::pair<double, double>>;

// Rows 0/1 (and 2/3 for `lower`) of floatStore, at most a row's length;
// a new graph window with `bottom` pixels below the plot and `extra` added
// to its height, drawn. nullptr when no window could be made.
GraphWindow* seriesGraph(MainWindow& w, const SeriesPoints& upper, const SeriesPoints* lower, int style,
                         const char* caption, int bottom, int extra, int link = 0);

}  // namespace velor::shell
