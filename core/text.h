// Text inside the program is UTF-8; files carry code page 1251. These are the
// only conversions between the two, and the character-width helpers that the
// fixed-width fields of the file formats need.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace velor {

// Code page 1251 bytes to UTF-8. Every byte maps to one character.
std::string cp1251ToUtf8(std::string_view bytes);
// UTF-8 to code page 1251; characters the code page lacks, and malformed
// UTF-8 sequences, become '?'.
std::string utf8ToCp1251(std::string_view text);

// Number of characters (code points) in UTF-8 text; a malformed byte counts as one.
std::size_t utf8Length(std::string_view text);
// Characters [start, start + count) of UTF-8 text.
std::string utf8Substr(std::string_view text, std::size_t start, std::size_t count = std::string_view::npos);
// Cut or pad with spaces to exactly `width` characters.
std::string utf8Fit(std::string_view text, std::size_t width);
// Replace characters [start, start + width) of `line` by `field` fitted to width,
// padding `line` with spaces first when it is shorter.
void utf8PutField(std::string& line, std::size_t start, std::size_t width, std::string_view field);

}  // namespace velor
