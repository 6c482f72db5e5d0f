// Helpers shared by the tests: a private temporary directory per test (tests
// run in parallel), file bytes, and paths to the shared recordings.
#pragma once

#include <string>
#include <string_view>

namespace velor::test {

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
