// The order in which frames fetched by several image requests in flight are
// delivered: by sequence number (modulo 2^32). The frame that follows the one
// delivered last goes out at once. Any other frame (after a gap, or the first
// one) waits until every request that was in flight when it came has ended,
// since any of them may bring an earlier frame; a request issued after it came
// reached the camera later and brings a later one. So the wait is bounded by
// the requests in flight, each bounded by its image time-out. Not
// thread-safe: the grab thread alone uses it. Nothing allocates after
// construction.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "stream/frame_pool.h"

namespace ocamera {
namespace stream {

class RequestOrder {
 public:
  // At most `capacity` requests in flight and frames held together.
  explicit RequestOrder(std::size_t capacity);

  // A new request's ticket.
  std::uint64_t issue();
  // Request `ticket` ended, with a frame in slot, or without one (null).
  void complete(std::uint64_t ticket, FrameSlot *slot);
  // The next frame starts a new count (a new camera object).
  void restart() { haveLast_ = false; }
  // The next frame to deliver, or null while none may go yet.
  FrameSlot *next();
  // Any held frame, or null: for giving them back at the end of a run.
  FrameSlot *takeHeld();

  std::size_t inFlight() const { return tickets_.size(); }
  std::size_t held() const { return held_.size(); }

 private:
  struct Held {
    std::uint64_t lastIssued;  // the last ticket issued when it came
    FrameSlot *slot;
  };
  std::uint64_t nextTicket_ = 1;
  bool haveLast_ = false;
  int last_ = 0;                        // the sequence number delivered last
  std::vector<std::uint64_t> tickets_;  // requests in flight
  std::vector<Held> held_;
};

}  // namespace stream
}  // namespace ocamera
