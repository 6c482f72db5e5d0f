#include "shell/file_dispatch.h"

#include "core/binio.h"
#include "interchange/record_formats.h"
#include "results/text_results.h"
#include "viewer/leads.h"

namespace velor {

namespace {

FileKindTable buildTable() {
  FileKindTable table;
  registerCoreFileKinds(table);
  registerResultsFileKinds(table);
  registerInterchangeFileKinds(table);
  registerViewerFileKinds(table);
  return table;
}

bool dispatch(StudyState& s, FileKind kind, bool saving, const std::string& path, Interaction& ui) {
  const std::string ext = extensionLower(path);
  if (const FileKindHandler* h = findFileKindHandler(kind, saving)) return (*h)(s, path, ui);
  if (const FileKindHandler* h = fileKindTable().find(kind, saving, ext)) return (*h)(s, path, ui);
  return notYetAvailable(ui, kind, ext, saving);
}

}  // namespace

const FileKindTable& fileKindTable() {
  static const FileKindTable table = buildTable();
  return table;
}

bool notYetAvailable(Interaction& ui, FileKind kind, const std::string& extension, bool saving) {
  const std::string what = fileKindCaption(kind, extension);
  ui.message(std::string(saving ? "Запись" : "Чтение") + " (" + what + (extension.empty() ? "" : ", " + extension) +
             ") пока недоступно в этой версии программы.");
  return false;
}

bool openFile(StudyState& s, FileKind kind, const std::string& path, Interaction& ui) {
  return dispatch(s, kind, false, path, ui);
}

bool saveFile(StudyState& s, FileKind kind, const std::string& path, Interaction& ui) {
  return dispatch(s, kind, true, path, ui);
}

}  // namespace velor
