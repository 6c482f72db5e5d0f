// "Пики ЭКГ-спектра": the bands of the RR spectrum, ten numbered rows of the
// lower ("  НЧ") and upper ("  ВЧ") limit in Hz, kept in "qecg2.ini". Rows 1,
// 2, 3 are VLF, LF and HF; an empty cell counts as 0 and a band whose upper
// limit is 0 ends the list. "Утвердить" saves them (dialogResult 1),
// "<Esc>=Отменить" leaves the file as it was (dialogResult 0).
#pragma once

#include <QDialog>

#include "core/study_state.h"
#include "physio/ecg_settings.h"

class QPushButton;
class QTableWidget;

namespace velor {

class EcgBandsDialog final : public QDialog {
  Q_OBJECT
 public:
  EcgBandsDialog(StudyState& s, QWidget* parent = nullptr);
  QTableWidget* grid() const { return grid_; }
  QPushButton* acceptButton() const { return accept_; }
  QPushButton* cancelButton() const { return cancel_; }
  // The bands as the grid holds them.
  EcgBands bands() const;

 private:
  void onAccept();
  StudyState& s_;
  QTableWidget* grid_ = nullptr;
  QPushButton* accept_ = nullptr;
  QPushButton* cancel_ = nullptr;
};

}  // namespace velor
