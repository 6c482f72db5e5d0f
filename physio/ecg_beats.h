// R-wave detection and beat measurement on one ECG channel.
//
// The detector is shared with rheography and with the acquisition engine's
// express analysis, which runs it on the acquisition thread: it takes no lock,
// draws nothing and says nothing. Its caller owns the scratch trace and the
// beat table; its own working lists (candidates, slope masks, the filter's
// sums) are kept per thread and sized on a thread's first call for a record
// length, so later calls allocate nothing and two detections on two threads
// never touch the same memory.
//
// The beat table is 11 blocks of kBeatBlock signed 16-bit entries, entry i of
// each block describing the beat that starts at R wave i (positions and
// intervals in samples, amplitudes in codes):
//   0 RR, then after the N intervals: the first R position and two zeros
//   1 PQ   2 QRS   3 QT   4 ST level   5 T amplitude   6 P amplitude
//   7 Q amplitude   8 R amplitude   9 S amplitude   10 R − Q
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace velor {

inline constexpr int kBeatBlock = 2048;
inline constexpr int kBeatBlocks = 11;
inline constexpr int kBeatTableSize = kBeatBlock * kBeatBlocks;
// Intervals a table holds: the first R position and two zeros follow them
// inside block 0.
inline constexpr int kMaxBeatIntervals = kBeatBlock - 3;

enum class BeatBlock : int {
  RR = 0,
  PQ = 1,
  QRS = 2,
  QT = 3,
  STLevel = 4,
  TAmplitude = 5,
  PAmplitude = 6,
  QAmplitude = 7,
  RAmplitude = 8,
  SAmplitude = 9,
  RMinusQ = 10,
};

// Detector settings (the first four lines of "qecg.ini").
struct BeatDetectorSettings {
  double halfWidthMs = 20;      // half width of the R wave
  double maxHeartRate = 200;    // per minute
  double rVariability = 2;      // allowed ratio of neighbouring R amplitudes
  double rsVariability = 2;     // allowed ratio of RS durations
};

// Applies the replacements for values out of range (half width ≤ 0 → one
// sample, heart rate ≤ 10 → 200, variabilities < 1.5 → 1.5).
BeatDetectorSettings sanitizeBeatSettings(BeatDetectorSettings s, int sampleRate);

// Why settings cannot be used on a rate: the filter half width or the
// refractory step comes out as 0 samples. Empty when they can.
std::string beatSettingsProblem(const BeatDetectorSettings& s, int sampleRate);

// One channel's samples as the detector sees them.
struct EcgSignal {
  const std::int16_t* x = nullptr;
  int length = 0;     // samples, at most 32767
  int zeroLevel = 0;  // code of physical zero
  int sampleRate = 0;
};

// Detection variants: as the method is written, or with the mends this
// system makes (see ecg_beats.cpp).
struct BeatDetectorOptions {
  // The two-sided premature-beat check and the threshold floor; false runs
  // the method exactly as written.
  bool mended = true;
};

// The detection filter into `trace` (length samples): the mean of the middle
// third of a 3h-sample window minus the mean of its outer thirds, plus the
// zero level; the first and last 2h + 1 samples are copies of x.
void beatDetectionFilter(const EcgSignal& sig, int h, std::int16_t* trace);

// Detects the beats of `sig` into `table` (kBeatTableSize entries, filled
// from 0), using `trace` (sig.length samples) as scratch. Returns N, the
// number of RR intervals (0..kMaxBeatIntervals), or −1 with `problem` set when
// the settings cannot be used (then nothing is written). Also gives the R
// positions when `rPositions` is not null (at least kMaxBeatIntervals + 1).
int detectBeats(const EcgSignal& sig, const BeatDetectorSettings& settings, std::int16_t* trace,
                std::int16_t* table, std::string* problem = nullptr, const BeatDetectorOptions& options = {},
                int* rPositions = nullptr, int* rCount = nullptr);

// R-wave positions of a whole recording longer than a record, detected in
// overlapping windows of at most 32767 samples; each R wave counts in the
// window whose middle part holds it. Samples of `codes` are codes with the
// given zero level.
std::vector<long long> detectBeatsInRecording(const std::vector<std::int16_t>& codes, int zeroLevel, int sampleRate,
                                              const BeatDetectorSettings& settings,
                                              const BeatDetectorOptions& options = {});

// The beat-by-beat comparison of detected R waves with reference beats: a
// detection within the window of a reference beat matches it (each at most
// once, nearest first).
struct BeatScore {
  long long referenceBeats = 0;
  long long detected = 0;
  long long truePositives = 0;
  long long falseNegatives = 0;
  long long falsePositives = 0;
  double sensitivity() const;            // %, 0 when no reference beats
  double positivePredictivity() const;   // %, 0 when nothing detected
};
// `missed` (when given) receives the indices of unmatched reference beats,
// `extra` those of unmatched detections.
BeatScore scoreBeats(const std::vector<long long>& reference, const std::vector<long long>& detected,
                     long long window, std::vector<std::size_t>* missed = nullptr,
                     std::vector<std::size_t>* extra = nullptr);

}  // namespace velor
