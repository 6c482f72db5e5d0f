#include "tools/ui/generator_dialog.h"

#include <QComboBox>
#include <QDateTime>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/numtext.h"
#include "core/ui/dialog_look.h"
#include "tools/signal_generator_texts.h"
#include "tools/ui/generator_captions.h"

namespace velor {

namespace T = generator_texts;

GeneratorDialog::GeneratorDialog(StudyState& s, Interaction& ui, QWidget* parent)
    : QDialog(parent), seed(static_cast<std::uint64_t>(QDateTime::currentMSecsSinceEpoch())), s_(s), ui_(ui) {
  setObjectName(QStringLiteral("qqgen"));
  setWindowTitle(QString::fromUtf8(T::kCaption));
  setProperty("helpContext", 42);
  s_.dialogResult = 0;
  auto* outer = new QVBoxLayout(this);
  auto* form = new QFormLayout;
  amplitude_ = new QComboBox(this);
  amplitude_->setEditable(true);
  for (const char* a : {"100", "80", "50", "20", "10"}) amplitude_->addItem(QString::fromLatin1(a));
  amplitude_->setToolTip(QString::fromUtf8(T::kAmplitudeHint));
  frequency_ = new QLineEdit(QStringLiteral("10"), this);
  frequency_->setToolTip(QString::fromUtf8(T::kFrequencyHint));
  form->addRow(QString::fromUtf8(T::kAmplitude), amplitude_);
  form->addRow(QString::fromUtf8(T::kFrequency), frequency_);
  outer->addLayout(form);
  auto* group = new QGroupBox(QString::fromUtf8(T::kTypeGroup), this);
  auto* grid = new QGridLayout(group);
  for (int k = 0; k < 8; ++k) {
    auto* b = new QPushButton(QString::fromUtf8(T::kWaveCaptions[k]), group);
    b->setToolTip(QString::fromUtf8(T::kWaveHints[k]));
    b->setAutoDefault(false);
    buttons_[static_cast<std::size_t>(k)] = b;
    grid->addWidget(b, k / 2, k % 2);
    connect(b, &QPushButton::clicked, this, [this, k] { generate(static_cast<Waveform>(k)); });
  }
  outer->addWidget(group);
  auto* cancel = new QPushButton(QString::fromUtf8(T::kCancel), this);
  cancel->setToolTip(QString::fromUtf8(T::kCancelHint));
  connect(cancel, &QPushButton::clicked, this, [this] {
    s_.dialogResult = 0;
    reject();
  });
  outer->addWidget(cancel);
  applyDialogLook(this);
}

void GeneratorDialog::showEvent(QShowEvent* e) {
  GeneratorSettings g;
  if (readGeneratorSettings(s_.programDir, g)) {
    amplitude_->setEditText(QString::fromStdString(g.amplitudeText));
    frequency_->setText(QString::fromStdString(g.frequencyText));
  }
  QDialog::showEvent(e);
}

bool GeneratorDialog::generate(Waveform w) {
  GeneratorSettings g;
  g.amplitudeText = amplitude_->currentText().toStdString();
  g.frequencyText = frequency_->text().toStdString();
  g.seed = seed++;
  const double f = parseNumber(g.frequencyText).value_or(0);
  if (f > 0 && f <= s_.sampleRate / 10.0) writeGeneratorSettings(s_.programDir, g);
  std::optional<CompiledFormula> formula;
  FormulaContext context;
  context.study = &s_;
  context.seedRandom(g.seed);
  if (w == Waveform::Formula) {
    if (!(f > 0 && f <= s_.sampleRate / 10.0)) {
      std::string reason;
      generateSignal(s_, 0, w, g, nullptr, nullptr, reason);  // only for its refusal text
      ui_.message(reason);
      return false;
    }
    if (!chooseFormula || !(formula = chooseFormula())) return false;
  }
  if (w == Waveform::Morlet) {
    std::string reason;
    if (!(f > 0 && f <= s_.sampleRate / 10.0)) {
      generateSignal(s_, 0, w, g, nullptr, nullptr, reason);
      ui_.message(reason);
      return false;
    }
    const auto scale = ui_.input(T::kScaleTitle, T::kScalePrompt, "1");
    if (!scale) return false;
    g.morletScale = parseNumber(*scale).value_or(0);
  }
  const int channel = s_.firstShownChannel + s_.currentChannelRow;
  std::string reason;
  if (!generateSignal(s_, channel, w, g, formula ? &*formula : nullptr, &context, reason)) {
    ui_.message(reason);
    return false;
  }
  s_.dialogResult = 1;
  accept();
  return true;
}

}  // namespace velor
