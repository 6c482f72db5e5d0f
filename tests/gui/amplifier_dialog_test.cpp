// "Усилитель", "Отведения и усилитель" and the impedance window "Отведения"
// as a person uses them: a gain chosen from a cell's list, "Утвердить", the
// calibration that follows; a failing device call; the impedance values and
// their refreshing.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <QTimer>

#include "acquisition/amplifier_settings.h"
#include "acquisition/calibration.h"
#include "acquisition/device_registry.h"
#include "acquisition/fake_device.h"
#include "acquisition/simulated_devices.h"
#include "acquisition/ui/amplifier_dialog.h"
#include "acquisition/ui/impedance_window.h"
#include "core/interaction.h"

namespace velor {
namespace {

void clickCell(QTableWidget* grid, int row, int col) {
  const QRect r = grid->visualRect(grid->model()->index(row, col));
  QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, r.center());
}

struct K2Fixture {
  VirtualClock clock;
  FakeDevice device{std::make_unique<SimulatedK2>(clock)};
  StudyState s;
  ScriptedInteraction ui;
  AmplifierLists lists = defaultAmplifierLists(1);
  AmplifierTable table;
  K2Fixture() {
    EXPECT_TRUE(device.open());
    applyOpenedDevice(s, 1, device.describe());
    chooseItem(table, AmplifierList::Gain, 3, 0, true, 12);  // gain 8
  }
  AmplifierDialog::Apply apply() {
    return [this](AmplifierTable& t) { return applyAmplifier(s, device, 1, lists, t, s.channelCount, false).result; };
  }
};

TEST(AmplifierDialog, AGainChosenInTheGridMovesTheCalibration) {
  K2Fixture f;
  const int before = f.s.calibValue[2];
  AmplifierDialog d(f.s, f.ui, AmplifierDialog::Mode::Amplifier, f.lists, f.table, f.s.channelCount, f.s.channelCount,
                    f.apply());
  d.show();
  EXPECT_EQ(d.windowTitle(), "Усилитель");
  ASSERT_EQ(d.grid()->rowCount(), 12);
  EXPECT_EQ(d.grid()->horizontalHeaderItem(1)->text(), "КУ/1000");
  EXPECT_EQ(d.grid()->item(2, 1)->text(), "8");
  clickCell(d.grid(), 2, 1);
  ASSERT_TRUE(d.chooser()->isVisible());
  d.chooser()->list()->setCurrentRow(4);  // gain 16
  QTest::mouseClick(d.chooser()->oneButton(), Qt::LeftButton);
  EXPECT_FALSE(d.chooser()->isVisible());
  EXPECT_EQ(d.grid()->item(2, 1)->text(), "16");
  EXPECT_EQ(d.grid()->item(3, 1)->text(), "8");  // "1 канал": only this row
  EXPECT_EQ(f.s.calibValue[2], before);            // nothing sent before "Утвердить"
  QTest::mouseClick(d.okButton(), Qt::LeftButton);
  EXPECT_EQ(d.result(), QDialog::Accepted);
  EXPECT_EQ(f.s.calibValue[2], before / 2);
  EXPECT_EQ(f.s.calibValue[3], before);
  EXPECT_TRUE(f.ui.messages.empty());
}

TEST(AmplifierDialog, AllChannelsSetsEveryRow) {
  K2Fixture f;
  AmplifierDialog d(f.s, f.ui, AmplifierDialog::Mode::Amplifier, f.lists, f.table, 12, 12, f.apply());
  d.show();
  clickCell(d.grid(), 0, 3);
  d.chooser()->list()->setCurrentRow(1);
  QTest::mouseClick(d.chooser()->allButton(), Qt::LeftButton);
  for (int r = 0; r < 12; ++r) EXPECT_EQ(d.grid()->item(r, 3)->text(), "35") << r;
}

TEST(AmplifierDialog, AFailingDeviceCallShowsOneMessageAndTheDialogGoesOn) {
  K2Fixture f;
  const int before = f.s.calibValue[0];
  AmplifierDialog d(f.s, f.ui, AmplifierDialog::Mode::Amplifier, f.lists, f.table, 12, 12, f.apply());
  d.show();
  clickCell(d.grid(), 0, 1);
  d.chooser()->list()->setCurrentRow(0);
  QTest::mouseClick(d.chooser()->oneButton(), Qt::LeftButton);
  f.device.failNext("configure", "Ошибка устройства");
  QTest::mouseClick(d.okButton(), Qt::LeftButton);
  ASSERT_EQ(f.ui.messages.size(), 1u);
  EXPECT_EQ(f.ui.messages[0], "Ошибка устройства");
  EXPECT_TRUE(d.isVisible());
  EXPECT_EQ(f.s.calibValue[0], before);
  QTest::mouseClick(d.okButton(), Qt::LeftButton);  // the device works again
  EXPECT_EQ(d.result(), QDialog::Accepted);
  EXPECT_EQ(f.s.calibValue[0], k2CalibValue(f.s.calibUnits[0], SimulatedK2::voltsPerBit(1)));
  EXPECT_GT(f.s.calibValue[0], before * 7);
  EXPECT_EQ(f.ui.messages.size(), 1u);
}

TEST(AmplifierDialog, BoardRefusesAZeroGainFactor) {
  VirtualClock clock;
  SimulatedConverterBoard board(clock);
  ASSERT_TRUE(board.open());
  StudyState s;
  ScriptedInteraction ui;
  AmplifierLists lists = defaultAmplifierLists(0);
  lists.lists[0][1].text = "0";
  AmplifierTable table;
  AmplifierDialog d(s, ui, AmplifierDialog::Mode::Amplifier, lists, table, 4, 4, [&](AmplifierTable& t) {
    return applyAmplifier(s, board, 0, lists, t, 4, false).result;
  });
  d.show();
  EXPECT_TRUE(d.notchBox()->isChecked());
  EXPECT_EQ(d.notchBox()->text(), "Реж 50Гц");
  clickCell(d.grid(), 1, 1);
  d.chooser()->list()->setCurrentRow(1);
  QTest::mouseClick(d.chooser()->oneButton(), Qt::LeftButton);
  QTest::mouseClick(d.okButton(), Qt::LeftButton);
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_NE(ui.messages[0].find("\"0\""), std::string::npos);
  EXPECT_TRUE(d.isVisible());
}

TEST(LeadsDialog, KindsDesignationsAndNvxCalibration) {
  VirtualClock clock;
  SimulatedNvx nvx(clock);
  ASSERT_TRUE(nvx.open());
  StudyState s;
  ScriptedInteraction ui;
  applyOpenedDevice(s, 3, nvx.describe());
  const AmplifierLists lists = defaultAmplifierLists(3);
  AmplifierTable table;
  chooseItem(table, AmplifierList::Gain, 4, 0, true, 20);
  AmplifierDialog d(s, ui, AmplifierDialog::Mode::Leads, lists, table, 20, 20,
                    [&](AmplifierTable& t) { return applyLeads(s, nvx, lists, t); });
  d.show();
  EXPECT_EQ(d.windowTitle(), "Отведения и усилитель");
  EXPECT_EQ(d.grid()->item(0, 2)->text(), "Fp1");
  EXPECT_EQ(d.grid()->item(0, 1)->text(), "ЭЭГ");
  // Kind "Акс" is the record model's 247.
  clickCell(d.grid(), 1, 1);
  d.chooser()->list()->setCurrentRow(9);
  QTest::mouseClick(d.chooser()->oneButton(), Qt::LeftButton);
  EXPECT_EQ(d.grid()->item(1, 1)->text(), "Акс");
  d.grid()->item(0, 2)->setText("Fpz");
  clickCell(d.grid(), 0, 3);
  d.chooser()->list()->setCurrentRow(5);  // code 6: half the base
  QTest::mouseClick(d.chooser()->oneButton(), Qt::LeftButton);
  QTest::mouseClick(d.okButton(), Qt::LeftButton);
  EXPECT_EQ(d.result(), QDialog::Accepted);
  EXPECT_EQ(s.channelPosX[1], 247);
  EXPECT_EQ(s.channelNames[0], "Fpz");
  EXPECT_EQ(s.calibValue[0], 204);
  EXPECT_EQ(s.calibValue[2], 409);
}

TEST(ImpedanceWindow, ShowsKiloOhmsAndDotsAndRefreshes) {
  VirtualClock clock;
  SimulatedNvx nvx(clock, 5);
  ASSERT_TRUE(nvx.open());
  StudyState s;
  ScriptedInteraction ui;
  applyOpenedDevice(s, 3, nvx.describe());
  nvx.disconnectElectrode(2);
  ASSERT_TRUE(nvx.startImpedance());
  bool stopped = false;
  ImpedanceWindow w(s, ui, 24, [&](std::vector<std::int32_t>& v) { return nvx.readImpedance(v); },
                    [&] { stopped = nvx.stopImpedance().ok; });
  w.show();
  EXPECT_EQ(w.windowTitle(), "Отведения");
  EXPECT_EQ(w.timer()->interval(), 1000);
  EXPECT_TRUE(w.timer()->isActive());
  w.refresh();
  ASSERT_NE(w.valueLabel(3), nullptr);
  EXPECT_EQ(w.valueLabel(3)->text(), "...");
  ASSERT_NE(w.valueLabel(1), nullptr);
  std::vector<std::int32_t> now;
  ASSERT_TRUE(nvx.readImpedance(now));
  EXPECT_EQ(w.valueLabel(1)->text(), QString::number(now[0] / 1000));
  EXPECT_EQ(w.valueLabel(20), nullptr);  // not shown
  EXPECT_EQ(w.valueLabel(24), nullptr);
  ASSERT_NE(w.valueLabel(13), nullptr);
  EXPECT_EQ(w.valueLabel(13)->pos(), QPoint(10 + 5, 10 + 10));
  // The timer refreshes by itself.
  const int before = w.refreshCount();
  EXPECT_TRUE(QTest::qWaitFor([&] { return w.refreshCount() > before; }, 5000));
  w.close();
  EXPECT_TRUE(stopped);
  EXPECT_FALSE(w.timer()->isActive());
}

TEST(ImpedanceWindow, AFailingReadingIsShownOnceAndStopsTheRefresh) {
  VirtualClock clock;
  FakeDevice fake(std::make_unique<SimulatedNvx>(clock));
  ASSERT_TRUE(fake.open());
  ASSERT_TRUE(fake.startImpedance());
  StudyState s;
  ScriptedInteraction ui;
  fake.failAlways("readImpedance", "нет ответа");
  ImpedanceWindow w(s, ui, 24, [&](std::vector<std::int32_t>& v) { return fake.readImpedance(v); }, [] {});
  w.refresh();
  w.refresh();
  EXPECT_EQ(ui.messages, std::vector<std::string>{"нет ответа"});
  EXPECT_FALSE(w.timer()->isActive());
}

}  // namespace
}  // namespace velor
