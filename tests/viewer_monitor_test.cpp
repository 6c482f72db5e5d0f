// The monitor's geometry and rules, checked on a StudyState without windows.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "core/settings.h"
#include "core/study_state.h"
#include "viewer/monitor.h"

namespace velor {
namespace {

// A monitor of w × h showing `channels` channels of `length` samples, laid out.
struct Fixture {
  StudyState s;
  MonitorView v;
  Fixture(int w = 800, int h = 415, int channels = 4, int length = 1024) {
    s.monitorWidth = w;
    s.monitorHeight = h;
    s.channelCount = channels;
    s.shownChannelCount = channels;
    s.recordLength = length;
    initialise(s, v);
    s.cursorPos = 0;
  }
  void relayout() { layoutRows(s, v); }
};

// --- layout -------------------------------------------------------------------------

TEST(MonitorLayout, RowsHeightsAndBaselines) {
  struct Case {
    int height, shown;
    int rows, rowHeight, firstBase, lastBase;
  };
  const Case cases[] = {
      {415, 4, 4, 100, 65, 365},   // 400 usable pixels, four rows
      {415, 3, 3, 133, 81, 348},   // trunc(400/3 × 0.5) + 15, trunc(400/3 × 2.5) + 15
      {415, -1, 3, 133, 81, 348},  // folded: 2 − (−1) rows
      {415, 0, 2, 200, 115, 315},
      {20, 64, 64, 1, 15, 19},     // rows thinner than a pixel still get height 1
      {415, -500, 64, 6, 18, 411}, // folded row count is bounded by the baseline table
  };
  for (const Case& c : cases) {
    Fixture f(800, c.height);
    f.s.shownChannelCount = c.shown;
    f.relayout();
    SCOPED_TRACE("height " + std::to_string(c.height) + " shown " + std::to_string(c.shown));
    EXPECT_EQ(monitorRows(f.s), c.rows);
    EXPECT_EQ(f.s.rowHeight, c.rowHeight);
    EXPECT_EQ(f.s.rowBaseY[0], c.firstBase);
    EXPECT_EQ(f.s.rowBaseY[static_cast<std::size_t>(c.rows - 1)], c.lastBase);
  }
}

// --- microvolts on the screen -----------------------------------------------------

// Four EEG channels carry the same 50 µV sine: two with a physical range of
// ±100 µV and two of ±400 µV in full 16-bit codes, as an EDF page brings
// them. Each is drawn at the same height; a non-EEG channel keeps its codes'
// scale, and a record whose EEG shares one scale is drawn exactly as before.
TEST(MonitorAmplitude, EqualMicrovoltsAreDrawnAtEqualHeight) {
  Fixture f(800, 415, 5);
  f.relayout();
  const std::uint16_t units[4] = {32767, 32767, 8192, 8192};  // 100 µV per 32767 and per 8192 codes
  for (int c = 0; c < 4; ++c) {
    f.s.zeroLevel[c] = 0;
    f.s.calibUnits[c] = units[c];
    f.s.calibValue[c] = 100;
  }
  f.s.channelPosX[4] = kKindEcg;
  f.s.gainStep = -8;
  std::vector<int> height;
  for (int row = 0; row < 4; ++row) {
    const TraceMapping m = traceMapping(f.s, row);
    const int peak = static_cast<int>(std::lround(50.0 * units[row] / 100));  // 50 µV in this channel's codes
    height.push_back(std::abs(codeToY(m, peak) - codeToY(m, -peak)));
  }
  for (int row = 1; row < 4; ++row) EXPECT_NEAR(height[row], height[0], 1) << row;
  EXPECT_GT(height[0], 10);
  // the ECG row: the codes' own scale
  EXPECT_EQ(traceMapping(f.s, 4).factor, -gainFactorQ(f.s));

  // one common scale: the factor of the codes, as before
  Fixture g(800, 415, 4);
  g.relayout();
  for (int c = 0; c < 4; ++c) {
    g.s.calibUnits[c] = 2047;
    g.s.calibValue[c] = 200;
  }
  for (int row = 0; row < 4; ++row) EXPECT_EQ(traceMapping(g.s, row).factor, gainFactorQ(g.s));
}

// Opening a page whose EEG would be a tangle (or flat) picks the gain nearest
// 10 µV/mm; a readable gain stays as the person left it.
TEST(MonitorAmplitude, AnUnreadablePageGetsAClinicalSensitivity) {
  Fixture f(800, 615, 21);
  f.s.screenPixelsPerMm = 96 / 25.4;
  for (int c = 0; c < 21; ++c) {
    f.s.zeroLevel[c] = 0;
    f.s.calibUnits[c] = static_cast<std::uint16_t>(28000 + 100 * c);  // about 550 codes per µV, as a real EDF
    f.s.calibValue[c] = 51;
  }
  f.s.gainStep = 0;
  EXPECT_LT(sensitivityMicrovoltsPerMm(f.s), 2);
  EXPECT_TRUE(pickReadableGain(f.s));
  EXPECT_NEAR(sensitivityMicrovoltsPerMm(f.s), 10, 1.0);
  EXPECT_FALSE(pickReadableGain(f.s));  // now readable: it stays

  Fixture g(800, 415, 4);
  for (int c = 0; c < 4; ++c) {
    g.s.calibUnits[c] = 2047;
    g.s.calibValue[c] = 200;
  }
  g.s.gainStep = 3;
  const double before = sensitivityMicrovoltsPerMm(g.s);
  EXPECT_GE(before, 2);
  EXPECT_LE(before, 60);
  EXPECT_FALSE(pickReadableGain(g.s));
  EXPECT_EQ(g.s.gainStep, 3);
  EXPECT_NE(sensitivityText(g.s).find("мкВ/мм"), std::string::npos);
  EXPECT_NE(sensitivityText(g.s).find("мм/с"), std::string::npos);

  // nothing to judge by: no EEG channel
  Fixture h(800, 415, 2);
  h.s.channelPosX[0] = h.s.channelPosX[1] = kKindEcg;
  h.s.calibUnits[0] = h.s.calibUnits[1] = 60000;
  EXPECT_FALSE(pickReadableGain(h.s));
  EXPECT_EQ(sensitivityText(h.s), "");
}

TEST(MonitorLayout, FoldedViewContinuesEachRowWhereTheRowAboveEnded) {
  Fixture f(1000, 415, 2, 5000);
  f.s.shownChannelCount = -1;
  f.s.firstShownChannel = 1;
  f.relayout();
  for (int i = 0; i < 5000; ++i) f.s.channel(1)[i] = static_cast<std::int16_t>(i % 4000);
  ASSERT_EQ(monitorRows(f.s), 3);
  EXPECT_EQ(rowFirstSample(f.s, 0), 0);
  EXPECT_EQ(rowFirstSample(f.s, 1), 1000);
  EXPECT_EQ(rowFirstSample(f.s, 2), 2000);
  // every row draws channel 1, starting at its own segment
  std::vector<ColumnSpan> spans;
  for (int row = 0; row < 3; ++row) {
    EXPECT_EQ(rowChannel(f.s, row), 1);
    traceColumns(f.s, row, 0, 1000, spans);
    const TraceMapping m = traceMapping(f.s, row);
    const int expected = codeToY(m, static_cast<int>(rowFirstSample(f.s, row) % 4000));
    EXPECT_LE(spans[0].top, expected);
    EXPECT_GE(spans[0].bottom, expected);
  }
  EXPECT_EQ(leadText(f.s, 0), "");  // the folded view has no names
}

// --- amplitude mapping ------------------------------------------------------------------

TEST(MonitorTraces, FixedPointMappingRoundsTowardsMinusInfinity) {
  Fixture f;  // rowHeight 100 → Q = 1600
  ASSERT_EQ(f.s.rowHeight, 100);
  EXPECT_EQ(gainFactorQ(f.s), 1600);
  const int base = f.s.rowBaseY[0];
  // EEG is drawn negative-up: full scale lands 49 below the baseline
  EXPECT_EQ(codeToY(traceMapping(f.s, 0), 4095) - base, 49);
  EXPECT_EQ(codeToY(traceMapping(f.s, 0), 2048) - base, 0);
  f.s.channelPosX[0] = kKindEcg;  // positive-up, and −3275200 >> 16 is −50
  EXPECT_EQ(codeToY(traceMapping(f.s, 0), 4095) - base, -50);
}

TEST(MonitorTraces, TransformResultsGrowFromTheRowBottomExceptPhaseAndCorrelation) {
  Fixture f;
  f.s.viewMode = ViewMode::Transform;
  const int base = f.s.rowBaseY[1];
  f.s.transformKind = TransformKind::Power;
  EXPECT_EQ(codeToY(traceMapping(f.s, 1), 0), base + 50);
  EXPECT_LT(codeToY(traceMapping(f.s, 1), 1000), base + 50);
  for (TransformKind kind : {TransformKind::CrossPhase, TransformKind::Correlation}) {
    f.s.transformKind = kind;
    EXPECT_EQ(codeToY(traceMapping(f.s, 1), 2048), base);
    EXPECT_LT(codeToY(traceMapping(f.s, 1), 3000), base);  // positive values point up
  }
}

TEST(MonitorTraces, GainStepStaysWhereTheScaleIsFinite) {
  Fixture f(1920, 1120, 1);
  int steps = 0;
  while (gainUp(f.s)) ++steps;
  EXPECT_EQ(f.s.gainStep, kMaxGainStep);
  EXPECT_LT(steps, 1000);
  const std::int64_t q = gainFactorQ(f.s);
  EXPECT_GT(q, 0);
  EXPECT_LT(q, std::int64_t{1} << 31);
  while (gainDown(f.s)) {
  }
  EXPECT_EQ(f.s.gainStep, kMinGainStep);
  EXPECT_TRUE(std::isfinite(gainScale(100000)));
  EXPECT_TRUE(std::isfinite(gainScale(-100000)));
  // a hostile code far outside the 12-bit range still gives a bounded row
  f.s.gainStep = kMaxGainStep;
  const int y = codeToY(traceMapping(f.s, 0), -32768);
  EXPECT_GT(y, -2'000'000);
}

// --- decimation ------------------------------------------------------------------------------

TEST(MonitorTraces, ColumnMinMaxMatchesBruteForceAndTreatsSamplesPastTheEndAsZero) {
  std::mt19937 rng(7);
  std::uniform_int_distribution<int> code(-3000, 7000);
  std::vector<std::int16_t> data(5000);
  for (auto& x : data) x = static_cast<std::int16_t>(code(rng));
  struct Case {
    long valid, first;
    int per, columns;
  };
  const Case cases[] = {{5000, 0, 1, 300}, {5000, 13, 7, 500}, {5000, 4000, 32, 60}, {3000, 2500, 16, 100}, {5000, -20, 8, 10}};
  for (const Case& c : cases) {
    std::vector<std::int16_t> mins(static_cast<std::size_t>(c.columns)), maxs(mins.size());
    columnMinMax(data.data(), c.valid, c.first, c.per, c.columns, mins.data(), maxs.data());
    for (int col = 0; col < c.columns; ++col) {
      int lo = 1 << 20, hi = -(1 << 20);
      for (int k = 0; k < c.per; ++k) {
        const long i = c.first + static_cast<long>(col) * c.per + k;
        const int v = (i >= 0 && i < c.valid) ? data[static_cast<std::size_t>(i)] : 0;
        lo = std::min(lo, v);
        hi = std::max(hi, v);
      }
      ASSERT_EQ(mins[static_cast<std::size_t>(col)], lo) << "column " << col << " per " << c.per;
      ASSERT_EQ(maxs[static_cast<std::size_t>(col)], hi) << "column " << col << " per " << c.per;
    }
  }
}

// The drawn trace covers every sample's pixel and has no gaps between columns.
void expectConnectedCover(Fixture& f, int row) {
  std::vector<ColumnSpan> spans;
  traceColumns(f.s, row, 0, f.s.monitorWidth, spans);
  const TraceMapping m = traceMapping(f.s, row);
  const long n = drawnSampleSpan(f.s);
  for (long k = 0; k <= n; ++k) {
    const long x = sampleToX(f.s, f.s.viewStart + k);
    if (x >= f.s.monitorWidth) break;
    const int y = codeToY(m, f.s.channel(rowChannel(f.s, row))[f.s.viewStart + k]);
    const ColumnSpan& sp = spans[static_cast<std::size_t>(x)];
    ASSERT_FALSE(sp.empty()) << "sample " << k;
    ASSERT_LE(sp.top, y) << "sample " << k;
    ASSERT_GE(sp.bottom, y) << "sample " << k;
  }
  for (std::size_t x = 1; x < spans.size(); ++x) {
    if (spans[x].empty() || spans[x - 1].empty()) continue;
    ASSERT_LE(spans[x].top, spans[x - 1].bottom + 1) << "gap at column " << x;
    ASSERT_GE(spans[x].bottom, spans[x - 1].top - 1) << "gap at column " << x;
  }
}

TEST(MonitorTraces, TraceCoversEverySampleWithoutGapsAtEveryZoom) {
  for (int zoom = kMinTimeZoom; zoom <= kMaxTimeZoom; ++zoom) {
    Fixture f(640, 415, 2, 20000);
    std::mt19937 rng(static_cast<unsigned>(zoom + 100));
    std::uniform_int_distribution<int> code(0, 4095);
    for (int i = 0; i < 20000; ++i) f.s.channel(1)[i] = static_cast<std::int16_t>(code(rng));
    f.s.timeZoom = zoom;
    f.s.viewStart = 333;
    SCOPED_TRACE("zoom " + std::to_string(zoom));
    expectConnectedCover(f, 1);
  }
}

TEST(MonitorTraces, FlatChannelIsOnePixelHighAndTheTraceEndsWithTheRecord) {
  Fixture f(800, 415, 1, 300);
  std::fill_n(f.s.channel(0), 300, std::int16_t{2048});
  std::vector<ColumnSpan> spans;
  traceColumns(f.s, 0, 0, 800, spans);
  for (int x = 0; x < 299; ++x) {
    ASSERT_EQ(spans[static_cast<std::size_t>(x)].top, f.s.rowBaseY[0]);
    ASSERT_EQ(spans[static_cast<std::size_t>(x)].bottom, f.s.rowBaseY[0]);
  }
  EXPECT_TRUE(spans[300].empty());  // nothing past the last sample
  f.s.recordLength = 0;
  traceColumns(f.s, 0, 0, 800, spans);
  EXPECT_TRUE(std::all_of(spans.begin(), spans.end(), [](const ColumnSpan& c) { return c.empty(); }));
}

TEST(MonitorTraces, HostileViewStateDrawsNothingOutsideTheBuffers) {
  Fixture f(800, 415, 4, 1000);
  std::vector<ColumnSpan> spans;
  f.s.recordLength = 100000;  // beyond the buffer capacity
  f.s.timeZoom = -40;          // beyond the zoom range
  f.s.viewStart = kMaxSamples - 10;
  traceColumns(f.s, 0, 0, 800, spans);
  EXPECT_EQ(spans.size(), 800u);
  f.s.firstShownChannel = 200;
  traceColumns(f.s, 0, 0, 800, spans);
  EXPECT_TRUE(spans[0].empty());
  EXPECT_EQ(leadText(f.s, 0), "");
}

// --- time ruler ------------------------------------------------------------------------

TEST(MonitorRuler, TickSpacingUnitAndLabels) {
  struct Case {
    int rate, zoom;
    double pixels;
    int unit, step;
    std::vector<std::string> labels;  // first labelled ticks with x > 0
  };
  const Case cases[] = {
      {250, 0, 62.5, 1, 250, {"0.25", "0.50", "0.75"}},
      {250, -3, 62.5, 0, 2, {"2", "4", "6"}},
      {100, 0, 100, 0, 1, {"1", "2", "3"}},
      {1000, 0, 50, 2, 50, {"50", "100", "150"}},
      {100, 3, 100, 1, 125, {"0.125", "0.250", "0.375"}},
  };
  for (const Case& c : cases) {
    Fixture f;
    f.s.timeZoom = c.zoom;
    timeAxis(f.s, f.v, c.rate);
    SCOPED_TRACE("rate " + std::to_string(c.rate) + " zoom " + std::to_string(c.zoom));
    EXPECT_DOUBLE_EQ(f.v.timeTickPixels, c.pixels);
    EXPECT_EQ(f.v.timeTickUnit, c.unit);
    EXPECT_EQ(f.v.timeTickStep, c.step);
    std::vector<std::string> labels;
    std::vector<int> xs;
    for (const RulerTick& t : rulerTicks(f.s, f.v, 0, f.s.monitorWidth))
      if (t.labelled && labels.size() < 3) {
        labels.push_back(t.label);
        xs.push_back(t.x);
      }
    EXPECT_EQ(labels, c.labels);
    EXPECT_EQ(xs[0], static_cast<int>(c.pixels));
  }
}

TEST(MonitorRuler, ScrolledViewContinuesTheLabelsAndMinorTicksFallBetween) {
  Fixture f;
  f.s.viewStart = 125;  // half a second in at 250 Hz
  timeAxis(f.s, f.v, 250);
  std::vector<RulerTick> labelled, minor;
  for (const RulerTick& t : rulerTicks(f.s, f.v, 0, 800)) (t.labelled ? labelled : minor).push_back(t);
  ASSERT_GE(labelled.size(), 2u);
  EXPECT_EQ(labelled[0].x, 62);
  EXPECT_EQ(labelled[0].label, "0.75");
  EXPECT_EQ(labelled[1].label, "1.00");
  // 62.5 / 5 = 12.5 pixels between minor ticks
  ASSERT_GE(minor.size(), 3u);
  EXPECT_EQ(minor[1].x - minor[0].x, 12);
  // a partial range yields only its own columns
  for (const RulerTick& t : rulerTicks(f.s, f.v, 100, 50)) {
    EXPECT_GE(t.x, 100);
    EXPECT_LT(t.x, 150);
  }
}

TEST(MonitorRuler, TransformViewCountsInTenthsOfTheSpectralStepAndBadRatesClearIt) {
  Fixture f;
  f.s.viewMode = ViewMode::Transform;
  f.s.transformKind = TransformKind::Power;
  f.s.epochLength = 256;
  timeAxis(f.s, f.v, 100);  // 25.6 pixels per unit, doubled to 51.2
  EXPECT_DOUBLE_EQ(f.v.timeTickPixels, 51.2);
  EXPECT_EQ(f.v.timeTickStep, 20);
  for (double rate : {0.0, -5.0, std::nan("")}) {
    timeAxis(f.s, f.v, rate);
    EXPECT_EQ(f.v.timeTickPixels, 0);
    EXPECT_TRUE(rulerTicks(f.s, f.v, 0, 800).empty());
  }
  f.s.epochLength = 0;  // would make a zero tick distance
  timeAxis(f.s, f.v, 100);
  EXPECT_EQ(f.v.timeTickPixels, 0);
}

TEST(MonitorRuler, LiveSweepTicksFollowTheLabelledStep) {
  Fixture f;
  timeAxis(f.s, f.v, 250);
  ASSERT_GE(f.v.timeTickX.size(), 3u);
  EXPECT_DOUBLE_EQ(f.v.timeTickX[0], 62.5);
  EXPECT_EQ(f.v.timeTickLabels[0], "0.25");
  EXPECT_EQ(f.v.timeTickLabels[1], "0.50");
  EXPECT_LE(f.v.timeTickX.size(), 66u);
  ASSERT_GE(f.v.minorTickX.size(), 2u);
  EXPECT_DOUBLE_EQ(f.v.minorTickX[0], 12.5);
}

// --- amplitude scale -------------------------------------------------------------------

std::vector<std::string> majorLabels(const StudyState& s, int row) {
  std::vector<std::string> labels;
  for (const ScaleLine& l : amplitudeScaleLines(s, row))
    if (!l.label.empty()) labels.push_back(l.label);
  return labels;
}

TEST(MonitorAmplitudeScale, DivisionsAndLabels) {
  Fixture f(800, 515, 2);  // two rows of 250 pixels; calibration 2048 codes = 100
  ASSERT_EQ(f.s.rowHeight, 250);
  EXPECT_TRUE(amplitudeScaleShown(f.s));
  EXPECT_EQ(majorLabels(f.s, 0), (std::vector<std::string>{"20", "40", "60", "80", "100"}));
  const auto lines = amplitudeScaleLines(f.s, 0);
  EXPECT_EQ(lines.back().offset, 125);  // the last major line at half a row
  // pixel step 25 < 51: four minor divisions, three dotted lines between majors
  EXPECT_EQ(std::count_if(lines.begin(), lines.end(), [](const ScaleLine& l) { return !l.major; }), 15);

  // half a row worth 0.5: steps of 0.2 are labelled as such, not truncated to 0
  // (a non-EEG channel, drawn on its own codes' scale)
  f.s.channelPosX[1] = kKindEcg;
  f.s.calibUnits[1] = 4096;
  f.s.calibValue[1] = 1;
  EXPECT_EQ(majorLabels(f.s, 1), (std::vector<std::string>{"0.2", "0.4"}));
  // a scale below a tenth still divides
  f.s.gainStep = 45;
  const auto tiny = majorLabels(f.s, 0);
  ASSERT_FALSE(tiny.empty());
  for (const auto& l : tiny) EXPECT_NE(l, "0");
}

TEST(MonitorAmplitudeScale, ShownOnlyWithBothGridBitsFewRowsAndNoExamination) {
  Fixture f;
  EXPECT_TRUE(amplitudeScaleShown(f.s));
  f.s.displayFlags = kFlagZeroLines;
  EXPECT_FALSE(amplitudeScaleShown(f.s));
  f.s.displayFlags = 3;
  f.s.shownChannelCount = 5;
  EXPECT_FALSE(amplitudeScaleShown(f.s));
  f.s.shownChannelCount = -1;
  EXPECT_TRUE(amplitudeScaleShown(f.s));
  f.s.acquisitionActive = 1;
  EXPECT_FALSE(amplitudeScaleShown(f.s));
  f.s.acquisitionActive = 0;
  f.s.calibValue[0] = 0;  // no finite scale: no lines rather than a division by zero
  EXPECT_TRUE(amplitudeScaleLines(f.s, 0).empty());
}

// --- marks ---------------------------------------------------------------------------------

TEST(MonitorMarks, MarkChannelChangesAndUserMarks) {
  Fixture f(800, 415, 2, 1000);
  f.s.markChannelCount = 1;
  std::fill_n(f.s.markChannel, 1000, std::int16_t{0});
  std::fill_n(f.s.markChannel + 100, 50, std::int16_t{0x0301});
  f.s.markChannel[0] = 7;  // differs from sample 1, but sample 0 has no sample before it
  EXPECT_EQ(markChannelColumns(f.s, 0, 800), (std::vector<int>{1, 100, 150}));
  f.s.timeZoom = -1;
  EXPECT_EQ(markChannelColumns(f.s, 0, 800), (std::vector<int>{0, 50, 75}));
  f.s.acquisitionActive = 1;
  EXPECT_TRUE(markChannelColumns(f.s, 0, 800).empty());
  f.s.acquisitionActive = 0;
  f.s.markChannelCount = 0;
  EXPECT_TRUE(markChannelColumns(f.s, 0, 800).empty());

  f.s.channel(1)[5] = kMarkCode;
  f.s.channel(1)[700] = kMarkCode;
  EXPECT_EQ(userMarkSamples(f.s, 1, 0, 1000), (std::vector<long>{5, 700}));
  EXPECT_EQ(userMarkSamples(f.s, 1, 6, 5000), (std::vector<long>{700}));
}

// --- names and caption ---------------------------------------------------------------------

TEST(MonitorNames, ReferenceSuffixesAndPairNames) {
  Fixture f;
  f.s.channelNames[0] = " Fp1 ";
  f.s.channelNames[1] = "ЭКГ";
  f.s.channelPosX[1] = kKindEcg;
  const std::pair<int, std::string> suffixes[] = {{0, ""}, {1, "-AA"}, {2, "-A1"}, {3, "-A2"}, {4, "-AМ"}, {5, "-MM"}};
  for (const auto& [kind, suffix] : suffixes) {
    f.s.referenceKind = kind;
    EXPECT_EQ(leadText(f.s, 0), "Fp1" + suffix);
    EXPECT_EQ(leadText(f.s, 1), "ЭКГ");  // not an EEG lead: no reference
  }
  f.s.referenceKind = 6;
  f.s.leadPairs[0] = {1, 2};
  f.s.leadPairs[1] = {2, 99};  // a damaged pair names what it can
  EXPECT_EQ(leadText(f.s, 0), "Fp1-ЭКГ");
  EXPECT_EQ(leadText(f.s, 1), "ЭКГ-");
}

TEST(MonitorCaption, SummarisesTheRecordAndTheHeader) {
  Fixture f;
  StudyState& s = f.s;
  s.recordFileName = "ivanov.test.cad";
  s.recordDate = daysFromCivil(2024, 3, 5);
  s.recordTime = 0.5;
  s.recordLength = 3000;
  s.sampleRate = 250;
  s.currentRecord = 2;
  s.recordCount = 5;
  s.epochLength = s.epochStep = 256;
  s.currentEpoch = 0;
  setHeaderField(s.examHeader, false, 1, "Фон");
  setHeaderField(s.examHeader, false, 3, "Иванов");
  setHeaderField(s.examHeader, false, 7, "норма");
  EXPECT_EQ(composeMonitorCaption(s), "ivanov: 05.03.2024 12:00:00 12s 250Гц Зап:2/5 Эпо:1/11=1.02s 7.6 мкВ/мм 66.1 мм/с Фон  Иванов норма");
  EXPECT_EQ(s.epochCount, 11);

  // under a second: milliseconds; a step of 0 counts as the epoch length
  s.recordLength = 50;
  s.sampleRate = 100;
  s.epochLength = 64;
  s.epochStep = 0;
  s.recordFileName = "noext";
  s.examHeader.assign(kHeaderChars, ' ');
  EXPECT_EQ(composeMonitorCaption(s), "noext: 05.03.2024 12:00:00 500ms 100Гц Зап:2/5 Эпо:1/0=640ms 7.6 мкВ/мм 26.5 мм/с    ");
  EXPECT_EQ(s.epochCount, 0);

  // a damaged rate or date does not divide by zero or run off the calendar
  s.sampleRate = 0;
  s.recordDate = 1e300;
  EXPECT_NO_THROW(composeMonitorCaption(s));
}

TEST(MonitorCaption, GroupModeShowsSevenFieldsAndTheTransformViewKeepsTheEpochCount) {
  Fixture f;
  f.s.groupMode = 1;
  for (int i = 1; i <= 7; ++i) setHeaderField(f.s.examHeader, true, i, "f" + std::to_string(i));
  const std::string c = composeMonitorCaption(f.s);
  EXPECT_NE(c.find(" f1 f2 f3 f4 f5 f6 f7"), std::string::npos) << c;
  f.s.viewMode = ViewMode::Transform;
  f.s.epochCount = 42;
  composeMonitorCaption(f.s);
  EXPECT_EQ(f.s.epochCount, 42);
}

// --- cursor, anchor, rows -------------------------------------------------------------------

TEST(MonitorClicks, SecondClickOnTheSameColumnTogglesTheAnchor) {
  Fixture f;
  f.s.viewStart = 100;
  mouseMove(f.s, f.v, 40, f.s.rowBaseY[2]);
  EXPECT_EQ(Click(f.s, f.v, false), ClickOutcome::CursorMoved);
  EXPECT_EQ(f.s.cursorPos, 140);
  EXPECT_EQ(f.s.currentChannelRow, 2);
  EXPECT_EQ(Click(f.s, f.v, false), ClickOutcome::AnchorSet);
  EXPECT_EQ(f.s.selectionAnchor, 140);
  EXPECT_EQ(Click(f.s, f.v, false), ClickOutcome::AnchorCleared);
  EXPECT_EQ(f.s.selectionAnchor, -1);
  // a double click toggles wherever it is
  mouseMove(f.s, f.v, 90, 5);  // in the ruler: the top row
  EXPECT_EQ(Click(f.s, f.v, true), ClickOutcome::AnchorSet);
  EXPECT_EQ(f.s.selectionAnchor, 190);
  EXPECT_EQ(f.s.currentChannelRow, 0);
  mouseMove(f.s, f.v, 50, 5000);  // below the rows: the last row
  Click(f.s, f.v, false);
  EXPECT_EQ(f.s.currentChannelRow, 3);
}

TEST(MonitorClicks, ZoomedInPointerSnapsToWholeSamplesAndClicksStayInTheRecord) {
  Fixture f(800, 415, 4, 150);
  f.s.timeZoom = 2;
  mouseMove(f.s, f.v, 13, 100);
  EXPECT_EQ(f.v.clickX, 12);
  mouseMove(f.s, f.v, 799, 100);
  EXPECT_EQ(f.v.clickX, 796);  // the last whole sample on the drawing
  Click(f.s, f.v, false);
  EXPECT_EQ(f.s.cursorPos, 149);  // column 796 is sample 199, beyond the record
}

TEST(MonitorKeys, CursorStepsAndTheirLimits) {
  struct Case {
    int zoom, viewStart, cursor, length;
    int key;  // vk::kLeft or vk::kRight
    bool big;
    int expectCursor;  // −1: no move
  };
  const Case cases[] = {
      {0, 0, 10, 1000, vk::kLeft, false, 9},
      {0, 0, 0, 1000, vk::kLeft, false, -1},    // not below column 0
      {0, 0, 5, 1000, vk::kLeft, true, 0},      // at most to column 0
      {2, 0, 40, 1000, vk::kLeft, true, 24},    // 16 samples of 4 pixels
      {-2, 0, 400, 1000, vk::kLeft, false, 396},  // one column is four samples
      {0, 0, 10, 1000, vk::kRight, true, 26},
      {0, 500, 995, 1000, vk::kRight, true, 999},  // no more than the samples left
      {0, 0, 999, 1000, vk::kRight, false, -1},  // at the last sample
      {0, 200, 999, 2000, vk::kRight, true, -1},  // at the right edge (column 799)
      {3, 0, 10, 1000, vk::kRight, false, 11},
  };
  for (const Case& c : cases) {
    Fixture f(800, 415, 4, c.length);
    f.s.timeZoom = c.zoom;
    f.s.viewStart = c.viewStart;
    f.s.cursorPos = c.cursor;
    f.s.currentChannelRow = 1;
    SCOPED_TRACE("zoom " + std::to_string(c.zoom) + " cursor " + std::to_string(c.cursor));
    const bool moved = c.key == vk::kLeft ? cursorLeft(f.s, f.v, c.big) : cursorRight(f.s, f.v, c.big);
    EXPECT_EQ(moved, c.expectCursor >= 0);
    EXPECT_EQ(f.s.cursorPos, c.expectCursor >= 0 ? c.expectCursor : c.cursor);
    EXPECT_EQ(f.s.currentChannelRow, 1);
    EXPECT_EQ(f.s.selectionAnchor, -1);  // key moves never toggle the anchor
  }
}

TEST(MonitorKeys, RowsWrapAndInsTogglesTheAnchorAtTheCursor) {
  Fixture f;
  rowUp(f.s);
  EXPECT_EQ(f.s.currentChannelRow, 3);
  rowDown(f.s);
  EXPECT_EQ(f.s.currentChannelRow, 0);
  rowDown(f.s);
  EXPECT_EQ(f.s.currentChannelRow, 1);
  f.s.cursorPos = 77;
  EXPECT_TRUE(toggleAnchor(f.s));
  EXPECT_EQ(f.s.selectionAnchor, 77);
  EXPECT_FALSE(toggleAnchor(f.s));
  EXPECT_EQ(f.s.selectionAnchor, -1);
  // lines are drawn only for samples in view
  f.s.viewStart = 500;
  EXPECT_EQ(cursorColumn(f.s), -1);
  f.s.cursorPos = 510;
  EXPECT_EQ(cursorColumn(f.s), 10);
}

TEST(MonitorKeys, ExaminationKeyCodes) {
  const std::pair<int, int> codes[] = {{vk::kEscape, 1},   {vk::kSpace, 57},      {vk::kPageUp, 73},
                                       {vk::kPageDown, 81}, {vk::kEnd, 79},       {vk::kHome, 71},
                                       {vk::k0 + 1, 2},     {vk::kF9, 1},         {vk::kLeft, 256 + 37},
                                       {vk::kInsert, 256 + 45}, {'A', 256 + 65}, {vk::kSeparator, 0}};
  for (const auto& [key, code] : codes) EXPECT_EQ(acquisitionKeyCode(key), code) << key;
  for (int key : {vk::kBack, vk::k0, vk::k0 + 2, vk::k0 + 3, vk::k0 + 4, vk::kF12}) EXPECT_TRUE(keyActsDuringExamination(key));
  for (int key : {vk::k0 + 1, vk::kLeft, vk::kF3}) EXPECT_FALSE(keyActsDuringExamination(key));
}

// --- scrolling, zoom, channel count ---------------------------------------------------------

TEST(MonitorScroll, StopsAtBothEnds) {
  Fixture f(800, 415, 4, 2000);
  EXPECT_EQ(scrollBy(f.s, -8), 0);  // at the start going backwards
  EXPECT_EQ(scrollBy(f.s, 8), 8);
  EXPECT_EQ(scrollBy(f.s, 5000), 1192);
  EXPECT_EQ(f.s.viewStart, 1200);  // recordLength − samples across
  EXPECT_EQ(scrollBy(f.s, 8), 0);
  EXPECT_EQ(scrollBy(f.s, -400), -400);
  f.s.timeZoom = 3;  // 8 pixels are one sample
  EXPECT_EQ(scrollBy(f.s, -8), -1);
  EXPECT_EQ(scrollBy(f.s, -7), 0);
  EXPECT_EQ(horizontalBarMaximum(f.s), 1900);
  setViewFromHorizontalBar(f.s, 99999);
  EXPECT_EQ(f.s.viewStart, 1900);
}

TEST(MonitorScroll, PageForwardAndEndStayInsideTheRecord) {
  Fixture f(800, 415, 4, 2000);  // 800 samples across
  EXPECT_EQ(pageForward(f.s), 800);
  EXPECT_EQ(f.s.viewStart, 800);
  EXPECT_EQ(pageForward(f.s), 400);  // the last screen ends at the record's end
  EXPECT_EQ(pageForward(f.s), 0);
  f.s.viewStart = 0;
  EXPECT_EQ(scrollToEnd(f.s), 1200);
  EXPECT_EQ(scrollToEnd(f.s), 0);
  f.s.recordLength = 300;  // shorter than a screen: nowhere to go
  f.s.viewStart = 0;
  EXPECT_EQ(pageForward(f.s), 0);
  EXPECT_EQ(scrollToEnd(f.s), 0);
}

TEST(MonitorZoom, LimitsBarVisibilityAndViewKeptInsideTheRecord) {
  Fixture f(800, 415, 4, 3000);
  f.s.viewStart = 2000;
  EXPECT_TRUE(horizontalBarVisible(f.s));
  EXPECT_TRUE(zoomTimeOut(f.s, f.v));  // 1600 across
  EXPECT_EQ(f.s.viewStart, 1400);
  EXPECT_TRUE(zoomTimeOut(f.s, f.v));  // 3200 across: the whole record fits
  EXPECT_FALSE(horizontalBarVisible(f.s));
  EXPECT_EQ(f.s.viewStart, 0);
  while (zoomTimeOut(f.s, f.v)) {
  }
  EXPECT_EQ(f.s.timeZoom, kMinTimeZoom);
  while (zoomTimeIn(f.s, f.v)) {
  }
  EXPECT_EQ(f.s.timeZoom, kMaxTimeZoom);
  EXPECT_DOUBLE_EQ(f.v.timeTickPixels, 80);  // the ruler follows the zoom: 25 ms every 80 pixels
  EXPECT_EQ(f.v.timeTickStep, 25);
}

TEST(MonitorChannelCount, MoreAndFewerChannelSteps) {
  struct Case {
    bool more;
    int total, shown, first, row;
    int expectShown, expectFirst;
  };
  const Case cases[] = {
      {true, 16, 4, 8, 2, 8, 0},    // doubles, from channel 0 when it fits
      {true, 16, 4, 14, 0, 8, 8},   // would run past the end: the last 8
      {true, 16, 8, 3, 0, 16, 0},   // half or more: all of them
      {true, 9, 4, 0, 0, 8, 0},     // 4 < 4.5 still doubles
      {true, 9, 5, 0, 0, 9, 0},
      {true, 16, 0, 5, 0, 1, 0},    // folded in two rows → one channel
      {true, 16, -1, 5, 0, 0, 0},   // folded in three rows → two rows
      {true, 16, -4, 5, 0, -1, 0},  // 1 − trunc(5 / 2)
      {false, 16, 8, 4, 3, 4, 7},   // keeps the current channel on top
      {false, 16, 8, 8, 7, 4, 0},   // it would not fit: from channel 0
      {false, 16, 5, 0, 0, 2, 0},
      {false, 16, 1, 6, 0, 1, 6},   // one row stays one row
  };
  for (const Case& c : cases) {
    Fixture f(800, 415, c.total);
    f.s.shownChannelCount = c.shown;
    f.s.firstShownChannel = c.first;
    f.s.currentChannelRow = c.row;
    if (c.more) {
      showMoreChannels(f.s, f.v);
    } else {
      showFewerChannels(f.s, f.v);
    }
    SCOPED_TRACE(std::string(c.more ? "more" : "fewer") + " total " + std::to_string(c.total) + " shown " +
                 std::to_string(c.shown));
    EXPECT_EQ(f.s.shownChannelCount, c.expectShown);
    EXPECT_EQ(f.s.firstShownChannel, c.expectFirst);
    EXPECT_EQ(f.s.currentChannelRow, 0);
    EXPECT_EQ(f.s.rowHeight, std::max(1, 400 / monitorRows(f.s)));  // laid out again
  }
}

TEST(MonitorChannelCount, VerticalBarRangeCountsPairsInPairResults) {
  Fixture f(800, 415, 16);
  f.s.shownChannelCount = 4;
  EXPECT_TRUE(verticalBarVisible(f.s));
  EXPECT_EQ(verticalBarMaximum(f.s), 12);
  setFirstChannelFromVerticalBar(f.s, 50);
  EXPECT_EQ(f.s.firstShownChannel, 12);
  f.s.viewMode = ViewMode::Transform;
  f.s.transformKind = TransformKind::Coherence;
  f.s.leadPairCount = 6;
  EXPECT_EQ(verticalBarMaximum(f.s), 2);
  f.s.viewMode = ViewMode::Signals;
  f.s.shownChannelCount = 16;
  EXPECT_FALSE(verticalBarVisible(f.s));
  f.s.shownChannelCount = 4;
  f.s.acquisitionActive = 1;
  EXPECT_FALSE(verticalBarVisible(f.s));
}

TEST(MonitorInit, IniResetsTheChannelTableAndView) {
  StudyState s;
  MonitorView v;
  s.channelCount = 3;
  s.zeroLevel[1] = 100;
  s.calibUnits[1] = 7;
  s.calibValue[1] = 9;
  s.channel(2)[10] = 55;
  s.viewStart = 40;
  s.selectionAnchor = 3;
  s.timeZoom = 2;
  s.gainStep = 4;
  initialise(s, v);
  EXPECT_EQ(s.zeroLevel[1], 2048);
  EXPECT_EQ(s.calibUnits[1], 2048);
  EXPECT_EQ(s.calibValue[1], 100);
  EXPECT_EQ(s.channel(2)[10], 0);
  EXPECT_EQ(s.viewStart, 0);
  EXPECT_EQ(s.selectionAnchor, -1);
  EXPECT_EQ(s.timeZoom, 0);
  EXPECT_EQ(s.gainStep, 0);
  EXPECT_GT(v.timeTickPixels, 0);
}

}  // namespace
}  // namespace velor
