#include "protocol/transport.h"

#include <sys/socket.h>

#include <cstring>

#include "stdsoap2.h"

namespace ocamera {
namespace wire {
namespace {

using HeaderWriter = int (*)(struct soap *, const char *, const char *);
using RequestWriter = int (*)(struct soap *, const char *, const char *, int, const char *,
                              const char *, ULONG64);

struct RuntimeWriters {
  HeaderWriter header;
  RequestWriter request;
};

// The runtime's own writers, taken once from a throwaway context.
const RuntimeWriters &runtime_writers() {
  static const RuntimeWriters writers = [] {
    struct soap tmp;
    soap_init(&tmp);
    RuntimeWriters w{tmp.fposthdr, tmp.fpost};
    soap_done(&tmp);
    return w;
  }();
  return writers;
}

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

}  // namespace

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
  ctx->socket_flags |= MSG_NOSIGNAL;
}

}  // namespace wire
}  // namespace ocamera
