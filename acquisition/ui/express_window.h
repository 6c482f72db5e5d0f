// "Диаграммы спектра", "Усреднение", "RR-интервалы", "ST-сегмент" (by the
// express kind; "RR-диаграммы" in the sports diagnostics): the express
// analysis side window of an examination. Docked at the right of the
// monitor, it draws the picture the acquisition side published at the last
// record end — band diagrams with their legend, the band map, the running
// evoked average, the heart-rate history, the wave amplitudes or periods.
// It only draws what it is given.
#pragma once

#include <QImage>
#include <QWidget>
#include <memory>

#include "acquisition/exam_express.h"

namespace velor {

// Paints `p` into the whole of `image` (white first).
void paintExpressPicture(QImage& image, const ExpressPicture& p);
// The window title for an express kind (`expressAnalysisKind` mod 20); empty
// for the kinds that keep the title they had.
const char* expressWindowTitle(int kind);

class ExpressWindow final : public QWidget {
  Q_OBJECT
 public:
  explicit ExpressWindow(QWidget* parent = nullptr);

  // A new picture (null: nothing yet); redrawn at the window's size.
  void setPicture(std::shared_ptr<const ExpressPicture> p);
  // Examination start: an empty picture, and the title of the kind.
  void clearFor(int kind);
  const QImage& picture() const { return image_; }
  const ExpressPicture* shown() const { return picture_.get(); }

 protected:
  void paintEvent(QPaintEvent* e) override;
  void resizeEvent(QResizeEvent* e) override;

 private:
  void redraw();
  std::shared_ptr<const ExpressPicture> picture_;
  QImage image_;
};

}  // namespace velor
