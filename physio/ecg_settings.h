// The ECG analysis settings files in the program folder: "qecg.ini" (the
// detector, smoothing passes of the RR spectrum, every channel) and
// "qecg2.ini" (the RR spectrum bands). Missing files are written with the
// defaults; unreadable values take the replacements of the detector.
#pragma once

#include <array>
#include <string>

#include "physio/ecg_beats.h"

namespace velor {

struct EcgSettings {
  BeatDetectorSettings detector;
  int smoothingPasses = 0;  // 0..5
  bool allChannels = false;
};

// Band rows of the RR spectrum, low and high limit in Hz; a row whose high
// limit is 0 ends the list. Rows 1..3 are VLF, LF and HF.
inline constexpr int kEcgBandRows = 10;
struct EcgBands {
  std::array<double, kEcgBandRows> low{};
  std::array<double, kEcgBandRows> high{};
  int count() const;  // rows before the first with a high limit of 0
};

// Defaults: half width 20 ms, 200 per minute, variabilities 2 and 2, no
// smoothing, one channel; bands VLF 0.003–0.04, LF 0.04–0.15, HF 0.15–0.4 Hz.
EcgBands defaultEcgBands();

// Reads "qecg.ini" from `dir` (ending with '/'); writes the defaults there
// when the file is missing (unless `writeDefaults` is false). `unreadable` is
// set when the file was there but could not be read.
EcgSettings readEcgSettings(const std::string& dir, bool* unreadable = nullptr, bool writeDefaults = true);
bool writeEcgSettings(const std::string& dir, const EcgSettings& s);
// The detector part alone, without writing anything (the command line).
BeatDetectorSettings readEcgDetectorSettings(const std::string& dir);
EcgBands readEcgBands(const std::string& dir, bool* unreadable = nullptr);
bool writeEcgBands(const std::string& dir, const EcgBands& b);

}  // namespace velor
