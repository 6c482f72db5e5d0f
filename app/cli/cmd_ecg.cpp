// velor-cli ecg FILE [--record N] --channel C [--json]: the beats of one
// channel of a record (sample of each R wave and the interval after it), the
// RR statistics as the ECG window prints them and the diagnosis lines; with
// --json the beat list, every statistic and the conclusion lines.
#include <cstdio>
#include <memory>
#include <nlohmann/json.hpp>

#include "app/cli/commands.h"
#include "core/study_state.h"
#include "physio/ecg_analysis.h"
#include "physio/ecg_diagnosis.h"
#include "physio/ecg_settings.h"

namespace velor::cli {

namespace {

struct EcgOptions {
  std::string file;
  int record = 1;
  int channel = 1;
  bool json = false;
};

int runEcg(const EcgOptions& o) {
  EngineInteraction ui;
  OpenedInput in;
  if (const int st = openInputAt(o.file, o.record, ui, in); st != kExitOk) return st;
  StudyState& s = *in.state;
  if (!channelOptionInRange(o.channel, s.channelCount)) return kExitUsage;
  const int c = o.channel - 1;
  const BeatDetectorSettings settings = readEcgDetectorSettings(s.programDir);
  std::vector<int> rr;
  int rate = 0;
  std::string problem;
  const int n = collectIntervals(s, c, settings, rr, rate, problem);
  if (n < 0) {
    reportFailure(problem);
    return kExitFile;
  }
  // R positions: the first one follows the intervals in the table
  std::vector<long long> positions;
  if (rate == s.sampleRate && n > 0) {
    long long r = s.resultStore[n];
    positions.push_back(r);
    for (int x : rr) positions.push_back(r += x);
  }
  RrStatistics st;
  std::string message;
  const bool haveStats = computeRrStatistics(rr, rate, st, message);
  EcgDiagnosis dx;
  std::string dxMessage;
  const bool haveDiagnosis = rate == s.sampleRate && diagnoseEcg(s, c, settings, dx, dxMessage);
  std::string text;
  if (o.json) {
    nlohmann::json j;
    j["channel"] = o.channel;
    j["record"] = o.record;
    j["sampleRate"] = rate;
    nlohmann::json beats = nlohmann::json::array();
    for (std::size_t k = 0; k < positions.size(); ++k) {
      nlohmann::json b{{"sample", positions[k]}};
      if (k < rr.size()) b["rr"] = rr[k];
      beats.push_back(b);
    }
    if (positions.empty())
      for (int x : rr) beats.push_back({{"rr", x}});
    j["beats"] = std::move(beats);
    j["intervals"] = n;
    if (haveStats) {
      const auto orNull = [](bool ok, double v) { return ok ? nlohmann::json(v) : nlohmann::json(nullptr); };
      j["statistics"] = {{"n", st.n},
                         {"meanMs", st.mean * 1000.0 / rate},
                         {"sdMs", st.sigma * 1000.0 / rate},
                         {"skewness", orNull(st.hasSigma, st.skewness)},
                         {"kurtosis", orNull(st.hasSigma, st.kurtosis)},
                         {"modeMs", st.mode * 1000.0 / rate},
                         {"amoPercent", st.amo},
                         {"idm", st.idm},
                         {"rmssdMs", st.rmssd},
                         {"pnn50Percent", st.pnn50},
                         {"pss", orNull(st.hasPss, st.pss)},
                         {"psa", orNull(st.hasPss, st.psa)},
                         {"lines", st.lines}};
    } else {
      j["statistics"] = nullptr;
      j["message"] = message;
    }
    j["conclusion"] = haveDiagnosis ? nlohmann::json(dx.lines) : nlohmann::json::array();
    text = j.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
  } else {
    text = positions.empty() ? "rr\n" : "sample,rr\n";
    for (std::size_t k = 0; k < std::max(positions.size(), rr.size()); ++k) {
      if (!positions.empty()) text += std::to_string(positions[k]) + ",";
      if (k < rr.size()) text += std::to_string(rr[k]);
      text += "\n";
    }
    text += "\n";
    if (haveStats)
      for (const std::string& l : st.lines) text += l + "\n";
    else
      text += message + "\n";
    if (haveDiagnosis) {
      text += "\n";
      for (const std::string& l : dx.lines) text += l + "\n";
    }
  }
  return writeOutStatus(text);
}

}  // namespace

void addEcgCommand(CLI::App& app, int& status) {
  auto o = std::make_shared<EcgOptions>();
  CLI::App* cmd = app.add_subcommand("ecg", "Beats, RR statistics and ECG conclusion of one channel of a record");
  cmd->add_option("FILE", o->file, "Recording (.hea, .cad, .edf, ...)")->required();
  cmd->add_option("--record", o->record, "Record (or page) number, from 1");
  cmd->add_option("--channel", o->channel, "ECG channel, from 1")->required();
  cmd->add_flag("--json", o->json, "One JSON object: beats, statistics, conclusion lines");
  cmd->callback([o, &status] { status = runEcg(*o); });
}

}  // namespace velor::cli
