#include "viewer/monitor.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <limits>

#include "core/numtext.h"
#include "core/settings.h"
#include "interchange/edf.h"
#include "viewer/monitor_texts.h"

namespace velor {

namespace {

int zoomOf(const StudyState& s) { return std::clamp(s.timeZoom, kMinTimeZoom, kMaxTimeZoom); }

int validLength(const StudyState& s) { return std::clamp(s.recordLength, 0, kMaxSamples); }

int rowIndex(int row) { return std::clamp(row, 0, kMaxChannels - 1); }

// Pixel rows far outside any drawing are clamped so that later integer
// arithmetic on them cannot overflow.
constexpr int kYLimit = 1'000'000;

}  // namespace

// --- layout ---------------------------------------------------------------------

int monitorRows(const StudyState& s) {
  const int rows = s.shownChannelCount > 0 ? s.shownChannelCount : 2 - s.shownChannelCount;
  return std::clamp(rows, 1, kMaxChannels);
}

bool isFoldedView(const StudyState& s) { return s.shownChannelCount <= 0; }

bool showsPairResults(const StudyState& s) {
  return s.viewMode == ViewMode::Transform && isPairMeasure(s.transformKind) && s.leadPairCount > 0;
}

int channelTotal(const StudyState& s) {
  const int total = showsPairResults(s) ? s.leadPairCount : s.channelCount;
  return std::clamp(total, 0, kMaxChannels);
}

void layoutRows(StudyState& s, MonitorView& v) {
  const int rows = monitorRows(s);
  const double avail = std::max(0, s.monitorHeight - kRulerHeight);
  const double exact = avail / rows;
  v.rowHeightExact = static_cast<float>(exact);
  s.rowHeight = std::max(1, static_cast<int>(exact));
  for (int i = 0; i <= kMaxChannels; ++i)
    s.rowBaseY[static_cast<std::size_t>(i)] = static_cast<int>(exact * (i + 0.5)) + kRulerHeight;
}

long samplesAcross(const StudyState& s) {
  const int z = zoomOf(s);
  const long w = std::max(0, s.monitorWidth);
  return z >= 0 ? (w >> z) : (w << -z);
}

long rowFirstSample(const StudyState& s, int row) {
  if (!isFoldedView(s)) return 0;
  return static_cast<long>(std::max(0, row)) * samplesAcross(s);
}

int rowChannel(const StudyState& s, int row) {
  if (isFoldedView(s)) return s.firstShownChannel;
  return s.firstShownChannel + row;
}

int currentChannel(const StudyState& s) {
  if (isFoldedView(s)) return s.firstShownChannel;
  return s.firstShownChannel + s.currentChannelRow;
}

long sampleToX(const StudyState& s, long sample) {
  const int z = zoomOf(s);
  const long d = sample - s.viewStart;
  return z >= 0 ? d * (1L << z) : (d >> -z);
}

long columnsToSamples(const StudyState& s, long columns) {
  const int z = zoomOf(s);
  const long a = columns < 0 ? -columns : columns;
  const long n = z >= 0 ? (a >> z) : (a << -z);
  return columns < 0 ? -n : n;
}

long sampleAtColumn(const StudyState& s, int x) {
  if (s.recordLength <= 0) return 0;
  const long sample = s.viewStart + columnsToSamples(s, std::max(0, x));
  return std::clamp<long>(sample, 0, s.recordLength - 1);
}

long drawnSampleSpan(const StudyState& s) {
  if (s.recordLength <= 0) return -1;
  return std::min<long>(samplesAcross(s), static_cast<long>(s.recordLength) - s.viewStart - 1);
}

// --- time ruler --------------------------------------------------------------------

std::string timeTickText(long value, int unit, int step) {
  char buf[48];
  if (unit == 1) {
    const int decimals = step % 100 == 0 ? 1 : (step % 10 == 0 ? 2 : 3);
    std::snprintf(buf, sizeof buf, "%.*f", decimals, value / 1000.0);
  } else {
    std::snprintf(buf, sizeof buf, "%ld", value);
  }
  return buf;
}

void timeAxis(const StudyState& s, MonitorView& v, double rate) {
  v.timeTickPixels = 0;
  v.timeTickStep = 0;
  v.timeTickUnit = 0;
  v.timeTickX.clear();
  v.timeTickLabels.clear();
  v.minorTickX.clear();
  double x = rate;
  const bool transform = s.viewMode == ViewMode::Transform && hasFrequencyAxis(s.transformKind);
  if (transform && x > 0) x = 10.0 / x * s.epochLength;
  if (!(x > 0) || !std::isfinite(x)) return;

  double p = std::ldexp(x, zoomOf(s));  // pixels per unit
  double step = 1;
  int m = 0;
  if (p > 200) {
    step = 1000;
    m = 1;
  }
  // Every pass either stops or divides p by 2 or 5, so this ends long before
  // the bound; the bound only guards against arithmetic surprises.
  for (int guard = 0; guard < 4096; ++guard) {
    while (p < 50) {
      p *= 2;
      step *= 2;
    }
    if (p <= 120) break;
    const double key = std::trunc(m == 1 ? step : step * 1000);
    if (std::fmod(key, 2.0) == 0) {
      p /= 2;
      step /= 2;
    } else {
      p /= 5;
      step /= 5;
    }
  }
  if (step < 1) {
    step *= 1000;
    m = 1;
  }
  v.timeTickUnit = (step < 100 && m == 1) ? 2 : m;
  const double whole = std::min(std::trunc(step), 1e9);
  v.timeTickStep = static_cast<int>(whole) * (transform ? 10 : 1);
  v.timeTickPixels = p;

  // Live sweep: labelled ticks at P, 2P, ... and the minor ticks between them.
  for (int k = 1; k <= 66 && (k - 1) * p <= s.monitorWidth; ++k) {
    v.timeTickX.push_back(k * p);
    v.timeTickLabels.push_back(timeTickText(static_cast<long>(k) * v.timeTickStep, v.timeTickUnit, v.timeTickStep));
  }
  double minor = p / 5;
  if (minor < 10) {
    minor = p / 2;
  } else if (minor > 30) {
    minor = p / 10;
  }
  for (int j = 1; j <= 128 && j * minor <= s.monitorWidth; ++j) v.minorTickX.push_back(j * minor);
}

std::vector<RulerTick> rulerTicks(const StudyState& s, const MonitorView& v, int left, int width) {
  std::vector<RulerTick> ticks;
  const double p = v.timeTickPixels;
  if (!(p > 0) || width <= 0) return ticks;
  const int z = zoomOf(s);
  const double a = z >= 0 ? static_cast<double>(s.viewStart) * (1 << z) : static_cast<double>(s.viewStart >> -z);
  const double t = std::trunc(std::trunc(a / p) * p);
  const double first = t - a;
  const int right = left + width;
  double minor = p / 5;
  if (minor < 10) minor = p / 2;
  for (int j = 0; j < 4096; ++j) {
    const double x = first + j * minor;
    if (x >= right) break;
    const int col = static_cast<int>(std::floor(x));
    if (col >= left && col < right) ticks.push_back({col, false, {}});
  }
  for (int k = 0; k < 4096; ++k) {
    const double x = first + k * p;
    if (x >= right) break;
    const int col = static_cast<int>(std::floor(x));
    if (col <= 0 || col < left) continue;
    const long value = static_cast<long>(std::trunc((t + k * p) / p + 0.5)) * v.timeTickStep;
    ticks.push_back({col, true, timeTickText(value, v.timeTickUnit, v.timeTickStep)});
  }
  return ticks;
}

// --- amplitude ---------------------------------------------------------------------

int clampGainStep(int gainStep) { return std::clamp(gainStep, kMinGainStep, kMaxGainStep); }

double gainScale(int gainStep) { return std::pow(1.2, clampGainStep(gainStep)); }

std::int64_t gainFactorQ(const StudyState& s) {
  return static_cast<std::int64_t>(std::trunc(gainScale(s.gainStep) * 65536.0 * s.rowHeight / 4096.0));
}

namespace {

constexpr double kReadableFinest = 2;    // µV/mm below which EEG is a tangle
constexpr double kReadableCoarsest = 60;  // µV/mm above which it is flat lines
constexpr double kClinicalSensitivity = 10;  // µV/mm
}  // namespace

double displayMicrovoltsPerCode(const StudyState& s) {
  // Asked for every row of every redraw: no allocation, and a record whose
  // EEG channels share one scale (every record of this system) needs no sort.
  std::array<double, kMaxChannels> scales;
  std::size_t count = 0;
  bool shared = true;
  const int n = std::clamp(s.channelCount, 0, kMaxChannels);
  for (int c = 0; c < n; ++c)
    if (s.isEegChannel(c)) {
      scales[count] = s.microvoltsPerCode(c);
      shared = shared && scales[count] == scales[0];
      ++count;
    }
  if (count == 0) return n > 0 ? s.microvoltsPerCode(0) : 100.0 / 2048;
  if (shared) return scales[0];
  const auto mid = scales.begin() + static_cast<std::ptrdiff_t>(count / 2);
  std::nth_element(scales.begin(), mid, scales.begin() + static_cast<std::ptrdiff_t>(count));
  return *mid;
}

double channelDrawScale(const StudyState& s, int channel) {
  if (s.viewMode != ViewMode::Signals || channel < 0 || channel >= kMaxChannels || !s.isEegChannel(channel))
    return 1.0;
  const double own = s.microvoltsPerCode(channel);
  const double common = displayMicrovoltsPerCode(s);
  if (own == common || !(common > 0)) return 1.0;
  return own / common;
}

namespace {
// The row height the monitor lays out for the rows shown now.
double expectedRowHeight(const StudyState& s) {
  return std::max(1.0, static_cast<double>(std::max(0, s.monitorHeight - kRulerHeight)) / monitorRows(s));
}

double sensitivityAt(const StudyState& s, int gainStep) {
  const double rowMm = expectedRowHeight(s) / std::max(0.01, s.screenPixelsPerMm);
  return 4096.0 * displayMicrovoltsPerCode(s) / gainScale(gainStep) / rowMm;
}

bool hasEegChannel(const StudyState& s) {
  for (int c = 0; c < std::clamp(s.channelCount, 0, kMaxChannels); ++c)
    if (s.isEegChannel(c)) return true;
  return false;
}
}  // namespace

double sensitivityMicrovoltsPerMm(const StudyState& s) { return sensitivityAt(s, s.gainStep); }

double speedMmPerSecond(const StudyState& s) {
  const int z = zoomOf(s);
  const double pixelsPerSample = z >= 0 ? static_cast<double>(1 << z) : 1.0 / (1 << -z);
  return s.sampleRate * pixelsPerSample / std::max(0.01, s.screenPixelsPerMm);
}

bool pickReadableGain(StudyState& s) {
  if (!hasEegChannel(s)) return false;
  const double now = sensitivityAt(s, s.gainStep);
  if (!(now > 0) || !std::isfinite(now)) return false;
  if (now >= kReadableFinest && now <= kReadableCoarsest) return false;
  int best = s.gainStep;
  double bestDistance = std::fabs(std::log(now / kClinicalSensitivity));
  for (int g = kMinGainStep; g <= kMaxGainStep; ++g) {
    const double d = std::fabs(std::log(sensitivityAt(s, g) / kClinicalSensitivity));
    if (d < bestDistance) {
      bestDistance = d;
      best = g;
    }
  }
  if (best == s.gainStep) return false;
  s.gainStep = best;
  return true;
}

std::string sensitivityText(const StudyState& s) {
  if (!hasEegChannel(s) || s.viewMode != ViewMode::Signals) return {};
  auto rounded = [](double v) { return formatNumber(v, v < 10 ? 2 : 3); };
  return " " + rounded(sensitivityMicrovoltsPerMm(s)) + monitor_text::kMicrovoltsPerMm + " " +
         rounded(speedMmPerSecond(s)) + monitor_text::kMmPerSecond;
}

TraceMapping traceMapping(const StudyState& s, int row) {
  const int r = rowIndex(row);
  const int ch = std::clamp(rowChannel(s, row), 0, kMaxChannels - 1);
  const std::int64_t q = gainFactorQ(s);
  TraceMapping m;
  m.baseline = s.rowBaseY[static_cast<std::size_t>(r)];
  m.zero = s.zeroLevel[ch];
  if (s.viewMode == ViewMode::Transform) {
    m.factor = -q;  // results point up
    if (!hasSignedCodes(s.transformKind)) {
      // magnitudes grow from the bottom of the row
      m.baseline += s.rowHeight / 2;
      m.zero = 0;
    }
  } else {
    // EEG is drawn negative-up; other kinds positive-up
    const double scale = channelDrawScale(s, ch);
    const std::int64_t f = scale == 1.0 ? q : static_cast<std::int64_t>(std::llround(static_cast<double>(q) * scale));
    m.factor = s.channelPosX[static_cast<std::size_t>(ch)] > 128 ? -f : f;
  }
  return m;
}

int codeToY(const TraceMapping& m, int code) {
  const std::int64_t d = (static_cast<std::int64_t>(code) - m.zero) * m.factor;
  const std::int64_t y = (d >> 16) + m.baseline;  // arithmetic shift: rounds towards minus infinity
  return static_cast<int>(std::clamp<std::int64_t>(y, -kYLimit, kYLimit));
}

bool amplitudeScaleShown(const StudyState& s) {
  return s.viewMode == ViewMode::Signals && std::abs(s.shownChannelCount) < 5 &&
         (s.displayFlags & (kFlagRowBorders | kFlagZeroLines)) == (kFlagRowBorders | kFlagZeroLines) &&
         s.acquisitionActive == 0;
}

namespace {
std::string scaleLabel(double value) {
  const double r = std::round(value);
  if (std::fabs(value - r) <= 1e-6 * std::max(1.0, std::fabs(value)) && std::fabs(r) < 1e15) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%lld", static_cast<long long>(r));
    return buf;
  }
  return formatNumber(value, 4);
}
}  // namespace

std::vector<ScaleLine> amplitudeScaleLines(const StudyState& s, int row) {
  std::vector<ScaleLine> lines;
  const int ch = std::clamp(rowChannel(s, row), 0, kMaxChannels - 1);
  const double units = std::max<std::uint16_t>(1, s.calibUnits[ch]);
  // value of half a row; EEG rows are drawn on the common scale
  const double t = 2048.0 / units * s.calibValue[ch] / channelDrawScale(s, ch) / gainScale(s.gainStep);
  if (!(t > 0) || !std::isfinite(t)) return lines;
  const double u = std::trunc(std::log10(t));
  double a = std::trunc(std::pow(10.0, u));
  if (a < 1) a = std::pow(10.0, std::floor(std::log10(t)));  // below one unit the decade is a fraction
  const int d = static_cast<int>(std::trunc(t / a + 0.5));
  const double e = d * a;
  const double g = e / t * s.rowHeight / 2;  // pixels of e
  int divisions = d;
  switch (d) {
    case 1: case 2: case 5: case 10: divisions = g / 5 > 20 ? 5 : 2; break;
    case 7: divisions = g / 7 > 20 ? 7 : 1; break;
    case 8: divisions = g / 4 > 20 ? 4 : 2; break;
    case 9: divisions = 3; break;
    default: break;  // 3, 4, 6
  }
  if (divisions < 1) divisions = 1;
  const double valueStep = e / divisions;
  const double pixelStep = g / divisions;
  const int minor = pixelStep < 21 ? 2 : (pixelStep < 51 ? 4 : 5);
  lines.push_back({0, true, {}});
  if (!(pixelStep >= 1)) return lines;
  const double half = s.rowHeight / 2.0;
  const bool minorLines = pixelStep / minor >= 2;
  for (int k = 1; (k - 1) * pixelStep < half && k < 10000; ++k) {
    for (int j = 1; j <= minor; ++j) {
      const bool major = j == minor;
      if (!major && !minorLines) continue;
      const double off = (k - 1) * pixelStep + j * pixelStep / minor;
      if (off > half) break;
      ScaleLine line{static_cast<int>(std::lround(off)), major, {}};
      if (major) line.label = scaleLabel(k * valueStep);
      lines.push_back(std::move(line));
    }
  }
  return lines;
}

// --- traces ------------------------------------------------------------------------

void columnMinMax(const std::int16_t* data, long valid, long first, int perColumn, int columns,
                  std::int16_t* mins, std::int16_t* maxs) {
  for (int c = 0; c < columns; ++c) {
    const long a = first + static_cast<long>(c) * perColumn;
    const long b = a + perColumn;  // exclusive
    std::int16_t lo = std::numeric_limits<std::int16_t>::max();
    std::int16_t hi = std::numeric_limits<std::int16_t>::min();
    if (a >= 0 && b <= valid) {
      const std::int16_t* p = data + a;
      for (int i = 0; i < perColumn; ++i) {
        lo = std::min(lo, p[i]);
        hi = std::max(hi, p[i]);
      }
    } else {
      for (long i = a; i < b; ++i) {
        const std::int16_t code = (i >= 0 && i < valid) ? data[i] : std::int16_t{0};
        lo = std::min(lo, code);
        hi = std::max(hi, code);
      }
    }
    if (perColumn <= 0) lo = hi = 0;
    mins[c] = lo;
    maxs[c] = hi;
  }
}

namespace {
void widen(ColumnSpan& span, int a, int b) {
  if (a > b) std::swap(a, b);
  if (span.empty()) {
    span.top = a;
    span.bottom = b;
  } else {
    span.top = std::min(span.top, a);
    span.bottom = std::max(span.bottom, b);
  }
}
}  // namespace

void traceColumns(const StudyState& s, int row, int left, int width, std::vector<ColumnSpan>& out) {
  out.assign(static_cast<std::size_t>(std::max(0, width)), ColumnSpan{});
  const long n = drawnSampleSpan(s);
  const int ch = rowChannel(s, row);
  if (n < 0 || width <= 0 || ch < 0 || ch >= kMaxChannels || row < 0 || row >= kMaxChannels) return;
  const std::int16_t* data = s.channelData[static_cast<std::size_t>(ch)];
  const long valid = validLength(s);
  const long base = s.viewStart + rowFirstSample(s, row);
  const TraceMapping m = traceMapping(s, row);
  auto codeAt = [&](long i) -> int { return (i >= 0 && i < valid) ? data[i] : 0; };
  const int z = zoomOf(s);
  const int right = left + width;

  if (z >= 0) {
    // Each sample is w columns wide: the exact polyline through every sample.
    const long w = 1L << z;
    if (n == 0) {
      if (left <= 0 && right > 0) widen(out[static_cast<std::size_t>(-left)], codeToY(m, codeAt(base)), codeToY(m, codeAt(base)));
      return;
    }
    const long k0 = std::max(0L, left / w - 1);
    const long k1 = std::min(n - 1, right / w + 1);
    for (long k = k0; k <= k1; ++k) {
      const double y0 = codeToY(m, codeAt(base + k));
      const double y1 = codeToY(m, codeAt(base + k + 1));
      for (long j = 0; j <= w; ++j) {
        const long col = k * w + j;
        if (col < left || col >= right) continue;
        const double ta = std::max(0.0, j - 0.5) / w;
        const double tb = std::min(static_cast<double>(w), j + 0.5) / w;
        const int ya = static_cast<int>(std::lround(y0 + (y1 - y0) * ta));
        const int yb = static_cast<int>(std::lround(y0 + (y1 - y0) * tb));
        widen(out[static_cast<std::size_t>(col - left)], ya, yb);
      }
    }
    return;
  }

  // Several samples per column: the column's min and max, joined to the last
  // sample of the column before so that the trace stays connected.
  const int per = 1 << -z;
  const long lastSample = base + n;  // inclusive
  int c0 = std::max(0, left);
  int c1 = right;  // exclusive
  const long lastColumn = n / per;  // column holding the last drawn sample
  c1 = static_cast<int>(std::min<long>(c1, lastColumn + 1));
  if (c0 >= c1) return;
  const int full = static_cast<int>(std::clamp<long>(std::min<long>(c1, (n + 1) / per) - c0, 0, c1 - c0));
  thread_local std::vector<std::int16_t> mins, maxs;
  mins.resize(static_cast<std::size_t>(c1 - c0));
  maxs.resize(static_cast<std::size_t>(c1 - c0));
  columnMinMax(data, valid, base + static_cast<long>(c0) * per, per, full, mins.data(), maxs.data());
  for (int c = c0 + full; c < c1; ++c) {
    // the last column holds only part of its samples
    const long a = base + static_cast<long>(c) * per;
    const long b = std::min(a + per - 1, lastSample);
    int lo = codeAt(a), hi = lo;
    for (long i = a + 1; i <= b; ++i) {
      lo = std::min(lo, codeAt(i));
      hi = std::max(hi, codeAt(i));
    }
    mins[static_cast<std::size_t>(c - c0)] = static_cast<std::int16_t>(lo);
    maxs[static_cast<std::size_t>(c - c0)] = static_cast<std::int16_t>(hi);
  }
  for (int c = c0; c < c1; ++c) {
    ColumnSpan& span = out[static_cast<std::size_t>(c - left)];
    widen(span, codeToY(m, mins[static_cast<std::size_t>(c - c0)]), codeToY(m, maxs[static_cast<std::size_t>(c - c0)]));
    if (c > 0) {
      const int yPrev = codeToY(m, codeAt(base + static_cast<long>(c) * per - 1));
      widen(span, yPrev, yPrev);
    }
  }
}

// --- marks -------------------------------------------------------------------------

std::vector<int> markChannelColumns(const StudyState& s, int left, int width) {
  std::vector<int> cols;
  if (s.markChannelCount != 1 || s.acquisitionActive != 0 || s.viewMode != ViewMode::Signals || s.markChannel == nullptr)
    return cols;
  const long n = drawnSampleSpan(s);
  if (n < 0) return cols;
  const long valid = validLength(s);
  const long last = std::min<long>(s.viewStart + n, valid - 1);
  for (long i = std::max<long>(1, s.viewStart); i <= last; ++i) {
    if (s.markChannel[i] == s.markChannel[i - 1]) continue;
    const long x = sampleToX(s, i);
    if (x < left || x >= left + width) continue;
    if (!cols.empty() && cols.back() == x) continue;
    cols.push_back(static_cast<int>(x));
  }
  return cols;
}

std::vector<AnnotationLabel> annotationLabels(const StudyState& s, int left, int width) {
  std::vector<AnnotationLabel> labels;
  if (s.acquisitionActive != 0 || s.viewMode != ViewMode::Signals) return labels;
  const long n = drawnSampleSpan(s);
  if (n < 0) return labels;
  const long last = std::min<long>(s.viewStart + n, validLength(s) - 1);
  for (const EdfAnnotation& a : edfPageAnnotations(s)) {
    if (a.sample < s.viewStart || a.sample > last) continue;
    if (!labels.empty() && labels.back().sample == a.sample) {
      labels.back().text += "; " + a.text;
      continue;
    }
    const long x = sampleToX(s, a.sample);
    if (x < left || x >= left + width) continue;
    labels.push_back({static_cast<int>(x), a.sample, a.text});
  }
  return labels;
}

std::vector<long> userMarkSamples(const StudyState& s, int channel, long first, long count) {
  std::vector<long> marks;
  if (channel < 0 || channel >= kMaxChannels) return marks;
  const long valid = validLength(s);
  const std::int16_t* data = s.channelData[static_cast<std::size_t>(channel)];
  for (long i = std::max(0L, first); i < std::min(valid, first + count); ++i)
    if (data[i] == kMarkCode) marks.push_back(i);
  return marks;
}

// --- names and caption -------------------------------------------------------------

std::string leadText(const StudyState& s, int row) {
  if (isFoldedView(s)) return {};
  const int ch = rowChannel(s, row);
  if (ch < 0 || ch >= kMaxChannels) return {};
  auto nameOf = [&](int oneBased) -> std::string {
    if (oneBased < 1 || oneBased > kMaxChannels) return {};
    return trimSpaces(s.channelNames[static_cast<std::size_t>(oneBased - 1)]);
  };
  if (showsPairResults(s) || s.referenceKind == 6) {
    const auto& pair = s.leadPairs[static_cast<std::size_t>(ch)];
    return nameOf(pair[0]) + "-" + nameOf(pair[1]);
  }
  std::string text = trimSpaces(s.channelNames[static_cast<std::size_t>(ch)]);
  if (s.channelPosX[static_cast<std::size_t>(ch)] < 240) {
    using namespace monitor_text;
    static const char* const suffixes[] = {"", kSuffixAA, kSuffixA1, kSuffixA2, kSuffixAM, kSuffixMM};
    if (s.referenceKind >= 1 && s.referenceKind <= 5) text += suffixes[s.referenceKind];
  }
  return text;
}

namespace {
std::string dateText(double days) {
  if (!std::isfinite(days) || std::fabs(days) > 2'000'000) return "--.--.----";
  return dayMonthYearText(static_cast<int>(std::floor(days)));
}

std::string timeText(double fraction) {
  if (!std::isfinite(fraction) || fraction < 0 || fraction >= 1) fraction = 0;
  int sec = static_cast<int>(std::trunc(fraction * 86400.0 + 1e-6));
  sec = std::min(sec, 86399);
  char buf[32];
  std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", sec / 3600, sec / 60 % 60, sec % 60);
  return buf;
}

std::string lengthText(double samples, int rate) {
  if (rate <= 0) return "?s";
  const double secs = samples / rate;
  if (secs >= 1) return std::to_string(static_cast<long>(std::trunc(secs))) + "s";
  return std::to_string(static_cast<long>(std::trunc(secs * 1000))) + "ms";
}

std::string epochText(double samples, int rate) {
  if (rate <= 0) return "?s";
  const double secs = samples / rate;
  if (secs >= 1) return formatNumber(std::trunc(secs * 100) / 100, 4) + "s";
  return std::to_string(static_cast<long>(std::trunc(secs * 1000))) + "ms";
}
}  // namespace

std::string composeMonitorCaption(StudyState& s) {
  using namespace monitor_text;
  if (s.viewMode == ViewMode::Signals) s.epochCount = s.computeEpochCount();
  std::string c = s.recordFileName.substr(0, s.recordFileName.find('.'));
  c += ": ";
  c += dateText(s.recordDate);
  c += " ";
  c += timeText(s.recordTime);
  c += " ";
  c += lengthText(s.recordLength, s.sampleRate);
  c += " ";
  c += std::to_string(s.sampleRate);
  c += kHertz;
  c += kRecordTag;
  c += std::to_string(s.currentRecord) + "/" + std::to_string(s.recordCount);
  c += kEpochTag;
  c += std::to_string(s.currentEpoch + 1) + "/" + std::to_string(s.epochCount);
  c += "=";
  c += epochText(s.epochLength, s.sampleRate);
  c += sensitivityText(s);
  const bool group = s.groupMode != 0;
  const int fields[] = {1, 2, 3, 7};
  if (group) {
    for (int f = 1; f <= 7; ++f) c += " " + headerField(s, f);
  } else {
    for (int f : fields) c += " " + headerField(s, f);
  }
  return c;
}

std::string patientLine(const StudyState& s) {
  std::string name;
  if (s.groupMode != 0) {
    for (int f = 1; f <= 6; ++f) {
      const std::string one = headerField(s, f);
      if (one.empty()) continue;
      if (!name.empty()) name += ", ";
      name += one;
    }
  } else {
    name = headerField(s, 3);
  }
  std::string line = name;
  if (!line.empty()) line += "  ";
  line += dateText(s.recordDate) + " " + timeText(s.recordTime);
  return line;
}

// --- cursor, anchor and rows ------------------------------------------------------

namespace {
int lineColumn(const StudyState& s, long sample) {
  if (sample < s.viewStart || sample >= s.viewStart + samplesAcross(s)) return -1;
  const long x = sampleToX(s, sample);
  return (x >= 0 && x < s.monitorWidth) ? static_cast<int>(x) : -1;
}

// Largest column a whole sample starts on.
int lastSampleColumn(const StudyState& s) {
  const int z = zoomOf(s);
  const int last = std::max(0, s.monitorWidth - 1);
  return z > 0 ? (last >> z) << z : last;
}

// The cursor's column for key moves: where it is drawn, or the remembered
// column when its sample is outside the view.
int keyBaseColumn(const StudyState& s, const MonitorView& v) {
  const int c = cursorColumn(s);
  return c >= 0 ? c : std::clamp(v.cursorX, 0, lastSampleColumn(s));
}

void moveCursorToColumn(StudyState& s, MonitorView& v, int x) {
  const int rows = monitorRows(s);
  s.currentChannelRow = std::clamp(s.currentChannelRow, 0, rows - 1);
  v.clickX = x;
  v.clickY = s.rowBaseY[static_cast<std::size_t>(s.currentChannelRow)];
  s.cursorPos = static_cast<int>(sampleAtColumn(s, x));
  v.cursorX = x;
  v.lastClickX = v.clickX;
  v.lastClickY = v.clickY;
}
}  // namespace

int cursorColumn(const StudyState& s) { return lineColumn(s, s.cursorPos); }

int anchorColumn(const StudyState& s) { return s.selectionAnchor < 0 ? -1 : lineColumn(s, s.selectionAnchor); }

int rowMarkTop(const StudyState& s, const MonitorView& v) {
  return static_cast<int>(std::trunc(s.rowBaseY[0] + s.currentChannelRow * v.rowHeightExact - s.rowHeight / 2.0));
}

int rowAtY(const StudyState& s, int y) {
  const int rows = monitorRows(s);
  const double r = std::trunc((y - s.rowBaseY[0] + s.rowHeight / 2.0) / std::max(1, s.rowHeight));
  return static_cast<int>(std::clamp(r, 0.0, rows - 1.0));
}

void mouseMove(const StudyState& s, MonitorView& v, int x, int y) {
  const int z = zoomOf(s);
  x = std::max(0, x);
  if (z > 0) {
    const int w = 1 << z;
    x = static_cast<int>(std::trunc(static_cast<double>(x) / w + 0.5)) * w;
    x = std::min(x, lastSampleColumn(s));
  }
  v.clickX = x;
  v.clickY = y;
}

ClickOutcome Click(StudyState& s, MonitorView& v, bool toggle) {
  ClickOutcome outcome;
  const long sample = sampleAtColumn(s, v.clickX);
  if (v.clickX == v.lastClickX || toggle) {
    if (s.selectionAnchor < 0) {
      s.selectionAnchor = static_cast<int>(sample);
      outcome = ClickOutcome::AnchorSet;
    } else {
      s.selectionAnchor = -1;
      outcome = ClickOutcome::AnchorCleared;
    }
  } else {
    s.cursorPos = static_cast<int>(sample);
    v.cursorX = v.clickX;
    v.lastClickX = v.clickX;
    v.lastClickY = v.clickY;
    outcome = ClickOutcome::CursorMoved;
  }
  s.currentChannelRow = rowAtY(s, v.clickY);
  return outcome;
}

bool cursorLeft(StudyState& s, MonitorView& v, bool big) {
  if (s.recordLength <= 0) return false;
  const int z = zoomOf(s);
  const int c = keyBaseColumn(s, v);
  if (c <= 0) return false;
  const int step = (big ? 16 : 1) * (z > 0 ? 1 << z : 1);
  moveCursorToColumn(s, v, std::max(0, c - step));
  return true;
}

bool cursorRight(StudyState& s, MonitorView& v, bool big) {
  if (s.recordLength <= 0 || s.cursorPos >= s.recordLength - 1) return false;
  const int z = zoomOf(s);
  const int c = keyBaseColumn(s, v);
  const int edge = lastSampleColumn(s);
  if (c >= edge) return false;
  int step = (big ? 16 : 1) * (z > 0 ? 1 << z : 1);
  if (big && z <= 0) {
    const long left = static_cast<long>(s.recordLength) - 1 - s.cursorPos;
    const long cols = left >> -z;
    step = static_cast<int>(std::clamp<long>(cols, 1, step));
  }
  moveCursorToColumn(s, v, std::min(edge, c + step));
  return true;
}

void rowUp(StudyState& s) {
  const int rows = monitorRows(s);
  const int r = std::clamp(s.currentChannelRow, 0, rows - 1);
  s.currentChannelRow = r == 0 ? rows - 1 : r - 1;
}

void rowDown(StudyState& s) {
  const int rows = monitorRows(s);
  const int r = std::clamp(s.currentChannelRow, 0, rows - 1);
  s.currentChannelRow = r + 1 >= rows ? 0 : r + 1;
}

bool toggleAnchor(StudyState& s) {
  if (s.selectionAnchor >= 0) {
    s.selectionAnchor = -1;
    return false;
  }
  s.selectionAnchor = std::clamp(s.cursorPos, 0, std::max(0, s.recordLength - 1));
  return true;
}

// --- scrolling, zoom and channel count -------------------------------------------

long scrollBy(StudyState& s, int pixels) {
  const long e = columnsToSamples(s, pixels);
  if (e == 0) return 0;
  long next;
  if (e < 0) {
    if (s.viewStart <= 0) return 0;
    next = std::max(0L, s.viewStart + e);
  } else {
    const long end = static_cast<long>(s.recordLength) - samplesAcross(s);
    if (s.viewStart >= end) return 0;
    next = std::min(s.viewStart + e, end);
  }
  const long moved = next - s.viewStart;
  s.viewStart = static_cast<int>(next);
  return moved;
}

namespace {
long scrollTo(StudyState& s, long target) {
  const long next = std::clamp(target, 0L, std::max(0L, static_cast<long>(s.recordLength) - samplesAcross(s)));
  const long moved = next - s.viewStart;
  s.viewStart = static_cast<int>(next);
  return moved;
}
}  // namespace

long pageForward(StudyState& s) { return scrollTo(s, static_cast<long>(s.viewStart) + samplesAcross(s)); }

long scrollToEnd(StudyState& s) { return scrollTo(s, s.recordLength); }

bool horizontalBarVisible(const StudyState& s) { return s.recordLength > samplesAcross(s); }

long horizontalBarMaximum(const StudyState& s) {
  return std::max(0L, static_cast<long>(s.recordLength) - samplesAcross(s));
}

void setViewFromHorizontalBar(StudyState& s, long position) {
  s.viewStart = static_cast<int>(std::clamp(position, 0L, horizontalBarMaximum(s)));
}

bool verticalBarVisible(const StudyState& s) {
  return s.shownChannelCount > 0 && s.shownChannelCount < channelTotal(s) && s.acquisitionActive == 0;
}

int verticalBarMaximum(const StudyState& s) { return std::max(0, channelTotal(s) - std::max(1, s.shownChannelCount)); }

void setFirstChannelFromVerticalBar(StudyState& s, int position) {
  s.firstShownChannel = std::clamp(position, 0, verticalBarMaximum(s));
}

namespace {
void afterTimeZoom(StudyState& s, MonitorView& v) {
  timeAxis(s, v, s.sampleRate);
  // A zoom-out at the end of the record would leave the view past its end.
  s.viewStart = static_cast<int>(std::clamp<long>(s.viewStart, 0, horizontalBarMaximum(s)));
  const int c = cursorColumn(s);
  if (c >= 0) v.cursorX = c;
}
}  // namespace

bool zoomTimeIn(StudyState& s, MonitorView& v) {
  if (s.timeZoom > kMaxTimeZoom - 1) return false;
  ++s.timeZoom;
  afterTimeZoom(s, v);
  return true;
}

bool zoomTimeOut(StudyState& s, MonitorView& v) {
  if (s.timeZoom < kMinTimeZoom + 1) return false;
  --s.timeZoom;
  afterTimeZoom(s, v);
  return true;
}

bool gainUp(StudyState& s) {
  if (s.gainStep >= kMaxGainStep) return false;
  s.gainStep = clampGainStep(s.gainStep + 1);
  return true;
}

bool gainDown(StudyState& s) {
  if (s.gainStep <= kMinGainStep) return false;
  s.gainStep = clampGainStep(s.gainStep - 1);
  return true;
}

void showMoreChannels(StudyState& s, MonitorView& v) {
  const int total = channelTotal(s);
  if (total > 0) {
    const int shown = s.shownChannelCount;
    int next;
    if (shown == 0) {
      next = 1;
    } else if (shown < 0) {
      next = 1 - (1 - shown) / 2;
    } else if (shown < total / 2.0) {
      next = 2 * shown;
    } else {
      next = total;
    }
    s.shownChannelCount = next;
    const int span = std::max(1, next);
    s.firstShownChannel = s.firstShownChannel + span > total ? std::max(0, total - span) : 0;
  }
  s.currentChannelRow = 0;
  layoutRows(s, v);
}

bool showFewerChannels(StudyState& s, MonitorView& v) {
  bool changed = false;
  if (s.shownChannelCount > 1) {
    const int next = s.shownChannelCount / 2;
    const int first = s.firstShownChannel + s.currentChannelRow;
    s.firstShownChannel = first + next <= channelTotal(s) ? first : 0;
    s.shownChannelCount = next;
    changed = true;
  }
  s.currentChannelRow = 0;
  layoutRows(s, v);
  return changed;
}

void initialise(StudyState& s, MonitorView& v) {
  s.initMonitorDefaults();
  for (int i = 0; i < kMaxChannels; ++i) std::fill_n(s.channelData[static_cast<std::size_t>(i)], kMaxSamples, std::int16_t{0});
  s.gainStep = clampGainStep(s.gainStep);
  timeAxis(s, v, s.sampleRate);
  layoutRows(s, v);
  v.cursorX = std::max(0, cursorColumn(s));
}

int acquisitionKeyCode(int key) {
  switch (key) {
    case vk::kEscape: return 1;
    case vk::kSpace: return 57;
    case vk::kPageUp: return 73;
    case vk::kPageDown: return 81;
    case vk::kEnd: return 79;
    case vk::kHome: return 71;
    case vk::k0 + 1: return 2;
    case vk::kF9: return 1;
    case vk::kSeparator: return 0;
    default: return 256 + key;  // the cursor keys, Ins and every other key
  }
}

bool keyActsDuringExamination(int key) {
  return key == vk::kBack || key == vk::k0 || key == vk::k0 + 2 || key == vk::k0 + 3 || key == vk::k0 + 4 ||
         key == vk::kF12;
}

}  // namespace velor
