// A transport for the fuzz targets that never touches a socket: every
// "connection" a context opens receives the same bytes, the reply under test,
// and whatever a request writes is dropped.
#pragma once

#include <cstddef>
#include <cstdint>

struct soap;

namespace ocamera_fuzz {

// Replaces the context's connect, send, receive, poll and close functions.
void installFakeTransport(struct soap *ctx);

// The bytes each connection opened from now on receives, from the start.
void setReply(const std::uint8_t *data, std::size_t size);

// Drops the context's connection (a kept-alive one too) and any bytes it has
// buffered, so that its next request opens a new one and reads the reply from
// the start.
void forgetConnection(struct soap *ctx);

}  // namespace ocamera_fuzz
