// The connections open on the simulator's ports: one thread each, at most a
// given number per port, shared fairly among the clients. The slots decide
// whether a new connection is taken and join the threads of connections that
// ended.
//
// A port takes a new connection while it has a free slot and the client
// (by address) holds fewer than all but one of them: one slot is always kept
// for another client. Otherwise room is made by closing one connection that
// is waiting for a request (the one idle longest) or, when none is, for the
// rest of one (the one that started longest ago): among the newcomer's own
// connections when it holds its share, else among those of the client that
// holds the most. A connection being served is never closed; when nothing can
// give way, the new connection is closed at once.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace ocamsim {
namespace detail {

struct Connection;

class ConnectionSlots {
 public:
  // `limit`: connections open at once per port.
  explicit ConnectionSlots(std::size_t limit) : limit_(limit) {}

  // Takes the accepted socket `fd` from `client` on `port` when there is (or
  // can be made) room, running `serve` on a thread of its own; otherwise
  // closes it. `make` builds the connection.
  void admit(int fd, unsigned port, const std::string &client,
             const std::function<std::unique_ptr<Connection>()> &make,
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
  // Closes the connection of `client` on `port` that gives way first (see
  // above); false when none can.
  bool evict(unsigned port, const std::string &client);

  const std::size_t limit_;
  mutable std::mutex mutex_;
  mutable std::condition_variable cv_;
  std::list<Slot> slots_;
  std::atomic<std::size_t> accepted_{0};
};

}  // namespace detail
}  // namespace ocamsim
