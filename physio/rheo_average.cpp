// The averaged pulse wave and the hemodynamic estimates drawn from it.
#include <algorithm>
#include <cmath>

#include "core/numtext.h"
#include "core/settings.h"
#include "physio/rheo.h"
#include "physio/rheo_texts.h"

namespace velor {

namespace {

constexpr int kSeq = 1024;

void smooth3(std::vector<long long>& v, int last) {
  for (int pass = 0; pass < 3; ++pass)
    for (int k = 1; k <= last; ++k)
      v[static_cast<std::size_t>(k)] =
          (v[static_cast<std::size_t>(k - 1)] + 2 * v[static_cast<std::size_t>(k)] + v[static_cast<std::size_t>(k + 1)]) / 4;
}

std::string fmtOr(bool ok, double v) { return ok && std::isfinite(v) ? formatNumber(v) : std::string(kRegNoValue); }

}  // namespace

bool averageRegWave(const StudyState& s, int channel, const RegWaveSearch& search, RegAverage& out,
                    std::string& message) {
  const int n = static_cast<int>(search.waves.size());
  if (n < 2 || channel < 0 || channel >= s.channelCount) {
    message = kRegTooFewWaves;
    return false;
  }
  const int Tm = (search.lastOnset - search.firstOnset) / n;
  // The sequences hold 1024 values: a slow heart at a high rate is refused
  // instead of running past them.
  if (Tm < 4 || Tm + 26 > kSeq) {
    message = kRegAverageTooLong;
    return false;
  }
  const std::int16_t* x = s.channelData[static_cast<std::size_t>(channel)];
  const int L = s.recordLength;
  std::vector<long long> S(kSeq, 0), D(kSeq, 0), A(kSeq, 0);
  for (const RegWave& w : search.waves) {
    int d = w.T - Tm;
    int dir = 1;
    if (d < 0) {
      dir = -1;
      d = -d;
    }
    const int step = d > 1 ? static_cast<int>(std::trunc(std::fabs(static_cast<double>(w.T) / d) + 1)) : 0;
    int j = w.onset - 10, cnt = step;
    for (int k = 0; k <= Tm + 25; ++k) {
      if (cnt == 1) {
        cnt = step;
        j += dir;
      } else if (cnt > 1) {
        --cnt;
      }
      // samples before the record's start or after its end count as the edge sample
      S[static_cast<std::size_t>(k)] += std::abs(x[std::clamp(j, 0, L - 1)] - 512);
      ++j;
    }
  }
  smooth3(S, Tm + 23);
  for (int k = 0; k <= Tm + 24; ++k) D[static_cast<std::size_t>(k)] = S[static_cast<std::size_t>(k + 1)] - S[static_cast<std::size_t>(k)] + 2048LL * n;
  for (int k = 0; k <= Tm + 24; ++k) S[static_cast<std::size_t>(k)] /= n;
  smooth3(D, Tm + 23);
  for (int k = 0; k <= Tm + 24; ++k) A[static_cast<std::size_t>(k)] = D[static_cast<std::size_t>(k + 1)] - D[static_cast<std::size_t>(k)] + 2048LL * n;
  for (int k = 0; k <= Tm + 24; ++k) D[static_cast<std::size_t>(k)] /= n;
  smooth3(A, Tm + 23);
  for (int k = 0; k <= Tm + 24; ++k) A[static_cast<std::size_t>(k)] /= n;

  RegAverage a;
  a.Tm = Tm;
  a.m = Tm + 22;
  a.S.assign(S.begin(), S.begin() + Tm + 26);
  a.D.assign(D.begin(), D.begin() + Tm + 26);
  a.A.assign(A.begin(), A.begin() + Tm + 26);
  const int E = (Tm + 3) / 2 + 10, Z = Tm + 3;
  auto argmax = [](const std::vector<int>& v, int from, int to) {
    int best = from;
    for (int k = from; k <= to; ++k)
      if (v[static_cast<std::size_t>(k)] > v[static_cast<std::size_t>(best)]) best = k;
    return best;
  };
  auto at = [](const std::vector<int>& v, int k) { return v[static_cast<std::size_t>(k)]; };
  a.peak = argmax(a.S, 10, E);
  a.dMax1 = argmax(a.D, 10, E);
  a.aMax1 = argmax(a.A, 10, E);
  auto nextMin = [&](const std::vector<int>& v, int from, int stop) {
    for (int k = from + 1; k < stop; ++k)
      if (at(v, k) < at(v, k + 1) && at(v, k) <= at(v, k - 1)) return k;
    return stop;
  };
  auto nextMax = [&](const std::vector<int>& v, int from, int stop) {
    for (int k = from + 1; k < stop; ++k)
      if (at(v, k) > at(v, k + 1) && at(v, k) >= at(v, k - 1)) return k;
    return stop;
  };
  a.aMin1 = nextMin(a.A, a.aMax1, E);
  a.aMax2 = nextMax(a.A, a.aMin1, E);
  a.aMin2 = nextMin(a.A, a.aMax2, E);
  a.aMax3 = nextMax(a.A, a.aMin2, E);
  a.dMin1 = a.dMax1;
  for (int k = a.dMax1; k <= E; ++k)
    if (at(a.D, k) < at(a.D, a.dMin1)) a.dMin1 = k;
  a.dMax2 = nextMax(a.D, a.dMin1, Z);
  a.incisura = a.aMin2;
  a.dicroticPoint = a.aMax3;
  a.end = Tm + 13;
  out = std::move(a);
  return true;
}

std::vector<std::string> regAverageLines(const StudyState& s, int channel, const RegAverage& a) {
  const double fs = s.sampleRate > 0 ? s.sampleRate : 1;
  const double g = regOhmsPerCode(s, channel);
  auto t = [&](int k) { return formatNumber((k - 10) / fs); };
  auto S = [&](int k) { return a.S[static_cast<std::size_t>(k)]; };
  auto av = [&](int k) { return static_cast<double>(a.A[static_cast<std::size_t>(k)] - 2048); };
  const double AS = (S(a.peak) - 512) * g, AI = (S(a.incisura) - 512) * g, AD = (S(a.dicroticPoint) - 512) * g;
  const double T = (a.end - 10) / fs;
  std::vector<std::string> L;
  L.push_back("Производная: Max1=" + t(a.dMax1) + "  Min1=" + t(a.dMin1) + "  Max2=" + t(a.dMax2));
  L.push_back("Ускорение:   Max1=" + t(a.aMax1) + "  Min1=" + t(a.aMin1) + "  Max2=" + t(a.aMax2) + "  Min2=" +
              t(a.aMin2) + "  Max3=" + t(a.aMax3));
  L.push_back("Амах: производной=" + formatNumber((a.D[static_cast<std::size_t>(a.dMax1)] - 2048) * g * fs) +
              "; ускорения=" + formatNumber(av(a.aMax1) * g * fs));
  L.push_back("Дикротич.И=" + fmtOr(AS != 0, AI / AS * 100) + "  Диастолич.И=" + fmtOr(AS != 0, (AI + AD) / AS * 100));
  L.push_back("А-систолы=" + formatNumber(AS) + "  А-диастолы=" + formatNumber(AD));
  L.push_back("Т-волны=" + formatNumber(T) + "  И-замедления=" +
              fmtOr(a.peak != a.dMax1, static_cast<double>(a.dMax1 - 10) / (a.peak - a.dMax1)));
  L.push_back("T-систолы=" + t(a.peak) + "  T-диастолы=" + t(a.dicroticPoint));
  // The elasticity modulus as the statistics give it: systolic time over the
  // wave time, in per cent.
  L.push_back("Модуль упругости=" + fmtOr(T > 0, (a.peak - 10) / fs / T * 100) + "  И-функц.резерва=" +
              fmtOr(av(a.aMax1) != 0,
                    (std::fabs(av(a.aMin1)) - std::fabs(av(a.aMin2)) - std::fabs(av(a.aMax3))) / av(a.aMax1)));
  return L;
}

bool readRegPatient(const std::string& dir, RegPatient& out) {
  const auto lines = readTextLines(dir + kRegPatientFile);
  if (!lines || lines->size() < 8) return false;
  const auto& l = *lines;
  RegPatient p;
  auto num = [](const std::string& t, double d) {
    const auto v = parseNumber(t);
    return v && std::isfinite(*v) ? *v : d;
  };
  const bool haematocrit = trimSpaces(l[7]) == "1";
  p.erythrocytes = num(l[0], 14) * (haematocrit ? -1 : 1);
  p.distance = num(l[1], 50);
  p.weight = num(l[2], 69);
  p.height = num(l[3], 175);
  p.chest = num(l[4], 90);
  p.sex = trimSpaces(l[5]) == "m" ? 0 : 1;
  p.pressure = parseInteger(l[6]).value_or(140);
  out = p;
  return true;
}

bool writeRegPatient(const std::string& dir, const RegPatient& p, bool haematocrit) {
  return writeTextLines(dir + kRegPatientFile,
                        {formatNumber(std::fabs(p.erythrocytes)), formatNumber(p.distance), formatNumber(p.weight),
                         formatNumber(p.height), formatNumber(p.chest), p.sex == 0 ? "m" : "f",
                         integerText(p.pressure), haematocrit ? "1" : "0"});
}

bool computeHemodynamics(StudyState& s, int method, int age, const RegPatient& p,
                         const BeatDetectorSettings& settings, std::vector<std::string>& lines, std::string& message) {
  lines.clear();
  std::string problem;
  const auto r = regRPositions(s, settings, problem);
  if (s.channelCount < 3) {
    message = kRegTooFewWaves;
    return false;
  }
  return computeHemodynamics(s, findRegWaves(s, 0, r), method, age, p, lines, message);
}

bool computeHemodynamics(StudyState& s, const RegWaveSearch& w, int method, int age, const RegPatient& p,
                         std::vector<std::string>& lines, std::string& message) {
  lines.clear();
  if (s.channelCount < 3 || w.waves.size() < 2) {
    message = kRegTooFewWaves;
    return false;
  }
  RegAverage a;
  if (!averageRegWave(s, 0, w, a, message)) return false;
  const double fs = s.sampleRate;
  const double g0 = regOhmsPerCode(s, 0);
  const double T = (a.end - 10) / fs;
  const double tE = T - (a.peak - 10) / fs;
  const double dZ = (a.D[static_cast<std::size_t>(a.dMax1)] - 2048) * g0 * fs;
  const double tX = (a.aMin2 - 10) / fs;
  const double c = s.channel(1)[0];
  const double Z0 = ((c - 2048) * 5 / 2048 - 0.17) / 1.43 * 80 + 10;
  // Every quotient below needs these positive; a flat or odd wave is refused
  // instead of printing infinities.
  if (!(Z0 > 0) || !(tE > 0) || !(tX > 0) || !(T > 0)) {
    message = kRegNoHemodynamics;
    return false;
  }
  lines.push_back("Показатель     Значение");
  lines.push_back(method == 0 ? "Метод Кубичека" : "Метод Тищенко");
  lines.push_back("Баз.сопр=" + formatNumber(std::trunc(Z0)));
  const double E = p.erythrocytes;
  const double rho = E > 0 ? 0.65 * E * E * E + 81.5 : -E * 150 / 47;
  const double L = p.distance;
  const double SV = method == 0 ? rho * L * L / (Z0 * Z0) * dZ * tX : 1.3 * rho * L * L * T / 95 / Z0 / tE;
  lines.push_back("Ударный объем    " + formatNumber(std::trunc(SV * 100) / 100));
  const double MV = std::trunc(SV * 60 * fs / (a.end - 10) / 1000 * 100) / 100;
  lines.push_back("Минутный объем   " + formatNumber(MV));
  const double BSA = 0.007184 * std::pow(p.weight, 0.425) * std::pow(p.height, 0.725);
  lines.push_back("Сердечный индекс " + fmtOr(BSA > 0, MV / BSA));
  // Harris–Benedict: the men's form for sex 0, the women's for sex 1.
  const double DO = p.sex == 0 ? 66.47 + 13.75 * p.weight + 5 * p.height - 6.75 * age
                               : 655.1 + 9.56 * p.weight + 1.85 * p.height - 4.67 * age;
  lines.push_back("Должный  объем   " + formatNumber(DO / 281));
  lines.push_back("МO/ДО%           " + fmtOr(DO != 0, std::trunc(MV / DO * 281 * 100)));
  const double P = p.pressure;
  lines.push_back("Общ.периф.сопр.  " + fmtOr(MV != 0, P / MV / 1.333 * 60));
  lines.push_back("Удель.периф.сопр." + fmtOr(MV != 0, P / MV * BSA));
  lines.push_back("Мощн.сокращ.СМ.  " + formatNumber(P / tX * SV * 13.6 * 9.8 * 0.000001));
  return true;
}

}  // namespace velor
