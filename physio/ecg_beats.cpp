#include "physio/ecg_beats.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "physio/ecg_texts.h"

namespace velor {

namespace {
// The search of a pause (mended detection): an interval longer than the
// running mean is searched again with the thresholds divided by this; a
// complex found there must span (R to S, raw codes) at least a quarter of
// the smaller span of the beats on either side, so T waves stay out.
constexpr int kSearchBackDivisor = 3;
constexpr int kSearchBackSpanDivisor = 4;

inline std::int16_t clip16(long long v) { return static_cast<std::int16_t>(std::clamp(v, -32768LL, 32767LL)); }

int roundHalfUp(double v) { return static_cast<int>(std::floor(v + 0.5)); }

int halfWidthSamples(const BeatDetectorSettings& s, int fs) { return roundHalfUp(s.halfWidthMs * fs / 1000.0); }

int refractorySamples(const BeatDetectorSettings& s, int fs) {
  return static_cast<int>(std::trunc(60.0 / (1.5 * s.maxHeartRate) * fs));
}

// A candidate complex on the filtered trace.
struct Candidate {
  int anchor = 0;     // the extreme the search went from: peak (positive) or trough (negative)
  int reference = 0;  // where the R wave is looked for: the peak, or the maximum before the trough
  int trough = 0;     // where the S wave is looked for: the following trough, or the trough itself
  int q = 0;          // preceding trough
  int fall = 0, rise = 0, width = 0;
};

// The next maximum from p on with its troughs (positive complexes).
bool nextPositive(const std::int16_t* F, int L, int p, Candidate& c) {
  for (int m = std::max(p, 1); m < L - 3; ++m) {
    if (!(F[m] >= F[m - 1] && F[m + 1] < F[m])) continue;
    int d = m;
    while (d + 1 < L && F[d + 1] < F[d]) ++d;
    int q = m - 1;
    bool found = false;
    for (; q >= 1; --q) {
      if (F[q] < F[q - 1] && F[q + 1] >= F[q]) {
        found = true;
        break;
      }
    }
    if (!found) {
      m = d;  // no trough before it: on after its fall
      continue;
    }
    c.anchor = c.reference = m;
    c.trough = d;
    c.q = q;
    c.fall = F[m] - F[d];
    c.rise = F[m] - F[q];
    c.width = d - m;
    return true;
  }
  return false;
}

// The next minimum from p on, with the maximum before it (inverted complexes).
bool nextNegative(const std::int16_t* F, int L, int p, Candidate& c) {
  for (int m = std::max(p, 1); m < L - 3; ++m) {
    if (!(F[m - 1] >= F[m] && F[m] < F[m + 1])) continue;
    int k = m;
    while (k > 0 && F[k - 1] > F[k]) --k;
    int q = k;
    while (q > 0 && F[q - 1] < F[q]) --q;
    int e = m;
    while (e + 1 < L && F[e + 1] > F[e]) ++e;
    c.anchor = m;
    c.reference = k;
    c.trough = m;
    c.q = q;
    c.fall = std::abs(F[k] - F[m]);
    c.rise = std::abs(F[m] - F[e]);
    c.width = m - k;
    return true;
  }
  return false;
}

bool nextCandidate(bool negative, const std::int16_t* F, int L, int p, Candidate& c) {
  return negative ? nextNegative(F, L, p, c) : nextPositive(F, L, p, c);
}

struct Learned {
  int t1 = 0, t2 = 0, w = 0;
};

// The walks from position 10 meet every candidate the scan can meet, in
// order: every maximum with a trough somewhere before it (positive), every
// minimum (negative). One forward sweep finds both lists at once, keeping
// the starts of the current falling and rising runs and the last trough
// instead of walking back from each extreme; the scan then looks candidates
// up in the list instead of walking the trace again.
void collectCandidates(const std::int16_t* F, int L, std::vector<Candidate>& pos, std::vector<Candidate>& neg) {
  pos.clear();
  neg.clear();
  if (L < 14) return;
  int lastTrough = -1;        // the last k with F[k] < F[k−1] and F[k+1] ≥ F[k]
  int pendingMax = -1, pendingQ = 0;
  int pendingMin = -1;
  Candidate open;             // the minimum waiting for the end of its rise
  int fallStart = 0, riseStart = 0, riseBeforeFall = 0;
  for (int k = 1; k <= L - 2; ++k) {
    const int prev = F[k - 1], cur = F[k], next = F[k + 1];
    // runs ending at k
    if (!(cur > prev)) riseStart = k;
    if (!(cur < prev)) {
      fallStart = k;
      riseBeforeFall = riseStart;
    }
    const bool risesOut = next >= cur;
    if (pendingMax >= 0 && risesOut) {
      Candidate c;
      c.anchor = c.reference = pendingMax;
      c.trough = k;
      c.q = pendingQ;
      c.fall = F[pendingMax] - F[k];
      c.rise = F[pendingMax] - F[pendingQ];
      c.width = k - pendingMax;
      pos.push_back(c);
      pendingMax = -1;
    }
    if (pendingMin >= 0 && !(next > cur)) {
      open.rise = std::abs(F[open.anchor] - cur);
      neg.push_back(open);
      pendingMin = -1;
    }
    if (cur < prev && risesOut) lastTrough = k;
    if (k >= 10 && k < L - 3) {
      if (cur >= prev && next < cur && lastTrough >= 1) {
        pendingMax = k;
        pendingQ = lastTrough;
      }
      if (prev >= cur && cur < next) {
        pendingMin = k;
        open.anchor = open.trough = k;
        open.reference = fallStart;
        open.q = riseBeforeFall;
        open.fall = std::abs(F[fallStart] - cur);
        open.width = k - fallStart;
      }
    }
  }
  // a fall or a rise that runs to the last sample ends there
  if (pendingMax >= 0) {
    Candidate c;
    c.anchor = c.reference = pendingMax;
    c.trough = L - 1;
    c.q = pendingQ;
    c.fall = F[pendingMax] - F[L - 1];
    c.rise = F[pendingMax] - F[pendingQ];
    c.width = L - 1 - pendingMax;
    pos.push_back(c);
  }
  if (pendingMin >= 0) {
    open.rise = std::abs(F[open.anchor] - F[L - 1]);
    neg.push_back(open);
  }
}

Learned learn(const std::vector<Candidate>& found) {
  Learned r;
  for (const Candidate& c : found) {
    if (c.fall >= r.t1) {
      r.t1 = c.fall;
      r.w = c.width;
      r.t2 = std::max(r.t2, c.rise);
    }
  }
  return r;
}

// The sample of highest (or lowest) raw value among n samples up to and
// including `at`, searched backward; a later sample wins a tie.
int extremeBackward(const std::int16_t* x, int at, int n, bool highest) {
  int best = at;
  for (int j = at - 1; j > at - n && j >= 0; --j) {
    if (highest ? x[j] > x[best] : x[j] < x[best]) best = j;
  }
  return best;
}

struct BeatPoints {
  int r = 0, q = 0, s = 0;
};

// Measures beat i (R wave `b`, next R wave at rNext) into the table.
void measureBeat(const EcgSignal& sig, const BeatPoints& b, int rNext, int i, std::int16_t* table) {
  const std::int16_t* x = sig.x;
  const int L = sig.length;
  const int Z = sig.zeroLevel;
  auto put = [&](BeatBlock block, long long v) { table[static_cast<int>(block) * kBeatBlock + i] = clip16(v); };
  put(BeatBlock::RAmplitude, x[b.r]);
  put(BeatBlock::QAmplitude, x[b.q]);
  put(BeatBlock::SAmplitude, x[b.s]);
  put(BeatBlock::QRS, b.s - b.q);
  put(BeatBlock::RMinusQ, b.r - b.q);
  const int ts = std::clamp(b.s + 2 * (b.s - b.r), 0, L - 1);
  const int w = (3 * (rNext - ts)) / 4;
  int tPeak = ts;
  for (int j = ts; j <= ts + w - 2 && j < L; ++j) {
    if (std::abs(x[j] - Z) > std::abs(x[tPeak] - Z)) tPeak = j;
  }
  put(BeatBlock::TAmplitude, x[tPeak]);
  put(BeatBlock::QT, tPeak - b.q);
  const int n = (tPeak + 1 - ts) / 2;
  if (n <= 0) {
    put(BeatBlock::STLevel, Z);
  } else {
    long long sum = 0;
    for (int j = ts; j < ts + n; ++j) sum += x[j];
    put(BeatBlock::STLevel, sum / n);
  }
  // P wave: back from Q while the signal keeps rising backward, then the
  // highest of max(n, 1) samples from two before that point on back.
  int k = b.q;
  while (k - 1 >= 0 && x[k - 1] > x[k]) --k;
  const int start = std::max(0, k - 2);
  const int pPeak = extremeBackward(x, start, std::max(n, 1), true);
  put(BeatBlock::PAmplitude, x[pPeak]);
  put(BeatBlock::PQ, b.q - pPeak);
}

}  // namespace

BeatDetectorSettings sanitizeBeatSettings(BeatDetectorSettings s, int sampleRate) {
  if (!(s.halfWidthMs > 0) && sampleRate > 0) s.halfWidthMs = 1000.0 / sampleRate;
  if (!(s.maxHeartRate > 10)) s.maxHeartRate = 200;
  if (!(s.rVariability >= 1.5)) s.rVariability = 1.5;
  if (!(s.rsVariability >= 1.5)) s.rsVariability = 1.5;
  return s;
}

std::string beatSettingsProblem(const BeatDetectorSettings& s, int sampleRate) {
  if (sampleRate <= 0) return kEcgNoSampleRate;
  if (halfWidthSamples(s, sampleRate) <= 0) return kEcgHalfWidthZero;
  if (!(s.maxHeartRate > 0) || refractorySamples(s, sampleRate) <= 0) return kEcgRefractoryZero;
  return {};
}

void beatDetectionFilter(const EcgSignal& sig, int h, std::int16_t* F) {
  const std::int16_t* x = sig.x;
  const int L = sig.length;
  if (h < 1) h = 1;
  if (L >= 3 * h + 1) {
    // S as one running sum (the middle third minus the halved outer pairs);
    // with h ≤ L / 3 and 16-bit samples it stays within 32 bits, whose
    // division is several times cheaper than a 64-bit one
    int S = 0;
    auto y = [&](int k) { return (x[k] + x[k + 2 * h]) / 2; };
    for (int j = 0; j < h; ++j) S += x[h + j] - y(j);
    for (int i = 0;; ++i) {
      F[i + h + h / 2] = static_cast<std::int16_t>(std::clamp(S / h + sig.zeroLevel, -32768, 32767));
      if (i + 1 > L - 3 * h) break;
      S += x[i + 2 * h] - x[i + h] - y(i + h) + y(i);
    }
  }
  const int edge = std::min(L, 2 * h + 1);
  std::copy_n(x, edge, F);
  std::copy(x + (L - edge), x + L, F + (L - edge));
}

int detectBeats(const EcgSignal& sig, const BeatDetectorSettings& given, std::int16_t* F, std::int16_t* table,
                std::string* problem, const BeatDetectorOptions& options, int* rPositions, int* rCount) {
  const int fs = sig.sampleRate;
  const BeatDetectorSettings st = sanitizeBeatSettings(given, fs);
  const std::string why = beatSettingsProblem(st, fs);
  if (!why.empty()) {
    if (problem) *problem = why;
    return -1;
  }
  if (rCount) *rCount = 0;
  std::fill(table, table + kBeatTableSize, std::int16_t{0});
  const int L = sig.length;
  if (L < 16 || !sig.x) return 0;
  const int h = halfWidthSamples(st, fs);
  const int r = refractorySamples(st, fs);
  beatDetectionFilter(sig, h, F);

  // Candidate lists of both polarities; kept per thread, so after the first
  // calls a detection allocates nothing.
  thread_local std::vector<Candidate> positives, negatives;
  collectCandidates(F, L, positives, negatives);
  const Learned pos = learn(positives);
  const Learned neg = learn(negatives);
  const bool negative = pos.t1 + pos.t2 < neg.t1 + neg.t2;
  const std::vector<Candidate>& candidates = negative ? negatives : positives;
  // The first candidate at or after `from`, as nextCandidate(from) would
  // find it. The scan mostly moves forward: a cursor, searched only when it
  // has to go back.
  std::size_t cursor = 0;
  auto candidateFrom = [&](int from, Candidate& out) {
    if (from < 10) return nextCandidate(negative, F, L, from, out);
    if (cursor > 0 && candidates[cursor - 1].anchor >= from) {
      cursor = static_cast<std::size_t>(std::lower_bound(candidates.begin(), candidates.end(), from,
                                                         [](const Candidate& a, int v) { return a.anchor < v; }) -
                                        candidates.begin());
    }
    while (cursor < candidates.size() && candidates[cursor].anchor < from) ++cursor;
    if (cursor == candidates.size()) return false;
    out = candidates[cursor];
    return true;
  };
  const Learned& chosen = negative ? neg : pos;
  const int maxWidth = std::max(2, roundHalfUp(chosen.w * st.rsVariability));
  const int u1 = roundHalfUp(chosen.t1 / 2.0), u2 = roundHalfUp(chosen.t2 / 2.0);
  int t1 = u1, t2 = u2;
  const int n5 = std::max(1, static_cast<int>(std::trunc(0.05 * fs)));

  int p = 9;
  int count = 0;  // intervals stored
  bool haveFirst = false;
  BeatPoints prev;
  int firstR = 0;
  long long mean = -1;
  Candidate c;
  auto pointsOf = [&](const Candidate& k) {
    BeatPoints b;
    b.r = extremeBackward(sig.x, k.reference, n5, true);
    b.s = extremeBackward(sig.x, k.trough, n5, false);
    b.q = k.q;
    return b;
  };
  // Steps 7 and 8 for a beat after the first: false when it is premature.
  // `full` is set when the table is full.
  bool full = false;
  auto accept = [&](const BeatPoints& b, bool foundInPause) {
    const int rr = b.r - prev.r;
    if (rr <= 0 || (!foundInPause && mean >= 0 && rr < mean / 2)) return false;
    if (mean < 0) {
      mean = rr;
    } else {
      const long long w = count / 2 + 1;
      mean = (mean * w + rr) / (w + 1);
    }
    measureBeat(sig, prev, b.r, count, table);
    table[count] = clip16(rr);
    ++count;
    prev = b;
    if (rPositions) rPositions[count] = b.r;
    if (rCount) *rCount = count + 1;
    full = count >= kMaxBeatIntervals;
    return true;
  };
  // Mended: an interval longer than the running mean is searched again with
  // a third of the thresholds. The thresholds follow the tallest complexes
  // (a quarter of their height at the lowest), so a broad ventricular beat,
  // which the filter makes three or four times lower than the sinus beats
  // around it, was never taken; the pause it leaves gives it away. Beats
  // found in a pause are not held to the premature-beat rule: an ectopic
  // beat is premature by nature, and the pause already shows it is missing.
  // One beat found again in the pause before `next`; false when none.
  auto searchBackOnce = [&](const BeatPoints& next) {
    const int from = prev.r + r, to = next.r - r;
    if (from >= to) return false;
    Candidate k, best;
    bool found = false;
    for (int q = from; candidateFrom(q, k) && k.anchor < to; q = k.anchor + 1) {
        if (k.fall < t1 / kSearchBackDivisor || k.rise < t2 / kSearchBackDivisor || k.width >= maxWidth) continue;
      // the earliest: the beats of the pause are taken in their order
      best = k;
      found = true;
      break;
    }
    if (!found) return false;
    const BeatPoints b = pointsOf(best);
    const int span = std::abs(sig.x[b.r] - sig.x[b.s]);
    const int around = std::min(std::abs(sig.x[prev.r] - sig.x[prev.s]), std::abs(sig.x[next.r] - sig.x[next.s]));
    if (span * kSearchBackSpanDivisor < around) return false;
    return accept(b, true);
  };
  // A pause can hide a run of ectopic beats: found again one after another.
  auto searchBack = [&](const BeatPoints& next) {
    while (!full && searchBackOnce(next)) {
    }
  };

  bool skipStep = false;  // continue at step 2 (p already set)
  for (;;) {
    if (!skipStep) {
      p += 2;
      if (p > L - 3) break;
    }
    skipStep = false;
    if (!candidateFrom(p, c)) break;
    if (c.fall < t1 || c.rise < t2 || c.width >= maxWidth) {
      p = c.anchor;
      continue;
    }
    if (c.fall > u1 || c.rise > u2) {
      t1 = roundHalfUp(c.fall / st.rVariability);
      t2 = roundHalfUp(c.rise / st.rVariability);
    }
    const BeatPoints b = pointsOf(c);
    if (!haveFirst) {
      haveFirst = true;
      prev = b;
      firstR = b.r;
      if (rPositions) rPositions[0] = b.r;
      if (rCount) *rCount = 1;
      p = c.anchor + r;
      skipStep = true;
      if (p >= L - 3) break;
      continue;
    }
    if (options.mended && mean > 0 && b.r - prev.r > mean) searchBack(b);
    if (full) break;
    if (!accept(b, false)) {
      p = c.anchor;
      continue;
    }
    if (full) break;
    if (b.r + r < L - 3) {
      p = b.r + r;
      skipStep = true;
    } else if (b.r + 1 < L - 3) {
      p = b.r + 1;
      skipStep = true;
    } else {
      break;
    }
  }
  if (haveFirst) table[count] = clip16(firstR);
  return count;
}

std::vector<long long> detectBeatsInRecording(const std::vector<std::int16_t>& codes, int zeroLevel, int sampleRate,
                                              const BeatDetectorSettings& settings,
                                              const BeatDetectorOptions& options) {
  std::vector<long long> out;
  const long long total = static_cast<long long>(codes.size());
  if (total == 0 || sampleRate <= 0) return out;
  const int window = 32000;
  const int overlap = std::min(window / 4, std::max(2 * sampleRate, 64));
  std::vector<std::int16_t> trace(window), table(kBeatTableSize);
  std::vector<int> rs(kMaxBeatIntervals + 1);
  for (long long a = 0;; a += window - overlap) {
    const int n = static_cast<int>(std::min<long long>(window, total - a));
    EcgSignal sig{codes.data() + a, n, zeroLevel, sampleRate};
    int rc = 0;
    if (detectBeats(sig, settings, trace.data(), table.data(), nullptr, options, rs.data(), &rc) < 0) return {};
    const bool last = a + n >= total;
    const long long keepFrom = a == 0 ? 0 : a + overlap / 2;
    const long long keepTo = last ? total : a + n - overlap / 2;
    for (int k = 0; k < rc; ++k) {
      const long long t = a + rs[static_cast<std::size_t>(k)];
      if (t >= keepFrom && t < keepTo && (out.empty() || t > out.back())) out.push_back(t);
    }
    if (last) break;
  }
  return out;
}

double BeatScore::sensitivity() const {
  return referenceBeats > 0 ? 100.0 * static_cast<double>(truePositives) / static_cast<double>(referenceBeats) : 0;
}

double BeatScore::positivePredictivity() const {
  return detected > 0 ? 100.0 * static_cast<double>(truePositives) / static_cast<double>(detected) : 0;
}

BeatScore scoreBeats(const std::vector<long long>& reference, const std::vector<long long>& detected, long long window,
                     std::vector<std::size_t>* missed, std::vector<std::size_t>* extra) {
  BeatScore s;
  s.referenceBeats = static_cast<long long>(reference.size());
  s.detected = static_cast<long long>(detected.size());
  std::vector<char> used(detected.size(), 0);
  std::size_t lo = 0;
  for (std::size_t ri = 0; ri < reference.size(); ++ri) {
    const long long ref = reference[ri];
    while (lo < detected.size() && detected[lo] < ref - window) ++lo;
    long long bestDist = window + 1;
    std::size_t best = detected.size();
    for (std::size_t k = lo; k < detected.size() && detected[k] <= ref + window; ++k) {
      if (used[k]) continue;
      const long long d = std::llabs(detected[k] - ref);
      if (d < bestDist) {
        bestDist = d;
        best = k;
      }
    }
    if (best < detected.size()) {
      used[best] = 1;
      ++s.truePositives;
    } else if (missed) {
      missed->push_back(ri);
    }
  }
  if (extra)
    for (std::size_t k = 0; k < detected.size(); ++k)
      if (!used[k]) extra->push_back(k);
  s.falseNegatives = s.referenceBeats - s.truePositives;
  s.falsePositives = s.detected - s.truePositives;
  return s;
}

}  // namespace velor
