#include "results/graph.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

#include "core/binio.h"
#include "core/numtext.h"
#include "results/graph_texts.h"

namespace velor {

namespace {

constexpr Rgb kColours[12] = {0xFF0000, 0x00FF00, 0xFFFF00, 0x0000FF, 0xFF00FF, 0x00FFFF,
                              0x800000, 0x008000, 0x808000, 0x000080, 0x800080, 0x008080};

constexpr double kPi = 3.14159265358979323846;
// Pixel values are computed in doubles and kept far inside int range, so a
// wild value draws off the picture instead of overflowing.
constexpr double kPixelLimit = 1e7;

int toPixel(double v) {
  if (std::isnan(v)) return 0;
  return static_cast<int>(std::trunc(std::clamp(v, -kPixelLimit, kPixelLimit)));
}

bool validRow(int row) { return row >= 0 && row < kFloatRows; }

// sign(0) = 0, as the first-tick rule needs.
double signOf(double v) { return v > 0 ? 1.0 : (v < 0 ? -1.0 : 0.0); }

// Whole number near v when v is within rounding noise of it.
bool nearlyWhole(double v) { return std::fabs(v - std::round(v)) < 1e-6; }

GraphItem line(int x1, int y1, int x2, int y2, Rgb pen, int width = 1, bool dotted = false) {
  GraphItem it;
  it.kind = GraphItem::Kind::Line;
  it.x1 = x1;
  it.y1 = y1;
  it.x2 = x2;
  it.y2 = y2;
  it.pen = pen;
  it.penWidth = width;
  it.dotted = dotted;
  return it;
}

GraphItem rectItem(GraphItem::Kind kind, int x1, int y1, int x2, int y2, Rgb pen, Rgb brush) {
  GraphItem it;
  it.kind = kind;
  it.x1 = std::min(x1, x2);
  it.y1 = std::min(y1, y2);
  it.x2 = std::max(x1, x2);
  it.y2 = std::max(y1, y2);
  it.pen = pen;
  it.brush = brush;
  return it;
}

GraphItem text(int x, int y, std::string t, int boxWidth) {
  GraphItem it;
  it.kind = GraphItem::Kind::Text;
  it.x1 = x;
  it.y1 = y;
  it.text = std::move(t);
  it.boxWidth = boxWidth;
  it.pen = kGraphOutline;
  return it;
}

}  // namespace

Rgb graphColour(int code) {
  const int i = ((code % 12) + 12) % 12;
  return kColours[i];
}

float floatAt(const StudyState& s, int row, int i) {
  if (!validRow(row) || i < 0 || i >= kFloatRowLength) return 0.0f;
  return s.floatStore[row * kFloatRowLength + i];
}

void setFloatAt(StudyState& s, int row, int i, float v) {
  if (!validRow(row) || i < 0 || i >= kFloatRowLength) return;
  s.floatStore[row * kFloatRowLength + i] = v;
}

// --- snapshots ---------------------------------------------------------------------------

GraphSnapshot snapshotFromStore(const StudyState& s, const GraphTable& t, int seriesCountCode) {
  GraphSnapshot g;
  g.seriesCountCode = std::clamp(seriesCountCode, -(kGraphSeriesCount - 1), kGraphSeriesCount - 1);
  const int n = std::abs(g.seriesCountCode);
  for (int k = 0; k <= n; ++k) {
    SeriesPoints sp;
    sp.entry = t.series[static_cast<std::size_t>(k)];
    // The two panels share the point count of series 0.
    std::uint16_t li = t.lastIndex[static_cast<std::size_t>(g.seriesCountCode < 0 ? 0 : k)];
    if (!validRow(sp.entry.xRow) || !validRow(sp.entry.yRow)) li = kEmptySeries;
    if (li != kEmptySeries) {
      li = static_cast<std::uint16_t>(std::min<int>(li, kGraphMaxPoints - 1));
      for (int i = 0; i <= li; ++i) {
        sp.x.push_back(floatAt(s, sp.entry.xRow, i));
        sp.y.push_back(floatAt(s, sp.entry.yRow, i));
      }
    }
    sp.lastIndex = li;
    g.series.push_back(std::move(sp));
  }
  return g;
}

void applySnapshot(StudyState& s, GraphTable& t, const GraphSnapshot& g) {
  const std::size_t n = std::min<std::size_t>(g.series.size(), kGraphSeriesCount);
  for (std::size_t k = 0; k < n; ++k) {
    const SeriesPoints& sp = g.series[k];
    t.series[k] = sp.entry;
    t.lastIndex[k] = sp.lastIndex;
    const int count = std::min(sp.count(), kGraphMaxPoints);
    for (int i = 0; i < count; ++i) {
      setFloatAt(s, sp.entry.xRow, i, static_cast<float>(sp.x[static_cast<std::size_t>(i)]));
      setFloatAt(s, sp.entry.yRow, i, static_cast<float>(sp.y[static_cast<std::size_t>(i)]));
    }
  }
}

// --- state file ---------------------------------------------------------------------------

std::string graphStateFileName(int slot) { return "Gra" + std::to_string(slot) + ".tmp"; }

void encodeReal48(double v, unsigned char out[6]) {
  std::fill(out, out + 6, 0);
  if (std::isnan(v) || v == 0) return;
  const bool negative = v < 0;
  double a = std::fabs(v);
  int exp2 = 0;
  double frac = std::frexp(std::isinf(a) ? std::numeric_limits<double>::max() : a, &exp2);  // a = frac · 2^exp2, frac in [0.5, 1)
  // value = 1.m · 2^(E − 129) = frac · 2^exp2 with 1.m = 2·frac → E = exp2 + 128
  long long mant = std::llround((frac * 2.0 - 1.0) * 549755813888.0);  // 2^39
  int e = exp2 + 128;
  if (mant >= (1LL << 39)) {  // rounding carried into the next power of two
    mant = 0;
    ++e;
  }
  if (e < 1) return;  // too small: zero
  if (e > 255) {      // too large: the largest magnitude
    e = 255;
    mant = (1LL << 39) - 1;
  }
  out[0] = static_cast<unsigned char>(e);
  for (int i = 0; i < 5; ++i) out[1 + i] = static_cast<unsigned char>((mant >> (8 * i)) & 0xFF);
  if (negative) out[5] |= 0x80;
}

double decodeReal48(const unsigned char in[6]) {
  if (in[0] == 0) return 0.0;
  long long mant = 0;
  for (int i = 4; i >= 0; --i) mant = (mant << 8) | in[1 + i];
  mant &= (1LL << 39) - 1;
  const double v = std::ldexp(1.0 + static_cast<double>(mant) / 549755813888.0, in[0] - 129);
  return (in[5] & 0x80) ? -v : v;
}

std::string encodeGraphState(const GraphSnapshot& g) {
  ByteWriter w;
  w.i16(0);
  w.i16(g.seriesCountCode);
  unsigned char r[6];
  for (const SeriesPoints& sp : g.series) {
    w.u16(sp.count() == 0 ? kEmptySeries : static_cast<unsigned>(sp.count() - 1));
    w.u16(sp.entry.xRow);
    w.u16(sp.entry.yRow);
    w.u16(sp.entry.colour);
    w.u16(sp.entry.style);
    for (int i = 0; i < sp.count(); ++i) {
      encodeReal48(sp.x[static_cast<std::size_t>(i)], r);
      w.bytes(std::string_view(reinterpret_cast<const char*>(r), 6));
      encodeReal48(sp.y[static_cast<std::size_t>(i)], r);
      w.bytes(std::string_view(reinterpret_cast<const char*>(r), 6));
    }
  }
  return w.data();
}

bool decodeGraphState(std::string_view bytes, GraphSnapshot& out, std::string& reason) {
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  const std::size_t size = bytes.size();
  std::size_t at = 0;
  auto have = [&](std::size_t n) { return size - at >= n; };
  if (!have(4)) {
    reason = "файл графиков короче заголовка";
    return false;
  }
  if (getI16(p) != 0) {
    reason = "неизвестный вид файла графиков";
    return false;
  }
  const int code = getI16(p + 2);
  at = 4;
  if (std::abs(code) >= kGraphSeriesCount) {
    reason = "число графиков в файле больше " + std::to_string(kGraphSeriesCount);
    return false;
  }
  GraphSnapshot g;
  g.seriesCountCode = code;
  for (int k = 0; k <= std::abs(code); ++k) {
    if (!have(10)) {
      reason = "файл графиков обрывается в описании графика " + std::to_string(k);
      return false;
    }
    SeriesPoints sp;
    sp.lastIndex = getU16(p + at);
    sp.entry.xRow = p[at + 2];  // the high bytes carry nothing
    sp.entry.yRow = p[at + 4];
    sp.entry.colour = p[at + 6];
    sp.entry.style = p[at + 8];
    at += 10;
    if (!validRow(sp.entry.xRow) || !validRow(sp.entry.yRow)) {
      reason = "строка данных графика " + std::to_string(k) + " вне таблицы";
      return false;
    }
    if (sp.lastIndex != kEmptySeries && sp.lastIndex >= kGraphMaxPoints) {
      reason = "в графике " + std::to_string(k) + " больше " + std::to_string(kGraphMaxPoints) + " точек";
      return false;
    }
    const int count = sp.lastIndex == kEmptySeries ? 0 : sp.lastIndex + 1;
    if (!have(static_cast<std::size_t>(count) * 12)) {
      reason = "файл графиков обрывается в точках графика " + std::to_string(k);
      return false;
    }
    for (int i = 0; i < count; ++i) {
      sp.x.push_back(decodeReal48(p + at));
      sp.y.push_back(decodeReal48(p + at + 6));
      at += 12;
    }
    g.series.push_back(std::move(sp));
  }
  out = std::move(g);
  return true;
}

// --- export -----------------------------------------------------------------------------------

std::string graphExportText(const GraphSnapshot& g, bool blankBetweenSeries) {
  std::string out;
  for (const SeriesPoints& sp : g.series) {
    for (int i = 0; i < sp.count(); ++i) {
      out += padLeft(formatNumber(sp.x[static_cast<std::size_t>(i)]), 10);
      out += padLeft(formatNumber(sp.y[static_cast<std::size_t>(i)]), 10);
      out += "\r\n";
    }
    if (blankBetweenSeries) out += "\r\n";
  }
  return out;
}

bool writeGraphExport(const std::string& path, const GraphSnapshot& g, Interaction& ui) {
  if (writeFileAtomically(path, graphExportText(g, true))) return true;
  ui.message("Файл " + baseName(path) + " не записан.");
  return false;
}

// --- geometry ---------------------------------------------------------------------------------

GraphGeometry layOutPlot(int windowWidth, int windowHeight, int reserve) {
  GraphGeometry g;
  g.drawingWidth = windowWidth;
  g.drawingHeight = windowHeight - kGraphCaptionHeight;
  g.left = 30;
  g.top = 20;
  g.width = windowWidth - 50;
  g.height = windowHeight - kGraphCaptionHeight - reserve - 45;
  return g;
}

// --- axes ---------------------------------------------------------------------------------------

std::string axisLabel(double value) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%2lld", static_cast<long long>(std::llround(std::clamp(value, -1e15, 1e15))));
  return buf;
}

std::string axisMultiplier(int n) {
  if (n > 0) return "*1" + std::string(static_cast<std::size_t>(n), '0');
  if (n < 0) return "*0." + std::string(static_cast<std::size_t>(-n - 1), '0') + "1";
  return {};
}

AxisScale axisScale(double min, double max, int P, bool xAxis) {
  AxisScale a;
  const double R = max - min;
  if (!(R > 0) || !std::isfinite(R) || P < 1) return a;
  a.e = static_cast<int>(std::floor(std::log10(R)));
  // log10 of an exact power of ten may come out a hair low
  if (std::pow(10.0, a.e + 1) <= R * (1 + 1e-12)) ++a.e;
  a.p = std::pow(10.0, a.e);
  a.k = std::clamp(static_cast<int>(std::trunc(R / a.p + 0.5)), 1, 10);
  if (a.k < 3) {
    a.r = 5;
  } else if (a.k == 8 && P / 8.0 < 20) {
    a.r = 4;
  } else if (a.k == 9 && P / 9.0 < 20) {
    a.r = 3;
  } else if (a.k == 10 && P / 10.0 < 20) {
    a.r = 5;
  } else {
    a.r = a.k;
  }
  a.D = 1;
  for (int d : {5, 4, 2}) {
    if (static_cast<double>(P) / a.k / d > 2) {
      a.D = d;
      break;
    }
  }
  a.s = a.p * a.k / a.r;
  a.K = P * (a.p * a.k / R) / a.r;
  const double q = a.s / a.p * 10;
  const bool unitsOfP = nearlyWhole(q / 10);
  a.n = unitsOfP ? a.e : a.e - 1;
  a.labelStep = static_cast<int>(std::lround(unitsOfP ? q / 10 : q));
  a.t0 = signOf(min) * a.s * std::floor((std::fabs(min) + a.s) / a.s + 1e-9);
  a.L0 = (a.t0 - min) / a.s * a.K;
  a.F0 = unitsOfP ? a.t0 / a.p : a.t0 / a.p * 10;
  if (nearlyWhole(a.F0)) a.F0 = std::round(a.F0);  // a whole count of label units, less the rounding noise
  if (!(a.K > 0)) return a;
  for (int j = 0; j < 1000; ++j) {
    const double L = a.L0 + j * a.K;
    if (L > P + a.K) break;
    for (int i = 1; i <= a.D; ++i) {
      const double off = L - (i - 1) * a.K / a.D;
      if (off < 0 || off > P) continue;
      AxisTick t;
      t.offset = toPixel(off);
      t.major = i == 1;
      if (t.major) {
        t.labelValue = a.F0 + static_cast<double>(j) * a.labelStep;
        t.labelled = !xAxis || off < P - 15 || a.n == 0;
      }
      a.ticks.push_back(t);
    }
  }
  return a;
}

// --- plots ----------------------------------------------------------------------------------------

int PlotMapping::px(double x) const {
  return left + toPixel(plotWidth / (xmax - xmin) * (x - xmin));
}

int PlotMapping::py(double y) const {
  return plotBottom - toPixel(plotHeight / (ymax - ymin) * (y - ymin));
}

std::optional<ScatterEllipse> scatterEllipse(const SeriesPoints& s0, double xmin, double xmax, bool fixedScale) {
  double sumX = 0, sumA = 0, sumA2 = 0, sumB2 = 0;
  int N = 0;
  for (int i = 0; i < s0.count(); ++i) {
    const double x = s0.x[static_cast<std::size_t>(i)];
    const double y = s0.y[static_cast<std::size_t>(i)];
    if (!std::isfinite(x) || !std::isfinite(y)) continue;
    const double rho = std::sqrt(x * x + y * y);
    double theta = y == 0 ? kPi / 2 : std::atan(x / y);
    if (theta > kPi / 4) theta = kPi / 2 - theta;
    theta = kPi / 4 - theta;
    const double a = rho * std::cos(theta);
    const double b = rho * std::sin(theta);
    sumX += x;
    sumA += a;
    sumA2 += a * a;
    sumB2 += b * b;
    ++N;
  }
  // One point has no spread, and no spread along the line has no ratio.
  if (N < 2) return std::nullopt;
  ScatterEllipse e;
  e.mean = sumX / N;
  e.A = std::sqrt(std::max(0.0, (sumA2 - sumA * sumA / N) / (N - 1)));
  e.B = std::sqrt(std::max(0.0, sumB2 / (N - 1)));
  if (!(e.A > 0)) return std::nullopt;
  auto leaves = [&](int v) { return e.mean - v * e.A < xmin || e.mean + v * e.A > xmax; };
  e.v = 1;
  if (fixedScale) {
    e.v = 3;
    if (leaves(3)) e.v = 2;
    if (leaves(e.v)) e.v = 1;
  }
  const double c45 = std::cos(kPi / 4);
  for (int t = 0; t <= 40; ++t) {
    const double c = e.v * e.A * std::cos(t * kPi / 20);
    const double d = e.v * e.B * std::sin(t * kPi / 20);
    e.points[static_cast<std::size_t>(t)] = {c45 * (c - d) + e.mean, c45 * (c + d) + e.mean};
  }
  return e;
}

PlotResult drawPlot(const std::vector<SeriesPoints>& series, const PlotBox& box, bool fixedScale, int lineWidth) {
  PlotResult r;
  // Ranges over every finite point of every series.
  bool any = false;
  double xmin = 0, xmax = 0, ymin = 0, ymax = 0;
  for (const SeriesPoints& sp : series) {
    for (int i = 0; i < sp.count(); ++i) {
      const double x = sp.x[static_cast<std::size_t>(i)];
      const double y = sp.y[static_cast<std::size_t>(i)];
      if (!std::isfinite(x) || !std::isfinite(y)) continue;
      if (!any) {
        xmin = xmax = x;
        ymin = ymax = y;
        any = true;
      }
      xmin = std::min(xmin, x);
      xmax = std::max(xmax, x);
      ymin = std::min(ymin, y);
      ymax = std::max(ymax, y);
    }
  }
  if (!any) {
    xmin = ymin = 0;
    xmax = ymax = 1;
  }
  if (fixedScale) {
    xmin = ymin = 0.4;
    xmax = ymax = 1.5;
  }
  const SeriesPoints* s0 = series.empty() ? nullptr : &series[0];
  if (s0 && s0->entry.style == kStyleHistogram && s0->count() > 0) {
    ymin = 0;
    const double h = (xmax - xmin) / s0->count() / 2;
    xmin -= h;
    xmax += h;
  }
  r.barBase = ymin;
  // Equal values would give a zero range: a unit range around them instead.
  auto sound = [](double& lo, double& hi) {
    if (hi < lo) std::swap(lo, hi);
    if (!(hi - lo > 0) || !std::isfinite(hi - lo)) {
      const double mid = std::isfinite(lo) ? lo : 0;
      lo = mid - 0.5;
      hi = mid + 0.5;
    }
  };
  sound(xmin, xmax);
  sound(ymin, ymax);
  const double mx = (xmax - xmin) / 20, my = (ymax - ymin) / 20;
  xmin -= mx;
  xmax += mx;
  ymin -= my;
  ymax += my;

  PlotMapping& m = r.map;
  m.xmin = xmin;
  m.xmax = xmax;
  m.ymin = ymin;
  m.ymax = ymax;
  m.left = box.left;
  m.plotBottom = box.top + box.height;
  m.plotWidth = box.width;
  m.plotHeight = box.height;
  const int topEdge = m.plotBottom - m.plotHeight;
  const int rightEdge = m.left + m.plotWidth;

  // Frame, then the axes drawn inward from both edges, then the series.
  r.items.push_back(
      rectItem(GraphItem::Kind::Rect, m.left, topEdge, rightEdge + 1, m.plotBottom + 1, kGraphOutline, kGraphPlotWhite));
  constexpr int kMajorTick = 10, kMinorTick = 5, kLabelBox = 80, kMultiplierBox = 40;
  const AxisScale ax = axisScale(xmin, xmax, m.plotWidth, true);
  for (const AxisTick& t : ax.ticks) {
    const int X = m.left + t.offset;
    const int len = t.major ? kMajorTick : kMinorTick;
    if (t.major) r.items.push_back(line(X, topEdge, X, m.plotBottom, kGraphOutline, 1, true));
    r.items.push_back(line(X, m.plotBottom, X, m.plotBottom - len, kGraphOutline));
    r.items.push_back(line(X, topEdge, X, topEdge + len, kGraphOutline));
    if (t.labelled) r.items.push_back(text(X - 5, m.plotBottom + 1, axisLabel(t.labelValue), kLabelBox));
  }
  if (ax.n != 0) r.items.push_back(text(m.left + m.plotWidth - 15, m.plotBottom + 1, axisMultiplier(ax.n), kMultiplierBox));
  const AxisScale ay = axisScale(ymin, ymax, m.plotHeight, false);
  for (const AxisTick& t : ay.ticks) {
    const int Y = m.plotBottom - t.offset;
    const int len = t.major ? kMajorTick : kMinorTick;
    if (t.major) r.items.push_back(line(m.left, Y, rightEdge, Y, kGraphOutline, 1, true));
    r.items.push_back(line(m.left, Y, m.left + len, Y, kGraphOutline));
    r.items.push_back(line(rightEdge, Y, rightEdge - len, Y, kGraphOutline));
    if (t.labelled && Y - 7 > topEdge - 2) r.items.push_back(text(m.left - 17, Y - 7, axisLabel(t.labelValue), kLabelBox));
  }
  if (ay.n != 0) r.items.push_back(text(m.left - 15, topEdge - 16, axisMultiplier(ay.n), kMultiplierBox));

  Rgb pen = kGraphOutline;
  for (std::size_t k = 0; k < series.size(); ++k) {
    const SeriesPoints& sp = series[k];
    if (sp.count() == 0) continue;
    pen = graphColour(sp.entry.colour);
    const int style = sp.entry.style;
    const double hw = static_cast<double>(m.plotWidth) / sp.count() * 0.7 / 2;
    double base = r.barBase;
    if (style == kStyleSignedBars) {
      const bool lowNeg = r.barBase < 0, highNeg = ymax < 0;
      base = lowNeg != highNeg ? 0.0 : (highNeg ? ymax : r.barBase);
    }
    const Rgb markerFill = k <= 3 ? kGraphPlotWhite : kGraphOutline;
    bool havePrev = false;
    int prevX = 0, prevY = 0;
    for (int i = 0; i < sp.count(); ++i) {
      const double x = sp.x[static_cast<std::size_t>(i)];
      const double y = sp.y[static_cast<std::size_t>(i)];
      if (!std::isfinite(x) || !std::isfinite(y)) continue;
      const int X = m.px(x), Y = m.py(y);
      if (style == kStyleHistogram || style == kStyleSignedBars) {
        r.items.push_back(rectItem(GraphItem::Kind::Rect, toPixel(X - hw), m.py(base), toPixel(X + hw), Y, kGraphOutline,
                                   pen));
        continue;
      }
      const bool lines = style != kStyleScatter && style != kStyleMarkers;
      if (lines && havePrev && (prevX != X || prevY != Y)) r.items.push_back(line(prevX, prevY, X, Y, pen, lineWidth));
      if (style == kStyleLineMarkers || style == kStyleScatter || style == kStyleMarkers) {
        const int rad = lineWidth;
        r.items.push_back(rectItem(GraphItem::Kind::Ellipse, X - rad, Y - rad, X + rad + 1, Y + rad + 1, kGraphOutline,
                                   markerFill));
      }
      prevX = X;
      prevY = Y;
      havePrev = true;
    }
  }

  if (s0 && s0->entry.style == kStyleScatter) {
    r.scatter = scatterEllipse(*s0, xmin, xmax, fixedScale);
    if (r.scatter) {
      const ScatterEllipse& e = *r.scatter;
      // in the pen of the last series drawn
      for (std::size_t t = 0; t + 1 < e.points.size(); ++t)
        r.items.push_back(line(m.px(e.points[t].first), m.py(e.points[t].second), m.px(e.points[t + 1].first),
                               m.py(e.points[t + 1].second), pen, 2));
      using namespace graph_text;
      r.scatterText = std::string(kScatterA) + formatNumber(e.A) + kScatterB + formatNumber(e.B) + kScatterRatio +
                      formatNumber(e.B / e.A);
      r.scatterResult = formatNumber(e.B) + " " + formatNumber(e.B / e.A);
      r.items.push_back(text(60, 0, r.scatterText, 600));
    }
  }
  return r;
}

std::vector<GraphItem> GraphDrawing::items() const {
  std::vector<GraphItem> all;
  for (const PlotResult& p : panels) all.insert(all.end(), p.items.begin(), p.items.end());
  return all;
}

GraphDrawing drawGraph(const GraphSnapshot& g, const GraphGeometry& geo, bool twoPanel, bool fixedScale,
                       int lineWidth) {
  GraphDrawing d;
  const PlotBox whole{geo.left, geo.top, geo.width, geo.height};
  if (!twoPanel) {
    d.panels.push_back(drawPlot(g.series, whole, fixedScale, lineWidth));
    return d;
  }
  // Two panels of half the height, the lower one 25 pixels below the upper.
  const int half = geo.height / 2;
  std::vector<SeriesPoints> upper, lower;
  if (!g.series.empty()) upper.push_back(g.series[0]);
  if (g.series.size() > 1) lower.push_back(g.series[1]);
  d.panels.push_back(drawPlot(upper, PlotBox{geo.left, geo.top, geo.width, half}, fixedScale, lineWidth));
  d.panels.push_back(drawPlot(lower, PlotBox{geo.left, geo.top + half + 25, geo.width, half}, fixedScale, lineWidth));
  return d;
}

// --- linked cursor ----------------------------------------------------------------------------------

std::optional<long> linkedSample(const StudyState& s, int linkMode, int last, int u) {
  if (last < 0 || u < 0 || u > last || last >= kGraphMaxPoints) return std::nullopt;
  long pos = 0;
  switch (linkMode) {
    case 1:
    case 2: {
      const int off = linkMode == 2 ? 2048 : 0;
      pos = s.resultStore[off + last + 1];
      for (int i = 0; i < u; ++i) pos += s.resultStore[off + i];
      break;
    }
    case 3:
      pos = s.resultStore[u + 1];
      break;
    default:
      return std::nullopt;
  }
  if (pos < 0 || pos >= s.recordLength) return std::nullopt;
  return pos;
}

bool moveMonitorToPoint(StudyState& s, int linkMode, int last, int u) {
  const auto pos = linkedSample(s, linkMode, last, u);
  if (!pos) return false;
  s.cursorPos = static_cast<int>(*pos);
  s.viewStart = static_cast<int>(std::max(0L, *pos - 100));
  return true;
}

int CursorScale::columnOf(int u) const { return x0 + toPixel(u * step); }

int CursorScale::indexAt(int x) const {
  if (!(step != 0) || last <= 0) return 0;
  return std::clamp(toPixel((x - x0) / step + 0.5), 0, last);
}

CursorScale cursorScale(const PlotMapping& m, const SeriesPoints& s0) {
  CursorScale c;
  if (s0.count() == 0) return c;
  c.last = s0.count() - 1;
  c.x0 = m.px(s0.x.front());
  // One point has no step: the cursor stays on it.
  c.step = c.last > 0 ? static_cast<double>(m.px(s0.x.back()) - c.x0) / c.last : 0.0;
  return c;
}

// --- windows -------------------------------------------------------------------------------------------

int chooseGraphSlot(const std::array<bool, kGraphSlots + 1>& occupied, int currentGraphSlot) {
  for (int i = 1; i <= 5; ++i)
    if (!occupied[static_cast<std::size_t>(i)]) return i;
  if (!occupied[6]) return 6;
  // All six are open: the current window gives up its slot.
  return currentGraphSlot >= 1 && currentGraphSlot <= kGraphSlots ? currentGraphSlot : kGraphSlots;
}

std::vector<WindowPlace> tileGraphWindows(const std::vector<WindowSize>& sizes, int y0) {
  std::vector<WindowPlace> out;
  auto w = [&](int j) { return sizes[static_cast<std::size_t>(j - 1)].width; };
  auto h = [&](int j) { return sizes[static_cast<std::size_t>(j - 1)].height; };
  for (std::size_t j = 0; j < sizes.size() && j < kGraphSlots; ++j) {
    switch (j) {
      case 0: out.push_back({0, y0}); break;
      case 1: out.push_back({w(1), y0}); break;
      case 2: out.push_back({2 * w(1), y0}); break;
      case 3: out.push_back({0, y0 + h(1)}); break;
      case 4: out.push_back({w(4), y0 + h(2)}); break;
      default: out.push_back({2 * w(4), y0 + h(3)}); break;
    }
  }
  return out;
}

}  // namespace velor
