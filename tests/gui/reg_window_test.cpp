// The rheography window "Анализ РГ" as a person sees it: its captions and
// "qreg.ini"; from the main window on the constructed pulse train, the
// statistics of one, two and four leads in the text window exactly as
// velor-cli reg prints them, the dynamics and averaged-wave graphs (curves
// and texts in their pictures), the hemodynamics after the patient dialog,
// and the messages of a hostile or missing "reo.nrm".
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QFileInfo>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <algorithm>
#include <memory>

#include "core/record_file.h"
#include "core/settings.h"
#include "physio/rheo_texts.h"
#include "physio/ui/reg_patient_dialog.h"
#include "physio/ui/reg_window.h"
#include "picture_pixels.h"
#include "results/graph.h"
#include "results/ui/graph_host.h"
#include "results/ui/graph_paint.h"
#include "results/ui/graph_window.h"
#include "results/ui/text_results_window.h"
#include "shell/commands.h"
#include "shell/ui/main_window.h"
#include "shell/ui/results_wiring.h"
#include "shell/ui/rheo_wiring.h"
#include "tests/chooser_support.h"
#include "tests/pulse_train.h"
#include "tests/test_support.h"

namespace velor {
namespace {

QString qs(const char* s) { return QString::fromUtf8(s); }
using B = RegWindow::Button;
using F = RegPatientDialog::Field;
using test::ScriptedChooser;

std::vector<std::string> splitLines(const std::string& text) {
  std::vector<std::string> out;
  std::size_t a = 0;
  for (std::size_t b; (b = text.find('\n', a)) != std::string::npos; a = b + 1) out.push_back(text.substr(a, b - a));
  return out;
}

// velor-cli beside the test binary's directory, run in `dir` (its settings
// files are read from the working folder, as the window reads them from
// the program's folder).
std::vector<std::string> cliLines(const std::string& dir, const std::string& args) {
  const std::string cli =
      QFileInfo(QCoreApplication::applicationDirPath() + "/../velor-cli").absoluteFilePath().toStdString();
  std::string out, err;
  const int status = test::runCommand("cd '" + dir + "' && '" + cli + "' " + args, &out, &err);
  EXPECT_EQ(status, 0) << err;
  return splitLines(out);
}

// Whether a text drawn with the graph font at (x, y) shows in the picture:
// every pixel of its glyphs is there in black.
bool textShown(const QImage& pic, int x, int y, const std::string& text, int box) {
  QImage patch(box, 20, QImage::Format_RGB32);
  patch.fill(Qt::white);
  GraphItem it;
  it.kind = GraphItem::Kind::Text;
  it.text = text;
  it.boxWidth = box;
  {
    QPainter p(&patch);
    paintGraphItems(p, {it}, graphFont());
  }
  int glyph = 0;
  for (int yy = 0; yy < patch.height(); ++yy)
    for (int xx = 0; xx < patch.width(); ++xx) {
      if (qGray(patch.pixel(xx, yy)) > 60) continue;
      ++glyph;
      if (x + xx >= pic.width() || y + yy >= pic.height() || qGray(pic.pixel(x + xx, y + yy)) > 60) return false;
    }
  return glyph > 0;
}


// Two age limits (30, 60), then fourteen rows: the modulus below its low
// norm, the dicrotic index above its high one, an asymmetry limit of 0.05.
std::string normText() {
  std::string t = "30 60 0\n";
  for (int row = 0; row < 14; ++row) {
    std::string lo = "0", hi = "0";
    if (row == 0) lo = "10", hi = "100";
    if (row == 1) hi = "20";
    if (row == 13) hi = "0.05";
    t += lo + " " + hi + " " + lo + " " + hi + " 0\n";
  }
  return t;
}

TEST(RegWindowGui, CaptionsAndQregIni) {
  test::TempDir dir;
  StudyState s;
  s.programDir = dir.path() + "/";
  ScriptedInteraction ui;
  {
    RegWindow w(s, ui, {});
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    EXPECT_EQ(w.windowTitle(), qs("Анализ РГ"));
    EXPECT_EQ(w.dynamicsButton(1)->text(), qs("&1=Мод.упруг."));
    EXPECT_EQ(w.dynamicsButton(3)->toolTip(), qs("Динамика изменения диастодического индекса"));
    EXPECT_EQ(w.dynamicsButton(8)->text(), qs("&8=И-замедл"));
    EXPECT_EQ(w.button(B::Statistics)->text(), qs("&9=Статистика"));
    EXPECT_EQ(w.button(B::Tishchenko)->toolTip(), qs("Показателт гемодинамики"));
    EXPECT_EQ(w.button(B::Cancel)->text(), qs("<Esc>=Отменить"));
    EXPECT_EQ(w.leadsList()->count(), 3);
    EXPECT_EQ(w.leadsList()->currentText(), qs("1"));
    EXPECT_EQ(w.ageEdit()->text(), qs("20"));
    EXPECT_EQ(w.property("helpContext").toInt(), 36);
    w.leadsList()->setCurrentText("4");
    w.ageEdit()->setText("45");
    QTest::keyClick(&w, Qt::Key_Escape);  // closing saves
    EXPECT_FALSE(w.isVisible());
  }
  auto lines = readTextLines(s.programDir + "qreg.ini");
  ASSERT_TRUE(lines);
  EXPECT_EQ(*lines, (std::vector<std::string>{"4", "45", "140"}));
  RegWindow again(s, ui, {});
  again.show();
  EXPECT_EQ(again.leadsList()->currentText(), qs("4"));
  EXPECT_EQ(again.ageEdit()->text(), qs("45"));
  EXPECT_EQ(again.settings().leadCount(), 4);
}

TEST(RegWindowGui, PatientDialogKeepsQgdinIni) {
  test::TempDir dir;
  StudyState s;
  s.programDir = dir.path() + "/";
  {
    RegPatientDialog d(s);
    d.show();
    EXPECT_EQ(d.erythrocytesLabel()->text(), qs("Эритроциты="));
    EXPECT_EQ(d.edit(F::Pressure)->text(), qs("140"));
    d.haematocritBox()->setChecked(true);
    EXPECT_EQ(d.erythrocytesLabel()->text(), qs("Гематокрит="));
    d.edit(F::Erythrocytes)->setText("42");
    d.edit(F::Weight)->setText("80,5");
    d.sexList()->setCurrentText("f");
    d.acceptButton()->click();
    EXPECT_EQ(s.dialogResult, 1);
  }
  auto lines = readTextLines(s.programDir + "qgdin.ini");
  ASSERT_TRUE(lines);
  EXPECT_EQ(*lines, (std::vector<std::string>{"42", "50", "80.5", "175", "90", "f", "140", "1"}));
  RegPatientDialog d(s);
  d.show();
  EXPECT_TRUE(d.haematocritBox()->isChecked());
  EXPECT_EQ(d.erythrocytesLabel()->text(), qs("Гематокрит="));
  EXPECT_DOUBLE_EQ(d.patient().erythrocytes, -42);
  EXPECT_EQ(d.patient().sex, 1);
  d.cancelButton()->click();
  EXPECT_EQ(s.dialogResult, -1);
}

class RegCommand : public ::testing::Test {
 protected:
  test::TempDir dir;
  StudyState s;
  ScriptedInteraction ui;
  ScriptedChooser chooser;
  std::unique_ptr<shell::MainWindow> window;
  std::string train;
  void SetUp() override {
    s.programDir = dir.path() + "/";
    s.dataDir = s.programDir;
    train = dir.file("train.cad");
    {
      StudyState t;
      ScriptedInteraction quiet;
      test::fillPulseTrain(t, 3000);  // a base impedance for the hemodynamics
      ASSERT_TRUE(saveRecords(t, train, quiet));
    }
    window = std::make_unique<shell::MainWindow>(s, ui);
    window->setFileChooser(&chooser);
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    chooser.answer = train;
    window->action(shell::Cmd::Open)->trigger();
    ASSERT_EQ(s.sampleRate, test::kTrainRate);
    ASSERT_EQ(s.channelCount, 5);
    ASSERT_TRUE(window->action(shell::Cmd::Rheo)->isEnabled());
  }
  // Runs "&4=РГ" with the window's leads and one button pressed.
  void run(const std::function<void(RegWindow&)>& press, const char* leads = "1") {
    shell::setRegWindowRunner(*window, [&](RegWindow& w) {
      w.show();
      w.leadsList()->setCurrentText(leads);
      press(w);
      if (w.isVisible()) w.reject();
    });
    window->action(shell::Cmd::Rheo)->trigger();
    QApplication::processEvents();
  }
  std::vector<std::string> shownLines() {
    TextResultsWindow* text = textWindowOf(window.get());
    if (!text) return {};
    return splitLines(text->textBox()->toPlainText().toStdString() + "\n");
  }
  GraphWindow* currentGraph() { return shell::graphHostOf(*window, s, ui).current(); }
};

TEST_F(RegCommand, StatisticsEqualTheCommandLineForOneTwoAndFourLeads) {
  test::writeBytes(dir.file("reo.nrm"), normText());
  for (const char* leads : {"1", "2", "4"}) {
    SCOPED_TRACE(leads);
    // the levelled record of the last run would be the same, but each run
    // starts from the file as the command line does
    chooser.answer = train;
    window->action(shell::Cmd::Open)->trigger();
    ui.inputScript = {std::string("200")};
    run([](RegWindow& w) { w.button(B::Statistics)->click(); }, leads);
    EXPECT_TRUE(ui.messages.empty()) << ui.messages[0];
    ASSERT_EQ(ui.questions.size(), 1u);
    EXPECT_EQ(ui.questions[0], kRegPropagationPrompt);
    ui.questions.clear();
    TextResultsWindow* text = textWindowOf(window.get());
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(text->windowTitle(), qs("Статистика реограммы"));
    const auto cli = cliLines(dir.path(), "reg train.cad --leads " + std::string(leads) +
                                              " --age 20 --propagation 200 --norms reo.nrm");
    const auto shown = shownLines();
    ASSERT_GE(shown.size(), cli.size());
    const std::vector<std::string> tail(shown.end() - static_cast<std::ptrdiff_t>(cli.size()), shown.end());
    EXPECT_EQ(tail, cli);
    EXPECT_EQ(tail.back(), "Реоволн=12");
    EXPECT_EQ(tail[tail.size() - 2], "ИПС=—");  // equal intervals: no Kaplan index
    // the resting time was taken and kept
    const auto ini = readTextLines(s.programDir + "qreg.ini");
    ASSERT_TRUE(ini);
    EXPECT_EQ((*ini)[0], leads);
    EXPECT_EQ((*ini)[2], "200");
    EXPECT_EQ(s.firstShownChannel, 0);
  }
}

TEST_F(RegCommand, HostileOrMissingNormsAreSaidAndTheStatisticsRun) {
  const struct {
    const char* text;  // nullptr: no file
    const char* message;
  } cases[] = {
      {nullptr, kRegNoNorms},
      {"30 60 0 1 2 3", kRegBadNorms},  // rows shorter than they must be
      {"30 60", kRegBadNorms},          // limits never closed by 0
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text ? c.text : "missing");
    if (c.text) test::writeBytes(dir.file("reo.nrm"), c.text);
    ui.messages.clear();
    ui.inputScript = {std::string("20")};  // below 50: 140
    run([](RegWindow& w) { w.button(B::Statistics)->click(); });
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].rfind(c.message, 0), 0u) << ui.messages[0];
    const auto shown = shownLines();
    ASSERT_FALSE(shown.empty());
    EXPECT_EQ(shown.back(), "Реоволн=12");
    EXPECT_EQ((*readTextLines(s.programDir + "qreg.ini"))[2], "140");
  }
}

TEST_F(RegCommand, DynamicsGraphShowsTheCurveAndItsTexts) {
  run([](RegWindow& w) { w.dynamicsButton(4)->click(); });  // the amplitude
  EXPECT_TRUE(ui.messages.empty());
  GraphWindow* g = currentGraph();
  ASSERT_NE(g, nullptr);
  EXPECT_EQ(g->windowTitle(), qs("Динамика амплитуды систолической волны"));
  EXPECT_EQ(g->linkMode(), 2);  // the cursor walks the onsets
  ASSERT_EQ(g->snapshot().series.size(), 1u);
  const SeriesPoints& p = g->snapshot().series[0];
  ASSERT_EQ(p.count(), 12);
  for (double y : p.y) EXPECT_NEAR(y, 0.56, 1e-6);  // 560 codes of 0.001 ohm
  const QImage& pic = g->picture();
  EXPECT_GT(test::pixelsOfColour(pic, graphColour(0)), 50);
  const GraphGeometry& geo = g->graphGeometry();
  EXPECT_TRUE(textShown(pic, 40, 30, kRegAmplitudeTitle, 600));
  EXPECT_TRUE(textShown(pic, geo.drawingWidth - 85, 250, kRegWaveNumber, 600));
  EXPECT_TRUE(textShown(pic, 30, geo.drawingHeight - 50, "Среднее=0.56   Cт.откл=0", 600));
  EXPECT_FALSE(textShown(pic, 30, geo.drawingHeight - 50, "Среднее=0.98   Cт.откл=5", 600));
}

TEST_F(RegCommand, AveragedWaveGraphAndItsIndices) {
  run([](RegWindow& w) { w.button(B::Average)->click(); });
  EXPECT_TRUE(ui.messages.empty());
  GraphWindow* g = currentGraph();
  ASSERT_NE(g, nullptr);
  EXPECT_EQ(g->windowTitle(), qs("Усредненная РГ-волна"));
  ASSERT_EQ(g->snapshot().series.size(), 3u);
  // m = Tm + 22 points shown; the first at −10 / fs with the onset level
  const SeriesPoints& wave = g->snapshot().series[0];
  ASSERT_EQ(wave.count(), 222);
  EXPECT_NEAR(wave.x[0], -10.0 / 250, 1e-6);
  EXPECT_NEAR(wave.y[0], 1.024, 1e-6);
  // the peak: 560 codes above the onset, a little less after the smoothing,
  // at index 29 of the mean wave (point 30)
  const auto top = std::max_element(wave.y.begin() + 1, wave.y.end());
  EXPECT_EQ(top - wave.y.begin(), 30);
  EXPECT_NEAR(*top, 0.56, 0.03);
  const QImage& pic = g->picture();
  for (int colour : {0, 1, 5}) EXPECT_GT(test::pixelsOfColour(pic, graphColour(colour)), 50) << colour;
  const GraphGeometry& geo = g->graphGeometry();
  EXPECT_TRUE(textShown(pic, 40, 30, kRegAmplitudeTitle, 600));
  EXPECT_TRUE(textShown(pic, geo.drawingWidth - 85, 250, kRegTimeTitle, 600));
  TextResultsWindow* text = textWindowOf(window.get());
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(text->windowTitle(), qs("Показатели усредненной РГ-волны"));
  EXPECT_EQ(text->geometry().top(), g->windowHeight() + 20);
  EXPECT_EQ(text->geometry().height(), 150);
  const auto cli = cliLines(dir.path(), "reg-average train.cad");
  ASSERT_EQ(cli.size(), 8u);
  const auto shown = shownLines();
  ASSERT_GE(shown.size(), 8u);
  EXPECT_EQ(std::vector<std::string>(shown.end() - 8, shown.end()), cli);
}

TEST_F(RegCommand, AveragingWithTooFewWavesKeepsTheWindowOpen) {
  std::fill(s.channel(0), s.channel(0) + s.recordLength, std::int16_t{2048});
  bool open = false;
  run([&](RegWindow& w) {
    w.button(B::Average)->click();
    open = w.isVisible();
  });
  EXPECT_TRUE(open);
  EXPECT_TRUE(ui.messages.empty());
  EXPECT_EQ(currentGraph(), nullptr);
}

TEST_F(RegCommand, HemodynamicsAfterThePatientDialog) {
  shell::setRegPatientRunner(*window, [](RegPatientDialog& d) {
    d.show();
    d.edit(F::Distance)->setText("30");
    d.acceptButton()->click();
  });
  run([](RegWindow& w) { w.button(B::Tishchenko)->click(); });
  EXPECT_TRUE(ui.messages.empty()) << ui.messages[0];
  TextResultsWindow* text = textWindowOf(window.get());
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(text->windowTitle(), qs("Показатели гемодинамики"));
  const auto shown = shownLines();
  ASSERT_GE(shown.size(), 11u);
  const std::vector<std::string> tail(shown.end() - 11, shown.end());
  EXPECT_EQ(tail[0], "Показатель     Значение");
  EXPECT_EQ(tail[1], "Метод Тищенко");
  EXPECT_EQ(tail[2], "Баз.сопр=130");
  EXPECT_EQ((*readTextLines(s.programDir + "qgdin.ini"))[1], "30");

  // a cancelled dialog ends the command without output
  text->journal().clear();
  shell::setRegPatientRunner(*window, [](RegPatientDialog& d) { d.cancelButton()->click(); });
  run([](RegWindow& w) { w.button(B::Kubicek)->click(); });
  EXPECT_TRUE(ui.messages.empty());
  for (const auto& l : shownLines()) EXPECT_NE(l, "Метод Кубичека");
}

TEST_F(RegCommand, FlatPulseChannelSaysTooFewWaves) {
  std::fill(s.channel(0), s.channel(0) + s.recordLength, std::int16_t{2048});
  run([](RegWindow& w) { w.button(B::Kubicek)->click(); });
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0], kRegTooFewWaves);
  run([](RegWindow& w) { w.button(B::Statistics)->click(); });
  ASSERT_EQ(ui.messages.size(), 3u);  // the missing norms, then the waves
  EXPECT_EQ(ui.messages[1], kRegNoNorms);
  EXPECT_EQ(ui.messages[2], kRegTooFewWaves);
}

}  // namespace
}  // namespace velor
