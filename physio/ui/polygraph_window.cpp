#include "physio/ui/polygraph_window.h"

#include <QApplication>
#include <QCheckBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "core/numtext.h"
#include "physio/polygraph_texts.h"

namespace velor {

namespace {

QString q(const char* t) { return QString::fromUtf8(t); }

int boxInteger(const QLineEdit* e) {
  const auto v = parseNumber(trimSpaces(e->text().toStdString()));
  return v && std::isfinite(*v) && std::fabs(*v) < 1e9 ? static_cast<int>(std::trunc(*v)) : 0;
}

}  // namespace

PolygraphWindow::PolygraphWindow(StudyState& s, Interaction& ui, Actions actions, QWidget* parent)
    : QDialog(parent), s_(s), ui_(ui), actions_(std::move(actions)) {
  setWindowTitle(q(kPoliCaption));
  auto* top = new QVBoxLayout(this);
  auto makeButton = [this](const char* caption, const char* hint) {
    auto* p = new QPushButton(q(caption), this);
    p->setToolTip(q(hint));
    p->setAutoDefault(false);
    buttons_.push_back(p);
    return p;
  };
  auto edit = [this](const char* hint) {
    auto* e = new QLineEdit(this);
    e->setToolTip(q(hint));
    return e;
  };
  auto check = [this](const char* caption, const char* hint) {
    auto* c = new QCheckBox(q(caption), this);
    c->setToolTip(q(hint));
    return c;
  };

  top->addWidget(makeButton(kPoliButtons[0][0], kPoliButtons[0][1]));
  auto* ev = new QGroupBox(q(kPoliEventsGroup), this);
  auto* evGrid = new QGridLayout(ev);
  for (int b = 1; b <= 6; ++b) evGrid->addWidget(makeButton(kPoliButtons[b][0], kPoliButtons[b][1]), (b - 1) / 2, (b - 1) % 2);
  auto* evForm = new QFormLayout;
  allRecords_ = check(kPoliAllRecordsLabel, kPoliAllRecordsHint);
  hertz_ = check(kPoliHzLabel, kPoliHzHint);
  min_ = edit(kPoliMinHint);
  max_ = edit(kPoliMaxHint);
  bins_ = edit(kPoliBinsHint);
  evForm->addRow(allRecords_);
  evForm->addRow(hertz_);
  evForm->addRow(q(kPoliMinLabel), min_);
  evForm->addRow(q(kPoliMaxLabel), max_);
  evForm->addRow(q(kPoliBinsLabel), bins_);
  evGrid->addLayout(evForm, 3, 0, 1, 2);
  top->addWidget(ev);

  auto* mk = new QGroupBox(q(kPoliMarkGroup), this);
  auto* mkGrid = new QGridLayout(mk);
  for (int b = 7; b <= 9; ++b) mkGrid->addWidget(makeButton(kPoliButtons[b][0], kPoliButtons[b][1]), 0, b - 7);
  auto* mkForm = new QFormLayout;
  tolerance_ = edit(kPoliToleranceHint);
  deadTime_ = edit(kPoliDeadTimeHint);
  extraction_ = check(kPoliExtractLabel, kPoliExtractHint);
  mkForm->addRow(q(kPoliToleranceLabel), tolerance_);
  mkForm->addRow(q(kPoliDeadTimeLabel), deadTime_);
  mkForm->addRow(extraction_);
  mkGrid->addLayout(mkForm, 1, 0, 1, 3);
  top->addWidget(mk);
  top->addWidget(makeButton(kPoliCancelButton, kPoliCancelHint));

  connect(button(Button::DigitalInputs), &QPushButton::clicked, this, [this] { digitalInputs(); });
  const std::pair<Button, int> modes[] = {{Button::FindEvent, 0},         {Button::CountEvents, 1},
                                          {Button::AmplitudeDynamics, 2}, {Button::IntervalDynamics, 3},
                                          {Button::IntervalHistogram, 4}, {Button::AmplitudeHistogram, 5}};
  for (const auto& [b, mode] : modes)
    connect(button(b), &QPushButton::clicked, this, [this, mode = mode] { events(mode); });
  connect(button(Button::Maxima), &QPushButton::clicked, this, [this] { extremes(ExtremeKind::Maxima); });
  connect(button(Button::Minima), &QPushButton::clicked, this, [this] { extremes(ExtremeKind::Minima); });
  connect(button(Button::Extremes), &QPushButton::clicked, this, [this] { extremes(ExtremeKind::Both); });
  connect(button(Button::Cancel), &QPushButton::clicked, this, [this] { reject(); });
  readSettings();
}

void PolygraphWindow::showEvent(QShowEvent* e) {
  readSettings();
  QDialog::showEvent(e);
}

void PolygraphWindow::done(int r) {
  saveSettings();
  QDialog::done(r);
}

void PolygraphWindow::readSettings() {
  bool unreadable = false;
  const PolygraphSettings st = readPolygraphSettings(s_.programDir, &unreadable);
  if (unreadable) QApplication::beep();
  tolerance_->setText(QString::fromStdString(st.tolerancePercent));
  deadTime_->setText(QString::fromStdString(st.deadTimeSeconds));
  referenceDuration_ = st.referenceDuration;
  referenceAmplitude_ = st.referenceAmplitude;
  extraction_->setChecked(st.extraction);
  allRecords_->setChecked(st.allRecords);
  hertz_->setChecked(st.inHertz);
  min_->setText(QString::fromStdString(st.minMs));
  max_->setText(QString::fromStdString(st.maxMs));
  bins_->setText(QString::fromStdString(st.bins));
}

PolygraphSettings PolygraphWindow::settings() const {
  PolygraphSettings st;
  st.tolerancePercent = tolerance_->text().toStdString();
  st.deadTimeSeconds = deadTime_->text().toStdString();
  st.referenceDuration = referenceDuration_;
  st.referenceAmplitude = referenceAmplitude_;
  st.extraction = extraction_->isChecked();
  st.allRecords = allRecords_->isChecked();
  st.inHertz = hertz_->isChecked();
  st.minMs = min_->text().toStdString();
  st.maxMs = max_->text().toStdString();
  st.bins = bins_->text().toStdString();
  return st;
}

void PolygraphWindow::saveSettings() { writePolygraphSettings(s_.programDir, settings()); }

int PolygraphWindow::currentChannel() const {
  return std::clamp(s_.firstShownChannel + s_.currentChannelRow, 0, std::max(0, s_.channelCount - 1));
}

void PolygraphWindow::digitalInputs() {
  const auto text = digitalInputsAtCursor(s_);
  if (!text) return;  // no mark channel or no "Dio.ini": the window stays
  message_ = *text;
  s_.dialogResult = kMessageResult;
  done(QDialog::Accepted);
}

void PolygraphWindow::events(int mode) {
  saveSettings();
  s_.dialogResult = 0;
  hide();
  const std::optional<CompiledFormula> f = actions_.chooseCondition ? actions_.chooseCondition() : std::nullopt;
  if (!f) {
    done(QDialog::Rejected);
    return;
  }
  const int ch = currentChannel();
  int c0 = s_.cursorPos, carried = -1;
  if (s_.selectionAnchor >= 0 && s_.selectionAnchor != s_.cursorPos) {
    carried = std::abs(s_.selectionAnchor - s_.cursorPos);
    if (s_.selectionAnchor > s_.cursorPos) carried = std::min(carried, 256);
    else c0 = s_.selectionAnchor;
  }
  const EventRun run = runEventScan(s_, ch, *f, mode == 0, allRecords_->isChecked(), ui_);
  if (run.fault != FormulaFault::None) {
    ui_.message(std::string(kPoliFormulaFault) + formulaFaultText(run.fault));
    done(QDialog::Accepted);
    return;
  }
  if (run.full) ui_.message(kPoliTableFull);
  const double fs = s_.sampleRate > 0 ? s_.sampleRate : 1;
  const double zero = s_.zeroLevel[static_cast<std::size_t>(ch)];
  const double cal = s_.microvoltsPerCode(ch);
  switch (mode) {
    case 0:
      if (run.foundSample >= 0) {
        const int e = run.foundSample;
        s_.cursorPos = e;
        if (carried >= 0) s_.selectionAnchor = std::min(e + carried, std::max(0, s_.recordLength - 1));
        s_.viewStart = std::max(0, e - 10);
      }
      break;
    case 1:
      ui_.message(std::string(kPoliCount) + std::to_string(run.count));
      s_.cursorPos = c0;
      break;
    case 2:
    case 3: {
      PolygraphDynamics d;
      d.amplitudes = mode == 2;
      std::vector<double> values;
      if (d.amplitudes) {
        if (run.count > kEventDynamicsLimit) ui_.message(kPoliTooMany);
        for (int code : run.amplitudeCodes) {
          if (static_cast<int>(values.size()) >= kEventDynamicsLimit) break;
          values.push_back((code - zero) * cal);
        }
      } else {
        // the first event of each record only sets the reference
        for (const std::vector<int>& rec : run.positions)
          for (std::size_t k = 1; k < rec.size() && values.size() < kEventDynamicsLimit; ++k)
            values.push_back((rec[k] - rec[k - 1]) / fs);
      }
      std::string message;
      if (!dynamicsStatistics(values, d.mean, d.sd, message)) {
        ui_.message(message);
        break;
      }
      for (std::size_t k = 0; k < values.size(); ++k) d.points.emplace_back(static_cast<double>(k + 1), values[k]);
      d.caption = d.amplitudes ? kPoliAmplitudeDynamicsCaption : kPoliIntervalDynamicsCaption;
      d.summary = std::string(d.amplitudes ? kPoliAmplitudeMean : kPoliIntervalMean) + formatNumber(d.mean) + kPoliSd +
                  formatNumber(d.sd);
      d.axis = d.amplitudes ? kPoliAmplitudeAxis : kPoliIntervalAxis;
      if (actions_.dynamics) actions_.dynamics(d);
      break;
    }
    case 4:
    case 5: {
      const HistogramKind kind = mode == 5 ? HistogramKind::Amplitudes
                                 : hertz_->isChecked() ? HistogramKind::IntervalsHz
                                                       : HistogramKind::Intervals;
      IntervalLimits limits{boxInteger(min_), boxInteger(max_), boxInteger(bins_)};
      std::vector<int> values;
      if (mode == 5) {
        values = run.amplitudeCodes;
      } else {
        for (const std::vector<int>& rec : run.positions) {
          const std::vector<int> v = eventIntervals(rec, s_.sampleRate, limits);
          values.insert(values.end(), v.begin(), v.end());
        }
      }
      EventHistogram h;
      std::string message;
      if (!eventHistogram(kind, values, s_.sampleRate, zero, cal, limits, h, message)) {
        ui_.message(message);
        break;
      }
      if (actions_.histogram) actions_.histogram(h, kind);
      break;
    }
    default: break;
  }
  if (actions_.redraw) actions_.redraw();
  done(QDialog::Accepted);
}

void PolygraphWindow::extremes(ExtremeKind kind) {
  PolygraphSettings st = settings();
  ExtremeMarking out;
  std::string message;
  if (!markExtremes(s_, currentChannel(), kind, st, out, message)) {
    ui_.message(message);
    return;
  }
  referenceDuration_ = st.referenceDuration;
  referenceAmplitude_ = st.referenceAmplitude;
  saveSettings();
  if (actions_.redraw) actions_.redraw();
}

}  // namespace velor
