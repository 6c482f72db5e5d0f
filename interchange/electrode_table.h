// The electrode table "eeg20.ini" in programDir that the foreign-format
// readers use to place channels on the head scheme: a first line that is not
// used, then 20 groups of 5 lines, each an electrode name and the four
// electrode bytes of a channel of that name (channelPosX, channelPosY, first
// and second channel of its lead pair).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/study_state.h"

namespace velor {

inline constexpr int kElectrodeTableGroups = 20;

struct ElectrodeEntry {
  std::string name;  // trimmed, UTF-8
  std::array<std::uint8_t, 4> bytes{};
};

// The groups of the table at `path`. A missing file gives none; a group whose
// lines are missing or not numbers ends the table there; values outside a
// byte are limited to 0..255.
std::vector<ElectrodeEntry> readElectrodeTable(const std::string& path);

// Where a channel goes: the four bytes of the table's group of its name
// (exact, case-sensitive, trimmed; the last match wins); for a name the table
// does not hold, the place its label names (an electrode of the 10-20 or
// 10-10 system on the head, or a non-EEG kind); otherwise channelPosX 255 (a
// channel without an electrode).
struct ChannelPlace {
  std::uint8_t posX = kKindEcg, posY = 0;
  std::array<std::uint8_t, 2> pair{};
};
ChannelPlace placeChannel(const std::string& name, std::string_view label, const std::vector<ElectrodeEntry>& table);

}  // namespace velor
