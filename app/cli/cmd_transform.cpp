// velor-cli transform IN OUT --op NAME [options]: one transformation of the
// record in memory applied to every record of IN (a ".cad" record file or an
// EDF-family file, whose pages are the records), written atomically to OUT as
// a "CA40" record file. A record the transformation refuses stops the run and
// leaves OUT as it was.
#include <memory>
#include <string>
#include <vector>

#include "app/cli/cmd_fft_filter.h"
#include "app/cli/commands.h"
#include "core/binio.h"
#include "core/study_state.h"
#include "eeg/spectral.h"
#include "interchange/edf.h"
#include "app/cli/cmd_edf.h"
#include "tools/transformations.h"

namespace velor::cli {

namespace {

struct TransformOptions {
  std::string in, out, op, type = "butterworth";
  TransformRequest request;
  int channel = 0;  // from 1; 0 all
  bool remove = false;
};

int runTransformCommand(TransformOptions& o) {
  TransformRequest& r = o.request;
  r.op = o.op;
  r.keep = !o.remove;
  r.settings.allChannels = o.channel == 0;
  if (o.type == "butterworth") r.settings.filterType = 0;
  else if (o.type == "chebyshev1") r.settings.filterType = 1;
  else r.settings.filterType = 2;
  if (extensionLower(o.out) != ".cad") {
    reportFailure("the output is written as a record file; give it the extension .cad");
    return kExitUsage;
  }
  if (samePath(o.in, o.out) || (!r.otherFile.empty() && samePath(r.otherFile, o.out))) {
    reportFailure("the output must be another file than the inputs");
    return kExitFile;
  }
  if ((r.op == "channel-from-file" || r.op == "average-with-file") && r.otherFile.empty()) {
    reportFailure("--op " + r.op + " needs --other FILE");
    return kExitUsage;
  }
  if (r.op == "formula" && r.formula.empty()) {
    reportFailure("--op formula needs --formula TEXT");
    return kExitUsage;
  }

  EngineInteraction ui;
  OpenedInput input;
  RecordFileHeader h;
  std::vector<RecordInfo> records;
  const bool edf = isEdfPath(o.in);
  if (edf) {
    if (!openEdfInput(o.in, ui, input, h, records)) return kExitFile;
  } else {
    if (extensionLower(o.in) != ".cad") {
      reportFailure("only .cad and EDF-family files can be transformed");
      return kExitFile;
    }
    if (const int st = inspectSignalRecords(o.in, h, records); st != kExitOk) return st;
    if (!openInputRecordFile(o.in, ui, input)) return kExitFile;
  }
  StudyState* s = input.state.get();
  if (o.channel < 0 || o.channel > s->channelCount) {
    reportFailure("--channel " + std::to_string(o.channel) + " does not exist (1.." + std::to_string(s->channelCount) +
                  ", 0 all)");
    return kExitUsage;
  }
  if (o.channel > 0) {
    s->firstShownChannel = o.channel - 1;
    s->currentChannelRow = 0;
    s->shownChannelCount = 1;
  }
  const int total = std::max(1, s->recordCount);
  if (static_cast<int>(records.size()) < total) {
    reportFailure(o.in + ": the header counts " + std::to_string(total) + " records but the file holds " +
                  std::to_string(records.size()));
    return kExitFile;
  }
  // Decimation changes the file's rate: the header is written with the new
  // one, and each record is decimated from the rate it was recorded with.
  const int rate = s->sampleRate;
  const bool decimating = r.op == "decimate";
  if (decimating) {
    if (r.settings.decimationStep < 2 || rate % r.settings.decimationStep != 0) {
      reportFailure("the sampling rate " + std::to_string(rate) + " Hz does not divide by --step " +
                    std::to_string(r.settings.decimationStep));
      return kExitUsage;
    }
    s->sampleRate = rate / r.settings.decimationStep;
  }
  auto engine = std::make_unique<SpectralEngine>();
  return writeCheckedRecordsAsCA40(*s, ui, o.out, h, records, total, "Transforming", [&](StudyState& st) {
    if (decimating) st.sampleRate = rate;
    const int keepCount = st.recordCount;
    ui.messages.clear();
    const bool ok = runTransform(st, r, *engine, ui);
    if (!ok) {
      reportFailure(o.in + ", record " + std::to_string(st.currentRecord) + ": " +
                    ui.reason("the transformation changes nothing"));
      if (decimating) st.sampleRate = rate / r.settings.decimationStep;
      return false;
    }
    // The averaged count belongs to one record in memory, not to the file written.
    if (r.op == "average-with-file") st.recordCount = keepCount;
    if (edf) {
      const std::size_t k = static_cast<std::size_t>(st.currentRecord - 1);
      if (k < records.size()) records[k].timeField = encodeTimeOfDay(st.recordTime);
    }
    return true;
  });
}

}  // namespace

void addTransformCommand(CLI::App& app, int& status) {
  auto o = std::make_shared<TransformOptions>();
  std::string names;
  for (const auto& [name, what] : transformOperations()) names += "\n  " + name + ": " + what;
  CLI::App* cmd = app.add_subcommand("transform", "Apply one transformation to every record; output as CA40");
  cmd->add_option("IN", o->in, "Input record file (.cad), or EDF/EDF32/UDF/BDF (pages are records)")->required();
  cmd->add_option("OUT", o->out, "Output record file (.cad)")->required();
  std::vector<std::string> ops;
  for (const auto& op : transformOperations()) ops.push_back(op.first);
  cmd->add_option("--op", o->op, "The transformation:" + names)->required()->check(CLI::IsMember(ops));
  cmd->add_option("--channel", o->channel, "Channel from 1 (default 0: all channels)");
  cmd->add_option("--low", o->request.settings.lowHz, "Lower frequency in Hz");
  cmd->add_option("--high", o->request.settings.highHz, "Upper frequency in Hz");
  cmd->add_option("--type", o->type, "IIR design")
      ->check(CLI::IsMember({"butterworth", "chebyshev1", "chebyshev2"}));
  cmd->add_option("--order", o->request.settings.order, "IIR order (default 7)")->check(CLI::Range(1, 50));
  cmd->add_option("--ripple", o->request.settings.ripple, "Chebyshev ripple in per cent (default 1)");
  cmd->add_flag("--remove", o->remove, "Remove the band instead of keeping it");
  cmd->add_flag("--two-way", o->request.settings.twoWay, "Filter forward and backward (zero phase)");
  cmd->add_option("--window", o->request.settings.smoothWindow, "Smoothing window in samples (default 3)")
      ->check(CLI::Range(1, 32767));
  cmd->add_option("--step", o->request.settings.decimationStep, "Decimation step (default 10)")
      ->check(CLI::Range(2, 32767));
  cmd->add_option("--formula", o->request.formula, "Formula text");
  cmd->add_option("--other", o->request.otherFile, "The other record file (.cad)");
  cmd->add_option("--other-channel", o->request.settings.otherChannel, "Channel of the other file, from 1")
      ->check(CLI::Range(1, 64));
  cmd->callback([o, &status] { status = runTransformCommand(*o); });
}

}  // namespace velor::cli
