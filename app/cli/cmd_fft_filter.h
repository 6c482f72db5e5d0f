// velor-cli fft-filter: the FFT filters of the EEG analysis on every record
// of a signal file.
#pragma once

#include <CLI/CLI.hpp>

namespace velor::cli {

void addFftFilterCommand(CLI::App& app, int& status);

}  // namespace velor::cli
