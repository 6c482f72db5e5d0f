// FFT filters: segment lengths and starts, which bins each filter zeroes or
// weights, the round trip through the transform, and what the filters do to
// signals (a band removed or kept, long records joined without steps,
// channels outside the range and degenerate input left alone).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <random>
#include <set>
#include <vector>

#include "core/study_state.h"
#include "eeg/fft_filter.h"
#include "eeg/spectral.h"

namespace {

using namespace velor;
constexpr double kPi = std::numbers::pi;

// Amplitude of the cosine at `hz` in x (sampled at `rate`), by a plain DFT
// over the whole trace, around the trace's mean.
double amplitudeAt(const std::int16_t* x, int n, double hz, double rate) {
  double mean = 0;
  for (int i = 0; i < n; ++i) mean += x[i];
  mean /= n;
  double re = 0, im = 0;
  for (int i = 0; i < n; ++i) {
    const double a = 2 * kPi * hz * i / rate;
    re += (x[i] - mean) * std::cos(a);
    im += (x[i] - mean) * std::sin(a);
  }
  return 2.0 / n * std::hypot(re, im);
}

// Fills channel c with zero + Σ amplitude × cos(2π f t) over the record.
void fillCosines(StudyState& s, int c, std::vector<std::pair<double, double>> hzAmplitude, double offset = 0) {
  std::int16_t* x = s.channel(c);
  for (int i = 0; i < s.recordLength; ++i) {
    double v = s.zeroLevel[c] + offset;
    for (const auto& [hz, a] : hzAmplitude) v += a * std::cos(2 * kPi * hz * i / s.sampleRate);
    x[i] = static_cast<std::int16_t>(std::lround(v));
  }
}

std::vector<std::int16_t> channelCopy(StudyState& s, int c, int n) {
  return std::vector<std::int16_t>(s.channel(c), s.channel(c) + n);
}

// Sets up a transform of size h in fhtWork and then fills every bin with `v`,
// so an edit shows directly which bins it zeroed or weighted.
void flatSpectrum(SpectralEngine& e, int h, std::int16_t v) {
  std::fill(e.fhtWork(), e.fhtWork() + h, std::int16_t{1});
  e.fhtTransform(h);
  ASSERT_EQ(e.fhtSize(), h);
  std::fill(e.fhtWork(), e.fhtWork() + h, v);
}

std::vector<int> segmentStarts(int length, int h) {
  std::vector<int> starts;
  for (int o = 0; o >= 0 && starts.size() < 100; o = fftNextSegment(o, length, h)) starts.push_back(o);
  return starts;
}

TEST(FftFilterSegments, LengthByKindAndRecordLength) {
  struct Case {
    FftFilterKind kind;
    int recordLength;
    int h;
  };
  const Case cases[] = {
      {FftFilterKind::kBandStop, 1000, 1024},  // mirrored out to 1024
      {FftFilterKind::kBandStop, 1024, 2048},  // a power of two still doubles
      {FftFilterKind::kBandPass, 8191, 8192},  {FftFilterKind::kBandPass, 8192, 8192},
      {FftFilterKind::kBandStop, 20000, 8192}, {FftFilterKind::kBandStop, kMaxSamples, 8192},
      {FftFilterKind::kBandPass, 2, 4},        {FftFilterKind::kGauss, 1000, 512},
      {FftFilterKind::kGauss, 20000, 8192},    {FftFilterKind::kGauss, 2, 2},
      {FftFilterKind::kBandStop, 1, 0},        {FftFilterKind::kGauss, 0, 0},
  };
  for (const Case& c : cases)
    EXPECT_EQ(fftSegmentLength(c.kind, c.recordLength), c.h) << static_cast<int>(c.kind) << " " << c.recordLength;
}

TEST(FftFilterSegments, StartsOverlapBy16AndTheLastEndsAtTheRecordEnd) {
  EXPECT_EQ(segmentStarts(20000, 8192), (std::vector<int>{0, 8176, 11808}));
  EXPECT_EQ(segmentStarts(8192, 8192), (std::vector<int>{0}));
  EXPECT_EQ(segmentStarts(8200, 8192), (std::vector<int>{0, 8}));
  EXPECT_EQ(segmentStarts(16368, 8192), (std::vector<int>{0, 8176}));
  EXPECT_EQ(segmentStarts(kMaxSamples, 8192), (std::vector<int>{0, 8176, 16352, 24528, 24575}));
  // Gaussian segments of short records still advance (the overlap stays
  // below half a segment) and end at the record's end.
  EXPECT_EQ(segmentStarts(1000, 512), (std::vector<int>{0, 488}));
  EXPECT_EQ(segmentStarts(20, 16), (std::vector<int>{0, 4}));
  EXPECT_EQ(segmentStarts(5, 4), (std::vector<int>{0, 1}));
}

TEST(FftFilterBins, EachFilterZeroesOrWeightsTheListedBins) {
  struct Case {
    const char* what;
    FftFilterKind kind;
    int h;
    double low, high;
    std::vector<std::pair<int, int>> zeroed;  // inclusive bin ranges set to 0, all others kept
  };
  const Case cases[] = {
      // Only the constant part and bin h/2 survive.
      {"band-stop 0..0.5", FftFilterKind::kBandStop, 1024, 0, 0.5, {{1, 511}, {513, 1023}}},
      {"band-pass 8..13 Hz at 128 Hz", FftFilterKind::kBandPass, 1024, 8.0 / 128, 13.0 / 128,
       {{1, 63}, {104, 511}, {513, 920}, {961, 1023}}},
      // A low-pass at 0.25: bins 512 .. h/2 − 1 with mirrors; bin h/2 stays, as in the band-stop over everything.
      {"low-pass", FftFilterKind::kBandStop, 2048, 0.25, 0.5, {{512, 1023}, {1025, 1536}}},
      // Below one bin the band-stop still takes bin 1 (a high-pass).
      {"high-pass", FftFilterKind::kBandStop, 1024, 0, 4.0 / 1024, {{1, 3}, {1021, 1023}}},
      // A band below bin 1 takes the constant part only.
      {"below bin 1", FftFilterKind::kBandStop, 1024, 0, 0.0005, {{0, 0}}},
  };
  SpectralEngine e;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    flatSpectrum(e, c.h, 1000);
    EXPECT_TRUE(fftEditSpectrum(e, c.kind, c.low, c.high));
    const std::int16_t* x = e.fhtWork();
    for (int k = 0; k < c.h; ++k) {
      const bool zero = std::any_of(c.zeroed.begin(), c.zeroed.end(),
                                    [k](const auto& r) { return k >= r.first && k <= r.second; });
      ASSERT_EQ(x[k], zero ? 0 : 1000) << "bin " << k;
    }
  }
}

TEST(FftFilterBins, GaussianIsHalfAtTheEdgesAndOneAtTheCentre) {
  SpectralEngine e;
  const int h = 1024;
  flatSpectrum(e, h, 10000);
  ASSERT_TRUE(fftEditSpectrum(e, FftFilterKind::kGauss, 8.0 / 128, 13.0 / 128));  // bins 64..104
  const std::int16_t* x = e.fhtWork();
  EXPECT_EQ(x[64], 5000);
  EXPECT_EQ(x[104], 5000);
  EXPECT_EQ(x[84], 10000);
  EXPECT_EQ(x[h - 64], 5000);  // mirrors take the same factor
  EXPECT_EQ(x[h - 104], 5000);
  EXPECT_EQ(x[h - 84], 10000);
  // Symmetric around the centre, falling off towards both sides, and gone far away.
  for (int d = 1; d <= 20; ++d) {
    EXPECT_EQ(x[84 - d], x[84 + d]) << d;
    EXPECT_LT(x[84 + d], x[84 + d - 1]) << d;
  }
  EXPECT_EQ(x[0], 0);
  EXPECT_EQ(x[200], 0);
  EXPECT_EQ(x[h / 2], 0);
}

TEST(FftFilterBins, EmptyBandsChangeNothing) {
  SpectralEngine e;
  struct Case {
    FftFilterKind kind;
    double low, high;
  };
  // A band-stop of no width, a band-pass over everything, a Gaussian of no width.
  const Case cases[] = {{FftFilterKind::kBandStop, 0.2, 0.2},
                        {FftFilterKind::kBandPass, 0, 0.5},
                        {FftFilterKind::kGauss, 0.1, 0.1}};
  for (const Case& c : cases) {
    flatSpectrum(e, 256, 777);
    EXPECT_FALSE(fftEditSpectrum(e, c.kind, c.low, c.high));
    EXPECT_TRUE(std::all_of(e.fhtWork(), e.fhtWork() + 256, [](std::int16_t v) { return v == 777; }));
  }
}

TEST(FftFilterTransform, ZeroBinsTakesTheMirrorsAndStaysInsideTheTransform) {
  SpectralEngine e;
  flatSpectrum(e, 16, 5);
  e.fhtWork()[16] = 99;  // past the transform
  zeroBins(e, 0, 3);     // bins 0, 1, 2 and mirrors 14, 15 (bin 0 is its own)
  zeroBins(e, 7, 10);    // 7, 8 (bins above N/2 are nobody's): mirrors 8, 9
  const std::vector<std::int16_t> got(e.fhtWork(), e.fhtWork() + 17);
  EXPECT_EQ(got, (std::vector<std::int16_t>{0, 0, 0, 5, 5, 5, 5, 0, 0, 0, 5, 5, 5, 5, 0, 0, 99}));
}

TEST(FftFilterTransform, InverseRestoresTheSignalUpToRounding) {
  // Zero-centred samples, as the filters hand them over: 12-bit codes and the
  // whole 16-bit range. The products of both transforms are rounded down, so
  // the error grows with the halvings the transforms need.
  SpectralEngine e;
  std::mt19937 rng(7);
  for (int n = 2; n <= kFhtMaxSize; n *= 2) {
    for (int range : {2047, 32767}) {
      std::uniform_int_distribution<int> dist(-range - 1, range);
      std::vector<std::int16_t> x(static_cast<std::size_t>(n));
      for (auto& v : x) v = static_cast<std::int16_t>(dist(rng));
      std::copy(x.begin(), x.end(), e.fhtWork());
      e.fhtTransform(n);
      inverseTransform(e);
      int worst = 0;
      double squares = 0;
      for (int i = 0; i < n; ++i) {
        const int d = e.fhtWork()[i] - x[static_cast<std::size_t>(i)];
        worst = std::max(worst, std::abs(d));
        squares += static_cast<double>(d) * d;
      }
      EXPECT_LE(worst, range == 2047 ? 64 : 1024) << "n " << n;
      EXPECT_LE(std::sqrt(squares / n), range == 2047 ? 4 : 64) << "n " << n;
    }
  }
}

// --- filters on records ------------------------------------------------------------

struct RemoveKeepCase {
  const char* what;
  int length;
  void (*filter)(SpectralEngine&, StudyState&, int, int, double, double);
  double first, second;  // as the filter takes them
  bool keeps10, keeps50;
};

TEST(FftFilterRecord, RemovesOrKeepsBandsOf10And50HzCosines) {
  const double rate = 250;
  const RemoveKeepCase cases[] = {
      {"band-stop 45..55 Hz", 2500, fftBandStop, 55 / rate, 45 / rate, true, false},
      {"band-stop 45..55 Hz, long record", 20000, fftBandStop, 55 / rate, 45 / rate, true, false},
      {"low-pass 30 Hz", 2500, fftBandStop, 0.5, 30 / rate, true, false},
      {"high-pass 30 Hz", 2500, fftBandStop, 30 / rate, 0, false, true},
      {"band-pass 5..15 Hz", 2500, fftBandPass, 15 / rate, 5 / rate, true, false},
      {"band-pass 40..60 Hz, long record", 20000, fftBandPass, 60 / rate, 40 / rate, false, true},
      {"Gaussian 7..13 Hz", 2500, fftGauss, 13 / rate, 7 / rate, true, false},
      {"Gaussian 40..60 Hz, long record", 20000, fftGauss, 60 / rate, 40 / rate, false, true},
  };
  SpectralEngine e;
  StudyState s;
  s.sampleRate = 250;
  s.channelCount = 1;
  for (const RemoveKeepCase& c : cases) {
    SCOPED_TRACE(c.what);
    s.recordLength = c.length;
    fillCosines(s, 0, {{10, 400}, {50, 300}}, 150);
    c.filter(e, s, 0, 0, c.first, c.second);
    const double a10 = amplitudeAt(s.channel(0), c.length, 10, rate);
    const double a50 = amplitudeAt(s.channel(0), c.length, 50, rate);
    if (c.keeps10)
      EXPECT_NEAR(a10, 400, 400 * 0.03);
    else
      EXPECT_LT(a10, 400 * 0.02);
    if (c.keeps50)
      EXPECT_NEAR(a50, 300, 300 * 0.03);
    else
      EXPECT_LT(a50, 300 * 0.02);
    // The offset is gone: the result sits on the zero level.
    double mean = 0;
    for (int i = 0; i < c.length; ++i) mean += s.channel(0)[i];
    EXPECT_NEAR(mean / c.length, s.zeroLevel[0], 2.0);
    EXPECT_EQ(s.recordLength, c.length);
  }
}

TEST(FftFilterRecord, BandStopOverEverythingLeavesTheZeroLevelAndTheNyquistWave) {
  SpectralEngine e;
  StudyState s;
  s.recordLength = 8192;  // one segment, no mirroring
  s.channelCount = 1;
  s.zeroLevel[0] = 2000;
  std::int16_t* x = s.channel(0);
  for (int i = 0; i < s.recordLength; ++i)
    x[i] = static_cast<std::int16_t>(2300 + std::lround(400 * std::cos(2 * kPi * 80 * i / 8192.0)) +
                                     (i % 2 == 0 ? 50 : -50));
  fftBandStop(e, s, 0, 0, 0.5, 0);
  for (int i = 0; i < s.recordLength; ++i) ASSERT_NEAR(x[i], 2000 + (i % 2 == 0 ? 50 : -50), 2) << i;
}

TEST(FftFilterRecord, LongRecordFollowsTheSignalAcrossTheSegmentJoins) {
  // 20000 samples: segments at 0, 8176 and 11808. A 10 Hz and a 2.3 Hz
  // cosine with nothing in the removed band must come through unchanged
  // across every join; what is left there are the small ripples of a segment
  // transformed as if periodic (a straight line across the 16 joined samples
  // would miss the 10 Hz wave by half its size).
  SpectralEngine e;
  StudyState s;
  s.sampleRate = 250;
  s.recordLength = 20000;
  s.channelCount = 1;
  fillCosines(s, 0, {{10, 400}, {2.3, 100}});
  fftBandStop(e, s, 0, 0, 55.0 / 250, 45.0 / 250);
  const std::int16_t* x = s.channel(0);
  auto ideal = [&](int i) {
    return 2048 + 400 * std::cos(2 * kPi * 10 * i / 250.0) + 100 * std::cos(2 * kPi * 2.3 * i / 250.0);
  };
  for (int join : {8176, 11808}) {
    for (int i = join - 64; i < join + 64; ++i) ASSERT_NEAR(x[i], ideal(i), 48) << "sample " << i;
  }
  // Away from the joins and the record's ends the filter is exact to a few codes.
  for (int i = 400; i < 19600; ++i) {
    if (std::abs(i - 8176) < 400 || std::abs(i - 8192) < 400 || std::abs(i - 11808) < 400) continue;
    ASSERT_NEAR(x[i], ideal(i), 6) << "sample " << i;
  }
}

TEST(FftFilterRecord, LongRecordLosesItsMainsHum) {
  SpectralEngine e;
  StudyState s;
  s.sampleRate = 250;
  s.recordLength = 20000;
  s.channelCount = 1;
  fillCosines(s, 0, {{10, 400}, {50, 300}});
  fftBandStop(e, s, 0, 0, 55.0 / 250, 45.0 / 250);
  EXPECT_LT(amplitudeAt(s.channel(0), 20000, 50, 250), 2);
  EXPECT_NEAR(amplitudeAt(s.channel(0), 20000, 10, 250), 400, 4);
}

TEST(FftFilterRecord, ShortRecordIsMirroredOutsideTheChannel) {
  // 1000 samples become one segment of 1024; the channel past the record
  // keeps what it held.
  SpectralEngine e;
  StudyState s;
  s.recordLength = 1000;
  s.sampleRate = 100;
  s.channelCount = 1;
  fillCosines(s, 0, {{5, 300}, {30, 300}});
  std::fill(s.channel(0) + 1000, s.channel(0) + kMaxSamples, std::int16_t{-7});
  fftBandStop(e, s, 0, 0, 0.5, 0.2);  // low-pass at 20 Hz
  EXPECT_TRUE(std::all_of(s.channel(0) + 1000, s.channel(0) + kMaxSamples, [](std::int16_t v) { return v == -7; }));
  EXPECT_NEAR(amplitudeAt(s.channel(0), 1000, 5, 100), 300, 9);
  EXPECT_LT(amplitudeAt(s.channel(0), 1000, 30, 100), 6);
  // Away from the record's ends (the mirrored 30 Hz folds over at the end,
  // and the one segment is transformed as if periodic) the trace is the 5 Hz
  // cosine.
  for (int i = 100; i < 900; ++i) ASSERT_NEAR(s.channel(0)[i], 2048 + 300 * std::cos(2 * kPi * 5 * i / 100.0), 6) << i;
}

TEST(FftFilterRecord, OnlyTheChosenChannelsChange) {
  SpectralEngine e;
  StudyState s;
  s.recordLength = 3000;
  s.sampleRate = 250;
  s.channelCount = 4;
  for (int c = 0; c < 4; ++c) fillCosines(s, c, {{10, 200}, {50, 200}});
  const auto before0 = channelCopy(s, 0, 3000);
  const auto before3 = channelCopy(s, 3, 3000);
  fftBandStop(e, s, 1, 2, 55.0 / 250, 45.0 / 250);
  EXPECT_EQ(channelCopy(s, 0, 3000), before0);
  EXPECT_EQ(channelCopy(s, 3, 3000), before3);
  EXPECT_NE(channelCopy(s, 1, 3000), before0);
  EXPECT_LT(amplitudeAt(s.channel(2), 3000, 50, 250), 4);
}

TEST(FftFilterRecord, ChannelRangesAreLimitedToTheChannelTable) {
  SpectralEngine e;
  StudyState s;
  s.recordLength = 2000;
  s.sampleRate = 250;
  s.channelCount = 3;
  for (int c = 0; c < 5; ++c) fillCosines(s, c, {{10, 200}, {50, 200}});
  const auto beyond = channelCopy(s, 3, 2000);
  const auto first = channelCopy(s, 0, 2000);
  fftBandPass(e, s, 2, 1, 15.0 / 250, 5.0 / 250);  // reversed: nothing
  EXPECT_EQ(channelCopy(s, 0, 2000), first);
  fftBandPass(e, s, -5, 100, 15.0 / 250, 5.0 / 250);  // all three channels, none past them
  EXPECT_EQ(channelCopy(s, 3, 2000), beyond);
  for (int c = 0; c < 3; ++c) EXPECT_LT(amplitudeAt(s.channel(c), 2000, 50, 250), 4) << c;
}

TEST(FftFilterRecord, DegenerateInputLeavesTheRecordAsItWas) {
  SpectralEngine e;
  StudyState s;
  s.channelCount = 1;
  s.sampleRate = 250;
  struct Case {
    const char* what;
    int length;
    double high, low;
  };
  const Case cases[] = {
      {"one sample", 1, 0.5, 0.1},
      {"no samples", 0, 0.5, 0.1},
      {"empty band", 1000, 0.2, 0.2},
      {"not a number", 1000, std::nan(""), 0.1},
      {"band entirely above Nyquist", 1000, 0.9, 0.7},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    s.recordLength = std::max(c.length, 1);
    fillCosines(s, 0, {{10, 200}, {50, 200}}, 100);
    s.recordLength = c.length;
    const auto before = channelCopy(s, 0, 1000);
    fftBandStop(e, s, 0, 0, c.high, c.low);
    EXPECT_EQ(channelCopy(s, 0, 1000), before);
    EXPECT_EQ(s.recordLength, c.length);
  }
  // The Gaussian of no width, and a band-pass over everything, are no filters either.
  s.recordLength = 1000;
  const auto before = channelCopy(s, 0, 1000);
  fftGauss(e, s, 0, 0, 0.1, 0.1);
  fftBandPass(e, s, 0, 0, 0.5, 0);
  EXPECT_EQ(channelCopy(s, 0, 1000), before);
}

TEST(FftFilterRecord, ReversedOrOutOfRangeFrequenciesMeanTheSameBand) {
  SpectralEngine e;
  StudyState s;
  s.channelCount = 2;
  s.sampleRate = 250;
  s.recordLength = 4000;
  fillCosines(s, 0, {{10, 300}, {50, 300}, {100, 200}});
  fillCosines(s, 1, {{10, 300}, {50, 300}, {100, 200}});
  fftBandStop(e, s, 0, 0, 0.5, 0.15);   // low-pass at 37.5 Hz
  fftBandStop(e, s, 1, 1, 0.15, 0.9);  // the same, reversed and past Nyquist
  EXPECT_EQ(channelCopy(s, 0, 4000), channelCopy(s, 1, 4000));
  fftGauss(e, s, 0, 0, 0.02, 0.06);
  fftGauss(e, s, 1, 1, 0.06, 0.02);
  EXPECT_EQ(channelCopy(s, 0, 4000), channelCopy(s, 1, 4000));
}

TEST(FftFilterRecord, FullLengthRecordStaysInsideItsBuffer) {
  SpectralEngine e;
  StudyState s;
  s.channelCount = 2;
  s.sampleRate = 250;
  s.recordLength = kMaxSamples;
  fillCosines(s, 0, {{10, 300}, {50, 300}});
  fillCosines(s, 1, {{10, 300}, {50, 300}});
  const auto second = channelCopy(s, 1, kMaxSamples);
  fftBandStop(e, s, 0, 0, 55.0 / 250, 45.0 / 250);
  EXPECT_EQ(channelCopy(s, 1, kMaxSamples), second);
  EXPECT_LT(amplitudeAt(s.channel(0), kMaxSamples, 50, 250), 4);
  EXPECT_NEAR(amplitudeAt(s.channel(0), kMaxSamples, 10, 250), 300, 9);
}

}  // namespace
