#include "eeg/ui/map_render.h"

#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>

#include "core/numtext.h"
#include "eeg/map_texts.h"

namespace velor {

namespace {

QColor qcolor(const MapRgb& c) { return QColor(c.r, c.g, c.b); }

int headWidth(const MapView& v) { return v.mapSize * 3 / 4; }

int bandOf(const StudyState& s, const MapView& v) { return v.band >= 0 ? v.band : s.currentBand; }
int sliceOf(const StudyState& s, const MapView& v) { return v.slice >= 0 ? v.slice : mapSlice(s); }

QRect headRect(const MapView& v) { return QRect(v.mapLeft, v.mapTop, headWidth(v), v.mapSize); }

QFont smallFont(int mapSize) {
  QFont f("DejaVu Sans");
  f.setPixelSize(std::clamp(mapSize / 24, 8, 14));
  return f;
}

void drawHead(QPainter& p, const StudyState& s, const MapSettings& m, const MapView& v) {
  const QRect box = headRect(v);
  const auto electrodes = v.electrodes ? *v.electrodes : mapElectrodes(s, m, v.sample, bandOf(s, v), sliceOf(s, v));
  MapGrid grid;
  p.save();
  if (interpolateMap(electrodes, grid)) {
    QImage cells(kMapGrid, kMapGrid, QImage::Format_ARGB32);
    mapGridToArgb(grid, m.colour, reinterpret_cast<std::uint32_t*>(cells.bits()));
    QPainterPath clip;
    clip.addEllipse(QRectF(box));
    p.setClipPath(clip);
    // the 64 × 64 grid stretched over the head box, row 0 at the top
    p.drawImage(QRectF(box.left(), box.top(), box.width() * 64.0 / 63.0, box.height() * 64.0 / 63.0), cells);
    p.setClipping(false);
  }
  p.setPen(QPen(Qt::black, 1));
  p.setBrush(Qt::NoBrush);
  p.drawEllipse(box);
  p.restore();
}

void drawPairs(QPainter& p, const StudyState& s, const MapSettings& m, const MapView& v) {
  const QRect box = headRect(v);
  p.save();
  p.setPen(QPen(Qt::black, 1));
  p.setBrush(m.colour ? QColor(240, 240, 240) : QColor(Qt::white));
  p.drawEllipse(box);
  const int width = std::max(2, v.mapSize / 32);
  for (const MapPair& pair : mapPairs(s, m, v.sample, bandOf(s, v), sliceOf(s, v))) {
    const QPoint a = electrodePixel(v, s.channelPosX[static_cast<std::size_t>(pair.a)], s.channelPosY[static_cast<std::size_t>(pair.a)]);
    const QPoint b = electrodePixel(v, s.channelPosX[static_cast<std::size_t>(pair.b)], s.channelPosY[static_cast<std::size_t>(pair.b)]);
    p.setPen(QPen(QColor(255, 0, 255), width + 2, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(a, b);
    const QColor fill = m.colour ? qcolor(mapLevelColour(pair.value >> 2, true)) : QColor(255 - pair.value, 255 - pair.value, 255 - pair.value);
    p.setPen(QPen(fill, width, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(a, b);
  }
  p.restore();
}

void drawElectrodes(QPainter& p, const StudyState& s, const MapView& v) {
  p.save();
  p.setFont(smallFont(v.mapSize));
  p.setPen(QPen(Qt::black, 1));
  const int channels = std::clamp(s.channelCount, 0, kMaxChannels);
  for (int c = 0; c < channels; ++c) {
    if (s.channelPosX[static_cast<std::size_t>(c)] >= kMapNoPosition) continue;
    const QPoint at = electrodePixel(v, s.channelPosX[static_cast<std::size_t>(c)], s.channelPosY[static_cast<std::size_t>(c)]);
    p.drawPoint(at);
    p.drawLine(at + QPoint(-1, 0), at + QPoint(1, 0));
    p.drawLine(at + QPoint(0, -1), at + QPoint(0, 1));
    if (v.mapSize >= 128)
      p.drawText(at + QPoint(3, -2), QString::fromStdString(trimSpaces(s.channelNames[static_cast<std::size_t>(c)])));
  }
  p.restore();
}

void frameElectrode(QPainter& p, const StudyState& s, const MapView& v, int channel, int size) {
  if (channel < 0 || channel >= std::clamp(s.channelCount, 0, kMaxChannels)) return;
  if (s.channelPosX[static_cast<std::size_t>(channel)] >= kMapNoPosition) return;
  const QPoint at = electrodePixel(v, s.channelPosX[static_cast<std::size_t>(channel)], s.channelPosY[static_cast<std::size_t>(channel)]);
  p.drawRect(QRect(at.x() - size, at.y() - size, 2 * size, 2 * size));
}

void markElectrode(QPainter& p, const StudyState& s, const MapView& v) {
  p.save();
  p.setBrush(Qt::NoBrush);
  p.setPen(QPen(Qt::black, 1));
  if (mapShowsPairs(s)) {
    const int channels = std::clamp(s.channelCount, 0, kMaxChannels);
    for (int c = 0; c < channels; ++c) frameElectrode(p, s, v, c, 4);
    const int row = v.currentRow;
    if (row >= 0 && row < std::min(s.leadPairCount, kMaxLeadPairs)) {
      p.setPen(QPen(Qt::black, 2));
      frameElectrode(p, s, v, s.leadPairs[static_cast<std::size_t>(row)][0] - 1, 2);
      frameElectrode(p, s, v, s.leadPairs[static_cast<std::size_t>(row)][1] - 1, 2);
    }
  } else {
    frameElectrode(p, s, v, v.currentRow, 4);
  }
  p.restore();
}

// The colour bar: 64 levels of `step` pixels above the bottom right corner.
struct ScaleBar {
  int x = 0, bottom = 0, step = 1;
  int top() const { return bottom - 64 * step; }
};

ScaleBar scaleBarOf(QSize size) {
  return {size.width() - 16, size.height() - 10, std::clamp((size.height() - 40) / 64, 1, 2)};
}

void drawScale(QPainter& p, const MapSettings& m, QSize size, const MapScaleLegend* legend = nullptr) {
  const ScaleBar bar = scaleBarOf(size);
  const int x = bar.x, bottom = bar.bottom, step = bar.step;
  for (int level = 0; level < 64; ++level)
    p.fillRect(QRect(x, bottom - (level + 1) * step, 10, step), qcolor(mapLevelColour(level, m.colour)));
  p.setPen(QPen(Qt::black, 1));
  p.setBrush(Qt::NoBrush);
  p.drawRect(QRect(x, bottom - 64 * step, 10, 64 * step));
  if (!legend) return;
  // what the bottom, middle and top colours stand for, left of the bar, and
  // the unit above it
  p.save();
  QFont f("DejaVu Sans");
  f.setPixelSize(10);
  p.setFont(f);
  const int top = bottom - 64 * step;
  const int ys[3] = {bottom, bottom - 32 * step, top};
  for (int i = 0; i < 3; ++i) {
    const QString text = QString::fromStdString(formatNumber(legend->values[static_cast<std::size_t>(i)], 3));
    p.drawText(QRect(x - 82, ys[i] - 6, 80, 12), Qt::AlignRight | Qt::AlignVCenter, text);
  }
  if (!legend->unit.empty())
    p.drawText(QRect(x - 44, top - 22, 54, 12), Qt::AlignRight | Qt::AlignBottom, QString::fromStdString(legend->unit));
  p.restore();
}

void drawDiagrams(QPainter& p, const StudyState& s, const MapSettings& m, const MapView& v, QSize size) {
  // rows: every row of pair measures, the positioned channels otherwise
  std::vector<int> rows;
  const int all = mapRowCount(s);
  for (int r = 0; r < all; ++r)
    if (mapShowsPairs(s) || s.channelPosX[static_cast<std::size_t>(r)] < kMapNoPosition) rows.push_back(r);
  if (rows.empty()) return;
  const int h = std::max(1, (size.height() - 40) / static_cast<int>(rows.size()));
  const bool epochs = slicesAreEpochs(s.viewMode);
  const int columns = std::max(1, epochs ? v.epochs : std::clamp(s.bandCount, 0, kBandRows));
  const double width = 160.0 / columns;
  p.save();
  p.setFont(smallFont(std::min(256, h * 20)));
  // the marks of the chosen row (right of the bars) and column (below them)
  const auto chosen = std::find(rows.begin(), rows.end(), v.currentRow);
  const int column = epochs ? sliceOf(s, v) : bandOf(s, v);
  p.save();
  p.setPen(QPen(QColor(0, 128, 0), 1));
  p.setBrush(QColor(255, 0, 255));
  if (chosen != rows.end()) p.drawRect(QRect(201, static_cast<int>(chosen - rows.begin()) * h, 8, h - 1));
  if (column >= 0 && column < columns)
    p.drawRect(QRect(static_cast<int>(40 + column * width), size.height() - 40, std::max(1, static_cast<int>(width) - 1), 9));
  p.restore();
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const int r = rows[i];
    const int top = static_cast<int>(i) * h;
    p.setPen(Qt::black);
    p.drawText(QRect(2, top, 40, h), Qt::AlignLeft | Qt::AlignVCenter, QString::fromStdString(mapRowName(s, r)));
    for (int k = 0; k < columns; ++k) {
      const int value = epochs ? bandMapValue(s, r, s.currentBand, k, m.mapScaleStep)
                               : bandMapValue(s, r, k, 0, m.mapScaleStep);
      const int bar = h * value / 255;
      const QRect box(static_cast<int>(40 + k * width), top + h - bar, std::max(1, static_cast<int>(width) - 1), bar);
      p.fillRect(box, QColor(0, 160, 0));
      p.setPen(QPen(Qt::red, 1));
      p.setBrush(Qt::NoBrush);
      if (bar > 0) p.drawRect(box);
    }
  }
  p.restore();
}

}  // namespace

QRect mapScaleArea(QSize size) {
  // the bar with its value labels (80 px left of it) and the unit above it,
  // as drawScale lays them out
  const ScaleBar bar = scaleBarOf(size);
  return QRect(QPoint(bar.x - 82, bar.top() - 22), QPoint(bar.x + 10, bar.bottom + 6));
}

QPoint electrodePixel(const MapView& v, int x, int y) {
  return QPoint(v.mapLeft + x * headWidth(v) / kMapGrid, v.mapTop + y * v.mapSize / kMapGrid);
}

MapView windowMapView(const StudyState& s, QSize size) {
  MapView v;
  const bool diagrams = showsBandDiagrams(s.viewMode);
  v.diagrams = diagrams;
  v.mapLeft = diagrams ? 215 : 5;
  const int roomWidth = size.width() - v.mapLeft - 5;
  const int roomHeight = size.height() - 30;
  v.mapSize = 64;
  for (int m : {256, 128})
    if (m * 3 / 4 <= roomWidth && m <= roomHeight) {
      v.mapSize = m;
      break;
    }
  v.mapTop = std::max(20, (size.height() - 256) / 4);
  // In a short window the head would reach down beside the colour bar and
  // under its labels: it moves up to the title and shrinks to end above them.
  const QRect scale = mapScaleArea(size);
  if (headRect(v).intersects(scale)) {
    v.mapTop = 20;
    v.mapSize = std::clamp(scale.top() - 4 - v.mapTop, 16, v.mapSize);
  }
  v.sample = s.cursorPos;
  v.currentRow = s.currentChannelRow;
  return v;
}

MapView fittedMapView(const StudyState& s, QSize size) {
  MapView v;
  v.diagrams = false;
  v.mapTop = 20;
  v.mapSize = std::max(16, std::min(size.height() - 30, (size.width() - 30) * 4 / 3));
  v.mapLeft = std::max(0, (size.width() - 20 - v.mapSize * 3 / 4) / 2);
  v.sample = s.cursorPos;
  v.currentRow = s.currentChannelRow;
  return v;
}

std::string seriesLabel(const StudyState& s, int item) {
  const double rate = std::max(1, s.sampleRate);
  if (slicesAreEpochs(s.viewMode)) return formatNumber((item + 1.0) * s.epochStep / rate);
  if (s.viewMode == ViewMode::Transform) return formatNumber((item + 1.0) * rate / std::max(1, s.epochLength));
  return formatNumber((item + 1.0) / rate);
}

namespace {

// One small map with its label centred below it.
void drawSeriesItem(QPainter& p, const StudyState& s, const MapSettings& m, MapView cell, const std::string& label) {
  if (mapShowsPairs(s))
    drawPairs(p, s, m, cell);
  else
    drawHead(p, s, m, cell);
  QFont f("DejaVu Sans");
  f.setPixelSize(10);
  p.setFont(f);
  p.setPen(Qt::black);
  p.drawText(QRect(cell.mapLeft - 20, cell.mapTop + cell.mapSize, headWidth(cell) + 40, 12), Qt::AlignHCenter | Qt::AlignTop,
             QString::fromStdString(label));
}

void paintSeries(QPainter& p, const StudyState& s, const MapSettings& m, const MapView& v, QSize size) {
  if (s.viewMode == ViewMode::BandDiagrams) {
    // the maps of the first eight bands, two per row
    const int bands = std::min(std::clamp(s.bandCount, 0, kBandRows), 8);
    const int tops[4] = {25, 170, 315, 450};
    for (int b = 0; b < bands; ++b) {
      MapView cell = v;
      cell.mapSize = 128;
      cell.mapLeft = b % 2 == 0 ? 215 : 315;
      cell.mapTop = tops[b / 2];
      cell.band = b;
      cell.slice = 0;
      drawSeriesItem(p, s, m, cell, trimSpaces(s.bandTable[static_cast<std::size_t>(b)].name));
    }
    return;
  }
  const int columns = std::max(1, static_cast<int>((size.width() - 10) / (128.0 / 3 + 10)));
  const int rows = std::max(1, (size.height() - 30) / 74);
  const int cellWidth = (size.width() - 10) / columns, cellHeight = (size.height() - 40) / rows;
  const bool epochs = slicesAreEpochs(s.viewMode);
  const int step = s.viewMode == ViewMode::Signals && s.timeZoom < 0 ? 1 << std::min(-s.timeZoom, 15) : 1;
  const int end = epochs ? std::max(0, v.epochs) : std::clamp(s.recordLength, 0, kMaxSamples);
  int item = std::max(0, v.seriesStart);
  for (int r = 0; r < rows; ++r) {
    for (int c = 0; c < columns; ++c, item += epochs ? 1 : step) {
      if (item >= end) return;
      MapView cell = v;
      cell.mapSize = 64;
      cell.mapLeft = 5 + c * cellWidth;
      cell.mapTop = 5 + r * cellHeight;
      if (epochs) cell.slice = item;
      else cell.sample = item;
      drawSeriesItem(p, s, m, cell, seriesLabel(s, item));
    }
  }
}

}  // namespace

void paintMapPicture(QImage& image, const StudyState& s, const MapSettings& m, const MapView& v) {
  image.fill(Qt::white);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing, false);
  if (v.seriesStart >= 0) {
    if (v.diagrams && s.viewMode == ViewMode::BandDiagrams) drawDiagrams(p, s, m, v, image.size());
    paintSeries(p, s, m, v, image.size());
    return;
  }
  if (v.diagrams && showsBandDiagrams(s.viewMode)) drawDiagrams(p, s, m, v, image.size());
  if (mapShowsPairs(s))
    drawPairs(p, s, m, v);
  else
    drawHead(p, s, m, v);
  drawElectrodes(p, s, v);
  markElectrode(p, s, v);
  const MapScaleLegend legend = mapScaleLegend(s, m, bandOf(s, v));
  drawScale(p, m, image.size(), &legend);
  if (!v.label.empty()) {
    QFont f("DejaVu Sans");
    f.setPixelSize(12);
    p.setFont(f);
    p.setPen(Qt::black);
    p.drawText(QRect(v.labelX, 5, 120, 14), Qt::AlignLeft | Qt::AlignTop, QString::fromStdString(v.label));
  }
  // the title, centred over the head
  const QString title = QString::fromStdString(mapTitle(s, m));
  if (!title.isEmpty()) {
    QFont f("DejaVu Sans");
    f.setPixelSize(12);
    p.setFont(f);
    p.setPen(Qt::black);
    p.drawText(QRect(v.mapLeft - 40, std::max(0, v.mapTop - 18), headWidth(v) + 80, 16), Qt::AlignCenter, title);
  }
}

void paintCardStatistics(QImage& image, const StudyState& s, const MapSettings& m, const MapCard& card,
                         const std::vector<double>* other) {
  image.fill(Qt::white);
  QPainter p(&image);
  QFont f("DejaVu Sans");
  f.setPixelSize(10);
  p.setFont(f);
  p.setPen(Qt::black);
  const std::vector<int> values = cardStatisticValues(card, other, m.mapScaleStep);
  const char* const* labels = other ? map_text::kCompareRows : map_text::kCardRows;
  const int rows = card.rows;
  const int channels = std::min({rows, std::clamp(s.channelCount, 0, kMaxChannels)});
  for (int b = 0; b < card.bands; ++b) {
    const int x = 20 + 64 * b;
    const std::string name = b < kMapCardBandNames ? card.bandNames[static_cast<std::size_t>(b)] : std::string();
    p.drawText(QPoint(x, 12), QString::fromStdString(name));
    for (int k = 0; k < 3; ++k) {
      const int y = 30 + 74 * k;
      std::vector<MapElectrode> e;
      for (int c = 0; c < channels; ++c) {
        if (s.channelPosX[static_cast<std::size_t>(c)] >= kMapNoPosition) continue;
        MapElectrode el;
        el.x = s.channelPosX[static_cast<std::size_t>(c)];
        el.y = s.channelPosY[static_cast<std::size_t>(c)];
        el.row = c;
        el.value = values[static_cast<std::size_t>((b * 3 + k) * rows + c)];
        e.push_back(el);
      }
      MapView v;
      v.mapSize = 64;
      v.mapLeft = x;
      v.mapTop = y;
      const QRect box(x, y, 48, 64);
      MapGrid grid;
      if (interpolateMap(e, grid)) {
        QImage cells(kMapGrid, kMapGrid, QImage::Format_ARGB32);
        mapGridToArgb(grid, m.colour, reinterpret_cast<std::uint32_t*>(cells.bits()));
        QPainterPath clip;
        clip.addEllipse(QRectF(box));
        p.setClipPath(clip);
        p.drawImage(QRectF(box), cells);
        p.setClipping(false);
      }
      p.setBrush(Qt::NoBrush);
      p.drawEllipse(box);
      if (b == 0) p.drawText(QPoint(2, y + 20), labels[k]);
    }
    if (other) {
      std::vector<double> t, e;
      for (int j = 0; j < rows; ++j) {
        const std::size_t i = static_cast<std::size_t>(b * rows + j);
        t.push_back(i < other->size() ? (*other)[i] : 0);
        e.push_back(i < card.mean.size() ? card.mean[i] : 0);
      }
      const CardTests tests = compareCardValues(t, e);
      const std::string numbers[6] = {formatNumber(tests.w),  probabilityText(tests.pw), formatNumber(tests.d),
                                      probabilityText(tests.pd), formatNumber(tests.s),  probabilityText(tests.ps)};
      for (int k = 0; k < 6; ++k) {
        if (b == 0) p.drawText(QPoint(2, 252 + 15 * k), map_text::kTestLabels[k]);
        p.drawText(QPoint(x + 10, 252 + 15 * k), QString::fromStdString(numbers[k]));
      }
    }
  }
  p.drawText(QPoint(4, 20), QString::fromStdString(map_text::kCountLabel + std::to_string(card.count)));
  drawScale(p, m, image.size());
  const std::string range = formatNumber(3 / std::pow(1.2, m.mapScaleStep));
  const int x = image.width() - 20;
  const int top = image.height() - 10 - 64 * std::clamp((image.height() - 40) / 64, 1, 2);
  p.drawText(QRect(0, top - 14, x, 12), Qt::AlignRight, QString::fromStdString(map_text::kScaleV + range));
  if (other)
    p.drawText(QRect(0, top - 28, x, 12), Qt::AlignRight, QString::fromStdString(map_text::kScaleZ + range));
}

QImage renderMapPicture(const StudyState& s, const MapSettings& m, const MapView& v, QSize size) {
  QImage image(size.expandedTo(QSize(1, 1)), QImage::Format_ARGB32);
  paintMapPicture(image, s, m, v);
  return image;
}

}  // namespace velor
