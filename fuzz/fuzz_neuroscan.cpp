// NeuroScan continuous files from arbitrary bytes (2- and 4-byte samples,
// any channel count and event-table position). A decoded record goes into a
// study state and is written back as a text table in memory.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/study_state.h"
#include "interchange/foreign_formats.h"
#include "interchange/text_record.h"

namespace {
velor::StudyState& state() {
  static auto* s = new velor::StudyState;  // large; one for the whole run
  return *s;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const velor::MemorySource in(std::string_view(reinterpret_cast<const char*>(data), size));
  velor::ForeignRecord r;
  std::string reason;
  if (!velor::decodeNeuroScan(in, r, reason)) return 0;
  velor::StudyState& s = state();
  s.viewMode = velor::ViewMode::Signals;
  velor::applyForeignRecord(s, r, "f.cnt");
  if (r.length <= 256) (void)velor::textRecordBody(s);
  return 0;
}
