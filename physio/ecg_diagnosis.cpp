#include "physio/ecg_diagnosis.h"

#include <algorithm>
#include <cmath>

#include "physio/ecg_texts.h"

namespace velor {

namespace {

enum Lead { kI, kII, kIII, kAVr, kAVl, kAVf, kV1, kV2, kV3, kV4, kV5, kV6 };
enum Measure { kST, kT, kP, kQ, kR, kS };

std::string withoutBlanks(const std::string& t) {
  std::string r;
  for (char c : t)
    if (c != ' ') r += c;
  return r;
}

int findChannel(const StudyState& s, const char* name) {
  for (int c = 0; c < s.channelCount; ++c)
    if (withoutBlanks(s.channelNames[static_cast<std::size_t>(c)]) == name) return c;
  return -1;
}

std::string pad7(long long v) {
  std::string t = std::to_string(v);
  return t.size() >= 7 ? t : std::string(7 - t.size(), ' ') + t;
}

double physical(const StudyState& s, int channel, double code) {
  const int units = s.calibUnits[channel] == 0 ? 1 : s.calibUnits[channel];
  return (code - s.zeroLevel[channel]) / units * s.calibValue[channel];
}

}  // namespace

bool diagnoseEcg(StudyState& s, int ref, const BeatDetectorSettings& settings, EcgDiagnosis& out, std::string& message,
                 const BeatDetectorOptions& options) {
  out = EcgDiagnosis{};
  if (ref < 0 || ref >= s.channelCount) {
    message = kEcgTooFewIntervals;
    return false;
  }
  std::int16_t* table = s.resultStore;
  const EcgSignal sig{s.channelData[static_cast<std::size_t>(ref)], s.recordLength, s.zeroLevel[ref], s.sampleRate};
  const int n = detectBeats(sig, settings, s.spareTrace[0], table, &message, options);
  if (n < 0) return false;
  if (n < 3) {
    message = kEcgTooFewIntervals;
    return false;
  }
  auto entry = [&](BeatBlock b, int i) { return static_cast<int>(table[static_cast<int>(b) * kBeatBlock + i]); };
  for (int l = 0; l < 12; ++l) {
    const int c = findChannel(s, kEcgLeadNames[l]);
    out.leads[static_cast<std::size_t>(l)].present = c >= 0;
    out.leads[static_cast<std::size_t>(l)].channel = c;
  }
  if (!out.leads[kI].present) {
    out.leads[kI].present = true;  // the reference lead stands for I
    out.leads[kI].channel = ref;
  }
  const int L = s.recordLength;
  auto at = [&](int i) { return std::clamp(i, 0, L - 1); };
  // lead measures at the reference lead's beats
  for (LeadMeasures& lm : out.leads) {
    if (!lm.present) continue;
    const std::int16_t* x = s.channelData[static_cast<std::size_t>(lm.channel)];
    const int Z = s.zeroLevel[lm.channel];
    int r = table[n];  // the first R position
    bool first = true;
    for (int i = 0; i < n; ++i) {
      const int q = r - entry(BeatBlock::RMinusQ, i);
      const int sw = q + entry(BeatBlock::QRS, i);
      const int t = q + entry(BeatBlock::QT, i);
      const int count = (t - 2 * sw + r) / 2;
      const int from = 2 * sw - r;
      int st = Z;
      if (count > 0) {
        long long sum = 0;
        for (int k = 0; k < count; ++k) sum += x[at(from + k)];
        st = static_cast<int>(sum / count);
      }
      const std::array<int, 6> v = {st, x[at(t)], x[at(q - entry(BeatBlock::PQ, i))], x[at(q)], x[at(r)], x[at(sw)]};
      for (std::size_t m = 0; m < 6; ++m) {
        lm.lo[m] = first ? v[m] : std::min(lm.lo[m], v[m]);
        lm.hi[m] = first ? v[m] : std::max(lm.hi[m], v[m]);
      }
      first = false;
      r += entry(BeatBlock::RR, i);
    }
  }
  // electrical axis from the largest R of I and aVf
  if (out.leads[kAVf].present) {
    const LeadMeasures& a = out.leads[kAVf];
    const LeadMeasures& i1 = out.leads[kI];
    const double ra = a.hi[kR] - s.zeroLevel[a.channel], ri = i1.hi[kR] - s.zeroLevel[i1.channel];
    out.axisKnown = true;
    out.axis = static_cast<int>(std::trunc(std::atan2(ra, ri) * 180 / M_PI));
  }
  // interval summary of the reference lead
  const double fs = s.sampleRate;
  out.lines.push_back(kEcgDiagHead);
  const char* heads[] = {"RR ", "PQ ", "QRS", "QT "};
  const BeatBlock blocks[] = {BeatBlock::RR, BeatBlock::PQ, BeatBlock::QRS, BeatBlock::QT};
  double means[4] = {};
  int mins[4] = {}, maxs[4] = {};
  for (int k = 0; k < 4; ++k) {
    long long sum = 0;
    int lo = entry(blocks[k], 0), hi = lo;
    for (int i = 0; i < n; ++i) {
      const int v = entry(blocks[k], i);
      sum += v;
      lo = std::min(lo, v);
      hi = std::max(hi, v);
    }
    means[k] = static_cast<double>(sum) / n;
    mins[k] = lo;
    maxs[k] = hi;
    const long long meanSamples = static_cast<long long>(std::floor(means[k] + 0.5));
    auto ms = [&](double v) { return static_cast<long long>(std::trunc(v * 1000 / fs)); };
    std::string line = std::string(heads[k]) + pad7(ms(static_cast<double>(meanSamples))) + pad7(ms(lo)) + pad7(ms(hi));
    if (k == 0) {
      line += std::string(kEcgDiagHr) + std::to_string(meanSamples > 0 ? static_cast<long long>(60 * fs / meanSamples) : 0);
      if (out.axisKnown) line += std::string(kEcgDiagAxis) + std::to_string(out.axis);
    }
    out.lines.push_back(line);
  }
  out.lines.push_back(" ");
  out.heartRate = means[0] > 0 ? 60 * fs / means[0] : 0;
  out.pq = means[1] / fs;
  out.qrs = means[2] / fs;
  // dRR: the range of the intervals as a share of their mean
  out.drr = means[0] > 0 ? (maxs[0] - mins[0]) / means[0] * 100 : 0;
  // the 12-lead table
  out.lines.push_back(kEcgLeadHead);
  const char* rows[] = {"ST", "T ", "P ", "Q ", "R ", "S "};
  for (int m = 0; m < 6; ++m) {
    std::string line = rows[m];
    for (const LeadMeasures& lm : out.leads) {
      if (!lm.present) {
        line += "       ";
        continue;
      }
      const double mid = (lm.lo[static_cast<std::size_t>(m)] + lm.hi[static_cast<std::size_t>(m)]) / 2.0;
      line += pad7(static_cast<long long>(std::trunc(physical(s, lm.channel, mid))));
    }
    out.lines.push_back(line);
  }
  out.lines.push_back(" ");
  applyEcgRules(out, s);
  return true;
}

void applyEcgRules(EcgDiagnosis& d, const StudyState& s) {
  auto has = [&](int l) { return d.leads[static_cast<std::size_t>(l)].present; };
  auto phys = [&](int l, int m, bool largest) {
    const LeadMeasures& lm = d.leads[static_cast<std::size_t>(l)];
    if (!lm.present) return 0.0;
    return physical(s, lm.channel, largest ? lm.hi[static_cast<std::size_t>(m)] : lm.lo[static_cast<std::size_t>(m)]);
  };
  auto st = [&](int l) { return phys(l, kST, true); };
  auto sMagnitude = [&](int l) { return std::max(std::fabs(phys(l, kS, false)), std::fabs(phys(l, kS, true))); };
  auto rel = [&](int l, int m, bool largest) {
    const LeadMeasures& lm = d.leads[static_cast<std::size_t>(l)];
    return static_cast<double>((largest ? lm.hi : lm.lo)[static_cast<std::size_t>(m)] - s.zeroLevel[lm.channel]);
  };
  const double P = phys(kI, kP, true), HR = d.heartRate, QRS = d.qrs, PQ = d.pq, dRR = d.drr;
  auto add = [&](int rule) { d.rules.push_back(rule); };
  if (P > 40) add(1);
  if (P >= 20 && HR > 80) add(2);
  if (P >= 20 && HR > 60 && HR <= 80 && dRR > 10) add(3);
  if (P >= 20 && HR > 60 && HR <= 80 && dRR <= 10) add(4);
  if (P >= 20 && HR <= 60) add(5);
  if (P < 20 && dRR < 10 && HR < 60) add(6);
  if (P < 20 && dRR < 10 && HR >= 60 && QRS > 0.15) add(7);
  if (P < 20 && dRR < 10 && HR > 150 && QRS > 0.15) add(8);
  if (d.axisKnown) {
    const int a = d.axis;
    if (a > -90 && a < -30) add(9);
    if (a >= -30 && a < 0) add(10);
    if (a >= 0 && a <= 90) add(11);
    if (a > 90 && a < 110) add(12);
    if (a >= 110 && a < 180) add(13);
    if (a >= -180 && a <= -90) add(14);
  }
  bool r15 = false;
  for (int l = kV1; l <= kV6; ++l) r15 = r15 || (has(l) && st(l) < -200);
  if (r15) add(15);
  if (!r15 && st(kII) < -100 && st(kAVf) < -100) add(16);
  for (int l = kV1; l <= kV3; ++l)
    if (has(l) && std::trunc(st(l)) < -100) add(17);
  for (int l = kV4; l <= kV6; ++l)
    if (has(l) && std::trunc(st(l)) <= -100) add(18);
  const bool r19 = st(kI) < -100 && st(kAVl) < -100;
  if (r19) add(19);
  if (r19 && st(kII) < -100 && st(kAVr) < -100) add(20);
  int high = 0;
  for (int l = kV1; l <= kV6; ++l) high += has(l) && st(l) > 200 ? 1 : 0;
  if (high >= 2) add(21);
  if (rel(kI, kT, true) > 0.3 * rel(kI, kR, true)) add(22);
  if (phys(kI, kT, false) < 0) add(23);
  if (QRS > 0.13 && PQ < 0.12) add(24);
  // R / |S| only where S is off the zero line: with S = 0 the ratio says nothing
  bool r25 = false;
  if (has(kV2) && rel(kV2, kS, false) != 0) r25 = rel(kV2, kR, true) / std::fabs(rel(kV2, kS, false)) > 3;
  if (r25) add(25);
  if (!r25 && has(kV5) && rel(kV5, kS, false) != 0 && rel(kV5, kR, true) / std::fabs(rel(kV5, kS, false)) < 0.75) add(26);
  if (QRS / 2 + PQ > std::pow(10 * HR, 0.25)) add(27);
  // hypertrophy scores
  int left = 0;
  if (phys(kV5, kR, true) + phys(kV6, kR, true) >= 3500 && (sMagnitude(kV1) >= 3501 || sMagnitude(kV2) > 3500))
    left += 2;
  for (int l = kV1; l <= kV3; ++l)
    if (has(l) && sMagnitude(l) > 2500) {
      left += 1;
      break;
    }
  left = std::min(left, 3);
  for (int l : {kI, kAVl, kAVf, kV5, kV6})
    if (has(l) && st(l) < -20) {
      left += 1;
      break;
    }
  if (QRS > 0.11) left += 1;
  int right = 0;
  auto smallRatio = [&](int l) {
    const double sv = phys(l, kS, false);
    return has(l) && sv < -700 && std::fabs(phys(l, kR, true) / sv) < 1;
  };
  if (phys(kV1, kR, true) > 700 && has(kV1) && phys(kV1, kS, false) >= -199) right += 3;
  else if (smallRatio(kV5) || smallRatio(kV6)) right += 3;
  for (int l = kV1; l <= kV3; ++l)
    if (has(l) && st(l) < -20) {
      right += 1;
      break;
    }
  if (d.axisKnown && ((d.axis > 90 && d.axis < 180) || (d.axis > -180 && d.axis < -120))) right += 2;
  if (QRS > 0.1 && QRS < 0.12) right += 1;
  if (has(kV5) && left > 4) add(28);
  if ((has(kV5) && right > 4) || (right > 2 && d.axisKnown && d.axis < -120)) add(29);
  if (has(kV5) && right > 3) add(30);
  for (int rule : d.rules) d.lines.push_back(kEcgRuleTexts[rule - 1]);
}

bool convertTo12Leads(StudyState& s) {
  auto name = [&](int c) { return withoutBlanks(s.channelNames[static_cast<std::size_t>(c)]); };
  auto isV = [](const std::string& n) { return n.size() == 2 && n[0] == 'V' && n[1] >= '1' && n[1] <= '6'; };
  const int count = s.channelCount;
  const bool kardi2 = s.deviceKind == 1;
  enum class Layout { None, LimbLeads, Electrodes };
  Layout layout = Layout::None;
  bool secondIsII = false;
  int chest = 0;
  if (count >= 2 && name(0) == "I" && (name(1) == "III" || (kardi2 && name(1) == "II"))) {
    for (int c = 2; c < count; ++c) chest += isV(name(c)) ? 1 : 0;
    if (2 + chest == count && count <= 8) {
      layout = Layout::LimbLeads;
      secondIsII = name(1) == "II";
    }
  } else if (count >= 3 && name(0) == "R" && name(1) == "L" && name(2) == "F") {
    if (s.deviceKind == 3 && count == 3) layout = Layout::Electrodes;
    if (kardi2) {
      int cs = 0;
      for (int c = 3; c < count; ++c) {
        const std::string n = name(c);
        cs += (n == "C1" || n == "C2" || n == "C3") ? 1 : 0;
      }
      if (3 + cs == count && count + (3 - cs) == 6) layout = Layout::Electrodes;
    }
  }
  if (layout == Layout::None) return false;
  const int L = s.recordLength;
  s.pendingChannelCount = count;
  const double Z = s.zeroLevel[0];
  auto ch = [&](int c) { return s.channelData[static_cast<std::size_t>(c)]; };
  // chest leads to the end (channels 7..12, 1-based), from the last so none is overwritten
  const int chestFrom = layout == Layout::LimbLeads ? 2 : 3;
  const int chestCount = count - chestFrom;
  for (int k = chestCount - 1; k >= 0; --k) std::copy_n(ch(chestFrom + k), L, ch(6 + k));
  std::vector<std::string> chestNames;
  for (int k = 0; k < chestCount; ++k) chestNames.push_back(name(chestFrom + k));
  auto code = [](double v) { return sampleCode(static_cast<std::int16_t>(std::clamp(std::trunc(v), -32768.0, 32767.0))); };
  for (int i = 0; i < L; ++i) {
    double I = 0, III = 0;
    if (layout == Layout::Electrodes) {
      const double R = ch(0)[i], Lf = ch(1)[i], F = ch(2)[i];
      I = Lf - R + Z;
      III = F - Lf + Z;
    } else if (secondIsII) {
      I = ch(0)[i];
      III = ch(1)[i] + Z - I;
    } else {
      I = ch(0)[i];
      III = ch(1)[i];
    }
    const double II = I + III - Z;
    ch(0)[i] = code(I);
    ch(1)[i] = code(II);
    ch(2)[i] = code(III);
    ch(3)[i] = code(2.5 * Z - I - III / 2);
    ch(4)[i] = code(I / 2 - III / 2 + Z);
    ch(5)[i] = code(I / 2 + III - Z / 2);
  }
  // chest leads keep their V names; C1..C3 become V1..V3 in their order
  int total = 6 + chestCount;
  for (int c = 0; c < total; ++c) {
    std::string n = c < 6 ? kEcgLeadNames[c] : chestNames[static_cast<std::size_t>(c - 6)];
    if (n.size() == 2 && n[0] == 'C') n[0] = 'V';
    s.channelNames[static_cast<std::size_t>(c)] = n;
    s.channelPosX[static_cast<std::size_t>(c)] = kKindEcg;
    s.channelPosY[static_cast<std::size_t>(c)] = 0;
    s.zeroLevel[c] = s.zeroLevel[0];
    s.calibUnits[c] = s.calibUnits[0];
    s.calibValue[c] = s.calibValue[0];
  }
  s.channelCount = total;
  s.firstShownChannel = 0;
  s.shownChannelCount = total;
  s.recordModified = 1;
  return true;
}

}  // namespace velor
