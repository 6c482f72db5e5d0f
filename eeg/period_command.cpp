#include "eeg/period_command.h"

#include <algorithm>

#include "core/numtext.h"
#include "core/settings.h"
#include "eeg/eeg_analysis_texts.h"
#include "eeg/fft_filter.h"
#include "eeg/period_texts.h"

namespace velor {

namespace {

// A copy of the channel, band filtered as the band filtering command would
// filter the record.
std::vector<std::int16_t> filteredCopy(SpectralEngine& engine, const StudyState& s, int channel,
                                       const BandFilterPlan& plan) {
  const int n = std::min(s.recordLength, kMaxSamples);
  const std::int16_t* x = s.channelData[static_cast<std::size_t>(channel)];
  std::vector<std::int16_t> copy(x, x + n);
  const int zero = s.zeroLevel[channel];
  switch (plan.kind) {
    case BandFilterPlan::Kind::BandPass:
      fftFilterTrace(engine, FftFilterKind::kBandPass, copy.data(), n, zero, plan.low, plan.high);
      break;
    case BandFilterPlan::Kind::HighPass:
    case BandFilterPlan::Kind::LowPass:
      fftFilterTrace(engine, FftFilterKind::kBandStop, copy.data(), n, zero, plan.low, plan.high);
      break;
    case BandFilterPlan::Kind::None:
      break;
  }
  return copy;
}

std::string meanLine(const char* label, const PeriodHistogram& h) {
  return std::string(label) + formatNumber(h.mean) + period_text::kDeviation + formatNumber(h.deviation);
}

}  // namespace

int currentChannelOf(const StudyState& s) {
  const int c = s.shownChannelCount <= 0 ? s.firstShownChannel : s.firstShownChannel + s.currentChannelRow;
  return std::clamp(c, 0, std::max(0, s.channelCount - 1));
}

std::string waveListPath(const StudyState& s) {
  if (s.recordFileName.empty()) return {};
  std::string base = s.recordFileName;
  const auto dot = base.rfind('.');
  if (dot != std::string::npos && dot > 0) base.resize(dot);
  return s.dataDir + base + ".doc";
}

bool periodAnalysisCommand(EegAnalysis& eeg, bool allChannels, PeriodCommandResult& out) {
  StudyState& s = eeg.state();
  Interaction& ui = eeg.interaction();
  out = PeriodCommandResult{};
  out.allChannels = allChannels;
  if (s.viewMode == ViewMode::Transform) {
    ui.message(eeg_text::kInTransformView);
    return false;
  }
  const int n = std::min(s.recordLength, kMaxSamples);
  if (s.channelCount < 1 || n < 2) {
    ui.message(eeg_text::kNoSignal);
    return false;
  }
  PeriodLimits limits;
  if (!periodLimits(s.sampleRate, eeg.chosenBandLow, eeg.chosenBandHigh, limits) || limits.tMin < 1 ||
      limits.tMax < limits.tMin) {
    ui.message(eeg_text::kBadBand);
    return false;
  }
  const BandFilterPlan plan = bandFilterPlan({eeg.chosenBandLow, eeg.chosenBandHigh}, s.sampleRate);

  if (allChannels) {
    out.tableLines.push_back(period_text::kAllChannelsHeadLine);
    for (int c = 0; c < s.channelCount; ++c) {
      const auto x = filteredCopy(eeg.engine(), s, c, plan);
      const ChannelPeriodRow row =
          channelPeriodRow(x.data(), n, limits, s.sampleRate, s.microvoltsPerCode(c), trimSpaces(s.channelNames[static_cast<std::size_t>(c)]));
      out.tableLines.push_back(channelPeriodLine(row));
      if (row.valid) ++out.measuredChannels;
    }
    return true;
  }

  const int c = currentChannelOf(s);
  out.channel = c;
  const auto x = filteredCopy(eeg.engine(), s, c, plan);
  const double uv = s.microvoltsPerCode(c);
  out.summary = periodAnalysis(x.data(), n, limits, s.sampleRate, uv, &out.waves);
  out.summaryLine = periodSummaryLine(out.summary);
  out.amplitudeLine = meanLine(period_text::kMeanAmplitude, out.summary.amplitudes);
  out.periodLine = meanLine(period_text::kMeanPeriod, out.summary.periods);
  out.waveList.push_back(period_text::kWaveListHead);
  const double rate = std::max(1, s.sampleRate);
  for (const PeriodWave& w : out.waves) {
    if (!w.accepted) continue;
    out.waveList.push_back(padLeft(formatNumber(w.amplitude * uv), 9) + padLeft(formatNumber(w.period / rate), 11));
  }
  const std::string path = waveListPath(s);
  if (!path.empty() && out.summary.acceptedCount > 0 && writeTextLines(path, out.waveList)) out.docPath = path;
  return true;
}

void periodHistogramSeries(StudyState& s, GraphTable& t, const PeriodSummary& summary) {
  const PeriodHistogram& a = summary.amplitudes;
  const PeriodHistogram& p = summary.periods;
  const int count = static_cast<int>(std::max(a.centre.size(), p.centre.size()));
  auto fill = [&s, count](int xRow, int yRow, const PeriodHistogram& h) {
    const int m = static_cast<int>(h.centre.size());
    for (int i = 0; i < count && i < kFloatRowLength; ++i) {
      const bool real = i < m;
      const double x = real ? h.centre[static_cast<std::size_t>(i)] : (m > 0 ? h.centre.back() : 0.0);
      const double y = real && i < static_cast<int>(h.percent.size()) ? h.percent[static_cast<std::size_t>(i)] : 0.0;
      setFloatAt(s, xRow, i, static_cast<float>(x));
      setFloatAt(s, yRow, i, static_cast<float>(y));
    }
  };
  fill(0, 1, a);
  fill(2, 3, p);
  t.series[0] = GraphSeriesEntry{0, 1, 0, static_cast<std::uint8_t>(kStyleHistogram)};
  t.series[1] = GraphSeriesEntry{2, 3, 0, static_cast<std::uint8_t>(kStyleHistogram)};
  const auto last = static_cast<std::uint16_t>(std::clamp(count, 1, kFloatRowLength) - 1);
  t.lastIndex[0] = count > 0 ? last : kEmptySeries;
  t.lastIndex[1] = count > 0 ? last : kEmptySeries;
}

}  // namespace velor
