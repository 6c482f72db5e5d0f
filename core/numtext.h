// Number text used everywhere a value is shown or read: one place, so every
// window and file writes numbers the same way.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace velor {

// Removes leading and trailing blanks (spaces, tabs, CR, LF).
std::string trimSpaces(std::string_view s);

// Reads a real with "." or "," as the decimal separator; surrounding blanks
// are ignored. Nothing when the text is not a number.
std::optional<double> parseNumber(std::string_view s);
// Integer variant: the real, truncated towards zero; nothing when out of int range.
std::optional<int> parseInteger(std::string_view s);

// A real with `digits` significant digits and always a decimal point, never a comma.
std::string formatNumber(double v, int digits = 4);

// Blanks in front of s up to `width` characters (UTF-8 aware); never cuts.
std::string padLeft(std::string_view s, int width);

}  // namespace velor
