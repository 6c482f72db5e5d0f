// Topographic maps: the electrode list of the current channel table, the
// value of each electrode (instantaneous amplitude at the cursor, spectral
// amplitude at the cursor frequency, or a band measure of the result store),
// the asymmetry step, the interpolation onto the 64 × 64 head grid, the colour
// scale, the band diagrams and epoch maps that fill the result store, map
// cards (".cam") with their averaging and comparison statistics, and the text
// table of the map values.
//
// Everything here is plain integer/float work on the study state; the map
// window and `velor-cli map` draw the overlay (head outline, names, bars) on
// top of the RGB picture of the grid made here.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/interaction.h"
#include "core/study_state.h"
#include "eeg/spectral.h"
#include "interchange/text_record.h"

namespace velor {

inline constexpr int kMapGrid = 64;            // head grid side
inline constexpr int kMapNoPosition = 240;     // channelPosX at or above: not on the head
inline constexpr int kMapCardHeaderSize = 332; // fixed part of a ".cam" file
inline constexpr int kMapCardBandNames = 16;   // band names a card keeps
inline constexpr int kMapCardField = 10;       // characters of one number in a card

using MapGrid = std::array<std::uint8_t, kMapGrid * kMapGrid>;  // row-major, row = y

struct MapRgb {
  std::uint8_t r = 0, g = 0, b = 0;
  bool operator==(const MapRgb&) const = default;
};

// Display settings the map window keeps between redraws.
struct MapSettings {
  bool asymmetry = false;  // "Асим"
  bool colour = true;      // "цвет"
  int mapScaleStep = 0;    // diagram scale: factor 1.2^mapScaleStep
};

struct MapElectrode {
  int x = 0, y = 0;  // head grid position
  int value = 0;     // 0..255 after scaling (and asymmetry)
  double raw = 0;    // unscaled value the asymmetry of modes 1..3 works on
  int row = 0;       // channel index
};

struct MapPair {
  int row = 0;    // lead pair index
  int a = 0, b = 0;  // 0-based channels
  int value = 0;  // 0..255
};

// Colour of a level 0..63 (grid value >> 2); grey 255 − 4 × level when
// `colour` is false. Levels outside 0..63 are clamped.
MapRgb mapLevelColour(int level, bool colour);

// True when the rows of the current display are lead pairs (pair measures
// other than the envelope, with pairs defined, outside the signal view).
bool mapShowsPairs(const StudyState& s);
// Slice the band modes read: 0 for the band diagrams, currentEpoch in the
// modes whose slices are epochs.
int mapSlice(const StudyState& s);
// Rows of the band diagrams: lead pairs or channels (28 → 20, 44 → 36).
int mapRowCount(const StudyState& s);
// Name of a diagram row: the channel name, or the two trimmed names of a pair
// joined by "-".
std::string mapRowName(const StudyState& s, int row);

// Value of one channel at sample `sample` in view mode 0 or 1 (0..255), and
// the unscaled value the asymmetry works on.
int sampleMapValue(const StudyState& s, int channel, int sample, double* unscaled = nullptr);
// c = band measure code of (band, row, slice); value 0..255 by bandMode and kind.
int bandMapValue(const StudyState& s, int row, int band, int slice, int mapScaleStep, double* unscaled = nullptr);
// The map value 0..255 of a band measure code c by bandMode and kind.
int bandCodeMapValue(const StudyState& s, int c, int mapScaleStep);
// A stored band code of a row on the maps' common scale: as stored when the
// EEG channels share one calibration, otherwise the codes of 100 µV in 2047.
int bandMapCode(const StudyState& s, int row, int code);

// The electrodes of the positioned channels with their values for the current
// view mode (the cursor sample for signals and the transform view; band `band` of slice `slice`
// in the band modes); the asymmetry step applied when settings ask for it.
std::vector<MapElectrode> mapElectrodes(const StudyState& s, const MapSettings& m, int sample, int band, int slice);
// A frame k (0..3) of the epoch animation between epochs p and p + 1 of
// band `band`: v_p + trunc((v_(p+1) − v_p) × k / 4 + 0.5) per electrode,
// then the asymmetry step when the settings ask for it.
std::vector<MapElectrode> epochFrameElectrodes(const StudyState& s, const MapSettings& m, int band, int p, int k);
// The asymmetry step over the electrode list (mode is the view mode).
void applyAsymmetry(const StudyState& s, ViewMode mode, std::vector<MapElectrode>& e);
// The lead pairs with both electrodes positioned and their values.
std::vector<MapPair> mapPairs(const StudyState& s, const MapSettings& m, int sample, int band, int slice);

// What the colour bar stands for: the measure's values at map values 0,
// 128 and 255 (the bar's bottom, middle and top) in `unit` — "мкВ" for
// amplitudes, "мкВ²" for powers, "Гц" for the frequency measures, empty for
// ratios, codes and the asymmetry (−1 .. 1). `band` is the band of the band
// modes.
struct MapScaleLegend {
  std::array<double, 3> values{};
  std::string unit;
};
MapScaleLegend mapScaleLegend(const StudyState& s, const MapSettings& m, int band);

// Inverse-square interpolation of the electrodes onto the grid in 32-bit
// integers. Returns false (grid left all 0) when there is no electrode.
bool interpolateMap(const MapElectrode* e, int count, MapGrid& grid);
inline bool interpolateMap(const std::vector<MapElectrode>& e, MapGrid& grid) {
  return interpolateMap(e.data(), static_cast<int>(e.size()), grid);
}
// The grid as 64 × 64 pixels 0xAARRGGBB (opaque) through the colour scale.
void mapGridToArgb(const MapGrid& grid, bool colour, std::uint32_t* out);

// Title over the map: suffix by kind, "-Асим"; in the diagram modes the band
// name, "-", the measure name and the suffix.
std::string mapTitle(const StudyState& s, const MapSettings& m);
// Caption of the map window: mode name (0 "Карта", 1 "Мульти", 2 "Серия"), ": ", title.
std::string mapCaption(const StudyState& s, const MapSettings& m, int mappingMode);

// The band diagrams ("&2=Диа") or epoch maps ("&3=Эпохи"), `mode` being the view mode:
// band measures into resultStore, "PowerSpectr.txt" in programDir for the
// power measure, m.mapScaleStep from the largest slice-0 value, viewMode :=
// mode, currentEpoch := 0. Without bands the message "Не установлены
// частотные диапазоны!" and the signals view. Returns false (message shown, state
// otherwise unchanged) when nothing was computed.
bool runBandDiagrams(SpectralEngine& engine, StudyState& s, ViewMode mode, Interaction& ui, MapSettings& m);
// The diagram scale step for a largest slice-0 value p (0 when p ≤ 0).
int diagramScaleStep(int largest, TransformKind transformKind);

// --- map cards -----------------------------------------------------------------
struct MapCard {
  std::string header;  // UTF-8 examination header
  int rows = 0;
  int bandMode = 0;
  TransformKind transformKind = TransformKind::Amplitude;
  int count = 1;  // maps averaged into the card, 1..255
  ViewMode viewMode = ViewMode::Signals;
  int bands = 0;
  std::array<std::string, kMapCardBandNames> bandNames{};  // UTF-8, trimmed
  std::vector<double> mean;        // bands × rows, index band × rows + row
  std::vector<double> meanSquare;  // likewise
  double meanAt(int band, int row) const { return mean[static_cast<std::size_t>(band * rows + row)]; }
  double squareAt(int band, int row) const { return meanSquare[static_cast<std::size_t>(band * rows + row)]; }
};

// The values of the current map as a card of one map (the values of the card
// rows in the current view mode).
MapCard currentMapCard(const StudyState& s);
// What "Сохранить" stores: in the modes whose slices are epochs the mean and mean of squares
// over the `epochs` epoch slices with their count; otherwise the current map.
MapCard savedMapCard(const StudyState& s, int epochs);
// Same view mode (or both band modes), rows, kind, band measure and band count.
bool mapCardsCompatible(const MapCard& a, const MapCard& b);
// Weighted by the counts; false (nothing changed) when incompatible.
bool averageMapCards(MapCard& into, const MapCard& other);

std::string encodeMapCard(const MapCard& c);
// Reads the bytes of a ".cam" file; false with the reason when they are not one.
bool decodeMapCard(std::string_view bytes, MapCard& c, std::string& problem);
bool writeMapCard(const std::string& path, const MapCard& c, std::string& problem);
bool readMapCard(const std::string& path, MapCard& c, std::string& problem);

// The three statistic maps of each band (single card: E, S, V; comparison
// with `other` means: T, E, Z) as display values 0..255, index
// (band × 3 + statistic) × rows + row.
std::vector<int> cardStatisticValues(const MapCard& card, const std::vector<double>* other, int mapScaleStep);

// Tests of a comparison over the rows of one band: signed-rank sum W,
// two-sample distance D, rank correlation S, each with its probability.
struct CardTests {
  double w = 0, pw = 1, d = 0, pd = 1, s = 0, ps = 1;
};
CardTests compareCardValues(const std::vector<double>& t, const std::vector<double>& e);
// A probability as shown: truncated to 3 decimals, "#" appended below 0.05.
std::string probabilityText(double p);
// Upper tail of the standard normal distribution.
double normalTail(double z);

// "R": a table of subjects (UTF-8 text, one subject a line after a head
// line; the first token of a line is its name, then one integer per
// channel) into band 0 of slices 0, 1, … so that each subject is one epoch;
// epochCount := the number of subjects (at most 200), viewMode epoch maps, band and
// epoch 0. False with the reason, state unchanged, for a table without
// subjects, a short line or a token that is not an integer.
bool readSubjectMaps(StudyState& s, std::string_view text, std::string& problem);

// --- the values as text ("Экспорт", F4) -------------------------------------------
// What the text record writer takes from the map for the band-per-epoch
// table: the measure text the "Карты" window shows and, with asymmetry on,
// the asymmetry step turning the band measure codes of all rows into the
// map values 0..255 the map shows (127 = no asymmetry).
TextTableExtras mapTextExtras(const StudyState& s, const MapSettings& m);

}  // namespace velor
