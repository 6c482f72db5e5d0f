#include "interchange/ui/annotation_list_dialog.h"

#include <QListWidget>
#include <QVBoxLayout>
#include <cstdio>

#include "interchange/ui/annotation_list_texts.h"

namespace velor {

using namespace annotation_list_text;

QString AnnotationListDialog::rowText(const EdfAnnotation& a) {
  char b[48];
  std::snprintf(b, sizeof b, "%.3f", a.onset);
  return QString::fromUtf8(b) + QString::fromUtf8(kSecondsSuffix) + "  " + QString::fromUtf8(kPagePrefix) +
         QString::number(a.page) + "  " + QString::fromStdString(a.text);
}

AnnotationListDialog::AnnotationListDialog(std::vector<EdfAnnotation> annotations, QWidget* parent)
    : QDialog(parent), annotations_(std::move(annotations)) {
  setWindowTitle(QString::fromUtf8(kCaption));
  auto* layout = new QVBoxLayout(this);
  list_ = new QListWidget(this);
  for (const EdfAnnotation& a : annotations_) list_->addItem(rowText(a));
  layout->addWidget(list_);
  resize(360, 420);
  auto choose = [this](int row) {
    if (row >= 0 && row < static_cast<int>(annotations_.size()))
      Q_EMIT annotationChosen(annotations_[static_cast<std::size_t>(row)]);
  };
  connect(list_, &QListWidget::itemActivated, this, [this, choose](QListWidgetItem* item) { choose(list_->row(item)); });
}

}  // namespace velor
