// velor-cli eeg-report as a user runs it: the same lines the report engine
// gives for the record, the JSON form, and the messages of records it
// cannot judge.
#include <gtest/gtest.h>

#include <memory>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "core/interaction.h"
#include "core/record_file.h"
#include "core/study_state.h"
#include "eeg/band_table.h"
#include "eeg/eeg_report.h"
#include "eeg/spectral.h"
#include "interchange/edf.h"
#include "cli_support.h"
#include "test_support.h"
#include "tools/demo_study.h"

namespace velor {
namespace {

using test::runCommand;
using test::TempDir;
using velor::test::CliRun;
CliRun run(const std::string& args) { return velor::test::runCli(args); }

// A demo study of two short records; `rename` changes channel 17 (O1)
// before writing, `seconds` sets the record length.
std::string writeStudy(const TempDir& dir, const char* name, const char* rename = nullptr, double seconds = 12) {
  auto s = std::make_unique<StudyState>();
  DemoStudyOptions o;
  o.records = 2;
  o.seconds = seconds;
  const std::string path = dir.file(name);
  NoProgress progress;
  std::string reason;
  EXPECT_TRUE(writeDemoStudy(*s, path, o, progress, reason)) << reason;
  if (rename) {
    // Rewrite the file with O1 renamed: open, rename, save over it.
    ScriptedInteraction ui;
    ui.answerYes = true;
    auto t = std::make_unique<StudyState>();
    EXPECT_TRUE(openRecordFile(*t, path, ui));
    t->channelNames[17] = rename;
    const std::string renamed = dir.file(std::string("renamed-") + name);
    EXPECT_TRUE(saveRecords(*t, renamed, ui));
    closeRecordFile(*t);
    return renamed;
  }
  return path;
}

// The report the engine gives for record `record` of `path` with the default bands.
EegReport engineReport(const std::string& path, int record) {
  auto s = std::make_unique<StudyState>();
  ScriptedInteraction ui;
  EXPECT_TRUE(openRecordFile(*s, path, ui));
  EXPECT_TRUE(record == 1 || gotoRecord(*s, record, ui));
  installDefaultBands(*s);
  SpectralEngine engine;
  EegReport r = eegReport(engine, *s);
  closeRecordFile(*s);
  return r;
}

std::string joinedLines(const std::vector<std::string>& lines) {
  std::string out;
  for (const auto& l : lines) out += l + "\n";
  return out;
}

TEST(CliEegReport, PrintsTheReportOfTheChosenRecord) {
  TempDir dir;
  const std::string path = writeStudy(dir, "demo.cad");
  for (int record : {1, 2}) {
    const EegReport expected = engineReport(path, record);
    ASSERT_TRUE(expected.ok()) << expected.problem;
    const CliRun r = run("eeg-report '" + path + "' --record " + std::to_string(record));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, joinedLines(expected.lines));
  }
  const CliRun first = run("eeg-report '" + path + "'");
  EXPECT_EQ(first.out.substr(0, first.out.find('\n')), "Степень нарушения ЭЭГ: норма.");
}

TEST(CliEegReport, JsonCarriesFeaturesRuleDegreeAndLines) {
  TempDir dir;
  const std::string path = writeStudy(dir, "demo.cad");
  const EegReport expected = engineReport(path, 1);
  const CliRun r = run("eeg-report '" + path + "' --json");
  ASSERT_EQ(r.status, 0) << r.err;
  const auto j = nlohmann::json::parse(r.out);
  EXPECT_EQ(j["record"], 1);
  EXPECT_EQ(j["rule"], expected.rule);
  EXPECT_EQ(j["degree"], expected.degree);
  EXPECT_EQ(j["features"]["main"], expected.features.code[kMain]);
  EXPECT_EQ(j["features"]["amplitude"], expected.features.code[kAmplitudeFeature]);
  EXPECT_EQ(j["features"]["alpha"], expected.features.code[kAlphaFeature]);
  EXPECT_EQ(j["features"]["zonal"], expected.features.code[kZonal]);
  EXPECT_EQ(j["features"]["beta1"], expected.features.code[kBeta1]);
  EXPECT_EQ(j["features"]["slow"], expected.features.code[kSlow]);
  EXPECT_EQ(j["lines"].get<std::vector<std::string>>(), expected.lines);
}

TEST(CliEegReport, RecordsItCannotJudgeAndWrongCommandLines) {
  TempDir dir;
  const std::string renamed = writeStudy(dir, "noO1.cad", "X1");
  const std::string shortStudy = writeStudy(dir, "short.cad", nullptr, 8);
  const std::string good = writeStudy(dir, "demo.cad");
  struct Case {
    std::string args;
    int status;
    std::string err;
  };
  const std::vector<Case> cases{
      {"eeg-report '" + renamed + "'", 1, "velor-cli: Неадекватный комплект отведений!\n"},
      {"eeg-report '" + shortStudy + "'", 1, "velor-cli: Мала длина записи <8c!\n"},
      {"eeg-report '" + good + "' --record 3", 2, ""},
      {"eeg-report '" + dir.file("missing.cad") + "'", 1, ""},
      {"eeg-report '" + good + "' --bands '" + dir.file("none.dia") + "'", 1, ""},
  };
  for (const Case& c : cases) {
    const CliRun r = run(c.args);
    EXPECT_EQ(r.status, c.status) << c.args << ": " << r.err;
    EXPECT_EQ(r.out, "") << c.args;
    ASSERT_FALSE(r.err.empty()) << c.args;
    EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;
    if (!c.err.empty()) {
      EXPECT_EQ(r.err, c.err) << c.args;
    }
  }
}

TEST(CliEegReport, PagesOfARealEdfRecording) {
  const std::string path = test::sharedData("eegmat/Subject00_1.edf");
  if (path.empty()) GTEST_SKIP() << "shared recordings not present";
  auto s = std::make_unique<StudyState>();
  s->programDir = "./";
  ScriptedInteraction ui;
  ASSERT_TRUE(openEdf(*s, path, edfSampleWidthFor(path), ui));
  ASSERT_TRUE(gotoRecord(*s, 2, ui));
  installDefaultBands(*s);
  SpectralEngine engine;
  const EegReport expected = eegReport(engine, *s);
  closeRecordFile(*s);
  ASSERT_TRUE(expected.ok()) << expected.problem;
  // A resting recording of a healthy volunteer: alpha leads.
  EXPECT_EQ(expected.features.code[kMain], 2);
  const CliRun r = run("eeg-report '" + path + "' --record 2");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, joinedLines(expected.lines));
}

// Every page of both resting recordings of a healthy volunteer is judged:
// a rule matches (a degree, not "не определена"), alpha leads at a medium
// height, the rhythm is regular, beta1 is little, the slow waves practically
// absent, and the degree is the norm.
TEST(CliEegReport, RestingRecordingsOfAHealthyAdultGetADegree) {
  for (const char* name : {"eegmat/Subject00_1.edf", "eegmat/Subject00_2.edf"}) {
    const std::string path = test::sharedData(name);
    if (path.empty()) GTEST_SKIP() << "shared recordings not present";
    auto s = std::make_unique<StudyState>();
    s->programDir = "./";
    ScriptedInteraction ui;
    ASSERT_TRUE(openEdf(*s, path, edfSampleWidthFor(path), ui));
    installDefaultBands(*s);
    SpectralEngine engine;
    for (int page = 1; page <= s->recordCount; ++page) {
      ASSERT_TRUE(gotoRecord(*s, page, ui));
      const EegReport r = eegReport(engine, *s);
      ASSERT_TRUE(r.ok()) << name << " page " << page << ": " << r.problem;
      EXPECT_NE(r.rule, 0) << name << " page " << page;
      EXPECT_GE(r.degree, 2) << name << " page " << page;
      EXPECT_EQ(r.features.code[kMain], 2) << name << " page " << page;
      EXPECT_EQ(r.features.code[kAmplitudeFeature], 3) << name << " page " << page;
      EXPECT_GE(r.features.code[kAlphaFeature], 3) << name << " page " << page;
      EXPECT_LE(r.features.code[kAlphaFeature], 5) << name << " page " << page;
      EXPECT_EQ(r.features.code[kSlow], 1) << name << " page " << page;
      // a tenth of the power in beta1 is little beta, and the page is normal
      EXPECT_EQ(r.features.code[kBeta1], 2) << name << " page " << page;
      EXPECT_EQ(r.degree, 2) << name << " page " << page;
    }
    closeRecordFile(*s);
  }
}

}  // namespace
}  // namespace velor
