#include "shell/ui/scoreboard_wiring.h"

#include "instruments/scoreboard_texts.h"
#include "instruments/ui/scoreboard_panel.h"
#include "shell/commands.h"
#include "shell/ui/main_window.h"
#include "viewer/ui/monitor_widget.h"
#include "viewer/ui/record_edit_commands.h"

namespace velor::shell {

namespace {
constexpr const char* kObjectName = "scoreboard";
}  // namespace

ScoreboardPanel* scoreboardOf(MainWindow& w) { return w.findChild<ScoreboardPanel*>(QString::fromLatin1(kObjectName)); }

void installScoreboard(MainWindow& w) {
  MonitorWidget* monitor = w.monitor();
  if (!monitor || scoreboardOf(w)) return;
  StudyState& s = w.study();
  auto* tabl = new ScoreboardPanel(s, &w);
  tabl->setObjectName(QString::fromLatin1(kObjectName));

  // The caption follows every change of the view; refreshing on it covers
  // records read, steps, edits and zoom.
  QObject::connect(monitor, &MonitorWidget::captionChanged, tabl, [tabl] { tabl->refreshReadouts(); });
  QObject::connect(monitor, &MonitorWidget::cursorMoved, tabl, [monitor, tabl, &s] {
    // In the signal view the caption is rebuilt too (the epoch count
    // follows the record), and its announcement refreshes the readouts.
    if (s.viewMode == ViewMode::Signals)
      monitor->refreshCaption();
    else
      tabl->refreshReadouts();
  });
  if (RecordEditCommands* edit = w.editCommands())
    QObject::connect(edit, &RecordEditCommands::changed, tabl, [tabl] { tabl->refreshReadouts(); });
  QObject::connect(tabl, &ScoreboardPanel::monitorRefreshRequested, monitor, [monitor] { Q_EMIT monitor->cursorMoved(); });
  QObject::connect(tabl, &ScoreboardPanel::notebookRequested, &w, [&w] { w.runCommand(Cmd::AddToNotebook); });
  QObject::connect(tabl, &ScoreboardPanel::closedByUser, &w, [&s] { s.scoreboardVisible = false; });

  const MenuEntry* notebook = findMenuEntry(Cmd::AddToNotebook);
  const bool available = notebook && commandEnabled(notebook->module);
  tabl->setNotebookAvailable(available, notebook ? QString::fromStdString(shownHint(scoreboard_text::kHintNotebook,
                                                                                    notebook->module))
                                                 : QString());
  tabl->refreshReadouts();
  if (s.scoreboardVisible && s.acquisitionActive == 0) tabl->show();
}

void toggleScoreboard(MainWindow& w) {
  ScoreboardPanel* tabl = scoreboardOf(w);
  if (!tabl) return;
  const bool show = !tabl->isVisible();
  tabl->setVisible(show);
  w.study().scoreboardVisible = show;
}

void setScoreboardFrequencyLabels(MainWindow& w, bool frequency) {
  if (ScoreboardPanel* tabl = scoreboardOf(w)) tabl->setFrequencyLabels(frequency);
}

void setScoreboardMapChannel(MainWindow& w, MapChannelProvider provider) {
  if (ScoreboardPanel* tabl = scoreboardOf(w)) {
    tabl->setMapChannelProvider(std::move(provider));
    tabl->refreshReadouts();
  }
}

}  // namespace velor::shell
