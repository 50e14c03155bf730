// The synthetic scene the simulated sensor looks at: a colour gradient with a
// few shapes, mosaicked once into raw Bayer samples. A frame is a window cut
// out of it at an offset that moves with the sequence number, scaled by the
// exposure (shutter time times gain).
#pragma once

#include <cstdint>
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

 private:
  int width_;
  int height_;
  std::vector<std::uint8_t> samples_;  // GRGR mosaic, width_ x height_
};

}  // namespace detail
}  // namespace ocamsim
