// Recordings of other EEG systems read into the study state: BrainSys files
// (".eeg" with the lead system in the file, ".ee" always lead system 0) and
// NeuroScan continuous files (".cnt"). Each reader replaces the record in
// memory by one record built from the file; the file is not kept open and
// never written back.
//
// A reader works in two steps: the file is decoded and checked into a
// ForeignRecord without touching any study state, and only a sound result is
// then put into the state. A file that cannot be sound (short header, no
// channels, no samples, a sampling rate of 0) is refused with a message and
// the state stays as it was. What the file claims beyond what it holds, or
// beyond the buffers, is read as far as it is sound and said in a notice.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/interaction.h"
#include "core/study_state.h"
#include "interchange/electrode_table.h"

namespace velor {

// Where a decoder reads its bytes from: a file or memory (the fuzz targets).
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  virtual long long size() const = 0;
  // Exactly n bytes at offset, false when they are not all there.
  virtual bool read(void* out, std::size_t n, long long offset) const = 0;
};

class MemorySource final : public ByteSource {
 public:
  explicit MemorySource(std::string_view bytes) : b_(bytes) {}
  long long size() const override { return static_cast<long long>(b_.size()); }
  bool read(void* out, std::size_t n, long long offset) const override;

 private:
  std::string_view b_;
};

class FileSource final : public ByteSource {
 public:
  explicit FileSource(const std::string& path);
  ~FileSource() override;
  FileSource(const FileSource&) = delete;
  FileSource& operator=(const FileSource&) = delete;
  bool ok() const { return fd_ >= 0; }
  long long size() const override { return size_; }
  bool read(void* out, std::size_t n, long long offset) const override;

 private:
  int fd_ = -1;
  long long size_ = 0;
};

// How the epoch grid is set once the record is in memory.
enum class ForeignEpochRule {
  KeepOrHalf,  // min(epochLength, recordLength); 0 gives recordLength / 2
  Fixed512,    // 512 samples, step 512
  KeepOrAll,   // min(epochLength, recordLength); 0 gives recordLength
};

// One record decoded from a foreign file, with what each reader sets in the
// study state. Texts are UTF-8.
struct ForeignRecord {
  int channelCount = 0;
  int sampleRate = 0;  // 0: the state keeps its own
  int length = 0;      // samples per channel, 1..32767
  std::vector<std::string> names;  // one per channel
  bool namesFromFile = true;       // false: the state keeps its names and positions
  bool hasPositions = false;       // channelPosX/Y and lead-pair bytes below are set
  std::vector<std::uint8_t> posX, posY, pairFirst, pairSecond;
  std::vector<std::uint16_t> zeroLevel, calibUnits, calibValue;
  std::string examHeader;  // 162 characters
  int markChannelCount = 0;
  std::vector<std::vector<std::int16_t>> codes;  // [channel][sample]
  std::vector<std::int16_t> marks;               // when markChannelCount is 1
  int recordFileVersion = -1;  // −1: unchanged
  int currentRecord = 1;
  ForeignEpochRule epochRule = ForeignEpochRule::KeepOrHalf;
  std::vector<std::string> notices;  // said after a successful read (Russian)
  std::string format;                // the study's record source names it ("brainsys", "neuroscan", "text")
};

// Puts a decoded record into the study state (the file of the state is
// closed first; the record counts as the only record, not modified, and the
// study's record source becomes a one-record source of r.format).
void applyForeignRecord(StudyState& s, const ForeignRecord& r, const std::string& fileName);
// The end of every foreign read: with `decoded` the record goes into the
// study and its notices are said; otherwise "Файл … не прочитан: reason."
// is said and the study stays as it was. Returns `decoded`.
bool takeDecodedRecord(StudyState& s, bool decoded, const ForeignRecord& r, const std::string& reason,
                       const std::string& fileName, Interaction& ui);

// The examination header the foreign readers compose: 60 blanks, the name
// fitted to 30, 8 blanks, field 5 fitted to 10, the sex character, field 7
// fitted to 30, blanks up to 162 characters.
std::string foreignExamHeader(std::string_view name, std::string_view birth, std::string_view sex,
                              std::string_view diagnosis);

// --- BrainSys ------------------------------------------------------------------------------

inline constexpr long long kBrainSysDataOffset = 268;
// Entry numbers of the lead table "eeg20.ini", two digits each: by the
// electrode code 1..18 (lead system 0) and by the channel index 0..15 (lead
// system 1).
inline constexpr std::string_view kBrainSysCodeEntries = "161513120908050401021411100706031918";
inline constexpr std::string_view kBrainSysIndexEntries = "03040506070818091011121913141516";

// The lead-table entry (1-based) of channel i, or 0 when the system or the
// code has none.
int brainSysLeadEntry(int leadSystem, int channel, int electrodeCode);

// Decodes a BrainSys file. `leadTable` is "eeg20.ini" (entry n is element n − 1).
// False with a reason (Russian) when the file cannot be sound.
bool decodeBrainSys(const ByteSource& in, bool systemFromFile, const std::vector<ElectrodeEntry>& leadTable,
                    ForeignRecord& out, std::string& reason);
// readBrainSys: ".eeg" files with systemFromFile true, ".ee" with false.
// Nothing happens while the transform view is on.
bool readBrainSys(StudyState& s, const std::string& path, bool systemFromFile, Interaction& ui);

// --- NeuroScan -----------------------------------------------------------------------------

inline constexpr long long kNeuroScanElectrodes = 900;  // first electrode record
inline constexpr int kNeuroScanElectrodeBytes = 75;

bool decodeNeuroScan(const ByteSource& in, ForeignRecord& out, std::string& reason);
bool readNeuroScan(StudyState& s, const std::string& path, Interaction& ui);

// Which reader the record kind uses for a file name: 1 BrainSys with the lead
// system from the file (".eeg"), 2 BrainSys lead system 0 (".ee"), 3
// NeuroScan (".cnt"), 0 none of these.
int foreignReaderFor(const std::string& path);

// The record-kind open for every file that is neither ".cad" nor EDF: leaves
// the transform view, then ".eeg"/".ee" readBrainSys, ".cnt" readNeuroScan,
// anything else readTextRecord.
bool openForeignRecord(StudyState& s, const std::string& path, Interaction& ui);

}  // namespace velor
