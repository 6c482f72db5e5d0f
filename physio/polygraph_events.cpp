#include "physio/polygraph_events.h"

#include <algorithm>
#include <cmath>

#include "core/interaction.h"
#include "core/numtext.h"
#include "core/record_file.h"
#include "core/study_state.h"
#include "physio/polygraph_texts.h"

namespace velor {

EventScan scanEvents(const StudyState& s, int channel, const CompiledFormula& formula, int from, bool firstOnly) {
  EventScan out;
  if (channel < 0 || channel >= s.channelCount) return out;
  FormulaContext ctx;
  ctx.study = &s;
  ctx.i = channel + 1;
  bool armed = false;
  for (int i = std::max(0, from); i < s.recordLength; ++i) {
    ctx.j = i + 1;
    const FormulaValue v = evaluateFormula(formula, ctx);
    if (!v.ok()) {
      out.fault = v.fault;
      out.faultSample = i;
      return out;
    }
    const double t = std::trunc(v.value);
    if (t == 0 || (t > 0 && i == 0)) armed = true;
    if (t != 0 && armed) {
      if (static_cast<int>(out.positions.size()) >= kEventTableCapacity) {
        out.full = true;
        break;
      }
      out.positions.push_back(i);
      armed = false;
      if (firstOnly) break;
    }
  }
  return out;
}

EventRun runEventScan(StudyState& s, int channel, const CompiledFormula& formula, bool fromCursor, bool allRecords,
                      Interaction& ui) {
  EventRun run;
  const int startRecord = s.currentRecord;
  bool first = true;
  for (;;) {
    const EventScan scan =
        scanEvents(s, channel, formula, first && fromCursor ? s.cursorPos : 0, fromCursor);
    first = false;
    std::vector<int> kept;
    for (int e : scan.positions) {
      if (run.count >= kEventTableCapacity) {
        run.full = true;
        break;
      }
      kept.push_back(e);
      run.amplitudeCodes.push_back(eventAmplitudeCode(s, channel, e));
      ++run.count;
    }
    run.positions.push_back(std::move(kept));
    run.full = run.full || scan.full;
    if (scan.fault != FormulaFault::None) {
      run.fault = scan.fault;
      run.faultSample = scan.faultSample;
      break;
    }
    if (fromCursor && !scan.positions.empty()) {
      run.foundRecord = s.currentRecord;
      run.foundSample = scan.positions.front();
      return run;
    }
    if (run.full || !allRecords || s.currentRecord >= s.recordCount || !stepRecord(s, +1, ui)) break;
  }
  if (allRecords && s.currentRecord != startRecord) gotoRecord(s, startRecord, ui);
  return run;
}

int eventAmplitudeCode(const StudyState& s, int channel, int position) {
  const std::int16_t* x = s.channelData[static_cast<std::size_t>(channel)];
  return x[position > 0 ? position - 1 : 0];
}

std::vector<int> eventIntervals(const std::vector<int>& positions, int sampleRate, const IntervalLimits& limits) {
  std::vector<int> out;
  for (std::size_t k = 1; k < positions.size(); ++k) {
    const int v = positions[k] - positions[k - 1];
    if (limits.minMs < limits.maxMs && sampleRate > 0) {
      const double ms = v * 1000.0 / sampleRate;
      if (ms < limits.minMs || ms > limits.maxMs) continue;
    }
    out.push_back(v);
  }
  return out;
}

bool dynamicsStatistics(const std::vector<double>& values, double& mean, double& sd, std::string& message) {
  const std::size_t n = values.size();
  if (n < 3) {
    message = kPoliTooFew;
    return false;
  }
  double s1 = 0;
  for (double v : values) s1 += v;
  mean = s1 / static_cast<double>(n);
  double s2 = 0;
  for (double v : values) s2 += (v - mean) * (v - mean);
  sd = std::sqrt(s2 / static_cast<double>(n - 1));
  return true;
}

bool eventHistogram(HistogramKind kind, const std::vector<int>& values, int sampleRate, double zeroLevel,
                    double microvoltsPerCode, const IntervalLimits& limits, EventHistogram& h, std::string& message) {
  h = {};
  const int n = static_cast<int>(values.size());
  if (n < 2 || sampleRate <= 0) {
    message = kPoliHistTooFew;
    return false;
  }
  const double fs = sampleRate;
  const bool amplitudes = kind == HistogramKind::Amplitudes;
  const bool hz = kind == HistogramKind::IntervalsHz;
  double lo = *std::min_element(values.begin(), values.end());
  double hi = *std::max_element(values.begin(), values.end());
  if (!amplitudes && limits.minMs < limits.maxMs) {
    // the limits are in ms and the values in samples: convert, so that the
    // range agrees with the interval filter at every rate
    lo = limits.minMs * fs / 1000.0;
    hi = limits.maxMs * fs / 1000.0;
  }
  const int k = amplitudes ? static_cast<int>(3.3 * std::log10(static_cast<double>(n)) + 1.5) : limits.bins;
  if (k < 1) {
    message = amplitudes ? kPoliHistTooFew : kPoliHistNoBins;
    return false;
  }
  if (hi <= lo || (hz && lo <= 0)) {
    message = kPoliHistEqual;
    return false;
  }
  // derived values and their central moments (computed about the mean: the
  // same quantities as the raw power sums, without their cancellation)
  std::vector<double> sv;
  sv.reserve(values.size());
  for (int v : values) {
    if (amplitudes) sv.push_back((v - zeroLevel) * microvoltsPerCode);
    else if (hz) sv.push_back(fs / v);
    else sv.push_back(v / fs);
  }
  double mean = 0;
  for (double v : sv) mean += v;
  mean /= n;
  double m2 = 0, m3 = 0, m4 = 0;
  for (double v : sv) {
    const double d = v - mean;
    m2 += d * d;
    m3 += d * d * d;
    m4 += d * d * d * d;
  }
  const double D = m2 / n;
  if (!(D > 0) || D < 1e-12 * std::max(1.0, mean * mean)) {
    message = kPoliHistFlat;
    return false;
  }
  h.n = n;
  h.lo = lo;
  h.hi = hi;
  h.classes = k;
  h.mean = mean;
  h.variance = D;
  h.skewness = m3 / n / std::pow(D, 1.5);
  h.kurtosis = m4 / n / (D * D);
  h.sd = std::sqrt(m2 / (n - 1));
  h.width = hz ? (fs / lo - fs / hi) / k : (hi - lo) / k;
  h.counts.assign(static_cast<std::size_t>(k) + 1, 0);
  for (int v : values) {
    const double pos = hz ? (fs / v - fs / hi) / h.width : (v - lo) / h.width;
    const double c = std::trunc(pos + 0.0001);
    if (c < 0 || c > k) continue;  // outside the limits' range: dropped
    ++h.counts[static_cast<std::size_t>(c)];
  }
  for (int c = 0; c < k; ++c) h.shownTotal += h.counts[static_cast<std::size_t>(c)];
  const double S = std::max(1, h.shownTotal);
  const double cal = microvoltsPerCode;
  int fullest = 0;
  for (int c = 0; c < k; ++c) {
    const double centre = (c + 0.5) * h.width;
    double x;
    if (amplitudes) x = (centre + lo - zeroLevel) * cal;
    else if (hz) x = centre + fs / hi;
    else x = (centre + lo) / fs * 1000.0;
    h.points.emplace_back(x, h.counts[static_cast<std::size_t>(c)] / S * 100.0);
    if (h.counts[static_cast<std::size_t>(c)] > h.counts[static_cast<std::size_t>(fullest)]) fullest = c;
  }
  const double C = h.counts[static_cast<std::size_t>(fullest)];
  std::string l1 = "N=" + formatNumber(n) + "  Средн.=";
  double M, R, SDd, V, W, Mo;
  if (amplitudes) {
    M = mean;
    R = (hi - lo) * cal;
    SDd = h.sd;
    V = std::trunc(h.sd / mean * 1000 + 0.5) / 10;
    W = h.width * cal;
    Mo = ((fullest + 0.5) * h.width + lo - zeroLevel) * cal;
  } else if (hz) {
    M = mean;
    R = fs / lo - fs / hi;
    SDd = h.sd;
    V = h.sd / mean * 100;
    W = h.width;
    Mo = (fullest + 0.5) * h.width + fs / hi;
  } else {
    M = mean * 1000;
    R = std::trunc((hi - lo) / fs * 1000 + 0.5);
    SDd = h.sd * 1000;
    V = std::trunc(h.sd / mean * 1000 + 0.5) / 10;
    W = std::trunc(h.width / fs * 1000);
    Mo = ((fullest + 0.5) * h.width + lo) / fs * 1000;
  }
  l1 += formatNumber(M) + "  Диапазон=" + formatNumber(R) + "  Ст.откл=" + formatNumber(SDd) +
        "  Вариация=" + formatNumber(V);
  std::string l2 = "Бин=" + formatNumber(W) + " Мода=" + formatNumber(Mo) + " Ампл.моды=" +
                   formatNumber(std::trunc((C + 0.5) / S * 100)) + "% Асимм.=" + formatNumber(h.skewness) +
                   " Эксцесс=" + formatNumber(h.kurtosis);
  h.lines = {l1, l2};
  return true;
}

}  // namespace velor
