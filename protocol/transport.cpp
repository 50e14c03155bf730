#include "protocol/transport.h"

#include <atomic>
#include <climits>
#include <cstring>

#include "protocol/socket_options.h"
#include "stdsoap2.h"

namespace ocamera {
namespace wire {
namespace {

using HeaderWriter = int (*)(struct soap *, const char *, const char *);
using RequestWriter = int (*)(struct soap *, const char *, const char *, int, const char *,
                              const char *, ULONG64);

using Opener = SOAP_SOCKET (*)(struct soap *, const char *, const char *, int);

struct RuntimeWriters {
  HeaderWriter header;
  RequestWriter request;
  Opener open;
};

// The runtime's own writers and connect hook, taken once from a throwaway
// context.
const RuntimeWriters &runtime_writers() {
  static const RuntimeWriters writers = [] {
    struct soap tmp;
    soap_init(&tmp);
    RuntimeWriters w{tmp.fposthdr, tmp.fpost, tmp.fopen};
    soap_done(&tmp);
    return w;
  }();
  return writers;
}

std::atomic<int> reply_timeout_ms{0};

// Set while the header block of a request (not of a response) is written.
thread_local bool writing_request = false;

int write_header(struct soap *ctx, const char *key, const char *value) {
  if (key && std::strcmp(key, "User-Agent") == 0) value = kUserAgent;
  // A request names its connection only when it asks to keep it open.
  if (writing_request && key && value && std::strcmp(key, "Connection") == 0 &&
      std::strcmp(value, "close") == 0)
    return SOAP_OK;
  return runtime_writers().header(ctx, key, value);
}

int write_request(struct soap *ctx, const char *endpoint, const char *host, int port,
                  const char *path, const char *action, ULONG64 count) {
  writing_request = true;
  const int result = runtime_writers().request(ctx, endpoint, host, port, path, action, count);
  writing_request = false;
  return result;
}

// Connects as the runtime does, then arms the dead-peer watch on the new
// socket (protocol/socket_options.h).
SOAP_SOCKET open_watched(struct soap *ctx, const char *endpoint, const char *host, int port) {
  const SOAP_SOCKET fd = runtime_writers().open(ctx, endpoint, host, port);
  if (soap_valid_socket(fd)) watchSocket(fd);
  return fd;
}

}  // namespace

void watchPeer(struct soap *ctx) {
  runtime_writers();
  ctx->fopen = open_watched;
}

void configure(struct soap *ctx) {
  // Socket buffer sizes stay the kernel's: a fixed size would pin the receive
  // window and turn off its autotuning, which costs a large reply many small
  // receives and context switches.
  ctx->rcvbuf = 0;
  ctx->sndbuf = 0;
  soap_set_namespaces(ctx, namespace_table());
  runtime_writers();
  ctx->fposthdr = write_header;
  ctx->fpost = write_request;
  // A peer that drops the connection must fail the call, not raise SIGPIPE and
  // end the application.
  ctx->socket_flags |= noSignalFlags();
}

void setReplyTimeout(int milliseconds) {
  reply_timeout_ms.store(milliseconds > 0 ? milliseconds : 0, std::memory_order_relaxed);
}

int replyTimeout() { return reply_timeout_ms.load(std::memory_order_relaxed); }

namespace {
// -1: the thread follows the process-wide setting.
thread_local int thread_reply_timeout_ms = -1;
}  // namespace

ThreadReplyTimeout::ThreadReplyTimeout(int milliseconds) : previous_(thread_reply_timeout_ms) {
  thread_reply_timeout_ms = milliseconds > 0 ? milliseconds : 0;
}

ThreadReplyTimeout::~ThreadReplyTimeout() { thread_reply_timeout_ms = previous_; }

int effectiveReplyTimeout() {
  return thread_reply_timeout_ms >= 0 ? thread_reply_timeout_ms : replyTimeout();
}

void applyReplyTimeout(struct soap *ctx) {
  const int ms = effectiveReplyTimeout();
  // The runtime takes a positive figure as seconds and a negative one as
  // microseconds; microseconds only fit in an int up to about 35 minutes, so
  // longer time-outs go as whole seconds, rounded up.
  int timeout = 0;
  if (ms > 0) timeout = ms <= INT_MAX / 1000 ? -ms * 1000 : (ms - 1) / 1000 + 1;
  ctx->recv_timeout = timeout;
  ctx->send_timeout = timeout;
}

}  // namespace wire
}  // namespace ocamera
