// Delivery order of frames fetched by several requests in flight.
#include "stream/request_order.h"

#include <algorithm>

namespace ocamera {
namespace stream {
namespace {

// a before b in a count that wraps around at 2^32
bool earlier(int a, int b) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) - static_cast<std::uint32_t>(b)) <
         0;
}

}  // namespace

RequestOrder::RequestOrder(std::size_t capacity) {
  tickets_.reserve(capacity);
  held_.reserve(capacity);
}

std::uint64_t RequestOrder::issue() {
  tickets_.push_back(nextTicket_);
  return nextTicket_++;
}

void RequestOrder::complete(std::uint64_t ticket, FrameSlot *slot) {
  tickets_.erase(std::remove(tickets_.begin(), tickets_.end(), ticket), tickets_.end());
  if (slot) held_.push_back(Held{nextTicket_ - 1, slot});
}

FrameSlot *RequestOrder::next() {
  if (held_.empty()) return nullptr;
  auto first = std::min_element(held_.begin(), held_.end(), [](const Held &a, const Held &b) {
    return earlier(a.slot->seqNr, b.slot->seqNr);
  });
  const bool follows =
      haveLast_ &&
      static_cast<std::uint32_t>(first->slot->seqNr) - static_cast<std::uint32_t>(last_) == 1;
  if (!follows)
    for (std::uint64_t t : tickets_)
      if (t <= first->lastIssued) return nullptr;  // may still bring an earlier frame
  FrameSlot *slot = first->slot;
  held_.erase(first);
  haveLast_ = true;
  last_ = slot->seqNr;
  return slot;
}

FrameSlot *RequestOrder::takeHeld() {
  if (held_.empty()) return nullptr;
  FrameSlot *slot = held_.back().slot;
  held_.pop_back();
  return slot;
}

}  // namespace stream
}  // namespace ocamera
