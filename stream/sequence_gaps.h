// Counting the frames a camera numbered but never delivered, from the sequence
// numbers of the frames that came. Not thread-safe: the stream guards it.
#pragma once

#include <cstdint>

namespace ocamera {
namespace stream {

class SequenceGaps {
 public:
  // The largest gap one frame can account for. A camera whose buffers
  // overflowed skips numbers; one that counts anew (a restart, a reset of its
  // counter, a lying peer) jumps by anything. A jump forward by more than this,
  // a step back or a repeated number is taken as a new count: a reset.
  static constexpr std::uint32_t kLargestGap = 1u << 20;

  // Takes the number of the next frame delivered.
  void add(int seqNr);
  // The next number starts a new count without counting a reset (a new
  // camera object after recovery, a new start).
  void restart() { have_ = false; }

  std::uint64_t missing() const { return missing_; }
  std::uint64_t resets() const { return resets_; }

 private:
  bool have_ = false;
  std::uint32_t last_ = 0;
  std::uint64_t missing_ = 0;
  std::uint64_t resets_ = 0;
};

}  // namespace stream
}  // namespace ocamera
