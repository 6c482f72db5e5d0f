// Electromyography without windows: M-responses after electrical stimuli
// marked in the mark channel, measured stimulus by stimulus.
#pragma once

#include <string>
#include <vector>

namespace velor {

struct StudyState;
class Notebook;

struct MResponse {
  int stimulus = 0;   // onset sample of the stimulus
  int onset = 0;      // O: response onset
  int peak = 0;       // M: first sample of the largest value
  int end = 0;        // E: response end
  double latency = 0;   // (O − stimulus) / fs, s
  double amplitude = 0; // (x[M] − x[O]) in channel units
  double duration = 0;  // (E − O) / fs, s
  double area = 0;      // Σ (x − x[E]) over O..E, units × s
};

// Prepares channel `channel` (0-based) in place — single-sample spikes
// flattened, five passes of the weighted three-point smoothing —, clears
// recordModified, then measures the response after every onset of mark bit
// `bit` (0..15). False with `message` when the channel, the bit or the mark
// channel is missing; no stimulus gives true and no rows.
bool measureMResponses(StudyState& s, int channel, int bit, std::vector<MResponse>& out, std::string& message);

// Rows 1, 2, 3, 5 of the notebook (latency, amplitude, duration, area) per
// response, column 4 kept; stops when the grid is full. Returns rows written.
int writeMResponses(Notebook& book, const std::vector<MResponse>& rows);

}  // namespace velor
