// The monitor's transform view with real spectra and the scoreboard "Табло"
// in the running main window: a 10 Hz record shows its peak at the 10 Hz
// column, epoch steps inside the view show the next epoch's spectrum,
// leaving gives the signals back, and the scoreboard follows the monitor's
// clicks with times, frequencies and its integral measures.
#include <gtest/gtest.h>

#include "core/record_file.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QToolButton>
#include <cmath>
#include <memory>

#include "core/interaction.h"
#include "core/numtext.h"
#include "core/study_state.h"
#include "instruments/scoreboard.h"
#include "instruments/ui/scoreboard_panel.h"
#include "shell/commands.h"
#include "results/notebook.h"
#include "shell/ui/scoreboard_wiring.h"
#include "shell/ui/tools_wiring.h"
#include "shell/ui/main_window.h"
#include "shell/ui/transform_view_wiring.h"
#include "tests/chooser_support.h"
#include "tests/test_support.h"
#include "viewer/monitor.h"
#include "viewer/ui/monitor_widget.h"

namespace velor {
namespace {

using shell::Cmd;
using test::TempDir;

constexpr int kRate = 128;
constexpr int kEpoch = 256;  // the settings' epoch: bin k is k × 0.5 Hz

// Channel 0 is a 10 Hz cosine, except in the second epoch (20 Hz); channel 1
// a smaller 5 Hz cosine (the highest peak rises above its row). The mark channel holds 0x0305 at sample 100.
std::int16_t codeAt(int ch, int i) {
  const double f = ch == 1 ? 5.0 : (i >= kEpoch && i < 2 * kEpoch ? 20.0 : 10.0);
  const double a = ch == 1 ? 100 : 500;
  return static_cast<std::int16_t>(2048 + std::lround(a * std::cos(2 * M_PI * f * i / kRate)));
}

void writeStudy(const std::string& path) {
  StudyState s;
  ScriptedInteraction ui;
  s.channelCount = 2;
  s.recordLength = 1024;
  s.sampleRate = kRate;
  s.markChannelCount = 1;
  s.channelNames[0] = "O1";
  s.channelNames[1] = "O2";
  for (int c = 0; c < 2; ++c)
    for (int i = 0; i < s.recordLength; ++i) s.channel(c)[i] = codeAt(c, i);
  for (int i = 0; i < s.recordLength; ++i) s.markChannel[i] = 0;
  s.markChannel[100] = 0x0305;
  ASSERT_TRUE(saveRecords(s, path, ui));
  ASSERT_TRUE(appendRecords(s, path, 2, ui));
}

using test::ScriptedChooser;

class MonitorSpectra : public ::testing::Test {
 public:
  void SetUp() override { start(); }
  void start(bool scoreboardVisible = false) {
    s.programDir = dir.path() + "/";
    s.dataDir = s.programDir;
    s.scoreboardVisible = scoreboardVisible;
    path = dir.file("alpha.cad");
    writeStudy(path);
    window = std::make_unique<shell::MainWindow>(s, ui);
    window->setFileChooser(&chooser);
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    QApplication::processEvents();
    ASSERT_NE(window->monitor(), nullptr);
    chooser.answer = path;
    window->action(Cmd::Open)->trigger();
    ASSERT_EQ(s.recordCount, 2);
    ASSERT_EQ(s.epochLength, kEpoch);
  }
  void TearDown() override {
    ui.answerYes = true;  // the close question
    window.reset();
  }
  MonitorWidget* monitor() { return window->monitor(); }
  ScoreboardPanel* tabl() { return shell::scoreboardOf(*window); }
  QImage drawing() { return monitor()->surface().copy(monitor()->drawingRect()); }
  QString caption() { return window->monitorCaption()->text(); }
  void click(int x, int y) { QTest::mouseClick(monitor(), Qt::LeftButton, Qt::NoModifier, QPoint(x, y)); }
  // Column of the highest trace pixel in row `row` (left of the name strip,
  // not the cursor line); the row's top line holds the zero of the row
  // above, and is skipped.
  int peakColumn(int row) {
    const QImage img = drawing();
    const int top = s.rowBaseY[static_cast<std::size_t>(row)] - s.rowHeight / 2 + 1;
    const int bottom = s.rowBaseY[static_cast<std::size_t>(row)] + s.rowHeight / 2;
    int best = -1, bestY = bottom + 1;
    const int cursor = cursorColumn(s);
    for (int x = 0; x < s.monitorWidth - kStripWidth - 20; ++x)
      for (int y = std::max(kRulerHeight, top); y < bottom && y < bestY; ++y)
        if (x != cursor && img.pixel(x, y) == qRgb(0, 0, 0)) {
          bestY = y;
          best = x;
          break;
        }
    return best;
  }
  // Column of frequency f in the transform view.
  int columnOf(double hz) { return static_cast<int>(sampleToX(s, std::lround(hz * s.epochLength / s.sampleRate))); }

  TempDir dir;
  StudyState s;
  ScriptedInteraction ui;
  ScriptedChooser chooser;
  std::string path;
  std::unique_ptr<shell::MainWindow> window;
};

TEST_F(MonitorSpectra, SpectrumOfTheEpochThenTheSignalsAgain) {
  const QImage signalView = drawing();
  const QString signalCaption = caption();
  const int signalCursor = s.cursorPos;

  s.transformKind = TransformKind::Amplitude;  // amplitude
  ASSERT_TRUE(shell::showSpectraInMonitor(*window));
  EXPECT_EQ(s.viewMode, ViewMode::Transform);
  EXPECT_EQ(s.recordLength, kEpoch / 2);
  EXPECT_TRUE(s.lockedZoom);
  EXPECT_TRUE(ui.messages.empty());
  // The spectrum fills the width: its 128 bins at 2^timeZoom pixels, the
  // ruler labelled in hertz every 10 Hz.
  EXPECT_GT(s.timeZoom, 0);
  EXPECT_LE(s.recordLength << s.timeZoom, s.monitorWidth);
  EXPECT_NE(drawing(), signalView);
  EXPECT_NEAR(peakColumn(0), columnOf(10), 1);
  EXPECT_NEAR(peakColumn(1), columnOf(5), 1);
  bool tenHertz = false;
  for (const RulerTick& t : rulerTicks(s, monitor()->view(), 0, s.monitorWidth))
    if (t.labelled && t.label == "10") tenHertz = std::abs(t.x - columnOf(10)) <= 1;
  EXPECT_TRUE(tenHertz);
  EXPECT_TRUE(caption().contains(QString::fromUtf8(" Эпо:1/4=2s"))) << caption().toStdString();

  // "&0=Записи": the signals, their cursor and caption as they were.
  window->runCommand(Cmd::BackToSignals);
  EXPECT_EQ(s.viewMode, ViewMode::Signals);
  EXPECT_EQ(s.recordLength, 1024);
  EXPECT_EQ(s.cursorPos, signalCursor);
  EXPECT_EQ(caption(), signalCaption);
  EXPECT_EQ(drawing(), signalView);
}

TEST_F(MonitorSpectra, EpochStepsInsideTheViewShowTheirSpectra) {
  s.transformKind = TransformKind::Amplitude;
  ASSERT_TRUE(shell::showSpectraInMonitor(*window));
  // The next epoch is 20 Hz; the zoom stays where it was.
  const int zoom = s.timeZoom;
  window->runCommand(Cmd::NextEpoch);
  EXPECT_EQ(s.viewMode, ViewMode::Transform);
  EXPECT_EQ(s.currentEpoch, 1);
  EXPECT_EQ(s.timeZoom, zoom);
  EXPECT_NEAR(peakColumn(0), columnOf(20), 1);
  EXPECT_TRUE(caption().contains(QString::fromUtf8(" Эпо:2/4="))) << caption().toStdString();
  window->runCommand(Cmd::PrevEpoch);
  EXPECT_EQ(s.currentEpoch, 0);
  EXPECT_EQ(s.timeZoom, zoom);
  EXPECT_NEAR(peakColumn(0), columnOf(10), 1);
  window->runCommand(Cmd::NextEpoch);

  // Back to the signals at the start of the epoch the steps arrived at.
  window->runCommand(Cmd::BackToSignals);
  EXPECT_EQ(s.viewMode, ViewMode::Signals);
  EXPECT_EQ(s.cursorPos, kEpoch);
  EXPECT_EQ(s.timeZoom, 0);
  EXPECT_TRUE(caption().contains(QString::fromUtf8(" Эпо:2/4=2s"))) << caption().toStdString();
}

TEST_F(MonitorSpectra, RecordStepKeepsTheSpectrumAndAProblemKeepsTheSignals) {
  s.transformKind = TransformKind::Power;  // power
  ASSERT_TRUE(shell::showSpectraInMonitor(*window));
  window->runCommand(Cmd::NextRecord);
  EXPECT_EQ(s.currentRecord, 2);
  EXPECT_EQ(s.viewMode, ViewMode::Transform);
  EXPECT_EQ(s.transformKind, TransformKind::Power);
  EXPECT_NEAR(peakColumn(0), columnOf(10), 1);
  window->runCommand(Cmd::BackToSignals);

  // An epoch that is not a power of two cannot be analysed: the reason is
  // shown and the monitor keeps the signalView.
  const QImage signalView = drawing();
  s.epochLength = s.epochStep = 300;
  s.transformKind = TransformKind::Amplitude;
  EXPECT_FALSE(shell::showSpectraInMonitor(*window));
  EXPECT_EQ(s.viewMode, ViewMode::Signals);
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(drawing(), signalView);

  // Nor while an examination records: its buffers stay where they are.
  s.epochLength = s.epochStep = kEpoch;
  s.acquisitionActive = 1;
  EXPECT_FALSE(shell::showSpectraInMonitor(*window));
  EXPECT_EQ(s.viewMode, ViewMode::Signals);
  EXPECT_EQ(ui.messages.size(), 2u);
  s.acquisitionActive = 0;
}

TEST_F(MonitorSpectra, LeadPairResultsHaveARowPerPair) {
  s.leadPairs[0] = {1, 2};
  s.leadPairCount = 1;
  s.transformKind = TransformKind::Coherence;  // coherence
  ASSERT_TRUE(shell::showSpectraInMonitor(*window)) << (ui.messages.empty() ? "" : ui.messages.back());
  EXPECT_EQ(s.shownChannelCount, 1);
  EXPECT_EQ(monitorRows(s), 1);
  EXPECT_EQ(leadText(s, 0), "O1-O2");
  window->runCommand(Cmd::BackToSignals);
  EXPECT_EQ(s.shownChannelCount, 2);
  EXPECT_EQ(leadText(s, 0), "O1");
}

// --- the scoreboard ---------------------------------------------------------------

TEST_F(MonitorSpectra, ScoreboardFollowsTheMonitor) {
  QToolButton* toggle = window->panelButton(Cmd::ScoreboardToggle);
  ASSERT_NE(toggle, nullptr);
  ASSERT_TRUE(toggle->isEnabled());
  s.sumMode = 0;
  toggle->click();
  ASSERT_NE(tabl(), nullptr);
  ASSERT_TRUE(tabl()->isVisible());
  EXPECT_TRUE(s.scoreboardVisible);
  // Showing starts with the mean amplitude.
  EXPECT_EQ(s.sumMode, kSumMean);
  EXPECT_EQ(tabl()->caption(ScoreboardPanel::Integral), QString::fromUtf8("A ="));
  // The notebook is there: the button offers it and adds the readouts as a row.
  EXPECT_TRUE(tabl()->notebookButton()->isEnabled());
  EXPECT_EQ(tabl()->notebookButton()->toolTip(), QString::fromUtf8("Запись значений в блокнот"));
  ASSERT_NE(shell::notebookOf(*window), nullptr);
  const int rowsBefore = shell::notebookOf(*window)->rowCount();
  tabl()->notebookButton()->click();
  EXPECT_EQ(shell::notebookOf(*window)->rowCount(), rowsBefore + 1);

  const int y = s.rowBaseY[0];
  click(100, y);
  ASSERT_EQ(s.cursorPos, 100);
  EXPECT_EQ(tabl()->text(ScoreboardPanel::T), "0.7813");  // 100 / 128 s
  EXPECT_EQ(tabl()->text(ScoreboardPanel::Y), QString::fromStdString(formatNumber(s.physicalValue(100, 0))));
  EXPECT_EQ(tabl()->text(ScoreboardPanel::DY), "");
  EXPECT_EQ(tabl()->text(ScoreboardPanel::In), "05");
  EXPECT_EQ(tabl()->text(ScoreboardPanel::Out), "03");

  click(100, y);  // the same column again: the anchor
  ASSERT_EQ(s.selectionAnchor, 100);
  EXPECT_EQ(tabl()->text(ScoreboardPanel::DY), "0");
  EXPECT_EQ(tabl()->text(ScoreboardPanel::DT), "0");
  EXPECT_EQ(tabl()->text(ScoreboardPanel::Integral), "");

  click(164, y);
  ASSERT_EQ(s.cursorPos, 164);
  EXPECT_EQ(tabl()->text(ScoreboardPanel::DT), "0.5");
  EXPECT_EQ(tabl()->text(ScoreboardPanel::Integral), QString::fromStdString(formatNumber(s.intervalSum(0))));
  EXPECT_EQ(tabl()->text(ScoreboardPanel::In), "00");

  // "Hex" from the list: samples and codes.
  tabl()->integralButton()->click();
  ASSERT_TRUE(tabl()->integralList()->isVisible());
  QListWidget* list = tabl()->integralList();
  QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier,
                    list->visualItemRect(list->item(kSumRawCodes)).center());
  EXPECT_FALSE(list->isVisible());
  EXPECT_EQ(s.sumMode, kSumRawCodes);
  EXPECT_EQ(tabl()->caption(ScoreboardPanel::Integral), "He=");
  EXPECT_EQ(tabl()->text(ScoreboardPanel::T), "164");
  EXPECT_EQ(tabl()->text(ScoreboardPanel::DT), "64");
  EXPECT_EQ(tabl()->text(ScoreboardPanel::Y), QString::number(codeAt(0, 164)));
  EXPECT_EQ(tabl()->text(ScoreboardPanel::In), "");
  EXPECT_EQ(s.selectionAnchor, 100);  // choosing a measure leaves the selection alone

  // Hidden and shown again: back to the mean amplitude.
  toggle->click();
  EXPECT_FALSE(tabl()->isVisible());
  EXPECT_FALSE(s.scoreboardVisible);
  toggle->click();
  EXPECT_EQ(s.sumMode, kSumMean);
  EXPECT_EQ(tabl()->caption(ScoreboardPanel::Integral), QString::fromUtf8("A ="));

  // Esc, like closing, only hides it; the setting follows.
  QTest::keyClick(tabl(), Qt::Key_Escape);
  EXPECT_FALSE(tabl()->isVisible());
  EXPECT_FALSE(s.scoreboardVisible);
  toggle->click();
  EXPECT_TRUE(tabl()->isVisible());
  EXPECT_TRUE(s.scoreboardVisible);
}

TEST_F(MonitorSpectra, ScoreboardReadsFrequenciesInTheSpectrum) {
  window->runCommand(Cmd::ScoreboardToggle);
  s.transformKind = TransformKind::Amplitude;
  ASSERT_TRUE(shell::showSpectraInMonitor(*window));
  EXPECT_EQ(tabl()->caption(ScoreboardPanel::T), "f=");
  EXPECT_EQ(tabl()->caption(ScoreboardPanel::DT), "df=");
  click(columnOf(10), s.rowBaseY[0]);
  EXPECT_EQ(tabl()->text(ScoreboardPanel::T), "10");
  EXPECT_EQ(tabl()->text(ScoreboardPanel::In), "");

  // The next epoch's spectrum refreshes the readout at the same cursor.
  const QString tenHertz = tabl()->text(ScoreboardPanel::Y);
  window->runCommand(Cmd::NextEpoch);
  EXPECT_NE(tabl()->text(ScoreboardPanel::Y), tenHertz);

  window->runCommand(Cmd::BackToSignals);
  EXPECT_EQ(tabl()->caption(ScoreboardPanel::T), "t=");
  EXPECT_EQ(tabl()->caption(ScoreboardPanel::DT), "dt=");
}

class MonitorSpectraStart : public MonitorSpectra, public ::testing::WithParamInterface<bool> {
 public:
  void SetUp() override { start(GetParam()); }
};

TEST_P(MonitorSpectraStart, ScoreboardShownWhenTheSettingsSaySo) {
  ASSERT_NE(tabl(), nullptr);
  EXPECT_EQ(tabl()->isVisible(), GetParam());
  EXPECT_EQ(s.scoreboardVisible, GetParam());
}

INSTANTIATE_TEST_SUITE_P(Visibility, MonitorSpectraStart, ::testing::Bool());

}  // namespace
}  // namespace velor
