#include "sim/bad_token_guard.h"

#include <algorithm>
#include <cmath>

namespace ocamsim {
namespace detail {
namespace {

// Clients remembered at most; full budgets are forgotten first.
constexpr std::size_t kMaxClients = 4096;

}  // namespace

int BadTokenGuard::delayMs(const std::string &client, Clock::time_point now) {
  if (burst_ <= 0) return 0;
  std::lock_guard<std::mutex> lock(mutex_);
  const auto refill = [&](Budget &b) {
    const double seconds = std::chrono::duration<double>(now - b.at).count();
    b.tokens = std::min(burst_, b.tokens + std::max(0.0, seconds) * rate_);
    b.at = now;
  };
  if (budgets_.size() >= kMaxClients && budgets_.count(client) == 0) {
    for (auto it = budgets_.begin(); it != budgets_.end();) {
      refill(it->second);
      it = it->second.tokens >= burst_ ? budgets_.erase(it) : std::next(it);
    }
    if (budgets_.size() >= kMaxClients) return -1;  // too many guessing clients at once
  }
  auto found = budgets_.find(client);
  if (found == budgets_.end()) found = budgets_.emplace(client, Budget{burst_, now}).first;
  Budget &b = found->second;
  refill(b);
  if (b.tokens >= 1) {
    b.tokens -= 1;
    return 0;
  }
  // The answer waits until the budget has made up for it.
  const double waitMs = (1 - b.tokens) / rate_ * 1000;
  if (waitMs > kLongestDelayMs) return -1;
  b.tokens -= 1;
  return static_cast<int>(std::ceil(waitMs));
}

}  // namespace detail
}  // namespace ocamsim
