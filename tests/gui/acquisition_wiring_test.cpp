// The workstation's device: opened at the first show from the kind in
// "Vlr.ini", the command "Усилитель" with its dialog, and a device that
// fails: one message, and the workstation keeps working.
#include <gtest/gtest.h>

#include <QApplication>
#include <QListWidget>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>

#include "acquisition/calibration.h"
#include "acquisition/device_texts.h"
#include "acquisition/fake_device.h"
#include "acquisition/simulated_devices.h"
#include "acquisition/ui/amplifier_dialog.h"
#include "core/settings.h"
#include "shell/ui/acquisition_wiring.h"
#include "shell/ui/main_window.h"
#include "tests/test_support.h"

namespace velor::shell {
namespace {

void writeVlrIni(const std::string& programDir, int deviceKind) {
  std::vector<std::string> lines(kMainSettingsLines);
  const char* values[] = {"", "Arial", "10", "0", "0", "System", "10", "", "", "0", "0",
                          "0", "0", "1000", "700", "3", "0", "0", "0", "1", ""};
  for (int i = 0; i < kMainSettingsLines; ++i) lines[static_cast<std::size_t>(i)] = values[i];
  lines[20] = std::to_string(deviceKind);
  ASSERT_TRUE(writeTextLines(programDir + "Vlr.ini", lines));
}

class AcquisitionGui : public ::testing::Test {
 protected:
  void start(int deviceKind) {
    s.programDir = dir.path() + "/";
    s.dataDir = s.programDir;
    writeVlrIni(s.programDir, deviceKind);
    window = std::make_unique<MainWindow>(s, ui);
  }
  void show() {
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    QApplication::processEvents();
  }
  void TearDown() override {
    if (window) window->close();
  }
  test::TempDir dir;
  StudyState s;
  ScriptedInteraction ui;
  std::unique_ptr<MainWindow> window;
};

TEST_F(AcquisitionGui, NvxFromTheSettingsOpensAndItsLeadsDialogChangesAGain) {
  start(3);
  show();
  ASSERT_TRUE(QTest::qWaitFor([&] { return acquisitionDevice(*window) != nullptr; }, 5000));
  EXPECT_EQ(s.channelCount, 20);
  EXPECT_EQ(s.channelNames[0], "Fp1");
  const int base = s.calibValue[0];
  bool shown = false;
  setAmplifierDialogRunner(*window, [&](AmplifierDialog& d) {
    shown = true;
    EXPECT_EQ(d.windowTitle(), "Отведения и усилитель");
    d.cellClicked(0, 3);
    d.chooser()->list()->setCurrentRow(5);  // one step more gain than the amplifier's own
    QTest::mouseClick(d.chooser()->oneButton(), Qt::LeftButton);
    QTest::mouseClick(d.okButton(), Qt::LeftButton);
  });
  window->runCommand(Cmd::Amplifier);
  EXPECT_TRUE(shown);
  EXPECT_TRUE(ui.messages.empty());
  // Items start at the first (least gain, ×16); code 6 halves the base.
  EXPECT_EQ(s.calibValue[0], nvxCalibValue(s.calibUnits[0], 1e-7f, 6));
  EXPECT_NE(s.calibValue[0], base);
  // The list file was written with its defaults.
  EXPECT_TRUE(readTextLines(s.programDir + "ampl3.ini"));
}

TEST_F(AcquisitionGui, AFailingDeviceGivesOneMessageAndTheWorkstationGoesOn) {
  start(1);
  VirtualClock clock;
  FakeDevice* fake = nullptr;
  setAcquisitionDeviceFactory(*window, [&](int) {
    auto f = std::make_unique<FakeDevice>(std::make_unique<SimulatedK2>(clock));
    f->failAlways("open", "K2 не отвечает");
    fake = f.get();
    return f;
  });
  show();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !ui.messages.empty(); }, 5000));
  QTest::qWait(100);
  EXPECT_EQ(ui.messages, std::vector<std::string>{"K2 не отвечает"});
  ASSERT_NE(fake, nullptr);
  EXPECT_EQ(fake->count("open"), 1);
  EXPECT_EQ(acquisitionDevice(*window), nullptr);
  // The amplifier command says the device is not there; other commands work.
  window->runCommand(Cmd::Amplifier);
  ASSERT_EQ(ui.messages.size(), 2u);
  EXPECT_EQ(ui.messages[1], device_texts::kNotOpen);
  EXPECT_NE(window->monitor(), nullptr);
  window->runCommand(Cmd::GainUp);
  EXPECT_EQ(s.gainStep, 1);
}

}  // namespace
}  // namespace velor::shell
