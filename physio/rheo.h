// Rheography: impedance pulse waves against the R waves of the ECG on
// channel 2. The wave search finds onset, systolic peak, steepest rise,
// incisura and dicrotic top of each pulse, levels the channel in place and
// leaves the wave table in the result store; the statistics print the twelve
// indices against the age norms of "reo.nrm"; the averaged wave stretches
// every pulse to the mean length and gives its landmarks and the
// hemodynamic estimates. Engines only: windows and the command line print
// what these return.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/study_state.h"
#include "physio/ecg_beats.h"

namespace velor {

inline constexpr int kRegEcgChannel = 2;
inline constexpr int kRegBlock = 2048;
// Waves a table holds: block 1 keeps the first and last onset after them.
inline constexpr int kRegMaxWaves = kRegBlock - 2;
inline constexpr int kRegIndexCount = 12;
inline constexpr int kRegLevel = 1024;  // every onset is brought to this code

// One pulse, from its onset to the next onset (positions in samples of the
// record, amplitudes in codes of the levelled channel).
struct RegWave {
  int onset = 0, nextOnset = 0;
  int peak = 0;       // systolic peak
  int steepest = 0;   // middle of the steepest rise
  int incisura = 0;
  int dicroticTop = 0;
  int T = 0, A0 = 0, tF = 0, steepestCode = 0, tS = 0, AS = 0, afterIncisura = 0, AI = 0, tD = 0, AD = 0;
  int Pr = 0;         // propagation value of the next onset
};

struct RegWaveSearch {
  std::vector<RegWave> waves;
  int firstOnset = 0, lastOnset = 0;
  std::string notice;  // set when the search stopped at the table's capacity
};

// R positions of channel 2 by the ECG detector (beat table into the result
// store, blocks 0..10). Empty when there is no such channel, no rate or the
// settings cannot be used (`problem` then says why, when not empty).
std::vector<int> regRPositions(StudyState& s, const BeatDetectorSettings& settings, std::string& problem);

// The wave search on `channel` given the R positions: levels the channel in
// place between the first and last onset, writes the wave table (result
// store blocks 1..11) and returns the waves (onsets − 1).
RegWaveSearch findRegWaves(StudyState& s, int channel, const std::vector<int>& rPositions);

// Raw value of index k (1..12) for a wave; nothing when it cannot be
// computed (a zero systolic amplitude, a zero rise time) or k is outside 1..12.
std::optional<double> regMeasure(const RegWave& w, int k);
// The factor of index k for a channel: 100, the ohms per code, 1/fs or 1.
double regFactor(const StudyState& s, int channel, int k);
// Ohms per code of a channel: calibValue / calibUnits / 5000.
double regOhmsPerCode(const StudyState& s, int channel);

// Norms for one age: low and high per row 0..13 (row 13: asymmetry limit).
struct RegNorms {
  std::array<double, 14> low{}, high{};
};
// Reads "reo.nrm" text for `age`. False with a message when the text does
// not hold the layout (no ending 0 of the age limits, fewer numbers than the
// fourteen rows need, or more than 200 numbers' worth of rows); the norms
// are then left as they were.
bool parseRegNorms(std::string_view text, int age, RegNorms& out, std::string& message);

// "qreg.ini": the combo text, the age text, the resting propagation time.
struct RegSettings {
  std::string leads = "1";
  std::string age = "20";
  int restingPropagationMs = 140;
  int leadCount() const;  // 1, 2 or 4
  int ageYears() const;   // truncated, 0 when unreadable
};
// Missing or unreadable: false and the defaults.
bool readRegSettings(const std::string& dir, RegSettings& out);
bool writeRegSettings(const std::string& dir, const RegSettings& s);
// A resting time outside 50..300 ms becomes 140.
int sanitizeRestingPropagation(int ms);

// The Kaplan index of the intervals (samples); nothing when it cannot be
// computed (fewer than two intervals, a zero variation).
std::optional<double> kaplanIndex(const std::vector<int>& rr, int rate);

// Mean and SD of one index of one lead, as printed.
struct RegIndexStats {
  bool valid = false;
  double mean = 0, sd = 0;
};
struct RegLeadResult {
  int channel = 0;
  RegWaveSearch search;
  std::array<RegIndexStats, kRegIndexCount> stats{};
  double meanPropagation = 0;  // s
};
struct RegStatistics {
  std::vector<std::string> lines;
  std::vector<RegLeadResult> leads;
  int waveCount = 0;  // of the last lead
  std::vector<std::string> notices;
  std::optional<double> kaplan;  // of the ECG intervals; nothing when it has no value
};
// The "ИПС=" line for a resting propagation time (ms): the Kaplan index
// scaled by the resting over the mean propagation time of the last lead.
std::string regIpsLine(const RegStatistics& st, int restingPropagationMs);
// The statistics of 1, 2 or 4 leads (1: `currentChannel`; 2: channels 0, 1;
// 4: 0, 1 and 3, 4) with the norms given. False with the message when a lead
// has fewer than two waves or channel 2 gives no R waves.
bool computeRegStatistics(StudyState& s, int currentChannel, int leads, const RegNorms& norms,
                          const BeatDetectorSettings& settings, int restingPropagationMs, RegStatistics& out,
                          std::string& message);

// Dynamics of index k over the waves: points (wave number, q × value).
struct RegDynamics {
  std::vector<std::pair<double, double>> points;
  double mean = 0, sd = 0;
  std::string caption, yTitle;
};
bool computeRegDynamics(StudyState& s, int channel, int k, const BeatDetectorSettings& settings, RegDynamics& out,
                        std::string& message);

// The averaged wave of the found waves: S the mean wave, D its first
// difference + 2048, A its second + 2048; landmarks index into them, index
// 10 being the onset.
struct RegAverage {
  int Tm = 0, m = 0;
  std::vector<int> S, D, A;
  int peak = 0, dMax1 = 0, dMin1 = 0, dMax2 = 0, aMax1 = 0, aMin1 = 0, aMax2 = 0, aMin2 = 0, aMax3 = 0;
  int incisura = 0, dicroticPoint = 0, end = 0;
};
// Refused with a message for fewer than two waves or a mean wave too long
// for the 1024-value sequences.
bool averageRegWave(const StudyState& s, int channel, const RegWaveSearch& search, RegAverage& out,
                    std::string& message);
// The lines of "Показатели усредненной РГ-волны".
std::vector<std::string> regAverageLines(const StudyState& s, int channel, const RegAverage& a);

// Patient data of the hemodynamics ("qgdin.ini").
struct RegPatient {
  double erythrocytes = 14;  // negative: a haematocrit
  int pressure = 140;
  double distance = 50, weight = 69, height = 175, chest = 90;
  int sex = 0;  // 0 m, 1 f
};
bool readRegPatient(const std::string& dir, RegPatient& out);
bool writeRegPatient(const std::string& dir, const RegPatient& p, bool haematocrit);
// Kubicek (method 0) or Tishchenko (1) on channel 0 with the base impedance
// from the first sample of channel 1.
bool computeHemodynamics(StudyState& s, int method, int age, const RegPatient& p,
                         const BeatDetectorSettings& settings, std::vector<std::string>& lines, std::string& message);
// The same on the waves a search of channel 0 already found (the window
// searches before it asks for the patient data).
bool computeHemodynamics(StudyState& s, const RegWaveSearch& channel0, int method, int age, const RegPatient& p,
                         std::vector<std::string>& lines, std::string& message);

}  // namespace velor
