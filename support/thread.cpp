#include "support/thread.h"

#include <boost/bind/bind.hpp>
#include <boost/date_time/posix_time/posix_time_types.hpp>
#include <chrono>
#include <memory>

namespace mox {
namespace {

// The Thread whose body runs on the calling thread, if any.
thread_local const Thread *currentBody = nullptr;

}  // namespace

Thread::Thread() = default;

Thread::~Thread() {
  stopAndWait();
  boost::mutex::scoped_lock lock(mutex_);
  joinFinished();
}

void Thread::start() {
  boost::mutex::scoped_lock lock(mutex_);
  // A stop is under way: let the previous body return first.
  while (!running_.load() && active_) condition_.wait(lock);
  if (active_) return;  // a worker is already running

  joinFinished();
  running_.store(true);
  active_ = true;
  ++generation_;
  try {
    thread_ = std::make_unique<boost::thread>(boost::bind(&Thread::wrapper, this));
  } catch (...) {
    // No body will run: stay idle so that stop() and the destructor do not
    // wait for one.
    running_.store(false);
    active_ = false;
    condition_.notify_all();
    throw;
  }
}

void Thread::stop() { stopAndWait(); }

void Thread::stopAndWait() {
  boost::mutex::scoped_lock lock(mutex_);
  if (!active_) return;
  running_.store(false);
  condition_.notify_all();          // wakes a body waiting in sleepFor
  if (currentBody == this) return;  // the body cannot wait for itself
  const unsigned long generation = generation_;
  while (active_ && generation_ == generation) condition_.wait(lock);
  if (!active_) joinFinished();
}

bool Thread::sleepFor(int ms) {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(ms);
  boost::mutex::scoped_lock lock(mutex_);
  while (running_.load()) {
    const auto left =
        std::chrono::duration_cast<std::chrono::microseconds>(deadline - Clock::now()).count();
    if (left <= 0) break;
    // A relative wait runs on the monotonic clock; the loop covers early wake-ups.
    condition_.timed_wait(lock, boost::posix_time::microseconds(left));
  }
  return running_.load();
}

void Thread::wrapper() {
  currentBody = this;
  run();
  currentBody = nullptr;
  boost::mutex::scoped_lock lock(mutex_);
  running_.store(false);
  active_ = false;
  condition_.notify_all();
}

// Called with the mutex held and no body running: the previous system thread
// has left the body and only has to exit.
void Thread::joinFinished() {
  if (!thread_) return;
  if (thread_->get_id() == boost::this_thread::get_id())
    thread_->detach();
  else if (thread_->joinable())
    thread_->join();
  thread_.reset();
}

}  // namespace mox
