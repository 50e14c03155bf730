#include "protocol/connection_guard.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <mutex>
#include <new>

#include "protocol/transport.h"
#include "stdsoap2.h"

namespace ocamera {
namespace wire {
namespace {

using Clock = std::chrono::steady_clock;

const char kPluginId[] = "ocamera-connection-guard";

using Opener = SOAP_SOCKET (*)(struct soap *, const char *, const char *, int);
using Receiver = std::size_t (*)(struct soap *, char *, std::size_t);
using Closer = int (*)(struct soap *, SOAP_SOCKET);

struct Guard {
  // The hooks the guard wraps, as they were when it was put on.
  Opener open = nullptr;
  Receiver receive = nullptr;
  Closer closeSocket = nullptr;

  // The socket a cut shuts down, and the cut itself; the mutex keeps the
  // socket from being closed (and its number reused) while a cut uses it.
  std::mutex mutex;
  SOAP_SOCKET socket = SOAP_INVALID_SOCKET;
  std::atomic<bool> cut{false};

  // The rate floor of the reply being read (owner thread only).
  Clock::duration period{};  // zero: no floor
  bool replyBegun = false;
  Clock::time_point periodEnd;
  std::size_t periodBytes = 0;
};

Guard *guardOf(struct soap *ctx) {
  return static_cast<Guard *>(soap_lookup_plugin(ctx, kPluginId));
}

SOAP_SOCKET openGuarded(struct soap *ctx, const char *endpoint, const char *host, int port) {
  Guard *guard = guardOf(ctx);
  if (!guard) return SOAP_INVALID_SOCKET;
  const SOAP_SOCKET fd = guard->open(ctx, endpoint, host, port);
  if (soap_valid_socket(fd)) {
    std::lock_guard<std::mutex> lock(guard->mutex);
    guard->socket = fd;
    if (guard->cut.load()) (void)shutdown(fd, SOAP_SHUT_RDWR);
  }
  return fd;
}

int closeGuarded(struct soap *ctx, SOAP_SOCKET fd) {
  Guard *guard = guardOf(ctx);
  if (!guard) return soap_closesocket(fd);
  {
    std::lock_guard<std::mutex> lock(guard->mutex);
    if (guard->socket == fd) guard->socket = SOAP_INVALID_SOCKET;
  }
  return guard->closeSocket(ctx, fd);
}

std::size_t receiveGuarded(struct soap *ctx, char *buffer, std::size_t length) {
  Guard *guard = guardOf(ctx);
  if (!guard) return 0;
  if (guard->cut.load()) {
    ctx->errnum = ECANCELED;
    return 0;
  }
  const bool floor = guard->period != Clock::duration::zero();
  if (floor && guard->replyBegun) {
    const Clock::time_point now = Clock::now();
    if (now >= guard->periodEnd) {
      if (guard->periodBytes < kMinReplyBytesPerTimeout) {
        ctx->errnum = ETIMEDOUT;
        return 0;  // the runtime takes it as the end of input: the call fails
      }
      guard->periodEnd = now + guard->period;
      guard->periodBytes = 0;
    }
  }
  const std::size_t got = guard->receive(ctx, buffer, length);
  if (floor && got > 0) {
    if (!guard->replyBegun) {
      guard->replyBegun = true;
      guard->periodEnd = Clock::now() + guard->period;
    }
    guard->periodBytes += got;
  }
  return got;
}

// A copy of a context gets a guard of its own: same wrapped hooks, no socket,
// no cut.
int copyGuard(struct soap *, struct soap_plugin *destination, struct soap_plugin *source) {
  const Guard *from = static_cast<const Guard *>(source->data);
  Guard *guard = new (std::nothrow) Guard;
  if (!guard) return SOAP_EOM;
  guard->open = from->open;
  guard->receive = from->receive;
  guard->closeSocket = from->closeSocket;
  destination->data = guard;
  return SOAP_OK;
}

void deleteGuard(struct soap *, struct soap_plugin *plugin) {
  delete static_cast<Guard *>(plugin->data);
  plugin->data = nullptr;
}

int createGuard(struct soap *ctx, struct soap_plugin *plugin, void *) {
  Guard *guard = new (std::nothrow) Guard;
  if (!guard) return SOAP_EOM;
  guard->open = ctx->fopen;
  guard->receive = ctx->frecv;
  guard->closeSocket = ctx->fclosesocket;
  plugin->id = kPluginId;
  plugin->data = guard;
  plugin->fcopy = copyGuard;
  plugin->fdelete = deleteGuard;
  return SOAP_OK;
}

}  // namespace

void guardConnections(struct soap *ctx) {
  if (guardOf(ctx) || soap_register_plugin(ctx, createGuard) != SOAP_OK) return;
  ctx->fopen = openGuarded;
  ctx->frecv = receiveGuarded;
  ctx->fclosesocket = closeGuarded;
}

void beginRequest(struct soap *ctx) {
  Guard *guard = guardOf(ctx);
  if (!guard) return;
  guard->cut.store(false);
  guard->period = std::chrono::milliseconds(replyTimeout());
  guard->replyBegun = false;
  guard->periodBytes = 0;
}

void cutConnection(struct soap *ctx) {
  Guard *guard = guardOf(ctx);
  if (!guard) return;
  std::lock_guard<std::mutex> lock(guard->mutex);
  guard->cut.store(true);
  if (soap_valid_socket(guard->socket)) (void)shutdown(guard->socket, SOAP_SHUT_RDWR);
}

}  // namespace wire
}  // namespace ocamera
