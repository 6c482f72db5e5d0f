// FFT filters: records are changed in place by editing their Hartley spectra
// (the engine's fixed-point transform serves as its own inverse). A band is
// removed (also the low-pass and the high-pass), a band is kept, or the
// spectrum is weighted by a Gaussian around a band. Records longer than 8192
// samples are cut into segments of 8192 that overlap by 16 samples and are
// cross-faded over the overlap; shorter records are extended by mirroring
// and filtered as one segment of twice the power of two that fits. Near the
// segment joins (and the record's ends) a segment transformed as if it were
// periodic leaves small ripples where strong components are removed.
//
// Frequencies are fractions of sampleRate (0 .. 0.5); channels are 0-based
// and inclusive. The filters leave recordLength and the channel table as they
// found them; callers mark the record as changed and redraw.
#pragma once

#include <cstdint>

#include "core/study_state.h"
#include "eeg/spectral.h"

namespace velor {

enum class FftFilterKind : int {
  kBandStop = 0,  // zero the band
  kBandPass = 1,  // keep the constant part and the band
  kGauss = 2,     // weight by a Gaussian that is ½ at both edges
};

// Removes the band low..high (fractions of sampleRate) from channels
// firstChannel..lastChannel of the current record. high = 0.5 makes it a
// low-pass at `low`; low below one bin a high-pass at `high`. Each segment is
// re-centred on the channel's zeroLevel.
void fftBandStop(SpectralEngine& e, StudyState& s, int firstChannel, int lastChannel, double high, double low);
// Keeps the constant part and the band low..high, zeroes the rest; each
// segment is re-centred on the channel's zeroLevel.
void fftBandPass(SpectralEngine& e, StudyState& s, int firstChannel, int lastChannel, double high, double low);
// Weights every bin k by 2^(−((k − centre) / half-width)²) with the band
// edge1..edge2 (either order): ½ at both edges, 1 at the centre; the constant
// part is removed and the result sits on the channel's zeroLevel.
void fftGauss(SpectralEngine& e, StudyState& s, int firstChannel, int lastChannel, double edge1, double edge2);

// The same filters on a plain trace of `length` samples (1 ≤ length ≤
// kMaxSamples) centred on `zeroLevel`, for callers that filter a copy. `low`
// and `high` as above (for the Gaussian the two edges). Fewer than 2 samples,
// a length above kMaxSamples, frequencies that are not numbers, or a band
// that removes nothing leave the trace unchanged.
void fftFilterTrace(SpectralEngine& e, FftFilterKind kind, std::int16_t* x, int length, int zeroLevel, double low,
                    double high);

// --- the building blocks (used by the filters above; exposed for tests) ----------

// Transform length h for a record of `recordLength` samples: for band-stop
// and band-pass f = the largest power of two not above recordLength, at most
// 8192, and h = 2f while f < 8192 (the record is then mirrored out to h and
// filtered as one segment), else 8192; for the Gaussian the largest power of
// two not above min(recordLength, 8192). 0 when recordLength < 2.
int fftSegmentLength(FftFilterKind kind, int recordLength);
// The start of the segment after the one starting at `start`, for segments of
// `h` samples over `length` samples (16 samples of overlap, the last segment
// ending at the record's end); −1 when `start` was the last one. Segments
// start at 0.
int fftNextSegment(int start, int length, int h);

// Sets bins first .. first+count−1 of the transform in fhtWork (N = fhtSize)
// and their mirrors N−first−count+1 .. N−first to 0. Bins outside 0 .. N/2 are
// ignored (bin 0 and bin N/2 are their own mirrors); count ≤ 0 does nothing.
void zeroBins(SpectralEngine& e, int first, int count);
// Transforms the edited coefficients in fhtWork again and scales them back to
// samples: a right shift by fhtOrder − (exponent of the forward transform +
// exponent of this one), so fhtWork[0..N−1] holds the time signal again up to
// rounding. A negative shift scales up, saturating at the 16-bit limits.
void inverseTransform(SpectralEngine& e);
// Edits the transform in fhtWork (h = fhtSize) as `kind` does for the band
// low..high (fractions, already limited to 0 .. 0.5 and low ≤ high): zeroes
// or weights the bins, not yet inverted. Returns false when the band leaves
// every bin as it is (nothing to filter).
bool fftEditSpectrum(SpectralEngine& e, FftFilterKind kind, double low, double high);

}  // namespace velor
