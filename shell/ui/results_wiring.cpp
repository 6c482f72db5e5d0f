#include "core/record_file.h"
#include "shell/ui/results_wiring.h"

#include <QApplication>
#include <QToolBar>
#include <algorithm>

#include "results/ui/graph_host.h"
#include "results/ui/print_host.h"
#include "results/ui/print_target.h"
#include "results/ui/graph_window.h"
#include "results/ui/text_results_window.h"
#include "shell/main_commands.h"
#include "shell/ui/main_window.h"
#include "viewer/ui/monitor_widget.h"
#include "viewer/ui/record_print.h"

namespace velor::shell {

GraphHost& graphHostOf(MainWindow& w, StudyState& s, Interaction& ui, FileChooser* chooser) {
  auto* host = w.findChild<GraphHost*>(QString(), Qt::FindDirectChildrenOnly);
  if (!host) {
    host = new GraphHost(s, ui, &w);
    MainWindow* main = &w;
    host->tileTop = [main] {
      // below the main window's tool panel
      const auto& panels = main->toolPanels();
      const int panel = panels.empty() ? 0 : panels.front()->height();
      return main->frameGeometry().top() + 4 * panel - 10;
    };
    host->monitorMoved = [main] { main->refreshMonitor(false); };
    host->screenCopy = [main]() -> QImage {
      if (!main->monitor()) return {};
      return main->monitor()->surface().copy(main->monitor()->drawingRect());
    };
    host->print.askSettings = [main, &s, &ui]() -> std::optional<PrintSettings> {
      if (!askPrintSettings(main, s, ui)) return std::nullopt;
      return printSettingsOf(main, s);
    };
    host->print.makeTarget = [main]() -> std::unique_ptr<PrintTarget> {
      return std::make_unique<DialogPrintTarget>(printerOf(main), main);
    };
  }
  if (chooser) {
    host->runFileKind = [&s, &ui, chooser](FileKind kind, bool save) {
      return save ? saveByKind(s, kind, *chooser, ui) : openByKind(s, kind, *chooser, ui);
    };
  }
  return *host;
}

PrintHooks& printHooksOf(MainWindow& w, StudyState& s, Interaction& ui) { return graphHostOf(w, s, ui).print; }

GraphWindow* newGraphWindow(MainWindow& w, StudyState& s, Interaction& ui, FileChooser* chooser) {
  return graphHostOf(w, s, ui, chooser).createGraphWindow(-1, 0);
}

bool printActiveWindow(MainWindow& w, StudyState& s, Interaction& ui, FileChooser* chooser) {
  graphHostOf(w, s, ui, chooser);  // the graph windows' file window stays the main window's
  if (auto* graph = qobject_cast<GraphWindow*>(QApplication::activeWindow())) return graph->Print();
  return printMonitorRecord(w, s, ui);
}

bool printMonitorRecord(MainWindow& w, StudyState& s, Interaction& ui) {
  MonitorWidget* monitor = w.monitor();
  if (!monitor) return false;
  PrintHooks& hooks = printHooksOf(w, s, ui);
  if (!hooks.makeTarget) return false;
  auto target = hooks.makeTarget();
  if (!target) return false;
  const bool printed = printRecord(*monitor, s, ui, hooks.askSettings, *target);
  w.refreshMonitor(false);
  return printed;
}

TextFileActions textFileActions(StudyState& s, FileChooser& chooser, Interaction& ui) {
  FileChooser* files = &chooser;
  return {[&s, files, &ui] { openByKind(s, FileKind::Text, *files, ui); },
          [&s, files, &ui] { saveByKind(s, FileKind::Text, *files, ui); }};
}

}  // namespace velor::shell
