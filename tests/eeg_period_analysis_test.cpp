// The wave scan of the period analysis and its summaries, on signals whose
// waves are known exactly.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "core/study_state.h"
#include "eeg/period_analysis.h"
#include "eeg/period_texts.h"

namespace velor {
namespace {

// A triangle wave through the given peaks (position, value), with a trough
// of value `base` half way between each pair of peaks and straight lines
// between; outside the peaks it falls by 5 a sample down to `base`.
std::vector<std::int16_t> trianglePeaks(int n, const std::vector<std::pair<int, int>>& peaks, int base = 0) {
  std::vector<std::pair<int, int>> knots;
  for (std::size_t i = 0; i < peaks.size(); ++i) {
    if (i > 0) knots.push_back({(peaks[i - 1].first + peaks[i].first) / 2, base});
    knots.push_back(peaks[i]);
  }
  std::vector<std::int16_t> x(static_cast<std::size_t>(n), 0);
  for (int i = 0; i < n; ++i) {
    if (i <= knots.front().first) {
      x[static_cast<std::size_t>(i)] =
          static_cast<std::int16_t>(std::max(base, knots.front().second - (knots.front().first - i) * 5));
      continue;
    }
    if (i >= knots.back().first) {
      x[static_cast<std::size_t>(i)] =
          static_cast<std::int16_t>(std::max(base, knots.back().second - (i - knots.back().first) * 5));
      continue;
    }
    for (std::size_t k = 1; k < knots.size(); ++k) {
      if (i <= knots[k].first) {
        const auto [a, va] = knots[k - 1];
        const auto [b, vb] = knots[k];
        x[static_cast<std::size_t>(i)] = static_cast<std::int16_t>(va + (vb - va) * (i - a) / (b - a));
        break;
      }
    }
  }
  return x;
}

std::vector<std::int16_t> sine(int n, double hz, int rate, double amplitude, double zero = 2048) {
  std::vector<std::int16_t> x(static_cast<std::size_t>(n));
  for (int i = 0; i < n; ++i)
    x[static_cast<std::size_t>(i)] =
        static_cast<std::int16_t>(std::lround(zero + amplitude * std::sin(2 * std::numbers::pi * hz * i / rate)));
  return x;
}

TEST(PeriodLimits, FromTheBandEdges) {
  PeriodLimits l;
  ASSERT_TRUE(periodLimits(250, 800, 1400, l));
  EXPECT_EQ(l.tMax, 31);  // 250 / 8 = 31.25
  EXPECT_EQ(l.tMin, 18);  // 250 / 14 = 17.86
  EXPECT_EQ(l.window(), 7);
  ASSERT_TRUE(periodLimits(250, 0, 400, l));
  EXPECT_EQ(l.tMax, 2500);  // a low edge of 0 counts as 0.1 Hz
  EXPECT_EQ(l.tMin, 63);
  ASSERT_TRUE(periodLimits(100, 5000, 5000, l));
  EXPECT_EQ(l.window(), 1);  // Tmax 2 still scans with a window of one sample
  // Degenerate bands leave the limits alone.
  const PeriodLimits before = l;
  EXPECT_FALSE(periodLimits(250, 0, 0, l));
  EXPECT_FALSE(periodLimits(250, 1400, 800, l));
  EXPECT_FALSE(periodLimits(0, 800, 1400, l));
  EXPECT_EQ(l.tMin, before.tMin);
  EXPECT_EQ(l.tMax, before.tMax);
}

TEST(PeriodLimits, BandEdgesFromTheTableInHundredths) {
  StudyState s;
  s.bandTable[0] = {"Альфа", "8", "13,5"};
  s.bandTable[1] = {"X", "abc", "4"};
  s.bandCount = 2;
  int lo = -1, hi = -1;
  ASSERT_TRUE(bandLimitsHundredths(s, 0, lo, hi));
  EXPECT_EQ(lo, 800);
  EXPECT_EQ(hi, 1350);
  EXPECT_FALSE(bandLimitsHundredths(s, 1, lo, hi));
  EXPECT_FALSE(bandLimitsHundredths(s, 2, lo, hi));
  EXPECT_FALSE(bandLimitsHundredths(s, -1, lo, hi));
}

TEST(Smoothing, EachSampleIsTheMeanOfTheUnsmoothedNeighbours) {
  // A running (recursive) mean would give 1 in the middle; the mean of the
  // values before the pass gives 2.
  std::vector<std::int16_t> x{0, 3, 0, 3, 0};
  smoothThreePoint(x.data(), 5);
  EXPECT_EQ(x, (std::vector<std::int16_t>{0, 1, 2, 1, 0}));
  std::vector<std::int16_t> y{10, 11, 11, 12};
  smoothThreePoint(y.data(), 4);  // 10.67 → 11, 11.33 → 11
  EXPECT_EQ(y, (std::vector<std::int16_t>{10, 11, 11, 12}));
  std::vector<std::int16_t> tiny{5, -5};
  smoothThreePoint(tiny.data(), 2);
  EXPECT_EQ(tiny, (std::vector<std::int16_t>{5, -5}));
}

TEST(WaveScan, FindsPeaksTroughsAmplitudesAndPeriods) {
  // Peaks every 10 samples with amplitudes 50, 80, 40, 90, 60 and then one
  // wave of 20 samples that breaks the run; Tmin 4, Tmax 12, w = 3.
  const auto x = trianglePeaks(120, {{10, 50}, {20, 80}, {30, 40}, {40, 90}, {50, 60}, {70, 70}, {80, 70}, {90, 70}});
  const PeriodLimits l{4, 12};
  const auto waves = scanWaves(x.data(), 120, l);
  ASSERT_EQ(waves.size(), 7u);
  EXPECT_EQ(waves[0].prevPeakPos, 10);
  EXPECT_EQ(waves[0].prevPeakValue, 50);
  EXPECT_EQ(waves[0].troughPos, 15);
  EXPECT_EQ(waves[0].troughValue, 0);
  EXPECT_EQ(waves[0].peakPos, 20);
  EXPECT_EQ(waves[0].peakValue, 80);
  EXPECT_EQ(waves[0].amplitude, 80);
  EXPECT_EQ(waves[0].period, 10);
  EXPECT_EQ(waves[4].period, 20);
  EXPECT_EQ(waves[4].troughPos, 60);
  EXPECT_FALSE(waves[4].accepted);
  // The run before the long wave has 4 waves (rhythm); the one after has 2.
  for (int i = 0; i < 4; ++i) EXPECT_TRUE(waves[static_cast<std::size_t>(i)].inRhythm) << i;
  EXPECT_FALSE(waves[4].inRhythm);
  EXPECT_TRUE(waves[5].accepted);
  EXPECT_FALSE(waves[5].inRhythm);
  EXPECT_FALSE(waves[6].inRhythm);

  const PeriodSummary r = summarisePeriods(waves, 120, l, 100, 2.0);
  EXPECT_EQ(r.waveCount, 7);
  EXPECT_EQ(r.acceptedCount, 6);
  EXPECT_EQ(r.rhythmWaves, 4);
  EXPECT_EQ(r.rhythmSamples, 40);
  EXPECT_EQ(r.rhythmPercent, 33);  // 40 / 120
  // Amplitudes in the run 80, 40, 90, 60: both inner ones are extremes.
  EXPECT_EQ(r.extremes, 2);
  EXPECT_EQ(r.modulationPercent, 50);
  EXPECT_DOUBLE_EQ(r.instabilitySamples, 0.0);
  EXPECT_TRUE(r.rhythmFound());
}

TEST(WaveScan, ScanStopsBeforeTheLastThreeWindows) {
  const auto x = trianglePeaks(60, {{10, 50}, {20, 50}, {30, 50}, {40, 50}, {50, 50}});
  const auto waves = scanWaves(x.data(), 60, PeriodLimits{4, 12});
  // The stop is 60 − 3·3 − 1 = 50: the peak at 50 is not reached.
  ASSERT_EQ(waves.size(), 3u);
  EXPECT_EQ(waves.back().peakPos, 40);
  const PeriodSummary r = summarisePeriods(waves, 60, PeriodLimits{4, 12}, 100, 1.0);
  EXPECT_EQ(r.rhythmPercent, 50);
  EXPECT_EQ(r.modulationPercent, 0);
}

TEST(WaveScan, DegenerateInputFindsNothing) {
  const std::vector<std::int16_t> flat(2000, 2048);
  PeriodLimits l;
  ASSERT_TRUE(periodLimits(250, 800, 1400, l));
  std::vector<PeriodWave> waves{PeriodWave{}};
  const PeriodSummary r = periodAnalysis(flat.data(), 2000, l, 250, 1.0, &waves);
  EXPECT_TRUE(waves.empty());
  EXPECT_FALSE(r.rhythmFound());
  EXPECT_EQ(r.modulationPercent, 0);
  EXPECT_TRUE(r.amplitudes.percent.empty());
  EXPECT_EQ(periodSummaryLine(r), period_text::kNoRhythm);
  // A window longer than the record, and an empty record.
  ASSERT_TRUE(periodLimits(250, 0, 400, l));
  const auto s = sine(500, 1, 250, 100);
  EXPECT_TRUE(scanWaves(s.data(), 500, l).empty());
  EXPECT_TRUE(scanWaves(s.data(), 0, l).empty());
  const ChannelPeriodRow row = channelPeriodRow(flat.data(), 2000, PeriodLimits{18, 31}, 250, 1.0, "O1");
  EXPECT_FALSE(row.valid);
  EXPECT_EQ(row.frequency, 0.0);
}

TEST(PeriodAnalysis, SteadySineIsOneRhythmWithoutModulationOrInstability) {
  const int rate = 250, n = 2500;
  const auto x = sine(n, 10, rate, 200);
  PeriodLimits l;
  ASSERT_TRUE(periodLimits(rate, 800, 1400, l));
  std::vector<PeriodWave> waves;
  const PeriodSummary r = periodAnalysis(x.data(), n, l, rate, 0.5, &waves);
  ASSERT_GT(waves.size(), 90u);
  // The first peak is a tie of two equal samples found from the left, so
  // only the first period may be a sample short.
  EXPECT_NEAR(waves[0].period, 25, 1);
  for (std::size_t i = 1; i < waves.size(); ++i) EXPECT_EQ(waves[i].period, 25) << i;
  for (const auto& w : waves) EXPECT_TRUE(w.inRhythm);
  EXPECT_GE(r.rhythmPercent, 95);
  EXPECT_EQ(r.modulationPercent, 0);
  EXPECT_EQ(r.instabilitySeconds, 0.0);
  // Every amplitude is the same: one full class; every period 0.1 s.
  EXPECT_NEAR(r.amplitudes.mean, waves[0].amplitude * 0.5, 1e-9);
  EXPECT_NEAR(r.amplitudes.deviation, 0.0, 1e-9);
  ASSERT_EQ(r.periods.percent.size(), 32u);
  EXPECT_NEAR(std::accumulate(r.periods.percent.begin(), r.periods.percent.end(), 0.0), 100.0, 1e-9);
  EXPECT_NEAR(r.periods.mean, 0.1, (31 - 18) / 250.0 / 32);
  EXPECT_EQ(periodSummaryLine(r), std::string(period_text::kRhythmFound) + std::to_string(r.rhythmPercent) +
                                      period_text::kModulation + "0" + period_text::kInstability + "0" +
                                      period_text::kSecondsUnit);
}

TEST(PeriodAnalysis, JitteredRhythmHasInstabilityAndAmplitudeClasses) {
  // Periods alternating 20 and 30 samples: |Δ| = 10 every time.
  std::vector<std::pair<int, int>> peaks;
  std::mt19937 rng(7);
  std::uniform_int_distribution<int> amp(300, 900);
  int pos = 40;
  for (int i = 0; i < 60; ++i) {
    peaks.push_back({pos, amp(rng)});
    pos += i % 2 ? 30 : 20;
  }
  const int n = pos + 200;
  auto x = trianglePeaks(n, peaks);
  PeriodLimits l{18, 31};
  const std::vector<PeriodWave> waves = scanWaves(x.data(), n, l);
  const PeriodSummary r = summarisePeriods(waves, n, l, 250, 1.0);
  ASSERT_GE(waves.size(), 50u);
  EXPECT_NEAR(r.instabilitySamples, 10 - 0.16, 1e-9);
  EXPECT_NEAR(r.instabilitySeconds, (10 - 0.16) / 250, 1e-12);
  const int k = static_cast<int>(std::trunc(3.3 * std::log10(static_cast<double>(r.acceptedCount)) + 1.5));
  EXPECT_EQ(static_cast<int>(r.amplitudes.percent.size()), k);
  EXPECT_NEAR(std::accumulate(r.amplitudes.percent.begin(), r.amplitudes.percent.end(), 0.0), 100.0, 1e-9);
  // The two periods fall in the classes of 0.08 s and 0.12 s.
  double share20 = 0, share30 = 0;
  for (std::size_t c = 0; c < 32; ++c) {
    if (r.periods.percent[c] == 0) continue;
    if (std::abs(r.periods.centre[c] - 0.08) < 0.003) share20 += r.periods.percent[c];
    if (std::abs(r.periods.centre[c] - 0.12) < 0.003) share30 += r.periods.percent[c];
  }
  EXPECT_NEAR(share20 + share30, 100.0, 1e-9);
  EXPECT_NEAR(share20, 50.0, 2.0);
}

TEST(AllChannels, SumsOfATriangleRhythm) {
  // Symmetric triangles of 40 codes every 25 samples at 250 Hz: the area
  // over the period is the peak height, rise equals fall, periods never change.
  std::vector<std::pair<int, int>> peaks;
  for (int p = 30; p < 2400; p += 25) peaks.push_back({p, 2048 + 40});
  const auto x = trianglePeaks(2500, peaks, 2048);
  const ChannelPeriodRow row = channelPeriodRow(x.data(), 2500, PeriodLimits{18, 31}, 250, 0.5, "O1");
  ASSERT_TRUE(row.valid);
  EXPECT_NEAR(row.frequency, 10.0, 1e-9);
  EXPECT_NEAR(row.frequencyBelow, 0.0, 1e-9);
  EXPECT_NEAR(row.frequencyAbove, 0.0, 1e-9);
  EXPECT_NEAR(row.periodChangeSeconds, 0.0, 1e-12);
  EXPECT_NEAR(row.riseMinusFallSeconds, 0.0, 1.0 / 250);
  EXPECT_GT(row.amplitude, 0.0);
  EXPECT_LT(row.amplitudeDeviation, 0.05 * row.amplitude);
  EXPECT_GE(row.rhythmPercent, 90);
  const std::string line = channelPeriodLine(row);
  EXPECT_EQ(line.rfind("O1 ", 0), 0u);
  EXPECT_EQ(line.find(','), std::string::npos);
}

TEST(WaveScan, RandomSignalsKeepEveryWaveInsideTheRecord) {
  std::mt19937 rng(11);
  for (int round = 0; round < 300; ++round) {
    const int n = std::uniform_int_distribution<int>(0, 3000)(rng);
    std::vector<std::int16_t> x(static_cast<std::size_t>(n));
    const int spread = std::uniform_int_distribution<int>(0, 32767)(rng);
    for (auto& v : x) v = static_cast<std::int16_t>(std::uniform_int_distribution<int>(-spread, spread)(rng) / 2);
    PeriodLimits l;
    l.tMin = std::uniform_int_distribution<int>(0, 50)(rng);
    l.tMax = l.tMin + std::uniform_int_distribution<int>(0, round % 3 == 0 ? 100000 : 200)(rng);
    std::vector<PeriodWave> waves;
    const PeriodSummary r = periodAnalysis(x.data(), n, l, 250, 0.1, &waves);
    const int w = l.window();
    int previous = -1;
    for (const PeriodWave& wave : waves) {
      ASSERT_GE(wave.prevPeakPos, 0);
      ASSERT_LT(wave.peakPos, n);
      ASSERT_GT(wave.peakPos, wave.prevPeakPos);
      ASSERT_GE(wave.troughPos, wave.prevPeakPos);
      ASSERT_LE(wave.troughPos, wave.peakPos);
      ASSERT_EQ(wave.period, wave.peakPos - wave.prevPeakPos);
      ASSERT_GE(wave.amplitude, 0);
      ASSERT_GE(wave.period, w);  // the next search starts w samples after a peak
      if (previous >= 0) {
        ASSERT_EQ(wave.prevPeakPos, previous);
      }
      previous = wave.peakPos;
    }
    EXPECT_GE(r.rhythmPercent, 0);
    EXPECT_LE(r.rhythmPercent, 100);
    EXPECT_GE(r.modulationPercent, 0);
    EXPECT_LE(r.modulationPercent, 100);
    EXPECT_GE(r.instabilitySamples, 0.0);
    if (r.acceptedCount > 0) {
      double sum = 0;
      for (double p : r.amplitudes.percent) sum += p;
      EXPECT_NEAR(sum, 100.0, 1e-9);
    }
    const ChannelPeriodRow row = channelPeriodRow(x.data(), n, l, 250, 0.1, "X");
    EXPECT_TRUE(std::isfinite(row.frequency) && std::isfinite(row.frequencyAbove) && std::isfinite(row.amplitude));
  }
}

}  // namespace
}  // namespace velor
