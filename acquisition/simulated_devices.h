// Simulated acquisition devices, one per device kind: the converter board,
// K2, K3, the NVX amplifiers (24, 36 or 52 channels by model code) and the
// filter-chain amplifier. Each runs its kind's start-up and shutdown
// sequence against a simulated vendor library and records the vendor calls
// it makes in order (calls()), reports the kind's channel counts, rates,
// decimation and calibration, and delivers frames of realistic signals
// (SignalSynth) at the device rate as its Clock advances. The options make a
// device absent or odd so that tests reach every branch of a sequence.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "acquisition/device.h"
#include "acquisition/online_filters.h"
#include "acquisition/signal_synth.h"

namespace velor {

class SimulatedDevice : public AcquisitionDevice {
 public:
  bool isOpen() const override { return open_; }
  const DeviceDescription& describe() const override { return d_; }
  DeviceResult start() override;
  DeviceResult readFrames(FrameBlock& out, int maxFrames) override;
  DeviceResult stop() override;
  DeviceResult startImpedance() override;
  DeviceResult readImpedance(std::vector<std::int32_t>& ohms) override;
  DeviceResult stopImpedance() override;
  DeviceResult setControlOutput(int output, bool on) override;
  OnlineFilterSets* onlineFilters() override { return amplifier_ ? &filters_ : nullptr; }

  // The vendor calls made so far, in order ("NVXGetCount()", ...).
  const std::vector<std::string>& calls() const { return calls_; }
  void clearCalls() { calls_.clear(); }
  // The digital input word the device reports from now on.
  void setDigitalInputs(int bits) { digitalInputs_ = bits; }
  // Electrode e (0-based) reads as no value in the impedance check.
  void disconnectElectrode(int e) { disconnected_ = e; }
  // Gain code of each channel as last configured.
  const std::vector<int>& gainCodes() const { return gains_; }
  int reference() const { return reference_; }
  int mainsNotch() const { return notch_; }
  bool testSignal() const { return testSignal_; }

 protected:
  SimulatedDevice(Clock& clock, std::uint64_t seed, bool amplifier);
  void log(std::string call) { calls_.push_back(std::move(call)); }
  // After the channel table or rate changed: new generators for the channels.
  void resetSignals();
  // Status words of a frame (after the samples).
  virtual void fillStatus(std::int32_t* status, long long frame);
  // Refuses a channel count the record model cannot index.
  DeviceResult checkChannelCount(int count);
  void closeCommon();
  // Applies the parts of a configuration every simulated amplifier keeps.
  void keepSettings(const DeviceConfig& c);

  Clock& clock_;
  std::uint64_t seed_;
  bool amplifier_;
  DeviceDescription d_;
  bool open_ = false;
  bool delivering_ = false;
  bool impedance_ = false;
  std::int64_t originUs_ = 0;
  long long delivered_ = 0;
  int digitalInputs_ = 0;
  int controlOutputs_ = 0;
  int disconnected_ = -1;
  int reference_ = 0;
  int notch_ = 1;
  bool testSignal_ = false;
  std::vector<int> gains_;
  std::unique_ptr<SignalSynth> synth_;
  std::vector<double> values_;
  std::vector<double> toUnit_;
  OnlineFilterSets filters_;
  std::vector<std::string> calls_;
};

struct ConverterBoardOptions {
  int systemVersion = 5;      // 5: the kernel driver; otherwise the VxD
  bool driverPresent = true;  // the driver device opens
  bool eventCreated = true;   // the VxD path's sample event can be created
};

// 32 converter inputs delivering 12-bit codes around 2048, the digital word
// (inputs in the low byte, outputs in the high byte) after them.
class SimulatedConverterBoard final : public SimulatedDevice {
 public:
  SimulatedConverterBoard(Clock& clock, std::uint64_t seed = 1, ConverterBoardOptions o = {});
  DeviceResult open() override;
  DeviceResult configure(const DeviceConfig& config) override;
  void close() override;
  // The converter's gain factor for a gain code (the default list's codes 0..6).
  static double gainFactorForCode(int code);

 private:
  void fillStatus(std::int32_t* status, long long frame) override;
  ConverterBoardOptions o_;
  int channelCount_ = 4;
};

struct K2Options {
  bool present = true;
  int channels = 12;  // the information block's channel count
};

class SimulatedK2 final : public SimulatedDevice {
 public:
  SimulatedK2(Clock& clock, std::uint64_t seed = 1, K2Options o = {});
  DeviceResult open() override;
  DeviceResult configure(const DeviceConfig& config) override;
  void close() override;
  // Volts per bit at a K2 gain value (0.5 µV at the start-up gain 8).
  static float voltsPerBit(int gain);

 private:
  K2Options o_;
};

struct K3Options {
  bool present = true;
  std::string address = "192.168.0.100";
  int channels = 24;          // parameter field 16
  int periodNs = 1000000;     // parameter field 18: 1000 Hz
  int scaleField = 500;       // parameter field 35
};

class SimulatedK3 final : public SimulatedDevice {
 public:
  SimulatedK3(Clock& clock, std::uint64_t seed = 1, K3Options o = {});
  DeviceResult open() override;
  DeviceResult configure(const DeviceConfig& config) override;
  void close() override;
  int scaleField() const { return o_.scaleField; }
  // K3GetEvent: the events queued by reportEvent, each once. The frame's
  // status word is its device time (frames since the start).
  DeviceResult readEvents(std::vector<DeviceEvent>& out) override;
  void reportEvent(DeviceEvent e) { events_.push_back(e); }

 private:
  void fillStatus(std::int32_t* status, long long frame) override;
  K3Options o_;
  std::vector<DeviceEvent> events_;
};

struct NvxOptions {
  int modelCode = 4003;         // 4003 24, 4004 36, 4005 52 channels
  int countZeroCalls = 0;       // NVXGetCount answers 0 this many times first
  bool present = true;          // false: NVXGetCount always answers 0
  float scale = 1.0e-7f;        // third float of the property block (volts)
};

class SimulatedNvx final : public SimulatedDevice {
 public:
  SimulatedNvx(Clock& clock, std::uint64_t seed = 1, NvxOptions o = {});
  DeviceResult open() override;
  DeviceResult configure(const DeviceConfig& config) override;
  void close() override;
  DeviceResult startImpedance() override;
  DeviceResult readImpedance(std::vector<std::int32_t>& ohms) override;
  DeviceResult stopImpedance() override;
  DeviceResult setControlOutput(int output, bool on) override;
  // NVXStartTest / NVXStopTest: a square wave of ±100 µV at 1 Hz on every channel.
  DeviceResult setTestSignal(bool on) override;
  float scale() const { return o_.scale; }
  int rateCode() const { return rateCode_; }

  // Channel names of an NVX amplifier of 24, 36 or 52 channels.
  static std::vector<std::string> channelNames(int channels);

 private:
  void fillStatus(std::int32_t* status, long long frame) override;
  NvxOptions o_;
  int rateCode_ = 5;
};

// Kind 4 and above: an amplifier whose frames the system filters with its own
// filter chain. Up to 64 channels at rates up to 10000 Hz.
class SimulatedFilterChainAmplifier final : public SimulatedDevice {
 public:
  SimulatedFilterChainAmplifier(Clock& clock, std::uint64_t seed = 1, int channels = 64);
  DeviceResult open() override;
  DeviceResult configure(const DeviceConfig& config) override;
  void close() override;

 private:
  int channels_;
};

}  // namespace velor
