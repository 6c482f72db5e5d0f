// Text record files, spectral-parameter tables and number lists from
// arbitrary bytes. A decoded record goes into a study state, is written as a
// table in every view mode and read back.
#include <algorithm>
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
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  velor::StudyState& s = state();
  std::size_t pos = 0;
  velor::readNumberList(s, text, pos);
  if (pos > text.size()) __builtin_trap();

  velor::ForeignRecord r;
  std::string reason;
  if (!velor::decodeTextRecord(text, r, reason)) return 0;
  s.viewMode = velor::ViewMode::Signals;
  s.transformKind = velor::TransformKind::Amplitude;
  velor::applyForeignRecord(s, r, "f.txt");
  if (s.channelCount < 1 || s.channelCount > velor::kMaxChannels || s.recordLength < 1 ||
      s.recordLength > velor::kMaxSamples || s.epochLength < 1)
    __builtin_trap();
  if (s.recordLength > 512) return 0;
  // tables of every view, and the signal table read back
  s.bandCount = 3;
  s.epochCount = 2;
  for (int mode = 0; mode <= 3; ++mode) {
    s.viewMode = velor::viewModeFromNumber(mode);
    s.transformKind = velor::transformKindFromNumber(mode == 1 ? 1 + data[0] % 10 : 0);
    (void)velor::textRecordBody(s);
  }
  s.viewMode = velor::ViewMode::Signals;
  s.transformKind = velor::TransformKind::Amplitude;
  const std::string again = velor::textRecordBody(s);
  velor::ForeignRecord back;
  if (!velor::decodeTextRecord(again, back, reason) || back.channelCount != std::min(s.channelCount + 1, 64) ||
      back.length != s.recordLength)
    __builtin_trap();
  return 0;
}
