// Serving one connection: a thread runs the SOAP dispatcher for each request
// while the connection is kept alive, bounding how long and how much a
// request may take, and logs each request before its reply goes out.
#include <poll.h>
#include <strings.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "protocol/transport.h"
#include "sim/server.h"

namespace ocamsim {
namespace detail {
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

}  // namespace

// ------------------------------------------------------------------ connection hooks

int Connection::begin(struct soap *ctx, int tok) {
  token = tok;
  // Each port serves its own services: the device manager on both, the
  // camera on the camera port, the inputs, outputs and LEDs on the I/O port.
  if (!server->serves(*this, op)) {
    status = status::kBadArgument;
    return soap_sender_fault(ctx, "no such service on this port", nullptr);
  }
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
  if (status == status::kOk) server->log().remember(op, arguments);
}

bool Server::serves(const Connection &c, const std::string &op) const {
  if (op.compare(0, 5, "rdev:") == 0) return true;
  if (op.compare(0, 5, "scam:") == 0) return c.cameraPort;
  return !c.cameraPort;
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
  const int waiting = c->inBytes == 0 ? Connection::kIdle : Connection::kReceiving;
  c->phaseSince = (c->inBytes == 0 ? c->idleSince : c->requestStart).time_since_epoch().count();
  int phase = c->phase;
  do {
    if (phase == Connection::kEvicted) return 0;
  } while (!c->phase.compare_exchange_weak(phase, waiting));
  const ssize_t n = receiveUntil(c, buf, len);
  // Bytes that came just as the slots closed the connection are dropped with it.
  phase = waiting;
  if (!c->phase.compare_exchange_strong(phase, Connection::kBusy)) return 0;
  return n;
}

ssize_t Server::receiveUntil(Connection *c, char *buf, std::size_t len) {
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

int Server::shutdownHook(struct soap *, SOAP_SOCKET, int) { return SOAP_OK; }

int Server::closeHook(struct soap *ctx, SOAP_SOCKET) {
  // The reply still has to go out; the connection loop closes afterwards.
  conn(ctx)->closeRequested = true;
  return SOAP_OK;
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
    slots_.closeFd(c);
    ctx->socket = SOAP_INVALID_SOCKET;
    soap_destroy(ctx);
    soap_end(ctx);
    soap_free(ctx);
  }
  slots_.closeFd(c);
  slots_.finished(c);
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
    model_.releaseImage(c->image);
    if (soap_begin_serve(ctx)) break;
    if (soap_peek_element(ctx) == SOAP_OK) canonicalOperation(ctx, c->op);
    c->haveFault = faults_.match(c->op, c->fault);
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
    // A client that keeps naming sessions that do not exist is slowed down,
    // then cut off: guessing a token must not pay.
    if (c->status == status::kBadSession && !c->injected) {
      const int wait = badTokens_.delayMs(c->client, Clock::now());
      if (wait < 0) {
        c->out.clear();
        c->payload = nullptr;
        keep = false;
      } else if (wait > 0) {
        model_.pause(wait);
      }
    }
    const bool prepared = prepareReply(c);
    if (!prepared) keep = false;
    if (!c->op.empty()) record(c);
    if (prepared && !sendReply(c)) keep = false;
    model_.releaseImage(c->image);
    // The request's objects and memory go; the runtime's temporary tables
    // are cleared by the next soap_begin_serve (soap_end would clear them
    // once more per request).
    soap_destroy(ctx);
    soap_dealloc(ctx, nullptr);
    if (!keep) break;
  }
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
  log_.record(std::move(e));
}

}  // namespace detail
}  // namespace ocamsim
