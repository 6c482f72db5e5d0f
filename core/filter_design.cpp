#include "core/filter_design.h"

#include <algorithm>
#include <cmath>
#include <complex>

namespace velor {

namespace {

// The truncated constants the designs have always been made with; keeping
// them keeps the coefficients of existing setups.
constexpr double kPi = 3.1415926;
constexpr double kHalfPi = 1.5707963;
constexpr double kTwoPi = 6.2831852;

using Complex = std::complex<double>;

// Which analog prototype a design starts from.
enum class Prototype { Butterworth, Chebyshev, ReciprocalChebyshev };

Prototype prototypeOf(int code) {
  switch (code) {
    case 1: case 2: case 3: case 4: return Prototype::Butterworth;
    case 5: case 7: case 10: case 12: return Prototype::Chebyshev;
    default: return Prototype::ReciprocalChebyshev;  // 6, 8, 9, 11
  }
}

struct PrototypeParams {
  Prototype kind;
  int order;
  double sinhV = 0;
  double coshV = 0;
};

double theta(int order, int k) { return kHalfPi / order * (2 * k - 1); }

// Upper pole of prototype pair k (1-based).
Complex pairPole(const PrototypeParams& p, int k) {
  const double t = theta(p.order, k);
  switch (p.kind) {
    case Prototype::Butterworth: return {-std::sin(t), std::cos(t)};
    case Prototype::Chebyshev: return {-p.sinhV * std::sin(t), p.coshV * std::cos(t)};
    case Prototype::ReciprocalChebyshev: {
      const double d = p.sinhV * p.sinhV + std::cos(t) * std::cos(t);
      return {-p.sinhV * std::sin(t) / d, p.coshV * std::cos(t) / d};
    }
  }
  return {};
}

double realPole(const PrototypeParams& p) {
  switch (p.kind) {
    case Prototype::Butterworth: return -1.0;
    case Prototype::Chebyshev: return -p.sinhV;
    case Prototype::ReciprocalChebyshev: return -1.0 / p.sinhV;
  }
  return -1.0;
}

// Denominator (a1, a2) of the bilinear image of the analog pole pair s, s*.
void mapPair(Complex s, double& a1, double& a2) {
  const double m = std::norm(s);
  const double sigma = s.real();
  a1 = 2.0 * (m - 1.0) / (m - 2.0 * sigma + 1.0);
  a2 = std::norm(1.0 + s) / std::norm(1.0 - s);
}

// b1 of a numerator z² + b1·z + 1 whose zeros sit at the image of ±j√q.
double notchB1(double q) { return 2.0 * (q - 1.0) / (q + 1.0); }

bool isRipple(int code) { return code >= 5 && code <= 8; }

bool fail(std::string* reason, const char* text) {
  if (reason) *reason = text;
  return false;
}

bool isUsableCorner(double f) { return std::isfinite(f) && f > 0.0 && f < 0.5; }

// Rounds to nearest, ties to even, limited to int; NaN gives the lower limit.
// Adding and removing 1.5·2⁵² leaves the nearest integer under the default
// rounding mode (IEEE arithmetic does not let the compiler fold the pair),
// without a library call in the per-sample path.
inline int roundToInt(double y) {
  constexpr double kLow = -2147483648.0, kHigh = 2147483647.0, kShift = 6755399441055744.0;
  y = y > kLow ? y : kLow;
  y = y < kHigh ? y : kHigh;
  return static_cast<int>((y + kShift) - kShift);
}

}  // namespace

int filterKind(int code) {
  if (code < 1 || code > 12) return -1;
  return (code - 1) % 4;
}

bool filterBlocksConstant(int code) {
  const int kind = filterKind(code);
  return kind == 1 || kind == 2;
}

bool designFilter(FilterDesign& record, int order, int code, double eps, double f1, double f2,
                  std::string* reason) {
  const int kind = filterKind(code);
  if (kind < 0) return fail(reason, "Неизвестный код фильтра (допустимы 1..12)");
  const bool band = kind >= 2;
  const int maxOrder = band ? kMaxFilterPoles / 2 : kMaxFilterPoles;
  if (order < 1 || order > maxOrder)
    return fail(reason, band ? "Порядок полосового или режекторного фильтра должен быть от 1 до 20"
                             : "Порядок фильтра должен быть от 1 до 40");
  const bool chebyshev = code >= 5;
  if (chebyshev && !(std::isfinite(eps) && eps > 0.0))
    return fail(reason, "Параметр пульсаций фильтра Чебышева должен быть больше 0");
  if (!band) {
    if (!isUsableCorner(f2))
      return fail(reason, "Частота среза должна лежать между 0 и половиной частоты дискретизации");
  } else {
    if (!isUsableCorner(f1) || !isUsableCorner(f2))
      return fail(reason, "Границы полосы должны лежать между 0 и половиной частоты дискретизации");
    if (f1 < f2) return fail(reason, "Верхняя граница полосы меньше нижней");
    if (f1 == f2 && kind == 2) return fail(reason, "Полоса пропускания нулевой ширины");
  }

  PrototypeParams proto{prototypeOf(code), order};
  if (chebyshev) {
    const double v = std::asinh(1.0 / eps) / order;
    proto.sinhV = std::sinh(v);
    proto.coshV = std::cosh(v);
    if (!(proto.sinhV > 0.0) || !std::isfinite(proto.coshV))
      return fail(reason, "Параметр пульсаций фильтра Чебышева вне допустимых значений");
  }

  FilterDesign d;
  d.poles = band ? 2 * order : order;
  d.gain = 1.0;
  double* out = d.coeffs.data();
  auto section2 = [&out](double a1, double a2, double b1, double b2) {
    out[0] = a1;
    out[1] = a2;
    out[2] = b1;
    out[3] = b2;
    out += 4;
  };
  const int pairs = order / 2;
  const bool odd = (order & 1) != 0;
  double reference = 0.0;

  if (!band) {
    const double w = std::tan(kPi * f2);
    const bool high = kind == 1;
    if (odd) {
      const double s = w * realPole(proto);
      out[0] = (s + 1.0) / (s - 1.0);
      out[1] = high ? -1.0 : 1.0;
      out += 2;
    }
    for (int k = 1; k <= pairs; ++k) {
      double a1 = 0, a2 = 0;
      mapPair(w * pairPole(proto, k), a1, a2);
      double b1 = high ? -2.0 : 2.0;
      if (code == kChebyshev2LowPass) {
        const double r = w / std::cos(theta(order, k));
        b1 = notchB1(r * r);
      } else if (code == kChebyshev2HighPass) {
        const double r = w * std::cos(theta(order, k));
        b1 = notchB1(r * r);
      }
      section2(a1, a2, b1, 1.0);
    }
    reference = high ? 0.5 : 0.0;
  } else {
    const double wu = std::tan(kPi * f1);
    const double wl = std::tan(kPi * f2);
    const double h = (wu - wl) / 2.0;
    const double c = wu * wl;
    const double centreB1 = notchB1(c);
    const bool pass = kind == 2;
    if (odd) {
      const double hs = h * realPole(proto);
      const double den = c + 1.0 - 2.0 * hs;
      double b1 = 0.0, b2 = -1.0;  // zeros at z = ±1
      if (code == kButterworthBandStop || code == kChebyshev1BandStop || code == kChebyshev2BandStop) {
        b1 = centreB1;
        b2 = 1.0;
      }
      section2(2.0 * (c - 1.0) / den, (c + 1.0 + 2.0 * hs) / den, b1, b2);
    }
    int pairSection = 0;
    for (int k = 1; k <= pairs; ++k) {
      const Complex hp = h * pairPole(proto, k);
      const Complex root = std::sqrt(hp * hp - c);
      const double cosT = std::cos(theta(order, k));
      double tZero = 0.0;
      if (code == kChebyshev2BandPass) tZero = h / cosT;
      if (code == kChebyshev2BandStop) tZero = h * cosT;
      const double uZero = std::sqrt(tZero * tZero + c);
      for (int sign = 0; sign < 2; ++sign) {
        double a1 = 0, a2 = 0;
        mapPair(sign == 0 ? hp + root : hp - root, a1, a2);
        double b1 = 0.0;
        if (code == kChebyshev2BandPass || code == kChebyshev2BandStop) {
          const double q = sign == 0 ? (tZero + uZero) : (tZero - uZero);
          b1 = notchB1(q * q);
        } else if (pass) {
          // The first half of the sections carry the zeros at z = −1, the
          // second half those at z = 1.
          b1 = pairSection < pairs ? 2.0 : -2.0;
        } else {
          b1 = centreB1;
        }
        section2(a1, a2, b1, 1.0);
        ++pairSection;
      }
    }
    reference = pass ? std::atan(std::sqrt(c)) / kPi : 0.0;
  }

  const double atReference = filterResponse(d, reference);
  double g = 0.0;
  if (isRipple(code)) {
    const double e2 = eps * eps;
    const double r = odd ? 1.0 + e2 / 2.0 : (1.0 + e2 / 2.0) / (1.0 + e2);
    g = std::sqrt(r / atReference);
  } else {
    g = 1.0 / std::sqrt(atReference);
  }
  if (!std::isfinite(g) || !(g > 0.0))
    return fail(reason, "Фильтр с такими параметрами вырожден (бесконечное или нулевое усиление)");
  d.gain = g;

  // A pole outside the unit circle would make the filter run away; the
  // designs above never put one there unless the numbers broke down.
  const double* cf = d.coeffs.data();
  const int used = (odd && !band ? 2 : 0) + 4 * (d.poles / 2);
  for (int i = 0; i < used; ++i)
    if (!std::isfinite(cf[i])) return fail(reason, "Фильтр с такими параметрами вырожден");
  constexpr double kSlack = 1e-9;
  if (odd && !band && std::fabs(cf[0]) > 1.0 + kSlack) return fail(reason, "Фильтр с такими параметрами неустойчив");
  for (int i = 0; i < d.poles / 2; ++i) {
    const double* s = cf + (odd && !band ? 2 : 0) + 4 * i;
    if (std::fabs(s[1]) > 1.0 + kSlack || std::fabs(s[0]) > 1.0 + s[1] + kSlack)
      return fail(reason, "Фильтр с такими параметрами неустойчив");
  }

  record = d;
  return true;
}

int filterSample(const FilterDesign& record, FilterState& state, int input) {
  const int poles = std::clamp(record.poles, 0, kMaxFilterPoles);
  const double* c = record.coeffs.data();
  double* w = state.delays.data();
  double x = input * record.gain;
  if (poles & 1) {
    const double wn = x - c[0] * w[0];
    x = wn + c[1] * w[0];
    w[0] = wn;
    c += 2;
    w += 1;
  }
  for (int i = poles / 2; i > 0; --i, c += 4, w += 2) {
    const double w2 = w[0];
    const double w1 = w[1];
    const double wn = x - c[0] * w1 - c[1] * w2;
    x = wn + c[2] * w1 + c[3] * w2;
    w[0] = w1;
    w[1] = wn;
  }
  return roundToInt(x);
}

int settleFilter(const FilterDesign& record, FilterState& state, int input) {
  const int poles = std::clamp(record.poles, 0, kMaxFilterPoles);
  state.reset();
  const double* c = record.coeffs.data();
  double* w = state.delays.data();
  double x = input * record.gain;
  // For a constant input every delay of a section holds the same value
  // w = x / D(1), and the section gives w · N(1).
  auto steady = [](double in, double den) {
    const double v = in / den;
    return std::isfinite(v) ? v : 0.0;
  };
  if (poles & 1) {
    const double v = steady(x, 1.0 + c[0]);
    w[0] = v;
    x = v * (1.0 + c[1]);
    c += 2;
    w += 1;
  }
  for (int i = poles / 2; i > 0; --i, c += 4, w += 2) {
    const double v = steady(x, 1.0 + c[0] + c[1]);
    w[0] = v;
    w[1] = v;
    x = v * (1.0 + c[2] + c[3]);
  }
  return roundToInt(x);
}

double filterResponse(const FilterDesign& record, double f) {
  const int poles = std::clamp(record.poles, 0, kMaxFilterPoles);
  const Complex z = std::polar(1.0, kTwoPi * f);
  const Complex z2 = z * z;
  const double* c = record.coeffs.data();
  double h = record.gain * record.gain;
  if (poles & 1) {
    h *= std::norm(z + c[1]) / std::norm(z + c[0]);
    c += 2;
  }
  for (int i = poles / 2; i > 0; --i, c += 4) h *= std::norm(z2 + c[2] * z + c[3]) / std::norm(z2 + c[0] * z + c[1]);
  return h;
}

}  // namespace velor
