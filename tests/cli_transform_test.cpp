// velor-cli transform and compare: every record transformed and written
// atomically; a refusal leaves OUT as it was and says why in one line.
#include <gtest/gtest.h>

#include <string>

#include "cli_support.h"
#include "test_support.h"

namespace velor {
namespace {

using test::runCli;

class CliTransform : public ::testing::Test {
 protected:
  void SetUp() override {
    in = dir.file("in.cad");
    ASSERT_EQ(runCli("demo '" + in + "' --records 2 --seconds 4 --seed 9").status, 0);
  }
  test::TempDir dir;
  std::string in;
};

TEST_F(CliTransform, DecimationHalvesTheRateOfEveryRecord) {
  const std::string out = dir.file("out.cad");
  const auto r = runCli("transform '" + in + "' '" + out + "' --op decimate --step 2");
  ASSERT_EQ(r.status, 0) << r.err;
  const auto info = runCli("info '" + out + "'");
  EXPECT_NE(info.out.find("Sample rate   125 Hz"), std::string::npos) << info.out;
  EXPECT_NE(info.out.find("Records       2 in the header, 2 found"), std::string::npos) << info.out;
  const auto dump = runCli("dump '" + out + "' --raw --record 2 --channels 0");
  EXPECT_EQ(std::count(dump.out.begin(), dump.out.end(), '\n'), 1 + 500);
}

TEST_F(CliTransform, RefusalsLeaveTheOutputAsItWas) {
  const std::string out = dir.file("out.cad");
  test::writeBytes(out, "old");
  const std::string shorter = dir.file("short.cad");
  ASSERT_EQ(runCli("demo '" + shorter + "' --records 1 --seconds 2").status, 0);
  struct Case {
    std::string args;
    int status;
    const char* said;
  } cases[] = {
      {"--op average-with-file --other '" + shorter + "'", 1, "не совпадает"},
      {"--op decimate --step 3", 2, "does not divide"},
      {"--op formula --formula '1/(j-100)'", 1, "record 1"},
      {"--op zscore --channel 30", 2, "does not exist"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args);
    const auto r = runCli("transform '" + in + "' '" + out + "' " + c.args);
    test::expectOneLineFailure(r, c.status);
    EXPECT_NE(r.err.find(c.said), std::string::npos) << r.err;
    EXPECT_EQ(test::readBytes(out), "old");
  }
}

TEST_F(CliTransform, CompareGivesTheStatisticsOfTwoChannels) {
  const auto r = runCli("compare '" + in + "' --channel 1 --other 2 --start 10 --length 300");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("length=300\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("\nr="), std::string::npos) << r.out;
  test::expectOneLineFailure(runCli("compare '" + in + "' --channel 1 --other 1"), 1);
}

}  // namespace
}  // namespace velor
