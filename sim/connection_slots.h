// The connections open on the simulator's ports: one thread each, at most a
// given number per port. The slots decide whether a new connection is taken
// and join the threads of connections that ended.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <thread>

namespace ocamsim {
namespace detail {

struct Connection;

class ConnectionSlots {
 public:
  // `limit`: connections open at once per port.
  explicit ConnectionSlots(std::size_t limit) : limit_(limit) {}

  // Takes the accepted socket `fd` on `port` when there is room, running
  // `serve` on a thread of its own; otherwise closes it. `make` builds the
  // connection.
  void admit(int fd, unsigned port, const std::function<std::unique_ptr<Connection>()> &make,
             const std::function<void(Connection *)> &serve);
  // Marks a connection's thread as finished (its last act).
  void finished(Connection *c);
  // Joins the threads of finished connections (all of them: shuts every
  // connection down first and waits for them).
  void reap(bool all);
  void closeFd(Connection *c);

  std::size_t accepted() const { return accepted_; }
  std::size_t open() const;
  bool waitForOpen(std::size_t n, int timeoutMs) const;

 private:
  struct Slot {
    std::unique_ptr<Connection> conn;
    std::thread thread;
  };

  const std::size_t limit_;
  mutable std::mutex mutex_;
  mutable std::condition_variable cv_;
  std::list<Slot> slots_;
  std::atomic<std::size_t> accepted_{0};
};

}  // namespace detail
}  // namespace ocamsim
