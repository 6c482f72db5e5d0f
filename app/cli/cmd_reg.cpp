// velor-cli reg FILE [--record N] [--json]: the rheographic statistics of a
// record (pulse channels against the ECG on channel 3) as the window prints
// them; with --json every wave's landmarks and indices beside the lines.
// velor-cli reg-average FILE [--record N] [--json]: the averaged wave's
// landmarks and lines, and with --method the hemodynamic estimates.
// Settings come from "qreg.ini", norms from "reo.nrm" and patient data from
// "qgdin.ini" in the working folder unless options give them.
#include <cmath>
#include <cstdio>
#include <memory>
#include <nlohmann/json.hpp>

#include "app/cli/commands.h"
#include "core/binio.h"
#include "core/study_state.h"
#include "physio/ecg_settings.h"
#include "physio/rheo.h"
#include "physio/rheo_texts.h"

namespace velor::cli {

namespace {

struct RegOptions {
  std::string file;
  int record = 1;
  int channel = 1;
  int leads = 0;  // 0: from qreg.ini
  int age = -1;
  int propagation = 0;
  std::string norms;
  std::string method;
  bool json = false;
};

std::string dump(const nlohmann::json& j) {
  return j.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}

nlohmann::json waveJson(const StudyState& s, int channel, const RegWave& w) {
  nlohmann::json idx = nlohmann::json::array();
  for (int k = 1; k <= kRegIndexCount; ++k) {
    const auto v = regMeasure(w, k);
    idx.push_back(v ? nlohmann::json(*v * regFactor(s, channel, k)) : nlohmann::json(nullptr));
  }
  return {{"onset", w.onset},       {"nextOnset", w.nextOnset}, {"peak", w.peak},
          {"steepest", w.steepest}, {"incisura", w.incisura},   {"dicroticTop", w.dicroticTop},
          {"T", w.T},               {"A0", w.A0},               {"tF", w.tF},
          {"tS", w.tS},             {"AS", w.AS},               {"AI", w.AI},
          {"tD", w.tD},             {"AD", w.AD},               {"Pr", w.Pr},
          {"indices", idx}};
}

int openFor(const RegOptions& o, EngineInteraction& ui, OpenedInput& in) {
  if (const int st = openInputAt(o.file, o.record, ui, in); st != kExitOk) return st;
  const StudyState& s = *in.state;
  if (!channelOptionInRange(o.channel, s.channelCount)) return kExitUsage;
  return kExitOk;
}

int runReg(const RegOptions& o) {
  EngineInteraction ui;
  OpenedInput in;
  if (const int st = openFor(o, ui, in); st != kExitOk) return st;
  StudyState& s = *in.state;
  RegSettings settings;
  readRegSettings(s.programDir, settings);
  const int leads = o.leads > 0 ? (o.leads > 2 ? 4 : o.leads) : settings.leadCount();
  const int age = o.age >= 0 ? o.age : settings.ageYears();
  const int t0 = sanitizeRestingPropagation(o.propagation > 0 ? o.propagation : settings.restingPropagationMs);
  RegNorms norms;
  const std::string normPath = o.norms.empty() ? s.programDir + kRegNormFile : o.norms;
  std::vector<std::string> notices;
  if (std::string text; fileExists(normPath) && readWholeFile(normPath, text, 1u << 20)) {
    std::string m;
    if (!parseRegNorms(text, age, norms, m)) notices.push_back(m);
  } else {
    notices.push_back(kRegNoNorms);
  }
  RegStatistics st;
  std::string message;
  if (!computeRegStatistics(s, o.channel - 1, leads, norms, readEcgDetectorSettings(s.programDir), t0, st,
                            message)) {
    reportFailure(message);
    return kExitFile;
  }
  for (const auto& n : st.notices) notices.push_back(n);
  for (const auto& n : notices) reportFailure(n);
  std::string text;
  if (o.json) {
    nlohmann::json j;
    j["record"] = o.record;
    j["sampleRate"] = s.sampleRate;
    j["leads"] = nlohmann::json::array();
    for (const RegLeadResult& lr : st.leads) {
      nlohmann::json l{{"channel", lr.channel + 1},
                       {"firstOnset", lr.search.firstOnset},
                       {"lastOnset", lr.search.lastOnset},
                       {"meanPropagation", lr.meanPropagation}};
      nlohmann::json means = nlohmann::json::array(), sds = nlohmann::json::array();
      for (const auto& x : lr.stats) {
        means.push_back(x.valid ? nlohmann::json(x.mean) : nlohmann::json(nullptr));
        sds.push_back(x.valid ? nlohmann::json(x.sd) : nlohmann::json(nullptr));
      }
      l["mean"] = means;
      l["sd"] = sds;
      nlohmann::json waves = nlohmann::json::array();
      for (const RegWave& w : lr.search.waves) waves.push_back(waveJson(s, lr.channel, w));
      l["waves"] = waves;
      j["leads"].push_back(l);
    }
    j["lines"] = st.lines;
    j["notices"] = notices;
    text = dump(j);
  } else {
    for (const auto& l : st.lines) text += l + "\n";
  }
  return writeOutStatus(text);
}

int runRegAverage(const RegOptions& o) {
  EngineInteraction ui;
  OpenedInput in;
  if (const int st = openFor(o, ui, in); st != kExitOk) return st;
  StudyState& s = *in.state;
  const BeatDetectorSettings det = readEcgDetectorSettings(s.programDir);
  const int c = o.channel - 1;
  std::string problem;
  const auto r = regRPositions(s, det, problem);
  const RegWaveSearch w = findRegWaves(s, c, r);
  RegAverage a;
  std::string message;
  if (!averageRegWave(s, c, w, a, message)) {
    reportFailure(message);
    return kExitFile;
  }
  const auto lines = regAverageLines(s, c, a);
  std::vector<std::string> hemo;
  if (!o.method.empty()) {
    RegSettings settings;
    readRegSettings(s.programDir, settings);
    RegPatient p;
    readRegPatient(s.programDir, p);
    const int method = o.method == "tishchenko" ? 1 : 0;
    if (!computeHemodynamics(s, method, o.age >= 0 ? o.age : settings.ageYears(), p, det, hemo, message)) {
      reportFailure(message);
      return kExitFile;
    }
  }
  std::string text;
  if (o.json) {
    nlohmann::json j{{"record", o.record},   {"channel", o.channel},  {"sampleRate", s.sampleRate},
                     {"waves", w.waves.size()}, {"Tm", a.Tm},         {"points", a.m},
                     {"peak", a.peak},        {"dMax1", a.dMax1},      {"dMin1", a.dMin1},
                     {"dMax2", a.dMax2},      {"aMax1", a.aMax1},      {"aMin1", a.aMin1},
                     {"aMax2", a.aMax2},      {"aMin2", a.aMin2},      {"aMax3", a.aMax3},
                     {"incisura", a.incisura}, {"dicroticPoint", a.dicroticPoint}, {"end", a.end},
                     {"S", a.S},              {"D", a.D},              {"A", a.A},
                     {"lines", lines},        {"hemodynamics", hemo}};
    text = dump(j);
  } else {
    for (const auto& l : lines) text += l + "\n";
    if (!hemo.empty()) {
      text += "\n";
      for (const auto& l : hemo) text += l + "\n";
    }
  }
  return writeOutStatus(text);
}

}  // namespace

void addRegCommands(CLI::App& app, int& status) {
  auto o = std::make_shared<RegOptions>();
  CLI::App* cmd = app.add_subcommand("reg", "Rheographic statistics of a record against the ECG on channel 3");
  cmd->add_option("FILE", o->file, "Recording (.cad, .edf, ...)")->required();
  cmd->add_option("--record", o->record, "Record (or page) number, from 1");
  cmd->add_option("--channel", o->channel, "Pulse channel of a one-lead run, from 1 (default 1)");
  cmd->add_option("--leads", o->leads, "1, 2 (channels 1,2) or 4 (1,2 and 4,5); default from qreg.ini");
  cmd->add_option("--age", o->age, "Patient age for the norms; default from qreg.ini");
  cmd->add_option("--norms", o->norms, "Norm file (default reo.nrm in the working folder)");
  cmd->add_option("--propagation", o->propagation, "Resting propagation time, ms (default from qreg.ini)");
  cmd->add_flag("--json", o->json, "One JSON object: every wave's landmarks and indices, the lines");
  cmd->callback([o, &status] { status = runReg(*o); });

  auto a = std::make_shared<RegOptions>();
  CLI::App* avg = app.add_subcommand("reg-average", "Averaged rheographic wave and hemodynamics of a record");
  avg->add_option("FILE", a->file, "Recording (.cad, .edf, ...)")->required();
  avg->add_option("--record", a->record, "Record (or page) number, from 1");
  avg->add_option("--channel", a->channel, "Pulse channel, from 1 (default 1)");
  avg->add_option("--method", a->method, "Also the hemodynamics: kubicek or tishchenko (channel 1, base impedance from channel 2)")
      ->check(CLI::IsMember({"kubicek", "tishchenko"}));
  avg->add_option("--age", a->age, "Patient age; default from qreg.ini");
  avg->add_flag("--json", a->json, "One JSON object: landmarks, sequences, lines");
  avg->callback([a, &status] { status = runRegAverage(*a); });
}

}  // namespace velor::cli
