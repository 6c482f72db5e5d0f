// The file window "Чтение файла" / "Запись файла": every file of the system
// is chosen here. A thin Qt layer over FileBrowser (interchange/file_browser.h),
// which holds the state and does the work; this class only shows it and
// passes on what the person does.
#pragma once

#include <QDialog>
#include <memory>
#include <optional>
#include <string>

#include "core/interaction.h"
#include "core/study_state.h"
#include "interchange/file_browser.h"

class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;
class QTabBar;
class QTreeView;
class QTreeWidget;
class QTreeWidgetItem;
class QFileSystemModel;

namespace velor {

class FileWindow : public QDialog {
  Q_OBJECT

 public:
  // `ui` answers the window's questions and messages; without one the window
  // uses message boxes of its own.
  FileWindow(StudyState& s, Interaction& ui, QWidget* parent = nullptr);
  explicit FileWindow(StudyState& s, QWidget* parent = nullptr);
  ~FileWindow() override;

  // Prepares a showing: mode 0 read, 1 write; the caller's filter text; the
  // default name offered in write mode.
  void initialise(int mode, const std::string& filter, const std::string& defaultName);

  FileBrowser& browser() { return *browser_; }
  StudyState& state() { return s_; }

 public Q_SLOTS:
  void reject() override;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void done(int r) override;

 private:
  void build();
  void showState();
  void fillList();
  void selectRow(int row);
  int currentRow() const;
  void afterAction(bool closes);
  void toggleMenu();
  void toggleTree();
  void fillDrives();
  void onDriveChanged(int index);

  StudyState& s_;
  std::unique_ptr<Interaction> ownUi_;
  Interaction& ui_;
  std::unique_ptr<FileBrowser> browser_;
  bool filling_ = false;
  std::vector<Drive> drives_;

  QComboBox* filterBox_ = nullptr;
  QLabel* dirLabel_ = nullptr;
  QTreeWidget* list_ = nullptr;
  QLineEdit* nameEdit_ = nullptr;
  QLabel* nameLabel_ = nullptr;
  QFrame* commentPanel_ = nullptr;
  QLineEdit* commentEdit_ = nullptr;
  QLabel* filePanel_ = nullptr;
  QTabBar* driveTabs_ = nullptr;
  QTreeView* dirTree_ = nullptr;
  QFileSystemModel* dirModel_ = nullptr;
  QFrame* menuPanel_ = nullptr;
  QComboBox* selectionBox_ = nullptr;
  QComboBox* searchBox_ = nullptr;
  QPushButton* okBtn_ = nullptr;
  QPushButton* writeBtn_ = nullptr;
  QPushButton* menuBtn_ = nullptr;
  QPushButton* deleteBtn_ = nullptr;
  QPushButton* cancelBtn_ = nullptr;
  QPushButton* cardBtn_ = nullptr;
  QPushButton* rebuildBtn_ = nullptr;
  QPushButton* treeBtn_ = nullptr;
};

// Shows the window modally for a filter (mode 0 read, 1 write); the chosen
// path, or nothing when the window was cancelled (dialogResult ≤ 0).
std::optional<std::string> runFileWindow(FileWindow& window, int mode, const std::string& filter,
                                         const std::string& defaultName);

// The window part of the open and save dispatch for a file kind: the kind's
// filter (the transform view's save filter for records), helpContext 11 or 12,
// recordFileName offered when saving; settings kinds start in programDir and
// leave dataDir as it was. Nothing for a kind that cannot be opened (saved).
std::optional<std::string> chooseFileForKind(FileWindow& window, FileKind kind, bool save);

}  // namespace velor
