// A camera that drops the connection while a large request is being written
// must fail the call, not end the process with SIGPIPE.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <thread>
#include <vector>

#include "protocol/wire_context.h"

namespace ocamera_test {
namespace {

// Accepts one connection and closes it at once, without reading anything: the
// client's first writes still succeed, the later ones hit a reset connection.
class ClosingListener {
 public:
  ClosingListener() {
    fd_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd_, reinterpret_cast<sockaddr *>(&addr), sizeof addr);
    socklen_t len = sizeof addr;
    getsockname(fd_, reinterpret_cast<sockaddr *>(&addr), &len);
    port_ = ntohs(addr.sin_port);
    listen(fd_, 1);
    thread_ = std::thread([this] {
      int c = accept(fd_, nullptr, nullptr);
      if (c < 0) return;
      close(c);
    });
  }
  ~ClosingListener() {
    shutdown(fd_, SHUT_RDWR);
    close(fd_);
    thread_.join();
  }
  std::string endpoint() const { return "127.0.0.1:" + std::to_string(port_); }

 private:
  int fd_ = -1;
  int port_ = 0;
  std::thread thread_;
};

TEST(DroppedPeer, LargeRequestToAClosedConnectionFailsTheCall) {
  // Restore the default disposition, whatever the test runner set.
  signal(SIGPIPE, SIG_DFL);
  ClosingListener peer;
  WireContext ctx;
  std::vector<unsigned char> payload(8u << 20, 0x5a);
  ocam::xsd__base64Binary data;
  data.__ptr = payload.data();
  data.__size = static_cast<int>(payload.size());
  int status = 123;
  const int rc = ocam::soap_call_scam__writeImageRAM(ctx, peer.endpoint().c_str(), "", 7, data, 0,
                                                     data.__size, status);
  EXPECT_NE(rc, SOAP_OK);
}

}  // namespace
}  // namespace ocamera_test
