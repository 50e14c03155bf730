#include "protocol/message_end.h"

#include <cstddef>
#include <cstdint>

#include "stdsoap2.h"

namespace ocamera {
namespace wire {
namespace {

// Reads every bucket: four running ORs let the loads overlap, which a single
// one would chain.
bool idTableEmpty(const struct soap *ctx) {
  constexpr std::size_t kBuckets = sizeof ctx->iht / sizeof ctx->iht[0];
  std::uintptr_t any[4] = {};
  std::size_t i = 0;
  for (; i + 4 <= kBuckets; i += 4)
    for (std::size_t k = 0; k < 4; ++k) any[k] |= reinterpret_cast<std::uintptr_t>(ctx->iht[i + k]);
  for (; i < kBuckets; ++i) any[0] |= reinterpret_cast<std::uintptr_t>(ctx->iht[i]);
  return (any[0] | any[1] | any[2] | any[3]) == 0;
}

// Whether the message can end without the runtime's own end: no attachments,
// not chunked (the runtime reads on to the last chunk), no reference to an
// attachment left to match, the envelope closed, nothing in the id table.
bool plainMessage(const struct soap *ctx) {
  return (ctx->mode & (SOAP_ENC_DIME | SOAP_ENC_MIME)) == 0 &&
         (ctx->mode & SOAP_IO) != SOAP_IO_CHUNK && ctx->xlist == nullptr && ctx->level == 0 &&
         idTableEmpty(ctx);
}

}  // namespace

int endRecv(struct soap *ctx) {
  // The steps below are those of this runtime's soap_end_recv for a plain
  // message; another runtime version always takes its own.
#if GSOAP_VERSION == 208124
  if (!plainMessage(ctx)) return soap_end_recv(ctx);
  ctx->part = SOAP_END;
  ctx->wsuid = nullptr;
  ctx->c14nexclude = nullptr;
  ctx->c14ninclude = nullptr;
  ctx->ffilterrecv = nullptr;
  ctx->dime.list = ctx->dime.first;
  ctx->dime.first = ctx->dime.last = nullptr;
  ctx->mime.list = ctx->mime.first;
  ctx->mime.first = ctx->mime.last = nullptr;
  ctx->mime.boundary = nullptr;
  // At level 0 this frees the whole namespace stack.
  soap_pop_namespace(ctx);
  if (ctx->fpreparefinalrecv) return ctx->error = ctx->fpreparefinalrecv(ctx);
  return SOAP_OK;
#else
  return soap_end_recv(ctx);
#endif
}

}  // namespace wire
}  // namespace ocamera
