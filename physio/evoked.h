// Evoked potentials: epochs time-locked to reference points (stimulus codes in
// the mark channel, marks or one-sample events in a channel, a fixed time,
// repetitions of a selected waveform) averaged over the records of the open
// file or along the current record, with artefact rejection, zero correction,
// gain and smoothing; the band-power variant (ERD/ERS) in per cent; and the
// peak table of the averaged record.
//
// The averaged record replaces the current one (recordLength = epoch length,
// recordCount = −epochs). A run that averages nothing, or that is refused,
// leaves the record, the file position and the channel table as they were.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "core/interaction.h"
#include "core/study_state.h"

namespace velor {

class SpectralEngine;

inline constexpr int kPeakRows = 17;
inline constexpr int kMaxEpochSamples = 4095;

struct PeakRow {
  std::string label;
  std::string sign;  // "+" a positive peak, anything else a negative one
  std::string tMin;  // s, as typed
  std::string tMax;
};

// The settings of the averaging window, in the order of "q16.ini" and of the
// ".cav" archives (one value per line).
struct EvokedSettings {
  std::string header;             // line 1, padded to 162 characters
  double epochStart = 0;          // s, relative to the reference point
  double epochEnd = 0.5;          // s
  double filterLow = 0;           // Hz; stored, not applied
  double filterHigh = 0;          // Hz; stored, not applied
  std::string condition;          // record selection formula; empty: every record
  std::string reference = "S0";  // letter and parameter
  int gain = 1;                   // 1..15
  bool stepByStep = false;
  double artefactMicroVolts = 0;  // 0: no artefact test
  double artefactSeconds = 0;
  int smoothing = 0;  // 0..10 passes of smooth121
  std::array<PeakRow, kPeakRows> peaks{};
  bool zeroCorrection = false;
  int potentialType = 0;  // 0 ERP, 1 ERD/S
  // The ERS/ERD filtering values (band limits in Hz, baseline in s from the
  // epoch start), used by the ERD/S type only.
  double erdLow = 8, erdHigh = 12;
  double baselineStart = 0, baselineEnd = 0;
};

// Lines 1..82 of the settings file from the settings, and back. Reading a
// missing or short file gives false and leaves `out` as it was.
std::vector<std::string> evokedSettingsLines(const EvokedSettings& s);
bool readEvokedSettings(const std::string& path, EvokedSettings& out);
bool writeEvokedSettings(const std::string& path, const EvokedSettings& s);
inline constexpr const char* kEvokedSettingsFile = "q16.ini";
// A ".cav" archive holds the same lines; reading one makes its line 1 the
// examination header. False (nothing changed) when it cannot be read.
bool readEvokedArchive(const std::string& path, EvokedSettings& out, StudyState& s);

enum class ReferenceKind : char { Time = 'T', Stimulus = 'S', Marker = 'M', Event = 'E', Copy = 'C', Low = 'I', High = 'O', External = 'P' };

struct ReferencePoint {
  ReferenceKind kind = ReferenceKind::Stimulus;
  int code = 0;         // stimulus bit, channel from 1, byte code
  double seconds = 0;   // kind T
};

// Parses "S3", "s2", "T0.5 [i=сек]", "IFF"... False with the message
// ("Ошибка типа опорной точки!" or "Ошибка параметра опорной точки").
bool parseReferencePoint(const std::string& text, int channelCount, ReferencePoint& out, std::string& message);

// The next reference point at or after h in the record in memory, or −1.
// `templateStart`/`templateLength` give the selected interval for kind C.
int findReferencePoint(const StudyState& s, const ReferencePoint& ref, int h, int templateStart, int templateLength);

enum class EvokedMode { Records = 0, InsideRecord = 1 };

struct EvokedOutcome {
  bool averaged = false;
  int epochs = 0;     // averaged
  int rejected = 0;   // by the artefact test
  int skipped = 0;    // epochs reaching outside the record
};

// Runs the averaging on the study state. Messages and questions go through
// `ui` (the step-by-step box is a choice of "Да" 1, "Нет" 2, "Abort" 3).
// ERD/S needs `engine`. False when nothing was averaged.
bool averageEvoked(StudyState& s, const EvokedSettings& settings, EvokedMode mode, SpectralEngine& engine,
                   Interaction& ui, EvokedOutcome& outcome);

struct PeakMeasure {
  std::string label;
  bool positive = true;
  std::vector<double> amplitude;  // per EEG channel, physical
  std::vector<double> latency;    // s
};
struct PeakTable {
  std::vector<int> channels;  // 0-based EEG channels measured
  std::vector<PeakMeasure> rows;
  std::string text;           // as the text window shows it, lines joined by "\n"
};

// The peaks of the averaged record ("Выделить").
PeakTable measurePeaks(const StudyState& s, const EvokedSettings& settings);

}  // namespace velor
