// Catches the lines the library writes to standard output when a keep-alive
// request fails, with the moment each arrived, and passes all output on.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <iostream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace ocamera_test {

class KeepAliveLines {
 public:
  using Clock = std::chrono::steady_clock;

  KeepAliveLines() {
    std::cout.flush();
    std::fflush(stdout);
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return;
    saved_ = dup(1);
    dup2(fds[1], 1);
    close(fds[1]);
    read_ = fds[0];
    thread_ = std::thread([this] { pump(); });
  }
  ~KeepAliveLines() {
    if (read_ < 0) return;
    std::cout.flush();
    std::fflush(stdout);
    dup2(saved_, 1);  // the last write end of the pipe goes: the pump sees its end
    thread_.join();
    close(read_);
    close(saved_);
  }
  KeepAliveLines(const KeepAliveLines &) = delete;
  KeepAliveLines &operator=(const KeepAliveLines &) = delete;

  // The arrival of the n-th failure line (from 1), once it is there; false
  // when it has not come within `timeout`.
  bool waitFor(std::size_t n, std::chrono::milliseconds timeout, Clock::time_point *at) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (!arrived_.wait_for(lock, timeout, [&] { return times_.size() >= n; })) return false;
    *at = times_[n - 1];
    return true;
  }
  std::size_t count() {
    std::lock_guard<std::mutex> lock(mutex_);
    return times_.size();
  }

 private:
  void pump() {
    std::string line;
    char buf[4096];
    for (;;) {
      const ssize_t n = read(read_, buf, sizeof buf);
      if (n <= 0) break;
      (void)!write(saved_, buf, static_cast<std::size_t>(n));
      for (ssize_t i = 0; i < n; ++i) {
        if (buf[i] != '\n') {
          line += buf[i];
          continue;
        }
        if (line.find("failure keep-alive") != std::string::npos) {
          std::lock_guard<std::mutex> lock(mutex_);
          times_.push_back(Clock::now());
          arrived_.notify_all();
        }
        line.clear();
      }
    }
  }

  int read_ = -1;
  int saved_ = -1;
  std::mutex mutex_;
  std::condition_variable arrived_;
  std::vector<Clock::time_point> times_;
  std::thread thread_;
};

}  // namespace ocamera_test
