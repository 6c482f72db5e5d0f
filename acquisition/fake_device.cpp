#include "acquisition/fake_device.h"

#include <algorithm>

namespace velor {

FakeDevice::FakeDevice(std::unique_ptr<AcquisitionDevice> inner) : inner_(std::move(inner)) {}

void FakeDevice::failNext(const std::string& call, std::string message) { failures_[call] = {std::move(message), false}; }
void FakeDevice::failAlways(const std::string& call, std::string message) { failures_[call] = {std::move(message), true}; }
void FakeDevice::clearFailures() { failures_.clear(); }

int FakeDevice::count(const std::string& call) const {
  return static_cast<int>(std::count(log_.begin(), log_.end(), call));
}

bool FakeDevice::planned(const char* call, DeviceResult& result) {
  log_.emplace_back(call);
  const auto it = failures_.find(call);
  if (it == failures_.end()) return false;
  result = DeviceResult::failure(it->second.first);
  if (!it->second.second) failures_.erase(it);
  return true;
}

DeviceResult FakeDevice::open() {
  DeviceResult r;
  return planned("open", r) ? r : inner_->open();
}
DeviceResult FakeDevice::configure(const DeviceConfig& c) {
  DeviceResult r;
  return planned("configure", r) ? r : inner_->configure(c);
}
DeviceResult FakeDevice::start() {
  DeviceResult r;
  return planned("start", r) ? r : inner_->start();
}
DeviceResult FakeDevice::readFrames(FrameBlock& out, int maxFrames) {
  DeviceResult r;
  if (planned("readFrames", r)) {
    out.frames = 0;
    return r;
  }
  return inner_->readFrames(out, maxFrames);
}
DeviceResult FakeDevice::stop() {
  DeviceResult r;
  return planned("stop", r) ? r : inner_->stop();
}
void FakeDevice::close() {
  log_.emplace_back("close");
  inner_->close();
}
DeviceResult FakeDevice::startImpedance() {
  DeviceResult r;
  return planned("startImpedance", r) ? r : inner_->startImpedance();
}
DeviceResult FakeDevice::readImpedance(std::vector<std::int32_t>& ohms) {
  DeviceResult r;
  return planned("readImpedance", r) ? r : inner_->readImpedance(ohms);
}
DeviceResult FakeDevice::stopImpedance() {
  DeviceResult r;
  return planned("stopImpedance", r) ? r : inner_->stopImpedance();
}
DeviceResult FakeDevice::setControlOutput(int output, bool on) {
  DeviceResult r;
  return planned("setControlOutput", r) ? r : inner_->setControlOutput(output, on);
}

}  // namespace velor
