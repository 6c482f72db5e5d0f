#include "acquisition/calibration.h"

#include <algorithm>
#include <cmath>

namespace velor {

int clampCalibValue(double v) {
  if (!(v > 0)) return 0;
  if (v > 65535) return 65535;
  return static_cast<int>(v);
}

int k2CalibValue(int calibUnits, float voltsPerBit) {
  return clampCalibValue(std::trunc(static_cast<double>(calibUnits) * static_cast<double>(voltsPerBit) * 1000000.0));
}

int nvxBaseCalibValue(int calibUnits, float scale) {
  return clampCalibValue(std::trunc(static_cast<double>(calibUnits) * 2.0 * static_cast<double>(scale) * 1000000.0));
}

int nvxCalibValue(int calibUnits, float scale, int gainCode) {
  const long long m = nvxBaseCalibValue(calibUnits, scale);
  if (gainCode >= 1 && gainCode <= 4) return clampCalibValue(static_cast<double>(m << (5 - gainCode)));
  if (gainCode >= 6 && gainCode <= 11) return static_cast<int>(m >> (gainCode - 5));
  return static_cast<int>(m);
}

int k3CalibValue(int calibUnits, int scaleField, int gainStep, int current) {
  const long long v = static_cast<long long>(std::trunc(static_cast<double>(calibUnits) * scaleField / 1000.0));
  if (gainStep >= 1 && gainStep <= 4) return clampCalibValue(static_cast<double>(v));
  if (gainStep >= 5 && gainStep <= 8) return clampCalibValue(static_cast<double>(v << (9 - gainStep)));
  if (gainStep >= 10 && gainStep <= 12) return clampCalibValue(static_cast<double>(v >> (gainStep - 9)));
  return current;
}

std::optional<int> boardCalibValue(double gainFactor) {
  if (!(gainFactor > 0) || !std::isfinite(gainFactor)) return std::nullopt;
  return clampCalibValue(std::trunc(5000.0 / gainFactor));
}

int nvxChannelsForModel(int modelCode) {
  switch (modelCode) {
    case 4004: return 36;
    case 4005: return 52;
    default: return 24;
  }
}

int nvxRecordChannels(int deviceChannels) { return deviceChannels - 4 - (deviceChannels > 24 ? 4 : 0); }

int nvxImpedanceElectrodes(int deviceChannels) {
  if (deviceChannels == 52) return 48;
  if (deviceChannels == 36) return 32;
  return 24;
}

std::optional<int> nvxRateCode(int rate) {
  switch (rate) {
    case 125: return 6;
    case 250: return 5;
    case 500: return 4;
    case 1000: return 3;
    case 2000: return 2;
    default: return std::nullopt;
  }
}

int k2DecimationStep(int sampleRate) { return sampleRate == 500 ? 1 : sampleRate == 250 ? 2 : 4; }
int k3DecimationStep(int sampleRate) { return sampleRate == 500 ? 2 : sampleRate == 250 ? 4 : 8; }

int nvxFilterRow(int i, int n) {
  if (n <= 24) return 0;
  const int r = n - 8;
  if (i >= n - 4) return i;
  if (i < n - 12) return 0;
  return r + (i - (n - 12)) / 2;
}

}  // namespace velor

namespace velor {

std::vector<int> nvxPackedChannels(int n) {
  const std::vector<int> dropped = n == 52 ? std::vector<int>{23, 29, 30, 34, 41, 43, 45, 47}
                                           : std::vector<int>{12, 18, 19, 23, 25, 27, 29, 31};
  std::vector<int> kept;
  for (int i = 0; i < n; ++i)
    if (std::find(dropped.begin(), dropped.end(), i) == dropped.end()) kept.push_back(i);
  if (n == 52 && kept.size() >= 36) {
    std::rotate(kept.begin() + 28, kept.begin() + 31, kept.begin() + 32);
    std::rotate(kept.begin() + 32, kept.begin() + 35, kept.begin() + 36);
  }
  return kept;
}

}  // namespace velor
