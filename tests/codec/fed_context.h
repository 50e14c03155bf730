// A SOAP context set up as the library's, that reads a fixed text in pieces of
// chosen sizes, as if the text arrived from a socket in that many receives.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "protocol/wire_context.h"

namespace codec_test {

class FedContext : public ocamera_test::WireContext {
 public:
  // Receive number i returns at most pieces[i % pieces.size()] bytes (and never
  // more than the runtime asks for); an empty list gives everything at once.
  FedContext(std::string text, std::vector<std::size_t> pieces)
      : text_(std::move(text)), pieces_(std::move(pieces)) {
    get()->user = this;
    get()->frecv = &FedContext::receive;
  }

  // Bytes of the text the parser has taken out of its buffer so far.
  std::size_t consumed() const { return position_ - (get()->buflen - get()->bufidx); }
  std::size_t receives() const { return receives_; }

 private:
  static std::size_t receive(soap *ctx, char *buf, std::size_t len) {
    auto *self = static_cast<FedContext *>(ctx->user);
    std::size_t n = std::min(len, self->text_.size() - self->position_);
    if (!self->pieces_.empty())
      n = std::min(n, self->pieces_[self->receives_ % self->pieces_.size()]);
    std::memcpy(buf, self->text_.data() + self->position_, n);
    self->position_ += n;
    ++self->receives_;
    return n;
  }

  std::string text_;
  std::vector<std::size_t> pieces_;
  std::size_t position_ = 0;
  std::size_t receives_ = 0;
};

}  // namespace codec_test
