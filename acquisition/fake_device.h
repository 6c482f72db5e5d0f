// A call-logging device for tests: wraps any device (a simulated one by
// default behaviour) and records each interface call by name; any call can be
// made to fail on demand with a chosen message, once or until cleared.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "acquisition/device.h"

namespace velor {

class FakeDevice final : public AcquisitionDevice {
 public:
  explicit FakeDevice(std::unique_ptr<AcquisitionDevice> inner);

  // Names: "open", "configure", "start", "readFrames", "stop", "close",
  // "startImpedance", "readImpedance", "stopImpedance", "setControlOutput".
  void failNext(const std::string& call, std::string message);    // once
  void failAlways(const std::string& call, std::string message);  // until cleared
  void clearFailures();
  const std::vector<std::string>& log() const { return log_; }
  int count(const std::string& call) const;
  AcquisitionDevice& inner() { return *inner_; }

  DeviceResult open() override;
  bool isOpen() const override { return inner_->isOpen(); }
  const DeviceDescription& describe() const override { return inner_->describe(); }
  DeviceResult configure(const DeviceConfig& config) override;
  DeviceResult start() override;
  DeviceResult readFrames(FrameBlock& out, int maxFrames) override;
  DeviceResult stop() override;
  void close() override;
  DeviceResult startImpedance() override;
  DeviceResult readImpedance(std::vector<std::int32_t>& ohms) override;
  DeviceResult stopImpedance() override;
  DeviceResult setControlOutput(int output, bool on) override;
  OnlineFilterSets* onlineFilters() override { return inner_->onlineFilters(); }

 private:
  // Logs the call; a planned failure comes back instead of the real call.
  bool planned(const char* call, DeviceResult& result);
  std::unique_ptr<AcquisitionDevice> inner_;
  std::map<std::string, std::pair<std::string, bool>> failures_;  // message, persistent
  std::vector<std::string> log_;
};

}  // namespace velor
