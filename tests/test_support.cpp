#include "test_support.h"

#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace velor::test {

namespace fs = std::filesystem;

TempDir::TempDir() {
  static std::atomic<int> counter{0};
  const auto base = fs::temp_directory_path();
  for (;;) {
    const auto p = base / ("velor-test-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
    std::error_code ec;
    if (fs::create_directory(p, ec)) {
      path_ = p.string();
      return;
    }
  }
}

TempDir::~TempDir() {
  std::error_code ec;
  fs::remove_all(path_, ec);
}

std::string readBytes(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::stringstream ss;
  ss << f.rdbuf();
  return ss.str();
}

void writeBytes(const std::string& path, std::string_view bytes) {
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string sharedData(std::string_view relative) {
#ifdef VELOR_SOURCE_DIR
  const fs::path p = fs::path(VELOR_SOURCE_DIR) / ".." / "shared" / "data" / fs::path(std::string(relative));
  std::error_code ec;
  if (fs::exists(p, ec)) return p.lexically_normal().string();
#endif
  return {};
}

int runCommand(const std::string& commandLine, std::string* out, std::string* err) {
  TempDir dir;
  const std::string o = dir.file("out"), e = dir.file("err");
  const std::string cmd = commandLine + " >" + o + " 2>" + e + " </dev/null";
  const int status = std::system(cmd.c_str());
  if (out) *out = readBytes(o);
  if (err) *err = readBytes(e);
  if (status == -1) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

}  // namespace velor::test
