#include "viewer/ui/pick_list_dialog.h"

#include <QKeyEvent>
#include <QListWidget>
#include <QVBoxLayout>

#include "core/ui/dialog_look.h"

namespace velor {

PickListDialog::PickListDialog(StudyState& s, const QString& title, const QStringList& items, QWidget* parent)
    : QDialog(parent), s_(s) {
  setWindowTitle(title);
  setModal(true);
  auto* layout = new QVBoxLayout(this);
  list_ = new QListWidget(this);
  list_->addItems(items);
  // An empty entry still needs a row one can point at.
  for (int i = 0; i < list_->count(); ++i) list_->item(i)->setSizeHint(QSize(80, 20));
  list_->setCurrentRow(0);
  list_->installEventFilter(this);
  layout->addWidget(list_);
  connect(list_, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem* item) { choose(list_->row(item)); });
  applyDialogLook(this);
  resize(140, 24 * static_cast<int>(items.size()) + 30);
}

void PickListDialog::choose(int row) {
  if (row < 0 || row >= list_->count()) return;
  row_ = row;
  s_.chosenFilePath = list_->item(row)->text().toStdString();
  accept();
}

bool PickListDialog::eventFilter(QObject* watched, QEvent* event) {
  if (watched == list_ && event->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
      choose(list_->currentRow());
      return true;
    }
  }
  return QDialog::eventFilter(watched, event);
}

void PickListDialog::done(int r) {
  s_.dialogResult = r == QDialog::Accepted && row_ >= 0 ? 1 : 0;
  QDialog::done(r);
}

}  // namespace velor
