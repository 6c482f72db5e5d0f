// The map window on the main window: created on first use as a child of the
// monitor's area, kept at its right edge (sidePanelWidth wide, the monitor
// narrowed beside it), redrawn on the monitor's cursor and view signals, and
// registered as the writer of FileKind::SideWindow (the map's values, or its
// picture for ".bmp") while it exists.
#include "shell/ui/map_wiring.h"

#include <QApplication>
#include <QEvent>
#include <QKeyEvent>
#include <QPainter>
#include <QPointer>
#include <algorithm>
#include <cmath>
#include <memory>

#include "core/binio.h"
#include "core/file_kinds.h"
#include "core/text.h"
#include "eeg/ui/map_window.h"
#include "instruments/ui/scoreboard_panel.h"
#include "results/print_place.h"
#include "results/ui/print_target.h"
#include "shell/main_commands.h"
#include "shell/ui/results_wiring.h"
#include "shell/ui/scoreboard_wiring.h"
#include "shell/ui/main_window.h"
#include "viewer/monitor.h"
#include "viewer/ui/monitor_widget.h"
#include "viewer/ui/record_print.h"

namespace velor {

namespace {

int panelWidthFor(const StudyState& s) {
  if (!showsBandMeasures(s.viewMode)) return 210;
  if (!isExamDisplay(s.viewMode)) return 420;
  return 320;
}

// Keeps the map window at the right edge of the monitor's area as it resizes.
class MapDock final : public QObject {
 public:
  MapDock(MapWindow* map, StudyState& s, shell::MainWindow& w, Interaction& ui) : QObject(map), map_(map), s_(s), w_(w) {
    values_ = std::make_unique<FileKindRegistration>(
        FileKind::SideWindow, true, [this](StudyState&, const std::string& path, Interaction& ui2) {
          if (extensionLower(path) == ".bmp") {
            if (map_->picture().save(QString::fromStdString(path), "BMP")) return true;
            ui2.message(std::string("Прерывание: не удалось записать ") + path);
            return false;
          }
          return map_->saveValues(path);
        });
    (void)ui;
  }
  bool eventFilter(QObject*, QEvent* e) override {
    if (e->type() == QEvent::Resize) place();
    return false;
  }
  void place() {
    QWidget* area = map_->parentWidget();
    if (!area) return;
    s_.sidePanelWidth = panelWidthFor(s_);
    map_->setGeometry(area->width() - s_.sidePanelWidth, 0, s_.sidePanelWidth, area->height());
  }

 private:
  MapWindow* map_;
  StudyState& s_;
  shell::MainWindow& w_;
  std::unique_ptr<FileKindRegistration> values_;
};

bool printMap(shell::MainWindow& w, StudyState& s, Interaction& ui, MapWindow& map) {
  PrintHooks& hooks = shell::printHooksOf(w, s, ui);
  if (!hooks.askSettings || !hooks.makeTarget) return false;
  const auto settings = hooks.askSettings();
  if (!settings) return false;
  auto target = hooks.makeTarget();
  if (!target) return false;
  QPaintDevice* device = target->begin(printsPortrait(*settings));
  if (!device) return false;
  const QImage& picture = map.picture();
  const double k = device->width() / std::max(0.1, settings->paperWidthCm);
  const double left = settings->printLeftCm * k, top = settings->printTopCm * k;
  const double right = settings->printWidthCm * k * picture.width() / std::max(1, map.width()) + left;
  const double bottom = settings->printHeightCm * k * picture.height() / std::max(1, map.height()) + top;
  // The picture fills the settings' box only as far as its proportions allow,
  // so that a round head stays round on the page (stretched into the box it
  // came out as an egg).
  const double boxWidth = std::trunc(right) - std::trunc(left), boxHeight = std::trunc(bottom) - std::trunc(top);
  const double scale = std::min(boxWidth / std::max(1, picture.width()), boxHeight / std::max(1, picture.height()));
  const QRect place(static_cast<int>(left), static_cast<int>(top), std::max(1, static_cast<int>(picture.width() * scale)),
                    std::max(1, static_cast<int>(picture.height() * scale)));
  QPainter p;
  if (!p.begin(device)) {
    target->finish();
    ui.message("Печать не удалась: принтер не принимает страницу.");
    return false;
  }
  // the patient line above the map; the colour bar's values are in the picture
  paintPrintedPicture(p, picture, place, QString::fromStdString(patientLine(s)), s, device->width(), device->height());
  p.end();
  if (!target->finish()) {
    ui.message("Печать не удалась: страница не записана.");
    return false;
  }
  return true;
}

MapWindow* ensureMap(shell::MainWindow& w, StudyState& s, SpectralEngine& engine, Interaction& ui) {
  if (MapWindow* map = mapWindowOf(w)) return map;
  MonitorWidget* monitor = w.monitor();
  if (!monitor || !monitor->parentWidget()) return nullptr;
  QWidget* area = monitor->parentWidget();
  auto* map = new MapWindow(s, engine, ui, area);
  auto* dock = new MapDock(map, s, w, ui);
  area->installEventFilter(dock);
  shell::MainWindow* main = &w;
  MapWindow::Hooks& h = map->hooks();
  h.print = [main, &s, &ui, map] { return printMap(*main, s, ui, *map); };
  // through the save dispatch: the writer registered by the dock does the work
  h.exportValues = [main, &s, &ui] { saveByKind(s, FileKind::SideWindow, main->fileChooser(), ui); };
  h.pickCard = [main, &s](bool save) { return chooseByKind(s, FileKind::Maps, save, main->fileChooser()); };
  h.closeRequested = [main, &s] { closeMapWindow(*main, s); };
  // A command of the tool window may switch between the map and the band
  // diagrams: the dock takes the width of the new layout, as the EEG
  // window's commands give it.
  h.analysisChanged = [main, dock] {
    dock->place();
    main->refreshMonitor(true);
    dock->place();
  };
  h.importParameters = [main, &s, &ui] { return openByKind(s, FileKind::SpectralParameters, main->fileChooser(), ui); };
  h.pickSubjectTable = [main, &s] { return chooseByKind(s, FileKind::GraphText, false, main->fileChooser()); };
  h.redrawn = [main] {
    if (ScoreboardPanel* board = shell::scoreboardOf(*main)) board->refreshReadouts();
  };
  shell::setScoreboardMapChannel(w, [&s] { return s.currentChannelRow; });
  h.forwardKey = [monitor](QKeyEvent* e) {
    QKeyEvent copy(e->type(), e->key(), e->modifiers(), e->text(), e->isAutoRepeat(), static_cast<ushort>(e->count()));
    QApplication::sendEvent(monitor, &copy);
  };
  QObject::connect(monitor, &MonitorWidget::cursorMoved, map, [map] {
    if (!map->showsCardStatistics()) map->drawMaps();
  });
  QObject::connect(monitor, &MonitorWidget::viewChanged, map, [map] {
    if (!map->showsCardStatistics()) map->drawMaps();
  });
  // the caption changes with the record (navigation, reading)
  QObject::connect(monitor, &MonitorWidget::captionChanged, map, [map] {
    if (map->isVisible() && !map->showsCardStatistics()) map->drawMaps();
  });
  s.sideWindow = map;
  return map;
}

void showDocked(shell::MainWindow& w, StudyState& s, MapWindow* map) {
  if (auto* dock = map->findChild<MapDock*>()) dock->place();
  map->show();
  map->raise();
  w.refreshMonitor(true);
  if (auto* dock = map->findChild<MapDock*>()) dock->place();
  map->drawMaps();
  (void)s;
}

}  // namespace

MapWindow* mapWindowOf(shell::MainWindow& w) { return w.findChild<MapWindow*>("mapWindow"); }

MapWindow* amplitudeMaps(shell::MainWindow& w, StudyState& s, SpectralEngine& engine, Interaction& ui) {
  if (MapWindow* open = mapWindowOf(w); open && open->isVisible()) {
    // a second press ends the transform view; the map follows the signals again
    if (s.viewMode == ViewMode::Transform) s.leaveTransformView();
    showDocked(w, s, open);
    return open;
  }
  if (showsBandMeasures(s.viewMode)) return nullptr;
  MapWindow* map = ensureMap(w, s, engine, ui);
  if (!map) return nullptr;
  s.currentChannelRow = 0;
  showDocked(w, s, map);
  return map;
}

bool bandDiagramMaps(shell::MainWindow& w, StudyState& s, SpectralEngine& engine, Interaction& ui, ViewMode mode) {
  MapWindow* map = ensureMap(w, s, engine, ui);
  MapSettings scratch;
  MapSettings& settings = map ? map->settings() : scratch;
  if (!runBandDiagrams(engine, s, mode, ui, settings)) {
    if (map && !showsBandMeasures(s.viewMode)) showDocked(w, s, map);
    else w.refreshMonitor(true);
    return false;
  }
  if (!map) return false;
  s.currentChannelRow = 0;
  showDocked(w, s, map);
  return true;
}

void redrawMaps(shell::MainWindow& w) {
  if (MapWindow* map = mapWindowOf(w); map && map->isVisible()) map->drawMaps();
}

void closeMapWindow(shell::MainWindow& w, StudyState& s) {
  shell::setScoreboardMapChannel(w, {});
  if (MapWindow* map = mapWindowOf(w)) {
    if (s.sideWindow == map) s.sideWindow = nullptr;
    map->hide();
    map->deleteLater();
    map->setObjectName(QString());  // no longer found while it is being deleted
  }
  s.sidePanelWidth = 0;
  if (showsBandDiagrams(s.viewMode)) s.viewMode = ViewMode::Signals;
  w.refreshMonitor(true);
}

}  // namespace velor
