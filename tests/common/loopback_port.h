// A TCP socket on 127.0.0.1 at an ephemeral port, for tests that need a
// camera address that does not answer.
//   LoopbackPort refused;      // bound, never listening: connections are refused,
//                              // and no other socket takes the port meanwhile
//   LoopbackPort silent(16);   // listening: the kernel completes connections
//                              // (up to the backlog) that nobody accepts
#pragma once

#include <string>

namespace ocamera_test {

class LoopbackPort {
 public:
  static constexpr int kRefusing = -1;
  // Throws std::runtime_error when no such socket can be had.
  explicit LoopbackPort(int backlog = kRefusing);
  ~LoopbackPort();
  LoopbackPort(const LoopbackPort &) = delete;
  LoopbackPort &operator=(const LoopbackPort &) = delete;

  int fd() const { return fd_; }
  int port() const { return port_; }
  std::string address() const { return "127.0.0.1:" + std::to_string(port_); }

 private:
  int fd_ = -1;
  int port_ = 0;
};

}  // namespace ocamera_test
