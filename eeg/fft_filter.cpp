// FFT filters: forward transform of a segment, edit of the Hartley bins,
// inverse by the same transform, re-centring on the zero level, and the
// joins between overlapping segments.
#include "eeg/fft_filter.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>

namespace velor {

namespace {

constexpr int kSegmentOverlap = 16;  // samples shared by neighbouring segments
constexpr int kStopPassRamp = 16;    // join ramp of the band-stop and band-pass
constexpr int kGaussRamp = 8;        // join ramp of the Gaussian

inline std::int16_t saturate16(long long v) {
  return static_cast<std::int16_t>(std::clamp<long long>(v, -32768, 32767));
}

int largestPowerOfTwo(int limit) {
  int n = 1;
  while (n * 2 <= limit) n *= 2;
  return n;
}

// The overlap actually used: 16 samples, but never half a segment or more, so
// the short segments of the Gaussian on short records still move forward.
int overlapFor(int h) { return std::min(kSegmentOverlap, h / 2); }

// Which bins a filter touches for segments of h samples; a pure function of
// the band, so the whole record gets the same edit.
struct BinPlan {
  // Band-stop: one run of bins; band-pass: bins 1..lowCount and a run at the top.
  int runFirst = 0;
  int runCount = 0;
  int lowCount = 0;
  // Gaussian, in bins.
  double centre = 0;
  double halfWidth = 0;
  bool changes = false;
};

BinPlan planBins(FftFilterKind kind, int h, double low, double high) {
  BinPlan p;
  const double n = h;
  switch (kind) {
    case FftFilterKind::kBandStop: {
      // At least one bin when the band starts below the first one but reaches past it.
      if (n * low < 1 && n * high > 1) low = 1.0 / n;
      p.runCount = static_cast<int>(std::trunc(n * (high - low) + 0.9));
      p.runFirst = static_cast<int>(std::trunc(n * low + 0.9));
      p.changes = p.runCount > 0 && p.runFirst <= h / 2;
      break;
    }
    case FftFilterKind::kBandPass: {
      p.lowCount = std::max(0, static_cast<int>(std::trunc(n * low - 1 + 0.9)));
      p.runCount = static_cast<int>(std::trunc(n * (0.5 - high) + 0.9));
      p.runFirst = static_cast<int>(std::trunc(n * high + 0.9));
      p.changes = p.lowCount > 0 || (p.runCount > 0 && p.runFirst <= h / 2);
      break;
    }
    case FftFilterKind::kGauss: {
      const double t = low * n, u = high * n;
      p.centre = (t + u) / 2;
      p.halfWidth = (u - t) / 2;
      // A band of no width has no Gaussian: nothing to weight.
      p.changes = p.halfWidth > 0;
      break;
    }
  }
  return p;
}

// Applies the plan to the transform in fhtWork.
void applyPlan(SpectralEngine& e, FftFilterKind kind, const BinPlan& p) {
  if (!p.changes) return;
  switch (kind) {
    case FftFilterKind::kBandStop:
      zeroBins(e, p.runFirst, p.runCount);
      break;
    case FftFilterKind::kBandPass:
      zeroBins(e, 1, p.lowCount);
      zeroBins(e, p.runFirst, p.runCount);
      break;
    case FftFilterKind::kGauss: {
      const int h = e.fhtSize();
      std::int16_t* x = e.fhtWork();
      for (int k = 0; k <= h / 2; ++k) {
        const double r = (p.centre - k) / p.halfWidth;
        const double g = -std::numbers::ln2 * r * r;
        // The constant part never passes: the result is put on the zero level
        // afterwards, whatever the band's distance from 0 Hz.
        const double w = (g < -7 || k == 0) ? 0.0 : std::exp(g);
        auto weigh = [&](int i) {
          x[i] = w == 0 ? std::int16_t{0} : saturate16(static_cast<long long>(std::trunc(x[i] * w + 0.5)));
        };
        weigh(k);
        if (k >= 1 && k < h / 2) weigh(h - k);
      }
      break;
    }
  }
}

}  // namespace

int fftSegmentLength(FftFilterKind kind, int recordLength) {
  if (recordLength < 2) return 0;
  if (kind == FftFilterKind::kGauss) return largestPowerOfTwo(std::min(recordLength, kFhtMaxSize));
  const int f = largestPowerOfTwo(std::min(recordLength, kFhtMaxSize));
  return f < kFhtMaxSize ? 2 * f : kFhtMaxSize;
}

int fftNextSegment(int start, int length, int h) {
  if (h < 2) return -1;
  int o = start + h;
  if (o < length) o -= overlapFor(h);
  const int distance = length - o;
  if (distance < h) o = length - h;
  return distance > 0 ? o : -1;
}

void zeroBins(SpectralEngine& e, int first, int count) {
  const int n = e.fhtSize();
  if (count <= 0 || n < 2) return;
  std::int16_t* x = e.fhtWork();
  const int from = std::max(first, 0);
  const int to = std::min(first + count - 1, n / 2);
  for (int k = from; k <= to; ++k) {
    x[k] = 0;
    x[(n - k) % n] = 0;
  }
}

void inverseTransform(SpectralEngine& e) {
  const int forwardExponent = e.fhtExponent();
  e.fhtTransform(e.fhtSize());
  const int n = e.fhtSize();
  std::int16_t* x = e.fhtWork();
  const int shift = e.fhtOrder() - (forwardExponent + e.fhtExponent());
  if (shift >= 0) {
    for (int i = 0; i < n; ++i) x[i] = static_cast<std::int16_t>(x[i] >> std::min(shift, 15));
  } else {
    const int up = std::min(-shift, 16);
    for (int i = 0; i < n; ++i) x[i] = saturate16(static_cast<long long>(x[i]) * (1LL << up));
  }
}

bool fftEditSpectrum(SpectralEngine& e, FftFilterKind kind, double low, double high) {
  const BinPlan p = planBins(kind, e.fhtSize(), low, high);
  applyPlan(e, kind, p);
  return p.changes;
}

void fftFilterTrace(SpectralEngine& e, FftFilterKind kind, std::int16_t* x, int length, int zeroLevel, double low,
                    double high) {
  if (x == nullptr || length < 2 || length > kMaxSamples) return;
  if (std::isnan(low) || std::isnan(high)) return;
  low = std::clamp(low, 0.0, 0.5);
  high = std::clamp(high, 0.0, 0.5);
  if (low > high) std::swap(low, high);

  const int h = fftSegmentLength(kind, length);
  const BinPlan plan = planBins(kind, h, low, high);
  if (!plan.changes) return;  // an empty band: the trace stays exactly as it was

  // The copy every segment is taken from; a short record is mirrored out to
  // h samples there (sample L + i takes sample L − 1 − i), never in x itself.
  std::int16_t* copy = e.traceCopy();
  std::copy(x, x + length, copy);
  const int span = std::max(length, h);
  for (int i = 0; length + i < span; ++i) copy[length + i] = copy[length - 1 - i];

  const bool gauss = kind == FftFilterKind::kGauss;
  const int ramp = std::min(gauss ? kGaussRamp : kStopPassRamp, overlapFor(h));
  std::int16_t* w = e.fhtWork();
  std::int16_t* first = e.traceCopy() + kMaxSamples;  // the first of the two passes of a segment
  for (int o = 0; o >= 0; o = fftNextSegment(o, span, h)) {
    // The segment's mean comes out first: the constant part would otherwise
    // set the block exponent and cost the rest of the spectrum its
    // precision. Every filter puts the segment on the zero level afterwards,
    // so the mean does not come back.
    long long sum = 0;
    int lo = 32767, hi = -32768;
    for (int i = 0; i < h; ++i) {
      sum += copy[o + i];
      lo = std::min<int>(lo, copy[o + i]);
      hi = std::max<int>(hi, copy[o + i]);
    }
    int mean = static_cast<int>(std::lround(static_cast<double>(sum) / h));
    // The negated copy below must fit 16 bits as well.
    if (hi - mean > 32767 || lo - mean < -32767) mean = 0;
    const bool paired = hi - mean <= 32767 && lo - mean >= -32767;

    // The fixed-point transform rounds its products down, and through the
    // forward and the inverse transform this bias piles up near the
    // segment's first samples (a hundred codes and more for a strong
    // rhythm). The same filter on the negated samples rounds the other way;
    // the mean of the two passes is free of the bias.
    for (int pass = 0; pass < (paired ? 2 : 1); ++pass) {
      const int sign = pass == 0 ? 1 : -1;
      for (int j = 0; j < h; ++j) w[j] = static_cast<std::int16_t>(sign * (copy[o + j] - mean));
      e.fhtTransform(h);
      applyPlan(e, kind, plan);
      inverseTransform(e);
      if (pass == 0 && paired) std::copy(w, w + h, first);
    }
    if (paired)
      for (int j = 0; j < h; ++j) w[j] = static_cast<std::int16_t>(std::lround((first[j] - w[j]) / 2.0));

    // Back on the zero level: the band-stop and band-pass segments get the
    // zero level as their mean; the Gaussian has no constant part left.
    long long shift = zeroLevel;
    if (!gauss) {
      long long total = 0;
      for (int i = 0; i < h; ++i) total += w[i];
      shift -= static_cast<long long>(std::trunc(static_cast<double>(total) / h + 0.5));
    }
    for (int i = 0; i < h; ++i) w[i] = saturate16(w[i] + shift);

    if (o == 0) {
      // The mirrored extension is not part of the record.
      std::copy(w, w + std::min(h, length), x);
      continue;
    }
    // Join: over the first `ramp` samples the weight passes linearly from
    // the previous segment (which holds o) to this one, then this segment.
    // (A straight line from sample o to this segment's sample `ramp` would
    // replace a stretch of the signal: at 250 Hz, 16 samples are most of an
    // alpha wave.)
    for (int i = 1; i < ramp; ++i) {
      const double blended = (x[o + i] * static_cast<double>(ramp - i) + w[i] * static_cast<double>(i)) / ramp;
      x[o + i] = saturate16(static_cast<long long>(std::lround(blended)));
    }
    std::copy(w + ramp, w + h, x + o + ramp);
  }
}

namespace {

void filterChannels(SpectralEngine& e, StudyState& s, FftFilterKind kind, int firstChannel, int lastChannel,
                    double low, double high) {
  const int count = std::min(s.channelCount, kMaxChannels);
  const int first = std::max(firstChannel, 0);
  const int last = std::min(lastChannel, count - 1);
  const int length = std::min(s.recordLength, kMaxSamples);
  for (int c = first; c <= last; ++c)
    fftFilterTrace(e, kind, s.channel(c), length, s.zeroLevel[c], low, high);
}

}  // namespace

void fftBandStop(SpectralEngine& e, StudyState& s, int firstChannel, int lastChannel, double high, double low) {
  filterChannels(e, s, FftFilterKind::kBandStop, firstChannel, lastChannel, low, high);
}

void fftBandPass(SpectralEngine& e, StudyState& s, int firstChannel, int lastChannel, double high, double low) {
  filterChannels(e, s, FftFilterKind::kBandPass, firstChannel, lastChannel, low, high);
}

void fftGauss(SpectralEngine& e, StudyState& s, int firstChannel, int lastChannel, double edge1, double edge2) {
  filterChannels(e, s, FftFilterKind::kGauss, firstChannel, lastChannel, std::min(edge1, edge2),
                 std::max(edge1, edge2));
}

}  // namespace velor
