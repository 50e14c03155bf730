// The interior rows of the Bayer conversion with SSSE3 (16 pixels a step) and
// AVX2 (32 pixels a step). Both are compiled here for their instruction set and
// chosen at run time, so the library itself needs no more than the baseline.

#include "tools/bayer.h"

#if defined(__x86_64__) || defined(__i386__)

#include <immintrin.h>

#include <cstdint>

namespace ocamera {
namespace tools {

namespace {

// pshufb controls that interleave 16 R, 16 G and 16 B bytes into 48 bytes of
// RGB: control[chunk][channel] picks the bytes of that channel for output bytes
// 16 * chunk .. 16 * chunk + 15 (0x80 clears a byte). Repeated in both halves
// of 32 bytes for the in-lane AVX2 shuffle.
struct InterleaveControls {
  alignas(32) std::uint8_t control[3][3][32];
};

constexpr InterleaveControls MakeInterleaveControls() {
  InterleaveControls c{};
  for (int chunk = 0; chunk < 3; ++chunk) {
    for (int channel = 0; channel < 3; ++channel) {
      for (int i = 0; i < 32; ++i) {
        const int byte = 16 * chunk + i % 16;
        c.control[chunk][channel][i] =
            byte % 3 == channel ? static_cast<std::uint8_t>(byte / 3) : std::uint8_t{0x80};
      }
    }
  }
  return c;
}

constexpr InterleaveControls kInterleave = MakeInterleaveControls();

alignas(32) constexpr std::uint8_t kEvenLanes[32] = {
    0xff, 0, 0xff, 0, 0xff, 0, 0xff, 0, 0xff, 0, 0xff, 0, 0xff, 0, 0xff, 0,
    0xff, 0, 0xff, 0, 0xff, 0, 0xff, 0, 0xff, 0, 0xff, 0, 0xff, 0, 0xff, 0};

}  // namespace

#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("ssse3"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("ssse3")
#endif

namespace ssse3 {
namespace {

using Vec = __m128i;
constexpr int kLanes = 16;

inline Vec Load(const std::uint8_t *p) { return _mm_loadu_si128(reinterpret_cast<const Vec *>(p)); }
inline Vec Set1(int v) { return _mm_set1_epi8(static_cast<char>(v)); }
inline Vec Set1Of16(std::uint16_t v) { return _mm_set1_epi16(static_cast<short>(v)); }
inline Vec Avg(Vec a, Vec b) { return _mm_avg_epu8(a, b); }
inline Vec Sub8(Vec a, Vec b) { return _mm_sub_epi8(a, b); }
inline Vec And(Vec a, Vec b) { return _mm_and_si128(a, b); }
inline Vec AndNot(Vec a, Vec b) { return _mm_andnot_si128(a, b); }
inline Vec Or(Vec a, Vec b) { return _mm_or_si128(a, b); }
inline Vec Xor(Vec a, Vec b) { return _mm_xor_si128(a, b); }
inline Vec EvenLanes() { return Load(kEvenLanes); }

// min(255, v * (high * 65536 + low) >> 16) per byte, in 16-bit lanes:
// v * high + (v * low >> 16) stays below 65536 because high <= 256.
inline Vec ApplyGain(Vec v, Vec high, Vec low) {
  const Vec zero = _mm_setzero_si128();
  const Vec max = _mm_set1_epi16(255);
  Vec lo = _mm_unpacklo_epi8(v, zero);
  Vec hi = _mm_unpackhi_epi8(v, zero);
  lo = _mm_add_epi16(_mm_mullo_epi16(lo, high), _mm_mulhi_epu16(lo, low));
  hi = _mm_add_epi16(_mm_mullo_epi16(hi, high), _mm_mulhi_epu16(hi, low));
  lo = _mm_sub_epi16(lo, _mm_subs_epu16(lo, max));
  hi = _mm_sub_epi16(hi, _mm_subs_epu16(hi, max));
  return _mm_packus_epi16(lo, hi);
}

inline Vec Interleaved(int chunk, Vec r, Vec g, Vec b) {
  const auto &c = kInterleave.control[chunk];
  return _mm_or_si128(
      _mm_or_si128(_mm_shuffle_epi8(r, Load(c[0])), _mm_shuffle_epi8(g, Load(c[1]))),
      _mm_shuffle_epi8(b, Load(c[2])));
}

inline void StoreRgb(std::uint8_t *out, Vec r, Vec g, Vec b) {
  for (int chunk = 0; chunk < 3; ++chunk) {
    _mm_storeu_si128(reinterpret_cast<Vec *>(out + 16 * chunk), Interleaved(chunk, r, g, b));
  }
}

#include "tools/bayer_row_simd.inc"

}  // namespace
}  // namespace ssse3

void InteriorRowSsse3(const std::uint8_t *up, const std::uint8_t *row, const std::uint8_t *down,
                      std::uint8_t *out, int width, bool redRow, const ChannelGains *gains) {
  ssse3::InteriorRow(up, row, down, out, width, redRow, gains);
}

#if defined(__clang__)
#pragma clang attribute pop
#pragma clang attribute push(__attribute__((target("avx2"))), apply_to = function)
#else
#pragma GCC pop_options
#pragma GCC push_options
#pragma GCC target("avx2")
#endif

namespace avx2 {
namespace {

using Vec = __m256i;
constexpr int kLanes = 32;

inline Vec Load(const std::uint8_t *p) {
  return _mm256_loadu_si256(reinterpret_cast<const Vec *>(p));
}
inline Vec Set1(int v) { return _mm256_set1_epi8(static_cast<char>(v)); }
inline Vec Set1Of16(std::uint16_t v) { return _mm256_set1_epi16(static_cast<short>(v)); }
inline Vec Avg(Vec a, Vec b) { return _mm256_avg_epu8(a, b); }
inline Vec Sub8(Vec a, Vec b) { return _mm256_sub_epi8(a, b); }
inline Vec And(Vec a, Vec b) { return _mm256_and_si256(a, b); }
inline Vec AndNot(Vec a, Vec b) { return _mm256_andnot_si256(a, b); }
inline Vec Or(Vec a, Vec b) { return _mm256_or_si256(a, b); }
inline Vec Xor(Vec a, Vec b) { return _mm256_xor_si256(a, b); }
inline Vec EvenLanes() { return Load(kEvenLanes); }

// As the SSSE3 form; unpacking and packing stay within each 128-bit half, so
// the byte order comes back unchanged.
inline Vec ApplyGain(Vec v, Vec high, Vec low) {
  const Vec zero = _mm256_setzero_si256();
  const Vec max = _mm256_set1_epi16(255);
  Vec lo = _mm256_unpacklo_epi8(v, zero);
  Vec hi = _mm256_unpackhi_epi8(v, zero);
  lo = _mm256_add_epi16(_mm256_mullo_epi16(lo, high), _mm256_mulhi_epu16(lo, low));
  hi = _mm256_add_epi16(_mm256_mullo_epi16(hi, high), _mm256_mulhi_epu16(hi, low));
  lo = _mm256_sub_epi16(lo, _mm256_subs_epu16(lo, max));
  hi = _mm256_sub_epi16(hi, _mm256_subs_epu16(hi, max));
  return _mm256_packus_epi16(lo, hi);
}

inline Vec Interleaved(int chunk, Vec r, Vec g, Vec b) {
  const auto &c = kInterleave.control[chunk];
  return _mm256_or_si256(
      _mm256_or_si256(_mm256_shuffle_epi8(r, Load(c[0])), _mm256_shuffle_epi8(g, Load(c[1]))),
      _mm256_shuffle_epi8(b, Load(c[2])));
}

// The shuffles interleave each 128-bit half on its own: pixels 0-15 give the
// low halves of the three results, pixels 16-31 the high halves.
inline void StoreRgb(std::uint8_t *out, Vec r, Vec g, Vec b) {
  const Vec first = Interleaved(0, r, g, b);
  const Vec second = Interleaved(1, r, g, b);
  const Vec third = Interleaved(2, r, g, b);
  Vec *to = reinterpret_cast<Vec *>(out);
  _mm256_storeu_si256(to, _mm256_permute2x128_si256(first, second, 0x20));
  _mm256_storeu_si256(to + 1, _mm256_permute2x128_si256(third, first, 0x30));
  _mm256_storeu_si256(to + 2, _mm256_permute2x128_si256(second, third, 0x31));
}

#include "tools/bayer_row_simd.inc"

}  // namespace
}  // namespace avx2

void InteriorRowAvx2(const std::uint8_t *up, const std::uint8_t *row, const std::uint8_t *down,
                     std::uint8_t *out, int width, bool redRow, const ChannelGains *gains) {
  avx2::InteriorRow(up, row, down, out, width, redRow, gains);
}

#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif

}  // namespace tools
}  // namespace ocamera

#endif
