// The histogram of a shown picture: 256 bins each for red, green, blue and
// luminance, and the share of pixels with a channel at full scale, so that an
// exposure can be set by eye.
#pragma once

#include <array>
#include <cstdint>

namespace ocam_viewer {

struct Histogram {
  std::array<std::uint32_t, 256> red{}, green{}, blue{}, luma{};
  std::uint64_t pixels = 0;
  std::uint64_t saturated = 0;  // pixels with red, green or blue at 255

  double saturatedShare() const { return pixels ? double(saturated) / double(pixels) : 0.0; }
};

// Counts every pixel of a packed RGB picture. Luminance is Rec. 601
// (0.299 R + 0.587 G + 0.114 B), rounded.
Histogram histogramOf(const unsigned char *rgb, int width, int height);

}  // namespace ocam_viewer
