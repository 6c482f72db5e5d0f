// velor-cli info FILE [--json]: what a record file holds, from its header and
// its record table, without loading it into a study.
#include <cstdio>
#include <nlohmann/json.hpp>

#include "app/cli/cmd_edf.h"
#include "app/cli/cmd_foreign.h"
#include "app/cli/cmd_wfdb.h"
#include "interchange/wfdb.h"
#include "app/cli/commands.h"
#include "core/study_state.h"
#include "core/text.h"

namespace velor::cli {

namespace {

struct InfoOptions {
  std::string file;
  bool json = false;
};

// "YYYY-MM-DD", or "" for a day count outside the years 1..9999 (a damaged
// field; the calendar arithmetic is only defined inside that range).
std::string isoDate(int days) {
  if (days < daysFromCivil(1, 1, 1) || days > daysFromCivil(9999, 12, 31)) return {};
  int y = 0, m = 0, d = 0;
  civilFromDays(days, y, m, d);
  char buf[16];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", y, m, d);
  return buf;
}

// Seconds since midnight of a stored time field; CA15 files carry none.
double recordSeconds(const RecordFileHeader& h, const RecordInfo& r) {
  if (h.version == kVersionCA15) return 0.0;
  return decodeTimeOfDay(r.timeField) * 86400.0;
}

std::string clockText(double seconds) {
  const long ms = static_cast<long>(seconds * 1000.0 + 0.5);
  char buf[32];
  std::snprintf(buf, sizeof buf, "%02ld:%02ld:%02ld.%03ld", ms / 3600000, ms / 60000 % 60, ms / 1000 % 60, ms % 1000);
  return buf;
}

nlohmann::json infoJson(const RecordFileHeader& h, const std::vector<RecordInfo>& records) {
  nlohmann::json j;
  j["format"] = "cad";
  j["signature"] = h.signature;
  j["channelCount"] = h.channelCount;
  j["sampleRate"] = h.sampleRate;
  j["recordCount"] = h.recordCount;
  j["markChannelCount"] = h.markChannelCount;
  j["referenceKind"] = h.referenceKind;
  j["leadPairCount"] = h.leadPairCount;
  const std::string date = isoDate(h.fileDate);
  j["recordDate"] = date.empty() ? nlohmann::json(nullptr) : nlohmann::json(date);
  j["examHeader"] = h.examHeader;
  nlohmann::json channels = nlohmann::json::array();
  for (int i = 0; i < h.channelCount && i < kMaxChannels; ++i) {
    channels.push_back({{"name", shownName(h.channelNames[i])},
                        {"zeroLevel", h.zeroLevel[i]},
                        {"calibUnits", h.calibUnits[i]},
                        {"calibValue", h.calibValue[i]},
                        {"channelPosX", h.posX[i]},
                        {"channelPosY", h.posY[i]}});
  }
  j["channels"] = std::move(channels);
  nlohmann::json recs = nlohmann::json::array();
  for (const RecordInfo& r : records) {
    recs.push_back({{"storedLength", r.storedLength},
                    {"recordLength", r.recordLength},
                    {"recordTime", recordSeconds(h, r)}});
  }
  j["records"] = std::move(recs);
  return j;
}

// Left-aligned columns; widths count characters, not bytes, so that Cyrillic
// names line up.
std::string table(const std::vector<std::vector<std::string>>& rows) {
  std::vector<std::size_t> width;
  for (const auto& row : rows) {
    if (width.size() < row.size()) width.resize(row.size(), 0);
    for (std::size_t c = 0; c < row.size(); ++c) width[c] = std::max(width[c], utf8Length(row[c]));
  }
  std::string out;
  for (const auto& row : rows) {
    std::string line;
    for (std::size_t c = 0; c < row.size(); ++c) {
      line += row[c];
      if (c + 1 < row.size()) line.append(width[c] - utf8Length(row[c]) + 2, ' ');
    }
    out += line + "\n";
  }
  return out;
}

std::string infoText(const std::string& file, const RecordFileHeader& h, const std::vector<RecordInfo>& records) {
  std::string header = h.examHeader;
  while (!header.empty() && header.back() == ' ') header.pop_back();
  const std::string date = isoDate(h.fileDate);
  std::string out = table({
      {"File", file},
      {"Format", "cad (" + h.signature + ")"},
      {"Channels", std::to_string(h.channelCount)},
      {"Sample rate", std::to_string(h.sampleRate) + " Hz"},
      {"Records", std::to_string(h.recordCount) + " in the header, " + std::to_string(records.size()) + " found"},
      {"Mark channel", std::to_string(h.markChannelCount)},
      {"Reference", std::to_string(h.referenceKind) + " " + referenceKindName(h.referenceKind)},
      {"Lead pairs", std::to_string(h.leadPairCount)},
      {"Date", date.empty() ? "(invalid: " + std::to_string(h.fileDate) + ")" : date},
      {"Header", "\"" + header + "\""},
  });
  std::vector<std::vector<std::string>> ch{{"#", "Name", "Kind", "Zero", "Units", "Value", "X", "Y"}};
  for (int i = 0; i < h.channelCount && i < kMaxChannels; ++i) {
    ch.push_back({std::to_string(i), shownName(h.channelNames[i]), channelKindName(h.posX[i]),
                  std::to_string(h.zeroLevel[i]), std::to_string(h.calibUnits[i]), std::to_string(h.calibValue[i]),
                  std::to_string(h.posX[i]), std::to_string(h.posY[i])});
  }
  out += "\n" + table(ch);
  std::vector<std::vector<std::string>> rec{{"Record", "Stored", "Length", "Time"}};
  for (std::size_t k = 0; k < records.size(); ++k) {
    rec.push_back({std::to_string(k + 1), std::to_string(records[k].storedLength),
                   std::to_string(records[k].recordLength), clockText(recordSeconds(h, records[k]))});
  }
  out += "\n" + table(rec);
  return out;
}

int runInfo(const InfoOptions& o) {
  if (isWfdbPath(o.file)) return runWfdbInfo(o.file, o.json);
  if (isEdfPath(o.file)) return runEdfInfo(o.file, o.json);
  if (isForeignPath(o.file)) return runForeignInfo(o.file, o.json);
  RecordFileHeader h;
  std::vector<RecordInfo> records;
  std::string fault, reason;
  if (!inspectRecordFile(o.file, h, records, fault, reason)) {
    reportFailure(reason);
    return kExitFile;
  }
  // The same verdict as the other commands and the workstation: the records
  // before a damaged one are shown, with the notice; nothing sound, a refusal.
  if (!fault.empty()) {
    if (records.empty()) {
      reportFailure(fault);
      return kExitFile;
    }
    reportFailure(damagedNotice(fault, records.size()));
  }
  const std::string text =
      o.json ? infoJson(h, records).dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n"
             : infoText(o.file, h, records);
  if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size() || std::fflush(stdout) != 0) {
    reportFailure("cannot write the output");
    return kExitFile;
  }
  return kExitOk;
}

}  // namespace

void addInfoCommand(CLI::App& app, int& status) {
  auto o = std::make_shared<InfoOptions>();
  CLI::App* cmd = app.add_subcommand("info", "Describe a record file: header, channels and records");
  cmd->add_option("FILE", o->file, "Record file (.cad, .edf, .udf, .e32, .bdf, .eeg, .ee, .cnt, .txt)")->required();
  cmd->add_flag("--json", o->json, "One JSON object instead of a table");
  cmd->callback([o, &status] { status = runInfo(*o); });
}

}  // namespace velor::cli
