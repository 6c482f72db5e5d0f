// Helpers shared by the tests: a private temporary directory per test (tests
// run in parallel), file bytes, and paths to the shared recordings.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "core/study_modes.h"
#include "core/study_state.h"

namespace velor {

// Modes and kinds read as their numbers in failure messages and traces.
inline std::ostream& operator<<(std::ostream& o, ViewMode m) { return o << toNumber(m); }
inline std::ostream& operator<<(std::ostream& o, TransformKind k) { return o << toNumber(k); }

}  // namespace velor

namespace velor::test {

// What a refused operation must leave as it was: the open file (descriptor,
// position, name, format), the record's shape, channel table, header, view
// and every sample of every channel buffer. Compare two with ==.
struct StudySnapshot {
  explicit StudySnapshot(const StudyState& s);
  bool operator==(const StudySnapshot&) const = default;

  int fd, version, current, count, channelCount, marks, length, stored, rate, modified;
  int cursor, anchor, viewStart;
  long long filePosition;
  std::string fileName, header;
  std::vector<std::string> names;
  std::vector<std::uint16_t> calibration;
  std::vector<std::vector<std::int16_t>> channels;  // every channel buffer, whole
  std::vector<std::int16_t> mark;
};

// A fresh empty directory, removed when the object goes away.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  std::string file(std::string_view name) const { return path_ + "/" + std::string(name); }

 private:
  std::string path_;
};

std::string readBytes(const std::string& path);
void writeBytes(const std::string& path, std::string_view bytes);

// Path of a file under ../shared/data relative to the project root, or "" when
// that folder is not there (the test then skips).
std::string sharedData(std::string_view relative);

// Runs a command line, capturing stdout and stderr; returns the exit status.
int runCommand(const std::string& commandLine, std::string* out, std::string* err);

}  // namespace velor::test
