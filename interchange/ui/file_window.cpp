#include "interchange/ui/file_window.h"

#include <QApplication>
#include <QComboBox>
#include <QEvent>
#include <QFileSystemModel>
#include <QFrame>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QInputDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QStyle>
#include <QTabBar>
#include <QTreeView>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace velor {

namespace {

QString q(const std::string& s) { return QString::fromStdString(s); }
std::string u(const QString& s) { return s.toStdString(); }

// Questions and messages as message boxes, for a window used without the
// main window's own answers.
class MessageBoxInteraction final : public Interaction {
 public:
  explicit MessageBoxInteraction(QWidget* parent) : parent_(parent) {}
  void message(std::string_view text) override {
    QMessageBox::information(parent_, QStringLiteral("VELOR"), q(std::string(text)));
  }
  bool ask(std::string_view question) override {
    return QMessageBox::question(parent_, QStringLiteral("VELOR"), q(std::string(question)),
                                 QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
  }
  std::optional<std::string> input(std::string_view title, std::string_view prompt,
                                   std::string_view defaultText) override {
    bool ok = false;
    const QString t = QInputDialog::getText(parent_, q(std::string(title)), q(std::string(prompt)), QLineEdit::Normal,
                                            q(std::string(defaultText)), &ok);
    if (!ok) return std::nullopt;
    return u(t);
  }
  int choose(std::string_view title, std::string_view caption, std::string_view, const std::vector<Choice>& choices) override {
    QMessageBox box(parent_);
    box.setWindowTitle(q(std::string(title)));
    box.setText(q(std::string(caption)));
    std::vector<std::pair<QAbstractButton*, int>> buttons;
    for (const auto& c : choices) buttons.emplace_back(box.addButton(q(c.caption), QMessageBox::ActionRole), c.code);
    box.exec();
    for (const auto& [b, code] : buttons)
      if (box.clickedButton() == b) return code;
    return 0;
  }

 private:
  QWidget* parent_;
};

QPushButton* plainButton(const QString& text, QWidget* parent) {
  auto* b = new QPushButton(text, parent);
  // Enter belongs to the list and the fields, never to a default button.
  b->setAutoDefault(false);
  b->setDefault(false);
  return b;
}

}  // namespace

FileWindow::FileWindow(StudyState& s, Interaction& ui, QWidget* parent)
    : QDialog(parent), s_(s), ui_(ui), browser_(std::make_unique<FileBrowser>(s, ui)) {
  build();
}

FileWindow::FileWindow(StudyState& s, QWidget* parent)
    : QDialog(parent),
      s_(s),
      ownUi_(std::make_unique<MessageBoxInteraction>(this)),
      ui_(*ownUi_),
      browser_(std::make_unique<FileBrowser>(s, *ownUi_)) {
  build();
}

FileWindow::~FileWindow() = default;

void FileWindow::build() {
  setObjectName(QStringLiteral("FileWindow"));
  setModal(true);
  setWindowTitle(QStringLiteral("Чтение файла"));
  resize(720, 520);

  auto* root = new QVBoxLayout(this);

  auto* top = new QHBoxLayout;
  filterBox_ = new QComboBox(this);
  filterBox_->setObjectName(QStringLiteral("filterBox"));
  top->addWidget(filterBox_, 1);
  dirLabel_ = new QLabel(this);
  dirLabel_->setObjectName(QStringLiteral("dirLabel"));
  top->addWidget(dirLabel_, 2);
  root->addLayout(top);

  driveTabs_ = new QTabBar(this);
  driveTabs_->setObjectName(QStringLiteral("driveTabs"));
  driveTabs_->setExpanding(false);
  root->addWidget(driveTabs_);

  auto* middle = new QHBoxLayout;
  dirTree_ = new QTreeView(this);
  dirTree_->setObjectName(QStringLiteral("dirTree"));
  dirModel_ = new QFileSystemModel(this);
  dirModel_->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot);
  dirTree_->setModel(dirModel_);
  for (int c = 1; c < dirModel_->columnCount(); ++c) dirTree_->hideColumn(c);
  dirTree_->setHeaderHidden(true);
  middle->addWidget(dirTree_, 1);

  list_ = new QTreeWidget(this);
  list_->setObjectName(QStringLiteral("fileList"));
  list_->setRootIsDecorated(false);
  list_->setUniformRowHeights(true);
  list_->setContextMenuPolicy(Qt::CustomContextMenu);
  list_->installEventFilter(this);
  middle->addWidget(list_, 2);

  menuPanel_ = new QFrame(this);
  menuPanel_->setObjectName(QStringLiteral("menuPanel"));
  menuPanel_->setFrameShape(QFrame::StyledPanel);
  auto* menu = new QVBoxLayout(menuPanel_);
  menu->addWidget(new QLabel(QStringLiteral("Выборка:"), menuPanel_));
  selectionBox_ = new QComboBox(menuPanel_);
  selectionBox_->setObjectName(QStringLiteral("selectionBox"));
  menu->addWidget(selectionBox_);
  menu->addWidget(new QLabel(QStringLiteral("Поиск:"), menuPanel_));
  searchBox_ = new QComboBox(menuPanel_);
  searchBox_->setObjectName(QStringLiteral("searchBox"));
  searchBox_->setEditable(true);
  searchBox_->setInsertPolicy(QComboBox::NoInsert);
  menu->addWidget(searchBox_);
  cardBtn_ = plainButton(QStringLiteral("Картотека"), menuPanel_);
  cardBtn_->setToolTip(QStringLiteral("Вкл/выкл рехима картотеки"));
  menu->addWidget(cardBtn_);
  rebuildBtn_ = plainButton(QStringLiteral("Обновить"), menuPanel_);
  rebuildBtn_->setToolTip(QStringLiteral("Обновить базу данных по выборке"));
  menu->addWidget(rebuildBtn_);
  treeBtn_ = plainButton(QStringLiteral("Дерево архивов"), menuPanel_);
  treeBtn_->setToolTip(QStringLiteral("Смена архива"));
  menu->addWidget(treeBtn_);
  menu->addStretch(1);
  middle->addWidget(menuPanel_);
  root->addLayout(middle, 1);

  auto* nameRow = new QHBoxLayout;
  nameLabel_ = new QLabel(QStringLiteral("Имя файла записи"), this);
  nameEdit_ = new QLineEdit(this);
  nameEdit_->setObjectName(QStringLiteral("nameEdit"));
  nameEdit_->setToolTip(QStringLiteral("Имя файла записи"));
  nameRow->addWidget(nameLabel_);
  nameRow->addWidget(nameEdit_, 1);
  root->addLayout(nameRow);

  commentPanel_ = new QFrame(this);
  auto* commentLayout = new QVBoxLayout(commentPanel_);
  commentLayout->setContentsMargins(0, 0, 0, 0);
  commentEdit_ = new QLineEdit(commentPanel_);
  commentEdit_->setObjectName(QStringLiteral("commentEdit"));
  commentEdit_->setMaxLength(kHeaderChars);
  commentLayout->addWidget(commentEdit_);
  filePanel_ = new QLabel(commentPanel_);
  filePanel_->setObjectName(QStringLiteral("filePanel"));
  filePanel_->setToolTip(QStringLiteral("Имя текущего файла и дата его создания"));
  filePanel_->setFrameShape(QFrame::Panel);
  filePanel_->setFrameShadow(QFrame::Sunken);
  commentLayout->addWidget(filePanel_);
  root->addWidget(commentPanel_);

  auto* buttons = new QHBoxLayout;
  okBtn_ = plainButton(QStringLiteral("OK"), this);
  writeBtn_ = plainButton(QStringLiteral("Запись"), this);
  menuBtn_ = plainButton(QStringLiteral(" Меню"), this);
  deleteBtn_ = plainButton(QStringLiteral("Удалить файл"), this);
  cancelBtn_ = plainButton(QStringLiteral("<Esc>=Отменить"), this);
  cancelBtn_->setObjectName(QStringLiteral("CancelBtn"));
  cancelBtn_->setToolTip(QStringLiteral("Отменить формулу и меню"));
  for (auto* b : {okBtn_, writeBtn_, menuBtn_, deleteBtn_, cancelBtn_}) buttons->addWidget(b);
  root->addLayout(buttons);

  connect(filterBox_, &QComboBox::currentIndexChanged, this, [this](int i) {
    if (filling_) return;
    browser_->setFilterItem(i);
    showState();
  });
  connect(list_, &QTreeWidget::currentItemChanged, this, [this] {
    if (filling_) return;
    browser_->clickRow(currentRow());
    showState();
  });
  connect(list_, &QTreeWidget::itemDoubleClicked, this, [this] { afterAction(browser_->activateRow(currentRow())); });
  connect(list_, &QWidget::customContextMenuRequested, this, [this] { toggleMenu(); });
  connect(nameEdit_, &QLineEdit::textEdited, this, [this](const QString& t) { browser_->nameField = u(t); });
  connect(nameEdit_, &QLineEdit::returnPressed, this, [this] { afterAction(browser_->accept(currentRow())); });
  connect(commentEdit_, &QLineEdit::textEdited, this, [this](const QString& t) {
    browser_->comment = u(t);
    browser_->commentEdited = true;
  });
  connect(selectionBox_, &QComboBox::currentIndexChanged, this, [this](int i) {
    if (filling_) return;
    browser_->setSelectionField(i);
    showState();
  });
  auto search = [this] {
    if (filling_) return;
    const int item = searchBox_->currentIndex();
    const QString text = searchBox_->currentText();
    browser_->setSearch(u(text), item);
    showState();
  };
  connect(searchBox_->lineEdit(), &QLineEdit::returnPressed, this, search);
  connect(searchBox_, &QComboBox::activated, this, search);
  connect(cardBtn_, &QPushButton::clicked, this, [this] {
    browser_->toggleCardIndex();
    showState();
  });
  connect(rebuildBtn_, &QPushButton::clicked, this, [this] {
    browser_->rebuildCardIndex();
    showState();
  });
  connect(treeBtn_, &QPushButton::clicked, this, [this] { toggleTree(); });
  connect(okBtn_, &QPushButton::clicked, this, [this] { afterAction(browser_->accept(currentRow())); });
  connect(writeBtn_, &QPushButton::clicked, this, [this] { afterAction(browser_->accept(currentRow())); });
  connect(menuBtn_, &QPushButton::clicked, this, [this] { toggleMenu(); });
  connect(deleteBtn_, &QPushButton::clicked, this, [this] {
    browser_->deleteRow(currentRow());
    showState();
  });
  connect(cancelBtn_, &QPushButton::clicked, this, [this] { reject(); });
  connect(driveTabs_, &QTabBar::currentChanged, this, [this](int i) { onDriveChanged(i); });
  connect(dirTree_, &QTreeView::clicked, this, [this](const QModelIndex& index) {
    if (browser_->setDirectory(u(dirModel_->filePath(index)))) showState();
  });
}

void FileWindow::initialise(int mode, const std::string& filter, const std::string& defaultName) {
  browser_->ini(mode, filter, defaultName);
  const bool write = browser_->mode() == 1;
  setWindowTitle(QString::fromUtf8(browser_->caption()));
  nameLabel_->setVisible(write);
  nameEdit_->setVisible(write);
  writeBtn_->setVisible(write);
  menuBtn_->setVisible(!write);
  // The comment panel is shown; the tree, the drive tabs and the menu wait
  // until asked for.
  commentPanel_->setVisible(true);
  dirTree_->setVisible(false);
  driveTabs_->setVisible(false);
  menuPanel_->setVisible(false);

  filling_ = true;
  filterBox_->clear();
  for (const auto& item : browser_->filterItems()) filterBox_->addItem(q(item.caption));
  filterBox_->setCurrentIndex(browser_->filterItem());
  selectionBox_->clear();
  for (const auto& c : selectionCaptions(browser_->groupLayout())) selectionBox_->addItem(q(c));
  searchBox_->clear();
  for (const auto& item : browser_->searchItems()) searchBox_->addItem(q(item));
  searchBox_->setEditText(q(browser_->searchPattern()));
  filling_ = false;
  showState();
  list_->setFocus();
}

void FileWindow::showState() {
  filling_ = true;
  // The menu's folder tree serves every filter; the header column and the
  // search serve files with a header, the card index record files only.
  const bool records = browser_->recordKind();
  const bool headers = records && browser_->headerMask();
  const bool cards = records && browser_->cadMask();
  menuBtn_->setEnabled(true);
  selectionBox_->setEnabled(headers);
  searchBox_->setEnabled(headers);
  cardBtn_->setEnabled(cards);
  rebuildBtn_->setEnabled(cards);
  selectionBox_->setCurrentIndex(browser_->selectionField());
  dirLabel_->setText(q(browser_->directory()));
  if (nameEdit_->text() != q(browser_->nameField)) nameEdit_->setText(q(browser_->nameField));
  if (commentEdit_->text() != q(browser_->comment)) commentEdit_->setText(q(browser_->comment));
  filePanel_->setText(q(browser_->filePanel));
  filling_ = false;
  fillList();
}

void FileWindow::fillList() {
  filling_ = true;
  const int previous = currentRow();
  list_->clear();
  const auto captions = browser_->columnCaptions();
  list_->setColumnCount(static_cast<int>(captions.size()));
  QStringList header;
  for (const auto& c : captions) header << q(c);
  list_->setHeaderLabels(header);
  QList<QTreeWidgetItem*> items;
  for (const auto& row : browser_->rows()) {
    QStringList cells;
    for (const auto& c : row.cells) cells << q(c);
    items << new QTreeWidgetItem(cells);
  }
  list_->addTopLevelItems(items);
  for (int c = 0; c < list_->columnCount(); ++c) list_->resizeColumnToContents(c);
  filling_ = false;
  const int n = list_->topLevelItemCount();
  if (n > 0) {
    int row = previous >= 0 && previous < n ? previous : 0;
    if (browser_->cardMode() == kCardPatients && browser_->patientRowToRestore() < n && previous >= n)
      row = browser_->patientRowToRestore();
    filling_ = true;
    selectRow(row);
    filling_ = false;
  }
}

void FileWindow::selectRow(int row) {
  if (auto* item = list_->topLevelItem(row)) {
    list_->setCurrentItem(item);
    list_->scrollToItem(item);
  }
}

int FileWindow::currentRow() const {
  auto* item = list_->currentItem();
  return item ? list_->indexOfTopLevelItem(item) : -1;
}

void FileWindow::afterAction(bool closes) {
  if (closes) {
    done(s_.dialogResult > 0 ? QDialog::Accepted : QDialog::Rejected);
    return;
  }
  showState();
  // A step into or out of a patient starts at the top, or where it was.
  if (browser_->cardMode() == kCardPatients) selectRow(browser_->patientRowToRestore());
}

void FileWindow::toggleMenu() {
  menuPanel_->setVisible(!menuPanel_->isVisible());
}

void FileWindow::toggleTree() {
  const bool showTree = !dirTree_->isVisible();
  commentPanel_->setVisible(!showTree);
  dirTree_->setVisible(showTree);
  driveTabs_->setVisible(showTree);
  if (showTree) fillDrives();
}

void FileWindow::fillDrives() {
  drives_ = listDrives();
  filling_ = true;
  while (driveTabs_->count() > 0) driveTabs_->removeTab(0);
  for (const auto& d : drives_) {
    QStyle::StandardPixmap icon = QStyle::SP_DriveHDIcon;
    switch (d.kind) {
      case Drive::Home: icon = QStyle::SP_DirHomeIcon; break;
      case Drive::Removable: icon = QStyle::SP_DriveFDIcon; break;
      case Drive::Network: icon = QStyle::SP_DriveNetIcon; break;
      case Drive::Root:
      case Drive::Fixed: break;
    }
    const int t = driveTabs_->addTab(style()->standardIcon(icon), q(d.label));
    driveTabs_->setTabToolTip(t, q(d.path));
  }
  const int current = driveOf(drives_, browser_->directory());
  if (current >= 0) driveTabs_->setCurrentIndex(current);
  filling_ = false;
  if (current >= 0) {
    dirModel_->setRootPath(q(drives_[static_cast<std::size_t>(current)].path));
    dirTree_->setRootIndex(dirModel_->index(q(drives_[static_cast<std::size_t>(current)].path)));
  }
  const QModelIndex here = dirModel_->index(q(browser_->directory()));
  if (here.isValid()) {
    dirTree_->setCurrentIndex(here);
    dirTree_->scrollTo(here);
  }
}

void FileWindow::onDriveChanged(int index) {
  if (filling_ || index < 0 || index >= static_cast<int>(drives_.size())) return;
  const std::string& path = drives_[static_cast<std::size_t>(index)].path;
  dirModel_->setRootPath(q(path));
  dirTree_->setRootIndex(dirModel_->index(q(path)));
  if (browser_->setDirectory(path)) showState();
}

bool FileWindow::eventFilter(QObject* watched, QEvent* event) {
  if (watched == list_ && event->type() == QEvent::KeyPress) {
    auto* key = static_cast<QKeyEvent*>(event);
    const bool write = browser_->mode() == 1;
    switch (key->key()) {
      case Qt::Key_Return:
      case Qt::Key_Enter:
      case Qt::Key_R:
      case Qt::Key_F3:
        afterAction(browser_->activateRow(currentRow()));
        return true;
      case Qt::Key_W:
        if (write) afterAction(browser_->accept(currentRow()));
        return write;
      case Qt::Key_Delete:
        if (browser_->cardMode() == kCardOff) {
          browser_->deleteRow(currentRow());
          showState();
        }
        return true;
      default:
        break;
    }
  }
  return QDialog::eventFilter(watched, event);
}

void FileWindow::reject() {
  browser_->cancel();
  done(QDialog::Rejected);
}

void FileWindow::done(int r) {
  browser_->close();
  QDialog::done(r);
}

std::optional<std::string> runFileWindow(FileWindow& window, int mode, const std::string& filter,
                                         const std::string& defaultName) {
  window.initialise(mode, filter, defaultName);
  window.exec();
  if (window.state().dialogResult > 0) return window.state().chosenFilePath;
  return std::nullopt;
}

std::optional<std::string> chooseFileForKind(FileWindow& window, FileKind kind, bool save) {
  StudyState& s = window.state();
  const std::string filter = fileKindFilter(kind, save, s.viewMode == ViewMode::Transform);
  if (filter.empty()) return std::nullopt;
  s.helpContext = save ? 12 : 11;
  const bool settings = fileKindIsSettings(kind);
  const std::string previousDataDir = s.dataDir;
  if (settings) s.dataDir = s.programDir;
  auto chosen = runFileWindow(window, save ? 1 : 0, filter, save ? s.recordFileName : std::string());
  if (settings) s.dataDir = previousDataDir;
  return chosen;
}

}  // namespace velor
