// One interface to every acquisition device: open, describe, configure,
// start, read frames, stop, close and the impedance check.
//
// Contract, the same for every device:
// - Every failure comes back as a DeviceResult carrying the message the
//   person is shown; nothing throws and nothing shows a window.
// - No call waits for the hardware: readFrames hands over only what has
//   already arrived (possibly nothing), readImpedance the last measurement.
//   Opening may take a while on real hardware (retries, the network), so
//   callers on the interface thread open on a worker (openDeviceInBackground).
// - Time comes from an injectable Clock, so a simulated device runs a minute
//   of recording in milliseconds of a test.
// - A device is used from one thread at a time; it keeps no global state.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace velor {

class OnlineFilterSets;

struct DeviceResult {
  bool ok = true;
  std::string message;  // UTF-8, empty on success

  static DeviceResult success() { return {}; }
  static DeviceResult failure(std::string text) { return {false, std::move(text)}; }
  explicit operator bool() const { return ok; }
};

// Microseconds since an arbitrary start, and a sleep that a virtual clock
// turns into an advance.
class Clock {
 public:
  virtual ~Clock() = default;
  virtual std::int64_t nowMicroseconds() const = 0;
  virtual void sleepMilliseconds(int ms) = 0;
};

class SteadyClock final : public Clock {
 public:
  std::int64_t nowMicroseconds() const override;
  void sleepMilliseconds(int ms) override;
};

// Time moves only when told (or slept through): tests and benchmarks.
class VirtualClock final : public Clock {
 public:
  std::int64_t nowMicroseconds() const override { return now_; }
  void sleepMilliseconds(int ms) override { now_ += static_cast<std::int64_t>(ms) * 1000; }
  void advanceMicroseconds(std::int64_t us) { now_ += us; }
  void advanceMilliseconds(std::int64_t ms) { now_ += ms * 1000; }

 private:
  std::int64_t now_ = 0;
};

// The value of the setting `deviceKind` read as a device: 0 and below the
// converter board, 1 K2, 2 K3, 3 NVX, 4 the filter-chain amplifier (its frames
// come from the simulator), 5 any device libeegdev reaches; above 5 as 4.
enum class DeviceKind : int {
  ConverterBoard = 0,
  K2 = 1,
  K3 = 2,
  Nvx = 3,
  FilterChainAmplifier = 4,
  Eegdev = 5,
};
DeviceKind deviceKindFromSetting(int deviceKind);

// One channel of a device frame.
struct DeviceChannel {
  std::string name;         // UTF-8, as the device names it (may be empty)
  int kindCode = 0;         // `channelPosX` kind: 0 EEG, 247..255 the record model's kinds
  double voltsPerUnit = 0;  // physical value of one unit of the frame value, volts
  // The number the device's own calibration arithmetic starts from: K2 volts
  // per bit, the NVX property scale, the K3 scale (parameter field 35 / 1e9),
  // 1 for devices whose values are already record codes.
  double calibrationScale = 0;
};

struct DeviceDescription {
  std::string kindName;       // the name velor-cli uses ("nvx52", "k2", ...)
  std::string model;          // what the device says it is
  int deviceChannelCount = 0; // sample words per frame
  int statusWords = 0;        // words after the samples in each frame
  int recordChannelCount = 0; // channels that reach the record
  int deviceRate = 0;         // Hz, the rate frames arrive at
  int sampleRate = 0;         // Hz, the record rate after decimation
  int decimationStep = 1;     // of the frames only every step-th is used
  std::vector<int> rates;     // record rates the plan may choose from a list
  int minRate = 0, maxRate = 0;  // or any rate in this range (the board)
  int digitalInputs = 0;      // bits of the digital input word
  int controlOutputs = 0;     // control outputs
  int impedanceElectrodes = 0;  // 0: the device has no impedance check
  bool valuesAreCodes = false;  // frame values are record codes already (the board)
  std::vector<DeviceChannel> channels;  // deviceChannelCount entries

  int wordsPerFrame() const { return deviceChannelCount + statusWords; }
};

// What a configure call may change; an empty list keeps the current values.
struct DeviceConfig {
  int sampleRate = 0;             // record rate, Hz; 0 keeps it (the device sets
                                  // its own rate and decimation for it)
  std::vector<int> channelOrder;  // converter input per channel (the board)
  std::vector<int> gainCodes;     // device gain code per device channel
  std::vector<int> highPass;      // cut-off per device channel, hundredths of a hertz
  std::vector<int> lowPass;       // cut-off per device channel, hundredths of a hertz
  int mainsNotch = -1;            // 1 on, 0 off, -1 keep
  int reference = -1;             // amplifier reference scheme; -1 keeps it
};

// Frames as the device delivers them: per frame deviceChannelCount signed
// sample words, then statusWords words. A missing sample reads 0x7FFFFFFF.
struct FrameBlock {
  int wordsPerFrame = 0;
  int frames = 0;
  std::vector<std::int32_t> words;  // reused between reads; frames × wordsPerFrame valid
};

// One device event: its type (3 an input event), the device time it
// happened at and its code.
struct DeviceEvent {
  int type = 0;
  std::int32_t time = 0;
  int code = 0;
};

inline constexpr std::int32_t kMissingSample = 0x7FFFFFFF;
inline constexpr int kMaxDeviceChannels = 64;

class AcquisitionDevice {
 public:
  virtual ~AcquisitionDevice() = default;

  // Runs the device's start-up sequence. On failure the device stays closed.
  virtual DeviceResult open() = 0;
  virtual bool isOpen() const = 0;
  // Channels, rates, inputs and calibration as they stand (after configure).
  virtual const DeviceDescription& describe() const = 0;
  virtual DeviceResult configure(const DeviceConfig& config) = 0;
  virtual DeviceResult start() = 0;
  // Up to maxFrames frames that have arrived since the last read (never
  // waits); `out.frames` 0 when none are waiting.
  virtual DeviceResult readFrames(FrameBlock& out, int maxFrames) = 0;
  virtual DeviceResult stop() = 0;
  // Releases everything the device holds; closing a closed device does nothing.
  virtual void close() = 0;

  // Impedance check: values in ohms per electrode, kMissingSample where an
  // electrode has no reading. Devices without one refuse.
  virtual DeviceResult startImpedance();
  virtual DeviceResult readImpedance(std::vector<std::int32_t>& ohms);
  virtual DeviceResult stopImpedance();
  // Control output 1..controlOutputs on or off.
  virtual DeviceResult setControlOutput(int output, bool on);
  // The amplifier's test signal on all channels (NVX); others refuse.
  virtual DeviceResult setTestSignal(bool on);
  // Events the device reported since the last call (K3: stimulus and key
  // events with their device time, counted in device frames); none for
  // devices without events.
  virtual DeviceResult readEvents(std::vector<DeviceEvent>& out);
  // The amplifier's online filters (created at open, released at close), or
  // nullptr for a device without them.
  virtual OnlineFilterSets* onlineFilters() { return nullptr; }
};

}  // namespace velor
