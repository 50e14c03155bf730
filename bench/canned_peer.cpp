#include "bench/canned_peer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <vector>

namespace bench {
namespace {

constexpr const char kEnvelopeEnd[] = "</SOAP-ENV:Envelope>";
constexpr std::size_t kReceiveBlock = 256 * 1024;

// The Content-Length of an HTTP header block, or -1.
long contentLength(const std::string &header) {
  static const char kName[] = "content-length:";
  std::string lower(header);
  for (char &c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  const std::size_t at = lower.find(kName);
  if (at == std::string::npos) return -1;
  return std::strtol(header.c_str() + at + sizeof kName - 1, nullptr, 10);
}

// Appends what one receive brings. The block is the thread's own and reused:
// growing `pending` by a whole block would zero-fill it on every request.
bool receiveMore(int fd, std::string &pending) {
  thread_local std::vector<char> block(kReceiveBlock);
  ssize_t k;
  do k = ::recv(fd, block.data(), block.size(), 0);
  while (k < 0 && errno == EINTR);
  if (k > 0) pending.append(block.data(), static_cast<std::size_t>(k));
  return k > 0;
}

// Widens the frame number of a reply ("SeqNr>123<") to ten digits, fixing
// its Content-Length; returns where the digits are, or npos.
std::size_t widenFrameNumber(std::string &reply) {
  const std::size_t tag = reply.find("SeqNr>");
  if (tag == std::string::npos) return std::string::npos;
  const std::size_t at = tag + 6;
  const std::size_t end = reply.find('<', at);
  if (end == std::string::npos || end - at > 10) return std::string::npos;
  const std::size_t added = 10 - (end - at);
  reply.replace(at, end - at, std::string(10, '0'));
  const std::size_t header = reply.find("\r\n\r\n");
  const std::size_t length = reply.find("Content-Length: ");
  if (header != std::string::npos && length != std::string::npos && length < header) {
    const std::size_t from = length + 16, to = reply.find("\r\n", from);
    const long old = std::strtol(reply.c_str() + from, nullptr, 10);
    const std::string now = std::to_string(old + static_cast<long>(added));
    reply.replace(from, to - from, now);
    return at + now.size() - (to - from);
  }
  return at;
}

}  // namespace

void noDelay(int fd) {
  const int one = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
}

int listenLoopback(int *port, const char *who) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof addr;
  if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0 ||
      ::listen(fd, 64) != 0 || ::getsockname(fd, reinterpret_cast<sockaddr *>(&addr), &len) != 0) {
    if (fd >= 0) ::close(fd);
    throw std::runtime_error(std::string(who) + ": cannot listen");
  }
  *port = ntohs(addr.sin_port);
  return fd;
}

bool sendAll(int fd, const char *p, std::size_t n) {
  while (n > 0) {
    const ssize_t k = ::send(fd, p, n, MSG_NOSIGNAL);
    if (k < 0 && errno == EINTR) continue;
    if (k <= 0) return false;
    p += k;
    n -= static_cast<std::size_t>(k);
  }
  return true;
}

int connectLoopback(int port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(static_cast<std::uint16_t>(port));
  if (fd < 0 || ::connect(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0) {
    if (fd >= 0) ::close(fd);
    throw std::runtime_error("cannot connect to port " + std::to_string(port));
  }
  noDelay(fd);
  return fd;
}

bool readMessage(int fd, std::string &pending, std::string &message) {
  for (;;) {
    if (pending.compare(0, 5, "HTTP/") == 0 || pending.compare(0, 5, "POST ") == 0) {
      const std::size_t end = pending.find("\r\n\r\n");
      if (end != std::string::npos) {
        const long length = contentLength(pending.substr(0, end));
        if (length < 0) return false;
        const std::size_t total = end + 4 + static_cast<std::size_t>(length);
        if (pending.size() >= total) {
          message.assign(pending, 0, total);
          pending.erase(0, total);
          return true;
        }
      }
    } else if (pending.size() >= 5) {
      const std::size_t end = pending.find(kEnvelopeEnd);
      if (end != std::string::npos) {
        std::size_t total = end + sizeof kEnvelopeEnd - 1;
        if (total < pending.size() && pending[total] == '\n') ++total;
        message.assign(pending, 0, total);
        pending.erase(0, total);
        return true;
      }
    }
    if (!receiveMore(fd, pending)) return false;
  }
}

std::string operationOf(const std::string &message) {
  std::size_t at = message.find("Body>");
  if (at == std::string::npos) return std::string();
  at = message.find('<', at);
  if (at == std::string::npos) return std::string();
  const std::size_t end = message.find_first_of(" />", at + 1);
  return message.substr(at + 1, end == std::string::npos ? std::string::npos : end - at - 1);
}

CannedPeer::CannedPeer(const std::string &upstream) {
  const std::size_t colon = upstream.rfind(':');
  upstreamHost_ = upstream.substr(0, colon);
  upstreamPort_ = std::atoi(upstream.c_str() + colon + 1);
  listen_ = listenLoopback(&port_, "canned peer");
  acceptor_ = std::thread([this] { acceptLoop(); });
}

CannedPeer::~CannedPeer() {
  stopping_ = true;
  ::shutdown(listen_, SHUT_RDWR);
  acceptor_.join();
  {
    std::lock_guard<std::mutex> lock(mutex_);
    for (int fd : connections_) ::shutdown(fd, SHUT_RDWR);
  }
  for (auto &t : servers_) t.join();
  for (int fd : connections_) ::close(fd);
  if (upstreamFd_ >= 0) ::close(upstreamFd_);
  ::close(listen_);
}

void CannedPeer::freeze() {
  std::lock_guard<std::mutex> lock(mutex_);
  for (auto &entry : replies_) {
    auto kept = std::make_shared<Kept>(*entry.second);
    kept->number = widenFrameNumber(kept->bytes);
    entry.second = kept;
  }
  frozen_ = true;
  if (upstreamFd_ >= 0) ::close(upstreamFd_);
  upstreamFd_ = -1;
}

std::string CannedPeer::request(const std::string &operation) const {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = requests_.find(operation);
  return it == requests_.end() ? std::string() : it->second;
}

std::string CannedPeer::reply(const std::string &operation) const {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = replies_.find(operation);
  return it == replies_.end() ? std::string() : it->second->bytes;
}

void CannedPeer::acceptLoop() {
  for (;;) {
    const int fd = ::accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) return;
    noDelay(fd);
    std::lock_guard<std::mutex> lock(mutex_);
    if (stopping_) {
      ::close(fd);
      return;
    }
    connections_.push_back(fd);
    servers_.emplace_back([this, fd] { serve(fd); });
  }
}

void CannedPeer::learnKeepAlive() {
  const std::string open = reply("rdev:open");
  const std::size_t at = open.find("token>");
  const int token = at == std::string::npos ? 0 : std::atoi(open.c_str() + at + 6);
  const std::string keep =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<SOAP-ENV:Envelope "
      "xmlns:SOAP-ENV=\"http://schemas.xmlsoap.org/soap/envelope/\" "
      "xmlns:rdev=\"urn:ocamera:vdx/DeviceManager\"><SOAP-ENV:Body>"
      "<rdev:keepAlive><rdev:token>" +
      std::to_string(token) +
      "</rdev:token></rdev:keepAlive></SOAP-ENV:Body></SOAP-ENV:Envelope>\n";
  const int fd = connectLoopback(port_);
  std::string pending, message;
  sendAll(fd, keep.data(), keep.size());
  readMessage(fd, pending, message);
  ::close(fd);
}

void CannedPeer::adopt(int fd) {
  std::lock_guard<std::mutex> lock(mutex_);
  connections_.push_back(fd);
  servers_.emplace_back([this, fd] { serve(fd); });
}

bool CannedPeer::send(int fd, const Kept &reply) {
  if (reply.number == std::string::npos) return sendAll(fd, reply.bytes.data(), reply.bytes.size());
  char digits[11];
  std::snprintf(digits, sizeof digits, "%010u", frameNumber_.fetch_add(1) % 1000000000u);
  const char *p = reply.bytes.data();
  iovec parts[3] = {
      {const_cast<char *>(p), reply.number},
      {digits, 10},
      {const_cast<char *>(p + reply.number + 10), reply.bytes.size() - reply.number - 10}};
  // One call for all of it, as sendAll would; the rest (rare) piece by piece.
  msghdr message{};
  message.msg_iov = parts;
  message.msg_iovlen = 3;
  ssize_t k;
  do k = ::sendmsg(fd, &message, MSG_NOSIGNAL);
  while (k < 0 && errno == EINTR);
  if (k < 0) return false;
  std::size_t sent = static_cast<std::size_t>(k);
  for (const iovec &part : parts) {
    const std::size_t skip = std::min(sent, part.iov_len);
    sent -= skip;
    if (!sendAll(fd, static_cast<const char *>(part.iov_base) + skip, part.iov_len - skip))
      return false;
  }
  return true;
}

void CannedPeer::serve(int fd) {
  std::string pending, message;
  while (readMessage(fd, pending, message)) {
    const auto reply = answer(operationOf(message), message);
    if (!reply || !send(fd, *reply)) break;
  }
  ::shutdown(fd, SHUT_RDWR);
}

std::shared_ptr<const CannedPeer::Kept> CannedPeer::answer(const std::string &operation,
                                                           const std::string &request) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!frozen_) requests_[operation] = request;
  auto it = replies_.find(operation);
  if (frozen_) {
    if (it == replies_.end()) return nullptr;
    ++served_;
    return it->second;
  }
  // Learning: every request goes upstream, so that the camera's state follows
  // the client's; the latest reply is kept.
  std::string reply = askUpstream(request);
  if (reply.empty()) return nullptr;
  auto kept = std::make_shared<const Kept>(Kept{std::move(reply), std::string::npos});
  replies_[operation] = kept;
  return kept;
}

std::string CannedPeer::askUpstream(const std::string &request) {
  try {
    if (upstreamFd_ < 0) upstreamFd_ = connectLoopback(upstreamPort_);
  } catch (const std::exception &) {
    return std::string();
  }
  std::string pending, reply;
  if (!sendAll(upstreamFd_, request.data(), request.size()) ||
      !readMessage(upstreamFd_, pending, reply) || !pending.empty()) {
    ::close(upstreamFd_);
    upstreamFd_ = -1;
    return std::string();
  }
  // A reply that closes the connection is answered as one that keeps it.
  const std::size_t header = reply.find("\r\n\r\n");
  const std::size_t close = reply.find("Connection: close");
  if (close != std::string::npos && close < header) {
    ::close(upstreamFd_);
    upstreamFd_ = -1;
    reply.replace(close, 17, "Connection: keep-alive");
  }
  return reply;
}

}  // namespace bench
