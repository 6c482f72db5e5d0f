// The express analysis at the end of each record of an examination, on the
// acquisition side (the engine's thread owns the record while it runs):
// - 1 and 2 (spectra, maps): the epoch spectra and band measures of the
//   finished record with the spectral engine (results in the parked buffers
//   and the result store); `gainStep` follows the largest peak so far;
// - 3 (evoked potentials): a record whose channel 0 stays within
//   `expressThreshold` codes of its zero level is added to a running average
//   (gain `expressParameter`); the average becomes the examination file's
//   one record at the end;
// - 4 (ECG monitor): R waves of every channel with a signal (or of the
//   chosen one), the shortest, longest and mean RR interval and the mean R
//   amplitude per channel into the result store (rows 0..3 of 2048), and the
//   record is written when its minute lies past the last written one;
// - 5 and 6 (wave amplitudes, periods): the breath detector on the chosen
//   channel, its peak tables into the result store.
// Other kinds have no analysis here; an examination planned with one runs
// without it.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/study_state.h"

namespace velor {

class SpectralEngine;

// What the step may change in the engine besides the study state.
struct ExpressContext {
  bool& recordingOn;
  double recordTime = 0;  // start of the record, fraction of the day
  // The plan's fields: evoked gain / ECG minimum, artefact level in codes /
  // ECG maximum, channel from 1 (0: every channel).
  int parameter = 0, threshold = 0, channel = 0;
};

// The heart rate of one channel in the last record (ECG monitor).
struct ExpressHeartRate {
  bool usable = false;  // a signal with beats
  double minPerMinute = 0, maxPerMinute = 0;
};

// What the side window draws after each record: an immutable snapshot made
// on the acquisition side at the record end, handed to the interface whole
// (it never sees the engine's working arrays).
struct ExpressPicture {
  int kind = 0;    // `expressAnalysisKind` mod 20
  int serial = 0;  // grows with every new picture
  int channels = 0;
  std::vector<std::string> names;             // channel names
  std::vector<std::uint8_t> posX, posY;       // electrode positions (maps)
  // 1, 2: band amplitudes (spectrum codes) per channel, bandNames.size() each.
  std::vector<std::string> bandNames;
  std::vector<std::vector<double>> bandValues;
  int mapBand = -1;  // 2: the band mapped; −1 every band named (at most 4)
  // 3: the running average per channel as deviation from the zero level in
  // codes, at most kAveragePoints points over the averaged length.
  std::vector<std::vector<float>> average;
  int responses = 0, rejected = 0;
  // 4: per record (oldest first) the shortest and longest heart rate of every
  // channel (0: no usable signal); the strip scale from the plan's "Min=" and
  // "Мах=". Cleared by the space key.
  struct RateColumn {
    std::vector<float> low, high;
  };
  std::vector<RateColumn> rates;
  int rateMin = 0, rateMax = 0;
  // 5, 6: the waves of the last record: amplitudes (codes) and periods (s).
  std::vector<double> waveAmplitudes, wavePeriods;
  int waveChannel = 0;
};

inline constexpr int kAveragePoints = 1024;
inline constexpr int kRateHistory = 2048;  // records of heart rates kept

class ExpressAnalysis {
 public:
  ExpressAnalysis();
  ~ExpressAnalysis();
  // The kind (`expressAnalysisKind` mod 20) can run in this build.
  static bool available(int kind);
  // Examination start: maxima, counters and the average back to nothing.
  void reset();
  // Analyses the finished record of `samples` samples. Returns the peak of
  // the spectra (kinds 1, 2), or −1.
  int run(StudyState& s, int kind, int samples, ExpressContext& ctx);

  int maxPeak() const { return maxPeak_; }
  // Evoked potentials: responses averaged, records refused as artefacts.
  int responses() const { return responses_; }
  int rejected() const { return rejected_; }
  // Puts the average into the record in memory (the zero level plus the
  // gained deviation of the mean, `calibValue` divided by the gain,
  // `recordLength` the averaged length, `recordCount` −responses). False
  // when fewer than two responses were averaged (nothing changes).
  bool placeAverage(StudyState& s) const;
  // ECG monitor.
  const std::vector<ExpressHeartRate>& heartRates() const { return rates_; }
  int ecgRecords() const { return ecgRecords_; }
  // Wave analyses: accepted peaks of the last record, −1 before any.
  int waves() const { return waves_; }

  // The picture of the last record for the side window (kinds 1..6).
  std::shared_ptr<const ExpressPicture> picture() const { return picture_; }
  // The space key: the heart-rate strips start empty again.
  void clearRates();

 private:
  void makePicture(const StudyState& s, int kind, const ExpressContext& ctx);
  void bandAmplitudes(const StudyState& s, int kind, int n);
  void evoked(StudyState& s, int samples, const ExpressContext& ctx);
  void ecg(StudyState& s, int samples, ExpressContext& ctx);

  std::unique_ptr<SpectralEngine> spectra_;
  int maxPeak_ = 0;
  int responses_ = 0, rejected_ = 0, averageLength_ = 0, averageChannels_ = 0, gain_ = 1;
  std::vector<std::int64_t> sums_;
  std::vector<ExpressHeartRate> rates_;
  std::vector<std::int16_t> trace_, table_;
  int lastMinute_ = -1000000;
  int ecgRecords_ = 0;
  int waves_ = -1;
  std::vector<double> waveAmplitudes_, wavePeriods_;
  int waveChannel_ = 0;
  std::vector<std::vector<double>> bandValues_;
  std::vector<std::string> bandNames_;
  std::vector<ExpressPicture::RateColumn> rateHistory_;
  int serial_ = 0;
  std::shared_ptr<const ExpressPicture> picture_;
};

}  // namespace velor
