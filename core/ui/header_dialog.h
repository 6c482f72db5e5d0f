// The examination header dialog "Заголовок исследования": the fields of the
// header in the standard or the group layout, their history lists, the
// institution and department, reading a header from another record file, and
// "Утвердить" which composes `examHeader`.
#pragma once

#include <QDialog>
#include <QString>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/header_form.h"
#include "core/interaction.h"
#include "core/settings.h"
#include "core/study_state.h"

class QComboBox;
class QLineEdit;
class QPushButton;

namespace velor {

class HeaderDialog final : public QDialog {
  Q_OBJECT
 public:
  // Returns the path of a record file chosen for "Читать заголовок из файла",
  // or nothing when cancelled.
  using HeaderFilePicker = std::function<std::optional<std::string>()>;

  HeaderDialog(StudyState& s, Interaction& ui, HeaderFilePicker pick, QWidget* parent = nullptr);

  bool groupLayout() const { return group_; }
  // The widget and text of header field i (1-based) of the shown layout.
  QWidget* fieldWidget(int field) const;
  QString fieldText(int field) const;
  void setFieldText(int field, const QString& text);
  QLineEdit* institutionEdit() const { return institution_; }
  QLineEdit* departmentEdit() const { return department_; }
  QComboBox* patientList() const { return patientList_; }
  // The patient field the patient list writes into (0-based), group layout.
  int targetPatient() const { return target_; }
  const HeaderHistory& history() const { return history_; }

  // What the fields say now.
  HeaderForm form() const;

  void readHeaderFromFile();
  void acceptHeader();

 protected:
  void done(int r) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QComboBox* makeHistoryBox(std::vector<std::string>* list, std::size_t capacity, int maxLength);
  void showForm(const HeaderForm& f);
  void choosePatient(int index);

  StudyState& s_;
  Interaction& ui_;
  HeaderFilePicker pick_;
  bool group_ = false;
  HeaderHistory history_;
  std::vector<QWidget*> fields_;  // field i at i − 1
  QLineEdit* institution_ = nullptr;
  QLineEdit* department_ = nullptr;
  QComboBox* patientList_ = nullptr;
  int target_ = 0;
  int helpBefore_ = 0;
  bool closedOnce_ = false;
};

}  // namespace velor
