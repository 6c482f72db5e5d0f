// The acquisition engine over 60 s of virtual time, as the examination
// runs it: 20 ms ticks (or the board's per-sample path), online filters,
// records of 32760 samples written and flushed to a file in /tmp.
//
// - BM_Amplifier64x10kHz: the simulated 64-channel amplifier at 10000 Hz
//   with its filter chain (drift, low-pass, mains band-stop per channel).
// - BM_Board32x10kHzMainsFilters: the board variant at 10000 Hz with the
//   four mains filters designed at Start on each of its 32 channels (the
//   board has 32 inputs).
// - BM_SimulatorOnly64x10kHz: the simulated device alone (signal synthesis),
//   to subtract from the above.
// Counters: "lost" samples (what the device delivered by the last tick
// minus the samples stored; must be 0),
// "core_per_signal_s": processor seconds per second of signal (0.25 = a
// quarter of one core at real time), and "records".
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <ctime>

#include "acquisition/device_registry.h"
#include "acquisition/exam_engine.h"
#include "acquisition/simulated_devices.h"

namespace {

using namespace velor;

// Processor time of this thread: the engine runs on it (the file system's
// own writing happens elsewhere and is not counted).
double cpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + t.tv_nsec * 1e-9;
}

constexpr int kSeconds = 60;

void runExamination(benchmark::State& state, const char* kind, int setting, int rate, int channels,
                    MonitorMode monitor) {
  double cpu = 0;
  long long lost = 0, records = 0;
  for (auto _ : state) {
    state.PauseTiming();
    VirtualClock clock;
    auto dev = makeDevice(kind, clock, {});
    dev->open();
    auto s = std::make_unique<StudyState>();
    s->deviceKind = setting;
    applyOpenedDevice(*s, setting, dev->describe());
    ExaminationPlan plan;
    applyDefaultPlan(*s, plan, dev->describe(), rate);
    s->channelCount = channels;
    plan.monitorMode = monitor;
    plan.recordName = "bench_exam_" + std::to_string(::getpid());
    s->dataDir = "/tmp/";
    ScriptedInteraction ui;
    std::string path;
    const int fd = createExamFile(*s, plan, ui, true, path);
    ExamOptions eo;
    eo.recordFromStart = true;
    eo.keyLog = false;
    eo.maxSamples = static_cast<long long>(kSeconds) * rate;
    ExaminationEngine e(*s, plan, *dev, clock, fd, path, eo);
    std::string reason;
    if (!e.begin(reason)) {
      state.SkipWithError(reason.c_str());
      return;
    }
    SweepColumn c;
    const std::int64_t startUs = clock.nowMicroseconds();
    state.ResumeTiming();
    const double t0 = cpuSeconds();
    while (!e.ended()) {
      clock.advanceMilliseconds(e.stepMilliseconds());
      e.step();
      while (e.sweep().pop(c)) benchmark::DoNotOptimize(c.values[0]);
    }
    cpu += cpuSeconds() - t0;
    state.PauseTiming();
    const ExamStatus st = e.status();
    // What the device had delivered by the last tick against what reached the record.
    lost += (clock.nowMicroseconds() - startUs) * rate / 1000000 - st.samplesStored;
    records += st.recordCount;
    ::unlink(path.c_str());
    state.ResumeTiming();
  }
  const double n = static_cast<double>(state.iterations());
  state.counters["lost"] = static_cast<double>(lost) / n;
  state.counters["records"] = static_cast<double>(records) / n;
  state.counters["core_per_signal_s"] = cpu / (kSeconds * n);
}

void BM_Amplifier64x10kHz(benchmark::State& state) {
  runExamination(state, "amplifier", 4, 10000, 64, MonitorMode::None);
}
BENCHMARK(BM_Amplifier64x10kHz)->Unit(benchmark::kMillisecond)->Iterations(3);

// The same with the live sweep's columns made and queued (drawing excluded:
// see bench_gui_exam_sweep).
void BM_Amplifier64x10kHzSweepQueued(benchmark::State& state) {
  runExamination(state, "amplifier", 4, 10000, 64, MonitorMode::RealTime);
}
BENCHMARK(BM_Amplifier64x10kHzSweepQueued)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_Board32x10kHzMainsFilters(benchmark::State& state) {
  runExamination(state, "board", -1, 10000, 32, MonitorMode::None);
}
BENCHMARK(BM_Board32x10kHzMainsFilters)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_SimulatorOnly64x10kHz(benchmark::State& state) {
  double cpu = 0;
  for (auto _ : state) {
    VirtualClock clock;
    SimulatedFilterChainAmplifier amp(clock, 1, 64);
    amp.open();
    DeviceConfig cfg;
    cfg.sampleRate = 10000;
    amp.configure(cfg);
    amp.start();
    FrameBlock block;
    const double t0 = cpuSeconds();
    for (int tick = 0; tick < kSeconds * 50; ++tick) {
      clock.advanceMilliseconds(20);
      do {
        amp.readFrames(block, 123);
        benchmark::DoNotOptimize(block.words.data());
      } while (block.frames > 0);
    }
    cpu += cpuSeconds() - t0;
  }
  state.counters["core_per_signal_s"] = cpu / (kSeconds * static_cast<double>(state.iterations()));
}
BENCHMARK(BM_SimulatorOnly64x10kHz)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
