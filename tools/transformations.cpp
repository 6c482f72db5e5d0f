#include "tools/transformations.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstring>

#include "core/filter_design.h"
#include "core/numtext.h"
#include "core/record_file.h"
#include "core/settings.h"
#include "core/statistics.h"
#include "core/trace_ops.h"
#include "eeg/fft_filter.h"
#include "eeg/spectral.h"
#include "tools/transformation_texts.h"
#include "viewer/monitor.h"
#include "viewer/record_edit.h"

namespace velor {

namespace {

std::int16_t* data(StudyState& s, int ch) { return s.channelData[static_cast<std::size_t>(ch)]; }

int length(const StudyState& s) { return std::clamp(s.recordLength, 0, kMaxSamples); }

bool validRange(const StudyState& s, int a, int b) {
  return a >= 0 && a <= b && b < std::min(s.channelCount, kMaxChannels) && length(s) > 0;
}

}  // namespace

// --- settings ------------------------------------------------------------------------

bool readTransformSettings(const std::string& programDir, TransformSettings& out) {
  const auto lines = readTextLines(programDir + kTrnSettingsFile);
  if (!lines) return false;
  const auto& l = *lines;
  bool complete = l.size() >= 13;
  const auto integer = [&](std::size_t k, int& v, int lo, int hi) {
    if (k >= l.size()) return;
    const auto x = parseInteger(l[k]);
    if (x && *x >= lo && *x <= hi)
      v = *x;
    else
      complete = false;
  };
  const auto real = [&](std::size_t k, double& v) {
    if (k >= l.size()) return;
    const auto x = parseNumber(l[k]);
    if (x && std::isfinite(*x))
      v = *x;
    else
      complete = false;
  };
  const auto flag = [&](std::size_t k, bool& v) {
    if (k >= l.size()) return;
    const std::string t = trimSpaces(l[k]);
    v = t == "1";
  };
  if (!l.empty()) out.amplitude = trimSpaces(l[0]);
  integer(1, out.targetChannel, 1, kMaxChannels);
  real(2, out.lowHz);
  real(3, out.highHz);
  integer(4, out.program, 0, 9);
  integer(5, out.otherChannel, 1, kMaxChannels);
  flag(6, out.allChannels);
  integer(7, out.order, 1, 50);
  real(8, out.ripple);
  integer(9, out.filterType, 0, 5);
  integer(10, out.smoothWindow, 3, kMaxSamples);
  integer(11, out.decimationStep, 1, kMaxSamples);
  flag(12, out.twoWay);
  return complete;
}

bool writeTransformSettings(const std::string& programDir, const TransformSettings& in) {
  return writeTextLines(programDir + kTrnSettingsFile,
                        {in.amplitude, std::to_string(in.targetChannel), formatNumber(in.lowHz),
                         formatNumber(in.highHz), std::to_string(in.program), std::to_string(in.otherChannel),
                         in.allChannels ? "1" : "0", std::to_string(in.order), formatNumber(in.ripple),
                         std::to_string(in.filterType), std::to_string(in.smoothWindow),
                         std::to_string(in.decimationStep), in.twoWay ? "1" : "0"});
}

// --- channels --------------------------------------------------------------------------

int transformChannel(const StudyState& s) {
  const int ch = s.shownChannelCount <= 0 ? s.firstShownChannel : currentChannel(s);
  return std::clamp(ch, 0, std::max(0, std::min(s.channelCount, kMaxChannels) - 1));
}

ChannelRange transformChannels(const StudyState& s, bool allChannels) {
  if (allChannels) return {0, std::min(s.channelCount, kMaxChannels) - 1};
  const int c = transformChannel(s);
  return {c, c};
}

// --- edits ---------------------------------------------------------------------------------

bool setAmplitudeAtCursor(StudyState& s, double value, Interaction& ui) {
  const int ch = transformChannel(s);
  if (!validRange(s, ch, ch) || s.cursorPos < 0 || s.cursorPos >= length(s)) return false;
  if (s.calibValue[ch] == 0) {
    ui.message(kTrnFlatChannel);
    return false;
  }
  data(s, ch)[s.cursorPos] =
      clampSignalCode(value * s.calibUnits[ch] / s.calibValue[ch] + s.zeroLevel[ch], s.zeroLevel[ch]);
  markRecordModified(s);
  return true;
}

bool editSegment(StudyState& s, int choice) {
  const EditInterval iv = selectedInterval(s);
  const long n = length(s);
  if (!iv.selected || iv.width <= 0 || (iv.start <= 0 && iv.start + iv.width >= n - 1)) return false;
  if (choice < kDeleteInside || choice > kDeleteMean) return false;
  return editInterval(s, choice, false);
}

bool copyChannel(StudyState& s, int targetChannel, Interaction& ui) {
  const int src = transformChannel(s);
  const int dst = targetChannel - 1;
  const int n = length(s);
  if (dst < 0 || dst >= std::min(s.channelCount, kMaxChannels) || n <= 0) {
    ui.message(kTrnChannelError);
    return false;
  }
  const EditInterval iv = selectedInterval(s);
  if (!iv.selected || iv.width <= 0) {
    if (dst != src) std::memcpy(data(s, dst), data(s, src), sizeof(std::int16_t) * static_cast<std::size_t>(n));
  } else {
    const int c = static_cast<int>(std::clamp<long>(iv.start, 0, n - 1));
    const int e = static_cast<int>(std::min<long>(iv.width, n - c));
    std::vector<std::int16_t> piece(data(s, src) + c, data(s, src) + c + e);
    std::int16_t* y = data(s, dst);
    std::memmove(y + e, y, sizeof(std::int16_t) * static_cast<std::size_t>(n - e));
    std::memcpy(y, piece.data(), sizeof(std::int16_t) * piece.size());
    if (e < n) y[e] = kMarkCode;  // where the copied part ends, for the "M" reference
  }
  markRecordModified(s);
  return true;
}

bool decimateRecord(StudyState& s, int step, Interaction& ui) {
  const int n = length(s);
  if (step <= 1 || n <= 0) return false;
  const int m = n / step;
  if (m < 1) {
    ui.message(kTrnNoChange);
    return false;
  }
  // New sample i is old sample i × step: the time axis stays exact only when
  // the rate divides by the step.
  if (s.sampleRate <= 0 || s.sampleRate % step != 0) {
    ui.message("Частота дискретизации " + std::to_string(s.sampleRate) + " Гц не делится на шаг " +
               std::to_string(step) + ": время отсчётов изменилось бы");
    return false;
  }
  for (int ch = 0; ch < std::min(s.channelCount, kMaxChannels); ++ch) {
    std::int16_t* x = data(s, ch);
    for (int i = 0; i < m; ++i) {
      // A mark anywhere in the block stays with the sample that stands for it.
      std::int16_t v = x[static_cast<long>(i) * step];
      for (int k = 1; k < step && static_cast<long>(i) * step + k < n; ++k)
        if (x[static_cast<long>(i) * step + k] == kMarkCode) v = kMarkCode;
      x[i] = v;
    }
  }
  if (s.markChannel && s.markChannelCount > 0) {
    std::int16_t* x = s.markChannel;
    for (int i = 0; i < m; ++i) {
      std::int16_t v = 0;
      for (int k = 0; k < step && static_cast<long>(i) * step + k < n; ++k)
        if (x[static_cast<long>(i) * step + k] != 0 && v == 0) v = x[static_cast<long>(i) * step + k];
      x[i] = v;
    }
  }
  s.sampleRate /= step;
  s.recordLength = m;
  s.cursorPos = std::min(s.cursorPos / step, m - 1);
  s.selectionAnchor = s.selectionAnchor >= 0 ? std::min(s.selectionAnchor / step, m - 1) : -1;
  s.viewStart = std::min(s.viewStart / step, m - 1);
  s.normaliseEpochGrid();
  markRecordModified(s);
  return true;
}

bool standardiseAmplitudes(StudyState& s, Interaction& ui) {
  const int n = length(s);
  const int channels = std::min(s.channelCount, kMaxChannels);
  if (n <= 0 || channels <= 0) return false;
  double largest = 0;
  for (int ch = 0; ch < channels; ++ch) {
    const std::int16_t* x = data(s, ch);
    const int z = s.zeroLevel[ch];
    double sum = 0;
    for (int i = 0; i < n; ++i) sum += std::abs(x[i] - z);
    largest = std::max(largest, sum / n);
  }
  // Every channel is looked at: only when all stay within 4 codes of their
  // zero level is there no amplitude to standardise on.
  if (largest < 4) {
    ui.message(kTrnFlatChannel);
    return false;
  }
  for (int ch = 0; ch < channels; ++ch) {
    std::int16_t* x = data(s, ch);
    const int z = s.zeroLevel[ch];
    for (int i = 0; i < n; ++i) x[i] = clampSignalCode(2048 + std::trunc((x[i] - z) / largest * 1023));
    s.zeroLevel[ch] = 2048;
    s.calibValue[ch] = 100;
  }
  markRecordModified(s);
  return true;
}

// --- filters --------------------------------------------------------------------------------

namespace {

// The IIR design for keeping or removing the band f1..f2.
bool designBand(bool keep, int type, int order, double ripple, double f1, double f2, FilterDesign& d,
                Interaction& ui) {
  if (f1 == f2 || f1 < 0 || f2 < 0 || !std::isfinite(f1) || !std::isfinite(f2)) {
    ui.message(kTrnBoundsError);
    return false;
  }
  if (f1 > f2) std::swap(f1, f2);
  f1 = std::min(f1, 0.5);
  f2 = std::min(f2, 0.5);
  int kind;  // 0 low-pass, 1 high-pass, 2 band-pass, 3 band-stop
  double upper = 0, lower = 0, corner = 0;
  if (keep) {
    if (f1 > 0 && f2 >= 0.5) {
      kind = 1, corner = f1;
    } else if (f1 > 0) {
      kind = 2, upper = f2, lower = f1;
    } else {
      kind = 0, corner = f2;
    }
  } else {
    if (f1 > 0 && f2 >= 0.5) {
      kind = 0, corner = f1;
    } else if (f1 > 0) {
      kind = 3, upper = f2, lower = f1;
    } else {
      kind = 1, corner = f2;
    }
  }
  const int code = type * 4 + 1 + kind;
  std::string reason;
  const bool ok = kind >= 2 ? designFilter(d, order, code, ripple, upper, lower, &reason)
                            : designFilter(d, order, code, ripple, 0.5, corner, &reason);
  if (!ok) {
    ui.message(std::string(kTrnBoundsError) + (reason.empty() ? "" : ": " + reason));
    return false;
  }
  return true;
}

// Eight channels run through the cascade side by side: each channel's
// recursion is a chain of dependent multiplications, and eight independent
// chains keep the processor busy where one leaves it waiting. The arithmetic
// is filterSample's, step for step (same order, same rounding), started in
// the steady state of the first sample it sees. `backward` runs from the last
// sample to the first, which is filtering the reversed channel.
constexpr int kLanes = 8;

void runIirLanes(const FilterDesign& d, bool blocksConstant, std::int16_t* const* x, const int* z, int n,
                 bool backward, std::vector<double>& work) {
  const int poles = std::clamp(d.poles, 0, kMaxFilterPoles);
  FilterState start[kLanes];
  int add[kLanes];
  for (int l = 0; l < kLanes; ++l) {
    settleFilter(d, start[l], x[l][backward ? n - 1 : 0]);
    add[l] = blocksConstant ? z[l] : 0;
  }
  // Section by section over the whole channel group: each section's two
  // delays stay in registers, and a section sees the same input sequence as
  // when all sections run sample by sample.
  work.resize(static_cast<std::size_t>(n) * kLanes);
  double* v = work.data();
  const double gain = d.gain;
  for (int k = 0; k < n; ++k) {
    const int i = backward ? n - 1 - k : k;
    for (int l = 0; l < kLanes; ++l) v[k * kLanes + l] = x[l][i] * gain;
  }
  const double* c = d.coeffs.data();
  int wi = 0;
  if (poles & 1) {
    double w[kLanes];
    for (int l = 0; l < kLanes; ++l) w[l] = start[l].delays[0];
    const double c0 = c[0], c1 = c[1];
    for (int k = 0; k < n; ++k)
      for (int l = 0; l < kLanes; ++l) {
        double& s = v[k * kLanes + l];
        const double wn = s - c0 * w[l];
        s = wn + c1 * w[l];
        w[l] = wn;
      }
    c += 2;
    wi = 1;
  }
  for (int sct = 0; sct < poles / 2; ++sct, c += 4, wi += 2) {
    double w2[kLanes], w1[kLanes];
    for (int l = 0; l < kLanes; ++l) {
      w2[l] = start[l].delays[static_cast<std::size_t>(wi)];
      w1[l] = start[l].delays[static_cast<std::size_t>(wi + 1)];
    }
    const double c0 = c[0], c1 = c[1], c2 = c[2], c3 = c[3];
    for (int k = 0; k < n; ++k)
      for (int l = 0; l < kLanes; ++l) {
        double& s = v[k * kLanes + l];
        const double wn = s - c0 * w1[l] - c1 * w2[l];
        s = wn + c2 * w1[l] + c3 * w2[l];
        w2[l] = w1[l];
        w1[l] = wn;
      }
  }
  constexpr double kLow = -2147483648.0, kHigh = 2147483647.0, kShift = 6755399441055744.0;
  for (int k = 0; k < n; ++k) {
    const int i = backward ? n - 1 - k : k;
    for (int l = 0; l < kLanes; ++l) {
      double y = v[k * kLanes + l] > kLow ? v[k * kLanes + l] : kLow;
      y = y < kHigh ? y : kHigh;
      const double rounded = (y + kShift) - kShift;  // to nearest, ties to even
      long long code = static_cast<long long>(rounded) + add[l];
      code = code < -32768 ? -32768 : (code > 32767 ? 32767 : code);
      x[l][i] = static_cast<std::int16_t>(code == kMarkCode ? kMarkCode + 1 : code);
    }
  }
}

}  // namespace

bool iirFilter(StudyState& s, bool keep, int type, int order, double ripple, int a, int b, double f1, double f2,
               bool twoWay, Interaction& ui) {
  if (!validRange(s, a, b) || type < 0 || type > 2) return false;
  FilterDesign d;
  if (!designBand(keep, type, order, ripple, f1, f2, d, ui)) return false;
  // A high-pass or band-pass removes the constant part: its output is put back on the zero level.
  const bool blocks = d.poles > 0 && filterResponse(d, 0) < 0.5;
  const int n = length(s);
  std::vector<std::int16_t> spare;  // stands in for the lanes a last group leaves empty
  std::vector<double> work;
  for (int ch = a; ch <= b; ch += kLanes) {
    std::int16_t* x[kLanes];
    int z[kLanes];
    for (int l = 0; l < kLanes; ++l) {
      if (ch + l <= b) {
        x[l] = data(s, ch + l);
        z[l] = s.zeroLevel[ch + l];
      } else {
        spare.assign(data(s, ch), data(s, ch) + n);
        x[l] = spare.data();
        z[l] = s.zeroLevel[ch];
      }
    }
    // The spare lanes share one copy: they all compute the same values into it.
    runIirLanes(d, blocks, x, z, n, false, work);
    if (twoWay) runIirLanes(d, blocks, x, z, n, true, work);
  }
  markRecordModified(s);
  return true;
}

bool movingAverageFilter(StudyState& s, int channel, double f1, double f2, Interaction& ui) {
  const int n = length(s);
  if (!validRange(s, channel, channel)) return false;
  if (f1 > f2) std::swap(f1, f2);
  if (f1 < 0 || (f1 == 0 && f2 <= 0)) {
    ui.message(kTrnRangeError);
    return false;
  }
  // The window whose mean has its first zero of the response near f.
  const auto window = [](double f) { return f > 0 ? static_cast<int>(std::trunc(1 / f / 3.9711764705882352943 + 0.5)) : 0; };
  const int w1 = window(f1), w2 = window(f2);
  std::int16_t* x = data(s, channel);
  const int z = s.zeroLevel[channel];
  std::vector<std::int16_t> y(x, x + n);
  const auto pass = [&](int w, bool replace) {
    if (w < 1 || w > n) return;
    long long sum = 0;
    for (int i = 0; i < w; ++i) sum += x[i] - z;
    for (int k = 1; k <= n - w; ++k) {
      if (k > 1) sum += (x[k + w - 2] - z) - (x[k - 2] - z);
      // Rounded to nearest: trunc(m + 0.5) would round negative means towards zero.
      const double mean = std::floor(static_cast<double>(sum) / w + 0.5);
      const int at = k + w / 2 - 1;
      if (replace)
        y[static_cast<std::size_t>(at)] = clampSignalCode(z + mean);
      else
        y[static_cast<std::size_t>(at)] = clampSignalCode(y[static_cast<std::size_t>(at)] - mean);
    }
  };
  if (w1 > 1) pass(w1, true);
  if (f2 > 0) pass(w2, false);
  std::memcpy(x, y.data(), sizeof(std::int16_t) * y.size());
  markRecordModified(s);
  return true;
}

bool filterRecord(StudyState& s, const TransformSettings& t, bool keep, SpectralEngine& engine, Interaction& ui) {
  const int n = length(s);
  if (n <= 0 || s.sampleRate <= 0) return false;
  double f1 = t.lowHz / s.sampleRate, f2 = t.highHz / s.sampleRate;
  if (!std::isfinite(f1) || !std::isfinite(f2)) {
    ui.message(kTrnRangeError);
    return false;
  }
  if (f1 > f2) std::swap(f1, f2);
  const auto type = static_cast<TransformFilterType>(t.filterType);
  if (type == TransformFilterType::MovingAverage) return movingAverageFilter(s, transformChannel(s), f1, f2, ui);
  f1 = std::min(f1, 0.5);
  f2 = std::min(f2, 0.5);
  if (f1 == f2 || f1 < 0) {
    ui.message(kTrnRangeError);
    return false;
  }
  const ChannelRange r = transformChannels(s, t.allChannels);
  const int order = std::clamp(t.order, 1, 50);
  double eps = t.ripple > 0 && t.ripple <= 100 ? t.ripple : 1;
  switch (type) {
    case TransformFilterType::Butterworth:
    case TransformFilterType::Chebyshev1:
    case TransformFilterType::Chebyshev2:
      if (type == TransformFilterType::Chebyshev1) eps = 1 / eps;
      return iirFilter(s, keep, t.filterType, order, eps / 100, r.first, r.last, f1, f2, t.twoWay, ui);
    case TransformFilterType::Fourier:
      if (keep) {
        if (f1 <= 0 || f2 >= 0.5) {
          if (f1 > 0) fftBandStop(engine, s, r.first, r.last, f1, 0);
          if (f2 < 0.5) fftBandStop(engine, s, r.first, r.last, 0.5, f2);
        } else {
          fftBandPass(engine, s, r.first, r.last, f2, f1);
        }
      } else {
        fftBandStop(engine, s, r.first, r.last, f2, f1);
      }
      break;
    case TransformFilterType::Wavelet:
      fftGauss(engine, s, r.first, r.last, f2, f1);
      break;
    default:
      return false;
  }
  markRecordModified(s);
  return true;
}

std::vector<ResponsePoint> filterMagnitudeResponse(const StudyState& s, const TransformSettings& t, bool removeBand,
                                                   Interaction& ui) {
  std::vector<ResponsePoint> out;
  if (s.sampleRate <= 0 || t.filterType < 0 || t.filterType > 2) return out;
  double f1 = t.lowHz / s.sampleRate, f2 = t.highHz / s.sampleRate;
  if (f1 > f2) std::swap(f1, f2);
  f1 = std::min(f1, 0.5);
  f2 = std::min(f2, 0.5);
  if (f1 == f2 || f1 < 0) {
    ui.message(kTrnRangeError);
    return out;
  }
  double eps = t.ripple > 0 && t.ripple <= 100 ? t.ripple : 1;
  if (t.filterType == 1) eps = 1 / eps;
  FilterDesign d;
  if (!designBand(!removeBand, t.filterType, std::clamp(t.order, 1, 50), eps / 100, f1, f2, d, ui)) return out;
  const double lo = std::max(0.0, f1 - (f2 - f1)), hi = std::min(0.5, f2 + (f2 - f1));
  for (int k = 0; k <= 100; ++k) {
    const double f = lo + k * (hi - lo) / 100;
    out.push_back({s.sampleRate * f, std::sqrt(std::max(0.0, filterResponse(d, f)))});
  }
  return out;
}

namespace {

// floor(sum / d + 0.5) exactly, for d > 0: the quotient from a multiplication
// by 1/d, corrected by the integer remainder.
inline long long roundedQuotient(long long sum, long long d, double inverse) {
  long long q = static_cast<long long>(std::floor(static_cast<double>(sum) * inverse + 0.5));
  const long long r = 2 * sum + d - 2 * d * q;  // 2d·(sum/d + ½ − q)
  if (r < 0) --q;
  else if (r >= 2 * d) ++q;
  return q;
}

// A code computed from codes inside the 16-bit range: only the mark code is kept off.
inline std::int16_t offMark(long long v) { return static_cast<std::int16_t>(v == kMarkCode ? kMarkCode + 1 : v); }

}  // namespace

// --- smoothing and shapes -------------------------------------------------------------------

bool smoothChannels(StudyState& s, int window, int a, int b, Interaction& ui) {
  const int n = length(s);
  const int w = std::max(3, window);
  if (!validRange(s, a, b)) return false;
  if (w > n) {
    ui.message(kTrnNoChange);
    return false;
  }
  // Window sums from prefix sums (32767 codes of 16 bits fit 32 bits), their
  // means put in place; the samples outside keep theirs. A correctly rounded
  // division lands exactly on a tie k − ½ when there is one, so
  // floor(sum / w + ½) needs no correction; the sums are first lifted by
  // 40000·w so that truncation is the floor.
  std::vector<std::int32_t> prefix(static_cast<std::size_t>(n) + 1);
  std::vector<std::int16_t> y(static_cast<std::size_t>(n - w + 1));
  const double lift = 40000.0 * w, width = w;
  for (int ch = a; ch <= b; ++ch) {
    std::int16_t* x = data(s, ch);
    std::int32_t* p = prefix.data();
    p[0] = 0;
    for (int i = 0; i < n; ++i) p[i + 1] = p[i] + x[i];
    std::int16_t* out = y.data();
    const int count = n - w + 1;
    for (int i = 0; i < count; ++i) {
      const int q = static_cast<int>((static_cast<double>(p[i + w] - p[i]) + lift) / width + 0.5) - 40000;
      out[i] = static_cast<std::int16_t>(q == kMarkCode ? kMarkCode + 1 : q);
    }
    std::memcpy(x + w / 2, y.data(), sizeof(std::int16_t) * y.size());
  }
  markRecordModified(s);
  return true;
}

bool windowSmoothing(StudyState& s, int window) {
  const int n = length(s);
  const int ch = transformChannel(s);
  if (window < 1 || window > n || !validRange(s, ch, ch)) return false;
  std::int16_t* x = data(s, ch);
  const std::vector<std::int16_t> copy(x, x + n);
  long long sum = 0;
  for (int i = 0; i < window; ++i) sum += copy[static_cast<std::size_t>(i)];
  for (int i = 0; i <= n - window; ++i) {
    if (i > 0) sum += copy[static_cast<std::size_t>(i + window - 1)] - copy[static_cast<std::size_t>(i - 1)];
    x[i + window / 2] = clampSignalCode(static_cast<double>(sum) / window);
  }
  markRecordModified(s);
  return true;
}

bool smoothChannels121(StudyState& s, int a, int b) {
  if (!validRange(s, a, b)) return false;
  for (int ch = a; ch <= b; ++ch) smooth121(data(s, ch), length(s));
  markRecordModified(s);
  return true;
}

bool suppressSpikes(StudyState& s, int channel) {
  const int n = length(s);
  if (!validRange(s, channel, channel)) return false;
  std::int16_t* x = data(s, channel);
  for (int i = 0; i + 2 < n; ++i) {
    const int a = x[i], b = x[i + 1], c = x[i + 2];
    if (2 * std::abs(a - c) < std::abs(a - b) + std::abs(b - c) && b != kMarkCode)
      x[i + 1] = clampSignalCode(a + ((c - a) >> 1));
  }
  s.recordModified = s.recordModified < 0 ? s.recordModified : 1;
  return true;
}

bool reverseTime(StudyState& s, int channel) {
  if (!validRange(s, channel, channel)) return false;
  std::reverse(data(s, channel), data(s, channel) + length(s));
  s.recordModified = s.recordModified < 0 ? s.recordModified : 1;
  return true;
}

bool derivative(StudyState& s, int a, int b) {
  const int n = length(s);
  if (!validRange(s, a, b)) return false;
  for (int ch = a; ch <= b; ++ch) {
    std::int16_t* x = data(s, ch);
    const int z = s.zeroLevel[ch];
    for (int i = 0; i + 1 < n; ++i) x[i] = clampSignalCode(5.0 * (x[i + 1] - x[i]) + z);
    // The last sample has no successor: it gets the zero line, not code 0
    // (which the smoothing would spread into a step at the record's end).
    x[n - 1] = static_cast<std::int16_t>(z);
    for (int pass = 0; pass < 3; ++pass) smooth121(x, n);
    s.calibValue[ch] = static_cast<std::uint16_t>(std::max(1.0, std::trunc(s.calibValue[ch] / 5.0 * 1.3)));
  }
  markRecordModified(s);
  return true;
}

bool peakEnvelope(StudyState& s, int a, int b) {
  const int n = length(s);
  if (!validRange(s, a, b)) return false;
  for (int ch = a; ch <= b; ++ch) {
    std::int16_t* x = data(s, ch);
    const int z = s.zeroLevel[ch];
    for (int i = 0; i < n; ++i)
      if (x[i] < z) x[i] = clampSignalCode(z + (z - x[i]));
    int previous = -1;
    for (int j = 1; j + 1 < n; ++j) {
      if (!(x[j] >= x[j - 1] && x[j + 1] < x[j])) continue;
      if (previous >= 0 && j - previous > 1) {
        const double y0 = x[previous], y1 = x[j];
        for (int k = previous + 1; k < j; ++k)
          x[k] = clampSignalCode(std::floor(y0 + (y1 - y0) * (k - previous) / (j - previous) + 0.5));
      }
      previous = j;
    }
    s.channelPosX[static_cast<std::size_t>(ch)] = kKindEcg;  // kind 255: no electrode on the head
  }
  markRecordModified(s);
  return true;
}

namespace {

// A radix-2 complex FFT of one power-of-two length with its bit-reversal
// and twiddle tables made once.
class FftPlan {
 public:
  explicit FftPlan(int n) : n_(n), reversed_(static_cast<std::size_t>(n)), twiddle_(static_cast<std::size_t>(n / 2)) {
    int bits = 0;
    while ((1 << bits) < n) ++bits;
    for (int i = 0; i < n; ++i) {
      int r = 0;
      for (int k = 0; k < bits; ++k)
        if (i & (1 << k)) r |= 1 << (bits - 1 - k);
      reversed_[static_cast<std::size_t>(i)] = r;
    }
    for (int k = 0; k < n / 2; ++k) twiddle_[static_cast<std::size_t>(k)] = std::polar(1.0, -2 * M_PI * k / n);
  }
  int size() const { return n_; }
  // `inverse` without the 1/N.
  void run(std::complex<double>* v, bool inverse) const {
    for (int i = 0; i < n_; ++i) {
      const int r = reversed_[static_cast<std::size_t>(i)];
      if (i < r) std::swap(v[i], v[r]);
    }
    for (int len = 2; len <= n_; len <<= 1) {
      const int half = len / 2, stride = n_ / len;
      for (int i = 0; i < n_; i += len)
        for (int k = 0; k < half; ++k) {
          std::complex<double> w = twiddle_[static_cast<std::size_t>(k * stride)];
          if (inverse) w = std::conj(w);
          const std::complex<double> x = v[i + k + half];
          // The product written out: std::complex's operator* checks for infinities.
          const std::complex<double> tw(x.real() * w.real() - x.imag() * w.imag(),
                                        x.real() * w.imag() + x.imag() * w.real());
          v[i + k + half] = v[i + k] - tw;
          v[i + k] += tw;
        }
    }
  }

 private:
  int n_;
  std::vector<int> reversed_;
  std::vector<std::complex<double>> twiddle_;
};

// The magnitudes of the analytic signals of two blocks x1, x2 of N samples
// around their means, with one pair of transforms: the Hilbert transform is
// linear, so that of x1 + i·x2 is H(x1) + i·H(x2).
void analyticMagnitudes(const FftPlan& plan, const std::int16_t* x1, const std::int16_t* x2,
                        std::vector<std::complex<double>>& buf, double* out1, double* out2) {
  const int N = plan.size();
  double m1 = 0, m2 = 0;
  for (int i = 0; i < N; ++i) m1 += x1[i], m2 += x2[i];
  m1 /= N, m2 /= N;
  buf.resize(static_cast<std::size_t>(N));
  for (int i = 0; i < N; ++i) buf[static_cast<std::size_t>(i)] = {x1[i] - m1, x2[i] - m2};
  plan.run(buf.data(), false);
  // −i·sgn(k): positive frequencies times −i, negative ones times i, 0 and N/2 removed.
  buf[0] = 0;
  buf[static_cast<std::size_t>(N / 2)] = 0;
  for (int k = 1; k < N / 2; ++k) {
    auto& p = buf[static_cast<std::size_t>(k)];
    p = {p.imag(), -p.real()};
    auto& q = buf[static_cast<std::size_t>(N - k)];
    q = {-q.imag(), q.real()};
  }
  plan.run(buf.data(), true);
  for (int i = 0; i < N; ++i) {
    const double h1 = buf[static_cast<std::size_t>(i)].real() / N, h2 = buf[static_cast<std::size_t>(i)].imag() / N;
    const double a1 = x1[i] - m1, a2 = x2[i] - m2;
    out1[i] = std::sqrt(a1 * a1 + h1 * h1);
    out2[i] = std::sqrt(a2 * a2 + h2 * h2);
  }
}

}  // namespace

bool hilbertEnvelope(StudyState& s, int a, int b, double f1, double f2, SpectralEngine& engine) {
  const int n = length(s);
  if (!validRange(s, a, b) || n < 16) return false;
  if (f1 > 0 || f2 > 0) fftBandPass(engine, s, a, b, std::max(f1, f2), std::min(f1, f2));
  int N = 1;
  while (N * 2 <= std::min(n, 8192)) N *= 2;
  const FftPlan plan(N);
  std::vector<std::complex<double>> buf;
  std::vector<double> env(2 * static_cast<std::size_t>(n));
  std::vector<double> block(2 * static_cast<std::size_t>(N));
  // Blocks of N one after another; the last one ends at the record's end
  // (overlapping the one before), so no sample is left without an envelope.
  std::vector<int> joins;
  for (int start = N; start < n; start += N) joins.push_back(start);
  for (int ch = a; ch <= b; ch += 2) {
    const int other = std::min(ch + 1, b);  // an odd channel out is paired with itself
    const std::int16_t* x1 = data(s, ch);
    const std::int16_t* x2 = data(s, other);
    for (int start = 0; start < n; start += N) {
      const int from = std::min(start, n - N);
      analyticMagnitudes(plan, x1 + from, x2 + from, buf, block.data(), block.data() + N);
      for (int i = start; i < std::min(n, start + N); ++i) {
        env[static_cast<std::size_t>(i)] = block[static_cast<std::size_t>(i - from)];
        env[static_cast<std::size_t>(n + i)] = block[static_cast<std::size_t>(N + i - from)];
      }
    }
    for (int k = 0; k < (other == ch ? 1 : 2); ++k) {
      const int c = ch + k;
      std::int16_t* x = data(s, c);
      const int z = s.zeroLevel[c];
      const double* e = env.data() + static_cast<std::size_t>(k) * static_cast<std::size_t>(n);
      for (int i = 0; i < n; ++i) x[i] = clampSignalCode(std::trunc(e[i]) + z);
      // The block edges do not meet exactly: 9 samples around each join get three 5-point means.
      for (int p : joins)
        for (int pass = 0; pass < 3; ++pass)
          for (int i = std::max(2, p - 4); i <= std::min(n - 3, p + 4); ++i) {
            int sum = 0;
            for (int q = -2; q <= 2; ++q) sum += x[i + q];
            x[i] = clampSignalCode(std::floor(sum / 5.0 + 0.5));
          }
      s.channelPosX[static_cast<std::size_t>(c)] = kKindEcg;
    }
  }
  markRecordModified(s);
  return true;
}

bool zScores(StudyState& s, int a, int b, Interaction& ui) {
  const int n = length(s);
  if (!validRange(s, a, b) || n < 2) return false;
  std::vector<double> mean(static_cast<std::size_t>(b + 1)), scale(static_cast<std::size_t>(b + 1));
  for (int ch = a; ch <= b; ++ch) {
    // Integer sums are exact: 32767 samples of 16-bit codes stay far inside 64 bits.
    const std::int16_t* x = data(s, ch);
    long long sum = 0, squares = 0;
    for (int i = 0; i < n; ++i) sum += x[i], squares += static_cast<long long>(x[i]) * x[i];
    const double m = static_cast<double>(sum) / n;
    const double spread = static_cast<double>(squares) - static_cast<double>(sum) * m;
    const double d = std::sqrt(std::max(0.0, spread) / (n - 1));
    if (!(d > 0)) {
      ui.message(std::string(kTrnFlatChannel) + " (" + trimSpaces(s.channelNames[static_cast<std::size_t>(ch)]) + ")");
      return false;
    }
    mean[static_cast<std::size_t>(ch)] = m;
    scale[static_cast<std::size_t>(ch)] = 2048.0 / 4 / d;
  }
  for (int ch = a; ch <= b; ++ch) {
    std::int16_t* x = data(s, ch);
    const double m = mean[static_cast<std::size_t>(ch)], k = scale[static_cast<std::size_t>(ch)];
    for (int i = 0; i < n; ++i) {
      double v = (x[i] - m) * k + 2048;
      v = v < -32768.0 ? -32768.0 : (v > 32767.0 ? 32767.0 : v);
      const int c = static_cast<int>(v);  // truncation towards zero
      x[i] = static_cast<std::int16_t>(c == kMarkCode ? kMarkCode + 1 : c);
    }
    s.zeroLevel[ch] = 2048;
    s.calibValue[ch] = 100;
  }
  markRecordModified(s);
  return true;
}

bool applyFormula(StudyState& s, const CompiledFormula& formula, Interaction& ui) {
  const int n = length(s);
  const int channels = std::min(s.channelCount, kMaxChannels);
  if (n <= 0 || channels <= 0 || formula.empty()) return false;
  int first = 0, last = n - 1;
  if (s.selectionAnchor >= 1 && s.selectionAnchor != s.cursorPos) {
    first = std::clamp(std::min(s.selectionAnchor, s.cursorPos), 0, n - 1);
    last = std::clamp(std::max(s.selectionAnchor, s.cursorPos), 0, n - 1);
  }
  const int width = last - first + 1;
  // Every value from the record as it was, then all written: a formula that
  // reads neighbouring samples sees no half-changed record, and a fault
  // changes nothing.
  std::vector<std::int16_t> out(static_cast<std::size_t>(channels) * static_cast<std::size_t>(width));
  FormulaContext ctx;
  ctx.study = &s;
  for (int ch = 0; ch < channels; ++ch) {
    ctx.i = ch + 1;
    const double cv = s.calibValue[ch], cu = s.calibUnits[ch], z = s.zeroLevel[ch];
    for (int k = 0; k < width; ++k) {
      ctx.j = first + k + 1;
      const FormulaValue v = evaluateFormula(formula, ctx);
      if (!v.ok()) {
        ui.message(std::string(kTrnFormulaFault) + formulaFaultText(v.fault));
        return false;
      }
      double code;
      if (s.viewMode == ViewMode::Transform) {
        switch (toNumber(s.transformKind)) {
          case 1: code = cv > 0 ? v.value / cv * cu / 1024 : 0; break;
          case 3: code = v.value * 2047 / 180 + 2048; break;
          case 4: code = v.value * 2047; break;
          case 6: code = v.value * 2047 + 2048; break;
          default: code = cv > 0 ? v.value / cv * cu : 0; break;
        }
      } else {
        if (cv <= 0) {
          ui.message(kTrnFlatChannel);
          return false;
        }
        code = v.value / cv * cu + z;
      }
      out[static_cast<std::size_t>(ch) * static_cast<std::size_t>(width) + static_cast<std::size_t>(k)] =
          clampSignalCode(code, static_cast<std::int16_t>(z));
    }
  }
  for (int ch = 0; ch < channels; ++ch)
    std::memcpy(data(s, ch) + first, out.data() + static_cast<std::size_t>(ch) * static_cast<std::size_t>(width),
                sizeof(std::int16_t) * static_cast<std::size_t>(width));
  markRecordModified(s);
  return true;
}

bool commonAverageReference(StudyState& s) {
  const int n = length(s);
  const int channels = std::min(s.channelCount, kMaxChannels);
  if (n <= 0 || channels <= 0) return false;
  // 64 channels of 16-bit differences fit a 32-bit sum.
  std::vector<std::int32_t> sum(static_cast<std::size_t>(n), 0);
  for (int ch = 0; ch < channels; ++ch) {
    const std::int16_t* x = data(s, ch);
    const int z = s.zeroLevel[ch];
    std::int32_t* acc = sum.data();
    for (int i = 0; i < n; ++i) acc[i] += x[i] - z;
  }
  const double inverse = 1.0 / channels;
  for (int i = 0; i < n; ++i)
    sum[static_cast<std::size_t>(i)] = static_cast<std::int32_t>(roundedQuotient(sum[static_cast<std::size_t>(i)], channels, inverse));
  for (int ch = 0; ch < channels; ++ch) {
    std::int16_t* x = data(s, ch);
    const int shift = 2048 - s.zeroLevel[ch];
    const std::int32_t* avg = sum.data();
    for (int i = 0; i < n; ++i) {
      int v = x[i] + shift - avg[i];
      v = v < -32768 ? -32768 : (v > 32767 ? 32767 : v);
      x[i] = static_cast<std::int16_t>(v == kMarkCode ? kMarkCode + 1 : v);
    }
    s.zeroLevel[ch] = 2048;
  }
  s.recordModified = s.recordModified < 0 ? s.recordModified : 1;
  return true;
}

// --- other files ---------------------------------------------------------------------------------

namespace {

struct OtherRecord {
  RecordFileHeader header;
  RecordInfo info;
  std::vector<std::vector<std::int16_t>> samples;
};

bool readFirstRecord(const std::string& path, OtherRecord& o, Interaction& ui) {
  std::string reason;
  std::vector<RecordInfo> records;
  if (!readRecordFileHeader(path, o.header, reason)) {
    ui.message(std::string(kTrnOtherFileUnreadable) + path + (reason.empty() ? "" : ": " + reason));
    return false;
  }
  scanRecords(path, o.header, records, reason);
  if (records.empty() || !readRecordSamples(path, o.header, records[0], o.samples, reason)) {
    ui.message(std::string(kTrnOtherFileUnreadable) + path + (reason.empty() ? "" : ": " + reason));
    return false;
  }
  o.info = records[0];
  return true;
}

}  // namespace

bool channelFromFile(StudyState& s, const std::string& path, int otherChannel, Interaction& ui) {
  const int ch = transformChannel(s);
  if (otherChannel < 1 || !validRange(s, ch, ch)) return false;
  OtherRecord o;
  if (!readFirstRecord(path, o, ui)) return false;
  if (otherChannel > o.header.channelCount) {
    ui.message(kTrnChannelError);
    return false;
  }
  const auto& y = o.samples[static_cast<std::size_t>(otherChannel - 1)];
  const std::size_t count = std::min(y.size(), static_cast<std::size_t>(length(s)));
  std::memcpy(data(s, ch), y.data(), sizeof(std::int16_t) * count);
  markRecordModified(s);
  return true;
}

bool averageWithFile(StudyState& s, const std::string& path, Interaction& ui) {
  const int n = length(s);
  const int channels = std::min(s.channelCount, kMaxChannels);
  if (n <= 0 || channels <= 0) return false;
  OtherRecord o;
  if (!readFirstRecord(path, o, ui)) return false;
  if (o.header.sampleRate != s.sampleRate || o.header.channelCount != channels ||
      o.samples.size() < static_cast<std::size_t>(channels) ||
      o.samples[0].size() != static_cast<std::size_t>(n)) {
    ui.message(kTrnOtherFileMismatch);
    return false;
  }
  // Counts of averaged epochs; a plain record counts as one.
  const double r = std::max(1, std::abs(s.recordCount)), k = std::max(1, std::abs(o.header.recordCount));
  for (int ch = 0; ch < channels; ++ch) {
    std::int16_t* x = data(s, ch);
    const auto& y = o.samples[static_cast<std::size_t>(ch)];
    const int z = s.zeroLevel[ch], zo = o.header.zeroLevel[ch];
    for (int i = 0; i < n; ++i)
      x[i] = clampSignalCode((x[i] - z) * r / (r + k) + (y[static_cast<std::size_t>(i)] - zo) * k / (r + k) + z);
  }
  s.recordCount = -static_cast<int>(r + k);
  markRecordModified(s);
  return true;
}

// --- comparison ------------------------------------------------------------------------------------

bool compareChannels(const StudyState& s, int otherChannel, ChannelComparison& out, Interaction& ui) {
  const int n = length(s);
  const int c1 = transformChannel(s), c2 = otherChannel - 1;
  if (c2 < 0 || c2 >= std::min(s.channelCount, kMaxChannels) || c2 == c1 || n < 3) {
    ui.message(kTrnChannelError);
    return false;
  }
  const EditInterval iv = selectedInterval(s);
  long p, q;
  if (iv.selected && iv.width > 0) {
    p = iv.start, q = iv.width;
  } else {
    p = s.cursorPos, q = 1023;
  }
  p = std::clamp<long>(p, 0, n - 1);
  q = std::min<long>({q, 1023, n - 1 - p});
  if (q < 2) {
    ui.message(kTrnNoSelection);
    return false;
  }
  out = ChannelComparison{};
  out.start = static_cast<int>(p);
  out.length = static_cast<int>(q);
  const int m = static_cast<int>(q) + 1;
  std::vector<double> d(static_cast<std::size_t>(m));
  double sx = 0, sy = 0;
  for (int i = 0; i < m; ++i) {
    const double a = s.physicalValue(static_cast<int>(p) + i, c1), b = s.physicalValue(static_cast<int>(p) + i, c2);
    out.time.push_back(static_cast<double>(p + i) / std::max(1, s.sampleRate));
    out.first.push_back(a);
    out.second.push_back(b);
    d[static_cast<std::size_t>(i)] = a - b;
    sx += a, sy += b;
  }
  // Paired t.
  double sd = 0, sd2 = 0;
  for (double v : d) sd += v, sd2 += v * v;
  const double spread = (sd2 - sd * sd / m) / m / static_cast<double>(q);
  // Pearson correlation.
  const double mx = sx / m, my = sy / m;
  double cxy = 0, cxx = 0, cyy = 0;
  for (int i = 0; i < m; ++i) {
    const double a = out.first[static_cast<std::size_t>(i)] - mx, b = out.second[static_cast<std::size_t>(i)] - my;
    cxy += a * b, cxx += a * a, cyy += b * b;
  }
  if (!(spread > 0) || !(cxx > 0) || !(cyy > 0)) {
    ui.message(kTrnFlatChannel);
    return false;
  }
  out.t = (std::fabs(sd) / m) / std::sqrt(spread);
  out.pT = fTailProbability(static_cast<double>(q), 1, out.t);
  // Signed ranks: zero differences left out, equal magnitudes share their mean rank.
  std::vector<double> mag;
  std::vector<bool> positive;
  {
    std::vector<std::pair<double, bool>> v;
    for (double x : d)
      if (x != 0) v.push_back({std::fabs(x), x > 0});
    std::sort(v.begin(), v.end(), [](const auto& l, const auto& r) { return l.first < r.first; });
    double w = 0;
    for (std::size_t i = 0; i < v.size();) {
      std::size_t j = i;
      while (j + 1 < v.size() && v[j + 1].first == v[i].first) ++j;
      const double rank = (static_cast<double>(i) + static_cast<double>(j)) / 2 + 1;
      for (std::size_t k = i; k <= j; ++k)
        if (v[k].second) w += rank;
      i = j + 1;
    }
    const double np = static_cast<double>(v.size());
    out.w = w;
    const double sdw = std::sqrt(np * (np + 1) * (2 * np + 1) / 24);
    const double z = sdw > 0 ? (w - np * (np + 1) / 4) / sdw : 0;
    out.pW = 2 * normalTailProbability(1, 0, std::fabs(z));
    out.pW = std::min(1.0, out.pW);
  }
  out.r = cxy / std::sqrt(cxx * cyy);
  const double tr = std::fabs(out.r) >= 1 ? 100 : out.r * std::sqrt((static_cast<double>(q) - 1) / (1 - out.r * out.r));
  out.pR = fTailProbability(static_cast<double>(q) - 1, 1, tr);
  out.line = std::string(kTrnStatT) + formatNumber(out.t) + kTrnStatSgnT + formatNumber(out.pT) + kTrnStatGap1 +
             kTrnStatW + formatNumber(out.w) + kTrnStatSgn + formatNumber(out.pW) + kTrnStatCorr +
             formatNumber(out.r) + kTrnStatSgn + formatNumber(out.pR);
  return true;
}

// --- header lines -------------------------------------------------------------------------------------

std::string headerSummaryLine(const StudyState& s) {
  const auto underscores = [](std::string t) {
    t = trimSpaces(t);
    std::replace(t.begin(), t.end(), ' ', '_');
    return t;
  };
  return underscores(s.recordFileName) + " " + std::to_string(s.sampleRate) + " " + trimSpaces(headerField(s, 3)) +
         " " + trimSpaces(headerField(s, 5)) + " " + trimSpaces(headerField(s, 6)) + " " +
         underscores(headerField(s, 7));
}

bool appendHeaderSummary(const StudyState& s, std::vector<std::string>& list, const std::string& dir, Interaction& ui) {
  list.push_back(headerSummaryLine(s));
  if (!writeTextLines(dir + kTrnHeaderFile, list)) {
    ui.message(std::string("Не записан файл ") + kTrnHeaderFile);
    return false;
  }
  return true;
}

}  // namespace velor
