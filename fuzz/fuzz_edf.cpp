// EDF files from arbitrary bytes: the first byte picks the sample width (2,
// 3 or 4 bytes), the rest is the file. Open, walk every page forwards and
// backwards, jump, change samples and set marks and write the page back (the
// marks as annotations), list the file's annotations, read the pages
// without the study state, and export to EDF and UDF and read the export
// again. The input lives in an in-memory file reached through its
// /proc/self/fd path, so the engine opens it like any file.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/interaction.h"
#include "core/record_file.h"
#include "core/study_state.h"
#include "interchange/edf.h"

namespace {

struct Harness {
  velor::StudyState state;
  velor::StudyState other;
  int memfd = -1;
  std::string path;
  std::string dir;
  Harness() {
    memfd = ::memfd_create("fuzz_edf", 0);
    if (memfd < 0) __builtin_trap();
    path = "/proc/self/fd/" + std::to_string(memfd);
    char tmpl[] = "/tmp/fuzz_edf_XXXXXX";
    if (!::mkdtemp(tmpl)) __builtin_trap();
    dir = tmpl;
    state.programDir = dir + "/";
    other.programDir = dir + "/";
  }
};

Harness& harness() {
  static Harness* h = new Harness;  // the study states are large; one pair for the whole run
  return *h;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  Harness& h = harness();
  const int width = 2 + data[0] % 3;
  ++data;
  --size;
  if (::ftruncate(h.memfd, 0) != 0) return 0;
  if (size > 0 && ::pwrite(h.memfd, data, size, 0) != static_cast<ssize_t>(size)) return 0;

  velor::StudyState& s = h.state;
  velor::closeRecordFile(s);
  velor::ScriptedInteraction ui;  // answers No unless scripted
  if (velor::openEdf(s, h.path, width, ui)) {
    const int pages = s.recordCount;
    int guard = 0;
    while (velor::stepRecord(s, +1, ui) && ++guard < 64) {
    }
    guard = 0;
    while (velor::stepRecord(s, -1, ui) && ++guard < 64) {
    }
    for (int n : {pages, 2, pages / 2, 0, 40000}) velor::gotoRecord(s, n, ui);
    (void)velor::edfPageAnnotations(s);
    {
      std::vector<velor::EdfAnnotation> all;
      std::string why;
      (void)velor::edfFileAnnotations(s, all, why);
    }

    // changed samples written back, the page read again
    for (int c = 0; c < s.channelCount; ++c) {
      if (s.recordLength > 0) s.channelData[static_cast<std::size_t>(c)][0] ^= 0x155;
      if (s.recordLength > 2) s.channelData[static_cast<std::size_t>(c)][s.recordLength - 1] = velor::kMarkCode;
    }
    s.recordModified = 1;
    ui.yesNoScript = {true};
    velor::stepRecord(s, s.currentRecord > 1 ? -1 : +1, ui);
    velor::rereadRecord(s, ui);
    {
      // marks written as annotations are read back from the whole file
      std::vector<velor::EdfAnnotation> all;
      std::string why;
      (void)velor::edfFileAnnotations(s, all, why);
    }

    std::vector<std::vector<std::int16_t>> codes;
    std::vector<std::int16_t> marks;
    std::string reason;
    velor::readEdfPageCodes(s, pages, codes, marks, reason);
    velor::readEdfPageCodes(s, 0, codes, marks, reason);

    // export from the first page on, and read the export again
    velor::gotoRecord(s, 1, ui);
    if (size < 4096) {
      const std::string out = h.dir + (data[0] & 1 ? "/x.udf" : "/x.edf");
      if (velor::exportEdf(s, out, data[0] & 1, ui)) {
        velor::closeRecordFile(h.other);
        velor::openEdf(h.other, out, 2, ui);
        velor::closeRecordFile(h.other);
      }
    }
    velor::closeRecordFile(s);
  }
  velor::EdfHeader header;
  std::string reason;
  velor::readEdfHeader(h.path, width, header, reason);
  return 0;
}
