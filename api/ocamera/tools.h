// OCameraTools: PC-side colour conversion of raw Bayer frames and the
// white-balance factors file.
#pragma once

#include <ocamera/export.h>

// A holder of static functions; it has no state and no instances in use.
//
// Thread safety: every function may run on any number of threads at once on
// separate buffers. The factors-file functions read or write "wb.conf" in the
// current directory without locking; callers that store and read concurrently
// serialise those calls themselves.
class OCAMERA_API OCameraTools {
 public:
  // Layout of a raw Bayer frame: the filter colours of the top row from column 0.
  enum eBayerPattern : int {
    BAYER_PATTERN_GRGR = 1,
    BAYER_PATTERN_BGBG = 2,
    BAYER_PATTERN_RGRG = 3,
    BAYER_PATTERN_GBGB = 4
  };

  // Demosaics width x height 8-bit samples (stride = width) into 3 x width x height
  // bytes of R, G, B (stride = 3 x width). GRGR and BGBG are converted; RGRG and
  // GBGB leave the destination untouched; every other value converts as GRGR.
  // Null pointers, width < 2 or height < 2 leave the destination untouched.
  // Source and destination must not overlap. Allocates nothing.
  static void Bayer2RGB(unsigned char *source, unsigned char *destination, int width, int height,
                        eBayerPattern pattern);

  // The white-balance factors the front ends take (typed, or read from
  // "wb.conf"), in percent. The conversion itself takes any int: a negative
  // factor saturates its channel at 255, as a result beyond 255 does.
  static constexpr int kMinWhiteBalanceFactor = 0;
  static constexpr int kMaxWhiteBalanceFactor = 10000;  // the highest factor, in percent

  // As Bayer2RGB, then scales every red, green and blue value by its factor in
  // percent (100 = unchanged); results beyond 255 saturate at 255.
  static void Bayer2RGBWhiteBalance(unsigned char *source, unsigned char *destination, int width,
                                    int height, int redFactor, int greenFactor, int blueFactor,
                                    eBayerPattern pattern);

  // As Bayer2RGBWhiteBalance with the factors of "wb.conf" (100 each when the file
  // or a factor is missing). Returns what GetWhiteBalanceFactors returned; the
  // conversion is done in every case.
  static int Bayer2RGBBuiltIn(unsigned char *source, unsigned char *destination, int width,
                              int height, eBayerPattern pattern);

  // Reads "wb.conf" in the current directory. Returns 0 when red, green and blue
  // were all found; kNullFactor for a null pointer; kMissingFactor when a key is
  // missing (the found values are stored); -errno when the file cannot be
  // opened. A factor whose key is absent keeps the caller's value.
  static int GetWhiteBalanceFactors(int *red, int *green, int *blue);
  static constexpr int kNullFactor = -22;     // -EINVAL
  static constexpr int kMissingFactor = -11;  // -EAGAIN

  // Whether Bayer2RGB converts the layout: GRGR and BGBG do, RGRG and GBGB
  // do not.
  static bool ConvertsPattern(eBayerPattern pattern);
  // Names of a layout: the camera's, by its top row ("GRGR"), and the 2x2 cell
  // read row by row, as OpenCV, GStreamer and GenICam name it ("GRBG"). Null
  // for a value that is no layout.
  static const char *PatternName(eBayerPattern pattern);
  // The 2x2 cell's name of a layout ("GRBG" for GRGR); null for no layout.
  static const char *PatternCellName(eBayerPattern pattern);
  // The layout of either name, in any case (also "BAYER_PATTERN_GRGR"); false
  // when the name is none.
  static bool ParsePattern(const char *name, eBayerPattern *pattern);

  // Writes "wb.conf" in the current directory: a comment line and red=, green=,
  // blue= lines. Returns 0, or -errno when the file cannot be opened.
  static int StoreWhiteBalanceFactors(int red, int green, int blue);
};
