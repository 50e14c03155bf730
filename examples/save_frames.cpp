// Streams N frames from a camera, converts each to RGB on the PC and saves it
// as a PNG file: frame-<seqNr>.png in the output directory.
//
//   save_frames ADDRESS [N [DIR]]    N frames (10) into DIR (.)
#include <ocamera/stream.h>
#include <png.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

// Writes width x height RGB pixels (3 bytes each, rows one after the other).
bool writePng(const std::string &path, const unsigned char *rgb, int width, int height) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  image.width = static_cast<png_uint_32>(width);
  image.height = static_cast<png_uint_32>(height);
  image.format = PNG_FORMAT_RGB;
  if (!png_image_write_to_file(&image, path.c_str(), 0, rgb, 0, nullptr)) {
    std::fprintf(stderr, "%s: %s\n", path.c_str(), image.message);
    return false;
  }
  return true;
}

}  // namespace

int main(int argc, char **argv) {
  if (argc < 2) return std::fprintf(stderr, "usage: save_frames ADDRESS [N [DIR]]\n"), 2;
  const int count = argc > 2 ? std::atoi(argv[2]) : 10;
  const std::string dir = argc > 3 ? argv[3] : ".";

  ocamera::StreamOptions options;                  // 1280 x 1024 at 0,0 unless set here
  options.rgb = true;                              // converted on the grab thread
  options.frameLimit = count;                      // exactly N frames, nothing fetched beyond them
  options.whenFull = ocamera::QueuePolicy::Block;  // keep every frame
  std::string error;
  auto stream = ocamera::Stream::create(argv[1], options, &error);
  if (!stream || stream->start(&error) != 0) {
    std::fprintf(stderr, "save_frames: %s\n", error.c_str());
    return 1;
  }
  int saved = 0;
  ocamera::Frame frame;
  while (saved < count) {
    // Stopped once the N frames are fetched and taken; Timeout or Lost while
    // the camera is away (the stream recovers by itself): wait on.
    const ocamera::FetchResult result = stream->next(frame, 5000);
    if (result == ocamera::FetchResult::Stopped) break;
    if (result != ocamera::FetchResult::Frame) continue;
    const std::string path = dir + "/frame-" + std::to_string(frame.seqNr()) + ".png";
    if (!writePng(path, frame.data(), frame.width(), frame.height())) return 1;
    std::printf("%s\n", path.c_str());
    ++saved;
  }
  return saved == count ? 0 : 1;
}
