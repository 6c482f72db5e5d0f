// WFDB records: the MIT-BIH records of ../shared/data read through the header,
// the format-212 signal file and the MIT annotations; hostile headers and
// annotation bytes refused with a reason.
#include <gtest/gtest.h>

#include "core/record_file.h"
#include "core/record_source.h"
#include "interchange/wfdb.h"
#include "test_support.h"

namespace velor {
namespace {

using test::sharedData;

int beatCount(const std::vector<WfdbAnnotation>& a) {
  int n = 0;
  for (const auto& x : a) n += isWfdbBeatCode(x.code) ? 1 : 0;
  return n;
}

TEST(Wfdb, MitBihRecord100WholeRecord) {
  const std::string hea = sharedData("mitdb/100.hea");
  if (hea.empty()) GTEST_SKIP() << "no shared recordings";
  WfdbRecordData r;
  std::string reason;
  ASSERT_TRUE(readWfdbRecord(hea, r, reason)) << reason;
  // the doctored header: a leading comment, an empty line, CR LF ends
  ASSERT_EQ(r.header.signals.size(), 2u);
  EXPECT_EQ(r.header.signals[0].description, "MLII");
  EXPECT_EQ(r.header.signals[1].description, "V5");
  EXPECT_EQ(r.header.frequency, 360);
  ASSERT_EQ(r.adu[0].size(), 650000u);
  // initial values and checksums of the header hold for the data
  for (std::size_t c = 0; c < 2; ++c) {
    EXPECT_EQ(r.adu[c][0], r.header.signals[c].initialValue);
    int sum = 0;
    for (int v : r.adu[c]) sum += v;
    EXPECT_EQ(static_cast<std::int16_t>(sum), static_cast<std::int16_t>(r.header.signals[c].checksum));
  }
  EXPECT_EQ(r.adu[0][4], 995);
  EXPECT_EQ(r.annotations.size(), 2274u);
  EXPECT_EQ(beatCount(r.annotations), 2273);
  EXPECT_EQ(r.annotations[1].sample, 77);  // the first beat (after the rhythm annotation)
}

TEST(Wfdb, MitBihRecord208Beats) {
  const std::string hea = sharedData("mitdb/208.hea");
  if (hea.empty()) GTEST_SKIP() << "no shared recordings";
  WfdbRecordData r;
  std::string reason;
  ASSERT_TRUE(readWfdbRecord(hea, r, reason)) << reason;
  EXPECT_EQ(beatCount(r.annotations), 2955);
  int v = 0;
  for (const auto& a : r.annotations) v += std::string(wfdbCodeMnemonic(a.code)) == "V" ? 1 : 0;
  EXPECT_EQ(v, 992);
  EXPECT_EQ(r.adu[1][0], 1062);
}

TEST(Wfdb, OpensAsPagedRecordingWithBeatMarks) {
  const std::string hea = sharedData("mitdb/100.hea");
  if (hea.empty()) GTEST_SKIP() << "no shared recordings";
  StudyState s;
  s.programDir = "./";
  ScriptedInteraction ui;
  ASSERT_TRUE(openWfdb(s, hea, ui));
  EXPECT_EQ(s.channelCount, 2);
  EXPECT_EQ(s.sampleRate, 360);
  EXPECT_EQ(s.recordCount, 21);  // 650000 frames in pages of 32000
  EXPECT_EQ(s.recordLength, kWfdbPageSamples);
  EXPECT_EQ(s.channelNames[0], "MLII");
  // −0.145 mV in µV
  EXPECT_NEAR(s.physicalValue(0, 0), -145.0, 1e-9);
  EXPECT_EQ(s.markChannelCount, 1);
  EXPECT_NE(s.markChannel[18], s.markChannel[17]);  // the rhythm annotation "(N"
  EXPECT_NE(s.markChannel[77], s.markChannel[76]);  // the first beat
  EXPECT_EQ(s.markChannel[78], s.markChannel[77]);
  ASSERT_TRUE(gotoRecord(s, 21, ui));
  EXPECT_EQ(s.recordLength, 650000 - 20 * kWfdbPageSamples);
  ASSERT_TRUE(gotoRecord(s, 2, ui));
  EXPECT_EQ(s.currentRecord, 2);
  EXPECT_EQ(openRecordSource(s)->formatName(), "wfdb");
}

TEST(Wfdb, HostileHeadersAreRefusedWithReason) {
  struct Case {
    const char* text;
  } cases[] = {
      {""},
      {"# only a comment\n"},
      {"100\n"},
      {"100 0 360\n"},
      {"100 300 360\n"},
      {"100 2 360 650000\n100.dat 212 200 11 1024 995 0 0 MLII\n"},   // one signal line missing
      {"100 1 -5\n100.dat 212\n"},                                     // rate
      {"100 1 360\n100.dat 80 200\n"},                                 // format
      {"100 1 360\n100.dat 212x4 200\n"},                              // several samples a frame
      {"100 2 360\na.dat 212\na.dat 16\n"},                            // one file, two formats
      {"100/2 1 360\na.dat 212\n"},                                    // segments
      {"100 1 360 abc\na.dat 212\n"},
      {"100 1 360\na.dat 212 2e400\n"},
  };
  for (const Case& c : cases) {
    WfdbHeader h;
    std::string reason;
    EXPECT_FALSE(parseWfdbHeader(c.text, h, reason)) << c.text;
    EXPECT_FALSE(reason.empty()) << c.text;
  }
}

TEST(Wfdb, Format16AndAnnotationsFromMemory) {
  WfdbHeader h;
  std::string reason;
  ASSERT_TRUE(parseWfdbHeader("r 2 500 3\nr.dat 16 100(-5)/uV 16 0 0 0 0 A\nr.dat 16 100/mV 16 0 0 0 0 B\n", h, reason))
      << reason;
  EXPECT_EQ(h.signals[0].baseline, -5);
  EXPECT_EQ(h.signals[0].units, "uV");
  const unsigned char bytes[] = {1, 0, 0xFF, 0xFF, 2, 0, 0xFE, 0xFF, 0x00, 0x80, 3, 0};
  const std::string data(reinterpret_cast<const char*>(bytes), sizeof bytes);
  MemorySource src(data);
  std::vector<std::vector<int>> out;
  ASSERT_TRUE(decodeWfdbFrames(h, {&src}, 0, 10, out, reason));
  EXPECT_EQ(out[0], (std::vector<int>{1, 2, -32768}));
  EXPECT_EQ(out[1], (std::vector<int>{-1, -2, 3}));

  // N at 10, SKIP +100000, V at 100005, AUX "(N", end
  std::string a;
  auto word = [&](int code, int v) {
    const unsigned w = static_cast<unsigned>(code << 10 | v);
    a += static_cast<char>(w & 0xFF);
    a += static_cast<char>(w >> 8);
  };
  word(1, 10);
  word(59, 0);
  a += std::string("\x01\x00\xA0\x86", 4);  // 100000 = 0x000186A0, high word first
  word(5, 5);
  word(63, 2);
  a += "(N";
  word(0, 0);
  std::vector<WfdbAnnotation> an;
  ASSERT_TRUE(decodeWfdbAnnotations(a, an, reason)) << reason;
  ASSERT_EQ(an.size(), 2u);
  EXPECT_EQ(an[0].sample, 10);
  EXPECT_EQ(an[1].sample, 100015);
  EXPECT_EQ(an[1].aux, "(N");
  // cut inside the SKIP interval
  EXPECT_FALSE(decodeWfdbAnnotations(a.substr(0, 4), an, reason));
}

}  // namespace
}  // namespace velor
