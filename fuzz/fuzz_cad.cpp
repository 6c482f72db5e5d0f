// Record files (.cad) from arbitrary bytes: open, walk every record forwards
// and backwards, jump, read every record straight from the file (and move to
// the last one read by its place), write a
// record back in place, and read every record with the tool readers. The bytes live in an in-memory file reached through
// its /proc/self/fd path, so the engine opens it like any file.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/interaction.h"
#include "core/record_file.h"
#include "core/stored_records.h"
#include "core/study_state.h"

namespace {

struct Harness {
  velor::StudyState state;
  int memfd = -1;
  std::string path;
  Harness() {
    memfd = ::memfd_create("fuzz_cad", 0);
    if (memfd < 0) __builtin_trap();
    path = "/proc/self/fd/" + std::to_string(memfd);
  }
};

Harness& harness() {
  static Harness* h = new Harness;  // the study state is large; one for the whole run
  return *h;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Harness& h = harness();
  if (::ftruncate(h.memfd, 0) != 0) return 0;
  if (size > 0 && ::pwrite(h.memfd, data, size, 0) != static_cast<ssize_t>(size)) return 0;

  velor::StudyState& s = h.state;
  velor::closeRecordFile(s);
  velor::ScriptedInteraction ui;  // answers No to every question
  if (velor::openRecordFile(s, h.path, ui)) {
    const int count = s.recordCount < 0 ? 1 : s.recordCount;
    // every sample a view offers is read (the sanitizer sees an overrun)
    long long sum = 0;
    int failedAt = 0;
    const int channels = s.channelCount;
    // Samples promised to stay in place are read again at the end of their
    // run: they must still be there and unchanged.
    struct Kept {
      std::vector<const std::int16_t*> rows;
      int length = 0;
      long long sum = 0;
    };
    std::vector<Kept> kept;
    int lastVisited = 0;
    long long lastOffset = 0;
    auto rowsSum = [&](const Kept& k) {
      long long t = 0;
      for (const std::int16_t* row : k.rows)
        for (int i = 0; i < k.length; ++i) t += row[i];
      return t;
    };
    velor::visitStoredRecords(s, 1, count + 1, [&](const velor::StoredRecordView& v) {
      Kept k;
      k.length = v.recordLength;
      for (int c = 0; c < channels; ++c) k.rows.push_back(v.channels[c]);
      if (v.mark) k.rows.push_back(v.mark);
      k.sum = rowsSum(k);
      sum += k.sum;
      kept.push_back(std::move(k));
      if (!v.samplesStay) {
        for (const Kept& e : kept)
          if (rowsSum(e) != e.sum) __builtin_trap();
        kept.clear();
      }
      lastVisited = v.number;
      lastOffset = v.offset;
      return true;
    }, failedAt);
    if (sum == 1) __asm__ volatile("");
    if (lastVisited > 0) velor::moveToStoredRecord(s, lastVisited, lastOffset, ui);
    int guard = 0;
    while (velor::stepRecord(s, +1, ui) && ++guard < 4096) {
    }
    guard = 0;
    while (velor::stepRecord(s, -1, ui) && ++guard < 4096) {
    }
    for (int n : {count, 2, count / 2, 0, 40000}) velor::gotoRecord(s, n, ui);
    // a change written back in place, then the record read again
    if (s.recordLength > 0) s.channelData[0][0] ^= 0x55;
    s.recordModified = 1;
    ui.yesNoScript = {true};
    velor::stepRecord(s, s.currentRecord > 1 ? -1 : +1, ui);
    velor::rereadRecord(s, ui);
    velor::closeRecordFile(s);
  }

  velor::RecordFileHeader header;
  std::string reason;
  if (velor::readRecordFileHeader(h.path, header, reason)) {
    std::vector<velor::RecordInfo> records;
    velor::scanRecords(h.path, header, records, reason);
    std::vector<std::vector<std::int16_t>> samples;
    for (const auto& r : records) velor::readRecordSamples(h.path, header, r, samples, reason);
    // a made-up place must be refused, not trusted
    velor::RecordInfo bogus;
    bogus.offset = static_cast<long long>(size) / 2;
    velor::readRecordSamples(h.path, header, bogus, samples, reason);
  }
  return 0;
}
