// The device kinds this system knows, by name and by the `deviceKind`
// setting, and the device that serves each: simulated hardware for the
// vendor devices (their libraries do not exist on this platform) and
// libeegdev for real hardware. Also what opening a device does to the study
// state (channel count, names, kinds, calibration).
#pragma once

#include <cstdint>
#include <future>
#include <memory>
#include <string>
#include <vector>

#include "acquisition/device.h"

namespace velor {

struct StudyState;

struct DeviceKindEntry {
  const char* name;     // velor-cli's name
  int setting;          // the `deviceKind` value that selects it
  const char* caption;  // what it is
};
// board, k2, k3, nvx24, nvx36, nvx52, amplifier, eegdev.
const std::vector<DeviceKindEntry>& deviceKindTable();
const DeviceKindEntry* findDeviceKind(const std::string& name);

// Device options the settings do not hold elsewhere, from "device.ini" in
// programDir: line 1 the model code of the simulated NVX amplifier, line 2
// the network address of the K3 device, line 3 libeegdev's device string.
struct DeviceOptions {
  int nvxModelCode = 4003;
  std::string k3Address = "192.168.0.100";
  std::string eegdevConfig = "any";
  std::uint64_t seed = 1;
};
inline constexpr const char* kDeviceOptionsFile = "device.ini";
// Missing file or lines keep the defaults.
DeviceOptions readDeviceOptions(const std::string& programDir);

// The device of a kind name; nullptr for an unknown name.
std::unique_ptr<AcquisitionDevice> makeDevice(const std::string& name, Clock& clock, const DeviceOptions& o);
// The device the `deviceKind` setting selects.
std::unique_ptr<AcquisitionDevice> makeDeviceForSetting(int deviceKind, Clock& clock, const DeviceOptions& o);

// Opens on a worker thread so the interface thread never waits for a
// retrying or networked device; the result is collected with get().
std::future<DeviceResult> openDeviceInBackground(AcquisitionDevice& device);

// What an opened device does to the study state: amplifier kinds (1 and
// above) get a mark channel, `channelCount` and `shownChannelCount` from the
// device's record channels, the channel names and kinds, the electrode
// positions of known 10-20 names, and `calibValue` from the device's
// calibration arithmetic; the board keeps the plan's channel table.
void applyOpenedDevice(StudyState& s, int deviceKind, const DeviceDescription& d);

// The device channel behind each record channel (NVX packs its channels).
std::vector<int> recordChannelSources(int deviceKind, const DeviceDescription& d);

// `calibValue` of record channel `row` fed by device channel `source` at
// gain code `gain` (the kind's arithmetic); `current` is kept where the
// arithmetic keeps it.
int deviceCalibValue(int deviceKind, const DeviceDescription& d, int source, int calibUnits, int gain, int current);

}  // namespace velor
