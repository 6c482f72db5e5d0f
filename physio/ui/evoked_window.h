// "Анализ ВП": the settings of the evoked-potential averaging. The group
// "Усреднение" holds the reference point, the epoch, the stored filter
// limits, the record condition (edited in "Условие усреднения"), gain,
// step-by-step, the artefact level and duration, smoothing, zero correction
// and the potential type (ERP or ERD/S); the grid "Параметры пиков" names the
// peaks that "Выделить" measures in the averaged record. The settings live in
// "q16.ini" (read when the window is shown, written when it closes) and in
// ".cav" archives. The window only gathers settings: the averaging itself is
// physio/evoked, run by the caller once the window closes with
// `dialogResult` 1 or 2.
#pragma once

#include <QDialog>
#include <functional>
#include <optional>
#include <string>

#include "core/interaction.h"
#include "core/study_state.h"
#include "physio/evoked.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class QTableWidget;

namespace velor {

class EvokedWindow final : public QDialog {
  Q_OBJECT
 public:
  struct Actions {
    // The file window for a ".cav" archive; nothing when cancelled.
    std::function<std::optional<std::string>(bool save)> chooseArchive;
    // The formula editor "Условие усреднения" on the condition; nothing when cancelled.
    std::function<std::optional<std::string>(const std::string& condition)> editCondition;
    // "Фильтрация ERS/ERD": fills the band and the baseline; false when cancelled.
    std::function<bool(EvokedSettings&)> erdSettings;
    // The peak table of "Выделить", for the text window.
    std::function<void(const PeakTable&)> peaks;
  };
  // `dialogResult` after "Выделить".
  static constexpr int kPeaksMeasured = 3;

  EvokedWindow(StudyState& s, Interaction& ui, Actions actions, QWidget* parent = nullptr);

  // Mode 0 averages over the records of the file, mode 1 along the current record.
  void ini(EvokedMode mode) { mode_ = mode; }
  EvokedMode mode() const { return mode_; }

  // The settings as the controls hold them.
  EvokedSettings settings() const;
  void showSettings(const EvokedSettings& p);

  QComboBox* referenceList() const { return reference_; }
  // 0 "нач=", 1 "кон=", 2 "НЧ", 3 "ВЧ", 4 the condition, 5 "ампл", 6 "длит"
  QLineEdit* edit(int k) const { return edits_[k]; }
  QComboBox* gainList() const { return gain_; }
  QComboBox* smoothingList() const { return smoothing_; }
  QComboBox* typeList() const { return type_; }
  QCheckBox* stepBox() const { return steps_; }
  QCheckBox* zeroBox() const { return zero_; }
  QTableWidget* peakGrid() const { return grid_; }
  QPushButton* runButton() const { return run_; }
  QPushButton* cancelButton() const { return cancel_; }
  QPushButton* peaksButton() const { return peaks_; }
  QPushButton* editorButton() const { return editor_; }
  QPushButton* readArchiveButton() const { return readArchive_; }
  QPushButton* writeArchiveButton() const { return writeArchive_; }

  void run();
  void measure();
  void readArchive();
  void writeArchive();

 protected:
  void showEvent(QShowEvent* e) override;
  void done(int r) override;

 private:
  StudyState& s_;
  Interaction& ui_;
  Actions actions_;
  EvokedMode mode_ = EvokedMode::Records;
  std::string header_;            // line 1 of the settings
  EvokedSettings erd_;            // the last ERS/ERD values
  QComboBox* reference_ = nullptr;
  QLineEdit* edits_[7] = {};
  QComboBox* gain_ = nullptr;
  QComboBox* smoothing_ = nullptr;
  QComboBox* type_ = nullptr;
  QCheckBox* steps_ = nullptr;
  QCheckBox* zero_ = nullptr;
  QTableWidget* grid_ = nullptr;
  QPushButton* run_ = nullptr;
  QPushButton* cancel_ = nullptr;
  QPushButton* peaks_ = nullptr;
  QPushButton* editor_ = nullptr;
  QPushButton* readArchive_ = nullptr;
  QPushButton* writeArchive_ = nullptr;
};

}  // namespace velor
