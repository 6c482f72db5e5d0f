// velor-cli-pictures: the map and print commands of velor-cli, with the
// workstation's Qt drawing linked in. velor-cli hands these two commands
// over to it unchanged, so messages and exit statuses are velor-cli's.
#include <CLI/CLI.hpp>

#include "app/cli/cmd_map.h"
#include "app/cli/commands.h"
#include "app/cli/print_pdf.h"

int main(int argc, char** argv) {
  using namespace velor::cli;
  CLI::App app{"Velor command-line tool"};
  prepareCommandLine(app);
  int status = kExitOk;
  addPrintCommand(app, status);
  addMapCommand(app, status);
  return runCommandLine(app, argc, argv, status);
}
