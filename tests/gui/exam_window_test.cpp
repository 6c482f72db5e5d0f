// An examination in the workstation: F9, the plan "Исследование", "Старт",
// live traces on the monitor, "Вкл", records written one after another, Esc,
// and the file opened afterwards; the question before a file is replaced.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QTest>
#include <QToolBar>
#include <QToolButton>

#include "acquisition/exam_texts.h"
#include "acquisition/exam_plan.h"
#include "acquisition/simulated_devices.h"
#include "acquisition/ui/express_dialog.h"
#include "acquisition/ui/plan_dialog.h"
#include "acquisition/ui/record_file_dialog.h"
#include "acquisition/ui/sport_dialog.h"
#include "core/binio.h"
#include "core/record_file.h"
#include "core/settings.h"
#include "shell/ui/acquisition_wiring.h"
#include "shell/ui/exam_wiring.h"
#include "shell/ui/main_window.h"
#include "tests/gui/exam_window_fixture.h"
#include "tests/test_support.h"
#include "viewer/ui/monitor_widget.h"

namespace velor::shell {
namespace {

class ExamGui : public test_exam::ExamWindowFixture {
 protected:
  // The plan: 8 channels, records of 32 samples (0.128 s at 250 Hz), file
  // `name`; started once, cancelled when it comes back after the examination.
  void planWith(const std::string& name, bool* shown = nullptr) {
    starts = 1;
    setPlanDialogRunner(*window, [this, name, shown](PlanDialog& d) {
      ++planShown;
      if (shown) *shown = true;
      if (starts == 0) {
        d.cancelClicked();
        return;
      }
      EXPECT_EQ(d.windowTitle(), "Исследование");
      EXPECT_FALSE(d.protocolButton()->isEnabled());
      d.channelsEdit()->setText("8");
      d.intervalList()->setCurrentIndex(0);
      d.fileList()->setEditText(QString::fromStdString(name));
      QTest::mouseClick(d.startButton(), Qt::LeftButton);
      if (s.dialogResult != 1)
        d.cancelClicked();
      else
        --starts;
    });
  }
  int starts = 0;
  int planShown = 0;
  int inkPixels() const {
    const QImage& img = window->monitor()->surface();
    int n = 0;
    for (int y = 20; y < s.monitorHeight - 5; ++y)
      for (int x = 0; x < std::min(img.width(), s.monitorWidth - 30); ++x)
        if (qGray(img.pixel(x, y)) < 60) ++n;
    return n;
  }
};

TEST_F(ExamGui, F9RecordsLiveEscStopsAndTheFileOpens) {
  planWith("exam1");
  window->runCommand(Cmd::Examination);
  ASSERT_TRUE(examinationStatus(*window).has_value()) << (ui.messages.empty() ? "" : ui.messages[0]);
  QToolBar* panel = recordingPanel(*window);
  ASSERT_NE(panel, nullptr);
  EXPECT_TRUE(panel->isVisible());
  EXPECT_FALSE(window->menuBar()->isVisible());
  const int before = inkPixels();
  // Live traces sweep in while nothing is recorded yet.
  ASSERT_TRUE(QTest::qWaitFor([&] { return inkPixels() > before + 200; }, 5000));
  EXPECT_EQ(examinationStatus(*window)->recordCount, 0);
  auto* record = panel->findChild<QToolButton*>("recordButton");
  ASSERT_NE(record, nullptr);
  EXPECT_EQ(record->text(), "Вкл");
  QTest::mouseClick(record, Qt::LeftButton);
  ASSERT_TRUE(QTest::qWaitFor([&] { return examinationStatus(*window)->recordCount >= 3; }, 10000));
  QTest::qWait(100);
  EXPECT_EQ(record->text(), "Выкл");
  const QString caption = window->monitorCaption()->text();
  EXPECT_TRUE(caption.startsWith("План=, файл=exam1: ")) << caption.toStdString();
  EXPECT_TRUE(caption.contains("ms-250Гц Зап:")) << caption.toStdString();
  EXPECT_TRUE(caption.endsWith(" ЗапВкл")) << caption.toStdString();

  QTest::keyClick(window->monitor(), Qt::Key_Escape);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !examinationStatus(*window).has_value(); }, 5000));
  // The plan comes back; cancelled, the recording stays open in the viewer.
  ASSERT_TRUE(QTest::qWaitFor([&] { return planShown == 2; }, 5000));
  EXPECT_EQ(s.acquisitionActive, 0);
  EXPECT_FALSE(panel->isVisible());
  EXPECT_TRUE(window->menuBar()->isVisible());
  const std::string path = dir.file("exam1.cad");
  EXPECT_EQ(s.recordFilePath, path);
  RecordFileHeader h;
  std::vector<RecordInfo> records;
  std::string reason;
  ASSERT_TRUE(readRecordFileHeader(path, h, reason)) << reason;
  ASSERT_TRUE(scanRecords(path, h, records, reason)) << reason;
  EXPECT_EQ(h.channelCount, 8);
  EXPECT_EQ(h.sampleRate, 250);
  EXPECT_GE(h.recordCount, 3);
  EXPECT_EQ(static_cast<std::size_t>(h.recordCount), records.size());
  for (const auto& r : records) EXPECT_EQ(r.recordLength, 32);
  EXPECT_EQ(s.recordCount, h.recordCount);
  EXPECT_EQ(s.channelCount, 8);
  // The key log holds the recording switch and the stop.
  const std::string keys = test::readBytes(dir.file("Keys.txt"));
  EXPECT_NE(keys.find("\t62\r\n"), std::string::npos) << keys;
  EXPECT_NE(keys.find("\t1\r\n"), std::string::npos) << keys;
  // F12 in the viewer opens the plan again.
  QTest::keyClick(window->monitor(), Qt::Key_F12);
  EXPECT_EQ(planShown, 3);
}

TEST_F(ExamGui, StartAsksBeforeReplacingARecordingAndAnEmptyExaminationLeavesNoFile) {
  const std::string path = dir.file("old.cad");
  test::writeBytes(path, "an earlier recording");
  ui.yesNoScript = {false};
  bool shown = false;
  planWith("old", &shown);
  window->runCommand(Cmd::Examination);
  EXPECT_TRUE(shown);
  EXPECT_EQ(ui.questions, std::vector<std::string>{exam_texts::kOverwriteQuestion});
  EXPECT_FALSE(examinationStatus(*window).has_value());
  EXPECT_EQ(test::readBytes(path), "an earlier recording");

  // Yes: the examination runs; stopped before "Вкл" it wrote no record, and
  // its file is gone — only its own file.
  test::writeBytes(dir.file("other.cad"), "kept");
  ui.yesNoScript = {true};
  window->runCommand(Cmd::Examination);
  ASSERT_TRUE(examinationStatus(*window).has_value());
  QTest::qWait(200);
  window->runCommand(Cmd::Examination);  // F9 during the examination ends it
  ASSERT_TRUE(QTest::qWaitFor([&] { return !examinationStatus(*window).has_value(); }, 5000));
  EXPECT_FALSE(fileExists(path));
  EXPECT_EQ(test::readBytes(dir.file("other.cad")), "kept");
}

TEST_F(ExamGui, ClosingTheWindowDuringAnExaminationOnlyEndsIt) {
  planWith("exam2");
  window->runCommand(Cmd::Examination);
  ASSERT_TRUE(examinationStatus(*window).has_value());
  QTest::qWait(100);
  window->close();
  EXPECT_FALSE(examinationStatus(*window).has_value());
  EXPECT_TRUE(window->isVisible());
}

}  // namespace
}  // namespace velor::shell

namespace velor::shell {
namespace {

// Work mode 2: F9 shows "Диагностика"; "Меню планирования" leads on to the
// plan, and a stage starts the examination with one channel per athlete.
TEST_F(ExamGui, SportsDiagnosticsComesFirstInWorkMode2) {
  s.groupMode = 2;
  StudyState p;
  p.channelCount = 6;
  p.sampleRate = 250;
  p.recordLength = 32;
  p.markChannelCount = 1;
  std::string reason;
  ASSERT_TRUE(writePlanFile(s.programDir + "sport0.cap", p, ExaminationPlan{}, 4, reason)) << reason;
  bool planShown = false;
  setSportDialogRunner(*window, [](SportDialog& d) {
    EXPECT_EQ(d.windowTitle(), "Диагностика");
    EXPECT_TRUE(d.ecgButton()->isEnabled());
    QTest::mouseClick(d.planMenuButton(), Qt::LeftButton);
  });
  setPlanDialogRunner(*window, [&](PlanDialog& d) {
    planShown = true;
    d.cancelClicked();
  });
  window->runCommand(Cmd::Examination);
  EXPECT_TRUE(planShown);
  EXPECT_FALSE(examinationStatus(*window).has_value());

  setSportDialogRunner(*window, [](SportDialog& d) {
    d.athletesList()->setCurrentIndex(2);
    d.fileList()->setEditText("team");
    QTest::mouseClick(d.stageButton(SportStage::Relaxation), Qt::LeftButton);
  });
  window->runCommand(Cmd::Examination);
  ASSERT_TRUE(examinationStatus(*window).has_value()) << (ui.messages.empty() ? "" : ui.messages[0]);
  QTest::qWait(100);
  stopExamination(*window);
  // Work mode 2 keeps the file even without records.
  RecordFileHeader h;
  ASSERT_TRUE(readRecordFileHeader(dir.file("team.cad"), h, reason)) << reason;
  EXPECT_EQ(h.channelCount, 3);
  EXPECT_EQ(test::readBytes(dir.file("qpln_s.ini")), "2\r\nteam\r\n");
}

}  // namespace
}  // namespace velor::shell

namespace velor::shell {
namespace {

class ExamGuiNvx : public ExamGui {
 protected:
  ExamGuiNvx() { kindText = "3"; }
};

// Start-up writes the amplifier's plan file with the defaults when it is
// missing; the plan dialog shows what the file holds, also after a restart
// with a changed file.
TEST_F(ExamGuiNvx, TheDevicePlanFileIsWrittenAtStartUpAndThePlanShowsIt) {
  const std::string path = dir.file("nvx24.cap");
  ASSERT_TRUE(QTest::qWaitFor([&] { return fileExists(path); }, 5000));
  EXPECT_TRUE(ui.messages.empty()) << ui.messages[0];
  StudyState back;
  back.deviceKind = 3;
  ExaminationPlan plan;
  std::string reason;
  ASSERT_TRUE(readPlanFile(path, back, plan, reason)) << reason;
  EXPECT_EQ(back.channelCount, 20);
  EXPECT_EQ(back.sampleRate, 250);
  EXPECT_EQ(back.recordLength, 1024);
  auto shows = [&](const char* channels, const char* rate, int interval) {
    bool seen = false;
    setPlanDialogRunner(*window, [&](PlanDialog& d) {
      seen = true;
      EXPECT_EQ(d.channelsEdit()->text().toStdString(), channels);
      EXPECT_EQ(d.rateList()->currentText().toStdString(), rate);
      EXPECT_EQ(d.intervalList()->currentIndex(), interval);
      d.cancelClicked();
    });
    window->runCommand(Cmd::Examination);
    EXPECT_TRUE(seen);
  };
  shows("20", "250", 5);

  // Another plan in the file: the next start of the program takes it.
  back.channelCount = 12;
  back.shownChannelCount = 12;
  back.sampleRate = 500;
  back.recordLength = 2048;
  ASSERT_TRUE(writePlanFile(path, back, plan, 3, reason)) << reason;
  window->close();
  window.reset();
  s.channelCount = 4;
  window = std::make_unique<MainWindow>(s, ui);
  window->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
  ASSERT_TRUE(QTest::qWaitFor([&] { return acquisitionDevice(*window) != nullptr; }, 5000));
  QTest::qWait(50);
  shows("12", "500", 6);
}

// The recording panel during an examination: the current channel's filters,
// its gain and the test signal reach the amplifier; what the panel shows
// follows the amplifier table.
TEST_F(ExamGuiNvx, PanelFiltersGainAndTestSignalReachTheAmplifier) {
  planWith("nvxexam");
  window->runCommand(Cmd::Examination);
  ASSERT_TRUE(examinationStatus(*window).has_value()) << (ui.messages.empty() ? "" : ui.messages[0]);
  QToolBar* panel = recordingPanel(*window);
  auto* channels = panel->findChild<QComboBox*>("channelList");
  auto* highPass = panel->findChild<QComboBox*>("highPassList");
  auto* lowPass = panel->findChild<QComboBox*>("lowPassList");
  auto* gainUp = panel->findChild<QToolButton*>("gainUpButton");
  auto* test = panel->findChild<QCheckBox*>("testBox");
  ASSERT_TRUE(channels && highPass && lowPass && gainUp && test);
  EXPECT_EQ(channels->count(), 8);
  bool testShown = false;
  for (QAction* a : panel->actions())
    if (panel->widgetForAction(a) == test) testShown = a->isVisible();
  EXPECT_TRUE(testShown);
  EXPECT_FALSE(test->isChecked());
  EXPECT_EQ(test->toolTip(), "Подача тестового сигнала на все каналы");
  const AmplifierLists& lists = amplifierLists(*window);
  ASSERT_GE(lists.count(AmplifierList::HighPass), 2);
  EXPECT_EQ(highPass->count(), lists.count(AmplifierList::HighPass));
  EXPECT_EQ(lowPass->count(), lists.count(AmplifierList::LowPass));

  channels->setCurrentIndex(2);
  const int item = highPass->currentIndex() == 1 ? 0 : 1;
  highPass->setCurrentIndex(item);
  Q_EMIT highPass->activated(item);
  ASSERT_TRUE(QTest::qWaitFor([&] { return amplifierTable(*window).item(2, AmplifierList::HighPass) == item; }, 5000));
  EXPECT_NE(amplifierTable(*window).item(0, AmplifierList::HighPass), item);

  const int gainBefore = amplifierTable(*window).item(2, AmplifierList::Gain);
  const int calibBefore = s.calibValue[2];
  gainUp->click();  // it may sit in the tool bar's overflow
  ASSERT_TRUE(QTest::qWaitFor([&] { return amplifierTable(*window).item(2, AmplifierList::Gain) == gainBefore + 1; }, 5000));
  QTest::qWait(50);

  test->click();
  EXPECT_TRUE(test->isChecked());
  QTest::qWait(200);
  stopExamination(*window);
  auto* nvx = dynamic_cast<SimulatedNvx*>(acquisitionDevice(*window));
  ASSERT_NE(nvx, nullptr);
  EXPECT_TRUE(nvx->testSignal());
  const auto& calls = nvx->calls();
  EXPECT_NE(std::find(calls.begin(), calls.end(), "NVXStartTest(h, 0)"), calls.end());
  EXPECT_NE(s.calibValue[2], calibBefore);
  EXPECT_TRUE(ui.messages.empty()) << ui.messages[0];
}

}  // namespace
}  // namespace velor::shell

namespace velor::shell {
namespace {

// "Файл" on the recording panel: the examination goes on into a file the
// person names; the first, which got no record, is not left behind.
TEST_F(ExamGui, TheRecordFileDialogSwitchesTheExaminationFile) {
  planWith("first");
  window->runCommand(Cmd::Examination);
  ASSERT_TRUE(examinationStatus(*window).has_value());
  QToolBar* panel = recordingPanel(*window);
  auto* file = panel->findChild<QToolButton*>("fileButton");
  auto* record = panel->findChild<QToolButton*>("recordButton");
  ASSERT_TRUE(file && record);
  EXPECT_FALSE(file->isVisible());
  bool shown = false;
  setRecordFileDialogRunner(*window, [&](RecordFileDialog& d) {
    shown = true;
    EXPECT_EQ(d.windowTitle(), "Файл записи");
    EXPECT_EQ(d.promptLabel()->text(), "Введите имя файла");
    EXPECT_EQ(d.nameEdit()->text(), "first");
    EXPECT_EQ(d.confirmButton()->text(), "Утвердить");
    d.nameEdit()->setText("second");
    QTest::mouseClick(d.confirmButton(), Qt::LeftButton);
  });
  file->click();
  EXPECT_TRUE(shown);
  ASSERT_TRUE(QTest::qWaitFor([&] { return examinationStatus(*window)->examPath == dir.file("second.cad"); }, 5000));
  EXPECT_FALSE(fileExists(dir.file("first.cad")));
  QTest::qWait(50);
  EXPECT_TRUE(record->isEnabled());
  EXPECT_EQ(record->text(), "Вкл");
  QTest::mouseClick(record, Qt::LeftButton);
  ASSERT_TRUE(QTest::qWaitFor([&] { return examinationStatus(*window)->recordCount >= 2; }, 10000));
  EXPECT_TRUE(window->monitorCaption()->text().contains("файл=second: ")) << window->monitorCaption()->text().toStdString();

  // Cancelled, or the label clicked: nothing changes.
  setRecordFileDialogRunner(*window, [&](RecordFileDialog& d) {
    d.nameEdit()->setText("third");
    QTest::mouseClick(d.promptLabel(), Qt::LeftButton);
  });
  file->click();
  EXPECT_EQ(s.dialogResult, 0);
  QTest::qWait(100);
  EXPECT_EQ(examinationStatus(*window)->examPath, dir.file("second.cad"));
  stopExamination(*window);
  RecordFileHeader h;
  std::string reason;
  ASSERT_TRUE(readRecordFileHeader(dir.file("second.cad"), h, reason)) << reason;
  EXPECT_GE(h.recordCount, 2);
  EXPECT_FALSE(fileExists(dir.file("third.cad")));
}

}  // namespace
}  // namespace velor::shell

namespace velor::shell {
namespace {

// "Экспресс-анализ" from the plan: the chosen kind and its fields reach the
// plan, are kept in "qexa.ini", and the examination
// runs the analysis — the ECG monitor here, which writes at most one record
// a minute whatever "Вкл" says.
TEST_F(ExamGui, TheExpressDialogChoosesTheAnalysisTheExaminationRuns) {
  int dialogs = 0;
  setExpressDialogRunner(*window, [&](ExpressDialog& e) {
    ++dialogs;
    EXPECT_EQ(e.windowTitle(), "Экспресс-анализ");
    ASSERT_EQ(e.kinds()->buttons().size(), 8);
    EXPECT_EQ(e.kinds()->button(4)->text(), "&4=ЭКГ-монитор");
    EXPECT_EQ(e.channelList()->itemText(0), "Все");
    EXPECT_EQ(e.bandList()->itemText(e.bandList()->count() - 1), "4 диапазона");
    e.kinds()->button(4)->setChecked(true);
    e.maxEdit()->setText("150");
    e.minEdit()->setText("40");
    e.channelList()->setCurrentIndex(2);
    QTest::mouseClick(e.confirmButton(), Qt::LeftButton);
  });
  bool started = false;
  setPlanDialogRunner(*window, [&](PlanDialog& d) {
    if (started) {
      d.cancelClicked();
      return;
    }
    EXPECT_TRUE(d.expressButton()->isEnabled());
    QTest::mouseClick(d.expressButton(), Qt::LeftButton);
    EXPECT_EQ(s.dialogResult, 0);
    d.intervalList()->setCurrentIndex(3);
    d.fileList()->setEditText("ecg");
    QTest::mouseClick(d.startButton(), Qt::LeftButton);
    started = s.dialogResult == 1;
  });
  window->runCommand(Cmd::Examination);
  EXPECT_EQ(dialogs, 1);
  ASSERT_TRUE(examinationStatus(*window).has_value()) << (ui.messages.empty() ? "" : ui.messages[0]);
  EXPECT_TRUE(ui.messages.empty()) << ui.messages[0];
  ASSERT_TRUE(QTest::qWaitFor([&] { return examinationStatus(*window)->recordNumber >= 3; }, 10000));
  const ExamStatus st = *examinationStatus(*window);
  EXPECT_FALSE(st.expressSkipped);
  EXPECT_EQ(st.heartRates.size(), static_cast<std::size_t>(s.channelCount));
  EXPECT_LE(st.recordCount, 1);
  stopExamination(*window);
  EXPECT_EQ(test::readBytes(dir.file("qexa.ini")), "1\r\n0\r\n150\r\n40\r\n0\r\n2\r\n");
}

}  // namespace
}  // namespace velor::shell
