// The command line of velor-cli and of velor-cli-pictures, and the hand-over
// of map and print to the latter: it is the same command line tool with the
// workstation's Qt drawing linked in, so velor-cli's other commands start
// without loading the GUI libraries.
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/cli/commands.h"

namespace velor::cli {

namespace {
std::vector<char*> commandLine;
}  // namespace

void rememberCommandLine(int argc, char** argv) { commandLine.assign(argv, argv + argc); }

void prepareCommandLine(CLI::App& app) {
  app.require_subcommand(1);
  app.failure_message([](const CLI::App*, const CLI::Error& e) {
    return "velor-cli: " + std::string(e.what()) + " (see --help)\n";
  });
}

int runCommandLine(CLI::App& app, int argc, char** argv, const int& status) {
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

int runPictureProgram() {
  std::string self(4096, '\0');
  const ssize_t n = ::readlink("/proc/self/exe", self.data(), self.size() - 1);
  if (n <= 0) {
    reportFailure(std::string("cannot find the program's folder: ") + std::strerror(errno));
    return kExitFile;
  }
  self.resize(static_cast<std::size_t>(n));
  const std::string program = self.substr(0, self.rfind('/') + 1) + "velor-cli-pictures";
  if (::access(program.c_str(), X_OK) != 0) {
    reportFailure("this build has no picture part (" + program + " is missing): map and print need the Qt workstation");
    return kExitFile;
  }
  std::vector<char*> args = commandLine;
  if (args.empty()) return kExitUsage;
  args[0] = const_cast<char*>(program.c_str());
  args.push_back(nullptr);
  std::fflush(stdout);
  std::fflush(stderr);
  ::execv(program.c_str(), args.data());
  reportFailure("cannot start " + program + ": " + std::strerror(errno));
  return kExitFile;
}

}  // namespace velor::cli
