// Period analysis of a rhythm: the wave scan that finds the waves of one
// channel (peak to peak) after band filtering and smoothing, the rhythm runs
// among them, and the summaries built from them (rhythm share, modulation,
// instability, amplitude and period histograms), plus the per-channel table
// of the all-channels variant.
//
// Everything here works on plain sample arrays and returns plain data; the
// band filtering of the record, the windows, texts and graphs are the
// callers' business. No Qt.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/study_state.h"

namespace velor {

// Period limits of a band in samples. Tmax belongs to the low edge, Tmin to
// the high edge: Tmax = trunc(sampleRate / low + 0.5) (sampleRate / 0.1 for a
// low edge of 0), Tmin = trunc(sampleRate / high + 0.5).
struct PeriodLimits {
  int tMin = 0;
  int tMax = 0;
  // The scan window w = trunc(Tmax / 4), at least 1.
  int window() const { return tMax / 4 >= 1 ? tMax / 4 : 1; }
};

// Limits for a band given in hundredths of a hertz. False (limits left as
// they were) when the rate is not positive, the high edge is not positive
// or lies below the low edge, or a period would not fit an int.
bool periodLimits(int sampleRate, int lowHundredths, int highHundredths, PeriodLimits& out);

// Edges of band row `band` (0-based) of the band table in hundredths of a
// hertz, trunc(100 × f + 0.5). False when the row is outside bandCount or a
// cell is not a finite non-negative number below 100 kHz.
bool bandLimitsHundredths(const StudyState& s, int band, int& lowHundredths, int& highHundredths);

// One pass of the three-point mean over x[1 .. n−2]: each sample becomes
// trunc((x[i−1] + x[i] + x[i+1]) / 3 + 0.5) with x[i−1] its value before the
// pass. The end samples keep their values.
void smoothThreePoint(std::int16_t* x, int n);

// One wave: from the previous peak down to the trough and up to the peak.
struct PeriodWave {
  int prevPeakPos = 0;
  int prevPeakValue = 0;
  int troughPos = 0;
  int troughValue = 0;
  int peakPos = 0;
  int peakValue = 0;
  int amplitude = 0;  // peak − trough, codes
  int period = 0;     // peak − previous peak, samples
  bool accepted = false;  // Tmin ≤ period ≤ Tmax
  bool inRhythm = false;  // part of a run of at least 3 accepted waves
};

// The wave scan on x[0 .. n−1] as it is (no smoothing here). A sample f is a
// peak candidate when x[f − w] and x[f + w] are both lower; the peak is the
// largest sample of f .. f + w (the first of equal ones); the trough is the
// smallest sample from the previous peak to this one; after a peak the scan
// goes on at peak + w, and it stops at n − 3w − 1. The first peak only opens
// the first wave. Runs of consecutive accepted waves of length ≥ 3 are marked
// inRhythm.
std::vector<PeriodWave> scanWaves(const std::int16_t* x, int n, const PeriodLimits& limits);

// Sets inRhythm from `accepted` again: every run of at least 3 consecutive
// accepted waves (for callers that accept fewer waves than the scan did).
void markRhythmRuns(std::vector<PeriodWave>& waves);

// Histogram of the accepted waves: class centres (µV or seconds), shares in
// percent, and the mean and standard deviation over the class centres
// weighted by the counts.
struct PeriodHistogram {
  std::vector<double> centre;
  std::vector<double> percent;
  double mean = 0;
  double deviation = 0;
};

struct PeriodSummary {
  int waveCount = 0;     // all waves found
  int acceptedCount = 0; // waves with a period within Tmin..Tmax
  // A run becomes rhythm with its third wave, which brings all three waves
  // into the count at once.
  int rhythmWaves = 0;   // waves in runs of at least 3
  int rhythmSamples = 0; // sum of the periods of the rhythm waves
  int rhythmPercent = 0; // rhythmSamples / n × 100, rounded
  // Inner waves of rhythm runs whose amplitude is above or below both
  // neighbours in the run.
  int extremes = 0;
  int modulationPercent = 0;  // extremes / rhythmWaves × 100, rounded
  double instabilitySamples = 0;  // mean |Δperiod| inside rhythm runs − 0.16, not below 0
  double instabilitySeconds = 0;
  bool rhythmFound() const { return rhythmWaves > 0; }
  PeriodHistogram amplitudes;  // k = trunc(3.3 log10 n + 1.5) classes, µV
  PeriodHistogram periods;     // 32 classes over Tmin..Tmax, seconds
};

// Summaries of a scan of a record of n samples. microvoltsPerCode converts
// amplitudes (calibValue / calibUnits of the channel; 1 keeps codes).
PeriodSummary summarisePeriods(const std::vector<PeriodWave>& waves, int n, const PeriodLimits& limits,
                               int sampleRate, double microvoltsPerCode);

// What the current-channel analysis does after the filtering: a copy of
// x[0 .. n−1] smoothed twice, then scanned. `waves` receives the waves.
PeriodSummary periodAnalysis(const std::int16_t* x, int n, const PeriodLimits& limits, int sampleRate,
                             double microvoltsPerCode, std::vector<PeriodWave>* waves = nullptr);

// The summary line of the current-channel analysis: "Ритма не обнаружено!"
// or "Выявлено ритма=" x "%, модуляция=" y "%, нестабильность=" z " с".
std::string periodSummaryLine(const PeriodSummary& summary);

// One row of the all-channels table (head line kAllChannelsHeadLine). valid
// is false when the channel had fewer than two accepted waves, so that no
// deviation can be formed; the numbers are then 0.
struct ChannelPeriodRow {
  std::string name;
  bool valid = false;
  int accepted = 0;       // n
  double amplitude = 0;   // A, µV
  double amplitudeDeviation = 0;  // SA, µV
  double frequency = 0;   // f, Hz
  double frequencyBelow = 0;  // Sf−
  double frequencyAbove = 0;  // Sf+ (0 when P̄ ≤ σ)
  int rhythmPercent = 0;
  double riseMinusFallSeconds = 0;
  double riseMinusFallPercent = 0;
  double periodChangeSeconds = 0;
  double periodChangePercent = 0;
};

// The table of the all-channels variant for channel samples x[0 .. n−1] that
// are already band filtered: smoothed twice on a copy, scanned, summed over
// the accepted waves.
ChannelPeriodRow channelPeriodRow(const std::int16_t* x, int n, const PeriodLimits& limits, int sampleRate,
                                  double microvoltsPerCode, const std::string& name);

// The row as one text line, fields separated by blanks in the order of the
// head line (numbers through formatNumber, the two percentages with two
// decimals).
std::string channelPeriodLine(const ChannelPeriodRow& row);

}  // namespace velor
