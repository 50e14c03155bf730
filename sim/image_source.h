// What the simulated sensor looks at: a source of raw Bayer samples (the
// built-in scene, or pictures from files), and what every frame adds on the
// way out: brightness from exposure and gain, and sensor noise.
#pragma once

#include <cstddef>
#include <cstdint>

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
  int picture = 0;        // which picture of the source (pictures from files)
  double exposure = 1.0;  // brightness factor: 1 renders the source as it is
  int noise = 0;          // noise amplitude in grey levels; 0: none
  std::uint32_t noiseSeed = 0;
};

class ImageSource {
 public:
  virtual ~ImageSource() = default;
  // Writes rows [first, first + rows) of the window's samples in `pattern`
  // (1 GRGR, 2 BGBG, 3 RGRG, 4 GBGB), brightness scaled by the exposure but
  // without noise; `out` is the start of the whole window's samples.
  virtual void render(const FrameInfo &frame, int pattern, std::uint8_t *out, int first,
                      int rows) const = 0;
  // The same for the whole window.
  void render(const FrameInfo &frame, int pattern, std::uint8_t *out) const {
    render(frame, pattern, out, 0, frame.window.height);
  }
  // For a frame whose samples are the source's as they are (exposure 1):
  // where the window's first row lies, the next rows following at stride().
  // nullptr for a frame that must be rendered.
  virtual const std::uint8_t *unscaled(const FrameInfo &frame, int pattern) const = 0;
  virtual std::size_t stride() const = 0;
};

// Whether a frame's brightness differs from the source's.
bool scaled(const FrameInfo &frame);
// The brightness table of a frame: value -> value x exposure, rounded, at most 255.
void brightnessTable(const FrameInfo &frame, std::uint8_t lut[256]);
// Renders rows [first, first + rows) of a frame as the sensor delivers them:
// the source's samples, then the frame's noise.
void renderRows(const ImageSource &source, const FrameInfo &frame, int pattern, std::uint8_t *out,
                int first, int rows);
inline void renderAll(const ImageSource &source, const FrameInfo &frame, int pattern,
                      std::uint8_t *out) {
  renderRows(source, frame, pattern, out, 0, frame.window.height);
}

}  // namespace detail
}  // namespace ocamsim
