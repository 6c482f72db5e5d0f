// The windows "Полиграфия" and "Миография" and the breathing graph, from the
// main window: counted events, digital input names, M-response rows in the
// notebook, the EMG epoch list and "qemg.ini".
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <cmath>
#include <memory>
#include <numbers>

#include "core/formula.h"
#include "core/numtext.h"
#include "core/settings.h"
#include "physio/emg_texts.h"
#include "physio/polygraph_texts.h"
#include "physio/ui/emg_window.h"
#include "physio/ui/polygraph_window.h"
#include "results/ui/graph_host.h"
#include "results/ui/graph_window.h"
#include "results/ui/notebook_window.h"
#include "shell/commands.h"
#include "shell/ui/emg_wiring.h"
#include "shell/ui/main_window.h"
#include "shell/ui/polygraph_wiring.h"
#include "shell/ui/results_wiring.h"
#include "shell/ui/tools_wiring.h"
#include "tests/chooser_support.h"
#include "tests/test_support.h"

namespace velor {
namespace {

QString qs(const char* s) { return QString::fromUtf8(s); }
using PB = PolygraphWindow::Button;
using EB = EmgWindow::Button;

class PhysioCommand : public ::testing::Test {
 protected:
  test::TempDir dir;
  StudyState s;
  ScriptedInteraction ui;
  test::ScriptedChooser chooser;
  std::unique_ptr<shell::MainWindow> window;
  void SetUp() override {
    s.programDir = dir.path() + "/";
    s.dataDir = s.programDir;
    window = std::make_unique<shell::MainWindow>(s, ui);
    window->setFileChooser(&chooser);
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
  }
  void oneChannel(int fs, int length) {
    s.channelCount = s.shownChannelCount = 1;
    s.sampleRate = fs;
    s.recordLength = length;
    s.zeroLevel[0] = 2048;
    s.calibValue[0] = 10;
    s.calibUnits[0] = 1;
    std::fill(s.channel(0), s.channel(0) + length, std::int16_t{2048});
  }
};

TEST_F(PhysioCommand, PolygraphCountsTheEventsOfTheCondition) {
  oneChannel(1000, 3000);
  for (int start : {0, 400, 800, 1500, 2990})
    for (int k = 0; k < 5 && start + k < 3000; ++k) s.channel(0)[start + k] = 2400;
  ASSERT_TRUE(window->action(shell::Cmd::Polygraph)->isEnabled());
  shell::setPolygraphConditionChooser(*window, [] {
    CompiledFormula f;
    std::string message;
    EXPECT_TRUE(compileFormula("x(1)>100", FunctionNames::defaults(), f, message)) << message;
    return std::optional<CompiledFormula>(f);
  });
  QString title, hint;
  shell::setPolygraphWindowRunner(*window, [&](PolygraphWindow& w) {
    w.show();
    title = w.windowTitle();
    hint = w.button(PB::CountEvents)->toolTip();
    EXPECT_EQ(w.button(PB::CountEvents)->text(), qs("&3=Число событий"));
    EXPECT_EQ(w.toleranceEdit()->text(), qs("30"));
    EXPECT_TRUE(w.extractionBox()->isChecked());
    w.button(PB::CountEvents)->click();
  });
  window->action(shell::Cmd::Polygraph)->trigger();
  QApplication::processEvents();
  EXPECT_EQ(title, qs("Полиграфия"));
  EXPECT_EQ(hint, qs("Подсчет числа событий"));
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0], std::string(kPoliCount) + "5");
  // "qpoli.ini" was written when the window closed
  const auto lines = readTextLines(s.programDir + kPoliSettingsFile);
  ASSERT_TRUE(lines);
  EXPECT_EQ(lines->size(), 10u);

  // the interval histogram: a graph and the statistics text
  ui.messages.clear();
  shell::setPolygraphWindowRunner(*window, [](PolygraphWindow& w) {
    w.minEdit()->setText("0");
    w.maxEdit()->setText("0");
    w.binsEdit()->setText("4");
    w.button(PB::IntervalHistogram)->click();
  });
  window->action(shell::Cmd::Polygraph)->trigger();
  QApplication::processEvents();
  EXPECT_TRUE(ui.messages.empty()) << ui.messages[0];
  GraphHost& host = shell::graphHostOf(*window, s, ui);
  ASSERT_NE(host.current(), nullptr);
  EXPECT_EQ(host.current()->windowTitle(), qs("Гистограмма интервалов событий"));
}

TEST_F(PhysioCommand, FindMovesTheCursorAndCarriesTheSelection) {
  oneChannel(1000, 3000);
  for (int start : {400, 800, 1500})
    for (int k = 0; k < 5; ++k) s.channel(0)[start + k] = 2400;
  shell::setPolygraphConditionChooser(*window, [] {
    CompiledFormula f;
    std::string message;
    compileFormula("x(1)>100", FunctionNames::defaults(), f, message);
    return std::optional<CompiledFormula>(f);
  });
  // from inside the first pulse: the formula must return to zero first
  s.cursorPos = 402;
  s.selectionAnchor = 452;
  shell::setPolygraphWindowRunner(*window, [](PolygraphWindow& w) { w.button(PB::FindEvent)->click(); });
  window->action(shell::Cmd::Polygraph)->trigger();
  QApplication::processEvents();
  EXPECT_TRUE(ui.messages.empty()) << ui.messages[0];
  EXPECT_EQ(s.cursorPos, 800);
  EXPECT_EQ(s.selectionAnchor, 850);
  EXPECT_EQ(s.viewStart, 790);
}

TEST_F(PhysioCommand, ExtremeMarkingKeepsTheWindowOpenAndStoresTheReference) {
  oneChannel(100, 400);
  for (int i = 0; i < 400; ++i)  // a triangle wave: 20-sample half-waves of 400 codes
    s.channel(0)[i] = static_cast<std::int16_t>(1848 + 20 * std::abs((i % 40) - 20));
  s.cursorPos = 0;
  s.selectionAnchor = 20;
  bool open = false;
  shell::setPolygraphWindowRunner(*window, [&](PolygraphWindow& w) {
    w.show();
    w.toleranceEdit()->setText("10");
    w.deadTimeEdit()->setText("0");
    w.button(PB::Maxima)->click();
    open = w.isVisible();
    w.reject();
  });
  window->action(shell::Cmd::Polygraph)->trigger();
  QApplication::processEvents();
  EXPECT_TRUE(open);
  EXPECT_TRUE(ui.messages.empty()) << ui.messages[0];
  EXPECT_EQ(s.recordModified, 1);
  // extraction: only the tops (2248) stand off the zero line
  int tops = 0;
  for (int i = 0; i < 400; ++i) {
    if (s.channel(0)[i] == 2048) continue;
    EXPECT_EQ(s.channel(0)[i], 2248) << i;
    ++tops;
  }
  EXPECT_GE(tops, 9);
  const auto lines = readTextLines(s.programDir + kPoliSettingsFile);
  ASSERT_TRUE(lines);
  EXPECT_EQ((*lines)[0], "10");
  EXPECT_EQ((*lines)[2], "20");
  EXPECT_EQ((*lines)[3], "400");
}

TEST_F(PhysioCommand, DigitalInputsAtTheCursorAreNamed) {
  oneChannel(1000, 100);
  s.markChannelCount = 1;
  std::fill(s.markChannel, s.markChannel + 100, std::int16_t{0});
  s.markChannel[20] = 0b101;
  s.cursorPos = 20;
  ASSERT_TRUE(writeTextLines(s.programDir + kPoliDioFile, {"Вдох", "Пульс", "Кнопка"}));
  shell::setPolygraphWindowRunner(*window, [](PolygraphWindow& w) { w.button(PB::DigitalInputs)->click(); });
  window->action(shell::Cmd::Polygraph)->trigger();
  QApplication::processEvents();
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0], "Вдох\r\nКнопка");
}

TEST_F(PhysioCommand, BreathingGraphOfASineChannel) {
  oneChannel(100, 6000);
  for (int i = 0; i < 6000; ++i)
    s.channel(0)[i] = static_cast<std::int16_t>(std::lround(2048 + 400 * std::sin(2 * std::numbers::pi * i / 400.0)));
  window->action(shell::Cmd::Breathing)->trigger();
  QApplication::processEvents();
  EXPECT_TRUE(ui.messages.empty()) << ui.messages[0];
  GraphHost& host = shell::graphHostOf(*window, s, ui);
  ASSERT_NE(host.current(), nullptr);
  EXPECT_EQ(host.current()->windowTitle(), qs("Показатели дыхательного ритма"));
}

TEST_F(PhysioCommand, MResponsesAreWrittenIntoTheNotebook) {
  oneChannel(1000, 3000);
  s.markChannelCount = 1;
  std::fill(s.markChannel, s.markChannel + 3000, std::int16_t{0});
  std::int16_t* x = s.channel(0);
  for (int st : {100, 1100, 2100}) {
    for (int k = 0; k < 3; ++k) s.markChannel[st + k] = 1 << 2;
    const int o = st + 20;
    for (int k = 0; k <= 40; ++k) x[o + k] = static_cast<std::int16_t>(2048 + 10 * k);
    for (int k = 41; k < 60; ++k) x[o + k] = 2448;
    for (int k = 0; k <= 60; ++k) x[o + 60 + k] = static_cast<std::int16_t>(2448 - 10 * k);
    for (int k = 1; k <= 40; ++k) x[o + 120 + k] = static_cast<std::int16_t>(1848 + 5 * k);
  }
  ASSERT_TRUE(window->action(shell::Cmd::Emg)->isEnabled());
  QString title;
  shell::setEmgWindowRunner(*window, [&](EmgWindow& w) {
    w.show();
    title = w.windowTitle();
    w.stimulusList()->setCurrentIndex(2);  // stimulus 3: bit 2
    w.button(EB::MResponses)->click();
  });
  window->action(shell::Cmd::Emg)->trigger();
  QApplication::processEvents();
  EXPECT_EQ(title, qs("Миография"));
  EXPECT_TRUE(ui.messages.empty()) << ui.messages[0];
  NotebookWindow* nb = shell::notebookWindowOf(*window);
  ASSERT_NE(nb, nullptr);
  EXPECT_TRUE(nb->isVisible());
  QTableWidget* t = nb->table();
  for (int row = 0; row < 3; ++row) {
    for (int c : {1, 2, 3, 5}) ASSERT_NE(t->item(row, c), nullptr) << row << "," << c;
    EXPECT_NEAR(*parseNumber(t->item(row, 1)->text().toStdString()), 0.020, 0.0015) << row;
    EXPECT_NEAR(*parseNumber(t->item(row, 2)->text().toStdString()), 4000, 60) << row;
    EXPECT_NEAR(*parseNumber(t->item(row, 3)->text().toStdString()), 0.120, 0.006) << row;
  }
  EXPECT_TRUE(t->item(3, 1) == nullptr || t->item(3, 1)->text().isEmpty());
  // the stimulus choice was kept in "qemg.ini"
  const auto lines = readTextLines(s.programDir + kEmgSettingsFile);
  ASSERT_TRUE(lines);
  EXPECT_EQ((*lines)[0], "2");
}

TEST_F(PhysioCommand, EmgEpochListFollowsTheMeasure) {
  oneChannel(1000, 4096);
  ASSERT_TRUE(writeTextLines(s.programDir + kEmgSettingsFile, {"0", "0", "2"}));
  shell::setEmgWindowRunner(*window, [&](EmgWindow& w) {
    w.show();
    EXPECT_EQ(w.button(EB::Spectrum)->text(), qs("&2=Спектр"));
    EXPECT_EQ(w.epochList()->currentText(), qs("250"));
    w.measureList()->setCurrentIndex(1);  // "Amax": 128 .. 1024 at 1000 Hz, the position kept
    EXPECT_EQ(w.measureList()->currentText(), qs("Amax"));
    EXPECT_EQ(w.epochList()->itemText(0), qs("128"));
    EXPECT_EQ(w.epochList()->itemText(3), qs("1024"));
    EXPECT_EQ(w.epochList()->currentText(), qs("512"));
    w.button(EB::Histograms)->click();  // a flat channel: no swing
  });
  window->action(shell::Cmd::Emg)->trigger();
  QApplication::processEvents();
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0], kEmgTooFewSwings);
  const auto lines = readTextLines(s.programDir + kEmgSettingsFile);
  ASSERT_TRUE(lines);
  EXPECT_EQ(*lines, (std::vector<std::string>{"0", "1", "2"}));
}

TEST_F(PhysioCommand, BandAmplitudesFollowTheEpochSteps) {
  oneChannel(1000, 4096);
  for (int i = 0; i < 4096; ++i)
    s.channel(0)[i] = static_cast<std::int16_t>(std::lround(2048 + 300 * std::sin(2 * std::numbers::pi * 80 * i / 1000.0)));
  s.cursorPos = 300;
  shell::setEmgWindowRunner(*window, [](EmgWindow& w) {
    w.measureList()->setCurrentIndex(0);  // "Аср": bands of 128 samples
    w.epochList()->setCurrentIndex(1);    // 100 ms epochs
    w.button(EB::Bands)->click();
  });
  window->action(shell::Cmd::Emg)->trigger();
  QApplication::processEvents();
  EXPECT_TRUE(ui.messages.empty()) << ui.messages[0];
  GraphHost& host = shell::graphHostOf(*window, s, ui);
  ASSERT_NE(host.current(), nullptr);
  EXPECT_EQ(host.current()->windowTitle(), qs("Средние амплитуды ЭМГ по частотным диапазонам"));
  EXPECT_EQ(s.currentEpoch, 2);  // 300 / 128
  EXPECT_EQ(s.epochLength, 100);
  GraphWindow* before = host.current();
  // the next epoch: drawn again, in a new window, with the epoch length in force
  window->runCommand(shell::Cmd::NextEpoch);
  QApplication::processEvents();
  ASSERT_NE(host.current(), nullptr);
  EXPECT_NE(host.current(), before);
  EXPECT_EQ(host.current()->windowTitle(), qs("Средние амплитуды ЭМГ по частотным диапазонам"));
  EXPECT_EQ(s.cursorPos, 400);
  EXPECT_EQ(s.currentEpoch, 4);  // 400 / 100
}

TEST_F(PhysioCommand, SpectrumButtonTogglesTheTransformView) {
  oneChannel(1000, 4096);
  for (int i = 0; i < 4096; ++i)
    s.channel(0)[i] = static_cast<std::int16_t>(std::lround(2048 + 300 * std::sin(2 * std::numbers::pi * 125 * i / 1000.0)));
  s.cursorPos = 900;
  s.selectionAnchor = 644;  // 256 samples, anchor before the cursor
  shell::setEmgWindowRunner(*window, [](EmgWindow& w) { w.button(EB::Spectrum)->click(); });
  window->action(shell::Cmd::Emg)->trigger();
  QApplication::processEvents();
  EXPECT_TRUE(ui.messages.empty()) << ui.messages[0];
  ASSERT_EQ(s.viewMode, ViewMode::Transform);
  EXPECT_EQ(s.epochLength, 256);
  EXPECT_EQ(s.bandMode, 1);
  // 125 Hz is bin 32 of 256 points: the spectrum's peak, 2 × 300
  EXPECT_NEAR(s.channel(0)[32], 600, 6);
  QString caption;
  shell::setEmgWindowRunner(*window, [&](EmgWindow& w) {
    caption = w.button(EB::Spectrum)->text();
    w.button(EB::Spectrum)->click();
  });
  window->action(shell::Cmd::Emg)->trigger();
  QApplication::processEvents();
  EXPECT_EQ(caption, qs("&2=Записи"));
  EXPECT_EQ(s.viewMode, ViewMode::Signals);
  EXPECT_NEAR(s.channel(0)[250], 2048 + 300 * std::sin(2 * std::numbers::pi * 125 * 250 / 1000.0), 1);
}

}  // namespace
}  // namespace velor
