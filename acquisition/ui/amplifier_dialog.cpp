#include "acquisition/ui/amplifier_dialog.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QListWidget>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "core/ui/dialog_look.h"
#include "viewer/leads_texts.h"

namespace velor {

namespace {

QString q(const std::string& s) { return QString::fromStdString(s); }

// The record model's kinds, in the order of the kind list.
int posXForKind(int index, int old) {
  if (index == 0) return old > 240 ? 0 : old;  // "ЭЭГ"
  return 256 - index;
}

}  // namespace

SettingChooser::SettingChooser(QWidget* parent) : QFrame(parent) {
  setFrameShape(QFrame::Box);
  setAutoFillBackground(true);
  auto* layout = new QVBoxLayout(this);
  list_ = new QListWidget(this);
  layout->addWidget(list_);
  auto* buttons = new QHBoxLayout;
  all_ = new QPushButton(QStringLiteral("Все каналы"), this);
  all_->setToolTip(QStringLiteral("Установить все каналы"));
  one_ = new QPushButton(QStringLiteral("1 канал"), this);
  one_->setToolTip(QStringLiteral("Установить текущий канал"));
  buttons->addWidget(all_);
  buttons->addWidget(one_);
  layout->addLayout(buttons);
  connect(all_, &QPushButton::clicked, this, [this] { Q_EMIT chosen(list_->currentRow(), true); });
  connect(one_, &QPushButton::clicked, this, [this] { Q_EMIT chosen(list_->currentRow(), false); });
  connect(list_, &QListWidget::itemActivated, this, [this] { Q_EMIT chosen(list_->currentRow(), false); });
  hide();
}

void SettingChooser::showList(const QStringList& texts, int current, bool withButtons) {
  list_->clear();
  list_->addItems(texts);
  for (int i = 0; i < list_->count(); ++i) list_->item(i)->setSizeHint(QSize(80, 20));
  list_->setCurrentRow(std::clamp(current, 0, std::max(0, list_->count() - 1)));
  all_->setVisible(withButtons);
  one_->setVisible(withButtons);
  show();
  raise();
  list_->setFocus();
}

AmplifierDialog::AmplifierDialog(StudyState& s, Interaction& ui, Mode mode, const AmplifierLists& lists,
                                 const AmplifierTable& table, int rows, int recordRows, Apply apply, QWidget* parent)
    : QDialog(parent),
      s_(s),
      ui_(ui),
      mode_(mode),
      lists_(lists),
      table_(table),
      rows_(std::clamp(rows, 0, kMaxChannels)),
      recordRows_(std::clamp(recordRows, 0, kMaxChannels)),
      apply_(std::move(apply)),
      posX_(s.channelPosX) {
  setWindowTitle(mode == Mode::Amplifier ? QStringLiteral("Усилитель") : QStringLiteral("Отведения и усилитель"));
  setModal(true);
  auto* layout = new QVBoxLayout(this);
  grid_ = new QTableWidget(rows_, mode == Mode::Amplifier ? 4 : 6, this);
  grid_->setHorizontalHeaderLabels(mode == Mode::Amplifier
                                       ? QStringList{" N", "КУ/1000", "ФBЧ", "ФHЧ"}
                                       : QStringList{" N", "Тип", "Обзн", "КУ", "ФBЧ", "ФHЧ"});
  grid_->verticalHeader()->hide();
  grid_->verticalHeader()->setDefaultSectionSize(17);
  grid_->setSelectionMode(QAbstractItemView::SingleSelection);
  for (int r = 0; r < rows_; ++r) fillRow(r);
  layout->addWidget(grid_);
  connect(grid_, &QTableWidget::cellClicked, this, &AmplifierDialog::cellClicked);

  auto* buttons = new QHBoxLayout;
  if (mode == Mode::Amplifier) {
    notch_ = new QCheckBox(QStringLiteral("Реж 50Гц"), this);
    notch_->setToolTip(QStringLiteral("Включение/выключение режекторного фильтра 50 Гц"));
    notch_->setChecked(table_.notchOn);
    buttons->addWidget(notch_);
  }
  ok_ = new QPushButton(QStringLiteral("Утвердить"), this);
  cancel_ = new QPushButton(QStringLiteral("<Esc>=Отменить"), this);
  buttons->addWidget(ok_);
  buttons->addWidget(cancel_);
  if (mode == Mode::Leads) {
    impedance_ = new QPushButton(QStringLiteral("Импеданс"), this);
    impedance_->setToolTip(QStringLiteral("Измерение межэлектродного сопротивления"));
    montage_ = new QPushButton(QStringLiteral("Монтаж и пары"), this);
    montage_->setToolTip(QStringLiteral("Монтаж на скальпе и пары отведений"));
    buttons->addWidget(impedance_);
    buttons->addWidget(montage_);
    connect(impedance_, &QPushButton::clicked, this, &AmplifierDialog::impedanceRequested);
    connect(montage_, &QPushButton::clicked, this, &AmplifierDialog::montageRequested);
  }
  layout->addLayout(buttons);
  connect(ok_, &QPushButton::clicked, this, &AmplifierDialog::approve);
  connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);

  chooser_ = new SettingChooser(this);
  connect(chooser_, &SettingChooser::chosen, this, &AmplifierDialog::chooseFor);
  applyDialogLook(this);
  resize(mode == Mode::Amplifier ? 360 : 480, std::min(17 * rows_ + 20 + 57 + 40, 700));
}

int AmplifierDialog::column(AmplifierList l) const {
  return (mode_ == Mode::Amplifier ? 1 : 3) + static_cast<int>(l);
}

void AmplifierDialog::fillRow(int r) {
  const auto set = [this, r](int c, const QString& text) {
    auto* item = new QTableWidgetItem(text);
    if (!(mode_ == Mode::Leads && c == 2)) item->setFlags(item->flags() & ~Qt::ItemIsEditable);
    grid_->setItem(r, c, item);
  };
  set(0, QString::number(r + 1));
  if (mode_ == Mode::Leads) {
    set(1, QString::fromUtf8(channelKindName(posX_[static_cast<std::size_t>(r)])));
    // The designation is edited in place: written once, kept while other cells change.
    if (!grid_->item(r, 2)) set(2, q(s_.channelNames[static_cast<std::size_t>(r)]));
  }
  for (int l = 0; l < 3; ++l) {
    const AmplifierOption* o = chosenOption(lists_, table_, r, static_cast<AmplifierList>(l));
    set(column(static_cast<AmplifierList>(l)), o ? q(o->text) : QString());
  }
}

void AmplifierDialog::cellClicked(int row, int col) {
  if (row < 0 || row >= rows_) return;
  grid_->setCurrentCell(row, col);
  chooserRow_ = row;
  chooserColumn_ = col;
  if (mode_ == Mode::Leads && col == 1) {
    QStringList kinds;
    for (const char* k : leads_text::kKindChoices) kinds << QString::fromUtf8(k);
    chooser_->showList(kinds, 0, false);
  } else if (col >= column(AmplifierList::Gain) && col <= column(AmplifierList::LowPass)) {
    const auto l = static_cast<AmplifierList>(col - column(AmplifierList::Gain));
    QStringList texts;
    for (const auto& o : lists_[l]) texts << q(o.text);
    chooser_->showList(texts, table_.item(row, l), true);
  } else {
    chooser_->hide();
    return;
  }
  const QRect cell = grid_->visualRect(grid_->model()->index(row, col));
  const QPoint at = grid_->viewport()->mapTo(this, cell.bottomLeft());
  chooser_->setGeometry(std::min(at.x(), std::max(0, width() - 200)), std::min(at.y(), std::max(0, height() - 220)), 200, 220);
}

void AmplifierDialog::chooseFor(int item, bool all) {
  chooser_->hide();
  const int row = chooserRow_, col = chooserColumn_;
  if (row < 0 || item < 0) return;
  if (mode_ == Mode::Leads && col == 1) {
    const int count = static_cast<int>(std::size(leads_text::kKindChoices));
    if (item == count - 1) {
      grid_->item(row, 1)->setText(QString());  // the empty line clears the cell
      return;
    }
    auto& x = posX_[static_cast<std::size_t>(row)];
    x = static_cast<std::uint8_t>(posXForKind(item, x));
    fillRow(row);
    return;
  }
  const auto l = static_cast<AmplifierList>(col - column(AmplifierList::Gain));
  chooseItem(table_, l, item, row, all, rows_);
  for (int r = 0; r < rows_; ++r) fillRow(r);
}

void AmplifierDialog::approve() {
  if (notch_) table_.notchOn = notch_->isChecked();
  AmplifierTable edited = table_;
  // Kinds first, as the apply recomputes for the channels as they now are.
  const auto oldPosX = s_.channelPosX;
  s_.channelPosX = posX_;
  const DeviceResult r = apply_(edited);
  if (!r) {
    s_.channelPosX = oldPosX;
    ui_.message(r.message);
    return;
  }
  table_ = edited;
  if (mode_ == Mode::Leads)
    for (int ch = 0; ch < std::min(recordRows_, rows_); ++ch)
      if (QTableWidgetItem* name = grid_->item(ch, 2)) s_.channelNames[static_cast<std::size_t>(ch)] = name->text().left(5).toStdString();
  s_.dialogResult = 1;
  accept();
}

}  // namespace velor
