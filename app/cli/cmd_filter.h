// velor-cli filter-design and filter: the IIR filter engine from the shell.
#pragma once

#include <CLI/CLI.hpp>

namespace velor::cli {

void addFilterDesignCommand(CLI::App& app, int& status);
void addFilterCommand(CLI::App& app, int& status);

}  // namespace velor::cli
