// The batch transform written once over a vector type V of 16-bit lanes
// (V::Reg holds V::kLanes values), instantiated for SSE2 and for AVX2 in
// their own source files. Everything here has internal linkage, so the two
// instantiations, built for different instruction sets, never mix.
//
// Lane l of register i holds value i of array l. Each lane follows the single
// transform butterfly by butterfly; a lane whose butterfly overflows halves
// its own array and the butterfly is computed again, so every lane ends bit
// for bit as the single transform ends.
//
// Included only by eeg/fht_batch*.cpp.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "eeg/spectral.h"

namespace velor {
namespace {

template <class V>
struct BatchKernel {
  using R = typename V::Reg;
  static constexpr int kLanes = V::kLanes;
  // Butterfly outputs stay below (1 + √2) × max|input| + 2, so a group whose
  // values all lie within this bound cannot overflow and needs no checks.
  static constexpr int kSafe = 13500;

  // Halves registers [0, count) in the lanes set in `lanes` (all bits of a
  // lane set) and counts the halving in exponent and, when given, in pending.
  static void halve(R* x, int count, R lanes, int* exponent, int* pending = nullptr) {
    const unsigned bits = V::laneMask(lanes);
    for (int l = 0; l < kLanes; ++l)
      if (bits & (1u << l)) {
        ++exponent[l];
        if (pending) ++pending[l];
      }
    for (int i = 0; i < count; ++i) x[i] = V::select(lanes, V::half(x[i]), x[i]);
  }

  // A right shift by count[l] in lane l, prepared once for many registers:
  // with u = x + 32768 read as unsigned, x >> c = (u × 2^(16 − c)) >> 16 −
  // 2^(15 − c) for c in 1..15; count 0 keeps the value. Counts above 15
  // (only for inputs far beyond 12 bits) are taken in steps of 15.
  struct LaneShift {
    bool none = true, same = true;
    int count = 0;
    R multiplier[3], offset[3], keep[3];
    int steps = 0;

    void set(const int* counts) {
      none = same = true;
      for (int l = 0; l < kLanes; ++l) {
        none = none && counts[l] == 0;
        same = same && counts[l] == counts[0];
      }
      count = counts[0];
      if (none || (same && count <= 15)) return;
      int rest[kLanes];
      std::copy(counts, counts + kLanes, rest);
      alignas(64) std::int16_t m[kLanes], o[kLanes], k[kLanes];
      steps = 0;
      for (bool more = true; more && steps < 3; ++steps) {
        more = false;
        for (int l = 0; l < kLanes; ++l) {
          const int c = std::min(rest[l], 15);
          rest[l] -= c;
          more = more || rest[l] > 0;
          m[l] = static_cast<std::int16_t>(c == 0 ? 0 : 1 << (16 - c));
          o[l] = static_cast<std::int16_t>(c == 0 ? 0 : 1 << (15 - c));
          k[l] = static_cast<std::int16_t>(c == 0 ? -1 : 0);
        }
        multiplier[steps] = V::load(m);
        offset[steps] = V::load(o);
        keep[steps] = V::load(k);
      }
    }
    R apply(R v) const {
      if (none) return v;
      if (same && count <= 15) return V::sraCount(v, count);
      for (int i = 0; i < steps; ++i)
        v = V::select(keep[i], v, V::sub(V::mulhiUnsigned(V::bitXor(v, V::set1(-32768)), multiplier[i]), offset[i]));
      return v;
    }
  };

  static bool withinSafeBound(const R* x, int count) { return withinBound(x, count, kSafe); }

  static bool withinBound(const R* x, int count, int bound) {
    if (count <= 0) return true;
    R hi = x[0], lo = x[0];
    for (int i = 1; i < count; ++i) {
      hi = V::max(hi, x[i]);
      lo = V::min(lo, x[i]);
    }
    return V::laneMask(V::bitOr(V::greater(hi, V::set1(bound)), V::greater(V::set1(-bound), lo))) == 0;
  }

  // Lanes where the wrapped result differs from the saturated one overflowed.
  static R sum(R a, R b, R& out) {
    out = V::add(a, b);
    return V::bitNot(V::equal(out, V::adds(a, b)));
  }
  static R difference(R a, R b, R& out) {
    out = V::sub(a, b);
    return V::bitNot(V::equal(out, V::subs(a, b)));
  }

  // (x[i], x[j]) → (x[i] + x[j], x[i] − x[j]); an overflow halves [0, touched).
  static void pair(R* x, int touched, int i, int j, int* exponent, int* pending = nullptr) {
    for (;;) {
      R s, d;
      const R over = V::bitOr(sum(x[i], x[j], s), difference(x[i], x[j], d));
      if (V::laneMask(over) == 0) {
        x[i] = s;
        x[j] = d;
        return;
      }
      halve(x, touched, over, exponent, pending);
    }
  }

  // Registers [0, count) brought up to date with the pending halvings, and
  // whether they all lie within the bound that needs no overflow checks.
  static bool prepare(R* x, int count, const LaneShift& shift, bool check = true) {
    if (count <= 0) return true;
    if (!shift.none) {
      if (shift.same && shift.count <= 15) {
        for (int i = 0; i < count; ++i) x[i] = V::sraCount(x[i], shift.count);
      } else {
        for (int i = 0; i < count; ++i) x[i] = shift.apply(x[i]);
      }
    }
    return check && withinSafeBound(x, count);
  }

  // The single transform's pair (x[i], x[j]) → (x[i] + x[j], x[i] − x[j]) for
  // registers not yet brought up to date in this stage: they are read with
  // the pending halvings, and a halving here is applied to the registers
  // done before (`done`) and kept pending for all others.
  static void leadingPair(R* x, int done, int i, int j, int* exponent, int* pending, LaneShift& shift) {
    R a = shift.apply(x[i]), b = shift.apply(x[j]);
    for (;;) {
      R s, d;
      const R over = V::bitOr(sum(a, b, s), difference(a, b, d));
      if (V::laneMask(over) == 0) {
        x[i] = s;
        x[j] = d;
        return;
      }
      halve(x, done, over, exponent, pending);
      shift.set(pending);
      a = V::select(over, V::half(a), a);
      b = V::select(over, V::half(b), b);
    }
  }

  // All stages after the bit reversal.
  //
  // A halving must reach the whole array. Within a stage the groups are done
  // one after another: a halving is applied at once to the registers already
  // brought up to date in this stage, and kept pending for the others, which
  // take their pending halvings (as one shift, which equals shifting one bit
  // at a time) when their group comes up. The constant component, which
  // overflows most, sits in the first pair of the first group, so its
  // halvings cost next to nothing.
  // With `firstTwoDone` the stages of span 2 and 4 are done already (by
  // loadFirstStages).
  static void butterflies(R* x, int n, int* exponent, bool firstTwoDone = false) {
    if (n < 2) return;
    // The first two stages. With every value within ±8191 neither can
    // overflow, and both are done in one pass over groups of four; otherwise
    // stage by stage with checks.
    if (firstTwoDone) {
    } else if (n >= 4 && withinBound(x, n, 8191)) {
      for (int b = 0; b < n; b += 4) {
        const R s0 = V::add(x[b], x[b + 1]), d0 = V::sub(x[b], x[b + 1]);
        const R s1 = V::add(x[b + 2], x[b + 3]), d1 = V::sub(x[b + 2], x[b + 3]);
        x[b] = V::add(s0, s1);
        x[b + 2] = V::sub(s0, s1);
        x[b + 1] = V::add(d0, d1);
        x[b + 3] = V::sub(d0, d1);
      }
    } else {
      for (int i = 0; i < n; i += 2) pair(x, n, i, i + 1, exponent);
      if (n >= 4)
        for (int b = 0; b < n; b += 4) {
          pair(x, n, b, b + 2, exponent);
          pair(x, n, b + 1, b + 3, exponent);
        }
    }

    const std::int16_t* sine = sineTable().data();
    int pending[kLanes];
    // Per group of a stage: whether all its values but the first ended within
    // the bound that needs no checks. A group of the next stage made of two
    // such groups skips its own look at the values: halvings only make them
    // smaller.
    constexpr int kMaxGroups = kFhtMaxSize / 8;
    bool quietBefore[kMaxGroups], quietNow[kMaxGroups];
    bool tracked = false;  // quietBefore holds the stage before
    for (int h = 4; h <= n / 2; h *= 2) {
      const int twoH = 2 * h;
      const int step = 4096 / h;
      std::fill_n(pending, kLanes, 0);
      LaneShift shift;
      for (int b = 0; b < n; b += twoH) {
        R* g = x + b;
        const int group = b / twoH;
        leadingPair(x, b, b, b + h, exponent, pending, shift);
        bool safe;
        if (tracked && quietBefore[2 * group] && quietBefore[2 * group + 1]) {
          prepare(g + 1, h - 1, shift, false);
          prepare(g + h + 1, h - 1, shift, false);
          safe = true;
        } else {
          // Both halves are brought up to date, whatever the first one says.
          const bool lowSafe = prepare(g + 1, h - 1, shift);
          safe = prepare(g + h + 1, h - 1, shift) && lowSafe;
        }
        const int touched = b + twoH;
        quietNow[group] = false;
        if (safe) {
          // Within the bound, 2p and 2q fit 16 bits, and (p × c × 2) >> 16 is
          // the high half of the product of 2p and c.
          R hi = g[h], lo = g[h];
          for (int k = 1; k <= h / 2; ++k) {
            const R s = V::set1(sine[k * step]);
            const R c = V::set1(sine[2048 - k * step]);
            const R a0 = g[k], e0 = g[h - k], p = g[h + k], q = g[twoH - k];
            const R p2 = V::add(p, p), q2 = V::add(q, q);
            const R t1 = V::sub(V::mulhi(q2, c), V::mulhi(p2, s));
            const R t2 = V::add(V::mulhi(p2, c), V::mulhi(q2, s));
            const R r0 = V::add(a0, t2), r1 = V::sub(a0, t2), r2 = V::sub(e0, t1), r3 = V::add(e0, t1);
            g[k] = r0;
            g[h + k] = r1;
            g[h - k] = r2;
            g[twoH - k] = r3;
            // (At k = h/2 r0 and r1 are overwritten; taking them in only widens the range.)
            hi = V::max(hi, V::max(V::max(r0, r1), V::max(r2, r3)));
            lo = V::min(lo, V::min(V::min(r0, r1), V::min(r2, r3)));
          }
          quietNow[group] =
              V::laneMask(V::bitOr(V::greater(hi, V::set1(kSafe)), V::greater(V::set1(-kSafe), lo))) == 0;
          continue;
        }
        for (int k = 1; k <= h / 2; ++k) {
          const R s = V::set1(sine[k * step]);
          const R c = V::set1(sine[2048 - k * step]);
          for (;;) {
            const R a0 = g[k], e0 = g[h - k], p = g[h + k], q = g[twoH - k];
            R t1, t2, r0, r1, r2, r3;
            R over = difference(V::mulQ15(q, c), V::mulQ15(p, s), t1);
            over = V::bitOr(over, sum(V::mulQ15(p, c), V::mulQ15(q, s), t2));
            over = V::bitOr(over, sum(a0, t2, r0));
            over = V::bitOr(over, difference(a0, t2, r1));
            over = V::bitOr(over, difference(e0, t1, r2));
            over = V::bitOr(over, sum(e0, t1, r3));
            if (V::laneMask(over) == 0) {
              g[k] = r0;
              g[h + k] = r1;
              g[h - k] = r2;
              g[twoH - k] = r3;
              break;
            }
            halve(x, touched, over, exponent, pending);
            shift.set(pending);
          }
        }
      }
      std::copy_n(quietNow, n / twoH, quietBefore);
      tracked = true;
    }
  }

  // Bit-reversed order, register by register.
  static void bitReverse(R* x, int n, int order) {
    const int drop = kFhtMaxOrder - order;
    const std::uint16_t* reversed = fhtBitReversal();
    for (int i = 0; i < n; ++i) {
      const int j = reversed[i] >> drop;
      if (i < j) {
        const R t = x[i];
        x[i] = x[j];
        x[j] = t;
      }
    }
  }

  // n samples of kLanes arrays into the lanes, already in bit-reversed order
  // (n a power of two, at least 8).
  //
  // The rows are often channel buffers a power of two apart, which share one
  // set of the level-1 cache: read eight samples at a time, each row's cache
  // line would be fetched again for every eight. So 32 samples of every row
  // are first copied into a small block side by side and turned from there.
  static void loadReversed(R* x, const std::int16_t* const* rows, int n, int order) {
    const int drop = kFhtMaxOrder - order;
    const std::uint16_t* reversed = fhtBitReversal();
    R columns[8];
    constexpr int kSpan = 32;
    if (n >= kSpan) {
      alignas(64) std::int16_t block[kLanes][kSpan];
      const std::int16_t* local[kLanes];
      for (int l = 0; l < kLanes; ++l) local[l] = block[l];
      for (int t = 0; t < n; t += kSpan) {
        for (int l = 0; l < kLanes; ++l) {
          if (t + 2 * kSpan < n) __builtin_prefetch(rows[l] + t + 2 * kSpan);
          std::memcpy(block[l], rows[l] + t, sizeof block[l]);
        }
        for (int s = 0; s < kSpan; s += 8) {
          V::loadColumns8(local, s, columns);
          for (int u = 0; u < 8; ++u) x[reversed[t + s + u] >> drop] = columns[u];
        }
      }
      return;
    }
    for (int t = 0; t < n; t += 8) {
      V::loadColumns8(rows, t, columns);
      for (int u = 0; u < 8; ++u) x[reversed[t + u] >> drop] = columns[u];
    }
  }

  // n samples of kLanes arrays into the lanes in bit-reversed order, with the
  // stages of span 2 and 4 done on the way: samples r, r + n/4, r + n/2 and
  // r + 3n/4 (r < n/4) make one group of four, at r(r) onwards. Those stages
  // cannot overflow when every sample lies within ±8191; false, with x
  // undefined, when some sample does not (or for fewer than 32 samples),
  // and the stages must then be done with their checks.
  static bool loadFirstStages(R* x, const std::int16_t* const* rows, int n, int order) {
    const int quarter = n / 4;
    if (quarter < 8) return false;
    constexpr int kSpan = 32;
    const int span = std::min(kSpan, quarter);
    const int drop = kFhtMaxOrder - order;
    const std::uint16_t* reversed = fhtBitReversal();
    // Staged through a small block for the reason given at loadReversed.
    alignas(64) std::int16_t block[4][kLanes][kSpan];
    const std::int16_t* local[4][kLanes];
    for (int q = 0; q < 4; ++q)
      for (int l = 0; l < kLanes; ++l) local[q][l] = block[q][l];
    // The reads jump between four places of every row: ask for the lines of
    // short epochs all at once, for longer ones a step ahead.
    if (n <= 256)
      for (int l = 0; l < kLanes; ++l)
        for (int i = 0; i < n; i += 32) __builtin_prefetch(rows[l] + i);
    R hi = V::set1(-32768), lo = V::set1(32767);
    for (int t = 0; t < quarter; t += span) {
      for (int q = 0; q < 4; ++q)
        for (int l = 0; l < kLanes; ++l) {
          const std::int16_t* from = rows[l] + q * quarter + t;
          if (n > 256 && t + span < quarter) __builtin_prefetch(from + span);
          if (span == kSpan)
            std::memcpy(block[q][l], from, sizeof block[q][l]);  // a constant size, copied inline
          else
            std::memcpy(block[q][l], from, sizeof(std::int16_t) * static_cast<std::size_t>(span));
        }
      for (int s = 0; s < span; s += 8) {
        R a[8], c[8], b[8], d[8];
        V::loadColumns8(local[0], s, a);
        V::loadColumns8(local[1], s, c);
        V::loadColumns8(local[2], s, b);
        V::loadColumns8(local[3], s, d);
        for (int u = 0; u < 8; ++u) {
          hi = V::max(hi, V::max(V::max(a[u], b[u]), V::max(c[u], d[u])));
          lo = V::min(lo, V::min(V::min(a[u], b[u]), V::min(c[u], d[u])));
          const R s0 = V::add(a[u], b[u]), d0 = V::sub(a[u], b[u]);
          const R s1 = V::add(c[u], d[u]), d1 = V::sub(c[u], d[u]);
          R* g = x + (reversed[t + s + u] >> drop);
          g[0] = V::add(s0, s1);
          g[1] = V::add(d0, d1);
          g[2] = V::sub(s0, s1);
          g[3] = V::sub(d0, d1);
        }
      }
    }
    return V::laneMask(V::bitOr(V::greater(hi, V::set1(8191)), V::greater(V::set1(-8191), lo))) == 0;
  }

  // Rows into the lanes and the whole transform.
  static void transformRows(R* x, const std::int16_t* const* rows, int n, int order, int* exponent) {
    std::fill_n(exponent, kLanes, 0);
    if (loadFirstStages(x, rows, n, order)) {
      butterflies(x, n, exponent, true);
      return;
    }
    loadReversed(x, rows, n, order);
    butterflies(x, n, exponent, false);
  }

  // The amplitude spectra of all lanes when every lane normalises by a right
  // shift (its own): out[l][1..n/2] and the largest value of each lane in
  // peak[l]. False when a lane's halvings reached the order (or for fewer
  // than 16 values).
  static bool amplitudes(const R* x, int n, int order, const int* exponent, std::int16_t* const* out, int* peak) {
    if (n < 16) return false;
    int shift[kLanes];
    for (int l = 0; l < kLanes; ++l) {
      shift[l] = order - exponent[l] - 1;
      if (shift[l] < 0 || shift[l] > 15) return false;
    }
    LaneShift normalise;
    normalise.set(shift);
    // Eight bins at a time, turned back into eight values per lane.
    R top = V::set1(0);
    R block[8];
    for (int i = 1; i <= n / 2; i += 8) {
      for (int u = 0; u < 8; ++u) {
        block[u] = V::amplitude(normalise.apply(x[i + u]), normalise.apply(x[n - i - u]));
        top = V::max(top, block[u]);
      }
      V::storeColumns8(block, out, i);
    }
    alignas(64) std::int16_t values[kLanes];
    V::store(values, top);
    for (int l = 0; l < kLanes; ++l) peak[l] = values[l];
    return true;
  }
};

}  // namespace
}  // namespace velor
