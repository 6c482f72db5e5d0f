#include "core/numtext.h"

#include <cmath>
#include <cstdio>
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
  // only plain decimal notation with an optional exponent
  for (char c : t)
    if (!((c >= '0' && c <= '9') || c == '.' || c == '-' || c == '+' || c == 'e' || c == 'E')) return std::nullopt;
  char* end = nullptr;
  const double v = std::strtod(t.c_str(), &end);
  if (end != t.c_str() + t.size() || !std::isfinite(v)) return std::nullopt;
  return v;
}

std::optional<int> parseInteger(std::string_view s) {
  const auto v = parseNumber(s);
  if (!v) return std::nullopt;
  const double t = std::trunc(*v);
  if (t < std::numeric_limits<int>::min() || t > std::numeric_limits<int>::max()) return std::nullopt;
  return static_cast<int>(t);
}

std::string formatNumber(double v, int digits) {
  if (!std::isfinite(v)) return std::isnan(v) ? "nan" : (v > 0 ? "inf" : "-inf");
  if (digits < 1) digits = 1;
  if (digits > 17) digits = 17;
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.*g", digits, v);
  std::string r = buf;
  const bool hasExp = r.find('e') != std::string::npos;
  if (r.find('.') == std::string::npos) {
    if (hasExp) {
      r.insert(r.find('e'), ".");
    } else {
      r += '.';
    }
  }
  return r;
}

std::string padLeft(std::string_view s, int width) {
  const int n = static_cast<int>(utf8Length(s));
  if (n >= width) return std::string(s);
  return std::string(static_cast<std::size_t>(width - n), ' ') + std::string(s);
}

}  // namespace velor
