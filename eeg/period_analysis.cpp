#include "eeg/period_analysis.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>

#include "core/numtext.h"
#include "eeg/period_texts.h"

namespace velor {

namespace {

int roundHalfUp(double v) {
  // Callers pass finite values well inside the int range (percentages).
  return static_cast<int>(std::trunc(v + 0.5));
}

// Histogram of `values` over [lo, hi] with `classes` classes of width
// (hi − lo) / classes; a zero width puts everything into the first class.
PeriodHistogram histogram(const std::vector<double>& values, double lo, double hi, int classes) {
  PeriodHistogram h;
  if (values.empty() || classes < 1) return h;
  const double width = (hi - lo) / classes;
  std::vector<int> count(static_cast<std::size_t>(classes), 0);
  for (double v : values) {
    int k = 0;
    if (width > 0) {
      const double c = std::floor((v - lo) / width);
      k = c < 0 ? 0 : (c >= classes ? classes - 1 : static_cast<int>(c));
    }
    ++count[static_cast<std::size_t>(k)];
  }
  const double n = static_cast<double>(values.size());
  double sum = 0, sum2 = 0;
  for (int k = 0; k < classes; ++k) {
    const double centre = lo + (k + 0.5) * width;
    const double c = count[static_cast<std::size_t>(k)];
    h.centre.push_back(centre);
    h.percent.push_back(c / n * 100.0);
    sum += c * centre;
    sum2 += c * centre * centre;
  }
  h.mean = sum / n;
  h.deviation = std::sqrt(std::max(0.0, sum2 / n - h.mean * h.mean));
  return h;
}

}  // namespace

bool periodLimits(int sampleRate, int lowHundredths, int highHundredths, PeriodLimits& out) {
  if (sampleRate <= 0 || highHundredths <= 0 || lowHundredths < 0 || highHundredths < lowHundredths) return false;
  const double low = lowHundredths / 100.0;
  const double high = highHundredths / 100.0;
  const double tMax = low > 0 ? std::trunc(sampleRate / low + 0.5) : std::trunc(sampleRate / 0.1);
  const double tMin = std::trunc(sampleRate / high + 0.5);
  if (!(tMax <= std::numeric_limits<int>::max() / 4) || !(tMin >= 0)) return false;
  out.tMin = static_cast<int>(tMin);
  out.tMax = static_cast<int>(tMax);
  return true;
}

bool bandLimitsHundredths(const StudyState& s, int band, int& lowHundredths, int& highHundredths) {
  if (band < 0 || band >= s.bandCount || band >= kBandRows) return false;
  const BandRow& row = s.bandTable[static_cast<std::size_t>(band)];
  const auto low = parseNumber(row.low);
  const auto high = parseNumber(row.high);
  if (!low || !high || *low < 0 || *high < 0 || *low >= 1e5 || *high >= 1e5) return false;
  lowHundredths = static_cast<int>(std::trunc(100.0 * *low + 0.5));
  highHundredths = static_cast<int>(std::trunc(100.0 * *high + 0.5));
  return true;
}

void smoothThreePoint(std::int16_t* x, int n) {
  if (n < 3) return;
  int before = x[0];  // x[i − 1] as it was before this pass
  for (int i = 1; i <= n - 2; ++i) {
    const int current = x[i];
    const double mean = (before + current + x[i + 1]) / 3.0;
    before = current;
    x[i] = static_cast<std::int16_t>(std::trunc(mean + 0.5));
  }
}

std::vector<PeriodWave> scanWaves(const std::int16_t* x, int n, const PeriodLimits& limits) {
  std::vector<PeriodWave> waves;
  const int w = limits.window();
  // The last candidate must leave room for f + w and the next peak search;
  // 64-bit arithmetic keeps a huge window from overflowing the limit.
  const long long stop = static_cast<long long>(n) - 3LL * w - 1;
  bool havePeak = false;
  int prevPos = 0;
  int prevValue = 0;
  long long f = w;
  while (f < stop) {
    const int fi = static_cast<int>(f);
    if (!(x[fi - w] < x[fi] && x[fi + w] < x[fi])) {
      ++f;
      continue;
    }
    int peak = fi;
    for (int i = fi + 1; i <= fi + w; ++i)
      if (x[i] > x[peak]) peak = i;
    if (havePeak) {
      int trough = prevPos;
      for (int i = prevPos + 1; i <= peak; ++i)
        if (x[i] < x[trough]) trough = i;
      PeriodWave wv;
      wv.prevPeakPos = prevPos;
      wv.prevPeakValue = prevValue;
      wv.troughPos = trough;
      wv.troughValue = x[trough];
      wv.peakPos = peak;
      wv.peakValue = x[peak];
      wv.amplitude = wv.peakValue - wv.troughValue;
      wv.period = peak - prevPos;
      wv.accepted = wv.period >= limits.tMin && wv.period <= limits.tMax;
      waves.push_back(wv);
    }
    havePeak = true;
    prevPos = peak;
    prevValue = x[peak];
    f = static_cast<long long>(peak) + w;
  }
  markRhythmRuns(waves);
  return waves;
}

void markRhythmRuns(std::vector<PeriodWave>& waves) {
  for (auto& w : waves) w.inRhythm = false;
  std::size_t i = 0;
  while (i < waves.size()) {
    if (!waves[i].accepted) {
      ++i;
      continue;
    }
    std::size_t j = i;
    while (j < waves.size() && waves[j].accepted) ++j;
    if (j - i >= 3)
      for (std::size_t k = i; k < j; ++k) waves[k].inRhythm = true;
    i = j;
  }
}

PeriodSummary summarisePeriods(const std::vector<PeriodWave>& waves, int n, const PeriodLimits& limits,
                               int sampleRate, double microvoltsPerCode) {
  PeriodSummary r;
  r.waveCount = static_cast<int>(waves.size());
  std::vector<double> amplitudes, periods;
  double diffSum = 0;
  int diffCount = 0;
  for (std::size_t i = 0; i < waves.size(); ++i) {
    const PeriodWave& w = waves[i];
    if (w.accepted) {
      ++r.acceptedCount;
      amplitudes.push_back(w.amplitude * microvoltsPerCode);
      periods.push_back(sampleRate > 0 ? static_cast<double>(w.period) / sampleRate : 0.0);
    }
    if (!w.inRhythm) continue;
    ++r.rhythmWaves;
    r.rhythmSamples += w.period;
    const bool hasBefore = i > 0 && waves[i - 1].inRhythm;
    const bool hasAfter = i + 1 < waves.size() && waves[i + 1].inRhythm;
    // A run is a maximal block of accepted waves, so two neighbours in
    // rhythm belong to the same run as this wave.
    if (hasBefore) {
      diffSum += std::abs(w.period - waves[i - 1].period);
      ++diffCount;
    }
    if (hasBefore && hasAfter) {
      const int a = waves[i - 1].amplitude, b = w.amplitude, c = waves[i + 1].amplitude;
      if ((b > a && b > c) || (b < a && b < c)) ++r.extremes;
    }
  }
  if (n > 0) r.rhythmPercent = roundHalfUp(static_cast<double>(r.rhythmSamples) / n * 100.0);
  if (r.rhythmWaves > 0) r.modulationPercent = roundHalfUp(static_cast<double>(r.extremes) / r.rhythmWaves * 100.0);
  if (diffCount > 0) {
    // The 0.16 samples take off the jitter that integer peak positions
    // alone produce; a perfectly steady rhythm reads 0, never below.
    r.instabilitySamples = std::max(0.0, diffSum / diffCount - 0.16);
    if (sampleRate > 0) r.instabilitySeconds = r.instabilitySamples / sampleRate;
  }
  if (!amplitudes.empty()) {
    const auto [mn, mx] = std::minmax_element(amplitudes.begin(), amplitudes.end());
    const double count = static_cast<double>(amplitudes.size());
    const int k = std::max(1, static_cast<int>(std::trunc(3.3 * std::log10(count) + 1.5)));
    r.amplitudes = histogram(amplitudes, *mn, *mx, k);
    const double lo = sampleRate > 0 ? static_cast<double>(limits.tMin) / sampleRate : 0.0;
    const double hi = sampleRate > 0 ? static_cast<double>(limits.tMax) / sampleRate : 0.0;
    r.periods = histogram(periods, lo, hi, 32);
  }
  return r;
}

PeriodSummary periodAnalysis(const std::int16_t* x, int n, const PeriodLimits& limits, int sampleRate,
                             double microvoltsPerCode, std::vector<PeriodWave>* wavesOut) {
  std::vector<std::int16_t> copy(x, x + std::max(0, n));
  smoothThreePoint(copy.data(), n);
  smoothThreePoint(copy.data(), n);
  std::vector<PeriodWave> waves = scanWaves(copy.data(), n, limits);
  PeriodSummary r = summarisePeriods(waves, n, limits, sampleRate, microvoltsPerCode);
  if (wavesOut) *wavesOut = std::move(waves);
  return r;
}

std::string periodSummaryLine(const PeriodSummary& summary) {
  if (!summary.rhythmFound()) return period_text::kNoRhythm;
  return std::string(period_text::kRhythmFound) + std::to_string(summary.rhythmPercent) + period_text::kModulation +
         std::to_string(summary.modulationPercent) + period_text::kInstability +
         formatNumber(summary.instabilitySeconds) + period_text::kSecondsUnit;
}

ChannelPeriodRow channelPeriodRow(const std::int16_t* x, int n, const PeriodLimits& limits, int sampleRate,
                                  double microvoltsPerCode, const std::string& name) {
  ChannelPeriodRow row;
  row.name = name;
  std::vector<PeriodWave> waves;
  periodAnalysis(x, n, limits, sampleRate, microvoltsPerCode, &waves);
  double sumR = 0, sumO = 0, sumOR2 = 0, sumR2 = 0, sumRise = 0, sumFall = 0, sumDR = 0;
  int count = 0;
  int previousR = -1;
  for (const PeriodWave& w : waves) {
    if (!w.accepted) continue;
    const double a = w.prevPeakPos, b = w.troughPos, c = w.peakPos;
    const double R = c - a;
    const double O = (static_cast<double>(w.prevPeakValue) - w.troughValue) * (b - a) +
                     (static_cast<double>(w.peakValue) - w.troughValue) * (c - b);
    sumR += R;
    sumO += O;
    sumOR2 += (O / R) * (O / R);  // R ≥ 1: peaks are distinct samples
    sumR2 += R * R;
    sumRise += c - b;
    sumFall += b - a;
    if (previousR >= 0) sumDR += std::abs(R - previousR);
    previousR = static_cast<int>(R);
    ++count;
  }
  row.accepted = count;
  if (count < 2 || sampleRate <= 0 || n <= 0) return row;
  row.valid = true;
  const double meanO = sumO / sumR;
  row.amplitude = meanO * microvoltsPerCode;
  row.amplitudeDeviation = std::sqrt(std::max(0.0, sumOR2 / count - meanO * meanO)) * microvoltsPerCode;
  const double meanR = sumR / count;
  const double sigma = std::sqrt(std::max(0.0, sumR2 / count - meanR * meanR));
  row.frequency = sampleRate / meanR;
  row.frequencyBelow = row.frequency - sampleRate / (meanR + sigma);
  // Periods that scatter more than their mean leave no upper frequency.
  row.frequencyAbove = meanR - sigma > 0 ? sampleRate / (meanR - sigma) - row.frequency : 0.0;
  row.rhythmPercent = roundHalfUp(sumR / n * 100.0);
  row.riseMinusFallSeconds = (sumRise - sumFall) / sampleRate / count;
  row.riseMinusFallPercent = (sumRise - sumFall) / sumR * 100.0;
  row.periodChangeSeconds = sumDR / sampleRate / (count - 1);
  row.periodChangePercent = sumDR / sumR * 100.0;
  return row;
}

std::string channelPeriodLine(const ChannelPeriodRow& row) {
  auto twoDecimals = [](double v) {
    // to_chars: a point whatever locale the process runs in.
    char buf[64];
    const auto res = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, 2);
    return res.ec == std::errc() ? std::string(buf, res.ptr) : formatNumber(v);
  };
  std::string line = row.name;
  line += ' ' + formatNumber(row.amplitude);
  line += ' ' + formatNumber(row.amplitudeDeviation);
  line += ' ' + formatNumber(row.frequency);
  line += ' ' + formatNumber(row.frequencyBelow);
  line += ' ' + formatNumber(row.frequencyAbove);
  line += ' ' + std::to_string(row.rhythmPercent);
  line += ' ' + formatNumber(row.riseMinusFallSeconds);
  line += ' ' + twoDecimals(row.riseMinusFallPercent);
  line += ' ' + formatNumber(row.periodChangeSeconds);
  line += ' ' + twoDecimals(row.periodChangePercent);
  return line;
}

}  // namespace velor
