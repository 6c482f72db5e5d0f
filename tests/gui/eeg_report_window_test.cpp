// "&4=Диагноз": the report of the demo record appears in the text result
// window titled "Диагноз ЭЭГ"; a record without the standard leads gets
// the message and no window.
#include <gtest/gtest.h>

#include <QApplication>
#include <QPlainTextEdit>
#include <memory>

#include "core/interaction.h"
#include "core/study_state.h"
#include "eeg/band_table.h"
#include "eeg/eeg_report.h"
#include "eeg/eeg_report_texts.h"
#include "eeg/spectral.h"
#include "eeg/ui/eeg_report_ui.h"
#include "results/ui/text_results_window.h"
#include "tests/test_support.h"
#include "tools/demo_study.h"

namespace velor {
namespace {

class EegReportWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    s.programDir = dir.path() + "/";
    s.dataDir = s.programDir;
    DemoStudyOptions o;
    setupDemoStudy(s, o);
    synthesizeDemoRecord(s, o, 0);
    installDefaultBands(s);
    main = std::make_unique<QWidget>();
  }
  void TearDown() override {
    if (TextResultsWindow* w = textWindowOf(main.get())) w->close();
    QApplication::processEvents();
  }
  test::TempDir dir;
  StudyState s;
  SpectralEngine engine;
  ScriptedInteraction ui;
  std::unique_ptr<QWidget> main;
};

TEST_F(EegReportWindow, ShowsTheReportLinesUnderItsTitle) {
  s.transformKind = TransformKind::CrossSpectrum;
  s.dialogResult = 4;
  const EegReport expected = eegReport(engine, s);
  ASSERT_TRUE(expected.ok()) << expected.problem;
  TextResultsWindow* w = runEegDiagnosis(main.get(), s, engine, ui);
  QApplication::processEvents();
  ASSERT_NE(w, nullptr);
  EXPECT_TRUE(w->isVisible());
  EXPECT_EQ(w->windowTitle(), QString::fromUtf8(eeg_report_text::kWindowTitle));
  EXPECT_TRUE(ui.messages.empty());
  EXPECT_EQ(s.transformKind, TransformKind::Amplitude);
  EXPECT_EQ(s.dialogResult, 0);
  const QString shown = w->textBox()->toPlainText();
  for (const std::string& line : expected.lines)
    EXPECT_TRUE(shown.contains(QString::fromUtf8(line))) << line;
  EXPECT_TRUE(shown.contains(QString::fromUtf8("Степень нарушения ЭЭГ: норма.")));
  // The lines follow the examination header in the order of the report.
  const QStringList rows = shown.split('\n');
  const int first = static_cast<int>(rows.indexOf(QString::fromUtf8(expected.lines.front())));
  ASSERT_GE(first, 0);
  for (std::size_t i = 0; i < expected.lines.size(); ++i)
    EXPECT_EQ(rows.value(first + static_cast<int>(i)), QString::fromUtf8(expected.lines[i]));
}

TEST_F(EegReportWindow, RecordWithoutTheStandardLeadsGetsTheMessage) {
  s.channelNames[17] = "X1";  // O1
  TextResultsWindow* w = runEegDiagnosis(main.get(), s, engine, ui);
  QApplication::processEvents();
  EXPECT_EQ(w, nullptr);
  EXPECT_EQ(textWindowOf(main.get()), nullptr);
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0], "Неадекватный комплект отведений!");
}

}  // namespace
}  // namespace velor
