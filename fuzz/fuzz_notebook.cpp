// Any bytes read as a ".cab" notebook file are refused or give at most 999
// rows that write back and read again to the same cells.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "results/notebook.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  static velor::Notebook nb;
  std::string notice, reason;
  if (!velor::decodeNotebookFile(bytes, nb, notice, reason)) return 0;
  if (nb.rowCount() < 0 || nb.rowCount() > velor::kNotebookRows) __builtin_trap();
  static velor::Notebook back;
  if (!velor::decodeNotebookFile(velor::encodeNotebookFile(nb), back, notice, reason)) __builtin_trap();
  if (back.rowCount() > nb.rowCount()) __builtin_trap();
  return 0;
}
