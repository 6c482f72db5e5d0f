// The device layer: every simulated kind's sequence, channel counts, rates,
// calibration and signals; the fake's failures; libeegdev's replay device
// delivering a shared recording unchanged.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <fstream>
#include <numbers>
#include <thread>

#include "acquisition/calibration.h"
#include "acquisition/device_registry.h"
#include "acquisition/device_texts.h"
#include "acquisition/eegdev_device.h"
#include "acquisition/fake_device.h"
#include "acquisition/simulated_devices.h"
#include "core/study_state.h"
#include "interchange/edf.h"
#include "test_support.h"

namespace velor {
namespace {

TEST(DeviceCalibration, FormulasOverATableOfCases) {
  struct Case {
    const char* what;
    int got;
    int want;
  };
  const Case cases[] = {
      {"K2 0.5 µV per bit at 2047 units", k2CalibValue(2047, 0.5e-6f), 1023},
      {"K2 0.25 µV per bit at 2048 units (the float lies just below)", k2CalibValue(2048, 0.25e-6f), 511},
      {"K2 huge volts clamp", k2CalibValue(2047, 1.0f), 65535},
      {"NVX base 2047 × 2 × 1e-7", nvxCalibValue(2047, 1e-7f, 5), 409},
      {"NVX code 1 = ×16", nvxCalibValue(2047, 1e-7f, 1), 409 * 16},
      {"NVX code 4 = ×2", nvxCalibValue(2047, 1e-7f, 4), 818},
      {"NVX code 6 = shr 1", nvxCalibValue(2047, 1e-7f, 6), 204},
      {"NVX code 11 = shr 6", nvxCalibValue(2047, 1e-7f, 11), 6},
      {"NVX ×16 beyond 16 bits clamps", nvxCalibValue(2047, 1e-5f, 1), 65535},
      {"K3 step 3 = v", k3CalibValue(2047, 500, 3, 7), 1023},
      {"K3 step 5 = v × 16", k3CalibValue(2047, 500, 5, 7), 16368},
      {"K3 step 8 = v × 2", k3CalibValue(2047, 500, 8, 7), 2046},
      {"K3 step 9 keeps", k3CalibValue(2047, 500, 9, 7), 7},
      {"K3 step 12 = v / 8", k3CalibValue(2047, 500, 12, 7), 127},
      {"board gain 1", *boardCalibValue(1), 5000},
      {"board gain 3", *boardCalibValue(3), 1666},
      {"board gain 0.5", *boardCalibValue(0.5), 10000},
  };
  for (const auto& c : cases) EXPECT_EQ(c.got, c.want) << c.what;
  EXPECT_FALSE(boardCalibValue(0));
  EXPECT_FALSE(boardCalibValue(-2));
  EXPECT_FALSE(boardCalibValue(std::nan("")));
}

TEST(DeviceCalibration, NvxTablesOfTheAmplifier) {
  EXPECT_EQ(nvxRateCode(125), 6);
  EXPECT_EQ(nvxRateCode(2000), 2);
  EXPECT_FALSE(nvxRateCode(300));
  EXPECT_EQ(k2DecimationStep(500), 1);
  EXPECT_EQ(k2DecimationStep(250), 2);
  EXPECT_EQ(k2DecimationStep(125), 4);
  EXPECT_EQ(k3DecimationStep(500), 2);
  EXPECT_EQ(k3DecimationStep(250), 4);
  EXPECT_EQ(k3DecimationStep(125), 8);
  // Filter rows: 24 channels all row 0; 36: pairs share rows 28..31, the last four their own.
  for (int i = 0; i < 24; ++i) EXPECT_EQ(nvxFilterRow(i, 24), 0);
  const int want36[] = {28, 28, 29, 29, 30, 30, 31, 31, 32, 33, 34, 35};
  for (int i = 24; i < 36; ++i) EXPECT_EQ(nvxFilterRow(i, 36), want36[i - 24]) << i;
  EXPECT_EQ(nvxFilterRow(23, 36), 0);
  const auto p52 = nvxPackedChannels(52);
  ASSERT_EQ(p52.size(), 44u);
  // Packed 28..31 rotated: new 28 = old 31.
  const auto plain = [] {
    std::vector<int> v;
    for (int i = 0; i < 52; ++i)
      if (i != 23 && i != 29 && i != 30 && i != 34 && i != 41 && i != 43 && i != 45 && i != 47) v.push_back(i);
    return v;
  }();
  EXPECT_EQ(p52[28], plain[31]);
  EXPECT_EQ(p52[29], plain[28]);
  EXPECT_EQ(p52[32], plain[35]);
  EXPECT_EQ(p52[33], plain[32]);
}

TEST(SimulatedNvx, ModelCodesGiveDeviceAndRecordChannels) {
  struct Case {
    int code, device, record, electrodes;
  };
  for (const Case c : {Case{4003, 24, 20, 24}, Case{4004, 36, 28, 32}, Case{4005, 52, 44, 48}, Case{1234, 24, 20, 24}}) {
    VirtualClock clock;
    NvxOptions o;
    o.modelCode = c.code;
    SimulatedNvx nvx(clock, 1, o);
    ASSERT_TRUE(nvx.open()) << c.code;
    const auto& d = nvx.describe();
    EXPECT_EQ(d.deviceChannelCount, c.device) << c.code;
    EXPECT_EQ(d.recordChannelCount, c.record) << c.code;
    EXPECT_EQ(d.impedanceElectrodes, c.electrodes) << c.code;
    EXPECT_EQ(d.wordsPerFrame(), c.device + 2);
    EXPECT_EQ(d.deviceRate, 250);
    EXPECT_EQ(static_cast<int>(recordChannelSources(3, d).size()), c.record);
  }
}

TEST(SimulatedNvx, StartupAndShutdownFollowTheSequence) {
  VirtualClock clock;
  NvxOptions o;
  o.countZeroCalls = 2;
  SimulatedNvx nvx(clock, 1, o);
  ASSERT_TRUE(nvx.open());
  EXPECT_EQ(clock.nowMicroseconds(), 400000);  // two 200 ms waits
  const std::vector<std::string> want = {"NVXGetCount()", "NVXGetCount()", "NVXGetCount()", "NVXGetId(0)",
                                         "NVXOpen(h)", "NVXGetInformation(h, info)", "NVXSetDataMode(h, 0, mode 5)",
                                         "NVXGetProperty(h, property)", "NVXSetOut(h, 1)", "NVXStart(h)"};
  EXPECT_EQ(nvx.calls(), want);
  ASSERT_NE(nvx.onlineFilters(), nullptr);
  EXPECT_GT(nvx.onlineFilters()->liveFilters(), 0);
  nvx.clearCalls();
  nvx.close();
  EXPECT_EQ(nvx.calls(), (std::vector<std::string>{"NVXSetContrast(h, 0)", "NVXStop(h)", "NVXClose(h)", "release filters"}));
  EXPECT_EQ(nvx.onlineFilters(), &*nvx.onlineFilters());
  EXPECT_EQ(nvx.onlineFilters()->liveFilters(), 0);  // every set released, not only two
  EXPECT_FALSE(nvx.isOpen());
}

TEST(SimulatedNvx, AbsentAmplifierCostsFiveWaitsAndSaysSo) {
  VirtualClock clock;
  NvxOptions o;
  o.present = false;
  SimulatedNvx nvx(clock, 1, o);
  const DeviceResult r = nvx.open();
  EXPECT_FALSE(r);
  EXPECT_EQ(r.message, std::string(device_texts::kNoDevice) + "NVX");
  EXPECT_EQ(clock.nowMicroseconds(), 1000000);
  EXPECT_EQ(std::count(nvx.calls().begin(), nvx.calls().end(), "NVXGetCount()"), 5);
  EXPECT_EQ(nvx.calls().back(), "NVXGetId(0)");  // goes on to ask for the id
  EXPECT_FALSE(nvx.isOpen());
}

TEST(SimulatedNvx, RateChangeTakesTheCodeOrIsRefused) {
  VirtualClock clock;
  SimulatedNvx nvx(clock);
  ASSERT_TRUE(nvx.open());
  DeviceConfig c;
  c.sampleRate = 1000;
  ASSERT_TRUE(nvx.configure(c));
  EXPECT_EQ(nvx.rateCode(), 3);
  EXPECT_EQ(nvx.describe().deviceRate, 1000);
  c.sampleRate = 300;
  const DeviceResult r = nvx.configure(c);
  EXPECT_FALSE(r);
  EXPECT_EQ(r.message, device_texts::kRateError);
  EXPECT_EQ(nvx.describe().deviceRate, 1000);
  EXPECT_EQ(nvx.rateCode(), 3);
}

TEST(SimulatedNvx, ImpedanceGivesOneValuePerElectrodeAndMarksMissingOnes) {
  VirtualClock clock;
  NvxOptions o;
  o.modelCode = 4005;
  SimulatedNvx nvx(clock, 3, o);
  ASSERT_TRUE(nvx.open());
  nvx.disconnectElectrode(5);
  ASSERT_TRUE(nvx.startImpedance());
  std::vector<std::int32_t> ohms;
  ASSERT_TRUE(nvx.readImpedance(ohms));
  ASSERT_EQ(ohms.size(), 48u);
  EXPECT_EQ(ohms[5], kMissingSample);
  for (std::size_t e = 0; e < ohms.size(); ++e)
    if (e != 5) {
      EXPECT_TRUE(ohms[e] >= 1000 && ohms[e] < 30000) << e << " " << ohms[e];
    }
  ASSERT_TRUE(nvx.stopImpedance());
  EXPECT_EQ(nvx.calls().back(), "NVXStopImpedance(h)");
}

TEST(SimulatedK2, StartupCalibrationAndGainRefusal) {
  VirtualClock clock;
  SimulatedK2 k2(clock);
  ASSERT_TRUE(k2.open());
  const auto& d = k2.describe();
  EXPECT_EQ(d.deviceRate, 500);
  EXPECT_EQ(d.sampleRate, 250);
  EXPECT_EQ(d.deviceChannelCount, 12);
  StudyState s;
  for (int i = 0; i < 12; ++i) s.calibUnits[i] = 2047;
  applyOpenedDevice(s, 1, d);
  EXPECT_EQ(s.channelCount, 12);
  EXPECT_EQ(s.calibValue[0], 1023);  // 0.5 µV per bit at gain 8
  EXPECT_EQ(s.markChannelCount, 1);
  DeviceConfig c;
  c.gainCodes.assign(12, 16);
  c.gainCodes[3] = 0;
  const DeviceResult r = k2.configure(c);
  EXPECT_FALSE(r);
  EXPECT_EQ(r.message, std::string(device_texts::kGainErrorPrefix) + "-22");
  c.sampleRate = 125;
  c.gainCodes.assign(12, 16);
  ASSERT_TRUE(k2.configure(c));
  EXPECT_EQ(k2.describe().decimationStep, 4);
  EXPECT_EQ(deviceCalibValue(1, k2.describe(), 0, 2047, 16, 0), 511);
}

TEST(SimulatedDevices, ChannelCountsBeyondTheRecordAndAZeroPeriodAreRefused) {
  VirtualClock clock;
  K2Options k2o;
  k2o.channels = 65;
  SimulatedK2 k2(clock, 1, k2o);
  DeviceResult r = k2.open();
  EXPECT_FALSE(r);
  EXPECT_EQ(r.message, std::string(device_texts::kTooManyChannels) + "65");
  EXPECT_FALSE(k2.isOpen());

  K3Options k3o;
  k3o.periodNs = 0;
  SimulatedK3 k3(clock, 1, k3o);
  r = k3.open();
  EXPECT_FALSE(r);
  EXPECT_EQ(r.message, device_texts::kZeroPeriod);

  K3Options ok;
  SimulatedK3 k3b(clock, 1, ok);
  ASSERT_TRUE(k3b.open());
  EXPECT_EQ(k3b.describe().deviceRate, 1000);
  EXPECT_EQ(k3b.describe().sampleRate, 250);
  EXPECT_EQ(k3b.describe().decimationStep, 4);
}

TEST(SimulatedConverterBoard, DriverPathsAndTheirMessages) {
  VirtualClock clock;
  ConverterBoardOptions vxdMissing{4, false, true};
  SimulatedConverterBoard a(clock, 1, vxdMissing);
  EXPECT_EQ(a.open().message, device_texts::kNoVxd);
  ConverterBoardOptions noEvent{4, true, false};
  SimulatedConverterBoard b(clock, 1, noEvent);
  EXPECT_EQ(b.open().message, device_texts::kNoEvent);
  SimulatedConverterBoard board(clock);
  ASSERT_TRUE(board.open());
  EXPECT_EQ(board.calls(), (std::vector<std::string>{"CreateFile(\\\\.\\Velor)", "Utils#2", "CreateEvent(manual)",
                                                     "ResetEvent", "DeviceIoControl(0x222014)",
                                                     "DeviceIoControl(0x22201C)"}));
  DeviceConfig c;
  c.sampleRate = 10001;
  EXPECT_FALSE(board.configure(c));
  c.sampleRate = 500;
  ASSERT_TRUE(board.configure(c));
  ASSERT_TRUE(board.start());
  board.setDigitalInputs(0x5A);
  clock.advanceMilliseconds(100);
  FrameBlock f;
  ASSERT_TRUE(board.readFrames(f, 1000));
  ASSERT_EQ(f.frames, 50);
  ASSERT_EQ(f.wordsPerFrame, 33);
  for (int i = 0; i < f.frames; ++i) {
    EXPECT_EQ(f.words[static_cast<std::size_t>(i * 33 + 32)] & 0xFF, 0x5A);
    for (int ch = 0; ch < 32; ++ch) {
      const int v = f.words[static_cast<std::size_t>(i * 33 + ch)];
      ASSERT_TRUE(v >= 0 && v <= 4095);
    }
  }
}

// Amplitude of a frequency in one channel of a block of frames.
double amplitudeAt(const FrameBlock& f, int channel, double hz, double rate) {
  double re = 0, im = 0;
  for (int i = 0; i < f.frames; ++i) {
    const double v = f.words[static_cast<std::size_t>(i * f.wordsPerFrame + channel)];
    re += v * std::cos(2 * std::numbers::pi * hz * i / rate);
    im += v * std::sin(2 * std::numbers::pi * hz * i / rate);
  }
  return std::hypot(re, im) * 2 / f.frames;
}

TEST(SimulatedNvx, SignalsLookLikeARecordingAndComeAtTheDeviceRate) {
  VirtualClock clock;
  SimulatedNvx nvx(clock, 7);
  ASSERT_TRUE(nvx.open());
  const auto& d = nvx.describe();
  ASSERT_TRUE(nvx.start());
  FrameBlock f;
  ASSERT_TRUE(nvx.readFrames(f, 100000));
  EXPECT_EQ(f.frames, 0);  // no time has passed
  clock.advanceMilliseconds(20000);
  ASSERT_TRUE(nvx.readFrames(f, 100000));
  ASSERT_EQ(f.frames, 5000);
  const auto index = [&d](const char* name) {
    for (int i = 0; i < d.deviceChannelCount; ++i)
      if (d.channels[static_cast<std::size_t>(i)].name == name) return i;
    return -1;
  };
  const double uvPerUnit = d.channels[0].voltsPerUnit * 1e6;
  // The alpha rhythm is posterior: O1 carries clearly more 9.5..10.5 Hz than Fp1.
  const auto alpha = [&](int ch) {
    double a = 0;
    for (double hz = 9.5; hz <= 10.5; hz += 0.05) a = std::max(a, amplitudeAt(f, ch, hz, 250));
    return a * uvPerUnit;
  };
  EXPECT_GT(alpha(index("O1")), 2 * alpha(index("Fp1")));
  EXPECT_GT(amplitudeAt(f, index("Cz"), 50, 250) * uvPerUnit, 2.0);  // mains hum
  // The ECG channel beats about 72 times a minute: 20 s give 22..27 R waves.
  const int ecg = index("ECG");
  int beats = 0;
  for (int i = 1; i < f.frames; ++i) {
    const double a = f.words[static_cast<std::size_t>((i - 1) * f.wordsPerFrame + ecg)] * uvPerUnit;
    const double b = f.words[static_cast<std::size_t>(i * f.wordsPerFrame + ecg)] * uvPerUnit;
    beats += a < 500 && b >= 500;
  }
  EXPECT_GE(beats, 22);
  EXPECT_LE(beats, 27);
  // Blinks: Fp1 swings by more than 100 µV somewhere in 20 s.
  int lo = INT32_MAX, hi = INT32_MIN;
  for (int i = 0; i < f.frames; ++i) {
    const int v = f.words[static_cast<std::size_t>(i * f.wordsPerFrame + index("Fp1"))];
    lo = std::min(lo, v);
    hi = std::max(hi, v);
  }
  EXPECT_GT((hi - lo) * uvPerUnit, 100);
  // The same seed gives the same frames.
  VirtualClock clock2;
  SimulatedNvx twin(clock2, 7);
  ASSERT_TRUE(twin.open());
  ASSERT_TRUE(twin.start());
  clock2.advanceMilliseconds(20000);
  FrameBlock g;
  ASSERT_TRUE(twin.readFrames(g, 100000));
  EXPECT_TRUE(std::equal(f.words.begin(), f.words.begin() + 5000 * 26, g.words.begin()));
}

TEST(FakeDevice, FailsAnyCallOnDemandAndLogsEveryCall) {
  VirtualClock clock;
  FakeDevice fake(std::make_unique<SimulatedNvx>(clock));
  fake.failNext("open", "нет связи");
  EXPECT_EQ(fake.open().message, "нет связи");
  ASSERT_TRUE(fake.open());
  ASSERT_TRUE(fake.start());
  fake.failAlways("readFrames", "сбой чтения");
  clock.advanceMilliseconds(100);
  FrameBlock f;
  EXPECT_EQ(fake.readFrames(f, 100).message, "сбой чтения");
  EXPECT_EQ(fake.readFrames(f, 100).message, "сбой чтения");
  fake.clearFailures();
  ASSERT_TRUE(fake.readFrames(f, 1000));
  EXPECT_EQ(f.frames, 25);
  fake.close();
  EXPECT_EQ(fake.log(), (std::vector<std::string>{"open", "open", "start", "readFrames", "readFrames", "readFrames", "close"}));
}

TEST(DeviceRegistry, EveryKindOpensAndDescribesItself) {
  for (const auto& e : deviceKindTable()) {
    if (std::string(e.name) == "eegdev") continue;  // real hardware: below
    VirtualClock clock;
    auto dev = makeDevice(e.name, clock, DeviceOptions{});
    ASSERT_TRUE(dev) << e.name;
    ASSERT_TRUE(dev->open()) << e.name;
    EXPECT_EQ(dev->describe().kindName, e.name);
    EXPECT_LE(dev->describe().deviceChannelCount, kMaxDeviceChannels);
    EXPECT_EQ(static_cast<int>(dev->describe().channels.size()), dev->describe().deviceChannelCount);
    dev->close();
  }
  // Kind 4 and above have a frame source.
  VirtualClock clock;
  auto seven = makeDeviceForSetting(7, clock, DeviceOptions{});
  ASSERT_TRUE(seven && seven->open());
  EXPECT_EQ(seven->describe().kindName, "amplifier");
  auto negative = makeDeviceForSetting(-1, clock, DeviceOptions{});
  EXPECT_EQ(negative->describe().kindName, "board");
}

TEST(DeviceRegistry, OpenedNvxSetsTheRecordChannels) {
  VirtualClock clock;
  DeviceOptions o;
  o.nvxModelCode = 4004;
  auto nvx = makeDeviceForSetting(3, clock, o);
  ASSERT_TRUE(nvx->open());
  StudyState s;
  applyOpenedDevice(s, 3, nvx->describe());
  EXPECT_EQ(s.channelCount, 28);
  EXPECT_EQ(s.shownChannelCount, 28);
  EXPECT_EQ(s.channelNames[0], "Fp1");
  EXPECT_EQ(s.calibValue[0], nvxCalibValue(s.calibUnits[0], 1e-7f, 5));
  // The pair heads keep their kinds ("ЭОГ" 252 ... "ЭКГ" 255).
  int eog = -1;
  for (int i = 0; i < s.channelCount; ++i)
    if (s.channelNames[static_cast<std::size_t>(i)] == "EOG") eog = i;
  ASSERT_GE(eog, 0);
  EXPECT_EQ(s.channelPosX[static_cast<std::size_t>(eog)], 252);
}

// --- libeegdev -------------------------------------------------------------------------

// Physical values (µV) of every data signal of an EDF-family file, read here
// independently of libeegdev: values[signal][sample].
std::vector<std::vector<double>> readEdfValues(const std::string& path, EdfHeader& h) {
  std::string why;
  EXPECT_TRUE(readEdfHeader(path, edfSampleWidthFor(path), h, why)) << why;
  const std::string bytes = test::readBytes(path);
  std::vector<std::vector<double>> v(h.signalHeaders.size());
  for (long long r = 0; r < h.dataRecords; ++r)
    for (std::size_t s = 0; s < h.signalHeaders.size(); ++s) {
      const auto& sg = h.signalHeaders[s];
      const double gain = (sg.physMax - sg.physMin) / static_cast<double>(sg.digMax - sg.digMin);
      for (long long i = 0; i < sg.samplesPerRecord; ++i) {
        const std::size_t at = static_cast<std::size_t>(h.headerBytes + r * h.recordBytes + sg.offsetInRecord +
                                                        i * h.sampleWidth);
        long long dig = 0;
        for (int b = h.sampleWidth - 1; b >= 0; --b) dig = (dig << 8) | static_cast<unsigned char>(bytes[at + b]);
        if (dig >> (8 * h.sampleWidth - 1)) dig -= 1LL << (8 * h.sampleWidth);
        v[s].push_back((static_cast<double>(dig) - static_cast<double>(sg.digMin)) * gain + sg.physMin);
      }
    }
  return v;
}

// Reads the replay until it ends (at most 10 s of wall time).
FrameBlock replayAll(EegdevDevice& dev, std::string& endMessage) {
  FrameBlock all, part;
  all.wordsPerFrame = dev.describe().wordsPerFrame();
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (std::chrono::steady_clock::now() < until) {
    const DeviceResult r = dev.readFrames(part, 4096);
    if (!r) {
      endMessage = r.message;
      break;
    }
    all.words.insert(all.words.end(), part.words.begin(), part.words.begin() + part.frames * part.wordsPerFrame);
    all.frames += part.frames;
    if (part.frames == 0) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return all;
}

TEST(EegdevDevice, ReplaysASharedBdfRecordingUnchanged) {
  ASSERT_TRUE(eegdevAvailable()) << "built without libeegdev: install libeegdev-dev eegdev-plugins-free";
  const std::string path = test::sharedData("mne-python/test.bdf");
  ASSERT_FALSE(path.empty()) << "../shared/data/mne-python/test.bdf is missing";
  EdfHeader h;
  const auto file = readEdfValues(path, h);

  EegdevDevice dev("datafile|path|" + path);
  ASSERT_TRUE(dev.open());
  const auto& d = dev.describe();
  EXPECT_EQ(d.deviceChannelCount, 64);  // the EEG group fills the record
  EXPECT_EQ(d.deviceRate, 2048);
  EXPECT_EQ(dev.reportedRate(), 2048);
  EXPECT_EQ(d.deviceRate, h.sampleRate);
  ASSERT_TRUE(dev.start());
  std::string end;
  const FrameBlock got = replayAll(dev, end);
  EXPECT_FALSE(end.empty());  // the end of the file is said once
  const long long samples = h.signalHeaders[0].samplesPerRecord * h.dataRecords;
  ASSERT_EQ(got.frames, samples);
  for (int ch = 0; ch < d.deviceChannelCount; ++ch) {
    const auto& c = d.channels[static_cast<std::size_t>(ch)];
    std::size_t sig = h.signalHeaders.size();
    for (std::size_t s = 0; s < h.signalHeaders.size(); ++s)
      if (h.signalHeaders[s].label == c.name) sig = s;
    ASSERT_LT(sig, h.signalHeaders.size()) << c.name;
    const double uvPerUnit = c.voltsPerUnit * 1e6;
    double worst = 0;
    for (int i = 0; i < got.frames; ++i) {
      const double v = got.words[static_cast<std::size_t>(i * got.wordsPerFrame + ch)] * uvPerUnit;
      worst = std::max(worst, std::abs(v - file[sig][static_cast<std::size_t>(i)]));
    }
    EXPECT_LE(worst, uvPerUnit) << c.name;  // within one step of the delivered integers
  }
  dev.close();
  EXPECT_FALSE(dev.isOpen());
}

TEST(EegdevDevice, EdfPlusWithSignalsOfDifferentRatesIsRefused) {
  ASSERT_TRUE(eegdevAvailable());
  const std::string path = test::sharedData("eegmat/Subject00_1.edf");
  ASSERT_FALSE(path.empty());
  EdfHeader h;
  std::string why;
  ASSERT_TRUE(readEdfHeader(path, 2, h, why));
  EXPECT_EQ(h.sampleRate, 500);
  EegdevDevice dev("datafile|path|" + path);
  const DeviceResult r = dev.open();
  // The plugin would say 57 Hz (its annotation signal) and drop 443 of every 500 samples.
  EXPECT_FALSE(r);
  EXPECT_EQ(r.message, std::string(device_texts::kReplayRate) + "500 / 57 Гц");
  EXPECT_FALSE(dev.isOpen());
}

// An EDF file of our own with physical ranges that are not whole numbers.
std::string writeFractionalEdf(const std::string& path, int samples) {
  const auto field = [](std::string v, std::size_t w) {
    v.resize(w, ' ');
    return v;
  };
  const int ns = 2;
  std::string hdr = field("0", 8) + field("X X X X", 80) + field("Startdate X X X X", 80) + field("01.01.20", 8) +
                    field("00.00.00", 8) + field(std::to_string(256 * (ns + 1)), 8) + field("", 44) + field("1", 8) +
                    field("1", 8) + field(std::to_string(ns), 4);
  const char* labels[] = {"EEG Fp1", "EEG O1"};
  for (auto l : labels) hdr += field(l, 16);
  for (int i = 0; i < ns; ++i) hdr += field("", 80);
  for (int i = 0; i < ns; ++i) hdr += field("uV", 8);
  for (int i = 0; i < ns; ++i) hdr += field("-45.1698", 8);
  for (int i = 0; i < ns; ++i) hdr += field("59.35658", 8);
  for (int i = 0; i < ns; ++i) hdr += field("-32768", 8);
  for (int i = 0; i < ns; ++i) hdr += field("32767", 8);
  for (int i = 0; i < ns; ++i) hdr += field("", 80);
  for (int i = 0; i < ns; ++i) hdr += field(std::to_string(samples), 8);
  for (int i = 0; i < ns; ++i) hdr += field("", 32);
  for (int s = 0; s < ns; ++s)
    for (int i = 0; i < samples; ++i) {
      const int v = static_cast<int>(20000 * std::sin(0.1 * i + s)) - 3000;
      hdr += static_cast<char>(v & 0xFF);
      hdr += static_cast<char>((v >> 8) & 0xFF);
    }
  test::writeBytes(path, hdr);
  return path;
}

TEST(EegdevDevice, FractionalEdfRangesArriveUnchanged) {
  ASSERT_TRUE(eegdevAvailable());
  test::TempDir dir;
  const std::string path = writeFractionalEdf(dir.file("frac.edf"), 200);
  EdfHeader h;
  const auto file = readEdfValues(path, h);
  EegdevDevice dev("datafile|path|" + path);
  ASSERT_TRUE(dev.open());
  EXPECT_EQ(dev.describe().deviceRate, 200);
  ASSERT_TRUE(dev.start());
  std::string end;
  const FrameBlock got = replayAll(dev, end);
  ASSERT_EQ(got.frames, 200);
  for (int ch = 0; ch < 2; ++ch) {
    const double uvPerUnit = dev.describe().channels[static_cast<std::size_t>(ch)].voltsPerUnit * 1e6;
    for (int i = 0; i < got.frames; ++i)
      EXPECT_NEAR(got.words[static_cast<std::size_t>(i * got.wordsPerFrame + ch)] * uvPerUnit,
                  file[static_cast<std::size_t>(ch)][static_cast<std::size_t>(i)], uvPerUnit)
          << ch << " " << i;
  }
}

TEST(EegdevDevice, AMissingDeviceGivesAMessage) {
  EegdevDevice dev("datafile|path|/nonexistent/file.bdf");
  const DeviceResult r = dev.open();
  EXPECT_FALSE(r);
  EXPECT_FALSE(r.message.empty());
  EXPECT_FALSE(dev.isOpen());
}

}  // namespace
}  // namespace velor
