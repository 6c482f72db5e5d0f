// velor-cli demo OUT.cad [--records N] [--seconds S] [--seed K]: writes the
// synthetic demonstration study.
#include <memory>

#include "app/cli/commands.h"
#include "core/binio.h"
#include "tools/demo_study.h"

namespace velor::cli {

namespace {

struct DemoCommandOptions {
  std::string out;
  DemoStudyOptions study;
};

int runDemo(const DemoCommandOptions& o) {
  std::string reason;
  if (!checkDemoOptions(o.study, reason)) {
    reportFailure(reason);
    return kExitUsage;
  }
  const std::string ext = extensionLower(o.out);
  if (ext != ".cad") {
    reportFailure("writing " + (ext.empty() ? std::string("files without an extension") : "\"" + ext + "\" files") +
                  " is not available yet; the demo study is written as .cad");
    return kExitFile;
  }
  auto s = std::make_unique<StudyState>();
  TerminalProgress progress;
  if (!writeDemoStudy(*s, o.out, o.study, progress, reason)) {
    reportFailure(reason);
    return kExitFile;
  }
  return kExitOk;
}

}  // namespace

void addDemoCommand(CLI::App& app, int& status) {
  auto o = std::make_shared<DemoCommandOptions>();
  CLI::App* cmd = app.add_subcommand("demo", "Write a synthetic EEG study (19 EEG leads and an ECG lead, 250 Hz)");
  cmd->add_option("OUT", o->out, "Output record file (.cad)")->required();
  cmd->add_option("--records", o->study.records, "Number of records")
      ->check(CLI::Range(1, kDemoMaxRecords))
      ->capture_default_str();
  cmd->add_option("--seconds", o->study.seconds, "Seconds per record")->capture_default_str();
  cmd->add_option("--seed", o->study.seed, "Seed of the random parts; the same seed gives the same file")
      ->capture_default_str();
  cmd->callback([o, &status] { status = runDemo(*o); });
}

}  // namespace velor::cli
