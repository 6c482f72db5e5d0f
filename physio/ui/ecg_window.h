// "Анализ ЭКГ": the ECG analysis window of the current channel. The group
// "Алгоритм выделения RR-зубцов" holds the detector settings ("qecg.ini"),
// shown and hidden by "Настройка"; the buttons run the dynamics, the RR
// statistics, the scatter plot, the RR spectrum, the diagnosis, the 12-lead
// conversion and the filter trial through physio/. What it shows goes out
// through Actions (graph and text windows live elsewhere), so tests drive it
// without them. Every command saves the settings and closes the window.
#pragma once

#include <QDialog>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "core/interaction.h"
#include "core/study_state.h"
#include "physio/ecg_analysis.h"
#include "physio/ecg_diagnosis.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLineEdit;
class QPushButton;

namespace velor {

class EcgWindow final : public QDialog {
  Q_OBJECT
 public:
  struct Actions {
    std::function<void(const BeatDynamics&)> dynamics;
    std::function<void(const RrStatistics&)> statistics;
    std::function<void(const PointList&, bool standardScale)> scatter;
    std::function<void(const RrSpectrum&)> spectrum;
    std::function<void(const EcgDiagnosis&)> diagnosis;
    // the band dialog "Пики ЭКГ-спектра"; false when it was cancelled
    std::function<bool()> bands;
    std::function<void()> redraw;  // the record changed
    std::function<void()> clearText;  // empties the text window
    std::function<void(const std::vector<std::string>&)> intervalList;  // lines without a header
  };

  // IntervalList is the hidden button: the RR intervals (ms) of the current
  // record and the next two.
  enum class Button {
    Diagnosis = 10,
    Statistics,
    Scatter,
    Spectrum,
    StabilityLine,
    Convert,
    FilterTrial,
    Settings,
    IntervalList
  };

  EcgWindow(StudyState& s, Interaction& ui, Actions actions, QWidget* parent = nullptr);

  // b 0..9: the dynamics buttons "&1=RR" … "&A=S-зубец"
  QPushButton* dynamicsButton(int b) const { return dynamics_.at(static_cast<std::size_t>(b)); }
  QPushButton* button(Button b) const { return buttons_.at(b); }
  QGroupBox* settingsGroup() const { return settingsBox_; }
  QLineEdit* halfWidthEdit() const { return edits_[0]; }
  QLineEdit* heartRateEdit() const { return edits_[1]; }
  QLineEdit* rVariabilityEdit() const { return edits_[2]; }
  QLineEdit* rsVariabilityEdit() const { return edits_[3]; }
  QComboBox* smoothingList() const { return smoothing_; }
  QCheckBox* allChannelsBox() const { return allChannels_; }
  // The settings as the controls hold them, with the detector's replacements.
  EcgSettings settings() const;

 protected:
  void showEvent(QShowEvent* e) override;
  void done(int r) override;

 private:
  QPushButton* makeButton(const char* caption, const char* hint);
  void readSettings();
  void saveSettings();
  int currentChannel() const;
  // The channels a command runs on: every channel when "Все каналы" is
  // checked and the group layout lets the command honour it, else the
  // current one. `statisticsKind`: the statistics, scatter plot, spectrum
  // (group layout 2 only); otherwise the dynamics (any group layout).
  std::vector<int> commandChannels(bool statisticsKind) const;
  // Runs `one` with each channel made the current one (first shown channel
  // 0, the channel's row), putting both back afterwards; true when any ran.
  bool forChannels(bool statisticsKind, const std::function<bool()>& one);
  // The intervals of the current channel, or the message and false.
  bool intervals(std::vector<int>& rr, int& rate);
  void runDynamics(int block);
  void runStatistics();
  void runStabilityLine();
  void runIntervalList();
  // The statistics of the current channel; false after the message.
  bool statisticsOfCurrent(RrStatistics& st);
  void runScatter();
  void runSpectrum();
  void runDiagnosis();
  void runConvert();
  void runFilterTrial();

  StudyState& s_;
  Interaction& ui_;
  Actions actions_;
  std::vector<QPushButton*> dynamics_;
  std::map<Button, QPushButton*> buttons_;
  QGroupBox* settingsBox_ = nullptr;
  QLineEdit* edits_[4] = {};
  QComboBox* smoothing_ = nullptr;
  QCheckBox* allChannels_ = nullptr;
};

}  // namespace velor
