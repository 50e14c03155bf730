#include "sim/pictures.h"

#include <png.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace ocamsim {
namespace detail {
namespace {

namespace fs = std::filesystem;

[[noreturn]] void fail(const std::string &path, const std::string &why) {
  throw std::runtime_error("ocamsim: cannot use images from " + path + ": " + why);
}

bool endsWith(const std::string &name, const char *suffix) {
  const std::size_t n = std::strlen(suffix);
  if (name.size() < n) return false;
  for (std::size_t i = 0; i < n; ++i)
    if (std::tolower(static_cast<unsigned char>(name[name.size() - n + i])) != suffix[i])
      return false;
  return true;
}

std::vector<std::uint8_t> readFile(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) fail(path, std::strerror(errno));
  std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                  std::istreambuf_iterator<char>());
  if (in.bad()) fail(path, "read error");
  return bytes;
}

bool isPng(const std::vector<std::uint8_t> &bytes) {
  static const std::uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  return bytes.size() >= 8 && std::memcmp(bytes.data(), kSignature, 8) == 0;
}

// The channel (0 R, 1 G, 2 B) of sample (x, y) of a window whose top-left
// sample is the first colour of `pattern`.
int channelAt(int pattern, int x, int y) {
  // Rows of each pattern: the colours at even and odd x, for even and odd y.
  static const int kLayout[4][2][2] = {
      {{1, 0}, {2, 1}},  // GRGR: G R / B G
      {{2, 1}, {1, 0}},  // BGBG: B G / G R
      {{0, 1}, {1, 2}},  // RGRG: R G / G B
      {{1, 2}, {0, 1}},  // GBGB: G B / R G
  };
  const int p = pattern >= 1 && pattern <= 4 ? pattern - 1 : 0;
  return kLayout[p][y & 1][x & 1];
}

}  // namespace

std::unique_ptr<Pictures> Pictures::load(const std::string &path, int width, int height) {
  std::unique_ptr<Pictures> p(new Pictures(width, height));
  std::error_code ec;
  const fs::file_status st = fs::status(path, ec);
  if (ec) fail(path, ec.message());
  if (fs::is_directory(st)) {
    std::vector<std::string> files;
    for (const fs::directory_entry &e : fs::directory_iterator(path, ec)) {
      const std::string name = e.path().filename().string();
      if (e.is_regular_file() && (endsWith(name, ".png") || endsWith(name, ".raw")))
        files.push_back(e.path().string());
    }
    if (ec) fail(path, ec.message());
    if (files.empty()) fail(path, "the directory holds no .png or .raw file");
    if (files.size() > kMaxPictures)
      fail(path, "more than " + std::to_string(kMaxPictures) + " pictures");
    std::sort(files.begin(), files.end());
    for (const std::string &f : files) p->add(f);
  } else {
    p->add(path);
  }
  return p;
}

void Pictures::add(const std::string &file) {
  const std::vector<std::uint8_t> bytes = readFile(file);
  const std::size_t samples = static_cast<std::size_t>(width_) * height_;
  Picture pic;
  if (!isPng(bytes)) {
    if (bytes.size() != samples)
      fail(file, "neither a PNG file nor " + std::to_string(width_) + "x" +
                     std::to_string(height_) + " raw Bayer samples (" + std::to_string(samples) +
                     " bytes; the file has " + std::to_string(bytes.size()) + ")");
    pic.raw = true;
    pic.bytes = bytes;
    pictures_.push_back(std::move(pic));
    return;
  }
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&image, bytes.data(), bytes.size()))
    fail(file, image.message);
  image.format = PNG_FORMAT_RGB;
  std::vector<std::uint8_t> rgb(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr)) {
    const std::string why = image.message;
    png_image_free(&image);
    fail(file, why);
  }
  const int w = static_cast<int>(image.width), h = static_cast<int>(image.height);
  if (w == width_ && h == height_) {
    pic.bytes = std::move(rgb);
  } else {
    // Scaled to cover the sensor, aspect ratio kept, centred.
    const double scale =
        std::max(static_cast<double>(width_) / w, static_cast<double>(height_) / h);
    const double offX = (w * scale - width_) / 2, offY = (h * scale - height_) / 2;
    pic.bytes.resize(samples * 3);
    for (int y = 0; y < height_; ++y) {
      const int sy = std::min(h - 1, static_cast<int>((y + offY + 0.5) / scale));
      for (int x = 0; x < width_; ++x) {
        const int sx = std::min(w - 1, static_cast<int>((x + offX + 0.5) / scale));
        std::memcpy(&pic.bytes[(static_cast<std::size_t>(y) * width_ + x) * 3],
                    &rgb[(static_cast<std::size_t>(sy) * w + sx) * 3], 3);
      }
    }
  }
  pictures_.push_back(std::move(pic));
}

const Pictures::Picture &Pictures::picture(const FrameInfo &frame) const {
  const std::size_t n = pictures_.size();
  return pictures_[static_cast<std::size_t>(frame.picture < 0 ? 0 : frame.picture) % n];
}

const std::uint8_t *Pictures::unscaled(const FrameInfo &frame, int) const {
  const Picture &pic = picture(frame);
  if (!pic.raw || scaled(frame)) return nullptr;
  const Window &win = frame.window;
  return &pic.bytes[static_cast<std::size_t>(win.y0 & ~1) * width_ + (win.x0 & ~1)];
}

void Pictures::render(const FrameInfo &frame, int pattern, std::uint8_t *out, int first,
                      int rows) const {
  const Picture &pic = picture(frame);
  const Window &win = frame.window;
  std::uint8_t lut[256];
  brightnessTable(frame, lut);
  const int end = std::min(win.height, first + rows);
  for (int r = std::max(0, first); r < end; ++r) {
    std::uint8_t *dst = out + static_cast<std::size_t>(r) * win.width;
    if (pic.raw) {
      const std::uint8_t *src =
          &pic.bytes[static_cast<std::size_t>((win.y0 & ~1) + r) * width_ + (win.x0 & ~1)];
      for (int x = 0; x < win.width; ++x) dst[x] = lut[src[x]];
    } else {
      const std::uint8_t *src =
          &pic.bytes[(static_cast<std::size_t>(win.y0 + r) * width_ + win.x0) * 3];
      for (int x = 0; x < win.width; ++x) dst[x] = lut[src[3 * x + channelAt(pattern, x, r)]];
    }
  }
}

}  // namespace detail
}  // namespace ocamsim
