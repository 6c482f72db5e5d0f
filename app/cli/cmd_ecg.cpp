// velor-cli ecg: placeholder until the statistics are wired.
#include "app/cli/commands.h"
namespace velor::cli {
void addEcgCommand(CLI::App&, int&) {}
}  // namespace velor::cli
