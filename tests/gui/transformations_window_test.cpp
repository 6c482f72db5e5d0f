// "Преобразования" and "Артефакты" as a person sees them: opened from the
// menu, the window's fields and what its commands do to the record, the
// generator opened from it, undo, and the artefact window.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QTimer>
#include <algorithm>
#include <cmath>

#include "core/study_state.h"
#include "core/numtext.h"
#include "shell/commands.h"
#include "shell/main_window_texts.h"
#include "shell/ui/main_window.h"
#include "tests/test_support.h"
#include "tools/artefact_texts.h"
#include "tools/transformation_texts.h"
#include "tools/ui/artefacts_window.h"
#include "tools/ui/generator_dialog.h"
#include "tools/ui/transformations_window.h"
#include "results/graph.h"
#include "results/ui/graph_host.h"
#include "results/ui/graph_window.h"
#include "shell/ui/results_wiring.h"

namespace velor {
namespace {

QString qs(const char* t) { return QString::fromUtf8(t); }

class TransformGui : public ::testing::Test {
 protected:
  void SetUp() override {
    s.programDir = dir.path() + "/";
    s.dataDir = s.programDir;
    s.sampleRate = 1000;
    s.recordLength = 1000;
    s.channelCount = s.shownChannelCount = 2;
    for (int ch = 0; ch < 2; ++ch) {
      s.zeroLevel[ch] = 2048;
      s.calibUnits[ch] = 100;
      s.calibValue[ch] = 100;
      for (int i = 0; i < 1000; ++i) s.channelData[ch][i] = static_cast<std::int16_t>(2048 + (i * (ch + 3)) % 97);
    }
  }
  // Runs `inside` on the transformations window once it is shown modally.
  void withWindow(std::function<void(TransformationsWindow&)> inside) {
    QTimer::singleShot(0, [inside] {
      auto* w = qobject_cast<TransformationsWindow*>(QApplication::activeModalWidget());
      ASSERT_NE(w, nullptr);
      inside(*w);
    });
  }
  test::TempDir dir;
  StudyState s;
  ScriptedInteraction ui;
};

TEST_F(TransformGui, MenuEntryOpensTheWindowAndItsGeneratorWritesTheChannel) {
  shell::MainWindow window(s, ui);
  // The entry is in the menu and enabled; "Генератор" is no longer beside it.
  bool entryShown = false, generatorShown = false;
  for (QAction* a : window.findChildren<QAction*>()) {
    if (a->text() == qs(shell_text::kTransforms) && a->isVisible() && a->isEnabled()) entryShown = true;
    if (a->text() == qs(shell_text::kGenerator) && a->isVisible()) generatorShown = true;
  }
  EXPECT_TRUE(entryShown);
  EXPECT_FALSE(generatorShown);
  test::writeBytes(s.programDir + "qgen.ini", "100\r\n10\r\n");
  s.currentChannelRow = 1;
  QString caption;
  withWindow([&](TransformationsWindow& w) {
    caption = w.windowTitle();
    QTimer::singleShot(0, [&] {
      auto* g = qobject_cast<GeneratorDialog*>(QApplication::activeModalWidget());
      if (!g) return;
      generatorShown = true;
      g->waveButton(Waveform::Square)->click();
    });
    w.button(TransformCommand::Generator)->click();
  });
  window.runCommand(shell::Cmd::Transformations);
  EXPECT_EQ(caption, qs(kTrnCaption));
  EXPECT_TRUE(generatorShown);
  EXPECT_EQ(s.channelData[1][0], 4095);
  // The generated channel is taken back by "Отменить преобразование".
  withWindow([&](TransformationsWindow& w) {
    EXPECT_TRUE(w.button(TransformCommand::Undo)->isEnabled());
    w.button(TransformCommand::Undo)->click();
  });
  window.runCommand(shell::Cmd::Transformations);
  EXPECT_EQ(s.channelData[1][0], 2048);
  EXPECT_EQ(s.channelData[1][50], 2048 + (50 * 4) % 97);
}

TEST_F(TransformGui, FieldsFollowTheFilterTypeAndTheSettingsFile) {
  test::writeBytes(s.programDir + "qtrn.ini",
                   "0\r\n2\r\n1\r\n30\r\n0\r\n1\r\n1\r\n4\r\n2\r\n1\r\n5\r\n2\r\n1\r\n");
  shell::MainWindow window(s, ui);
  withWindow([&](TransformationsWindow& w) {
    EXPECT_EQ(w.filterTypeBox()->currentText(), qs(kTrnChebyshev1));
    EXPECT_FALSE(w.epsEdit()->isHidden());
    EXPECT_EQ(w.orderEdit()->text(), "4");
    EXPECT_TRUE(w.allChannelsBox()->isChecked());
    EXPECT_TRUE(w.twoWayBox()->isChecked());
    w.filterTypeBox()->setCurrentIndex(3);  // "Фурье": no order, no ripple, one way only
    EXPECT_TRUE(w.orderEdit()->isHidden());
    EXPECT_TRUE(w.epsEdit()->isHidden());
    EXPECT_TRUE(w.twoWayBox()->isHidden());
    EXPECT_FALSE(w.button(TransformCommand::Program)->isEnabled());
    w.button(TransformCommand::Cancel)->click();
  });
  window.runCommand(shell::Cmd::Transformations);
  // Written back when the window closed, with the type as it was left.
  const std::string written = test::readBytes(s.programDir + "qtrn.ini");
  EXPECT_NE(written.find("\r\n3\r\n5\r\n2\r\n1\r\n"), std::string::npos) << written;
}

// "Граф" for a Butterworth low-pass of order 4 at 100 Hz (1000 Hz sampling,
// the band 0..100 kept): 101 points from 0 to 200 Hz, |H| 1 at 0 Hz, 1/√2 at
// the corner and the prewarped Butterworth value at 200 Hz, drawn in colour 0
// where the axes put them; the window stays open and the record is unchanged.
TEST_F(TransformGui, ResponseGraphShowsTheFilterCurve) {
  shell::MainWindow window(s, ui);
  const std::vector<std::int16_t> before(s.channelData[0], s.channelData[0] + 1000);
  ui.yesNoScript = {false};  // "Нет" = remove outside the band: keep 0..100 Hz
  bool stillOpen = false;
  withWindow([&](TransformationsWindow& w) {
    w.filterTypeBox()->setCurrentIndex(0);
    w.lowEdit()->setText("0");
    w.highEdit()->setText("100");
    w.orderEdit()->setText("4");
    w.button(TransformCommand::Graph)->click();
    stillOpen = w.isVisible();
    w.button(TransformCommand::Cancel)->click();
  });
  window.runCommand(shell::Cmd::Transformations);
  QApplication::processEvents();
  EXPECT_TRUE(stillOpen);
  ASSERT_EQ(ui.questions.size(), 1u);
  EXPECT_EQ(ui.questions[0], kTrnRemoveBandQuestion);
  GraphWindow* g = shell::graphHostOf(window, s, ui).current();
  ASSERT_NE(g, nullptr);
  EXPECT_EQ(g->windowTitle(), qs(kTrnResponseCaption));
  ASSERT_EQ(g->snapshot().series.size(), 1u);
  const SeriesPoints& curve = g->snapshot().series[0];
  ASSERT_EQ(curve.count(), 101);
  EXPECT_EQ(curve.entry.colour, 0);
  EXPECT_EQ(curve.entry.style, kStyleLineMarkers);
  const double w100 = std::tan(M_PI * 0.1), w200 = std::tan(M_PI * 0.2);
  struct Point {
    int k;
    double hz, magnitude;
  };
  const Point points[] = {{0, 0, 1}, {50, 100, std::sqrt(0.5)}, {100, 200, 1 / std::sqrt(1 + std::pow(w200 / w100, 8))}};
  ASSERT_FALSE(g->lastDrawing().panels.empty());
  const PlotMapping& map = g->lastDrawing().panels[0].map;
  const QImage& pic = g->picture();
  const Rgb colour = graphColour(0);
  for (const Point& p : points) {
    EXPECT_NEAR(curve.x[static_cast<std::size_t>(p.k)], p.hz, 1e-3) << p.k;
    EXPECT_NEAR(curve.y[static_cast<std::size_t>(p.k)], p.magnitude, 1e-4) << p.k;
    int near = 0;
    for (int dy = -4; dy <= 4; ++dy)  // the point's marker is hollow
      for (int dx = -4; dx <= 4; ++dx) {
        const int x = map.px(p.hz) + dx, y = map.py(p.magnitude) + dy;
        if (pic.valid(x, y) && (pic.pixel(x, y) & 0xFFFFFF) == colour) ++near;
      }
    EXPECT_GT(near, 0) << "no curve at " << p.hz << " Hz";
  }
  // The pass band lies above the corner's value, the stop band below it.
  EXPECT_LT(map.py(curve.y[10]), map.py(curve.y[50]));
  EXPECT_GT(map.py(curve.y[90]), map.py(curve.y[50]));
  // The axes run over the frequencies and the magnitudes shown: 0..20 × 10 Hz
  // below the plot, 0..10 × 0.1 beside it.
  std::vector<std::string> labels;
  for (const GraphItem& it : g->lastDrawing().items())
    if (it.kind == GraphItem::Kind::Text) labels.push_back(trimSpaces(it.text));
  const std::vector<std::string> want = {"0", "4", "8", "12", "16", "20", "*10", "0", "2", "4", "6", "8", "10", "*0.1"};
  EXPECT_EQ(labels, want);
  EXPECT_EQ(std::vector<std::int16_t>(s.channelData[0], s.channelData[0] + 1000), before);
  g->close();
}

TEST_F(TransformGui, ZScoresOfAFlatChannelSayWhyAndChangeNothing) {
  for (int i = 0; i < 1000; ++i) s.channelData[0][i] = 2048;
  const std::vector<std::int16_t> before(s.channelData[1], s.channelData[1] + 1000);
  shell::MainWindow window(s, ui);
  bool stillOpen = false;
  withWindow([&](TransformationsWindow& w) {
    w.allChannelsBox()->setChecked(true);
    w.button(TransformCommand::ZScores)->click();
    stillOpen = w.isVisible();
    w.button(TransformCommand::Cancel)->click();
  });
  window.runCommand(shell::Cmd::Transformations);
  EXPECT_TRUE(stillOpen);
  ASSERT_FALSE(ui.messages.empty());
  EXPECT_EQ(ui.messages.back().rfind(kTrnFlatChannel, 0), 0u);
  EXPECT_EQ(std::vector<std::int16_t>(s.channelData[1], s.channelData[1] + 1000), before);
}

TEST_F(TransformGui, ArtefactWindowWithoutAFrontalLeadSaysSo) {
  shell::MainWindow window(s, ui);
  QString caption;
  QTimer::singleShot(0, [&] {
    auto* w = qobject_cast<ArtefactsWindow*>(QApplication::activeModalWidget());
    ASSERT_NE(w, nullptr);
    caption = w->windowTitle();
    EXPECT_EQ(w->secondsEdit()->text(), "0.5");
    EXPECT_EQ(w->microvoltsEdit()->text(), "100");
    EXPECT_EQ(w->inductorBox()->count(), 2);
    w->blinksButton()->click();
  });
  window.runCommand(shell::Cmd::Artefacts);
  EXPECT_EQ(caption, qs(kAfCaption));
  ASSERT_FALSE(ui.messages.empty());
  EXPECT_EQ(ui.messages.back(), kAfNoFrontal);
  EXPECT_EQ(test::readBytes(s.programDir + "qaf.ini"), "0.5\r\n100\r\n0\r\n0\r\n");
}

// "Поиск" asks for each stretch: the first is skipped, the second cut.
TEST_F(TransformGui, SearchWindowSkipsOneArtefactAndCutsTheNext) {
  for (int i = 0; i < 1000; ++i) s.channelData[0][i] = 2048;
  for (int i = 100; i < 120; ++i) s.channelData[0][i] = 2048 + 500;
  for (int i = 500; i < 520; ++i) s.channelData[0][i] = 2048 - 500;
  test::writeBytes(s.programDir + "qaf.ini", "0.01\r\n100\r\n1\r\n0\r\n");
  shell::MainWindow window(s, ui);
  std::vector<QString> searchCaptions;
  std::function<void(int)> answer = [&](int left) {
    QTimer::singleShot(0, [&, left] {
      auto* f = qobject_cast<ArtefactSearchWindow*>(QApplication::activeModalWidget());
      if (!f) return;
      searchCaptions.push_back(f->windowTitle());
      if (left > 1) answer(left - 1);
      f->button(left == 2 ? ArtefactAnswer::Skip : ArtefactAnswer::Cut)->click();
    });
  };
  QTimer::singleShot(0, [&] {
    auto* w = qobject_cast<ArtefactsWindow*>(QApplication::activeModalWidget());
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->inductorBox()->currentIndex(), 1);
    answer(2);
    w->cutButton()->click();
  });
  window.runCommand(shell::Cmd::Artefacts);
  ASSERT_EQ(searchCaptions.size(), 2u);
  EXPECT_EQ(searchCaptions[0], qs(kAfSearchCaption));
  EXPECT_EQ(s.channelData[0][110], 2048 + 500);  // skipped
  for (int i = 480; i < 1000; ++i) EXPECT_EQ(s.channelData[0][i], 2048) << i;  // cut, the end refilled
  EXPECT_EQ(s.recordLength, 1000);
}

}  // namespace
}  // namespace velor
