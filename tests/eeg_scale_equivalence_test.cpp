// One signal in microvolts, brought once as a record of this system (one
// common scale) and once as an EDF page whose channels each carry their own
// physical range: the monitor, the band measures, the montages and the maps
// must not tell the two apart.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <memory>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include "core/interaction.h"
#include "core/record_file.h"
#include "core/study_state.h"
#include "eeg/band_table.h"
#include "eeg/eeg_analysis.h"
#include "eeg/maps.h"
#include "eeg/spectral.h"
#include "shell/file_dispatch.h"
#include "test_support.h"
#include "viewer/monitor.h"

namespace velor {
namespace {

constexpr int kRate = 256;
constexpr int kSeconds = 8;
constexpr int kLength = kRate * kSeconds;
constexpr int kChannels = 8;
const char* const kNames[kChannels] = {"Fp1", "Fp2", "F3", "F4", "C3", "C4", "O1", "O2"};
// The EDF's physical range of each channel (±µV): four different scales.
constexpr double kRange[kChannels] = {100, 400, 250, 1000, 100, 400, 250, 1000};

// Posterior alpha larger than anterior, a little beta, seeded noise: µV.
std::vector<std::vector<double>> signals() {
  std::mt19937 gen(7);
  std::normal_distribution<double> noise(0.0, 2.0);
  const double alpha[kChannels] = {8, 9, 12, 13, 20, 22, 45, 48};
  std::vector<std::vector<double>> x(kChannels, std::vector<double>(kLength));
  for (int c = 0; c < kChannels; ++c)
    for (int i = 0; i < kLength; ++i) {
      const double t = static_cast<double>(i) / kRate;
      x[c][i] = alpha[c] * std::sin(2 * std::numbers::pi * 10 * t + 0.3 * c) +
                6 * std::sin(2 * std::numbers::pi * 21 * t) + noise(gen);
    }
  return x;
}

std::string field(const std::string& t, std::size_t w) {
  std::string x = t.substr(0, w);
  x.resize(w, ' ');
  return x;
}

// An EDF of one-second data records, every channel over ±kRange µV in full 16-bit codes.
std::string edfBytes(const std::vector<std::vector<double>>& x) {
  std::string h = field("0", 8) + field("X X X X", 80) + field("Startdate X X X X", 80) + field("01.02.03", 8) +
                  field("04.05.06", 8) + field(std::to_string(256 * (kChannels + 1)), 8) + field("", 44) +
                  field(std::to_string(kSeconds), 8) + field("1", 8) + field(std::to_string(kChannels), 4);
  for (const char* n : kNames) h += field(std::string("EEG ") + n, 16);
  for (int c = 0; c < kChannels; ++c) h += field("AgAgCl", 80);
  for (int c = 0; c < kChannels; ++c) h += field("uV", 8);
  for (int c = 0; c < kChannels; ++c) h += field(std::to_string(static_cast<int>(-kRange[c])), 8);
  for (int c = 0; c < kChannels; ++c) h += field(std::to_string(static_cast<int>(kRange[c])), 8);
  for (int c = 0; c < kChannels; ++c) h += field("-32767", 8);
  for (int c = 0; c < kChannels; ++c) h += field("32767", 8);
  for (int c = 0; c < kChannels; ++c) h += field("", 80);
  for (int c = 0; c < kChannels; ++c) h += field(std::to_string(kRate), 8);
  for (int c = 0; c < kChannels; ++c) h += field("", 32);
  for (int r = 0; r < kSeconds; ++r)
    for (int c = 0; c < kChannels; ++c)
      for (int i = r * kRate; i < (r + 1) * kRate; ++i) {
        const auto d = static_cast<std::int16_t>(std::lround(x[c][i] / kRange[c] * 32767));
        h += static_cast<char>(d & 0xFF);
        h += static_cast<char>((d >> 8) & 0xFF);
      }
  return h;
}

// The same signal as a record of this system: 100 µV in 2047 codes around 2048.
void writeCad(const std::vector<std::vector<double>>& x, const std::string& path) {
  auto s = std::make_unique<StudyState>();
  s->channelCount = kChannels;
  s->sampleRate = kRate;
  s->recordLength = kLength;
  for (int c = 0; c < kChannels; ++c) {
    s->channelNames[static_cast<std::size_t>(c)] = kNames[c];
    s->zeroLevel[c] = 2048;
    s->calibUnits[c] = 2047;
    s->calibValue[c] = 100;
    for (int i = 0; i < kLength; ++i) s->channelData[c][i] = static_cast<std::int16_t>(2048 + std::lround(x[c][i] * 20.47));
  }
  ScriptedInteraction ui;
  ASSERT_TRUE(saveRecords(*s, path, ui));
}

struct Opened {
  std::unique_ptr<StudyState> s = std::make_unique<StudyState>();
  ScriptedInteraction ui;
  MonitorView v;
  explicit Opened(const std::string& path) {
    s->monitorWidth = 800;
    s->monitorHeight = 615;
    s->shownChannelCount = kChannels;
    initialise(*s, v);
    EXPECT_TRUE(openFile(*s, FileKind::Records, path, ui)) << path;
    s->shownChannelCount = kChannels;
    layoutRows(*s, v);
    installDefaultBands(*s);
  }
  ~Opened() { closeRecordFile(*s); }
};

struct ScaleEquivalence : ::testing::Test {
  test::TempDir dir;
  std::vector<std::vector<double>> x = signals();
  std::unique_ptr<Opened> cad, edf;
  void SetUp() override {
    writeCad(x, dir.file("same.cad"));
    test::writeBytes(dir.file("same.edf"), edfBytes(x));
    openBoth();
  }
  void openBoth() {
    cad.reset();
    edf.reset();
    cad = std::make_unique<Opened>(dir.file("same.cad"));
    edf = std::make_unique<Opened>(dir.file("same.edf"));
    ASSERT_EQ(cad->s->channelCount, kChannels);
    ASSERT_EQ(edf->s->channelCount, kChannels);
    ASSERT_EQ(edf->s->recordLength, kLength);
    // the page really carries several scales, and every channel is EEG on the head
    EXPECT_NE(edf->s->microvoltsPerCode(0), edf->s->microvoltsPerCode(1));
    for (int c = 0; c < kChannels; ++c) {
      EXPECT_TRUE(cad->s->isEegChannel(c)) << c;
      EXPECT_TRUE(edf->s->isEegChannel(c)) << c;
    }
  }
};

// The drawing: each row's trace height over the whole record. The two
// formats may stand at different µV/mm (the caption says which), so each
// row is compared against the first row of its own picture.
TEST_F(ScaleEquivalence, RowsAreDrawnAtTheSameRelativeHeight) {
  auto heights = [](const StudyState& s) {
    std::vector<double> h;
    for (int row = 0; row < kChannels; ++row) {
      const TraceMapping m = traceMapping(s, row);
      int lo = 1 << 30, hi = -(1 << 30);
      for (int i = 0; i < kLength; ++i) {
        const int y = codeToY(m, s.channelData[row][i]);
        lo = std::min(lo, y);
        hi = std::max(hi, y);
      }
      h.push_back(hi - lo);
    }
    return h;
  };
  cad->s->gainStep = 4;
  const double wanted = sensitivityMicrovoltsPerMm(*cad->s);
  // the EDF at the gain step nearest the same sensitivity
  int best = 0;
  for (int g = -30; g <= 30; ++g) {
    edf->s->gainStep = g;
    const double d = std::abs(std::log(sensitivityMicrovoltsPerMm(*edf->s) / wanted));
    edf->s->gainStep = best;
    if (d < std::abs(std::log(sensitivityMicrovoltsPerMm(*edf->s) / wanted))) best = g;
  }
  edf->s->gainStep = best;
  const std::vector<double> a = heights(*cad->s), b = heights(*edf->s);
  ASSERT_GT(a[0], 20);
  const double scale = b[0] / a[0];
  EXPECT_NEAR(scale, sensitivityMicrovoltsPerMm(*cad->s) / sensitivityMicrovoltsPerMm(*edf->s), 0.05);
  for (int row = 1; row < kChannels; ++row) EXPECT_NEAR(b[row] / a[row], scale, 0.03 * scale) << kNames[row];
}

// Band measures in µV and µV², mean and largest, every band and channel.
TEST_F(ScaleEquivalence, BandMeasuresAgree) {
  for (TransformKind kind : {TransformKind::Amplitude, TransformKind::Power})
    for (int measure : {0, 1}) {
      std::vector<std::vector<double>> v[2];
      int k = 0;
      for (Opened* o : {cad.get(), edf.get()}) {
        StudyState& s = *o->s;
        s.epochLength = s.epochStep = 512;
        s.normaliseEpochGrid();
        s.transformKind = kind;
        s.bandMode = measure;
        SpectralEngine engine;
        engine.epochSpectra(s, 512, 0);
        for (int b = 0; b < s.bandCount; ++b) {
          v[k].emplace_back();
          for (int c = 0; c < kChannels; ++c) v[k].back().push_back(s.resultValue(b, c, 0));
        }
        ++k;
      }
      ASSERT_EQ(v[0].size(), v[1].size());
      ASSERT_GE(v[0].size(), 4u);
      // The result store keeps whole codes on one scale per analysis: a
      // weak band beside the alpha keeps about 1 % of the table's largest
      // value as its resolution, whatever format the signal came in.
      double largest = 0;
      for (const auto& row : v[0])
        for (double m : row) largest = std::max(largest, m);
      ASSERT_GT(largest, 1.0);
      for (std::size_t b = 0; b < v[0].size(); ++b)
        for (int c = 0; c < kChannels; ++c) {
          const double want = v[0][b][static_cast<std::size_t>(c)], got = v[1][b][static_cast<std::size_t>(c)];
          EXPECT_NEAR(got, want, 0.03 * std::abs(want) + 0.01 * largest)
              << "kind " << kind << " measure " << measure << " band " << b << " " << kNames[c];
        }
    }
}

TEST_F(ScaleEquivalence, MontagesAgreeInMicrovolts) {
  const int at[] = {0, 17, 300, 1000, 2047};
  std::string reason;
  for (Opened* o : {cad.get(), edf.get()}) {
    o->s->leadPairCount = 2;
    o->s->leadPairs[0] = {1, 3};  // Fp1-F3
    o->s->leadPairs[1] = {5, 7};  // C3-O1
    ASSERT_TRUE(bipolarMontage(*o->s, reason)) << reason;
  }
  for (int p = 0; p < 2; ++p)
    for (int i : at)
      EXPECT_NEAR(edf->s->physicalValue(i, p), cad->s->physicalValue(i, p), 0.06) << "pair " << p << " at " << i;

  openBoth();  // both files afresh
  for (Opened* o : {cad.get(), edf.get()}) ASSERT_TRUE(commonAverageReference(*o->s, reason)) << reason;
  // the record's own rounding (one step of 0.049 µV) and that of the new mean
  const double step = 100.0 / 2047;
  for (int c = 0; c < kChannels; ++c)
    for (int i : at) {
      double mean = 0;
      for (int k = 0; k < kChannels; ++k) mean += x[k][i];
      mean /= kChannels;
      EXPECT_NEAR(cad->s->physicalValue(i, c), x[c][i] - mean, 1.5 * step) << kNames[c] << " at " << i;
      EXPECT_NEAR(edf->s->physicalValue(i, c), x[c][i] - mean, step) << kNames[c] << " at " << i;
    }
}

// The head maps: band maps after the diagrams' own scale step, and the map
// of the signal at a sample, colour level by colour level.
TEST_F(ScaleEquivalence, MapsAgree) {
  for (TransformKind kind : {TransformKind::Amplitude, TransformKind::Power}) {
    std::vector<MapElectrode> e[2];
    int k = 0;
    for (Opened* o : {cad.get(), edf.get()}) {
      StudyState& s = *o->s;
      s.epochLength = s.epochStep = 512;
      s.normaliseEpochGrid();
      s.transformKind = kind;
      s.bandMode = 0;
      s.currentEpoch = 1;
      s.programDir = dir.path() + "/";
      SpectralEngine engine;
      MapSettings m;
      ASSERT_TRUE(runBandDiagrams(engine, s, ViewMode::BandDiagrams, o->ui, m));
      e[k++] = mapElectrodes(s, m, 0, 2, 0);  // the alpha band
      s.viewMode = ViewMode::Signals;
    }
    ASSERT_EQ(e[0].size(), static_cast<std::size_t>(kChannels));
    ASSERT_EQ(e[1].size(), e[0].size());
    int largest = 0;
    for (std::size_t i = 0; i < e[0].size(); ++i) {
      EXPECT_NEAR(e[1][i].value, e[0][i].value, 3) << "kind " << kind << " " << kNames[i];
      largest = std::max(largest, e[0][i].value);
    }
    EXPECT_GT(largest, 100) << "kind " << kind;
  }
  MapSettings m;
  for (int i : {5, 100, 777}) {
    const auto a = mapElectrodes(*cad->s, m, i, 0, 0), b = mapElectrodes(*edf->s, m, i, 0, 0);
    ASSERT_EQ(a.size(), b.size());
    for (std::size_t c = 0; c < a.size(); ++c) EXPECT_NEAR(b[c].value, a[c].value, 1) << kNames[c] << " at " << i;
  }
}

}  // namespace
}  // namespace velor
