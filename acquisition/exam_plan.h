// The examination plan: what an examination records (channels, rate, record
// length, record file, live monitor, protocol, express analysis and bound
// instruments), its plan files (".cap"), the dialog's remembered settings
// ("qpln.ini", "qpln_s.ini"), the interval labels and the default plan of
// every device kind.
//
// Contract: readPlanFile either takes the whole file — every count and value
// checked before anything is used — or refuses it with a message and leaves
// the study state and the plan as they were. A file that ends early leaves
// the fields after its end unchanged.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "core/study_state.h"

namespace velor {

struct DeviceDescription;

inline constexpr int kPlanHeaderChars = 161;
inline constexpr int kPlanFileNames = 10;      // the record-file name list
inline constexpr int kSportFileNames = 30;     // the diagnostics dialog's list
inline constexpr int kProtocolColumns = 6;
inline constexpr int kIntervalItems = 11;      // 32, 64, ..., 16384, 32760 samples
inline constexpr int kMaxRecordSamples = 32760;
inline constexpr int kDefaultRandomState = 1542;

enum class MonitorMode : int { RealTime = 0, Deferred = 1, None = 2 };

// Plan settings that are not part of the record model.
struct ExaminationPlan {
  MonitorMode monitorMode = MonitorMode::RealTime;
  int displayDecimation = 0;  // "Сжать=" − 1, 0..8
  int nvxReference = 0;       // 0..4 ("Нет", "А1", "А2", "А1+А2", "symmetr")
  int expressAnalysisKind = 0;  // 0 none, 1..19 a kind, +20 with instruments bound
  int expressParameter = 0;
  int expressThreshold = 0;
  int expressChannel = 0;
  std::string instrumentFile;  // name of the bound instrument set, or empty
  // The protocol table: protocolLineCount lines of six bytes.
  std::vector<std::array<std::uint8_t, kProtocolColumns>> protocol;
  int protocolLineCount() const { return static_cast<int>(protocol.size()); }
  // Amplifier grid columns 4, 5 and 6 (gain, high-pass, low-pass item) per
  // channel, and the grid's common value (row 32, column 7).
  std::array<std::array<std::uint8_t, kMaxChannels>, 3> amplifierColumns{};
  std::uint8_t amplifierCommon = 0;
  int modelByte = 0;  // 1: a 52-channel NVX plan
  bool interruptMode = false;
  int randomState = kDefaultRandomState;
  // The record file: name without directory and extension; empty = no file.
  std::string recordName = "a0";
  std::array<std::string, kPlanFileNames> fileNames{"a0", "a1", "a2", "a3", "a4", "a5", "a6", "a7", "a8", "a9"};
  std::string lastPlanName;  // base name of the last plan file read (status line)
};

// --- plan files ----------------------------------------------------------------

// Slots of a plan file: 64 when the model byte is 1 or the channel count is
// above 23, else 32 — the same rule for writing and reading.
int planSlots(int modelByte, int channelCount);

// Writes the plan of the study state. False with a reason on a write failure
// or a state that a plan cannot hold (channel count outside 1..64). Written
// atomically: a failed write leaves the old file.
bool writePlanFile(const std::string& path, const StudyState& s, const ExaminationPlan& plan, int deviceKind,
                   std::string& reason);
// Reads a plan into the state and plan (see the contract above).
bool readPlanFile(const std::string& path, StudyState& s, ExaminationPlan& plan, std::string& reason);
// The same from bytes in memory (the fuzz target and tests).
bool readPlanBytes(const std::string& bytes, StudyState& s, ExaminationPlan& plan, std::string& reason);

// --- dialog settings -----------------------------------------------------------

inline constexpr const char* kPlanSettingsFile = "qpln.ini";
inline constexpr const char* kSportSettingsFile = "qpln_s.ini";
// qpln.ini: line 1 the first name of the list, line 2 randomState, line 3
// "1" with interrupts. A missing or short file keeps what it does not give
// (false). A randomState that does not parse or leaves 16 bits is ignored.
bool readPlanSettings(const std::string& programDir, ExaminationPlan& plan);
bool writePlanSettings(const std::string& programDir, const ExaminationPlan& plan);

struct SportSettings {
  int athleteItem = 0;  // 0..5: "1".."6"
  std::string recordName = "a0";
};
bool readSportSettings(const std::string& programDir, SportSettings& out);
bool writeSportSettings(const std::string& programDir, const SportSettings& in);

// The chosen name goes to the top of the list unless it is already there
// (then the order stays); a new name pushes the last one out.
void rememberFileName(std::array<std::string, kPlanFileNames>& names, const std::string& name);
void rememberFileName(std::vector<std::string>& names, const std::string& name, std::size_t capacity);

// The express-analysis settings ("Экспресс-анализ"), kept in "qexa.ini" one
// value a line: gain, artefact level (µV), maximum, minimum, band item, ECG
// channel item. A missing or short file keeps what it does not give.
inline constexpr const char* kExpressSettingsFile = "qexa.ini";
struct ExpressSettings {
  int gain = 1;
  double artefactMicroVolts = 0;
  int maximum = 0, minimum = 0;
  int bandItem = 0;     // "Диап=": a band of the table, or the last item "4 диапазона"
  int channelItem = 0;  // "Канал=": 0 "Все", then the channels
};
bool readExpressSettings(const std::string& programDir, ExpressSettings& out);
bool writeExpressSettings(const std::string& programDir, const ExpressSettings& in);
// The kind a "Режимы" item (0..7) stands for: 0..6, and 10 for the user's.
int expressKindOfItem(int item);
// "Утвердить": the checked item and the settings into the plan (instruments
// stay bound when they were). The evoked artefact level becomes codes of
// channel 0 (a channel without calibration takes every record).
void applyExpressChoice(int item, const ExpressSettings& e, StudyState& s, ExaminationPlan& plan);

// --- intervals and rates ------------------------------------------------------

// Samples of interval item i (0..10): 2^(i+5), item 10 gives 32760; −1 for
// an item outside the list.
int intervalSamples(int item);
// The item whose length is nearest below or at `recordLength` (round(log2) − 5
// clamped to the list); −1 for a length below 32.
int intervalItemFor(int recordLength);
// The eleven labels in seconds at `sampleRate` (empty for a rate below 1).
std::vector<std::string> intervalLabels(int sampleRate);
// A record rate a plan may take: 1..65535 (it is stored in 16 bits).
bool planRateAcceptable(int rate);

// --- default plans --------------------------------------------------------------

// The device plan file start-up reads for a kind: "nvx24.cap", "nvx36.cap",
// "nvx52.cap" for NVX by channel count, "K2.cap" for K2, "" for the others.
std::string devicePlanFileName(int deviceKind, int deviceChannelCount);
// The plan an examination takes on a device when none is given: the device's
// record channels (at most 64; 32 inputs of the board, in order), its record
// rate (or `rate` when given), the interval item nearest to 4 s, a mark
// channel, the live monitor in real time. `s` must already carry the opened
// device's channel table.
void applyDefaultPlan(StudyState& s, ExaminationPlan& plan, const DeviceDescription& d, int rate = 0);
// Start-up's device plan in programDir: when the kind has one and it is
// missing it is written first with the plan dialog's defaults for the
// opened device (its record channels and rate, records of 1024 samples, the
// live monitor, no reference); then it is read into the state and plan.
// Returns false with the reason when the file cannot be written or read
// (the state is then as the opened device left it); true also for kinds
// without a plan file. `name` receives the file name ("" for none).
bool loadDevicePlan(StudyState& s, ExaminationPlan& plan, const DeviceDescription& d, std::string& name,
                    std::string& reason);
// The same plan without writing anything: the device plan file of programDir
// when it exists, else what start-up would write into it; for kinds without a
// plan file the default plan above. `rate` > 0 replaces the plan's rate.
// Returns false with the reason when an existing file cannot be read.
bool takeDevicePlan(StudyState& s, ExaminationPlan& plan, const DeviceDescription& d, int rate, std::string& name,
                    std::string& reason);

}  // namespace velor
