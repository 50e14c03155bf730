// A deliberately plain Bayer conversion: one pixel at a time, its position class
// and filter site looked up and the rule of that class applied as written. The
// library's fast conversion is checked against it and benchmarked beside it.
#pragma once

#include <cstdint>

namespace bayer_reference {

// Converts as OCameraTools::Bayer2RGBWhiteBalance does (pattern 2 BGBG, 3 and 4
// untouched, anything else GRGR; no write for null pointers or a side below 2).
// `factors` holds red, green and blue in percent, or is null for the plain form.
void Convert(const std::uint8_t *source, std::uint8_t *destination, int width, int height,
             int pattern, const int *factors);

// One value scaled by a factor in percent, saturating at 255, computed without
// overflow in 64 bits.
std::uint8_t Scale(unsigned value, int factor);

}  // namespace bayer_reference
