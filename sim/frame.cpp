#include "sim/frame.h"

namespace ocamsim {
namespace detail {

void Frame::reset(const ImageSource &source, const FrameInfo &frame, int pattern) {
  std::lock_guard<std::mutex> lock(mutex_);
  const std::size_t size = static_cast<std::size_t>(frame.window.width) * frame.window.height;
  if (size > capacity_) {
    samples_.reset(new std::uint8_t[size]);
    capacity_ = size;
  }
  source_ = &source;
  frame_ = frame;
  pattern_ = pattern;
  direct_ = frame.noise > 0 ? nullptr : source.unscaled(frame, pattern);
  size_ = size;
  rowsDone_ = 0;
}

void Frame::ready(std::size_t bytes) {
  std::lock_guard<std::mutex> lock(mutex_);
  const std::size_t width = static_cast<std::size_t>(frame_.window.width);
  if (width == 0 || !source_) return;
  const int rows = static_cast<int>(
      std::min((bytes + width - 1) / width, static_cast<std::size_t>(frame_.window.height)));
  if (rows <= rowsDone_) return;
  renderRows(*source_, frame_, pattern_, samples_.get(), rowsDone_, rows - rowsDone_);
  rowsDone_ = rows;
}

}  // namespace detail
}  // namespace ocamsim
