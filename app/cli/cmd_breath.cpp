// velor-cli breath FILE --channel C [--record N] [--json]: the breaths of a
// breathing channel (peak and trough samples), their periods and amplitudes
// and the breathing graph's two summary lines; with --json also the rate.
#include <memory>
#include <nlohmann/json.hpp>

#include "app/cli/commands.h"
#include "core/study_state.h"
#include "physio/breath.h"
#include "physio/breath_texts.h"

namespace velor::cli {

namespace {

struct BreathOptions {
  std::string file;
  int record = 1;
  int channel = 1;
  bool json = false;
};

int runBreath(const BreathOptions& o) {
  EngineInteraction ui;
  OpenedInput in;
  if (const int st = openInputAt(o.file, o.record, ui, in); st != kExitOk) return st;
  StudyState& s = *in.state;
  if (!channelOptionInRange(o.channel, s.channelCount)) return kExitUsage;
  const int c = o.channel - 1;
  const BreathTable t = detectBreaths(s.channel(c), s.recordLength, s.sampleRate);
  BreathSummary sum;
  std::string message;
  const bool have = summarizeBreaths(s.channel(c), t, s.sampleRate, s.microvoltsPerCode(c), sum, message);
  std::string text;
  if (o.json) {
    nlohmann::json j;
    j["channel"] = o.channel;
    j["record"] = o.record;
    j["sampleRate"] = s.sampleRate;
    j["length"] = s.recordLength;
    j["breaths"] = t.peaks.size();
    j["peaks"] = t.peaks;
    j["troughs"] = t.troughs;
    j["periods"] = sum.periods;
    j["amplitudes"] = sum.amplitudes;
    // in codes as well: a channel whose calibration rounds to 0 units per code still shows its breaths
    std::vector<int> codes(t.amplitudeCodes.begin(),
                           t.amplitudeCodes.empty() ? t.amplitudeCodes.end() : t.amplitudeCodes.end() - 1);
    j["amplitudeCodes"] = codes;
    if (have) {
      j["meanPeriod"] = sum.meanPeriod;
      j["sdPeriod"] = sum.sdPeriod;
      j["meanAmplitude"] = sum.meanAmplitude;
      j["sdAmplitude"] = sum.sdAmplitude;
      j["ratePerMinute"] = sum.ratePerMinute;
      j["lines"] = sum.lines;
    } else {
      j["message"] = message;
    }
    if (t.full) j["notice"] = kBreathTableFull;
    text = j.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
  } else {
    text = "peak,trough,period,amplitude\n";
    for (std::size_t k = 0; k < t.peaks.size(); ++k) {
      text += std::to_string(t.peaks[k]) + "," + std::to_string(t.troughs[k]) + ",";
      if (k < sum.periods.size()) text += std::to_string(sum.periods[k]) + "," + std::to_string(sum.amplitudes[k]);
      else text += ",";
      text += "\n";
    }
    text += "\n";
    if (have)
      for (const std::string& l : sum.lines) text += l + "\n";
    else
      text += message + "\n";
  }
  if (t.full) reportFailure(kBreathTableFull);
  return writeOutStatus(text);
}

}  // namespace

void addBreathCommand(CLI::App& app, int& status) {
  auto o = std::make_shared<BreathOptions>();
  CLI::App* cmd = app.add_subcommand("breath", "Breaths of a breathing channel: peaks, periods, amplitudes");
  cmd->add_option("FILE", o->file, "Recording (.hea, .cad, .edf, ...)")->required();
  cmd->add_option("--record", o->record, "Record (or page) number, from 1");
  cmd->add_option("--channel", o->channel, "Breathing channel, from 1")->required();
  cmd->add_flag("--json", o->json, "One JSON object: peaks, troughs, periods, amplitudes, summary");
  cmd->callback([o, &status] { status = runBreath(*o); });
}

}  // namespace velor::cli
