// velor-cli ep FILE --ref KIND[CODE] --start MS --length MS [...]: averages
// the epochs around the reference points over the records of FILE (or
// inside its first record), tells how many were averaged, rejected and
// skipped, writes the averaged record as the averaging window saves it and,
// with --json, the peak table.
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "app/cli/commands.h"
#include "core/numtext.h"
#include "core/study_state.h"
#include "eeg/spectral.h"
#include "physio/evoked.h"

namespace velor::cli {

namespace {

struct EpOptions {
  std::string file, ref, mode = "records", reject, out, settings, erd, baseline, condition;
  double startMs = 0, lengthMs = 0, stepMs = 0;
  int gain = 1, smooth = 0, record = 1;
  bool zero = false, json = false;
  std::vector<std::string> peaks;
};

bool splitPair(const std::string& text, double& a, double& b) {
  const auto comma = text.find(',');
  if (comma == std::string::npos) return false;
  const auto x = parseNumber(text.substr(0, comma)), y = parseNumber(text.substr(comma + 1));
  if (!x || !y) return false;
  a = *x;
  b = *y;
  return true;
}

int runEp(const EpOptions& o) {
  EvokedSettings p;
  if (!o.settings.empty() && !readEvokedSettings(o.settings, p)) {
    reportFailure(o.settings + ": not a settings file of the averaging (82 lines)");
    return kExitFile;
  }
  p.reference = o.ref;
  p.epochStart = o.startMs / 1000.0;
  p.epochEnd = (o.startMs + o.lengthMs) / 1000.0;
  p.zeroCorrection = p.zeroCorrection || o.zero;
  p.gain = o.gain;
  p.smoothing = o.smooth;
  if (!o.condition.empty()) p.condition = o.condition;
  if (!o.reject.empty() && !splitPair(o.reject, p.artefactMicroVolts, p.artefactSeconds)) {
    reportFailure("--reject takes LEVEL,DURATION (µV, s)");
    return kExitUsage;
  }
  if (!o.erd.empty()) {
    p.potentialType = 1;
    if (!splitPair(o.erd, p.erdLow, p.erdHigh)) {
      reportFailure("--erd takes LOW,HIGH (Hz)");
      return kExitUsage;
    }
    if (!o.baseline.empty() && !splitPair(o.baseline, p.baselineStart, p.baselineEnd)) {
      reportFailure("--baseline takes START,END (s from the epoch start)");
      return kExitUsage;
    }
  }
  for (std::size_t k = 0; k < o.peaks.size() && k < kPeakRows - 1; ++k) {
    // LABEL,SIGN,TMIN,TMAX
    std::vector<std::string> f;
    std::string cur;
    for (char ch : o.peaks[k]) {
      if (ch == ',') {
        f.push_back(cur);
        cur.clear();
      } else cur += ch;
    }
    f.push_back(cur);
    if (f.size() != 4) {
      reportFailure("--peak takes LABEL,SIGN,TMIN,TMAX");
      return kExitUsage;
    }
    p.peaks[k] = PeakRow{f[0], f[1], f[2], f[3]};
  }

  EngineInteraction ui;
  ui.onMessage = nullptr;
  OpenedInput in;
  if (const int st = openInputAt(o.file, o.record, ui, in); st != kExitOk) return st;
  StudyState& s = *in.state;
  const EvokedMode mode = o.mode == "inside" ? EvokedMode::InsideRecord : EvokedMode::Records;
  if (mode == EvokedMode::InsideRecord) {
    // The step between searches is the selected interval of the monitor.
    const int step = static_cast<int>(o.stepMs * s.sampleRate / 1000.0);
    s.selectionAnchor = 0;
    s.cursorPos = step;
  }
  ui.messages.clear();
  auto engine = std::make_unique<SpectralEngine>();
  EvokedOutcome outcome;
  const bool ok = averageEvoked(s, p, mode, *engine, ui, outcome);
  for (const std::string& m : ui.messages) reportFailure(m);
  if (!ok) {
    if (o.json) {
      nlohmann::json j{{"averaged", 0}, {"rejected", outcome.rejected}, {"skipped", outcome.skipped}};
      writeOut(j.dump(2) + "\n");
    }
    return kExitFile;
  }
  if (!o.out.empty()) {
    EngineInteraction w;
    if (FILE* f = std::fopen(o.out.c_str(), "rb")) {
      std::fclose(f);
      w.choiceScript = {1};  // replace
    }
    if (!saveRecords(s, o.out, w)) {
      reportFailure(w.reason(o.out + ": cannot be written"));
      return kExitFile;
    }
  }
  const PeakTable t = measurePeaks(s, p);
  if (o.json) {
    nlohmann::json j{{"averaged", outcome.epochs}, {"rejected", outcome.rejected}, {"skipped", outcome.skipped},
                     {"length", s.recordLength}, {"rate", s.sampleRate}};
    nlohmann::json names = nlohmann::json::array();
    for (int c : t.channels) names.push_back(shownName(s.channelNames[static_cast<std::size_t>(c)]));
    j["channels"] = names;
    nlohmann::json rows = nlohmann::json::array();
    for (const PeakMeasure& m : t.rows)
      rows.push_back({{"label", m.label}, {"positive", m.positive}, {"amplitude", m.amplitude}, {"latency", m.latency}});
    j["peaks"] = rows;
    j["text"] = t.text;
    return writeOut(j.dump(2) + "\n") ? kExitOk : kExitFile;
  }
  return writeOut("averaged " + std::to_string(outcome.epochs) + ", rejected " + std::to_string(outcome.rejected) +
                  ", skipped " + std::to_string(outcome.skipped) + "\n")
             ? kExitOk
             : kExitFile;
}

}  // namespace

void addEpCommand(CLI::App& app, int& status) {
  auto o = std::make_shared<EpOptions>();
  CLI::App* cmd = app.add_subcommand("ep", "Average evoked responses around reference points");
  cmd->add_option("FILE", o->file, "Record file (.cad) or another signal file")->required();
  cmd->add_option("--ref", o->ref, "Reference point: T<s>, S<0-16>, M<ch>, E<ch>, C<ch>, I<hex>, O<hex>, P<hex>")
      ->required();
  cmd->add_option("--start", o->startMs, "Epoch start relative to the reference point, ms")->required();
  cmd->add_option("--length", o->lengthMs, "Epoch length, ms")->required();
  cmd->add_option("--mode", o->mode, "records: over the records of the file; inside: along the first record")
      ->check(CLI::IsMember({"records", "inside"}));
  cmd->add_option("--step", o->stepMs, "inside/C: the step between searches (the selected interval), ms");
  cmd->add_option("--reject", o->reject, "Artefact level and minimal duration: µV,s");
  cmd->add_flag("--zero", o->zero, "Zero correction: subtract each epoch's mean");
  cmd->add_option("--gain", o->gain, "Gain of the result (1..15)")->check(CLI::Range(1, 15));
  cmd->add_option("--smooth", o->smooth, "Smoothing passes (0..10)")->check(CLI::Range(0, 10));
  cmd->add_option("--condition", o->condition, "Record selection formula");
  cmd->add_option("--erd", o->erd, "ERD/ERS in the band LOW,HIGH Hz instead of the averaged response");
  cmd->add_option("--baseline", o->baseline, "ERD/ERS baseline START,END in s from the epoch start");
  cmd->add_option("--peak", o->peaks, "Peak window LABEL,SIGN,TMIN,TMAX (SIGN + positive; s); repeatable");
  cmd->add_option("--settings", o->settings, "Settings file (q16.ini or a .cav archive) to start from");
  cmd->add_option("--out", o->out, "Write the averaged record here (.cad)");
  cmd->add_flag("--json", o->json, "Counts and the peak table as JSON");
  cmd->callback([o, &status] { status = runEp(*o); });
}

}  // namespace velor::cli
