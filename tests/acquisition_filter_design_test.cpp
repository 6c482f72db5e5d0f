// IIR filter designs checked against an independent description of the same
// filters: the closed-form magnitude of the analog prototype (Butterworth,
// Chebyshev I, Chebyshev II) carried through the low-pass → low/high/band
// frequency maps and the bilinear frequency warping. No poles, no sections:
// if the engine's pole placement, numerators, gain or evaluation are wrong,
// the two disagree.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <numbers>
#include <string>
#include <vector>

#include "acquisition/filter_design.h"

using namespace velor;

namespace {

struct Params {
  int code;
  int order;
  double eps;
  double f1;
  double f2;
};

std::string describe(const Params& p) {
  return "code " + std::to_string(p.code) + " order " + std::to_string(p.order) + " eps " + std::to_string(p.eps) +
         " f1 " + std::to_string(p.f1) + " f2 " + std::to_string(p.f2);
}

// Chebyshev polynomial T_n(x) squared, for any real x.
double chebyshevSquared(int n, double x) {
  const double ax = std::fabs(x);
  const double t = ax <= 1.0 ? std::cos(n * std::acos(ax)) : std::cosh(n * std::acosh(ax));
  return t * t;
}

// |H|² of the digital filter at f, from the analog magnitude |Ha(jΩ)|² with
// Ω obtained from the warped digital frequency W = tan(πf).
double referenceResponse(const Params& p, double f) {
  const double pi = std::numbers::pi;
  const double W = std::tan(pi * f);
  const int kind = (p.code - 1) % 4;
  double omega = 0;  // normalised prototype frequency
  if (kind < 2) {
    const double wc = std::tan(pi * p.f2);
    omega = kind == 0 ? W / wc : wc / W;
  } else {
    const double wu = std::tan(pi * p.f1), wl = std::tan(pi * p.f2);
    const double bw = wu - wl, c = wu * wl;
    omega = kind == 2 ? (W * W - c) / (bw * W) : (bw * W) / (c - W * W);
  }
  const int n = p.order;
  if (p.code <= 4) return 1.0 / (1.0 + std::pow(omega * omega, n));
  const double e2 = p.eps * p.eps;
  if (p.code <= 8) {
    // Type I, scaled so that the pass-band ripple is centred on 1.
    return (1.0 + e2 / 2.0) / (1.0 + e2 * chebyshevSquared(n, omega));
  }
  // Type II: flat pass band, equiripple stop band beyond Ω = 1.
  const double q = e2 * chebyshevSquared(n, 1.0 / omega);
  return 1.0 / (1.0 + 1.0 / q);
}

FilterDesign design(const Params& p) {
  FilterDesign d;
  std::string why;
  EXPECT_TRUE(designFilter(d, p.order, p.code, p.eps, p.f1, p.f2, &why)) << describe(p) << ": " << why;
  return d;
}

std::vector<Params> designTable() {
  std::vector<Params> t;
  for (int code = 1; code <= 12; ++code) {
    const bool band = (code - 1) % 4 >= 2;
    for (int order : {1, 2, 3, 6, 11}) {
      for (double eps : {0.5, 0.1}) {
        if (code <= 4 && eps != 0.5) continue;  // ripple means nothing to Butterworth
        if (band) {
          t.push_back({code, order, eps, 0.3, 0.12});
          t.push_back({code, order, eps, 0.056, 0.044});
        } else {
          t.push_back({code, order, eps, 0, 0.1});
          t.push_back({code, order, eps, 0, 0.37});
        }
      }
    }
    // The largest designs a record holds.
    t.push_back(band ? Params{code, 20, 0.3, 0.25, 0.2} : Params{code, 40, 0.3, 0, 0.2});
  }
  return t;
}

TEST(FilterDesign, MagnitudeMatchesIndependentBilinearDesign) {
  for (const Params& p : designTable()) {
    const FilterDesign d = design(p);
    const bool band = (p.code - 1) % 4 >= 2;
    ASSERT_EQ(d.poles, band ? 2 * p.order : p.order) << describe(p);
    for (int i = 0; i < 200; ++i) {
      const double f = (i + 0.37) / 200.0 * 0.5;
      const double want = referenceResponse(p, f);
      const double got = filterResponse(d, f);
      // The engine's truncated π shifts its frequencies by a few parts in
      // 10⁸; near Nyquist and beside the stop-band zeros that is the slack.
      ASSERT_NEAR(got, want, 5e-5 * std::max(got, want) + 1e-9) << describe(p) << " at f " << f;
    }
  }
}

// Least-squares amplitude of a sinusoid of frequency f in y[from..].
double toneAmplitude(const std::vector<int>& y, std::size_t from, double f) {
  double sc = 0, ss = 0;
  const std::size_t n = y.size() - from;
  for (std::size_t i = from; i < y.size(); ++i) {
    const double a = 2 * std::numbers::pi * f * static_cast<double>(i);
    sc += y[i] * std::cos(a);
    ss += y[i] * std::sin(a);
  }
  return 2.0 * std::hypot(sc, ss) / static_cast<double>(n);
}

// The sample-by-sample cascade must realise the transfer function whose
// magnitude filterResponse reports: a steady tone comes out scaled by |H|.
TEST(FilterDesign, FilteringScalesATonesByTheResponse) {
  const Params designs[] = {
      {kButterworthLowPass, 3, 0, 0, 0.1},       {kButterworthHighPass, 5, 0, 0, 0.08},
      {kButterworthBandStop, 4, 0, 0.054, 0.046}, {kChebyshev1BandPass, 3, 0.5, 0.15, 0.1},
      {kChebyshev1LowPass, 4, 0.5, 0, 0.12},     {kChebyshev2HighPass, 5, 0.1, 0, 0.2},
      {kChebyshev2BandPass, 3, 0.1, 0.2, 0.1},    {kChebyshev2LowPass, 6, 0.1, 0, 0.15},
  };
  const double tones[] = {1.0 / 40, 1.0 / 20, 1.0 / 8, 1.0 / 5, 3.0 / 8};
  const double amplitude = 10000;
  for (const Params& p : designs) {
    const FilterDesign d = design(p);
    for (double f : tones) {
      FilterState st;
      std::vector<int> y(24000);
      for (std::size_t i = 0; i < y.size(); ++i)
        y[i] = filterSample(d, st, static_cast<int>(std::lround(amplitude * std::sin(2 * std::numbers::pi * f * i))));
      const double got = toneAmplitude(y, 16000, f);
      const double want = amplitude * std::sqrt(filterResponse(d, f));
      EXPECT_NEAR(got, want, 1.5 + 1e-4 * want) << describe(p) << " tone " << f;
    }
  }
}

TEST(FilterDesign, FirstOrderButterworthAtAQuarterAveragesNeighbours) {
  FilterDesign d;
  ASSERT_TRUE(designFilter(d, 1, kButterworthLowPass, 0, 0, 0.25));
  EXPECT_EQ(d.poles, 1);
  EXPECT_TRUE(d.hasFirstOrder());
  EXPECT_EQ(d.coeffs[1], 1.0);
  const double w = std::tan(3.1415926 * 0.25);
  EXPECT_NEAR(d.coeffs[0], (w - 1) / (w + 1), 1e-15);
  FilterState st;
  const int in[] = {100, 300, 500, -700, 2048, 2048, 4000};
  int prev = 0;
  for (int x : in) {
    EXPECT_EQ(filterSample(d, st, x), (x + prev) / 2);
    prev = x;
  }
}

TEST(FilterDesign, MainsBandStopHasFourSectionsAndRemovesTheMains) {
  const double r = 1000;
  FilterDesign d;
  ASSERT_TRUE(designFilter(d, 4, kButterworthBandStop, 0, 54 / r, 46 / r));
  EXPECT_EQ(d.poles, 8);
  EXPECT_FALSE(d.hasFirstOrder());
  EXPECT_EQ(d.secondOrderCount(), 4);
  EXPECT_NEAR(filterResponse(d, 0), 1.0, 1e-12);
  EXPECT_LT(filterResponse(d, 50 / r), 1e-10);
  EXPECT_NEAR(filterResponse(d, 20 / r), 1.0, 1e-3);
}

// Low-pass designs normalised at f = 0 pass a constant unchanged once
// settled, whether the state starts at zero and is run long enough or is
// put into the steady state of the first sample at once.
TEST(FilterDesign, LowPassKeepsAConstant) {
  const Params lows[] = {
      {kButterworthLowPass, 1, 0, 0, 0.02},     {kButterworthLowPass, 4, 0, 0, 0.1},
      {kButterworthLowPass, 7, 0, 0, 0.3},      {kButterworthLowPass, 40, 0, 0, 0.2},
      {kChebyshev2LowPass, 3, 0.1, 0, 0.05},   {kChebyshev2LowPass, 6, 0.01, 0, 0.2},
      {kChebyshev2LowPass, 9, 0.3, 0, 0.4},
      // The stop-band filters pass f = 0 with gain 1 as well.
      {kButterworthBandStop, 4, 0, 0.054, 0.046}, {kChebyshev2BandStop, 3, 0.1, 0.3, 0.1},
  };
  for (const Params& p : lows) {
    const FilterDesign d = design(p);
    for (int level : {2048, 0, -3000, 4095}) {
      FilterState st;
      int y = 0;
      for (int i = 0; i < 20000; ++i) y = filterSample(d, st, level);
      EXPECT_EQ(y, level) << describe(p) << " from a zero state";
      FilterState settled;
      EXPECT_EQ(settleFilter(d, settled, level), level) << describe(p);
      for (int i = 0; i < 200; ++i) ASSERT_EQ(filterSample(d, settled, level), level) << describe(p) << " sample " << i;
    }
  }
}

TEST(FilterDesign, ButterworthHighPassKeepsAnAlternatingSequence) {
  for (int order : {1, 2, 5, 8}) {
    for (double corner : {0.05, 0.2, 0.4}) {
      FilterDesign d;
      ASSERT_TRUE(designFilter(d, order, kButterworthHighPass, 0, 0, corner));
      FilterState st;
      int sign = 1;
      for (int i = 0; i < 6000; ++i, sign = -sign) {
        const int y = filterSample(d, st, 1500 * sign);
        if (i >= 5000) {
          ASSERT_EQ(y, 1500 * sign) << "order " << order << " corner " << corner;
        }
      }
      // A constant is removed: a settled high-pass gives 0 from the start.
      FilterState settled;
      EXPECT_EQ(settleFilter(d, settled, 2048), 0);
      EXPECT_EQ(filterSample(d, settled, 2048), 0);
    }
  }
}

TEST(FilterDesign, ChebyshevTypeOneCentresItsRippleOnOne) {
  const double eps = 0.5, top = 1 + eps * eps / 2, bottom = top / (1 + eps * eps);
  for (int order : {3, 4}) {
    FilterDesign d;
    ASSERT_TRUE(designFilter(d, order, kChebyshev1LowPass, eps, 0, 0.2));
    double hi = 0, lo = 10;
    for (int i = 0; i <= 4000; ++i) {
      const double h = filterResponse(d, 0.2 * i / 4000.0);
      hi = std::max(hi, h);
      lo = std::min(lo, h);
    }
    EXPECT_NEAR(hi, top, 1e-5) << order;
    EXPECT_NEAR(lo, bottom, 1e-5) << order;
    EXPECT_NEAR(filterResponse(d, 0), order % 2 ? top : bottom, 1e-9) << order;
  }
}

TEST(FilterDesign, EqualBandStopEdgesGiveAFilterThatPassesEverything) {
  FilterDesign d;
  std::string why;
  ASSERT_TRUE(designFilter(d, 1, kButterworthBandStop, 0, 0.03, 0.03, &why)) << why;
  EXPECT_EQ(d.poles, 2);
  for (double f : {0.0, 0.01, 0.1, 0.25, 0.49}) EXPECT_NEAR(filterResponse(d, f), 1.0, 1e-9) << f;
  FilterState st;
  settleFilter(d, st, 2048);
  for (int i = 0; i < 1000; ++i) {
    const int x = 2048 + static_cast<int>(std::lround(700 * std::sin(0.37 * i)));
    ASSERT_EQ(filterSample(d, st, x), x) << i;
  }
}

TEST(FilterDesign, RefusesDesignsItCannotMakeAndKeepsTheRecord) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const Params refused[] = {
      {0, 2, 0, 0, 0.1},                         // unknown codes
      {13, 2, 0, 0, 0.1},
      {-1, 2, 0, 0, 0.1},
      {kButterworthLowPass, 0, 0, 0, 0.1},       // no order
      {kButterworthLowPass, -3, 0, 0, 0.1},
      {kButterworthLowPass, 41, 0, 0, 0.1},      // more poles than a record holds
      {kChebyshev2HighPass, 41, 0.1, 0, 0.1},
      {kButterworthBandPass, 21, 0, 0.3, 0.1},   // band: 42 poles
      {kChebyshev1BandStop, 21, 0.5, 0.3, 0.1},
      {kButterworthBandPass, 2, 0, 0.1, 0.3},    // edges in the wrong order
      {kChebyshev2BandStop, 2, 0.1, 0.1, 0.3},
      {kButterworthBandPass, 2, 0, 0.2, 0.2},    // a pass band of no width
      {kButterworthBandPass, 2, 0, 0.2, 0},      // lower edge 0: infinite gain at the centre
      {kButterworthBandStop, 2, 0, 0.2, 0},
      {kChebyshev1BandStop, 2, 0.5, 0.2, 0},
      {kButterworthLowPass, 2, 0, 0, 0},         // corner 0
      {kChebyshev2LowPass, 2, 0.1, 0, 0},
      {kButterworthHighPass, 2, 0, 0, 0},
      {kButterworthLowPass, 2, 0, 0, -0.1},      // outside 0 .. 0.5
      {kButterworthLowPass, 2, 0, 0, 0.5},
      {kButterworthBandPass, 2, 0, 0.6, 0.1},
      {kButterworthLowPass, 2, 0, 0, nan},
      {kButterworthBandStop, 2, 0, nan, 0.1},
      {kChebyshev1LowPass, 2, 0, 0, 0.1},        // Chebyshev ripple not positive
      {kChebyshev2LowPass, 2, -0.1, 0, 0.1},
      {kChebyshev1HighPass, 2, nan, 0, 0.1},
      {kChebyshev2BandPass, 2, std::numeric_limits<double>::infinity(), 0.3, 0.1},
  };
  FilterDesign before;
  ASSERT_TRUE(designFilter(before, 3, kChebyshev1BandPass, 0.5, 0.3, 0.1));
  for (const Params& p : refused) {
    FilterDesign d = before;
    std::string why;
    EXPECT_FALSE(designFilter(d, p.order, p.code, p.eps, p.f1, p.f2, &why)) << describe(p);
    EXPECT_FALSE(why.empty()) << describe(p);
    EXPECT_EQ(d.poles, before.poles);
    EXPECT_EQ(d.gain, before.gain);
    EXPECT_EQ(std::memcmp(d.coeffs.data(), before.coeffs.data(), sizeof d.coeffs), 0) << describe(p);
  }
}

TEST(FilterDesign, OutputRoundsHalvesToEvenAndStaysInsideInt) {
  FilterDesign half;  // no sections: the output is the input times the gain
  half.gain = 0.5;
  FilterState st;
  const int in[] = {1, 3, 5, 7, -1, -3, -5, 2, 4097};
  const int out[] = {0, 2, 2, 4, 0, -2, -2, 1, 2048};
  for (std::size_t i = 0; i < std::size(in); ++i) EXPECT_EQ(filterSample(half, st, in[i]), out[i]) << in[i];
  FilterDesign huge;
  huge.gain = 1e12;
  EXPECT_EQ(filterSample(huge, st, 5000), std::numeric_limits<int>::max());
  EXPECT_EQ(filterSample(huge, st, -5000), std::numeric_limits<int>::min());
}

TEST(FilterDesign, ARecordWithAnImpossiblePoleCountStaysInsideItsArrays) {
  FilterDesign d;
  d.poles = 5000;
  d.gain = 0;
  FilterState st;
  EXPECT_EQ(filterSample(d, st, 1234), 0);
  EXPECT_EQ(filterResponse(d, 0.1), 0.0);
  d.poles = -7;
  d.gain = 1;
  EXPECT_EQ(filterSample(d, st, 1234), 1234);
}

}  // namespace
