// Breath detector, formula events and their histograms, M-responses.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "core/formula.h"
#include "core/study_state.h"
#include "physio/breath.h"
#include "physio/breath_texts.h"
#include "physio/emg.h"
#include "physio/polygraph_events.h"
#include "physio/polygraph_texts.h"
#include "results/notebook.h"

namespace velor {
namespace {

std::vector<std::int16_t> sineBreathing(int fs, double seconds, double periodS, double amplitude) {
  std::vector<std::int16_t> x(static_cast<std::size_t>(fs * seconds));
  for (std::size_t i = 0; i < x.size(); ++i)
    x[i] = static_cast<std::int16_t>(
        std::lround(2048 + amplitude * std::sin(2 * std::numbers::pi * static_cast<double>(i) / fs / periodS)));
  return x;
}

TEST(Breath, RegularBreathingGivesEveryPeakAndItsPeriod) {
  const int fs = 250;
  const auto x = sineBreathing(fs, 60, 4.0, 500);
  const BreathTable t = detectBreaths(x.data(), static_cast<int>(x.size()), fs);
  // maxima at 1 s, 5 s, ... 57 s: 15 breaths
  ASSERT_EQ(t.peaks.size(), 15u);
  EXPECT_NEAR(t.peaks[0], fs, 8);  // first of the rounded sine's equal top samples
  BreathSummary sum;
  std::string message;
  ASSERT_TRUE(summarizeBreaths(x.data(), t, fs, 1.0, sum, message));
  EXPECT_EQ(sum.periods.size(), 14u);  // B − 2 periods and amplitudes
  EXPECT_NEAR(sum.meanPeriod, 4.0, 0.01);
  EXPECT_NEAR(sum.ratePerMinute, 15.0, 0.05);
  EXPECT_NEAR(sum.amplitudes[1], 1000, 2);  // trough to peak
  EXPECT_EQ(sum.lines[0].rfind("Средний период=4", 0), 0u) << sum.lines[0];
}

TEST(Breath, ShortArtefactsAreNotBreaths) {
  // the breathing of the test above with 20 ms spikes to near full scale
  // every 1.3 s, on the rising and the falling slopes alike
  const int fs = 250;
  const auto clean = sineBreathing(fs, 60, 4.0, 500);
  auto x = clean;
  for (std::size_t i = 100; i + 5 < x.size(); i += 325)
    for (std::size_t k = 0; k < 5; ++k) x[i + k] = 3990;
  const BreathTable a = detectBreaths(clean.data(), static_cast<int>(clean.size()), fs);
  const BreathTable b = detectBreaths(x.data(), static_cast<int>(x.size()), fs);
  ASSERT_EQ(b.peaks.size(), 15u);
  for (std::size_t k = 0; k < 15; ++k) EXPECT_NEAR(b.peaks[k], a.peaks[k], 3) << k;
  ASSERT_EQ(b.amplitudeCodes.size(), 15u);
  EXPECT_NEAR(b.amplitudeCodes[1], 1000, 4);
}

TEST(Breath, ValuesWrappedRoundTheRangeAreHeldAtItsEnd) {
  // a slow excursion from 3000 to 5000 and back, and one down to −1000,
  // stored as 12-bit values that wrap; a mark (4096) among them
  std::vector<std::int16_t> x, want;
  for (int i = 0; i <= 400; ++i) {
    const int v = i <= 200 ? 3000 + 10 * i : 7000 - 10 * i;
    x.push_back(static_cast<std::int16_t>(v & 4095));
    want.push_back(static_cast<std::int16_t>(std::min(v, 4095)));
  }
  for (int i = 0; i <= 400; ++i) {
    const int v = i <= 200 ? 3000 - 20 * i : -5000 + 20 * i;
    x.push_back(static_cast<std::int16_t>(v & 4095));
    want.push_back(static_cast<std::int16_t>(std::max(v, 0)));
  }
  x[50] = 4096;
  want[50] = want[49];
  // at 10 Hz the median spans one sample: the wraps alone are seen
  EXPECT_EQ(cleanBreathingSignal(x.data(), static_cast<int>(x.size()), 10), want);
  // a channel on a wider scale (a 16-bit recording) has no wraps to undo
  std::vector<std::int16_t> wide{100, 30000, -30000, 5000};
  EXPECT_EQ(cleanBreathingSignal(wide.data(), 4, 10), wide);
}

TEST(Breath, FlatOrNonPositiveSignalsEndWithoutBreaths) {
  // a window without a positive code once sent the scan back to a stale
  // maximum for ever
  for (std::int16_t level : {std::int16_t{0}, std::int16_t{-5}, std::int16_t{2048}}) {
    std::vector<std::int16_t> x(5000, level);
    const BreathTable t = detectBreaths(x.data(), static_cast<int>(x.size()), 100);
    EXPECT_LE(t.peaks.size(), 1u) << level;
    BreathSummary sum;
    std::string message;
    EXPECT_FALSE(summarizeBreaths(x.data(), t, 100, 1.0, sum, message));
    EXPECT_EQ(message, kBreathTooFew);
  }
}

TEST(Breath, TableStopsAtCapacityWithNotice) {
  // 1.2 s breaths at 10 Hz over 32000 samples would give 2666 peaks
  const auto x = sineBreathing(10, 3200, 1.2, 500);
  const BreathTable t = detectBreaths(x.data(), static_cast<int>(x.size()), 10);
  EXPECT_TRUE(t.full);
  EXPECT_EQ(static_cast<int>(t.peaks.size()), kBreathTableCapacity);
}

TEST(Breath, StudyEntryWritesTheResultTables) {
  StudyState s;
  s.channelCount = 1;
  s.sampleRate = 100;
  const auto x = sineBreathing(100, 40, 4.0, 400);
  s.recordLength = static_cast<int>(x.size());
  std::copy(x.begin(), x.end(), s.channel(0));
  bool full = true;
  const int b = detectBreaths(s, 0, &full);
  EXPECT_FALSE(full);
  ASSERT_EQ(b, 11);  // 10 breaths
  EXPECT_EQ(s.resultStore[0], 0);
  EXPECT_NEAR(s.resultStore[1], 100, 8);
  EXPECT_NEAR(s.resultStore[kBreathTroughBase + 2], 300, 8);
  EXPECT_EQ(detectBreaths(s, 3), 0);
}

struct EventStudy : ::testing::Test {
  StudyState s;
  void SetUp() override {
    s.channelCount = 1;
    s.sampleRate = 1000;
    s.recordLength = 2000;
    s.zeroLevel[0] = 2048;
    s.calibValue[0] = 1;
    s.calibUnits[0] = 1;
    for (int i = 0; i < s.recordLength; ++i) s.channel(0)[i] = 2048;
  }
  EventScan scan(const char* text, int from = 0, bool first = false) {
    CompiledFormula f;
    std::string message;
    EXPECT_TRUE(compileFormula(text, FunctionNames::defaults(), f, message)) << message;
    return scanEvents(s, 0, f, from, first);
  }
};

TEST_F(EventStudy, RisingEdgesAreCountedExactly) {
  // pulses of 1..5 samples wide, each preceded by a distinct level
  const int starts[] = {0, 100, 333, 334 + 10, 1990};
  for (int k = 0; k < 5; ++k)
    for (int w = 0; w <= k && starts[k] + w < s.recordLength; ++w) s.channel(0)[starts[k] + w] = 2300;
  const EventScan e = scan("x(1)>100");
  EXPECT_EQ(e.positions, (std::vector<int>{0, 100, 333, 344, 1990}));
  // the amplitude of the event at sample 0 is its own sample, never sample −1
  EXPECT_EQ(eventAmplitudeCode(s, 0, 0), 2300);
  EXPECT_EQ(eventAmplitudeCode(s, 0, 100), 2048);
  // mode 0 from inside a pulse: the formula must return to zero first
  const EventScan first = scan("x(1)>100", 101, true);
  EXPECT_EQ(first.positions, (std::vector<int>{333}));
  // a formula that never changes: no events; a fault is reported with its sample
  EXPECT_TRUE(scan("0").positions.empty());
  EXPECT_EQ(scan("1").positions, (std::vector<int>{0}));
  EXPECT_EQ(scan("1/(j-50)").fault, FormulaFault::DivisionByZero);
}

TEST_F(EventStudy, EventTableStopsAtCapacity) {
  for (int i = 0; i < s.recordLength; i += 2) s.channel(0)[i] = 2300;
  s.recordLength = 6000;
  for (int i = 2000; i < 6000; ++i) s.channel(0)[i] = (i % 2) ? 2048 : 2300;
  const EventScan e = scan("x(1)>100");
  EXPECT_TRUE(e.full);
  EXPECT_EQ(static_cast<int>(e.positions.size()), kEventTableCapacity);
}

TEST(EventHistogram, MomentsAndClasses) {
  // codes 2048 + v: physical values v; moments worked out by hand
  const std::vector<int> codes{2049, 2050, 2050, 2051, 2055};
  EventHistogram h;
  std::string message;
  ASSERT_TRUE(eventHistogram(HistogramKind::Amplitudes, codes, 1000, 2048, 1.0, {}, h, message)) << message;
  // values 1 2 2 3 7: mean 3, deviations -2 -1 -1 0 4 → m2 = 22/5, m3 = 54/5, m4 = 274/5
  EXPECT_DOUBLE_EQ(h.mean, 3.0);
  EXPECT_DOUBLE_EQ(h.variance, 4.4);
  EXPECT_NEAR(h.skewness, 10.8 / std::pow(4.4, 1.5), 1e-12);
  EXPECT_NEAR(h.kurtosis, 54.8 / (4.4 * 4.4), 1e-12);
  EXPECT_NEAR(h.sd, std::sqrt(5.5), 1e-12);
  EXPECT_EQ(h.classes, 3);  // trunc(3.3·log10 5 + 1.5)
  // the top value lands in the extra class k and is left out of S
  EXPECT_EQ(h.counts.back(), 1);
  EXPECT_EQ(h.shownTotal, 4);
  EXPECT_EQ(h.lines[0].rfind("N=5  Средн.=3", 0), 0u) << h.lines[0];
}

TEST(EventHistogram, DegenerateInputsGiveMessages) {
  struct Case {
    std::vector<int> values;
    HistogramKind kind;
    IntervalLimits limits;
    const char* message;
  } cases[] = {
      {{2050}, HistogramKind::Amplitudes, {}, kPoliHistTooFew},
      {{}, HistogramKind::Intervals, {0, 0, 40}, kPoliHistTooFew},
      {{2050, 2050, 2050}, HistogramKind::Amplitudes, {}, kPoliHistEqual},
      {{100, 100, 100}, HistogramKind::Intervals, {0, 0, 40}, kPoliHistEqual},
      // equal values inside a range given by the limits: D = 0
      {{100, 100, 100}, HistogramKind::Intervals, {40, 500, 40}, kPoliHistFlat},
      // no class asked for ("Бинов=" empty or 0)
      {{100, 150, 200}, HistogramKind::Intervals, {0, 0, 0}, kPoliHistNoBins},
  };
  for (const Case& c : cases) {
    EventHistogram h;
    std::string message;
    EXPECT_FALSE(eventHistogram(c.kind, c.values, 1000, 2048, 1.0, c.limits, h, message));
    EXPECT_EQ(message, c.message);
  }
}

TEST(EventHistogram, IntervalLimitsAreMillisecondsAtAnyRate) {
  // 250 Hz: 25 samples = 100 ms; limits 40..500 ms → 10..125 samples
  const std::vector<int> positions{0, 25, 75, 300, 350};  // intervals 25, 50, 225 (900 ms, left out), 50
  const IntervalLimits lim{40, 500, 10};
  const auto iv = eventIntervals(positions, 250, lim);
  EXPECT_EQ(iv, (std::vector<int>{25, 50, 50}));
  EventHistogram h;
  std::string message;
  ASSERT_TRUE(eventHistogram(HistogramKind::Intervals, iv, 250, 0, 1, lim, h, message)) << message;
  EXPECT_DOUBLE_EQ(h.lo, 10);
  EXPECT_DOUBLE_EQ(h.hi, 125);
  EXPECT_NEAR(h.points[0].first, 40 + 23, 1e-9);  // first class centre in ms
}

// A constructed M-response: flat baseline, a stimulus in the mark channel,
// then a trapezoid (linear rise, plateau, linear fall below the baseline and
// back). The smoothing keeps straight segments, so the measures land on the
// corners within the smoothing's reach.
TEST(MResponse, ConstructedResponsesGiveTheirMeasures) {
  StudyState s;
  s.channelCount = 1;
  s.sampleRate = 1000;
  s.recordLength = 3000;
  s.markChannelCount = 1;
  s.zeroLevel[0] = 2048;
  s.calibValue[0] = 10;
  s.calibUnits[0] = 1;  // 10 units per code
  std::int16_t* x = s.channel(0);
  for (int i = 0; i < s.recordLength; ++i) {
    x[i] = 2048;
    s.markChannel[i] = 0;
  }
  const int stimuli[] = {100, 1100, 2100};
  // the onset is searched in the first half between stimulus and peak: the
  // rise is longer than the latency
  const int latency = 20;
  for (int st : stimuli) {
    for (int k = 0; k < 3; ++k) s.markChannel[st + k] = 1 << 2;
    const int o = st + latency;
    for (int k = 0; k <= 40; ++k) x[o + k] = static_cast<std::int16_t>(2048 + 10 * k);  // rise to 400
    for (int k = 41; k < 60; ++k) x[o + k] = 2448;                                      // plateau
    for (int k = 0; k <= 60; ++k) x[o + 60 + k] = static_cast<std::int16_t>(2448 - 10 * k);  // fall to −200
    for (int k = 1; k <= 40; ++k) x[o + 120 + k] = static_cast<std::int16_t>(1848 + 5 * k);  // back
  }
  s.recordModified = 1;
  std::vector<MResponse> r;
  std::string message;
  ASSERT_TRUE(measureMResponses(s, 0, 2, r, message)) << message;
  EXPECT_EQ(s.recordModified, 0);
  // the last stimulus: measured since the previous response was shorter
  ASSERT_EQ(r.size(), 3u);
  for (const MResponse& m : r) {
    EXPECT_NEAR(m.latency, 0.020, 0.0015) << m.stimulus;
    EXPECT_NEAR(m.amplitude, 4000, 60) << m.stimulus;  // 400 codes × 10
    // end: where the signal starts to rise again, 120 samples after onset
    EXPECT_NEAR(m.duration, 0.120, 0.006) << m.stimulus;
  }
  Notebook book;
  book.setCell(4, 1, "keep");
  EXPECT_EQ(writeMResponses(book, r), 3);
  EXPECT_EQ(book.rowCount(), 3);
  EXPECT_EQ(book.cell(4, 1), "keep");
  EXPECT_NEAR(book.value(1, 2), 0.02, 0.0015);
  // no such bit: no rows; no mark channel: a message and nothing changed
  ASSERT_TRUE(measureMResponses(s, 0, 7, r, message));
  EXPECT_TRUE(r.empty());
  s.markChannelCount = 0;
  EXPECT_FALSE(measureMResponses(s, 0, 2, r, message));
}

}  // namespace
}  // namespace velor
