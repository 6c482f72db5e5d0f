// The live sweep's hand-over from the acquisition side to the interface: a
// single-producer, single-consumer ring of sample columns.
//
// Contract: exactly one thread pushes (the acquisition side, while an
// examination runs) and exactly one thread pops (the interface). push never
// waits and never allocates: when the ring is full the column is dropped and
// counted (dropped()), so a stalled interface can never stall or slow the
// recording — it only misses drawing. The columns are copies; the interface
// never reads the channel buffers the acquisition side writes.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "core/study_state.h"

namespace velor {

struct SweepColumn {
  std::int32_t record = 0;   // 1-based number of the record in the examination
  std::int32_t sample = 0;   // sample index inside the record
  std::int16_t x = 0;        // drawing column of the monitor
  std::int16_t step = 1;     // samples the column stands for (2^displayDecimation)
  bool sweepStart = false;   // the sweep restarted at the left edge before this column
  std::int16_t channels = 0;
  std::int16_t mark = 0;     // the mark channel word
  std::int16_t values[kMaxChannels] = {};
};

class SweepQueue {
 public:
  explicit SweepQueue(std::size_t capacity = 16384)
      : size_(capacity + 1), ring_(std::make_unique<SweepColumn[]>(capacity + 1)) {}

  // Producer only. False (and counted) when the ring is full.
  bool push(const SweepColumn& c) {
    const std::size_t head = head_.load(std::memory_order_relaxed);
    const std::size_t next = head + 1 == size_ ? 0 : head + 1;
    if (next == tail_.load(std::memory_order_acquire)) {
      dropped_.fetch_add(1, std::memory_order_relaxed);
      return false;
    }
    ring_[head] = c;
    head_.store(next, std::memory_order_release);
    return true;
  }
  // Consumer only. False when empty.
  bool pop(SweepColumn& out) {
    const std::size_t tail = tail_.load(std::memory_order_relaxed);
    if (tail == head_.load(std::memory_order_acquire)) return false;
    out = ring_[tail];
    tail_.store(tail + 1 == size_ ? 0 : tail + 1, std::memory_order_release);
    return true;
  }
  long long dropped() const { return dropped_.load(std::memory_order_relaxed); }

 private:
  const std::size_t size_;
  std::unique_ptr<SweepColumn[]> ring_;
  std::atomic<std::size_t> head_{0};
  std::atomic<std::size_t> tail_{0};
  std::atomic<long long> dropped_{0};
};

}  // namespace velor
