#include "common/scripted_peer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <list>
#include <stdexcept>
#include <system_error>

#include "protocol/transport.h"
#include "stdsoap2.h"

namespace ocamera_test {
namespace {

constexpr std::string_view kEnvelopeEnd = "</SOAP-ENV:Envelope>";
constexpr std::string_view kHeaderEnd = "\r\n\r\n";
// A reply that the client does not read must not block the peer for ever.
constexpr int kSendTimeoutSeconds = 5;

[[noreturn]] void throwErrno(const char *what) {
  throw std::system_error(errno, std::generic_category(), what);
}

bool equalsIgnoreCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

std::string_view trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
    s.remove_suffix(1);
  return s;
}

// Finds the header `name` in a block of "Name: value\r\n" lines.
bool findHeader(std::string_view block, std::string_view name, std::string *value) {
  std::size_t pos = 0;
  while (pos < block.size()) {
    std::size_t eol = block.find("\r\n", pos);
    if (eol == std::string_view::npos) eol = block.size();
    std::string_view line = block.substr(pos, eol - pos);
    const std::size_t colon = line.find(':');
    if (colon != std::string_view::npos && equalsIgnoreCase(trim(line.substr(0, colon)), name)) {
      *value = std::string(trim(line.substr(colon + 1)));
      return true;
    }
    pos = eol + 2;
  }
  return false;
}

// Bytes that may trail a bare message (the runtime ends its envelope with a line break).
bool isBlank(char c) { return c == '\r' || c == '\n' || c == ' ' || c == '\t'; }

// Length of the complete request at the start of `buf`, or 0 when more bytes are needed.
// Sets `headerLength` to the size of the HTTP header block (0 for a bare request).
std::size_t completeRequestLength(const std::string &buf, std::size_t *headerLength) {
  *headerLength = 0;
  if (buf.empty()) return 0;
  std::size_t bodyStart = 0;
  const unsigned char first = static_cast<unsigned char>(buf[0]);
  const bool bare = first == '<' || first == 0xEF;  // XML, or a UTF-8 byte-order mark
  if (!bare) {
    const std::size_t end = buf.find(kHeaderEnd);
    if (end == std::string::npos) return 0;
    bodyStart = end + kHeaderEnd.size();
    *headerLength = bodyStart;
    std::string length;
    if (findHeader(std::string_view(buf).substr(0, end + 2), "Content-Length", &length)) {
      char *stop = nullptr;
      const unsigned long long n = std::strtoull(length.c_str(), &stop, 10);
      if (stop == length.c_str() || *stop != '\0') return bodyStart;  // unreadable: header only
      return buf.size() - bodyStart >= n ? bodyStart + n : 0;
    }
  }
  const std::size_t end = buf.find(kEnvelopeEnd, bodyStart);
  if (end == std::string::npos) return 0;
  std::size_t length = end + kEnvelopeEnd.size();
  while (length < buf.size() && isBlank(buf[length])) ++length;
  return length;
}

bool sendAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

}  // namespace

// ---------------------------------------------------------------- requests and replies

std::string PeerRequest::header(std::string_view name) const {
  std::string value;
  findHeader(headers, name, &value);
  return value;
}

std::string PeerRequest::operation() const {
  constexpr std::string_view kBody = "<SOAP-ENV:Body>";
  const std::size_t body = this->body.find(kBody);
  if (body == std::string::npos) return "";
  const std::size_t start = body + kBody.size();
  if (start >= this->body.size() || this->body[start] != '<') return "";
  const std::size_t end = this->body.find_first_of(" />", start + 1);
  if (end == std::string::npos) return "";
  return this->body.substr(start + 1, end - start - 1);
}

std::string PeerRequest::operationElement() const {
  const std::string name = operation();
  if (name.empty()) return "";
  const std::size_t start = body.find("<" + name);
  const std::string endTag = "</" + name + ">";
  const std::size_t end = body.find(endTag, start);
  if (end != std::string::npos) return body.substr(start, end + endTag.size() - start);
  const std::size_t selfClosing = body.find("/>", start);  // <op/>
  return selfClosing == std::string::npos ? "" : body.substr(start, selfClosing + 2 - start);
}

PeerReply PeerReply::raw(std::string bytes) {
  PeerReply reply;
  reply.bytes = std::move(bytes);
  return reply;
}

PeerReply PeerReply::http(std::string envelope) { return raw(httpResponse(envelope)); }

PeerReply PeerReply::closeWithoutReply() { return raw("").thenClose(); }

PeerReply PeerReply::garbage(std::string bytes) { return raw(std::move(bytes)).thenClose(); }

PeerReply PeerReply::truncated(std::string bytes, std::size_t n) {
  PeerReply reply = raw(std::move(bytes)).thenClose();
  reply.sendLimit = n;
  return reply;
}

PeerReply PeerReply::thenClose() && {
  after = After::kClose;
  return std::move(*this);
}

std::string soapEnvelope(std::string_view body) {
  std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<SOAP-ENV:Envelope";
  for (const Namespace *ns = ocamera::wire::namespace_table(); ns->id; ++ns) {
    out += " xmlns:";
    out += ns->id;
    out += "=\"";
    out += ns->ns;
    out += '"';
  }
  out += "><SOAP-ENV:Body>";
  out += body;
  out += "</SOAP-ENV:Body></SOAP-ENV:Envelope>";
  return out;
}

std::string xmlElement(std::string_view name, std::string_view content) {
  std::string out;
  out.reserve(name.size() * 2 + content.size() + 5);
  out.append("<").append(name).append(">").append(content);
  out.append("</").append(name).append(">");
  return out;
}

std::string statusResponse(std::string_view responseName, int status) {
  const std::string_view prefix = responseName.substr(0, responseName.find(':'));
  return xmlElement(responseName,
                    xmlElement(std::string(prefix) + ":status", std::to_string(status)));
}

std::string soapFault(std::string_view faultcode, std::string_view faultstring) {
  return xmlElement("SOAP-ENV:Fault",
                    xmlElement("faultcode", faultcode) + xmlElement("faultstring", faultstring));
}

std::string httpResponse(std::string_view payload, int code, std::string_view reason) {
  std::string out = "HTTP/1.1 " + std::to_string(code) + " ";
  out.append(reason).append("\r\n");
  out += "Content-Type: text/xml; charset=utf-8\r\n";
  out += "Content-Length: " + std::to_string(payload.size()) + "\r\n";
  out += "Connection: keep-alive\r\n\r\n";
  out.append(payload);
  return out;
}

// ---------------------------------------------------------------- the peer

struct ScriptedPeer::Connection {
  int fd = -1;
  std::size_t number = 0;
  std::string buffer;
};

ScriptedPeer::ScriptedPeer() {
  listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (listenFd_ < 0) throwErrno("socket");
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = 0;
  socklen_t len = sizeof addr;
  if (::bind(listenFd_, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0 ||
      ::listen(listenFd_, 16) != 0 ||
      ::getsockname(listenFd_, reinterpret_cast<sockaddr *>(&addr), &len) != 0) {
    const int saved = errno;
    ::close(listenFd_);
    errno = saved;
    throwErrno("binding the scripted peer");
  }
  port_ = ntohs(addr.sin_port);
  wakeFd_ = ::eventfd(0, EFD_CLOEXEC);
  if (wakeFd_ < 0) {
    const int saved = errno;
    ::close(listenFd_);
    errno = saved;
    throwErrno("eventfd");
  }
  thread_ = std::thread([this] { serve(); });
}

ScriptedPeer::~ScriptedPeer() {
  const std::uint64_t one = 1;
  while (::write(wakeFd_, &one, sizeof one) < 0 && errno == EINTR) {
  }
  thread_.join();
  ::close(wakeFd_);
  ::close(listenFd_);
}

std::string ScriptedPeer::bareEndpoint() const { return "127.0.0.1:" + std::to_string(port_); }

std::string ScriptedPeer::httpEndpoint() const {
  return "http://127.0.0.1:" + std::to_string(port_);
}

void ScriptedPeer::enqueue(PeerReply reply) {
  std::lock_guard<std::mutex> lock(mutex_);
  replies_.push_back(std::move(reply));
}

void ScriptedPeer::setFallback(Responder responder) {
  std::lock_guard<std::mutex> lock(mutex_);
  fallback_ = std::move(responder);
}

bool ScriptedPeer::waitForRequests(std::size_t count, std::chrono::milliseconds timeout) const {
  std::unique_lock<std::mutex> lock(mutex_);
  return arrived_.wait_for(lock, timeout, [&] { return requests_.size() >= count; });
}

std::size_t ScriptedPeer::requestCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return requests_.size();
}

PeerRequest ScriptedPeer::request(std::size_t index) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return requests_.at(index);
}

std::vector<PeerRequest> ScriptedPeer::requests() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return requests_;
}

std::size_t ScriptedPeer::connectionCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return connections_;
}

std::size_t ScriptedPeer::pendingReplies() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return replies_.size();
}

void ScriptedPeer::serve() {
  std::list<Connection> open;
  std::vector<pollfd> fds;
  for (;;) {
    fds.clear();
    fds.push_back({wakeFd_, POLLIN, 0});
    fds.push_back({listenFd_, POLLIN, 0});
    for (const Connection &conn : open) fds.push_back({conn.fd, POLLIN, 0});
    if (::poll(fds.data(), fds.size(), -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (fds[0].revents) break;
    // Connections first, in the order they were opened; new ones join afterwards.
    std::size_t i = 2;
    for (auto it = open.begin(); it != open.end(); ++i) {
      if (fds[i].revents && !handleReadable(*it)) {
        ::close(it->fd);
        it = open.erase(it);
      } else {
        ++it;
      }
    }
    if (fds[1].revents & POLLIN) {
      const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
      if (fd >= 0) {
        const timeval limit{kSendTimeoutSeconds, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
        Connection conn;
        conn.fd = fd;
        {
          std::lock_guard<std::mutex> lock(mutex_);
          conn.number = connections_++;
        }
        open.push_back(std::move(conn));
      }
    }
  }
  for (Connection &conn : open) ::close(conn.fd);
}

bool ScriptedPeer::handleReadable(Connection &conn) {
  char chunk[16384];
  const ssize_t n = ::recv(conn.fd, chunk, sizeof chunk, 0);
  if (n < 0 && errno == EINTR) return true;
  if (n <= 0) return false;  // the client closed the connection (or it broke)
  conn.buffer.append(chunk, static_cast<std::size_t>(n));
  for (;;) {
    // Line breaks left over from the end of a bare message belong to no request.
    const std::size_t lead =
        std::find_if_not(conn.buffer.begin(), conn.buffer.end(), isBlank) - conn.buffer.begin();
    conn.buffer.erase(0, lead);
    std::size_t headerLength = 0;
    const std::size_t length = completeRequestLength(conn.buffer, &headerLength);
    if (length == 0) return true;
    PeerRequest request;
    request.raw = conn.buffer.substr(0, length);
    request.headers = request.raw.substr(0, headerLength);
    request.body = request.raw.substr(headerLength);
    request.connection = conn.number;
    conn.buffer.erase(0, length);
    if (!answer(conn, std::move(request))) return false;
  }
}

bool ScriptedPeer::answer(Connection &conn, PeerRequest request) {
  PeerReply reply = PeerReply::closeWithoutReply();
  Responder fallback;
  bool scripted = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    requests_.push_back(request);
    if (!replies_.empty()) {
      reply = std::move(replies_.front());
      replies_.pop_front();
      scripted = true;
    } else {
      fallback = fallback_;
    }
  }
  arrived_.notify_all();
  if (!scripted && fallback) reply = fallback(request);
  const std::string_view bytes =
      std::string_view(reply.bytes).substr(0, std::min(reply.sendLimit, reply.bytes.size()));
  if (!sendAll(conn.fd, bytes)) return false;
  if (reply.after == PeerReply::After::kClose) {
    ::shutdown(conn.fd, SHUT_WR);
    return false;
  }
  return true;
}

}  // namespace ocamera_test
