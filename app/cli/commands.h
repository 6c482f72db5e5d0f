// The subcommands of velor-cli and what they share: exit statuses, the one
// line that explains a failure, the engines' interaction and progress.
#pragma once

#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>
#include <string_view>

#include <CLI/CLI.hpp>

#include "core/interaction.h"
#include "core/record_file.h"

namespace velor::cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFile = 1;   // a file could not be read or written
inline constexpr int kExitUsage = 2;  // the command line is wrong

// Each adds its subcommand; its callback stores the exit status in `status`.
void addInfoCommand(CLI::App& app, int& status);
void addDumpCommand(CLI::App& app, int& status);
void addConvertCommand(CLI::App& app, int& status);
void addDemoCommand(CLI::App& app, int& status);
void addCalcCommand(CLI::App& app, int& status);
void addGenerateCommand(CLI::App& app, int& status);
void addEcgCommand(CLI::App& app, int& status);
void addEcgScoreCommand(CLI::App& app, int& status);
void addTransformCommand(CLI::App& app, int& status);
void addCompareCommand(CLI::App& app, int& status);
void addRegCommands(CLI::App& app, int& status);  // reg and reg-average
void addEpCommand(CLI::App& app, int& status);
void addBreathCommand(CLI::App& app, int& status);
void addEventsCommand(CLI::App& app, int& status);
void addEmgCommand(CLI::App& app, int& status);

// map and print paint with the workstation's Qt drawing. That part lives in
// a companion program beside velor-cli, "velor-cli-pictures", so that every
// other command starts without loading the GUI libraries (about 50 of them);
// the two commands hand the whole command line over to it.
void rememberCommandLine(int argc, char** argv);

// Both programs' command lines: one subcommand, CLI11's errors as one
// "velor-cli: … (see --help)" line. runCommandLine parses and runs it:
// status 2 for a wrong command line, 1 for an exception a command let
// escape (said in one line), otherwise the command's own status.
void prepareCommandLine(CLI::App& app);
int runCommandLine(CLI::App& app, int argc, char** argv, const int& status);
int runPictureProgram();

// Writes "velor-cli: <text>" as one line on stderr (line breaks inside the
// text become "; "): the reason of a failure, or a notice after success.
void reportFailure(std::string_view text);

// Engines talk through this: questions are answered No, messages are kept so
// that a failure is told in one line together with its context.
class EngineInteraction final : public ScriptedInteraction {
 public:
  EngineInteraction();
  // The messages so far joined into one text, or `fallback` when there were none.
  std::string reason(std::string_view fallback) const;
};

// Progress on stderr, shown only when stderr is a terminal: in a pipe or a
// log the failure line is all that stderr carries.
class TerminalProgress final : public Progress {
 public:
  TerminalProgress();
  void begin(std::string_view what, long total) override;
  bool step(long done) override;
  void end() override;

 private:
  bool shown_;
  bool drawn_ = false;
  std::string what_;
  long total_ = 0;
};

// Checks that `path` names a readable regular file; otherwise false with the reason.
bool checkInputFile(const std::string& path, std::string& reason);
// False with the reason when `path` exists but is no regular file (a FIFO
// would make its reader wait forever); a missing file is left to the reader.
bool refuseNonRegularFile(const std::string& path, std::string& reason);

// Header and record table of a record file, for the inspection commands.
// False with a one-line reason when the header cannot be read. A record area
// that turns unsound part way still gives the records before the fault;
// `recordsFault` then says what is wrong (empty when all is sound).
bool inspectRecordFile(const std::string& path, RecordFileHeader& header, std::vector<RecordInfo>& records,
                       std::string& recordsFault, std::string& reason);
// The notice for such a file: the fault and the records that can be read.
std::string damagedNotice(const std::string& fault, std::size_t readable);

// The record table of a signal record file that a filter rewrites: a
// damaged record area or a saved transform result is refused (said on
// stderr) before anything is written. Returns an exit status.
int inspectSignalRecords(const std::string& path, RecordFileHeader& h, std::vector<RecordInfo>& records);

// An input record file opened into a study state of its own, closed when
// this goes away.
struct OpenedInput {
  std::unique_ptr<StudyState> state;
  OpenedInput() = default;
  OpenedInput(const OpenedInput&) = delete;
  OpenedInput& operator=(const OpenedInput&) = delete;
  ~OpenedInput() {
    if (state) closeRecordFile(*state);
  }
};
// Opens `path` with openRecordFile; on failure tells why in one line and returns false.
bool openInputRecordFile(const std::string& path, EngineInteraction& ui, OpenedInput& in);

// Opens any signal file the analysis commands take into a study state of its
// own — a record file, an EDF-family file (its pages are the records) or a
// foreign recording read whole (BrainSys, NeuroScan, text columns) — and moves
// to record `record` (1-based). Returns kExitOk, or the exit status after
// telling why in one line. Readers' notices go to stderr as well.
int openInputAt(const std::string& path, int record, EngineInteraction& ui, OpenedInput& in);
// A 1-based --channel inside 1..channelCount; otherwise false after saying so
// in one line (the caller returns kExitUsage).
bool channelOptionInRange(int channel, int channelCount);

// Writes every record of the open input `s` into a new "CA40" file `out`
// (atomically), keeping the file date, the record times and a pair-transform
// flag of `h`; `perRecord` may change each record in memory first. Walks the
// input forward from its first record. With `records` empty each record keeps
// the time it has in memory (EDF pages). Returns an exit status.
int writeRecordsAsCA40(StudyState& s, EngineInteraction& ui, const std::string& out, const RecordFileHeader& h,
                       const std::vector<RecordInfo>& records, int total, const char* what,
                       const std::function<void(StudyState&)>& perRecord);
// The same where changing a record may fail: `perRecord` returning false
// (after saying why) stops the writing and OUT is left as it was.
int writeCheckedRecordsAsCA40(StudyState& s, EngineInteraction& ui, const std::string& out, const RecordFileHeader& h,
                       const std::vector<RecordInfo>& records, int total, const char* what,
                       const std::function<bool(StudyState&)>& perRecord);

// A CSV field, quoted when it holds a separator, a quote or a line break
// (names come from files and may hold anything).
std::string csvField(const std::string& text);
// Writes `text` to stdout and flushes; false when that fails.
bool writeOut(const std::string& text);
// writeOut as a command's last step: kExitOk, or kExitFile after saying so.
int writeOutStatus(const std::string& text);
// A dump as CSV on stdout: a line of the column names (each through
// csvField) and "mark" when `withMark`, then for each sample i < length the
// text value(k, i, buf) writes into buf for each column k and, with the mark
// column, mark(i). Written in pieces of about 1 MiB. Returns an exit status.
template <class Value, class Mark>
int writeDumpCsv(const std::vector<std::string>& names, bool withMark, long long length, Value value, Mark mark) {
  std::string out;
  for (std::size_t k = 0; k < names.size(); ++k) {
    if (k) out += ',';
    out += csvField(names[k]);
  }
  if (withMark) out += names.empty() ? "mark" : ",mark";
  out += '\n';
  char buf[40];
  for (long long i = 0; i < length; ++i) {
    for (std::size_t k = 0; k < names.size(); ++k) {
      if (k) out += ',';
      value(k, i, buf);
      out += buf;
    }
    if (withMark) {
      std::snprintf(buf, sizeof buf, "%s%d", names.empty() ? "" : ",", static_cast<int>(mark(i)));
      out += buf;
    }
    out += '\n';
    if (out.size() > (1u << 20)) {
      if (!writeOut(out)) break;
      out.clear();
    }
  }
  if (!writeOut(out) || std::ferror(stdout)) {
    reportFailure("cannot write the output");
    return kExitFile;
  }
  return kExitOk;
}

// The channels a dump shows: `chosen` as given, or all `count` when empty.
// False, after telling which number does not exist, when one is outside.
bool chooseDumpChannels(std::vector<int>& chosen, int count);

// A channel name as shown: the stored characters without trailing blanks.
std::string shownName(const std::string& stored);

}  // namespace velor::cli
