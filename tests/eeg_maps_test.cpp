#include <gtest/gtest.h>

#include <cmath>
#include <fstream>

#include "core/interaction.h"
#include "core/numtext.h"
#include "core/record_file.h"
#include "core/study_state.h"
#include "core/text.h"
#include "eeg/band_table.h"
#include "eeg/map_texts.h"
#include "eeg/maps.h"
#include "eeg/spectral.h"
#include "shell/file_dispatch.h"
#include "test_support.h"
#include "tools/demo_study.h"

namespace velor {
namespace {

MapElectrode electrode(int x, int y, int value) {
  MapElectrode e;
  e.x = x;
  e.y = y;
  e.value = value;
  return e;
}

int at(const MapGrid& g, int x, int y) { return g[static_cast<std::size_t>(y * kMapGrid + x)]; }

// A state with the demo study's channel table and one record of it.
void loadDemo(StudyState& s) {
  DemoStudyOptions o;
  o.records = 1;
  setupDemoStudy(s, o);
  synthesizeDemoRecord(s, o, 0);
  installDefaultBands(s);
}

TEST(MapInterpolation, ElectrodePointsAndTheNearZone) {
  // a point on an electrode takes its value exactly, even beside a nearer-weighing one
  const MapElectrode two[] = {electrode(10, 10, 200), electrode(12, 10, 40)};
  MapGrid g;
  ASSERT_TRUE(interpolateMap(two, 2, g));
  EXPECT_EQ(at(g, 10, 10), 200);
  EXPECT_EQ(at(g, 12, 10), 40);
  // inside distance √10 every point weighs as √11: (11, 10) is 1 from both → mean;
  // (11, 12) is √5 from both → the same mean
  EXPECT_EQ(at(g, 11, 10), 120);
  EXPECT_EQ(at(g, 11, 12), 120);
  // (10, 13): d² 9 and 13 → weights 59578 and 50412
  const int w1 = 655360 / 11, w2 = 655360 / 13;
  EXPECT_EQ(at(g, 10, 13), (w1 * 200 + w2 * 40) / (w1 + w2));

  // a single electrode colours the whole head
  const MapElectrode one[] = {electrode(31, 31, 77)};
  ASSERT_TRUE(interpolateMap(one, 1, g));
  for (int v : g) ASSERT_EQ(v, 77);

  // no electrode: an empty head
  EXPECT_FALSE(interpolateMap(one, 0, g));
}

TEST(MapInterpolation, SumsStayWithin32BitsForAFullCap) {
  // 64 electrodes at 255 right around one point: weights shifted down, value exact
  std::vector<MapElectrode> e;
  for (int i = 0; i < 64; ++i) e.push_back(electrode(30 + i % 3, 29 + i / 32, 255));
  MapGrid g;
  ASSERT_TRUE(interpolateMap(e, g));
  for (int v : g) ASSERT_EQ(v, 255);
}

TEST(MapColours, ScaleLevelsAndGrey) {
  EXPECT_EQ(mapLevelColour(0, true), (MapRgb{0, 0, 0}));
  EXPECT_EQ(mapLevelColour(1, true), (MapRgb{0, 0, 107}));
  EXPECT_EQ(mapLevelColour(12, true), (MapRgb{0, 107, 255}));
  EXPECT_EQ(mapLevelColour(32, true), (MapRgb{255, 255, 255}));
  EXPECT_EQ(mapLevelColour(50, true), (MapRgb{255, 0, 0}));
  EXPECT_EQ(mapLevelColour(62, true), (MapRgb{93, 0, 0}));
  EXPECT_EQ(mapLevelColour(63, true), (MapRgb{0, 0, 0}));
  EXPECT_EQ(mapLevelColour(10, false), (MapRgb{215, 215, 215}));
  EXPECT_EQ(mapLevelColour(99, false), mapLevelColour(63, false));
}

TEST(MapValues, ZeroAmplitudeIsWhitePositiveRedNegativeBlue) {
  StudyState s;
  s.channelCount = 3;
  s.recordLength = 10;
  for (int c = 0; c < 3; ++c) {
    s.zeroLevel[c] = 2048;
    s.calibUnits[c] = 100;
    s.channelPosX[c] = static_cast<std::uint8_t>(10 + 20 * c);
    s.channelPosY[c] = 31;
  }
  s.channel(0)[4] = 2048;        // zero
  s.channel(1)[4] = 2048 + 200;  // strongly positive
  s.channel(2)[4] = 2048 - 200;  // strongly negative
  s.viewMode = ViewMode::Signals;
  const auto e = mapElectrodes(s, {}, 4, 0, 0);
  ASSERT_EQ(e.size(), 3u);
  EXPECT_EQ(e[0].value, 128);
  EXPECT_EQ(mapLevelColour(e[0].value >> 2, true), (MapRgb{255, 255, 255}));
  EXPECT_EQ(e[1].value, 255);
  EXPECT_EQ(mapLevelColour(e[1].value >> 2, true).b, 0);
  EXPECT_EQ(e[2].value, 0);
  // with a selection anchor the difference to the anchor sample counts
  s.channel(0)[2] = 2048 - 50;
  s.selectionAnchor = 2;
  EXPECT_EQ(sampleMapValue(s, 0, 4), 128 + 63);
  // a channel without a position is left out
  s.channelPosX[1] = kKindEcg;
  EXPECT_EQ(mapElectrodes(s, {}, 4, 0, 0).size(), 2u);
}

TEST(MapValues, AsymmetryOfEqualSidesIs127AndFollowsTheSign) {
  StudyState s;
  s.channelCount = 4;
  s.bandCount = 1;
  const char* names[] = {"O1", "O2", "Cz", "T3"};
  for (int c = 0; c < 4; ++c) {
    s.channelNames[c] = names[c];
    s.channelPosX[c] = static_cast<std::uint8_t>(10 + 10 * c);
    s.channelPosY[c] = 40;
  }
  s.viewMode = ViewMode::BandDiagrams;
  s.bandMode = 0;
  MapSettings m;
  m.asymmetry = true;
  struct Case {
    int left, right, wantLeft, wantRight;
  } cases[] = {
      {100, 100, 127, 127},  // equal sides
      {300, 100, 191, 63},   // a = 0.5: trunc(0.5 + 191.25), trunc(63.75 − 0.5)
      {0, 100, 0, 255},      // a = −1
      {0, 0, 127, 127},      // both zero: a = 0
  };
  for (const Case& c : cases) {
    s.resultPut(0, 0, 0, c.left);
    s.resultPut(0, 1, 0, c.right);
    s.resultPut(0, 2, 0, 500);
    const auto e = mapElectrodes(s, m, 0, 0, 0);
    ASSERT_EQ(e.size(), 4u);
    EXPECT_EQ(e[0].value, c.wantLeft) << c.left << " " << c.right;
    EXPECT_EQ(e[1].value, c.wantRight) << c.left << " " << c.right;
    EXPECT_EQ(e[2].value, 127);  // midline paired with itself
  }
  // T3 has no partner T4: untouched
  s.resultPut(0, 3, 0, 40);
  EXPECT_EQ(mapElectrodes(s, m, 0, 0, 0)[3].value, 10);  // 40 × 4 / 16

  // signal mode: values of the amplitude step
  s.viewMode = ViewMode::Signals;
  s.recordLength = 4;
  for (int c = 0; c < 4; ++c) {
    s.zeroLevel[c] = 2048;
    s.calibUnits[c] = 127;
    s.channel(c)[0] = 2048;
  }
  s.channel(0)[0] = 2048 + 50;  // 178
  s.channel(1)[0] = 2048 + 50;  // 178
  const auto e = mapElectrodes(s, m, 0, 0, 0);
  EXPECT_EQ(e[0].value, 127);
  EXPECT_EQ(e[1].value, 127);
}

TEST(MapValues, EpochAnimationFramesStepAQuarterAtATime) {
  StudyState s;
  s.channelCount = 1;
  s.bandCount = 1;
  s.viewMode = ViewMode::EpochMaps;
  s.bandMode = 2;  // values are the codes
  s.channelPosX[0] = s.channelPosY[0] = 31;
  s.resultPut(0, 0, 4, 10);
  s.resultPut(0, 0, 5, 21);
  const int want[] = {10, 13, 16, 18, 21};  // 10 + trunc(11k/4 + 0.5)
  for (int k = 0; k <= 4; ++k) EXPECT_EQ(epochFrameElectrodes(s, {}, 0, 4, k)[0].value, want[k]) << k;
}

TEST(MapValues, BandValuesByMeasureAndKind) {
  StudyState s;
  s.channelCount = 2;
  s.bandCount = 2;
  s.viewMode = ViewMode::BandDiagrams;
  s.resultPut(1, 0, 0, 256);
  s.transformKind = TransformKind::Amplitude;
  s.bandMode = 0;
  EXPECT_EQ(bandMapValue(s, 0, 1, 0, 0), 64);     // 256 × 4 / 16
  EXPECT_EQ(bandMapValue(s, 0, 1, 0, 5), 159);    // × 1.2^5
  EXPECT_EQ(bandMapValue(s, 0, 1, 0, 30), 255);   // limited
  s.transformKind = TransformKind::Coherence;
  s.resultPut(1, 0, 0, 4095);
  EXPECT_EQ(bandMapValue(s, 0, 1, 0, 0), 255);
  s.bandMode = 2;
  s.resultPut(1, 0, 0, 77);
  EXPECT_EQ(bandMapValue(s, 0, 1, 0, 0), 77);
}

TEST(MapTitle, SuffixesAndDiagramTitle) {
  StudyState s;
  installDefaultBands(s);
  MapSettings m;
  s.viewMode = ViewMode::Signals;
  s.transformKind = TransformKind::Amplitude;
  EXPECT_EQ(mapTitle(s, m), "");
  s.viewMode = ViewMode::Transform;
  s.transformKind = TransformKind::Power;
  m.asymmetry = true;
  EXPECT_EQ(mapTitle(s, m), "-Мощность-Асим");
  s.viewMode = ViewMode::BandDiagrams;
  s.currentBand = 2;
  s.bandMode = 0;
  s.transformKind = TransformKind::Amplitude;
  m.asymmetry = false;
  EXPECT_EQ(mapTitle(s, m), trimSpaces(s.bandTable[2].name) + "-Aср");
  EXPECT_EQ(mapCaption(s, m, 2), "Серия: " + mapTitle(s, m));
}

// The demo study's alpha band: highest over the occipital leads and
// symmetric left to right.
TEST(BandDiagrams, DemoAlphaMapIsOccipitalAndSymmetric) {
  StudyState s;
  loadDemo(s);
  s.epochLength = s.epochStep = 512;
  s.normaliseEpochGrid();
  SpectralEngine engine;
  ScriptedInteraction ui;
  test::TempDir dir;
  s.programDir = dir.path() + "/";
  MapSettings m;
  for (ViewMode mode : {ViewMode::BandDiagrams, ViewMode::EpochMaps}) {
    s.transformKind = TransformKind::Amplitude;
    s.bandMode = 0;
    s.currentEpoch = 0;
    ASSERT_TRUE(runBandDiagrams(engine, s, mode, ui, m)) << (ui.messages.empty() ? "" : ui.messages.back());
    EXPECT_EQ(s.viewMode, mode);
    const int alpha = 2;
    const int slice = mode == ViewMode::EpochMaps ? s.epochCount : 0;  // the mean over the epochs
    const auto e = mapElectrodes(s, m, 0, alpha, slice);
    ASSERT_EQ(e.size(), 19u);
    MapGrid g;
    ASSERT_TRUE(interpolateMap(e, g));
    // highest electrode is occipital
    const auto top = std::max_element(e.begin(), e.end(), [](auto& a, auto& b) { return a.value < b.value; });
    const std::string name = s.channelNames[static_cast<std::size_t>(top->row)];
    EXPECT_TRUE(name == "O1" || name == "O2") << name;
    // back of the head above the front
    EXPECT_GT(at(g, 31, 56), at(g, 31, 8) + 60);
    // mirrored cells agree within a tolerance
    int worst = 0;
    for (int y = 0; y < kMapGrid; ++y)
      for (int x = 0; x <= 62; ++x) worst = std::max(worst, std::abs(at(g, x, y) - at(g, 62 - x, y)));
    EXPECT_LE(worst, 40) << "mode " << mode;
  }
  // the scale step brings the largest value near 1024
  int largest = 0;
  for (int b = 0; b < s.bandCount; ++b)
    for (int r = 0; r < mapRowCount(s); ++r) largest = std::max(largest, s.resultGet(b, r, 0));
  EXPECT_NEAR(largest * std::pow(1.2, m.mapScaleStep), 1024, 1024 * 0.1);
}

// A real resting EEG with an ECG channel ten times its size: the band maps'
// scale fits the electrodes on the head, so the strongest of them reaches
// the top colours instead of all sitting at the bottom.
TEST(BandDiagrams, ScaleFitsTheElectrodesOnTheHeadNotAnEcgChannel) {
  StudyState s;
  ScriptedInteraction ui;
  ASSERT_TRUE(openFile(s, FileKind::Records, test::sharedData("eegmat/Subject00_1.edf"), ui));
  ASSERT_EQ(s.channelPosX[20], kKindEcg);
  ASSERT_TRUE(installDefaultBands(s));
  test::TempDir dir;
  s.programDir = dir.path() + "/";
  SpectralEngine engine;
  MapSettings m;
  ASSERT_TRUE(runBandDiagrams(engine, s, ViewMode::BandDiagrams, ui, m));
  int top = 0;
  for (int b = 0; b < s.bandCount; ++b)
    for (const MapElectrode& e : mapElectrodes(s, m, 0, b, 0)) top = std::max(top, e.value);
  EXPECT_GE(top, 200);
  closeRecordFile(s);
}

TEST(BandDiagrams, EpochMapsStoreEverySliceAndTheirMean) {
  StudyState s;
  loadDemo(s);
  s.epochLength = s.epochStep = 1024;
  s.normaliseEpochGrid();
  SpectralEngine engine;
  ScriptedInteraction ui;
  test::TempDir dir;
  s.programDir = dir.path() + "/";
  MapSettings m;
  s.transformKind = TransformKind::Power;
  s.currentBand = 2;
  ASSERT_TRUE(runBandDiagrams(engine, s, ViewMode::EpochMaps, ui, m));
  const int k = s.epochCount;
  ASSERT_GE(k, 2);
  for (int r : {0, 17}) {
    long long sum = 0;
    for (int e = 0; e < k; ++e) sum += s.resultGet(2, r, e);
    EXPECT_EQ(s.resultGet(2, r, k), static_cast<int>(std::floor(static_cast<double>(sum) / k + 0.5)));
  }
  // the power lines, one per epoch
  const std::string power = test::readBytes(dir.file("PowerSpectr.txt"));
  EXPECT_EQ(std::count(power.begin(), power.end(), '\n'), k);
  // the values text: a head line, the row names line and one line per epoch
  s.viewMode = ViewMode::EpochMaps;
  const std::string text = cp1251ToUtf8(textRecordBody(s, mapTextExtras(s, m)));
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), k + 2);
  EXPECT_EQ(text.substr(0, text.find("\r\n")), trimSpaces(s.bandTable[2].name) + "-Aср");
}

// "Экспорт" (F4) of the band-per-epoch table with asymmetry on: each pair's
// values become the asymmetry the map shows, in percent of full scale.
TEST(BandDiagrams, ValuesTextCarriesTheMapsAsymmetry) {
  StudyState s;
  s.channelCount = 3;
  s.channelNames[0] = "O1";
  s.channelNames[1] = "O2";
  s.channelNames[2] = "Cz";
  s.sampleRate = 250;
  s.bandCount = 1;
  s.bandTable[0] = {"alpha", "8", "13"};
  s.currentBand = 0;
  s.epochCount = 1;
  s.epochStep = 250;
  s.resultPut(0, 0, 0, 300);
  s.resultPut(0, 1, 0, 100);
  s.resultPut(0, 2, 0, 50);
  s.viewMode = ViewMode::EpochMaps;
  MapSettings m;
  m.asymmetry = true;
  const std::string text = cp1251ToUtf8(textRecordBody(s, mapTextExtras(s, m)));
  // a = (300 − 100) / 400: O1 gets trunc(0.5 + 0.75 × 255) = 191, O2 trunc(0.25 × 255 − 0.5) = 63;
  // Cz is its own pair: 127, no asymmetry
  EXPECT_EQ(text, "alpha-Aср-Asym\r\nT[sec] O1 O2 Cz\r\n0 50.1 -50.1 0\r\n");
}

TEST(BandDiagrams, NoBandsOrNoEpochsChangeNothing) {
  StudyState s;
  loadDemo(s);
  SpectralEngine engine;
  ScriptedInteraction ui;
  MapSettings m;
  m.mapScaleStep = 7;
  s.bandCount = 0;
  s.viewMode = ViewMode::BandDiagrams;
  EXPECT_FALSE(runBandDiagrams(engine, s, ViewMode::BandDiagrams, ui, m));
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0], "Не установлены частотные диапазоны!");
  EXPECT_EQ(s.viewMode, ViewMode::Signals);
  EXPECT_EQ(m.mapScaleStep, 7);
  // an epoch that does not fit the record
  installDefaultBands(s);
  s.epochLength = s.epochStep = 300;  // not a power of two
  EXPECT_FALSE(runBandDiagrams(engine, s, ViewMode::BandDiagrams, ui, m));
  EXPECT_EQ(s.viewMode, ViewMode::Signals);
  EXPECT_EQ(ui.messages.size(), 2u);
}

TEST(BandDiagrams, PairMeasuresKeepOneRowPerLeadPair) {
  // more pairs than channels: every pair keeps its own row
  StudyState s;
  loadDemo(s);
  s.epochLength = s.epochStep = 512;
  s.normaliseEpochGrid();
  s.leadPairCount = 30;
  for (int p = 0; p < 30; ++p) {
    s.leadPairs[p][0] = static_cast<std::uint8_t>(1 + p % 19);
    s.leadPairs[p][1] = static_cast<std::uint8_t>(1 + (p + 1 + p / 19) % 19);
  }
  s.transformKind = TransformKind::CrossSpectrum;
  SpectralEngine engine;
  ScriptedInteraction ui;
  MapSettings m;
  ASSERT_TRUE(runBandDiagrams(engine, s, ViewMode::BandDiagrams, ui, m));
  EXPECT_EQ(mapRowCount(s), 30);
  EXPECT_EQ(s.resultChannels(), 30);
  EXPECT_EQ(mapRowName(s, 0), "Fp1-Fp2");
  // pair 0 (Fp1-Fp2) and pair 19 (Fp1-F7) are different pairs with their own values
  const int alpha = 2;
  EXPECT_GT(s.resultGet(alpha, 19, 0), 0);
  EXPECT_GT(s.resultGet(alpha, 29, 0), 0);
  const auto pairs = mapPairs(s, m, 0, alpha, 0);
  EXPECT_EQ(pairs.size(), 30u);
}

// One strong electrode: the map's maximum sits at its head position.
TEST(AmplitudeMap, OneStrongElectrodeGivesTheMaximumAtItsPosition) {
  StudyState s;
  loadDemo(s);
  s.recordLength = 100;
  for (int c = 0; c < 19; ++c)
    for (int i = 0; i < 100; ++i) s.channel(c)[i] = static_cast<std::int16_t>(s.zeroLevel[c] + (c * 7 + i) % 5);
  const int strong = 13;  // P3
  s.channel(strong)[50] = static_cast<std::int16_t>(s.zeroLevel[strong] + 400);
  s.viewMode = ViewMode::Signals;
  s.selectionAnchor = -1;
  MapGrid g;
  ASSERT_TRUE(interpolateMap(mapElectrodes(s, {}, 50, 0, 0), g));
  const auto best = std::max_element(g.begin(), g.end()) - g.begin();
  EXPECT_EQ(best % kMapGrid, s.channelPosX[strong]);
  EXPECT_EQ(best / kMapGrid, s.channelPosY[strong]);
}

TEST(MapCards, WriteReadAverageCompareAcrossARestart) {
  test::TempDir dir;
  const std::string a = dir.file("a.cam"), b = dir.file("b.cam");
  {
    StudyState s;
    loadDemo(s);
    s.viewMode = ViewMode::BandDiagrams;
    s.bandCount = 3;
    for (int r = 0; r < 20; ++r)
      for (int band = 0; band < 3; ++band) s.resultPut(band, r, 0, 10 + r + band);
    std::string problem;
    ASSERT_TRUE(writeMapCard(a, savedMapCard(s, 1), problem)) << problem;
    for (int r = 0; r < 20; ++r)
      for (int band = 0; band < 3; ++band) s.resultPut(band, r, 0, 14 + r + band);
    ASSERT_TRUE(writeMapCard(b, currentMapCard(s), problem));
  }
  // a fresh program: read both, average the current map into one, compare
  StudyState s;
  loadDemo(s);
  s.viewMode = ViewMode::BandDiagrams;
  s.bandCount = 3;
  MapCard ca, cb;
  std::string problem;
  ASSERT_TRUE(readMapCard(a, ca, problem)) << problem;
  ASSERT_TRUE(readMapCard(b, cb, problem)) << problem;
  EXPECT_EQ(ca.header, s.examHeader);
  EXPECT_EQ(ca.rows, 20);
  EXPECT_EQ(ca.bands, 3);
  EXPECT_EQ(ca.bandNames[2], trimSpaces(s.bandTable[2].name));
  EXPECT_DOUBLE_EQ(ca.meanAt(1, 4), 15);
  EXPECT_DOUBLE_EQ(ca.squareAt(1, 4), 225);

  // a card of 3 maps with mean 10 averaged with a current value of 14: mean 11, n 4
  MapCard three = ca;
  three.count = 3;
  three.mean.assign(three.mean.size(), 10);
  three.meanSquare.assign(three.mean.size(), 100);
  for (int r = 0; r < 20; ++r)
    for (int band = 0; band < 3; ++band) s.resultPut(band, r, 0, 14);
  ASSERT_TRUE(averageMapCards(three, currentMapCard(s)));
  EXPECT_EQ(three.count, 4);
  EXPECT_DOUBLE_EQ(three.meanAt(0, 0), 11);
  EXPECT_DOUBLE_EQ(three.squareAt(0, 0), (3 * 100 + 196) / 4.0);
  ASSERT_TRUE(writeMapCard(a, three, problem));
  MapCard again;
  ASSERT_TRUE(readMapCard(a, again, problem));
  EXPECT_EQ(again.count, 4);
  EXPECT_DOUBLE_EQ(again.meanAt(2, 19), 11);

  // two cards weighted by their counts
  ASSERT_TRUE(averageMapCards(again, cb));
  EXPECT_EQ(again.count, 5);
  EXPECT_DOUBLE_EQ(again.meanAt(0, 0), (4 * 11 + 14) / 5.0);

  // mismatching parameters: nothing done
  MapCard other = cb;
  other.bandMode = 1;
  const MapCard before = again;
  EXPECT_FALSE(averageMapCards(again, other));
  EXPECT_EQ(again.mean, before.mean);
  EXPECT_EQ(again.count, before.count);
  other = cb;
  other.viewMode = ViewMode::EpochMaps;  // both band modes agree
  EXPECT_TRUE(mapCardsCompatible(cb, other));
  other.viewMode = ViewMode::Signals;
  EXPECT_FALSE(mapCardsCompatible(cb, other));

  // comparison statistics: equal cards give Z 128, differences move it
  const std::vector<double> same = cb.mean;
  const auto z = cardStatisticValues(cb, &same, 0);
  EXPECT_EQ(z[static_cast<std::size_t>(2 * cb.rows)], 128);
}

TEST(MapCards, CountSaturatesInItsByteAndEpochCardsAverageTheEpochs) {
  StudyState s;
  loadDemo(s);
  s.viewMode = ViewMode::EpochMaps;
  s.bandCount = 1;
  s.epochCount = 4;
  for (int e = 0; e < 4; ++e) s.resultPut(0, 0, e, 2 * e);  // 0 2 4 6
  const MapCard c = savedMapCard(s, 4);
  EXPECT_EQ(c.count, 4);
  EXPECT_DOUBLE_EQ(c.meanAt(0, 0), 3);
  EXPECT_DOUBLE_EQ(c.squareAt(0, 0), (0 + 4 + 16 + 36) / 4.0);
  MapCard big = c;
  big.count = 300;
  MapCard back;
  std::string problem;
  ASSERT_TRUE(decodeMapCard(encodeMapCard(big), back, problem));
  EXPECT_EQ(back.count, 255);
}

TEST(MapCards, HostileFilesAreRefused) {
  StudyState s;
  loadDemo(s);
  s.viewMode = ViewMode::BandDiagrams;
  s.bandCount = 2;
  const std::string good = encodeMapCard(currentMapCard(s));
  MapCard c;
  std::string problem;
  ASSERT_TRUE(decodeMapCard(good, c, problem));
  auto mutate = [&](std::size_t at, char v) {
    std::string t = good;
    t[at] = v;
    return t;
  };
  const std::string cases[] = {
      "",
      good.substr(0, 331),
      good.substr(0, good.size() - 1),  // values cut short
      mutate(166, 0),                    // no rows
      mutate(166, 100),                  // more rows than channels
      mutate(171, 0),                    // no bands
      mutate(171, static_cast<char>(200)),
      mutate(169, 0),                    // a card of no maps
      mutate(kMapCardHeaderSize + 3, 'x'),
  };
  for (const std::string& bad : cases) {
    MapCard keep = c;
    problem.clear();
    EXPECT_FALSE(decodeMapCard(bad, keep, problem)) << bad.size();
    EXPECT_EQ(problem.rfind(map_text::kInterrupted, 0), 0u);
    EXPECT_EQ(keep.mean, c.mean);  // left as it was
  }
  test::TempDir dir;
  EXPECT_FALSE(readMapCard(dir.file("missing.cam"), c, problem));
}

TEST(SubjectMaps, EachLineOfTheTableIsOneEpoch) {
  StudyState s;
  s.channelCount = 3;
  s.bandCount = 2;
  std::string problem;
  ASSERT_TRUE(readSubjectMaps(s, "Name C1 C2 C3\r\nivanov 10 20 30\r\npetrov 1 2 3 extra\r\n\r\n", problem)) << problem;
  EXPECT_EQ(s.viewMode, ViewMode::EpochMaps);
  EXPECT_EQ(s.epochCount, 2);
  EXPECT_EQ(s.resultGet(0, 2, 0), 30);
  EXPECT_EQ(s.resultGet(0, 0, 1), 1);
  const char* bad[] = {"", "head only\r\n", "h\nx 1 2\n", "h\nx 1 two 3\n", "h\nx 1 2 99999\n"};
  for (const char* text : bad) {
    s.epochCount = 7;
    problem.clear();
    EXPECT_FALSE(readSubjectMaps(s, text, problem)) << text;
    EXPECT_FALSE(problem.empty());
    EXPECT_EQ(s.epochCount, 7);
  }
  s.bandCount = 0;  // the store would not tell slices apart
  EXPECT_FALSE(readSubjectMaps(s, "h\nx 1 2 3\n", problem));
}

TEST(CardStatistics, TestsOfAComparison) {
  // identical sets: nothing differs
  const std::vector<double> a = {1, 2, 3, 4, 5, 6, 7, 8};
  CardTests t = compareCardValues(a, a);
  EXPECT_EQ(t.w, 0);
  EXPECT_DOUBLE_EQ(t.pw, 0.5);  // no nonzero differences: z = 0
  EXPECT_EQ(t.d, 0);
  EXPECT_DOUBLE_EQ(t.pd, 1);
  EXPECT_DOUBLE_EQ(t.s, 1);
  EXPECT_LT(t.ps, 0.05);
  // every value raised by 10: all differences positive, sets apart
  std::vector<double> b = a;
  for (double& v : b) v += 10;
  t = compareCardValues(b, a);
  EXPECT_EQ(t.w, 0);
  EXPECT_LT(t.pw, 0.05);
  EXPECT_DOUBLE_EQ(t.d, 1);
  EXPECT_LT(t.pd, 0.05);
  // lowered: the negative ranks sum to n(n + 1) / 2
  t = compareCardValues(a, b);
  EXPECT_EQ(t.w, 36);
  // ties share their mean rank
  t = compareCardValues({1, 2, 3}, {2, 3, 2});  // d = −1, −1, +1: all rank 2
  EXPECT_EQ(t.w, 4);
  EXPECT_EQ(probabilityText(0.04999), "0.049#");
  EXPECT_EQ(probabilityText(0.5), "0.5");
}

TEST(CardStatistics, SingleCardMapsAndScaling) {
  MapCard c;
  c.rows = 2;
  c.bands = 1;
  c.viewMode = ViewMode::BandDiagrams;
  c.bandMode = 1;
  c.mean = {16, 0};
  c.meanSquare = {16 * 16 + 64, 0};  // s = 8
  const auto v = cardStatisticValues(c, nullptr, 0);
  EXPECT_EQ(v[0], 2);                    // E: 16 × 2 / 16
  EXPECT_EQ(v[2], 1);                    // S: 8 × 2 / 16
  EXPECT_EQ(v[4], 42);                   // V: 8 / 16 × 85
  EXPECT_EQ(v[5], 0);                    // mean 0: no ratio
  const std::vector<double> other = {40, 0};
  const auto z = cardStatisticValues(c, &other, 0);
  EXPECT_EQ(z[4], 255);  // (40 − 16) / 8 × 127 / 3 + 128 limited
  EXPECT_EQ(z[5], 128);  // no spread and equal
}

}  // namespace
}  // namespace velor
