#include "viewer/record_reorganise.h"

#include <algorithm>
#include <cmath>

#include "core/binio.h"
#include "core/numtext.h"
#include "core/record_file.h"
#include "viewer/record_edit_texts.h"

namespace velor {

using namespace edit_text;

namespace {

constexpr long kMaxEpoch = 4095;        // samples of a new record, and of a waveform template
constexpr int kMaxOutputRecords = 32767;
constexpr double kCorrelationPercent = 80.0;

bool allDigits(std::string_view t, bool hex) {
  if (t.empty()) return false;
  for (char ch : t) {
    const bool digit = ch >= '0' && ch <= '9';
    const bool hexLetter = (ch >= 'a' && ch <= 'f') || (ch >= 'A' && ch <= 'F');
    if (!digit && !(hex && hexLetter)) return false;
  }
  return true;
}

}  // namespace

std::optional<ReferencePoint> parseReferencePoint(std::string_view text, int channelCount, std::string& error) {
  const std::string t = trimSpaces(text);
  error = kBadReferenceKind;
  if (t.empty()) return std::nullopt;
  char kind = t[0];
  if (kind >= 'a' && kind <= 'z') kind = static_cast<char>(kind - 'a' + 'A');
  if (std::string_view("TSMECIOP").find(kind) == std::string_view::npos) return std::nullopt;
  error = kBadReferenceParameter;
  std::string_view number(t);
  number.remove_prefix(1);
  number = number.substr(0, number.find_first_of(" ["));
  ReferencePoint p;
  p.kind = kind;
  switch (kind) {
    case 'T': {
      if (number.empty()) break;  // "T" alone: from the start of every record
      const auto v = parseNumber(number);
      if (!v || !std::isfinite(*v) || *v < 0 || *v > 1e6) return std::nullopt;
      p.seconds = *v;
      break;
    }
    case 'I':
    case 'O':
    case 'P':
      if (number.size() > 2 || !allDigits(number, true)) return std::nullopt;
      p.parameter = static_cast<int>(std::stoul(std::string(number), nullptr, 16));
      break;
    default: {
      if (number.size() > 5 || !allDigits(number, false)) return std::nullopt;
      const int v = std::stoi(std::string(number));
      if (kind == 'S') {
        if (v > 16) return std::nullopt;
      } else if (v < 1 || v > channelCount || v > kMaxChannels) {
        return std::nullopt;
      }
      p.parameter = v - 1;  // S0 becomes −1: any change of the mark channel
      break;
    }
  }
  error.clear();
  return p;
}

long findReferencePoint(const ReferenceSearch& r, const ReferencePoint& p, long h) {
  const long n = r.length;
  h = std::max(0L, h);
  if (h >= n) return -1;
  auto channel = [&r](int c) -> const std::int16_t* {
    return c >= 0 && static_cast<std::size_t>(c) < r.channels.size() ? r.channels[static_cast<std::size_t>(c)]
                                                                       : nullptr;
  };
  switch (p.kind) {
    case 'T':
      return h;
    case 'S':
    case 'I':
    case 'O': {
      if (r.mark == nullptr) return -1;
      const auto mark = [&r](long i) { return static_cast<unsigned>(static_cast<std::uint16_t>(r.mark[i])); };
      for (long i = h; i < n; ++i) {
        const unsigned v = mark(i);
        if (p.kind == 'S') {
          if (p.parameter < 0 ? (i > 0 && v != mark(i - 1)) : ((v >> p.parameter) & 1u) != 0) return i;
        } else if (p.kind == 'I' ? (v & 0xFFu) == static_cast<unsigned>(p.parameter)
                                 : ((v >> 8) & 0xFFu) == static_cast<unsigned>(p.parameter)) {
          return i;
        }
      }
      return -1;
    }
    case 'M': {
      const std::int16_t* x = channel(p.parameter);
      if (!x) return -1;
      for (long i = h; i < n; ++i)
        if (x[i] == kMarkCode) return i;
      return -1;
    }
    case 'E': {
      const std::int16_t* x = channel(p.parameter);
      if (!x) return -1;
      const int z = r.zeroLevel[static_cast<std::size_t>(p.parameter)];
      for (long i = h; i + 2 < n; ++i)
        if (x[i] == z && x[i + 1] != z && x[i + 2] == z) return i;
      return -1;
    }
    case 'C': {
      const std::int16_t* x = channel(p.parameter);
      const long len = static_cast<long>(r.waveform.size());
      if (!x || len == 0) return -1;
      const double z = r.zeroLevel[static_cast<std::size_t>(p.parameter)];
      double aa = 0;
      for (long j = 0; j < len; ++j) aa += (r.waveform[static_cast<std::size_t>(j)] - z) * (r.waveform[static_cast<std::size_t>(j)] - z);
      for (long i = h + 1; i <= h + len && i + len <= n; ++i) {
        double ab = 0, bb = 0;
        for (long j = 0; j < len; ++j) {
          const double a = r.waveform[static_cast<std::size_t>(j)] - z;
          const double b = x[i + j] - z;
          ab += a * b;
          bb += b * b;
        }
        if (aa > 0 && bb > 0 && ab / std::sqrt(aa * bb) * 100.0 > kCorrelationPercent) return i - 1;
      }
      return -1;
    }
    default:
      return -1;  // P: the converter board's peak search is not part of this build
  }
}

std::optional<ReorganisationPlan> planReorganisation(const StudyState& s, const ReorganisationSettings& settings,
                                                     Interaction& ui) {
  std::string error;
  const auto point = parseReferencePoint(settings.referencePoint, s.channelCount, error);
  if (!point) {
    ui.message(error);
    return std::nullopt;
  }
  ReorganisationPlan plan;
  plan.point = *point;
  const auto start = parseNumber(settings.epochStart);
  const auto end = parseNumber(settings.epochEnd);
  const double rate = s.sampleRate;
  const double a = start ? std::trunc(rate * *start) : NAN;
  const double b = end ? std::trunc(rate * *end) : NAN;
  if (rate <= 0 || !std::isfinite(a) || !std::isfinite(b) || std::fabs(a) > 1e9 || std::fabs(b) > 1e9 || b - a <= 0) {
    ui.message(kBadEpoch);
    return std::nullopt;
  }
  plan.epoch = std::min(static_cast<long>(b - a), kMaxEpoch);
  plan.startOffset = static_cast<long>(a);
  if (!trimSpaces(settings.condition).empty()) {
    ui.message("Условие отбора записей не может быть проверено в этой версии программы: очистите поле условия.");
    return std::nullopt;
  }
  const EditInterval sel = selectedInterval(s);
  plan.step = sel.selected ? sel.width : 1;
  switch (plan.point.kind) {
    case 'C': {
      const long n = std::clamp(s.recordLength, 0, kMaxSamples);
      const long len = std::min({sel.width, kMaxEpoch, n - sel.start});
      if (!sel.selected || sel.width <= 0 || sel.start < 0 || len <= 0) {
        ui.message(kBadMarker);
        return std::nullopt;
      }
      plan.step = std::min(plan.step, kMaxEpoch);
      const std::int16_t* x = s.channelData[static_cast<std::size_t>(plan.point.parameter)];
      plan.waveform.assign(x + sel.start, x + sel.start + len);
      plan.firstPosition = sel.start;
      break;
    }
    case 'T':
      plan.firstPosition = static_cast<long>(std::min(std::trunc(plan.point.seconds * rate), 1e9));
      break;
    default:
      plan.firstPosition = 0;
      break;
  }
  return plan;
}

int reorganiseRecords(RecordEditor& editor, StudyState& s, const ReorganisationPlan& plan,
                      const std::string& outputPath, Interaction& ui, Progress& progress) {
  const std::string refused = "Реорганизация не выполнена: ";
  if (!editingAllowed(s)) return 0;
  if (s.recordFileHandle < 0 || s.recordFileVersion == kVersionEdfStream) {
    ui.message(refused + "нет открытого файла записей (*.cad).");
    return 0;
  }
  const std::string source = s.recordFilePath;
  if (samePath(outputPath, source)) {
    ui.message(refused + "новые записи нельзя записать в читаемый файл " + baseName(source) + ".");
    return 0;
  }
  if (!editor.leaveRecord()) return 0;

  RecordFileHeader h;
  std::string reason;
  if (!readRecordFileHeader(source, h, reason)) {
    ui.message(refused + (reason.empty() ? "заголовок файла не читается" : reason) + ".");
    return 0;
  }
  std::vector<RecordInfo> records;
  scanRecords(source, h, records, reason);  // the sound records are used; a damaged tail is left out
  const int count = s.recordCount < 0 ? 1 : s.recordCount;
  if (static_cast<int>(records.size()) > count) records.resize(static_cast<std::size_t>(count));
  if (h.channelCount != s.channelCount) {
    ui.message(refused + "число каналов в памяти отличается от файла.");
    return 0;
  }

  AtomicFile out(outputPath);
  if (!out.ok() || !writeHeader(s, out.fd())) {
    ui.message(refused + "не удалось создать файл " + baseName(outputPath) + ".");
    return 0;
  }
  // The count field's place depends on the layout writeHeader chose.
  unsigned char signature[4] = {};
  const long long headerEnd = fdTell(out.fd());
  if (headerEnd < 0 || !fdSeek(out.fd(), 0) || !fdReadExact(out.fd(), signature, 4) || !fdSeek(out.fd(), headerEnd)) {
    ui.message(refused + "ошибка записи файла " + baseName(outputPath) + ".");
    return 0;
  }
  const int outVersion = signature[2] == '4' ? kVersionCA40 : kVersionCA30;

  const bool writeMarks = s.markChannelCount == 1;
  ReferenceSearch r;
  r.rate = s.sampleRate;
  for (int c = 0; c < h.channelCount; ++c) r.zeroLevel.push_back(s.zeroLevel[c]);
  r.waveform = plan.waveform;
  std::vector<std::vector<std::int16_t>> samples;
  int written = 0;
  const long L = plan.epoch;
  progress.begin("Реорганизация записей", static_cast<long>(records.size()));
  for (std::size_t k = 0; k < records.size() && written < kMaxOutputRecords; ++k) {
    if (!readRecordSamples(source, h, records[k], samples, reason)) {
      progress.end();
      ui.message(refused + "запись " + std::to_string(k + 1) + ": " + reason + ".");
      return 0;
    }
    r.channels.clear();
    for (int c = 0; c < h.channelCount; ++c) r.channels.push_back(samples[static_cast<std::size_t>(c)].data());
    r.mark = h.recordMarkChannels() == 1 ? samples.back().data() : nullptr;
    r.length = records[k].recordLength;
    for (long at = plan.firstPosition; written < kMaxOutputRecords;) {
      const long p = findReferencePoint(r, plan.point, at);
      if (p < 0 || !(r.length > p + L + plan.step)) break;
      const long from = std::max(0L, p + plan.startOffset);
      if (from + L > r.length) break;  // an epoch that starts late must still end inside the record
      ByteWriter w;
      w.u16(static_cast<unsigned>(L));
      w.u16(static_cast<unsigned>(L));
      for (const std::int16_t* x : r.channels)
        for (long i = 0; i < L; ++i) w.i16(x[from + i]);
      if (writeMarks)
        for (long i = 0; i < L; ++i) w.i16(r.mark ? r.mark[from + i] : 0);
      w.i32(encodeTimeOfDay(nowAsDayFraction(s)));
      w.u16(static_cast<unsigned>(L));
      if (!fdWriteAll(out.fd(), w.data().data(), w.size())) {
        progress.end();
        ui.message(refused + "ошибка записи файла " + baseName(outputPath) + ".");
        return 0;
      }
      ++written;
      at = p + L + plan.step;
    }
    if (!progress.step(static_cast<long>(k + 1))) {
      progress.end();
      return 0;
    }
  }
  progress.end();
  if (written == 0) {
    ui.message(refused + "не найдено ни одной опорной точки, после которой помещается эпоха; файл " +
               baseName(outputPath) + " не записан.");
    return 0;
  }
  unsigned char countField[2];
  putU16(countField, static_cast<std::uint16_t>(written));
  if (!fdSeek(out.fd(), recordCountOffset(outVersion)) || !fdWriteAll(out.fd(), countField, 2) || !out.commit()) {
    ui.message(refused + "ошибка записи файла " + baseName(outputPath) + ".");
    return 0;
  }
  openRecordFile(s, source, ui);
  s.cursorPos = std::clamp(100, 0, std::max(0, s.recordLength - 1));
  s.selectionAnchor = -1;
  return written;
}

int reorganisationCommand(RecordEditor& editor, StudyState& s, Interaction& ui, EditDialogs& dialogs,
                          const std::function<std::optional<std::string>()>& pickOutput, Progress& progress) {
  if (!editingAllowed(s)) return 0;
  ReorganisationSettings settings;
  if (!readReorganisationSettings(s.programDir, settings)) dialogs.settingsNotRead();
  if (!dialogs.reorganisationDialog(settings)) {
    s.dialogResult = 0;
    return 0;
  }
  s.dialogResult = 1;
  writeReorganisationSettings(s.programDir, settings);
  const auto plan = planReorganisation(s, settings, ui);
  if (!plan) return 0;
  const auto output = pickOutput ? pickOutput() : std::nullopt;
  if (!output || output->empty()) return 0;
  return reorganiseRecords(editor, s, *plan, *output, ui, progress);
}

}  // namespace velor
