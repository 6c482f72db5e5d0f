#include "shell/ui/file_chooser.h"

#include "interchange/file_browser.h"
#include "interchange/ui/file_window.h"

namespace velor::shell {

WindowFileChooser::WindowFileChooser(StudyState& s, Interaction& ui, QWidget* parent)
    : window_(new FileWindow(s, ui, parent)) {}

std::optional<std::filesystem::path> WindowFileChooser::choose(StudyState& s, FileKind kind, bool writeMode,
                                                               const std::string& defaultName) {
  s.dialogResult = 0;
  if (!window_) return std::nullopt;
  const std::string filter = fileKindFilter(kind, writeMode, s.viewMode == ViewMode::Transform);
  if (filter.empty()) return std::nullopt;
  std::optional<std::string> path = runFileWindow(*window_, writeMode ? 1 : 0, filter, defaultName);
  if (!path) return std::nullopt;
  return std::filesystem::path(*path);
}

}  // namespace velor::shell
