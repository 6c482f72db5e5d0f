// velor-cli eeg-report: the clinical EEG report of one record from the shell.
#pragma once

#include <CLI/CLI.hpp>

namespace velor::cli {

void addEegReportCommand(CLI::App& app, int& status);

}  // namespace velor::cli
