// LeadEditorDialog "Отведения": the lead editor. The channel grid with names and
// kinds, electrode buttons on a head scheme, the reference scheme, the lead
// pairs ("Парные связи" while they are edited), position templates and the
// channel order panel. Kinds, positions and pairs act on the study state at
// once; names and the reference are stored by "Утвердить". The rules live in
// viewer/leads.h; this window shows them and hands them the user's input.
#pragma once

#include <QDialog>
#include <QPoint>
#include <QString>
#include <QStringList>
#include <array>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/interaction.h"
#include "core/study_state.h"
#include "viewer/leads.h"

class QAction;
class QComboBox;
class QGroupBox;
class QLabel;
class QMenu;
class QPainter;
class QPushButton;
class QTableWidget;

namespace velor {

class LeadHeadView;

class LeadEditorDialog final : public QDialog {
  Q_OBJECT
 public:
  // The file window for a file kind (NewChannelOrder, PairGrid) in read
  // or save mode: the chosen path, or nothing when cancelled.
  using FilePicker = std::function<std::optional<std::string>(FileKind kind, bool save)>;
  // The pick list: the chosen row, or −1 when cancelled.
  using PickList = std::function<int(const QString& title, const QStringList& items)>;

  enum class Button { Pairs, ReadPairs, SavePairs, Accept, Cancel, OrderRead, OrderSave, OrderApply, OrderClose };
  enum class MenuItem { Insert, Delete, Kind, System1020, Order };

  // Head scheme geometry, in the coordinates of the head panel.
  static constexpr int kImageLeft = 160;
  static constexpr int kImageTop = 41;
  static constexpr int kImageWidth = 211;
  static constexpr int kImageHeight = 243;
  static constexpr int kButtonWidth = 32;
  static constexpr int kButtonHeight = 18;

  LeadEditorDialog(StudyState& s, Interaction& ui, FilePicker pick, QWidget* parent = nullptr);
  ~LeadEditorDialog() override;

  // Fills the window from the study state. Reorder mode 1 reorders the
  // record's channels, 0 only the channel order map of acquisition.
  void initialise(int reorderMode);
  // Replaces the pick list window (tests).
  void setPickListRunner(PickList run);

  QTableWidget* channelGrid() const { return grid_; }
  QTableWidget* orderGrid() const { return orderGrid_; }
  QGroupBox* orderPanel() const { return orderPanel_; }
  QComboBox* referenceList() const { return reference_; }
  QLabel* positionLabel() const { return positionLabel_; }
  QWidget* headView() const;
  QMenu* popupMenu() const { return popup_; }
  QAction* menuAction(MenuItem item) const;
  QPushButton* button(Button b) const;
  QPushButton* electrode(int channel) const;

  bool pairMode() const { return pairMode_; }
  int reorderMode() const { return reorderMode_; }
  int selectedChannel() const { return channel_; }
  int selectedPair() const { return pair_; }
  // The name column as typed (three characters each).
  const std::vector<std::string>& names() const { return names_; }

  // What the controls do.
  void selectChannel(int channel);
  void selectPair(int row);
  void setName(int channel, const QString& typed);
  void togglePairs();
  void insertPair();
  void deletePair();
  void changeKind();
  void system1020();
  void showOrderPanel();
  void readOrder();
  void saveOrder();
  void applyOrder();
  void readPairs();
  void savePairs();
  void acceptLeads();
  void openPopup(const QPoint& globalPos);
  // An electrode button let go with its top left corner at `where` (head
  // panel coordinates): moves the electrode, or in pair mode changes the
  // selected pair when it lies on another electrode.
  void dropElectrode(int channel, QPoint where);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void done(int r) override;

 private:
  friend class LeadHeadView;
  void buildGrid();
  void fillGrid();
  void fillPairRow(int row);
  void placeElectrode(int channel);
  void placeElectrodes();
  void styleElectrodes();
  void showPosition();
  void refreshAll();
  void paintHead(QPainter& p);
  OrderColumn orderColumnShown() const;
  void writeOrderSettings();

  StudyState& s_;
  Interaction& ui_;
  FilePicker pick_;
  PickList pickList_;
  int reorderMode_ = 1;
  bool pairMode_ = false;
  // the order column the editor left in "qchn.ini" last time, offered again
  std::optional<OrderColumn> savedOrder_;
  int channel_ = 0;
  int pair_ = 0;
  std::vector<std::string> names_;
  int helpBefore_ = 0;
  bool closedOnce_ = false;
  bool filling_ = false;

  QTableWidget* grid_ = nullptr;
  QTableWidget* orderGrid_ = nullptr;
  QGroupBox* orderPanel_ = nullptr;
  QComboBox* reference_ = nullptr;
  QLabel* positionLabel_ = nullptr;
  LeadHeadView* head_ = nullptr;
  QMenu* popup_ = nullptr;
  std::array<QAction*, 5> actions_{};
  std::array<QPushButton*, 9> buttons_{};
  std::array<QPushButton*, kMaxChannels> electrodes_{};
  // Dragging an electrode button.
  int dragged_ = -1;
  QPoint dragFrom_;
  QPoint buttonFrom_;
};

// Shows the lead editor modally in a reorder mode.
void runLeadEditor(StudyState& s, Interaction& ui, LeadEditorDialog::FilePicker pick, QWidget* parent, int reorderMode = 1);

}  // namespace velor
