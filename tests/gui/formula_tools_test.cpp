// The formula window, the formula editor, the calculator, the generator and
// the notebook as a person sees them.
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QTableWidget>
#include <QTest>
#include <QTimer>

#include "core/formula_files.h"
#include "tools/calculator.h"
#include "core/numtext.h"
#include "core/settings.h"
#include "core/study_state.h"
#include "results/notebook.h"
#include "results/notebook_texts.h"
#include "results/ui/notebook_window.h"
#include "shell/commands.h"
#include "shell/ui/main_window.h"
#include "shell/ui/tools_wiring.h"
#include "tests/chooser_support.h"
#include "tests/test_support.h"
#include "tools/calculator_texts.h"
#include "tools/signal_generator_texts.h"
#include "tools/ui/calculator_window.h"
#include "tools/ui/formula_editor_dialog.h"
#include "tools/ui/formula_window.h"
#include "tools/ui/generator_dialog.h"

namespace velor {
namespace {

QString qs(const char* s) { return QString::fromUtf8(s); }

class FormulaTools : public ::testing::Test {
 protected:
  void SetUp() override { s.programDir = dir.path() + "/"; }
  test::TempDir dir;
  StudyState s;
  ScriptedInteraction ui;
};

TEST_F(FormulaTools, FormulaWindowShowsTheUsesFileAndApprovesTheChosenFormula) {
  FormulaSet set;
  set.header = "Серия";
  set.formulas[0] = "x(1)-x(2)";
  set.formulas[2] = "7 MOD 3+1";
  set.formulas[3] = "1+*2";
  ASSERT_TRUE(writeFormulaSet(s.programDir + "StFt.ini", set));
  FormulaWindow w(s, ui, 1, nullptr);
  EXPECT_EQ(w.windowTitle(), qs("Преобразования записей"));
  EXPECT_EQ(w.formulaEdit(1)->text(), qs("x(1)-x(2)"));
  EXPECT_EQ(w.formulaEdit(3)->text(), qs("7 MOD 3+1"));
  EXPECT_EQ(w.formulaRadio(1)->text(), qs("&1="));
  EXPECT_TRUE(w.readArchiveButton()->isVisibleTo(&w));
  w.formulaEdit(5)->setText(qs("i+1"));  // typing into a box selects it
  EXPECT_EQ(w.selected(), 5);
  w.formulaRadio(3)->click();
  w.approveButton()->click();
  EXPECT_EQ(s.dialogResult, 3);
  FormulaContext ctx;
  EXPECT_EQ(evaluateFormula(w.formula(), ctx).value, 2);
  // all eight were saved, the header padded to 162 characters
  const auto lines = readTextLines(s.programDir + "StFt.ini");
  ASSERT_TRUE(lines);
  ASSERT_EQ(lines->size(), 9u);
  EXPECT_EQ((*lines)[0], std::string(157, ' ') + "Серия");
  EXPECT_EQ((*lines)[5], "i+1");

  FormulaWindow again(s, ui, 1, nullptr);
  again.formulaRadio(4)->click();
  again.approveButton()->click();
  EXPECT_EQ(s.dialogResult, 0);  // it does not compile
  ASSERT_FALSE(ui.messages.empty());
  EXPECT_EQ(ui.messages.back(), "Ошибка операции: *2");
}

TEST_F(FormulaTools, ProtocolConditionsHaveNoArchivesAndArchivesCarryTheHeader) {
  FormulaWindow protocol(s, ui, 6, nullptr);
  EXPECT_EQ(protocol.windowTitle(), qs("Условие протокола"));
  EXPECT_FALSE(protocol.readArchiveButton()->isVisibleTo(&protocol));
  FormulaSet set;
  set.header = "Архив";
  set.formulas[1] = "b(1,2)";
  ASSERT_TRUE(writeFormulaSet(dir.file("a.caf"), set));
  FormulaWindow w(s, ui, 2, nullptr);
  w.chooseArchive = [&](bool save) { return save ? dir.file("b.caf") : dir.file("a.caf"); };
  ASSERT_TRUE(w.readArchive());
  EXPECT_EQ(w.formulaEdit(2)->text(), qs("b(1,2)"));
  EXPECT_EQ(trimSpaces(s.examHeader), "Архив");
  ASSERT_TRUE(w.writeArchive());
  EXPECT_EQ(test::readBytes(dir.file("b.caf")), test::readBytes(dir.file("a.caf")));
}

TEST_F(FormulaTools, EditorFillsPlaceholdersAtTheCaret) {
  const FormulaUse* use = formulaUse(1);
  FormulaEditorDialog e(qs(use->title), QString(), use->variables, FunctionNames::defaultLines(), nullptr);
  EXPECT_EQ(e.variableList()->count(), 2);
  EXPECT_EQ(e.functionList()->item(1)->text(), qs("sqrt(?)"));
  e.functionList()->setCurrentRow(1);
  Q_EMIT e.functionList()->itemDoubleClicked(e.functionList()->item(1));
  EXPECT_EQ(e.formula(), qs("sqrt(?)"));
  QListWidgetItem* x = e.variableList()->item(1);
  ASSERT_EQ(x->text(), qs("x(?)"));
  e.insertPiece(x->text());  // fills the "?" of sqrt
  EXPECT_EQ(e.formula(), qs("sqrt(x(?))"));
  e.key(qs("1"))->click();
  EXPECT_EQ(e.formula(), qs("sqrt(x(1))"));
  e.setCaret(static_cast<int>(e.formula().size()));
  e.key(qs("<="))->click();
  e.key(qs("()"))->click();
  EXPECT_EQ(e.formula(), qs("sqrt(x(1))<=(?)"));
  e.key(qs("2"))->click();
  EXPECT_EQ(e.formula(), qs("sqrt(x(1))<=(2)"));
  e.setCaret(0);
  e.key(qs("Del"))->click();
  EXPECT_EQ(e.formula(), qs("qrt(x(1))<=(2)"));
  // the protocol's variables are what the compiler knows: tmax, not len
  const std::vector<std::string>& v = formulaUse(6)->variables;
  EXPECT_NE(std::find(v.begin(), v.end(), "tmax"), v.end());
  EXPECT_EQ(std::find(v.begin(), v.end(), "len"), v.end());
  for (int u = 1; u <= kFormulaUses; ++u)
    for (const std::string& name : formulaUse(u)->variables) {
      const std::string bare = name.substr(0, name.find('('));
      EXPECT_TRUE(isFormulaVariable(bare) || isFormulaArray(bare)) << name;
    }
}

TEST_F(FormulaTools, CalculatorComputesAndRemembers) {
  CalculatorMemory m;
  m.entries[0] = "2^3^2";
  m.entries[1] = "1/0";
  m.shown = "$1F";
  ASSERT_TRUE(writeCalculatorMemory(s.programDir, m));
  FormulaContext ctx;
  {
    CalculatorWindow calc(s, ui, ctx, nullptr);
    calc.show();
    EXPECT_EQ(calc.windowTitle(), qs("Калькулятор"));
    EXPECT_EQ(calc.expressionBox()->currentText(), qs("$1F"));
    EXPECT_EQ(calc.functionList()->count(), 16);  // no "StFn.ini": the shipped list (after a beep)
    calc.computeButton()->click();
    EXPECT_EQ(calc.resultBox()->text(), qs("31"));
    calc.expressionBox()->setEditText(qs("7 MOD 3+1"));
    calc.computeButton()->click();
    EXPECT_EQ(calc.resultBox()->text(), qs("2"));
    calc.expressionBox()->setEditText(qs("2^3^2"));
    QTest::mouseDClick(calc.expressionBox()->lineEdit(), Qt::LeftButton);  // a double click computes too
    EXPECT_EQ(calc.resultBox()->text(), qs("64"));
    calc.expressionBox()->setEditText(qs("7 MOD 3+1"));
    calc.computeButton()->click();
    calc.expressionBox()->setEditText(qs("7 MOD 0"));
    calc.computeButton()->click();
    EXPECT_EQ(calc.resultBox()->text(), qs("2"));  // unchanged
    ASSERT_FALSE(ui.messages.empty());
    EXPECT_EQ(ui.messages.back(), "Деление на ноль");
    calc.reject();
  }
  CalculatorMemory back;
  ASSERT_TRUE(readCalculatorMemory(s.programDir, back));
  EXPECT_EQ(back.shown, "7 MOD 0");
  EXPECT_EQ(back.entries[0], "2^3^2");  // no entry was chosen, none changed
  EXPECT_EQ(back.entries[1], "1/0");
}

TEST_F(FormulaTools, GeneratorWritesTheCurrentChannel) {
  s.sampleRate = 1000;
  s.recordLength = 1000;
  s.channelCount = 2;
  s.currentChannelRow = 1;
  test::writeBytes(s.programDir + "qgen.ini", "50\r\n20\r\n");
  GeneratorDialog g(s, ui, nullptr);
  g.seed = 3;
  g.show();
  EXPECT_EQ(g.windowTitle(), qs("Генератор"));
  EXPECT_EQ(g.amplitudeBox()->currentText(), qs("50"));
  EXPECT_EQ(g.frequencyEdit()->text(), qs("20"));
  EXPECT_EQ(g.waveButton(Waveform::Morlet)->text(), qs("&8=Вейвлет Морле"));
  g.frequencyEdit()->setText(qs("101"));
  g.waveButton(Waveform::Sine)->click();
  ASSERT_FALSE(ui.messages.empty());
  EXPECT_EQ(ui.messages.back(), generator_texts::kFrequencyTooHigh);
  EXPECT_EQ(s.dialogResult, 0);
  g.frequencyEdit()->setText(qs("10"));
  g.amplitudeBox()->setEditText(qs("100"));
  g.waveButton(Waveform::Square)->click();
  EXPECT_EQ(s.dialogResult, 1);
  EXPECT_FALSE(g.isVisible());
  EXPECT_EQ(s.channelData[1][0], 4095);
  EXPECT_EQ(s.channelData[1][50], 1);
  EXPECT_EQ(test::readBytes(s.programDir + "qgen.ini"), "100\r\n10\r\n");
}

// From the menu: the generator opens modally, writes the current channel and
// the monitor shows it.
TEST_F(FormulaTools, GeneratorFromTheMenuWritesTheCurrentChannel) {
  s.sampleRate = 1000;
  s.recordLength = 1000;
  s.channelCount = s.shownChannelCount = 2;
  s.currentChannelRow = 1;
  test::writeBytes(s.programDir + "qgen.ini", "100\r\n10\r\n");
  shell::MainWindow window(s, ui);
  bool shown = false;
  QTimer::singleShot(0, [&] {
    auto* g = qobject_cast<GeneratorDialog*>(QApplication::activeModalWidget());
    if (!g) return;
    shown = g->windowTitle() == qs("Генератор");
    g->waveButton(Waveform::Square)->click();
  });
  window.runCommand(shell::Cmd::Generator);
  EXPECT_TRUE(shown);
  EXPECT_EQ(s.dialogResult, 1);
  EXPECT_EQ(s.channelData[1][0], 4095);
  EXPECT_EQ(s.channelData[1][50], 1);
}

class NotebookGui : public ::testing::Test {
 protected:
  void SetUp() override {
    s.programDir = dir.path() + "/";
    s.dataDir = s.programDir;
    window = std::make_unique<shell::MainWindow>(s, ui);
    window->setFileChooser(&chooser);
    nb = shell::notebookWindowOf(*window);
  }
  test::TempDir dir;
  StudyState s;
  ScriptedInteraction ui;
  test::ScriptedChooser chooser;
  std::unique_ptr<shell::MainWindow> window;
  NotebookWindow* nb = nullptr;
};

TEST_F(NotebookGui, AddSortCopyStatisticsAndFiles) {
  ASSERT_NE(nb, nullptr);
  window->runCommand(shell::Cmd::Notebook);
  EXPECT_TRUE(nb->isVisible());
  EXPECT_EQ(nb->windowTitle(), qs("Блокнот"));
  EXPECT_EQ(nb->table()->horizontalHeaderItem(3)->text(), qs("  dX"));
  // "Занести в блокнот" adds the readouts as a row
  window->runCommand(shell::Cmd::AddToNotebook);
  EXPECT_EQ(shell::notebookOf(*window)->rowCount(), 1);
  EXPECT_TRUE(window->statusBar()->currentMessage().startsWith(qs("Запись в блокнот=1")));
  // typed values
  Notebook& n = nb->notebook();
  n.clear();
  for (const char* v : {"3", "1", "2", "1"}) n.appendRow({v, "", "", "", ""});
  n.setCell(2, 2, "first");
  n.setCell(2, 4, "second");
  nb->refresh();
  nb->table()->setCurrentCell(0, 1);
  nb->panel()->button(notebook_texts::kSort)->click();
  EXPECT_EQ(nb->table()->item(0, 1)->text(), qs("1"));
  EXPECT_EQ(nb->table()->item(0, 2)->text(), qs("first"));
  EXPECT_EQ(nb->table()->item(1, 2)->text(), qs("second"));
  EXPECT_EQ(nb->table()->item(3, 1)->text(), qs("3"));
  // C copies the selection
  nb->table()->setRangeSelected(QTableWidgetSelectionRange(0, 0, 1, 2), true);
  QTest::keyClick(nb->table(), Qt::Key_C);
  EXPECT_EQ(QApplication::clipboard()->text(), qs("1\t1\tfirst\r\n2\t1\tsecond\r\n"));
  // a typed cell below the rows in use brings its row in
  nb->table()->setItem(5, 1, new QTableWidgetItem(qs("7")));
  EXPECT_EQ(n.rowCount(), 6);
  EXPECT_EQ(n.cell(1, 6), "7");
  n.setRowCount(4);
  // statistics go to the text window
  nb->panel()->button(notebook_texts::kStatistics)->click();
  ASSERT_NE(s.textWindow, nullptr);
  // save and read back through the file window
  chooser.answer = dir.file("n.cab");
  ASSERT_TRUE(nb->saveFile());
  n.clear();
  nb->refresh();
  ASSERT_TRUE(nb->readFile());
  EXPECT_EQ(n.rowCount(), 4);
  EXPECT_EQ(nb->table()->item(3, 1)->text(), qs("3"));
  // Insert and Delete in the table
  nb->table()->setCurrentCell(1, 1);
  QTest::keyClick(nb->table(), Qt::Key_Insert);
  EXPECT_EQ(n.rowCount(), 5);
  EXPECT_EQ(nb->table()->item(1, 1)->text(), qs(""));
  QTest::keyClick(nb->table(), Qt::Key_Delete);
  EXPECT_EQ(n.rowCount(), 4);
  EXPECT_EQ(nb->table()->item(1, 1)->text(), qs("1"));
  nb->panel()->button(notebook_texts::kClear)->click();
  EXPECT_EQ(n.rowCount(), 0);
  EXPECT_EQ(nb->table()->item(0, 1)->text(), qs(""));
}

}  // namespace
}  // namespace velor
