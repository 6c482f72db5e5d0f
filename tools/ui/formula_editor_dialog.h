// "Редактор формул": the formula editor. The formula line, the use's
// variables, the functions of "StFn.ini" and a keypad; insertions go to the
// remembered caret, replacing a "?" placeholder that stands there.
#pragma once

#include <QDialog>
#include <string>
#include <vector>

class QLineEdit;
class QListWidget;
class QPushButton;

namespace velor {

class FormulaEditorDialog final : public QDialog {
  Q_OBJECT
 public:
  FormulaEditorDialog(const QString& title, const QString& formula, const std::vector<std::string>& variables,
                      const std::vector<std::string>& functionLines, QWidget* parent = nullptr);

  QString formula() const;
  QLineEdit* formulaLine() const { return line_; }
  QListWidget* variableList() const { return variables_; }
  QListWidget* functionList() const { return functions_; }
  // A keypad key by its caption ("7", "<=", "()", "Del", ...), or nullptr.
  QPushButton* key(const QString& caption) const;
  QPushButton* approveButton() const { return approve_; }

  // What a key or a list entry does at the remembered caret.
  void insertPiece(const QString& piece);
  void deleteAfterCaret();
  void setCaret(int position) { caret_ = position; }
  int caret() const { return caret_; }

 private:
  QLineEdit* line_ = nullptr;
  QListWidget* variables_ = nullptr;
  QListWidget* functions_ = nullptr;
  QPushButton* approve_ = nullptr;
  std::vector<QPushButton*> keys_;
  int caret_ = 0;
};

}  // namespace velor
