// The express analysis side window of an examination: beside the monitor and
// as tall as it, it draws after every record what the analysis found — the
// band diagrams with their legend, the running evoked average, the heart-rate
// strips (two columns a record; space empties them) — and goes when the plan
// comes back. "Анализ ЭКГ" of the sports diagnostics draws the heart rates of
// the recordings into "RR-диаграммы".
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QButtonGroup>
#include <QColor>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <cmath>
#include <fcntl.h>
#include <unistd.h>

#include "acquisition/exam_plan.h"
#include "acquisition/ui/express_dialog.h"
#include "acquisition/ui/express_window.h"
#include "acquisition/ui/plan_dialog.h"
#include "acquisition/ui/sport_dialog.h"
#include "core/binio.h"
#include "core/record_file.h"
#include "core/settings.h"
#include "results/text_results.h"
#include "results/ui/text_results_window.h"
#include "shell/ui/acquisition_wiring.h"
#include "shell/ui/exam_wiring.h"
#include "shell/ui/main_window.h"
#include "tests/gui/exam_window_fixture.h"
#include "tests/test_support.h"
#include "viewer/ui/monitor_widget.h"

namespace velor::shell {
namespace {

bool isBlue(QRgb c) { return qBlue(c) > 150 && qRed(c) < 60 && qGreen(c) < 60; }
bool isRed(QRgb c) { return qRed(c) > 150 && qBlue(c) < 60 && qGreen(c) < 60; }
bool isDark(QRgb c) { return qGray(c) < 100; }

// Pixels of `pic` inside `r` for which `want` holds.
template <class F>
int count(const QImage& pic, QRect r, F want) {
  r = r.intersected(pic.rect());
  int n = 0;
  for (int y = r.top(); y <= r.bottom(); ++y)
    for (int x = r.left(); x <= r.right(); ++x) n += want(pic.pixel(x, y));
  return n;
}

class ExpressSide : public test_exam::ExamWindowFixture {
 protected:
  ExpressSide() { kindText = "1"; }  // K2: ECG on channel 7
  // Starts an examination of `channels` channels, records of interval item
  // `interval`, no file, with the express kind the dialog script chooses.
  void examine(int channels, int interval, std::function<void(ExpressDialog&)> express) {
    setExpressDialogRunner(*window, std::move(express));
    started = false;
    setPlanDialogRunner(*window, [this, channels, interval](PlanDialog& d) {
      ++plans;
      if (started) {
        d.cancelClicked();
        return;
      }
      QTest::mouseClick(d.expressButton(), Qt::LeftButton);
      d.channelsEdit()->setText(QString::number(channels));
      d.intervalList()->setCurrentIndex(interval);
      d.fileList()->setEditText("");
      QTest::mouseClick(d.startButton(), Qt::LeftButton);
      started = s.dialogResult == 1;
      if (!started) d.cancelClicked();
    });
    window->runCommand(Cmd::Examination);
    ASSERT_TRUE(examinationStatus(*window).has_value()) << (ui.messages.empty() ? "" : ui.messages[0]);
  }
  ExpressWindow* side() const { return window->findChild<ExpressWindow*>("expressWindow"); }
  bool recordsEnded(int n) {
    return QTest::qWaitFor([&] { return examinationStatus(*window) && examinationStatus(*window)->recordNumber > n; },
                           30000);
  }
  bool started = false;
  int plans = 0;
};

// The heart-rate monitor: every record adds a blue (shortest rate) and a red
// (longest) column to the ECG channel's strip; space empties every strip.
TEST_F(ExpressSide, HeartRateColumnsGrowPerRecordAndSpaceClearsThem) {
  examine(8, 5, [](ExpressDialog& e) {
    e.kinds()->button(4)->setChecked(true);
    e.maxEdit()->setText("150");
    e.minEdit()->setText("30");
    e.channelList()->setCurrentIndex(0);
    QTest::mouseClick(e.confirmButton(), Qt::LeftButton);
  });
  ExpressWindow* w = side();
  ASSERT_NE(w, nullptr);
  EXPECT_TRUE(w->isVisible());
  EXPECT_EQ(w->windowTitle(), "RR-интервалы");
  QWidget* area = window->monitor()->parentWidget();
  EXPECT_EQ(w->height(), area->height());
  EXPECT_EQ(w->geometry().right(), area->width() - 1);
  EXPECT_EQ(s.sidePanelWidth, w->width());
  EXPECT_LE(window->monitor()->width(), area->width() - w->width());
  // Nothing before the first record ends.
  EXPECT_EQ(count(w->picture(), QRect(0, 20, 8, w->height()), [](QRgb c) { return isBlue(c) || isRed(c); }), 0);

  ASSERT_TRUE(recordsEnded(3));
  QTest::qWait(100);
  const QImage pic = w->picture();
  // Strips of equal height under the caption; the ECG channel is the 7th.
  const int strip = (pic.height() - 18) / 8;
  const QRect ecg(0, 18 + 6 * strip, pic.width(), strip);
  EXPECT_GT(count(pic, QRect(0, ecg.top(), 1, strip), isBlue), 0);
  EXPECT_GT(count(pic, QRect(1, ecg.top(), 1, strip), isRed), 0);
  EXPECT_GT(count(pic, QRect(2, ecg.top(), 2, strip), [](QRgb c) { return isBlue(c) || isRed(c); }), 0);
  // A channel without beats stays empty.
  EXPECT_EQ(count(pic, QRect(0, 18, 8, strip), [](QRgb c) { return isBlue(c) || isRed(c); }), 0);
  EXPECT_EQ(count(pic, QRect(8, ecg.top(), pic.width() - 8, strip), [](QRgb c) { return isBlue(c) || isRed(c); }),
            0);  // three records, six columns

  window->monitor()->setFocus();
  QTest::keyClick(window->monitor(), Qt::Key_Space);
  // The second record's columns go (the next record starts again at the left).
  ASSERT_TRUE(QTest::qWaitFor(
      [&] {
        return count(w->picture(), QRect(2, ecg.top(), 2, strip), [](QRgb c) { return isBlue(c) || isRed(c); }) == 0;
      },
      3000));

  // After the examination the plan comes back (as F12 brings it) and the side
  // window is gone: the monitor has its width again.
  QTest::keyClick(window->monitor(), Qt::Key_Escape);
  ASSERT_TRUE(QTest::qWaitFor([&] { return plans >= 2; }, 5000));
  QTest::qWait(50);
  EXPECT_EQ(side(), nullptr);
  EXPECT_EQ(s.sidePanelWidth, 0);
}

// Evoked averaging: the running average of every channel is drawn about its
// line under "Усреднение ВП".
TEST_F(ExpressSide, TheRunningAverageIsDrawn) {
  examine(4, 2, [](ExpressDialog& e) {
    e.kinds()->button(3)->setChecked(true);
    e.gainEdit()->setText("1");
    e.artefactEdit()->setText("0");
    QTest::mouseClick(e.confirmButton(), Qt::LeftButton);
  });
  ExpressWindow* w = side();
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(w->windowTitle(), "Усреднение");
  ASSERT_TRUE(recordsEnded(3));
  QTest::qWait(100);
  const QImage pic = w->picture();
  // The caption at the top, the curves across the rows (right of the names).
  EXPECT_GT(count(pic, QRect(0, 0, pic.width(), 16), isDark), 20);
  const QRect curves(32, 34, pic.width() - 36, pic.height() - 36);
  int columns = 0;
  for (int x = curves.left(); x <= curves.right(); ++x)
    columns += count(pic, QRect(x, curves.top(), 1, curves.height()), isDark) > 0;
  EXPECT_GT(columns, curves.width() * 9 / 10);
}

// The band diagrams: coloured bars per channel and the legend at the bottom.
TEST_F(ExpressSide, BandDiagramsShowTheLegendAtTheBottom) {
  examine(6, 4, [](ExpressDialog& e) {
    e.kinds()->button(1)->setChecked(true);
    QTest::mouseClick(e.confirmButton(), Qt::LeftButton);
  });
  ExpressWindow* w = side();
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(w->windowTitle(), "Диаграммы спектра");
  const QImage empty = w->picture();
  EXPECT_EQ(count(empty, empty.rect(), isDark), 0);
  ASSERT_TRUE(recordsEnded(2));
  QTest::qWait(100);
  const QImage pic = w->picture();
  const QRect legend(0, pic.height() - 18, pic.width(), 18);
  EXPECT_GT(count(pic, legend, isDark), 100);
  // The legend is one centred line of text.
  EXPECT_EQ(count(pic, QRect(0, legend.top(), 15, 18), isDark), 0);
  EXPECT_GT(count(pic, QRect(0, 18, pic.width(), legend.top() - 18),
                  [](QRgb c) { return QColor(c).hsvSaturation() > 150; }),
            50);
}

// The band map: the head coloured from the channels with a place on it.
TEST_F(ExpressSide, TheBandMapIsDrawn) {
  int bands = 0;
  examine(6, 4, [&](ExpressDialog& e) {
    e.kinds()->button(2)->setChecked(true);
    bands = e.bandList()->count() - 1;
    e.bandList()->setCurrentIndex(std::min(2, bands));
    QTest::mouseClick(e.confirmButton(), Qt::LeftButton);
  });
  ExpressWindow* w = side();
  ASSERT_NE(w, nullptr);
  ASSERT_TRUE(recordsEnded(2));
  QTest::qWait(100);
  const QImage pic = w->picture();
  EXPECT_GT(count(pic, QRect(0, 0, pic.width(), 16), isDark), 20);  // the band's name
  EXPECT_GT(count(pic, pic.rect(), [](QRgb c) { return QColor(c).hsvSaturation() > 150; }), 2000);
}

// The drawings that need no examination to be seen: the four-band map, the
// wave bars with their caption, and the note when no wave was found.
TEST(ExpressPictureDrawing, FourMapsWaveBarsAndNoWaves) {
  ExpressPicture p;
  p.kind = 2;
  p.channels = 4;
  p.names = {"F3", "F4", "O1", "O2"};
  p.posX = {20, 44, 22, 42};
  p.posY = {15, 15, 50, 50};
  p.bandNames = {"Дельта", "Тета", "Альфа", "Бета1", "Бета2"};
  p.bandValues = {{1, 2, 3, 1, 1}, {1, 2, 3, 1, 1}, {3, 2, 9, 1, 1}, {3, 2, 9, 1, 1}};
  p.mapBand = -1;
  QImage pic(320, 640, QImage::Format_RGB32);
  paintExpressPicture(pic, p);
  // Four heads one under the other, each coloured.
  const auto coloured = [](QRgb c) { return QColor(c).hsvSaturation() > 150; };
  const int cell = (640 - 18) / 4;
  for (int i = 0; i < 4; ++i)
    EXPECT_GT(count(pic, QRect(0, 18 + i * cell, 320, cell), coloured), 500) << i;

  ExpressPicture w;
  w.kind = 6;
  w.channels = 2;
  w.names = {"C3", "RSP"};
  w.waveChannel = 1;
  w.wavePeriods = {4, 4.2, 3.8, 4};
  pic.fill(Qt::black);
  paintExpressPicture(pic, w);
  const auto green = [](QRgb c) { return qGreen(c) > 80 && qRed(c) < 40 && qBlue(c) < 40; };
  EXPECT_EQ(count(pic, QRect(0, 0, 320, 18), green), 0);
  EXPECT_GT(count(pic, QRect(0, 0, 320, 18), isDark), 20);  // "Анализ периодов волн"
  int bars = 0;
  for (int x = 0; x < 320; ++x) bars += count(pic, QRect(x, 600, 1, 1), green) > 0;
  EXPECT_GT(bars, 4 * 60);  // four bars across the width
  w.kind = 5;  // no amplitudes: the note in their place
  pic.fill(Qt::black);
  paintExpressPicture(pic, w);
  EXPECT_EQ(count(pic, pic.rect(), green), 0);
  EXPECT_GT(count(pic, QRect(0, 300, 320, 60), isDark), 20);
}

// Without an express analysis no side window comes, and one left from an
// earlier examination goes.
TEST_F(ExpressSide, NoExpressAnalysisNoSideWindow) {
  examine(4, 0, [](ExpressDialog& e) {
    e.kinds()->button(0)->setChecked(true);
    QTest::mouseClick(e.confirmButton(), Qt::LeftButton);
  });
  EXPECT_EQ(side(), nullptr);
  EXPECT_EQ(s.sidePanelWidth, 0);
}

// A recording with a clean R wave every `every` samples on channel 0 and a
// flat channel 1, `records` records of 2500 samples at 250 Hz.
void writeEcgRecording(const std::string& path, int records, int every) {
  StudyState r;
  r.channelCount = 2;
  r.sampleRate = 250;
  r.recordLength = 2500;
  r.markChannelCount = 1;
  r.channelNames[0] = "ECG";
  r.channelNames[1] = "X2";
  for (int c = 0; c < 2; ++c) {
    r.zeroLevel[c] = 2048;
    r.calibUnits[c] = 100;
    r.calibValue[c] = 100;
  }
  for (int j = 0; j < r.recordLength; ++j) {
    const int phase = j % every;
    // a narrow triangle of 800 codes
    const int rise = phase < 6 ? phase * 130 : phase < 12 ? (12 - phase) * 130 : 0;
    r.channelData[0][j] = static_cast<std::int16_t>(2048 + rise);
    r.channelData[1][j] = 2048;
    r.markChannel[j] = 0;
  }
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0644);
  ASSERT_GE(fd, 0);
  r.recordCount = records;
  ASSERT_TRUE(writeHeader(r, fd));
  for (int i = 0; i < records; ++i) ASSERT_TRUE(writeRecord(r, fd));
  ::close(fd);
}

class SportEcg : public ExpressSide {};

// "Анализ ЭКГ": the relaxation and the three records after the load, two
// columns each, in a side window "RR-диаграммы" 600 pixels wide; cancelling
// keeps the picture as a bitmap and opens the recording after the load.
TEST_F(SportEcg, AnalysesTheRecordingsIntoRrDiagrams) {
  s.groupMode = 2;
  writeEcgRecording(dir.file("team.cad"), 1, 200);   // 75 per minute
  writeEcgRecording(dir.file("teams.cad"), 3, 125);  // 120 per minute
  bool ran = false;
  setSportDialogRunner(*window, [&](SportDialog& d) {
    ran = true;
    EXPECT_TRUE(d.ecgButton()->isEnabled());
    d.fileList()->setEditText("team");
    QTest::mouseClick(d.ecgButton(), Qt::LeftButton);
    EXPECT_EQ(d.x(), 0);
    ExpressWindow* w = side();
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->windowTitle(), "RR-диаграммы");
    EXPECT_EQ(w->width(), 600);
    const QImage pic = w->picture();
    const int strip = (pic.height() - 18) / 2;
    auto coloured = [](QRgb c) { return isBlue(c) || isRed(c); };
    for (int x = 0; x < 8; ++x)
      EXPECT_GT(count(pic, QRect(x, 18, 1, strip), coloured), 0) << "column " << x;
    EXPECT_EQ(count(pic, QRect(8, 18, pic.width() - 8, strip), coloured), 0);
    EXPECT_EQ(count(pic, QRect(0, 18 + strip, pic.width(), strip), coloured), 0);  // the flat channel
    // Faster after the load: the later columns stand higher.
    const int before = count(pic, QRect(0, 18, 1, strip), isBlue);
    const int after = count(pic, QRect(2, 18, 1, strip), isBlue);
    EXPECT_GT(after, before);
    EXPECT_EQ(d.findChildren<QPushButton*>().size() > 0, true);
    for (QPushButton* b : d.findChildren<QPushButton*>())
      if (b->text() == "<Esc>=Отменить") QTest::mouseClick(b, Qt::LeftButton);
  });
  setPlanDialogRunner(*window, [](PlanDialog& d) { d.cancelClicked(); });
  window->runCommand(Cmd::Examination);
  EXPECT_TRUE(ran);
  EXPECT_TRUE(ui.messages.empty()) << ui.messages[0];
  EXPECT_TRUE(fileExists(dir.file("team.bmp")));
  EXPECT_EQ(s.recordFilePath, dir.file("teams.cad"));
  // The heart rates of the four records, in the text window, not yet saved.
  const std::string rates = "team.cad 1: ECG=75-75 X2=-\r\nteams.cad 1: ECG=120-120 X2=-\r\n"
                            "teams.cad 2: ECG=120-120 X2=-\r\nteams.cad 3: ECG=120-120 X2=-\r\n";
  EXPECT_EQ(test::readBytes(dir.file("HRT.tmp")), rates);
  TextResultsWindow* text = textWindowOf(window.get());
  ASSERT_NE(text, nullptr);
  EXPECT_TRUE(text->journal().modified());
  EXPECT_NE(text->textBox()->toPlainText().indexOf("teams.cad 3: ECG=120-120 X2=-"), -1)
      << text->textBox()->toPlainText().toStdString();
  EXPECT_FALSE(examinationStatus(*window).has_value());
}

// No name: the message, nothing drawn.
TEST_F(SportEcg, WithoutANameAsksForIt) {
  s.groupMode = 2;
  setSportDialogRunner(*window, [&](SportDialog& d) {
    d.fileList()->setEditText("  ");
    QTest::mouseClick(d.ecgButton(), Qt::LeftButton);
    EXPECT_EQ(side(), nullptr);
    d.reject();
  });
  window->runCommand(Cmd::Examination);
  EXPECT_EQ(ui.messages, std::vector<std::string>{"Введите имя файла записи"});
}

}  // namespace
}  // namespace velor::shell
