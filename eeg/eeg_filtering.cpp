// Band filtering of the EEG analysis window through the FFT filters.
#include "eeg/eeg_analysis.h"
#include "eeg/eeg_analysis_texts.h"
#include "eeg/fft_filter.h"

namespace velor {

bool runBandFilter(SpectralEngine& engine, StudyState& s, const BandFilterPlan& plan, int first, int last) {
  switch (plan.kind) {
    case BandFilterPlan::Kind::BandPass: fftBandPass(engine, s, first, last, plan.high, plan.low); return true;
    case BandFilterPlan::Kind::HighPass:
    case BandFilterPlan::Kind::LowPass: fftBandStop(engine, s, first, last, plan.high, plan.low); return true;
    case BandFilterPlan::Kind::None: break;
  }
  return false;
}

bool EegAnalysis::bandFiltering() {
  apply();
  if (!takeBandLimits()) return false;
  s_.transformKind = TransformKind::Amplitude;
  if (s_.viewMode == ViewMode::Transform || s_.channelCount < 1 || s_.recordLength < 2) {
    ui_.message(s_.viewMode == ViewMode::Transform ? eeg_text::kInTransformView : eeg_text::kNoSignal);
    return false;
  }
  const BandFilterPlan plan = bandFilterPlan({chosenBandLow, chosenBandHigh}, s_.sampleRate);
  if (!runBandFilter(engine_, s_, plan, 0, s_.channelCount - 1)) return false;
  s_.recordModified = 1;
  return true;
}

}  // namespace velor
