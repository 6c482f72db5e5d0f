#include "acquisition/device_registry.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "acquisition/calibration.h"
#include "acquisition/eegdev_device.h"
#include "acquisition/simulated_devices.h"
#include "core/numtext.h"
#include "core/settings.h"
#include "core/study_state.h"

namespace velor {

namespace {

struct Position {
  const char* name;
  int x, y;
};
// Electrode positions of the 10-20 system on the 63 × 63 head scheme.
const Position k1020Positions[] = {
    {"Fp1", 25, 6},  {"Fp2", 37, 6},  {"F7", 12, 17}, {"F3", 22, 19}, {"Fz", 31, 19}, {"F4", 40, 19},
    {"F8", 50, 17},  {"T3", 6, 31},   {"C3", 19, 31}, {"Cz", 31, 31}, {"C4", 43, 31}, {"T4", 56, 31},
    {"T5", 12, 45},  {"P3", 22, 43},  {"Pz", 31, 43}, {"P4", 40, 43}, {"T6", 50, 45}, {"O1", 25, 56},
    {"O2", 37, 56},  {"A1", 1, 31},   {"A2", 61, 31}, {"T7", 6, 31},  {"T8", 56, 31}, {"P7", 12, 45},
    {"P8", 50, 45},  {"Fpz", 31, 5},  {"Oz", 31, 57}, {"FCz", 31, 25}, {"CPz", 31, 37}, {"POz", 31, 50},
};

}  // namespace

const std::vector<DeviceKindEntry>& deviceKindTable() {
  static const std::vector<DeviceKindEntry> table = {
      {"board", 0, "converter board (simulated)"},
      {"k2", 1, "K2 device (simulated)"},
      {"k3", 2, "K3 device over the network (simulated)"},
      {"nvx24", 3, "NVX amplifier, model 4003 (simulated)"},
      {"nvx36", 3, "NVX amplifier, model 4004 (simulated)"},
      {"nvx52", 3, "NVX amplifier, model 4005 (simulated)"},
      {"amplifier", 4, "filter-chain amplifier (simulated)"},
      {"eegdev", 5, "libeegdev: BioSemi ActiveTwo, TOBI interface A, file replay"},
  };
  return table;
}

const DeviceKindEntry* findDeviceKind(const std::string& name) {
  for (const auto& e : deviceKindTable())
    if (name == e.name) return &e;
  return nullptr;
}

DeviceOptions readDeviceOptions(const std::string& programDir) {
  DeviceOptions o;
  const auto lines = readTextLines(programDir + kDeviceOptionsFile);
  if (!lines) return o;
  if (lines->size() > 0)
    if (const auto v = parseNumber(trimSpaces((*lines)[0])); v && *v >= 0 && *v < 1e9) o.nvxModelCode = static_cast<int>(*v);
  if (lines->size() > 1 && !trimSpaces((*lines)[1]).empty()) o.k3Address = trimSpaces((*lines)[1]);
  if (lines->size() > 2 && !trimSpaces((*lines)[2]).empty()) o.eegdevConfig = trimSpaces((*lines)[2]);
  return o;
}

std::unique_ptr<AcquisitionDevice> makeDevice(const std::string& name, Clock& clock, const DeviceOptions& o) {
  if (name == "board") return std::make_unique<SimulatedConverterBoard>(clock, o.seed);
  if (name == "k2") return std::make_unique<SimulatedK2>(clock, o.seed);
  if (name == "k3") {
    K3Options k;
    k.address = o.k3Address;
    return std::make_unique<SimulatedK3>(clock, o.seed, k);
  }
  const auto nvx = [&](int code) {
    NvxOptions n;
    n.modelCode = code;
    return std::make_unique<SimulatedNvx>(clock, o.seed, n);
  };
  if (name == "nvx24") return nvx(4003);
  if (name == "nvx36") return nvx(4004);
  if (name == "nvx52") return nvx(4005);
  if (name == "amplifier") return std::make_unique<SimulatedFilterChainAmplifier>(clock, o.seed);
  if (name == "eegdev") return std::make_unique<EegdevDevice>(o.eegdevConfig);
  return nullptr;
}

std::unique_ptr<AcquisitionDevice> makeDeviceForSetting(int deviceKind, Clock& clock, const DeviceOptions& o) {
  switch (deviceKindFromSetting(deviceKind)) {
    case DeviceKind::ConverterBoard: return makeDevice("board", clock, o);
    case DeviceKind::K2: return makeDevice("k2", clock, o);
    case DeviceKind::K3: return makeDevice("k3", clock, o);
    case DeviceKind::Nvx: {
      NvxOptions n;
      n.modelCode = o.nvxModelCode;
      return std::make_unique<SimulatedNvx>(clock, o.seed, n);
    }
    case DeviceKind::Eegdev: return makeDevice("eegdev", clock, o);
    case DeviceKind::FilterChainAmplifier: break;
  }
  return makeDevice("amplifier", clock, o);
}

std::future<DeviceResult> openDeviceInBackground(AcquisitionDevice& device) {
  return std::async(std::launch::async, [&device] { return device.open(); });
}

std::vector<int> recordChannelSources(int deviceKind, const DeviceDescription& d) {
  if (deviceKindFromSetting(deviceKind) == DeviceKind::Nvx) return nvxPackedChannels(d.deviceChannelCount);
  std::vector<int> v(static_cast<std::size_t>(std::min(d.recordChannelCount, d.deviceChannelCount)));
  for (std::size_t i = 0; i < v.size(); ++i) v[i] = static_cast<int>(i);
  return v;
}

int deviceCalibValue(int deviceKind, const DeviceDescription& d, int source, int calibUnits, int gain, int current) {
  if (source < 0 || source >= static_cast<int>(d.channels.size())) return current;
  const DeviceChannel& c = d.channels[static_cast<std::size_t>(source)];
  switch (deviceKindFromSetting(deviceKind)) {
    case DeviceKind::ConverterBoard: return current;
    case DeviceKind::K2: return k2CalibValue(calibUnits, static_cast<float>(c.calibrationScale));
    case DeviceKind::K3:
      if (gain <= 0) return current;
      return k3CalibValue(calibUnits, static_cast<int>(std::lround(c.calibrationScale * 1e9)), gain, current);
    case DeviceKind::Nvx: return nvxCalibValue(calibUnits, static_cast<float>(c.calibrationScale), gain <= 0 ? 5 : gain);
    default: return clampCalibValue(std::trunc(calibUnits * c.voltsPerUnit * 1e6));
  }
}

void applyOpenedDevice(StudyState& s, int deviceKind, const DeviceDescription& d) {
  if (deviceKind <= 0) return;
  const std::vector<int> sources = recordChannelSources(deviceKind, d);
  if (sources.empty()) return;
  s.markChannelCount = 1;
  s.channelCount = static_cast<int>(std::min<std::size_t>(sources.size(), kMaxChannels));
  s.shownChannelCount = s.channelCount;
  s.firstShownChannel = 0;
  for (int row = 0; row < s.channelCount; ++row) {
    const DeviceChannel& c = d.channels[static_cast<std::size_t>(sources[static_cast<std::size_t>(row)])];
    s.channelNames[static_cast<std::size_t>(row)] = c.name.substr(0, 5);
    std::uint8_t x = static_cast<std::uint8_t>(c.kindCode), y = 0;
    if (c.kindCode == 0) {
      for (const auto& p : k1020Positions)
        if (c.name == p.name) {
          x = static_cast<std::uint8_t>(p.x);
          y = static_cast<std::uint8_t>(p.y);
        }
    }
    s.channelPosX[static_cast<std::size_t>(row)] = x;
    s.channelPosY[static_cast<std::size_t>(row)] = y;
    s.calibValue[row] = static_cast<std::uint16_t>(deviceCalibValue(deviceKind, d, sources[static_cast<std::size_t>(row)],
                                                                     s.calibUnits[row], 0, s.calibValue[row]));
  }
}

}  // namespace velor
