#include "common/loopback_port.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

namespace ocamera_test {

LoopbackPort::LoopbackPort(int backlog) {
  fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof addr;
  if (fd_ < 0 || ::bind(fd_, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0 ||
      ::getsockname(fd_, reinterpret_cast<sockaddr *>(&addr), &length) != 0 ||
      (backlog != kRefusing && ::listen(fd_, backlog) != 0)) {
    if (fd_ >= 0) ::close(fd_);
    throw std::runtime_error("no loopback port");
  }
  port_ = ntohs(addr.sin_port);
}

LoopbackPort::~LoopbackPort() { ::close(fd_); }

}  // namespace ocamera_test
