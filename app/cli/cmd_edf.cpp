#include "app/cli/cmd_edf.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <nlohmann/json.hpp>

#include "app/cli/commands.h"
#include "core/binio.h"
#include "core/study_state.h"
#include "interchange/edf.h"

namespace velor::cli {

namespace {

// Opens an EDF-family file into a fresh study; notices of the reader go to
// stderr after success.
std::unique_ptr<StudyState> openInput(const std::string& file, EngineInteraction& ui) {
  std::string reason;
  if (!checkInputFile(file, reason)) {
    reportFailure(reason);
    return nullptr;
  }
  auto s = std::make_unique<StudyState>();
  s->programDir = "./";
  if (!openEdf(*s, file, edfSampleWidthFor(file), ui)) {
    reportFailure(ui.reason(file + ": cannot be read"));
    return nullptr;
  }
  if (!ui.messages.empty()) reportFailure(ui.reason(""));
  ui.messages.clear();
  return s;
}

struct Closer {
  StudyState& s;
  ~Closer() { closeRecordFile(s); }
};

// "YYYY-MM-DD" of a day count, "" for none.
std::string isoDate(double days) {
  if (days <= 0) return {};
  int y = 0, m = 0, d = 0;
  civilFromDays(static_cast<int>(days), y, m, d);
  char b[16];
  std::snprintf(b, sizeof b, "%04d-%02d-%02d", y, m, d);
  return b;
}

}  // namespace

bool isEdfPath(const std::string& path) { return edfSampleWidthFor(path) != 0; }

int runEdfInfo(const std::string& file, bool json) {
  EngineInteraction ui;
  auto s = openInput(file, ui);
  if (!s) return kExitFile;
  Closer closer{*s};
  const EdfHeader& h = *edfOpenHeader(*s);
  nlohmann::json j;
  j["format"] = h.format();
  j["channelCount"] = s->channelCount;
  j["sampleRate"] = s->sampleRate;
  j["recordCount"] = s->recordCount;
  j["markChannelCount"] = s->markChannelCount;
  j["dataRecords"] = h.dataRecords;
  j["recordDuration"] = h.recordDuration;
  j["samplesPerRecord"] = h.maxSamplesPerRecord;
  j["signalCount"] = h.signalHeaders.size();
  j["signalsLeftOut"] = h.leftOutSignals;
  j["annotationSignals"] = h.annotationSignals.size();
  j["headerBytes"] = h.headerBytes;
  j["patient"] = h.patient;
  j["recording"] = h.recording;
  j["startDate"] = h.startDate;
  j["startTime"] = h.startTime;
  const std::string date = isoDate(s->recordDate);
  j["recordDate"] = date.empty() ? nlohmann::json(nullptr) : nlohmann::json(date);
  j["examHeader"] = s->examHeader;
  nlohmann::json channels = nlohmann::json::array();
  for (int c = 0; c < s->channelCount; ++c) {
    const auto uc = static_cast<std::size_t>(c);
    const EdfSignalHeader& sig = h.signalHeaders[static_cast<std::size_t>(h.channelSignals[uc])];
    const EdfChannelMapping& m = *edfChannelMapping(*s, c);
    channels.push_back({{"name", s->channelNames[uc]},
                        {"label", sig.label},
                        {"dimension", sig.dimension},
                        {"physicalMin", sig.physMin},
                        {"physicalMax", sig.physMax},
                        {"digitalMin", sig.digMin},
                        {"digitalMax", sig.digMax},
                        {"samplesPerRecord", sig.samplesPerRecord},
                        {"zeroLevel", s->zeroLevel[c]},
                        {"calibUnits", s->calibUnits[c]},
                        {"calibValue", s->calibValue[c]},
                        {"physicalOffset", m.physicalOffset},
                        {"channelPosX", s->channelPosX[uc]},
                        {"channelPosY", s->channelPosY[uc]}});
  }
  j["channels"] = std::move(channels);
  // one entry per page: its length and where it starts
  nlohmann::json pages = nlohmann::json::array();
  std::vector<std::vector<std::int16_t>> codes;
  const long long perPage = std::max<long long>(1, kEdfPageSamples / h.maxSamplesPerRecord) * h.maxSamplesPerRecord;
  for (int p = 1; p <= s->recordCount; ++p) {
    long long length = 0, start = 0;
    if (h.maxSamplesPerRecord <= kEdfPageSamples) {
      start = (p - 1) * perPage;
      length = std::min(perPage, h.dataRecords * h.maxSamplesPerRecord - start);
    } else {
      const long long parts = (h.maxSamplesPerRecord + kEdfPageSamples - 1) / kEdfPageSamples;
      const long long partLen = (h.maxSamplesPerRecord + parts - 1) / parts;
      const long long part = (p - 1) % parts;
      start = (p - 1) / parts * h.maxSamplesPerRecord + part * partLen;
      length = std::min(partLen, h.maxSamplesPerRecord - part * partLen);
    }
    pages.push_back({{"recordLength", length}, {"startSeconds", static_cast<double>(start) / h.maxSamplesPerRecord * h.recordDuration}});
  }
  j["records"] = std::move(pages);
  std::string text;
  if (json) {
    text = j.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
  } else {
    text = "File          " + file + "\nFormat        " + h.format() + "\nChannels      " + std::to_string(s->channelCount) +
           (h.leftOutSignals ? " (" + std::to_string(h.leftOutSignals) + " signals left out)" : "") +
           "\nSample rate   " + std::to_string(s->sampleRate) + " Hz\nData records  " + std::to_string(h.dataRecords) +
           " x " + edfDurationText(h.recordDuration) + " s\nPages         " + std::to_string(s->recordCount) +
           "\nAnnotations   " + (h.annotationSignals.empty() ? "no" : "yes") + "\nPatient       \"" + h.patient +
           "\"\nRecording     \"" + h.recording + "\"\nStart         " + h.startDate + " " + h.startTime + "\n\n";
    text += "#   Name   Label             Unit      PhysMin        PhysMax        DigMin     DigMax     Samples  Zero   Units  Value  Offset\n";
    for (int c = 0; c < s->channelCount; ++c) {
      const auto uc = static_cast<std::size_t>(c);
      const EdfSignalHeader& sig = h.signalHeaders[static_cast<std::size_t>(h.channelSignals[uc])];
      char b[512];
      std::snprintf(b, sizeof b, "%-3d %-6s %-17s %-9s %-14.8g %-14.8g %-10lld %-10lld %-8lld %-6d %-6d %-6d %.10g\n", c,
                    s->channelNames[uc].c_str(), sig.label.c_str(), sig.dimension.c_str(), sig.physMin, sig.physMax,
                    sig.digMin, sig.digMax, sig.samplesPerRecord, s->zeroLevel[c], s->calibUnits[c], s->calibValue[c],
                    edfChannelMapping(*s, c)->physicalOffset);
      text += b;
    }
  }
  return writeOutStatus(text);
}

int runEdfDump(const std::string& file, int page, bool raw, const std::vector<int>& channels) {
  EngineInteraction ui;
  auto s = openInput(file, ui);
  if (!s) return kExitFile;
  Closer closer{*s};
  if (page < 1 || page > s->recordCount) {
    reportFailure("record " + std::to_string(page) + " does not exist: " + file + " holds " +
                  std::to_string(s->recordCount) + " page(s)");
    return kExitUsage;
  }
  std::vector<int> chosen = channels;
  if (!chooseDumpChannels(chosen, s->channelCount)) return kExitUsage;
  if (page != s->currentRecord && !gotoEdfPage(*s, page, ui)) {
    reportFailure(ui.reason(file + ": cannot read page " + std::to_string(page)));
    return kExitFile;
  }
  if (!ui.messages.empty()) reportFailure(ui.reason(""));
  std::vector<std::string> names;
  std::vector<double> step, zero, offset;
  for (int c : chosen) {
    names.push_back(s->channelNames[static_cast<std::size_t>(c)]);
    step.push_back(s->microvoltsPerCode(c));
    zero.push_back(s->zeroLevel[c]);
    offset.push_back(edfChannelMapping(*s, c)->physicalOffset);
  }
  return writeDumpCsv(
      names, s->markChannelCount == 1, s->recordLength,
      [&](std::size_t k, long long i, char* buf) {
        const std::int16_t code = s->channelData[static_cast<std::size_t>(chosen[k])][i];
        // 12 digits: a channel shown beside a large constant part keeps its
        // own resolution (175940.6563 uV with steps of 0.0004 uV)
        if (raw) std::snprintf(buf, 40, "%d", code);
        else std::snprintf(buf, 40, "%.12g", (code - zero[k]) * step[k] + offset[k]);
      },
      [&](long long i) { return s->markChannel[i]; });
}

int runEdfConvert(const std::string& in, const std::string& out) {
  const std::string inExt = extensionLower(in), outExt = extensionLower(out);
  const bool toEdf = outExt == ".edf" || outExt == ".udf";
  if (!toEdf && outExt != ".cad") {
    reportFailure("writing " + (outExt.empty() ? std::string("files without an extension") : "\"" + outExt + "\" files") +
                  " is not available yet; .cad, .edf and .udf files can be written");
    return kExitFile;
  }
  if (!isEdfPath(in) && inExt != ".cad") {
    reportFailure("reading " + (inExt.empty() ? std::string("files without an extension") : "\"" + inExt + "\" files") +
                  " is not available yet; .cad, .edf, .udf, .e32 and .bdf files can be converted");
    return kExitFile;
  }
  EngineInteraction ui;
  std::unique_ptr<StudyState> s;
  if (isEdfPath(in)) {
    s = openInput(in, ui);
    if (!s) return kExitFile;
  } else {
    std::string reason;
    if (!checkInputFile(in, reason)) {
      reportFailure(reason);
      return kExitFile;
    }
    s = std::make_unique<StudyState>();
    if (!openRecordFile(*s, in, ui)) {
      reportFailure(in + ": " + ui.reason("not a record file (unknown signature)"));
      return kExitFile;
    }
    if (!ui.messages.empty()) reportFailure(ui.reason(""));
    ui.messages.clear();
  }
  Closer closer{*s};
  TerminalProgress progress;
  if (toEdf) {
    if (samePath(in, out)) {
      reportFailure("the output must be another file than the input");
      return kExitUsage;
    }
    if (!exportEdf(*s, out, outExt == ".udf", ui, &progress)) {
      reportFailure(ui.reason("cannot write " + out));
      return kExitFile;
    }
    if (!ui.messages.empty()) reportFailure(ui.reason(""));
    return kExitOk;
  }

  // EDF pages become records of a CA40 file with the file's channel table;
  // each record keeps the time its page starts at.
  RecordFileHeader h;
  h.version = kVersionCA40;
  h.fileDate = s->recordDate > 0 ? static_cast<int>(s->recordDate) : 0;
  const int status = writeRecordsAsCA40(*s, ui, out, h, {}, s->recordCount, "Converting", nullptr);
  if (status == kExitOk && !ui.messages.empty()) reportFailure(ui.reason(""));
  return status;
}

}  // namespace velor::cli
