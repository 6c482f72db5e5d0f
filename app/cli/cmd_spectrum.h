// velor-cli spectrum and bands: the spectral engine from the shell.
#pragma once

#include <CLI/CLI.hpp>

namespace velor::cli {

void addSpectrumCommand(CLI::App& app, int& status);
void addBandsCommand(CLI::App& app, int& status);

}  // namespace velor::cli
