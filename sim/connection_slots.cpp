#include "sim/connection_slots.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <vector>

#include "sim/server.h"

namespace ocamsim {
namespace detail {

namespace {

// Whether a connection holds a slot of `port`: not finished, not closed to make room.
bool holds(const Connection &c, unsigned port) {
  return c.port == port && !c.done && c.phase != Connection::kEvicted;
}

}  // namespace

void ConnectionSlots::admit(int fd, unsigned port, const std::string &client,
                            const std::function<std::unique_ptr<Connection>()> &make,
                            const std::function<void(Connection *)> &serve) {
  std::lock_guard<std::mutex> lock(mutex_);
  std::size_t onPort = 0, mine = 0;
  std::map<std::string, std::size_t> perClient;
  for (const Slot &s : slots_) {
    if (!holds(*s.conn, port)) continue;
    ++onPort;
    ++perClient[s.conn->client];
  }
  mine = perClient[client];
  const std::size_t share = limit_ > 1 ? limit_ - 1 : 1;
  if (onPort >= limit_ || mine >= share) {
    // The newcomer's own connections give way when it holds its share, else
    // those of the client holding the most.
    std::string from = client;
    if (mine < share) {
      std::size_t most = 0;
      for (const auto &pc : perClient)
        if (pc.second > most) {
          most = pc.second;
          from = pc.first;
        }
    }
    if (!evict(port, from)) {
      ::close(fd);
      return;
    }
  }
  int one = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  ++accepted_;
  slots_.emplace_back();
  Slot &slot = slots_.back();
  slot.conn = make();
  slot.conn->fd = fd;
  slot.conn->port = port;
  slot.conn->client = client;
  // Until its thread takes over, it waits for its first request.
  slot.conn->phaseSince = std::chrono::steady_clock::now().time_since_epoch().count();
  slot.conn->phase = Connection::kIdle;
  slot.thread = std::thread(serve, slot.conn.get());
}

bool ConnectionSlots::evict(unsigned port, const std::string &client) {
  // Candidates in order: idle longest first, then the oldest unfinished request.
  std::vector<Connection *> candidates;
  for (const Slot &s : slots_) {
    Connection &c = *s.conn;
    if (!holds(c, port) || c.client != client) continue;
    const int phase = c.phase;
    if (phase == Connection::kIdle || phase == Connection::kReceiving) candidates.push_back(&c);
  }
  std::sort(candidates.begin(), candidates.end(), [](Connection *a, Connection *b) {
    const int pa = a->phase, pb = b->phase;
    if (pa != pb) return pa == Connection::kIdle;
    return a->phaseSince < b->phaseSince;
  });
  for (Connection *c : candidates) {
    int phase = c->phase;
    if (phase != Connection::kIdle && phase != Connection::kReceiving) continue;
    // Taken only while it still waits; its thread sees the mark and ends.
    if (!c->phase.compare_exchange_strong(phase, Connection::kEvicted)) continue;
    if (c->fd >= 0) ::shutdown(c->fd, SHUT_RDWR);
    return true;
  }
  return false;
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
