// velor-cli period: the period analysis of a rhythm from the shell.
#pragma once

#include <CLI/CLI.hpp>

namespace velor::cli {

void addPeriodCommand(CLI::App& app, int& status);

}  // namespace velor::cli
