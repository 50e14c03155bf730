// The camera's acquisition: its mode, triggers and settings, and the queue of
// captured frames waiting to be delivered. Frames are captured lazily: each
// request brings the queue up to the present (advance) before it looks at it.
// Not locked: the model calls it under its own lock.
#pragma once

#include <chrono>
#include <deque>

#include "sim/image_source.h"

namespace ocamsim {
namespace detail {

using Clock = std::chrono::steady_clock;

// Acquisition modes, as on the wire.
enum AcqMode {
  kStop = 1,
  kSingleShot = 2,
  kFreeRun = 3,
  kSelectShot = 4,
  kSlave = 8,
  kSlaveStop = 11
};

// The exposure the camera starts with; brightness is relative to it.
constexpr int kPowerOnShutterUs = 10000;

struct FrameQueue {
  bool open = false;
  int owner = 0;  // the token that opened it
  int maxBuffers = 0;
  int mode = kStop;
  int triggerSource = 1;
  int triggerPolarity = 1;
  int triggerDelayUs = 0;
  int readTimeoutMs = 1000;
  bool overwrite = true;
  int shutterUs = kPowerOnShutterUs;
  int gainSixteenths = 16;  // the analog gain: 16 = 1x
  Window window;
  double fps = 30.0;
  Clock::time_point nextFrameAt;
  std::deque<Clock::time_point> triggers;  // due times of pending captures
  std::deque<FrameInfo> queue;
  int seq = 0;
  // Wall clock minus steady clock, taken once so that time stamps keep the
  // spacing of the frames.
  std::chrono::system_clock::duration wallOffset{};
  // Which picture a frame shows: by sequence number, or by the time since
  // `picturesSince` when pictureFps > 0.
  int pictures = 1;
  double pictureFps = 0;
  Clock::time_point picturesSince;
  int noise = 0;
  std::uint32_t noiseSeed = 0;

  bool running() const { return mode == kFreeRun || mode == kSlave; }
  bool triggered() const { return mode == kSingleShot || mode == kSelectShot; }
  // Ends the acquisition: stopped, queue and pending triggers dropped.
  void stop();
  // Brings the frame queue up to `now`: free-run frames and due triggers.
  void advance(Clock::time_point now);
  // A capture `triggerDelayUs` after `now`.
  void scheduleTrigger(Clock::time_point now);
  // The time between two free-run frames: the frame rate's, or the exposure
  // time when that is longer and beyond the power-on exposure. At or below
  // the power-on exposure the frame rate alone counts, so that fast free-run
  // set-ups (up to 1000 frames/s at the power-on exposure) keep their rate.
  Clock::duration period() const;

 private:
  void capture(Clock::time_point t);
};

}  // namespace detail
}  // namespace ocamsim
