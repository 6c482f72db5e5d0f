// velor-cli map: the head map as the map window draws it, into a PNG file;
// built only with the Qt workstation (the picture is painted by its drawing).
#pragma once

#include <CLI/CLI.hpp>

namespace velor::cli {

void addMapCommand(CLI::App& app, int& status);

}  // namespace velor::cli
