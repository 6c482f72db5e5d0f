// velor-cli-pictures: the map and print commands of velor-cli, with the
// workstation's Qt drawing linked in. velor-cli hands these two commands
// over to it unchanged, so messages and exit statuses are velor-cli's.
#include <CLI/CLI.hpp>
#include <exception>
#include <new>

#include "app/cli/cmd_map.h"
#include "app/cli/commands.h"
#include "app/cli/print_pdf.h"

int main(int argc, char** argv) {
  using namespace velor::cli;
  CLI::App app{"Velor command-line tool"};
  app.require_subcommand(1);
  app.failure_message([](const CLI::App*, const CLI::Error& e) {
    return "velor-cli: " + std::string(e.what()) + " (see --help)\n";
  });
  int status = kExitOk;
  addPrintCommand(app, status);
  addMapCommand(app, status);
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    return app.exit(e) == 0 ? kExitOk : kExitUsage;
  } catch (const std::bad_alloc&) {
    reportFailure("out of memory");
    return kExitFile;
  } catch (const std::exception& e) {
    reportFailure(e.what());
    return kExitFile;
  }
  return status;
}
