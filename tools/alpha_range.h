// "&2=A-range" of the calculator: the range of the dominant spectral peak
// between 6 and 15 Hz over the mean spectrum of the leads "O1" and "O2". The
// record's first power-of-two samples become one epoch whose spectra the
// transform view shows; the measured range then replaces the spectral
// engine's first band until a record file is opened.
#pragma once

#include <string>

namespace velor {

struct StudyState;
class SpectralEngine;

struct PeakRange {
  int n = 0;  // transform length
  int low = 0, peak = 0, high = 0;  // bins
  double amplitude = 0;             // mean amplitude over low..high
  std::string line;                 // the text result line
};

// False with `reason` and the state unchanged when the record has no channel
// "O1" or "O2", is shorter than 64 samples, or its spectra cannot be made.
bool measurePeakRange(SpectralEngine& engine, StudyState& s, int usableWidth, PeakRange& out, std::string& reason);

}  // namespace velor
