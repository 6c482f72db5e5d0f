// velor-cli convert IN OUT: rewrites a record file in the current layout.
// ".cad" files of every version become "CA40" files with the same channel
// table, header texts, file date, samples and record times.
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

#include "app/cli/commands.h"
#include "core/binio.h"
#include "core/study_state.h"

namespace velor::cli {

namespace {

struct ConvertOptions {
  std::string in, out;
};

// Patches a little-endian field of the output and returns to where it was.
bool patch(int fd, long long at, const unsigned char* bytes, std::size_t n) {
  const long long here = fdTell(fd);
  return here >= 0 && fdSeek(fd, at) && fdWriteAll(fd, bytes, n) && fdSeek(fd, here);
}

int runConvert(const ConvertOptions& o) {
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

  auto s = std::make_unique<StudyState>();
  EngineInteraction ui;
  if (!openRecordFile(*s, o.in, ui)) {
    reportFailure(o.in + ": " + ui.reason("not a record file (unknown signature)"));
    return kExitFile;
  }
  struct Closer {
    StudyState& s;
    ~Closer() { closeRecordFile(s); }
  } closer{*s};

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

  AtomicFile file(o.out);
  if (!file.ok()) {
    reportFailure("cannot create " + o.out + ": " + std::strerror(errno));
    return kExitFile;
  }
  const int fd = file.fd();
  const auto writeFailed = [&] {
    reportFailure("cannot write " + o.out + ": " + std::strerror(errno));
    return kExitFile;
  };

  // The writers take the layout from recordFileVersion, and the reader of the
  // open input needs its own: switch only around each write.
  const int inputVersion = s->recordFileVersion;
  s->recordFileVersion = kVersionCA40;
  bool ok = writeHeader(*s, fd);
  s->recordFileVersion = inputVersion;
  if (!ok) return writeFailed();

  // The writer stamps today's date; a conversion keeps the recording's own
  // (CA15 files have none, so they get today's).
  const long long dateAt = 4 + kHeaderChars + 4LL * recordFileSlots(kVersionCA40);
  unsigned char b4[4];
  if (h.version != kVersionCA15 && h.fileDate != 0) {
    putU32(b4, static_cast<std::uint32_t>(h.fileDate));
    if (!patch(fd, dateAt, b4, 4)) return writeFailed();
  }
  // A saved pair-transform result is flagged by a mark count above 10; the
  // reader turns that into 0, so the flag is restored here.
  if (h.markChannelCount > 10) {
    const unsigned char m = static_cast<unsigned char>(h.markChannelCount);
    const long long markCountAt = dateAt + 4 + 2 + 2 + 1 + 2;  // after date, data offset, reference ×2, count, rate
    if (!patch(fd, markCountAt, &m, 1)) return writeFailed();
  }

  TerminalProgress progress;
  progress.begin("Converting", total);
  for (int k = 0; k < total; ++k) {
    if (k > 0 && !stepRecord(*s, +1, ui)) {
      progress.end();
      reportFailure(o.in + ": " + ui.reason("cannot read record " + std::to_string(k + 1)));
      return kExitFile;
    }
    // Only the samples the file really stores are carried over.
    const int savedLength = s->recordLength;
    s->recordLength = std::min(s->recordLength, s->storedLength);
    s->recordFileVersion = kVersionCA40;
    ok = writeRecord(*s, fd);
    s->recordFileVersion = inputVersion;
    s->recordLength = savedLength;
    // The writer stamps the clock; the record keeps the time it was recorded at.
    const std::int32_t t = h.version == kVersionCA15 ? 0 : records[static_cast<std::size_t>(k)].timeField;
    putU32(b4, static_cast<std::uint32_t>(t));
    if (!ok || !fdSeekRelative(fd, -6) || !fdWriteAll(fd, b4, 4) || !fdSeekRelative(fd, 2)) {
      progress.end();
      return writeFailed();
    }
    progress.step(k + 1);
  }
  progress.end();
  if (!file.commit()) return writeFailed();
  // Notices of the reader (a record count repaired to what the file holds)
  // still matter to the person who asked for the conversion.
  if (!ui.messages.empty()) reportFailure(ui.reason(""));
  return kExitOk;
}

}  // namespace

void addConvertCommand(CLI::App& app, int& status) {
  auto o = std::make_shared<ConvertOptions>();
  CLI::App* cmd = app.add_subcommand("convert", "Convert a record file; .cad files are rewritten as CA40");
  cmd->add_option("IN", o->in, "Input file")->required();
  cmd->add_option("OUT", o->out, "Output file")->required();
  cmd->callback([o, &status] { status = runConvert(*o); });
}

}  // namespace velor::cli
