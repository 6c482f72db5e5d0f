#include "acquisition/ui/express_window.h"

#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>

#include "acquisition/exam_texts.h"
#include "eeg/maps.h"
#include "eeg/ui/map_render.h"

namespace velor {

namespace {

constexpr int kCaptionHeight = 18;
constexpr int kLegendHeight = 18;
constexpr int kNameWidth = 30;

QString q(const char* s) { return QString::fromUtf8(s); }

// One colour per band, in legend order.
QColor bandColour(std::size_t b) {
  static const QColor colours[] = {QColor(0, 0, 200), QColor(0, 150, 0), QColor(200, 0, 0), QColor(200, 120, 0),
                                   QColor(140, 0, 160)};
  return colours[b % (sizeof colours / sizeof colours[0])];
}

QFont textFont(int pixels) {
  QFont f("DejaVu Sans");
  f.setPixelSize(pixels);
  return f;
}

void caption(QPainter& p, int width, const QString& text) {
  p.setFont(textFont(12));
  p.setPen(Qt::black);
  p.drawText(QRect(0, 2, width, kCaptionHeight - 2), Qt::AlignHCenter | Qt::AlignTop, text);
}

// Rows of equal height below the caption, above `bottom`.
struct Rows {
  int top = kCaptionHeight, height = 0;
  int y(int i) const { return top + i * height; }
};

Rows rowsFor(int count, int bottom) {
  Rows r;
  r.height = count > 0 ? std::max(1, (bottom - r.top) / count) : 0;
  return r;
}

void rowName(QPainter& p, const ExpressPicture& pic, int c, int y) {
  p.setFont(textFont(10));
  p.setPen(Qt::black);
  const std::string name = c < static_cast<int>(pic.names.size()) ? pic.names[static_cast<std::size_t>(c)] : "";
  p.drawText(QRect(2, y + 1, kNameWidth - 2, 12), Qt::AlignLeft | Qt::AlignTop, QString::fromStdString(name));
}

// Kind 1: per channel one bar per band, all on the largest value's scale; the
// legend at the bottom.
void paintBands(QPainter& p, const ExpressPicture& pic, QSize size) {
  caption(p, size.width(), q(exam_texts::kSpectrumBands));
  const int bottom = size.height() - kLegendHeight;
  p.setFont(textFont(11));
  p.setPen(Qt::black);
  p.drawText(QRect(0, bottom + 2, size.width(), kLegendHeight - 2), Qt::AlignHCenter | Qt::AlignTop,
             q(exam_texts::kBandLegend));
  double top = 0;
  for (const auto& row : pic.bandValues)
    for (double v : row) top = std::max(top, v);
  const int channels = static_cast<int>(pic.bandValues.size());
  const Rows rows = rowsFor(channels, bottom);
  if (rows.height < 2) return;
  const std::size_t bands = pic.bandNames.size();
  const int barWidth = bands > 0 ? std::max(1, (size.width() - kNameWidth - 4) / static_cast<int>(bands)) : 1;
  for (int c = 0; c < channels; ++c) {
    const int y0 = rows.y(c), base = y0 + rows.height - 1;
    p.setPen(Qt::lightGray);
    p.drawLine(kNameWidth, base, size.width() - 2, base);
    const auto& row = pic.bandValues[static_cast<std::size_t>(c)];
    for (std::size_t b = 0; b < row.size() && b < bands; ++b) {
      const int h = top > 0 ? static_cast<int>(std::lround(row[b] / top * (rows.height - 3))) : 0;
      if (h <= 0) continue;
      const int x = kNameWidth + static_cast<int>(b) * barWidth;
      p.fillRect(QRect(x + 1, base - h, std::max(1, barWidth - 2), h), bandColour(b));
    }
    rowName(p, pic, c, y0);
  }
}

// Kind 2: the head map of the band (or of the first four bands) from the
// channels that have a place on the head scheme, as the map window draws it.
void paintBandMap(QPainter& p, const ExpressPicture& pic, QSize size) {
  std::vector<int> bands;
  if (pic.mapBand >= 0)
    bands.push_back(pic.mapBand);
  else
    for (int b = 0; b < std::min<int>(4, static_cast<int>(pic.bandNames.size())); ++b) bands.push_back(b);
  const QString title =
      pic.mapBand >= 0 && pic.mapBand < static_cast<int>(pic.bandNames.size())
          ? QString::fromStdString(pic.bandNames[static_cast<std::size_t>(pic.mapBand)])
          : q(exam_texts::kExpressFourBands);
  caption(p, size.width(), title);
  double top = 0;
  for (const auto& row : pic.bandValues)
    for (int b : bands)
      if (b < static_cast<int>(row.size())) top = std::max(top, row[static_cast<std::size_t>(b)]);
  const int n = static_cast<int>(bands.size());
  if (n == 0) return;
  // One map, or a column of maps, each as large as fits.
  const int cell = std::max(32, std::min((size.height() - kCaptionHeight) / n - 14, size.width() * 4 / 3 - 10));
  for (int i = 0; i < n; ++i) {
    const int b = bands[static_cast<std::size_t>(i)];
    std::vector<MapElectrode> e;
    for (int c = 0; c < pic.channels && c < static_cast<int>(pic.bandValues.size()); ++c) {
      if (pic.posX[static_cast<std::size_t>(c)] >= kMapNoPosition) continue;
      MapElectrode el;
      el.x = pic.posX[static_cast<std::size_t>(c)];
      el.y = pic.posY[static_cast<std::size_t>(c)];
      el.row = c;
      const auto& row = pic.bandValues[static_cast<std::size_t>(c)];
      const double v = b < static_cast<int>(row.size()) ? row[static_cast<std::size_t>(b)] : 0;
      el.value = top > 0 ? std::clamp(static_cast<int>(v / top * 255 + 0.5), 0, 255) : 0;
      el.raw = v;
      e.push_back(el);
    }
    MapView v;
    v.mapSize = cell;
    v.mapLeft = std::max(0, (size.width() - cell * 3 / 4) / 2);
    v.mapTop = kCaptionHeight + i * (cell + 14) + (n > 1 ? 12 : 0);
    if (n > 1) {
      p.setFont(textFont(10));
      p.setPen(Qt::black);
      const std::string name = b < static_cast<int>(pic.bandNames.size()) ? pic.bandNames[static_cast<std::size_t>(b)] : "";
      p.drawText(QRect(0, v.mapTop - 12, size.width(), 12), Qt::AlignHCenter, QString::fromStdString(name));
    }
    const QRect box(v.mapLeft, v.mapTop, cell * 3 / 4, cell);
    MapGrid grid;
    if (!interpolateMap(e, grid)) {
      p.setFont(textFont(10));
      p.setPen(Qt::black);
      p.drawText(box, Qt::AlignCenter | Qt::TextWordWrap, q(exam_texts::kMapNoElectrodes));
      continue;
    }
    QImage cells(kMapGrid, kMapGrid, QImage::Format_ARGB32);
    mapGridToArgb(grid, true, reinterpret_cast<std::uint32_t*>(cells.bits()));
    QPainterPath clip;
    clip.addEllipse(QRectF(box));
    p.setClipPath(clip);
    p.drawImage(QRectF(box), cells);
    p.setClipping(false);
    p.setPen(Qt::black);
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(box);
    p.setFont(textFont(9));
    for (const MapElectrode& el : e) {
      const QPoint at = electrodePixel(v, el.x, el.y);
      p.fillRect(QRect(at.x() - 1, at.y() - 1, 3, 3), Qt::black);
      if (cell >= 128)
        p.drawText(at + QPoint(3, -2), QString::fromStdString(pic.names[static_cast<std::size_t>(el.row)]));
    }
  }
}

// Kind 3: the running average of every channel about its zero line, all on
// the scale of the largest deviation.
void paintAverage(QPainter& p, const ExpressPicture& pic, QSize size) {
  caption(p, size.width(), q(exam_texts::kAverageCaption));
  p.setFont(textFont(10));
  p.setPen(Qt::black);
  p.drawText(QRect(2, kCaptionHeight, size.width() - 4, 12), Qt::AlignLeft,
             q(exam_texts::kResponses) + QString::number(pic.responses) + q(exam_texts::kRejected) +
                 QString::number(pic.rejected));
  const int channels = static_cast<int>(pic.average.size());
  Rows rows = rowsFor(channels, size.height() - 2);
  rows.top += 14;
  rows.height = channels > 0 ? std::max(1, (size.height() - 2 - rows.top) / channels) : 0;
  if (rows.height < 4) return;
  float top = 0;
  for (const auto& line : pic.average)
    for (float v : line) top = std::max(top, std::abs(v));
  const int left = kNameWidth, width = std::max(2, size.width() - left - 4);
  for (int c = 0; c < channels; ++c) {
    const auto& line = pic.average[static_cast<std::size_t>(c)];
    const int mid = rows.y(c) + rows.height / 2;
    p.setPen(Qt::lightGray);
    p.drawLine(left, mid, left + width, mid);
    if (line.size() < 2) continue;
    const double half = (rows.height - 2) / 2.0;
    QPolygon curve;
    for (std::size_t i = 0; i < line.size(); ++i) {
      const int x = left + static_cast<int>(static_cast<long long>(i) * (width - 1) / static_cast<long long>(line.size() - 1));
      const int y = mid - (top > 0 ? static_cast<int>(std::lround(line[i] / top * half)) : 0);
      curve << QPoint(x, y);
    }
    p.setPen(QPen(Qt::black, 1));
    p.drawPolyline(curve);
    rowName(p, pic, c, rows.y(c));
  }
}

// Kind 4: a strip per channel; every record adds two columns (the shortest
// and the longest heart rate of the record) after the previous ones, and the
// strip wraps to its start at the window's right edge, drawing over the
// oldest columns.
void paintRates(QPainter& p, const ExpressPicture& pic, QSize size) {
  caption(p, size.width(), q(exam_texts::kEcgAnalysis));
  const int channels = pic.channels;
  const Rows rows = rowsFor(channels, size.height());
  if (rows.height < 2 || size.width() < 2) return;
  double low = pic.rateMin, high = pic.rateMax;
  if (high <= low) {  // no sound scale in the plan: 0..200 per minute
    low = 0;
    high = 200;
  }
  const int width = size.width() & ~1;
  for (std::size_t i = 0; i < pic.rates.size(); ++i) {
    const int x = static_cast<int>((2 * i) % static_cast<std::size_t>(width));
    const auto& column = pic.rates[i];
    for (int c = 0; c < channels; ++c) {
      const int y0 = rows.y(c), base = y0 + rows.height - 1;
      p.fillRect(QRect(x, y0, 2, rows.height), Qt::white);
      const float values[2] = {c < static_cast<int>(column.low.size()) ? column.low[static_cast<std::size_t>(c)] : 0.f,
                               c < static_cast<int>(column.high.size()) ? column.high[static_cast<std::size_t>(c)] : 0.f};
      for (int k = 0; k < 2; ++k) {
        if (values[k] <= 0) continue;
        const double share = std::clamp((values[k] - low) / (high - low), 0.0, 1.0);
        const int h = std::max(1, static_cast<int>(std::lround(share * (rows.height - 2))));
        p.fillRect(QRect(x + k, base - h + 1, 1, h), k == 0 ? QColor(0, 0, 200) : QColor(200, 0, 0));
      }
    }
  }
  for (int c = 0; c < channels; ++c) {
    p.setPen(Qt::lightGray);
    p.drawLine(0, rows.y(c), size.width(), rows.y(c));
    rowName(p, pic, c, rows.y(c));
  }
}

// Kinds 5 and 6: a bar per wave of the last record.
void paintWaves(QPainter& p, const ExpressPicture& pic, QSize size) {
  const bool amplitudes = pic.kind == 5;
  caption(p, size.width(), q(amplitudes ? exam_texts::kWaveAmplitudes : exam_texts::kWavePeriods));
  p.setFont(textFont(10));
  p.setPen(Qt::black);
  const std::string name =
      pic.waveChannel < static_cast<int>(pic.names.size()) ? pic.names[static_cast<std::size_t>(pic.waveChannel)] : "";
  p.drawText(QRect(2, kCaptionHeight, size.width() - 4, 12), Qt::AlignLeft,
             q(exam_texts::kWaveChannel) + QString::fromStdString(name));
  const std::vector<double>& v = amplitudes ? pic.waveAmplitudes : pic.wavePeriods;
  const QRect area(2, kCaptionHeight + 16, size.width() - 4, size.height() - kCaptionHeight - 20);
  if (v.empty()) {
    p.drawText(area, Qt::AlignCenter, q(exam_texts::kNoWaves));
    return;
  }
  const double top = *std::max_element(v.begin(), v.end());
  const int n = static_cast<int>(v.size());
  const int bar = std::max(1, area.width() / std::max(1, n));
  for (int i = 0; i < n && i * bar < area.width(); ++i) {
    const int h = top > 0 ? std::max(1, static_cast<int>(std::lround(v[static_cast<std::size_t>(i)] / top * area.height()))) : 1;
    p.fillRect(QRect(area.left() + i * bar, area.bottom() - h + 1, std::max(1, bar - 1), h), QColor(0, 110, 0));
  }
}

}  // namespace

void paintExpressPicture(QImage& image, const ExpressPicture& pic) {
  image.fill(Qt::white);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing, false);
  const QSize size = image.size();
  switch (pic.kind) {
    case 1: paintBands(p, pic, size); break;
    case 2: paintBandMap(p, pic, size); break;
    case 3: paintAverage(p, pic, size); break;
    case 4: paintRates(p, pic, size); break;
    case 5:
    case 6: paintWaves(p, pic, size); break;
    default: break;
  }
}

const char* expressWindowTitle(int kind) {
  switch (kind % 20) {
    case 1: return exam_texts::kSpectraTitle;
    case 3: return exam_texts::kAverageTitle;
    case 4: return exam_texts::kRrTitle;
    case 5: return exam_texts::kStTitle;
    default: return "";
  }
}

ExpressWindow::ExpressWindow(QWidget* parent) : QWidget(parent) {
  setObjectName("expressWindow");
  setAttribute(Qt::WA_OpaquePaintEvent);
  setFocusPolicy(Qt::NoFocus);
}

void ExpressWindow::setPicture(std::shared_ptr<const ExpressPicture> p) {
  picture_ = std::move(p);
  redraw();
}

void ExpressWindow::clearFor(int kind) {
  picture_.reset();
  if (const char* title = expressWindowTitle(kind); *title) setWindowTitle(q(title));
  redraw();
}

void ExpressWindow::redraw() {
  const QSize size(std::max(1, width()), std::max(1, height()));
  if (image_.size() != size) image_ = QImage(size, QImage::Format_RGB32);
  if (picture_)
    paintExpressPicture(image_, *picture_);
  else
    image_.fill(Qt::white);
  update();
}

void ExpressWindow::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.drawImage(0, 0, image_);
}

void ExpressWindow::resizeEvent(QResizeEvent* e) {
  QWidget::resizeEvent(e);
  redraw();
}

}  // namespace velor
