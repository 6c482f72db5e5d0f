// EDF files (".edf", and ".udf" with the program's own extension block),
// EDF32 files (".e32", the same layout with 4-byte samples) and, with 3-byte
// samples, BDF files (".bdf"): read into the study state page by page, pages
// written back in place, and the current record and those after it exported
// as EDF or UDF.
//
// An open EDF file is the study's record file with recordFileVersion 2, and
// its record source. The record in memory is a page: a run of whole data
// records up to 32000 samples per channel (a data record longer than that is
// split into equal parts). recordCount counts pages and currentRecord is the
// page in memory, so stepping, going to a number and re-reading work as for
// record files.
//
// Samples become codes by the published linear mapping of each signal
// (digital and physical minimum and maximum, physical dimension), held in
// zeroLevel/calibUnits/calibValue so that physicalValue gives microvolts
// (or the signal's own unit when it is not a voltage) within half a code.
// The code scale of each channel is fixed when the file is opened, from the
// header's digital range and the first page, so every page and every record
// written from the file share one channel table. The original sample values
// of the page are kept, so writing a page back changes only the samples that
// were edited, in each signal's own width and count.
//
// Every header is read as hostile and checked completely before anything in
// the study state changes; a file that cannot be sound is refused with a
// message that says why.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/interaction.h"
#include "core/study_state.h"

namespace velor {

inline constexpr int kEdfPageSamples = 32000;  // samples per channel in a page
inline constexpr int kEdfMaxPages = 32767;      // pages reachable (recordCount is 16-bit)

// Bytes per stored sample for a file name's extension: 2 for ".edf" and
// ".udf", 4 for ".e32", 3 for ".bdf"; 0 for anything else.
int edfSampleWidthFor(const std::string& path);

struct EdfSignalHeader {
  std::string label;  // UTF-8, trailing blanks removed
  std::string transducer;
  std::string dimension;
  std::string prefilter;
  double physMin = 0;
  double physMax = 0;
  long long digMin = 0;
  long long digMax = 0;
  long long samplesPerRecord = 0;
  long long offsetInRecord = 0;  // bytes from the start of a data record
  bool annotation = false;       // "EDF Annotations" / "BDF Annotations"
};

// The header of an EDF file as stored, checked. Texts are UTF-8 (code page
// 1251 on disk), trailing blanks removed.
struct EdfHeader {
  int sampleWidth = 2;
  std::string version, patient, recording, startDate, startTime, reserved;
  long long headerBytes = 0;
  long long recordCountField = 0;  // as stored; −1 means "count from the file size"
  long long dataRecords = 0;       // records used
  double recordDuration = 0;       // seconds
  std::vector<EdfSignalHeader> signalHeaders;  // all ns signals
  long long recordBytes = 0;
  std::vector<int> channelSignals;  // signal index of each channel (data signals, at most 64)
  int leftOutSignals = 0;           // data signals beyond 64
  std::vector<int> annotationSignals;
  long long maxSamplesPerRecord = 0;  // over the channels
  int sampleRate = 0;                 // maxSamplesPerRecord / duration, rounded
  bool udf = false;                   // an extension block with "UDF " follows the standard header
  bool udfPositions = false;          // the block is long enough to hold the electrode positions
  std::vector<int> udfX, udfY;        // per signal, as stored (percent)
  // "edf", "udf", "e32" or "bdf".
  std::string format() const;
};

// Reads and checks the header of an open descriptor. False with a reason
// (UTF-8, Russian) for anything that cannot be sound.
bool readEdfHeader(int fd, int sampleWidth, EdfHeader& out, std::string& reason);
bool readEdfHeader(const std::string& path, int sampleWidth, EdfHeader& out, std::string& reason);

// The label rule: cut at a NUL, trim, drop everything up to the first blank,
// trim, cut at the first "-", keep at most 5 characters ("EEG Fp1-A1" → "Fp1").
std::string edfChannelName(const std::string& label);

// Microvolts per unit of a physical dimension ("uV", "µV", "mV", "V", "nV" and
// their common spellings); 0 for a dimension that is not a voltage.
double edfVoltageFactor(const std::string& dimension);

// How the samples of one channel become codes: code = zero + round(scale ×
// (value − origin)), with zero/units/value the channel's calibration.
struct EdfChannelMapping {
  double origin = 0;          // digital value shown as zeroLevel
  double scale = 1;           // codes per digital step (negative for an inverted range)
  int zero = 2048;            // zeroLevel
  int units = 2047;           // calibUnits
  int value = 100;            // calibValue
  double physicalOffset = 0;  // subtracted from every value (a constant part 16-bit codes cannot hold)
  double unitFactor = 1;      // microvolts per header unit, 1 when not a voltage
  std::int16_t code(long long v, bool& clipped) const;
  long long digital(int code) const;  // inverse, rounded, not limited
};

// One annotation of the page in memory (EDF+ / BDF+), its onset as a sample of the page.
struct EdfAnnotation {
  int sample = 0;
  double onset = 0;     // seconds from the start of the file
  double duration = 0;  // seconds, 0 when none
  std::string text;     // UTF-8
  int page = 0;         // 1-based page that holds the onset (set by edfFileAnnotations)
};

// --- EDF+ annotation lists -----------------------------------------------------------

// The onset of a time-stamped annotation list: a sign and seconds, as exact
// as 9 decimals hold, without trailing zeros ("+0", "+12.5", "-0.25").
std::string edfOnsetText(double seconds);
// The start of a data record as its first list (the time-keeping one,
// "+start\x14\x14") gives it; nothing when the bytes hold none.
std::optional<double> edfRecordStart(const std::vector<unsigned char>& annotationBytes);
// Appends the list "+onset\x14text\x14\0" after the last list in one data
// record's annotation signal `bytes` (its fixed size stays; the rest is
// zeros). A record without lists first gets its time-keeping list at
// `recordStart`. False, and `bytes` unchanged, when it does not fit.
bool appendEdfAnnotation(std::vector<unsigned char>& bytes, double recordStart, double onset, const std::string& text);

// The examination header (UTF-8, as opening the file builds it: patient
// name, birth date, sex) and the start date (days since 30 December 1899,
// 0 when unreadable) of an EDF-family file; false when its header is not sound.
bool edfFileExamHeader(const std::string& path, std::string& examHeader, int& startDays);

// --- the open EDF file of the study state -------------------------------------------

// Opens an EDF file as the record file and shows page 1. Nothing changes in
// the study state unless the whole header and the first page are sound.
bool openEdf(StudyState& s, const std::string& path, int sampleWidth, Interaction& ui);
// True while the record file of the study is an EDF file opened here.
bool edfIsOpen(const StudyState& s);

// Stepping, going to a page, re-reading and writing a changed page back go
// through the study's record source (stepRecord, gotoRecord, rereadRecord,
// confirmWriteBack of record_file.h). Changed samples are written back over
// their place in the file; samples that were not changed keep their stored
// bytes exactly. Marks set in the page (the mark code in a signal channel)
// that the file does not hold yet become annotations "Метка " + channel name
// at their sample, in the annotation signal of the data record they fall in;
// a file without an annotation signal, or a record without room for one,
// refuses the whole write-back with a message and nothing is written.
//
// Page n (clamped to 1..recordCount) of the open EDF file; false when no
// EDF file is open.
bool gotoEdfPage(StudyState& s, int page, Interaction& ui);
// Page 1, read again even when it is the current page.
bool rewindEdf(StudyState& s, Interaction& ui);

// The header of the open EDF file, or nullptr.
const EdfHeader* edfOpenHeader(const StudyState& s);
// The code mapping of channel c of the open EDF file, or nullptr.
const EdfChannelMapping* edfChannelMapping(const StudyState& s, int channel);
// Annotations whose onsets fall into the page in memory.
std::vector<EdfAnnotation> edfPageAnnotations(const StudyState& s);
// Every annotation of the open EDF file, page by page in onset order, each
// with its page and its sample there; false with a reason when the file
// cannot be read (nothing then). The page in memory is not touched.
bool edfFileAnnotations(const StudyState& s, std::vector<EdfAnnotation>& out, std::string& reason);
// Codes of page n (1-based) of the open EDF file, read without touching the
// study state: codes[channel][sample], marks (when the file has annotations).
bool readEdfPageCodes(const StudyState& s, int page, std::vector<std::vector<std::int16_t>>& codes,
                      std::vector<std::int16_t>& marks, std::string& reason);

// --- export ------------------------------------------------------------------------------

// Writes the current record and every later record of the open record file
// (.cad records or EDF pages) as an EDF file, with the UDF block when `udf`.
// The records are split into data records of equal length (the largest that
// divides every record's length), so nothing is padded or cut; each sample
// is stored as code − zeroLevel. The file is written through a temporary file;
// a failure leaves no file behind and says so.
bool exportEdf(StudyState& s, const std::string& path, bool udf, Interaction& ui, Progress* progress = nullptr);

// Text of a data record duration in at most 8 characters, exact when it can be.
std::string edfDurationText(double seconds);

}  // namespace velor
