// BrainSys, NeuroScan and text records read into the study, the text and
// BrainLoc writers, through the open and save dispatch. BrainSys files are
// built here from their layout; NeuroScan files also come from the shared
// recordings.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <cstring>
#include <memory>

#include "core/binio.h"
#include "core/interaction.h"
#include "core/numtext.h"
#include "core/record_file.h"
#include "core/study_state.h"
#include "core/text.h"
#include "interchange/brainloc.h"
#include "interchange/foreign_formats.h"
#include "interchange/text_record.h"
#include "shell/file_dispatch.h"
#include "test_support.h"
#include "tools/demo_study.h"

namespace velor {
namespace {

using test::readBytes;
using test::TempDir;
using test::writeBytes;

// --- builders ----------------------------------------------------------------------------------

struct BrainSysSpec {
  std::string name = "ABC";  // code page 1251 bytes, NUL-ended when shorter than 40
  char sex = 'M';
  std::string birth = "1970";
  std::string diagnosis = "norm";
  std::vector<std::uint8_t> codes;  // electrode code per channel
  int form = 0;
  int system = 0;
  std::int32_t period = 4000;  // 250 Hz
  int channels = 2;
  std::int32_t samples = 4;
  std::vector<std::int16_t> data;  // interleaved; empty: channels × samples values c*100 + k
};

std::string buildBrainSys(const BrainSysSpec& b) {
  std::string f(268, '\0');
  std::memcpy(f.data(), b.name.data(), std::min<std::size_t>(40, b.name.size()));
  f[40] = b.sex;
  std::memcpy(f.data() + 41, b.birth.data(), std::min<std::size_t>(4, b.birth.size()));
  std::memcpy(f.data() + 45, b.diagnosis.data(), std::min<std::size_t>(40, b.diagnosis.size()));
  for (std::size_t i = 0; i < b.codes.size(); ++i) f[141 + i] = static_cast<char>(b.codes[i]);
  f[256] = static_cast<char>(b.form);
  f[257] = static_cast<char>(b.system);
  auto* p = reinterpret_cast<unsigned char*>(f.data());
  putU32(p + 258, static_cast<std::uint32_t>(b.period));
  putU16(p + 262, static_cast<std::uint16_t>(b.channels));
  putU32(p + 264, static_cast<std::uint32_t>(b.samples));
  ByteWriter w;
  if (b.data.empty()) {
    for (int k = 0; k < b.samples; ++k)
      for (int c = 0; c < b.channels; ++c) w.i16(c * 100 + k);
  } else {
    for (std::int16_t v : b.data) w.i16(v);
  }
  return f + w.data();
}

// "eeg20.ini": entry n is named "N" + two digits + "xy" (cut to "Nnnx"), at
// X = n, Y = 2n, pair (n, n + 1).
std::string leadTable() {
  std::string t = "leads\r\n";
  for (int n = 1; n <= 19; ++n) {
    char name[16];
    std::snprintf(name, sizeof name, "N%02dxy", n);
    t += std::string(name) + "\r\n" + std::to_string(n) + "\r\n" + std::to_string(2 * n) + ".7\r\n" +
         std::to_string(n) + "\r\n" + std::to_string(n + 1) + "\r\n";
  }
  return t;
}

struct NeuroScanSpec {
  std::string name = "Patient";
  std::int16_t age = 42;
  char sex = 'F';
  int channels = 2;
  int rate = 500;
  std::vector<std::string> labels = {"Fp1", "Fp2"};
  std::vector<std::int16_t> data;  // interleaved
  long long eventTable = -1;       // default: right after the samples
  std::uint32_t countField = 0;
  int width = 2;
  std::vector<std::int32_t> wide;  // 4-byte samples when width is 4
  std::string tail;                // bytes after the samples (the event table)
  // per channel electrode record calibration (none: zeros, as old writers leave it)
  std::vector<float> sensitivity, calib;
  std::vector<std::int16_t> baseline;
};

std::string buildNeuroScan(const NeuroScanSpec& n) {
  std::string f(900, '\0');
  std::memcpy(f.data() + 121, n.name.data(), std::min<std::size_t>(20, n.name.size()));
  auto* p = reinterpret_cast<unsigned char*>(f.data());
  putU16(p + 141, static_cast<std::uint16_t>(n.age));
  f[143] = n.sex;
  putU16(p + 370, static_cast<std::uint16_t>(n.channels));
  putU16(p + 376, static_cast<std::uint16_t>(n.rate));
  putU32(p + 864, n.countField);
  for (int c = 0; c < std::max(0, n.channels); ++c) {
    std::string e(75, '\0');
    if (static_cast<std::size_t>(c) < n.labels.size())
      std::memcpy(e.data(), n.labels[c].data(), std::min<std::size_t>(10, n.labels[c].size()));
    const auto uc = static_cast<std::size_t>(c);
    if (uc < n.baseline.size()) putU16(reinterpret_cast<unsigned char*>(e.data()) + 47, static_cast<std::uint16_t>(n.baseline[uc]));
    if (uc < n.sensitivity.size()) std::memcpy(e.data() + 59, &n.sensitivity[uc], 4);
    if (uc < n.calib.size()) std::memcpy(e.data() + 71, &n.calib[uc], 4);
    f += e;
  }
  ByteWriter w;
  if (n.width == 4) {
    for (std::int32_t v : n.wide) w.i32(v);
  } else {
    for (std::int16_t v : n.data) w.i16(v);
  }
  const long long event = n.eventTable >= 0 ? n.eventTable : static_cast<long long>(f.size() + w.size());
  putU32(reinterpret_cast<unsigned char*>(f.data()) + 886, static_cast<std::uint32_t>(event));
  return f + w.data() + n.tail;
}

struct ForeignFormats : ::testing::Test {
  TempDir dir;
  std::unique_ptr<StudyState> s = std::make_unique<StudyState>();
  ScriptedInteraction ui;
  ForeignFormats() {
    s->programDir = dir.path() + "/";
    s->dataDir = dir.path() + "/";
  }
  std::string put(const std::string& name, const std::string& bytes) {
    const std::string p = dir.file(name);
    writeBytes(p, bytes);
    return p;
  }
  bool open(const std::string& path) { return openFile(*s, FileKind::Records, path, ui); }
  std::vector<int> codes(int c) const {
    return std::vector<int>(s->channelData[c], s->channelData[c] + s->recordLength);
  }
};

// What a refused file must leave as it was.
using Snapshot = test::StudySnapshot;

// --- BrainSys ------------------------------------------------------------------------------------

TEST_F(ForeignFormats, BrainSysLeadSystemsNameChannelsFromTheLeadTable) {
  put("eeg20.ini", leadTable());
  BrainSysSpec b;
  b.channels = 4;
  b.codes = {1, 9, 17, 40};  // entries 16, 1, 19 and none
  b.system = 1;
  const std::string bytes = buildBrainSys(b);

  // ".ee": lead system 0 whatever byte 257 says
  ASSERT_TRUE(open(put("a.ee", bytes)));
  EXPECT_EQ(s->channelNames[0], "N16x");
  EXPECT_EQ(s->channelNames[1], "N01x");
  EXPECT_EQ(s->channelNames[2], "N19x");
  EXPECT_EQ(s->channelNames[3], "4");  // no electrode for code 40
  EXPECT_EQ(s->channelPosX[0], 16);
  EXPECT_EQ(s->channelPosY[0], 32);  // 32.7 truncated
  EXPECT_EQ(s->leadPairs[0][0], 16);
  EXPECT_EQ(s->leadPairs[0][1], 17);
  EXPECT_EQ(s->channelPosX[3], kKindEcg);
  ASSERT_EQ(ui.messages.size(), 1u);  // the unnamed channel is said

  // ".eeg" with byte 257 = 1: by channel index
  ui.messages.clear();
  ASSERT_TRUE(open(put("a.eeg", bytes)));
  const char* expected[] = {"N03x", "N04x", "N05x", "N06x"};
  for (int i = 0; i < 4; ++i) EXPECT_EQ(s->channelNames[i], expected[i]) << i;
  EXPECT_TRUE(ui.messages.empty());
  EXPECT_EQ(s->recordFileName, "a.eeg");
  EXPECT_EQ(s->recordCount, 1);
  EXPECT_EQ(s->currentRecord, 1);
  EXPECT_EQ(s->recordFileHandle, -1);
}

TEST_F(ForeignFormats, BrainSysOtherLeadSystemKeepsNamesAndReadsSamples) {
  BrainSysSpec b;
  b.system = 5;
  s->channelNames[0] = "Old";
  ASSERT_TRUE(open(put("a.eeg", buildBrainSys(b))));
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0], "Система отведений = 5не поддерживается");
  EXPECT_EQ(s->channelNames[0], "Old");
  EXPECT_EQ(s->recordLength, 4);
  EXPECT_EQ(s->calibValue[0], 103);  // the peak of the file
}

TEST_F(ForeignFormats, BrainSysScalesByThePeakAndComposesTheHeader) {
  BrainSysSpec b;
  b.name = std::string("ABC") + '\0' + "junk";
  b.diagnosis = std::string(35, 'D');  // no NUL in the first 29: the first 30 characters
  b.channels = 2;
  b.samples = 3;
  b.data = {-1000, 0, 1000, 500, 0, -500};
  s->epochLength = 256;
  ASSERT_TRUE(open(put("p.ee", buildBrainSys(b))));
  EXPECT_EQ(s->sampleRate, 250);
  EXPECT_EQ(codes(0), (std::vector<int>{1, 4095, 2048}));
  EXPECT_EQ(codes(1), (std::vector<int>{2048, 3071, 1024}));
  for (int c = 0; c < 2; ++c) {
    EXPECT_EQ(s->calibValue[c], 1000);
    EXPECT_EQ(s->calibUnits[c], 2047);
    EXPECT_EQ(s->zeroLevel[c], 2048);
  }
  EXPECT_NEAR(s->physicalValue(2, 1), -500, 1000.0 / 2047);
  const std::string expected = std::string(60, ' ') + "ABC" + std::string(27, ' ') + std::string(8, ' ') + "1970" +
                               std::string(6, ' ') + "M" + std::string(30, 'D');
  EXPECT_EQ(s->examHeader, utf8Fit(expected, kHeaderChars));
  // epoch: min(256, 3) = 3
  EXPECT_EQ(s->epochLength, 3);
  EXPECT_EQ(s->epochStep, 3);
  EXPECT_EQ(s->epochCount, 1);
  EXPECT_EQ(s->markChannelCount, 0);
}

// Hostile headers: refused ones leave the state alone, others read what is sound.
TEST_F(ForeignFormats, BrainSysHostileHeaders) {
  struct Case {
    const char* what;
    std::function<std::string()> bytes;
    bool opens;
    int length;
    int channels;
  };
  const auto with = [](auto change) {
    return [change] {
      BrainSysSpec b;
      change(b);
      return buildBrainSys(b);
    };
  };
  const Case cases[] = {
      {"truncated header", [] { return buildBrainSys({}).substr(0, 200); }, false, 0, 0},
      {"empty file", [] { return std::string(); }, false, 0, 0},
      {"channel count 0", with([](BrainSysSpec& b) { b.channels = 0; }), false, 0, 0},
      {"channel count negative", with([](BrainSysSpec& b) { b.channels = -3; b.data = {1}; }), false, 0, 0},
      {"period 0", with([](BrainSysSpec& b) { b.period = 0; }), false, 0, 0},
      {"period below 1 Hz", with([](BrainSysSpec& b) { b.period = 3000000; }), false, 0, 0},
      {"period of 10 us: above 65535 Hz", with([](BrainSysSpec& b) { b.period = 10; }), false, 0, 0},
      {"no samples", with([](BrainSysSpec& b) { b.samples = 0; }), false, 0, 0},
      {"samples past the end", [] {
         BrainSysSpec b;
         b.samples = 4;
         std::string f = buildBrainSys(b);
         putU32(reinterpret_cast<unsigned char*>(f.data()) + 264, 100000000);
         return f;
       }, true, 4, 2},
      {"huge channel count without data", with([](BrainSysSpec& b) { b.channels = 30000; b.samples = 1; b.data = {1, 2}; }),
       false, 0, 0},
      {"100 channels: the first 64", with([](BrainSysSpec& b) { b.channels = 100; b.samples = 3; }), true, 3, 64},
      {"length beyond 32767 clamped", with([](BrainSysSpec& b) { b.channels = 1; b.samples = 40000; }), true, 32767, 1},
      {"sample form 1 read as plain", with([](BrainSysSpec& b) { b.form = 1; }), true, 4, 2},
      {"all samples 0", with([](BrainSysSpec& b) { b.samples = 2; b.data = {0, 0, 0, 0}; }), true, 2, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ui.messages.clear();
    const Snapshot before(*s);
    const bool ok = open(put("h.ee", c.bytes()));
    EXPECT_EQ(ok, c.opens);
    if (!ok) {
      EXPECT_TRUE(Snapshot(*s) == before);
      ASSERT_EQ(ui.messages.size(), 1u);
      EXPECT_NE(ui.messages[0].find("не прочитан"), std::string::npos) << ui.messages[0];
    } else {
      EXPECT_EQ(s->recordLength, c.length);
      EXPECT_EQ(s->channelCount, c.channels);
      for (int ch = 0; ch < s->channelCount; ++ch)
        for (int k = 0; k < s->recordLength; ++k) ASSERT_TRUE(s->channelData[ch][k] >= 1 && s->channelData[ch][k] <= 4095);
      EXPECT_GE(s->calibValue[0], 1);
    }
  }
}

// --- NeuroScan -----------------------------------------------------------------------------------

TEST_F(ForeignFormats, NeuroScanCountsSamplesFromTheEventTable) {
  NeuroScanSpec n;
  n.labels = {"Fp1", std::string("ABCDEFGHIJ")};  // no NUL: first 3 characters
  for (int k = 0; k < 1000; ++k) {
    n.data.push_back(static_cast<std::int16_t>(k == 0 ? 5 : k == 7 ? 2048 : k));
    n.data.push_back(static_cast<std::int16_t>(-k));
  }
  n.eventTable = 900 + 150 + 4000;
  n.tail = std::string(20, 'e');
  s->epochLength = 100;
  ASSERT_TRUE(open(put("r.cnt", buildNeuroScan(n))));
  EXPECT_TRUE(ui.messages.empty()) << ui.messages[0];
  EXPECT_EQ(s->recordLength, 1000);
  EXPECT_EQ(s->channelCount, 2);
  EXPECT_EQ(s->sampleRate, 500);
  EXPECT_EQ(s->channelData[0][0], 2053);
  EXPECT_EQ(s->channelData[1][999], 2048 - 999);
  // the value 2048 would be the code of a user's mark: it reads one code above
  EXPECT_EQ(s->channelData[0][7], kMarkCode + 1);
  EXPECT_EQ(s->channelNames[0], "Fp1");
  EXPECT_EQ(s->channelNames[1], "ABC");
  EXPECT_EQ(s->calibValue[0], 1000);
  EXPECT_EQ(s->calibUnits[0], 2047);
  EXPECT_EQ(s->epochLength, 512);
  EXPECT_EQ(s->epochStep, 512);
  EXPECT_EQ(s->epochCount, 1);
  EXPECT_EQ(s->examHeader,
            utf8Fit(std::string(60, ' ') + utf8Fit("Patient", 30) + std::string(8, ' ') + utf8Fit("42", 10) + "F",
                    kHeaderChars));
}

TEST_F(ForeignFormats, NeuroScanHostileHeaders) {
  struct Case {
    const char* what;
    std::function<void(NeuroScanSpec&)> change;
    bool opens;
    int length;
    int messages;  // after a successful read
  };
  const auto samples = [](NeuroScanSpec& n, int count) {
    n.data.assign(static_cast<std::size_t>(2 * count), 7);
  };
  const Case cases[] = {
      {"channel count 0", [](NeuroScanSpec& n) { n.channels = 0; }, false, 0, 0},
      {"rate 0", [&](NeuroScanSpec& n) { n.rate = 0; samples(n, 4); }, false, 0, 0},
      {"event table before the samples", [&](NeuroScanSpec& n) { samples(n, 4); n.eventTable = 100; }, false, 0, 0},
      {"event table far past the end", [&](NeuroScanSpec& n) { samples(n, 4); n.eventTable = 2000000000; }, true, 4, 1},
      {"huge channel count without samples", [](NeuroScanSpec& n) { n.channels = 30000; }, false, 0, 0},
      {"an odd byte before the event table", [&](NeuroScanSpec& n) { samples(n, 4); n.eventTable = 900 + 150 + 17; },
       true, 4, 0},
      {"length beyond 32767 clamped", [&](NeuroScanSpec& n) { samples(n, 40000); }, true, 32767, 1},
      {"values beyond the code range clipped", [&](NeuroScanSpec& n) {
         samples(n, 2);
         n.data[0] = 32000;
       }, true, 2, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    NeuroScanSpec n;
    c.change(n);
    ui.messages.clear();
    const Snapshot before(*s);
    const bool ok = open(put("h.cnt", buildNeuroScan(n)));
    EXPECT_EQ(ok, c.opens);
    if (!ok) {
      EXPECT_TRUE(Snapshot(*s) == before);
      EXPECT_EQ(ui.messages.size(), 1u);
    } else {
      EXPECT_EQ(s->recordLength, c.length);
      EXPECT_EQ(static_cast<int>(ui.messages.size()), c.messages);
    }
  }
  // a truncated header
  ui.messages.clear();
  const Snapshot before(*s);
  EXPECT_FALSE(open(put("t.cnt", buildNeuroScan({}).substr(0, 500))));
  EXPECT_TRUE(Snapshot(*s) == before);
  // an electrode table cut short
  NeuroScanSpec four;
  four.channels = 4;
  four.data.assign(16, 1);
  EXPECT_FALSE(open(put("e.cnt", buildNeuroScan(four).substr(0, 1000))));
  EXPECT_TRUE(Snapshot(*s) == before);
  // clipped values keep their sign
  NeuroScanSpec n;
  n.data = {32000, -32000, 1, 2};
  ASSERT_TRUE(open(put("c.cnt", buildNeuroScan(n))));
  EXPECT_EQ(s->channelData[0][0], 32767);
  EXPECT_EQ(s->channelData[1][0], -32000 + 2048);
}

TEST_F(ForeignFormats, NeuroScanFourByteSamplesKeepTheirUnits) {
  NeuroScanSpec n;
  n.width = 4;
  n.countField = 3;
  n.wide = {1000000, -7, 0, 8, -1000000, 9};
  n.eventTable = 900 + 150 + 24 + 5;  // not whole 2-byte rows: the clipped tail of a wide file
  n.tail = std::string(5, 'x');
  ASSERT_TRUE(open(put("w.cnt", buildNeuroScan(n))));
  EXPECT_EQ(s->recordLength, 3);
  for (int k = 0; k < 3; ++k) {
    const double raw = n.wide[static_cast<std::size_t>(2 * k)];
    // one code is 2^shift raw units of 1000/2047 each
    EXPECT_NEAR(s->physicalValue(k, 0), raw * 1000.0 / 2047.0, 64 * 1000.0 / 2047.0 * 1.01) << k;
  }
  ASSERT_EQ(ui.messages.size(), 1u);
}

// Each channel's electrode record calibrates it: (v − baseline) × sensitivity
// × calibration / 204.8 microvolts, for 2- and 4-byte samples; a record
// without a usable calibration keeps 1000 µV per 2047 units.
TEST_F(ForeignFormats, NeuroScanChannelsTakeTheirCalibration) {
  struct Case {
    const char* what;
    float sensitivity, calib;
    std::int16_t baseline;
    double perUnit;  // expected µV per stored unit of channel 0
  } cases[] = {
      {"binary fraction", 17.1875f, 1.0f, 0, 17.1875 / 204.8},
      {"with a baseline", 0.0303657f, 1.0f, -12, static_cast<double>(0.0303657f) / 204.8},
      {"not a power of two", 10.0f, 0.98f, 7, static_cast<double>(10.0f) * static_cast<double>(0.98f) / 204.8},
      {"zero sensitivity", 0.0f, 1.0f, 0, 1000.0 / 2047.0},
      {"negative", -5.0f, 1.0f, 0, 1000.0 / 2047.0},
      {"not a number", std::numeric_limits<float>::quiet_NaN(), 1.0f, 0, 1000.0 / 2047.0},
      {"beyond 16-bit terms", 3e9f, 1.0f, 0, 1000.0 / 2047.0},
  };
  for (const Case& c : cases) {
    for (int width : {2, 4}) {
      NeuroScanSpec n;
      n.sensitivity = {c.sensitivity};
      n.calib = {c.calib};
      n.baseline = {c.baseline};
      const std::int32_t values[] = {5, -300, 1200, 0};
      if (width == 4) {
        n.width = 4;
        n.countField = 4;
        for (std::int32_t v : values) n.wide.insert(n.wide.end(), {v * 1000, 1});
      } else {
        for (std::int32_t v : values) n.data.insert(n.data.end(), {static_cast<std::int16_t>(v), 1});
      }
      ASSERT_TRUE(open(put("k.cnt", buildNeuroScan(n)))) << c.what;
      const bool calibrated = c.perUnit != 1000.0 / 2047.0;
      const double shiftStep = width == 4 ? std::ldexp(1.0, 6) : 1.0;  // 1 200 000 needs a shift of 6
      for (int k = 0; k < 4; ++k) {
        const double v = values[k] * (width == 4 ? 1000.0 : 1.0);
        const double want = calibrated ? (v - c.baseline) * c.perUnit : v * c.perUnit;
        // half a unit; with shifted samples one code of ours and the rounded baseline
        EXPECT_NEAR(s->physicalValue(k, 0), want, (width == 4 ? 2 * shiftStep : 0.5) * c.perUnit)
            << c.what << " width " << width << " sample " << k;
      }
      // the second channel (value 1) has no calibration: the fixed one
      if (width == 2) {
        EXPECT_NEAR(s->physicalValue(0, 1), 1000.0 / 2047.0, 1e-9) << c.what;
      }
    }
  }
}

// The shared recordings: channel names, rate, sample count and first values
// as published for them.
TEST_F(ForeignFormats, NeuroScanSharedRecordings) {
  const std::string scan = test::sharedData("mne-testing-data/scan41_short.cnt");
  if (scan.empty()) GTEST_SKIP() << "shared data not present";
  ASSERT_TRUE(open(scan));
  EXPECT_EQ(s->sampleRate, 400);
  EXPECT_EQ(s->recordLength, 3070);
  EXPECT_EQ(s->channelCount, 64);  // of 128
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_NE(ui.messages[0].find("128"), std::string::npos);
  EXPECT_EQ(s->channelNames[0], "1");
  EXPECT_EQ(s->channelNames[27], "28");
  EXPECT_EQ(s->channelNames[28], "LEFT");  // "LEFT_EAR" cut to 4
  EXPECT_EQ(s->channelNames[29], "VEOG");
  EXPECT_EQ(s->channelNames[60], "HEOG");
  EXPECT_EQ(s->channelNames[61], "NA1");
  const int first5[] = {884, 893, 914, 930, 887};
  for (int k = 0; k < 5; ++k) {
    EXPECT_EQ(s->channelData[0][k], first5[k] + 2048) << k;
    // sensitivity 17.1875, calibration 1: 1375/16384 µV per unit, exactly
    EXPECT_DOUBLE_EQ(s->physicalValue(k, 0), first5[k] * 1375.0 / 16384.0) << k;
  }
  EXPECT_EQ(trimSpaces(utf8Substr(s->examHeader, 60, 30)), "Unspecified");
  EXPECT_EQ(utf8Substr(s->examHeader, 108, 1), "U");

  const std::string clipped = test::sharedData("mne-testing-data/test_CNT_events_mne_JWoess_clipped.cnt");
  ui.messages.clear();
  ASSERT_TRUE(open(clipped));
  EXPECT_EQ(s->channelCount, 2);
  EXPECT_EQ(s->sampleRate, 1000);
  EXPECT_EQ(s->channelNames[0], "F8");
  EXPECT_EQ(s->channelNames[1], "FCz");
  EXPECT_EQ(s->recordLength, 32767);  // 90 000 by the count field, limited
  // the first frames as 4-byte values (channel 1: -9276 -17575 -25114;
  // channel 2: 26341 16298 2225), sensitivity 0.0303657 µV, calibration 1
  const double ch1[] = {-9276, -17575, -25114}, ch2[] = {26341, 16298, 2225};
  const double perUnit = static_cast<double>(0.030365750193595886f) / 204.8;
  const double step = std::ldexp(1.0, 6) * perUnit;
  for (int k = 0; k < 3; ++k) {
    EXPECT_NEAR(s->physicalValue(k, 0), ch1[k] * perUnit, step * 1.01) << k;
    EXPECT_NEAR(s->physicalValue(k, 1), ch2[k] * perUnit, step * 1.01) << k;
  }
  EXPECT_EQ(ui.messages.size(), 2u);  // the length limit and the scaling
}

// --- text records ---------------------------------------------------------------------------------

struct ForeignText : ForeignFormats {
  // Three channels, zero 2048, 2047 units = 1000 µV, a mark at sample 5.
  void makeRecord(int length) {
    s->channelCount = 3;
    s->recordLength = length;
    s->sampleRate = 250;
    s->viewMode = ViewMode::Signals;
    s->selectionAnchor = -1;
    const char* names[] = {"Fp1", "O2", "ЭКГ"};
    for (int c = 0; c < 3; ++c) {
      s->channelNames[c] = names[c];
      s->zeroLevel[c] = 2048;
      s->calibUnits[c] = 2047;
      s->calibValue[c] = 1000;
      for (int k = 0; k < length; ++k) s->channelData[c][k] = static_cast<std::int16_t>(2048 + (k * 37 + c * 500) % 3000 - 1500);
    }
    s->markChannelCount = 1;
    std::fill(s->markChannel, s->markChannel + length, std::int16_t{0});
    if (length > 5) s->markChannel[5] = 0x0102;
  }
};

TEST_F(ForeignText, SignalsWriteAndReadBack) {
  makeRecord(300);
  const std::string path = dir.file("rec.txt");
  ASSERT_TRUE(saveFile(*s, FileKind::Records, path, ui));
  const std::string bytes = readBytes(path);
  const std::vector<std::string_view> lines = splitTextLines(bytes);
  ASSERT_EQ(lines.size(), 302u);
  EXPECT_EQ(cp1251ToUtf8(lines[0]), "    T[sec] Fp1 O2 ЭКГ In-Out");
  EXPECT_EQ(lines[1], "1.2 1000 1000 1000");  // 300 / 250 s; full scale 2048 / 2047 × 1000
  EXPECT_EQ(bytes.substr(bytes.size() - 2), "\r\n");
  EXPECT_NE(lines[7].find(" 02-01"), std::string_view::npos);  // sample 5
  EXPECT_NE(lines[2].find(" 00-00"), std::string_view::npos);

  // read back: the time ramp first, then the channels
  std::vector<std::vector<double>> before(3);
  for (int c = 0; c < 3; ++c)
    for (int k = 0; k < 300; ++k) before[c].push_back(s->physicalValue(k, c));
  s->epochLength = 256;
  ASSERT_TRUE(openFile(*s, FileKind::Records, path, ui));
  EXPECT_EQ(s->channelCount, 4);
  EXPECT_EQ(s->channelNames[0], "T[se");
  EXPECT_EQ(s->channelNames[1], "Fp1");
  EXPECT_EQ(s->channelNames[3], "ЭКГ");
  EXPECT_EQ(s->recordLength, 300);
  EXPECT_EQ(s->storedLength, 300);
  EXPECT_EQ(s->sampleRate, 250);  // kept
  EXPECT_EQ(s->recordFileVersion, 3);
  EXPECT_EQ(s->currentRecord, 0);
  EXPECT_EQ(s->markChannelCount, 1);
  EXPECT_EQ(s->calibValue[1], 1000);
  EXPECT_EQ(s->calibValue[0], 2);  // trunc(1.2 + 0.99)
  EXPECT_EQ(trimSpaces(s->examHeader), "T[sec]");
  for (int c = 0; c < 3; ++c)
    for (int k = 0; k < 300; ++k)
      ASSERT_NEAR(s->physicalValue(k, c + 1), before[c][k], 1000.0 / 2047 + std::fabs(before[c][k]) * 5e-4) << c << " " << k;
  EXPECT_EQ(s->markChannel[5], 0x0102);
  EXPECT_EQ(s->markChannel[6], 0);
  EXPECT_EQ(s->epochLength, 256);
  EXPECT_EQ(s->epochCount, 1);
}

TEST_F(ForeignText, OverwriteQuestionAndSelection) {
  makeRecord(50);
  const std::string path = dir.file("t.txt");
  ASSERT_TRUE(saveFile(*s, FileKind::Records, path, ui));
  const std::string first = readBytes(path);
  EXPECT_TRUE(ui.questions.empty());

  ui.choiceScript = {2};  // No: append a whole second table
  ASSERT_TRUE(saveFile(*s, FileKind::Records, path, ui));
  EXPECT_EQ(readBytes(path), first + first);

  ui.choiceScript = {0};  // Cancel: untouched
  EXPECT_FALSE(saveFile(*s, FileKind::Records, path, ui));
  EXPECT_EQ(readBytes(path), first + first);

  // Yes: replaced; with a selection only its samples
  s->cursorPos = 30;
  s->selectionAnchor = 20;
  ui.choiceScript = {1};
  ASSERT_TRUE(saveFile(*s, FileKind::Records, path, ui));
  const std::string sel = readBytes(path);
  const auto lines = splitTextLines(sel);
  ASSERT_EQ(lines.size(), 2u + 11u);
  EXPECT_EQ(splitTextTokens(lines[2])[0], "0.08");  // sample 20 at 250 Hz
}

TEST_F(ForeignText, TablesOfTheOtherViews) {
  makeRecord(64);
  s->markChannelCount = 0;
  s->bandCount = 2;
  s->bandTable[0] = {"delta", "0.5", "4"};
  s->bandTable[1] = {"alpha", "8", "13"};
  s->epochCount = 3;
  s->epochStep = 20;
  s->currentBand = 1;
  for (int b = 0; b < 2; ++b)
    for (int c = 0; c < 3; ++c)
      for (int e = 0; e < 3; ++e) s->resultPut(b, c, e, 10 * b + c + 100 * e);
  s->viewMode = ViewMode::BandDiagrams;
  s->currentEpoch = 1;
  auto lines = [](const std::string& body) {
    std::vector<std::string> out;
    for (auto l : splitTextLines(body)) out.emplace_back(cp1251ToUtf8(l));
    return out;
  };
  auto t2 = lines(textRecordBody(*s));
  ASSERT_EQ(t2.size(), 3u);
  EXPECT_EQ(t2[0], "Fq-area Fp1 O2 ЭКГ");
  EXPECT_EQ(splitTextTokens(t2[1])[0], "delta");
  EXPECT_EQ(t2[1], "delta " + formatNumber(s->resultValue(0, 0, 1)) + " " + formatNumber(s->resultValue(0, 1, 1)) + " " +
                       formatNumber(s->resultValue(0, 2, 1)));

  s->viewMode = ViewMode::EpochMaps;
  TextTableExtras extras;
  extras.measureText = "Мощность";
  auto t3 = lines(textRecordBody(*s, extras));
  ASSERT_EQ(t3.size(), 5u);
  EXPECT_EQ(t3[0], "alpha-Мощность");
  EXPECT_EQ(t3[1], "T[sec] Fp1 O2 ЭКГ");
  EXPECT_EQ(splitTextTokens(t3[3])[0], "0.08");  // epoch 1 × 20 / 250
  extras.asymmetry = true;
  extras.asymmetryStep = [](std::vector<int>& codes) {
    for (int& c : codes) c = 255;
  };
  t3 = lines(textRecordBody(*s, extras));
  EXPECT_EQ(t3[0], "alpha-Мощность-Asym");
  EXPECT_EQ(splitTextTokens(t3[2])[1], "100.3");  // trunc(128 / 255 × 2000) / 10

  // transform view of lead pairs: rows named by their channels
  s->viewMode = ViewMode::Transform;
  s->transformKind = TransformKind::CrossSpectrum;
  s->leadPairCount = 2;
  s->leadPairs[0] = {1, 2};
  s->leadPairs[1] = {2, 3};
  s->epochLength = 64;
  auto t1 = lines(textRecordBody(*s));
  EXPECT_EQ(t1[0], "Fq[Hz] Fp1-O2 O2-ЭКГ");
  EXPECT_EQ(splitTextTokens(t1[1])[0], "125");
  EXPECT_EQ(t1.size(), 2u + 64u);
  s->viewMode = ViewMode::ExamDisplay;
  EXPECT_EQ(textRecordBody(*s), "");
  EXPECT_FALSE(writeTextRecord(*s, dir.file("none.txt"), ui));
  EXPECT_FALSE(fileExists(dir.file("none.txt")));
}

TEST(TextTokens, SeparatorsAndEmptyTokens) {
  struct Case {
    const char* line;
    std::vector<std::string> tokens;
  };
  const Case cases[] = {
      {"1 2 3", {"1", "2", "3"}},      {"  1   2", {"1", "2"}},    {"1,2,,3", {"1", "2", "", "3"}},
      {"1\t\t2", {"1", "", "2"}},      {"1, 2 ,3", {"1", "2", "", "3"}}, {"1 2 ", {"1", "2"}},
      {"", {}},                         {"a,", {"a"}},
  };
  for (const Case& c : cases) EXPECT_EQ(splitTextTokens(c.line), c.tokens) << c.line;
  EXPECT_EQ(splitTextLines("a\r\nb\rc\nd").size(), 4u);
  EXPECT_EQ(parseMarkToken("02-01"), 0x0102);
  EXPECT_EQ(parseMarkToken("ab-CD"), static_cast<std::int16_t>(0xCDAB));
  EXPECT_EQ(parseMarkToken("7f"), 0x7F);
  EXPECT_EQ(parseMarkToken("zz-1"), 0x100);
}

TEST_F(ForeignFormats, TextReaderTakesForeignTablesAndRefusesEmptyOnes) {
  struct Case {
    const char* what;
    std::string text;
    bool opens;
    int channels;
    int length;
    int notices;
  };
  std::string wide = "h";
  for (int j = 1; j < 70; ++j) wide += " c" + std::to_string(j);
  wide += "\r\n1\r\n";
  for (int j = 0; j < 70; ++j) wide += "1 ";
  wide += "\r\n";
  const Case cases[] = {
      {"commas, LF line ends, a comment", "; made elsewhere\nA,B\n10,10\n1,2\n3,4\n", true, 2, 2, 0},
      {"a line that is not numbers is left out, with a notice", "A B\r\n10 10\r\n1 2\r\nx 4\r\n5 6\r\n", true, 2, 2, 1},
      {"a short line is left out, with a notice", "A B\r\n10 10\r\n1\r\n5 6\r\n", true, 2, 1, 1},
      {"nan, inf and 1e999 rows are left out, with one notice",
       "A B\r\n10 10\r\n1 2\r\nnan 4\r\n5 inf\r\n1e999 1\r\n\r\n7 8\r\n", true, 2, 2, 1},
      {"no data lines", "A B\r\n10 10\r\n", false, 0, 0, 0},
      {"no columns", "\r\n\r\n", false, 0, 0, 0},
      {"empty file", "", false, 0, 0, 0},
      {"binary junk", std::string("\x01\x02\xff\r\n\x00\x00", 7), false, 0, 0, 0},
      {"70 columns: the first 64", wide, true, 64, 1, 0},
      {"scale not a number: the peak", "A\r\nx\r\n-300\r\n20\r\n", true, 1, 2, 0},
      {"huge and tiny values are limited", "A\r\n0\r\n1e300\r\n-1e300\r\n", true, 1, 2, 0},
  };

  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ui.messages.clear();
    const Snapshot before(*s);
    const bool ok = open(put("x.dat", c.text));
    EXPECT_EQ(ok, c.opens);
    if (!ok) {
      EXPECT_TRUE(Snapshot(*s) == before);
      EXPECT_EQ(ui.messages.size(), 1u);
      continue;
    }
    EXPECT_EQ(s->channelCount, c.channels);
    EXPECT_EQ(s->recordLength, c.length);
    EXPECT_EQ(static_cast<int>(ui.messages.size()), c.notices);
  }
  ui.messages.clear();
  ASSERT_TRUE(open(put("n.txt", "A B\r\n10 10\r\n1 2\r\nnan 4\r\n5 inf\r\n1e999 1\r\n7 8\r\n")));
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_NE(ui.messages[0].find(": 3 (первая - строка 4)"), std::string::npos) << ui.messages[0];
  ASSERT_TRUE(open(put("p.txt", "A\r\nx\r\n-300\r\n20\r\n")));
  EXPECT_EQ(s->calibValue[0], 300);
  EXPECT_EQ(s->channelData[0][0], 1);
  ASSERT_TRUE(open(put("q.txt", "A\r\n0\r\n1e300\r\n-1e300\r\n")));
  EXPECT_EQ(s->calibValue[0], 1);
  EXPECT_EQ(s->channelData[0][0], 32767);
  EXPECT_EQ(s->channelData[0][1], -32768);
  // a value past the stated full scale that would give the mark code reads one code above
  ASSERT_TRUE(open(put("m.txt", "A\r\n2047\r\n2048\r\n0\r\n")));
  EXPECT_EQ(s->channelData[0][0], kMarkCode + 1);
  EXPECT_EQ(s->channelData[0][1], 2048);
}

TEST_F(ForeignFormats, AllRecordsFromTheCurrentOneAsText) {
  DemoStudyOptions o;
  o.records = 3;
  o.seconds = 2;
  const std::string cad = dir.file("demo.cad");
  NoProgress progress;
  std::string reason;
  {
    StudyState t;
    ASSERT_TRUE(writeDemoStudy(t, cad, o, progress, reason)) << reason;
  }
  ASSERT_TRUE(openFile(*s, FileKind::Records, cad, ui));
  ASSERT_TRUE(gotoRecord(*s, 2, ui));
  const std::string out = dir.file("all.txt");
  ui.yesNoScript = {true};
  ASSERT_TRUE(saveFile(*s, FileKind::Records, out, ui));
  ASSERT_EQ(ui.questions.size(), 1u);
  EXPECT_EQ(ui.questions[0], "Сохранить все записи, начиная с текущей");
  const std::string text = cp1251ToUtf8(readBytes(out));
  EXPECT_EQ(text.find("Запись №1"), std::string::npos);
  const auto at2 = text.find("Запись №2\r\n    T[sec]");
  const auto at3 = text.find("Запись №3\r\n    T[sec]");
  EXPECT_EQ(at2, 0u);
  EXPECT_NE(at3, std::string::npos);
  EXPECT_EQ(s->currentRecord, 2);
  closeRecordFile(*s);
}

TEST_F(ForeignFormats, SpectralParametersAndNumberLists) {
  s->channelCount = 2;
  s->bandMode = 1;
  for (int c = 0; c < 2; ++c) {
    s->calibUnits[c] = 2047;
    s->calibValue[c] = 100;
  }
  std::fill(s->resultStore, s->resultStore + 64, std::int16_t{0});
  const std::string path = put("sp.txt", "names A B\r\nrow1 50 -100 7 8\r\nrow2 x 1e9\r\n");
  ASSERT_TRUE(openFile(*s, FileKind::SpectralParameters, path, ui));
  EXPECT_EQ(s->resultStore[4 * 0 + 1], 1024);   // trunc(50 / 100 × 2047 + 0.5)
  EXPECT_EQ(s->resultStore[4 * 1 + 1], -2046);  // trunc(-2047 + 0.5)
  EXPECT_EQ(s->resultStore[4 * (1 * 2 + 1) + 1], 32767);  // line 2, column 1: limited
  EXPECT_FALSE(readSpectralParameters(*s, dir.file("missing.txt")));

  std::size_t pos = 0;
  const std::string list = "1 2.5,3\r\nx 4\r\n";
  EXPECT_EQ(readNumberList(*s, list, pos), 5);
  EXPECT_FLOAT_EQ(s->floatStore[1], 2.5f);
  EXPECT_FLOAT_EQ(s->floatStore[3], 0.0f);
  EXPECT_FLOAT_EQ(s->floatStore[4], 4.0f);
  std::string many;
  for (int i = 0; i < 250; ++i) many += std::to_string(i) + " ";
  pos = 0;
  EXPECT_EQ(readNumberList(*s, many, pos), 200);
  EXPECT_FLOAT_EQ(s->floatStore[199], 199.0f);
  EXPECT_EQ(many.substr(pos, 4), "200 ");
}

// --- BrainLoc --------------------------------------------------------------------------------------

// The layout written out field by field, independently of the writer.
std::string expectedBrainLoc(const StudyState& s, const std::vector<int>& eeg,
                             const std::vector<std::array<int, 3>>& xyz, int first, int count) {
  const int e = static_cast<int>(eeg.size());
  ByteWriter w;
  w.u8(15);
  w.bytes("BL");
  w.u8(4);
  w.i16(2);
  w.i16(162 + 16 * e + 30);
  w.i16(e);
  w.i16(e + 3);
  w.i32(count);
  w.i32(1000000 / s.sampleRate);
  w.u8(0);
  w.text(utf8ToCp1251(utf8Substr(s.examHeader, 60, 30)), 40);
  w.text(utf8ToCp1251(utf8Substr(s.examHeader, 108, 1)), 1);
  w.text(utf8ToCp1251(utf8Substr(s.examHeader, 98, 4)), 4);
  w.text(utf8ToCp1251(utf8Substr(s.examHeader, 109, 30)), 40);
  w.text(formatNumber(s.recordDate), 8);
  w.text(formatNumber(s.recordTime), 8);
  w.text("10-20", 40);
  for (int k = 0; k < e; ++k) {
    w.u8(0);
    w.text(utf8ToCp1251(s.channelNames[eeg[k]]), 3);
    for (int v : xyz[k]) w.i16(v);
  }
  w.u8(0), w.bytes("A1 "), w.i16(0), w.i16(70), w.i16(-15);
  w.u8(0), w.bytes("A2 "), w.i16(0), w.i16(-70), w.i16(-15);
  w.u8(2), w.bytes("AA "), w.i16(e), w.i16(e + 1), w.i16(e + 1);
  for (int k = 0; k < e; ++k) {
    w.i16(static_cast<int>(std::trunc(static_cast<double>(s.calibUnits[eeg[k]]) / s.calibValue[eeg[k]] * 100)));
    w.i16(0);
    w.u8(k);
    w.u8(e + 2);
  }
  for (int i = first; i < first + count; ++i)
    for (int c : eeg) w.i16(s.channelData[c][i] - s.zeroLevel[c]);
  return w.data();
}

TEST_F(ForeignFormats, BrainLocLayoutByteByByte) {
  s->channelCount = 3;
  s->recordLength = 400;
  s->sampleRate = 250;
  s->viewMode = ViewMode::Signals;
  s->selectionAnchor = -1;
  s->examHeader = foreignExamHeader("Петров П.П.", "1961", "М", "здоров");
  s->recordDate = 45000;
  s->recordTime = 0.5;
  const char* names[] = {"Fp1", "ЭКГ", "Cz"};
  const int posX[] = {20, 255, 31}, posY[] = {8, 0, 31};
  for (int c = 0; c < 3; ++c) {
    s->channelNames[c] = names[c];
    s->channelPosX[c] = static_cast<std::uint8_t>(posX[c]);
    s->channelPosY[c] = static_cast<std::uint8_t>(posY[c]);
    s->zeroLevel[c] = static_cast<std::uint16_t>(2000 + c);
    s->calibUnits[c] = 2047;
    s->calibValue[c] = static_cast<std::uint16_t>(100 * (c + 1));
    for (int k = 0; k < 400; ++k) s->channelData[c][k] = static_cast<std::int16_t>(k * 7 + c);
  }
  // Fp1 from "BL.ini"; Cz is not listed there and comes from its scheme place
  std::string bl = "Fp1  -21    71    -3\r\n";
  for (int i = 1; i < 60; ++i) bl += "Xx     1     2     3\r\n";
  put("BL.ini", bl);
  const std::string path = dir.file("loc.eeg");
  ASSERT_TRUE(saveFile(*s, FileKind::Records, path, ui));
  const auto cz = brainLocSchemeCoordinates(31, 31);
  EXPECT_EQ(cz, (std::array<int, 3>{0, 0, 120}));  // the vertex: 86 above the centre plus 34
  const std::vector<std::array<int, 3>> xyz = {{-21, 71, -3}, cz};
  EXPECT_EQ(readBytes(path), expectedBrainLoc(*s, {0, 2}, xyz, 0, 399));
  EXPECT_EQ(readBytes(path).size(), 162u + 16 * 2 + 30 + 2 * 2 * 399);

  // with the cursor at 100 and the anchor at 300: samples 100..299
  s->cursorPos = 100;
  s->selectionAnchor = 300;
  ASSERT_TRUE(saveFile(*s, FileKind::Records, path, ui));
  EXPECT_EQ(readBytes(path), expectedBrainLoc(*s, {0, 2}, xyz, 100, 200));

  // no EEG channel: the three reference sites and nothing else
  for (int c = 0; c < 3; ++c) s->channelPosX[c] = kKindEcg;
  s->selectionAnchor = -1;
  ASSERT_TRUE(saveFile(*s, FileKind::Records, path, ui));
  EXPECT_EQ(readBytes(path), expectedBrainLoc(*s, {}, {}, 0, 399));
  EXPECT_EQ(readBytes(path).size(), 192u);

  // nothing in the transform view
  s->viewMode = ViewMode::Transform;
  EXPECT_EQ(brainLocBytes(*s, {}), "");
}

TEST(BrainLoc, SchemeCoordinatesAreFiniteEverywhere) {
  for (int x = 0; x < 128; x += 3)
    for (int y = 0; y < 256; y += 5) {
      const auto v = brainLocSchemeCoordinates(x, y);
      for (int c : v) ASSERT_LT(std::abs(c), 1000) << x << " " << y;
    }
}

}  // namespace
}  // namespace velor
