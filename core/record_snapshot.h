// A copy of the record in memory (samples, mark channel, channel table, length
// and rate) taken before a command changes it, so that the change can be taken
// back whatever the record came from: a ".cad" record, an EDF page or a record
// that was never saved. Re-reading the file could not restore the last two.
#pragma once

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
  std::vector<Channel> table_;
  std::vector<std::int16_t> samples_;  // channel by channel, length_ each
  std::vector<std::int16_t> markSamples_;
};

}  // namespace velor
