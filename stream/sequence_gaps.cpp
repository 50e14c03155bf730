// Sequence gaps with wrap-around.
#include "stream/sequence_gaps.h"

namespace ocamera {
namespace stream {

void SequenceGaps::add(int seqNr) {
  // The numbers are taken modulo 2^32, so that a counter running past
  // INT_MAX to INT_MIN is one step, and no difference can overflow.
  const std::uint32_t now = static_cast<std::uint32_t>(seqNr);
  if (have_) {
    const std::uint32_t step = now - last_;
    if (step >= 1 && step - 1 <= kLargestGap)
      missing_ += step - 1;
    else
      ++resets_;
  }
  have_ = true;
  last_ = now;
}

}  // namespace stream
}  // namespace ocamera
