// Evoked-potential averaging through velor-cli ep and the engine: responses
// of known shape and latency buried in noise come back with an error falling
// as 1/√N, epochs reaching outside the record are skipped and counted, a run
// that averages nothing leaves the record as it was with both messages, and
// the ERD/ERS variant shows the drop of a 10 Hz burst after the stimulus.
#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <memory>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include "cli_support.h"
#include "core/record_file.h"
#include "core/text.h"
#include "core/study_state.h"
#include "eeg/spectral.h"
#include "physio/evoked.h"
#include "test_support.h"

namespace {

constexpr int kRate = 1000;
constexpr int kLength = 1000;
constexpr int kChannels = 2;
constexpr int kStimulus = 300;

double response(int j) {  // a bump of 200 codes 100 ms after the stimulus
  const double t = (j - (kStimulus + 100)) / 15.0;
  return 200.0 * std::exp(-t * t / 2);
}

std::unique_ptr<velor::StudyState> inputState() {
  auto s = std::make_unique<velor::StudyState>();
  s->channelCount = kChannels;
  s->markChannelCount = 1;
  s->recordLength = kLength;
  s->plannedRecordLength = kLength;
  s->sampleRate = kRate;
  s->recordFileVersion = velor::kVersionCA40;
  for (int ch = 0; ch < kChannels; ++ch) {
    s->channelNames[ch] = "C" + std::to_string(ch);
    s->zeroLevel[ch] = 2048;
    s->calibUnits[ch] = 2000;
    s->calibValue[ch] = 100;
    s->channelPosX[ch] = 10;
  }
  return s;
}

// `records` records of noise (σ codes) with the response after a stimulus
// code 1 in the mark channel at kStimulus (or at `stimulusAt` when given).
void writeResponses(const std::string& path, int records, double sigma, unsigned seed, int stimulusAt = kStimulus) {
  auto s = inputState();
  s->recordCount = records;
  std::mt19937 gen(seed);
  std::normal_distribution<double> noise(0, sigma);
  const int fd = ::open(path.c_str(), O_CREAT | O_TRUNC | O_WRONLY, 0644);
  ASSERT_GE(fd, 0);
  ASSERT_TRUE(velor::writeHeader(*s, fd));
  for (int r = 0; r < records; ++r) {
    for (int ch = 0; ch < kChannels; ++ch)
      for (int i = 0; i < kLength; ++i)
        s->channel(ch)[i] = static_cast<std::int16_t>(std::lround(2048 + response(i - stimulusAt + kStimulus) + noise(gen)));
    for (int i = 0; i < kLength; ++i) s->markChannel[i] = (i >= stimulusAt && i < stimulusAt + 5) ? 1 : 0;
    ASSERT_TRUE(velor::writeRecord(*s, fd));
  }
  ::close(fd);
}

std::vector<std::int16_t> averagedChannel(const std::string& path, int channel, int& count) {
  velor::RecordFileHeader h;
  std::string why;
  EXPECT_TRUE(velor::readRecordFileHeader(path, h, why)) << why;
  std::vector<velor::RecordInfo> recs;
  EXPECT_TRUE(velor::scanRecords(path, h, recs, why)) << why;
  count = h.recordCount;
  if (recs.empty()) return {};
  std::vector<std::vector<std::int16_t>> samples;
  EXPECT_TRUE(velor::readRecordSamples(path, h, recs[0], samples, why)) << why;
  return samples[static_cast<std::size_t>(channel)];
}

double rmsError(const std::vector<std::int16_t>& avg, int epochStart) {
  double sum = 0;
  for (std::size_t j = 0; j < avg.size(); ++j) {
    const double want = 2048 + response(static_cast<int>(j) + epochStart);
    sum += (avg[j] - want) * (avg[j] - want);
  }
  return std::sqrt(sum / static_cast<double>(avg.size()));
}

TEST(CliEp, RecoversBuriedResponseWithErrorFallingAsOneOverRootN) {
  velor::test::TempDir dir;
  double err[2];
  const int counts[2] = {16, 256};
  for (int k = 0; k < 2; ++k) {
    const std::string in = dir.path() + "/in" + std::to_string(k) + ".cad", out = dir.path() + "/avg.cad";
    writeResponses(in, counts[k], 100.0, 7 + k);
    const auto r = velor::test::runCli("ep '" + in + "' --ref S1 --start -100 --length 500 --out '" + out +
                                       "' --json --peak P100,+,0.15,0.25 --peak N,-,0,0.05");
    ASSERT_EQ(r.status, 0) << r.err;
    const auto j = nlohmann::json::parse(r.out);
    EXPECT_EQ(j["averaged"], counts[k]);
    EXPECT_EQ(j["rejected"], 0);
    EXPECT_EQ(j["length"], 500);
    int stored = 0;
    const auto avg = averagedChannel(out, 0, stored);
    ASSERT_EQ(avg.size(), 500u);
    EXPECT_EQ(stored, -counts[k]);  // one averaged record of N responses
    err[k] = rmsError(avg, kStimulus - 100);
    if (k == 1) {
      // The peak 100 ms after the stimulus, 200 ms into the epoch.
      EXPECT_NEAR(j["peaks"][0]["latency"][0].get<double>(), 0.2, 0.006);
      EXPECT_NEAR(j["peaks"][0]["amplitude"][0].get<double>(), 200.0 / 2000 * 100, 1.5);
    }
  }
  // 16 times the epochs: a quarter of the error (100/√N: 25 and 6.25 codes).
  EXPECT_NEAR(err[0], 25, 6);
  EXPECT_NEAR(err[0] / err[1], 4, 1.2);
}

TEST(CliEp, EpochsOutsideTheRecordAreSkippedAndCounted) {
  velor::test::TempDir dir;
  const std::string in = dir.path() + "/in.cad";
  writeResponses(in, 4, 10.0, 3, 50);  // 50 ms into each record: a 100 ms lead reaches before 0
  const auto r = velor::test::runCli("ep '" + in + "' --ref S1 --start -100 --length 500 --json");
  EXPECT_NE(r.status, 0);
  const auto j = nlohmann::json::parse(r.out);
  EXPECT_EQ(j["skipped"], 4);
  EXPECT_NE(r.err.find("Установленным параметрам усреднения не соответствует ни одна запись !"), std::string::npos);
}

TEST(CliEp, EveryEpochRejectedGivesBothMessages) {
  velor::test::TempDir dir;
  const std::string in = dir.path() + "/in.cad", out = dir.path() + "/avg.cad";
  writeResponses(in, 3, 10.0, 5);
  // The response (200 codes = 10 µV) stays above 2 µV for well over 5 ms.
  const auto r = velor::test::runCli("ep '" + in + "' --ref S1 --start -100 --length 500 --reject 2,0.005 --out '" +
                                     out + "'");
  EXPECT_NE(r.status, 0);
  EXPECT_NE(r.err.find("Установленным параметрам усреднения не соответствует ни одна запись !"), std::string::npos);
  EXPECT_NE(r.err.find("Исключено из усреднения по наличию артефактов 3 записей"), std::string::npos);
  EXPECT_NE(::access(out.c_str(), F_OK), 0);
}

struct WalkCase {
  const char* reference;
  double start, end, microvolts, seconds;
  bool zero;
};

// Records read straight from the file (no condition) and one by one into
// the state (a condition that always holds) give the same average, counts,
// messages and state afterwards, file position included. With `onlyStored` the channel buffers are compared
// as far as the last record read reaches: beyond it they hold whatever longer
// records read before left there, which differs between the two ways.
velor::EvokedOutcome expectStraightAsRecordByRecord(const std::string& in, const WalkCase& c, bool onlyStored = false) {
  SCOPED_TRACE(c.reference + std::string(" ") + std::to_string(c.start));
  std::unique_ptr<velor::test::StudySnapshot> first;
  velor::EvokedOutcome outcomes[2];
  std::vector<std::string> messages[2];
  for (int k = 0; k < 2; ++k) {
    auto s = std::make_unique<velor::StudyState>();
    velor::ScriptedInteraction ui;
    EXPECT_TRUE(velor::openRecordFile(*s, in, ui));
    velor::EvokedSettings p;
    p.reference = c.reference;
    p.epochStart = c.start;
    p.epochEnd = c.end;
    p.artefactMicroVolts = c.microvolts;
    p.artefactSeconds = c.seconds;
    p.zeroCorrection = c.zero;
    p.condition = k == 0 ? "" : "1";
    auto engine = std::make_unique<velor::SpectralEngine>();
    velor::averageEvoked(*s, p, velor::EvokedMode::Records, *engine, ui, outcomes[k]);
    messages[k] = ui.messages;
    auto now = std::make_unique<velor::test::StudySnapshot>(*s);
    if (onlyStored) {
      const auto reach = static_cast<std::size_t>(std::max(now->length, now->stored));
      for (auto& ch : now->channels) ch.resize(reach);
      now->mark.resize(std::min(now->mark.size(), reach));
    }
    if (k == 0)
      first = std::move(now);
    else
      EXPECT_TRUE(*now == *first);
    velor::closeRecordFile(*s);
  }
  EXPECT_EQ(outcomes[0].epochs, outcomes[1].epochs);
  EXPECT_EQ(outcomes[0].rejected, outcomes[1].rejected);
  EXPECT_EQ(outcomes[0].skipped, outcomes[1].skipped);
  EXPECT_EQ(messages[0], messages[1]);
  return outcomes[0];
}

TEST(Evoked, StraightFromTheFileIsTheSameAsRecordByRecord) {
  velor::test::TempDir dir;
  const std::string in = dir.path() + "/in.cad";
  writeResponses(in, 12, 60.0, 11);
  const WalkCase cases[] = {{"S1", -0.1, 0.4, 0, 0, false},
                            {"S1", -0.35, 0.1, 0, 0, true},
                            {"T0.2", 0, 0.5, 14, 0.003, false},
                            {"s1", 0, 0.3, 9, 0.012, true}};
  for (const WalkCase& c : cases) expectStraightAsRecordByRecord(in, c);
}

// Records of many lengths, up to the longest a record may be, are read from
// the file several at a time, some across two reads; a damaged record stops
// the walk where navigation stops.
TEST(Evoked, LongRecordsOfManyLengthsAndADamagedOneAsRecordByRecord) {
  velor::test::TempDir dir;
  const std::string in = dir.path() + "/in.cad";
  {
    auto s = inputState();
    s->recordCount = 30;
    const int fd = ::open(in.c_str(), O_CREAT | O_TRUNC | O_WRONLY, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_TRUE(velor::writeHeader(*s, fd));
    std::mt19937 gen(5);
    std::uniform_int_distribution<int> noise(-300, 300);
    for (int r = 0; r < 30; ++r) {
      s->recordLength = r == 7 ? velor::kMaxSamples : 300 + (r * 7919) % 30000;
      for (int ch = 0; ch < kChannels; ++ch)
        for (int i = 0; i < s->recordLength; ++i) s->channel(ch)[i] = static_cast<std::int16_t>(2048 + noise(gen));
      for (int i = 0; i < s->recordLength; ++i) s->markChannel[i] = i == 100 + r ? 1 : 0;
      ASSERT_TRUE(velor::writeRecord(*s, fd));
    }
    ::close(fd);
  }
  const WalkCase cases[] = {{"S1", -0.1, 0.2, 0, 0, false}, {"T0.01", 0, 0.25, 13.5, 0.003, true}};
  EXPECT_EQ(expectStraightAsRecordByRecord(in, cases[0], true).epochs, 30);
  const velor::EvokedOutcome o = expectStraightAsRecordByRecord(in, cases[1], true);
  EXPECT_GT(o.rejected, 0);
  EXPECT_GT(o.epochs, 0);

  velor::RecordFileHeader h;
  std::vector<velor::RecordInfo> recs;
  std::string why;
  ASSERT_TRUE(velor::readRecordFileHeader(in, h, why)) << why;
  ASSERT_TRUE(velor::scanRecords(in, h, recs, why)) << why;
  ASSERT_EQ(recs.size(), 30u);
  // The trailing length of record 20 no longer repeats its first one.
  const velor::RecordInfo& bad = recs[19];
  const long long at = bad.offset + velor::recordBytes(h.version, kChannels, 1, bad.storedLength) - 2;
  const unsigned char wrong[2] = {0x01, 0x00};
  const int fd = ::open(in.c_str(), O_WRONLY);
  ASSERT_EQ(::pwrite(fd, wrong, 2, at), 2);
  ::close(fd);
  EXPECT_EQ(expectStraightAsRecordByRecord(in, cases[0], true).epochs, 19);
  expectStraightAsRecordByRecord(in, cases[1], true);
}

TEST(Evoked, NothingAveragedLeavesTheRecordAsItWas) {
  auto s = inputState();
  for (int i = 0; i < kLength; ++i) s->channel(0)[i] = static_cast<std::int16_t>(2048 + (i % 7));
  const velor::test::StudySnapshot before(*s);
  velor::EvokedSettings p;
  p.reference = "S1";  // no marks at all
  p.epochEnd = 0.2;
  velor::ScriptedInteraction ui;
  auto engine = std::make_unique<velor::SpectralEngine>();
  velor::EvokedOutcome o;
  EXPECT_FALSE(velor::averageEvoked(*s, p, velor::EvokedMode::Records, *engine, ui, o));
  EXPECT_TRUE(velor::test::StudySnapshot(*s) == before);
  ASSERT_EQ(ui.messages.size(), 1u);
}

TEST(Evoked, ReferencePointErrorsAndCaseOfTheLetter) {
  struct Case {
    const char* text;
    bool ok;
    const char* message;
  } cases[] = {{"s2", true, ""}, {"S16", true, ""}, {"S17", false, "Ошибка параметра опорной точки"},
               {"X1", false, "Ошибка типа опорной точки!"}, {"M3 [i=1-32]", false, "Ошибка параметра опорной точки"},
               {"M2", true, ""}, {"iff", true, ""}, {"T0.5 [i=сек]", true, ""}, {"E0", false, "Ошибка параметра опорной точки"}};
  for (const Case& c : cases) {
    velor::ReferencePoint r;
    std::string m;
    EXPECT_EQ(velor::parseReferencePoint(c.text, 2, r, m), c.ok) << c.text;
    if (!c.ok) EXPECT_EQ(m, c.message) << c.text;
  }
  velor::ReferencePoint r;
  std::string m;
  ASSERT_TRUE(velor::parseReferencePoint("iff", 2, r, m));
  EXPECT_EQ(r.code, 255);
}

TEST(Evoked, ZeroCorrectionRemovesConstantOffsets) {
  auto s = inputState();
  for (int i = 0; i < kLength; ++i) {
    s->channel(0)[i] = static_cast<std::int16_t>(2048 + (i / 100) * 50);  // a new offset every 100 samples
    s->markChannel[i] = (i % 100 == 0) ? 1 : 0;
  }
  s->selectionAnchor = 0;
  s->cursorPos = 100;
  velor::EvokedSettings p;
  p.reference = "S1";
  p.epochEnd = 0.1;
  p.zeroCorrection = true;
  velor::ScriptedInteraction ui;
  auto engine = std::make_unique<velor::SpectralEngine>();
  velor::EvokedOutcome o;
  ASSERT_TRUE(velor::averageEvoked(*s, p, velor::EvokedMode::InsideRecord, *engine, ui, o));
  EXPECT_EQ(o.epochs, 10);
  for (int j = 0; j < 100; ++j) EXPECT_EQ(s->channel(0)[j], 2048) << j;
  EXPECT_EQ(s->recordCount, -10);
}

TEST(CliEp, ErdShowsTheDropOfATenHertzBurst) {
  velor::test::TempDir dir;
  const std::string in = dir.path() + "/in.cad", out = dir.path() + "/erd.cad";
  {
    auto s = inputState();
    const int records = 20;
    s->recordCount = records;
    std::mt19937 gen(11);
    std::normal_distribution<double> noise(0, 5);
    std::uniform_real_distribution<double> phase(0, 2 * std::numbers::pi);
    const int fd = ::open(in.c_str(), O_CREAT | O_TRUNC | O_WRONLY, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_TRUE(velor::writeHeader(*s, fd));
    for (int r = 0; r < records; ++r) {
      const double ph = phase(gen);
      for (int ch = 0; ch < kChannels; ++ch)
        for (int i = 0; i < kLength; ++i) {
          const double a = i < 500 ? 200 : 100;  // the burst halves at the stimulus
          s->channel(ch)[i] = static_cast<std::int16_t>(
              std::lround(2048 + a * std::sin(2 * std::numbers::pi * 10 * i / kRate + ph) + noise(gen)));
        }
      for (int i = 0; i < kLength; ++i) s->markChannel[i] = (i == 500) ? 1 : 0;
      ASSERT_TRUE(velor::writeRecord(*s, fd));
    }
    ::close(fd);
  }
  const auto r = velor::test::runCli("ep '" + in + "' --ref S1 --start -500 --length 1000 --erd 8,12 --baseline 0.1,0.4 --out '" +
                                     out + "' --json");
  ASSERT_EQ(r.status, 0) << r.err;
  int stored = 0;
  const auto x = averagedChannel(out, 0, stored);
  ASSERT_EQ(x.size(), 1000u);
  auto meanPercent = [&](int a, int b) {
    double sum = 0;
    for (int j = a; j < b; ++j) sum += (x[static_cast<std::size_t>(j)] - 2048) / 2000.0 * 100;
    return sum / (b - a);
  };
  EXPECT_NEAR(meanPercent(100, 400), 0, 8);     // the baseline
  EXPECT_NEAR(meanPercent(600, 900), -50, 10);  // half the amplitude after the stimulus
  // The drop happens at the stimulus: the crossing of −25 % lies within 60 ms of it.
  int cross = 0;
  for (int j = 400; j < 700; ++j)
    if (meanPercent(j, j + 1) < -25) {
      cross = j;
      break;
    }
  EXPECT_NEAR(cross, 500, 60);
}

}  // namespace

namespace {

TEST(Evoked, SettingsFileRoundTripAndArchiveHeader) {
  velor::test::TempDir dir;
  velor::EvokedSettings p;
  p.header = "Иванов И.И.";
  p.epochStart = -0.1;
  p.epochEnd = 0.4;
  p.condition = "irec>2";
  p.reference = "I1F";
  p.gain = 3;
  p.stepByStep = true;
  p.artefactMicroVolts = 150;
  p.artefactSeconds = 0.02;
  p.smoothing = 2;
  p.peaks[0] = {"P100", "+", "0.08", "0.12"};
  p.peaks[16] = {"Z", "-", "0.3", "0.4"};
  p.zeroCorrection = true;
  p.potentialType = 1;
  const auto lines = velor::evokedSettingsLines(p);
  ASSERT_EQ(lines.size(), 82u);
  EXPECT_EQ(velor::utf8Length(lines[0]), 162u);
  EXPECT_EQ(lines[12], "P100");            // column 0, row 1
  EXPECT_EQ(lines[12 + 17], "+");          // column 1, row 1
  EXPECT_EQ(lines[12 + 3 * 17 + 16], "0.4");  // column 3, row 17
  const std::string path = dir.file("set.cav");
  ASSERT_TRUE(velor::writeEvokedSettings(path, p));
  velor::EvokedSettings q;
  velor::StudyState s;
  ASSERT_TRUE(velor::readEvokedArchive(path, q, s));
  EXPECT_EQ(velor::evokedSettingsLines(q), lines);
  EXPECT_EQ(s.examHeader, lines[0]);
  // A short file changes nothing.
  velor::test::writeBytes(dir.file("short.ini"), "x\r\n1\r\n");
  velor::EvokedSettings r;
  EXPECT_FALSE(velor::readEvokedSettings(dir.file("short.ini"), r));
  EXPECT_EQ(r.reference, "S0");
}

}  // namespace

namespace {

// A record with a bump (two periods of a 50-sample wave) repeated at 200, 500 and 800.
std::unique_ptr<velor::StudyState> repeatedWaveform() {
  auto s = inputState();
  for (int i = 0; i < kLength; ++i) s->channel(0)[i] = 2048;
  for (int at : {200, 500, 800})
    for (int j = 0; j < 50; ++j)
      s->channel(0)[at + j] = static_cast<std::int16_t>(2048 + 100 * std::sin(2 * std::numbers::pi * j / 25.0));
  return s;
}

TEST(Evoked, WaveformCopyFindsEveryRepetitionInsideTheRecord) {
  auto s = repeatedWaveform();
  s->selectionAnchor = 200;
  s->cursorPos = 250;
  velor::ReferencePoint ref;
  std::string m;
  ASSERT_TRUE(velor::parseReferencePoint("C1", kChannels, ref, m));
  std::vector<int> found;
  for (int h = 0; h < kLength; h += 50) {
    const int p = velor::findReferencePoint(*s, ref, h, 200, 50);
    if (p >= 0 && (found.empty() || found.back() != p)) found.push_back(p);
  }
  // The first position above 80 % in each search window: the repetitions
  // themselves, or a sample or two early when the window starts before one
  // (a wave shifted by 2 of its 25-sample period still correlates by 0.88).
  for (int p : found) {
    const bool nearOne = (p >= 197 && p <= 200) || (p >= 497 && p <= 500) || (p >= 797 && p <= 800);
    EXPECT_TRUE(nearOne) << p;
  }
  for (int rep : {200, 500, 800}) EXPECT_NE(std::find(found.begin(), found.end(), rep), found.end()) << rep;
  EXPECT_EQ(velor::findReferencePoint(*s, ref, 960, 200, 50), -1);
}

TEST(Evoked, StepByStepBoxAbortsAndPeaksRepeat) {
  auto s = repeatedWaveform();
  for (int i = 0; i < kLength; ++i) s->markChannel[i] = (i == 200 || i == 500 || i == 800) ? 1 : 0;
  s->selectionAnchor = 0;
  s->cursorPos = 100;
  velor::EvokedSettings p;
  p.reference = "S1";
  p.epochEnd = 0.1;
  p.stepByStep = true;
  p.peaks[0] = {"P", "+", "0", "0.01"};
  p.peaks[1] = {"N", "-", "0.01", "0.02"};
  velor::ScriptedInteraction ui;
  ui.choiceScript = {1, 3};  // Yes after the first epoch, Abort after the second
  auto engine = std::make_unique<velor::SpectralEngine>();
  velor::EvokedOutcome o;
  ASSERT_TRUE(velor::averageEvoked(*s, p, velor::EvokedMode::InsideRecord, *engine, ui, o));
  EXPECT_EQ(o.epochs, 2);
  EXPECT_EQ(s->recordLength, 100);
  const auto first = velor::measurePeaks(*s, p);
  EXPECT_EQ(velor::measurePeaks(*s, p).text, first.text);  // a second click, the same table
  ASSERT_EQ(first.rows.size(), 2u);
  EXPECT_NEAR(first.rows[0].latency[0], 0.006, 0.0015);  // the crest a quarter period in
  EXPECT_NEAR(first.rows[0].amplitude[0], 100.0 / 2000 * 100, 0.2);
  EXPECT_EQ(first.text.rfind("Пик    ", 0), 0u);
}

TEST(Evoked, TooLongEpochIsOfferedShorterAndLongOnesAreCut) {
  auto s = inputState();
  s->markChannel[10] = 1;
  velor::EvokedSettings p;
  p.reference = "S1";
  p.epochEnd = 1.5;
  velor::ScriptedInteraction ui;
  ui.answerYes = true;
  auto engine = std::make_unique<velor::SpectralEngine>();
  velor::EvokedOutcome o;
  s->recordLength = 1000;
  // A 1.5 s epoch in a 1 s record: shortened to 0.999 s after the question.
  ASSERT_FALSE(velor::averageEvoked(*s, p, velor::EvokedMode::Records, *engine, ui, o));  // 10 + 999 > 1000
  ASSERT_EQ(ui.questions.size(), 1u);
  EXPECT_EQ(ui.questions[0], "Эпоха превышает длину записи. Укоротить эпоху до 1с?");
  s->markChannel[10] = 0;
  s->markChannel[0] = 0;
  s->markChannel[1] = 1;
  s->recordLength = 8000;
  s->sampleRate = 1000;
  p.epochEnd = 6;
  ASSERT_TRUE(velor::averageEvoked(*s, p, velor::EvokedMode::Records, *engine, ui, o));
  EXPECT_EQ(s->recordLength, velor::kMaxEpochSamples);
}

}  // namespace
