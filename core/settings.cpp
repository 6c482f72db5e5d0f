#include "core/settings.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "core/binio.h"
#include "core/numtext.h"
#include "core/text.h"

namespace velor {

namespace {

constexpr std::size_t kTextFileLimit = 1u << 20;

// --- channel settings layout ---------------------------------------------------
constexpr int kReservedBytes = 2;
constexpr int kDataDirBytes = 54;
constexpr int kDataDirUsed = 53;
constexpr int kNameBytes = 4;
constexpr int kFileBandRows = 16;
constexpr int kBandCellBytes = 10;
constexpr int kBandTableBytes = kFileBandRows * 3 * kBandCellBytes;  // 480
constexpr long long kSlotThreshold = 810;  // above: 64 slotCount

struct CaiLayout {
  int slotCount;
  int names;      // offset of the names
  int pairCount;  // leadPairCount
  int epochs;     // epochLength, epochStep, epochCount
  int slotBytes;  // 4 bytes per slot
  int bandCount;
  int bands;
  int flags;  // displayFlags
  int size;   // bytes the layout needs
};

constexpr CaiLayout caiLayout(int slotCount) {
  CaiLayout l{};
  l.slotCount = slotCount;
  l.names = kReservedBytes + kDataDirBytes;
  l.pairCount = l.names + kNameBytes * slotCount;
  l.epochs = l.pairCount + 1;
  l.slotBytes = l.epochs + 6;
  l.bandCount = l.slotBytes + 4 * slotCount;
  l.bands = l.bandCount + 1;
  l.flags = l.bands + kBandTableBytes;
  l.size = l.flags + 2;
  return l;
}
static_assert(caiLayout(64).size == 1058 && caiLayout(64).bandCount == 575 && caiLayout(64).epochs == 313);
static_assert(caiLayout(32).size == 802);

std::string lowerAscii(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

bool isMainChannelFile(const std::string& path) { return lowerAscii(baseName(path)) == kChannelSettingsFile; }

std::string joinPath(const std::string& dir, const char* name) {
  if (dir.empty()) return name;
  if (dir.back() == '/' || dir.back() == '\\') return dir + name;
  return dir + "/" + name;
}

// A space-padded single-byte text field as UTF-8: ends at a code 0, trimmed.
std::string fieldText(const unsigned char* p, std::size_t n) {
  std::string_view raw(reinterpret_cast<const char*>(p), n);
  const auto nul = raw.find('\0');
  if (nul != std::string_view::npos) raw = raw.substr(0, nul);
  return trimSpaces(cp1251ToUtf8(raw));
}

std::string currentDirectoryWithSlash() {
  std::error_code ec;
  std::string d = std::filesystem::current_path(ec).string();
  if (d.empty() || d.back() != '/') d += '/';
  return d;
}

// Whether the directory could be changed to: it exists and may be entered.
bool enterableDirectory(const std::string& dir) {
  std::error_code ec;
  return !dir.empty() && std::filesystem::is_directory(dir, ec) && ::access(dir.c_str(), X_OK) == 0;
}

std::string checkedDataDir(std::string dir) {
  while (dir.size() > 1 && (dir.back() == '/' || dir.back() == '\\')) dir.pop_back();
  if (!enterableDirectory(dir)) return currentDirectoryWithSlash();
  if (dir.back() != '/') dir += '/';
  return dir;
}

// The first `want` bytes of a file and its size; false when it cannot be opened.
bool readHead(const std::string& path, std::size_t want, std::string& head, long long& size, bool& exists) {
  exists = false;
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  exists = true;
  size = fdSize(fd);
  bool ok = size >= 0;
  if (ok) {
    head.resize(static_cast<std::size_t>(std::min<long long>(size, static_cast<long long>(want))));
    ok = fdReadExact(fd, head.data(), head.size());
  }
  ::close(fd);
  return ok;
}

// The two reserved bytes at the start of a file; zeros for what is not there.
std::string reservedBytesOf(const std::string& path) {
  std::string head(kReservedBytes, '\0');
  std::string got;
  long long size = 0;
  bool exists = false;
  if (readHead(path, kReservedBytes, got, size, exists)) head.replace(0, got.size(), got);
  return head;
}

// --- main settings ------------------------------------------------------------

std::string oneLine(std::string s) {
  for (char& c : s)
    if (c == '\r' || c == '\n') c = ' ';
  return s;
}

class MainSettingsReader {
 public:
  MainSettingsReader(const std::vector<std::string>& lines, std::string name) : lines_(lines), name_(std::move(name)) {}

  // Line i, or nothing (with the failure recorded) when the file is short.
  const std::string* line(int i) {
    if (i < static_cast<int>(lines_.size())) return &lines_[static_cast<std::size_t>(i)];
    failure = "в файле " + name_ + " нет строки " + std::to_string(i);
    return nullptr;
  }
  // A whole number of line i within [lo, hi].
  bool number(int i, int lo, int hi, int& out) {
    const std::string* t = line(i);
    if (!t) return false;
    const auto v = parseInteger(*t);
    if (!v) {
      failure = "строка " + std::to_string(i) + " файла " + name_ + " («" + *t + "») не является числом";
      return false;
    }
    if (*v < lo || *v > hi) {
      failure = "строка " + std::to_string(i) + " файла " + name_ + ": недопустимое значение " + std::to_string(*v);
      return false;
    }
    out = *v;
    return true;
  }

  std::string failure;

 private:
  const std::vector<std::string>& lines_;
  std::string name_;
};

bool isOne(const std::string& s) { return trimSpaces(s) == "1"; }

}  // namespace

// --- text lines ------------------------------------------------------------------

std::optional<std::vector<std::string>> readTextLines(const std::string& path) {
  std::string raw;
  if (!readWholeFile(path, raw, kTextFileLimit)) return std::nullopt;
  std::vector<std::string> lines;
  std::string cur;
  for (std::size_t i = 0; i < raw.size(); ++i) {
    const char c = raw[i];
    if (c == '\r' || c == '\n') {
      if (c == '\r' && i + 1 < raw.size() && raw[i + 1] == '\n') ++i;
      lines.push_back(cp1251ToUtf8(cur));
      cur.clear();
    } else {
      cur += c;
    }
  }
  if (!cur.empty()) lines.push_back(cp1251ToUtf8(cur));
  return lines;
}

bool writeTextLines(const std::string& path, const std::vector<std::string>& lines) {
  std::string out;
  for (const auto& l : lines) {
    out += utf8ToCp1251(oneLine(l));
    out += "\r\n";
  }
  return writeFileAtomically(path, out);
}

// --- "Vlr.ini" -------------------------------------------------------------------

std::optional<std::string> readMainSettings(const std::string& path, StudyState& s, WindowSettings& w) {
  const std::string name = baseName(path);
  const auto lines = readTextLines(path);
  if (!lines) return "файл " + name + " не прочитан";
  MainSettingsReader r(*lines, name);
  const std::string* t = nullptr;
  int v = 0;

  // Window placement and what the monitor needs before it is created.
  if (!r.number(11, -32768, 32767, v)) return r.failure;
  w.left = v;
  if (!r.number(12, -32768, 32767, v)) return r.failure;
  w.top = v;
  if (!r.number(13, 1, 32767, v)) return r.failure;
  w.width = v;
  if (!r.number(14, 1, 32767, v)) return r.failure;
  w.height = v;
  if (!r.number(15, 0, 65535, v)) return r.failure;
  s.displayFlags = v;
  if (!(t = r.line(16))) return r.failure;
  s.scoreboardVisible = isOne(*t);
  if (!r.number(19, 1, 4, v)) return r.failure;
  s.monitorPlacement = v;
  if (!r.number(20, -32768, 32767, v)) return r.failure;
  s.deviceKind = v;

  // Then the fonts, texts and modes.
  if (!(t = r.line(1))) return r.failure;
  if (const std::string fontName = trimSpaces(*t); !fontName.empty()) s.textFont.name = fontName;
  if (!r.number(2, 1, 1000, v)) return r.failure;
  s.textFont.size = v;
  if (!(t = r.line(3))) return r.failure;
  s.textFont.bold = isOne(*t);
  if (!(t = r.line(4))) return r.failure;
  w.macroSwitch = isOne(*t);
  if (!(t = r.line(5))) return r.failure;
  if (const std::string fontName = trimSpaces(*t); !fontName.empty()) s.monitorFont.name = fontName;
  if (!r.number(6, 1, 1000, v)) return r.failure;
  s.monitorFont.size = v;
  if (!(t = r.line(7))) return r.failure;
  s.institutionName = utf8Substr(*t, 0, 40);
  if (!(t = r.line(8))) return r.failure;
  s.departmentName = utf8Substr(*t, 0, 40);
  if (!(t = r.line(9))) return r.failure;
  s.scoreboardVisible = isOne(*t);  // line 9 decides over line 16
  if (!r.number(10, 0, 2, v)) return r.failure;
  s.groupMode = v;
  return std::nullopt;
}

bool writeMainSettings(const std::string& path, const StudyState& s, const WindowSettings& w) {
  std::vector<std::string> lines;
  if (const auto old = readTextLines(path)) {
    lines = *old;
  } else if (std::error_code ec; !std::filesystem::exists(path, ec) && !ec) {
    lines.assign(kMainSettingsLines, std::string());  // fresh installation
  } else {
    return false;  // there but unreadable: leave it alone
  }
  if (static_cast<int>(lines.size()) != kMainSettingsLines) return false;

  const auto num = [](int v) { return std::to_string(v); };
  lines[1] = s.textFont.name;
  lines[2] = num(s.textFont.size);
  lines[3] = s.textFont.bold ? "1" : "0";
  lines[4] = "0";
  lines[5] = s.monitorFont.name;
  lines[6] = num(s.monitorFont.size);
  lines[7] = utf8Substr(s.institutionName, 0, 40);
  lines[8] = utf8Substr(s.departmentName, 0, 40);
  lines[9] = s.scoreboardVisible ? "1" : "";
  lines[10] = num(s.groupMode);
  lines[11] = num(w.left);
  lines[12] = num(w.top);
  lines[13] = num(w.width);
  lines[14] = num(w.height);
  lines[15] = num(s.displayFlags);
  lines[16] = s.scoreboardVisible ? "1" : "0";
  lines[17] = "0";
  lines[18] = "0";
  lines[19] = num(s.monitorPlacement);
  lines[20] = num(s.deviceKind);
  return writeTextLines(path, lines);
}

// --- "cai.ini" / ".cai" ------------------------------------------------------------

bool readChannelSettings(const std::string& path, StudyState& s, Interaction& ui) {
  const std::string name = baseName(path);
  std::string data;
  long long size = 0;
  bool exists = false;
  if (!readHead(path, static_cast<std::size_t>(caiLayout(64).size), data, size, exists)) {
    if (exists) ui.message(std::string(kInterruptPrefix) + "файл " + name + " не прочитан");
    return false;
  }
  const CaiLayout l = caiLayout(size > kSlotThreshold ? 64 : 32);
  if (static_cast<long long>(data.size()) < l.size) {
    ui.message(std::string(kInterruptPrefix) + "файл " + name + " короче своего формата (" + std::to_string(size) +
               " байт вместо " + std::to_string(l.size) + ")");
    return false;
  }
  const auto* p = reinterpret_cast<const unsigned char*>(data.data());

  // The reserved bytes carry nothing the state keeps: a rewrite of "cai.ini"
  // takes them from the file itself, a new file from programDir's "cai.ini".
  s.dataDir = checkedDataDir(fieldText(p + kReservedBytes, kDataDirUsed));

  for (int i = 0; i < l.slotCount; ++i) {
    std::string n = cp1251ToUtf8(std::string_view(reinterpret_cast<const char*>(p + l.names + kNameBytes * i), 3));
    if (const auto nul = n.find('\0'); nul != std::string::npos) n.resize(nul);
    while (!n.empty() && n.back() == ' ') n.pop_back();
    s.channelNames[static_cast<std::size_t>(i)] = n;
  }
  s.leadPairCount = std::min<int>(p[l.pairCount], std::min(l.slotCount, kMaxLeadPairs));
  s.epochLength = std::min<int>(getU16(p + l.epochs), kMaxSamples);
  s.epochStep = std::min<int>(getU16(p + l.epochs + 2), kMaxSamples);
  s.epochCount = getU16(p + l.epochs + 4);
  if (s.epochLength == 0 || s.epochStep == 0) s.epochLength = s.epochStep = 256;

  for (int i = 0; i < l.slotCount; ++i) {
    const unsigned char* q = p + l.slotBytes + 4 * i;
    s.channelPosX[static_cast<std::size_t>(i)] = q[0];
    s.channelPosY[static_cast<std::size_t>(i)] = q[1];
    s.leadPairs[static_cast<std::size_t>(i)] = {q[2], q[3]};
  }
  s.bandCount = std::min<int>(p[l.bandCount], kBandRows);
  if (s.currentBand < 0 || s.currentBand >= std::max(1, s.bandCount)) s.currentBand = 0;
  for (int r = 0; r < kFileBandRows; ++r) {
    const unsigned char* row = p + l.bands + r * 3 * kBandCellBytes;
    BandRow& b = s.bandTable[static_cast<std::size_t>(r)];
    b.name = fieldText(row, kBandCellBytes);
    b.low = fieldText(row + kBandCellBytes, kBandCellBytes);
    b.high = fieldText(row + 2 * kBandCellBytes, kBandCellBytes);
  }
  s.displayFlags = getU16(p + l.flags);
  return true;
}

bool writeChannelSettings(const std::string& path, const StudyState& s) {
  const std::string reserved =
      reservedBytesOf(isMainChannelFile(path) ? path : joinPath(s.programDir, kChannelSettingsFile));
  const CaiLayout l = caiLayout(64);
  ByteWriter out;
  out.bytes(reserved);
  std::string dir = utf8ToCp1251(s.dataDir);
  if (dir.size() > static_cast<std::size_t>(kDataDirUsed)) dir.clear();
  out.text(dir, kDataDirBytes);
  for (int i = 0; i < l.slotCount; ++i) out.text(utf8ToCp1251(s.channelNames[static_cast<std::size_t>(i)]), kNameBytes);
  out.u8(static_cast<unsigned>(std::clamp(s.leadPairCount, 0, 255)));
  out.u16(static_cast<unsigned>(std::clamp(s.epochLength, 0, 65535)));
  out.u16(static_cast<unsigned>(std::clamp(s.epochStep, 0, 65535)));
  out.u16(static_cast<unsigned>(std::clamp(s.epochCount, 0, 65535)));
  for (int i = 0; i < l.slotCount; ++i) {
    const auto k = static_cast<std::size_t>(i);
    out.u8(s.channelPosX[k]);
    out.u8(s.channelPosY[k]);
    out.u8(s.leadPairs[k][0]);
    out.u8(s.leadPairs[k][1]);
  }
  out.u8(static_cast<unsigned>(std::clamp(s.bandCount, 0, 255)));
  for (int r = 0; r < kFileBandRows; ++r) {
    const BandRow& b = s.bandTable[static_cast<std::size_t>(r)];
    for (const std::string* cell : {&b.name, &b.low, &b.high}) out.text(utf8ToCp1251(*cell), kBandCellBytes);
  }
  out.u16(static_cast<unsigned>(s.displayFlags) & 0xFFFF);
  if (static_cast<int>(out.size()) != l.size) return false;
  return writeFileAtomically(path, out.data());
}

// --- examination header -----------------------------------------------------------

int headerFieldCount(bool) { return kHeaderFieldCount; }

HeaderFieldSpan headerFieldSpan(bool groupLayout, int field) {
  if (field < 1 || field > kHeaderFieldCount) return {0, 0};
  if (groupLayout) {
    if (field <= 6) return {1 + 20 * (field - 1), 20};
    return {121, 40};
  }
  static constexpr HeaderFieldSpan kStandard[kHeaderFieldCount] = {{1, 30},   {31, 30}, {61, 30}, {91, 8},
                                                                   {99, 10}, {109, 1}, {110, 30}};
  return kStandard[field - 1];
}

std::string fitHeader(const std::string& header) { return utf8Fit(header, kHeaderChars); }

std::string headerField(const std::string& header, bool groupLayout, int field) {
  const HeaderFieldSpan span = headerFieldSpan(groupLayout, field);
  if (span.width <= 0) return {};
  std::string t = utf8Substr(header, static_cast<std::size_t>(span.first - 1), static_cast<std::size_t>(span.width));
  if (!groupLayout && field == 3) {
    if (const auto nul = t.find('\0'); nul != std::string::npos) t.resize(nul);
  }
  return trimSpaces(t);
}

std::string headerField(const StudyState& s, int field) { return headerField(s.examHeader, s.groupMode != 0, field); }

void setHeaderField(std::string& header, bool groupLayout, int field, const std::string& value) {
  const HeaderFieldSpan span = headerFieldSpan(groupLayout, field);
  if (span.width <= 0) return;
  std::string v = value;
  for (char& c : v)
    if (static_cast<unsigned char>(c) < 0x20) c = ' ';
  header = fitHeader(header);
  utf8PutField(header, static_cast<std::size_t>(span.first - 1), static_cast<std::size_t>(span.width), v);
}

// --- header dialog history --------------------------------------------------------

HeaderHistory defaultHeaderHistory() {
  HeaderHistory h;
  const std::vector<std::string> seeds[4] = {
      {"Фон", "Открывание глаз", "Фотостимуляция", "Гипервентиляция", "Проба с нагрузкой"},
      {"Норма", "Контроль", "Амбулаторные", "Стационар"},
      {"Без патологии", "Эпилепсия", "Последствия ЧМТ", "Цереброваскулярная болезнь"},
      {"Иванов И.И.", "Петров П.П.", "Сидорова А.А."},
  };
  for (int k = 0; k < 4; ++k) {
    h.lists[static_cast<std::size_t>(k)] = seeds[k];
    h.lists[static_cast<std::size_t>(k)].resize(kHistoryItems);
  }
  h.groupTests = {"Фон", "Нагрузка", "Восстановление"};
  h.groupTests.resize(kGroupTestItems);
  h.groupPatients = {"Пациент 1", "Пациент 2", "Пациент 3", "Пациент 4", "Пациент 5", "Пациент 6"};
  return h;
}

bool readHeaderHistory(const std::string& dir, HeaderHistory& h) {
  bool complete = true;
  if (const auto q = readTextLines(joinPath(dir, "qhead.ini"))) {
    for (auto& list : h.lists) list.resize(kHistoryItems);
    h.groupTests.resize(kGroupTestItems);
    const int n = std::min<int>(static_cast<int>(q->size()), kQheadLines);
    for (int i = 0; i < n; ++i) {
      const std::string& line = (*q)[static_cast<std::size_t>(i)];
      if (i < 4 * kHistoryItems)
        h.lists[static_cast<std::size_t>(i % 4)][static_cast<std::size_t>(i / 4)] = line;
      else
        h.groupTests[static_cast<std::size_t>(i - 4 * kHistoryItems)] = line;
    }
    complete = n == kQheadLines;
  } else {
    complete = false;
  }
  if (const auto p = readTextLines(joinPath(dir, "head-sp.ini"))) {
    h.groupPatients.assign(p->begin(), p->begin() + std::min<std::ptrdiff_t>(static_cast<std::ptrdiff_t>(p->size()),
                                                                              kGroupPatientItems));
  } else {
    complete = false;
  }
  return complete;
}

bool writeHeaderHistory(const std::string& dir, const HeaderHistory& h) {
  std::vector<std::string> q(static_cast<std::size_t>(kQheadLines));
  for (int i = 0; i < kHistoryItems; ++i)
    for (int k = 0; k < 4; ++k) {
      const auto& list = h.lists[static_cast<std::size_t>(k)];
      if (i < static_cast<int>(list.size())) q[static_cast<std::size_t>(4 * i + k)] = list[static_cast<std::size_t>(i)];
    }
  for (int i = 0; i < kGroupTestItems && i < static_cast<int>(h.groupTests.size()); ++i)
    q[static_cast<std::size_t>(4 * kHistoryItems + i)] = h.groupTests[static_cast<std::size_t>(i)];
  std::vector<std::string> p(h.groupPatients.begin(),
                             h.groupPatients.begin() +
                                 std::min<std::ptrdiff_t>(static_cast<std::ptrdiff_t>(h.groupPatients.size()),
                                                          kGroupPatientItems));
  const bool a = writeTextLines(joinPath(dir, "qhead.ini"), q);
  const bool b = writeTextLines(joinPath(dir, "head-sp.ini"), p);
  return a && b;
}

}  // namespace velor
