// The spectral engine: a fast Hartley transform in 16-bit fixed point with a
// block exponent, the time windows, amplitude and phase spectra, the
// epoch-averaged spectra of channels and lead pairs (cross-spectrum, phase,
// coherence, coherent power), the long spectrum of epochs above 8192 samples,
// the band measures, and the spectra of a selected interval or of the whole
// record.
//
// The engine keeps one set of work arrays (the application owns one engine
// and passes it by reference); every call runs to completion and calls must
// not be nested. Nothing here allocates after construction.
//
// Spectra go to the study state's parkedChannelData (one buffer per channel or
// lead pair, bin i at index i, bin 0 set to 0), where the transform view picks
// them up; band measures go to resultStore.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/study_state.h"

namespace velor {

inline constexpr int kFhtMaxSize = 8192;      // largest single transform
inline constexpr int kFhtMaxOrder = 13;
inline constexpr int kSineTableSize = 2049;   // quarter wave, Q15
inline constexpr int kWindowTableSize = 2048; // half window, Q14, as the window kinds define it
inline constexpr int kWindowKinds = 11;       // 0 = none
inline constexpr int kLongEpochMax = 32768;   // longest epoch (built from 8192-point transforms)
inline constexpr int kPairEpochMax = 4096;    // longest epoch of the lead-pair measures

// Caption of window kind 0..10 as the EEG analysis window lists it ("" otherwise).
const char* windowKindName(int kind);

// r(i), the 13-bit bit reversal of i (i < 8192); a transform of order m
// takes r(i) >> (13 − m).
const std::uint16_t* fhtBitReversal();

// The constant quarter-wave sine table: entry k = min(32767, round(32768 × sin(k × π / 4096))).
const std::array<std::int16_t, kSineTableSize>& sineTable();

// atan2(y, x) in degrees, in (−180, 180]: 0 when both are 0, ±90 when x is
// 0, and −180 on the negative x axis (as the phase codes take it).
double angleDegrees(double y, double x);

// Modified Bessel function of order 0 by its power series, summed until a
// term falls below 0.001.
double besselI0(double x);

// The half window of `kind` at position k of the 2048-entry table (k may be a
// half step, k = 0, 0.5, 1, …, 2047.5), before truncation; 0 for kind 0 or
// an unknown kind.
double windowValue(int kind, double k);

class SpectralEngine {
 public:
  SpectralEngine();
  SpectralEngine(const SpectralEngine&) = delete;
  SpectralEngine& operator=(const SpectralEngine&) = delete;

  // --- transform ------------------------------------------------------------------
  // fhtWork holds kFhtMaxSize + 1 values; input samples are copied into it
  // and the transform result stays there.
  std::int16_t* fhtWork() { return work_.get(); }
  const std::int16_t* fhtWork() const { return work_.get(); }
  int fhtSize() const { return fhtSize_; }
  int fhtOrder() const { return fhtOrder_; }
  int fhtExponent() const { return fhtExponent_; }

  // Transforms fhtWork[0..N−1] in place, N the largest power of two not above
  // min(length, 8192) (1 when length < 2). Afterwards fhtWork[k] × 2^fhtExponent
  // = Σ x[n] cas(2πnk/N) up to the rounding of the Q15 products; a 16-bit
  // overflow halves the whole array and raises fhtExponent.
  void fhtTransform(int length);
  // Scales the transform to 2/N: a cosine of amplitude A at bin k (0 < k < N/2)
  // then gives H[k] = H[N−k] = A. When the block exponent has reached the
  // order (inputs far beyond 12 bits) the values are shifted left instead,
  // saturating at the 16-bit limits.
  void fhtNormalise();
  // Normalises and fills amplitudeOut[1..N/2] from the last transform:
  // trunc(√(e² + d²) + 0.5) with e = H[i] + H[N−i], d = H[i] − H[N−i] (a
  // cosine of amplitude A gives 2A), or with `phase` the phase code
  // trunc(φ / 180 × 2047 + 2048), φ = atan2(e, d) in degrees (2048 when e = 0).
  // Values are limited to 32767. Returns the largest value.
  int amplitudeSpectrum(bool phase = false);
  const std::int16_t* amplitudeOut() const { return amplitude_.get(); }
  // kMaxSamples + kFhtMaxSize values: the FFT filters' copy of the trace
  // being filtered (with its mirrored extension), so the study's own buffers
  // stay as they are, and room for one segment.
  std::int16_t* traceCopy() { return traceCopy_.get(); }

  // --- many transforms at once ------------------------------------------------------
  // The same transform for batchLanes() arrays side by side (value i of lane
  // l at batchWork()[i × batchLanes() + l]), each lane with its own block
  // exponent and halvings, so every lane ends exactly as fhtTransform would
  // leave it. The spectra of many channels go this way: 16 lanes with AVX2,
  // 8 with SSE2; elsewhere the lanes are transformed one by one.
  static constexpr int kMaxBatchLanes = 32;
  static int batchLanes();
  std::int16_t* batchWork() { return batchLanes_; }
  void fhtTransformBatch(int length);
  int batchExponent(int lane) const { return batchExponent_[static_cast<std::size_t>(lane)]; }
  // Normalises lane `lane` of the batch into fhtWork and fills amplitudeOut
  // from it, as amplitudeSpectrum does. Returns the largest value.
  int batchAmplitudeSpectrum(int lane, bool phase = false);

  // --- windows --------------------------------------------------------------------
  // Fills the window table for `kind` (0..10) and makes it the current
  // windowKind; an unknown kind is taken as 0. Kind 0 disables windowing and
  // keeps the table as it was.
  void buildWindow(int kind);
  int windowKind() const { return windowKind_; }
  // Entry k (0..2047) of the window table as the window kinds define it.
  int windowTable(int k) const;
  // Tapers fhtWork[0..n−1] around `zeroLevel` when a window is chosen:
  // x[i] ← ((x[i] − z) × w >> 14) + z for i and n−1−i, w the table entry at
  // i × 4096 / n (half steps for n = 8192).
  void applyWindow(int zeroLevel, int n);

  // --- epoch spectra --------------------------------------------------------------
  // Extra epochs averaged into one spectrum (averagedEpochs + 1 in all).
  int averagedEpochs = 0;
  // Bin range that replaces the limits of band 1 when both are nonzero and
  // the first is smaller (set by the calculator's spectral peak measurement).
  std::array<std::int32_t, 2> firstBandBins{0, 0};
  // Runs in place of the spectra for the correlation kind when plugged
  // in; returns the peak code.
  std::function<int(StudyState&, int startSample)> templateCorrelation;
  // Lines of band powers (µV²) written by bandMeasures for the power kind,
  // one per call; the EEG analysis saves them as "PowerSpectr.txt".
  std::vector<std::string> powerLines;

  // Why the spectra of the epoch starting at `startSample` cannot be computed
  // for the state as it is ("" when they can): an epoch length that is not a
  // power of two from 2 to 8192 (or 16384 or 32768 for single channels), a
  // lead-pair epoch above 4096, an epoch outside the record, no channels, or
  // the transform view still on (the signals are parked then).
  std::string epochProblem(const StudyState& s, int startSample) const;
  // Spectra of one epoch (averaged over averagedEpochs + 1 epochs) for every
  // channel or lead pair into parkedChannelData, then the band measures of
  // slice `epoch`. Returns the largest result code, or −1 without touching the
  // state when epochProblem says why not.
  int epochSpectra(StudyState& s, int startSample, int epoch);
  // One band measure per band and row into resultStore slice `epoch`, chosen
  // by bandMode (0 mean amplitude, 1 largest amplitude, 2 mean frequency, 3
  // frequency of the largest amplitude), from the spectra in parkedChannelData.
  void bandMeasures(StudyState& s, int epoch);

  // Amplitude spectra of the selection (epochLength samples from cursorPos) of
  // every channel into parkedChannelData: a power-of-two transform when the
  // length is within a tenth of one, otherwise the odd-length spectrum.
  // Sets epochLength (and epochStep). Returns the largest value, or −1 (state
  // unchanged) when the selection is shorter than 2 samples, lies outside the
  // record, or the transform view is on.
  int intervalSpectrum(StudyState& s);
  // Amplitude spectrum of the whole record of the first channel into its
  // parked buffer by the odd-length spectrum; epochLength := recordLength.
  // Returns the largest value above index 0, or −1 as above.
  int recordSpectrum(StudyState& s);

  // The building blocks, on plain arrays (for the callers above and tests).
  // Amplitude spectrum of an epoch of 16384 or 32768 samples from 8192-point
  // transforms of its interleaved sequences, into out[1 .. n/2 − 1] (out[0]
  // and out[n/2] are 0); a cosine of amplitude A gives 2A. Returns the
  // largest value, or −1 for another length.
  int longSpectrum(const std::int16_t* x, int n, std::int16_t* out);
  // Odd-length amplitude spectrum of `length` samples: values 0..K with
  // K = trunc((length + 1) / 2) into out (K + 1 values); a cosine of amplitude
  // A gives A. Returns K, or −1 when length < 2.
  static int oddLengthSpectrum(const std::int16_t* x, int length, std::int16_t* out);

 private:
  void butterflyStages();
  void halveAll();
  int amplitudesFromWork(bool phase);
  int singleChannelSpectra(StudyState& s, int startSample);
  bool batchChannelSpectra(StudyState& s, int first, int count, int m, int j, bool phase, int& peak);
  int pairSpectra(StudyState& s, int startSample);

  std::unique_ptr<std::int16_t[]> work_;       // kFhtMaxSize + 1
  std::unique_ptr<std::int16_t[]> amplitude_;  // kFhtMaxSize
  std::unique_ptr<std::int16_t[]> pairCopy_;   // kFhtMaxSize + 1: the first channel of a pair
  std::unique_ptr<std::int16_t[]> traceCopy_;  // kMaxSamples + kFhtMaxSize: the FFT filters' trace and segment
  std::unique_ptr<std::int16_t[]> longWork_;   // kLongEpochMax: the normalised part transforms
  std::unique_ptr<std::int16_t[]> longOut_;    // kLongEpochMax / 2 + 1
  // The window at half steps of the 2048-entry table: even entries are the
  // table itself, odd ones serve 8192-point epochs.
  std::unique_ptr<std::int16_t[]> window_;  // 2 × kWindowTableSize
  std::unique_ptr<std::int16_t[]> batch_;   // kMaxBatchLanes × kFhtMaxSize, interleaved, and room to align
  std::int16_t* batchLanes_ = nullptr;      // batch_ at a 64-byte boundary
  std::array<int, kMaxBatchLanes> batchExponent_{};
  // Rows of the batch, a little more than a cache line past a power of two
  // apart, so that rows read or written together do not share cache sets.
  static constexpr int kWindowRowStride = kFhtMaxSize + 40;
  static constexpr int kAmplitudeRowStride = kFhtMaxSize / 2 + 1 + 40;
  std::unique_ptr<std::int16_t[]> windowRows_;     // kMaxBatchLanes windowed epochs of up to kFhtMaxSize
  std::unique_ptr<std::int16_t[]> amplitudeRows_;  // kMaxBatchLanes spectra of up to kFhtMaxSize / 2 + 1
  int batchSize_ = 1;
  int batchOrder_ = 0;
  int fhtSize_ = 1;
  int fhtOrder_ = 0;
  int fhtExponent_ = 0;
  int windowKind_ = 0;
};

// The transform view with the spectra of the current epoch (start
// currentEpoch × epochStep): a transform view that is on is left first, the
// spectra are computed with the state's transformKind, and the view is
// entered with them. Returns false, with the reason in `problem` and the view
// left off, when the spectra cannot be computed.
bool showEpochSpectra(SpectralEngine& engine, StudyState& s, int usableWidth, std::string& problem);

// Keeps the epoch grid, the band and transform modes, the lead-pair count and
// the engine's averaging, window and first band of an analysis that borrows
// them, and puts them back when it goes out of scope unless keep() was called
// (an analysis whose result stays on view with its settings).
class SpectralSettingsGuard {
 public:
  SpectralSettingsGuard(StudyState& s, SpectralEngine& e);
  ~SpectralSettingsGuard();
  SpectralSettingsGuard(const SpectralSettingsGuard&) = delete;
  SpectralSettingsGuard& operator=(const SpectralSettingsGuard&) = delete;
  void keep() { kept_ = true; }

 private:
  StudyState& s_;
  SpectralEngine& e_;
  int epochLength_, epochStep_, epochCount_, currentEpoch_, bandMode_, leadPairCount_;
  TransformKind transformKind_;
  int averaged_, window_;
  std::array<std::int32_t, 2> firstBins_;
  bool kept_ = false;
};

}  // namespace velor
