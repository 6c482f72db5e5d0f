// The breath detector: inspiration peaks and the troughs before them on a
// breathing channel, and the period and amplitude series the breathing graph
// shows. Reentrant: it reads samples and writes only what the caller hands
// it, draws nothing and tells nothing, so the acquisition engine, the
// instruments and the protocols may call it at the end of every record.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace velor {

struct StudyState;

// Fixed thresholds every caller uses: amplitude ratio, longest gap (s), gap
// after a saturated peak (s), depth ratio.
struct BreathDetectorParameters {
  double amplitudeRatio = 4;
  double longGapSeconds = 10;
  double saturatedGapSeconds = 2;
  double depthRatio = 1.7;
};

// Peak tables as resultStore holds them: entry 0 = 0, entries 1..B−1 the
// accepted peaks, entries 2048 + 1 .. 2048 + B − 1 their troughs.
inline constexpr int kBreathTroughBase = 2048;
inline constexpr int kBreathTableCapacity = 2047;  // peaks that fit before the trough entries

struct BreathTable {
  std::vector<int> peaks;    // sample positions of the accepted inspiration peaks
  std::vector<int> troughs;  // lowest sample before each peak (same index)
  std::vector<int> amplitudeCodes;  // peak − trough of the cleaned signal (same index)
  bool full = false;         // the table reached its capacity and the scan stopped
};

// The signal the detector judges: marks (code 4096) replaced by the sample
// before them; on a 12-bit channel (every sample 0..4095) a step of more than
// three quarters of the scale between neighbours taken as the value wrapping
// round the range, and the samples beyond the range until it wraps back held
// at the range end (0 or 4095) — a clipped channel, which the detector
// already knows; then a running median over 0.1 s, which removes artefacts
// shorter than 50 ms and keeps every breath (a second and longer).
std::vector<std::int16_t> cleanBreathingSignal(const std::int16_t* x, int length, int sampleRate);

// Scans x[0 .. length − 1] (codes) at `sampleRate` Hz, cleaned as above.
// Stops at kBreathTableCapacity peaks with `full` set instead of running into
// the trough entries.
BreathTable detectBreaths(const std::int16_t* x, int length, int sampleRate,
                          const BreathDetectorParameters& p = {});

// The same on channel `channel` (0-based) of the record in memory, writing
// the tables into resultStore. Returns B (accepted peaks + 1); 0 when the
// channel does not exist. `full` (may be null) says whether the table filled;
// `table` (may be null) receives the whole result.
int detectBreaths(StudyState& s, int channel, bool* full = nullptr, BreathTable* table = nullptr);

// Periods (s) and amplitudes (channel units, from the table's amplitudeCodes)
// of breaths 1 .. B − 2, their means and population standard deviations.
struct BreathSummary {
  std::vector<double> periods, amplitudes;
  double meanPeriod = 0, sdPeriod = 0, meanAmplitude = 0, sdAmplitude = 0;
  double ratePerMinute = 0;  // 60 / mean period
  std::vector<std::string> lines;  // the graph's two summary texts
};

// False with `message` when fewer than two peaks were accepted (no period).
bool summarizeBreaths(const std::int16_t* x, const BreathTable& t, int sampleRate, double microvoltsPerCode,
                      BreathSummary& out, std::string& message);

}  // namespace velor
