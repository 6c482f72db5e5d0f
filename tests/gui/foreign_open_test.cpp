// Recordings of other systems opened from the main window (F3) as a person
// sees them: the monitor shows their channels, traces and names, and its
// caption names the file.
#include <gtest/gtest.h>

#include "core/record_file.h"

#include <QApplication>
#include <QLabel>
#include <QTest>
#include <memory>

#include "core/interaction.h"
#include "core/study_state.h"
#include "interchange/ui/file_window.h"
#include "shell/ui/main_window.h"
#include "tests/chooser_support.h"
#include "tests/test_support.h"
#include "viewer/ui/monitor_widget.h"

namespace velor::shell {
namespace {

using test::TempDir;

struct Recording {
  const char* path;  // in the shared recordings
  int channels;      // shown (a NeuroScan file of 128 channels gives its first 64)
  int rate;
  const char* first;  // name of channel 0
  const char* last;   // name of the last channel
};

class ForeignOpenGui : public ::testing::TestWithParam<Recording> {
 protected:
  TempDir dir;
  StudyState s;
  ScriptedInteraction ui;
  test::ScriptedChooser chooser;
};

TEST_P(ForeignOpenGui, F3ShowsEveryChannelOfTheRecording) {
  const Recording& r = GetParam();
  const std::string path = test::sharedData(r.path);
  if (path.empty()) GTEST_SKIP() << "shared recordings not present";
  s.programDir = dir.path() + "/";
  s.dataDir = s.programDir;
  auto window = std::make_unique<MainWindow>(s, ui);
  window->setFileChooser(&chooser);
  window->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
  window->activateWindow();
  QApplication::processEvents();

  chooser.answer = path;
  QTest::keyClick(window->monitor(), Qt::Key_F3);
  QApplication::processEvents();
  ASSERT_EQ(s.channelCount, r.channels);
  EXPECT_EQ(s.sampleRate, r.rate);
  EXPECT_EQ(s.channelNames[0], r.first);
  EXPECT_EQ(s.channelNames[static_cast<std::size_t>(r.channels - 1)], r.last);
  EXPECT_EQ(s.shownChannelCount, r.channels);
  const std::string stem = path.substr(path.find_last_of('/') + 1, path.find_last_of('.') - path.find_last_of('/') - 1);
  const QString caption = window->monitorCaption()->text();
  EXPECT_TRUE(caption.startsWith(QString::fromStdString(stem + ": "))) << caption.toStdString();

  // every row: a trace left of the name column and a name in it
  const QImage image = window->monitor()->surface();
  const int traceRight = s.monitorWidth - 60;
  int rows = 0;
  for (int row = 0; row < s.shownChannelCount; ++row) {
    const int base = s.rowBaseY[static_cast<std::size_t>(row)];
    if (base <= 0 || base >= image.height()) continue;  // below the visible part
    ++rows;
    const int top = std::max(0, base - std::max(1, s.rowHeight / 2));
    const int bottom = std::min(image.height(), base + std::max(1, s.rowHeight / 2) + 1);
    int trace = 0, name = 0;
    for (int y = top; y < bottom; ++y) {
      for (int x = 0; x < traceRight; ++x)
        if (image.pixelColor(x, y) == QColor(0, 0, 0)) ++trace;
      // names are navy; the current channel's row is highlighted, which
      // recolours its name: anything but paper, trace and grid
      for (int x = traceRight; x < s.monitorWidth; ++x) {
        const QColor p = image.pixelColor(x, y);
        if (p != QColor(255, 255, 255) && p != QColor(0, 0, 0) && p != QColor(0, 128, 0)) ++name;
      }
    }
    EXPECT_GT(trace, traceRight / 4) << r.path << " row " << row;
    EXPECT_GT(name, 0) << r.path << " row " << row;
  }
  EXPECT_GE(rows, std::min(r.channels, 8)) << r.path;
}

INSTANTIATE_TEST_SUITE_P(
    SharedRecordings, ForeignOpenGui,
    ::testing::Values(Recording{"mne-testing-data/scan41_short.cnt", 64, 400, "1", "124"},
                      Recording{"eegmat/Subject00_2.edf", 21, 500, "Fp1", "ECG"}),
    [](const ::testing::TestParamInfo<Recording>& info) { return info.index == 0 ? std::string("NeuroScan") : std::string("Edf"); });

}  // namespace
}  // namespace velor::shell
