// The transformations of the record in memory: segment edits, amplitudes,
// channel copies, decimation, standardisation, IIR, FFT, Gaussian and
// moving-average filters, smoothing, spike suppression, time reversal, the
// derivative, peak and Hilbert envelopes, z-scores, sample-wise formulas,
// the common average reference, channels and averages taken from another
// record file, the comparison of two channels and the header line list.
//
// Every transformation either completes or leaves the record as it was: each
// runs on a copy of the record taken first (RecordSnapshot) and puts the copy
// back when it refuses part way. Computed codes are limited to the 16-bit range
// (never wrapped), and values computed from signal never land on the mark
// code. Lengths stop at the buffer capacities. Channels a..b are 0-based and
// inclusive; frequencies are fractions of sampleRate unless named in Hz.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/formula.h"
#include "core/interaction.h"
#include "core/record_snapshot.h"
#include "core/study_state.h"

namespace velor {

class SpectralEngine;

// --- settings of the window ("qtrn.ini", one value a line) -----------------------

enum class TransformFilterType : int {
  Butterworth = 0,
  Chebyshev1 = 1,
  Chebyshev2 = 2,
  Fourier = 3,
  MovingAverage = 4,
  Wavelet = 5,
};

struct TransformSettings {
  std::string amplitude = "0";  // "&1=ИзмАмпл=" value; window of "Сг"
  int targetChannel = 1;        // N of "&4=кан -> канN" and "&5=Сравнение", from 1
  double lowHz = 0;             // "НЧ="
  double highHz = 0;            // "ВЧ="
  int program = 0;              // "&G=Программа №"
  int otherChannel = 1;         // "&6=Чтение, кнлN=", from 1
  bool allChannels = false;     // "Все каналы"
  int order = 7;                // "Порядок=" 1..50
  double ripple = 1;            // "Eps=", per cent
  int filterType = 0;           // TransformFilterType
  int smoothWindow = 3;         // "Ширина окна="
  int decimationStep = 10;      // "Проредить, шаг="
  bool twoWay = false;          // "2-направ"
};
// False (and `out` keeps its defaults for what it did not get) when the file
// is missing, short or holds a value the window cannot show.
bool readTransformSettings(const std::string& programDir, TransformSettings& out);
bool writeTransformSettings(const std::string& programDir, const TransformSettings& in);

// --- which channels -------------------------------------------------------------

// The channel the single-channel commands work on (the monitor's current
// channel; firstShownChannel when no row is shown), limited to the channels there are.
int transformChannel(const StudyState& s);
struct ChannelRange {
  int first = 0;
  int last = -1;
};
// The current channel, or every channel with `allChannels`.
ChannelRange transformChannels(const StudyState& s, bool allChannels);

// --- edits ----------------------------------------------------------------------

// "&1=ИзмАмпл=": the cursor's sample of the current channel becomes
// trunc(value × calibUnits / calibValue + zeroLevel).
bool setAmplitudeAtCursor(StudyState& s, double value, Interaction& ui);
// "Удалить": one of the delete window's choices (DeleteChoice) applied to the
// selection of the current channel. No selection, or one covering the whole
// record, does nothing (false).
bool editSegment(StudyState& s, int choice);
// "&4=кан -> канN": the current channel, or its selection, to channel N (from 1).
bool copyChannel(StudyState& s, int targetChannel, Interaction& ui);
// "Проредить, шаг=": every `step`-th sample; the rate is divided and rounded.
// The mark channel and the cursor move with their samples.
bool decimateRecord(StudyState& s, int step, Interaction& ui);
// "Стандарт.амплитуд": every channel on zero level 2048, the largest mean
// absolute deviation at 1023 codes, calibValue 100.
bool standardiseAmplitudes(StudyState& s, Interaction& ui);

// --- filters --------------------------------------------------------------------

// The IIR filter of the design group `type` (0 Butterworth, 1 Chebyshev 1,
// 2 Chebyshev 2) on channels a..b: keeping or removing the band f1..f2 (f1 = 0
// a low- or high-pass, f2 ≥ 0.5 a high- or low-pass). `ripple` as the design
// takes it (already inverted for Chebyshev 1). With `twoWay` each channel is
// filtered forward, then backward (zero phase).
bool iirFilter(StudyState& s, bool keep, int type, int order, double ripple, int a, int b, double f1, double f2,
               bool twoWay, Interaction& ui);
// "&9=Фильтрация" with the window's settings; `keep` is the answer to the
// question whether the band stays (ignored by the wavelet filter).
bool filterRecord(StudyState& s, const TransformSettings& t, bool keep, SpectralEngine& engine, Interaction& ui);
// The moving-average filter (type 4) on one channel.
bool movingAverageFilter(StudyState& s, int channel, double f1, double f2, Interaction& ui);
// "Граф": 101 points (Hz, |H|) of the designed filter; `removeBand` is the
// answer to "Удалить частоты в диапазоне?". Empty with a message when it cannot be designed.
struct ResponsePoint {
  double hz = 0;
  double magnitude = 0;
};
std::vector<ResponsePoint> filterMagnitudeResponse(const StudyState& s, const TransformSettings& t, bool removeBand,
                                                   Interaction& ui);

// --- smoothing and shapes ---------------------------------------------------------

// "&A=Сглаживание": centred means over `window` samples (at least 3).
bool smoothChannels(StudyState& s, int window, int a, int b, Interaction& ui);
// "Сг": centred truncated means over `window` samples of the current channel.
bool windowSmoothing(StudyState& s, int window);
// smooth121 on channels a..b.
bool smoothChannels121(StudyState& s, int a, int b);
// First "Ф": a sample between two neighbours it jumps away from is put halfway.
bool suppressSpikes(StudyState& s, int channel);
// Second "Ф".
bool reverseTime(StudyState& s, int channel);
// "&B=Производная".
bool derivative(StudyState& s, int a, int b);
// "&C=Огибающая" with "max": straight lines between the peaks of the rectified channel.
bool peakEnvelope(StudyState& s, int a, int b);
// "&C=Огибающая" without "max": the magnitude of the analytic signal, after a
// band-pass f1..f2 when either is above 0.
bool hilbertEnvelope(StudyState& s, int a, int b, double f1, double f2, SpectralEngine& engine);
// "&D=Z-преобразован.": (x − mean) / sd at 512 codes per sd around 2048.
bool zScores(StudyState& s, int a, int b, Interaction& ui);
// "&E=Формула": the formula's value (physical units) at every sample of the
// selection of every channel. All values are computed from the record as it
// was before the first is written.
bool applyFormula(StudyState& s, const CompiledFormula& formula, Interaction& ui);
// "&F=Общий референт".
bool commonAverageReference(StudyState& s);

// --- other files -------------------------------------------------------------------

// "&6=Чтение, кнлN=": the current channel becomes channel N (from 1) of the
// first record of the record file at `path`.
bool channelFromFile(StudyState& s, const std::string& path, int otherChannel, Interaction& ui);
// "&7=Усреднить": the weighted mean with the first record of `path`; refused
// for a different rate, channel count or length.
bool averageWithFile(StudyState& s, const std::string& path, Interaction& ui);

// --- comparison ------------------------------------------------------------------------

struct ChannelComparison {
  int start = 0, length = 0;  // p, q
  std::vector<double> time, first, second;  // q + 1 points
  double t = 0, pT = 0;    // paired t and its two-sided significance
  double w = 0, pW = 0;    // signed-rank sum and its normal significance
  double r = 0, pR = 0;    // Pearson correlation and its significance
  std::string line;        // the statistics line of the graph
};
// "&5=Сравнение" of the current channel and channel N (from 1).
bool compareChannels(const StudyState& s, int otherChannel, ChannelComparison& out, Interaction& ui);

// --- header lines ----------------------------------------------------------------------

// "&J=Ampl": the line for the record in memory.
std::string headerSummaryLine(const StudyState& s);
// Appends it to `list` and writes the list to "Zagolovok.txt" in `dir`.
bool appendHeaderSummary(const StudyState& s, std::vector<std::string>& list, const std::string& dir, Interaction& ui);

// --- by name, for velor-cli ---------------------------------------------------------------

struct TransformRequest {
  std::string op;
  TransformSettings settings;
  bool keep = true;        // keep the band (filters)
  bool peak = false;       // envelope: peak lines instead of Hilbert
  std::string formula;     // formula text
  std::string otherFile;   // channel-from-file, average-with-file
  int choice = 0;          // segment: DeleteChoice
};
// The names velor-cli accepts, each with a one-line description.
const std::vector<std::pair<std::string, std::string>>& transformOperations();
// Runs a transformation that needs no interaction on the record in memory.
bool runTransform(StudyState& s, const TransformRequest& r, SpectralEngine& engine, Interaction& ui);

}  // namespace velor
