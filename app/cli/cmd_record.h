// velor-cli record: a headless examination.
#pragma once

#include <CLI/CLI.hpp>

namespace velor::cli {

void addRecordCommand(CLI::App& app, int& status);

}  // namespace velor::cli
