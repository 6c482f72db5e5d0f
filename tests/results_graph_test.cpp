// Graph engine: axes, ranges, series styles, scatter ellipse, linked cursor,
// slots and tiling, the state file and the text export.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "core/study_state.h"
#include "core/numtext.h"
#include "results/graph.h"

namespace velor {
namespace {

SeriesPoints series(std::vector<double> x, std::vector<double> y, int style = 0, int colour = 0) {
  SeriesPoints s;
  s.entry.style = static_cast<std::uint8_t>(style);
  s.entry.colour = static_cast<std::uint8_t>(colour);
  s.x = std::move(x);
  s.y = std::move(y);
  s.lastIndex = static_cast<std::uint16_t>(s.x.size() - 1);
  return s;
}

std::vector<const GraphItem*> itemsOf(const PlotResult& r, GraphItem::Kind kind) {
  std::vector<const GraphItem*> out;
  for (const auto& it : r.items)
    if (it.kind == kind) out.push_back(&it);
  return out;
}

// --- axes ------------------------------------------------------------------------------

struct AxisCase {
  double min, max;
  int P;
  int k, r, D, n, labelStep;
  std::string multiplier;
  std::vector<double> firstLabels;  // labels of the first major ticks
};

TEST(GraphAxes, TickRulesOnKnownRanges) {
  const AxisCase cases[] = {
      // 0..100 over 470 pixels: p = 100, five intervals of 20, labels in tens
      {0, 100, 470, 1, 5, 5, 1, 2, "*10", {0, 2, 4, 6, 8, 10}},
      // a width of 0.04: p = 0.01, four intervals, labels in hundredths
      {1.00, 1.04, 300, 4, 4, 5, -2, 1, "*0.01", {101, 102, 103, 104}},
      // k = 8 on a short axis: four intervals of 2
      {0, 8, 100, 8, 4, 5, 0, 2, "", {0, 2, 4, 6, 8}},
      // k = 5 on a roomy axis: five intervals of 1
      {0, 5, 400, 5, 5, 5, 0, 1, "", {0, 1, 2, 3, 4, 5}},
      // a symmetric range crossing zero: first tick before the start
      {-1, 1, 200, 2, 5, 5, -1, 4, "*0.1", {-12, -8, -4, 0, 4, 8}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.min) + ".." + std::to_string(c.max));
    const AxisScale a = axisScale(c.min, c.max, c.P, true);
    EXPECT_EQ(a.k, c.k);
    EXPECT_EQ(a.r, c.r);
    EXPECT_EQ(a.D, c.D);
    EXPECT_EQ(a.n, c.n);
    EXPECT_EQ(a.labelStep, c.labelStep);
    EXPECT_EQ(axisMultiplier(a.n), c.multiplier);
    std::vector<double> labels;
    for (const AxisTick& t : a.ticks) {
      EXPECT_GE(t.offset, 0);
      EXPECT_LE(t.offset, c.P);
      if (t.major) labels.push_back(t.labelValue);
    }
    ASSERT_GE(labels.size(), c.firstLabels.size() - 1);
    // ticks before the axis start are skipped, so compare from where they begin
    auto it = std::find(c.firstLabels.begin(), c.firstLabels.end(), labels.front());
    ASSERT_NE(it, c.firstLabels.end());
    for (std::size_t i = 0; it != c.firstLabels.end() && i < labels.size(); ++it, ++i) EXPECT_DOUBLE_EQ(labels[i], *it);
  }
}

TEST(GraphAxes, MajorTicksSitWhereTheirValuesAre) {
  // 0..100 over 470 pixels: a major tick every 94 pixels, four minor ones between
  const AxisScale a = axisScale(0, 100, 470, true);
  std::vector<int> major, minor;
  for (const AxisTick& t : a.ticks) (t.major ? major : minor).push_back(t.offset);
  EXPECT_EQ(major, (std::vector<int>{0, 94, 188, 282, 376, 470}));
  EXPECT_EQ(minor.size(), 20u);
  EXPECT_TRUE(std::find(minor.begin(), minor.end(), 18) != minor.end() ||
              std::find(minor.begin(), minor.end(), 19) != minor.end());
  // the x label at the very end needs 15 pixels unless the labels are plain
  for (const AxisTick& t : a.ticks)
    if (t.major) {
      EXPECT_EQ(t.labelled, t.offset < 470 - 15);
    }
}

TEST(GraphAxes, LabelsAndMultipliers) {
  EXPECT_EQ(axisLabel(0), " 0");
  EXPECT_EQ(axisLabel(4), " 4");
  EXPECT_EQ(axisLabel(12), "12");
  EXPECT_EQ(axisLabel(-3.9999999), "-4");
  EXPECT_EQ(axisLabel(101), "101");
  EXPECT_EQ(axisMultiplier(2), "*100");
  EXPECT_EQ(axisMultiplier(-1), "*0.1");
  EXPECT_EQ(axisMultiplier(-3), "*0.001");
  EXPECT_EQ(axisMultiplier(0), "");
}

// --- ranges and mapping ---------------------------------------------------------------------

TEST(GraphPlot, HistogramWidensXByHalfABarAndStartsAtZero) {
  std::vector<double> x, y;
  for (int i = 1; i <= 10; ++i) {
    x.push_back(i);
    y.push_back(5 + i);
  }
  const PlotResult r = drawPlot({series(x, y, kStyleHistogram)}, PlotBox{30, 20, 470, 250}, false, 2);
  // 0.55..10.45 before the margins of 1/20 of the width
  EXPECT_NEAR(r.map.xmin, 0.55 - 9.9 / 20, 1e-9);
  EXPECT_NEAR(r.map.xmax, 10.45 + 9.9 / 20, 1e-9);
  EXPECT_NEAR(r.map.ymin, 0 - 15.0 / 20, 1e-9);
  EXPECT_DOUBLE_EQ(r.barBase, 0);
  // ten bars, each standing on y = 0 and reaching its value
  const auto bars = itemsOf(r, GraphItem::Kind::Rect);
  ASSERT_EQ(bars.size(), 11u);  // the frame and ten bars
  const double hw = 470.0 / 10 * 0.7 / 2;
  for (int i = 1; i <= 10; ++i) {
    const GraphItem& b = *bars[static_cast<std::size_t>(i)];
    const int X = r.map.px(i);
    EXPECT_EQ(b.x1, static_cast<int>(std::trunc(X - hw)));
    EXPECT_EQ(b.x2, static_cast<int>(std::trunc(X + hw)));
    EXPECT_EQ(b.y2, r.map.py(0));
    EXPECT_EQ(b.y1, r.map.py(5 + i));
    EXPECT_EQ(b.brush, graphColour(0));
  }
}

TEST(GraphPlot, FixedScatterScaleIgnoresTheData) {
  const PlotResult r = drawPlot({series({0.1, 3.0}, {5.0, 9.0}, kStyleScatter)}, PlotBox{30, 20, 300, 300}, true, 2);
  EXPECT_NEAR(r.map.xmin, 0.345, 1e-12);
  EXPECT_NEAR(r.map.xmax, 1.555, 1e-12);
  EXPECT_NEAR(r.map.ymin, 0.345, 1e-12);
  EXPECT_NEAR(r.map.ymax, 1.555, 1e-12);
}

TEST(GraphPlot, EmptySeriesAndEqualValuesKeepSoundRanges) {
  SeriesPoints empty;
  empty.x = {};
  empty.y = {};
  // the empty series would pull the range to 0 if it counted
  const PlotResult r = drawPlot({series({10, 20}, {5, 7}), empty}, PlotBox{30, 20, 200, 100}, false, 2);
  EXPECT_NEAR(r.map.xmin, 10 - 0.5, 1e-9);
  EXPECT_NEAR(r.map.xmax, 20 + 0.5, 1e-9);
  // all y equal: a unit range around the value, then the margins
  const PlotResult flat = drawPlot({series({1, 2, 3}, {4, 4, 4})}, PlotBox{30, 20, 200, 100}, false, 2);
  EXPECT_NEAR(flat.map.ymin, 3.5 - 0.05, 1e-9);
  EXPECT_NEAR(flat.map.ymax, 4.5 + 0.05, 1e-9);
  // nothing at all: a frame and axes, no series lines
  const PlotResult none = drawPlot({empty}, PlotBox{30, 20, 200, 100}, false, 2);
  for (const auto* l : itemsOf(none, GraphItem::Kind::Line)) EXPECT_EQ(l->pen, kGraphOutline);
}

TEST(GraphPlot, CurveGoesThroughThePointsInTheSeriesColour) {
  const PlotBox box{30, 20, 400, 200};
  const PlotResult r = drawPlot({series({0, 1, 2, 3}, {0, 10, 5, 10}, kStyleLine, 3)}, box, false, 2);
  // margins: x −0.15..3.15, y −0.5..10.5
  EXPECT_EQ(r.map.px(0), 30 + static_cast<int>(400 / 3.3 * 0.15));
  EXPECT_EQ(r.map.py(10), 220 - static_cast<int>(200 / 11.0 * 10.5));
  std::vector<const GraphItem*> curve;
  for (const auto* l : itemsOf(r, GraphItem::Kind::Line))
    if (l->pen == graphColour(3)) curve.push_back(l);
  ASSERT_EQ(curve.size(), 3u);
  const double xs[] = {0, 1, 2, 3}, ys[] = {0, 10, 5, 10};
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(curve[static_cast<std::size_t>(i)]->x1, r.map.px(xs[i]));
    EXPECT_EQ(curve[static_cast<std::size_t>(i)]->y1, r.map.py(ys[i]));
    EXPECT_EQ(curve[static_cast<std::size_t>(i)]->x2, r.map.px(xs[i + 1]));
    EXPECT_EQ(curve[static_cast<std::size_t>(i)]->y2, r.map.py(ys[i + 1]));
    EXPECT_EQ(curve[static_cast<std::size_t>(i)]->penWidth, 2);
  }
  // frame from (left, top) to (left + width + 1, bottom + 1), white inside
  const GraphItem& frame = *itemsOf(r, GraphItem::Kind::Rect).front();
  EXPECT_EQ(frame.x1, 30);
  EXPECT_EQ(frame.y1, 20);
  EXPECT_EQ(frame.x2, 431);
  EXPECT_EQ(frame.y2, 221);
  EXPECT_EQ(frame.brush, kGraphPlotWhite);
}

TEST(GraphPlot, MarkerStylesAndFills) {
  struct Case {
    int style;
    int lines;    // series lines drawn
    int markers;  // circle markers
  };
  const Case cases[] = {{kStyleLine, 2, 0}, {kStyleLineMarkers, 2, 3}, {kStyleScatter, 0, 3}, {kStyleMarkers, 0, 3}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.style);
    const PlotResult r = drawPlot({series({1, 2, 3}, {1, 3, 2}, c.style, 1)}, PlotBox{30, 20, 300, 200}, false, 2);
    int lines = 0;
    for (const auto* l : itemsOf(r, GraphItem::Kind::Line)) lines += l->pen == graphColour(1) ? 1 : 0;
    // the scatter ellipse of style 2 adds 40 lines in the same pen
    if (c.style == kStyleScatter) lines -= r.scatter ? 40 : 0;
    EXPECT_EQ(lines, c.lines);
    const auto markers = itemsOf(r, GraphItem::Kind::Ellipse);
    EXPECT_EQ(static_cast<int>(markers.size()), c.markers);
    for (const auto* m : markers) {
      EXPECT_EQ(m->x2 - m->x1, 5);  // radius 2: X − 2 .. X + 3
      EXPECT_EQ(m->brush, kGraphPlotWhite);
    }
  }
  // series 4 and 5 have black markers
  std::vector<SeriesPoints> six;
  for (int k = 0; k < 6; ++k) six.push_back(series({1, 2}, {k * 1.0, k + 1.0}, kStyleMarkers, k));
  const PlotResult r = drawPlot(six, PlotBox{30, 20, 300, 200}, false, 2);
  const auto markers = itemsOf(r, GraphItem::Kind::Ellipse);
  ASSERT_EQ(markers.size(), 12u);
  for (std::size_t i = 0; i < 12; ++i) EXPECT_EQ(markers[i]->brush, i >= 8 ? kGraphOutline : kGraphPlotWhite);
}

TEST(GraphPlot, SignedBarsStandOnTheBaselineTheSignsChoose) {
  struct Case {
    std::vector<double> y;
    double base;  // in data units
  };
  const Case cases[] = {
      {{-2, 3, 5}, 0},       // minimum below zero, maximum above: bars from 0
      {{-8, -3, -5}, -2.75}, // all negative: bars hang from the top of the range (after its margin)
      {{2, 3, 6}, 2},        // all positive: bars from the smallest value
  };
  for (const auto& c : cases) {
    const PlotResult r = drawPlot({series({1, 2, 3}, c.y, kStyleSignedBars)}, PlotBox{30, 20, 300, 200}, false, 2);
    const auto bars = itemsOf(r, GraphItem::Kind::Rect);
    ASSERT_EQ(bars.size(), 4u);
    for (std::size_t i = 1; i < 4; ++i) {
      const int baseY = r.map.py(c.base);
      const int valueY = r.map.py(c.y[i - 1]);
      EXPECT_EQ(bars[i]->y1, std::min(baseY, valueY));
      EXPECT_EQ(bars[i]->y2, std::max(baseY, valueY));
    }
  }
}

TEST(GraphPlot, ScatterEllipseMeasuresSpreadAlongAndAcrossTheIdentityLine) {
  const std::vector<double> x = {0.8, 0.9, 1.0, 1.1, 0.95};
  const std::vector<double> y = {0.85, 0.8, 1.1, 1.0, 1.0};
  const int N = 5;
  // along the line: (x + y)/√2, across it: |x − y|/√2
  double sa = 0, sa2 = 0, sb2 = 0, sx = 0;
  for (int i = 0; i < N; ++i) {
    const double a = (x[i] + y[i]) / std::sqrt(2.0), b = (x[i] - y[i]) / std::sqrt(2.0);
    sa += a;
    sa2 += a * a;
    sb2 += b * b;
    sx += x[i];
  }
  const double A = std::sqrt((sa2 - sa * sa / N) / (N - 1)), B = std::sqrt(sb2 / (N - 1));
  const PlotResult r = drawPlot({series(x, y, kStyleScatter)}, PlotBox{30, 20, 300, 300}, false, 2);
  ASSERT_TRUE(r.scatter.has_value());
  EXPECT_NEAR(r.scatter->A, A, 1e-12);
  EXPECT_NEAR(r.scatter->B, B, 1e-12);
  EXPECT_NEAR(r.scatter->mean, sx / N, 1e-12);
  EXPECT_EQ(r.scatter->v, 1);
  // t = 0 lies on the identity line, v·A along it from the mean
  EXPECT_NEAR(r.scatter->points[0].first, sx / N + A / std::sqrt(2.0), 1e-12);
  EXPECT_NEAR(r.scatter->points[0].second, sx / N + A / std::sqrt(2.0), 1e-12);
  EXPECT_EQ(r.scatterText, "a = " + formatNumber(A) + "    b = " + formatNumber(B) +
                               "    b/a = " + formatNumber(B / A));
  // a single point, or points with no spread along the line, give no ellipse
  EXPECT_FALSE(drawPlot({series({1}, {1}, kStyleScatter)}, PlotBox{30, 20, 300, 300}, false, 2).scatter);
  EXPECT_FALSE(drawPlot({series({1, 2}, {2, 1}, kStyleScatter)}, PlotBox{30, 20, 300, 300}, false, 2).scatter);
}

TEST(GraphPlot, FixedScaleWidensTheEllipseWhileItFits) {
  SeriesPoints s = series({0.9, 1.0, 1.1, 0.95, 1.05}, {0.92, 1.02, 1.08, 0.97, 1.0}, kStyleScatter);
  const auto e = scatterEllipse(s, 0.345, 1.555, true);
  ASSERT_TRUE(e);
  EXPECT_EQ(e->v, 3);
  const auto tight = scatterEllipse(s, 0.9, 1.1, true);
  ASSERT_TRUE(tight);
  EXPECT_EQ(tight->v, 1);
}

TEST(GraphPlot, TwoPanelsDrawSeriesAboveAndBelow) {
  GraphSnapshot g;
  g.seriesCountCode = -1;
  g.series = {series({1, 2, 3}, {1, 2, 3}), series({1, 2, 3}, {100, 300, 200}, kStyleLine, 1)};
  const GraphGeometry geo = layOutPlot(521, 359 + 200, 60);
  const GraphDrawing d = drawGraph(g, geo, true, false, 2);
  ASSERT_EQ(d.panels.size(), 2u);
  const int half = geo.height / 2;
  EXPECT_EQ(d.panels[0].map.plotBottom, geo.top + half);
  EXPECT_EQ(d.panels[1].map.plotBottom, geo.top + half + 25 + half);
  EXPECT_NEAR(d.panels[1].map.ymax, 300 + 10, 1e-9);  // its own range
}

TEST(GraphGeometryRules, SetBodFromTheWindowSize) {
  const GraphGeometry g = layOutPlot(521, 359, 20);
  EXPECT_EQ(g.drawingWidth, 521);
  EXPECT_EQ(g.drawingHeight, 339);
  EXPECT_EQ(g.left, 30);
  EXPECT_EQ(g.top, 20);
  EXPECT_EQ(g.width, 471);
  EXPECT_EQ(g.height, 359 - 20 - 20 - 45);
}

// --- linked cursor ----------------------------------------------------------------------------

TEST(GraphLink, PointsMapToRecordPositionsByLinkKind) {
  StudyState s;
  s.recordLength = 5000;
  // intervals 100, 120, 90 with the first start 250 stored after them
  const std::int16_t intervals[] = {100, 120, 90};
  for (int i = 0; i < 3; ++i) {
    s.resultStore[i] = intervals[i];
    s.resultStore[2048 + i] = static_cast<std::int16_t>(intervals[i] * 2);
  }
  const int last = 2;
  s.resultStore[last + 1] = 250;
  s.resultStore[2048 + last + 1] = 40;
  EXPECT_EQ(linkedSample(s, 1, last, 0), 250);
  EXPECT_EQ(linkedSample(s, 1, last, 2), 250 + 100 + 120);
  EXPECT_EQ(linkedSample(s, 2, last, 1), 40 + 200);
  s.resultStore[1] = 777;  // link 3: point u at entry u + 1
  EXPECT_EQ(linkedSample(s, 3, last, 0), 777);
  EXPECT_FALSE(linkedSample(s, 0, last, 0));
  EXPECT_FALSE(linkedSample(s, 1, last, 3));  // beyond the last point
  s.resultStore[last + 1] = 4990;             // a position past the record
  EXPECT_FALSE(linkedSample(s, 1, last, 2));

  s.resultStore[last + 1] = 250;
  s.cursorPos = 7;
  s.viewStart = 3;
  ASSERT_TRUE(moveMonitorToPoint(s, 1, last, 1));
  EXPECT_EQ(s.cursorPos, 350);
  EXPECT_EQ(s.viewStart, 250);
  ASSERT_TRUE(moveMonitorToPoint(s, 2, last, 0));
  EXPECT_EQ(s.cursorPos, 40);
  EXPECT_EQ(s.viewStart, 0);
  EXPECT_FALSE(moveMonitorToPoint(s, 0, last, 0));
  EXPECT_EQ(s.cursorPos, 40);
}

TEST(GraphLink, CursorColumnsAndClicks) {
  PlotMapping m;
  m.xmin = 0;
  m.xmax = 10;
  m.left = 30;
  m.plotWidth = 400;
  const CursorScale c = cursorScale(m, series({1, 2, 3, 4, 5}, {0, 0, 0, 0, 0}));
  EXPECT_EQ(c.x0, 70);
  EXPECT_DOUBLE_EQ(c.step, 40.0);
  EXPECT_EQ(c.columnOf(3), 190);
  EXPECT_EQ(c.indexAt(89), 0);
  EXPECT_EQ(c.indexAt(90), 1);
  EXPECT_EQ(c.indexAt(-50), 0);
  EXPECT_EQ(c.indexAt(5000), 4);
  const CursorScale one = cursorScale(m, series({5}, {1}));
  EXPECT_EQ(one.indexAt(300), 0);
  EXPECT_EQ(one.columnOf(0), m.px(5));
}

// --- windows ------------------------------------------------------------------------------------

TEST(GraphWindows, SlotChoice) {
  struct Case {
    std::vector<int> open;
    int current;
    int expected;
  };
  const Case cases[] = {
      {{}, 0, 1},
      {{1, 2, 3}, 3, 4},
      {{1, 3, 4, 5, 6}, 6, 2},          // closing slot 2 of six frees it for the next graph
      {{1, 2, 3, 4, 5}, 5, 6},
      {{1, 2, 3, 4, 5, 6}, 4, 4},       // a seventh replaces the current window
      {{1, 2, 3, 4, 5, 6}, 0, 6},
  };
  for (const auto& c : cases) {
    std::array<bool, kGraphSlots + 1> occupied{};
    for (int i : c.open) occupied[static_cast<std::size_t>(i)] = true;
    EXPECT_EQ(chooseGraphSlot(occupied, c.current), c.expected);
  }
}

TEST(GraphWindows, TilingInTwoRowsOfThree) {
  const std::vector<WindowSize> sizes = {{500, 300}, {340, 310}, {520, 320}, {400, 330}, {450, 340}, {460, 350}};
  const auto at = tileGraphWindows(sizes, 90);
  ASSERT_EQ(at.size(), 6u);
  const int expected[6][2] = {{0, 90}, {500, 90}, {1000, 90}, {0, 390}, {400, 400}, {800, 410}};
  for (int j = 0; j < 6; ++j) {
    EXPECT_EQ(at[static_cast<std::size_t>(j)].x, expected[j][0]) << j;
    EXPECT_EQ(at[static_cast<std::size_t>(j)].y, expected[j][1]) << j;
  }
  EXPECT_EQ(tileGraphWindows({{500, 300}}, 7).front().y, 7);
}

// --- state file and export -------------------------------------------------------------------------

TEST(GraphStateFile, SixByteRealsOnKnownBytes) {
  unsigned char b[6];
  encodeReal48(1.0, b);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(b), 6), std::string("\x81\0\0\0\0\0", 6));
  encodeReal48(-2.5, b);  // 1.25 · 2^1, sign bit set
  EXPECT_EQ(std::string(reinterpret_cast<char*>(b), 6), std::string("\x82\0\0\0\0\xA0", 6));
  encodeReal48(0.0, b);
  EXPECT_EQ(b[0], 0);
  EXPECT_EQ(decodeReal48(b), 0.0);
  for (double v : {0.1, -123.456, 1e-30, 3.0e37, 1024.0, 0.999999}) {
    encodeReal48(v, b);
    EXPECT_NEAR(decodeReal48(b), v, std::fabs(v) * 4e-12) << v;
  }
  encodeReal48(1e-60, b);  // below the smallest: zero
  EXPECT_EQ(decodeReal48(b), 0.0);
  encodeReal48(1e60, b);  // above the largest: the largest
  EXPECT_GT(decodeReal48(b), 1e38);
}

GraphSnapshot sampleSnapshot() {
  GraphSnapshot g;
  g.seriesCountCode = 1;
  SeriesPoints a = series({1, 2, 3}, {0.5f, -1.25f, 3.0f}, kStyleLineMarkers, 2);
  a.entry.xRow = 0;
  a.entry.yRow = 1;
  SeriesPoints b = series({1, 2, 3}, {7, 8, 9}, kStyleHistogram, 13);
  b.entry.xRow = 0;
  b.entry.yRow = 5;
  g.series = {a, b};
  return g;
}

TEST(GraphStateFile, RoundTripRestoresTableAndRows) {
  StudyState s;
  GraphTable t;
  applySnapshot(s, t, sampleSnapshot());
  const GraphSnapshot taken = snapshotFromStore(s, t, 1);
  const std::string bytes = encodeGraphState(taken);
  // mode, count, then per series 10 bytes of header and 12 per point
  EXPECT_EQ(bytes.size(), 4u + 2 * (10 + 3 * 12));
  EXPECT_EQ(bytes.substr(0, 4), std::string("\0\0\1\0", 4));

  StudyState other;
  GraphTable t2;
  GraphSnapshot back;
  std::string reason;
  ASSERT_TRUE(decodeGraphState(bytes, back, reason)) << reason;
  applySnapshot(other, t2, back);
  EXPECT_EQ(t2.series[1].yRow, 5);
  EXPECT_EQ(t2.series[1].colour, 13);
  EXPECT_EQ(t2.series[1].style, kStyleHistogram);
  EXPECT_EQ(t2.lastIndex[0], 2);
  EXPECT_FLOAT_EQ(floatAt(other, 1, 1), -1.25f);
  EXPECT_FLOAT_EQ(floatAt(other, 5, 2), 9.0f);
  EXPECT_FLOAT_EQ(floatAt(other, 0, 2), 3.0f);
}

TEST(GraphStateFile, SnapshotRules) {
  StudyState s;
  GraphTable t;
  for (int i = 0; i < 10; ++i) {
    setFloatAt(s, 2, i, static_cast<float>(i));
    setFloatAt(s, 3, i, static_cast<float>(i * i));
  }
  t.series[0] = {2, 3, 0, 0};
  t.series[1] = {2, 3, 1, 0};
  t.lastIndex[0] = 4;
  t.lastIndex[1] = 9;
  // two panels share the point count of series 0
  const GraphSnapshot two = snapshotFromStore(s, t, -1);
  ASSERT_EQ(two.series.size(), 2u);
  EXPECT_EQ(two.series[1].count(), 5);
  // a last index past the row is cut to the row; a row outside the store is empty
  t.lastIndex[0] = 5000;
  t.series[1].yRow = 16;
  const GraphSnapshot cut = snapshotFromStore(s, t, 1);
  EXPECT_EQ(cut.series[0].count(), kGraphMaxPoints);
  EXPECT_EQ(cut.series[1].count(), 0);
  EXPECT_EQ(cut.series[1].lastIndex, kEmptySeries);
}

TEST(GraphStateFile, HostileFilesAreRefused) {
  const std::string good = encodeGraphState(sampleSnapshot());
  auto patched = [&](std::size_t at, std::string_view bytes) {
    std::string b = good;
    b.replace(at, bytes.size(), bytes);
    return b;
  };
  const struct {
    const char* what;
    std::string bytes;
  } cases[] = {
      {"empty", ""},
      {"mode 1", patched(0, std::string("\1\0", 2))},
      {"seven series", patched(2, std::string("\6\0", 2))},
      {"negative seven", patched(2, std::string("\xFA\xFF", 2))},
      {"x row 16", patched(6, std::string("\x10", 1))},
      {"y row 200", patched(8, std::string("\xC8", 1))},
      {"1025 points", patched(4, std::string("\x00\x04", 2))},
      {"cut in the points", good.substr(0, good.size() - 1)},
      {"cut in a header", good.substr(0, 4 + 10 + 36 + 5)},
  };
  for (const auto& c : cases) {
    GraphSnapshot out;
    out.seriesCountCode = 42;
    std::string reason;
    EXPECT_FALSE(decodeGraphState(c.bytes, out, reason)) << c.what;
    EXPECT_FALSE(reason.empty()) << c.what;
    EXPECT_EQ(out.seriesCountCode, 42) << c.what;  // left as it was
  }
  // every shorter prefix is refused without reading past its end
  for (std::size_t n = 0; n < good.size(); ++n) {
    GraphSnapshot out;
    std::string reason;
    EXPECT_FALSE(decodeGraphState(std::string_view(good).substr(0, n), out, reason)) << n;
  }
  // an empty series carries no points
  GraphSnapshot withEmpty;
  withEmpty.seriesCountCode = 0;
  withEmpty.series.push_back(SeriesPoints{});
  GraphSnapshot back;
  std::string reason;
  ASSERT_TRUE(decodeGraphState(encodeGraphState(withEmpty), back, reason));
  EXPECT_EQ(back.series[0].lastIndex, kEmptySeries);
}

TEST(GraphExport, LinesOfTwoPaddedNumbers) {
  GraphSnapshot g = sampleSnapshot();
  g.series[1].x = {1234};
  g.series[1].y = {0.00012346};
  const std::string expected =
      "         1       0.5\r\n"
      "         2     -1.25\r\n"
      "         3         3\r\n"
      "\r\n"
      "      1234 0.0001235\r\n"
      "\r\n";
  EXPECT_EQ(graphExportText(g, true), expected);
  std::string noBlank = expected;
  noBlank.erase(noBlank.find("\r\n\r\n"), 2);
  noBlank.erase(noBlank.size() - 2);
  EXPECT_EQ(graphExportText(g, false), noBlank);
}

}  // namespace
}  // namespace velor
