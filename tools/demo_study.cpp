#include "tools/demo_study.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <numbers>
#include <vector>

#include "core/binio.h"
#include "core/record_file.h"
#include "core/text.h"

namespace velor {

namespace {

constexpr double kTwoPi = 2.0 * std::numbers::pi;

// Where each lead sits and how strongly each rhythm shows in it.
struct DemoLead {
  const char* name;
  std::uint8_t x, y;
  double alpha, beta, theta, blink;
};

// 10-20 positions projected onto the 0..62 scheme: the frontal poles, the
// temporal leads and the occipital leads on a circle of radius 27..28 around
// Cz, the inner ring at half that distance.
constexpr DemoLead kLeads[kDemoEegChannels] = {
    {"Fp1", 22, 4, 0.10, 0.8, 0.7, 1.00},  {"Fp2", 40, 4, 0.10, 0.8, 0.7, 1.00},
    {"F7", 8, 15, 0.12, 0.8, 0.6, 0.30},   {"F3", 20, 16, 0.15, 1.0, 0.8, 0.40},
    {"Fz", 31, 17, 0.15, 1.0, 1.0, 0.45},  {"F4", 42, 16, 0.15, 1.0, 0.8, 0.40},
    {"F8", 54, 15, 0.12, 0.8, 0.6, 0.30},  {"T3", 3, 31, 0.30, 0.6, 0.5, 0.05},
    {"C3", 17, 31, 0.35, 0.9, 0.8, 0.10},  {"Cz", 31, 31, 0.35, 0.9, 1.0, 0.12},
    {"C4", 45, 31, 0.35, 0.9, 0.8, 0.10},  {"T4", 59, 31, 0.30, 0.6, 0.5, 0.05},
    {"T5", 8, 47, 0.60, 0.5, 0.5, 0.02},   {"P3", 20, 46, 0.65, 0.6, 0.6, 0.03},
    {"Pz", 31, 45, 0.65, 0.6, 0.7, 0.03},  {"P4", 42, 46, 0.65, 0.6, 0.6, 0.03},
    {"T6", 54, 47, 0.60, 0.5, 0.5, 0.02},  {"O1", 22, 58, 1.00, 0.4, 0.4, 0.00},
    {"O2", 40, 58, 1.00, 0.4, 0.4, 0.00},
};
constexpr int kEcgChannel = kDemoEegChannels;

// splitmix64: small, fast and specified here, so that a seed gives the same
// study with every compiler and standard library.
class DemoRandom {
 public:
  explicit DemoRandom(std::uint64_t seed) : state_(seed) {}
  std::uint64_t next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  double uniform() { return static_cast<double>(next() >> 11) * 0x1.0p-53; }
  double uniform(double a, double b) { return a + (b - a) * uniform(); }
  int below(int n) { return static_cast<int>(next() % static_cast<std::uint64_t>(n)); }
  double gauss() {
    if (haveSpare_) {
      haveSpare_ = false;
      return spare_;
    }
    double u = uniform();
    while (u <= 0.0) u = uniform();
    const double v = uniform();
    const double r = std::sqrt(-2.0 * std::log(u));
    spare_ = r * std::sin(kTwoPi * v);
    haveSpare_ = true;
    return r * std::cos(kTwoPi * v);
  }

 private:
  std::uint64_t state_;
  double spare_ = 0;
  bool haveSpare_ = false;
};

// A slow envelope in [lo, 1] made of three incommensurate sinusoids, so that a
// rhythm waxes and wanes irregularly over a few seconds.
struct Envelope {
  double f[3], ph[3], lo;
  Envelope(DemoRandom& r, double lowest, double fMin, double fMax) : lo(lowest) {
    for (int i = 0; i < 3; ++i) {
      f[i] = r.uniform(fMin, fMax);
      ph[i] = r.uniform(0, kTwoPi);
    }
  }
  double at(double t) const {
    double s = 0;
    for (int i = 0; i < 3; ++i) s += std::sin(kTwoPi * f[i] * t + ph[i]);
    const double unit = std::clamp(0.5 + s / 3.0, 0.0, 1.0);  // mostly 0.1..0.9
    return lo + (1.0 - lo) * unit;
  }
};

// A rhythm shared by all leads with per-lead weight and phase: frequency with
// a slight slow drift, amplitude with an envelope. Filled into `wave` once and
// added to each lead with its own phase by a second oscillator.
struct Rhythm {
  std::vector<double> cosPart, sinPart;  // amplitude × cos/sin of the running phase
  Rhythm(DemoRandom& r, int n, double rate, double f0, double amplitude, double envLow, double driftHz) {
    cosPart.resize(static_cast<std::size_t>(n));
    sinPart.resize(static_cast<std::size_t>(n));
    const Envelope env(r, envLow, 0.05, 0.25);
    const double driftPhase = r.uniform(0, kTwoPi);
    double phase = r.uniform(0, kTwoPi);
    for (int i = 0; i < n; ++i) {
      const double t = i / rate;
      const double f = f0 + driftHz * std::sin(kTwoPi * 0.07 * t + driftPhase);
      phase += kTwoPi * f / rate;
      const double a = amplitude * env.at(t);
      cosPart[static_cast<std::size_t>(i)] = a * std::cos(phase);
      sinPart[static_cast<std::size_t>(i)] = a * std::sin(phase);
    }
  }
  // weight × amplitude × sin(phase + offset)
  void addTo(std::vector<double>& out, double weight, double offset) const {
    const double c = std::cos(offset), s = std::sin(offset);
    for (std::size_t i = 0; i < out.size(); ++i) out[i] += weight * (sinPart[i] * c + cosPart[i] * s);
  }
};

// 1/f noise (Kellet's filter bank on white noise), scaled to `rms` µV.
void addPinkNoise(DemoRandom& r, std::vector<double>& out, double rms) {
  std::vector<double> p(out.size());
  double b0 = 0, b1 = 0, b2 = 0, b3 = 0, b4 = 0, b5 = 0, b6 = 0;
  for (double& v : p) {
    const double w = r.gauss();
    b0 = 0.99886 * b0 + w * 0.0555179;
    b1 = 0.99332 * b1 + w * 0.0750759;
    b2 = 0.96900 * b2 + w * 0.1538520;
    b3 = 0.86650 * b3 + w * 0.3104856;
    b4 = 0.55000 * b4 + w * 0.5329522;
    b5 = -0.7616 * b5 - w * 0.0168980;
    v = b0 + b1 + b2 + b3 + b4 + b5 + b6 + w * 0.5362;
    b6 = w * 0.115926;
  }
  double mean = 0;
  for (double v : p) mean += v;
  mean /= static_cast<double>(p.size());
  double ss = 0;
  for (double v : p) ss += (v - mean) * (v - mean);
  const double cur = std::sqrt(ss / static_cast<double>(p.size()));
  const double k = cur > 0 ? rms / cur : 0;
  for (std::size_t i = 0; i < p.size(); ++i) out[i] += (p[i] - mean) * k;
}

// Shape of a blink: a fast rise and a slower fall, 1 at its peak.
double blinkShape(double tau, double peakAfter) {
  if (tau <= 0) return 0;
  const double x = tau / peakAfter;
  return x * x * std::exp(2.0 * (1.0 - x));
}

// One P-QRS-T complex (mV) at time tau from the R peak, as a sum of Gaussian
// waves; the T wave moves with the beat interval as it does in life.
double beatShape(double tau, double rAmplitude, double rr) {
  struct Wave {
    double a, mu, sigma;
  };
  const double tShift = 0.28 * std::sqrt(rr / 0.857);
  const Wave waves[] = {
      {0.12, -0.20, 0.025},   // P
      {-0.10, -0.035, 0.010},  // Q
      {1.00, 0.0, 0.011},      // R
      {-0.25, 0.035, 0.011},   // S
      {0.30, tShift, 0.045},   // T
  };
  double v = 0;
  for (const Wave& w : waves) {
    const double z = (tau - w.mu) / w.sigma;
    v += w.a * std::exp(-0.5 * z * z);
  }
  return v * rAmplitude;
}

std::int16_t toCode(double microvolts, std::uint16_t calibValue) {
  const double code = std::round(2048.0 + microvolts * 2047.0 / calibValue);
  return static_cast<std::int16_t>(std::clamp(code, 0.0, 4095.0));
}

std::uint64_t recordSeed(std::uint64_t seed, int index) {
  DemoRandom mix(seed ^ (0xD1B54A32D192ED03ull * static_cast<std::uint64_t>(index + 1)));
  return mix.next();
}

std::string demoExamHeader() {
  std::string h(kHeaderChars, ' ');
  utf8PutField(h, 0, 30, "Фон, глаза закрыты");
  utf8PutField(h, 30, 30, "Демонстрационные записи");
  utf8PutField(h, 60, 30, "Образцова Анна Ивановна");
  utf8PutField(h, 90, 8, "ДЕМО-001");
  utf8PutField(h, 98, 10, "14.03.1990");
  utf8PutField(h, 108, 1, "Ж");
  utf8PutField(h, 109, 30, "Норма (синтетическая запись)");
  return h;
}

}  // namespace

int demoSamplesPerRecord(const DemoStudyOptions& o) {
  const double n = std::round(o.seconds * o.sampleRate);
  if (!(n >= 0) || n > 1e9) return -1;
  return static_cast<int>(n);
}

bool checkDemoOptions(const DemoStudyOptions& o, std::string& reason) {
  if (o.records < 1 || o.records > kDemoMaxRecords) {
    reason = "the record count must be 1.." + std::to_string(kDemoMaxRecords);
    return false;
  }
  if (o.sampleRate < 50 || o.sampleRate > 2000) {
    reason = "the sampling rate must be 50..2000 Hz";
    return false;
  }
  const int n = std::isfinite(o.seconds) ? demoSamplesPerRecord(o) : -1;
  if (n < 1 || n > kMaxSamples) {
    reason = "a record must hold 1.." + std::to_string(kMaxSamples) + " samples per channel (at most " +
             std::to_string(kMaxSamples / o.sampleRate) + " s at " + std::to_string(o.sampleRate) + " Hz)";
    return false;
  }
  if (o.fileDate < 1 || o.fileDate > daysFromCivil(9999, 12, 31)) {
    reason = "the file date is out of range";
    return false;
  }
  if (!(o.firstRecordTime >= 0 && o.firstRecordTime < 1) || !(o.pauseSeconds >= 0 && o.pauseSeconds < 86400)) {
    reason = "the record times are out of range";
    return false;
  }
  return true;
}

void setupDemoStudy(StudyState& s, const DemoStudyOptions& o) {
  const int n = demoSamplesPerRecord(o);
  s.viewMode = ViewMode::Signals;
  s.transformKind = TransformKind::Amplitude;
  s.channelCount = kDemoChannelCount;
  s.sampleRate = o.sampleRate;
  s.recordLength = s.plannedRecordLength = s.savedRecordLength = n;
  s.storedLength = n;
  s.markChannelCount = 1;
  s.recordCount = o.records;
  s.currentRecord = 1;
  s.recordModified = 0;
  s.pendingChannelCount = 0;
  s.recordFileVersion = kVersionCA40;
  s.recordDate = o.fileDate;
  s.recordTime = o.firstRecordTime;
  s.referenceKind = 1;  // linked ears
  s.leadPairCount = 0;
  s.examHeader = demoExamHeader();

  for (int i = 0; i < kMaxChannels; ++i) {
    s.channelNames[static_cast<std::size_t>(i)].clear();
    s.zeroLevel[i] = 2048;
    s.calibUnits[i] = 2047;
    s.calibValue[i] = 100;
    s.channelPosX[static_cast<std::size_t>(i)] = 0;
    s.channelPosY[static_cast<std::size_t>(i)] = 0;
    s.leadPairs[static_cast<std::size_t>(i)] = {0, 0};
  }
  for (int i = 0; i < kDemoEegChannels; ++i) {
    s.channelNames[static_cast<std::size_t>(i)] = kLeads[i].name;
    s.calibValue[i] = kDemoEegCalibValue;
    s.channelPosX[static_cast<std::size_t>(i)] = kLeads[i].x;
    s.channelPosY[static_cast<std::size_t>(i)] = kLeads[i].y;
  }
  s.channelNames[kEcgChannel] = "ЭКГ";
  s.calibValue[kEcgChannel] = kDemoEcgCalibValue;
  s.channelPosX[kEcgChannel] = kKindEcg;
  s.channelPosY[kEcgChannel] = 0;

  if (s.epochLength <= 0) s.epochLength = 256;
  s.epochStep = s.epochLength;
  s.normaliseEpochGrid();
  s.currentEpoch = 0;
}

void synthesizeDemoRecord(StudyState& s, const DemoStudyOptions& o, int index) {
  const int n = demoSamplesPerRecord(o);
  const double rate = o.sampleRate;
  const double seconds = n / rate;
  const auto un = static_cast<std::size_t>(n);
  DemoRandom r(recordSeed(o.seed, index));

  // Rhythms of this record.
  // (Draws are taken one statement at a time: the order of function arguments
  // is unspecified, and the study must not depend on the compiler.)
  const double alphaHz = r.uniform(9.5, 10.5);
  const double alphaUv = r.uniform(40, 60);
  const Rhythm alpha(r, n, rate, alphaHz, alphaUv, 0.35, 0.25);
  const double betaHz = r.uniform(18, 22);
  const double betaUv = r.uniform(5, 8);
  const Rhythm beta(r, n, rate, betaHz, betaUv, 0.4, 0.8);
  const double thetaHz = r.uniform(5, 6);
  const Rhythm theta(r, n, rate, thetaHz, 10.0, 0.3, 0.2);
  const double rightSide = r.uniform(1.0, 1.1);  // the right hemisphere is often slightly stronger

  // Blinks: a few per record, at least 1.5 s apart, clear of the record ends.
  struct Blink {
    double at, amplitude, rightFactor, peakAfter;
  };
  std::vector<Blink> blinks;
  if (seconds >= 2.0) {
    const int wanted = std::max(1, static_cast<int>(std::lround(seconds / 6.0)) - 1 + r.below(3));
    for (int tries = 0; tries < 50 && static_cast<int>(blinks.size()) < wanted; ++tries) {
      const double at = r.uniform(0.3, seconds - 0.8);
      const bool clear = std::none_of(blinks.begin(), blinks.end(),
                                      [&](const Blink& b) { return std::fabs(b.at - at) < 1.5; });
      const Blink b{at, r.uniform(100, 160), r.uniform(0.9, 1.1), r.uniform(0.10, 0.16)};
      if (clear) blinks.push_back(b);
    }
  }

  std::vector<double> v(un);
  for (int c = 0; c < kDemoEegChannels; ++c) {
    const DemoLead& lead = kLeads[c];
    const bool right = lead.x > 31;
    std::fill(v.begin(), v.end(), 0.0);
    alpha.addTo(v, lead.alpha * (right ? rightSide : 1.0), r.uniform(-0.25, 0.25));
    beta.addTo(v, lead.beta, r.uniform(-1.0, 1.0));
    theta.addTo(v, lead.theta, r.uniform(-0.5, 0.5));
    addPinkNoise(r, v, 6.0);
    for (const Blink& b : blinks) {
      const double amp = b.amplitude * lead.blink * (right ? b.rightFactor : 1.0);
      if (amp <= 0) continue;
      const int from = std::max(0, static_cast<int>(b.at * rate));
      const int to = std::min(n, static_cast<int>((b.at + 1.2) * rate));
      for (int i = from; i < to; ++i) v[static_cast<std::size_t>(i)] += amp * blinkShape(i / rate - b.at, b.peakAfter);
    }
    std::int16_t* out = s.channelData[static_cast<std::size_t>(c)];
    for (int i = 0; i < n; ++i) out[i] = toCode(v[static_cast<std::size_t>(i)], kDemoEegCalibValue);
  }

  // ECG in µV: beats from before the record start to after its end, so that
  // the record starts and ends mid-rhythm.
  {
    std::fill(v.begin(), v.end(), 0.0);
    const double heartRate = r.uniform(66, 74);
    const double rAmplitude = r.uniform(900, 1100);
    const double breathPhase = r.uniform(0, kTwoPi);
    const double breathPeriod = r.uniform(3.5, 5.0);
    double t = -r.uniform(0.0, 0.8);
    while (t < seconds + 0.5) {
      double rr = 60.0 / heartRate * (1.0 + 0.03 * std::sin(kTwoPi * t / breathPeriod + breathPhase));
      rr *= 1.0 + 0.01 * std::clamp(r.gauss(), -3.0, 3.0);
      const int from = std::max(0, static_cast<int>(std::floor((t - 0.4) * rate)));
      const int to = std::min(n, static_cast<int>(std::ceil((t + 0.6) * rate)));
      for (int i = from; i < to; ++i) v[static_cast<std::size_t>(i)] += beatShape(i / rate - t, rAmplitude, rr);
      t += rr;
    }
    const double wander = r.uniform(20, 40), wanderPhase = r.uniform(0, kTwoPi);
    for (int i = 0; i < n; ++i) {
      v[static_cast<std::size_t>(i)] +=
          wander * std::sin(kTwoPi * i / rate / breathPeriod + wanderPhase) + 6.0 * r.gauss();
    }
    std::int16_t* out = s.channelData[kEcgChannel];
    for (int i = 0; i < n; ++i) out[i] = toCode(v[static_cast<std::size_t>(i)], kDemoEcgCalibValue);
  }

  // User marks: 2..4 per record, each code held until the next mark.
  {
    std::vector<int> at;
    const int wanted = 2 + r.below(3);
    for (int k = 0; k < wanted; ++k) at.push_back(static_cast<int>(r.uniform(0.05, 0.95) * n));
    std::sort(at.begin(), at.end());
    at.erase(std::unique(at.begin(), at.end()), at.end());
    at.erase(std::remove(at.begin(), at.end(), 0), at.end());  // the first sample cannot show a change
    int code = 1 + r.below(3);
    std::int16_t value = 0;
    std::size_t next = 0;
    for (int i = 0; i < n; ++i) {
      if (next < at.size() && i == at[next]) {
        value = static_cast<std::int16_t>(code * 256);
        code = code % 3 + 1;
        ++next;
      }
      s.markChannel[i] = value;
    }
  }

  s.recordLength = s.storedLength = n;
  s.currentRecord = index + 1;
  s.recordModified = 0;
  const double start = o.firstRecordTime + index * (seconds + o.pauseSeconds) / 86400.0;
  s.recordTime = start - std::floor(start);
}

bool writeDemoStudy(StudyState& s, const std::string& path, const DemoStudyOptions& o, Progress& progress,
                    std::string& reason) {
  if (!checkDemoOptions(o, reason)) return false;
  AtomicFile file(path);
  if (!file.ok()) {
    reason = "cannot create " + path + ": " + std::strerror(errno);
    return false;
  }
  const int fd = file.fd();
  const auto failed = [&] {
    reason = "cannot write " + path + ": " + std::strerror(errno);
    return false;
  };
  setupDemoStudy(s, o);
  if (!writeHeader(s, fd)) return failed();
  // The writer stamps today's date; the demo keeps the date of its options so
  // that a seed always gives the same bytes.
  const long long headerEnd = fdTell(fd);
  unsigned char date[4];
  putU32(date, static_cast<std::uint32_t>(o.fileDate));
  if (headerEnd < 0 || !fdSeek(fd, 4 + kHeaderChars + 4LL * recordFileSlots(kVersionCA40)) ||
      !fdWriteAll(fd, date, 4) || !fdSeek(fd, headerEnd))
    return failed();

  progress.begin("Demo study", o.records);
  for (int k = 0; k < o.records; ++k) {
    synthesizeDemoRecord(s, o, k);
    if (!writeRecord(s, fd)) {
      progress.end();
      return failed();
    }
    // Likewise the record time: the writer stamps the clock, the demo its own.
    // A tick is 8.64 ms, so whole seconds are rounded up to the next tick to
    // read back as the second they name rather than the one before.
    unsigned char t[4];
    const double ticks = std::min(std::ceil(s.recordTime * 10000000.0 - 1e-6), 9999999.0);
    putU32(t, static_cast<std::uint32_t>(ticks));
    if (!fdSeekRelative(fd, -6) || !fdWriteAll(fd, t, 4) || !fdSeekRelative(fd, 2)) {
      progress.end();
      return failed();
    }
    if (!progress.step(k + 1)) {
      progress.end();
      reason = "cancelled";
      return false;
    }
  }
  progress.end();
  if (!file.commit()) return failed();
  return true;
}

}  // namespace velor
