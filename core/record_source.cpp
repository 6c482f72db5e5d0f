#include "core/record_source.h"

namespace velor {

RecordSource* openRecordSource(StudyState& s) {
  RecordSource* r = s.recordSource.get();
  return r && r->isOpen(s) ? r : nullptr;
}

const RecordSource* openRecordSource(const StudyState& s) {
  const RecordSource* r = s.recordSource.get();
  return r && r->isOpen(s) ? r : nullptr;
}

}  // namespace velor
