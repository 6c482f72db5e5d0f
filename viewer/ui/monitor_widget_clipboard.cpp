// The monitor's drawing and the system clipboard: copy, cut and paste work on
// the picture, not on the samples.
#include <QClipboard>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include "viewer/ui/monitor_widget.h"

namespace velor {

void MonitorWidget::clearOverlays() {
  hideCursorLines();
  if (rowMarkShown_) xorRowMark();
}

void MonitorWidget::copyPicture() { QGuiApplication::clipboard()->setImage(surface_.copy(drawingRect())); }

void MonitorWidget::Cut() {
  copyPicture();
  // Overlays are inverted pixels: taken off first, or inverting them again
  // later would draw them onto the white.
  clearOverlays();
  QPainter p(&surface_);
  p.fillRect(drawingRect(), Qt::white);
  update();
}

bool MonitorWidget::Paste(QString* failure) {
  const QImage picture = QGuiApplication::clipboard()->image();
  if (picture.isNull()) {
    if (failure) *failure = QStringLiteral("в буфере обмена нет рисунка");
    return false;
  }
  clearOverlays();
  QPainter p(&surface_);
  p.setClipRect(drawingRect());
  p.drawImage(QPoint(0, 0), picture);
  update();
  return true;
}

}  // namespace velor
