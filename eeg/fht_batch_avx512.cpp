// Thirty-two fixed-point Hartley transforms side by side in AVX-512 lanes.
// This file is built for AVX-512BW; the engine calls it only when the
// processor reports AVX-512F and AVX-512BW. The kernel is the one of the
// other widths: its vector masks (a lane of all ones) are made from the
// AVX-512 mask registers where a comparison gives one.
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
// Every header comes in before the target switch, so that nothing outside
// this file's own kernel is built for AVX-512.
#include <immintrin.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "eeg/fht_batch.h"
#include "eeg/spectral.h"

#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx512f,avx512bw,avx2"))), apply_to = function)
#else
#pragma GCC target("avx512f,avx512bw,avx2")
// GCC 12's own AVX-512 intrinsics start from undefined registers on purpose.
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

#include "eeg/fht_batch_kernel.h"

namespace velor {

namespace {

struct Avx512 {
  using Reg = __m512i;
  static constexpr int kLanes = 32;
  static Reg set1(int v) { return _mm512_set1_epi16(static_cast<short>(v)); }
  static Reg add(Reg a, Reg b) { return _mm512_add_epi16(a, b); }
  static Reg sub(Reg a, Reg b) { return _mm512_sub_epi16(a, b); }
  static Reg adds(Reg a, Reg b) { return _mm512_adds_epi16(a, b); }
  static Reg subs(Reg a, Reg b) { return _mm512_subs_epi16(a, b); }
  static Reg equal(Reg a, Reg b) { return _mm512_movm_epi16(_mm512_cmpeq_epi16_mask(a, b)); }
  static Reg greater(Reg a, Reg b) { return _mm512_movm_epi16(_mm512_cmpgt_epi16_mask(a, b)); }
  static Reg max(Reg a, Reg b) { return _mm512_max_epi16(a, b); }
  static Reg min(Reg a, Reg b) { return _mm512_min_epi16(a, b); }
  static Reg bitOr(Reg a, Reg b) { return _mm512_or_si512(a, b); }
  static Reg bitXor(Reg a, Reg b) { return _mm512_xor_si512(a, b); }
  static Reg mulhiUnsigned(Reg a, Reg b) { return _mm512_mulhi_epu16(a, b); }
  static Reg mulhi(Reg a, Reg b) { return _mm512_mulhi_epi16(a, b); }
  static Reg bitNot(Reg a) { return _mm512_xor_si512(a, _mm512_set1_epi16(-1)); }
  static Reg select(Reg mask, Reg a, Reg b) { return _mm512_mask_blend_epi16(_mm512_movepi16_mask(mask), b, a); }
  static Reg half(Reg a) { return _mm512_srai_epi16(a, 1); }
  static Reg sraCount(Reg a, int n) { return _mm512_sra_epi16(a, _mm_cvtsi32_si128(n)); }
  static unsigned laneMask(Reg m) { return static_cast<unsigned>(_mm512_movepi16_mask(m)); }
  static Reg mulQ15(Reg v, Reg c) {
    return _mm512_or_si512(_mm512_slli_epi16(_mm512_mulhi_epi16(v, c), 1),
                           _mm512_srli_epi16(_mm512_mullo_epi16(v, c), 15));
  }
  static void store(std::int16_t* p, Reg v) { _mm512_store_si512(reinterpret_cast<Reg*>(p), v); }
  static Reg load(const std::int16_t* p) { return _mm512_load_si512(reinterpret_cast<const Reg*>(p)); }

  // min(32767, trunc(√(2T) + 0.5)) for sixteen lanes of T = a² + b² (read as
  // unsigned), exactly as the double-precision root gives it: the float root
  // is off by at most one, and k is right when k(k − 1)/2 < T ≤ k(k + 1)/2.
  static __m512i sixteenRoots(__m512i t) {
    // From T above 32767 · 32768 / 2 on (and for T of 2^31 and more, negative
    // here) the result is 32767.
    const __mmask16 big = _mm512_cmpgt_epi32_mask(t, _mm512_set1_epi32(536854528)) |
                          _mm512_cmpgt_epi32_mask(_mm512_setzero_si512(), t);
    const __m512 v = _mm512_cvtepi32_ps(t);
    const __m512 root = _mm512_sqrt_ps(_mm512_add_ps(v, v));
    __m512i k = _mm512_cvttps_epi32(_mm512_add_ps(root, _mm512_set1_ps(0.5f)));
    const __m512i one = _mm512_set1_epi32(1);
    const __m512i upper = _mm512_srli_epi32(_mm512_mullo_epi32(k, _mm512_add_epi32(k, one)), 1);
    const __m512i lower = _mm512_srli_epi32(_mm512_mullo_epi32(k, _mm512_sub_epi32(k, one)), 1);
    k = _mm512_mask_add_epi32(k, _mm512_cmpgt_epi32_mask(t, upper), k, one);
    k = _mm512_mask_sub_epi32(k, _mm512_cmple_epi32_mask(t, lower), k, one);
    // (For T = 0 the root 0 is right, and the test above does not hold there.)
    k = _mm512_min_epi32(_mm512_max_epi32(k, _mm512_setzero_si512()), _mm512_set1_epi32(32767));
    return _mm512_mask_blend_epi32(big, k, _mm512_set1_epi32(32767));
  }
  // The unpacks and packs work inside each 128-bit quarter, so lanes come back in order.
  static Reg amplitude(Reg a, Reg b) {
    const __m512i lo = _mm512_unpacklo_epi16(a, b), hi = _mm512_unpackhi_epi16(a, b);
    return _mm512_packs_epi32(sixteenRoots(_mm512_madd_epi16(lo, lo)), sixteenRoots(_mm512_madd_epi16(hi, hi)));
  }

  // Four 8 × 8 blocks at once, one in each 128-bit quarter: c[u] value l of
  // a quarter = r[l] value u of that quarter.
  static void transposeQuarters(const Reg* r, Reg* c) {
    const Reg a0 = _mm512_unpacklo_epi16(r[0], r[1]), a1 = _mm512_unpackhi_epi16(r[0], r[1]);
    const Reg a2 = _mm512_unpacklo_epi16(r[2], r[3]), a3 = _mm512_unpackhi_epi16(r[2], r[3]);
    const Reg a4 = _mm512_unpacklo_epi16(r[4], r[5]), a5 = _mm512_unpackhi_epi16(r[4], r[5]);
    const Reg a6 = _mm512_unpacklo_epi16(r[6], r[7]), a7 = _mm512_unpackhi_epi16(r[6], r[7]);
    const Reg b0 = _mm512_unpacklo_epi32(a0, a2), b1 = _mm512_unpackhi_epi32(a0, a2);
    const Reg b2 = _mm512_unpacklo_epi32(a1, a3), b3 = _mm512_unpackhi_epi32(a1, a3);
    const Reg b4 = _mm512_unpacklo_epi32(a4, a6), b5 = _mm512_unpackhi_epi32(a4, a6);
    const Reg b6 = _mm512_unpacklo_epi32(a5, a7), b7 = _mm512_unpackhi_epi32(a5, a7);
    c[0] = _mm512_unpacklo_epi64(b0, b4);
    c[1] = _mm512_unpackhi_epi64(b0, b4);
    c[2] = _mm512_unpacklo_epi64(b1, b5);
    c[3] = _mm512_unpackhi_epi64(b1, b5);
    c[4] = _mm512_unpacklo_epi64(b2, b6);
    c[5] = _mm512_unpackhi_epi64(b2, b6);
    c[6] = _mm512_unpacklo_epi64(b3, b7);
    c[7] = _mm512_unpackhi_epi64(b3, b7);
  }
  static __m128i load8(const std::int16_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
  // Samples t..t+7 of thirty-two rows: rows l, l + 8, l + 16 and l + 24 in
  // the quarters of r[l], so that register u comes out as sample t + u of
  // rows 0..31 in lane order.
  static void loadColumns8(const std::int16_t* const* rows, int t, Reg* c) {
    Reg r[8];
    for (int l = 0; l < 8; ++l) {
      const __m256i low = _mm256_inserti128_si256(_mm256_castsi128_si256(load8(rows[l] + t)), load8(rows[l + 8] + t), 1);
      const __m256i high =
          _mm256_inserti128_si256(_mm256_castsi128_si256(load8(rows[l + 16] + t)), load8(rows[l + 24] + t), 1);
      r[l] = _mm512_inserti64x4(_mm512_castsi256_si512(low), high, 1);
    }
    transposeQuarters(r, c);
  }
  // The other way: eight registers of lanes into eight values of each lane's row from t.
  static void storeColumns8(const Reg* c, std::int16_t* const* rows, int t) {
    Reg r[8];
    transposeQuarters(c, r);
    for (int l = 0; l < 8; ++l) {
      _mm_storeu_si128(reinterpret_cast<__m128i*>(rows[l] + t), _mm512_castsi512_si128(r[l]));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(rows[l + 8] + t), _mm512_extracti32x4_epi32(r[l], 1));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(rows[l + 16] + t), _mm512_extracti32x4_epi32(r[l], 2));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(rows[l + 24] + t), _mm512_extracti32x4_epi32(r[l], 3));
    }
  }
};

using Kernel = BatchKernel<Avx512>;

}  // namespace

namespace fht_batch::avx512 {

bool available() { return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw"); }

void transform(std::int16_t* x, int n, int order, int* exponent, bool reverse) {
  auto* r = reinterpret_cast<__m512i*>(x);
  std::fill_n(exponent, Avx512::kLanes, 0);
  if (reverse) Kernel::bitReverse(r, n, order);
  Kernel::butterflies(r, n, exponent);
}

void loadReversed(std::int16_t* x, const std::int16_t* const* rows, int n, int order) {
  Kernel::loadReversed(reinterpret_cast<__m512i*>(x), rows, n, order);
}

bool amplitudes(std::int16_t* x, int n, int order, const int* exponent, std::int16_t* const* out, int* peak) {
  return Kernel::amplitudes(reinterpret_cast<__m512i*>(x), n, order, exponent, out, peak);
}

void transformRows(std::int16_t* x, const std::int16_t* const* rows, int n, int order, int* exponent) {
  Kernel::transformRows(reinterpret_cast<__m512i*>(x), rows, n, order, exponent);
}

}  // namespace fht_batch::avx512

}  // namespace velor

#if defined(__clang__)
#pragma clang attribute pop
#endif
#endif
