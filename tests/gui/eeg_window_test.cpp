// The EEG analysis window "Анализ ЭЭГ": its captions and hints, the epoch
// list filling the shift and "N=", and "&1=Спектр" from the main window
// ending with the spectra in the monitor's transform view.
#include <gtest/gtest.h>

#include "core/record_file.h"

#include <QAction>
#include <QApplication>
#include <QStatusBar>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <cmath>
#include <memory>

#include "core/interaction.h"
#include "core/study_state.h"
#include "eeg/band_table.h"
#include "eeg/eeg_analysis.h"
#include "eeg/eeg_analysis_texts.h"
#include "eeg/spectral.h"
#include "eeg/spectral_texts.h"
#include "eeg/period_texts.h"
#include "results/ui/graph_host.h"
#include "results/ui/text_results_window.h"
#include "results/ui/graph_window.h"
#include "shell/ui/results_wiring.h"
#include "eeg/ui/eeg_analysis_dialog.h"
#include "shell/commands.h"
#include "shell/ui/eeg_wiring.h"
#include "shell/ui/main_window.h"
#include "tests/chooser_support.h"
#include "tests/test_support.h"
#include "viewer/ui/monitor_widget.h"

namespace velor {
namespace {

using namespace velor::eeg_text;
using B = EegAnalysisDialog::Button;

QString qs(const char* s) { return QString::fromUtf8(s); }

class EegWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    s.programDir = dir.path() + "/";
    s.dataDir = s.programDir;
    s.channelCount = s.shownChannelCount = 2;
    s.recordLength = 3000;
    s.sampleRate = 250;
    installDefaultBands(s);
  }
  test::TempDir dir;
  StudyState s;
  SpectralEngine engine;
  ScriptedInteraction ui;
  EegAnalysis eeg{s, engine, ui};
};

TEST_F(EegWindow, ShowsItsCaptionsAndHints) {
  EegAnalysisDialog::Actions actions;
  actions.bandTable = [] {};
  actions.leadEditor = [] {};
  actions.clinicalReport = [] {};
  actions.amplitudeMaps = [] {};
  actions.periodResults = [](const PeriodCommandResult&) {};
  actions.bandDiagrams = true;
  EegAnalysisDialog w(eeg, actions);
  w.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
  EXPECT_EQ(w.windowTitle(), qs(kWindowTitle));
  EXPECT_EQ(w.settingsGroup()->title(), qs(kGroupSettings));
  EXPECT_EQ(w.methodsGroup()->title(), qs(kGroupMethods));

  struct Row {
    B button;
    const char* caption;
    const char* hint;
    bool enabled;
  };
  const Row rows[] = {
      {B::Maps, kMapsButton, kMapsHint, true},
      {B::Spectrum, kSpectrumButton, kSpectrumHint, true},
      {B::Diagrams, kDiagramsButton, kDiagramsHint, true},
      {B::EpochMaps, kEpochMapsButton, kEpochMapsHint, true},
      {B::Report, kReportButton, kReportHint, true},
      {B::Period, kPeriodButton, kPeriodHint, true},
      {B::Filter, kFilterButton, kFilterHint, true},
      {B::Synchrony, kSynchronyButton, kSynchronyHint, false},
      {B::Localise, kLocaliseButton, kLocaliseHint, false},
      {B::Bands, kBandsButton, kBandsHint, true},
      {B::Leads, kLeadsButton, kLeadsHint, true},
      {B::Bipolar, kBipolarButton, kBipolarHint, true},
      {B::CommonRef, kCommonRefButton, kCommonRefHint, true},
      {B::Normalise, kNormaliseButton, kNormaliseHint, true},
      {B::Cancel, kCancelButton, kCancelHint, true},
  };
  for (const Row& r : rows) {
    QPushButton* b = w.button(r.button);
    EXPECT_TRUE(b->isVisible()) << r.caption;
    EXPECT_EQ(b->text(), qs(r.caption));
    EXPECT_EQ(b->isEnabled(), r.enabled) << r.caption;
    EXPECT_TRUE(b->toolTip().startsWith(qs(r.hint))) << r.caption;
    // a button of a later version says so in its hint
    EXPECT_EQ(b->toolTip() == qs(r.hint), r.enabled) << r.caption;
  }

  // the settings: each label beside its control with the control's hint
  const std::pair<const char*, const char*> labels[] = {
      {kEpochLabel, kEpochHint}, {kShiftLabel, kShiftHint},   {kAverageLabel, kAverageHint},
      {kMeasureLabel, kMeasureHint}, {kWindowLabel, kWindowHint}, {kBandLabel, kBandHint}};
  const auto shown = w.settingsGroup()->findChildren<QLabel*>();
  for (const auto& [caption, hint] : labels) {
    bool found = false;
    for (QLabel* l : shown)
      if (l->text() == qs(caption)) {
        found = true;
        EXPECT_EQ(l->toolTip(), qs(hint));
      }
    EXPECT_TRUE(found) << caption;
  }
  EXPECT_EQ(w.epochList()->toolTip(), qs(kEpochHint));
  EXPECT_EQ(w.countLabel()->toolTip(), qs(kCountHint));
  ASSERT_EQ(w.measureList()->count(), 9);
  for (int i = 0; i < 9; ++i) EXPECT_EQ(w.measureList()->itemText(i), qs(kMeasures[i]));
  ASSERT_EQ(w.windowList()->count(), 11);
  EXPECT_EQ(w.windowList()->itemText(0), qs(spectral_text::kWindowNames[0]));
  EXPECT_EQ(w.windowList()->itemText(10), qs(spectral_text::kWindowNames[10]));
  ASSERT_EQ(w.bandList()->count(), kDefaultBandCount);
  EXPECT_EQ(w.bandList()->itemText(0), QString::fromStdString(s.bandTable[0].name));
  EXPECT_EQ(w.averageEdit()->text(), "1");  // averagedEpochs 0 shows as 1
  w.close();
}

TEST_F(EegWindow, WithoutTheirWindowsTheButtonsWaitAndEscapeKeepsTheSettings) {
  EegAnalysisDialog w(eeg, {});
  w.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
  for (B b : {B::Maps, B::Diagrams, B::EpochMaps, B::Report, B::Period, B::Bands, B::Leads}) {
    EXPECT_FALSE(w.button(b)->isEnabled());
    EXPECT_TRUE(w.button(b)->toolTip().contains(QStringLiteral("пока недоступно")));
  }
  EXPECT_TRUE(w.button(B::Spectrum)->isEnabled());
  w.epochList()->setCurrentIndex(2);
  QTest::keyClick(&w, Qt::Key_Escape);
  EXPECT_FALSE(w.isVisible());
  EXPECT_EQ(s.dialogResult, 0);
  // closing applied the settings and wrote them
  EXPECT_EQ(s.epochLength, 128);
  EXPECT_EQ(test::readBytes(s.programDir + "qeeg.ini"), "0.512\r\n2\r\n0\r\n");
}

TEST_F(EegWindow, ChoosingAnEpochFillsTheShiftAndTheCount) {
  EegAnalysisDialog w(eeg, {});
  w.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
  // a record of 3000 samples offers 32 to 2048
  ASSERT_EQ(w.epochList()->count(), 7);
  EXPECT_EQ(w.epochList()->itemText(0), "0.128");
  EXPECT_EQ(w.epochList()->itemText(6), "8.192");
  w.epochList()->setCurrentIndex(3);
  EXPECT_EQ(w.shiftEdit()->text(), "1.024");
  EXPECT_EQ(w.countLabel()->text(), "N=11");
  // a shift typed with a comma halves the step
  w.shiftEdit()->selectAll();
  QTest::keyClicks(w.shiftEdit(), "0,512");
  EXPECT_EQ(s.epochStep, 128);
  EXPECT_EQ(w.countLabel()->text(), "N=" + QString::number(static_cast<int>((3000 - 256) / 128.0 + 1)));
  w.close();
}

// The main window with a 10 Hz record.
constexpr int kRate = 128;

void writeStudy(const std::string& path) {
  StudyState s;
  ScriptedInteraction ui;
  s.channelCount = 2;
  s.recordLength = 1024;
  s.sampleRate = kRate;
  s.channelNames[0] = "O1";
  s.channelNames[1] = "O2";
  for (int c = 0; c < 2; ++c)
    for (int i = 0; i < s.recordLength; ++i)
      s.channel(c)[i] = static_cast<std::int16_t>(2048 + std::lround((c == 0 ? 500 : 100) * std::cos(2 * M_PI * 10 * i / kRate)));
  ASSERT_TRUE(saveRecords(s, path, ui));
}

using test::ScriptedChooser;

// The main window with the alpha study opened through "Open".
struct EegCommand : ::testing::Test {
  test::TempDir dir;
  StudyState s;
  ScriptedInteraction ui;
  ScriptedChooser chooser;
  std::unique_ptr<shell::MainWindow> window;
  void SetUp() override {
    s.programDir = dir.path() + "/";
    s.dataDir = s.programDir;
    const std::string path = dir.file("alpha.cad");
    writeStudy(path);
    window = std::make_unique<shell::MainWindow>(s, ui);
    window->setFileChooser(&chooser);
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    chooser.answer = path;
    window->action(shell::Cmd::Open)->trigger();
  }
};

TEST_F(EegCommand, SpectrumFromTheMainWindowShowsTheTransformView) {
  ASSERT_EQ(s.recordLength, 1024);
  ASSERT_TRUE(window->action(shell::Cmd::Eeg)->isEnabled());

  QString shownTitle;
  shell::setEegWindowRunner(*window, [&](EegAnalysisDialog& w) {
    w.show();
    shownTitle = w.windowTitle();
    w.epochList()->setCurrentIndex(3);  // 256 samples, 2 s: bin k is k × 0.5 Hz
    w.button(B::Spectrum)->click();
  });
  window->action(shell::Cmd::Eeg)->trigger();
  QApplication::processEvents();
  EXPECT_EQ(shownTitle, qs(kWindowTitle));
  EXPECT_TRUE(ui.messages.empty()) << (ui.messages.empty() ? "" : ui.messages[0]);
  EXPECT_EQ(s.viewMode, ViewMode::Transform);
  EXPECT_EQ(s.transformKind, TransformKind::Amplitude);
  EXPECT_EQ(s.epochLength, 256);
  EXPECT_EQ(s.recordLength, 128);
  // the monitor's rows now hold the spectra: the peak at 10 Hz
  int peak = 1;
  for (int i = 1; i < s.recordLength; ++i)
    if (s.channelData[0][i] > s.channelData[0][peak]) peak = i;
  EXPECT_EQ(peak, 20);

  // the monitor's key "1" runs the same command; cancelling returns to the signals
  shell::setEegWindowRunner(*window, [](EegAnalysisDialog& w) { w.button(B::Cancel)->click(); });
  QTest::keyClick(window->monitor(), Qt::Key_1);
  QApplication::processEvents();
  EXPECT_EQ(s.viewMode, ViewMode::Signals);
  EXPECT_EQ(s.recordLength, 1024);
  ui.answerYes = true;  // the close question
  window.reset();
}

TEST_F(EegCommand, PeriodAnalysisShowsHistogramsOrTheChannelTable) {
  installDefaultBands(s);
  updateBandCount(s);
  int alpha = -1;
  for (int i = 0; i < s.bandCount; ++i)
    if (s.bandTable[static_cast<std::size_t>(i)].low == "8") alpha = i;
  ASSERT_GE(alpha, 0);

  shell::setEegWindowRunner(*window, [alpha](EegAnalysisDialog& w) {
    w.bandList()->setCurrentIndex(alpha);
    w.button(B::Period)->click();
  });
  ui.yesNoScript = {false};  // "Нет": the current channel
  window->action(shell::Cmd::Eeg)->trigger();
  QApplication::processEvents();
  ASSERT_EQ(ui.questions.size(), 1u);
  EXPECT_EQ(ui.questions[0], period_text::kAllChannelsQuestion);
  EXPECT_TRUE(ui.messages.empty()) << (ui.messages.empty() ? "" : ui.messages[0]);
  GraphWindow* graph = shell::graphHostOf(*window, s, ui).current();
  ASSERT_NE(graph, nullptr);
  EXPECT_EQ(graph->windowTitle(), qs(period_text::kHistogramCaption));
  EXPECT_LT(graph->seriesCountCode(), 0);  // two panels
  EXPECT_FALSE(test::readBytes(dir.file("alpha.doc")).empty());
  // the person is told where the list of waves went
  EXPECT_EQ(window->statusBar()->currentMessage(),
            qs(period_text::kWaveListWritten) + QString::fromStdString(dir.file("alpha.doc")));
  EXPECT_EQ(s.viewMode, ViewMode::Signals);
  EXPECT_EQ(s.recordModified, 0);

  ui.yesNoScript = {true};  // every channel: the table in the text window
  window->action(shell::Cmd::Eeg)->trigger();
  QApplication::processEvents();
  TextResultsWindow* text = textWindowOf(window.get());
  ASSERT_NE(text, nullptr);
  const QString shown = text->textBox()->toPlainText();
  EXPECT_TRUE(shown.contains(qs(period_text::kAllChannelsHeadLine)));
  EXPECT_TRUE(shown.contains(QStringLiteral("\nO1 ")));
  EXPECT_TRUE(shown.contains(QStringLiteral("\nO2 ")));
  graph->close();
  text->close();
  ui.answerYes = true;
  window.reset();
}

}  // namespace
}  // namespace velor
