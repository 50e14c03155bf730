// A SOAP context set up the way the library sets up its own, for tests that
// talk to a ScriptedPeer.
#pragma once

#include <string>
#include <string_view>

#include "ocamH.h"
#include "protocol/transport.h"

namespace ocamera_test {

class WireContext {
 public:
  // `mode` is given to the runtime for input and output (e.g. SOAP_IO_KEEPALIVE).
  explicit WireContext(soap_mode mode = SOAP_IO_DEFAULT) : ctx_(soap_new1(mode)) {
    ocamera::wire::configure(ctx_);
    // Every socket wait of a test is bounded.
    ctx_->connect_timeout = 5;
    ctx_->send_timeout = 5;
    ctx_->recv_timeout = 5;
  }
  ~WireContext() {
    soap_destroy(ctx_);
    soap_end(ctx_);
    soap_free(ctx_);
  }
  WireContext(const WireContext &) = delete;
  WireContext &operator=(const WireContext &) = delete;

  soap *get() const { return ctx_; }
  operator soap *() const { return ctx_; }
  soap *operator->() const { return ctx_; }

 private:
  soap *ctx_;
};

// Text between the first <name> and the following </name> in `xml`, or
// "<missing>" when there is no such element.
inline std::string elementText(std::string_view xml, std::string_view name) {
  const std::string open = "<" + std::string(name) + ">";
  const std::string close = "</" + std::string(name) + ">";
  const std::size_t begin = xml.find(open);
  if (begin == std::string_view::npos) return "<missing>";
  const std::size_t end = xml.find(close, begin + open.size());
  if (end == std::string_view::npos) return "<missing>";
  return std::string(xml.substr(begin + open.size(), end - begin - open.size()));
}

}  // namespace ocamera_test
