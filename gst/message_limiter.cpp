#include "message_limiter.h"

namespace ocamerasrc {

bool MessageLimiter::due(int *heldBack) {
  std::lock_guard<std::mutex> lock(m_);
  const auto now = std::chrono::steady_clock::now();
  if (any_ && now - last_ < interval_) {
    ++heldBack_;
    return false;
  }
  any_ = true;
  last_ = now;
  *heldBack = heldBack_;
  heldBack_ = 0;
  return true;
}

bool MessageLimiter::heldBackDue(int *heldBack) {
  std::lock_guard<std::mutex> lock(m_);
  const auto now = std::chrono::steady_clock::now();
  if (heldBack_ == 0 || now - last_ < interval_) return false;
  last_ = now;
  *heldBack = heldBack_;
  heldBack_ = 0;
  return true;
}

void MessageLimiter::reset() {
  std::lock_guard<std::mutex> lock(m_);
  any_ = false;
  heldBack_ = 0;
}

}  // namespace ocamerasrc
