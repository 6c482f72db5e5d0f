#include "results/ui/print_settings_dialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/ui/dialog_look.h"

namespace velor {

namespace {
QString q(const std::string& s) { return QString::fromStdString(s); }
QString q(const char* s) { return QString::fromUtf8(s); }
}  // namespace

PrintSettingsDialog::PrintSettingsDialog(StudyState& s, Interaction& ui, PrintSettings& settings, QPrinter* printer, QWidget* parent)
    : QDialog(parent), s_(s), ui_(ui), settings_(settings), printer_(printer) {
  setWindowTitle(q(kPrintDialogCaption));
  setModal(true);
  setup_ = [this](QPrinter& p) {
    QPrintDialog d(&p, this);
    d.exec();
  };

  auto* group = new QGroupBox(q(kPrintGroupCaption), this);
  auto* grid = new QGridLayout(group);
  const char* labels[] = {kPrintLeftLabel, kPrintTopLabel, kPrintWidthLabel, kPrintHeightLabel};
  for (int i = 0; i < 4; ++i) {
    grid->addWidget(new QLabel(q(labels[i]), group), i, 0);
    edits_[i] = new QLineEdit(group);
    edits_[i]->setMaximumWidth(80);
    grid->addWidget(edits_[i], i, 1);
  }
  along_ = new QCheckBox(q(kPrintAlongLengthCaption), group);
  maxSize_ = new QCheckBox(q(kPrintMaxSizeCaption), group);
  grid->addWidget(along_, 4, 0, 1, 2);
  grid->addWidget(maxSize_, 5, 0, 1, 2);
  connect(maxSize_, &QCheckBox::toggled, this, [this] { setFieldsEnabled(); });

  auto* note = new QLabel(q(kPrintNote1) + "\n" + q(kPrintNote2) + "\n" + q(kPrintNote3) + "\n" + q(kPrintNote4), this);
  print_ = new QPushButton(q(kPrintButtonCaption), this);
  setupButton_ = new QPushButton(q(kPrintSetupButtonCaption), this);
  cancel_ = new QPushButton(q(kPrintCancelCaption), this);
  print_->setDefault(true);
  connect(print_, &QPushButton::clicked, this, [this] { printClicked(); });
  connect(setupButton_, &QPushButton::clicked, this, [this] {
    if (printer_ && setup_) setup_(*printer_);
  });
  connect(cancel_, &QPushButton::clicked, this, [this] {
    s_.dialogResult = 0;
    reject();
  });

  auto* buttons = new QVBoxLayout;
  buttons->addWidget(print_);
  buttons->addWidget(setupButton_);
  buttons->addWidget(cancel_);
  buttons->addStretch();
  auto* top = new QHBoxLayout;
  top->addWidget(group);
  top->addLayout(buttons);
  auto* all = new QVBoxLayout(this);
  all->addLayout(top);
  all->addWidget(note);
  applyDialogLook(this);
  showForm(PrintForm{});
}

PrintForm PrintSettingsDialog::form() const {
  PrintForm f;
  std::string* fields[] = {&f.left, &f.top, &f.width, &f.height};
  for (int i = 0; i < 4; ++i) *fields[i] = edits_[i]->text().toStdString();
  f.alongLength = along_->isChecked();
  f.maxSize = maxSize_->isChecked();
  return f;
}

void PrintSettingsDialog::showForm(const PrintForm& f) {
  const std::string* fields[] = {&f.left, &f.top, &f.width, &f.height};
  for (int i = 0; i < 4; ++i) edits_[i]->setText(q(*fields[i]));
  along_->setChecked(f.alongLength);
  maxSize_->setChecked(f.maxSize);
  setFieldsEnabled();
}

void PrintSettingsDialog::setFieldsEnabled() {
  for (auto* e : edits_) e->setEnabled(!maxSize_->isChecked());
}

void PrintSettingsDialog::load() {
  loaded_ = true;
  s_.dialogResult = 0;
  PrintForm f = form();
  if (!readPrintForm(s_.programDir + kPrintSettingsFile, f)) QApplication::beep();
  showForm(f);
}

void PrintSettingsDialog::showEvent(QShowEvent* e) {
  if (!loaded_) load();
  QDialog::showEvent(e);
}

bool PrintSettingsDialog::printClicked() {
  const PrintForm f = form();
  std::string error;
  const auto p = acceptPrintForm(f, s_.monitorWidth, s_.monitorHeight, &error);
  if (!p) {
    ui_.message(error);
    return false;
  }
  settings_ = *p;
  if (!writePrintForm(s_.programDir + kPrintSettingsFile, f)) QApplication::beep();
  s_.dialogResult = 1;
  accept();
  return true;
}

bool askPrintSettings(StudyState& s, Interaction& ui, PrintSettings& settings, QPrinter* printer, QWidget* parent) {
  PrintSettingsDialog d(s, ui, settings, printer, parent);
  d.load();
  d.exec();
  return s.dialogResult == 1;
}

}  // namespace velor
