#include "acquisition/impedance_layout.h"

#include <cmath>

#include "acquisition/calibration.h"
#include "acquisition/device.h"

namespace velor {

std::string impedanceText(std::int32_t ohms) {
  if (ohms == kMissingSample) return "...";
  return std::to_string(ohms / 1000);
}

std::vector<ImpedanceLabel> impedanceLabels(const std::vector<std::int32_t>& ohms, int deviceChannels,
                                            const std::vector<ImpedancePoint>& eegPositions, int w, int h) {
  const bool big = deviceChannels >= 52;
  // Not shown, top left, top right, last EEG electrode, first of the columns.
  const int hidden1 = big ? 36 : 20, hidden2 = big ? 40 : 24;
  const int topLeft = big ? 24 : 13, topRight = big ? 30 : 19;
  const int lastEeg = big ? 40 : 24, columnBase = big ? 37 : 21;
  const int electrodes = std::min<int>(static_cast<int>(ohms.size()), nvxImpedanceElectrodes(deviceChannels));
  std::vector<ImpedanceLabel> out;
  std::size_t nextEeg = 0;
  for (int e = 1; e <= electrodes; ++e) {
    if (e == hidden1 || e == hidden2) continue;
    ImpedanceLabel l{e, impedanceText(ohms[static_cast<std::size_t>(e - 1)]), 0, 0};
    if (e == topLeft) {
      l.x = 5;
      l.y = 10;
    } else if (e == topRight) {
      l.x = w - 30;
      l.y = 10;
    } else if (e <= lastEeg) {
      if (nextEeg >= eegPositions.size()) continue;  // more electrodes than EEG channels
      l.x = eegPositions[nextEeg].x;
      l.y = eegPositions[nextEeg].y;
      ++nextEeg;
    } else {
      const int k = e - columnBase;
      l.y = h + (k & 3) * 15 - 70;
      l.x = k <= 7 ? 5 : w - 30;
    }
    out.push_back(l);
  }
  return out;
}

ImpedancePoint electrodeCentre(int posX, int posY, int left, int top, int width, int height) {
  return {static_cast<int>(std::lround(left + posX * static_cast<double>(width) / 63)),
          static_cast<int>(std::lround(top + posY * static_cast<double>(height - 20) / 63))};
}

}  // namespace velor
