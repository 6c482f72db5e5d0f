// velor-cli eeg-report FILE [--record N] [--bands FILE.dia] [--json]: the
// report lines that "&4=Диагноз" writes into the text result window for that
// record (without the examination header the window puts above every run),
// one per line; with --json the coded features, the rule, the degree and the
// lines. FILE is a record file (".cad") or an EDF-family file, whose pages
// are the records. Without --bands the default band table is used (delta,
// theta, alpha, beta1, beta2), as a fresh installation has it.
#include <algorithm>
#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>

#include "app/cli/cmd_eeg_report.h"
#include "app/cli/commands.h"
#include "core/record_file.h"
#include "eeg/band_table.h"
#include "eeg/eeg_report.h"
#include "eeg/spectral.h"

namespace velor::cli {

namespace {

struct Options {
  std::string file;
  int record = 1;
  std::string bands;
  bool json = false;
};

nlohmann::json asJson(const Options& o, const StudyState& s, const EegReport& r) {
  static constexpr const char* kFeatureNames[kFeatureCount] = {"main",  "amplitude", "alpha",
                                                               "zonal", "beta1",     "slow"};
  nlohmann::json j;
  j["file"] = o.file;
  j["record"] = o.record;
  j["sampleRate"] = s.sampleRate;
  j["samples"] = s.recordLength;
  nlohmann::json f = nlohmann::json::object();
  for (int k = 0; k < kFeatureCount; ++k) f[kFeatureNames[k]] = r.features.code[static_cast<std::size_t>(k)];
  j["features"] = f;
  j["rule"] = r.rule;
  j["degree"] = r.degree;
  nlohmann::json d;
  d["bandShares"] = r.derived.sharePercent;
  d["meanAmplitude"] = r.derived.meanAmplitude;
  d["rhythmPercent"] = r.derived.rhythmPercent;
  d["modulationPercent"] = r.derived.modulationPercent;
  d["instabilityRatio"] = r.derived.instabilityRatio;
  d["zonalRatio"] = r.derived.zonalRatio;
  j["measures"] = d;
  j["lines"] = r.lines;
  return j;
}

int run(const Options& o) {
  EngineInteraction ui;
  OpenedInput in;
  if (const int status = openInputAt(o.file, o.record, ui, in); status != kExitOk) return status;
  StudyState& s = *in.state;
  if (!o.bands.empty()) {
    std::string reason;
    if (!refuseNonRegularFile(o.bands, reason)) {
      reportFailure(reason);
      return kExitFile;
    }
    if (!readBandFile(o.bands, s, ui)) {
      reportFailure(ui.reason(o.bands + ": cannot be read"));
      return kExitFile;
    }
  } else {
    installDefaultBands(s);
  }
  SpectralEngine engine;
  const EegReport r = eegReport(engine, s);
  if (!r.ok()) {
    reportFailure(r.problem);
    return kExitFile;
  }
  if (o.json) {
    // Replacement characters rather than an exception for a path that is
    // not UTF-8.
    std::cout << asJson(o, s, r).dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << '\n';
  } else {
    for (const std::string& line : r.lines) std::cout << line << '\n';
  }
  std::cout.flush();
  return std::cout ? kExitOk : kExitFile;
}

}  // namespace

void addEegReportCommand(CLI::App& app, int& status) {
  auto o = std::make_shared<Options>();
  CLI::App* c = app.add_subcommand("eeg-report", "clinical EEG report (Zhirmunskaya) of one record");
  c->add_option("FILE", o->file, "record file (.cad) or EDF-family file")->required();
  c->add_option("--record", o->record, "record (page) number, from 1");
  c->add_option("--bands", o->bands, "band table (.dia); the default table otherwise");
  c->add_flag("--json", o->json, "features, rule, degree and lines as JSON");
  c->callback([o, &status] { status = run(*o); });
}

}  // namespace velor::cli
