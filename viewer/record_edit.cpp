#include "viewer/record_edit.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "core/numtext.h"
#include "core/record_file.h"
#include "core/record_source.h"
#include "core/settings.h"
#include "viewer/monitor.h"
#include "viewer/record_edit_texts.h"

namespace velor {

using namespace edit_text;

namespace {

constexpr long kZeroCorrectionSpan = 256;  // samples the zero correction averages at most

long validLength(const StudyState& s) { return std::clamp(s.recordLength, 0, kMaxSamples); }

std::int16_t toCode(long long v) { return static_cast<std::int16_t>(std::clamp<long long>(v, -32768, 32767)); }

bool isMark(std::int16_t v) { return v == kMarkCode; }

// The channel single-channel commands work on, or −1 when there is none.
int editChannel(const StudyState& s) {
  if (s.channelCount < 1 || s.channelCount > kMaxChannels) return -1;
  return std::clamp(currentChannel(s), 0, s.channelCount - 1);
}

struct ChannelRange {
  int first = 0;
  int last = -1;  // inclusive
};

ChannelRange affectedChannels(const StudyState& s, bool allChannels) {
  if (allChannels) return {0, std::clamp(s.channelCount, 0, kMaxChannels) - 1};
  const int c = editChannel(s);
  return {c, c};
}

std::int16_t* data(StudyState& s, int channel) { return s.channelData[static_cast<std::size_t>(channel)]; }

// Cursor, anchor and first shown sample back inside a record whose length changed.
void fitViewToRecord(StudyState& s) {
  const int last = std::max(0, s.recordLength - 1);
  s.cursorPos = std::clamp(s.cursorPos, 0, last);
  if (s.selectionAnchor > last) s.selectionAnchor = -1;
  s.viewStart = std::clamp(s.viewStart, 0, last);
  s.epochCount = s.computeEpochCount();
  if (s.currentEpoch < 0 || s.currentEpoch >= std::max(1, s.epochCount)) s.currentEpoch = 0;
}

// Moves `count` samples of a buffer from `from` to `to` (ranges inside the buffer).
void moveSamples(std::int16_t* p, long from, long to, long count) {
  if (count > 0 && from != to) std::memmove(p + to, p + from, static_cast<std::size_t>(count) * sizeof(std::int16_t));
}

void fillSamples(std::int16_t* p, long from, long count, std::int16_t v) {
  if (count > 0) std::fill_n(p + from, count, v);
}

// Every sample that is not a mark moves by `shift`.
void shiftChannel(std::int16_t* p, long n, long shift) {
  for (long i = 0; i < n; ++i)
    if (!isMark(p[i])) p[i] = toCode(static_cast<long long>(p[i]) + shift);
}

// Mean (truncated) and extremes of the samples in [a, b] that are not marks.
struct Stats {
  long count = 0;
  long long sum = 0;
  int lo = 0, hi = 0;
  long mean() const { return static_cast<long>(std::trunc(static_cast<double>(sum) / static_cast<double>(count))); }
};

Stats statsOf(const std::int16_t* p, long a, long b) {
  Stats st;
  for (long i = a; i <= b; ++i) {
    if (isMark(p[i])) continue;
    if (st.count == 0) st.lo = st.hi = p[i];
    st.lo = std::min<int>(st.lo, p[i]);
    st.hi = std::max<int>(st.hi, p[i]);
    st.sum += p[i];
    ++st.count;
  }
  return st;
}

std::string channelLabel(const StudyState& s, int c) {
  const std::string name = trimSpaces(s.channelNames[static_cast<std::size_t>(c)]);
  return name.empty() ? std::to_string(c + 1) : std::to_string(c + 1) + " (" + name + ")";
}

}  // namespace

// --- when the commands run -------------------------------------------------------

bool navigationAllowed(const StudyState& s) { return s.acquisitionActive == 0; }

bool editingAllowed(const StudyState& s) {
  return navigationAllowed(s) && s.viewMode == ViewMode::Signals && s.channelCount >= 1 && s.channelCount <= kMaxChannels;
}

const char* navigationRefusal(const StudyState& s) {
  return navigationAllowed(s) ? nullptr : edit_text::kNoStepsWhileRecording;
}

const char* editingRefusal(const StudyState& s) {
  if (const char* why = navigationRefusal(s)) return why;
  return editingAllowed(s) ? nullptr : edit_text::kOnlyWithSignalsShown;
}

void markRecordModified(StudyState& s) {
  if (s.recordModified >= 0) s.recordModified = 1;
}

// --- the interval ----------------------------------------------------------------

long cursorSample(const StudyState& s) { return s.cursorPos + rowFirstSample(s, s.currentChannelRow); }

EditInterval selectedInterval(const StudyState& s) {
  EditInterval r;
  const long offset = rowFirstSample(s, s.currentChannelRow);
  r.selected = s.selectionAnchor >= 0;
  if (r.selected) {
    r.start = std::min(s.cursorPos, s.selectionAnchor) + offset;
    r.width = std::abs(s.cursorPos - s.selectionAnchor);
  } else {
    r.start = s.cursorPos + offset;
  }
  return r;
}

// --- marks -------------------------------------------------------------------------

bool insertMark(StudyState& s) {
  if (!editingAllowed(s)) return false;
  const int c = editChannel(s);
  const long i = cursorSample(s);
  if (c < 0 || i < 0 || i >= validLength(s)) return false;
  std::int16_t* p = data(s, c);
  if (isMark(p[i])) return false;
  p[i] = kMarkCode;
  markRecordModified(s);
  return true;
}

bool removeMark(StudyState& s) {
  if (!editingAllowed(s)) return false;
  const int c = editChannel(s);
  const long n = validLength(s);
  const long i = cursorSample(s);
  if (c < 0 || i < 0 || i >= n) return false;
  std::int16_t* p = data(s, c);
  if (!isMark(p[i])) return false;
  const long first = i + 1 < n ? i + 1 : i - 1;   // the sample after, before it at the end
  const long second = i + 1 < n ? i - 1 : -1;
  std::int16_t v = static_cast<std::int16_t>(s.zeroLevel[c]);
  if (first >= 0 && !isMark(p[first])) {
    v = p[first];
  } else if (second >= 0 && !isMark(p[second])) {
    v = p[second];
  }
  p[i] = v;
  markRecordModified(s);
  return true;
}

int removeAllMarks(StudyState& s) {
  if (!editingAllowed(s)) return 0;
  const int c = editChannel(s);
  if (c < 0) return 0;
  const long n = validLength(s);
  std::int16_t* p = data(s, c);
  int replaced = 0;
  for (long i = 0; i < n;) {
    if (!isMark(p[i])) {
      ++i;
      continue;
    }
    long end = i;
    while (end < n && isMark(p[end])) ++end;
    // A run of marks takes its value from the samples around it, never from a mark.
    const bool hasLeft = i > 0;
    const bool hasRight = end < n;
    std::int16_t v = static_cast<std::int16_t>(s.zeroLevel[c]);
    if (hasLeft && hasRight) {
      v = static_cast<std::int16_t>((static_cast<int>(p[i - 1]) + static_cast<int>(p[end])) >> 1);
    } else if (hasLeft) {
      v = p[i - 1];
    } else if (hasRight) {
      v = p[end];
    }
    fillSamples(p, i, end - i, v);
    replaced += static_cast<int>(end - i);
    i = end;
  }
  if (replaced > 0) markRecordModified(s);
  return replaced;
}

bool previousMark(StudyState& s) {
  if (!editingAllowed(s)) return false;
  const int c = editChannel(s);
  if (c < 0) return false;
  const std::int16_t* p = data(s, c);
  for (long i = std::min<long>(s.cursorPos - 1, validLength(s) - 1); i >= 0; --i) {
    if (isMark(p[i])) {
      s.cursorPos = s.viewStart = static_cast<int>(i);
      return true;
    }
  }
  return false;
}

bool nextMark(StudyState& s) {
  if (!editingAllowed(s)) return false;
  const int c = editChannel(s);
  if (c < 0) return false;
  const std::int16_t* p = data(s, c);
  const long n = validLength(s);
  for (long i = std::max<long>(s.cursorPos + 1, 0); i < n; ++i) {
    if (isMark(p[i])) {
      s.cursorPos = s.viewStart = static_cast<int>(i);
      return true;
    }
  }
  return false;
}

bool goToAnnotation(StudyState& s, int page, int sample, Interaction& ui) {
  if (s.acquisitionActive != 0) return false;
  if (page != s.currentRecord && !gotoRecord(s, page, ui)) return false;
  if (s.currentRecord != page || sample < 0 || sample >= validLength(s)) return false;
  s.cursorPos = s.viewStart = sample;
  return true;
}

// --- interval edits ------------------------------------------------------------------

bool deleteWholeRecord(StudyState& s) {
  if (!editingAllowed(s)) return false;
  s.recordLength = 0;
  markRecordModified(s);
  s.selectionAnchor = -1;
  fitViewToRecord(s);
  return true;
}

bool editInterval(StudyState& s, int choice, bool allChannels) {
  if (!editingAllowed(s) || choice < kDeleteInside || choice > kDeleteMean) return false;
  const long n = validLength(s);
  if (n <= 0) return false;
  const EditInterval iv = selectedInterval(s);
  long st = 0;
  long w = n;
  if (iv.selected && iv.width > 0) {
    st = iv.start;
    w = iv.width;
  }
  if (st < 0 || st >= n) return false;
  // Samples [st, st + cut) are the interval's body; `end` stands for sample
  // st + w, which is the record's last sample where the interval reaches it.
  const long cut = std::min(w, n - st);
  const long end = std::min(st + w, n - 1);
  const ChannelRange ch = affectedChannels(s, allChannels);
  if (ch.first < 0) return false;
  const bool withMarks = allChannels && s.markChannelCount == 1;

  switch (choice) {
    case kDeleteInside:
      for (int c = ch.first; c <= ch.last; ++c) {
        std::int16_t* p = data(s, c);
        moveSamples(p, st + cut, st, n - st - cut);
        if (!allChannels) fillSamples(p, n - cut, cut, static_cast<std::int16_t>(s.zeroLevel[c]));
      }
      if (allChannels) {
        if (withMarks) moveSamples(s.markChannel, st + cut, st, n - st - cut);
        s.recordLength = static_cast<int>(n - cut);
      }
      break;
    case kDeleteOutside:
      for (int c = ch.first; c <= ch.last; ++c) {
        std::int16_t* p = data(s, c);
        moveSamples(p, st, 0, cut);
        if (!allChannels) fillSamples(p, cut, n - cut, static_cast<std::int16_t>(s.zeroLevel[c]));
      }
      if (allChannels) {
        if (withMarks) moveSamples(s.markChannel, st, 0, cut);
        s.recordLength = static_cast<int>(cut);
        s.cursorPos = 0;
        s.viewStart = 0;
        s.currentEpoch = 0;
        s.selectionAnchor = -1;
      }
      break;
    case kDeleteZero: {
      const long from = allChannels ? st : st + 1;
      for (int c = ch.first; c <= ch.last; ++c)
        if (end >= from) fillSamples(data(s, c), from, end - from + 1, static_cast<std::int16_t>(s.zeroLevel[c]));
      break;
    }
    case kDeleteStraighten: {
      const long span = end - st;
      if (span <= 0) return false;
      for (int c = ch.first; c <= ch.last; ++c) {
        std::int16_t* p = data(s, c);
        const double a = p[st];
        const double b = p[end];
        for (long k = allChannels ? 0 : 1; k <= span; ++k) {
          // (b − a) × k is exact, so the far end lands on b itself.
          const double v = allChannels ? a + std::trunc((b - a) * static_cast<double>(k) / static_cast<double>(span))
                                       : std::trunc(a - (a - b) * static_cast<double>(k) / static_cast<double>(span));
          p[st + k] = toCode(static_cast<long long>(v));
        }
      }
      break;
    }
    case kDeleteMean: {
      if (end < st + 1) return false;
      for (int c = ch.first; c <= ch.last; ++c) {
        std::int16_t* p = data(s, c);
        long long sum = 0;
        for (long i = st + 1; i <= end; ++i) sum += p[i];
        const auto mean = static_cast<long long>(std::trunc(static_cast<double>(sum) / static_cast<double>(end - st)));
        fillSamples(p, st + 1, end - st, toCode(mean));
      }
      break;
    }
    default:
      return false;
  }
  markRecordModified(s);
  fitViewToRecord(s);
  return true;
}

// --- zero correction and calibration ------------------------------------------------

bool zeroCorrection(StudyState& s, bool allChannels, Interaction& ui) {
  if (!editingAllowed(s)) return false;
  const long n = validLength(s);
  const EditInterval iv = selectedInterval(s);
  const long w = std::min({iv.width, kZeroCorrectionSpan, n - iv.start});
  if (!iv.selected || iv.width <= 0 || iv.start < 0 || w <= 0) {
    ui.message(kNoZeroInterval);
    return false;
  }
  const ChannelRange ch = affectedChannels(s, allChannels);
  for (int c = ch.first; c <= ch.last; ++c) {
    std::int16_t* p = data(s, c);
    const Stats st = statsOf(p, iv.start, iv.start + w - 1);
    if (st.count == 0) continue;  // only marks there: nothing to measure the zero by
    shiftChannel(p, n, static_cast<long>(s.zeroLevel[c]) - st.mean());
  }
  markRecordModified(s);
  return true;
}

bool calibrate(StudyState& s, const CalibrationSettings& c, Interaction& ui) {
  if (!editingAllowed(s)) return false;
  const auto amplitude = parseNumber(c.amplitude);
  if (!amplitude || !std::isfinite(*amplitude) || *amplitude <= 0) {
    ui.message("Калибровка не выполнена: амплитуда \"" + trimSpaces(c.amplitude) +
               "\" должна быть положительным числом.");
    return false;
  }
  const long n = validLength(s);
  const long cursor = cursorSample(s);
  if (n <= 0 || cursor < 0 || cursor >= n) {
    ui.message("Калибровка не выполнена: курсор вне записи.");
    return false;
  }
  const EditInterval iv = selectedInterval(s);
  const long anchor = iv.selected ? s.selectionAnchor + rowFirstSample(s, s.currentChannelRow) : -1;
  if (iv.selected && (anchor < 0 || anchor >= n)) {
    ui.message("Калибровка не выполнена: конец выделенного участка вне записи.");
    return false;
  }
  // Reference interval of the zero correction: the selection, or the whole record.
  const long refFirst = iv.selected ? std::clamp(iv.start, 0L, n - 1) : 0;
  const long refLast = iv.selected ? std::min(iv.start + iv.width, n - 1) : n - 1;

  struct Plan {
    int channel;
    std::uint16_t value;
    long shift;
  };
  std::vector<Plan> plans;
  const ChannelRange ch = affectedChannels(s, c.allChannels);
  for (int k = ch.first; k <= ch.last; ++k) {
    const std::int16_t* p = data(s, k);
    const long step = iv.selected ? std::labs(static_cast<long>(p[cursor]) - p[anchor])
                                  : std::labs(static_cast<long>(p[cursor]) - static_cast<long>(s.zeroLevel[k]));
    if (step == 0) {
      ui.message("Калибровка не выполнена: в канале " + channelLabel(s, k) + " у курсора нет калибровочного сигнала.");
      return false;
    }
    const double v = std::trunc(*amplitude / static_cast<double>(step) * static_cast<double>(s.calibUnits[k]));
    if (!(v >= 1 && v <= 65535)) {
      ui.message("Калибровка не выполнена: значение калибровки канала " + channelLabel(s, k) + " (" +
                 formatNumber(v) + ") вне допустимых 1..65535.");
      return false;
    }
    long shift = 0;
    if (c.zeroKind == kZeroKindMaxMin || c.zeroKind == kZeroKindMean) {
      const Stats st = statsOf(p, refFirst, refLast);
      if (st.count > 0) {
        const long t = c.zeroKind == kZeroKindMaxMin ? ((st.lo + st.hi) >> 1) : st.mean();
        shift = static_cast<long>(s.zeroLevel[k]) - t;
      }
    }
    plans.push_back({k, static_cast<std::uint16_t>(v), shift});
  }
  for (const Plan& pl : plans) {
    s.calibValue[pl.channel] = pl.value;
    if (c.zeroKind != kZeroKindNone) shiftChannel(data(s, pl.channel), n, pl.shift);
  }
  if (c.zeroKind != kZeroKindNone) markRecordModified(s);
  return true;
}

// --- clipboard text -----------------------------------------------------------------

std::string signalsAsText(const StudyState& s) {
  const long n = validLength(s);
  if (n <= 0) return {};
  long first = 0;
  long last = n - 1;
  const EditInterval iv = selectedInterval(s);
  if (iv.selected) {
    first = std::clamp(iv.start, 0L, n - 1);
    last = std::clamp(iv.start + iv.width, first, n - 1);
  }
  const int channels = std::clamp(channelTotal(s), 0, kMaxChannels);
  std::string out;
  out.reserve(static_cast<std::size_t>(last - first + 1) * static_cast<std::size_t>(channels) * 8);
  for (long i = first; i <= last; ++i) {
    for (int c = 0; c < channels; ++c) {
      out += ' ';
      out += formatNumber(s.physicalValue(static_cast<int>(i), c), 4);
    }
    out += '\n';
  }
  return out;
}

// --- dialog settings files ----------------------------------------------------------

namespace {

std::string settingsPath(const std::string& dir, const char* name) { return dir + name; }

}  // namespace

bool readDeleteSettings(const std::string& programDir, DeleteSettings& out) {
  const auto lines = readTextLines(settingsPath(programDir, kDeleteSettingsFile));
  if (!lines || lines->empty()) return false;
  const std::string v = trimSpaces((*lines)[0]);
  if (v != "0" && v != "1") return false;
  out.allChannels = v == "0";
  return true;
}

bool writeDeleteSettings(const std::string& programDir, const DeleteSettings& in) {
  return writeTextLines(settingsPath(programDir, kDeleteSettingsFile), {in.allChannels ? "0" : "1"});
}

bool readCalibrationSettings(const std::string& programDir, CalibrationSettings& out) {
  const auto lines = readTextLines(settingsPath(programDir, kCalibSettingsFile));
  if (!lines) return false;
  const auto& l = *lines;
  bool complete = l.size() >= 3;
  if (!l.empty()) out.amplitude = l[0];
  if (l.size() > 1) {
    const auto kind = parseInteger(l[1]);
    if (kind && *kind >= kZeroKindNone && *kind <= kZeroKindMean) {
      out.zeroKind = *kind;
    } else {
      complete = false;
    }
  }
  if (l.size() > 2) {
    const std::string v = trimSpaces(l[2]);
    if (v == "1" || v == "2") {
      out.allChannels = v == "2";
    } else {
      complete = false;
    }
  }
  return complete;
}

bool writeCalibrationSettings(const std::string& programDir, const CalibrationSettings& in) {
  return writeTextLines(settingsPath(programDir, kCalibSettingsFile),
                        {in.amplitude, std::to_string(in.zeroKind), in.allChannels ? "2" : "1"});
}

bool readReorganisationSettings(const std::string& programDir, ReorganisationSettings& out) {
  const auto lines = readTextLines(settingsPath(programDir, kReorgSettingsFile));
  if (!lines) return false;
  const auto& l = *lines;
  std::string* fields[] = {&out.epochStart, &out.epochEnd, &out.condition, &out.referencePoint};
  for (std::size_t i = 0; i < 4 && i < l.size(); ++i) *fields[i] = l[i];
  return l.size() >= 4;
}

bool writeReorganisationSettings(const std::string& programDir, const ReorganisationSettings& in) {
  return writeTextLines(settingsPath(programDir, kReorgSettingsFile),
                        {in.epochStart, in.epochEnd, in.condition, in.referencePoint});
}

// --- commands with their windows ------------------------------------------------------

bool deleteCommand(StudyState& s, Interaction& ui, EditDialogs& dialogs) {
  if (!editingAllowed(s)) return false;
  if (s.selectionAnchor < 0) {
    if (!ui.ask(kDeleteRecordQuestion)) return false;
    return deleteWholeRecord(s);
  }
  DeleteSettings settings;
  if (!readDeleteSettings(s.programDir, settings)) dialogs.settingsNotRead();
  const int choice = dialogs.deleteDialog(settings);
  s.dialogResult = choice;
  writeDeleteSettings(s.programDir, settings);
  if (choice == kDeleteCancel) return false;
  return editInterval(s, choice, settings.allChannels);
}

bool calibrationCommand(StudyState& s, Interaction& ui, EditDialogs& dialogs) {
  if (!editingAllowed(s)) return false;
  CalibrationSettings settings;
  if (!readCalibrationSettings(s.programDir, settings)) dialogs.settingsNotRead();
  s.dialogResult = 3;
  const int choice = dialogs.calibrationDialog(settings);
  s.dialogResult = choice;
  writeCalibrationSettings(s.programDir, settings);
  if (choice != 1 && choice != 2) return false;
  settings.allChannels = choice == 2;
  return calibrate(s, settings, ui);
}

// --- RecordEditor ------------------------------------------------------------------------

RecordEditor::RecordEditor(StudyState& s, Interaction& ui) : s_(s), ui_(ui) {}

RecordEditor::ChannelEntry RecordEditor::entry(int c) const {
  const auto i = static_cast<std::size_t>(c);
  return {s_.channelNames[i], s_.zeroLevel[c], s_.calibUnits[c], s_.calibValue[c], s_.channelPosX[i],
          s_.channelPosY[i]};
}

void RecordEditor::setEntry(int c, const ChannelEntry& e) {
  const auto i = static_cast<std::size_t>(c);
  s_.channelNames[i] = e.name;
  s_.zeroLevel[c] = e.zeroLevel;
  s_.calibUnits[c] = e.calibUnits;
  s_.calibValue[c] = e.calibValue;
  s_.channelPosX[i] = e.posX;
  s_.channelPosY[i] = e.posY;
}

bool RecordEditor::layoutChangedHere() const {
  return layoutArmed_ && s_.recordFileHandle == layoutFd_ && s_.recordFilePath == layoutPath_ &&
         s_.currentRecord == layoutRecord_ && s_.channelCount == layoutCount_;
}

void RecordEditor::armLayoutUndo() {
  if (layoutChangedHere()) return;
  layoutArmed_ = true;
  layoutFd_ = s_.recordFileHandle;
  layoutPath_ = s_.recordFilePath;
  layoutRecord_ = s_.currentRecord;
  layoutCount_ = layoutFileCount_ = s_.channelCount;
  layoutSaved_.clear();
  for (int c = 0; c < kMaxChannels; ++c) layoutSaved_.push_back(entry(c));
  layoutOrigin_.resize(static_cast<std::size_t>(s_.channelCount));
  for (int c = 0; c < s_.channelCount; ++c) layoutOrigin_[static_cast<std::size_t>(c)] = c;
}

void RecordEditor::undoLayout() { layoutArmed_ = false; }

template <typename Move>
bool RecordEditor::navigate(bool rereadsSameRecord, Move&& move) {
  if (!navigationAllowed(s_)) return false;
  const bool wasTransform = s_.viewMode == ViewMode::Transform;
  const TransformKind kind = s_.transformKind;
  // The table entries as the changed layout has them, taken before the record
  // file rules give the file's channel count and names back.
  const bool layout = layoutChangedHere();
  std::vector<ChannelEntry> shown;
  if (layout)
    for (int c = 0; c < layoutCount_; ++c) shown.push_back(entry(c));
  const int recordBefore = s_.currentRecord;
  const int zoom = s_.timeZoom;
  if (wasTransform) s_.leaveTransformView(true);
  const bool moved = move();
  const bool left = moved && (rereadsSameRecord || s_.currentRecord != recordBefore);
  if (layout && (left || s_.channelCount != layoutCount_)) {
    // Each channel's entry goes back to the place the file has it; entries
    // of deleted channels come from the saved table, inserted copies go.
    for (int c = 0; c < kMaxChannels; ++c) setEntry(c, layoutSaved_[static_cast<std::size_t>(c)]);
    for (std::size_t i = 0; i < layoutOrigin_.size() && i < shown.size(); ++i)
      if (layoutOrigin_[i] >= 0) setEntry(layoutOrigin_[i], shown[i]);
    undoLayout();
  }
  reenterTransform(wasTransform, kind, zoom);
  return moved;
}

void RecordEditor::reenterTransform(bool wasOn, TransformKind kind, int zoom) {
  if (!wasOn || !compute_ || s_.viewMode != ViewMode::Signals) return;
  // Putting the signals back for a step is not leaving the view: a locked
  // zoom stays what the person had (leaving resets it to 0).
  if (s_.lockedZoom) s_.timeZoom = zoom;
  const int values = compute_(s_, kind);
  if (values > 0) s_.enterTransformView(kind, values, s_.monitorWidth);
}

bool RecordEditor::nextRecord() {
  return navigate(false, [this] { return stepRecord(s_, +1, ui_); });
}

bool RecordEditor::previousRecord() {
  return navigate(false, [this] { return stepRecord(s_, -1, ui_); });
}

bool RecordEditor::recordByNumber() {
  if (s_.viewMode != ViewMode::Signals) return false;
  return navigate(false, [this] { return gotoRecordAsked(s_, ui_); });
}

bool RecordEditor::mergedRecordShown() const {
  if (mergedFd_ < 0 || mergedFd_ != s_.recordFileHandle || mergedPath_ != s_.recordFilePath) return false;
  // merged pages stay shown until another page is read
  return mergedPages_ == 0 || (s_.currentRecord == 1 && s_.recordLength == mergedLength_);
}

bool RecordEditor::restoreRecord() {
  // A changed channel layout goes back through the file, which knows it.
  if (!layoutChangedHere()) {
    bool fromCopy = false;
    const bool ok = navigate(true, [this, &fromCopy] { return fromCopy = undo_.restoreUnchanged(s_); });
    if (fromCopy) return ok;
  }
  if (mergedRecordShown() && mergedPages_ > 0) {
    // The merged pages have no place in the file: back to its first page.
    return navigate(true, [this] {
      RecordSource* source = openRecordSource(s_);
      if (!source) return false;
      if (!source->moveTo(s_, 1, ui_)) return false;
      mergedFd_ = -1;
      mergedPages_ = 0;
      return true;
    });
  }
  if (mergedRecordShown()) {
    // The merged record has no place in the file: start again from its first record.
    return navigate(true, [this] {
      const std::string path = s_.recordFilePath;
      if (!openRecordFile(s_, path, ui_)) return false;
      mergedFd_ = -1;
      return true;
    });
  }
  return navigate(true, [this] { return rereadRecord(s_, ui_); });
}

bool RecordEditor::stepEpoch(int direction) {
  if (!navigationAllowed(s_)) return false;
  const bool wasTransform = s_.viewMode == ViewMode::Transform;
  const TransformKind kind = s_.transformKind;
  const bool bands = wasTransform && s_.bandMode > 0;
  const int zoom = s_.timeZoom;
  if (wasTransform) s_.leaveTransformView(true);
  const int step = s_.epochStep > 0 ? s_.epochStep : (s_.epochLength > 0 ? s_.epochLength : s_.recordLength);
  bool changed = false;
  if (step > 0 && s_.cursorPos >= 0) {
    s_.currentEpoch = s_.cursorPos / step;
    if (!bands) s_.cursorPos = s_.currentEpoch * step;
    if (direction > 0) {
      if (static_cast<long>(s_.recordLength) >= static_cast<long>(s_.cursorPos) + step + s_.epochLength) {
        s_.cursorPos += step;
        s_.viewStart += step;
        s_.currentEpoch += 1;
      }
    } else if (s_.cursorPos > 0 && s_.currentEpoch > 0) {
      s_.cursorPos -= step;
      s_.viewStart = std::max(0, s_.viewStart - step);
      s_.currentEpoch -= 1;
    }
    changed = true;
  }
  reenterTransform(wasTransform, kind, zoom);
  return changed;
}

bool RecordEditor::nextEpoch() { return stepEpoch(+1); }
bool RecordEditor::previousEpoch() { return stepEpoch(-1); }

bool RecordEditor::insertChannel() {
  if (!editingAllowed(s_)) return false;
  const int n = s_.channelCount;
  if (n >= kMaxChannels) {
    ui_.message("Канал не вставлен: в записи уже " + std::to_string(kMaxChannels) + " каналов.");
    return false;
  }
  const int c = editChannel(s_);
  armLayoutUndo();
  for (int i = n; i > c + 1; --i) {
    std::copy_n(data(s_, i - 1), kMaxSamples, data(s_, i));
    setEntry(i, entry(i - 1));
  }
  std::copy_n(data(s_, c), kMaxSamples, data(s_, c + 1));
  setEntry(c + 1, entry(c));
  layoutOrigin_.insert(layoutOrigin_.begin() + c + 1, -1);
  s_.channelCount = n + 1;
  layoutCount_ = s_.channelCount;
  markRecordModified(s_);
  s_.firstShownChannel = 0;
  s_.shownChannelCount = s_.channelCount;
  s_.currentChannelRow = c;
  return true;
}

bool RecordEditor::deleteChannel() {
  if (!editingAllowed(s_)) return false;
  const int n = s_.channelCount;
  if (n <= 1) {
    ui_.message("Канал не удалён: это единственный канал записи.");
    return false;
  }
  // Without the channel the record cannot go back to its place in the file,
  // so changes made so far are offered for writing now.
  if (!layoutChangedHere() && s_.recordModified > 0 && !confirmWriteBack(s_, ui_)) return false;
  const int c = editChannel(s_);
  armLayoutUndo();
  for (int i = c; i < n - 1; ++i) {
    std::copy_n(data(s_, i + 1), kMaxSamples, data(s_, i));
    setEntry(i, entry(i + 1));
  }
  layoutOrigin_.erase(layoutOrigin_.begin() + c);
  s_.channelCount = n - 1;
  layoutCount_ = s_.channelCount;
  s_.recordModified = -layoutFileCount_;
  s_.firstShownChannel = 0;
  s_.shownChannelCount = s_.channelCount;
  s_.currentChannelRow = std::min(c, s_.channelCount - 1);
  return true;
}

bool RecordEditor::leaveRecord() {
  if (!layoutChangedHere()) return confirmWriteBack(s_, ui_);
  // A record with a changed channel layout is read again in the file's layout.
  return navigate(true, [this] {
    if (!confirmWriteBack(s_, ui_)) return false;
    return rereadRecord(s_, ui_);
  });
}

bool RecordEditor::mergeRecords(Progress& progress) {
  if (!editingAllowed(s_)) return false;
  if (s_.recordFileHandle < 0) {
    ui_.message("Слияние не выполнено: файл записей не открыт.");
    return false;
  }
  if (s_.recordFileVersion == kVersionEdfStream) return mergePages(progress);
  const int count = s_.recordCount < 0 ? 1 : s_.recordCount;
  if (count < 2) {
    ui_.message("Слияние не выполнено: в файле " + s_.recordFileName + " меньше двух записей.");
    return false;
  }
  if (!leaveRecord()) return false;

  const std::string path = s_.recordFilePath;
  const std::string refused = "Слияние не выполнено: ";
  RecordFileHeader h;
  std::string reason;
  if (!readRecordFileHeader(path, h, reason)) {
    ui_.message(refused + (reason.empty() ? "заголовок файла не читается" : reason) + ".");
    return false;
  }
  std::vector<RecordInfo> records;
  const bool sound = scanRecords(path, h, records, reason);
  const bool damaged = !sound && static_cast<int>(records.size()) < count;
  if (static_cast<int>(records.size()) > count) records.resize(static_cast<std::size_t>(count));
  if (h.channelCount != s_.channelCount) {
    ui_.message(refused + "число каналов в памяти отличается от файла.");
    return false;
  }

  const int blocks = h.channelCount + h.recordMarkChannels();
  const std::size_t cap = static_cast<std::size_t>(kMaxSamples);
  std::vector<std::int16_t> staged(static_cast<std::size_t>(blocks) * cap);
  std::vector<std::vector<std::int16_t>> samples;
  long total = 0;
  bool cut = false;
  progress.begin("Слияние записей", static_cast<long>(records.size()));
  for (std::size_t k = 0; k < records.size(); ++k) {
    long take = records[k].recordLength;  // what the record holds: deleted records give nothing
    if (take > 0) {
      const long room = kMaxSamples - total;
      if (take > room) {
        take = room;
        cut = true;
      }
      if (take > 0) {
        if (!readRecordSamples(path, h, records[k], samples, reason) || static_cast<int>(samples.size()) != blocks) {
          progress.end();
          ui_.message(refused + "запись " + std::to_string(k + 1) + ": " + reason + ".");
          return false;
        }
        for (int b = 0; b < blocks; ++b)
          std::copy_n(samples[static_cast<std::size_t>(b)].data(), take,
                      staged.data() + static_cast<std::size_t>(b) * cap + static_cast<std::size_t>(total));
        total += take;
      }
    }
    if (!progress.step(static_cast<long>(k + 1))) {
      progress.end();
      return false;
    }
    if (cut) break;
  }
  progress.end();
  if (total == 0) {
    ui_.message(refused + "записи файла пусты.");
    return false;
  }
  for (int c = 0; c < h.channelCount; ++c)
    std::copy_n(staged.data() + static_cast<std::size_t>(c) * cap, total, data(s_, c));
  if (h.recordMarkChannels() == 1)
    std::copy_n(staged.data() + static_cast<std::size_t>(h.channelCount) * cap, total, s_.markChannel);
  s_.recordLength = s_.storedLength = s_.plannedRecordLength = static_cast<int>(total);
  s_.recordCount = 1;
  s_.currentRecord = 1;
  s_.recordModified = 0;
  fitViewToRecord(s_);
  mergedFd_ = s_.recordFileHandle;
  mergedPath_ = path;
  mergedPages_ = 0;
  if (cut)
    ui_.message("Слитая запись ограничена " + std::to_string(kMaxSamples) +
                " отсчётами на канал; остальные записи в неё не вошли.");
  if (damaged)
    ui_.message("Файл " + s_.recordFileName + " повреждён после записи " + std::to_string(records.size()) +
                "; слиты записи 1.." + std::to_string(records.size()) + ".");
  return true;
}

bool RecordEditor::mergePages(Progress& progress) {
  RecordSource* source = openRecordSource(s_);
  const std::string refused = "Слияние не выполнено: ";
  if (!source || !source->canStep()) {
    ui_.message(refused + "страницы файла " + s_.recordFileName + " недоступны.");
    return false;
  }
  const int count = source->recordCount(s_);
  if (count < 2) {
    ui_.message("Слияние не выполнено: в файле " + s_.recordFileName + " меньше двух записей.");
    return false;
  }
  if (!leaveRecord()) return false;
  const int original = std::clamp(s_.currentRecord, 1, count);
  const int channels = std::clamp(s_.channelCount, 0, kMaxChannels);
  const std::size_t cap = static_cast<std::size_t>(kMaxSamples);
  // Staged first: a page that cannot be read or a cancel leaves the page shown before.
  std::vector<std::int16_t> staged(static_cast<std::size_t>(channels + 1) * cap);
  long total = 0;
  bool cut = false;
  auto back = [&] {
    progress.end();
    if (s_.currentRecord != original) source->moveTo(s_, original, ui_);
    return false;
  };
  progress.begin("Слияние записей", count);
  for (int k = 1; k <= count; ++k) {
    if (k != s_.currentRecord && !source->moveTo(s_, k, ui_)) return back();
    if (s_.channelCount != channels) {
      ui_.message(refused + "число каналов страницы " + std::to_string(k) + " отличается.");
      return back();
    }
    long take = std::clamp(s_.recordLength, 0, kMaxSamples);
    if (take > kMaxSamples - total) {
      take = kMaxSamples - total;
      cut = true;
    }
    for (int c = 0; c < channels; ++c)
      std::copy_n(data(s_, c), take, staged.data() + static_cast<std::size_t>(c) * cap + static_cast<std::size_t>(total));
    std::copy_n(s_.markChannel, take, staged.data() + static_cast<std::size_t>(channels) * cap + static_cast<std::size_t>(total));
    total += take;
    if (!progress.step(k)) return back();
    if (cut) break;
  }
  progress.end();
  if (total == 0) {
    ui_.message(refused + "записи файла пусты.");
    source->moveTo(s_, original, ui_);
    return false;
  }
  for (int c = 0; c < channels; ++c) std::copy_n(staged.data() + static_cast<std::size_t>(c) * cap, total, data(s_, c));
  std::copy_n(staged.data() + static_cast<std::size_t>(channels) * cap, total, s_.markChannel);
  s_.recordLength = s_.storedLength = s_.plannedRecordLength = static_cast<int>(total);
  // Shown as page 1 (the next page leaves it), but it is no page of the
  // file: the reader refuses to write it back, its page in hand being another.
  s_.currentRecord = 1;
  s_.recordModified = 0;
  fitViewToRecord(s_);
  mergedFd_ = s_.recordFileHandle;
  mergedPath_ = s_.recordFilePath;
  mergedPages_ = count;
  mergedLength_ = static_cast<int>(total);
  if (cut)
    ui_.message("Слитая запись ограничена " + std::to_string(kMaxSamples) +
                " отсчётами на канал; остальные записи в неё не вошли.");
  return true;
}

}  // namespace velor
