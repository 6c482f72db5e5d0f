// velor-cli emg FILE --stimulus-bit B [--channel C] [--record N] [--json]:
// the M-responses after the stimuli of mark bit B (0..15): latency, amplitude,
// duration and area per stimulus, as the notebook rows receive them.
// velor-cli emg FILE --passive [--measure mean|max] [--epoch-ms MS]
// [--sample S] [--json]: the epoch measure, the band amplitudes of the epoch
// at sample S and the swing histograms, as the EMG window's passive
// commands show them.
#include <memory>
#include <nlohmann/json.hpp>

#include "app/cli/commands.h"
#include "core/numtext.h"
#include "core/study_state.h"
#include "eeg/spectral.h"
#include "physio/emg.h"
#include "physio/emg_passive.h"
#include "physio/emg_texts.h"

namespace velor::cli {

namespace {

struct EmgOptions {
  std::string file;
  int record = 1;
  int channel = 1;
  int bit = -1;
  bool passive = false;
  std::string measure = "mean";
  int epochMs = 0;  // 0: the first item of the measure's list
  int sample = 0;
  bool json = false;
};

std::string pointsCsv(const char* header, const EmgPoints& a, const EmgPoints* b = nullptr) {
  std::string t = std::string(header) + "\n";
  for (std::size_t i = 0; i < a.size(); ++i) {
    t += formatNumber(a[i].first, 6) + "," + formatNumber(a[i].second, 6);
    if (b && i < b->size()) t += "," + formatNumber((*b)[i].second, 6);
    t += "\n";
  }
  return t;
}

nlohmann::json pointsJson(const EmgPoints& p) {
  nlohmann::json a = nlohmann::json::array();
  for (const auto& [x, y] : p) a.push_back({x, y});
  return a;
}

int runPassive(const EmgOptions& o) {
  if (o.measure != "mean" && o.measure != "max") {
    reportFailure("--measure must be mean or max");
    return kExitUsage;
  }
  EngineInteraction ui;
  OpenedInput in;
  if (const int st = openInputAt(o.file, o.record, ui, in); st != kExitOk) return st;
  StudyState& s = *in.state;
  if (!channelOptionInRange(o.channel, s.channelCount)) return kExitUsage;
  const int c = o.channel - 1;
  const EmgMeasure m = o.measure == "max" ? EmgMeasure::MaxAmplitude : EmgMeasure::MeanAmplitude;
  const int ms = o.epochMs > 0 ? o.epochMs : emgEpochChoicesMs(m, s.sampleRate)[0];
  const int e = emgEpochSamples(ms, s.sampleRate);
  SpectralEngine engine;
  EmgEpochAnalysis ea;
  std::string epochMessage, bandMessage, swingMessage;
  const bool haveEpochs = emgEpochAnalysis(s, engine, c, m, e, ea, epochMessage);
  EmgBandAmplitudes ba;
  const int p = m == EmgMeasure::MaxAmplitude ? e : kEmgMeanBandEpoch;
  const bool haveBands = emgBandAmplitudes(s, engine, c, o.sample, p, ba, bandMessage);
  EmgSwingHistograms sh;
  const bool haveSwings = emgSwingHistograms(s, c, sh, swingMessage);
  std::string text;
  if (o.json) {
    nlohmann::json j;
    j["channel"] = o.channel;
    j["record"] = o.record;
    j["sampleRate"] = s.sampleRate;
    j["measure"] = o.measure;
    j["epochMs"] = ms;
    j["epochSamples"] = e;
    nlohmann::json je;
    if (haveEpochs) {
      je["amplitude"] = pointsJson(ea.amplitude);
      if (m == EmgMeasure::MaxAmplitude) je["frequency"] = pointsJson(ea.frequency);
      je["meanAmplitude"] = ea.meanAmplitude;
      je["sdAmplitude"] = ea.sdAmplitude;
      if (m == EmgMeasure::MaxAmplitude) {
        je["meanFrequency"] = ea.meanFrequency;
        je["sdFrequency"] = ea.sdFrequency;
      }
      je["skippedBands"] = ea.skippedBands;
      je["lines"] = ea.lines;
    } else {
      je["message"] = epochMessage;
    }
    j["epochs"] = je;
    nlohmann::json jb;
    if (haveBands) {
      jb["epoch"] = ba.epoch;
      jb["epochSamples"] = ba.epochSamples;
      jb["points"] = pointsJson(ba.points);
      jb["mean"] = ba.mean;
      jb["sd"] = ba.sd;
      jb["skippedBands"] = ba.skippedBands;
      jb["lines"] = ba.lines;
    } else {
      jb["message"] = bandMessage;
    }
    j["bands"] = jb;
    nlohmann::json js;
    js["swings"] = sh.amplitudes.size();
    js["amplitudeCodes"] = sh.amplitudes;
    js["durationSamples"] = sh.durations;
    if (haveSwings) {
      js["classes"] = sh.classes;
      js["amplitudePoints"] = pointsJson(sh.amplitudePoints);
      js["durationPoints"] = pointsJson(sh.durationPoints);
    } else {
      js["message"] = swingMessage;
    }
    j["swingHistograms"] = js;
    text = j.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
  } else {
    text = "# epochs: " + o.measure + ", " + std::to_string(ms) + " ms = " + std::to_string(e) + " samples\n";
    if (haveEpochs) {
      text += pointsCsv(m == EmgMeasure::MaxAmplitude ? "time_s,amplitude,frequency_hz" : "time_s,amplitude",
                        ea.amplitude, m == EmgMeasure::MaxAmplitude ? &ea.frequency : nullptr);
      for (const std::string& l : ea.lines) text += l + "\n";
    } else {
      text += epochMessage + "\n";
    }
    text += "\n# bands: sample " + std::to_string(o.sample) + ", " + std::to_string(p) + " samples\n";
    if (haveBands) {
      text += "# epoch " + std::to_string(ba.epoch) + "\n";
      text += pointsCsv("band_from_hz,amplitude", ba.points);
      for (const std::string& l : ba.lines) text += l + "\n";
    } else {
      text += bandMessage + "\n";
    }
    text += "\n# swings: " + std::to_string(sh.amplitudes.size()) + "\n";
    if (haveSwings) {
      text += pointsCsv("amplitude_uv,percent", sh.amplitudePoints);
      text += pointsCsv("period_ms,percent", sh.durationPoints);
    } else {
      text += swingMessage + "\n";
    }
  }
  if (haveEpochs && ea.skippedBands > 0) reportFailure(kEmgBandsSkipped + std::to_string(ea.skippedBands));
  else if (haveBands && ba.skippedBands > 0) reportFailure(kEmgBandsSkipped + std::to_string(ba.skippedBands));
  for (const std::string* msg : {&epochMessage, &bandMessage, &swingMessage})
    if (!msg->empty()) reportFailure(*msg);
  return writeOutStatus(text);
}

int runEmg(const EmgOptions& o) {
  if (o.passive) return runPassive(o);
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
  CLI::App* cmd = app.add_subcommand("emg", "M-responses to the stimuli of one mark bit, or the passive EMG measures");
  cmd->add_option("FILE", o->file, "Recording (.cad with a mark channel)")->required();
  cmd->add_option("--record", o->record, "Record number, from 1");
  cmd->add_option("--channel", o->channel, "EMG channel, from 1");
  cmd->add_option("--stimulus-bit", o->bit, "Mark bit of the stimulus, 0..15");
  cmd->add_flag("--passive", o->passive, "Passive EMG: epoch measure, band amplitudes, swing histograms");
  cmd->add_option("--measure", o->measure, "Epoch measure of --passive: mean (Аср) or max (Amax)");
  cmd->add_option("--epoch-ms", o->epochMs, "Epoch length of --passive in ms (default: the measure's first)");
  cmd->add_option("--sample", o->sample, "Sample whose epoch the band amplitudes of --passive take (0)");
  cmd->add_flag("--json", o->json, "One JSON object: the responses");
  cmd->callback([o, &status] { status = runEmg(*o); });
}

}  // namespace velor::cli
