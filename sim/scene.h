// The synthetic scene the simulated sensor looks at: a colour gradient with a
// few shapes, mosaicked once into raw Bayer samples. A frame is a window cut
// out of it at an offset that moves with the sequence number, scaled by the
// exposure (shutter time times gain).
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

namespace ocamsim {
namespace detail {

struct Window {
  int x0 = 0;
  int y0 = 0;
  int width = 0;
  int height = 0;
};

// What a captured frame needs for rendering; the pixels are made on delivery.
struct FrameInfo {
  int seq = 0;
  std::int64_t sec = 0;  // capture time, wall clock
  int usec = 0;
  Window window;
  double exposure = 1.0;  // brightness factor: 1 renders the scene as it is
};

class Scene {
 public:
  // How far the scene moves: offsets stay below this in both directions.
  static constexpr int kMotion = 256;

  Scene(int sensorWidth, int sensorHeight);
  // Writes window.width * window.height samples in `pattern` (1 GRGR, 2 BGBG,
  // 3 RGRG, 4 GBGB): the window's top-left sample is the pattern's first colour.
  void render(const FrameInfo &frame, int pattern, std::uint8_t *out) const;
  // The same for rows [first, first + rows) of the window only; `out` is the
  // start of the whole window's samples.
  void render(const FrameInfo &frame, int pattern, std::uint8_t *out, int first, int rows) const;
  // For a frame whose samples are the scene's as they are (exposure 1): where
  // the window's first row lies among the scene's samples, the next rows
  // following at stride(). nullptr for a frame that must be rendered.
  const std::uint8_t *unscaled(const FrameInfo &frame, int pattern) const;
  std::size_t stride() const { return static_cast<std::size_t>(width_); }

 private:
  // The index of the scene sample at the window's top-left corner.
  std::size_t corner(const FrameInfo &frame, int pattern) const;

  int width_;
  int height_;
  std::vector<std::uint8_t> samples_;  // GRGR mosaic, width_ x height_
};

// The samples of one delivered frame, made on demand. A frame that shows the
// scene as it is is read straight out of the scene: a reply encodes its rows
// from there without a copy. Other frames have their rows rendered as they are
// read, chunk by chunk of a reply (while the client already reads the chunks
// before). Whoever needs the samples in one block asks for all of them. A
// block is reused for later frames; it is never value-initialised, only
// rendered over.
class Frame {
 public:
  // Starts over with a frame of `scene`; nothing is rendered yet.
  void reset(const Scene &scene, const FrameInfo &frame, int pattern);
  // The first `bytes` samples here are valid only after ready(bytes).
  std::uint8_t *data() { return samples_.get(); }
  std::size_t size() const { return size_; }
  // Renders the rows that hold the first `bytes` samples, if not yet done.
  void ready(std::size_t bytes);
  void readyAll() { ready(size_); }
  // Hands the samples [from, to) to use(const std::uint8_t *, std::size_t) in
  // order, as runs of contiguous memory: the scene's rows for a frame that
  // shows it as it is, the rendered rows otherwise.
  template <class Use>
  void read(std::size_t from, std::size_t to, Use &&use);

 private:
  std::mutex mutex_;  // rows are rendered by the reply path and by lastImage()
  const Scene *scene_ = nullptr;
  FrameInfo frame_;
  int pattern_ = 1;
  const std::uint8_t *direct_ = nullptr;  // Scene::unscaled() of the frame
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
  const std::size_t stride = scene_->stride();
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
