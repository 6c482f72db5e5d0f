// velor-cli events FILE --formula F [--channel C] [--record N] [--json]:
// the events of a formula on one channel of a record (the samples where it
// turns nonzero after being zero), their amplitudes and intervals, and the
// amplitude and interval histograms with their two statistics lines.
#include <memory>
#include <nlohmann/json.hpp>

#include "app/cli/commands.h"
#include "core/formula.h"
#include "core/study_state.h"
#include "physio/polygraph_events.h"
#include "physio/polygraph_texts.h"

namespace velor::cli {

namespace {

struct EventsOptions {
  std::string file, formula;
  int record = 1;
  int channel = 1;
  int minMs = 0, maxMs = 0, bins = 40;
  bool hz = false;
  bool json = false;
};

nlohmann::json histogramJson(bool ok, const EventHistogram& h, const std::string& message) {
  if (!ok) return {{"message", message}};
  nlohmann::json points = nlohmann::json::array();
  for (const auto& [x, y] : h.points) points.push_back({x, y});
  return {{"n", h.n},         {"classes", h.classes},   {"lo", h.lo},
          {"hi", h.hi},       {"width", h.width},       {"counts", h.counts},
          {"shownTotal", h.shownTotal}, {"points", points}, {"mean", h.mean},
          {"variance", h.variance}, {"skewness", h.skewness}, {"kurtosis", h.kurtosis},
          {"sd", h.sd},       {"lines", h.lines}};
}

int runEvents(const EventsOptions& o) {
  EngineInteraction ui;
  CompiledFormula f;
  std::string message;
  if (!compileFormula(o.formula, FunctionNames::defaults(), f, message)) {
    reportFailure(message);
    return kExitUsage;
  }
  OpenedInput in;
  if (const int st = openInputAt(o.file, o.record, ui, in); st != kExitOk) return st;
  StudyState& s = *in.state;
  if (!channelOptionInRange(o.channel, s.channelCount)) return kExitUsage;
  const int c = o.channel - 1;
  const EventScan scan = scanEvents(s, c, f, 0, false);
  if (scan.fault != FormulaFault::None) {
    reportFailure(std::string(kPoliFormulaFault) + formulaFaultText(scan.fault) + " (sample " +
                  std::to_string(scan.faultSample) + ")");
    return kExitFile;
  }
  std::vector<int> codes;
  std::vector<double> amplitudes, intervals;
  const double cal = s.microvoltsPerCode(c);
  const double zero = s.zeroLevel[static_cast<std::size_t>(c)];
  for (int e : scan.positions) {
    codes.push_back(eventAmplitudeCode(s, c, e));
    amplitudes.push_back((codes.back() - zero) * cal);
  }
  for (std::size_t k = 1; k < scan.positions.size(); ++k)
    intervals.push_back(static_cast<double>(scan.positions[k] - scan.positions[k - 1]) / s.sampleRate);
  IntervalLimits limits{o.minMs, o.maxMs, o.bins};
  EventHistogram ha, hi;
  std::string ma, mi;
  const bool okA = eventHistogram(HistogramKind::Amplitudes, codes, s.sampleRate, zero, cal, limits, ha, ma);
  const bool okI = eventHistogram(o.hz ? HistogramKind::IntervalsHz : HistogramKind::Intervals,
                                  eventIntervals(scan.positions, s.sampleRate, limits), s.sampleRate, zero, cal,
                                  limits, hi, mi);
  std::string text;
  if (o.json) {
    nlohmann::json j;
    j["channel"] = o.channel;
    j["record"] = o.record;
    j["sampleRate"] = s.sampleRate;
    j["count"] = scan.positions.size();
    j["countLine"] = std::string(kPoliCount) + std::to_string(scan.positions.size());
    j["positions"] = scan.positions;
    j["amplitudes"] = amplitudes;
    j["intervals"] = intervals;
    j["amplitudeHistogram"] = histogramJson(okA, ha, ma);
    j["intervalHistogram"] = histogramJson(okI, hi, mi);
    if (scan.full) j["notice"] = kPoliTableFull;
    text = j.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
  } else {
    text = "sample,amplitude,interval\n";
    for (std::size_t k = 0; k < scan.positions.size(); ++k) {
      text += std::to_string(scan.positions[k]) + "," + std::to_string(amplitudes[k]) + ",";
      if (k > 0) text += std::to_string(intervals[k - 1]);
      text += "\n";
    }
    text += "\n" + std::string(kPoliCount) + std::to_string(scan.positions.size()) + "\n";
    text += "\nAmplitudes:\n";
    if (okA) text += ha.lines[0] + "\n" + ha.lines[1] + "\n";
    else text += ma + "\n";
    text += "\nIntervals:\n";
    if (okI) text += hi.lines[0] + "\n" + hi.lines[1] + "\n";
    else text += mi + "\n";
  }
  if (scan.full) reportFailure(kPoliTableFull);
  return writeOutStatus(text);
}

}  // namespace

void addEventsCommand(CLI::App& app, int& status) {
  auto o = std::make_shared<EventsOptions>();
  CLI::App* cmd = app.add_subcommand("events", "Events of a formula on a channel: count, amplitudes, intervals, histograms");
  cmd->add_option("FILE", o->file, "Recording (.hea, .cad, .edf, ...)")->required();
  cmd->add_option("--formula", o->formula, "Search condition; an event is where it turns nonzero")->required();
  cmd->add_option("--record", o->record, "Record (or page) number, from 1");
  cmd->add_option("--channel", o->channel, "Channel, from 1 (the formula's i)");
  cmd->add_option("--min", o->minMs, "Lower interval limit, ms (used when below --max)");
  cmd->add_option("--max", o->maxMs, "Upper interval limit, ms");
  cmd->add_option("--bins", o->bins, "Classes of the interval histogram");
  cmd->add_flag("--hz", o->hz, "Interval histogram in Hz");
  cmd->add_flag("--json", o->json, "One JSON object: events, histograms with moments");
  cmd->callback([o, &status] { status = runEvents(*o); });
}

}  // namespace velor::cli
