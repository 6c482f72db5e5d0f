// The express analysis at the end of each record of an examination, on the
// acquisition side. Kinds 1 ("Диаграммы спектра") and 2 (maps) compute the
// epoch spectra and band measures of the finished record with the spectral
// engine (results in the parked buffers and the result store) and adjust
// `gainStep` to the largest peak so far. The other kinds (evoked potentials,
// ECG, wave analyses) arrive with their analyses; until then an examination
// planned with one runs without it.
#pragma once

#include <memory>

#include "core/study_state.h"

namespace velor {

class SpectralEngine;

class ExpressAnalysis {
 public:
  ExpressAnalysis();
  ~ExpressAnalysis();
  // The kind (`expressAnalysisKind` mod 20) can run in this build.
  static bool available(int kind);
  void reset() { maxPeak_ = 0; }
  // Analyses the finished record of `samples` samples. Returns the peak of
  // the spectra, or −1 when the record cannot be analysed (too short).
  int run(StudyState& s, int kind, int samples);
  int maxPeak() const { return maxPeak_; }

 private:
  std::unique_ptr<SpectralEngine> spectra_;
  int maxPeak_ = 0;
};

}  // namespace velor
