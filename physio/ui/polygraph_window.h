// "Полиграфия": the polygraph window of the current channel. It names the
// digital inputs at the cursor ("Dio.ini"), finds and counts the events of a
// search formula and shows their amplitude and interval dynamics and
// histograms, and marks extremes by a reference half-wave. Its settings live
// in "qpoli.ini". Graphs, text windows and the formula window live
// elsewhere: what the window shows goes out through Actions.
#pragma once

#include <QDialog>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "core/formula.h"
#include "core/interaction.h"
#include "core/study_state.h"
#include "physio/polygraph_events.h"
#include "physio/polygraph_tools.h"

class QCheckBox;
class QLineEdit;
class QPushButton;

namespace velor {

// A dynamics graph: points (event number, value), its caption, summary and
// axis title.
struct PolygraphDynamics {
  bool amplitudes = true;
  std::vector<std::pair<double, double>> points;
  double mean = 0, sd = 0;
  std::string caption, summary, axis;
};

class PolygraphWindow final : public QDialog {
  Q_OBJECT
 public:
  struct Actions {
    // the formula window as "Условие поиска"; nothing when cancelled
    std::function<std::optional<CompiledFormula>()> chooseCondition;
    std::function<void(const PolygraphDynamics&)> dynamics;
    std::function<void(const EventHistogram&, HistogramKind)> histogram;
    std::function<void()> redraw;  // the record, cursor or view changed
  };

  // The window's outcome for "&1=Дискретные сигналы".
  static constexpr int kMessageResult = 10;

  enum class Button {
    DigitalInputs, FindEvent, CountEvents, IntervalDynamics, AmplitudeDynamics, IntervalHistogram,
    AmplitudeHistogram, Maxima, Minima, Extremes, Cancel
  };

  PolygraphWindow(StudyState& s, Interaction& ui, Actions actions, QWidget* parent = nullptr);

  QPushButton* button(Button b) const { return buttons_.at(static_cast<std::size_t>(b)); }
  QLineEdit* toleranceEdit() const { return tolerance_; }
  QLineEdit* deadTimeEdit() const { return deadTime_; }
  QLineEdit* minEdit() const { return min_; }
  QLineEdit* maxEdit() const { return max_; }
  QLineEdit* binsEdit() const { return bins_; }
  QCheckBox* extractionBox() const { return extraction_; }
  QCheckBox* allRecordsBox() const { return allRecords_; }
  QCheckBox* hertzBox() const { return hertz_; }
  // The text "&1=Дискретные сигналы" left (with dialogResult = 10).
  const std::string& resultMessage() const { return message_; }
  // The settings as the form holds them, with the stored reference.
  PolygraphSettings settings() const;

 protected:
  void showEvent(QShowEvent* e) override;
  void done(int r) override;

 private:
  void readSettings();
  void saveSettings();
  int currentChannel() const;
  void digitalInputs();
  // mode 0 find, 1 count, 2 amplitude dynamics, 3 interval dynamics,
  // 4 interval histogram, 5 amplitude histogram
  void events(int mode);
  void extremes(ExtremeKind kind);

  StudyState& s_;
  Interaction& ui_;
  Actions actions_;
  std::vector<QPushButton*> buttons_;
  QLineEdit *tolerance_ = nullptr, *deadTime_ = nullptr, *min_ = nullptr, *max_ = nullptr, *bins_ = nullptr;
  QCheckBox *extraction_ = nullptr, *allRecords_ = nullptr, *hertz_ = nullptr;
  int referenceDuration_ = 0, referenceAmplitude_ = 0;
  std::string message_;
};

}  // namespace velor
