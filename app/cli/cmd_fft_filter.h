// velor-cli fft-filter: the FFT filters of the EEG analysis on every record
// of a signal file.
#pragma once

#include <CLI/CLI.hpp>

#include "app/cli/commands.h"

namespace velor::cli {

void addFftFilterCommand(CLI::App& app, int& status);

// Opens an EDF-family input whose pages are the records (for the commands
// that rewrite every record); false after saying why.
bool openEdfInput(const std::string& path, EngineInteraction& ui, OpenedInput& input, RecordFileHeader& h,
                  std::vector<RecordInfo>& records);

}  // namespace velor::cli
