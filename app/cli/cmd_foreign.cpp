#include "app/cli/cmd_foreign.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <nlohmann/json.hpp>

#include "app/cli/cmd_edf.h"
#include "app/cli/commands.h"
#include "core/binio.h"
#include "core/numtext.h"
#include "core/study_state.h"
#include "core/text.h"
#include "interchange/brainloc.h"
#include "interchange/edf.h"
#include "interchange/foreign_formats.h"
#include "interchange/text_record.h"

namespace velor::cli {

namespace {

const char* formatName(const std::string& path) {
  switch (foreignReaderFor(path)) {
    case 1: return "brainsys-eeg";
    case 2: return "brainsys-ee";
    case 3: return "neuroscan";
    default: return "text";
  }
}

// A study state of its own with the record of a foreign file; notices of the
// reader go to stderr. The lead table "eeg20.ini" is looked for in the
// current directory, as the program looks for it in its own.
std::unique_ptr<StudyState> readForeign(const std::string& file) {
  std::string reason;
  if (!checkInputFile(file, reason)) {
    reportFailure(reason);
    return nullptr;
  }
  auto s = std::make_unique<StudyState>();
  s->programDir = "./";
  EngineInteraction ui;
  if (!openForeignRecord(*s, file, ui)) {
    reportFailure(ui.reason(file + ": cannot be read"));
    return nullptr;
  }
  if (!ui.messages.empty()) reportFailure(ui.reason(""));
  return s;
}

struct Closer {
  StudyState& s;
  ~Closer() { closeRecordFile(s); }
};

// Any input convert takes, opened into a study state of its own.
std::unique_ptr<StudyState> openAny(const std::string& file) {
  if (isForeignPath(file)) return readForeign(file);
  std::string reason;
  if (!checkInputFile(file, reason)) {
    reportFailure(reason);
    return nullptr;
  }
  auto s = std::make_unique<StudyState>();
  s->programDir = "./";
  EngineInteraction ui;
  const bool ok = isEdfPath(file) ? openEdf(*s, file, edfSampleWidthFor(file), ui) : openRecordFile(*s, file, ui);
  if (!ok) {
    reportFailure(file + ": " + ui.reason("not a record file (unknown signature)"));
    return nullptr;
  }
  if (!ui.messages.empty()) reportFailure(ui.reason(""));
  return s;
}

}  // namespace

bool isForeignPath(const std::string& path) {
  const std::string ext = extensionLower(path);
  return foreignReaderFor(path) != 0 || ext == ".txt";
}

bool isForeignConversion(const std::string& in, const std::string& out) {
  const std::string ext = extensionLower(out);
  return isForeignPath(in) || ext == ".txt" || ext == ".eeg";
}

int runForeignInfo(const std::string& file, bool json) {
  auto s = readForeign(file);
  if (!s) return kExitFile;
  nlohmann::json j;
  j["format"] = formatName(file);
  j["channelCount"] = s->channelCount;
  j["sampleRate"] = s->sampleRate;
  j["recordCount"] = 1;
  j["recordLength"] = s->recordLength;
  j["markChannelCount"] = s->markChannelCount;
  j["examHeader"] = s->examHeader;
  nlohmann::json channels = nlohmann::json::array();
  for (int c = 0; c < s->channelCount; ++c) {
    const auto uc = static_cast<std::size_t>(c);
    channels.push_back({{"name", s->channelNames[uc]},
                        {"zeroLevel", s->zeroLevel[c]},
                        {"calibUnits", s->calibUnits[c]},
                        {"calibValue", s->calibValue[c]},
                        {"channelPosX", s->channelPosX[uc]},
                        {"channelPosY", s->channelPosY[uc]}});
  }
  j["channels"] = std::move(channels);
  j["records"] = nlohmann::json::array({{{"recordLength", s->recordLength}}});
  std::string text;
  if (json) {
    text = j.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
  } else {
    std::string header = s->examHeader;
    while (!header.empty() && header.back() == ' ') header.pop_back();
    text = "File          " + file + "\nFormat        " + formatName(file) + "\nChannels      " +
           std::to_string(s->channelCount) + "\nSample rate   " + std::to_string(s->sampleRate) +
           " Hz\nSamples       " + std::to_string(s->recordLength) + "\nMark channel  " +
           std::to_string(s->markChannelCount) + "\nHeader        \"" + header + "\"\n\n";
    text += "#   Name   Zero   Units  Value  X    Y\n";
    for (int c = 0; c < s->channelCount; ++c) {
      const auto uc = static_cast<std::size_t>(c);
      char b[160];
      std::snprintf(b, sizeof b, "%-3d %s%*s %-6d %-6d %-6d %-4d %d\n", c, s->channelNames[uc].c_str(),
                    static_cast<int>(6 - std::min<std::size_t>(6, utf8Length(s->channelNames[uc]))), "",
                    s->zeroLevel[c], s->calibUnits[c], s->calibValue[c], s->channelPosX[uc], s->channelPosY[uc]);
      text += b;
    }
  }
  return writeOutStatus(text);
}

int runForeignDump(const std::string& file, int record, bool raw, const std::vector<int>& channels) {
  auto s = readForeign(file);
  if (!s) return kExitFile;
  if (record != 1) {
    reportFailure("record " + std::to_string(record) + " does not exist: " + file + " holds 1 record");
    return kExitUsage;
  }
  std::vector<int> chosen = channels;
  if (!chooseDumpChannels(chosen, s->channelCount)) return kExitUsage;
  std::vector<std::string> names;
  for (int c : chosen) names.push_back(s->channelNames[static_cast<std::size_t>(c)]);
  return writeDumpCsv(
      names, s->markChannelCount == 1, s->recordLength,
      [&](std::size_t k, long long i, char* buf) {
        const int c = chosen[k];
        if (raw) std::snprintf(buf, 40, "%d", s->channelData[static_cast<std::size_t>(c)][i]);
        else std::snprintf(buf, 40, "%.9g", s->physicalValue(static_cast<int>(i), c));
      },
      [&](long long i) { return s->markChannel[i]; });
}

int runForeignConvert(const std::string& in, const std::string& out) {
  const std::string outExt = extensionLower(out);
  const bool toText = outExt == ".txt";
  if (!toText && outExt != ".eeg" && outExt != ".cad") {
    reportFailure("writing " + (outExt.empty() ? std::string("files without an extension") : "\"" + outExt + "\" files") +
                  " from " + extensionLower(in) + " files is not available; .cad, .txt and .eeg (BrainLoc) can be written");
    return kExitUsage;
  }
  if (samePath(in, out)) {
    reportFailure("the output must be another file than the input");
    return kExitUsage;
  }
  auto s = openAny(in);
  if (!s) return kExitFile;
  Closer closer{*s};
  EngineInteraction ui;
  const auto writeFailed = [&] {
    reportFailure("cannot write " + out + ": " + std::strerror(errno));
    return kExitFile;
  };

  if (toText) {
    // Every record of the input, each under "Запись №" when there are several,
    // as the program's text save writes them.
    const int total = std::max(1, s->recordCount);
    std::string text;
    TerminalProgress progress;
    progress.begin("Converting", total);
    for (int n = 1; n <= total; ++n) {
      if (n > 1 && !stepRecord(*s, +1, ui)) {
        progress.end();
        reportFailure(in + ": " + ui.reason("cannot read record " + std::to_string(n)));
        return kExitFile;
      }
      if (total > 1) text += utf8ToCp1251("Запись №" + std::to_string(n)) + "\r\n";
      // Only the samples the file really stores are written.
      const int savedLength = s->recordLength;
      if (s->storedLength > 0) s->recordLength = std::min(s->recordLength, s->storedLength);
      text += textRecordBody(*s);
      s->recordLength = savedLength;
      progress.step(n);
    }
    progress.end();
    if (!writeFileAtomically(out, text)) return writeFailed();
    return kExitOk;
  }

  if (outExt == ".eeg") {
    if (!writeBrainLoc(*s, out, ui)) {
      reportFailure(ui.reason("cannot write " + out));
      return kExitFile;
    }
    // told only once it is true
    if (s->recordCount > 1) reportFailure("BrainLoc files hold one record: record 1 of " + in + " was written");
    return kExitOk;
  }

  // A foreign record becomes a one-record "CA40" file.
  AtomicFile file(out);
  if (!file.ok()) return writeFailed();
  s->recordFileVersion = kVersionCA40;
  if (!writeHeader(*s, file.fd()) || !writeRecord(*s, file.fd()) || !file.commit()) return writeFailed();
  return kExitOk;
}

}  // namespace velor::cli
