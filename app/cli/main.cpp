// velor-cli: the workstation's engines from the shell. Exit status 0 on
// success, 1 when a file cannot be read or written, 2 for a wrong command
// line; a failure is explained in one line on stderr.
#include <CLI/CLI.hpp>
#include <exception>
#include <iostream>

#include "app/cli/cmd_devices.h"
#include "app/cli/cmd_record.h"
#include "app/cli/cmd_fft_filter.h"
#include "app/cli/cmd_eeg_report.h"
#include "app/cli/cmd_filter.h"
#include "app/cli/cmd_period.h"
#include "app/cli/cmd_spectrum.h"
#include "app/cli/commands.h"
#include "app/cli/cmd_map.h"
#include "app/cli/print_pdf.h"

int main(int argc, char** argv) {
  using namespace velor::cli;
  CLI::App app{"Velor command-line tool"};
  prepareCommandLine(app);
  int status = kExitOk;
  rememberCommandLine(argc, argv);
  addInfoCommand(app, status);
  addDumpCommand(app, status);
  addConvertCommand(app, status);
  addDemoCommand(app, status);
  addFilterDesignCommand(app, status);
  addFilterCommand(app, status);
  addFftFilterCommand(app, status);
  addPrintCommand(app, status);
  addMapCommand(app, status);
  addSpectrumCommand(app, status);
  addBandsCommand(app, status);
  addEegReportCommand(app, status);
  addPeriodCommand(app, status);
  addDevicesCommand(app, status);
  addImpedanceCommand(app, status);
  addRecordCommand(app, status);
  addCalcCommand(app, status);
  addGenerateCommand(app, status);
  addEcgCommand(app, status);
  addEcgScoreCommand(app, status);
  addTransformCommand(app, status);
  addCompareCommand(app, status);
  addRegCommands(app, status);
  addEpCommand(app, status);
  addBreathCommand(app, status);
  addEventsCommand(app, status);
  addEmgCommand(app, status);
  return runCommandLine(app, argc, argv, status);
}
