// Artefact handling on the record in memory: cutting out stretches where a
// channel stays beyond an amplitude level too long (each found stretch can be
// confirmed), subtracting the part of channels that follows an inductor
// channel (regression), and removing eye blinks from the EEG channels using a
// frontal lead.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "core/interaction.h"
#include "core/study_state.h"

namespace velor {

class SpectralEngine;

// "qaf.ini": the window's four values.
struct ArtefactSettings {
  std::string minSeconds = "0.5";   // T
  std::string minMicrovolts = "100";  // A
  int inductor = 0;                 // position in the channel list, from 0
  bool allChannels = false;
};
bool readArtefactSettings(const std::string& programDir, ArtefactSettings& out);
bool writeArtefactSettings(const std::string& programDir, const ArtefactSettings& in);

// Answers of the "Поиск" window.
enum class ArtefactAnswer : int { Stop = 0, Cut = 1, Skip = 2, CutAll = 3 };

// Shows a found stretch (the cursor already on its last sample) and asks.
class ArtefactConfirm {
 public:
  virtual ~ArtefactConfirm() = default;
  virtual ArtefactAnswer confirm(StudyState& s, int first, int last) = 0;
};

// Cuts stretches of the current channel beyond `microvolts` for more than
// trunc(rate × seconds) samples, in that channel or in all channels; the
// record keeps its length (the end fills with the zero level). `confirm` may
// be nullptr (every stretch is cut). Returns the number of stretches cut.
int cutArtefacts(StudyState& s, double seconds, double microvolts, bool allChannels, ArtefactConfirm* confirm,
                 Interaction& ui);

// "&2=Коррекция": the current channel (or, with allChannels, every channel
// but the inductor and then the inductor) minus b × (inductor − its mean)
// over the selection or the whole record, b the regression slope. False with
// a message when the inductor does not vary there.
bool regressionCorrection(StudyState& s, int inductor, bool allChannels, Interaction& ui);

// "&3=Моргания": finds blinks on "Fp1" (else "F3") below 4 Hz and subtracts
// each EEG channel's part below 7 Hz inside every blink. Returns the blink
// stretches (empty when none; false with "Нет лобных отведений!" without a frontal lead).
bool removeBlinks(StudyState& s, SpectralEngine& engine, Interaction& ui,
                  std::vector<std::pair<int, int>>* blinks = nullptr);

}  // namespace velor
