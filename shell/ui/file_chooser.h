// The file window as the main window's dispatch uses it: one FileWindow for the
// whole run, so that it keeps its search and selection from one showing to
// the next.
#pragma once

#include <QPointer>
#include <QWidget>

#include "core/interaction.h"
#include "shell/main_commands.h"

namespace velor {
class FileWindow;
}

namespace velor::shell {

class WindowFileChooser final : public FileChooser {
 public:
  WindowFileChooser(StudyState& s, Interaction& ui, QWidget* parent);
  std::optional<std::filesystem::path> choose(StudyState& s, FileKind kind, bool writeMode,
                                              const std::string& defaultName) override;
  FileWindow* window() const { return window_; }

 private:
  FileWindow* window_ = nullptr;  // a child of the main window
};

}  // namespace velor::shell
