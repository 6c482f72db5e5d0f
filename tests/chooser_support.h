// A file window for tests: answers from a script instead of a person and
// remembers what it was asked.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "core/file_kinds.h"
#include "core/study_state.h"
#include "shell/main_commands.h"

namespace velor::test {

class ScriptedChooser : public shell::FileChooser {
 public:
  // The path chosen; empty means the person cancelled. When `answers` holds
  // paths they are used instead, front to back, the last one staying.
  std::string answer;
  std::vector<std::string> answers;

  int calls = 0;
  std::vector<int> kinds;  // every kind asked for, in order
  int lastKind = -1;
  bool lastWrite = false;
  std::string dataDirSeen, headerSeen, defaultNameSeen;
  int helpSeen = -1;

  std::optional<std::filesystem::path> choose(StudyState& s, FileKind kind, bool writeMode,
                                              const std::string& defaultName) override {
    ++calls;
    kinds.push_back(fileKindNumber(kind));
    lastKind = fileKindNumber(kind);
    lastWrite = writeMode;
    dataDirSeen = s.dataDir;
    headerSeen = s.examHeader;
    helpSeen = s.helpContext;
    defaultNameSeen = defaultName;
    std::string path = answer;
    if (!answers.empty()) {
      path = answers.front();
      if (answers.size() > 1) answers.erase(answers.begin());
    }
    if (path.empty()) return std::nullopt;
    return std::filesystem::path(path);
  }
};

}  // namespace velor::test
