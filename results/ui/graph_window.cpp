#include "results/ui/graph_window.h"

#include <QAction>
#include <QApplication>
#include <QBuffer>
#include <QClipboard>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QFileInfo>
#include <QImageReader>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QPaintDevice>
#include <QPainter>
#include <QPointer>
#include <algorithm>
#include <vector>

#include "core/binio.h"
#include "core/numtext.h"
#include "results/graph_texts.h"
#include "results/print_place.h"
#include "results/ui/graph_host.h"
#include "results/ui/graph_paint.h"
#include "results/ui/print_target.h"

namespace velor {

namespace {

using namespace graph_text;

// Pictures larger than this are not decoded: a hostile header could ask for
// gigabytes.
constexpr int kMaxPictureSide = 16384;
constexpr qint64 kMaxPictureFileBytes = 256LL << 20;
constexpr std::size_t kMaxStateFileBytes = 1u << 20;

QString qs(const char* s) { return QString::fromUtf8(s); }

}  // namespace

GraphWindow::GraphWindow(GraphHost& host, int slot, QWidget* parent)
    : QWidget(parent,
              Qt::Tool | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                  Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      host_(host),
      s_(host.state()),
      picture_(kGraphPictureWidth, kGraphPictureHeight, QImage::Format_RGB32),
      slot_(slot) {
  setAttribute(Qt::WA_DeleteOnClose);
  setAttribute(Qt::WA_OpaquePaintEvent);
  setObjectName(QStringLiteral("graphWindow%1").arg(slot));
  setWindowTitle(qs(kGraphCaption));
  QFont f(qs(kFontName));
  f.setPointSize(8);
  setFont(f);
  setFocusPolicy(Qt::StrongFocus);
  picture_.fill(toQColor(kGraphBackground));
  buildMenu();
}

GraphWindow::~GraphWindow() = default;

void GraphWindow::buildMenu() {
  menu_ = new QMenu(this);
  auto add = [this](const char* caption, const char* key, auto slot) {
    QAction* a = menu_->addAction(qs(caption));
    if (key) {
      a->setShortcut(QKeySequence(QString::fromLatin1(key)));
      // the keys are taken in keyPressEvent; the menu only shows them
      a->setShortcutContext(Qt::WidgetShortcut);
    }
    connect(a, &QAction::triggered, this, slot);
    return a;
  };
  add(kMenuRead, "F3", [this] { readPicture(); });
  add(kMenuWrite, "F4", [this] { savePicture(); });
  add(kMenuExport, nullptr, [this] { exportValues(); });
  add(kMenuExportClipboard, nullptr, [this] { exportToClipboard(); });
  add(kMenuPrint, "F2", [this] { Print(); });
  add(kMenuCut, "Ctrl+X", [this] { Cut(); });
  add(kMenuCopy, "Ctrl+C", [this] { copyPicture(); });
  add(kMenuPaste, "Ctrl+V", [this] { Paste(); });
  add(kMenuPasteScreen, nullptr, [this] { pasteScreen(); });
  add(kMenuClose, "F10", [this] { close(); });
  add(kMenuCloseAll, nullptr, [this] { closeAllWindows(); });
  monitorAction_ = add(kMenuMonitor, "Ins", [this] { monitorToCursor(); });
  monitorAction_->setVisible(false);
  leftAction_ = add("", "Left", [this] { moveCursor(-1); });
  rightAction_ = add("", "Right", [this] { moveCursor(1); });
  leftAction_->setVisible(false);
  rightAction_->setVisible(false);
}

void GraphWindow::setWindowSize(int windowWidth, int windowHeight) {
  resize(std::max(1, windowWidth), std::max(1, windowHeight - kGraphCaptionHeight));
}

// --- geometry and drawing ----------------------------------------------------------------

void GraphWindow::initialise(int bottomReserve) {
  gridLines_ = 1;
  host_.table().graphLineWidth = 2;
  layOutPlot(bottomReserve);
  bottomReserve_ = bottomReserve;
  fillBackground();
  linkMode_ = host_.table().graphMonitorLink;
}

void GraphWindow::layOutPlot(int reserve) {
  geo_ = velor::layOutPlot(windowWidth(), windowHeight(), reserve);
  if (reserve >= 0) fillBackground();
}

void GraphWindow::fillBackground() {
  QPainter p(&picture_);
  p.fillRect(QRect(0, 0, std::max(0, geo_.drawingWidth), std::max(0, geo_.drawingHeight)),
             toQColor(kGraphBackground));
  cursorX_ = -1;
  update();
}

void GraphWindow::drawSeries(int lastSeries) {
  if (lastSeries < 0) {
    drawTwoPanels();
    return;
  }
  if (s_.dialogResult == kFixedScatterScale) scatterScale_ = kFixedScatterScale;
  snapshot_ = snapshotFromStore(s_, host_.table(), lastSeries);
  draw();
}

void GraphWindow::drawTwoPanels() {
  if (s_.dialogResult == kFixedScatterScale) scatterScale_ = kFixedScatterScale;
  snapshot_ = snapshotFromStore(s_, host_.table(), -1);
  draw();
}

void GraphWindow::paintItems(const std::vector<GraphItem>& items) {
  QPainter p(&picture_);
  paintGraphItems(p, items, graphFont());
}

void GraphWindow::draw() {
  cursorX_ = -1;  // the plot is painted over
  const bool twoPanel = snapshot_.seriesCountCode < 0;
  GraphTable& t = host_.table();
  drawing_ = drawGraph(snapshot_, geo_, twoPanel, scatterScale_ == kFixedScatterScale, t.graphLineWidth);
  paintItems(drawing_.items());
  const PlotResult& last = drawing_.panels.back();
  t.graphMin = {last.map.xmin, last.map.ymin};
  t.graphMax = {last.map.xmax, last.map.ymax};
  t.plotBottom = last.map.plotBottom;
  t.plotWidth = last.map.plotWidth;
  t.plotHeight = twoPanel ? geo_.height : last.map.plotHeight;
  const PlotResult& first = drawing_.panels.front();
  if (!first.scatterResult.empty()) s_.chosenFilePath = first.scatterResult;
  cursorScale_ = snapshot_.series.empty() ? CursorScale{} : cursorScale(first.map, snapshot_.series.front());
  drawn_ = true;
  endOfDrawing();
}

void GraphWindow::endOfDrawing() {
  if (linkMode_ > 0) {
    monitorAction_->setVisible(true);
    cursorIndex_ = 0;
    drawCursor();
  }
  if (resizing_ != 1) writeState();
  host_.drawingFinished(this);
  update();
}

void GraphWindow::drawTextAt(int x, int y, const std::string& text, int boxWidth) {
  GraphItem it;
  it.kind = GraphItem::Kind::Text;
  it.x1 = x;
  it.y1 = y;
  it.text = text;
  it.boxWidth = boxWidth;
  paintItems({it});
  update();
}

// --- linked cursor ------------------------------------------------------------------------------

void GraphWindow::xorCursorLine(int x) {
  if (x < 0 || x >= picture_.width()) return;
  auto segment = [&](int y0, int y1) {
    for (int y = std::max(0, y0); y <= std::min(picture_.height() - 1, y1); ++y)
      reinterpret_cast<quint32*>(picture_.scanLine(y))[x] ^= kGraphCursorOlive;
  };
  if (snapshot_.seriesCountCode < 0) {
    const int half = geo_.height / 2;
    segment(geo_.top, geo_.top + half);
    segment(geo_.top + half + 25, geo_.top + geo_.height + 25);
  } else {
    segment(geo_.top, geo_.top + geo_.height);
  }
}

void GraphWindow::drawCursorBox() {
  const int H = windowHeight();
  GraphItem box;
  box.kind = GraphItem::Kind::Fill;
  box.x1 = 400;
  box.y1 = H - 60;
  box.x2 = 480;
  box.y2 = H - 30;
  box.brush = kGraphBackground;
  std::vector<GraphItem> items{box};
  auto line = [&](int y, const std::string& t, int w) {
    GraphItem it;
    it.kind = GraphItem::Kind::Text;
    it.x1 = 400;
    it.y1 = y;
    it.text = t;
    it.boxWidth = w;
    items.push_back(it);
  };
  // rows 1 and 3 of the float store, whatever the series say
  if (snapshot_.seriesCountCode < 0) {
    line(H - 60, kPeriodLabel + formatNumber(floatAt(s_, 1, cursorIndex_)), 80);
    line(H - 45, kAmplitudeLabel + formatNumber(floatAt(s_, 3, cursorIndex_)), 80);
  } else {
    line(H - 50, kValueLabel + formatNumber(floatAt(s_, 1, cursorIndex_)), 60);
  }
  paintItems(items);
}

void GraphWindow::drawCursor() {
  if (cursorX_ >= 0) xorCursorLine(cursorX_);  // erase the old line
  cursorX_ = cursorScale_.columnOf(cursorIndex_);
  xorCursorLine(cursorX_);
  drawCursorBox();
  update();
}

void GraphWindow::moveCursor(int delta) {
  if (linkMode_ <= 0 || !drawn_) return;
  const int next = cursorIndex_ + delta;
  if (next < 0 || next > cursorScale_.last) return;
  cursorIndex_ = next;
  drawCursor();
}

void GraphWindow::clickAt(int x) {
  if (linkMode_ <= 0 || !drawn_) return;
  const int u = cursorScale_.indexAt(x);
  if (u == cursorIndex_) {
    monitorToCursor();  // a second click on the same point
    return;
  }
  cursorIndex_ = u;
  drawCursor();
}

bool GraphWindow::monitorToCursor() {
  if (linkMode_ <= 0 || !drawn_) return false;
  if (!moveMonitorToPoint(s_, linkMode_, cursorScale_.last, cursorIndex_)) return false;
  if (host_.monitorMoved) host_.monitorMoved();
  return true;
}

// --- state file ------------------------------------------------------------------------------------

std::string GraphWindow::statePath() const { return s_.programDir + graphStateFileName(slot_); }

bool GraphWindow::writeState() {
  stateWritten_ = writeFileAtomically(statePath(), encodeGraphState(snapshot_));
  return stateWritten_;
}

bool GraphWindow::restoreState() {
  // A file left from an earlier run or an earlier window of the slot is not
  // this window's: only what it wrote itself comes back.
  if (!stateWritten_) return false;
  std::string bytes;
  if (!readWholeFile(statePath(), bytes, kMaxStateFileBytes)) return false;
  GraphSnapshot g;
  std::string reason;
  if (!decodeGraphState(bytes, g, reason)) return false;
  applySnapshot(s_, host_.table(), g);
  return true;
}

// --- menu commands -----------------------------------------------------------------------------------

template <typename F>
auto GraphWindow::hiddenWhile(F work) {
  // This window and the text result window stay on top of everything, so
  // they step aside while a dialog or a print runs.
  std::vector<QPointer<QWidget>> hidden;
  for (QWidget* w : QApplication::topLevelWidgets())
    if ((w == this || w->inherits("velor::TextResultsWindow")) && w->isVisible()) hidden.emplace_back(w);
  for (auto& w : hidden) w->hide();
  auto result = work();
  for (auto& w : hidden)
    if (w) w->show();
  return result;
}

bool GraphWindow::Print() {
  const PrintHooks& hooks = host_.print;
  if (!hooks.askSettings || !hooks.makeTarget) return false;
  return hiddenWhile([&] {
    const auto settings = hooks.askSettings();
    if (!settings) return false;
    auto target = hooks.makeTarget();
    if (!target) return false;
    QPaintDevice* device = target->begin(printsPortrait(*settings));
    if (!device) return false;
    const PageRect r = graphPrintRect(*settings, device->width(), picture_.width(), picture_.height(),
                                      geo_.drawingWidth, geo_.drawingHeight);
    QPainter p;
    if (!p.begin(device)) {
      target->finish();
      host_.interaction().message("Печать не удалась: принтер не принимает страницу.");
      return false;
    }
    p.drawImage(QRect(r.left, r.top, r.width(), r.height()), picture_);
    p.end();
    if (!target->finish()) {
      host_.interaction().message("Печать не удалась: страница не записана.");
      return false;
    }
    return true;
  });
}

void GraphWindow::copyPicture() {
  const QImage part = picture_.copy(0, 0, std::max(1, geo_.drawingWidth), std::max(1, geo_.drawingHeight - 6));
  QGuiApplication::clipboard()->setImage(part);
}

void GraphWindow::Cut() {
  copyPicture();
  fillBackground();
}

bool GraphWindow::Paste() {
  const QMimeData* m = QGuiApplication::clipboard()->mimeData();
  if (!m || !m->hasImage()) return false;
  const QImage img = qvariant_cast<QImage>(m->imageData());
  if (img.isNull()) {
    host_.interaction().message(std::string(kInterrupt) + "рисунок из буфера обмена не читается");
    return false;
  }
  QPainter p(&picture_);
  p.drawImage(0, 0, img);
  p.end();
  cursorX_ = -1;
  update();
  return true;
}

void GraphWindow::pasteScreen() {
  if (!host_.screenCopy) return;
  const QImage screen = host_.screenCopy();
  if (screen.isNull()) return;
  QGuiApplication::clipboard()->setImage(screen);
  Paste();
}

bool GraphWindow::readPicture() {
  if (!host_.runFileKind) return false;
  host_.windowActivated(this);
  return hiddenWhile([&] { return host_.runFileKind(FileKind::Picture, false); });
}

bool GraphWindow::savePicture() {
  if (!host_.runFileKind) return false;
  host_.windowActivated(this);
  return hiddenWhile([&] { return host_.runFileKind(FileKind::Picture, true); });
}

bool GraphWindow::exportValues() {
  if (!host_.runFileKind) return false;
  host_.windowActivated(this);
  return hiddenWhile([&] { return host_.runFileKind(FileKind::GraphText, true); });
}

void GraphWindow::exportToClipboard() {
  QGuiApplication::clipboard()->setText(QString::fromStdString(graphExportText(snapshot_, false)));
}

void GraphWindow::closeAllWindows() { host_.closeAll(); }

bool GraphWindow::loadPictureFile(const std::string& path) {
  const QString name = QString::fromStdString(path);
  QImageReader reader(name);
  const QString shown = QString::fromStdString(baseName(path));
  auto refuse = [&](const QString& why) {
    host_.interaction().message(("Рисунок " + shown + " не прочитан: " + why).toStdString());
    return false;
  };
  const QFileInfo info(name);
  if (!info.isFile()) return refuse(QStringLiteral("файла нет"));
  if (info.size() > kMaxPictureFileBytes) return refuse(QStringLiteral("файл слишком велик"));
  const QSize size = reader.size();
  if (size.isValid() && (size.width() > kMaxPictureSide || size.height() > kMaxPictureSide))
    return refuse(QStringLiteral("рисунок слишком велик"));
  const QImage img = reader.read();
  if (img.isNull()) return refuse(reader.errorString());
  QPainter p(&picture_);
  p.drawImage(0, 0, img);
  p.end();
  cursorX_ = -1;
  update();
  return true;
}

bool GraphWindow::savePictureFile(const std::string& path) {
  const QImage part = picture_.copy(0, 0, std::max(1, geo_.drawingWidth), std::max(1, geo_.drawingHeight));
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  if (!part.save(&buffer, "BMP") ||
      !writeFileAtomically(path, std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())))) {
    host_.interaction().message("Файл " + baseName(path) + " не записан.");
    return false;
  }
  return true;
}

// --- events -------------------------------------------------------------------------------------------------

void GraphWindow::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.drawImage(0, 0, picture_);
  if (width() > picture_.width()) p.fillRect(QRect(picture_.width(), 0, width() - picture_.width(), height()), toQColor(kGraphBackground));
  if (height() > picture_.height())
    p.fillRect(QRect(0, picture_.height(), width(), height() - picture_.height()), toQColor(kGraphBackground));
}

void GraphWindow::resizeEvent(QResizeEvent*) {
  resizing_ = 1;
  // Until the first drawing there is nothing to redraw; a blank canvas keeps
  // what was drawn into it.
  if (drawn_ && bottomReserve_ >= 0) {
    layOutPlot(bottomReserve_);
    draw();
  } else if (drawn_ || bottomReserve_ < 0) {
    geo_ = velor::layOutPlot(windowWidth(), windowHeight(), bottomReserve_);
  }
  resizing_ = 0;
}

void GraphWindow::keyPressEvent(QKeyEvent* e) {
  const auto mods = e->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier);
  if (mods == Qt::ControlModifier) {
    switch (e->key()) {
      case Qt::Key_X: Cut(); return;
      case Qt::Key_C: copyPicture(); return;
      case Qt::Key_V: Paste(); return;
      default: break;
    }
  }
  if (mods == Qt::NoModifier) {
    switch (e->key()) {
      case Qt::Key_F2: Print(); return;
      case Qt::Key_F3: readPicture(); return;
      case Qt::Key_F4: savePicture(); return;
      case Qt::Key_F10: close(); return;
      case Qt::Key_Escape: menu_->popup(QPoint(200, 100)); return;
      case Qt::Key_Insert:
        if (linkMode_ > 0) monitorToCursor();
        return;
      case Qt::Key_Left:
        if (linkMode_ > 0) moveCursor(-1);
        return;
      case Qt::Key_Right:
        if (linkMode_ > 0) moveCursor(1);
        return;
      default: break;
    }
  }
  QWidget::keyPressEvent(e);
}

void GraphWindow::mousePressEvent(QMouseEvent* e) {
  if (e->button() == Qt::LeftButton) clickAt(e->position().toPoint().x());
}

void GraphWindow::contextMenuEvent(QContextMenuEvent* e) { menu_->popup(e->globalPos()); }

void GraphWindow::closeEvent(QCloseEvent* e) {
  host_.windowClosed(this);
  e->accept();
}

bool GraphWindow::event(QEvent* e) {
  if (e->type() == QEvent::WindowActivate) host_.windowActivated(this);
  return QWidget::event(e);
}

}  // namespace velor
