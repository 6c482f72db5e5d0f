// velor-cli print: the one command that needs Qt (the PDF page is painted
// as the workstation paints it); built only with the Qt workstation.
#pragma once

#include <CLI/CLI.hpp>

namespace velor::cli {

void addPrintCommand(CLI::App& app, int& status);

}  // namespace velor::cli
