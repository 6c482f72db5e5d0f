#include "acquisition/exam_plan.h"

#include <algorithm>
#include <cmath>
#include <optional>

#include "acquisition/device.h"
#include "acquisition/exam_texts.h"
#include "core/binio.h"
#include "core/numtext.h"
#include "core/settings.h"
#include "core/text.h"

namespace velor {

namespace {

constexpr int kFixedHead = kPlanHeaderChars + 10;  // header, model .. leadPairCount
constexpr int kBytesPerSlot = 15;                  // channel bytes, zero/calib, name, calibValue, order

// Size of a plan without its instrument name.
long long planBaseSize(int slots, int channels, int protocolLines) {
  return kFixedHead + static_cast<long long>(kBytesPerSlot) * slots + 3LL * channels + 8 + 6LL * protocolLines + 4;
}

// The bytes hold a whole plan of `slots` slots (with or without the name).
bool planFits(const std::string& b, int slots, int channels, int protocolLines) {
  const long long base = planBaseSize(slots, channels, protocolLines);
  const long long size = static_cast<long long>(b.size());
  if (size == base) return true;
  if (size < base + 1) return false;
  return size == base + 1 + static_cast<unsigned char>(b[static_cast<std::size_t>(base)]);
}

// Header field 1 is 30 characters wide in work mode 0 and 20 in the others;
// the rest of the header stays as it is.
int headerFieldOneWidth(int groupMode) { return groupMode == 0 ? 30 : 20; }

class Cursor {
 public:
  explicit Cursor(const std::string& b) : b_(b) {}
  bool has(std::size_t n) const { return pos_ + n <= b_.size(); }
  int u8() { return static_cast<unsigned char>(b_[pos_++]); }
  int u16() {
    const int v = getU16(reinterpret_cast<const unsigned char*>(b_.data()) + pos_);
    pos_ += 2;
    return v;
  }
  std::string text(std::size_t n) {
    std::string t = b_.substr(pos_, n);
    pos_ += n;
    return t;
  }

 private:
  const std::string& b_;
  std::size_t pos_ = 0;
};

// Everything a plan file carries, staged before it reaches the state.
struct PlanImage {
  std::string header;  // UTF-8, 161 characters
  int modelByte = 0, channelCount = 0, sampleRate = 0, recordLength = 0;
  int refOrMarks = 0, protocolLines = 0, gainStep = 0, leadPairCount = 0;
  std::array<std::array<std::uint8_t, 4>, kMaxChannels> channelBytes{};
  std::array<std::uint16_t, kMaxChannels> zero{}, units{}, calibValue{};
  std::array<std::string, kMaxChannels> names{};
  std::array<std::array<std::uint8_t, kMaxChannels>, 3> amp{};
  int ampCommon = 0;
  int expressKind = 0, expressParameter = 0, expressThreshold = 0, referenceKind = 0, expressChannel = 0;
  std::array<int, kMaxChannels> order{};
  std::vector<std::array<std::uint8_t, kProtocolColumns>> protocol;
  int currentBand = 0, displayDecimation = 0, shownChannelCount = 0, monitorMode = 0;
  bool hasName = false;
  std::string instrument;
};

void imageFromState(const StudyState& s, const ExaminationPlan& p, int deviceKind, PlanImage& m) {
  m.header = utf8Fit(s.examHeader, kPlanHeaderChars);
  m.modelByte = p.modelByte;
  m.channelCount = s.channelCount;
  m.sampleRate = s.sampleRate;
  m.recordLength = s.recordLength;
  m.refOrMarks = deviceKind == 3 ? p.nvxReference : s.markChannelCount;
  m.protocolLines = p.protocolLineCount();
  m.gainStep = s.gainStep;
  m.leadPairCount = s.leadPairCount;
  for (int i = 0; i < kMaxChannels; ++i) {
    m.channelBytes[i] = {s.channelPosX[i], s.channelPosY[i], s.leadPairs[i][0], s.leadPairs[i][1]};
    m.zero[i] = s.zeroLevel[i];
    m.units[i] = s.calibUnits[i];
    m.calibValue[i] = s.calibValue[i];
    m.names[i] = s.channelNames[i];
    m.order[i] = static_cast<std::uint8_t>(s.channelOrder[i]);
  }
  m.amp = p.amplifierColumns;
  m.ampCommon = p.amplifierCommon;
  m.expressKind = p.expressAnalysisKind;
  m.expressParameter = p.expressParameter;
  m.expressThreshold = p.expressThreshold;
  m.referenceKind = s.referenceKind;
  m.expressChannel = p.expressChannel;
  m.protocol = p.protocol;
  m.currentBand = s.currentBand;
  m.displayDecimation = p.displayDecimation;
  m.shownChannelCount = s.shownChannelCount;
  m.monitorMode = static_cast<int>(p.monitorMode);
  m.instrument = p.instrumentFile;
}

std::string refusal(const std::string& what, int value) {
  return std::string(exam_texts::kPlanRefused) + what + " " + std::to_string(value);
}

}  // namespace

int planSlots(int modelByte, int channelCount) { return modelByte == 1 || channelCount > 23 ? 64 : 32; }

bool writePlanFile(const std::string& path, const StudyState& s, const ExaminationPlan& plan, int deviceKind,
                   std::string& reason) {
  if (s.channelCount < 1 || s.channelCount > kMaxChannels) {
    reason = refusal(exam_texts::kPlanChannels, s.channelCount);
    return false;
  }
  PlanImage m;
  imageFromState(s, plan, deviceKind, m);
  const int slots = planSlots(m.modelByte, m.channelCount);
  ByteWriter w;
  w.text(utf8ToCp1251(m.header), kPlanHeaderChars);
  w.u8(m.modelByte);
  w.u8(m.channelCount);
  w.u16(static_cast<unsigned>(m.sampleRate) & 0xFFFF);
  w.u16(m.recordLength);
  w.u8(m.refOrMarks);
  w.u8(m.protocolLines);
  w.u8(m.gainStep);
  w.u8(m.leadPairCount);
  for (int i = 0; i < slots; ++i)
    for (int b = 0; b < 4; ++b) w.u8(m.channelBytes[i][b]);
  for (int i = 0; i < slots; ++i) {
    w.u16(m.zero[i]);
    w.u16(m.units[i] == 0 ? 1 : m.units[i]);
  }
  for (int i = 0; i < slots; ++i) w.text(utf8ToCp1251(m.names[i]), 4);
  for (int c = 0; c < 3; ++c)
    for (int i = 0; i < m.channelCount; ++i) w.u8(m.amp[c][i]);
  w.u8(m.ampCommon);
  for (int i = 0; i < slots; ++i) w.u16(m.calibValue[i]);
  w.u8(m.expressKind);
  w.u16(static_cast<unsigned>(m.expressParameter));
  w.u16(static_cast<unsigned>(m.expressThreshold));
  w.u8(m.referenceKind);
  w.u8(m.expressChannel);
  for (int i = 0; i < slots; ++i) w.u8(m.order[i]);
  for (int c = 0; c < kProtocolColumns; ++c)
    for (const auto& line : m.protocol) w.u8(line[c]);
  w.u8(m.currentBand);
  w.u8(m.displayDecimation);
  w.u8(m.shownChannelCount);
  w.u8(m.monitorMode);
  const std::string name = utf8ToCp1251(baseName(m.instrument)).substr(0, 255);
  w.u8(static_cast<unsigned>(name.size()));
  w.bytes(name);
  if (!writeFileAtomically(path, w.data())) {
    reason = std::string(exam_texts::kPlanNotWritten) + baseName(path);
    return false;
  }
  return true;
}

bool readPlanFile(const std::string& path, StudyState& s, ExaminationPlan& plan, std::string& reason) {
  std::string bytes;
  if (!readWholeFile(path, bytes, 1u << 20)) {
    reason = std::string(exam_texts::kPlanNotRead) + baseName(path);
    return false;
  }
  if (!readPlanBytes(bytes, s, plan, reason)) return false;
  plan.lastPlanName = baseName(path);
  return true;
}

bool readPlanBytes(const std::string& bytes, StudyState& s, ExaminationPlan& plan, std::string& reason) {
  PlanImage m;
  imageFromState(s, plan, s.deviceKind, m);
  Cursor c(bytes);
  if (!c.has(kPlanHeaderChars + 2)) {
    reason = std::string(exam_texts::kPlanRefused) + exam_texts::kPlanShort;
    return false;
  }
  m.header = cp1251ToUtf8(c.text(kPlanHeaderChars));
  m.modelByte = c.u8();
  m.channelCount = c.u8();
  if (m.channelCount < 1 || m.channelCount > kMaxChannels) {
    reason = refusal(exam_texts::kPlanChannels, m.channelCount);
    return false;
  }
  // The earlier writer put 64 slots into every NVX plan whatever its channel
  // count; such a file is recognised by its size.
  int slots = planSlots(m.modelByte, m.channelCount);
  if (slots == 32 && bytes.size() > 168) {
    const int lines = static_cast<unsigned char>(bytes[168]);  // protocolLineCount
    if (!planFits(bytes, 32, m.channelCount, lines) && planFits(bytes, 64, m.channelCount, lines)) slots = 64;
  }
  const bool nvx = s.deviceKind == 3;
  if (c.has(2)) m.sampleRate = c.u16();
  if (c.has(2)) m.recordLength = c.u16();
  if (c.has(1)) m.refOrMarks = c.u8();
  if (c.has(1)) {
    m.protocolLines = c.u8();
    m.protocol.assign(static_cast<std::size_t>(m.protocolLines), {});
  }
  if (c.has(1)) m.gainStep = c.u8();
  if (c.has(1)) m.leadPairCount = c.u8();
  if (c.has(4u * slots))
    for (int i = 0; i < slots; ++i)
      for (int b = 0; b < 4; ++b) m.channelBytes[i][b] = static_cast<std::uint8_t>(c.u8());
  if (c.has(4u * slots))
    for (int i = 0; i < slots; ++i) {
      m.zero[i] = static_cast<std::uint16_t>(c.u16());
      m.units[i] = static_cast<std::uint16_t>(c.u16());
    }
  if (c.has(4u * slots))
    for (int i = 0; i < slots; ++i) {
      const std::string n = trimSpaces(cp1251ToUtf8(c.text(4)));
      if (s.groupMode == 0) m.names[i] = utf8Substr(n, 0, 3);
    }
  if (c.has(3u * m.channelCount + 1)) {
    for (int k = 0; k < 3; ++k)
      for (int i = 0; i < m.channelCount; ++i) m.amp[k][i] = static_cast<std::uint8_t>(c.u8());
    m.ampCommon = c.u8();
  }
  if (c.has(2u * slots))
    for (int i = 0; i < slots; ++i) m.calibValue[i] = static_cast<std::uint16_t>(c.u16());
  if (c.has(7)) {
    m.expressKind = c.u8();
    m.expressParameter = static_cast<std::int16_t>(c.u16());
    m.expressThreshold = static_cast<std::int16_t>(c.u16());
    m.referenceKind = c.u8();
    m.expressChannel = c.u8();
  }
  if (c.has(static_cast<std::size_t>(slots)))
    for (int i = 0; i < slots; ++i) m.order[i] = c.u8();
  if (m.protocolLines > 0 && c.has(6u * m.protocolLines))
    for (int k = 0; k < kProtocolColumns; ++k)
      for (int l = 0; l < m.protocolLines; ++l) m.protocol[l][k] = static_cast<std::uint8_t>(c.u8());
  if (c.has(1)) {
    m.currentBand = c.u8();
    m.shownChannelCount = m.channelCount;
  }
  if (c.has(1)) m.displayDecimation = c.u8();
  if (c.has(1)) m.shownChannelCount = c.u8();
  if (c.has(1)) m.monitorMode = c.u8();
  if (c.has(1)) {
    const int n = c.u8();
    if (c.has(static_cast<std::size_t>(n))) {
      m.hasName = true;
      m.instrument = cp1251ToUtf8(c.text(static_cast<std::size_t>(n)));
    }
  }

  // Every count and value checked before any of it is used.
  auto refuse = [&](const char* what, int v) {
    reason = refusal(what, v);
    return false;
  };
  if (!planRateAcceptable(m.sampleRate)) return refuse(exam_texts::kPlanRate, m.sampleRate);
  if (m.recordLength < 1 || m.recordLength > kMaxRecordSamples) return refuse(exam_texts::kPlanLength, m.recordLength);
  if (nvx ? m.refOrMarks > 4 : m.refOrMarks > 1) return refuse(exam_texts::kPlanMarks, m.refOrMarks);
  if (m.leadPairCount > std::min(slots, kMaxLeadPairs)) return refuse(exam_texts::kPlanPairs, m.leadPairCount);
  for (int i = 0; i < m.leadPairCount; ++i)
    for (int b = 2; b < 4; ++b)
      if (m.channelBytes[i][b] > kMaxChannels) return refuse(exam_texts::kPlanPairs, m.channelBytes[i][b]);
  for (int i = 0; i < m.channelCount; ++i)
    if (m.order[i] >= kMaxDeviceChannels && m.order[i] != 255) return refuse(exam_texts::kPlanOrder, m.order[i]);
  if (m.expressKind > 39) return refuse(exam_texts::kPlanExpress, m.expressKind);
  if (m.referenceKind > 6) return refuse(exam_texts::kPlanReference, m.referenceKind);
  if (m.expressChannel > m.channelCount) return refuse(exam_texts::kPlanExpressChannel, m.expressChannel);
  if (m.currentBand >= kBandRows) return refuse(exam_texts::kPlanBand, m.currentBand);
  if (m.displayDecimation > 8) return refuse(exam_texts::kPlanDecimation, m.displayDecimation);
  if (m.monitorMode > 2) return refuse(exam_texts::kPlanMonitor, m.monitorMode);
  if (m.shownChannelCount < 1 || m.shownChannelCount > m.channelCount) m.shownChannelCount = m.channelCount;
  if (m.gainStep > 40) return refuse(exam_texts::kPlanGain, m.gainStep);

  // Commit.
  const int w1 = headerFieldOneWidth(s.groupMode);
  s.examHeader = utf8Fit(utf8Substr(m.header, 0, static_cast<std::size_t>(w1)) +
                             utf8Substr(utf8Fit(s.examHeader, kHeaderChars), static_cast<std::size_t>(w1)),
                         kHeaderChars);
  plan.modelByte = m.modelByte;
  s.channelCount = m.channelCount;
  s.sampleRate = m.sampleRate;
  s.recordLength = m.recordLength;
  if (nvx)
    plan.nvxReference = m.refOrMarks;
  else
    s.markChannelCount = m.refOrMarks;
  s.gainStep = m.gainStep;
  s.leadPairCount = m.leadPairCount;
  for (int i = 0; i < slots; ++i) {
    s.channelPosX[i] = m.channelBytes[i][0];
    s.channelPosY[i] = m.channelBytes[i][1];
    s.leadPairs[i] = {m.channelBytes[i][2], m.channelBytes[i][3]};
    s.zeroLevel[i] = m.zero[i];
    s.calibUnits[i] = m.units[i] == 0 ? 1 : m.units[i];
    s.calibValue[i] = m.calibValue[i];
    s.channelNames[i] = m.names[i];
    s.channelOrder[i] = static_cast<std::int8_t>(m.order[i]);
  }
  plan.amplifierColumns = m.amp;
  plan.amplifierCommon = static_cast<std::uint8_t>(m.ampCommon);
  plan.expressAnalysisKind = m.expressKind;
  plan.expressParameter = m.expressParameter;
  plan.expressThreshold = m.expressThreshold;
  s.referenceKind = m.referenceKind;
  plan.expressChannel = m.expressChannel;
  plan.protocol = m.protocol;
  s.currentBand = m.currentBand;
  plan.displayDecimation = m.displayDecimation;
  s.shownChannelCount = m.shownChannelCount;
  plan.monitorMode = static_cast<MonitorMode>(m.monitorMode);
  if (m.hasName) plan.instrumentFile = m.instrument;
  s.plannedRecordLength = s.recordLength;
  return true;
}

// --- dialog settings -----------------------------------------------------------------

bool readPlanSettings(const std::string& programDir, ExaminationPlan& plan) {
  const auto lines = readTextLines(programDir + kPlanSettingsFile);
  if (!lines || lines->empty()) return false;
  const std::string first = trimSpaces((*lines)[0]);
  if (!first.empty()) {
    plan.fileNames[0] = first;
    plan.recordName = first;
  }
  if (lines->size() < 2) return false;
  if (const auto r = parseInteger((*lines)[1]); r && *r >= -32768 && *r <= 65535) plan.randomState = *r;
  if (lines->size() < 3) return false;
  plan.interruptMode = trimSpaces((*lines)[2]) != "0";
  return true;
}

bool writePlanSettings(const std::string& programDir, const ExaminationPlan& plan) {
  return writeTextLines(programDir + kPlanSettingsFile,
                        {plan.fileNames[0], std::to_string(plan.randomState), plan.interruptMode ? "1" : "0"});
}

bool readSportSettings(const std::string& programDir, SportSettings& out) {
  const auto lines = readTextLines(programDir + kSportSettingsFile);
  if (!lines || lines->size() < 2) return false;
  const auto item = parseInteger((*lines)[0]);
  if (!item || *item < 0 || *item > 5) return false;
  out.athleteItem = *item;
  out.recordName = trimSpaces((*lines)[1]);
  return true;
}

bool writeSportSettings(const std::string& programDir, const SportSettings& in) {
  return writeTextLines(programDir + kSportSettingsFile, {std::to_string(in.athleteItem), in.recordName});
}

void rememberFileName(std::vector<std::string>& names, const std::string& name, std::size_t capacity) {
  if (name.empty() || std::find(names.begin(), names.end(), name) != names.end()) return;
  names.insert(names.begin(), name);
  if (names.size() > capacity) names.resize(capacity);
}

void rememberFileName(std::array<std::string, kPlanFileNames>& names, const std::string& name) {
  std::vector<std::string> v(names.begin(), names.end());
  rememberFileName(v, name, kPlanFileNames);
  for (std::size_t i = 0; i < names.size(); ++i) names[i] = i < v.size() ? v[i] : std::string();
}

// --- express settings ------------------------------------------------------------------

bool readExpressSettings(const std::string& programDir, ExpressSettings& out) {
  const auto lines = readTextLines(programDir + kExpressSettingsFile);
  if (!lines) return false;
  auto number = [&](std::size_t i) -> std::optional<double> {
    if (i >= lines->size()) return std::nullopt;
    return parseNumber((*lines)[i]);
  };
  auto whole = [&](std::size_t i, int lo, int hi, int& field) {
    if (const auto v = number(i); v && *v >= lo && *v <= hi) field = static_cast<int>(*v);
  };
  whole(0, 1, 15, out.gain);
  if (const auto v = number(1); v && *v >= 0) out.artefactMicroVolts = *v;
  whole(2, 0, 32767, out.maximum);
  whole(3, 0, 32767, out.minimum);
  whole(4, 0, kBandRows, out.bandItem);
  whole(5, 0, kMaxChannels, out.channelItem);
  return lines->size() >= 6;
}

bool writeExpressSettings(const std::string& programDir, const ExpressSettings& in) {
  return writeTextLines(programDir + kExpressSettingsFile,
                        {std::to_string(in.gain), formatNumber(in.artefactMicroVolts), std::to_string(in.maximum),
                         std::to_string(in.minimum), std::to_string(in.bandItem), std::to_string(in.channelItem)});
}

int expressKindOfItem(int item) { return item == 7 ? 10 : std::clamp(item, 0, 6); }

void applyExpressChoice(int item, const ExpressSettings& e, StudyState& s, ExaminationPlan& plan) {
  const int kind = expressKindOfItem(item);
  plan.expressAnalysisKind = kind + (plan.expressAnalysisKind >= 20 ? 20 : 0);
  if (kind == 1) s.currentBand = 0;
  if (kind == 2) s.currentBand = e.bandItem;
  if (kind == 3) {
    const double calib = s.calibValue[0];
    plan.expressThreshold =
        calib > 0 ? static_cast<int>(std::clamp(std::trunc(e.artefactMicroVolts / calib * s.calibUnits[0]), 0.0, 32767.0)) : 0;
    plan.expressParameter = std::max(1, e.gain);
  }
  if (kind >= 4 && kind <= 6) {
    plan.expressThreshold = e.maximum;
    plan.expressParameter = e.minimum;
    plan.expressChannel = e.channelItem == 0 && kind != 4 ? 1 : e.channelItem;
  }
}

// --- intervals -----------------------------------------------------------------------

int intervalSamples(int item) {
  if (item < 0 || item >= kIntervalItems) return -1;
  return item == kIntervalItems - 1 ? kMaxRecordSamples : 1 << (item + 5);
}

int intervalItemFor(int recordLength) {
  if (recordLength < 32) return -1;
  const int item = static_cast<int>(std::lround(std::log2(static_cast<double>(recordLength)))) - 5;
  return std::clamp(item, 0, kIntervalItems - 1);
}

std::vector<std::string> intervalLabels(int sampleRate) {
  if (sampleRate < 1) return {};
  const double first = 32.0 / sampleRate;
  const double m = first > 10 ? 1 : first > 1 ? 10 : first > 0.1 ? 100 : first > 0.01 ? 1000 : 10000;
  std::vector<std::string> out;
  for (int i = 0; i < kIntervalItems; ++i) {
    const double seconds = std::pow(2.0, i + 5) / sampleRate;
    out.push_back(formatNumber(std::floor(seconds * m + 0.5) / m));
  }
  return out;
}

bool planRateAcceptable(int rate) { return rate >= 1 && rate <= 65535; }

// --- default plans --------------------------------------------------------------------

std::string devicePlanFileName(int deviceKind, int deviceChannelCount) {
  if (deviceKind == 3) return deviceChannelCount < 36 ? "nvx24.cap" : deviceChannelCount >= 52 ? "nvx52.cap" : "nvx36.cap";
  if (deviceKind == 1) return "K2.cap";
  return "";
}

void applyDefaultPlan(StudyState& s, ExaminationPlan& plan, const DeviceDescription& d, int rate) {
  if (d.recordChannelCount > 0) s.channelCount = std::clamp(d.recordChannelCount, 1, kMaxChannels);
  if (s.deviceKind <= 0) s.channelCount = std::clamp(s.channelCount, 1, 32);
  for (int i = 0; i < s.channelCount; ++i) s.channelOrder[i] = static_cast<std::int8_t>(i);
  if (rate > 0)
    s.sampleRate = rate;
  else if (d.sampleRate > 0)
    s.sampleRate = d.sampleRate;
    // The interval nearest to four seconds.
  int best = 0;
  for (int i = 0; i < kIntervalItems; ++i)
    if (std::abs(intervalSamples(i) - 4.0 * s.sampleRate) < std::abs(intervalSamples(best) - 4.0 * s.sampleRate))
      best = i;
  s.recordLength = intervalSamples(best);
  s.plannedRecordLength = s.recordLength;
  s.markChannelCount = 1;
  s.shownChannelCount = s.channelCount;
  s.firstShownChannel = 0;
  plan.modelByte = s.deviceKind == 3 && d.deviceChannelCount == 52 ? 1 : 0;
  plan.monitorMode = MonitorMode::RealTime;
  plan.displayDecimation = 0;
  plan.expressAnalysisKind = 0;
  plan.protocol.clear();
  for (int i = 0; i < kMaxChannels; ++i) {
    plan.amplifierColumns[0][i] = 0;
    plan.amplifierColumns[1][i] = 0;
    plan.amplifierColumns[2][i] = 0;
  }
}

namespace {
// What a missing device plan file is written with: the plan dialog's defaults.
void applyDevicePlanDefaults(StudyState& s, ExaminationPlan& plan, const DeviceDescription& d) {
  applyDefaultPlan(s, plan, d);
  s.recordLength = intervalSamples(5);  // the dialog's default interval
  s.plannedRecordLength = s.recordLength;
  plan.nvxReference = 0;
}
}  // namespace

bool loadDevicePlan(StudyState& s, ExaminationPlan& plan, const DeviceDescription& d, std::string& name,
                    std::string& reason) {
  name = devicePlanFileName(s.deviceKind, d.deviceChannelCount);
  if (name.empty()) return true;
  const std::string path = s.programDir + name;
  if (!fileExists(path)) {
    applyDevicePlanDefaults(s, plan, d);
    if (!writePlanFile(path, s, plan, s.deviceKind, reason)) return false;
  }
  return readPlanFile(path, s, plan, reason);
}

bool takeDevicePlan(StudyState& s, ExaminationPlan& plan, const DeviceDescription& d, int rate, std::string& name,
                    std::string& reason) {
  name = devicePlanFileName(s.deviceKind, d.deviceChannelCount);
  if (name.empty()) {
    applyDefaultPlan(s, plan, d, rate);
    return true;
  }
  const std::string path = s.programDir + name;
  if (fileExists(path)) {
    if (!readPlanFile(path, s, plan, reason)) return false;
  } else {
    applyDevicePlanDefaults(s, plan, d);
  }
  if (rate > 0) s.sampleRate = rate;
  return true;
}

}  // namespace velor
