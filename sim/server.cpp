// The serving side of the simulator: a listener thread per port, a thread per
// connection running the SOAP dispatcher while the connection is kept alive,
// fault injection and the request log.
#include "sim/server.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <strings.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <deque>
#include <list>
#include <map>
#include <stdexcept>
#include <thread>

#include "ocamH.h"
#include "protocol/base64.h"
#include "protocol/transport.h"
#include "sim/simulator.h"

namespace ocamsim {
namespace detail {

class Server {
 public:
  explicit Server(const Options &options)
      : options_(options),
        model_(options),
        requestLimit_(options.maxRequestBytes
                          ? options.maxRequestBytes
                          : ocamera::wire::base64EncodedLength(options.imageRamSize) +
                                kEnvelopeRoom),
        memoryLimit_(options.maxRequestMemory ? options.maxRequestMemory : 4 * requestLimit_) {}
  ~Server() { stop(); }

  void start();
  void stop();

  const Options &options() const { return options_; }
  Model &model() { return model_; }
  int port(int which) const { return ports_[which]; }

  void inject(const Fault &f) {
    std::lock_guard<std::mutex> lock(faultMutex_);
    faults_.push_back(f);
    faultsPending_ = true;
  }
  void clearFaults() {
    std::lock_guard<std::mutex> lock(faultMutex_);
    faults_.clear();
    faultsPending_ = false;
  }
  std::vector<LogEntry> log() const {
    std::lock_guard<std::mutex> lock(logMutex_);
    return std::vector<LogEntry>(log_.begin(), log_.end());
  }
  void clearLog() {
    std::lock_guard<std::mutex> lock(logMutex_);
    log_.clear();
    counts_.clear();
  }
  std::size_t count(const std::string &op) const {
    std::lock_guard<std::mutex> lock(logMutex_);
    auto it = counts_.find(op);
    return it == counts_.end() ? 0 : it->second;
  }
  bool waitForCount(const std::string &op, std::size_t n, int timeoutMs) const {
    std::unique_lock<std::mutex> lock(logMutex_);
    ++logWaiters_;
    const bool reached = logCv_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
      auto it = counts_.find(op);
      return it != counts_.end() && it->second >= n;
    });
    --logWaiters_;
    return reached;
  }
  std::size_t accepted() const { return accepted_; }
  std::size_t openConnections() const {
    std::lock_guard<std::mutex> lock(connMutex_);
    return conns_.size();
  }
  bool waitForOpenConnections(std::size_t n, int timeoutMs) const {
    std::unique_lock<std::mutex> lock(connMutex_);
    return connCv_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                            [&] { return conns_.size() <= n; });
  }
  void remember(const std::string &op, const std::string &args) {
    std::lock_guard<std::mutex> lock(logMutex_);
    settings_[op] = args;
  }
  std::string lastSetting(const std::string &op) const {
    std::lock_guard<std::mutex> lock(logMutex_);
    auto it = settings_.find(op);
    return it == settings_.end() ? std::string() : it->second;
  }

  // Socket callbacks of the connection contexts.
  static size_t recvHook(struct soap *ctx, char *buf, size_t len);
  static int sendHook(struct soap *ctx, const char *buf, size_t len);
  static int closeHook(struct soap *ctx, SOAP_SOCKET fd);
  static int shutdownHook(struct soap *ctx, SOAP_SOCKET fd, int how);
  static int headerHook(struct soap *ctx, const char *key, const char *value);

  // Room for a request's envelope and arguments beside its largest payload.
  static constexpr std::size_t kEnvelopeRoom = 64 * 1024;
  // Image bytes in the first and in the largest chunk of a reply's text
  // (multiples of 3, so that only the last chunk ends in padding).
  static constexpr std::size_t kFirstChunk = 96 * 1024;
  static constexpr std::size_t kLargestChunk = 768 * 1024;

 private:
  struct Listener {
    int fd = -1;
    unsigned port = 0;
    std::thread thread;
  };
  struct Slot {
    std::unique_ptr<Connection> conn;
    std::thread thread;
  };

  int listenOn(int port, unsigned &bound);
  void acceptLoop(Listener *l);
  void reap(bool all);
  void serve(Connection *c);
  void serveLoop(struct soap *ctx, Connection *c);
  void matchFault(Connection *c);
  void rawReply(Connection *c);
  // Makes the reply of the request just served ready to go out (the image's
  // length counted in); false when it cannot be sent.
  bool prepareReply(Connection *c);
  // Sends it; false when the connection failed.
  bool sendReply(Connection *c);
  static bool sendParts(int fd, struct iovec *parts, int count, int flags);
  void closeFd(Connection *c);
  void record(Connection *c);
  void runSchedule();
  // Receives request bytes, waiting until the connection's time-out: the
  // number received, 0 at the end of the stream or when the time-out passed,
  // -1 on an error (errno).
  ssize_t receive(Connection *c, char *buf, std::size_t len);
  // Takes `total` bytes of request memory for the request of `c` (what it
  // holds so far is counted in); false when the limits do not allow it.
  bool reserve(Connection *c, std::size_t total);
  void release(Connection *c);

  Options options_;
  Model model_;
  bool running_ = false;
  std::atomic<bool> stopping_{false};
  int ports_[2] = {-1, -1};
  std::vector<std::unique_ptr<Listener>> listeners_;
  int wakeFd_ = -1;
  struct soap master_;
  bool masterReady_ = false;
  const std::size_t requestLimit_;
  const std::size_t memoryLimit_;
  std::mutex memoryMutex_;
  std::size_t memoryInUse_ = 0;  // bytes reserved by requests in progress
  int (*origParseHeader_)(struct soap *, const char *, const char *) = nullptr;
  int (*origSend_)(struct soap *, const char *, size_t) = nullptr;

  mutable std::mutex connMutex_;
  mutable std::condition_variable connCv_;
  std::list<Slot> conns_;
  std::atomic<std::size_t> accepted_{0};

  std::mutex faultMutex_;
  std::vector<Fault> faults_;
  // Whether faults_ holds any: a request without faults to match takes no lock.
  std::atomic<bool> faultsPending_{false};

  mutable std::mutex logMutex_;
  mutable std::condition_variable logCv_;
  std::deque<LogEntry> log_;
  std::map<std::string, std::size_t> counts_;
  mutable std::size_t logWaiters_ = 0;  // only then does a request wake anybody
  std::map<std::string, std::string> settings_;

  std::thread scheduler_;
};

namespace {

Connection *conn(struct soap *ctx) { return static_cast<Connection *>(ctx->user); }

// "prefix:name" of the request element, with our own prefix for its
// namespace, written into `op` (whose room is reused from request to request).
void canonicalOperation(struct soap *ctx, std::string &op) {
  const char *tag = ctx->tag;
  const char *colon = std::strchr(tag, ':');
  const char *local = colon ? colon + 1 : tag;
  const char *uri = soap_current_namespace_tag(ctx, tag);
  if (uri) {
    for (const Namespace *ns = ocamera::wire::namespace_table(); ns->id; ++ns) {
      if (ns->ns && std::strcmp(ns->ns, uri) == 0) {
        op.assign(ns->id).append(1, ':').append(local);
        return;
      }
    }
  }
  op.assign(tag);
}

bool faultApplies(FaultKind kind, const std::string &op) {
  switch (kind) {
    case FaultKind::SilentKeepAlive:
      return op == "rdev:keepAlive";
    case FaultKind::TruncateData:
    case FaultKind::PadData:
      return op == "scam:getSingleImage" || op == "scam:readImageRAM" ||
             op == "scam:readImageRAMReducedData";
    case FaultKind::Status:
      return op.compare(0, 5, "rdev:") != 0;
    default:
      return true;
  }
}

// Whether a broken reply leaves its connection open for the next request.
bool keepsOpen(FaultKind k) {
  return k == FaultKind::MalformedXmlKeepOpen || k == FaultKind::UnexpectedElementKeepOpen;
}

const char *kindName(FaultKind k) {
  switch (k) {
    case FaultKind::Delay:
      return "delay";
    case FaultKind::DropBeforeRequest:
      return "drop-before";
    case FaultKind::DropAfterRequest:
      return "drop-after";
    case FaultKind::SoapFault:
      return "soap-fault";
    case FaultKind::MalformedXml:
      return "malformed";
    case FaultKind::UnexpectedElement:
      return "unexpected";
    case FaultKind::TruncateData:
      return "truncate";
    case FaultKind::PadData:
      return "pad";
    case FaultKind::Status:
      return "status";
    case FaultKind::SilentKeepAlive:
      return "silent";
    case FaultKind::MalformedXmlKeepOpen:
      return "malformed-keep-open";
    case FaultKind::UnexpectedElementKeepOpen:
      return "unexpected-keep-open";
    case FaultKind::CostlyAttributes:
      return "costly-attributes";
  }
  return "?";
}

}  // namespace

// ------------------------------------------------------------------ connection hooks

int Connection::begin(struct soap *ctx, int tok) {
  token = tok;
  if (!haveFault) return SOAP_OK;
  switch (fault.kind) {
    case FaultKind::Delay:
      injected = true;
      model->pause(fault.delayMs);
      return SOAP_OK;
    case FaultKind::SoapFault:
      injected = true;
      return soap_receiver_fault(ctx, "simulated fault", nullptr);
    // The camera acts on the request; its reply is swallowed and replaced.
    case FaultKind::DropAfterRequest:
      injected = true;
      action = Action::Drop;
      return SOAP_OK;
    case FaultKind::MalformedXml:
    case FaultKind::MalformedXmlKeepOpen:
      injected = true;
      action = Action::Malformed;
      return SOAP_OK;
    case FaultKind::UnexpectedElement:
    case FaultKind::UnexpectedElementKeepOpen:
      injected = true;
      action = Action::Unexpected;
      return SOAP_OK;
    case FaultKind::CostlyAttributes:
      injected = true;
      action = Action::Costly;
      return SOAP_OK;
    // The camera never gets to the request.
    case FaultKind::SilentKeepAlive:
      injected = true;
      action = Action::Silent;
      return SOAP_STOP;
    default:
      return SOAP_OK;
  }
}

int Connection::answer(int value) {
  if (haveFault && fault.kind == FaultKind::Status) {
    injected = true;
    value = fault.status;
  }
  status = value;
  return value;
}

void Connection::shapePayload(unsigned char *&ptr, int &size) {
  if (!haveFault || fault.bytes <= 0) return;
  if (fault.kind == FaultKind::TruncateData) {
    injected = true;
    size = std::max(0, size - fault.bytes);
  } else if (fault.kind == FaultKind::PadData) {
    injected = true;
    if (image && ptr == image->data()) image->readyAll();  // copied whole
    std::vector<std::uint8_t> padded(static_cast<std::size_t>(size) + fault.bytes, 0x5A);
    if (size > 0) std::memcpy(padded.data(), ptr, size);
    scratch.swap(padded);
    ptr = scratch.data();
    size = static_cast<int>(scratch.size());
  }
}

void Connection::sendBeside(const unsigned char *ptr, int size) {
  payload = ptr;
  payloadSize = size;
}

void Connection::remember(const std::string &arguments) {
  if (status == status::kOk) server->remember(op, arguments);
}

size_t Server::recvHook(struct soap *ctx, char *buf, size_t len) {
  Connection *c = conn(ctx);
  Server *server = c->server;
  // Ending the receive ends the connection: the runtime takes it for EOF.
  const ssize_t got = server->receive(c, buf, len);
  if (got < 0) ctx->errnum = errno;
  if (got <= 0) return 0;
  const size_t n = static_cast<size_t>(got);
  if (n > 0 && c->inBytes == 0) {
    const unsigned char first = static_cast<unsigned char>(buf[0]);
    c->http = !(first == '<' || first == 0xEF);
    c->requestStart = Clock::now();
  }
  c->inBytes += n;
  if (n > 0 && !server->reserve(c, std::max(c->announced, c->inBytes))) return 0;
  return n;
}

int Server::headerHook(struct soap *ctx, const char *key, const char *value) {
  Connection *c = conn(ctx);
  Server *server = c->server;
  if (int rc = server->origParseHeader_(ctx, key, value)) return rc;
  // The body's announced length is held against the limits before it arrives,
  // so that no part of the request is read into memory it may not have.
  if (key && value && strcasecmp(key, "Content-Length") == 0) {
    const unsigned long long length = std::strtoull(value, nullptr, 10);
    if (length > server->requestLimit_) return ctx->error = SOAP_EOF;
    // The header block ends where the runtime stands in its buffer.
    const std::size_t unread = ctx->buflen > ctx->bufidx ? ctx->buflen - ctx->bufidx : 0;
    c->announced = c->inBytes - std::min(unread, c->inBytes) + static_cast<std::size_t>(length);
    if (!server->reserve(c, std::max(c->announced, c->inBytes))) return ctx->error = SOAP_EOF;
  }
  return SOAP_OK;
}

ssize_t Server::receive(Connection *c, char *buf, std::size_t len) {
  const auto deadline =
      c->inBytes == 0 ? c->idleSince + std::chrono::milliseconds(options_.idleTimeoutMs)
                      : c->requestStart + std::chrono::milliseconds(options_.requestTimeoutMs);
  for (;;) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left < 0) return 0;
    // A blocking receive bounded by the socket's receive time-out waits
    // without a poll per request. The time-out is set only when it would
    // outlast the deadline, so a connection keeps one setting while its
    // requests come in time.
    const int wait = static_cast<int>(std::min<long long>(left + 1, 1000));
    if (c->receiveWaitMs == 0 || c->receiveWaitMs > wait) {
      timeval tv{};
      tv.tv_sec = wait / 1000;
      tv.tv_usec = (wait % 1000) * 1000;
      if (::setsockopt(c->fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv) != 0) return -1;
      c->receiveWaitMs = wait;
    }
    const ssize_t n = ::recv(c->fd, buf, len, 0);
    if (n >= 0) return n;
    if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) return -1;
    if (stopping_) return 0;
  }
}

bool Server::reserve(Connection *c, std::size_t total) {
  if (total <= c->reserved) return true;
  std::lock_guard<std::mutex> lock(memoryMutex_);
  const std::size_t more = total - c->reserved;
  if (memoryInUse_ + more > memoryLimit_) return false;
  memoryInUse_ += more;
  c->reserved = total;
  return true;
}

void Server::release(Connection *c) {
  std::lock_guard<std::mutex> lock(memoryMutex_);
  memoryInUse_ -= c->reserved;
  c->reserved = 0;
  c->announced = 0;
}

int Server::sendHook(struct soap *ctx, const char *buf, size_t len) {
  Connection *c = conn(ctx);
  if (c->action != Action::None) return SOAP_OK;  // a fault replaces this reply
  c->outBytes += len;
  c->out.append(buf, len);
  return SOAP_OK;
}

namespace {

constexpr const char kImageEnd[] = "</scam:SingleImageResponse>";
constexpr const char kDataStart[] = "<scam:data>";
constexpr const char kDataEnd[] = "</scam:data>";

// Encodes bytes that come in runs as one base64 text: the one or two bytes at
// the end of a run wait for the next run to make a group of three.
class RunEncoder {
 public:
  explicit RunEncoder(char *out) : out_(out) {}
  void add(const std::uint8_t *p, std::size_t n) {
    if (held_ > 0) {
      while (held_ < 3 && n > 0) {
        group_[held_++] = *p++;
        --n;
      }
      if (held_ < 3) return;
      ocamera::wire::encodeBase64(group_, 3, out_);
      out_ += 4;
      held_ = 0;
    }
    const std::size_t whole = n / 3 * 3;
    ocamera::wire::encodeBase64(p, whole, out_);
    out_ += whole / 3 * 4;
    for (p += whole, n -= whole; n > 0; --n) group_[held_++] = *p++;
  }
  // Writes what is held as the text's last, padded group.
  void finish() {
    if (held_ > 0) ocamera::wire::encodeBase64(group_, held_, out_);
    out_ += held_ > 0 ? 4 : 0;
    held_ = 0;
  }

 private:
  char *out_;
  std::uint8_t group_[3] = {0, 0, 0};
  std::size_t held_ = 0;
};

// Adds `more` to the Content-Length of the header block at the start of
// `reply`; false when there is none.
bool lengthenBy(std::string &reply, std::size_t more) {
  static const char kName[] = "Content-Length: ";
  const std::size_t headerEnd = reply.find("\r\n\r\n");
  const std::size_t at = reply.find(kName);
  if (headerEnd == std::string::npos || at == std::string::npos || at > headerEnd) return false;
  const std::size_t digits = at + sizeof kName - 1;
  const std::size_t end = reply.find("\r\n", digits);
  const unsigned long long length = std::strtoull(reply.c_str() + digits, nullptr, 10);
  reply.replace(digits, end - digits, std::to_string(length + more));
  return true;
}

}  // namespace

// The image payload goes in as the last element of the reply, where the
// runtime would have written it. Here only the header's Content-Length is made
// to count it and the place of the element is found; sendReply encodes the
// text as it goes out.
bool Server::prepareReply(Connection *c) {
  c->split = 0;
  if (c->out.empty() || !c->payload) return true;
  const std::size_t split = c->out.rfind(kImageEnd);
  const std::size_t chars =
      ocamera::wire::base64EncodedLength(static_cast<std::size_t>(c->payloadSize));
  const std::size_t added = sizeof kDataStart - 1 + chars + sizeof kDataEnd - 1;
  if (split == std::string::npos || !lengthenBy(c->out, added)) return false;
  c->split = c->out.rfind(kImageEnd);  // the header may have grown
  c->outBytes += added;
  return true;
}

// An image's text goes out in chunks, each sent as soon as it is encoded, so
// that the client reads and decodes one while the next is encoded. The first
// chunk is small to start the client early; later ones grow, which keeps the
// sends of a large frame to about a dozen.
bool Server::sendReply(Connection *c) {
  if (c->out.empty()) return true;
  if (!c->payload) {
    struct iovec part = {&c->out[0], c->out.size()};
    return sendParts(c->fd, &part, 1, 0);
  }
  if (!c->text) c->text.reset(new char[ocamera::wire::base64EncodedLength(kLargestChunk)]);
  const std::size_t total = static_cast<std::size_t>(c->payloadSize);
  // A frame is read chunk by chunk, just before it is encoded: straight from
  // the scene, or rendered then.
  Frame *const frame = c->image && c->payload == c->image->data() ? c->image.get() : nullptr;
  std::size_t done = 0;
  std::size_t chunk = kFirstChunk;
  do {
    const std::size_t n = std::min(chunk, total - done);
    const bool last = done + n == total;
    if (frame) {
      RunEncoder text(c->text.get());
      frame->read(done, done + n, [&](const std::uint8_t *p, std::size_t k) { text.add(p, k); });
      text.finish();
    } else {
      ocamera::wire::encodeBase64(c->payload + done, n, c->text.get());
    }
    struct iovec parts[5];
    int count = 0;
    if (done == 0) {
      parts[count++] = {&c->out[0], c->split};
      parts[count++] = {const_cast<char *>(kDataStart), sizeof kDataStart - 1};
    }
    parts[count++] = {c->text.get(), ocamera::wire::base64EncodedLength(n)};
    if (last) {
      parts[count++] = {const_cast<char *>(kDataEnd), sizeof kDataEnd - 1};
      parts[count++] = {&c->out[c->split], c->out.size() - c->split};
    }
    if (!sendParts(c->fd, parts, count, last ? 0 : MSG_MORE)) return false;
    done += n;
    chunk = std::min(2 * chunk, kLargestChunk);
  } while (done < total);
  return true;
}

bool Server::sendParts(int fd, struct iovec *parts, int count, int flags) {
  while (count > 0) {
    msghdr msg{};
    msg.msg_iov = parts;
    msg.msg_iovlen = static_cast<std::size_t>(count);
    ssize_t k = ::sendmsg(fd, &msg, MSG_NOSIGNAL | flags);
    if (k < 0 && errno == EINTR) continue;
    if (k <= 0) return false;
    while (count > 0 && static_cast<std::size_t>(k) >= parts->iov_len) {
      k -= static_cast<ssize_t>(parts->iov_len);
      ++parts;
      --count;
    }
    if (count > 0) {
      parts->iov_base = static_cast<char *>(parts->iov_base) + k;
      parts->iov_len -= static_cast<std::size_t>(k);
    }
  }
  return true;
}

int Server::shutdownHook(struct soap *, SOAP_SOCKET, int) { return SOAP_OK; }

int Server::closeHook(struct soap *ctx, SOAP_SOCKET) {
  // The reply still has to go out; the connection loop closes afterwards.
  conn(ctx)->closeRequested = true;
  return SOAP_OK;
}

void Server::closeFd(Connection *c) {
  std::lock_guard<std::mutex> lock(connMutex_);
  if (c->fd >= 0) {
    ::close(c->fd);
    c->fd = -1;
  }
}

// ------------------------------------------------------------------ start, stop

int Server::listenOn(int port, unsigned &bound) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
  addrinfo *res = nullptr;
  const std::string service = std::to_string(port);
  const char *host = options_.bindAddress.empty() ? nullptr : options_.bindAddress.c_str();
  if (int rc = getaddrinfo(host, service.c_str(), &hints, &res))
    throw std::runtime_error("ocamsim: cannot resolve " + options_.bindAddress + ": " +
                             gai_strerror(rc));
  int fd = -1;
  std::string error = "no address";
  for (addrinfo *ai = res; ai; ai = ai->ai_next) {
    fd = ::socket(ai->ai_family, ai->ai_socktype | SOCK_CLOEXEC, ai->ai_protocol);
    if (fd < 0) continue;
    int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (::bind(fd, ai->ai_addr, ai->ai_addrlen) == 0 && ::listen(fd, 128) == 0) break;
    error = std::strerror(errno);
    ::close(fd);
    fd = -1;
  }
  freeaddrinfo(res);
  if (fd < 0)
    throw std::runtime_error("ocamsim: cannot listen on " + options_.bindAddress + ":" + service +
                             ": " + error);
  sockaddr_storage ss{};
  socklen_t len = sizeof ss;
  ::getsockname(fd, reinterpret_cast<sockaddr *>(&ss), &len);
  bound = ss.ss_family == AF_INET6 ? ntohs(reinterpret_cast<sockaddr_in6 *>(&ss)->sin6_port)
                                   : ntohs(reinterpret_cast<sockaddr_in *>(&ss)->sin_port);
  return fd;
}

void Server::start() {
  if (running_) return;
  stopping_ = false;
  model_.resume();
  std::vector<std::unique_ptr<Listener>> ls;
  int ports[2] = {-1, -1};
  const int wanted[2] = {options_.cameraPort, options_.ioPort};
  try {
    for (int i = 0; i < 2; ++i) {
      if (wanted[i] < 0) continue;
      auto l = std::make_unique<Listener>();
      l->fd = listenOn(wanted[i], l->port);
      ports[i] = static_cast<int>(l->port);
      ls.push_back(std::move(l));
    }
  } catch (...) {
    for (auto &l : ls) ::close(l->fd);
    throw;
  }
  wakeFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (!masterReady_) {
    // Replies are stored whole before they go out (the send hook collects them
    // anyway), so the runtime writes each once instead of counting its length
    // in a first pass; the bytes on the wire are the same.
    soap_init2(&master_, SOAP_IO_KEEPALIVE, SOAP_IO_KEEPALIVE | SOAP_IO_STORE);
    ocamera::wire::configure(&master_);
    origSend_ = master_.fsend;
    origParseHeader_ = master_.fparsehdr;
    masterReady_ = true;
  }
  ports_[0] = ports[0];
  ports_[1] = ports[1];
  listeners_ = std::move(ls);
  running_ = true;
  for (auto &l : listeners_) l->thread = std::thread(&Server::acceptLoop, this, l.get());
  if (!options_.inputSchedule.empty()) scheduler_ = std::thread(&Server::runSchedule, this);
}

void Server::stop() {
  if (!running_) return;
  stopping_ = true;
  model_.shutdown();
  const std::uint64_t one = 1;
  (void)!::write(wakeFd_, &one, sizeof one);
  for (auto &l : listeners_) {
    if (l->thread.joinable()) l->thread.join();
    ::close(l->fd);
  }
  listeners_.clear();
  {
    std::lock_guard<std::mutex> lock(connMutex_);
    for (Slot &s : conns_)
      if (s.conn->fd >= 0) ::shutdown(s.conn->fd, SHUT_RDWR);
  }
  reap(true);
  if (scheduler_.joinable()) scheduler_.join();
  ::close(wakeFd_);
  wakeFd_ = -1;
  if (masterReady_) {
    soap_done(&master_);
    masterReady_ = false;
  }
  running_ = false;
}

void Server::reap(bool all) {
  std::list<Slot> finished;
  {
    std::unique_lock<std::mutex> lock(connMutex_);
    for (auto it = conns_.begin(); it != conns_.end();) {
      if (it->conn->done || all) {
        auto next = std::next(it);
        finished.splice(finished.end(), conns_, it);
        it = next;
      } else {
        ++it;
      }
    }
  }
  for (Slot &s : finished) s.thread.join();
  if (!finished.empty()) {
    std::lock_guard<std::mutex> lock(connMutex_);
    connCv_.notify_all();
  }
}

void Server::acceptLoop(Listener *l) {
  pollfd fds[2] = {{l->fd, POLLIN, 0}, {wakeFd_, POLLIN, 0}};
  while (!stopping_) {
    const int n = ::poll(fds, 2, 200);
    if (stopping_) break;
    if (n < 0 && errno != EINTR) break;
    if (fds[1].revents & POLLIN) {
      std::uint64_t v;
      (void)!::read(wakeFd_, &v, sizeof v);
    }
    reap(false);
    if (!(fds[0].revents & POLLIN)) continue;
    const int fd = ::accept4(l->fd, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    std::lock_guard<std::mutex> lock(connMutex_);
    const std::size_t onPort =
        static_cast<std::size_t>(std::count_if(conns_.begin(), conns_.end(), [&](const Slot &s) {
          return s.conn->port == l->port && !s.conn->done;
        }));
    if (onPort >= options_.maxConnections) {
      ::close(fd);
      continue;
    }
    int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    ++accepted_;
    conns_.emplace_back();
    Slot &slot = conns_.back();
    slot.conn = std::make_unique<Connection>();
    slot.conn->server = this;
    slot.conn->model = &model_;
    slot.conn->fd = fd;
    slot.conn->port = l->port;
    slot.thread = std::thread(&Server::serve, this, slot.conn.get());
  }
}

// ------------------------------------------------------------------ serving

void Server::serve(Connection *c) {
  struct soap *ctx = soap_copy(&master_);
  if (ctx) {
    ctx->user = c;
    ctx->socket = c->fd;
    ctx->frecv = &Server::recvHook;
    ctx->fsend = &Server::sendHook;
    // The connection loop closes the socket once the reply is out.
    ctx->fclosesocket = &Server::closeHook;
    ctx->fshutdownsocket = &Server::shutdownHook;
    ctx->fparsehdr = &Server::headerHook;
    ctx->socket_flags = MSG_NOSIGNAL;
    ctx->recv_maxlength = requestLimit_;
    ctx->max_keep_alive = 0;  // no limit on requests per connection
    serveLoop(ctx, c);
    release(c);
    closeFd(c);
    ctx->socket = SOAP_INVALID_SOCKET;
    soap_destroy(ctx);
    soap_end(ctx);
    soap_free(ctx);
  }
  closeFd(c);
  {
    std::lock_guard<std::mutex> lock(connMutex_);
    c->done = true;
  }
  const std::uint64_t one = 1;
  (void)!::write(wakeFd_, &one, sizeof one);
}

void Server::serveLoop(struct soap *ctx, Connection *c) {
  ctx->keep_alive = 1;
  while (!stopping_) {
    c->op.clear();
    c->token = 0;
    c->status = 0;
    c->injected = false;
    c->haveFault = false;
    c->action = Action::None;
    c->inBytes = 0;
    c->outBytes = 0;
    release(c);
    c->idleSince = Clock::now();
    c->out.clear();
    c->payload = nullptr;
    c->payloadSize = 0;
    c->image.reset();
    if (soap_begin_serve(ctx)) break;
    if (soap_peek_element(ctx) == SOAP_OK) canonicalOperation(ctx, c->op);
    matchFault(c);
    if (c->haveFault && c->fault.kind == FaultKind::DropBeforeRequest) {
      c->injected = true;
      record(c);
      break;
    }
    const int err = ocam::soap_serve_request(ctx);
    if (err && err < SOAP_STOP && c->action == Action::None) soap_send_fault(ctx);
    bool keep = !c->closeRequested && soap_valid_socket(ctx->socket) && ctx->keep_alive;
    switch (c->action) {
      case Action::None:
        break;
      case Action::Drop:
        keep = false;
        break;
      case Action::Malformed:
      case Action::Unexpected:
      case Action::Costly:
        rawReply(c);
        if (!keepsOpen(c->fault.kind)) keep = false;
        break;
      case Action::Silent: {
        record(c);
        // Read and ignore whatever comes until the peer or stop() ends it
        // (the socket's receive time-out only wakes the loop).
        char buf[4096];
        for (;;) {
          const ssize_t k = ::recv(c->fd, buf, sizeof buf, 0);
          if (k > 0 ||
              (k < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) && !stopping_))
            continue;
          break;
        }
        c->op.clear();
        keep = false;
        break;
      }
    }
    const bool prepared = prepareReply(c);
    if (!prepared) keep = false;
    if (!c->op.empty()) record(c);
    if (prepared && !sendReply(c)) keep = false;
    c->image.reset();
    // The request's objects and memory go; the runtime's temporary tables
    // are cleared by the next soap_begin_serve (soap_end would clear them
    // once more per request).
    soap_destroy(ctx);
    soap_dealloc(ctx, nullptr);
    if (!keep) break;
  }
}

void Server::matchFault(Connection *c) {
  if (!faultsPending_) return;
  std::lock_guard<std::mutex> lock(faultMutex_);
  for (auto it = faults_.begin(); it != faults_.end(); ++it) {
    if (!it->operation.empty() && it->operation != c->op) continue;
    if (!faultApplies(it->kind, c->op)) continue;
    c->fault = *it;
    c->haveFault = true;
    if (it->count > 0 && --it->count == 0) {
      faults_.erase(it);
      faultsPending_ = !faults_.empty();
    }
    return;
  }
}

void Server::rawReply(Connection *c) {
  const std::string::size_type colon = c->op.find(':');
  const std::string prefix = colon == std::string::npos ? "scam" : c->op.substr(0, colon);
  std::string uri = "urn:vdx";
  for (const Namespace *ns = ocamera::wire::namespace_table(); ns->id; ++ns)
    if (prefix == ns->id) uri = ns->ns;
  std::string body =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<SOAP-ENV:Envelope xmlns:SOAP-ENV=\"http://schemas.xmlsoap.org/soap/envelope/\" xmlns:" +
      prefix + "=\"" + uri + "\"><SOAP-ENV:Body>";
  // A reply that keeps its connection open is made longer than a client's
  // receive buffer, so most of it is still unread when the client gives up.
  const std::string filler(keepsOpen(c->fault.kind) ? 256 * 1024 : 0, ' ');
  if (c->action == Action::Costly) {
    // The reply's own element, under as many attributes and declarations as
    // asked for.
    const std::string name = c->op + "Response";
    const int count = c->fault.bytes > 0 ? c->fault.bytes : 100000;
    body += "<" + name;
    for (int i = 0; i < count; ++i)
      body += (i % 2 ? " xmlns:n" : " a") + std::to_string(i) + "=\"" + std::to_string(i) + "\"";
    body += "><" + prefix + ":status>0</" + prefix + ":status></" + name +
            "></SOAP-ENV:Body></SOAP-ENV:Envelope>\n";
  } else if (c->action == Action::Unexpected) {
    // A well-formed reply under a name the client does not expect.
    const std::string name = c->op == "scam:getSingleImage" ? c->op + "Response" : c->op + "Result";
    body += "<" + name + "><" + prefix + ":status>0</" + prefix + ":status>" + filler + "</" +
            name + "></SOAP-ENV:Body></SOAP-ENV:Envelope>\n";
  } else {
    // Not well-formed: a broken entity, mismatched tags, and no end.
    body += "<" + c->op + "Response><" + prefix + ":status>0&bogus" + filler + "</" + prefix +
            ":stat<<>";
  }
  std::string out;
  if (c->http) {
    out =
        "HTTP/1.1 200 OK\r\nServer: ocamsim\r\nContent-Type: text/xml; charset=utf-8\r\n"
        "Content-Length: " +
        std::to_string(body.size()) +
        "\r\nConnection: " + (keepsOpen(c->fault.kind) ? "keep-alive" : "close") + "\r\n\r\n";
  }
  out += body;
  c->outBytes = out.size();
  c->payload = nullptr;
  c->out = std::move(out);
}

void Server::record(Connection *c) {
  LogEntry e;
  e.operation = c->op;
  e.token = c->token;
  e.status = c->status;
  e.requestBytes = c->inBytes;
  e.replyBytes = c->outBytes;
  e.port = c->port;
  e.injected = c->injected;
  if (options_.verbose) {
    std::fprintf(stderr, "ocamsim: port %u %s token=%d status=%d in=%zu out=%zu%s%s\n", e.port,
                 e.operation.c_str(), e.token, e.status, e.requestBytes, e.replyBytes,
                 e.injected ? " fault=" : "", e.injected ? kindName(c->fault.kind) : "");
  }
  std::lock_guard<std::mutex> lock(logMutex_);
  log_.push_back(std::move(e));
  if (options_.logLimit && log_.size() > options_.logLimit) log_.pop_front();
  ++counts_[c->op];
  if (logWaiters_ > 0) logCv_.notify_all();
}

void Server::runSchedule() {
  const auto t0 = Clock::now();
  const auto &steps = options_.inputSchedule;
  const int period = options_.inputSchedulePeriodMs;
  for (long long round = 0; !stopping_; ++round) {
    for (const InputStep &s : steps) {
      const auto at = t0 + std::chrono::milliseconds(s.atMs + round * period);
      model_.pause(static_cast<int>(std::max<long long>(
          0, std::chrono::duration_cast<std::chrono::milliseconds>(at - Clock::now()).count())));
      if (stopping_ || model_.stopping()) return;
      model_.setInputs(s.levels);
    }
    if (period <= 0) return;
  }
}

}  // namespace detail

// ------------------------------------------------------------------ public API

struct Simulator::Impl {
  explicit Impl(const Options &o) : server(o) {}
  detail::Server server;
};

Simulator::Simulator(Options options) : impl_(std::make_unique<Impl>(options)) {}
Simulator::~Simulator() { stop(); }
void Simulator::start() { impl_->server.start(); }
void Simulator::stop() { impl_->server.stop(); }
int Simulator::cameraPort() const { return impl_->server.port(0); }
int Simulator::ioPort() const { return impl_->server.port(1); }
namespace {

// An address a client can connect to: the wildcard addresses mean loopback.
std::string reachable(const std::string &bind, int port) {
  std::string host = bind;
  if (host.empty() || host == "0.0.0.0") host = "127.0.0.1";
  if (host == "::") host = "::1";
  if (host.find(':') != std::string::npos) host = "[" + host + "]";
  return host + ":" + std::to_string(port);
}

}  // namespace

std::string Simulator::cameraAddress() const {
  return reachable(impl_->server.options().bindAddress, cameraPort());
}
std::string Simulator::ioAddress() const {
  return reachable(impl_->server.options().bindAddress, ioPort());
}
void Simulator::inject(const Fault &fault) { impl_->server.inject(fault); }
void Simulator::clearFaults() { impl_->server.clearFaults(); }
std::vector<LogEntry> Simulator::log() const { return impl_->server.log(); }
void Simulator::clearLog() { impl_->server.clearLog(); }
std::size_t Simulator::count(const std::string &operation) const {
  return impl_->server.count(operation);
}
bool Simulator::waitForCount(const std::string &operation, std::size_t n, int timeoutMs) const {
  return impl_->server.waitForCount(operation, n, timeoutMs);
}
std::size_t Simulator::connectionsAccepted() const { return impl_->server.accepted(); }
std::size_t Simulator::openConnections() const { return impl_->server.openConnections(); }
bool Simulator::waitForOpenConnections(std::size_t n, int timeoutMs) const {
  return impl_->server.waitForOpenConnections(n, timeoutMs);
}
bool Simulator::waitForInputWaits(std::size_t n, int timeoutMs) const {
  return impl_->server.model().waitForInputWaits(n, timeoutMs);
}
std::size_t Simulator::openSessions() const { return impl_->server.model().openSessions(); }
bool Simulator::sessionOpen(int token) const { return impl_->server.model().sessionOpen(token); }
void Simulator::setInputs(int levels) { impl_->server.model().setInputs(levels); }
int Simulator::inputs() const { return impl_->server.model().inputWord() & 3; }
void Simulator::setOverload(bool on) { impl_->server.model().setOverload(on); }
int Simulator::outputs() const { return impl_->server.model().outputs(); }
int Simulator::leds() const { return impl_->server.model().leds(); }
int Simulator::acquisitionMode() const { return impl_->server.model().acquisitionMode(); }
int Simulator::shutterTime() const { return impl_->server.model().shutterTime(); }
int Simulator::gain() const { return impl_->server.model().gain(); }
std::string Simulator::lastSetting(const std::string &operation) const {
  return impl_->server.lastSetting(operation);
}
std::vector<std::uint8_t> Simulator::lastImage() const { return impl_->server.model().lastImage(); }
std::vector<std::uint8_t> Simulator::readRam(std::size_t address, std::size_t length) const {
  return impl_->server.model().peekRam(address, length);
}
void Simulator::writeRam(std::size_t address, const std::vector<std::uint8_t> &bytes) {
  impl_->server.model().pokeRam(address, bytes);
}

}  // namespace ocamsim
