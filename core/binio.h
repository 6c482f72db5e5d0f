// Little-endian reading and writing on POSIX descriptors, with every read
// checked against what is really there. File formats build on these.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace velor {

// Little-endian integers in a byte buffer (the caller has checked the size).
inline std::uint16_t getU16(const unsigned char* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }
inline std::int16_t getI16(const unsigned char* p) { return static_cast<std::int16_t>(getU16(p)); }
inline std::uint32_t getU32(const unsigned char* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
inline std::int32_t getI32(const unsigned char* p) { return static_cast<std::int32_t>(getU32(p)); }
inline void putU16(unsigned char* p, std::uint16_t v) {
  p[0] = static_cast<unsigned char>(v);
  p[1] = static_cast<unsigned char>(v >> 8);
}
inline void putU32(unsigned char* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
}

// A growing little-endian byte buffer for writers.
class ByteWriter {
 public:
  void u8(unsigned v) { b_.push_back(static_cast<char>(v & 0xFF)); }
  void u16(unsigned v) {
    u8(v);
    u8(v >> 8);
  }
  void i16(int v) { u16(static_cast<unsigned>(v) & 0xFFFF); }
  void u32(std::uint32_t v) {
    u16(v & 0xFFFF);
    u16(v >> 16);
  }
  void i32(std::int32_t v) { u32(static_cast<std::uint32_t>(v)); }
  void bytes(std::string_view s) { b_.append(s); }
  void zeros(std::size_t n) { b_.append(n, '\0'); }
  // Code page 1251 text cut or padded with spaces to `width` bytes.
  void text(std::string_view cp1251, std::size_t width) {
    std::string t(cp1251.substr(0, width));
    t.resize(width, ' ');
    b_.append(t);
  }
  std::size_t size() const { return b_.size(); }
  const std::string& data() const { return b_; }
  std::string& data() { return b_; }
  void patchU16(std::size_t at, unsigned v) {
    b_[at] = static_cast<char>(v & 0xFF);
    b_[at + 1] = static_cast<char>((v >> 8) & 0xFF);
  }

 private:
  std::string b_;
};

// Thin checked wrappers over POSIX calls. All return false on any failure,
// including a short read or write.
bool fdReadExact(int fd, void* buf, std::size_t n);
bool fdWriteAll(int fd, const void* buf, std::size_t n);
// Positioned reads and writes that leave the descriptor's position alone.
bool fdPreadExact(int fd, void* buf, std::size_t n, long long offset);
bool fdPwriteAll(int fd, const void* buf, std::size_t n, long long offset);
bool fdSeek(int fd, long long offset);        // absolute
bool fdSeekRelative(int fd, long long delta);  // from the current position
long long fdTell(int fd);                      // −1 on failure
long long fdSize(int fd);                      // −1 on failure
bool fdIsReadOnly(int fd);                     // opened for reading only, or not open
bool fdTruncate(int fd, long long size);

// Whole-file helpers for small files.
bool readWholeFile(const std::string& path, std::string& out, std::size_t limit = 64u << 20);
// Writes through a temporary file in the same directory and renames it into
// place, so a failed write never leaves a half-written file behind.
bool writeFileAtomically(const std::string& path, std::string_view data);

// A temporary file beside `path` that becomes `path` on commit() and is
// removed otherwise. For writers that stream more than fits in one buffer.
class AtomicFile {
 public:
  explicit AtomicFile(std::string path);
  ~AtomicFile();
  AtomicFile(const AtomicFile&) = delete;
  AtomicFile& operator=(const AtomicFile&) = delete;
  bool ok() const { return fd_ >= 0; }
  int fd() const { return fd_; }
  bool commit();  // fsync, close, rename; false (and removed) on failure
 private:
  std::string path_;
  std::string tmp_;
  int fd_ = -1;
};

// Opens a regular file for reading and writing, or read-only when writing is
// not allowed; −1 when it cannot be opened or is not a regular file.
int openRegularFileForEditing(const std::string& path);

bool fileExists(const std::string& path);
std::string baseName(const std::string& path);
std::string extensionLower(const std::string& path);  // with the dot, e.g. ".cad"
bool samePath(const std::string& a, const std::string& b);

}  // namespace velor
