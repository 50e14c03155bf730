// A canned peer that has learned everything a stream of one window asks (the
// set-up, the image request, the keep-alive and the end of a session) from a
// simulator of that sensor size, then answers from memory only.
#pragma once

#include <memory>

#include "bench/canned_peer.h"

namespace bench {

std::unique_ptr<CannedPeer> learnStreamPeer(int width, int height);

// A connection to the peer over a socket pair (no loopback traffic), for
// DelayProxy; -1 when none can be had.
int pairWith(CannedPeer &peer);

}  // namespace bench
