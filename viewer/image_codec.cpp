#include "viewer/image_codec.h"

#include <png.h>
#include <turbojpeg.h>

#include <cstring>

namespace ocam_viewer {

void shrinkRgb(const unsigned char *rgb, int width, int height, int factor,
               std::vector<unsigned char> &out) {
  if (factor <= 1) {
    out.assign(rgb, rgb + static_cast<std::size_t>(width) * height * 3);
    return;
  }
  const int w = width / factor, h = height / factor;
  out.resize(static_cast<std::size_t>(w) * h * 3);
  const int area = factor * factor;
  std::vector<unsigned> sums(static_cast<std::size_t>(w) * 3);
  for (int y = 0; y < h; ++y) {
    std::fill(sums.begin(), sums.end(), 0u);
    for (int dy = 0; dy < factor; ++dy) {
      const unsigned char *row = rgb + (static_cast<std::size_t>(y) * factor + dy) * width * 3;
      for (int x = 0; x < w; ++x) {
        const unsigned char *p = row + static_cast<std::size_t>(x) * factor * 3;
        unsigned *s = &sums[static_cast<std::size_t>(x) * 3];
        for (int dx = 0; dx < factor; ++dx, p += 3) {
          s[0] += p[0];
          s[1] += p[1];
          s[2] += p[2];
        }
      }
    }
    unsigned char *dst = &out[static_cast<std::size_t>(y) * w * 3];
    for (std::size_t i = 0; i < sums.size(); ++i)
      dst[i] = static_cast<unsigned char>(sums[i] / area);
  }
}

JpegEncoder::JpegEncoder() : handle_(tjInitCompress()) {}

JpegEncoder::~JpegEncoder() {
  if (handle_) tjDestroy(static_cast<tjhandle>(handle_));
}

bool JpegEncoder::encode(const unsigned char *rgb, int width, int height, int quality,
                         std::vector<unsigned char> &out) {
  out.clear();
  if (!handle_ || width <= 0 || height <= 0) return false;
  unsigned char *jpeg = nullptr;
  unsigned long size = 0;
  const int rc = tjCompress2(static_cast<tjhandle>(handle_), rgb, width, 0, height, TJPF_RGB, &jpeg,
                             &size, TJSAMP_420, quality, TJFLAG_FASTDCT);
  if (rc == 0 && jpeg) out.assign(jpeg, jpeg + size);
  if (jpeg) tjFree(jpeg);
  return rc == 0 && !out.empty();
}

namespace {
void appendBytes(png_structp png, png_bytep data, png_size_t length) {
  auto *out = static_cast<std::vector<unsigned char> *>(png_get_io_ptr(png));
  out->insert(out->end(), data, data + length);
}
void noFlush(png_structp) {}
}  // namespace

std::vector<unsigned char> encodePng(const unsigned char *pixels, int width, int height,
                                     int channels) {
  std::vector<unsigned char> out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  if (!png) return out;
  png_infop info = png_create_info_struct(png);
  if (!info || setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, info ? &info : nullptr);
    out.clear();
    return out;
  }
  png_set_write_fn(png, &out, appendBytes, noFlush);
  png_set_compression_level(png, 1);  // a snapshot is wanted now, not smallest
  png_set_IHDR(png, info, width, height, 8,
               channels == 1 ? PNG_COLOR_TYPE_GRAY : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  const std::size_t stride = static_cast<std::size_t>(width) * channels;
  for (int y = 0; y < height; ++y) png_write_row(png, const_cast<png_bytep>(pixels + stride * y));
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return out;
}

}  // namespace ocam_viewer
