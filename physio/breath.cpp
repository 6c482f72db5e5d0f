#include "physio/breath.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>

#include "core/numtext.h"
#include "core/study_state.h"
#include "physio/breath_texts.h"

namespace velor {

namespace {

constexpr int kSaturated = 4080;  // above: the channel is clipped, depth and amplitude tests are waived
constexpr int kTopCode = 4095;

// The first position of the smallest sample below the top code in a .. b;
// `a` when every sample there is at the top.
int troughBetween(const std::int16_t* x, int a, int b) {
  int best = a, low = INT_MAX;
  for (int k = a; k <= b; ++k)
    if (x[k] < kTopCode && x[k] < low) {
      low = x[k];
      best = k;
    }
  return best;
}

constexpr int kWrapStep = 3072;  // three quarters of the 12-bit scale

}  // namespace

std::vector<std::int16_t> cleanBreathingSignal(const std::int16_t* x, int length, int sampleRate) {
  std::vector<std::int16_t> y;
  if (!x || length <= 0) return y;
  y.assign(x, x + length);
  // marks are not signal: the sample before stands in for them
  std::int16_t last = 2048;
  for (int i = 0; i < length; ++i) {
    if (y[static_cast<std::size_t>(i)] == kMarkCode) y[static_cast<std::size_t>(i)] = last;
    last = y[static_cast<std::size_t>(i)];
  }
  // A 12-bit value that runs past an end of the range reappears at the other
  // end (PhysioNet's format 212 stores it so): a step of nearly the whole
  // scale between neighbours. The samples beyond the range become the range
  // end they passed, as a clipping amplifier would give them.
  const bool twelveBit = std::all_of(y.begin(), y.end(), [](std::int16_t v) { return v >= 0 && v <= kTopCode; });
  if (twelveBit) {
    int beyond = 0;  // > 0 above the range, < 0 below, counted in wraps
    std::int16_t before = y[0];
    for (int i = 1; i < length; ++i) {
      const std::int16_t v = y[static_cast<std::size_t>(i)];
      const int step = v - before;
      before = v;
      if (step < -kWrapStep) ++beyond;
      else if (step > kWrapStep) --beyond;
      if (beyond > 0) y[static_cast<std::size_t>(i)] = kTopCode;
      else if (beyond < 0) y[static_cast<std::size_t>(i)] = 0;
    }
  }
  // running median over 0.1 s (odd width; 1 below 20 Hz leaves the signal as it is)
  const int w = std::max(1, sampleRate / 10) | 1;
  if (w > 1 && length > 2) {
    const int hw = w / 2;
    std::vector<std::int16_t> src = y, window;
    window.reserve(static_cast<std::size_t>(w));
    int a = 0, b = -1;  // the window holds src[a .. b], kept sorted
    for (int i = 0; i < length; ++i) {
      const int na = std::max(0, i - hw), nb = std::min(length - 1, i + hw);
      while (b < nb) {
        const std::int16_t v = src[static_cast<std::size_t>(++b)];
        window.insert(std::upper_bound(window.begin(), window.end(), v), v);
      }
      while (a < na) {
        const std::int16_t v = src[static_cast<std::size_t>(a++)];
        window.erase(std::lower_bound(window.begin(), window.end(), v));
      }
      y[static_cast<std::size_t>(i)] = window[(window.size() - 1) / 2];
    }
  }
  return y;
}

BreathTable detectBreaths(const std::int16_t* raw, int length, int sampleRate, const BreathDetectorParameters& p) {
  BreathTable t;
  if (!raw || length <= 0 || sampleRate <= 0) return t;
  const std::vector<std::int16_t> cleaned = cleanBreathingSignal(raw, length, sampleRate);
  const std::int16_t* x = cleaned.data();
  const int h = std::max(1, sampleRate / 2);
  const double fs = sampleRate;
  // prev peak 0 before the first one; its trough is sample 0 too
  int prevPeak = 0, prevTrough = 0;
  int f = 0;
  bool searching = true;
  // The running maximum starts below every code: starting at 0 would leave
  // its position at a stale earlier sample when a window holds no positive
  // code, and the scan would jump back there for ever.
  int m = INT_MIN, mpos = 0;
  for (int j = 0; j < length; ++j) {
    if (x[j] > m) {
      m = x[j];
      mpos = j;
    }
    if (j - f < h) continue;
    m = INT_MIN;
    if (searching || x[mpos] > x[f]) {
      f = mpos;
      searching = false;
      j = f;  // resume after the candidate
      continue;
    }
    // the candidate is the highest of the h samples after it: judge it
    const int prev = t.peaks.empty() ? 0 : prevPeak;
    const int mid = prev + (f - prev) / 2;
    const bool breath = (x[prev] - x[mid] < p.depthRatio * (x[f] - x[mid])) ||
                        (x[prev] > kSaturated && f - prev > p.saturatedGapSeconds * fs && x[mid] < x[f]) ||
                        (f - prev > p.longGapSeconds * fs);
    if (breath) {
      const int trough = troughBetween(x, prev, f);
      const bool accepted = t.peaks.empty() || x[prev] > kSaturated ||
                            x[prev] - x[prevTrough] < p.amplitudeRatio * (x[f] - x[trough]);
      if (accepted) {
        if (static_cast<int>(t.peaks.size()) >= kBreathTableCapacity) {
          t.full = true;
          break;
        }
        t.peaks.push_back(f);
        t.troughs.push_back(trough);
        t.amplitudeCodes.push_back(x[f] - x[trough]);
        prevPeak = f;
        prevTrough = trough;
      }
    }
    f = j;
    searching = true;
  }
  return t;
}

int detectBreaths(StudyState& s, int channel, bool* full, BreathTable* table) {
  if (channel < 0 || channel >= s.channelCount || !s.channel(channel)) return 0;
  const BreathTable t = detectBreaths(s.channel(channel), s.recordLength, s.sampleRate);
  if (table) *table = t;
  s.resultStore[0] = 0;
  for (std::size_t k = 0; k < t.peaks.size(); ++k) {
    s.resultStore[k + 1] = static_cast<std::int16_t>(t.peaks[k]);
    s.resultStore[kBreathTroughBase + k + 1] = static_cast<std::int16_t>(t.troughs[k]);
  }
  if (full) *full = t.full;
  return static_cast<int>(t.peaks.size()) + 1;
}

bool summarizeBreaths(const std::int16_t* x, const BreathTable& t, int sampleRate, double microvoltsPerCode,
                      BreathSummary& out, std::string& message) {
  out = {};
  const std::size_t n = t.peaks.size();
  if (n < 2 || sampleRate <= 0) {
    message = kBreathTooFew;
    return false;
  }
  // B − 2 = n − 1 points: the last peak has no following period
  for (std::size_t k = 0; k + 1 < n; ++k) {
    out.periods.push_back(static_cast<double>(t.peaks[k + 1] - t.peaks[k]) / sampleRate);
    const int codes = k < t.amplitudeCodes.size() ? t.amplitudeCodes[k] : x[t.peaks[k]] - x[t.troughs[k]];
    out.amplitudes.push_back(codes * microvoltsPerCode);
  }
  const auto meanSd = [](const std::vector<double>& v, double& mean, double& sd) {
    double s1 = 0, s2 = 0;
    for (double a : v) {
      s1 += a;
      s2 += a * a;
    }
    mean = s1 / static_cast<double>(v.size());
    sd = std::sqrt(std::max(0.0, s2 / static_cast<double>(v.size()) - mean * mean));
  };
  meanSd(out.periods, out.meanPeriod, out.sdPeriod);
  meanSd(out.amplitudes, out.meanAmplitude, out.sdAmplitude);
  out.ratePerMinute = out.meanPeriod > 0 ? 60.0 / out.meanPeriod : 0;
  out.lines.push_back(std::string(kBreathMeanPeriod) + formatNumber(out.meanPeriod) + kBreathPeriodSd +
                      formatNumber(out.sdPeriod));
  out.lines.push_back(std::string(kBreathMeanAmplitude) + formatNumber(out.meanAmplitude) + kBreathAmplitudeSd +
                      formatNumber(out.sdAmplitude));
  return true;
}

}  // namespace velor
