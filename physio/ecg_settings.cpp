#include "physio/ecg_settings.h"

#include <cmath>
#include <vector>

#include "core/binio.h"
#include "core/numtext.h"
#include "core/settings.h"

namespace velor {

namespace {

const char* const kSettingsFile = "qecg.ini";
const char* const kBandsFile = "qecg2.ini";

std::string numberText(double v) {
  if (v == std::trunc(v) && std::fabs(v) < 1e9) return integerText(static_cast<long long>(v));
  return formatNumber(v);
}

}  // namespace

int EcgBands::count() const {
  for (int i = 0; i < kEcgBandRows; ++i)
    if (high[static_cast<std::size_t>(i)] == 0) return i;
  return kEcgBandRows;
}

EcgBands defaultEcgBands() {
  EcgBands b;
  b.low[0] = 0.003;
  b.high[0] = 0.04;
  b.low[1] = 0.04;
  b.high[1] = 0.15;
  b.low[2] = 0.15;
  b.high[2] = 0.4;
  return b;
}

EcgSettings readEcgSettings(const std::string& dir, bool* unreadable, bool writeDefaults) {
  EcgSettings s;
  const std::string path = dir + kSettingsFile;
  if (unreadable) *unreadable = false;
  if (!fileExists(path)) {
    if (writeDefaults) writeEcgSettings(dir, s);
    return s;
  }
  const auto lines = readTextLines(path);
  if (!lines) {
    if (unreadable) *unreadable = true;
    return s;
  }
  auto at = [&](std::size_t i) -> std::optional<double> {
    if (i >= lines->size()) return std::nullopt;
    return parseNumber((*lines)[i]);
  };
  bool bad = false;
  auto take = [&](std::size_t i, double& v) {
    if (auto x = at(i)) v = *x;
    else bad = true;
  };
  take(0, s.detector.halfWidthMs);
  take(1, s.detector.maxHeartRate);
  take(2, s.detector.rVariability);
  take(3, s.detector.rsVariability);
  double smooth = 0, all = 0;
  if (auto x = at(4)) smooth = *x;
  if (auto x = at(5)) all = *x;
  s.smoothingPasses = std::isfinite(smooth) && smooth >= 0 && smooth <= 5 ? static_cast<int>(smooth) : 0;
  s.allChannels = all == 1;
  if (bad && unreadable) *unreadable = true;
  return s;
}

bool writeEcgSettings(const std::string& dir, const EcgSettings& s) {
  return writeTextLines(dir + kSettingsFile,
                        {numberText(s.detector.halfWidthMs), numberText(s.detector.maxHeartRate),
                         numberText(s.detector.rVariability), numberText(s.detector.rsVariability),
                         integerText(s.smoothingPasses), s.allChannels ? "1" : "0"});
}

BeatDetectorSettings readEcgDetectorSettings(const std::string& dir) { return readEcgSettings(dir, nullptr, false).detector; }

EcgBands readEcgBands(const std::string& dir, bool* unreadable) {
  const std::string path = dir + kBandsFile;
  if (unreadable) *unreadable = false;
  if (!fileExists(path)) {
    const EcgBands b = defaultEcgBands();
    writeEcgBands(dir, b);
    return b;
  }
  const auto lines = readTextLines(path);
  if (!lines) {
    if (unreadable) *unreadable = true;
    return defaultEcgBands();
  }
  EcgBands b;
  for (int i = 0; i < 2 * kEcgBandRows; ++i) {
    double v = 0;  // an empty or unreadable cell counts as 0
    if (static_cast<std::size_t>(i) < lines->size()) {
      if (auto x = parseNumber((*lines)[static_cast<std::size_t>(i)]); x && std::isfinite(*x)) v = *x;
    }
    (i % 2 == 0 ? b.low : b.high)[static_cast<std::size_t>(i / 2)] = v;
  }
  return b;
}

bool writeEcgBands(const std::string& dir, const EcgBands& b) {
  std::vector<std::string> lines;
  for (int i = 0; i < kEcgBandRows; ++i) {
    const auto u = static_cast<std::size_t>(i);
    const bool empty = b.low[u] == 0 && b.high[u] == 0;
    lines.push_back(empty ? "" : numberText(b.low[u]));
    lines.push_back(empty ? "" : numberText(b.high[u]));
  }
  return writeTextLines(dir + kBandsFile, lines);
}

}  // namespace velor
