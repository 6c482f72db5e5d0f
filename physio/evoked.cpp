#include "physio/evoked.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "core/formula.h"
#include "core/numtext.h"
#include "core/stored_records.h"
#include "core/record_snapshot.h"
#include "core/record_source.h"
#include "core/settings.h"
#include "core/text.h"
#include "core/trace_ops.h"
#include "eeg/fft_filter.h"
#include "physio/evoked_texts.h"

namespace velor {

namespace {

std::string flag(bool b) { return b ? "1" : "0"; }

double numberOr(const std::string& text, double fallback) {
  const auto v = parseNumber(text);
  return v ? *v : fallback;
}

bool isEegChannel(const StudyState& s, int c) { return s.channelPosX[static_cast<std::size_t>(c)] < 240; }

}  // namespace

// --- settings -----------------------------------------------------------------

std::vector<std::string> evokedSettingsLines(const EvokedSettings& s) {
  std::vector<std::string> lines;
  lines.push_back(utf8Fit(s.header, kHeaderChars));
  lines.push_back(formatNumber(s.epochStart));
  lines.push_back(formatNumber(s.epochEnd));
  lines.push_back(formatNumber(s.filterLow));
  lines.push_back(formatNumber(s.filterHigh));
  lines.push_back(s.condition);
  lines.push_back(s.reference);
  lines.push_back(std::to_string(s.gain));
  lines.push_back(flag(s.stepByStep));
  lines.push_back(formatNumber(s.artefactMicroVolts));
  lines.push_back(formatNumber(s.artefactSeconds));
  lines.push_back(std::to_string(s.smoothing));
  for (int col = 0; col < 4; ++col)
    for (const PeakRow& r : s.peaks)
      lines.push_back(col == 0 ? r.label : col == 1 ? r.sign : col == 2 ? r.tMin : r.tMax);
  lines.push_back(flag(s.zeroCorrection));
  lines.push_back(std::to_string(s.potentialType));
  return lines;
}

bool readEvokedSettings(const std::string& path, EvokedSettings& out) {
  const auto lines = readTextLines(path);
  if (!lines || lines->size() < 82) return false;
  const auto& l = *lines;
  EvokedSettings s = out;
  s.header = utf8Fit(l[0], kHeaderChars);
  s.epochStart = numberOr(l[1], s.epochStart);
  s.epochEnd = numberOr(l[2], s.epochEnd);
  s.filterLow = numberOr(l[3], s.filterLow);
  s.filterHigh = numberOr(l[4], s.filterHigh);
  s.condition = trimSpaces(l[5]);
  s.reference = trimSpaces(l[6]);
  s.gain = std::clamp(static_cast<int>(numberOr(l[7], 1)), 1, 15);
  s.stepByStep = trimSpaces(l[8]) == "1";
  s.artefactMicroVolts = numberOr(l[9], 0);
  s.artefactSeconds = numberOr(l[10], 0);
  s.smoothing = std::clamp(static_cast<int>(numberOr(l[11], 0)), 0, 10);
  for (int col = 0; col < 4; ++col)
    for (int r = 0; r < kPeakRows; ++r) {
      const std::string& v = l[static_cast<std::size_t>(12 + col * kPeakRows + r)];
      PeakRow& p = s.peaks[static_cast<std::size_t>(r)];
      (col == 0 ? p.label : col == 1 ? p.sign : col == 2 ? p.tMin : p.tMax) = v;
    }
  s.zeroCorrection = trimSpaces(l[80]) == "1";
  s.potentialType = numberOr(l[81], 0) == 1 ? 1 : 0;
  out = s;
  return true;
}

bool writeEvokedSettings(const std::string& path, const EvokedSettings& s) {
  return writeTextLines(path, evokedSettingsLines(s));
}

bool readEvokedArchive(const std::string& path, EvokedSettings& out, StudyState& s) {
  if (!readEvokedSettings(path, out)) return false;
  s.examHeader = out.header;
  return true;
}

// --- reference points -----------------------------------------------------------

bool parseReferencePoint(const std::string& text, int channelCount, ReferencePoint& out, std::string& message) {
  const std::string t = trimSpaces(text);
  const char letter = t.empty() ? '\0' : static_cast<char>(std::toupper(static_cast<unsigned char>(t[0])));
  if (std::string_view("TSMECIOP").find(letter) == std::string_view::npos || letter == '\0') {
    message = kEpWrongReferenceKind;
    return false;
  }
  std::size_t end = 1;
  while (end < t.size() && t[end] != ' ' && t[end] != '[') ++end;
  const std::string param = t.substr(1, end - 1);
  ReferencePoint r;
  r.kind = static_cast<ReferenceKind>(letter);
  bool ok = !param.empty();
  if (letter == 'I' || letter == 'O' || letter == 'P') {
    ok = ok && param.size() <= 2 &&
         std::all_of(param.begin(), param.end(), [](char c) { return std::isxdigit(static_cast<unsigned char>(c)); });
    if (ok) r.code = static_cast<int>(std::strtol(param.c_str(), nullptr, 16));
  } else if (letter == 'T') {
    const auto v = parseNumber(param);
    ok = v.has_value() && std::isfinite(*v);
    if (ok) r.seconds = *v;
  } else {
    const auto v = parseNumber(param);
    ok = v.has_value() && *v == std::trunc(*v) && std::abs(*v) < 1000;
    if (ok) r.code = static_cast<int>(*v);
    if (ok && letter == 'S') ok = r.code >= 0 && r.code <= 16;
    // Channels count from 1 up to the last channel of the record.
    if (ok && letter != 'S') ok = r.code >= 1 && r.code <= channelCount;
  }
  if (!ok) {
    message = kEpWrongReferenceParameter;
    return false;
  }
  out = r;
  return true;
}

namespace {

// The samples of one record: the record in memory, or one read straight from
// the file while the state keeps another.
struct RecordSamples {
  int length = 0;
  const std::int16_t* const* channels = nullptr;
  const std::int16_t* mark = nullptr;  // nullptr: no mark channel

  static RecordSamples of(const StudyState& s) {
    return {s.recordLength, s.channelData.data(), s.markChannelCount > 0 ? s.markChannel : nullptr};
  }
};

int findIn(const StudyState& s, const RecordSamples& r, const ReferencePoint& ref, int h, int templateStart,
           int templateLength) {
  const int L = r.length;
  if (h < 0) h = 0;
  if (h >= L) return -1;
  const std::int16_t* mark = r.mark;
  switch (ref.kind) {
    case ReferenceKind::Time:
      return h;
    case ReferenceKind::Stimulus:
      if (!mark) return -1;
      if (ref.code == 0) {
        for (int i = std::max(h, 1); i < L; ++i)
          if (mark[i] != mark[i - 1]) return i;
      } else {
        const int bit = 1 << (ref.code - 1);
        for (int i = h; i < L; ++i)
          if (mark[i] & bit) return i;
      }
      return -1;
    case ReferenceKind::Low:
    case ReferenceKind::High:
      if (!mark) return -1;
      for (int i = h; i < L; ++i) {
        const int v = static_cast<std::uint16_t>(mark[i]);
        if ((ref.kind == ReferenceKind::Low ? (v & 0xFF) : (v >> 8)) == ref.code) return i;
      }
      return -1;
    case ReferenceKind::Marker: {
      const std::int16_t* x = r.channels[ref.code - 1];
      for (int i = h; i < L; ++i)
        if (x[i] == kMarkCode) return i;
      return -1;
    }
    case ReferenceKind::Event: {
      const std::int16_t* x = r.channels[ref.code - 1];
      const int z = s.zeroLevel[ref.code - 1];
      for (int i = h; i + 2 < L; ++i)
        if (x[i] == z && x[i + 1] != z && x[i + 2] == z) return i;
      return -1;
    }
    case ReferenceKind::Copy: {
      // The selected interval against every position of one template length
      // from h on, inside the record only.
      const int n = templateLength;
      if (n <= 0 || templateStart < 0 || templateStart + n > L) return -1;
      const std::int16_t* x = r.channels[ref.code - 1];
      const double z = s.zeroLevel[ref.code - 1];
      double aa = 0;
      for (int j = 0; j < n; ++j) aa += (x[templateStart + j] - z) * (x[templateStart + j] - z);
      for (int i = h; i < h + n && i + n <= L; ++i) {
        double ab = 0, bb = 0;
        for (int j = 0; j < n; ++j) {
          const double a = x[templateStart + j] - z, b = x[i + j] - z;
          ab += a * b;
          bb += b * b;
        }
        if (aa > 0 && bb > 0 && ab / std::sqrt(aa * bb) * 100 > 80) return i;
      }
      return -1;
    }
    case ReferenceKind::External:
      return -1;  // no converter board library here
  }
  return -1;
}

}  // namespace

int findReferencePoint(const StudyState& s, const ReferencePoint& ref, int h, int templateStart, int templateLength) {
  return findIn(s, RecordSamples::of(s), ref, h, templateStart, templateLength);
}

// --- averaging ------------------------------------------------------------------

namespace {

// sums[j] += x[0][j] + … + x[K − 1][j], j < len.
template <int K>
[[gnu::always_inline]] inline void addRows(std::int32_t* sums, const std::int16_t* const* x, int len) {
  const std::int16_t* r[K];
  for (int k = 0; k < K; ++k) r[k] = x[k];
  for (int j = 0; j < len; ++j) {
    std::int32_t v = r[0][j];
    for (int k = 1; k < K; ++k) v += r[k][j];
    sums[j] += v;
  }
}

[[gnu::always_inline]] inline void addRowsUpTo8(std::int32_t* sums, const std::int16_t* const* x, int count, int len) {
  switch (count) {
    case 1: addRows<1>(sums, x, len); break;
    case 2: addRows<2>(sums, x, len); break;
    case 3: addRows<3>(sums, x, len); break;
    case 4: addRows<4>(sums, x, len); break;
    case 5: addRows<5>(sums, x, len); break;
    case 6: addRows<6>(sums, x, len); break;
    case 7: addRows<7>(sums, x, len); break;
    case 8: addRows<8>(sums, x, len); break;
    default: break;
  }
}

void addRowsPlain(std::int32_t* sums, const std::int16_t* const* x, int count, int len) {
  addRowsUpTo8(sums, x, count, len);
}

#if defined(__x86_64__)
// The same with 256-bit vectors, where the processor has them.
__attribute__((target("avx2"))) void addRowsAvx2(std::int32_t* sums, const std::int16_t* const* x, int count,
                                                 int len) {
  addRowsUpTo8(sums, x, count, len);
}
#endif

// The samples of `count` (at most 8) epochs of one channel added to its sums.
void addEpochSamples(std::int32_t* sums, const std::int16_t* const* x, int count, int len) {
#if defined(__x86_64__)
  static const auto add = __builtin_cpu_supports("avx2") ? addRowsAvx2 : addRowsPlain;
  add(sums, x, count, len);
#else
  addRowsPlain(sums, x, count, len);
#endif
}

struct Run {
  StudyState& s;
  const EvokedSettings& p;
  EvokedMode mode;
  SpectralEngine& engine;
  Interaction& ui;
  EvokedOutcome& out;
  ReferencePoint ref;
  int start = 0, length = 0;
  int level = 0, minRun = 1;
  int templateStart = 0, templateLength = 0;
  CompiledFormula condition;
  // The sums, channel by channel, `length` each: acc + part (acc is only
  // made when part has to be emptied into it).
  std::vector<std::int64_t> acc;
  std::vector<std::uint16_t> zero;
  bool asking = false, aborted = false;

  bool rejected(const RecordSamples& r, int from) const {
    for (int c = 0; c < s.channelCount; ++c) {
      if (!isEegChannel(s, c)) continue;
      const std::int16_t* x = r.channels[c] + from;
      const int z = s.zeroLevel[c];
      int run = 0;
      for (int j = 0; j < length; ++j) {
        run = std::abs(x[j] - z) > level ? run + 1 : 0;
        if (run >= minRun) return true;
      }
    }
    return false;
  }

  // Epoch sums are gathered in 32-bit lanes (twice as many per vector as
  // 64-bit ones) and moved into the exact 64-bit sums before they could
  // overflow: a term of the averaged response is a code (at most 2^15 in
  // magnitude), so 65535 of them fit; one of ERD/S is below 2^21 (a zero
  // level and 15 times a difference of two), so 512 of them fit.
  int flushEvery() const { return p.potentialType == 1 ? 512 : 65535; }
  std::vector<std::int32_t> part;
  int partCount = 0;
  // What an epoch adds to every sample of a channel alike (minus its own
  // mean with zero correction) is summed apart, once per channel and epoch.
  std::vector<std::int64_t> channelShift;
  // Accepted epochs of the averaged response not yet added, as their first
  // samples (channel by channel, kBatch places each): several epochs are
  // added in one pass, so that the sums are read and written once for all of
  // them. The samples must stay where they are until addPending().
  static constexpr int kBatch = 8;
  std::vector<const std::int16_t*> pending;
  int pendingCount = 0;

  void fold() {
    if (partCount == 0) return;
    if (acc.empty()) acc.assign(part.size(), 0);
    for (std::size_t i = 0; i < acc.size(); ++i) {
      acc[i] += part[i];
      part[i] = 0;
    }
    partCount = 0;
  }

  void addPending() {
    if (pendingCount == 0) return;
    if (partCount + pendingCount > flushEvery()) fold();
    for (int c = 0; c < s.channelCount; ++c)
      addEpochSamples(part.data() + static_cast<std::size_t>(c) * length,
                      pending.data() + static_cast<std::size_t>(c) * kBatch, pendingCount, length);
    partCount += pendingCount;
    pendingCount = 0;
  }

  void settle() { addPending(); }

  void accumulate(const RecordSamples& r, int from) {
    const bool erd = p.potentialType == 1;
    const int len = length;
    for (int c = 0; c < s.channelCount; ++c) {
      const std::int16_t* x = r.channels[c] + from;
      const std::int32_t z = s.zeroLevel[c];
      std::int32_t e = z;
      if (p.zeroCorrection) {
        std::int64_t sum = 0;
        for (int j = 0; j < len; ++j) sum += x[j];
        e = static_cast<std::int32_t>(sum / len);
      }
      // Exact sums: a running mean rounded upwards on every step gathers its
      // rounding as it goes, so its error grows with the number of epochs.
      channelShift[static_cast<std::size_t>(c)] -= e - z;
      if (erd) {
        std::int32_t* a = part.data() + static_cast<std::size_t>(c) * len;
        const std::int32_t gain = p.gain;
        for (int j = 0; j < len; ++j) {
          const std::int32_t d = x[j] - z;
          a[j] += z + (d < 0 ? -d : d) * gain;
        }
      } else {
        pending[static_cast<std::size_t>(c) * kBatch + static_cast<std::size_t>(pendingCount)] = x;
      }
    }
    ++out.epochs;
    if (erd) {
      if (++partCount == flushEvery()) fold();
    } else if (++pendingCount == kBatch) {
      addPending();
    }
  }

  // The average as codes of channel c (after settle()): around the zero level times the gain (ERP).
  std::int16_t shown(int c, int j) const {
    // The mean rounded half up.
    const std::size_t i = static_cast<std::size_t>(c) * length + j;
    const std::int64_t sum = (acc.empty() ? 0 : acc[i]) + part[i] + channelShift[static_cast<std::size_t>(c)];
    const double a = std::floor(static_cast<double>(sum) / out.epochs + 0.5);
    const double z = s.zeroLevel[c];
    return clampSignalCode(p.potentialType == 1 ? a : z + (a - z) * p.gain);
  }

  // One record (or one position inside it): false when the search in it ends.
  bool epochAt(const RecordSamples& r, int point, int recordNumber) {
    const int from = point + start;
    if (from < 0 || from + length > r.length) {
      ++out.skipped;
      return true;
    }
    if (level > 0 && rejected(r, from)) {
      ++out.rejected;
      return true;
    }
    accumulate(r, from);
    if (asking && !aborted) {
      settle();
      if (mode == EvokedMode::Records)
        for (int c = 0; c < s.channelCount; ++c)
          for (int j = 0; j < length; ++j) s.channelData[static_cast<std::size_t>(c)][j] = shown(c, j);
      const std::string q = std::string(kEpStepRecord) + std::to_string(recordNumber) + kEpStepAveraged +
                            std::to_string(out.epochs) + "\r\n" + kEpStepNext + "\r\n" + kEpStepHint;
      const int answer = ui.choose(kEpCaption, kEpCaption, q, {{"Да", 1}, {"Нет", 2}, {"Abort", 3}});
      if (answer == 2) asking = false;
      if (answer == 3 || answer == 0) aborted = true;
    }
    return true;
  }

  bool conditionHolds() {
    if (condition.empty()) return true;
    FormulaContext ctx;
    ctx.study = &s;
    ctx.i = 1;
    ctx.j = 1;
    const FormulaValue v = evaluateFormula(condition, ctx);
    return v.ok() && v.value != 0;
  }

  void filterForErd() {
    if (p.potentialType == 1) fftBandPass(engine, s, 0, s.channelCount - 1, p.erdHigh / s.sampleRate, p.erdLow / s.sampleRate);
  }

  // The record in memory: the band filter of ERD/S and the condition act on it.
  void oneRecord(int recordNumber) {
    if (timeBeyond(s.recordLength)) return;
    filterForErd();
    if (!conditionHolds()) return;
    searchRecord(RecordSamples::of(s), recordNumber);
    addPending();  // the next record replaces these samples
  }

  int timePoint() const {
    return ref.kind == ReferenceKind::Time ? std::max(0, static_cast<int>(std::trunc(ref.seconds * s.sampleRate))) : 0;
  }
  bool timeBeyond(int recordLength) const { return ref.kind == ReferenceKind::Time && timePoint() >= recordLength; }

  void searchRecord(const RecordSamples& r, int recordNumber) {
    int h = timePoint();
    if (mode == EvokedMode::Records) {
      const int point = findIn(s, r, ref, h, templateStart, templateLength);
      if (point >= 0) epochAt(r, point, recordNumber);
      return;
    }
    // Inside the record: the next search starts one step after the point
    // found, so that one reference point is never averaged twice.
    const int step = templateLength;
    while (!aborted) {
      const int point = findIn(s, r, ref, h, templateStart, templateLength);
      if (point < 0) break;
      epochAt(r, point, recordNumber);
      h = point + step;
      if (h + step > r.length) break;
    }
  }

  // Records 1..count straight from the file, when nothing needs them in
  // memory (no band filter, no condition, no step-by-step display): the same
  // epochs as reading each record in turn, without copying every record into
  // the state. Afterwards the state holds the last record read, as the walk
  // through the file would leave it. False when the file cannot be walked
  // this way; nothing was averaged then.
  bool fromFile(RecordSource& source, int count) {
    if (p.potentialType == 1 || !condition.empty() || asking) return false;
    int failedAt = 0;
    int visited = 0;
    long long visitedAt = 0;
    const bool whole = visitStoredRecords(s, 1, count, [&](const StoredRecordView& v) {
      visited = v.number;
      visitedAt = v.offset;
      if (!timeBeyond(v.recordLength)) searchRecord({v.recordLength, v.channels, v.mark}, v.number);
      if (!v.samplesStay) addPending();
      return true;
    }, failedAt);
    if (!whole && failedAt == 0) return false;
    // The state as the walk leaves it; a record that could not be read is
    // tried once more through navigation, which tells why.
    s.recordModified = 0;
    if (visited > 0) moveToStoredRecord(s, visited, visitedAt, ui);
    if (!whole) source.moveTo(s, failedAt, ui);
    return true;
  }
};

}  // namespace

bool averageEvoked(StudyState& s, const EvokedSettings& settings, EvokedMode mode, SpectralEngine& engine,
                   Interaction& ui, EvokedOutcome& outcome) {
  outcome = EvokedOutcome{};
  Run r{s, settings, mode, engine, ui, outcome};
  std::string message;
  if (!parseReferencePoint(settings.reference, s.channelCount, r.ref, message)) {
    ui.message(message);
    return false;
  }
  const int fs = s.sampleRate;
  const int L = s.recordLength;
  r.start = static_cast<int>(std::trunc(fs * settings.epochStart));
  int g = static_cast<int>(std::trunc(fs * settings.epochEnd)) - r.start;
  if (g <= 0 || r.start >= L) {
    ui.message(kEpWrongEpoch);
    return false;
  }
  g = std::min(g, kMaxEpochSamples);
  if (r.start + g > L && r.start < L - 1 &&
      ui.ask(std::string(kEpTooLongPrefix) + formatNumber(static_cast<double>(L - r.start) / fs) + kEpTooLongSuffix))
    g = L - r.start - 1;
  if (r.start < 0 && g <= 0) {
    ui.message(kEpWrongEpoch);
    return false;
  }
  r.length = g;
  if (r.ref.kind == ReferenceKind::Copy || mode == EvokedMode::InsideRecord) {
    if (s.selectionAnchor < 0 || s.cursorPos == s.selectionAnchor) {
      ui.message(kEpNoSelection);
      return false;
    }
    r.templateStart = s.selectionAnchor;
    r.templateLength = std::min(std::abs(s.cursorPos - s.selectionAnchor), kMaxEpochSamples);
    // The template is read from the record, so it must lie inside it.
    if (r.templateStart + r.templateLength > L) r.templateLength = L - r.templateStart;
    if (r.templateLength <= 0) {
      ui.message(kEpNoSelection);
      return false;
    }
  }
  if (r.ref.kind == ReferenceKind::External) ui.message(kEpExternalUnavailable);
  if (settings.artefactMicroVolts != 0) {
    if (s.calibValue[0] == 0) {
      ui.message(kEpZeroCalibration);
      return false;
    }
    r.level = static_cast<int>(std::trunc(settings.artefactMicroVolts / s.calibValue[0] * s.calibUnits[0]));
    r.minRun = std::max(1, static_cast<int>(std::trunc(fs * settings.artefactSeconds)));
    if (r.level <= 0) {
      ui.message(kEpZeroCalibration);
      return false;
    }
  }
  const int gain = std::clamp(settings.gain, 1, 15);
  for (int c = 0; c < s.channelCount; ++c)
    if (s.calibValue[c] / gain == 0) {
      ui.message(std::string(kEpGainAboveCalibration) + s.channelNames[static_cast<std::size_t>(c)]);
      return false;
    }
  if (settings.potentialType == 1) {
    if (!(settings.erdLow >= 0 && settings.erdHigh > settings.erdLow)) {
      ui.message(kEpErdBand);
      return false;
    }
  }
  if (!trimSpaces(settings.condition).empty() &&
      !compileFormula(settings.condition, FunctionNames::defaults(), r.condition, ui))
    return false;
  EvokedSettings p = settings;
  p.gain = gain;
  Run run{s, p, mode, engine, ui, outcome, r.ref, r.start, r.length, r.level, r.minRun, r.templateStart,
          r.templateLength, std::move(r.condition)};
  run.part.assign(static_cast<std::size_t>(s.channelCount) * run.length, 0);
  run.channelShift.assign(static_cast<std::size_t>(s.channelCount), 0);
  run.pending.assign(static_cast<std::size_t>(s.channelCount) * Run::kBatch, nullptr);
  run.asking = p.stepByStep;

  RecordSnapshot before;
  before.capture(s);
  const int originalRecord = s.currentRecord;
  RecordSource* source = openRecordSource(s);
  const bool stepping = mode == EvokedMode::Records && source && source->canStep() && s.recordCount > 0;
  const int modifiedBefore = s.recordModified;
  if (stepping) {
    const int count = source->recordCount(s);
    const bool streamed = run.fromFile(*source, count);
    for (int k = 1; k <= count && !run.aborted && !streamed; ++k) {
      s.recordModified = 0;  // only the band filter of ERD/S changed it
      if (s.currentRecord != k || k == 1) {
        if (!source->moveTo(s, k, ui)) break;
      }
      run.oneRecord(k);
    }
  } else {
    run.oneRecord(std::max(1, s.currentRecord));
  }

  auto restore = [&] {
    if (stepping) {
      s.recordModified = 0;
      source->moveTo(s, originalRecord, ui);
    }
    before.restore(s);
    s.recordModified = modifiedBefore;
  };

  if (outcome.epochs == 0) {
    restore();
    ui.message(kEpNothingAveraged);
    if (outcome.rejected > 0) ui.message(std::string(kEpRejectedPrefix) + std::to_string(outcome.rejected) + kEpRejectedSuffix);
    return false;
  }
  // The averaged record.
  if (stepping) before.restore(s);  // the channel table of the file, not of the last ERD-filtered record
  const int G = run.length;
  run.settle();
  // Channels of a shorter last record still get the whole average.
  for (int c = 0; c < s.channelCount; ++c) {
    std::int16_t* x = s.channelData[static_cast<std::size_t>(c)];
    for (int j = 0; j < G; ++j) x[j] = run.shown(c, j);
    for (int pass = 0; pass < p.smoothing; ++pass) smooth121(x, G);
  }
  if (s.markChannelCount > 0) std::fill(s.markChannel, s.markChannel + kMaxSamples, std::int16_t{0});
  if (p.potentialType == 1) {
    // The band power change in per cent of the baseline.
    std::vector<long long> m(static_cast<std::size_t>(s.channelCount));
    for (int c = 0; c < s.channelCount; ++c) {
      long long sum = 0;
      for (int j = 0; j < G; ++j) sum += s.channelData[static_cast<std::size_t>(c)][j] - s.zeroLevel[c];
      m[static_cast<std::size_t>(c)] = sum / G;
    }
    const int keepLength = s.recordLength;
    s.recordLength = G;
    fftBandPass(engine, s, 0, s.channelCount - 1, p.erdHigh / fs, 0);
    const int b0 = std::clamp(static_cast<int>(std::trunc(fs * p.baselineStart)), 0, G);
    const int b1 = std::clamp(static_cast<int>(std::trunc(fs * p.baselineEnd)), 0, G);
    std::vector<int> newZero(static_cast<std::size_t>(s.channelCount)), q(newZero.size());
    for (int c = 0; c < s.channelCount; ++c) {
      const std::int16_t* x = s.channelData[static_cast<std::size_t>(c)];
      long long sum = 0;
      for (int j = 0; j < G; ++j) sum += x[j] - s.zeroLevel[c];
      // The envelope keeps its mean level whether or not the filter re-centred it.
      const long long z = s.zeroLevel[c] + sum / G - m[static_cast<std::size_t>(c)];
      newZero[static_cast<std::size_t>(c)] = static_cast<int>(z);
      long long bsum = 0;
      for (int j = b0; j < b1; ++j) bsum += x[j] - z;
      q[static_cast<std::size_t>(c)] = b1 > b0 ? static_cast<int>(bsum / (b1 - b0)) : 0;
      if (q[static_cast<std::size_t>(c)] == 0) {
        s.recordLength = keepLength;
        restore();
        ui.message(kEpErdZeroBaseline);
        return false;
      }
    }
    for (int c = 0; c < s.channelCount; ++c) {
      std::int16_t* x = s.channelData[static_cast<std::size_t>(c)];
      const double z = newZero[static_cast<std::size_t>(c)], qq = q[static_cast<std::size_t>(c)];
      for (int j = 0; j < G; ++j) x[j] = clampSignalCode((x[j] - qq - z) / qq * 2000 + 2048);
      s.zeroLevel[c] = 2048;
      s.calibUnits[c] = 2000;
      s.calibValue[c] = 100;
    }
  } else {
    for (int c = 0; c < s.channelCount; ++c) s.calibValue[c] = static_cast<std::uint16_t>(s.calibValue[c] / gain);
  }
  s.recordLength = G;
  // The epoch grid follows the new length, as after any edit of the length
  // (a saved average carries it in its header).
  s.epochCount = s.computeEpochCount();
  s.recordModified = 1;
  s.cursorPos = std::min(100, G - 1);
  s.selectionAnchor = -1;
  s.currentRecord = 1;
  s.recordCount = -outcome.epochs;
  outcome.averaged = true;
  if (outcome.rejected > 0) ui.message(std::string(kEpRejectedPrefix) + std::to_string(outcome.rejected) + kEpRejectedSuffix);
  return true;
}

// --- peaks ------------------------------------------------------------------------

PeakTable measurePeaks(const StudyState& s, const EvokedSettings& settings) {
  PeakTable t;
  const int L = s.recordLength;
  const double fs = s.sampleRate;
  std::string head = "Пик    ";
  for (int c = 0; c < s.channelCount; ++c)
    if (isEegChannel(s, c)) {
      t.channels.push_back(c);
      head += padLeft(trimSpaces(s.channelNames[static_cast<std::size_t>(c)]), 7);
    }
  auto phys = [&](int c, int code) {
    const double units = std::max<int>(1, s.calibUnits[c]);
    return (code - static_cast<int>(s.zeroLevel[c])) / units * s.calibValue[c];
  };
  for (int r = 0; r < kPeakRows - 1; ++r) {
    const PeakRow& row = settings.peaks[static_cast<std::size_t>(r)];
    if (trimSpaces(row.label).empty()) break;
    PeakMeasure m;
    m.label = trimSpaces(row.label);
    m.positive = trimSpaces(row.sign) == "+";
    // The window is kept inside the averaged record.
    const int a = std::clamp(static_cast<int>(std::trunc(fs * numberOr(row.tMin, 0) + 0.5)), 0, std::max(0, L - 1));
    const int b = std::clamp(static_cast<int>(std::trunc(fs * numberOr(row.tMax, 0) + 0.5)), 0, std::max(0, L - 1));
    for (int c : t.channels) {
      const std::int16_t* x = s.channelData[static_cast<std::size_t>(c)];
      int best = a;
      for (int i = a; i <= b; ++i)
        if (m.positive ? x[i] > x[best] : x[i] < x[best]) best = i;
      m.amplitude.push_back(L > 0 && a <= b ? phys(c, x[best]) : 0.0);
      double lat = L > 0 && a <= b ? best / fs : 0.0;
      if (lat > 0.1) lat = std::trunc(lat * 1000) / 1000;
      else if (lat > 0.01) lat = std::trunc(lat * 10000) / 10000;
      m.latency.push_back(lat);
    }
    t.rows.push_back(std::move(m));
  }
  std::string text = head + "\n" + kEpAmplitudes + "\n";
  auto label = [](const std::string& l) {
    std::string out = l;
    while (utf8Length(out) < 7) out += ' ';
    return out;
  };
  for (const PeakMeasure& m : t.rows) {
    text += label(m.label);
    for (double v : m.amplitude) text += padLeft(formatNumber(v), 7);
    text += "\n";
  }
  text += std::string(kEpLatencies) + "\n";
  for (const PeakMeasure& m : t.rows) {
    text += label(m.label);
    for (double v : m.latency) text += padLeft(formatNumber(v), 7);
    text += "\n";
  }
  t.text = text;
  return t;
}

}  // namespace velor
