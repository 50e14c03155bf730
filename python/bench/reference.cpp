// The C++ side of the Python benchmark, on the public interface only:
//   python_bench_reference stream ADDRESS WIDTH HEIGHT FRAMES FPS
//       frames/s of a plain next() loop over a stream
//   python_bench_reference bayer RAW WIDTH HEIGHT PATTERN ROUNDS
//       seconds per Bayer2RGB of the frame in RAW
// Each prints one number on standard output.
#include <ocamera/stream.h>
#include <ocamera/tools.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double streamOnce(const char *address, int width, int height, int frames, float fps) {
  ocamera::StreamOptions options;
  options.width = width;
  options.height = height;
  std::string error;
  auto stream = ocamera::Stream::create(address, options, &error);
  if (!stream || stream->setFrameRate(fps) != 0 || stream->start() != 0) {
    std::fprintf(stderr, "python_bench_reference: %s\n", error.c_str());
    return 0;
  }
  ocamera::Frame frame;
  for (int i = 0; i < 3; ++i) stream->next(frame, 10000);  // the pipeline filled
  const auto start = Clock::now();
  int got = 0;
  while (got < frames && stream->next(frame, 10000) == ocamera::FetchResult::Frame) {
    frame.release();
    ++got;
  }
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  return got == frames ? got / seconds : 0;
}

// The first stream of the process warms its heap (the Python side runs in a
// long-lived process); the second is measured.
int streamRate(const char *address, int width, int height, int frames, float fps) {
  if (streamOnce(address, width, height, frames, fps) <= 0) return 1;
  const double rate = streamOnce(address, width, height, frames, fps);
  std::printf("%.3f\n", rate);
  return rate > 0 ? 0 : 1;
}

int bayerTime(const char *path, int width, int height, int pattern, int rounds) {
  std::ifstream in(path, std::ios::binary);
  std::vector<unsigned char> raw((std::istreambuf_iterator<char>(in)),
                                 std::istreambuf_iterator<char>());
  if (raw.size() != static_cast<std::size_t>(width) * height) return 1;
  std::vector<unsigned char> rgb(raw.size() * 3);
  const auto p = static_cast<OCameraTools::eBayerPattern>(pattern);
  OCameraTools::Bayer2RGB(raw.data(), rgb.data(), width, height, p);
  const auto start = Clock::now();
  for (int i = 0; i < rounds; ++i)
    OCameraTools::Bayer2RGB(raw.data(), rgb.data(), width, height, p);
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  std::printf("%.9f\n", seconds / rounds);
  return 0;
}

}  // namespace

int main(int argc, char **argv) {
  if (argc == 7 && std::strcmp(argv[1], "stream") == 0)
    return streamRate(argv[2], std::atoi(argv[3]), std::atoi(argv[4]), std::atoi(argv[5]),
                      static_cast<float>(std::atof(argv[6])));
  if (argc == 7 && std::strcmp(argv[1], "bayer") == 0)
    return bayerTime(argv[2], std::atoi(argv[3]), std::atoi(argv[4]), std::atoi(argv[5]),
                     std::atoi(argv[6]));
  std::fprintf(
      stderr,
      "usage: python_bench_reference stream ADDRESS W H FRAMES FPS | bayer RAW W H P ROUNDS\n");
  return 2;
}
