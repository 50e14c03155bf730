// How a client connection notices that the camera's host has gone (power cut,
// cable pulled) while the library waits on it.
//
// A reply may legitimately take long (an image read with a long read
// time-out, an input wait), so the library sets no time-out on replies.
// Instead the kernel watches each client connection:
//
//  - TCP keep-alive probes once the connection has carried nothing for
//    kProbeIdleSeconds, then every kProbeIntervalSeconds, kProbeCount probes.
//    A camera whose host is up answers them from its kernel, however long its
//    service takes to reply, so a slow camera is never cut short.
//  - TCP_USER_TIMEOUT: request bytes the host has not acknowledged after
//    kUnacknowledgedMs end the connection, and the same figure ends probing
//    (on Linux it takes over from the probe count once it is set).
//
// Either way the call waiting on the connection fails (-1) no later than
// kDeadPeerBoundMs after the host last answered, or after the request was
// sent when that is later. A fresh connection to a host that is gone fails
// within the connect time-out instead.
#pragma once

namespace ocamera {
namespace wire {

constexpr int kProbeIdleSeconds = 2;
constexpr int kProbeIntervalSeconds = 1;
constexpr int kProbeCount = 3;
constexpr unsigned kUnacknowledgedMs = 5000;
// The kernel's timers fire on whole probe intervals; one more interval covers
// their granularity.
constexpr int kDeadPeerBoundMs = static_cast<int>(kUnacknowledgedMs) + 1000 * kProbeIntervalSeconds;

// Where the probe count cannot be set (Windows before 10 version 1703, and
// Wine), the system sends its own number of probes, 10 on Windows, and
// nothing limits unacknowledged data but the system's retransmissions: a host
// that goes while the camera works on a request (the request acknowledged,
// the reply not come) fails the call within this bound instead.
constexpr int kSystemProbeCount = 10;
constexpr int kDeadPeerBoundSystemCountMs =
    1000 * (kProbeIdleSeconds + (kSystemProbeCount + 1) * kProbeIntervalSeconds);

// Probing and unacknowledged data give up at the same moment.
static_assert((kProbeIdleSeconds + kProbeCount * kProbeIntervalSeconds) * 1000 ==
                  static_cast<int>(kUnacknowledgedMs),
              "probes and unacknowledged data should detect a dead host at the same time");

}  // namespace wire
}  // namespace ocamera
