#include "core/study_state.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <new>

#include "core/numtext.h"
#include "core/record_source.h"

namespace velor {

namespace {
// Both buffer sets get the full record capacity: after a pointer swap the
// signal buffers are the parked ones, and a writer that trusts kMaxSamples
// must not run past them. The parked limit stays a logical limit.
constexpr std::size_t kChannelStride = kMaxSamples + 1;
constexpr std::size_t kMidScratch = 16388;

constexpr std::size_t kSampleMemory = kChannelStride * kMaxChannels * 2  // signals + parked
                                      + kChannelStride                   // mark channel
                                      + kChannelStride * 2               // spare traces
                                      + kResultStoreSize + kChannelStride + kMidScratch * 2 + 8192 + 2048;
}  // namespace

const char* channelKindName(int posX) {
  switch (posX) {
    case 247: return "Акс";
    case 248: return "Трм";
    case 249: return "ФПГ";
    case 250: return "Дых";
    case 251: return "КГР";
    case 252: return "ЭОГ";
    case 253: return "ЭМГ";
    case 254: return "РГ";
    case 255: return "ЭКГ";
    default: return "ЭЭГ";
  }
}

const char* referenceKindName(int kind) {
  static const char* const names[] = {"Нет", "АА-уши", "А1-лев.ухо", "А2-прав.ухо",
                                      "АМ-общий", "ММ-мастоиды", "БП-биполярн"};
  return (kind >= 0 && kind <= 6) ? names[kind] : "";
}

void StudyState::FreeMemory::operator()(void* p) const noexcept { std::free(p); }

namespace {
// Zeroed memory that the system provides lazily for large blocks (calloc
// knows freshly mapped pages are zero and does not write them); the buffers
// are allocated once, so a failure here is the program's end.
template <typename T>
T* zeroedBlock(std::size_t count) {
  void* p = std::calloc(count, sizeof(T));
  if (!p) throw std::bad_alloc();
  return static_cast<T*>(p);
}
}  // namespace

StudyState::StudyState() {
  sampleMemory_.reset(zeroedBlock<std::int16_t>(kSampleMemory));
  floatMemory_.reset(zeroedBlock<float>(kFloatStoreSize));
  std::int16_t* p = sampleMemory_.get();
  auto take = [&p](std::size_t n) {
    std::int16_t* r = p;
    p += n;
    return r;
  };
  for (auto& c : channelData) c = take(kChannelStride);
  for (auto& c : parkedChannelData) c = take(kChannelStride);
  markChannel = take(kChannelStride);
  for (auto& c : spareTrace) c = take(kChannelStride);
  resultStore = take(kResultStoreSize);
  scratchLong = take(kChannelStride);
  for (auto& c : scratchMid) c = take(kMidScratch);
  scratch8192 = take(8192);
  scratch2048 = take(2048);
  assert(p == sampleMemory_.get() + kSampleMemory);
  floatStore = floatMemory_.get();

  examHeader.assign(kHeaderChars, ' ');
  for (int i = -3; i <= kMaxChannels; ++i) {
    calibValue[i] = 100;
    zeroLevel[i] = 2048;
    calibUnits[i] = 2047;
    channelOrder[i] = static_cast<std::int8_t>(i);
  }
  std::error_code ec;
  std::string cwd = std::filesystem::current_path(ec).string();
  if (cwd.empty() || cwd.back() != '/') cwd += '/';
  programDir = cwd;
  dataDir = cwd;
}

StudyState::~StudyState() = default;

int StudyState::resultChannels() const {
  // Pair measures keep pair rows in the transform view and in the band
  // diagram and epoch modes that show them.
  if (showsTransformResults(viewMode) && keepsPairRows(transformKind) && leadPairCount > 0)
    return leadPairCount;
  if (channelCount == 28) return 20;
  if (channelCount == 44) return 36;
  return channelCount;
}

namespace {
long resultIndex(const StudyState& s, int band, int channel, int slice) {
  const long n = s.resultChannels();
  return (static_cast<long>(slice) * s.bandCount + band) * n + channel;
}
}  // namespace

void StudyState::resultPut(int band, int channel, int slice, int value) {
  const long i = resultIndex(*this, band, channel, slice);
  if (i < 0 || i >= kResultStoreSize) return;
  resultStore[i] = static_cast<std::int16_t>(std::clamp(value, -32768, 32767));
}

int StudyState::resultGet(int band, int channel, int slice) const {
  const long i = resultIndex(*this, band, channel, slice);
  if (i < 0 || i >= kResultStoreSize) return 0;
  return resultStore[i];
}

namespace {
// The transform-view conversion of a code, shared by physicalValue and resultValue.
double transformValue(const StudyState& s, int code, int channel) {
  const double units = std::max<std::uint16_t>(1, s.calibUnits[channel]);
  const double value = s.calibValue[channel];
  switch (s.transformKind) {
    case TransformKind::Power: return code / units * value / units * value;
    case TransformKind::CrossPhase: return (code - 2048) / 2047.0 * 180.0;
    case TransformKind::Coherence: return code / 4095.0;
    case TransformKind::Correlation: return (code - 2048) / 2047.0;
    default: return code / units * value;
  }
}
}  // namespace

double StudyState::resultValue(int band, int channel, int slice) const {
  const int code = resultGet(band, channel, slice);
  if (bandMode > 1) {
    if (band < 0 || band >= kBandRows) return 0;
    const double lo = parseNumber(bandTable[band].low).value_or(0);
    const double hi = parseNumber(bandTable[band].high).value_or(0);
    return lo + (hi - lo) * code / 256.0;
  }
  if (channel < 0 || channel > kMaxChannels) return 0;
  if (sumMode == 5) return code;
  if (transformKind == TransformKind::Power && bandMode == 0)
    return std::ldexp(transformValue(*this, code, channel), std::clamp(resultPowerShift, 0, 48));
  if (transformKind == TransformKind::Power && bandMode == 1) {
    // The largest bin is stored as its amplitude code: its power is the
    // square of that amplitude in microvolts.
    const double a = code / static_cast<double>(std::max<std::uint16_t>(1, calibUnits[channel])) * calibValue[channel];
    return a * a;
  }
  return transformValue(*this, code, channel);
}

double StudyState::physicalValue(int sample, int channel) const {
  if (channel < 0 || channel >= kMaxChannels || sample < 0 || sample > kMaxSamples) return 0;
  const int code = channelData[channel][sample];
  if (sumMode == 5) return code;
  if (viewMode == ViewMode::Transform) return transformValue(*this, code, channel);
  const double units = std::max<std::uint16_t>(1, calibUnits[channel]);
  return (code - static_cast<int>(zeroLevel[channel])) / units * calibValue[channel];
}

double StudyState::intervalSum(int channel) const {
  if (recordLength <= 0) return 0;
  // without a selection the interval is the cursor sample alone
  const int anchor = selectionAnchor < 0 ? cursorPos : selectionAnchor;
  int a = std::min(cursorPos, anchor);
  int b = std::max(cursorPos, anchor);
  a = std::clamp(a, 0, recordLength - 1);
  b = std::clamp(b, 0, recordLength - 1);
  double sum = 0;
  for (int i = a; i <= b; ++i) {
    const double v = physicalValue(i, channel);
    switch (sumMode) {
      case 0: sum += std::fabs(v); break;
      case 2: if (v >= 0) sum += v; break;
      case 3: if (v <= 0) sum += v; break;
      case 5: sum += v - zeroLevel[channel]; break;
      default: sum += v; break;
    }
  }
  if (sumMode == 4) sum /= (b - a + 1);
  return sum;
}

void StudyState::normaliseEpochGrid() {
  if (epochLength == 0 && epochStep == 0) {
    epochLength = epochStep = recordLength;
  } else if (epochStep == 0) {
    epochStep = epochLength;
  }
  epochCount = computeEpochCount();
}

int StudyState::computeEpochCount() const {
  const int step = epochStep != 0 ? epochStep : (epochLength != 0 ? epochLength : recordLength);
  const int len = (epochLength == 0 && epochStep == 0) ? recordLength : epochLength;
  if (step <= 0) return 0;
  // trunc towards zero, as the grid rule says: a record shorter than one epoch gives ≤ 0
  const double n = static_cast<double>(recordLength - len) / step + 1.0;
  return static_cast<int>(std::trunc(n));
}

void StudyState::swapParkedBuffers() {
  for (int i = 0; i < kMaxChannels; ++i) std::swap(channelData[i], parkedChannelData[i]);
}

void StudyState::fitTimeZoom(int usableWidth) {
  if (lockedZoom) return;
  timeZoom = 0;
  if (recordLength <= 0 || usableWidth <= 0) return;
  while (timeZoom < 5 && usableWidth / 2 > (static_cast<long>(recordLength) << timeZoom)) ++timeZoom;
  while (timeZoom > -5 && timeZoom <= 0 && usableWidth < (recordLength >> -timeZoom)) --timeZoom;
}

void StudyState::enterTransformView(TransformKind kind, int valuesPerChannel, int usableWidth) {
  if (viewMode == ViewMode::Transform) return;
  valuesPerChannel = std::clamp(valuesPerChannel, 0, kParkedSamples);
  const int rows = (isPairMeasure(kind) && leadPairCount > 0) ? leadPairCount : channelCount;
  if (kind == TransformKind::Power) {
    // power: square, then shift right until the peak fits 12 bits
    long peak = 0;
    for (int c = 0; c < rows; ++c)
      for (int i = 0; i < valuesPerChannel; ++i) {
        const long v = parkedChannelData[c][i];
        peak = std::max(peak, v * v);
      }
    int s = 0;
    while ((peak >> s) > 4095) ++s;
    powerShift = s;
    for (int c = 0; c < rows; ++c)
      for (int i = 0; i < valuesPerChannel; ++i) {
        const long v = parkedChannelData[c][i];
        parkedChannelData[c][i] = static_cast<std::int16_t>((v * v) >> s);
      }
  }
  int peak = 0;
  for (int c = 0; c < rows; ++c)
    for (int i = 0; i < valuesPerChannel; ++i) peak = std::max(peak, std::abs(int{parkedChannelData[c][i]}));
  if (peak >= 1 && peak <= 3071) gainStep = static_cast<int>(std::trunc(std::log(5120.0 / peak) / std::log(1.2)));

  swapParkedBuffers();
  viewMode = ViewMode::Transform;
  transformKind = kind;
  // The signal length is always kept, so that leaving restores it even for
  // transforms that keep the record length.
  savedRecordLength = recordLength;
  if (kind != TransformKind::Correlation) recordLength = valuesPerChannel;
  savedViewStart = viewStart;
  savedCursorPos = cursorPos;
  viewStart = 0;
  cursorPos = transformCursorPos;
  selectionAnchor = -1;
  if (cursorPos >= recordLength) cursorPos = 10;
  if (isPairMeasure(kind) && leadPairCount > 0) {
    firstShownChannel = 0;
    shownChannelCount = leadPairCount;
  }
  fitTimeZoom(usableWidth - (sidePanelWidth > 0 ? 210 : 0));
}

void StudyState::leaveTransformView(bool continuingWithAnotherTransform) {
  if (viewMode != ViewMode::Transform) return;
  if (!continuingWithAnotherTransform) {
    epochLength = std::min(recordLength * 2, kMaxSamples);
    // the zoom an analysis kept for stepping through its results ends with
    // the view: the next transform fits its own
    lockedZoom = false;
  }
  recordLength = savedRecordLength;
  shownChannelCount = std::max(1, channelCount - firstShownChannel);
  timeZoom = 0;
  gainStep = 0;
  transformCursorPos = cursorPos;
  cursorPos = savedCursorPos;
  viewStart = savedViewStart;
  swapParkedBuffers();
  viewMode = ViewMode::Signals;
  transformKind = TransformKind::Amplitude;
}

void StudyState::initMonitorDefaults() {
  for (int i = 0; i < channelCount && i < kMaxChannels; ++i) {
    zeroLevel[i] = 2048;
    calibUnits[i] = 2048;
    calibValue[i] = 100;
    std::fill_n(channelData[i], kMaxSamples, std::int16_t{0});
  }
  viewStart = 0;
  selectionAnchor = -1;
  timeZoom = 0;
  gainStep = 0;
}

void StudyState::resetViewAfterOpen() {
  firstShownChannel = 0;
  shownChannelCount = channelCount;
  currentChannelRow = 0;
  currentEpoch = 0;
  bandMode = 0;
  cursorPos = monitorWidth / 8;
  selectionAnchor = -1;
  viewStart = 0;
  currentRecord = 1;
}

std::int32_t encodeTimeOfDay(double fraction) {
  if (!(fraction > 0)) return 0;
  fraction = std::min(fraction, 0.9999999);
  return static_cast<std::int32_t>(std::trunc(fraction * 10000000.0));
}

double decodeTimeOfDay(std::int32_t stored) { return stored <= 0 ? 0.0 : stored / 10000000.0; }

// Civil-date arithmetic on the proleptic Gregorian calendar; day 0 is 1899-12-30.
int daysFromCivil(int y, int m, int d) {
  y -= m <= 2;
  const int era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * static_cast<unsigned>(m + (m > 2 ? -3 : 9)) + 2) / 5 + static_cast<unsigned>(d) - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  const int unixDays = era * 146097 + static_cast<int>(doe) - 719468;
  return unixDays + 25569;
}

void civilFromDays(int days, int& year, int& month, int& day) {
  int z = days - 25569 + 719468;
  const int era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int y = static_cast<int>(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  year = y + (month <= 2);
}

std::string dayMonthYearText(int days) {
  int y = 0, m = 0, d = 0;
  civilFromDays(days, y, m, d);
  char buf[48];
  std::snprintf(buf, sizeof buf, "%02d.%02d.%04d", d, m, y);
  return buf;
}

namespace {
constexpr std::int64_t kSecondsPerDay = 86400;
// 1970-01-01 as a day count of the file dates.
constexpr int kUnixEpochDays = 25569;

// SOURCE_DATE_EPOCH (seconds since 1970 UTC, the reproducible-output
// convention) stands in for the system clock, so that scripts and tests get
// the same bytes from the same input.
std::time_t systemSeconds() {
  if (const char* fixed = std::getenv("SOURCE_DATE_EPOCH"); fixed && *fixed) {
    char* end = nullptr;
    const long long v = std::strtoll(fixed, &end, 10);
    if (*end == '\0' && v >= 0 && v < (1LL << 40)) return static_cast<std::time_t>(v);
  }
  return std::time(nullptr);
}

std::int64_t systemLocalSeconds() {
  const std::time_t t = systemSeconds();
  std::tm tm{};
  localtime_r(&t, &tm);
  return static_cast<std::int64_t>(t) + tm.tm_gmtoff;
}

std::int64_t localSeconds(const StudyState* s) {
  return s && s->localClock ? s->localClock() : systemLocalSeconds();
}

std::int64_t floorDiv(std::int64_t a, std::int64_t b) { return a / b - (a % b != 0 && (a < 0) != (b < 0)); }

int daysOf(std::int64_t seconds) { return static_cast<int>(floorDiv(seconds, kSecondsPerDay) + kUnixEpochDays); }
double fractionOf(std::int64_t seconds) {
  return static_cast<double>(seconds - floorDiv(seconds, kSecondsPerDay) * kSecondsPerDay) / 86400.0;
}
}  // namespace

int todayAsDays() { return daysOf(localSeconds(nullptr)); }
double nowAsDayFraction() { return fractionOf(localSeconds(nullptr)); }
int todayAsDays(const StudyState& s) { return daysOf(localSeconds(&s)); }
double nowAsDayFraction(const StudyState& s) { return fractionOf(localSeconds(&s)); }

std::int64_t localSecondsOf(int days, double dayFraction) {
  return (static_cast<std::int64_t>(days) - kUnixEpochDays) * kSecondsPerDay +
         static_cast<std::int64_t>(std::llround(dayFraction * 86400.0));
}

}  // namespace velor
