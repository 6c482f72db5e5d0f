#include "interchange/electrode_table.h"

#include <algorithm>

#include "core/numtext.h"
#include "core/settings.h"

namespace velor {

std::vector<ElectrodeEntry> readElectrodeTable(const std::string& path) {
  std::vector<ElectrodeEntry> table;
  const auto lines = readTextLines(path);
  if (!lines) return table;
  for (int k = 0; k < kElectrodeTableGroups; ++k) {
    const std::size_t first = static_cast<std::size_t>(5 * k + 1);
    if (first + 4 >= lines->size()) break;
    ElectrodeEntry e;
    e.name = trimSpaces((*lines)[first]);
    bool ok = true;
    for (std::size_t b = 0; b < 4; ++b) {
      const auto v = parseInteger((*lines)[first + 1 + b]);
      if (!v) {
        ok = false;
        break;
      }
      e.bytes[b] = static_cast<std::uint8_t>(std::clamp(*v, 0, 255));
    }
    if (!ok) break;
    table.push_back(std::move(e));
  }
  return table;
}

void applyElectrodeTable(StudyState& s, const std::vector<ElectrodeEntry>& table) {
  const int n = std::clamp(s.channelCount, 0, kMaxChannels);
  for (int c = 0; c < n; ++c) {
    const auto i = static_cast<std::size_t>(c);
    s.channelPosX[i] = kKindEcg;
    const std::string name = trimSpaces(s.channelNames[i]);
    for (const ElectrodeEntry& e : table) {
      if (e.name != name) continue;
      s.channelPosX[i] = e.bytes[0];
      s.channelPosY[i] = e.bytes[1];
      s.leadPairs[i] = {e.bytes[2], e.bytes[3]};
    }
  }
}

}  // namespace velor
