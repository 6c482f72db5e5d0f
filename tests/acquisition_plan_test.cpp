// Plan files (".cap"), the dialog's settings files, interval labels, the
// record-file name list and the stages of the sports diagnostics.
#include <gtest/gtest.h>

#include <unistd.h>

#include "acquisition/device_registry.h"
#include "acquisition/exam_engine.h"
#include "acquisition/exam_plan.h"
#include "acquisition/exam_texts.h"
#include "acquisition/sport_stage.h"
#include "core/binio.h"
#include "core/numtext.h"
#include "core/settings.h"
#include "core/text.h"
#include "test_support.h"

namespace velor {
namespace {

void fillStudy(StudyState& s, int channels) {
  s.channelCount = channels;
  s.sampleRate = 500;
  s.recordLength = 2048;
  s.markChannelCount = 1;
  s.gainStep = 3;
  s.leadPairCount = 2;
  s.leadPairs[0] = {1, 2};
  s.leadPairs[1] = {3, 4};
  s.referenceKind = 2;
  s.currentBand = 4;
  s.shownChannelCount = channels / 2;
  s.examHeader = utf8Fit("Иванов И.И.", kHeaderChars);
  for (int i = 0; i < channels; ++i) {
    s.channelNames[i] = "K" + std::to_string(i);
    s.zeroLevel[i] = static_cast<std::uint16_t>(2000 + i);
    s.calibUnits[i] = static_cast<std::uint16_t>(100 + i);
    s.calibValue[i] = static_cast<std::uint16_t>(50 + i);
    s.channelPosX[i] = static_cast<std::uint8_t>(i);
    s.channelPosY[i] = static_cast<std::uint8_t>(2 * i);
    s.channelOrder[i] = static_cast<std::int8_t>(channels - 1 - i);
  }
}

ExaminationPlan samplePlan(int channels) {
  ExaminationPlan p;
  p.monitorMode = MonitorMode::Deferred;
  p.displayDecimation = 2;
  p.expressAnalysisKind = 21;
  p.expressParameter = 300;
  p.expressThreshold = -5;
  p.expressChannel = 1;
  p.instrumentFile = "/somewhere/panel.cas";
  p.protocol = {{1, 2, 3, 4, 5, 6}, {7, 8, 9, 10, 11, 12}};
  for (int i = 0; i < channels; ++i) p.amplifierColumns[0][i] = static_cast<std::uint8_t>(i % 7);
  p.amplifierCommon = 1;
  return p;
}

TEST(PlanFile, RoundTripsEveryFieldWithTheSlotRule) {
  for (int channels : {4, 23, 24, 40}) {
    SCOPED_TRACE(channels);
    test::TempDir dir;
    StudyState s;
    fillStudy(s, channels);
    ExaminationPlan p = samplePlan(channels);
    std::string reason;
    const std::string path = dir.file("p.cap");
    ASSERT_TRUE(writePlanFile(path, s, p, 0, reason)) << reason;
    const int slots = channels > 23 ? 64 : 32;
    EXPECT_EQ(test::readBytes(path).size(),
              static_cast<std::size_t>(171 + 15 * slots + 3 * channels + 8 + 12 + 4 + 1 + 9));

    StudyState t;
    t.examHeader = utf8Fit("", kHeaderChars);
    utf8PutField(t.examHeader, 40, 10, "kept");
    ExaminationPlan q;
    ASSERT_TRUE(readPlanFile(path, t, q, reason)) << reason;
    EXPECT_EQ(t.channelCount, channels);
    EXPECT_EQ(t.sampleRate, 500);
    EXPECT_EQ(t.recordLength, 2048);
    EXPECT_EQ(t.gainStep, 3);
    EXPECT_EQ(t.leadPairCount, 2);
    EXPECT_EQ(t.leadPairs[1][1], 4);
    EXPECT_EQ(t.referenceKind, 2);
    EXPECT_EQ(t.currentBand, 4);
    EXPECT_EQ(t.shownChannelCount, channels / 2);
    for (int i = 0; i < channels; ++i) {
      EXPECT_EQ(t.channelNames[i], utf8Substr("K" + std::to_string(i), 0, 3));
      EXPECT_EQ(t.zeroLevel[i], 2000 + i);
      EXPECT_EQ(t.calibUnits[i], 100 + i);
      EXPECT_EQ(t.calibValue[i], 50 + i);
      EXPECT_EQ(t.channelPosY[i], 2 * i);
      EXPECT_EQ(t.channelOrder[i], channels - 1 - i);
    }
    // Header field 1 comes from the plan, the rest of the header stays.
    EXPECT_EQ(trimSpaces(utf8Substr(t.examHeader, 0, 30)), "Иванов И.И.");
    EXPECT_EQ(trimSpaces(utf8Substr(t.examHeader, 40, 10)), "kept");
    EXPECT_EQ(q.monitorMode, MonitorMode::Deferred);
    EXPECT_EQ(q.displayDecimation, 2);
    EXPECT_EQ(q.expressAnalysisKind, 21);
    EXPECT_EQ(q.expressParameter, 300);
    EXPECT_EQ(q.expressThreshold, -5);
    EXPECT_EQ(q.protocol, p.protocol);
    EXPECT_EQ(q.amplifierColumns[0], p.amplifierColumns[0]);
    EXPECT_EQ(q.instrumentFile, "panel.cas");
    EXPECT_EQ(q.lastPlanName, "p.cap");
  }
}

// A plan of the earlier writer: 64 slots for an NVX amplifier of 20 record
// channels, which the reader rule alone would read with 32.
TEST(PlanFile, ReadsEarlierNvxPlansWrittenWith64Slots) {
  StudyState s;
  fillStudy(s, 20);
  s.deviceKind = 3;
  ExaminationPlan p = samplePlan(20);
  p.protocol.clear();
  p.nvxReference = 3;
  // Build the 64-slot layout by writing 24 channels and patching the count.
  s.channelCount = 24;
  test::TempDir dir;
  std::string reason;
  ASSERT_TRUE(writePlanFile(dir.file("w.cap"), s, p, 3, reason));
  std::string bytes = test::readBytes(dir.file("w.cap"));
  bytes[162] = 20;
  // The amplifier columns were written for 24 channels: drop 3 × 4 bytes.
  const std::size_t amp = 171 + 12 * 64;
  std::string fixed = bytes.substr(0, amp);
  for (int col = 0; col < 3; ++col) fixed += bytes.substr(amp + col * 24, 20);
  fixed += bytes.substr(amp + 72);
  StudyState t;
  t.deviceKind = 3;
  ExaminationPlan q;
  ASSERT_TRUE(readPlanBytes(fixed, t, q, reason)) << reason;
  EXPECT_EQ(t.channelCount, 20);
  EXPECT_EQ(q.nvxReference, 3);
  EXPECT_EQ(t.calibValue[19], 50 + 19);
  EXPECT_EQ(t.channelOrder[0], 19);
  EXPECT_EQ(q.monitorMode, MonitorMode::Deferred);
}

// Every count is checked before use; a refusal changes nothing.
TEST(PlanFile, HostileValuesAreRefusedAndChangeNothing) {
  StudyState s;
  fillStudy(s, 4);
  ExaminationPlan p = samplePlan(4);
  test::TempDir dir;
  std::string reason;
  ASSERT_TRUE(writePlanFile(dir.file("g.cap"), s, p, 0, reason));
  const std::string good = test::readBytes(dir.file("g.cap"));
  const std::size_t tail = good.size() - 10 - 4;  // currentBand .. monitorMode, before the name
  struct Case {
    const char* what;
    std::size_t offset;
    int value;
    const char* message;
  };
  const std::size_t order = 171 + 12 * 32 + 3 * 4 + 1 + 2 * 32 + 7;
  for (const Case c : {Case{"channels 0", 162, 0, exam_texts::kPlanChannels},
                       Case{"channels 65", 162, 65, exam_texts::kPlanChannels},
                       Case{"rate 0", 163, 0, exam_texts::kPlanRate},
                       Case{"marks 7", 167, 7, exam_texts::kPlanMarks},
                       Case{"pairs 70", 170, 70, exam_texts::kPlanPairs},
                       Case{"order 70", order, 70, exam_texts::kPlanOrder},
                       Case{"band 40", tail, 40, exam_texts::kPlanBand},
                       Case{"decimation 9", tail + 1, 9, exam_texts::kPlanDecimation},
                       Case{"monitor 3", tail + 3, 3, exam_texts::kPlanMonitor}}) {
    SCOPED_TRACE(c.what);
    std::string bad = good;
    bad[c.offset] = static_cast<char>(c.value);
    if (c.offset == 163) bad[164] = 0;
    StudyState t;
    fillStudy(t, 6);
    ExaminationPlan q;
    const test::StudySnapshot before(t);
    ASSERT_FALSE(readPlanBytes(bad, t, q, reason));
    EXPECT_NE(reason.find(c.message), std::string::npos) << reason;
    EXPECT_EQ(test::StudySnapshot(t), before);
    EXPECT_EQ(q.monitorMode, MonitorMode::RealTime);
  }
  // Too short for the header.
  StudyState t;
  ExaminationPlan q;
  EXPECT_FALSE(readPlanBytes(good.substr(0, 100), t, q, reason));
}

TEST(PlanFile, AShortFileLeavesTheFieldsAfterItsEnd) {
  StudyState s;
  fillStudy(s, 4);
  test::TempDir dir;
  std::string reason;
  ASSERT_TRUE(writePlanFile(dir.file("g.cap"), s, samplePlan(4), 0, reason));
  const std::string cut = test::readBytes(dir.file("g.cap")).substr(0, 171 + 4 * 32);  // channel bytes only
  StudyState t;
  fillStudy(t, 6);
  t.zeroLevel[0] = 1234;
  ExaminationPlan q;
  q.displayDecimation = 5;
  ASSERT_TRUE(readPlanBytes(cut, t, q, reason)) << reason;
  EXPECT_EQ(t.channelCount, 4);
  EXPECT_EQ(t.zeroLevel[0], 1234);
  EXPECT_EQ(q.displayDecimation, 5);
}

TEST(PlanSettings, QplnKeepsNameRandomStateAndInterrupts) {
  test::TempDir dir;
  const std::string pd = dir.path() + "/";
  ExaminationPlan p;
  EXPECT_EQ(p.randomState, 1542);
  EXPECT_FALSE(readPlanSettings(pd, p));  // missing: defaults stay
  EXPECT_EQ(p.fileNames[0], "a0");
  p.fileNames[0] = "опыт";
  p.randomState = 777;
  p.interruptMode = true;
  ASSERT_TRUE(writePlanSettings(pd, p));
  EXPECT_EQ(test::readBytes(dir.file("qpln.ini")), utf8ToCp1251("опыт") + "\r\n777\r\n1\r\n");
  ExaminationPlan q;
  EXPECT_TRUE(readPlanSettings(pd, q));
  EXPECT_EQ(q.fileNames[0], "опыт");
  EXPECT_EQ(q.randomState, 777);
  EXPECT_TRUE(q.interruptMode);

  SportSettings sp;
  sp.athleteItem = 3;
  sp.recordName = "s1";
  ASSERT_TRUE(writeSportSettings(pd, sp));
  SportSettings back;
  ASSERT_TRUE(readSportSettings(pd, back));
  EXPECT_EQ(back.athleteItem, 3);
  EXPECT_EQ(back.recordName, "s1");
}

TEST(PlanIntervals, LabelsAndLengths) {
  const std::vector<std::string> at100 = intervalLabels(100);
  ASSERT_EQ(at100.size(), 11u);
  EXPECT_EQ(at100.front(), "0.32");
  EXPECT_EQ(at100[2], "1.28");
  EXPECT_EQ(at100[9], "163.8");  // four significant digits
  EXPECT_EQ(intervalLabels(10000).front(), "0.0032");
  EXPECT_EQ(intervalSamples(0), 32);
  EXPECT_EQ(intervalSamples(9), 16384);
  EXPECT_EQ(intervalSamples(10), 32760);
  EXPECT_EQ(intervalSamples(11), -1);
  EXPECT_EQ(intervalSamples(-1), -1);
  EXPECT_EQ(intervalItemFor(1024), 5);
  EXPECT_EQ(intervalItemFor(32760), 10);
  EXPECT_EQ(intervalItemFor(16), -1);
  EXPECT_TRUE(intervalLabels(0).empty());
  EXPECT_FALSE(planRateAcceptable(0));
  EXPECT_FALSE(planRateAcceptable(70000));
  EXPECT_TRUE(planRateAcceptable(10000));
}

TEST(PlanNames, ANewNamePushesTheLastOutAnExistingOneKeepsTheOrder) {
  ExaminationPlan p;
  rememberFileName(p.fileNames, "a5");
  EXPECT_EQ(p.fileNames[0], "a0");
  EXPECT_EQ(p.fileNames[5], "a5");
  rememberFileName(p.fileNames, "new");
  EXPECT_EQ(p.fileNames[0], "new");
  EXPECT_EQ(p.fileNames[1], "a0");
  EXPECT_EQ(p.fileNames[9], "a8");
  EXPECT_EQ(devicePlanFileName(3, 24), "nvx24.cap");
  EXPECT_EQ(devicePlanFileName(3, 36), "nvx36.cap");
  EXPECT_EQ(devicePlanFileName(3, 52), "nvx52.cap");
  EXPECT_EQ(devicePlanFileName(1, 12), "K2.cap");
  EXPECT_EQ(devicePlanFileName(0, 32), "");
}

}  // namespace
}  // namespace velor

namespace velor {
namespace {

struct SportFixture {
  test::TempDir dir;
  StudyState s;
  ExaminationPlan plan;
  ScriptedInteraction ui;
  std::vector<std::string> names{"a0", "a1"};
  SportFixture() {
    s.programDir = dir.path() + "/";
    s.dataDir = s.programDir;
    StudyState p;
    fillStudy(p, 8);
    p.sampleRate = 250;
    p.recordLength = 1024;
    std::string reason;
    for (const char* f : {"sport.cap", "sport0.cap", "sport1.cap"})
      EXPECT_TRUE(writePlanFile(s.programDir + f, p, ExaminationPlan{}, 0, reason)) << reason;
    s.examHeader = utf8Fit("Сборная", kHeaderChars);
  }
};

TEST(SportStages, EachStageReadsItsPlanAndCreatesItsFile) {
  struct Case {
    SportStage stage;
    const char* name;
    const char* file;  // created, or "" for none
  };
  for (const Case c : {Case{SportStage::Trial, "", ""}, Case{SportStage::Relaxation, " ivan ", "ivan.cad"},
                       Case{SportStage::Load, "ivan", "ivans.cad"}}) {
    SCOPED_TRACE(c.name);
    SportFixture x;
    int fd = -1;
    std::string path;
    ASSERT_TRUE(startSportStage(x.s, x.plan, x.ui, c.stage, 3, c.name, x.names, fd, path));
    EXPECT_EQ(x.s.dialogResult, 1);
    EXPECT_EQ(x.s.channelCount, 3);
    EXPECT_EQ(x.s.shownChannelCount, 3);
    EXPECT_EQ(x.s.sampleRate, 250);
    EXPECT_TRUE(x.plan.interruptMode);
    EXPECT_EQ(trimSpaces(x.s.examHeader), "Сборная");  // the header stays the athletes'
    if (std::string(c.file).empty()) {
      EXPECT_EQ(fd, -1);
    } else {
      ASSERT_GE(fd, 0);
      ::close(fd);
      EXPECT_EQ(path, x.dir.file(c.file));
      EXPECT_TRUE(fileExists(path));
      EXPECT_EQ(x.names[0], "ivan");
    }
  }
}

TEST(SportStages, RefusalsLeaveNothingStarted) {
  {
    SportFixture x;
    int fd = 0;
    std::string path;
    EXPECT_FALSE(startSportStage(x.s, x.plan, x.ui, SportStage::Load, 2, "  ", x.names, fd, path));
    EXPECT_EQ(x.ui.messages, std::vector<std::string>{"Введите имя файла записи"});
  }
  {
    SportFixture x;
    test::writeBytes(x.dir.file("ivans.cad"), "earlier");
    x.ui.yesNoScript = {false};
    int fd = 0;
    std::string path;
    EXPECT_FALSE(startSportStage(x.s, x.plan, x.ui, SportStage::Load, 2, "ivan", x.names, fd, path));
    EXPECT_EQ(x.ui.questions, std::vector<std::string>{"Файл уже существует, перезаписать?"});
    EXPECT_EQ(x.s.dialogResult, 0);
    EXPECT_EQ(test::readBytes(x.dir.file("ivans.cad")), "earlier");
  }
  {
    SportFixture x;
    ::unlink((x.s.programDir + "sport0.cap").c_str());
    int fd = 0;
    std::string path;
    EXPECT_FALSE(startSportStage(x.s, x.plan, x.ui, SportStage::Relaxation, 2, "ivan", x.names, fd, path));
    ASSERT_EQ(x.ui.messages.size(), 1u);
    EXPECT_EQ(x.ui.messages[0].rfind(kInterruptPrefix, 0), 0u);
    EXPECT_FALSE(fileExists(x.dir.file("ivan.cad")));
  }
}

}  // namespace
}  // namespace velor

namespace velor {
namespace {

// Start-up's device plan: written with the dialog's defaults when missing and
// read back; an existing one is read and left as it is; the board has none.
TEST(DevicePlan, WrittenWithTheDefaultsWhenMissingThenRead) {
  struct Case {
    const char* device;
    int kind;
    const char* file;
    int channels;
  };
  const Case cases[] = {{"nvx24", 3, "nvx24.cap", 20}, {"nvx36", 3, "nvx36.cap", 28},
                        {"nvx52", 3, "nvx52.cap", 44}, {"k2", 1, "K2.cap", 12}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.device);
    test::TempDir dir;
    VirtualClock clock;
    auto dev = makeDevice(c.device, clock, DeviceOptions{});
    ASSERT_TRUE(dev && dev->open());
    StudyState s;
    s.programDir = dir.path() + "/";
    s.deviceKind = c.kind;
    applyOpenedDevice(s, c.kind, dev->describe());
    const int calib0 = s.calibValue[0];
    ExaminationPlan plan;
    plan.displayDecimation = 3;
    std::string name, reason;
    ASSERT_TRUE(loadDevicePlan(s, plan, dev->describe(), name, reason)) << reason;
    EXPECT_EQ(name, c.file);
    ASSERT_TRUE(fileExists(dir.file(c.file)));
    EXPECT_EQ(plan.lastPlanName, c.file);
    EXPECT_EQ(s.channelCount, c.channels);
    EXPECT_EQ(s.shownChannelCount, c.channels);
    EXPECT_EQ(s.sampleRate, 250);
    EXPECT_EQ(s.recordLength, 1024);
    EXPECT_EQ(s.markChannelCount, 1);
    EXPECT_EQ(s.calibValue[0], calib0);
    EXPECT_EQ(plan.displayDecimation, 0);
    EXPECT_EQ(plan.monitorMode, MonitorMode::RealTime);
    EXPECT_EQ(plan.nvxReference, 0);

    // A file that is there is only read: its values win and it stays as it was.
    StudyState changed;
    changed.deviceKind = c.kind;
    changed.channelCount = 6;
    changed.sampleRate = 500;
    changed.recordLength = 2048;
    changed.markChannelCount = 1;
    changed.shownChannelCount = 6;
    ExaminationPlan other;
    other.nvxReference = c.kind == 3 ? 2 : 0;
    ASSERT_TRUE(writePlanFile(dir.file(c.file), changed, other, c.kind, reason)) << reason;
    const std::string bytes = test::readBytes(dir.file(c.file));
    ASSERT_TRUE(loadDevicePlan(s, plan, dev->describe(), name, reason)) << reason;
    EXPECT_EQ(s.channelCount, 6);
    EXPECT_EQ(s.sampleRate, 500);
    EXPECT_EQ(s.recordLength, 2048);
    EXPECT_EQ(plan.nvxReference, other.nvxReference);
    EXPECT_EQ(test::readBytes(dir.file(c.file)), bytes);
  }
}

TEST(DevicePlan, KindsWithoutOneWriteNothingAndAnUnreadableOneIsRefused) {
  test::TempDir dir;
  VirtualClock clock;
  auto board = makeDevice("board", clock, DeviceOptions{});
  ASSERT_TRUE(board && board->open());
  StudyState s;
  s.programDir = dir.path() + "/";
  s.deviceKind = 0;
  s.channelCount = 5;
  ExaminationPlan plan;
  std::string name = "x", reason;
  EXPECT_TRUE(loadDevicePlan(s, plan, board->describe(), name, reason));
  EXPECT_EQ(name, "");
  EXPECT_EQ(s.channelCount, 5);

  auto k2 = makeDevice("k2", clock, DeviceOptions{});
  ASSERT_TRUE(k2 && k2->open());
  s.deviceKind = 1;
  applyOpenedDevice(s, 1, k2->describe());
  test::writeBytes(dir.file("K2.cap"), "short");
  EXPECT_FALSE(loadDevicePlan(s, plan, k2->describe(), name, reason));
  EXPECT_NE(reason.find(exam_texts::kPlanShort), std::string::npos) << reason;
  EXPECT_EQ(test::readBytes(dir.file("K2.cap")), "short");
  EXPECT_EQ(s.channelCount, 12);
}

}  // namespace
}  // namespace velor

namespace velor {
namespace {

// "Утвердить" of "Экспресс-анализ": each item's kind and fields; bound
// instruments stay bound; the settings file keeps the fields.
TEST(ExpressChoice, EachItemSetsItsKindAndFields) {
  struct Case {
    int item, before, kind, threshold, parameter, channel, band;
  };
  // calibValue 50 per 2000 units: 100 µV is 4000 codes.
  const Case cases[] = {
      {0, 0, 0, 7, 7, 7, 9},      {1, 21, 21, 7, 7, 7, 0},     {2, 0, 2, 7, 7, 7, 3},
      {3, 0, 3, 4000, 2, 7, 9},   {4, 20, 24, 150, 40, 0, 9},  {5, 0, 5, 150, 40, 1, 9},
      {6, 0, 6, 150, 40, 1, 9},   {7, 3, 10, 7, 7, 7, 9},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.item);
    StudyState s;
    s.calibValue[0] = 50;
    s.calibUnits[0] = 2000;
    s.currentBand = 9;
    ExaminationPlan plan;
    plan.expressAnalysisKind = c.before;
    plan.expressThreshold = plan.expressParameter = plan.expressChannel = 7;
    ExpressSettings e;
    e.gain = 2;
    e.artefactMicroVolts = 100;
    e.maximum = 150;
    e.minimum = 40;
    e.bandItem = 3;
    e.channelItem = 0;
    applyExpressChoice(c.item, e, s, plan);
    EXPECT_EQ(plan.expressAnalysisKind, c.kind);
    EXPECT_EQ(plan.expressThreshold, c.threshold);
    EXPECT_EQ(plan.expressParameter, c.parameter);
    EXPECT_EQ(plan.expressChannel, c.channel);
    EXPECT_EQ(s.currentBand, c.band);
  }
  // Without calibration the artefact level cannot be codes: every record counts.
  StudyState s;
  s.calibValue[0] = 0;
  ExaminationPlan plan;
  ExpressSettings e;
  e.artefactMicroVolts = 100;
  applyExpressChoice(3, e, s, plan);
  EXPECT_EQ(plan.expressThreshold, 0);

  test::TempDir dir;
  const std::string d = dir.path() + "/";
  ExpressSettings back;
  EXPECT_FALSE(readExpressSettings(d, back));
  e.gain = 3;
  e.artefactMicroVolts = 12.5;
  e.maximum = 180;
  e.minimum = 45;
  e.bandItem = 2;
  e.channelItem = 4;
  ASSERT_TRUE(writeExpressSettings(d, e));
  EXPECT_EQ(test::readBytes(d + "qexa.ini"), "3\r\n12.5\r\n180\r\n45\r\n2\r\n4\r\n");
  ASSERT_TRUE(readExpressSettings(d, back));
  EXPECT_EQ(back.gain, 3);
  EXPECT_EQ(back.artefactMicroVolts, 12.5);
  EXPECT_EQ(back.channelItem, 4);
  // A value out of its range keeps the one there was.
  test::writeBytes(d + "qexa.ini", "99\r\n-1\r\n");
  ExpressSettings kept;
  EXPECT_FALSE(readExpressSettings(d, kept));
  EXPECT_EQ(kept.gain, 1);
  EXPECT_EQ(kept.artefactMicroVolts, 0);
}

}  // namespace
}  // namespace velor
