// map and print run in "velor-cli-pictures", the same command line tool
// with the workstation's Qt drawing linked in; velor-cli hands them over so
// that its other commands start without loading the GUI libraries.
#include <unistd.h>

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
