// The ECG analysis window "Анализ ЭКГ": its captions, the settings group and
// "qecg.ini"; from the main window on MIT-BIH record 100, the statistics in
// the text window with the histogram beside it, and the message on a flat
// channel.
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
