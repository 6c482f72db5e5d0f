// Epoch spectra of channels and lead pairs, the long spectrum, band measures,
// and the spectra of an interval or of the whole record.
#include "eeg/spectral.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <numbers>

#include "core/numtext.h"
#include "eeg/fht_batch.h"

namespace velor {

namespace {

// floatStore layout of the pair sums; bin i at offset i.
constexpr int kCrossRe = 0;
constexpr int kCrossIm = 2048;
constexpr int kPowerA = 4096;
constexpr int kPowerB = 6144;

bool isPowerOfTwo(int n) { return n > 0 && (n & (n - 1)) == 0; }

inline std::int16_t clampCode(double v) {
  return static_cast<std::int16_t>(std::clamp(v, -32768.0, 32767.0));
}

int stepOf(const StudyState& s) { return s.epochStep > 0 ? s.epochStep : s.epochLength; }

bool usesSingleChannels(const StudyState& s) {
  return !isPairMeasure(s.transformKind) || (s.transformKind == TransformKind::CrossPhase && s.leadPairCount <= 0);
}

// The following epoch is taken while it lies inside the record, up to and
// including the epoch that ends with the record's last sample.
bool nextEpochFits(int m, int step, int n, int length) { return static_cast<long>(m) + step + n <= length; }

int pairCount(const StudyState& s) { return std::clamp(s.leadPairCount, 0, kMaxLeadPairs); }

// Channels a signal can be read from: buffers are never run past.
int usableChannels(const StudyState& s) { return std::clamp(s.channelCount, 0, kMaxChannels); }

int usableLength(const StudyState& s) { return std::clamp(s.recordLength, 0, kMaxSamples); }

// Bin of a band edge: trunc(N × f / rate + 0.5), kept inside 0..N/2 before
// any conversion, so that edges below 0 or above half the rate cannot reach
// outside the spectrum.
int edgeBin(double f, int n, int rate) {
  if (rate <= 0) return 0;
  const double b = std::trunc(n * f / rate + 0.5);
  return static_cast<int>(std::clamp(b, 0.0, static_cast<double>(n / 2)));
}

// Round j of the running mean of bins 1..half: round 0 copies. Phase codes
// (2048 ± 2047 for ±180°) are averaged as directions, the mean so far
// weighing j and the new phase 1: as numbers, 179° and −179° would average
// to 0° instead of 180°.
void averageInto(std::int16_t* out, const std::int16_t* spectrum, int half, int j, bool phase) {
  if (j == 0) {
    std::memcpy(out + 1, spectrum + 1, sizeof(std::int16_t) * static_cast<std::size_t>(half));
    return;
  }
  if (!phase) {
    for (int i = 1; i <= half; ++i)
      out[i] = clampCode(std::trunc((static_cast<double>(out[i]) * j + spectrum[i]) / (j + 1) + 0.5));
    return;
  }
  constexpr double kRadiansPerCode = std::numbers::pi / 2047.0;
  for (int i = 1; i <= half; ++i) {
    const double a = (out[i] - 2048) * kRadiansPerCode, b = (spectrum[i] - 2048) * kRadiansPerCode;
    const double x = j * std::cos(a) + std::cos(b), y = j * std::sin(a) + std::sin(b);
    // opposite directions of equal weight cancel: no phase, shown as 0°
    const double phi = std::hypot(x, y) < 1e-9 ? 0.0 : angleDegrees(y, x);
    out[i] = clampCode(std::trunc(phi / 180.0 * 2047.0 + 2048.0 + 0.5));
  }
}

}  // namespace

std::string SpectralEngine::epochProblem(const StudyState& s, int startSample) const {
  if (s.viewMode == ViewMode::Transform) return "Спектры вычисляются по сигналам: сначала нужно вернуться от результатов к сигналам.";
  if (usableChannels(s) < 1) return "Нет каналов для анализа.";
  const TransformKind kind = s.transformKind;
  if (!isEpochMeasure(kind)) return "Этот показатель не вычисляется спектральным анализом эпох.";
  if (kind == TransformKind::Correlation) {
    if (!templateCorrelation) return "Корреляция пока недоступна в этой версии программы.";
    return "";
  }
  const int n = s.epochLength;
  const bool single = usesSingleChannels(s);
  const bool shortEpoch = isPowerOfTwo(n) && n >= 2 && n <= kFhtMaxSize;
  const bool longEpoch = n == 2 * kFhtMaxSize || n == kLongEpochMax;
  if (!shortEpoch && !(single && longEpoch))
    return "Длина эпохи " + std::to_string(n) +
           " не подходит для спектра: нужна степень двойки от 2 до 8192, 16384 или 32768 отсчётов.";
  if (single && longEpoch && kind == TransformKind::CrossPhase)
    return "Фазовый спектр вычисляется на эпохах не длиннее 8192 отсчётов.";
  if (!single && n > kPairEpochMax)
    return "Для парных характеристик эпоха должна быть не длиннее 4096 отсчётов.";
  if (startSample < 0 || static_cast<long>(startSample) + n > usableLength(s))
    return "Эпоха анализа выходит за пределы записи.";
  return "";
}

int SpectralEngine::epochSpectra(StudyState& s, int startSample, int epoch) {
  if (!epochProblem(s, startSample).empty()) return -1;
  if (s.transformKind == TransformKind::Correlation) return templateCorrelation(s, startSample);
  const int peak = usesSingleChannels(s) ? singleChannelSpectra(s, startSample) : pairSpectra(s, startSample);
  bandMeasures(s, epoch);
  return peak;
}

int SpectralEngine::singleChannelSpectra(StudyState& s, int startSample) {
  const int n = s.epochLength;
  const int half = n / 2;
  const int step = stepOf(s);
  const int length = usableLength(s);
  const int rounds = std::max(0, averagedEpochs) + 1;
  const bool phase = s.transformKind == TransformKind::CrossPhase;
  const int channels = usableChannels(s);
  // Channels go through the transform many at a time; the epochs they read
  // move alike for all of them.
  const int lanes = fht_batch::vectorised() && n >= 8 && n <= kFhtMaxSize ? batchLanes() : 1;
  int peak = 0;
  for (int first = 0; first < channels; first += lanes) {
    const int group = std::min(lanes, channels - first);
    int m = startSample;
    for (int j = 0; j < rounds; ++j) {
      if (lanes > 1) {
        batchChannelSpectra(s, first, group, m, j, phase, peak);
      } else {
        const int c = first;
        const std::int16_t* signal = s.channelData[static_cast<std::size_t>(c)];
        const std::int16_t* spectrum;
        int got;
        if (n <= kFhtMaxSize) {
          std::memcpy(work_.get(), signal + m, sizeof(std::int16_t) * static_cast<std::size_t>(n));
          applyWindow(s.zeroLevel[c], n);
          fhtTransform(n);
          got = amplitudeSpectrum(phase);
          spectrum = amplitude_.get();
        } else {
          got = longSpectrum(signal + m, n, longOut_.get());
          spectrum = longOut_.get();
        }
        peak = std::max(peak, got);
        averageInto(s.parkedChannelData[static_cast<std::size_t>(c)], spectrum, half, j, phase);
      }
      // Near the end of the record the last epoch that fits is used again.
      if (nextEpochFits(m, step, n, length)) m += step;
    }
    for (int c = first; c < first + group; ++c) s.parkedChannelData[static_cast<std::size_t>(c)][0] = 0;
  }
  return peak;
}

// Spectra of channels first .. first + count − 1 (count ≤ batchLanes()) for
// the epoch at m, round j of the averaging.
bool SpectralEngine::batchChannelSpectra(StudyState& s, int first, int count, int m, int j, bool phase, int& peak) {
  const int n = s.epochLength;
  const int half = n / 2;
  const int lanes = batchLanes();
  int order = 0;
  while ((1 << order) < n) ++order;
  const std::int16_t* rows[kMaxBatchLanes];
  for (int l = 0; l < lanes; ++l) {
    // Lanes without a channel repeat the first one, so that all lanes tend
    // to share one exponent (the fast amplitude path needs that).
    const int c = first + (l < count ? l : 0);
    const std::int16_t* signal = s.channelData[static_cast<std::size_t>(c)] + m;
    if (windowKind_ > 0) {
      std::memcpy(work_.get(), signal, sizeof(std::int16_t) * static_cast<std::size_t>(n));
      applyWindow(s.zeroLevel[c], n);
      std::int16_t* row = windowRows_.get() + static_cast<std::size_t>(l) * kWindowRowStride;
      std::memcpy(row, work_.get(), sizeof(std::int16_t) * static_cast<std::size_t>(n));
      signal = row;
    }
    rows[l] = signal;
  }
  fht_batch::transformRows(batchLanes_, rows, n, order, batchExponent_.data());
  batchSize_ = n;
  batchOrder_ = order;

  // The spectra are written side by side into rows of their own first: the
  // channels' buffers lie a power of two apart, so written there directly,
  // eight values at a time, they would keep evicting each other from the
  // cache.
  std::int16_t* outs[kMaxBatchLanes];
  int peaks[kMaxBatchLanes] = {};
  for (int l = 0; l < lanes; ++l) outs[l] = amplitudeRows_.get() + static_cast<std::size_t>(l) * kAmplitudeRowStride;
  const bool together = !phase && fht_batch::amplitudes(batchLanes_, n, order, batchExponent_.data(), outs, peaks);
  for (int l = 0; l < count; ++l) {
    const std::int16_t* spectrum = outs[l];
    if (!together) {
      peaks[l] = batchAmplitudeSpectrum(l, phase);
      spectrum = amplitude_.get();
    }
    peak = std::max(peak, peaks[l]);
    averageInto(s.parkedChannelData[static_cast<std::size_t>(first + l)], spectrum, half, j, phase);
  }
  return together;
}

int SpectralEngine::pairSpectra(StudyState& s, int startSample) {
  const TransformKind kind = s.transformKind;
  const int pairs = pairCount(s);
  if (pairs == 0) return 0;  // pair kinds without lead pairs compute nothing
  const int n = s.epochLength;
  const int half = n / 2;
  const int step = stepOf(s);
  const int length = usableLength(s);
  const int channels = usableChannels(s);
  const int rounds = std::max(0, averagedEpochs) + 1;
  float* f = s.floatStore;
  std::int16_t* x = pairCopy_.get();
  const std::int16_t* y = work_.get();
  int peak = 0;

  for (int p = 0; p < pairs; ++p) {
    std::int16_t* out = s.parkedChannelData[static_cast<std::size_t>(p)];
    const int a = s.leadPairs[static_cast<std::size_t>(p)][0] - 1;
    const int b = s.leadPairs[static_cast<std::size_t>(p)][1] - 1;
    if (a < 0 || a >= channels || b < 0 || b >= channels) {
      // A pair naming a channel the record does not have has no spectrum.
      std::fill_n(out, half + 1, std::int16_t{0});
      if (kind == TransformKind::CrossPhase) out[0] = 2047;
      continue;
    }
    int m = startSample;
    for (int j = 0; j < rounds; ++j) {
      // Powers are accumulated as doubles of exact integer sums and kept as
      // floats, the same way for the power and the cross terms, so that a
      // channel paired with itself gives equal numbers (coherence exactly 1).
      auto average = [j](float& cell, double value) {
        cell = j == 0 ? static_cast<float>(value) : static_cast<float>((j * static_cast<double>(cell) + value) / (j + 1));
      };
      std::memcpy(work_.get(), s.channelData[static_cast<std::size_t>(a)] + m,
                  sizeof(std::int16_t) * static_cast<std::size_t>(n));
      applyWindow(s.zeroLevel[a], n);
      fhtTransform(n);
      fhtNormalise();
      std::memcpy(x, work_.get(), sizeof(std::int16_t) * static_cast<std::size_t>(n + 1));
      for (int i = 1; i <= half; ++i) {
        const double u = x[i] + x[n - i], v = x[i] - x[n - i];
        average(f[kPowerA + i], u * u + v * v);
      }
      std::memcpy(work_.get(), s.channelData[static_cast<std::size_t>(b)] + m,
                  sizeof(std::int16_t) * static_cast<std::size_t>(n));
      applyWindow(s.zeroLevel[b], n);
      fhtTransform(n);
      fhtNormalise();
      for (int i = 1; i <= half; ++i) {
        const double r = y[i] + y[n - i], q = y[i] - y[n - i];
        average(f[kPowerB + i], r * r + q * q);
        const double u = x[i] + x[n - i], v = x[i] - x[n - i];
        average(f[kCrossRe + i], u * r + v * q);
        average(f[kCrossIm + i], u * q - v * r);
      }
      if (nextEpochFits(m, step, n, length)) m += step;
    }

    for (int i = 1; i <= half; ++i) {
      const double re = f[kCrossRe + i], im = f[kCrossIm + i];
      const double pa = f[kPowerA + i], pb = f[kPowerB + i];
      const double cross = re * re + im * im;
      double v = 0;
      switch (kind) {
        case TransformKind::CrossSpectrum: v = std::trunc(std::sqrt(std::sqrt(cross))); break;
        case TransformKind::CrossPhase:
          v = std::trunc(re) == 0 ? 2048 : std::trunc(angleDegrees(re, -im) / 180.0 * 2047.0 + 2048.0);
          break;
        case TransformKind::Coherence:
          v = (pa > 3 && pb > 3) ? std::min(4095.0, std::trunc(cross / (pa * pb) * 4095.0)) : 0;
          break;
        case TransformKind::CoherentPower: v = std::trunc(pa) != 0 ? std::trunc(cross / pa) : 0; break;
        default: break;
      }
      out[i] = clampCode(v);
      peak = std::max(peak, static_cast<int>(out[i]));
    }
    out[0] = kind == TransformKind::CrossPhase ? 2047 : 0;
    peak = std::max(peak, static_cast<int>(out[0]));
  }
  if (kind == TransformKind::CrossPhase) return peak - 2048;
  if (kind == TransformKind::Coherence) return 4095;
  return peak;
}

int SpectralEngine::longSpectrum(const std::int16_t* x, int n, std::int16_t* out) {
  if (n != 2 * kFhtMaxSize && n != kLongEpochMax) return -1;
  constexpr int m = kFhtMaxSize;
  const int q = n / m;
  // The normalised transforms of the q interleaved sequences.
  for (int r = 0; r < q; ++r) {
    std::int16_t* w = work_.get();
    for (int i = 0; i < m; ++i) w[i] = x[static_cast<std::size_t>(q) * i + r];
    fhtTransform(m);
    fhtNormalise();
    std::memcpy(longWork_.get() + static_cast<std::size_t>(r) * m, w, sizeof(std::int16_t) * m);
  }
  // Decimation in time: bin k of the whole epoch is Σ_r e^(−2πi·r·k/n) F_r(k mod m) / q,
  // with F_r from Hartley values as (H[k] + H[m−k]) + i(H[m−k] − H[k]) (twice
  // the transform, so that a cosine of amplitude A gives 2A as on the short path).
  const int half = n / 2;
  int peak = 0;
  out[0] = 0;
  for (int k = 1; k < half; ++k) {
    const int kk = k % m;
    const int km = (m - kk) % m;
    double re = 0, im = 0;
    for (int r = 0; r < q; ++r) {
      const std::int16_t* h = longWork_.get() + static_cast<std::size_t>(r) * m;
      const double a = static_cast<double>(h[kk]) + h[km];
      const double b = static_cast<double>(h[km]) - h[kk];
      const double angle = 2.0 * std::numbers::pi * r * k / n;
      const double c = std::cos(angle), s = std::sin(angle);
      re += a * c + b * s;
      im += b * c - a * s;
    }
    const double amp = std::sqrt(re * re + im * im) / q;
    out[k] = clampCode(std::trunc(amp + 0.5));
    peak = std::max(peak, static_cast<int>(out[k]));
  }
  out[half] = 0;
  return peak;
}

int SpectralEngine::oddLengthSpectrum(const std::int16_t* x, int length, std::int16_t* out) {
  if (length < 2) return -1;
  const int k = (length + 1) / 2;
  const int m = 2 * k + 1;
  const double theta = 2.0 * std::numbers::pi / m;
  // z is v[0] followed by v[0 .. 2K−1]; for an odd length that would take one
  // sample past the interval, which is replaced by the interval's last sample.
  auto z = [&](int j) -> double { return j == 0 ? x[0] : x[std::min(j - 1, length - 1)]; };
  const double cosStep = std::cos(theta), sinStep = std::sin(theta);
  double g = 1, sigma = 0;
  for (int i = 0; i <= k; ++i) {
    double s1 = 0, s2 = 0;
    for (int j = 2 * k; j >= 1; --j) {
      const double v = 2 * g * s1 + z(j) - s2;
      s2 = s1;
      s1 = v;
    }
    double re = 2.0 / m * (g * s1 + z(0) - s2);
    if (i == 0) re /= 2;
    const double im = 2.0 / m * sigma * s1;
    out[i] = clampCode(std::trunc(std::sqrt(re * re + im * im) + 0.5));
    const double gNext = g * cosStep - sigma * sinStep;
    sigma = sigma * cosStep + g * sinStep;
    g = gNext;
  }
  return k;
}

namespace {

// Raises the store's power scale to `shift`, rescaling what it holds (rounded
// half up), so that every slice stays on the one scale resultValue applies.
void raisePowerShift(StudyState& s, int shift) {
  const int d = shift - s.resultPowerShift;
  if (d <= 0) return;
  const int half = 1 << (d - 1);
  for (int i = 0; i < kResultStoreSize; ++i) s.resultStore[i] = static_cast<std::int16_t>((s.resultStore[i] + half) >> d);
  s.resultPowerShift = shift;
}

// A mean band power on the store's scale.
int scaledPower(StudyState& s, long long mean) {
  int shift = s.resultPowerShift;
  auto scaled = [&](int k) { return k == 0 ? mean : (mean + (1LL << (k - 1))) >> k; };
  while (scaled(shift) > 32767) ++shift;
  raisePowerShift(s, shift);
  return static_cast<int>(scaled(shift));
}

}  // namespace

void SpectralEngine::bandMeasures(StudyState& s, int epoch) {
  // A new run of band measures starts at epoch 0 on the finest scale.
  if (epoch == 0) s.resultPowerShift = 0;
  const int rows = std::clamp(s.resultChannels(), 0, kMaxChannels);
  const int bands = std::clamp(s.bandCount, 0, kBandRows);
  const int n = s.epochLength;
  const int maxBin = std::clamp(n / 2, 0, kParkedSamples - 1);
  const bool power = s.transformKind == TransformKind::Power;
  std::string line;
  for (int r = 0; r < rows; ++r) {
    const std::int16_t* spectrum = s.parkedChannelData[static_cast<std::size_t>(r)];
    for (int b = 1; b <= bands; ++b) {
      const BandRow& row = s.bandTable[static_cast<std::size_t>(b - 1)];
      int lo = edgeBin(parseNumber(row.low).value_or(0), n, s.sampleRate);
      int hi = edgeBin(parseNumber(row.high).value_or(0), n, s.sampleRate);
      if (b == 1 && firstBandBins[0] != 0 && firstBandBins[1] != 0 && firstBandBins[0] < firstBandBins[1]) {
        lo = static_cast<int>(std::clamp<std::int32_t>(firstBandBins[0], 0, maxBin));
        hi = static_cast<int>(std::clamp<std::int32_t>(firstBandBins[1], 0, maxBin));
      }
      lo = std::min(lo, maxBin);
      hi = std::min(hi, maxBin);
      if (lo == 0) lo = 1;
      const bool currentPowerBand = power && b == s.currentBand + 1;

      // Aср, Amax, Fcp, Fmax; an empty band (lo ≥ hi) keeps only Fmax, its low edge.
      int mean = 0, largest = 0, centre = 0, fmax = lo;
      if (lo < hi) {
        const int count = hi - lo + 1;
        long long w = 0, moment = 0;
        int peakAt = lo;
        largest = spectrum[lo];
        for (int i = lo; i <= hi; ++i) {
          const long long v = spectrum[i];
          const long long weight = power ? v * v : v;
          w += weight;
          moment += i * weight;
          if (v > largest) {
            largest = static_cast<int>(v);
            peakAt = i;
          }
        }
        if (w > 0)
          centre = static_cast<int>(std::trunc((static_cast<double>(moment) / w - lo) / count * 255.0 + 0.5));
        fmax = static_cast<int>(std::trunc(static_cast<double>(peakAt - lo) / count * 255.0 + 0.5));
        if (currentPowerBand) {
          const int ch = std::min(r, kMaxChannels - 1);
          const double units = std::max<std::uint16_t>(1, s.calibUnits[ch]);
          const double value = s.calibValue[ch];
          line += ' ';
          line += formatNumber(static_cast<double>(w) / count / units * value / units * value, 4);
          // The band power of the current band alone used to be divided by
          // 16 to fit the store, so that bands of one analysis stood on two
          // scales; the store's power scale now fits every band alike.
        }
        // Squared amplitudes of full 16-bit codes pass 32 bits: the sums are
        // 64-bit, and the mean power is put on the store's scale.
        if (power && s.bandMode == 0)
          mean = scaledPower(s, static_cast<long long>(std::trunc(static_cast<double>(w) / count + 0.5)));
        else
          mean = static_cast<int>(std::min(std::trunc(static_cast<double>(w) / count + 0.5), 2.0e9));
      } else if (currentPowerBand) {
        // keeps the columns of the power line in step with the rows
        line += ' ';
        line += formatNumber(0, 4);
      }
      int value;
      switch (s.bandMode) {
        case 1: value = largest; break;
        case 2: value = centre; break;
        case 3: value = fmax; break;
        default: value = mean; break;
      }
      s.resultPut(b - 1, r, epoch, value);
    }
  }
  if (power && rows > 0 && bands > 0) powerLines.push_back(line);
}

int SpectralEngine::intervalSpectrum(StudyState& s) {
  if (s.viewMode == ViewMode::Transform) return -1;
  const int length = usableLength(s);
  const int start = s.cursorPos;
  if (start < 0 || start >= length || usableChannels(s) < 1) return -1;
  // The selection must lie inside the record.
  const int l = std::min(s.epochLength, length - start);
  if (l < 2) return -1;
  const int bits = static_cast<int>(std::trunc(std::log2(l) + std::numbers::ln2 / 2));
  const long n = 1L << bits;
  int peak = 0;
  if (n / 10.0 > std::labs(l - n) && n <= kFhtMaxSize && start + n <= length) {
    s.epochLength = static_cast<int>(n);
    for (int c = 0; c < usableChannels(s); ++c) {
      std::memcpy(work_.get(), s.channelData[static_cast<std::size_t>(c)] + start,
                  sizeof(std::int16_t) * static_cast<std::size_t>(n));
      fhtTransform(static_cast<int>(n));
      peak = std::max(peak, amplitudeSpectrum(false));
      std::int16_t* out = s.parkedChannelData[static_cast<std::size_t>(c)];
      std::memcpy(out + 1, amplitude_.get() + 1, sizeof(std::int16_t) * static_cast<std::size_t>(n / 2));
      out[0] = 0;
    }
  } else {
    s.epochLength = l;
    for (int c = 0; c < usableChannels(s); ++c) {
      std::int16_t* out = s.parkedChannelData[static_cast<std::size_t>(c)];
      const int k = oddLengthSpectrum(s.channelData[static_cast<std::size_t>(c)] + start, l, out);
      out[0] = 0;
      out[k] = 0;
      for (int i = 1; i < k; ++i) peak = std::max(peak, static_cast<int>(out[i]));
    }
  }
  s.epochStep = s.epochLength;
  return peak;
}

int SpectralEngine::recordSpectrum(StudyState& s) {
  if (s.viewMode == ViewMode::Transform || usableChannels(s) < 1) return -1;
  const int length = usableLength(s);
  if (length < 2) return -1;
  std::int16_t* out = s.parkedChannelData[0];
  const int k = oddLengthSpectrum(s.channelData[0], length, out);
  out[0] = 0;
  s.epochLength = length;
  int peak = 0;
  for (int i = 1; i <= k; ++i) peak = std::max(peak, static_cast<int>(out[i]));
  return peak;
}

bool showEpochSpectra(SpectralEngine& engine, StudyState& s, int usableWidth, std::string& problem) {
  if (s.viewMode == ViewMode::Transform) s.leaveTransformView(true);
  const int start = s.currentEpoch * stepOf(s);
  problem = engine.epochProblem(s, start);
  if (!problem.empty()) return false;
  const TransformKind kind = s.transformKind;
  if (engine.epochSpectra(s, start, s.currentEpoch) < 0) {
    problem = "Спектры не вычислены.";
    return false;
  }
  s.enterTransformView(kind, s.epochLength / 2, usableWidth);
  return true;
}

SpectralSettingsGuard::SpectralSettingsGuard(StudyState& s, SpectralEngine& e)
    : s_(s),
      e_(e),
      epochLength_(s.epochLength),
      epochStep_(s.epochStep),
      epochCount_(s.epochCount),
      currentEpoch_(s.currentEpoch),
      bandMode_(s.bandMode),
      leadPairCount_(s.leadPairCount),
      transformKind_(s.transformKind),
      averaged_(e.averagedEpochs),
      window_(e.windowKind()),
      firstBins_(e.firstBandBins) {}

SpectralSettingsGuard::~SpectralSettingsGuard() {
  if (kept_) return;
  s_.epochLength = epochLength_;
  s_.epochStep = epochStep_;
  s_.epochCount = epochCount_;
  s_.currentEpoch = currentEpoch_;
  s_.bandMode = bandMode_;
  s_.leadPairCount = leadPairCount_;
  s_.transformKind = transformKind_;
  e_.averagedEpochs = averaged_;
  e_.firstBandBins = firstBins_;
  if (e_.windowKind() != window_) e_.buildWindow(window_);
}

}  // namespace velor
