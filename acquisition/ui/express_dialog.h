// "Экспресс-анализ": the analysis an examination runs at every record end —
// the group "Режимы" ("&0=нет" .. "&7=Пользователя") with the band of the map
// ("Диап="), the evoked averaging's gain ("КУ=") and artefact level
// ("Артеф=", µV), and the ECG monitor's "Мах=", "Min=" and channel
// ("Канал="). "Утвердить" puts the choice into the plan (`dialogResult` 1);
// the fields are kept in "qexa.ini".
#pragma once

#include <QDialog>

#include "acquisition/exam_plan.h"
#include "core/study_state.h"

class QButtonGroup;
class QComboBox;
class QLineEdit;
class QPushButton;

namespace velor {

class ExpressDialog final : public QDialog {
  Q_OBJECT
 public:
  ExpressDialog(StudyState& s, ExaminationPlan& plan, QWidget* parent = nullptr);

  QButtonGroup* kinds() const { return kinds_; }
  QComboBox* bandList() const { return band_; }
  QComboBox* channelList() const { return channel_; }
  QLineEdit* gainEdit() const { return gain_; }
  QLineEdit* artefactEdit() const { return artefact_; }
  QLineEdit* maxEdit() const { return max_; }
  QLineEdit* minEdit() const { return min_; }
  QPushButton* confirmButton() const { return confirm_; }
  QPushButton* dismissButton() const { return dismiss_; }

 private:
  void confirm();

  StudyState& s_;
  ExaminationPlan& plan_;
  QButtonGroup* kinds_ = nullptr;
  QComboBox* band_ = nullptr;
  QComboBox* channel_ = nullptr;
  QLineEdit* gain_ = nullptr;
  QLineEdit* artefact_ = nullptr;
  QLineEdit* max_ = nullptr;
  QLineEdit* min_ = nullptr;
  QPushButton* confirm_ = nullptr;
  QPushButton* dismiss_ = nullptr;
};

}  // namespace velor
