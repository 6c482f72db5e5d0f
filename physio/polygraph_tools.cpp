#include "physio/polygraph_tools.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>

#include "core/binio.h"
#include "core/numtext.h"
#include "core/settings.h"
#include "core/study_state.h"
#include "physio/polygraph_texts.h"

namespace velor {

std::optional<std::array<std::string, kDigitalInputs>> readDigitalInputNames(const std::string& dir) {
  const auto lines = readTextLines(dir + kPoliDioFile);
  if (!lines) return std::nullopt;
  std::array<std::string, kDigitalInputs> names;
  for (int b = 0; b < kDigitalInputs; ++b)
    names[static_cast<std::size_t>(b)] = static_cast<std::size_t>(b) < lines->size()
                                             ? trimSpaces((*lines)[static_cast<std::size_t>(b)])
                                             : kPoliDefaultInputName + std::to_string(b);
  return names;
}

std::string digitalInputText(const std::array<std::string, kDigitalInputs>& names, int value) {
  std::string text;
  for (int b = 0; b < kDigitalInputs; ++b) {
    const std::string& n = names[static_cast<std::size_t>(b)];
    if (!(value & (1 << b)) || n.empty()) continue;
    if (!text.empty()) text += "\r\n";
    text += n;
  }
  return text;
}

std::optional<std::string> digitalInputsAtCursor(const StudyState& s) {
  if (s.markChannelCount == 0 || !s.markChannel || s.cursorPos < 0 || s.cursorPos >= s.recordLength)
    return std::nullopt;
  const auto names = readDigitalInputNames(s.programDir);
  if (!names) return std::nullopt;
  return digitalInputText(*names, s.markChannel[s.cursorPos] & 0xFFFF);
}

PolygraphSettings readPolygraphSettings(const std::string& dir, bool* unreadable) {
  PolygraphSettings st;
  if (unreadable) *unreadable = false;
  const auto lines = readTextLines(dir + kPoliSettingsFile);
  if (!lines || lines->size() < 10) {
    if (unreadable) *unreadable = true;
    if (!lines) return st;
  }
  const auto at = [&](std::size_t i) -> const std::string* { return i < lines->size() ? &(*lines)[i] : nullptr; };
  const auto text = [&](std::size_t i, std::string& v) {
    if (const std::string* l = at(i)) v = *l;
  };
  const auto integer = [&](std::size_t i, int& v) {
    if (const std::string* l = at(i))
      if (const auto x = parseInteger(trimSpaces(*l))) v = *x;
  };
  const auto box = [&](std::size_t i, bool& v) {
    if (const std::string* l = at(i)) v = *l != "0";
  };
  text(0, st.tolerancePercent);
  text(1, st.deadTimeSeconds);
  integer(2, st.referenceDuration);
  integer(3, st.referenceAmplitude);
  box(4, st.extraction);
  box(5, st.allRecords);
  box(6, st.inHertz);
  text(7, st.minMs);
  text(8, st.maxMs);
  text(9, st.bins);
  return st;
}

bool writePolygraphSettings(const std::string& dir, const PolygraphSettings& st) {
  return writeTextLines(dir + kPoliSettingsFile,
                        {st.tolerancePercent, st.deadTimeSeconds, integerText(st.referenceDuration),
                         integerText(st.referenceAmplitude), st.extraction ? "1" : "0", st.allRecords ? "1" : "0",
                         st.inHertz ? "1" : "0", st.minMs, st.maxMs, st.bins});
}

bool markExtremes(StudyState& s, int channel, ExtremeKind kind, PolygraphSettings& settings, ExtremeMarking& out,
                  std::string& message) {
  out = {};
  const int L = s.recordLength;
  if (channel < 0 || channel >= s.channelCount || !s.channelData[static_cast<std::size_t>(channel)] || L < 2) {
    message = kPoliBadChannel;
    return false;
  }
  std::int16_t* x = s.channelData[static_cast<std::size_t>(channel)];
  int Rt = settings.referenceDuration, Ra = settings.referenceAmplitude;
  const bool selection = s.selectionAnchor >= 0 && s.selectionAnchor != s.cursorPos &&
                         s.selectionAnchor < L && s.cursorPos >= 0 && s.cursorPos < L;
  if (selection) {
    Rt = std::abs(s.cursorPos - s.selectionAnchor);
    Ra = std::abs(x[s.cursorPos] - x[s.selectionAnchor]);
  }
  if (Rt <= 0) {
    message = kPoliNoReference;
    return false;
  }
  settings.referenceDuration = Rt;
  settings.referenceAmplitude = Ra;
  out.referenceDuration = Rt;
  out.referenceAmplitude = Ra;
  const double p = std::clamp(parseNumber(trimSpaces(settings.tolerancePercent)).value_or(0) / 100, 0.0, 1.0);
  const double deadSeconds = parseNumber(trimSpaces(settings.deadTimeSeconds)).value_or(0);
  const long aLo = static_cast<long>(std::trunc((1 - p) * Ra)), aHi = static_cast<long>(std::trunc((1 + p) * Ra));
  const long tLo = static_cast<long>(std::trunc((1 - p) * Rt)), tHi = static_cast<long>(std::trunc((1 + p) * Rt));
  const double deadRaw = std::trunc(s.sampleRate * std::max(0.0, deadSeconds));
  const long D = deadRaw > L ? L + 1L : static_cast<long>(deadRaw);
  const bool extraction = settings.extraction;
  const std::int16_t zero = static_cast<std::int16_t>(s.zeroLevel[static_cast<std::size_t>(channel)]);
  s.recordModified = 1;
  // every sample is read before anything is written at or after it; values
  // written back lie at or before the sample being read
  std::int16_t u = x[0];
  if (extraction) x[0] = zero;
  bool down = false;
  std::int16_t w = u;  // last extreme: value and position
  int a = 0;
  long lastMark = -D;  // the first extreme is not held back
  for (int i = 1; i < L; ++i) {
    const std::int16_t v = x[i];
    if (extraction) x[i] = zero;
    if (i == 1) {
      down = v < u;
      w = u;
      a = 0;
    } else if ((down && u < v) || (!down && v < u)) {
      down = !down;
      const long E = std::abs(u - w);
      const long T = (i - 1) - a;
      if (E >= aLo && E <= aHi && T >= tLo && T <= tHi && i - lastMark >= D) {
        const bool uHigher = u > w;
        if (kind == ExtremeKind::Maxima || kind == ExtremeKind::Both) {
          if (uHigher) x[i - 1] = u;
          else x[a] = w;
        }
        if (kind == ExtremeKind::Minima || kind == ExtremeKind::Both) {
          if (uHigher) x[a] = w;
          else x[i - 1] = u;
        }
        lastMark = i;
        if (!extraction) x[i] = kMarkCode;
        ++out.accepted;
      }
      w = u;
      a = i - 1;
    }
    u = v;
  }
  return true;
}

}  // namespace velor
