// The current record written for the BrainLoc source-localisation program
// (".eeg" saves, and the file the EEG analyses hand to it): a binary header,
// one site record per EEG channel (a channel whose channelPosX is below 128)
// plus the ear references and the reference average, one channel record per
// EEG channel, then the samples of the EEG channels interleaved.
//
// Electrode coordinates come from "BL.ini" in programDir (60 lines: name in
// columns 1-3, x, y and z in columns 6-8, 12-14 and 18-20) or, for a channel
// the table does not list, from its place on the head scheme.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "core/interaction.h"
#include "core/study_state.h"

namespace velor {

inline constexpr int kBrainLocHeaderBytes = 162;
inline constexpr int kBrainLocSiteBytes = 10;
inline constexpr int kBrainLocChannelBytes = 6;
inline constexpr int kBrainLocTableLines = 60;

struct BrainLocSite {
  std::string name;  // first 3 characters count
  std::array<int, 3> xyz{};
};

// The lines of "BL.ini" read as sites (at most 60; a line too short or whose
// numbers do not read gives a site with an empty name, which matches nothing).
std::vector<BrainLocSite> readBrainLocTable(const std::string& path);
// Coordinates of a channel at scheme position (X, Y) on a head of the usual size.
std::array<int, 3> brainLocSchemeCoordinates(int posX, int posY);

// The file's bytes for the record in memory; empty while the transform view
// is on.
std::string brainLocBytes(const StudyState& s, const std::vector<BrainLocSite>& table);
// writeBrainLoc: writes the file atomically; false (with a message when
// something failed) when nothing was written.
bool writeBrainLoc(StudyState& s, const std::string& path, Interaction& ui);

}  // namespace velor
