// The program's own record files (".cad"): a header with the channel table
// followed by records written one after another. The open file stays open
// while the user moves between its records; while a record is current the
// file position stands just after that record's time field, before its
// trailing length ("position invariant"). Every operation here starts from
// that position and leaves the file in it.
//
// Every length and count read from a file is checked before use: a file that
// claims more than the buffers hold, or more than it contains, is refused (or
// read up to what is sound) with a message, and the study state stays as it
// was.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/interaction.h"
#include "core/study_state.h"

namespace velor {

// Signatures and their versions.
inline constexpr int kVersionCA15 = 0;
inline constexpr int kVersionCA30 = 1;  // "CA30" and "CA31"
inline constexpr int kVersionEdfStream = 2;
inline constexpr int kVersionCA40 = 3;

// Slot count of a version: 64 for CA40, 32 otherwise.
int recordFileSlots(int version);
// Data offset of a freshly written header: 639 for 32 slotCount, 1087 for 64
// (606 for the fixed part of an old CA15 header).
int headerSize(int version);
// Byte offset of the record count field: 306 (CA30), 434 (CA40), 305 (CA15).
int recordCountOffset(int version);
// Bytes of a record of n samples per channel in a file of the given layout.
long long recordBytes(int version, int channelCount, int markChannelCount, int n);

// The header of a record file as stored, decoded without touching any study
// state (UTF-8 texts). Used by the file window's header column, the
// command-line tool and the readers below.
struct RecordFileHeader {
  std::string signature;  // "CA15", "CA30", "CA31" or "CA40"
  int version = kVersionCA40;
  std::string examHeader;  // UTF-8, 162 characters
  int slotCount = 64;
  std::string channelNames[kMaxChannels];  // first 3 characters of each slot, trailing blanks dropped
  int fileDate = 0;                        // days since 30 December 1899 (0 for CA15)
  int dataOffset = 0;
  int referenceKind = 0;
  int channelCount = 0;
  int sampleRate = 0;
  int markChannelCount = 0;  // as stored (above 10: a saved pair-transform result)
  int recordCount = 0;
  std::uint16_t zeroLevel[kMaxChannels] = {};
  std::uint16_t calibUnits[kMaxChannels] = {};
  std::uint16_t calibValue[kMaxChannels] = {};
  int calibValueEntries = 0;  // 16 for CA15, else the slot count
  std::uint8_t posX[kMaxChannels] = {};
  std::uint8_t posY[kMaxChannels] = {};
  std::uint8_t pairFirst[kMaxChannels] = {};
  std::uint8_t pairSecond[kMaxChannels] = {};
  int flags = 0;
  int epochCount = 0;
  int epochLength = 0;
  int epochStep = 0;
  int leadPairCount = 0;  // valid when flags bit 0 is set
  // 1 when every record carries a mark channel; 0 otherwise (also for a saved
  // pair-transform result, whose stored value is above 10).
  int recordMarkChannels() const { return markChannelCount == 1 ? 1 : 0; }
};

// Reads and checks a header from the first bytes of a file (`size` bytes at
// `data`, of a file of `fileSize` bytes). Returns false with a one-line reason
// (UTF-8, Russian) for an unknown signature ("" reason) or a header that cannot
// be sound (short file, channel count 0 or above the slotCount, sampling rate 0, a
// mark-channel count other than 0, 1 or above 10, data offset inside the
// header or past the end of the file, more lead pairs than slotCount).
bool parseRecordFileHeader(const unsigned char* data, std::size_t size, long long fileSize,
                           RecordFileHeader& out, std::string& reason);
bool readRecordFileHeader(const std::string& path, RecordFileHeader& out, std::string& reason);

// One record's place in a file and its stored fields.
struct RecordInfo {
  long long offset = 0;  // of its first length field
  int storedLength = 0;
  int recordLength = 0;
  std::int32_t timeField = 0;
};

// Walks all records of a file from its data offset, checking every record's
// lengths and trailing length. True when the records end exactly at the end of
// the file; false at the first unsound record (reason says why; `records` holds
// the sound ones before it) or after 32767 records. For inspection tools; the
// navigation below checks each record as it goes.
bool scanRecords(const std::string& path, const RecordFileHeader& header, std::vector<RecordInfo>& records,
                 std::string& reason);

// Reads one record of a file into separate buffers without a study state
// (samples[channel][i]; the mark channel last when present). For tools.
bool readRecordSamples(const std::string& path, const RecordFileHeader& header, const RecordInfo& record,
                       std::vector<std::vector<std::int16_t>>& samples, std::string& reason);

// --- the open record file of the study state ---------------------------------

// Identify, open (read and write; read only when writing is not allowed), read
// the header and record 1. The new file is checked completely before anything
// changes: unknown signature gives false, no message; an unsound file or one
// that cannot be opened gives false and a message. In both cases the
// previously open file stays open and the state stays as it was. A header
// count beyond the records the file holds (or 0 with records present) is
// corrected to the records found, with a message.
bool openRecordFile(StudyState& s, const std::string& path, Interaction& ui);
void closeRecordFile(StudyState& s);

// The question before leaving a modified record ("Записать изменения в файл?")
// and the write-back in place (the record keeps its place and size). Returns
// false, with a message, when the record could not be written back (old CA15
// file, read-only file, channel count or length that no longer fit the
// record's place, I/O failure); recordModified then stays set so that the
// caller does not leave the record. Otherwise recordModified becomes 0.
bool confirmWriteBack(StudyState& s, Interaction& ui);

// Navigation; each asks the question above first. Past either end nothing
// happens (false). A record that cannot be read leaves the current one in
// place with a message (false).
bool stepRecord(StudyState& s, int direction, Interaction& ui);  // +1 forward, −1 backward
bool gotoRecord(StudyState& s, int number, Interaction& ui);     // clamps to 1..recordCount
// Asks "Введите номер записи" ("Установка записи заданного номера", default "1") and goes there.
bool gotoRecordAsked(StudyState& s, Interaction& ui);
// "Восстановить": re-reads the current record, dropping unsaved changes.
bool rereadRecord(StudyState& s, Interaction& ui);

// Writers. writeHeader writes at the descriptor's current position (a fresh
// file) and leaves the position at the end of the header; writeRecord writes
// the record in memory at the current position. Both return false without
// writing when the state cannot be stored (channel count outside 1..64, length
// outside 0..32767) and on any write failure.
bool writeHeader(StudyState& s, int fd);
bool writeRecord(StudyState& s, int fd);
// Header of the open file rewritten from memory (versions 1 and 3, signal view
// only), keeping the file's slot count and data offset. Refused with a message
// when the channel count or mark channel in memory no longer match the file's
// records, or the file is read-only.
bool rewriteHeader(StudyState& s, Interaction& ui);

// Append to an existing record file: which 2 = the current record, 3 = the
// current and every following record of the open file (read straight from the
// file; afterwards the record that was current is read again). The target must
// be a sound CA30/CA31/CA40 file whose records end at its end and whose channel
// count and mark channel match what is written; otherwise a message and
// nothing is written. A failed write truncates the target back to its old
// size. The count field becomes the records found plus those added.
bool appendRecords(StudyState& s, const std::string& path, int which, Interaction& ui);

// Save the current record as ".cad" with the questions of the save dispatch.
// New and replaced files are written through a temporary file and renamed into
// place, also when the target is the open file (which is then reopened).
bool saveRecords(StudyState& s, const std::string& path, Interaction& ui);

// The examination header of a record file into the study state, nothing
// else (the kind that reads only headers); the open file stays as it is.
bool readExamHeaderOnly(StudyState& s, const std::string& path, Interaction& ui);

}  // namespace velor
