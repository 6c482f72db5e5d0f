#include "physio/emg.h"

#include <cstdlib>

#include "core/numtext.h"
#include "core/study_state.h"
#include "core/trace_ops.h"
#include "physio/emg_texts.h"
#include "results/notebook.h"

namespace velor {

namespace {

// Single-sample spikes (stimulus artefacts) become the mean of their
// neighbours, left to right in place, then five smoothing passes.
void prepareChannel(std::int16_t* x, int L) {
  for (int i = 1; i + 1 < L; ++i) {
    const int d0 = std::abs(x[i - 1] - x[i + 1]);
    if (d0 < 20 * std::abs(x[i - 1] - x[i]) && d0 < 20 * std::abs(x[i] - x[i + 1]))
      x[i] = static_cast<std::int16_t>((x[i - 1] + x[i + 1]) / 2);
  }
  for (int p = 0; p < 5; ++p) smooth121(x, L);
}

}  // namespace

bool measureMResponses(StudyState& s, int channel, int bit, std::vector<MResponse>& out, std::string& message) {
  out.clear();
  if (channel < 0 || channel >= s.channelCount) {
    message = kEmgBadChannel;
    return false;
  }
  if (bit < 0 || bit > 15) {
    message = kEmgBadBit;
    return false;
  }
  if (s.markChannelCount == 0 || !s.markChannel) {
    message = kEmgNoMarks;
    return false;
  }
  const int L = s.recordLength;
  std::int16_t* x = s.channel(channel);
  const std::int16_t* mk = s.markChannel;
  prepareChannel(x, L);
  s.recordModified = 0;
  const int mask = 1 << bit;
  const double fs = s.sampleRate > 0 ? s.sampleRate : 1;
  const double cal = s.microvoltsPerCode(channel);
  int i = 6;
  while (i < L && !(mk[i] & mask)) ++i;
  int lastDuration = -1;
  while (i < L) {
    int pulseEnd = i + 1;
    while (pulseEnd < L && (mk[pulseEnd] & mask)) ++pulseEnd;
    int r = pulseEnd;
    while (r < L && !(mk[r] & mask)) ++r;
    const bool measured = r < L || (lastDuration >= 0 && lastDuration < r - i);
    if (measured) {
      // every search stays inside the record: the last window ends at L − 1
      const int last = std::min(r, L - 1);
      int M = i;
      for (int k = i; k <= last; ++k)
        if (x[k] > x[M]) M = k;
      const int m = i + (M - i) / 2;
      int O = i, best = 0;
      for (int k = i + 2; k <= m - 2 && k + 2 < L; ++k) {
        const int c = (x[k + 2] - x[k]) - (x[k] - x[k - 2]);
        if (c > best) {
          best = c;
          O = k;
        }
      }
      int E = -1;
      for (int l = 2 * M - O; l <= last && l + 10 < L; ++l)
        if (l >= 0 && x[l] < x[l + 10]) {
          E = l;
          break;
        }
      if (E < 0) E = std::min(r + 1, L - 1);
      double area = 0;
      for (int j = O; j <= E; ++j) area += x[j] - x[E];
      MResponse resp;
      resp.stimulus = i;
      resp.onset = O;
      resp.peak = M;
      resp.end = E;
      resp.latency = (O - i) / fs;
      resp.amplitude = (x[M] - x[O]) * cal;
      resp.duration = (E - O) / fs;
      resp.area = area * cal / fs;
      out.push_back(resp);
      lastDuration = E - O;
    }
    if (r <= i) break;
    i = r;
  }
  return true;
}

int writeMResponses(Notebook& book, const std::vector<MResponse>& rows) {
  int written = 0;
  for (const MResponse& r : rows) {
    const int row = book.rowCount() + 1;
    if (row > kNotebookRows) break;
    book.setRowCount(row);
    book.setCell(1, row, formatNumber(r.latency));
    book.setCell(2, row, formatNumber(r.amplitude));
    book.setCell(3, row, formatNumber(r.duration));
    book.setCell(5, row, formatNumber(r.area));
    ++written;
  }
  return written;
}

}  // namespace velor
