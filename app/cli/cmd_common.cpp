#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "app/cli/commands.h"

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
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
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

std::string shownName(const std::string& stored) {
  std::string n = stored;
  while (!n.empty() && (n.back() == ' ' || n.back() == '\0')) n.pop_back();
  return n;
}

}  // namespace velor::cli
