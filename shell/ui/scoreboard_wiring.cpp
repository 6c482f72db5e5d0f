#include "shell/ui/scoreboard_wiring.h"

#include "instruments/scoreboard_texts.h"
#include "instruments/ui/ttabl.h"
#include "shell/commands.h"
#include "shell/ui/tfvelor.h"
#include "viewer/ui/moni.h"
#include "viewer/ui/record_edit_commands.h"

namespace velor::shell {

namespace {
constexpr const char* kObjectName = "scoreboard";
}  // namespace

TTabl* scoreboardOf(TFVelor& w) { return w.findChild<TTabl*>(QString::fromLatin1(kObjectName)); }

void installScoreboard(TFVelor& w) {
  TMoni* monitor = w.monitor();
  if (!monitor || scoreboardOf(w)) return;
  StudyState& s = w.study();
  auto* tabl = new TTabl(s, &w);
  tabl->setObjectName(QString::fromLatin1(kObjectName));

  // The caption follows every change of the view; refreshing on it covers
  // records read, steps, edits and zoom.
  QObject::connect(monitor, &TMoni::captionChanged, tabl, [tabl] { tabl->prvt(); });
  QObject::connect(monitor, &TMoni::cursorMoved, tabl, [monitor, tabl, &s] {
    // In the signal view the caption is rebuilt too (the epoch count
    // follows the record), and its announcement refreshes the readouts.
    if (s.viewMode == 0)
      monitor->prhd();
    else
      tabl->prvt();
  });
  if (RecordEditCommands* edit = w.editCommands())
    QObject::connect(edit, &RecordEditCommands::changed, tabl, [tabl] { tabl->prvt(); });
  QObject::connect(tabl, &TTabl::monitorRefreshRequested, monitor, [monitor] { emit monitor->cursorMoved(); });
  QObject::connect(tabl, &TTabl::notebookRequested, &w, [&w] { w.runCommand(Cmd::AddToNotebook); });
  QObject::connect(tabl, &TTabl::closedByUser, &w, [&s] { s.scoreboardVisible = false; });

  const MenuEntry* notebook = findMenuEntry(Cmd::AddToNotebook);
  const bool available = notebook && commandEnabled(notebook->module);
  tabl->setNotebookAvailable(available, notebook ? QString::fromStdString(shownHint(scoreboard_text::kHintNotebook,
                                                                                    notebook->module))
                                                 : QString());
  tabl->prvt();
  if (s.scoreboardVisible && s.acquisitionActive == 0) tabl->show();
}

void toggleScoreboard(TFVelor& w) {
  TTabl* tabl = scoreboardOf(w);
  if (!tabl) return;
  const bool show = !tabl->isVisible();
  tabl->setVisible(show);
  w.study().scoreboardVisible = show;
}

void setScoreboardFrequencyLabels(TFVelor& w, bool frequency) {
  if (TTabl* tabl = scoreboardOf(w)) tabl->setFrequencyLabels(frequency);
}

void setScoreboardMapChannel(TFVelor& w, MapChannelProvider provider) {
  if (TTabl* tabl = scoreboardOf(w)) {
    tabl->setMapChannelProvider(std::move(provider));
    tabl->prvt();
  }
}

}  // namespace velor::shell
