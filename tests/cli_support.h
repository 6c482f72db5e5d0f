// Running velor-cli from a test: its exit status and both output streams.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "test_support.h"

namespace velor::test {

struct CliRun {
  int status = 0;
  std::string out, err;
};

// `args` is appended to the quoted path of the velor-cli built with the tests.
inline CliRun runCli(const std::string& args) {
  CliRun r;
  r.status = runCommand(std::string("'") + VELOR_CLI_PATH + "' " + args, &r.out, &r.err);
  return r;
}

// A failure says why in exactly one line on stderr.
inline void expectOneLineFailure(const CliRun& r, int status) {
  EXPECT_EQ(r.status, status) << r.err;
  ASSERT_FALSE(r.err.empty());
  EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;
}

}  // namespace velor::test
