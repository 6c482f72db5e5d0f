#include "tools/ui/formula_editor_dialog.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/ui/dialog_look.h"
#include "tools/calculator_texts.h"

namespace velor {

namespace T = calculator_texts;

FormulaEditorDialog::FormulaEditorDialog(const QString& title, const QString& formula,
                                         const std::vector<std::string>& variables,
                                         const std::vector<std::string>& functionLines, QWidget* parent)
    : QDialog(parent) {
  setWindowTitle(title);
  setProperty("helpContext", 29);
  auto* outer = new QVBoxLayout(this);
  auto* group = new QGroupBox(QString::fromUtf8(T::kEditorGroup), this);
  outer->addWidget(group);
  auto* box = new QVBoxLayout(group);
  line_ = new QLineEdit(formula, group);
  line_->setToolTip(QString::fromUtf8(T::kFormulaLineHint));
  caret_ = static_cast<int>(formula.size());
  connect(line_, &QLineEdit::cursorPositionChanged, this, [this](int, int now) { caret_ = now; });
  box->addWidget(line_);

  auto* lists = new QHBoxLayout;
  variables_ = new QListWidget(group);
  variables_->setObjectName(QString::fromUtf8(T::kVariables));
  for (const std::string& v : variables) variables_->addItem(QString::fromStdString(v));
  functions_ = new QListWidget(group);
  functions_->setObjectName(QString::fromUtf8(T::kFunctions));
  for (const std::string& f : functionLines) functions_->addItem(QString::fromStdString(f));
  auto* pickVariable = new QPushButton(QStringLiteral("→"), group);
  auto* pickFunction = new QPushButton(QStringLiteral("→"), group);
  const auto insertCurrent = [this](QListWidget* list) {
    if (QListWidgetItem* item = list->currentItem()) insertPiece(item->text());
  };
  connect(pickVariable, &QPushButton::clicked, this, [=] { insertCurrent(variables_); });
  connect(pickFunction, &QPushButton::clicked, this, [=] { insertCurrent(functions_); });
  connect(variables_, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem* i) { insertPiece(i->text()); });
  connect(functions_, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem* i) { insertPiece(i->text()); });
  lists->addWidget(variables_);
  lists->addWidget(pickVariable);
  lists->addWidget(functions_);
  lists->addWidget(pickFunction);
  box->addLayout(lists);

  auto* pad = new QGridLayout;
  const char* captions[] = {"1", "2", "3", "4", "5", "6", "7", "8", "9", "0", ".", "+", "-", "*", "/",
                            "^", "<", ">", "<=", ">=", "=", "<>", "&", "|", "()", "~", "Del"};
  int k = 0;
  for (const char* c : captions) {
    auto* b = new QPushButton(QString::fromUtf8(c), group);
    b->setAutoDefault(false);
    b->setFocusPolicy(Qt::NoFocus);
    keys_.push_back(b);
    pad->addWidget(b, k / 9, k % 9);
    ++k;
    const QString piece = QString::fromUtf8(c);
    connect(b, &QPushButton::clicked, this, [this, piece] {
      if (piece == QStringLiteral("Del"))
        deleteAfterCaret();
      else if (piece == QStringLiteral("()"))
        insertPiece(QStringLiteral("(?)"));
      else
        insertPiece(piece);
    });
  }
  box->addLayout(pad);

  auto* buttons = new QHBoxLayout;
  approve_ = new QPushButton(QString::fromUtf8(T::kApprove), this);
  approve_->setToolTip(QString::fromUtf8(T::kApproveHint));
  auto* cancel = new QPushButton(QString::fromUtf8(T::kCancel), this);
  cancel->setToolTip(QString::fromUtf8(T::kCancelConditionHint));
  connect(approve_, &QPushButton::clicked, this, &QDialog::accept);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  buttons->addWidget(approve_);
  buttons->addWidget(cancel);
  outer->addLayout(buttons);
  applyDialogLook(this);
}

QString FormulaEditorDialog::formula() const { return line_->text(); }

QPushButton* FormulaEditorDialog::key(const QString& caption) const {
  for (QPushButton* b : keys_)
    if (b->text() == caption) return b;
  return nullptr;
}

void FormulaEditorDialog::insertPiece(const QString& piece) {
  QString text = line_->text();
  int at = std::clamp(caret_, 0, static_cast<int>(text.size()));
  if (at < text.size() && text[at] == QLatin1Char('?')) text.remove(at, 1);  // fill the placeholder
  text.insert(at, piece);
  // the caret goes to the first placeholder the piece brought, or after it
  const int mark = piece.indexOf(QLatin1Char('?'));
  const int caret = mark >= 0 ? at + static_cast<int>(mark) : at + static_cast<int>(piece.size());
  line_->setText(text);  // moves the line's cursor to the end
  line_->setCursorPosition(caret);
  caret_ = caret;
}

void FormulaEditorDialog::deleteAfterCaret() {
  QString text = line_->text();
  const int at = std::clamp(caret_, 0, static_cast<int>(text.size()));
  if (at < text.size()) text.remove(at, 1);
  line_->setText(text);
  line_->setCursorPosition(at);
  caret_ = at;
}

}  // namespace velor
