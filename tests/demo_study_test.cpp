// The demonstration study generator: its options, its channel table, the
// range and reproducibility of what it synthesises, and the file it writes.
#include "tools/demo_study.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <limits>
#include <map>
#include <memory>
#include <vector>

#include "core/record_file.h"
#include "core/text.h"
#include "test_support.h"

namespace {

using velor::DemoStudyOptions;
using velor::StudyState;

std::vector<std::vector<std::int16_t>> snapshot(const StudyState& s) {
  std::vector<std::vector<std::int16_t>> v;
  for (int c = 0; c < s.channelCount; ++c) v.emplace_back(s.channelData[c], s.channelData[c] + s.recordLength);
  v.emplace_back(s.markChannel, s.markChannel + s.recordLength);
  return v;
}

std::vector<std::vector<std::int16_t>> synthesize(const DemoStudyOptions& o, int index) {
  auto s = std::make_unique<StudyState>();
  velor::setupDemoStudy(*s, o);
  velor::synthesizeDemoRecord(*s, o, index);
  return snapshot(*s);
}

TEST(DemoStudy, OptionsThatCannotGiveASoundFileAreRefused) {
  const double nan = std::numeric_limits<double>::quiet_NaN(), inf = std::numeric_limits<double>::infinity();
  struct Case {
    const char* what;
    void (*change)(DemoStudyOptions&, double, double);
  };
  const Case bad[] = {
      {"no records", [](DemoStudyOptions& o, double, double) { o.records = 0; }},
      {"too many records", [](DemoStudyOptions& o, double, double) { o.records = 1001; }},
      {"zero seconds", [](DemoStudyOptions& o, double, double) { o.seconds = 0; }},
      {"negative seconds", [](DemoStudyOptions& o, double, double) { o.seconds = -3; }},
      {"NaN seconds", [](DemoStudyOptions& o, double n, double) { o.seconds = n; }},
      {"infinite seconds", [](DemoStudyOptions& o, double, double i) { o.seconds = i; }},
      {"longer than a record holds", [](DemoStudyOptions& o, double, double) { o.seconds = 131.1; }},
      {"rate too low", [](DemoStudyOptions& o, double, double) { o.sampleRate = 10; }},
      {"no date", [](DemoStudyOptions& o, double, double) { o.fileDate = 0; }},
      {"time past midnight", [](DemoStudyOptions& o, double, double) { o.firstRecordTime = 1.0; }},
      {"NaN pause", [](DemoStudyOptions& o, double n, double) { o.pauseSeconds = n; }},
  };
  velor::test::TempDir dir;
  for (const Case& c : bad) {
    SCOPED_TRACE(c.what);
    DemoStudyOptions o;
    c.change(o, nan, inf);
    std::string reason;
    EXPECT_FALSE(velor::checkDemoOptions(o, reason));
    EXPECT_FALSE(reason.empty());
    // Refused before anything is touched.
    auto s = std::make_unique<StudyState>();
    velor::NoProgress p;
    EXPECT_FALSE(velor::writeDemoStudy(*s, dir.file("x.cad"), o, p, reason));
    EXPECT_EQ(s->channelCount, 4);
    EXPECT_FALSE(std::filesystem::exists(dir.file("x.cad")));
  }
  for (double seconds : {131.0, 1.0, 0.004}) {
    DemoStudyOptions o;
    o.seconds = seconds;
    o.records = 1000;
    std::string reason;
    EXPECT_TRUE(velor::checkDemoOptions(o, reason)) << seconds << ": " << reason;
  }
}

TEST(DemoStudy, LeadsSitOnTheHeadSchemeAsDocumented) {
  auto s = std::make_unique<StudyState>();
  velor::setupDemoStudy(*s, DemoStudyOptions{});
  ASSERT_EQ(s->channelCount, 20);
  std::map<std::string, int> at;
  for (int c = 0; c < 20; ++c) at[s->channelNames[c]] = c;
  ASSERT_EQ(at.size(), 20u);
  const auto x = [&](const char* n) { return int{s->channelPosX[at.at(n)]}; };
  const auto y = [&](const char* n) { return int{s->channelPosY[at.at(n)]}; };
  // Left and right leads mirror each other; midline leads sit on x = 31.
  const std::pair<const char*, const char*> pairs[] = {{"Fp1", "Fp2"}, {"F7", "F8"}, {"F3", "F4"}, {"T3", "T4"},
                                                       {"C3", "C4"},   {"T5", "T6"}, {"P3", "P4"}, {"O1", "O2"}};
  for (const auto& [l, r] : pairs) {
    EXPECT_LT(x(l), 31) << l;
    EXPECT_EQ(x(l) + x(r), 62) << l;
    EXPECT_EQ(y(l), y(r)) << l;
  }
  for (const char* m : {"Fz", "Cz", "Pz"}) EXPECT_EQ(x(m), 31) << m;
  EXPECT_EQ(y("Cz"), 31);
  // Front to back: poles, frontal, central, parietal, occipital.
  EXPECT_LT(y("Fp1"), y("F3"));
  EXPECT_LT(y("F3"), y("C3"));
  EXPECT_LT(y("C3"), y("P3"));
  EXPECT_LT(y("P3"), y("O1"));
  EXPECT_LT(x("T3"), x("C3"));
  for (int c = 0; c < 19; ++c) {
    EXPECT_LE(s->channelPosX[c], 62);
    EXPECT_LE(s->channelPosY[c], 62);
    EXPECT_EQ(s->calibValue[c], velor::kDemoEegCalibValue);
  }
  EXPECT_EQ(s->channelNames[19], "ЭКГ");
  EXPECT_EQ(s->channelPosX[19], velor::kKindEcg);
  EXPECT_EQ(s->calibValue[19], velor::kDemoEcgCalibValue);
  EXPECT_EQ(velor::utf8Length(s->examHeader), static_cast<std::size_t>(velor::kHeaderChars));
}

TEST(DemoStudy, SeedAndRecordNumberDecideTheSamples) {
  DemoStudyOptions o;
  o.seconds = 4;
  const auto a = synthesize(o, 0);
  EXPECT_EQ(a, synthesize(o, 0));
  EXPECT_NE(a, synthesize(o, 1));
  DemoStudyOptions other = o;
  other.seed = o.seed + 1;
  EXPECT_NE(a, synthesize(other, 0));
}

TEST(DemoStudy, SignalsStayInsideTheCodeRangeWithoutClipping) {
  for (std::uint64_t seed : {1ull, 2ull, 3ull, 1020ull}) {
    DemoStudyOptions o;
    o.seed = seed;
    for (int k = 0; k < 3; ++k) {
      const auto rec = synthesize(o, k);
      ASSERT_EQ(rec.size(), 21u);
      for (int c = 0; c < 20; ++c) {
        ASSERT_EQ(rec[c].size(), 5000u);
        for (std::int16_t v : rec[c]) {
          // 0 and 4095 would mean the signal was cut; 4096 would read as a mark.
          ASSERT_GT(v, 0) << "seed " << seed << " channel " << c;
          ASSERT_LT(v, 4095) << "seed " << seed << " channel " << c;
        }
      }
      for (std::int16_t v : rec[20]) {
        ASSERT_EQ(v % 256, 0);
        ASSERT_GE(v, 0);
        ASSERT_LE(v, 3 * 256);
      }
    }
  }
}

TEST(DemoStudy, ShortRecordsAreStillSound) {
  for (double seconds : {0.004, 0.5, 1.9}) {
    DemoStudyOptions o;
    o.seconds = seconds;
    const auto rec = synthesize(o, 0);
    for (const auto& c : rec) EXPECT_EQ(c.size(), static_cast<std::size_t>(velor::demoSamplesPerRecord(o)));
  }
}

TEST(DemoStudy, FileCarriesTheRecordsWithTheirDateAndTimes) {
  velor::test::TempDir dir;
  DemoStudyOptions o;
  o.records = 3;
  o.seconds = 2;
  auto s = std::make_unique<StudyState>();
  velor::NoProgress p;
  std::string reason;
  ASSERT_TRUE(velor::writeDemoStudy(*s, dir.file("d.cad"), o, p, reason)) << reason;

  velor::RecordFileHeader h;
  ASSERT_TRUE(velor::readRecordFileHeader(dir.file("d.cad"), h, reason)) << reason;
  EXPECT_EQ(h.signature, "CA40");
  EXPECT_EQ(h.fileDate, o.fileDate);
  EXPECT_EQ(h.recordCount, 3);
  std::vector<velor::RecordInfo> recs;
  ASSERT_TRUE(velor::scanRecords(dir.file("d.cad"), h, recs, reason)) << reason;
  ASSERT_EQ(recs.size(), 3u);
  for (int k = 0; k < 3; ++k) {
    const double seconds = 10 * 3600 + 15 * 60 + k * 17;  // 2 s records, 15 s apart
    EXPECT_NEAR(recs[k].timeField / 1e7 * 86400, seconds, 0.01) << k;
    std::vector<std::vector<std::int16_t>> samples;
    ASSERT_TRUE(velor::readRecordSamples(dir.file("d.cad"), h, recs[k], samples, reason));
    EXPECT_EQ(samples, synthesize(o, k)) << k;
  }

  // A place that cannot be written leaves nothing and says why.
  EXPECT_FALSE(velor::writeDemoStudy(*s, dir.file("none/d.cad"), o, p, reason));
  EXPECT_FALSE(reason.empty());
  EXPECT_FALSE(std::filesystem::exists(dir.file("none")));
}

}  // namespace
