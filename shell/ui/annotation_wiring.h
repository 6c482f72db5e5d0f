// The annotation list of the open EDF+ file beside the main window: choosing
// an annotation shows its page in the monitor with the cursor on its sample.
#pragma once

#include "core/interaction.h"
#include "core/study_state.h"

namespace velor {
class AnnotationListDialog;
}

namespace velor::shell {

class MainWindow;

// Opens (or raises and refills) the list; a message instead when no EDF file
// is open or it holds no annotation. Returns the list, or nullptr.
AnnotationListDialog* showAnnotationList(MainWindow& window, StudyState& s, Interaction& ui);

}  // namespace velor::shell
