#include "core/record_snapshot.h"

#include <algorithm>
#include <cstring>

namespace velor {

namespace {

// A 64-bit digest fed word by word; enough to tell two records apart, not a
// defence against anyone.
class Digest {
 public:
  void add(std::uint64_t v) {
    h_ ^= v + 0x9e3779b97f4a7c15ULL + (h_ << 6) + (h_ >> 2);
    h_ *= 0xff51afd7ed558ccdULL;
  }
  void add(const std::string& t) {
    add(t.size());
    bytes(t.data(), t.size());
  }
  void samples(const std::int16_t* x, int n) { bytes(x, sizeof(std::int16_t) * static_cast<std::size_t>(std::max(0, n))); }
  std::uint64_t value() const { return h_ ^ (h_ >> 29); }

 private:
  void bytes(const void* p, std::size_t n) {
    const auto* b = static_cast<const unsigned char*>(p);
    std::size_t i = 0;
    for (; i + 8 <= n; i += 8) {
      std::uint64_t w;
      std::memcpy(&w, b + i, 8);
      add(w);
    }
    std::uint64_t tail = 0;
    for (std::size_t k = 0; i + k < n; ++k) tail |= static_cast<std::uint64_t>(b[i + k]) << (8 * k);
    add(tail ^ (static_cast<std::uint64_t>(n) << 56));
  }
  std::uint64_t h_ = 0x6a09e667f3bcc908ULL;
};

void addHead(Digest& d, const std::string& path, int record, int length, int rate, int channels, int marks,
             int recordCount, int pairCount, int referenceKind,
             const std::array<std::array<std::uint8_t, 2>, kMaxLeadPairs>& pairs) {
  d.add(path);
  for (int v : {record, length, rate, channels, marks, recordCount, pairCount, referenceKind})
    d.add(static_cast<std::uint64_t>(static_cast<std::int64_t>(v)));
  for (const auto& p : pairs) d.add((static_cast<std::uint64_t>(p[0]) << 8) | p[1]);
}

void addChannel(Digest& d, const std::string& name, std::uint16_t zero, std::uint16_t units, std::uint16_t value,
                std::uint8_t x, std::uint8_t y) {
  d.add(name);
  d.add((static_cast<std::uint64_t>(zero) << 48) | (static_cast<std::uint64_t>(units) << 32) |
        (static_cast<std::uint64_t>(value) << 16) | (static_cast<std::uint64_t>(x) << 8) | y);
}

}  // namespace

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
  pairCount_ = s.leadPairCount;
  referenceKind_ = s.referenceKind;
  pairs_ = s.leadPairs;
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
  s.leadPairCount = pairCount_;
  s.referenceKind = referenceKind_;
  s.leadPairs = pairs_;
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

std::uint64_t RecordSnapshot::fingerprint() const {
  if (!taken_) return 0;
  Digest d;
  addHead(d, path_, record_, length_, rate_, channels_, marks_, recordCount_, pairCount_, referenceKind_, pairs_);
  for (int ch = 0; ch < channels_; ++ch) {
    const Channel& e = table_[static_cast<std::size_t>(ch)];
    addChannel(d, e.name, e.zeroLevel, e.calibUnits, e.calibValue, e.posX, e.posY);
    d.samples(samples_.data() + static_cast<std::size_t>(ch) * static_cast<std::size_t>(length_), length_);
  }
  d.samples(markSamples_.data(), static_cast<int>(markSamples_.size()));
  return d.value();
}

std::uint64_t recordFingerprint(const StudyState& s) {
  const int n = std::clamp(s.recordLength, 0, kMaxSamples);
  const int c = std::clamp(s.channelCount, 0, kMaxChannels);
  Digest d;
  addHead(d, s.recordFilePath, s.currentRecord, n, s.sampleRate, c, s.markChannelCount, s.recordCount,
          s.leadPairCount, s.referenceKind, s.leadPairs);
  for (int ch = 0; ch < c; ++ch) {
    const auto i = static_cast<std::size_t>(ch);
    addChannel(d, s.channelNames[i], s.zeroLevel[ch], s.calibUnits[ch], s.calibValue[ch], s.channelPosX[i],
               s.channelPosY[i]);
    d.samples(s.channelData[i], n);
  }
  d.samples(s.markChannel, s.markChannel && n > 0 ? n : 0);
  return d.value();
}

// --- RecordUndo -----------------------------------------------------------------------------

void RecordUndo::clear() {
  last_.clear();
  unchanged_.clear();
  after_ = 0;
  afterModified_ = 0;
}

bool RecordUndo::current(const StudyState& s) const { return after_ != 0 && recordFingerprint(s) == after_; }

void RecordUndo::changed(RecordSnapshot before, const StudyState& after) {
  if (before.empty()) return;
  // The copy of the unchanged record carries over while every change since
  // it came through here; a record with nothing unsaved is its own unchanged
  // copy; otherwise what it was before its changes is not known here.
  const bool chain = !unchanged_.empty() && after_ != 0 && before.fingerprint() == after_;
  if (!chain) {
    if (before.modifiedWhenTaken() == 0) {
      unchanged_ = before;
    } else {
      unchanged_.clear();
    }
  }
  last_ = std::move(before);
  after_ = recordFingerprint(after);
  afterModified_ = after.recordModified;
}

bool RecordUndo::canUndo(const StudyState& s) const { return !last_.empty() && last_.matches(s) && current(s); }

bool RecordUndo::undoLast(StudyState& s) {
  if (!canUndo(s) || !last_.restore(s)) return false;
  last_.clear();
  after_ = recordFingerprint(s);
  afterModified_ = s.recordModified;
  return true;
}

bool RecordUndo::restoreUnchanged(StudyState& s) {
  if (unchanged_.empty() || !unchanged_.matches(s) || !current(s)) return false;
  // Written to the file since the change: the file holds the record now.
  if (s.recordModified == 0 && afterModified_ != 0) return false;
  if (!unchanged_.restore(s)) return false;
  last_.clear();
  after_ = recordFingerprint(s);
  afterModified_ = s.recordModified;
  return true;
}

}  // namespace velor
