#include "core/trace_ops.h"

namespace velor {

void smooth121(std::int16_t* x, int n) {
  if (n < 3) return;
  int before = x[0];
  for (int i = 1; i <= n - 2; ++i) {
    const int current = x[i];
    // An arithmetic shift: the floor of the quarter, also for negative sums.
    x[i] = static_cast<std::int16_t>((before + 2 * current + x[i + 1]) >> 2);
    before = current;
  }
}

}  // namespace velor
