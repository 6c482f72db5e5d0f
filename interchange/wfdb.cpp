#include "interchange/wfdb.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>

#include "core/binio.h"
#include "core/numtext.h"
#include "core/record_file.h"
#include "core/record_source.h"
#include "core/text.h"
#include "interchange/electrode_table.h"

namespace velor {

namespace {

const std::string kNoRecordLine = "нет строки записи";
const std::string kBadSignalCount = "число сигналов не от 1 до 256";
const std::string kBadRate = "частота дискретизации не больше 0";
const std::string kMissingSignals = "описаны не все сигналы";
const std::string kBadFormat = "формат сигнала не 212 и не 16";
const std::string kMixedFormats = "сигналы одного файла в разных форматах";
const std::string kMultiSegment = "записи из нескольких сегментов не читаются";
const std::string kBadNumber = "неверное число в заголовке";
const std::string kAnnotationCut = "аннотация обрывается";
const std::string kNoFrames = "в файле сигналов нет отсчётов";
const std::string kFilePrefix = "Файл ";
const std::string kNotRead = " не прочитан: ";

std::vector<std::string> splitFields(std::string_view line) {
  std::vector<std::string> f;
  std::size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    std::size_t j = i;
    while (j < line.size() && line[j] != ' ' && line[j] != '\t') ++j;
    if (j > i) f.emplace_back(line.substr(i, j - i));
    i = j;
  }
  return f;
}

// A whole decimal number in text, false for anything else or beyond the range.
bool wholeNumber(std::string_view t, long long lo, long long hi, long long& v) {
  if (t.empty() || t.size() > 19) return false;
  std::size_t i = 0;
  bool neg = false;
  if (t[0] == '-' || t[0] == '+') {
    neg = t[0] == '-';
    i = 1;
  }
  if (i == t.size()) return false;
  long long x = 0;
  for (; i < t.size(); ++i) {
    if (t[i] < '0' || t[i] > '9') return false;
    if (x > 100000000000000000LL) return false;
    x = x * 10 + (t[i] - '0');
  }
  v = neg ? -x : x;
  return v >= lo && v <= hi;
}

bool realNumber(std::string_view t, double& v) {
  if (t.empty() || t.size() > 40) return false;
  const std::string z(t);
  char* end = nullptr;
  v = std::strtod(z.c_str(), &end);
  return end == z.c_str() + z.size() && std::isfinite(v);
}

}  // namespace

bool parseWfdbHeader(std::string_view text, WfdbHeader& out, std::string& reason) {
  out = WfdbHeader{};
  std::vector<std::string> lines;
  {
    std::size_t i = 0;
    while (i <= text.size()) {
      std::size_t j = text.find('\n', i);
      if (j == std::string_view::npos) j = text.size();
      std::string_view line = text.substr(i, j - i);
      while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t')) line.remove_suffix(1);
      lines.emplace_back(line);
      i = j + 1;
    }
  }
  bool haveRecord = false;
  int signalCount = 0;
  for (const std::string& raw : lines) {
    std::string_view line = raw;
    std::size_t lead = 0;
    while (lead < line.size() && (line[lead] == ' ' || line[lead] == '\t')) ++lead;
    line.remove_prefix(lead);
    if (line.empty()) continue;
    if (line[0] == '#') {
      out.comments.emplace_back(line.substr(1));
      continue;
    }
    const auto f = splitFields(line);
    if (!haveRecord) {
      haveRecord = true;
      if (f.size() < 2) {
        reason = kNoRecordLine;
        return false;
      }
      if (f[0].find('/') != std::string::npos) {
        reason = kMultiSegment;
        return false;
      }
      out.recordName = f[0];
      long long n = 0;
      if (!wholeNumber(f[1], 0, 1000000, n)) {
        reason = kBadNumber;
        return false;
      }
      if (n < 1 || n > kWfdbMaxSignals) {
        reason = kBadSignalCount;
        return false;
      }
      signalCount = static_cast<int>(n);
      if (f.size() > 2) {
        // "fs[/counter[(base)]]"
        std::string fs = f[2];
        fs = fs.substr(0, fs.find('/'));
        double v = 0;
        if (!realNumber(fs, v)) {
          reason = kBadNumber;
          return false;
        }
        if (!(v > 0) || v > 1e7) {
          reason = kBadRate;
          return false;
        }
        out.frequency = v;
      }
      if (f.size() > 3) {
        long long v = 0;
        if (!wholeNumber(f[3], 0, (1LL << 50), v)) {
          reason = kBadNumber;
          return false;
        }
        out.frames = v;
      }
      continue;
    }
    if (static_cast<int>(out.signals.size()) >= signalCount) continue;  // extra lines: ignored
    WfdbSignal sig;
    if (f.size() < 2) {
      reason = kMissingSignals;
      return false;
    }
    sig.fileName = f[0];
    {
      // "format[xsamp][:skew][+offset]"
      const std::string& t = f[1];
      std::size_t k = 0;
      while (k < t.size() && t[k] >= '0' && t[k] <= '9') ++k;
      long long fmt = 0;
      if (!wholeNumber(std::string_view(t).substr(0, k), 0, 100000, fmt) || (fmt != 212 && fmt != 16)) {
        reason = kBadFormat;
        return false;
      }
      sig.format = static_cast<int>(fmt);
      std::string_view rest = std::string_view(t).substr(k);
      if (!rest.empty() && rest[0] == 'x') {
        std::size_t e = 1;
        while (e < rest.size() && rest[e] >= '0' && rest[e] <= '9') ++e;
        long long spf = 0;
        if (!wholeNumber(rest.substr(1, e - 1), 1, 1, spf)) {
          reason = kBadFormat;  // several samples per frame are not read
          return false;
        }
        rest.remove_prefix(e);
      }
      if (!rest.empty() && rest[0] == ':') {
        std::size_t e = 1;
        while (e < rest.size() && rest[e] != '+') ++e;
        long long skew = 0;
        if (!wholeNumber(rest.substr(1, e - 1), 0, 0, skew)) {
          reason = kBadFormat;  // skewed signals are not read
          return false;
        }
        rest.remove_prefix(e);
      }
      if (!rest.empty() && rest[0] == '+') {
        long long off = 0;
        if (!wholeNumber(rest.substr(1), 0, (1LL << 40), off)) {
          reason = kBadNumber;
          return false;
        }
        sig.byteOffset = off;
        rest = {};
      }
      if (!rest.empty()) {
        reason = kBadFormat;
        return false;
      }
    }
    bool baselineGiven = false;
    if (f.size() > 2) {
      // "gain[(baseline)][/units]"
      std::string t = f[2];
      const std::size_t slash = t.find('/');
      if (slash != std::string::npos) {
        sig.units = t.substr(slash + 1);
        t = t.substr(0, slash);
      }
      const std::size_t paren = t.find('(');
      if (paren != std::string::npos) {
        if (t.back() != ')') {
          reason = kBadNumber;
          return false;
        }
        long long b = 0;
        if (!wholeNumber(std::string_view(t).substr(paren + 1, t.size() - paren - 2), -2147483647LL, 2147483647LL, b)) {
          reason = kBadNumber;
          return false;
        }
        sig.baseline = static_cast<int>(b);
        baselineGiven = true;
        t = t.substr(0, paren);
      }
      double g = 0;
      if (!realNumber(t, g) || g < 0 || g > 1e12) {
        reason = kBadNumber;
        return false;
      }
      sig.gain = g == 0 ? 200 : g;
    }
    long long v = 0;
    if (f.size() > 3) {
      if (!wholeNumber(f[3], 0, 64, v)) {
        reason = kBadNumber;
        return false;
      }
      sig.adcResolution = static_cast<int>(v);
    }
    if (f.size() > 4) {
      if (!wholeNumber(f[4], -2147483647LL, 2147483647LL, v)) {
        reason = kBadNumber;
        return false;
      }
      sig.adcZero = static_cast<int>(v);
    }
    if (!baselineGiven) sig.baseline = sig.adcZero;
    if (f.size() > 5) {
      if (!wholeNumber(f[5], -2147483647LL, 2147483647LL, v)) {
        reason = kBadNumber;
        return false;
      }
      sig.initialValue = static_cast<int>(v);
    }
    if (f.size() > 6) {
      if (!wholeNumber(f[6], -2147483647LL, 2147483647LL, v)) {
        reason = kBadNumber;
        return false;
      }
      sig.hasChecksum = true;
      sig.checksum = static_cast<int>(v);
    }
    // field 8 is the block size; the description is the rest of the line
    if (f.size() > 8) {
      std::size_t pos = 0;
      for (int k = 0; k < 8; ++k) {
        pos = line.find(f[static_cast<std::size_t>(k)], pos) + f[static_cast<std::size_t>(k)].size();
      }
      std::string_view d = line.substr(std::min(pos, line.size()));
      while (!d.empty() && (d.front() == ' ' || d.front() == '\t')) d.remove_prefix(1);
      sig.description = std::string(d);
    }
    out.signals.push_back(std::move(sig));
  }
  if (!haveRecord) {
    reason = kNoRecordLine;
    return false;
  }
  if (static_cast<int>(out.signals.size()) < signalCount) {
    reason = kMissingSignals;
    return false;
  }
  // Files in order of first appearance; a file's signals share one format.
  for (WfdbSignal& sig : out.signals) {
    auto it = std::find(out.fileNames.begin(), out.fileNames.end(), sig.fileName);
    if (it == out.fileNames.end()) {
      out.fileNames.push_back(sig.fileName);
      out.groupWidth.push_back(0);
      it = out.fileNames.end() - 1;
    }
    sig.group = static_cast<int>(it - out.fileNames.begin());
    sig.column = out.groupWidth[static_cast<std::size_t>(sig.group)]++;
  }
  for (const WfdbSignal& sig : out.signals) {
    for (const WfdbSignal& other : out.signals) {
      if (other.group == sig.group && (other.format != sig.format || other.byteOffset != sig.byteOffset)) {
        reason = kMixedFormats;
        return false;
      }
    }
  }
  return true;
}

// --- annotations ----------------------------------------------------------------------------

bool decodeWfdbAnnotations(std::string_view bytes, std::vector<WfdbAnnotation>& out, std::string& reason) {
  out.clear();
  const auto* b = reinterpret_cast<const unsigned char*>(bytes.data());
  const std::size_t n = bytes.size();
  std::size_t i = 0;
  long long t = 0;
  int subtype = 0, channel = 0, number = 0;
  auto word = [&](std::size_t at) { return static_cast<unsigned>(b[at] | (b[at + 1] << 8)); };
  while (i + 2 <= n) {
    const unsigned w = word(i);
    i += 2;
    const int a = static_cast<int>(w >> 10);
    const int v = static_cast<int>(w & 0x3FF);
    if (a == 0 && v == 0) return true;  // end of the file
    switch (a) {
      case 59: {  // SKIP: a 32-bit interval follows, high word first
        if (i + 4 > n) {
          reason = kAnnotationCut;
          return false;
        }
        const std::int32_t skip = static_cast<std::int32_t>((word(i) << 16) | word(i + 2));
        i += 4;
        t += skip;
        if (t < 0) {
          reason = kAnnotationCut;
          return false;
        }
        break;
      }
      case 60: number = static_cast<int>(static_cast<std::int16_t>(v << 6) >> 6); break;
      case 61: subtype = static_cast<int>(static_cast<std::int16_t>(v << 6) >> 6); break;
      case 62: channel = v; break;
      case 63: {  // AUX: v bytes, padded to an even count
        if (out.empty() || i + static_cast<std::size_t>(v) > n) {
          if (i + static_cast<std::size_t>(v) > n) {
            reason = kAnnotationCut;
            return false;
          }
        } else {
          std::string aux(bytes.substr(i, static_cast<std::size_t>(v)));
          const std::size_t z = aux.find('\0');
          if (z != std::string::npos) aux.resize(z);
          out.back().aux = std::move(aux);
        }
        i += static_cast<std::size_t>(v) + (v & 1);
        break;
      }
      default: {
        t += v;
        WfdbAnnotation an;
        an.sample = t;
        an.code = a;
        // the modifiers given before an annotation belong to it; NUM and CHN persist
        an.subtype = subtype;
        an.channel = channel;
        an.number = number;
        subtype = 0;
        out.push_back(std::move(an));
        break;
      }
    }
  }
  return true;  // no end marker: what is there
}

bool isWfdbBeatCode(int code) {
  return (code >= 1 && code <= 13) || code == 25 || code == 30 || code == 34 || code == 35 || code == 38 ||
         code == 41;
}

const char* wfdbCodeMnemonic(int code) {
  static const char* const kNames[] = {
      "",  "N", "L", "R", "a", "V", "F", "J", "A", "S", "E", "j", "/", "Q", "~", "",  "|", "",  "s", "T", "*", "D",
      "\"", "=", "p", "B", "^", "t", "+", "u", "?", "!", "[", "]", "e", "n", "@", "x", "f", "(", ")", "r"};
  if (code < 0 || code >= static_cast<int>(sizeof kNames / sizeof kNames[0])) return "";
  return kNames[code];
}

// --- samples --------------------------------------------------------------------------------

long long wfdbFramesAvailable(const WfdbHeader& h, const std::vector<const ByteSource*>& files) {
  long long frames = -1;
  for (std::size_t g = 0; g < h.fileNames.size() && g < files.size(); ++g) {
    const WfdbSignal* sig = nullptr;
    for (const WfdbSignal& s : h.signals)
      if (s.group == static_cast<int>(g)) sig = &s;
    if (!sig || !files[g]) return 0;
    const long long bytes = std::max(0LL, files[g]->size() - sig->byteOffset);
    const long long width = h.groupWidth[g];
    const long long samples = sig->format == 212 ? bytes / 3 * 2 + (bytes % 3 == 2 ? 1 : 0) : bytes / 2;
    const long long f = samples / width;
    frames = frames < 0 ? f : std::min(frames, f);
  }
  if (frames < 0) frames = 0;
  if (h.frames > 0) frames = std::min(frames, h.frames);
  return frames;
}

bool decodeWfdbFrames(const WfdbHeader& h, const std::vector<const ByteSource*>& files, long long first,
                      long long count, std::vector<std::vector<int>>& out, std::string& reason) {
  out.assign(h.signals.size(), {});
  if (files.size() < h.fileNames.size()) {
    reason = kNoFrames;
    return false;
  }
  const long long available = wfdbFramesAvailable(h, files);
  if (first < 0) first = 0;
  const long long last = std::min(available, first + std::max(0LL, count));
  if (last <= first) return true;
  const long long frames = last - first;
  for (auto& v : out) v.resize(static_cast<std::size_t>(frames));
  std::vector<unsigned char> buf;
  for (std::size_t g = 0; g < h.fileNames.size(); ++g) {
    const WfdbSignal* proto = nullptr;
    for (const WfdbSignal& s : h.signals)
      if (s.group == static_cast<int>(g)) {
        proto = &s;
        break;
      }
    if (!proto) continue;
    const long long width = h.groupWidth[g];
    const long long s0 = first * width, s1 = last * width;  // sample stream indices
    long long b0 = 0, b1 = 0;
    if (proto->format == 212) {
      b0 = s0 / 2 * 3;
      b1 = std::min(files[g]->size() - proto->byteOffset, (s1 + 1) / 2 * 3);
    } else {
      b0 = s0 * 2;
      b1 = s1 * 2;
    }
    buf.resize(static_cast<std::size_t>(b1 - b0));
    if (!buf.empty() && !files[g]->read(buf.data(), buf.size(), proto->byteOffset + b0)) {
      reason = kNoFrames;
      return false;
    }
    for (long long k = s0; k < s1; ++k) {
      int v = 0;
      if (proto->format == 212) {
        const std::size_t at = static_cast<std::size_t>(k / 2 * 3 - b0);
        if (k % 2 == 0) {
          v = buf[at] | ((buf[at + 1] & 0x0F) << 8);
        } else {
          v = buf[at + 2] | ((buf[at + 1] & 0xF0) << 4);
        }
        if (v & 0x800) v -= 0x1000;
      } else {
        const std::size_t at = static_cast<std::size_t>(k * 2 - b0);
        v = static_cast<std::int16_t>(buf[at] | (buf[at + 1] << 8));
      }
      const long long frame = k / width - first;
      const int column = static_cast<int>(k % width);
      for (std::size_t c = 0; c < h.signals.size(); ++c) {
        if (h.signals[c].group == static_cast<int>(g) && h.signals[c].column == column) {
          out[c][static_cast<std::size_t>(frame)] = v;
          break;
        }
      }
    }
  }
  return true;
}

namespace {

std::string directoryOf(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

bool readSmallFile(const std::string& path, std::string& out, long long limit) {
  FileSource f(path);
  if (!f.ok() || f.size() > limit) return false;
  out.resize(static_cast<std::size_t>(f.size()));
  return out.empty() || f.read(out.data(), out.size(), 0);
}

// The files of a record, opened beside its header.
struct OpenedFiles {
  std::vector<std::unique_ptr<FileSource>> owned;
  std::vector<const ByteSource*> files;
  bool open(const WfdbHeader& h, const std::string& dir, std::string& reason) {
    for (const std::string& name : h.fileNames) {
      if (name.find('/') != std::string::npos || name == "-") {
        reason = "файл сигналов \"" + name + "\" не в папке заголовка";
        return false;
      }
      auto f = std::make_unique<FileSource>(dir + name);
      if (!f->ok()) {
        reason = "нет файла сигналов \"" + name + "\"";
        return false;
      }
      files.push_back(f.get());
      owned.push_back(std::move(f));
    }
    return true;
  }
};

}  // namespace

bool readWfdbAnnotationFile(const std::string& path, std::vector<WfdbAnnotation>& out, std::string& reason) {
  std::string bytes;
  if (!readSmallFile(path, bytes, 1LL << 30)) {
    reason = "нет файла аннотаций \"" + path + "\"";
    return false;
  }
  return decodeWfdbAnnotations(bytes, out, reason);
}

bool readWfdbRecord(const std::string& headerPath, WfdbRecordData& out, std::string& reason) {
  out = WfdbRecordData{};
  std::string text;
  if (!readSmallFile(headerPath, text, 1 << 20)) {
    reason = "заголовок не читается";
    return false;
  }
  if (!parseWfdbHeader(text, out.header, reason)) return false;
  const std::string dir = directoryOf(headerPath);
  OpenedFiles files;
  if (!files.open(out.header, dir, reason)) return false;
  const long long frames = wfdbFramesAvailable(out.header, files.files);
  if (frames <= 0) {
    reason = kNoFrames;
    return false;
  }
  if (!decodeWfdbFrames(out.header, files.files, 0, frames, out.adu, reason)) return false;
  std::string base = headerPath;
  if (extensionLower(base) == ".hea") base.resize(base.size() - 4);
  const std::string atr = base + ".atr";
  if (fileExists(atr)) {
    if (!readWfdbAnnotationFile(atr, out.annotations, reason)) return false;
    out.annotationFile = atr;
  }
  return true;
}

WfdbCodeScale wfdbCodeScale(const WfdbSignal& sig) {
  WfdbCodeScale c;
  c.codeOffset = sig.format == 212 ? 2048 : 0;
  long long zero = static_cast<long long>(sig.baseline) + c.codeOffset;
  if (zero < 0 || zero > 65535) {
    c.codeOffset = static_cast<int>(std::clamp<long long>(2048LL - sig.baseline, -2147483647LL, 2147483647LL));
    zero = 2048;
  }
  c.zeroLevel = static_cast<std::uint16_t>(zero);
  // physical (µV when a voltage) per ADU = factor / gain, as calibValue / calibUnits
  double factor = 1;
  if (sig.units == "mV") factor = 1000;
  else if (sig.units == "V") factor = 1e6;
  else if (sig.units == "nV") factor = 1e-3;
  const double r = factor / sig.gain;
  double best = 1e300;
  for (int u = 1; u <= 65535; ++u) {
    const double v = std::round(r * u);
    if (v < 1 || v > 65535) {
      if (v > 65535) break;
      continue;
    }
    const double err = std::fabs(v / u - r) / r;
    if (err < best) {
      best = err;
      c.calibUnits = static_cast<std::uint16_t>(u);
      c.calibValue = static_cast<std::uint16_t>(v);
      if (err < 1e-12) break;
    }
  }
  return c;
}

bool isWfdbPath(const std::string& path) { return extensionLower(path) == ".hea"; }

// --- the record source ----------------------------------------------------------------------

namespace {

class WfdbRecordSource final : public RecordSource {
 public:
  WfdbHeader header;
  OpenedFiles files;
  std::vector<WfdbCodeScale> scales;
  std::vector<WfdbAnnotation> annotations;
  long long frames = 0;
  int pages = 0;

  std::string formatName() const override { return "wfdb"; }
  bool isOpen(const StudyState& s) const override { return s.recordFileHandle < 0 && s.recordSource.get() == this; }
  bool canStep() const override { return true; }
  bool canWriteBack() const override { return false; }
  int recordCount(const StudyState&) const override { return pages; }
  bool moveTo(StudyState& s, int number, Interaction& ui) override;
  bool reread(StudyState& s, Interaction& ui) override { return moveTo(s, s.currentRecord, ui); }
  bool writeBack(StudyState&, Interaction&) override { return false; }

  // Page `number` into the study's buffers; false with a reason.
  bool load(StudyState& s, int number, std::string& reason, long long& clipped) const;
};

bool WfdbRecordSource::load(StudyState& s, int number, std::string& reason, long long& clipped) const {
  const long long first = static_cast<long long>(number - 1) * kWfdbPageSamples;
  std::vector<std::vector<int>> adu;
  if (!decodeWfdbFrames(header, files.files, first, kWfdbPageSamples, adu, reason)) return false;
  const int n = adu.empty() ? 0 : static_cast<int>(adu[0].size());
  if (n <= 0) {
    reason = kNoFrames;
    return false;
  }
  const int channels = std::min<int>(static_cast<int>(adu.size()), kMaxChannels);
  for (int c = 0; c < channels; ++c) {
    std::int16_t* dst = s.channelData[static_cast<std::size_t>(c)];
    const int off = scales[static_cast<std::size_t>(c)].codeOffset;
    for (int i = 0; i < n; ++i) {
      long long v = static_cast<long long>(adu[static_cast<std::size_t>(c)][static_cast<std::size_t>(i)]) + off;
      if (v < -32768 || v > 32767) {
        ++clipped;
        v = std::clamp(v, -32768LL, 32767LL);
      }
      dst[i] = sampleCode(static_cast<std::int16_t>(v));
    }
    std::fill(dst + n, dst + kMaxSamples, std::int16_t{0});
  }
  // every annotation of the page starts a new mark value
  std::int16_t cur = 0;
  int v = 0, from = 0;
  auto it = std::lower_bound(annotations.begin(), annotations.end(), first,
                             [](const WfdbAnnotation& a, long long t) { return a.sample < t; });
  for (; it != annotations.end() && it->sample < first + n; ++it) {
    const int at = static_cast<int>(it->sample - first);
    if (at <= from && from > 0) continue;
    std::fill(s.markChannel + from, s.markChannel + at, cur);
    from = at;
    v = v % 255 + 1;
    cur = static_cast<std::int16_t>(v);
  }
  std::fill(s.markChannel + from, s.markChannel + n, cur);
  std::fill(s.markChannel + n, s.markChannel + kMaxSamples, std::int16_t{0});
  s.recordLength = s.storedLength = s.savedRecordLength = n;
  s.currentRecord = number;
  s.recordModified = 0;
  s.recordTime = static_cast<double>(first) / header.frequency / 86400.0;
  s.normaliseEpochGrid();
  return true;
}

bool WfdbRecordSource::moveTo(StudyState& s, int number, Interaction& ui) {
  std::string reason;
  long long clipped = 0;
  if (number < 1 || number > pages || !load(s, number, reason, clipped)) {
    if (reason.empty()) reason = kNoFrames;
    ui.message(kFilePrefix + s.recordFileName + kNotRead + reason + ".");
    return false;
  }
  return true;
}

}  // namespace

bool openWfdb(StudyState& s, const std::string& path, Interaction& ui) {
  const std::string name = baseName(path);
  auto source = std::make_unique<WfdbRecordSource>();
  std::string reason;
  auto refuse = [&] {
    ui.message(kFilePrefix + name + kNotRead + reason + ".");
    return false;
  };
  std::string text;
  if (!readSmallFile(path, text, 1 << 20)) {
    reason = "заголовок не читается";
    return refuse();
  }
  if (!parseWfdbHeader(text, source->header, reason)) return refuse();
  const WfdbHeader& h = source->header;
  if (!source->files.open(h, directoryOf(path), reason)) return refuse();
  source->frames = wfdbFramesAvailable(h, source->files.files);
  if (source->frames <= 0) {
    reason = kNoFrames;
    return refuse();
  }
  const long long pages = (source->frames + kWfdbPageSamples - 1) / kWfdbPageSamples;
  source->pages = static_cast<int>(std::min<long long>(pages, 32767));
  for (const WfdbSignal& sig : h.signals) source->scales.push_back(wfdbCodeScale(sig));
  std::string base = path;
  if (extensionLower(base) == ".hea") base.resize(base.size() - 4);
  const std::string atr = base + ".atr";
  std::vector<std::string> notices;
  if (fileExists(atr)) {
    std::string why;
    if (!readWfdbAnnotationFile(atr, source->annotations, why)) notices.push_back("Аннотации " + baseName(atr) + " не прочитаны: " + why + ".");
    std::stable_sort(source->annotations.begin(), source->annotations.end(),
                     [](const WfdbAnnotation& a, const WfdbAnnotation& b) { return a.sample < b.sample; });
  }
  const int rate = static_cast<int>(std::lround(h.frequency));
  if (rate < 1 || rate > 65535) {
    reason = "частота дискретизации вне 1..65535 Гц";
    return refuse();
  }
  if (std::fabs(h.frequency - rate) > 1e-6) notices.push_back("Частота " + formatNumber(h.frequency) + " Гц округлена до " + integerText(rate) + " Гц.");
  if (static_cast<int>(h.signals.size()) > kMaxChannels)
    notices.push_back("Прочитаны первые " + integerText(kMaxChannels) + " сигналов из " + integerText(static_cast<int>(h.signals.size())) + ".");
  if (pages > 32767) notices.push_back("Прочитаны первые 32767 страниц.");

  // Checked; the record becomes the study's recording.
  s.leaveTransformView(true);
  closeRecordFile(s);
  s.recordFilePath = path;
  s.recordFileName = name;
  s.pendingChannelCount = 0;
  s.channelCount = std::min<int>(static_cast<int>(h.signals.size()), kMaxChannels);
  s.sampleRate = rate;
  const auto electrodes = readElectrodeTable(s.programDir + "eeg20.ini");
  for (int c = 0; c < s.channelCount; ++c) {
    const WfdbSignal& sig = h.signals[static_cast<std::size_t>(c)];
    std::string label = sig.description.empty() ? "s" + std::to_string(c) : sig.description;
    std::string shortName = utf8Substr(label, 0, 5);
    while (!shortName.empty() && shortName.back() == ' ') shortName.pop_back();
    const ChannelPlace place = placeChannel(shortName, label, electrodes);
    s.channelNames[static_cast<std::size_t>(c)] = shortName;
    s.channelPosX[static_cast<std::size_t>(c)] = place.posX;
    s.channelPosY[static_cast<std::size_t>(c)] = place.posY;
    s.leadPairs[static_cast<std::size_t>(c)] = place.pair;
    const WfdbCodeScale& sc = source->scales[static_cast<std::size_t>(c)];
    s.zeroLevel[c] = sc.zeroLevel;
    s.calibUnits[c] = sc.calibUnits;
    s.calibValue[c] = sc.calibValue;
  }
  s.leadPairCount = 0;
  s.referenceKind = 0;
  s.markChannelCount = 1;
  s.recordCount = source->pages;
  s.examHeader = foreignExamHeader(h.recordName, "", "", h.comments.empty() ? "" : h.comments.front());
  s.recordDate = 0;
  s.epochLength = s.epochStep = 256;
  s.resetViewAfterOpen();
  WfdbRecordSource* src = source.get();
  s.recordSource = std::move(source);
  long long clipped = 0;
  if (!src->load(s, 1, reason, clipped)) {
    // the first page was sized from the files, so this means the files changed under us
    ui.message(kFilePrefix + name + kNotRead + reason + ".");
    return false;
  }
  s.shownChannelCount = s.channelCount;
  if (clipped > 0) notices.push_back(integerText(static_cast<int>(std::min<long long>(clipped, 2000000000))) + " отсчётов вне 16-битных кодов ограничены.");
  for (const std::string& n : notices) ui.message(n);
  return true;
}

}  // namespace velor
