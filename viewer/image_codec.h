// The viewer's image encodings: JPEG for the live picture (libjpeg-turbo),
// PNG for a full-resolution snapshot (libpng), both into memory, and a box
// filter that shrinks an RGB picture for a browser that asks for less.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace ocam_viewer {

// Shrinks a packed RGB picture by `factor` in each direction (a mean of each
// factor x factor block); the result is (width / factor) x (height / factor).
// factor 1 copies.
void shrinkRgb(const unsigned char *rgb, int width, int height, int factor,
               std::vector<unsigned char> &out);

// Compresses packed RGB to JPEG. One encoder per thread; not thread-safe.
class JpegEncoder {
 public:
  JpegEncoder();
  ~JpegEncoder();
  JpegEncoder(const JpegEncoder &) = delete;
  JpegEncoder &operator=(const JpegEncoder &) = delete;
  // false (with `out` empty) when the library fails; `quality` 1..100.
  bool encode(const unsigned char *rgb, int width, int height, int quality,
              std::vector<unsigned char> &out);

 private:
  void *handle_;
};

// A packed RGB (channels 3) or grey (channels 1) picture as PNG bytes; empty on failure.
std::vector<unsigned char> encodePng(const unsigned char *pixels, int width, int height,
                                     int channels);

}  // namespace ocam_viewer
