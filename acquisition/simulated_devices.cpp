#include "acquisition/simulated_devices.h"

#include <algorithm>
#include <cmath>

#include "acquisition/calibration.h"
#include "acquisition/device_texts.h"

namespace velor {

namespace {

const char* const k1020[] = {"Fp1", "Fp2", "F7", "F3", "Fz", "F4", "F8", "T3", "C3", "Cz",
                             "C4",  "T4",  "T5", "P3", "Pz", "P4", "T6", "O1", "O2"};

// A 64-lead cap of the 10-10 system.
const char* const k1010[64] = {
    "Fp1", "AF7", "AF3", "F1",  "F3",  "F5",  "F7",  "FT7", "FC5", "FC3", "FC1", "C1",  "C3",
    "C5",  "T7",  "TP7", "CP5", "CP3", "CP1", "P1",  "P3",  "P5",  "P7",  "P9",  "PO7", "PO3",
    "O1",  "Iz",  "Oz",  "POz", "Pz",  "CPz", "Fpz", "Fp2", "AF8", "AF4", "AFz", "Fz",  "F2",
    "F4",  "F6",  "F8",  "FT8", "FC6", "FC4", "FC2", "FCz", "Cz",  "C2",  "C4",  "C6",  "T8",
    "TP8", "CP6", "CP4", "CP2", "P2",  "P4",  "P6",  "P8",  "P10", "PO8", "PO4", "O2"};

// The record model's kind of a channel by its name (0 EEG).
int kindForName(const std::string& n) {
  switch (signalRoleForName(n)) {
    case SignalRole::Ecg: return 255;
    case SignalRole::Breathing: return 250;
    case SignalRole::Emg: return 253;
    case SignalRole::Eog: return 252;
    case SignalRole::Auxiliary: return 247;
    default: return 0;
  }
}

void setChannels(DeviceDescription& d, const std::vector<std::string>& names, double voltsPerUnit,
                 double calibrationScale) {
  d.channels.clear();
  for (const auto& n : names) d.channels.push_back({n, kindForName(n), voltsPerUnit, calibrationScale});
  d.deviceChannelCount = static_cast<int>(names.size());
}

std::vector<std::string> polygraphNames(int count, std::vector<std::string> first) {
  for (int i = static_cast<int>(first.size()); i < count; ++i) first.push_back("X" + std::to_string(i + 1));
  first.resize(static_cast<std::size_t>(count));
  return first;
}

std::vector<std::string> tenTwentyPlus(std::initializer_list<const char*> extra) {
  std::vector<std::string> v(std::begin(k1020), std::end(k1020));
  for (const char* e : extra) v.emplace_back(e);
  return v;
}

}  // namespace

// --- common ------------------------------------------------------------------

SimulatedDevice::SimulatedDevice(Clock& clock, std::uint64_t seed, bool amplifier)
    : clock_(clock), seed_(seed), amplifier_(amplifier) {}

void SimulatedDevice::resetSignals() {
  std::vector<SignalRole> roles;
  for (const auto& c : d_.channels) roles.push_back(signalRoleForName(c.name));
  synth_ = std::make_unique<SignalSynth>(roles, d_.deviceRate, seed_);
  values_.assign(roles.size(), 0.0);
  gains_.resize(roles.size(), 0);
}

DeviceResult SimulatedDevice::checkChannelCount(int count) {
  if (count < 1 || count > kMaxDeviceChannels)
    return DeviceResult::failure(device_texts::kTooManyChannels + std::to_string(count));
  return DeviceResult::success();
}

DeviceResult SimulatedDevice::start() {
  if (!open_) return DeviceResult::failure(device_texts::kNotOpen);
  delivering_ = true;
  originUs_ = clock_.nowMicroseconds();
  delivered_ = 0;
  return DeviceResult::success();
}

DeviceResult SimulatedDevice::stop() {
  if (!open_) return DeviceResult::failure(device_texts::kNotOpen);
  delivering_ = false;
  return DeviceResult::success();
}

void SimulatedDevice::fillStatus(std::int32_t* status, long long) {
  for (int i = 0; i < d_.statusWords; ++i) status[i] = 0;
}

DeviceResult SimulatedDevice::readFrames(FrameBlock& out, int maxFrames) {
  out.wordsPerFrame = d_.wordsPerFrame();
  out.frames = 0;
  if (!open_) return DeviceResult::failure(device_texts::kNotOpen);
  if (!delivering_ || maxFrames <= 0) return DeviceResult::success();
  const long long due =
      static_cast<long long>((clock_.nowMicroseconds() - originUs_) * static_cast<double>(d_.deviceRate) / 1e6);
  const long long n = std::min<long long>(due - delivered_, maxFrames);
  if (n <= 0) return DeviceResult::success();
  const std::size_t need = static_cast<std::size_t>(n) * static_cast<std::size_t>(out.wordsPerFrame);
  if (out.words.size() < need) out.words.resize(need);
  const int nc = d_.deviceChannelCount;
  std::vector<double>& toUnit = toUnit_;  // kept between reads: no allocation per call
  toUnit.resize(static_cast<std::size_t>(nc));
  for (int c = 0; c < nc; ++c) toUnit[c] = d_.channels[c].voltsPerUnit > 0 ? 1e-6 / d_.channels[c].voltsPerUnit : 0;
  std::int32_t* w = out.words.data();
  for (long long f = 0; f < n; ++f) {
    synth_->next(values_.data());
    if (testSignal_) {
      const long long half = std::max(1, d_.deviceRate / 2);
      const double v = ((delivered_ + f) / half) % 2 == 0 ? 100.0 : -100.0;
      std::fill(values_.begin(), values_.end(), v);
    }
    for (int c = 0; c < nc; ++c) {
      const double u = std::nearbyint(values_[c] * toUnit[c]);
      if (d_.valuesAreCodes)
        w[c] = static_cast<std::int32_t>(std::clamp(2048.0 + u, 0.0, 4095.0));
      else
        w[c] = static_cast<std::int32_t>(std::clamp(u, -2147483647.0, 2147483646.0));
    }
    fillStatus(w + nc, delivered_ + f);
    w += out.wordsPerFrame;
  }
  delivered_ += n;
  out.frames = static_cast<int>(n);
  return DeviceResult::success();
}

DeviceResult SimulatedDevice::startImpedance() {
  if (!open_) return DeviceResult::failure(device_texts::kNotOpen);
  if (d_.impedanceElectrodes <= 0) return DeviceResult::failure(device_texts::kNoImpedance);
  impedance_ = true;
  return DeviceResult::success();
}

DeviceResult SimulatedDevice::readImpedance(std::vector<std::int32_t>& ohms) {
  if (!open_) return DeviceResult::failure(device_texts::kNotOpen);
  if (d_.impedanceElectrodes <= 0) return DeviceResult::failure(device_texts::kNoImpedance);
  ohms.assign(static_cast<std::size_t>(d_.impedanceElectrodes), kMissingSample);
  if (!impedance_) return DeviceResult::success();
  // Each electrode settles slowly from its own starting value, as gel soaks in.
  const double t = static_cast<double>(clock_.nowMicroseconds()) / 1e6;
  std::uint64_t r = seed_ * 0x9E3779B97F4A7C15ull + 7;
  for (int e = 0; e < d_.impedanceElectrodes; ++e) {
    r ^= r << 13;
    r ^= r >> 7;
    r ^= r << 17;
    if (e == disconnected_) continue;
    const double base = 2000.0 + static_cast<double>(r % 18000);
    const double v = base * (0.8 + 0.2 * std::exp(-t / 60.0)) * (1.0 + 0.02 * std::sin(t / 3.0 + e));
    ohms[static_cast<std::size_t>(e)] = static_cast<std::int32_t>(v);
  }
  return DeviceResult::success();
}

DeviceResult SimulatedDevice::stopImpedance() {
  if (!open_) return DeviceResult::failure(device_texts::kNotOpen);
  impedance_ = false;
  return DeviceResult::success();
}

DeviceResult SimulatedDevice::setControlOutput(int output, bool on) {
  if (!open_) return DeviceResult::failure(device_texts::kNotOpen);
  if (output < 1 || output > d_.controlOutputs) return DeviceResult::failure("Нет управляющего выхода " + std::to_string(output));
  const int bit = 1 << (output - 1);
  controlOutputs_ = on ? (controlOutputs_ | bit) : (controlOutputs_ & ~bit);
  return DeviceResult::success();
}

void SimulatedDevice::keepSettings(const DeviceConfig& c) {
  for (std::size_t i = 0; i < c.gainCodes.size() && i < gains_.size(); ++i) gains_[i] = c.gainCodes[i];
  if (c.reference >= 0) reference_ = c.reference;
  if (c.mainsNotch >= 0) notch_ = c.mainsNotch;
  if (amplifier_) {
    const std::size_t n = std::min({c.highPass.size(), c.lowPass.size(), static_cast<std::size_t>(d_.deviceChannelCount)});
    for (std::size_t i = 0; i < n; ++i) {
      filters_.setBand(static_cast<int>(i), d_.deviceRate, c.highPass[i] / 100.0, c.lowPass[i] / 100.0);
      log("BFSet(" + std::to_string(i) + ", 2, 2, " + std::to_string(d_.deviceRate) + ", " +
          std::to_string(c.highPass[i] / 100.0) + ", " + std::to_string(c.lowPass[i] / 100.0) + ")");
    }
  }
}

void SimulatedDevice::closeCommon() {
  open_ = false;
  delivering_ = false;
  impedance_ = false;
  if (amplifier_ && filters_.liveFilters() > 0) {
    filters_.releaseAll();
    log("release filters");
  }
}

// --- converter board ---------------------------------------------------------------

SimulatedConverterBoard::SimulatedConverterBoard(Clock& clock, std::uint64_t seed, ConverterBoardOptions o)
    : SimulatedDevice(clock, seed, false), o_(o) {
  d_.kindName = "board";
  d_.model = "converter board, 32 inputs";
  d_.statusWords = 1;
  d_.recordChannelCount = 32;
  d_.minRate = 20;
  d_.maxRate = 10000;
  d_.deviceRate = d_.sampleRate = 100;
  d_.digitalInputs = 8;
  d_.controlOutputs = 8;
  d_.valuesAreCodes = true;
  // 2047 codes are 5000 µV at gain factor 1.
  setChannels(d_, polygraphNames(32, tenTwentyPlus({"ECG", "RSP", "EMG", "EOG"})), 5e-3 / 2047, 1);
}

double SimulatedConverterBoard::gainFactorForCode(int code) {
  static const double factors[] = {1, 2, 5, 10, 20, 50, 100};
  return code >= 0 && code < 7 ? factors[code] : 1;
}

DeviceResult SimulatedConverterBoard::open() {
  if (open_) return DeviceResult::success();
  if (o_.systemVersion == 5) {
    log("CreateFile(\\\\.\\Velor)");
    if (!o_.driverPresent) return DeviceResult::failure(std::string(device_texts::kNoDevice) + "\\\\.\\Velor");
    log("Utils#2");
    log("CreateEvent(manual)");
    log("ResetEvent");
    log("DeviceIoControl(0x222014)");
    log("DeviceIoControl(0x22201C)");
  } else {
    log("CreateFile(\\\\.\\Vlrvxd.vxd)");
    if (!o_.driverPresent) return DeviceResult::failure(device_texts::kNoVxd);
    log("CreateEvent(auto)");
    if (!o_.eventCreated) return DeviceResult::failure(device_texts::kNoEvent);
    log("DeviceIoControl(8)");
    log("Utils#2");
  }
  open_ = true;
  resetSignals();
  return DeviceResult::success();
}

DeviceResult SimulatedConverterBoard::configure(const DeviceConfig& c) {
  if (!open_) return DeviceResult::failure(device_texts::kNotOpen);
  if (c.sampleRate != 0) {
    if (c.sampleRate < d_.minRate || c.sampleRate > d_.maxRate)
      return DeviceResult::failure(device_texts::kBadRate + std::to_string(c.sampleRate));
    d_.deviceRate = d_.sampleRate = c.sampleRate;
    log("Utils#1(0, " + std::to_string(c.sampleRate + channelCount_ * 65536) + ")");
    resetSignals();
  }
  if (c.mainsNotch >= 0) log("Utils#1(4, " + std::to_string(c.mainsNotch) + ")");
  const std::size_t n = std::min<std::size_t>(c.gainCodes.size(), 32);
  for (std::size_t g = 0; g < n; ++g) {
    const int codes[3] = {c.gainCodes[g], g < c.highPass.size() ? c.highPass[g] : 0,
                          g < c.lowPass.size() ? c.lowPass[g] : 0};
    for (int i = 0; i < 3; ++i) {
      log("Utils#1(5, " + std::to_string(codes[i] + static_cast<int>(g) * 256 + i * 16384) + ")");
      if (i == 0) {
        const int input = g < c.channelOrder.size() ? c.channelOrder[g] : static_cast<int>(g);
        log("Utils#1(11, " + std::to_string(input + static_cast<int>(g) * 256) + ")");
        d_.channels[g].voltsPerUnit = 5e-3 / 2047 / gainFactorForCode(codes[0]);
      }
    }
  }
  if (n > 0) channelCount_ = static_cast<int>(n);
  keepSettings(c);
  return DeviceResult::success();
}

void SimulatedConverterBoard::fillStatus(std::int32_t* status, long long) {
  status[0] = (digitalInputs_ & 0xFF) | ((controlOutputs_ & 0xFF) << 8);
}

void SimulatedConverterBoard::close() {
  if (!open_) return;
  log("CloseHandle");
  closeCommon();
}

// --- K2 ----------------------------------------------------------------------------

SimulatedK2::SimulatedK2(Clock& clock, std::uint64_t seed, K2Options o) : SimulatedDevice(clock, seed, true), o_(o) {
  d_.kindName = "k2";
  d_.model = "K2";
  d_.statusWords = 1;
  d_.rates = {125, 250, 500};
  d_.digitalInputs = 8;
  d_.controlOutputs = 8;
}

float SimulatedK2::voltsPerBit(int gain) { return gain > 0 ? 4.0e-6f / static_cast<float>(gain) : 0.0f; }

DeviceResult SimulatedK2::open() {
  if (open_) return DeviceResult::success();
  log("K2GetCount()");
  if (!o_.present) return DeviceResult::failure(std::string(device_texts::kNoDevice) + "K2");
  log("K2GetID(0)");
  log("K2SetSampling(id, 500)");
  log("K2Info(id, info, 48)");
  if (const DeviceResult r = checkChannelCount(o_.channels); !r) return r;
  d_.sampleRate = 250;
  d_.deviceRate = 500;
  d_.decimationStep = 1;
  log("K2SetGain(id, gains, 100)");
  log("K2GetVoltInBit(id, volts, 100)");
  const float v = voltsPerBit(8);
  setChannels(d_, polygraphNames(o_.channels, {"F3", "F4", "C3", "C4", "P3", "P4", "ECG", "O1", "O2", "RSP", "EMG", "EOG"}), v, v);
  d_.recordChannelCount = o_.channels;
  log("K2GetResolution(id)");
  log("K2Open(id)");
  log("K2Start(id)");
  open_ = true;
  resetSignals();
  std::fill(gains_.begin(), gains_.end(), 8);
  filters_.createForStartup(DeviceKind::K2, d_.deviceChannelCount, d_.deviceRate);
  return DeviceResult::success();
}

DeviceResult SimulatedK2::configure(const DeviceConfig& c) {
  if (!open_) return DeviceResult::failure(device_texts::kNotOpen);
  if (c.sampleRate != 0) {
    if (std::find(d_.rates.begin(), d_.rates.end(), c.sampleRate) == d_.rates.end())
      return DeviceResult::failure(device_texts::kBadRate + std::to_string(c.sampleRate));
    d_.sampleRate = c.sampleRate;
    d_.decimationStep = k2DecimationStep(c.sampleRate);
  }
  if (!c.gainCodes.empty()) {
    log("K2Stop(id)");
    log("K2GetGain(id, gains)");
    // The library takes twelve gains; a gain value of 0 or less is refused.
    int result = 0;
    for (std::size_t ch = 0; ch < c.gainCodes.size() && ch < 12; ++ch)
      if (c.gainCodes[ch] <= 0) result = -22;
    log("K2SetGain(id, gains, 192)");
    if (result != 0) {
      log("K2Start(id)");
      return DeviceResult::failure(device_texts::kGainErrorPrefix + std::to_string(result));
    }
    log("K2GetVoltInBit(id, volts)");
    for (std::size_t ch = 0; ch < c.gainCodes.size() && ch < 12 && ch < d_.channels.size(); ++ch) {
      const float v = voltsPerBit(c.gainCodes[ch]);
      d_.channels[ch].voltsPerUnit = v;
      d_.channels[ch].calibrationScale = v;
    }
    log("K2Start(id)");
  }
  keepSettings(c);
  return DeviceResult::success();
}

void SimulatedK2::close() {
  if (!open_) return;
  log("K2Stop(id)");
  log("K2Close(id)");
  closeCommon();
}

// --- K3 ----------------------------------------------------------------------------

SimulatedK3::SimulatedK3(Clock& clock, std::uint64_t seed, K3Options o) : SimulatedDevice(clock, seed, true), o_(o) {
  d_.kindName = "k3";
  d_.model = "K3 " + o_.address;
  d_.statusWords = 1;
  d_.rates = {125, 250, 500};
  d_.digitalInputs = 8;
  d_.controlOutputs = 1;
}

DeviceResult SimulatedK3::open() {
  if (open_) return DeviceResult::success();
  log("K3DeviceOpenIp(" + o_.address + ")");
  if (!o_.present) return DeviceResult::failure(std::string(device_texts::kNoDevice) + "K3 " + o_.address);
  log("K3GetDeviceParamEx(handle, param)");
  if (const DeviceResult r = checkChannelCount(o_.channels); !r) return r;
  if (o_.periodNs <= 0) return DeviceResult::failure(device_texts::kZeroPeriod);
  d_.deviceRate = static_cast<int>(1000000000LL / o_.periodNs);
  log("K3MonitorStart(handle, 0)");
  d_.decimationStep = 4;
  d_.sampleRate = 250;
  const double scale = o_.scaleField / 1e9;
  setChannels(d_, polygraphNames(o_.channels, tenTwentyPlus({"ECG", "RSP", "EMG", "EOG", "AUX"})), scale, scale);
  d_.recordChannelCount = o_.channels;
  open_ = true;
  resetSignals();
  filters_.createForStartup(DeviceKind::K3, d_.deviceChannelCount, d_.deviceRate);
  return DeviceResult::success();
}

DeviceResult SimulatedK3::configure(const DeviceConfig& c) {
  if (!open_) return DeviceResult::failure(device_texts::kNotOpen);
  if (c.sampleRate != 0) {
    if (std::find(d_.rates.begin(), d_.rates.end(), c.sampleRate) == d_.rates.end())
      return DeviceResult::failure(device_texts::kBadRate + std::to_string(c.sampleRate));
    d_.sampleRate = c.sampleRate;
    d_.decimationStep = k3DecimationStep(c.sampleRate);
  }
  keepSettings(c);
  return DeviceResult::success();
}

void SimulatedK3::close() {
  if (!open_) return;
  log("K3Stop(handle)");
  log("K3DeviceClose(&handle)");
  closeCommon();
}

// --- NVX ---------------------------------------------------------------------------

SimulatedNvx::SimulatedNvx(Clock& clock, std::uint64_t seed, NvxOptions o) : SimulatedDevice(clock, seed, true), o_(o) {
  d_.kindName = "nvx" + std::to_string(nvxChannelsForModel(o_.modelCode));
  d_.model = "NVX" + std::to_string(nvxChannelsForModel(o_.modelCode)) + " (model " + std::to_string(o_.modelCode) + ")";
  d_.statusWords = 2;
  d_.rates = {125, 250, 500, 1000, 2000};
  d_.digitalInputs = 8;
  d_.controlOutputs = 1;
}

std::vector<std::string> SimulatedNvx::channelNames(int channels) {
  std::vector<std::string> v;
  if (channels <= 24) {
    v = {"Fp1", "Fp2", "F7", "F3", "Fz", "F4", "F8", "T3", "C3", "Cz", "C4", "T4",
         "A1",  "T5",  "P3", "Pz", "P4", "T6", "A2", "REF", "O1", "O2", "ECG", "X24"};
  } else {
    // EEG leads first, the ear electrodes at the reference positions, the
    // bipolar pairs and the four auxiliary inputs last.
    const int n = channels;
    const int a = n == 52 ? 23 : 12, b = n == 52 ? 29 : 18;
    const int pairs = n == 52 ? 40 : 24;
    const int eegEnd = pairs;  // below it: EEG (and the references)
    int next = 0;
    v.assign(static_cast<std::size_t>(n), "");
    for (int i = 0; i < eegEnd; ++i) {
      if (i == a) v[i] = "A1";
      else if (i == b) v[i] = "A2";
      else if (i == b + 1 || (n == 52 && (i == 34 || i == 35))) v[i] = "REF";
      else v[i] = k1010[next++];
    }
    const char* pairNames[] = {"EOG", "EOG-", "EMG", "EMG-", "RSP", "RSP-", "ECG", "ECG-"};
    for (int k = 0; k < 8; ++k) v[static_cast<std::size_t>(pairs + k)] = pairNames[k];
    for (int i = pairs + 8; i < n; ++i) v[static_cast<std::size_t>(i)] = "AUX" + std::to_string(i - pairs - 7);
  }
  return v;
}

DeviceResult SimulatedNvx::open() {
  if (open_) return DeviceResult::success();
  d_.deviceChannelCount = 24;
  // Amplifiers take a moment to appear on the bus: up to 5 tries, 200 ms apart.
  bool found = false;
  for (int attempt = 0, zeros = 0; attempt < 5 && !found; ++attempt) {
    log("NVXGetCount()");
    if (o_.present && zeros >= o_.countZeroCalls) {
      found = true;
    } else {
      ++zeros;
      clock_.sleepMilliseconds(200);
    }
  }
  log("NVXGetId(0)");
  if (!found) return DeviceResult::failure(std::string(device_texts::kNoDevice) + "NVX");
  log("NVXOpen(h)");
  log("NVXGetInformation(h, info)");
  const int channels = nvxChannelsForModel(o_.modelCode);
  d_.deviceRate = d_.sampleRate = 250;
  d_.decimationStep = 1;
  rateCode_ = 5;
  log("NVXSetDataMode(h, 0, mode 5)");
  log("NVXGetProperty(h, property)");
  const double unit = 2.0 * static_cast<double>(o_.scale);
  setChannels(d_, channelNames(channels), unit, o_.scale);
  d_.recordChannelCount = nvxRecordChannels(channels);
  d_.impedanceElectrodes = nvxImpedanceElectrodes(channels);
  log("NVXSetOut(h, 1)");
  log("NVXStart(h)");
  open_ = true;
  resetSignals();
  std::fill(gains_.begin(), gains_.end(), 5);
  filters_.createForStartup(DeviceKind::Nvx, d_.deviceChannelCount, d_.deviceRate);
  return DeviceResult::success();
}

DeviceResult SimulatedNvx::configure(const DeviceConfig& c) {
  if (!open_) return DeviceResult::failure(device_texts::kNotOpen);
  if (c.sampleRate != 0 && c.sampleRate != d_.deviceRate) {
    // A rate without a data-mode code would leave the amplifier at its old
    // rate while the record claims the new one: refused, the old rate stays.
    const auto code = nvxRateCode(c.sampleRate);
    if (!code) return DeviceResult::failure(device_texts::kRateError);
    log("NVXStop(h)");
    rateCode_ = *code;
    log("NVXSetDataMode(h, 0, mode " + std::to_string(*code) + ")");
    log("NVXStart(h)");
    d_.deviceRate = d_.sampleRate = c.sampleRate;
    filters_.recreateForRate(d_.deviceChannelCount, d_.deviceRate);
    resetSignals();
    if (delivering_) start();
  }
  keepSettings(c);
  return DeviceResult::success();
}

void SimulatedNvx::fillStatus(std::int32_t* status, long long frame) {
  // The inputs arrive inverted in the low byte; bits 8 and 9 echo outputs.
  status[0] = (~digitalInputs_ & 0xFF) | ((controlOutputs_ & 1) ? 0 : 0x200);
  status[1] = static_cast<std::int32_t>(frame);
}

DeviceResult SimulatedNvx::startImpedance() {
  if (!open_) return DeviceResult::failure(device_texts::kNotOpen);
  log("NVXStartImpedance(h)");
  return SimulatedDevice::startImpedance();
}

DeviceResult SimulatedNvx::readImpedance(std::vector<std::int32_t>& ohms) {
  if (!open_) return DeviceResult::failure(device_texts::kNotOpen);
  log("NVXGetImpedance(h, values, 192)");
  return SimulatedDevice::readImpedance(ohms);
}

DeviceResult SimulatedNvx::stopImpedance() {
  if (!open_) return DeviceResult::failure(device_texts::kNotOpen);
  log("NVXStopImpedance(h)");
  return SimulatedDevice::stopImpedance();
}

DeviceResult SimulatedNvx::setControlOutput(int output, bool on) {
  if (const DeviceResult r = SimulatedDevice::setControlOutput(output, on); !r) return r;
  log(std::string("NVXSetOut(h, ") + (on ? "0" : "1") + ")");
  return DeviceResult::success();
}

DeviceResult SimulatedNvx::setTestSignal(bool on) {
  if (!open_) return DeviceResult::failure(device_texts::kNotOpen);
  log(on ? "NVXStartTest(h, 0)" : "NVXStopTest(h)");
  testSignal_ = on;
  return DeviceResult::success();
}

void SimulatedNvx::close() {
  if (!open_) return;
  log("NVXSetContrast(h, 0)");
  log("NVXStop(h)");
  clock_.sleepMilliseconds(200);
  log("NVXClose(h)");
  closeCommon();
}

// --- filter-chain amplifier ----------------------------------------------------------

SimulatedFilterChainAmplifier::SimulatedFilterChainAmplifier(Clock& clock, std::uint64_t seed, int channels)
    : SimulatedDevice(clock, seed, true), channels_(channels) {
  d_.kindName = "amplifier";
  d_.model = "amplifier, " + std::to_string(channels) + " channels";
  d_.statusWords = 1;
  d_.rates = {250, 500, 1000, 2000, 5000, 10000};
  d_.digitalInputs = 8;
  d_.controlOutputs = 8;
}

DeviceResult SimulatedFilterChainAmplifier::open() {
  if (open_) return DeviceResult::success();
  if (const DeviceResult r = checkChannelCount(channels_); !r) return r;
  log("open");
  d_.deviceRate = d_.sampleRate = 250;
  std::vector<std::string> names(k1010, k1010 + std::min(channels_, 64));
  setChannels(d_, names, 0.1e-6, 0.1e-6);
  d_.recordChannelCount = channels_;
  d_.impedanceElectrodes = channels_;
  open_ = true;
  resetSignals();
  filters_.createForStartup(DeviceKind::FilterChainAmplifier, d_.deviceChannelCount, d_.deviceRate);
  return DeviceResult::success();
}

DeviceResult SimulatedFilterChainAmplifier::configure(const DeviceConfig& c) {
  if (!open_) return DeviceResult::failure(device_texts::kNotOpen);
  if (c.sampleRate != 0 && c.sampleRate != d_.deviceRate) {
    if (std::find(d_.rates.begin(), d_.rates.end(), c.sampleRate) == d_.rates.end())
      return DeviceResult::failure(device_texts::kBadRate + std::to_string(c.sampleRate));
    d_.deviceRate = d_.sampleRate = c.sampleRate;
    filters_.createForStartup(DeviceKind::FilterChainAmplifier, d_.deviceChannelCount, d_.deviceRate);
    resetSignals();
    if (delivering_) start();
  }
  keepSettings(c);
  return DeviceResult::success();
}

void SimulatedFilterChainAmplifier::close() {
  if (!open_) return;
  log("close");
  closeCommon();
}

DeviceResult SimulatedK3::readEvents(std::vector<DeviceEvent>& out) {
  out.clear();
  if (!open_) return DeviceResult::failure(device_texts::kNotOpen);
  out.swap(events_);
  return DeviceResult::success();
}

void SimulatedK3::fillStatus(std::int32_t* status, long long frame) {
  status[0] = static_cast<std::int32_t>(frame);
}

}  // namespace velor
