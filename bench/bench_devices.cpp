// The simulated 64-channel amplifier at 10000 samples per second, read as
// the 20 ms acquisition tick reads it: one iteration is 60 s of virtual time
// (3000 ticks, 600000 frames of 64 channels and a status word), with the
// signals synthesised on the way. "realtime_ratio" is how many times faster
// than real time the simulator delivers (60 s over the processor time taken);
// "ns_per_frame" the whole cost of one frame and "call_ns" the interface's
// call overhead per read (an empty read, nothing due); BM_OneFramePerCall
// the cost of a frame read alone, call included.
#include <benchmark/benchmark.h>

#include <chrono>
#include <ctime>

#include "acquisition/simulated_devices.h"

namespace {

double cpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + t.tv_nsec * 1e-9;
}

void BM_SimulatedAmplifier64Channels10kHz60s(benchmark::State& state) {
  using namespace velor;
  VirtualClock clock;
  SimulatedFilterChainAmplifier amp(clock, 1, 64);
  amp.open();
  DeviceConfig c;
  c.sampleRate = 10000;
  amp.configure(c);
  FrameBlock block;
  block.words.reserve(8000 * 65);
  long long frames = 0;
  double cpu = 0;
  for (auto _ : state) {
    amp.start();
    const double t0 = cpuSeconds();
    for (int tick = 0; tick < 3000; ++tick) {
      clock.advanceMilliseconds(20);
      amp.readFrames(block, 8000);
      frames += block.frames;
      benchmark::DoNotOptimize(block.words.data());
    }
    cpu += cpuSeconds() - t0;
  }
  state.counters["frames"] = static_cast<double>(frames) / static_cast<double>(state.iterations());
  state.counters["ns_per_frame"] = cpu * 1e9 / static_cast<double>(frames);
  state.counters["realtime_ratio"] = 60.0 * static_cast<double>(state.iterations()) / cpu;
}
BENCHMARK(BM_SimulatedAmplifier64Channels10kHz60s)->Unit(benchmark::kMillisecond);

// The interface's own cost: a read when nothing is due.
void BM_ReadCallOverhead(benchmark::State& state) {
  using namespace velor;
  VirtualClock clock;
  SimulatedFilterChainAmplifier amp(clock, 1, 64);
  amp.open();
  amp.start();
  FrameBlock block;
  AcquisitionDevice& dev = amp;
  for (auto _ : state) {
    dev.readFrames(block, 8000);
    benchmark::DoNotOptimize(block.frames);
  }
}
BENCHMARK(BM_ReadCallOverhead);

// One frame per call (the clock moves one sample period each time): against
// ns_per_frame of the block reads this shows what the call costs a frame.
void BM_OneFramePerCall(benchmark::State& state) {
  using namespace velor;
  VirtualClock clock;
  SimulatedFilterChainAmplifier amp(clock, 1, 64);
  amp.open();
  DeviceConfig c;
  c.sampleRate = 10000;
  amp.configure(c);
  amp.start();
  FrameBlock block;
  AcquisitionDevice& dev = amp;
  for (auto _ : state) {
    clock.advanceMicroseconds(100);
    dev.readFrames(block, 8000);
    benchmark::DoNotOptimize(block.words.data());
  }
}
BENCHMARK(BM_OneFramePerCall);

}  // namespace

BENCHMARK_MAIN();
