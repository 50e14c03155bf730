// Megapixels per second of the Bayer conversion on one thread, for three frame
// sizes, beside the per-pixel reference, OpenCV's bilinear conversion of the
// same frame and a copy of the same bytes (read one, write three per pixel: the
// memory ceiling).

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "ocamera/tools.h"
#include "tools/bayer.h"
#include "tools/bayer_reference.h"

#if defined(OCAMERA_BENCH_WITH_OPENCV)
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#endif

namespace {

constexpr int kRed = 120, kGreen = 100, kBlue = 85;

struct Frame {
  int width;
  int height;
  std::vector<std::uint8_t> source;
  std::vector<std::uint8_t> destination;

  explicit Frame(const benchmark::State &state)
      : width(static_cast<int>(state.range(0))),
        height(static_cast<int>(state.range(1))),
        source(static_cast<size_t>(width) * height),
        destination(source.size() * 3) {
    std::mt19937 random(42);
    for (auto &sample : source) sample = static_cast<std::uint8_t>(random());
  }

  void Report(benchmark::State &state) const {
    state.counters["Mpix"] =
        benchmark::Counter(width * 1e-6 * height, benchmark::Counter::kIsIterationInvariantRate);
  }
};

void Bayer2RGB(benchmark::State &state) {
  Frame f(state);
  for (auto _ : state) {
    OCameraTools::Bayer2RGB(f.source.data(), f.destination.data(), f.width, f.height,
                            OCameraTools::BAYER_PATTERN_GRGR);
    benchmark::ClobberMemory();
  }
  f.Report(state);
}

void Bayer2RGBWhiteBalance(benchmark::State &state) {
  Frame f(state);
  for (auto _ : state) {
    OCameraTools::Bayer2RGBWhiteBalance(f.source.data(), f.destination.data(), f.width, f.height,
                                        kRed, kGreen, kBlue, OCameraTools::BAYER_PATTERN_GRGR);
    benchmark::ClobberMemory();
  }
  f.Report(state);
}

// The library's conversion on one instruction set (the third argument, a
// BayerIsa), plain or with gains (the fourth): what machines without the best
// set get.
void ConvertBayerOn(benchmark::State &state) {
  using ocamera::tools::BayerIsa;
  Frame f(state);
  const auto isa = static_cast<BayerIsa>(state.range(2));
  const char *const names[] = {"scalar", "ssse3", "avx2", "avx512vbmi"};
  state.SetLabel(names[state.range(2)]);
  if (!ocamera::tools::BayerIsaAvailable(isa)) {
    state.SkipWithError("instruction set not available");
    return;
  }
  ocamera::tools::ChannelGains gains;
  ocamera::tools::PrepareGains(kRed, kGreen, kBlue, &gains);
  const ocamera::tools::ChannelGains *used = state.range(3) != 0 ? &gains : nullptr;
  for (auto _ : state) {
    ocamera::tools::ConvertBayer(f.source.data(), f.destination.data(), f.width, f.height, false,
                                 used, isa);
    benchmark::ClobberMemory();
  }
  f.Report(state);
}

void ReferencePlain(benchmark::State &state) {
  Frame f(state);
  for (auto _ : state) {
    bayer_reference::Convert(f.source.data(), f.destination.data(), f.width, f.height, 1, nullptr);
    benchmark::ClobberMemory();
  }
  f.Report(state);
}

void ReferenceWhiteBalance(benchmark::State &state) {
  Frame f(state);
  const int factors[3] = {kRed, kGreen, kBlue};
  for (auto _ : state) {
    bayer_reference::Convert(f.source.data(), f.destination.data(), f.width, f.height, 1, factors);
    benchmark::ClobberMemory();
  }
  f.Report(state);
}

#if defined(OCAMERA_BENCH_WITH_OPENCV)
void OpenCvBilinear(benchmark::State &state) {
  Frame f(state);
  const cv::Mat source(f.height, f.width, CV_8UC1, f.source.data());
  cv::Mat destination(f.height, f.width, CV_8UC3, f.destination.data());
  for (auto _ : state) {
    // OpenCV names a layout by the second row's second and third samples: for a
    // frame whose top row is G R, that is G B.
    cv::cvtColor(source, destination, cv::COLOR_BayerGB2RGB);
    benchmark::ClobberMemory();
  }
  f.Report(state);
}
#endif

// The memory ceiling: each source row read once and written three times.
void CopyCeiling(benchmark::State &state) {
  Frame f(state);
  const size_t width = static_cast<size_t>(f.width);
  for (auto _ : state) {
    for (int y = 0; y < f.height; ++y) {
      const std::uint8_t *row = f.source.data() + y * width;
      std::uint8_t *out = f.destination.data() + 3 * y * width;
      std::memcpy(out, row, width);
      std::memcpy(out + width, row, width);
      std::memcpy(out + 2 * width, row, width);
    }
    benchmark::ClobberMemory();
  }
  f.Report(state);
}

void Sizes(benchmark::internal::Benchmark *b) {
  b->Args({640, 480})->Args({1280, 1024})->Args({2592, 1944})->Unit(benchmark::kMicrosecond);
}

void SizesAndInstructionSets(benchmark::internal::Benchmark *b) {
  for (int gains : {0, 1}) {
    for (int isa = 0; isa < 4; ++isa) {
      b->Args({640, 480, isa, gains})->Args({2592, 1944, isa, gains});
    }
  }
  b->Unit(benchmark::kMicrosecond);
}

BENCHMARK(Bayer2RGB)->Apply(Sizes);
BENCHMARK(Bayer2RGBWhiteBalance)->Apply(Sizes);
BENCHMARK(ReferencePlain)->Apply(Sizes);
BENCHMARK(ReferenceWhiteBalance)->Apply(Sizes);
#if defined(OCAMERA_BENCH_WITH_OPENCV)
BENCHMARK(OpenCvBilinear)->Apply(Sizes);
#endif
BENCHMARK(CopyCeiling)->Apply(Sizes);
BENCHMARK(ConvertBayerOn)->Apply(SizesAndInstructionSets);

}  // namespace

int main(int argc, char **argv) {
#if defined(OCAMERA_BENCH_WITH_OPENCV)
  cv::setNumThreads(1);  // compared on one thread, as the conversion runs
#endif
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
