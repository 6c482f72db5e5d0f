// Polygraph events: the samples where a formula turns nonzero after being
// zero (rising edges), their count, amplitudes and intervals, and the
// histograms with four moments the polygraph window shows. No drawing: the
// window and velor-cli present what these return.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/formula.h"

namespace velor {

struct StudyState;

// Event tables and histogram classes live in resultStore entries 0..2047 and
// 2048..: a run stops at this many events with a message instead of
// overflowing into the classes.
inline constexpr int kEventTableCapacity = 2048;
inline constexpr int kEventDynamicsLimit = 500;  // points a dynamics graph takes

struct EventScan {
  std::vector<int> positions;  // event samples in order
  bool full = false;           // stopped at kEventTableCapacity
  FormulaFault fault = FormulaFault::None;
  int faultSample = -1;
};

// Scans channel `channel` (0-based) of the record in memory from sample
// `from` with the formula context i = channel + 1, j = sample + 1. An event
// is the first nonzero (truncated) value after a zero one; at sample 0 a
// positive value counts as well. `firstOnly` stops at the first event.
EventScan scanEvents(const StudyState& s, int channel, const CompiledFormula& formula, int from, bool firstOnly);

// The code an event's amplitude is read from: the sample before it, or the
// event sample itself at sample 0 (there is no sample −1).
int eventAmplitudeCode(const StudyState& s, int channel, int position);

// Histogram of stored values with the moments of their derived values s.
struct EventHistogram {
  int n = 0;                        // stored values
  double lo = 0, hi = 0, width = 0;  // class range and width (stored units)
  int classes = 0;                  // k shown classes (0..k−1); class k takes the top value
  std::vector<int> counts;          // k + 1 counts
  int shownTotal = 0;               // S: values in classes 0..k−1
  std::vector<std::pair<double, double>> points;  // (class centre, per cent of S)
  double mean = 0, variance = 0, skewness = 0, kurtosis = 0, sd = 0;
  std::vector<std::string> lines;   // the statistics window's two lines
};

enum class HistogramKind { Amplitudes, Intervals, IntervalsHz };

struct IntervalLimits {
  int minMs = 40, maxMs = 500;  // used when min < max
  int bins = 40;
};

// The amplitude histogram of codes (classes by 3.3·log10 N + 1.5) or the
// interval histogram of sample intervals (limits, bins; in Hz with
// IntervalsHz). False with `message` for N < 2, equal values (no class
// width) or D = 0 (no skewness or kurtosis).
bool eventHistogram(HistogramKind kind, const std::vector<int>& values, int sampleRate, double zeroLevel,
                    double microvoltsPerCode, const IntervalLimits& limits, EventHistogram& out,
                    std::string& message);

// Intervals (samples) between consecutive events kept by the interval
// limits (min < max: only intervals of min..max ms count; an interval left
// out still becomes the reference for the next).
std::vector<int> eventIntervals(const std::vector<int>& positions, int sampleRate, const IntervalLimits& limits);

// One run of the window's event commands: the current record, or with
// `allRecords` it and every later record of the file (each from sample 0,
// the reference for intervals starting afresh in each). `fromCursor` starts
// the first record at cursorPos and stops at the first event (the search),
// which leaves its record loaded; otherwise the record the run started from
// is read back at the end.
struct EventRun {
  std::vector<std::vector<int>> positions;  // per record scanned, in order
  std::vector<int> amplitudeCodes;          // the code each event's amplitude is read from
  int count = 0;
  int foundRecord = 0, foundSample = -1;    // the search's event
  bool full = false;                        // stopped at kEventTableCapacity events
  FormulaFault fault = FormulaFault::None;
  int faultSample = -1;
};

class Interaction;
EventRun runEventScan(StudyState& s, int channel, const CompiledFormula& formula, bool fromCursor, bool allRecords,
                      Interaction& ui);

// Mean and sample SD of a dynamics series; false with "Мало событий: <3!" for
// fewer than 3 values.
bool dynamicsStatistics(const std::vector<double>& values, double& mean, double& sd, std::string& message);

}  // namespace velor
