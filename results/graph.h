// Graph windows without any window: the series table analyses fill over
// floatStore, the plot geometry, ranges, axis ticks and labels, every series
// style, the scatter ellipse, the linked cursor, the slot and tiling rules,
// the "Gra<slot>.tmp" state file and the text export. A drawing comes out as
// a list of simple items (rectangles, lines, ellipses, texts) in picture
// pixels; the window paints them, tests read them.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/interaction.h"
#include "core/study_state.h"

namespace velor {

inline constexpr int kGraphSeriesCount = 6;  // entries of the series table
inline constexpr int kGraphSlots = 6;        // graph windows open at a time
inline constexpr std::uint16_t kEmptySeries = 0xFFFF;
inline constexpr int kGraphMaxPoints = kFloatRowLength;
inline constexpr int kGraphPictureWidth = 1680;
inline constexpr int kGraphPictureHeight = 1120;
// Outer size of a fresh window; its height counts a 20-pixel caption that
// the drawing leaves out.
inline constexpr int kGraphWindowWidth = 521;
inline constexpr int kGraphWindowHeight = 359;
inline constexpr int kGraphCaptionHeight = 20;
inline constexpr int kFixedScatterScale = 10;  // dialogResult that asks for the fixed 0.4..1.5 scale

using Rgb = std::uint32_t;  // 0xRRGGBB
inline constexpr Rgb kGraphBackground = 0xC0C0C0;
inline constexpr Rgb kGraphPlotWhite = 0xFFFFFF;
inline constexpr Rgb kGraphOutline = 0x000000;
inline constexpr Rgb kGraphCursorOlive = 0x808000;
// Colour of a series colour code (taken modulo 12).
Rgb graphColour(int code);

enum GraphStyle : int {
  kStyleLine = 0,
  kStyleLineMarkers = 1,
  kStyleScatter = 2,    // markers; series 0 adds the scatter ellipse
  kStyleHistogram = 3,  // bars; series 0 starts y at 0 and widens x by half a bar
  kStyleMarkers = 4,
  kStyleSignedBars = 5,
};

struct GraphSeriesEntry {
  std::uint8_t xRow = 0;
  std::uint8_t yRow = 1;
  std::uint8_t colour = 0;
  std::uint8_t style = 0;
};

// The series table every analysis fills before a graph window draws, shared
// by all graph windows, with the values the last drawing left behind.
struct GraphTable {
  GraphTable() { lastIndex.fill(kEmptySeries); }
  std::array<GraphSeriesEntry, kGraphSeriesCount> series{};
  std::array<std::uint16_t, kGraphSeriesCount> lastIndex{};  // point count − 1; 0xFFFF empty
  std::array<double, 2> graphMin{};  // [0] x, [1] y, after the margins
  std::array<double, 2> graphMax{};
  int plotBottom = 0;
  int plotWidth = 0;
  int plotHeight = 0;
  int graphLineWidth = 2;
  int graphMonitorLink = 0;  // link kind the next created window takes over (0 none, 1..3)
};

// Value i of floatStore row r (r 0..15, i 0..1023); 0 outside.
float floatAt(const StudyState& s, int row, int i);
void setFloatAt(StudyState& s, int row, int i, float v);

// One series with its points, taken from floatStore or from a state file.
struct SeriesPoints {
  GraphSeriesEntry entry;
  std::uint16_t lastIndex = kEmptySeries;
  std::vector<double> x, y;
  int count() const { return static_cast<int>(x.size()); }
};

// What a window keeps of its drawing: the series count code (the last drawn
// index, −1 for the two-panel form) and series 0..|code|.
struct GraphSnapshot {
  int seriesCountCode = 0;
  std::vector<SeriesPoints> series;
};

// Series 0..|code| as the table and floatStore hold them now. A last index
// past the row is cut to the row; for the two-panel form (code < 0) series
// 1 takes the point count of series 0.
GraphSnapshot snapshotFromStore(const StudyState& s, const GraphTable& t, int seriesCountCode);
// Puts a snapshot back: table entries, last indices and the floatStore rows
// they name.
void applySnapshot(StudyState& s, GraphTable& t, const GraphSnapshot& g);

// --- the state file "Gra<slot>.tmp" ----------------------------------------------

std::string graphStateFileName(int slot);
// The classic 6-byte real: exponent byte biased by 129 (0 = zero), 39-bit
// mantissa without its leading one, sign in the top bit of byte 5. Values
// too small become 0, too large the largest magnitude, NaN 0.
void encodeReal48(double v, unsigned char out[6]);
double decodeReal48(const unsigned char in[6]);
std::string encodeGraphState(const GraphSnapshot& g);
// Refuses (false, reason) a file whose mode is not 0, whose series count is
// beyond the table, whose rows are beyond floatStore, whose last index is
// beyond a row, or that ends early. Bytes after the last series are ignored.
bool decodeGraphState(std::string_view bytes, GraphSnapshot& out, std::string& reason);

// --- text export ------------------------------------------------------------------

// One line per point: padLeft(formatNumber(x), 10) + padLeft(formatNumber(y), 10)
// and CR LF; with blankBetweenSeries an empty line after each series.
std::string graphExportText(const GraphSnapshot& g, bool blankBetweenSeries);
// Kind 12: the export text written atomically; false with a message when it
// cannot be written.
bool writeGraphExport(const std::string& path, const GraphSnapshot& g, Interaction& ui);

// --- geometry -----------------------------------------------------------------------

struct GraphGeometry {
  int drawingWidth = 0;
  int drawingHeight = 0;
  int left = 30;
  int top = 20;
  int width = 0;
  int height = 0;
};
// From the window's outer size and the pixels kept free below the plot.
GraphGeometry layOutPlot(int windowWidth, int windowHeight, int reserve);

struct PlotBox {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
};

// --- axes -----------------------------------------------------------------------------

struct AxisTick {
  int offset = 0;  // pixels from the axis start (x rightward from left, y upward from the bottom)
  bool major = false;
  bool labelled = false;
  double labelValue = 0;  // in the label unit (major ticks)
};

struct AxisScale {
  int e = 0;           // floor(log10 range)
  double p = 1;        // 10^e
  int k = 1;           // range in units of p, rounded (1..10)
  int r = 5;           // major intervals
  int D = 5;           // minor divisions per major interval
  double s = 0;        // major step in data units
  double K = 0;        // major step in pixels
  int n = 0;           // label exponent: labels count in units of 10^n
  int labelStep = 1;   // between major labels, a whole number
  double t0 = 0;       // first major tick value
  double L0 = 0;       // its pixel offset
  double F0 = 0;       // its label value
  std::vector<AxisTick> ticks;
};
// Ticks of an axis of P pixels over [min, max] (max > min); `labelEnd` is
// the rule for x labels (true: a label needs more than 15 pixels before the
// end unless n is 0).
AxisScale axisScale(double min, double max, int P, bool xAxis);
// A label as written: the value rounded, at least 2 characters, right-aligned.
std::string axisLabel(double value);
// "*1" with n zeros, "*0." with |n| − 1 zeros and "1", or "" for n = 0.
std::string axisMultiplier(int n);

// --- drawing items ----------------------------------------------------------------------

struct GraphItem {
  enum class Kind {
    Fill,     // rectangle (x1, y1)–(x2, y2), right and bottom exclusive, filled with brush
    Rect,     // the same with a pen outline and a brush fill
    Line,     // from (x1, y1) to (x2, y2), the end point not drawn
    Ellipse,  // inside the box (x1, y1)–(x2, y2), pen outline and brush fill
    Text,     // top-left at (x1, y1), clipped to boxWidth × 20, transparent
  };
  Kind kind = Kind::Line;
  int x1 = 0, y1 = 0, x2 = 0, y2 = 0;
  Rgb pen = kGraphOutline;
  Rgb brush = kGraphPlotWhite;
  int penWidth = 1;
  bool dotted = false;
  std::string text;
  int boxWidth = 0;
};

// The ranges and mapping of one drawn plot.
struct PlotMapping {
  double xmin = 0, xmax = 1, ymin = 0, ymax = 1;  // after the margins
  int left = 0, plotBottom = 0, plotWidth = 0, plotHeight = 0;
  int px(double x) const;
  int py(double y) const;
};

struct ScatterEllipse {
  double A = 0, B = 0;  // spread along and across the identity line
  double mean = 0;      // mean of the x values
  int v = 1;            // scale factor
  std::array<std::pair<double, double>, 41> points{};  // in data units
};
// The ellipse of series 0 drawn with style 2; nothing with fewer than two
// points or no spread along the identity line.
std::optional<ScatterEllipse> scatterEllipse(const SeriesPoints& s0, double xmin, double xmax, bool fixedScale);

struct PlotResult {
  std::vector<GraphItem> items;
  PlotMapping map;
  double barBase = 0;
  std::optional<ScatterEllipse> scatter;
  std::string scatterText;    // the text written at (60, 0)
  std::string scatterResult;  // formatNumber(B) + " " + formatNumber(B/A) for the analysis
};

// One plot of series (0..n) into a box: ranges, frame, axes, series. With
// fixedScale both axes run over 0.4..1.5 whatever the data.
PlotResult drawPlot(const std::vector<SeriesPoints>& series, const PlotBox& box, bool fixedScale, int lineWidth);

// The frame and series of drawSeries / drawTwoPanels for a window's geometry: one plot of
// series 0..max(code, 0), or with twoPanel series 0 above and series 1 below.
struct GraphDrawing {
  std::vector<PlotResult> panels;
  std::vector<GraphItem> items() const;
};
GraphDrawing drawGraph(const GraphSnapshot& g, const GraphGeometry& geo, bool twoPanel, bool fixedScale,
                       int lineWidth);

// --- linked cursor -----------------------------------------------------------------------

// Sample of the current record that point u of series 0 belongs to, by link
// kind (1 intervals after their first start, 2 the same 2048 entries on, 3
// one position per point), or nothing. The result lies inside the record.
std::optional<long> linkedSample(const StudyState& s, int linkMode, int last, int u);
// "Монитор": the monitor's cursor to the point's sample, the view 100
// samples before it. False (nothing changed) when the point has no sample.
bool moveMonitorToPoint(StudyState& s, int linkMode, int last, int u);

struct CursorScale {
  int x0 = 0;       // column of point 0
  double step = 0;  // columns per point
  int last = 0;
  int columnOf(int u) const;
  // Point under a column, rounded, limited to 0..last.
  int indexAt(int x) const;
};
CursorScale cursorScale(const PlotMapping& m, const SeriesPoints& s0);

// --- windows ------------------------------------------------------------------------------

// Slot of a new window: the first free of 1..5, else 6 when free; with all
// six taken the current slot (its window is replaced). occupied[1..6].
int chooseGraphSlot(const std::array<bool, kGraphSlots + 1>& occupied, int currentGraphSlot);

struct WindowPlace {
  int x = 0, y = 0;
};
struct WindowSize {
  int width = 0, height = 0;
};
// Places of the open windows in slot order: a row of three at y0, a second
// row below the first window's height.
std::vector<WindowPlace> tileGraphWindows(const std::vector<WindowSize>& sizes, int y0);

}  // namespace velor
