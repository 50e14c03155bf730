// Demosaicing of raw GRGR and BGBG frames into 24-bit RGB, plain or with
// per-channel gains. The outer rows and columns go through a per-pixel routine
// that knows which neighbours exist; the interior of each row goes through a row
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

struct Frame {
  const std::uint8_t *samples;
  int width;
  int height;
  bool bgbg;

  unsigned At(int y, int x) const { return samples[static_cast<std::ptrdiff_t>(y) * width + x]; }
};

// One pixel of the outer rows or columns. Where a neighbour falls outside the
// frame, the one on the opposite side (or a single neighbour) stands in for it.
void BorderPixel(const Frame &f, int x, int y, std::uint8_t *out, const ChannelGains *gains) {
  const bool top = y == 0;
  const bool bottom = y == f.height - 1;
  const bool left = x == 0;
  const bool right = x == f.width - 1;
  const bool corner = (top || bottom) && (left || right);
  // Red rows hold G at even x and R at odd x, blue rows B at even x and G at odd x.
  const bool redRow = ((y & 1) == 0) != f.bgbg;
  const bool greenSite = ((x & 1) == 0) == redRow;
  const unsigned self = f.At(y, x);

  if (greenSite) {
    // Green is smoothed with one diagonal green neighbour: the upper-left one,
    // or the lower-right one where the upper-left lies outside.
    const unsigned green = corner          ? self
                           : (top || left) ? Mean2(self, f.At(y + 1, x + 1))
                                           : Mean2(self, f.At(y - 1, x - 1));
    const unsigned rowChroma = left    ? f.At(y, x + 1)
                               : right ? f.At(y, x - 1)
                                       : Mean2(f.At(y, x - 1), f.At(y, x + 1));
    const unsigned columnChroma = top      ? f.At(y + 1, x)
                                  : bottom ? f.At(y - 1, x)
                                           : Mean2(f.At(y - 1, x), f.At(y + 1, x));
    if (redRow) {
      Put(out, rowChroma, green, columnChroma, gains);
    } else {
      Put(out, columnChroma, green, rowChroma, gains);
    }
    return;
  }

  unsigned green;
  if (corner) {
    green = left ? f.At(y, x + 1) : f.At(y, x - 1);
  } else if (top || left) {
    green = Mean2(f.At(y, x + 1), f.At(y + 1, x));
  } else if (bottom) {
    green = Mean2(f.At(y - 1, x), f.bgbg ? f.At(y, x + 1) : f.At(y, x - 1));
  } else if (redRow) {  // right column, R site
    green = Mean2(f.At(y, x - 1), f.At(y + 1, x));
  } else {  // right column, B site
    green = Mean2(f.At(y - 1, x), f.At(y, x - 1));
  }

  // The other chroma is the mean of the diagonal neighbours inside the frame:
  // one at a corner, two elsewhere on the border.
  unsigned sum = 0;
  int count = 0;
  for (int dy = -1; dy <= 1; dy += 2) {
    if ((dy < 0 && top) || (dy > 0 && bottom)) continue;
    for (int dx = -1; dx <= 1; dx += 2) {
      if ((dx < 0 && left) || (dx > 0 && right)) continue;
      sum += f.At(y + dy, x + dx);
      ++count;
    }
  }
  const unsigned other = count == 1 ? sum : sum >> 1;
  if (redRow) {
    Put(out, self, green, other, gains);
  } else {
    Put(out, other, green, self, gains);
  }
}

InteriorRowFunction RowFunctionFor(BayerIsa isa) {
#if defined(__x86_64__) || defined(__i386__)
  switch (isa) {
    case BayerIsa::kAvx2:
      return InteriorRowAvx2;
    case BayerIsa::kSsse3:
      return InteriorRowSsse3;
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
  const BayerIsa best = BestBayerIsa();
  switch (isa) {
    case BayerIsa::kScalar:
      return true;
    case BayerIsa::kSsse3:
      return best == BayerIsa::kSsse3 || best == BayerIsa::kAvx2;
    case BayerIsa::kAvx2:
      return best == BayerIsa::kAvx2;
  }
  return false;
}

void InteriorRowScalar(const std::uint8_t *up, const std::uint8_t *row, const std::uint8_t *down,
                       std::uint8_t *out, int width, bool redRow, const ChannelGains *gains) {
  for (int x = 1; x < width - 1; ++x) {
    unsigned own;  // the chroma of this row
    unsigned green;
    unsigned other;                  // the chroma of the rows above and below
    if (((x & 1) == 0) == redRow) {  // G site
      green = Mean2(row[x], up[x - 1]);
      own = Mean2(row[x - 1], row[x + 1]);
      other = Mean2(up[x], down[x]);
    } else {
      own = row[x];
      green = (up[x] + row[x - 1] + row[x + 1] + down[x]) >> 2;
      other = (up[x - 1] + up[x + 1] + down[x - 1] + down[x + 1]) >> 2;
    }
    if (redRow) {
      Put(out + 3 * x, own, green, other, gains);
    } else {
      Put(out + 3 * x, other, green, own, gains);
    }
  }
}

void ConvertBayer(const std::uint8_t *source, std::uint8_t *destination, int width, int height,
                  bool bgbg, const ChannelGains *gains, BayerIsa isa) {
  const Frame frame{source, width, height, bgbg};
  const InteriorRowFunction interiorRow = RowFunctionFor(isa);
  const std::ptrdiff_t stride = width;
  const std::ptrdiff_t outStride = 3 * stride;

  // Row by row from the top, so that the rows just read stay in the cache.
  for (int x = 0; x < width; ++x) BorderPixel(frame, x, 0, destination + 3 * x, gains);
  for (int y = 1; y < height - 1; ++y) {
    const std::uint8_t *row = source + y * stride;
    std::uint8_t *out = destination + y * outStride;
    BorderPixel(frame, 0, y, out, gains);
    interiorRow(row - stride, row, row + stride, out, width, (y & 1) == 0 ? !bgbg : bgbg, gains);
    BorderPixel(frame, width - 1, y, out + 3 * (width - 1), gains);
  }
  std::uint8_t *last = destination + (height - 1) * outStride;
  for (int x = 0; x < width; ++x) BorderPixel(frame, x, height - 1, last + 3 * x, gains);
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
