// Recursive (IIR) digital filters: Butterworth, Chebyshev type I and type II
// designs, each as low-pass, high-pass, band-pass or band-stop, made by the
// bilinear transform of a normalised analog prototype; their magnitude
// response; and sample-by-sample filtering through a cascade of first- and
// second-order sections with integer output. The online mains filters, the
// amplifier's extra filter and the record transformations all share it.
//
// Frequencies are fractions of the sampling rate (cycles per sample).
#pragma once

#include <array>
#include <string>

namespace velor {

// A design holds at most this many poles; band designs have twice the
// requested order in poles, so their order stops at half of it.
inline constexpr int kMaxFilterPoles = 40;
// Reals of a design record: pole count, gain, then the section coefficients.
inline constexpr int kFilterRecordSlots = 83;

// Design codes: group base + kind.
enum FilterCode : int {
  kButterworthLowPass = 1,
  kButterworthHighPass = 2,
  kButterworthBandPass = 3,
  kButterworthBandStop = 4,
  kChebyshev1LowPass = 5,
  kChebyshev1HighPass = 6,
  kChebyshev1BandPass = 7,
  kChebyshev1BandStop = 8,
  kChebyshev2LowPass = 9,
  kChebyshev2HighPass = 10,
  kChebyshev2BandPass = 11,
  kChebyshev2BandStop = 12,
};

// 0 low-pass, 1 high-pass, 2 band-pass, 3 band-stop (−1 for an unknown code).
int filterKind(int code);
// High-pass and band-pass designs remove the constant component of a signal.
bool filterBlocksConstant(int code);

// The design record. When `poles` is odd, coeffs[0..1] is the first-order
// section (a1, b1); then poles/2 second-order sections of (a1, a2, b1, b2).
// A section is (1 + b1·z⁻¹ [+ b2·z⁻²]) / (1 + a1·z⁻¹ [+ a2·z⁻²]).
struct FilterDesign {
  int poles = 0;
  double gain = 1.0;  // applied to the input
  std::array<double, kFilterRecordSlots - 2> coeffs{};

  bool hasFirstOrder() const { return (poles & 1) != 0; }
  int secondOrderCount() const { return poles / 2; }
};

// Delay values of the sections: w1 for the first-order section, then
// (w[n−2], w[n−1]) per second-order section. A new state is all zeros.
struct FilterState {
  std::array<double, kMaxFilterPoles> delays{};
  void reset() { delays.fill(0.0); }
};

// Fills `record` with the design of `order` (see FilterCode). Low-pass and
// high-pass take f2 as the corner; band designs take f1 as the upper and f2
// as the lower edge. `eps` is the ripple parameter of the Chebyshev designs
// (ignored by Butterworth). A design that cannot be made (unknown code, order
// outside what a record holds, edges in the wrong order, a corner at 0 or at
// or beyond half the sampling rate, a Chebyshev ripple that is not positive)
// leaves `record` unchanged, returns false and says why in `reason` (UTF-8).
// Equal band-stop edges are accepted: the band is empty and the filter passes
// everything.
bool designFilter(FilterDesign& record, int order, int code, double eps, double f1, double f2,
                  std::string* reason = nullptr);

// One sample through the cascade; the output rounded to the nearest integer
// (ties to even), limited to the range of int. No allocation, no branches
// outside the section loop.
int filterSample(const FilterDesign& record, FilterState& state, int input);

// Puts `state` into the steady state of a constant `input` so that the first
// samples of a signal do not carry the filter's step response (a zero state
// would see a jump from 0 to the signal level). Returns the steady output.
int settleFilter(const FilterDesign& record, FilterState& state, int input);

// Squared magnitude |H|² at frequency f.
double filterResponse(const FilterDesign& record, double f);

}  // namespace velor
