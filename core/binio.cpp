#include "core/binio.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
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

AtomicFile::AtomicFile(std::string path) : path_(std::move(path)) {
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
