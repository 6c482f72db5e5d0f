// velor-cli compare IN --channel A --other B [--record K] [--start S --length Q]:
// the two-channel comparison of the transformations window (paired t,
// signed-rank and correlation) over Q + 1 samples from S, one "name=value"
// line per statistic.
#include <cstdio>
#include <memory>
#include <string>

#include "app/cli/commands.h"
#include "core/record_file.h"
#include "core/study_state.h"
#include "tools/transformations.h"

namespace velor::cli {

namespace {

struct CompareOptions {
  std::string in;
  int channel = 1, other = 2, record = 1, start = 0, length = 1023;
};

int runCompare(const CompareOptions& o) {
  EngineInteraction ui;
  OpenedInput input;
  if (!openInputRecordFile(o.in, ui, input)) return kExitFile;
  StudyState& s = *input.state;
  if (o.record != 1 && !gotoRecord(s, o.record, ui)) {
    reportFailure(ui.reason(o.in + ": no record " + std::to_string(o.record)));
    return kExitFile;
  }
  if (o.channel < 1 || o.channel > s.channelCount) {
    reportFailure("--channel " + std::to_string(o.channel) + " does not exist");
    return kExitUsage;
  }
  s.firstShownChannel = o.channel - 1;
  s.currentChannelRow = 0;
  s.shownChannelCount = 1;
  s.timeZoom = 0;
  s.cursorPos = o.start + o.length;
  s.selectionAnchor = o.start;
  ChannelComparison c;
  if (!compareChannels(s, o.other, c, ui)) {
    reportFailure(ui.reason("the channels cannot be compared"));
    return kExitFile;
  }
  char line[512];
  std::snprintf(line, sizeof line, "start=%d\nlength=%d\nt=%.9g\np_t=%.9g\nw=%.9g\np_w=%.9g\nr=%.9g\np_r=%.9g\n", c.start,
                c.length, c.t, c.pT, c.w, c.pW, c.r, c.pR);
  return writeOut(line) ? kExitOk : kExitFile;
}

}  // namespace

void addCompareCommand(CLI::App& app, int& status) {
  auto o = std::make_shared<CompareOptions>();
  CLI::App* cmd = app.add_subcommand("compare", "Paired t, signed-rank and correlation of two channels of a record");
  cmd->add_option("IN", o->in, "Record file (.cad)")->required();
  cmd->add_option("--channel", o->channel, "First channel, from 1")->required();
  cmd->add_option("--other", o->other, "Second channel, from 1")->required();
  cmd->add_option("--record", o->record, "Record number, from 1");
  cmd->add_option("--start", o->start, "First sample (default 0)")->check(CLI::Range(0, 32766));
  cmd->add_option("--length", o->length, "Samples after the first (default and at most 1023)")->check(CLI::Range(2, 1023));
  cmd->callback([o, &status] { status = runCompare(*o); });
}

}  // namespace velor::cli
