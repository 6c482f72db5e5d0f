#include "results/ui/graph_host.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include "results/ui/graph_window.h"

namespace velor {

GraphHost::GraphHost(StudyState& s, Interaction& ui, QWidget* mainWindow)
    : QObject(mainWindow), s_(s), ui_(ui), mainWindow_(mainWindow) {
  // The dispatch reaches the current graph window for its two file kinds.
  openPictureKind_ = std::make_unique<FileKindRegistration>(
      FileKind::Picture, false, [this](StudyState&, const std::string& path, Interaction&) { return openPicture(path); });
  savePictureKind_ = std::make_unique<FileKindRegistration>(
      FileKind::Picture, true, [this](StudyState&, const std::string& path, Interaction&) { return savePicture(path); });
  exportKind_ = std::make_unique<FileKindRegistration>(
      FileKind::GraphText, true, [this](StudyState&, const std::string& path, Interaction&) { return exportSeries(path); });
}

GraphHost::~GraphHost() {
  for (auto& w : slots_) {
    if (w) delete w.data();
  }
}

GraphWindow* GraphHost::window(int slot) const {
  if (slot < 1 || slot > kGraphSlots) return nullptr;
  return slots_[static_cast<std::size_t>(slot)].data();
}

int GraphHost::openCount() const {
  int n = 0;
  for (int i = 1; i <= kGraphSlots; ++i) n += slots_[static_cast<std::size_t>(i)] ? 1 : 0;
  return n;
}

GraphWindow* GraphHost::createGraphWindow(int bottomReserve, int extraHeight) {
  std::array<bool, kGraphSlots + 1> occupied{};
  for (int i = 1; i <= kGraphSlots; ++i) occupied[static_cast<std::size_t>(i)] = !slots_[static_cast<std::size_t>(i)].isNull();
  const int slot = chooseGraphSlot(occupied, currentSlot_);
  currentSlot_ = slot;
  if (GraphWindow* old = slots_[static_cast<std::size_t>(slot)].data()) {
    current_ = old;
    // Closing clears the link kind, but it was set for the new window.
    const int link = table_.graphMonitorLink;
    old->close();  // empties the slot
    slots_[static_cast<std::size_t>(slot)] = nullptr;
    table_.graphMonitorLink = link;
  }
  creating_ = true;
  auto* w = new GraphWindow(*this, slot, mainWindow_);
  slots_[static_cast<std::size_t>(slot)] = w;
  current_ = w;
  w->setWindowSize(kGraphWindowWidth, kGraphWindowHeight + extraHeight);
  if (QScreen* screen = mainWindow_ ? mainWindow_->screen() : QGuiApplication::primaryScreen()) {
    const QRect area = screen->availableGeometry();
    w->move(area.center() - QPoint(w->width() / 2, w->height() / 2));
  }
  w->initialise(bottomReserve);
  // A blank canvas has nothing to draw, so its creation ends here.
  if (bottomReserve < 0) creating_ = false;
  w->show();
  return w;
}

void GraphHost::closeAll() {
  for (int i = 1; i <= kGraphSlots; ++i)
    if (GraphWindow* w = slots_[static_cast<std::size_t>(i)].data()) w->close();
  currentSlot_ = 0;
}

void GraphHost::windowActivated(GraphWindow* w) {
  if (!w || currentSlot_ <= 0) return;
  if (window(w->graphSlot()) != w) return;
  current_ = w;
  currentSlot_ = w->graphSlot();
  table_.graphMonitorLink = w->linkMode();
  // the shared series become this window's again
  w->restoreState();
}

void GraphHost::windowClosed(GraphWindow* w) {
  table_.graphMonitorLink = 0;
  if (current_ == w) current_ = nullptr;
  const int slot = w->graphSlot();
  if (window(slot) == w) slots_[static_cast<std::size_t>(slot)] = nullptr;
}

void GraphHost::drawingFinished(GraphWindow*) {
  creating_ = false;
  tile();
}

void GraphHost::tile() {
  std::vector<GraphWindow*> open;
  for (int i = 1; i <= kGraphSlots; ++i)
    if (GraphWindow* w = window(i)) open.push_back(w);
  if (open.size() < 2) return;
  std::vector<WindowSize> sizes;
  for (GraphWindow* w : open) sizes.push_back({w->frameGeometry().width(), w->frameGeometry().height()});
  const auto places = tileGraphWindows(sizes, tileTop ? tileTop() : 0);
  for (std::size_t j = 0; j < places.size(); ++j) {
    const QPoint at(places[j].x, places[j].y);
    if (open[j]->frameGeometry().topLeft() != at) open[j]->move(at);
  }
}

bool GraphHost::openPicture(const std::string& path) {
  if (!current_) {
    ui_.message("Нет окна графиков для рисунка.");
    return false;
  }
  return current_->loadPictureFile(path);
}

bool GraphHost::savePicture(const std::string& path) {
  if (!current_) {
    ui_.message("Нет окна графиков для записи рисунка.");
    return false;
  }
  return current_->savePictureFile(path);
}

bool GraphHost::exportSeries(const std::string& path) {
  if (!current_) {
    ui_.message("Нет окна графиков для экспорта.");
    return false;
  }
  return writeGraphExport(path, current_->snapshot(), ui_);
}

}  // namespace velor
