#include "sim/image_source.h"

#include <algorithm>
#include <cmath>

namespace ocamsim {
namespace detail {

bool scaled(const FrameInfo &frame) { return std::fabs(frame.exposure - 1.0) > 1e-9; }

void brightnessTable(const FrameInfo &frame, std::uint8_t lut[256]) {
  for (int v = 0; v < 256; ++v)
    lut[v] = static_cast<std::uint8_t>(std::min(255.0, std::floor(v * frame.exposure + 0.5)));
}

namespace {

// A well-mixed 32-bit hash of a sample's place and frame, so that the noise
// is the same for the same seed, sequence number and position.
std::uint32_t mix(std::uint32_t h) {
  h ^= h >> 16;
  h *= 0x7FEB352Du;
  h ^= h >> 15;
  h *= 0x846CA68Bu;
  h ^= h >> 16;
  return h;
}

}  // namespace

void renderRows(const ImageSource &source, const FrameInfo &frame, int pattern, std::uint8_t *out,
                int first, int rows) {
  source.render(frame, pattern, out, first, rows);
  if (frame.noise <= 0) return;
  // Triangular noise in [-noise, +noise]: the sum of two uniform bytes.
  const Window &win = frame.window;
  const int end = std::min(win.height, first + rows);
  const std::uint32_t base = mix(frame.noiseSeed ^ mix(static_cast<std::uint32_t>(frame.seq)));
  for (int r = std::max(0, first); r < end; ++r) {
    std::uint8_t *dst = out + static_cast<std::size_t>(r) * win.width;
    const std::uint32_t rowKey = mix(base + static_cast<std::uint32_t>(win.y0 + r));
    for (int x = 0; x < win.width; ++x) {
      const std::uint32_t h = mix(rowKey ^ static_cast<std::uint32_t>(win.x0 + x));
      const int n = (static_cast<int>(h & 0xFF) + static_cast<int>((h >> 8) & 0xFF) - 255) *
                    frame.noise / 255;
      dst[x] = static_cast<std::uint8_t>(std::clamp(dst[x] + n, 0, 255));
    }
  }
}

}  // namespace detail
}  // namespace ocamsim
