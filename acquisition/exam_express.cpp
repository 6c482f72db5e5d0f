#include "acquisition/exam_express.h"

#include <algorithm>
#include <cmath>

#include "eeg/spectral.h"

namespace velor {

ExpressAnalysis::ExpressAnalysis() = default;
ExpressAnalysis::~ExpressAnalysis() = default;

bool ExpressAnalysis::available(int kind) {
  const int k = kind % 20;
  return k == 0 || k == 1 || k == 2;
}

int ExpressAnalysis::run(StudyState& s, int kind, int samples) {
  const int k = kind % 20;
  if (k != 1 && k != 2) return -1;
  int n = 1;
  while (n * 2 <= std::min(samples, kFhtMaxSize)) n *= 2;
  if (n < 2) return -1;
  if (!spectra_) spectra_ = std::make_unique<SpectralEngine>();
  // One epoch over the record's first power-of-two samples; the grid the
  // person chose for the viewer comes back afterwards.
  const int length = s.epochLength, step = s.epochStep, count = s.epochCount;
  const TransformKind transform = s.transformKind;
  s.epochLength = n;
  s.epochStep = n;
  s.epochCount = 1;
  s.transformKind = TransformKind::Amplitude;
  const int peak = spectra_->epochProblem(s, 0).empty() ? spectra_->epochSpectra(s, 0, 0) : -1;
  s.epochLength = length;
  s.epochStep = step;
  s.epochCount = count;
  s.transformKind = transform;
  if (peak > maxPeak_ && peak > 0 && peak < 2816) {
    maxPeak_ = peak;
    s.gainStep = static_cast<int>(std::log(2816.0 / peak) / std::log(1.2));
  }
  return peak;
}

}  // namespace velor
