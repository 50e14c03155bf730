// Pictures from files for the simulated sensor to look at (ocamsim --images):
// a PNG file, a directory of PNG and raw files shown in name order, or a raw
// file. Each picture covers the whole sensor; a frame is the window cut out
// of the picture the frame shows.
//  - A PNG picture (any colour type and depth, read as 8-bit RGB) is mosaicked
//    into the requested Bayer layout with the window's top-left sample the
//    layout's first colour, so that demosaicing the frame gives the picture
//    back. A picture of another size than the sensor is scaled (nearest
//    neighbour, aspect ratio kept) to cover the sensor and centred; what lies
//    outside is cut off.
//  - A raw file holds exactly width x height 8-bit samples in the sensor's
//    own Bayer layout, from its top-left corner; a window is cut at its
//    offset rounded down to even, so that its top-left sample is the layout's
//    first colour.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "sim/image_source.h"

namespace ocamsim {
namespace detail {

class Pictures : public ImageSource {
 public:
  using ImageSource::render;
  // Pictures beyond this many (in a directory) are refused.
  static constexpr std::size_t kMaxPictures = 256;

  // Reads `path` for a sensor of width x height; throws std::runtime_error
  // naming the path and what is wrong with it.
  static std::unique_ptr<Pictures> load(const std::string &path, int width, int height);

  std::size_t count() const { return pictures_.size(); }
  void render(const FrameInfo &frame, int pattern, std::uint8_t *out, int first,
              int rows) const override;
  const std::uint8_t *unscaled(const FrameInfo &frame, int pattern) const override;
  std::size_t stride() const override { return static_cast<std::size_t>(width_); }

 private:
  struct Picture {
    bool raw = false;
    std::vector<std::uint8_t> bytes;  // width x height samples, or x 3 RGB
  };
  Pictures(int width, int height) : width_(width), height_(height) {}
  void add(const std::string &file);
  const Picture &picture(const FrameInfo &frame) const;

  int width_;
  int height_;
  std::vector<Picture> pictures_;
};

}  // namespace detail
}  // namespace ocamsim
