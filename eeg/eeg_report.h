// The clinical EEG report after Zhirmunskaya's classification: six features
// of the record are coded from the band amplitudes of the eight standard
// leads (F3 F4 C3 C4 P3 P4 O1 O2) and from the period analysis of the
// occipital alpha rhythm, the degree of abnormality comes from the first
// matching rule of the rule table, and the report is a list of text lines
// for the text result window "Диагноз ЭЭГ". No Qt.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "core/study_state.h"
#include "eeg/period_analysis.h"
#include "eeg/spectral.h"

namespace velor {

inline constexpr int kReportLeads = 8;
inline constexpr int kReportBands = 4;  // delta, theta, alpha, beta1: the first four bands of the table
inline constexpr int kReportMinSamples = 2096;
inline constexpr int kReportEpochLength = 512;

// The six features in the order of the report and of the rule columns.
enum ReportFeature : int { kMain = 0, kAmplitudeFeature, kAlphaFeature, kZonal, kBeta1, kSlow, kFeatureCount };

struct ReportFeatures {
  std::array<int, kFeatureCount> code{1, 1, 1, 1, 1, 1};
};

// What the features are coded from.
struct ReportMeasures {
  // Band amplitude per lead (F3 … O2) and band (delta … beta1), in µV peak
  // to peak, as a clinician reads a wave: the height of the one sine that
  // carries the band's power, 2√2 × √(band power), the band power being the
  // power band measure averaged over the epochs (see eegReport).
  std::array<std::array<double, kReportBands>, kReportLeads> band{};
  std::array<std::string, kReportBands> bandNames;
  // The occipital alpha: period analysis of O1 and O2 in 8..14 Hz.
  PeriodLimits alphaLimits;
  std::array<PeriodSummary, 2> occipital;
};

// Numbers derived from the measures on the way to the codes (kept for the
// JSON output and the tests).
struct ReportDerived {
  std::array<double, kReportBands> bandMean{};   // amplitude over the eight leads, µV peak to peak
  std::array<double, kReportBands> sharePercent{};  // the band's part of the power of the four bands
  double meanAmplitude = 0;    // µV peak to peak, compared with 10, 25, 45 and 80
  double rhythmPercent = 0;    // mean of O1 and O2
  double modulationPercent = 0;
  double instabilityRatio = 0; // instability over (Tmax − Tmin) / 6
  double zonalRatio = 0;       // posterior over anterior alpha (0 when there is no anterior alpha)
};

// The coding of the six features (see the comment at its definition for the
// thresholds).
ReportFeatures codeFeatures(const ReportMeasures& m, ReportDerived* derived = nullptr);

// 1-based number of the first rule whose ranges hold every feature, 0 when
// none does. degreeOut receives the rule's degree (1 when none matches).
int matchRule(const ReportFeatures& f, int* degreeOut = nullptr);

// The report lines: the degree, one line per feature (the alpha
// characteristic and zonal differences only with alpha as the main
// component), then the focal changes.
std::vector<std::string> reportLines(const ReportFeatures& f, int degree, const ReportMeasures& m);

// The focal-change lines alone: "Очаговые изменения ЭЭГ:" with its
// depression, activity and asymmetry lines, or the one line with
// " отсутствуют.".
std::vector<std::string> focalLines(const ReportMeasures& m);

struct EegReport {
  std::string problem;  // the message when there is no report ("" otherwise)
  ReportMeasures measures;
  ReportDerived derived;
  ReportFeatures features;
  int rule = 0;    // 1-based, 0 when no rule matched
  int degree = 1;
  std::vector<std::string> lines;
  bool ok() const { return problem.empty(); }
};

// The whole report for the record in memory. The band measures of every
// epoch of 512 samples (power, band mode 0, the Hann window whatever
// window the person chose, no extra averaging) are computed through the
// engine into resultStore and the engine's spectra buffers
// (parkedChannelData), as the band diagrams do;
// afterwards epochLength, epochStep, epochCount, currentEpoch, bandMode and
// transformKind are as they were, and so are the engine's window, averaging
// and first-band bins. The samples and the channel table are never changed.
// A problem (missing leads, a short record, no or unusable bands, the
// transform view on, a lead without signal) leaves everything as it was.
EegReport eegReport(SpectralEngine& engine, StudyState& s);

}  // namespace velor
