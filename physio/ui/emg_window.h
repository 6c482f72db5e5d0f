// "Миография": the EMG window of the current channel. Stimulation EMG
// measures the M-responses to stimulus n (a bit of the mark channel) into
// the notebook; passive EMG gives the interval spectra in the monitor's
// transform view, the epoch measure ("Аср" or "Amax"), the band amplitudes
// of the epoch at the cursor and the swing histograms. Every command closes
// the window; its three choices live in "qemg.ini". What it shows goes out
// through Actions (the notebook, the graphs and the monitor live elsewhere).
#pragma once

#include <QDialog>
#include <functional>
#include <map>
#include <vector>

#include "core/interaction.h"
#include "core/study_state.h"
#include "physio/emg.h"
#include "physio/emg_passive.h"

class QComboBox;
class QPushButton;

namespace velor {

class SpectralEngine;

class EmgWindow final : public QDialog {
  Q_OBJECT
 public:
  struct Actions {
    std::function<void(const std::vector<MResponse>&)> mResponses;  // into the notebook, then show it
    std::function<void(int valuesPerChannel)> showSpectra;          // enter the transform view
    std::function<void()> backToSignals;                            // "&0=Записи"
    std::function<void(const EmgEpochAnalysis&)> epochs;
    std::function<void(const EmgBandAmplitudes&)> bands;
    std::function<void(const EmgSwingHistograms&)> swings;
    std::function<void()> redraw;
  };

  enum class Button { MResponses, Spectrum, Epochs, Bands, Histograms, Cancel };

  EmgWindow(StudyState& s, SpectralEngine& engine, Interaction& ui, Actions actions, QWidget* parent = nullptr);

  QPushButton* button(Button b) const { return buttons_.at(b); }
  QComboBox* stimulusList() const { return stimulus_; }
  QComboBox* measureList() const { return measure_; }
  QComboBox* epochList() const { return epoch_; }
  EmgSettings settings() const;

 protected:
  void showEvent(QShowEvent* e) override;
  void done(int r) override;

 private:
  void readSettings();
  void fillEpochs();
  void epochChosen();
  int currentChannel() const;
  int epochSamples() const;
  void leaveSpectra();
  void runMResponses();
  void runSpectrum();
  void runEpochs();
  void runBands();
  void runHistograms();

  StudyState& s_;
  SpectralEngine& engine_;
  Interaction& ui_;
  Actions actions_;
  std::map<Button, QPushButton*> buttons_;
  QComboBox *stimulus_ = nullptr, *measure_ = nullptr, *epoch_ = nullptr;
};

}  // namespace velor
