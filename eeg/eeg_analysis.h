// The EEG analysis without its window: the spectral settings (epoch, shift,
// averaging, time window, measure, band), "qeeg.ini", the band limits, band
// filtering, the montage operations (bipolar pairs, common average
// reference, amplitude normalisation) and the EEG command's dispatcher. The
// window eeg/ui/eeg_analysis_dialog.* shows these controls and calls into here; tests
// drive the same calls with a ScriptedInteraction.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/interaction.h"
#include "core/study_state.h"
#include "eeg/spectral.h"

namespace velor {

inline constexpr int kEpochItemCount = 11;     // 2^5 .. 2^15 samples
inline constexpr int kMaxAnalysedEpochs = 200;
inline constexpr int kMeasureCount = 9;

// What the EEG analysis window leaves in dialogResult for the dispatcher.
enum EegChoice : int {
  kEegNoChoice = 0,
  kEegSpectra = 1,
  kEegBandDiagrams = 2,
  kEegEpochMaps = 3,
  kEegBackToSignals = 7,
  kEegLocalisation = 8,
  kEegSegmentation = 9,
  kEegAsymmetry = 10,
  kEegSynchrony = 11,
};

// transformKind of a measure item 0..8 (amplitude for an unknown item).
TransformKind measureTransformKind(int measureIndex);
// Samples of epoch item i: 2^(i + 5); item −1 counts as item 0.
int epochItemSamples(int index);
// An epoch length in seconds as the list shows it (4 significant digits).
std::string epochSecondsText(int samples, int sampleRate);
// The items of "Эпоха=": every 2^(i+5) ≤ recordLength, i = 0..10.
std::vector<std::string> epochItems(int recordLength, int sampleRate);
// trunc((recordLength − epochLength) / epochStep + 1) in real arithmetic
// (≤ 0 when the epoch is longer than the record); 0 when the step is not positive.
int epochsInRecord(int recordLength, int epochLength, int epochStep);
// trunc(seconds × rate + 0.5) for a finite, non-negative product, limited to
// 32767 samples; nothing otherwise.
std::optional<int> secondsToSamples(double seconds, int sampleRate);

// The controls of the window as text and item indices.
struct EegSettings {
  std::string shiftText = "100";
  std::string averageText = "0";
  int epochIndex = -1;  // item of "Эпоха="; −1 none
  int measureIndex = 0;
  int windowIndex = 0;
  int bandIndex = 0;  // item of "Диап="; −1 none
};

// "qeeg.ini": line 1 the shift text, line 2 the epoch item, line 3 the band
// item. Reading changes nothing (false) for a missing or short file, a shift
// that is not a number of seconds ≥ 0, or an item that is not a whole number
// in its list's range; the window then beeps and keeps its controls.
bool readEegSettingsFile(const std::string& path, EegSettings& out);
bool writeEegSettingsFile(const std::string& path, const EegSettings& in);

// The limits of a band in hundredths of a hertz.
struct BandLimits {
  int low = 0;
  int high = 0;
};
// trunc(100 × f + 0.5) of the row's low and high frequency; nothing (and a
// reason) for a row that is not in the table, a frequency that is not a
// number between 0 and 327 Hz, or a band whose high limit is not above its low one.
std::optional<BandLimits> bandLimitsOf(const StudyState& s, int row, std::string& reason);

// Which FFT filter band filtering runs (frequencies as fractions of the rate).
struct BandFilterPlan {
  enum class Kind { None, BandPass, HighPass, LowPass } kind = Kind::None;
  double high = 0;  // the filter's high argument
  double low = 0;   // its low argument
};
// fl = low / rate / 100, fh = high / rate / 100: band-pass fl..fh, a
// high-pass at fl when fh reaches half the rate (nothing above it to cut),
// a low-pass at fh when fl is 0; None when there is nothing to remove.
BandFilterPlan bandFilterPlan(BandLimits limits, int sampleRate);

// --- montages (on the record in memory, signals view) ------------------------------------

// "&B=Биполярные". Every lead pair becomes one channel, pair p in channel p,
// computed in microvolts from the channels as they were before (a later pair
// may read a channel an earlier pair replaced, and the two leads may carry
// different scales). Without lead pairs the longitudinal bipolar pairs of
// the electrodes the record has (standardBipolarPairs) become its pairs. A
// pair's channel takes the step of its first lead, or a coarser one when its
// differences would not fit the 16-bit codes; zeroLevel 2048;
// channelCount = shownChannelCount = pairs and referenceKind 6. False with a
// reason, nothing changed, for a pair whose leads are not two channels of the
// record, no pairs at all, no channels or samples, or the transform view on.
bool bipolarMontage(StudyState& s, std::string& reason);
// The longitudinal chains Fp1-F7-T3-T5-O1, Fp1-F3-C3-P3-O1 (and the right
// side) and Fz-Cz-Pz between the EEG channels that name those electrodes
// (T7/T8/P7/P8 for T3/T4/T5/T6): 1-based channel numbers; their count.
int standardBipolarPairs(const StudyState& s, std::vector<std::array<std::uint8_t, 2>>& pairs);
// "&F=Общ.референт": every EEG channel less the mean of the EEG channels in
// microvolts, x − trunc(mean in its own codes + 0.5), each channel keeping its
// zero level; other kinds (ECG, EOG, ...) are neither averaged nor changed.
// False (nothing changed) without EEG channels, channels or samples, or in
// the transform view.
bool commonAverageReference(StudyState& s, std::string& reason);
// "Ампл.нормир.": A = the largest per-channel mean absolute deviation from
// the zero level; when A ≥ 4 every sample becomes
// 2048 + trunc((x − zero) / A × 511), calibValue 100, zeroLevel 2048, true.
// Otherwise nothing changes (false).
bool normaliseAmplitudes(StudyState& s);

// --- the analysis settings and commands --------------------------------------------------

class EegAnalysis {
 public:
  EegAnalysis(StudyState& s, SpectralEngine& engine, Interaction& ui);

  StudyState& state() { return s_; }
  SpectralEngine& engine() { return engine_; }
  Interaction& interaction() { return ui_; }

  EegSettings settings;
  std::vector<std::string> epochList;
  std::vector<std::string> bandList;
  // The band chosen when an analysis took the band limits (hundredths of Hz).
  int chosenBandLow = 0;
  int chosenBandHigh = 0;

  std::string settingsPath() const;

  // Showing the window: "Усреднить=" from averagedEpochs, "qeeg.ini", the
  // two lists, the first epoch item when none is current. False when
  // "qeeg.ini" could not be used (the window beeps); the rest is done anyway.
  bool prepare();
  void rebuildEpochList();
  void rebuildBandList();
  // "N=" and the number of epochs for the grid as it stands.
  std::string countText() const;

  // An epoch item chosen: its seconds go to the shift, epochLength =
  // epochStep = those seconds in samples.
  void chooseEpoch(int index);
  // The shift edited: epochStep from a positive number of seconds, within
  // 1..epochLength; other text changes nothing.
  void editShift(const std::string& text);

  // Applying the settings (every analysis command and closing the window);
  // reads dialogResult and may set it to 0 (short epoch, answered No).
  void apply();
  // The limits of the chosen band into chosenBandLow/High; false with a
  // message when there is no usable band.
  bool takeBandLimits();

  // "&6=Фильтрация": apply, the band limits, transformKind 0, the filter.
  // True when the record changed (recordModified is then 1).
  bool bandFiltering();

 private:
  StudyState& s_;
  SpectralEngine& engine_;
  Interaction& ui_;
};

// Runs the FFT filter of a plan over channels first..last; false when the
// plan is None.
bool runBandFilter(SpectralEngine& engine, StudyState& s, const BandFilterPlan& plan, int first, int last);

// --- the EEG command ("&1=ЭЭГ") ------------------------------------------------------------

// What the dispatcher needs from the windows around it. Hooks left empty do nothing.
struct EegDispatchHooks {
  // The window shown modally; it leaves its choice in dialogResult.
  std::function<void(EegAnalysis&)> showWindow;
  // Scoreboard labels: true "f=" / "df=", false "t=" / "dt=".
  std::function<void(bool frequency)> scoreboardLabels;
  // Width the transform view fills (the monitor's drawing width).
  std::function<int()> usableWidth;
  // The spectra of the current epoch in the transform view (the monitor's
  // own entry when it has one); false with the reason.
  std::function<bool(std::string& problem)> showSpectra;
  // Band diagrams or epoch maps; empty: not available in this build.
  std::function<void(ViewMode mode)> bandDiagrams;
  // The view changed: relayout and redraw.
  std::function<void()> redraw;
  // Step 5: the monitor's click at the last mouse position.
  std::function<void()> click;
};

// runEegAnalysisWindow: leaves the transform view, shows the window, and carries out
// the choice it left in dialogResult. Nothing happens while an examination
// records (the record belongs to the acquisition then).
void runEegAnalysisWindow(EegAnalysis& eeg, const EegDispatchHooks& hooks);

}  // namespace velor
