#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "app/cli/cmd_edf.h"
#include "app/cli/commands.h"
#include "core/binio.h"
#include "interchange/wfdb.h"
#include "interchange/edf.h"
#include "interchange/foreign_formats.h"

namespace velor::cli {

namespace {
std::string flatten(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\r' || c == '\n') {
      while (i + 1 < text.size() && (text[i + 1] == '\r' || text[i + 1] == '\n')) ++i;
      if (i + 1 < text.size() && !out.empty()) out += "; ";
    } else {
      out += c;
    }
  }
  return out;
}
}  // namespace

void reportFailure(std::string_view text) {
  const std::string line = "velor-cli: " + flatten(text) + "\n";
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fflush(stderr);
}

EngineInteraction::EngineInteraction() { answerYes = false; }

std::string EngineInteraction::reason(std::string_view fallback) const {
  std::string r;
  for (const std::string& m : messages) {
    if (!r.empty()) r += "; ";
    r += flatten(m);
  }
  return r.empty() ? std::string(fallback) : r;
}

TerminalProgress::TerminalProgress() : shown_(::isatty(STDERR_FILENO) == 1) {}

void TerminalProgress::begin(std::string_view what, long total) {
  what_ = what;
  total_ = total;
  drawn_ = false;
}

bool TerminalProgress::step(long done) {
  if (shown_) {
    std::fprintf(stderr, "\r%s: %ld/%ld", what_.c_str(), done, total_);
    std::fflush(stderr);
    drawn_ = true;
  }
  return true;
}

void TerminalProgress::end() {
  if (shown_ && drawn_) std::fputc('\n', stderr);
  drawn_ = false;
}

bool checkInputFile(const std::string& path, std::string& reason) {
  // Not blocking: opening a FIFO for reading would wait for a writer forever.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    reason = "cannot open " + path + ": " + std::strerror(errno);
    return false;
  }
  struct stat st {};
  const bool regular = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
  ::close(fd);
  if (!regular) {
    reason = path + " is not a regular file";
    return false;
  }
  return true;
}

bool refuseNonRegularFile(const std::string& path, std::string& reason) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || S_ISREG(st.st_mode)) return true;
  reason = path + " is not a regular file";
  return false;
}

std::string csvField(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string q = "\"";
  for (char c : text) {
    if (c == '"') q += '"';
    q += c;
  }
  return q + "\"";
}

bool writeOut(const std::string& text) {
  return std::fwrite(text.data(), 1, text.size(), stdout) == text.size() && std::fflush(stdout) == 0;
}

int writeOutStatus(const std::string& text) {
  if (writeOut(text)) return kExitOk;
  reportFailure("cannot write the output");
  return kExitFile;
}

bool chooseDumpChannels(std::vector<int>& chosen, int count) {
  if (chosen.empty())
    for (int c = 0; c < count; ++c) chosen.push_back(c);
  for (int c : chosen) {
    if (c < 0 || c >= count) {
      reportFailure("channel " + std::to_string(c) + " does not exist: channels are 0.." + std::to_string(count - 1));
      return false;
    }
  }
  return true;
}

bool channelOptionInRange(int channel, int channelCount) {
  if (channel >= 1 && channel <= channelCount) return true;
  reportFailure("--channel " + std::to_string(channel) + " is outside 1.." + std::to_string(channelCount));
  return false;
}

int openInputAt(const std::string& path, int record, EngineInteraction& ui, OpenedInput& in) {
  std::string reason;
  if (!checkInputFile(path, reason)) {
    reportFailure(reason);
    return kExitFile;
  }
  auto s = std::make_unique<StudyState>();
  s->programDir = "./";  // where a reader looks for its lead tables
  const bool whole = foreignReaderFor(path) != 0 || extensionLower(path) == ".txt";
  if (isWfdbPath(path)) {
    if (!openWfdb(*s, path, ui)) {
      reportFailure(ui.reason(path + ": cannot be read"));
      return kExitFile;
    }
  } else if (isEdfPath(path)) {
    if (!openEdf(*s, path, edfSampleWidthFor(path), ui)) {
      reportFailure(ui.reason(path + ": cannot be read"));
      return kExitFile;
    }
  } else if (whole) {
    if (!openForeignRecord(*s, path, ui)) {
      reportFailure(ui.reason(path + ": cannot be read"));
      return kExitFile;
    }
  } else {
    RecordFileHeader h;
    std::vector<RecordInfo> records;
    std::string fault;
    if (!inspectRecordFile(path, h, records, fault, reason)) {
      reportFailure(reason);
      return kExitFile;
    }
    if (h.markChannelCount > 10) {
      reportFailure(path + " holds a saved transform result, not signals");
      return kExitFile;
    }
    if (!openRecordFile(*s, path, ui)) {
      reportFailure(path + ": " + ui.reason("not a record file (unknown signature)"));
      return kExitFile;
    }
  }
  if (!ui.messages.empty()) reportFailure(ui.reason(""));
  ui.messages.clear();
  in.state = std::move(s);
  StudyState& st = *in.state;
  const int total = st.recordCount < 0 ? 1 : std::max(1, st.recordCount);
  if (record < 1 || record > total) {
    reportFailure("--record " + std::to_string(record) + " is outside 1.." + std::to_string(total) +
                  (edfIsOpen(st) ? " (the pages of " + path + ")" : std::string()));
    return kExitUsage;
  }
  // A foreign recording is read whole into one record; there is nothing to step to.
  if (!whole && record != st.currentRecord && !gotoRecord(st, record, ui)) {
    reportFailure(path + ": " + ui.reason("record " + std::to_string(record) + " cannot be read"));
    return kExitFile;
  }
  return kExitOk;
}

}  // namespace velor::cli

namespace velor::cli {

bool inspectRecordFile(const std::string& path, RecordFileHeader& header, std::vector<RecordInfo>& records,
                       std::string& recordsFault, std::string& reason) {
  if (!checkInputFile(path, reason)) return false;
  std::string why;
  if (!readRecordFileHeader(path, header, why)) {
    reason = path + ": " + (why.empty() ? std::string("not a record file (unknown signature)") : why);
    return false;
  }
  records.clear();
  recordsFault.clear();
  if (!scanRecords(path, header, records, why)) recordsFault = path + ": " + (why.empty() ? "unsound record" : why);
  return true;
}

std::string damagedNotice(const std::string& fault, std::size_t readable) {
  return fault + "; records 1.." + std::to_string(readable) + " can be read";
}

std::string shownName(const std::string& stored) {
  std::string n = stored;
  while (!n.empty() && (n.back() == ' ' || n.back() == '\0')) n.pop_back();
  return n;
}


namespace {
// Patches a little-endian field of the output and returns to where it was.
bool patchAt(int fd, long long at, const unsigned char* bytes, std::size_t n) {
  const long long here = fdTell(fd);
  return here >= 0 && fdSeek(fd, at) && fdWriteAll(fd, bytes, n) && fdSeek(fd, here);
}
}  // namespace

int writeRecordsAsCA40(StudyState& s, EngineInteraction& ui, const std::string& out, const RecordFileHeader& h,
                       const std::vector<RecordInfo>& records, int total, const char* what,
                       const std::function<void(StudyState&)>& perRecord) {
  return writeCheckedRecordsAsCA40(s, ui, out, h, records, total, what, [&](StudyState& st) {
    if (perRecord) perRecord(st);
    return true;
  });
}

int writeCheckedRecordsAsCA40(StudyState& s, EngineInteraction& ui, const std::string& out, const RecordFileHeader& h,
                       const std::vector<RecordInfo>& records, int total, const char* what,
                       const std::function<bool(StudyState&)>& perRecord) {
  AtomicFile file(out);
  if (!file.ok()) {
    reportFailure("cannot create " + out + ": " + std::strerror(errno));
    return kExitFile;
  }
  const int fd = file.fd();
  const auto writeFailed = [&] {
    reportFailure("cannot write " + out + ": " + std::strerror(errno));
    return kExitFile;
  };

  // The writers take the layout from recordFileVersion, and the reader of the
  // open input needs its own: switch only around each write.
  const int inputVersion = s.recordFileVersion;
  s.recordFileVersion = kVersionCA40;
  bool ok = writeHeader(s, fd);
  s.recordFileVersion = inputVersion;
  if (!ok) return writeFailed();

  // The writer stamps today's date; the new file keeps the recording's own
  // (CA15 files have none, so they get today's).
  const long long dateAt = 4 + kHeaderChars + 4LL * recordFileSlots(kVersionCA40);
  unsigned char b4[4];
  if (h.version != kVersionCA15 && h.fileDate != 0) {
    putU32(b4, static_cast<std::uint32_t>(h.fileDate));
    if (!patchAt(fd, dateAt, b4, 4)) return writeFailed();
  }
  // A saved pair-transform result is flagged by a mark count above 10; the
  // reader turns that into 0, so the flag is restored here.
  if (h.markChannelCount > 10) {
    const unsigned char m = static_cast<unsigned char>(h.markChannelCount);
    const long long markCountAt = dateAt + 4 + 2 + 2 + 1 + 2;  // after date, data offset, reference x2, count, rate
    if (!patchAt(fd, markCountAt, &m, 1)) return writeFailed();
  }

  TerminalProgress progress;
  progress.begin(what, total);
  for (int k = 0; k < total; ++k) {
    if (k > 0 && !stepRecord(s, +1, ui)) {
      progress.end();
      reportFailure(s.recordFilePath + ": " + ui.reason("cannot read record " + std::to_string(k + 1)));
      return kExitFile;
    }
    // Only the samples the file really stores are carried over.
    const int savedLength = s.recordLength;
    s.recordLength = std::min(s.recordLength, s.storedLength);
    if (perRecord && !perRecord(s)) {
      // The record could not be changed: nothing is written (the old OUT stays).
      progress.end();
      s.recordLength = savedLength;
      s.recordModified = 0;
      return kExitFile;
    }
    s.recordFileVersion = kVersionCA40;
    ok = writeRecord(s, fd);
    s.recordFileVersion = inputVersion;
    s.recordLength = savedLength;
    // What changed is only in memory; moving on must not offer to write it
    // back into the input.
    s.recordModified = 0;
    // The writer stamps the clock; the record keeps the time it was recorded at.
    const std::int32_t t = records.empty()                 ? encodeTimeOfDay(s.recordTime)
                           : h.version == kVersionCA15 ? 0
                                                       : records[static_cast<std::size_t>(k)].timeField;
    putU32(b4, static_cast<std::uint32_t>(t));
    if (!ok || !fdSeekRelative(fd, -6) || !fdWriteAll(fd, b4, 4) || !fdSeekRelative(fd, 2)) {
      progress.end();
      return writeFailed();
    }
    progress.step(k + 1);
  }
  progress.end();
  if (!file.commit()) return writeFailed();
  return kExitOk;
}

int inspectSignalRecords(const std::string& path, RecordFileHeader& h, std::vector<RecordInfo>& records) {
  std::string fault, reason;
  if (!inspectRecordFile(path, h, records, fault, reason)) {
    reportFailure(reason);
    return kExitFile;
  }
  if (!fault.empty()) {
    reportFailure(fault);
    return kExitFile;
  }
  if (h.markChannelCount > 10) {
    reportFailure(path + " holds a saved transform result, not signals");
    return kExitFile;
  }
  return kExitOk;
}

bool openInputRecordFile(const std::string& path, EngineInteraction& ui, OpenedInput& in) {
  auto s = std::make_unique<StudyState>();
  if (!openRecordFile(*s, path, ui)) {
    reportFailure(path + ": " + ui.reason("not a record file (unknown signature)"));
    return false;
  }
  in.state = std::move(s);
  return true;
}

}  // namespace velor::cli
