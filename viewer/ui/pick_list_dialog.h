// PickListDialog: a pick list of one column. A double click or Enter on a row
// accepts it: `dialogResult` 1, the chosen text in `chosenFilePath` and its
// row in chosenRow(); Esc or closing leaves `dialogResult` 0.
#pragma once

#include <QDialog>
#include <QStringList>

#include "core/study_state.h"

class QListWidget;

namespace velor {

class PickListDialog final : public QDialog {
  Q_OBJECT
 public:
  PickListDialog(StudyState& s, const QString& title, const QStringList& items, QWidget* parent = nullptr);

  QListWidget* list() const { return list_; }
  int chosenRow() const { return row_; }
  // Accepts a row as a double click on it does.
  void choose(int row);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void done(int r) override;

 private:
  StudyState& s_;
  QListWidget* list_ = nullptr;
  int row_ = -1;
};

}  // namespace velor
