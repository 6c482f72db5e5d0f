// Small operations on one trace of sample codes shared by the transformations
// and the evoked potentials: the weighted three-point smoothing and the rule
// that puts a computed value back into a 16-bit code.
#pragma once

#include <cmath>
#include <cstdint>

#include "core/study_state.h"

namespace velor {

// Every sample 1 .. n − 2 becomes (x[i − 1] + 2x[i] + x[i + 1]) div 4 (floor,
// as an arithmetic shift does), computed from the values before the pass.
// The end samples keep theirs; fewer than 3 samples change nothing.
void smooth121(std::int16_t* x, int n);

// A computed value as a code: truncated towards zero and limited to the
// 16-bit range, so that a value beyond it stops at the limit instead of
// wrapping round to the other end. A value that is no number gives `fallback`.
inline std::int16_t clampCode(double v, std::int16_t fallback = 0) {
  if (std::isnan(v)) return fallback;
  v = std::trunc(v);
  if (v > 32767.0) return 32767;
  if (v < -32768.0) return -32768;
  return static_cast<std::int16_t>(v);
}

// As clampCode, and a result landing on the mark code reads one code above:
// computed signal values never turn into a user's mark.
inline std::int16_t clampSignalCode(double v, std::int16_t fallback = 0) {
  return sampleCode(clampCode(v, fallback));
}

}  // namespace velor
