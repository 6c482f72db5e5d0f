// velor-cli info, dump and convert with BrainSys, NeuroScan, text and
// BrainLoc files.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <sstream>

#include "core/binio.h"
#include "test_support.h"

namespace velor {
namespace {

using test::readBytes;
using test::TempDir;
using test::writeBytes;

std::string q(const std::string& s) { return "'" + s + "'"; }

struct Outcome {
  int status;
  std::string out, err;
};
Outcome run(const std::string& args) {
  Outcome r;
  r.status = test::runCommand(q(VELOR_CLI_PATH) + " " + args, &r.out, &r.err);
  return r;
}

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string l; std::getline(in, l);) out.push_back(l);
  return out;
}

TEST(CliForeign, NeuroScanInfoDumpAndConvert) {
  const std::string cnt = test::sharedData("mne-testing-data/scan41_short.cnt");
  if (cnt.empty()) GTEST_SKIP() << "shared data not present";
  const Outcome info = run("info --json " + q(cnt));
  ASSERT_EQ(info.status, 0) << info.err;
  const auto j = nlohmann::json::parse(info.out);
  EXPECT_EQ(j["format"], "neuroscan");
  EXPECT_EQ(j["channelCount"], 64);
  EXPECT_EQ(j["sampleRate"], 400);
  EXPECT_EQ(j["recordLength"], 3070);
  EXPECT_EQ(j["channels"][28]["name"], "LEFT");
  EXPECT_NE(info.err.find("128"), std::string::npos);  // the channels left out are said

  const Outcome dump = run("dump --raw --channels 0 " + q(cnt));
  ASSERT_EQ(dump.status, 0);
  const auto d = lines(dump.out);
  ASSERT_EQ(d.size(), 3071u);
  EXPECT_EQ(d[0], "1");
  EXPECT_EQ(d[1], std::to_string(884 + 2048));
  EXPECT_EQ(d[5], std::to_string(887 + 2048));
  EXPECT_EQ(run("dump --record 2 " + q(cnt)).status, 2);

  // to a record file and to text: the same codes come back
  TempDir dir;
  const std::string cad = dir.file("scan.cad"), txt = dir.file("scan.txt");
  ASSERT_EQ(run("convert " + q(cnt) + " " + q(cad)).status, 0);
  EXPECT_EQ(lines(run("dump --raw --channels 0 " + q(cad)).out), d);
  ASSERT_EQ(run("convert " + q(cad) + " " + q(txt)).status, 0);
  const auto t = nlohmann::json::parse(run("info --json " + q(txt)).out);
  EXPECT_EQ(t["format"], "text");
  EXPECT_EQ(t["channelCount"], 64);  // the time column and the first 63 channels
  EXPECT_EQ(t["channels"][1]["name"], "1");
  EXPECT_EQ(t["recordLength"], 3070);
}

TEST(CliForeign, MultiRecordTextAndBrainLoc) {
  TempDir dir;
  const std::string cad = dir.file("demo.cad");
  ASSERT_EQ(run("demo " + q(cad) + " --records 2 --seconds 2").status, 0);
  const std::string txt = dir.file("demo.txt");
  ASSERT_EQ(run("convert " + q(cad) + " " + q(txt)).status, 0);
  const std::string text = readBytes(txt);
  const std::string rec1 = "\xC7\xE0\xEF\xE8\xF1\xFC \xB9" "1\r\n    T[sec]";  // "Запись №1" in code page 1251
  EXPECT_EQ(text.find(rec1), 0u);
  EXPECT_NE(text.find("\xB9" "2\r\n"), std::string::npos);

  const std::string bl = dir.file("loc.eeg");
  ASSERT_EQ(run("convert " + q(cad) + " " + q(bl)).status, 0);
  const std::string b = readBytes(bl);
  ASSERT_GE(b.size(), 192u);
  EXPECT_EQ(b.substr(0, 4), std::string("\x0F" "BL\x04", 4));
  EXPECT_EQ(getU16(reinterpret_cast<const unsigned char*>(b.data()) + 8), 19);  // the EEG leads, not the ECG

  // a BrainLoc file that cannot be written is not announced as written
  const Outcome failed = run("convert " + q(cad) + " " + q(dir.file("no/such/loc.eeg")));
  EXPECT_EQ(failed.status, 1);
  EXPECT_EQ(failed.err.find("was written"), std::string::npos) << failed.err;
  EXPECT_EQ(std::count(failed.err.begin(), failed.err.end(), '\n'), 1) << failed.err;
}

TEST(CliForeign, HostileInputsAndUnsupportedOutputs) {
  TempDir dir;
  writeBytes(dir.file("a.cnt"), "0       ");
  writeBytes(dir.file("a.txt"), "A B\r\n");
  for (const char* in : {"a.cnt", "a.txt"}) {
    const Outcome r = run("convert " + q(dir.file(in)) + " " + q(dir.file("b.cad")));
    EXPECT_EQ(r.status, 1) << in;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
  }
  EXPECT_FALSE(std::filesystem::exists(dir.file("b.cad")));
  writeBytes(dir.file("ok.txt"), "A\r\n1\r\n0.5\r\n");
  const Outcome edf = run("convert " + q(dir.file("ok.txt")) + " " + q(dir.file("b.edf")));
  EXPECT_EQ(edf.status, 2);
  EXPECT_NE(edf.err.find("not available"), std::string::npos) << edf.err;
  EXPECT_FALSE(std::filesystem::exists(dir.file("b.edf")));
}

}  // namespace
}  // namespace velor
