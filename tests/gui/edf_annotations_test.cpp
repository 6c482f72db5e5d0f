// Marks and annotations of EDF+ files as a person meets them: the texts stand
// at their marks on the monitor (the one at 0 s too), the list of the file's
// annotations steps to each, marks set on a page are saved as annotations
// and come back, and a plain EDF refuses to drop them silently.
#include <gtest/gtest.h>

#include <algorithm>

#include <QApplication>
#include <QListWidget>
#include <QTest>
#include <memory>

#include "core/interaction.h"
#include "core/record_file.h"
#include "core/study_state.h"
#include "interchange/edf.h"
#include "interchange/ui/annotation_list_dialog.h"
#include "shell/commands.h"
#include "shell/ui/main_window.h"
#include "tests/chooser_support.h"
#include "tests/test_support.h"
#include "viewer/ui/monitor_widget.h"

namespace velor::shell {
namespace {

using test::TempDir;

bool isRed(QRgb c) { return qRed(c) > 200 && qGreen(c) < 60 && qBlue(c) < 60; }

class EdfAnnotationsGui : public ::testing::Test {
 protected:
  TempDir dir;
  StudyState s;
  ScriptedInteraction ui;
  test::ScriptedChooser chooser;
  std::unique_ptr<MainWindow> window;

  // A copy of a shared recording in the test's own folder ("" when absent).
  std::string copyOf(const char* relative) {
    const std::string from = test::sharedData(relative);
    if (from.empty()) return {};
    const std::string to = dir.file(from.substr(from.find_last_of('/') + 1));
    test::writeBytes(to, test::readBytes(from));
    return to;
  }
  void start() {
    s.programDir = dir.path() + "/";
    s.dataDir = s.programDir;
    window = std::make_unique<MainWindow>(s, ui);
    window->setFileChooser(&chooser);
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    window->activateWindow();
    QApplication::processEvents();
  }
  void openByF3(const std::string& path) {
    chooser.answer = path;
    QTest::keyClick(window->monitor(), Qt::Key_F3);
    QApplication::processEvents();
  }
  AnnotationListDialog* list() {
    return window->findChild<AnnotationListDialog*>(QString(), Qt::FindDirectChildrenOnly);
  }
  // Enter on row `row` of the list.
  void activate(int row) {
    AnnotationListDialog* d = list();
    ASSERT_NE(d, nullptr);
    d->list()->setCurrentRow(row);
    QTest::keyClick(d->list(), Qt::Key_Return);
    QApplication::processEvents();
  }
  // F6 at a sample of channel 0.
  void markAt(int sample) {
    s.currentChannelRow = 0;
    s.cursorPos = sample;
    QTest::keyClick(window->monitor(), Qt::Key_F6);
    QApplication::processEvents();
  }
};

TEST_F(EdfAnnotationsGui, TextsStandAtTheirMarksAndTheListStepsToThemFromZeroSeconds) {
  const std::string path = copyOf("mne-testing-data/test_edf_overlapping_annotations.edf");
  if (path.empty()) GTEST_SKIP() << "shared recordings not present";
  start();
  openByF3(path);
  ASSERT_EQ(s.sampleRate, 128);

  // the annotation at 0 s: its text at column 0 and its red line there
  const auto shown = window->monitor()->shownAnnotations();
  ASSERT_FALSE(shown.empty());
  EXPECT_EQ(shown.front().x, 0);
  EXPECT_EQ(shown.front().sample, 0);
  EXPECT_EQ(shown.front().text, "T0");
  s.cursorPos = 100;  // the cursor line away from column 0
  window->refreshMonitor(true);
  const QImage img = window->monitor()->surface();
  EXPECT_TRUE(isRed(img.pixel(0, s.monitorHeight - 3)));
  int redText = 0;  // the text right of the line, above it
  for (int y = s.monitorHeight - 40; y < s.monitorHeight - 15; ++y)
    for (int x = 2; x < 30; ++x) redText += isRed(img.pixel(x, y)) ? 1 : 0;
  EXPECT_GT(redText, 5);
  // T1 at 1.375 s stands at its sample
  auto at176 = std::find_if(shown.begin(), shown.end(), [](const auto& l) { return l.sample == 176; });
  ASSERT_NE(at176, shown.end());
  EXPECT_EQ(at176->text, "T1");

  // the list: every annotation of the file, the one at 0 s first
  window->runCommand(Cmd::AnnotationList);
  QApplication::processEvents();
  ASSERT_NE(list(), nullptr);
  ASSERT_EQ(list()->list()->count(), 38);
  EXPECT_EQ(list()->list()->item(0)->text().toStdString(), "0.000 с  стр. 1  T0");
  EXPECT_EQ(list()->list()->item(3)->text().toStdString(), "7.875 с  стр. 1  T2");
  activate(3);
  EXPECT_EQ(s.cursorPos, 1008);
  EXPECT_EQ(s.viewStart, 1008);
  activate(0);
  EXPECT_EQ(s.cursorPos, 0);
  EXPECT_EQ(window->monitor()->shownAnnotations().front().text, "T0");
}

TEST_F(EdfAnnotationsGui, MarksOnAnEdfPlusPageAreSavedAndComeBackAsAnnotations) {
  const std::string path = copyOf("eegmat/Subject00_1.edf");
  if (path.empty()) GTEST_SKIP() << "shared recordings not present";
  const std::string original = test::readBytes(path);
  start();
  openByF3(path);
  ASSERT_EQ(s.recordCount, 3);  // 182 records of 500 samples: pages of 64 records
  const std::string mark = "Метка " + s.channelNames[0];

  // "Нет" leaves the file exactly as it was
  markAt(300);
  ASSERT_NE(s.recordModified, 0);
  ui.yesNoScript = {false};
  window->runCommand(Cmd::NextRecord);
  QApplication::processEvents();
  ASSERT_EQ(s.currentRecord, 2);
  EXPECT_EQ(test::readBytes(path), original);

  // "Да": a mark on page 2 (record 65, 64.2 s), then one on page 1 (record 1, 0.6 s)
  markAt(100);
  ui.yesNoScript = {true};
  window->runCommand(Cmd::PrevRecord);
  QApplication::processEvents();
  ASSERT_EQ(s.currentRecord, 1);
  markAt(300);
  ui.yesNoScript = {true};
  window->runCommand(Cmd::NextRecord);
  QApplication::processEvents();
  ASSERT_EQ(s.currentRecord, 2);
  EXPECT_TRUE(ui.messages.empty()) << ui.messages.front();

  // only the annotation signals of those two data records changed
  const EdfHeader* h = edfOpenHeader(s);
  ASSERT_NE(h, nullptr);
  ASSERT_EQ(h->annotationSignals.size(), 1u);
  const EdfSignalHeader& ann = h->signalHeaders[static_cast<std::size_t>(h->annotationSignals[0])];
  const std::string now = test::readBytes(path);
  ASSERT_EQ(now.size(), original.size());
  for (std::size_t i = 0; i < now.size(); ++i) {
    if (now[i] == original[i]) continue;
    const long long off = static_cast<long long>(i) - h->headerBytes;
    const long long record = off / h->recordBytes, in = off % h->recordBytes;
    EXPECT_TRUE((record == 0 || record == 64) && in >= ann.offsetInRecord &&
                in < ann.offsetInRecord + ann.samplesPerRecord * 2)
        << "byte " << i;
  }

  // opened anew, the marks are annotations: at their samples and in the list
  openByF3(path);
  ASSERT_EQ(s.currentRecord, 1);
  const auto shown = window->monitor()->shownAnnotations();
  auto at300 = std::find_if(shown.begin(), shown.end(), [](const auto& l) { return l.sample == 300; });
  ASSERT_NE(at300, shown.end());
  EXPECT_EQ(at300->text, mark);
  window->runCommand(Cmd::AnnotationList);
  QApplication::processEvents();
  ASSERT_NE(list(), nullptr);
  QStringList rows;
  for (int i = 0; i < list()->list()->count(); ++i) rows << list()->list()->item(i)->text();
  ASSERT_EQ(rows.size(), 3) << rows.join(" | ").toStdString();
  EXPECT_EQ(rows[1].toStdString(), "0.600 с  стр. 1  " + mark);
  EXPECT_EQ(rows[2].toStdString(), "64.200 с  стр. 2  " + mark);
  // stepping to the one on page 2 shows that page with the cursor on it
  activate(2);
  EXPECT_EQ(s.currentRecord, 2);
  EXPECT_EQ(s.cursorPos, 100);
  EXPECT_EQ(window->monitor()->shownAnnotations().front().text, mark);
}

TEST_F(EdfAnnotationsGui, APlainEdfRefusesToSaveMarksAndSaysWhy) {
  const std::string source = test::sharedData("eegmat/Subject00_1.edf");
  if (source.empty()) GTEST_SKIP() << "shared recordings not present";
  start();
  openByF3(source);
  // the pages written as a plain EDF: no annotation signal
  const std::string path = dir.file("plain.edf");
  ASSERT_TRUE(exportEdf(s, path, false, ui));
  openByF3(path);
  ASSERT_EQ(edfOpenHeader(s)->annotationSignals.size(), 0u);
  ASSERT_GT(s.recordCount, 1);
  const std::string original = test::readBytes(path);
  markAt(40);
  ui.messages.clear();
  ui.yesNoScript = {true};
  window->runCommand(Cmd::NextRecord);
  QApplication::processEvents();
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_NE(ui.messages[0].find("нет сигнала аннотаций"), std::string::npos) << ui.messages[0];
  EXPECT_EQ(s.currentRecord, 1);  // the page and its mark stay
  EXPECT_EQ(s.channelData[0][40], kMarkCode);
  EXPECT_EQ(test::readBytes(path), original);
  // no annotation list for it either, with a message
  ui.messages.clear();
  window->runCommand(Cmd::AnnotationList);
  EXPECT_EQ(list(), nullptr);
  EXPECT_EQ(ui.messages, (std::vector<std::string>{"В файле нет аннотаций."}));
}

}  // namespace
}  // namespace velor::shell
