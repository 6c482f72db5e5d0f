// The evoked-potential window "Анализ ВП" from the main window: an average
// made in the window and saved is byte for byte the file velor-cli ep writes
// with the same settings at the same clock (SOURCE_DATE_EPOCH for both); a run whose every epoch is rejected shows both messages and
// leaves the record as it was; "Выделить" puts the peak table into the text
// window; the settings survive in "q16.ini"; the ERD/S type asks
// "Фильтрация ERS/ERD" first and agrees with velor-cli ep --erd.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QFileInfo>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <cmath>
#include <memory>
#include <random>

#include "core/record_file.h"
#include "core/settings.h"
#include "eeg/ui/ers_erd_dialog.h"
#include "physio/evoked_texts.h"
#include "physio/ui/evoked_window.h"
#include "results/ui/text_results_window.h"
#include "shell/commands.h"
#include "shell/ui/evoked_wiring.h"
#include "shell/ui/main_window.h"
#include "shell/ui/results_wiring.h"
#include "tools/ui/transformations_window.h"
#include "tests/chooser_support.h"
#include "tests/test_support.h"

namespace velor {
namespace {

QString qs(const char* s) { return QString::fromUtf8(s); }

constexpr int kRate = 1000, kLength = 1000, kStimulus = 300;

// `records` records of two channels: a bump of 150 codes 100 ms after a
// stimulus code 1 at kStimulus, in noise of σ 60 codes, plus (ERD) a 10 Hz
// burst that stops at the stimulus.
void writeRecords(const std::string& path, int records, bool burst = false) {
  auto s = std::make_unique<StudyState>();
  s->channelCount = 2;
  s->markChannelCount = 1;
  s->recordLength = s->plannedRecordLength = kLength;
  s->sampleRate = kRate;
  s->recordFileVersion = kVersionCA40;
  s->recordCount = records;
  for (int c = 0; c < 2; ++c) {
    s->channelNames[static_cast<std::size_t>(c)] = c == 0 ? "Cz" : "Pz";
    s->zeroLevel[c] = 2048;
    s->calibUnits[c] = 2000;
    s->calibValue[c] = 100;
    s->channelPosX[c] = 10;
  }
  std::mt19937 gen(5);
  std::normal_distribution<double> noise(0, 60);
  const int fd = ::open(path.c_str(), O_CREAT | O_TRUNC | O_WRONLY, 0644);
  ASSERT_GE(fd, 0);
  ASSERT_TRUE(writeHeader(*s, fd));
  for (int r = 0; r < records; ++r) {
    for (int c = 0; c < 2; ++c)
      for (int i = 0; i < kLength; ++i) {
        const double t = (i - kStimulus - 100) / 15.0;
        double v = 150 * std::exp(-t * t / 2) + noise(gen);
        if (burst && i < kStimulus) v += 300 * std::sin(2 * 3.14159265358979 * 10 * i / kRate);
        s->channel(c)[i] = static_cast<std::int16_t>(std::lround(2048 + v));
      }
    for (int i = 0; i < kLength; ++i) s->markChannel[i] = i >= kStimulus && i < kStimulus + 3 ? 1 : 0;
    ASSERT_TRUE(writeRecord(*s, fd));
  }
  ::close(fd);
}

// Where two files first differ, for the failure message.
std::string firstDifference(const std::string& a, const std::string& b) {
  std::size_t i = 0;
  while (i < a.size() && i < b.size() && a[i] == b[i]) ++i;
  if (i == a.size() && i == b.size()) return "same";
  return "first difference at byte " + std::to_string(i) + " of " + std::to_string(a.size()) + "/" +
         std::to_string(b.size());
}

// velor-cli beside the test binary's directory (the build directory).
std::string cliPath() {
  return QFileInfo(QCoreApplication::applicationDirPath() + "/../velor-cli").absoluteFilePath().toStdString();
}

class EvokedCommand : public ::testing::Test {
 protected:
  test::TempDir dir;
  StudyState s;
  ScriptedInteraction ui;
  test::ScriptedChooser chooser;
  std::unique_ptr<shell::MainWindow> window;
  std::string input;
  void SetUp() override {
    // Every record carries the time of day it was written and the header its
    // date: both writers read this one clock.
    ::setenv("SOURCE_DATE_EPOCH", "1700000000", 1);
    s.programDir = dir.path() + "/";
    s.dataDir = s.programDir;
    window = std::make_unique<shell::MainWindow>(s, ui);
    window->setFileChooser(&chooser);
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
  }
  void TearDown() override { ::unsetenv("SOURCE_DATE_EPOCH"); }
  void open(int records, bool burst = false) {
    input = dir.file("in.cad");
    writeRecords(input, records, burst);
    chooser.answer = input;
    window->action(shell::Cmd::Open)->trigger();
    ASSERT_EQ(s.recordCount, records);
  }
  // The window with a reference S1 and an epoch from −0.1 s to 0.4 s; `more`
  // sets further controls, `press` ends it.
  void runWindow(const std::function<void(EvokedWindow&)>& more, const std::function<void(EvokedWindow&)>& press) {
    shell::setEvokedWindowRunner(*window, [&](EvokedWindow& w) {
      w.show();
      w.referenceList()->setEditText("S1");
      w.edit(0)->setText("-0.1");
      w.edit(1)->setText("0.4");
      if (more) more(w);
      press(w);
    });
    window->action(shell::Cmd::EvokedPotentials)->trigger();
    QApplication::processEvents();
  }
  std::string saveAs(const std::string& name) {
    chooser.answer = dir.file(name);
    window->action(shell::Cmd::Save)->trigger();
    return test::readBytes(dir.file(name));
  }
  std::string cliFile(const std::string& args) {
    const std::string out = dir.file("cli.cad");
    std::string o, e;
    // Run in the test's own folder, the window's programDir: velor-cli looks
    // for its settings in the folder it runs in, where other tests write theirs.
    EXPECT_EQ(test::runCommand("cd '" + dir.path() + "' && '" + cliPath() + "' ep '" + input + "' " + args +
                                   " --out '" + out + "'",
                               &o, &e),
              0)
        << e;
    return test::readBytes(out);
  }
};

TEST_F(EvokedCommand, AverageFromTheWindowIsTheFileOfTheCli) {
  if (!QFileInfo::exists(QString::fromStdString(cliPath()))) GTEST_SKIP() << "velor-cli not built";
  ASSERT_TRUE(window->action(shell::Cmd::EvokedPotentials)->isEnabled());
  open(40);
  runWindow(
      [](EvokedWindow& w) {
        w.zeroBox()->setChecked(true);
        w.gainList()->setCurrentIndex(1);       // 2
        w.smoothingList()->setCurrentIndex(1);  // 1 pass
      },
      [](EvokedWindow& w) { w.runButton()->click(); });
  EXPECT_TRUE(ui.messages.empty()) << ui.messages.front();
  EXPECT_EQ(s.recordLength, 500);
  EXPECT_EQ(s.recordCount, -40);
  const std::string gui = saveAs("gui.cad");
  ASSERT_FALSE(gui.empty());
  const std::string cli = cliFile("--ref S1 --start -100 --length 500 --zero --gain 2 --smooth 1");
  ASSERT_FALSE(cli.empty());
  EXPECT_EQ(gui.size(), cli.size());
  EXPECT_TRUE(gui == cli) << firstDifference(gui, cli);
}

TEST_F(EvokedCommand, EveryEpochRejectedShowsBothMessagesAndKeepsTheRecord) {
  open(5);
  window->action(shell::Cmd::NextRecord)->trigger();  // the record in memory is the second
  ASSERT_EQ(s.currentRecord, 2);
  const test::StudySnapshot before(s);
  runWindow([](EvokedWindow& w) { w.edit(5)->setText("1"); },  // 1 µV: every epoch has artefacts
            [](EvokedWindow& w) { w.runButton()->click(); });
  ASSERT_EQ(ui.messages.size(), 2u);
  EXPECT_EQ(ui.messages[0], kEpNothingAveraged);
  EXPECT_EQ(ui.messages[1], std::string(kEpRejectedPrefix) + "5" + kEpRejectedSuffix);
  EXPECT_TRUE(test::StudySnapshot(s) == before);
}

TEST_F(EvokedCommand, PeaksGoToTheTextWindow) {
  open(20);
  runWindow({}, [](EvokedWindow& w) { w.runButton()->click(); });
  ASSERT_EQ(s.recordLength, 500);
  auto peaks = [&] {
    runWindow(
        [](EvokedWindow& w) {
          const char* row0[4] = {"P100", "+", "0.15", "0.25"};
          const char* row1[4] = {"N50", "-", "0", "0.1"};
          for (int c = 0; c < 4; ++c) {
            w.peakGrid()->item(0, c)->setText(row0[c]);
            w.peakGrid()->item(1, c)->setText(row1[c]);
          }
        },
        [](EvokedWindow& w) { w.peaksButton()->click(); });
    TextResultsWindow* text = textWindowOf(window.get());
    EXPECT_NE(text, nullptr);
    return text ? text->findChild<QPlainTextEdit*>()->toPlainText() : QString();
  };
  const QString shown = peaks();
  EXPECT_TRUE(shown.contains(qs("Пик    ") + "     Cz     Pz")) << shown.toStdString();
  EXPECT_TRUE(shown.contains(qs("Амплитуды\nP100   "))) << shown.toStdString();
  EXPECT_TRUE(shown.contains(qs("\nN50    "))) << shown.toStdString();
  // The bump 100 ms after the stimulus, 200 ms into the epoch, within a few samples.
  const int at = shown.indexOf(qs("Латентности\nP100   "));
  ASSERT_GE(at, 0) << shown.toStdString();
  const double latency = shown.mid(at + 19, 7).trimmed().toDouble();
  EXPECT_NEAR(latency, 0.2, 0.006) << shown.toStdString();
  EXPECT_EQ(s.recordLength, 500);  // measuring leaves the average as it is
  // A second "Выделить" on the same average gives the same table.
  const QString again = peaks();
  EXPECT_TRUE(again.endsWith(shown.mid(shown.indexOf(qs("Пик"))))) << again.toStdString();
}

TEST_F(EvokedCommand, SettingsSurviveInQ16Ini) {
  runWindow(
      [](EvokedWindow& w) {
        EXPECT_EQ(w.windowTitle(), qs("Анализ ВП"));
        EXPECT_EQ(w.referenceList()->itemText(1), qs("Si [i=0-16]"));
        EXPECT_EQ(w.typeList()->itemText(1), qs("ERD/S"));
        EXPECT_EQ(w.peakGrid()->horizontalHeaderItem(0)->text(), qs("Обозначен"));
        w.edit(4)->setText("irec>1");
        w.stepBox()->setChecked(true);
        w.peakGrid()->item(3, 0)->setText("N2");
      },
      [](EvokedWindow& w) { w.cancelButton()->click(); });
  EXPECT_EQ(s.dialogResult, 0);
  const auto lines = readTextLines(s.programDir + "q16.ini");
  ASSERT_TRUE(lines);
  ASSERT_EQ(lines->size(), 82u);
  EXPECT_EQ((*lines)[1], "-0.1");
  EXPECT_EQ((*lines)[5], "irec>1");
  EXPECT_EQ((*lines)[6], "S1");
  EXPECT_EQ((*lines)[8], "1");
  EXPECT_EQ((*lines)[12 + 3], "N2");
  QString reference;
  shell::setEvokedWindowRunner(*window, [&](EvokedWindow& w) {
    w.show();
    reference = w.referenceList()->currentText();
    w.reject();
  });
  window->action(shell::Cmd::EvokedPotentials)->trigger();
  EXPECT_EQ(reference, qs("S1"));
}

TEST_F(EvokedCommand, StepByStepAsksAfterEveryEpochUntilNo) {
  open(4);
  ui.choiceScript = {1, 2};  // "Да", then "Нет": no more questions
  runWindow([](EvokedWindow& w) { w.stepBox()->setChecked(true); },
            [](EvokedWindow& w) { w.runButton()->click(); });
  EXPECT_EQ(ui.questions.size(), 2u);
  EXPECT_EQ(s.recordCount, -4);
}

TEST_F(EvokedCommand, ErdAsksForTheBandAndAgreesWithTheCli) {
  if (!QFileInfo::exists(QString::fromStdString(cliPath()))) GTEST_SKIP() << "velor-cli not built";
  open(30, true);
  QString erdTitle;
  shell::setErsErdDialogRunner(*window, [&](ErsErdDialog& d) {
    erdTitle = d.windowTitle();
    d.bandButton(0)->setChecked(true);
    d.edit(0)->setText("8");
    d.edit(1)->setText("12");
    d.edit(6)->setText("0");
    d.edit(7)->setText("0.2");
    d.setButton()->click();
  });
  runWindow([](EvokedWindow& w) { w.typeList()->setCurrentIndex(1); },
            [](EvokedWindow& w) { w.runButton()->click(); });
  EXPECT_EQ(erdTitle, qs("Фильтрация ERS/ERD"));
  EXPECT_TRUE(ui.messages.empty()) << ui.messages.front();
  ASSERT_EQ(s.recordLength, 500);
  EXPECT_EQ(s.calibValue[0], 100);
  const auto q15 = readTextLines(s.programDir + "q15.ini");
  ASSERT_TRUE(q15);
  EXPECT_EQ(q15->size(), 9u);
  const std::string gui = saveAs("gui.cad");
  const std::string cli = cliFile("--ref S1 --start -100 --length 500 --erd 8,12 --baseline 0,0.2");
  ASSERT_FALSE(cli.empty());
  EXPECT_TRUE(gui == cli) << firstDifference(gui, cli);
}

// "&3=Усреднить" of the transformations window averages the epochs along the
// record in memory, one search step (the selection) after another.
TEST_F(EvokedCommand, TransformationsWindowAveragesInsideTheRecord) {
  s.channelCount = s.shownChannelCount = 1;
  s.markChannelCount = 1;
  s.sampleRate = kRate;
  s.recordLength = 2000;
  s.zeroLevel[0] = 2048;
  s.calibUnits[0] = 2000;
  s.calibValue[0] = 100;
  for (int i = 0; i < 2000; ++i) {
    s.channel(0)[i] = static_cast<std::int16_t>(2048 + (i % 200 == 20 ? 400 : 0));
    s.markChannel[i] = i % 200 == 0 ? 1 : 0;
  }
  s.selectionAnchor = 0;
  s.cursorPos = 200;  // one search every 200 samples
  QTimer::singleShot(0, [] {
    auto* w = qobject_cast<TransformationsWindow*>(QApplication::activeModalWidget());
    ASSERT_NE(w, nullptr);
    w->button(TransformCommand::AverageInside)->click();
  });
  EvokedMode seen = EvokedMode::Records;
  shell::setEvokedWindowRunner(*window, [&](EvokedWindow& w) {
    seen = w.mode();
    w.referenceList()->setEditText("S1");
    w.edit(0)->setText("0");
    w.edit(1)->setText("0.1");
    w.runButton()->click();
  });
  window->runCommand(shell::Cmd::Transformations);
  EXPECT_EQ(seen, EvokedMode::InsideRecord);
  EXPECT_TRUE(ui.messages.empty()) << ui.messages.front();
  EXPECT_EQ(s.recordLength, 100);
  EXPECT_EQ(s.recordCount, -10);
  EXPECT_EQ(s.channel(0)[20], 2448);
  EXPECT_EQ(s.channel(0)[21], 2048);
}

}  // namespace
}  // namespace velor
