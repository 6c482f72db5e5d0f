// RR statistics, spectrum, scatter and dynamics on constructed interval
// series whose values were worked out by hand; degenerate series.
#include <gtest/gtest.h>

#include "physio/ecg_analysis.h"
#include "physio/ecg_texts.h"
#include "test_support.h"

namespace velor {
namespace {

// 1 ms a sample: 800 ×5, 850 ×3, 900 ×2 in this order.
const std::vector<int> kSeries = {800, 850, 800, 900, 800, 850, 800, 900, 800, 850};

TEST(EcgStatistics, ConstructedSeriesByHand) {
  RrStatistics st;
  std::string msg;
  ASSERT_TRUE(computeRrStatistics(kSeries, 1000, st, msg));
  // mean 835, σ² = 698750 − 835² = 1525, CV = trunc(46.77 + 0.5) / 10
  EXPECT_DOUBLE_EQ(st.mean, 835);
  EXPECT_NEAR(st.sigma * st.sigma, 1525, 1e-6);
  ASSERT_EQ(st.lines.size(), 6u);
  EXPECT_EQ(st.lines[0], "N=10 RRсред=835 ЧСС=71 dRR=100 Ст.откл=39 Вариация=4.7");
  // classes of 50 ms from 400; the mode's first best centre is 800 (5 of 10);
  // m3 = 34500, m4 = 4335625: skewness 34500 / 1525^1.5, kurtosis m4 / 1525²
  EXPECT_EQ(st.lines[1], "Бин=50 Мода=800 Ампл.моды=50% Асимм.=0.5793 Эксцесс=1.864");
  // AMo 50, Mo 0.8 s, ΔX 0.1 s: 500, 12.5 → 13, 62.5 → 63, 312.5 → 313
  EXPECT_EQ(st.lines[2], "Показатели Баевского: ИВР=500 ВПР=13 ПАПР=63 ИН=313");
  // D2 = 5·50² + 4·100² = 52500; IDM = sqrt(52500/40)/835·100 = 4.3387
  EXPECT_EQ(st.lines[3], "Индексы Каплана: ИДМ=4.33 САТ=115 ИМА=0%");
  // RMSSD = sqrt(52500 / 9); four differences above 50 ms
  EXPECT_EQ(st.lines[4], "RMSSD=76.38, pNN50=40%");
  // one window: two steps among the sorted values → 3, score 7; no value 2σ away
  EXPECT_EQ(st.lines[5], "ПСС=70 ПСA=0");
  // the histogram: centres in ms, share in %, zeros at 400 and 1300 (range wider than the series)
  ASSERT_GE(st.histogram.size(), 2u);
  EXPECT_EQ(st.histogram[8], (std::pair<double, double>{825, 50}));
  EXPECT_EQ(st.histogram.back(), (std::pair<double, double>{1300, 0}));
}

TEST(EcgStatistics, DegenerateSeriesGiveDashesOrMessages) {
  RrStatistics st;
  std::string msg;
  EXPECT_FALSE(computeRrStatistics({800, 800}, 1000, st, msg));
  EXPECT_EQ(msg, kEcgTooFewIntervals);
  // constant RR: σ = 0, ΔX = 0, IDM = 0
  ASSERT_TRUE(computeRrStatistics(std::vector<int>(12, 800), 1000, st, msg));
  EXPECT_EQ(st.lines[1].find("Асимм.=—"), st.lines[1].find("Асимм.="));
  EXPECT_NE(st.lines[1].find("Эксцесс=—"), std::string::npos);
  EXPECT_EQ(st.lines[2], "Показатели Баевского: ИВР=— ВПР=— ПАПР=125 ИН=—");
  EXPECT_NE(st.lines[3].find("САТ=—"), std::string::npos);
  EXPECT_NE(st.lines[3].find("ИМА=—"), std::string::npos);
  EXPECT_EQ(st.lines[5], "ПСС=100 ПСA=0");
  // fewer than 10 intervals: no stability window
  ASSERT_TRUE(computeRrStatistics({800, 850, 900}, 1000, st, msg));
  EXPECT_EQ(st.lines[5], "ПСС=— ПСA=—");
  RrSpectrum sp;
  EXPECT_FALSE(computeRrSpectrum(std::vector<int>(40, 800), 1000, defaultEcgBands(), 0, sp, msg));
  EXPECT_EQ(msg, kEcgConstantIntervals);
}

TEST(EcgBatchTable, StabilityLinesAreAppendedInCp1251) {
  RrStatistics st;
  std::string msg;
  ASSERT_TRUE(computeRrStatistics(kSeries, 1000, st, msg));
  EXPECT_EQ(stabilityLine(st), "ПСС=70 ПСA=0");
  test::TempDir dir;
  const std::string path = dir.file(kEcgBatchFile);
  ASSERT_TRUE(appendBatchLine(path, stabilityLine(st), msg)) << msg;
  // a table whose last line has lost its end still gets one line per run
  test::writeBytes(path, test::readBytes(path) + "x");
  ASSERT_TRUE(appendBatchLine(path, stabilityLine(st), msg)) << msg;
  EXPECT_EQ(test::readBytes(path), "\xcf\xd1\xd1=70 \xcf\xd1\x41=0\r\nx\r\n\xcf\xd1\xd1=70 \xcf\xd1\x41=0\r\n");
  // a folder that is not there: the reason, nothing made
  const std::string nowhere = dir.path() + "/no/" + kEcgBatchFile;
  EXPECT_FALSE(appendBatchLine(nowhere, "ПСС=1", msg));
  EXPECT_EQ(msg.rfind(std::string(kEcgBatchFile) + kEcgFileNotWritten, 0), 0u) << msg;
}

TEST(EcgSpectrum, BreathingRhythmLandsInHighBand) {
  // RR oscillating with a period of 4 beats of ~1 s: 0.25 Hz, inside HF 0.15–0.4
  std::vector<int> rr;
  for (int i = 0; i < 300; ++i) rr.push_back(1000 + (i % 4 < 2 ? 50 : -50));
  RrSpectrum sp;
  std::string msg;
  ASSERT_TRUE(computeRrSpectrum(rr, 1000, defaultEcgBands(), 0, sp, msg)) << msg;
  ASSERT_EQ(sp.lines.size(), 7u);
  EXPECT_EQ(sp.lines[0], "Диапазоны   :  1-VLF    2-LF     3-HF");
  // the largest point is near 0.25 Hz
  auto best = std::max_element(sp.points.begin(), sp.points.end(),
                               [](const auto& a, const auto& b) { return a.second < b.second; });
  EXPECT_NEAR(best->first, 0.25, 0.02);
  EXPECT_EQ(sp.lines[6].rfind("LF/(LF+HF)=", 0), 0u);
  const std::size_t at = sp.lines[6].find("HF/(LF+HF)=");
  ASSERT_NE(at, std::string::npos);
  EXPECT_GE(std::stoi(sp.lines[6].substr(at + 11)), 90) << sp.lines[6];
}

TEST(EcgScatter, ConsecutivePairsInSeconds) {
  const PointList p = rrScatterPoints({500, 1000, 750}, 500);
  ASSERT_EQ(p.size(), 2u);
  EXPECT_EQ(p[0], (std::pair<double, double>{1.0, 2.0}));
  EXPECT_EQ(p[1], (std::pair<double, double>{2.0, 1.5}));
}

TEST(EcgIntervals, IntervalFormChannelIsReadAndTheRateKept) {
  StudyState s;
  s.channelCount = 2;
  s.sampleRate = 250;
  s.recordLength = 100;
  s.zeroLevel[0] = 0;
  s.calibUnits[0] = 1;
  s.calibValue[0] = 1;
  std::int16_t* x = s.channel(0);
  x[0] = x[1] = x[2] = 7;
  const int rr[] = {800, 820, 790, 805};
  for (int i = 0; i < 4; ++i) x[3 + i] = static_cast<std::int16_t>(rr[i]);
  for (int i = 7; i < 100; ++i) x[i] = 0;
  ASSERT_TRUE(isIntervalFormChannel(s, 0));
  std::vector<int> got;
  int rate = 0;
  std::string why;
  EXPECT_EQ(collectIntervals(s, 0, {}, got, rate, why), 4);
  EXPECT_EQ(got, (std::vector<int>{800, 820, 790, 805}));
  EXPECT_EQ(rate, 1000);
  EXPECT_EQ(s.sampleRate, 250);  // the record's rate is not changed
  EXPECT_EQ(s.resultStore[4], 4);  // entry N = N
  // equal first samples of an ECG (a baseline run) are not interval form
  x[3] = -300;
  EXPECT_FALSE(isIntervalFormChannel(s, 0));
}

}  // namespace
}  // namespace velor
