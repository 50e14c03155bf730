// The dead-peer watch through Winsock. SIO_KEEPALIVE_VALS sets the probe
// times; the probe count (TCP_KEEPCNT) and the limit on unacknowledged data
// (TCP_MAXRT) are taken by Windows 10 1703 and later, and refused (WSAENOPROTOOPT)
// by older systems and by Wine, which then probe their own fixed number of times.
#include <winsock2.h>
#include <ws2tcpip.h>
// After Winsock's own headers, whose types it uses.
#include <mstcpip.h>

#include "protocol/dead_peer.h"
#include "protocol/socket_options.h"

// Older MinGW-w64 headers lack the newer options; their values are Winsock's.
#ifndef TCP_MAXRT
#define TCP_MAXRT 5
#endif
#ifndef TCP_KEEPCNT
#define TCP_KEEPCNT 16
#endif

namespace ocamera {
namespace wire {

PeerWatch watchSocket(SOAP_SOCKET fd) {
  PeerWatch watch;
  const BOOL on = TRUE;
  watch.keepAlive =
      setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, reinterpret_cast<const char *>(&on), sizeof on) == 0;
  struct tcp_keepalive times {};
  times.onoff = 1;
  times.keepalivetime = kProbeIdleSeconds * 1000;
  times.keepaliveinterval = kProbeIntervalSeconds * 1000;
  DWORD returned = 0;
  watch.probeTimes = WSAIoctl(fd, SIO_KEEPALIVE_VALS, &times, sizeof times, nullptr, 0, &returned,
                              nullptr, nullptr) == 0;
  const DWORD count = kProbeCount;
  watch.probeCount = setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT,
                                reinterpret_cast<const char *>(&count), sizeof count) == 0;
  // TCP_MAXRT counts whole seconds.
  const DWORD seconds = (kUnacknowledgedMs + 999) / 1000;
  watch.unacknowledged = setsockopt(fd, IPPROTO_TCP, TCP_MAXRT,
                                    reinterpret_cast<const char *>(&seconds), sizeof seconds) == 0;
  return watch;
}

// Windows raises no signal for a dropped peer.
int noSignalFlags() { return 0; }

}  // namespace wire
}  // namespace ocamera
