// Reading the records of the open record file without moving to them.
#pragma once

#include <cstdint>
#include <functional>

#include "core/interaction.h"
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
  long long offset = 0;  // where the record starts in the file
  int recordLength = 0;
  const std::int16_t* const* channels = nullptr;  // the file's channel count of them
  const std::int16_t* mark = nullptr;             // nullptr when the file has none
  // The samples of this record stay where they are while the next record is
  // visited (both were read at once): a visitor may keep pointers into the
  // samples (not into `channels`, which is refilled) of a run of views with
  // this set, up to and including the visit of the first view without it.
  bool samplesStay = false;
};
bool visitStoredRecords(const StudyState& s, int first, int last,
                        const std::function<bool(const StoredRecordView&)>& visit, int& failedAt);

// Makes record `number`, which a walk above found at `offset`, the current
// record as navigation to it would, without checking every record before it
// once more. False (with the message navigation gives) when it cannot be read.
bool moveToStoredRecord(StudyState& s, int number, long long offset, Interaction& ui);

}  // namespace velor
