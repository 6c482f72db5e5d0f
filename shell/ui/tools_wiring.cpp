#include "shell/ui/tools_wiring.h"

#include <QFontDialog>
#include <QPrintDialog>
#include <QPrinter>
#include <QStatusBar>

#include "core/formula.h"
#include "core/settings.h"
#include "instruments/scoreboard.h"
#include "results/graph.h"
#include "results/notebook.h"
#include "results/notebook_texts.h"
#include "results/ui/graph_host.h"
#include "results/ui/graph_window.h"
#include "results/ui/notebook_window.h"
#include "results/ui/text_results_window.h"
#include "shell/main_commands.h"
#include "shell/ui/main_window.h"
#include "shell/ui/results_wiring.h"
#include "shell/ui/transform_wiring.h"
#include "eeg/spectral.h"
#include "results/text_results.h"
#include "tools/alpha_range.h"
#include "tools/calculator.h"
#include "tools/calculator_texts.h"
#include "tools/ui/calculator_window.h"
#include "tools/ui/formula_window.h"
#include "tools/ui/generator_dialog.h"

namespace velor::shell {

namespace {

class ToolsWiring final : public QObject {
 public:
  explicit ToolsWiring(MainWindow& w) : QObject(&w) { setObjectName(QStringLiteral("toolsWiring")); }
  Notebook notebook;
  FormulaContext context;
  NotebookWindow* window = nullptr;
  FontSpec font{"Courier New", 10, false};  // the notebook's print font
};

ToolsWiring* wiringOf(MainWindow& w) {
  return static_cast<ToolsWiring*>(w.findChild<QObject*>(QStringLiteral("toolsWiring"), Qt::FindDirectChildrenOnly));
}

void showNotebookGraph(MainWindow& w, const NotebookGraph& g, bool histogram) {
  StudyState& s = w.study();
  GraphHost& host = graphHostOf(w, s, w.interaction(), &w.fileChooser());
  GraphTable& t = host.table();
  const int n = std::min<int>(static_cast<int>(g.points.size()), kGraphMaxPoints);
  if (n == 0) return;
  for (int k = 0; k < n; ++k) {
    setFloatAt(s, 0, k, static_cast<float>(g.points[static_cast<std::size_t>(k)].first));
    setFloatAt(s, 1, k, static_cast<float>(g.points[static_cast<std::size_t>(k)].second));
  }
  t.series[0] = {0, 1, 0, static_cast<std::uint8_t>(histogram ? kStyleHistogram : kStyleLineMarkers)};
  t.lastIndex.fill(kEmptySeries);
  t.lastIndex[0] = static_cast<std::uint16_t>(n - 1);
  GraphWindow* gw = host.createGraphWindow(0, 0);
  if (!gw) return;
  gw->setWindowTitle(QString::fromStdString(g.caption));
  if (histogram) gw->move(gw->x(), 40);
  gw->drawSeries(0);
}

void showNotebookStatistics(MainWindow& w, const std::vector<std::string>& lines) {
  TextResultsWindow* text = beginTextResults(&w, w.study(), w.interaction(), nullptr, 2);
  if (!text) return;
  text->setWindowTitle(QString::fromUtf8(notebook_texts::kStatisticsCaption));
  text->setGeometry(200, 350, 350, 150);
  if (TextResults* journal = w.study().textWindow)
    for (const std::string& line : lines) journal->addResultLine(line);
}

std::string chooseFile(MainWindow& w, FileKind kind, bool save) {
  return chooseByKind(w.study(), kind, save, w.fileChooser()).value_or(std::string());
}

CommandResult runCalculator(MainWindow& w, ToolsWiring& t) {
  StudyState& s = w.study();
  CalculatorWindow calc(s, w.interaction(), t.context, &w);
  bool relayout = false;
  QObject::connect(&calc, &CalculatorWindow::chanRequested, &calc, [&] {
    const auto leads = readTextLines(s.programDir + "10-20.txt");
    if (!leads) {
      w.interaction().message(calculator_texts::kNoLeadList);
      return;
    }
    std::string reason;
    if (!reorderChannelsByLeads(s, *leads, reason)) {
      w.interaction().message(reason);
      return;
    }
    relayout = true;
    calc.accept();
    w.runCommand(Cmd::Save);
  });
  QObject::connect(&calc, &CalculatorWindow::aRangeRequested, &calc, [&] {
    PeakRange r;
    std::string reason;
    if (!measurePeakRange(w.spectralEngine(), s, s.monitorWidth, r, reason)) {
      w.interaction().message(reason);
      return;
    }
    relayout = true;
    calc.accept();
    if (!s.textWindow) beginTextResults(&w, s, w.interaction(), nullptr, 2);
    w.activateWindow();
    if (s.textWindow) s.textWindow->addResultLine(r.line);
  });
  calc.exec();
  return CommandResult::done(relayout ? ViewChange::Relayout : ViewChange::None);
}

}  // namespace

void installFormulaTools(MainWindow& w) {
  if (wiringOf(w)) return;
  auto* t = new ToolsWiring(w);
  StudyState& s = w.study();
  Interaction& ui = w.interaction();
  t->context.study = &s;
  t->context.cells = &t->notebook;
  t->window = new NotebookWindow(s, ui, t->notebook, &w);
  NotebookWindow* nb = t->window;
  nb->chooseFormula = [&w, nb](int use) {
    return chooseFormula(w.study(), w.interaction(), use, nb,
                         [&w](bool save) { return chooseFile(w, FileKind::Formulas, save); });
  };
  nb->chooseFile = [&w](bool save) { return chooseFile(w, FileKind::Notebook, save); };
  nb->showGraph = [&w](const NotebookGraph& g, bool histogram) { showNotebookGraph(w, g, histogram); };
  nb->showStatistics = [&w](const std::vector<std::string>& lines) { showNotebookStatistics(w, lines); };
  nb->printLines = [&w, t](const std::vector<std::string>& lines) {
    // the font chosen here stays the notebook's for later prints
    bool chosen = false;
    const QFont font = QFontDialog::getFont(&chosen, QFont(QString::fromStdString(t->font.name), t->font.size), &w);
    if (!chosen) return;
    t->font = {font.family().toStdString(), font.pointSize() > 0 ? font.pointSize() : t->font.size, font.bold()};
    QPrinter printer;
    QPrintDialog dialog(&printer, &w);
    if (dialog.exec() == QDialog::Accepted) printTextLines(lines, t->font, printer);
  };

  CommandDispatcher& c = w.commands();
  c.setHandler(Cmd::Calculator, [&w, t] { return runCalculator(w, *t); });
  // The generator writes the current channel; a generating command closes it
  // with dialogResult 1 and the record is drawn again.
  c.setHandler(Cmd::Generator, [&w] {
    StudyState& s = w.study();
    s.dialogResult = 0;
    GeneratorDialog d(s, w.interaction(), &w);
    changeRecord(w, [&d] {
      d.exec();
      return true;
    });
    return s.dialogResult == 1 ? CommandResult::done(ViewChange::Redraw) : CommandResult::done();
  });
  c.setHandler(Cmd::Notebook, [t] {
    t->window->show();
    t->window->raise();
    return CommandResult::done();
  });
  c.setHandler(Cmd::AddToNotebook, [&w, t] {
    const ScoreboardTexts r = scoreboardReadouts(w.study());
    if (!t->notebook.appendRow({r.t, r.y, r.dt, r.dy, r.integral}))
      return CommandResult::refused(notebook_texts::kFull);
    t->window->refresh();
    w.statusBar()->showMessage(
        QString::fromUtf8(notebook_texts::kAddedRow) + QString::number(t->notebook.rowCount()), 200);
    return CommandResult::done();
  });
}

Notebook* notebookOf(MainWindow& w) {
  ToolsWiring* t = wiringOf(w);
  return t ? &t->notebook : nullptr;
}

NotebookWindow* notebookWindowOf(MainWindow& w) {
  ToolsWiring* t = wiringOf(w);
  return t ? t->window : nullptr;
}

FormulaContext* formulaContextOf(MainWindow& w) {
  ToolsWiring* t = wiringOf(w);
  return t ? &t->context : nullptr;
}

}  // namespace velor::shell
