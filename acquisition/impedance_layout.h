// Where the impedance window writes each electrode's value: the EEG
// electrodes at the positions of the EEG channels' buttons on the head, two
// reference electrodes in the top corners, the polygraphic ones in two
// columns at the bottom, a few not at all. Values in kilo-ohms, "..." for an
// electrode that gives none.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace velor {

struct ImpedancePoint {
  int x = 0, y = 0;
};

struct ImpedanceLabel {
  int electrode = 0;  // 1-based
  std::string text;
  int x = 0, y = 0;  // top left of the text in the picture
};

// trunc(ohms / 1000), or "..." for 0x7FFFFFFF.
std::string impedanceText(std::int32_t ohms);

// Electrodes measured for an amplifier of `deviceChannels`: 48 for 52, 32 for 36, else 24.
// `eegPositions`: the text positions of the EEG channels, in channel order.
std::vector<ImpedanceLabel> impedanceLabels(const std::vector<std::int32_t>& ohms, int deviceChannels,
                                            const std::vector<ImpedancePoint>& eegPositions, int pictureWidth,
                                            int pictureHeight);

// The centre of a channel's button on the head picture: x = left +
// posX × width / 63, y = top + posY × (height − 20) / 63 (rounded).
ImpedancePoint electrodeCentre(int posX, int posY, int left, int top, int width, int height);

}  // namespace velor
