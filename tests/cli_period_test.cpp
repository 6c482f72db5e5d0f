// velor-cli period as a user runs it: one channel's summary and wave list,
// the all-channels table, and refusals of a wrong command line.
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
#include "eeg/period_texts.h"
#include "cli_support.h"
#include "test_support.h"

namespace {

using velor::test::runCommand;
using velor::test::TempDir;
using velor::test::CliRun;
CliRun run(const std::string& args) { return velor::test::runCli(args); }

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  std::stringstream in(text);
  std::string line;
  while (std::getline(in, line)) out.push_back(line);
  return out;
}

// O1 a 10 Hz sine at 100 Hz over 10 s, F3 flat.
std::string writeAlpha(const TempDir& dir) {
  auto s = std::make_unique<velor::StudyState>();
  velor::ScriptedInteraction ui;
  s->channelCount = 2;
  s->recordLength = 1000;
  s->sampleRate = 100;
  s->channelNames[0] = "O1";
  s->channelNames[1] = "F3";
  for (int i = 0; i < 1000; ++i) {
    s->channel(0)[i] = static_cast<std::int16_t>(std::lround(2048 + 400 * std::sin(2 * std::numbers::pi * i / 10)));
    s->channel(1)[i] = 2048;
  }
  const std::string path = dir.file("alpha.cad");
  EXPECT_TRUE(velor::saveRecords(*s, path, ui));
  return path;
}

TEST(CliPeriod, OneChannelAndAllChannels) {
  TempDir dir;
  const std::string path = writeAlpha(dir);
  CliRun r = run("period '" + path + "' --band 8 13");
  ASSERT_EQ(r.status, 0) << r.err;
  const auto out = lines(r.out);
  ASSERT_GE(out.size(), 50u);
  EXPECT_EQ(out[0].rfind(velor::period_text::kRhythmFound, 0), 0u) << out[0];
  EXPECT_EQ(out[2].rfind(velor::period_text::kMeanPeriod, 0), 0u) << out[2];
  EXPECT_EQ(out[3], velor::period_text::kWaveListHead);
  // nothing written beside the record
  EXPECT_TRUE(velor::test::readBytes(dir.file("alpha.doc")).empty());

  r = run("period '" + path + "' --band 8 13 --channel 2");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(lines(r.out)[0], velor::period_text::kNoRhythm);

  r = run("period '" + path + "' --band 8 13 --all");
  ASSERT_EQ(r.status, 0) << r.err;
  const auto table = lines(r.out);
  ASSERT_EQ(table.size(), 3u);
  EXPECT_EQ(table[0], velor::period_text::kAllChannelsHeadLine);
  EXPECT_EQ(table[1].rfind("O1 ", 0), 0u);
  EXPECT_EQ(table[2].rfind("F3 ", 0), 0u);
}

// Background EEG before a task: the alpha waves are largest over the
// occiput, smaller frontally, and their frequency lies inside the band.
TEST(CliPeriod, RealRestingEegHasItsAlphaBehind) {
  const std::string path = velor::test::sharedData("eegmat/Subject00_1.edf");
  if (path.empty()) GTEST_SKIP() << "shared recordings not present";
  const CliRun r = run("period '" + path + "' --band 8 13 --all");
  ASSERT_EQ(r.status, 0) << r.err;
  std::map<std::string, std::vector<double>> rows;
  for (const std::string& line : lines(r.out)) {
    std::stringstream in(line);
    std::string name;
    in >> name;
    std::vector<double> v;
    double x = 0;
    while (in >> x) v.push_back(x);
    if (v.size() == 10) rows[name] = v;
  }
  ASSERT_TRUE(rows.count("O2") && rows.count("Fp1") && rows.count("O1"));
  EXPECT_GT(rows["O2"][0], 1.5 * rows["Fp1"][0]);  // A, µV
  EXPECT_GT(rows["O1"][0], rows["Fp1"][0]);
  for (const char* lead : {"O1", "O2", "Fp1"}) {
    EXPECT_GT(rows[lead][2], 8.0) << lead;  // f, Hz
    EXPECT_LT(rows[lead][2], 13.0) << lead;
  }
}

TEST(CliPeriod, WrongCommandLines) {
  TempDir dir;
  const std::string path = writeAlpha(dir);
  const std::pair<std::string, int> cases[] = {
      {"period '" + path + "' --band 13 8", 2},
      {"period '" + path + "' --band 0 0", 2},
      {"period '" + path + "' --band 8 13 --channel 3", 2},
      {"period '" + path + "' --band 8 13 --record 2", 2},
      {"period '" + dir.file("missing.cad") + "' --band 8 13", 1},
  };
  for (const auto& [args, status] : cases) {
    const CliRun r = run(args);
    EXPECT_EQ(r.status, status) << args << ": " << r.err;
    ASSERT_FALSE(r.err.empty()) << args;
    EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;
  }
}

}  // namespace
