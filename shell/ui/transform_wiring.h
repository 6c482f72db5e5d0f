// The main window's ties to "Преобразования" and "Артефакты": the undo copy
// of the record both keep, the file window for the other record files, the
// formula window, the delete window, the generator, the reorganisation, the
// graphs of the filter response and of the comparison, and the "Поиск" step
// window of the artefact cut drawn over the monitor.
#pragma once

namespace velor {
class RecordSnapshot;
}

namespace velor::shell {

class MainWindow;

// Sets the handlers of the transformations and artefacts commands.
void installTransformTools(MainWindow& w);
// The copy of the record taken before the last transformation (nullptr before the install).
RecordSnapshot* transformUndoOf(MainWindow& w);

}  // namespace velor::shell
