// The open and save dispatch: a path chosen for a file kind goes to the
// reader or writer in force for it. A window's registration answers first
// (core/file_kinds.h), then the table every subsystem fills through its
// register function; a kind or extension nobody reads or writes gets the one
// "not available" message and nothing changes.
#pragma once

#include <string>

#include "core/file_kinds.h"
#include "core/interaction.h"
#include "core/study_state.h"

namespace velor {

// The table of readers and writers, built on first use by calling the
// register function of every subsystem.
const FileKindTable& fileKindTable();

bool openFile(StudyState& s, FileKind kind, const std::string& path, Interaction& ui);
bool saveFile(StudyState& s, FileKind kind, const std::string& path, Interaction& ui);
// The one message for a format or file kind whose reader or writer is not built
// yet; always returns false so that callers can `return notYetAvailable(...)`.
bool notYetAvailable(Interaction& ui, FileKind kind, const std::string& extension, bool saving);

}  // namespace velor
