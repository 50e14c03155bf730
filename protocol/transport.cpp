#include "protocol/transport.h"

#include <cstring>

#include "stdsoap2.h"

namespace ocamera {
namespace wire {
namespace {

using HeaderWriter = int (*)(struct soap *, const char *, const char *);

// The runtime's own header writer, taken once from a throwaway context.
HeaderWriter runtime_header_writer() {
  static const HeaderWriter writer = [] {
    struct soap tmp;
    soap_init(&tmp);
    HeaderWriter w = tmp.fposthdr;
    soap_done(&tmp);
    return w;
  }();
  return writer;
}

int write_header(struct soap *ctx, const char *key, const char *value) {
  if (key && std::strcmp(key, "User-Agent") == 0) value = kUserAgent;
  return runtime_header_writer()(ctx, key, value);
}

}  // namespace

void configure(struct soap *ctx) {
  soap_set_namespaces(ctx, namespace_table());
  runtime_header_writer();
  ctx->fposthdr = write_header;
}

}  // namespace wire
}  // namespace ocamera
