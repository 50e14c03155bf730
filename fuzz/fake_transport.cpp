#include "fuzz/fake_transport.h"

#include <cstring>

#include "stdsoap2.h"

namespace ocamera_fuzz {
namespace {

// No descriptor this process could have open; nothing ever reaches the system with it.
constexpr SOAP_SOCKET kFakeSocket = 0x3fffffff;

const std::uint8_t *g_reply = nullptr;
std::size_t g_size = 0;
std::size_t g_position = 0;

SOAP_SOCKET fakeOpen(struct soap *, const char *, const char *, int) {
  g_position = 0;
  return kFakeSocket;
}

int fakeSend(struct soap *, const char *, std::size_t) { return SOAP_OK; }

std::size_t fakeRecv(struct soap *, char *buffer, std::size_t length) {
  const std::size_t left = g_size - g_position;
  const std::size_t n = length < left ? length : left;
  if (n > 0) std::memcpy(buffer, g_reply + g_position, n);
  g_position += n;
  return n;  // 0: the peer closed the connection
}

int fakePoll(struct soap *) { return SOAP_OK; }
int fakeClose(struct soap *) { return SOAP_OK; }
int fakeCloseSocket(struct soap *, SOAP_SOCKET) { return SOAP_OK; }
int fakeShutdown(struct soap *, SOAP_SOCKET, int) { return SOAP_OK; }

}  // namespace

void installFakeTransport(struct soap *ctx) {
  ctx->fopen = fakeOpen;
  ctx->fsend = fakeSend;
  ctx->frecv = fakeRecv;
  ctx->fpoll = fakePoll;
  ctx->fclose = fakeClose;
  ctx->fclosesocket = fakeCloseSocket;
  ctx->fshutdownsocket = fakeShutdown;
  ctx->connect_timeout = 0;
  ctx->recv_timeout = 0;
  ctx->send_timeout = 0;
}

void setReply(const std::uint8_t *data, std::size_t size) {
  g_reply = data;
  g_size = size;
  g_position = 0;
}

void forgetConnection(struct soap *ctx) {
  ctx->socket = SOAP_INVALID_SOCKET;
  ctx->keep_alive = 0;
  ctx->bufidx = 0;
  ctx->buflen = 0;
}

}  // namespace ocamera_fuzz
