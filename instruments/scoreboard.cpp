#include "instruments/scoreboard.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>

#include "core/numtext.h"
#include "instruments/scoreboard_texts.h"
#include "viewer/monitor.h"

namespace velor {

namespace {

using namespace scoreboard_text;

// An integer readout of a real: truncated towards zero; "" when the value
// is not one a readout can show.
std::string integerText(double v) {
  if (!std::isfinite(v) || std::fabs(v) >= 9.0e15) return {};
  return std::to_string(static_cast<long long>(std::trunc(v)));
}

std::string hexByte(int v) {
  char buf[4];
  std::snprintf(buf, sizeof buf, "%02X", v & 0xFF);
  return buf;
}

// The band limits "lo-hi" of a row of the band table.
std::string bandLimits(const StudyState& s, int band) {
  if (band < 0 || band >= kBandRows) return {};
  const BandRow& row = s.bandTable[static_cast<std::size_t>(band)];
  auto limit = [](const std::string& cell) {
    const auto v = parseNumber(cell);
    return v ? formatNumber(*v) : trimSpaces(cell);
  };
  return limit(row.low) + "-" + limit(row.high);
}

// The sample behind a cursor position, when it lies in the record.
bool inRecord(const StudyState& s, long sample) { return sample >= 0 && sample < s.recordLength && sample < kMaxSamples; }

}  // namespace

const char* sumModeItem(int mode) {
  switch (mode) {
    case kSumAbsolute: return kItemSa;
    case kSumSigned: return kItemSz;
    case kSumPositive: return kItemSplus;
    case kSumNegative: return kItemSminus;
    case kSumMean: return kItemMean;
    case kSumRawCodes: return kItemHex;
    default: return "";
  }
}

std::string sumModeButton(int mode) {
  // Two characters, not two bytes: "Sз" is three bytes of UTF-8.
  const std::string item = sumModeItem(mode);
  std::size_t end = 0;
  for (int chars = 0; chars < 2 && end < item.size(); ++chars) {
    ++end;
    while (end < item.size() && (static_cast<unsigned char>(item[end]) & 0xC0) == 0x80) ++end;
  }
  return item.substr(0, end) + "=";
}

ScoreboardTexts scoreboardReadouts(StudyState& s, const MapChannelProvider& mapChannel) {
  ScoreboardTexts r;
  s.currentChannelRow = std::max(s.currentChannelRow, 0);
  const bool folded = s.shownChannelCount <= 0;
  const int channel = folded ? s.firstShownChannel : s.firstShownChannel + s.currentChannelRow;
  const long o = folded ? rowFirstSample(s, s.currentChannelRow) : 0;
  if (s.viewMode == ViewMode::Signals) s.epochCount = s.computeEpochCount();

  const bool hex = s.sumMode == kSumRawCodes;
  const bool frequencyView = s.viewMode == ViewMode::Transform && hasFrequencyAxis(s.transformKind);
  const bool mapShown = showsBandMeasures(s.viewMode);
  // Power spectra enter the view shifted right; the readouts undo the shift.
  const double powerScale = (s.viewMode == ViewMode::Transform && s.transformKind == TransformKind::Power)
                                ? std::ldexp(1.0, std::clamp(s.powerShift, 0, 62))
                                : 1.0;
  r.frequency = frequencyView;

  const long cursor = s.cursorPos + o;
  const bool anchored = s.selectionAnchor >= 0;
  const long anchor = s.selectionAnchor + o;

  // Y
  if (mapShown) {
    const int c = mapChannel ? mapChannel() : channel;
    const double y = s.resultValue(s.currentBand, c, s.currentEpoch);
    r.y = hex ? integerText(y) : formatNumber(y);
  } else if (inRecord(s, cursor)) {
    const double y = s.physicalValue(static_cast<int>(cursor), channel);
    r.y = hex ? integerText(y) : formatNumber(y * powerScale);
  }

  // The difference of the values at cursor and anchor, scaled like Y.
  auto difference = [&]() -> std::string {
    if (!inRecord(s, cursor) || !inRecord(s, anchor)) return {};
    const double d = s.physicalValue(static_cast<int>(cursor), channel) -
                     s.physicalValue(static_cast<int>(anchor), channel);
    return formatNumber(hex ? d : d * powerScale);
  };

  if (hex) {
    r.t = std::to_string(s.cursorPos);
    if (anchored) {
      r.dt = std::to_string(std::abs(static_cast<long>(s.cursorPos) - s.selectionAnchor));
      r.dy = difference();
      if (s.selectionAnchor != s.cursorPos) r.integral = integerText(s.intervalSum(channel));
    }
    return r;
  }

  const double rate = s.sampleRate;
  if (frequencyView) {
    if (s.epochLength > 0) r.t = formatNumber(static_cast<double>(s.cursorPos) * rate / s.epochLength);
  } else if (mapShown && s.transformKind != TransformKind::Correlation) {
    if (rate > 0) r.t = formatNumber(static_cast<double>(s.currentEpoch) * s.epochStep / rate);
    r.dt = bandLimits(s, s.currentBand);
  } else if (rate > 0) {
    r.t = formatNumber(static_cast<double>(cursor) / rate);
  }

  if (anchored && !mapShown) {
    r.dy = difference();
    if (s.selectionAnchor != s.cursorPos) r.integral = formatNumber(s.intervalSum(channel) * powerScale);
    const double span = static_cast<double>(s.cursorPos) - s.selectionAnchor;
    if (frequencyView) {
      if (s.epochLength > 0) r.dt = formatNumber(span * rate / s.epochLength);
    } else if (rate > 0) {
      r.dt = formatNumber(span / rate);
    }
  }

  // The registers the acquisition engine recorded with the sample under the
  // cursor; a spectrum's cursor is a frequency and has none.
  if (s.viewMode == ViewMode::Signals && s.markChannelCount == 1 && s.markChannel != nullptr && inRecord(s, cursor)) {
    const int word = static_cast<std::uint16_t>(s.markChannel[cursor]);
    r.in = hexByte(word);
    r.out = hexByte(word >> 8);
  }
  return r;
}

}  // namespace velor
