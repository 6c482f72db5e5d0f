#include "interchange/electrode_table.h"

#include <algorithm>

#include "core/electrode_sites.h"
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

ChannelPlace placeChannel(const std::string& name, std::string_view label, const std::vector<ElectrodeEntry>& table) {
  ChannelPlace p;
  const std::string trimmed = trimSpaces(name);
  bool inTable = false;
  for (const ElectrodeEntry& e : table) {
    if (e.name != trimmed) continue;
    p.posX = e.bytes[0];
    p.posY = e.bytes[1];
    p.pair = {e.bytes[2], e.bytes[3]};
    inTable = true;
  }
  if (inTable) return p;
  if (const auto byLabel = placeOfLabel(label)) {
    p.posX = byLabel->posX;
    p.posY = byLabel->posY;
  }
  return p;
}

}  // namespace velor
