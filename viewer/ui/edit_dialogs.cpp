#include "viewer/ui/edit_dialogs.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "core/ui/dialog_look.h"
#include "viewer/record_edit_texts.h"

namespace velor {

using namespace edit_text;

namespace {

QString qs(const char* s) { return QString::fromUtf8(s); }
QString qs(const std::string& s) { return QString::fromStdString(s); }

// Runs a window with a help topic of its own and gives the caller's back.
template <typename Dialog>
void runModal(StudyState& s, Dialog& d, int helpContext) {
  const int before = s.helpContext;
  s.helpContext = helpContext;
  d.exec();
  s.helpContext = before;
}

}  // namespace

// --- DeleteDialog ------------------------------------------------------------------------------

DeleteDialog::DeleteDialog(const DeleteSettings& settings, QWidget* parent) : QDialog(parent) {
  setWindowTitle(qs(kDeleteTitle));
  setModal(true);
  auto* outer = new QVBoxLayout(this);
  auto* group = new QGroupBox(qs(kDeleteGroup), this);
  outer->addWidget(group);
  auto* lay = new QVBoxLayout(group);
  all_ = new QCheckBox(qs(kAllChannels), group);
  all_->setChecked(settings.allChannels);
  lay->addWidget(all_);
  const std::pair<int, const char*> choices[] = {{kDeleteInside, kCaptionInside},     {kDeleteOutside, kCaptionOutside},
                                                 {kDeleteZero, kCaptionZero},         {kDeleteStraighten, kCaptionStraighten},
                                                 {kDeleteMean, kCaptionMean},         {kDeleteCancel, kEscCancel}};
  for (const auto& [code, caption] : choices) {
    auto* b = new QPushButton(qs(caption), group);
    b->setAutoDefault(false);
    connect(b, &QPushButton::clicked, this, [this, code = code] { pick(code); });
    lay->addWidget(b);
    buttons_[code] = b;
  }
  applyDialogLook(this);
}

DeleteSettings DeleteDialog::settings() const {
  DeleteSettings d;
  d.allChannels = all_->isChecked();
  return d;
}

QPushButton* DeleteDialog::button(int choice) const {
  const auto it = buttons_.find(choice);
  return it == buttons_.end() ? nullptr : it->second;
}

void DeleteDialog::pick(int choice) {
  choice_ = choice;
  if (choice == kDeleteCancel) {
    reject();
  } else {
    accept();
  }
}

// --- CalibrationDialog ------------------------------------------------------------------------------

CalibrationDialog::CalibrationDialog(const CalibrationSettings& settings, QWidget* parent) : QDialog(parent) {
  setWindowTitle(qs(kCalibTitle));
  setModal(true);
  auto* outer = new QVBoxLayout(this);
  auto* form = new QFormLayout;
  amplitude_ = new QLineEdit(qs(settings.amplitude), this);
  form->addRow(qs(kCalibAmplitude), amplitude_);
  outer->addLayout(form);
  all_ = new QCheckBox(qs(kCalibAllChannels), this);
  all_->setChecked(settings.allChannels);
  outer->addWidget(all_);
  auto* group = new QGroupBox(qs(kCalibZeroGroup), this);
  auto* glay = new QVBoxLayout(group);
  auto* buttons = new QButtonGroup(this);
  const char* kinds[] = {kCalibZeroNone, kCalibZeroMaxMin, kCalibZeroMean};
  for (int k = 0; k < 3; ++k) {
    zero_[k] = new QRadioButton(qs(kinds[k]), group);
    buttons->addButton(zero_[k], k);
    glay->addWidget(zero_[k]);
  }
  zero_[std::clamp(settings.zeroKind, 0, 2)]->setChecked(true);
  outer->addWidget(group);
  auto* row = new QHBoxLayout;
  confirm_ = new QPushButton(qs(kCalibConfirm), this);
  confirm_->setDefault(true);
  auto* cancel = new QPushButton(qs(kEscCancel), this);
  cancel->setAutoDefault(false);
  row->addWidget(confirm_);
  row->addWidget(cancel);
  outer->addLayout(row);
  connect(confirm_, &QPushButton::clicked, this, [this] {
    choice_ = all_->isChecked() ? 2 : 1;
    accept();
  });
  connect(cancel, &QPushButton::clicked, this, [this] {
    choice_ = 0;
    reject();
  });
  applyDialogLook(this);
}

CalibrationSettings CalibrationDialog::settings() const {
  CalibrationSettings c;
  c.amplitude = amplitude_->text().toStdString();
  c.allChannels = all_->isChecked();
  for (int k = 0; k < 3; ++k)
    if (zero_[k]->isChecked()) c.zeroKind = k;
  return c;
}

QRadioButton* CalibrationDialog::zeroButton(int kind) const { return kind >= 0 && kind < 3 ? zero_[kind] : nullptr; }

// --- ReorganisationDialog -------------------------------------------------------------------------------

ReorganisationDialog::ReorganisationDialog(const ReorganisationSettings& settings, QWidget* parent) : QDialog(parent) {
  setWindowTitle(qs(kReorgTitle));
  setModal(true);
  auto* outer = new QVBoxLayout(this);
  auto* group = new QGroupBox(qs(kReorgGroup), this);
  outer->addWidget(group);
  auto* form = new QFormLayout(group);
  reference_ = new QComboBox(group);
  reference_->setEditable(true);
  for (const char* entry : {kRefT, kRefS, kRefI, kRefO, kRefM, kRefE, kRefC, kRefP}) reference_->addItem(qs(entry));
  reference_->setEditText(qs(settings.referencePoint));
  form->addRow(qs(kReorgReference), reference_);
  auto* epoch = new QHBoxLayout;
  start_ = new QLineEdit(qs(settings.epochStart), group);
  end_ = new QLineEdit(qs(settings.epochEnd), group);
  epoch->addWidget(start_);
  epoch->addWidget(new QLabel(qs(kReorgEpochEnd), group));
  epoch->addWidget(end_);
  form->addRow(qs(kReorgEpochStart), epoch);
  auto* condition = new QHBoxLayout;
  condition_ = new QLineEdit(qs(settings.condition), group);
  editor_ = new QPushButton(qs(kReorgEditor), group);
  editor_->setAutoDefault(false);
  // The condition editor belongs to the formula language, which this build does not have.
  editor_->setEnabled(false);
  editor_->setToolTip(QStringLiteral("Редактор условий (%1) пока недоступен в этой версии").arg(qs(kReorgConditionTitle)));
  condition->addWidget(condition_);
  condition->addWidget(editor_);
  form->addRow(qs(kReorgCondition), condition);
  auto* row = new QHBoxLayout;
  run_ = new QPushButton(qs(kReorgRun), this);
  run_->setDefault(true);
  auto* cancel = new QPushButton(qs(kReorgCancel), this);
  cancel->setAutoDefault(false);
  row->addWidget(run_);
  row->addWidget(cancel);
  outer->addLayout(row);
  connect(run_, &QPushButton::clicked, this, &QDialog::accept);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  applyDialogLook(this);
}

ReorganisationSettings ReorganisationDialog::settings() const {
  ReorganisationSettings r;
  r.epochStart = start_->text().toStdString();
  r.epochEnd = end_->text().toStdString();
  r.condition = condition_->text().toStdString();
  r.referencePoint = reference_->currentText().toStdString();
  return r;
}

// --- QtEditDialogs ------------------------------------------------------------------------

int QtEditDialogs::deleteDialog(DeleteSettings& settings) {
  DeleteDialog d(settings, parent_);
  runModal(s_, d, kDeleteHelpContext);
  settings = d.settings();
  return d.choice();
}

int QtEditDialogs::calibrationDialog(CalibrationSettings& settings) {
  CalibrationDialog d(settings, parent_);
  runModal(s_, d, kCalibrationHelpContext);
  settings = d.settings();
  return d.choice();
}

bool QtEditDialogs::reorganisationDialog(ReorganisationSettings& settings) {
  ReorganisationDialog d(settings, parent_);
  runModal(s_, d, kReorganisationHelpContext);
  if (d.result() != QDialog::Accepted) return false;
  settings = d.settings();
  return true;
}

void QtEditDialogs::settingsNotRead() { QApplication::beep(); }

}  // namespace velor
