// EDF files at full size: a plain EDF of 32 signals at 256 Hz in 1-second
// data records, 1 GiB by default (VELOR_BENCH_EDF_MB sets the size in MiB), is
// written once to /tmp/velor-bench-edf-<MiB>.edf and kept for later runs and
// for bench/compare_edf_mne.py. The benchmarks time opening the file with its
// first page (which must not read the rest of the file) and reading it page
// by page to the end, as the monitor's record keys do.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "core/interaction.h"
#include "core/record_file.h"
#include "core/study_state.h"
#include "interchange/edf.h"

namespace {

constexpr int kSignals = 32;
constexpr int kRate = 256;

long long sizeMiB() {
  const char* v = std::getenv("VELOR_BENCH_EDF_MB");
  const long long mb = v ? std::atoll(v) : 1024;
  return mb > 0 ? mb : 1024;
}

std::string field(const std::string& t, std::size_t w) {
  std::string x = t.substr(0, w);
  x.resize(w, ' ');
  return x;
}

// The file, written once; its path.
const std::string& benchFile() {
  static const std::string path = [] {
    const long long mb = sizeMiB();
    const long long recordBytes = 2LL * kSignals * kRate;
    const long long records = mb * 1024 * 1024 / recordBytes;
    const std::string p = "/tmp/velor-bench-edf-" + std::to_string(mb) + ".edf";
    const long long header = 256LL * (kSignals + 1);
    struct stat st {};
    if (::stat(p.c_str(), &st) == 0 && st.st_size == header + records * recordBytes) return p;
    std::string h = field("0", 8) + field("X X X X", 80) + field("Startdate X X X X", 80) + field("01.01.20", 8) +
                    field("10.00.00", 8) + field(std::to_string(header), 8) + field("", 44) +
                    field(std::to_string(records), 8) + field("1", 8) + field(std::to_string(kSignals), 4);
    for (int i = 0; i < kSignals; ++i) h += field("EEG S" + std::to_string(i), 16);
    for (int i = 0; i < kSignals; ++i) h += field("AgAgCl", 80);
    for (int i = 0; i < kSignals; ++i) h += field("uV", 8);
    for (int i = 0; i < kSignals; ++i) h += field("-3276.8", 8);
    for (int i = 0; i < kSignals; ++i) h += field("3276.7", 8);
    for (int i = 0; i < kSignals; ++i) h += field("-32768", 8);
    for (int i = 0; i < kSignals; ++i) h += field("32767", 8);
    for (int i = 0; i < kSignals; ++i) h += field("", 80);
    for (int i = 0; i < kSignals; ++i) h += field(std::to_string(kRate), 8);
    for (int i = 0; i < kSignals; ++i) h += field("", 32);
    const std::string tmp = p + ".part";
    std::FILE* f = std::fopen(tmp.c_str(), "wb");
    if (!f) std::abort();
    std::fwrite(h.data(), 1, h.size(), f);
    std::vector<std::int16_t> rec(static_cast<std::size_t>(kSignals * kRate));
    for (long long r = 0; r < records; ++r) {
      for (int c = 0; c < kSignals; ++c)
        for (int i = 0; i < kRate; ++i)
          rec[static_cast<std::size_t>(c * kRate + i)] = static_cast<std::int16_t>(((r * kRate + i) * (c + 3)) % 4001 - 2000);
      std::fwrite(rec.data(), 2, rec.size(), f);
    }
    if (std::fclose(f) != 0 || std::rename(tmp.c_str(), p.c_str()) != 0) std::abort();
    return p;
  }();
  return path;
}

void BM_OpenFirstPage(benchmark::State& state) {
  const std::string& path = benchFile();
  auto s = std::make_unique<velor::StudyState>();
  velor::ScriptedInteraction ui;
  for (auto _ : state) {
    if (!velor::openEdf(*s, path, 2, ui)) state.SkipWithError("open failed");
    benchmark::DoNotOptimize(s->channelData[0][s->recordLength - 1]);
  }
  state.counters["pages"] = s->recordCount;
  state.SetBytesProcessed(state.iterations() * 2LL * kSignals * s->recordLength);
  velor::closeRecordFile(*s);
}
BENCHMARK(BM_OpenFirstPage)->Unit(benchmark::kMillisecond);

void BM_ReadAllPages(benchmark::State& state) {
  const std::string& path = benchFile();
  auto s = std::make_unique<velor::StudyState>();
  velor::ScriptedInteraction ui;
  long long samples = 0;
  for (auto _ : state) {
    if (!velor::openEdf(*s, path, 2, ui)) state.SkipWithError("open failed");
    samples += s->recordLength;
    while (velor::stepRecord(*s, +1, ui)) samples += s->recordLength;
    benchmark::DoNotOptimize(s->channelData[0][0]);
  }
  state.SetBytesProcessed(samples * 2LL * kSignals);
  velor::closeRecordFile(*s);
}
BENCHMARK(BM_ReadAllPages)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
