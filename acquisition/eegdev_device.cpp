#include "acquisition/eegdev_device.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>

#include "acquisition/device_texts.h"
#include "interchange/edf.h"

#ifdef VELOR_HAVE_EEGDEV
#include <eegdev.h>
#endif

namespace velor {

namespace {

std::string errnoText(int e) { return e ? std::string(std::strerror(e)) : std::string("?"); }

// Volts of one unit of a channel's physical dimension.
double voltsOfUnit(const std::string& unit) {
  const double uv = edfVoltageFactor(unit);
  return uv > 0 ? uv * 1e-6 : 1e-6;  // not a voltage: taken as microvolts
}

// The path of a "datafile|path|FILE" configuration, or empty.
std::string replayPath(const std::string& config) {
  const std::string key = "|path|";
  if (config.rfind("datafile", 0) != 0) return {};
  const auto at = config.find(key);
  if (at == std::string::npos) return {};
  const auto end = config.find('|', at + key.size());
  return config.substr(at + key.size(), end == std::string::npos ? std::string::npos : end - at - key.size());
}

}  // namespace

EegdevDevice::EegdevDevice(std::string config) : config_(std::move(config)) {
  d_.kindName = "eegdev";
  d_.model = "libeegdev: " + config_;
}

EegdevDevice::~EegdevDevice() { close(); }

#ifdef VELOR_HAVE_EEGDEV

bool eegdevAvailable() { return true; }

DeviceResult EegdevDevice::open() {
  if (dev_) return DeviceResult::success();
  errno = 0;
  struct eegdev* dev = egd_open(config_.c_str());
  if (!dev) return DeviceResult::failure(std::string(device_texts::kNoDevice) + config_ + " (" + errnoText(errno) + ")");
  const int eeg = std::max(0, egd_get_numch(dev, EGD_EEG));
  const int sensors = std::max(0, egd_get_numch(dev, EGD_SENSOR));
  const int triggers = std::max(0, egd_get_numch(dev, EGD_TRIGGER));
  if (eeg > kMaxDeviceChannels) {
    egd_close(dev);
    return DeviceResult::failure(device_texts::kTooManyChannels + std::to_string(eeg));
  }
  dev_ = dev;
  eegChannels_ = eeg;
  sensorChannels_ = std::min(sensors, kMaxDeviceChannels - eeg);
  triggerChannels_ = triggers;
  reportedRate_ = egd_get_cap(dev, EGD_CAP_FS, nullptr);
  const char* type = nullptr;
  egd_get_cap(dev, EGD_CAP_DEVTYPE, &type);

  d_ = DeviceDescription{};
  d_.kindName = "eegdev";
  d_.model = std::string(type ? type : "libeegdev") + ": " + config_;
  d_.deviceChannelCount = eegChannels_ + sensorChannels_;
  d_.statusWords = 1;
  d_.recordChannelCount = d_.deviceChannelCount;
  d_.deviceRate = d_.sampleRate = reportedRate_;
  d_.digitalInputs = triggers > 0 ? 8 : 0;
  if (sensors > sensorChannels_)
    d_.model += "; " + std::to_string(sensors - sensorChannels_) + " sensor channels left out";

  // The replay plugin's rate and ranges for EDF-family files: see the header comment.
  EdfHeader h;
  bool haveHeader = false;
  if (const std::string path = replayPath(config_); !path.empty()) {
    if (const int width = edfSampleWidthFor(path); width > 0) {
      std::string why;
      haveHeader = readEdfHeader(path, width, h, why);
      if (haveHeader && !h.channelSignals.empty() && h.recordDuration > 0) {
        // The plugin takes its rate (and the samples it delivers per data
        // record) from the last signal: a file whose signals differ in rate
        // would arrive with most samples missing.
        for (const auto& sg : h.signalHeaders) {
          const int rate = static_cast<int>(std::lround(static_cast<double>(sg.samplesPerRecord) / h.recordDuration));
          if (rate != reportedRate_) {
            close();
            return DeviceResult::failure(std::string(device_texts::kReplayRate) + std::to_string(rate) + " / " +
                                         std::to_string(reportedRate_) + " Гц");
          }
        }
      }
    }
  }
  d_.rates = {d_.sampleRate};

  unitsPerValue_.clear();
  rescale_.clear();
  const auto addChannel = [this, &h, haveHeader](int type, int index) {
    char label[64] = {0}, unit[32] = {0};
    double mm[2] = {0, 0};
    int isInt = 0;
    egd_channel_info(dev_, type, static_cast<unsigned>(index), EGD_LABEL, label, EGD_UNIT, unit, EGD_MM_D, mm,
                     EGD_ISINT, &isInt, EGD_EOL);
    const double unitVolts = voltsOfUnit(unit);
    Rescale fix;
    if (haveHeader && !isInt) {
      for (const auto& sg : h.signalHeaders)
        if (sg.label == label && mm[1] > mm[0] && (mm[0] != sg.physMin || mm[1] != sg.physMax)) {
          fix = {mm[0], (sg.physMax - sg.physMin) / (mm[1] - mm[0]), sg.physMin};
          mm[0] = sg.physMin;
          mm[1] = sg.physMax;
          break;
        }
    }
    rescale_.push_back(fix);
    double step = isInt ? 1.0 : (mm[1] - mm[0]) / 16777216.0;
    if (!(step > 0) || !std::isfinite(step)) step = 1e-3;
    unitsPerValue_.push_back(1.0 / step);
    d_.channels.push_back({label, 0, step * unitVolts, step * unitVolts});
  };
  for (int i = 0; i < eegChannels_; ++i) addChannel(EGD_EEG, i);
  for (int i = 0; i < sensorChannels_; ++i) addChannel(EGD_SENSOR, i);
  filters_.createForStartup(DeviceKind::Eegdev, d_.deviceChannelCount, d_.deviceRate);
  return DeviceResult::success();
}

DeviceResult EegdevDevice::configure(const DeviceConfig& c) {
  if (!dev_) return DeviceResult::failure(device_texts::kNotOpen);
  if (c.sampleRate != 0 && c.sampleRate != d_.sampleRate)
    return DeviceResult::failure(device_texts::kBadRate + std::to_string(c.sampleRate));
  const std::size_t n = std::min({c.highPass.size(), c.lowPass.size(), static_cast<std::size_t>(d_.deviceChannelCount)});
  for (std::size_t i = 0; i < n; ++i)
    filters_.setBand(static_cast<int>(i), d_.deviceRate, c.highPass[i] / 100.0, c.lowPass[i] / 100.0);
  return DeviceResult::success();
}

DeviceResult EegdevDevice::start() {
  if (!dev_) return DeviceResult::failure(device_texts::kNotOpen);
  if (running_) return DeviceResult::success();
  const int nc = d_.deviceChannelCount;
  std::vector<grpconf> groups;
  if (eegChannels_ > 0)
    groups.push_back({EGD_EEG, 0, static_cast<unsigned>(eegChannels_), 0, 0, EGD_DOUBLE});
  if (sensorChannels_ > 0)
    groups.push_back({EGD_SENSOR, 0, static_cast<unsigned>(sensorChannels_), 0,
                      static_cast<unsigned>(eegChannels_ * sizeof(double)), EGD_DOUBLE});
  if (triggerChannels_ > 0) groups.push_back({EGD_TRIGGER, 0, 1, 1, 0, EGD_INT32});
  const std::size_t strides[2] = {static_cast<std::size_t>(std::max(nc, 1)) * sizeof(double), sizeof(std::int32_t)};
  if (egd_acq_setup(dev_, 2, strides, static_cast<unsigned>(groups.size()), groups.data()) != 0 || egd_start(dev_) != 0)
    return DeviceResult::failure(std::string(device_texts::kStreamEnded) + errnoText(errno));
  running_ = true;
  ended_ = false;
  return DeviceResult::success();
}

DeviceResult EegdevDevice::readFrames(FrameBlock& out, int maxFrames) {
  out.wordsPerFrame = d_.wordsPerFrame();
  out.frames = 0;
  if (!dev_) return DeviceResult::failure(device_texts::kNotOpen);
  if (!running_ && !ended_) return DeviceResult::success();
  if (ended_ || maxFrames <= 0) return DeviceResult::success();
  errno = 0;
  const ssize_t available = egd_get_available(dev_);
  if (available < 0) {
    // The end of a replayed file, or a lost connection: said once.
    ended_ = true;
    return DeviceResult::failure(std::string(device_texts::kStreamEnded) + errnoText(errno));
  }
  const std::size_t n = static_cast<std::size_t>(std::min<ssize_t>(available, maxFrames));
  if (n == 0) return DeviceResult::success();
  const int nc = d_.deviceChannelCount;
  values_.resize(n * static_cast<std::size_t>(std::max(nc, 1)));
  triggers_.assign(n, 0);
  const ssize_t got = egd_get_data(dev_, n, values_.data(), triggers_.data());
  if (got < 0) {
    ended_ = true;
    return DeviceResult::failure(std::string(device_texts::kStreamEnded) + errnoText(errno));
  }
  const std::size_t frames = static_cast<std::size_t>(got);
  out.words.resize(std::max(out.words.size(), frames * static_cast<std::size_t>(out.wordsPerFrame)));
  for (std::size_t f = 0; f < frames; ++f) {
    std::int32_t* w = out.words.data() + f * static_cast<std::size_t>(out.wordsPerFrame);
    const double* v = values_.data() + f * static_cast<std::size_t>(nc);
    for (int c = 0; c < nc; ++c) {
      const Rescale& r = rescale_[static_cast<std::size_t>(c)];
      const double u = std::nearbyint(((v[c] - r.from) * r.scale + r.to) * unitsPerValue_[static_cast<std::size_t>(c)]);
      w[c] = static_cast<std::int32_t>(std::clamp(u, -2147483647.0, 2147483646.0));
    }
    w[nc] = triggers_[f];
  }
  out.frames = static_cast<int>(frames);
  return DeviceResult::success();
}

DeviceResult EegdevDevice::stop() {
  if (!dev_) return DeviceResult::failure(device_texts::kNotOpen);
  if (running_) egd_stop(dev_);
  running_ = false;
  return DeviceResult::success();
}

void EegdevDevice::close() {
  if (!dev_) return;
  if (running_) egd_stop(dev_);
  running_ = false;
  egd_close(dev_);
  dev_ = nullptr;
  filters_.releaseAll();
}

#else  // built without libeegdev

bool eegdevAvailable() { return false; }
DeviceResult EegdevDevice::open() { return DeviceResult::failure(std::string(device_texts::kNoLibrary) + "libeegdev"); }
DeviceResult EegdevDevice::configure(const DeviceConfig&) { return DeviceResult::failure(device_texts::kNotOpen); }
DeviceResult EegdevDevice::start() { return DeviceResult::failure(device_texts::kNotOpen); }
DeviceResult EegdevDevice::readFrames(FrameBlock& out, int) {
  out.frames = 0;
  return DeviceResult::failure(device_texts::kNotOpen);
}
DeviceResult EegdevDevice::stop() { return DeviceResult::failure(device_texts::kNotOpen); }
void EegdevDevice::close() {}

#endif

}  // namespace velor
