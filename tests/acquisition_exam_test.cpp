// The examination engine: records on disk one after another with the right
// lengths and the device's samples, the end rules, data safety, commands,
// the live sweep and the key log; and the threads it runs on.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <thread>

#include "acquisition/device_registry.h"
#include "acquisition/exam_engine.h"
#include "acquisition/exam_plan.h"
#include "acquisition/exam_texts.h"
#include "acquisition/online_filters.h"
#include "acquisition/simulated_devices.h"
#include "core/binio.h"
#include "core/record_file.h"
#include "test_support.h"

namespace velor {
namespace {

// A study set up for a device the way Start leaves it: the device opened, its
// channel table applied, a plan with the given rate and record length.
struct ExamFixture {
  test::TempDir dir;
  VirtualClock clock;
  StudyState s;
  ExaminationPlan plan;
  std::unique_ptr<AcquisitionDevice> device;
  std::string path;
  ScriptedInteraction ui;

  ExamFixture(const std::string& kind, int rate, int recordLength, int channels = 0) {
    const DeviceKindEntry* e = findDeviceKind(kind);
    DeviceOptions o;
    o.seed = 7;
    device = makeDevice(kind, clock, o);
    EXPECT_TRUE(device->open());
    s.deviceKind = e->setting;
    s.programDir = dir.path() + "/";
    s.dataDir = dir.path() + "/";
    applyOpenedDevice(s, s.deviceKind, device->describe());
    applyDefaultPlan(s, plan, device->describe(), rate);
    if (channels > 0) s.channelCount = channels;
    s.recordLength = recordLength;
    plan.recordName = "exam";
  }
  int createFile(bool force = true) { return createExamFile(s, plan, ui, force, path); }
  std::unique_ptr<ExaminationEngine> engine(ExamOptions eo) {
    const int fd = createFile();
    EXPECT_GE(fd, 0);
    return std::make_unique<ExaminationEngine>(s, plan, *device, clock, fd, path, eo);
  }
  // Steps the engine on this thread, `ms` of virtual time per step.
  static void run(ExaminationEngine& e, VirtualClock& clock, int maxSteps = 1000000) {
    for (int i = 0; i < maxSteps && !e.ended(); ++i) {
      clock.advanceMilliseconds(e.stepMilliseconds());
      e.step();
    }
  }
};

struct FileRecords {
  RecordFileHeader h;
  std::vector<RecordInfo> records;
  bool sound = false;
  std::string reason;
};

FileRecords readBack(const std::string& path) {
  FileRecords f;
  EXPECT_TRUE(readRecordFileHeader(path, f.h, f.reason)) << f.reason;
  f.sound = scanRecords(path, f.h, f.records, f.reason);
  return f;
}

TEST(ExamEngine, BoardRecordsTheConvertersSamplesRecordAfterRecord) {
  ExamFixture x("board", 200, 256, 4);
  ExamOptions eo;
  eo.recordFromStart = true;
  eo.maxRecords = 3;
  auto e = x.engine(eo);
  std::string reason;
  ASSERT_TRUE(e->begin(reason)) << reason;
  ExamFixture::run(*e, x.clock);
  ASSERT_TRUE(e->ended());
  EXPECT_EQ(e->status().endMessage, "");

  const FileRecords f = readBack(x.path);
  ASSERT_TRUE(f.sound) << f.reason;
  EXPECT_EQ(f.h.recordCount, 3);
  EXPECT_EQ(f.h.channelCount, 4);
  EXPECT_EQ(f.h.sampleRate, 200);
  EXPECT_EQ(f.h.markChannelCount, 1);
  ASSERT_EQ(f.records.size(), 3u);

  // The same board, seed and configuration deliver the frames the file holds.
  VirtualClock twinClock;
  SimulatedConverterBoard twin(twinClock, 7);
  ASSERT_TRUE(twin.open());
  DeviceConfig cfg;
  cfg.sampleRate = 200;
  cfg.channelOrder = {0, 1, 2, 3};
  ASSERT_TRUE(twin.configure(cfg));
  ASSERT_TRUE(twin.start());
  twinClock.advanceMilliseconds(10000);
  FrameBlock frames;
  ASSERT_TRUE(twin.readFrames(frames, 768));
  ASSERT_EQ(frames.frames, 768);
  for (int r = 0; r < 3; ++r) {
    EXPECT_EQ(f.records[r].recordLength, 256);
    std::vector<std::vector<std::int16_t>> samples;
    ASSERT_TRUE(readRecordSamples(x.path, f.h, f.records[r], samples, reason)) << reason;
    for (int ch = 0; ch < 4; ++ch)
      for (int i = 0; i < 256; ++i)
        ASSERT_EQ(samples[ch][i], frames.words[(r * 256 + i) * frames.wordsPerFrame + ch]) << r << " " << ch << " " << i;
  }
}

// The tick stores every frame that arrived; a record still ends at its
// planned length, also when the frames of a tick overrun it (10 frames per
// tick at 500 Hz) and at the longest record.
TEST(ExamEngine, AmplifierRecordsHaveExactlyThePlannedLength) {
  struct Case {
    const char* kind;
    int rate, length, records;
  };
  for (const Case c : {Case{"amplifier", 500, 37, 4}, Case{"amplifier", 1000, 1024, 3}, Case{"amplifier", 500, 32760, 2},
                       Case{"k2", 250, 100, 3}, Case{"nvx24", 250, 64, 3}}) {
    SCOPED_TRACE(std::string(c.kind) + " " + std::to_string(c.rate) + " " + std::to_string(c.length));
    ExamFixture x(c.kind, c.rate, c.length);
    ExamOptions eo;
    eo.recordFromStart = true;
    eo.maxRecords = c.records;
    auto e = x.engine(eo);
    std::string reason;
    ASSERT_TRUE(e->begin(reason)) << reason;
    ExamFixture::run(*e, x.clock);
    const FileRecords f = readBack(x.path);
    ASSERT_TRUE(f.sound) << f.reason;
    ASSERT_EQ(static_cast<int>(f.records.size()), c.records);
    EXPECT_EQ(f.h.recordCount, c.records);
    for (const auto& r : f.records) EXPECT_EQ(r.recordLength, c.length);
  }
}

TEST(ExamEngine, StopDropsTheRecordInProgressAndWritesTheCount) {
  ExamFixture x("amplifier", 250, 100);
  ExamOptions eo;
  eo.recordFromStart = true;
  eo.maxSamples = 250;  // two records and half of the third
  auto e = x.engine(eo);
  std::string reason;
  ASSERT_TRUE(e->begin(reason));
  ExamFixture::run(*e, x.clock);
  const FileRecords f = readBack(x.path);
  ASSERT_TRUE(f.sound) << f.reason;
  EXPECT_EQ(f.h.recordCount, 2);
  EXPECT_EQ(f.records.size(), 2u);
  EXPECT_EQ(x.s.recordLength, 100);  // the stop leaves the planned length
}

TEST(ExamEngine, AnEmptyExaminationDeletesOnlyItsOwnFile) {
  ExamFixture x("amplifier", 250, 1024);
  test::writeBytes(x.dir.file("exam.cad.keep"), "x");
  test::writeBytes(x.dir.file("a0.cad"), "an earlier recording");
  auto e = x.engine({});
  std::string reason;
  ASSERT_TRUE(e->begin(reason));
  ASSERT_TRUE(fileExists(x.path));
  e->post(kCmdStop);
  ExamFixture::run(*e, x.clock);
  EXPECT_TRUE(e->ended());
  EXPECT_FALSE(fileExists(x.path));
  EXPECT_TRUE(fileExists(x.dir.file("a0.cad")));
  EXPECT_TRUE(fileExists(x.dir.file("exam.cad.keep")));
  // qpln.ini is written again at the end with the random state.
  ExaminationPlan back;
  back.randomState = 0;
  EXPECT_TRUE(readPlanSettings(x.s.programDir, back));
  EXPECT_EQ(back.randomState, kDefaultRandomState);
}

TEST(ExamEngine, AFullDiskStopsWithAMessageAndKeepsTheFinishedRecords) {
  ExamFixture x("amplifier", 250, 128, 8);
  ExamOptions eo;
  eo.recordFromStart = true;
  const long long header = headerSize(kVersionCA40);
  eo.diskSpace = header + recordBytes(kVersionCA40, 8, 1, 128) * 5 / 2;
  auto e = x.engine(eo);
  std::string reason;
  ASSERT_TRUE(e->begin(reason));
  ExamFixture::run(*e, x.clock, 10000);
  ASSERT_TRUE(e->ended());
  EXPECT_NE(e->status().endMessage.find(exam_texts::kDiskFull), std::string::npos);
  const FileRecords f = readBack(x.path);
  ASSERT_TRUE(f.sound) << f.reason;
  EXPECT_EQ(f.h.recordCount, 2);
  EXPECT_EQ(f.records.size(), 2u);
  StudyState opened;
  ScriptedInteraction ui;
  EXPECT_TRUE(openRecordFile(opened, x.path, ui)) << (ui.messages.empty() ? "" : ui.messages[0]);
  EXPECT_TRUE(ui.messages.empty());
  closeRecordFile(opened);
}

// Recording starts off; "Вкл" restarts the record and the records after it
// are written; "Выкл" stops writing. Every command goes to "Keys.txt" with
// the record and sample it arrived at.
TEST(ExamEngine, RecordingToggleAndKeyLog) {
  ExamFixture x("amplifier", 250, 50);
  auto e = x.engine({});
  std::string reason;
  ASSERT_TRUE(e->begin(reason));
  auto steps = [&](int n) {
    for (int i = 0; i < n; ++i) {
      x.clock.advanceMilliseconds(20);
      e->step();
    }
  };
  steps(12);  // 60 samples: one record done, not written
  EXPECT_EQ(e->status().recordCount, 0);
  e->post(kCmdRecord);
  steps(1);
  EXPECT_TRUE(e->status().recordingOn);
  EXPECT_EQ(e->status().sampleIndex, 0);  // taken after the tick's frames: the record restarts
  steps(20);  // 100 more samples: 2 records
  EXPECT_EQ(e->status().recordCount, 2);
  e->post(kCmdRecord);
  steps(30);
  EXPECT_EQ(e->status().recordCount, 2);
  e->post(kCmdStop);
  steps(1);
  ASSERT_TRUE(e->ended());
  const std::string keys = test::readBytes(x.dir.file("Keys.txt"));
  EXPECT_EQ(keys.substr(0, keys.find("\r\n")), "2\t15\t62") << keys;
  EXPECT_NE(keys.find("\t1\r\n"), std::string::npos) << keys;
  EXPECT_EQ(readBack(x.path).h.recordCount, 2);
}

TEST(ExamEngine, ControlOutputsReachTheMarkWord) {
  ExamFixture x("amplifier", 250, 20);
  ExamOptions eo;
  eo.recordFromStart = true;
  eo.maxRecords = 2;
  auto e = x.engine(eo);
  std::string reason;
  ASSERT_TRUE(e->begin(reason));
  e->post(kCmdOutput1 + 2);  // output 3
  ExamFixture::run(*e, x.clock);
  const FileRecords f = readBack(x.path);
  ASSERT_EQ(f.records.size(), 2u);
  std::vector<std::vector<std::int16_t>> samples;
  ASSERT_TRUE(readRecordSamples(x.path, f.h, f.records[1], samples, reason));
  EXPECT_EQ(samples.back()[0], 4 * 256);
}

// With "Сжать=" 3 (decimation 2) the sweep shows samples 4, 8, 12, ... each
// as a step of 4; with 0 every sample from 1 on.
TEST(ExamEngine, LiveSweepColumnsFollowTheDecimation) {
  for (int decimation : {0, 2}) {
    ExamFixture x("amplifier", 250, 40);
    x.plan.displayDecimation = decimation;
    ExamOptions eo;
    eo.maxRecords = 0;
    eo.maxSamples = 40;
    auto e = x.engine(eo);
    std::string reason;
    ASSERT_TRUE(e->begin(reason));
    ExamFixture::run(*e, x.clock);
    std::vector<int> samples;
    SweepColumn c;
    bool first = true;
    while (e->sweep().pop(c)) {
      if (first) {
        EXPECT_TRUE(c.sweepStart);
      }
      first = false;
      EXPECT_EQ(c.step, 1 << decimation);
      EXPECT_EQ(c.x, static_cast<int>(samples.size()));
      samples.push_back(c.sample);
    }
    ASSERT_FALSE(samples.empty());
    const int step = 1 << decimation;
    EXPECT_EQ(samples.front(), decimation == 0 ? 1 : 4);
    for (std::size_t i = 1; i < samples.size(); ++i) EXPECT_EQ(samples[i] - samples[i - 1], step);
    EXPECT_EQ(samples.back(), decimation == 0 ? 39 : 36);
  }
}

TEST(ExamEngine, ADeviceThatRefusesTheRateEndsBeforeAnythingIsRecorded) {
  ExamFixture x("k2", 250, 100);
  x.s.sampleRate = 333;
  auto e = x.engine({});
  std::string reason;
  EXPECT_FALSE(e->begin(reason));
  EXPECT_NE(reason.find(exam_texts::kDeviceFailed), std::string::npos);
  EXPECT_TRUE(e->ended());
  EXPECT_FALSE(fileExists(x.path));
}

// Start's question before replacing a record file; a name with blanks
// around it names the file without them.
TEST(ExamFile, AnExistingFileIsReplacedOnlyAfterYes) {
  ExamFixture x("amplifier", 250, 100);
  x.plan.recordName = "  x1 ";
  const std::string target = x.dir.file("x1.cad");
  test::writeBytes(target, "earlier");
  x.ui.yesNoScript = {false};
  EXPECT_EQ(x.createFile(false), -2);
  EXPECT_EQ(x.ui.questions, std::vector<std::string>{exam_texts::kOverwriteQuestion});
  EXPECT_EQ(test::readBytes(target), "earlier");
  x.ui.yesNoScript = {true};
  const int fd = x.createFile(false);
  ASSERT_GE(fd, 0);
  ::close(fd);
  EXPECT_EQ(x.path, target);
  EXPECT_EQ(x.plan.fileNames[0], "x1");
  EXPECT_EQ(x.plan.fileNames[1], "a0");
  RecordFileHeader h;
  std::string reason;
  EXPECT_TRUE(readRecordFileHeader(target, h, reason)) << reason;
}

// The acquisition side runs on its own thread; the interface posts
// commands, reads the status and drains the sweep at the same time. Run
// under ThreadSanitizer by fuzz/run.sh tsan.
TEST(ExamThreads, TheInterfaceReadsAndPostsWhileTheWorkerRecords) {
  for (const char* kind : {"amplifier", "board"}) {
    SCOPED_TRACE(kind);
    ExamFixture x(kind, 1000, 200, 8);
    ExamOptions eo;
    eo.recordFromStart = true;
    eo.maxRecords = 20;
    eo.sweepCapacity = 64;  // small: the drops are counted, the recording goes on
    auto e = x.engine(eo);
    std::string reason;
    ASSERT_TRUE(e->begin(reason));
    ExaminationRunner runner(*e, x.clock);
    runner.start();
    long long drawn = 0;
    SweepColumn c;
    int toggles = 0;
    while (!e->ended()) {
      while (e->sweep().pop(c)) ++drawn;
      const ExamStatus st = e->status();
      if (st.recordCount > 5 && toggles < 3) {
        e->post(kCmdOutput1 + toggles);
        ++toggles;
      }
      std::this_thread::yield();
    }
    runner.join();
    while (e->sweep().pop(c)) ++drawn;
    const ExamStatus st = e->status();
    EXPECT_EQ(st.recordCount, 20);
    // One column per sample but the first of each record: drawn or counted as dropped.
    EXPECT_EQ(drawn + st.sweepDropped, st.samplesStored - st.recordCount);
    const FileRecords f = readBack(x.path);
    EXPECT_TRUE(f.sound) << f.reason;
    EXPECT_EQ(f.records.size(), 20u);
  }
}

TEST(ExamThreads, StopJoinsTheWorker) {
  ExamFixture x("amplifier", 250, 100);
  ExamOptions eo;
  eo.recordFromStart = true;
  auto e = x.engine(eo);
  std::string reason;
  ASSERT_TRUE(e->begin(reason));
  {
    ExaminationRunner runner(*e, x.clock);
    runner.start();
    while (e->status().recordCount < 3) std::this_thread::yield();
    runner.stop();
    EXPECT_TRUE(e->ended());
  }
  const int written = e->status().recordCount;
  EXPECT_GE(written, 3);
  EXPECT_EQ(readBack(x.path).h.recordCount, written);
}

}  // namespace
}  // namespace velor

namespace velor {
namespace {

// Express spectra at every record end; an express analysis this build does
// not have (the user's kind) lets the examination run and write its records.
TEST(ExamExpress, SpectraRunAtEveryRecordEndAndMissingKindsAreSkipped) {
  {
    ExamFixture x("amplifier", 250, 512, 8);
    x.plan.expressAnalysisKind = 1;
    ExamOptions eo;
    eo.recordFromStart = true;
    eo.maxRecords = 2;
    auto e = x.engine(eo);
    std::string reason;
    ASSERT_TRUE(e->begin(reason));
    ExamFixture::run(*e, x.clock);
    const ExamStatus st = e->status();
    EXPECT_GT(st.expressPeak, 0);
    EXPECT_FALSE(st.expressSkipped);
    EXPECT_EQ(st.recordCount, 2);
    EXPECT_EQ(x.s.epochLength, 256);  // the viewer's grid is back
  }
  {
    ExamFixture x("amplifier", 250, 100, 4);
    x.plan.expressAnalysisKind = 10;
    ExamOptions eo;
    eo.recordFromStart = true;
    eo.maxRecords = 2;
    auto e = x.engine(eo);
    std::string reason;
    ASSERT_TRUE(e->begin(reason));
    ExamFixture::run(*e, x.clock);
    EXPECT_TRUE(e->status().expressSkipped);
    EXPECT_EQ(e->status().recordCount, 2);
  }
}

}  // namespace
}  // namespace velor

namespace velor {
namespace {

// The amplifier's frames reach the record from the first one on, through
// its filter chain (drift, low-pass, mains), plus the zero level.
TEST(ExamEngine, AmplifierRecordsTheFilteredFramesFromTheFirstOn) {
  ExamFixture x("amplifier", 250, 200, 4);
  ExamOptions eo;
  eo.recordFromStart = true;
  eo.maxRecords = 2;
  auto e = x.engine(eo);
  std::string reason;
  ASSERT_TRUE(e->begin(reason));
  ExamFixture::run(*e, x.clock);
  const FileRecords f = readBack(x.path);
  ASSERT_EQ(f.records.size(), 2u);

  VirtualClock twinClock;
  SimulatedFilterChainAmplifier twin(twinClock, 7, 64);
  ASSERT_TRUE(twin.open());
  ASSERT_TRUE(twin.start());
  twinClock.advanceMilliseconds(5000);
  FrameBlock frames;
  ASSERT_TRUE(twin.readFrames(frames, 400));
  ASSERT_EQ(frames.frames, 400);
  OnlineFilterSets* chain = twin.onlineFilters();
  ASSERT_NE(chain, nullptr);
  for (int r = 0; r < 2; ++r) {
    std::vector<std::vector<std::int16_t>> samples;
    ASSERT_TRUE(readRecordSamples(x.path, f.h, f.records[r], samples, reason)) << reason;
    for (int i = 0; i < 200; ++i)
      for (int ch = 0; ch < 4; ++ch) {
        int v = frames.words[(r * 200 + i) * frames.wordsPerFrame + ch];
        for (FilterSet set : {FilterSet::Drift, FilterSet::Mains150, FilterSet::Mains50})
          if (OnlineFilter* fl = chain->get(set, ch)) v = filterSample(fl->design, fl->state, v);
        ASSERT_EQ(samples[ch][i], std::clamp(v + 2048, -4095, 8191)) << r << " " << i << " " << ch;
      }
  }
}

}  // namespace
}  // namespace velor

namespace velor {
namespace {

// K2 delivers 500 frames a second; at 250 Hz every second one is kept,
// after the settling pause (250 frames, then 850 while the drift filters
// settle: 2.2 s of frames).
TEST(ExamEngine, K2KeepsEverySecondFrameAfterTheSettlingPause) {
  ExamFixture x("k2", 250, 100);
  ExamOptions eo;
  eo.maxSamples = 500;
  auto e = x.engine(eo);
  std::string reason;
  ASSERT_TRUE(e->begin(reason)) << reason;
  const std::int64_t start = x.clock.nowMicroseconds();
  ExamFixture::run(*e, x.clock);
  EXPECT_EQ(e->status().samplesStored, 500);
  const double seconds = static_cast<double>(x.clock.nowMicroseconds() - start) / 1e6;
  EXPECT_NEAR(seconds, 2.2 + 2.0, 0.05);
}

}  // namespace
}  // namespace velor

namespace velor {
namespace {

// A plan with a protocol: without a protocol step the examination records as
// without one (and says so); with a step plugged in, the step runs at every
// sample and may drive the control outputs into the mark word.
TEST(ExamEngine, AProtocolRunsOnlyThroughItsPluggedInStep) {
  for (bool plugged : {false, true}) {
    SCOPED_TRACE(plugged);
    ExamFixture x("amplifier", 250, 50, 4);
    x.plan.protocol = {{1, 0, 0, 0, 0, 0}};
    ExamOptions eo;
    eo.recordFromStart = true;
    eo.maxSamples = 120;
    auto e = x.engine(eo);
    long long steps = 0;
    if (plugged)
      e->protocolStep = [&steps](ExamRegisters& r) {
        ++steps;
        r.controlOutputs = 5;
      };
    std::string reason;
    ASSERT_TRUE(e->begin(reason));
    ExamFixture::run(*e, x.clock);
    const ExamStatus st = e->status();
    EXPECT_EQ(st.protocolSkipped, !plugged);
    if (plugged) {
      // The protocol owns the records: they run to the longest and are not
      // written by the engine.
      EXPECT_EQ(steps, 120);
      EXPECT_EQ(st.recordCount, 0);
      EXPECT_EQ(x.s.markChannel[10], 5 * 256);
    } else {
      EXPECT_EQ(st.recordCount, 2);
    }
  }
}

}  // namespace
}  // namespace velor

namespace velor {
namespace {

// The ECG monitor at a record end: the heart rate of every channel with a
// signal, the channel kinds, the RR rows of the result store, and one record
// written when its minute lies more than a minute past the last written.
TEST(ExamExpress, EcgMonitorFindsTheRateAndWritesARecordAMinuteOrSo) {
  StudyState s;
  s.channelCount = 2;
  s.sampleRate = 250;
  s.recordLength = 2500;
  for (int c = 0; c < 2; ++c) s.zeroLevel[c] = 2048;
  std::fill(s.channelData[0], s.channelData[0] + 2500, std::int16_t{2048});
  std::fill(s.channelData[1], s.channelData[1] + 2500, std::int16_t{2050});
  // R waves every 250 samples: 60 a minute.
  for (int r = 100; r < 2490; r += 250)
    for (int k = -4; k <= 4; ++k) s.channelData[0][r + k] = static_cast<std::int16_t>(2048 + 160 * (5 - std::abs(k)));
  s.channelPosX[1] = 3;
  ExpressAnalysis a;
  a.reset();
  bool on = true;
  struct Step {
    double minutes;
    bool written;
  };
  // Minutes of the day: 10:00 written; 10:01 is only one minute after it;
  // 10:02 two: written; 10:03 again only one after that.
  const Step steps[] = {{600, true}, {601, false}, {601.9, false}, {602.5, true}, {603.5, false}};
  for (const Step& st : steps) {
    ExpressContext ctx{on, st.minutes / 1440.0, 0, 0, 0};
    a.run(s, 4, 2500, ctx);
    EXPECT_EQ(on, st.written) << st.minutes;
  }
  ASSERT_EQ(a.heartRates().size(), 2u);
  EXPECT_TRUE(a.heartRates()[0].usable);
  EXPECT_NEAR(a.heartRates()[0].minPerMinute, 60, 0.5);
  EXPECT_NEAR(a.heartRates()[0].maxPerMinute, 60, 0.5);
  EXPECT_FALSE(a.heartRates()[1].usable);
  EXPECT_EQ(s.channelPosX[0], kKindEcg);
  EXPECT_EQ(s.channelPosX[1], 0);
  EXPECT_EQ(s.resultStore[0], 250);         // shortest RR, samples
  EXPECT_EQ(s.resultStore[2048], 250);      // longest
  EXPECT_EQ(s.resultStore[2 * 2048], 250);  // mean
  EXPECT_GT(s.resultStore[3 * 2048], 2048 + 500);  // mean R amplitude, code
  EXPECT_EQ(a.ecgRecords(), 5);

  // Only the chosen channel: the flat one gives no channel, the count restarts.
  ExpressContext only{on, 700 / 1440.0, 0, 0, 2};
  a.run(s, 4, 2500, only);
  EXPECT_FALSE(on);
  EXPECT_EQ(a.ecgRecords(), 0);
}

// Wave analyses: the breath detector on the chosen channel.
TEST(ExamExpress, WaveAnalysisCountsTheBreathsOfTheChosenChannel) {
  StudyState s;
  s.channelCount = 2;
  s.sampleRate = 100;
  s.recordLength = 4000;
  for (int i = 0; i < 4000; ++i) {
    s.channelData[0][i] = 2048;
    s.channelData[1][i] = static_cast<std::int16_t>(2048 + 300 * std::sin(2 * M_PI * 0.25 * i / 100.0));
  }
  ExpressAnalysis a;
  a.reset();
  bool on = false;
  ExpressContext ctx{on, 0, 0, 0, 2};
  a.run(s, 5, 4000, ctx);
  EXPECT_GE(a.waves(), 8);
  EXPECT_LE(a.waves(), 10);
  EXPECT_EQ(s.resultStore[0], 0);
  EXPECT_GT(s.resultStore[1], 0);
  EXPECT_EQ(s.recordLength, 4000);
  // The side window's picture: the amplitude and period of every wave.
  auto p = a.picture();
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p->kind, 5);
  EXPECT_EQ(p->waveChannel, 1);
  EXPECT_GE(p->waveAmplitudes.size(), 8u);
  ASSERT_GE(p->wavePeriods.size(), 7u);
  for (double period : p->wavePeriods) EXPECT_NEAR(period, 4.0, 0.1);
}

// Evoked potentials through the engine: no record is written while it runs;
// at the end the average of the accepted responses (times the gain around the
// zero level) is the file's one record, counted −responses; artefacts are
// refused by channel 0's threshold.
TEST(ExamExpress, EvokedAverageBecomesTheFilesRecord) {
  constexpr int kLength = 100, kRecords = 4;
  // The same device, seed and plan without the averaging: its records.
  ExamFixture plain("amplifier", 250, kLength, 3);
  ExamOptions po;
  po.recordFromStart = true;
  po.maxRecords = kRecords;
  auto pe = plain.engine(po);
  std::string reason;
  ASSERT_TRUE(pe->begin(reason)) << reason;
  ExamFixture::run(*pe, plain.clock);
  pe.reset();
  FileRecords pf = readBack(plain.path);
  ASSERT_EQ(pf.records.size(), static_cast<std::size_t>(kRecords));
  std::vector<std::vector<std::vector<std::int16_t>>> rec(kRecords);
  for (int r = 0; r < kRecords; ++r) ASSERT_TRUE(readRecordSamples(plain.path, pf.h, pf.records[r], rec[r], reason));

  ExamFixture x("amplifier", 250, kLength, 3);
  x.plan.expressAnalysisKind = 3;
  x.plan.expressParameter = 2;  // gain
  x.plan.expressThreshold = 0;  // every record
  const int calib0 = x.s.calibValue[0];
  ExamOptions eo;
  eo.recordFromStart = true;
  eo.maxSamples = kRecords * kLength;
  auto e = x.engine(eo);
  ASSERT_TRUE(e->begin(reason)) << reason;
  ExamFixture::run(*e, x.clock);
  EXPECT_EQ(e->status().expressResponses, kRecords);
  EXPECT_FALSE(e->status().expressSkipped);
  e.reset();
  FileRecords f = readBack(x.path);
  ASSERT_TRUE(f.sound) << f.reason;
  EXPECT_EQ(f.h.recordCount, -kRecords);
  ASSERT_EQ(f.records.size(), 1u);
  EXPECT_EQ(f.records[0].recordLength, kLength);
  EXPECT_EQ(f.h.calibValue[0], calib0 / 2);
  std::vector<std::vector<std::int16_t>> avg;
  ASSERT_TRUE(readRecordSamples(x.path, f.h, f.records[0], avg, reason)) << reason;
  for (int c = 0; c < 3; ++c)
    for (int j = 0; j < kLength; ++j) {
      long long sum = 0;
      for (int r = 0; r < kRecords; ++r) sum += rec[r][c][j];
      const double mean = std::floor(static_cast<double>(sum) / kRecords + 0.5);
      const double z = x.s.zeroLevel[c];
      ASSERT_EQ(avg[c][j], static_cast<std::int16_t>(z + (mean - z) * 2)) << c << " " << j;
    }

  // A threshold every record passes beyond: nothing averaged, no file left.
  ExamFixture y("amplifier", 250, kLength, 3);
  y.plan.expressAnalysisKind = 3;
  y.plan.expressThreshold = 1;
  auto ye = y.engine(eo);
  ASSERT_TRUE(ye->begin(reason)) << reason;
  ExamFixture::run(*ye, y.clock);
  EXPECT_EQ(ye->status().expressResponses, 0);
  EXPECT_EQ(ye->status().expressRejected, kRecords);
  ye.reset();
  EXPECT_FALSE(fileExists(y.path));
}

}  // namespace
}  // namespace velor

namespace velor {
namespace {

// K3 input events: the event's code marks the sample of its device time
// (waiting for a later block when it lies beyond the current one), only that
// sample; the block's last sample says that an event was marked in it.
TEST(ExamEngine, K3EventMarksTheSampleOfItsDeviceTime) {
  ExamFixture x("k3", 250, 64, 4);
  auto* k3 = dynamic_cast<SimulatedK3*>(x.device.get());
  ASSERT_NE(k3, nullptr);
  ExamOptions eo;
  eo.recordFromStart = true;
  eo.maxRecords = 30;
  auto e = x.engine(eo);
  const std::int64_t t0 = x.clock.nowMicroseconds();
  std::string reason;
  ASSERT_TRUE(e->begin(reason)) << reason;
  // Past the settling pause (1100 device frames) and a little more.
  ExamFixture::run(*e, x.clock, 70);
  ASSERT_FALSE(e->ended());
  const long long stored = e->status().samplesStored;
  ASSERT_GT(stored, 0);
  // Device time counts device frames (1000 Hz) from the start: one second
  // ahead is 250 record samples later, well beyond this tick's block.
  const std::int32_t now = static_cast<std::int32_t>((x.clock.nowMicroseconds() - t0) / 1000);
  k3->reportEvent({3, now + 1000, 5});
  ExamFixture::run(*e, x.clock, 1);
  ExamFixture::run(*e, x.clock);
  e.reset();
  FileRecords f = readBack(x.path);
  ASSERT_TRUE(f.sound) << f.reason;
  std::vector<long long> events, flags;
  long long g = 0;
  for (const RecordInfo& r : f.records) {
    std::vector<std::vector<std::int16_t>> samples;
    ASSERT_TRUE(readRecordSamples(x.path, f.h, r, samples, reason)) << reason;
    const auto& marks = samples.back();
    for (int i = 0; i < r.recordLength; ++i, ++g) {
      if (marks[i] == 5) events.push_back(g);
      if (marks[i] != 0 && marks[i] != 5) {
        flags.push_back(g);
        EXPECT_EQ(static_cast<std::uint16_t>(marks[i]), 0x8000u) << g;
      }
    }
  }
  ASSERT_EQ(events.size(), 1u);
  EXPECT_NEAR(static_cast<double>(events[0] - stored), 250.0, 6.0);
  ASSERT_EQ(flags.size(), 1u);
  EXPECT_GT(flags[0], events[0]);
  EXPECT_LE(flags[0] - events[0], 6);  // the rest of a 20 ms block at 250 Hz
}

// Another record file while the examination runs: the first keeps its
// records and count, recording is off until switched on again, later
// records go to the new file; one that cannot be created leaves none.
TEST(ExamEngine, ANewRecordFileTakesTheFollowingRecords) {
  ExamFixture x("amplifier", 250, 50, 2);
  ExamOptions eo;
  eo.recordFromStart = true;
  auto e = x.engine(eo);
  std::string reason;
  ASSERT_TRUE(e->begin(reason)) << reason;
  for (int i = 0; i < 1000 && e->status().recordCount < 2; ++i) ExamFixture::run(*e, x.clock, 1);
  const std::string second = x.dir.file("second.cad");
  e->requestNewFile(second);
  ExamFixture::run(*e, x.clock, 1);
  ExamStatus st = e->status();
  EXPECT_EQ(st.examPath, second);
  EXPECT_FALSE(st.recordingOn);
  EXPECT_EQ(st.recordCount, 0);
  EXPECT_EQ(x.s.recordFileName, "second");
  FileRecords first = readBack(x.path);
  ASSERT_TRUE(first.sound) << first.reason;
  EXPECT_GE(first.h.recordCount, 2);
  EXPECT_EQ(static_cast<std::size_t>(first.h.recordCount), first.records.size());
  e->post(kCmdRecord);
  for (int i = 0; i < 1000 && e->status().recordCount < 3; ++i) ExamFixture::run(*e, x.clock, 1);
  e->requestNewFile(x.dir.file("no/such/folder.cad"));
  ExamFixture::run(*e, x.clock, 1);
  st = e->status();
  EXPECT_TRUE(st.examPath.empty());
  EXPECT_FALSE(st.requestMessage.empty());
  e->post(kCmdRecord);  // no file: nothing to switch on
  ExamFixture::run(*e, x.clock, 3);
  EXPECT_FALSE(e->status().recordingOn);
  e->post(kCmdStop);
  ExamFixture::run(*e, x.clock);
  FileRecords f = readBack(second);
  ASSERT_TRUE(f.sound) << f.reason;
  EXPECT_EQ(f.h.recordCount, 3);
  EXPECT_EQ(f.records.size(), 3u);
  EXPECT_EQ(f.h.channelCount, 2);
}

// NVX: the test signal is switched off at the start and on by a request.
TEST(ExamEngine, NvxTestSignalGoesThroughTheAcquisitionSide) {
  ExamFixture x("nvx24", 250, 250, 4);
  auto* nvx = dynamic_cast<SimulatedNvx*>(x.device.get());
  ASSERT_NE(nvx, nullptr);
  nvx->clearCalls();
  ExamOptions eo;
  auto e = x.engine(eo);
  std::string reason;
  ASSERT_TRUE(e->begin(reason)) << reason;
  const auto& calls = nvx->calls();
  EXPECT_NE(std::find(calls.begin(), calls.end(), "NVXStopTest(h)"), calls.end());
  e->request([](ExamSideAccess& a) { return a.device.setTestSignal(true); });
  EXPECT_FALSE(nvx->testSignal());  // not before the acquisition side's next step
  ExamFixture::run(*e, x.clock, 1);
  EXPECT_TRUE(nvx->testSignal());
  EXPECT_EQ(calls.back(), "NVXStartTest(h, 0)");
  EXPECT_EQ(e->status().requestsDone, 1);
  // A device without a test signal refuses; the examination goes on.
  ExamFixture y("amplifier", 250, 250, 4);
  auto ye = y.engine(eo);
  ASSERT_TRUE(ye->begin(reason)) << reason;
  ye->request([](ExamSideAccess& a) { return a.device.setTestSignal(true); });
  ExamFixture::run(*ye, y.clock, 2);
  EXPECT_FALSE(ye->status().requestMessage.empty());
  EXPECT_FALSE(ye->ended());
}

}  // namespace
}  // namespace velor

namespace velor {
namespace {

// Requests posted by the interface while the worker records run once each,
// in order, on the worker's side.
TEST(ExamThreads, RequestsRunOnTheAcquisitionSideInOrder) {
  ExamFixture x("amplifier", 1000, 200, 4);
  ExamOptions eo;
  eo.recordFromStart = true;
  eo.maxRecords = 30;
  auto e = x.engine(eo);
  std::string reason;
  ASSERT_TRUE(e->begin(reason));
  std::vector<int> ran;  // touched only by the requests, on the worker
  ExaminationRunner runner(*e, x.clock);
  runner.start();
  int posted = 0;
  while (!e->ended()) {
    if (posted < 40) {
      const int n = posted++;
      e->request([&ran, n](ExamSideAccess& a) {
        ran.push_back(n);
        a.gainCodes.assign(static_cast<std::size_t>(a.study.channelCount), 5);
        return DeviceResult::success();
      });
    }
    std::this_thread::yield();
  }
  runner.join();
  const ExamStatus st = e->status();
  EXPECT_EQ(st.recordCount, 30);
  EXPECT_TRUE(st.requestMessage.empty());
  ASSERT_EQ(static_cast<int>(ran.size()), st.requestsDone);
  for (std::size_t i = 0; i < ran.size(); ++i) EXPECT_EQ(ran[i], static_cast<int>(i));
}

}  // namespace
}  // namespace velor

namespace velor {
namespace {

// What each record end hands to the side window: the classical band
// amplitudes, the running average, the heart-rate history (emptied by the
// space key through the engine) and the waves, each a new picture.
TEST(ExamExpress, EachRecordEndPublishesAPictureForTheSideWindow) {
  StudyState s;
  s.channelCount = 2;
  s.sampleRate = 250;
  s.recordLength = 1000;
  for (int c = 0; c < 2; ++c) s.zeroLevel[c] = 2048;
  for (int i = 0; i < 1000; ++i) {
    s.channelData[0][i] = static_cast<std::int16_t>(2048 + 400 * std::sin(2 * M_PI * 10.0 * i / 250.0));  // alpha
    s.channelData[1][i] = static_cast<std::int16_t>(2048 + 400 * std::sin(2 * M_PI * 2.0 * i / 250.0));   // delta
  }
  ExpressAnalysis a;
  a.reset();
  EXPECT_EQ(a.picture(), nullptr);
  bool on = false;
  ExpressContext ctx{on, 0, 40, 150, 0};
  a.run(s, 1, 1000, ctx);
  auto bands = a.picture();
  ASSERT_NE(bands, nullptr);
  EXPECT_EQ(bands->kind, 1);
  EXPECT_EQ(bands->bandNames, (std::vector<std::string>{"Дельта", "Тета", "Альфа", "Бета1", "Бета2"}));
  ASSERT_EQ(bands->bandValues.size(), 2u);
  const auto largest = [](const std::vector<double>& v) { return std::max_element(v.begin(), v.end()) - v.begin(); };
  EXPECT_EQ(largest(bands->bandValues[0]), 2);
  EXPECT_EQ(largest(bands->bandValues[1]), 0);

  // Evoked averaging: the mean deviation from the zero level, point by point.
  a.reset();
  ExpressContext every{on, 0, 1, 0, 0};  // gain 1, no artefact level
  a.run(s, 3, 1000, every);
  a.run(s, 3, 1000, every);
  auto average = a.picture();
  ASSERT_NE(average, nullptr);
  EXPECT_EQ(average->responses, 2);
  ASSERT_EQ(average->average.size(), 2u);
  ASSERT_EQ(average->average[0].size(), 1000u);
  for (int i : {0, 7, 999}) EXPECT_FLOAT_EQ(average->average[0][static_cast<std::size_t>(i)], s.channelData[0][i] - 2048);

  // Heart rates: a column per record; clearing starts the history again.
  a.reset();
  for (int r = 0; r < 3; ++r) a.run(s, 4, 1000, ctx);
  auto rates = a.picture();
  ASSERT_NE(rates, nullptr);
  EXPECT_EQ(rates->rates.size(), 3u);
  EXPECT_EQ(rates->rateMin, 40);
  EXPECT_EQ(rates->rateMax, 150);
  a.clearRates();
  ASSERT_NE(a.picture(), nullptr);
  EXPECT_TRUE(a.picture()->rates.empty());
  EXPECT_GT(a.picture()->serial, rates->serial);
  EXPECT_EQ(rates->rates.size(), 3u);  // a picture once handed out never changes
  a.run(s, 4, 1000, ctx);
  EXPECT_EQ(a.picture()->rates.size(), 1u);
}

TEST(ExamExpress, TheSpaceKeyEmptiesTheHeartRateHistoryOfARunningExamination) {
  ExamFixture x("amplifier", 250, 100, 3);
  x.plan.expressAnalysisKind = 4;
  ExamOptions eo;
  auto e = x.engine(eo);
  std::string reason;
  ASSERT_TRUE(e->begin(reason)) << reason;
  ExamFixture::run(*e, x.clock, 60);  // 1.2 s: three records of 0.4 s
  auto before = e->status().expressPicture;
  ASSERT_NE(before, nullptr);
  EXPECT_GE(before->rates.size(), 2u);
  e->post(kCmdSpace);
  x.clock.advanceMilliseconds(e->stepMilliseconds());
  e->step();
  auto after = e->status().expressPicture;
  ASSERT_NE(after, nullptr);
  EXPECT_LE(after->rates.size(), 1u);  // at most the record that ended in this tick
  EXPECT_GT(after->serial, before->serial);
  e->post(kCmdStop);
  ExamFixture::run(*e, x.clock);
}

}  // namespace
}  // namespace velor
