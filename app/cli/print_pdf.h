// velor-cli print: the PDF page is painted as the workstation paints it, so
// the command runs in velor-cli-pictures; velor-cli only takes its options
// and hands it over.
#pragma once

#include <CLI/CLI.hpp>

namespace velor::cli {

void addPrintCommand(CLI::App& app, int& status);

}  // namespace velor::cli
