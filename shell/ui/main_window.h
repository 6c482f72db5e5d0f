// MainWindow "Velor-EEG": the main window. It carries the menus and the tool
// panel built from the command table, hosts the signal monitor, and runs the
// first-show, resize and close sequence of the session. Questions and
// messages go through the Interaction it is given, files are chosen through
// a FileChooser, so tests drive it without modal loops.
#pragma once

#include <QMainWindow>
#include <QPointer>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/file_kinds.h"
#include "core/interaction.h"
#include "core/study_state.h"
#include "eeg/spectral.h"
#include "shell/command_dispatch.h"
#include "shell/commands.h"
#include "shell/main_commands.h"
#include "shell/session.h"

class QAction;
class QKeyEvent;
class QLabel;
class QMenu;
class QToolBar;
class QToolButton;

namespace velor {
class MonitorWidget;
class HeaderDialog;
class RecordEditCommands;
enum class MonitorCommand;
}  // namespace velor

namespace velor::shell {

class HelpWindow;
class InstructionDialog;

class MainWindow final : public QMainWindow {
  Q_OBJECT
 public:
  MainWindow(StudyState& s, Interaction& ui, QWidget* parent = nullptr);
  ~MainWindow() override;

  // Replaces the file window (nullptr gives the real one back).
  void setFileChooser(FileChooser* chooser);
  // The file window in force, for side windows that open and save by kind.
  FileChooser& fileChooser() { return *chooser_; }
  // How the header dialog is run; the default shows it modally.
  void setHeaderDialogRunner(std::function<void(HeaderDialog&)> run);
  // A record file opened right after the first show.
  void openAtStart(const std::string& path);

  MainSession& session() { return session_; }
  // The one spectral engine of the workstation: its transform work area and
  // window table are shared by the transform view, the EEG analysis and the
  // FFT filters.
  SpectralEngine& spectralEngine() { return spectral_; }
  // The study state and the Interaction the window was made with, for the
  // windows and wiring that act on its behalf.
  StudyState& study() { return s_; }
  Interaction& interaction() { return ui_; }
  QAction* action(Cmd cmd) const;
  QToolButton* panelButton(Cmd cmd) const;
  // The tool panel, in its rows from top to bottom.
  const std::vector<QToolBar*>& toolPanels() const { return panels_; }
  QLabel* macroIndicator() const { return macroLabel_; }
  QToolButton* instructionPanel() const { return instructionButton_; }
  MonitorWidget* monitor() const { return monitor_; }
  // The record navigation and editing commands (created with the monitor).
  RecordEditCommands* editCommands() const { return edit_; }
  QLabel* monitorCaption() const { return caption_; }
  HelpWindow* helpWindow() const;
  InstructionDialog* instructionWindow() const;

  // The window's commands: the engine's handlers, the window's own and the
  // redraw after each. Menus, panel buttons, keys and the monitor's popup run
  // them through here.
  CommandDispatcher& commands() { return commands_; }
  // Carries out a command as its menu item or panel button does.
  CommandResult runCommand(Cmd cmd);
  // Layout, redraw and caption of the monitor after the record changed.
  void refreshMonitor(bool relayout = true);
  // F1: the help topic of the window in front.
  void showHelp(int context);

 protected:
  void showEvent(QShowEvent* e) override;
  void resizeEvent(QResizeEvent* e) override;
  void closeEvent(QCloseEvent* e) override;
  void keyPressEvent(QKeyEvent* e) override;
  void keyReleaseEvent(QKeyEvent* e) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void registerWindowCommands();
  void buildMenus();
  void buildPanel();
  void createMonitor();
  void layoutMonitor();
  void firstShow();
  void markPlacement();
  void headerDialog();
  void printFont();
  void onMonitorCommand(MonitorCommand command);
  // The status line explains a key of a disabled command; true when it did.
  bool explainDisabledKey(QKeyEvent* e);
  WindowSettings currentWindowSettings() const;

  StudyState& s_;
  Interaction& ui_;
  MainSession session_;
  SpectralEngine spectral_;
  std::unique_ptr<FileChooser> ownChooser_;
  // "Сохранить" of records as ".bmp": the monitor's picture
  std::unique_ptr<FileKindRegistration> monitorPicture_;
  FileChooser* chooser_ = nullptr;
  std::function<void(HeaderDialog&)> runHeader_;
  std::optional<std::string> startFile_;
  CommandDispatcher commands_;

  std::map<Cmd, QAction*> actions_;
  std::map<Cmd, QToolButton*> buttons_;
  std::map<QString, QMenu*> menus_;
  QToolBar* panel_ = nullptr;
  std::vector<QToolBar*> panels_;
  QLabel* macroLabel_ = nullptr;
  QToolButton* instructionButton_ = nullptr;
  QWidget* host_ = nullptr;
  QLabel* caption_ = nullptr;
  QWidget* monitorArea_ = nullptr;
  MonitorWidget* monitor_ = nullptr;
  RecordEditCommands* edit_ = nullptr;
  QPointer<HelpWindow> help_;
  QPointer<InstructionDialog> instruction_;
  bool firstShowDone_ = false;
  bool forwardingKey_ = false;
};

}  // namespace velor::shell
