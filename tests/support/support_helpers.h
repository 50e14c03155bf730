// Helpers shared by the support-layer tests: capturing std::cout written from
// other threads, and a loopback port that refuses connections.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <iostream>
#include <mutex>
#include <stdexcept>
#include <streambuf>
#include <string>

#include "common/loopback_port.h"

namespace support_test {

// Sends everything written to std::cout, from any thread, into a string while
// it lives. Swap the buffer only while no other thread writes.
class CapturedStdout : private std::streambuf {
 public:
  CapturedStdout() : previous_(std::cout.rdbuf(this)) {}
  ~CapturedStdout() override { std::cout.rdbuf(previous_); }
  CapturedStdout(const CapturedStdout &) = delete;
  CapturedStdout &operator=(const CapturedStdout &) = delete;

  std::string text() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return text_;
  }
  // Number of complete lines equal to `line`.
  std::size_t count(const std::string &line) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return countLocked(line);
  }
  // Waits until `line` has been written n times; false after timeoutMs.
  bool waitForCount(const std::string &line, std::size_t n, int timeoutMs) const {
    std::unique_lock<std::mutex> lock(mutex_);
    return written_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                             [&] { return countLocked(line) >= n; });
  }

 private:
  std::size_t countLocked(const std::string &line) const {
    std::size_t n = 0, start = 0;
    for (std::size_t end; (end = text_.find('\n', start)) != std::string::npos; start = end + 1)
      if (text_.compare(start, end - start, line) == 0) ++n;
    return n;
  }
  int_type overflow(int_type c) override {
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    char ch = traits_type::to_char_type(c);
    xsputn(&ch, 1);
    return c;
  }
  std::streamsize xsputn(const char *s, std::streamsize n) override {
    std::lock_guard<std::mutex> lock(mutex_);
    text_.append(s, static_cast<std::size_t>(n));
    written_.notify_all();
    return n;
  }

  std::streambuf *previous_;
  mutable std::mutex mutex_;
  mutable std::condition_variable written_;
  std::string text_;
};

// A loopback port bound but not listening: connections to it are refused, and
// no other socket can take the port while this object lives.
using RefusedPort = ocamera_test::LoopbackPort;

// What gSOAP leaves in a context whose connection was refused.
inline const char *refusedConnectionText() {
  return "SOAP-ENV:Server: Connection refused Details: connect failed in tcp_connect()";
}

}  // namespace support_test
