// velor-cli devices and impedance: the acquisition device kinds.
#pragma once

#include <CLI/CLI.hpp>

namespace velor::cli {

void addDevicesCommand(CLI::App& app, int& status);
void addImpedanceCommand(CLI::App& app, int& status);

}  // namespace velor::cli
