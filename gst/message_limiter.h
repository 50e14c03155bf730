// Rate limit of the messages ocamerasrc posts about one kind of event.
#pragma once

#include <chrono>
#include <mutex>

namespace ocamerasrc {

// Lets one message of a kind through per interval and counts the ones held
// back meanwhile. Thread-safe.
class MessageLimiter {
 public:
  explicit MessageLimiter(std::chrono::steady_clock::duration interval) : interval_(interval) {}

  // Whether a message is due now; *heldBack is how many were left out since
  // the last one let through (reset by a true answer).
  bool due(int *heldBack);
  // Whether a message left out is due now (as due(), but counting nothing
  // when it is not).
  bool heldBackDue(int *heldBack);
  void reset();

 private:
  const std::chrono::steady_clock::duration interval_;
  std::mutex m_;
  bool any_ = false;
  std::chrono::steady_clock::time_point last_;
  int heldBack_ = 0;
};

}  // namespace ocamerasrc
