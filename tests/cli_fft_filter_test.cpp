// velor-cli fft-filter as a user runs it: bands removed or kept in every
// channel of every record, the output the same as the engine's filters give,
// EDF input, and usage errors that write nothing.
#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <numbers>
#include <string>
#include <vector>

#include "core/binio.h"
#include "core/interaction.h"
#include "core/record_file.h"
#include "core/study_state.h"
#include "eeg/fft_filter.h"
#include "eeg/spectral.h"
#include "interchange/edf.h"
#include "cli_support.h"
#include "test_support.h"

namespace {

using velor::test::runCommand;
using velor::test::TempDir;
using velor::test::CliRun;
using velor::test::expectOneLineFailure;
CliRun run(const std::string& args) { return velor::test::runCli(args); }
using Samples = std::vector<std::vector<std::vector<std::int16_t>>>;  // [record][channel][i]

constexpr int kRate = 250;
constexpr int kLength = 3000;
constexpr int kChannels = 3;

// 10 Hz and 50 Hz cosines of different sizes per record and channel, on an offset.
std::int16_t inputSample(int record, int ch, int i) {
  const double t = static_cast<double>(i) / kRate;
  const double v = 2048 + 100 * ch + (200 + 50 * record) * std::cos(2 * std::numbers::pi * 10 * t) +
                   (150 + 40 * ch) * std::cos(2 * std::numbers::pi * 50 * t);
  return static_cast<std::int16_t>(std::lround(v));
}

void fillRecord(velor::StudyState& s, int record) {
  for (int ch = 0; ch < kChannels; ++ch)
    for (int i = 0; i < kLength; ++i) s.channelData[ch][i] = inputSample(record, ch, i);
}

std::unique_ptr<velor::StudyState> inputState() {
  auto s = std::make_unique<velor::StudyState>();
  s->channelCount = kChannels;
  s->recordLength = kLength;
  s->sampleRate = kRate;
  s->recordFileVersion = velor::kVersionCA40;
  for (int ch = 0; ch < kChannels; ++ch) {
    s->channelNames[ch] = "C" + std::to_string(ch);
    s->zeroLevel[ch] = 2048;
  }
  return s;
}

void writeInput(const std::string& path, int records) {
  auto s = inputState();
  s->recordCount = records;
  const int fd = ::open(path.c_str(), O_CREAT | O_TRUNC | O_WRONLY, 0644);
  ASSERT_GE(fd, 0);
  ASSERT_TRUE(velor::writeHeader(*s, fd));
  for (int r = 0; r < records; ++r) {
    fillRecord(*s, r);
    ASSERT_TRUE(velor::writeRecord(*s, fd));
  }
  ::close(fd);
}

Samples readOutput(const std::string& path) {
  velor::RecordFileHeader h;
  std::string why;
  Samples all;
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

double amplitudeAt(const std::vector<std::int16_t>& x, double hz, double rate) {
  double mean = 0;
  for (std::int16_t v : x) mean += v;
  mean /= static_cast<double>(x.size());
  double re = 0, im = 0;
  for (std::size_t i = 0; i < x.size(); ++i) {
    const double a = 2 * std::numbers::pi * hz * static_cast<double>(i) / rate;
    re += (x[i] - mean) * std::cos(a);
    im += (x[i] - mean) * std::sin(a);
  }
  return 2.0 / static_cast<double>(x.size()) * std::hypot(re, im);
}

TEST(CliFftFilter, EveryRecordAndChannelAsTheEngineFiltersIt) {
  struct Case {
    const char* args;
    void (*filter)(velor::SpectralEngine&, velor::StudyState&, int, int, double, double);
    double first, second;  // as the filter takes them
    bool keeps10, keeps50;
  };
  const Case cases[] = {
      {"--mode remove --low 45 --high 55", velor::fftBandStop, 55.0 / kRate, 45.0 / kRate, true, false},
      {"--mode keep --low 5 --high 15", velor::fftBandPass, 15.0 / kRate, 5.0 / kRate, true, false},
      {"--mode gauss --low 40 --high 60", velor::fftGauss, 60.0 / kRate, 40.0 / kRate, false, true},
      {"--mode remove --low 0 --high 30", velor::fftBandStop, 30.0 / kRate, 0.0, false, true},  // high-pass
  };
  TempDir dir;
  const std::string in = dir.file("in.cad"), out = dir.file("out.cad");
  writeInput(in, 2);
  const std::string before = velor::test::readBytes(in);
  velor::SpectralEngine engine;
  auto expected = inputState();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args);
    const CliRun r = run("fft-filter '" + in + "' '" + out + "' " + c.args);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(r.err.empty()) << r.err;
    const Samples got = readOutput(out);
    ASSERT_EQ(got.size(), 2u);
    for (int rec = 0; rec < 2; ++rec) {
      fillRecord(*expected, rec);
      c.filter(engine, *expected, 0, kChannels - 1, c.first, c.second);
      ASSERT_EQ(got[rec].size(), static_cast<std::size_t>(kChannels));
      for (int ch = 0; ch < kChannels; ++ch) {
        const std::vector<std::int16_t> want(expected->channelData[ch], expected->channelData[ch] + kLength);
        ASSERT_EQ(got[rec][ch], want) << rec << ' ' << ch;
        const double a10 = amplitudeAt(got[rec][ch], 10, kRate), a50 = amplitudeAt(got[rec][ch], 50, kRate);
        const double in10 = 200 + 50 * rec, in50 = 150 + 40 * ch;
        if (c.keeps10) {
          EXPECT_NEAR(a10, in10, in10 * 0.03);
        } else {
          EXPECT_LT(a10, in10 * 0.02);
        }
        if (c.keeps50) {
          EXPECT_NEAR(a50, in50, in50 * 0.03);
        } else {
          EXPECT_LT(a50, in50 * 0.02);
        }
      }
    }
  }
  EXPECT_EQ(velor::test::readBytes(in), before);  // the input is never written
}

TEST(CliFftFilter, EdfPagesBecomeFilteredRecords) {
  const std::string path = velor::test::sharedData("eegmat/Subject00_1.edf");
  if (path.empty()) GTEST_SKIP() << "shared recordings not present";
  TempDir dir;
  const std::string out = dir.file("alpha.cad");
  const CliRun r = run("fft-filter '" + path + "' '" + out + "' --mode keep --low 8 --high 13");
  ASSERT_EQ(r.status, 0) << r.err;
  const Samples got = readOutput(out);

  // Page by page the same as the band-pass of the engine on the page read directly.
  auto s = std::make_unique<velor::StudyState>();
  velor::ScriptedInteraction ui;
  ASSERT_TRUE(velor::openEdf(*s, path, velor::edfSampleWidthFor(path), ui));
  ASSERT_EQ(got.size(), static_cast<std::size_t>(s->recordCount));
  velor::SpectralEngine engine;
  for (int page = 1; page <= s->recordCount; ++page) {
    if (page > 1) {
      ASSERT_TRUE(velor::gotoEdfPage(*s, page, ui));
    }
    velor::fftBandPass(engine, *s, 0, s->channelCount - 1, 13.0 / s->sampleRate, 8.0 / s->sampleRate);
    // The channels, and the mark channel that carries the file's annotations.
    ASSERT_EQ(got[static_cast<std::size_t>(page - 1)].size(), static_cast<std::size_t>(s->channelCount + s->markChannelCount));
    for (int ch = 0; ch < s->channelCount; ++ch) {
      const std::vector<std::int16_t> want(s->channelData[ch], s->channelData[ch] + s->recordLength);
      ASSERT_EQ(got[static_cast<std::size_t>(page - 1)][static_cast<std::size_t>(ch)], want) << page << ' ' << ch;
    }
    s->recordModified = 0;
  }
  velor::closeRecordFile(*s);
}

TEST(CliFftFilter, UsageErrorsWriteNothing) {
  TempDir dir;
  const std::string in = dir.file("in.cad"), out = dir.file("out.cad");
  writeInput(in, 1);
  const char* bad[] = {
      "--mode remove --low 20 --high 10",  // reversed
      "--mode remove --low 10 --high 10",  // empty band
      "--mode keep --low -1 --high 10",    // negative
      "--mode keep --low 10 --high 200",   // above half of 250 Hz
      "--mode cut --low 10 --high 20",     // unknown mode
      "--mode keep --low 10",              // no upper edge
      "--mode keep --low nan --high 20",
  };
  for (const char* args : bad) {
    SCOPED_TRACE(args);
    const CliRun r = run("fft-filter '" + in + "' '" + out + "' " + args);
    expectOneLineFailure(r, 2);
    EXPECT_TRUE(r.out.empty());
    EXPECT_FALSE(velor::fileExists(out));
  }
  expectOneLineFailure(run("fft-filter '" + in + "' '" + dir.file("out.txt") + "' --mode keep --low 1 --high 20"), 2);
  expectOneLineFailure(run("fft-filter '" + dir.file("missing.cad") + "' '" + out + "' --mode keep --low 1 --high 20"), 1);
  expectOneLineFailure(run("fft-filter '" + in + "' '" + in + "' --mode keep --low 1 --high 20"), 1);
  EXPECT_FALSE(velor::fileExists(out));
}

}  // namespace
