#include "eeg/ui/eeg_analysis_dialog.h"

#include <QApplication>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/ui/dialog_look.h"
#include "eeg/eeg_analysis_texts.h"
#include "eeg/period_texts.h"
#include "eeg/spectral_texts.h"

namespace velor {

using namespace velor::eeg_text;

namespace {
QString qs(const std::string& s) { return QString::fromStdString(s); }
QString qs(const char* s) { return QString::fromUtf8(s); }
constexpr const char* kNotYetSuffix = " (пока недоступно в этой версии)";
}  // namespace

EegAnalysisDialog::EegAnalysisDialog(EegAnalysis& eeg, Actions actions, QWidget* parent)
    : QDialog(parent), eeg_(eeg), s_(eeg.state()), actions_(std::move(actions)) {
  setWindowTitle(qs(kWindowTitle));
  setObjectName("EegAnalysisDialog");
  setModal(true);

  settingsBox_ = new QGroupBox(qs(kGroupSettings), this);
  auto* grid = new QGridLayout(settingsBox_);
  auto addRow = [grid, this](int row, const char* caption, QWidget* field, const char* hint) {
    auto* label = new QLabel(qs(caption), settingsBox_);
    label->setToolTip(qs(hint));
    field->setToolTip(qs(hint));
    grid->addWidget(label, row, 0);
    grid->addWidget(field, row, 1);
  };
  epoch_ = new QComboBox(settingsBox_);
  epoch_->setObjectName("epochList");
  shift_ = new QLineEdit(qs(kShiftDefault), settingsBox_);
  shift_->setObjectName("shiftEdit");
  average_ = new QLineEdit(qs(kAverageDefault), settingsBox_);
  average_->setObjectName("averageEdit");
  measure_ = new QComboBox(settingsBox_);
  measure_->setObjectName("measureList");
  for (const char* m : kMeasures) measure_->addItem(qs(m));
  window_ = new QComboBox(settingsBox_);
  window_->setObjectName("windowList");
  for (const char* w : spectral_text::kWindowNames) window_->addItem(qs(w));
  band_ = new QComboBox(settingsBox_);
  band_->setObjectName("bandList");
  addRow(0, kEpochLabel, epoch_, kEpochHint);
  addRow(1, kShiftLabel, shift_, kShiftHint);
  addRow(2, kAverageLabel, average_, kAverageHint);
  addRow(3, kMeasureLabel, measure_, kMeasureHint);
  addRow(4, kWindowLabel, window_, kWindowHint);
  addRow(5, kBandLabel, band_, kBandHint);
  count_ = new QLabel(qs(kCountLabel), settingsBox_);
  count_->setObjectName("countLabel");
  count_->setToolTip(qs(kCountHint));
  grid->addWidget(count_, 6, 0, 1, 2);
  grid->addWidget(makeButton(Button::Bands, kBandsButton, kBandsHint), 7, 0, 1, 2);
  grid->addWidget(makeButton(Button::Leads, kLeadsButton, kLeadsHint), 8, 0, 1, 2);
  grid->setRowStretch(9, 1);

  methodsBox_ = new QGroupBox(qs(kGroupMethods), this);
  auto* methods = new QVBoxLayout(methodsBox_);
  const std::pair<Button, std::pair<const char*, const char*>> methodButtons[] = {
      {Button::Maps, {kMapsButton, kMapsHint}},
      {Button::Spectrum, {kSpectrumButton, kSpectrumHint}},
      {Button::Diagrams, {kDiagramsButton, kDiagramsHint}},
      {Button::EpochMaps, {kEpochMapsButton, kEpochMapsHint}},
      {Button::Report, {kReportButton, kReportHint}},
      {Button::Period, {kPeriodButton, kPeriodHint}},
      {Button::Filter, {kFilterButton, kFilterHint}},
      {Button::Synchrony, {kSynchronyButton, kSynchronyHint}},
      {Button::Localise, {kLocaliseButton, kLocaliseHint}},
      {Button::Bipolar, {kBipolarButton, kBipolarHint}},
      {Button::CommonRef, {kCommonRefButton, kCommonRefHint}},
      {Button::Normalise, {kNormaliseButton, kNormaliseHint}},
      {Button::Cancel, {kCancelButton, kCancelHint}},
  };
  for (const auto& [b, texts] : methodButtons) methods->addWidget(makeButton(b, texts.first, texts.second));

  auto* layout = new QHBoxLayout(this);
  layout->addWidget(settingsBox_);
  layout->addWidget(methodsBox_);

  connect(buttons_[Button::Maps], &QPushButton::clicked, this, &EegAnalysisDialog::onMaps);
  connect(buttons_[Button::Spectrum], &QPushButton::clicked, this, [this] { onChoice(kEegSpectra); });
  connect(buttons_[Button::Diagrams], &QPushButton::clicked, this, [this] { onChoice(kEegBandDiagrams); });
  connect(buttons_[Button::EpochMaps], &QPushButton::clicked, this, [this] { onChoice(kEegEpochMaps); });
  connect(buttons_[Button::Report], &QPushButton::clicked, this, &EegAnalysisDialog::onReport);
  connect(buttons_[Button::Period], &QPushButton::clicked, this, &EegAnalysisDialog::onPeriod);
  connect(buttons_[Button::Filter], &QPushButton::clicked, this, &EegAnalysisDialog::onFilter);
  connect(buttons_[Button::Bands], &QPushButton::clicked, this, &EegAnalysisDialog::onBands);
  connect(buttons_[Button::Leads], &QPushButton::clicked, this, &EegAnalysisDialog::onLeads);
  connect(buttons_[Button::Bipolar], &QPushButton::clicked, this, &EegAnalysisDialog::onBipolar);
  connect(buttons_[Button::CommonRef], &QPushButton::clicked, this, &EegAnalysisDialog::onCommonRef);
  connect(buttons_[Button::Normalise], &QPushButton::clicked, this, &EegAnalysisDialog::onNormalise);
  connect(buttons_[Button::Cancel], &QPushButton::clicked, this, &QDialog::reject);

  connect(epoch_, qOverload<int>(&QComboBox::currentIndexChanged), this, [this](int i) {
    if (filling_) return;
    eeg_.chooseEpoch(i);
    filling_ = true;
    shift_->setText(qs(eeg_.settings.shiftText));
    filling_ = false;
    showCount();
  });
  connect(shift_, &QLineEdit::textEdited, this, [this](const QString& t) {
    eeg_.editShift(t.toStdString());
    showCount();
  });
  connect(average_, &QLineEdit::textEdited, this, [this](const QString& t) { eeg_.settings.averageText = t.toStdString(); });
  connect(measure_, qOverload<int>(&QComboBox::currentIndexChanged), this, [this](int i) {
    if (!filling_) eeg_.settings.measureIndex = i;
  });
  connect(window_, qOverload<int>(&QComboBox::currentIndexChanged), this, [this](int i) {
    if (filling_) return;
    eeg_.settings.windowIndex = i;
    eeg_.engine().buildWindow(i);
  });
  connect(band_, qOverload<int>(&QComboBox::currentIndexChanged), this, [this](int i) {
    if (!filling_) eeg_.settings.bandIndex = i;
  });

  if (!eeg_.prepare()) QApplication::beep();
  fillControls();
  refreshAvailability();
  applyDialogLook(this);
}

QPushButton* EegAnalysisDialog::makeButton(Button b, const char* caption, const char* hint) {
  auto* button = new QPushButton(qs(caption), this);
  button->setAutoDefault(false);
  button->setToolTip(qs(hint));
  buttons_[b] = button;
  hints_[b] = hint;
  return button;
}

void EegAnalysisDialog::refreshAvailability() {
  const std::pair<Button, bool> available[] = {
      {Button::Maps, bool(actions_.amplitudeMaps)},
      {Button::Diagrams, actions_.bandDiagrams},
      {Button::EpochMaps, actions_.bandDiagrams},
      {Button::Report, bool(actions_.clinicalReport)},
      {Button::Period, bool(actions_.periodResults)},
      {Button::Synchrony, false},  // the synchrony profile comes with the pair analyses
      {Button::Localise, false},   // and the external localisation with them
      {Button::Bands, bool(actions_.bandTable)},
      {Button::Leads, bool(actions_.leadEditor)},
  };
  for (const auto& [b, on] : available) {
    QPushButton* button = buttons_.at(b);
    button->setEnabled(on);
    button->setToolTip(qs(hints_.at(b)) + (on ? QString() : qs(kNotYetSuffix)));
  }
}

void EegAnalysisDialog::fillControls() {
  filling_ = true;
  epoch_->clear();
  for (const std::string& item : eeg_.epochList) epoch_->addItem(qs(item));
  epoch_->setCurrentIndex(eeg_.settings.epochIndex);
  shift_->setText(qs(eeg_.settings.shiftText));
  average_->setText(qs(eeg_.settings.averageText));
  measure_->setCurrentIndex(std::clamp(eeg_.settings.measureIndex, 0, kMeasureCount - 1));
  window_->setCurrentIndex(std::clamp(eeg_.settings.windowIndex, 0, kWindowKinds - 1));
  filling_ = false;
  fillBands();
  showCount();
}

void EegAnalysisDialog::fillBands() {
  filling_ = true;
  band_->clear();
  for (const std::string& name : eeg_.bandList) band_->addItem(qs(name));
  band_->setCurrentIndex(eeg_.settings.bandIndex);
  filling_ = false;
}

void EegAnalysisDialog::showCount() { count_->setText(qs(eeg_.countText())); }

void EegAnalysisDialog::applyOnce() {
  eeg_.apply();
  applied_ = true;
}

void EegAnalysisDialog::done(int r) {
  // Closing without a choice keeps the settings as they are shown.
  if (!applied_ && s_.dialogResult == kEegNoChoice) applyOnce();
  QDialog::done(r);
}

void EegAnalysisDialog::finish() { done(QDialog::Accepted); }

bool EegAnalysisDialog::rewrite(const std::function<bool()>& work) {
  if (!actions_.undo) return work();
  RecordSnapshot before;
  before.capture(s_);
  if (!work()) return false;
  actions_.undo->changed(std::move(before), s_);
  return true;
}

void EegAnalysisDialog::onChoice(int result) {
  s_.dialogResult = result;
  applyOnce();
  if (result == kEegEpochMaps) s_.currentBand = std::max(0, eeg_.settings.bandIndex);
  finish();
}

void EegAnalysisDialog::onMaps() {
  finish();
  s_.transformKind = TransformKind::Amplitude;
  if (actions_.amplitudeMaps) actions_.amplitudeMaps();
}

void EegAnalysisDialog::onReport() {
  finish();
  s_.transformKind = TransformKind::Amplitude;
  if (actions_.clinicalReport) actions_.clinicalReport();
  s_.dialogResult = kEegNoChoice;
}

void EegAnalysisDialog::onPeriod() {
  applyOnce();
  if (!eeg_.takeBandLimits()) {
    applied_ = false;  // the window stays open; closing applies what it then shows
    return;
  }
  finish();
  s_.transformKind = TransformKind::Amplitude;
  const bool all = eeg_.interaction().ask(period_text::kAllChannelsQuestion);
  PeriodCommandResult result;
  if (periodAnalysisCommand(eeg_, all, result) && actions_.periodResults) actions_.periodResults(result);
}

void EegAnalysisDialog::onFilter() {
  const bool changed = rewrite([this] { return eeg_.bandFiltering(); });
  applied_ = true;
  s_.dialogResult = kEegNoChoice;
  finish();
  if (changed && actions_.redraw) actions_.redraw();
}

void EegAnalysisDialog::onBands() {
  if (actions_.bandTable) actions_.bandTable();
  eeg_.rebuildBandList();
  fillBands();
}

void EegAnalysisDialog::onLeads() {
  if (actions_.leadEditor) actions_.leadEditor();
  s_.dialogResult = kEegNoChoice;
}

void EegAnalysisDialog::onBipolar() {
  s_.dialogResult = kEegNoChoice;
  applyOnce();
  std::string reason;
  const bool changed = rewrite([&] { return bipolarMontage(s_, reason); });
  if (!changed) eeg_.interaction().message(reason);
  finish();
  if (changed && actions_.redraw) actions_.redraw();
}

void EegAnalysisDialog::onCommonRef() {
  std::string reason;
  const bool changed = rewrite([&] { return commonAverageReference(s_, reason); });
  if (!changed) eeg_.interaction().message(reason);
  if (changed && actions_.redraw) actions_.redraw();
  finish();
}

void EegAnalysisDialog::onNormalise() {
  if (!rewrite([this] { return normaliseAmplitudes(s_); })) return;
  if (actions_.redraw) actions_.redraw();
  finish();
}

}  // namespace velor
