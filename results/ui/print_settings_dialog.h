// PrintSettingsDialog "Печать": the modal print settings dialog shown before every picture
// print. It fills its fields from "qprs.ini", and "Печатать" turns them into
// the PrintSettings the printing window uses and saves them as typed.
#pragma once

#include <QDialog>
#include <functional>

#include "core/interaction.h"
#include "core/study_state.h"
#include "results/print_settings.h"

class QCheckBox;
class QLineEdit;
class QPrinter;
class QPushButton;

namespace velor {

class PrintSettingsDialog final : public QDialog {
  Q_OBJECT
 public:
  // `settings` is replaced when the dialog is accepted. `printer` is the one
  // "Установить разрешение" sets up (none: the button does nothing).
  PrintSettingsDialog(StudyState& s, Interaction& ui, PrintSettings& settings, QPrinter* printer, QWidget* parent = nullptr);

  // How the printer set-up runs; the default is Qt's print dialog.
  void setPrinterSetup(std::function<void(QPrinter&)> run) { setup_ = std::move(run); }

  QLineEdit* leftEdit() const { return edits_[0]; }
  QLineEdit* topEdit() const { return edits_[1]; }
  QLineEdit* widthEdit() const { return edits_[2]; }
  QLineEdit* heightEdit() const { return edits_[3]; }
  QCheckBox* alongLengthBox() const { return along_; }
  QCheckBox* maxSizeBox() const { return maxSize_; }
  QPushButton* printButton() const { return print_; }
  QPushButton* setupButton() const { return setupButton_; }
  QPushButton* cancelButton() const { return cancel_; }

  PrintForm form() const;
  // What showing the dialog does: dialogResult 0, the form from "qprs.ini".
  void load();
  // "Печатать": false (with a message) when a field holds no usable number.
  bool printClicked();

 protected:
  void showEvent(QShowEvent* e) override;

 private:
  void showForm(const PrintForm& f);
  void setFieldsEnabled();

  StudyState& s_;
  Interaction& ui_;
  PrintSettings& settings_;
  QPrinter* printer_;
  std::function<void(QPrinter&)> setup_;
  QLineEdit* edits_[4] = {};
  QCheckBox* along_ = nullptr;
  QCheckBox* maxSize_ = nullptr;
  QPushButton* print_ = nullptr;
  QPushButton* setupButton_ = nullptr;
  QPushButton* cancel_ = nullptr;
  bool loaded_ = false;
};

// askPrintSettings: shows PrintSettingsDialog modally; true when "Печатать" was pressed
// (dialogResult 1), and `settings` then holds the new values.
bool askPrintSettings(StudyState& s, Interaction& ui, PrintSettings& settings, QPrinter* printer, QWidget* parent);

}  // namespace velor
