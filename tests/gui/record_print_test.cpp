// Record printing as it lands on paper: the page is printed into a PDF file,
// rendered back into an image by pdftoppm, and the pixels are checked where
// the traces, the ruler and the header must be at the size the print
// settings ask for.
#include <gtest/gtest.h>
#include <unistd.h>

#include "core/record_file.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QTest>
#include <cmath>
#include <cstdio>
#include <memory>
#include <string>

#include "core/binio.h"
#include "core/interaction.h"
#include "core/study_state.h"
#include "core/text.h"
#include "results/print_place.h"
#include "results/print_settings.h"
#include "results/ui/print_target.h"
#include "shell/commands.h"
#include "shell/ui/results_wiring.h"
#include "shell/ui/main_window.h"
#include "tests/test_support.h"
#include "viewer/monitor.h"
#include "viewer/ui/monitor_widget.h"
#include "viewer/ui/record_print.h"

namespace velor {
namespace {

using test::TempDir;

constexpr int kDpi = 300;  // finer than the printed drawing, so no line of it drops out
constexpr double kMarginCm = 0.5;  // the PDF page's printable area starts here
int cm(double v) { return static_cast<int>(std::lround(v / 2.54 * kDpi)); }

int dumpCount = 0;

bool pdftoppmInstalled() { return test::runCommand("pdftoppm -v", nullptr, nullptr) == 0; }

// The first page of a PDF as an image at kDpi.
QImage renderPdf(const std::string& pdf, const std::string& dir) {
  const std::string prefix = dir + "/page";
  const std::string cmd =
      "pdftoppm -r " + std::to_string(kDpi) + " -png -singlefile '" + pdf + "' '" + prefix + "'";
  std::string err;
  if (test::runCommand(cmd, nullptr, &err) != 0) {
    ADD_FAILURE() << "pdftoppm failed: " << err;
    return {};
  }
  QImage page = QImage(QString::fromStdString(prefix + ".png")).convertToFormat(QImage::Format_RGB32);
  if (qEnvironmentVariableIsSet("VELOR_GUI_DUMP")) page.save(QString("/tmp/velor_print_%1.png").arg(dumpCount++));
  return page;
}

bool dark(QRgb c) { return qRed(c) < 110 && qGreen(c) < 110 && qBlue(c) < 110; }
bool greenish(QRgb c) { return qGreen(c) > qRed(c) + 40 && qGreen(c) > qBlue(c) + 40; }
bool bluish(QRgb c) { return qBlue(c) > qRed(c) + 60 && qBlue(c) > qGreen(c) + 40; }
bool white(QRgb c) { return qRed(c) > 235 && qGreen(c) > 235 && qBlue(c) > 235; }

struct Box {
  int left = 1 << 20, top = 1 << 20, right = -1, bottom = -1, count = 0;
  void add(int x, int y) {
    left = std::min(left, x);
    right = std::max(right, x);
    top = std::min(top, y);
    bottom = std::max(bottom, y);
    ++count;
  }
};

template <typename Pred>
Box boxOf(const QImage& img, QRect area, Pred pred) {
  Box b;
  area = area.intersected(img.rect());
  for (int y = area.top(); y <= area.bottom(); ++y) {
    const auto* line = reinterpret_cast<const QRgb*>(img.constScanLine(y));
    for (int x = area.left(); x <= area.right(); ++x)
      if (pred(line[x])) b.add(x, y);
  }
  return b;
}

// How far an edge may lie from its place: a drawing pixel spans about two
// page pixels, and the rectangle is cut to whole printer units.
constexpr int kEdge = 8;

// A record file of three sine channels and two records written by the production writer.
void writeRecordFile(const std::string& path) {
  StudyState s;
  ScriptedInteraction ui;
  s.channelCount = 3;
  s.recordLength = 1500;
  s.sampleRate = 250;
  s.examHeader = utf8Fit("Проба фон   Группа А    Иванов И.И.", kHeaderChars);
  for (int c = 0; c < 3; ++c) {
    s.channelNames[static_cast<std::size_t>(c)] = std::string("C") + std::to_string(c + 3);
    for (int i = 0; i < s.recordLength; ++i)
      s.channel(c)[i] = static_cast<std::int16_t>(2048 + std::lround(600 * std::sin(2 * M_PI * i / (40.0 + 20 * c))));
  }
  ASSERT_TRUE(saveRecords(s, path, ui));
  // record 2: the sines at half their swing
  for (int c = 0; c < 3; ++c)
    for (int i = 0; i < s.recordLength; ++i) s.channel(c)[i] = static_cast<std::int16_t>((s.channel(c)[i] + 2048) / 2);
  ASSERT_TRUE(appendRecords(s, path, 2, ui));
}

class RecordPrintGui : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!pdftoppmInstalled()) GTEST_FAIL() << "pdftoppm is missing: scripts/velor.sh installs poppler-utils";
    s.programDir = dir.path() + "/";
    s.dataDir = s.programDir;
    writeRecordFile(dir.file("rec.cad"));
    monitor = std::make_unique<MonitorWidget>(s);
    monitor->resize(800, 431);
    monitor->initialise();
    ASSERT_TRUE(openRecordFile(s, dir.file("rec.cad"), ui));
    s.displayFlags = 3 | 16;  // row borders, zero lines, major time lines
    monitor->relayout();
    monitor->redraw();
  }
  void TearDown() override { closeRecordFile(s); }

  TempDir dir;
  StudyState s;
  ScriptedInteraction ui;
  std::unique_ptr<MonitorWidget> monitor;
};

PrintSettings settingsCm(double left, double top, double width, double height) {
  PrintSettings p;
  p.printLeftCm = left;
  p.printTopCm = top;
  p.printWidthCm = width;
  p.printHeightCm = height;
  p.paperWidthCm = kSheetShortCm;
  p.pageHeightCm = kSheetLongCm;
  return p;
}

TEST_F(RecordPrintGui, RecordPrintsWithTracesRulerAndHeaderAtTheSetSize) {
  const PrintSettings set = settingsCm(2.5, 3, 10, 7);
  const std::string pdf = dir.file("record.pdf");
  PdfPrintTarget target(QString::fromStdString(pdf));
  int asked = 0;
  ASSERT_TRUE(printRecord(*monitor, s, ui, [&] { ++asked; return std::optional<PrintSettings>(set); }, target));
  EXPECT_EQ(asked, 1);
  EXPECT_TRUE(ui.questions.empty());  // no ECG question for a plain record
  const QImage page = renderPdf(pdf, dir.path());
  ASSERT_FALSE(page.isNull());
  // an A4 portrait sheet
  EXPECT_NEAR(page.width(), cm(21.0), 2);
  EXPECT_NEAR(page.height(), cm(29.7), 2);

  // the picture from 0.5 + 2.5 cm, 0.5 + 3 cm, 10 × 7 cm
  const QRect place(cm(kMarginCm + 2.5), cm(kMarginCm + 3), cm(10), cm(7));
  // the green row borders run across the whole picture width, the blue
  // time lines down its whole height
  const Box green = boxOf(page, place.adjusted(-20, -20, 20, 20), greenish);
  ASSERT_GT(green.count, 100);
  EXPECT_NEAR(green.left, place.left(), kEdge);
  EXPECT_NEAR(green.right, place.right(), kEdge);
  const Box blue = boxOf(page, place.adjusted(-20, -20, 20, 20), bluish);
  ASSERT_GT(blue.count, 100);
  EXPECT_NEAR(blue.top, place.top(), kEdge);
  EXPECT_NEAR(blue.bottom, place.bottom(), kEdge);
  const double yScale = place.height() / static_cast<double>(s.monitorHeight);
  // nothing of the picture outside its place, but the header above it
  const Box below = boxOf(page, QRect(0, place.bottom() + 4, page.width(), page.height()), [](QRgb c) { return !white(c); });
  EXPECT_EQ(below.count, 0);
  const Box beside = boxOf(page, QRect(place.right() + 4, place.top(), page.width(), place.height()), [](QRgb c) { return !white(c); });
  EXPECT_EQ(beside.count, 0);

  // black traces in each of the three rows
  for (int row = 0; row < 3; ++row) {
    const int y0 = place.top() + static_cast<int>((s.rowBaseY[static_cast<std::size_t>(row)] - s.rowHeight / 2) * yScale);
    const int y1 = place.top() + static_cast<int>((s.rowBaseY[static_cast<std::size_t>(row)] + s.rowHeight / 2) * yScale);
    const Box trace = boxOf(page, QRect(place.left(), y0 + 2, place.width() * 3 / 4, y1 - y0 - 4), dark);
    EXPECT_GT(trace.count, 200) << row;
    EXPECT_GT(trace.bottom - trace.top, (y1 - y0) / 4) << row;  // the sine swings across the row
  }
  // the ruler: blue time lines and navy labels within the top strip of the picture
  const Box ruler = boxOf(page, QRect(place.left(), place.top(), place.width(), static_cast<int>(15 * yScale) + 1), bluish);
  EXPECT_GT(ruler.count, 5);
  // the header line right above the picture
  const Box header = boxOf(page, QRect(place.left(), place.top() - cm(1), place.width(), cm(1) - 2), dark);
  EXPECT_GT(header.count, 30);
  EXPECT_LT(header.bottom, place.top());
  EXPECT_NEAR(header.left, place.left(), cm(0.3));
}

TEST_F(RecordPrintGui, MaximalSizeSpansThePrintableWidth) {
  PrintSettings set = settingsCm(1, 0.5, 19, 11);
  set.printMaxSize = true;
  const std::string pdf = dir.file("max.pdf");
  PdfPrintTarget target(QString::fromStdString(pdf));
  ASSERT_TRUE(printRecord(*monitor, s, ui, [&] { return std::optional<PrintSettings>(set); }, target));
  const QImage page = renderPdf(pdf, dir.path());
  const Box green = boxOf(page, page.rect(), greenish);
  EXPECT_NEAR(green.left, cm(kMarginCm), kEdge);
  EXPECT_NEAR(green.right, cm(21 - kMarginCm), kEdge);
  // the header goes below the picture, which starts at the top of the printable area
  const int pictureBottom = cm(kMarginCm) + static_cast<int>(cm(20) * s.monitorHeight / double(s.monitorWidth));
  const Box header = boxOf(page, QRect(0, pictureBottom + 2, page.width(), cm(1)), dark);
  EXPECT_GT(header.count, 30);
}

TEST_F(RecordPrintGui, LandscapeSheetAcrossItsLength) {
  PrintSettings set = settingsCm(1, 1, 20, 10);
  set.paperWidthCm = kSheetLongCm;
  set.pageHeightCm = kSheetShortCm;
  const std::string pdf = dir.file("landscape.pdf");
  PdfPrintTarget target(QString::fromStdString(pdf));
  ASSERT_TRUE(printRecord(*monitor, s, ui, [&] { return std::optional<PrintSettings>(set); }, target));
  const QImage page = renderPdf(pdf, dir.path());
  EXPECT_GT(page.width(), page.height());
  // 28.7 cm of printable width count as the settings' 28.5
  const double unit = (29.7 - 2 * kMarginCm) / 28.5;
  const Box green = boxOf(page, page.rect(), greenish);
  EXPECT_NEAR(green.left, cm(kMarginCm + 1 * unit), kEdge);
  EXPECT_NEAR(green.right, cm(kMarginCm + 21 * unit), kEdge);
}

TEST_F(RecordPrintGui, CancelledOrDuringAnExaminationNothingPrints) {
  const std::string pdf = dir.file("none.pdf");
  {
    PdfPrintTarget target(QString::fromStdString(pdf));
    EXPECT_FALSE(printRecord(*monitor, s, ui, [] { return std::optional<PrintSettings>(); }, target));
  }
  EXPECT_FALSE(fileExists(pdf));
  s.acquisitionActive = 1;
  int asked = 0;
  {
    PdfPrintTarget target(QString::fromStdString(pdf));
    EXPECT_FALSE(printRecord(*monitor, s, ui, [&] { ++asked; return std::optional<PrintSettings>(settingsCm(1, 1, 5, 5)); }, target));
  }
  s.acquisitionActive = 0;
  EXPECT_EQ(asked, 0);
  EXPECT_FALSE(fileExists(pdf));
  EXPECT_TRUE(QDir(QString::fromStdString(dir.path())).entryList(QStringList() << "*.part", QDir::Files | QDir::Hidden).isEmpty());
}

TEST_F(RecordPrintGui, EcgRecordPrintsFourSecondsInTheClinicalScale) {
  s.pendingChannelCount = 3;  // the ECG analysis marks the record
  s.sampleRate = 100;         // four seconds are 400 columns
  s.calibUnits[0] = 2048;
  s.calibValue[0] = 100;
  s.timeZoom = 2;
  s.gainStep = 5;
  monitor->relayout();
  monitor->redraw();
  ui.yesNoScript = {true};
  int asked = 0;
  const auto page = takeRecordPage(*monitor, s, ui, [&] { ++asked; return std::optional<PrintSettings>(); });
  ASSERT_TRUE(page.has_value());
  ASSERT_EQ(ui.questions.size(), 1u);
  EXPECT_EQ(ui.questions[0], kEcgPrintQuestion);
  EXPECT_EQ(asked, 0);  // no settings dialog in the clinical scale
  EXPECT_TRUE(page->clinicalEcg);
  EXPECT_TRUE(page->portrait);
  EXPECT_EQ(page->picture.width(), 400);
  EXPECT_EQ(page->picture.height(), s.monitorHeight);
  EXPECT_EQ(page->ecgGain, -12);  // a row of 200 µV scaled to 2000 µV
  // the view is given back
  EXPECT_EQ(s.timeZoom, 2);
  EXPECT_EQ(s.gainStep, 5);
  // the picture is the monitor's right end at zoom 0: compare with a redraw there
  s.timeZoom = 0;
  s.gainStep = -12;
  monitor->redraw();
  EXPECT_EQ(page->picture, monitor->surface().copy(s.monitorWidth - 400, 0, 400, s.monitorHeight));
  // its place: the whole width, a height from the rows' span
  const PageRect r = recordPageRect(*page, s, 2000, 2850);
  EXPECT_EQ(r.left, 0);
  EXPECT_EQ(r.right, 2000);
  EXPECT_EQ(r.bottom, static_cast<int>(2850 * (4096.0 / 2048 * 100 * 3 / std::pow(1.2, -12) / 1000 / 28.5)));

  // No: the usual print with its dialog
  ui.yesNoScript = {false};
  const auto usual = takeRecordPage(*monitor, s, ui, [&] { ++asked; return std::optional<PrintSettings>(settingsCm(1, 1, 5, 5)); });
  ASSERT_TRUE(usual.has_value());
  EXPECT_FALSE(usual->clinicalEcg);
  EXPECT_EQ(asked, 1);
  EXPECT_EQ(usual->picture.width(), s.monitorWidth);
}

TEST_F(RecordPrintGui, CommandLinePrintsTheSamePageAsTheMonitor) {
  // velor-cli lies beside the test binaries' folder
  const QString cli = QCoreApplication::applicationDirPath() + "/../velor-cli";
  if (!QFileInfo(cli).isExecutable()) GTEST_SKIP() << "velor-cli is not built";
  // saved print settings in the current directory
  test::writeBytes(dir.file("qprs.ini"), "3\r\n2\r\n12\r\n8\r\n0\r\n0\r\n");
  // the same monitor the command line draws: 1000 × 600, record 2
  StudyState s2;
  s2.programDir = dir.path() + "/";
  ScriptedInteraction ui2;
  MonitorWidget m2(s2);
  m2.resize(1000, 600);
  m2.initialise();
  ASSERT_TRUE(openRecordFile(s2, dir.file("rec.cad"), ui2));
  ASSERT_TRUE(gotoRecord(s2, 2, ui2));
  m2.relayout();
  m2.redraw();
  const PrintSettings saved = savedPrintSettings(s2.programDir, s2.monitorWidth, s2.monitorHeight);
  EXPECT_FALSE(saved.landscape());
  const std::string viaMonitor = dir.file("monitor.pdf");
  {
    PdfPrintTarget target(QString::fromStdString(viaMonitor));
    ASSERT_TRUE(printRecord(m2, s2, ui2, [&] { return std::optional<PrintSettings>(saved); }, target));
  }
  closeRecordFile(s2);

  const std::string viaCli = dir.file("cli.pdf");
  std::string err;
  const int rc = test::runCommand("cd '" + dir.path() + "' && '" + cli.toStdString() + "' print rec.cad --record 2 --pdf cli.pdf",
                                  nullptr, &err);
  ASSERT_EQ(rc, 0) << err;
  EXPECT_EQ(err, "");  // stderr carries a line only on failure
  const std::string a = dir.path() + "/a", b = dir.path() + "/b";
  QDir().mkpath(QString::fromStdString(a));
  QDir().mkpath(QString::fromStdString(b));
  const QImage pageMonitor = renderPdf(viaMonitor, a);
  const QImage pageCli = renderPdf(viaCli, b);
  ASSERT_FALSE(pageCli.isNull());
  EXPECT_EQ(pageCli, pageMonitor);
  // at the saved place: 0.5 + 3 cm from the left edge
  const Box green = boxOf(pageCli, pageCli.rect(), greenish);
  EXPECT_NEAR(green.left, cm(kMarginCm + 3), kEdge);
  EXPECT_NEAR(green.right, cm(kMarginCm + 15), kEdge);

  // a record the file does not have is refused without a file
  EXPECT_EQ(test::runCommand("cd '" + dir.path() + "' && '" + cli.toStdString() + "' print rec.cad --record 3 --pdf no.pdf",
                             nullptr, &err),
            2);
  EXPECT_FALSE(fileExists(dir.file("no.pdf")));
  EXPECT_NE(test::runCommand("cd '" + dir.path() + "' && '" + cli.toStdString() + "' print qprs.ini --pdf no.pdf", nullptr, &err), 0);
  EXPECT_FALSE(fileExists(dir.file("no.pdf")));
}

// velor-cli print checks the whole write: a link planted at the old fixed
// temporary name is not followed, a write cut short (a file size limit
// standing in for a full disk) and a missing folder are refused with status 1
// and their reason, leaving no file behind.
TEST_F(RecordPrintGui, CommandLineChecksEveryWrite) {
  const QString cli = QCoreApplication::applicationDirPath() + "/../velor-cli";
  if (!QFileInfo(cli).isExecutable()) GTEST_SKIP() << "velor-cli is not built";
  const std::string run = "cd '" + dir.path() + "' && '" + cli.toStdString() + "' print rec.cad --pdf ";
  test::writeBytes(dir.file("victim.txt"), "keep me");
  ASSERT_EQ(::symlink(dir.file("victim.txt").c_str(), dir.file(".linked.pdf.part").c_str()), 0);
  std::string err;
  ASSERT_EQ(test::runCommand(run + "linked.pdf", nullptr, &err), 0) << err;
  EXPECT_EQ(test::readBytes(dir.file("victim.txt")), "keep me");
  EXPECT_EQ(test::readBytes(dir.file("linked.pdf")).substr(0, 5), "%PDF-");

  ASSERT_GT(QFileInfo(QString::fromStdString(dir.file("linked.pdf"))).size(), 8 * 1024);
  EXPECT_EQ(test::runCommand("trap '' XFSZ; ulimit -f 8; " + run + "cut.pdf", nullptr, &err), 1) << err;
  EXPECT_NE(err.find("cannot write cut.pdf: "), std::string::npos) << err;
  EXPECT_EQ(err.find('\n'), err.size() - 1) << err;
  EXPECT_TRUE(QDir(QString::fromStdString(dir.path())).entryList(QStringList() << "*cut.pdf*", QDir::Files | QDir::Hidden).isEmpty());

  EXPECT_EQ(test::runCommand(run + "no/such/x.pdf", nullptr, &err), 1) << err;
  EXPECT_NE(err.find("cannot write no/such/x.pdf: the folder no/such does not exist"), std::string::npos) << err;
  EXPECT_EQ(err.find("принтер"), std::string::npos) << err;
}

// F2 in the main window, and the monitor's "Печать экрана", print the record.
TEST(MainWindowPrint, F2PrintsTheRecordOnTheMonitor) {
  if (!pdftoppmInstalled()) GTEST_FAIL() << "pdftoppm is missing: scripts/velor.sh installs poppler-utils";
  TempDir dir;
  writeRecordFile(dir.file("rec.cad"));
  StudyState s;
  s.programDir = dir.path() + "/";
  s.dataDir = s.programDir;
  ScriptedInteraction ui;
  shell::MainWindow w(s, ui);
  w.openAtStart(dir.file("rec.cad"));
  w.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
  w.activateWindow();
  QApplication::processEvents();
  ASSERT_EQ(s.recordFileName, "rec.cad");
  QAction* print = w.action(shell::Cmd::Print);
  ASSERT_NE(print, nullptr);
  EXPECT_TRUE(print->isEnabled());

  const std::string pdf = dir.file("f2.pdf");
  int asked = 0;
  PrintHooks& hooks = shell::printHooksOf(w, s, ui);
  hooks.askSettings = [&] { ++asked; return std::optional<PrintSettings>(settingsCm(2, 2, 12, 6)); };
  hooks.makeTarget = [&] { return std::make_unique<PdfPrintTarget>(QString::fromStdString(pdf)); };
  QTest::keyClick(w.monitor(), Qt::Key_F2);
  EXPECT_EQ(asked, 1);
  ASSERT_TRUE(fileExists(pdf));
  const QImage page = renderPdf(pdf, dir.path());
  const QRect place(cm(kMarginCm + 2), cm(kMarginCm + 2), cm(12), cm(6));
  const Box trace = boxOf(page, place, dark);
  EXPECT_GT(trace.count, 500);
  const Box green = boxOf(page, page.rect(), greenish);
  EXPECT_NEAR(green.left, place.left(), kEdge);
  EXPECT_NEAR(green.right, place.right(), kEdge);

  // the monitor's popup command prints the same way; a cancelled dialog prints nothing
  std::remove(pdf.c_str());
  hooks.askSettings = [&] { ++asked; return std::optional<PrintSettings>(); };
  Q_EMIT w.monitor()->commandRequested(MonitorCommand::PrintScreen);
  EXPECT_EQ(asked, 2);
  EXPECT_FALSE(fileExists(pdf));
}

}  // namespace
}  // namespace velor
