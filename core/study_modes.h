// What the monitor shows (ViewMode) and what the transform view and the band
// computation hold (TransformKind). Each value keeps the number it has always
// had: map cards store both, and the command line and scripted callers pass
// kinds as numbers. Code asks the predicates below instead of comparing
// numbers or ranges.
#pragma once

#include <optional>

namespace velor {

enum class ViewMode : int {
  Signals = 0,       // the record's signals
  Transform = 1,     // transform results of the current epoch; the signals are parked
  BandDiagrams = 2,  // band measures of one epoch per channel (map window "Диа")
  EpochMaps = 3,     // band measures of every epoch (map window "Эпохи")
  ExamDisplay = 4,   // online map and express-analysis displays of an examination
};

enum class TransformKind : int {
  Amplitude = 0,
  Power = 1,
  CrossSpectrum = 2,
  CrossPhase = 3,  // phase spectrum of single channels when there are no lead pairs
  Coherence = 4,
  CoherentPower = 5,
  Correlation = 6,  // running correlation with a template, along time
  Synchrony = 7,    // band synchrony, and the pair map of a profile
  // 8 and 9 are not used.
  Envelope = 10,    // band envelope
};

constexpr int toNumber(ViewMode m) { return static_cast<int>(m); }
constexpr int toNumber(TransformKind k) { return static_cast<int>(k); }

// A stored or scripted number as it is, known or not: readers keep what the
// file says, the predicates treat unknown numbers as their ranges always did.
constexpr ViewMode viewModeFromNumber(int n) { return static_cast<ViewMode>(n); }
constexpr TransformKind transformKindFromNumber(int n) { return static_cast<TransformKind>(n); }

// Only a number that names a kind (for options typed by a person).
constexpr std::optional<TransformKind> knownTransformKind(int n) {
  if (n < toNumber(TransformKind::Amplitude) || n > toNumber(TransformKind::Envelope) || n == 8 || n == 9)
    return std::nullopt;
  return transformKindFromNumber(n);
}

// --- view modes ------------------------------------------------------------

// The transform view and the two band modes: the rows shown may be lead pairs.
constexpr bool showsTransformResults(ViewMode m) { return m >= ViewMode::Transform && m <= ViewMode::EpochMaps; }
// Band diagrams, epoch maps and the examination displays: the map window shows
// band measures from the result store.
constexpr bool showsBandMeasures(ViewMode m) { return m >= ViewMode::BandDiagrams; }
// The two band modes the EEG analysis opens (diagram columns, selections).
constexpr bool showsBandDiagrams(ViewMode m) { return m == ViewMode::BandDiagrams || m == ViewMode::EpochMaps; }
// Modes whose result slices are epochs (the current epoch picks the slice).
constexpr bool slicesAreEpochs(ViewMode m) { return m >= ViewMode::EpochMaps; }
// Displays an examination sets up; the EEG analysis does not ask about short epochs there.
constexpr bool isExamDisplay(ViewMode m) { return m >= ViewMode::ExamDisplay; }

// --- transform kinds -------------------------------------------------------

// From the cross-spectrum on, measures are computed over the lead pairs when
// the study has any.
constexpr bool isPairMeasure(TransformKind k) { return k > TransformKind::Power; }
// The band envelope is computed per channel although it counts among the pair
// measures: only the other pair measures keep pair rows in the result store.
constexpr bool keepsPairRows(TransformKind k) { return isPairMeasure(k) && k != TransformKind::Envelope; }
// Cross-spectrum, phase, coherence and coherent power.
constexpr bool isCrossSpectral(TransformKind k) {
  return k >= TransformKind::CrossSpectrum && k <= TransformKind::CoherentPower;
}
// What the epoch spectra compute: the spectra and the template correlation.
constexpr bool isEpochMeasure(TransformKind k) {
  return k >= TransformKind::Amplitude && k <= TransformKind::Correlation;
}
// Measures that exist per band only, without spectra to show in the monitor.
constexpr bool isBandOnlyMeasure(TransformKind k) {
  return k == TransformKind::Synchrony || k == TransformKind::Envelope;
}
// Codes centred on 2048 (phase, correlation) rather than magnitudes from 0.
constexpr bool hasSignedCodes(TransformKind k) {
  return k == TransformKind::CrossPhase || k == TransformKind::Correlation;
}
// Every transform result runs along frequency except the correlation, which
// runs along time.
constexpr bool hasFrequencyAxis(TransformKind k) { return k != TransformKind::Correlation; }

}  // namespace velor
