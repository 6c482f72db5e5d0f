// velor-cli dump FILE [--record N] [--raw] [--channels 0,3,5]: one record as
// CSV, a header row of channel names and one row per sample.
#include <algorithm>
#include <cstdio>
#include <memory>

#include "app/cli/cmd_edf.h"
#include "app/cli/cmd_foreign.h"
#include "app/cli/cmd_wfdb.h"
#include "interchange/wfdb.h"
#include "app/cli/commands.h"

namespace velor::cli {

namespace {

struct DumpOptions {
  std::string file;
  int record = 1;
  bool raw = false;
  std::vector<int> channels;
};

int runDump(const DumpOptions& o) {
  if (isWfdbPath(o.file)) return runWfdbDump(o.file, o.record, o.raw, o.channels);
  if (isEdfPath(o.file)) return runEdfDump(o.file, o.record, o.raw, o.channels);
  if (isForeignPath(o.file)) return runForeignDump(o.file, o.record, o.raw, o.channels);
  RecordFileHeader h;
  std::vector<RecordInfo> records;
  std::string fault, reason;
  if (!inspectRecordFile(o.file, h, records, fault, reason)) {
    reportFailure(reason);
    return kExitFile;
  }
  // A damaged record area still lets the records before the fault be read.
  if (o.record < 1 || o.record > static_cast<int>(records.size())) {
    if (!fault.empty() && o.record >= 1) {
      reportFailure(fault);
      return kExitFile;
    }
    reportFailure("record " + std::to_string(o.record) + " does not exist: " + o.file + " holds " +
                  std::to_string(records.size()) + " record(s)");
    return kExitUsage;
  }
  std::vector<int> chosen = o.channels;
  if (!chooseDumpChannels(chosen, h.channelCount)) return kExitUsage;
  if (!fault.empty()) reportFailure(damagedNotice(fault, records.size()));

  std::vector<std::vector<std::int16_t>> samples;
  if (!readRecordSamples(o.file, h, records[static_cast<std::size_t>(o.record - 1)], samples, reason)) {
    reportFailure(o.file + ": " + (reason.empty() ? "cannot read record " + std::to_string(o.record) : reason));
    return kExitFile;
  }
  const bool withMark = static_cast<int>(samples.size()) > h.channelCount;
  // The valid samples: a record shortened in place keeps its stored size but
  // a smaller length field, and nothing beyond the stored samples exists.
  const RecordInfo& info = records[static_cast<std::size_t>(o.record - 1)];
  const std::size_t n = static_cast<std::size_t>(std::max(0, std::min(info.storedLength, info.recordLength)));
  for (const auto& ch : samples) {
    if (ch.size() < n) {
      reportFailure(o.file + ": record " + std::to_string(o.record) + " is shorter than its length field");
      return kExitFile;
    }
  }

  // The scale of each chosen channel; calibUnits 0 counts as 1, as every
  // writer stores it.
  std::vector<std::string> names;
  std::vector<double> scale, zero;
  for (int c : chosen) {
    names.push_back(shownName(h.channelNames[c]));
    const int units = h.calibUnits[c] == 0 ? 1 : h.calibUnits[c];
    scale.push_back(static_cast<double>(h.calibValue[c]) / units);
    zero.push_back(h.zeroLevel[c]);
  }
  return writeDumpCsv(
      names, withMark, static_cast<long long>(n),
      [&](std::size_t k, long long i, char* buf) {
        const std::int16_t code = samples[static_cast<std::size_t>(chosen[k])][static_cast<std::size_t>(i)];
        if (o.raw) std::snprintf(buf, 40, "%d", code);
        else std::snprintf(buf, 40, "%.9g", (code - zero[k]) * scale[k]);
      },
      [&](long long i) { return samples.back()[static_cast<std::size_t>(i)]; });
}

}  // namespace

void addDumpCommand(CLI::App& app, int& status) {
  auto o = std::make_shared<DumpOptions>();
  CLI::App* cmd = app.add_subcommand("dump", "Write one record as CSV: physical values, or codes with --raw");
  cmd->add_option("FILE", o->file, "Record file (.cad, .edf, .udf, .e32, .bdf, .eeg, .ee, .cnt, .txt)")->required();
  cmd->add_option("--record", o->record, "Record number, from 1 (a page of an EDF file)");
  cmd->add_flag("--raw", o->raw, "Stored codes instead of physical values");
  cmd->add_option("--channels", o->channels, "Channel numbers from 0, e.g. 0,3,5")->delimiter(',');
  cmd->callback([o, &status] { status = runDump(*o); });
}

}  // namespace velor::cli
