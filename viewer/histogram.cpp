#include "viewer/histogram.h"

namespace ocam_viewer {

Histogram histogramOf(const unsigned char *rgb, int width, int height) {
  Histogram h;
  const std::size_t n = static_cast<std::size_t>(width) * height;
  for (std::size_t i = 0; i < n; ++i, rgb += 3) {
    const unsigned r = rgb[0], g = rgb[1], b = rgb[2];
    ++h.red[r];
    ++h.green[g];
    ++h.blue[b];
    ++h.luma[(299 * r + 587 * g + 114 * b + 500) / 1000];
    if (r == 255 || g == 255 || b == 255) ++h.saturated;
  }
  h.pixels = n;
  return h;
}

}  // namespace ocam_viewer
