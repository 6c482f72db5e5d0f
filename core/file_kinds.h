// Readers and writers of file kinds whose data live in windows: a graph
// window's picture and series, the text window's lines. The window side
// registers them for as long as it exists, and the open and save dispatch
// calls them; without a registration the dispatch says the kind is not
// available.
#pragma once

#include <functional>
#include <string>

#include "core/interaction.h"
#include "core/study_state.h"

namespace velor {

using FileKindHandler = std::function<bool(StudyState& s, const std::string& path, Interaction& ui)>;

// Registers a handler for opening (saving == false) or saving a kind; it is
// removed when the registration goes away. A later registration of the same
// kind takes precedence over an earlier one while both exist.
class FileKindRegistration {
 public:
  FileKindRegistration(int kind, bool saving, FileKindHandler handler);
  ~FileKindRegistration();
  FileKindRegistration(const FileKindRegistration&) = delete;
  FileKindRegistration& operator=(const FileKindRegistration&) = delete;

 private:
  long id_;
};

// The handler in force for a kind, or nullptr.
const FileKindHandler* findFileKindHandler(int kind, bool saving);

}  // namespace velor
