#include "core/record_snapshot.h"

#include <algorithm>
#include <cstring>

namespace velor {

void RecordSnapshot::clear() {
  taken_ = false;
  table_.clear();
  samples_.clear();
  markSamples_.clear();
}

void RecordSnapshot::capture(const StudyState& s) {
  clear();
  const int n = std::clamp(s.recordLength, 0, kMaxSamples);
  const int c = std::clamp(s.channelCount, 0, kMaxChannels);
  path_ = s.recordFilePath;
  record_ = s.currentRecord;
  length_ = n;
  rate_ = s.sampleRate;
  channels_ = c;
  marks_ = s.markChannelCount;
  recordCount_ = s.recordCount;
  modified_ = s.recordModified;
  cursor_ = s.cursorPos;
  anchor_ = s.selectionAnchor;
  table_.resize(static_cast<std::size_t>(c));
  samples_.resize(static_cast<std::size_t>(c) * static_cast<std::size_t>(n));
  for (int ch = 0; ch < c; ++ch) {
    Channel& e = table_[static_cast<std::size_t>(ch)];
    e.name = s.channelNames[static_cast<std::size_t>(ch)];
    e.zeroLevel = s.zeroLevel[ch];
    e.calibUnits = s.calibUnits[ch];
    e.calibValue = s.calibValue[ch];
    e.posX = s.channelPosX[static_cast<std::size_t>(ch)];
    e.posY = s.channelPosY[static_cast<std::size_t>(ch)];
    if (n > 0)
      std::memcpy(samples_.data() + static_cast<std::size_t>(ch) * static_cast<std::size_t>(n),
                  s.channelData[static_cast<std::size_t>(ch)], sizeof(std::int16_t) * static_cast<std::size_t>(n));
  }
  if (s.markChannel && n > 0) markSamples_.assign(s.markChannel, s.markChannel + n);
  taken_ = true;
}

bool RecordSnapshot::matches(const StudyState& s) const {
  return taken_ && s.recordFilePath == path_ && s.currentRecord == record_;
}

bool RecordSnapshot::restore(StudyState& s) const {
  if (!matches(s)) return false;
  const int n = length_;
  s.recordLength = n;
  s.sampleRate = rate_;
  s.channelCount = channels_;
  s.markChannelCount = marks_;
  s.recordCount = recordCount_;
  s.recordModified = modified_;
  s.cursorPos = std::min(cursor_, std::max(0, n - 1));
  s.selectionAnchor = anchor_ < n ? anchor_ : -1;
  for (int ch = 0; ch < channels_; ++ch) {
    const Channel& e = table_[static_cast<std::size_t>(ch)];
    s.channelNames[static_cast<std::size_t>(ch)] = e.name;
    s.zeroLevel[ch] = e.zeroLevel;
    s.calibUnits[ch] = e.calibUnits;
    s.calibValue[ch] = e.calibValue;
    s.channelPosX[static_cast<std::size_t>(ch)] = e.posX;
    s.channelPosY[static_cast<std::size_t>(ch)] = e.posY;
    if (n > 0)
      std::memcpy(s.channelData[static_cast<std::size_t>(ch)],
                  samples_.data() + static_cast<std::size_t>(ch) * static_cast<std::size_t>(n),
                  sizeof(std::int16_t) * static_cast<std::size_t>(n));
  }
  if (s.markChannel && !markSamples_.empty())
    std::memcpy(s.markChannel, markSamples_.data(), sizeof(std::int16_t) * markSamples_.size());
  return true;
}

}  // namespace velor
