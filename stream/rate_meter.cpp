// The one-second rate meter.
#include "stream/rate_meter.h"

namespace ocamera {
namespace stream {

std::int64_t RateMeter::tick(Clock::time_point t) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(t.time_since_epoch()).count() /
         kBucketMs;
}

void RateMeter::add(Clock::time_point now, std::size_t bytes) {
  const std::int64_t t = tick(now);
  Bucket &b = buckets_[t % kBuckets];
  if (b.tick != t) b = Bucket{t, 0, 0};
  ++b.frames;
  b.bytes += bytes;
}

void RateMeter::rates(Clock::time_point now, double &framesPerSecond,
                      double &bytesPerSecond) const {
  // The current bucket is partly filled; the nine before it are whole, so the
  // window is a little under a second at worst. It is counted as one second.
  const std::int64_t t = tick(now);
  std::uint64_t frames = 0, bytes = 0;
  for (const Bucket &b : buckets_) {
    if (b.tick > t - kBuckets && b.tick <= t) {
      frames += b.frames;
      bytes += b.bytes;
    }
  }
  framesPerSecond = static_cast<double>(frames);
  bytesPerSecond = static_cast<double>(bytes);
}

void RateMeter::reset() {
  for (Bucket &b : buckets_) b = Bucket{};
}

}  // namespace stream
}  // namespace ocamera
