// The formula window (its caption is the use's title: "Преобразования
// записей", "Вычисления блокнота", ...): eight formulas of one use kept in its
// "StF*.ini" file, the editor, archives ".caf", and "Утвердить", which saves
// the eight, compiles the chosen one and leaves its number in dialogResult
// (0 when it does not compile or on "Отменить").
#pragma once

#include <QDialog>
#include <array>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/formula.h"
#include "core/formula_files.h"
#include "core/interaction.h"
#include "core/study_state.h"

class QLineEdit;
class QPushButton;
class QRadioButton;

namespace velor {

class FormulaWindow final : public QDialog {
  Q_OBJECT
 public:
  // Reads the use's file from programDir and the functions of "StFn.ini".
  FormulaWindow(StudyState& s, Interaction& ui, int use, QWidget* parent = nullptr);

  // The file window for archives: a path, or "" when cancelled.
  std::function<std::string(bool save)> chooseArchive;

  QLineEdit* formulaEdit(int k) const { return edits_[static_cast<std::size_t>(k - 1)]; }  // 1..8
  QRadioButton* formulaRadio(int k) const { return radios_[static_cast<std::size_t>(k - 1)]; }
  QPushButton* approveButton() const { return approve_; }
  QPushButton* editorButton() const { return editor_; }
  QPushButton* readArchiveButton() const { return readArchive_; }
  QPushButton* writeArchiveButton() const { return writeArchive_; }
  int selected() const { return selected_; }
  void select(int k);

  // "Утвердить": dialogResult = the chosen number, or 0 when it does not compile.
  void approve();
  void cancel();
  // The compiled formula after an approval with a nonzero result.
  const CompiledFormula& formula() const { return formula_; }
  const FunctionNames& functionNames() const { return names_; }
  // "Редактор" on the selected formula.
  void openEditor();
  bool readArchive();
  bool writeArchive();

 private:
  bool eventFilter(QObject* watched, QEvent* e) override;
  FormulaSet current() const;
  void showSet(const FormulaSet& set);

  StudyState& s_;
  Interaction& ui_;
  int use_;
  std::vector<std::string> functionLines_;
  FunctionNames names_;
  std::string header_;
  std::array<QRadioButton*, kFormulasPerSet> radios_{};
  std::array<QLineEdit*, kFormulasPerSet> edits_{};
  QPushButton* approve_ = nullptr;
  QPushButton* editor_ = nullptr;
  QPushButton* readArchive_ = nullptr;
  QPushButton* writeArchive_ = nullptr;
  int selected_ = 1;
  CompiledFormula formula_;
};

// Shows the window modally for `use`; the compiled formula when one was
// approved (dialogResult 1..8), otherwise nothing (dialogResult 0).
std::optional<CompiledFormula> chooseFormula(StudyState& s, Interaction& ui, int use, QWidget* parent,
                                             std::function<std::string(bool save)> chooseArchive = {});

}  // namespace velor
