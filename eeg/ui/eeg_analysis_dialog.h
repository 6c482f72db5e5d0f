// EegAnalysisDialog "Анализ ЭЭГ": the EEG analysis window. The group "Установки" holds
// the spectral settings, the group "Методы" the analyses. Most buttons only
// leave their choice in dialogResult and close, and the EEG command's
// dispatcher carries it out; the window itself runs band filtering, the
// period analysis and the montage operations through eeg/eeg_analysis.h.
// What lies outside the window (other windows, the report, the maps, the
// result windows) comes in as Actions, so tests drive it without them.
#pragma once

#include <QDialog>
#include <functional>
#include <map>
#include <string>

#include "core/record_snapshot.h"
#include "eeg/eeg_analysis.h"
#include "eeg/period_command.h"

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace velor {

class EegAnalysisDialog final : public QDialog {
  Q_OBJECT
 public:
  // Hooks left empty keep their buttons disabled with a hint that they are
  // not available yet.
  struct Actions {
    std::function<void()> bandTable;          // "&A=Диапазоны": the band window, modally
    std::function<void()> leadEditor;         // "&9=Отведения": the lead editor, modally
    std::function<void()> clinicalReport;     // "&4=Диагноз"
    std::function<void()> amplitudeMaps;      // "&0=АмплКарты" after the window closed
    std::function<void(const PeriodCommandResult&)> periodResults;  // the graph or text window
    std::function<void()> redraw;             // the record changed: redraw the monitor
    bool bandDiagrams = false;                // the dispatcher can run "&2=Диа" and "&3=Эпохи"
    // The record's own undo: band filtering and the montages that rewrite
    // the samples hand it the copy taken before them.
    RecordUndo* undo = nullptr;
  };

  enum class Button {
    Maps, Spectrum, Diagrams, EpochMaps, Report, Period, Filter, Synchrony, Localise,
    Bands, Leads, Bipolar, CommonRef, Normalise, Cancel,
  };

  EegAnalysisDialog(EegAnalysis& eeg, Actions actions, QWidget* parent = nullptr);

  QPushButton* button(Button b) const { return buttons_.at(b); }
  QComboBox* epochList() const { return epoch_; }
  QLineEdit* shiftEdit() const { return shift_; }
  QLineEdit* averageEdit() const { return average_; }
  QComboBox* measureList() const { return measure_; }
  QComboBox* windowList() const { return window_; }
  QComboBox* bandList() const { return band_; }
  QLabel* countLabel() const { return count_; }
  QGroupBox* settingsGroup() const { return settingsBox_; }
  QGroupBox* methodsGroup() const { return methodsBox_; }
  // The hook of a button was plugged in after construction.
  void refreshAvailability();

 protected:
  void done(int r) override;

 private:
  QPushButton* makeButton(Button b, const char* caption, const char* hint);
  void fillControls();
  void fillBands();
  void showCount();
  void finish();  // closes; the settings are applied when nothing applied them yet
  void applyOnce();

  void onMaps();
  void onChoice(int result);
  void onReport();
  void onPeriod();
  void onFilter();
  void onBands();
  void onLeads();
  void onBipolar();
  void onCommonRef();
  void onNormalise();
  // Runs a command that may rewrite the record, the undo copy taken first.
  bool rewrite(const std::function<bool()>& work);

  EegAnalysis& eeg_;
  StudyState& s_;
  Actions actions_;
  std::map<Button, QPushButton*> buttons_;
  std::map<Button, std::string> hints_;
  QComboBox* epoch_ = nullptr;
  QLineEdit* shift_ = nullptr;
  QLineEdit* average_ = nullptr;
  QComboBox* measure_ = nullptr;
  QComboBox* window_ = nullptr;
  QComboBox* band_ = nullptr;
  QLabel* count_ = nullptr;
  QGroupBox* settingsBox_ = nullptr;
  QGroupBox* methodsBox_ = nullptr;
  bool applied_ = false;
  bool filling_ = false;
};

}  // namespace velor
