// A bound on how long a stretch of a test may take: past it the process stops
// at once with a message naming the stretch, instead of hanging until the
// harness kills it. The library's contexts have no read time-out, so a camera
// that stops answering would otherwise block a call for good.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <utility>

namespace ocamera_test {

class Watchdog {
 public:
  // `beforeAbort` runs first when the bound passes (e.g. to end a child process).
  Watchdog(std::string what, std::chrono::milliseconds bound,
           std::function<void()> beforeAbort = nullptr)
      : what_(std::move(what)), beforeAbort_(std::move(beforeAbort)), thread_([this, bound] {
          std::unique_lock<std::mutex> lock(mutex_);
          if (done_cv_.wait_for(lock, bound, [this] { return done_; })) return;
          std::fprintf(stderr, "%s did not finish within %lld ms\n", what_.c_str(),
                       static_cast<long long>(bound.count()));
          if (beforeAbort_) beforeAbort_();
          std::abort();
        }) {}
  ~Watchdog() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      done_ = true;
    }
    done_cv_.notify_all();
    thread_.join();
  }
  Watchdog(const Watchdog &) = delete;
  Watchdog &operator=(const Watchdog &) = delete;

 private:
  std::string what_;
  std::function<void()> beforeAbort_;
  std::mutex mutex_;
  std::condition_variable done_cv_;
  bool done_ = false;
  std::thread thread_;
};

}  // namespace ocamera_test
