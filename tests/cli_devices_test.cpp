// velor-cli devices and impedance.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <sstream>

#include "acquisition/device_registry.h"
#include "cli_support.h"

namespace velor {
namespace {

using test::runCli;

TEST(CliDevices, ListsEveryKindWithItsChannels) {
  const auto r = runCli("devices");
  ASSERT_EQ(r.status, 0) << r.err;
  std::istringstream in(r.out);
  std::string line;
  std::vector<std::string> names;
  while (std::getline(in, line)) {
    names.push_back(line.substr(0, line.find('\t')));
    if (names.back() == "nvx24") EXPECT_NE(line.find("device channels 24, record channels 20"), std::string::npos);
    if (names.back() == "nvx36") EXPECT_NE(line.find("device channels 36, record channels 28"), std::string::npos);
    if (names.back() == "nvx52") EXPECT_NE(line.find("device channels 52, record channels 44"), std::string::npos);
    if (names.back() == "board") EXPECT_NE(line.find("rates 20..10000, inputs 8"), std::string::npos);
  }
  std::vector<std::string> want;
  for (const auto& e : deviceKindTable()) want.push_back(e.name);
  EXPECT_EQ(names, want);
}

TEST(CliDevices, EegdevReplayIsListedWithItsRate) {
  const std::string bdf = test::sharedData("mne-python/test.bdf");
  ASSERT_FALSE(bdf.empty());
  const auto r = runCli("devices --eegdev 'datafile|path|" + bdf + "'");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("eegdev\t"), std::string::npos);
  EXPECT_NE(r.out.find("device channels 64, record channels 64, rate 2048 Hz"), std::string::npos) << r.out;
}

TEST(CliImpedance, OneReadingAsTextAndJson) {
  auto r = runCli("impedance --device nvx52");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 48);
  EXPECT_EQ(r.out.rfind("1\t", 0), 0u);
  r = runCli("impedance --device nvx24 --json");
  ASSERT_EQ(r.status, 0) << r.err;
  const auto j = nlohmann::json::parse(r.out);
  EXPECT_EQ(j["device"], "nvx24");
  ASSERT_EQ(j["electrodes"].size(), 24u);
  EXPECT_EQ(j["electrodes"][0]["kiloohms"], std::to_string(j["electrodes"][0]["ohms"].get<int>() / 1000));
  test::expectOneLineFailure(runCli("impedance --device k2"), 1);
  test::expectOneLineFailure(runCli("impedance --device toaster"), 2);
}

}  // namespace
}  // namespace velor
