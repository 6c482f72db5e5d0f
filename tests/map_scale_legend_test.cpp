// The values and unit the map's colour bar is labelled with, against the
// scaling the electrodes are drawn with.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "core/study_state.h"
#include "eeg/map_texts.h"
#include "eeg/maps.h"

namespace velor {
namespace {

// One electrode of 100 µV in 2047 codes at the centre of the head, and an alpha band.
void oneElectrode(StudyState& s) {
  s.channelCount = 1;
  s.channelPosX[0] = 32;
  s.channelPosY[0] = 32;
  s.calibValue[0] = 100;
  s.calibUnits[0] = 2047;
  s.bandCount = 1;
  s.bandTable[0] = {"Альфа", "8", "13"};
}

struct LegendCase {
  const char* name;
  ViewMode view;
  TransformKind kind;
  int bandMode;
  int gainStep;
  int mapScaleStep;
  int resultPowerShift;
  bool asymmetry;
  double bottom, middle, top;
  const char* unit;
};

class MapScaleLegendCases : public ::testing::TestWithParam<LegendCase> {};

TEST_P(MapScaleLegendCases, ValuesAndUnit) {
  const LegendCase& c = GetParam();
  StudyState s;
  oneElectrode(s);
  s.viewMode = c.view;
  s.transformKind = c.kind;
  s.bandMode = c.bandMode;
  s.gainStep = c.gainStep;
  s.resultPowerShift = c.resultPowerShift;
  MapSettings m;
  m.mapScaleStep = c.mapScaleStep;
  m.asymmetry = c.asymmetry;
  const MapScaleLegend l = mapScaleLegend(s, m, 0);
  const double tolerance = 1e-6 * std::max(1.0, std::fabs(c.top));
  EXPECT_NEAR(l.values[0], c.bottom, tolerance);
  EXPECT_NEAR(l.values[1], c.middle, tolerance);
  EXPECT_NEAR(l.values[2], c.top, tolerance);
  EXPECT_EQ(l.unit, c.unit);
}

constexpr double kUv = 100.0 / 2047;
const double kGain1 = 1.2;

INSTANTIATE_TEST_SUITE_P(
    Measures, MapScaleLegendCases,
    ::testing::Values(
        // value = trunc(v / 2047 × 127) + 128: 2047 codes (100 µV) reach the top
        LegendCase{"signal", ViewMode::Signals, TransformKind::Amplitude, 0, 0, 0, 0, false, -128.0 / 127 * 100, 0, 100,
                   map_text::kUnitMicrovolts},
        LegendCase{"signalRaised", ViewMode::Signals, TransformKind::Amplitude, 0, 1, 0, 0, false,
                   -128.0 / 127 * 100 / kGain1, 0, 100 / kGain1, map_text::kUnitMicrovolts},
        // spectra: value = code / 2047 × 255
        LegendCase{"amplitudeSpectrum", ViewMode::Transform, TransformKind::Amplitude, 0, 0, 0, 0, false, 0,
                   128.0 / 255 * 100, 100, map_text::kUnitMicrovolts},
        // band amplitude: value = c × 4 / 16
        LegendCase{"bandAmplitude", ViewMode::BandDiagrams, TransformKind::Amplitude, 0, 0, 0, 0, false, 0,
                   128 * 4 * kUv, 255 * 4 * kUv, map_text::kUnitMicrovolts},
        LegendCase{"bandAmplitudeScaled", ViewMode::EpochMaps, TransformKind::Amplitude, 1, 0, 2, 0, false, 0,
                   128 * 4 * kUv / 1.44, 255 * 4 * kUv / 1.44, map_text::kUnitMicrovolts},
        // mean band power on the store's binary scale: squared codes × 2^shift
        LegendCase{"bandPower", ViewMode::BandDiagrams, TransformKind::Power, 0, 0, 0, 3, false, 0,
                   128 * 4 * kUv * kUv * 8, 255 * 4 * kUv * kUv * 8, map_text::kUnitMicrovoltsSquared},
        // the largest bin of a power spectrum is an amplitude
        LegendCase{"bandPowerPeak", ViewMode::BandDiagrams, TransformKind::Power, 1, 0, 0, 3, false, 0, 128 * 4 * kUv,
                   255 * 4 * kUv, map_text::kUnitMicrovolts},
        // frequency measures run across the band
        LegendCase{"meanFrequency", ViewMode::BandDiagrams, TransformKind::Amplitude, 2, 0, 0, 0, false, 8,
                   8 + 5 * 128.0 / 255, 13, map_text::kUnitHertz},
        LegendCase{"peakFrequency", ViewMode::EpochMaps, TransformKind::Power, 3, 0, 0, 0, false, 8, 8 + 5 * 128.0 / 255,
                   13, map_text::kUnitHertz},
        LegendCase{"coherence", ViewMode::BandDiagrams, TransformKind::Coherence, 0, 0, 0, 0, false, 0, 128.0 / 255, 1, ""},
        LegendCase{"asymmetry", ViewMode::Signals, TransformKind::Amplitude, 0, 0, 0, 0, true, -1, 0, 1, ""}),
    [](const ::testing::TestParamInfo<LegendCase>& i) { return std::string(i.param.name); });

// The legend's top is what an electrode at the top of the bar measures: a
// channel 100 µV above its zero level is drawn with the top colour.
TEST(MapScaleLegend, AgreesWithTheElectrodeScaling) {
  StudyState s;
  oneElectrode(s);
  s.recordLength = 1;
  s.zeroLevel[0] = 2048;
  s.channel(0)[0] = static_cast<std::int16_t>(2048 + 2047);
  EXPECT_EQ(sampleMapValue(s, 0, 0), 255);
  EXPECT_NEAR(mapScaleLegend(s, MapSettings{}, 0).values[2], 2047 * s.microvoltsPerCode(0), 1e-9);
  // channels of different calibrations are drawn on 100 µV in 2047 codes
  s.channelCount = 2;
  s.channelPosX[1] = 20;
  s.channelPosY[1] = 20;
  s.calibValue[1] = 50;
  s.calibUnits[1] = 2047;
  EXPECT_NEAR(mapScaleLegend(s, MapSettings{}, 0).values[2], 100.0, 1e-9);
}

}  // namespace
}  // namespace velor
