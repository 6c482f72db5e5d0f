#include "acquisition/exam_express.h"

#include <algorithm>
#include <cmath>

#include "eeg/spectral.h"
#include "physio/breath.h"
#include "physio/ecg_beats.h"

namespace velor {

namespace {
constexpr int kEcgMinimumRange = 100;  // codes peak to peak for a channel to count as a signal
constexpr int kResultRow = 2048;
}  // namespace

ExpressAnalysis::ExpressAnalysis() = default;
ExpressAnalysis::~ExpressAnalysis() = default;

bool ExpressAnalysis::available(int kind) {
  const int k = kind % 20;
  return k >= 0 && k <= 6;
}

void ExpressAnalysis::reset() {
  maxPeak_ = 0;
  responses_ = rejected_ = averageLength_ = averageChannels_ = 0;
  gain_ = 1;
  sums_.clear();
  rates_.clear();
  lastMinute_ = -1000000;
  ecgRecords_ = 0;
  waves_ = -1;
}

int ExpressAnalysis::run(StudyState& s, int kind, int samples, ExpressContext& ctx) {
  const int k = kind % 20;
  samples = std::clamp(samples, 0, kMaxSamples);
  if (k == 3) {
    evoked(s, samples, ctx);
    return -1;
  }
  if (k == 4) {
    ecg(s, samples, ctx);
    return -1;
  }
  if (k == 5 || k == 6) {
    // The chosen channel ("Все" means the first).
    const int channel = std::clamp(ctx.channel - 1, 0, std::max(0, s.channelCount - 1));
    const int length = s.recordLength;
    s.recordLength = samples;
    const int b = detectBreaths(s, channel);
    s.recordLength = length;
    waves_ = std::max(0, b - 1);
    return -1;
  }
  if (k != 1 && k != 2) return -1;
  int n = 1;
  while (n * 2 <= std::min(samples, kFhtMaxSize)) n *= 2;
  if (n < 2) return -1;
  if (!spectra_) spectra_ = std::make_unique<SpectralEngine>();
  // One epoch over the record's first power-of-two samples; the grid the
  // person chose for the viewer comes back afterwards.
  const int length = s.epochLength, step = s.epochStep, count = s.epochCount;
  const TransformKind transform = s.transformKind;
  s.epochLength = n;
  s.epochStep = n;
  s.epochCount = 1;
  s.transformKind = TransformKind::Amplitude;
  const int peak = spectra_->epochProblem(s, 0).empty() ? spectra_->epochSpectra(s, 0, 0) : -1;
  s.epochLength = length;
  s.epochStep = step;
  s.epochCount = count;
  s.transformKind = transform;
  if (peak > maxPeak_ && peak > 0 && peak < 2816) {
    maxPeak_ = peak;
    s.gainStep = static_cast<int>(std::log(2816.0 / peak) / std::log(1.2));
  }
  return peak;
}

void ExpressAnalysis::evoked(StudyState& s, int samples, const ExpressContext& ctx) {
  if (samples < 1 || s.channelCount < 1) return;
  // The artefact test on channel 0; a threshold of 0 or below takes every record.
  if (ctx.threshold > 0) {
    const int z = s.zeroLevel[0];
    const std::int16_t* x = s.channelData[0];
    for (int j = 0; j < samples; ++j)
      if (std::abs(x[j] - z) > ctx.threshold) {
        ++rejected_;
        return;
      }
  }
  if (responses_ == 0) {
    averageLength_ = samples;
    averageChannels_ = s.channelCount;
    gain_ = std::clamp(ctx.parameter, 1, 15);
    sums_.assign(static_cast<std::size_t>(averageChannels_) * static_cast<std::size_t>(averageLength_), 0);
  }
  // Every response spans the same time from its record's start; a shorter
  // record contributes what it has.
  const int n = std::min(samples, averageLength_);
  for (int c = 0; c < std::min(averageChannels_, s.channelCount); ++c) {
    std::int64_t* a = sums_.data() + static_cast<std::size_t>(c) * static_cast<std::size_t>(averageLength_);
    const std::int16_t* x = s.channelData[static_cast<std::size_t>(c)];
    for (int j = 0; j < n; ++j) a[j] += x[j];
    // Samples past a shorter record count as the zero level.
    for (int j = n; j < averageLength_; ++j) a[j] += s.zeroLevel[c];
  }
  ++responses_;
}

bool ExpressAnalysis::placeAverage(StudyState& s) const {
  if (responses_ < 2 || averageLength_ < 1) return false;
  const int channels = std::min(averageChannels_, s.channelCount);
  for (int c = 0; c < channels; ++c) {
    const std::int64_t* a = sums_.data() + static_cast<std::size_t>(c) * static_cast<std::size_t>(averageLength_);
    std::int16_t* x = s.channelData[static_cast<std::size_t>(c)];
    const double z = s.zeroLevel[c];
    for (int j = 0; j < averageLength_; ++j) {
      const double mean = std::floor(static_cast<double>(a[j]) / responses_ + 0.5);  // half up
      x[j] = static_cast<std::int16_t>(std::clamp(z + (mean - z) * gain_, -32768.0, 32767.0));
    }
    s.calibValue[c] = static_cast<std::uint16_t>(std::max(1, s.calibValue[c] / gain_));
  }
  if (s.markChannelCount > 0) std::fill(s.markChannel, s.markChannel + averageLength_, std::int16_t{0});
  s.recordLength = averageLength_;
  s.recordCount = -responses_;
  return true;
}

void ExpressAnalysis::ecg(StudyState& s, int samples, ExpressContext& ctx) {
  ctx.recordingOn = false;
  rates_.assign(static_cast<std::size_t>(std::max(0, s.channelCount)), ExpressHeartRate{});
  if (samples < 1 || s.sampleRate < 1) return;
  trace_.resize(static_cast<std::size_t>(kMaxSamples));
  table_.resize(static_cast<std::size_t>(kBeatTableSize));
  const bool one = ctx.channel > 0 && ctx.channel <= s.channelCount;
  const int first = one ? ctx.channel - 1 : 0;
  const int last = one ? ctx.channel - 1 : s.channelCount - 1;
  const bool workMode2 = s.groupMode == 2;
  int analysed = 0;
  for (int c = first; c <= last; ++c) {
    const std::int16_t* x = s.channelData[static_cast<std::size_t>(c)];
    const auto [lo, hi] = std::minmax_element(x, x + samples);
    ExpressHeartRate& r = rates_[static_cast<std::size_t>(c)];
    int n = 0;
    if (*hi - *lo >= kEcgMinimumRange) {
      EcgSignal sig{x, samples, s.zeroLevel[c], s.sampleRate};
      n = std::max(0, detectBeats(sig, BeatDetectorSettings{}, trace_.data(), table_.data()));
      ++analysed;
    }
    if (workMode2) {
      // The beats themselves, one block of RR intervals per channel.
      const std::size_t at = static_cast<std::size_t>(c) * kResultRow;
      if (at + kResultRow <= static_cast<std::size_t>(kResultStoreSize)) {
        std::fill(s.resultStore + at, s.resultStore + at + kResultRow, std::int16_t{0});
        std::copy(table_.data(), table_.data() + std::min(n, kMaxBeatIntervals), s.resultStore + at);
      }
    }
    int shortest = 0, longest = 0;
    long long sum = 0, amplitude = 0;
    for (int i = 0; i < n; ++i) {
      const int rr = table_[static_cast<std::size_t>(i)];
      if (rr <= 0) continue;
      shortest = shortest == 0 ? rr : std::min(shortest, rr);
      longest = std::max(longest, rr);
      sum += rr;
      amplitude += table_[static_cast<std::size_t>(static_cast<int>(BeatBlock::RAmplitude) * kBeatBlock + i)];
    }
    r.usable = longest > 0;
    if (r.usable) {
      r.minPerMinute = 60.0 * s.sampleRate / longest;
      r.maxPerMinute = 60.0 * s.sampleRate / shortest;
    }
    s.channelPosX[c] = static_cast<std::uint8_t>(r.usable ? kKindEcg : 0);
    if (!workMode2 && c < kResultRow) {
      s.resultStore[c] = static_cast<std::int16_t>(shortest);
      s.resultStore[kResultRow + c] = static_cast<std::int16_t>(longest);
      s.resultStore[2 * kResultRow + c] = static_cast<std::int16_t>(n > 0 ? sum / n : 0);
      s.resultStore[3 * kResultRow + c] =
          static_cast<std::int16_t>(n > 0 ? amplitude / n : s.zeroLevel[c]);
    }
  }
  if (analysed == 0) {
    ecgRecords_ = 0;
    return;
  }
  ++ecgRecords_;
  // One record a minute or so goes to the file.
  const int minute = static_cast<int>(std::floor(ctx.recordTime * 1440.0));
  if (minute - lastMinute_ > 1) {
    lastMinute_ = minute;
    ctx.recordingOn = true;
  }
}

}  // namespace velor
