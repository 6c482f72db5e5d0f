#include "acquisition/ui/express_dialog.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <algorithm>

#include "acquisition/exam_texts.h"
#include "core/numtext.h"
#include "core/ui/dialog_look.h"

namespace velor {

namespace {
QString q(const char* s) { return QString::fromUtf8(s); }
}  // namespace

ExpressDialog::ExpressDialog(StudyState& s, ExaminationPlan& plan, QWidget* parent)
    : QDialog(parent), s_(s), plan_(plan) {
  setObjectName("expressDialog");
  setWindowTitle(q(exam_texts::kExpress));
  auto* modes = new QGroupBox(q(exam_texts::kExpressModes));
  auto* modesLayout = new QVBoxLayout(modes);
  kinds_ = new QButtonGroup(this);
  int id = 0;
  for (const char* caption : exam_texts::kExpressKinds) {
    auto* b = new QRadioButton(q(caption));
    kinds_->addButton(b, id++);
    modesLayout->addWidget(b);
  }
  band_ = new QComboBox;
  for (int i = 0; i < std::clamp(s_.bandCount, 0, kBandRows); ++i)
    band_->addItem(QString::fromStdString(s_.bandTable[static_cast<std::size_t>(i)].name));
  band_->addItem(q(exam_texts::kExpressFourBands));
  channel_ = new QComboBox;
  channel_->addItem(q(exam_texts::kExpressAll));
  for (int ch = 0; ch < s_.channelCount; ++ch) channel_->addItem(QString::fromStdString(s_.channelNames[ch]));
  gain_ = new QLineEdit;
  artefact_ = new QLineEdit;
  max_ = new QLineEdit;
  min_ = new QLineEdit;
  auto* fields = new QFormLayout;
  fields->addRow(q(exam_texts::kExpressBand), band_);
  fields->addRow(q(exam_texts::kExpressGain), gain_);
  fields->addRow(q(exam_texts::kExpressArtefact), artefact_);
  fields->addRow(q(exam_texts::kExpressMax), max_);
  fields->addRow(q(exam_texts::kExpressMin), min_);
  fields->addRow(q(exam_texts::kChannel), channel_);
  confirm_ = new QPushButton(q(exam_texts::kConfirm));
  confirm_->setDefault(true);
  dismiss_ = new QPushButton(q(exam_texts::kDismiss));
  auto* top = new QHBoxLayout;
  top->addWidget(modes);
  top->addLayout(fields);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(confirm_);
  buttons->addWidget(dismiss_);
  auto* all = new QVBoxLayout(this);
  all->addLayout(top);
  all->addLayout(buttons);
  applyDialogLook(this);

  ExpressSettings e;
  readExpressSettings(s_.programDir, e);
  const int kind = plan_.expressAnalysisKind % 20;
  const int item = kind == 10 ? 7 : kind >= 0 && kind <= 6 ? kind : 0;
  kinds_->button(item)->setChecked(true);
  band_->setCurrentIndex(std::clamp(e.bandItem, 0, band_->count() - 1));
  channel_->setCurrentIndex(std::clamp(e.channelItem, 0, channel_->count() - 1));
  gain_->setText(QString::number(e.gain));
  artefact_->setText(QString::fromStdString(formatNumber(e.artefactMicroVolts)));
  max_->setText(QString::number(e.maximum));
  min_->setText(QString::number(e.minimum));

  connect(confirm_, &QPushButton::clicked, this, &ExpressDialog::confirm);
  connect(dismiss_, &QPushButton::clicked, this, [this] {
    s_.dialogResult = 0;
    reject();
  });
}

void ExpressDialog::confirm() {
  ExpressSettings e;
  readExpressSettings(s_.programDir, e);
  // A field that does not read as a number keeps its remembered value.
  if (const auto v = parseNumber(gain_->text().toStdString()); v && *v >= 1 && *v <= 15) e.gain = static_cast<int>(*v);
  if (const auto v = parseNumber(artefact_->text().toStdString()); v && *v >= 0) e.artefactMicroVolts = *v;
  if (const auto v = parseNumber(max_->text().toStdString()); v && *v >= 0 && *v <= 32767) e.maximum = static_cast<int>(*v);
  if (const auto v = parseNumber(min_->text().toStdString()); v && *v >= 0 && *v <= 32767) e.minimum = static_cast<int>(*v);
  e.bandItem = std::max(0, band_->currentIndex());
  e.channelItem = std::max(0, channel_->currentIndex());
  applyExpressChoice(std::max(0, kinds_->checkedId()), e, s_, plan_);
  writeExpressSettings(s_.programDir, e);
  s_.dialogResult = 1;
  accept();
}

}  // namespace velor
