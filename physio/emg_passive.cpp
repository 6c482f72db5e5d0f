#include "physio/emg_passive.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "core/binio.h"
#include "core/numtext.h"
#include "core/record_source.h"
#include "core/settings.h"
#include "core/study_state.h"
#include "eeg/spectral.h"
#include "physio/emg_texts.h"

namespace velor {

namespace {

constexpr int kBandWidthHz = 25;
constexpr int kBandStepHz = 5;
constexpr int kSwingThreshold = 100;  // codes: smaller reversals are ripple, not swings
constexpr int kIntervalMin = 16;
constexpr int kIntervalMax = 4096;

struct MeanSd {
  double mean = 0, sd = 0;
};

// sample: divide by n − 1 (0 when there is a single value)
MeanSd meanSd(const EmgPoints& p, bool sample, bool second = true) {
  MeanSd r;
  const double n = static_cast<double>(p.size());
  if (p.empty()) return r;
  double s1 = 0, s2 = 0;
  for (const auto& [x, y] : p) {
    const double v = second ? y : x;
    s1 += v;
    s2 += v * v;
  }
  r.mean = s1 / n;
  if (sample) r.sd = p.size() > 1 ? std::sqrt(std::max(0.0, (s2 - n * r.mean * r.mean) / (n - 1))) : 0;
  else r.sd = std::sqrt(std::max(0.0, s2 / n - r.mean * r.mean));
  return r;
}

// One 25 Hz band of a spectrum of n points: its mean and the bin of its
// largest value; bins lo .. hi with lo = trunc(F / fs × n) + 1.
struct Band {
  int from = 0;
  int lo = 0, hi = 0;
  bool empty() const { return hi < lo; }
};

std::vector<Band> bandsOf(int sampleRate, int n) {
  std::vector<Band> out;
  const double fs = sampleRate;
  for (int F = 0; F + kBandWidthHz <= fs / 2; F += kBandStepHz) {
    Band b;
    b.from = F;
    b.lo = static_cast<int>(std::trunc(F / fs * n)) + 1;
    b.hi = std::min(n / 2, static_cast<int>(std::trunc((F + kBandWidthHz) / fs * n)));
    out.push_back(b);
  }
  return out;
}

// This system's amplifiers record EMG AC-coupled with the baseline at the
// channel's zero level, so its own records are measured about zeroLevel as
// they always were. Other systems' files (EDF, BDF, ...) are often
// DC-coupled: the baseline sits hundreds of µV away from zero and drifts, so
// there each epoch is measured about its own baseline instead.
bool measuresAboutEpochBaseline(const StudyState& s) {
  const RecordSource* r = openRecordSource(s);
  return r && r->formatName() != "cad";
}

// The amplitude spectrum of x[0 .. e − 1] into the engine's amplitudeOut;
// returns the transform length (the largest power of two not above e).
// `detrend` takes the least-squares straight line off the samples first:
// a DC level and drift would otherwise leak into the low bands (a ramp
// spreads as 1/k over every bin) and, far larger than the EMG, take most of
// the fixed-point transform's resolution.
int spectrumOf(SpectralEngine& engine, const std::int16_t* x, int e, bool detrend) {
  const int n = std::min(e, kFhtMaxSize);
  std::int16_t* w = engine.fhtWork();
  if (!detrend) {
    std::memcpy(w, x, sizeof(std::int16_t) * static_cast<std::size_t>(n));
  } else {
    double sx = 0, sxt = 0;
    const double tMean = (n - 1) / 2.0;
    for (int k = 0; k < n; ++k) {
      sx += x[k];
      sxt += (k - tMean) * x[k];
    }
    const double mean = sx / n;
    const double stt = static_cast<double>(n) * (static_cast<double>(n) * n - 1) / 12;  // Σ (k − tMean)²
    const double slope = stt > 0 ? sxt / stt : 0;
    for (int k = 0; k < n; ++k)
      w[k] = static_cast<std::int16_t>(std::clamp(std::lround(x[k] - mean - slope * (k - tMean)), -32767L, 32767L));
  }
  engine.fhtTransform(n);
  engine.amplitudeSpectrum(false);
  return engine.fhtSize();
}

double bandMean(const std::int16_t* a, const Band& b) {
  double sum = 0;
  for (int k = b.lo; k <= b.hi; ++k) sum += a[k];
  return std::trunc(sum / (b.hi - b.lo + 1) + 0.5);
}

std::string number(double v) { return formatNumber(v); }

}  // namespace

std::array<int, kEmgEpochChoices> emgEpochChoicesMs(EmgMeasure m, int sampleRate) {
  if (m == EmgMeasure::MeanAmplitude || sampleRate <= 0) return {50, 100, 250, 500};
  const int d = static_cast<int>(std::trunc(128.0 / sampleRate * 1000 + 0.5));
  return {d, 2 * d, 4 * d, 8 * d};
}

int emgEpochSamples(int ms, int sampleRate) {
  return static_cast<int>(std::trunc(static_cast<double>(ms) * sampleRate / 1000 + 0.5));
}

EmgSettings readEmgSettings(const std::string& dir, bool* unreadable) {
  EmgSettings s;
  if (unreadable) *unreadable = false;
  const auto lines = readTextLines(dir + kEmgSettingsFile);
  if (!lines || lines->size() < 3) {
    if (unreadable) *unreadable = true;
    if (!lines) return s;
  }
  auto take = [&](std::size_t i, int limit, int& v) {
    if (i >= lines->size()) return;
    const auto x = parseInteger(trimSpaces((*lines)[i]));
    if (x && *x >= 0 && *x < limit) v = *x;
    else if (unreadable) *unreadable = true;
  };
  take(0, kEmgStimulusChoices, s.stimulus);
  take(1, 2, s.measure);
  take(2, kEmgEpochChoices, s.epoch);
  return s;
}

bool writeEmgSettings(const std::string& dir, const EmgSettings& s) {
  return writeTextLines(dir + kEmgSettingsFile,
                        {integerText(s.stimulus), integerText(s.measure), integerText(s.epoch)});
}

bool emgEpochAnalysis(const StudyState& s, SpectralEngine& engine, int channel, EmgMeasure m, int e,
                      EmgEpochAnalysis& out, std::string& message) {
  out = {};
  out.measure = m;
  out.epochSamples = e;
  const int L = s.recordLength;
  const double fs = s.sampleRate;
  if (channel < 0 || channel >= s.channelCount || !s.channelData[static_cast<std::size_t>(channel)] || fs <= 0) {
    message = kEmgBadChannel;
    return false;
  }
  if (e < 2 || e > L || (m == EmgMeasure::MaxAmplitude && e > kFhtMaxSize)) {
    message = kEmgEpochTooLong;
    return false;
  }
  const std::int16_t* x = s.channelData[static_cast<std::size_t>(channel)];
  const double cal = s.microvoltsPerCode(channel);
  if (m == EmgMeasure::MeanAmplitude) {
    const int zero = s.zeroLevel[static_cast<std::size_t>(channel)];
    const bool epochBaseline = measuresAboutEpochBaseline(s);
    for (int st = 0; (st + 1) * static_cast<long>(e) <= L; ++st) {
      const std::int16_t* epoch = x + static_cast<std::ptrdiff_t>(st) * e;
      double rectified = 0;
      if (epochBaseline) {
        long sum = 0;
        for (int k = 0; k < e; ++k) sum += epoch[k];
        const double mean = static_cast<double>(sum) / e;
        for (int k = 0; k < e; ++k) rectified += std::fabs(epoch[k] - mean);
      } else {
        long sum = 0;
        for (int k = 0; k < e; ++k) sum += std::abs(epoch[k] - zero);
        rectified = static_cast<double>(sum);
      }
      out.amplitude.emplace_back((st + 0.5) * e / fs, rectified / e * cal);
    }
    const MeanSd a = meanSd(out.amplitude, true);
    out.meanAmplitude = a.mean;
    out.sdAmplitude = a.sd;
    out.lines.push_back(std::string(kEmgMean) + number(a.mean) + kEmgSd + number(a.sd));
    return true;
  }
  const int half = e / 2;
  const int epochs = static_cast<int>(2L * L / e) - 1;  // m = 0 .. trunc(2L / e) − 2
  std::vector<Band> bands;
  const bool detrend = measuresAboutEpochBaseline(s);
  for (int ep = 0; ep < epochs; ++ep) {
    const int n = spectrumOf(engine, x + static_cast<std::ptrdiff_t>(ep) * half, e, detrend);
    if (ep == 0) {
      bands = bandsOf(s.sampleRate, n);
      out.skippedBands = static_cast<int>(std::count_if(bands.begin(), bands.end(), [](const Band& b) { return b.empty(); }));
      if (out.skippedBands == static_cast<int>(bands.size())) {
        out = {};
        message = kEmgNoBandBins;
        return false;
      }
    }
    const std::int16_t* a = engine.amplitudeOut();
    double best = -1;
    int bestBin = 0;
    for (const Band& b : bands) {
      if (b.empty()) continue;
      const double mean = bandMean(a, b);
      if (mean > best) {
        best = mean;
        bestBin = b.lo;
        for (int k = b.lo; k <= b.hi; ++k)
          if (a[k] > a[bestBin]) bestBin = k;
      }
    }
    const double t = ep * static_cast<double>(e) / 2 / fs;
    out.amplitude.emplace_back(t, best * cal);
    out.frequency.emplace_back(t, static_cast<double>(bestBin) / n * fs);
  }
  const MeanSd a = meanSd(out.amplitude, false), f = meanSd(out.frequency, false);
  out.meanAmplitude = a.mean;
  out.sdAmplitude = a.sd;
  out.meanFrequency = f.mean;
  out.sdFrequency = f.sd;
  out.lines.push_back(std::string(kEmgMeanMaxAmplitude) + number(a.mean) + kEmgMeanMaxAmplitudeSd + number(a.sd));
  out.lines.push_back(std::string(kEmgMeanFrequency) + number(f.mean) + kEmgMeanFrequencySd + number(f.sd));
  return true;
}

bool emgBandAmplitudes(const StudyState& s, SpectralEngine& engine, int channel, int cursor, int p,
                       EmgBandAmplitudes& out, std::string& message) {
  out = {};
  const int L = s.recordLength;
  if (channel < 0 || channel >= s.channelCount || !s.channelData[static_cast<std::size_t>(channel)] ||
      s.sampleRate <= 0) {
    message = kEmgBadChannel;
    return false;
  }
  if (p < 2 || p > L || p > kFhtMaxSize) {
    message = kEmgEpochTooLong;
    return false;
  }
  int c = std::max(0, cursor) / p;
  // the epoch at the cursor may reach past the record end: the last whole one
  if (static_cast<long>(c) * p + p > L) c = L / p - 1;
  const std::int16_t* x = s.channelData[static_cast<std::size_t>(channel)] + static_cast<std::ptrdiff_t>(c) * p;
  const int n = spectrumOf(engine, x, p, measuresAboutEpochBaseline(s));
  const std::vector<Band> bands = bandsOf(s.sampleRate, n);
  const double cal = s.microvoltsPerCode(channel);
  for (const Band& b : bands) {
    if (b.empty()) {
      ++out.skippedBands;
      continue;
    }
    out.points.emplace_back(b.from, bandMean(engine.amplitudeOut(), b) * cal);
  }
  if (out.points.empty()) {
    out = {};
    message = kEmgNoBandBins;
    return false;
  }
  out.epoch = c;
  out.epochSamples = p;
  const MeanSd a = meanSd(out.points, false);
  out.mean = a.mean;
  out.sd = a.sd;
  out.lines.push_back(std::string(kEmgMean) + number(a.mean) + kEmgSd + number(a.sd));
  return true;
}

void emgSwings(const std::int16_t* x, int L, std::vector<int>& amplitudes, std::vector<int>& durations) {
  amplitudes.clear();
  durations.clear();
  if (!x || L < 3) return;
  bool rising = x[1] > x[0];
  int t = 0;
  for (int j = 1; j + 1 < L; ++j) {
    if (std::abs(x[t] - x[j]) <= kSwingThreshold) continue;
    const bool turns = rising ? x[j + 1] < x[j] : x[j + 1] > x[j];
    if (!turns) continue;
    amplitudes.push_back(std::abs(x[j] - x[t]));
    durations.push_back(j - t);
    t = j;
    rising = !rising;
  }
}

bool emgSwingHistograms(const StudyState& s, int channel, EmgSwingHistograms& out, std::string& message) {
  out = {};
  if (channel < 0 || channel >= s.channelCount || !s.channelData[static_cast<std::size_t>(channel)] ||
      s.sampleRate <= 0) {
    message = kEmgBadChannel;
    return false;
  }
  emgSwings(s.channelData[static_cast<std::size_t>(channel)], s.recordLength, out.amplitudes, out.durations);
  const int n = static_cast<int>(out.amplitudes.size());
  if (n < 2) {
    message = kEmgTooFewSwings;
    return false;
  }
  const auto [aMin, aMax] = std::minmax_element(out.amplitudes.begin(), out.amplitudes.end());
  const auto [dMin, dMax] = std::minmax_element(out.durations.begin(), out.durations.end());
  int k = static_cast<int>(3.3 * std::log10(static_cast<double>(n)) + 1.5);
  k = std::min(k, *dMax - 1);
  if (*aMax == *aMin || *dMax == *dMin || k < 1) {
    message = kEmgEqualSwings;
    return false;
  }
  out.classes = k;
  out.amplitudeWidth = static_cast<double>(*aMax - *aMin) / k;
  out.durationWidth = static_cast<double>(*dMax - *dMin) / k;
  std::vector<int> ca(static_cast<std::size_t>(k) + 1, 0), cd(static_cast<std::size_t>(k) + 1, 0);
  for (int i = 0; i < n; ++i) {
    const auto classOf = [k](double v) { return std::clamp(static_cast<int>(std::trunc(v)), 0, k); };
    ++ca[static_cast<std::size_t>(classOf((out.amplitudes[static_cast<std::size_t>(i)] - *aMin) / out.amplitudeWidth))];
    ++cd[static_cast<std::size_t>(classOf((out.durations[static_cast<std::size_t>(i)] - *dMin) / out.durationWidth))];
  }
  double SA = 0, SD = 0;
  for (int c = 0; c < k; ++c) {
    SA += ca[static_cast<std::size_t>(c)];
    SD += cd[static_cast<std::size_t>(c)];
  }
  // both totals hold at least the smallest value, which lies in class 0
  const double cal = s.microvoltsPerCode(channel);
  const double fs = s.sampleRate;
  for (int c = 0; c < k; ++c) {
    out.amplitudePoints.emplace_back(std::trunc((out.amplitudeWidth * (c + 0.5) + *aMin) * cal),
                                     ca[static_cast<std::size_t>(c)] / SA * 100);
    out.durationPoints.emplace_back(std::trunc((out.durationWidth * (c + 0.5) + *dMin) / fs * 1000),
                                    cd[static_cast<std::size_t>(c)] / SD * 100);
  }
  return true;
}

int emgIntervalSpectra(StudyState& s, SpectralEngine& engine, std::string& message) {
  const int cursor = s.cursorPos, anchor = s.selectionAnchor, length = s.epochLength, step = s.epochStep,
            band = s.bandMode;
  int from = std::min(cursor, anchor), l = std::abs(anchor - cursor);
  if (anchor < 0 || l < kIntervalMin) {
    from = 0;
    l = s.recordLength;
  }
  l = std::min(l, kIntervalMax);
  s.cursorPos = from;
  s.selectionAnchor = from + l;
  s.epochLength = l;
  if (engine.intervalSpectrum(s) < 0) {
    s.cursorPos = cursor;
    s.selectionAnchor = anchor;
    s.epochLength = length;
    s.epochStep = step;
    s.bandMode = band;
    message = kEmgNoSpectra;
    return -1;
  }
  s.bandMode = 1;
  const int e = s.epochLength;
  return (e & (e - 1)) == 0 ? e / 2 : (e + 1) / 2;
}

}  // namespace velor
