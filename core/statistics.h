// Probabilities of test statistics, shared by the analyses that report a
// significance (F and t tests, normal deviates). Closed-form approximations,
// good to about three decimals: enough for a report, never for a table.
#pragma once

namespace velor {

// P(F > x) for an F statistic with df1 (numerator) and df2 (denominator)
// degrees of freedom, by the cube-root normal approximation; with df1 = 1, x
// is a Student t and the two-sided P(|T| > |x|) with df2 degrees results.
// Truncated to 4 decimals. 1 for x = 0 and for a negative F; NaN when a
// degree of freedom is below 1.
double fTailProbability(double df2, double df1, double x);

// The x with fTailProbability(df2, df1, x) = p, by the secant method from 1.5
// and 2 (at most 100 steps). NaN when p lies outside (0, 1) or a degree of
// freedom is below 1. With df1 = 1 the value is the two-sided Student t.
double fCriticalValue(double df1, double df2, double p);

// P(X > x) for a normal X with the given mean and standard deviation, by a
// polynomial approximation (absolute error below 2e-5). For sd ≤ 0 the
// distribution is a point: 0 when x > mean, else 1.
double normalTailProbability(double sd, double mean, double x);

}  // namespace velor
