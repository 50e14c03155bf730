// A mox::Thread whose body reports to a probe, for the worker-thread tests.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

#include "support/thread.h"

namespace support_test {

// What the body of a ProbedWorker has done so far.
class Probe {
 public:
  void enter() {
    change([this] { ++entered_; });
  }
  void leave() {
    change([this] { ++returned_; });
  }
  void sawStop() {
    change([this] { ++sawStop_; });
  }
  void openGate() {
    change([this] { gateOpen_ = true; });
  }
  void waitForGate() {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return gateOpen_; });
  }

  int entered() const { return get(entered_); }
  int returned() const { return get(returned_); }

  bool waitEntered(int n, int timeoutMs = 5000) const { return waitFor(entered_, n, timeoutMs); }
  bool waitReturned(int n, int timeoutMs = 5000) const { return waitFor(returned_, n, timeoutMs); }
  bool waitSawStop(int n, int timeoutMs = 5000) const { return waitFor(sawStop_, n, timeoutMs); }

 private:
  template <class F>
  void change(F f) {
    std::lock_guard<std::mutex> lock(mutex_);
    f();
    changed_.notify_all();
  }
  int get(const int &value) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return value;
  }
  bool waitFor(const int &value, int n, int timeoutMs) const {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                             [&] { return value >= n; });
  }

  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  int entered_ = 0, returned_ = 0, sawStop_ = 0;
  bool gateOpen_ = false;
};

enum class Body {
  UntilStopped,    // returns once asked to stop
  ReturnAtOnce,    // returns by itself
  StopsItself,     // calls stop() on its own thread, then returns
  GatedAfterStop,  // once asked to stop, waits for the probe's gate before returning
};

// Does not stop in its own destructor: the body touches only the probe, so the
// base destructor's own stop is what the tests see.
class ProbedWorker : public mox::Thread {
 public:
  ProbedWorker(Probe &probe, Body body) : probe_(probe), body_(body) {}
  using mox::Thread::running;

 protected:
  void run() override {
    Probe &probe = probe_;
    const Body body = body_;
    probe.enter();
    switch (body) {
      case Body::UntilStopped:
        while (sleepFor(60000)) {
        }
        break;
      case Body::ReturnAtOnce:
        break;
      case Body::StopsItself:
        stop();
        break;
      case Body::GatedAfterStop:
        while (sleepFor(60000)) {
        }
        probe.sawStop();
        probe.waitForGate();
        break;
    }
    probe.leave();
  }

 private:
  Probe &probe_;
  const Body body_;
};

}  // namespace support_test
