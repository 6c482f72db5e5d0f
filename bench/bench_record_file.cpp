// Record files at full size: a 64-channel CA40 file of 100 records of 10000
// samples (about 128 MB) is written once into /tmp; the benchmarks open it
// (header, the check of every record's lengths, record 1) and step through
// every record forwards and then backwards, as the monitor's record keys do.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "core/interaction.h"
#include "core/record_file.h"
#include "core/study_state.h"

namespace {

constexpr int kChannels = 64;
constexpr int kRecords = 100;
constexpr int kSamples = 10000;

class BenchFile {
 public:
  BenchFile() {
    char templ[] = "/tmp/velor-bench-XXXXXX";
    if (::mkdtemp(templ) == nullptr) std::abort();
    dir_ = templ;
    path_ = dir_ + "/big.cad";
    auto s = std::make_unique<velor::StudyState>();
    s->recordFileVersion = velor::kVersionCA40;
    s->channelCount = kChannels;
    s->markChannelCount = 1;
    s->sampleRate = 1000;
    s->recordLength = kSamples;
    s->recordCount = kRecords;
    const int fd = ::open(path_.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0 || !velor::writeHeader(*s, fd)) std::abort();
    for (int r = 0; r < kRecords; ++r) {
      for (int c = 0; c < kChannels; ++c)
        for (int i = 0; i < kSamples; ++i) s->channelData[c][i] = static_cast<std::int16_t>(2048 + (r + c + i) % 1000);
      for (int i = 0; i < kSamples; ++i) s->markChannel[i] = static_cast<std::int16_t>(i / 1000);
      if (!velor::writeRecord(*s, fd)) std::abort();
    }
    ::close(fd);
  }
  ~BenchFile() {
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }
  const std::string& path() const { return path_; }
  long long recordBytes() const { return velor::recordBytes(velor::kVersionCA40, kChannels, 1, kSamples); }

 private:
  std::string dir_;
  std::string path_;
};

const BenchFile& benchFile() {
  static BenchFile file;
  return file;
}

void BM_OpenRecordFile(benchmark::State& state) {
  const BenchFile& file = benchFile();
  auto s = std::make_unique<velor::StudyState>();
  velor::ScriptedInteraction ui;
  for (auto _ : state) {
    if (!velor::openRecordFile(*s, file.path(), ui)) state.SkipWithError("open failed");
    benchmark::DoNotOptimize(s->channelData[0][0]);
  }
  velor::closeRecordFile(*s);
  state.SetBytesProcessed(state.iterations() * file.recordBytes());
}
BENCHMARK(BM_OpenRecordFile)->Unit(benchmark::kMillisecond);

// One iteration reads records 2..100 stepping forwards, then 99..1 stepping backwards.
void BM_StepThroughAllRecords(benchmark::State& state) {
  const BenchFile& file = benchFile();
  auto s = std::make_unique<velor::StudyState>();
  velor::ScriptedInteraction ui;
  if (!velor::openRecordFile(*s, file.path(), ui)) {
    state.SkipWithError("open failed");
    return;
  }
  for (auto _ : state) {
    int steps = 0;
    while (velor::stepRecord(*s, +1, ui)) ++steps;
    while (velor::stepRecord(*s, -1, ui)) ++steps;
    if (steps != 2 * (kRecords - 1)) state.SkipWithError("walk stopped early");
    benchmark::DoNotOptimize(s->channelData[63][kSamples - 1]);
  }
  velor::closeRecordFile(*s);
  state.SetBytesProcessed(state.iterations() * 2 * (kRecords - 1) * file.recordBytes());
  state.counters["records_per_s"] =
      benchmark::Counter(static_cast<double>(state.iterations()) * 2 * (kRecords - 1), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_StepThroughAllRecords)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
