// The synthetic scene the simulated sensor looks at: a colour gradient with a
// few shapes, mosaicked once into raw Bayer samples. A frame is a window cut
// out of it at an offset that moves with the sequence number, scaled by the
// exposure (shutter time times gain).
#pragma once

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

 private:
  int width_;
  int height_;
  std::vector<std::uint8_t> samples_;  // GRGR mosaic, width_ x height_
};

// The samples of one delivered frame, rendered on demand: a reply that goes
// out in chunks has the rows of each chunk rendered just before it is encoded
// (while they are in the cache and while the client already reads the chunks
// before), and whoever needs all of them asks for all. A block is reused for
// later frames; it is never value-initialised, only rendered over.
class Frame {
 public:
  // Starts over with a frame of `scene`; nothing is rendered yet.
  void reset(const Scene &scene, const FrameInfo &frame, int pattern);
  // The first `bytes` samples are valid only after ready(bytes).
  std::uint8_t *data() { return samples_.get(); }
  std::size_t size() const { return size_; }
  // Renders the rows that hold the first `bytes` samples, if not yet done.
  void ready(std::size_t bytes);
  void readyAll() { ready(size_); }

 private:
  std::mutex mutex_;  // rows are rendered by the reply path and by lastImage()
  const Scene *scene_ = nullptr;
  FrameInfo frame_;
  int pattern_ = 1;
  std::unique_ptr<std::uint8_t[]> samples_;
  std::size_t capacity_ = 0;
  std::size_t size_ = 0;
  int rowsDone_ = 0;
};

}  // namespace detail
}  // namespace ocamsim
