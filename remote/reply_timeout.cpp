// The exported switch of the reply time-out of every object's requests.
#include "ocamera/export.h"
#include "protocol/transport.h"

namespace ocamera {

void setReplyTimeout(int milliseconds) { wire::setReplyTimeout(milliseconds); }

int replyTimeout() { return wire::replyTimeout(); }

}  // namespace ocamera
