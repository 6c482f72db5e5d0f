// A copy of the record in memory (samples, mark channel, channel table with
// its lead pairs and reference, length and rate) taken before a command changes it, so that the change can be taken
// back whatever the record came from: a ".cad" record, an EDF page or a record
// that was never saved. Re-reading the file could not restore the last two.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "core/study_state.h"

namespace velor {

class RecordSnapshot {
 public:
  // Copies the current record; an earlier copy is dropped.
  void capture(const StudyState& s);
  // Puts the copied record back (samples, marks, channel table, length, rate,
  // record count and the modified flag as they were). False when there is no
  // copy, or when the record in memory is another one now (another file or
  // another record of it), which the copy must not overwrite.
  bool restore(StudyState& s) const;
  bool empty() const { return !taken_; }
  void clear();
  // True when the copy was taken of the record now in memory.
  bool matches(const StudyState& s) const;
  // A digest of what restore puts back (samples, marks, channel table,
  // length, rate, record identity); equal digests mean the same record.
  std::uint64_t fingerprint() const;
  // recordModified as it was when the copy was taken.
  int modifiedWhenTaken() const { return modified_; }

 private:
  struct Channel {
    std::string name;
    std::uint16_t zeroLevel = 0, calibUnits = 0, calibValue = 0;
    std::uint8_t posX = 0, posY = 0;
  };
  bool taken_ = false;
  std::string path_;
  int record_ = 0;
  int length_ = 0, rate_ = 0, channels_ = 0, marks_ = 0, recordCount_ = 0, modified_ = 0;
  int cursor_ = 0, anchor_ = -1;
  int pairCount_ = 0, referenceKind_ = 0;
  std::array<std::array<std::uint8_t, 2>, kMaxLeadPairs> pairs_{};
  std::vector<Channel> table_;
  std::vector<std::int16_t> samples_;  // channel by channel, length_ each
  std::vector<std::int16_t> markSamples_;
};

// The digest RecordSnapshot::fingerprint gives for the record now in memory.
std::uint64_t recordFingerprint(const StudyState& s);

// The record's own undo: the copy taken before the last change that rewrote
// it, and the copy of the record as it was before its first unsaved change
// (what "Восстановить" gives back without reading the file, so it works for
// EDF pages and records never saved). Each command that rewrites the record
// captures a RecordSnapshot first and hands it over once the change is done.
// A copy is only put back while the record is exactly as the last handed-over
// change left it: a change made in between by a path that took no copy, or
// another record in memory, makes the copies stale, and nothing is lost by
// restoring them over it.
class RecordUndo {
 public:
  // `before` was captured just before a change that has now been made.
  void changed(RecordSnapshot before, const StudyState& after);
  // Takes back the last change; false when there is none to take back.
  bool undoLast(StudyState& s);
  // The record as it was before its unsaved changes; false when the copy
  // cannot say (no copy, changes made without one, nothing unsaved).
  bool restoreUnchanged(StudyState& s);
  bool canUndo(const StudyState& s) const;
  void clear();

 private:
  bool current(const StudyState& s) const;
  RecordSnapshot last_;
  RecordSnapshot unchanged_;
  std::uint64_t after_ = 0;  // fingerprint of the record the last change left
  int afterModified_ = 0;    // and its recordModified
};

}  // namespace velor
