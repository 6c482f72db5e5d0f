// The ECG analysis window "Анализ ЭКГ": its captions, the settings group and
// "qecg.ini"; "Все каналы" in the group layouts; from the main window on
// MIT-BIH record 100, the statistics in the text window with the histogram
// beside it, the stability line appended to the batch table, and the message
// on a flat channel.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <memory>

#include "core/settings.h"
#include "physio/ecg_texts.h"
#include "physio/ui/ecg_bands_dialog.h"
#include "physio/ui/ecg_window.h"
#include "picture_pixels.h"
#include "results/graph.h"
#include "results/ui/graph_host.h"
#include "results/ui/graph_window.h"
#include "results/ui/text_results_window.h"
#include "shell/commands.h"
#include "shell/ui/ecg_wiring.h"
#include "shell/ui/main_window.h"
#include "shell/ui/results_wiring.h"
#include "tests/chooser_support.h"
#include "tests/test_support.h"

namespace velor {
namespace {

QString qs(const char* s) { return QString::fromUtf8(s); }
using B = EcgWindow::Button;
using test::ScriptedChooser;

TEST(EcgWindowGui, CaptionsSettingsAndQecgIni) {
  test::TempDir dir;
  StudyState s;
  s.programDir = dir.path() + "/";
  ScriptedInteraction ui;
  EcgWindow w(s, ui, {});
  w.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
  EXPECT_EQ(w.windowTitle(), qs("Анализ ЭКГ"));
  EXPECT_EQ(w.dynamicsButton(0)->text(), qs("&1=RR"));
  EXPECT_EQ(w.dynamicsButton(0)->toolTip(), qs("Интервалограмма"));
  EXPECT_EQ(w.dynamicsButton(9)->text(), qs("&A=S-зубец"));
  EXPECT_EQ(w.button(B::Statistics)->text(), qs("&C=статистика"));
  EXPECT_EQ(w.button(B::Convert)->toolTip(), qs("Преобразовать в систему 12 отведений"));
  // the missing "qecg.ini" was written with the defaults
  auto lines = readTextLines(s.programDir + "qecg.ini");
  ASSERT_TRUE(lines);
  EXPECT_EQ(*lines, (std::vector<std::string>{"20", "200", "2", "2", "0", "0"}));
  EXPECT_FALSE(w.settingsGroup()->isVisible());
  w.button(B::Settings)->click();
  EXPECT_TRUE(w.settingsGroup()->isVisible());
  EXPECT_EQ(w.settingsGroup()->title(), qs("Алгоритм выделения RR-зубцов"));
  EXPECT_EQ(w.halfWidthEdit()->text(), qs("20"));
  // an unusable value takes its replacement when the window closes
  w.rVariabilityEdit()->setText("1");
  w.halfWidthEdit()->setText("25");
  w.smoothingList()->setCurrentIndex(2);
  w.reject();
  lines = readTextLines(s.programDir + "qecg.ini");
  ASSERT_TRUE(lines);
  EXPECT_EQ(*lines, (std::vector<std::string>{"25", "200", "1.5", "2", "2", "0"}));
}

TEST(EcgWindowGui, BandDialogSavesOnlyWhenAccepted) {
  test::TempDir dir;
  StudyState s;
  s.programDir = dir.path() + "/";
  {
    EcgBandsDialog d(s);
    EXPECT_EQ(d.windowTitle(), qs("Пики ЭКГ-спектра"));
    EXPECT_EQ(d.grid()->horizontalHeaderItem(1)->text(), qs("  НЧ"));
    EXPECT_EQ(d.grid()->item(1, 1)->text(), qs("0.04"));  // LF of the defaults
    EXPECT_EQ(d.grid()->item(2, 2)->text(), qs("0.4"));
    EXPECT_EQ(d.grid()->item(3, 2)->text(), QString());
    d.grid()->item(2, 2)->setText("0,5");
    d.cancelButton()->click();
    EXPECT_EQ(s.dialogResult, 0);
  }
  EXPECT_DOUBLE_EQ(readEcgBands(s.programDir).high[2], 0.4);
  EcgBandsDialog d(s);
  d.grid()->item(2, 2)->setText("0,5");
  d.acceptButton()->click();
  EXPECT_EQ(s.dialogResult, 1);
  const EcgBands b = readEcgBands(s.programDir);
  EXPECT_DOUBLE_EQ(b.high[2], 0.5);
  EXPECT_EQ(b.count(), 3);
}

// Narrow R waves every `rr` samples on channel c of a 500 Hz record.
void putPulses(StudyState& s, int c, int rr) {
  std::int16_t* x = s.channel(c);
  std::fill(x, x + s.recordLength, std::int16_t{2048});
  for (int at = 100; at < s.recordLength - 10; at += rr)
    for (int k = -4; k <= 4; ++k) x[at + k] = static_cast<std::int16_t>(2048 + 160 * (5 - std::abs(k)));
}

// Three channels, one subject each in the group layouts: 600, 500 and 400 ms.
void threeSubjects(StudyState& s) {
  s.channelCount = s.shownChannelCount = 3;
  s.recordLength = 8000;
  s.sampleRate = 500;
  putPulses(s, 0, 300);
  putPulses(s, 1, 250);
  putPulses(s, 2, 200);
}

TEST(EcgWindowGui, EveryChannelWhereTheGroupLayoutAllowsIt) {
  struct Case {
    int groupMode;
    std::vector<std::string> statistics, dynamics;  // the mean RR of each run, in order
  } const cases[] = {
      // one patient per record: the box is not offered and a tick left in
      // "qecg.ini" changes nothing
      {0, {"RRсред=500"}, {"Среднее=0.5"}},
      // group layout 1: only the dynamics run over every channel
      {1, {"RRсред=500"}, {"Среднее=0.6", "Среднее=0.5", "Среднее=0.4"}},
      // group layout 2: the statistics too
      {2, {"RRсред=600", "RRсред=500", "RRсред=400"}, {"Среднее=0.6", "Среднее=0.5", "Среднее=0.4"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.groupMode);
    test::TempDir dir;
    StudyState s;
    s.programDir = dir.path() + "/";
    threeSubjects(s);
    s.groupMode = c.groupMode;
    s.currentChannelRow = 1;
    ASSERT_TRUE(writeTextLines(s.programDir + "qecg.ini", {"20", "200", "2", "2", "0", "1"}));
    ScriptedInteraction ui;
    std::vector<std::string> statistics, dynamics;
    std::vector<int> rows;  // the current channel as each run saw it
    EcgWindow::Actions a;
    a.statistics = [&](const RrStatistics& st) {
      statistics.push_back(st.lines[0].substr(st.lines[0].find("RRсред="), std::string("RRсред=").size() + 3));
      rows.push_back(s.firstShownChannel + s.currentChannelRow);
    };
    a.dynamics = [&](const BeatDynamics& d) { dynamics.push_back(d.text.substr(0, d.text.find(' '))); };
    for (int run = 0; run < 2; ++run) {
      EcgWindow w(s, ui, a);
      w.show();
      ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
      w.button(B::Settings)->click();
      EXPECT_EQ(w.allChannelsBox()->isVisible(), c.groupMode > 0);
      EXPECT_TRUE(w.allChannelsBox()->isChecked());
      if (run == 0)
        w.button(B::Statistics)->click();
      else
        w.dynamicsButton(0)->click();
      EXPECT_FALSE(w.isVisible());
    }
    EXPECT_TRUE(ui.messages.empty()) << ui.messages[0];
    EXPECT_EQ(statistics, c.statistics);
    EXPECT_EQ(dynamics, c.dynamics);
    if (c.groupMode == 2) EXPECT_EQ(rows, (std::vector<int>{0, 1, 2}));
    // the current channel is put back
    EXPECT_EQ(s.firstShownChannel, 0);
    EXPECT_EQ(s.currentChannelRow, 1);
  }
}

class EcgCommand : public ::testing::Test {
 protected:
  test::TempDir dir;
  StudyState s;
  ScriptedInteraction ui;
  ScriptedChooser chooser;
  std::unique_ptr<shell::MainWindow> window;
  void SetUp() override {
    s.programDir = dir.path() + "/";
    s.dataDir = s.programDir;
    window = std::make_unique<shell::MainWindow>(s, ui);
    window->setFileChooser(&chooser);
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
  }
};

TEST_F(EcgCommand, StatisticsOfRecord100) {
  const std::string hea = test::sharedData("mitdb/100.hea");
  if (hea.empty()) GTEST_SKIP() << "no shared recordings";
  chooser.answer = hea;
  window->action(shell::Cmd::Open)->trigger();
  ASSERT_EQ(s.sampleRate, 360);
  ASSERT_TRUE(window->action(shell::Cmd::Ecg)->isEnabled());
  QString title;
  shell::setEcgWindowRunner(*window, [&](EcgWindow& w) {
    w.show();
    title = w.windowTitle();
    w.button(B::Statistics)->click();
  });
  window->action(shell::Cmd::Ecg)->trigger();
  QApplication::processEvents();
  EXPECT_EQ(title, qs("Анализ ЭКГ"));
  EXPECT_TRUE(ui.messages.empty()) << (ui.messages.empty() ? "" : ui.messages[0]);
  TextResultsWindow* text = textWindowOf(window.get());
  ASSERT_NE(text, nullptr);
  const QString shown = text->findChild<QPlainTextEdit*>()->toPlainText();
  EXPECT_TRUE(shown.contains(qs("Показатели Баевского: ИВР="))) << shown.toStdString();
  EXPECT_TRUE(shown.contains(qs("RMSSD="))) << shown.toStdString();
  GraphHost& host = shell::graphHostOf(*window, s, ui);
  ASSERT_NE(host.current(), nullptr);
  EXPECT_EQ(host.current()->windowTitle(), qs("Гистограмма RR-интервалов"));
  // the histogram is drawn, not only its window opened
  EXPECT_GT(test::pixelsOfColour(host.current()->picture(), graphColour(0)), 50);
}

TEST_F(EcgCommand, HiddenButtonListsTheIntervalsOfThreeRecords) {
  const std::string hea = test::sharedData("mitdb/100.hea");
  if (hea.empty()) GTEST_SKIP() << "no shared recordings";
  chooser.answer = hea;
  window->action(shell::Cmd::Open)->trigger();
  const int first = s.currentRecord;
  bool hidden = false;
  shell::setEcgWindowRunner(*window, [&](EcgWindow& w) {
    w.show();
    hidden = !w.button(B::IntervalList)->isVisible();
    w.button(B::IntervalList)->click();
  });
  window->action(shell::Cmd::Ecg)->trigger();
  QApplication::processEvents();
  EXPECT_TRUE(hidden);
  EXPECT_TRUE(ui.messages.empty()) << ui.messages[0];
  EXPECT_EQ(s.currentRecord, first + 2);
  TextResultsWindow* text = textWindowOf(window.get());
  ASSERT_NE(text, nullptr);
  const QStringList lines = text->findChild<QPlainTextEdit*>()->toPlainText().split('\n', Qt::SkipEmptyParts);
  // three pages of 32000 samples at 360 Hz, a beat about every 0.8 s, no header
  EXPECT_GT(lines.size(), 300);
  EXPECT_LT(lines.size(), 360);
  for (const QString& l : lines) {
    bool ok = false;
    const int ms = l.toInt(&ok);
    EXPECT_TRUE(ok && ms > 300 && ms < 2000) << l.toStdString();
  }
}

TEST_F(EcgCommand, StabilityLineGoesToTheBatchTable) {
  s.channelCount = s.shownChannelCount = 1;
  s.recordLength = 8000;
  s.sampleRate = 500;
  putPulses(s, 0, 300);
  shell::setEcgWindowRunner(*window, [](EcgWindow& w) {
    EXPECT_TRUE(w.button(B::StabilityLine)->isEnabled());
    EXPECT_EQ(w.button(B::StabilityLine)->text(), qs("&F=ПСС+ПСА"));
    w.button(B::StabilityLine)->click();
  });
  for (int run = 0; run < 2; ++run) window->action(shell::Cmd::Ecg)->trigger();
  QApplication::processEvents();
  EXPECT_TRUE(ui.messages.empty()) << ui.messages[0];
  // one line a run, code page 1251 ("ПСС=100 ПСA=0", the A Latin)
  const std::string line = "\xcf\xd1\xd1=100 \xcf\xd1\x41=0\r\n";
  EXPECT_EQ(test::readBytes(s.dataDir + "RRFiles.txt"), line + line);
  // the statistics were shown, then the text window emptied for the next run
  TextResultsWindow* text = textWindowOf(window.get());
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(text->findChild<QPlainTextEdit*>()->toPlainText(), QString());
  GraphHost& host = shell::graphHostOf(*window, s, ui);
  ASSERT_NE(host.current(), nullptr);
  EXPECT_EQ(host.current()->windowTitle(), qs("Гистограмма RR-интервалов"));
  // a table that cannot be written: the reason, and the statistics stay shown
  s.dataDir = dir.path() + "/missing/";
  window->action(shell::Cmd::Ecg)->trigger();
  QApplication::processEvents();
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0].rfind(std::string("RRFiles.txt") + kEcgFileNotWritten, 0), 0u) << ui.messages[0];
  EXPECT_TRUE(text->findChild<QPlainTextEdit*>()->toPlainText().contains(qs("ПСС=100 ПСA=0")));
}

TEST_F(EcgCommand, FlatChannelGivesTheMessage) {
  s.channelCount = s.shownChannelCount = 1;
  s.recordLength = 5000;
  s.sampleRate = 250;
  std::fill(s.channel(0), s.channel(0) + 5000, std::int16_t{4095});
  shell::setEcgWindowRunner(*window, [](EcgWindow& w) { w.button(B::Statistics)->click(); w.reject(); });
  window->action(shell::Cmd::Ecg)->trigger();
  QApplication::processEvents();
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0], kEcgTooFewIntervals);
}

}  // namespace
}  // namespace velor
