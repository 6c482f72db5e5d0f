// "Файл записи": the record file of a running examination, named by the
// person — a label "Введите имя файла", one edit field, "Утвердить" and
// "Отменить"; modal, without a border, centred. "Утвердить" leaves the text
// as typed in `chosenFilePath` with `dialogResult` 1; "Отменить" changes
// nothing; a click on the label closes with `dialogResult` 0.
#pragma once

#include <QDialog>

#include "core/study_state.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace velor {

class RecordFileDialog final : public QDialog {
  Q_OBJECT
 public:
  // The field starts with `chosenFilePath`.
  RecordFileDialog(StudyState& s, QWidget* parent = nullptr);

  QLineEdit* nameEdit() const { return edit_; }
  QPushButton* confirmButton() const { return confirm_; }
  QPushButton* dismissButton() const { return dismiss_; }
  QLabel* promptLabel() const { return prompt_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  StudyState& s_;
  QLabel* prompt_ = nullptr;
  QLineEdit* edit_ = nullptr;
  QPushButton* confirm_ = nullptr;
  QPushButton* dismiss_ = nullptr;
};

}  // namespace velor
