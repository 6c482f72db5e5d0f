// "Анализ РГ": the rheography window. The number of pulse leads and the
// age ("qreg.ini", with the resting propagation time), the dynamics of eight
// indices of the current channel, the statistics of one, two or four leads
// against the norms of "reo.nrm", the averaged wave of the current channel
// and the hemodynamics by Kubicek or Tishchenko, all through physio/. What
// it shows goes out through Actions (graph and text windows live
// elsewhere), so tests drive it without them. Every command closes the
// window, except an averaging that found too few waves.
#pragma once

#include <QDialog>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/interaction.h"
#include "core/study_state.h"
#include "physio/rheo.h"

class QComboBox;
class QGroupBox;
class QLineEdit;
class QPushButton;

namespace velor {

class RegWindow final : public QDialog {
  Q_OBJECT
 public:
  struct Actions {
    std::function<void(const RegDynamics&)> dynamics;
    // the lines of "Статистика реограммы", shown once they are complete
    std::function<void(const std::vector<std::string>&)> statistics;
    std::function<void(int channel, const RegAverage&, const std::vector<std::string>& lines)> average;
    std::function<void(const std::vector<std::string>&)> hemodynamics;
    // the patient dialog; nothing when it was cancelled
    std::function<std::optional<RegPatient>()> patient;
  };

  enum class Button { Statistics, Average, Kubicek, Tishchenko, Cancel };

  RegWindow(StudyState& s, Interaction& ui, Actions actions, QWidget* parent = nullptr);

  // k 1..8: the dynamics buttons "&1=Мод.упруг." … "&8=И-замедл"
  QPushButton* dynamicsButton(int k) const { return dynamics_.at(static_cast<std::size_t>(k - 1)); }
  QPushButton* button(Button b) const;
  QComboBox* leadsList() const { return leads_; }
  QLineEdit* ageEdit() const { return age_; }
  // The settings as the controls hold them.
  RegSettings settings() const;

 protected:
  void showEvent(QShowEvent* e) override;
  void done(int r) override;

 private:
  QPushButton* makeButton(const char* caption, const char* hint, QWidget* parent);
  void readSettings();
  int currentChannel() const;
  // The norms for the age: "reo.nrm" when it can be used (then also copied
  // to floatStore rows 2 and 3), else what those rows hold, after a message.
  RegNorms norms(int age);
  void runDynamics(int k);
  void runStatistics();
  void runAverage();
  void runHemodynamics(int method);

  StudyState& s_;
  Interaction& ui_;
  Actions actions_;
  std::vector<QPushButton*> dynamics_;
  std::vector<QPushButton*> buttons_;
  QComboBox* leads_ = nullptr;
  QLineEdit* age_ = nullptr;
  int restingPropagationMs_ = 140;
};

}  // namespace velor
