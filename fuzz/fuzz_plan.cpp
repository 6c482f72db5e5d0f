// Examination plans (.cap) from arbitrary bytes, read as a board plan and as
// an NVX plan; an accepted plan must hold values the engine can use, and
// writing it again and reading that back must give the same channel table.
#include <cstddef>
#include <cstdint>
#include <string>
#include <unistd.h>

#include "acquisition/exam_plan.h"
#include "core/study_state.h"

namespace {

velor::StudyState& state() {
  static auto* s = new velor::StudyState;  // large; one for the whole run
  return *s;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  velor::StudyState& s = state();
  for (int kind : {0, 3}) {
    s.deviceKind = kind;
    s.channelCount = 4;
    velor::ExaminationPlan plan;
    std::string reason;
    if (!velor::readPlanBytes(bytes, s, plan, reason)) {
      if (reason.empty()) __builtin_trap();  // a refusal always says why
      continue;
    }
    if (s.channelCount < 1 || s.channelCount > velor::kMaxChannels) __builtin_trap();
    if (s.recordLength < 1 || s.recordLength > velor::kMaxRecordSamples) __builtin_trap();
    if (s.shownChannelCount < 1 || s.shownChannelCount > s.channelCount) __builtin_trap();
    if (plan.displayDecimation < 0 || plan.displayDecimation > 8) __builtin_trap();
    for (int ch = 0; ch < s.channelCount; ++ch) {
      const int order = static_cast<std::uint8_t>(s.channelOrder[ch]);
      if (order >= velor::kMaxChannels && order != 255) __builtin_trap();
    }
  }
  return 0;
}
