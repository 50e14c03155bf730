// The samples of one delivered frame, made on demand.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>

#include "sim/image_source.h"

namespace ocamsim {
namespace detail {

// A frame that shows the source as it is (no brightness change, no noise) is
// read straight out of the source: a reply encodes its rows from there
// without a copy. Other frames have their rows rendered as they are
// read, chunk by chunk of a reply (while the client already reads the chunks
// before). Whoever needs the samples in one block asks for all of them. A
// block is reused for later frames; it is never value-initialised, only
// rendered over.
class Frame {
 public:
  // Starts over with a frame of `source`; nothing is rendered yet.
  void reset(const ImageSource &source, const FrameInfo &frame, int pattern);
  // The first `bytes` samples here are valid only after ready(bytes).
  std::uint8_t *data() { return samples_.get(); }
  std::size_t size() const { return size_; }
  // Renders the rows that hold the first `bytes` samples, if not yet done.
  void ready(std::size_t bytes);
  void readyAll() { ready(size_); }
  // Hands the samples [from, to) to use(const std::uint8_t *, std::size_t) in
  // order, as runs of contiguous memory: the source's rows for a frame that
  // shows it as it is, the rendered rows otherwise.
  template <class Use>
  void read(std::size_t from, std::size_t to, Use &&use);

 private:
  std::mutex mutex_;  // rows are rendered by the reply path and by lastImage()
  const ImageSource *source_ = nullptr;
  FrameInfo frame_;
  int pattern_ = 1;
  const std::uint8_t *direct_ = nullptr;  // ImageSource::unscaled() of the frame
  std::unique_ptr<std::uint8_t[]> samples_;
  std::size_t capacity_ = 0;
  std::size_t size_ = 0;
  int rowsDone_ = 0;
};

template <class Use>
void Frame::read(std::size_t from, std::size_t to, Use &&use) {
  if (!direct_) {
    ready(to);
    if (to > from) use(samples_.get() + from, to - from);
    return;
  }
  if (from >= to) return;
  const std::size_t width = static_cast<std::size_t>(frame_.window.width);
  const std::size_t stride = source_->stride();
  std::size_t row = from / width, x = from % width;
  while (from < to) {
    const std::size_t n = std::min(width - x, to - from);
    use(direct_ + row * stride + x, n);
    from += n;
    ++row;
    x = 0;
  }
}

}  // namespace detail
}  // namespace ocamsim
