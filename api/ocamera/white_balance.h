// White balance as people write it and as "wb.conf" keeps it, with the one
// range every front end checks.
#pragma once

#include <ocamera/export.h>
#include <ocamera/stream.h>

#include <string>

namespace ocamera {

// A white balance to convert with: none, factors in percent, or the factors
// file (whose factors readWhiteBalanceFile fills in).
struct WhiteBalanceSetting {
  WhiteBalance mode = WhiteBalance::None;  // none, factors or the factors file
  int red = 100, green = 100, blue = 100;  // the factors in percent, 100 = unchanged
};

// Parses "none", "file" or three percentages "R,G,B" (such as "120,100,85";
// each 0..OCameraTools::kMaxWhiteBalanceFactor). Words in any case. true, or
// false with *out untouched and the reason in *error.
OCAMERA_API bool parseWhiteBalance(const std::string &text, WhiteBalanceSetting *out,
                                   std::string *error = nullptr);

// The text parseWhiteBalance reads back: "none", "file" or "120,100,85".
OCAMERA_API std::string whiteBalanceText(const WhiteBalanceSetting &setting);

// Reads the factors of "wb.conf" in the current directory into *out (the mode
// is left as it is). Refuses, without reading it, anything but a small regular
// file (a FIFO or a device would never end), and refuses a file that lacks a
// factor or holds one outside the range: false with *out untouched and the
// reason in words in *error ("wb.conf: red=20000 is outside 0-10000 percent").
OCAMERA_API bool readWhiteBalanceFile(WhiteBalanceSetting *out, std::string *error = nullptr);

}  // namespace ocamera
