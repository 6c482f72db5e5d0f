// The signal monitor as a person sees it: the widget is grabbed into an
// image and the pixels are checked where traces, names, lines and marks must be.
#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPixmap>
#include <cmath>
#include <vector>

#include "core/study_state.h"
#include "viewer/monitor.h"
#include "viewer/ui/monitor_widget.h"

namespace velor {
namespace {

bool isBlack(QRgb c) { return qRed(c) < 60 && qGreen(c) < 60 && qBlue(c) < 60; }
bool isNavyText(QRgb c) { return qRed(c) < 90 && qGreen(c) < 90 && qBlue(c) >= 90; }
bool isBlue(QRgb c) { return qRed(c) < 40 && qGreen(c) < 40 && qBlue(c) > 220; }
bool isRed(QRgb c) { return qRed(c) > 220 && qGreen(c) < 40 && qBlue(c) < 40; }
bool isGreen(QRgb c) { return qRed(c) < 40 && qGreen(c) > 100 && qGreen(c) < 160 && qBlue(c) < 40; }
bool isWhite(QRgb c) { return c == qRgb(255, 255, 255); }

// Topmost and lowest black pixel in a box, skipping one column (the cursor).
struct Extent {
  int top = 1 << 20, bottom = -1, count = 0;
  int height() const { return count == 0 ? 0 : bottom - top + 1; }
};
Extent blackExtent(const QImage& img, int x0, int x1, int y0, int y1, int skipColumn = -1) {
  Extent e;
  for (int y = std::max(0, y0); y < std::min(img.height(), y1); ++y)
    for (int x = std::max(0, x0); x < std::min(img.width(), x1); ++x) {
      if (x == skipColumn || !isBlack(img.pixel(x, y))) continue;
      e.top = std::min(e.top, y);
      e.bottom = std::max(e.bottom, y);
      ++e.count;
    }
  return e;
}

// A monitor on its own, showing `channels` channels of `length` samples.
struct Screen {
  StudyState s;
  MonitorWidget m{s};
  explicit Screen(int channels = 4, int length = 2000, int w = 800, int h = 431) {
    s.channelCount = channels;
    s.shownChannelCount = channels;
    s.recordLength = length;
    s.sampleRate = 250;
    s.displayFlags = 0;  // plain background unless a test asks for the grid
    m.resize(w, h);
    m.initialise();  // clears the channels: fill them afterwards
    m.show();
  }
  void sine(int ch, int amplitude, int period = 100) {
    for (int i = 0; i < kMaxSamples; ++i)
      s.channel(ch)[i] = static_cast<std::int16_t>(2048 + std::lround(amplitude * std::sin(2 * M_PI * i / period)));
  }
  void flat(int ch) { std::fill_n(s.channel(ch), kMaxSamples, std::int16_t{2048}); }
  QImage shot() {
    m.redraw();
    return grabbed();
  }
  QImage grabbed() {
    QImage img = m.grab().toImage().convertToFormat(QImage::Format_RGB32);
    if (qEnvironmentVariableIsSet("VELOR_GUI_DUMP")) img.save(QString("/tmp/velor_monitor_%1.png").arg(dumpCount++));
    return img;
  }
  static inline int dumpCount = 0;
  int top(int row) const { return s.rowBaseY[static_cast<std::size_t>(row)] - s.rowHeight / 2; }
  int bottom(int row) const { return s.rowBaseY[static_cast<std::size_t>(row)] + s.rowHeight / 2; }
  // the part of the drawing left of the name strip
  int traceRight() const { return s.monitorWidth - kStripWidth; }
  // black pixels of a row's trace, without the cursor line
  Extent trace(const QImage& img, int row, int x0 = 0, int x1 = -1) const {
    return blackExtent(img, x0, x1 < 0 ? traceRight() : x1, top(row), bottom(row), cursorColumn(s));
  }
  void key(int qtKey, Qt::KeyboardModifiers mods = Qt::NoModifier) {
    QKeyEvent press(QEvent::KeyPress, qtKey, mods);
    QApplication::sendEvent(&m, &press);
    QKeyEvent release(QEvent::KeyRelease, qtKey, mods);
    QApplication::sendEvent(&m, &release);
  }
  void click(int x, int y, bool twice = false) {
    const QPointF at(x, y);
    QMouseEvent press(QEvent::MouseButtonPress, at, m.mapToGlobal(at), Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&m, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, at, m.mapToGlobal(at), Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(&m, &release);
    if (twice) {
      QMouseEvent dbl(QEvent::MouseButtonDblClick, at, m.mapToGlobal(at), Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
      QApplication::sendEvent(&m, &dbl);
    }
  }
};

// Columns that are black over nearly the whole drawing height: the cursor line.
std::vector<int> fullHeightBlackColumns(const QImage& img, const StudyState& s) {
  std::vector<int> cols;
  for (int x = 0; x < s.monitorWidth; ++x) {
    int n = 0;
    for (int y = 0; y < s.monitorHeight; ++y) n += isBlack(img.pixel(x, y)) ? 1 : 0;
    if (n > s.monitorHeight * 9 / 10) cols.push_back(x);
  }
  return cols;
}

int countIn(const QImage& img, int x0, int x1, int y0, int y1, bool (*pred)(QRgb)) {
  int n = 0;
  for (int y = std::max(0, y0); y < std::min(img.height(), y1); ++y)
    for (int x = std::max(0, x0); x < std::min(img.width(), x1); ++x) n += pred(img.pixel(x, y)) ? 1 : 0;
  return n;
}

TEST(MonitorScreen, TracesAreDrawnInTheirOwnRowsAndFlatChannelsStayOnTheBaseline) {
  Screen sc(4);
  sc.sine(0, 1000);
  sc.flat(1);
  sc.sine(2, 400);
  sc.flat(3);
  sc.s.cursorPos = 300;
  const QImage img = sc.shot();
  const int rh = sc.s.rowHeight;
  // ±1000 codes where 4096 codes fill a row
  const Extent r0 = sc.trace(img, 0);
  EXPECT_NEAR(r0.height(), 2 * 1000 * rh / 4096 + 1, 2);
  EXPECT_NEAR((r0.top + r0.bottom) / 2.0, sc.s.rowBaseY[0], 1.5);
  const Extent r2 = sc.trace(img, 2);
  EXPECT_NEAR(r2.height(), 2 * 400 * rh / 4096 + 1, 2);
  for (int row : {1, 3}) {
    const Extent flat = sc.trace(img, row);
    EXPECT_EQ(flat.top, sc.s.rowBaseY[static_cast<std::size_t>(row)]) << "row " << row;
    EXPECT_EQ(flat.bottom, sc.s.rowBaseY[static_cast<std::size_t>(row)]) << "row " << row;
    EXPECT_GT(flat.count, sc.traceRight() - 3);  // a line across the whole row
  }
  // nothing in the ruler
  EXPECT_EQ(blackExtent(img, 0, sc.traceRight(), 0, kRulerHeight, cursorColumn(sc.s)).count, 0);
}

TEST(MonitorScreen, LeadNamesStandInTheStripAtTheirRows) {
  Screen sc(4);
  sc.s.channelNames[0] = "Fp1";
  sc.s.channelNames[1] = "ЭКГ";
  sc.s.channelNames[2] = "";
  sc.s.channelNames[3] = "O2";
  sc.s.currentChannelRow = 2;  // keep the current-row mark off the names
  const QImage img = sc.shot();
  const int x0 = sc.s.monitorWidth - kStripWidth;
  const int x1 = sc.s.monitorWidth;
  for (int row = 0; row < 4; ++row) {
    const int base = sc.s.rowBaseY[static_cast<std::size_t>(row)];
    const int ink = countIn(img, x0, x1, base - 10, base + 10, isNavyText);
    if (row == 2) {
      EXPECT_EQ(ink, 0) << "an empty name draws nothing";
    } else {
      EXPECT_GT(ink, 10) << "row " << row;
    }
  }
  // the names sit at the right edge, not in the middle of the drawing
  EXPECT_EQ(countIn(img, 0, x0 - 5, 0, sc.s.monitorHeight, isNavyText), countIn(img, 0, x0 - 5, 0, kRulerHeight, isNavyText));
}

TEST(MonitorScreen, CursorKeysMoveTheCursorLine) {
  Screen sc(2);
  sc.flat(0);
  sc.flat(1);
  sc.s.cursorPos = 100;
  sc.shot();
  auto cursorAt = [&] {
    const auto cols = fullHeightBlackColumns(sc.grabbed(), sc.s);
    return cols.size() == 1 ? cols[0] : -1;
  };
  EXPECT_EQ(cursorAt(), 100);
  for (int i = 0; i < 5; ++i) sc.key(Qt::Key_Right);
  EXPECT_EQ(cursorAt(), 105);
  sc.key(Qt::Key_Left, Qt::ShiftModifier);
  EXPECT_EQ(cursorAt(), 89);
  EXPECT_EQ(sc.s.cursorPos, 89);
  sc.key(Qt::Key_Right, Qt::ControlModifier);
  EXPECT_EQ(cursorAt(), 105);
  // zoomed in, one key press is one sample of four pixels
  sc.m.zoomTimeIn();
  sc.m.zoomTimeIn();
  EXPECT_EQ(cursorAt(), 105 * 4);
  sc.key(Qt::Key_Left);
  EXPECT_EQ(cursorAt(), 104 * 4);
}

TEST(MonitorScreen, ScalingStepsChangeTheDrawnAmplitude) {
  Screen sc(2);
  sc.sine(0, 600);
  sc.sine(1, 600);
  sc.s.cursorPos = 680;
  const QImage before = sc.shot();
  const int h0 = sc.trace(before, 0).height();
  for (int i = 0; i < 3; ++i) sc.m.gainUp();
  const int h3 = sc.trace(sc.grabbed(), 0).height();
  EXPECT_NEAR(static_cast<double>(h3) / h0, std::pow(1.2, 3), 0.08);
  for (int i = 0; i < 6; ++i) sc.m.gainDown();
  const int hm3 = sc.trace(sc.grabbed(), 0).height();
  EXPECT_NEAR(static_cast<double>(hm3) / h0, std::pow(1.2, -3), 0.08);
  EXPECT_EQ(sc.s.gainStep, -3);
}

TEST(MonitorScreen, TimeLinesAndLabelsFollowTheRulerAndTheFlags) {
  Screen sc(2);
  sc.s.cursorPos = 690;
  sc.s.displayFlags = kFlagMajorTimeLines;
  QImage img = sc.shot();
  // 250 Hz at zoom 0: a labelled line every 62.5 pixels
  for (int x : {62, 125, 187, 250}) EXPECT_GT(countIn(img, x, x + 1, 20, sc.s.monitorHeight, isBlue), sc.s.monitorHeight / 2) << x;
  EXPECT_EQ(countIn(img, 30, 31, 20, sc.s.monitorHeight, isBlue), 0);
  // the labels are in the ruler over their lines
  EXPECT_GT(countIn(img, 50, 75, 0, kRulerHeight, isNavyText), 5);
  sc.s.displayFlags = 0;
  img = sc.shot();
  EXPECT_EQ(countIn(img, 62, 63, 20, sc.s.monitorHeight, isBlue), 0);
  EXPECT_GT(countIn(img, 50, 75, 0, kRulerHeight, isNavyText), 5);  // labels stay
}

TEST(MonitorScreen, GridLinesFollowDisplayFlags) {
  Screen sc(2);
  for (int c : {0, 1}) std::fill_n(sc.s.channel(c), kMaxSamples, std::int16_t{3000});  // off the grid lines
  sc.s.cursorPos = 690;
  const int right = sc.traceRight();
  const int base = sc.s.rowBaseY[1];
  sc.s.displayFlags = 0;
  QImage img = sc.shot();
  EXPECT_EQ(countIn(img, 0, right, kRulerHeight, sc.s.monitorHeight, isGreen), 0);
  sc.s.displayFlags = kFlagZeroLines;
  img = sc.shot();
  const int dots = countIn(img, 0, right, base, base + 1, isGreen);
  EXPECT_GT(dots, right / 3);  // dotted: about every other pixel
  EXPECT_LT(dots, right * 2 / 3);
  sc.s.displayFlags = kFlagRowBorders;
  img = sc.shot();
  EXPECT_GT(countIn(img, 0, right, sc.bottom(0), sc.bottom(0) + 1, isGreen), right - 5);  // solid
  // both bits with few rows: the amplitude scale adds solid lines inside the rows
  sc.s.displayFlags = kFlagRowBorders | kFlagZeroLines;
  img = sc.shot();
  int solidRows = 0;
  for (int y = sc.top(0) + 2; y < sc.bottom(0) - 1; ++y)
    if (countIn(img, 0, 200, y, y + 1, isGreen) > 190) ++solidRows;
  EXPECT_GE(solidRows, 3);
}

TEST(MonitorScreen, MarkChannelChangesAreRedLinesAtTheBottom) {
  Screen sc(2);
  sc.s.markChannelCount = 1;
  std::fill_n(sc.s.markChannel, kMaxSamples, std::int16_t{0});
  std::fill_n(sc.s.markChannel + 300, 50, std::int16_t{0x0102});
  const QImage img = sc.shot();
  const int h = sc.s.monitorHeight;
  EXPECT_EQ(countIn(img, 300, 301, h - kMarkLineHeight, h, isRed), kMarkLineHeight);
  EXPECT_EQ(countIn(img, 350, 351, h - kMarkLineHeight, h, isRed), kMarkLineHeight);
  EXPECT_EQ(countIn(img, 0, sc.s.monitorWidth, 0, h - kMarkLineHeight, isRed), 0);
  EXPECT_EQ(countIn(img, 0, sc.s.monitorWidth, h - kMarkLineHeight, h, isRed), 2 * kMarkLineHeight);
}

TEST(MonitorScreen, FoldedViewShowsTheNextSegmentInTheNextRow) {
  Screen sc(2, 5000);
  sc.flat(1);
  for (int i = 1000; i < 1100; ++i) sc.s.channel(1)[i] = 3500;  // a burst in the second screenful
  sc.s.firstShownChannel = 1;
  sc.s.shownChannelCount = -1;  // three rows of channel 1
  sc.s.cursorPos = 4000;
  const QImage img = sc.shot();
  ASSERT_EQ(monitorRows(sc.s), 3);
  const int across = static_cast<int>(samplesAcross(sc.s));
  ASSERT_LT(across, 1000);  // so the burst starts inside row 1
  const int x = 1000 - across;
  const int base1 = sc.s.rowBaseY[1];
  EXPECT_EQ(sc.trace(img, 0).height(), 1);
  const Extent burst = sc.trace(img, 1, x + 10, x + 90);
  EXPECT_GT(burst.bottom, base1 + 20);  // EEG: positive codes point down
  EXPECT_EQ(sc.trace(img, 1, 0, x - 2).height(), 1);
}

TEST(MonitorScreen, EmptyRecordIsAWhiteDrawing) {
  Screen sc(4);
  sc.sine(0, 1000);
  sc.s.recordLength = 0;
  sc.s.displayFlags = 3;
  const QImage img = sc.shot();
  EXPECT_EQ(countIn(img, 0, sc.s.monitorWidth, 0, sc.s.monitorHeight, isWhite), sc.s.monitorWidth * sc.s.monitorHeight);
}

TEST(MonitorScreen, ClicksMoveTheCursorAndRowMarkAndASecondClickSetsTheAnchor) {
  Screen sc(4);
  sc.flat(0);
  sc.flat(1);
  sc.flat(2);
  sc.flat(3);
  sc.s.cursorPos = 10;
  sc.shot();
  int moved = 0;
  QObject::connect(&sc.m, &MonitorWidget::cursorMoved, [&] { ++moved; });
  sc.click(200, sc.s.rowBaseY[2]);
  EXPECT_EQ(moved, 1);
  QImage img = sc.grabbed();
  EXPECT_EQ(fullHeightBlackColumns(img, sc.s), std::vector<int>{200});
  EXPECT_EQ(sc.s.currentChannelRow, 2);
  // the green current-row mark stands at row 2 only
  const int markX = sc.s.monitorWidth - 15;
  for (int row = 0; row < 4; ++row) {
    const int greens = countIn(img, markX, markX + 1, sc.top(row) + 2, sc.bottom(row) - 2, isGreen);
    if (row == 2) {
      EXPECT_GT(greens, sc.s.rowHeight / 2);
    } else {
      EXPECT_EQ(greens, 0) << "row " << row;
    }
  }
  // a second click on the same column: the anchor, a dashed two-pixel line
  sc.click(200, sc.s.rowBaseY[2]);
  EXPECT_EQ(sc.s.selectionAnchor, 200);
  sc.click(300, sc.s.rowBaseY[0]);
  img = sc.grabbed();
  EXPECT_EQ(fullHeightBlackColumns(img, sc.s), std::vector<int>{300});
  EXPECT_TRUE(isGreen(img.pixel(200, 40 * 8 + 1)));
  EXPECT_TRUE(isGreen(img.pixel(201, 40 * 8 + 1)));
  EXPECT_EQ(img.pixel(200, 40 * 8 + 7), qRgb(255, 255, 255));  // the gap between dashes
  // Ins clears it again
  sc.key(Qt::Key_Insert);
  EXPECT_EQ(sc.s.selectionAnchor, -1);
  EXPECT_EQ(sc.grabbed().pixel(200, 40 * 8 + 1), qRgb(255, 255, 255));
}

TEST(MonitorScreen, RowKeysAndScrollKeysMoveWhatIsShown) {
  Screen sc(4, 4000);
  sc.flat(0);
  for (int i = 500; i < 520; ++i) sc.s.channel(0)[i] = 3500;
  sc.s.cursorPos = 3000;
  QImage img = sc.shot();
  EXPECT_TRUE(sc.m.horizontalBarShown());
  EXPECT_GT(sc.trace(img, 0, 495, 525).height(), 20);
  EXPECT_GT(sc.trace(img, 0, 513, 530).height(), 20);
  sc.key(Qt::Key_PageUp);  // forwards 8 pixels
  EXPECT_EQ(sc.s.viewStart, 8);
  img = sc.grabbed();
  EXPECT_GT(sc.trace(img, 0, 487, 517).height(), 20);
  EXPECT_EQ(sc.trace(img, 0, 513, 530).height(), 1);
  sc.key(Qt::Key_Home, Qt::ShiftModifier);
  EXPECT_EQ(sc.s.viewStart, 0);
  // PgDn turns a page: the spike at 500..519 leaves the screen's left edge
  sc.key(Qt::Key_PageDown);
  const long across = sc.s.viewStart;
  EXPECT_GT(across, 520);
  img = sc.grabbed();
  EXPECT_EQ(sc.trace(img, 0, 0, 30).height(), 1);
  sc.key(Qt::Key_End);  // the record's last screen
  EXPECT_EQ(sc.s.viewStart, 4000 - across);
  sc.s.acquisitionActive = 1;  // during an examination PgDn is the engine's
  sc.key(Qt::Key_PageDown);
  EXPECT_EQ(sc.s.viewStart, 4000 - across);
  sc.s.acquisitionActive = 0;
  sc.key(Qt::Key_Up);
  EXPECT_EQ(sc.s.currentChannelRow, 3);
  sc.key(Qt::Key_Down);
  EXPECT_EQ(sc.s.currentChannelRow, 0);
  // zooming out until the record fits hides the bar
  for (int i = 0; i < 3; ++i) sc.m.zoomTimeOut();
  EXPECT_FALSE(sc.m.horizontalBarShown());
}

TEST(MonitorScreen, ChannelCountStepsChangeTheRows) {
  Screen sc(8);
  for (int c = 0; c < 8; ++c) sc.sine(c, 800);
  sc.shot();
  const int tall = sc.s.rowHeight;
  sc.m.showFewerChannels();
  EXPECT_EQ(sc.s.shownChannelCount, 4);
  EXPECT_TRUE(sc.m.verticalBarShown());
  EXPECT_GT(sc.s.rowHeight, tall);
  const QImage img = sc.grabbed();
  EXPECT_GT(sc.trace(img, 3).height(), 10);
  sc.m.showMoreChannels();
  EXPECT_EQ(sc.s.shownChannelCount, 8);
  EXPECT_FALSE(sc.m.verticalBarShown());
}

TEST(MonitorScreen, TransformResultsRiseFromTheRowBottom) {
  Screen sc(2);
  sc.s.viewMode = ViewMode::Transform;
  sc.s.transformKind = TransformKind::Power;
  sc.s.recordLength = 128;
  sc.s.timeZoom = 2;
  for (int c = 0; c < 2; ++c) {
    std::fill_n(sc.s.channel(c), 128, std::int16_t{0});
    sc.s.channel(c)[40] = 3000;  // one spectral peak
  }
  sc.s.cursorPos = 120;
  const QImage img = sc.shot();
  const int bottom = sc.s.rowBaseY[0] + sc.s.rowHeight / 2;
  const Extent floor = blackExtent(img, 0, 100, sc.top(0), bottom + 2);
  EXPECT_EQ(floor.top, bottom);  // zero values lie on the row's bottom
  const Extent peak = blackExtent(img, 40 * 4 - 2, 40 * 4 + 3, sc.top(0) - 60, bottom + 2);
  EXPECT_LT(peak.top, bottom - 60);  // and the peak points up
}

TEST(MonitorScreen, CaptionBackspaceAndExaminationKeys) {
  Screen sc(2);
  QString caption;
  QObject::connect(&sc.m, &MonitorWidget::captionChanged, [&](const QString& c) { caption = c; });
  sc.s.recordFileName = "demo.cad";
  sc.m.refreshCaption();
  EXPECT_TRUE(caption.startsWith("demo: ")) << caption.toStdString();
  EXPECT_TRUE(caption.contains(QString::fromUtf8("250Гц"))) << caption.toStdString();
  sc.s.chosenFilePath = "/data/x.cad";
  sc.key(Qt::Key_Backspace);
  EXPECT_EQ(caption, "/data/x.cad");

  std::vector<int> codes;
  std::vector<MonitorCommand> commands;
  QObject::connect(&sc.m, &MonitorWidget::acquisitionKey, [&](int c) { codes.push_back(c); });
  QObject::connect(&sc.m, &MonitorWidget::commandRequested, [&](MonitorCommand c) { commands.push_back(c); });
  sc.s.acquisitionActive = 1;
  sc.s.cursorPos = 50;
  sc.key(Qt::Key_Right);
  sc.key(Qt::Key_Escape);
  sc.key(Qt::Key_F12);  // acts in both states
  EXPECT_EQ(codes, (std::vector<int>{256 + 39, 1}));
  EXPECT_EQ(sc.s.cursorPos, 50);
  EXPECT_EQ(commands, std::vector<MonitorCommand>{MonitorCommand::NewExamination});
  sc.s.acquisitionActive = 0;
  sc.key(Qt::Key_F3);
  sc.key(Qt::Key_1);
  EXPECT_EQ(commands, (std::vector<MonitorCommand>{MonitorCommand::NewExamination, MonitorCommand::OpenFile,
                                                   MonitorCommand::EegAnalysis}));
}

}  // namespace
}  // namespace velor
