// The R-wave detector on the MIT-BIH records against their reference beats,
// on constructed signals, and its refusals.
#include <gtest/gtest.h>

#include <cmath>
#include <thread>

#include "interchange/wfdb.h"
#include "physio/ecg_beats.h"
#include "physio/ecg_texts.h"
#include "test_support.h"

namespace velor {
namespace {

struct Scored {
  BeatScore mended, asWritten;
};

Scored scoreRecord(const std::string& name, const std::string& folder = "mitdb") {
  Scored out;
  WfdbRecordData r;
  std::string reason;
  if (!readWfdbRecord(test::sharedData(folder + "/" + name + ".hea"), r, reason)) {
    ADD_FAILURE() << reason;
    return out;
  }
  const WfdbCodeScale sc = wfdbCodeScale(r.header.signals[0]);
  std::vector<std::int16_t> codes;
  for (int v : r.adu[0]) codes.push_back(static_cast<std::int16_t>(v + sc.codeOffset));
  std::vector<long long> ref;
  for (const auto& a : r.annotations)
    if (isWfdbBeatCode(a.code)) ref.push_back(a.sample);
  const int fs = static_cast<int>(r.header.frequency);
  const long long window = std::llround(0.150 * fs);  // 150 ms: 54 samples at 360 Hz
  out.mended = scoreBeats(ref, detectBeatsInRecording(codes, sc.zeroLevel, fs, {}), window);
  BeatDetectorOptions plain;
  plain.mended = false;
  out.asWritten = scoreBeats(ref, detectBeatsInRecording(codes, sc.zeroLevel, fs, {}, plain), window);
  return out;
}

TEST(EcgBeats, MitBih100) {
  if (test::sharedData("mitdb/100.hea").empty()) GTEST_SKIP() << "no shared recordings";
  const Scored s = scoreRecord("100");
  EXPECT_GE(s.mended.sensitivity(), 99.5);
  EXPECT_GE(s.mended.positivePredictivity(), 99.5);
  EXPECT_GE(s.asWritten.sensitivity(), 99.5);
}

TEST(EcgBeats, MitBih208) {
  if (test::sharedData("mitdb/208.hea").empty()) GTEST_SKIP() << "no shared recordings";
  const Scored s = scoreRecord("208");
  EXPECT_GE(s.mended.sensitivity(), 97.0);
  EXPECT_GE(s.mended.positivePredictivity(), 97.0);
  // as written the broad ventricular beats fall under the thresholds
  EXPECT_LT(s.asWritten.sensitivity(), 70.0);
}

// Narrow triangular R waves every `rr` samples on a flat line.
std::vector<std::int16_t> pulses(int length, int first, int rr, int height, int zero = 2048) {
  std::vector<std::int16_t> x(static_cast<std::size_t>(length), static_cast<std::int16_t>(zero));
  for (int c = first; c < length - 10; c += rr)
    for (int k = -4; k <= 4; ++k) x[static_cast<std::size_t>(c + k)] = static_cast<std::int16_t>(zero + height * (5 - std::abs(k)) / 5);
  return x;
}

// The detections themselves, beat for beat as counted: a faster detector
// must find exactly these.
TEST(EcgBeats, AnnotatedRecordsGiveTheseCounts) {
  struct Case {
    const char *folder, *name;
    long long detected, truePositives, detectedAsWritten, truePositivesAsWritten;
  } const cases[] = {
      {"mitdb", "100", 2273, 2273, 2272, 2272},
      {"mitdb", "208", 2893, 2876, 1744, 1742},
      {"svdb", "800", 1912, 1883, 1883, 1883},
  };
  for (const Case& c : cases) {
    if (test::sharedData(std::string(c.folder) + "/" + c.name + ".hea").empty()) GTEST_SKIP() << "no shared recordings";
    SCOPED_TRACE(c.name);
    const Scored s = scoreRecord(c.name, c.folder);
    EXPECT_EQ(s.mended.detected, c.detected);
    EXPECT_EQ(s.mended.truePositives, c.truePositives);
    EXPECT_EQ(s.asWritten.detected, c.detectedAsWritten);
    EXPECT_EQ(s.asWritten.truePositives, c.truePositivesAsWritten);
  }
}

TEST(EcgBeats, RegularPulsesGiveTheirIntervals) {
  const auto x = pulses(5000, 100, 300, 800);
  std::vector<std::int16_t> trace(x.size()), table(kBeatTableSize);
  const int n = detectBeats({x.data(), 5000, 2048, 500}, {}, trace.data(), table.data());
  ASSERT_EQ(n, 16);  // 17 R waves at 100, 400, ..., 4900
  for (int i = 0; i < n; ++i) EXPECT_EQ(table[static_cast<std::size_t>(i)], 300) << i;
  EXPECT_EQ(table[static_cast<std::size_t>(n)], 100);  // the first R position
  EXPECT_EQ(table[static_cast<std::size_t>(n + 1)], 0);
  EXPECT_EQ(table[static_cast<std::size_t>(int(BeatBlock::RAmplitude) * kBeatBlock)], 2048 + 800);
}

TEST(EcgBeats, FilterFollowsItsDefinition) {
  // F[i + h + trunc(h/2)] = trunc(S / h) + Z, S = Σ x[i+h+j] − trunc((x[i+j] + x[i+2h+j]) / 2);
  // the first and last 2h + 1 samples copied
  std::vector<std::int16_t> x(200);
  for (int i = 0; i < 200; ++i) x[static_cast<std::size_t>(i)] = static_cast<std::int16_t>((i * 37) % 101 - 50 + (i % 7 == 0 ? 300 : 0));
  for (int h : {1, 4, 7}) {
    std::vector<std::int16_t> F(200);
    beatDetectionFilter({x.data(), 200, 2048, 360}, h, F.data());
    std::vector<int> want(x.begin(), x.end());
    for (int i = 0; i <= 200 - 3 * h; ++i) {
      int S = 0;
      for (int j = 0; j < h; ++j) S += x[i + h + j] - (x[i + j] + x[i + 2 * h + j]) / 2;
      want[static_cast<std::size_t>(i + h + h / 2)] = S / h + 2048;
    }
    for (int i = 0; i < 2 * h + 1; ++i) {
      want[static_cast<std::size_t>(i)] = x[static_cast<std::size_t>(i)];
      want[static_cast<std::size_t>(199 - i)] = x[static_cast<std::size_t>(199 - i)];
    }
    for (int i = 0; i < 200; ++i) EXPECT_EQ(F[static_cast<std::size_t>(i)], want[static_cast<std::size_t>(i)]) << h << " " << i;
  }
}

// Two threads detecting at once (as the acquisition thread and the window
// may) get what each gets alone: records of two lengths and rhythms, so the
// per-thread working lists differ in size.
TEST(EcgBeats, DetectionsOnTwoThreadsDoNotMeet) {
  const auto slower = pulses(30000, 100, 300, 800);
  const auto faster = pulses(12001, 57, 230, 900);
  struct Run {
    const std::vector<std::int16_t>* x;
    std::vector<std::int16_t> trace, table;
    int n = 0;
    bool same = true;  // every repeat gave the first table
    void once() {
      trace.assign(x->size(), 0);
      table.assign(kBeatTableSize, 0);
      n = detectBeats({x->data(), static_cast<int>(x->size()), 2048, 500}, {}, trace.data(), table.data());
    }
  };
  Run a{&slower, {}, {}}, b{&faster, {}, {}};
  a.once();
  b.once();
  ASSERT_EQ(a.n, 99);
  ASSERT_EQ(b.n, 51);
  auto repeat = [](Run* r) {
    const auto table = r->table;
    for (int k = 0; k < 50; ++k) {
      r->once();
      r->same = r->same && r->table == table;
    }
  };
  std::thread ta(repeat, &a), tb(repeat, &b);
  ta.join();
  tb.join();
  EXPECT_TRUE(a.same);
  EXPECT_TRUE(b.same);
}

TEST(EcgBeats, FlatChannelGivesNoBeats) {
  std::vector<std::int16_t> x(4000, 4095), trace(4000), table(kBeatTableSize);
  EXPECT_EQ(detectBeats({x.data(), 4000, 2048, 250}, {}, trace.data(), table.data()), 0);
}

TEST(EcgBeats, SettingsThatMakeAZeroStepAreRefused) {
  std::vector<std::int16_t> x(4000, 2048), trace(4000), table(kBeatTableSize, 7);
  struct Case {
    BeatDetectorSettings s;
    int rate;
    const char* message;
  } cases[] = {
      {{0.5, 200, 2, 2}, 360, kEcgHalfWidthZero},   // 0.18 samples
      {{20, 1e9, 2, 2}, 360, kEcgRefractoryZero},  // the step after an R wave
      {{20, 200, 2, 2}, 0, kEcgNoSampleRate},
  };
  for (const Case& c : cases) {
    std::string why;
    EXPECT_EQ(detectBeats({x.data(), 4000, 2048, c.rate}, c.s, trace.data(), table.data(), &why), -1);
    EXPECT_EQ(why, c.message);
    EXPECT_EQ(table[0], 7);  // nothing written
  }
  // out-of-range values take their replacements
  const BeatDetectorSettings r = sanitizeBeatSettings({-1, 5, 1, 0}, 500);
  EXPECT_DOUBLE_EQ(r.halfWidthMs, 2);
  EXPECT_DOUBLE_EQ(r.maxHeartRate, 200);
  EXPECT_DOUBLE_EQ(r.rVariability, 1.5);
  EXPECT_DOUBLE_EQ(r.rsVariability, 1.5);
}

TEST(EcgBeats, TableStopsAtItsCapacity) {
  // 3000 beats in one record: the interval list ends inside block 0
  const auto x = pulses(32767, 20, 14, 800);
  std::vector<std::int16_t> trace(x.size()), table(kBeatTableSize);
  BeatDetectorSettings s;
  s.halfWidthMs = 2;
  s.maxHeartRate = 6000;  // a step of 6 samples
  const int n = detectBeats({x.data(), 32767, 2048, 1000}, s, trace.data(), table.data());
  EXPECT_EQ(n, kMaxBeatIntervals);
  EXPECT_EQ(table[kBeatBlock - 1], 0);  // the two zeros after the first R position
  EXPECT_EQ(table[kBeatBlock - 3], 20);
}

TEST(EcgBeats, ScoreCountsEachMatchOnce) {
  const BeatScore s = scoreBeats({100, 200, 300, 400}, {98, 101, 305, 500}, 10);
  EXPECT_EQ(s.truePositives, 2);
  EXPECT_EQ(s.falseNegatives, 2);
  EXPECT_EQ(s.falsePositives, 2);
  EXPECT_DOUBLE_EQ(s.sensitivity(), 50);
}

}  // namespace
}  // namespace velor
