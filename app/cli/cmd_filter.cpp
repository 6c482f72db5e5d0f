// velor-cli filter-design: one IIR design as JSON (pole count, gain, sections
// and |H|² at chosen frequencies).
// velor-cli filter IN OUT: every channel of every record of a record file run
// through one design, written as a "CA40" file.
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>

#include "acquisition/filter_design.h"
#include "app/cli/cmd_filter.h"
#include "app/cli/commands.h"
#include "core/binio.h"
#include "core/study_state.h"

namespace velor::cli {

namespace {

struct DesignOptions {
  int code = 0;
  int order = 0;
  double eps = 0.1;
  double f1 = 0;
  double f2 = 0;
  bool haveF1 = false;
};

void addDesignOptions(CLI::App* cmd, DesignOptions& o) {
  cmd->add_option("--code", o.code,
                  "Design: 1..4 Butterworth, 5..8 Chebyshev I, 9..12 Chebyshev II; "
                  "+0 low-pass, +1 high-pass, +2 band-pass, +3 band-stop")
      ->required();
  cmd->add_option("--order", o.order, "Order (up to 40; up to 20 for band designs)")->required();
  cmd->add_option("--eps", o.eps, "Ripple parameter of the Chebyshev designs")->capture_default_str();
  cmd->add_option("--f1", o.f1, "Upper band edge, as a fraction of the sampling rate (band designs)");
  cmd->add_option("--f2", o.f2, "Corner, or lower band edge, as a fraction of the sampling rate")->required();
}

// The design, or a failure line and false.
bool makeDesign(const DesignOptions& o, FilterDesign& d) {
  if (filterKind(o.code) >= 2 && !o.haveF1) {
    reportFailure("band designs need the upper edge --f1");
    return false;
  }
  std::string why;
  if (!designFilter(d, o.order, o.code, o.eps, o.f1, o.f2, &why)) {
    reportFailure(why);
    return false;
  }
  return true;
}

struct FilterDesignOptions {
  DesignOptions design;
  std::vector<double> at;
};

int runFilterDesign(const FilterDesignOptions& o) {
  for (double f : o.at) {
    if (!std::isfinite(f)) {
      reportFailure("--at takes finite frequencies");
      return kExitUsage;
    }
  }
  FilterDesign d;
  if (!makeDesign(o.design, d)) return kExitUsage;
  nlohmann::ordered_json j;
  j["poles"] = d.poles;
  j["gain"] = d.gain;
  nlohmann::ordered_json sections = nlohmann::ordered_json::array();
  const double* c = d.coeffs.data();
  if (d.hasFirstOrder()) {
    sections.push_back({c[0], c[1]});
    c += 2;
  }
  for (int i = 0; i < d.secondOrderCount(); ++i, c += 4) sections.push_back({c[0], c[1], c[2], c[3]});
  j["sections"] = std::move(sections);
  nlohmann::ordered_json response = nlohmann::ordered_json::array();
  for (double f : o.at) response.push_back({f, filterResponse(d, f)});
  j["response"] = std::move(response);
  std::cout << j.dump() << '\n';
  return kExitOk;
}

struct FilterFileOptions {
  DesignOptions design;
  std::string in, out;
};

// Filters samples [0, length) of every channel of the record in memory. The
// state starts in the steady state of the first sample, so a channel does
// not begin with the filter's response to a jump from 0. Designs that remove
// the constant component put their output back on the channel's zero line.
void filterRecord(StudyState& s, const FilterDesign& d, bool blocksConstant, int length) {
  for (int ch = 0; ch < s.channelCount && ch < kMaxChannels; ++ch) {
    std::int16_t* x = s.channelData[static_cast<std::size_t>(ch)];
    if (length <= 0) continue;
    FilterState st;
    settleFilter(d, st, x[0]);
    const long long offset = blocksConstant ? s.zeroLevel[ch] : 0;
    for (int i = 0; i < length; ++i) {
      const long long y = filterSample(d, st, x[i]) + offset;
      x[i] = static_cast<std::int16_t>(std::clamp<long long>(y, -32768, 32767));
    }
  }
}

int runFilter(const FilterFileOptions& o) {
  FilterDesign d;
  if (!makeDesign(o.design, d)) return kExitUsage;
  const bool blocksConstant = filterBlocksConstant(o.design.code);

  for (const std::string* p : {&o.in, &o.out}) {
    const std::string ext = extensionLower(*p);
    if (ext != ".cad") {
      reportFailure((ext.empty() ? std::string("files without an extension") : "\"" + ext + "\" files") +
                    " cannot be filtered yet; only .cad files");
      return kExitFile;
    }
  }
  if (samePath(o.in, o.out)) {
    reportFailure("the output must be another file than the input");
    return kExitFile;
  }

  // The record table first: a damaged file is refused before anything is
  // written, and the stored time fields are carried over exactly.
  RecordFileHeader h;
  std::vector<RecordInfo> records;
  if (const int st = inspectSignalRecords(o.in, h, records); st != kExitOk) return st;

  EngineInteraction ui;
  OpenedInput input;
  if (!openInputRecordFile(o.in, ui, input)) return kExitFile;
  StudyState* s = input.state.get();

  // A negative count marks one averaged record; a count of 0 still has the
  // record that was read.
  const int total = std::max(1, s->recordCount);
  if (static_cast<int>(records.size()) < total) {
    reportFailure(o.in + ": the header counts " + std::to_string(total) + " records but the file holds " +
                  std::to_string(records.size()));
    return kExitFile;
  }

  return writeRecordsAsCA40(*s, ui, o.out, h, records, total, "Filtering", [&](StudyState& st) {
    filterRecord(st, d, blocksConstant, st.recordLength);
  });
}

}  // namespace

void addFilterDesignCommand(CLI::App& app, int& status) {
  auto o = std::make_shared<FilterDesignOptions>();
  CLI::App* cmd = app.add_subcommand("filter-design", "Design an IIR filter and print it as JSON");
  addDesignOptions(cmd, o->design);
  CLI::Option* f1 = cmd->get_option("--f1");
  cmd->add_option("--at", o->at, "Frequencies (fractions of the sampling rate) for the response, comma-separated")
      ->delimiter(',');
  cmd->callback([o, f1, &status] {
    o->design.haveF1 = f1->count() > 0;
    status = runFilterDesign(*o);
  });
}

void addFilterCommand(CLI::App& app, int& status) {
  auto o = std::make_shared<FilterFileOptions>();
  CLI::App* cmd = app.add_subcommand("filter", "Filter every channel of a record file; the output is written as CA40");
  cmd->add_option("IN", o->in, "Input record file")->required();
  cmd->add_option("OUT", o->out, "Output record file")->required();
  addDesignOptions(cmd, o->design);
  CLI::Option* f1 = cmd->get_option("--f1");
  cmd->callback([o, f1, &status] {
    o->design.haveF1 = f1->count() > 0;
    status = runFilter(*o);
  });
}

}  // namespace velor::cli
