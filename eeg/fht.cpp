// The fixed-point Hartley transform, its normalisation, the amplitude and
// phase conversion and the time windows of the spectral engine.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <numbers>

#include "eeg/spectral.h"
#include "eeg/fht_batch.h"
#include "eeg/spectral_texts.h"

namespace velor {

namespace {

constexpr int kWindowHalfSteps = 2 * kWindowTableSize;  // the table at half steps

inline bool fits16(int v) { return v >= -32768 && v <= 32767; }

inline std::int16_t saturate16(long long v) {
  return static_cast<std::int16_t>(std::clamp<long long>(v, -32768, 32767));
}

// The Q15 product (a × t × 2) >> 16; |t| ≤ 32767, so a × t × 2 stays inside 32 bits.
inline int mulQ15(int a, int t) { return (a * t * 2) >> 16; }

}  // namespace

double angleDegrees(double y, double x) {
  if (x == 0 && y == 0) return 0;
  if (x == 0) return y > 0 ? 90 : -90;
  if (y == 0 && x < 0) return -180;
  return std::atan2(y, x) * 180.0 / std::numbers::pi;
}

const char* windowKindName(int kind) {
  return (kind >= 0 && kind < kWindowKinds) ? spectral_text::kWindowNames[kind] : "";
}

const std::array<std::int16_t, kSineTableSize>& sineTable() {
  static const std::array<std::int16_t, kSineTableSize> table = [] {
    std::array<std::int16_t, kSineTableSize> t{};
    for (int k = 0; k < kSineTableSize; ++k) {
      const double v = std::floor(32768.0 * std::sin(k * std::numbers::pi / 4096.0) + 0.5);
      t[static_cast<std::size_t>(k)] = static_cast<std::int16_t>(std::min(32767.0, v));
    }
    return t;
  }();
  return table;
}

// r(i) for 13-bit indices; shorter transforms take its top bits.
const std::uint16_t* fhtBitReversal() {
  static const std::array<std::uint16_t, kFhtMaxSize> table = [] {
    std::array<std::uint16_t, kFhtMaxSize> t{};
    for (int i = 0; i < kFhtMaxSize; ++i) {
      int r = 0;
      for (int b = 0; b < kFhtMaxOrder; ++b)
        if (i & (1 << b)) r |= 1 << (kFhtMaxOrder - 1 - b);
      t[static_cast<std::size_t>(i)] = static_cast<std::uint16_t>(r);
    }
    return t;
  }();
  return table.data();
}

double besselI0(double x) {
  const double q = x * x / 4.0;
  double sum = 0;
  double term = 1;
  for (int m = 1; term >= 0.001 && m < 1000; ++m) {
    sum += term;
    term *= q / (static_cast<double>(m) * m);
  }
  return sum;
}

double windowValue(int kind, double k) {
  constexpr double pi = std::numbers::pi;
  if (kind >= 1 && kind <= 6) {
    const double h = -pi + k * pi / 2048.0;
    const double c1 = std::cos(h), c2 = std::cos(2 * h), c3 = std::cos(3 * h);
    switch (kind) {
      case 1: return (c1 + 1) * 8192.0;
      case 2: return (0.54 + 0.46 * c1) * 16384.0;
      case 3: return (0.42 + 0.5 * c1 + 0.08 * c2) * 16384.0;
      case 4: return (0.45 + 0.494 * c1 + 0.057 * c2) * 16384.0;
      case 5: return (0.402 + 0.497 * c1 + 0.094 * c2 + 0.002 * c3) * 16384.0;
      default: return (0.359 + 0.488 * c1 + 0.141 * c2 + 0.012 * c3) * 16384.0;
    }
  }
  if (kind >= 7 && kind <= 10) {
    static constexpr double alpha[] = {2.0, 2.5, 3.0, 3.5};
    static constexpr double norm[] = {87, 373, 1633, 7257};
    const double t = (k - 2047.0) / 2047.0;
    const double r = std::sqrt(std::max(0.0, 1.0 - t * t));
    return besselI0(alpha[kind - 7] * pi * r) / norm[kind - 7] * 16384.0;
  }
  return 0;
}

SpectralEngine::SpectralEngine()
    : work_(std::make_unique<std::int16_t[]>(kFhtMaxSize + 1)),
      amplitude_(std::make_unique<std::int16_t[]>(kFhtMaxSize)),
      pairCopy_(std::make_unique<std::int16_t[]>(kFhtMaxSize + 1)),
      traceCopy_(std::make_unique<std::int16_t[]>(kMaxSamples + kFhtMaxSize)),
      longWork_(std::make_unique<std::int16_t[]>(kLongEpochMax)),
      longOut_(std::make_unique<std::int16_t[]>(kLongEpochMax / 2 + 1)),
      window_(std::make_unique<std::int16_t[]>(kWindowHalfSteps)),
      batch_(std::make_unique<std::int16_t[]>(static_cast<std::size_t>(kMaxBatchLanes) * kFhtMaxSize + 32)),
      windowRows_(std::make_unique<std::int16_t[]>(static_cast<std::size_t>(kMaxBatchLanes) * kWindowRowStride)),
      amplitudeRows_(std::make_unique<std::int16_t[]>(static_cast<std::size_t>(kMaxBatchLanes) * kAmplitudeRowStride)) {
  // The vector lanes are read up to 64 bytes at a time.
  const auto address = reinterpret_cast<std::uintptr_t>(batch_.get());
  batchLanes_ = batch_.get() + ((64 - address % 64) % 64) / sizeof(std::int16_t);
}

void SpectralEngine::halveAll() {
  std::int16_t* x = work_.get();
  for (int i = 0; i < fhtSize_; ++i) x[i] = static_cast<std::int16_t>(x[i] >> 1);
  ++fhtExponent_;
}

void SpectralEngine::fhtTransform(int length) {
  const int limit = std::min(length, kFhtMaxSize);
  int n = 1, order = 0;
  while (n * 2 <= limit) {
    n *= 2;
    ++order;
  }
  fhtSize_ = n;
  fhtOrder_ = order;
  fhtExponent_ = 0;
  if (n < 2) return;

  std::int16_t* x = work_.get();
  const int drop = kFhtMaxOrder - order;
  const std::uint16_t* reversed = fhtBitReversal();
  for (int i = 0; i < n; ++i) {
    const int j = reversed[i] >> drop;
    if (i < j) std::swap(x[i], x[j]);
  }
  butterflyStages();
}

// All stages after the bit reversal. Every 16-bit sum is checked; on an
// overflow the whole array is halved and the butterfly is done again.
void SpectralEngine::butterflyStages() {
  const int n = fhtSize_;
  std::int16_t* x = work_.get();
  // A butterfly of two values: (a, b) → (a + b, a − b).
  auto pair = [&](int i, int j) {
    for (;;) {
      const int a = x[i], b = x[j];
      const int s = a + b, d = a - b;
      if (fits16(s) && fits16(d)) {
        x[i] = static_cast<std::int16_t>(s);
        x[j] = static_cast<std::int16_t>(d);
        return;
      }
      halveAll();
    }
  };
  for (int i = 0; i < n; i += 2) pair(i, i + 1);
  if (n >= 4)
    for (int b = 0; b < n; b += 4) {
      pair(b, b + 2);
      pair(b + 1, b + 3);
    }

  const std::int16_t* sine = sineTable().data();
  for (int h = 4; h <= n / 2; h *= 2) {
    const int twoH = 2 * h;
    const int step = 4096 / h;  // sine table entries per twiddle step
    for (int b = 0; b < n; b += twoH) {
      pair(b, b + h);
      for (int k = 1; k <= h / 2; ++k) {
        const int s = sine[k * step];
        const int c = sine[2048 - k * step];
        std::int16_t* xk = x + b + k;
        std::int16_t* xhk = x + b + h - k;
        std::int16_t* xhpk = x + b + h + k;
        std::int16_t* x2hk = x + b + twoH - k;
        for (;;) {
          const int a = *xk, e = *xhk, p = *xhpk, q = *x2hk;
          const int t1 = mulQ15(q, c) - mulQ15(p, s);
          const int t2 = mulQ15(p, c) + mulQ15(q, s);
          const int r0 = a + t2, r1 = a - t2, r2 = e - t1, r3 = e + t1;
          // Each value fits 16 bits when value + 32768 lies in 0..65535.
          const unsigned outside = static_cast<unsigned>(t1 + 32768) | static_cast<unsigned>(t2 + 32768) |
                                   static_cast<unsigned>(r0 + 32768) | static_cast<unsigned>(r1 + 32768) |
                                   static_cast<unsigned>(r2 + 32768) | static_cast<unsigned>(r3 + 32768);
          if (outside <= 0xFFFFu) {
            *xk = static_cast<std::int16_t>(r0);
            *xhpk = static_cast<std::int16_t>(r1);
            *xhk = static_cast<std::int16_t>(r2);
            *x2hk = static_cast<std::int16_t>(r3);
            break;
          }
          halveAll();
        }
      }
    }
  }
}

int SpectralEngine::batchLanes() { return fht_batch::lanes(); }

void SpectralEngine::fhtTransformBatch(int length) {
  const int limit = std::min(length, kFhtMaxSize);
  int n = 1, order = 0;
  while (n * 2 <= limit) {
    n *= 2;
    ++order;
  }
  batchSize_ = n;
  batchOrder_ = order;
  batchExponent_.fill(0);
  if (n < 2) return;
  const int lanes = batchLanes();
  if (fht_batch::vectorised()) {
    fht_batch::transform(batchLanes_, n, order, batchExponent_.data(), true);
    return;
  }
  for (int l = 0; l < lanes; ++l) {
    for (int i = 0; i < n; ++i) work_[static_cast<std::size_t>(i)] = batchLanes_[static_cast<std::size_t>(i) * lanes + l];
    fhtTransform(n);
    for (int i = 0; i < n; ++i) batchLanes_[static_cast<std::size_t>(i) * lanes + l] = work_[static_cast<std::size_t>(i)];
    batchExponent_[static_cast<std::size_t>(l)] = fhtExponent_;
  }
}

int SpectralEngine::batchAmplitudeSpectrum(int lane, bool phase) {
  // The lane into fhtWork, normalised with its own exponent.
  const int n = batchSize_;
  const int lanes = batchLanes();
  for (int i = 0; i < n; ++i) work_[static_cast<std::size_t>(i)] = batchLanes_[static_cast<std::size_t>(i) * lanes + lane];
  fhtSize_ = n;
  fhtOrder_ = batchOrder_;
  fhtExponent_ = batchExponent_[static_cast<std::size_t>(lane)];
  fhtNormalise();
  return amplitudesFromWork(phase);
}

void SpectralEngine::fhtNormalise() {
  std::int16_t* x = work_.get();
  const int shift = fhtOrder_ - fhtExponent_ - 1;
  if (shift >= 0) {
    for (int i = 0; i < fhtSize_; ++i) x[i] = static_cast<std::int16_t>(x[i] >> shift);
  } else {
    // The halvings went past the transform's own scale: scale back up, as far
    // as 16 bits hold.
    const int up = std::min(-shift, 16);
    for (int i = 0; i < fhtSize_; ++i) x[i] = saturate16(static_cast<long long>(x[i]) * (1LL << up));
  }
}

int SpectralEngine::amplitudeSpectrum(bool phase) {
  fhtNormalise();
  return amplitudesFromWork(phase);
}

// amplitudeOut[1..N/2] from the normalised values in fhtWork.
int SpectralEngine::amplitudesFromWork(bool phase) {
  const int n = fhtSize_;
  const std::int16_t* h = work_.get();
  std::int16_t* out = amplitude_.get();
  out[0] = 0;
  int peak = 0;
  for (int i = 1; i <= n / 2; ++i) {
    const int e = h[i] + h[n - i];
    const int d = h[i] - h[n - i];
    int v;
    if (phase) {
      v = e == 0 ? 2048 : static_cast<int>(std::trunc(angleDegrees(e, d) / 180.0 * 2047.0 + 2048.0));
    } else {
      const double a = std::sqrt(static_cast<double>(e) * e + static_cast<double>(d) * d);
      v = static_cast<int>(std::min(32767.0, std::trunc(a + 0.5)));
    }
    out[i] = static_cast<std::int16_t>(v);
    peak = std::max(peak, v);
  }
  return peak;
}

void SpectralEngine::buildWindow(int kind) {
  if (kind < 0 || kind >= kWindowKinds) kind = 0;
  windowKind_ = kind;
  if (kind == 0) return;  // the table keeps its content
  for (int j = 0; j < kWindowHalfSteps; ++j) {
    const double v = std::trunc(windowValue(kind, j / 2.0));
    window_[static_cast<std::size_t>(j)] = saturate16(static_cast<long long>(v));
  }
}

int SpectralEngine::windowTable(int k) const {
  if (k < 0 || k >= kWindowTableSize) return 0;
  return window_[static_cast<std::size_t>(2 * k)];
}

void SpectralEngine::applyWindow(int zeroLevel, int n) {
  if (windowKind_ <= 0 || n < 2) return;
  n = std::min(n, kFhtMaxSize);
  // Half steps of the 2048-entry table: 2 × trunc(4096 / n + 0.5) for every
  // n up to 4096, and one half step per sample at 8192.
  const int step = static_cast<int>(8192.0 / n + 0.5);
  std::int16_t* x = work_.get();
  const long long z = zeroLevel;
  for (int i = 0; i < n / 2; ++i) {
    const long long w = window_[static_cast<std::size_t>(std::min(i * step, kWindowHalfSteps - 1))];
    x[i] = saturate16((((x[i] - z) * w) >> 14) + z);
    const int m = n - 1 - i;
    x[m] = saturate16((((x[m] - z) * w) >> 14) + z);
  }
}

}  // namespace velor
