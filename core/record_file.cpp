#include "core/record_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cmath>
#include <cstring>

#include "core/binio.h"
#include "core/numtext.h"
#include "core/record_file_texts.h"
#include "core/record_source.h"
#include "core/settings.h"
#include "core/stored_records.h"
#include "core/text.h"

namespace velor {

using namespace record_file_text;

namespace {

constexpr int kCA15HeaderEnd = 606;   // fixed part of an old header (16 calibration values)
constexpr int kMaxRecordCount = 32767;
constexpr int kMaxFixedHeader = 1087;  // CA40, the longest fixed header
constexpr int kCA15TextBlock = 54;
constexpr int kCA15TextChars = 53;

// Offsets of the fields that follow the channel names. Only the date differs
// in size between the layouts (3 bytes in CA15), which moves everything after
// it by one byte.
struct HeaderOffsets {
  int slotCount;
  int date;
  int dataOffset;
  int referenceKind;
  int channelCount;
  int sampleRate;
  int markChannels;
  int recordCount;
  int zeroLevel;
  int calibUnits;
  int positions;
  int flags;
  int calibValue;
  int calibEntries;
  int end;
};

HeaderOffsets offsetsFor(int version) {
  HeaderOffsets o{};
  o.slotCount = recordFileSlots(version);
  o.date = 166 + 4 * o.slotCount;
  const int d = o.date + (version == kVersionCA15 ? 3 : 4);
  o.dataOffset = d;
  o.referenceKind = d + 2;
  o.channelCount = d + 4;
  o.sampleRate = d + 5;
  o.markChannels = d + 7;
  o.recordCount = d + 8;
  o.zeroLevel = d + 10;
  o.calibUnits = o.zeroLevel + 2 * o.slotCount;
  o.positions = o.calibUnits + 2 * o.slotCount;
  o.flags = o.positions + 4 * o.slotCount;
  o.calibValue = o.flags + 11;
  o.calibEntries = version == kVersionCA15 ? 16 : o.slotCount;
  o.end = o.calibValue + 2 * o.calibEntries;
  return o;
}

int versionOfSignature(const unsigned char* p) {
  if (p[0] != 'C' || p[1] != 'A') return -1;
  if (p[2] == '3' && (p[3] == '0' || p[3] == '1')) return kVersionCA30;
  if (p[2] == '4' && p[3] == '0') return kVersionCA40;
  if (p[2] == '1' && p[3] == '5') return kVersionCA15;
  return -1;
}

// Trailing blanks (and NULs) of a fixed-width name slot carry no meaning.
std::string trimRight(std::string t) {
  while (!t.empty() && (t.back() == ' ' || t.back() == '\0')) t.pop_back();
  return t;
}

std::string trimBlanks(std::string_view t) {
  std::size_t a = 0, b = t.size();
  while (a < b && t[a] == ' ') ++a;
  while (b > a && t[b - 1] == ' ') --b;
  return std::string(t.substr(a, b - a));
}

// The three text blocks of an old header placed into the fields of the
// examination header they correspond to (test, patient, diagnosis).
std::string ca15HeaderText(const unsigned char* blocks) {
  std::string texts[3];
  for (int b = 0; b < 3; ++b) {
    const std::string_view raw(reinterpret_cast<const char*>(blocks + b * kCA15TextBlock), kCA15TextChars);
    std::string t = cp1251ToUtf8(trimBlanks(raw));
    const std::size_t len = utf8Length(t);
    if (len < 30) t.append(30 - len, ' ');
    texts[b] = t;
  }
  return utf8Fit(texts[0] + std::string(30, ' ') + texts[1] + std::string(19, ' ') + texts[2], kHeaderChars);
}

// --- records -------------------------------------------------------------------

// What a record's place in a file depends on.
struct Layout {
  int version = kVersionCA40;
  int channels = 1;
  int marks = 0;
  long long dataOffset = 0;
  long long fileSize = 0;
};

Layout layoutOf(const RecordFileHeader& h, long long fileSize) {
  Layout L;
  L.version = h.version;
  L.channels = h.channelCount;
  L.marks = h.recordMarkChannels();
  L.dataOffset = h.dataOffset;
  L.fileSize = fileSize;
  return L;
}

long long sizeOf(const Layout& L, int n) { return recordBytes(L.version, L.channels, L.marks, n); }

// Checks the record that starts at `off`: both length fields, that it lies
// inside the file, and that its trailing length repeats the first one.
bool probeRecord(int fd, const Layout& L, long long off, RecordInfo& info, std::string& reason) {
  if (off < L.dataOffset || off + 4 > L.fileSize) {
    reason = kRecordPastEnd;
    return false;
  }
  unsigned char head[4];
  if (!fdPreadExact(fd, head, 4, off)) {
    reason = kReadError;
    return false;
  }
  const int n = getU16(head);
  const int l = getU16(head + 2);
  if (n > kMaxSamples) {
    reason = kRecordLengthPrefix + integerText(n) + kMoreThan + integerText(kMaxSamples) + kSamplesSuffix;
    return false;
  }
  const long long size = sizeOf(L, n);
  if (off + size > L.fileSize) {
    reason = kRecordTruncated;
    return false;
  }
  unsigned char tail[6];
  if (!fdPreadExact(fd, tail, 6, off + size - 6)) {
    reason = kReadError;
    return false;
  }
  const int trailing = getU16(tail + 4);
  if (trailing != n) {
    reason = kTrailingLengthPrefix + integerText(trailing) + kTrailingLengthMismatch + integerText(n) + ")";
    return false;
  }
  info.offset = off;
  info.storedLength = n;
  info.recordLength = std::min(l, n);  // a length beyond what is stored cannot be shown
  info.timeField = getI32(tail);
  return true;
}

// The samples of a record (everything between the length fields and the time
// field), read into a buffer that is kept between calls.
bool readBody(int fd, const Layout& L, const RecordInfo& info, std::vector<unsigned char>& buf, std::string& reason) {
  const long long bytes = sizeOf(L, info.storedLength) - 10;
  buf.resize(static_cast<std::size_t>(bytes));
  if (bytes > 0 && !fdPreadExact(fd, buf.data(), buf.size(), info.offset + 4)) {
    reason = kReadError;
    return false;
  }
  return true;
}

std::vector<unsigned char>& bodyBuffer() {
  static thread_local std::vector<unsigned char> buf;
  return buf;
}

// Samples of a record body into channel buffers (each with room for n
// samples). Old CA15 records hold one byte per sample and two byte planes for
// the mark channel.
void decodeBody(const Layout& L, int n, const unsigned char* body, std::int16_t* const* channels,
                std::int16_t* mark) {
  const std::size_t un = static_cast<std::size_t>(n);
  if (L.version == kVersionCA15) {
    for (int c = 0; c < L.channels; ++c) {
      const unsigned char* p = body + static_cast<std::size_t>(c) * un;
      std::int16_t* dst = channels[c];
      int previous = -1;
      for (std::size_t i = 0; i < un; ++i) {
        int code = p[i] * 16;
        if (p[i] == 255 && previous == 0) code = kMarkCode;  // the old format's way of storing a mark
        dst[i] = static_cast<std::int16_t>(code);
        previous = code;
      }
    }
    if (L.marks == 1 && mark) {
      const unsigned char* lo = body + static_cast<std::size_t>(L.channels) * un;
      const unsigned char* hi = lo + un;
      for (std::size_t i = 0; i < un; ++i) mark[i] = static_cast<std::int16_t>(lo[i] | (hi[i] << 8));
    }
    return;
  }
  // The file is little-endian: on such a machine a block is a plain copy.
  auto block = [un](const unsigned char* p, std::int16_t* dst) {
    if (un == 0) return;  // an empty record's body may have no storage at all
    if constexpr (std::endian::native == std::endian::little) {
      std::memcpy(dst, p, un * 2);
    } else {
      for (std::size_t i = 0; i < un; ++i) dst[i] = getI16(p + 2 * i);
    }
  };
  for (int c = 0; c < L.channels; ++c) block(body + static_cast<std::size_t>(c) * un * 2, channels[c]);
  if (L.marks == 1 && mark) block(body + static_cast<std::size_t>(L.channels) * un * 2, mark);
}

// One record as written by writeRecord: n, n, the channel blocks of n
// samples, the mark channel when wanted, the time field and n again.
void encodeRecord(std::string& out, int n, int channels, const std::int16_t* const* data, const std::int16_t* mark,
                  bool withMark, std::int32_t timeField) {
  const std::size_t un = static_cast<std::size_t>(n);
  const std::size_t blocks = static_cast<std::size_t>(channels) + (withMark ? 1 : 0);
  out.resize(10 + blocks * un * 2);
  auto* p = reinterpret_cast<unsigned char*>(out.data());
  putU16(p, static_cast<std::uint16_t>(n));
  putU16(p + 2, static_cast<std::uint16_t>(n));
  p += 4;
  auto block = [&](const std::int16_t* src) {
    for (std::size_t i = 0; i < un; ++i) putU16(p + 2 * i, static_cast<std::uint16_t>(src ? src[i] : 0));
    p += 2 * un;
  };
  for (int c = 0; c < channels; ++c) block(data[c]);
  if (withMark) block(mark);
  putU32(p, static_cast<std::uint32_t>(timeField));
  putU16(p + 4, static_cast<std::uint16_t>(n));
}

bool showsResults(const StudyState& s) { return s.viewMode == ViewMode::Transform; }

bool writesMarkChannel(const StudyState& s) {
  return s.markChannelCount == 1 && (!showsResults(s) || s.acquisitionActive != 0);
}

// --- headers ---------------------------------------------------------------------

// Header bytes from the state, for `slotCount` channel slotCount. dataOffset < 0 puts
// the end of the header (written at startPos) into the data offset field.
// Applies the epoch rule for records shorter than an epoch.
std::string buildHeader(StudyState& s, int slotCount, int count, long long startPos, long long dataOffset) {
  const bool results = showsResults(s);
  const bool correlation = results && s.transformKind == TransformKind::Correlation;
  ByteWriter w;
  w.bytes(slotCount == 64 ? "CA40" : "CA30");
  std::string header = utf8ToCp1251(utf8Fit(s.examHeader, kHeaderChars));
  header.resize(kHeaderChars, ' ');
  w.bytes(header);
  for (int i = 0; i < slotCount; ++i) w.text(utf8ToCp1251(s.channelNames[static_cast<std::size_t>(i)]), 4);
  w.i32(todayAsDays(s));
  const std::size_t dataOffsetAt = w.size();
  w.u16(0);
  w.u8(static_cast<unsigned>(s.referenceKind));
  w.u8(static_cast<unsigned>(s.referenceKind));
  w.u8(static_cast<unsigned>(s.channelCount));
  long rate = s.sampleRate;
  if (results && s.transformKind != TransformKind::Correlation) {
    // A saved spectrum stores the resolution that makes its points read as frequencies.
    rate = 1;
    if (s.sampleRate > 0 && s.recordLength > 0) {
      const double r = std::trunc(100.0 / (static_cast<double>(s.sampleRate) / s.recordLength / 2.0));
      rate = r < 1 ? 1 : (r > 65535 ? 65535 : static_cast<long>(r));
    }
  }
  w.u16(static_cast<unsigned>(std::clamp<long>(rate, 0, 65535)));
  w.u8(results ? 0 : (s.markChannelCount == 1 ? 1 : 0));
  w.i16(count);
  for (int i = 0; i < slotCount; ++i) w.u16(correlation ? 2048 : s.zeroLevel[i]);
  for (int i = 0; i < slotCount; ++i) {
    const unsigned units = correlation ? 2048 : s.calibUnits[i];
    w.u16(units == 0 ? 1 : units);  // a reader divides by it
  }
  for (int i = 0; i < slotCount; ++i) {
    const auto ui = static_cast<std::size_t>(i);
    if (results) {
      // results are drawn positive-up, like a non-EEG channel
      w.u8(255);
      w.u8(0);
      w.u8(0);
      w.u8(0);
    } else {
      w.u8(s.channelPosX[ui]);
      w.u8(s.channelPosY[ui]);
      w.u8(s.leadPairs[ui][0]);
      w.u8(s.leadPairs[ui][1]);
    }
  }
  w.u8(1);
  if (s.recordLength >= 1 && s.recordLength < s.epochLength) {
    int p = 1;
    while (p * 2 <= s.recordLength) p *= 2;
    s.epochLength = s.epochStep = p;
    s.epochCount = 1;
  }
  w.u8(static_cast<unsigned>(s.epochCount) & 0xFF);
  w.u16(static_cast<unsigned>(s.epochLength) & 0xFFFF);
  w.u8(static_cast<unsigned>(s.epochStep) & 0xFF);
  w.u8(static_cast<unsigned>(s.leadPairCount) & 0xFF);
  w.zeros(3);
  w.zeros(2);
  for (int i = 0; i < slotCount; ++i) w.u16(correlation ? 100 : s.calibValue[i]);
  const long long offset = dataOffset >= 0 ? dataOffset : startPos + static_cast<long long>(w.size());
  w.patchU16(dataOffsetAt, static_cast<unsigned>(offset));
  return w.data();
}

// Slot count a new file gets: 64 for the current format, and whenever the
// channels do not fit 32 slotCount.
int slotsForNewFile(const StudyState& s) {
  return (s.recordFileVersion == kVersionCA40 || s.channelCount > 32) ? 64 : 32;
}

bool storable(const StudyState& s) {
  return s.channelCount >= 1 && s.channelCount <= kMaxChannels && s.recordLength >= 0 &&
         s.recordLength <= kMaxSamples;
}

// --- the open file -----------------------------------------------------------------

struct FileView {
  RecordFileHeader h;
  Layout L;
};

bool readHeaderOf(int fd, RecordFileHeader& h, long long& fileSize, std::string& reason) {
  fileSize = fdSize(fd);
  if (fileSize < 0) {
    reason = kReadError;
    return false;
  }
  unsigned char buf[kMaxFixedHeader];
  const std::size_t n = static_cast<std::size_t>(std::min<long long>(fileSize, kMaxFixedHeader));
  if (n > 0 && !fdPreadExact(fd, buf, n, 0)) {
    reason = kReadError;
    return false;
  }
  return parseRecordFileHeader(buf, n, fileSize, h, reason);
}

bool hasOpenCad(const StudyState& s) {
  return s.recordFileHandle >= 0 && s.recordFileVersion != kVersionEdfStream;
}

int effectiveCount(const StudyState& s) { return s.recordCount < 0 ? 1 : s.recordCount; }

std::string openName(const StudyState& s) {
  return s.recordFileName.empty() ? baseName(s.recordFilePath) : s.recordFileName;
}

// The open file's header as it is now on disk.
bool viewOpenFile(const StudyState& s, FileView& v, std::string& reason) {
  long long size = 0;
  if (!readHeaderOf(s.recordFileHandle, v.h, size, reason)) {
    if (reason.empty()) reason = kHeaderUnreadable;
    return false;
  }
  v.L = layoutOf(v.h, size);
  return true;
}

// The current record's place, from the position invariant: the descriptor
// stands just before the current record's trailing length.
bool locateCurrent(const StudyState& s, const Layout& L, RecordInfo& info, std::string& reason) {
  const long long here = fdTell(s.recordFileHandle);
  if (here < 0 || s.storedLength < 0 || s.storedLength > kMaxSamples) {
    reason = kPositionMismatch;
    return false;
  }
  const long long start = here - (sizeOf(L, s.storedLength) - 2);
  std::string why;
  if (!probeRecord(s.recordFileHandle, L, start, info, why) || info.storedLength != s.storedLength) {
    reason = kPositionMismatch;
    return false;
  }
  return true;
}

std::string recordFailure(const StudyState& s, int number, const std::string& reason) {
  return kRecordPrefix + integerText(number) + kOfFile + openName(s) + kRecordCannotBeRead + reason + ".";
}

void applyChannelNames(StudyState& s, const RecordFileHeader& h) {
  for (int i = 0; i < h.slotCount; ++i) s.channelNames[static_cast<std::size_t>(i)] = h.channelNames[i];
}

// Puts a checked record into the state and moves the descriptor to its end
// (before the trailing length). Nothing here can fail once the body is read,
// except the seek, which is done first.
bool commitRecord(StudyState& s, const FileView& v, const RecordInfo& info, const std::vector<unsigned char>& body,
                  int number) {
  const long long end = info.offset + sizeOf(v.L, info.storedLength) - 2;
  if (!fdSeek(s.recordFileHandle, end)) return false;
  s.leaveTransformView(true);
  // The record is laid out with the file's channel count; a count changed in
  // memory (channels inserted or deleted, a pending count) returns to it.
  if (s.pendingChannelCount != 0 || s.channelCount != v.h.channelCount) {
    s.channelCount = v.h.channelCount;
    applyChannelNames(s, v.h);
  }
  // taken: the record read is no longer the one a conversion changed
  s.pendingChannelCount = 0;
  decodeBody(v.L, info.storedLength, body.data(), s.channelData.data(), s.markChannel);
  s.storedLength = info.storedLength;
  s.recordLength = info.recordLength;
  s.plannedRecordLength = s.recordLength;
  s.epochCount = s.computeEpochCount();
  s.recordTime = v.h.version == kVersionCA15 ? 0.0 : decodeTimeOfDay(info.timeField);
  s.recordModified = 0;
  s.currentRecord = number;
  return true;
}

// Walks from the current record to record `target` of the open file,
// checking every record on the way.
bool locateRecord(const StudyState& s, const FileView& v, int target, RecordInfo& info, std::string& reason,
                  int& failedAt) {
  if (!locateCurrent(s, v.L, info, reason)) {
    failedAt = s.currentRecord;
    return false;
  }
  const int fd = s.recordFileHandle;
  for (int k = s.currentRecord + 1; k <= target; ++k) {
    RecordInfo next;
    if (!probeRecord(fd, v.L, info.offset + sizeOf(v.L, info.storedLength), next, reason)) {
      failedAt = k;
      return false;
    }
    info = next;
  }
  for (int k = s.currentRecord - 1; k >= target; --k) {
    failedAt = k;
    unsigned char t[2];
    if (info.offset - 2 < v.L.dataOffset || !fdPreadExact(fd, t, 2, info.offset - 2)) {
      reason = kNoPreviousRecord;
      return false;
    }
    const int n = getU16(t);
    if (n > kMaxSamples) {
      reason = kRecordLengthPrefix + integerText(n) + kMoreThan + integerText(kMaxSamples) + kSamplesSuffix;
      return false;
    }
    RecordInfo prev;
    if (!probeRecord(fd, v.L, info.offset - sizeOf(v.L, n), prev, reason)) return false;
    if (prev.storedLength != n) {
      reason = kTrailingLengthPrefix + integerText(n) + kTrailingLengthMismatch + integerText(prev.storedLength) + ")";
      return false;
    }
    info = prev;
  }
  return true;
}

// Moves to record `target` (already within the file's count).
// Reads the body of a record already found and makes it the current record
// `number`, with navigation's message when it cannot.
bool takeLocatedRecord(StudyState& s, const FileView& v, const RecordInfo& info, int number, Interaction& ui) {
  std::string reason;
  auto& body = bodyBuffer();
  if (!readBody(s.recordFileHandle, v.L, info, body, reason)) {
    ui.message(recordFailure(s, number, reason));
    return false;
  }
  if (!commitRecord(s, v, info, body, number)) {
    ui.message(recordFailure(s, number, kSeekError));
    return false;
  }
  return true;
}

bool moveToRecord(StudyState& s, int target, Interaction& ui) {
  FileView v;
  std::string reason;
  if (!viewOpenFile(s, v, reason)) {
    ui.message(kFilePrefix + openName(s) + kFileCannotBeRead + reason + ".");
    return false;
  }
  RecordInfo info;
  int failedAt = target;
  if (!locateRecord(s, v, target, info, reason, failedAt)) {
    ui.message(recordFailure(s, failedAt, reason));
    return false;
  }
  return takeLocatedRecord(s, v, info, target, ui);
}

}  // namespace

bool moveToStoredRecord(StudyState& s, int number, long long offset, Interaction& ui) {
  FileView v;
  std::string reason;
  if (!viewOpenFile(s, v, reason)) {
    ui.message(kFilePrefix + openName(s) + kFileCannotBeRead + reason + ".");
    return false;
  }
  RecordInfo info;
  if (!probeRecord(s.recordFileHandle, v.L, offset, info, reason)) {
    ui.message(recordFailure(s, number, reason));
    return false;
  }
  return takeLocatedRecord(s, v, info, number, ui);
}

namespace {

// Reads the record that is current again, without messages; for the end of
// a walk, which must leave the file where it was.
bool rereadQuietly(StudyState& s, std::string& reason) {
  FileView v;
  if (!viewOpenFile(s, v, reason)) return false;
  RecordInfo info;
  if (!locateCurrent(s, v.L, info, reason)) return false;
  auto& body = bodyBuffer();
  if (!readBody(s.recordFileHandle, v.L, info, body, reason)) return false;
  return commitRecord(s, v, info, body, s.currentRecord);
}

// The record in memory, then records current+1..last of the open file read
// straight from the file (the channel buffers stay as they are), each written
// the way writeRecord writes a record.
bool writeCurrentAndFollowing(StudyState& s, int fd, int& written, std::string& reason) {
  written = 0;
  if (!writeRecord(s, fd)) {
    reason = kWriteError;
    return false;
  }
  written = 1;
  if (!hasOpenCad(s)) return true;
  const int last = effectiveCount(s);
  if (s.currentRecord >= last) return true;
  FileView v;
  if (!viewOpenFile(s, v, reason)) return false;
  if (v.h.channelCount != s.channelCount) {
    reason = kMemoryChannelCountPrefix + integerText(s.channelCount) + kDiffersFromFileChannels +
             integerText(v.h.channelCount) + ")";
    return false;
  }
  RecordInfo info;
  if (!locateCurrent(s, v.L, info, reason)) return false;
  const bool withMark = writesMarkChannel(s);
  std::vector<std::int16_t> samples;
  std::vector<std::int16_t*> channels(static_cast<std::size_t>(v.L.channels));
  std::vector<std::int16_t> mark;
  std::string out;
  auto& body = bodyBuffer();
  for (int k = s.currentRecord + 1; k <= last; ++k) {
    RecordInfo next;
    if (!probeRecord(s.recordFileHandle, v.L, info.offset + sizeOf(v.L, info.storedLength), next, reason) ||
        !readBody(s.recordFileHandle, v.L, next, body, reason)) {
      reason = kRecordNumberPrefix + integerText(k) + ": " + reason;
      return false;
    }
    info = next;
    const std::size_t n = static_cast<std::size_t>(info.storedLength);
    samples.assign(n * channels.size(), 0);
    for (std::size_t c = 0; c < channels.size(); ++c) channels[c] = samples.data() + c * n;
    mark.assign(n, 0);  // a file without marks gives an empty mark channel
    decodeBody(v.L, info.storedLength, body.data(), channels.data(), mark.data());
    encodeRecord(out, info.recordLength, v.L.channels, channels.data(), mark.data(), withMark,
                 encodeTimeOfDay(nowAsDayFraction(s)));
    if (!fdWriteAll(fd, out.data(), out.size())) {
      reason = kWriteError;
      return false;
    }
    ++written;
  }
  return true;
}


// The record in memory written back over its place in the open file: same
// place and size, so a record that grew or lost its layout is refused.
bool writeBackCadRecord(StudyState& s, Interaction& ui) {
  const std::string refused = kRecordChangesNotSaved + openName(s) + ": ";
  FileView v;
  std::string reason;
  if (!viewOpenFile(s, v, reason)) {
    ui.message(refused + reason + ".");
    return false;
  }
  if (v.h.version == kVersionCA15) {
    // One byte per sample cannot hold the codes in memory; a conversion would lose them.
    ui.message(refused + kOldFormatReadOnlySaveNew);
    return false;
  }
  if (fdIsReadOnly(s.recordFileHandle)) {
    ui.message(refused + kOpenedReadOnly);
    return false;
  }
  RecordInfo info;
  if (!locateCurrent(s, v.L, info, reason)) {
    ui.message(refused + reason + ".");
    return false;
  }
  if (s.channelCount != v.h.channelCount) {
    ui.message(refused + kChannelCountPrefix + integerText(s.channelCount) + kDiffersFromFileChannels +
               integerText(v.h.channelCount) + kSaveToOtherFileAfterParen);
    return false;
  }
  // In the transform view the signals are parked; those are what the file holds.
  const bool results = showsResults(s);
  const auto& source = results ? s.parkedChannelData : s.channelData;
  const int length = results ? s.savedRecordLength : s.recordLength;
  if (length < 0 || length > info.storedLength) {
    ui.message(refused + kRecordLongerThanSlot + integerText(length) + " > " + integerText(info.storedLength) +
               kSamplesSaveToOtherFile);
    return false;
  }
  // From the second length field to the end of the samples; blocks that
  // memory does not own (a mark channel not kept in memory) stay as stored.
  const std::size_t n = static_cast<std::size_t>(info.storedLength);
  const long long regionStart = info.offset + 2;
  std::string region(2 + static_cast<std::size_t>(v.L.channels + v.L.marks) * n * 2, '\0');
  auto* p = reinterpret_cast<unsigned char*>(region.data());
  if (!fdPreadExact(s.recordFileHandle, p, region.size(), regionStart)) {
    ui.message(refused + kReadErrorSentence);
    return false;
  }
  putU16(p, static_cast<std::uint16_t>(length));
  for (int c = 0; c < v.L.channels; ++c) {
    unsigned char* dst = p + 2 + static_cast<std::size_t>(c) * n * 2;
    const std::int16_t* src = source[static_cast<std::size_t>(c)];
    for (std::size_t i = 0; i < n; ++i) putU16(dst + 2 * i, static_cast<std::uint16_t>(src[i]));
  }
  if (v.L.marks == 1 && s.markChannelCount == 1) {
    unsigned char* dst = p + 2 + static_cast<std::size_t>(v.L.channels) * n * 2;
    for (std::size_t i = 0; i < n; ++i) putU16(dst + 2 * i, static_cast<std::uint16_t>(s.markChannel[i]));
  }
  if (!fdPwriteAll(s.recordFileHandle, region.data(), region.size(), regionStart)) {
    ui.message(refused + kWriteErrorSentence);
    return false;
  }
  return true;
}

// The open ".cad" file. Its state is the descriptor and the position
// invariant in the study state itself, so it holds nothing of its own.
class CadRecordSource final : public RecordSource {
 public:
  std::string formatName() const override { return "cad"; }
  bool isOpen(const StudyState& s) const override { return hasOpenCad(s); }
  bool canStep() const override { return true; }
  bool canWriteBack() const override { return true; }
  int recordCount(const StudyState& s) const override { return effectiveCount(s); }
  bool moveTo(StudyState& s, int number, Interaction& ui) override { return moveToRecord(s, number, ui); }
  bool reread(StudyState& s, Interaction& ui) override {
    std::string reason;
    if (!rereadQuietly(s, reason)) {
      ui.message(recordFailure(s, s.currentRecord, reason));
      return false;
    }
    return true;
  }
  bool writeBack(StudyState& s, Interaction& ui) override { return writeBackCadRecord(s, ui); }
};

}  // namespace

// --- examination header only ------------------------------------------------------

bool readExamHeaderOnly(StudyState& s, const std::string& path, Interaction& ui) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    ui.message(kCannotOpenFile + path);
    return false;
  }
  unsigned char buf[166];
  const bool ok = fdPreadExact(fd, buf, sizeof buf, 0);
  ::close(fd);
  const int version = ok ? versionOfSignature(buf) : -1;
  if (version < 0) {
    ui.message(kFilePrefix + baseName(path) + kNotARecordFile);
    return false;
  }
  s.examHeader = version == kVersionCA15
                     ? ca15HeaderText(buf + 4)
                     : utf8Fit(cp1251ToUtf8(std::string_view(reinterpret_cast<const char*>(buf + 4), kHeaderChars)),
                               kHeaderChars);
  s.recordFileName = baseName(path);
  return true;
}

// --- layout helpers ------------------------------------------------------------------

int recordFileSlots(int version) { return version == kVersionCA40 ? 64 : 32; }

int headerSize(int version) {
  if (version == kVersionCA15) return kCA15HeaderEnd;
  return offsetsFor(version).end;
}

int recordCountOffset(int version) { return offsetsFor(version).recordCount; }

long long recordBytes(int version, int channelCount, int markChannelCount, int n) {
  const long long ln = n;
  if (version == kVersionCA15) return channelCount * ln + markChannelCount * 2 * ln + 10;
  return (static_cast<long long>(channelCount) + markChannelCount) * ln * 2 + 10;
}

// --- header ---------------------------------------------------------------------------

bool parseRecordFileHeader(const unsigned char* data, std::size_t size, long long fileSize, RecordFileHeader& out,
                           std::string& reason) {
  reason.clear();
  if (size < 4) return false;
  const int version = versionOfSignature(data);
  if (version < 0) return false;
  const HeaderOffsets o = offsetsFor(version);
  if (size < static_cast<std::size_t>(o.end) || fileSize < o.end) {
    reason = kFileShorterThanHeader;
    return false;
  }
  RecordFileHeader h;
  h.signature.assign(reinterpret_cast<const char*>(data), 4);
  h.version = version;
  h.slotCount = o.slotCount;
  h.examHeader = version == kVersionCA15
                     ? ca15HeaderText(data + 4)
                     : utf8Fit(cp1251ToUtf8(std::string_view(reinterpret_cast<const char*>(data + 4), kHeaderChars)),
                               kHeaderChars);
  for (int i = 0; i < o.slotCount; ++i) {
    // Names are shown with three characters; the fourth byte of a slot is not used.
    h.channelNames[i] = trimRight(cp1251ToUtf8(std::string_view(reinterpret_cast<const char*>(data + 166 + 4 * i), 3)));
  }
  h.fileDate = version == kVersionCA15 ? 0 : getI32(data + o.date);
  h.dataOffset = getU16(data + o.dataOffset);
  h.referenceKind = data[o.referenceKind];
  h.channelCount = data[o.channelCount];
  h.sampleRate = getU16(data + o.sampleRate);
  h.markChannelCount = data[o.markChannels];
  h.recordCount = getI16(data + o.recordCount);
  const int scale = version == kVersionCA15 ? 16 : 1;
  for (int i = 0; i < o.slotCount; ++i) {
    const long z = static_cast<long>(getU16(data + o.zeroLevel + 2 * i)) * scale;
    const long u = static_cast<long>(getU16(data + o.calibUnits + 2 * i)) * scale;
    h.zeroLevel[i] = static_cast<std::uint16_t>(std::min<long>(z, 65535));
    h.calibUnits[i] = static_cast<std::uint16_t>(std::min<long>(u, 65535));
    h.posX[i] = data[o.positions + 4 * i];
    h.posY[i] = data[o.positions + 4 * i + 1];
    h.pairFirst[i] = data[o.positions + 4 * i + 2];
    h.pairSecond[i] = data[o.positions + 4 * i + 3];
  }
  h.flags = data[o.flags];
  h.epochCount = data[o.flags + 1];
  h.epochLength = getU16(data + o.flags + 2);
  h.epochStep = data[o.flags + 4];
  h.leadPairCount = data[o.flags + 5];
  h.calibValueEntries = o.calibEntries;
  for (int i = 0; i < o.calibEntries; ++i) h.calibValue[i] = getU16(data + o.calibValue + 2 * i);

  if (h.channelCount < 1 || h.channelCount > o.slotCount) {
    reason = kChannelCountOutOfRangePrefix + integerText(h.channelCount) + kOutsideAllowedFrom1 + integerText(o.slotCount);
    return false;
  }
  if (h.sampleRate == 0) {
    reason = kZeroSamplingRate;
    return false;
  }
  if (h.markChannelCount > 1 && h.markChannelCount <= 10) {
    reason = kUnknownMarkChannelsPrefix + integerText(h.markChannelCount) + ")";
    return false;
  }
  if (h.dataOffset < o.end) {
    reason = kDataStartPrefix + integerText(h.dataOffset) + kDataStartInsideHeader;
    return false;
  }
  if (h.dataOffset > fileSize) {
    reason = kDataStartPrefix + integerText(h.dataOffset) + kDataStartPastEnd;
    return false;
  }
  if ((h.flags & 1) && h.leadPairCount > o.slotCount) {
    reason = kLeadPairCountPrefix + integerText(h.leadPairCount) + kMoreThan + integerText(o.slotCount);
    return false;
  }
  out = std::move(h);
  return true;
}

bool readRecordFileHeader(const std::string& path, RecordFileHeader& out, std::string& reason) {
  reason.clear();
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    reason = kOpenFailed;
    return false;
  }
  long long size = 0;
  const bool ok = readHeaderOf(fd, out, size, reason);
  ::close(fd);
  return ok;
}

bool scanRecords(const std::string& path, const RecordFileHeader& header, std::vector<RecordInfo>& records,
                 std::string& reason) {
  records.clear();
  reason.clear();
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    reason = kOpenFailed;
    return false;
  }
  const Layout L = layoutOf(header, fdSize(fd));
  long long off = L.dataOffset;
  bool ok = true;
  while (off < L.fileSize) {
    if (static_cast<int>(records.size()) >= kMaxRecordCount) {
      reason = kMorePrefix + integerText(kMaxRecordCount) + kRecordsSuffix;
      ok = false;
      break;
    }
    RecordInfo info;
    if (!probeRecord(fd, L, off, info, reason)) {
      ok = false;
      break;
    }
    records.push_back(info);
    off += sizeOf(L, info.storedLength);
  }
  ::close(fd);
  return ok;
}

bool readRecordSamples(const std::string& path, const RecordFileHeader& header, const RecordInfo& record,
                       std::vector<std::vector<std::int16_t>>& samples, std::string& reason) {
  reason.clear();
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    reason = kOpenFailed;
    return false;
  }
  const Layout L = layoutOf(header, fdSize(fd));
  RecordInfo info;
  std::vector<unsigned char> body;
  // The record is checked again: the caller's description may be stale or made up.
  const bool ok = probeRecord(fd, L, record.offset, info, reason) && readBody(fd, L, info, body, reason);
  ::close(fd);
  if (!ok) return false;
  const std::size_t n = static_cast<std::size_t>(info.storedLength);
  samples.assign(static_cast<std::size_t>(L.channels + L.marks), std::vector<std::int16_t>(n));
  std::vector<std::int16_t*> ptrs;
  for (int c = 0; c < L.channels; ++c) ptrs.push_back(samples[static_cast<std::size_t>(c)].data());
  decodeBody(L, info.storedLength, body.data(), ptrs.data(), L.marks ? samples.back().data() : nullptr);
  return true;
}

// --- opening -------------------------------------------------------------------------------

bool openRecordFile(StudyState& s, const std::string& path, Interaction& ui) {
  const std::string name = baseName(path);
  const int fd = openRegularFileForEditing(path);
  if (fd < 0) {
    ui.message(kCannotOpenFile + path);
    return false;
  }
  FileView v;
  long long size = 0;
  std::string reason;
  if (!readHeaderOf(fd, v.h, size, reason)) {
    ::close(fd);
    if (!reason.empty()) ui.message(kFilePrefix + name + kFileCannotBeRead + reason + ".");
    return false;
  }
  v.L = layoutOf(v.h, size);

  // Count the sound records the header's count covers (all of them when the
  // count is 0, as left by a recording that was not closed).
  const int claimed = v.h.recordCount;
  const int limit = claimed > 0 ? claimed : (claimed < 0 ? 1 : kMaxRecordCount);
  RecordInfo first;
  int found = 0;
  std::string firstFailure;
  for (long long off = v.L.dataOffset; found < limit && off < v.L.fileSize;) {
    RecordInfo info;
    if (!probeRecord(fd, v.L, off, info, firstFailure)) break;
    if (found == 0) first = info;
    ++found;
    off += sizeOf(v.L, info.storedLength);
  }
  auto& body = bodyBuffer();
  if (found == 0 || !readBody(fd, v.L, first, body, firstFailure)) {
    ::close(fd);
    if (firstFailure.empty()) firstFailure = kNoRecordsInFile;
    ui.message(kFilePrefix + name + kCannotBeReadFirstRecord + firstFailure + ".");
    return false;
  }

  // Everything is checked; switch to the new file.
  s.leaveTransformView(true);
  closeRecordFile(s);
  s.recordFileHandle = fd;
  s.recordSource = std::make_unique<CadRecordSource>();
  s.recordFileVersion = v.h.version;
  s.recordFileName = name;
  s.recordFilePath = path;
  s.recordModified = 0;
  const RecordFileHeader& h = v.h;
  s.examHeader = h.examHeader;
  applyChannelNames(s, h);
  s.recordDate = h.fileDate;
  s.recordTime = 0;
  s.referenceKind = h.referenceKind;
  s.channelCount = h.channelCount;
  s.sampleRate = h.sampleRate;
  s.transformKind = TransformKind::Amplitude;
  s.markChannelCount = h.recordMarkChannels();
  if (h.markChannelCount > 10) s.transformKind = TransformKind::CrossSpectrum;  // a saved pair-transform result
  for (int i = 0; i < h.slotCount; ++i) {
    s.zeroLevel[i] = h.zeroLevel[i];
    s.calibUnits[i] = h.calibUnits[i];
    const auto ui8 = static_cast<std::size_t>(i);
    s.channelPosX[ui8] = h.posX[i];
    s.channelPosY[ui8] = h.posY[i];
    s.leadPairs[ui8] = {h.pairFirst[i], h.pairSecond[i]};
  }
  for (int i = 0; i < h.calibValueEntries; ++i) s.calibValue[i] = h.calibValue[i];
  if (h.flags & 1) s.leadPairCount = h.leadPairCount;
  s.recordCount = (claimed > found || claimed == 0) ? found : claimed;
  s.recordLength = first.recordLength;
  if (s.epochLength == 0) {
    s.epochLength = s.epochStep = s.recordLength;
  } else {
    s.epochStep = s.epochLength;
  }
  s.resetViewAfterOpen();
  s.pendingChannelCount = 0;
  commitRecord(s, v, first, body, 1);
  if (claimed > found || claimed == 0) {
    ui.message(kClaimedCountPrefix + name + " (" + integerText(claimed) +
               kClaimedCountMismatch + integerText(found) + ".");
  }
  return true;
}

void closeRecordFile(StudyState& s) {
  if (s.recordFileHandle >= 0) ::close(s.recordFileHandle);
  s.recordFileHandle = -1;
  s.recordSource.reset();
}

// --- modified record -------------------------------------------------------------------------

bool confirmWriteBack(StudyState& s, Interaction& ui) {
  if (s.recordModified < 0) {
    s.channelCount = std::clamp(-s.recordModified, 1, kMaxChannels);
    s.recordModified = 0;
    return true;
  }
  RecordSource* source = openRecordSource(s);
  if (s.recordModified == 0 || !source || !source->canWriteBack()) return true;
  if (!ui.ask(kAskSaveChanges)) {
    s.recordModified = 0;
    return true;
  }
  if (!source->writeBack(s, ui)) return false;
  s.recordModified = 0;
  return true;
}

// --- navigation ----------------------------------------------------------------------------

bool stepRecord(StudyState& s, int direction, Interaction& ui) {
  RecordSource* source = openRecordSource(s);
  if (!source || !source->canStep() || direction == 0) return false;
  const int target = s.currentRecord + (direction > 0 ? 1 : -1);
  if (target < 1 || target > source->recordCount(s)) return false;
  if (!confirmWriteBack(s, ui)) return false;
  return source->moveTo(s, target, ui);
}

bool gotoRecord(StudyState& s, int number, Interaction& ui) {
  RecordSource* source = openRecordSource(s);
  if (!source || !source->canStep()) return false;
  const int target = std::clamp(number, 1, std::max(1, source->recordCount(s)));
  if (target == s.currentRecord) return true;
  if (!confirmWriteBack(s, ui)) return false;
  return source->moveTo(s, target, ui);
}

bool gotoRecordAsked(StudyState& s, Interaction& ui) {
  const RecordSource* source = openRecordSource(s);
  if (!source || !source->canStep() || showsResults(s)) return false;
  const auto answer = ui.input(kGoToRecordTitle, kGoToRecordPrompt, "1");
  if (!answer) return false;
  const auto number = parseInteger(*answer);
  if (!number) return false;
  return gotoRecord(s, *number, ui);
}

bool rereadRecord(StudyState& s, Interaction& ui) {
  RecordSource* source = openRecordSource(s);
  return source && source->reread(s, ui);
}

// --- writers -----------------------------------------------------------------------------------

bool writeHeader(StudyState& s, int fd) {
  if (!storable(s)) return false;
  const long long here = fdTell(fd);
  if (here < 0) return false;
  const std::string bytes = buildHeader(s, slotsForNewFile(s), s.recordCount, here, -1);
  return fdWriteAll(fd, bytes.data(), bytes.size());
}

bool writeRecord(StudyState& s, int fd) {
  if (!storable(s)) return false;
  std::string out;
  encodeRecord(out, s.recordLength, s.channelCount, s.channelData.data(), s.markChannel, writesMarkChannel(s),
               encodeTimeOfDay(nowAsDayFraction(s)));
  if (!fdWriteAll(fd, out.data(), out.size())) return false;
  s.recordModified = 0;
  return true;
}

bool rewriteHeader(StudyState& s, Interaction& ui) {
  if (!hasOpenCad(s) || showsResults(s)) return false;
  FileView v;
  std::string reason;
  if (!viewOpenFile(s, v, reason)) {
    ui.message(kHeaderPrefix + openName(s) + kHeaderNotRewritten + reason + ".");
    return false;
  }
  if (v.h.version != kVersionCA30 && v.h.version != kVersionCA40) return false;
  const std::string refused = kHeaderPrefix + openName(s) + kHeaderNotRewritten;
  if (fdIsReadOnly(s.recordFileHandle)) {
    ui.message(refused + kOpenedReadOnly);
    return false;
  }
  // The header describes the layout of every record already in the file.
  if (s.channelCount != v.h.channelCount || (s.markChannelCount == 1 ? 1 : 0) != v.L.marks) {
    ui.message(refused + kMarkLayoutMismatch);
    return false;
  }
  if (!storable(s)) return false;
  const std::string bytes = buildHeader(s, v.h.slotCount, s.recordCount, 0, v.h.dataOffset);
  if (!fdPwriteAll(s.recordFileHandle, bytes.data(), bytes.size(), 0)) {
    ui.message(refused + kWriteErrorSentence);
    return false;
  }
  return true;
}

// --- append and save -------------------------------------------------------------------------

bool appendRecords(StudyState& s, const std::string& path, int which, Interaction& ui) {
  if (which != 2 && which != 3) return false;
  const std::string name = baseName(path);
  const std::string refused = kRecordsNotAppended + name + ": ";
  if (which == 3 && showsResults(s)) {
    ui.message(refused + kConversionWritesResultOnly);
    return false;
  }
  if (!storable(s)) {
    ui.message(refused + kRecordNotWritable);
    return false;
  }
  const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
  if (fd < 0) {
    ui.message(refused + kCannotOpenForWriting);
    return false;
  }
  auto fail = [&](const std::string& why) {
    ::close(fd);
    ui.message(refused + why + ".");
    return false;
  };
  RecordFileHeader h;
  long long size = 0;
  std::string reason;
  if (!readHeaderOf(fd, h, size, reason)) return fail(reason.empty() ? kNotARecordFileReason : reason);
  if (h.version == kVersionCA15) return fail(kOldFormatReadOnly);
  const int marks = writesMarkChannel(s) ? 1 : 0;
  if (h.channelCount != s.channelCount || h.recordMarkChannels() != marks) {
    return fail(kFileLayoutPrefix + integerText(h.channelCount) + (h.recordMarkChannels() ? "+1" : "") +
                kLayoutMismatchWithRecord + integerText(s.channelCount) + (marks ? "+1" : "") + ")");
  }
  // The new records must follow the last sound record directly, or they
  // could not be reached.
  const Layout L = layoutOf(h, size);
  int found = 0;
  long long off = L.dataOffset;
  while (off < L.fileSize) {
    RecordInfo info;
    if (found >= kMaxRecordCount || !probeRecord(fd, L, off, info, reason))
      return fail(kFileDamagedAfterRecord + integerText(found));
    ++found;
    off += sizeOf(L, info.storedLength);
  }
  const bool walk = which == 3 && hasOpenCad(s);
  const int following = walk ? std::max(0, effectiveCount(s) - s.currentRecord) : 0;
  const int newCount = found + 1 + following;
  if (newCount > kMaxRecordCount) return fail(kWouldExceedPrefix + integerText(kMaxRecordCount) + kRecordsSuffix);

  const int modifiedBefore = s.recordModified;
  int written = 0;
  bool ok = fdSeek(fd, size);
  if (ok) {
    if (walk) {
      ok = writeCurrentAndFollowing(s, fd, written, reason);
    } else {
      ok = writeRecord(s, fd);
      if (!ok) reason = kWriteError;
    }
  } else {
    reason = kSeekError;
  }
  if (ok) {
    unsigned char c[2];
    putU16(c, static_cast<std::uint16_t>(newCount));
    ok = fdPwriteAll(fd, c, 2, recordCountOffset(h.version));
    if (!ok) reason = kWriteError;
  }
  if (!ok) {
    // Leave the target as it was: drop whatever part of the records got written.
    if (::ftruncate(fd, size) != 0) reason += kSizeNotRestored;
    s.recordModified = modifiedBefore;
    return fail(reason);
  }
  ::close(fd);
  if (hasOpenCad(s) && samePath(path, s.recordFilePath)) s.recordCount = newCount;
  if (walk && !rereadQuietly(s, reason)) ui.message(recordFailure(s, s.currentRecord, reason));
  return true;
}

bool saveRecords(StudyState& s, const std::string& path, Interaction& ui) {
  const std::string name = baseName(path);
  const std::string refused = kFilePrefix + name + kFileNotWritten;
  const bool open = hasOpenCad(s);
  const bool oldMulti = open && s.recordFileVersion == kVersionCA15 && effectiveCount(s) > 1;
  const bool targetIsOpen = open && samePath(path, s.recordFilePath);
  if (fileExists(path)) {
    if (oldMulti) {
      ui.message(kRetryWithOtherName);
      return false;
    }
    std::vector<Interaction::Choice> choices = {{kChoiceReplace, 1}, {kChoiceAppendCurrent, 2}};
    const bool hasFollowing = open && s.currentRecord < effectiveCount(s) && !showsResults(s);
    if (hasFollowing) choices.push_back({kChoiceAppendFollowing, 3});
    choices.push_back({kChoiceCancel, 0});
    const int choice = ui.choose(kWriteFileTitle, kFileExists, kWhatToDo, choices);
    if (choice == 2 || choice == 3) return appendRecords(s, path, choice, ui);
    if (choice != 1) return false;
    if (::access(path.c_str(), W_OK) != 0) {
      ui.message(refused + kWriteProtected);
      return false;
    }
  }
  if (!storable(s)) {
    ui.message(refused + kRecordNotWritable);
    return false;
  }

  if (oldMulti && !showsResults(s)) {
    // An old file cannot be rewritten in place: convert the current record and
    // all that follow into the new file.
    AtomicFile f(path);
    if (!f.ok()) {
      ui.message(refused + kCannotCreateFile);
      return false;
    }
    const int modifiedBefore = s.recordModified;
    const int count = effectiveCount(s) - s.currentRecord + 1;
    const std::string header = buildHeader(s, slotsForNewFile(s), count, 0, -1);
    std::string reason = kWriteError;
    int written = 0;
    const bool ok = fdWriteAll(f.fd(), header.data(), header.size()) &&
                    writeCurrentAndFollowing(s, f.fd(), written, reason) && f.commit();
    if (!ok) {
      s.recordModified = modifiedBefore;
      ui.message(refused + reason + ".");
      return false;
    }
    if (!rereadQuietly(s, reason)) ui.message(recordFailure(s, s.currentRecord, reason));
    return true;
  }

  if (targetIsOpen && effectiveCount(s) > 1 && !ui.ask(kAskReplaceAll))
    return false;
  const int count = s.recordCount > 1 ? 1 : (s.recordCount == 0 ? 1 : s.recordCount);
  const int slotCount = slotsForNewFile(s);
  const int modifiedBefore = s.recordModified;
  std::string header = buildHeader(s, slotCount, count, 0, -1);
  AtomicFile f(path);
  const bool ok = f.ok() && fdWriteAll(f.fd(), header.data(), header.size()) && writeRecord(s, f.fd()) && f.commit();
  if (!ok) {
    s.recordModified = modifiedBefore;
    ui.message(refused + kWriteErrorSentence);
    return false;
  }
  if (targetIsOpen) {
    // The old descriptor still shows the replaced file; continue on the new one.
    closeRecordFile(s);
    const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    const long long end = static_cast<long long>(header.size()) +
                          recordBytes(kVersionCA40, s.channelCount, writesMarkChannel(s) ? 1 : 0, s.recordLength) - 2;
    if (fd < 0 || !fdSeek(fd, end)) {
      if (fd >= 0) ::close(fd);
      ui.message(kFilePrefix + name + kWrittenButNotReopened);
      return true;
    }
    s.recordFileHandle = fd;
    s.recordSource = std::make_unique<CadRecordSource>();
    s.recordFileVersion = slotCount == 64 ? kVersionCA40 : kVersionCA30;
    s.recordCount = count;
    s.currentRecord = 1;
    s.storedLength = s.recordLength;
  }
  return true;
}

namespace {

// Reads up to n bytes at `offset`; fewer only at the end of the file or on an
// error. Returns how many were read.
long long preadUpTo(int fd, unsigned char* p, long long n, long long offset) {
  long long got = 0;
  while (got < n) {
    const ssize_t r = ::pread(fd, p + got, static_cast<std::size_t>(n - got), offset + got);
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) break;
    got += r;
  }
  return got;
}

// Records are read several at a time into one buffer: a call into the kernel
// costs as much as copying a few pages, and reading one record took three of
// them. Half a megabyte keeps the buffer in the processor's own cache beside
// what the caller accumulates from it.
constexpr long long kWalkChunkBytes = 512 << 10;

}  // namespace

bool visitStoredRecords(const StudyState& s, int first, int last,
                        const std::function<bool(const StoredRecordView&)>& visit, int& failedAt) {
  failedAt = 0;
  if (!hasOpenCad(s) || s.recordFileVersion == kVersionCA15 || s.pendingChannelCount != 0) return false;
  FileView v;
  std::string reason;
  if (!viewOpenFile(s, v, reason) || v.h.version == kVersionCA15 || v.h.channelCount != s.channelCount) return false;
  const int fd = s.recordFileHandle;
  const Layout& L = v.L;
  // File bytes [winStart, winEnd) are in `chunk`. A window always starts at a
  // record, and every record has an even size, so each record's samples are
  // aligned for 16-bit access; they are turned round in place on a big-endian
  // machine.
  static thread_local std::vector<std::int16_t> chunk;
  long long winStart = 0, winEnd = 0;
  auto bytesAt = [&](long long at) { return reinterpret_cast<unsigned char*>(chunk.data()) + (at - winStart); };
  // The size of the last record guesses the next ones, so that a window ends
  // at the end of a record and no record is read twice.
  long long guess = 0;
  auto fetch = [&](long long at, long long need) {
    if (at >= winStart && at + need <= winEnd) return true;
    const long long unit = std::max(need, guess);
    const long long want = std::min(std::max(need, unit * std::max(1LL, kWalkChunkBytes / unit)), L.fileSize - at);
    if (want < need) return false;
    if (chunk.size() * 2 < static_cast<std::size_t>(want)) chunk.resize(static_cast<std::size_t>(want + 1) / 2);
    winStart = at;
    winEnd = at + preadUpTo(fd, reinterpret_cast<unsigned char*>(chunk.data()), want, at);
    return at + need <= winEnd;
  };
  // The checks of probeRecord, on a record wholly in the window.
  struct Found {
    int n = 0, l = 0;
    long long size = 0;
  };
  auto inWindow = [&](long long at, Found& f) {
    if (at < L.dataOffset || at < winStart || at + 4 > winEnd) return false;
    f.n = getU16(bytesAt(at));
    f.l = getU16(bytesAt(at) + 2);
    f.size = sizeOf(L, f.n);
    return f.n <= kMaxSamples && at + f.size <= L.fileSize && at + f.size <= winEnd &&
           getU16(bytesAt(at + f.size - 2)) == f.n;
  };
  // Records are found from the data offset on, as navigation walks them.
  long long off = L.dataOffset;
  RecordInfo info;
  std::vector<const std::int16_t*> channels(static_cast<std::size_t>(L.channels));
  const std::size_t blocks = channels.size() + static_cast<std::size_t>(L.marks);
  for (int k = 1; k <= last; ++k) {
    if (k < first) {
      if (!probeRecord(fd, L, off, info, reason)) {
        failedAt = k;
        return false;
      }
      off = info.offset + sizeOf(L, info.storedLength);
      continue;
    }
    Found f;
    if (!inWindow(off, f)) {
      const bool ok = off >= L.dataOffset && off + 4 <= L.fileSize && fetch(off, 4) &&
                      getU16(bytesAt(off)) <= kMaxSamples && fetch(off, sizeOf(L, getU16(bytesAt(off)))) &&
                      inWindow(off, f);
      if (!ok) {
        failedAt = k;
        return false;
      }
    }
    guess = f.size;
    auto* body = reinterpret_cast<std::int16_t*>(bytesAt(off + 4));
    if constexpr (std::endian::native != std::endian::little) {
      const std::size_t count = blocks * static_cast<std::size_t>(f.n);
      for (std::size_t i = 0; i < count; ++i) {
        const auto u = static_cast<std::uint16_t>(body[i]);
        body[i] = static_cast<std::int16_t>(static_cast<std::uint16_t>((u >> 8) | (u << 8)));
      }
    }
    StoredRecordView view;
    view.offset = off;
    off += f.size;
    Found next;
    view.samplesStay = k < last && inWindow(off, next);
    for (std::size_t c = 0; c < channels.size(); ++c) channels[c] = body + c * static_cast<std::size_t>(f.n);
    view.number = k;
    view.recordLength = std::min(f.l, f.n);  // a length beyond what is stored cannot be shown
    view.channels = channels.data();
    view.mark = L.marks == 1 ? body + channels.size() * static_cast<std::size_t>(f.n) : nullptr;
    if (!visit(view)) return true;
  }
  return true;
}

}  // namespace velor
