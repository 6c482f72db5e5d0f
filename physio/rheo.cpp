#include "physio/rheo.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "core/binio.h"
#include "core/numtext.h"
#include "core/settings.h"
#include "physio/rheo_texts.h"

namespace velor {

namespace {

constexpr int kMaxNormNumbers = 200;

std::int16_t clamp16(long long v) {
  return static_cast<std::int16_t>(std::clamp<long long>(v, std::numeric_limits<std::int16_t>::min(),
                                                          std::numeric_limits<std::int16_t>::max()));
}

// Truncated to thousandths; a value that is a whole thousandth in decimal
// (9 computed as 8.99999…) keeps it.
double trunc3(double v) {
  const double u = v * 1000;
  return std::trunc(u + std::copysign(1e-7 * std::max(1.0, std::fabs(u)), u)) / 1000;
}

std::string col(double v) { return padLeft(formatNumber(v), 7); }
std::string colOr(bool ok, double v) { return ok ? col(v) : padLeft(kRegNoValue, 7); }

// Onset search from s: five rising steps in a row; the sample where the
// fifth ends, or −1 when the record ends first.
int findRise(const std::int16_t* x, int s, int L) {
  int count = 0;
  while (true) {
    ++s;
    if (s >= L - 3) return -1;
    count = x[s] < x[s + 1] ? count + 1 : 0;
    if (count == 5) return s;
  }
}

int firstFall(const std::int16_t* x, int from, int L) {
  int t = std::max(from, 0);
  while (t < L - 1 && !(x[t] > x[t + 1])) ++t;
  return std::min(t, L - 1);
}

}  // namespace

std::vector<int> regRPositions(StudyState& s, const BeatDetectorSettings& settings, std::string& problem) {
  problem.clear();
  if (s.channelCount <= kRegEcgChannel || s.sampleRate <= 0 || s.recordLength < 10) {
    problem = kRegNoEcg;
    return {};
  }
  const EcgSignal sig{s.channel(kRegEcgChannel), s.recordLength, s.zeroLevel[kRegEcgChannel], s.sampleRate};
  std::vector<int> r(static_cast<std::size_t>(kMaxBeatIntervals + 1));
  int count = 0;
  const int n = detectBeats(sig, settings, s.spareTrace[0], s.resultStore, &problem, {}, r.data(), &count);
  if (n < 0) return {};
  // The table: N intervals, then the first R position
  r.resize(static_cast<std::size_t>(std::clamp(count, 0, n + 1)));
  return r;
}

RegWaveSearch findRegWaves(StudyState& s, int channel, const std::vector<int>& rPositions) {
  RegWaveSearch out;
  if (channel < 0 || channel >= s.channelCount) return out;
  std::int16_t* x = s.channel(channel);
  const int L = s.recordLength;
  const int fs = s.sampleRate;
  unsigned threshold = 0;
  int o = -1;
  int first = -1;
  for (int R : rPositions) {
    // An onset found late in a cycle can lie past the next R wave: that
    // cycle is already used up (it would give the same onset twice).
    if (o >= 0 && R + 5 <= o) continue;
    int from = R + 5;
    int sFound = -1;
    while (true) {
      const int sr = findRise(x, from, L);
      if (sr < 0) break;
      const int top = firstFall(x, sr + 1, L);
      const int rise = x[top] - x[sr - 4];
      if (first < 0) {
        threshold = static_cast<std::uint16_t>(rise / 4);
        sFound = sr;
        break;
      }
      if (rise >= static_cast<int>(threshold)) {
        sFound = sr;
        break;
      }
      from = sr;
    }
    if (sFound < 0) break;  // the record ends
    const int onset = sFound - 2;
    const int pr = static_cast<int>(std::trunc(0.02344 * fs)) + onset - R;
    if (o >= 0) {
      if (static_cast<int>(out.waves.size()) >= kRegMaxWaves) {
        out.notice = kRegCapacity;
        break;
      }
      // Levelling: the line from x[o] to x[onset] is taken off and the onset
      // brought to 1024, kept inside 16 bits.
      const int xo = x[o];
      const double slope = static_cast<double>(x[onset] - xo) / (onset - o);
      for (int j = o; j < onset; ++j)
        x[j] = clamp16(static_cast<long long>(std::trunc(x[j] - (j - o) * slope)) - xo + kRegLevel);
      RegWave w;
      w.onset = o;
      w.nextOnset = onset;
      w.T = onset - o;
      w.A0 = x[o];
      w.peak = firstFall(x, o + 5, L);
      int dmax = 0, f1 = -1, f2 = -1;
      for (int j = o; j < w.peak && j + 1 < L; ++j) {
        const int d = x[j + 1] - x[j];
        if (d > 0 && d > dmax) {
          dmax = d;
          f1 = f2 = j;
        } else if (d > 0 && d == dmax) {
          f2 = j;
        }
      }
      w.steepest = f1 < 0 ? w.peak : f1 + (f2 - f1) / 2;
      w.tF = w.peak - w.steepest;
      w.steepestCode = x[w.steepest];
      w.tS = w.peak - o;
      w.AS = x[w.peak];
      // Incisura: the search keeps k + 4 inside the record.
      const int w3 = std::max(0, (w.T - w.tS) / 3);
      int kFrom = w.peak + 7, kTo = std::max(kFrom, w.peak + 6 + w3);
      kTo = std::min(kTo, L - 5);
      kFrom = std::min(kFrom, L - 5);
      int inc = kFrom, best = std::numeric_limits<int>::max();
      for (int k = kFrom; k <= kTo; ++k) {
        const int v = x[k] - x[k + 4];
        if (v < best) {
          best = v;
          inc = k;
        }
      }
      w.incisura = inc;
      w.afterIncisura = onset - inc;
      w.AI = x[inc];
      const int w4 = std::max(1, w.T / 4);
      int f = inc, bestFall = 0;
      for (int k = inc + 1; k <= inc + w4 && k + 1 < L; ++k) {
        const int fall = x[k] - x[k + 1];
        if (fall > bestFall) {
          bestFall = fall;
          f = k;
        }
      }
      w.dicroticTop = inc + (f - inc) / 2;
      w.tD = onset - w.dicroticTop;
      w.AD = x[w.dicroticTop];
      w.Pr = pr;
      out.waves.push_back(w);
    } else {
      first = onset;
    }
    o = onset;
  }
  const int n = static_cast<int>(out.waves.size());
  out.firstOnset = first < 0 ? 0 : first;
  out.lastOnset = o < 0 ? 0 : o;
  // The wave table in blocks 1..11 of the result store.
  std::int16_t* t = s.resultStore;
  for (int i = 0; i < n; ++i) {
    const RegWave& w = out.waves[static_cast<std::size_t>(i)];
    const int vals[11] = {w.T, w.A0, w.tF, w.steepestCode, w.tS, w.AS, w.afterIncisura, w.AI, w.tD, w.AD, w.Pr};
    for (int b = 0; b < 11; ++b) t[(b + 1) * kRegBlock + i] = clamp16(vals[b]);
  }
  t[kRegBlock + n] = clamp16(out.firstOnset);
  t[kRegBlock + n + 1] = clamp16(out.lastOnset);
  t[11 * kRegBlock + n] = 0;
  return out;
}

std::optional<double> regMeasure(const RegWave& w, int k) {
  const double A = w.AS - w.A0;
  switch (k) {
    case 1: return w.T != 0 ? std::optional<double>(static_cast<double>(w.tS) / w.T) : std::nullopt;
    case 2: return A != 0 ? std::optional<double>((w.AI - w.A0) / A) : std::nullopt;
    case 3: return A != 0 ? std::optional<double>((w.AI + w.AD - 2.0 * w.A0) / A) : std::nullopt;
    case 4: return A;
    case 5: return w.T;
    case 6: return w.Pr;
    case 7: return w.tS;
    case 8: return w.tF != 0 ? std::optional<double>(static_cast<double>(w.tS - w.tF) / w.tF) : std::nullopt;
    case 9: return w.tF;
    case 10: return w.tS - w.tF;
    case 11: return w.AD - w.A0;
    case 12: return w.tD;
    default: return std::nullopt;
  }
}

double regOhmsPerCode(const StudyState& s, int channel) {
  if (channel < 0 || channel >= s.channelCount || s.calibUnits[channel] == 0) return 0;
  return static_cast<double>(s.calibValue[channel]) / s.calibUnits[channel] / 5000.0;
}

double regFactor(const StudyState& s, int channel, int k) {
  const double inv = s.sampleRate > 0 ? 1.0 / s.sampleRate : 0;
  switch (k) {
    case 1: case 2: case 3: return 100;
    case 4: case 11: return regOhmsPerCode(s, channel);
    case 8: return 1;
    default: return inv;
  }
}

bool parseRegNorms(std::string_view text, int age, RegNorms& out, std::string& message) {
  std::vector<double> v;
  std::size_t pos = 0;
  while (pos < text.size() && static_cast<int>(v.size()) < kMaxNormNumbers) {
    while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\t' || text[pos] == '\r' || text[pos] == '\n'))
      ++pos;
    if (pos >= text.size()) break;
    std::size_t e = pos;
    while (e < text.size() && !(text[e] == ' ' || text[e] == '\t' || text[e] == '\r' || text[e] == '\n')) ++e;
    const auto x = parseNumber(text.substr(pos, e - pos));
    v.push_back(x ? *x : 0.0);
    pos = e;
  }
  int K = 0;
  while (K < static_cast<int>(v.size()) && v[static_cast<std::size_t>(K)] != 0) ++K;
  if (K >= static_cast<int>(v.size()) || K == 0) {
    message = std::string(kRegBadNorms) + "нет возрастных границ, закрытых нулём.";
    return false;
  }
  const long long need = K + 1 + 14LL * (2 * K + 1);
  if (need > static_cast<long long>(v.size())) {
    message = std::string(kRegBadNorms) + "чисел " + integerText(static_cast<long long>(v.size())) + ", нужно " +
              integerText(need) + ".";
    return false;
  }
  int g = 0;
  while (g < K && v[static_cast<std::size_t>(g)] <= age) ++g;
  // An age at or past the last limit takes the last pair: the row holds K pairs.
  g = std::min(g, K - 1);
  RegNorms r;
  for (int row = 0; row < 14; ++row) {
    const std::size_t base = static_cast<std::size_t>(K + 1 + row * (2 * K + 1));
    r.low[static_cast<std::size_t>(row)] = v[base + 2 * g];
    r.high[static_cast<std::size_t>(row)] = v[base + 2 * g + 1];
  }
  out = r;
  return true;
}

int RegSettings::leadCount() const {
  const int n = parseInteger(leads).value_or(1);
  return n > 2 ? 4 : n == 2 ? 2 : 1;
}

int RegSettings::ageYears() const { return parseInteger(age).value_or(0); }

bool readRegSettings(const std::string& dir, RegSettings& out) {
  const auto lines = readTextLines(dir + kRegSettingsFile);
  if (!lines || lines->size() < 3) return false;
  RegSettings r;
  r.leads = trimSpaces((*lines)[0]);
  r.age = trimSpaces((*lines)[1]);
  r.restingPropagationMs = sanitizeRestingPropagation(parseInteger((*lines)[2]).value_or(140));
  out = r;
  return true;
}

bool writeRegSettings(const std::string& dir, const RegSettings& s) {
  return writeTextLines(dir + kRegSettingsFile, {s.leads, s.age, integerText(s.restingPropagationMs)});
}

int sanitizeRestingPropagation(int ms) { return ms < 50 || ms > 300 ? 140 : ms; }

std::optional<double> kaplanIndex(const std::vector<int>& rr, int rate) {
  const int N = static_cast<int>(rr.size());
  if (N < 2 || rate <= 0) return std::nullopt;
  const double fs = rate;
  double rrMin = 2 * fs, rrMax = 0;
  for (int x : rr) {
    rrMin = std::min<double>(rrMin, x);
    rrMax = std::max<double>(rrMax, x);
  }
  const int k0 = std::max(1, static_cast<int>(std::trunc(3.3 * std::log10(N) + 1.5)));
  double width = (rrMax - rrMin) / k0, lo = rrMin, hi = rrMax;
  int k = k0;
  if (rrMax < 1.3 * fs && rrMin > 0.4 * fs) {
    lo = 0.4 * fs;
    hi = 1.3 * fs;
    const int v = static_cast<int>(std::trunc((hi - lo) / fs / k0 * 100));
    const int B = v > 4 ? 5 : v > 2 ? 2 : 1;
    width = std::max(1.0, B * fs / 100);
    lo = std::trunc(lo / width) * width;
    hi = std::trunc(hi / width + 0.99) * width;
    k = static_cast<int>(std::trunc((hi - lo) / width));
  }
  if (width <= 0) width = 1;  // all intervals equal
  k = std::max(k, 1);
  std::vector<int> counts(static_cast<std::size_t>(k), 0);
  double sum = 0, d2 = 0;
  bool havePrev = false;
  double prev = 0;
  for (int x : rr) {
    if (x < lo || x > hi) continue;
    const int c = std::clamp(static_cast<int>(std::trunc((x - lo) / width)), 0, k - 1);
    ++counts[static_cast<std::size_t>(c)];
    sum += x;
    if (havePrev) d2 += (x - prev) * (x - prev);
    prev = x;
    havePrev = true;
  }
  const int fullest = static_cast<int>(std::max_element(counts.begin(), counts.end()) - counts.begin());
  const double c0 = lo + width * (fullest + 0.5);
  int bestCount = -1;
  for (double g = c0 - 0.025 * fs; g <= c0 + 0.025 * fs; g += 0.002 * fs) {
    int c = 0;
    for (int x : rr)
      if (std::fabs(x - g) / fs <= 0.025) ++c;
    if (c > bestCount) bestCount = c;
  }
  const double amo = std::max(bestCount, 0) * 100.0 / N;
  const double mean = sum / N;
  if (mean <= 0) return std::nullopt;
  const double idm = std::sqrt(d2 / 4 / N) * 100 / mean;
  if (idm <= 0) return std::nullopt;
  return std::trunc(amo / idm * 10 + 0.5);
}

namespace {

std::string mark(const RegNorms& n, int k, double v) {
  const auto r = static_cast<std::size_t>(k - 1);
  if (v < n.low[r]) return kRegLow;
  if (n.high[r] != 0 && v > n.high[r]) return kRegHigh;
  return kRegNoMark;
}

RegLeadResult leadStatistics(StudyState& s, int channel, const std::vector<int>& r) {
  RegLeadResult res;
  res.channel = channel;
  res.search = findRegWaves(s, channel, r);
  const auto& w = res.search.waves;
  for (int k = 1; k <= kRegIndexCount; ++k) {
    double s1 = 0, s2 = 0;
    int n = 0;
    for (const RegWave& x : w)
      if (auto v = regMeasure(x, k)) {
        s1 += *v;
        s2 += *v * *v;
        ++n;
      }
    RegIndexStats& st = res.stats[static_cast<std::size_t>(k - 1)];
    if (n == 0) continue;
    const double q = regFactor(s, channel, k);
    st.valid = true;
    st.mean = trunc3(q * s1 / n);
    st.sd = trunc3(q * std::sqrt(std::max(0.0, (s2 - s1 * s1 / n) / n)));
  }
  double pr = 0;
  for (const RegWave& x : w) pr += x.Pr;
  res.meanPropagation = w.empty() ? 0 : regFactor(s, channel, 6) * pr / static_cast<double>(w.size());
  return res;
}

}  // namespace

bool computeRegStatistics(StudyState& s, int currentChannel, int leads, const RegNorms& norms,
                          const BeatDetectorSettings& settings, int restingPropagationMs, RegStatistics& out,
                          std::string& message) {
  out = RegStatistics{};
  std::vector<std::vector<int>> groups;
  if (leads <= 1) groups = {{currentChannel}};
  else if (leads == 2) groups = {{0, 1}};
  else groups = {{0, 1}, {3, 4}};
  for (const auto& g : groups)
    for (int c : g)
      if (c < 0 || c >= s.channelCount || c == kRegEcgChannel) {
        message = kRegTooFewWaves;
        return false;
      }
  std::string problem;
  const std::vector<int> r = regRPositions(s, settings, problem);
  if (r.size() < 2) {
    message = problem.empty() ? std::string(kRegTooFewWaves) : problem;
    return false;
  }
  std::vector<int> rr;
  for (std::size_t i = 1; i < r.size(); ++i) rr.push_back(r[i] - r[i - 1]);
  std::vector<std::string>& L = out.lines;
  for (std::size_t gi = 0; gi < groups.size(); ++gi) {
    const auto& g = groups[gi];
    if (gi > 0) {
      L.push_back(" ");
      L.push_back(kRegPair45);
    } else if (g.size() == 2) {
      L.push_back(kRegPair12);
    }
    L.push_back(kRegHeader);
    std::vector<RegLeadResult> res;
    for (int c : g) {
      res.push_back(leadStatistics(s, c, r));
      if (!res.back().search.notice.empty()) out.notices.push_back(res.back().search.notice);
      if (res.back().search.waves.size() < 2) {
        out.lines.clear();
        message = kRegTooFewWaves;
        return false;
      }
      out.waveCount = static_cast<int>(res.back().search.waves.size());
    }
    for (int k = 1; k <= kRegIndexCount; ++k) {
      const auto u = static_cast<std::size_t>(k - 1);
      std::string line = kRegIndexCaptions[u];
      for (const RegLeadResult& lr : res) {
        const RegIndexStats& st = lr.stats[u];
        line += colOr(st.valid, st.mean) + colOr(st.valid, st.sd) + (st.valid ? mark(norms, k, st.mean) : kRegNoMark);
      }
      if (res.size() == 2) {
        const RegIndexStats &a = res[0].stats[u], &b = res[1].stats[u];
        const bool ok = a.valid && b.valid && a.mean + b.mean != 0;
        const double asym = ok ? std::trunc((a.mean - b.mean) / (a.mean + b.mean) * 100) / 100 : 0;
        line += colOr(ok, asym) + (ok && norms.high[13] < std::fabs(asym) ? kRegHigh : kRegNoMark);
      }
      L.push_back(line);
    }
    for (auto& lr : res) out.leads.push_back(std::move(lr));
  }
  out.kaplan = kaplanIndex(rr, s.sampleRate);
  L.push_back(regIpsLine(out, restingPropagationMs));
  L.push_back(std::string(kRegWaves) + integerText(out.waveCount));
  return true;
}

std::string regIpsLine(const RegStatistics& st, int restingPropagationMs) {
  const double meanPr = st.leads.empty() ? 0 : st.leads.back().meanPropagation;
  const int t0 = sanitizeRestingPropagation(restingPropagationMs);
  if (st.kaplan && meanPr > 0)
    return std::string(kRegIps) + integerText(static_cast<long long>(std::trunc(*st.kaplan * t0 / (meanPr * 1000))));
  return std::string(kRegIps) + kRegNoValue;
}

bool computeRegDynamics(StudyState& s, int channel, int k, const BeatDetectorSettings& settings, RegDynamics& out,
                        std::string& message) {
  out = RegDynamics{};
  if (k < 1 || k > 8 || channel < 0 || channel >= s.channelCount) {
    message = kRegTooFewWaves;
    return false;
  }
  std::string problem;
  const auto r = regRPositions(s, settings, problem);
  const RegWaveSearch w = findRegWaves(s, channel, r);
  const int n = static_cast<int>(w.waves.size());
  if (n <= 1) {
    message = kRegTooFewWaves;
    return false;
  }
  const double q = regFactor(s, channel, k);
  double s1 = 0, s2 = 0;
  for (int i = 0; i < n; ++i) {
    const auto v = regMeasure(w.waves[static_cast<std::size_t>(i)], k);
    if (!v) continue;
    const double y = q * *v;
    out.points.emplace_back(i, y);
    s1 += y;
    s2 += y * y;
  }
  const double m = out.points.size();
  out.mean = m > 0 ? s1 / m : 0;
  out.sd = m > 1 ? std::sqrt(std::max(0.0, (s2 - m * out.mean * out.mean) / (m - 1))) : 0;
  out.caption = kRegDynamicsCaptions[k - 1];
  out.yTitle = k == 4 ? kRegAmplitudeTitle : (k >= 5 && k <= 7) ? kRegTimeTitle : "";
  return true;
}

}  // namespace velor
