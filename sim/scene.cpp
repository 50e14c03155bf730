#include "sim/scene.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace ocamsim {
namespace detail {
namespace {

struct Rgb {
  int r, g, b;
};

struct Disc {
  int cx, cy, radius;
  Rgb colour;
};

struct Box {
  int x0, y0, x1, y1;
  Rgb colour;
};

}  // namespace

Scene::Scene(int sensorWidth, int sensorHeight)
    : width_(sensorWidth + kMotion + 2), height_(sensorHeight + kMotion + 2) {
  samples_.resize(static_cast<std::size_t>(width_) * height_);
  const int w = width_, h = height_;
  const int unit = std::max(8, std::min(w, h) / 8);
  const Disc discs[] = {{w / 4, h / 3, unit, {230, 40, 40}},
                        {w * 2 / 3, h / 2, unit * 3 / 2, {40, 200, 60}},
                        {w / 2, h * 4 / 5, unit / 2, {250, 250, 250}}};
  const Box boxes[] = {{w / 10, h * 3 / 5, w / 10 + unit * 2, h * 3 / 5 + unit, {30, 60, 220}},
                       {w * 3 / 5, h / 10, w * 3 / 5 + unit, h / 10 + unit * 2, {10, 10, 10}}};
  for (int y = 0; y < h; ++y) {
    std::uint8_t *row = &samples_[static_cast<std::size_t>(y) * w];
    for (int x = 0; x < w; ++x) {
      // Gradient with head-room, so that more exposure still shows.
      Rgb c{x * 180 / w + 20, y * 180 / h + 20, 200 - (x + y) * 180 / (w + h)};
      for (const Disc &d : discs) {
        const int dx = x - d.cx, dy = y - d.cy;
        if (dx * dx + dy * dy <= d.radius * d.radius) c = d.colour;
      }
      for (const Box &b : boxes) {
        if (x >= b.x0 && x < b.x1 && y >= b.y0 && y < b.y1) c = b.colour;
      }
      // GRGR: even rows G R G R, odd rows B G B G.
      int v;
      if ((y & 1) == 0)
        v = (x & 1) == 0 ? c.g : c.r;
      else
        v = (x & 1) == 0 ? c.b : c.g;
      row[x] = static_cast<std::uint8_t>(v);
    }
  }
}

std::size_t Scene::corner(const FrameInfo &frame, int pattern) const {
  const Window &win = frame.window;
  // The phase of the mosaic that gives `pattern` at the window's corner.
  int ox = 0, oy = 0;
  switch (pattern) {
    case 2:
      oy = 1;
      break;  // BGBG
    case 3:
      ox = 1;
      break;  // RGRG
    case 4:
      ox = 1;
      oy = 1;
      break;  // GBGB
    default:
      break;  // GRGR
  }
  const int step = frame.seq < 0 ? 0 : frame.seq;
  int sx = win.x0 + 2 * (step % (kMotion / 2));
  int sy = win.y0 + 2 * ((step / (kMotion / 2)) % (kMotion / 2));
  if ((sx & 1) != ox) ++sx;
  if ((sy & 1) != oy) ++sy;
  return static_cast<std::size_t>(sy) * width_ + sx;
}

const std::uint8_t *Scene::unscaled(const FrameInfo &frame, int pattern) const {
  return scaled(frame) ? nullptr : &samples_[corner(frame, pattern)];
}

void Scene::render(const FrameInfo &frame, int pattern, std::uint8_t *out, int first,
                   int rows) const {
  const Window &win = frame.window;
  const std::uint8_t *const origin = &samples_[corner(frame, pattern)];
  const bool scale = scaled(frame);
  std::uint8_t lut[256];
  if (scale) brightnessTable(frame, lut);
  const int end = std::min(win.height, first + rows);
  for (int r = std::max(0, first); r < end; ++r) {
    const std::uint8_t *src = origin + static_cast<std::size_t>(r) * width_;
    std::uint8_t *dst = out + static_cast<std::size_t>(r) * win.width;
    if (!scale) {
      std::memcpy(dst, src, win.width);
    } else {
      for (int x = 0; x < win.width; ++x) dst[x] = lut[src[x]];
    }
  }
}

}  // namespace detail
}  // namespace ocamsim
