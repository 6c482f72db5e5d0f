#include "interchange/file_browser.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>

#include "core/binio.h"
#include "core/numtext.h"
#include "core/record_file.h"
#include "core/settings.h"
#include "core/text.h"
#include "interchange/edf.h"

namespace velor {

namespace fs = std::filesystem;

namespace {

std::string lowerAscii(std::string_view s) {
  std::string r(s);
  for (char& c : r)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return r;
}

std::string withSlash(std::string dir) {
  if (dir.empty() || dir.back() != '/') dir += '/';
  return dir;
}

// Control characters would break the one-value-per-line files and the
// one-line fields of the window; they read as blanks.
std::string blankControls(std::string s) {
  for (char& c : s) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7F) c = ' ';
  }
  return s;
}

bool hasControls(std::string_view s) {
  return std::any_of(s.begin(), s.end(), [](char c) {
    const auto u = static_cast<unsigned char>(c);
    return u < 0x20 || u == 0x7F;
  });
}

std::vector<std::string> splitLines(const std::string& data) {
  std::vector<std::string> lines;
  std::string cur;
  for (char c : data) {
    if (c == '\n') {
      if (!cur.empty() && cur.back() == '\r') cur.pop_back();
      lines.push_back(std::move(cur));
      cur.clear();
    } else {
      cur += c;
    }
  }
  if (!cur.empty()) {
    if (cur.back() == '\r') cur.pop_back();
    lines.push_back(std::move(cur));
  }
  return lines;
}

std::string joinLines(const std::vector<std::string>& lines) {
  std::string out;
  for (const auto& l : lines) {
    out += l;
    out += "\r\n";
  }
  return out;
}

// Right-aligned decimal number in a column of `width` characters.
std::string numberColumn(int v, int width) {
  std::string t = std::to_string(v);
  if (static_cast<int>(t.size()) < width) t.insert(0, static_cast<std::size_t>(width) - t.size(), ' ');
  return t;
}

// Bytes [first, first + width) of a code page 1251 line (1-based first
// column), blank where the line is shorter.
std::string columns(const std::string& line, int first, int width) {
  std::string r;
  const std::size_t start = static_cast<std::size_t>(first - 1);
  if (start < line.size()) r = line.substr(start, static_cast<std::size_t>(width));
  r.resize(static_cast<std::size_t>(width), ' ');
  return r;
}

std::string fitBytes(std::string s, int width) {
  s.resize(static_cast<std::size_t>(width), ' ');
  return s;
}

std::optional<int> columnNumber(const std::string& line, int first, int width) {
  const std::string t = trimSpaces(columns(line, first, width));
  if (t.empty()) return std::nullopt;
  for (char c : t)
    if (c < '0' || c > '9') return std::nullopt;
  return std::atoi(t.c_str());
}

// Ascending order of the first 4 characters of a shown value, taken as a
// big-endian number of their code page 1251 codes.
std::uint32_t leadingKey(const std::string& utf8) {
  const std::string b = utf8ToCp1251(utf8);
  std::uint32_t k = 0;
  for (std::size_t i = 0; i < 4; ++i)
    k = (k << 8) | (i < b.size() ? static_cast<unsigned char>(b[i]) : 0u);
  return k;
}

// Reads at most `limit` bytes of a small file; false when it cannot be read
// or is larger (a card index or settings file of that size is not ours).
bool readSmallFile(const std::string& path, std::string& out, std::size_t limit) {
  return readWholeFile(path, out, limit);
}

std::string stemOf(const std::string& name) {
  const auto dot = name.rfind('.');
  if (dot == std::string::npos || dot == 0) return name;
  return name.substr(0, dot);
}

bool endsWithCad(const std::string& name) {
  return name.size() > 4 && lowerAscii(name.substr(name.size() - 4)) == ".cad";
}

}  // namespace

// --- filters -----------------------------------------------------------------------

std::vector<FilterItem> parseFilter(std::string_view filter) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  for (;;) {
    const auto bar = filter.find('|', start);
    parts.emplace_back(filter.substr(start, bar == std::string_view::npos ? std::string_view::npos : bar - start));
    if (bar == std::string_view::npos) break;
    start = bar + 1;
  }
  std::vector<FilterItem> items;
  for (std::size_t i = 0; i < parts.size(); i += 2) {
    FilterItem item;
    item.caption = parts[i];
    const std::string maskText = i + 1 < parts.size() ? parts[i + 1] : std::string();
    std::size_t p = 0;
    for (;;) {
      const auto semi = maskText.find(';', p);
      std::string m = trimSpaces(maskText.substr(p, semi == std::string::npos ? std::string::npos : semi - p));
      if (!m.empty()) item.masks.push_back(m);
      if (semi == std::string::npos) break;
      p = semi + 1;
    }
    if (trimSpaces(item.caption).empty() && item.masks.empty()) continue;
    if (item.masks.empty()) item.masks.push_back("*.*");
    items.push_back(std::move(item));
  }
  return items;
}

bool isRecordFilter(std::string_view filter) { return filter.find("cad") != std::string_view::npos; }

bool maskMatches(std::string_view mask, std::string_view name) {
  // Iterative wildcard match with one backtrack point for the last '*'.
  std::size_t m = 0, n = 0, starM = std::string_view::npos, starN = 0;
  auto low = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
  while (n < name.size()) {
    if (m < mask.size() && (mask[m] == '?' || low(mask[m]) == low(name[n]))) {
      ++m;
      ++n;
    } else if (m < mask.size() && mask[m] == '*') {
      starM = m++;
      starN = n;
    } else if (starM != std::string_view::npos) {
      m = starM + 1;
      n = ++starN;
    } else {
      return false;
    }
  }
  while (m < mask.size() && mask[m] == '*') ++m;
  // "*.*" also takes names without a dot, as the file dialogs always have.
  if (m == mask.size()) return true;
  return mask.substr(m) == ".*";
}

std::string maskExtension(std::string_view mask) {
  if (mask.size() < 3 || mask[0] != '*' || mask[1] != '.') return {};
  const std::string_view ext = mask.substr(1);
  if (ext.find_first_of("*?") != std::string_view::npos) return {};
  return std::string(ext);
}

// --- directory listing ---------------------------------------------------------------

std::vector<DirEntry> listFiles(const std::string& dir, const std::vector<std::string>& masks) {
  std::vector<DirEntry> out;
  const bool keepExtension = std::any_of(masks.begin(), masks.end(), [](const std::string& m) { return m == "*.*"; });
  std::error_code ec;
  fs::directory_iterator it(dir.empty() ? std::string(".") : dir, fs::directory_options::skip_permission_denied, ec);
  if (ec) return out;
  for (const fs::directory_iterator end; it != end; it.increment(ec)) {
    if (ec) break;
    std::error_code e2;
    if (!it->is_regular_file(e2)) continue;
    const std::string name = it->path().filename().string();
    if (!std::any_of(masks.begin(), masks.end(), [&](const std::string& m) { return maskMatches(m, name); }))
      continue;
    out.push_back({name, keepExtension ? name : stemOf(name)});
  }
  std::sort(out.begin(), out.end(), [](const DirEntry& a, const DirEntry& b) {
    const std::string la = lowerAscii(a.fileName), lb = lowerAscii(b.fileName);
    return la != lb ? la < lb : a.fileName < b.fileName;
  });
  return out;
}

std::string dayCountText(int days) {
  // 1 January 100 .. 31 December 9999, the span a four-digit year shows.
  if (days <= 0 || days > 2958465) return {};
  return dayMonthYearText(days);
}

std::string fileDateText(const std::string& dir, const std::string& fileName) {
  struct stat st {};
  if (::stat((dir + fileName).c_str(), &st) != 0) return {};
  std::tm tm{};
  const std::time_t t = st.st_mtime;
  if (!localtime_r(&t, &tm)) return fileName;
  char buf[64];
  std::snprintf(buf, sizeof buf, "  %02d.%02d.%04d %02d:%02d", tm.tm_mday, tm.tm_mon + 1, tm.tm_year + 1900,
                tm.tm_hour, tm.tm_min);
  return fileName + buf;
}

// --- drives ----------------------------------------------------------------------------

namespace {

// Mount table fields escape blanks and backslashes as octal (\040).
std::string unescapeMountField(std::string_view f) {
  std::string r;
  for (std::size_t i = 0; i < f.size(); ++i) {
    if (f[i] == '\\' && i + 3 < f.size()) {
      const char a = f[i + 1], b = f[i + 2], c = f[i + 3];
      if (a >= '0' && a <= '3' && b >= '0' && b <= '7' && c >= '0' && c <= '7') {
        r += static_cast<char>((a - '0') * 64 + (b - '0') * 8 + (c - '0'));
        i += 3;
        continue;
      }
    }
    r += f[i];
  }
  return r;
}

bool isPseudoFileSystem(const std::string& type) {
  static const char* const pseudo[] = {
      "proc",      "sysfs",      "devtmpfs",   "devpts",      "tmpfs",   "cgroup",   "cgroup2",
      "securityfs", "pstore",    "debugfs",    "tracefs",     "configfs", "fusectl", "mqueue",
      "hugetlbfs", "bpf",        "autofs",     "binfmt_misc", "rpc_pipefs", "nsfs",  "ramfs",
      "efivarfs",  "selinuxfs",  "squashfs",   "nfsd",        "overlay", "fuse.gvfsd-fuse", "fuse.portal",
      "fuse.lxcfs", "devfs",     "none"};
  for (const char* p : pseudo)
    if (type == p) return true;
  return false;
}

bool isSystemMountPoint(const std::string& mp) {
  static const char* const prefixes[] = {"/proc", "/sys", "/dev", "/run", "/snap", "/boot", "/var/lib", "/etc"};
  if (mp.rfind("/run/media/", 0) == 0) return false;
  for (const char* p : prefixes) {
    const std::size_t n = std::strlen(p);
    if (mp.compare(0, n, p) == 0 && (mp.size() == n || mp[n] == '/')) return true;
  }
  return false;
}

std::string lastComponent(const std::string& path) {
  std::string p = path;
  while (p.size() > 1 && p.back() == '/') p.pop_back();
  const auto slash = p.rfind('/');
  return slash == std::string::npos ? p : p.substr(slash + 1);
}

}  // namespace

std::vector<Drive> parseMountTable(std::string_view mounts) {
  std::vector<Drive> out;
  for (const std::string& line : splitLines(std::string(mounts))) {
    std::vector<std::string> f;
    std::size_t p = 0;
    while (p < line.size() && f.size() < 3) {
      while (p < line.size() && line[p] == ' ') ++p;
      const auto e = line.find(' ', p);
      if (p < line.size()) f.push_back(line.substr(p, e == std::string::npos ? std::string::npos : e - p));
      p = e == std::string::npos ? line.size() : e;
    }
    if (f.size() < 3) continue;
    const std::string mp = unescapeMountField(f[1]);
    const std::string& type = f[2];
    if (mp.empty() || mp[0] != '/' || mp == "/" || isPseudoFileSystem(type) || isSystemMountPoint(mp)) continue;
    Drive d;
    d.path = withSlash(mp);
    d.label = lastComponent(mp);
    static const char* const network[] = {"nfs", "nfs4", "cifs", "smb3", "smbfs", "fuse.sshfs", "9p", "afs", "ceph"};
    d.kind = Drive::Fixed;
    for (const char* n : network)
      if (type == n) d.kind = Drive::Network;
    if (d.kind == Drive::Fixed && (mp.rfind("/media/", 0) == 0 || mp.rfind("/run/media/", 0) == 0))
      d.kind = Drive::Removable;
    if (std::none_of(out.begin(), out.end(), [&](const Drive& o) { return o.path == d.path; })) out.push_back(d);
  }
  return out;
}

std::vector<Drive> listDrives() {
  std::vector<Drive> out;
  out.push_back({"/", "/", Drive::Root});
  std::string home;
  if (const char* h = std::getenv("HOME"); h && *h == '/') home = h;
  if (home.empty())
    if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir && pw->pw_dir[0] == '/') home = pw->pw_dir;
  if (!home.empty() && withSlash(home) != "/") out.push_back({"~", withSlash(home), Drive::Home});
  std::string table;
  if (readSmallFile("/proc/self/mounts", table, 1u << 20)) {
    for (Drive& d : parseMountTable(table)) {
      std::error_code ec;
      if (!fs::is_directory(d.path, ec)) continue;
      if (std::none_of(out.begin(), out.end(), [&](const Drive& o) { return o.path == d.path; }))
        out.push_back(std::move(d));
    }
  }
  return out;
}

int driveOf(const std::vector<Drive>& drives, const std::string& dir) {
  const std::string d = withSlash(dir);
  int best = -1;
  std::size_t bestLen = 0;
  for (std::size_t i = 0; i < drives.size(); ++i) {
    const std::string& p = drives[i].path;
    if (d.compare(0, p.size(), p) == 0 && (best < 0 || p.size() > bestLen)) {
      best = static_cast<int>(i);
      bestLen = p.size();
    }
  }
  return best;
}

// --- "fmn.ini" -----------------------------------------------------------------------------

FileWindowSettings readFileWindowSettings(const std::string& path) {
  FileWindowSettings f;
  std::string data;
  if (!readSmallFile(path, data, 256u << 10)) return f;
  std::vector<std::string> lines = splitLines(data);
  for (auto& l : lines) l = blankControls(cp1251ToUtf8(l));
  const auto n = lines.size();
  for (std::size_t i = 0; i < static_cast<std::size_t>(kSearchItems) && i < n; ++i) f.searchItems[i] = lines[i];
  if (n > 20) f.searchText = trimSpaces(lines[20]);
  auto number = [&](std::size_t i, int lo, int hi, int& into) {
    if (i >= n) return;
    const auto v = parseInteger(lines[i]);
    if (v && *v >= lo && *v <= hi) into = *v;
  };
  number(21, 0, 7, f.selectionField);
  if (n > 22)
    if (const auto v = parseInteger(lines[22])) f.cardMode = *v > 0 ? 1 : 0;
  number(23, 0, 1000, f.writeFilterItem);
  number(24, 0, 1000, f.readFilterItem);
  return f;
}

bool writeFileWindowSettings(const std::string& path, const FileWindowSettings& f) {
  std::vector<std::string> lines;
  for (const auto& item : f.searchItems) lines.push_back(utf8ToCp1251(blankControls(item)));
  lines.push_back(utf8ToCp1251(blankControls(f.searchText)));
  lines.push_back(std::to_string(f.selectionField));
  lines.push_back(std::to_string(f.cardMode > 0 ? 1 : 0));
  lines.push_back(std::to_string(f.writeFilterItem));
  lines.push_back(std::to_string(f.readFilterItem));
  return writeFileAtomically(path, joinLines(lines));
}

// --- examination header of a file --------------------------------------------------------

FileHeaderInfo readFileHeaderInfo(const std::string& path) {
  FileHeaderInfo info;
  if (edfSampleWidthFor(path) > 0) {
    // EDF, EDF32, UDF and BDF files: the header opening them would give
    std::string header;
    int days = 0;
    if (!edfFileExamHeader(path, header, days)) return info;
    info.ok = true;
    info.signature = "EDF";
    info.examHeader = utf8Fit(header, kHeaderChars);
    info.fileDate = days;
    return info;
  }
  RecordFileHeader h;
  std::string reason;
  if (!readRecordFileHeader(path, h, reason)) return info;
  info.ok = true;
  info.signature = h.signature;
  info.examHeader = utf8Fit(h.examHeader, kHeaderChars);
  info.fileDate = h.fileDate;
  info.channelCount = h.channelCount;
  return info;
}

std::string leadingComment(const std::string& path) {
  // Non-blocking: a pipe that took the place of a listed file must not hang the window.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return {};
  struct stat st {};
  std::string bytes;
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
    char buf[kHeaderChars];
    std::size_t got = 0;
    while (got < sizeof buf) {
      const ssize_t r = ::read(fd, buf + got, sizeof buf - got);
      if (r < 0 && errno == EINTR) continue;
      if (r <= 0) break;
      got += static_cast<std::size_t>(r);
    }
    bytes.assign(buf, got);
  }
  ::close(fd);
  return trimSpaces(cp1251ToUtf8(blankControls(bytes)));
}

std::vector<std::string> selectionCaptions(bool groupLayout) {
  if (groupLayout) return {"Нет", "ФИО.1", "ФИО.2", "ФИО.3", "ФИО.4", "ФИО.5", "ФИО.6", "Test"};
  return {"Нет", "Проба", "Группа", "ФИО", "Код", "Рожд", "Диагн", "Дата"};
}

std::string selectionValue(const FileHeaderInfo& h, bool groupLayout, int field) {
  if (!h.ok || field < 1 || field > 7) return {};
  if (groupLayout) return blankControls(headerField(h.examHeader, true, field));
  if (field == 7) return dayCountText(h.fileDate);
  return blankControls(headerField(h.examHeader, false, field == 6 ? 7 : field));
}

// --- card index ---------------------------------------------------------------------------------
//
// "base1.ctg", one line per record file (code page 1251, CR LF):
//   1-30 test (field 1), 31-60 diagnosis (field 7); group layout: 1-60 test (field 7)
//   61-72 file name without ".cad", 73-77 date number, 78-80 patient number (1-based)
//   81-  the whole file name, only when it is longer than 12 characters
// "base0.ctg", one line per patient, sorted by name:
//   1-79 header characters 31-109 (group layout: 31-60 the patient of the channel)
//   80-82 first line of the patient in "base1.ctg" (1-based), 83-85 record count
// The date number is the header's date of writing in days since 30 December 1899.

namespace {

constexpr std::size_t kCardFileBytes = 1u << 20;

std::string cardPath(const std::string& dir, const char* name) { return withSlash(dir) + name; }

struct CardLinePair {
  std::string base1;  // columns 1..77 (and the full name after column 80, added at the end)
  std::string base0;  // columns 1..79
  std::string key;    // the patient name, base0 columns 31..60
  std::string longName;
  int date = 0;
};

}  // namespace

std::vector<int> CardIndex::recordsOf(int p) const {
  std::vector<int> r;
  for (std::size_t i = 0; i < records.size(); ++i)
    if (records[i].patient == p + 1) r.push_back(static_cast<int>(i));
  return r;
}

CardStatus readCardStatus(const std::string& dir) {
  CardStatus st;
  std::string data;
  if (!readSmallFile(cardPath(dir, "ctg.ctg"), data, 4096)) return st;
  const auto lines = splitLines(data);
  st.present = true;
  st.stale = lines.empty() || trimSpaces(lines[0]) != "0";
  if (lines.size() > 1)
    if (const auto v = parseInteger(lines[1]); v && *v >= 0) st.fileCount = *v;
  return st;
}

bool writeCardStatus(const std::string& dir, bool stale, int fileCount) {
  return writeFileAtomically(cardPath(dir, "ctg.ctg"), joinLines({stale ? "1" : "0", std::to_string(fileCount)}));
}

bool cardIndexNeedsRebuild(const std::string& dir, int fileCount) {
  const CardStatus st = readCardStatus(dir);
  return !st.present || st.stale || st.fileCount != fileCount;
}

bool buildCardIndex(const std::string& dir, const std::vector<std::string>& fileNames, bool groupLayout,
                    Interaction& ui, CardIndex& out) {
  if (fileNames.size() < 2) return false;
  const std::size_t limit = groupLayout ? kCardGroupFileLimit : kCardFileLimit;
  bool warned = false;
  auto warn = [&] {
    if (warned) return;
    warned = true;
    ui.message(groupLayout ? "Файлов в архиве > 170!" : "Файлов в архиве > 850!");
  };
  if (fileNames.size() > limit) warn();

  std::vector<CardLinePair> lines;
  const std::size_t files = std::min(fileNames.size(), limit);
  for (std::size_t i = 0; i < files && lines.size() < kCardLineLimit; ++i) {
    const std::string& name = fileNames[i];
    const std::string stemUtf8 = endsWithCad(name) ? name.substr(0, name.size() - 4) : stemOf(name);
    const std::string stem = utf8ToCp1251(stemUtf8);
    // A name the code page cannot hold, or one with line breaks, could not
    // be found again from the index; such files stay out of it.
    if (stem.empty() || hasControls(stem) || cp1251ToUtf8(stem) != stemUtf8) continue;
    const FileHeaderInfo h = readFileHeaderInfo(withSlash(dir) + name);
    if (!h.ok || h.signature == "CA15") continue;
    const std::string header = utf8ToCp1251(h.examHeader);  // 162 bytes
    CardLinePair base;
    base.date = std::clamp(h.fileDate, 0, 99999);
    base.longName = stem.size() > 12 ? stem : std::string();
    const std::string tail = fitBytes(stem, 12) + numberColumn(base.date, 5);
    if (!groupLayout) {
      const std::string test = utf8ToCp1251(headerField(h.examHeader, false, 1));
      const std::string diagnosis = utf8ToCp1251(headerField(h.examHeader, false, 7));
      base.base1 = fitBytes(blankControls(test), 30) + fitBytes(blankControls(diagnosis), 30) + tail;
      std::string patient = columns(header, 31, 79);
      patient = patient.find('\0') != std::string::npos ? std::string(79, ' ') : blankControls(patient);
      base.base0 = patient;
      base.key = patient.substr(30, 30);
      lines.push_back(std::move(base));
    } else {
      const std::string test = utf8ToCp1251(headerField(h.examHeader, true, 7));
      base.base1 = fitBytes(blankControls(test), 60) + tail;
      const int channels = std::clamp(h.channelCount, 0, 6);
      for (int c = 1; c <= channels && lines.size() < kCardLineLimit; ++c) {
        const std::string patient = blankControls(utf8ToCp1251(headerField(h.examHeader, true, c)));
        if (trimSpaces(patient).empty()) continue;
        CardLinePair l = base;
        l.base0 = std::string(30, ' ') + fitBytes(patient, 30) + std::string(19, ' ');
        l.key = l.base0.substr(30, 30);
        lines.push_back(std::move(l));
      }
    }
    if (lines.size() >= kCardLineLimit && i + 1 < files) warn();
  }
  if (lines.empty()) return false;

  // Patients by name (the whole name, so that names sharing their first
  // letters are not split), each patient's records by date.
  std::stable_sort(lines.begin(), lines.end(), [](const CardLinePair& a, const CardLinePair& b) {
    return a.key < b.key;
  });
  std::vector<std::string> base0, base1;
  for (std::size_t first = 0; first < lines.size();) {
    std::size_t last = first;
    while (last < lines.size() && lines[last].key == lines[first].key) ++last;
    std::stable_sort(lines.begin() + static_cast<std::ptrdiff_t>(first), lines.begin() + static_cast<std::ptrdiff_t>(last),
                     [](const CardLinePair& a, const CardLinePair& b) { return a.date < b.date; });
    const int patient = static_cast<int>(base0.size()) + 1;
    const int count = static_cast<int>(last - first);
    for (std::size_t i = first; i < last; ++i) {
      std::string l = lines[i].base1 + numberColumn(patient, 3);
      if (!lines[i].longName.empty()) l += lines[i].longName;
      base1.push_back(std::move(l));
    }
    base0.push_back(lines[first].base0 + numberColumn(static_cast<int>(first) + 1, 3) + numberColumn(count, 3));
    first = last;
  }
  if (!writeFileAtomically(cardPath(dir, "base1.ctg"), joinLines(base1)) ||
      !writeFileAtomically(cardPath(dir, "base0.ctg"), joinLines(base0)))
    return false;
  return loadCardIndex(dir, groupLayout, out);
}

bool loadCardIndex(const std::string& dir, bool groupLayout, CardIndex& out) {
  std::string d0, d1;
  if (!readSmallFile(cardPath(dir, "base0.ctg"), d0, kCardFileBytes) ||
      !readSmallFile(cardPath(dir, "base1.ctg"), d1, kCardFileBytes))
    return false;
  CardIndex index;
  for (const std::string& raw : splitLines(d0)) {
    if (index.patients.size() >= static_cast<std::size_t>(kCardLineLimit)) break;
    if (trimSpaces(raw).empty()) continue;
    const std::string l = blankControls(raw);
    CardPatient p;
    p.group = trimSpaces(cp1251ToUtf8(columns(l, 1, 30)));
    p.name = trimSpaces(cp1251ToUtf8(columns(l, 31, 30)));
    p.birth = trimSpaces(cp1251ToUtf8(columns(l, 69, 10)));
    p.firstLine = columnNumber(l, 80, 3).value_or(0);
    p.recordCountText = trimSpaces(cp1251ToUtf8(columns(l, 83, 3)));
    index.patients.push_back(std::move(p));
  }
  for (const std::string& raw : splitLines(d1)) {
    if (index.records.size() >= static_cast<std::size_t>(kCardLineLimit)) break;
    if (trimSpaces(raw).empty()) continue;
    const std::string l = blankControls(raw);
    CardRecord r;
    if (groupLayout) {
      r.test = trimSpaces(cp1251ToUtf8(columns(l, 1, 60)));
    } else {
      r.test = trimSpaces(cp1251ToUtf8(columns(l, 1, 30)));
      r.diagnosis = trimSpaces(cp1251ToUtf8(columns(l, 31, 30)));
    }
    std::string name = l.size() > 80 ? l.substr(80) : columns(l, 61, 12);
    while (!name.empty() && name.back() == ' ') name.pop_back();
    r.fileName = cp1251ToUtf8(name);
    r.dateNumber = columnNumber(l, 73, 5).value_or(0);
    r.patient = columnNumber(l, 78, 3).value_or(0);
    // The name becomes a path in this directory: nothing that leaves it.
    if (r.fileName.empty() || r.fileName.find('/') != std::string::npos || r.fileName == "." || r.fileName == "..")
      continue;
    index.records.push_back(std::move(r));
  }
  out = std::move(index);
  return true;
}

// --- the window's state ---------------------------------------------------------------------------

FileBrowser::FileBrowser(StudyState& s, Interaction& ui) : s_(s), ui_(ui) {}

const char* FileBrowser::caption() const { return mode_ == 1 ? "Запись файла" : "Чтение файла"; }

std::string FileBrowser::mask() const {
  if (filterItem_ < 0 || filterItem_ >= static_cast<int>(filterItems_.size())) return "*.*";
  return filterItems_[static_cast<std::size_t>(filterItem_)].masks.front();
}

bool FileBrowser::cadMask() const { return lowerAscii(mask()) == "*.cad"; }

bool FileBrowser::headerMask() const {
  if (cadMask()) return true;
  const std::string m = lowerAscii(mask());
  return m.size() > 2 && m.compare(0, 2, "*.") == 0 && edfSampleWidthFor("x" + m.substr(1)) > 0;
}

void FileBrowser::ini(int mode, const std::string& filter, const std::string& defaultName) {
  mode_ = mode == 1 ? 1 : 0;
  filter_ = filter;
  recordKind_ = isRecordFilter(filter);
  filterItems_ = parseFilter(filter);
  filterItem_ = 0;
  s_.dialogResult = 0;
  deletedRecordFile_ = false;
  commentEdited = false;
  filePanel.clear();
  currentPatient_ = -1;
  patientRow_ = 0;
  card_ = CardIndex();

  // The window opens where the person left it last.
  std::string start = s_.dataDir.empty() ? s_.programDir : s_.dataDir;
  std::error_code ec;
  if (start.empty() || !fs::is_directory(start, ec)) start = s_.programDir;
  dir_ = withSlash(start);

  if (recordKind_ && remembered_) {
    searchPattern_ = rememberedPattern_;
    selectionField_ = rememberedField_;
  } else if (!recordKind_) {
    searchPattern_.clear();
  }

  if (mode_ == 1) {
    const std::string name = baseName(defaultName);
    nameField = name.substr(0, name.find('.'));
    comment = defaultName.empty() ? std::string() : trimSpaces(s_.examHeader);
  } else {
    nameField.clear();
    comment.clear();
  }

  settings_ = readFileWindowSettings(s_.programDir + "fmn.ini");
  if (recordKind_) {
    const int item = mode_ == 0 ? settings_.readFilterItem : settings_.writeFilterItem;
    if (item < static_cast<int>(filterItems_.size())) filterItem_ = item;
  }

  cardMode_ = settings_.cardMode > 0 ? kCardPatients : kCardOff;
  if (!fileExists(dir_ + "base0.ctg") || !cadMask()) cardMode_ = kCardOff;
  if (cardMode_ == kCardOff) {
    searchPattern_ = settings_.searchText;
    selectionField_ = settings_.selectionField;
  } else if (!switchCardOn()) {
    cardMode_ = kCardOff;
  }
  refresh();
}

void FileBrowser::setFilterItem(int item) {
  if (item < 0 || item >= static_cast<int>(filterItems_.size())) return;
  filterItem_ = item;
  if (!cadMask()) cardMode_ = kCardOff;
  refresh();
}

bool FileBrowser::setDirectory(const std::string& dir) {
  std::error_code ec;
  if (dir.empty() || !fs::is_directory(dir, ec)) return false;
  fs::directory_iterator probe(dir, ec);
  if (ec) return false;
  dir_ = withSlash(dir);
  currentPatient_ = -1;
  if (cardMode_ != kCardOff && !switchCardOn()) cardMode_ = kCardOff;
  refresh();
  return true;
}

void FileBrowser::setSelectionField(int field) {
  selectionField_ = std::clamp(field, 0, 7);
  refresh();
}

void FileBrowser::setSearch(const std::string& text, int item) {
  if (item >= 0 && item < kSearchItems) settings_.searchItems[static_cast<std::size_t>(item)] = blankControls(text);
  searchPattern_ = trimSpaces(blankControls(text));
  refresh();
}

int FileBrowser::countRecordFiles() const { return static_cast<int>(listFiles(dir_, {"*.cad"}).size()); }

bool FileBrowser::switchCardOn() {
  const auto files = listFiles(dir_, {"*.cad"});
  const int count = static_cast<int>(files.size());
  CardIndex loaded;
  if (cardIndexNeedsRebuild(dir_, count) || !loadCardIndex(dir_, groupLayout(), loaded)) {
    std::vector<std::string> names;
    for (const auto& f : files) names.push_back(f.fileName);
    if (!buildCardIndex(dir_, names, groupLayout(), ui_, loaded)) return false;
    writeCardStatus(dir_, false, count);
  }
  card_ = std::move(loaded);
  cardMode_ = kCardPatients;
  currentPatient_ = -1;
  return true;
}

void FileBrowser::toggleCardIndex() {
  if (cardMode_ != kCardOff || !cadMask()) {
    cardMode_ = kCardOff;
  } else if (!switchCardOn()) {
    cardMode_ = kCardOff;
  }
  refresh();
}

void FileBrowser::rebuildCardIndex() {
  if (!cadMask()) return;
  const auto files = listFiles(dir_, {"*.cad"});
  std::vector<std::string> names;
  for (const auto& f : files) names.push_back(f.fileName);
  CardIndex built;
  if (buildCardIndex(dir_, names, groupLayout(), ui_, built)) {
    writeCardStatus(dir_, false, static_cast<int>(files.size()));
    card_ = std::move(built);
    if (cardMode_ != kCardOff) cardMode_ = kCardPatients;
    currentPatient_ = -1;
  }
  refresh();
}

void FileBrowser::markCardStale() {
  // Only where an index exists: reading a directory leaves no files behind.
  if (fileExists(dir_ + "ctg.ctg") || fileExists(dir_ + "base0.ctg")) writeCardStatus(dir_, true, countRecordFiles());
}

void FileBrowser::refresh() {
  if (cardMode_ == kCardPatients) {
    listPatients();
  } else if (cardMode_ == kCardRecords) {
    listRecords(currentPatient_);
  } else {
    listPlain();
  }
}

void FileBrowser::listPlain() {
  rows_.clear();
  const bool headers = headerMask();
  const int field = headers ? selectionField_ : 0;
  const std::string search = headers ? searchPattern_ : std::string();
  const FilterItem all{"", {"*.*"}};
  const FilterItem& item = filterItem_ < static_cast<int>(filterItems_.size())
                               ? filterItems_[static_cast<std::size_t>(filterItem_)]
                               : all;
  struct Keyed {
    BrowserRow row;
    std::int64_t key;
  };
  std::vector<Keyed> keyed;
  for (const DirEntry& e : listFiles(dir_, item.masks)) {
    BrowserRow row;
    row.kind = BrowserRow::File;
    row.fileName = e.fileName;
    row.cells.push_back(e.shown);
    std::int64_t key = 0;
    if (field > 0 || !search.empty()) {
      const FileHeaderInfo h = readFileHeaderInfo(dir_ + e.fileName);
      if (!search.empty() && (!h.ok || trimSpaces(h.examHeader).find(search) == std::string::npos)) continue;
      if (field > 0) {
        row.cells.push_back(selectionValue(h, groupLayout(), field));
        // Dates sort by the day they name, not by the day of the month.
        key = (!groupLayout() && field == 7) ? (h.ok ? h.fileDate : 0) : leadingKey(row.cells.back());
      }
    }
    keyed.push_back({std::move(row), key});
  }
  if (field > 0)
    std::stable_sort(keyed.begin(), keyed.end(), [](const Keyed& a, const Keyed& b) { return a.key < b.key; });
  for (auto& k : keyed) rows_.push_back(std::move(k.row));
}

void FileBrowser::listPatients() {
  rows_.clear();
  for (std::size_t i = 0; i < card_.patients.size(); ++i) {
    const CardPatient& p = card_.patients[i];
    BrowserRow row;
    row.kind = BrowserRow::Patient;
    row.index = static_cast<int>(i);
    row.cells.push_back(p.name);
    if (groupLayout()) {
      row.cells.push_back(p.recordCountText + "-записей");
    } else {
      row.cells.push_back(p.recordCountText + "-" + p.birth);
      row.cells.push_back(p.group);
    }
    rows_.push_back(std::move(row));
  }
}

void FileBrowser::listRecords(int patient) {
  rows_.clear();
  BrowserRow up;
  up.kind = BrowserRow::Up;
  up.cells.push_back("..");
  rows_.push_back(up);
  for (int r : card_.recordsOf(patient)) {
    const CardRecord& rec = card_.records[static_cast<std::size_t>(r)];
    BrowserRow row;
    row.kind = BrowserRow::Record;
    row.index = r;
    row.fileName = rec.fileName + ".cad";
    row.cells = {rec.test, rec.diagnosis, dayCountText(rec.dateNumber) + "-" + rec.fileName};
    rows_.push_back(std::move(row));
  }
}

std::vector<std::string> FileBrowser::columnCaptions() const {
  const auto sel = selectionCaptions(groupLayout());
  if (cardMode_ == kCardPatients) {
    if (groupLayout()) return {sel[1], ""};
    return {"ФИО", "Рожд", "Группа"};
  }
  if (cardMode_ == kCardRecords) return {groupLayout() ? sel[7] : "Проба", groupLayout() ? "" : "Диагн", "Дата"};
  std::vector<std::string> c{"Файл"};
  if (headerMask() && selectionField_ > 0) c.push_back(sel[static_cast<std::size_t>(selectionField_)]);
  return c;
}

void FileBrowser::showHeaderOf(const std::string& fileName) {
  const std::string path = dir_ + fileName;
  if (endsWithCad(fileName)) {
    const FileHeaderInfo h = readFileHeaderInfo(path);
    std::string joined;
    if (h.ok) {
      const std::vector<int> fields = groupLayout() ? std::vector<int>{1, 2, 3, 4, 5, 6, 7} : std::vector<int>{1, 2, 3, 7};
      for (std::size_t i = 0; i < fields.size(); ++i) {
        if (i) joined += ' ';
        joined += headerField(h.examHeader, groupLayout(), fields[i]);
      }
    }
    comment = blankControls(joined);
  } else {
    comment = leadingComment(path);
  }
}

void FileBrowser::clickRow(int row) {
  if (row < 0 || row >= static_cast<int>(rows_.size())) return;
  const BrowserRow& r = rows_[static_cast<std::size_t>(row)];
  if (r.kind != BrowserRow::File && r.kind != BrowserRow::Record) return;
  filePanel = fileDateText(dir_, r.fileName);
  if (mode_ == 0) showHeaderOf(r.fileName);
}

bool FileBrowser::activateRow(int row) {
  if (row < 0 || row >= static_cast<int>(rows_.size())) return false;
  const BrowserRow r = rows_[static_cast<std::size_t>(row)];
  switch (r.kind) {
    case BrowserRow::Patient:
      currentPatient_ = r.index;
      patientRow_ = row;
      cardMode_ = kCardRecords;
      refresh();
      return false;
    case BrowserRow::Up:
      cardMode_ = kCardPatients;
      currentPatient_ = -1;
      refresh();
      return false;
    case BrowserRow::File:
    case BrowserRow::Record:
      break;
  }
  filePanel = fileDateText(dir_, r.fileName);
  if (mode_ == 0) {
    if (r.kind == BrowserRow::Record) showHeaderOf(r.fileName);
    return choosePath(dir_ + r.fileName);
  }
  // Write mode: the name goes into the name field; a name that itself holds
  // a dot keeps its extension, as none would be added to it on saving.
  const std::string shown = r.kind == BrowserRow::Record ? stemOf(r.fileName) : r.cells.front();
  nameField = shown.find('.') == std::string::npos ? shown : r.fileName;
  showHeaderOf(r.fileName);
  return false;
}

bool FileBrowser::accept(int selectedRow) {
  if (mode_ == 1) {
    const std::string name = trimSpaces(nameField);
    const bool onlyExtension = name.empty() || (name[0] == '.' && name.find('.', 1) == std::string::npos);
    if (onlyExtension) return chooseNothing();
    std::string path = dir_ + name;
    if (baseName(name).find('.') == std::string::npos) path += maskExtension(mask());
    return choosePath(path);
  }
  if (selectedRow < 0 || selectedRow >= static_cast<int>(rows_.size())) return chooseNothing();
  // On a patient or on ".." OK steps through the card index like Enter.
  return activateRow(selectedRow);
}

bool FileBrowser::chooseNothing() {
  ui_.message("!НЕ УКАЗАН ФАЙЛ!");
  s_.dialogResult = 0;
  return true;
}

bool FileBrowser::choosePath(const std::string& path) {
  s_.chosenFilePath = path;
  s_.dialogResult = 1;
  if (!endsWithCad(path) && commentEdited) s_.examHeader = utf8Fit(blankControls(comment), kHeaderChars);
  // A record file about to be written changes the archive the card index
  // describes.
  if (mode_ == 1 && cadMask()) markCardStale();
  return true;
}

bool FileBrowser::deleteRow(int row) {
  if (row < 0 || row >= static_cast<int>(rows_.size())) return false;
  const BrowserRow r = rows_[static_cast<std::size_t>(row)];
  if (r.kind != BrowserRow::File && r.kind != BrowserRow::Record) return false;
  if (!ui_.ask("Удалить файл " + r.fileName + " ?")) return false;
  const std::string path = dir_ + r.fileName;
  // The open record file goes first: the system must not go on working on
  // a file that no longer exists. Any other open file stays as it is.
  if (s_.recordFileHandle >= 0 && !s_.recordFilePath.empty() && samePath(s_.recordFilePath, path)) {
    closeRecordFile(s_);
    s_.recordFileHandle = -1;
  }
  if (::unlink(path.c_str()) != 0) {
    ui_.message("Файл " + r.fileName + " не удалён: " + std::strerror(errno));
    refresh();
    return false;
  }
  if (endsWithCad(r.fileName)) {
    markCardStale();
    s_.dialogResult = -1;
    deletedRecordFile_ = true;
  }
  if (r.kind == BrowserRow::Record) {
    // The index in memory loses the record; the files follow at the next rebuild.
    const CardRecord gone = card_.records[static_cast<std::size_t>(r.index)];
    card_.records.erase(card_.records.begin() + r.index);
    const int p = gone.patient - 1;
    if (p >= 0 && p < static_cast<int>(card_.patients.size())) {
      const auto left = card_.recordsOf(p).size();
      card_.patients[static_cast<std::size_t>(p)].recordCountText = std::to_string(left);
      if (left == 0) {
        cardMode_ = kCardPatients;
        currentPatient_ = -1;
      }
    }
  }
  refresh();
  return true;
}

void FileBrowser::cancel() { s_.dialogResult = deletedRecordFile_ ? -1 : 0; }

void FileBrowser::close() {
  s_.dataDir = dir_;
  settings_.searchText = searchPattern_;
  settings_.selectionField = selectionField_;
  settings_.cardMode = cardMode_ != kCardOff ? 1 : 0;
  if (recordKind_) {
    (mode_ == 0 ? settings_.readFilterItem : settings_.writeFilterItem) = filterItem_;
    remembered_ = true;
    rememberedPattern_ = searchPattern_;
    rememberedField_ = selectionField_;
  }
  writeFileWindowSettings(s_.programDir + "fmn.ini", settings_);
}

}  // namespace velor
