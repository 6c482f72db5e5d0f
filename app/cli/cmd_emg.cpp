// velor-cli emg FILE --stimulus-bit B [--channel C] [--record N] [--json]:
// the M-responses after the stimuli of mark bit B (0..15): latency, amplitude,
// duration and area per stimulus, as the notebook rows receive them.
#include <memory>
#include <nlohmann/json.hpp>

#include "app/cli/commands.h"
#include "core/study_state.h"
#include "physio/emg.h"

namespace velor::cli {

namespace {

struct EmgOptions {
  std::string file;
  int record = 1;
  int channel = 1;
  int bit = -1;
  bool passive = false;
  bool json = false;
};

int runEmg(const EmgOptions& o) {
  if (o.passive) {
    reportFailure("--passive is not available yet");
    return kExitUsage;
  }
  if (o.bit < 0 || o.bit > 15) {
    reportFailure("--stimulus-bit must be 0..15");
    return kExitUsage;
  }
  EngineInteraction ui;
  OpenedInput in;
  if (const int st = openInputAt(o.file, o.record, ui, in); st != kExitOk) return st;
  StudyState& s = *in.state;
  if (!channelOptionInRange(o.channel, s.channelCount)) return kExitUsage;
  std::vector<MResponse> rows;
  std::string message;
  if (!measureMResponses(s, o.channel - 1, o.bit, rows, message)) {
    reportFailure(message);
    return kExitFile;
  }
  std::string text;
  if (o.json) {
    nlohmann::json j;
    j["channel"] = o.channel;
    j["record"] = o.record;
    j["sampleRate"] = s.sampleRate;
    nlohmann::json a = nlohmann::json::array();
    for (const MResponse& r : rows)
      a.push_back({{"stimulus", r.stimulus}, {"onset", r.onset}, {"peak", r.peak}, {"end", r.end},
                   {"latency", r.latency}, {"amplitude", r.amplitude}, {"duration", r.duration}, {"area", r.area}});
    j["responses"] = a;
    text = j.dump(2) + "\n";
  } else {
    text = "stimulus,latency_s,amplitude,duration_s,area\n";
    for (const MResponse& r : rows)
      text += std::to_string(r.stimulus) + "," + std::to_string(r.latency) + "," + std::to_string(r.amplitude) + "," +
              std::to_string(r.duration) + "," + std::to_string(r.area) + "\n";
  }
  return writeOutStatus(text);
}

}  // namespace

void addEmgCommand(CLI::App& app, int& status) {
  auto o = std::make_shared<EmgOptions>();
  CLI::App* cmd = app.add_subcommand("emg", "M-responses to the stimuli of one mark bit");
  cmd->add_option("FILE", o->file, "Recording (.cad with a mark channel)")->required();
  cmd->add_option("--record", o->record, "Record number, from 1");
  cmd->add_option("--channel", o->channel, "EMG channel, from 1");
  cmd->add_option("--stimulus-bit", o->bit, "Mark bit of the stimulus, 0..15");
  cmd->add_flag("--passive", o->passive, "Passive EMG (not available yet)");
  cmd->add_flag("--json", o->json, "One JSON object: the responses");
  cmd->callback([o, &status] { status = runEmg(*o); });
}

}  // namespace velor::cli
