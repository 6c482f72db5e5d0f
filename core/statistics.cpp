#include "core/statistics.h"

#include <cmath>
#include <limits>
#include <utility>

namespace velor {

double fTailProbability(double df2, double df1, double x) {
  if (!(df1 >= 1) || !(df2 >= 1) || std::isnan(x)) return std::numeric_limits<double>::quiet_NaN();
  if (df1 == 1) x = x * x;  // a Student t
  if (x <= 0) return 1;     // x = 0 as stated; a negative F cannot be exceeded less
  const bool upper = x >= 1;
  const double w = upper ? x : 1 / x;
  const double h = upper ? df2 : df1;
  const double k = upper ? df1 : df2;
  const double l = (2.0 / 9.0) / h;
  const double m = (2.0 / 9.0) / k;
  double z = std::fabs(std::cbrt(w) * (1 - l) - 1 + m) / std::sqrt(m + l * std::cbrt(w * w));
  if (h < 4) z = z * (1 + 0.08 * z * z * z * z / (h * h * h));
  const double d = 1 + z * (0.196854 + z * (0.115194 + z * (0.000344 + z * 0.019527)));
  const double t = 0.5 / (d * d * d * d);
  const double u = upper ? t : 1 - t;
  return std::trunc(u * 10000) / 10000;
}

double fCriticalValue(double df1, double df2, double p) {
  if (!(df1 >= 1) || !(df2 >= 1) || !(p > 0 && p < 1)) return std::numeric_limits<double>::quiet_NaN();
  double x0 = 1.5, x1 = 2;
  double p0 = fTailProbability(df2, df1, x0);
  double p1 = fTailProbability(df2, df1, x1);
  for (int step = 0; step < 100; ++step) {
    if (std::fabs(p1 - p) < 0.000001 || p1 == p0) break;
    double x2 = x1 - (p1 - p) * (x1 - x0) / (p1 - p0);
    // the secant may overshoot below zero where no F lives; halve towards it instead
    if (!(x2 > 0)) x2 = x1 / 2;
    x0 = std::exchange(x1, x2);
    p0 = std::exchange(p1, fTailProbability(df2, df1, x1));
  }
  return x1;
}

double normalTailProbability(double sd, double mean, double x) {
  if (!(sd > 0)) return x > mean ? 0 : 1;
  const double z = (x - mean) / sd;
  const double t = 1 / (1 + 0.33267 * std::fabs(z));
  const double q = std::exp(-z * z / 2) / 2.5066283 * (0.436184 * t - 0.120168 * t * t + 0.937298 * t * t * t);
  return z >= 0 ? q : 1 - q;
}

}  // namespace velor
