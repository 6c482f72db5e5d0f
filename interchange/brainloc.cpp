#include "interchange/brainloc.h"

#include <algorithm>
#include <cmath>

#include "core/binio.h"
#include "core/numtext.h"
#include "core/settings.h"
#include "core/text.h"

namespace velor {

std::vector<BrainLocSite> readBrainLocTable(const std::string& path) {
  std::vector<BrainLocSite> sites;
  const auto lines = readTextLines(path);
  if (!lines) return sites;
  for (std::size_t i = 0; i < lines->size() && i < kBrainLocTableLines; ++i) {
    const std::string& l = (*lines)[i];
    BrainLocSite site;
    const auto x = parseNumber(utf8Substr(l, 5, 3));
    const auto y = parseNumber(utf8Substr(l, 11, 3));
    const auto z = parseNumber(utf8Substr(l, 17, 3));
    if (x && y && z) {
      site.name = trimSpaces(utf8Substr(l, 0, 3));
      // three columns hold at most three digits, so these stay small
      site.xyz = {static_cast<int>(std::trunc(*x)), static_cast<int>(std::trunc(*y)), static_cast<int>(std::trunc(*z))};
    }
    sites.push_back(std::move(site));
  }
  return sites;
}

std::array<int, 3> brainLocSchemeCoordinates(int posX, int posY) {
  const double dx = 31.0 - posX;
  const double dy = 31.0 - posY;
  const double phi = std::atan2(dx, 1.25 * dy);
  const double rho = 0.05 * std::sqrt(dy * dy + dx * dx);
  const double r1 = 1.0 / std::sqrt(std::pow(std::cos(phi) / 100.0, 2) + std::pow(std::sin(phi) / 80.0, 2));
  const double r = 1.0 / std::sqrt(std::pow(std::cos(rho) / 86.0, 2) + std::pow(std::sin(rho) / r1, 2));
  return {static_cast<int>(std::trunc(r * std::sin(rho) * std::cos(phi))),
          static_cast<int>(std::trunc(r * std::sin(rho) * std::sin(phi))),
          static_cast<int>(std::trunc(r * std::cos(rho) + 34.0))};
}

namespace {

int clamp16(long long v) { return static_cast<int>(std::clamp<long long>(v, -32768, 32767)); }

// A text field of the header: code page 1251, cut or padded with blanks.
void field(ByteWriter& w, std::string_view utf8, std::size_t width) { w.text(utf8ToCp1251(utf8), width); }

}  // namespace

std::string brainLocBytes(const StudyState& s, const std::vector<BrainLocSite>& table) {
  if (s.viewMode == ViewMode::Transform) return {};
  std::vector<int> eeg;
  for (int c = 0; c < std::clamp(s.channelCount, 0, kMaxChannels); ++c)
    if (s.channelPosX[static_cast<std::size_t>(c)] < 128) eeg.push_back(c);
  const int e = static_cast<int>(eeg.size());

  // The samples: without a selection all but the last; with one, from its
  // start for as many samples as it spans, kept inside the record.
  const int length = std::clamp(s.recordLength, 0, kMaxSamples);
  int first = 0;
  int count = std::max(0, length - 1);
  if (s.selectionAnchor >= 0) {
    first = std::clamp(std::min(s.cursorPos, s.selectionAnchor), 0, length);
    count = std::clamp(std::abs(s.cursorPos - s.selectionAnchor), 0, length - first);
  }

  ByteWriter w;
  w.u8(15);
  w.bytes("BL");
  w.u8(4);
  w.i16(2);
  w.i16(0);  // sample offset, filled in below
  w.i16(e);
  w.i16(e + 3);
  w.i32(count);
  const int rate = std::max(1, s.sampleRate);
  w.i32(static_cast<std::int32_t>(1000000 / rate));
  w.u8(0);
  const std::string& h = s.examHeader;
  field(w, utf8Substr(h, 60, 30), 40);
  field(w, utf8Substr(h, 108, 1), 1);
  field(w, utf8Substr(h, 98, 4), 4);
  field(w, utf8Substr(h, 109, 30), 40);
  field(w, utf8Substr(formatNumber(s.recordDate), 0, 8), 8);
  field(w, utf8Substr(formatNumber(s.recordTime), 0, 8), 8);
  field(w, "10-20", 40);

  for (int c : eeg) {
    const std::string name = trimSpaces(s.channelNames[static_cast<std::size_t>(c)]);
    std::array<int, 3> xyz{};
    bool found = false;
    for (const BrainLocSite& site : table) {
      if (!site.name.empty() && site.name == name) {
        xyz = site.xyz;
        found = true;
        break;
      }
    }
    if (!found)
      xyz = brainLocSchemeCoordinates(s.channelPosX[static_cast<std::size_t>(c)],
                                      s.channelPosY[static_cast<std::size_t>(c)]);
    w.u8(0);
    field(w, utf8Substr(s.channelNames[static_cast<std::size_t>(c)], 0, 3), 3);
    for (int v : xyz) w.i16(clamp16(v));
  }
  const auto site = [&w](int type, std::string_view name, int x, int y, int z) {
    w.u8(static_cast<unsigned>(type));
    w.bytes(name);
    w.i16(x);
    w.i16(y);
    w.i16(z);
  };
  site(0, "A1 ", 0, 70, -15);
  site(0, "A2 ", 0, -70, -15);
  site(2, "AA ", e, e + 1, e + 1);
  for (int k = 0; k < e; ++k) {
    const int c = eeg[static_cast<std::size_t>(k)];
    const double value = std::max<int>(1, s.calibValue[c]);
    w.i16(clamp16(static_cast<long long>(std::trunc(s.calibUnits[c] / value * 100.0))));
    w.i16(0);
    w.u8(static_cast<unsigned>(k));
    w.u8(static_cast<unsigned>(e + 2));
  }
  w.patchU16(6, static_cast<unsigned>(w.size()));
  for (int i = first; i < first + count; ++i)
    for (int c : eeg) w.i16(clamp16(static_cast<long long>(s.channelData[static_cast<std::size_t>(c)][i]) - s.zeroLevel[c]));
  return std::move(w.data());
}

bool writeBrainLoc(StudyState& s, const std::string& path, Interaction& ui) {
  if (s.viewMode == ViewMode::Transform) return false;
  const std::string bytes = brainLocBytes(s, readBrainLocTable(s.programDir + "BL.ini"));
  if (!writeFileAtomically(path, bytes)) {
    ui.message("Файл " + baseName(path) + " не записан.");
    return false;
  }
  return true;
}

}  // namespace velor
