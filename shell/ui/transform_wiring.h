// The main window's ties to "Преобразования" and "Артефакты": the undo copy
// of the record both keep, the file window for the other record files, the
// formula window, the delete window, the generator, the reorganisation, the
// graphs of the filter response and of the comparison, and the "Поиск" step
// window of the artefact cut drawn over the monitor.
#pragma once

#include <functional>

namespace velor {
class RecordUndo;
}

namespace velor::shell {

class MainWindow;

// Sets the handlers of the transformations and artefacts commands.
void installTransformTools(MainWindow& w);
// The record's own undo (the record editor's; before the monitor exists, one
// kept here). Every window that rewrites the record hands it its copy.
RecordUndo& recordUndoOf(MainWindow& w);
// Runs `work`, which may rewrite the record; when it did, the copy taken
// before goes to the record's undo. Returns what `work` returned.
bool changeRecord(MainWindow& w, const std::function<bool()>& work);

}  // namespace velor::shell
