#include "tools/ui/transformations_window.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "core/numtext.h"
#include "core/ui/dialog_look.h"
#include "tools/transformation_texts.h"
#include "viewer/record_edit.h"

namespace velor {

namespace {

QString u(const char* t) { return QString::fromUtf8(t); }

}  // namespace

TransformationsWindow::TransformationsWindow(StudyState& s, Interaction& ui, SpectralEngine& engine,
                                             RecordUndo& undo, std::vector<std::string>& headerLines,
                                             QWidget* parent)
    : QDialog(parent), s_(s), ui_(ui), engine_(engine), undo_(undo), headerLines_(headerLines) {
  setWindowTitle(u(kTrnCaption));
  setObjectName(QStringLiteral("TqqTrn"));
  auto* grid = new QGridLayout(this);
  const auto add = [&](TransformCommand c, const char* caption, const char* hint, int row, int col) {
    auto* b = new QPushButton(u(caption), this);
    b->setToolTip(u(hint));
    b->setAutoDefault(false);
    grid->addWidget(b, row, col);
    buttons_[c] = b;
    connect(b, &QPushButton::clicked, this, [this, c] { run(c); });
    return b;
  };
  const auto edit = [&](const QString& text, int row, int col) {
    auto* e = new QLineEdit(text, this);
    e->setMaximumWidth(70);
    grid->addWidget(e, row, col);
    return e;
  };
  const auto label = [&](const char* text, int row, int col) {
    auto* l = new QLabel(u(text), this);
    grid->addWidget(l, row, col);
    return l;
  };

  // Column 0..1: edits and the channel commands.
  add(TransformCommand::Amplitude, kTrnAmplitude, kTrnAmplitudeHint, 0, 0);
  amplitude_ = edit("0", 0, 1);
  add(TransformCommand::Delete, kTrnDelete, kTrnDeleteHint, 1, 0);
  add(TransformCommand::Copy, kTrnCopy, kTrnCopyHint, 2, 0);
  label(kTrnTargetN, 2, 1)->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  target_ = edit("1", 2, 2);
  add(TransformCommand::Compare, kTrnCompare, kTrnCompareHint, 3, 0);
  add(TransformCommand::AverageInside, kTrnAverageInside, kTrnAverageInsideHint, 4, 0);
  add(TransformCommand::Generator, kTrnGenerator, kTrnGeneratorHint, 5, 0);
  add(TransformCommand::ReadChannel, kTrnReadChannel, kTrnReadChannelHint, 6, 0);
  otherChannel_ = edit("1", 6, 1);
  add(TransformCommand::AverageFile, kTrnAverageFile, kTrnAverageFileHint, 7, 0);
  add(TransformCommand::Reorganise, kTrnReorganise, kTrnReorganiseHint, 8, 0);
  add(TransformCommand::Decimate, kTrnDecimate, kTrnDecimateHint, 9, 0);
  step_ = edit("10", 9, 1);
  add(TransformCommand::Standardise, kTrnStandardise, kTrnStandardiseHint, 10, 0);
  add(TransformCommand::Program, kTrnProgram, kTrnProgramHint, 11, 0);
  program_ = new QComboBox(this);
  for (int k = 0; k <= 9; ++k) program_->addItem(QString::number(k));
  grid->addWidget(program_, 11, 1);
  // The outside programs of the converter board do not exist here: the
  // command stays, disabled, and says so.
  buttons_[TransformCommand::Program]->setEnabled(false);
  buttons_[TransformCommand::Program]->setToolTip(u(kTrnProgramHint) + " \xE2\x80\x94 " + u(kTrnProgramDisabled));
  program_->setEnabled(false);

  // Column 3..5: the filters.
  auto* filters = new QGroupBox(this);
  auto* fg = new QGridLayout(filters);
  const auto fedit = [&](const char* caption, int row, int col) {
    auto* l = new QLabel(u(caption), filters);
    fg->addWidget(l, row, col);
    auto* e = new QLineEdit(filters);
    e->setMaximumWidth(70);
    fg->addWidget(e, row, col + 1);
    return std::make_pair(l, e);
  };
  low_ = fedit(kTrnLow, 0, 0).second;
  high_ = fedit(kTrnHigh, 0, 2).second;
  type_ = new QComboBox(filters);
  // Type 4, the moving-average filter, has no caption of its own in the list.
  for (const char* t : {kTrnButterworth, kTrnChebyshev1, kTrnChebyshev2, kTrnFourier, "Скользящее среднее", kTrnWavelet})
    type_->addItem(u(t));
  fg->addWidget(type_, 1, 0, 1, 4);
  auto orderPair = fedit(kTrnOrder, 2, 0);
  orderLabel_ = orderPair.first;
  order_ = orderPair.second;
  auto epsPair = fedit(kTrnEps, 2, 2);
  epsLabel_ = epsPair.first;
  eps_ = epsPair.second;
  twoWay_ = new QCheckBox(u(kTrnTwoWay), filters);
  fg->addWidget(twoWay_, 3, 0, 1, 2);
  grid->addWidget(filters, 0, 3, 4, 3);
  connect(type_, &QComboBox::currentIndexChanged, this, &TransformationsWindow::typeChanged);
  add(TransformCommand::Filter, kTrnFilter, kTrnFilterHint, 4, 3);
  add(TransformCommand::Graph, kTrnGraph, kTrnGraphHint, 4, 4);
  add(TransformCommand::Smooth, kTrnSmooth, kTrnSmoothHint, 5, 3);
  label(kTrnWindowWidth, 5, 4)->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  window_ = edit("3", 5, 5);
  add(TransformCommand::WindowSmooth, kTrnWindowSmooth, kTrnNoiseHint, 6, 3);
  add(TransformCommand::Spikes, kTrnSpike, kTrnNoiseHint, 6, 4);
  add(TransformCommand::Reverse, kTrnSpike, kTrnNoiseHint, 6, 5);
  add(TransformCommand::Derivative, kTrnDerivative, kTrnDerivativeHint, 7, 3);
  add(TransformCommand::Envelope, kTrnEnvelope, kTrnEnvelopeHint, 8, 3);
  max_ = new QCheckBox(u(kTrnMax), this);
  grid->addWidget(max_, 8, 4);
  add(TransformCommand::ZScores, kTrnZScores, kTrnZScoresHint, 9, 3);
  add(TransformCommand::Formula, kTrnFormula, kTrnFormulaHint, 10, 3);
  add(TransformCommand::CommonReference, kTrnCommonRef, kTrnCommonRefHint, 11, 3);
  add(TransformCommand::HeaderLine, kTrnHeaderLine, kTrnNoiseHint, 12, 3);

  all_ = new QCheckBox(u(kTrnAllChannels), this);
  all_->setToolTip(u(kTrnAllChannelsHint));
  grid->addWidget(all_, 12, 0);
  add(TransformCommand::Undo, kTrnUndo, kTrnUndoHint, 13, 0);
  add(TransformCommand::Cancel, kTrnCancel, kTrnCancelHint, 13, 3);
  buttons_[TransformCommand::Undo]->setEnabled(undo_.canUndo(s_));

  TransformSettings t;
  if (!readTransformSettings(s_.programDir, t)) QApplication::beep();
  showSettings(t);
  setProperty("helpContext", 25);
  applyDialogLook(this);
}

QPushButton* TransformationsWindow::button(TransformCommand c) const {
  const auto it = buttons_.find(c);
  return it == buttons_.end() ? nullptr : it->second;
}

void TransformationsWindow::showSettings(const TransformSettings& t) {
  amplitude_->setText(QString::fromStdString(t.amplitude));
  target_->setText(QString::number(t.targetChannel));
  low_->setText(QString::fromStdString(formatNumber(t.lowHz)));
  high_->setText(QString::fromStdString(formatNumber(t.highHz)));
  program_->setCurrentIndex(std::clamp(t.program, 0, 9));
  otherChannel_->setText(QString::number(t.otherChannel));
  all_->setChecked(t.allChannels);
  order_->setText(QString::number(t.order));
  eps_->setText(QString::fromStdString(formatNumber(t.ripple)));
  type_->setCurrentIndex(std::clamp(t.filterType, 0, 5));
  typeChanged(type_->currentIndex());
  window_->setText(QString::number(t.smoothWindow));
  step_->setText(QString::number(t.decimationStep));
  twoWay_->setChecked(t.twoWay);
}

void TransformationsWindow::typeChanged(int type) {
  const bool order = type != 3;
  const bool eps = type == 1 || type == 2;
  orderLabel_->setVisible(order);
  order_->setVisible(order);
  epsLabel_->setVisible(eps);
  eps_->setVisible(eps);
  twoWay_->setVisible(order);
}

TransformSettings TransformationsWindow::settings() const {
  TransformSettings t;
  const auto integer = [](QLineEdit* e, int fallback) {
    const auto v = parseInteger(e->text().toStdString());
    return v ? *v : fallback;
  };
  const auto real = [](QLineEdit* e, double fallback) {
    const auto v = parseNumber(e->text().toStdString());
    return v && std::isfinite(*v) ? *v : fallback;
  };
  t.amplitude = amplitude_->text().toStdString();
  t.targetChannel = integer(target_, 1);
  t.lowHz = real(low_, 0);
  t.highHz = real(high_, 0);
  t.program = program_->currentIndex();
  t.otherChannel = integer(otherChannel_, 1);
  t.allChannels = all_->isChecked();
  t.order = std::clamp(integer(order_, 7), 1, 50);
  t.ripple = real(eps_, 1);
  t.filterType = type_->currentIndex();
  t.smoothWindow = std::max(3, integer(window_, 3));
  t.decimationStep = integer(step_, 10);
  t.twoWay = twoWay_->isChecked();
  return t;
}

void TransformationsWindow::done(int result) {
  if (!saved_) {
    saved_ = true;
    writeTransformSettings(s_.programDir, settings());
  }
  QDialog::done(result);
}

void TransformationsWindow::finish(int dialogResult) {
  s_.dialogResult = dialogResult;
  done(dialogResult > 0 ? Accepted : Rejected);
}

// A command that changes the record: the undo copy first, and the copy back
// when the command refuses part way.
bool TransformationsWindow::change(const std::function<bool()>& work) {
  RecordSnapshot before;
  before.capture(s_);
  if (!work()) {
    before.restore(s_);
    return false;
  }
  undo_.changed(std::move(before), s_);
  return true;
}

void TransformationsWindow::run(TransformCommand c) {
  const TransformSettings t = settings();
  const ChannelRange r = transformChannels(s_, t.allChannels);
  const int ch = transformChannel(s_);
  switch (c) {
    case TransformCommand::Amplitude: {
      const auto v = parseNumber(t.amplitude);
      if (v && change([&] { return setAmplitudeAtCursor(s_, *v, ui_); })) finish(1);
      return;
    }
    case TransformCommand::Delete: {
      if (!segmentChoice) return;
      DeleteSettings d;
      d.allChannels = false;
      const int choice = segmentChoice(d);
      if (choice > 0) change([&] { return editSegment(s_, choice); });
      finish(1);
      return;
    }
    case TransformCommand::Copy:
      if (change([&] { return copyChannel(s_, t.targetChannel, ui_); })) finish(1);
      return;
    case TransformCommand::Compare: {
      ChannelComparison cmp;
      if (compareChannels(s_, t.targetChannel, cmp, ui_)) {
        if (showComparison) showComparison(cmp);
        finish(1);
      }
      return;
    }
    case TransformCommand::AverageInside:
      finish(7);
      return;
    case TransformCommand::Generator:
      // The generator writes the current channel; its undo copy is taken here.
      if (openGenerator) {
        RecordSnapshot before;
        before.capture(s_);
        const std::uint64_t was = recordFingerprint(s_);
        openGenerator();
        if (recordFingerprint(s_) != was) undo_.changed(std::move(before), s_);
      }
      finish(1);
      return;
    case TransformCommand::ReadChannel:
    case TransformCommand::AverageFile: {
      if (!chooseRecordFile) return;
      const std::string path = chooseRecordFile();
      if (path.empty()) return;
      const bool ok = c == TransformCommand::ReadChannel
                          ? change([&] { return channelFromFile(s_, path, t.otherChannel, ui_); })
                          : change([&] { return averageWithFile(s_, path, ui_); });
      if (ok) finish(1);
      return;
    }
    case TransformCommand::Reorganise:
      finish(1);
      if (reorganise) reorganise();
      return;
    case TransformCommand::Decimate:
      if (t.decimationStep > 1 && change([&] { return decimateRecord(s_, t.decimationStep, ui_); })) finish(1);
      return;
    case TransformCommand::Standardise:
      if (change([&] { return standardiseAmplitudes(s_, ui_); })) finish(1);
      return;
    case TransformCommand::Filter: {
      bool keep = true;
      if (t.filterType != static_cast<int>(TransformFilterType::Wavelet) &&
          t.filterType != static_cast<int>(TransformFilterType::MovingAverage)) {
        if (s_.sampleRate <= 0 || t.lowHz == t.highHz || t.lowHz < 0 || t.highHz < 0) {
          ui_.message(kTrnRangeError);
          return;
        }
        keep = ui_.ask(kTrnKeepBandQuestion);
      }
      if (change([&] { return filterRecord(s_, t, keep, engine_, ui_); })) finish(1);
      return;
    }
    case TransformCommand::Graph: {
      if (t.filterType == static_cast<int>(TransformFilterType::Fourier)) return;
      const bool remove = ui_.ask(kTrnRemoveBandQuestion);
      const auto points = filterMagnitudeResponse(s_, t, remove, ui_);
      if (!points.empty() && showResponse) showResponse(points);
      return;
    }
    case TransformCommand::Smooth:
      if (change([&] { return smoothChannels(s_, t.smoothWindow, r.first, r.last, ui_); })) finish(1);
      return;
    case TransformCommand::WindowSmooth: {
      const auto a = parseInteger(t.amplitude);
      if (a && change([&] { return windowSmoothing(s_, *a); })) finish(1);
      return;
    }
    case TransformCommand::Spikes:
      if (change([&] { return suppressSpikes(s_, ch); })) finish(1);
      return;
    case TransformCommand::Reverse:
      change([&] { return reverseTime(s_, ch); });
      s_.dialogResult = 1;
      return;
    case TransformCommand::Derivative:
      if (change([&] { return derivative(s_, r.first, r.last); })) finish(1);
      return;
    case TransformCommand::Envelope: {
      const bool ok = max_->isChecked()
                          ? change([&] { return peakEnvelope(s_, r.first, r.last); })
                          : change([&] {
                              const double fs = s_.sampleRate > 0 ? s_.sampleRate : 1;
                              return hilbertEnvelope(s_, r.first, r.last, t.lowHz / fs, t.highHz / fs, engine_);
                            });
      if (ok) finish(1);
      return;
    }
    case TransformCommand::ZScores:
      if (change([&] { return zScores(s_, r.first, r.last, ui_); })) finish(1);
      return;
    case TransformCommand::Formula: {
      if (!chooseFormula) return;
      const auto f = chooseFormula();
      if (f && change([&] { return applyFormula(s_, *f, ui_); })) finish(1);
      return;
    }
    case TransformCommand::CommonReference:
      if (change([&] { return commonAverageReference(s_); })) finish(1);
      return;
    case TransformCommand::Program:
      ui_.message(kTrnProgramDisabled);
      return;
    case TransformCommand::HeaderLine:
      appendHeaderSummary(s_, headerLines_, "./", ui_);
      return;
    case TransformCommand::Undo:
      if (!undo_.undoLast(s_)) {
        ui_.message(kTrnNothingToUndo);
        return;
      }
      finish(1);
      return;
    case TransformCommand::Cancel:
      finish(0);
      return;
  }
}

}  // namespace velor
