#include "test_support.h"

#include <sys/types.h>
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

StudySnapshot::StudySnapshot(const StudyState& s)
    : fd(s.recordFileHandle),
      version(s.recordFileVersion),
      current(s.currentRecord),
      count(s.recordCount),
      channelCount(s.channelCount),
      marks(s.markChannelCount),
      length(s.recordLength),
      stored(s.storedLength),
      rate(s.sampleRate),
      modified(s.recordModified),
      cursor(s.cursorPos),
      anchor(s.selectionAnchor),
      viewStart(s.viewStart),
      filePosition(s.recordFileHandle >= 0 ? ::lseek(s.recordFileHandle, 0, SEEK_CUR) : -1),
      fileName(s.recordFileName),
      header(s.examHeader) {
  for (int c = 0; c < kMaxChannels; ++c) {
    names.push_back(s.channelNames[static_cast<std::size_t>(c)]);
    calibration.push_back(s.zeroLevel[c]);
    calibration.push_back(s.calibUnits[c]);
    calibration.push_back(s.calibValue[c]);
    const std::int16_t* d = s.channelData[static_cast<std::size_t>(c)];
    channels.emplace_back(d, d + kMaxSamples);
  }
  mark.assign(s.markChannel, s.markChannel + kMaxSamples);
}

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
