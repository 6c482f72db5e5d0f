#include "interchange/foreign_formats.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>

#include "core/binio.h"
#include "core/numtext.h"
#include "core/record_file.h"
#include "core/record_source.h"
#include "core/text.h"
#include "interchange/text_record.h"

namespace velor {

bool MemorySource::read(void* out, std::size_t n, long long offset) const {
  if (offset < 0 || static_cast<unsigned long long>(offset) > b_.size() || n > b_.size() - static_cast<std::size_t>(offset))
    return false;
  if (n) std::memcpy(out, b_.data() + offset, n);
  return true;
}

FileSource::FileSource(const std::string& path) {
  fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd_ < 0) return;
  struct stat st {};
  if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd_);
    fd_ = -1;
    return;
  }
  size_ = st.st_size;
}

FileSource::~FileSource() {
  if (fd_ >= 0) ::close(fd_);
}

bool FileSource::read(void* out, std::size_t n, long long offset) const {
  if (fd_ < 0 || offset < 0 || offset > size_ || static_cast<long long>(n) > size_ - offset) return false;
  return fdPreadExact(fd_, out, n, offset);
}

namespace {


// Control bytes in a header text (NULs among them) show as blanks.
std::string headerText(const unsigned char* p, std::size_t n) {
  std::string raw(reinterpret_cast<const char*>(p), n);
  for (char& c : raw)
    if (static_cast<unsigned char>(c) < 0x20) c = ' ';
  return cp1251ToUtf8(raw);
}

// A NUL-ended field: text before a NUL at positions 1..29, otherwise the
// first 30 bytes.
std::string nulCutField(const unsigned char* p, std::size_t n) {
  const std::size_t limit = std::min<std::size_t>(n, 30);
  for (std::size_t i = 0; i < limit && i < 29; ++i)
    if (p[i] == 0) return headerText(p, i);
  return headerText(p, limit);
}

// Reads rows of `rowChannels` interleaved samples of `width` bytes, keeping
// the first `keep` channels, in blocks so that a wide file never needs one
// large buffer.
template <typename Fn>
bool readInterleaved(const ByteSource& in, long long offset, int rowChannels, int width, int rows, Fn&& take) {
  const long long rowBytes = static_cast<long long>(rowChannels) * width;
  const long long perBlock = std::max<long long>(1, (1LL << 20) / rowBytes);
  std::vector<unsigned char> buf;
  for (long long r0 = 0; r0 < rows; r0 += perBlock) {
    const long long count = std::min<long long>(perBlock, rows - r0);
    buf.resize(static_cast<std::size_t>(count * rowBytes));
    if (!in.read(buf.data(), buf.size(), offset + r0 * rowBytes)) return false;
    for (long long r = 0; r < count; ++r) take(static_cast<int>(r0 + r), buf.data() + r * rowBytes);
  }
  return true;
}

void sizeChannels(ForeignRecord& out, int channels, int length) {
  const auto n = static_cast<std::size_t>(channels);
  out.channelCount = channels;
  out.length = length;
  out.names.assign(n, std::string());
  out.posX.assign(n, kKindEcg);
  out.posY.assign(n, 0);
  out.pairFirst.assign(n, 0);
  out.pairSecond.assign(n, 0);
  out.zeroLevel.assign(n, 2048);
  out.calibUnits.assign(n, 2047);
  out.calibValue.assign(n, 1000);
  out.codes.assign(n, std::vector<std::int16_t>(static_cast<std::size_t>(length), 0));
}

std::string lengthNotice(long long claimed, int read) {
  return "В файле " + integerText(claimed) + " отсчётов на канал, прочитаны первые " + integerText(read) + ".";
}

}  // namespace

std::string foreignExamHeader(std::string_view name, std::string_view birth, std::string_view sex,
                              std::string_view diagnosis) {
  std::string h(60, ' ');
  h += utf8Fit(name, 30);
  h += std::string(8, ' ');
  h += utf8Fit(birth, 10);
  h += utf8Fit(sex, 1);
  h += utf8Fit(diagnosis, 30);
  return utf8Fit(h, kHeaderChars);
}

void applyForeignRecord(StudyState& s, const ForeignRecord& r, const std::string& fileName) {
  closeRecordFile(s);
  s.recordSource = std::make_unique<SingleRecordSource>(r.format);
  s.recordFilePath.clear();
  s.recordFileName = fileName;
  s.recordModified = 0;
  s.pendingChannelCount = 0;
  const int channels = std::clamp(r.channelCount, 1, kMaxChannels);
  const int length = std::clamp(r.length, 1, kMaxSamples);
  s.channelCount = channels;
  if (r.sampleRate > 0) s.sampleRate = r.sampleRate;
  s.recordLength = s.storedLength = length;
  s.savedRecordLength = length;
  for (int c = 0; c < channels; ++c) {
    const auto uc = static_cast<std::size_t>(c);
    if (r.namesFromFile && uc < r.names.size()) s.channelNames[uc] = r.names[uc];
    if (r.namesFromFile && r.hasPositions && uc < r.posX.size()) {
      s.channelPosX[uc] = r.posX[uc];
      s.channelPosY[uc] = r.posY[uc];
      s.leadPairs[uc] = {r.pairFirst[uc], r.pairSecond[uc]};
    }
    s.zeroLevel[c] = r.zeroLevel[uc];
    s.calibUnits[c] = r.calibUnits[uc];
    s.calibValue[c] = r.calibValue[uc];
    const std::vector<std::int16_t>& src = r.codes[uc];
    const int n = std::min<int>(length, static_cast<int>(src.size()));
    std::copy_n(src.data(), n, s.channelData[uc]);
    std::fill(s.channelData[uc] + n, s.channelData[uc] + kMaxSamples, std::int16_t{0});
  }
  s.markChannelCount = r.markChannelCount == 1 ? 1 : 0;
  if (s.markChannelCount) {
    const int n = std::min<int>(length, static_cast<int>(r.marks.size()));
    std::copy_n(r.marks.data(), n, s.markChannel);
    std::fill(s.markChannel + n, s.markChannel + kMaxSamples, std::int16_t{0});
  }
  s.examHeader = utf8Fit(r.examHeader, kHeaderChars);
  s.recordCount = 1;
  s.currentRecord = r.currentRecord;
  s.leadPairCount = 0;
  s.firstShownChannel = 0;
  s.shownChannelCount = channels;
  s.currentChannelRow = 0;
  if (r.recordFileVersion >= 0) s.recordFileVersion = r.recordFileVersion;
  // An epoch longer than the record would leave no epoch to analyse.
  switch (r.epochRule) {
    case ForeignEpochRule::Fixed512: s.epochLength = std::min(512, length); break;
    case ForeignEpochRule::KeepOrHalf:
      s.epochLength = std::min(s.epochLength, length);
      if (s.epochLength <= 0) s.epochLength = std::max(1, length / 2);
      break;
    case ForeignEpochRule::KeepOrAll:
      s.epochLength = std::min(s.epochLength, length);
      if (s.epochLength <= 0) s.epochLength = length;
      break;
  }
  s.epochStep = s.epochLength;
  s.epochCount = length / s.epochLength;
  s.currentEpoch = 0;
  // The view of the old record may point past the end of the new one.
  s.selectionAnchor = -1;
  s.viewStart = 0;
  s.cursorPos = std::clamp(s.cursorPos, 0, length - 1);
}

bool takeDecodedRecord(StudyState& s, bool decoded, const ForeignRecord& r, const std::string& reason,
                       const std::string& fileName, Interaction& ui) {
  if (!decoded) {
    ui.message("Файл " + fileName + " не прочитан: " + reason + ".");
    return false;
  }
  applyForeignRecord(s, r, fileName);
  for (const std::string& n : r.notices) ui.message(n);
  return true;
}

// --- BrainSys ------------------------------------------------------------------------------------

int brainSysLeadEntry(int leadSystem, int channel, int electrodeCode) {
  auto entryAt = [](std::string_view table, int k) {
    const std::size_t at = static_cast<std::size_t>(2 * k);
    return (table[at] - '0') * 10 + (table[at + 1] - '0');
  };
  if (leadSystem == 0) {
    if (electrodeCode < 1 || electrodeCode > static_cast<int>(kBrainSysCodeEntries.size() / 2)) return 0;
    return entryAt(kBrainSysCodeEntries, electrodeCode - 1);
  }
  if (leadSystem == 1) {
    if (channel < 0 || channel >= static_cast<int>(kBrainSysIndexEntries.size() / 2)) return 0;
    return entryAt(kBrainSysIndexEntries, channel);
  }
  return 0;
}

bool decodeBrainSys(const ByteSource& in, bool systemFromFile, const std::vector<ElectrodeEntry>& leadTable,
                    ForeignRecord& out, std::string& reason) {
  out = ForeignRecord{};
  out.format = "brainsys";
  unsigned char h[kBrainSysDataOffset];
  if (!in.read(h, sizeof h, 0)) {
    reason = "файл короче заголовка (" + integerText(kBrainSysDataOffset) + " байт)";
    return false;
  }
  const int form = h[256];
  const int leadSystem = systemFromFile ? h[257] : 0;
  const std::int32_t period = getI32(h + 258);
  if (period <= 0) {
    reason = "период отсчётов в заголовке равен " + integerText(period) + " мкс";
    return false;
  }
  const double rate = std::trunc(1e6 / period + 0.5);
  // Record files keep the rate in 16 bits.
  if (rate < 1 || rate > 65535) {
    reason = "период отсчётов в заголовке (" + integerText(period) + " мкс) даёт частоту вне 1..65535 Гц";
    return false;
  }
  const int fileChannels = getI16(h + 262);
  if (fileChannels <= 0) {
    reason = "число каналов в заголовке равно " + integerText(fileChannels);
    return false;
  }
  const std::int32_t claimed = getI32(h + 264);
  if (claimed <= 0) {
    reason = "в файле нет отсчётов (в заголовке " + integerText(claimed) + ")";
    return false;
  }
  const long long rowBytes = 2LL * fileChannels;
  const long long present = (in.size() - kBrainSysDataOffset) / rowBytes;
  const int length = static_cast<int>(std::min<long long>({claimed, kMaxSamples, present}));
  if (length <= 0) {
    reason = "в файле нет отсчётов (файл обрывается после заголовка)";
    return false;
  }
  const int channels = std::min(fileChannels, kMaxChannels);
  sizeChannels(out, channels, length);
  out.sampleRate = static_cast<int>(rate);
  out.examHeader = foreignExamHeader(nulCutField(h, 40), headerText(h + 41, 4), headerText(h + 40, 1),
                                     nulCutField(h + 45, 40));
  if (claimed > length) out.notices.push_back(lengthNotice(claimed, length));
  if (fileChannels > channels)
    out.notices.push_back("В файле " + integerText(fileChannels) + " каналов, прочитаны первые " + integerText(channels) + ".");
  if (form == 1)
    out.notices.push_back("Калибровка каналов этого файла не поддерживается: отсчёты прочитаны без неё.");

  if (leadSystem == 0 || leadSystem == 1) {
    out.hasPositions = true;
    int unnamed = 0;
    for (int i = 0; i < channels; ++i) {
      const auto ui = static_cast<std::size_t>(i);
      const int entry = brainSysLeadEntry(leadSystem, i, leadSystem == 0 ? h[141 + i] : 0);
      if (entry >= 1 && entry <= static_cast<int>(leadTable.size())) {
        const ElectrodeEntry& e = leadTable[static_cast<std::size_t>(entry - 1)];
        out.names[ui] = utf8Substr(e.name, 0, 4);
        out.posX[ui] = e.bytes[0];
        out.posY[ui] = e.bytes[1];
        out.pairFirst[ui] = e.bytes[2];
        out.pairSecond[ui] = e.bytes[3];
      } else {
        // No electrode for it: the channel keeps its number as its name and
        // is not placed on the head scheme.
        out.names[ui] = integerText(i + 1);
        ++unnamed;
      }
    }
    if (unnamed > 0)
      out.notices.push_back("Для " + integerText(unnamed) + " каналов нет отведения в таблице eeg20.ini: они названы номерами.");
  } else {
    out.namesFromFile = false;
    out.notices.push_back("Система отведений = " + integerText(leadSystem) + "не поддерживается");
  }

  int peak = 0;
  std::vector<std::vector<std::int16_t>>& codes = out.codes;
  if (!readInterleaved(in, kBrainSysDataOffset, fileChannels, 2, length, [&](int k, const unsigned char* row) {
        for (int c = 0; c < channels; ++c) {
          const std::int16_t v = getI16(row + 2 * c);
          codes[static_cast<std::size_t>(c)][static_cast<std::size_t>(k)] = v;
          peak = std::max(peak, std::abs(static_cast<int>(v)));
        }
      })) {
    reason = "ошибка чтения отсчётов";
    return false;
  }
  // Scaled to the 12-bit code range with the peak as full scale, so that
  // physicalValue gives the file's values back within one code.
  for (auto& ch : codes)
    for (std::int16_t& v : ch)
      v = peak == 0 ? std::int16_t{2048}
                    : static_cast<std::int16_t>(std::trunc(static_cast<double>(v) / peak * 2047.0 + 2048.0));
  std::fill(out.calibValue.begin(), out.calibValue.end(), static_cast<std::uint16_t>(std::max(1, peak)));
  out.epochRule = ForeignEpochRule::KeepOrHalf;
  return true;
}

bool readBrainSys(StudyState& s, const std::string& path, bool systemFromFile, Interaction& ui) {
  if (s.viewMode == ViewMode::Transform) return false;
  const std::string name = baseName(path);
  FileSource in(path);
  if (!in.ok()) {
    ui.message("Файл " + name + " не открывается.");
    return false;
  }
  const auto table = readElectrodeTable(s.programDir + "eeg20.ini");
  ForeignRecord r;
  std::string reason;
  const bool decoded = decodeBrainSys(in, systemFromFile, table, r, reason);
  return takeDecodedRecord(s, decoded, r, reason, name, ui);
}

// --- NeuroScan -----------------------------------------------------------------------------------

namespace {

float getF32(const unsigned char* p) {
  const std::uint32_t u = getU32(p);
  float f;
  std::memcpy(&f, &u, sizeof f);
  return f;
}

// value/units closest to x with both terms 1..65535; false when x is not a
// positive finite number such a fraction can hold within a thousandth.
bool closestFraction(double x, int& units, int& value) {
  if (!std::isfinite(x) || !(x >= 1.0 / 65535.0) || !(x <= 65535.0)) return false;
  double best = std::numeric_limits<double>::infinity();
  for (long long q = 1; q <= 65535; ++q) {
    const double p = std::round(x * static_cast<double>(q));
    if (p > 65535) break;
    if (p < 1) continue;
    const double err = std::fabs(p / static_cast<double>(q) - x);
    if (err < best) best = err, units = static_cast<int>(q), value = static_cast<int>(p);
    if (err == 0) break;
  }
  return best <= x * 1e-3;
}

}  // namespace

bool decodeNeuroScan(const ByteSource& in, ForeignRecord& out, std::string& reason) {
  out = ForeignRecord{};
  out.format = "neuroscan";
  unsigned char h[kNeuroScanElectrodes];
  if (!in.read(h, sizeof h, 0)) {
    reason = "файл короче заголовка (" + integerText(kNeuroScanElectrodes) + " байт)";
    return false;
  }
  const int fileChannels = getI16(h + 370);
  if (fileChannels <= 0) {
    reason = "число каналов в заголовке равно " + integerText(fileChannels);
    return false;
  }
  const int rate = getU16(h + 376);
  if (rate == 0) {
    reason = "частота отсчётов в заголовке равна 0";
    return false;
  }
  const long long eventTable = getI32(h + 886);
  const long long dataStart = kNeuroScanElectrodes + static_cast<long long>(kNeuroScanElectrodeBytes) * fileChannels;
  const int channels = std::min(fileChannels, kMaxChannels);
  std::vector<unsigned char> labels(static_cast<std::size_t>(kNeuroScanElectrodeBytes) * channels);
  if (!in.read(labels.data(), labels.size(), kNeuroScanElectrodes) || in.size() < dataStart) {
    reason = "файл короче таблицы электродов (" + integerText(fileChannels) + " каналов)";
    return false;
  }
  const long long dataBytes = eventTable - dataStart;
  // Files with 4-byte samples carry their sample count at 864 and do not fill
  // the space up to the event table with whole 2-byte rows; read as 2-byte
  // samples they would be noise.
  const long long countField = getU32(h + 864);
  const bool wide = countField > 0 && 4LL * fileChannels * countField <= dataBytes &&
                    (dataBytes % (2LL * fileChannels) != 0 || 4LL * fileChannels * countField == dataBytes);
  const int width = wide ? 4 : 2;
  const long long claimed = wide ? countField : (dataBytes > 0 ? dataBytes / (2LL * fileChannels) : 0);
  if (claimed <= 0) {
    reason = "в файле нет отсчётов (таблица событий на позиции " + integerText(eventTable) + ")";
    return false;
  }
  const long long present = (in.size() - dataStart) / (static_cast<long long>(width) * fileChannels);
  const int length = static_cast<int>(std::min<long long>({claimed, kMaxSamples, present}));
  if (length <= 0) {
    reason = "в файле нет отсчётов (файл обрывается после таблицы электродов)";
    return false;
  }
  sizeChannels(out, channels, length);
  out.sampleRate = rate;
  out.examHeader = foreignExamHeader(nulCutField(h + 121, 20), integerText(getI16(h + 141)), headerText(h + 143, 1), "");
  if (claimed > length) out.notices.push_back(lengthNotice(claimed, length));
  if (fileChannels > channels)
    out.notices.push_back("В файле " + integerText(fileChannels) + " каналов, прочитаны первые " + integerText(channels) + ".");
  for (int i = 0; i < channels; ++i) {
    const unsigned char* label = labels.data() + static_cast<std::size_t>(kNeuroScanElectrodeBytes) * i;
    const void* nul = std::memchr(label, 0, 10);
    const std::size_t n = nul ? static_cast<std::size_t>(static_cast<const unsigned char*>(nul) - label) : 3;
    out.names[static_cast<std::size_t>(i)] = utf8Substr(headerText(label, n), 0, 4);
    // NeuroScan labels name the electrodes: they place the channels.
    const ChannelPlace place = placeChannel(out.names[static_cast<std::size_t>(i)], headerText(label, n), {});
    out.posX[static_cast<std::size_t>(i)] = place.posX;
    out.posY[static_cast<std::size_t>(i)] = place.posY;
  }
  out.hasPositions = true;

  std::vector<std::int32_t> raw(static_cast<std::size_t>(channels) * static_cast<std::size_t>(length));
  long long peak = 0;
  if (!readInterleaved(in, dataStart, fileChannels, width, length, [&](int k, const unsigned char* row) {
        for (int c = 0; c < channels; ++c) {
          const std::int32_t v = wide ? getI32(row + 4 * c) : getI16(row + 2 * c);
          raw[static_cast<std::size_t>(k) * static_cast<std::size_t>(channels) + static_cast<std::size_t>(c)] = v;
          peak = std::max(peak, std::llabs(static_cast<long long>(v)));
        }
      })) {
    reason = "ошибка чтения отсчётов";
    return false;
  }
  // Each value v is the code v + 2048. 4-byte values are first divided by the
  // smallest power of two that brings them into the code range, and the
  // calibration says so, so that every channel keeps the units of a 2-byte file.
  int shift = 0;
  while (wide && (peak >> shift) > 32767 - 2048) ++shift;
  long long clipped = 0;
  for (int c = 0; c < channels; ++c) {
    auto& ch = out.codes[static_cast<std::size_t>(c)];
    for (int k = 0; k < length; ++k) {
      const long long v =
          (static_cast<long long>(raw[static_cast<std::size_t>(k) * static_cast<std::size_t>(channels) +
                                      static_cast<std::size_t>(c)]) >>
           shift) +
          2048;
      if (v > 32767 || v < -32768) ++clipped;
      ch[static_cast<std::size_t>(k)] = sampleCode(static_cast<std::int16_t>(std::clamp<long long>(v, -32768, 32767)));
    }
  }
  if (shift > 0) {
    const double ratio = std::ldexp(1000.0, shift) / 2047.0;  // units of a 2-byte file per code
    const double units = std::max(1.0, std::floor(65535.0 / ratio));
    std::fill(out.calibUnits.begin(), out.calibUnits.end(), static_cast<std::uint16_t>(units));
    std::fill(out.calibValue.begin(), out.calibValue.end(),
              static_cast<std::uint16_t>(std::min(65535.0, std::round(ratio * units))));
    out.notices.push_back("Отсчёты файла 4-байтовые: они уменьшены в " + integerText(1LL << shift) +
                          " раз, калибровка каналов пересчитана.");
  }
  // The electrode record calibrates its channel: microvolts per stored unit
  // are sensitivity × calibration / 204.8, counted from the baseline. A
  // fixed 1000 µV per 2047 units would show most recordings several times
  // too large. Records without a usable calibration keep the fixed one.
  for (int c = 0; c < channels; ++c) {
    const unsigned char* e = labels.data() + static_cast<std::size_t>(kNeuroScanElectrodeBytes) * c;
    const double perUnit = static_cast<double>(getF32(e + 59)) * static_cast<double>(getF32(e + 71)) / 204.8;
    const long long zero = 2048 + (static_cast<long long>(getI16(e + 47)) >> shift);
    int units = 0, value = 0;
    if (zero < 0 || zero > 65535 || !closestFraction(std::ldexp(perUnit, shift), units, value)) continue;
    out.zeroLevel[static_cast<std::size_t>(c)] = static_cast<std::uint16_t>(zero);
    out.calibUnits[static_cast<std::size_t>(c)] = static_cast<std::uint16_t>(units);
    out.calibValue[static_cast<std::size_t>(c)] = static_cast<std::uint16_t>(value);
  }
  if (clipped > 0)
    out.notices.push_back("Значения " + integerText(clipped) + " отсчётов вне диапазона кодов ограничены.");
  out.epochRule = ForeignEpochRule::Fixed512;
  return true;
}

bool readNeuroScan(StudyState& s, const std::string& path, Interaction& ui) {
  if (s.viewMode == ViewMode::Transform) return false;
  const std::string name = baseName(path);
  FileSource in(path);
  if (!in.ok()) {
    ui.message("Файл " + name + " не открывается.");
    return false;
  }
  ForeignRecord r;
  std::string reason;
  const bool decoded = decodeNeuroScan(in, r, reason);
  return takeDecodedRecord(s, decoded, r, reason, name, ui);
}

int foreignReaderFor(const std::string& path) {
  const std::string ext = extensionLower(path);
  if (ext == ".eeg") return 1;
  if (ext == ".ee") return 2;
  if (ext == ".cnt") return 3;
  return 0;
}

bool openForeignRecord(StudyState& s, const std::string& path, Interaction& ui) {
  if (s.viewMode == ViewMode::Transform) s.leaveTransformView();
  switch (foreignReaderFor(path)) {
    case 1: return readBrainSys(s, path, true, ui);
    case 2: return readBrainSys(s, path, false, ui);
    case 3: return readNeuroScan(s, path, ui);
    default: return readTextRecord(s, path, ui);
  }
}

}  // namespace velor
