// The one study state every window and engine works on: the record in memory,
// its channel table, the open record file, the epoch grid, the view state the
// monitor shares and the mode flags. The application creates exactly one and
// passes it by reference; tests make their own.
#pragma once

#include <algorithm>
#include <array>
#include <cassert>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/study_modes.h"

namespace velor {

class RecordSource;
// Windows the state points at, known here by name only.
class MapWindow;
class TextResults;

inline constexpr int kMaxChannels = 64;          // channel buffers
inline constexpr int kMaxSamples = 32767;        // samples per channel in a record
inline constexpr int kParkedSamples = 16386;     // values per channel in a transform result
inline constexpr int kResultStoreSize = 294912;  // signed 16-bit result cube
inline constexpr int kFloatRows = 16;
inline constexpr int kFloatRowLength = 1024;
inline constexpr int kFloatStoreSize = kFloatRows * kFloatRowLength;
inline constexpr std::int16_t kMarkCode = 4096;  // a user mark inside a signal channel
inline constexpr int kHeaderChars = 162;         // examination header, in characters
inline constexpr int kBandRows = 30;             // rows of the frequency band table
inline constexpr int kMaxLeadPairs = 64;

// A sample code read from a file, kept off the mark code: a value that lands
// on it reads one code above instead of turning into a user's mark.
inline constexpr std::int16_t sampleCode(std::int16_t code) {
  return code == kMarkCode ? static_cast<std::int16_t>(kMarkCode + 1) : code;
}

// An array whose valid indices run from Lo to Hi inclusive (the channel table
// has three entries below channel 0).
template <typename T, int Lo, int Hi>
class IndexedArray {
 public:
  static constexpr int lo = Lo;
  static constexpr int hi = Hi;
  T& operator[](int i) {
    assert(i >= Lo && i <= Hi);
    return v_[static_cast<std::size_t>(i - Lo)];
  }
  const T& operator[](int i) const {
    assert(i >= Lo && i <= Hi);
    return v_[static_cast<std::size_t>(i - Lo)];
  }
  void fill(const T& x) { v_.fill(x); }

 private:
  std::array<T, Hi - Lo + 1> v_{};
};

struct FontSpec {
  std::string name;
  int size = 10;
  bool bold = false;
};

// One row of the frequency band table; the cells are kept as the grid shows
// them (text), since the settings files store them as text too.
struct BandRow {
  std::string name;
  std::string low;
  std::string high;
};

// Kinds of a channel carried in channelPosX.
enum ChannelKindCode : int {
  kKindAccel = 247,
  kKindTemperature = 248,
  kKindPhotoPlethysmogram = 249,
  kKindBreathing = 250,
  kKindSkinResponse = 251,
  kKindEog = 252,
  kKindEmg = 253,
  kKindRheogram = 254,
  kKindEcg = 255,
};

// Caption of a channel kind as shown ("ЭЭГ" for any electrode position).
const char* channelKindName(int posX);
// Caption of a reference scheme 0..6, or "" for an unknown one.
const char* referenceKindName(int kind);

struct StudyState {
  StudyState();
  StudyState(const StudyState&) = delete;
  StudyState& operator=(const StudyState&) = delete;
  ~StudyState();

  // --- record -------------------------------------------------------------
  int recordLength = 1024;         // valid samples per channel
  int plannedRecordLength = 1024;  // length the record was planned with
  int savedRecordLength = 1024;    // signal length while the transform view is on
  int sampleRate = 100;            // Hz
  int channelCount = 4;
  int markChannelCount = 0;  // 1 when the record carries a mark channel

  // --- buffers (allocated once, never reallocated) -------------------------
  std::array<std::int16_t*, kMaxChannels> channelData{};
  std::array<std::int16_t*, kMaxChannels> parkedChannelData{};
  std::int16_t* markChannel = nullptr;
  std::array<std::int16_t*, 2> spareTrace{};
  std::int16_t* resultStore = nullptr;  // kResultStoreSize values
  float* floatStore = nullptr;          // kFloatStoreSize values
  std::int16_t* scratchLong = nullptr;  // 32767 samples
  std::array<std::int16_t*, 2> scratchMid{};  // 16388 samples each
  std::int16_t* scratch8192 = nullptr;
  std::int16_t* scratch2048 = nullptr;

  // --- channel table ---------------------------------------------------------
  std::array<std::string, kMaxChannels + 1> channelNames{};  // UTF-8, up to 5 characters
  IndexedArray<std::uint16_t, -3, kMaxChannels> zeroLevel;
  IndexedArray<std::uint16_t, -3, kMaxChannels> calibUnits;
  IndexedArray<std::uint16_t, -3, kMaxChannels> calibValue;
  IndexedArray<std::int8_t, -3, kMaxChannels> channelOrder;
  std::array<std::uint8_t, kMaxChannels + 1> channelPosX{};
  std::array<std::uint8_t, kMaxChannels + 1> channelPosY{};
  std::array<std::array<std::uint8_t, 2>, kMaxLeadPairs> leadPairs{};  // 1-based channel numbers
  int leadPairCount = 0;
  int referenceKind = 0;  // 0..6

  // --- record file -----------------------------------------------------------
  int recordFileHandle = -1;  // POSIX descriptor of the open record file, < 0 when none
  int recordFileVersion = 3;  // 0 CA15, 1 CA30/CA31, 2 EDF stream, 3 CA40
  std::string recordFileName;  // without directory
  std::string recordFilePath;  // full path of the open record file
  int recordCount = 0;         // −k: one averaged record of k responses
  int currentRecord = 0;       // 1-based
  int storedLength = 0;        // samples per channel stored for the current record
  int recordModified = 0;
  int pendingChannelCount = 0;
  double recordDate = 0;  // whole days since 30 December 1899
  double recordTime = 0;  // fraction of a day
  std::string examHeader;  // UTF-8, exactly kHeaderChars characters
  // What moves through the open recording (record_source.h); nullptr when
  // none. It goes with the descriptor: closeRecordFile drops both.
  std::unique_ptr<RecordSource> recordSource;

  // --- epoch grid ------------------------------------------------------------
  int epochLength = 256;
  int epochStep = 256;
  int epochCount = 4;
  int currentEpoch = 0;

  // --- view parameters shared with other windows -----------------------------
  int cursorPos = 0;
  int selectionAnchor = -1;
  int viewStart = 0;
  int firstShownChannel = 0;
  int shownChannelCount = 4;
  int currentChannelRow = 0;
  int timeZoom = 0;  // −5..5
  int gainStep = 0;
  int monitorWidth = 800;
  int monitorHeight = 600;
  double screenPixelsPerMm = 96.0 / 25.4;  // the monitor's screen, for sensitivity and speed in mm
  int rowHeight = 100;
  std::array<int, kMaxChannels + 1> rowBaseY{};
  int displayFlags = 3;
  int transformCursorPos = 12;
  int savedViewStart = 0;     // view start kept while the transform view is on
  int savedCursorPos = 0;     // cursor kept while the transform view is on
  int powerShift = 0;         // right shift applied to a power spectrum entering the view
  // Right shift of the mean band powers in resultStore (transformKind power,
  // bandMode 0): band powers of full 16-bit codes reach far beyond what a
  // 16-bit cell holds, so the store keeps them on one binary scale, raised as
  // needed while the band measures are computed; resultValue multiplies it back.
  int resultPowerShift = 0;
  bool lockedZoom = false;    // some analyses keep timeZoom when entering the view

  // --- mode flags ------------------------------------------------------------
  ViewMode viewMode = ViewMode::Signals;
  TransformKind transformKind = TransformKind::Amplitude;
  int acquisitionActive = 0;
  int deviceKind = 0;
  int groupMode = 0;
  int dialogResult = 0;
  int sumMode = 0;  // integral measure of the scoreboard
  int constructorMode = 0;
  int monitorPlacement = 1;

  // --- wall clock ------------------------------------------------------------
  // Local time in seconds since 1970-01-01 00:00 of the local calendar, for
  // the dates and times written into files. Unset: the system clock. A
  // headless examination in virtual time sets it so that the same run gives
  // the same bytes.
  std::function<std::int64_t()> localClock;

  // --- paths -----------------------------------------------------------------
  std::string programDir;  // ends with '/'
  std::string dataDir;     // ends with '/'
  std::string chosenFilePath;

  // --- shared window and analysis references ---------------------------------
  // The map window docked at the monitor's side, or nullptr; saving asks for
  // it, so it stays here rather than with the window wiring.
  MapWindow* sideWindow = nullptr;
  int sidePanelWidth = 0;
  TextResults* textWindow = nullptr;  // the open text window's journal, or nullptr
  FontSpec textFont;
  FontSpec monitorFont{"System", 10, false};
  std::string institutionName;  // up to 40 characters
  std::string departmentName;   // up to 40 characters
  bool scoreboardVisible = false;
  int helpContext = 0;
  int bandCount = 0;
  int bandMode = 0;
  int currentBand = 0;
  std::array<BandRow, kBandRows> bandTable{};

  // --- operations ------------------------------------------------------------
  // Channel count the result store is addressed with (28 counts as 20, 44 as 36;
  // lead pairs for a pair measure in the transform view and the band modes).
  int resultChannels() const;
  void resultPut(int band, int channel, int slice, int value);
  int resultGet(int band, int channel, int slice) const;
  // The physical value of a result: for the mean band power (transformKind
  // power, bandMode 0) the band power in µV², code × 2^resultPowerShift in
  // squared calibration units.
  double resultValue(int band, int channel, int slice) const;

  double physicalValue(int sample, int channel) const;
  double intervalSum(int channel) const;

  // µV of one code step of a channel (calibValue over calibUnits, 0 units
  // counted as 1), the scale every drawing and analysis converts codes with.
  double microvoltsPerCode(int channel) const {
    return static_cast<double>(calibValue[static_cast<std::size_t>(channel)]) /
           std::max<int>(1, calibUnits[static_cast<std::size_t>(channel)]);
  }
  // A channel with a head position (an electrode), not a kind code.
  bool isEegChannel(int channel) const { return channelPosX[static_cast<std::size_t>(channel)] <= 128; }

  // Epoch grid: applies the zero rules to epochStep/epochLength and recomputes
  // epochCount from recordLength.
  void normaliseEpochGrid();
  int computeEpochCount() const;

  // Transform view. enterTransformView expects the results of the current
  // epoch in parkedChannelData (valuesPerChannel values each); it swaps them in.
  void enterTransformView(TransformKind kind, int valuesPerChannel, int usableWidth);
  void leaveTransformView(bool continuingWithAnotherTransform = false);
  void swapParkedBuffers();
  // Chooses timeZoom so that recordLength fills the usable width.
  void fitTimeZoom(int usableWidth);

  // Resets the channel table and view to what a freshly initialised monitor has.
  void initMonitorDefaults();
  // View state after a record file was opened.
  void resetViewAfterOpen();

  // Convenience for tests and generators: the current channel as a span.
  std::int16_t* channel(int i) { return channelData[static_cast<std::size_t>(i)]; }

 private:
  // The buffers come from calloc: a block this large is mapped fresh from
  // the system, whose pages read as zero and cost nothing until written, so
  // opening a small recording does not pay for the capacity it leaves unused.
  struct FreeMemory {
    void operator()(void* p) const noexcept;
  };
  std::unique_ptr<std::int16_t[], FreeMemory> sampleMemory_;
  std::unique_ptr<float[], FreeMemory> floatMemory_;
};

// trunc(fraction of a day × 10 000 000) as stored in record files, and back.
std::int32_t encodeTimeOfDay(double fraction);
double decodeTimeOfDay(std::int32_t stored);

// Days since 30 December 1899 for a civil date, and back.
int daysFromCivil(int year, int month, int day);
void civilFromDays(int days, int& year, int& month, int& day);
// "dd.mm.yyyy" of a day count; callers decide which counts they show.
std::string dayMonthYearText(int days);
// Today and now by the system clock, or by the state's `localClock` when set.
int todayAsDays();
double nowAsDayFraction();
int todayAsDays(const StudyState& s);
double nowAsDayFraction(const StudyState& s);
// Local seconds since 1970 of a day count and a fraction of a day, and back.
std::int64_t localSecondsOf(int days, double dayFraction);

}  // namespace velor
