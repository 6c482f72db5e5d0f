// Passive electromyography without windows: the epoch measures (mean
// rectified amplitude, or the largest 25 Hz band of the spectrum), the band
// amplitudes of one epoch, the histograms of the signal's swings and the
// settings file of the EMG window. Each takes the samples it needs from the
// study and returns points and texts; graph windows and velor-cli present
// them.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace velor {

struct StudyState;
class SpectralEngine;

enum class EmgMeasure { MeanAmplitude, MaxAmplitude };  // "Аср", "Amax"

inline constexpr int kEmgEpochChoices = 4;
inline constexpr int kEmgStimulusChoices = 16;
// Epoch of the band amplitudes for the mean-amplitude measure.
inline constexpr int kEmgMeanBandEpoch = 128;

// The epoch list of a measure: "50", "100", "250", "500" ms for the mean
// amplitude; d, 2d, 4d, 8d with d = round(128 / fs × 1000) ms for the
// largest amplitude, so that its epochs hold 128 .. 1024 samples.
std::array<int, kEmgEpochChoices> emgEpochChoicesMs(EmgMeasure m, int sampleRate);
// Samples of an epoch of `ms` milliseconds: round(ms × fs / 1000).
int emgEpochSamples(int ms, int sampleRate);

// The window's three list positions, as "qemg.ini" keeps them (0-based).
struct EmgSettings {
  int stimulus = 0;   // 0..15: stimulus 1..16
  int measure = 0;    // 0 "Аср", 1 "Amax"
  int epoch = 0;      // 0..3
  EmgMeasure measureKind() const { return measure == 1 ? EmgMeasure::MaxAmplitude : EmgMeasure::MeanAmplitude; }
};

// Reads "qemg.ini" from `dir` (ending with '/'). A missing or short file sets
// `unreadable` and keeps the defaults for what is missing; a position outside
// its list (or not a number) is not taken either, so a damaged file never
// selects an item that does not exist.
EmgSettings readEmgSettings(const std::string& dir, bool* unreadable = nullptr);
bool writeEmgSettings(const std::string& dir, const EmgSettings& s);

using EmgPoints = std::vector<std::pair<double, double>>;

// "Amax": epochs of e samples with half overlap; per epoch the 25 Hz band
// (every 5 Hz) with the largest mean spectrum amplitude, its mean in channel
// units (series 0) and the frequency of its largest bin (series 1), with
// means and population SDs. "Аср": consecutive epochs, mean rectified
// amplitude about the zero line (series 0), with mean and sample SD.
// On a record read from another system's file (EDF, BDF, ...; not ".cad")
// the baseline is the epoch's own: "Аср" rectifies about the epoch's mean
// and the spectra (here and in the band amplitudes) are taken after the
// epoch's straight-line trend is removed, since such recordings are often
// DC-coupled and their zero level is not the signal's baseline.
struct EmgEpochAnalysis {
  EmgMeasure measure = EmgMeasure::MeanAmplitude;
  int epochSamples = 0;
  EmgPoints amplitude;   // (time s, amplitude)
  EmgPoints frequency;   // "Amax" only: (time s, Hz)
  double meanAmplitude = 0, sdAmplitude = 0, meanFrequency = 0, sdFrequency = 0;
  int skippedBands = 0;  // 25 Hz bands that hold no bin at this epoch length
  std::vector<std::string> lines;  // the graph's summary texts
};

// False with `message` (nothing computed) when no epoch fits into the record
// or, for "Amax", no 25 Hz band holds a spectrum bin.
bool emgEpochAnalysis(const StudyState& s, SpectralEngine& engine, int channel, EmgMeasure m, int epochSamples,
                      EmgEpochAnalysis& out, std::string& message);

// Mean spectrum amplitude in 25 Hz bands every 5 Hz of the p samples of
// epoch trunc(cursor / p): points (F, amplitude in channel units), mean and
// population SD over the bands.
struct EmgBandAmplitudes {
  int epoch = 0;  // the epoch measured (becomes currentEpoch)
  int epochSamples = 0;
  EmgPoints points;
  double mean = 0, sd = 0;
  int skippedBands = 0;
  std::vector<std::string> lines;
};

// An epoch that would reach past the record end is replaced by the last whole
// one. False with `message` when p exceeds the record or no band holds a bin.
bool emgBandAmplitudes(const StudyState& s, SpectralEngine& engine, int channel, int cursor, int p,
                       EmgBandAmplitudes& out, std::string& message);

// Swings of more than 100 codes between turning points, their amplitude and
// duration histograms (classes 3.3 log10 n + 1.5, at most the largest
// duration − 1; the top value falls in the hidden class k).
struct EmgSwingHistograms {
  std::vector<int> amplitudes, durations;  // codes, samples, one per swing
  int classes = 0;
  double amplitudeWidth = 0, durationWidth = 0;
  EmgPoints amplitudePoints;  // (µV, per cent)
  EmgPoints durationPoints;   // (ms, per cent)
};

// The swings of x[0 .. length − 1] (codes).
void emgSwings(const std::int16_t* x, int length, std::vector<int>& amplitudes, std::vector<int>& durations);

// False with `message` for fewer than two swings or equal amplitudes or
// durations (no class width), or no class at all.
bool emgSwingHistograms(const StudyState& s, int channel, EmgSwingHistograms& out, std::string& message);

// "&2=Спектр": the selection (or, shorter than 16 samples, the whole record
// from sample 0) as cursorPos .. selectionAnchor, at most 4096 samples, its
// amplitude spectra computed into the parked buffers and bandMode = 1.
// Returns the number of values per channel the transform view shows, or −1
// (state unchanged, `message` set) when the spectra cannot be computed.
int emgIntervalSpectra(StudyState& s, SpectralEngine& engine, std::string& message);

}  // namespace velor
