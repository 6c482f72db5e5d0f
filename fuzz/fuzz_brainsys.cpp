// BrainSys files from arbitrary bytes: the first byte chooses ".eeg" (lead
// system from the file) or ".ee" and whether the lead table is there; the
// rest is the file. A decoded record goes into a study state and is written
// back as a text table and as a BrainLoc file in memory.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/study_state.h"
#include "interchange/brainloc.h"
#include "interchange/foreign_formats.h"
#include "interchange/text_record.h"

namespace {

std::vector<velor::ElectrodeEntry> leadTable() {
  std::vector<velor::ElectrodeEntry> t;
  for (int n = 1; n <= 19; ++n) {
    velor::ElectrodeEntry e;
    e.name = "L" + std::to_string(n) + "long";
    e.bytes = {static_cast<std::uint8_t>(n), static_cast<std::uint8_t>(2 * n), static_cast<std::uint8_t>(n),
               static_cast<std::uint8_t>(n % 19 + 1)};
    t.push_back(e);
  }
  return t;
}

velor::StudyState& state() {
  static auto* s = new velor::StudyState;  // large; one for the whole run
  return *s;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  static const std::vector<velor::ElectrodeEntry> table = leadTable();
  const bool fromFile = data[0] & 1;
  const bool withTable = data[0] & 2;
  const velor::MemorySource in(std::string_view(reinterpret_cast<const char*>(data + 1), size - 1));
  velor::ForeignRecord r;
  std::string reason;
  if (!velor::decodeBrainSys(in, fromFile, withTable ? table : std::vector<velor::ElectrodeEntry>{}, r, reason))
    return 0;
  velor::StudyState& s = state();
  s.viewMode = velor::ViewMode::Signals;
  velor::applyForeignRecord(s, r, "f.eeg");
  if (r.length <= 256) {
    (void)velor::textRecordBody(s);
    (void)velor::brainLocBytes(s, {});
  }
  return 0;
}
