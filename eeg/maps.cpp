#include "eeg/maps.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numeric>

#include "core/binio.h"
#include "core/numtext.h"
#include "core/text.h"
#include "eeg/map_texts.h"
#include "eeg/spectral_texts.h"

namespace velor {

namespace {

// The colour scale: blue through cyan and white to yellow, red and dark red.
constexpr MapRgb kColourScale[64] = {
    {0, 0, 0}, {0, 0, 107}, {0, 0, 130}, {0, 0, 147},
    {0, 0, 161}, {0, 0, 174}, {0, 0, 187}, {0, 0, 201},
    {0, 0, 214}, {0, 0, 228}, {0, 0, 241}, {0, 0, 255},
    {0, 107, 255}, {0, 120, 255}, {0, 134, 255}, {0, 147, 255},
    {0, 161, 255}, {0, 174, 255}, {0, 187, 255}, {0, 201, 255},
    {0, 214, 255}, {0, 226, 255}, {0, 235, 255}, {0, 241, 255},
    {0, 249, 255}, {0, 255, 255}, {147, 255, 255}, {174, 255, 255},
    {196, 255, 255}, {212, 255, 255}, {226, 255, 255}, {240, 255, 255},
    {255, 255, 255}, {255, 255, 236}, {255, 255, 214}, {255, 255, 190},
    {255, 255, 160}, {255, 255, 120}, {255, 248, 0}, {255, 241, 0},
    {255, 228, 0}, {255, 214, 0}, {255, 201, 0}, {255, 187, 0},
    {255, 174, 0}, {255, 161, 0}, {255, 147, 0}, {255, 134, 0},
    {255, 120, 0}, {255, 100, 0}, {255, 0, 0}, {241, 0, 0},
    {228, 0, 0}, {214, 0, 0}, {201, 0, 0}, {187, 0, 0},
    {174, 0, 0}, {161, 0, 0}, {147, 0, 0}, {134, 0, 0},
    {120, 0, 0}, {107, 0, 0}, {93, 0, 0}, {0, 0, 0},
};

// Left and right electrodes whose asymmetry replaces their values; a midline
// electrode is paired with itself.
constexpr const char* kAsymmetryPairs[22][2] = {
    {"Fp1", "Fp2"}, {"Fpz", "Fpz"}, {"F7", "F8"},   {"F3", "F4"},   {"Fz", "Fz"},   {"Ft7", "Ft8"},
    {"Fc3", "Fc4"}, {"Fcz", "Fcz"}, {"T3", "T4"},   {"C3", "C4"},   {"Cz", "Cz"},   {"Tp7", "Tp8"},
    {"Cp3", "Cp4"}, {"Cpz", "Cpz"}, {"T5", "T6"},   {"Po3", "Po4"}, {"Poz", "Poz"}, {"P5", "P6"},
    {"P3", "P4"},   {"Pz", "Pz"},   {"O1", "O2"},   {"Oz", "Oz"},
};

// A double limited to 0..255 and truncated (NaN gives 0).
int byteOf(double v) {
  if (!(v > 0)) return 0;
  if (v >= 255) return 255;
  return static_cast<int>(v);
}

double gainFactor(int step) { return std::pow(1.2, std::clamp(step, -200, 200)); }

int channelLimit(const StudyState& s) { return std::clamp(s.channelCount, 0, kMaxChannels); }

int sampleLimit(const StudyState& s) { return std::clamp(s.recordLength, 0, kMaxSamples); }

std::uint16_t unitsOf(const StudyState& s, int channel) {
  return std::max<std::uint16_t>(1, s.calibUnits[std::clamp(channel, 0, kMaxChannels - 1)]);
}

// How a channel's codes reach the map's common scale. EEG channels that share
// one calibration (every record of this system) keep their codes, a
// calibration being `units` codes, as the maps always read them. On a page
// whose channels each carry their own scale (EDF and the other foreign
// formats) the codes are put on this system's usual step, 100 µV in 2047
// codes, so equal microvolts give equal colours whatever format brought them.
struct MapScale {
  double factor = 1;  // codes of this channel to codes of the common scale
  double units = 1;   // codes of the common scale for one calibration
};

constexpr double kCommonUnits = 2047;
constexpr double kCommonMicrovoltsPerCode = 100.0 / kCommonUnits;

bool eegSharesOneScale(const StudyState& s) {
  const int n = std::clamp(s.channelCount, 0, kMaxChannels);
  double first = -1;
  for (int c = 0; c < n; ++c) {
    if (!s.isEegChannel(c)) continue;
    const double own = s.microvoltsPerCode(c);
    if (first < 0) first = own;
    else if (own != first) return false;
  }
  return true;
}

MapScale mapScaleOf(const StudyState& s, int channel) {
  const int c = std::clamp(channel, 0, kMaxChannels - 1);
  const double units = std::max<std::uint16_t>(1, s.calibUnits[c]);
  if (!s.isEegChannel(c) || eegSharesOneScale(s)) return {1.0, units};
  return {s.microvoltsPerCode(c) / kCommonMicrovoltsPerCode, kCommonUnits};
}

// The factor for a spectral code of the kind shown: amplitudes scale with
// the channel's step, powers with its square; ratios and phases not at all.
double kindFactor(const StudyState& s, double factor) {
  switch (s.transformKind) {
    case TransformKind::Amplitude:
    case TransformKind::Envelope: return factor;
    case TransformKind::Power: return factor * factor;
    default: return 1.0;
  }
}

int codeAt(const StudyState& s, int channel, int sample) {
  const int n = sampleLimit(s);
  if (channel < 0 || channel >= kMaxChannels || n <= 0) return 0;
  return s.channelData[static_cast<std::size_t>(channel)][std::clamp(sample, 0, n - 1)];
}

std::string bandName(const StudyState& s, int band) {
  if (band < 0 || band >= kBandRows) return {};
  return trimSpaces(s.bandTable[static_cast<std::size_t>(band)].name);
}

int bandsOf(const StudyState& s) { return std::clamp(s.bandCount, 0, kBandRows); }

int sign(double v) { return (v > 0) - (v < 0); }

// The 1-based channel numbers of lead pair p as 0-based indices, or false.
bool pairChannels(const StudyState& s, int p, int& a, int& b) {
  if (p < 0 || p >= kMaxLeadPairs) return false;
  a = s.leadPairs[static_cast<std::size_t>(p)][0] - 1;
  b = s.leadPairs[static_cast<std::size_t>(p)][1] - 1;
  return a >= 0 && b >= 0 && a < channelLimit(s) && b < channelLimit(s);
}

bool positioned(const StudyState& s, int c) { return s.channelPosX[static_cast<std::size_t>(c)] < kMapNoPosition; }

std::string crlfJoin(const std::vector<std::string>& lines) {
  std::string out;
  for (const auto& l : lines) out += l + "\r\n";
  return out;
}

}  // namespace

MapRgb mapLevelColour(int level, bool colour) {
  level = std::clamp(level, 0, 63);
  if (colour) return kColourScale[level];
  const auto g = static_cast<std::uint8_t>(255 - 4 * level);
  return {g, g, g};
}

bool mapShowsPairs(const StudyState& s) {
  return showsTransformResults(s.viewMode) && keepsPairRows(s.transformKind) && s.leadPairCount > 0;
}

int mapSlice(const StudyState& s) { return slicesAreEpochs(s.viewMode) ? std::max(0, s.currentEpoch) : 0; }

int mapRowCount(const StudyState& s) {
  if (mapShowsPairs(s)) return std::clamp(s.leadPairCount, 0, kMaxLeadPairs);
  const int n = s.channelCount == 28 ? 20 : s.channelCount == 44 ? 36 : s.channelCount;
  return std::clamp(n, 0, kMaxChannels);
}

std::string mapRowName(const StudyState& s, int row) {
  if (mapShowsPairs(s)) {
    int a = 0, b = 0;
    if (!pairChannels(s, row, a, b)) return {};
    return trimSpaces(s.channelNames[static_cast<std::size_t>(a)]) + "-" +
           trimSpaces(s.channelNames[static_cast<std::size_t>(b)]);
  }
  if (row < 0 || row >= kMaxChannels) return {};
  return trimSpaces(s.channelNames[static_cast<std::size_t>(row)]);
}

int sampleMapValue(const StudyState& s, int channel, int sample, double* unscaled) {
  const double gain = gainFactor(s.gainStep);
  const int code = codeAt(s, channel, sample);
  if (s.viewMode == ViewMode::Signals) {
    int v = code - s.zeroLevel[std::clamp(channel, 0, kMaxChannels - 1)];
    const int anchor = s.selectionAnchor;
    if (anchor >= 0 && anchor < sampleLimit(s) && anchor != sample) v = code - codeAt(s, channel, anchor);
    const MapScale m = mapScaleOf(s, channel);
    const double scaled = std::clamp(gain * v * m.factor / m.units * 127.0, -1.0e6, 1.0e6);
    const int value = std::clamp(static_cast<int>(std::trunc(scaled)) + 128, 0, 255);
    if (unscaled) *unscaled = value;
    return value;
  }
  const MapScale m = mapScaleOf(s, channel);
  const double f = kindFactor(s, m.factor);
  if (unscaled) *unscaled = f == 1.0 ? code : code * f;
  return byteOf(gain * code * f / m.units * 255.0);
}

int bandMapCode(const StudyState& s, int row, int code) {
  // Rows of channels with their own scales are compared on the common one;
  // frequency measures and lead-pair rows stay as stored.
  if (s.bandMode >= 2 || mapShowsPairs(s)) return code;
  const double own = mapScaleOf(s, row).factor;
  // the largest bin of a power spectrum is stored as its amplitude
  double f = s.transformKind == TransformKind::Power && s.bandMode == 1 ? own : kindFactor(s, own);
  if (f == 1.0) return code;
  // powers on the store's binary scale are compared at their true size
  if (s.transformKind == TransformKind::Power && s.bandMode == 0) f = std::ldexp(f, std::clamp(s.resultPowerShift, 0, 48));
  return static_cast<int>(std::clamp(std::trunc(code * f + 0.5), -2.0e9, 2.0e9));
}

int bandMapValue(const StudyState& s, int row, int band, int slice, int mapScaleStep, double* unscaled) {
  // The store holds whole codes, so c = trunc(measure + 0.49) is the code itself.
  const int c = bandMapCode(s, row, s.resultGet(band, row, slice));
  if (unscaled) *unscaled = c;
  return bandCodeMapValue(s, c, mapScaleStep);
}

int bandCodeMapValue(const StudyState& s, int c, int mapScaleStep) {
  if (s.bandMode >= 2) return std::clamp(c, 0, 255);
  if (s.transformKind == TransformKind::Coherence || s.transformKind == TransformKind::Synchrony)
    return byteOf(c / 4095.0 * 255.0);
  return byteOf(c * gainFactor(mapScaleStep) * 4.0 / 16.0);
}

std::vector<MapElectrode> mapElectrodes(const StudyState& s, const MapSettings& m, int sample, int band, int slice) {
  std::vector<MapElectrode> out;
  out.reserve(kMaxChannels);
  const bool bands = showsBandMeasures(s.viewMode);
  const int rows = bands ? std::min(mapRowCount(s), channelLimit(s)) : channelLimit(s);
  for (int c = 0; c < rows; ++c) {
    if (!positioned(s, c)) continue;
    MapElectrode e;
    e.x = s.channelPosX[static_cast<std::size_t>(c)];
    e.y = s.channelPosY[static_cast<std::size_t>(c)];
    e.row = c;
    e.value = bands ? bandMapValue(s, c, band, slice, m.mapScaleStep, &e.raw) : sampleMapValue(s, c, sample, &e.raw);
    out.push_back(e);
  }
  if (m.asymmetry) applyAsymmetry(s, s.viewMode, out);
  return out;
}

std::vector<MapElectrode> epochFrameElectrodes(const StudyState& s, const MapSettings& m, int band, int p, int k) {
  MapSettings plain = m;
  plain.asymmetry = false;
  std::vector<MapElectrode> from = mapElectrodes(s, plain, 0, band, p);
  const std::vector<MapElectrode> to = mapElectrodes(s, plain, 0, band, p + 1);
  k = std::clamp(k, 0, 4);
  for (std::size_t i = 0; i < from.size() && i < to.size(); ++i) {
    from[i].value = std::clamp(from[i].value + static_cast<int>(std::trunc((to[i].value - from[i].value) * k / 4.0 + 0.5)), 0, 255);
    from[i].raw = from[i].raw + std::trunc((to[i].raw - from[i].raw) * k / 4.0 + 0.5);
  }
  if (m.asymmetry) applyAsymmetry(s, s.viewMode, from);
  return from;
}

void applyAsymmetry(const StudyState& s, ViewMode mode, std::vector<MapElectrode>& e) {
  auto find = [&](const char* name) -> int {
    for (std::size_t i = 0; i < e.size(); ++i)
      if (trimSpaces(s.channelNames[static_cast<std::size_t>(e[i].row)]) == name) return static_cast<int>(i);
    return -1;
  };
  struct Change {
    int left, right;
    double a;
  };
  std::vector<Change> changes;
  for (const auto& pair : kAsymmetryPairs) {
    const int l = find(pair[0]);
    const int r = find(pair[1]);
    if (l < 0 || r < 0) continue;
    double a = 0;
    if (mode == ViewMode::Signals) {
      const double vl = e[static_cast<std::size_t>(l)].value, vr = e[static_cast<std::size_t>(r)].value;
      const double d = std::abs(vl - 127) + std::abs(vr - 127);
      if (d != 0) a = (vl - vr) / d;
    } else {
      const double ul = e[static_cast<std::size_t>(l)].raw, ur = e[static_cast<std::size_t>(r)].raw;
      if (ul + ur != 0) a = (ul - ur) / (ul + ur);
    }
    // negative raw values (not met in spectra) could leave −1..1
    a = std::isfinite(a) ? std::clamp(a, -1.0, 1.0) : 0.0;
    changes.push_back({l, r, a});
  }
  for (const Change& c : changes) {
    const int sg = sign(c.a);
    e[static_cast<std::size_t>(c.left)].value = std::clamp(static_cast<int>(std::trunc(sg * 0.5 + (c.a + 1) / 2 * 255)), 0, 255);
    e[static_cast<std::size_t>(c.right)].value = std::clamp(static_cast<int>(std::trunc((1 - c.a) / 2 * 255 - sg * 0.5)), 0, 255);
  }
}

std::vector<MapPair> mapPairs(const StudyState& s, const MapSettings& m, int sample, int band, int slice) {
  std::vector<MapPair> out;
  const int pairs = std::clamp(s.leadPairCount, 0, kMaxLeadPairs);
  const double gain = gainFactor(s.gainStep);
  for (int p = 0; p < pairs; ++p) {
    int a = 0, b = 0;
    if (!pairChannels(s, p, a, b) || !positioned(s, a) || !positioned(s, b)) continue;
    MapPair mp{p, a, b, 0};
    if (showsBandMeasures(s.viewMode)) {
      mp.value = bandMapValue(s, p, band, slice, m.mapScaleStep);
    } else {
      const int code = codeAt(s, p, sample);
      const bool coded = s.transformKind == TransformKind::CrossPhase || s.transformKind == TransformKind::Coherence ||
                         s.transformKind == TransformKind::Correlation;
      mp.value = byteOf(gain * code / (coded ? 4095.0 : unitsOf(s, a)) * 255.0);
    }
    out.push_back(mp);
  }
  return out;
}

bool interpolateMap(const MapElectrode* e, int count, MapGrid& grid) {
  grid.fill(0);
  count = std::clamp(count, 0, kMaxChannels);
  if (count == 0) return false;
  for (int y = 0; y < kMapGrid; ++y) {
    for (int x = 0; x < kMapGrid; ++x) {
      std::int32_t w = 0, v = 0;
      int exact = -1;
      for (int i = 0; i < count; ++i) {
        const std::int32_t dx = e[i].x - x, dy = e[i].y - y;
        std::int32_t d2 = dx * dx + dy * dy;
        if (d2 == 0) {
          exact = e[i].value;
          break;
        }
        if (d2 <= 10) d2 = 11;
        const std::int32_t wi = 655360 / d2;
        w += wi;
        v += wi * std::clamp(e[i].value, 0, 255);
      }
      int value;
      if (exact >= 0) {
        value = exact;
      } else {
        while (w >= 65536) {
          w >>= 1;
          v >>= 1;
        }
        value = w > 0 ? v / w : 0;
      }
      grid[static_cast<std::size_t>(y * kMapGrid + x)] = static_cast<std::uint8_t>(std::clamp(value, 0, 255));
    }
  }
  return true;
}

void mapGridToArgb(const MapGrid& grid, bool colour, std::uint32_t* out) {
  std::array<std::uint32_t, 64> lut{};
  for (int i = 0; i < 64; ++i) {
    const MapRgb c = mapLevelColour(i, colour);
    lut[static_cast<std::size_t>(i)] = 0xFF000000u | (std::uint32_t{c.r} << 16) | (std::uint32_t{c.g} << 8) | c.b;
  }
  for (std::size_t i = 0; i < grid.size(); ++i) out[i] = lut[grid[i] >> 2];
}

std::string mapTitle(const StudyState& s, const MapSettings& m) {
  const int kind = toNumber(s.transformKind);
  std::string suffix = kind >= 0 && kind <= 10 ? map_text::kKindSuffix[kind] : "";
  if (m.asymmetry) suffix += map_text::kAsymSuffix;
  if (showsBandDiagrams(s.viewMode))
    return bandName(s, s.currentBand) + map_text::kDash + map_text::kMeasureNames[std::clamp(s.bandMode, 0, 3)] + suffix;
  return suffix;
}

std::string mapCaption(const StudyState& s, const MapSettings& m, int mappingMode) {
  const char* mode = mappingMode == 1 ? map_text::kModeMulti : mappingMode == 2 ? map_text::kModeSeries : map_text::kMapTitle;
  return std::string(mode) + map_text::kCaptionSeparator + mapTitle(s, m);
}

int diagramScaleStep(int largest, TransformKind transformKind) {
  if (largest <= 0) return 0;
  if (transformKind == TransformKind::Coherence)
    return static_cast<int>(std::trunc(std::log(512.0 / largest) / std::log(1.2)));
  return static_cast<int>(std::trunc(std::log(1024.0 / largest) / std::log(1.2) + 0.5));
}

bool runBandDiagrams(SpectralEngine& engine, StudyState& s, ViewMode mode, Interaction& ui, MapSettings& m) {
  if (!showsBandDiagrams(mode)) return false;
  if (s.bandCount <= 0) {
    ui.message(spectral_text::kNoBands);
    s.viewMode = ViewMode::Signals;
    return false;
  }
  if (s.transformKind == TransformKind::Correlation || isBandOnlyMeasure(s.transformKind)) {
    // the correlation, synchrony and envelope band measures come from their own analyses
    ui.message("Диаграммы по диапазонам для этой характеристики не строятся.");
    return false;
  }
  const int averaged = std::max(0, engine.averagedEpochs);
  const int epochs = mode == ViewMode::EpochMaps ? s.epochCount - averaged : 1;
  if (epochs < 1) {
    ui.message("Нет эпох для анализа.");
    return false;
  }
  if (s.viewMode == ViewMode::Transform) s.leaveTransformView();
  const ViewMode previousMode = s.viewMode;
  s.viewMode = mode;  // the rows of pair measures are addressed as the diagrams read them
  const int lastStart = mode == ViewMode::BandDiagrams ? std::max(0, s.currentEpoch) * s.epochStep : (epochs - 1) * s.epochStep;
  const std::string problem = engine.epochProblem(s, lastStart);
  if (!problem.empty()) {
    s.viewMode = previousMode;
    ui.message(problem);
    return false;
  }
  engine.powerLines.clear();
  if (mode == ViewMode::BandDiagrams) {
    engine.epochSpectra(s, std::max(0, s.currentEpoch) * s.epochStep, 0);
  } else {
    for (int k = 0; k < epochs; ++k) engine.epochSpectra(s, k * s.epochStep, k);
    const int rows = mapRowCount(s);
    for (int b = 0; b < bandsOf(s); ++b) {
      for (int r = 0; r < rows; ++r) {
        long long sum = 0;
        for (int k = 0; k < epochs; ++k) sum += s.resultGet(b, r, k);
        s.resultPut(b, r, epochs, static_cast<int>(std::floor(static_cast<double>(sum) / epochs + 0.5)));
      }
    }
  }
  if (s.transformKind == TransformKind::Power && !engine.powerLines.empty() && !s.programDir.empty())
    writeFileAtomically(s.programDir + "PowerSpectr.txt", utf8ToCp1251(crlfJoin(engine.powerLines)));
  // The scale fits the electrodes the head shows: an ECG or other channel
  // without a place on the head (common in recordings of other systems) is
  // often ten times the EEG and would leave every electrode at the bottom.
  bool anyOnHead = false;
  for (int r = 0; r < mapRowCount(s) && !mapShowsPairs(s); ++r) anyOnHead = anyOnHead || positioned(s, r);
  int largest = 0;
  for (int b = 0; b < bandsOf(s); ++b)
    for (int r = 0; r < mapRowCount(s); ++r)
      if (!anyOnHead || positioned(s, r)) largest = std::max(largest, bandMapCode(s, r, s.resultGet(b, r, 0)));
  m.mapScaleStep = diagramScaleStep(largest, s.transformKind);
  s.currentEpoch = 0;
  return true;
}

// --- cards ---------------------------------------------------------------------------

namespace {

// A card keeps its numbers as its one-byte fields hold them.
int cardByte(int n) { return std::clamp(n, 0, 255); }

double cardRowValue(const StudyState& s, int band, int row, int slice) {
  if (showsBandMeasures(s.viewMode)) return s.resultGet(band, row, slice);
  if (s.viewMode == ViewMode::Signals) return codeAt(s, row, s.cursorPos) >> 4;
  return 0;
}

MapCard emptyCard(const StudyState& s) {
  MapCard c;
  c.header = s.examHeader;
  const bool bands = showsBandMeasures(s.viewMode);
  c.rows = bands ? mapRowCount(s) : channelLimit(s);
  c.bandMode = std::clamp(s.bandMode, 0, 255);
  c.transformKind = transformKindFromNumber(cardByte(toNumber(s.transformKind)));
  c.viewMode = viewModeFromNumber(cardByte(toNumber(s.viewMode)));
  c.bands = bands ? bandsOf(s) : 1;
  for (int b = 0; b < std::min(c.bands, kMapCardBandNames); ++b)
    c.bandNames[static_cast<std::size_t>(b)] = bands ? bandName(s, b) : std::string();
  c.mean.assign(static_cast<std::size_t>(c.bands * c.rows), 0.0);
  c.meanSquare = c.mean;
  return c;
}

}  // namespace

MapCard currentMapCard(const StudyState& s) {
  MapCard c = emptyCard(s);
  const int slice = mapSlice(s);
  for (int b = 0; b < c.bands; ++b) {
    for (int r = 0; r < c.rows; ++r) {
      const double v = cardRowValue(s, b, r, slice);
      c.mean[static_cast<std::size_t>(b * c.rows + r)] = v;
      c.meanSquare[static_cast<std::size_t>(b * c.rows + r)] = v * v;
    }
  }
  return c;
}

MapCard savedMapCard(const StudyState& s, int epochs) {
  if (!slicesAreEpochs(s.viewMode) || epochs < 1) return currentMapCard(s);
  MapCard c = emptyCard(s);
  c.count = epochs;
  for (int b = 0; b < c.bands; ++b) {
    for (int r = 0; r < c.rows; ++r) {
      double sum = 0, squares = 0;
      for (int k = 0; k < epochs; ++k) {
        const double v = s.resultGet(b, r, k);
        sum += v;
        squares += v * v;
      }
      c.mean[static_cast<std::size_t>(b * c.rows + r)] = sum / epochs;
      c.meanSquare[static_cast<std::size_t>(b * c.rows + r)] = squares / epochs;
    }
  }
  return c;
}

bool mapCardsCompatible(const MapCard& a, const MapCard& b) {
  const bool modes = a.viewMode == b.viewMode || (showsBandMeasures(a.viewMode) && showsBandMeasures(b.viewMode));
  return modes && a.rows == b.rows && a.transformKind == b.transformKind && a.bandMode == b.bandMode &&
         a.bands == b.bands && a.mean.size() == b.mean.size() && a.meanSquare.size() == b.meanSquare.size();
}

bool averageMapCards(MapCard& into, const MapCard& other) {
  if (!mapCardsCompatible(into, other)) return false;
  const double n1 = std::max(1, into.count), n2 = std::max(1, other.count);
  for (std::size_t i = 0; i < into.mean.size(); ++i) {
    into.mean[i] = (into.mean[i] * n1 + other.mean[i] * n2) / (n1 + n2);
    into.meanSquare[i] = (into.meanSquare[i] * n1 + other.meanSquare[i] * n2) / (n1 + n2);
  }
  into.count = std::max(1, into.count) + std::max(1, other.count);
  return true;
}

namespace {

std::string fixedText(const std::string& utf8, std::size_t width) {
  std::string t = utf8ToCp1251(utf8);
  t.resize(width, ' ');
  return t;
}

std::string numberField(double v) {
  if (!std::isfinite(v)) v = 0;
  v = std::clamp(v, -1.0e30, 1.0e30);
  std::string t = formatNumber(v, 4);
  if (t.size() > static_cast<std::size_t>(kMapCardField)) t = formatNumber(v, 2);
  return padLeft(t, kMapCardField);
}

}  // namespace

std::string encodeMapCard(const MapCard& c) {
  std::string out = "CAM ";
  out += fixedText(c.header, kHeaderChars);
  const int bands = std::clamp(c.bands, 0, 255);
  const int rows = std::clamp(c.rows, 0, 255);
  out += static_cast<char>(rows);
  out += static_cast<char>(std::clamp(c.bandMode, 0, 255));
  out += static_cast<char>(std::clamp(toNumber(c.transformKind), 0, 255));
  // the count field is one byte: cards of more maps keep weighing as 255
  out += static_cast<char>(std::clamp(c.count, 1, 255));
  out += static_cast<char>(std::clamp(toNumber(c.viewMode), 0, 255));
  out += static_cast<char>(bands);
  for (const auto& name : c.bandNames) out += fixedText(name, kMapCardField);
  for (int b = 0; b < bands; ++b) {
    for (int r = 0; r < rows; ++r) {
      const std::size_t i = static_cast<std::size_t>(b * rows + r);
      out += numberField(i < c.mean.size() ? c.mean[i] : 0);
      out += numberField(i < c.meanSquare.size() ? c.meanSquare[i] : 0);
    }
  }
  return out;
}

bool decodeMapCard(std::string_view bytes, MapCard& c, std::string& problem) {
  const std::string bad = std::string(map_text::kInterrupted) + "файл не является картой";
  if (bytes.size() < static_cast<std::size_t>(kMapCardHeaderSize)) {
    problem = bad;
    return false;
  }
  auto byte = [&](std::size_t i) { return static_cast<int>(static_cast<unsigned char>(bytes[i])); };
  MapCard r;
  r.rows = byte(166);
  r.bandMode = byte(167);
  r.transformKind = transformKindFromNumber(byte(168));
  r.count = byte(169);
  r.viewMode = viewModeFromNumber(byte(170));
  r.bands = byte(171);
  if (r.rows < 1 || r.rows > kMaxChannels || r.bands < 1 || r.bands > kBandRows || r.count < 1 || r.bandMode > 3 ||
      r.transformKind > TransformKind::Envelope) {
    problem = bad;
    return false;
  }
  const std::size_t need = kMapCardHeaderSize + static_cast<std::size_t>(r.bands * r.rows) * 2 * kMapCardField;
  if (bytes.size() < need) {
    problem = bad;
    return false;
  }
  r.header = cp1251ToUtf8(bytes.substr(4, kHeaderChars));
  for (int b = 0; b < kMapCardBandNames; ++b)
    r.bandNames[static_cast<std::size_t>(b)] =
        trimSpaces(cp1251ToUtf8(bytes.substr(172 + static_cast<std::size_t>(b) * kMapCardField, kMapCardField)));
  const std::size_t values = static_cast<std::size_t>(r.bands * r.rows);
  r.mean.resize(values);
  r.meanSquare.resize(values);
  std::size_t at = kMapCardHeaderSize;
  for (std::size_t i = 0; i < values; ++i) {
    for (double* target : {&r.mean[i], &r.meanSquare[i]}) {
      const auto v = parseNumber(bytes.substr(at, kMapCardField));
      at += kMapCardField;
      if (!v || !std::isfinite(*v) || std::abs(*v) > 1.0e30) {
        problem = bad;
        return false;
      }
      *target = *v;
    }
  }
  c = std::move(r);
  return true;
}

bool writeMapCard(const std::string& path, const MapCard& c, std::string& problem) {
  if (writeFileAtomically(path, encodeMapCard(c))) return true;
  problem = std::string(map_text::kInterrupted) + "не удалось записать " + path;
  return false;
}

bool readMapCard(const std::string& path, MapCard& c, std::string& problem) {
  std::string bytes;
  if (!readWholeFile(path, bytes, 1u << 20)) {
    problem = std::string(map_text::kInterrupted) + "не удалось прочитать " + path;
    return false;
  }
  return decodeMapCard(bytes, c, problem);
}

std::vector<int> cardStatisticValues(const MapCard& card, const std::vector<double>* other, int mapScaleStep) {
  const int rows = card.rows;
  std::vector<int> out(static_cast<std::size_t>(std::max(0, card.bands) * 3 * std::max(0, rows)), 0);
  double scale = gainFactor(mapScaleStep);
  if (showsBandMeasures(card.viewMode)) scale *= card.bandMode == 0 ? 4.0 / 16.0 : 2.0 / 16.0;
  for (int b = 0; b < card.bands; ++b) {
    for (int j = 0; j < rows; ++j) {
      const std::size_t i = static_cast<std::size_t>(b * rows + j);
      if (i >= card.mean.size() || i >= card.meanSquare.size()) continue;
      const double m = card.mean[i];
      const double q = card.meanSquare[i] - m * m;
      const double sd = q > 0 ? std::sqrt(q) : 0;
      double v[3];
      if (!other) {
        v[0] = m * scale;
        v[1] = sd * scale;
        v[2] = m != 0 ? sd / m * 85 : 0;  // a ratio: not rescaled
      } else {
        const double t = i < other->size() ? (*other)[i] : 0;
        v[0] = t * scale;
        v[1] = m * scale;
        // the z map is centred on 128 whatever the scale
        v[2] = sd != 0 ? (t - m) / sd * 127 / 3 + 128 : 128 + sign(t - m) * 127;
      }
      for (int k = 0; k < 3; ++k) out[static_cast<std::size_t>((b * 3 + k) * rows + j)] = byteOf(v[k]);
    }
  }
  return out;
}

double normalTail(double z) { return 0.5 * std::erfc(z / std::sqrt(2.0)); }

namespace {

// Ranks 1..n of the values, ties sharing the mean of their ranks.
std::vector<double> ranks(const std::vector<double>& v) {
  std::vector<std::size_t> order(v.size());
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return v[a] < v[b]; });
  std::vector<double> r(v.size());
  for (std::size_t i = 0; i < order.size();) {
    std::size_t j = i;
    while (j + 1 < order.size() && v[order[j + 1]] == v[order[i]]) ++j;
    const double mean = (static_cast<double>(i) + static_cast<double>(j)) / 2 + 1;
    for (std::size_t k = i; k <= j; ++k) r[order[k]] = mean;
    i = j + 1;
  }
  return r;
}

}  // namespace

CardTests compareCardValues(const std::vector<double>& t, const std::vector<double>& e) {
  CardTests out;
  const std::size_t n = std::min(t.size(), e.size());
  if (n == 0) return out;
  // signed-rank sum
  std::vector<double> absd(n);
  int zeros = 0;
  for (std::size_t j = 0; j < n; ++j) {
    absd[j] = std::abs(t[j] - e[j]);
    if (t[j] == e[j]) ++zeros;
  }
  const std::vector<double> r = ranks(absd);
  for (std::size_t j = 0; j < n; ++j)
    if (t[j] - e[j] < 0) out.w += r[j];
  const double np = static_cast<double>(n) - zeros;
  const double var = np * (np + 1) * (2 * np + 1) / 24;
  const double z = var > 0 ? (out.w - np * (np + 1) / 4) / std::sqrt(var) : 0;
  out.pw = normalTail(std::abs(z));
  // two-sample distance: equal values are stepped over together
  std::vector<std::pair<double, int>> all;
  for (std::size_t j = 0; j < n; ++j) {
    all.push_back({t[j], 0});
    all.push_back({e[j], 1});
  }
  std::sort(all.begin(), all.end());
  int ct = 0, ce = 0;
  for (std::size_t i = 0; i < all.size(); ++i) {
    (all[i].second == 0 ? ct : ce)++;
    if (i + 1 < all.size() && all[i + 1].first == all[i].first) continue;
    out.d = std::max(out.d, std::abs(ct - ce) / static_cast<double>(n));
  }
  out.pd = std::min(1.0, 2 * std::exp(-static_cast<double>(n) * out.d * out.d));
  // rank correlation on the ranks of each set
  if (n >= 2) {
    const std::vector<double> rt = ranks(std::vector<double>(t.begin(), t.begin() + static_cast<long>(n)));
    const std::vector<double> re = ranks(std::vector<double>(e.begin(), e.begin() + static_cast<long>(n)));
    double sum = 0;
    for (std::size_t j = 0; j < n; ++j) sum += (rt[j] - re[j]) * (rt[j] - re[j]);
    const double nn = static_cast<double>(n);
    out.s = 1 - 6 * sum / (nn * nn * nn - nn);
    double u = 1;
    for (int it = 0; it < 1000; ++it) {
      const double next = (u * u - 3) * u * 0.19 / (nn - 1) + std::sqrt(nn - 1) * out.s;
      const bool done = std::abs(next - u) < 0.001 || std::abs(next) > 10;
      u = next;
      if (done || !std::isfinite(u)) break;
    }
    out.ps = std::isfinite(u) ? normalTail(std::abs(u)) : 0;
  }
  return out;
}

std::string probabilityText(double p) {
  if (!std::isfinite(p)) p = 0;
  const double t = std::trunc(std::clamp(p, 0.0, 1.0) * 1000) / 1000;
  std::string text = formatNumber(t, 4);
  if (p < 0.05) text += map_text::kSignificant;
  return text;
}

bool readSubjectMaps(StudyState& s, std::string_view text, std::string& problem) {
  const std::string prefix = map_text::kInterrupted;
  if (s.bandCount <= 0) {
    problem = spectral_text::kNoBands;
    return false;
  }
  std::vector<std::vector<int>> subjects;
  const int channels = std::min(channelLimit(s), mapRowCount(s));
  std::size_t at = 0;
  int lineNumber = 0;
  while (at <= text.size()) {
    std::size_t end = text.find('\n', at);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(at, end - at);
    at = end + 1;
    ++lineNumber;
    if (lineNumber == 1) continue;  // the head line
    std::vector<std::string> tokens;
    std::size_t i = 0;
    while (i < line.size()) {
      while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r')) ++i;
      std::size_t j = i;
      while (j < line.size() && line[j] != ' ' && line[j] != '\t' && line[j] != '\r') ++j;
      if (j > i) tokens.emplace_back(line.substr(i, j - i));
      i = j;
    }
    if (tokens.empty()) continue;
    if (static_cast<int>(tokens.size()) < channels + 1) {
      problem = prefix + "строка " + std::to_string(lineNumber) + ": мало значений";
      return false;
    }
    std::vector<int> values;
    for (int c = 0; c < channels; ++c) {
      const auto v = parseInteger(tokens[static_cast<std::size_t>(c + 1)]);
      if (!v || *v < -32768 || *v > 32767) {
        problem = prefix + "строка " + std::to_string(lineNumber) + ": не целое число";
        return false;
      }
      values.push_back(*v);
    }
    subjects.push_back(std::move(values));
    if (subjects.size() == 200) break;
  }
  if (subjects.empty()) {
    problem = prefix + "нет строк испытуемых";
    return false;
  }
  s.viewMode = ViewMode::EpochMaps;
  for (std::size_t i = 0; i < subjects.size(); ++i)
    for (int c = 0; c < channels; ++c) s.resultPut(0, c, static_cast<int>(i), subjects[i][static_cast<std::size_t>(c)]);
  s.epochCount = static_cast<int>(subjects.size());
  s.currentEpoch = 0;
  s.currentBand = 0;
  return true;
}

TextTableExtras mapTextExtras(const StudyState& s, const MapSettings& m) {
  TextTableExtras x;
  x.measureText = map_text::kMeasureNames[std::clamp(s.bandMode, 0, 3)];
  x.asymmetry = m.asymmetry;
  const int step = m.mapScaleStep;
  x.asymmetryStep = [&s, step](std::vector<int>& codes) {
    std::vector<MapElectrode> e(codes.size());
    for (std::size_t r = 0; r < codes.size(); ++r) {
      e[r].row = static_cast<int>(r);
      const int c = bandMapCode(s, static_cast<int>(r), codes[r]);
      e[r].raw = c;
      e[r].value = bandCodeMapValue(s, c, step);
    }
    applyAsymmetry(s, ViewMode::EpochMaps, e);
    for (std::size_t r = 0; r < codes.size(); ++r) codes[r] = e[r].value;
  };
  return x;
}

}  // namespace velor

namespace velor {

MapScaleLegend mapScaleLegend(const StudyState& s, const MapSettings& m, int band) {
  MapScaleLegend l;
  constexpr double kAt[3] = {0, 128, 255};
  if (m.asymmetry) {
    // both sides on one scale: −1 all right, +1 all left
    l.values = {-1, 0, 1};
    return l;
  }
  // The common scale the electrodes are drawn on: the first positioned
  // channel's when the EEG channels share one calibration, else 100 µV in 2047 codes.
  int first = 0;
  for (int c = 0; c < channelLimit(s); ++c)
    if (positioned(s, c)) {
      first = c;
      break;
    }
  const MapScale scale = mapScaleOf(s, first);
  const double microvolts = scale.factor == 1.0 ? s.microvoltsPerCode(first) : kCommonMicrovoltsPerCode;
  const bool amplitude = s.transformKind == TransformKind::Amplitude || s.transformKind == TransformKind::Envelope;
  const bool power = s.transformKind == TransformKind::Power;
  if (showsBandMeasures(s.viewMode)) {
    if (s.bandMode >= 2) {
      // the frequency measures run from the band's low edge (0) to its high one (255)
      const int b = std::clamp(band, 0, kBandRows - 1);
      const double low = parseNumber(s.bandTable[static_cast<std::size_t>(b)].low).value_or(0);
      const double high = parseNumber(s.bandTable[static_cast<std::size_t>(b)].high).value_or(0);
      for (int i = 0; i < 3; ++i) l.values[static_cast<std::size_t>(i)] = low + (high - low) * kAt[i] / 255.0;
      l.unit = map_text::kUnitHertz;
      return l;
    }
    if (s.transformKind == TransformKind::Coherence || s.transformKind == TransformKind::Synchrony) {
      for (int i = 0; i < 3; ++i) l.values[static_cast<std::size_t>(i)] = kAt[i] / 255.0;
      return l;
    }
    // value = c × 1.2^mapScaleStep × 4 / 16, c on the common scale
    double perCode = 1;
    if (amplitude || (power && s.bandMode == 1)) {
      perCode = microvolts;
      l.unit = map_text::kUnitMicrovolts;
    } else if (power) {
      // shared calibrations keep the store's binary scale; mixed ones are scaled already
      perCode = microvolts * microvolts * (scale.factor == 1.0 ? std::ldexp(1.0, std::clamp(s.resultPowerShift, 0, 48)) : 1.0);
      l.unit = map_text::kUnitMicrovoltsSquared;
    }
    for (int i = 0; i < 3; ++i)
      l.values[static_cast<std::size_t>(i)] = kAt[i] * 4.0 / gainFactor(m.mapScaleStep) * perCode;
    return l;
  }
  const double gain = gainFactor(s.gainStep);
  if (s.viewMode == ViewMode::Signals) {
    // value = trunc(1.2^gainStep × v / units × 127) + 128
    for (int i = 0; i < 3; ++i)
      l.values[static_cast<std::size_t>(i)] = (kAt[i] - 128) / 127.0 * scale.units / gain * microvolts;
    l.unit = map_text::kUnitMicrovolts;
    return l;
  }
  // spectra: value = 1.2^gainStep × code / units × 255
  double perCode = 1;
  if (amplitude) {
    perCode = microvolts;
    l.unit = map_text::kUnitMicrovolts;
  } else if (power) {
    perCode = microvolts * microvolts * std::ldexp(1.0, std::clamp(s.powerShift, 0, 48));
    l.unit = map_text::kUnitMicrovoltsSquared;
  }
  for (int i = 0; i < 3; ++i) l.values[static_cast<std::size_t>(i)] = kAt[i] / 255.0 * scale.units / gain * perCode;
  return l;
}

}  // namespace velor
