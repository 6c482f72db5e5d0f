// velor-cli record: a headless examination, what it leaves on disk when it
// ends, is interrupted or is killed, and the refusal to replace a file.
#include <gtest/gtest.h>

#include "acquisition/device_registry.h"
#include "acquisition/exam_plan.h"
#include "cli_support.h"
#include "core/binio.h"
#include "core/record_file.h"

namespace velor {
namespace {

using test::runCli;

std::string q(const std::string& path) { return "'" + path + "'"; }

// A plan of the filter-chain amplifier with short records.
std::string shortRecordPlan(const test::TempDir& dir, int recordLength, int channels) {
  VirtualClock clock;
  auto dev = makeDevice("amplifier", clock, {});
  EXPECT_TRUE(dev->open());
  StudyState s;
  s.deviceKind = 4;
  applyOpenedDevice(s, 4, dev->describe());
  ExaminationPlan plan;
  applyDefaultPlan(s, plan, dev->describe(), 250);
  s.channelCount = channels;
  s.recordLength = recordLength;
  std::string reason;
  const std::string path = dir.file("short.cap");
  EXPECT_TRUE(writePlanFile(path, s, plan, 4, reason)) << reason;
  return path;
}

std::string rawRecord(const std::string& file, int record) {
  const auto r = runCli("dump --raw --record " + std::to_string(record) + " " + q(file));
  EXPECT_EQ(r.status, 0) << r.err;
  return r.out;
}

TEST(CliRecord, WritesTheDevicesDefaultPlanAndTheSameSamplesForTheSameSeed) {
  test::TempDir dir;
  const std::string a = dir.file("a.cad"), b = dir.file("b.cad");
  const auto r = runCli("record --device amplifier --seconds 10 --seed 3 --out " + q(a));
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("record 2 written"), std::string::npos) << r.err;
  const auto info = runCli("info " + q(a));
  ASSERT_EQ(info.status, 0) << info.err;
  EXPECT_NE(info.out.find("Channels      64"), std::string::npos) << info.out;
  EXPECT_NE(info.out.find("Sample rate   250 Hz"), std::string::npos) << info.out;
  EXPECT_NE(info.out.find("Records       2 in the header, 2 found"), std::string::npos) << info.out;
  ASSERT_EQ(runCli("record --device amplifier --seconds 10 --seed 3 --out " + q(b)).status, 0);
  EXPECT_EQ(rawRecord(a, 1), rawRecord(b, 1));
  EXPECT_EQ(rawRecord(a, 2), rawRecord(b, 2));
  // Virtual time has a virtual wall clock: dates and record times agree too.
  EXPECT_TRUE(test::readBytes(a) == test::readBytes(b)) << "the two files differ";
  ASSERT_EQ(runCli("record --device amplifier --seconds 10 --seed 4 --force --out " + q(b)).status, 0);
  EXPECT_NE(rawRecord(a, 1), rawRecord(b, 1));
}

TEST(CliRecord, APlanGivesChannelsAndRecordLengthAndRecordsCountIsKept) {
  test::TempDir dir;
  const std::string plan = shortRecordPlan(dir, 100, 6);
  const std::string out = dir.file("p.cad");
  const auto r = runCli("record --device amplifier --plan " + q(plan) + " --seconds 100 --records 3 --out " + q(out));
  ASSERT_EQ(r.status, 0) << r.err;
  RecordFileHeader h;
  std::vector<RecordInfo> records;
  std::string reason;
  ASSERT_TRUE(readRecordFileHeader(out, h, reason)) << reason;
  ASSERT_TRUE(scanRecords(out, h, records, reason)) << reason;
  EXPECT_EQ(h.channelCount, 6);
  EXPECT_EQ(h.recordCount, 3);
  ASSERT_EQ(records.size(), 3u);
  for (const auto& rec : records) EXPECT_EQ(rec.recordLength, 100);
}

// The virtual wall clock starts at --start: the header's date is its day and
// each record carries the time it was written, a record length later.
TEST(CliRecord, StartSetsTheFilesDateAndRecordTimes) {
  test::TempDir dir;
  const std::string out = dir.file("t.cad");
  ASSERT_EQ(runCli("record --device amplifier --records 2 --seconds 100 --start 2024-05-06T09:30:00 --out " + q(out))
                .status,
            0);
  RecordFileHeader h;
  std::vector<RecordInfo> records;
  std::string reason;
  ASSERT_TRUE(readRecordFileHeader(out, h, reason)) << reason;
  ASSERT_TRUE(scanRecords(out, h, records, reason)) << reason;
  EXPECT_EQ(h.fileDate, daysFromCivil(2024, 5, 6));
  ASSERT_EQ(records.size(), 2u);
  for (std::size_t k = 0; k < records.size(); ++k) {
    const double seconds = decodeTimeOfDay(records[k].timeField) * 86400.0 - (9 * 3600 + 30 * 60);
    const double recordSeconds = records[k].recordLength / static_cast<double>(h.sampleRate);
    EXPECT_NEAR(seconds, recordSeconds * static_cast<double>(k + 1), 0.5) << "record " << k + 1;
  }
  for (const char* bad : {"2024-02-30T00:00:00", "2024-05-06", "2024-05-06T25:00:00", "yesterday"})
    test::expectOneLineFailure(runCli(std::string("record --device amplifier --records 1 --start ") + bad +
                                      " --force --out " + q(out)),
                               2);
  test::expectOneLineFailure(
      runCli("record --device amplifier --records 1 --realtime --start 2024-05-06T09:30:00 --force --out " + q(out)), 2);
}

// Without --plan a device that has a plan file takes it from the current
// directory, as the workstation does at start-up, and writes none there;
// without the file it takes what start-up would write (records of 1024).
TEST(CliRecord, TheDevicesPlanFileIsTheDefaultPlan) {
  test::TempDir dir;
  const std::string cli = std::string("'") + VELOR_CLI_PATH + "'";
  const auto recordLengthOf = [&](const std::string& out) {
    RecordFileHeader h;
    std::vector<RecordInfo> records;
    std::string reason;
    EXPECT_TRUE(readRecordFileHeader(out, h, reason)) << reason;
    EXPECT_TRUE(scanRecords(out, h, records, reason)) << reason;
    return records.empty() ? 0 : records[0].recordLength;
  };
  std::string so, se;
  ASSERT_EQ(test::runCommand("cd " + q(dir.path()) + " && " + cli + " record --device nvx24 --records 1 --seconds 100 --out a.cad",
                             &so, &se),
            0)
      << se;
  EXPECT_EQ(recordLengthOf(dir.file("a.cad")), 1024);
  EXPECT_FALSE(fileExists(dir.file("nvx24.cap")));
  // A plan file of the device with records of 512 samples.
  {
    VirtualClock clock;
    auto dev = makeDevice("nvx24", clock, {});
    ASSERT_TRUE(dev->open());
    StudyState s;
    s.deviceKind = 3;
    applyOpenedDevice(s, 3, dev->describe());
    ExaminationPlan plan;
    applyDefaultPlan(s, plan, dev->describe());
    s.recordLength = 512;
    std::string reason;
    ASSERT_TRUE(writePlanFile(dir.file("nvx24.cap"), s, plan, 3, reason)) << reason;
  }
  ASSERT_EQ(test::runCommand("cd " + q(dir.path()) + " && " + cli + " record --device nvx24 --records 1 --seconds 100 --out b.cad",
                             &so, &se),
            0)
      << se;
  EXPECT_EQ(recordLengthOf(dir.file("b.cad")), 512);
}

TEST(CliRecord, AnExistingFileIsRefusedWithoutForce) {
  test::TempDir dir;
  const std::string out = dir.file("x.cad");
  test::writeBytes(out, "an earlier recording");
  const auto r = runCli("record --device board --seconds 5 --out " + q(out));
  test::expectOneLineFailure(r, 1);
  EXPECT_NE(r.err.find("--force"), std::string::npos);
  EXPECT_EQ(test::readBytes(out), "an earlier recording");
  EXPECT_EQ(runCli("record --device board --seconds 6 --force --out " + q(out)).status, 0);
  RecordFileHeader h;
  std::string reason;
  EXPECT_TRUE(readRecordFileHeader(out, h, reason)) << reason;
}

TEST(CliRecord, RefusesWhatItCannotRecord) {
  test::TempDir dir;
  test::expectOneLineFailure(runCli("record --device nosuch --seconds 1 --out " + q(dir.file("a.cad"))), 2);
  test::expectOneLineFailure(runCli("record --device board --seconds 1 --out " + q(dir.file("a.edf"))), 2);
  // Too short for one record: nothing is kept.
  const auto r = runCli("record --device amplifier --seconds 1 --out " + q(dir.file("a.cad")));
  test::expectOneLineFailure(r, 1);
  EXPECT_FALSE(fileExists(dir.file("a.cad")));
}

// Killed in the middle (SIGKILL: no chance to clean up) the file opens with
// every record that was finished; Ctrl+C ends it like Esc.
TEST(CliRecord, SigkillLeavesEveryFinishedRecordReadableAndCtrlCEndsLikeEsc) {
  test::TempDir dir;
  const std::string plan = shortRecordPlan(dir, 25, 8);  // a record every 0.1 s
  for (const char* sig : {"KILL", "INT"}) {
    SCOPED_TRACE(sig);
    const std::string out = dir.file(std::string(sig) + ".cad");
    const std::string cli = std::string("'") + VELOR_CLI_PATH + "'";
    std::string so, se;
    const int status = test::runCommand("sh -c \"" + cli + " record --device amplifier --realtime --plan " + q(plan) +
                                            " --seconds 60 --out " + q(out) + " & p=\\$!; sleep 1.5; kill -" + sig +
                                            " \\$p; wait \\$p\"",
                                        &so, &se);
    if (std::string(sig) == "KILL")
      EXPECT_EQ(status, 128 + 9) << se;
    else
      EXPECT_EQ(status, 0) << se;
    RecordFileHeader h;
    std::vector<RecordInfo> records;
    std::string reason;
    ASSERT_TRUE(readRecordFileHeader(out, h, reason)) << reason;
    EXPECT_TRUE(scanRecords(out, h, records, reason)) << reason;
    EXPECT_GE(records.size(), 3u);
    EXPECT_EQ(static_cast<std::size_t>(h.recordCount), records.size());
    const auto info = runCli("info " + q(out));
    EXPECT_EQ(info.status, 0) << info.err;
    for (std::size_t i = 1; i <= records.size(); ++i) rawRecord(out, static_cast<int>(i));
  }
}

}  // namespace
}  // namespace velor
