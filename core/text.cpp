#include "core/text.h"

#include <array>
#include <cstdint>

namespace velor {

namespace {
// Code points of bytes 0x80..0xBF; 0xC0..0xFF are U+0410..U+044F in order.
// 0x98 is unassigned in the code page and maps to U+0098 so that it survives a round trip.
constexpr std::array<char32_t, 64> kHigh = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, 0x20AC, 0x2030, 0x0409, 0x2039,
    0x040A, 0x040C, 0x040B, 0x040F, 0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x0098, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, 0x00A0, 0x040E, 0x045E, 0x0408,
    0x00A4, 0x0490, 0x00A6, 0x00A7, 0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407,
    0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7, 0x0451, 0x2116, 0x0454, 0x00BB,
    0x0458, 0x0405, 0x0455, 0x0457
};

char32_t decodeByte(unsigned char b) {
  if (b < 0x80) return b;
  if (b >= 0xC0) return 0x0410 + (b - 0xC0);
  return kHigh[b - 0x80];
}

int encodeCodePoint(char32_t cp) {
  if (cp < 0x80) return static_cast<int>(cp);
  if (cp >= 0x0410 && cp <= 0x044F) return static_cast<int>(0xC0 + (cp - 0x0410));
  for (std::size_t i = 0; i < kHigh.size(); ++i)
    if (kHigh[i] == cp) return static_cast<int>(0x80 + i);
  return -1;
}

void appendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

// Length in bytes of the UTF-8 sequence at s[i], or 0 when malformed.
std::size_t sequenceLength(std::string_view s, std::size_t i, char32_t* cp) {
  const auto b0 = static_cast<unsigned char>(s[i]);
  std::size_t n;
  char32_t v;
  if (b0 < 0x80) {
    if (cp) *cp = b0;
    return 1;
  } else if ((b0 & 0xE0) == 0xC0) {
    n = 2;
    v = b0 & 0x1F;
  } else if ((b0 & 0xF0) == 0xE0) {
    n = 3;
    v = b0 & 0x0F;
  } else if ((b0 & 0xF8) == 0xF0) {
    n = 4;
    v = b0 & 0x07;
  } else {
    return 0;
  }
  if (i + n > s.size()) return 0;
  for (std::size_t k = 1; k < n; ++k) {
    const auto b = static_cast<unsigned char>(s[i + k]);
    if ((b & 0xC0) != 0x80) return 0;
    v = (v << 6) | (b & 0x3F);
  }
  if ((n == 2 && v < 0x80) || (n == 3 && v < 0x800) || (n == 4 && (v < 0x10000 || v > 0x10FFFF))) return 0;
  if (cp) *cp = v;
  return n;
}

// Byte offset of character number index (or s.size() past the end).
std::size_t byteOffset(std::string_view s, std::size_t index) {
  std::size_t i = 0;
  while (index > 0 && i < s.size()) {
    const std::size_t n = sequenceLength(s, i, nullptr);
    i += n == 0 ? 1 : n;
    --index;
  }
  return i;
}
}  // namespace

std::string cp1251ToUtf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size() * 2);
  for (char c : bytes) appendUtf8(out, decodeByte(static_cast<unsigned char>(c)));
  return out;
}

std::string utf8ToCp1251(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    char32_t cp = 0;
    const std::size_t n = sequenceLength(text, i, &cp);
    if (n == 0) {
      out += '?';
      ++i;
      continue;
    }
    const int b = encodeCodePoint(cp);
    out += b < 0 ? '?' : static_cast<char>(b);
    i += n;
  }
  return out;
}

std::size_t utf8Length(std::string_view text) {
  std::size_t count = 0;
  for (std::size_t i = 0; i < text.size(); ++count) {
    const std::size_t n = sequenceLength(text, i, nullptr);
    i += n == 0 ? 1 : n;
  }
  return count;
}

std::string utf8Substr(std::string_view text, std::size_t start, std::size_t count) {
  const std::size_t a = byteOffset(text, start);
  if (count == std::string_view::npos) return std::string(text.substr(a));
  const std::size_t b = a + byteOffset(text.substr(a), count);
  return std::string(text.substr(a, b - a));
}

std::string utf8Fit(std::string_view text, std::size_t width) {
  std::string r = utf8Substr(text, 0, width);
  const std::size_t n = utf8Length(r);
  if (n < width) r.append(width - n, ' ');
  return r;
}

void utf8PutField(std::string& line, std::size_t start, std::size_t width, std::string_view field) {
  const std::size_t len = utf8Length(line);
  if (len < start + width) line.append(start + width - len, ' ');
  const std::size_t a = byteOffset(line, start);
  const std::size_t b = a + byteOffset(std::string_view(line).substr(a), width);
  line.replace(a, b - a, utf8Fit(field, width));
}

}  // namespace velor
