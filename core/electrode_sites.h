// Electrode sites of the 10-20 and 10-10 systems on the head scheme, and the
// channel kind a recording's own label names. Recordings from other systems
// carry labels such as "EEG Fp1", "Fp1-REF", "FP1", "T7" or "ECG II"; the
// readers place such channels on the head scheme by these labels when the
// electrode table of the start folder does not place them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velor {

// A site on the 0..62 scheme (31 the centre), nose up, the left hemisphere on
// the left.
struct ElectrodeSite {
  const char* name;  // as usually written: "Fp1", "Cz", "T3"
  int x, y;
};

// Every known site; the older names T3/T4/T5/T6 and the newer T7/T8/P7/P8
// name the same places.
const std::vector<ElectrodeSite>& electrodeSites();

// The site an electrode name names, ignoring case ("FP1", "fp1").
std::optional<ElectrodeSite> electrodeSiteNamed(std::string_view name);

// The electrode a channel label names, or nothing: a leading "EEG" word,
// blanks and trailing dots are dropped and the part before a '-' (or '/')
// names the electrode ("EEG Fp1-REF" → Fp1, "EEG A2-A1" → A2, "Fp1." → Fp1).
std::optional<ElectrodeSite> electrodeSiteOfLabel(std::string_view label);

// Where a labelled channel goes: on the head (EEG, with its site), or a
// non-EEG kind code of channelPosX (247..255) when the label names one
// (ECG/EKG, EOG, EMG, respiration, skin response, plethysmogram,
// temperature, accelerometer). Nothing when the label tells neither.
struct LabelPlace {
  std::uint8_t posX = 0, posY = 0;
  bool eeg = false;
};
std::optional<LabelPlace> placeOfLabel(std::string_view label);

}  // namespace velor
