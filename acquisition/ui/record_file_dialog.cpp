#include "acquisition/ui/record_file_dialog.h"

#include <QEvent>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "acquisition/exam_texts.h"
#include "core/ui/dialog_look.h"

namespace velor {

namespace {
QString q(const char* s) { return QString::fromUtf8(s); }
}  // namespace

RecordFileDialog::RecordFileDialog(StudyState& s, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint), s_(s) {
  setObjectName("recordFileDialog");
  setWindowTitle(q(exam_texts::kRecordFileBox));
  setModal(true);
  auto* box = new QGroupBox(q(exam_texts::kRecordFileBox));
  prompt_ = new QLabel(q(exam_texts::kEnterFileName));
  prompt_->installEventFilter(this);
  edit_ = new QLineEdit(QString::fromStdString(s_.chosenFilePath));
  confirm_ = new QPushButton(q(exam_texts::kConfirm));
  confirm_->setDefault(true);
  dismiss_ = new QPushButton(q(exam_texts::kDismiss));
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(confirm_);
  buttons->addWidget(dismiss_);
  auto* inner = new QVBoxLayout(box);
  inner->addWidget(prompt_);
  inner->addWidget(edit_);
  inner->addLayout(buttons);
  auto* all = new QVBoxLayout(this);
  all->addWidget(box);
  applyDialogLook(this);
  connect(confirm_, &QPushButton::clicked, this, [this] {
    s_.chosenFilePath = edit_->text().toStdString();
    s_.dialogResult = 1;
    accept();
  });
  connect(dismiss_, &QPushButton::clicked, this, [this] { reject(); });
}

bool RecordFileDialog::eventFilter(QObject* watched, QEvent* event) {
  if (watched == prompt_ && event->type() == QEvent::MouseButtonPress) {
    s_.dialogResult = 0;
    reject();
    return true;
  }
  return QDialog::eventFilter(watched, event);
}

}  // namespace velor
