#include "results/ui/notebook_window.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QGridLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "core/numtext.h"
#include "core/ui/dialog_look.h"
#include "results/notebook_texts.h"

namespace velor {

namespace T = notebook_texts;

NotebookWindow::NotebookWindow(StudyState& s, Interaction& ui, Notebook& nb, QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::WindowStaysOnTopHint), s_(s), ui_(ui), nb_(nb) {
  setObjectName(QStringLiteral("Blkn"));
  setWindowTitle(QString::fromUtf8(T::kCaption));
  setProperty("helpContext", 40);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  table_ = new QTableWidget(kNotebookRows, kNotebookColumns + 1, this);
  QStringList head;
  for (const char* h : T::kHeaderCells) head << QString::fromUtf8(h);
  table_->setHorizontalHeaderLabels(head);
  table_->verticalHeader()->hide();
  const int widths[] = {30, 61, 61, 61, 61, 59};
  for (int c = 0; c <= kNotebookColumns; ++c) table_->setColumnWidth(c, widths[c]);
  table_->verticalHeader()->setDefaultSectionSize(16);
  table_->setContextMenuPolicy(Qt::NoContextMenu);
  table_->installEventFilter(this);
  table_->viewport()->installEventFilter(this);
  layout->addWidget(table_);
  resize(360, 400);
  connect(table_, &QTableWidget::cellChanged, this, &NotebookWindow::cellEdited);
  panel_ = new NotebookPanel(*this, this);
  refresh();
}

void NotebookWindow::refresh() {
  filling_ = true;
  for (int r = 1; r <= kNotebookRows; ++r) {
    auto* number = table_->item(r - 1, 0);
    if (!number) {
      number = new QTableWidgetItem(QString::number(r));
      number->setFlags(number->flags() & ~Qt::ItemIsEditable);
      table_->setItem(r - 1, 0, number);
    }
    for (int c = 1; c <= kNotebookColumns; ++c) {
      const QString text = QString::fromStdString(nb_.cell(c, r));
      QTableWidgetItem* item = table_->item(r - 1, c);
      if (!item) {
        if (text.isEmpty()) continue;
        table_->setItem(r - 1, c, new QTableWidgetItem(text));
      } else if (item->text() != text) {
        item->setText(text);
      }
    }
  }
  filling_ = false;
}

void NotebookWindow::cellEdited(int row, int column) {
  if (filling_ || column < 1) return;
  const QTableWidgetItem* item = table_->item(row, column);
  nb_.setCell(column, row + 1, item ? item->text().toStdString() : std::string());
  // a value typed below the rows in use brings its row into use
  if (row + 1 > nb_.rowCount() && item && !item->text().trimmed().isEmpty()) nb_.setRowCount(row + 1);
}

int NotebookWindow::currentColumn() const { return std::clamp(table_->currentColumn(), 1, kNotebookColumns); }
int NotebookWindow::currentRow() const { return std::clamp(table_->currentRow() + 1, 1, kNotebookRows); }

void NotebookWindow::sortCurrent() {
  nb_.sortByColumn(currentColumn());
  refresh();
}

void NotebookWindow::graph(int xChoice) {
  if (nb_.rowCount() == 0) return;
  if (showGraph) showGraph(notebookGraph(nb_, currentColumn(), xChoice), false);
}

void NotebookWindow::statistics() {
  std::string reason;
  const auto st = notebookStatistics(nb_, currentColumn(), reason);
  if (!st) {
    ui_.message(reason);
    return;
  }
  if (!st->notice.empty()) ui_.message(st->notice);
  if (!st->histogram.empty() && showGraph) {
    NotebookGraph g;
    g.points = st->histogram;
    g.caption = T::kHistogramCaption;
    showGraph(g, true);
  }
  if (showStatistics) showStatistics(st->lines);
}

void NotebookWindow::evaluateOnce() {
  if (!chooseFormula) return;
  const auto f = chooseFormula(2);
  if (!f) return;
  FormulaContext ctx;
  ctx.study = &s_;
  const FormulaValue v = evaluateNotebookFormula(nb_, *f, currentColumn(), currentRow(), ctx);
  ui_.message(v.ok() ? std::string(T::kResult) + formatNumber(v.value) : std::string(formulaFaultText(v.fault)));
}

void NotebookWindow::computeColumn() {
  if (!chooseFormula) return;
  const auto f = chooseFormula(3);
  if (!f) return;
  FormulaContext ctx;
  ctx.study = &s_;
  int row = 0;
  const FormulaFault fault = computeNotebookColumn(nb_, *f, currentColumn(), ctx, &row);
  if (fault != FormulaFault::None) ui_.message(std::string(formulaFaultText(fault)) + ": " + std::to_string(row));
  refresh();
}

void NotebookWindow::clearAll() {
  panel_->hide();
  nb_.clear();
  refresh();
}

void NotebookWindow::print() {
  if (printLines) printLines(notebookPrintLines(nb_));
}

bool NotebookWindow::readFile() {
  if (!chooseFile) return false;
  const std::string path = chooseFile(false);
  if (path.empty()) return false;
  std::string notice, reason;
  if (!readNotebookFile(path, nb_, notice, reason)) {
    ui_.message(reason);
    return false;
  }
  if (!notice.empty()) ui_.message(notice);
  refresh();
  return true;
}

bool NotebookWindow::saveFile() {
  if (!chooseFile) return false;
  // the header is the examination header while the file window shows it
  const std::string kept = s_.examHeader;
  s_.examHeader = nb_.header.empty() ? kept : nb_.header;
  const std::string path = chooseFile(true);
  s_.examHeader = kept;
  if (path.empty()) return false;
  if (!writeNotebookFile(path, nb_)) {
    ui_.message("cannot write " + path);
    return false;
  }
  return true;
}

void NotebookWindow::copySelection() {
  const QList<QTableWidgetSelectionRange> ranges = table_->selectedRanges();
  if (ranges.isEmpty()) return;
  const QTableWidgetSelectionRange& r = ranges.first();
  QApplication::clipboard()->setText(QString::fromStdString(
      notebookCopyText(nb_, r.leftColumn(), r.rightColumn(), r.topRow() + 1, r.bottomRow() + 1)));
}

void NotebookWindow::insertRowAtCurrent() {
  if (nb_.insertRow(currentRow())) refresh();
}

void NotebookWindow::deleteRowAtCurrent() {
  if (nb_.deleteRow(currentRow())) refresh();
}

void NotebookWindow::showPanel() {
  panel_->show();
  panel_->raise();
  panel_->activateWindow();
}

void NotebookWindow::exitNotebook() {
  panel_->hide();
  hide();
}

bool NotebookWindow::addReadouts(const std::array<double, kNotebookColumns>& values) {
  std::array<std::string, kNotebookColumns> texts;
  for (std::size_t k = 0; k < values.size(); ++k) texts[k] = formatNumber(values[k]);
  if (!nb_.appendRow(texts)) {
    ui_.message(T::kFull);
    return false;
  }
  refresh();
  return true;
}

void NotebookWindow::keyPressEvent(QKeyEvent* e) {
  switch (e->key()) {
    case Qt::Key_F2: print(); return;
    case Qt::Key_F3: readFile(); return;
    case Qt::Key_F4: saveFile(); return;
    case Qt::Key_F10: exitNotebook(); return;
    case Qt::Key_Escape: showPanel(); return;
    default: QWidget::keyPressEvent(e);
  }
}

bool NotebookWindow::eventFilter(QObject* watched, QEvent* e) {
  if (watched == table_->viewport() && e->type() == QEvent::MouseButtonPress &&
      static_cast<QMouseEvent*>(e)->button() == Qt::RightButton) {
    showPanel();
    return true;
  }
  if (watched == table_ && e->type() == QEvent::KeyPress) {  // an open cell editor takes its own keys
    auto* k = static_cast<QKeyEvent*>(e);
    const bool ctrl = k->modifiers() & Qt::ControlModifier;
    if ((k->key() == Qt::Key_C && !ctrl) || (k->key() == Qt::Key_Insert && ctrl)) {
      copySelection();
      return true;
    }
    if (k->key() == Qt::Key_Insert && !ctrl) {
      insertRowAtCurrent();
      return true;
    }
    if (k->key() == Qt::Key_Delete) {
      deleteRowAtCurrent();
      return true;
    }
    if (k->key() == Qt::Key_Escape || k->key() == Qt::Key_F2 || k->key() == Qt::Key_F3 || k->key() == Qt::Key_F4 ||
        k->key() == Qt::Key_F10) {
      keyPressEvent(k);
      return true;
    }
  }
  return QWidget::eventFilter(watched, e);
}

NotebookPanel::NotebookPanel(NotebookWindow& notebook, QWidget* parent) : QDialog(parent), nb_(notebook) {
  setObjectName(QStringLiteral("qqBkn"));
  setWindowTitle(QString::fromUtf8(T::kCaption));
  setProperty("helpContext", 41);
  auto* grid = new QGridLayout(this);
  const auto add = [this, grid](const char* caption, const char* hint, int row, int column,
                                std::function<void()> action) {
    auto* b = new QPushButton(QString::fromUtf8(caption), this);
    b->setToolTip(QString::fromUtf8(hint));
    b->setAutoDefault(false);
    buttons_.push_back(b);
    grid->addWidget(b, row, column);
    connect(b, &QPushButton::clicked, this, std::move(action));
  };
  add(T::kSort, T::kSortHint, 0, 0, [this] { nb_.sortCurrent(); });
  graphX_ = new QComboBox(this);
  for (const char* x : T::kGraphXItems) graphX_->addItem(QString::fromUtf8(x));
  graphX_->setToolTip(QString::fromUtf8(T::kGraphXHint));
  add(T::kGraph, T::kGraphHint, 1, 0, [this] { nb_.graph(graphX_->currentIndex()); });
  grid->addWidget(graphX_, 1, 1);
  add(T::kStatistics, T::kStatisticsHint, 2, 0, [this] { nb_.statistics(); });
  add(T::kEvaluate, T::kEvaluateHint, 3, 0, [this] { nb_.evaluateOnce(); });
  add(T::kCompute, T::kComputeHint, 4, 0, [this] { nb_.computeColumn(); });
  add(T::kClear, T::kClearHint, 5, 0, [this] { nb_.clearAll(); });
  add(T::kPrint, T::kPrintHint, 0, 2, [this] { nb_.print(); });
  add(T::kRead, T::kReadHint, 1, 2, [this] { nb_.readFile(); });
  add(T::kSave, T::kSaveHint, 2, 2, [this] { nb_.saveFile(); });
  add(T::kExit, T::kExitHint, 3, 2, [this] { nb_.exitNotebook(); });
  add(T::kCancel, T::kCancelHint, 4, 2, [this] { hide(); });
  applyDialogLook(this);
}

QPushButton* NotebookPanel::button(const char* caption) const {
  for (QPushButton* b : buttons_)
    if (b->text() == QString::fromUtf8(caption)) return b;
  return nullptr;
}

void NotebookPanel::keyPressEvent(QKeyEvent* e) {
  switch (e->key()) {
    case Qt::Key_F2: nb_.print(); return;
    case Qt::Key_F3: nb_.readFile(); return;
    case Qt::Key_F4: nb_.saveFile(); return;
    case Qt::Key_F10: nb_.exitNotebook(); return;
    default: QDialog::keyPressEvent(e);
  }
}

}  // namespace velor
