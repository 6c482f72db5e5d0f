// Internals of the batch transform shared by eeg/fht_batch*.cpp and the
// engine: lanes of 16-bit values side by side, value i of lane l at
// i × lanes() + l.
#pragma once

#include <cstdint>

namespace velor::fht_batch {

inline constexpr int kMaxLanes = 32;

// Lanes of the widest instruction set this processor has: 32 with
// AVX-512BW, 16 with AVX2, 8 otherwise.
int lanes();
// Whether the vector kernels are there at all (x86-64); without them the
// engine transforms lane by lane.
bool vectorised();

// In place: bit reversal (when `reverse`) and the butterflies of n = 2^order
// values per lane; exponent[l] counts the halvings of lane l (set to 0 first).
void transform(std::int16_t* x, int n, int order, int* exponent, bool reverse);
// n samples (n ≥ 8) of lanes() arrays into the lanes, in bit-reversed order.
void loadReversed(std::int16_t* x, const std::int16_t* const* rows, int n, int order);
// Amplitude spectra of all lanes into out[l][1..n/2], the largest value of
// each lane in peak[l], as the single amplitude spectrum gives them; the
// lanes are normalised in place. False, with nothing changed, when some
// lane's halvings reached the order.
bool amplitudes(std::int16_t* x, int n, int order, const int* exponent, std::int16_t* const* out, int* peak);
// loadReversed and transform (without reversal) in one, the first two
// stages done while the samples come in (n ≥ 8).
void transformRows(std::int16_t* x, const std::int16_t* const* rows, int n, int order, int* exponent);

#if defined(__x86_64__) || defined(__i386__)
namespace sse2 {
void transform(std::int16_t* x, int n, int order, int* exponent, bool reverse);
void loadReversed(std::int16_t* x, const std::int16_t* const* rows, int n, int order);
bool amplitudes(std::int16_t* x, int n, int order, const int* exponent, std::int16_t* const* out, int* peak);
void transformRows(std::int16_t* x, const std::int16_t* const* rows, int n, int order, int* exponent);
}  // namespace sse2
namespace avx2 {
bool available();
void transform(std::int16_t* x, int n, int order, int* exponent, bool reverse);
void loadReversed(std::int16_t* x, const std::int16_t* const* rows, int n, int order);
bool amplitudes(std::int16_t* x, int n, int order, const int* exponent, std::int16_t* const* out, int* peak);
void transformRows(std::int16_t* x, const std::int16_t* const* rows, int n, int order, int* exponent);
}  // namespace avx2
namespace avx512 {
bool available();
void transform(std::int16_t* x, int n, int order, int* exponent, bool reverse);
void loadReversed(std::int16_t* x, const std::int16_t* const* rows, int n, int order);
bool amplitudes(std::int16_t* x, int n, int order, const int* exponent, std::int16_t* const* out, int* peak);
void transformRows(std::int16_t* x, const std::int16_t* const* rows, int n, int order, int* exponent);
}  // namespace avx512
#endif

}  // namespace velor::fht_batch
