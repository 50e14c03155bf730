// What the library keeps of each client connection beyond the runtime's own
// state: the rate floor of a reply under the reply time-out, and the means to
// cut a request in flight from another thread.
//
// Rate floor. The reply time-out (setReplyTimeout) counts silence only, so that
// an image that keeps flowing is never cut short. A camera could still hold a
// request for ever by sending a byte now and then; so, with a time-out of T
// set, once a reply has begun every further period T of it must bring at least
// kMinReplyBytesPerTimeout bytes, or the receive fails (SOAP_EOF, errnum
// ETIMEDOUT) and the lease drops the connection. A period is judged when the
// parser asks for more bytes after it has ended, so a short reply whose last
// bytes come late is not held to it, and a trickling reply fails within about
// two periods of its first byte. Without a reply time-out there is no floor.
//
// Cut. cutConnection (any thread) shuts the context's socket down, so the
// receive or send it is blocked in returns at once and the call fails; a
// connection the context opens afterwards is shut down as soon as it is made,
// until the next request begins on the context (beginRequest).
#pragma once

#include <cstddef>

struct soap;

namespace ocamera {
namespace wire {

// 4 KiB per time-out period: far below any working link, far above a trickle.
// The public header states the same figure (checked in remote/reply_timeout.cpp).
constexpr std::size_t kMinReplyBytesPerTimeout = 4096;

// Puts the guard on a client context (the prototype of a context cache: copies
// get a guard of their own). Wraps the context's connect, receive and
// socket-close functions, so call it after any other hook on them.
void guardConnections(struct soap *ctx);

// Starts a request on the context: the rate floor follows the reply time-out
// in force now (transport.h), and an earlier cut is forgotten.
void beginRequest(struct soap *ctx);

// Cuts the context's connection (see above). Thread-safe; a context without a
// guard is left alone.
void cutConnection(struct soap *ctx);

}  // namespace wire
}  // namespace ocamera
