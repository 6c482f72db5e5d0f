// EDF, EDF32, UDF and BDF files: the files are built here byte by byte from
// the published layout, real recordings of other systems are read and
// compared with the published linear mapping applied to their raw bytes and
// with the values other readers report for them (shared/data/facts.json),
// pages are walked and written back, and exported files are read again.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <nlohmann/json.hpp>
#include <numeric>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "core/interaction.h"
#include "core/numtext.h"
#include "core/record_file.h"
#include "core/study_state.h"
#include "core/text.h"
#include "interchange/edf.h"
#include "shell/file_dispatch.h"
#include "test_support.h"
#include "viewer/record_edit.h"

namespace velor {
namespace {

using test::readBytes;
using test::TempDir;
using test::writeBytes;
using namespace std::string_literals;

// --- an EDF file from its layout ----------------------------------------------------------

std::string fit(const std::string& t, std::size_t w) {
  std::string x = t.substr(0, w);
  x.resize(w, ' ');
  return x;
}

struct Sig {
  std::string label = "EEG Fp1";
  std::string dim = "uV";
  std::string pmin = "-3276.8", pmax = "3276.7", dmin = "-32768", dmax = "32767";
  long long n = 10;                // samples per record
  std::string spr;                 // the field as written; "" → n
  std::vector<long long> v;        // all records, one after another (a data signal)
  std::vector<std::string> text;   // an annotation signal: the bytes of each record
};

struct Spec {
  int w = 2;
  std::string version = "0", patient = "X X X X", recording = "Startdate X X X X";
  std::string date = "01.02.03", time = "04.05.06", reserved;
  std::string headerBytes, records, duration = "1", ns;  // "" → what the file holds
  int recordCount = 1;
  std::vector<Sig> sigs;
  std::string extra;  // bytes between the signal fields and the data (a UDF block)
};

std::string build(const Spec& e) {
  const std::size_t ns = e.sigs.size();
  std::string h = fit(e.version, 8) + fit(e.patient, 80) + fit(e.recording, 80) + fit(e.date, 8) + fit(e.time, 8);
  h += fit(e.headerBytes.empty() ? std::to_string(256 * (ns + 1) + e.extra.size()) : e.headerBytes, 8);
  h += fit(e.reserved, 44) + fit(e.records.empty() ? std::to_string(e.recordCount) : e.records, 8);
  h += fit(e.duration, 8) + fit(e.ns.empty() ? std::to_string(ns) : e.ns, 4);
  for (const Sig& s : e.sigs) h += fit(s.label, 16);
  for (std::size_t i = 0; i < ns; ++i) h += fit("AgAgCl", 80);
  for (const Sig& s : e.sigs) h += fit(s.dim, 8);
  for (const Sig& s : e.sigs) h += fit(s.pmin, 8);
  for (const Sig& s : e.sigs) h += fit(s.pmax, 8);
  for (const Sig& s : e.sigs) h += fit(s.dmin, 8);
  for (const Sig& s : e.sigs) h += fit(s.dmax, 8);
  for (std::size_t i = 0; i < ns; ++i) h += fit("HP:0.1Hz", 80);
  for (const Sig& s : e.sigs) h += fit(s.spr.empty() ? std::to_string(s.n) : s.spr, 8);
  for (std::size_t i = 0; i < ns; ++i) h += fit("", 32);
  h += e.extra;
  for (int r = 0; r < e.recordCount; ++r) {
    for (const Sig& s : e.sigs) {
      if (!s.text.empty()) {
        std::string t = s.text[static_cast<std::size_t>(r)];
        t.resize(static_cast<std::size_t>(s.n * e.w), '\0');
        h += t;
        continue;
      }
      for (long long i = 0; i < s.n; ++i) {
        const long long v = s.v[static_cast<std::size_t>(r * s.n + i)];
        for (int b = 0; b < e.w; ++b) h += static_cast<char>((static_cast<unsigned long long>(v) >> (8 * b)) & 0xFF);
      }
    }
  }
  return h;
}

// A data signal of `records` records with v(k) as its k-th sample.
template <typename F>
Sig ramp(std::string label, long long n, int records, F f) {
  Sig s;
  s.label = std::move(label);
  s.n = n;
  for (long long k = 0; k < n * records; ++k) s.v.push_back(f(k));
  return s;
}

// The value the published mapping gives a digital value (in the header's unit).
double published(const Sig& s, long long d) {
  const double pmin = std::stod(s.pmin), pmax = std::stod(s.pmax);
  const double dmin = std::stod(s.dmin), dmax = std::stod(s.dmax);
  return pmin + (static_cast<double>(d) - dmin) * (pmax - pmin) / (dmax - dmin);
}

// Physical value as the workstation shows it, with the constant part the codes do not hold.
double shown(const StudyState& s, int c, int i) {
  const EdfChannelMapping* m = edfChannelMapping(s, c);
  return s.physicalValue(i, c) + (m ? m->physicalOffset : 0.0);
}

double codeStep(const StudyState& s, int c) { return static_cast<double>(s.calibValue[c]) / std::max<int>(1, s.calibUnits[c]); }

struct Fixture : ::testing::Test {
  TempDir dir;
  std::unique_ptr<StudyState> s = std::make_unique<StudyState>();
  ScriptedInteraction ui;
  Fixture() { s->programDir = dir.path() + "/"; }
  ~Fixture() override { closeRecordFile(*s); }
  std::string put(const std::string& name, const std::string& bytes) {
    const std::string p = dir.file(name);
    writeBytes(p, bytes);
    return p;
  }
  bool open(const std::string& path) { return openFile(*s, FileKind::Records, path, ui); }
};

// What opening must not change when it refuses a file.
using Snapshot = test::StudySnapshot;

// --- labels and units ----------------------------------------------------------------------

TEST(EdfLabels, ChannelNamesFollowTheLabelRule) {
  const std::pair<std::string, std::string> cases[] = {
      {"EEG Fp1-A1", "Fp1"}, {"Fp1", "Fp1"},       {"  C3  ", "C3"},           {"Temp body", "body"},
      {"ABCDEFGH", "ABCDE"}, {"EEG A2-A1", "A2"},  {std::string("O2\0xx", 5), "O2"}, {"Fc5.", "Fc5."},
      {"-", ""},             {"ECG ECG1", "ECG1"}, {"REF_EEG REF_EEG", "REF_E"}};
  for (const auto& [label, name] : cases) EXPECT_EQ(edfChannelName(label), name) << label;
}

TEST(EdfLabels, VoltageDimensions) {
  const std::pair<const char*, double> cases[] = {{"uV", 1},   {"UV", 1},  {"\xC2\xB5V", 1}, {"mV", 1e3},
                                                  {"MV", 1e3}, {"V", 1e6}, {"nV", 1e-3},     {"мкВ", 1},
                                                  {"%", 0},    {"", 0},    {"degC", 0},      {"Ohm", 0}};
  for (const auto& [dim, f] : cases) EXPECT_EQ(edfVoltageFactor(dim), f) << dim;
}

// --- calibration --------------------------------------------------------------------------

// Every sample of a one-record file shows the published physical value in
// microvolts (or the signal's own unit), within half a code of its channel,
// and no code falls on the mark code.
struct CalibCase {
  const char* name;
  const char* dim;
  const char* pmin;
  const char* pmax;
  const char* dmin;
  const char* dmax;
  double toMicro;
  double stepsPerCode;  // digital steps one code may span
  std::vector<long long> values;
};

class EdfCalibration : public Fixture, public ::testing::WithParamInterface<CalibCase> {};

TEST_P(EdfCalibration, PhysicalValuesFollowThePublishedMapping) {
  const CalibCase& c = GetParam();
  Sig sg;
  sg.dim = c.dim, sg.pmin = c.pmin, sg.pmax = c.pmax, sg.dmin = c.dmin, sg.dmax = c.dmax;
  sg.n = static_cast<long long>(c.values.size());
  sg.v = c.values;
  Spec e;
  e.sigs = {sg};
  ASSERT_TRUE(open(put("a.edf", build(e)))) << (ui.messages.empty() ? "" : ui.messages[0]);
  // within one digital step: a code is at most two steps wide (all-positive
  // or all-negative ranges need that room beside a zero level of 0..65535)
  const double digitalStep = std::fabs(published(sg, 1) - published(sg, 0)) * c.toMicro;
  EXPECT_LE(codeStep(*s, 0), c.stepsPerCode * digitalStep) << "resolution kept";
  for (std::size_t i = 0; i < c.values.size(); ++i) {
    const double want = published(sg, c.values[i]) * c.toMicro;
    const std::int16_t code = s->channelData[0][i];
    EXPECT_NE(code, kMarkCode);
    // a value on the mark code is moved to the code beside it
    const double codes = code == kMarkCode - 1 || code == kMarkCode + 1 ? 1.0 : 0.5;
    EXPECT_NEAR(shown(*s, 0, static_cast<int>(i)), want, codeStep(*s, 0) * codes + 1e-9 * std::fabs(want))
        << "sample " << i << " = " << c.values[i];
  }
}

const std::vector<long long> kFullRange = {-32768, -32767, -1, 0, 1, 2047, 2048, 4096, 30000, 32766, 32767};

INSTANTIATE_TEST_SUITE_P(
    Ranges, EdfCalibration,
    ::testing::Values(
        CalibCase{"symmetric", "uV", "-3276.8", "3276.7", "-32768", "32767", 1, 1.01, kFullRange},
        CalibCase{"asymmetric", "uV", "-45.1698", "59.35658", "-32768", "32767", 1, 1.2, kFullRange},
        CalibCase{"all_positive", "uV", "10", "500", "-32768", "32767", 1, 2.05, kFullRange},
        CalibCase{"dc_beyond_codes", "uV", "78552", "132607", "-32768", "32767", 1, 1.01, kFullRange},
        CalibCase{"millivolts", "mV", "-0.20503", "0.654943", "-32768", "32767", 1000, 1.55, kFullRange},
        CalibCase{"volts", "V", "-0.01", "0.01", "-32768", "32767", 1e6, 1.01, kFullRange},
        CalibCase{"inverted", "uV", "500", "-500", "-2048", "2047", 1, 1.01, {-2048, -1000, 0, 5, 2047}},
        CalibCase{"twelve_bit_mV", "mV", "-0.2", "0.2", "-2047", "2047", 1000, 1.01, {-2047, -100, 0, 1, 100, 2047}},
        CalibCase{"own_unit", "%", "0", "100", "0", "1000", 1, 1.01, {0, 1, 500, 999, 1000}},
        CalibCase{"offset_digital", "uV", "-100", "100", "0", "4095", 1, 1.01, {0, 1, 2047, 2048, 4095}},
        CalibCase{"tiny_range", "uV", "-1", "1", "-32768", "32767", 1, 1.01, kFullRange}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Fixture, ConstantPartBeyondSixteenBitsIsTakenOffAndTold) {
  Sig sg;
  sg.pmin = "175921", sg.pmax = "175946";
  sg.n = 6;
  sg.v = {-32768, -100, 0, 18759, 29737, 32767};
  Spec e;
  e.sigs = {sg};
  ASSERT_TRUE(open(put("dc.edf", build(e))));
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_NE(ui.messages[0].find("постоянная составляющая"), std::string::npos) << ui.messages[0];
  const double offset = edfChannelMapping(*s, 0)->physicalOffset;
  EXPECT_NEAR(offset, 175933.5, 0.51);
  const double step = 25.0 / 65535;
  EXPECT_LE(codeStep(*s, 0), 1.2 * step);
  for (int i = 0; i < 6; ++i) EXPECT_NEAR(shown(*s, 0, i), published(sg, sg.v[i]), step);
}

// Four 2-byte signals at `rates` over `records` records, with random digital
// and physical ranges (inverted now and then) and values mostly inside the
// digital range, now and then anywhere in 16 bits.
Spec randomRanges(std::mt19937& rng, int records, const long long (&rates)[4]) {
  std::uniform_int_distribution<long long> any(-32768, 32767);
  const long long dlo = any(rng) / 2 - 16384, dhi = dlo + 1 + std::uniform_int_distribution<long long>(0, 40000)(rng);
  Spec e;
  e.recordCount = records;
  for (int c = 0; c < 4; ++c) {
    Sig sg = ramp("EEG S" + std::to_string(c), rates[c], records, [&](long long) {
      if (rng() % 8 == 0) return any(rng);
      return std::uniform_int_distribution<long long>(dlo, std::min<long long>(dhi, 32767))(rng);
    });
    sg.dmin = std::to_string(dlo), sg.dmax = std::to_string(std::min<long long>(dhi, 32767));
    const double p0 = std::uniform_real_distribution<double>(-5000, 5000)(rng);
    const double sign = rng() % 2 ? 1 : -1;
    const double p1 = p0 + sign * std::uniform_real_distribution<double>(0.5, 4000)(rng);
    char b[32];
    std::snprintf(b, sizeof b, "%.1f", p0);
    sg.pmin = b;
    std::snprintf(b, sizeof b, "%.1f", p1);
    sg.pmax = b;
    e.sigs.push_back(std::move(sg));
  }
  return e;
}

// Codes of 2-byte pages are made from the stored bytes in one pass; they
// must equal the channel mapping's code of every value, clips and the mark
// code included, whatever the ranges and rates.
TEST_F(Fixture, PageCodesEqualTheMappingOfEveryStoredValue) {
  std::mt19937 rng(20261210);
  for (int round = 0; round < 12; ++round) {
    const int records = 3;
    const long long rates[] = {256, 100, 37, 256};
    const Spec e = randomRanges(rng, records, rates);
    ASSERT_TRUE(open(put("r" + std::to_string(round) + ".edf", build(e)))) << round;
    std::vector<std::vector<std::int16_t>> codes;
    std::vector<std::int16_t> marks;
    std::string reason;
    ASSERT_TRUE(readEdfPageCodes(*s, 1, codes, marks, reason)) << reason;
    long long clips = 0;
    for (int c = 0; c < 4; ++c) {
      const EdfChannelMapping* m = edfChannelMapping(*s, c);
      ASSERT_NE(m, nullptr);
      for (long long v : e.sigs[c].v) {
        bool clipped = false;
        m->code(v, clipped);
        clips += clipped;
      }
      for (int j = 0; j < records * 256; ++j) {
        const long long r = j / 256, f = j % 256, n = rates[c];
        bool clipped = false;
        const std::int16_t want = m->code(e.sigs[c].v[static_cast<std::size_t>(r * n + f * n / 256)], clipped);
        ASSERT_EQ(codes[c][j], want) << round << " " << c << " " << j;
        ASSERT_EQ(s->channelData[c][j], want) << round << " " << c << " " << j;
      }
    }
    const std::string told = std::to_string(clips) + " отсчётов не помещаются";
    EXPECT_EQ(std::any_of(ui.messages.begin(), ui.messages.end(),
                          [&](const std::string& t) { return t.find(told) != std::string::npos; }),
              clips > 0)
        << round << " " << clips;
    closeRecordFile(*s);
    ui.messages.clear();
  }
}

// Paging on through a long file codes later pages by a table made from the
// mapping and reads the next page ahead; every code and every count of
// limited samples must stay what the mapping gives, going forward, back and by jumps.
TEST_F(Fixture, LaterPagesCodeEveryStoredValueAsTheMappingDoes) {
  std::mt19937 rng(20261211);
  for (int round = 0; round < 4; ++round) {
    const int records = 520;  // 125 records a page: four full pages and a short one
    // rates high enough for each channel to get its table within the file
    const long long rates[] = {256, 200, 150, 256};
    const Spec e = randomRanges(rng, records, rates);
    ASSERT_TRUE(open(put("t" + std::to_string(round) + ".edf", build(e)))) << round;
    ASSERT_EQ(s->recordCount, 5);
    // the page in memory against the mapping, and its notice of limited samples
    auto check = [&](int page) {
      ASSERT_EQ(s->currentRecord, page);
      const long long r0 = (page - 1) * 125LL, r1 = std::min<long long>(records, r0 + 125);
      ASSERT_EQ(s->recordLength, (r1 - r0) * 256);
      long long clips = 0;
      for (int c = 0; c < 4; ++c) {
        const EdfChannelMapping* m = edfChannelMapping(*s, c);
        ASSERT_NE(m, nullptr);
        const long long n = rates[c];
        for (long long k = r0 * n; k < r1 * n; ++k) {
          bool clipped = false;
          m->code(e.sigs[c].v[static_cast<std::size_t>(k)], clipped);
          clips += clipped;
        }
        for (long long j = 0; j < (r1 - r0) * 256; ++j) {
          const long long r = r0 + j / 256, f = j % 256;
          bool clipped = false;
          const std::int16_t want = m->code(e.sigs[c].v[static_cast<std::size_t>(r * n + f * n / 256)], clipped);
          ASSERT_EQ(s->channelData[c][j], want) << round << " page " << page << " channel " << c << " frame " << j;
        }
      }
      const std::string told = "Страница " + std::to_string(page) + " файла";
      const std::string count = ": " + std::to_string(clips) + " отсчётов не помещаются";
      const bool said = std::any_of(ui.messages.begin(), ui.messages.end(), [&](const std::string& t) {
        return t.find(told) != std::string::npos && t.find(count) != std::string::npos;
      });
      EXPECT_EQ(said, clips > 0) << round << " page " << page << " limited " << clips;
      ui.messages.clear();
    };
    check(1);
    for (int page = 2; page <= 5; ++page) {
      ASSERT_TRUE(stepRecord(*s, +1, ui));
      check(page);
    }
    for (int page = 4; page >= 1; --page) {
      ASSERT_TRUE(stepRecord(*s, -1, ui));
      check(page);
    }
    for (int page : {4, 2, 3, 5}) {
      ASSERT_TRUE(gotoRecord(*s, page, ui));
      check(page);
    }
    closeRecordFile(*s);
    ui.messages.clear();
  }
}

// A page of a long record shares a sample of a slower signal with the next
// page; a change written back must show on that page even when it was
// already read ahead.
TEST_F(Fixture, ChangeWrittenBackShowsOnThePageReadAhead) {
  Spec e;
  e.duration = "100";
  e.recordCount = 1;
  // 90000 frames a record: three pages of 30000; 997 samples of the slow signal
  // put sample 664 on both sides of frame 60000
  e.sigs = {ramp("EEG Fast", 90000, 1, [](long long k) { return k % 2000 - 1000; }),
            ramp("EEG Slow", 997, 1, [](long long k) { return (k * 37) % 3000 - 1500; })};
  const std::string path = put("long.edf", build(e));
  ASSERT_TRUE(open(path));
  ASSERT_EQ(s->recordCount, 3);
  ASSERT_TRUE(stepRecord(*s, +1, ui));  // page 2; page 3 is read ahead
  ASSERT_EQ(s->recordLength, 30000);
  // frames 59940..59999 show sample 664; a change in the last of them changes it
  const std::int16_t before = s->channelData[1][29999];
  for (int j = 29940; j < 30000; ++j) s->channelData[1][j] = static_cast<std::int16_t>(before + 100);
  s->recordModified = 1;
  ui.yesNoScript = {true};
  ASSERT_TRUE(stepRecord(*s, +1, ui));
  ASSERT_EQ(s->currentRecord, 3);
  // frames 60000..60030 of page 3 show the same sample
  EXPECT_EQ(s->channelData[1][0], before + 100);
  EXPECT_EQ(s->channelData[1][30], before + 100);
  EXPECT_NE(s->channelData[1][31], before + 100);
}

// --- layout of pages --------------------------------------------------------------------------

TEST_F(Fixture, MixedRatesAreSpreadByExactSampleTimes) {
  // 256, 100 and 128 samples per record: frame j shows sample floor(j·n/256)
  Spec e;
  e.recordCount = 3;
  e.sigs = {ramp("EEG A", 256, 3, [](long long k) { return k; }), ramp("EEG B", 100, 3, [](long long k) { return 5 * k; }),
            ramp("EEG C", 128, 3, [](long long k) { return -k; })};
  ASSERT_TRUE(open(put("mixed.edf", build(e))));
  EXPECT_EQ(s->sampleRate, 256);
  EXPECT_EQ(s->recordLength, 3 * 256);
  EXPECT_EQ(s->channelCount, 3);
  for (int j = 0; j < 3 * 256; ++j) {
    const long long r = j / 256, f = j % 256;
    EXPECT_NEAR(shown(*s, 0, j), published(e.sigs[0], j), 0.1) << j;
    EXPECT_NEAR(shown(*s, 1, j), published(e.sigs[1], 5 * (r * 100 + f * 100 / 256)), 0.1) << j;
    EXPECT_NEAR(shown(*s, 2, j), published(e.sigs[2], -(r * 128 + f / 2)), 0.1) << j;
  }
}

TEST_F(Fixture, PagesOfWholeRecordsAndStepping) {
  // 256 samples per record, 200 records: 125 records (32000 samples) per page
  Spec e;
  e.recordCount = 200;
  e.sigs = {ramp("EEG Fp1", 256, 200, [](long long k) { return k % 60000 - 30000; })};
  ASSERT_TRUE(open(put("long.edf", build(e))));
  EXPECT_EQ(s->recordCount, 2);
  EXPECT_EQ(s->currentRecord, 1);
  EXPECT_EQ(s->recordLength, 32000);
  EXPECT_EQ(s->recordFileVersion, kVersionEdfStream);
  EXPECT_EQ(s->epochLength, 128);
  EXPECT_EQ(s->epochCount, 250);
  auto expectPage = [&](int page, int length) {
    EXPECT_EQ(s->currentRecord, page);
    ASSERT_EQ(s->recordLength, length);
    for (int i = 0; i < length; i += 97) {
      const long long k = (page - 1) * 32000LL + i;
      EXPECT_NEAR(shown(*s, 0, i), published(e.sigs[0], k % 60000 - 30000), 0.06) << page << ":" << i;
    }
    EXPECT_NEAR(s->recordTime * 86400, 4 * 3600 + 5 * 60 + 6 + (page - 1) * 125.0, 1e-3);
  };
  expectPage(1, 32000);
  EXPECT_TRUE(stepRecord(*s, +1, ui));
  expectPage(2, 75 * 256);
  EXPECT_FALSE(stepRecord(*s, +1, ui));
  EXPECT_TRUE(stepRecord(*s, -1, ui));
  expectPage(1, 32000);
  EXPECT_FALSE(stepRecord(*s, -1, ui));
  ui.inputScript = {std::string("7")};
  EXPECT_TRUE(gotoRecordAsked(*s, ui));  // clamped to the last page
  expectPage(2, 75 * 256);
  s->channelData[0][5] = 1234;
  EXPECT_TRUE(rereadRecord(*s, ui));
  expectPage(2, 75 * 256);
  EXPECT_TRUE(rewindEdf(*s, ui));
  expectPage(1, 32000);
  EXPECT_TRUE(ui.messages.empty());
}

// "&U=Слить" on an EDF: its pages one after another, as far as a record
// holds; the merged record is no page of the file, so it is never written
// back over one, and "Восстановить" goes back to page 1.
TEST_F(Fixture, MergingPagesJoinsThemAndRestoreGoesBackToTheFirst) {
  Spec e;
  e.recordCount = 200;  // two pages: 32000 and 19200 samples
  e.sigs = {ramp("EEG Fp1", 256, 200, [](long long k) { return k % 60000 - 30000; }),
            ramp("EEG Fp2", 256, 200, [](long long k) { return 1000 - k % 7000; })};
  ASSERT_TRUE(open(put("pages.edf", build(e))));
  ASSERT_EQ(s->recordCount, 2);
  std::vector<std::vector<std::int16_t>> pages[2];
  for (int p = 0; p < 2; ++p) {
    ASSERT_TRUE(gotoRecord(*s, p + 1, ui));
    for (int c = 0; c < 2; ++c) pages[p].emplace_back(s->channel(c), s->channel(c) + s->recordLength);
  }
  RecordEditor editor(*s, ui);
  NoProgress progress;
  ASSERT_TRUE(editor.mergeRecords(progress));
  EXPECT_EQ(s->recordLength, kMaxSamples);
  EXPECT_EQ(s->currentRecord, 1);
  EXPECT_TRUE(editor.mergedRecordShown());
  for (int c = 0; c < 2; ++c) {
    EXPECT_EQ(s->channel(c)[31999], pages[0][c][31999]);
    EXPECT_EQ(s->channel(c)[32000], pages[1][c][0]);
    EXPECT_EQ(s->channel(c)[kMaxSamples - 1], pages[1][c][kMaxSamples - 1 - 32000]);
  }
  ASSERT_EQ(ui.messages.size(), 1u);  // the second page did not fit whole
  EXPECT_NE(ui.messages[0].find("32767"), std::string::npos);

  // a change to the merged record is not written over page 1
  const std::string before = readBytes(dir.file("pages.edf"));
  s->channelData[0][10] = 77;
  s->recordModified = 1;
  ui.answerYes = true;
  EXPECT_FALSE(confirmWriteBack(*s, ui));
  EXPECT_EQ(readBytes(dir.file("pages.edf")), before);
  s->recordModified = 0;

  ASSERT_TRUE(editor.restoreRecord());
  EXPECT_FALSE(editor.mergedRecordShown());
  EXPECT_EQ(s->currentRecord, 1);
  ASSERT_EQ(s->recordLength, 32000);
  EXPECT_EQ(s->channel(1)[123], pages[0][1][123]);

  // one page only: nothing to merge
  Spec one;
  one.sigs = {ramp("EEG Fp1", 256, 1, [](long long k) { return k; })};
  ASSERT_TRUE(open(put("one.edf", build(one))));
  EXPECT_FALSE(editor.mergeRecords(progress));
  EXPECT_EQ(s->recordLength, 256);
}

TEST_F(Fixture, TwoStudiesPageThroughTheirOwnFilesAtOnce) {
  // Each study holds its own open file: paging, page counts, accessors and a
  // write-back in one leave the other where it was.
  Spec a, b;
  a.recordCount = 200;  // 2 pages
  a.sigs = {ramp("EEG Fp1", 256, 200, [](long long k) { return k % 60000 - 30000; })};
  b.recordCount = 300;  // 3 pages
  b.sigs = {ramp("EEG O2", 256, 300, [](long long k) { return 20000 - k % 40000; }),
            ramp("EEG O1", 256, 300, [](long long k) { return k % 1000; })};
  const std::string pathA = put("a.edf", build(a)), pathB = put("b.edf", build(b));
  const std::string bytesA = readBytes(pathA);
  ASSERT_TRUE(open(pathA));
  StudyState t;
  t.programDir = s->programDir;
  ASSERT_TRUE(openFile(t, FileKind::Records, pathB, ui));
  ASSERT_EQ(s->recordCount, 2);
  ASSERT_EQ(t.recordCount, 3);
  EXPECT_TRUE(gotoRecord(t, 3, ui));
  EXPECT_EQ(s->currentRecord, 1);
  EXPECT_TRUE(stepRecord(*s, +1, ui));
  EXPECT_FALSE(stepRecord(*s, +1, ui)) << "the first study has two pages";
  EXPECT_EQ(t.currentRecord, 3);
  EXPECT_TRUE(stepRecord(t, -1, ui));
  EXPECT_EQ(s->currentRecord, 2);
  EXPECT_EQ(t.currentRecord, 2);
  ASSERT_NE(edfOpenHeader(*s), nullptr);
  ASSERT_NE(edfOpenHeader(t), nullptr);
  EXPECT_EQ(edfOpenHeader(*s)->signalHeaders[0].label, "EEG Fp1");
  EXPECT_EQ(edfOpenHeader(t)->signalHeaders[1].label, "EEG O1");
  for (int i = 0; i < 1000; i += 37) {
    EXPECT_NEAR(shown(*s, 0, i), published(a.sigs[0], (32000 + i) % 60000 - 30000), 0.06) << i;
    EXPECT_NEAR(shown(t, 0, i), published(b.sigs[0], 20000 - (32000 + i) % 40000), 0.06) << i;
  }
  // a change written back by the second study goes into its own file only
  t.channelData[1][0] = static_cast<std::int16_t>(t.channelData[1][0] + 40);
  t.recordModified = 1;
  ui.yesNoScript = {true};
  ASSERT_TRUE(stepRecord(t, -1, ui));
  EXPECT_EQ(ui.questions.size(), 1u);
  EXPECT_EQ(readBytes(pathA), bytesA);
  EXPECT_NE(readBytes(pathB), build(b));
  closeRecordFile(t);
  EXPECT_FALSE(edfIsOpen(t));
  EXPECT_FALSE(stepRecord(t, +1, ui));
  EXPECT_TRUE(edfIsOpen(*s));
  EXPECT_TRUE(stepRecord(*s, -1, ui));
  EXPECT_EQ(s->currentRecord, 1);
  EXPECT_TRUE(ui.messages.empty()) << ui.messages[0];
}

TEST_F(Fixture, ARecordFileOpenedAfterAnEdfFileIsSteppedAsRecords) {
  // The study's source follows the file it opens: after an EDF file a
  // record file is stepped as records, and nothing answers for the EDF file.
  Spec e;
  e.recordCount = 200;
  e.sigs = {ramp("EEG Fp1", 256, 200, [](long long k) { return k % 60000 - 30000; })};
  ASSERT_TRUE(open(put("long.edf", build(e))));
  StudyState w;
  w.channelCount = 1;
  w.recordLength = 300;
  w.recordFileVersion = kVersionCA40;
  w.recordCount = 3;
  const std::string cad = dir.file("three.cad");
  {
    const int fd = ::open(cad.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_TRUE(writeHeader(w, fd));
    for (int r = 1; r <= 3; ++r) {
      for (int i = 0; i < w.recordLength; ++i) w.channelData[0][i] = static_cast<std::int16_t>(r * 100 + i % 7);
      ASSERT_TRUE(writeRecord(w, fd));
    }
    ::close(fd);
  }
  ASSERT_TRUE(open(cad));
  EXPECT_FALSE(edfIsOpen(*s));
  EXPECT_EQ(edfOpenHeader(*s), nullptr);
  EXPECT_EQ(s->recordCount, 3);
  EXPECT_TRUE(gotoRecord(*s, 3, ui));
  EXPECT_EQ(s->currentRecord, 3);
  EXPECT_EQ(s->channelData[0][0], 300);
  EXPECT_TRUE(stepRecord(*s, -1, ui));
  EXPECT_EQ(s->channelData[0][1], 201);
  EXPECT_TRUE(ui.messages.empty()) << ui.messages[0];
}

TEST_F(Fixture, ARecordLongerThanAPageIsSplitIntoParts) {
  Spec e;
  e.duration = "100";
  e.sigs = {ramp("EEG Cz", 70000, 1, [](long long k) { return k / 3 - 10000; }),
            ramp("EEG Pz", 7000, 1, [](long long k) { return k; })};
  ASSERT_TRUE(open(put("one.edf", build(e))));
  EXPECT_EQ(s->sampleRate, 700);
  ASSERT_EQ(s->recordCount, 3);
  const int lengths[] = {23334, 23334, 23332};
  long long first = 0;
  for (int p = 1; p <= 3; ++p) {
    if (p > 1) {
      ASSERT_TRUE(stepRecord(*s, +1, ui));
    }
    ASSERT_EQ(s->recordLength, lengths[p - 1]);
    for (int i = 0; i < s->recordLength; i += 1013) {
      const long long j = first + i;
      EXPECT_NEAR(shown(*s, 0, i), published(e.sigs[0], j / 3 - 10000), 0.06);
      EXPECT_NEAR(shown(*s, 1, i), published(e.sigs[1], j * 7000 / 70000), 0.06);
    }
    first += s->recordLength;
  }
}

// --- what is not a data channel -------------------------------------------------------------

TEST_F(Fixture, AnnotationsBecomeMarksNotChannels) {
  Spec e;
  e.reserved = "EDF+C";
  e.recordCount = 2;
  Sig ann;
  ann.label = "EDF Annotations";
  ann.n = 30;
  ann.text = {"+0\x14\x14\0+0.5\x15"s + "0.2\x14Stim A\x14\0"s, "+1\x14\x14\0+1.25\x14"s + "B\x14"s + "C\x14\0"s};
  e.sigs = {ramp("EEG Fp1", 100, 2, [](long long k) { return k; }), ann,
            ramp("EEG Fp2", 100, 2, [](long long k) { return -k; })};
  e.duration = "1";
  ASSERT_TRUE(open(put("plus.edf", build(e))));
  EXPECT_EQ(s->channelCount, 2);
  EXPECT_EQ(s->channelNames[1], "Fp2");
  EXPECT_NEAR(shown(*s, 1, 150), -150 * 0.1, 0.06);
  EXPECT_EQ(s->markChannelCount, 1);
  const auto notes = edfPageAnnotations(*s);
  ASSERT_EQ(notes.size(), 3u);
  EXPECT_EQ(notes[0].sample, 50);
  EXPECT_EQ(notes[0].text, "Stim A");
  EXPECT_DOUBLE_EQ(notes[0].duration, 0.2);
  EXPECT_EQ(notes[1].sample, 125);
  EXPECT_EQ(notes[2].text, "C");
  // the monitor draws a mark wherever the mark channel changes
  std::vector<int> changes;
  for (int i = 1; i < s->recordLength; ++i)
    if (s->markChannel[i] != s->markChannel[i - 1]) changes.push_back(i);
  EXPECT_EQ(changes, (std::vector<int>{50, 125}));
}

TEST_F(Fixture, MoreThanSixtyFourSignalsKeepTheFirstAndSaySo) {
  Spec e;
  for (int i = 0; i < 70; ++i) e.sigs.push_back(ramp("EEG S" + std::to_string(i), 4, 1, [i](long long k) { return i * 10 + k; }));
  ASSERT_TRUE(open(put("many.edf", build(e))));
  EXPECT_EQ(s->channelCount, 64);
  EXPECT_EQ(s->channelNames[63], "S63");
  EXPECT_NEAR(shown(*s, 63, 2), published(e.sigs[63], 632), 0.06);
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_NE(ui.messages[0].find("ещё 6 "), std::string::npos) << ui.messages[0];
}

// --- wide samples ---------------------------------------------------------------------------------

TEST_F(Fixture, Edf32ValuesBeyondSixteenBitsAreNotCut) {
  Spec e;
  e.w = 4;
  e.recordCount = 2;
  Sig sg = ramp("EEG Oz", 32000, 2, [](long long k) { return 100000 + (k % 1000) * 7; });
  sg.pmin = "-2000000", sg.pmax = "2000000", sg.dmin = "-2000000", sg.dmax = "2000000";
  sg.v[32000 + 10] = 1900000;  // far beyond what page 1 showed
  e.sigs = {sg};
  const std::string path = put("wide.e32", build(e));
  ASSERT_TRUE(open(path));
  // beside 100000 the signal would keep only every fourth step: the constant part is taken off and told
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_NE(ui.messages[0].find("постоянная составляющая"), std::string::npos) << ui.messages[0];
  ui.messages.clear();
  const double half = codeStep(*s, 0) / 2 + 1e-9;
  EXPECT_LE(codeStep(*s, 0), 1.0);
  for (int i = 0; i < 32000; i += 331) EXPECT_NEAR(shown(*s, 0, i), static_cast<double>(sg.v[i]), half);
  ASSERT_TRUE(stepRecord(*s, +1, ui));
  ASSERT_EQ(ui.messages.size(), 1u);  // one value had to be limited, and it is said
  EXPECT_NE(ui.messages[0].find("1 отсчётов"), std::string::npos) << ui.messages[0];
  EXPECT_NEAR(shown(*s, 0, 11), static_cast<double>(sg.v[32011]), half);

  // a change is written in 4 bytes at its place, and nothing else changes
  const std::string before = readBytes(path);
  s->channelData[0][100] = static_cast<std::int16_t>(s->channelData[0][100] + 40);
  const double wanted = shown(*s, 0, 100);
  s->recordModified = 1;
  ui.yesNoScript = {true};
  ASSERT_TRUE(stepRecord(*s, -1, ui));
  const std::string after = readBytes(path);
  ASSERT_EQ(after.size(), before.size());
  const std::size_t at = 256 * 2 + (32000 + 100) * 4;
  for (std::size_t i = 0; i < after.size(); ++i)
    if (i < at || i >= at + 4) {
      ASSERT_EQ(after[i], before[i]) << "byte " << i;
    }
  std::int32_t v = 0;
  std::memcpy(&v, after.data() + at, 4);
  EXPECT_NEAR(static_cast<double>(v), wanted, 1.0);
}

TEST_F(Fixture, BdfReadsThreeByteSamples) {
  Spec e;
  e.w = 3;
  Sig sg = ramp("C3", 8, 1, [](long long k) { return k % 2 ? -8388608 + k : 8388607 - k; });
  sg.pmin = "-187500", sg.pmax = "187500", sg.dmin = "-8388608", sg.dmax = "8388607";
  sg.v = {406384, 407404, 398532, 397398, 406133, -5, 0, 412000};
  e.sigs = {sg};
  ASSERT_TRUE(openFile(*s, FileKind::Records, put("a.bdf", build(e)), ui));
  for (int i = 0; i < 8; ++i) EXPECT_NEAR(shown(*s, 0, i), published(sg, sg.v[i]), codeStep(*s, 0) * 0.5 + 1e-6);
}

// --- writing pages back ------------------------------------------------------------------------

struct WriteBack : Fixture {
  Spec e;
  std::string path, original;
  void make() {
    e.recordCount = 4;
    e.sigs = {ramp("EEG F3", 10000, 4, [](long long k) { return (k * 7919) % 65536 - 32768; }),
              ramp("EEG F4", 3000, 4, [](long long k) { return (k * 31) % 4000 - 2000; })};
    e.sigs[0].pmin = "-45.1698", e.sigs[0].pmax = "59.35658";  // scale below one code per step
    e.sigs[1].dmin = "-2000", e.sigs[1].dmax = "1999";
    path = put("wb.edf", build(e));
    original = readBytes(path);
    ASSERT_TRUE(open(path));
    ASSERT_EQ(s->recordCount, 2);
    ASSERT_TRUE(stepRecord(*s, +1, ui));  // page 2: record 4 (three records of 10000 samples fill page 1)
    ASSERT_EQ(s->recordLength, 10000);
  }
  // Offset in the file of sample i of signal `sig` in record r.
  std::size_t at(int r, int sig, long long i) const {
    return static_cast<std::size_t>(256 * 3 + r * 13000 * 2 + (sig == 0 ? 0 : 10000 * 2) + i * 2);
  }
};

TEST_F(WriteBack, OnlyChangedSamplesAreWrittenInTheirOwnCount) {
  make();
  // one change in each signal; F4 runs at 3/10 of the rate, so frames 4000..4003
  // all show its sample 1200 and a change in the last of them is a change of that sample
  s->channelData[0][17] = static_cast<std::int16_t>(s->channelData[0][17] + 300);
  const double f3 = shown(*s, 0, 17);
  const int frame = 4003;
  s->channelData[1][frame] = static_cast<std::int16_t>(s->channelData[1][frame] + 50);
  const double f4 = shown(*s, 1, frame);
  s->recordModified = 1;
  ui.yesNoScript = {true};
  ASSERT_TRUE(stepRecord(*s, -1, ui));
  EXPECT_EQ(ui.questions, (std::vector<std::string>{"Записать изменения в файл?"}));
  EXPECT_TRUE(ui.messages.empty()) << ui.messages[0];
  const std::string now = readBytes(path);
  ASSERT_EQ(now.size(), original.size());
  const std::size_t a = at(3, 0, 17), b = at(3, 1, 1200);
  for (std::size_t i = 0; i < now.size(); ++i)
    if (i != a && i != a + 1 && i != b && i != b + 1) {
      ASSERT_EQ(now[i], original[i]) << "byte " << i;
    }
  auto value = [&](std::size_t off) { return static_cast<std::int16_t>(static_cast<unsigned char>(now[off]) | (static_cast<unsigned char>(now[off + 1]) << 8)); };
  EXPECT_NEAR(published(e.sigs[0], value(a)), f3, 104.53 / 65535);
  EXPECT_NEAR(published(e.sigs[1], value(b)), f4, 6553.5 / 3999 + 1e-9);
  // and the page reads back with the change
  ASSERT_TRUE(stepRecord(*s, +1, ui));
  EXPECT_NEAR(shown(*s, 0, 17), f3, codeStep(*s, 0));
}

TEST_F(WriteBack, NoLeavesTheFileAndReadOnlyIsRefused) {
  make();
  s->channelData[0][3] = static_cast<std::int16_t>(s->channelData[0][3] + 1);
  s->recordModified = 1;
  ui.yesNoScript = {false};
  ASSERT_TRUE(stepRecord(*s, -1, ui));
  EXPECT_EQ(readBytes(path), original);
  EXPECT_EQ(s->recordModified, 0);

  // opened read-only: the change is refused with a message and the page stays
  closeRecordFile(*s);
  ::chmod(path.c_str(), 0444);
  if (::access(path.c_str(), W_OK) == 0) GTEST_SKIP() << "running as a user who can write read-only files";
  ASSERT_TRUE(open(path));
  s->channelData[0][3] = static_cast<std::int16_t>(s->channelData[0][3] + 1);
  s->recordModified = 1;
  ui.yesNoScript = {true};
  ui.messages.clear();
  EXPECT_FALSE(stepRecord(*s, +1, ui));
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_NE(ui.messages[0].find("только для чтения"), std::string::npos);
  EXPECT_EQ(s->currentRecord, 1);
  EXPECT_EQ(s->recordModified, 1);
  EXPECT_EQ(readBytes(path), original);
}

TEST_F(WriteBack, AFailedWriteSaysSoAndKeepsThePage) {
  make();
  closeRecordFile(*s);
  // the same bytes in a memory file sealed against writing
  const int fd = ::memfd_create("sealed.edf", MFD_ALLOW_SEALING);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::write(fd, original.data(), original.size()), static_cast<ssize_t>(original.size()));
  ASSERT_EQ(::fcntl(fd, F_ADD_SEALS, F_SEAL_WRITE | F_SEAL_SHRINK | F_SEAL_GROW), 0);
  ASSERT_TRUE(openEdf(*s, "/proc/self/fd/" + std::to_string(fd), 2, ui));
  s->channelData[0][3] = static_cast<std::int16_t>(s->channelData[0][3] + 1);
  s->recordModified = 1;
  ui.yesNoScript = {true};
  ui.messages.clear();
  EXPECT_FALSE(stepRecord(*s, +1, ui));
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_NE(ui.messages[0].find("не записаны"), std::string::npos) << ui.messages[0];
  EXPECT_EQ(s->currentRecord, 1);
  EXPECT_EQ(s->recordModified, 1);
  closeRecordFile(*s);
  ::close(fd);
}

// --- marks written back as annotations -------------------------------------------------------

TEST(EdfAnnotationLists, OnsetTextAndAppending) {
  const std::pair<double, const char*> onsets[] = {{0, "+0"}, {12.5, "+12.5"}, {1.0 / 3, "+0.333333333"}, {-0.25, "-0.25"}, {-0.0, "+0"}};
  for (const auto& [v, text] : onsets) EXPECT_EQ(edfOnsetText(v), text) << v;

  // a record without lists gets its time-keeping list first
  std::vector<unsigned char> b(24, 0);
  ASSERT_TRUE(appendEdfAnnotation(b, 3, 3.5, "A"));
  EXPECT_EQ(std::string(b.begin(), b.end()), "+3\x14\x14\0+3.5\x14" "A\x14\0"s + std::string(11, '\0'));
  EXPECT_EQ(edfRecordStart(b), 3.0);
  // the next list follows the last one's closing zero; one that does not fit changes nothing
  ASSERT_TRUE(appendEdfAnnotation(b, 3, 3.25, "BC"));
  const auto full = b;
  EXPECT_EQ(std::string(b.begin(), b.end()), "+3\x14\x14\0+3.5\x14" "A\x14\0+3.25\x14" "BC\x14\0"s + std::string(1, '\0'));
  EXPECT_FALSE(appendEdfAnnotation(b, 3, 3.75, ""));
  EXPECT_EQ(b, full);
  // lists that fill the signal to its last byte leave no room
  std::vector<unsigned char> packed = {'+', '0', 0x14, 0x14};
  EXPECT_FALSE(appendEdfAnnotation(packed, 0, 0, "x"));
  EXPECT_FALSE(edfRecordStart(std::vector<unsigned char>(8, 0)).has_value());
}

struct MarkFile : Fixture {
  Spec e;
  std::string path, original;
  // Three data records of 1 s: Fp1 and Fp2 at 100 Hz, an annotation signal of
  // `annotationSamples` 2-byte samples with the given lists per record.
  void make(long long annotationSamples, std::vector<std::string> lists) {
    e.reserved = "EDF+C";
    e.recordCount = 3;
    Sig ann;
    ann.label = "EDF Annotations";
    ann.n = annotationSamples;
    ann.text = std::move(lists);
    e.sigs = {ramp("EEG Fp1", 100, 3, [](long long k) { return k % 50; }), ann,
              ramp("EEG Fp2", 100, 3, [](long long k) { return -(k % 70); })};
    original = build(e);
    path = put("marks.edf", original);
    ASSERT_TRUE(open(path));
  }
  // The annotation signal of record r as stored now.
  std::string annotationBytes(const std::string& file, int r) const {
    const std::size_t record = 100 * 2 + static_cast<std::size_t>(e.sigs[1].n) * 2 + 100 * 2;
    return file.substr(256 * 4 + static_cast<std::size_t>(r) * record + 200, static_cast<std::size_t>(e.sigs[1].n) * 2);
  }
  std::string padded(std::string t) const {
    t.resize(static_cast<std::size_t>(e.sigs[1].n) * 2, '\0');
    return t;
  }
};

TEST_F(MarkFile, MarksBecomeAnnotationsOfTheirDataRecordsAndComeBack) {
  make(30, {"+0\x14\x14\0"s, "+1\x14\x14\0+1.5\x14Old\x14\0"s, "+2\x14\x14\0"s});
  s->channelData[0][20] = kMarkCode;   // record 1, 0.2 s
  s->channelData[1][170] = kMarkCode;  // record 2, 1.7 s
  s->recordModified = 1;
  ui.yesNoScript = {true};
  ASSERT_TRUE(confirmWriteBack(*s, ui));
  EXPECT_TRUE(ui.messages.empty()) << ui.messages[0];
  const std::string now = readBytes(path);
  ASSERT_EQ(now.size(), original.size());
  EXPECT_EQ(annotationBytes(now, 0), padded("+0\x14\x14\0+0.2\x14Метка Fp1\x14\0"s));
  EXPECT_EQ(annotationBytes(now, 1), padded("+1\x14\x14\0+1.5\x14Old\x14\0+1.7\x14Метка Fp2\x14\0"s));
  EXPECT_EQ(annotationBytes(now, 2), annotationBytes(original, 2));
  // nothing but the two lists changed: the samples under the marks keep their values
  std::size_t differing = 0;
  for (std::size_t i = 0; i < now.size(); ++i) differing += now[i] != original[i];
  EXPECT_EQ(differing, std::string("+0.2\x14Метка Fp1\x14").size() + std::string("+1.7\x14Метка Fp2\x14").size());

  // writing again with the marks still in memory adds nothing
  s->recordModified = 1;
  ui.yesNoScript = {true};
  ASSERT_TRUE(confirmWriteBack(*s, ui));
  EXPECT_EQ(readBytes(path), now);

  // read again (and after opening anew) the marks are annotations at their samples
  for (bool reopen : {false, true}) {
    if (reopen) {
      closeRecordFile(*s);
      ASSERT_TRUE(open(path));
    } else {
      ASSERT_TRUE(rereadRecord(*s, ui));
    }
    const auto notes = edfPageAnnotations(*s);
    std::vector<std::pair<int, std::string>> got;
    for (const auto& a : notes) got.emplace_back(a.sample, a.text);
    EXPECT_EQ(got, (std::vector<std::pair<int, std::string>>{{20, "Метка Fp1"}, {150, "Old"}, {170, "Метка Fp2"}}));
    EXPECT_NE(s->channelData[0][20], kMarkCode);
    EXPECT_NE(s->markChannel[20], s->markChannel[19]);
  }
}

TEST_F(MarkFile, ARecordWithoutRoomRefusesTheWholeWriteBack) {
  // record 1 has room for one mark's list, record 2 none
  make(16, {"+0\x14\x14\0"s, "+1\x14\x14\0+1.9\x14X\x14\0"s, "+2\x14\x14\0"s});
  s->channelData[0][3] = static_cast<std::int16_t>(s->channelData[0][3] + 7);  // an edited sample
  s->channelData[0][20] = kMarkCode;
  s->channelData[0][130] = kMarkCode;
  s->recordModified = 1;
  ui.yesNoScript = {true};
  EXPECT_FALSE(confirmWriteBack(*s, ui));
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0], "Изменения страницы не записаны в файл marks.edf: в записи данных 2 нет места для аннотации "
                            "«Метка Fp1»; файл не изменён.");
  EXPECT_EQ(readBytes(path), original);
  EXPECT_EQ(s->recordModified, 1);
  EXPECT_EQ(s->channelData[0][20], kMarkCode);  // the page and its marks stay for the person to decide
  // without the mark that does not fit, the rest is written
  s->channelData[0][130] = s->channelData[0][129];
  ui.yesNoScript = {true};
  ui.messages.clear();
  ASSERT_TRUE(confirmWriteBack(*s, ui));
  EXPECT_TRUE(ui.messages.empty());
  EXPECT_EQ(annotationBytes(readBytes(path), 0), padded("+0\x14\x14\0+0.2\x14Метка Fp1\x14\0"s));
}

TEST_F(Fixture, APlainEdfRefusesToDropMarks) {
  Spec e;
  e.recordCount = 2;
  e.sigs = {ramp("EEG Fp1", 100, 2, [](long long k) { return k; })};
  const std::string original = build(e);
  const std::string path = put("plain.edf", original);
  ASSERT_TRUE(open(path));
  s->channelData[0][5] = static_cast<std::int16_t>(s->channelData[0][5] + 3);
  s->channelData[0][40] = kMarkCode;
  s->channelData[0][41] = kMarkCode;
  s->recordModified = 1;
  ui.yesNoScript = {true};
  EXPECT_FALSE(confirmWriteBack(*s, ui));
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0], "Изменения страницы не записаны в файл plain.edf: меток на странице: 2; в файле нет сигнала "
                            "аннотаций EDF+, и метки в нём сохранить нельзя. Уберите метки («Метки» → «Убрать все») или не "
                            "записывайте изменения.");
  EXPECT_EQ(readBytes(path), original);
  EXPECT_EQ(s->recordModified, 1);
  // "Нет" leaves the file as it was
  ui.yesNoScript = {false};
  EXPECT_TRUE(confirmWriteBack(*s, ui));
  EXPECT_EQ(readBytes(path), original);
}

// --- hostile headers --------------------------------------------------------------------------

struct Hostile {
  const char* name;
  std::function<void(Spec&)> change;
  std::function<void(std::string&)> bytes;  // applied to the built file
  const char* says;                         // a fragment of the message
};

TEST_F(Fixture, HostileHeadersAreRefusedWithAMessage) {
  Spec base;
  base.recordCount = 3;
  base.sigs = {ramp("EEG Fp1", 50, 3, [](long long k) { return k; }), ramp("EEG Fp2", 25, 3, [](long long k) { return -k; })};
  const std::vector<Hostile> cases = {
      {"negative_ns", [](Spec& e) { e.ns = "-1"; }, nullptr, "число сигналов"},
      {"zero_ns", [](Spec& e) { e.ns = "0"; }, nullptr, "число сигналов"},
      {"huge_ns", [](Spec& e) { e.ns = "9999"; }, nullptr, "размер заголовка"},
      {"text_ns", [](Spec& e) { e.ns = "ab"; }, nullptr, "число сигналов"},
      {"header_too_small", [](Spec& e) { e.headerBytes = "512"; }, nullptr, "меньше 256"},
      {"header_beyond_file", [](Spec& e) { e.headerBytes = "99999999"; }, nullptr, "длиннее файла"},
      {"duration_zero", [](Spec& e) { e.duration = "0"; }, nullptr, "длительность"},
      {"duration_negative", [](Spec& e) { e.duration = "-1"; }, nullptr, "длительность"},
      {"duration_text", [](Spec& e) { e.duration = "one"; }, nullptr, "длительность"},
      {"samples_zero", [](Spec& e) { e.sigs[1].spr = "0"; }, nullptr, "больше 0"},
      {"samples_negative", [](Spec& e) { e.sigs[0].spr = "-50"; }, nullptr, "больше 0"},
      {"samples_overflow", [](Spec& e) { e.sigs[0].spr = "99999999"; }, nullptr, "длиннее всего файла"},
      {"samples_text", [](Spec& e) { e.sigs[0].spr = "x"; }, nullptr, "не число"},
      {"count_beyond_file", [](Spec& e) { e.records = "4"; }, nullptr, "короче"},
      {"count_zero", [](Spec& e) { e.records = "0"; }, nullptr, "больше 0"},
      {"count_negative", [](Spec& e) { e.records = "-7"; }, nullptr, "больше 0"},
      {"count_huge", [](Spec& e) { e.records = "99999999"; }, nullptr, "короче"},
      {"digital_inverted", [](Spec& e) { e.sigs[0].dmin = "5", e.sigs[0].dmax = "5"; }, nullptr, "цифровой минимум"},
      {"physical_empty", [](Spec& e) { e.sigs[1].pmin = "7", e.sigs[1].pmax = "7"; }, nullptr, "физический минимум"},
      {"physical_text", [](Spec& e) { e.sigs[1].pmax = "nan"; }, nullptr, "не число"},
      {"rate_too_high", [](Spec& e) { e.duration = "0.0001"; }, nullptr, "частота"},
      {"only_annotations",
       [](Spec& e) {
         e.sigs.resize(1);
         e.sigs[0].label = "EDF Annotations";
         e.sigs[0].text = {"+0\x14\x14", "+1\x14\x14", "+2\x14\x14"};
       },
       nullptr, "нет сигналов данных"},
      {"short_header", nullptr, [](std::string& b) { b.resize(200); }, "короче заголовка"},
      {"cut_in_signal_fields", nullptr, [](std::string& b) { b.resize(600); }, "длиннее файла"},
      {"cut_in_last_record", nullptr, [](std::string& b) { b.resize(b.size() - 3); }, "короче"},
      {"empty_file", nullptr, [](std::string& b) { b.clear(); }, "короче заголовка"},
  };
  // a sound file first, so that a refusal must leave it open as it was
  ASSERT_TRUE(open(put("good.edf", build(base))));
  const Snapshot before(*s);
  for (const Hostile& c : cases) {
    SCOPED_TRACE(c.name);
    Spec e = base;
    if (c.change) c.change(e);
    std::string bytes = build(e);
    if (c.bytes) c.bytes(bytes);
    ui.messages.clear();
    EXPECT_FALSE(open(put("bad.edf", bytes)));
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_NE(ui.messages[0].find(c.says), std::string::npos) << ui.messages[0];
    EXPECT_NE(ui.messages[0].find("bad.edf"), std::string::npos) << ui.messages[0];
    EXPECT_TRUE(Snapshot(*s) == before);
  }
  // labels without padding and a count of −1 (counted from the file) are sound
  Spec odd = base;
  odd.sigs[0].label = "ABCDEFGHIJKLMNOP";
  odd.records = "-1";
  ASSERT_TRUE(open(put("odd.edf", build(odd))));
  EXPECT_EQ(s->channelNames[0], "ABCDE");
  EXPECT_EQ(s->recordLength, 150);
  // digital limits at the ends of 64 bits: a range far wider than any
  // sample, still a scale (every sample shows as the middle of the range)
  Spec wide = base;
  wide.sigs[0].dmin = "-1e99", wide.sigs[0].dmax = "1e99";
  ASSERT_TRUE(open(put("wide.edf", build(wide))));
  EXPECT_NEAR(shown(*s, 0, 10), published(wide.sigs[0], 10), codeStep(*s, 0));
}

// --- electrode positions ------------------------------------------------------------------------

TEST_F(Fixture, ElectrodeTableAndUdfPositions) {
  std::string ini = "title\r\n";
  const char* names[] = {"Fp1", "O2"};
  for (int k = 0; k < 20; ++k) {
    ini += std::string(k < 2 ? names[k] : "Z" + std::to_string(k)) + "\r\n";
    for (int b = 0; b < 4; ++b) ini += std::to_string(10 * k + b + 1) + "\r\n";
  }
  writeBytes(dir.file("eeg20.ini"), ini);
  Spec e;
  e.sigs = {ramp("EEG Fp1", 4, 1, [](long long k) { return k; }), ramp("EEG O2", 4, 1, [](long long k) { return k; }),
            ramp("ECG ECG", 4, 1, [](long long k) { return k; })};
  ASSERT_TRUE(open(put("pos.edf", build(e))));
  EXPECT_EQ(s->channelPosX[0], 1);
  EXPECT_EQ(s->channelPosY[0], 2);
  EXPECT_EQ(s->leadPairs[0], (std::array<std::uint8_t, 2>{3, 4}));
  EXPECT_EQ(s->channelPosX[1], 11);
  EXPECT_EQ(s->channelPosX[2], kKindEcg);
  EXPECT_EQ(s->leadPairCount, 0);

  // the file's own positions win, and a channel kind survives the percent scale
  s->channelPosX[0] = 31, s->channelPosY[0] = 62;
  s->channelPosX[1] = kKindEog;
  const std::string udf = dir.file("pos.udf");
  ASSERT_TRUE(saveFile(*s, FileKind::Records, udf, ui));
  ASSERT_TRUE(open(udf));
  EXPECT_EQ(s->channelPosX[0], 31);
  EXPECT_EQ(s->channelPosY[0], 62);
  EXPECT_EQ(s->channelPosX[1], kKindEog);
  EXPECT_EQ(edfOpenHeader(*s)->format(), "udf");
}

// --- export ---------------------------------------------------------------------------------------

std::string field(const std::string& b, std::size_t at, std::size_t w) { return b.substr(at, w); }

struct Export : Fixture {
  void record(int channels, int length, int rate) {
    s->channelCount = channels;
    s->recordLength = length;
    s->sampleRate = rate;
    for (int c = 0; c < channels; ++c) {
      s->zeroLevel[c] = 2048;
      s->calibUnits[c] = 2047;
      s->calibValue[c] = static_cast<std::uint16_t>(100 + 100 * c);
      s->channelNames[static_cast<std::size_t>(c)] = c == 0 ? "Fp1" : "ЭКГ";
      s->channelPosX[static_cast<std::size_t>(c)] = static_cast<std::uint8_t>(c == 0 ? 20 : kKindEcg);
      s->channelPosY[static_cast<std::size_t>(c)] = 40;
      for (int i = 0; i < length; ++i) s->channelData[static_cast<std::size_t>(c)][i] = static_cast<std::int16_t>((i * 37 + c * 1000) % 4096);
    }
    s->examHeader = utf8Fit(std::string(60, ' ') + "Иванов И.И.", kHeaderChars);
  }
};

TEST_F(Export, HeaderFieldsDataAndUdfBlock) {
  record(2, 1000, 250);
  const std::string path = dir.file("out.udf");
  ASSERT_TRUE(saveFile(*s, FileKind::Records, path, ui));
  const std::string b = readBytes(path);
  const std::size_t hdr = 256 * 3 + 504 + 40;
  ASSERT_EQ(b.size(), hdr + 2 * 1000 * 2);
  EXPECT_EQ(field(b, 0, 8), "0       ");
  EXPECT_EQ(field(b, 8, 80), fit(utf8ToCp1251("Иванов И.И."), 80));
  EXPECT_EQ(field(b, 176, 8), "00.00.00");
  EXPECT_EQ(field(b, 184, 8), fit(std::to_string(hdr), 8));
  EXPECT_EQ(field(b, 236, 8), "1       ");
  EXPECT_EQ(field(b, 244, 8), "4       ");
  EXPECT_EQ(field(b, 252, 4), "2   ");
  EXPECT_EQ(field(b, 256, 16), "EEG Fp1         ");
  EXPECT_EQ(field(b, 272, 16), fit(utf8ToCp1251("EEG ЭКГ"), 16));
  EXPECT_EQ(field(b, 288, 80), fit("AgAgCl electrode", 80));
  const std::size_t dims = 288 + 160;
  EXPECT_EQ(field(b, dims, 16), "uV      uV      ");
  EXPECT_EQ(field(b, dims + 16, 16), "-1600   -3200   ");  // physical minimum: 16 steps of calibValue
  EXPECT_EQ(field(b, dims + 32, 16), "1600    3200    ");
  EXPECT_EQ(field(b, dims + 48, 16), "-32752  -32752  ");
  EXPECT_EQ(field(b, dims + 64, 16), "32752   32752   ");
  EXPECT_EQ(field(b, dims + 80 + 160, 16), "1000    1000    ");
  const std::size_t E = 256 * 3;
  EXPECT_EQ(field(b, E, 8), "UDF 1.1 ");
  EXPECT_EQ(field(b, E + 72, 32), fit(utf8ToCp1251("Иванов И.И."), 32));
  auto i16 = [&](std::size_t at) { return static_cast<std::int16_t>(static_cast<unsigned char>(b[at]) | (static_cast<unsigned char>(b[at + 1]) << 8)); };
  EXPECT_EQ(i16(E + 468), 31);     // 20 × 100 / 64 = 31.25
  EXPECT_EQ(i16(E + 470), 398);    // 255 × 100 / 64 = 398.4
  EXPECT_EQ(i16(E + 472), 63);     // 40 × 100 / 64 = 62.5, half up
  EXPECT_EQ(i16(E + 468 + 40), 250);
  EXPECT_EQ(i16(E + 478 + 40), 2);
  EXPECT_EQ(field(b, E + 480 + 40, 4), "TXT ");
  EXPECT_EQ(field(b, E + 488 + 40, 16), "VELOR           ");
  // data: code − zeroLevel, channel after channel
  for (int c = 0; c < 2; ++c)
    for (int i = 0; i < 1000; i += 7) EXPECT_EQ(i16(hdr + (c * 1000 + i) * 2), s->channelData[static_cast<std::size_t>(c)][i] - 2048);

  // read back: the same physical values
  std::vector<double> want;
  for (int i = 0; i < 1000; ++i) want.push_back(s->physicalValue(i, 1));
  ASSERT_TRUE(open(path));
  EXPECT_EQ(s->sampleRate, 250);
  EXPECT_EQ(s->channelNames[1], "ЭКГ");
  for (int i = 0; i < 1000; ++i) EXPECT_NEAR(shown(*s, 1, i), want[static_cast<std::size_t>(i)], 200.0 / 2047 / 2 * 1.01);
}

TEST_F(Export, DurationTextIsExactWhenItFits) {
  EXPECT_EQ(edfDurationText(1000.0 / 250), "4");
  EXPECT_EQ(edfDurationText(1000.0 / 256), "3.90625");
  EXPECT_EQ(edfDurationText(0.5), "0.5");
  EXPECT_EQ(edfDurationText(1000.0 / 300), "3.333333");
  EXPECT_EQ(edfDurationText(12345678), "12345678");
}

TEST_F(Export, CurrentAndFollowingRecordsOfARecordFile) {
  // a record file of three records of 500, 1000 and 1500 samples
  record(2, 500, 200);
  s->recordFileVersion = kVersionCA40;
  s->recordCount = 3;
  const std::string cad = dir.file("three.cad");
  {
    const int fd = ::open(cad.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_TRUE(writeHeader(*s, fd));
    for (int n : {500, 1000, 1500}) {
      s->recordLength = n;
      for (int i = 0; i < n; ++i) s->channelData[0][i] = static_cast<std::int16_t>((i * 11 + n) % 4000);
      for (int i = 0; i < n; ++i) s->channelData[1][i] = static_cast<std::int16_t>(4000 - (i * 13 + n) % 4000);
      ASSERT_TRUE(writeRecord(*s, fd));
    }
    ::close(fd);
  }
  ASSERT_TRUE(open(cad));
  ASSERT_TRUE(stepRecord(*s, +1, ui));
  s->channelData[0][0] = 3333;  // a change in memory is what gets exported
  s->recordModified = 1;
  const std::string out = dir.file("two.edf");
  ASSERT_TRUE(saveFile(*s, FileKind::Records, out, ui));
  EXPECT_EQ(s->currentRecord, 2);
  EXPECT_EQ(s->recordModified, 1);
  EXPECT_TRUE(ui.questions.empty());
  const std::string b = readBytes(out);
  EXPECT_EQ(field(b, 236, 8), "5       ");  // 2500 samples in records of gcd(1000, 1500) = 500
  EXPECT_EQ(field(b, 244, 8), "2.5     ");
  std::vector<double> want;
  for (int i = 0; i < 1000; ++i) want.push_back(s->physicalValue(i, 0));
  for (int i = 0; i < 1500; ++i) want.push_back(((i * 11 + 1500) % 4000 - 2048) * 100.0 / 2047);
  ASSERT_TRUE(open(out));
  ASSERT_EQ(s->recordLength, 2500);
  for (int i = 0; i < 2500; ++i) ASSERT_NEAR(shown(*s, 0, i), want[static_cast<std::size_t>(i)], 100.0 / 2047 / 2 * 1.01) << i;
}

TEST_F(Export, FromAnOpenEdfAllPagesAndFailures) {
  Spec e;
  e.recordCount = 200;
  e.sigs = {ramp("EEG Fp1", 256, 200, [](long long k) { return (k * 13) % 60000 - 30000; })};
  const std::string src = put("long.edf", build(e));
  ASSERT_TRUE(open(src));
  ui.messages.clear();
  EXPECT_FALSE(saveFile(*s, FileKind::Records, src, ui));  // never over the open file
  EXPECT_EQ(ui.messages.size(), 1u);
  EXPECT_FALSE(saveFile(*s, FileKind::Records, dir.file("no/such/dir/x.edf"), ui));
  ASSERT_EQ(ui.messages.size(), 2u);
  EXPECT_NE(ui.messages[1].find("не записан"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(dir.file("no")));
  const std::string out = dir.file("copy.edf");
  ASSERT_TRUE(saveFile(*s, FileKind::Records, out, ui));
  EXPECT_EQ(ui.messages.size(), 2u);
  ASSERT_TRUE(open(out));
  EXPECT_EQ(s->recordCount, 2);
  for (int p = 1; p <= 2; ++p) {
    if (p == 2) {
      ASSERT_TRUE(stepRecord(*s, +1, ui));
    }
    for (int i = 0; i < s->recordLength; i += 53) {
      const long long k = (p - 1) * 32000LL + i;
      EXPECT_NEAR(shown(*s, 0, i), published(e.sigs[0], (k * 13) % 60000 - 30000), 0.11) << p << ":" << i;
    }
  }
}

// --- recordings of other systems ----------------------------------------------------------------

// The published mapping applied to the raw bytes of a file, as a check
// independent of the reader: value of sample k of signal `sig`.
struct RawEdf {
  std::string b;
  int w = 2, ns = 0;
  long long hb = 0, rec = 0, recBytes = 0;
  std::vector<long long> spr, offset;
  std::vector<double> pmin, pmax, dmin, dmax;
  std::vector<std::string> labels;
  std::vector<double> micro;  // microvolts per header unit (1 for other units)
  explicit RawEdf(const std::string& path, int width) : b(readBytes(path)), w(width) {
    auto num = [&](std::size_t at, std::size_t n) { return std::stod(trimSpaces(b.substr(at, n))); };
    ns = static_cast<int>(num(252, 4));
    hb = static_cast<long long>(num(184, 8));
    rec = static_cast<long long>(num(236, 8));
    const std::size_t n = static_cast<std::size_t>(ns);
    for (std::size_t i = 0; i < n; ++i) {
      labels.push_back(trimSpaces(b.substr(256 + 16 * i, 16)));
      const std::string dim = trimSpaces(b.substr(256 + n * 96 + 8 * i, 8));
      micro.push_back(dim == "mV" ? 1000.0 : dim == "V" ? 1e6 : 1.0);
      pmin.push_back(num(256 + n * 104 + 8 * i, 8));
      pmax.push_back(num(256 + n * 112 + 8 * i, 8));
      dmin.push_back(num(256 + n * 120 + 8 * i, 8));
      dmax.push_back(num(256 + n * 128 + 8 * i, 8));
      spr.push_back(static_cast<long long>(num(256 + n * 216 + 8 * i, 8)));
      offset.push_back(recBytes);
      recBytes += spr.back() * w;
    }
  }
  double value(int sig, long long k) const {
    const auto s = static_cast<std::size_t>(sig);
    const long long r = k / spr[s], i = k % spr[s];
    const std::size_t at = static_cast<std::size_t>(hb + r * recBytes + offset[s] + i * w);
    long long v = 0;
    for (int j = 0; j < w; ++j) v |= static_cast<long long>(static_cast<unsigned char>(b[at + static_cast<std::size_t>(j)])) << (8 * j);
    if (v & (1LL << (8 * w - 1))) v -= 1LL << (8 * w);
    return (pmin[s] + (static_cast<double>(v) - dmin[s]) * (pmax[s] - pmin[s]) / (dmax[s] - dmin[s])) * micro[s];
  }
  double step(int sig) const {
    const auto s = static_cast<std::size_t>(sig);
    return std::fabs((pmax[s] - pmin[s]) / (dmax[s] - dmin[s])) * micro[s];
  }
};

struct RealFile {
  const char* path;
  int width;
};

class RealRecordings : public Fixture, public ::testing::WithParamInterface<RealFile> {};

TEST_P(RealRecordings, NamesRateAndEveryValueOfEveryPage) {
  const RealFile& f = GetParam();
  const std::string path = test::sharedData(f.path);
  const std::string factsPath = test::sharedData("facts.json");
  if (path.empty() || factsPath.empty()) GTEST_SKIP() << "shared recordings not present";
  const auto facts = nlohmann::json::parse(readBytes(factsPath))[f.path];
  ASSERT_TRUE(open(path)) << (ui.messages.empty() ? "" : ui.messages[0]);

  // channels: the data signals (annotations left out), at most 64, named by the label rule
  std::vector<int> dataSignals;
  const auto& sigs = facts["signals"];
  for (std::size_t i = 0; i < sigs.size(); ++i) {
    const std::string label = sigs[i]["label"];
    if (label != "EDF Annotations" && label != "BDF Annotations") dataSignals.push_back(static_cast<int>(i));
  }
  const int channels = std::min<int>(64, static_cast<int>(dataSignals.size()));
  ASSERT_EQ(s->channelCount, channels);
  for (int c = 0; c < channels; ++c)
    EXPECT_EQ(s->channelNames[static_cast<std::size_t>(c)], edfChannelName(sigs[static_cast<std::size_t>(dataSignals[static_cast<std::size_t>(c)])]["label"]));
  EXPECT_EQ(s->sampleRate, static_cast<int>(facts["mne"]["sfreq"].get<double>()));
  EXPECT_EQ(s->markChannelCount, facts["mne"]["n_annotations"].get<int>() > 0 ? 1 : 0);

  // the values other readers give for the first samples, within one digital
  // step (16-bit files) or one code (wider samples, which 16-bit codes hold coarser)
  const RawEdf raw(path, f.width);
  const int sig0 = dataSignals[0];
  const double tolerance0 = f.width == 2 ? raw.step(sig0) : codeStep(*s, 0);
  const auto first5 = facts["ch1_first5_physical"];
  for (int i = 0; i < 5; ++i) EXPECT_NEAR(shown(*s, 0, i), first5[static_cast<std::size_t>(i)].get<double>(), tolerance0) << i;

  // every sample of every page against the raw bytes
  long long start = 0;
  for (int page = 1; page <= s->recordCount; ++page) {
    if (page > 1) {
      ASSERT_TRUE(stepRecord(*s, +1, ui));
    }
    for (int c = 0; c < channels; ++c) {
      const int sig = dataSignals[static_cast<std::size_t>(c)];
      const double code = codeStep(*s, c);
      const double tol = code * 0.5 * (1 + 1e-9) + 1e-9;
      if (f.width == 2) {
        EXPECT_LE(code, 2.001 * raw.step(sig)) << "channel " << c;  // within one digital step
      }
      long long maxSpr = 0;
      for (int d : dataSignals) maxSpr = std::max(maxSpr, raw.spr[static_cast<std::size_t>(d)]);
      int worst = -1;
      double worstErr = 0;
      for (int i = 0; i < s->recordLength; ++i) {
        const long long frame = start + i;
        const long long k = frame / maxSpr * raw.spr[static_cast<std::size_t>(sig)] + frame % maxSpr * raw.spr[static_cast<std::size_t>(sig)] / maxSpr;
        const std::int16_t stored = s->channelData[static_cast<std::size_t>(c)][i];
        ASSERT_NE(stored, kMarkCode) << "a value reads as a mark";
        const double err = std::fabs(shown(*s, c, i) - raw.value(sig, k));
        // a value next to the mark code is moved by one code
        const double allowed = (stored == kMarkCode - 1 || stored == kMarkCode + 1) ? code + 1e-9 : tol;
        if (err > allowed && err > worstErr) worstErr = err, worst = i;
      }
      EXPECT_EQ(worst, -1) << f.path << " page " << page << " channel " << c << " error " << worstErr;
    }
    start += s->recordLength;
  }
  EXPECT_EQ(start, facts["mne"]["n_times"].get<long long>());
}

INSTANTIATE_TEST_SUITE_P(
    SharedData, RealRecordings,
    ::testing::Values(RealFile{"eegmat/Subject00_1.edf", 2}, RealFile{"eegmat/Subject00_2.edf", 2},
                      RealFile{"mne-testing-data/test_edf_overlapping_annotations.edf", 2},
                      RealFile{"mne-python/test_edf_stim_channel.edf", 2},
                      RealFile{"mne-python/test_bdf_stim_channel.bdf", 3}, RealFile{"mne-python/test.bdf", 3},
                      RealFile{"mne-testing-data/multiple_annotation_chans.bdf", 3}),
    [](const auto& info) {
      std::string n = info.param.path;
      for (char& ch : n)
        if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
      return n;
    });

TEST_F(Fixture, RealAnnotationsLandOnTheirSamples) {
  const std::string path = test::sharedData("mne-testing-data/test_edf_overlapping_annotations.edf");
  if (path.empty()) GTEST_SKIP() << "shared recordings not present";
  ASSERT_TRUE(open(path));
  const auto notes = edfPageAnnotations(*s);
  ASSERT_EQ(notes.size(), 38u);  // T0 19, T1 10, T2 9
  const std::pair<int, const char*> first[] = {{0, "T0"}, {176, "T1"}, {832, "T0"}, {1008, "T2"}, {1664, "T0"}};
  for (std::size_t i = 0; i < 5; ++i) {
    EXPECT_EQ(notes[i].sample, first[i].first);
    EXPECT_EQ(notes[i].text, first[i].second);
  }
  EXPECT_DOUBLE_EQ(notes[1].duration, 5.125);
}


// --- velor-cli ---------------------------------------------------------------------------------------

namespace cli {

std::string q(const std::string& s) { return "'" + s + "'"; }

struct Outcome {
  int status;
  std::string out, err;
};

Outcome run(const std::string& args) {
  Outcome o;
  o.status = test::runCommand(std::string(VELOR_CLI_PATH) + " " + args, &o.out, &o.err);
  return o;
}

std::vector<std::vector<double>> csv(const std::string& text, std::vector<std::string>* names = nullptr) {
  std::vector<std::vector<double>> rows;
  std::istringstream in(text);
  std::string line;
  bool first = true;
  while (std::getline(in, line)) {
    std::vector<double> row;
    std::istringstream cells(line);
    std::string cell;
    while (std::getline(cells, cell, ',')) {
      if (first) {
        if (names) names->push_back(cell);
      } else {
        row.push_back(std::stod(cell));
      }
    }
    if (!first) rows.push_back(row);
    first = false;
  }
  return rows;
}

}  // namespace cli

TEST(EdfCli, InfoDumpAndConvertOfARealRecording) {
  const std::string path = test::sharedData("eegmat/Subject00_1.edf");
  if (path.empty()) GTEST_SKIP() << "shared recordings not present";
  TempDir dir;
  const cli::Outcome info = cli::run("info --json " + cli::q(path));
  ASSERT_EQ(info.status, 0) << info.err;
  const auto j = nlohmann::json::parse(info.out);
  EXPECT_EQ(j["format"], "edf");
  EXPECT_EQ(j["channelCount"], 21);
  EXPECT_EQ(j["sampleRate"], 500);
  EXPECT_EQ(j["recordCount"], 3);  // pages of 64 one-second records
  EXPECT_EQ(j["records"].size(), 3u);
  EXPECT_EQ(j["records"][2]["recordLength"], 91000 - 64000);
  EXPECT_EQ(j["channels"][20]["name"], "ECG");
  EXPECT_EQ(j["channels"][20]["dimension"], "mV");

  // page 2 starts at sample 32000 of the recording
  const RawEdf raw(path, 2);
  std::vector<std::string> names;
  const cli::Outcome page2 = cli::run("dump --record 2 --channels 0,20 " + cli::q(path));
  ASSERT_EQ(page2.status, 0) << page2.err;
  const auto rows = cli::csv(page2.out, &names);
  EXPECT_EQ(names, (std::vector<std::string>{"Fp1", "ECG", "mark"}));
  ASSERT_EQ(rows.size(), 32000u);
  for (std::size_t i = 0; i < rows.size(); i += 101) {
    EXPECT_NEAR(rows[i][0], raw.value(0, 32000 + static_cast<long long>(i)), raw.step(0));
    EXPECT_NEAR(rows[i][1], raw.value(20, 32000 + static_cast<long long>(i)), raw.step(20));
  }
  EXPECT_EQ(cli::run("dump --record 4 " + cli::q(path)).status, 2);

  // to a record file of three records and back to EDF: the same values
  const std::string cad = dir.file("s.cad"), edf = dir.file("s.edf"), udf = dir.file("s.udf");
  ASSERT_EQ(cli::run("convert " + cli::q(path) + " " + cli::q(cad)).status, 0);
  const auto cadInfo = nlohmann::json::parse(cli::run("info --json " + cli::q(cad)).out);
  EXPECT_EQ(cadInfo["format"], "cad");
  EXPECT_EQ(cadInfo["recordCount"], 3);
  EXPECT_EQ(cadInfo["markChannelCount"], 1);
  ASSERT_EQ(cli::run("convert " + cli::q(cad) + " " + cli::q(edf)).status, 0);
  ASSERT_EQ(cli::run("convert " + cli::q(path) + " " + cli::q(udf)).status, 0);
  EXPECT_EQ(nlohmann::json::parse(cli::run("info --json " + cli::q(udf)).out)["format"], "udf");
  const auto back = cli::csv(cli::run("dump --record 2 --channels 0,20 " + cli::q(edf)).out);
  ASSERT_EQ(back.size(), 32000u);
  for (std::size_t i = 0; i < back.size(); i += 101) {
    EXPECT_NEAR(back[i][0], rows[i][0], 2 * raw.step(0));
    EXPECT_NEAR(back[i][1], rows[i][1], 2 * raw.step(20));
  }
}

TEST(EdfCli, HostileFileIsRefusedInOneLine) {
  TempDir dir;
  const std::string bad = dir.file("bad.edf");
  Spec e;
  e.sigs = {ramp("EEG Fp1", 4, 1, [](long long k) { return k; })};
  e.records = "9";
  writeBytes(bad, build(e));
  for (const std::string cmd : {"info ", "dump ", "convert "}) {
    const cli::Outcome o = cli::run(cmd + cli::q(bad) + (cmd == "convert " ? " " + cli::q(dir.file("x.cad")) : ""));
    EXPECT_EQ(o.status, 1) << cmd;
    EXPECT_EQ(std::count(o.err.begin(), o.err.end(), '\n'), 1) << o.err;
    EXPECT_NE(o.err.find("короче"), std::string::npos) << o.err;
  }
  EXPECT_FALSE(std::filesystem::exists(dir.file("x.cad")));
}

// An exported file as another reader sees it; only where MNE is installed.
TEST(EdfCli, ExportReadBackByMne) {
  const std::string path = test::sharedData("eegmat/Subject00_2.edf");
  if (path.empty()) GTEST_SKIP() << "shared recordings not present";
  if (test::runCommand("/usr/bin/python3 -c 'import mne'", nullptr, nullptr) != 0) GTEST_SKIP() << "MNE not installed";
  TempDir dir;
  const std::string out = dir.file("x.edf");
  ASSERT_EQ(cli::run("convert " + cli::q(path) + " " + cli::q(out)).status, 0);
  const std::string script = dir.file("r.py");
  writeBytes(script,
             "import sys, mne\n"
             "r = mne.io.read_raw_edf(sys.argv[1], preload=True, verbose=False)\n"
             "d = r.get_data(picks=[0, 20]) * 1e6\n"
             "print(r.info['sfreq'], r.n_times)\n"
             "for i in range(0, r.n_times, 97): print('%.9g,%.9g' % (d[0][i], d[1][i]))\n");
  std::string text;
  ASSERT_EQ(test::runCommand("/usr/bin/python3 " + cli::q(script) + " " + cli::q(out), &text, nullptr), 0);
  std::istringstream in(text);
  double sfreq = 0;
  long long n = 0;
  in >> sfreq >> n;
  EXPECT_EQ(sfreq, 500.0);
  EXPECT_EQ(n, 31000);
  const auto ours = cli::csv(cli::run("dump --channels 0,20 " + cli::q(out)).out);
  std::string line;
  std::getline(in, line);
  for (long long i = 0; std::getline(in, line) && i < 31000; i += 97) {
    const double a = std::stod(line.substr(0, line.find(','))), b = std::stod(line.substr(line.find(',') + 1));
    EXPECT_NEAR(a, ours[static_cast<std::size_t>(i)][0], 3e-3);
    EXPECT_NEAR(b, ours[static_cast<std::size_t>(i)][1], 1e-2);
  }
}

}  // namespace
}  // namespace velor

namespace velor {
namespace {

// Channels whose labels name electrodes are EEG on the head scheme without
// any "eeg20.ini"; labels of other kinds give those kinds; the table, when
// present, still decides for the names it holds.
TEST_F(Fixture, LabelsPlaceChannelsUnlessTheElectrodeTableNamesThem) {
  Spec e;
  for (const char* label : {"EEG Fp1-REF", "FP2", "T7", "ECG II", "EOG left", "Resp chest", "Status"})
    e.sigs.push_back(ramp(label, 10, 1, [](long long k) { return k; }));
  const std::string path = put("labels.edf", build(e));
  ASSERT_TRUE(open(path)) << (ui.messages.empty() ? "" : ui.messages.back());
  struct Want {
    int x, y;
  };
  const Want want[] = {{23, 7}, {39, 7}, {6, 31}, {kKindEcg, 0}, {kKindEog, 0}, {kKindBreathing, 0}, {kKindEcg, 0}};
  for (int c = 0; c < 7; ++c) {
    SCOPED_TRACE(c);
    EXPECT_EQ(s->channelPosX[static_cast<std::size_t>(c)], want[c].x);
    if (want[c].x <= 128) EXPECT_EQ(s->channelPosY[static_cast<std::size_t>(c)], want[c].y);
  }
  closeRecordFile(*s);

  // "eeg20.ini": a first line, then groups of a name and four bytes.
  writeBytes(s->programDir + "eeg20.ini", "x\nStatu\n250\n0\n0\n0\nT7\n5\n30\n0\n0\n");
  ASSERT_TRUE(open(path));
  EXPECT_EQ(s->channelPosX[6], kKindBreathing);  // named by the table
  EXPECT_EQ(s->channelPosX[2], 5);               // the table's place wins over the label's
  EXPECT_EQ(s->channelPosX[0], 23);              // not in the table: by its label
}

}  // namespace
}  // namespace velor
