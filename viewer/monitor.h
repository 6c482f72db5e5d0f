// The signal monitor's geometry and logic, without any window: row layout,
// the time ruler, the amplitude scale, trace rasterisation into pixel-column
// spans, marks, the caption, and the cursor, selection, scroll, zoom and
// channel-count steps. The window class MonitorWidget draws what these compute; tests
// and the command-line tool call them directly on a StudyState.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/study_state.h"

namespace velor {

inline constexpr int kRulerHeight = 15;        // top pixels of the drawing that hold the time ruler
inline constexpr int kSurfaceWidth = 1920;     // largest drawing area
inline constexpr int kSurfaceHeight = 1120;
inline constexpr int kStripWidth = 45;         // right-edge strip that carries the lead names
inline constexpr int kRowMarkWidth = 18;       // current-row mark, 20 pixels in from the right edge
inline constexpr int kMarkLineHeight = 15;     // mark-channel lines rise this far from the bottom
inline constexpr int kMinTimeZoom = -5;
inline constexpr int kMaxTimeZoom = 5;
// 1.2^gainStep stays finite, and the 16.16 trace factor of a full-height
// row stays far inside 32 bits, within these steps.
inline constexpr int kMinGainStep = -50;
inline constexpr int kMaxGainStep = 50;

// Bits of displayFlags.
inline constexpr int kFlagRowBorders = 1;
inline constexpr int kFlagZeroLines = 2;
inline constexpr int kFlagMajorTimeLines = 16;
inline constexpr int kFlagMinorTimeLines = 32;

// Windows virtual-key numbers: the key codes the keyboard rules, the macro
// recorder and the acquisition key log are written in.
namespace vk {
inline constexpr int kBack = 8;
inline constexpr int kEscape = 27;
inline constexpr int kSpace = 32;
inline constexpr int kPageUp = 33;
inline constexpr int kPageDown = 34;
inline constexpr int kEnd = 35;
inline constexpr int kHome = 36;
inline constexpr int kLeft = 37;
inline constexpr int kUp = 38;
inline constexpr int kRight = 39;
inline constexpr int kDown = 40;
inline constexpr int kInsert = 45;
inline constexpr int kDelete = 46;
inline constexpr int k0 = 48;  // '0'..'9' are 48..57
inline constexpr int kSeparator = 108;
inline constexpr int kF1 = 112;  // F1..F12 are 112..123
inline constexpr int kF3 = 114;
inline constexpr int kF9 = 120;
inline constexpr int kF12 = 123;
}  // namespace vk

// Monitor state that no other window reads.
struct MonitorView {
  double rowHeightExact = 0;  // (monitorHeight − 15) / rows, unrounded
  double timeTickPixels = 0;  // distance between labelled ticks; 0 when there is no ruler
  int timeTickStep = 0;       // value step between labelled ticks
  int timeTickUnit = 0;       // 0 whole seconds, 1 seconds from milliseconds, 2 whole milliseconds
  // Ticks of the live sweep display.
  std::vector<double> timeTickX;
  std::vector<std::string> timeTickLabels;
  std::vector<double> minorTickX;
  int clickX = 0, clickY = 0;  // last pointer position over the drawing
  int cursorX = 0;             // pixel column of the cursor line
  int lastClickX = -1, lastClickY = -1;
};

// --- layout ---------------------------------------------------------------------

// Rows drawn: shownChannelCount, or 2 − shownChannelCount in the folded view;
// always 1..64.
int monitorRows(const StudyState& s);
bool isFoldedView(const StudyState& s);
// The transform view shows lead-pair results (rows are pairs, not channels).
bool showsPairResults(const StudyState& s);
// Channels the channel-count steps and the vertical bar count with.
int channelTotal(const StudyState& s);
// rowHeight, rowHeightExact and rowBaseY of rows 0..64 from monitorHeight.
void layoutRows(StudyState& s, MonitorView& v);
// Samples across the drawing: monitorWidth >> timeZoom (<< −timeZoom).
long samplesAcross(const StudyState& s);
// First sample offset of a row: 0, or row × samples across in the folded view.
long rowFirstSample(const StudyState& s, int row);
// Channel (or pair) drawn in a row.
int rowChannel(const StudyState& s, int row);
// Channel single-channel commands work on.
int currentChannel(const StudyState& s);
// Pixel column of a sample relative to viewStart, and the samples a number of
// columns spans (sign kept).
long sampleToX(const StudyState& s, long sample);
long columnsToSamples(const StudyState& s, long columns);
// Sample under a pixel column (viewStart + columns), at most recordLength − 1.
long sampleAtColumn(const StudyState& s, int x);
// Samples the full redraw passes through after viewStart: the polyline goes
// through viewStart .. viewStart + n. Negative when nothing is drawn.
long drawnSampleSpan(const StudyState& s);

// --- time ruler --------------------------------------------------------------------

// Computes timeTickPixels, timeTickStep, timeTickUnit and the live-sweep ticks
// for a sampling rate; a rate ≤ 0 clears the ruler.
void timeAxis(const StudyState& s, MonitorView& v, double rate);
// Text of a tick value in a unit (see MonitorView::timeTickUnit).
std::string timeTickText(long value, int unit, int step);

struct RulerTick {
  int x = 0;
  bool labelled = false;
  std::string label;  // labelled ticks only
};
// Ticks whose column lies in [left, left + width): minor ones first, then the
// labelled ones (x > 0 only).
std::vector<RulerTick> rulerTicks(const StudyState& s, const MonitorView& v, int left, int width);

// --- amplitude ---------------------------------------------------------------------

int clampGainStep(int gainStep);
// 1.2^gainStep (gainStep clamped).
double gainScale(int gainStep);
// 16.16 fixed-point pixels per code: trunc(1.2^gainStep × 65536 × rowHeight / 4096).
std::int64_t gainFactorQ(const StudyState& s);

// Microvolts per code at which the EEG channels are drawn: their common
// calibration when they share one (a record of this system), otherwise the
// median of theirs (a page of another system, whose channels each carry
// their own scale). Every EEG channel is drawn in microvolts on this scale,
// so equal microvolts are drawn at equal height; other kinds keep their
// codes' scale.
double displayMicrovoltsPerCode(const StudyState& s);
// Drawing factor of a channel against the codes' own scale (1 for non-EEG
// channels, in the transform view, and for EEG channels of the common scale).
double channelDrawScale(const StudyState& s, int channel);
// What a row shows on the screen, for the caption: microvolts per millimetre
// of the EEG channels at the current gain and row height, and millimetres
// per second of the time axis.
double sensitivityMicrovoltsPerMm(const StudyState& s);
double speedMmPerSecond(const StudyState& s);
// After a recording was opened: when its EEG would be unreadable at the
// current gain (finer than 2 µV/mm, a tangle, or coarser than 60 µV/mm,
// flat lines), the gain step nearest 10 µV/mm, a clinician's usual
// sensitivity; a readable gain stays as the person set it. True when the
// gain changed.
bool pickReadableGain(StudyState& s);
// " 10 мкВ/мм 30 мм/с" for the caption (empty without an EEG channel).
std::string sensitivityText(const StudyState& s);

// How the codes of a row become pixel rows: y = ((code − zero) × factor >> 16) + baseline.
struct TraceMapping {
  std::int64_t factor = 0;
  std::int64_t zero = 0;
  int baseline = 0;
};
TraceMapping traceMapping(const StudyState& s, int row);
int codeToY(const TraceMapping& m, int code);

struct ScaleLine {
  int offset = 0;      // pixels from the baseline, drawn above and below it
  bool major = false;  // solid (and labelled) or dotted
  std::string label;   // major lines only
};
// The amplitude scale is drawn: signal view, fewer than 5 rows, both grid
// bits set, no examination.
bool amplitudeScaleShown(const StudyState& s);
// Lines of the amplitude scale of a row, outwards from the baseline; empty
// when the channel's calibration gives no finite scale.
std::vector<ScaleLine> amplitudeScaleLines(const StudyState& s, int row);

// --- traces ------------------------------------------------------------------------

// Vertical extent of a trace in one pixel column, inclusive; empty when top > bottom.
struct ColumnSpan {
  int top = 1;
  int bottom = 0;
  bool empty() const { return top > bottom; }
};

// Smallest and largest code of each group of perColumn samples starting at
// `first` (columns groups). Indices at or beyond validLength, or below 0,
// count as code 0; data is never read there.
void columnMinMax(const std::int16_t* data, long validLength, long first, int perColumn, int columns,
                  std::int16_t* mins, std::int16_t* maxs);

// Pixel spans of row `row`'s trace over the columns [left, left + width) of
// the full redraw. Samples wider than a pixel give the exact polyline through
// every sample; narrower ones give the min/max of each column joined to the
// column before. out gets `width` entries.
void traceColumns(const StudyState& s, int row, int left, int width, std::vector<ColumnSpan>& out);

// --- marks -------------------------------------------------------------------------

// Columns where the mark channel changes value (signal view with a mark
// channel and no examination); x in [left, left + width).
std::vector<int> markChannelColumns(const StudyState& s, int left, int width);
// The recording's annotations (EDF+) at their marks in the view: a line and
// the text at the annotation's column. One label per sample (texts at the
// same sample joined by "; "), a label at sample 0 too, where the mark
// channel shows no change. Signal view without an examination only.
struct AnnotationLabel {
  int x = 0;
  long sample = 0;
  std::string text;  // UTF-8
};
std::vector<AnnotationLabel> annotationLabels(const StudyState& s, int left, int width);
// Samples of a channel in [first, first + count) that hold the mark code 4096.
std::vector<long> userMarkSamples(const StudyState& s, int channel, long first, long count);

// --- names and caption -------------------------------------------------------------

// Lead text of a row in the name strip ("" in the folded view).
std::string leadText(const StudyState& s, int row);
// The monitor caption; in the signal view it first recomputes epochCount.
std::string composeMonitorCaption(StudyState& s);
// The patient line of a printed page: the patient's name from the
// examination header (the patients of the group layout joined by ", ") and
// the record's date and time as the caption writes them.
std::string patientLine(const StudyState& s);

// --- cursor, anchor and rows ------------------------------------------------------

// Column of the cursor / anchor line, −1 when its sample is outside the view.
int cursorColumn(const StudyState& s);
int anchorColumn(const StudyState& s);
// Top of the current-row mark.
int rowMarkTop(const StudyState& s, const MonitorView& v);
// Row under a pixel row, clamped to the rows shown.
int rowAtY(const StudyState& s, int y);

// Records the pointer; x snaps to whole samples when zoomed in.
void mouseMove(const StudyState& s, MonitorView& v, int x, int y);
enum class ClickOutcome { CursorMoved, AnchorSet, AnchorCleared };
// A click at (clickX, clickY): a second click on the same column, or toggle,
// sets or clears the anchor; any other moves the cursor. Either way the row
// under clickY becomes the current row.
ClickOutcome Click(StudyState& s, MonitorView& v, bool toggle);
// Cursor keys; big is Shift or Ctrl. False when the cursor cannot move.
bool cursorLeft(StudyState& s, MonitorView& v, bool big);
bool cursorRight(StudyState& s, MonitorView& v, bool big);
void rowUp(StudyState& s);
void rowDown(StudyState& s);
// Sets the anchor at the cursor, or clears it. True when it is now set.
bool toggleAnchor(StudyState& s);

// --- scrolling, zoom and channel count -------------------------------------------

// Scrolls by pixels (forwards when positive); returns the samples moved.
long scrollBy(StudyState& s, int pixels);
// PgDn and End outside an examination: a screen's width forward, and the
// record's last screen; each returns the samples moved.
long pageForward(StudyState& s);
long scrollToEnd(StudyState& s);
// The horizontal bar shows when the record is longer than the samples across.
bool horizontalBarVisible(const StudyState& s);
// Its range is 0 .. recordLength − samples across, its position viewStart.
long horizontalBarMaximum(const StudyState& s);
void setViewFromHorizontalBar(StudyState& s, long position);
// The vertical bar: 0 < shownChannelCount < channelCount, no examination.
bool verticalBarVisible(const StudyState& s);
int verticalBarMaximum(const StudyState& s);
void setFirstChannelFromVerticalBar(StudyState& s, int position);

// Zoom steps; false when already at the limit. zoomTimeIn/zoomTimeOut recompute the ruler
// and keep the view inside the record.
bool zoomTimeIn(StudyState& s, MonitorView& v);
bool zoomTimeOut(StudyState& s, MonitorView& v);
bool gainUp(StudyState& s);
bool gainDown(StudyState& s);
// Channel-count steps; both reset the current row and lay out again.
void showMoreChannels(StudyState& s, MonitorView& v);
bool showFewerChannels(StudyState& s, MonitorView& v);

// One-time initialisation of the channel table and view (initialise without drawing).
void initialise(StudyState& s, MonitorView& v);

// Code handed to the acquisition engine for a key while an examination runs;
// 0 for a key it never gets.
int acquisitionKeyCode(int virtualKey);
// Keys that act as usual even while an examination runs.
bool keyActsDuringExamination(int virtualKey);

}  // namespace velor
