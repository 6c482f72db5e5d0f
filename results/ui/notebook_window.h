// "Блокнот": the notebook's table (always on top) and its command panel
// "Блокнот" (opened by a right click into the table or Esc). The table shows
// the Notebook engine; edits go straight into it. What needs other windows
// (the formula window, the file window, graphs, the text window, the
// printer) comes in through the hooks, which the main window's wiring sets.
#pragma once

#include <QDialog>
#include <QWidget>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/formula.h"
#include "core/interaction.h"
#include "core/study_state.h"
#include "results/notebook.h"

class QComboBox;
class QPushButton;
class QTableWidget;

namespace velor {

class NotebookPanel;

class NotebookWindow final : public QWidget {
  Q_OBJECT
 public:
  NotebookWindow(StudyState& s, Interaction& ui, Notebook& nb, QWidget* parent = nullptr);

  // --- hooks ---------------------------------------------------------------
  std::function<std::optional<CompiledFormula>(int use)> chooseFormula;  // uses 2 and 3
  std::function<std::string(bool save)> chooseFile;                     // "" when cancelled
  std::function<void(const NotebookGraph& g, bool histogram)> showGraph;
  std::function<void(const std::vector<std::string>& lines)> showStatistics;
  std::function<void(const std::vector<std::string>& lines)> printLines;

  Notebook& notebook() { return nb_; }
  QTableWidget* table() const { return table_; }
  NotebookPanel* panel() const { return panel_; }
  // The table from the engine.
  void refresh();
  // Current column 1..5 (column 0, the numbers, counts as 1) and row 1..999.
  int currentColumn() const;
  int currentRow() const;

  // --- commands ---------------------------------------------------------------
  void sortCurrent();
  void graph(int xChoice);
  void statistics();
  void evaluateOnce();
  void computeColumn();
  void clearAll();
  void print();
  bool readFile();
  bool saveFile();
  void copySelection();
  void insertRowAtCurrent();
  void deleteRowAtCurrent();
  void showPanel();
  void exitNotebook();
  // "Занести в блокнот": a new row with these readouts; false when full.
  bool addReadouts(const std::array<double, kNotebookColumns>& values);

 protected:
  void keyPressEvent(QKeyEvent* e) override;
  bool eventFilter(QObject* watched, QEvent* e) override;

 private:
  void cellEdited(int row, int column);

  StudyState& s_;
  Interaction& ui_;
  Notebook& nb_;
  QTableWidget* table_ = nullptr;
  NotebookPanel* panel_ = nullptr;
  bool filling_ = false;
};

// The command panel "Блокнот".
class NotebookPanel final : public QDialog {
  Q_OBJECT
 public:
  NotebookPanel(NotebookWindow& notebook, QWidget* parent = nullptr);
  QPushButton* button(const char* caption) const;
  QComboBox* graphXBox() const { return graphX_; }

 protected:
  void keyPressEvent(QKeyEvent* e) override;

 private:
  NotebookWindow& nb_;
  std::vector<QPushButton*> buttons_;
  QComboBox* graphX_ = nullptr;
};

}  // namespace velor
