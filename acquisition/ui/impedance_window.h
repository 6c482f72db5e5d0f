// "Отведения": the impedance check. A head outline with one labelled button
// per EEG channel at its electrode position, and each electrode's impedance
// in kilo-ohms ("..." where it gives none) written beside it, refreshed every
// 1000 ms by a timer of the interface thread. A failing reading is shown once
// and the refreshing stops; closing the window calls `onClose` (the device's
// stop of the check).
#pragma once

#include <QWidget>
#include <functional>
#include <vector>

#include "acquisition/device.h"
#include "core/interaction.h"
#include "core/study_state.h"

class QLabel;
class QPushButton;
class QTimer;

namespace velor {

class ImpedanceWindow final : public QWidget {
  Q_OBJECT
 public:
  using Reader = std::function<DeviceResult(std::vector<std::int32_t>&)>;
  ImpedanceWindow(const StudyState& s, Interaction& ui, int deviceChannels, Reader read, std::function<void()> onClose,
                  QWidget* parent = nullptr);

  // One reading, as each timer tick does.
  void refresh();
  QTimer* timer() const { return timer_; }
  // The value texts as shown, by electrode (1-based); hidden ones are absent.
  QLabel* valueLabel(int electrode) const;
  int refreshCount() const { return refreshes_; }

 protected:
  void paintEvent(QPaintEvent* e) override;
  void resizeEvent(QResizeEvent* e) override;
  void closeEvent(QCloseEvent* e) override;

 private:
  void place();
  QRect picture() const;

  const StudyState& s_;
  Interaction& ui_;
  int deviceChannels_;
  Reader read_;
  std::function<void()> onClose_;
  std::vector<std::int32_t> ohms_;
  std::vector<QPushButton*> buttons_;
  std::vector<QLabel*> values_;
  QTimer* timer_ = nullptr;
  int refreshes_ = 0;
  bool closed_ = false;
  bool failed_ = false;
};

}  // namespace velor
