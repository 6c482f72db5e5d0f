// The stages of the sports diagnostics ("Диагностика"): "Проба" (a trial,
// no file), "Релаксация" (one minute) and "Нагрузка" (post-load records).
// Each reads its plan file from the settings folder ("sport.cap",
// "sport0.cap", "sport1.cap"), takes one channel per athlete and creates the
// record file of the stage: name + ".cad" for the relaxation, name + "s.cad"
// after the load, asking before it replaces one.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "acquisition/exam_express.h"
#include "acquisition/exam_plan.h"
#include "core/interaction.h"
#include "core/study_state.h"

namespace velor {

enum class SportStage : int { Trial = 0, Relaxation = 1, Load = 2 };

// The plan file of a stage.
const char* sportPlanFile(SportStage stage);

// True when the examination can start: the plan, channel count and header
// are set, `dialogResult` is 1 and (stages 1 and 2) the file is created —
// `fd` and `path` (fd −1 for the trial). False when it cannot: no name for
// a stage that records ("Введите имя файла записи"), an unreadable plan, a
// file that cannot be created (each with a message), or No to the question
// before replacing a file (`dialogResult` 0). `names` is the dialog's list of
// 30 file names, updated as the plan's list is.
bool startSportStage(StudyState& s, ExaminationPlan& plan, Interaction& ui, SportStage stage, int athletes,
                     const std::string& name, std::vector<std::string>& names, int& fd, std::string& path);

// "Анализ ЭКГ": the ECG monitor's analysis of the recordings of `name` —
// the relaxation (name + ".cad", its first record), then the first three
// records after the load (name + "s.cad") — each opened as record file in
// turn; `drawn` gets the heart-rate picture after every record, and the
// heart rates go to kSportHeartRateFile in programDir, one line a record:
// file, record number, ":", then per channel " name=min-max" (per minute,
// rounded; "-" for a channel without a signal). Finally
// `expressAnalysisKind` := 0. False with a message when no name is given or
// no record could be analysed (a file that cannot be opened is told and
// skipped).
inline constexpr const char* kSportHeartRateFile = "HRT.tmp";
bool sportEcgAnalysis(StudyState& s, ExaminationPlan& plan, Interaction& ui, const std::string& name,
                      const std::function<void(std::shared_ptr<const ExpressPicture>)>& drawn);

}  // namespace velor
