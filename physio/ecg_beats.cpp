#include "physio/ecg_beats.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <utility>
#include <vector>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

// trunc(n / d) for |n| < 2^31 and 1 ≤ d < 2^15 by one multiplication: with
// l = ceil(log2 d) and m = floor(2^(31 + l) / d) + 1, floor(a·m / 2^(31 + l))
// equals floor(a / d) for every 0 ≤ a < 2^31 (Granlund and Montgomery). The
// filter divides once a sample, and a division costs several multiplications.
class TruncatingDivider {
 public:
  explicit TruncatingDivider(int d) {
    int l = 0;
    while ((1 << l) < d) ++l;
    shift_ = 31 + l;
    m_ = (std::uint64_t{1} << shift_) / static_cast<std::uint64_t>(d) + 1;
  }
  int operator()(int n) const {
    const std::uint64_t a = static_cast<std::uint64_t>(n < 0 ? -static_cast<std::int64_t>(n) : n);
    const int q = static_cast<int>((a * m_) >> shift_);
    return n < 0 ? -q : q;
  }
#if defined(__SSE2__)
  // Four at a time; m < 2^32 for every d < 2^15, so one 32 × 32-bit product
  // per lane holds it.
  __m128i operator()(__m128i n) const {
    const __m128i sign = _mm_srai_epi32(n, 31);
    const __m128i a = _mm_sub_epi32(_mm_xor_si128(n, sign), sign);
    const __m128i m = _mm_set1_epi32(static_cast<int>(static_cast<std::uint32_t>(m_)));
    const __m128i count = _mm_cvtsi32_si128(shift_);
    const __m128i even = _mm_srl_epi64(_mm_mul_epu32(a, m), count);
    const __m128i odd = _mm_srl_epi64(_mm_mul_epu32(_mm_srli_epi64(a, 32), m), count);
    const __m128i q = _mm_or_si128(even, _mm_slli_epi64(odd, 32));
    return _mm_sub_epi32(_mm_xor_si128(q, sign), sign);
  }
#endif

 private:
  std::uint64_t m_ = 1;
  int shift_ = 31;
};

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

// Candidates as the sweep below stores them: positions only, the rest is read
// off the trace when needed (fewer stores in the loop that meets every sample).
struct PositiveSpot {
  int m, q, d;  // peak, preceding trough, following trough
};
struct NegativeSpot {
  int m, k, q, e;  // trough, maximum before it, trough before that, end of the rise after it
};

Candidate candidateOf(const std::int16_t* F, const PositiveSpot& p) {
  Candidate c;
  c.anchor = c.reference = p.m;
  c.trough = p.d;
  c.q = p.q;
  c.fall = F[p.m] - F[p.d];
  c.rise = F[p.m] - F[p.q];
  c.width = p.d - p.m;
  return c;
}

Candidate candidateOf(const std::int16_t* F, const NegativeSpot& n) {
  Candidate c;
  c.anchor = c.trough = n.m;
  c.reference = n.k;
  c.q = n.q;
  c.fall = std::abs(F[n.k] - F[n.m]);
  c.rise = std::abs(F[n.m] - F[n.e]);
  c.width = n.m - n.k;
  return c;
}

// Room the candidate lists need for a trace of L samples: an extreme takes at
// least two samples.
inline std::size_t spotCapacity(int L) { return static_cast<std::size_t>(L) / 2 + 8; }
// 64-bit words of one bit per sample.
inline std::size_t maskWords(int L) { return static_cast<std::size_t>(L) / 64 + 2; }

// Bit k of `up` is F[k+1] > F[k], of `down` F[k+1] < F[k], for k ≤ L − 2;
// the bits from L − 1 on are 0.
void slopeMasks(const std::int16_t* F, int L, std::uint64_t* up, std::uint64_t* down) {
  std::fill_n(up, maskWords(L), 0);
  std::fill_n(down, maskWords(L), 0);
  int k = 0;
#if defined(__SSE2__)
  for (; k + 16 <= L - 1; k += 16) {
    const __m128i a0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(F + k));
    const __m128i a1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(F + k + 8));
    const __m128i b0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(F + k + 1));
    const __m128i b1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(F + k + 9));
    const auto rises = static_cast<std::uint64_t>(static_cast<unsigned>(
        _mm_movemask_epi8(_mm_packs_epi16(_mm_cmpgt_epi16(b0, a0), _mm_cmpgt_epi16(b1, a1)))));
    const auto falls = static_cast<std::uint64_t>(static_cast<unsigned>(
        _mm_movemask_epi8(_mm_packs_epi16(_mm_cmpgt_epi16(a0, b0), _mm_cmpgt_epi16(a1, b1)))));
    up[k >> 6] |= rises << (k & 63);
    down[k >> 6] |= falls << (k & 63);
  }
#endif
  for (; k <= L - 2; ++k) {
    up[k >> 6] |= static_cast<std::uint64_t>(F[k + 1] > F[k]) << (k & 63);
    down[k >> 6] |= static_cast<std::uint64_t>(F[k + 1] < F[k]) << (k & 63);
  }
}

// The first k ≥ from whose bit is clear; the caller knows one is (bit L − 1).
int nextClear(const std::uint64_t* bits, int from) {
  int w = from >> 6;
  std::uint64_t v = ~bits[w] & (~std::uint64_t{0} << (from & 63));
  while (v == 0) v = ~bits[++w];
  return (w << 6) + std::countr_zero(v);
}

// The last k ≤ from whose bit is clear, or −1.
int lastClear(const std::uint64_t* bits, int from) {
  if (from < 0) return -1;
  int w = from >> 6;
  const int b = from & 63;
  std::uint64_t v = ~bits[w] & (b == 63 ? ~std::uint64_t{0} : (std::uint64_t{1} << (b + 1)) - 1);
  while (v == 0) {
    if (--w < 0) return -1;
    v = ~bits[w];
  }
  return (w << 6) + 63 - std::countl_zero(v);
}

// The walks from position 10 meet every candidate the scan can meet, in
// order: every maximum with a trough somewhere before it (positive), every
// minimum (negative). Both lists come from two bit masks of the trace's
// slope: a maximum is a non-falling step followed by a falling one, a trough
// a falling step followed by a non-falling one, and the ends of falls and
// rises are the next clear bits. Only about a fifth of an ECG trace's samples
// are extremes, so the work goes by the extremes, a word of 64 samples at a
// time, instead of by every sample; the scan then looks candidates up in the
// lists instead of walking the trace again. `pos` and `neg` hold
// spotCapacity(L) entries, `up` and `down` maskWords(L); returns the counts.
std::pair<int, int> collectCandidates(const std::int16_t* F, int L, PositiveSpot* pos, NegativeSpot* neg,
                                      std::uint64_t* up, std::uint64_t* down) {
  if (L < 14) return {0, 0};
  slopeMasks(F, L, up, down);
  int np = 0, nn = 0;
  int lastTrough = -1;  // the last trough before the current word
  const int first = 10, last = L - 4;  // where extremes are taken
  const int words = (L - 1) / 64 + 1;
  for (int w = 0; w < words; ++w) {
    const std::uint64_t dn = down[w], dnBefore = (dn << 1) | (w > 0 ? down[w - 1] >> 63 : 0);
    const std::uint64_t upw = up[w], upBefore = (upw << 1) | (w > 0 ? up[w - 1] >> 63 : 0);
    const std::uint64_t troughs = dnBefore & ~dn;
    const int base = w << 6;
    // maxima: the trough before each is the last trough bit below it
    for (std::uint64_t mx = ~dnBefore & dn; mx != 0; mx &= mx - 1) {
      const int b = std::countr_zero(mx);
      const int m = base + b;
      if (m < first || m > last) continue;
      const std::uint64_t below = troughs & ((std::uint64_t{1} << b) - 1);
      const int q = below != 0 ? base + 63 - std::countl_zero(below) : lastTrough;
      if (q < 1) continue;
      pos[np++] = PositiveSpot{m, q, nextClear(down, m + 1)};
    }
    if (troughs != 0) lastTrough = base + 63 - std::countl_zero(troughs);
    // minima: back over the fall before each to its start, and over the
    // rise before that to its start; forward to the end of the rise after it
    for (std::uint64_t mn = ~upBefore & upw; mn != 0; mn &= mn - 1) {
      const int m = base + std::countr_zero(mn);
      if (m < first || m > last) continue;
      const int fallStart = lastClear(down, m - 1) + 1;
      const int q = fallStart >= 1 ? lastClear(up, fallStart - 1) + 1 : 0;
      neg[nn++] = NegativeSpot{m, fallStart, q, nextClear(up, m + 1)};
    }
  }
  return {np, nn};
}

template <class Spot>
Learned learn(const std::int16_t* F, const Spot* found, int n) {
  Learned r;
  for (int i = 0; i < n; ++i) {
    const Candidate c = candidateOf(F, found[i]);
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
  int tSize = std::abs(x[ts] - Z);
  const int tEnd = std::min(ts + w - 2, L - 1);
  for (int j = ts + 1; j <= tEnd; ++j) {
    const int v = std::abs(x[j] - Z);
    tPeak = v > tSize ? j : tPeak;
    tSize = std::max(v, tSize);
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
    // In three passes, the first and last of them four or eight samples at
    // a time: g[k] = x[k + h] − trunc((x[k] + x[k + 2h]) / 2), the window's
    // middle sample against its outer pair; S_i = g[i] + … + g[i + h − 1],
    // one running sum written over g; F = trunc(S / h) + zero level. With
    // h ≤ L / 3 and 16-bit samples |S| stays below 2^31.
    thread_local std::vector<int> buffer;
    if (buffer.size() < static_cast<std::size_t>(L)) buffer.resize(static_cast<std::size_t>(L));
    int* g = buffer.data();
    const int gn = L - 2 * h;  // g[0 .. gn − 1]
    int k = 0;
#if defined(__SSE2__)
    auto widen = [](__m128i v, bool high) {
      return _mm_srai_epi32(high ? _mm_unpackhi_epi16(v, v) : _mm_unpacklo_epi16(v, v), 16);
    };
    for (; k + 8 <= gn; k += 8) {
      const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(x + k));
      const __m128i m = _mm_loadu_si128(reinterpret_cast<const __m128i*>(x + k + h));
      const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(x + k + 2 * h));
      for (int half = 0; half < 2; ++half) {
        const __m128i sum = _mm_add_epi32(widen(a, half), widen(b, half));
        // division by 2 towards zero: add the sign bit before the shift
        const __m128i mean = _mm_srai_epi32(_mm_add_epi32(sum, _mm_srli_epi32(sum, 31)), 1);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(g + k + 4 * half), _mm_sub_epi32(widen(m, half), mean));
      }
    }
#endif
    for (; k < gn; ++k) g[k] = x[k + h] - (x[k] + x[k + 2 * h]) / 2;
    const int n = L - 3 * h + 1;  // outputs
    int S = 0;
    for (int j = 0; j < h; ++j) S += g[j];
    for (int i = 0; i < n; ++i) {
      const int gi = g[i];
      g[i] = S;  // g[i] is not read again
      if (i + 1 < n) S += g[i + h] - gi;
    }
    const TruncatingDivider byH(h);
    std::int16_t* out = F + h + h / 2;
    int i = 0;
#if defined(__SSE2__)
    const __m128i zero = _mm_set1_epi32(sig.zeroLevel);
    for (; i + 8 <= n; i += 8) {
      const __m128i lo = byH(_mm_loadu_si128(reinterpret_cast<const __m128i*>(g + i)));
      const __m128i hi = byH(_mm_loadu_si128(reinterpret_cast<const __m128i*>(g + i + 4)));
      // the pack saturates: the clamp to 16 bits
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i),
                       _mm_packs_epi32(_mm_add_epi32(lo, zero), _mm_add_epi32(hi, zero)));
    }
#endif
    for (; i < n; ++i) out[i] = static_cast<std::int16_t>(std::clamp(byH(g[i]) + sig.zeroLevel, -32768, 32767));
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
  // calls a detection allocates nothing and two threads never share them.
  thread_local std::vector<PositiveSpot> positives;
  thread_local std::vector<NegativeSpot> negatives;
  thread_local std::vector<std::uint64_t> rising, falling;
  if (positives.size() < spotCapacity(L)) positives.resize(spotCapacity(L));
  if (negatives.size() < spotCapacity(L)) negatives.resize(spotCapacity(L));
  if (rising.size() < maskWords(L)) rising.resize(maskWords(L));
  if (falling.size() < maskWords(L)) falling.resize(maskWords(L));
  const auto [np, nn] = collectCandidates(F, L, positives.data(), negatives.data(), rising.data(), falling.data());
  const Learned pos = learn(F, positives.data(), np);
  const Learned neg = learn(F, negatives.data(), nn);
  const bool negative = pos.t1 + pos.t2 < neg.t1 + neg.t2;
  const std::size_t listSize = static_cast<std::size_t>(negative ? nn : np);
  auto anchorAt = [&](std::size_t i) { return negative ? negatives[i].m : positives[i].m; };
  // The first candidate at or after `from`, as nextCandidate(from) would
  // find it. The scan mostly moves forward: a cursor, searched only when it
  // has to go back.
  std::size_t cursor = 0;
  auto candidateFrom = [&](int from, Candidate& out) {
    if (from < 10) return nextCandidate(negative, F, L, from, out);
    if (cursor > 0 && anchorAt(cursor - 1) >= from) {
      std::size_t lo = 0, hi = cursor - 1;  // the first anchor ≥ from lies in [lo, hi]
      while (lo < hi) {
        const std::size_t mid = (lo + hi) / 2;
        if (anchorAt(mid) < from) lo = mid + 1; else hi = mid;
      }
      cursor = lo;
    }
    while (cursor < listSize && anchorAt(cursor) < from) ++cursor;
    if (cursor == listSize) return false;
    out = negative ? candidateOf(F, negatives[cursor]) : candidateOf(F, positives[cursor]);
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
