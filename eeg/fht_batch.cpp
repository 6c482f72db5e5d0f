// Eight fixed-point Hartley transforms side by side in SSE2 lanes, and the
// choice between these, the sixteen lanes of AVX2 and the thirty-two of
// AVX-512.
#include "eeg/fht_batch.h"

#include <algorithm>
#include <cstring>

#include "eeg/spectral.h"

#if defined(__x86_64__) || defined(__i386__)
#include <emmintrin.h>

#include "eeg/fht_batch_kernel.h"
#endif

namespace velor {

#if defined(__x86_64__) || defined(__i386__)

namespace {

struct Sse2 {
  using Reg = __m128i;
  static constexpr int kLanes = 8;
  static Reg set1(int v) { return _mm_set1_epi16(static_cast<short>(v)); }
  static Reg add(Reg a, Reg b) { return _mm_add_epi16(a, b); }
  static Reg sub(Reg a, Reg b) { return _mm_sub_epi16(a, b); }
  static Reg adds(Reg a, Reg b) { return _mm_adds_epi16(a, b); }
  static Reg subs(Reg a, Reg b) { return _mm_subs_epi16(a, b); }
  static Reg equal(Reg a, Reg b) { return _mm_cmpeq_epi16(a, b); }
  static Reg greater(Reg a, Reg b) { return _mm_cmpgt_epi16(a, b); }
  static Reg max(Reg a, Reg b) { return _mm_max_epi16(a, b); }
  static Reg min(Reg a, Reg b) { return _mm_min_epi16(a, b); }
  static Reg bitOr(Reg a, Reg b) { return _mm_or_si128(a, b); }
  static Reg bitXor(Reg a, Reg b) { return _mm_xor_si128(a, b); }
  static Reg mulhiUnsigned(Reg a, Reg b) { return _mm_mulhi_epu16(a, b); }
  static Reg mulhi(Reg a, Reg b) { return _mm_mulhi_epi16(a, b); }
  static Reg bitNot(Reg a) { return _mm_xor_si128(a, _mm_set1_epi16(-1)); }
  static Reg select(Reg mask, Reg a, Reg b) { return _mm_or_si128(_mm_and_si128(mask, a), _mm_andnot_si128(mask, b)); }
  static Reg half(Reg a) { return _mm_srai_epi16(a, 1); }
  static Reg sraCount(Reg a, int n) { return _mm_sra_epi16(a, _mm_cvtsi32_si128(n)); }
  static unsigned laneMask(Reg m) {
    return static_cast<unsigned>(_mm_movemask_epi8(_mm_packs_epi16(m, _mm_setzero_si128()))) & 0xFFu;
  }
  // (v × c) >> 15 from the high and low halves of the 32-bit products.
  static Reg mulQ15(Reg v, Reg c) {
    return _mm_or_si128(_mm_slli_epi16(_mm_mulhi_epi16(v, c), 1), _mm_srli_epi16(_mm_mullo_epi16(v, c), 15));
  }
  static void store(std::int16_t* p, Reg v) { _mm_store_si128(reinterpret_cast<Reg*>(p), v); }
  static Reg load(const std::int16_t* p) { return _mm_load_si128(reinterpret_cast<const Reg*>(p)); }

  // trunc(√(2 × (T)) + 0.5) for two lanes of T = a² + b² (read as unsigned).
  static __m128i roundedRoot(__m128i t) {
    __m128d d = _mm_cvtepi32_pd(t);
    d = _mm_add_pd(d, _mm_and_pd(_mm_cmplt_pd(d, _mm_setzero_pd()), _mm_set1_pd(4294967296.0)));
    d = _mm_min_pd(_mm_add_pd(_mm_sqrt_pd(_mm_add_pd(d, d)), _mm_set1_pd(0.5)), _mm_set1_pd(32767.0));
    return _mm_cvttpd_epi32(d);
  }
  static __m128i fourRoots(__m128i t) {
    return _mm_unpacklo_epi64(roundedRoot(t), roundedRoot(_mm_srli_si128(t, 8)));
  }
  // trunc(√(e² + d²) + 0.5) with e = a + b, d = a − b, that is √(2a² + 2b²).
  static Reg amplitude(Reg a, Reg b) {
    const __m128i lo = _mm_unpacklo_epi16(a, b), hi = _mm_unpackhi_epi16(a, b);
    return _mm_packs_epi32(fourRoots(_mm_madd_epi16(lo, lo)), fourRoots(_mm_madd_epi16(hi, hi)));
  }

  // An 8 × 8 block of 16-bit values turned over: c[u] lane l = r[l] lane u.
  static void transposeRegisters(const Reg* r, Reg* c) {
    const Reg a0 = _mm_unpacklo_epi16(r[0], r[1]), a1 = _mm_unpackhi_epi16(r[0], r[1]);
    const Reg a2 = _mm_unpacklo_epi16(r[2], r[3]), a3 = _mm_unpackhi_epi16(r[2], r[3]);
    const Reg a4 = _mm_unpacklo_epi16(r[4], r[5]), a5 = _mm_unpackhi_epi16(r[4], r[5]);
    const Reg a6 = _mm_unpacklo_epi16(r[6], r[7]), a7 = _mm_unpackhi_epi16(r[6], r[7]);
    const Reg b0 = _mm_unpacklo_epi32(a0, a2), b1 = _mm_unpackhi_epi32(a0, a2);
    const Reg b2 = _mm_unpacklo_epi32(a1, a3), b3 = _mm_unpackhi_epi32(a1, a3);
    const Reg b4 = _mm_unpacklo_epi32(a4, a6), b5 = _mm_unpackhi_epi32(a4, a6);
    const Reg b6 = _mm_unpacklo_epi32(a5, a7), b7 = _mm_unpackhi_epi32(a5, a7);
    c[0] = _mm_unpacklo_epi64(b0, b4);
    c[1] = _mm_unpackhi_epi64(b0, b4);
    c[2] = _mm_unpacklo_epi64(b1, b5);
    c[3] = _mm_unpackhi_epi64(b1, b5);
    c[4] = _mm_unpacklo_epi64(b2, b6);
    c[5] = _mm_unpackhi_epi64(b2, b6);
    c[6] = _mm_unpacklo_epi64(b3, b7);
    c[7] = _mm_unpackhi_epi64(b3, b7);
  }
  // Samples t..t+7 of eight rows: register u holds sample t + u of every row.
  static void loadColumns8(const std::int16_t* const* rows, int t, Reg* c) {
    Reg r[8];
    for (int l = 0; l < 8; ++l) r[l] = _mm_loadu_si128(reinterpret_cast<const Reg*>(rows[l] + t));
    transposeRegisters(r, c);
  }
  // The other way: eight registers of lanes into eight values of each lane's row from t.
  static void storeColumns8(const Reg* c, std::int16_t* const* rows, int t) {
    Reg r[8];
    transposeRegisters(c, r);
    for (int l = 0; l < 8; ++l) _mm_storeu_si128(reinterpret_cast<Reg*>(rows[l] + t), r[l]);
  }
};

using Kernel = BatchKernel<Sse2>;

}  // namespace

namespace fht_batch::sse2 {

void transform(std::int16_t* x, int n, int order, int* exponent, bool reverse) {
  auto* r = reinterpret_cast<__m128i*>(x);
  std::fill_n(exponent, Sse2::kLanes, 0);
  if (reverse) Kernel::bitReverse(r, n, order);
  Kernel::butterflies(r, n, exponent);
}

void loadReversed(std::int16_t* x, const std::int16_t* const* rows, int n, int order) {
  Kernel::loadReversed(reinterpret_cast<__m128i*>(x), rows, n, order);
}

bool amplitudes(std::int16_t* x, int n, int order, const int* exponent, std::int16_t* const* out, int* peak) {
  return Kernel::amplitudes(reinterpret_cast<__m128i*>(x), n, order, exponent, out, peak);
}

void transformRows(std::int16_t* x, const std::int16_t* const* rows, int n, int order, int* exponent) {
  Kernel::transformRows(reinterpret_cast<__m128i*>(x), rows, n, order, exponent);
}

}  // namespace fht_batch::sse2

namespace fht_batch {

namespace {
// The widest kernel this processor runs: 2 AVX-512, 1 AVX2, 0 SSE2.
int width() {
  static const int w = avx512::available() ? 2 : avx2::available() ? 1 : 0;
  return w;
}
}  // namespace

int lanes() { return 8 << width(); }
bool vectorised() { return true; }

void transform(std::int16_t* x, int n, int order, int* exponent, bool reverse) {
  switch (width()) {
    case 2: avx512::transform(x, n, order, exponent, reverse); break;
    case 1: avx2::transform(x, n, order, exponent, reverse); break;
    default: sse2::transform(x, n, order, exponent, reverse);
  }
}

void loadReversed(std::int16_t* x, const std::int16_t* const* rows, int n, int order) {
  switch (width()) {
    case 2: avx512::loadReversed(x, rows, n, order); break;
    case 1: avx2::loadReversed(x, rows, n, order); break;
    default: sse2::loadReversed(x, rows, n, order);
  }
}

void transformRows(std::int16_t* x, const std::int16_t* const* rows, int n, int order, int* exponent) {
  switch (width()) {
    case 2: avx512::transformRows(x, rows, n, order, exponent); break;
    case 1: avx2::transformRows(x, rows, n, order, exponent); break;
    default: sse2::transformRows(x, rows, n, order, exponent);
  }
}

bool amplitudes(std::int16_t* x, int n, int order, const int* exponent, std::int16_t* const* out, int* peak) {
  switch (width()) {
    case 2: return avx512::amplitudes(x, n, order, exponent, out, peak);
    case 1: return avx2::amplitudes(x, n, order, exponent, out, peak);
    default: return sse2::amplitudes(x, n, order, exponent, out, peak);
  }
}

}  // namespace fht_batch

#else

namespace fht_batch {
int lanes() { return 8; }
bool vectorised() { return false; }
void transform(std::int16_t*, int, int, int*, bool) {}
void loadReversed(std::int16_t*, const std::int16_t* const*, int, int) {}
bool amplitudes(std::int16_t*, int, int, const int*, std::int16_t* const*, int*) { return false; }
void transformRows(std::int16_t*, const std::int16_t* const*, int, int, int*) {}
}  // namespace fht_batch

#endif

}  // namespace velor
