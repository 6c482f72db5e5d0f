// PhysioNet WFDB records: the text header (".hea"), signal files in formats
// 212 (two 12-bit samples in three bytes) and 16 (little-endian 16-bit), and
// annotation files in the MIT format (".atr").
//
// A record is opened through its header; the signals are read page by page
// (kWfdbPageSamples frames a page) as the study's records, so a 30-minute
// MIT-BIH record steps like the pages of an EDF file. The annotations of the
// record (the ".atr" beside the header, when there is one) become the mark
// channel: every annotation starts a new mark value, so the monitor draws a
// mark at each beat.
//
// Samples become codes on the nominal 12-bit scale: a format-212 value v is
// the code v + 2048 with zero level baseline + 2048; format-16 values keep
// their value when the baseline fits the zero-level field, otherwise they are
// moved so the baseline lands on 2048 (values that leave the 16-bit range
// are clipped and said). The calibration makes physicalValue give microvolts
// for signals in mV, µV or V, the signal's own unit otherwise.
//
// Every header and every file is read as hostile and checked before anything
// in the study state changes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/interaction.h"
#include "core/study_state.h"
#include "interchange/foreign_formats.h"

namespace velor {

inline constexpr int kWfdbPageSamples = 32000;
inline constexpr int kWfdbMaxSignals = 256;

struct WfdbSignal {
  std::string fileName;
  int format = 0;            // 212 or 16
  long long byteOffset = 0;  // "+offset" of the format field
  double gain = 200;         // ADU per unit; 200 when not given or 0
  int baseline = 0;          // ADU of physical 0 (adcZero when not given)
  std::string units = "mV";
  int adcResolution = 0;
  int adcZero = 0;
  int initialValue = 0;
  bool hasChecksum = false;
  int checksum = 0;
  std::string description;
  int group = 0;  // index of its signal file among the record's files
  int column = 0;  // place inside a frame of its file
};

struct WfdbHeader {
  std::string recordName;
  double frequency = 250;   // frames per second
  long long frames = 0;     // samples per signal; 0 when the header does not say
  std::vector<WfdbSignal> signals;
  std::vector<std::string> fileNames;  // distinct signal files in order
  std::vector<int> groupWidth;         // signals per frame of each file
  std::vector<std::string> comments;   // "#" lines without the "#"
};

// Parses the header text. False with a reason (Russian) for a header that is
// not sound: no record line, a signal count beyond kWfdbMaxSignals or beyond
// the signal lines, a format other than 212 and 16, a rate ≤ 0, signals of
// one file in different formats, multi-segment records.
bool parseWfdbHeader(std::string_view text, WfdbHeader& out, std::string& reason);

// One annotation of an MIT-format annotation file.
struct WfdbAnnotation {
  long long sample = 0;
  int code = 0;  // 1..49
  int subtype = 0;
  int channel = 0;
  int number = 0;
  std::string aux;
};

// Decodes MIT-format annotation bytes. Stops at the end marker or at the end
// of the bytes; false with a reason when an annotation runs past the end or
// time goes backwards beyond the start.
bool decodeWfdbAnnotations(std::string_view bytes, std::vector<WfdbAnnotation>& out, std::string& reason);
// True for the codes that mark a beat (N L R a V F J A S E j / Q e n f B r ?).
bool isWfdbBeatCode(int code);
// The one- or two-character mnemonic of a code ("N", "V", "+", ...), "" when unknown.
const char* wfdbCodeMnemonic(int code);

// Frames [first, first + count) of every signal as ADU values
// (out[signal][frame]); frames beyond the files' ends are not returned
// (out is shorter). The files come from `files`, one per header file name.
bool decodeWfdbFrames(const WfdbHeader& h, const std::vector<const ByteSource*>& files, long long first,
                      long long count, std::vector<std::vector<int>>& out, std::string& reason);
// Frames the files hold (the smallest over the files), limited by the header's count when it gives one.
long long wfdbFramesAvailable(const WfdbHeader& h, const std::vector<const ByteSource*>& files);

// A whole record read from disk: header, every frame of every signal (ADU)
// and the annotations of "<record>.atr" beside it (none when that is missing).
struct WfdbRecordData {
  WfdbHeader header;
  std::vector<std::vector<int>> adu;
  std::vector<WfdbAnnotation> annotations;
  std::string annotationFile;  // path read, "" when none
};
bool readWfdbRecord(const std::string& headerPath, WfdbRecordData& out, std::string& reason);
// An annotation file alone.
bool readWfdbAnnotationFile(const std::string& path, std::vector<WfdbAnnotation>& out, std::string& reason);

// The code scale of a signal in the study: code = adu + codeOffset.
struct WfdbCodeScale {
  int codeOffset = 0;
  std::uint16_t zeroLevel = 2048;
  std::uint16_t calibUnits = 1;
  std::uint16_t calibValue = 1;
};
WfdbCodeScale wfdbCodeScale(const WfdbSignal& sig);

// True for a path the WFDB reader takes (".hea").
bool isWfdbPath(const std::string& path);

// Opens a WFDB record as the study's record source and shows page 1. The
// study stays as it was unless the header and the first page are sound.
bool openWfdb(StudyState& s, const std::string& path, Interaction& ui);

}  // namespace velor
