// Reading the records of the open record file without moving to them.
#pragma once

#include <cstdint>
#include <functional>

#include "core/study_state.h"

namespace velor {

// The samples of records first..last of the open ".cad" file, one record at a
// time, for analyses that only read them: the state (its buffers, counters,
// current record) and the file position stay as they are. Each record is
// checked as navigation checks it. `visit` returning false stops the walk.
// Returns false when the walk could not go on: `failedAt` is the record that
// could not be read (the records before it were visited), or 0 when the open
// file cannot be walked this way at all (an old CA15 file, a foreign file, a
// channel count in memory other than the file's); the caller then reads the
// records through navigation, which tells the person why.
struct StoredRecordView {
  int number = 0;
  int recordLength = 0;
  const std::int16_t* const* channels = nullptr;  // the file's channel count of them
  const std::int16_t* mark = nullptr;             // nullptr when the file has none
};
bool visitStoredRecords(const StudyState& s, int first, int last,
                        const std::function<bool(const StoredRecordView&)>& visit, int& failedAt);

}  // namespace velor
