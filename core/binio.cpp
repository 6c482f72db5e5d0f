#include "core/binio.h"
#include "core/checked_write.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>

namespace velor {

bool fdReadExact(int fd, void* buf, std::size_t n) {
  auto* p = static_cast<char*>(buf);
  while (n > 0) {
    const ssize_t r = ::read(fd, p, n);
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) return false;
    p += r;
    n -= static_cast<std::size_t>(r);
  }
  return true;
}

bool fdWriteAll(int fd, const void* buf, std::size_t n) {
  const auto* p = static_cast<const char*>(buf);
  while (n > 0) {
    const ssize_t r = ::write(fd, p, n);
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) return false;
    p += r;
    n -= static_cast<std::size_t>(r);
  }
  return true;
}

bool fdPreadExact(int fd, void* buf, std::size_t n, long long offset) {
  auto* p = static_cast<char*>(buf);
  while (n > 0) {
    const ssize_t r = ::pread(fd, p, n, offset);
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) return false;
    p += r;
    offset += r;
    n -= static_cast<std::size_t>(r);
  }
  return true;
}

bool fdPwriteAll(int fd, const void* buf, std::size_t n, long long offset) {
  const auto* p = static_cast<const char*>(buf);
  while (n > 0) {
    const ssize_t r = ::pwrite(fd, p, n, offset);
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) return false;
    p += r;
    offset += r;
    n -= static_cast<std::size_t>(r);
  }
  return true;
}

bool fdIsReadOnly(int fd) {
  const int fl = ::fcntl(fd, F_GETFL);
  return fl < 0 || (fl & O_ACCMODE) == O_RDONLY;
}

bool fdSeek(int fd, long long offset) { return offset >= 0 && ::lseek(fd, offset, SEEK_SET) == offset; }

bool fdSeekRelative(int fd, long long delta) {
  const long long here = fdTell(fd);
  if (here < 0 || here + delta < 0) return false;
  return fdSeek(fd, here + delta);
}

long long fdTell(int fd) { return ::lseek(fd, 0, SEEK_CUR); }

long long fdSize(int fd) {
  struct stat st {};
  if (::fstat(fd, &st) != 0) return -1;
  return st.st_size;
}

bool fdTruncate(int fd, long long size) { return ::ftruncate(fd, size) == 0; }

bool readWholeFile(const std::string& path, std::string& out, std::size_t limit) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  const long long size = fdSize(fd);
  bool ok = size >= 0 && static_cast<unsigned long long>(size) <= limit;
  if (ok) {
    out.resize(static_cast<std::size_t>(size));
    ok = fdReadExact(fd, out.data(), out.size());
  }
  ::close(fd);
  return ok;
}

namespace {

// A writer killed before it could commit or clean up (SIGKILL, power loss)
// leaves its full-size temporary beside the target. The next write to that
// target removes such leftovers: only regular files named exactly as our
// temporaries for this target (".tmp" and eight hex digits) that nobody has
// written to for a minute, so a write still in progress is left alone.
void removeStaleTemporaries(const std::string& target) {
  namespace fs = std::filesystem;
  const fs::path t(target);
  const std::string prefix = t.filename().string() + ".tmp";
  if (t.filename().empty()) return;
  const fs::path folder = t.parent_path().empty() ? fs::path(".") : t.parent_path();
  std::error_code ec;
  fs::directory_iterator it(folder, ec);
  if (ec) return;
  const auto now = fs::file_time_type::clock::now();
  for (; it != fs::directory_iterator(); it.increment(ec)) {
    if (ec) return;
    const std::string name = it->path().filename().string();
    if (name.size() != prefix.size() + 8 || name.compare(0, prefix.size(), prefix) != 0) continue;
    if (!std::all_of(name.begin() + static_cast<std::ptrdiff_t>(prefix.size()), name.end(),
                     [](unsigned char c) { return std::isxdigit(c) != 0 && !std::isupper(c); }))
      continue;
    std::error_code e;
    if (!it->is_regular_file(e) || it->is_symlink(e)) continue;
    const auto written = fs::last_write_time(it->path(), e);
    if (e || now - written < std::chrono::minutes(1)) continue;
    fs::remove(it->path(), e);
  }
}

}  // namespace

AtomicFile::AtomicFile(std::string path) : path_(std::move(path)) {
  removeStaleTemporaries(path_);
  std::random_device rd;
  for (int attempt = 0; attempt < 8 && fd_ < 0; ++attempt) {
    char suffix[32];
    std::snprintf(suffix, sizeof suffix, ".tmp%08x", static_cast<unsigned>(rd()));
    tmp_ = path_ + suffix;
    fd_ = ::open(tmp_.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  }
}

AtomicFile::~AtomicFile() {
  if (fd_ >= 0) {
    ::close(fd_);
    ::unlink(tmp_.c_str());
  }
}

bool AtomicFile::commit() {
  if (fd_ < 0) return false;
  bool ok = ::fsync(fd_) == 0;
  ok = (::close(fd_) == 0) && ok;
  fd_ = -1;
  if (ok) ok = ::rename(tmp_.c_str(), path_.c_str()) == 0;
  if (!ok) ::unlink(tmp_.c_str());
  return ok;
}

bool writeFileAtomically(const std::string& path, std::string_view data) {
  AtomicFile f(path);
  if (!f.ok() || !fdWriteAll(f.fd(), data.data(), data.size())) return false;
  return f.commit();
}

bool writeFileAtomically(const std::string& path, std::string_view data, std::string& reason) {
  errno = 0;
  if (writeFileAtomically(path, data)) return true;
  const int err = errno;
  const std::filesystem::path folder = std::filesystem::path(path).parent_path();
  std::error_code ec;
  if (!folder.empty() && !std::filesystem::is_directory(folder, ec))
    reason = "the folder " + folder.string() + " does not exist";
  else
    reason = err != 0 ? std::strerror(err) : "the file cannot be written";
  return false;
}

int openRegularFileForEditing(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
  if (fd < 0 && (errno == EACCES || errno == EROFS || errno == EPERM)) fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return -1;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return -1;
  }
  return fd;
}

bool fileExists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string baseName(const std::string& path) {
  const auto p = path.find_last_of("/\\");
  return p == std::string::npos ? path : path.substr(p + 1);
}

std::string extensionLower(const std::string& path) {
  const std::string b = baseName(path);
  const auto p = b.rfind('.');
  if (p == std::string::npos) return {};
  std::string e = b.substr(p);
  for (char& c : e) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return e;
}

bool samePath(const std::string& a, const std::string& b) {
  std::error_code ec;
  if (std::filesystem::equivalent(a, b, ec)) return true;
  return std::filesystem::weakly_canonical(a, ec) == std::filesystem::weakly_canonical(b, ec);
}

}  // namespace velor
