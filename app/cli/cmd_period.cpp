// velor-cli period FILE --band LOW HIGH [--record N] [--channel N | --all]:
// what "&5=Период-анализ" of the EEG analysis window computes for the band
// LOW..HIGH Hz. For one channel (1-based, default 1): the summary line, the
// mean amplitude and period lines, then the list of waves under its head
// line; with --all the table of every channel under its head line. FILE is a
// record file (".cad") or an EDF-family file, whose pages are the records.
// Nothing is written next to the file.
#include <cmath>
#include <iostream>
#include <memory>
#include <string>

#include "app/cli/cmd_period.h"
#include "app/cli/commands.h"
#include "core/record_file.h"
#include "eeg/eeg_analysis.h"
#include "eeg/period_command.h"
#include "eeg/spectral.h"

namespace velor::cli {

namespace {

struct Options {
  std::string file;
  std::vector<double> band;
  int record = 1;
  int channel = 1;
  bool all = false;
};

int run(const Options& o) {
  EngineInteraction ui;
  if (o.band.size() != 2 || !std::isfinite(o.band[0]) || !std::isfinite(o.band[1]) || o.band[0] < 0 ||
      o.band[1] <= o.band[0] || o.band[1] > 327) {
    reportFailure("--band needs LOW HIGH in Hz with 0 <= LOW < HIGH <= 327");
    return kExitUsage;
  }
  OpenedInput in;
  if (const int status = openInputAt(o.file, o.record, ui, in); status != kExitOk) return status;
  StudyState& s = *in.state;
  if (!o.all && !channelOptionInRange(o.channel, s.channelCount)) return kExitUsage;
  s.firstShownChannel = o.all ? 0 : o.channel - 1;
  s.currentChannelRow = 0;
  s.shownChannelCount = 1;
  s.recordFileName.clear();  // the window's ".doc" list stays unwritten here

  SpectralEngine engine;
  EegAnalysis eeg(s, engine, ui);
  eeg.chosenBandLow = static_cast<int>(std::trunc(100 * o.band[0] + 0.5));
  eeg.chosenBandHigh = static_cast<int>(std::trunc(100 * o.band[1] + 0.5));
  PeriodCommandResult r;
  if (!periodAnalysisCommand(eeg, o.all, r)) {
    reportFailure(ui.reason("the period analysis cannot be made"));
    return kExitFile;
  }
  if (o.all) {
    for (const std::string& line : r.tableLines) std::cout << line << '\n';
  } else {
    std::cout << r.summaryLine << '\n' << r.amplitudeLine << '\n' << r.periodLine << '\n';
    for (const std::string& line : r.waveList) std::cout << line << '\n';
  }
  std::cout.flush();
  return std::cout ? kExitOk : kExitFile;
}

}  // namespace

void addPeriodCommand(CLI::App& app, int& status) {
  auto o = std::make_shared<Options>();
  CLI::App* c = app.add_subcommand("period", "period analysis of a rhythm in a band (one channel or all)");
  c->add_option("FILE", o->file, "record file (.cad) or EDF-family file")->required();
  c->add_option("--band", o->band, "LOW HIGH in Hz")->required()->expected(2);
  c->add_option("--record", o->record, "record (page) number, from 1");
  c->add_option("--channel", o->channel, "channel number, from 1 (default 1)");
  c->add_flag("--all", o->all, "every channel: one table line each");
  c->callback([o, &status] { status = run(*o); });
}

}  // namespace velor::cli
