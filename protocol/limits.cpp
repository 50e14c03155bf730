#include "protocol/limits.h"

#include "stdsoap2.h"

namespace ocamera {
namespace wire {

void applyClientLimits(struct soap *ctx) {
  ctx->recv_maxlength = kMaxReplyBytes;
  ctx->maxlevel = kMaxElementDepth;
  ctx->maxlength = kMaxStringLength;
  ctx->maxoccurs = kMaxListEntries;
}

}  // namespace wire
}  // namespace ocamera
