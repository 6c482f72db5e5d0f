// velor-cli spectrum and bands as a user runs them.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <memory>
#include <numbers>
#include <sstream>
#include <string>
#include <vector>

#include "core/interaction.h"
#include "core/record_file.h"
#include "core/study_state.h"
#include "tools/demo_study.h"
#include "cli_support.h"
#include "test_support.h"

namespace {

using velor::test::runCommand;
using velor::test::TempDir;
using velor::test::writeBytes;
using velor::test::CliRun;
using velor::test::expectOneLineFailure;
CliRun run(const std::string& args) { return velor::test::runCli(args); }

struct Csv {
  std::vector<std::string> header;
  std::vector<std::vector<double>> rows;
  std::vector<std::vector<std::string>> cells;
  int column(const std::string& name) const {
    for (std::size_t i = 0; i < header.size(); ++i)
      if (header[i] == name) return static_cast<int>(i);
    ADD_FAILURE() << "no column " << name;
    return 0;
  }
};

std::vector<std::string> split(const std::string& line) {
  std::vector<std::string> out;
  std::stringstream in(line);
  std::string cell;
  while (std::getline(in, cell, ',')) out.push_back(cell);
  if (!line.empty() && line.back() == ',') out.emplace_back();
  return out;
}

Csv parse(const std::string& text) {
  Csv c;
  std::stringstream in(text);
  std::string line;
  std::getline(in, line);
  c.header = split(line);
  while (std::getline(in, line)) {
    c.cells.push_back(split(line));
    std::vector<double> v;
    for (const auto& cell : c.cells.back()) v.push_back(std::strtod(cell.c_str(), nullptr));
    c.rows.push_back(v);
  }
  return c;
}

// Three channels at 256 Hz, 1024 samples: C3 a 10 Hz cosine of 1000 codes,
// C4 the same, O1 a 20 Hz cosine of 500 codes; lead pairs C3-C4 and C3-O1.
std::string writeCosines(const TempDir& dir, bool pairs = true) {
  auto s = std::make_unique<velor::StudyState>();
  s->channelCount = 3;
  s->sampleRate = 256;
  s->recordLength = 1024;
  const char* names[] = {"C3", "C4", "O1"};
  for (int c = 0; c < 3; ++c) {
    s->channelNames[static_cast<std::size_t>(c)] = names[c];
    s->zeroLevel[c] = 2048;
    s->calibUnits[c] = 2047;
    s->calibValue[c] = 100;
  }
  for (int i = 0; i < 1024; ++i) {
    const double t = static_cast<double>(i) / 256;
    const auto c10 = static_cast<std::int16_t>(std::lround(2048 + 1000 * std::cos(2 * std::numbers::pi * 10 * t)));
    s->channelData[0][i] = c10;
    s->channelData[1][i] = c10;
    s->channelData[2][i] = static_cast<std::int16_t>(std::lround(2048 + 500 * std::cos(2 * std::numbers::pi * 20 * t)));
  }
  if (pairs) {
    s->leadPairs[0] = {1, 2};
    s->leadPairs[1] = {1, 3};
    s->leadPairCount = 2;
  }
  velor::ScriptedInteraction ui;
  const std::string path = dir.file(pairs ? "cos.cad" : "nopairs.cad");
  EXPECT_TRUE(velor::saveRecords(*s, path, ui));
  return path;
}

std::size_t peakRow(const Csv& c, int column) {
  std::size_t best = 0;
  for (std::size_t r = 0; r < c.rows.size(); ++r)
    if (c.rows[r][static_cast<std::size_t>(column)] > c.rows[best][static_cast<std::size_t>(column)]) best = r;
  return best;
}

TEST(CliSpectrum, AmplitudesPerBinInMicrovolts) {
  TempDir dir;
  const std::string file = writeCosines(dir);
  const CliRun r = run("spectrum '" + file + "'");
  ASSERT_EQ(r.status, 0) << r.err;
  const Csv c = parse(r.out);
  ASSERT_EQ(c.header, (std::vector<std::string>{"bin", "freq", "C3", "C4", "O1"}));
  ASSERT_EQ(c.rows.size(), 128u);  // the settings' epoch of 256 samples
  for (std::size_t i = 0; i < c.rows.size(); ++i) {
    EXPECT_EQ(c.rows[i][0], static_cast<double>(i + 1));
    EXPECT_DOUBLE_EQ(c.rows[i][1], static_cast<double>(i + 1));  // 256 Hz / 256 samples
  }
  // 1000 codes of 2047 per 100 µV: twice the amplitude, as the view shows it.
  EXPECT_EQ(peakRow(c, 2), 9u);
  EXPECT_NEAR(c.rows[9][2], 2000 / 2047.0 * 100, 2);
  EXPECT_EQ(peakRow(c, 4), 19u);
  EXPECT_NEAR(c.rows[19][4], 1000 / 2047.0 * 100, 2);
  EXPECT_LT(c.rows[30][2], 1);
}

TEST(CliSpectrum, RawCodesEpochsAndLengths) {
  TempDir dir;
  const std::string file = writeCosines(dir);
  CliRun r = run("spectrum '" + file + "' --raw");
  ASSERT_EQ(r.status, 0) << r.err;
  Csv c = parse(r.out);
  EXPECT_NEAR(c.rows[9][2], 2000, 41);
  EXPECT_EQ(c.cells[9][2].find('.'), std::string::npos) << "codes are integers";

  r = run("spectrum '" + file + "' --epoch 2 --epoch-length 512");
  ASSERT_EQ(r.status, 0) << r.err;
  c = parse(r.out);
  ASSERT_EQ(c.rows.size(), 256u);
  EXPECT_DOUBLE_EQ(c.rows[0][1], 0.5);
  EXPECT_EQ(peakRow(c, 2), 19u);  // 10 Hz is bin 20 of 512

  r = run("spectrum '" + file + "' --window 1 --averaged 2");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(peakRow(parse(r.out), 4), 19u);
}

TEST(CliSpectrum, PowerIsScaledAsTheTransformViewShowsIt) {
  TempDir dir;
  const std::string file = writeCosines(dir);
  const CliRun r = run("spectrum '" + file + "' --kind 1 --raw");
  ASSERT_EQ(r.status, 0) << r.err;
  const Csv c = parse(r.out);
  // The squares are shifted right just enough for the largest to fit 12 bits.
  const double peak = c.rows[peakRow(c, 2)][2];
  EXPECT_EQ(peakRow(c, 2), 9u);
  EXPECT_LE(peak, 4095);
  EXPECT_GE(peak, 2048);
}

TEST(CliSpectrum, LeadPairMeasures) {
  TempDir dir;
  const std::string file = writeCosines(dir);
  CliRun r = run("spectrum '" + file + "' --kind 4 --averaged 3");
  ASSERT_EQ(r.status, 0) << r.err;
  Csv c = parse(r.out);
  ASSERT_EQ(c.header, (std::vector<std::string>{"bin", "freq", "C3-C4", "C3-O1"}));
  EXPECT_DOUBLE_EQ(c.rows[9][2], 1.0) << "identical channels are fully coherent at 10 Hz";

  r = run("spectrum '" + file + "' --kind 3");
  ASSERT_EQ(r.status, 0) << r.err;
  c = parse(r.out);
  EXPECT_NEAR(c.rows[9][2], 90, 1) << "same phase: 90° on this scale";

  // A file without lead pairs: the phase is per channel, pair kinds are refused.
  const std::string single = writeCosines(dir, false);
  r = run("spectrum '" + single + "' --kind 3");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(parse(r.out).header.size(), 5u);
  expectOneLineFailure(run("spectrum '" + single + "' --kind 4"), 2);
}

TEST(CliSpectrum, WrongArgumentsAndFilesFailInOneLine) {
  TempDir dir;
  const std::string file = writeCosines(dir);
  struct Case {
    std::string args;
    int status;
  };
  const Case cases[] = {
      {"spectrum '" + dir.file("missing.cad") + "'", 1},
      {"spectrum '" + file + "' --record 2", 2},
      {"spectrum '" + file + "' --epoch 5", 2},           // four epochs of 256
      {"spectrum '" + file + "' --epoch 0", 2},
      {"spectrum '" + file + "' --epoch 99999999", 2},
      {"spectrum '" + file + "' --epoch-length 1000", 2},
      {"spectrum '" + file + "' --epoch-length 2048", 2},  // longer than the record
      {"spectrum '" + file + "' --kind 6", 2},
      {"spectrum '" + file + "' --window 11", 2},
      {"spectrum '" + file + "' --averaged -1", 2},
      {"bands '" + file + "' --measure 4", 2},
      {"bands '" + file + "' --dia '" + dir.file("none.dia") + "'", 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args);
    const CliRun r = run(c.args);
    expectOneLineFailure(r, c.status);
    EXPECT_TRUE(r.out.empty());
  }
  writeBytes(dir.file("notes.cad"), "not a record file at all");
  expectOneLineFailure(run("spectrum '" + dir.file("notes.cad") + "'"), 1);
}

// --- bands ----------------------------------------------------------------------------------------

std::string writeDemo(const TempDir& dir) {
  auto s = std::make_unique<velor::StudyState>();
  velor::DemoStudyOptions o;
  o.records = 1;
  o.seconds = 16;
  velor::NoProgress progress;
  std::string reason;
  const std::string path = dir.file("demo.cad");
  EXPECT_TRUE(velor::writeDemoStudy(*s, path, o, progress, reason)) << reason;
  return path;
}

TEST(CliBands, AlphaOfTheDemoStudyIsLargestOverTheBackOfTheHead) {
  TempDir dir;
  const CliRun r = run("bands '" + writeDemo(dir) + "'");
  ASSERT_EQ(r.status, 0) << r.err;
  const Csv c = parse(r.out);
  ASSERT_GE(c.header.size(), 4u);
  EXPECT_EQ(c.header[0], "epoch");
  EXPECT_EQ(c.header[1], "band");
  const int epochs = 16 * 250 / 256;
  ASSERT_EQ(c.rows.size(), static_cast<std::size_t>(epochs * 5));
  std::map<std::string, double> alpha;
  for (std::size_t i = 0; i < c.rows.size(); ++i) {
    EXPECT_EQ(c.rows[i][0], static_cast<double>(i / 5 + 1));
    if (c.cells[i][1] != "Альфа") continue;
    for (const char* lead : {"O1", "O2", "Fp1", "Fp2"}) alpha[lead] += c.rows[i][static_cast<std::size_t>(c.column(lead))];
  }
  EXPECT_GT(std::min(alpha["O1"], alpha["O2"]), 2 * std::max(alpha["Fp1"], alpha["Fp2"]));
}

TEST(CliBands, RealEegFromAnEdfFileHasItsAlphaOverTheBackOfTheHead) {
  const std::string path = velor::test::sharedData("eegmat/Subject00_1.edf");
  if (path.empty()) GTEST_SKIP() << "shared recordings not present";
  // The settings' epoch of 256 samples, whatever the EDF reader chose.
  const CliRun spectrum = run("spectrum '" + path + "' --record 2");
  ASSERT_EQ(spectrum.status, 0) << spectrum.err;
  const Csv s = parse(spectrum.out);
  ASSERT_EQ(s.rows.size(), 128u);
  EXPECT_DOUBLE_EQ(s.rows[0][1], 500.0 / 256);
  EXPECT_EQ(s.header[2], "Fp1");

  const CliRun r = run("bands '" + path + "'");
  ASSERT_EQ(r.status, 0) << r.err;
  const Csv c = parse(r.out);
  std::map<std::string, double> alpha;
  for (std::size_t i = 0; i < c.rows.size(); ++i)
    if (c.cells[i][1] == "Альфа")
      for (const char* lead : {"O1", "O2", "Fp1", "Fp2"}) alpha[lead] += c.rows[i][static_cast<std::size_t>(c.column(lead))];
  EXPECT_GT(std::min(alpha["O1"], alpha["O2"]), std::max(alpha["Fp1"], alpha["Fp2"]));
  expectOneLineFailure(run("bands '" + path + "' --record 4"), 2);  // three pages
}

TEST(CliBands, BandFileAndPeakFrequencies) {
  TempDir dir;
  const std::string file = writeCosines(dir);
  writeBytes(dir.file("two.dia"), "low\r\n5\r\n15\r\nhigh\r\n15,5\r\n25\r\n");
  const CliRun r = run("bands '" + file + "' --dia '" + dir.file("two.dia") + "' --measure 3");
  ASSERT_EQ(r.status, 0) << r.err;
  const Csv c = parse(r.out);
  ASSERT_EQ(c.rows.size(), 4u * 2);  // four epochs, two bands
  for (std::size_t i = 0; i < c.rows.size(); ++i) {
    const bool low = c.cells[i][1] == "low";
    // The frequency of the largest value: 10 Hz for C3 in the low band, 20 Hz for O1 in the high one.
    if (low) {
      EXPECT_NEAR(c.rows[i][2], 10, 1.0) << i;
    } else {
      EXPECT_NEAR(c.rows[i][4], 20, 1.0) << i;
    }
  }

  // Pair measures are per lead pair.
  const CliRun pairs = run("bands '" + file + "' --dia '" + dir.file("two.dia") + "' --kind 4 --measure 1");
  ASSERT_EQ(pairs.status, 0) << pairs.err;
  const Csv p = parse(pairs.out);
  EXPECT_EQ(p.header, (std::vector<std::string>{"epoch", "band", "C3-C4", "C3-O1"}));
  EXPECT_DOUBLE_EQ(p.rows[0][2], 1.0);
}

TEST(CliBands, EmptyAndOversizedBandFiles) {
  TempDir dir;
  const std::string file = writeCosines(dir);
  writeBytes(dir.file("empty.dia"), "\r\n1\r\n2\r\n");
  const CliRun empty = run("bands '" + file + "' --dia '" + dir.file("empty.dia") + "'");
  expectOneLineFailure(empty, 1);
  EXPECT_NE(empty.err.find("Не установлены частотные диапазоны!"), std::string::npos) << empty.err;

  std::string many;
  for (int i = 1; i <= 32; ++i) many += "b" + std::to_string(i) + "\r\n1\r\n100\r\n";
  writeBytes(dir.file("many.dia"), many);
  const CliRun r = run("bands '" + file + "' --dia '" + dir.file("many.dia") + "'");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_FALSE(r.err.empty()) << "says that only 30 were read";
  EXPECT_EQ(parse(r.out).rows.size(), 4u * 30);
}

}  // namespace
