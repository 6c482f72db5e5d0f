// The ECG diagnosis of a multi-lead record (the interval summary, the
// 12-lead table, the electrical axis and the rule conclusions) and the
// conversion of limb-electrode recordings into the 12-lead system.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "core/study_state.h"
#include "physio/ecg_beats.h"

namespace velor {

// Measures of one lead over the beats (codes): minimum and maximum of ST
// level, T, P, Q, R and S amplitudes.
struct LeadMeasures {
  bool present = false;
  int channel = -1;
  std::array<int, 6> lo{}, hi{};  // ST, T, P, Q, R, S
};

struct EcgDiagnosis {
  std::array<LeadMeasures, 12> leads;  // I, II, III, aVr, aVl, aVf, V1..V6
  bool axisKnown = false;
  int axis = 0;  // degrees
  double heartRate = 0, qrs = 0, pq = 0, drr = 0;  // per minute, s, s, %
  std::vector<int> rules;  // numbers 1..30 of the rules that hold, in print order
  std::vector<std::string> lines;
};

// Detects the beats of the reference channel, measures every standard lead
// at them and composes the report. Every rule that holds prints a line.
// False with the message when fewer than 3 intervals are found or the
// detector refuses its settings.
bool diagnoseEcg(StudyState& s, int referenceChannel, const BeatDetectorSettings& settings, EcgDiagnosis& out,
                 std::string& message, const BeatDetectorOptions& options = {});

// The rules over given measures (physical values in µV, codes relative to
// zero for the ratios); fills out.rules and appends their lines.
void applyEcgRules(EcgDiagnosis& d, const StudyState& s);

// Turns a record of limb electrodes (or two limb leads with chest leads)
// into I, II, III, aVr, aVl, aVf and V1..V6. False, with the record left
// unchanged, for any other layout.
bool convertTo12Leads(StudyState& s);

}  // namespace velor
