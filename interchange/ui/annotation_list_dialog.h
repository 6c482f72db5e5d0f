// "Аннотации": every annotation of the open EDF+ / BDF+ file, in onset order,
// as its time, page and text. Choosing one (Enter or a double click; the
// arrow keys step from one to the next) asks for it to be shown; who shows
// it is wired in the shell.
#pragma once

#include <QDialog>
#include <vector>

#include "interchange/edf.h"

class QListWidget;

namespace velor {

class AnnotationListDialog : public QDialog {
  Q_OBJECT

 public:
  AnnotationListDialog(std::vector<EdfAnnotation> annotations, QWidget* parent = nullptr);

  const std::vector<EdfAnnotation>& annotations() const { return annotations_; }
  QListWidget* list() const { return list_; }
  // Text of row i as listed: "12.500 с  стр. 1  T0".
  static QString rowText(const EdfAnnotation& a);

 Q_SIGNALS:
  void annotationChosen(const velor::EdfAnnotation& annotation);

 private:
  std::vector<EdfAnnotation> annotations_;
  QListWidget* list_ = nullptr;
};

}  // namespace velor
