// velor-cli filter-design and filter as a user runs them.
#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "acquisition/filter_design.h"
#include "core/binio.h"
#include "core/record_file.h"
#include "core/study_state.h"
#include "cli_support.h"
#include "test_support.h"

namespace {

using nlohmann::json;
using velor::test::runCommand;
using velor::test::TempDir;
using velor::test::CliRun;
using velor::test::expectOneLineFailure;
CliRun run(const std::string& args) { return velor::test::runCli(args); }

// The design the engine makes for the same arguments.
velor::FilterDesign engineDesign(int code, int order, double eps, double f1, double f2) {
  velor::FilterDesign d;
  EXPECT_TRUE(velor::designFilter(d, order, code, eps, f1, f2));
  return d;
}

TEST(CliFilterDesign, PrintsTheDesignAndItsResponse) {
  struct Case {
    std::string args;
    int code, order;
    double eps, f1, f2;
  };
  const Case cases[] = {
      {"--code 4 --order 4 --f1 0.054 --f2 0.046", 4, 4, 0.1, 0.054, 0.046},
      {"--code 5 --order 3 --eps 0.5 --f2 0.2", 5, 3, 0.5, 0, 0.2},
      {"--code 11 --order 3 --eps 0.2 --f1 0.3 --f2 0.1", 11, 3, 0.2, 0.3, 0.1},
  };
  const std::vector<double> at = {0, 0.05, 0.125, 0.2, 0.5};
  for (const Case& c : cases) {
    const CliRun r = run("filter-design " + c.args + " --at 0,0.05,0.125,0.2,0.5");
    ASSERT_EQ(r.status, 0) << c.args << ": " << r.err;
    const json j = json::parse(r.out);
    const velor::FilterDesign d = engineDesign(c.code, c.order, c.eps, c.f1, c.f2);
    EXPECT_EQ(j.at("poles").get<int>(), d.poles) << c.args;
    EXPECT_EQ(j.at("gain").get<double>(), d.gain) << c.args;

    // Sections in order: the first-order one (when the pole count is odd) as
    // two numbers, then every second-order one as four.
    const json& sections = j.at("sections");
    ASSERT_EQ(sections.size(), static_cast<std::size_t>(d.poles / 2 + d.poles % 2)) << c.args;
    std::size_t k = 0;
    for (std::size_t i = 0; i < sections.size(); ++i) {
      const std::size_t width = (i == 0 && d.poles % 2) ? 2 : 4;
      ASSERT_EQ(sections[i].size(), width) << c.args << " section " << i;
      for (std::size_t m = 0; m < width; ++m, ++k) EXPECT_EQ(sections[i][m].get<double>(), d.coeffs[k]) << c.args;
    }

    const json& response = j.at("response");
    ASSERT_EQ(response.size(), at.size());
    for (std::size_t i = 0; i < at.size(); ++i) {
      EXPECT_EQ(response[i][0].get<double>(), at[i]);
      EXPECT_NEAR(response[i][1].get<double>(), velor::filterResponse(d, at[i]), 1e-15) << c.args;
    }
  }
  // Values a user can check by eye: the 50 Hz band-stop at 1000 samples per
  // second is 1 at 0 Hz and nothing at 50 Hz.
  const json j = json::parse(run("filter-design --code 4 --order 4 --f1 0.054 --f2 0.046 --at 0,0.05").out);
  EXPECT_NEAR(j["response"][0][1].get<double>(), 1.0, 1e-12);
  EXPECT_LT(j["response"][1][1].get<double>(), 1e-10);
  EXPECT_EQ(json::parse(run("filter-design --code 1 --order 2 --f2 0.1").out).at("response"), json::array());
}

TEST(CliFilterDesign, RefusesADesignItCannotMake) {
  const char* bad[] = {
      "--code 13 --order 2 --f2 0.1",             // unknown code
      "--code 1 --order 41 --f2 0.1",             // more poles than a design holds
      "--code 3 --order 21 --f1 0.3 --f2 0.1",
      "--code 3 --order 2 --f1 0.1 --f2 0.3",     // edges in the wrong order
      "--code 4 --order 2 --f1 0.2 --f2 0",       // lower edge 0
      "--code 3 --order 2 --f2 0.1",              // band design without its upper edge
      "--code 5 --order 2 --eps 0 --f2 0.1",      // no ripple
      "--code 1 --order 2 --f2 0.1 --at 0,nan",   // a frequency that is not a number
  };
  for (const char* args : bad) {
    SCOPED_TRACE(args);
    const CliRun r = run(std::string("filter-design ") + args);
    expectOneLineFailure(r, 2);
    EXPECT_TRUE(r.out.empty());
  }
  expectOneLineFailure(run("filter-design --order 2 --f2 0.1"), 2);  // no code
}

// --- filtering a record file ------------------------------------------------------

constexpr int kLength = 600;

// Channel 0 is a constant, channel 1 another constant, channel 2 alternates
// around 2048 (pure half-sampling-rate tone), channel 3 is a slow wave.
std::int16_t inputSample(int record, int ch, int i) {
  switch (ch) {
    case 0: return 2048;
    case 1: return static_cast<std::int16_t>(1000 + 700 * record);
    case 2: return static_cast<std::int16_t>(2048 + (i % 2 ? -500 : 500));
    default: return static_cast<std::int16_t>(2048 + std::lround(800 * std::sin(0.01 * i)));
  }
}

void writeInput(const std::string& path, int records) {
  auto s = std::make_unique<velor::StudyState>();
  s->channelCount = 4;
  s->recordLength = kLength;
  s->sampleRate = 250;
  s->recordCount = records;
  s->recordFileVersion = velor::kVersionCA40;
  for (int ch = 0; ch < 4; ++ch) {
    s->channelNames[ch] = "C" + std::to_string(ch);
    s->zeroLevel[ch] = 2048;
  }
  const int fd = ::open(path.c_str(), O_CREAT | O_TRUNC | O_WRONLY, 0644);
  ASSERT_GE(fd, 0);
  ASSERT_TRUE(velor::writeHeader(*s, fd));
  for (int r = 0; r < records; ++r) {
    for (int ch = 0; ch < 4; ++ch)
      for (int i = 0; i < kLength; ++i) s->channelData[ch][i] = inputSample(r, ch, i);
    ASSERT_TRUE(velor::writeRecord(*s, fd));
  }
  ::close(fd);
}

// samples[record][channel][i] of a record file, through the engine's reader.
std::vector<std::vector<std::vector<std::int16_t>>> readOutput(const std::string& path) {
  velor::RecordFileHeader h;
  std::string why;
  std::vector<std::vector<std::vector<std::int16_t>>> all;
  EXPECT_TRUE(velor::readRecordFileHeader(path, h, why)) << why;
  EXPECT_EQ(h.signature, "CA40");
  std::vector<velor::RecordInfo> recs;
  EXPECT_TRUE(velor::scanRecords(path, h, recs, why)) << why;
  for (const velor::RecordInfo& r : recs) {
    std::vector<std::vector<std::int16_t>> samples;
    EXPECT_TRUE(velor::readRecordSamples(path, h, r, samples, why)) << why;
    all.push_back(std::move(samples));
  }
  return all;
}

TEST(CliFilter, LowPassKeepsConstantsConstantAndRemovesTheFastTone) {
  TempDir dir;
  const std::string in = dir.file("in.cad"), out = dir.file("out.cad");
  writeInput(in, 2);
  const std::string before = velor::test::readBytes(in);
  for (const char* design : {"--code 1 --order 4 --f2 0.1", "--code 9 --order 5 --eps 0.05 --f2 0.2"}) {
    SCOPED_TRACE(design);
    const CliRun r = run(std::string("filter '") + in + "' '" + out + "' " + design);
    ASSERT_EQ(r.status, 0) << r.err;
    const auto got = readOutput(out);
    ASSERT_EQ(got.size(), 2u);
    for (int rec = 0; rec < 2; ++rec) {
      ASSERT_EQ(got[rec].size(), 4u);
      for (int ch = 0; ch < 2; ++ch) {
        ASSERT_EQ(got[rec][ch].size(), static_cast<std::size_t>(kLength));
        for (int i = 0; i < kLength; ++i) ASSERT_EQ(got[rec][ch][i], inputSample(rec, ch, i)) << rec << ' ' << ch << ' ' << i;
      }
      // The half-sampling-rate tone is gone once the filter has forgotten its start.
      for (int i = 200; i < kLength; ++i) ASSERT_NEAR(got[rec][2][i], 2048, 2) << i;
      // A slow wave passes the low-pass nearly as it is.
      for (int i = 0; i < kLength; ++i) ASSERT_NEAR(got[rec][3][i], inputSample(rec, 3, i), 40) << i;
    }
  }
  EXPECT_EQ(velor::test::readBytes(in), before);  // the input is never written back
}

TEST(CliFilter, HighPassPutsItsOutputOnTheZeroLine) {
  TempDir dir;
  const std::string in = dir.file("in.cad"), out = dir.file("out.cad");
  writeInput(in, 1);
  const CliRun r = run("filter '" + in + "' '" + out + "' --code 2 --order 3 --f2 0.05");
  ASSERT_EQ(r.status, 0) << r.err;
  const auto got = readOutput(out);
  ASSERT_EQ(got.size(), 1u);
  for (int i = 0; i < kLength; ++i) {
    ASSERT_EQ(got[0][0][i], 2048) << i;
    ASSERT_EQ(got[0][1][i], 2048) << i;  // any constant, removed, leaves the zero line
  }
  // The alternating tone passes a Butterworth high-pass unchanged, around the zero line.
  for (int i = 100; i < kLength; ++i) ASSERT_NEAR(got[0][2][i], inputSample(0, 2, i), 1) << i;
}

TEST(CliFilter, FailuresWriteNothing) {
  TempDir dir;
  const std::string in = dir.file("in.cad"), out = dir.file("out.cad");
  writeInput(in, 1);
  expectOneLineFailure(run("filter '" + in + "' '" + out + "' --code 3 --order 2 --f1 0.1 --f2 0.3"), 2);
  expectOneLineFailure(run("filter '" + dir.file("missing.cad") + "' '" + out + "' --code 1 --order 2 --f2 0.1"), 1);
  velor::test::writeBytes(dir.file("junk.cad"), std::string("CA40") + std::string(40, '\xff'));
  expectOneLineFailure(run("filter '" + dir.file("junk.cad") + "' '" + out + "' --code 1 --order 2 --f2 0.1"), 1);
  expectOneLineFailure(run("filter '" + in + "' '" + in + "' --code 1 --order 2 --f2 0.1"), 1);
  EXPECT_FALSE(velor::fileExists(out));
}

}  // namespace
