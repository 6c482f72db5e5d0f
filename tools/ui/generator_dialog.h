// "Генератор": replaces the current channel by a test signal. Every
// generating command closes it with dialogResult 1 (the caller redraws);
// "<Esc>=Отменить" closes it with 0.
#pragma once

#include <QDialog>
#include <array>
#include <cstdint>
#include <functional>
#include <optional>

#include "core/formula.h"
#include "core/interaction.h"
#include "core/study_state.h"
#include "tools/signal_generator.h"

class QComboBox;
class QLineEdit;
class QPushButton;

namespace velor {

class GeneratorDialog final : public QDialog {
  Q_OBJECT
 public:
  GeneratorDialog(StudyState& s, Interaction& ui, QWidget* parent = nullptr);

  // The formula window in use 1; nothing when it returns 0.
  std::function<std::optional<CompiledFormula>()> chooseFormula;
  // Seed of the noises (tests fix it; the window takes the clock otherwise).
  std::uint64_t seed;

  QComboBox* amplitudeBox() const { return amplitude_; }
  QLineEdit* frequencyEdit() const { return frequency_; }
  QPushButton* waveButton(Waveform w) const { return buttons_[static_cast<std::size_t>(w)]; }

  // One command: true when the channel was generated (the dialog closed).
  bool generate(Waveform w);

 protected:
  void showEvent(QShowEvent* e) override;

 private:
  StudyState& s_;
  Interaction& ui_;
  QComboBox* amplitude_ = nullptr;
  QLineEdit* frequency_ = nullptr;
  std::array<QPushButton*, 8> buttons_{};
};

}  // namespace velor
