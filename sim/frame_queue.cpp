#include "sim/frame_queue.h"

#include <algorithm>

namespace ocamsim {
namespace detail {

void FrameQueue::stop() {
  open = false;
  owner = 0;
  mode = kStop;
  queue.clear();
  triggers.clear();
}

Clock::duration FrameQueue::period() const {
  const auto rate =
      std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(1.0 / fps));
  if (shutterUs <= kPowerOnShutterUs) return rate;
  return std::max<Clock::duration>(rate, std::chrono::microseconds(shutterUs));
}

void FrameQueue::scheduleTrigger(Clock::time_point now) {
  triggers.push_back(now + std::chrono::microseconds(triggerDelayUs));
}

void FrameQueue::capture(Clock::time_point t) {
  FrameInfo f;
  f.seq = seq++;
  const auto wall =
      std::chrono::duration_cast<std::chrono::system_clock::duration>(t.time_since_epoch()) +
      wallOffset;
  const auto us = std::chrono::duration_cast<std::chrono::microseconds>(wall).count();
  f.sec = us / 1000000;
  f.usec = static_cast<int>(us % 1000000);
  f.window = window;
  f.exposure = static_cast<double>(shutterUs) / kPowerOnShutterUs * gainSixteenths / 16.0;
  if (pictures > 1) {
    const double shown = pictureFps > 0
                             ? std::chrono::duration<double>(t - picturesSince).count() * pictureFps
                             : static_cast<double>(f.seq);
    f.picture = static_cast<int>(static_cast<long long>(std::max(0.0, shown)) % pictures);
  }
  f.noise = noise;
  f.noiseSeed = noiseSeed;
  queue.push_back(f);
  if (static_cast<int>(queue.size()) > maxBuffers) {
    if (overwrite)
      queue.pop_front();
    else
      queue.pop_back();
  }
}

void FrameQueue::advance(Clock::time_point now) {
  if (!open) return;
  if (running() && now >= nextFrameAt) {
    const auto step = period();
    const long long n = (now - nextFrameAt) / step + 1;
    // Only the frames that can end up in the queue are captured; the others
    // still count in the sequence numbers.
    const long long room = maxBuffers;
    long long first = 0, last = n;  // captured: [first, last)
    if (overwrite) {
      first = std::max(0LL, n - room);
    } else {
      last = std::min(n, std::max(0LL, room - static_cast<long long>(queue.size())));
    }
    const int base = seq;
    for (long long i = first; i < last; ++i) {
      seq = base + static_cast<int>(i);
      capture(nextFrameAt + step * i);
    }
    seq = base + static_cast<int>(n);
    nextFrameAt += step * n;
  }
  while (!triggers.empty() && triggers.front() <= now) {
    capture(triggers.front());
    triggers.pop_front();
  }
}

}  // namespace detail
}  // namespace ocamsim
