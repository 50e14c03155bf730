// Internals of the Bayer conversion shared by the portable code, the x86 row
// kernels and the tests that compare every instruction-set path.
#pragma once

#include <cstdint>

namespace ocamera {
namespace tools {

// Per-channel gains of the white-balance conversion, prepared once per call.
// Channel 0 is red, 1 green, 2 blue.
struct ChannelGains {
  // Scaled value for every possible input value: the table the scalar code uses.
  std::uint8_t table[3][256];
  // The same gain as scale = high * 65536 + low, with the scale limited to
  // [0, 0x1000000]: every larger or negative scale gives 255 for each non-zero
  // value, exactly as 0x1000000 does, and the limit keeps v * scale >> 16 within
  // 16 bits for the vector code.
  std::uint16_t high[3];
  std::uint16_t low[3];
};

// Fills `gains` for the factors in percent (100 leaves a channel unchanged).
void PrepareGains(int red, int green, int blue, ChannelGains *gains);

// The instruction sets the interior of a frame can be converted with.
enum class BayerIsa { kScalar, kSsse3, kAvx2, kAvx512Vbmi };

// The best instruction set this processor runs.
BayerIsa BestBayerIsa();
// Whether this build and processor can run `isa`.
bool BayerIsaAvailable(BayerIsa isa);

// Converts the interior pixels 1 <= x < width - 1 of one row with 0 < y < height - 1.
// `up`, `row` and `down` are the source rows y - 1, y and y + 1; `out` is the
// destination row y. In a red row G sits at even x and R at odd x; in a blue
// row B sits at even x and G at odd x. `gains` is null for the plain conversion.
using InteriorRowFunction = void (*)(const std::uint8_t *up, const std::uint8_t *row,
                                     const std::uint8_t *down, std::uint8_t *out, int width,
                                     bool redRow, const ChannelGains *gains);

// The same for the interior pixels from <= x < to of one row, one at a time.
void InteriorPixels(const std::uint8_t *up, const std::uint8_t *row, const std::uint8_t *down,
                    std::uint8_t *out, int from, int to, bool redRow, const ChannelGains *gains);
void InteriorRowScalar(const std::uint8_t *up, const std::uint8_t *row, const std::uint8_t *down,
                       std::uint8_t *out, int width, bool redRow, const ChannelGains *gains);
#if defined(__x86_64__) || defined(__i386__)
// The vectorised forms, 16, 32 and 64 pixels a step; each runs only where
// BayerIsaAvailable says so.
namespace ssse3 {
void InteriorRow(const std::uint8_t *up, const std::uint8_t *row, const std::uint8_t *down,
                 std::uint8_t *out, int width, bool redRow, const ChannelGains *gains);
}
namespace avx2 {
void InteriorRow(const std::uint8_t *up, const std::uint8_t *row, const std::uint8_t *down,
                 std::uint8_t *out, int width, bool redRow, const ChannelGains *gains);
}
namespace avx512 {
void InteriorRow(const std::uint8_t *up, const std::uint8_t *row, const std::uint8_t *down,
                 std::uint8_t *out, int width, bool redRow, const ChannelGains *gains);
}
#endif

// The whole conversion on a chosen instruction set. `bgbg` selects the BGBG
// layout, otherwise GRGR; `gains` is null for the plain conversion. The caller
// has checked pointers and a size of at least 2 x 2.
void ConvertBayer(const std::uint8_t *source, std::uint8_t *destination, int width, int height,
                  bool bgbg, const ChannelGains *gains, BayerIsa isa);

}  // namespace tools
}  // namespace ocamera
