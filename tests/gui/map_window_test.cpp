// The map window as a person sees it: docked beside the monitor, the same
// pixels as the map drawing, its captions, redrawn when the cursor moves,
// the band diagrams, the values saved by F4, and cards kept on disk.
#include <gtest/gtest.h>

#include "core/record_file.h"

#include <QApplication>
#include <QClipboard>
#include <QGuiApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>
#include <QTest>
#include <algorithm>
#include <memory>

#include "core/interaction.h"
#include "core/study_state.h"
#include "core/numtext.h"
#include "core/text.h"
#include "eeg/band_table.h"
#include "eeg/map_texts.h"
#include "eeg/maps.h"
#include "shell/ui/map_wiring.h"
#include "eeg/ui/map_render.h"
#include "eeg/ui/map_window.h"
#include "shell/commands.h"
#include "shell/main_commands.h"
#include "results/ui/print_target.h"
#include "shell/ui/results_wiring.h"
#include "shell/ui/scoreboard_wiring.h"
#include "shell/ui/main_window.h"
#include "instruments/ui/scoreboard_panel.h"
#include "tests/chooser_support.h"
#include "tests/test_support.h"
#include "tools/demo_study.h"
#include "viewer/ui/monitor_widget.h"

namespace velor {
namespace {

using test::TempDir;

QString qs(const char* s) { return QString::fromUtf8(s); }

using test::ScriptedChooser;

class MapWindowTest : public ::testing::Test {
 public:
  void SetUp() override {
    s.programDir = dir.path() + "/";
    s.dataDir = s.programDir;
    const std::string path = dir.file("demo.cad");
    DemoStudyOptions o;
    o.records = 1;
    o.seconds = 8;
    {
      StudyState scratch;
      scratch.programDir = s.programDir;
      NoProgress progress;
      std::string reason;
      ASSERT_TRUE(writeDemoStudy(scratch, path, o, progress, reason)) << reason;
    }
    window = std::make_unique<shell::MainWindow>(s, ui);
    window->setFileChooser(&chooser);
    window->resize(1100, 700);
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    QApplication::processEvents();
    chooser.answers = {path};
    window->action(shell::Cmd::Open)->trigger();
    ASSERT_EQ(s.recordCount, 1);
    s.epochLength = s.epochStep = 256;
    s.normaliseEpochGrid();
    installDefaultBands(s);  // as the band window gives a fresh installation
  }
  void TearDown() override {
    ui.answerYes = true;  // the close question
    window.reset();
  }
  MapWindow* map() { return mapWindowOf(*window); }

  TempDir dir;
  StudyState s;
  ScriptedInteraction ui;
  ScriptedChooser chooser;
  std::unique_ptr<shell::MainWindow> window;
};

TEST_F(MapWindowTest, DocksBesideTheMonitorAndShowsTheMapDrawing) {
  const int fullWidth = window->monitor()->width();
  MapWindow* m = amplitudeMaps(*window, s, window->spectralEngine(), ui);
  ASSERT_NE(m, nullptr);
  ASSERT_EQ(m, map());
  EXPECT_TRUE(m->isVisible());
  EXPECT_EQ(s.sidePanelWidth, 210);
  EXPECT_EQ(m->width(), 210);
  QWidget* area = m->parentWidget();
  EXPECT_EQ(m->geometry().right(), area->width() - 1);
  EXPECT_LT(window->monitor()->width(), fullWidth - 200);
  EXPECT_LE(window->monitor()->geometry().right(), m->geometry().left());
  EXPECT_EQ(m->windowTitle(), qs("Карта: "));

  // the window shows exactly the picture of the map drawing
  const QImage expected = renderMapPicture(s, m->settings(), windowMapView(s, m->size()), m->size());
  EXPECT_EQ(m->picture().convertToFormat(QImage::Format_RGB32), expected.convertToFormat(QImage::Format_RGB32));
  EXPECT_EQ(m->grab().toImage().convertToFormat(QImage::Format_RGB32), expected.convertToFormat(QImage::Format_RGB32));

  // a cursor step in the monitor redraws the map for the new sample
  const QImage before = m->picture();
  const int cursor = s.cursorPos;
  for (int i = 0; i < 20 && m->picture() == before; ++i)
    QTest::keyClick(window->monitor(), Qt::Key_Right);
  EXPECT_NE(s.cursorPos, cursor);
  EXPECT_NE(m->picture(), before);
  EXPECT_EQ(m->picture().convertToFormat(QImage::Format_RGB32),
            renderMapPicture(s, m->settings(), windowMapView(s, m->size()), m->size()).convertToFormat(QImage::Format_RGB32));

  // F2 prints the picture on one page after the print settings
  PrintHooks& hooks = shell::printHooksOf(*window, s, ui);
  int asked = 0;
  const std::string pdf = dir.file("map.pdf");
  hooks.askSettings = [&] {
    ++asked;
    return std::optional<PrintSettings>(PrintSettings{});
  };
  hooks.makeTarget = [&] { return std::make_unique<PdfPrintTarget>(QString::fromStdString(pdf)); };
  QTest::keyClick(m, Qt::Key_F2);
  EXPECT_EQ(asked, 1);
  EXPECT_GT(test::readBytes(pdf).size(), 1000u);

  // F10 closes it and gives the monitor its width back
  QTest::keyClick(m, Qt::Key_F10);
  EXPECT_EQ(s.sidePanelWidth, 0);
  QApplication::processEvents();
  EXPECT_EQ(map(), nullptr);
  EXPECT_GT(window->monitor()->width(), fullWidth - 10);
}

// "&0=Записи" and opening a file close the side window and give the monitor
// its width back.
TEST_F(MapWindowTest, RecordsCommandAndOpeningCloseTheSideWindow) {
  const int fullWidth = window->monitor()->width();
  for (shell::Cmd cmd : {shell::Cmd::BackToSignals, shell::Cmd::Open}) {
    ASSERT_NE(amplitudeMaps(*window, s, window->spectralEngine(), ui), nullptr);
    ASSERT_LT(window->monitor()->width(), fullWidth - 200);
    chooser.answers = {dir.file("demo.cad")};
    window->runCommand(cmd);
    QApplication::processEvents();
    EXPECT_EQ(map(), nullptr) << static_cast<int>(cmd);
    EXPECT_EQ(s.sidePanelWidth, 0);
    EXPECT_EQ(window->monitor()->width(), fullWidth);
  }
}

TEST_F(MapWindowTest, BandDiagramsCaptionsAndValues) {
  ASSERT_TRUE(bandDiagramMaps(*window, s, window->spectralEngine(), ui, ViewMode::BandDiagrams)) << (ui.messages.empty() ? "" : ui.messages.back());
  MapWindow* m = map();
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(s.viewMode, ViewMode::BandDiagrams);
  EXPECT_EQ(s.sidePanelWidth, 420);
  const std::string first = trimSpaces(s.bandTable[0].name);
  EXPECT_EQ(m->windowTitle(), QString::fromStdString("Карта: " + first + "-Aср"));
  // "R": a table of subjects, one epoch each
  {
    std::string table = "Name Fp1\r\n";
    for (int subject = 0; subject < 3; ++subject) {
      table += "S" + std::to_string(subject);
      for (int c = 0; c < s.channelCount; ++c) table += " " + std::to_string(10 * subject + c);
      table += "\r\n";
    }
    test::writeBytes(dir.file("subjects.txt"), table);
  }
  chooser.answers = {dir.file("subjects.txt")};
  m->tools()->button("R")->click();
  EXPECT_EQ(s.viewMode, ViewMode::EpochMaps);
  EXPECT_EQ(s.epochCount, 3);
  EXPECT_EQ(s.resultGet(0, 18, 2), 38);
  ASSERT_TRUE(bandDiagramMaps(*window, s, window->spectralEngine(), ui, ViewMode::BandDiagrams));
  // Right chooses the next band
  QTest::keyClick(m, Qt::Key_Right);
  EXPECT_EQ(s.currentBand, 1);
  EXPECT_EQ(m->windowTitle(), QString::fromStdString("Карта: " + trimSpaces(s.bandTable[1].name) + "-Aср"));
  // a click in the diagram chooses row and band; the scoreboard reads them
  const int rowHeight = (m->height() - 40) / 19;
  QTest::mouseClick(m, Qt::LeftButton, Qt::NoModifier, QPoint(40 + 160 / s.bandCount * 2 + 5, rowHeight * 17 + 2));
  EXPECT_EQ(s.currentChannelRow, 17);  // O1
  EXPECT_EQ(s.currentBand, 2);
  if (ScoreboardPanel* board = shell::scoreboardOf(*window)) {
    EXPECT_EQ(board->text(ScoreboardPanel::Y).toStdString(), formatNumber(s.resultValue(2, 17, s.currentEpoch)));
  }
  // the alpha map: a back-of-the-head pixel hotter (higher on the scale) than a frontal one
  s.currentBand = 2;
  m->drawMaps();
  const MapView v = m->currentView();
  const QPoint back = electrodePixel(v, 31, 56), front = electrodePixel(v, 31, 8);
  const QRgb hot = m->picture().pixel(back), cold = m->picture().pixel(front);
  EXPECT_GT(qRed(hot), qRed(cold) - 1);
  EXPECT_LT(qBlue(hot), qBlue(cold) + 1);
  EXPECT_NE(hot, cold);

  // F4: the values through the save dispatch of kind 10
  chooser.answers = {dir.file("values.txt")};
  QTest::keyClick(m, Qt::Key_F4);
  const std::string text = cp1251ToUtf8(test::readBytes(dir.file("values.txt")));
  EXPECT_EQ(text.rfind("Fq-area Fp1 Fp2", 0), 0u) << text;
  EXPECT_NE(text.find("\r\n" + first + " "), std::string::npos);

  // no bands: the message and no diagrams
  s.bandCount = 0;
  EXPECT_FALSE(bandDiagramMaps(*window, s, window->spectralEngine(), ui, ViewMode::EpochMaps));
  EXPECT_EQ(ui.messages.back(), "Не установлены частотные диапазоны!");
  EXPECT_EQ(s.viewMode, ViewMode::Signals);
}

TEST_F(MapWindowTest, ToolAndCardWindowsKeepCardsOnDisk) {
  ASSERT_TRUE(bandDiagramMaps(*window, s, window->spectralEngine(), ui, ViewMode::BandDiagrams)) << (ui.messages.empty() ? "" : ui.messages.back());
  MapWindow* m = map();
  MapToolsWindow* tools = m->tools();
  EXPECT_EQ(tools->windowTitle(), qs("Карты"));
  for (const char* caption : {"&1=Спектр", "&2=Диапазоны", "&3=Эпохи", "&4=Картотека", "Экспорт", "Закрыть"})
    ASSERT_NE(tools->button(caption), nullptr) << caption;
  EXPECT_EQ(tools->measureList()->count(), 4);
  EXPECT_EQ(tools->bandList()->count(), s.bandCount);
  // Esc shows the tool window
  QTest::keyClick(m, Qt::Key_Escape);
  EXPECT_TRUE(tools->isVisible());
  // the colour box switches to the grey scale
  tools->colourBox()->setChecked(false);
  EXPECT_FALSE(m->settings().colour);

  MapCardsWindow* cards = m->cards();
  EXPECT_EQ(cards->windowTitle(), qs("Картотека"));
  for (const char* caption : {"  Читать   ", "&1=Усреднить", "&2=  -- файлы", "&3=Сравнить", "&4=  -- файлы",
                              "Сохранить", "Печать", "Закрыть"})
    ASSERT_NE(cards->button(caption), nullptr) << caption;
  const std::string card = dir.file("one.cam");
  chooser.answers = {card};
  ASSERT_TRUE(cards->saveCurrent());
  MapCard read;
  std::string problem;
  ASSERT_TRUE(readMapCard(card, read, problem)) << problem;
  EXPECT_EQ(read.count, 1);
  // averaging the current map into the card rewrites it with n = 2
  chooser.answers = {card};
  ASSERT_TRUE(cards->averageWithCurrent());
  ASSERT_TRUE(readMapCard(card, read, problem));
  EXPECT_EQ(read.count, 2);
  EXPECT_TRUE(m->showsCardStatistics());
  // comparing with a card of other parameters is refused
  MapCard other = read;
  other.bandMode = 3;
  ASSERT_TRUE(writeMapCard(dir.file("other.cam"), other, problem));
  chooser.answers = {dir.file("other.cam")};
  EXPECT_FALSE(cards->compareWithCurrent());
  EXPECT_EQ(ui.messages.back(), "Несовпадение параметров карт");
  // Ctrl+C copies the picture; Ctrl+X leaves it white
  QTest::keyClick(m, Qt::Key_C, Qt::ControlModifier);
  EXPECT_EQ(QGuiApplication::clipboard()->image().convertToFormat(QImage::Format_RGB32),
            m->picture().convertToFormat(QImage::Format_RGB32));
  // Esc over the statistics opens the card window
  cards->hide();
  QTest::keyClick(m, Qt::Key_Escape);
  EXPECT_TRUE(cards->isVisible());
}

// What the picture shows at its right: the colour bar (the coloured column
// at the right edge), its labels (dark text left of the bar, from the unit
// above it down to the bottom) and the head (tinted pixels left of the
// bar, from column `from` on: the band diagrams lie left of it).
struct ScaleAndHead {
  QRect bar, labels, head;
};

ScaleAndHead scaleAndHead(const QImage& picture, int from) {
  const QImage pic = picture.convertToFormat(QImage::Format_RGB32);
  const auto coloured = [&](int x, int y) {
    const QRgb c = pic.pixel(x, y);
    return std::max({qRed(c), qGreen(c), qBlue(c)}) - std::min({qRed(c), qGreen(c), qBlue(c)}) > 40;
  };
  // the head's colours near the middle of the scale are faint tints
  const auto tinted = [&](int x, int y) {
    const QRgb c = pic.pixel(x, y);
    return std::max({qRed(c), qGreen(c), qBlue(c)}) - std::min({qRed(c), qGreen(c), qBlue(c)}) >= 8;
  };
  const auto dark = [&](int x, int y) {
    const QRgb c = pic.pixel(x, y);
    return qRed(c) < 100 && qGreen(c) < 100 && qBlue(c) < 100;
  };
  ScaleAndHead r;
  // the bar: coloured columns next to the right edge, near the bottom, in a
  // black frame whose left side gives its height (the middle level is white)
  const int probe = pic.height() - 20;
  int x = pic.width() - 1;
  while (x > 0 && !coloured(x, probe)) --x;
  const int barRight = x;
  while (x > 0 && coloured(x - 1, probe)) --x;
  const int frame = x - 1;
  if (frame < 0 || !dark(frame, probe)) return r;
  int top = probe, bottom = probe;
  while (top > 0 && dark(frame, top - 1)) --top;
  while (bottom + 1 < pic.height() && dark(frame, bottom + 1)) ++bottom;
  r.bar = QRect(QPoint(frame, top), QPoint(barRight + 1, bottom));
  for (int y = std::max(0, top - 24); y < pic.height(); ++y)
    for (int xx = std::max(0, frame - 90); xx < frame - 1; ++xx)
      if (dark(xx, y)) r.labels |= QRect(xx, y, 1, 1);
  for (int y = 0; y < pic.height(); ++y)
    for (int xx = from; xx < frame - 1; ++xx)
      if (tinted(xx, y)) r.head |= QRect(xx, y, 1, 1);
  return r;
}

void expectScaleClearOfHead(const QImage& picture, int from, const char* what) {
  const ScaleAndHead r = scaleAndHead(picture, from);
  ASSERT_GT(r.bar.height(), 60) << what;
  ASSERT_FALSE(r.labels.isEmpty()) << what;
  ASSERT_GT(r.head.height(), 100) << what;  // a head of useful size is shown
  EXPECT_FALSE(r.head.intersects(r.labels)) << what;
  EXPECT_FALSE(r.head.intersects(r.bar)) << what;
  EXPECT_GE(r.labels.left(), from) << what;  // nor do the labels fall on the diagrams
}

// "&2=Диапазоны" and "&3=Эпохи" of the tool window widen the map window
// beside the monitor for the diagrams, as the EEG window's commands do: the
// head lies right of the diagrams and the colour bar's labels are clear of it.
TEST_F(MapWindowTest, ToolWindowDiagramsTakeTheWideLayout) {
  for (const char* caption : {map_text::kBandsButton, map_text::kEpochsButton}) {
    MapWindow* m = amplitudeMaps(*window, s, window->spectralEngine(), ui);
    ASSERT_NE(m, nullptr);
    ASSERT_EQ(m->width(), 210);
    expectScaleClearOfHead(m->picture(), 0, "map");
    const int narrowed = window->monitor()->width();
    m->tools()->button(caption)->click();
    QApplication::processEvents();
    EXPECT_TRUE(showsBandDiagrams(s.viewMode)) << caption;
    EXPECT_EQ(m->width(), 420) << caption;
    EXPECT_EQ(s.sidePanelWidth, 420) << caption;
    EXPECT_LT(window->monitor()->width(), narrowed - 200) << caption;
    EXPECT_LE(window->monitor()->geometry().right(), m->geometry().left()) << caption;
    expectScaleClearOfHead(m->grab().toImage(), 212, caption);
    // "&0=Записи" closes the map; the next round opens it narrow again
    window->runCommand(shell::Cmd::BackToSignals);
    QApplication::processEvents();
  }
}

// A short main window: the colour bar stays clear of the head (the head is
// made smaller), for the map and for the diagrams.
TEST_F(MapWindowTest, ColourBarClearOfTheHeadInAShortWindow) {
  MapWindow* m = amplitudeMaps(*window, s, window->spectralEngine(), ui);
  ASSERT_NE(m, nullptr);
  window->resize(window->width(), window->height() - (m->height() - 400));
  QApplication::processEvents();
  ASSERT_EQ(m->height(), 400);
  expectScaleClearOfHead(m->grab().toImage(), 0, "map");
  m->tools()->button(map_text::kEpochsButton)->click();
  QApplication::processEvents();
  ASSERT_EQ(m->height(), 400);
  expectScaleClearOfHead(m->grab().toImage(), 212, "epochs");
}

TEST_F(MapWindowTest, SeriesAndAnimation) {
  MapWindow* m = amplitudeMaps(*window, s, window->spectralEngine(), ui);
  ASSERT_NE(m, nullptr);
  MapToolsWindow* tools = m->tools();
  tools->refresh();
  EXPECT_TRUE(tools->startButton()->isHidden());
  // "Серия": small maps from the cursor on, one per sample, each labelled
  tools->modeList()->setCurrentIndex(2);
  EXPECT_EQ(m->mappingMode(), 2);
  EXPECT_TRUE(m->windowTitle().startsWith(qs("Серия: ")));
  MapView v = windowMapView(s, m->size());
  v.seriesStart = s.cursorPos;
  EXPECT_EQ(m->picture().convertToFormat(QImage::Format_RGB32),
            renderMapPicture(s, m->settings(), v, m->size()).convertToFormat(QImage::Format_RGB32));
  // "Мульти" shows "&Start"; the animation runs its steps and returns to "Карта"
  tools->modeList()->setCurrentIndex(1);
  EXPECT_FALSE(tools->startButton()->isHidden());
  s.cursorPos = s.recordLength - 3;
  m->startAnimation();
  EXPECT_TRUE(m->animating());
  int steps = 0;
  while (m->animationStep()) ++steps;
  EXPECT_EQ(steps, 3);  // not beyond the record
  EXPECT_EQ(m->mappingMode(), 0);
  // epoch maps: each epoch and three frames on the way to the next
  ASSERT_TRUE(bandDiagramMaps(*window, s, window->spectralEngine(), ui, ViewMode::EpochMaps));
  m->startAnimation();
  steps = 0;
  while (m->animationStep()) ++steps;
  EXPECT_EQ(steps, (m->epochColumns() - 1) * 4 + 1);
}

}  // namespace
}  // namespace velor
