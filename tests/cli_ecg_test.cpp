// velor-cli info/dump on WFDB records, ecg and ecg-score.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "cli_support.h"

namespace velor::test {
namespace {

TEST(CliEcg, InfoAndDumpOfMitBih100) {
  const std::string hea = sharedData("mitdb/100.hea");
  if (hea.empty()) GTEST_SKIP() << "no shared recordings";
  CliRun r = runCli("info '" + hea + "' --json");
  ASSERT_EQ(r.status, 0) << r.err;
  const auto j = nlohmann::json::parse(r.out);
  EXPECT_EQ(j["format"], "wfdb");
  EXPECT_EQ(j["frames"], 650000);
  EXPECT_EQ(j["beats"], 2273);
  EXPECT_EQ(j["recordCount"], 21);
  r = runCli("dump '" + hea + "' --channels 0 --raw");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out.substr(0, 20), "MLII,mark\n995,0\n995,");
  EXPECT_NE(r.out.find(",1\n"), std::string::npos);  // the first beat, N (code 1)
  r = runCli("dump '" + hea + "' --record 22");
  expectOneLineFailure(r, 2);
}

TEST(CliEcg, ScoreOnRecord100) {
  const std::string hea = sharedData("mitdb/100.hea");
  if (hea.empty()) GTEST_SKIP() << "no shared recordings";
  const CliRun r = runCli("ecg-score '" + hea + "' --channel 1 --reference '" + sharedData("mitdb/100.atr") + "'");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("Se=100.00%"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("+P=100.00%"), std::string::npos) << r.out;
}

TEST(CliEcg, EcgJsonHasBeatsStatisticsAndConclusion) {
  const std::string hea = sharedData("mitdb/100.hea");
  if (hea.empty()) GTEST_SKIP() << "no shared recordings";
  const CliRun r = runCli("ecg '" + hea + "' --channel 1 --json");
  ASSERT_EQ(r.status, 0) << r.err;
  const auto j = nlohmann::json::parse(r.out);
  ASSERT_GE(j["beats"].size(), 100u);
  EXPECT_EQ(j["beats"][0]["sample"], 77);  // the first annotated beat is at 77
  EXPECT_EQ(j["statistics"]["lines"].size(), 6u);
  EXPECT_TRUE(j["conclusion"].is_array());
  const CliRun bad = runCli("ecg '" + hea + "' --channel 3");
  expectOneLineFailure(bad, 2);
}

}  // namespace
}  // namespace velor::test
