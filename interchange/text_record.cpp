#include "interchange/text_record.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "core/binio.h"
#include "core/numtext.h"
#include "core/record_file.h"
#include "core/text.h"

namespace velor {

std::vector<std::string_view> splitTextLines(std::string_view text) {
  std::vector<std::string_view> lines;
  std::size_t start = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\r' && text[i] != '\n') continue;
    lines.push_back(text.substr(start, i - start));
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    start = i + 1;
  }
  if (start < text.size()) lines.push_back(text.substr(start));
  return lines;
}

namespace {
bool isSeparator(char c) { return c == ' ' || c == ',' || c == '\t'; }
}  // namespace

std::vector<std::string> splitTextTokens(std::string_view line) {
  std::vector<std::string> tokens;
  std::size_t i = 0;
  const std::size_t n = line.size();
  while (i < n && line[i] == ' ') ++i;
  while (i < n) {
    const std::size_t start = i;
    while (i < n && !isSeparator(line[i])) ++i;
    tokens.emplace_back(line.substr(start, i - start));
    if (i >= n) break;
    ++i;  // the separator
    while (i < n && line[i] == ' ') ++i;
  }
  return tokens;
}

bool isTextComment(std::string_view line) {
  for (char c : line) {
    if (c == ' ' || c == '\t') continue;
    return c == ';';
  }
  return false;
}

namespace {

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Up to two hexadecimal digits from the start; stops at anything else.
int hexByte(std::string_view s) {
  int v = 0;
  for (std::size_t i = 0; i < s.size() && i < 2; ++i) {
    const int d = hexDigit(s[i]);
    if (d < 0) break;
    v = v * 16 + d;
  }
  return v;
}

std::int16_t clampCode(double v) {
  if (!(v > -32768.0)) return -32768;  // also NaN
  if (v > 32767.0) return 32767;
  return static_cast<std::int16_t>(std::trunc(v));
}

std::uint16_t fullScaleValue(double x) {
  const double v = std::trunc(x + 0.99);
  if (!(v >= 1.0)) return 1;
  return static_cast<std::uint16_t>(std::min(v, 65535.0));
}

}  // namespace

std::int16_t parseMarkToken(std::string_view token) {
  const std::size_t dash = token.find('-');
  if (dash == std::string_view::npos) return static_cast<std::int16_t>(static_cast<std::uint16_t>(hexByte(token)));
  const int low = hexByte(token.substr(0, dash));
  const int high = hexByte(token.substr(dash + 1));
  return static_cast<std::int16_t>(static_cast<std::uint16_t>(low + 256 * high));
}

bool decodeTextRecord(std::string_view bytes, ForeignRecord& out, std::string& reason) {
  out = ForeignRecord{};
  out.format = "text";
  const std::vector<std::string_view> lines = splitTextLines(bytes);
  std::size_t li = 0;
  auto nextLine = [&](bool skipBlank) -> const std::string_view* {
    while (li < lines.size()) {
      const std::string_view& l = lines[li++];
      if (isTextComment(l)) continue;
      if (skipBlank && trimSpaces(l).empty()) continue;
      return &l;
    }
    return nullptr;
  };

  // Head line: the column names; "In-Out" announces the mark column.
  const std::string_view* head = nextLine(true);
  std::vector<std::string> names;
  std::string firstToken;
  int marks = 0;
  if (head) {
    for (const std::string& t : splitTextTokens(*head)) {
      if (t == "In-Out") {
        marks = 1;
        continue;
      }
      if (static_cast<int>(names.size()) >= kTextMaxColumns) continue;
      const std::string name = cp1251ToUtf8(t.empty() ? std::string("?") : t);
      if (names.empty()) firstToken = name;
      names.push_back(utf8Substr(name, 0, 4));
    }
  }
  const int columns = static_cast<int>(names.size());
  if (columns == 0) {
    reason = "в первой строке нет названий столбцов";
    return false;
  }

  // Scale line: the full scale of each column. A column without one takes
  // the largest magnitude of its values.
  std::vector<double> scale(static_cast<std::size_t>(columns), -1.0);
  if (const std::string_view* sl = nextLine(false)) {
    const std::vector<std::string> t = splitTextTokens(*sl);
    for (int j = 0; j < columns && j < static_cast<int>(t.size()); ++j)
      if (const auto x = parseNumber(t[static_cast<std::size_t>(j)])) scale[static_cast<std::size_t>(j)] = *x;
  }

  std::vector<std::vector<double>> values(static_cast<std::size_t>(columns));
  std::vector<std::int16_t> markValues;
  long long counted = 0;
  std::vector<double> row(static_cast<std::size_t>(columns));
  // Rows that hold no value for every column (text, nan, inf, a number
  // beyond double) are left out; they shift the time of every later row, so
  // the person is told how many and where the first one is.
  long long dropped = 0;
  std::size_t firstDropped = 0;
  while (const std::string_view* l = nextLine(false)) {
    const std::vector<std::string> t = splitTextTokens(*l);
    bool ok = static_cast<int>(t.size()) >= columns;
    for (int j = 0; j < columns && ok; ++j) {
      const auto v = parseNumber(t[static_cast<std::size_t>(j)]);
      if (!v || !std::isfinite(*v)) ok = false;
      else row[static_cast<std::size_t>(j)] = *v;
    }
    if (!ok) {
      if (!t.empty() && !trimSpaces(*l).empty()) {
        if (dropped == 0) firstDropped = li;
        ++dropped;
      }
      continue;
    }
    ++counted;
    if (counted > kMaxSamples) continue;  // read and left out
    for (int j = 0; j < columns; ++j) values[static_cast<std::size_t>(j)].push_back(row[static_cast<std::size_t>(j)]);
    if (marks)
      markValues.push_back(static_cast<int>(t.size()) > columns ? parseMarkToken(t[static_cast<std::size_t>(columns)])
                                                                : std::int16_t{0});
  }
  if (counted == 0) {
    reason = "в файле нет строк данных";
    return false;
  }
  const int length = static_cast<int>(std::min<long long>(counted, kMaxSamples));

  out.channelCount = columns;
  out.length = length;
  out.names = names;
  out.zeroLevel.assign(static_cast<std::size_t>(columns), 2048);
  out.calibUnits.assign(static_cast<std::size_t>(columns), 2047);
  out.calibValue.assign(static_cast<std::size_t>(columns), 1);
  out.codes.assign(static_cast<std::size_t>(columns), {});
  for (int j = 0; j < columns; ++j) {
    const auto uj = static_cast<std::size_t>(j);
    double x = scale[uj];
    if (x < 0) {
      x = 0;
      for (double v : values[uj]) x = std::max(x, std::fabs(v));
    }
    const std::uint16_t full = fullScaleValue(x);
    out.calibValue[uj] = full;
    auto& codes = out.codes[uj];
    codes.resize(static_cast<std::size_t>(length));
    // (a value beyond the stated full scale may land on the mark code)
    for (int k = 0; k < length; ++k)
      codes[static_cast<std::size_t>(k)] = sampleCode(clampCode(values[uj][static_cast<std::size_t>(k)] / full * 2047.0 + 2048.0));
  }
  out.markChannelCount = marks;
  out.marks = std::move(markValues);
  out.examHeader = utf8Fit(std::string(60, ' ') + utf8Fit(firstToken, 30), kHeaderChars);
  out.recordFileVersion = kVersionCA40;
  out.currentRecord = 0;
  out.epochRule = ForeignEpochRule::KeepOrAll;
  if (counted > kMaxSamples)
    out.notices.push_back("В файле " + std::to_string(counted) + " строк данных, прочитаны первые " +
                          std::to_string(kMaxSamples) + ".");
  if (dropped > 0)
    out.notices.push_back("Пропущено строк без числа в каждом столбце: " + std::to_string(dropped) +
                          " (первая - строка " + std::to_string(firstDropped) +
                          "); отсчёты после них сдвинуты по времени.");
  return true;
}

bool readTextRecord(StudyState& s, const std::string& path, Interaction& ui) {
  const std::string name = baseName(path);
  std::string bytes;
  if (!readWholeFile(path, bytes, kTextRecordFileLimit)) {
    ui.message("Файл " + name + " не открывается или длиннее " + std::to_string(kTextRecordFileLimit >> 20) + " МБ.");
    return false;
  }
  ForeignRecord r;
  std::string reason;
  const bool decoded = decodeTextRecord(bytes, r, reason);
  return takeDecodedRecord(s, decoded, r, reason, name, ui);
}

// --- writer ----------------------------------------------------------------------------------------

namespace {

// A row name as one token: blanks, commas and tabs inside it would split the
// column when the file is read back, and an empty name would vanish.
std::string rowToken(std::string name, int row) {
  name = utf8Substr(trimSpaces(name), 0, 10);
  for (char& c : name)
    if (isSeparator(c)) c = '_';
  return name.empty() ? "#" + std::to_string(row + 1) : name;
}

std::string channelName(const StudyState& s, int c) {
  if (c < 0 || c >= kMaxChannels) return {};
  return s.channelNames[static_cast<std::size_t>(c)];
}

struct Rows {
  int count = 0;
  std::vector<std::string> names;
};

Rows tableRows(const StudyState& s) {
  Rows r;
  const bool pairs = s.viewMode != ViewMode::Signals && isPairMeasure(s.transformKind) && s.leadPairCount > 0;
  if (pairs) {
    r.count = std::min(s.leadPairCount, kMaxLeadPairs);
  } else {
    r.count = s.channelCount;
    if (showsBandMeasures(s.viewMode) && r.count == 28) r.count = 20;
    if (showsBandMeasures(s.viewMode) && r.count == 44) r.count = 36;
  }
  r.count = std::clamp(r.count, 0, kMaxChannels);
  for (int i = 0; i < r.count; ++i) {
    std::string name;
    if (pairs && s.transformKind != TransformKind::Envelope) {
      const auto& p = s.leadPairs[static_cast<std::size_t>(i)];
      name = utf8Substr(trimSpaces(channelName(s, p[0] - 1)) + "-" + trimSpaces(channelName(s, p[1] - 1)), 0, 10);
    } else {
      name = channelName(s, i);
    }
    r.names.push_back(rowToken(name, i));
  }
  return r;
}

std::string hex2(int v) {
  static const char* d = "0123456789ABCDEF";
  return {d[(v >> 4) & 15], d[v & 15]};
}

double fullScale(const StudyState& s, int row) {
  if (s.viewMode == ViewMode::Transform) {
    if (s.transformKind == TransformKind::CrossPhase) return 180;
    if (s.transformKind == TransformKind::Coherence) return 2;
    if (s.transformKind == TransformKind::Correlation) return 1;
  }
  const int zero = s.zeroLevel[row];
  double h = std::max(4096 - zero, zero);
  if (s.viewMode == ViewMode::Transform) h *= 2;
  return h / std::max<int>(1, s.calibUnits[row]) * s.calibValue[row];
}

void sampleRange(const StudyState& s, int& a, int& b) {
  a = 0;
  b = s.recordLength - 1;
  if (s.selectionAnchor >= 0) {
    a = std::max(a, std::min(s.cursorPos, s.selectionAnchor));
    b = std::min(b, std::max(s.cursorPos, s.selectionAnchor));
  }
  b = std::min(b, kMaxSamples - 1);
}

// Signals, the transform view and the two band modes have a table; the
// examination displays have none.
bool hasTextTable(ViewMode m) { return m >= ViewMode::Signals && m <= ViewMode::EpochMaps; }

}  // namespace

std::string textRecordBody(const StudyState& s, const TextTableExtras& extras) {
  if (!hasTextTable(s.viewMode)) return {};
  const Rows rows = tableRows(s);
  const double rate = std::max(1, s.sampleRate);
  std::string out;
  auto endLine = [&] { out += "\r\n"; };
  auto names = [&] {
    for (const std::string& n : rows.names) out += " " + n;
  };

  if (s.viewMode == ViewMode::Signals || s.viewMode == ViewMode::Transform) {
    const bool signals = s.viewMode == ViewMode::Signals;
    const bool timeAxis = !signals && !hasFrequencyAxis(s.transformKind);
    const bool marks = signals && s.markChannelCount == 1 && s.markChannel;
    out += signals ? "    T[sec]" : (timeAxis ? "T[sec]" : "Fq[Hz]");
    names();
    if (marks) out += " In-Out";
    endLine();
    out += formatNumber(signals || timeAxis ? s.recordLength / rate : s.sampleRate / 2.0);
    for (int r = 0; r < rows.count; ++r) out += " " + formatNumber(fullScale(s, r));
    endLine();
    int a = 0, b = -1;
    sampleRange(s, a, b);
    const bool power = !signals && s.transformKind == TransformKind::Power && s.sumMode != 5;
    const double gain = power ? std::ldexp(1.0, std::clamp(s.powerShift, 0, 62)) : 1.0;
    const double epoch = std::max(1, s.epochLength);
    for (int k = a; k <= b; ++k) {
      out += signals || timeAxis ? formatNumber(k / rate, 6) : formatNumber(k * rate / epoch);
      for (int r = 0; r < rows.count; ++r) out += " " + formatNumber(s.physicalValue(k, r) * gain);
      if (marks) {
        const int m = static_cast<std::uint16_t>(s.markChannel[k]);
        if (k == a || s.markChannel[k] != s.markChannel[k - 1]) out += " " + hex2(m) + "-" + hex2(m >> 8);
        else out += " 00-00";
      }
      endLine();
    }
  } else if (s.viewMode == ViewMode::BandDiagrams) {
    out += "Fq-area";
    names();
    endLine();
    for (int b = 0; b < std::min(s.bandCount, kBandRows); ++b) {
      out += trimSpaces(s.bandTable[static_cast<std::size_t>(b)].name);
      for (int r = 0; r < rows.count; ++r) out += " " + formatNumber(s.resultValue(b, r, s.currentEpoch));
      endLine();
    }
  } else {
    const int band = std::clamp(s.currentBand, 0, kBandRows - 1);
    const bool asym = extras.asymmetry && extras.asymmetryStep;
    out += trimSpaces(s.bandTable[static_cast<std::size_t>(band)].name) + "-" + extras.measureText +
           (asym ? "-Asym" : "");
    endLine();
    out += "T[sec]";
    names();
    endLine();
    std::vector<int> codes(static_cast<std::size_t>(rows.count));
    for (int e = 0; e < s.epochCount; ++e) {
      out += formatNumber(static_cast<double>(e) * s.epochStep / rate);
      if (asym) {
        for (int r = 0; r < rows.count; ++r) codes[static_cast<std::size_t>(r)] = s.resultGet(s.currentBand, r, e);
        extras.asymmetryStep(codes);
        for (int r = 0; r < rows.count; ++r) {
          const int c = std::clamp(codes[static_cast<std::size_t>(r)], 0, 255);
          out += " " + formatNumber(std::trunc((c - 127) / 255.0 * 2000.0) / 10.0);
        }
      } else {
        for (int r = 0; r < rows.count; ++r) out += " " + formatNumber(s.resultValue(s.currentBand, r, e));
      }
      endLine();
    }
  }
  // Names are UTF-8 inside the program; the file is code page 1251.
  return utf8ToCp1251(out);
}

namespace {

bool writeOrAppend(const std::string& path, const std::string& body, Interaction& ui, bool ask) {
  std::string text = body;
  if (ask && fileExists(path)) {
    const int choice = ui.choose("VELOR", "Файл существует: Да=перезаписать, Нет=дополнить", "",
                                 {{"&Да", 1}, {"&Нет", 2}, {"Отмена", 0}});
    if (choice == 0) return false;
    if (choice == 2) {
      std::string old;
      if (!readWholeFile(path, old, kTextRecordFileLimit)) {
        ui.message("Файл " + baseName(path) + " не дополнен: он не читается.");
        return false;
      }
      text = old + body;
    }
  }
  if (!writeFileAtomically(path, text)) {
    ui.message("Файл " + baseName(path) + " не записан.");
    return false;
  }
  return true;
}

}  // namespace

bool writeTextRecord(StudyState& s, const std::string& path, Interaction& ui, const TextTableExtras& extras) {
  if (!hasTextTable(s.viewMode)) return false;
  return writeOrAppend(path, textRecordBody(s, extras), ui, true);
}

bool saveRecordsAsText(StudyState& s, const std::string& path, Interaction& ui) {
  const bool more = s.viewMode == ViewMode::Signals && s.recordFileHandle >= 0 && s.currentRecord >= 1 &&
                    s.currentRecord < s.recordCount;
  if (!more || !ui.ask("Сохранить все записи, начиная с текущей")) return writeTextRecord(s, path, ui);
  // Each record is read in turn and the text is kept until all are there, so a
  // record that cannot be read leaves no half-written file.
  const int start = s.currentRecord;
  const int last = s.recordCount;
  std::string text;
  bool ok = true;
  for (int n = start; n <= last; ++n) {
    if (n > start && !stepRecord(s, +1, ui)) {
      ok = false;
      break;
    }
    text += utf8ToCp1251("Запись №" + std::to_string(n)) + "\r\n" + textRecordBody(s);
  }
  if (s.currentRecord != start) gotoRecord(s, start, ui);
  if (!ok) {
    ui.message("Файл " + baseName(path) + " не записан: не все записи прочитаны.");
    return false;
  }
  return writeOrAppend(path, text, ui, false);
}

// --- spectral parameters and number lists -------------------------------------------------------------

bool readSpectralParameters(StudyState& s, const std::string& path) {
  std::string bytes;
  if (!readWholeFile(path, bytes, kTextRecordFileLimit)) return false;
  const std::vector<std::string_view> lines = splitTextLines(bytes);
  const int channels = std::max(0, s.channelCount);
  for (std::size_t i = 1; i < lines.size(); ++i) {
    const std::vector<std::string> t = splitTextTokens(lines[i]);
    const long long line = static_cast<long long>(i) - 1;
    for (std::size_t k = 1; k < t.size(); ++k) {
      const int j = static_cast<int>(k) - 1;
      if (j >= kMaxChannels) break;
      const auto v = parseNumber(t[k]);
      if (!v) continue;
      const long long cell = 4 * (line * channels + j) + s.bandMode;
      if (cell < 0 || cell >= 32768) continue;
      const double units = std::max<int>(1, s.calibUnits[j]);
      const double value = std::max<int>(1, s.calibValue[j]);
      s.resultStore[cell] = clampCode(std::trunc(*v / value * units + 0.5));
    }
  }
  return true;
}

int readNumberList(StudyState& s, std::string_view text, std::size_t& pos) {
  int count = 0;
  std::size_t p = std::min(pos, text.size());
  const auto isBlank = [](char c) { return c == ' ' || c == '\r' || c == '\n'; };
  while (count < 200) {
    while (p < text.size() && isBlank(text[p])) ++p;
    if (p >= text.size()) break;
    const std::size_t start = p;
    while (p < text.size() && !isSeparator(text[p]) && text[p] != '\r' && text[p] != '\n') ++p;
    const auto v = parseNumber(text.substr(start, p - start));
    s.floatStore[count++] = v ? static_cast<float>(*v) : 0.0f;
    if (p < text.size() && isSeparator(text[p])) ++p;
  }
  pos = p;
  return count;
}

}  // namespace velor
