#include "core/file_kinds.h"

#include <algorithm>
#include <vector>

namespace velor {

namespace {

struct Entry {
  long id;
  int kind;
  bool saving;
  FileKindHandler handler;
};

// Only the interface thread opens and saves files, so no lock.
std::vector<Entry>& registry() {
  static std::vector<Entry> entries;
  return entries;
}

long nextId = 0;

}  // namespace

FileKindRegistration::FileKindRegistration(int kind, bool saving, FileKindHandler handler) : id_(++nextId) {
  registry().push_back(Entry{id_, kind, saving, std::move(handler)});
}

FileKindRegistration::~FileKindRegistration() {
  auto& r = registry();
  r.erase(std::remove_if(r.begin(), r.end(), [this](const Entry& e) { return e.id == id_; }), r.end());
}

const FileKindHandler* findFileKindHandler(int kind, bool saving) {
  const auto& r = registry();
  for (auto it = r.rbegin(); it != r.rend(); ++it)
    if (it->kind == kind && it->saving == saving && it->handler) return &it->handler;
  return nullptr;
}

}  // namespace velor
