// "&5=Период-анализ" of the EEG analysis window: the chosen band's rhythm in
// the current channel (histograms, summary line, the list of waves as a
// ".doc" file) or in every channel (one table line per channel). The wave
// scan itself is eeg/period_analysis.h; here the channels are band filtered
// and the results are put into the shapes the windows show. The channels are
// filtered as copies, so the record in memory is never changed.
#pragma once

#include <string>
#include <vector>

#include "core/study_state.h"
#include "eeg/eeg_analysis.h"
#include "eeg/period_analysis.h"
#include "results/graph.h"

namespace velor {

struct PeriodCommandResult {
  bool allChannels = false;
  // current channel
  int channel = 0;
  PeriodSummary summary;
  std::vector<PeriodWave> waves;
  std::string summaryLine;        // "Выявлено ритма=…" or "Ритма не обнаружено!"
  std::string amplitudeLine;      // "Ср.амплитуда=…  Ст.откл.=…"
  std::string periodLine;         // "Ср.период=…  Ст.откл.=…"
  std::vector<std::string> waveList;  // head line, then amplitude (µV) and period (s) per accepted wave
  std::string docPath;            // where the list was written ("" when it was not)
  // all channels: the head line, then one line per channel
  std::vector<std::string> tableLines;
  int measuredChannels = 0;  // channels with at least two accepted waves
};

// The channel the monitor calls current (its row in the folded view too).
int currentChannelOf(const StudyState& s);
// dataDir + the record file's name up to its last '.' + ".doc"; "" without a record file.
std::string waveListPath(const StudyState& s);

// The analysis with the band limits already taken (eeg.chosenBandLow/High).
// False with a message, nothing computed, for a band whose periods cannot
// be formed, no record, or the transform view on. The record in memory is
// not changed. The ".doc" list is written for the current-channel variant
// when the record has a file name.
bool periodAnalysisCommand(EegAnalysis& eeg, bool allChannels, PeriodCommandResult& out);

// The two histograms as graph series: amplitudes (rows 0, 1) in series 0
// above, periods (rows 2, 3) in series 1 below, both as bars. The two-panel
// drawing takes one point count for both, so the shorter amplitude
// histogram is padded with empty classes at its last centre.
void periodHistogramSeries(StudyState& s, GraphTable& t, const PeriodSummary& summary);

}  // namespace velor
