#include "viewer/ui/lead_editor_dialog.h"

#include <QAction>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "core/binio.h"
#include "core/numtext.h"
#include "core/settings.h"
#include "core/text.h"
#include "core/ui/dialog_look.h"
#include "viewer/leads_texts.h"
#include "viewer/ui/pick_list_dialog.h"

namespace velor {

using namespace velor::leads_text;

namespace {

QString qs(const char* s) { return QString::fromUtf8(s); }
QString qs(const std::string& s) { return QString::fromStdString(s); }

constexpr int kHeadPanelWidth = 400;
constexpr int kHeadPanelHeight = 310;
constexpr int kPairLineWidth = 8;
constexpr int kDragThreshold = 3;  // pixels a press may wander and still be a click
constexpr int kNameColumn = 2;
constexpr int kOrderColumn = 1;
constexpr int kPopupAt = 100;  // "<Esc>=Отменить" opens the popup menu there

Qt::ItemFlags readOnly() { return Qt::ItemIsSelectable | Qt::ItemIsEnabled; }

QTableWidgetItem* cell(const QString& text, Qt::ItemFlags flags) {
  auto* item = new QTableWidgetItem(text);
  item->setFlags(flags);
  return item;
}

}  // namespace

// The head scheme with the pair lines; the electrode buttons are its children.
class LeadHeadView final : public QWidget {
 public:
  explicit LeadHeadView(LeadEditorDialog* owner) : QWidget(owner), owner_(owner) {
    setObjectName("headView");
    setFixedSize(kHeadPanelWidth, kHeadPanelHeight);
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    owner_->paintHead(p);
  }

 private:
  LeadEditorDialog* owner_;
};

LeadEditorDialog::LeadEditorDialog(StudyState& s, Interaction& ui, FilePicker pick, QWidget* parent)
    : QDialog(parent), s_(s), ui_(ui), pick_(std::move(pick)) {
  setWindowTitle(qs(kEditorTitle));
  setModal(true);
  pickList_ = [this](const QString& title, const QStringList& items) {
    PickListDialog list(s_, title, items, this);
    return list.exec() == QDialog::Accepted ? list.chosenRow() : -1;
  };

  grid_ = new QTableWidget(this);
  grid_->setObjectName("channelGrid");
  grid_->verticalHeader()->hide();
  grid_->setSelectionBehavior(QAbstractItemView::SelectRows);
  grid_->setSelectionMode(QAbstractItemView::SingleSelection);
  // A double click chooses the kind (or inserts a pair); typing edits the name.
  grid_->setEditTriggers(QAbstractItemView::AnyKeyPressed | QAbstractItemView::EditKeyPressed);
  grid_->setMinimumWidth(230);
  grid_->installEventFilter(this);
  connect(grid_, &QTableWidget::currentCellChanged, this, [this](int row, int, int, int) {
    if (filling_ || row < 0) return;
    if (pairMode_)
      selectPair(row);
    else
      selectChannel(row);
  });
  connect(grid_, &QTableWidget::itemChanged, this, [this](QTableWidgetItem* item) {
    if (filling_ || pairMode_ || item->column() != kNameColumn) return;
    setName(item->row(), item->text());
  });
  connect(grid_, &QTableWidget::cellDoubleClicked, this, [this](int row, int) {
    if (pairMode_) {
      insertPair();
    } else {
      selectChannel(row);
      changeKind();
    }
  });

  head_ = new LeadHeadView(this);
  for (int k = 0; k < kMaxChannels; ++k) {
    auto* b = new QPushButton(head_);
    b->setObjectName(QStringLiteral("electrode%1").arg(k + 1));
    b->setFixedSize(kButtonWidth, kButtonHeight);
    b->setFocusPolicy(Qt::NoFocus);
    b->setProperty("channel", k);
    b->installEventFilter(this);
    b->hide();
    electrodes_[static_cast<std::size_t>(k)] = b;
  }
  positionLabel_ = new QLabel(this);
  positionLabel_->setObjectName("positionLabel");
  reference_ = new QComboBox(this);
  reference_->setObjectName("referenceList");
  for (int k = 0; k <= 6; ++k) reference_->addItem(qs(referenceKindName(k)));

  auto makeButton = [this](Button b, const char* caption, QWidget* parent) {
    auto* button = new QPushButton(qs(caption), parent);
    button->setAutoDefault(false);
    buttons_[static_cast<std::size_t>(b)] = button;
    return button;
  };
  connect(makeButton(Button::Pairs, kPairsOn, this), &QPushButton::clicked, this, &LeadEditorDialog::togglePairs);
  connect(makeButton(Button::ReadPairs, kPairsRead, this), &QPushButton::clicked, this, &LeadEditorDialog::readPairs);
  connect(makeButton(Button::SavePairs, kPairsSave, this), &QPushButton::clicked, this, &LeadEditorDialog::savePairs);
  connect(makeButton(Button::Accept, kAccept, this), &QPushButton::clicked, this, &LeadEditorDialog::acceptLeads);
  connect(makeButton(Button::Cancel, kCancel, this), &QPushButton::clicked, this,
          [this] { openPopup(mapToGlobal(QPoint(kPopupAt, kPopupAt))); });

  orderPanel_ = new QGroupBox(qs(kOrderPanel), this);
  orderPanel_->setObjectName("orderPanel");
  orderGrid_ = new QTableWidget(orderPanel_);
  orderGrid_->setObjectName("orderGrid");
  orderGrid_->verticalHeader()->hide();
  orderGrid_->setColumnCount(2);
  orderGrid_->setHorizontalHeaderLabels({qs(kColumnName), qs(kColumnOrder)});
  connect(makeButton(Button::OrderRead, kOrderRead, orderPanel_), &QPushButton::clicked, this, &LeadEditorDialog::readOrder);
  connect(makeButton(Button::OrderSave, kOrderSave, orderPanel_), &QPushButton::clicked, this, &LeadEditorDialog::saveOrder);
  connect(makeButton(Button::OrderApply, kOrderApply, orderPanel_), &QPushButton::clicked, this, &LeadEditorDialog::applyOrder);
  connect(makeButton(Button::OrderClose, kOrderClose, orderPanel_), &QPushButton::clicked, orderPanel_, &QWidget::hide);

  popup_ = new QMenu(this);
  popup_->setObjectName("leadPopup");
  const std::pair<MenuItem, const char*> items[] = {{MenuItem::Insert, kMenuInsert},
                                                    {MenuItem::Delete, kMenuDelete},
                                                    {MenuItem::Kind, kMenuKind},
                                                    {MenuItem::System1020, kMenu1020},
                                                    {MenuItem::Order, kMenuOrder}};
  for (const auto& [item, caption] : items) {
    QAction* a = popup_->addAction(qs(caption));
    actions_[static_cast<std::size_t>(item)] = a;
  }
  // The menu shows the keys; keyPressEvent does what they do while it is closed.
  for (const auto& [item, key] : {std::pair{MenuItem::Insert, Qt::Key_Insert}, std::pair{MenuItem::Delete, Qt::Key_Delete}}) {
    menuAction(item)->setShortcut(QKeySequence(key));
    menuAction(item)->setShortcutVisibleInContextMenu(true);
  }
  connect(menuAction(MenuItem::Insert), &QAction::triggered, this, &LeadEditorDialog::insertPair);
  connect(menuAction(MenuItem::Delete), &QAction::triggered, this, &LeadEditorDialog::deletePair);
  connect(menuAction(MenuItem::Kind), &QAction::triggered, this, &LeadEditorDialog::changeKind);
  connect(menuAction(MenuItem::System1020), &QAction::triggered, this, &LeadEditorDialog::system1020);
  connect(menuAction(MenuItem::Order), &QAction::triggered, this, &LeadEditorDialog::showOrderPanel);

  // Layout: the grid, the head with its controls, the order panel.
  auto* outer = new QHBoxLayout(this);
  outer->addWidget(grid_, 1);
  auto* centre = new QVBoxLayout;
  centre->addWidget(head_);
  centre->addWidget(positionLabel_);
  auto* referenceRow = new QHBoxLayout;
  referenceRow->addWidget(new QLabel(qs(kReferenceLabel), this));
  referenceRow->addWidget(reference_, 1);
  centre->addLayout(referenceRow);
  auto* pairRow = new QHBoxLayout;
  for (Button b : {Button::Pairs, Button::ReadPairs, Button::SavePairs}) pairRow->addWidget(button(b));
  centre->addLayout(pairRow);
  auto* closeRow = new QHBoxLayout;
  for (Button b : {Button::Accept, Button::Cancel}) closeRow->addWidget(button(b));
  centre->addLayout(closeRow);
  centre->addStretch(1);
  outer->addLayout(centre);
  auto* orderLayout = new QVBoxLayout(orderPanel_);
  orderLayout->addWidget(orderGrid_, 1);
  for (Button b : {Button::OrderRead, Button::OrderSave, Button::OrderApply, Button::OrderClose})
    orderLayout->addWidget(button(b));
  outer->addWidget(orderPanel_);
  orderPanel_->hide();
  applyDialogLook(this);
}

LeadEditorDialog::~LeadEditorDialog() = default;

QWidget* LeadEditorDialog::headView() const { return head_; }

QAction* LeadEditorDialog::menuAction(MenuItem item) const { return actions_[static_cast<std::size_t>(item)]; }

QPushButton* LeadEditorDialog::button(Button b) const { return buttons_[static_cast<std::size_t>(b)]; }

QPushButton* LeadEditorDialog::electrode(int channel) const {
  return channel >= 0 && channel < kMaxChannels ? electrodes_[static_cast<std::size_t>(channel)] : nullptr;
}

void LeadEditorDialog::setPickListRunner(PickList run) { pickList_ = std::move(run); }

void LeadEditorDialog::initialise(int reorderMode) {
  reorderMode_ = reorderMode == 0 ? 0 : 1;
  helpBefore_ = s_.helpContext;
  s_.helpContext = kLeadEditorHelpContext;
  names_.assign(s_.channelNames.begin(), s_.channelNames.begin() + kMaxChannels);
  pairMode_ = false;
  channel_ = 0;
  pair_ = 0;
  reference_->setCurrentIndex(s_.referenceKind >= 0 && s_.referenceKind <= 6 ? s_.referenceKind : 0);
  orderPanel_->hide();
  // A missing or unfit "qchn.ini" only leaves the order column at the
  // record's own order.
  savedOrder_.reset();
  if (!s_.programDir.empty()) {
    OrderFile f;
    std::string reason;
    if (readOrderFile(s_.programDir + kOrderSettingsFile, s_.channelCount, f, reason)) savedOrder_ = f.order;
  }
  refreshAll();
  selectChannel(0);
}

// --- grid --------------------------------------------------------------------------------

void LeadEditorDialog::fillGrid() {
  filling_ = true;
  grid_->clearContents();
  grid_->setColumnCount(3);
  const int n = std::clamp(s_.channelCount, 0, kMaxChannels);
  if (!pairMode_) {
    grid_->setHorizontalHeaderLabels({qs(kColumnNumber), qs(kColumnKind), qs(kColumnName)});
    grid_->setRowCount(n);
    for (int i = 0; i < n; ++i) {
      const auto at = static_cast<std::size_t>(i);
      grid_->setItem(i, 0, cell(QString::number(i + 1), readOnly()));
      grid_->setItem(i, 1, cell(qs(channelKindName(s_.channelPosX[at])), readOnly()));
      grid_->setItem(i, kNameColumn, cell(qs(names_[at]), readOnly() | Qt::ItemIsEditable));
    }
  } else {
    grid_->setHorizontalHeaderLabels({qs(kColumnNumber), qs(kColumnPairFirst), qs(kColumnPairSecond)});
    grid_->setRowCount(kMaxEditorPairs);
    for (int k = 0; k < kMaxEditorPairs; ++k) fillPairRow(k);
  }
  filling_ = false;
}

void LeadEditorDialog::fillPairRow(int row) {
  const bool wasFilling = filling_;
  filling_ = true;
  QString ends[2];
  if (row < std::clamp(s_.leadPairCount, 0, kMaxLeadPairs)) {
    for (int e = 0; e < 2; ++e) {
      const int c = s_.leadPairs[static_cast<std::size_t>(row)][static_cast<std::size_t>(e)];
      if (c >= 1 && c <= s_.channelCount && c <= kMaxChannels)
        ends[e] = qs(trimSpaces(names_[static_cast<std::size_t>(c - 1)]));
    }
  }
  grid_->setItem(row, 0, cell(QString::number(row + 1), readOnly()));
  grid_->setItem(row, 1, cell(ends[0], readOnly()));
  grid_->setItem(row, 2, cell(ends[1], readOnly()));
  filling_ = wasFilling;
}

void LeadEditorDialog::selectChannel(int channel) {
  if (channel < 0 || channel >= s_.channelCount || channel >= kMaxChannels) return;
  channel_ = channel;
  if (!pairMode_ && grid_->currentRow() != channel) {
    filling_ = true;
    grid_->setCurrentCell(channel, kNameColumn);
    filling_ = false;
  }
  styleElectrodes();
  showPosition();
}

void LeadEditorDialog::selectPair(int row) {
  const int count = std::clamp(s_.leadPairCount, 0, kMaxEditorPairs);
  // Rows beyond the defined pairs are not pairs: back to the last one.
  pair_ = std::clamp(row, 0, std::max(0, count - 1));
  if (pairMode_ && grid_->currentRow() != pair_) {
    filling_ = true;
    grid_->setCurrentCell(pair_, 1);
    filling_ = false;
  }
  head_->update();
}

void LeadEditorDialog::setName(int channel, const QString& typed) {
  if (channel < 0 || channel >= s_.channelCount || channel >= kMaxChannels) return;
  const auto at = static_cast<std::size_t>(channel);
  names_[at] = fitLeadName(typed.toStdString());
  if (!pairMode_) {
    if (QTableWidgetItem* item = grid_->item(channel, kNameColumn); item && item->text() != qs(names_[at])) {
      filling_ = true;
      item->setText(qs(names_[at]));
      filling_ = false;
    }
  }
  placeElectrode(channel);
}

// --- electrodes ---------------------------------------------------------------------------

void LeadEditorDialog::placeElectrode(int channel) {
  QPushButton* b = electrode(channel);
  if (!b) return;
  const auto at = static_cast<std::size_t>(channel);
  const bool shown = channel < s_.channelCount && isElectrode(s_.channelPosX[at]);
  b->setVisible(shown);
  if (!shown) return;
  b->setText(qs(trimSpaces(utf8Substr(names_[at], 0, kLeadNameChars))));
  b->move(pixelFromGrid(s_.channelPosX[at], kButtonWidth, kImageLeft, kImageWidth),
          pixelFromGrid(s_.channelPosY[at], kButtonHeight, kImageTop, kImageHeight));
}

void LeadEditorDialog::placeElectrodes() {
  for (int k = 0; k < kMaxChannels; ++k) placeElectrode(k);
}

void LeadEditorDialog::styleElectrodes() {
  for (int k = 0; k < kMaxChannels; ++k) {
    QPushButton* b = electrodes_[static_cast<std::size_t>(k)];
    const bool selected = !pairMode_ && k == channel_;
    QFont f = b->font();
    f.setBold(!selected);
    f.setItalic(selected);
    b->setFont(f);
    b->setStyleSheet(selected ? QStringLiteral("color: red;") : QStringLiteral("color: black;"));
  }
}

void LeadEditorDialog::showPosition() { positionLabel_->setText(qs(positionText(s_, channel_))); }

void LeadEditorDialog::refreshAll() {
  setWindowTitle(qs(pairMode_ ? kPairTitle : kEditorTitle));
  button(Button::Pairs)->setText(qs(pairMode_ ? kPairsOff : kPairsOn));
  button(Button::ReadPairs)->setVisible(pairMode_);
  button(Button::SavePairs)->setVisible(pairMode_);
  button(Button::SavePairs)->setEnabled(s_.leadPairCount > 0);
  menuAction(MenuItem::Insert)->setEnabled(pairMode_);
  menuAction(MenuItem::Delete)->setEnabled(pairMode_);
  menuAction(MenuItem::Kind)->setEnabled(!pairMode_);
  fillGrid();
  placeElectrodes();
  if (pairMode_) {
    selectPair(pair_);
  } else {
    selectChannel(std::clamp(channel_, 0, std::max(0, s_.channelCount - 1)));
  }
  styleElectrodes();
  showPosition();
  head_->update();
}

void LeadEditorDialog::dropElectrode(int channel, QPoint where) {
  if (channel < 0 || channel >= s_.channelCount || channel >= kMaxChannels) return;
  const auto at = static_cast<std::size_t>(channel);
  if (!pairMode_) {
    if (!isElectrode(s_.channelPosX[at])) return;
    s_.channelPosX[at] = static_cast<std::uint8_t>(gridFromPixel(where.x(), kButtonWidth, kImageLeft, kImageWidth));
    s_.channelPosY[at] = static_cast<std::uint8_t>(gridFromPixel(where.y(), kButtonHeight, kImageTop, kImageHeight));
  } else {
    // Dropped onto another electrode: that one takes the dragged one's place in the selected pair.
    const QPoint centre = where + QPoint(kButtonWidth / 2, kButtonHeight / 2);
    for (int t = 0; t < s_.channelCount && t < kMaxChannels; ++t) {
      QPushButton* b = electrode(t);
      if (t == channel || b->isHidden() || !b->geometry().contains(centre)) continue;
      if (changeLeadPair(s_, pair_, channel + 1, t + 1) == PairEdit::Done) fillPairRow(pair_);
      break;
    }
  }
  placeElectrode(channel);
  showPosition();
  head_->update();
}

// --- pairs --------------------------------------------------------------------------------

void LeadEditorDialog::togglePairs() {
  if (!pairMode_ && !hasEegLeads(s_)) {
    ui_.message(kNoEegLeads);
    return;
  }
  pairMode_ = !pairMode_;
  pair_ = 0;
  refreshAll();
}

void LeadEditorDialog::insertPair() {
  if (!pairMode_) return;
  switch (insertLeadPair(s_, pair_)) {
    case PairEdit::NeedTwoLeads:
      ui_.message(kNeedTwoLeads);
      return;
    case PairEdit::Full:
      ui_.message("Пар отведений не может быть больше " + std::to_string(kMaxEditorPairs) + ".");
      return;
    default:
      break;
  }
  refreshAll();
}

void LeadEditorDialog::deletePair() {
  if (!pairMode_ || deleteLeadPair(s_, pair_) != PairEdit::Done) return;
  refreshAll();
}

void LeadEditorDialog::readPairs() {
  if (!pairMode_ || !pick_) return;
  const auto path = pick_(FileKind::PairGrid, false);
  if (!path) return;
  if (readLeadPairs(s_, *path, ui_)) pair_ = 0;
  refreshAll();
}

void LeadEditorDialog::savePairs() {
  if (!pairMode_ || s_.leadPairCount <= 0 || !pick_) return;
  if (const auto path = pick_(FileKind::PairGrid, true)) writeLeadPairs(s_, *path, ui_);
}

// --- kinds and templates ------------------------------------------------------------------

void LeadEditorDialog::changeKind() {
  if (pairMode_ || channel_ >= s_.channelCount) return;
  QStringList items;
  for (const char* kind : kKindChoices) items << qs(kind);
  const int choice = pickList_(qs(kKindTitle), items);
  if (choice < 0 || choice >= items.size() || !setChannelKind(s_, channel_, choice)) return;
  // The grid shows the entry as chosen (the empty one stays empty).
  if (QTableWidgetItem* item = grid_->item(channel_, 1)) item->setText(items[choice]);
  placeElectrode(channel_);
  showPosition();
  head_->update();
}

void LeadEditorDialog::system1020() {
  if (!loadSystem1020(s_, ui_)) return;
  for (int i = 0; i < s_.channelCount && i < kMaxChannels; ++i)
    names_[static_cast<std::size_t>(i)] = s_.channelNames[static_cast<std::size_t>(i)];
  refreshAll();
}

// --- channel order --------------------------------------------------------------------------

void LeadEditorDialog::showOrderPanel() {
  const int n = std::clamp(s_.channelCount, 0, kMaxChannels);
  const OrderColumn order = savedOrder_.value_or(orderFromState(s_));
  savedOrder_.reset();  // offered once; afterwards the column follows the record
  orderGrid_->setRowCount(n);
  for (int i = 0; i < n; ++i) {
    orderGrid_->setItem(i, 0, cell(qs(trimSpaces(names_[static_cast<std::size_t>(i)])), readOnly()));
    orderGrid_->setItem(i, kOrderColumn,
                        cell(QString::number(order[static_cast<std::size_t>(i)]), readOnly() | Qt::ItemIsEditable));
  }
  orderPanel_->show();
}

OrderColumn LeadEditorDialog::orderColumnShown() const {
  OrderColumn o = identityOrder();
  for (int i = 0; i < orderGrid_->rowCount() && i < kMaxChannels; ++i) {
    const QTableWidgetItem* item = orderGrid_->item(i, kOrderColumn);
    const auto v = item ? parseInteger(item->text().toStdString()) : std::nullopt;
    o[static_cast<std::size_t>(i)] = v.value_or(0);  // not a number: reported as out of range
  }
  return o;
}

void LeadEditorDialog::readOrder() {
  if (!pick_) return;
  const auto path = pick_(FileKind::NewChannelOrder, false);
  if (!path) return;
  OrderColumn order{};
  std::string reason;
  if (!readNewOrderFile(*path, s_.channelCount, order, reason)) {
    ui_.message("Файл " + baseName(*path) + " не прочитан: " + reason + ".");
    return;
  }
  if (!setChannelOrder(s_, order, ui_)) return;
  showOrderPanel();
}

void LeadEditorDialog::saveOrder() {
  const OrderColumn order = orderColumnShown();
  if (const std::string problem = orderProblem(order, s_.channelCount); !problem.empty()) {
    ui_.message("Порядок каналов не записан: " + problem + ".");
    return;
  }
  if (!pick_) return;
  const auto path = pick_(FileKind::NewChannelOrder, true);
  if (path && !writeNewOrderFile(*path, order)) ui_.message("Файл " + baseName(*path) + " не записан.");
}

void LeadEditorDialog::applyOrder() {
  const OrderColumn order = orderColumnShown();
  const SlotMoves moves = reorderMoves(s_, order, reorderMode_);
  const bool done = reorderMode_ == 1 ? reorderRecord(s_, order, ui_) : reorderAcquisition(s_, order, ui_);
  if (!done) return;
  // The typed names move with their channels.
  std::vector<std::string> moved = names_;
  for (int i = 0; i < s_.channelCount && i < kMaxChannels; ++i)
    moved[static_cast<std::size_t>(moves[static_cast<std::size_t>(i)])] = names_[static_cast<std::size_t>(i)];
  names_ = std::move(moved);
  orderPanel_->hide();
  refreshAll();
}

// --- accept, close, keys, mouse ---------------------------------------------------------------

void LeadEditorDialog::acceptLeads() {
  if (!pairMode_) acceptLeadNames(s_, names_, reference_->currentIndex());
  accept();
}

void LeadEditorDialog::openPopup(const QPoint& globalPos) { popup_->popup(globalPos); }

void LeadEditorDialog::writeOrderSettings() {
  if (s_.programDir.empty()) return;
  OrderFile f;
  f.firstColumn = identityOrder();
  f.order = orderColumnShown();
  writeOrderFile(s_.programDir + kOrderSettingsFile, f);
  writeTextLines(s_.programDir + kCurrentTemplateFile, leadTemplateLines(currentLeadTemplate(s_)));
}

void LeadEditorDialog::done(int r) {
  if (!closedOnce_) {
    closedOnce_ = true;
    writeOrderSettings();
    s_.helpContext = helpBefore_;
  }
  s_.dialogResult = r == QDialog::Accepted ? 1 : 0;
  QDialog::done(r);
}

void LeadEditorDialog::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_F10) {
    reject();
    return;
  }
  // Ins and Del work on pairs; keys a name being typed needs never get here.
  if (event->modifiers() == Qt::NoModifier && (event->key() == Qt::Key_Insert || event->key() == Qt::Key_Delete)) {
    if (event->key() == Qt::Key_Insert)
      insertPair();
    else
      deletePair();
    return;
  }
  QDialog::keyPressEvent(event);
}

void LeadEditorDialog::contextMenuEvent(QContextMenuEvent* event) { openPopup(event->globalPos()); }

bool LeadEditorDialog::eventFilter(QObject* watched, QEvent* event) {
  auto* b = qobject_cast<QPushButton*>(watched);
  const bool mouse = event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseMove ||
                     event->type() == QEvent::MouseButtonRelease;
  if (b && b->parent() == head_ && mouse) {
    const int channel = b->property("channel").toInt();
    auto* m = static_cast<QMouseEvent*>(event);  // a mouse event: checked above
    switch (event->type()) {
      case QEvent::MouseButtonPress:
        if (m->button() != Qt::LeftButton) break;
        if (!pairMode_) selectChannel(channel);
        dragged_ = channel;
        dragFrom_ = m->globalPosition().toPoint();
        buttonFrom_ = b->pos();
        b->raise();
        return true;
      case QEvent::MouseMove:
        if (dragged_ != channel) break;
        b->move(buttonFrom_ + (m->globalPosition().toPoint() - dragFrom_));
        return true;
      case QEvent::MouseButtonRelease: {
        if (dragged_ != channel) break;
        dragged_ = -1;
        const QPoint moved = m->globalPosition().toPoint() - dragFrom_;
        if (moved.manhattanLength() < kDragThreshold) {
          b->move(buttonFrom_);  // a click only selects
        } else {
          dropElectrode(channel, buttonFrom_ + moved);
        }
        return true;
      }
      default:
        break;
    }
  }
  if (watched == grid_ && !pairMode_ && (event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease)) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    int dx = 0, dy = 0;
    if (key == Qt::Key_Left) dx = -1;
    if (key == Qt::Key_Right) dx = 1;
    if (key == Qt::Key_Up) dy = -1;
    if (key == Qt::Key_Down) dy = 1;
    const bool page = key == Qt::Key_PageUp || key == Qt::Key_PageDown;
    if (dx != 0 || dy != 0 || page) {
      // These keys act on release; their presses must not move the grid's row.
      if (event->type() == QEvent::KeyRelease) {
        if (page) {
          selectChannel(channel_ + (key == Qt::Key_PageUp ? -1 : 1));
        } else if (moveElectrode(s_, channel_, dx, dy)) {
          placeElectrode(channel_);
          showPosition();
          head_->update();
        }
      }
      return true;
    }
  }
  return QDialog::eventFilter(watched, event);
}

// --- drawing ------------------------------------------------------------------------------------

void LeadEditorDialog::paintHead(QPainter& p) {
  p.fillRect(head_->rect(), dialogPanelColour());
  p.setRenderHint(QPainter::Antialiasing);
  const QRect image(kImageLeft, kImageTop, kImageWidth, kImageHeight);
  const int cx = image.center().x();
  const int cy = image.center().y();
  p.setPen(QPen(Qt::black, 2));
  p.setBrush(Qt::NoBrush);
  // nose and ears, then the head over their inner halves
  p.drawArc(QRect(cx - 16, image.top() - 16, 32, 32), 20 * 16, 140 * 16);
  p.drawArc(QRect(image.left() - 12, cy - 24, 24, 48), 90 * 16, 180 * 16);
  p.drawArc(QRect(image.right() - 12, cy - 24, 24, 48), -90 * 16, 180 * 16);
  p.setBrush(Qt::white);
  p.drawEllipse(image);
  p.setPen(QPen(Qt::darkGray, 1));
  p.drawLine(cx, image.top(), cx, image.bottom());
  p.drawLine(image.left(), cy, image.right(), cy);
  if (!pairMode_) return;
  auto centreOf = [this](int oneBased) -> std::optional<QPoint> {
    if (oneBased < 1 || oneBased > s_.channelCount || oneBased > kMaxChannels) return std::nullopt;
    const QPushButton* b = electrodes_[static_cast<std::size_t>(oneBased - 1)];
    if (b->isHidden()) return std::nullopt;
    return b->geometry().center();
  };
  const int count = std::clamp(s_.leadPairCount, 0, kMaxLeadPairs);
  auto drawPair = [&](int k, const QColor& colour) {
    const auto& pair = s_.leadPairs[static_cast<std::size_t>(k)];
    const auto a = centreOf(pair[0]);
    const auto b = centreOf(pair[1]);
    if (!a || !b) return;
    p.setPen(QPen(colour, kPairLineWidth, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(*a, *b);
  };
  for (int k = 0; k < count; ++k)
    if (k != pair_) drawPair(k, Qt::green);
  if (pair_ < count) drawPair(pair_, Qt::red);  // the selected pair on top
}

void runLeadEditor(StudyState& s, Interaction& ui, LeadEditorDialog::FilePicker pick, QWidget* parent, int reorderMode) {
  LeadEditorDialog editor(s, ui, std::move(pick), parent);
  editor.initialise(reorderMode);
  editor.exec();
}

}  // namespace velor
