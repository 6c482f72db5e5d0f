// The main window's ties to the formula tools and the notebook: the
// calculator "Калькулятор" with its record commands, the notebook "Блокнот"
// (created once, shown and hidden) with its formula windows, files, graphs,
// statistics text and printing, "Занести в блокнот", and the signal
// generator "Генератор" as a command (its menu entry is hidden: the
// transformations window opens it).
#pragma once

namespace velor {
class Notebook;
class NotebookWindow;
struct FormulaContext;
}  // namespace velor

namespace velor::shell {

class MainWindow;

// Sets the handlers of the calculator, notebook, add-to-notebook and generator commands.
void installFormulaTools(MainWindow& w);
// The notebook of the main window, its window (nullptr before the install),
// and the formula context the calculator evaluates in.
Notebook* notebookOf(MainWindow& w);
NotebookWindow* notebookWindowOf(MainWindow& w);
FormulaContext* formulaContextOf(MainWindow& w);

}  // namespace velor::shell
