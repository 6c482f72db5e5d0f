// Sixteen fixed-point Hartley transforms side by side in AVX2 lanes. This
// file is built for AVX2; the engine calls it only when the processor
// reports AVX2.
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
// Every header comes in before the target switch, so that nothing outside
// this file's own kernel is built for AVX2.
#include <immintrin.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "eeg/fht_batch.h"
#include "eeg/spectral.h"

#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx2"))), apply_to = function)
#else
#pragma GCC target("avx2")
#endif

#include "eeg/fht_batch_kernel.h"

namespace velor {

namespace {

struct Avx2 {
  using Reg = __m256i;
  static constexpr int kLanes = 16;
  static Reg set1(int v) { return _mm256_set1_epi16(static_cast<short>(v)); }
  static Reg add(Reg a, Reg b) { return _mm256_add_epi16(a, b); }
  static Reg sub(Reg a, Reg b) { return _mm256_sub_epi16(a, b); }
  static Reg adds(Reg a, Reg b) { return _mm256_adds_epi16(a, b); }
  static Reg subs(Reg a, Reg b) { return _mm256_subs_epi16(a, b); }
  static Reg equal(Reg a, Reg b) { return _mm256_cmpeq_epi16(a, b); }
  static Reg greater(Reg a, Reg b) { return _mm256_cmpgt_epi16(a, b); }
  static Reg max(Reg a, Reg b) { return _mm256_max_epi16(a, b); }
  static Reg min(Reg a, Reg b) { return _mm256_min_epi16(a, b); }
  static Reg bitOr(Reg a, Reg b) { return _mm256_or_si256(a, b); }
  static Reg bitXor(Reg a, Reg b) { return _mm256_xor_si256(a, b); }
  static Reg mulhiUnsigned(Reg a, Reg b) { return _mm256_mulhi_epu16(a, b); }
  static Reg mulhi(Reg a, Reg b) { return _mm256_mulhi_epi16(a, b); }
  static Reg bitNot(Reg a) { return _mm256_xor_si256(a, _mm256_set1_epi16(-1)); }
  static Reg select(Reg mask, Reg a, Reg b) { return _mm256_blendv_epi8(b, a, mask); }
  static Reg half(Reg a) { return _mm256_srai_epi16(a, 1); }
  static Reg sraCount(Reg a, int n) { return _mm256_sra_epi16(a, _mm_cvtsi32_si128(n)); }
  static unsigned laneMask(Reg m) {
    // packs works inside each 128-bit half: lanes 0..7 in bits 0..7, 8..15 in bits 16..23.
    const unsigned bits =
        static_cast<unsigned>(_mm256_movemask_epi8(_mm256_packs_epi16(m, _mm256_setzero_si256())));
    return (bits & 0xFFu) | ((bits >> 8) & 0xFF00u);
  }
  static Reg mulQ15(Reg v, Reg c) {
    return _mm256_or_si256(_mm256_slli_epi16(_mm256_mulhi_epi16(v, c), 1),
                           _mm256_srli_epi16(_mm256_mullo_epi16(v, c), 15));
  }
  static void store(std::int16_t* p, Reg v) { _mm256_store_si256(reinterpret_cast<Reg*>(p), v); }
  static Reg load(const std::int16_t* p) { return _mm256_load_si256(reinterpret_cast<const Reg*>(p)); }

  // min(32767, trunc(√(2T) + 0.5)) for eight lanes of T = a² + b² (read as
  // unsigned), exactly as the double-precision root gives it. A float root
  // is off by at most one, and the integer test settles it: k is right when
  // k(k − 1)/2 < T ≤ k(k + 1)/2, which is (k − ½)² ≤ 2T < (k + ½)².
  static __m256i eightRoots(__m256i t) {
    // From T above 32767 · 32768 / 2 on (and for T of 2^31 and more, negative
    // here) the result is 32767.
    const __m256i big = _mm256_or_si256(_mm256_cmpgt_epi32(t, _mm256_set1_epi32(536854528)),
                                        _mm256_cmpgt_epi32(_mm256_setzero_si256(), t));
    const __m256 v = _mm256_cvtepi32_ps(t);
    const __m256 root = _mm256_sqrt_ps(_mm256_add_ps(v, v));
    __m256i k = _mm256_cvttps_epi32(_mm256_add_ps(root, _mm256_set1_ps(0.5f)));
    const __m256i one = _mm256_set1_epi32(1);
    // k too small: T > k(k + 1)/2; too large: T ≤ k(k − 1)/2.
    const __m256i upper = _mm256_srli_epi32(_mm256_mullo_epi32(k, _mm256_add_epi32(k, one)), 1);
    const __m256i lower = _mm256_srli_epi32(_mm256_mullo_epi32(k, _mm256_sub_epi32(k, one)), 1);
    k = _mm256_sub_epi32(k, _mm256_cmpgt_epi32(t, upper));                            // + 1
    k = _mm256_add_epi32(k, _mm256_xor_si256(_mm256_cmpgt_epi32(t, lower), _mm256_set1_epi32(-1)));  // − 1
    // (For T = 0 the root 0 is right, and the test above does not hold there.)
    k = _mm256_min_epi32(_mm256_max_epi32(k, _mm256_setzero_si256()), _mm256_set1_epi32(32767));
    return _mm256_blendv_epi8(k, _mm256_set1_epi32(32767), big);
  }
  // The unpacks and packs work inside each 128-bit half, so lanes come back in order.
  static Reg amplitude(Reg a, Reg b) {
    const __m256i lo = _mm256_unpacklo_epi16(a, b), hi = _mm256_unpackhi_epi16(a, b);
    return _mm256_packs_epi32(eightRoots(_mm256_madd_epi16(lo, lo)), eightRoots(_mm256_madd_epi16(hi, hi)));
  }

  // Two 8 × 8 blocks at once, one in each 128-bit half: c[u] value l of
  // either half = r[l] value u of that half.
  static void transposeHalves(const Reg* r, Reg* c) {
    const Reg a0 = _mm256_unpacklo_epi16(r[0], r[1]), a1 = _mm256_unpackhi_epi16(r[0], r[1]);
    const Reg a2 = _mm256_unpacklo_epi16(r[2], r[3]), a3 = _mm256_unpackhi_epi16(r[2], r[3]);
    const Reg a4 = _mm256_unpacklo_epi16(r[4], r[5]), a5 = _mm256_unpackhi_epi16(r[4], r[5]);
    const Reg a6 = _mm256_unpacklo_epi16(r[6], r[7]), a7 = _mm256_unpackhi_epi16(r[6], r[7]);
    const Reg b0 = _mm256_unpacklo_epi32(a0, a2), b1 = _mm256_unpackhi_epi32(a0, a2);
    const Reg b2 = _mm256_unpacklo_epi32(a1, a3), b3 = _mm256_unpackhi_epi32(a1, a3);
    const Reg b4 = _mm256_unpacklo_epi32(a4, a6), b5 = _mm256_unpackhi_epi32(a4, a6);
    const Reg b6 = _mm256_unpacklo_epi32(a5, a7), b7 = _mm256_unpackhi_epi32(a5, a7);
    c[0] = _mm256_unpacklo_epi64(b0, b4);
    c[1] = _mm256_unpackhi_epi64(b0, b4);
    c[2] = _mm256_unpacklo_epi64(b1, b5);
    c[3] = _mm256_unpackhi_epi64(b1, b5);
    c[4] = _mm256_unpacklo_epi64(b2, b6);
    c[5] = _mm256_unpackhi_epi64(b2, b6);
    c[6] = _mm256_unpacklo_epi64(b3, b7);
    c[7] = _mm256_unpackhi_epi64(b3, b7);
  }
  // Samples t..t+7 of sixteen rows: row l in the low half and row l + 8 in
  // the high half of r[l], so that register u comes out as sample t + u of
  // rows 0..15 in lane order.
  static void loadColumns8(const std::int16_t* const* rows, int t, Reg* c) {
    Reg r[8];
    for (int l = 0; l < 8; ++l)
      r[l] = _mm256_inserti128_si256(
          _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[l] + t))),
          _mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[l + 8] + t)), 1);
    transposeHalves(r, c);
  }
  // The other way: eight registers of lanes into eight values of each lane's row from t.
  static void storeColumns8(const Reg* c, std::int16_t* const* rows, int t) {
    Reg r[8];
    transposeHalves(c, r);
    for (int l = 0; l < 8; ++l) {
      _mm_storeu_si128(reinterpret_cast<__m128i*>(rows[l] + t), _mm256_castsi256_si128(r[l]));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(rows[l + 8] + t), _mm256_extracti128_si256(r[l], 1));
    }
  }
};

using Kernel = BatchKernel<Avx2>;

}  // namespace

namespace fht_batch::avx2 {

bool available() { return __builtin_cpu_supports("avx2"); }

void transform(std::int16_t* x, int n, int order, int* exponent, bool reverse) {
  auto* r = reinterpret_cast<__m256i*>(x);
  std::fill_n(exponent, Avx2::kLanes, 0);
  if (reverse) Kernel::bitReverse(r, n, order);
  Kernel::butterflies(r, n, exponent);
}

void loadReversed(std::int16_t* x, const std::int16_t* const* rows, int n, int order) {
  Kernel::loadReversed(reinterpret_cast<__m256i*>(x), rows, n, order);
}

bool amplitudes(std::int16_t* x, int n, int order, const int* exponent, std::int16_t* const* out, int* peak) {
  return Kernel::amplitudes(reinterpret_cast<__m256i*>(x), n, order, exponent, out, peak);
}

void transformRows(std::int16_t* x, const std::int16_t* const* rows, int n, int order, int* exponent) {
  Kernel::transformRows(reinterpret_cast<__m256i*>(x), rows, n, order, exponent);
}

}  // namespace fht_batch::avx2

}  // namespace velor

#if defined(__clang__)
#pragma clang attribute pop
#endif
#endif
