// velor-cli convert IN OUT: rewrites a record file in the current layout.
// ".cad" files of every version become "CA40" files with the same channel
// table, header texts, file date, samples and record times.
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

#include "app/cli/cmd_edf.h"
#include "app/cli/cmd_foreign.h"
#include "app/cli/commands.h"
#include "core/binio.h"
#include "core/study_state.h"

namespace velor::cli {

namespace {

struct ConvertOptions {
  std::string in, out;
};

int runConvert(const ConvertOptions& o) {
  if (isForeignConversion(o.in, o.out)) return runForeignConvert(o.in, o.out);
  if (isEdfPath(o.in) || isEdfPath(o.out)) return runEdfConvert(o.in, o.out);
  const std::string inExt = extensionLower(o.in), outExt = extensionLower(o.out);
  if (inExt != ".cad") {
    reportFailure("reading " + (inExt.empty() ? std::string("files without an extension") : "\"" + inExt + "\" files") +
                  " is not available yet; only .cad files can be converted");
    return kExitFile;
  }
  if (outExt != ".cad") {
    reportFailure("writing " + (outExt.empty() ? std::string("files without an extension") : "\"" + outExt + "\" files") +
                  " is not available yet; only .cad files can be written");
    return kExitFile;
  }

  // The record table first: a damaged record is refused before anything is
  // written, and the stored time fields are carried over exactly.
  RecordFileHeader h;
  std::vector<RecordInfo> records;
  std::string fault, reason;
  if (!inspectRecordFile(o.in, h, records, fault, reason)) {
    reportFailure(reason);
    return kExitFile;
  }

  EngineInteraction ui;
  OpenedInput input;
  if (!openInputRecordFile(o.in, ui, input)) return kExitFile;
  StudyState* s = input.state.get();

  // A negative count marks one averaged record. The reader has already
  // brought a count that claims more records than are stored (or 0, left by
  // a recording that was never closed) down to the records present.
  const int total = std::max(1, s->recordCount);
  // Every record the file counts must be sound; bytes after them that do not
  // form a record are left behind with a notice, as the program ignores them.
  if (static_cast<int>(records.size()) < total) {
    reportFailure(!fault.empty() ? fault
                                 : o.in + ": the header counts " + std::to_string(total) +
                                       " records but the file holds " + std::to_string(records.size()));
    return kExitFile;
  }
  if (!fault.empty()) ui.message(fault + "; only records 1.." + std::to_string(total) + " were converted");

  const int status = writeRecordsAsCA40(*s, ui, o.out, h, records, total, "Converting", nullptr);
  if (status != kExitOk) return status;
  // Notices of the reader (a record count repaired to what the file holds)
  // still matter to the person who asked for the conversion.
  if (!ui.messages.empty()) reportFailure(ui.reason(""));
  return kExitOk;
}

}  // namespace

void addConvertCommand(CLI::App& app, int& status) {
  auto o = std::make_shared<ConvertOptions>();
  CLI::App* cmd = app.add_subcommand("convert", "Convert a record file by the output extension: .cad (CA40), .edf/.udf, .txt (text columns), .eeg (BrainLoc)");
  cmd->add_option("IN", o->in, "Input file")->required();
  cmd->add_option("OUT", o->out, "Output file")->required();
  cmd->callback([o, &status] { status = runConvert(*o); });
}

}  // namespace velor::cli
