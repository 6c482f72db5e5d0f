#include "acquisition/exam_express.h"

#include <algorithm>
#include <cmath>

#include "core/numtext.h"
#include "eeg/band_table.h"
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
  waveAmplitudes_.clear();
  wavePeriods_.clear();
  bandValues_.clear();
  bandNames_.clear();
  rateHistory_.clear();
  picture_.reset();
}

void ExpressAnalysis::clearRates() {
  rateHistory_.clear();
  if (!picture_ || picture_->kind != 4) return;
  auto p = std::make_shared<ExpressPicture>(*picture_);
  p->rates.clear();
  p->serial = ++serial_;
  picture_ = std::move(p);
}

int ExpressAnalysis::run(StudyState& s, int kind, int samples, ExpressContext& ctx) {
  const int k = kind % 20;
  samples = std::clamp(samples, 0, kMaxSamples);
  if (k == 3) {
    evoked(s, samples, ctx);
    makePicture(s, k, ctx);
    return -1;
  }
  if (k == 4) {
    ecg(s, samples, ctx);
    makePicture(s, k, ctx);
    return -1;
  }
  if (k == 5 || k == 6) {
    // The chosen channel ("Все" means the first).
    const int channel = std::clamp(ctx.channel - 1, 0, std::max(0, s.channelCount - 1));
    const int length = s.recordLength;
    s.recordLength = samples;
    BreathTable table;
    const int b = detectBreaths(s, channel, nullptr, &table);
    s.recordLength = length;
    waves_ = std::max(0, b - 1);
    waveChannel_ = channel;
    waveAmplitudes_.assign(table.amplitudeCodes.begin(), table.amplitudeCodes.end());
    wavePeriods_.clear();
    for (std::size_t i = 1; i < table.peaks.size() && s.sampleRate > 0; ++i)
      wavePeriods_.push_back(static_cast<double>(table.peaks[i] - table.peaks[i - 1]) / s.sampleRate);
    makePicture(s, k, ctx);
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
  if (peak >= 0) bandAmplitudes(s, k, n);
  makePicture(s, k, ctx);
  return peak;
}

void ExpressAnalysis::bandAmplitudes(const StudyState& s, int kind, int n) {
  // The spectral diagrams have the five classical bands their legend names;
  // the map takes the person's band table when there is one.
  std::vector<BandRow> rows;
  if (kind == 2 && s.bandCount > 0)
    rows.assign(s.bandTable.begin(), s.bandTable.begin() + std::clamp(s.bandCount, 0, kBandRows));
  else
    for (const BandRow& r : defaultBands()) rows.push_back(r);
  bandNames_.clear();
  for (const BandRow& r : rows) bandNames_.push_back(trimSpaces(r.name));
  const int half = n / 2;
  const double binHz = s.sampleRate > 0 ? static_cast<double>(s.sampleRate) / n : 0;
  const int channels = std::clamp(s.channelCount, 0, kMaxChannels);
  bandValues_.assign(static_cast<std::size_t>(channels), std::vector<double>(rows.size(), 0.0));
  for (int c = 0; c < channels; ++c) {
    const std::int16_t* spectrum = s.parkedChannelData[static_cast<std::size_t>(c)];
    if (!spectrum || binHz <= 0) continue;
    for (std::size_t b = 0; b < rows.size(); ++b) {
      const double low = parseNumber(rows[b].low).value_or(0), high = parseNumber(rows[b].high).value_or(0);
      // Mean amplitude of the bins inside [low, high); a band narrower than
      // one bin takes the bin it falls in.
      int first = std::max(1, static_cast<int>(std::ceil(low / binHz)));
      int last = std::min(half - 1, static_cast<int>(std::ceil(high / binHz)) - 1);
      if (last < first) last = first = std::clamp(static_cast<int>(low / binHz + 0.5), 1, std::max(1, half - 1));
      if (first >= half) continue;
      double sum = 0;
      for (int k = first; k <= last; ++k) sum += spectrum[k];
      bandValues_[static_cast<std::size_t>(c)][b] = sum / (last - first + 1);
    }
  }
}

void ExpressAnalysis::makePicture(const StudyState& s, int kind, const ExpressContext& ctx) {
  auto p = std::make_shared<ExpressPicture>();
  p->kind = kind;
  p->serial = ++serial_;
  p->channels = std::clamp(s.channelCount, 0, kMaxChannels);
  for (int c = 0; c < p->channels; ++c) {
    p->names.push_back(trimSpaces(s.channelNames[static_cast<std::size_t>(c)]));
    p->posX.push_back(s.channelPosX[static_cast<std::size_t>(c)]);
    p->posY.push_back(s.channelPosY[static_cast<std::size_t>(c)]);
  }
  if (kind == 1 || kind == 2) {
    p->bandNames = bandNames_;
    p->bandValues = bandValues_;
    // "4 диапазона" (the item after the table's bands) maps the first four.
    p->mapBand = kind == 2 && s.currentBand < static_cast<int>(bandNames_.size()) ? s.currentBand : -1;
  } else if (kind == 3) {
    p->responses = responses_;
    p->rejected = rejected_;
    if (responses_ > 0 && averageLength_ > 0) {
      const int points = std::min(averageLength_, kAveragePoints);
      for (int c = 0; c < averageChannels_; ++c) {
        const std::int64_t* a = sums_.data() + static_cast<std::size_t>(c) * static_cast<std::size_t>(averageLength_);
        const double z = c < p->channels ? s.zeroLevel[c] : 2048;
        std::vector<float> line(static_cast<std::size_t>(points));
        for (int i = 0; i < points; ++i) {
          // Each point the mean over its stretch of the averaged length.
          const long long from = static_cast<long long>(i) * averageLength_ / points;
          const long long to = std::max(from + 1, static_cast<long long>(i + 1) * averageLength_ / points);
          double sum = 0;
          for (long long j = from; j < to; ++j) sum += static_cast<double>(a[j]);
          line[static_cast<std::size_t>(i)] = static_cast<float>(sum / static_cast<double>(to - from) / responses_ - z);
        }
        p->average.push_back(std::move(line));
      }
    }
  } else if (kind == 4) {
    ExpressPicture::RateColumn column;
    for (const ExpressHeartRate& r : rates_) {
      column.low.push_back(r.usable ? static_cast<float>(r.minPerMinute) : 0.0f);
      column.high.push_back(r.usable ? static_cast<float>(r.maxPerMinute) : 0.0f);
    }
    rateHistory_.push_back(std::move(column));
    if (rateHistory_.size() > static_cast<std::size_t>(kRateHistory))
      rateHistory_.erase(rateHistory_.begin(), rateHistory_.begin() + (rateHistory_.size() - kRateHistory));
    p->rates = rateHistory_;
    p->rateMin = ctx.parameter;
    p->rateMax = ctx.threshold;
  } else if (kind == 5 || kind == 6) {
    p->waveAmplitudes = waveAmplitudes_;
    p->wavePeriods = wavePeriods_;
    p->waveChannel = waveChannel_;
  }
  picture_ = std::move(p);
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
