#include "results/ui/graph_paint.h"

#include <QPainter>
#include <QPen>
#include <algorithm>

#include "results/graph_texts.h"

namespace velor {

QColor toQColor(Rgb c) { return QColor((c >> 16) & 0xFF, (c >> 8) & 0xFF, c & 0xFF); }

QFont graphFont() {
  QFont f(QString::fromUtf8(graph_text::kFontName));
  f.setStyleHint(QFont::Serif);
  f.setPointSize(8);
  f.setBold(true);
  return f;
}

void paintGraphItems(QPainter& p, const std::vector<GraphItem>& items, const QFont& font) {
  p.save();
  p.setRenderHint(QPainter::Antialiasing, false);
  p.setFont(font);
  for (const GraphItem& it : items) {
    // The items keep the drawing rules of rectangles and ellipses whose
    // right and bottom edges lie outside; a Qt outline covers its rectangle
    // plus one pixel, hence the − 1.
    const int w = it.x2 - it.x1, h = it.y2 - it.y1;
    switch (it.kind) {
      case GraphItem::Kind::Fill:
        if (w > 0 && h > 0) p.fillRect(QRect(it.x1, it.y1, w, h), toQColor(it.brush));
        break;
      case GraphItem::Kind::Rect:
        if (w <= 0 || h <= 0) break;
        p.fillRect(QRect(it.x1, it.y1, w, h), toQColor(it.brush));
        p.setPen(QPen(toQColor(it.pen), 1, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
        p.setBrush(Qt::NoBrush);
        p.drawRect(QRect(it.x1, it.y1, std::max(0, w - 1), std::max(0, h - 1)));
        break;
      case GraphItem::Kind::Ellipse:
        if (w <= 0 || h <= 0) break;
        p.setPen(QPen(toQColor(it.pen), 1));
        p.setBrush(toQColor(it.brush));
        p.drawEllipse(QRect(it.x1, it.y1, std::max(0, w - 1), std::max(0, h - 1)));
        p.setBrush(Qt::NoBrush);
        break;
      case GraphItem::Kind::Line: {
        QPen pen(toQColor(it.pen), std::max(1, it.penWidth), Qt::SolidLine,
                 it.penWidth > 1 ? Qt::RoundCap : Qt::FlatCap, Qt::RoundJoin);
        if (it.dotted) {
          pen.setStyle(Qt::CustomDashLine);
          pen.setDashPattern({1, 2});
        }
        p.setPen(pen);
        p.drawLine(it.x1, it.y1, it.x2, it.y2);
        break;
      }
      case GraphItem::Kind::Text: {
        if (it.boxWidth <= 0 || it.text.empty()) break;
        const QRect box(it.x1, it.y1, it.boxWidth, 20);
        p.save();
        p.setClipRect(box);
        p.setPen(toQColor(it.pen));
        p.drawText(box, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, QString::fromStdString(it.text));
        p.restore();
        break;
      }
    }
  }
  p.restore();
}

}  // namespace velor
