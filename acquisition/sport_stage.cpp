#include "acquisition/sport_stage.h"

#include <algorithm>
#include <cmath>

#include "acquisition/exam_engine.h"
#include "acquisition/exam_texts.h"
#include "core/binio.h"
#include "core/numtext.h"
#include "core/record_file.h"
#include "core/settings.h"

namespace velor {

const char* sportPlanFile(SportStage stage) {
  switch (stage) {
    case SportStage::Trial: return "sport.cap";
    case SportStage::Relaxation: return "sport0.cap";
    case SportStage::Load: return "sport1.cap";
  }
  return "sport.cap";
}

bool startSportStage(StudyState& s, ExaminationPlan& plan, Interaction& ui, SportStage stage, int athletes,
                     const std::string& rawName, std::vector<std::string>& names, int& fd, std::string& path) {
  fd = -1;
  path.clear();
  s.dialogResult = 0;
  const std::string name = trimSpaces(rawName);
  const bool records = stage != SportStage::Trial;
  if (records && name.empty()) {
    ui.message(exam_texts::kEnterRecordName);
    return false;
  }
  // The plan is read into copies so that a refusal below leaves the state.
  const std::string header = s.examHeader;
  ExaminationPlan staged = plan;
  std::string reason;
  if (!readPlanFile(s.programDir + sportPlanFile(stage), s, staged, reason)) {
    ui.message(std::string(kInterruptPrefix) + reason);
    return false;
  }
  staged.interruptMode = true;
  s.examHeader = header;
  s.channelCount = std::clamp(athletes, 1, 6);
  s.shownChannelCount = s.channelCount;
  s.storedLength = s.recordLength;
  if (records) {
    rememberFileName(names, name, kSportFileNames);
    // The file asked about is the file created (the relaxation's own
    // ".cad", the load's "s.cad").
    const std::string target = s.dataDir + name + (stage == SportStage::Load ? "s.cad" : ".cad");
    const int created = createExamFileAtPath(s, target, ui, false);
    if (created < 0) return false;
    fd = created;
    path = target;
    s.recordFileName = baseName(target).substr(0, baseName(target).size() - 4);
  }
  plan = staged;
  s.dialogResult = 1;
  return true;
}

namespace {
// One line of "HRT.tmp": the file and record, then per channel its name and
// the shortest and longest heart rate a minute ("-" without a signal).
std::string heartRateLine(const StudyState& s, const std::string& file, int record,
                          const std::vector<ExpressHeartRate>& rates) {
  std::string line = file + " " + std::to_string(record) + ":";
  for (std::size_t c = 0; c < rates.size() && c < static_cast<std::size_t>(kMaxChannels); ++c) {
    line += " " + trimSpaces(s.channelNames[c]) + "=";
    if (!rates[c].usable) {
      line += "-";
      continue;
    }
    line += std::to_string(static_cast<long>(std::lround(rates[c].minPerMinute))) + "-" +
            std::to_string(static_cast<long>(std::lround(rates[c].maxPerMinute)));
  }
  return line;
}
}  // namespace

bool sportEcgAnalysis(StudyState& s, ExaminationPlan& plan, Interaction& ui, const std::string& rawName,
                      const std::function<void(std::shared_ptr<const ExpressPicture>)>& drawn) {
  const std::string name = trimSpaces(rawName);
  if (name.empty()) {
    ui.message(exam_texts::kEnterRecordName);
    return false;
  }
  ExpressAnalysis ecg;
  ecg.reset();
  constexpr int kEcg = 4;
  int analysed = 0;
  std::vector<std::string> lines;  // "HRT.tmp"
  // The relaxation's one record, then the three after the load.
  const std::pair<std::string, int> files[] = {{name + ".cad", 1}, {name + "s.cad", 3}};
  for (const auto& [file, records] : files) {
    const std::string path = s.dataDir + file;
    if (!fileExists(path)) {
      ui.message(std::string(exam_texts::kNoRecording) + path);
      continue;
    }
    if (!openRecordFile(s, path, ui)) continue;
    s.recordFileName = baseName(path).substr(0, baseName(path).size() - 4);
    for (int r = 1; r <= std::min(records, s.recordCount); ++r) {
      if (r > 1 && !gotoRecord(s, r, ui)) break;
      bool recordingOn = false;
      // The rate limits of the plan when it plans the ECG monitor (another
      // kind's fields mean something else); every channel with a signal.
      const bool limits = plan.expressAnalysisKind % 20 == kEcg;
      ExpressContext ctx{recordingOn, s.recordTime, limits ? plan.expressParameter : 0,
                         limits ? plan.expressThreshold : 0, 0};
      ecg.run(s, kEcg, s.recordLength, ctx);
      ++analysed;
      lines.push_back(heartRateLine(s, file, r, ecg.heartRates()));
      if (drawn) drawn(ecg.picture());
    }
  }
  plan.expressAnalysisKind = 0;
  if (analysed == 0) {
    ui.message(exam_texts::kNoEcgRecords);
    return false;
  }
  if (!s.programDir.empty() && !writeTextLines(s.programDir + kSportHeartRateFile, lines))
    ui.message(std::string(kInterruptPrefix) + exam_texts::kNotWritten + kSportHeartRateFile);
  return true;
}

}  // namespace velor
