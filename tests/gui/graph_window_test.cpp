// Graph windows as a person sees them: the picture is read back pixel by
// pixel where the curve, the labels and the cursor must be; windows tile and
// take their slots; files and the clipboard go through the program's paths.
#include <gtest/gtest.h>

#include "core/record_file.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QFont>
#include <QImage>
#include <QKeyEvent>
#include <QPainter>
#include <QTest>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "core/binio.h"
#include "core/interaction.h"
#include "core/study_state.h"
#include "results/graph.h"
#include "results/graph_texts.h"
#include "results/ui/graph_host.h"
#include "results/ui/graph_paint.h"
#include "results/ui/print_target.h"
#include "results/ui/graph_window.h"
#include "shell/commands.h"
#include "shell/file_dispatch.h"
#include "shell/ui/results_wiring.h"
#include "shell/ui/main_window.h"
#include "tests/test_support.h"
#include "viewer/ui/monitor_widget.h"

namespace velor {
namespace {

using test::TempDir;

bool isColour(QRgb c, Rgb want, int tolerance = 40) {
  return std::abs(qRed(c) - static_cast<int>((want >> 16) & 0xFF)) <= tolerance &&
         std::abs(qGreen(c) - static_cast<int>((want >> 8) & 0xFF)) <= tolerance &&
         std::abs(qBlue(c) - static_cast<int>(want & 0xFF)) <= tolerance;
}

// Pixels of a colour within a box around (x, y).
int colourNear(const QImage& img, int x, int y, Rgb want, int radius = 2) {
  int n = 0;
  for (int yy = y - radius; yy <= y + radius; ++yy)
    for (int xx = x - radius; xx <= x + radius; ++xx)
      if (xx >= 0 && yy >= 0 && xx < img.width() && yy < img.height() && isColour(img.pixel(xx, yy), want)) ++n;
  return n;
}

// A text as the window writes it (its font, black, transparent) on silver.
QImage textPatch(const std::string& text, int boxWidth) {
  QImage img(boxWidth, 20, QImage::Format_RGB32);
  img.fill(toQColor(kGraphBackground));
  GraphItem it;
  it.kind = GraphItem::Kind::Text;
  it.text = text;
  it.boxWidth = boxWidth;
  QPainter p(&img);
  paintGraphItems(p, {it}, graphFont());
  return img;
}

// Equal images; with VELOR_GUI_DUMP set a mismatch is saved for a look.
bool samePixels(const QImage& got, const QImage& want, const char* name) {
  if (got == want) return true;
  if (qEnvironmentVariableIsSet("VELOR_GUI_DUMP")) {
    got.save(QString("/tmp/velor_graph_%1_got.png").arg(name));
    want.save(QString("/tmp/velor_graph_%1_want.png").arg(name));
  }
  return false;
}

class GraphGui : public ::testing::Test {
 protected:
  void SetUp() override {
    s.programDir = dir.path() + "/";
    s.dataDir = s.programDir;
    host = std::make_unique<GraphHost>(s, ui, nullptr);
    host->tileTop = [] { return 50; };
  }
  void TearDown() override {
    host.reset();
    QApplication::processEvents();
  }

  // Rows 0/1 hold x and y of series 0 in colour `colour`.
  void fillSeries(const std::vector<double>& x, const std::vector<double>& y, int colour = 3, int style = 0,
                  int xRow = 0, int yRow = 1, int k = 0) {
    for (std::size_t i = 0; i < x.size(); ++i) {
      setFloatAt(s, xRow, static_cast<int>(i), static_cast<float>(x[i]));
      setFloatAt(s, yRow, static_cast<int>(i), static_cast<float>(y[i]));
    }
    GraphTable& t = host->table();
    t.series[static_cast<std::size_t>(k)] = {static_cast<std::uint8_t>(xRow), static_cast<std::uint8_t>(yRow),
                                             static_cast<std::uint8_t>(colour), static_cast<std::uint8_t>(style)};
    t.lastIndex[static_cast<std::size_t>(k)] = static_cast<std::uint16_t>(x.size() - 1);
  }

  GraphWindow* graph(int reserve = 0, int extra = 0, int last = 0) {
    GraphWindow* g = host->createGraphWindow(reserve, extra);
    g->drawSeries(last);
    QApplication::processEvents();
    return g;
  }

  TempDir dir;
  StudyState s;
  ScriptedInteraction ui;
  std::unique_ptr<GraphHost> host;
};

TEST_F(GraphGui, CurveLiesWhereTheValuesSay) {
  std::vector<double> x, y;
  for (int i = 0; i <= 10; ++i) {
    x.push_back(i);
    y.push_back(50 + 50 * std::sin(i * 0.6));
  }
  fillSeries(x, y, 3);  // blue
  GraphWindow* g = graph();
  const QImage& pic = g->picture();
  // the plot of a fresh window: left 30, top 20, 471 × 294 pixels
  const int left = 30, bottom = 20 + 294, width = 471, height = 294;
  double ymin = 1e9, ymax = -1e9;
  for (double v : y) {
    ymin = std::min(ymin, v);
    ymax = std::max(ymax, v);
  }
  const double xlo = -0.5, xhi = 10.5;  // 0..10 widened by a twentieth on each side
  const double ylo = ymin - (ymax - ymin) / 20, yhi = ymax + (ymax - ymin) / 20;
  auto px = [&](double v) { return left + static_cast<int>(width / (xhi - xlo) * (v - xlo)); };
  auto py = [&](double v) { return bottom - static_cast<int>(height / (yhi - ylo) * (v - ylo)); };
  for (int i = 0; i <= 10; ++i) {
    EXPECT_GT(colourNear(pic, px(x[i]), py(y[i]), 0x0000FF), 0) << "point " << i;
    // far above and below the point the column is no curve
    for (int off : {-40, 40}) {
      const int yy = py(y[i]) + off;
      if (yy > 20 + 3 && yy < bottom - 3) {
        EXPECT_EQ(colourNear(pic, px(x[i]), yy, 0x0000FF, 1), 0) << i;
      }
    }
  }
  // between two points the line passes their middle
  EXPECT_GT(colourNear(pic, (px(x[2]) + px(x[3])) / 2, (py(y[2]) + py(y[3])) / 2, 0x0000FF, 3), 0);
  // the frame is black, the plot white, the window silver
  EXPECT_TRUE(isColour(pic.pixel(left, bottom - 100), 0x000000, 10));
  EXPECT_TRUE(isColour(pic.pixel(left + width, bottom - 100), 0x000000, 10));
  EXPECT_TRUE(isColour(pic.pixel(10, 100), kGraphBackground, 0));
  // the window shows its picture
  const QImage shown = g->grab().toImage().convertToFormat(QImage::Format_RGB32);
  EXPECT_GT(colourNear(shown, px(x[5]), py(y[5]), 0x0000FF), 0);
  EXPECT_EQ(g->windowTitle(), QString::fromUtf8(graph_text::kGraphCaption));
}

TEST_F(GraphGui, HistogramBarsStandOnZero) {
  fillSeries({1, 2, 3, 4}, {4, 1, 3, 2}, 0, kStyleHistogram);  // red bars
  GraphWindow* g = graph();
  const QImage& pic = g->picture();
  const int bottom = 20 + 294;
  // x 0.625..4.375 widened, y 0..4 widened by 0.2 each side
  const double xlo = 0.625 - 3.75 / 20, xhi = 4.375 + 3.75 / 20, ylo = -0.2, yhi = 4.2;
  auto px = [&](double v) { return 30 + static_cast<int>(471 / (xhi - xlo) * (v - xlo)); };
  auto py = [&](double v) { return bottom - static_cast<int>(294 / (yhi - ylo) * (v - ylo)); };
  for (int i = 1; i <= 4; ++i) {
    const double h = std::vector<double>{4, 1, 3, 2}[static_cast<std::size_t>(i - 1)];
    // red inside the bar just above zero and just below its top; white above it
    EXPECT_TRUE(isColour(pic.pixel(px(i), py(0) - 3), 0xFF0000)) << i;
    EXPECT_TRUE(isColour(pic.pixel(px(i), py(h) + 3), 0xFF0000)) << i;
    if (h < 4) {
      EXPECT_FALSE(isColour(pic.pixel(px(i), py(h) - 6), 0xFF0000)) << i;
    }
  }
}

TEST_F(GraphGui, LinkedCursorLabelsAreFormattedNumbers) {
  fillSeries({1, 2, 3, 4}, {0.123456, 25, 1234.5, -0.5}, 0, kStyleLineMarkers);
  // link 3: point u belongs to the sample stored at u + 1
  s.recordLength = 10000;
  for (int u = 0; u < 4; ++u) s.resultStore[u + 1] = static_cast<std::int16_t>(1000 + 500 * u);
  host->table().graphMonitorLink = 3;
  int monitorRedraws = 0;
  host->monitorMoved = [&] { ++monitorRedraws; };
  GraphWindow* g = graph();
  ASSERT_EQ(g->linkMode(), 3);
  EXPECT_TRUE(g->monitorAction()->isVisible());
  const int H = g->windowHeight();
  auto boxText = [&] { return g->picture().copy(400, H - 50, 60, 20); };
  // "Y=" and formatNumber of row 1 at the cursor point
  EXPECT_EQ(boxText(), textPatch("Y=0.1235", 60));
  QTest::keyClick(g, Qt::Key_Right);
  EXPECT_EQ(g->cursorIndex(), 1);
  EXPECT_EQ(boxText(), textPatch("Y=25", 60));
  QTest::keyClick(g, Qt::Key_Right);
  EXPECT_EQ(boxText(), textPatch("Y=1235", 60));
  QTest::keyClick(g, Qt::Key_Right);
  QTest::keyClick(g, Qt::Key_Right);  // at the last point: stays
  EXPECT_EQ(g->cursorIndex(), 3);
  EXPECT_EQ(boxText(), textPatch("Y=-0.5", 60));

  // the cursor line is white turned by olive where it crosses the plot
  const int x = g->lastDrawing().panels[0].map.px(4);
  auto cursorPixels = [&](int column) {
    int n = 0;
    for (int yy = 21; yy < 20 + 294; ++yy) n += g->picture().pixel(column, yy) == qRgb(0x7F, 0x7F, 0xFF) ? 1 : 0;
    return n;
  };
  EXPECT_GT(cursorPixels(x), 150);
  // moving it away gives the white back
  QTest::keyClick(g, Qt::Key_Left);
  EXPECT_EQ(cursorPixels(x), 0);
  EXPECT_GT(cursorPixels(g->lastDrawing().panels[0].map.px(3)), 150);

  // Insert moves the monitor to the point's sample, 100 samples of view before it
  s.cursorPos = 0;
  QTest::keyClick(g, Qt::Key_Insert);
  EXPECT_EQ(s.cursorPos, 2000);
  EXPECT_EQ(s.viewStart, 1900);
  EXPECT_EQ(monitorRedraws, 1);
  // a click moves the cursor to the point under it; a second click there
  // moves the monitor
  const int x1 = g->lastDrawing().panels[0].map.px(2);
  QTest::mouseClick(g, Qt::LeftButton, Qt::NoModifier, QPoint(x1, 100));
  EXPECT_EQ(g->cursorIndex(), 1);
  EXPECT_EQ(monitorRedraws, 1);
  QTest::mouseClick(g, Qt::LeftButton, Qt::NoModifier, QPoint(x1 + 2, 100));
  EXPECT_EQ(monitorRedraws, 2);
  EXPECT_EQ(s.cursorPos, 1500);
  QTest::mouseClick(g, Qt::LeftButton, Qt::NoModifier, QPoint(g->lastDrawing().panels[0].map.px(1) + 3, 100));
  EXPECT_EQ(g->cursorIndex(), 0);
  EXPECT_EQ(monitorRedraws, 2);
}

TEST_F(GraphGui, ScatterTextIsWrittenWithFormattedNumbers) {
  fillSeries({0.8, 1.2, 1.0, 0.9}, {0.9, 1.1, 1.0, 0.8}, 0, kStyleScatter);
  GraphWindow* g = graph();
  const auto& sc = g->lastDrawing().panels[0];
  ASSERT_TRUE(sc.scatter);
  // the text's black pixels; the ellipse may reach up here in red
  auto ink = [](QImage img) {
    img = img.convertToFormat(QImage::Format_RGB32);
    for (int y = 0; y < img.height(); ++y)
      for (int x = 0; x < img.width(); ++x) {
        const QRgb c = img.pixel(x, y);
        img.setPixel(x, y, qRed(c) < 100 && qGreen(c) < 100 && qBlue(c) < 100 ? 0xFF000000u : 0xFFFFFFFFu);
      }
    return img;
  };
  EXPECT_TRUE(samePixels(ink(g->picture().copy(60, 0, 600, 20)), ink(textPatch(sc.scatterText, 600)), "scatter"));
  EXPECT_EQ(s.chosenFilePath, sc.scatterResult);
  EXPECT_EQ(sc.scatterText.rfind("a = ", 0), 0u);
}

TEST_F(GraphGui, SixWindowsTileAndASeventhReusesASlot) {
  std::vector<GraphWindow*> w;
  for (int k = 0; k < 6; ++k) {
    fillSeries({0, 1, 2}, {0, k + 1.0, 0});
    w.push_back(graph());
    EXPECT_EQ(w.back()->graphSlot(), k + 1);
    EXPECT_EQ(host->currentGraphSlot(), k + 1);
  }
  // two rows of three from y0 = 50, each window beside and below the others
  ASSERT_EQ(host->openCount(), 6);
  auto frame = [&](int j) { return w[static_cast<std::size_t>(j)]->frameGeometry(); };
  const int w1 = frame(0).width(), w4 = frame(3).width();
  const QPoint expected[6] = {{0, 50},
                              {w1, 50},
                              {2 * w1, 50},
                              {0, 50 + frame(0).height()},
                              {w4, 50 + frame(1).height()},
                              {2 * w4, 50 + frame(2).height()}};
  for (int j = 0; j < 6; ++j) EXPECT_EQ(frame(j).topLeft(), expected[j]) << j;

  // a seventh replaces the current window (slot 6) in its slot
  QPointer<GraphWindow> sixth = w[5];
  fillSeries({0, 1}, {1, 2});
  host->table().graphMonitorLink = 2;  // the new graph is linked; closing the old one must not undo that
  GraphWindow* seventh = graph();
  EXPECT_EQ(seventh->linkMode(), 2);
  QApplication::processEvents();
  EXPECT_EQ(seventh->graphSlot(), 6);
  EXPECT_TRUE(sixth.isNull() || !sixth->isVisible());
  EXPECT_EQ(host->window(6), seventh);
  EXPECT_EQ(host->openCount(), 6);

  // closing slot 2 and creating a graph reuses slot 2
  w[1]->close();
  QApplication::processEvents();
  EXPECT_EQ(host->window(2), nullptr);
  EXPECT_EQ(host->openCount(), 5);
  GraphWindow* again = graph();
  EXPECT_EQ(again->graphSlot(), 2);
  EXPECT_EQ(host->currentGraphSlot(), 2);
  EXPECT_EQ(frame(0).topLeft(), QPoint(0, 50));
  EXPECT_EQ(again->frameGeometry().topLeft(), QPoint(w1, 50));

  // "Закрыть все" closes them all
  again->closeAllWindows();
  QApplication::processEvents();
  EXPECT_EQ(host->openCount(), 0);
  EXPECT_EQ(host->currentGraphSlot(), 0);
  EXPECT_EQ(host->current(), nullptr);
}

TEST_F(GraphGui, ActivationGivesTheWindowItsOwnSeriesBack) {
  fillSeries({0, 1, 2}, {10, 20, 30});
  GraphWindow* first = graph();
  EXPECT_TRUE(fileExists(s.programDir + "Gra1.tmp"));
  fillSeries({0, 1, 2, 3}, {-1, -2, -3, -4}, 5, 1);
  GraphWindow* second = graph();
  EXPECT_EQ(host->current(), second);
  EXPECT_FLOAT_EQ(floatAt(s, 1, 0), -1.0f);

  host->windowActivated(first);
  EXPECT_EQ(host->current(), first);
  EXPECT_EQ(host->currentGraphSlot(), 1);
  EXPECT_FLOAT_EQ(floatAt(s, 1, 0), 10.0f);
  EXPECT_FLOAT_EQ(floatAt(s, 1, 2), 30.0f);
  EXPECT_EQ(host->table().lastIndex[0], 2);
  EXPECT_EQ(host->table().series[0].colour, 3);

  // a damaged state file leaves the shared series as they are
  test::writeBytes(s.programDir + "Gra2.tmp", std::string("\0\0\x09\0", 4));
  host->windowActivated(second);
  EXPECT_FLOAT_EQ(floatAt(s, 1, 0), 10.0f);

  // a resize redraws the window from its own series, not from the shared ones
  const QImage before = first->picture().copy(0, 0, 300, 200);
  first->setWindowSize(600, 420);
  QApplication::processEvents();
  EXPECT_EQ(first->graphGeometry().width, 550);
  EXPECT_EQ(first->snapshot().series[0].count(), 3);
  EXPECT_NE(first->picture().copy(0, 0, 300, 200), before);
}

TEST_F(GraphGui, ExportAndPicturesGoThroughTheDispatch) {
  fillSeries({1, 2}, {0.5, 1234.5});
  GraphWindow* g = graph();
  const std::string txt = dir.file("graph.txt");
  ASSERT_TRUE(saveFile(s, FileKind::GraphText, txt, ui));
  EXPECT_EQ(test::readBytes(txt), "         1       0.5\r\n         2      1235\r\n\r\n");

  // the shown picture as a bitmap, read back into an empty window
  const std::string bmp = dir.file("graph.bmp");
  ASSERT_TRUE(saveFile(s, FileKind::Picture, bmp, ui));
  const QImage saved(QString::fromStdString(bmp));
  EXPECT_EQ(saved.size(), QSize(521, 339));
  GraphWindow* blank = host->createGraphWindow(-1, 0);
  ASSERT_TRUE(openFile(s, FileKind::Picture, bmp, ui));
  EXPECT_EQ(blank->picture().copy(0, 0, 521, 339).convertToFormat(QImage::Format_RGB32),
            g->picture().copy(0, 0, 521, 339));

  // a file that is no picture changes nothing and says why
  const std::string junk = dir.file("junk.bmp");
  test::writeBytes(junk, std::string("BM\xff\xff\xff\x7f garbage that claims a huge bitmap", 40));
  const QImage before = blank->picture();
  ui.messages.clear();
  EXPECT_FALSE(openFile(s, FileKind::Picture, junk, ui));
  EXPECT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(blank->picture(), before);

  // without a graph window the kinds say so
  host.reset();
  ui.messages.clear();
  EXPECT_FALSE(saveFile(s, FileKind::GraphText, txt, ui));
  EXPECT_EQ(ui.messages.size(), 1u);
}

TEST_F(GraphGui, ClipboardCopiesCutsAndPastes) {
  fillSeries({0, 1, 2}, {1, 3, 2});
  GraphWindow* g = graph();
  g->copyPicture();
  const QImage copied = QGuiApplication::clipboard()->image().convertToFormat(QImage::Format_RGB32);
  EXPECT_EQ(copied.size(), QSize(521, 339 - 6));
  EXPECT_EQ(copied, g->picture().copy(0, 0, 521, 333));
  g->exportToClipboard();
  EXPECT_EQ(QGuiApplication::clipboard()->text(), QString("         0         1\r\n         1         3\r\n         2         2\r\n"));

  QGuiApplication::clipboard()->setImage(copied);
  g->Cut();
  const QImage afterCut = g->picture();
  EXPECT_TRUE(isColour(afterCut.pixel(200, 150), kGraphBackground, 0));
  ASSERT_TRUE(g->Paste());
  EXPECT_EQ(g->picture().copy(0, 0, 521, 333), copied);
  QGuiApplication::clipboard()->setText("no picture");
  EXPECT_FALSE(g->Paste());
}

TEST_F(GraphGui, TwoPanelWindowDrawsBothSeries) {
  fillSeries({0, 1, 2, 3}, {1, 2, 3, 4}, 0, kStyleLineMarkers, 0, 1, 0);
  fillSeries({0, 1, 2, 3}, {40, 10, 30, 20}, 1, kStyleLineMarkers, 0, 3, 1);
  GraphWindow* g = host->createGraphWindow(60, 200);
  g->drawTwoPanels();
  ASSERT_EQ(g->lastDrawing().panels.size(), 2u);
  EXPECT_EQ(g->seriesCountCode(), -1);
  const auto& lower = g->lastDrawing().panels[1].map;
  EXPECT_GT(colourNear(g->picture(), lower.px(1), lower.py(10), 0x00FF00), 0);
  const auto& upper = g->lastDrawing().panels[0].map;
  EXPECT_GT(colourNear(g->picture(), upper.px(2), upper.py(3), 0xFF0000), 0);
  EXPECT_LT(upper.plotBottom, lower.plotBottom - lower.plotHeight);
}

TEST_F(GraphGui, PrintedPictureKeepsTheSetSize) {
  if (test::runCommand("pdftoppm -v", nullptr, nullptr) != 0) GTEST_FAIL() << "pdftoppm is missing";
  fillSeries({0, 1, 2}, {1, 3, 2});
  GraphWindow* g = graph();
  PrintSettings set;
  set.printLeftCm = 2;
  set.printTopCm = 1;
  set.printWidthCm = 12;
  set.printHeightCm = 8;
  set.paperWidthCm = kSheetShortCm;
  const std::string pdf = dir.file("graph.pdf");
  int asked = 0;
  host->print.askSettings = [&] { ++asked; return std::optional<PrintSettings>(set); };
  host->print.makeTarget = [&] { return std::make_unique<PdfPrintTarget>(QString::fromStdString(pdf)); };
  QTest::keyClick(g, Qt::Key_F2);
  EXPECT_EQ(asked, 1);
  ASSERT_TRUE(fileExists(pdf));
  ASSERT_EQ(test::runCommand("pdftoppm -r 100 -png -singlefile '" + pdf + "' '" + dir.file("g") + "'", nullptr, nullptr), 0);
  const QImage page = QImage(QString::fromStdString(dir.file("g.png"))).convertToFormat(QImage::Format_RGB32);
  // the silver of the shown part spans 12 × 8 cm from 0.5 + 2 cm, 0.5 + 1 cm
  auto at = [](double cm) { return static_cast<int>(std::lround(cm / 2.54 * 100)); };
  int left = 1 << 20, right = -1, top = 1 << 20;
  for (int y = 0; y < page.height(); ++y)
    for (int x = 0; x < page.width(); ++x)
      if (isColour(page.pixel(x, y), kGraphBackground, 6)) {
        left = std::min(left, x);
        right = std::max(right, x);
        top = std::min(top, y);
      }
  EXPECT_NEAR(left, at(2.5), 3);
  EXPECT_NEAR(top, at(1.5), 3);
  // the picture reaches beyond the shown part, the shown part is 12 cm wide
  EXPECT_GT(right, at(2.5 + 12) - 3);
  // the plot frame sits in the shown part as on the screen: from 30 of 521 pixels
  const int row = at(1.5 + 8 * 100.0 / 339);
  int frameLeft = -1;
  for (int x = left; x < page.width() && frameLeft < 0; ++x)
    if (qRed(page.pixel(x, row)) < 80) frameLeft = x;
  EXPECT_NEAR(frameLeft, at(2.5 + 12 * 30.0 / 521), 3);
  EXPECT_TRUE(g->isVisible());  // shown again after the print
}

// F7 in the main window: an empty graph window.
TEST(MainWindowGraphs, F7OpensAnEmptyGraphWindow) {
  TempDir dir;
  StudyState s;
  s.programDir = dir.path() + "/";
  s.dataDir = s.programDir;
  ScriptedInteraction ui;
  shell::MainWindow w(s, ui);
  w.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
  w.activateWindow();
  QApplication::processEvents();
  QAction* f7 = w.action(shell::Cmd::NewGraph);
  ASSERT_NE(f7, nullptr);
  EXPECT_TRUE(f7->isEnabled());
  EXPECT_EQ(f7->shortcut(), QKeySequence(Qt::Key_F7));
  QTest::keyClick(w.monitor(), Qt::Key_F7);
  GraphHost& host = shell::graphHostOf(w, s, ui);
  GraphWindow* g = host.current();
  ASSERT_NE(g, nullptr);
  EXPECT_TRUE(g->isVisible());
  EXPECT_EQ(g->windowTitle(), QString::fromUtf8(graph_text::kGraphCaption));
  EXPECT_EQ(g->graphSlot(), 1);
  EXPECT_EQ(g->bottomReserve(), -1);
  // a blank canvas: silver all over, no frame, no plot
  const QImage pic = g->picture().copy(0, 0, g->graphGeometry().drawingWidth, g->graphGeometry().drawingHeight);
  int other = 0;
  for (int y = 0; y < pic.height(); ++y)
    for (int x = 0; x < pic.width(); ++x) other += isColour(pic.pixel(x, y), kGraphBackground, 0) ? 0 : 1;
  EXPECT_EQ(other, 0);
  EXPECT_EQ(g->size(), QSize(kGraphWindowWidth, kGraphWindowHeight - kGraphCaptionHeight));
  // a second F7 opens the next slot
  w.activateWindow();
  f7->trigger();
  ASSERT_NE(host.current(), g);
  EXPECT_EQ(host.current()->graphSlot(), 2);
  EXPECT_EQ(host.openCount(), 2);
}

}  // namespace
}  // namespace velor
