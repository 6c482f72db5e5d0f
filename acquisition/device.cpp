#include "acquisition/device.h"

#include <chrono>
#include <thread>

#include "acquisition/device_texts.h"

namespace velor {

std::int64_t SteadyClock::nowMicroseconds() const {
  return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

void SteadyClock::sleepMilliseconds(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

DeviceKind deviceKindFromSetting(int deviceKind) {
  if (deviceKind <= 0) return DeviceKind::ConverterBoard;
  if (deviceKind <= 5) return static_cast<DeviceKind>(deviceKind);
  return DeviceKind::FilterChainAmplifier;
}

DeviceResult AcquisitionDevice::startImpedance() { return DeviceResult::failure(device_texts::kNoImpedance); }
DeviceResult AcquisitionDevice::readImpedance(std::vector<std::int32_t>&) {
  return DeviceResult::failure(device_texts::kNoImpedance);
}
DeviceResult AcquisitionDevice::stopImpedance() { return DeviceResult::success(); }
DeviceResult AcquisitionDevice::setControlOutput(int output, bool) {
  return DeviceResult::failure("Нет управляющего выхода " + std::to_string(output));
}

DeviceResult AcquisitionDevice::setTestSignal(bool) { return DeviceResult::failure(device_texts::kNoTestSignal); }
DeviceResult AcquisitionDevice::readEvents(std::vector<DeviceEvent>& out) {
  out.clear();
  return DeviceResult::success();
}

}  // namespace velor
