// mox::Thread: owns one background thread running a virtual body.
#pragma once

#include <atomic>
#include <boost/thread/condition.hpp>
#include <boost/thread/mutex.hpp>
#include <boost/thread/thread.hpp>
#include <boost/utility.hpp>
#include <memory>

namespace mox {

// The body (run) must return soon after running() turns false. start() may be
// called from any thread but the body's own. stop() returns only after the
// body has returned, except when the body calls it itself: then it only clears
// the running flag. A Thread may be started again afterwards; each start makes a
// new system thread, and the finished one is joined.
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
  // Waits up to ms milliseconds for the running flag to clear (stop() wakes
  // the wait at once); returns running().
  bool sleepFor(int ms);

 private:
  void wrapper();
  void stopAndWait();
  void joinFinished();

  std::atomic<bool> running_{false};
  bool active_ = false;
  unsigned long generation_ = 0;  // counts starts, so stop() waits for its own body only
  boost::mutex mutex_;
  boost::condition condition_;
  std::unique_ptr<boost::thread> thread_;
};

}  // namespace mox
