#include "shell/ui/file_chooser.h"

#include "interchange/file_browser.h"
#include "interchange/ui/file_window.h"

namespace velor::shell {

WindowFileChooser::WindowFileChooser(StudyState& s, Interaction& ui, QWidget* parent)
    : window_(new FileWindow(s, ui, parent)) {}

bool WindowFileChooser::choose(StudyState& s, FileKind kind, bool writeMode, const std::string& defaultName) {
  s.dialogResult = 0;
  if (!window_) return false;
  const std::string filter = fileKindFilter(kind, writeMode, s.viewMode == ViewMode::Transform);
  if (filter.empty()) return false;
  return runFileWindow(*window_, writeMode ? 1 : 0, filter, defaultName).has_value();
}

}  // namespace velor::shell
