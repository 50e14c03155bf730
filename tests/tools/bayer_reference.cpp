#include "tools/bayer_reference.h"

namespace bayer_reference {

namespace {

enum Site { kRed, kGreen, kBlue };

enum Position {
  kInterior,
  kTopRow,
  kBottomRow,
  kLeftColumn,
  kRightColumn,
  kTopLeft,
  kTopRight,
  kBottomLeft,
  kBottomRight
};

// GRGR: even rows G R G R, odd rows B G B G. BGBG: even rows B G B G, odd rows G R G R.
Site SiteAt(bool bgbg, int x, int y) {
  const bool evenX = x % 2 == 0;
  if (!bgbg) return y % 2 == 0 ? (evenX ? kGreen : kRed) : (evenX ? kBlue : kGreen);
  return y % 2 == 0 ? (evenX ? kBlue : kGreen) : (evenX ? kGreen : kRed);
}

Position PositionAt(int x, int y, int width, int height) {
  const bool top = y == 0, bottom = y == height - 1, left = x == 0, right = x == width - 1;
  if (top && left) return kTopLeft;
  if (top && right) return kTopRight;
  if (bottom && left) return kBottomLeft;
  if (bottom && right) return kBottomRight;
  if (top) return kTopRow;
  if (bottom) return kBottomRow;
  if (left) return kLeftColumn;
  if (right) return kRightColumn;
  return kInterior;
}

unsigned Mean(unsigned a, unsigned b) { return (a + b) >> 1; }
unsigned Mean(unsigned a, unsigned b, unsigned c, unsigned d) { return (a + b + c + d) >> 2; }

}  // namespace

std::uint8_t Scale(unsigned value, int factor) {
  const long long scale = static_cast<long long>(factor) * 65536 / 100;
  const long long product = static_cast<long long>(value) * scale;
  if (product < 0 || product >= 0x1000000) return 255;
  return static_cast<std::uint8_t>(product >> 16);
}

void Convert(const std::uint8_t *source, std::uint8_t *destination, int width, int height,
             int pattern, const int *factors) {
  if (source == nullptr || destination == nullptr || width < 2 || height < 2) return;
  if (pattern == 3 || pattern == 4) return;
  const bool bgbg = pattern == 2;

  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      auto at = [&](int dy, int dx) -> unsigned { return source[(y + dy) * width + (x + dx)]; };
      // The neighbours that exist; a rule never names one outside the frame.
      const unsigned self = at(0, 0);
      const unsigned l = x > 0 ? at(0, -1) : 0, r = x < width - 1 ? at(0, 1) : 0;
      const unsigned a = y > 0 ? at(-1, 0) : 0, b = y < height - 1 ? at(1, 0) : 0;
      const unsigned ul = x > 0 && y > 0 ? at(-1, -1) : 0;
      const unsigned ur = x < width - 1 && y > 0 ? at(-1, 1) : 0;
      const unsigned ll = x > 0 && y < height - 1 ? at(1, -1) : 0;
      const unsigned lr = x < width - 1 && y < height - 1 ? at(1, 1) : 0;

      const Site site = SiteAt(bgbg, x, y);
      const Position position = PositionAt(x, y, width, height);
      unsigned rgb[3];
      if (site != kGreen) {
        unsigned g = 0, otherChroma = 0;
        switch (position) {
          case kInterior:
            g = Mean(a, l, r, b);
            otherChroma = Mean(ul, ur, ll, lr);
            break;
          case kTopRow:
            g = Mean(r, b);
            otherChroma = Mean(ll, lr);
            break;
          case kBottomRow:
            g = bgbg ? Mean(a, r) : Mean(a, l);
            otherChroma = Mean(ul, ur);
            break;
          case kLeftColumn:
            g = Mean(r, b);
            otherChroma = Mean(ur, lr);
            break;
          case kRightColumn:
            g = site == kRed ? Mean(l, b) : Mean(a, l);
            otherChroma = Mean(ul, ll);
            break;
          case kTopLeft:
            g = r;
            otherChroma = lr;
            break;
          case kTopRight:
            g = l;
            otherChroma = ll;
            break;
          case kBottomLeft:
            g = r;
            otherChroma = ur;
            break;
          case kBottomRight:
            g = l;
            otherChroma = ul;
            break;
        }
        rgb[0] = site == kRed ? self : otherChroma;
        rgb[1] = g;
        rgb[2] = site == kBlue ? self : otherChroma;
      } else {
        unsigned g = 0, rowChroma = 0, columnChroma = 0;
        switch (position) {
          case kInterior:
            g = Mean(self, ul);
            rowChroma = Mean(l, r);
            columnChroma = Mean(a, b);
            break;
          case kTopRow:
            g = Mean(self, lr);
            rowChroma = Mean(l, r);
            columnChroma = b;
            break;
          case kBottomRow:
            g = Mean(self, ul);
            rowChroma = Mean(l, r);
            columnChroma = a;
            break;
          case kLeftColumn:
            g = Mean(self, lr);
            rowChroma = r;
            columnChroma = Mean(a, b);
            break;
          case kRightColumn:
            g = Mean(self, ul);
            rowChroma = l;
            columnChroma = Mean(a, b);
            break;
          case kTopLeft:
            g = self;
            rowChroma = r;
            columnChroma = b;
            break;
          case kTopRight:
            g = self;
            rowChroma = l;
            columnChroma = b;
            break;
          case kBottomLeft:
            g = self;
            rowChroma = r;
            columnChroma = a;
            break;
          case kBottomRight:
            g = self;
            rowChroma = l;
            columnChroma = a;
            break;
        }
        // The chroma of a G site's own row is that of the other sites in the row.
        const bool redRow = SiteAt(bgbg, x ^ 1, y) == kRed;
        rgb[0] = redRow ? rowChroma : columnChroma;
        rgb[1] = g;
        rgb[2] = redRow ? columnChroma : rowChroma;
      }
      std::uint8_t *out = destination + 3 * (y * width + x);
      for (int c = 0; c < 3; ++c) {
        out[c] = factors != nullptr ? Scale(rgb[c], factors[c]) : static_cast<std::uint8_t>(rgb[c]);
      }
    }
  }
}

}  // namespace bayer_reference
