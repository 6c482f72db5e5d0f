// velor-cli breath, events and emg on constructed records (and emg on a
// foreign recording).
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cmath>
#include <memory>
#include <nlohmann/json.hpp>
#include <numbers>

#include "cli_support.h"
#include "core/record_file.h"
#include "core/study_state.h"

namespace velor::test {
namespace {

// One record at 250 Hz: channel 1 breathing (4 s period), channel 2 pulses
// every 0.5 s, the mark channel carrying stimulus bit 1 every 2 s.
void writeRecord(const std::string& path) {
  auto s = std::make_unique<StudyState>();
  s->channelCount = 2;
  s->markChannelCount = 1;
  s->recordLength = 250 * 40;
  s->sampleRate = 250;
  s->recordFileVersion = kVersionCA40;
  s->recordCount = 1;
  for (int ch = 0; ch < 2; ++ch) {
    s->channelNames[ch] = "C" + std::to_string(ch);
    s->zeroLevel[ch] = 2048;
    s->calibValue[ch] = 1;
    s->calibUnits[ch] = 1;
  }
  for (int i = 0; i < s->recordLength; ++i) {
    s->channel(0)[i] = static_cast<std::int16_t>(std::lround(2048 + 500 * std::sin(2 * std::numbers::pi * i / 1000.0)));
    s->channel(1)[i] = (i % 125) < 3 && i >= 125 ? 2500 : 2048;
    s->markChannel[i] = (i % 500) < 2 && i >= 500 ? 2 : 0;
  }
  const int fd = ::open(path.c_str(), O_CREAT | O_TRUNC | O_WRONLY, 0644);
  ASSERT_GE(fd, 0);
  ASSERT_TRUE(writeHeader(*s, fd));
  ASSERT_TRUE(writeRecord(*s, fd));
  ::close(fd);
}

TEST(CliPolygraph, BreathEventsAndEmg) {
  TempDir d;
  const std::string f = d.file("p.cad");
  writeRecord(f);
  CliRun r = runCli("breath '" + f + "' --channel 1 --json");
  ASSERT_EQ(r.status, 0) << r.err;
  auto j = nlohmann::json::parse(r.out);
  EXPECT_EQ(j["breaths"], 10);
  EXPECT_NEAR(j["ratePerMinute"].get<double>(), 15.0, 0.1);
  r = runCli("events '" + f + "' --channel 2 --formula 'x(2)>100' --json");
  ASSERT_EQ(r.status, 0) << r.err;
  j = nlohmann::json::parse(r.out);
  EXPECT_EQ(j["count"], 79);  // 125, 250, ... 9875
  EXPECT_EQ(j["countLine"], "Число событий=79");
  EXPECT_EQ(j["intervalHistogram"]["message"], "Гистограмма: все значения равны, ширина класса равна нулю");
  r = runCli("emg '" + f + "' --stimulus-bit 1 --json");
  ASSERT_EQ(r.status, 0) << r.err;
  j = nlohmann::json::parse(r.out);
  EXPECT_GE(j["responses"].size(), 18u);
  expectOneLineFailure(runCli("breath '" + f + "' --channel 3"), 2);
  expectOneLineFailure(runCli("events '" + f + "' --formula 'y+'"), 2);
  expectOneLineFailure(runCli("emg '" + f + "' --stimulus-bit 16"), 2);
}

TEST(CliPolygraph, PassiveEmg) {
  TempDir d;
  const std::string f = d.file("p.cad");
  writeRecord(f);
  // the 0.25 Hz sine of amplitude 500: mean rectified amplitude 2·500/π per
  // 1 s epoch; its swings: the first quarter wave, then 19 half waves
  CliRun r = runCli("emg '" + f + "' --passive --measure mean --epoch-ms 1000 --json");
  ASSERT_EQ(r.status, 0) << r.err;
  auto j = nlohmann::json::parse(r.out);
  EXPECT_EQ(j["epochSamples"], 250);
  EXPECT_EQ(j["epochs"]["amplitude"].size(), 40u);
  EXPECT_NEAR(j["epochs"]["meanAmplitude"].get<double>(), 1000 / std::numbers::pi, 1.5);
  EXPECT_EQ(j["bands"]["epochSamples"], 128);
  EXPECT_EQ(j["swingHistograms"]["swings"], 20);
  EXPECT_EQ(j["swingHistograms"]["classes"], 5);  // trunc(3.3 log10 20 + 1.5)
  EXPECT_EQ(j["swingHistograms"]["amplitudeCodes"][0], 500);
  EXPECT_EQ(j["swingHistograms"]["amplitudeCodes"][1], 1000);
  // "Amax" at 250 Hz: 512 ms = 128 samples, half-overlapping epochs
  r = runCli("emg '" + f + "' --passive --measure max --sample 5000 --json");
  ASSERT_EQ(r.status, 0) << r.err;
  j = nlohmann::json::parse(r.out);
  EXPECT_EQ(j["epochMs"], 512);
  EXPECT_EQ(j["epochs"]["amplitude"].size(), 155u);  // trunc(2 × 10000 / 128) − 1
  EXPECT_EQ(j["bands"]["epoch"], 39);                 // 5000 / 128
  EXPECT_EQ(j["bands"]["points"].size(), 21u);        // F = 0, 5, ..., 100
  // an epoch longer than the record: its message in place of the epochs
  r = runCli("emg '" + f + "' --passive --epoch-ms 60000 --json");
  ASSERT_EQ(r.status, 0) << r.err;
  j = nlohmann::json::parse(r.out);
  EXPECT_EQ(j["epochs"]["message"], "Эпоха длиннее записи: ни одна эпоха не помещается");
  EXPECT_NE(r.err.find("Эпоха длиннее записи"), std::string::npos);
  expectOneLineFailure(runCli("emg '" + f + "' --passive --measure median"), 2);
}

// The EMG channel of a DC-coupled BDF file: the mean rectified amplitude is
// the muscle signal's few µV about each epoch's baseline, not the channel's
// level of about 600 µV.
TEST(CliPolygraph, PassiveEmgOfAForeignRecordingAboutTheEpochBaseline) {
  const std::string f = sharedData("mne-testing-data/multiple_annotation_chans.bdf");
  if (f.empty()) GTEST_SKIP() << "no shared recordings";
  CliRun r = runCli("emg '" + f + "' --passive --measure mean --epoch-ms 250 --json");
  ASSERT_EQ(r.status, 0) << r.err;
  const auto j = nlohmann::json::parse(r.out);
  EXPECT_EQ(j["epochSamples"], 31);
  EXPECT_GT(j["epochs"]["meanAmplitude"].get<double>(), 0.5);
  EXPECT_LT(j["epochs"]["meanAmplitude"].get<double>(), 20);
  EXPECT_LT(j["epochs"]["amplitude"][0][1].get<double>(), 50);
}

}  // namespace
}  // namespace velor::test
