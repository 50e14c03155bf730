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
#include <cstdint>
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
  // by closing the connection. Kept replies that carry a frame number have it
  // widened to ten digits: each one sent from memory then carries the next
  // number (counted per peer, as a camera numbers its frames).
  void freeze();

  // Learns the keep-alive of the session the peer opened last ("rdev:open"),
  // as a camera object's own thread sends it later. Before freeze().
  void learnKeepAlive();

  // Serves a connection made elsewhere (one end of a socket pair), as if it
  // had been accepted; the peer closes it.
  void adopt(int fd);

  // The last request and the kept reply of `operation` ("scam:setGain"),
  // empty when it never came.
  std::string request(const std::string &operation) const;
  std::string reply(const std::string &operation) const;

  // Requests answered from memory since freeze().
  std::size_t served() const { return served_; }

 private:
  // A kept reply, and where its frame number's ten digits are (npos: none).
  struct Kept {
    std::string bytes;
    std::size_t number = std::string::npos;
  };

  void acceptLoop();
  void serve(int fd);
  // The kept reply, learning it first when allowed; null when there is none.
  std::shared_ptr<const Kept> answer(const std::string &operation, const std::string &request);
  bool send(int fd, const Kept &reply);
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
  std::map<std::string, std::shared_ptr<const Kept>> replies_;
  std::atomic<std::uint32_t> frameNumber_{1};
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
