// A loopback camera that answers from replies held in memory, so that a
// client's figures hold none of a server's work.
//
// It learns its replies first: while a learning upstream (a simulator's
// address) is set, each request whose operation it has not answered yet is
// passed on, and the reply kept, byte for byte, together with the request.
// After freeze() every request is answered with the kept reply of its
// operation, written with one send; the upstream is never asked again and may
// go away. Requests come in either framing (HTTP POST with Content-Length, or
// a bare envelope); connections stay open (keep-alive), one thread each.
#pragma once

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace bench {

class CannedPeer {
 public:
  // `upstream`: "127.0.0.1:port" of the camera to learn from.
  explicit CannedPeer(const std::string &upstream);
  ~CannedPeer();
  CannedPeer(const CannedPeer &) = delete;
  CannedPeer &operator=(const CannedPeer &) = delete;

  int port() const { return port_; }
  std::string address() const { return "127.0.0.1:" + std::to_string(port_); }

  // From now on answers only from memory; an operation never seen is answered
  // by closing the connection.
  void freeze();

  // The last request and the kept reply of `operation` ("scam:setGain"),
  // empty when it never came.
  std::string request(const std::string &operation) const;
  std::string reply(const std::string &operation) const;

  // Requests answered from memory since freeze().
  std::size_t served() const { return served_; }

 private:
  struct Exchange {
    std::string request;
    std::string reply;
  };

  void acceptLoop();
  void serve(int fd);
  // The kept reply, learning it first when allowed; null when there is none.
  std::shared_ptr<const std::string> answer(const std::string &operation,
                                            const std::string &request);
  std::string askUpstream(const std::string &request);

  std::string upstreamHost_;
  int upstreamPort_ = 0;
  int upstreamFd_ = -1;
  int listen_ = -1;
  int port_ = 0;
  std::atomic<bool> frozen_{false};
  std::atomic<bool> stopping_{false};
  std::atomic<std::size_t> served_{0};
  mutable std::mutex mutex_;
  std::map<std::string, std::shared_ptr<const std::string>> replies_;
  std::map<std::string, std::string> requests_;
  std::thread acceptor_;
  std::vector<int> connections_;
  std::vector<std::thread> servers_;
};

// Reads one message (a request or a reply) in either framing from `fd` into
// `message`, with `pending` holding bytes read past the previous one. A reply
// or request with an HTTP header block must carry Content-Length; a bare one
// ends with the envelope's end tag. False when the connection ends first.
bool readMessage(int fd, std::string &pending, std::string &message);

// "prefix:name" of the first element inside the SOAP body of `message`.
std::string operationOf(const std::string &message);

// Plain socket steps the benchmark's peers and clients share. Each throws
// std::runtime_error when the socket cannot be had.
// A listening socket on 127.0.0.1 at an ephemeral port, stored in *port.
int listenLoopback(int *port, const char *who);
// A connection to 127.0.0.1:port with Nagle's delay off.
int connectLoopback(int port);
void noDelay(int fd);
bool sendAll(int fd, const char *p, std::size_t n);

}  // namespace bench
