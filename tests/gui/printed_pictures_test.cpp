// Pictures a person reads off the screen or the page: the map's colour bar
// with its values and unit, the patient line and the scale on printed record
// pages and maps, a printed map in its own proportions, and a printed record
// whose bottom row is on the page whatever its size.
#include <gtest/gtest.h>

#include "core/record_file.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QTest>
#include <memory>
#include <string>

#include "core/binio.h"
#include "core/interaction.h"
#include "core/numtext.h"
#include "core/settings.h"
#include "core/study_state.h"
#include "core/text.h"
#include "eeg/band_table.h"
#include "eeg/maps.h"
#include "eeg/ui/map_render.h"
#include "eeg/ui/map_window.h"
#include "results/print_settings.h"
#include "results/ui/print_target.h"
#include "shell/commands.h"
#include "shell/ui/main_window.h"
#include "shell/ui/map_wiring.h"
#include "shell/ui/results_wiring.h"
#include "tests/chooser_support.h"
#include "tests/test_support.h"
#include "tools/demo_study.h"
#include "viewer/monitor.h"
#include "viewer/ui/monitor_widget.h"
#include "viewer/ui/record_print.h"

namespace velor {
namespace {

using test::TempDir;

constexpr int kDpi = 150;
constexpr double kMarginCm = 0.5;
int cm(double v) { return static_cast<int>(std::lround(v / 2.54 * kDpi)); }

bool dark(QRgb c) { return qRed(c) < 110 && qGreen(c) < 110 && qBlue(c) < 110; }
bool white(QRgb c) { return qRed(c) > 235 && qGreen(c) > 235 && qBlue(c) > 235; }
bool greenish(QRgb c) { return qGreen(c) > qRed(c) + 40 && qGreen(c) > qBlue(c) + 40; }
bool bluish(QRgb c) { return qBlue(c) > qRed(c) + 60 && qBlue(c) > qGreen(c) + 40; }

struct Box {
  int left = 1 << 20, top = 1 << 20, right = -1, bottom = -1, count = 0;
  int width() const { return right - left + 1; }
  int height() const { return bottom - top + 1; }
};

template <typename Pred>
Box boxOf(const QImage& img, QRect area, Pred pred) {
  Box b;
  area = area.intersected(img.rect());
  for (int y = area.top(); y <= area.bottom(); ++y)
    for (int x = area.left(); x <= area.right(); ++x)
      if (pred(img.pixel(x, y))) {
        b.left = std::min(b.left, x);
        b.right = std::max(b.right, x);
        b.top = std::min(b.top, y);
        b.bottom = std::max(b.bottom, y);
        ++b.count;
      }
  return b;
}

bool popplerInstalled() { return test::runCommand("pdftoppm -v >/dev/null 2>&1 && pdftotext -v >/dev/null 2>&1", nullptr, nullptr) == 0; }

QImage renderPdf(const std::string& pdf, const std::string& prefix) {
  std::string err;
  if (test::runCommand("pdftoppm -r " + std::to_string(kDpi) + " -png -singlefile '" + pdf + "' '" + prefix + "'", nullptr,
                       &err) != 0) {
    ADD_FAILURE() << err;
    return {};
  }
  return QImage(QString::fromStdString(prefix + ".png")).convertToFormat(QImage::Format_RGB32);
}

// Every run of blanks and line ends as one space.
std::string flat(const std::string& text) {
  std::string out;
  for (char c : text) {
    const bool blank = c == '\n' || c == '\r' || c == ' ' || c == '\f';
    if (blank && (out.empty() || out.back() == ' ')) continue;
    out += blank ? ' ' : c;
  }
  return out;
}

// The page's text, flattened.
std::string pdfText(const std::string& pdf) {
  std::string out, err;
  if (test::runCommand("pdftotext -enc UTF-8 '" + pdf + "' -", &out, &err) != 0) ADD_FAILURE() << err;
  return flat(out);
}

PrintSettings settingsCm(double left, double top, double width, double height, bool portrait = true) {
  PrintSettings p;
  p.printLeftCm = left;
  p.printTopCm = top;
  p.printWidthCm = width;
  p.printHeightCm = height;
  p.paperWidthCm = portrait ? kSheetShortCm : kSheetLongCm;
  p.pageHeightCm = portrait ? kSheetLongCm : kSheetShortCm;
  return p;
}

std::string writeDemo(TempDir& dir, const std::string& programDir) {
  const std::string path = dir.file("demo.cad");
  DemoStudyOptions o;
  o.records = 1;
  o.seconds = 8;
  StudyState scratch;
  scratch.programDir = programDir;
  NoProgress progress;
  std::string reason;
  EXPECT_TRUE(writeDemoStudy(scratch, path, o, progress, reason)) << reason;
  return path;
}

class PrintedPictures : public ::testing::Test {
 public:
  void SetUp() override {
    if (!popplerInstalled()) GTEST_FAIL() << "pdftoppm/pdftotext are missing: scripts/velor.sh installs poppler-utils";
    s.programDir = dir.path() + "/";
    s.dataDir = s.programDir;
    const std::string path = writeDemo(dir, s.programDir);
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
    installDefaultBands(s);
    ASSERT_FALSE(headerField(s, 3).empty());  // the demo has a patient
  }
  void TearDown() override {
    ui.answerYes = true;
    window.reset();
  }
  // F2 on `target` into a PDF with the settings; returns its path.
  std::string printWithF2(QWidget* target, const PrintSettings& set, const std::string& name) {
    const std::string pdf = dir.file(name);
    PrintHooks& hooks = shell::printHooksOf(*window, s, ui);
    hooks.askSettings = [set] { return std::optional<PrintSettings>(set); };
    hooks.makeTarget = [pdf] { return std::make_unique<PdfPrintTarget>(QString::fromStdString(pdf)); };
    QTest::keyClick(target, Qt::Key_F2);
    EXPECT_TRUE(fileExists(pdf));
    return pdf;
  }

  TempDir dir;
  StudyState s;
  ScriptedInteraction ui;
  test::ScriptedChooser chooser;
  std::unique_ptr<shell::MainWindow> window;
};

// Where the bar's labels stand in a picture of `size`: left of the bar at its
// bottom, middle and top, and the unit above it.
struct BarPlaces {
  QRect labels[3];
  QRect unit;
  QRect between;  // a quarter up the bar, where no label is
};
BarPlaces barPlaces(QSize size) {
  const int x = size.width() - 16, bottom = size.height() - 10;
  const int step = std::clamp((size.height() - 40) / 64, 1, 2);
  const int top = bottom - 64 * step;
  BarPlaces b;
  const int ys[3] = {bottom, bottom - 32 * step, top};
  for (int i = 0; i < 3; ++i) b.labels[i] = QRect(x - 40, ys[i] - 5, 38, 10);
  b.unit = QRect(x - 30, top - 22, 40, 12);
  b.between = QRect(x - 40, bottom - 16 * step - 3, 38, 6);
  return b;
}

TEST_F(PrintedPictures, MapColourBarCarriesItsValuesAndUnit) {
  MapWindow* m = amplitudeMaps(*window, s, window->spectralEngine(), ui);
  ASSERT_NE(m, nullptr);
  const QImage signal = m->picture().convertToFormat(QImage::Format_RGB32);
  const BarPlaces at = barPlaces(signal.size());
  for (int i = 0; i < 3; ++i) EXPECT_GT(boxOf(signal, at.labels[i], dark).count, 8) << i;
  EXPECT_GT(boxOf(signal, at.unit, dark).count, 8);
  EXPECT_EQ(boxOf(signal, at.between, dark).count, 0);
  const MapScaleLegend amplitude = mapScaleLegend(s, m->settings(), s.currentBand);
  EXPECT_EQ(amplitude.unit, "мкВ");
  EXPECT_LT(amplitude.values[0], 0);
  EXPECT_GT(amplitude.values[2], 0);

  // the band diagrams' mean frequency: the band's edges in Hz
  s.bandMode = 2;
  ASSERT_TRUE(bandDiagramMaps(*window, s, window->spectralEngine(), ui, ViewMode::BandDiagrams));
  ASSERT_EQ(m->width(), 420);
  const QImage frequency = m->picture().convertToFormat(QImage::Format_RGB32);
  const BarPlaces fat = barPlaces(frequency.size());
  for (int i = 0; i < 3; ++i) EXPECT_GT(boxOf(frequency, fat.labels[i], dark).count, 8) << i;
  const MapScaleLegend hertz = mapScaleLegend(s, m->settings(), s.currentBand);
  EXPECT_EQ(hertz.unit, "Гц");
  EXPECT_EQ(hertz.values[0], parseNumber(s.bandTable[static_cast<std::size_t>(s.currentBand)].low).value_or(-1));
  EXPECT_EQ(hertz.values[2], parseNumber(s.bandTable[static_cast<std::size_t>(s.currentBand)].high).value_or(-1));
  if (qEnvironmentVariableIsSet("VELOR_GUI_DUMP")) {
    signal.save("/tmp/velor_map_signal.png");
    frequency.save("/tmp/velor_map_frequency.png");
  }
  // another unit is drawn above the bar
  EXPECT_NE(frequency.copy(fat.unit), signal.copy(at.unit));
}

TEST_F(PrintedPictures, CommandLineMapCarriesTheBarValues) {
  const QString cli = QCoreApplication::applicationDirPath() + "/../velor-cli";
  if (!QFileInfo(cli).isExecutable()) GTEST_SKIP() << "velor-cli is not built";
  std::string err;
  ASSERT_EQ(test::runCommand("'" + cli.toStdString() + "' map '" + dir.file("demo.cad") + "' --png '" + dir.file("m.png") +
                                 "' --measure band --size 300",
                             nullptr, &err),
            0)
      << err;
  const QImage picture = QImage(QString::fromStdString(dir.file("m.png"))).convertToFormat(QImage::Format_RGB32);
  ASSERT_EQ(picture.size(), QSize(300, 300));
  const BarPlaces at = barPlaces(picture.size());
  for (int i = 0; i < 3; ++i) EXPECT_GT(boxOf(picture, at.labels[i], dark).count, 8) << i;
  EXPECT_GT(boxOf(picture, at.unit, dark).count, 8);
  EXPECT_EQ(boxOf(picture, at.between, dark).count, 0);
}

TEST_F(PrintedPictures, PrintedMapKeepsItsProportionsAndCarriesThePatientLine) {
  MapWindow* m = amplitudeMaps(*window, s, window->spectralEngine(), ui);
  ASSERT_NE(m, nullptr);
  // a wide box for a tall picture: stretched, the head came out four times too wide
  const PrintSettings set = settingsCm(2, 3, 10, 7);
  const std::string pdf = printWithF2(m, set, "map.pdf");
  const QImage page = renderPdf(pdf, dir.file("map"));
  ASSERT_FALSE(page.isNull());
  const QImage picture = m->picture().convertToFormat(QImage::Format_RGB32);
  const Box drawn = boxOf(picture, picture.rect(), [](QRgb c) { return !white(c); });
  const QRect box(cm(kMarginCm + 2), cm(kMarginCm + 3), cm(10), cm(7));
  const Box printed = boxOf(page, box.adjusted(-3, -3, 3, 3), [](QRgb c) { return !white(c); });
  ASSERT_GT(printed.count, 1000);
  const double drawnRatio = static_cast<double>(drawn.width()) / drawn.height();
  const double printedRatio = static_cast<double>(printed.width()) / printed.height();
  EXPECT_NEAR(printedRatio / drawnRatio, 1.0, 0.04) << printed.width() << "x" << printed.height();
  // the height fills the box, at its top left corner
  EXPECT_NEAR(printed.height(), drawn.height() * cm(7) / picture.height(), 4);
  EXPECT_NEAR(printed.left, box.left() + drawn.left * cm(7) / picture.height(), 4);
  // the patient line right above the picture
  EXPECT_GT(boxOf(page, QRect(box.left(), box.top() - cm(1), box.width(), cm(1) - 1), dark).count, 30);
  const std::string text = pdfText(pdf);
  EXPECT_NE(text.find(flat(patientLine(s))), std::string::npos) << text;
}

TEST_F(PrintedPictures, PrintedRecordCarriesThePatientLineAndTheScale) {
  const PrintSettings set = settingsCm(2, 3, 16, 10);
  const std::string pdf = printWithF2(window->monitor(), set, "record.pdf");
  const std::string text = pdfText(pdf);
  const std::string name = headerField(s, 3);
  // the patient line first, whole, with the date as the caption writes it
  EXPECT_EQ(text.find(flat(patientLine(s))), text.find_first_not_of(' ')) << text;
  EXPECT_NE(patientLine(s).find(name), std::string::npos);
  const std::string caption = composeMonitorCaption(s);
  EXPECT_NE(patientLine(s).find(caption.substr(caption.find(": ") + 2, 10)), std::string::npos);  // the date
  // the scale, and the caption to its end (it used to be cut short)
  const std::string scale = trimSpaces(sensitivityText(s));
  ASSERT_FALSE(scale.empty());
  EXPECT_NE(text.find(scale), std::string::npos) << text;
  const std::string last = headerField(s, 7);
  if (!last.empty()) EXPECT_NE(text.find(last), std::string::npos) << text;
}

// A tall monitor printed at the full width of a landscape sheet reaches far
// below the page: it is made smaller, so the bottom row stays on it.
TEST_F(PrintedPictures, PrintedRecordKeepsItsBottomRowOnThePage) {
  MonitorWidget* monitor = window->monitor();
  StudyState& st = s;
  st.firstShownChannel = 0;
  st.shownChannelCount = st.channelCount;
  window->resize(700, 1000);
  QApplication::processEvents();
  monitor->relayout();
  monitor->redraw();
  ASSERT_GT(st.monitorHeight, st.monitorWidth);
  PrintSettings set = settingsCm(0, 0, 28, 19, false);
  set.printMaxSize = true;
  const std::string pdf = printWithF2(monitor, set, "tall.pdf");
  const QImage page = renderPdf(pdf, dir.file("tall"));
  ASSERT_FALSE(page.isNull());
  ASSERT_GT(page.width(), page.height());
  // the picture's scale from its row borders, which run across its whole width
  const Box green = boxOf(page, page.rect(), greenish);
  ASSERT_GT(green.count, 100);
  const double scale = static_cast<double>(green.width()) / st.monitorWidth;
  EXPECT_LT(scale, static_cast<double>(page.width()) / st.monitorWidth * 0.9);  // made smaller
  const int last = st.shownChannelCount - 1;
  const int rowTop = cm(kMarginCm) + static_cast<int>((st.rowBaseY[static_cast<std::size_t>(last)] - st.rowHeight / 2) * scale);
  const int rowBottom = cm(kMarginCm) + static_cast<int>((st.rowBaseY[static_cast<std::size_t>(last)] + st.rowHeight / 2) * scale);
  ASSERT_LT(rowBottom, page.height() - cm(kMarginCm));
  // its trace and its name at the right end
  EXPECT_GT(boxOf(page, QRect(green.left, rowTop, green.width() * 3 / 4, rowBottom - rowTop), dark).count, 20);
  EXPECT_GT(boxOf(page, QRect(green.right - static_cast<int>(50 * scale), rowTop, static_cast<int>(50 * scale), rowBottom - rowTop),
                  bluish)
                .count,
            5);
  // the row's lower border, and the header below the picture, on the page
  EXPECT_GE(green.bottom, rowBottom - 6);
  EXPECT_NE(pdfText(pdf).find(flat(patientLine(st))), std::string::npos);
}

}  // namespace
}  // namespace velor
