// WFDB records from arbitrary bytes: the first byte chooses an annotation
// file (0) or a header; for a header, the text up to the first NUL is the
// header and the bytes after it are every signal file. Decoded frames of the
// first signal then go through the beat detector.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "interchange/wfdb.h"
#include "physio/ecg_beats.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
  std::string reason;
  if (data[0] == 0) {
    std::vector<velor::WfdbAnnotation> a;
    (void)velor::decodeWfdbAnnotations(bytes, a, reason);
    return 0;
  }
  const std::size_t nul = bytes.find('\0');
  const std::string_view text = bytes.substr(0, nul);
  const std::string_view rest = nul == std::string_view::npos ? std::string_view() : bytes.substr(nul + 1);
  velor::WfdbHeader h;
  if (!velor::parseWfdbHeader(text, h, reason)) return 0;
  const velor::MemorySource src(rest);
  std::vector<const velor::ByteSource*> files(h.fileNames.size(), &src);
  std::vector<std::vector<int>> out;
  const long long first = data[0] % 4;
  if (!velor::decodeWfdbFrames(h, files, first, 4096, out, reason) || out.empty() || out[0].size() < 16) return 0;
  const velor::WfdbCodeScale sc = velor::wfdbCodeScale(h.signals[0]);
  std::vector<std::int16_t> x;
  for (int v : out[0]) x.push_back(static_cast<std::int16_t>(std::clamp<long long>(static_cast<long long>(v) + sc.codeOffset, -32768, 32767)));
  std::vector<std::int16_t> trace(x.size()), table(velor::kBeatTableSize);
  const int rate = std::clamp(static_cast<int>(h.frequency), 1, 10000);
  (void)velor::detectBeats({x.data(), static_cast<int>(x.size()), sc.zeroLevel, rate}, {}, trace.data(), table.data());
  return 0;
}
