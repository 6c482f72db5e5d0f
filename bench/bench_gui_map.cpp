// A head map of 19 to 64 electrodes drawn as the map window draws it: the
// interpolation onto the 64 × 64 grid alone, and the whole 400 × 400 picture
// (grid, stretched colour map under an elliptic clip, electrodes, names,
// scale and title). The picture should stay well under 20 ms.
#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <random>

#include "core/study_state.h"
#include "eeg/maps.h"
#include "eeg/ui/map_render.h"

namespace {

// `n` electrodes spread over the head with seeded random amplitudes at sample 0.
void setup(velor::StudyState& s, int n) {
  std::mt19937 rng(7);
  std::uniform_int_distribution<int> pos(4, 58), code(1500, 2600);
  s.channelCount = n;
  s.recordLength = 16;
  for (int c = 0; c < n; ++c) {
    s.channelNames[static_cast<std::size_t>(c)] = "E" + std::to_string(c);
    s.channelPosX[static_cast<std::size_t>(c)] = static_cast<std::uint8_t>(pos(rng));
    s.channelPosY[static_cast<std::size_t>(c)] = static_cast<std::uint8_t>(pos(rng));
    s.zeroLevel[c] = 2048;
    s.calibUnits[c] = 400;
    s.channel(c)[0] = static_cast<std::int16_t>(code(rng));
  }
  s.viewMode = velor::ViewMode::Signals;
  s.cursorPos = 0;
}

void BM_MapInterpolation(benchmark::State& state) {
  velor::StudyState s;
  setup(s, static_cast<int>(state.range(0)));
  const auto e = velor::mapElectrodes(s, {}, 0, 0, 0);
  velor::MapGrid grid;
  for (auto _ : state) {
    velor::interpolateMap(e, grid);
    benchmark::DoNotOptimize(grid.data());
  }
}
BENCHMARK(BM_MapInterpolation)->Arg(19)->Arg(32)->Arg(64)->Unit(benchmark::kMicrosecond);

void BM_MapPicture400(benchmark::State& state) {
  velor::StudyState s;
  setup(s, static_cast<int>(state.range(0)));
  const QSize size(400, 400);
  const velor::MapView view = velor::fittedMapView(s, size);
  QImage image(size, QImage::Format_ARGB32);
  for (auto _ : state) {
    velor::paintMapPicture(image, s, {}, view);
    benchmark::DoNotOptimize(image.constBits());
  }
}
BENCHMARK(BM_MapPicture400)->Arg(19)->Arg(32)->Arg(64)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
