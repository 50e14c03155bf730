// The socket options of a client connection, set through the platform's own
// socket interface (socket_options_posix.cpp, socket_options_win32.cpp).
#pragma once

#include "stdsoap2.h"

namespace ocamera {
namespace wire {

// Which parts of the dead-peer watch (protocol/dead_peer.h) a socket took.
struct PeerWatch {
  bool keepAlive = false;       // probes are sent at all
  bool probeTimes = false;      // after kProbeIdleSeconds, every kProbeIntervalSeconds
  bool probeCount = false;      // kProbeCount probes (else the system's own count)
  bool unacknowledged = false;  // unacknowledged data ends the connection after kUnacknowledgedMs
};

// Arms the dead-peer watch on a freshly connected socket. An option the
// system refuses is left out: the connection still works, only without that
// part of the watch.
PeerWatch watchSocket(SOAP_SOCKET fd);

// The flags every send and receive of a client context takes: a peer that
// drops the connection must fail the call, not raise a signal that ends the
// application.
int noSignalFlags();

}  // namespace wire
}  // namespace ocamera
