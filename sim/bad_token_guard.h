// Slows down clients that keep naming sessions that do not exist, so that
// guessing a token does not pay: each client address has a budget of bad
// tokens (a burst, refilled at a steady rate); beyond it each answer waits
// until the budget has room again, and when that would take more than a
// second the connection is closed unanswered. All of a client's connections
// draw on one budget, so more connections do not guess faster.
#pragma once

#include <chrono>
#include <cstddef>
#include <map>
#include <mutex>
#include <string>

namespace ocamsim {
namespace detail {

class BadTokenGuard {
 public:
  using Clock = std::chrono::steady_clock;
  // The longest an answer is held back; beyond it the connection is closed.
  static constexpr int kLongestDelayMs = 1000;

  // `burst` bad tokens at once, `perSecond` after that; burst 0: no limit.
  BadTokenGuard(double burst, double perSecond) : burst_(burst), rate_(perSecond) {}
  // Notes a bad token from `client`: how long to hold its answer back (ms),
  // or -1 to close the connection without an answer.
  int delayMs(const std::string &client, Clock::time_point now);

 private:
  struct Budget {
    double tokens = 0;  // negative: answers already promised for later
    Clock::time_point at;
  };
  const double burst_;
  const double rate_;
  std::mutex mutex_;
  std::map<std::string, Budget> budgets_;
};

}  // namespace detail
}  // namespace ocamsim
