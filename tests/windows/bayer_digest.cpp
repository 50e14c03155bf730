// Prints one digest line per Bayer conversion of a fixed pseudo-random input:
// every instruction set the processor runs, both converted layouts, the plain
// and the white-balance conversion, odd and even sizes. The Linux and the
// Windows build print the same lines on the same processor, or their
// conversions differ (compare_digests.sh).
#include <cstdint>
#include <cstdio>
#include <vector>

#include "ocamera/tools.h"
#include "tools/bayer.h"

namespace {

using ocamera::tools::BayerIsa;

// FNV-1a, 64 bits.
std::uint64_t digest(const std::vector<std::uint8_t> &bytes) {
  std::uint64_t hash = 14695981039346656037ull;
  for (std::uint8_t byte : bytes) {
    hash ^= byte;
    hash *= 1099511628211ull;
  }
  return hash;
}

// A fixed input of every byte value (an xorshift generator, so both builds
// make the same bytes whatever their standard library).
std::vector<std::uint8_t> input(int width, int height) {
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(width) * height);
  std::uint32_t state = 0x12345678u ^ static_cast<std::uint32_t>(width * 7919 + height);
  for (auto &byte : bytes) {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    byte = static_cast<std::uint8_t>(state >> 24);
  }
  return bytes;
}

const char *isaName(BayerIsa isa) {
  switch (isa) {
    case BayerIsa::kScalar:
      return "scalar";
    case BayerIsa::kSsse3:
      return "ssse3";
    case BayerIsa::kAvx2:
      return "avx2";
    default:
      return "avx512vbmi";
  }
}

}  // namespace

int main() {
  const int sizes[][2] = {{2, 2}, {3, 5}, {67, 45}, {640, 480}, {1283, 1027}};
  const int factors[][3] = {{100, 100, 100}, {120, 85, 143}, {0, 10000, 255}};
  for (const auto &size : sizes) {
    const int width = size[0], height = size[1];
    std::vector<std::uint8_t> source = input(width, height);
    std::vector<std::uint8_t> rgb(source.size() * 3);
    for (BayerIsa isa :
         {BayerIsa::kScalar, BayerIsa::kSsse3, BayerIsa::kAvx2, BayerIsa::kAvx512Vbmi}) {
      // An instruction set the processor lacks prints as such, so that the
      // lines still pair up.
      if (!ocamera::tools::BayerIsaAvailable(isa)) {
        std::printf("%dx%d %s unavailable\n", width, height, isaName(isa));
        continue;
      }
      for (bool bgbg : {false, true}) {
        for (const auto &f : factors) {
          ocamera::tools::ChannelGains gains;
          ocamera::tools::PrepareGains(f[0], f[1], f[2], &gains);
          const bool plain = f[0] == 100 && f[1] == 100 && f[2] == 100;
          std::fill(rgb.begin(), rgb.end(), 0);
          ocamera::tools::ConvertBayer(source.data(), rgb.data(), width, height, bgbg,
                                       plain ? nullptr : &gains, isa);
          std::printf("%dx%d %s %s %d,%d,%d %016llx\n", width, height, isaName(isa),
                      bgbg ? "BGBG" : "GRGR", f[0], f[1], f[2],
                      static_cast<unsigned long long>(digest(rgb)));
        }
      }
    }
    // The public entry points, on the processor's best instruction set.
    std::fill(rgb.begin(), rgb.end(), 0);
    OCameraTools::Bayer2RGB(source.data(), rgb.data(), width, height,
                            OCameraTools::BAYER_PATTERN_BGBG);
    std::printf("%dx%d Bayer2RGB %016llx\n", width, height,
                static_cast<unsigned long long>(digest(rgb)));
    std::fill(rgb.begin(), rgb.end(), 0);
    OCameraTools::Bayer2RGBWhiteBalance(source.data(), rgb.data(), width, height, 90, 110, -5,
                                        OCameraTools::BAYER_PATTERN_GRGR);
    std::printf("%dx%d Bayer2RGBWhiteBalance %016llx\n", width, height,
                static_cast<unsigned long long>(digest(rgb)));
  }
  return 0;
}
