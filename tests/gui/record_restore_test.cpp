// Processing that rewrites the record, taken back from memory: band filtering
// and the montages of "Анализ ЭЭГ", the filters of "Преобразования", the
// generator and the zero lines of the main menu, on a
// record never saved and on an EDF page. "&I=Восстановить" gives the samples
// back exactly without reading the file (the EDF or ".cad" file is spoilt on
// disk after opening, so a re-read would show), and "Отменить преобразование"
// steps back.
#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <cmath>
#include <functional>
#include <memory>
#include <vector>

#include "core/interaction.h"
#include "core/record_file.h"
#include "core/study_state.h"
#include "eeg/band_table.h"
#include "eeg/ui/eeg_analysis_dialog.h"
#include "shell/commands.h"
#include "shell/ui/eeg_wiring.h"
#include "shell/ui/main_window.h"
#include "tests/chooser_support.h"
#include "tests/test_support.h"
#include "tools/ui/generator_dialog.h"
#include "tools/ui/transformations_window.h"

namespace velor {
namespace {

using B = EegAnalysisDialog::Button;

// Every channel's samples and the channel table entries that processing changes.
struct Shown {
  int channels = 0, length = 0, rate = 0, reference = 0, pairs = 0;
  std::vector<std::vector<std::int16_t>> data;
  std::vector<int> zero;
  bool operator==(const Shown&) const = default;
};

Shown shown(const StudyState& s) {
  Shown r{s.channelCount, s.recordLength, s.sampleRate, s.referenceKind, s.leadPairCount, {}, {}};
  for (int ch = 0; ch < s.channelCount; ++ch) {
    r.data.emplace_back(s.channelData[static_cast<std::size_t>(ch)], s.channelData[static_cast<std::size_t>(ch)] + s.recordLength);
    r.zero.push_back(s.zeroLevel[ch]);
  }
  return r;
}

class RecordRestoreGui : public ::testing::Test {
 protected:
  void SetUp() override {
    s.programDir = dir.path() + "/";
    s.dataDir = s.programDir;
  }
  void start() {
    window = std::make_unique<shell::MainWindow>(s, ui);
    window->setFileChooser(&chooser);
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    QApplication::processEvents();
  }
  void TearDown() override {
    ui.answerYes = false;  // "Записать изменения в файл?" on closing: no
    window.reset();
  }
  // One button of "Анализ ЭЭГ", the band list at the alpha row.
  void eegButton(B button) {
    installDefaultBands(s);
    updateBandCount(s);
    int alpha = 0;
    for (int i = 0; i < s.bandCount; ++i)
      if (s.bandTable[static_cast<std::size_t>(i)].low == "8") alpha = i;
    shell::setEegWindowRunner(*window, [alpha, button](EegAnalysisDialog& w) {
      w.bandList()->setCurrentIndex(alpha);
      w.button(button)->click();
    });
    window->action(shell::Cmd::Eeg)->trigger();
    QApplication::processEvents();
  }
  // Runs `inside` on "Преобразования" once it is shown.
  void transformations(std::function<void(TransformationsWindow&)> inside) {
    QTimer::singleShot(0, [inside] {
      auto* w = qobject_cast<TransformationsWindow*>(QApplication::activeModalWidget());
      ASSERT_NE(w, nullptr);
      inside(*w);
    });
    window->runCommand(shell::Cmd::Transformations);
    QApplication::processEvents();
  }
  // A Butterworth band-pass 1..30 Hz over every channel, the band kept.
  void butterworth() {
    ui.yesNoScript = {true};
    transformations([](TransformationsWindow& w) {
      w.filterTypeBox()->setCurrentIndex(0);
      w.lowEdit()->setText("1");
      w.highEdit()->setText("30");
      w.orderEdit()->setText("3");
      w.allChannelsBox()->setChecked(true);
      w.button(TransformCommand::Filter)->click();
    });
  }
  void restore() {
    window->runCommand(shell::Cmd::RestoreRecord);
    QApplication::processEvents();
  }
  void openSpoilt(const std::string& path, std::size_t header);
  // Filtering, a common average and an IIR filter step, each taken back.
  void filterMontageAndUndo();

  test::TempDir dir;
  StudyState s;
  ScriptedInteraction ui;
  test::ScriptedChooser chooser;
  std::unique_ptr<shell::MainWindow> window;
};

TEST_F(RecordRestoreGui, UnsavedRecordComesBackAfterFilteringAndMontages) {
  s.sampleRate = 250;
  s.recordLength = 2000;
  s.channelCount = s.shownChannelCount = 4;
  const char* names[] = {"Fp1", "F3", "C3", "O1"};
  for (int ch = 0; ch < 4; ++ch) {
    s.channelNames[static_cast<std::size_t>(ch)] = names[ch];
    s.zeroLevel[ch] = static_cast<std::uint16_t>(2040 + ch * 5);
    s.calibUnits[ch] = 2047;
    s.calibValue[ch] = 200;
    for (int i = 0; i < 2000; ++i)
      s.channelData[static_cast<std::size_t>(ch)][i] = static_cast<std::int16_t>(
          2048 + std::lround(300 * std::sin(2 * M_PI * 10 * i / 250.0 + ch) + 80 * std::sin(2 * M_PI * 0.7 * i / 250.0)) +
          (i * (ch + 3)) % 17);
  }
  s.leadPairCount = 2;
  s.leadPairs[0] = {1, 2};
  s.leadPairs[1] = {3, 4};
  start();
  const Shown original = shown(s);
  ASSERT_EQ(s.recordFileHandle, -1);

  const struct {
    const char* what;
    std::function<void()> apply;
  } steps[] = {
      {"band filtering", [&] { eegButton(B::Filter); }},
      {"common average", [&] { eegButton(B::CommonRef); }},
      {"bipolar montage", [&] { eegButton(B::Bipolar); }},
      {"amplitude normalisation", [&] { eegButton(B::Normalise); }},
      {"IIR filter", [&] { butterworth(); }},
      {"generator", [&] {
         test::writeBytes(s.programDir + "qgen.ini", "100\r\n10\r\n");
         QTimer::singleShot(0, [] {
           if (auto* g = qobject_cast<GeneratorDialog*>(QApplication::activeModalWidget()))
             g->waveButton(Waveform::Square)->click();
         });
         window->runCommand(shell::Cmd::Generator);
       }},
      {"zero lines", [&] {
         s.selectionAnchor = 100;
         s.cursorPos = 400;
         window->runCommand(shell::Cmd::ZeroAll);
       }},
  };
  for (const auto& step : steps) {
    step.apply();
    EXPECT_FALSE(shown(s) == original) << step.what << " changed nothing";
    restore();
    EXPECT_TRUE(shown(s) == original) << step.what;
    EXPECT_EQ(s.recordModified, 0) << step.what;
  }
  // Two steps, then "Отменить преобразование" takes back the last one only.
  eegButton(B::CommonRef);
  const Shown referenced = shown(s);
  butterworth();
  transformations([](TransformationsWindow& w) { w.button(TransformCommand::Undo)->click(); });
  EXPECT_TRUE(shown(s) == referenced);
  restore();
  EXPECT_TRUE(shown(s) == original);
  EXPECT_TRUE(ui.messages.empty()) << ::testing::PrintToString(ui.messages);
}

// The recording is opened, then its samples on disk are spoilt: reading the
// record again would show. `header` gives the bytes before the samples.
void RecordRestoreGui::openSpoilt(const std::string& path, std::size_t header) {
  start();
  chooser.answer = path;
  window->action(shell::Cmd::Open)->trigger();
  QApplication::processEvents();
  ASSERT_EQ(s.recordFilePath, path);
  ASSERT_GT(s.recordLength, 100);
  std::string bytes = test::readBytes(path);
  ASSERT_LT(header, bytes.size());
  for (std::size_t i = header; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7);
  test::writeBytes(path, bytes);
}

void RecordRestoreGui::filterMontageAndUndo() {
  const Shown original = shown(s);
  butterworth();
  EXPECT_FALSE(shown(s) == original);
  EXPECT_NE(s.recordModified, 0);
  restore();
  EXPECT_TRUE(shown(s) == original);
  EXPECT_EQ(s.recordModified, 0);

  eegButton(B::CommonRef);
  EXPECT_FALSE(shown(s) == original);
  restore();
  EXPECT_TRUE(shown(s) == original);

  butterworth();
  transformations([](TransformationsWindow& w) { w.button(TransformCommand::Undo)->click(); });
  EXPECT_TRUE(shown(s) == original);
  EXPECT_TRUE(ui.messages.empty()) << ::testing::PrintToString(ui.messages);
}

TEST_F(RecordRestoreGui, EdfPageComesBackFromMemoryNotFromTheFile) {
  const std::string from = test::sharedData("eegmat/Subject00_1.edf");
  if (from.empty()) GTEST_SKIP() << "the shared recordings are missing";
  const std::string path = dir.file("Subject00_1.edf");
  const std::string bytes = test::readBytes(from);
  test::writeBytes(path, bytes);
  openSpoilt(path, static_cast<std::size_t>(std::stoi(bytes.substr(184, 8))));
  filterMontageAndUndo();
}

TEST_F(RecordRestoreGui, CadRecordComesBackFromMemoryNotFromTheFile) {
  const std::string path = dir.file("alpha.cad");
  {
    StudyState w;
    ScriptedInteraction quiet;
    w.channelCount = 3;
    w.recordLength = 3000;
    w.sampleRate = 250;
    for (int c = 0; c < 3; ++c)
      for (int i = 0; i < 3000; ++i)
        w.channel(c)[i] = static_cast<std::int16_t>(2048 + std::lround(400 * std::sin(2 * M_PI * (9 + c) * i / 250.0)) + i % 13);
    ASSERT_TRUE(saveRecords(w, path, quiet));
  }
  // the last samples of the only record end the file
  openSpoilt(path, test::readBytes(path).size() - 3000);
  filterMontageAndUndo();
}

}  // namespace
}  // namespace velor
