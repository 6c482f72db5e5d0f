// "Пациент": the patient data of the hemodynamics (erythrocytes or
// haematocrit, mean pressure, electrode distance, weight, height, chest,
// sex), kept in "qgdin.ini". "Утвердить" takes the values, writes the file
// and leaves the sex in dialogResult; "<Esc>=Отменить" leaves −1.
#pragma once

#include <QDialog>

#include "core/study_state.h"
#include "physio/rheo.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace velor {

class RegPatientDialog final : public QDialog {
  Q_OBJECT
 public:
  explicit RegPatientDialog(StudyState& s, QWidget* parent = nullptr);

  // The values as the controls hold them (E negated for a haematocrit); an
  // unreadable field keeps its default.
  RegPatient patient() const;

  // Fields in the order of the form: erythrocytes, distance, weight, height,
  // chest, pressure.
  enum class Field { Erythrocytes, Distance, Weight, Height, Chest, Pressure };
  QLineEdit* edit(Field f) const { return edits_[static_cast<int>(f)]; }
  QLabel* erythrocytesLabel() const { return erythrocytesLabel_; }
  QCheckBox* haematocritBox() const { return haematocrit_; }
  QComboBox* sexList() const { return sex_; }
  QPushButton* acceptButton() const { return accept_; }
  QPushButton* cancelButton() const { return cancel_; }

 protected:
  void showEvent(QShowEvent* e) override;

 private:
  void readSettings();
  void relabel();

  StudyState& s_;
  QLineEdit* edits_[6] = {};
  QLabel* erythrocytesLabel_ = nullptr;
  QCheckBox* haematocrit_ = nullptr;
  QComboBox* sex_ = nullptr;
  QPushButton* accept_ = nullptr;
  QPushButton* cancel_ = nullptr;
};

}  // namespace velor
