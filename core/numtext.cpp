#include "core/numtext.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>

#include "core/text.h"

namespace velor {

std::string trimSpaces(std::string_view s) {
  auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  std::size_t a = 0, b = s.size();
  while (a < b && blank(s[a])) ++a;
  while (b > a && blank(s[b - 1])) --b;
  return std::string(s.substr(a, b - a));
}

std::optional<double> parseNumber(std::string_view s) {
  std::string t = trimSpaces(s);
  if (t.empty() || t.size() > 64) return std::nullopt;
  for (char& c : t)
    if (c == ',') c = '.';
  // Plain decimal notation with an optional exponent: from_chars alone would
  // also take "inf", "nan" and hexadecimal forms.
  for (char c : t)
    if (!((c >= '0' && c <= '9') || c == '.' || c == '-' || c == '+' || c == 'e' || c == 'E')) return std::nullopt;
  std::size_t start = 0;
  if (t[0] == '+') start = 1;  // from_chars takes only a minus sign
  if (start < t.size() && (t[start] == '+' || (start == 1 && t[start] == '-'))) return std::nullopt;
  double v = 0;
  const char* first = t.data() + start;
  const char* last = t.data() + t.size();
  const auto [ptr, ec] = std::from_chars(first, last, v, std::chars_format::general);
  if (ec != std::errc() || ptr != last || !std::isfinite(v)) return std::nullopt;
  return v;
}

std::optional<int> parseInteger(std::string_view s) {
  const auto v = parseNumber(s);
  if (!v) return std::nullopt;
  const double t = std::trunc(*v);
  if (t < std::numeric_limits<int>::min() || t > std::numeric_limits<int>::max()) return std::nullopt;
  return static_cast<int>(t);
}

namespace {

// The decimal digits of |v| rounded half away from zero to `digits`
// significant digits, and the power of ten of the first of them.
struct Decimal {
  std::string digits;  // exactly `digits` characters, first one not '0'
  int exponent = 0;    // value = d.ddd × 10^exponent
};

Decimal roundDecimal(double v, int digits) {
  // 17 significant digits identify a double exactly; rounding those in
  // decimal gives the half-away-from-zero result on the decimal value.
  char buf[64];
  const auto res = std::to_chars(buf, buf + sizeof buf, std::fabs(v), std::chars_format::scientific, 16);
  const std::string_view text(buf, static_cast<std::size_t>(res.ptr - buf));
  const auto e = text.find('e');
  std::string all;
  for (char c : text.substr(0, e))
    if (c != '.') all += c;
  int exponent = std::atoi(std::string(text.substr(e + 1)).c_str());
  std::string kept = all.substr(0, static_cast<std::size_t>(digits));
  if (all[static_cast<std::size_t>(digits)] >= '5') {
    int i = digits - 1;
    while (i >= 0 && kept[static_cast<std::size_t>(i)] == '9') kept[static_cast<std::size_t>(i--)] = '0';
    if (i >= 0) {
      ++kept[static_cast<std::size_t>(i)];
    } else {  // 9.999 became 10.00
      kept.insert(kept.begin(), '1');
      kept.pop_back();
      ++exponent;
    }
  }
  return {kept, exponent};
}

}  // namespace

std::string formatNumber(double v, int digits) {
  if (std::isnan(v)) return "NAN";
  if (std::isinf(v)) return v > 0 ? "INF" : "-INF";
  if (v == 0) return "0";
  if (digits < 1) digits = 1;
  if (digits > 15) digits = 15;
  Decimal d = roundDecimal(v, digits);
  while (d.digits.size() > 1 && d.digits.back() == '0') d.digits.pop_back();
  const std::string sign = v < 0 ? "-" : "";
  const int n = static_cast<int>(d.digits.size());
  // Fixed notation for at most `digits` integer digits and at least 0.00001.
  if (d.exponent < digits && d.exponent >= -5) {
    std::string r;
    if (d.exponent < 0) {
      r = "0." + std::string(static_cast<std::size_t>(-d.exponent - 1), '0') + d.digits;
    } else if (n <= d.exponent + 1) {
      r = d.digits + std::string(static_cast<std::size_t>(d.exponent + 1 - n), '0');
    } else {
      r = d.digits.substr(0, static_cast<std::size_t>(d.exponent + 1)) + "." +
          d.digits.substr(static_cast<std::size_t>(d.exponent + 1));
    }
    return sign + r;
  }
  std::string r = d.digits.substr(0, 1);
  if (n > 1) r += "." + d.digits.substr(1);
  return sign + r + "E" + std::to_string(d.exponent);
}

std::string padLeft(std::string_view s, int width) {
  const int n = static_cast<int>(utf8Length(s));
  if (n >= width) return std::string(s);
  return std::string(static_cast<std::size_t>(width - n), ' ') + std::string(s);
}

std::string integerText(long long v) { return std::to_string(v); }

}  // namespace velor
