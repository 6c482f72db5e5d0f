#include "viewer/ui/monitor_widget.h"

#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyle>
#include <algorithm>
#include <cmath>

#include "viewer/monitor_texts.h"

namespace velor {

namespace {

const QColor kWhite(255, 255, 255);
const QColor kBlack(0, 0, 0);
const QColor kGreen(0, 128, 0);
const QColor kBlue(0, 0, 255);
const QColor kRed(255, 0, 0);
const QColor kNavy(0, 0, 128);

constexpr quint32 kInvertMask = 0x00FFFFFF;
// XOR with the complement of green: white turns green, and a second XOR restores it.
constexpr quint32 kGreenMask = 0x00FF7FFF;
constexpr quint32 kTracePixel = 0xFF000000;

QPen solidPen(const QColor& c) { return QPen(c, 1, Qt::SolidLine, Qt::FlatCap); }

QPen dottedPen(const QColor& c) {
  QPen pen(c, 1, Qt::CustomDashLine, Qt::FlatCap);
  pen.setDashPattern({1, 1});
  return pen;
}

// Qt key to the Windows virtual-key number the keyboard rules are written in.
int virtualKeyOf(int key) {
  switch (key) {
    case Qt::Key_Backspace: return vk::kBack;
    case Qt::Key_Escape: return vk::kEscape;
    case Qt::Key_Space: return vk::kSpace;
    case Qt::Key_PageUp: return vk::kPageUp;
    case Qt::Key_PageDown: return vk::kPageDown;
    case Qt::Key_End: return vk::kEnd;
    case Qt::Key_Home: return vk::kHome;
    case Qt::Key_Left: return vk::kLeft;
    case Qt::Key_Up: return vk::kUp;
    case Qt::Key_Right: return vk::kRight;
    case Qt::Key_Down: return vk::kDown;
    case Qt::Key_Insert: return vk::kInsert;
    case Qt::Key_Delete: return vk::kDelete;
    case Qt::Key_Return:
    case Qt::Key_Enter: return 13;
    case Qt::Key_Tab: return 9;
    default: break;
  }
  if (key >= Qt::Key_0 && key <= Qt::Key_9) return vk::k0 + (key - Qt::Key_0);
  if (key >= Qt::Key_A && key <= Qt::Key_Z) return 'A' + (key - Qt::Key_A);
  if (key >= Qt::Key_F1 && key <= Qt::Key_F24) return vk::kF1 + (key - Qt::Key_F1);
  return 0;
}

QFont drawingFont(const StudyState& s) {
  QFont f(QString::fromStdString(s.monitorFont.name));
  f.setPointSize(std::clamp(s.monitorFont.size, 6, 48));
  f.setBold(true);
  return f;
}

}  // namespace

MonitorWidget::MonitorWidget(StudyState& state, QWidget* parent)
    : QWidget(parent),
      s_(state),
      surface_(kSurfaceWidth, kSurfaceHeight, QImage::Format_RGB32),
      strip_(kStripWidth, kSurfaceHeight, QImage::Format_RGB32) {
  setWindowTitle(QString::fromUtf8(monitor_text::kMonitorCaption));
  setFocusPolicy(Qt::StrongFocus);
  setMouseTracking(true);
  setAttribute(Qt::WA_OpaquePaintEvent);
  surface_.fill(kWhite);
  strip_.fill(kWhite);

  hbar_ = new QScrollBar(Qt::Horizontal, this);
  vbar_ = new QScrollBar(Qt::Vertical, this);
  hbar_->hide();
  vbar_->hide();
  for (QScrollBar* bar : {hbar_, vbar_}) bar->setFocusPolicy(Qt::NoFocus);  // neither bar reacts to keys

  connect(hbar_, &QScrollBar::actionTriggered, this, [this](int action) {
    if (syncing_) return;
    int px = 0;
    switch (action) {
      case QAbstractSlider::SliderSingleStepAdd: px = 8; break;
      case QAbstractSlider::SliderSingleStepSub: px = -8; break;
      case QAbstractSlider::SliderPageStepAdd: px = s_.monitorWidth / 2; break;
      case QAbstractSlider::SliderPageStepSub: px = -(s_.monitorWidth / 2); break;
      default: return;  // dragging goes through valueChanged
    }
    scrollBy(px);
    syncing_ = true;
    hbar_->setSliderPosition(s_.viewStart);
    syncing_ = false;
  });
  connect(hbar_, &QScrollBar::valueChanged, this, [this](int value) {
    if (syncing_ || value == s_.viewStart) return;
    setViewFromHorizontalBar(s_, value);
    redraw();
  });
  connect(vbar_, &QScrollBar::actionTriggered, this, [this](int action) {
    if (syncing_) return;
    int step = 0;
    switch (action) {
      case QAbstractSlider::SliderSingleStepAdd: step = 1; break;
      case QAbstractSlider::SliderSingleStepSub: step = -1; break;
      case QAbstractSlider::SliderPageStepAdd: step = s_.shownChannelCount; break;
      case QAbstractSlider::SliderPageStepSub: step = -s_.shownChannelCount; break;
      default: return;
    }
    setFirstChannelFromVerticalBar(s_, s_.firstShownChannel + step);
    redraw();
    Q_EMIT cursorMoved();
    syncing_ = true;
    vbar_->setSliderPosition(s_.firstShownChannel);
    syncing_ = false;
  });
  connect(vbar_, &QScrollBar::valueChanged, this, [this](int value) {
    if (syncing_ || value == s_.firstShownChannel) return;
    setFirstChannelFromVerticalBar(s_, value);
    redraw();
    Q_EMIT cursorMoved();
  });
}

MonitorWidget::~MonitorWidget() = default;

// --- layout -------------------------------------------------------------------------

void MonitorWidget::initialise() {
  velor::initialise(s_, view_);
  vbar_->hide();
  relayout();
  redraw();
}

void MonitorWidget::fitToClient(int clientWidth, int clientHeight, int toolPanelHeight) {
  const int w = std::max(1, clientWidth - s_.sidePanelWidth - 4);
  const int h = std::max(1, clientHeight - toolPanelHeight - 4);
  move(0, 0);
  resize(w, h);
  relayout();
}

void MonitorWidget::layoutBars() {
  const int ext = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
  const bool vShow = verticalBarVisible(s_);
  s_.monitorWidth = std::clamp(width() - (vShow ? ext : 0), 1, kSurfaceWidth);
  const bool hShow = horizontalBarVisible(s_);
  s_.monitorHeight = std::clamp(height() - (hShow ? ext : 0), 1, kSurfaceHeight);
  if (logicalDpiY() > 0) s_.screenPixelsPerMm = logicalDpiY() / 25.4;
  hbar_->setGeometry(0, height() - ext, width() - (vShow ? ext : 0), ext);
  vbar_->setGeometry(width() - ext, 0, ext, height() - (hShow ? ext : 0));
  hbar_->setVisible(hShow);
  vbar_->setVisible(vShow);
}

void MonitorWidget::relayout() {
  layoutBars();
  layoutRows(s_, view_);
  velor::timeAxis(s_, view_, s_.sampleRate);
  syncBars();
}

void MonitorWidget::syncBars() {
  syncing_ = true;
  const long across = samplesAcross(s_);
  hbar_->setRange(0, static_cast<int>(horizontalBarMaximum(s_)));
  hbar_->setSingleStep(static_cast<int>(std::max(1L, columnsToSamples(s_, 8))));
  hbar_->setPageStep(static_cast<int>(std::max(1L, across / 2)));
  hbar_->setValue(s_.viewStart);
  vbar_->setRange(0, verticalBarMaximum(s_));
  vbar_->setSingleStep(1);
  vbar_->setPageStep(std::max(1, s_.shownChannelCount));
  vbar_->setValue(s_.firstShownChannel);
  syncing_ = false;
}

QRect MonitorWidget::drawingRect() const { return QRect(0, 0, s_.monitorWidth, s_.monitorHeight); }

bool MonitorWidget::horizontalBarShown() const { return hbar_->isVisible() || (!isVisible() && horizontalBarVisible(s_)); }

bool MonitorWidget::verticalBarShown() const { return vbar_->isVisible() || (!isVisible() && verticalBarVisible(s_)); }

void MonitorWidget::timeAxis(double rate) { velor::timeAxis(s_, view_, rate); }

// --- drawing ------------------------------------------------------------------------

void MonitorWidget::redraw() {
  if (s_.acquisitionActive != 0) {
    // The record belongs to the acquisition side: only the sweep's frame.
    drawSweepAxes();
    drawSweepNames();
    return;
  }
  relayout();
  hideCursorLines();
  if (s_.recordLength <= 0) {
    QPainter p(&surface_);
    p.fillRect(drawingRect(), kWhite);
    rowMarkShown_ = false;
    update();
    return;
  }
  drawRange(0, s_.monitorWidth);
  showCursorLines();
  update();
}

void MonitorWidget::drawRange(int left, int width) {
  left = std::clamp(left, 0, s_.monitorWidth);
  width = std::clamp(width, 0, s_.monitorWidth - left);
  if (width == 0) return;
  hideCursorLines();
  if (rowMarkShown_) xorRowMark();  // back to the clean drawing before painting over it

  fillBackground(left, width);
  {
    QPainter p(&surface_);
    p.setClipRect(QRect(left, 0, width, s_.monitorHeight));
    p.setFont(drawingFont(s_));
    const bool exam = s_.acquisitionActive != 0;
    const auto ticks = rulerTicks(s_, view_, left, width);
    const int bottom = s_.monitorHeight - 1;
    if ((s_.displayFlags & kFlagMinorTimeLines) && !exam) {
      p.setPen(dottedPen(kBlue));
      for (const auto& t : ticks)
        if (!t.labelled) p.drawLine(t.x, 0, t.x, bottom);
    }
    const QFontMetrics fm(p.font());
    for (const auto& t : ticks) {
      if (!t.labelled) continue;
      if ((s_.displayFlags & kFlagMajorTimeLines) || exam) {
        p.setPen(solidPen(kBlue));
        p.drawLine(t.x, 0, t.x, bottom);
      }
      const QString label = QString::fromStdString(t.label);
      const int w = fm.horizontalAdvance(label);
      p.setPen(kNavy);
      p.drawText(QRect(t.x - w / 2, -1, w + 2, fm.height()), Qt::AlignLeft | Qt::AlignTop, label);
    }
  }
  if (left == 0 && width == s_.monitorWidth) drawNameStrip();
  drawTraces(left, width);
  {
    const auto marks = markChannelColumns(s_, left, width);
    if (!marks.empty()) {
      QPainter p(&surface_);
      const int top = std::max(0, s_.monitorHeight - kMarkLineHeight);
      for (int x : marks) p.fillRect(QRect(x, top, 1, s_.monitorHeight - top), kRed);
    }
    // annotation texts stand right of their mark line, above it
    const auto labels = annotationLabels(s_, left, width);
    if (!labels.empty()) {
      QPainter p(&surface_);
      p.setClipRect(QRect(left, 0, width, s_.monitorHeight));
      p.setFont(drawingFont(s_));
      const QFontMetrics fm(p.font());
      const int top = std::max(0, s_.monitorHeight - kMarkLineHeight);
      for (const auto& l : labels) {
        p.fillRect(QRect(l.x, top, 1, s_.monitorHeight - top), kRed);
        p.setPen(kRed);
        p.drawText(l.x + 2, top - fm.descent() - 1, QString::fromStdString(l.text));
      }
    }
  }
  if (left + width > s_.monitorWidth - kStripWidth) drawStrip();
  xorRowMark();
}

void MonitorWidget::fillBackground(int left, int width) {
  QPainter p(&surface_);
  const QRect range(left, 0, width, s_.monitorHeight);
  p.setClipRect(range);
  p.fillRect(range, kWhite);
  const bool exam = s_.acquisitionActive != 0;
  const int rows = monitorRows(s_);
  const int rh = s_.rowHeight;
  const int right = left + width - 1;
  auto baseY = [this](int i) { return s_.rowBaseY[static_cast<std::size_t>(std::clamp(i, 0, kMaxChannels))]; };
  if ((s_.displayFlags & kFlagRowBorders) && !exam) {
    p.setPen(solidPen(kGreen));
    p.drawLine(left, baseY(0) - rh / 2, right, baseY(0) - rh / 2);
    for (int i = 0; i <= rows; ++i) p.drawLine(left, baseY(i) + rh / 2, right, baseY(i) + rh / 2);
  }
  if ((s_.displayFlags & kFlagZeroLines) || exam) {
    p.setPen(dottedPen(kGreen));
    for (int i = 0; i < rows; ++i) p.drawLine(left, baseY(i), right, baseY(i));
  }
  if (amplitudeScaleShown(s_)) {
    const bool labels = left == 0 && width == s_.monitorWidth;
    p.setFont(drawingFont(s_));
    const QFontMetrics fm(p.font());
    for (int i = 0; i < rows; ++i) {
      const int b = baseY(i);
      for (const auto& line : amplitudeScaleLines(s_, i)) {
        p.setPen(line.major ? solidPen(kGreen) : dottedPen(kGreen));
        p.drawLine(left, b - line.offset, right, b - line.offset);
        if (line.offset != 0) p.drawLine(left, b + line.offset, right, b + line.offset);
        if (labels && !line.label.empty()) {
          const QString text = QString::fromStdString(line.label);
          const int w = fm.horizontalAdvance(text);
          p.setPen(kNavy);
          for (int y : {b - line.offset, b + line.offset})
            p.drawText(s_.monitorWidth - 1 - w, y - 5 - fm.descent(), text);
        }
      }
    }
  }
}

void MonitorWidget::drawTraces(int left, int width) {
  const int rows = monitorRows(s_);
  const int h = s_.monitorHeight;
  std::vector<ColumnSpan> spans;
  auto* bits = reinterpret_cast<quint32*>(surface_.bits());
  const qsizetype stride = surface_.bytesPerLine() / 4;
  for (int r = 0; r < rows; ++r) {
    traceColumns(s_, r, left, width, spans);
    for (int i = 0; i < width; ++i) {
      const ColumnSpan& sp = spans[static_cast<std::size_t>(i)];
      if (sp.empty()) continue;
      const int top = std::max(0, sp.top);
      const int bottom = std::min(h - 1, sp.bottom);
      quint32* px = bits + static_cast<qsizetype>(top) * stride + left + i;
      for (int y = top; y <= bottom; ++y, px += stride) *px = kTracePixel;
    }
  }
}

void MonitorWidget::drawNameStrip() {
  strip_.fill(kWhite);
  if (isFoldedView(s_)) return;
  const int rows = monitorRows(s_);
  std::vector<QString> texts;
  for (int i = 0; i < rows; ++i) texts.push_back(QString::fromStdString(leadText(s_, i)));
  // The names end at column 43 of the strip; the font gets smaller until the
  // widest of them fits whole (a cut name could be mistaken for another).
  constexpr int kNameRight = kStripWidth - 2;
  constexpr qreal kSmallestPoints = 5.0;
  QFont font = drawingFont(s_);
  auto widest = [&texts](const QFont& f) {
    const QFontMetrics fm(f);
    int w = 0;
    for (const QString& t : texts) w = std::max(w, fm.horizontalAdvance(t));
    return w;
  };
  while (widest(font) > kNameRight - 1 && font.pointSizeF() > kSmallestPoints)
    font.setPointSizeF(std::max(kSmallestPoints, font.pointSizeF() - 0.5));
  QPainter p(&strip_);
  p.setFont(font);
  p.setPen(kNavy);
  const QFontMetrics fm(font);
  for (int i = 0; i < rows; ++i) {
    const QString& text = texts[static_cast<std::size_t>(i)];
    if (text.isEmpty()) continue;
    const int w = fm.horizontalAdvance(text);
    const int y = s_.rowBaseY[static_cast<std::size_t>(i)] - fm.height() / 2;
    p.drawText(QRect(kNameRight - w, y, w + 1, fm.height()), Qt::AlignLeft | Qt::AlignTop, text);
  }
}

void MonitorWidget::drawStrip() {
  // The names are combined onto the drawing with a bitwise AND, so the
  // traces under them stay visible.
  const int x0 = s_.monitorWidth - kStripWidth;
  const int h = s_.monitorHeight;
  for (int y = 0; y < h; ++y) {
    auto* dst = reinterpret_cast<quint32*>(surface_.scanLine(y));
    const auto* src = reinterpret_cast<const quint32*>(strip_.constScanLine(y));
    for (int i = 0; i < kStripWidth; ++i) {
      const int x = x0 + i;
      if (x >= 0) dst[x] &= src[i];
    }
  }
}

void MonitorWidget::xorColumn(int x, quint32 mask, bool dashed) {
  if (x < 0 || x >= s_.monitorWidth) return;
  for (int y = 0; y < s_.monitorHeight; ++y) {
    if (dashed && y % 8 >= 6) continue;
    reinterpret_cast<quint32*>(surface_.scanLine(y))[x] ^= mask;
  }
}

void MonitorWidget::xorRowMark() {
  int top;
  if (rowMarkShown_) {
    top = shownRowMarkY_;
  } else {
    if (s_.recordLength <= 0) return;
    top = rowMarkTop(s_, view_);
  }
  const int x0 = std::max(0, s_.monitorWidth - 20);
  const int x1 = std::min(s_.monitorWidth, x0 + kRowMarkWidth);
  for (int y = std::max(0, top); y < std::min(s_.monitorHeight, top + s_.rowHeight); ++y) {
    auto* line = reinterpret_cast<quint32*>(surface_.scanLine(y));
    for (int x = x0; x < x1; ++x) line[x] ^= kGreenMask;
  }
  rowMarkShown_ = !rowMarkShown_;
  shownRowMarkY_ = top;
}

void MonitorWidget::showCursorLines() {
  if (shownCursorX_ >= 0 || shownAnchorX_ >= 0 || s_.recordLength <= 0) return;
  const int a = anchorColumn(s_);
  const int c = cursorColumn(s_);
  if (a >= 0) {
    xorColumn(a, kGreenMask, true);
    xorColumn(a + 1, kGreenMask, true);
    shownAnchorX_ = a;
  }
  if (c >= 0 && c != a) {
    xorColumn(c, kInvertMask, false);
    shownCursorX_ = c;
  }
}

void MonitorWidget::hideCursorLines() {
  if (shownAnchorX_ >= 0) {
    xorColumn(shownAnchorX_, kGreenMask, true);
    xorColumn(shownAnchorX_ + 1, kGreenMask, true);
  }
  if (shownCursorX_ >= 0) xorColumn(shownCursorX_, kInvertMask, false);
  shownAnchorX_ = shownCursorX_ = -1;
}

void MonitorWidget::flipCursorLines(bool repaint) {
  if (shownCursorX_ >= 0 || shownAnchorX_ >= 0) {
    hideCursorLines();
  } else {
    showCursorLines();
  }
  if (repaint) update();
}

void MonitorWidget::paintEvent(QPaintEvent*) {
  QPainter p(this);
  const QRect r = drawingRect();
  p.drawImage(r.topLeft(), surface_, r);
  // whatever the drawing does not cover (a window larger than the surface)
  const int ext = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
  const int w = width() - (vbar_->isVisible() ? ext : 0);
  const int h = height() - (hbar_->isVisible() ? ext : 0);
  if (w > r.width()) p.fillRect(QRect(r.width(), 0, w - r.width(), h), kWhite);
  if (h > r.height()) p.fillRect(QRect(0, r.height(), std::min(w, r.width()), h - r.height()), kWhite);
}

void MonitorWidget::resizeEvent(QResizeEvent*) {
  relayout();
  if (s_.acquisitionActive == 0) redraw();
}

// --- caption --------------------------------------------------------------------------

QString MonitorWidget::refreshCaption() {
  caption_ = QString::fromStdString(velor::composeMonitorCaption(s_));
  Q_EMIT captionChanged(caption_);
  return caption_;
}

// --- cursor, scrolling, zoom -------------------------------------------------------------

void MonitorWidget::cursorChanged() {
  update();
  Q_EMIT cursorMoved();
}

void MonitorWidget::Click(bool toggle) {
  if (rowMarkShown_) xorRowMark();
  hideCursorLines();
  velor::Click(s_, view_, toggle);
  showCursorLines();
  if (s_.recordLength > 0) xorRowMark();
  cursorChanged();
}

void MonitorWidget::scrollBy(int pixels) {
  if (velor::scrollBy(s_, pixels) == 0) return;
  redraw();
}

void MonitorWidget::afterZoom() {
  relayout();
  redraw();
  Q_EMIT viewChanged();
}

void MonitorWidget::zoomTimeIn() {
  if (velor::zoomTimeIn(s_, view_)) afterZoom();
}

void MonitorWidget::zoomTimeOut() {
  if (velor::zoomTimeOut(s_, view_)) afterZoom();
}

void MonitorWidget::gainUp() {
  if (velor::gainUp(s_)) afterZoom();
}

void MonitorWidget::gainDown() {
  if (velor::gainDown(s_)) afterZoom();
}

void MonitorWidget::showMoreChannels() {
  velor::showMoreChannels(s_, view_);
  afterZoom();
  Q_EMIT cursorMoved();
}

void MonitorWidget::showFewerChannels() {
  velor::showFewerChannels(s_, view_);
  afterZoom();
  Q_EMIT cursorMoved();
}

// --- live sweep -------------------------------------------------------------------------

void MonitorWidget::drawSweepAxes() {
  QPainter p(&surface_);
  p.fillRect(drawingRect(), kWhite);
  p.setFont(drawingFont(s_));
  const QFontMetrics fm(p.font());
  const int bottom = s_.monitorHeight - 1;
  for (std::size_t k = 0; k < view_.timeTickX.size(); ++k) {
    const int x = static_cast<int>(view_.timeTickX[k]);
    p.setPen(solidPen(kBlue));
    p.drawLine(x, 0, x, bottom);
    if (k < view_.timeTickLabels.size()) {
      const QString label = QString::fromStdString(view_.timeTickLabels[k]);
      p.setPen(kNavy);
      p.drawText(QRect(x - fm.horizontalAdvance(label) / 2, -3, fm.horizontalAdvance(label) + 2, fm.height()),
                 Qt::AlignLeft | Qt::AlignTop, label);
    }
  }
  p.setPen(dottedPen(kGreen));
  for (int i = 0; i < monitorRows(s_); ++i)
    p.drawLine(0, s_.rowBaseY[static_cast<std::size_t>(i)], s_.monitorWidth - 1, s_.rowBaseY[static_cast<std::size_t>(i)]);
  sweepTick_ = 0;
  rowMarkShown_ = false;
  shownCursorX_ = shownAnchorX_ = -1;
  update();
}

void MonitorWidget::drawSweepColumn(int x, int index, int lag) {
  if (x < 0 || x >= s_.monitorWidth) return;
  if (x == 0) sweepTick_ = 0;
  QPainter p(&surface_);
  const int bottom = s_.monitorHeight - 1;
  // the erase bar runs 10 columns ahead of the trace
  const int bar = x + 10;
  const bool tick = sweepTick_ < static_cast<int>(view_.timeTickX.size()) &&
                    static_cast<int>(view_.timeTickX[static_cast<std::size_t>(sweepTick_)]) == bar;
  if (tick) ++sweepTick_;
  p.setPen(solidPen(tick ? kBlue : kWhite));
  p.drawLine(bar, 0, bar, bottom);
  const int rows = monitorRows(s_);
  const int now = std::clamp(index, 0, kMaxSamples - 1);
  const int before = std::clamp(index - lag, 0, kMaxSamples - 1);
  p.setPen(solidPen(kBlack));
  for (int i = 0; i < rows; ++i) {
    const int ch = rowChannel(s_, i);
    if (ch < 0 || ch >= kMaxChannels) continue;
    const int b = s_.rowBaseY[static_cast<std::size_t>(i)] + s_.rowHeight / 2;
    const int y0 = b - s_.channelData[static_cast<std::size_t>(ch)][before] * s_.rowHeight / 4096;
    const int y1 = b - s_.channelData[static_cast<std::size_t>(ch)][now] * s_.rowHeight / 4096;
    p.drawLine(x, y0, x + 1, y1);
  }
  if (x >= 8 && x % 8 == 0) {
    p.setPen(dottedPen(kGreen));
    for (int i = 0; i < rows; ++i) p.drawLine(x - 8, s_.rowBaseY[static_cast<std::size_t>(i)], x, s_.rowBaseY[static_cast<std::size_t>(i)]);
  }
  update(QRect(x - 8, 0, 20, s_.monitorHeight));
}

void MonitorWidget::drawSweepValues(int x, const std::int16_t* previous, const std::int16_t* values, int channels) {
  if (x < 0 || x >= s_.monitorWidth) return;
  if (x == 0) sweepTick_ = 0;
  QPainter p(&surface_);
  const int bottom = s_.monitorHeight - 1;
  // the erase bar runs 10 columns ahead of the trace
  const int bar = x + 10;
  const bool tick = sweepTick_ < static_cast<int>(view_.timeTickX.size()) &&
                    static_cast<int>(view_.timeTickX[static_cast<std::size_t>(sweepTick_)]) == bar;
  if (tick) ++sweepTick_;
  p.setPen(solidPen(tick ? kBlue : kWhite));
  p.drawLine(bar, 0, bar, bottom);
  const int rows = monitorRows(s_);
  p.setPen(solidPen(kBlack));
  for (int i = 0; i < rows; ++i) {
    const int ch = rowChannel(s_, i);
    if (ch < 0 || ch >= channels) continue;
    const int zero = s_.zeroLevel[ch];
    const int b = s_.rowBaseY[static_cast<std::size_t>(i)];
    const int y0 = b - (previous[ch] - zero) * s_.rowHeight / 1024;
    const int y1 = b - (values[ch] - zero) * s_.rowHeight / 1024;
    p.drawLine(x, y0, x + 1, y1);
  }
  if (x >= 8 && x % 8 == 0) {
    p.setPen(dottedPen(kGreen));
    for (int i = 0; i < rows; ++i) p.drawLine(x - 8, s_.rowBaseY[static_cast<std::size_t>(i)], x, s_.rowBaseY[static_cast<std::size_t>(i)]);
  }
  update(QRect(x - 8, 0, 20, s_.monitorHeight));
}

void MonitorWidget::drawSweepNames() {
  QPainter p(&surface_);
  p.setFont(drawingFont(s_));
  p.setPen(kNavy);
  const QFontMetrics fm(p.font());
  for (int i = 0; i < monitorRows(s_); ++i) {
    const QString text = QString::fromStdString(leadText(s_, i));
    p.drawText(s_.monitorWidth - 24, s_.rowBaseY[static_cast<std::size_t>(i)] - 8 + fm.ascent(), text);
  }
  update();
}

// --- keyboard and mouse -----------------------------------------------------------------

void MonitorWidget::handleKey(int key, bool big) {
  switch (key) {
    case vk::kBack:
      caption_ = QString::fromStdString(s_.chosenFilePath);
      Q_EMIT captionChanged(caption_);
      break;
    case vk::kPageUp: scrollBy(big ? s_.monitorWidth / 2 : 8); break;
    case vk::kHome: scrollBy(big ? -(s_.monitorWidth / 2) : -8); break;
    // a reader's page keys, which only an examination gives other meanings
    case vk::kPageDown:
      if (velor::pageForward(s_) != 0) redraw();
      break;
    case vk::kEnd:
      if (velor::scrollToEnd(s_) != 0) redraw();
      break;
    case vk::kLeft:
    case vk::kRight: {
      if (rowMarkShown_) xorRowMark();
      hideCursorLines();
      const bool moved = key == vk::kLeft ? cursorLeft(s_, view_, big) : cursorRight(s_, view_, big);
      showCursorLines();
      if (s_.recordLength > 0) xorRowMark();
      if (moved) cursorChanged();
      break;
    }
    case vk::kInsert:
      if (big) {
        Q_EMIT commandRequested(MonitorCommand::InsertChannel);
      } else {
        hideCursorLines();
        toggleAnchor(s_);
        showCursorLines();
        cursorChanged();
      }
      break;
    case vk::kDelete:
      if (!big) Q_EMIT commandRequested(MonitorCommand::Delete);  // Ctrl+Del is the main menu's channel delete
      break;
    case vk::kF12: Q_EMIT commandRequested(MonitorCommand::NewExamination); break;
    case vk::k0: Q_EMIT commandRequested(MonitorCommand::BatchAllBlinks); break;
    case vk::k0 + 1: Q_EMIT commandRequested(MonitorCommand::EegAnalysis); break;
    case vk::k0 + 2: Q_EMIT commandRequested(MonitorCommand::BatchAks); break;
    case vk::k0 + 3: Q_EMIT commandRequested(MonitorCommand::BatchBlinks); break;
    case vk::k0 + 4: Q_EMIT commandRequested(MonitorCommand::BatchEnv); break;
    default: break;
  }
}

void MonitorWidget::keyPressEvent(QKeyEvent* e) {
  const Qt::KeyboardModifiers mods = e->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier);
  const int key = virtualKeyOf(e->key());
  if (mods == Qt::AltModifier || key == 0) {  // Alt keys belong to the macro recorder
    e->ignore();
    return;
  }
  if (s_.acquisitionActive != 0 && !keyActsDuringExamination(key)) {
    if (const int code = acquisitionKeyCode(key); code != 0) Q_EMIT acquisitionKey(code);
    return;
  }
  handleKey(key, (mods & (Qt::ShiftModifier | Qt::ControlModifier)) != 0);
}

void MonitorWidget::keyReleaseEvent(QKeyEvent* e) {
  if (e->isAutoRepeat() || s_.acquisitionActive != 0) return;
  const int key = virtualKeyOf(e->key());
  if (key == vk::kUp || key == vk::kDown) {
    if (rowMarkShown_) xorRowMark();
    if (key == vk::kUp) {
      rowUp(s_);
    } else {
      rowDown(s_);
    }
    if (s_.recordLength > 0) xorRowMark();
    cursorChanged();
  } else if (key == vk::kF3) {
    Q_EMIT commandRequested(MonitorCommand::OpenFile);
  } else {
    e->ignore();
  }
}

void MonitorWidget::mouseMoveEvent(QMouseEvent* e) {
  const QPoint pos = e->position().toPoint();
  mouseMove(s_, view_, pos.x(), pos.y());
}

void MonitorWidget::mousePressEvent(QMouseEvent* e) {
  if (e->button() != Qt::LeftButton) return;
  const QPoint pos = e->position().toPoint();
  if (!drawingRect().contains(pos)) return;
  mouseMove(s_, view_, pos.x(), pos.y());
  Click(false);
}

void MonitorWidget::mouseDoubleClickEvent(QMouseEvent* e) {
  if (e->button() != Qt::LeftButton) return;
  const QPoint pos = e->position().toPoint();
  if (!drawingRect().contains(pos)) return;
  mouseMove(s_, view_, pos.x(), pos.y());
  Click(true);
}

void MonitorWidget::setCommandAvailable(MonitorCommand command, bool available) { available_[command] = available; }

void MonitorWidget::contextMenuEvent(QContextMenuEvent* e) {
  using namespace monitor_text;
  QMenu menu(this);
  menu.setToolTipsVisible(true);
  const bool exam = s_.acquisitionActive != 0;
  // Commands that change the record wait until an examination ends.
  auto add = [&](QMenu* m, const char* caption, const char* keys, MonitorCommand command, bool changesRecord) {
    QString text = QString::fromUtf8(caption);
    if (keys != nullptr) text += QLatin1Char('\t') + QString::fromLatin1(keys);
    QAction* a = m->addAction(text);
    const auto it = available_.find(command);
    const bool on = it != available_.end() && it->second;
    a->setEnabled(on && !(exam && changesRecord));
    if (!on) a->setToolTip(QStringLiteral("Команда пока недоступна"));
    connect(a, &QAction::triggered, this, [this, command] { Q_EMIT commandRequested(command); });
  };
  add(&menu, kMenuOpen, nullptr, MonitorCommand::OpenFile, true);
  add(&menu, kMenuSave, "F4", MonitorCommand::SaveFile, false);
  add(&menu, kMenuPrint, "F2", MonitorCommand::PrintScreen, false);
  add(&menu, kMenuScreenToClipboard, nullptr, MonitorCommand::ScreenToClipboard, false);
  add(&menu, kMenuSignalsToClipboard, nullptr, MonitorCommand::SignalsToClipboard, false);
  add(&menu, kMenuHeader, nullptr, MonitorCommand::Header, true);
  if (s_.viewMode == ViewMode::Transform) add(&menu, kMenuMaps, nullptr, MonitorCommand::Maps, false);
  add(&menu, kMenuDelete, "Del", MonitorCommand::Delete, true);
  QAction* anchor = menu.addAction(QString::fromUtf8(kMenuAnchor) + QStringLiteral("\tIns"));
  connect(anchor, &QAction::triggered, this, [this] { handleKey(vk::kInsert, false); });
  QMenu* records = menu.addMenu(QString::fromUtf8(kMenuRecords));
  add(records, kMenuNextRecord, nullptr, MonitorCommand::NextRecord, true);
  add(records, kMenuPrevRecord, nullptr, MonitorCommand::PreviousRecord, true);
  add(records, kMenuRecordByNumber, nullptr, MonitorCommand::RecordByNumber, true);
  add(records, kMenuMerge, nullptr, MonitorCommand::Merge, true);
  add(records, kMenuRestore, nullptr, MonitorCommand::Restore, true);
  QMenu* channels = menu.addMenu(QString::fromUtf8(kMenuChannels));
  add(channels, kMenuInsert, "Ctrl+Ins", MonitorCommand::InsertChannel, true);
  add(channels, kMenuRemove, "Ctrl+Del", MonitorCommand::DeleteChannel, true);
  QMenu* marks = menu.addMenu(QString::fromUtf8(kMenuMarks));
  add(marks, kMenuInsert, "F6", MonitorCommand::InsertMark, true);
  add(marks, kMenuRemove, nullptr, MonitorCommand::RemoveMark, true);
  add(marks, kMenuRemoveAll, nullptr, MonitorCommand::RemoveAllMarks, true);
  add(&menu, kMenuTransforms, nullptr, MonitorCommand::Transforms, true);
  menu.exec(e->globalPos());
}

}  // namespace velor
