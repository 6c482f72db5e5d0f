// Paints the items of a graph drawing (results/graph.h) with a QPainter.
#pragma once

#include <QFont>
#include <vector>

#include "results/graph.h"

class QPainter;

namespace velor {

QColor toQColor(Rgb c);
// The drawing font of graph windows: the form font made bold.
QFont graphFont();
void paintGraphItems(QPainter& p, const std::vector<GraphItem>& items, const QFont& font);

}  // namespace velor
