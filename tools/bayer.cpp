// Demosaicing of raw GRGR and BGBG frames into 24-bit RGB, plain or with
// per-channel gains. The outer rows and columns have routines of their own that
// know which neighbours exist; the interior of each row goes through a row
// function (vectorised on x86) that reads its eight neighbours without tests.

#include "tools/bayer.h"

#include <cstddef>

#include "ocamera/tools.h"

namespace ocamera {
namespace tools {

namespace {

inline unsigned Mean2(unsigned a, unsigned b) { return (a + b) >> 1; }

inline void Put(std::uint8_t *out, unsigned red, unsigned green, unsigned blue,
                const ChannelGains *gains) {
  if (gains != nullptr) {
    out[0] = gains->table[0][red];
    out[1] = gains->table[1][green];
    out[2] = gains->table[2][blue];
  } else {
    out[0] = static_cast<std::uint8_t>(red);
    out[1] = static_cast<std::uint8_t>(green);
    out[2] = static_cast<std::uint8_t>(blue);
  }
}

// In a red row G sits at even x and R at odd x; in a blue row B at even x and G
// at odd x.
inline bool GreenSite(int x, bool redRow) { return ((x & 1) == 0) == redRow; }

// Writes a pixel given the chroma of its own row, its green and the chroma of
// the rows above and below.
inline void PutSites(std::uint8_t *out, bool redRow, unsigned own, unsigned green, unsigned other,
                     const ChannelGains *gains) {
  if (redRow) {
    Put(out, own, green, other, gains);
  } else {
    Put(out, other, green, own, gains);
  }
}

// A corner at column `x` of `row`; `inner` is the column beside it and `next`
// the row beside it. Each missing colour is the one neighbour that has it.
void Corner(const std::uint8_t *row, const std::uint8_t *next, int x, int inner, bool redRow,
            std::uint8_t *out, const ChannelGains *gains) {
  if (GreenSite(x, redRow)) {
    PutSites(out, redRow, row[inner], row[x], next[x], gains);
  } else {
    PutSites(out, redRow, row[x], row[inner], next[inner], gains);
  }
}

// The top row between the corners; `down` is the row below.
void TopRow(const std::uint8_t *row, const std::uint8_t *down, int width, bool redRow,
            std::uint8_t *out, const ChannelGains *gains) {
  for (int x = 1; x < width - 1; ++x) {
    if (GreenSite(x, redRow)) {
      PutSites(out + 3 * x, redRow, Mean2(row[x - 1], row[x + 1]), Mean2(row[x], down[x + 1]),
               down[x], gains);
    } else {
      PutSites(out + 3 * x, redRow, row[x], Mean2(row[x + 1], down[x]),
               Mean2(down[x - 1], down[x + 1]), gains);
    }
  }
}

// The bottom row between the corners; `up` is the row above. The green of a
// chroma site takes the left neighbour in a GRGR frame and the right one in a
// BGBG frame.
void BottomRow(const std::uint8_t *up, const std::uint8_t *row, int width, bool redRow, bool bgbg,
               std::uint8_t *out, const ChannelGains *gains) {
  const int side = bgbg ? 1 : -1;
  for (int x = 1; x < width - 1; ++x) {
    if (GreenSite(x, redRow)) {
      PutSites(out + 3 * x, redRow, Mean2(row[x - 1], row[x + 1]), Mean2(row[x], up[x - 1]), up[x],
               gains);
    } else {
      PutSites(out + 3 * x, redRow, row[x], Mean2(up[x], row[x + side]),
               Mean2(up[x - 1], up[x + 1]), gains);
    }
  }
}

// Column 0 of a middle row.
inline void LeftPixel(const std::uint8_t *up, const std::uint8_t *row, const std::uint8_t *down,
                      bool redRow, std::uint8_t *out, const ChannelGains *gains) {
  if (GreenSite(0, redRow)) {
    PutSites(out, redRow, row[1], Mean2(row[0], down[1]), Mean2(up[0], down[0]), gains);
  } else {
    PutSites(out, redRow, row[0], Mean2(row[1], down[0]), Mean2(up[1], down[1]), gains);
  }
}

// The last column `x` of a middle row. The green of an R site comes from the
// left and below, that of a B site from above and the left.
inline void RightPixel(const std::uint8_t *up, const std::uint8_t *row, const std::uint8_t *down,
                       int x, bool redRow, std::uint8_t *out, const ChannelGains *gains) {
  if (GreenSite(x, redRow)) {
    PutSites(out, redRow, row[x - 1], Mean2(row[x], up[x - 1]), Mean2(up[x], down[x]), gains);
  } else {
    const unsigned green = redRow ? Mean2(row[x - 1], down[x]) : Mean2(up[x], row[x - 1]);
    PutSites(out, redRow, row[x], green, Mean2(up[x - 1], down[x - 1]), gains);
  }
}

InteriorRowFunction RowFunctionFor(BayerIsa isa) {
#if defined(__x86_64__) || defined(__i386__)
  switch (isa) {
    case BayerIsa::kAvx512Vbmi:
      return avx512::InteriorRow;
    case BayerIsa::kAvx2:
      return avx2::InteriorRow;
    case BayerIsa::kSsse3:
      return ssse3::InteriorRow;
    case BayerIsa::kScalar:
      break;
  }
#else
  (void)isa;
#endif
  return InteriorRowScalar;
}

BayerIsa DetectBayerIsa() {
#if defined(__x86_64__) || defined(__i386__)
  __builtin_cpu_init();
  if (__builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512vbmi")) {
    return BayerIsa::kAvx512Vbmi;
  }
  if (__builtin_cpu_supports("avx2")) return BayerIsa::kAvx2;
  if (__builtin_cpu_supports("ssse3")) return BayerIsa::kSsse3;
#endif
  return BayerIsa::kScalar;
}

}  // namespace

void PrepareGains(int red, int green, int blue, ChannelGains *gains) {
  const int factors[3] = {red, green, blue};
  constexpr std::int64_t kLimit = 0x1000000;
  for (int c = 0; c < 3; ++c) {
    // 64-bit throughout: a factor above 32767 % or a product above 32 bits must
    // saturate to 255 instead of wrapping round.
    const std::int64_t scale = static_cast<std::int64_t>(factors[c]) * 65536 / 100;
    for (int v = 0; v < 256; ++v) {
      const std::int64_t product = v * scale;
      gains->table[c][v] =
          (product < 0 || product >= kLimit) ? 255 : static_cast<std::uint8_t>(product >> 16);
    }
    const std::int64_t limited = (scale < 0 || scale > kLimit) ? kLimit : scale;
    gains->high[c] = static_cast<std::uint16_t>(limited >> 16);
    gains->low[c] = static_cast<std::uint16_t>(limited & 0xffff);
  }
}

BayerIsa BestBayerIsa() {
  static const BayerIsa best = DetectBayerIsa();
  return best;
}

bool BayerIsaAvailable(BayerIsa isa) {
  // Each instruction set includes the ones before it.
  return static_cast<int>(isa) <= static_cast<int>(BestBayerIsa());
}

void InteriorPixels(const std::uint8_t *up, const std::uint8_t *row, const std::uint8_t *down,
                    std::uint8_t *out, int from, int to, bool redRow, const ChannelGains *gains) {
  for (int x = from; x < to; ++x) {
    if (GreenSite(x, redRow)) {
      PutSites(out + 3 * x, redRow, Mean2(row[x - 1], row[x + 1]), Mean2(row[x], up[x - 1]),
               Mean2(up[x], down[x]), gains);
    } else {
      PutSites(out + 3 * x, redRow, row[x], (up[x] + row[x - 1] + row[x + 1] + down[x]) >> 2,
               (up[x - 1] + up[x + 1] + down[x - 1] + down[x + 1]) >> 2, gains);
    }
  }
}

void InteriorRowScalar(const std::uint8_t *up, const std::uint8_t *row, const std::uint8_t *down,
                       std::uint8_t *out, int width, bool redRow, const ChannelGains *gains) {
  InteriorPixels(up, row, down, out, 1, width - 1, redRow, gains);
}

void ConvertBayer(const std::uint8_t *source, std::uint8_t *destination, int width, int height,
                  bool bgbg, const ChannelGains *gains, BayerIsa isa) {
  const InteriorRowFunction interiorRow = RowFunctionFor(isa);
  const std::ptrdiff_t stride = width;
  const std::ptrdiff_t outStride = 3 * stride;
  const int right = width - 1;
  auto redRow = [bgbg](int y) { return ((y & 1) == 0) != bgbg; };

  // Row by row from the top, so that the rows just read stay in the cache.
  const std::uint8_t *first = source;
  Corner(first, first + stride, 0, 1, redRow(0), destination, gains);
  TopRow(first, first + stride, width, redRow(0), destination, gains);
  Corner(first, first + stride, right, right - 1, redRow(0), destination + 3 * right, gains);
  for (int y = 1; y < height - 1; ++y) {
    const std::uint8_t *row = source + y * stride;
    std::uint8_t *out = destination + y * outStride;
    LeftPixel(row - stride, row, row + stride, redRow(y), out, gains);
    interiorRow(row - stride, row, row + stride, out, width, redRow(y), gains);
    RightPixel(row - stride, row, row + stride, right, redRow(y), out + 3 * right, gains);
  }
  const int bottom = height - 1;
  const std::uint8_t *last = source + bottom * stride;
  std::uint8_t *out = destination + bottom * outStride;
  Corner(last, last - stride, 0, 1, redRow(bottom), out, gains);
  BottomRow(last - stride, last, width, redRow(bottom), bgbg, out, gains);
  Corner(last, last - stride, right, right - 1, redRow(bottom), out + 3 * right, gains);
}

}  // namespace tools
}  // namespace ocamera

namespace {

// Whether a conversion writes anything: pointers present, at least 2 x 2, and
// a layout that is converted (RGRG and GBGB are not; every other value is GRGR).
bool Converts(const unsigned char *source, const unsigned char *destination, int width, int height,
              OCameraTools::eBayerPattern pattern) {
  if (source == nullptr || destination == nullptr || width < 2 || height < 2) return false;
  return pattern != OCameraTools::BAYER_PATTERN_RGRG && pattern != OCameraTools::BAYER_PATTERN_GBGB;
}

}  // namespace

void OCameraTools::Bayer2RGB(unsigned char *source, unsigned char *destination, int width,
                             int height, eBayerPattern pattern) {
  if (!Converts(source, destination, width, height, pattern)) return;
  ocamera::tools::ConvertBayer(source, destination, width, height, pattern == BAYER_PATTERN_BGBG,
                               nullptr, ocamera::tools::BestBayerIsa());
}

void OCameraTools::Bayer2RGBWhiteBalance(unsigned char *source, unsigned char *destination,
                                         int width, int height, int redFactor, int greenFactor,
                                         int blueFactor, eBayerPattern pattern) {
  if (!Converts(source, destination, width, height, pattern)) return;
  // 100 % on every channel is the plain conversion, without the table lookups.
  ocamera::tools::ChannelGains gains;
  const bool unity = redFactor == 100 && greenFactor == 100 && blueFactor == 100;
  if (!unity) ocamera::tools::PrepareGains(redFactor, greenFactor, blueFactor, &gains);
  ocamera::tools::ConvertBayer(source, destination, width, height, pattern == BAYER_PATTERN_BGBG,
                               unity ? nullptr : &gains, ocamera::tools::BestBayerIsa());
}

int OCameraTools::Bayer2RGBBuiltIn(unsigned char *source, unsigned char *destination, int width,
                                   int height, eBayerPattern pattern) {
  // Unity gains for a factor the file does not give a number for.
  int red = 100;
  int green = 100;
  int blue = 100;
  const int result = GetWhiteBalanceFactors(&red, &green, &blue);
  if (result < 0) red = green = blue = 100;
  Bayer2RGBWhiteBalance(source, destination, width, height, red, green, blue, pattern);
  return result;
}
