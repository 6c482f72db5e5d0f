// Full repaint of the signal monitor: 64 channels of 32767 samples on a
// 1920 × 1080 drawing, at the zoom that shows the whole record (many samples
// per pixel column), at zoom 0 and zoomed in (samples wider than a pixel).
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QStyle>
#include <cmath>
#include <random>

#include "core/study_state.h"
#include "viewer/monitor.h"
#include "viewer/ui/monitor_widget.h"

namespace {

using velor::kMaxChannels;
using velor::kMaxSamples;

void fillRecord(velor::StudyState& s) {
  std::mt19937 rng(1);
  std::normal_distribution<double> noise(0, 120);
  for (int c = 0; c < kMaxChannels; ++c) {
    const double period = 20 + 3 * c;
    for (int i = 0; i < kMaxSamples; ++i) {
      const double v = 2048 + 900 * std::sin(2 * M_PI * i / period) + noise(rng);
      s.channel(c)[i] = static_cast<std::int16_t>(std::lround(std::clamp(v, 0.0, 4095.0)));
    }
  }
}

// A monitor whose drawing area is 1920 × 1080 at the given zoom.
struct Setup {
  velor::StudyState s;
  velor::MonitorWidget m{s};
  explicit Setup(int zoom) {
    s.channelCount = kMaxChannels;
    s.shownChannelCount = kMaxChannels;
    s.recordLength = kMaxSamples;
    s.sampleRate = 250;
    s.displayFlags = 3 | velor::kFlagMajorTimeLines | velor::kFlagMinorTimeLines;
    s.markChannelCount = 1;
    m.resize(1920, 1080);
    m.initialise();
    s.timeZoom = zoom;
    s.monitorWidth = 1920;
    const int bar = velor::horizontalBarVisible(s) ? m.style()->pixelMetric(QStyle::PM_ScrollBarExtent) : 0;
    m.resize(1920, 1080 + bar);
    fillRecord(s);
    for (int i = 0; i < kMaxSamples; ++i) s.markChannel[i] = static_cast<std::int16_t>((i / 997) & 1);
    m.show();
    m.redraw();
  }
};

void BM_MonitorFullRepaint(benchmark::State& state) {
  Setup setup(static_cast<int>(state.range(0)));
  if (setup.s.monitorWidth != 1920 || setup.s.monitorHeight != 1080) {
    state.SkipWithError("drawing area is not 1920 x 1080");
    return;
  }
  for (auto _ : state) {
    setup.m.redraw();
    benchmark::DoNotOptimize(setup.m.surface().constBits());
  }
  state.counters["samples_per_frame"] = static_cast<double>(std::min<long>(velor::samplesAcross(setup.s), kMaxSamples)) * kMaxChannels;
}
// −5 shows the whole record; 0 one sample per column; 2 four pixels per sample.
BENCHMARK(BM_MonitorFullRepaint)->Arg(-5)->Arg(-4)->Arg(0)->Arg(2)->Unit(benchmark::kMillisecond)->MinTime(1.0);

// The same, followed by the widget's own paint of the drawing.
void BM_MonitorRedrawAndPaint(benchmark::State& state) {
  Setup setup(-5);
  for (auto _ : state) {
    setup.m.redraw();
    setup.m.repaint();
  }
}
BENCHMARK(BM_MonitorRedrawAndPaint)->Unit(benchmark::kMillisecond)->MinTime(1.0);

// Moving the cursor by a key: no full redraw.
void BM_MonitorCursorStep(benchmark::State& state) {
  Setup setup(-5);
  int x = 100;
  for (auto _ : state) {
    setup.m.view().clickX = x;
    setup.m.view().clickY = 200;
    setup.m.Click(false);
    x = x == 100 ? 900 : 100;
  }
}
BENCHMARK(BM_MonitorCursorStep)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
