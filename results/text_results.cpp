#include "results/text_results.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "core/binio.h"
#include "core/numtext.h"
#include "core/settings.h"
#include "core/text.h"

namespace velor {

namespace {

// Splits text on CR LF, LF or CR; a final line end does not start another line.
std::vector<std::string> splitLines(std::string_view t) {
  std::vector<std::string> out;
  std::string cur;
  bool pending = false;  // characters since the last line end
  for (std::size_t i = 0; i < t.size(); ++i) {
    const char c = t[i];
    if (c == '\r' || c == '\n') {
      out.push_back(std::move(cur));
      cur.clear();
      pending = false;
      if (c == '\r' && i + 1 < t.size() && t[i + 1] == '\n') ++i;
    } else {
      cur += c;
      pending = true;
    }
  }
  if (pending) out.push_back(std::move(cur));
  return out;
}

std::size_t textBytes(const std::vector<std::string>& lines) {
  std::size_t n = 0;
  for (const auto& l : lines) n += l.size() + 1;
  return n;
}

// A line as the journal keeps it: one line, no line breaks inside.
std::string oneLine(std::string_view text) {
  std::string l(text);
  for (char& c : l)
    if (c == '\r' || c == '\n') c = ' ';
  return l;
}

}  // namespace

std::optional<std::vector<std::string>> readTextFileLines(const std::string& path, std::size_t limit) {
  std::string bytes;
  if (!readWholeFile(path, bytes, limit)) return std::nullopt;
  for (char& c : bytes)
    if (c == '\0') c = ' ';
  return splitLines(cp1251ToUtf8(bytes));
}

std::string headerDateText(double days) {
  if (!std::isfinite(days) || std::fabs(days) > 2'000'000) return "";
  return dayMonthYearText(static_cast<int>(std::floor(days)));
}

std::string headerTimeText(double fraction) {
  if (!std::isfinite(fraction) || fraction < 0 || fraction >= 1) fraction = 0;
  int sec = static_cast<int>(std::trunc(fraction * 86400.0 + 1e-6));
  if (sec > 86399) sec = 86399;
  char buf[32];
  std::snprintf(buf, sizeof buf, "%d:%02d:%02d", sec / 3600, sec / 60 % 60, sec % 60);
  return buf;
}

std::vector<std::string> examHeaderLines(const StudyState& s) {
  std::vector<std::string> out;
  const std::string date = headerDateText(s.recordDate);
  if (s.groupMode != 0) {
    out.push_back(headerField(s, 7));
    // the subject recorded on the current channel; channels past the sixth have none
    const int field = s.firstShownChannel + s.currentChannelRow + 1;
    out.push_back(field >= 1 && field <= 6 ? headerField(s, field) : std::string());
  } else {
    out.push_back(s.institutionName + kInstitutionSeparator + s.departmentName);
    out.push_back(kDatePrefix + date + kTimePrefix + headerTimeText(s.recordTime));
    out.push_back(kPatientPrefix + headerField(s, 3) + kBirthPrefix + headerField(s, 5));
    out.push_back(kGroupPrefix + headerField(s, 2) + kTestPrefix + headerField(s, 1));
    out.push_back(kDiagnosisPrefix + headerField(s, 7));
  }
  out.push_back(kFilePrefix + s.recordFileName + kFileDatePrefix + date + kFileRecordPrefix +
                std::to_string(s.currentRecord));
  out.push_back(kHeaderEndLine);
  return out;
}

TextResults::TextResults(std::string overflowDir, std::size_t capacity)
    : overflowDir_(std::move(overflowDir)), capacity_(capacity) {}

void TextResults::beginTextResults(const StudyState& s, int mode) {
  pull();
  if (started_) addResultLine(kRunSeparator);
  started_ = true;
  ini(s, mode);
}

void TextResults::ini(const StudyState& s, int mode) {
  mode_ = mode;
  if (mode == kDiagnoses) {
    const auto dot = s.recordFileName.find('.');
    if (dot != std::string::npos) {
      const std::string path = s.dataDir + s.recordFileName.substr(0, dot) + kDiagnosesExtension;
      // A diagnoses file too large for the window is left alone like a missing one.
      if (auto l = readTextFileLines(path, capacity_)) replaceLines(std::move(*l));
    }
  } else if (mode == kWithHeader) {
    hd(s);
  }
  modified_ = false;
}

void TextResults::hd(const StudyState& s) {
  for (const auto& l : examHeaderLines(s)) addResultLine(l);
}

void TextResults::addResultLine(std::string_view text) {
  pull();
  std::string line = oneLine(text);
  if (!lines_.empty() && size_ + line.size() + 1 > capacity_) {
    if (saveFile(overflowPath())) {
      lines_.clear();
      size_ = 0;
      if (events_.reset) events_.reset();
      if (events_.overflow) events_.overflow();
    } else if (events_.failure) {
      events_.failure("Файл " + std::string(kOverflowFile) + " не записан.");
    }
  }
  size_ += line.size() + 1;
  lines_.push_back(std::move(line));
  modified_ = true;
  if (events_.appended) events_.appended(lines_.back());
}

bool TextResults::appendFile(const std::string& path, Interaction& ui) {
  // Far larger than the window holds: refused rather than read into memory.
  auto l = readTextFileLines(path, std::max<std::size_t>(capacity_, 64u << 20));
  if (!l) {
    ui.message("Файл " + baseName(path) + " не читается.");
    return false;
  }
  for (const auto& line : *l) addResultLine(line);
  return true;
}

bool TextResults::saveFile(const std::string& path) const {
  pull();
  std::string out;
  out.reserve(size_ + lines_.size());
  for (const auto& l : lines_) {
    out += utf8ToCp1251(l);
    out += "\r\n";
  }
  return writeFileAtomically(path, out);
}

void TextResults::toTable() {
  pull();
  replaceLines(journalToTable(lines_));
  modified_ = true;
}

void TextResults::clear() {
  replaceLines({});
  modified_ = false;
}

void TextResults::setText(std::string_view text) {
  lines_ = splitLines(text);
  // A text box holding "a\n" shows an empty last line; keep it so that a
  // following report starts below it as it does in the window.
  if (!text.empty() && (text.back() == '\n' || text.back() == '\r')) lines_.emplace_back();
  size_ = textBytes(lines_);
  modified_ = true;
}

std::string TextResults::text() const {
  pull();
  std::string t;
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    if (i) t += '\n';
    t += lines_[i];
  }
  return t;
}

void TextResults::replaceLines(std::vector<std::string> lines) {
  for (auto& l : lines) l = oneLine(l);
  lines_ = std::move(lines);
  size_ = textBytes(lines_);
  if (events_.reset) events_.reset();
}

TextResults* textResultsOf(const StudyState& s) { return s.textWindow; }

namespace {
bool noTextWindow(Interaction& ui) {
  ui.message(std::string(kTextWindowCaption) + ": окно не открыто.");
  return false;
}
}  // namespace

bool openTextFile(StudyState& s, const std::string& path, Interaction& ui) {
  TextResults* t = textResultsOf(s);
  if (!t) return noTextWindow(ui);
  return t->appendFile(path, ui);
}

bool saveTextFile(StudyState& s, const std::string& path, Interaction& ui) {
  TextResults* t = textResultsOf(s);
  if (!t) return noTextWindow(ui);
  if (t->saveFile(path)) {
    t->setModified(false);
    return true;
  }
  ui.message("Файл " + baseName(path) + " не записан.");
  return false;
}

// --- table conversion -----------------------------------------------------------

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Every number of a line, each followed by one blank. A number starts at a
// digit, or at a '-' that a digit or a point follows (a lone dash is no
// number), and runs over digits, '-', '.' and 'E'.
std::string numbersOf(std::string_view l) {
  std::string out;
  std::size_t i = 0;
  while (i < l.size()) {
    const bool start = isDigit(l[i]) || (l[i] == '-' && i + 1 < l.size() && (isDigit(l[i + 1]) || l[i + 1] == '.'));
    if (!start) {
      ++i;
      continue;
    }
    std::size_t j = i + 1;
    while (j < l.size() && (isDigit(l[j]) || l[j] == '-' || l[j] == '.' || l[j] == 'E')) ++j;
    out.append(l.substr(i, j - i));
    out += ' ';
    i = j;
  }
  return out;
}

std::string firstDigitRun(std::string_view l) {
  std::size_t i = 0;
  while (i < l.size() && !isDigit(l[i])) ++i;
  std::size_t j = i;
  while (j < l.size() && isDigit(l[j])) ++j;
  return std::string(l.substr(i, j - i));
}

bool startsWith(std::string_view l, std::string_view p) { return l.substr(0, p.size()) == p; }

}  // namespace

std::vector<std::string> journalToTable(const std::vector<std::string>& input) {
  std::vector<std::string> l;
  l.reserve(input.size());
  for (const auto& x : input) l.push_back(trimSpaces(x));
  auto at = [&](std::size_t i) -> const std::string& {
    static const std::string empty;
    return i < l.size() ? l[i] : empty;
  };
  // The end of a header: the minus line. A standard header ends 6 lines after
  // its start, a group header 3 lines after.
  const std::string_view headerEnd = std::string_view(kHeaderEndLine).substr(0, 10);
  const std::string_view separator = std::string_view(kRunSeparator).substr(0, 10);
  auto headerEndsAt = [&](std::size_t i, std::size_t offset) {
    return startsWith(at(i + offset), headerEnd) && startsWith(at(i + offset - 1), kFilePrefix);
  };

  std::vector<std::string> rows;
  std::string row;
  bool pending = true;
  std::size_t i = 0;
  while (i < l.size()) {
    if (startsWith(l[i], separator)) {
      ++i;
      if (!row.empty()) rows.push_back(row);
      row.clear();
      pending = true;
      continue;
    }
    if (pending) {
      pending = false;
      if (headerEndsAt(i, 6)) {
        // "Пациент: " + name + ", г.р.: ..." two lines below the start
        const std::string patient = utf8Substr(at(i + 2), 9);
        const auto comma = patient.find(',');
        if (comma != std::string::npos) {
          row += patient.substr(0, comma) + ' ';
        } else {
          row = " ";
        }
        row += firstDigitRun(at(i + 5)) + ' ';
        i += 7;
        continue;
      }
      if (headerEndsAt(i, 3)) {
        // group layout: the test, the subject of the channel, the file line
        row += at(i + 1) + ' ';
        row += firstDigitRun(at(i + 2)) + ' ';
        i += 4;
        continue;
      }
      // A run without a header has only its numbers.
    }
    row += numbersOf(l[i]);
    ++i;
  }
  if (!row.empty()) rows.push_back(row);
  return rows;
}

void registerResultsFileKinds(FileKindTable& table) {
  table.add({FileKind::Text, false, {}, {}, openTextFile});
  table.add({FileKind::Text, true, {}, {}, saveTextFile});
}

}  // namespace velor
