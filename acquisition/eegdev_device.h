// Real hardware through libeegdev: any device one of its plugins opens —
// BioSemi ActiveTwo over USB, a TOBI interface A server on the network, or its
// file-replay device ("datafile|path|FILE"). The EEG channels come first, then
// the other sensor channels while the record has room (64 channels); the
// first trigger channel becomes the status word (digital inputs in its low
// byte). Values arrive in physical units and are delivered as integers of a
// per-channel step: 1 unit for integer channels, otherwise the channel's range
// over 2^24 steps.
//
// The replay plugin takes a file's rate, and the samples it delivers per data
// record, from its last signal: an EDF+ file whose annotation signal comes
// last arrives at a wrong rate with most samples missing, so an EDF-family
// file whose signals differ in rate is refused with a message. The same plugin reads
// the physical range of EDF signals as whole numbers (−45.17..59.36 µV becomes
// −45..59), which scales every sample wrongly by up to a few percent: the
// values of a replayed EDF-family file are mapped back onto the header's range.
#pragma once

#include <string>
#include <vector>

#include "acquisition/device.h"
#include "acquisition/online_filters.h"

struct eegdev;

namespace velor {

// True when this build links libeegdev.
bool eegdevAvailable();

class EegdevDevice final : public AcquisitionDevice {
 public:
  // `config`: libeegdev's device string ("any", "biosemi", "tobiia|ip|HOST",
  // "datafile|path|FILE", ...).
  explicit EegdevDevice(std::string config);
  ~EegdevDevice() override;
  EegdevDevice(const EegdevDevice&) = delete;
  EegdevDevice& operator=(const EegdevDevice&) = delete;

  DeviceResult open() override;
  bool isOpen() const override { return dev_ != nullptr; }
  const DeviceDescription& describe() const override { return d_; }
  DeviceResult configure(const DeviceConfig& config) override;
  DeviceResult start() override;
  DeviceResult readFrames(FrameBlock& out, int maxFrames) override;
  DeviceResult stop() override;
  void close() override;
  OnlineFilterSets* onlineFilters() override { return &filters_; }

  // The rate libeegdev itself reported (may differ from describe().deviceRate).
  int reportedRate() const { return reportedRate_; }

 private:
  std::string config_;
  struct eegdev* dev_ = nullptr;
  DeviceDescription d_;
  int eegChannels_ = 0, sensorChannels_ = 0, triggerChannels_ = 0;
  int reportedRate_ = 0;
  bool running_ = false;
  bool ended_ = false;
  std::vector<double> values_;
  std::vector<std::int32_t> triggers_;
  std::vector<double> unitsPerValue_;
  // Per channel: value := (value − from) × scale + to (the replay's range mended).
  struct Rescale {
    double from = 0, scale = 1, to = 0;
  };
  std::vector<Rescale> rescale_;
  OnlineFilterSets filters_;
};

}  // namespace velor
