// The windows of record editing: "Удаление" (DeleteDialog), "Калибровка" (CalibrationDialog)
// and "Реорганизация записей" (ReorganisationDialog), and QtEditDialogs, which shows them
// modally for the editing commands.
#pragma once

#include <QDialog>
#include <map>

#include "core/study_state.h"
#include "viewer/record_edit.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace velor {

inline constexpr int kDeleteHelpContext = 21;
inline constexpr int kCalibrationHelpContext = 22;
inline constexpr int kReorganisationHelpContext = 23;

// "Удаление": the group "Участок" with the check box "Все каналы" and one
// button per choice; Esc gives 0.
class DeleteDialog final : public QDialog {
  Q_OBJECT
 public:
  DeleteDialog(const DeleteSettings& settings, QWidget* parent = nullptr);
  int choice() const { return choice_; }
  DeleteSettings settings() const;
  QCheckBox* allChannelsBox() const { return all_; }
  QPushButton* button(int choice) const;
  // Presses a choice's button, as a click does.
  void pick(int choice);

 private:
  QCheckBox* all_ = nullptr;
  std::map<int, QPushButton*> buttons_;
  int choice_ = kDeleteCancel;
};

// "Калибровка": the amplitude of the calibration step, "все каналы", the zero
// correction "Корр.нуля"; "Утвердить" gives 1 (current channel) or 2 (all).
class CalibrationDialog final : public QDialog {
  Q_OBJECT
 public:
  CalibrationDialog(const CalibrationSettings& settings, QWidget* parent = nullptr);
  int choice() const { return choice_; }
  CalibrationSettings settings() const;
  QLineEdit* amplitudeEdit() const { return amplitude_; }
  QCheckBox* allChannelsBox() const { return all_; }
  QRadioButton* zeroButton(int kind) const;
  QPushButton* confirmButton() const { return confirm_; }

 private:
  QLineEdit* amplitude_ = nullptr;
  QCheckBox* all_ = nullptr;
  QRadioButton* zero_[3] = {};
  QPushButton* confirm_ = nullptr;
  int choice_ = 0;
};

// "Реорганизация записей": reference point, epoch start and end, the
// selection condition; "Выполнить" accepts, "Отменить" closes.
class ReorganisationDialog final : public QDialog {
  Q_OBJECT
 public:
  ReorganisationDialog(const ReorganisationSettings& settings, QWidget* parent = nullptr);
  ReorganisationSettings settings() const;
  QComboBox* referenceBox() const { return reference_; }
  QLineEdit* startEdit() const { return start_; }
  QLineEdit* endEdit() const { return end_; }
  QLineEdit* conditionEdit() const { return condition_; }
  QPushButton* runButton() const { return run_; }
  QPushButton* editorButton() const { return editor_; }

 private:
  QComboBox* reference_ = nullptr;
  QLineEdit* start_ = nullptr;
  QLineEdit* end_ = nullptr;
  QLineEdit* condition_ = nullptr;
  QPushButton* run_ = nullptr;
  QPushButton* editor_ = nullptr;
};

// Shows the windows modally; each sets its help topic while it is open. A
// settings file that could not be read beeps.
class QtEditDialogs final : public EditDialogs {
 public:
  QtEditDialogs(StudyState& s, QWidget* parent) : s_(s), parent_(parent) {}
  int deleteDialog(DeleteSettings& settings) override;
  int calibrationDialog(CalibrationSettings& settings) override;
  bool reorganisationDialog(ReorganisationSettings& settings) override;
  void settingsNotRead() override;

 private:
  StudyState& s_;
  QWidget* parent_;
};

}  // namespace velor
