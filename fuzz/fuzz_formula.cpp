// Any text either compiles to a formula or to a message, and any compiled
// formula's evaluation ends, over a small record and notebook and at indices
// in and out of them.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/formula.h"
#include "core/study_state.h"

namespace {

class Cells : public velor::FormulaCells {
 public:
  bool cellValue(int column, int row, double& value) const override {
    if (column < 1 || column > 5 || row < 1 || row > 999) return false;
    value = column * 1000 + row;
    return true;
  }
};

velor::StudyState& study() {
  static velor::StudyState* s = [] {
    auto* st = new velor::StudyState;
    st->channelCount = 3;
    st->recordLength = 64;
    st->markChannelCount = 1;
    for (int c = 0; c < 3; ++c)
      for (int n = 0; n < 64; ++n) st->channelData[c][n] = static_cast<std::int16_t>((n * 37 + c * 11) % 4097);
    for (int n = 0; n < 64; ++n) st->markChannel[n] = static_cast<std::int16_t>(n * 257);
    st->selectionAnchor = 3;
    st->cursorPos = 9;
    return st;
  }();
  return *s;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  static const velor::FunctionNames names = velor::FunctionNames::defaults();
  static const Cells cells;
  const std::string_view text(reinterpret_cast<const char*>(data) + 2, size - 2);
  velor::CompiledFormula f;
  std::string message;
  if (!velor::compileFormula(text, names, f, message)) {
    if (message.empty()) __builtin_trap();
    return 0;
  }
  velor::FormulaContext ctx;
  ctx.study = &study();
  ctx.cells = &cells;
  ctx.i = data[0] % 8;
  ctx.expressAnalysisKind = data[1] % 6;
  ctx.seedRandom(data[1]);
  for (int j : {-1, 0, 1, 2, 30, 63, 64, 65, 40000}) {
    ctx.j = j;
    (void)velor::evaluateFormula(f, ctx);
  }
  return 0;
}
