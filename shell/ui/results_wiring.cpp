#include "core/record_file.h"
#include "shell/ui/results_wiring.h"

#include <QApplication>
#include <QPointer>
#include <QToolBar>
#include <algorithm>

#include "eeg/ui/map_window.h"
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

namespace {

// Follows the keyboard focus among the windows the main window's commands
// can act on; focus moving elsewhere (tool panel, dialogs) leaves it.
class FrontTracker final : public QObject {
 public:
  explicit FrontTracker(MainWindow& w) : QObject(&w), w_(w) {
    setObjectName("frontTracker");
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) { note(now); });
    note(QApplication::focusWidget());
  }
  FrontWindow front() const {
    if (front_.kind != FrontKind::Monitor && !widget_) return {};  // closed since
    return {front_.kind, widget_.data()};
  }

 private:
  void note(QWidget* now) {
    for (QWidget* p = now; p; p = p->parentWidget()) {
      if (auto* g = qobject_cast<GraphWindow*>(p)) return set(FrontKind::Graph, g);
      if (auto* t = qobject_cast<TextResultsWindow*>(p)) return set(FrontKind::Text, t);
      if (auto* m = qobject_cast<MapWindow*>(p)) return set(FrontKind::Map, m);
      if (p == w_.monitor()) return set(FrontKind::Monitor, nullptr);
    }
  }
  void set(FrontKind kind, QWidget* widget) {
    front_.kind = kind;
    widget_ = widget;
  }

  MainWindow& w_;
  FrontWindow front_;
  QPointer<QWidget> widget_;
};

}  // namespace

FrontWindow frontWindow(MainWindow& w) {
  auto* tracker = w.findChild<FrontTracker*>("frontTracker", Qt::FindDirectChildrenOnly);
  if (!tracker) tracker = new FrontTracker(w);
  return tracker->front();
}

bool printActiveWindow(MainWindow& w, StudyState& s, Interaction& ui, FileChooser* chooser) {
  graphHostOf(w, s, ui, chooser);  // the graph windows' file window stays the main window's
  const FrontWindow front = frontWindow(w);
  switch (front.kind) {
    case FrontKind::Graph: return static_cast<GraphWindow*>(front.widget)->Print();
    case FrontKind::Text: return static_cast<TextResultsWindow*>(front.widget)->print();
    case FrontKind::Map:
      if (auto& print = static_cast<MapWindow*>(front.widget)->hooks().print) return print();
      break;
    case FrontKind::Monitor: break;
  }
  return printMonitorRecord(w, s, ui);
}

bool saveActiveWindow(MainWindow& w, StudyState& s, Interaction& ui, FileChooser& chooser) {
  graphHostOf(w, s, ui, &chooser);
  const FrontWindow front = frontWindow(w);
  switch (front.kind) {
    case FrontKind::Graph: return static_cast<GraphWindow*>(front.widget)->savePicture();
    case FrontKind::Text: static_cast<TextResultsWindow*>(front.widget)->writeFile(); return true;
    case FrontKind::Map: return saveCommand(s, true, chooser, ui);
    case FrontKind::Monitor: break;
  }
  return saveCommand(s, false, chooser, ui);
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
