// "Артефакты": cutting stretches beyond an amplitude level, regression on an
// inductor channel and blink removal (tools/artefacts.h), with "qaf.ini";
// and "Поиск", the step window that confirms each stretch found.
#pragma once

#include <QDialog>

#include "core/interaction.h"
#include "core/study_state.h"
#include "tools/artefacts.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;

namespace velor {

inline constexpr int kArtefactsHelpContext = 24;

class ArtefactsWindow final : public QDialog {
  Q_OBJECT
 public:
  ArtefactsWindow(StudyState& s, QWidget* parent = nullptr);
  // dialogResult: 1 cut the current channel, 2 cut all channels, 3 correction, 4 blinks, 0 cancelled.
  int choice() const { return choice_; }
  ArtefactSettings settings() const;
  QLineEdit* secondsEdit() const { return seconds_; }
  QLineEdit* microvoltsEdit() const { return microvolts_; }
  QCheckBox* allChannelsBox() const { return all_; }
  QComboBox* inductorBox() const { return inductor_; }
  QPushButton* cutButton() const { return cut_; }
  QPushButton* correctionButton() const { return correction_; }
  QPushButton* blinksButton() const { return blinks_; }

 protected:
  void done(int result) override;

 private:
  StudyState& s_;
  QLineEdit* seconds_ = nullptr;
  QLineEdit* microvolts_ = nullptr;
  QCheckBox* all_ = nullptr;
  QComboBox* inductor_ = nullptr;
  QPushButton* cut_ = nullptr;
  QPushButton* correction_ = nullptr;
  QPushButton* blinks_ = nullptr;
  int choice_ = 0;
  bool saved_ = false;
};

// "Поиск": 1 cut this one, 2 skip it, 3 cut this and the rest, 0 stop.
class ArtefactSearchWindow final : public QDialog {
  Q_OBJECT
 public:
  explicit ArtefactSearchWindow(QWidget* parent = nullptr);
  ArtefactAnswer answer() const { return answer_; }
  QPushButton* button(ArtefactAnswer a) const;

 private:
  QPushButton* buttons_[4] = {};
  ArtefactAnswer answer_ = ArtefactAnswer::Stop;
};

// Artefact runs from the engine ask through the "Поиск" window, placed 50
// pixels right of `cursorX` (global); `redraw` shows the monitor first.
class ArtefactSearchConfirm final : public ArtefactConfirm {
 public:
  ArtefactSearchConfirm(QWidget* parent, std::function<int(StudyState&)> redrawAndCursorX)
      : parent_(parent), redraw_(std::move(redrawAndCursorX)) {}
  ArtefactAnswer confirm(StudyState& s, int first, int last) override;

 private:
  QWidget* parent_;
  std::function<int(StudyState&)> redraw_;
};

}  // namespace velor
