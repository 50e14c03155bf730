// An emulated network link for the benchmarks: a rate limit on loopback inside
// a network namespace of the benchmark's own, and a forwarding proxy that
// delays every byte by a one-way time in each direction.
//
// The kernel's netem is not at hand, but tbf is: enterShapedNamespace() puts
// the calling process (it must not have started threads yet) into a new
// network namespace, brings its loopback up and shapes it. All traffic of the
// benchmark then stays inside that namespace. The proxy reaches its peer over
// a socket pair, not loopback, so only the client's leg crosses the shaped
// link (which carries both directions, like a half-duplex wire: requests are
// under 1 % of an image reply's bytes).
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace bench {

// unshare(CLONE_NEWNET), "ip link set lo mtu 9000 up", and
// "tc qdisc add dev lo root tbf rate <rate> burst 64kb latency 10ms". False,
// with the reason in *why, when any step fails (then nothing was shaped
// outside the namespace: the namespace comes first).
bool enterShapedNamespace(const std::string &rate, std::string *why);

class DelayProxy {
 public:
  // connectPeer makes a new connection to the peer for each client (an
  // connected descriptor the proxy then owns, or -1).
  DelayProxy(std::function<int()> connectPeer, std::chrono::microseconds oneWay);
  ~DelayProxy();
  DelayProxy(const DelayProxy &) = delete;
  DelayProxy &operator=(const DelayProxy &) = delete;

  std::string address() const { return "127.0.0.1:" + std::to_string(port_); }

 private:
  struct Line;
  void acceptLoop();

  std::function<int()> connectPeer_;
  std::chrono::microseconds oneWay_;
  int listen_ = -1;
  int port_ = 0;
  std::mutex mutex_;
  bool stopping_ = false;
  std::vector<std::unique_ptr<Line>> lines_;
  std::thread acceptor_;
};

}  // namespace bench
