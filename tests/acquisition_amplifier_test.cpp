// Amplifier settings: the list files, choosing items, and applying them to
// each device kind with the calibration that follows.
#include <gtest/gtest.h>

#include "acquisition/amplifier_settings.h"
#include "acquisition/calibration.h"
#include "acquisition/device_registry.h"
#include "acquisition/device_texts.h"
#include "acquisition/fake_device.h"
#include "acquisition/simulated_devices.h"
#include "core/settings.h"
#include "test_support.h"

namespace velor {
namespace {

TEST(AmplifierLists, MissingFileIsWrittenWithDefaultsAndReadBack) {
  test::TempDir dir;
  const std::string programDir = dir.path() + "/";
  for (int kind : {0, 1, 2, 3, 4}) {
    AmplifierLists l;
    EXPECT_FALSE(loadAmplifierLists(programDir, kind, l));
    const auto lines = readTextLines(programDir + amplifierListFileName(kind));
    ASSERT_TRUE(lines) << kind;
    EXPECT_EQ((*lines)[0], std::to_string(l.count(AmplifierList::Gain)));
    AmplifierLists again;
    ASSERT_FALSE(readAmplifierLists(programDir + amplifierListFileName(kind), again));
    for (int j = 0; j < 3; ++j) {
      ASSERT_EQ(again.lists[j].size(), l.lists[j].size());
      for (std::size_t i = 0; i < l.lists[j].size(); ++i) {
        EXPECT_EQ(again.lists[j][i].code, l.lists[j][i].code);
        EXPECT_EQ(again.lists[j][i].text, l.lists[j][i].text);
      }
    }
  }
  EXPECT_EQ(amplifierListFileName(-2), "ampl.ini");
  EXPECT_EQ(amplifierListFileName(3), "ampl3.ini");
}

TEST(AmplifierLists, UnsoundFilesGiveTheirFailureAndTheDefaults) {
  test::TempDir dir;
  const std::string path = dir.file("ampl1.ini");
  for (const char* text : {"2\r\n1\r\n", "x\r\n1\r\n1\r\n", "2\r\n1\r\n1\r\na\r\nb\r\n"}) {
    test::writeBytes(path, text);
    AmplifierLists l;
    const auto failure = loadAmplifierLists(dir.path() + "/", 1, l);
    ASSERT_TRUE(failure) << text;
    EXPECT_NE(failure->find("ampl1.ini"), std::string::npos);
    EXPECT_EQ(l.count(AmplifierList::Gain), defaultAmplifierLists(1).count(AmplifierList::Gain));
  }
  // A sound one, cp1251 texts included.
  writeTextLines(path, {"1", "0", "1", " 8 ", "КУ 8", "", "Ф"});
  AmplifierLists l;
  ASSERT_FALSE(readAmplifierLists(path, l));
  EXPECT_EQ(l[AmplifierList::Gain][0].text, "КУ 8");
  EXPECT_EQ(deviceCodeOf(l[AmplifierList::Gain][0].code), 8);
  EXPECT_EQ(deviceCodeOf(l[AmplifierList::LowPass][0].code), 0);  // empty reads as 0
}

TEST(AmplifierLists, DeviceCodeTexts) {
  struct Case {
    const char* text;
    int code;
  };
  for (const Case c : {Case{"", 0}, Case{"   ", 0}, Case{" 42 ", 42}, Case{"12345678901", 1234567890}, Case{"abc", 0},
                       Case{"3,5", 3}, Case{"-7", -7}})
    EXPECT_EQ(deviceCodeOf(c.text), c.code) << c.text;
}

TEST(AmplifierTable, SingleStepsStopAtTheEndsAndAllChannelsMeansAll) {
  const AmplifierLists l = defaultAmplifierLists(0);
  AmplifierTable t;
  EXPECT_FALSE(stepGain(t, l, 3, -1));  // "Понизить тек.канал" at item 0
  EXPECT_EQ(t.item(3, AmplifierList::Gain), 0);
  EXPECT_TRUE(stepGain(t, l, 3, +1));
  EXPECT_EQ(t.item(3, AmplifierList::Gain), 1);
  chooseItem(t, AmplifierList::Gain, l.count(AmplifierList::Gain) - 1, 3, false, 8);
  EXPECT_FALSE(stepGain(t, l, 3, +1));  // "Усилить тек.канал" at the last item
  EXPECT_EQ(t.item(3, AmplifierList::Gain), l.count(AmplifierList::Gain) - 1);
  chooseItem(t, AmplifierList::LowPass, 2, 0, true, 40);
  for (int r = 0; r < 40; ++r) EXPECT_EQ(t.item(r, AmplifierList::LowPass), 2) << r;
  EXPECT_EQ(t.item(40, AmplifierList::LowPass), 0);
}

TEST(ApplyAmplifier, BoardSendsEverySettingAndCalibratesFromTheGainFactor) {
  VirtualClock clock;
  SimulatedConverterBoard board(clock);
  ASSERT_TRUE(board.open());
  StudyState s;
  s.sampleRate = 100;
  const AmplifierLists l = defaultAmplifierLists(0);
  AmplifierTable t;
  chooseItem(t, AmplifierList::Gain, 2, 1, false, 2);     // gain factor 5
  chooseItem(t, AmplifierList::LowPass, 3, 1, false, 2);  // 150 Hz: above half the rate
  board.clearCalls();
  const auto r = applyAmplifier(s, board, 0, l, t, 2, false);
  ASSERT_TRUE(r.result) << r.result.message;
  EXPECT_EQ(s.calibValue[0], 5000);
  EXPECT_EQ(s.calibValue[1], 1000);
  EXPECT_EQ(s.calibUnits[1], 2047);
  EXPECT_EQ(s.zeroLevel[1], 2048);
  EXPECT_TRUE(r.lowPassDesigned);
  EXPECT_EQ(r.lowPassHz, 50);  // limited to half the record rate
  const std::vector<std::string> want = {"Utils#1(4, 1)",          "Utils#1(5, 0)",     "Utils#1(11, 0)",
                                         "Utils#1(5, 16384)",      "Utils#1(5, 32768)", "Utils#1(5, 258)",
                                         "Utils#1(11, 257)",       "Utils#1(5, 16640)", "Utils#1(5, 33027)"};
  EXPECT_EQ(board.calls(), want);
  // keepCalibration: the device gets the settings, the calibration stays.
  s.calibValue[1] = 77;
  ASSERT_TRUE(applyAmplifier(s, board, 0, l, t, 2, true).result);
  EXPECT_EQ(s.calibValue[1], 77);
}

TEST(ApplyAmplifier, ADivisionByZeroIsRefusedAndChangesNothing) {
  VirtualClock clock;
  SimulatedConverterBoard board(clock);
  ASSERT_TRUE(board.open());
  StudyState s;
  AmplifierLists l = defaultAmplifierLists(0);
  l.lists[0][1].text = "0";
  l.lists[0][2].text = "x";
  l.lists[2][1].text = "0";
  for (const auto& [list, item, want] : {std::tuple{AmplifierList::Gain, 1, device_texts::kBadGain},
                                         std::tuple{AmplifierList::Gain, 2, device_texts::kBadGain},
                                         std::tuple{AmplifierList::LowPass, 1, device_texts::kBadLowPass}}) {
    AmplifierTable t;
    chooseItem(t, list, item, 0, false, 1);
    board.clearCalls();
    s.calibValue[0] = 123;
    const auto r = applyAmplifier(s, board, 0, l, t, 1, false);
    EXPECT_FALSE(r.result);
    EXPECT_EQ(r.result.message.rfind(want, 0), 0u) << r.result.message;
    EXPECT_EQ(s.calibValue[0], 123);
    EXPECT_TRUE(board.calls().empty());
  }
}

TEST(ApplyAmplifier, K2GainChangeMovesTheCalibrationOrReportsTheRefusal) {
  VirtualClock clock;
  SimulatedK2 k2(clock);
  ASSERT_TRUE(k2.open());
  StudyState s;
  for (int i = 0; i < 12; ++i) s.calibUnits[i] = 2047;
  AmplifierLists l = defaultAmplifierLists(1);
  AmplifierTable t;
  chooseItem(t, AmplifierList::Gain, 3, 0, true, 12);  // gain 8
  ASSERT_TRUE(applyAmplifier(s, k2, 1, l, t, 12, false).result);
  EXPECT_EQ(s.calibValue[0], 1023);
  ASSERT_TRUE(stepGain(t, l, 0, +1));  // gain 16
  ASSERT_TRUE(applyAmplifier(s, k2, 1, l, t, 12, false).result);
  EXPECT_EQ(s.calibValue[0], 511);
  EXPECT_EQ(s.calibValue[1], 1023);
  // A gain the library refuses: "ErrSGain=" and its result; nothing changes.
  l.lists[0][0].code = "0";
  chooseItem(t, AmplifierList::Gain, 0, 2, false, 12);
  const auto r = applyAmplifier(s, k2, 1, l, t, 12, false);
  EXPECT_EQ(r.result.message, std::string(device_texts::kGainErrorPrefix) + "-22");
  EXPECT_EQ(s.calibValue[0], 511);
}

TEST(ApplyAmplifier, K3GainStepsShiftTheCalibration) {
  VirtualClock clock;
  SimulatedK3 k3(clock);
  ASSERT_TRUE(k3.open());
  StudyState s;
  s.calibUnits[0] = 2047;
  s.calibValue[0] = 42;
  const AmplifierLists l = defaultAmplifierLists(2);
  AmplifierTable t;
  for (const auto& [item, want] : {std::pair{2, 1023}, std::pair{4, 16368}, std::pair{8, 16368}, std::pair{11, 127}}) {
    chooseItem(t, AmplifierList::Gain, item, 0, false, 1);
    ASSERT_TRUE(applyAmplifier(s, k3, 2, l, t, 1, false).result);
    EXPECT_EQ(s.calibValue[0], want) << "step " << item + 1;  // step 9 keeps the previous value
    EXPECT_EQ(t.channelGainCode[0], item + 1);
  }
}

TEST(ApplyLeads, NvxGainCodesCalibrationAndSharedFilterRows) {
  VirtualClock clock;
  NvxOptions o;
  o.modelCode = 4004;
  SimulatedNvx nvx(clock, 1, o);
  ASSERT_TRUE(nvx.open());
  StudyState s;
  for (int i = 0; i < 28; ++i) s.calibUnits[i] = 2047;
  const AmplifierLists l = defaultAmplifierLists(3);
  AmplifierTable t;
  chooseItem(t, AmplifierList::Gain, 4, 0, true, 28);  // code 5
  chooseItem(t, AmplifierList::Gain, 6, 1, false, 28);  // code 7
  chooseItem(t, AmplifierList::HighPass, 2, 0, false, 28);
  chooseItem(t, AmplifierList::HighPass, 4, 5, false, 28);  // row 5 is not a filter row: ignored
  nvx.clearCalls();
  ASSERT_TRUE(applyLeads(s, nvx, l, t));
  EXPECT_EQ(s.calibValue[0], 409);
  EXPECT_EQ(s.calibValue[1], 409 >> 2);
  EXPECT_EQ(t.channelGainCode[1], 7);
  // Every EEG channel takes row 0's filters: 0.5 .. 15 Hz.
  ASSERT_EQ(nvx.calls().size(), 36u);
  EXPECT_EQ(nvx.calls()[5], "BFSet(5, 2, 2, 250, 0.500000, 15.000000)");
}

TEST(ChangeGain, OneStepAppliesAllGainsAndStopsAtTheEnds) {
  VirtualClock clock;
  FakeDevice fake(std::make_unique<SimulatedK2>(clock));
  ASSERT_TRUE(fake.open());
  StudyState s;
  applyOpenedDevice(s, 1, fake.describe());
  const AmplifierLists l = defaultAmplifierLists(1);
  AmplifierTable t;
  bool changed = true;
  ASSERT_TRUE(changeGain(s, fake, 1, l, t, 0, -1, &changed));  // "Понизить тек.канал" at item 0
  EXPECT_FALSE(changed);
  EXPECT_EQ(fake.count("configure"), 0);
  ASSERT_TRUE(changeGain(s, fake, 1, l, t, 0, +1, &changed));
  EXPECT_TRUE(changed);
  EXPECT_EQ(t.item(0, AmplifierList::Gain), 1);
  EXPECT_EQ(s.calibValue[0], k2CalibValue(s.calibUnits[0], SimulatedK2::voltsPerBit(2)));
  fake.failNext("configure", "сбой");
  EXPECT_EQ(changeGain(s, fake, 1, l, t, 0, +1, &changed).message, "сбой");
  EXPECT_FALSE(changed);
  EXPECT_EQ(t.item(0, AmplifierList::Gain), 1);  // put back
  chooseItem(t, AmplifierList::Gain, l.count(AmplifierList::Gain) - 1, 0, false, 12);
  const int calls = fake.count("configure");
  ASSERT_TRUE(changeGain(s, fake, 1, l, t, 0, +1, &changed));  // "Усилить тек.канал" at the last item
  EXPECT_FALSE(changed);
  EXPECT_EQ(fake.count("configure"), calls);
}

TEST(ApplyAmplifier, AFailingDeviceCallGivesOneMessageAndChangesNothing) {
  VirtualClock clock;
  FakeDevice fake(std::make_unique<SimulatedK2>(clock));
  ASSERT_TRUE(fake.open());
  StudyState s;
  s.calibValue[0] = 9;
  const AmplifierLists l = defaultAmplifierLists(1);
  AmplifierTable t;
  fake.failNext("configure", "сбой");
  const auto r = applyAmplifier(s, fake, 1, l, t, 12, false);
  EXPECT_EQ(r.result.message, "сбой");
  EXPECT_EQ(s.calibValue[0], 9);
  EXPECT_TRUE(applyAmplifier(s, fake, 1, l, t, 12, false).result);  // and the next call works
}

}  // namespace
}  // namespace velor

#include "acquisition/impedance_layout.h"

namespace velor {
namespace {

TEST(ImpedanceLayout, PlacesEveryElectrodeByTheRules) {
  std::vector<std::int32_t> ohms(24);
  for (int e = 0; e < 24; ++e) ohms[static_cast<std::size_t>(e)] = (e + 1) * 1000 + 999;
  ohms[2] = 0x7FFFFFFF;
  std::vector<ImpedancePoint> eeg;
  for (int i = 0; i < 20; ++i) eeg.push_back({100 + i, 200 + i});
  const auto labels = impedanceLabels(ohms, 24, eeg, 400, 300);
  ASSERT_EQ(labels.size(), 22u);  // 20 and 24 are not shown
  for (const auto& l : labels) {
    EXPECT_NE(l.electrode, 20);
    EXPECT_NE(l.electrode, 24);
    if (l.electrode == 3) {
      EXPECT_EQ(l.text, "...");
    } else {
      EXPECT_EQ(l.text, std::to_string(l.electrode)) << l.electrode;  // trunc(e 999 / 1000)
    }
    if (l.electrode == 13) {
      EXPECT_TRUE(l.x == 5 && l.y == 10);
    }
    if (l.electrode == 19) {
      EXPECT_TRUE(l.x == 370 && l.y == 10);
    }
  }
  EXPECT_EQ(labels[0].x, 100);  // electrode 1 at the first EEG channel
  EXPECT_EQ(labels[13].electrode, 14);
  EXPECT_EQ(labels[13].x, 100 + 12);  // 13 goes to the corner, so 14 takes EEG position 12
  // 36 channels: electrodes 25..32 in the bottom columns, k = e − 21.
  std::vector<std::int32_t> ohms32(32, 5000);
  const auto l36 = impedanceLabels(ohms32, 36, eeg, 400, 300);
  for (const auto& l : l36) {
    if (l.electrode == 25) {
      EXPECT_TRUE(l.x == 5 && l.y == 300 + 0 - 70);
    }
    if (l.electrode == 28) {
      EXPECT_TRUE(l.x == 5 && l.y == 300 + 45 - 70);
    }
    if (l.electrode == 29) {
      EXPECT_TRUE(l.x == 370 && l.y == 300 + 0 - 70);
    }
  }
  EXPECT_EQ(electrodeCentre(31, 31, 10, 20, 630, 650).x, 10 + 310);
  EXPECT_EQ(electrodeCentre(31, 31, 10, 20, 630, 650).y, 20 + 310);
}

}  // namespace
}  // namespace velor
