#include "acquisition/sport_stage.h"

#include <algorithm>

#include "acquisition/exam_engine.h"
#include "acquisition/exam_texts.h"
#include "core/binio.h"
#include "core/numtext.h"
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

}  // namespace velor
