#include "tools/ui/formula_window.h"

#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "core/settings.h"
#include "core/ui/dialog_look.h"
#include "tools/calculator_texts.h"
#include "tools/ui/formula_editor_dialog.h"

namespace velor {

namespace T = calculator_texts;

FormulaWindow::FormulaWindow(StudyState& s, Interaction& ui, int use, QWidget* parent)
    : QDialog(parent), s_(s), ui_(ui), use_(use) {
  const FormulaUse* u = formulaUse(use);
  setWindowTitle(u ? QString::fromUtf8(u->title) : QString());
  setProperty("helpContext", 28);
  s_.dialogResult = 0;
  functionLines_ = functionListOrDefault(s_.programDir);
  names_ = FunctionNames::fromLines(functionLines_);

  auto* outer = new QVBoxLayout(this);
  auto* group = new QGroupBox(QString::fromUtf8(T::kFormulasGroup), this);
  auto* grid = new QGridLayout(group);
  for (int k = 0; k < kFormulasPerSet; ++k) {
    auto* radio = new QRadioButton(QStringLiteral("&%1=").arg(k + 1), group);
    auto* edit = new QLineEdit(group);
    edit->setMinimumWidth(420);
    edit->installEventFilter(this);
    radios_[static_cast<std::size_t>(k)] = radio;
    edits_[static_cast<std::size_t>(k)] = edit;
    grid->addWidget(radio, k, 0);
    grid->addWidget(edit, k, 1);
    connect(radio, &QRadioButton::clicked, this, [this, k] { select(k + 1); });
    connect(edit, &QLineEdit::selectionChanged, this, [this, k] { select(k + 1); });
    connect(edit, &QLineEdit::cursorPositionChanged, this, [this, k] { select(k + 1); });
  }
  outer->addWidget(group);

  auto* buttons = new QHBoxLayout;
  editor_ = new QPushButton(QString::fromUtf8(T::kEditor), this);
  editor_->setToolTip(QString::fromUtf8(T::kEditorHint));
  readArchive_ = new QPushButton(QStringLiteral("F3"), this);
  readArchive_->setToolTip(QString::fromUtf8(T::kReadArchiveHint));
  writeArchive_ = new QPushButton(QStringLiteral("F4"), this);
  writeArchive_->setToolTip(QString::fromUtf8(T::kWriteArchiveHint));
  approve_ = new QPushButton(QString::fromUtf8(T::kApprove), this);
  approve_->setDefault(true);
  auto* cancelButton = new QPushButton(QString::fromUtf8(T::kCancel), this);
  cancelButton->setToolTip(QString::fromUtf8(T::kCancelFormulaHint));
  for (QPushButton* b : {editor_, readArchive_, writeArchive_, approve_, cancelButton}) buttons->addWidget(b);
  outer->addLayout(buttons);
  if (use == 6) {  // protocol conditions keep no archives
    readArchive_->hide();
    writeArchive_->hide();
  }
  connect(editor_, &QPushButton::clicked, this, &FormulaWindow::openEditor);
  connect(readArchive_, &QPushButton::clicked, this, &FormulaWindow::readArchive);
  connect(writeArchive_, &QPushButton::clicked, this, &FormulaWindow::writeArchive);
  connect(approve_, &QPushButton::clicked, this, &FormulaWindow::approve);
  connect(cancelButton, &QPushButton::clicked, this, &FormulaWindow::cancel);

  if (u) {
    if (auto set = readFormulaSet(s_.programDir + u->fileName)) showSet(*set);
  }
  select(1);
  applyDialogLook(this);
}

bool FormulaWindow::eventFilter(QObject* watched, QEvent* e) {
  if (e->type() == QEvent::MouseButtonDblClick) {
    for (int k = 0; k < kFormulasPerSet; ++k)
      if (watched == edits_[static_cast<std::size_t>(k)]) {
        select(k + 1);
        openEditor();
        return true;
      }
  }
  return QDialog::eventFilter(watched, e);
}

void FormulaWindow::select(int k) {
  if (k < 1 || k > kFormulasPerSet) return;
  selected_ = k;
  radios_[static_cast<std::size_t>(k - 1)]->setChecked(true);
}

FormulaSet FormulaWindow::current() const {
  FormulaSet set;
  set.header = header_;
  for (int k = 0; k < kFormulasPerSet; ++k)
    set.formulas[static_cast<std::size_t>(k)] = edits_[static_cast<std::size_t>(k)]->text().toStdString();
  return set;
}

void FormulaWindow::showSet(const FormulaSet& set) {
  header_ = set.header;
  for (int k = 0; k < kFormulasPerSet; ++k)
    edits_[static_cast<std::size_t>(k)]->setText(QString::fromStdString(set.formulas[static_cast<std::size_t>(k)]));
}

void FormulaWindow::approve() {
  if (const FormulaUse* u = formulaUse(use_)) writeFormulaSet(s_.programDir + u->fileName, current());
  const std::string text = edits_[static_cast<std::size_t>(selected_ - 1)]->text().toStdString();
  s_.dialogResult = compileFormula(text, names_, formula_, ui_) ? selected_ : 0;
  done(s_.dialogResult ? QDialog::Accepted : QDialog::Rejected);
}

void FormulaWindow::cancel() {
  s_.dialogResult = 0;
  reject();
}

void FormulaWindow::openEditor() {
  const FormulaUse* u = formulaUse(use_);
  QLineEdit* edit = edits_[static_cast<std::size_t>(selected_ - 1)];
  FormulaEditorDialog editor(windowTitle(), edit->text(), u ? u->variables : std::vector<std::string>{},
                             functionLines_, this);
  if (editor.exec() == QDialog::Accepted) edit->setText(editor.formula());
}

bool FormulaWindow::readArchive() {
  if (!chooseArchive) return false;
  const std::string path = chooseArchive(false);
  if (path.empty()) return false;
  const auto set = readFormulaSet(path);
  if (!set) {
    ui_.message("Прерывание: " + path);
    return false;
  }
  showSet(*set);
  s_.examHeader = fitHeader(set->header);
  return true;
}

bool FormulaWindow::writeArchive() {
  if (!chooseArchive) return false;
  const std::string path = chooseArchive(true);
  if (path.empty()) return false;
  return writeFormulaSet(path, current());
}

std::optional<CompiledFormula> chooseFormula(StudyState& s, Interaction& ui, int use, QWidget* parent,
                                             std::function<std::string(bool save)> chooseArchive) {
  FormulaWindow w(s, ui, use, parent);
  w.chooseArchive = std::move(chooseArchive);
  w.exec();
  if (s.dialogResult == 0) return std::nullopt;
  return w.formula();
}

}  // namespace velor
