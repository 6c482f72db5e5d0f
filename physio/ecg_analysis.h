// The ECG analysis of one channel of the current record: the interval list
// (detected beats, or a channel that stores its intervals), the RR
// statistics, the scatter plot, the RR spectrum with its bands and the
// dynamics of the beat measures. Engines only: they return points and text
// lines, the windows draw them.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "core/study_state.h"
#include "physio/ecg_beats.h"
#include "physio/ecg_settings.h"

namespace velor {

using PointList = std::vector<std::pair<double, double>>;

// A channel in interval form: its first three samples are equal and not 0,
// and what follows them (up to the first 0 or the end) are plausible
// intervals: 3 or more, each 100..5000 ms as a physical value. The plausibility
// part is this system's: the first samples of a real ECG are often equal
// (MIT-BIH records start with a run of one value), and such an ECG must not
// be read as intervals.
bool isIntervalFormChannel(const StudyState& s, int channel);

// The intervals of a channel (samples): read from an interval-form channel
// (then `intervalRate` is 1000: 1 ms a sample; the study's sampleRate is left
// as it is), or detected with detectBeats into the study's beat table
// (resultStore, blocks 0..10) with the spare trace as scratch. Returns the
// count, or −1 with `problem` when the detector refuses its settings.
int collectIntervals(StudyState& s, int channel, const BeatDetectorSettings& settings, std::vector<int>& rr,
                     int& intervalRate, std::string& problem, const BeatDetectorOptions& options = {});

// The RR statistics as the text window shows them and the histogram.
struct RrStatistics {
  int n = 0;  // intervals inside the histogram range
  double mean = 0, sigma = 0, skewness = 0, kurtosis = 0;  // samples
  bool hasSigma = false;
  double mode = 0, amo = 0;  // samples, %
  double idm = 0, rmssd = 0, pnn50 = 0, pss = 0, psa = 0;
  bool hasPss = false;
  double classWidth = 0, lo = 0, hi = 0;
  int classes = 0;
  PointList histogram;             // ms, %
  std::vector<std::string> lines;  // the six lines
};
// False with the message "Мало RR-интервалов…" for fewer than 3 intervals.
bool computeRrStatistics(const std::vector<int>& rr, int rate, RrStatistics& out, std::string& message);

// The batch table of "&F=ПСС+ПСА": one stability line per run, appended in
// the data folder, where a macro played over a folder of recordings runs.
inline constexpr const char* kEcgBatchFile = "RRFiles.txt";
// The "ПСС=" line of the statistics (the last of them).
std::string stabilityLine(const RrStatistics& st);
// Appends `line` in code page 1251 with CR LF to the file at `path`, making
// it when missing. A failed write leaves the file as it was and says why.
bool appendBatchLine(const std::string& path, const std::string& line, std::string& reason);

// The intervals in whole milliseconds, one line each (the interval list of
// the window's hidden button).
std::vector<std::string> intervalListLines(const std::vector<int>& rr, int rate);

// Consecutive intervals (s) for the scatter plot: at most 1022 points.
PointList rrScatterPoints(const std::vector<int>& rr, int rate);

// The spectrum of the interval series and its band table.
struct RrSpectrum {
  PointList points;                // Hz, ms
  std::vector<std::string> lines;  // the band table and the LF/HF line
  std::vector<int> amplitudes;     // A_k after smoothing
  int harmonics = 0;               // M
};
bool computeRrSpectrum(const std::vector<int>& rr, int rate, const EcgBands& bands, int smoothingPasses,
                       RrSpectrum& out, std::string& message);

// Dynamics of one block of the beat table (0 RR … 9 S amplitude).
struct BeatDynamics {
  PointList points;
  double mean = 0, sd = 0;
  std::string caption, text, yTitle;
};
bool computeBeatDynamics(const StudyState& s, int channel, const std::int16_t* table, int n, int block,
                         int intervalRate, BeatDynamics& out, std::string& message);

}  // namespace velor
