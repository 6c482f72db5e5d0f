// "Исследование": the examination plan — channels, rate, record length
// ("Интервал="), the record file, the live monitor — with plan files
// ("Читать" F3, "Сохранить" F4) and "Старт", which commits the plan to the
// study state and creates the examination's record file (asking before it
// replaces one). The outcome is `dialogResult`: 1 started, 0 cancelled.
// Closing writes "qpln.ini". Protocols and instruments are shown but
// disabled with a hint until their windows exist.
#pragma once

#include <QDialog>
#include <functional>
#include <optional>
#include <string>

#include "acquisition/device.h"
#include "acquisition/exam_plan.h"
#include "core/interaction.h"
#include "core/study_state.h"

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace velor {

class PlanDialog final : public QDialog {
  Q_OBJECT
 public:
  // `device`: the opened device (its rates and channel count), or nullptr
  // for the board settings. `choosePlanFile(save)`: the file window of plans.
  using ChoosePlanFile = std::function<std::optional<std::string>(bool save)>;
  PlanDialog(StudyState& s, ExaminationPlan& plan, Interaction& ui, const DeviceDescription* device,
             ChoosePlanFile choosePlanFile, QWidget* parent = nullptr);

  // The examination file Start created: descriptor (−1 none) and full path.
  int examFd() const { return examFd_; }
  const std::string& examPath() const { return examPath_; }

  QLineEdit* channelsEdit() const { return channels_; }
  QLineEdit* rateEdit() const { return rateEdit_; }
  QComboBox* rateList() const { return rateList_; }
  QComboBox* intervalList() const { return interval_; }
  QComboBox* fileList() const { return file_; }
  QComboBox* compressList() const { return compress_; }
  QComboBox* referenceList() const { return reference_; }
  QLineEdit* shownEdit() const { return shown_; }
  QButtonGroup* monitorGroup() const { return monitor_; }
  QPushButton* startButton() const { return start_; }
  QPushButton* cancelButton() const { return cancel_; }
  QPushButton* readButton() const { return read_; }
  QPushButton* saveButton() const { return save_; }
  QPushButton* protocolButton() const { return protocol_; }
  QPushButton* expressButton() const { return express_; }
  QPushButton* constructorButton() const { return constructor_; }
  QLabel* protocolLabel() const { return protocolLabel_; }

  void startClicked();
  void cancelClicked();
  void readClicked();
  void saveClicked();

 Q_SIGNALS:
  void headerRequested();
  void namesRequested();
  void amplifierRequested();
  // "Экспресс-анализ": the labels follow once it returns.
  void expressRequested();

 protected:
  void done(int r) override;
  void keyPressEvent(QKeyEvent* e) override;

 private:
  bool board() const { return s_.deviceKind <= 0; }
  void fillFromState();
  void rebuildIntervals();
  void rateEdited();
  void refreshLabels();

  StudyState& s_;
  ExaminationPlan& plan_;
  Interaction& ui_;
  const DeviceDescription* device_;
  ChoosePlanFile choose_;
  int examFd_ = -1;
  std::string examPath_;

  QLineEdit* channels_ = nullptr;
  QLineEdit* rateEdit_ = nullptr;
  QComboBox* rateList_ = nullptr;
  QComboBox* interval_ = nullptr;
  QComboBox* file_ = nullptr;
  QComboBox* compress_ = nullptr;
  QComboBox* reference_ = nullptr;
  QLineEdit* shown_ = nullptr;
  QCheckBox* discrete_ = nullptr;
  QCheckBox* interrupts_ = nullptr;
  QButtonGroup* monitor_ = nullptr;
  QPushButton* start_ = nullptr;
  QPushButton* cancel_ = nullptr;
  QPushButton* read_ = nullptr;
  QPushButton* save_ = nullptr;
  QPushButton* header_ = nullptr;
  QPushButton* names_ = nullptr;
  QPushButton* amplifier_ = nullptr;
  QPushButton* protocol_ = nullptr;
  QPushButton* express_ = nullptr;
  QPushButton* constructor_ = nullptr;
  QLabel* protocolLabel_ = nullptr;
  QLabel* expressLabel_ = nullptr;
  QLabel* instrumentsLabel_ = nullptr;
};

}  // namespace velor
