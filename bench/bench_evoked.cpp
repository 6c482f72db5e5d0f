// Evoked averaging of 1000 epochs of 64 channels × 1 s at 1000 Hz, one epoch
// per record of a record file (the file is read record by record, as the
// workstation does). compare_ep_mne.py times MNE on the same data.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <random>
#include <string>

#include "core/interaction.h"
#include "core/record_file.h"
#include "core/study_state.h"
#include "eeg/spectral.h"
#include "physio/evoked.h"

namespace {

constexpr int kEpochs = 1000, kChannels = 64, kRate = 1000, kLength = 1100, kStimulus = 50;

std::string writeInput() {
  const std::string path = "/tmp/velor_bench_evoked_" + std::to_string(::getpid()) + ".cad";
  auto s = std::make_unique<velor::StudyState>();
  s->channelCount = kChannels;
  s->markChannelCount = 1;
  s->recordLength = s->plannedRecordLength = kLength;
  s->sampleRate = kRate;
  s->recordFileVersion = velor::kVersionCA40;
  s->recordCount = kEpochs;
  for (int c = 0; c < kChannels; ++c) {
    s->channelNames[c] = "C" + std::to_string(c);
    s->zeroLevel[c] = 2048;
  }
  std::mt19937 gen(1);
  std::uniform_int_distribution<int> noise(-200, 200);
  const int fd = ::open(path.c_str(), O_CREAT | O_TRUNC | O_WRONLY, 0644);
  velor::writeHeader(*s, fd);
  for (int r = 0; r < kEpochs; ++r) {
    for (int c = 0; c < kChannels; ++c)
      for (int i = 0; i < kLength; ++i) s->channel(c)[i] = static_cast<std::int16_t>(2048 + noise(gen));
    for (int i = 0; i < kLength; ++i) s->markChannel[i] = i == kStimulus ? 1 : 0;
    velor::writeRecord(*s, fd);
  }
  ::close(fd);
  return path;
}

void BM_Average1000Epochs64Channels(benchmark::State& state) {
  const std::string path = writeInput();
  auto s = std::make_unique<velor::StudyState>();
  velor::ScriptedInteraction ui;
  auto engine = std::make_unique<velor::SpectralEngine>();
  velor::EvokedSettings p;
  p.reference = "S1";
  p.epochStart = 0;
  p.epochEnd = 1.0;
  for (auto _ : state) {
    state.PauseTiming();
    velor::openRecordFile(*s, path, ui);
    state.ResumeTiming();
    velor::EvokedOutcome o;
    velor::averageEvoked(*s, p, velor::EvokedMode::Records, *engine, ui, o);
    if (o.epochs != kEpochs) state.SkipWithError("not every epoch averaged");
    state.PauseTiming();
    velor::closeRecordFile(*s);
    state.ResumeTiming();
  }
  std::remove(path.c_str());
}
BENCHMARK(BM_Average1000Epochs64Channels)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace

BENCHMARK_MAIN();
