// Frames and bytes over the last second, in ten buckets of 100 ms, without
// allocating per frame. Not thread-safe: the stream guards it.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>

namespace ocamera {
namespace stream {

class RateMeter {
 public:
  using Clock = std::chrono::steady_clock;

  void add(Clock::time_point now, std::size_t bytes);
  // Frames and bytes per second over the second before now.
  void rates(Clock::time_point now, double &framesPerSecond, double &bytesPerSecond) const;
  void reset();

 private:
  static constexpr int kBuckets = 10;
  static constexpr std::int64_t kBucketMs = 100;
  static std::int64_t tick(Clock::time_point t);

  struct Bucket {
    std::int64_t tick = -1;
    std::uint64_t frames = 0;
    std::uint64_t bytes = 0;
  };
  Bucket buckets_[kBuckets];
};

}  // namespace stream
}  // namespace ocamera
