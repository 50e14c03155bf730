// mox::Thread: owns one background thread running a virtual body.
#pragma once

#include <atomic>
#include <boost/thread/condition.hpp>
#include <boost/thread/mutex.hpp>
#include <boost/thread/thread.hpp>
#include <boost/utility.hpp>

namespace mox {

// The body (run) must return soon after running() turns false. start() and
// stop() may be called from any thread except the body's own; stop() returns
// only after the body has returned. A Thread may be started again afterwards.
class Thread : private boost::noncopyable {
 public:
  Thread();
  void start();
  virtual void stop();

 protected:
  ~Thread();  // stops the body; derived classes must stop it before their own parts go
  virtual void run() = 0;
  // Polled by the body; read without the lock.
  bool running() const { return running_.load(); }
  // Lets a body that decides to end on its own say so before it returns.
  void clearRunning() { running_.store(false); }

 private:
  void wrapper();
  void stopAndWait();

  std::atomic<bool> running_{false};
  bool active_ = false;
  boost::mutex mutex_;
  boost::condition condition_;
  boost::thread *thread_ = nullptr;
};

}  // namespace mox
