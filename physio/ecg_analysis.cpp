#include "physio/ecg_analysis.h"

#include <algorithm>
#include <cmath>
#include <numeric>

#include "core/binio.h"
#include "core/checked_write.h"
#include "core/numtext.h"
#include "core/text.h"
#include "physio/ecg_texts.h"

namespace velor {

namespace {

constexpr int kMaxIntervalForm = 2032;
constexpr int kMaxDynamicsBeats = 1023;
constexpr int kMaxScatter = 1023;
constexpr int kMaxSlots = 1001;

// trunc(v + 0.5); the small allowance keeps 12.5 computed as 12.4999… from
// rounding down.
long long roundUp(double v) { return static_cast<long long>(std::trunc(v + 0.5 + 1e-9 * std::max(1.0, std::fabs(v)))); }

std::string fmt(double v) { return formatNumber(v); }
// A value shown as "—" when it cannot be computed.
std::string fmtOr(bool ok, double v) { return ok && std::isfinite(v) ? formatNumber(v) : std::string(kEcgNoValue); }
std::string intOr(bool ok, double v) {
  return ok && std::isfinite(v) ? formatNumber(static_cast<double>(roundUp(v))) : std::string(kEcgNoValue);
}

std::string padLeft7(const std::string& t) {
  // width in characters; "—" is one character of three bytes
  std::size_t chars = 0;
  for (unsigned char c : t) chars += (c & 0xC0) != 0x80 ? 1 : 0;
  return chars >= 7 ? t : std::string(7 - chars, ' ') + t;
}

}  // namespace

bool isIntervalFormChannel(const StudyState& s, int channel) {
  if (channel < 0 || channel >= s.channelCount || s.recordLength < 6) return false;
  const std::int16_t* x = s.channelData[static_cast<std::size_t>(channel)];
  if (!(x[0] == x[1] && x[1] == x[2] && x[0] != 0)) return false;
  int n = 0;
  for (int i = 3; i < s.recordLength && n < kMaxIntervalForm; ++i) {
    if (x[i] == 0) break;
    const double ms = s.physicalValue(i, channel);
    if (!(ms >= 100 && ms <= 5000)) return false;
    ++n;
  }
  return n >= 3;
}

int collectIntervals(StudyState& s, int channel, const BeatDetectorSettings& settings, std::vector<int>& rr,
                     int& intervalRate, std::string& problem, const BeatDetectorOptions& options) {
  rr.clear();
  intervalRate = s.sampleRate;
  std::int16_t* table = s.resultStore;
  if (isIntervalFormChannel(s, channel)) {
    // Mended: the study's sampleRate stays (it belongs to every channel of
    // the record); the intervals carry their own rate of 1000.
    intervalRate = 1000;
    const std::int16_t* x = s.channelData[static_cast<std::size_t>(channel)];
    std::fill(table, table + kBeatTableSize, std::int16_t{0});
    for (int i = 3; i < s.recordLength && static_cast<int>(rr.size()) < kMaxIntervalForm && x[i] != 0; ++i) {
      const long long v = roundUp(s.physicalValue(i, channel));
      rr.push_back(static_cast<int>(v));
      table[rr.size() - 1] = static_cast<std::int16_t>(std::clamp(v, 0LL, 32767LL));
    }
    table[rr.size()] = static_cast<std::int16_t>(rr.size());
    return static_cast<int>(rr.size());
  }
  const EcgSignal sig{s.channelData[static_cast<std::size_t>(channel)], s.recordLength, s.zeroLevel[channel],
                      s.sampleRate};
  const int n = detectBeats(sig, settings, s.spareTrace[0], table, &problem, options);
  for (int i = 0; i < n; ++i) rr.push_back(table[i]);
  return n;
}

bool computeRrStatistics(const std::vector<int>& rr, int rate, RrStatistics& out, std::string& message) {
  out = RrStatistics{};
  const int N = static_cast<int>(rr.size());
  if (N < 3) {
    message = kEcgTooFewIntervals;
    return false;
  }
  if (rate <= 0) {
    message = kEcgNoSampleRate;
    return false;
  }
  const double fs = rate;
  const int rrMin = *std::min_element(rr.begin(), rr.end());
  const int rrMax = *std::max_element(rr.begin(), rr.end());
  const int k0 = static_cast<int>(std::trunc(3.3 * std::log10(N) + 1.5));
  double lo = std::min<double>(rrMin, 0.4 * fs), hi = std::max<double>(rrMax, 1.5 * fs);
  const int v = static_cast<int>(std::trunc((hi - lo) / fs / k0 * 100));
  const int B = v > 4 ? 5 : v > 2 ? 2 : 1;
  double width = B * fs / 100;
  if (width < 1) width = 1;
  lo = std::trunc(lo / width) * width;
  hi = std::trunc(hi / width + 0.99) * width;
  const int k = std::max(1, static_cast<int>(std::trunc((hi - lo) / width)));
  out.classWidth = width;
  out.lo = lo;
  out.hi = hi;
  out.classes = k;
  std::vector<int> counts(static_cast<std::size_t>(k), 0);
  double s1 = 0, s2 = 0, s3 = 0, s4 = 0, d2 = 0;
  int n = 0, nn50 = 0;
  bool havePrev = false;
  int prevInRange = 0;
  for (int i = 0; i < N; ++i) {
    const double x = rr[static_cast<std::size_t>(i)];
    if (x < lo || x > hi) continue;
    // an interval at the upper edge counts in the last class, not one past it
    const int c = std::min(k - 1, static_cast<int>(std::trunc((x - lo) / width)));
    ++counts[static_cast<std::size_t>(c)];
    ++n;
    s1 += x;
    s2 += x * x;
    s3 += x * x * x;
    s4 += x * x * x * x;
    if (havePrev) d2 += (x - prevInRange) * (x - prevInRange);
    havePrev = true;
    prevInRange = static_cast<int>(x);
    const int before = rr[static_cast<std::size_t>(i > 0 ? i - 1 : 0)];
    if (std::abs(rr[static_cast<std::size_t>(i)] - before) > 0.05 * fs) ++nn50;
  }
  out.n = n;
  const double mean = s1 / n;
  const double var = s2 / n - mean * mean;
  const double sigma = var > 0 ? std::sqrt(var) : 0;
  out.mean = mean;
  out.sigma = sigma;
  out.hasSigma = sigma > 0;
  if (out.hasSigma) {
    out.skewness = (s3 - 3 * mean * s2 + 2 * n * mean * mean * mean) / n / (sigma * sigma * sigma);
    out.kurtosis = (s4 - 4 * mean * s3 + 6 * mean * mean * s2 - 3 * n * mean * mean * mean * mean) / n /
                   (sigma * sigma * sigma * sigma);
  }
  // histogram
  for (int c = 0; c < k; ++c) {
    const double centre = std::trunc(((c + 0.5) * width + lo) / fs * 1000);
    out.histogram.push_back({centre, 100.0 * counts[static_cast<std::size_t>(c)] / n});
  }
  if (lo != rrMin || hi != rrMax) {
    out.histogram.push_back({400, 0});
    out.histogram.push_back({1300, 0});
  }
  // mode
  const int top = static_cast<int>(std::max_element(counts.begin(), counts.end()) - counts.begin());
  const double c0 = lo + width * (top + 0.5);
  int best = -1;
  double mo = c0;
  for (int step = 0;; ++step) {
    const double g = c0 - 0.025 * fs + step * 0.002 * fs;
    if (g > c0 + 0.025 * fs + 1e-9) break;
    int cnt = 0;
    for (int x : rr) cnt += std::fabs(x - g) <= 0.025 * fs ? 1 : 0;
    if (cnt > best) {
      best = cnt;
      mo = g;
    }
  }
  out.mode = mo;
  out.amo = 100.0 * best / N;
  // the lines
  const double ms = 1000.0 / fs;
  const long long meanMs = roundUp(mean * ms);
  const double cv = mean > 0 ? std::trunc(sigma / mean * 1000 + 0.5) / 10 : 0;
  out.lines.push_back(kEcgStatN + fmt(n) + kEcgStatMean + fmt(static_cast<double>(meanMs)) + kEcgStatHr +
                      (meanMs > 0 ? fmt(std::trunc(60000.0 / static_cast<double>(meanMs))) : std::string(kEcgNoValue)) + kEcgStatDrr +
                      fmt(static_cast<double>(roundUp((rrMax - rrMin) * ms))) + kEcgStatSd +
                      fmt(static_cast<double>(roundUp(sigma * ms))) + kEcgStatCv + fmt(cv));
  out.lines.push_back(kEcgStatBin + fmt(std::trunc(width / fs * 1000)) + kEcgStatMode +
                      fmt(static_cast<double>(roundUp(mo * ms))) + kEcgStatAmo + fmt(static_cast<double>(roundUp(out.amo))) +
                      kEcgStatSkew + fmtOr(out.hasSigma, out.skewness) + kEcgStatKurt +
                      fmtOr(out.hasSigma, out.kurtosis));
  const double moS = mo / fs, dx = (rrMax - rrMin) / fs;
  const bool dxOk = dx > 0, moOk = moS > 0;
  out.lines.push_back(std::string(kEcgBaevsky) + intOr(dxOk, out.amo / dx) + kEcgBaevskyVpr +
                      intOr(dxOk && moOk, 1 / (moS * dx)) + kEcgBaevskyPapr + intOr(moOk, out.amo / moS) +
                      kEcgBaevskyIn + intOr(dxOk && moOk, out.amo / (2 * moS * dx)));
  const double idm = mean > 0 ? std::sqrt(d2 / (4.0 * n)) / mean * 100 : 0;
  out.idm = idm;
  const bool idmOk = idm > 0, cvOk = cv > 0;
  const double ima = cvOk ? std::max(0.0, std::trunc((1 - idm / cv) * 1000) / 10 - 30) : 0;
  out.lines.push_back(std::string(kEcgKaplan) + fmt(std::trunc(idm * 100) / 100) + kEcgKaplanSat +
                      intOr(idmOk, out.amo / idm * 10) + kEcgKaplanIma + fmtOr(cvOk, ima) + "%");
  out.rmssd = std::sqrt(d2 / (N - 1)) / fs * 1000;
  out.pnn50 = 100.0 * nn50 / N;
  out.lines.push_back(std::string(kEcgRmssd) + fmt(out.rmssd) + kEcgPnn50 + fmt(out.pnn50) + "%");
  // stability over windows of 10 intervals
  double pss = 0, psa = 0;
  int windows = 0;
  for (int a = 0; a + 10 <= N; ++a, ++windows) {
    int w[10];
    std::copy_n(rr.begin() + a, 10, w);
    std::sort(w, w + 10);
    int c = 0;
    for (int j = 1; j < 10; ++j) c += (w[j] - w[j - 1]) >= 0.005 * fs ? 1 : 0;
    if (c > 0) c += 1;
    pss += 10 - c;
    const double m = std::accumulate(w, w + 10, 0.0) / 10;
    double ss = 0;
    for (int x : w) ss += (x - m) * (x - m);
    const double sw = std::sqrt(ss / 10);
    int far = 0;
    // a window of equal values has no outliers (with σ = 0 every value would count)
    if (sw > 0)
      for (int x : w) far += std::fabs(x - m) >= 2 * sw ? 1 : 0;
    psa += far / 10.0;
  }
  out.hasPss = windows > 0;
  if (out.hasPss) {
    out.pss = pss / windows / 10 * 100;
    out.psa = psa / windows * 100;
  }
  out.lines.push_back(std::string(kEcgPss) + fmtOr(out.hasPss, out.pss) + kEcgPsa + fmtOr(out.hasPss, out.psa));
  return true;
}

std::string stabilityLine(const RrStatistics& st) {
  for (const std::string& l : st.lines)
    if (l.rfind(kEcgPss, 0) == 0) return l;
  return {};
}

bool appendBatchLine(const std::string& path, const std::string& line, std::string& reason) {
  std::string bytes;
  if (fileExists(path) && !readWholeFile(path, bytes)) {
    reason = baseName(path) + kEcgFileNotRead;
    return false;
  }
  // a table whose last line lost its end gets one, so lines never run together
  if (!bytes.empty() && bytes.back() != '\n') bytes += "\r\n";
  bytes += utf8ToCp1251(line);
  bytes += "\r\n";
  std::string why;
  if (!writeFileAtomically(path, bytes, why)) {
    reason = baseName(path) + kEcgFileNotWritten + why;
    return false;
  }
  return true;
}

std::vector<std::string> intervalListLines(const std::vector<int>& rr, int rate) {
  std::vector<std::string> out;
  if (rate <= 0) return out;
  for (int v : rr) out.push_back(fmt(static_cast<double>(roundUp(v * 1000.0 / rate))));
  return out;
}

PointList rrScatterPoints(const std::vector<int>& rr, int rate) {
  PointList p;
  const int d = std::min<int>(static_cast<int>(rr.size()), kMaxScatter);
  for (int e = 0; e + 1 < d; ++e)
    p.push_back({static_cast<double>(rr[static_cast<std::size_t>(e)]) / rate,
                 static_cast<double>(rr[static_cast<std::size_t>(e + 1)]) / rate});
  return p;
}

bool computeRrSpectrum(const std::vector<int>& rr, int rate, const EcgBands& bands, int smoothingPasses,
                       RrSpectrum& out, std::string& message) {
  out = RrSpectrum{};
  const int N = static_cast<int>(rr.size());
  if (N < 3) {
    message = kEcgTooFewIntervals;
    return false;
  }
  const double fs = rate;
  double fmax = 0;
  for (int b = 0; b < kEcgBandRows; ++b) {
    if (bands.low[static_cast<std::size_t>(b)] != 0) fmax = bands.low[static_cast<std::size_t>(b)];
    if (bands.high[static_cast<std::size_t>(b)] != 0) fmax = bands.high[static_cast<std::size_t>(b)];
  }
  const int mn = *std::min_element(rr.begin(), rr.end());
  if (mn <= 0) {
    message = kEcgTooFewIntervals;
    return false;
  }
  const double step = mn / 2.0;
  // the interval series as a step function of time, averaged over slots
  std::vector<double> v;
  {
    double total = 0;
    for (int x : rr) total += x;
    const int slots = static_cast<int>(std::min<double>(kMaxSlots, std::floor(total / step)));
    std::size_t j = 0;
    double jStart = 0;  // start time of interval j
    for (int s = 0; s < slots; ++s) {
      const double a = s * step, b = a + step;
      double acc = 0;
      while (j < rr.size() && jStart + rr[j] <= a) jStart += rr[j++];
      std::size_t q = j;
      double qStart = jStart;
      while (q < rr.size() && qStart < b) {
        const double from = std::max(a, qStart), to = std::min(b, qStart + rr[q]);
        if (to > from) acc += (to - from) * rr[q];
        qStart += rr[q++];
      }
      v.push_back(std::trunc(acc / step));
    }
  }
  if (v.size() < 3) {
    message = kEcgTooFewIntervals;
    return false;
  }
  const double vmin = *std::min_element(v.begin(), v.end()), vmax = *std::max_element(v.begin(), v.end());
  if (vmax == vmin) {
    message = kEcgConstantIntervals;
    return false;
  }
  for (double& x : v) x = std::trunc((x - vmin) / (vmax - vmin) * 1000);
  const int r = static_cast<int>(v.size());
  const int M = r / 2;
  // An even count lacks the last of the 2M + 1 values: the last one is repeated.
  while (static_cast<int>(v.size()) < 2 * M + 1) v.push_back(v.back());
  const double theta = 2 * M_PI / (2 * M + 1);
  std::vector<int> A(static_cast<std::size_t>(M + 1), 0);
  for (int k = 0; k <= M; ++k) {
    double a = 0, b = 0;
    for (int j = 0; j <= 2 * M; ++j) {
      a += v[static_cast<std::size_t>(j)] * std::cos(j * k * theta);
      b += v[static_cast<std::size_t>(j)] * std::sin(j * k * theta);
    }
    a *= 2.0 / (2 * M + 1);
    b *= 2.0 / (2 * M + 1);
    if (k == 0) a /= 2;
    A[static_cast<std::size_t>(k)] = static_cast<int>(std::trunc(std::sqrt(a * a + b * b) + 0.5));
  }
  A[0] = 0;
  A[static_cast<std::size_t>(M)] = 0;
  for (int pass = 0; pass < smoothingPasses; ++pass)
    for (int k = 2; k <= M - 1; ++k)
      A[static_cast<std::size_t>(k)] = static_cast<int>(
          std::trunc((A[static_cast<std::size_t>(k - 1)] + A[static_cast<std::size_t>(k)] + A[static_cast<std::size_t>(k + 1)]) / 3.0 + 0.5));
  out.amplitudes = A;
  out.harmonics = M;
  const double delta = vmax - vmin;
  for (int k = 0; k <= M; ++k) {
    const double x = fs * k / (mn * static_cast<double>(M));
    if (x > 1.1 * fmax) break;
    out.points.push_back({x, A[static_cast<std::size_t>(k)] * delta / fs});
  }
  // band parameters
  const double df = fs / mn / M;
  struct Band {
    double p = 0, m1 = 0;
    int peak = -1, peakK = 0, k1 = 0, k2 = 0;
    bool closed = false;
  };
  const int bandCount = bands.count();
  std::vector<Band> bs(static_cast<std::size_t>(bandCount));
  if (!bs.empty()) bs[0].p = 0.001;
  double total = 0;
  int cur = 0;
  bool started = false;
  for (int k = 1; k <= M - 1 && cur < bandCount; ++k) {
    const double f = k * df;
    Band& b = bs[static_cast<std::size_t>(cur)];
    const double lowF = bands.low[static_cast<std::size_t>(cur)], highF = bands.high[static_cast<std::size_t>(cur)];
    auto add = [&](Band& into, int kk) {
      const int a = A[static_cast<std::size_t>(kk)];
      into.p += a;
      into.m1 += static_cast<double>(kk) * a;
      const int sm = (A[static_cast<std::size_t>(kk - 1)] + 2 * a + A[static_cast<std::size_t>(kk + 1)]) / 4;
      if (sm > into.peak) {
        into.peak = sm;
        into.peakK = kk;
      }
    };
    if (f > highF) {
      b.k2 = k;
      b.closed = true;
      ++cur;
      if (cur < bandCount) {
        Band& next = bs[static_cast<std::size_t>(cur)];
        next.k1 = k;
        add(next, k);
        total += A[static_cast<std::size_t>(k)];
      }
      continue;
    }
    total += A[static_cast<std::size_t>(k)];
    if (f >= lowF) {
      if (!started && cur == 0) {
        b.k1 = k;
        started = true;
      }
      add(b, k);
    }
  }
  std::vector<std::string> amax, tmax, amean, tmean, share;
  double lf = 0, hf = 0;
  bool lfOk = false, hfOk = false;
  for (int i = 0; i < bandCount; ++i) {
    const Band& b = bs[static_cast<std::size_t>(i)];
    if (!b.closed) continue;
    const bool span = b.k2 > b.k1;
    amean.push_back(fmtOr(span, b.p * delta / fs / (b.k2 - b.k1)));
    amax.push_back(fmtOr(b.peak >= 0, b.peak * delta / fs));
    tmax.push_back(fmtOr(b.peakK > 0, 1 / (b.peakK * df)));
    const double fm = b.p > 0 ? df * b.m1 / b.p : 0;
    tmean.push_back(fmt(fm > 0 ? 1 / fm : 0));
    share.push_back(fmtOr(total > 0, b.p / total * 100));
    const double width = bands.high[static_cast<std::size_t>(i)] - bands.low[static_cast<std::size_t>(i)];
    if (i == 1 && width > 0) {
      lf = b.p / width;
      lfOk = true;
    }
    if (i == 2 && width > 0) {
      hf = b.p / width;
      hfOk = true;
    }
  }
  auto row = [](const char* head, const std::vector<std::string>& vals) {
    std::string line = head;
    for (const std::string& t : vals) line += padLeft7(t) + "  ";
    return line;
  };
  out.lines.push_back(kEcgSpBands);
  out.lines.push_back(row(kEcgSpAmax, amax));
  out.lines.push_back(row(kEcgSpTmax, tmax));
  out.lines.push_back(row(kEcgSpAmean, amean));
  out.lines.push_back(row(kEcgSpTmean, tmean));
  out.lines.push_back(row(kEcgSpPower, share));
  const bool sumOk = lfOk && hfOk && lf + hf > 0;
  out.lines.push_back(std::string(kEcgSpLf) + intOr(sumOk, sumOk ? lf / (lf + hf) * 100 : 0) + kEcgSpHf +
                      intOr(sumOk, sumOk ? hf / (lf + hf) * 100 : 0) + "%" + kEcgSpLfHf +
                      fmtOr(lfOk && hfOk && hf > 0, hf > 0 ? lf / hf : 0));
  return true;
}

bool computeBeatDynamics(const StudyState& s, int channel, const std::int16_t* table, int n, int block,
                         int intervalRate, BeatDynamics& out, std::string& message) {
  out = BeatDynamics{};
  if (n < 3) {
    message = kEcgTooFewIntervals;
    return false;
  }
  if (block < 0 || block > 9) return false;
  const int count = std::min(n, kMaxDynamicsBeats);
  const bool interval = block <= 3;
  const double fs = intervalRate;
  const double scale = interval ? 1 / fs
                                : (s.calibUnits[channel] == 0 ? 1.0 : 1.0 / s.calibUnits[channel]) * s.calibValue[channel];
  const double zero = interval ? 0 : s.zeroLevel[channel];
  double sum = 0, sum2 = 0;
  for (int i = 0; i < count; ++i) {
    const double raw = table[block * kBeatBlock + i];
    out.points.push_back({static_cast<double>(i), (raw - zero) * scale});
    sum += raw;
    sum2 += raw * raw;
  }
  const double m = sum / count;
  const double var = (sum2 - count * m * m) / (count - 1);
  out.mean = (m - zero) * scale;
  out.sd = std::sqrt(std::max(0.0, var)) * scale;
  out.caption = kEcgDynamicsCaptions[block];
  out.yTitle = interval ? kEcgAxisInterval : kEcgAxisAmplitude;
  out.text = std::string(kEcgDynMean) + fmt(out.mean) + kEcgDynSd + fmt(out.sd);
  if (block == 0) out.text += std::string(kEcgDynHr) + intOr(out.mean > 0, out.mean > 0 ? 60 / out.mean : 0);
  return true;
}

}  // namespace velor
