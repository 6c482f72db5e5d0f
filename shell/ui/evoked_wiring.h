// The main window's evoked-potential command ("&7=ВП", and the transformations
// window closing with 7): the window "Анализ ВП" tied to the file window, the
// formula editor, "Фильтрация ERS/ERD", the text window and the monitor; once
// it is confirmed the averaging runs and the monitor shows the result.
#pragma once

#include <functional>

#include "core/interaction.h"
#include "core/study_state.h"
#include "physio/evoked.h"

namespace velor {
class EvokedWindow;
class ErsErdDialog;
}

namespace velor::shell {

class MainWindow;
class FileChooser;

// How the windows are run once they are built; the default shows them modally.
void setEvokedWindowRunner(MainWindow& w, std::function<void(EvokedWindow&)> run);
void setErsErdDialogRunner(MainWindow& w, std::function<void(ErsErdDialog&)> run);
void runEvokedCommand(MainWindow& w, StudyState& s, Interaction& ui, FileChooser* chooser,
                      EvokedMode mode = EvokedMode::Records);

}  // namespace velor::shell
