#include "tools/ui/calculator_window.h"

#include <QApplication>
#include <QComboBox>
#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/formula_files.h"
#include "core/ui/dialog_look.h"
#include "tools/calculator_texts.h"

namespace velor {

namespace T = calculator_texts;

CalculatorWindow::CalculatorWindow(StudyState& s, Interaction& ui, FormulaContext& context, QWidget* parent)
    : QDialog(parent), s_(s), ui_(ui), context_(context) {
  setWindowTitle(QString::fromUtf8(T::kCaption));
  setProperty("helpContext", 25);
  auto* outer = new QVBoxLayout(this);
  auto* tools = new QHBoxLayout;
  chan_ = new QPushButton(QString::fromUtf8(T::kChan), this);
  aRange_ = new QPushButton(QString::fromUtf8(T::kARange), this);
  tools->addWidget(chan_);
  tools->addWidget(aRange_);
  tools->addStretch();
  outer->addLayout(tools);
  connect(chan_, &QPushButton::clicked, this, [this] { Q_EMIT chanRequested(); });
  connect(aRange_, &QPushButton::clicked, this, [this] { Q_EMIT aRangeRequested(); });

  outer->addWidget(new QLabel(QString::fromUtf8(T::kExpression), this));
  expression_ = new QComboBox(this);
  expression_->setEditable(true);
  expression_->setInsertPolicy(QComboBox::NoInsert);
  expression_->setMinimumWidth(360);
  outer->addWidget(expression_);
  expression_->lineEdit()->installEventFilter(this);  // a double click computes
  connect(expression_, &QComboBox::activated, this, [this](int k) {
    editedEntry_ = k;
    expression_->setEditText(expression_->itemText(k));
  });

  auto* group = new QGroupBox(QString::fromUtf8(T::kResultGroup), this);
  auto* gl = new QVBoxLayout(group);
  result_ = new QLineEdit(group);
  result_->setReadOnly(true);
  gl->addWidget(result_);
  outer->addWidget(group);

  auto* middle = new QHBoxLayout;
  functions_ = new QListWidget(this);
  auto* insertFunction = new QPushButton(QStringLiteral("↑"), this);
  connect(insertFunction, &QPushButton::clicked, this, [this] {
    if (QListWidgetItem* item = functions_->currentItem()) insertPiece(item->text());
  });
  connect(functions_, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem* i) { insertPiece(i->text()); });
  middle->addWidget(functions_);
  middle->addWidget(insertFunction);
  auto* pad = new QGridLayout;
  const char* captions[] = {"7", "8", "9", "/", "4", "5", "6", "*", "1", "2", "3", "-", "0", ".", "^", "+", "()", "Del"};
  int k = 0;
  for (const char* c : captions) {
    auto* b = new QPushButton(QString::fromUtf8(c), this);
    b->setAutoDefault(false);
    b->setFocusPolicy(Qt::NoFocus);
    keys_.push_back(b);
    pad->addWidget(b, k / 4, k % 4);
    ++k;
    const QString piece = QString::fromUtf8(c);
    connect(b, &QPushButton::clicked, this, [this, piece] {
      QLineEdit* line = expression_->lineEdit();
      if (piece == QStringLiteral("Del")) {
        QString t = line->text();
        const int at = line->cursorPosition();
        if (at < t.size()) {
          t.remove(at, 1);
          line->setText(t);
          line->setCursorPosition(at);
        }
      } else {
        insertPiece(piece == QStringLiteral("()") ? QStringLiteral("()") : piece);
      }
    });
  }
  middle->addLayout(pad);
  outer->addLayout(middle);

  auto* buttons = new QHBoxLayout;
  compute_ = new QPushButton(QString::fromUtf8(T::kCompute), this);
  compute_->setToolTip(QString::fromUtf8(T::kComputeHint));
  compute_->setDefault(true);
  auto* cancel = new QPushButton(QString::fromUtf8(T::kCancel), this);
  cancel->setToolTip(QString::fromUtf8(T::kCancelHint));
  buttons->addWidget(compute_);
  buttons->addWidget(cancel);
  outer->addLayout(buttons);
  connect(compute_, &QPushButton::clicked, this, &CalculatorWindow::compute);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  applyDialogLook(this);
}

QPushButton* CalculatorWindow::key(const QString& caption) const {
  for (QPushButton* b : keys_)
    if (b->text() == caption) return b;
  return nullptr;
}

void CalculatorWindow::insertPiece(const QString& piece) { expression_->lineEdit()->insert(piece); }

void CalculatorWindow::load() {
  s_.helpContext = 25;
  readCalculatorMemory(s_.programDir, memory_);
  const auto lines = readFunctionList(s_.programDir);
  if (!lines) QApplication::beep();
  const std::vector<std::string> shown = lines ? *lines : FunctionNames::defaultLines();
  names_ = FunctionNames::fromLines(shown);
  functions_->clear();
  for (const std::string& f : shown) functions_->addItem(QString::fromStdString(f));
  const QSignalBlocker block(expression_);
  expression_->clear();
  for (const std::string& e : memory_.entries) expression_->addItem(QString::fromStdString(e));
  editedEntry_ = -1;  // no entry chosen yet: typing changes none of them
  expression_->setCurrentIndex(0);
  expression_->setEditText(QString::fromStdString(memory_.shown));
}

void CalculatorWindow::keepEditedEntry() {
  // the expression being edited goes back into the entry it came from
  if (editedEntry_ >= 0 && editedEntry_ < expression_->count()) {
    const QString text = expression_->currentText();
    const QSignalBlocker block(expression_);
    expression_->setItemText(editedEntry_, text);
    expression_->setEditText(text);
  }
}

void CalculatorWindow::save() {
  keepEditedEntry();
  for (int k = 0; k < kCalculatorEntries && k < expression_->count(); ++k)
    memory_.entries[static_cast<std::size_t>(k)] = expression_->itemText(k).toStdString();
  memory_.shown = expression_->currentText().toStdString();
  writeCalculatorMemory(s_.programDir, memory_);
}

void CalculatorWindow::compute() {
  keepEditedEntry();
  std::string result, message;
  if (!context_.study) context_.study = &s_;
  if (calculate(expression_->currentText().toStdString(), names_, context_, result, message))
    result_->setText(QString::fromStdString(result));
  else
    ui_.message(message);
}

bool CalculatorWindow::eventFilter(QObject* watched, QEvent* e) {
  if (watched == expression_->lineEdit() && e->type() == QEvent::MouseButtonDblClick) {
    compute();
    return true;
  }
  return QDialog::eventFilter(watched, e);
}

void CalculatorWindow::showEvent(QShowEvent* e) {
  load();
  QDialog::showEvent(e);
}

void CalculatorWindow::done(int r) {
  save();
  QDialog::done(r);
}

}  // namespace velor
