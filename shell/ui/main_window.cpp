#include "core/binio.h"
#include "core/record_file.h"
#include "shell/ui/main_window.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QFontDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QSaveFile>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <algorithm>
#include <cstdlib>
#include <ctime>

#include "core/ui/header_dialog.h"
#include "shell/ui/acquisition_wiring.h"
#include "shell/ui/exam_wiring.h"
#include "shell/ui/map_wiring.h"
#include "results/ui/print_host.h"
#include "results/ui/graph_window.h"
#include "results/ui/text_results_window.h"
#include "eeg/ui/map_window.h"
#include "shell/engine_commands.h"
#include "shell/file_dispatch.h"
#include "shell/help_topics.h"
#include "shell/main_window_texts.h"
#include "shell/ui/annotation_wiring.h"
#include "shell/ui/edit_wiring.h"
#include "shell/ui/ecg_wiring.h"
#include "shell/ui/rheo_wiring.h"
#include "shell/ui/emg_wiring.h"
#include "shell/ui/polygraph_wiring.h"
#include "shell/ui/evoked_wiring.h"
#include "shell/ui/eeg_wiring.h"
#include "shell/ui/file_chooser.h"
#include "shell/ui/help_window.h"
#include "shell/ui/results_wiring.h"
#include "shell/ui/scoreboard_wiring.h"
#include "shell/ui/tools_wiring.h"
#include "shell/ui/transform_wiring.h"
#include "shell/ui/transform_view_wiring.h"
#include "viewer/ui/monitor_widget.h"
#include "viewer/ui/lead_editor_dialog.h"
#include "viewer/ui/record_edit_commands.h"

namespace velor::shell {

using namespace velor::shell_text;

namespace {

constexpr int kMinWindowSide = 200;
constexpr int kMaxSavedWindowSide = 10000;
constexpr int kHintMilliseconds = 5000;

QString qs(const char* s) { return QString::fromUtf8(s); }

}  // namespace

MainWindow::MainWindow(StudyState& s, Interaction& ui, QWidget* parent)
    : QMainWindow(parent), s_(s), ui_(ui), session_(s, ui) {
  // FormCreate: the study state already holds programDir, its buffers and the
  // default channel table; what is left is the random seed.
  std::srand(static_cast<unsigned>(std::time(nullptr)));
  setWindowTitle(qs(kMainTitle));
  // The file window is created with the main window and kept for the run.
  ownChooser_ = std::make_unique<WindowFileChooser>(s_, ui_, this);
  chooser_ = ownChooser_.get();
  registerWindowCommands();

  buildMenus();
  buildPanel();
  statusBar();

  host_ = new QWidget(this);
  host_->installEventFilter(this);
  caption_ = new QLabel(host_);
  caption_->setObjectName("monitorCaption");
  caption_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  monitorArea_ = new QWidget(host_);
  monitorArea_->setObjectName("monitorArea");
  setCentralWidget(host_);

  // F1 in any window of the program, modal dialogs included (each sets its
  // own topic), opens the help window.
  qApp->installEventFilter(this);
  resize(1024, 700);
}

MainWindow::~MainWindow() {
  qApp->removeEventFilter(this);
  // FormDestroy: the help windows go with the main window.
  if (help_) help_->close();
  if (instruction_) instruction_->close();
}

void MainWindow::setFileChooser(FileChooser* chooser) { chooser_ = chooser ? chooser : ownChooser_.get(); }

void MainWindow::setHeaderDialogRunner(std::function<void(HeaderDialog&)> run) { runHeader_ = std::move(run); }

void MainWindow::openAtStart(const std::string& path) { startFile_ = path; }

HelpWindow* MainWindow::helpWindow() const { return help_.data(); }
InstructionDialog* MainWindow::instructionWindow() const { return instruction_.data(); }

QAction* MainWindow::action(Cmd cmd) const {
  auto it = actions_.find(cmd);
  return it == actions_.end() ? nullptr : it->second;
}

QToolButton* MainWindow::panelButton(Cmd cmd) const {
  auto it = buttons_.find(cmd);
  return it == buttons_.end() ? nullptr : it->second;
}

void MainWindow::buildMenus() {
  QMenuBar* bar = menuBar();
  std::map<QString, QMenu*> submenus;
  for (const MenuEntry& e : menuEntries()) {
    auto* a = new QAction(qs(e.caption), this);
    if (*e.shortcut) a->setShortcut(QKeySequence(QString::fromLatin1(e.shortcut), QKeySequence::PortableText));
    const QString hint = QString::fromStdString(shownHint(e.hint, e.module));
    a->setStatusTip(hint);
    a->setToolTip(hint);
    a->setEnabled(commandEnabled(e.module));
    a->setVisible(!e.hidden);
    const Cmd cmd = e.cmd;
    connect(a, &QAction::triggered, this, [this, cmd] { runCommand(cmd); });
    actions_[cmd] = a;

    if (e.caption == e.menu && e.submenu == nullptr) {
      bar->addAction(a);  // a command right on the menu bar
      continue;
    }
    QMenu*& top = menus_[qs(e.menu)];
    if (!top) {
      top = bar->addMenu(qs(e.menu));
      top->setToolTipsVisible(true);
    }
    QMenu* target = top;
    if (e.submenu) {
      QMenu*& sub = submenus[qs(e.menu) + '/' + qs(e.submenu)];
      if (!sub) {
        sub = top->addMenu(qs(e.submenu));
        sub->setToolTipsVisible(true);
        menus_[qs(e.submenu)] = sub;
      }
      target = sub;
    }
    target->addAction(a);
  }
  // A sub menu whose every entry is hidden is hidden itself ("Ampl").
  for (auto& [key, sub] : submenus) {
    const auto acts = sub->actions();
    const bool anyShown = std::any_of(acts.begin(), acts.end(), [](QAction* a) { return a->isVisible(); });
    sub->menuAction()->setVisible(anyShown);
  }
  if (QMenu* placement = menus_.count(qs(kMenuMonitor)) ? menus_[qs(kMenuMonitor)] : nullptr)
    connect(placement, &QMenu::aboutToShow, this, &MainWindow::markPlacement);
  // Opening the help menu also opens the instruction window.
  if (QMenu* help = menus_.count(qs(kMenuHelp)) ? menus_[qs(kMenuHelp)] : nullptr)
    connect(help, &QMenu::aboutToShow, this, [this] { runCommand(Cmd::Instruction); });
}

void MainWindow::buildPanel() {
  // Two rows: the captions are too wide for one row at the usual widths, and
  // an overflow menu would hide the buttons at the right.
  auto makeRow = [this](const char* name) {
    QToolBar* row = addToolBar(QString::fromLatin1(name));
    row->setObjectName(QString::fromLatin1(name));
    row->setMovable(false);
    row->setFloatable(false);
    row->setToolButtonStyle(Qt::ToolButtonTextOnly);
    QFont compact = row->font();
    compact.setPointSizeF(compact.pointSizeF() * 0.9);
    row->setFont(compact);
    panels_.push_back(row);
    return row;
  };
  panel_ = makeRow("toolPanel");
  QToolBar* row = panel_;
  for (const PanelButton& b : panelButtons()) {
    auto* button = new QToolButton(row);
    button->setText(qs(b.caption));
    button->setToolTip(QString::fromStdString(shownHint(b.hint, b.module)));
    button->setStatusTip(button->toolTip());
    button->setEnabled(commandEnabled(b.module));
    const Cmd cmd = b.cmd;
    connect(button, &QToolButton::clicked, this, [this, cmd] { runCommand(cmd); });
    row->addWidget(button);
    buttons_[cmd] = button;
    if (cmd == Cmd::TimeUp) {
      addToolBarBreak();
      row = makeRow("toolPanel2");
    }
  }
  instructionButton_ = new QToolButton(row);
  instructionButton_->setText(qs(kPanelInstruction));
  instructionButton_->setToolTip(qs(kInstructionTitle));
  connect(instructionButton_, &QToolButton::clicked, this, [this] { runCommand(Cmd::Instruction); });
  row->addWidget(instructionButton_);
  macroLabel_ = new QLabel(qs(kPanelMacro), row);
  macroLabel_->setObjectName("macroIndicator");
  macroLabel_->setStyleSheet("color: red; font-weight: bold;");
  QAction* macro = row->addWidget(macroLabel_);
  macro->setVisible(false);  // shown only while a macro is recorded
}

void MainWindow::createMonitor() {
  if (monitor_) return;
  monitor_ = new MonitorWidget(s_, monitorArea_);
  monitor_->setObjectName("monitor");
  connect(monitor_, &MonitorWidget::captionChanged, caption_, &QLabel::setText);
  connect(monitor_, &MonitorWidget::commandRequested, this, &MainWindow::onMonitorCommand);
  edit_ = createEditCommands(*this, s_, ui_, monitor_, [this]() -> FileChooser& { return *chooser_; });
  installTransformView(*this);
  installScoreboard(*this);
  const std::pair<MonitorCommand, Module> wiring[] = {
      {MonitorCommand::OpenFile, Module::RecordFiles},
      {MonitorCommand::SaveFile, Module::RecordFiles},
      {MonitorCommand::PrintScreen, Module::RecordPrinting},
      {MonitorCommand::ScreenToClipboard, Module::Editing},
      {MonitorCommand::SignalsToClipboard, Module::Editing},
      {MonitorCommand::Header, Module::HeaderDialog},
      {MonitorCommand::Maps, Module::EegAnalysis},
      {MonitorCommand::Delete, Module::Editing},
      {MonitorCommand::NextRecord, Module::RecordFiles},
      {MonitorCommand::PreviousRecord, Module::RecordFiles},
      {MonitorCommand::RecordByNumber, Module::RecordFiles},
      {MonitorCommand::Merge, Module::Editing},
      {MonitorCommand::Restore, Module::RecordFiles},
      {MonitorCommand::InsertChannel, Module::Editing},
      {MonitorCommand::DeleteChannel, Module::Editing},
      {MonitorCommand::InsertMark, Module::Editing},
      {MonitorCommand::RemoveMark, Module::Editing},
      {MonitorCommand::RemoveAllMarks, Module::Editing},
      {MonitorCommand::Transforms, Module::Transformations},
      {MonitorCommand::NewExamination, Module::Examination},
      {MonitorCommand::EegAnalysis, Module::EegAnalysis},
      {MonitorCommand::BatchAllBlinks, Module::Count},
      {MonitorCommand::BatchAks, Module::Count},
      {MonitorCommand::BatchBlinks, Module::Count},
      {MonitorCommand::BatchEnv, Module::Count},
  };
  for (const auto& [command, module] : wiring) monitor_->setCommandAvailable(command, moduleAvailable(module));
  monitor_->installEventFilter(this);
  monitor_->show();
  layoutMonitor();
}

void MainWindow::layoutMonitor() {
  if (!host_) return;
  const int captionHeight = caption_->sizeHint().height() + 2;
  caption_->setGeometry(0, 0, host_->width(), captionHeight);
  const int areaHeight = std::max(1, host_->height() - captionHeight);
  monitorArea_->setGeometry(0, captionHeight, host_->width(), areaHeight);
  // The monitor keeps its margin and leaves the side window's strip free.
  if (monitor_) monitor_->fitToClient(host_->width(), areaHeight, 0);
}

void MainWindow::refreshMonitor(bool relayout) {
  if (!monitor_) return;
  if (relayout) {
    layoutMonitor();
    monitor_->relayout();
  }
  monitor_->redraw();
  caption_->setText(monitor_->refreshCaption());
}

void MainWindow::showEvent(QShowEvent* e) {
  QMainWindow::showEvent(e);
  if (!firstShowDone_) {
    firstShowDone_ = true;
    // Once the window is on the screen, so that a settings message does not
    // stand alone on an empty desktop.
    QTimer::singleShot(0, this, &MainWindow::firstShow);
  }
}

void MainWindow::firstShow() {
  session_.readMainSettingsAtStart();
  const WindowSettings& w = session_.window();
  resize(std::clamp(w.width, kMinWindowSide, kMaxSavedWindowSide),
         std::clamp(w.height, kMinWindowSide, kMaxSavedWindowSide));
  move(w.left, w.top);
  if (QAction* finish = action(Cmd::MacroFinish)) finish->setVisible(false);
  createMonitor();
  monitor_->initialise();
  startAcquisitionDevice(*this);
  startExaminationWiring(*this);
  session_.readChannelSettingsAtStart();
  s_.helpContext = kMonitorHelpContext;
  monitor_->setFocus();
  if (startFile_) {
    const std::string path = *startFile_;
    startFile_.reset();
    openRecordPath(s_, path, ui_);
  }
  refreshMonitor();
}

void MainWindow::resizeEvent(QResizeEvent* e) {
  QMainWindow::resizeEvent(e);
  if (!isVisible()) return;
  if (session_.oversizeWarningDue(width(), height()))
    QTimer::singleShot(0, this, [this] { ui_.message(kSizeWarning); });
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress && watched->isWidgetType()) {
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_F1 && key->modifiers() == Qt::NoModifier && !key->isAutoRepeat()) {
      showHelp(s_.helpContext);
      return true;
    }
  }
  // F3 is taken by the menu's shortcut on its press, which runs the open
  // command; its release must not open a second time through the monitor.
  if (watched == monitor_ && event->type() == QEvent::KeyPress && explainDisabledKey(static_cast<QKeyEvent*>(event)))
    return true;
  if (watched == monitor_ && event->type() == QEvent::KeyRelease &&
      static_cast<QKeyEvent*>(event)->key() == Qt::Key_F3) {
    if (QAction* open = action(Cmd::Open); open && open->isEnabled()) return true;
  }
  if (watched == host_ && event->type() == QEvent::Resize && !session_.closed()) {
    layoutMonitor();
    if (monitor_) monitor_->redraw();
  }
  return QMainWindow::eventFilter(watched, event);
}

WindowSettings MainWindow::currentWindowSettings() const {
  WindowSettings w = session_.window();
  const QRect g = isMaximized() || isFullScreen() ? normalGeometry() : QRect(pos(), size());
  w.left = g.x();
  w.top = g.y();
  w.width = g.width();
  w.height = g.height();
  return w;
}

void MainWindow::closeEvent(QCloseEvent* e) {
  if (session_.closed()) {
    e->accept();
    return;
  }
  switch (session_.closeQuery()) {
    case MainSession::CloseVerdict::Stay:
    case MainSession::CloseVerdict::StopExamination:
      e->ignore();
      return;
    case MainSession::CloseVerdict::Close:
      break;
  }
  closeAcquisitionDevice(*this);
  session_.close(currentWindowSettings());
  if (help_) help_->close();
  if (instruction_) instruction_->close();
  e->accept();
}

bool MainWindow::explainDisabledKey(QKeyEvent* e) {
  const QKeySequence pressed(e->keyCombination());
  for (const auto& [cmd, a] : actions_) {
    if (!a->isEnabled() && !a->shortcut().isEmpty() && a->shortcut() == pressed) {
      statusBar()->showMessage(a->statusTip(), kHintMilliseconds);
      e->accept();
      return true;
    }
  }
  return false;
}

void MainWindow::keyPressEvent(QKeyEvent* e) {
  // A key of a command that is not in this build says so instead of
  // doing nothing.
  if (explainDisabledKey(e)) return;
  // Keys pressed elsewhere in the window go to the monitor.
  QWidget* focus = QApplication::focusWidget();
  if (monitor_ && !forwardingKey_ && focus != monitor_ && !(focus && monitor_->isAncestorOf(focus))) {
    // A key the monitor ignores comes back up here; the flag stops the loop.
    forwardingKey_ = true;
    QApplication::sendEvent(monitor_, e);
    forwardingKey_ = false;
    return;
  }
  QMainWindow::keyPressEvent(e);
}

void MainWindow::keyReleaseEvent(QKeyEvent* e) {
  // Some monitor keys act on release (row up and down).
  QWidget* focus = QApplication::focusWidget();
  if (monitor_ && !forwardingKey_ && focus != monitor_ && !(focus && monitor_->isAncestorOf(focus)) &&
      e->key() != Qt::Key_F3) {
    forwardingKey_ = true;
    QApplication::sendEvent(monitor_, e);
    forwardingKey_ = false;
    return;
  }
  QMainWindow::keyReleaseEvent(e);
}

void MainWindow::markPlacement() {
  const std::pair<Cmd, const char*> items[] = {
      {Cmd::Placement1, kPlacement1}, {Cmd::Placement2, kPlacement2},
      {Cmd::Placement3, kPlacement3}, {Cmd::Placement4, kPlacement4}};
  int n = 1;
  for (const auto& [cmd, caption] : items) {
    if (QAction* a = action(cmd))
      a->setText(QString::fromStdString(placementCaption(caption, s_.monitorPlacement == n)));
    ++n;
  }
}

void MainWindow::showHelp(int context) {
  if (!help_) help_ = new HelpWindow(this);
  // Over a modal dialog the help must be modal itself, or it could not be used.
  const Qt::WindowModality modality =
      QApplication::activeModalWidget() && QApplication::activeModalWidget() != help_ ? Qt::ApplicationModal
                                                                                      : Qt::NonModal;
  if (help_->windowModality() != modality) {
    help_->hide();
    help_->setWindowModality(modality);
  }
  help_->showTopic(context);
  help_->show();
  help_->raise();
}

void MainWindow::headerDialog() {
  HeaderDialog d(
      s_, ui_,
      [this]() -> std::optional<std::string> {
        if (auto path = chooser_->choose(s_, FileKind::ExamHeader, false, std::string())) return path->string();
        return std::nullopt;
      },
      this);
  if (runHeader_)
    runHeader_(d);
  else
    d.exec();
  refreshMonitor(false);
}

void MainWindow::printFont() {
  bool ok = false;
  QFont current(QString::fromStdString(s_.textFont.name), s_.textFont.size > 0 ? s_.textFont.size : 10);
  current.setBold(s_.textFont.bold);
  const QFont f = QFontDialog::getFont(&ok, current, this, qs(kPrintFont));
  if (!ok) return;
  s_.textFont.name = f.family().toStdString();
  s_.textFont.size = f.pointSize() > 0 ? f.pointSize() : s_.textFont.size;
  s_.textFont.bold = f.bold();
}

void MainWindow::onMonitorCommand(MonitorCommand command) {
  switch (command) {
    case MonitorCommand::OpenFile: runCommand(Cmd::Open); break;
    case MonitorCommand::SaveFile: runCommand(Cmd::Save); break;
    case MonitorCommand::Header: runCommand(Cmd::Header); break;
    case MonitorCommand::NextRecord: runCommand(Cmd::NextRecord); break;
    case MonitorCommand::PreviousRecord: runCommand(Cmd::PrevRecord); break;
    case MonitorCommand::RecordByNumber: runCommand(Cmd::RecordByNumber); break;
    case MonitorCommand::Restore: runCommand(Cmd::RestoreRecord); break;
    case MonitorCommand::PrintScreen: printMonitorRecord(*this, s_, ui_); break;
    case MonitorCommand::EegAnalysis: runCommand(Cmd::Eeg); break;
    case MonitorCommand::Merge: runCommand(Cmd::MergeRecords); break;
    case MonitorCommand::InsertChannel: runCommand(Cmd::ChannelInsert); break;
    case MonitorCommand::DeleteChannel: runCommand(Cmd::ChannelDelete); break;
    case MonitorCommand::InsertMark: runCommand(Cmd::MarkInsert); break;
    case MonitorCommand::RemoveMark: runCommand(Cmd::MarkRemove); break;
    case MonitorCommand::RemoveAllMarks: runCommand(Cmd::MarkRemoveAll); break;
    case MonitorCommand::Maps: amplitudeMaps(*this, s_, spectral_, ui_); break;
    case MonitorCommand::NewExamination: runCommand(Cmd::Examination); break;
    default: {
      if (edit_ && edit_->runMonitorCommand(command)) break;
      // Commands of modules that are not in this build are disabled in the
      // monitor's menu; a key that still reaches here is answered in the
      // status line.
      statusBar()->showMessage(QStringLiteral("Команда пока недоступна в этой версии"), kHintMilliseconds);
      break;
    }
  }
}

CommandResult MainWindow::runCommand(Cmd cmd) { return commands_.run(cmd); }

void MainWindow::registerWindowCommands() {
  // The record editor lives with the monitor, so record steps and edits are
  // not available before the first show.
  registerEngineCommands(commands_, {s_, ui_, [this]() -> FileChooser& { return *chooser_; },
                                     [this]() -> RecordEditor* { return edit_ ? &edit_->editor() : nullptr; },
                                     [this]() -> EditDialogs& { return edit_->dialogs(); },
                                     [this]() -> Progress& { return edit_->progress(); }});

  auto on = [this](Cmd cmd, std::function<void()> work, ViewChange view = ViewChange::None) {
    commands_.setHandler(cmd, [work = std::move(work), view] {
      work();
      return CommandResult::done(view);
    });
  };
  on(Cmd::Exit, [this] { close(); });
  on(Cmd::Header, [this] { headerDialog(); });
  on(Cmd::NewGraph, [this] { newGraphWindow(*this, s_, ui_, chooser_); });
  on(Cmd::Print, [this] { printActiveWindow(*this, s_, ui_, chooser_); });
  on(
      Cmd::Leads,
      [this] {
        // "Переставить" moves the record's channels: the record's undo takes them back.
        changeRecord(*this, [this] {
          runLeadEditor(
              s_, ui_, [this](FileKind kind, bool save) { return chooseByKind(s_, kind, save, *chooser_); }, this);
          return true;
        });
        s_.dialogResult = 0;
      },
      ViewChange::Relayout);
  on(Cmd::PrintFont, [this] { printFont(); });
  on(Cmd::HelpContents, [this] { showHelp(kHelpContentsContext); });
  on(Cmd::HelpOnHelp, [this] { showHelp(kHelpOnHelpContext); });
  on(Cmd::HelpSearch, [this] {
    showHelp(kHelpContentsContext);
    help_->startSearch();
  });
  on(Cmd::Instruction, [this] {
    if (!instruction_) instruction_ = new InstructionDialog(this);
    instruction_->show();
    instruction_->raise();
  });
  on(Cmd::Diagnosis, [this] {
    const TextFileActions files = textFileActions(s_, *chooser_, ui_);
    beginTextResults(this, s_, ui_, &files, kDiagnoses);
  });
  on(Cmd::Eeg, [this] { runEegCommand(*this, s_, ui_, chooser_); });
  on(Cmd::Ecg, [this] { runEcgCommand(*this, s_, ui_, chooser_); });
  on(Cmd::Rheo, [this] { runRegCommand(*this, s_, ui_, chooser_); });
  on(Cmd::Emg, [this] { runEmgCommand(*this); });
  on(Cmd::Polygraph, [this] { runPolygraphCommand(*this); });
  on(Cmd::Breathing, [this] { runBreathingCommand(*this); });
  on(Cmd::EvokedPotentials, [this] { runEvokedCommand(*this, s_, ui_, chooser_); });
  on(Cmd::PrinterSetup, [this] { printerSetup(this); });
  on(Cmd::ScoreboardToggle, [this] { toggleScoreboard(*this); });
  on(Cmd::AnnotationList, [this] { showAnnotationList(*this, s_, ui_); });

  // The monitor's own steps and its picture on the clipboard.
  const std::pair<Cmd, void (MonitorWidget::*)()> monitorSteps[] = {
      {Cmd::GainDown, &MonitorWidget::gainDown},
      {Cmd::GainUp, &MonitorWidget::gainUp},
      {Cmd::TimeDown, &MonitorWidget::zoomTimeOut},
      {Cmd::TimeUp, &MonitorWidget::zoomTimeIn},
      {Cmd::FewerChannels, &MonitorWidget::showFewerChannels},
      {Cmd::MoreChannels, &MonitorWidget::showMoreChannels}};
  for (const auto& [cmd, step] : monitorSteps)
    on(cmd, [this, step] {
      if (monitor_) (monitor_->*step)();
    });
  const std::pair<Cmd, void (RecordEditCommands::*)()> clipboard[] = {{Cmd::Cut, &RecordEditCommands::cut},
                                                                      {Cmd::Copy, &RecordEditCommands::copy},
                                                                      {Cmd::Paste, &RecordEditCommands::paste}};
  // The clipboard buttons act on the window in front; only the monitor's
  // copy stands in when there is none.
  for (const auto& [cmd, work] : clipboard)
    on(cmd, [this, cmd, work] {
      const FrontWindow front = frontWindow(*this);
      switch (front.kind) {
        case FrontKind::Graph: {
          auto* g = static_cast<GraphWindow*>(front.widget);
          if (cmd == Cmd::Cut) g->Cut();
          else if (cmd == Cmd::Copy) g->copyPicture();
          else g->Paste();
          return;
        }
        case FrontKind::Text: {
          QPlainTextEdit* box = static_cast<TextResultsWindow*>(front.widget)->textBox();
          if (cmd == Cmd::Cut) box->cut();
          else if (cmd == Cmd::Copy) box->copy();
          else box->paste();
          return;
        }
        case FrontKind::Map: {
          auto* m = static_cast<MapWindow*>(front.widget);
          if (cmd == Cmd::Cut) m->cutPicture();
          else if (cmd == Cmd::Copy) m->copyPicture();
          else m->pastePicture();
          return;
        }
        case FrontKind::Monitor: break;
      }
      if (edit_) (edit_->*work)();
    });
  commands_.setHandler(Cmd::Save, [this] {
    return CommandResult::from(saveActiveWindow(*this, s_, ui_, *chooser_), ViewChange::Redraw);
  });
  installFormulaTools(*this);
  // Records saved as ".bmp" are the monitor's picture, written whole or not
  // at all; every other extension goes to the record writers.
  monitorPicture_ = std::make_unique<FileKindRegistration>(
      FileKind::Records, true, [this](StudyState& s, const std::string& path, Interaction& ui) {
        const std::string ext = extensionLower(path);
        if (ext != ".bmp") {
          if (const FileKindHandler* h = fileKindTable().find(FileKind::Records, true, ext)) return (*h)(s, path, ui);
          return notYetAvailable(ui, FileKind::Records, ext, true);
        }
        QSaveFile out(QString::fromStdString(path));
        if (!monitor_ || !out.open(QIODevice::WriteOnly) || !monitor_->surface().save(&out, "BMP") || !out.commit()) {
          ui.message(std::string("Прерывание: не удалось записать ") + path +
                     (out.errorString().isEmpty() ? "" : ": " + out.errorString().toStdString()));
          return false;
        }
        return true;
      });
  installTransformTools(*this);

  // What the window adds to the engine's work: the time axis follows a new
  // rate, the placement menu its choice.
  commands_.addFollowUp(Cmd::SampleRate, [this](Cmd, const CommandResult& r) {
    if (r.status == CommandStatus::Done && monitor_) monitor_->timeAxis(s_.sampleRate);
  });
  // A newly opened file and "&0=Записи" leave no side window showing the
  // analysis of what was there before.
  commands_.addFollowUp(Cmd::Open, [this](Cmd, const CommandResult& r) {
    if (r.status == CommandStatus::Done && mapWindowOf(*this)) closeMapWindow(*this, s_);
  });
  commands_.addFollowUp(Cmd::BackToSignals, [this](Cmd, const CommandResult&) {
    if (mapWindowOf(*this)) closeMapWindow(*this, s_);
  });
  for (Cmd cmd : {Cmd::Placement1, Cmd::Placement2, Cmd::Placement3, Cmd::Placement4})
    commands_.addFollowUp(cmd, [this](Cmd, const CommandResult&) { markPlacement(); });
  // After every command: a refusal not yet told goes to the status line,
  // and the monitor shows what changed.
  commands_.addFollowUpForAll([this](Cmd, const CommandResult& r) {
    if (r.status == CommandStatus::Refused && !r.message.empty())
      statusBar()->showMessage(QString::fromStdString(r.message), kHintMilliseconds);
    if (r.view != ViewChange::None) refreshMonitor(r.view == ViewChange::Relayout);
  });
}

}  // namespace velor::shell
