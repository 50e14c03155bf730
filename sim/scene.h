// The synthetic scene the simulated sensor looks at: a colour gradient with a
// few shapes, mosaicked once into raw Bayer samples. A frame is a window cut
// out of it at an offset that moves with the sequence number, scaled by the
// exposure (shutter time times gain).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "sim/image_source.h"

namespace ocamsim {
namespace detail {

class Scene : public ImageSource {
 public:
  using ImageSource::render;
  // How far the scene moves: offsets stay below this in both directions.
  static constexpr int kMotion = 256;

  Scene(int sensorWidth, int sensorHeight);
  // The window's top-left sample is the pattern's first colour.
  void render(const FrameInfo &frame, int pattern, std::uint8_t *out, int first,
              int rows) const override;
  const std::uint8_t *unscaled(const FrameInfo &frame, int pattern) const override;
  std::size_t stride() const override { return static_cast<std::size_t>(width_); }

 private:
  // The index of the scene sample at the window's top-left corner.
  std::size_t corner(const FrameInfo &frame, int pattern) const;

  int width_;
  int height_;
  std::vector<std::uint8_t> samples_;  // GRGR mosaic, width_ x height_
};

}  // namespace detail
}  // namespace ocamsim
