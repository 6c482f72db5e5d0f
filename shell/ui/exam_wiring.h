// The examination in the workstation: F9 ("F9=Исследование") shows the plan
// "Исследование" and, after "Старт", runs the acquisition engine on its own
// thread in real time. The interface drains the engine's sweep queue 30
// times a second onto the monitor, shows the status line as the monitor's
// caption and the recording panel in place of the menu; the monitor's keys
// and the panel's buttons post engine commands. Esc, F9, "Stop" or closing
// the window end the examination; the file then opens like any other and
// (unless the window was closing) the plan comes back, as F12 brings it.
#pragma once

#include <functional>
#include <optional>

#include "acquisition/exam_engine.h"

class QToolBar;

namespace velor {
class ExpressDialog;
class PlanDialog;
class RecordFileDialog;
class SportDialog;
}

namespace velor::shell {

class MainWindow;

// First show, after the device: wires F9, the monitor's keys and close.
void startExaminationWiring(MainWindow& w);
// How the plan dialog is run (tests); the default shows it modally.
void setPlanDialogRunner(MainWindow& w, std::function<void(PlanDialog&)> run);
void setSportDialogRunner(MainWindow& w, std::function<void(SportDialog&)> run);
void setExpressDialogRunner(MainWindow& w, std::function<void(ExpressDialog&)> run);
void setRecordFileDialogRunner(MainWindow& w, std::function<void(RecordFileDialog&)> run);
// The running examination's status, or nothing when none runs.
std::optional<ExamStatus> examinationStatus(MainWindow& w);
QToolBar* recordingPanel(MainWindow& w);
// Ends a running examination and waits for the engine's thread.
void stopExamination(MainWindow& w);

}  // namespace velor::shell
