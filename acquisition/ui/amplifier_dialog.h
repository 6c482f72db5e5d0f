// "Усилитель" and "Отведения и усилитель": each channel's gain, high-pass and
// low-pass item (and, for NVX amplifiers, its kind and designation) in a
// grid. A click on a setting cell opens a list of the column's texts with
// "Все каналы" and "1 канал"; "Утвердить" hands the edited table to the
// apply operation it was given and closes when that succeeds (a refusal is
// shown once and the dialog stays), "<Esc>=Отменить" leaves everything as it
// was.
#pragma once

#include <QDialog>
#include <QFrame>
#include <array>
#include <functional>

#include "acquisition/amplifier_settings.h"
#include "core/interaction.h"
#include "core/study_state.h"

class QCheckBox;
class QListWidget;
class QPushButton;
class QTableWidget;

namespace velor {

// The list window of a setting cell.
class SettingChooser final : public QFrame {
  Q_OBJECT
 public:
  explicit SettingChooser(QWidget* parent);
  void showList(const QStringList& texts, int current, bool withButtons);
  QListWidget* list() const { return list_; }
  QPushButton* allButton() const { return all_; }
  QPushButton* oneButton() const { return one_; }

 Q_SIGNALS:
  void chosen(int item, bool allChannels);

 private:
  QListWidget* list_ = nullptr;
  QPushButton* all_ = nullptr;
  QPushButton* one_ = nullptr;
};

class AmplifierDialog final : public QDialog {
  Q_OBJECT
 public:
  enum class Mode { Amplifier, Leads };
  using Apply = std::function<DeviceResult(AmplifierTable&)>;

  // `rows`: channels shown; `recordRows`: channels whose designations
  // "Утвердить" copies into the channel names (Leads).
  AmplifierDialog(StudyState& s, Interaction& ui, Mode mode, const AmplifierLists& lists, const AmplifierTable& table,
                  int rows, int recordRows, Apply apply, QWidget* parent = nullptr);

  QTableWidget* grid() const { return grid_; }
  QCheckBox* notchBox() const { return notch_; }
  QPushButton* okButton() const { return ok_; }
  QPushButton* cancelButton() const { return cancel_; }
  QPushButton* impedanceButton() const { return impedance_; }
  QPushButton* montageButton() const { return montage_; }
  SettingChooser* chooser() const { return chooser_; }
  // The table as edited so far.
  const AmplifierTable& table() const { return table_; }
  // Grid column of each setting.
  int column(AmplifierList l) const;

  // What a click on a cell does.
  void cellClicked(int row, int column);

 Q_SIGNALS:
  void impedanceRequested();
  void montageRequested();

 private:
  void fillRow(int row);
  void chooseFor(int item, bool all);
  void approve();

  StudyState& s_;
  Interaction& ui_;
  Mode mode_;
  const AmplifierLists& lists_;
  AmplifierTable table_;
  int rows_;
  int recordRows_;
  Apply apply_;
  std::array<std::uint8_t, kMaxChannels + 1> posX_{};
  QTableWidget* grid_ = nullptr;
  QCheckBox* notch_ = nullptr;
  QPushButton* ok_ = nullptr;
  QPushButton* cancel_ = nullptr;
  QPushButton* impedance_ = nullptr;
  QPushButton* montage_ = nullptr;
  SettingChooser* chooser_ = nullptr;
  int chooserRow_ = -1, chooserColumn_ = -1;
};

}  // namespace velor
