// ScoreboardPanel "Табло": the small window of cursor readouts beside the monitor.
// The texts come from scoreboardReadouts (instruments/scoreboard.h); the window only shows
// them, offers the integral measures and passes its notebook button on.
#pragma once

#include <QString>
#include <QWidget>

#include "core/study_state.h"
#include "instruments/scoreboard.h"

class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QToolButton;

namespace velor {

class ScoreboardPanel final : public QWidget {
  Q_OBJECT
 public:
  enum Field { Y, T, DY, DT, Integral, In, Out, FieldCount };

  explicit ScoreboardPanel(StudyState& s, QWidget* parent = nullptr);

  // Recomputes and shows every readout.
  void refreshReadouts();
  // "f=" and "df=" while a spectrum is shown, "t=" and "dt=" otherwise. The
  // signal view always reads times, so it gives "t=" back by itself.
  void setFrequencyLabels(bool frequency);
  // Where the map window's current channel comes from (unset: the monitor's).
  void setMapChannelProvider(MapChannelProvider provider) { mapChannel_ = std::move(provider); }
  // The notebook button works only when the notebook is there; `hint` says why not.
  void setNotebookAvailable(bool available, const QString& hint);

  // What the window shows: a readout and its caption, the integral button.
  QString text(Field f) const;
  QString caption(Field f) const;
  QToolButton* integralButton() const { return integralButton_; }
  QListWidget* integralList() const { return list_; }
  QPushButton* notebookButton() const { return notebook_; }

 Q_SIGNALS:
  // "F5=в блокн": the main window adds the readouts to the notebook.
  void notebookRequested();
  // After a new measure or a notebook entry the monitor's cursor is announced
  // again, so that every reader of it (this window, the map) is current.
  void monitorRefreshRequested();
  // The person closed the window (its visibility is a setting).
  void closedByUser();

 protected:
  void showEvent(QShowEvent* e) override;
  void closeEvent(QCloseEvent* e) override;
  void changeEvent(QEvent* e) override;
  void keyPressEvent(QKeyEvent* e) override;

 private:
  void chooseMeasure(int mode);
  void showLabels();

  StudyState& s_;
  MapChannelProvider mapChannel_;
  bool frequencyLabels_ = false;
  QLabel* captions_[FieldCount] = {};
  QLineEdit* fields_[FieldCount] = {};
  QToolButton* integralButton_ = nullptr;
  QListWidget* list_ = nullptr;
  QPushButton* notebook_ = nullptr;
};

}  // namespace velor
