// Number text used everywhere a value is shown or read: one place, so every
// window and file writes numbers the same way. None of these depend on the
// process locale (a Russian desktop would otherwise turn points into commas).
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace velor {

// Significant digits of formatNumber unless a caller asks for others.
inline constexpr int kNumberDigits = 4;

// Removes leading and trailing blanks (spaces, tabs, CR, LF).
std::string trimSpaces(std::string_view s);

// Reads a real with "." or "," as the decimal separator and an optional
// exponent ("1.5E-7", as formatNumber writes it); surrounding blanks are
// ignored. Nothing when the text is not one finite number.
std::optional<double> parseNumber(std::string_view s);
// Integer variant: the real, truncated towards zero; nothing when it is not a
// number or lies outside the int range.
std::optional<int> parseInteger(std::string_view s);

// A real in general format with `digits` significant digits: fixed notation
// when the rounded value needs at most `digits` integer digits and is not
// smaller than 0.00001 in magnitude, scientific otherwise ("1.235E5",
// "1E-6"); trailing zeros dropped, so a whole number has no point ("5");
// the decimal separator is always a point. Rounding is half away from zero
// on the decimal value. "NAN", "INF", "-INF" for values that are none.
std::string formatNumber(double v, int digits = kNumberDigits);

// A whole number in decimal, as messages and file layouts write counts and sizes.
std::string integerText(long long v);

// Blanks in front of s up to `width` characters (UTF-8 aware); never cuts.
std::string padLeft(std::string_view s, int width);

}  // namespace velor
