// The band table window "Частотные диапазоны": a grid of 30 band rows
// (number, name, low and high frequency in Hz) edited in place in the study
// state's band table, with ".dia" files written and read through the file
// window. bandCount follows every edit and is settled again on closing.
#pragma once

#include <QDialog>
#include <functional>
#include <optional>
#include <string>

#include "core/interaction.h"
#include "core/study_state.h"

class QPushButton;
class QTableWidget;

namespace velor {

class FileWindow;

class BandTableDialog final : public QDialog {
  Q_OBJECT
 public:
  // Chooses a ".dia" file to read (save false) or to write (save true);
  // nothing when cancelled.
  using BandFilePicker = std::function<std::optional<std::string>(bool save)>;

  // An empty table (a fresh installation) is given the default bands first.
  BandTableDialog(StudyState& s, Interaction& ui, BandFilePicker pick, QWidget* parent = nullptr);

  QTableWidget* grid() const { return grid_; }
  QPushButton* writeButton() const { return write_; }
  QPushButton* readButton() const { return read_; }

  // The two buttons.
  void writeBands();
  void readBands();
  // Shows the state's band table again.
  void showTable();

 protected:
  void done(int r) override;

 private:
  void cellEdited(int row, int column);

  StudyState& s_;
  Interaction& ui_;
  BandFilePicker pick_;
  QTableWidget* grid_ = nullptr;
  QPushButton* write_ = nullptr;
  QPushButton* read_ = nullptr;
  bool filling_ = false;
};

// A picker that shows the file window for band tables (FileKind::FrequencyBands).
BandTableDialog::BandFilePicker bandFilePicker(FileWindow& fileWindow);

}  // namespace velor
