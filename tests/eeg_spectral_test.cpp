// The spectral engine against floating-point references: the fixed-point
// Hartley transform, amplitude and phase spectra, windows, epoch spectra of
// channels and lead pairs, the long and odd-length spectra, band measures.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <numbers>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "core/record_file.h"
#include "core/study_state.h"
#include "eeg/band_table.h"
#include "eeg/fht_batch.h"
#include "eeg/spectral.h"
#include "shell/file_dispatch.h"
#include "test_support.h"
#include "tools/demo_study.h"

namespace {

using namespace velor;
constexpr double kPi = std::numbers::pi;
constexpr double kOnePercentOfFullScale = 4095 * 0.01;

// 2/N Σ x[n] cas(2πnk/N), the normalised Hartley transform in double precision.
std::vector<double> referenceHartley(const std::vector<double>& x) {
  const std::size_t n = x.size();
  std::vector<double> h(n);
  for (std::size_t k = 0; k < n; ++k) {
    double sum = 0;
    for (std::size_t i = 0; i < n; ++i) {
      const double a = 2 * kPi * static_cast<double>((i * k) % n) / n;
      sum += x[i] * (std::cos(a) + std::sin(a));
    }
    h[k] = 2.0 / n * sum;
  }
  return h;
}

// 2 |X[k]| × 2/N for one bin (a cosine of amplitude A gives 2A), by a plain DFT.
double referenceAmplitude(const std::vector<double>& x, std::size_t k) {
  const std::size_t n = x.size();
  double re = 0, im = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const double a = 2 * kPi * static_cast<double>((i * k) % n) / n;
    re += x[i] * std::cos(a);
    im -= x[i] * std::sin(a);
  }
  return 2.0 * 2.0 / n * std::hypot(re, im);
}

std::vector<double> cosine(int n, double cycles, double amplitude, double offset, double phaseDeg = 0) {
  std::vector<double> x(static_cast<std::size_t>(n));
  for (int i = 0; i < n; ++i)
    x[static_cast<std::size_t>(i)] = offset + amplitude * std::cos(2 * kPi * cycles * i / n + phaseDeg * kPi / 180);
  return x;
}

std::vector<std::int16_t> codes(const std::vector<double>& x) {
  std::vector<std::int16_t> c(x.size());
  for (std::size_t i = 0; i < x.size(); ++i) c[i] = static_cast<std::int16_t>(std::lround(x[i]));
  return c;
}

std::vector<double> asDouble(const std::vector<std::int16_t>& c) { return {c.begin(), c.end()}; }

void load(SpectralEngine& e, const std::vector<std::int16_t>& x) {
  std::copy(x.begin(), x.end(), e.fhtWork());
}

int phaseCode(double degrees) {
  while (degrees > 180) degrees -= 360;
  while (degrees <= -180) degrees += 360;
  return static_cast<int>(std::trunc(degrees / 180 * 2047 + 2048));
}

// A study of `channels` channels of `length` samples at `rate` Hz.
std::unique_ptr<StudyState> study(int channels, int length, int rate) {
  auto s = std::make_unique<StudyState>();
  s->channelCount = channels;
  s->recordLength = length;
  s->sampleRate = rate;
  s->viewMode = ViewMode::Signals;
  s->transformKind = TransformKind::Amplitude;
  return s;
}

void fill(StudyState& s, int channel, const std::vector<std::int16_t>& x, int at = 0) {
  std::copy(x.begin(), x.end(), s.channelData[static_cast<std::size_t>(channel)] + at);
}

// --- the transform ------------------------------------------------------------------------

TEST(Fht, MatchesTheFloatingHartleyTransformWithinItsRounding) {
  std::mt19937 rng(7);
  std::uniform_int_distribution<int> code(0, 4095);
  for (int n : {2, 4, 8, 16, 64, 256, 1024, 4096}) {
    std::vector<std::int16_t> x(static_cast<std::size_t>(n));
    for (auto& v : x) v = static_cast<std::int16_t>(code(rng));
    SpectralEngine e;
    load(e, x);
    e.fhtTransform(n);
    ASSERT_EQ(e.fhtSize(), n);
    // Before normalising: fhtWork × 2^exponent is the plain sum, up to the
    // truncations of the Q15 products and the halvings (a few units of the
    // last place per stage).
    const std::vector<double> ref = referenceHartley(asDouble(x));
    const double scale = std::ldexp(1.0, e.fhtExponent());
    for (int k = 0; k < n; ++k) {
      const double sum = ref[static_cast<std::size_t>(k)] * n / 2;
      EXPECT_NEAR(e.fhtWork()[k] * scale, sum, scale * (2 + 3 * e.fhtOrder()))
          << "n " << n << " k " << k;
    }
    e.fhtNormalise();
    for (int k = 0; k < n; ++k)
      EXPECT_NEAR(e.fhtWork()[k], ref[static_cast<std::size_t>(k)], 5.0) << "n " << n << " k " << k;
  }
}

TEST(Fht, TransformLengthIsTheLargestPowerOfTwoNotAbove8192) {
  struct Case {
    int length, size, order;
  };
  for (const Case c : {Case{8196, 8192, 13}, Case{9000, 8192, 13}, Case{8192, 8192, 13}, Case{1000, 512, 9},
                       Case{2, 2, 1}, Case{3, 2, 1}, Case{1, 1, 0}, Case{0, 1, 0}}) {
    SpectralEngine e;
    std::fill_n(e.fhtWork(), kFhtMaxSize + 1, std::int16_t{100});
    e.fhtTransform(c.length);
    EXPECT_EQ(e.fhtSize(), c.size) << c.length;
    EXPECT_EQ(e.fhtOrder(), c.order) << c.length;
    // The samples beyond N are not touched.
    if (c.size < kFhtMaxSize) {
      EXPECT_EQ(e.fhtWork()[c.size], 100) << c.length;
    }
  }
}

TEST(AmplitudeSpectrum, CosinesGiveTwiceTheirAmplitudeAtTheirBin) {
  struct Case {
    int n;
    int bin;
    double amplitude, offset, phase;
  };
  const Case cases[] = {
      {256, 16, 1000, 2048, 0},  // the engine's own example: about 2000 at bin 16
      {256, 127, 1000, 2048, 30}, {64, 5, 500, 0, -70},      {1024, 100, 2000, 2048, 10},
      {8192, 1000, 1500, 2048, 0}, {8192, 4095, 700, 1000, 45}, {512, 1, 2047, 2048, 90},
  };
  for (const Case& c : cases) {
    const std::vector<std::int16_t> x = codes(cosine(c.n, c.bin, c.amplitude, c.offset, c.phase));
    SpectralEngine e;
    load(e, x);
    e.fhtTransform(c.n);
    const int peak = e.amplitudeSpectrum();
    const std::int16_t* a = e.amplitudeOut();
    const int peakBin = static_cast<int>(std::max_element(a + 1, a + c.n / 2 + 1) - a);
    EXPECT_EQ(peakBin, c.bin) << c.n << "/" << c.bin;
    EXPECT_EQ(peak, a[peakBin]);
    EXPECT_NEAR(a[c.bin], 2 * c.amplitude, kOnePercentOfFullScale) << c.n << "/" << c.bin;
    // Every other bin agrees with the floating reference too (close to 0).
    const std::vector<double> xd = asDouble(x);
    for (int k = 1; k <= c.n / 2; k += (c.n > 1024 ? 37 : 1))
      EXPECT_NEAR(a[k], referenceAmplitude(xd, static_cast<std::size_t>(k)), kOnePercentOfFullScale)
          << c.n << " bin " << k;
  }
}

TEST(AmplitudeSpectrum, ConstantSignalGivesZeroAtEveryBinFromOne) {
  for (int level : {0, 2048, 4095, -3000}) {
    SpectralEngine e;
    std::fill_n(e.fhtWork(), 256, static_cast<std::int16_t>(level));
    e.fhtTransform(256);
    EXPECT_EQ(e.amplitudeSpectrum(), 0) << level;
    for (int k = 1; k <= 128; ++k) EXPECT_EQ(e.amplitudeOut()[k], 0) << level << " bin " << k;
  }
}

TEST(AmplitudeSpectrum, PhaseCodesFollowTheCosinePhase) {
  // A cosine of phase φ0 gives atan2(e, d) = 90° + φ0.
  for (double phase : {0.0, 45.0, -60.0, 120.0, -150.0}) {
    SpectralEngine e;
    load(e, codes(cosine(256, 20, 1000, 2048, phase)));
    e.fhtTransform(256);
    e.amplitudeSpectrum(true);
    EXPECT_NEAR(e.amplitudeOut()[20], phaseCode(90 + phase), 4) << phase;
  }
}

TEST(Fht, OverflowHalvesTheArrayAndKeepsTheResult) {
  // Sums of a 12000-code cosine over 1024 samples overflow 16 bits many times.
  const std::vector<std::int16_t> x = codes(cosine(1024, 3, 12000, 0));
  SpectralEngine e;
  load(e, x);
  e.fhtTransform(1024);
  EXPECT_GT(e.fhtExponent(), 0);
  e.amplitudeSpectrum();
  EXPECT_NEAR(e.amplitudeOut()[3], 24000, 0.01 * 24000);
  for (int k = 1; k <= 512; ++k)
    if (k != 3) {
      EXPECT_LT(e.amplitudeOut()[k], 60) << k;
    }
}

TEST(Fht, BlockExponentReachingTheOrderSaturatesInsteadOfShiftingNegatively) {
  // Full-scale inputs: the halvings reach the order, and the normalised values
  // that no longer fit 16 bits saturate.
  SpectralEngine e;
  std::fill_n(e.fhtWork(), 8, std::int16_t{32767});
  e.fhtTransform(8);
  EXPECT_GE(e.fhtExponent(), e.fhtOrder());
  e.fhtNormalise();
  EXPECT_EQ(e.fhtWork()[0], 32767);  // 2 × 32767 does not fit
  for (int k = 1; k < 8; ++k) EXPECT_EQ(e.fhtWork()[k], 0) << k;

  // Alternating full-scale samples: the energy sits at N/2.
  for (int i = 0; i < 16; ++i) e.fhtWork()[i] = static_cast<std::int16_t>(i % 2 ? -32768 : 32767);
  e.fhtTransform(16);
  const int peak = e.amplitudeSpectrum();
  EXPECT_EQ(peak, 32767);
  EXPECT_EQ(e.amplitudeOut()[8], 32767);
  for (int k = 1; k < 8; ++k) EXPECT_LE(e.amplitudeOut()[k], 2) << k;
}

// --- many transforms at once -----------------------------------------------------------------

// Inputs of every kind a lane may see: 12-bit codes, cosines large enough to
// overflow many times, full-scale noise, constants, impulses.
std::vector<std::int16_t> laneInput(int lane, int n, std::mt19937& rng) {
  std::vector<std::int16_t> x(static_cast<std::size_t>(n));
  std::uniform_int_distribution<int> codes12(0, 4095), full(-32768, 32767);
  switch (lane % 6) {
    case 0: for (auto& v : x) v = static_cast<std::int16_t>(codes12(rng)); break;
    case 1: x = codes(cosine(n, std::max(1, n / 7), 12000 + 300 * lane, 0)); break;
    case 2: for (auto& v : x) v = static_cast<std::int16_t>(full(rng)); break;
    case 3: std::fill(x.begin(), x.end(), static_cast<std::int16_t>(lane * 1000 - 9000)); break;
    case 4: x[static_cast<std::size_t>(lane % n)] = 32767; break;
    default:
      for (int i = 0; i < n; ++i)
        x[static_cast<std::size_t>(i)] = static_cast<std::int16_t>(2048 + codes12(rng) / 4 + (i % 64 < 32 ? 1500 : -1500));
  }
  return x;
}

TEST(FhtBatch, EveryLaneEndsBitForBitAsTheSingleTransform) {
  std::mt19937 rng(21);
  const int lanes = SpectralEngine::batchLanes();
  ASSERT_GE(lanes, 1);
  ASSERT_LE(lanes, SpectralEngine::kMaxBatchLanes);
  for (int n : {2, 4, 8, 16, 64, 256, 1024, 8192}) {
    for (int round = 0; round < 3; ++round) {
      SpectralEngine batch, single;
      std::vector<std::vector<std::int16_t>> inputs;
      for (int l = 0; l < lanes; ++l) {
        inputs.push_back(laneInput(l + round * 5, n, rng));
        for (int i = 0; i < n; ++i) batch.batchWork()[static_cast<std::size_t>(i) * lanes + l] = inputs.back()[static_cast<std::size_t>(i)];
      }
      batch.fhtTransformBatch(n);
      for (int l = 0; l < lanes; ++l) {
        load(single, inputs[static_cast<std::size_t>(l)]);
        single.fhtTransform(n);
        ASSERT_EQ(batch.batchExponent(l), single.fhtExponent()) << "n " << n << " lane " << l;
        for (int i = 0; i < n; ++i)
          ASSERT_EQ(batch.batchWork()[static_cast<std::size_t>(i) * lanes + l], single.fhtWork()[i])
              << "n " << n << " lane " << l << " value " << i;
        const int peak = single.amplitudeSpectrum();
        ASSERT_EQ(batch.batchAmplitudeSpectrum(l), peak) << "n " << n << " lane " << l;
      }
    }
  }
}

#if defined(__x86_64__)
struct BatchKernelEntry {
  const char* name;
  int lanes;
  void (*transform)(std::int16_t*, int, int, int*, bool);
  void (*loadReversed)(std::int16_t*, const std::int16_t* const*, int, int);
  bool (*amplitudes)(std::int16_t*, int, int, const int*, std::int16_t* const*, int*);
  void (*transformRows)(std::int16_t*, const std::int16_t* const*, int, int, int*);
};

// Every vector kernel this processor runs, whichever the engine picks.
std::vector<BatchKernelEntry> batchKernels() {
  std::vector<BatchKernelEntry> kernels{{"SSE2", 8, fht_batch::sse2::transform, fht_batch::sse2::loadReversed,
                                         fht_batch::sse2::amplitudes, fht_batch::sse2::transformRows}};
  if (fht_batch::avx2::available())
    kernels.push_back({"AVX2", 16, fht_batch::avx2::transform, fht_batch::avx2::loadReversed,
                       fht_batch::avx2::amplitudes, fht_batch::avx2::transformRows});
  if (fht_batch::avx512::available())
    kernels.push_back({"AVX-512", 32, fht_batch::avx512::transform, fht_batch::avx512::loadReversed,
                       fht_batch::avx512::amplitudes, fht_batch::avx512::transformRows});
  return kernels;
}

struct alignas(64) BatchLanes {
  std::int16_t v[fht_batch::kMaxLanes * 8192];
};

TEST(FhtBatch, AllKernelsMatchTheSingleTransformAndAmplitudes) {
  using Kernel = BatchKernelEntry;
  const std::vector<Kernel> kernels = batchKernels();
  using Lanes = BatchLanes;
  auto lanesIn = std::make_unique<Lanes>(), loaded = std::make_unique<Lanes>();
  std::mt19937 rng(5);
  for (const Kernel& k : kernels) {
    for (int order : {3, 4, 8, 11, 13}) {
      const int n = 1 << order;
      std::vector<std::vector<std::int16_t>> inputs;
      std::vector<const std::int16_t*> rows;
      for (int l = 0; l < k.lanes; ++l) {
        inputs.push_back(laneInput(l * 7 + order, n, rng));
        rows.push_back(inputs.back().data());
        for (int i = 0; i < n; ++i) lanesIn->v[static_cast<std::size_t>(i) * k.lanes + l] = inputs.back()[static_cast<std::size_t>(i)];
      }
      int exponent[fht_batch::kMaxLanes], exponentLoaded[fht_batch::kMaxLanes];
      k.transform(lanesIn->v, n, order, exponent, true);
      k.loadReversed(loaded->v, rows.data(), n, order);
      k.transform(loaded->v, n, order, exponentLoaded, false);
      std::vector<std::vector<std::int16_t>> spectra(fht_batch::kMaxLanes,
                                                     std::vector<std::int16_t>(static_cast<std::size_t>(n / 2 + 1)));
      std::vector<std::int16_t*> outs;
      for (auto& sp : spectra) outs.push_back(sp.data());
      int peaks[fht_batch::kMaxLanes];
      const bool together = k.amplitudes(lanesIn->v, n, order, exponent, outs.data(), peaks);
      bool anyAtOrder = false;
      for (int l = 0; l < k.lanes; ++l) {
        SCOPED_TRACE(std::string(k.name) + " n " + std::to_string(n) + " lane " + std::to_string(l));
        SpectralEngine single;
        load(single, inputs[static_cast<std::size_t>(l)]);
        single.fhtTransform(n);
        ASSERT_EQ(exponent[l], single.fhtExponent());
        ASSERT_EQ(exponentLoaded[l], single.fhtExponent());
        for (int i = 0; i < n; ++i) {
          ASSERT_EQ(loaded->v[static_cast<std::size_t>(i) * k.lanes + l], single.fhtWork()[i]) << i;
          ASSERT_EQ(lanesIn->v[static_cast<std::size_t>(i) * k.lanes + l], single.fhtWork()[i]) << i;
        }
        anyAtOrder = anyAtOrder || single.fhtExponent() >= single.fhtOrder();
        const int peak = single.amplitudeSpectrum();
        if (!together) continue;
        EXPECT_EQ(peaks[l], peak);
        for (int i = 1; i <= n / 2; ++i) ASSERT_EQ(spectra[static_cast<std::size_t>(l)][static_cast<std::size_t>(i)], single.amplitudeOut()[i]) << i;
      }
      // The lanes go together unless a lane's halvings reached its order.
      EXPECT_EQ(together, n >= 16 && !anyAtOrder) << k.name << " n " << n;
    }
  }
}

// Random lanes of random kinds, many rounds at every size from 2 to 8192:
// magnitudes at the kernels' thresholds (the unchecked first two stages up
// to ±8191, the unchecked butterflies up to ±13500), mid-scale codes whose
// constant component halves the array in late stages, full-scale values that
// halve it in every stage, and lanes of one batch halving at different
// moments.
// A quiet lane stays within ±8191, where the first two stages need no checks.
std::vector<std::int16_t> randomLane(int n, bool quiet, std::mt19937& rng) {
  std::vector<std::int16_t> x(static_cast<std::size_t>(n));
  auto uniform = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  const int bound = std::vector<int>{2047, 4095, 8191, 8192, 13500, 13501, 16383, 32767}[static_cast<std::size_t>(uniform(0, quiet ? 2 : 7))];
  int kind = uniform(0, 6);
  if (quiet && (kind == 2 || kind == 4 || kind == 6)) kind = 0;
  switch (kind) {
    case 0:  // noise within ±bound
      for (auto& v : x) v = static_cast<std::int16_t>(uniform(-bound, bound));
      break;
    case 1:  // 12-bit codes around mid-scale
      for (auto& v : x) v = static_cast<std::int16_t>(uniform(0, 4095));
      break;
    case 2:  // the extremes only
      for (auto& v : x) v = static_cast<std::int16_t>(uniform(0, 1) ? 32767 : -32768);
      break;
    case 3: {  // a cosine of random frequency, amplitude and offset
      const double f = uniform(0, n / 2), a = uniform(0, bound), z = uniform(-bound, bound) / 2.0;
      for (int i = 0; i < n; ++i)
        x[static_cast<std::size_t>(i)] = static_cast<std::int16_t>(
            std::clamp(std::lround(z + a * std::cos(2 * kPi * f * i / n)), -static_cast<long>(bound), static_cast<long>(bound)));
      break;
    }
    case 4:  // a few spikes on a quiet line
      for (auto& v : x) v = static_cast<std::int16_t>(uniform(-16, 16));
      for (int s = uniform(1, 4); s > 0; --s) x[static_cast<std::size_t>(uniform(0, n - 1))] = static_cast<std::int16_t>(uniform(-32768, 32767));
      break;
    case 5:  // a constant
      std::fill(x.begin(), x.end(), static_cast<std::int16_t>(uniform(-bound, bound)));
      break;
    default:  // full-scale noise
      for (auto& v : x) v = static_cast<std::int16_t>(uniform(-32768, 32767));
  }
  return x;
}

TEST(FhtBatch, AllKernelsMatchTheSingleTransformOnRandomLanesOfEverySize) {
  auto lanesIn = std::make_unique<BatchLanes>(), loaded = std::make_unique<BatchLanes>();
  std::mt19937 rng(77);
  for (const BatchKernelEntry& k : batchKernels()) {
    for (int order = 1; order <= kFhtMaxOrder; ++order) {
      const int n = 1 << order;
      const int rounds = std::max(4, 512 >> order);
      for (int round = 0; round < rounds; ++round) {
        std::vector<std::vector<std::int16_t>> inputs;
        std::vector<const std::int16_t*> rows;
        // Every other round all lanes are quiet, and in half of those one
        // sample of one lane lies just outside.
        const bool quiet = round % 2 == 0;
        for (int l = 0; l < k.lanes; ++l) inputs.push_back(randomLane(n, quiet, rng));
        if (round % 4 == 2)
          inputs[rng() % inputs.size()][rng() % static_cast<unsigned>(n)] = static_cast<std::int16_t>(rng() % 2 ? 8192 : -8192);
        for (int l = 0; l < k.lanes; ++l) {
          rows.push_back(inputs[static_cast<std::size_t>(l)].data());
          for (int i = 0; i < n; ++i) lanesIn->v[static_cast<std::size_t>(i) * k.lanes + l] = inputs[static_cast<std::size_t>(l)][static_cast<std::size_t>(i)];
        }
        int exponent[fht_batch::kMaxLanes], exponentLoaded[fht_batch::kMaxLanes], exponentRows[fht_batch::kMaxLanes];
        k.transform(lanesIn->v, n, order, exponent, true);
        std::vector<std::int16_t> fromRows;
        if (n >= 8) {
          k.transformRows(loaded->v, rows.data(), n, order, exponentRows);
          fromRows.assign(loaded->v, loaded->v + static_cast<std::size_t>(n) * k.lanes);
          k.loadReversed(loaded->v, rows.data(), n, order);
          k.transform(loaded->v, n, order, exponentLoaded, false);
        }
        std::vector<std::vector<std::int16_t>> spectra(static_cast<std::size_t>(k.lanes),
                                                       std::vector<std::int16_t>(static_cast<std::size_t>(n / 2 + 1)));
        std::vector<std::int16_t*> outs;
        for (auto& sp : spectra) outs.push_back(sp.data());
        int peaks[fht_batch::kMaxLanes];
        std::vector<std::int16_t> transformed(lanesIn->v, lanesIn->v + static_cast<std::size_t>(n) * k.lanes);
        const bool together = k.amplitudes(lanesIn->v, n, order, exponent, outs.data(), peaks);
        for (int l = 0; l < k.lanes; ++l) {
          SCOPED_TRACE(std::string(k.name) + " n " + std::to_string(n) + " round " + std::to_string(round) + " lane " +
                       std::to_string(l));
          SpectralEngine single;
          load(single, inputs[static_cast<std::size_t>(l)]);
          single.fhtTransform(n);
          ASSERT_EQ(exponent[l], single.fhtExponent());
          if (n >= 8) {
            ASSERT_EQ(exponentLoaded[l], single.fhtExponent());
            ASSERT_EQ(exponentRows[l], single.fhtExponent());
          }
          for (int i = 0; i < n; ++i) {
            const std::size_t at = static_cast<std::size_t>(i) * k.lanes + l;
            ASSERT_EQ(transformed[at], single.fhtWork()[i]) << i;
            if (n >= 8) {
              ASSERT_EQ(loaded->v[at], single.fhtWork()[i]) << i;
              ASSERT_EQ(fromRows[at], single.fhtWork()[i]) << "from rows " << i;
            }
          }
          const int peak = single.amplitudeSpectrum();
          if (!together) continue;
          ASSERT_EQ(peaks[l], peak);
          for (int i = 1; i <= n / 2; ++i)
            ASSERT_EQ(spectra[static_cast<std::size_t>(l)][static_cast<std::size_t>(i)], single.amplitudeOut()[i]) << i;
        }
      }
    }
  }
}
#endif

TEST(FhtBatch, EpochSpectraOfManyChannelsEqualTheSingleComputation) {
  // 37 channels: full sets of lanes and a part set (for 8, 16 or 32 lanes),
  // with a window and averaging; the result must be what the single
  // transform gives channel by channel.
  constexpr int kChannels = 37;
  for (int windowKind : {0, 3, 9}) {
    for (int n : {16, 256, 2048}) {
      auto s = study(kChannels, 8192, 256);
      std::mt19937 rng(static_cast<unsigned>(n + windowKind));
      for (int c = 0; c < kChannels; ++c) {
        std::vector<std::int16_t> x(8192);
        std::normal_distribution<double> noise(0, 50.0 + 20 * c);
        for (int i = 0; i < 8192; ++i)
          x[static_cast<std::size_t>(i)] = static_cast<std::int16_t>(std::clamp(
              std::lround(2048 + (c % 4 == 0 ? 1900 : 600) * std::sin(0.05 * (c + 1) * i) + noise(rng)), -32768L, 32767L));
        fill(*s, c, x);
        s->zeroLevel[c] = static_cast<std::uint16_t>(2000 + c);
      }
      s->epochLength = n;
      s->epochStep = n / 2;
      SpectralEngine e, single;
      e.buildWindow(windowKind);
      single.buildWindow(windowKind);
      e.averagedEpochs = 2;
      const int peak = e.epochSpectra(*s, n, 0);
      int expectedPeak = 0;
      for (int c = 0; c < kChannels; ++c) {
        std::vector<double> mean(static_cast<std::size_t>(n / 2 + 1));
        for (int j = 0; j < 3; ++j) {
          std::copy_n(s->channelData[static_cast<std::size_t>(c)] + n + j * n / 2, n, single.fhtWork());
          single.applyWindow(s->zeroLevel[c], n);
          single.fhtTransform(n);
          expectedPeak = std::max(expectedPeak, single.amplitudeSpectrum());
          for (int i = 1; i <= n / 2; ++i)
            mean[static_cast<std::size_t>(i)] = j == 0 ? single.amplitudeOut()[i]
                                                       : std::trunc((mean[static_cast<std::size_t>(i)] * j + single.amplitudeOut()[i]) / (j + 1) + 0.5);
        }
        for (int i = 1; i <= n / 2; ++i)
          ASSERT_EQ(s->parkedChannelData[static_cast<std::size_t>(c)][i], mean[static_cast<std::size_t>(i)])
              << "window " << windowKind << " n " << n << " channel " << c << " bin " << i;
      }
      EXPECT_EQ(peak, expectedPeak);
    }
  }
}

// --- windows ------------------------------------------------------------------------------

double windowFormula(int kind, int k) {
  const double h = -kPi + k * kPi / 2048;
  const double t = (k - 2047.0) / 2047.0;
  const double r = std::sqrt(1 - t * t);
  switch (kind) {
    case 1: return (std::cos(h) + 1) * 8192;
    case 2: return (0.54 + 0.46 * std::cos(h)) * 16384;
    case 3: return (0.42 + 0.5 * std::cos(h) + 0.08 * std::cos(2 * h)) * 16384;
    case 4: return (0.45 + 0.494 * std::cos(h) + 0.057 * std::cos(2 * h)) * 16384;
    case 5: return (0.402 + 0.497 * std::cos(h) + 0.094 * std::cos(2 * h) + 0.002 * std::cos(3 * h)) * 16384;
    case 6: return (0.359 + 0.488 * std::cos(h) + 0.141 * std::cos(2 * h) + 0.012 * std::cos(3 * h)) * 16384;
    case 7: return std::cyl_bessel_i(0.0, 2 * kPi * r) / 87 * 16384;
    case 8: return std::cyl_bessel_i(0.0, 2.5 * kPi * r) / 373 * 16384;
    case 9: return std::cyl_bessel_i(0.0, 3 * kPi * r) / 1633 * 16384;
    default: return std::cyl_bessel_i(0.0, 3.5 * kPi * r) / 7257 * 16384;
  }
}

TEST(Windows, TablesFollowTheirFormulas) {
  SpectralEngine e;
  for (int kind = 1; kind <= 10; ++kind) {
    e.buildWindow(kind);
    ASSERT_EQ(e.windowKind(), kind);
    // The Bessel series stops at terms below 0.001, so Kaiser entries may be one lower.
    const double tolerance = kind >= 7 ? 1 : 0;
    for (int k = 0; k < kWindowTableSize; ++k)
      ASSERT_NEAR(e.windowTable(k), std::trunc(windowFormula(kind, k)), tolerance) << "kind " << kind << " k " << k;
  }
  e.buildWindow(1);
  EXPECT_EQ(e.windowTable(0), 0);  // Hann: the edge weight is 0
  EXPECT_STREQ(windowKindName(1), "Ханна 31Дб");
  EXPECT_STREQ(windowKindName(7), "Кайзера 46 Дб");
}

TEST(Windows, BesselSeriesMatchesTheLibraryFunction) {
  for (double x : {0.0, 0.5, 2 * kPi, 2.5 * kPi, 3.5 * kPi})
    EXPECT_NEAR(besselI0(x), std::cyl_bessel_i(0.0, x), 0.002 * std::max(1.0, x)) << x;
}

TEST(Windows, TaperAroundTheZeroLevelWithTheTableEntries) {
  // A constant 1000 codes above the zero level shows each weight used.
  constexpr int z = 2048;
  for (int n : {256, 4096, 8192}) {
    SpectralEngine e;
    e.buildWindow(1);
    std::fill_n(e.fhtWork(), n, static_cast<std::int16_t>(z + 1000));
    e.applyWindow(z, n);
    const std::int16_t* x = e.fhtWork();
    EXPECT_EQ(x[0], z);  // edge weight 0
    for (int i = 0; i < n / 2; ++i) {
      ASSERT_EQ(x[i], x[n - 1 - i]) << "symmetric, n " << n << " i " << i;
      // i × 4096 / n entries into the table; at 8192 points every half step.
      const double position = static_cast<double>(i) * 4096 / n;
      const double w = std::trunc(windowValue(1, position));
      ASSERT_EQ(x[i], static_cast<int>(std::floor(1000 * w / 16384)) + z) << "n " << n << " i " << i;
      if (i > 0) {
        ASSERT_GE(x[i], x[i - 1]) << "Hann rises towards the centre, n " << n;
      }
    }
    // The centre sample is weighted by the last entry used, close to 1.
    EXPECT_GE(x[n / 2 - 1], z + 999) << n;
  }
}

TEST(Windows, KindZeroDisablesTheWindowAndKeepsTheTable) {
  SpectralEngine e;
  e.buildWindow(3);
  const int before = e.windowTable(500);
  e.buildWindow(0);
  EXPECT_EQ(e.windowKind(), 0);
  EXPECT_EQ(e.windowTable(500), before);
  std::fill_n(e.fhtWork(), 256, std::int16_t{3000});
  e.applyWindow(2048, 256);
  EXPECT_TRUE(std::all_of(e.fhtWork(), e.fhtWork() + 256, [](std::int16_t v) { return v == 3000; }));
  e.buildWindow(42);  // an unknown kind is no window
  EXPECT_EQ(e.windowKind(), 0);
}

// --- epoch spectra of channels ------------------------------------------------------------------

TEST(EpochSpectra, EachChannelGetsItsSpectrumWithBinZeroCleared) {
  auto s = study(3, 1024, 256);
  fill(*s, 0, codes(cosine(1024, 40, 1000, 2048)));   // 10 Hz → bin 10 of 256
  fill(*s, 1, codes(cosine(1024, 100, 300, 2048)));   // 25 Hz → bin 25
  fill(*s, 2, std::vector<std::int16_t>(1024, 2048));  // flat
  s->epochLength = s->epochStep = 256;
  SpectralEngine e;
  const int peak = e.epochSpectra(*s, 256, 1);
  EXPECT_NEAR(peak, 2000, kOnePercentOfFullScale);
  const auto at = [&](int c, int i) { return s->parkedChannelData[static_cast<std::size_t>(c)][i]; };
  EXPECT_NEAR(at(0, 10), 2000, kOnePercentOfFullScale);
  EXPECT_NEAR(at(1, 25), 600, kOnePercentOfFullScale);
  for (int c = 0; c < 3; ++c) EXPECT_EQ(at(c, 0), 0) << c;
  for (int i = 1; i <= 128; ++i) {
    EXPECT_EQ(at(2, i), 0) << i;
    if (i != 10) {
      EXPECT_LT(at(0, i), kOnePercentOfFullScale) << i;
    }
  }
}

TEST(EpochSpectra, AveragingTakesFollowingEpochsAndRepeatsTheLastThatFits) {
  // Epoch k of the record carries a cosine of amplitude 200 × (k + 1) at bin 8.
  auto s = study(1, 1024, 256);
  for (int k = 0; k < 4; ++k) fill(*s, 0, codes(cosine(256, 8, 200.0 * (k + 1), 2048)), 256 * k);
  s->epochLength = s->epochStep = 256;
  SpectralEngine e;
  e.averagedEpochs = 2;
  struct Case {
    int start;
    double expected;  // mean of 2A over the epochs used
  };
  // From 0: epochs 0, 1 and 2; from 256 the last epoch ends with the record;
  // from 512 there is no epoch after the last one, which is used again.
  for (const Case c : {Case{0, (400 + 800 + 1200) / 3.0}, Case{256, (800 + 1200 + 1600) / 3.0},
                       Case{512, (1200 + 1600 + 1600) / 3.0}}) {
    e.epochSpectra(*s, c.start, 0);
    EXPECT_NEAR(s->parkedChannelData[0][8], c.expected, 3) << c.start;
  }
}

TEST(EpochSpectra, PhaseSpectrumOfSingleChannelsWithoutLeadPairs) {
  auto s = study(2, 512, 128);
  fill(*s, 0, codes(cosine(512, 48, 1000, 2048, 0)));    // bin 12 of 128
  fill(*s, 1, codes(cosine(512, 48, 1000, 2048, 45)));
  s->epochLength = s->epochStep = 128;
  s->transformKind = TransformKind::CrossPhase;
  s->leadPairCount = 0;
  SpectralEngine e;
  e.epochSpectra(*s, 0, 0);
  EXPECT_NEAR(s->parkedChannelData[0][12], phaseCode(90), 4);
  EXPECT_NEAR(s->parkedChannelData[1][12], phaseCode(135), 4);
}

// Averaged over epochs, phases near ±180° stay there: the mean of 170° and
// −170° is 180°, not 0°; equal phases keep their code.
TEST(EpochSpectra, AveragedPhasesAreMeanDirections) {
  struct Case {
    double first, second, want;
  };
  for (const Case c : {Case{170, -170, 180}, Case{-170, 150, 170}, Case{30, 30, 30}, Case{-20, 40, 10}}) {
    // epoch 0 (samples 0..127) at the first phase, epoch 1 (128..255) at the
    // second; the record runs on so that the second epoch is not its last
    auto s = study(1, 384, 128);
    std::vector<double> x = cosine(128, 12, 1000, 2048, c.first - 90);
    const std::vector<double> y = cosine(256, 24, 1000, 2048, c.second - 90);
    x.insert(x.end(), y.begin(), y.end());
    fill(*s, 0, codes(x));
    s->epochLength = s->epochStep = 128;
    s->transformKind = TransformKind::CrossPhase;
    s->leadPairCount = 0;
    SpectralEngine e;
    e.averagedEpochs = 1;
    e.epochSpectra(*s, 0, 0);
    const double got = (s->parkedChannelData[0][12] - 2048) / 2047.0 * 180.0;
    double diff = std::fmod(std::fabs(got - c.want), 360.0);
    diff = std::min(diff, 360.0 - diff);
    EXPECT_LT(diff, 1.5) << c.first << " " << c.second << " gave " << got;
  }
}

TEST(EpochSpectra, LongEpochsAreBuiltFrom8192PointTransforms) {
  for (int n : {16384, 32768}) {
    // bins on both sides of 8192, one at an odd bin (all part transforms matter)
    std::vector<double> xd(static_cast<std::size_t>(n), 2048);
    for (int i = 0; i < n; ++i)
      xd[static_cast<std::size_t>(i)] += 900 * std::cos(2 * kPi * 1234.0 * i / n) +
                                         400 * std::cos(2 * kPi * (n / 2 - 777.0) * i / n + 1.0);
    const std::vector<std::int16_t> x = codes(xd);
    SpectralEngine e;
    std::vector<std::int16_t> out(static_cast<std::size_t>(n / 2 + 1), -1);
    const int peak = e.longSpectrum(x.data(), n, out.data());
    EXPECT_NEAR(peak, 1800, kOnePercentOfFullScale) << n;
    EXPECT_EQ(std::max_element(out.begin() + 1, out.end()) - out.begin(), 1234) << n;
    EXPECT_NEAR(out[1234], 1800, kOnePercentOfFullScale) << n;
    EXPECT_NEAR(out[static_cast<std::size_t>(n / 2 - 777)], 800, kOnePercentOfFullScale) << n;
    EXPECT_EQ(out[0], 0);
    for (int k : {1, 100, 1233, 1235, 8191, 8192, 8193, n / 2 - 1}) {
      if (k > n / 2) continue;  // the spectrum ends at n/2: bin 8193 only exists for the longer epoch
      EXPECT_NEAR(out[static_cast<std::size_t>(k)], referenceAmplitude(xd, static_cast<std::size_t>(k)),
                  kOnePercentOfFullScale)
          << n << " bin " << k;
    }
  }
  SpectralEngine e;
  std::vector<std::int16_t> out(8);
  EXPECT_EQ(e.longSpectrum(out.data(), 8192, out.data()), -1);
}

TEST(EpochSpectra, LongEpochOfARecordGoesToTheChannelBuffer) {
  auto s = study(1, 20000, 512);
  fill(*s, 0, codes(cosine(16384, 2000, 1000, 2048)));
  s->epochLength = s->epochStep = 16384;
  SpectralEngine e;
  e.buildWindow(1);  // not applied on this path
  EXPECT_NEAR(e.epochSpectra(*s, 0, 0), 2000, kOnePercentOfFullScale);
  EXPECT_NEAR(s->parkedChannelData[0][2000], 2000, kOnePercentOfFullScale);
  EXPECT_EQ(s->parkedChannelData[0][0], 0);
}

// --- lead pairs ---------------------------------------------------------------------------------

struct PairStudy {
  std::unique_ptr<StudyState> s = study(4, 2048, 256);
  SpectralEngine e;
  PairStudy() {
    s->epochLength = s->epochStep = 256;
  }
  void pair(int p, int a, int b) {
    s->leadPairs[static_cast<std::size_t>(p)] = {static_cast<std::uint8_t>(a), static_cast<std::uint8_t>(b)};
    s->leadPairCount = std::max(s->leadPairCount, p + 1);
  }
  std::int16_t at(int p, int i) const { return s->parkedChannelData[static_cast<std::size_t>(p)][i]; }
};

std::vector<std::int16_t> noise(int n, unsigned seed, double spread) {
  std::mt19937 rng(seed);
  std::normal_distribution<double> d(2048, spread);
  std::vector<std::int16_t> x(static_cast<std::size_t>(n));
  for (auto& v : x) v = static_cast<std::int16_t>(std::clamp(std::lround(d(rng)), 0L, 4095L));
  return x;
}

TEST(PairSpectra, CoherenceOfAChannelWithItselfIs4095WhereverThereIsPower) {
  PairStudy t;
  const std::vector<std::int16_t> x = noise(2048, 1, 300);
  fill(*t.s, 0, x);
  fill(*t.s, 1, x);  // a copy
  fill(*t.s, 2, std::vector<std::int16_t>(2048, 2048));  // flat: no power anywhere
  fill(*t.s, 3, noise(2048, 2, 300));                     // independent
  t.pair(0, 1, 2);
  t.pair(1, 3, 3);
  t.pair(2, 1, 4);
  t.pair(3, 4, 4);
  t.s->transformKind = TransformKind::Coherence;
  t.e.averagedEpochs = 6;
  EXPECT_EQ(t.e.epochSpectra(*t.s, 0, 0), 4095);
  long independent = 0;
  for (int i = 1; i <= 128; ++i) {
    EXPECT_EQ(t.at(0, i), 4095) << i;
    EXPECT_EQ(t.at(1, i), 0) << i;
    EXPECT_EQ(t.at(3, i), 4095) << i;
    independent += t.at(2, i);
  }
  EXPECT_LT(independent / 128, 2048) << "independent noise is not coherent";
  EXPECT_EQ(t.at(0, 0), 0);
}

TEST(PairSpectra, CoherenceNeedsPowerAboveThreeInBothChannels) {
  // A cosine of 2 codes: power 16 at its bin, and the rounding of the codes
  // leaves powers of a few units elsewhere.
  PairStudy t;
  fill(*t.s, 0, codes(cosine(2048, 80, 2, 2048)));
  fill(*t.s, 1, codes(cosine(2048, 80, 2, 2048)));
  t.pair(0, 1, 2);
  t.s->transformKind = TransformKind::Coherence;
  t.e.averagedEpochs = 4;
  t.e.epochSpectra(*t.s, 0, 0);
  int above = 0, below = 0;
  for (int i = 1; i <= 128; ++i) {
    const float pa = t.s->floatStore[4096 + i];
    EXPECT_EQ(t.at(0, i), pa > 3 ? 4095 : 0) << i << " power " << pa;
    (pa > 3 ? above : below)++;
  }
  EXPECT_GT(above, 0);
  EXPECT_GT(below, 0);
}

TEST(PairSpectra, CrossPhaseCrossSpectrumAndCoherentPower) {
  // b leads a by δ: the cross-phase is 90° − δ; |cross| = 4AB.
  struct Case {
    TransformKind kind;
    double amplitudeB, delay, expected, tolerance;
  };
  const Case cases[] = {
      {TransformKind::CrossPhase, 1000, 30, static_cast<double>(phaseCode(60)), 4},
      {TransformKind::CrossPhase, 500, -45, static_cast<double>(phaseCode(135)), 4},
      {TransformKind::CrossSpectrum, 500, 10, 2 * std::sqrt(1000.0 * 500), kOnePercentOfFullScale},
      {TransformKind::CoherentPower, 50, 0, 4 * 50.0 * 50, 0.05 * 10000},
  };
  for (const Case& c : cases) {
    PairStudy t;
    fill(*t.s, 0, codes(cosine(2048, 160, 1000, 2048)));  // bin 20 of 256
    fill(*t.s, 1, codes(cosine(2048, 160, c.amplitudeB, 2048, c.delay)));
    t.pair(0, 1, 2);
    t.s->transformKind = c.kind;
    t.e.averagedEpochs = 1;
    t.e.epochSpectra(*t.s, 0, 0);
    EXPECT_NEAR(t.at(0, 20), c.expected, c.tolerance) << "kind " << c.kind << " delay " << c.delay;
    EXPECT_EQ(t.at(0, 0), c.kind == TransformKind::CrossPhase ? 2047 : 0);
  }
}

TEST(PairSpectra, PairKindsWithoutLeadPairsComputeNothing) {
  PairStudy t;
  fill(*t.s, 0, codes(cosine(2048, 80, 1000, 2048)));
  std::fill_n(t.s->parkedChannelData[0], 200, std::int16_t{77});
  t.s->transformKind = TransformKind::Coherence;
  t.s->leadPairCount = 0;
  EXPECT_EQ(t.e.epochSpectra(*t.s, 0, 0), 0);
  EXPECT_EQ(t.s->parkedChannelData[0][10], 77);
}

TEST(PairSpectra, PairNamingAChannelTheRecordLacksGetsNoSpectrum) {
  PairStudy t;
  fill(*t.s, 0, codes(cosine(2048, 80, 1000, 2048)));
  t.pair(0, 1, 9);  // only 4 channels
  t.pair(1, 1, 1);
  t.s->transformKind = TransformKind::CrossSpectrum;
  std::fill_n(t.s->parkedChannelData[0], 200, std::int16_t{77});
  t.e.epochSpectra(*t.s, 0, 0);
  for (int i = 0; i <= 128; ++i) EXPECT_EQ(t.at(0, i), 0) << i;
  EXPECT_NEAR(t.at(1, 10), 2000, kOnePercentOfFullScale);
}

// --- refusals -----------------------------------------------------------------------------------

TEST(EpochSpectra, UnsuitableEpochsAreRefusedWithAReasonAndNothingChanges) {
  struct Case {
    const char* what;
    int epochLength, start;
    TransformKind kind;
    int pairs;
    ViewMode viewMode;
  };
  constexpr auto amplitude = TransformKind::Amplitude;
  constexpr auto signals = ViewMode::Signals;
  const Case cases[] = {
      {"not a power of two", 1000, 0, amplitude, 0, signals},
      {"zero length", 0, 0, amplitude, 0, signals},
      {"too long for one transform", 12288, 0, amplitude, 0, signals},
      {"long epoch for a pair kind", 8192, 0, TransformKind::Coherence, 1, signals},
      {"long phase spectrum", 16384, 0, TransformKind::CrossPhase, 0, signals},
      {"epoch past the record", 256, 1900, amplitude, 0, signals},
      {"negative start", 256, -1, amplitude, 0, signals},
      {"32768 samples never fit a record", 32768, 0, amplitude, 0, signals},
      {"transform view on", 256, 0, amplitude, 0, ViewMode::Transform},
      {"correlation not plugged in", 256, 0, TransformKind::Correlation, 0, signals},
      {"band measure kind", 256, 0, TransformKind::Synchrony, 0, signals},
  };
  for (const Case& c : cases) {
    auto s = study(2, 2048, 256);
    s->epochLength = c.epochLength;
    s->epochStep = 256;
    s->transformKind = c.kind;
    s->leadPairCount = c.pairs;
    s->leadPairs[0] = {1, 2};
    s->viewMode = c.viewMode;
    s->bandCount = 1;
    s->bandTable[0] = {"x", "1", "50"};
    std::fill_n(s->parkedChannelData[0], 300, std::int16_t{55});
    s->resultStore[0] = 99;
    SpectralEngine e;
    EXPECT_FALSE(e.epochProblem(*s, c.start).empty()) << c.what;
    EXPECT_EQ(e.epochSpectra(*s, c.start, 0), -1) << c.what;
    EXPECT_EQ(s->parkedChannelData[0][1], 55) << c.what;
    EXPECT_EQ(s->resultStore[0], 99) << c.what;
  }
}

// --- band measures ------------------------------------------------------------------------------

struct BandStudy {
  std::unique_ptr<StudyState> s = study(1, 256, 128);
  SpectralEngine e;
  BandStudy() {
    s->epochLength = 256;
    s->bandCount = 1;
  }
  int measure(int mode, const char* low, const char* high) {
    s->bandTable[0] = {"b", low, high};
    s->bandMode = mode;
    e.bandMeasures(*s, 0);
    return s->resultGet(0, 0, 0);
  }
  std::int16_t* spectrum() { return s->parkedChannelData[0]; }
};

TEST(BandMeasures, ABandCoversTheBinsOfItsEdges) {
  // 8..13 Hz of a 256-sample epoch at 128 Hz are bins 16..26: the values
  // outside are large and must not count.
  BandStudy t;
  std::fill_n(t.spectrum(), 129, std::int16_t{5000});
  for (int i = 16; i <= 26; ++i) t.spectrum()[i] = 100;
  t.spectrum()[24] = 430;
  EXPECT_EQ(t.measure(0, "8", "13"), 130);  // (10 × 100 + 430) / 11 = 130
  EXPECT_EQ(t.measure(1, "8", "13"), 430);
  EXPECT_EQ(t.measure(3, "8", "13"), 185);  // (24 − 16) / 11 × 255 + 0.5
  EXPECT_EQ(t.measure(1, "8,0", "13.0"), 430) << "comma or point";
  // Mean frequency of a flat band is its middle bin 21: (21 − 16) / 11 × 255 + 0.5
  for (int i = 16; i <= 26; ++i) t.spectrum()[i] = 100;
  EXPECT_EQ(t.measure(2, "8", "13"), 116);
}

TEST(BandMeasures, AnEmptyBandStoresZeroExceptItsLowEdge) {
  BandStudy t;
  std::fill_n(t.spectrum(), 129, std::int16_t{700});
  EXPECT_EQ(t.measure(0, "13", "8"), 0);
  EXPECT_EQ(t.measure(1, "10", "10"), 0);
  EXPECT_EQ(t.measure(2, "13", "8"), 0);
  EXPECT_EQ(t.measure(3, "13", "8"), 26);
  EXPECT_EQ(t.measure(0, "abc", ""), 0) << "cells that are not numbers";
}

TEST(BandMeasures, EdgesOutsideZeroToHalfTheRateStayInsideTheSpectrum) {
  BandStudy t;
  std::fill_n(t.spectrum(), 16386, std::int16_t{30000});
  for (int i = 1; i <= 128; ++i) t.spectrum()[i] = static_cast<std::int16_t>(i);
  EXPECT_EQ(t.measure(1, "-50", "1000"), 128);   // 1 .. 128
  EXPECT_EQ(t.measure(1, "-1e300", "1e300"), 128);
  EXPECT_EQ(t.measure(0, "-50", "0.1"), 0) << "lo and hi both at bin 1: an empty band";
  EXPECT_EQ(t.measure(3, "90", "200"), 128) << "both above half the rate";
  t.s->sampleRate = 0;
  EXPECT_EQ(t.measure(0, "8", "13"), 0);
}

TEST(BandMeasures, PowerWeightsBySquaresAndWritesTheBandPowerLine) {
  auto s = study(2, 256, 128);
  s->epochLength = 256;
  s->transformKind = TransformKind::Power;
  s->bandCount = 2;
  s->bandTable[0] = {"a", "1", "4"};
  s->bandTable[1] = {"b", "8", "13"};
  s->currentBand = 1;
  s->calibUnits[1] = 1000;
  s->calibValue[1] = 50;
  for (int c = 0; c < 2; ++c) std::fill_n(s->parkedChannelData[static_cast<std::size_t>(c)], 129, std::int16_t{100});
  SpectralEngine e;
  e.bandMeasures(*s, 0);
  // W = 11 × 100²: the line shows W / n / units × value / units × value.
  ASSERT_EQ(e.powerLines.size(), 1u);
  std::istringstream line(e.powerLines[0]);
  double row0 = 0, row1 = 0;
  line >> row0 >> row1;
  EXPECT_NEAR(row0, 10000 * (100 / 2047.0) * (100 / 2047.0), 0.01);
  EXPECT_DOUBLE_EQ(row1, 10000 * (50 / 1000.0) * (50 / 1000.0));
  // Every band is stored on one scale (the current band is not divided by
  // 16 apart from the others), and resultValue gives the line's µV².
  EXPECT_EQ(s->resultPowerShift, 0);
  EXPECT_EQ(s->resultGet(1, 0, 0), 10000);
  EXPECT_EQ(s->resultGet(0, 0, 0), 10000);
  EXPECT_DOUBLE_EQ(s->resultValue(1, 1, 0), row1);
}

// Full 16-bit codes (an EDF page at 560 codes per µV): squared amplitudes
// pass the 16-bit store by far; the store keeps them on a binary scale and
// resultValue gives each band's power in µV², strong and weak bands apart.
TEST(BandMeasures, PowersOfFullSixteenBitCodesKeepTheirValues) {
  auto s = study(2, 512, 256);
  s->epochLength = 256;
  s->transformKind = TransformKind::Power;
  s->bandCount = 2;
  s->bandTable[0] = {"alpha", "8", "13"};
  s->bandTable[1] = {"beta2", "20", "30"};
  for (int c = 0; c < 2; ++c) {
    s->zeroLevel[c] = 0;
    s->calibUnits[c] = 28000;
    s->calibValue[c] = 50;  // 560 codes per µV
  }
  // channel 0: 25 µV at 10 Hz and 2 µV at 25 Hz; channel 1: a tenth of that
  for (int c = 0; c < 2; ++c) {
    const double k = c == 0 ? 1.0 : 0.1;
    std::vector<double> x(512);
    for (int i = 0; i < 512; ++i)
      x[static_cast<std::size_t>(i)] = 560 * k * (25 * std::cos(2 * std::numbers::pi * 10 * i / 256.0) + 2 * std::cos(2 * std::numbers::pi * 25 * i / 256.0));
    fill(*s, c, codes(x));
  }
  SpectralEngine e;
  ASSERT_GE(e.epochSpectra(*s, 0, 0), 0);
  EXPECT_GT(s->resultPowerShift, 0);
  // a cosine of amplitude A shows 2A in its bin: (2A)² over the band's bins
  const double alpha = 50.0 * 50 / 6, beta = 4.0 * 4 / 11;
  EXPECT_NEAR(s->resultValue(0, 0, 0), alpha, alpha * 0.01);
  EXPECT_NEAR(s->resultValue(1, 0, 0), beta, beta * 0.01);
  EXPECT_NEAR(s->resultValue(0, 1, 0), alpha / 100, alpha / 100 * 0.01);
  // a second epoch that needs a coarser scale rescales what is stored
  for (int i = 256; i < 512; ++i) s->channel(0)[i] = static_cast<std::int16_t>(s->channel(0)[i] > 0 ? 32000 : -32000);
  ASSERT_GE(e.epochSpectra(*s, 256, 1), 0);
  EXPECT_NEAR(s->resultValue(0, 0, 0), alpha, alpha * 0.01) << "slice 0 on the new scale";
}

TEST(BandMeasures, FirstBandBinsReplaceTheFirstBandOnly) {
  BandStudy t;
  for (int i = 0; i <= 128; ++i) t.spectrum()[i] = static_cast<std::int16_t>(i);
  t.e.firstBandBins = {40, 50};
  EXPECT_EQ(t.measure(1, "8", "13"), 50);
  t.e.firstBandBins = {50, 40};  // not in order: ignored
  EXPECT_EQ(t.measure(1, "8", "13"), 26);
}

TEST(BandMeasures, RowsFollowTheResultStoreAndBandCountStaysOnTheGrid) {
  auto s = study(28, 256, 128);
  s->epochLength = 256;
  s->bandCount = 100;  // more than the grid's rows: only its 30 rows are used
  for (int b = 0; b < kBandRows; ++b) s->bandTable[static_cast<std::size_t>(b)] = {"b", "1", "60"};
  for (int c = 0; c < 28; ++c) std::fill_n(s->parkedChannelData[static_cast<std::size_t>(c)], 129, static_cast<std::int16_t>(c + 1));
  SpectralEngine e;
  e.bandMeasures(*s, 0);
  // 28 channels are kept as 20 rows
  EXPECT_EQ(s->resultStore[(0 * 100 + 29) * 20 + 19], 20);
  EXPECT_EQ(s->resultStore[(0 * 100 + 30) * 20 + 0], 0) << "no band past the grid";
}

// --- interval and record spectra ----------------------------------------------------------------

TEST(IntervalSpectrum, ASelectionNearAPowerOfTwoUsesThatTransformFromTheCursor) {
  auto s = study(1, 4096, 256);
  fill(*s, 0, codes(cosine(4096, 256, 800, 2048)));  // 64 cycles per 1024 samples
  s->cursorPos = 100;
  s->epochLength = 1000;
  SpectralEngine e;
  EXPECT_NEAR(e.intervalSpectrum(*s), 1600, kOnePercentOfFullScale);
  EXPECT_EQ(s->epochLength, 1024);
  EXPECT_EQ(s->epochStep, 1024);
  EXPECT_NEAR(s->parkedChannelData[0][64], 1600, kOnePercentOfFullScale);
  EXPECT_EQ(s->parkedChannelData[0][0], 0);
}

TEST(IntervalSpectrum, OtherSelectionsUseTheOddLengthSpectrum) {
  // 700 samples: M = 701, and a cosine with 50 cycles per 701 samples gives
  // its amplitude at value 50.
  auto s = study(1, 4096, 256);
  std::vector<double> x(4096);
  for (int i = 0; i < 4096; ++i) x[static_cast<std::size_t>(i)] = 2048 + 900 * std::cos(2 * kPi * 50 * (i - 199) / 701.0);
  fill(*s, 0, codes(x));
  s->cursorPos = 200;
  s->epochLength = 700;
  SpectralEngine e;
  EXPECT_NEAR(e.intervalSpectrum(*s), 900, kOnePercentOfFullScale);
  EXPECT_EQ(s->epochLength, 700);
  EXPECT_EQ(s->epochStep, 700);
  const std::int16_t* v = s->parkedChannelData[0];
  EXPECT_NEAR(v[50], 900, kOnePercentOfFullScale);
  EXPECT_EQ(v[0], 0);
  EXPECT_EQ(v[350], 0);  // K = 350: the last value is cleared
  for (int i = 1; i < 350; ++i)
    if (std::abs(i - 50) > 1) {
      EXPECT_LT(v[i], kOnePercentOfFullScale) << i;
    }
}

TEST(IntervalSpectrum, AnOddSelectionReadsNothingPastItsEnd) {
  // 701 samples would take one sample past the interval; what lies there
  // must not change the spectrum.
  std::vector<std::int16_t> results[2];
  for (int variant = 0; variant < 2; ++variant) {
    auto s = study(1, 4096, 256);
    fill(*s, 0, codes(cosine(4096, 300, 500, 2048)));
    s->channelData[0][300 + 701] = variant ? 30000 : -30000;
    s->cursorPos = 300;
    s->epochLength = 701;
    SpectralEngine e;
    ASSERT_GT(e.intervalSpectrum(*s), 0);
    results[variant].assign(s->parkedChannelData[0], s->parkedChannelData[0] + 352);
  }
  EXPECT_EQ(results[0], results[1]);
}

TEST(IntervalSpectrum, APowerOfTwoWindowPastTheRecordFallsBackToTheSelection) {
  auto s = study(1, 1100, 256);
  fill(*s, 0, codes(cosine(1100, 55, 500, 2048)));
  s->cursorPos = 100;
  s->epochLength = 1000;  // a 1024-point transform would run past sample 1099
  SpectralEngine e;
  EXPECT_GT(e.intervalSpectrum(*s), 0);
  EXPECT_EQ(s->epochLength, 1000);
}

TEST(IntervalSpectrum, DegenerateSelectionsChangeNothing) {
  struct Case {
    int cursor, length;
    ViewMode viewMode;
  };
  constexpr auto signals = ViewMode::Signals;
  for (const Case c : {Case{100, 1, signals}, Case{100, 0, signals}, Case{-5, 100, signals}, Case{5000, 100, signals},
                       Case{0, 100, ViewMode::Transform}}) {
    auto s = study(1, 1024, 256);
    s->cursorPos = c.cursor;
    s->epochLength = c.length;
    s->epochStep = 77;
    s->viewMode = c.viewMode;
    SpectralEngine e;
    EXPECT_EQ(e.intervalSpectrum(*s), -1) << c.cursor << "/" << c.length;
    EXPECT_EQ(s->epochLength, c.length);
    EXPECT_EQ(s->epochStep, 77);
  }
}

TEST(RecordSpectrum, WholeRecordOfTheFirstChannel) {
  for (int length : {1000, 999}) {
    auto s = study(2, length, 100);
    const int k = (length + 1) / 2;
    const int m = 2 * k + 1;
    std::vector<double> x(static_cast<std::size_t>(length));
    // cycles per M samples, counted from the duplicated first sample
    for (int i = 0; i < length; ++i) x[static_cast<std::size_t>(i)] = 2048 + 700 * std::cos(2 * kPi * 7 * (i + 1) / m);
    fill(*s, 0, codes(x));
    s->channelData[0][length] = 32000;  // past the record
    SpectralEngine e;
    EXPECT_NEAR(e.recordSpectrum(*s), 700, kOnePercentOfFullScale) << length;
    EXPECT_EQ(s->epochLength, length);
    EXPECT_EQ(s->parkedChannelData[0][0], 0);
    EXPECT_NEAR(s->parkedChannelData[0][7], 700, kOnePercentOfFullScale) << length;
  }
}

TEST(OddLengthSpectrum, MatchesAPlainDftOfTheExtendedSequence) {
  std::mt19937 rng(3);
  std::uniform_int_distribution<int> code(0, 4095);
  std::vector<std::int16_t> x(300);
  for (auto& v : x) v = static_cast<std::int16_t>(code(rng));
  std::vector<std::int16_t> out(200);
  const int k = SpectralEngine::oddLengthSpectrum(x.data(), 300, out.data());
  ASSERT_EQ(k, 150);
  std::vector<double> z{static_cast<double>(x[0])};
  z.insert(z.end(), x.begin(), x.end());  // M = 301
  for (int i = 1; i <= k; ++i)
    EXPECT_NEAR(out[static_cast<std::size_t>(i)], referenceAmplitude(z, static_cast<std::size_t>(i)) / 2, 1.0) << i;
  EXPECT_EQ(SpectralEngine::oddLengthSpectrum(x.data(), 1, out.data()), -1);
}

// --- the transform view -------------------------------------------------------------------------

TEST(ShowEpochSpectra, EntersTheTransformViewAndReentersOnNavigation) {
  auto s = study(2, 2048, 256);
  fill(*s, 0, codes(cosine(2048, 160, 1000, 2048)));
  fill(*s, 1, codes(cosine(2048, 320, 500, 2048)));
  s->epochLength = s->epochStep = 256;
  s->transformKind = TransformKind::Amplitude;
  SpectralEngine e;
  std::string problem;
  ASSERT_TRUE(showEpochSpectra(e, *s, 800, problem)) << problem;
  EXPECT_EQ(s->viewMode, ViewMode::Transform);
  EXPECT_EQ(s->recordLength, 128);
  EXPECT_NEAR(s->channelData[0][20], 2000, kOnePercentOfFullScale);
  EXPECT_EQ(s->parkedChannelData[0][0], 2048 + 1000) << "the signals are parked";

  s->currentEpoch = 3;
  ASSERT_TRUE(showEpochSpectra(e, *s, 800, problem)) << problem;
  EXPECT_EQ(s->viewMode, ViewMode::Transform);
  EXPECT_NEAR(s->channelData[1][40], 1000, kOnePercentOfFullScale);

  s->currentEpoch = 100;  // past the record
  EXPECT_FALSE(showEpochSpectra(e, *s, 800, problem));
  EXPECT_FALSE(problem.empty());
  EXPECT_EQ(s->viewMode, ViewMode::Signals);
  EXPECT_EQ(s->recordLength, 2048);
  EXPECT_EQ(s->channelData[0][0], 2048 + 1000) << "the signals are back";
}

// --- real EEG -----------------------------------------------------------------------------------

TEST(EpochSpectra, RealEegAgreesWithTheFloatingReference) {
  // 19 leads of resting EEG at 500 Hz, stored with the full 16-bit digital
  // range: the transform halves often, and must still follow the plain DFT
  // at every bin. 1% of that range would be 655 codes; the rounding stays
  // near ten, so a tenth of a percent is asked.
  const std::string path = velor::test::sharedData("eegmat/Subject00_1.edf");
  if (path.empty()) GTEST_SKIP() << "shared recordings not present";
  auto s = std::make_unique<StudyState>();
  ScriptedInteraction ui;
  ASSERT_TRUE(openFile(*s, FileKind::Records, path, ui)) << (ui.messages.empty() ? "" : ui.messages[0]);
  ASSERT_GE(s->recordLength, 4 * 512);
  constexpr double kTolerance = 65536 * 0.001;
  for (int n : {512, 1024}) {
    s->epochLength = s->epochStep = n;
    s->transformKind = TransformKind::Amplitude;
    SpectralEngine e;
    for (int epoch = 0; epoch < 3; ++epoch) {
      ASSERT_GE(e.epochSpectra(*s, epoch * n, 0), 0);
      for (int c = 0; c < std::min(s->channelCount, 19); ++c) {
        const std::int16_t* x = s->channelData[static_cast<std::size_t>(c)] + epoch * n;
        const std::vector<double> xd(x, x + n);
        const std::int16_t* a = s->parkedChannelData[static_cast<std::size_t>(c)];
        double referencePeak = 0;
        std::vector<double> reference(static_cast<std::size_t>(n / 2 + 1));
        for (int i = 1; i <= n / 2; ++i) {
          reference[static_cast<std::size_t>(i)] = referenceAmplitude(xd, static_cast<std::size_t>(i));
          referencePeak = std::max(referencePeak, reference[static_cast<std::size_t>(i)]);
          ASSERT_NEAR(a[i], reference[static_cast<std::size_t>(i)], kTolerance) << "n " << n << " channel " << c << " bin " << i;
        }
        // The largest bin is the reference's, up to bins the rounding cannot tell apart.
        const int peakBin = static_cast<int>(std::max_element(a + 1, a + n / 2 + 1) - a);
        EXPECT_NEAR(reference[static_cast<std::size_t>(peakBin)], referencePeak, 2 * kTolerance / 10)
            << "n " << n << " channel " << c;
      }
    }
  }
}

// --- the demo study -----------------------------------------------------------------------------

TEST(BandMeasures, AlphaOfTheDemoStudyPeaksPosteriorly) {
  auto s = std::make_unique<StudyState>();
  DemoStudyOptions o;
  setupDemoStudy(*s, o);
  synthesizeDemoRecord(*s, o, 0);
  ASSERT_TRUE(installDefaultBands(*s));
  s->epochLength = s->epochStep = 256;
  s->normaliseEpochGrid();
  s->transformKind = TransformKind::Amplitude;
  s->bandMode = 0;
  const auto channel = [&](const char* name) {
    for (int c = 0; c < s->channelCount; ++c)
      if (s->channelNames[static_cast<std::size_t>(c)] == name) return c;
    ADD_FAILURE() << name;
    return 0;
  };
  constexpr int kAlpha = 2;
  ASSERT_EQ(s->bandTable[kAlpha].low, "8");
  std::vector<double> alpha(static_cast<std::size_t>(s->channelCount));
  SpectralEngine e;
  for (int k = 0; k < s->epochCount; ++k) {
    ASSERT_GE(e.epochSpectra(*s, k * s->epochStep, 0), 0);
    for (int c = 0; c < s->channelCount; ++c) alpha[static_cast<std::size_t>(c)] += s->resultValue(kAlpha, c, 0);
  }
  const double o1 = alpha[static_cast<std::size_t>(channel("O1"))], o2 = alpha[static_cast<std::size_t>(channel("O2"))];
  const double fp1 = alpha[static_cast<std::size_t>(channel("Fp1"))], fp2 = alpha[static_cast<std::size_t>(channel("Fp2"))];
  EXPECT_GT(std::min(o1, o2), 2 * std::max(fp1, fp2)) << o1 << " " << o2 << " " << fp1 << " " << fp2;
  // and the alpha band holds the largest mean amplitude at O1
  s->bandMode = 0;
  e.epochSpectra(*s, 0, 0);
  const int o1Row = channel("O1");
  for (int b = 0; b < s->bandCount; ++b)
    if (b != kAlpha) {
      EXPECT_GT(s->resultValue(kAlpha, o1Row, 0), s->resultValue(b, o1Row, 0)) << b;
    }
}

}  // namespace
