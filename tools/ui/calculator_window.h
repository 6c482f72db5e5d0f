// "Калькулятор": the expression list of ten remembered entries, the result,
// the functions of "StFn.ini", a keypad, "Вычислить", and the two record
// commands "&1=chan" (reorder the channels by "10-20.txt") and "&2=A-range",
// which the main window carries out (they change the record and save it).
#pragma once

#include <QDialog>
#include <string>
#include <vector>

#include "core/formula.h"
#include "core/interaction.h"
#include "core/study_state.h"
#include "tools/calculator.h"

class QComboBox;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace velor {

class CalculatorWindow final : public QDialog {
  Q_OBJECT
 public:
  // `context` is whatever the last caller left (the calculator evaluates in it).
  CalculatorWindow(StudyState& s, Interaction& ui, FormulaContext& context, QWidget* parent = nullptr);

  QComboBox* expressionBox() const { return expression_; }
  QLineEdit* resultBox() const { return result_; }
  QListWidget* functionList() const { return functions_; }
  QPushButton* computeButton() const { return compute_; }
  QPushButton* chanButton() const { return chan_; }
  QPushButton* aRangeButton() const { return aRange_; }
  QPushButton* key(const QString& caption) const;

  // "Вычислить": the result box shows the value, or the message is shown.
  void compute();
  // Reads "qcalc.ini" and "StFn.ini" (what activation does).
  void load();
  // Writes "qcalc.ini" (what closing does).
  void save();
  void insertPiece(const QString& piece);

 Q_SIGNALS:
  void chanRequested();
  void aRangeRequested();

 protected:
  bool eventFilter(QObject* watched, QEvent* e) override;
  void showEvent(QShowEvent* e) override;
  void done(int r) override;

 private:
  void keepEditedEntry();
  StudyState& s_;
  Interaction& ui_;
  FormulaContext& context_;
  CalculatorMemory memory_;
  FunctionNames names_;
  int editedEntry_ = 0;
  QComboBox* expression_ = nullptr;
  QLineEdit* result_ = nullptr;
  QListWidget* functions_ = nullptr;
  QPushButton* compute_ = nullptr;
  QPushButton* chan_ = nullptr;
  QPushButton* aRange_ = nullptr;
  std::vector<QPushButton*> keys_;
};

}  // namespace velor
