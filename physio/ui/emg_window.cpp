#include "physio/ui/emg_window.h"

#include <QApplication>
#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>
#include <algorithm>

#include "core/study_modes.h"
#include "eeg/spectral.h"
#include "physio/emg_texts.h"

namespace velor {

namespace {

QString q(const char* t) { return QString::fromUtf8(t); }

}  // namespace

EmgWindow::EmgWindow(StudyState& s, SpectralEngine& engine, Interaction& ui, Actions actions, QWidget* parent)
    : QDialog(parent), s_(s), engine_(engine), ui_(ui), actions_(std::move(actions)) {
  setWindowTitle(q(kEmgCaption));
  auto* top = new QVBoxLayout(this);
  auto makeButton = [this](Button b, const char* caption, const char* hint) {
    auto* p = new QPushButton(q(caption), this);
    p->setToolTip(q(hint));
    p->setAutoDefault(false);
    buttons_[b] = p;
    return p;
  };

  auto* stim = new QGroupBox(q(kEmgStimulationGroup), this);
  auto* stimForm = new QFormLayout(stim);
  stimulus_ = new QComboBox(stim);
  for (int n = 1; n <= kEmgStimulusChoices; ++n) stimulus_->addItem(QString::number(n));
  stimulus_->setToolTip(q(kEmgStimulusHint));
  stimForm->addRow(q(kEmgStimulusLabel), stimulus_);
  stimForm->addRow(makeButton(Button::MResponses, kEmgMResponsesButton, kEmgMResponsesHint));
  top->addWidget(stim);

  auto* passive = new QGroupBox(q(kEmgPassiveGroup), this);
  auto* pForm = new QFormLayout(passive);
  measure_ = new QComboBox(passive);
  measure_->addItem(q(kEmgMeasureMean));
  measure_->addItem(q(kEmgMeasureMax));
  measure_->setToolTip(q(kEmgMeasureHint));
  epoch_ = new QComboBox(passive);
  epoch_->setToolTip(q(kEmgEpochHint));
  pForm->addRow(q(kEmgMeasureLabel), measure_);
  pForm->addRow(q(kEmgEpochLabel), epoch_);
  const bool spectra = s_.viewMode == ViewMode::Transform;
  pForm->addRow(makeButton(Button::Spectrum, spectra ? kEmgRecordsButton : kEmgSpectrumButton,
                           spectra ? kEmgRecordsHint : kEmgSpectrumHint));
  pForm->addRow(makeButton(Button::Epochs, kEmgEpochsButton, kEmgEpochsHint));
  pForm->addRow(makeButton(Button::Bands, kEmgBandsButton, kEmgBandsHint));
  pForm->addRow(makeButton(Button::Histograms, kEmgHistogramsButton, kEmgBandsHint));
  top->addWidget(passive);
  top->addWidget(makeButton(Button::Cancel, kEmgCancelButton, kEmgCancelHint));

  connect(buttons_[Button::MResponses], &QPushButton::clicked, this, [this] { runMResponses(); });
  connect(buttons_[Button::Spectrum], &QPushButton::clicked, this, [this] { runSpectrum(); });
  connect(buttons_[Button::Epochs], &QPushButton::clicked, this, [this] { runEpochs(); });
  connect(buttons_[Button::Bands], &QPushButton::clicked, this, [this] { runBands(); });
  connect(buttons_[Button::Histograms], &QPushButton::clicked, this, [this] { runHistograms(); });
  connect(buttons_[Button::Cancel], &QPushButton::clicked, this, [this] { reject(); });
  connect(measure_, &QComboBox::currentIndexChanged, this, [this] { fillEpochs(); });
  connect(epoch_, &QComboBox::currentIndexChanged, this, [this] { epochChosen(); });
  readSettings();
}

void EmgWindow::showEvent(QShowEvent* e) {
  readSettings();
  QDialog::showEvent(e);
}

void EmgWindow::done(int r) {
  writeEmgSettings(s_.programDir, settings());
  QDialog::done(r);
}

EmgSettings EmgWindow::settings() const {
  EmgSettings st;
  st.stimulus = std::max(0, stimulus_->currentIndex());
  st.measure = std::max(0, measure_->currentIndex());
  st.epoch = std::max(0, epoch_->currentIndex());
  return st;
}

void EmgWindow::readSettings() {
  bool unreadable = false;
  const EmgSettings st = readEmgSettings(s_.programDir, &unreadable);
  if (unreadable) QApplication::beep();
  const QSignalBlocker b1(measure_), b2(epoch_);
  stimulus_->setCurrentIndex(st.stimulus);
  measure_->setCurrentIndex(st.measure);
  fillEpochs();
  epoch_->setCurrentIndex(st.epoch);
}

// The epoch items of the chosen measure; the position in the list stays.
void EmgWindow::fillEpochs() {
  const int at = std::max(0, epoch_->currentIndex());
  const auto items = emgEpochChoicesMs(settings().measureKind(), s_.sampleRate);
  const QSignalBlocker block(epoch_);
  epoch_->clear();
  for (int ms : items) epoch_->addItem(QString::number(ms));
  epoch_->setCurrentIndex(std::min(at, kEmgEpochChoices - 1));
}

void EmgWindow::epochChosen() {
  const int e = epochSamples();
  if (e > 0) s_.epochLength = s_.epochStep = e;
}

int EmgWindow::epochSamples() const {
  const auto items = emgEpochChoicesMs(settings().measureKind(), s_.sampleRate);
  return emgEpochSamples(items[static_cast<std::size_t>(std::clamp(epoch_->currentIndex(), 0, kEmgEpochChoices - 1))],
                         s_.sampleRate);
}

int EmgWindow::currentChannel() const {
  return std::clamp(s_.firstShownChannel + s_.currentChannelRow, 0, std::max(0, s_.channelCount - 1));
}

void EmgWindow::leaveSpectra() {
  if (s_.viewMode == ViewMode::Transform && actions_.backToSignals) actions_.backToSignals();
}

void EmgWindow::runMResponses() {
  hide();
  leaveSpectra();
  std::vector<MResponse> rows;
  std::string message;
  if (!measureMResponses(s_, currentChannel(), std::max(0, stimulus_->currentIndex()), rows, message)) {
    ui_.message(message);
  } else if (actions_.mResponses) {
    actions_.mResponses(rows);
  }
  if (actions_.redraw) actions_.redraw();
  done(QDialog::Accepted);
}

void EmgWindow::runSpectrum() {
  hide();
  if (s_.viewMode == ViewMode::Transform) {
    leaveSpectra();
  } else {
    std::string message;
    const int values = emgIntervalSpectra(s_, engine_, message);
    if (values < 0) ui_.message(message);
    else if (actions_.showSpectra) actions_.showSpectra(values);
  }
  if (actions_.redraw) actions_.redraw();
  done(QDialog::Accepted);
}

void EmgWindow::runEpochs() {
  hide();
  leaveSpectra();
  const int e = epochSamples();
  s_.epochLength = s_.epochStep = e;
  EmgEpochAnalysis a;
  std::string message;
  if (!emgEpochAnalysis(s_, engine_, currentChannel(), settings().measureKind(), e, a, message)) {
    ui_.message(message);
  } else {
    if (a.skippedBands > 0) ui_.message(kEmgBandsSkipped + std::to_string(a.skippedBands));
    if (actions_.epochs) actions_.epochs(a);
  }
  done(QDialog::Accepted);
}

void EmgWindow::runBands() {
  hide();
  leaveSpectra();
  const int e = epochSamples();
  s_.epochLength = s_.epochStep = e;
  const int p = settings().measureKind() == EmgMeasure::MaxAmplitude ? e : kEmgMeanBandEpoch;
  EmgBandAmplitudes b;
  std::string message;
  if (!emgBandAmplitudes(s_, engine_, currentChannel(), s_.cursorPos, p, b, message)) {
    ui_.message(message);
  } else {
    s_.currentEpoch = b.epoch;
    if (b.skippedBands > 0) ui_.message(kEmgBandsSkipped + std::to_string(b.skippedBands));
    if (actions_.bands) actions_.bands(b);
  }
  done(QDialog::Accepted);
}

void EmgWindow::runHistograms() {
  hide();
  leaveSpectra();
  EmgSwingHistograms h;
  std::string message;
  if (!emgSwingHistograms(s_, currentChannel(), h, message)) ui_.message(message);
  else if (actions_.swings) actions_.swings(h);
  done(QDialog::Accepted);
}

}  // namespace velor
