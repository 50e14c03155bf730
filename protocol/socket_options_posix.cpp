// The dead-peer watch through the POSIX socket options of Linux.
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include "protocol/dead_peer.h"
#include "protocol/socket_options.h"

namespace ocamera {
namespace wire {

PeerWatch watchSocket(SOAP_SOCKET fd) {
  const int on = 1, idle = kProbeIdleSeconds, interval = kProbeIntervalSeconds, count = kProbeCount;
  const unsigned unacknowledged = kUnacknowledgedMs;
  PeerWatch watch;
  watch.keepAlive = setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on) == 0;
  const bool idleSet = setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &idle, sizeof idle) == 0;
  const bool intervalSet =
      setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &interval, sizeof interval) == 0;
  watch.probeTimes = idleSet && intervalSet;
  watch.probeCount = setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &count, sizeof count) == 0;
  watch.unacknowledged =
      setsockopt(fd, IPPROTO_TCP, TCP_USER_TIMEOUT, &unacknowledged, sizeof unacknowledged) == 0;
  return watch;
}

int noSignalFlags() { return MSG_NOSIGNAL; }

}  // namespace wire
}  // namespace ocamera
