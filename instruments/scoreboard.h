// The scoreboard's readouts (`scoreboardReadouts`), without any window: the value and time
// at the cursor, the differences between cursor and anchor, the integral
// measure of the selected interval and the input and output registers of the
// mark channel, as the texts the window "Табло" shows. In the transform view
// the times become frequencies; with a map of band measures shown the value is
// the band measure of the map's current channel.
#pragma once

#include <functional>
#include <string>

#include "core/study_state.h"

namespace velor {

// Integral measures (sumMode) as the scoreboard's list offers them.
inline constexpr int kSumModeCount = 6;
inline constexpr int kSumAbsolute = 0;
inline constexpr int kSumSigned = 1;
inline constexpr int kSumPositive = 2;
inline constexpr int kSumNegative = 3;
inline constexpr int kSumMean = 4;
inline constexpr int kSumRawCodes = 5;

// The list item of a measure ("Sa площ.абсолют." …), "" for an unknown one.
const char* sumModeItem(int mode);
// The integral button's caption for a measure: the item's first two
// characters and "=" ("Sa=", "A =").
std::string sumModeButton(int mode);

// The channel the map side window has chosen; the scoreboard reads its band
// measure while a map is shown. Unset: the monitor's current channel.
using MapChannelProvider = std::function<int()>;

struct ScoreboardTexts {
  std::string y, t, dy, dt, integral, in, out;
  // The time readouts are frequencies (transform view, not correlation).
  bool frequency = false;
};

// Recomputes every readout. Normalises currentChannelRow to ≥ 0, and in the
// signal view refreshes epochCount as the monitor's caption does. A readout
// that cannot be computed (no sampling rate, no epoch length) stays empty.
ScoreboardTexts scoreboardReadouts(StudyState& s, const MapChannelProvider& mapChannel = {});

}  // namespace velor
