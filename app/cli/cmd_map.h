// velor-cli map: the head map as the map window draws it, into a PNG file.
// The picture is painted by the workstation's drawing, so the command runs
// in velor-cli-pictures; velor-cli only takes its options and hands it over.
#pragma once

#include <CLI/CLI.hpp>

namespace velor::cli {

void addMapCommand(CLI::App& app, int& status);

}  // namespace velor::cli
