#include "sim/connection_slots.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>

#include "sim/server.h"

namespace ocamsim {
namespace detail {

void ConnectionSlots::admit(int fd, unsigned port,
                            const std::function<std::unique_ptr<Connection>()> &make,
                            const std::function<void(Connection *)> &serve) {
  std::lock_guard<std::mutex> lock(mutex_);
  const std::size_t onPort =
      static_cast<std::size_t>(std::count_if(slots_.begin(), slots_.end(), [&](const Slot &s) {
        return s.conn->port == port && !s.conn->done;
      }));
  if (onPort >= limit_) {
    ::close(fd);
    return;
  }
  int one = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  ++accepted_;
  slots_.emplace_back();
  Slot &slot = slots_.back();
  slot.conn = make();
  slot.conn->fd = fd;
  slot.conn->port = port;
  slot.thread = std::thread(serve, slot.conn.get());
}

void ConnectionSlots::finished(Connection *c) {
  std::lock_guard<std::mutex> lock(mutex_);
  c->done = true;
}

void ConnectionSlots::reap(bool all) {
  std::list<Slot> ended;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto it = slots_.begin(); it != slots_.end();) {
      if (all && it->conn->fd >= 0) ::shutdown(it->conn->fd, SHUT_RDWR);
      if (it->conn->done || all) {
        auto next = std::next(it);
        ended.splice(ended.end(), slots_, it);
        it = next;
      } else {
        ++it;
      }
    }
  }
  for (Slot &s : ended) s.thread.join();
  if (!ended.empty()) {
    std::lock_guard<std::mutex> lock(mutex_);
    cv_.notify_all();
  }
}

void ConnectionSlots::closeFd(Connection *c) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (c->fd >= 0) {
    ::close(c->fd);
    c->fd = -1;
  }
}

std::size_t ConnectionSlots::open() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return slots_.size();
}

bool ConnectionSlots::waitForOpen(std::size_t n, int timeoutMs) const {
  std::unique_lock<std::mutex> lock(mutex_);
  return cv_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                      [&] { return slots_.size() <= n; });
}

}  // namespace detail
}  // namespace ocamsim
