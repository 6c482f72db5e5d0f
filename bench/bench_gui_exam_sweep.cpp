// What the live sweep costs on top of the engine: 64 channels at 10000 Hz
// for 60 s of virtual time, the interface draining the sweep queue 30 times
// a second onto a 1920 × 1080 monitor (all 64 rows shown, every sample a
// column: "Сжать=" 1; and "Сжать=" 3, every 4th). "sweep_core_per_signal_s"
// is the interface's processor time per second of signal (the engine's own
// is in bench_exam); "dropped" the columns the queue could not take.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <ctime>
#include <unistd.h>

#include "acquisition/device_registry.h"
#include "acquisition/exam_engine.h"
#include "viewer/ui/monitor_widget.h"

namespace {

using namespace velor;

double threadCpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + t.tv_nsec * 1e-9;
}

constexpr int kSeconds = 60;

void BM_LiveSweep64x10kHz(benchmark::State& state) {
  const int decimation = static_cast<int>(state.range(0));
  double drawCpu = 0;
  long long dropped = 0;
  for (auto _ : state) {
    VirtualClock clock;
    auto dev = makeDevice("amplifier", clock, {});
    dev->open();
    auto s = std::make_unique<StudyState>();
    s->deviceKind = 4;
    applyOpenedDevice(*s, 4, dev->describe());
    ExaminationPlan plan;
    applyDefaultPlan(*s, plan, dev->describe(), 10000);
    plan.displayDecimation = decimation;
    MonitorWidget m(*s);
    m.resize(1920, 1080);
    m.initialise();
    m.relayout();
    ExamOptions eo;
    eo.keyLog = false;
    eo.maxSamples = static_cast<long long>(kSeconds) * 10000;
    ExaminationEngine e(*s, plan, *dev, clock, -1, "", eo);
    std::string reason;
    if (!e.begin(reason)) {
      state.SkipWithError(reason.c_str());
      return;
    }
    e.setMonitorWidth(s->monitorWidth);
    m.timeAxis(10000.0 / (1 << decimation));
    m.drawSweepAxes();
    std::array<std::int16_t, kMaxChannels> previous{};
    SweepColumn c;
    int ticks = 0;
    while (!e.ended()) {
      clock.advanceMilliseconds(20);
      e.step();
      // The interface's timer: every 33 ms of signal it drains and draws.
      if (++ticks % 5 == 0 || e.ended()) {
        const double t0 = threadCpuSeconds();
        while (e.sweep().pop(c)) {
          if (c.sweepStart) m.drawSweepNames();
          m.drawSweepValues(c.x, previous.data(), c.values, c.channels);
          std::copy(c.values, c.values + kMaxChannels, previous.begin());
        }
        QCoreApplication::processEvents();
        drawCpu += threadCpuSeconds() - t0;
      }
    }
    dropped += e.status().sweepDropped;
  }
  const double n = static_cast<double>(state.iterations());
  state.counters["sweep_core_per_signal_s"] = drawCpu / (kSeconds * n);
  state.counters["dropped"] = static_cast<double>(dropped) / n;
}
BENCHMARK(BM_LiveSweep64x10kHz)->Arg(0)->Arg(2)->Unit(benchmark::kMillisecond)->Iterations(1);

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
