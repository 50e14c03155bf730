#include "bench/plain_client.h"

#include "plainH.h"
#include "protocol/transport.h"

namespace bench {

PlainClient::PlainClient(const std::string &address)
    : endpoint_(address), ctx_(soap_new1(SOAP_IO_KEEPALIVE)) {
  soap_set_namespaces(ctx_, ocamera::wire::namespace_table());
  // The runtime's default pins 64 KiB socket buffers; left to the kernel here
  // as in the library, so that the rows differ by the client's code alone.
  ctx_->rcvbuf = 0;
  ctx_->sndbuf = 0;
  ctx_->maxlength = 0;  // its base64 reader would hold an image to the string limit
  ctx_->socket_flags = MSG_NOSIGNAL;
}

PlainClient::~PlainClient() {
  soap_destroy(ctx_);
  soap_end(ctx_);
  soap_free(ctx_);
}

bool PlainClient::setGain(int token, int factor) {
  int status = -1;
  const int rc = plain::soap_call_scam__setGain(ctx_, endpoint_.c_str(), "", token, factor, status);
  soap_destroy(ctx_);
  soap_end(ctx_);
  return rc == SOAP_OK && status == 0;
}

int PlainClient::getSingleImage(int token) {
  plain::scam__SingleImageResponse reply;
  const int rc = plain::soap_call_scam__getSingleImage(ctx_, endpoint_.c_str(), "", token, reply);
  const int bytes = rc == SOAP_OK && reply.data.__ptr ? reply.data.__size : -1;
  soap_destroy(ctx_);
  soap_end(ctx_);
  return bytes;
}

}  // namespace bench
