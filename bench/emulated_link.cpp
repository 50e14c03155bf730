#include "bench/emulated_link.h"

#include <sched.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <deque>

#include "bench/canned_peer.h"

namespace bench {

bool enterShapedNamespace(const std::string &rate, std::string *why) {
  if (::unshare(CLONE_NEWNET) != 0) {
    *why = std::string("unshare(CLONE_NEWNET): ") + std::strerror(errno) + " (run as root)";
    return false;
  }
  // Jumbo Ethernet frames, as camera networks use: tbf drops a packet larger
  // than its burst, and loopback's own 64 KiB packets are; 1500 would cost
  // this machine's two cores more per byte than the link.
  if (std::system("ip link set lo mtu 9000 up") != 0) {
    *why = "ip link set lo mtu 9000 up failed";
    return false;
  }
  const std::string tc = "tc qdisc add dev lo root tbf rate " + rate + " burst 64kb latency 10ms";
  if (std::system(tc.c_str()) != 0) {
    *why = tc + " failed";
    return false;
  }
  return true;
}

// One direction of one connection: what is read from `from` is written to
// `to` oneWay after it was read.
struct Pipe {
  int from, to;
  std::chrono::microseconds oneWay;
  std::mutex mutex;
  std::condition_variable changed;
  struct Chunk {
    std::chrono::steady_clock::time_point due;
    std::vector<char> bytes;
  };
  std::deque<Chunk> chunks;
  bool ended = false;
  std::thread reader, writer;

  Pipe(int from, int to, std::chrono::microseconds oneWay) : from(from), to(to), oneWay(oneWay) {
    reader = std::thread([this] { read(); });
    writer = std::thread([this] { write(); });
  }
  void read() {
    std::vector<char> block(256 * 1024);
    for (;;) {
      const ssize_t k = ::recv(from, block.data(), block.size(), 0);
      if (k < 0 && errno == EINTR) continue;
      std::lock_guard<std::mutex> lock(mutex);
      if (k <= 0) {
        ended = true;
        changed.notify_all();
        return;
      }
      chunks.push_back(Chunk{std::chrono::steady_clock::now() + oneWay,
                             std::vector<char>(block.data(), block.data() + k)});
      changed.notify_all();
    }
  }
  void write() {
    std::unique_lock<std::mutex> lock(mutex);
    for (;;) {
      changed.wait(lock, [&] { return ended || !chunks.empty(); });
      if (chunks.empty()) break;  // ended
      const auto due = chunks.front().due;
      // The wait is on the clock only: nothing comes before the front chunk.
      lock.unlock();
      std::this_thread::sleep_until(due);
      lock.lock();
      Chunk chunk = std::move(chunks.front());
      chunks.pop_front();
      lock.unlock();
      const bool sent = sendAll(to, chunk.bytes.data(), chunk.bytes.size());
      lock.lock();
      if (!sent) break;
    }
    ::shutdown(to, SHUT_WR);
  }
  void join() {
    reader.join();
    writer.join();
  }
};

struct DelayProxy::Line {
  int client, peer;
  Pipe up, down;
  Line(int client, int peer, std::chrono::microseconds oneWay)
      : client(client), peer(peer), up(client, peer, oneWay), down(peer, client, oneWay) {}
  ~Line() {
    ::shutdown(client, SHUT_RDWR);
    ::shutdown(peer, SHUT_RDWR);
    up.join();
    down.join();
    ::close(client);
    ::close(peer);
  }
};

DelayProxy::DelayProxy(std::function<int()> connectPeer, std::chrono::microseconds oneWay)
    : connectPeer_(std::move(connectPeer)), oneWay_(oneWay) {
  listen_ = listenLoopback(&port_, "delay proxy");
  acceptor_ = std::thread([this] { acceptLoop(); });
}

DelayProxy::~DelayProxy() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  ::shutdown(listen_, SHUT_RDWR);
  acceptor_.join();
  lines_.clear();
  ::close(listen_);
}

void DelayProxy::acceptLoop() {
  for (;;) {
    const int client = ::accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC);
    if (client < 0) return;
    noDelay(client);
    const int peer = connectPeer_();
    std::lock_guard<std::mutex> lock(mutex_);
    if (stopping_ || peer < 0) {
      ::close(client);
      if (peer >= 0) ::close(peer);
      if (stopping_) return;
      continue;
    }
    lines_.push_back(std::make_unique<Line>(client, peer, oneWay_));
  }
}

}  // namespace bench
