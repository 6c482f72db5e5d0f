#include "app/cli/cmd_wfdb.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <nlohmann/json.hpp>

#include "app/cli/commands.h"
#include "interchange/wfdb.h"

namespace velor::cli {

namespace {

bool readRecord(const std::string& file, WfdbRecordData& r) {
  std::string reason;
  if (!checkInputFile(file, reason)) {
    reportFailure(reason);
    return false;
  }
  if (!readWfdbRecord(file, r, reason)) {
    reportFailure(file + ": " + reason);
    return false;
  }
  return true;
}

}  // namespace

int runWfdbInfo(const std::string& file, bool json) {
  WfdbRecordData r;
  if (!readRecord(file, r)) return kExitFile;
  const WfdbHeader& h = r.header;
  const long long frames = r.adu.empty() ? 0 : static_cast<long long>(r.adu[0].size());
  const long long pages = (frames + kWfdbPageSamples - 1) / kWfdbPageSamples;
  int beats = 0;
  std::map<std::string, int> byCode;
  for (const WfdbAnnotation& a : r.annotations) {
    if (isWfdbBeatCode(a.code)) ++beats;
    ++byCode[wfdbCodeMnemonic(a.code)];
  }
  std::string text;
  if (json) {
    nlohmann::json j;
    j["format"] = "wfdb";
    j["record"] = h.recordName;
    j["channelCount"] = h.signals.size();
    j["sampleRate"] = h.frequency;
    j["frames"] = frames;
    j["recordCount"] = pages;
    j["pageSamples"] = kWfdbPageSamples;
    nlohmann::json ch = nlohmann::json::array();
    for (const WfdbSignal& s : h.signals) {
      ch.push_back({{"name", s.description},
                    {"file", s.fileName},
                    {"format", s.format},
                    {"gain", s.gain},
                    {"baseline", s.baseline},
                    {"units", s.units},
                    {"adcResolution", s.adcResolution},
                    {"initialValue", s.initialValue}});
    }
    j["channels"] = std::move(ch);
    j["annotationFile"] = r.annotationFile;
    j["annotations"] = r.annotations.size();
    j["beats"] = beats;
    nlohmann::json codes = nlohmann::json::object();
    for (const auto& [k, v] : byCode) codes[k] = v;
    j["annotationCodes"] = std::move(codes);
    text = j.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
  } else {
    char buf[256];
    text += "File          " + file + "\nFormat        wfdb\nRecord        " + h.recordName + "\n";
    std::snprintf(buf, sizeof buf, "Channels      %zu\nSample rate   %.9g Hz\nFrames        %lld\nRecords       %lld pages of %d frames\n",
                  h.signals.size(), h.frequency, frames, pages, kWfdbPageSamples);
    text += buf;
    text += "\n#   Name  Format  Gain  Baseline  Units\n";
    for (std::size_t c = 0; c < h.signals.size(); ++c) {
      const WfdbSignal& s = h.signals[c];
      std::snprintf(buf, sizeof buf, "%-3zu %-5s %-7d %-5.9g %-9d %s\n", c, s.description.c_str(), s.format, s.gain,
                    s.baseline, s.units.c_str());
      text += buf;
    }
    if (!r.annotationFile.empty()) {
      std::snprintf(buf, sizeof buf, "\nAnnotations   %zu in %s, %d beats\n", r.annotations.size(),
                    r.annotationFile.c_str(), beats);
      text += buf;
      for (const auto& [k, v] : byCode) text += "  " + k + " " + std::to_string(v) + "\n";
    }
  }
  return writeOutStatus(text);
}

int runWfdbDump(const std::string& file, int page, bool raw, const std::vector<int>& channels) {
  WfdbRecordData r;
  if (!readRecord(file, r)) return kExitFile;
  const WfdbHeader& h = r.header;
  const long long frames = r.adu.empty() ? 0 : static_cast<long long>(r.adu[0].size());
  const long long pages = (frames + kWfdbPageSamples - 1) / kWfdbPageSamples;
  if (page < 1 || page > pages) {
    reportFailure("record " + std::to_string(page) + " does not exist: " + file + " holds " + std::to_string(pages) +
                  " page(s)");
    return kExitUsage;
  }
  std::vector<int> chosen = channels;
  if (!chooseDumpChannels(chosen, static_cast<int>(h.signals.size()))) return kExitUsage;
  std::vector<std::string> names;
  for (int c : chosen) names.push_back(h.signals[static_cast<std::size_t>(c)].description);
  const long long first = static_cast<long long>(page - 1) * kWfdbPageSamples;
  const long long n = std::min<long long>(kWfdbPageSamples, frames - first);
  // the annotation code at each frame of the page
  std::vector<int> codes(static_cast<std::size_t>(n), 0);
  for (const WfdbAnnotation& a : r.annotations)
    if (a.sample >= first && a.sample < first + n) codes[static_cast<std::size_t>(a.sample - first)] = a.code;
  return writeDumpCsv(
      names, !r.annotationFile.empty(), n,
      [&](std::size_t k, long long i, char* buf) {
        const WfdbSignal& s = h.signals[static_cast<std::size_t>(chosen[k])];
        const int v = r.adu[static_cast<std::size_t>(chosen[k])][static_cast<std::size_t>(first + i)];
        if (raw) std::snprintf(buf, 40, "%d", v);
        else std::snprintf(buf, 40, "%.9g", (v - s.baseline) / s.gain);
      },
      [&](long long i) { return codes[static_cast<std::size_t>(i)]; });
}

}  // namespace velor::cli
