// The exported switch of the reply time-out of every object's requests.
#include "ocamera/export.h"
#include "protocol/connection_guard.h"
#include "protocol/transport.h"

namespace ocamera {

static_assert(kMinReplyBytesPerTimeout == static_cast<int>(wire::kMinReplyBytesPerTimeout),
              "the documented rate floor is the one the connections keep");

void setReplyTimeout(int milliseconds) { wire::setReplyTimeout(milliseconds); }

int replyTimeout() { return wire::replyTimeout(); }

}  // namespace ocamera
