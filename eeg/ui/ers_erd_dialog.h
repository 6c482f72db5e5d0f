// "Фильтрация ERS/ERD": the band (one of three, chosen by a radio group) and
// the reference interval of the event-related desynchronisation variant of
// the evoked-potential averaging. "Установить" keeps the chosen band in whole
// hertz and the interval in seconds; the eight edits and the band index live
// in "q15.ini".
#pragma once

#include <QDialog>
#include <array>

#include "core/study_state.h"

class QLineEdit;
class QPushButton;
class QRadioButton;

namespace velor {

struct ErsErdChoice {
  int bandLow = 8, bandHigh = 10;                 // Hz, whole
  double baselineFrom = 0, baselineTo = 0.5;      // s
  // The interval in samples, as the averaging reads it.
  int baselineStartSamples(int rate) const;
  int baselineEndSamples(int rate) const;
};

class ErsErdDialog final : public QDialog {
  Q_OBJECT
 public:
  explicit ErsErdDialog(StudyState& s, QWidget* parent = nullptr);

  // Edits 0..5 the three bands ("от=", "до=" each), 6..7 the interval.
  QLineEdit* edit(int k) const { return edits_.at(static_cast<std::size_t>(k)); }
  QRadioButton* bandButton(int k) const { return bands_.at(static_cast<std::size_t>(k)); }
  QPushButton* setButton() const { return set_; }
  // What "Установить" chose; valid once the dialog was accepted.
  const ErsErdChoice& choice() const { return choice_; }

 protected:
  void done(int r) override;

 private:
  void readFile();
  void writeFile() const;
  void confirm();

  StudyState& s_;
  std::array<QLineEdit*, 8> edits_{};
  std::array<QRadioButton*, 3> bands_{};
  QPushButton* set_ = nullptr;
  ErsErdChoice choice_;
};

inline constexpr const char* kErsErdSettingsFile = "q15.ini";

}  // namespace velor
