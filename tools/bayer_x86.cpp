// The interior rows of the Bayer conversion with SSSE3 (16 pixels a step), AVX2
// (32 pixels) and AVX-512 with VBMI (64 pixels). Each is compiled here for its
// instruction set and chosen at run time, so the library itself needs no more
// than the baseline.

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
struct ShuffleControls {
  alignas(32) std::uint8_t control[3][3][32];
};

constexpr ShuffleControls MakeShuffleControls() {
  ShuffleControls c{};
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

constexpr ShuffleControls kShuffle = MakeShuffleControls();

// Byte permutations that interleave 64 R, 64 G and 64 B bytes into 192 bytes of
// RGB with VBMI: output chunk k (64 bytes) takes its R and G bytes through
// redGreen[k] from the 128 bytes R | G, then its B bytes through blue[k] where
// bit p of blueBytes[k] is set.
struct PermuteControls {
  alignas(64) std::uint8_t redGreen[3][64];
  alignas(64) std::uint8_t blue[3][64];
  std::uint64_t blueBytes[3];
};

constexpr PermuteControls MakePermuteControls() {
  PermuteControls c{};
  for (int chunk = 0; chunk < 3; ++chunk) {
    for (int i = 0; i < 64; ++i) {
      const int byte = 64 * chunk + i;
      const int pixel = byte / 3;
      const int channel = byte % 3;
      c.redGreen[chunk][i] = static_cast<std::uint8_t>(channel == 1 ? 64 + pixel : pixel);
      c.blue[chunk][i] = static_cast<std::uint8_t>(pixel);
      if (channel == 2) c.blueBytes[chunk] |= std::uint64_t{1} << i;
    }
  }
  return c;
}

constexpr PermuteControls kPermute = MakePermuteControls();

}  // namespace

// ---------------------------------------------------------------- SSSE3

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
inline Vec Set1Of16(std::uint16_t v) { return _mm_set1_epi16(static_cast<short>(v)); }
inline Vec And(Vec a, Vec b) { return _mm_and_si128(a, b); }
inline Vec Or(Vec a, Vec b) { return _mm_or_si128(a, b); }
inline Vec Add16(Vec a, Vec b) { return _mm_add_epi16(a, b); }
template <int kBits>
inline Vec Srl16(Vec v) {
  return _mm_srli_epi16(v, kBits);
}
template <int kBits>
inline Vec Sll16(Vec v) {
  return _mm_slli_epi16(v, kBits);
}
inline Vec Mullo16(Vec a, Vec b) { return _mm_mullo_epi16(a, b); }
inline Vec Mulhi16(Vec a, Vec b) { return _mm_mulhi_epu16(a, b); }
// min(v, 255) for unsigned 16-bit lanes without SSE4.1's min.
inline Vec Min255(Vec v) { return _mm_sub_epi16(v, _mm_subs_epu16(v, _mm_set1_epi16(255))); }

inline Vec Interleaved(int chunk, Vec r, Vec g, Vec b) {
  const auto &c = kShuffle.control[chunk];
  return _mm_or_si128(
      _mm_or_si128(_mm_shuffle_epi8(r, Load(c[0])), _mm_shuffle_epi8(g, Load(c[1]))),
      _mm_shuffle_epi8(b, Load(c[2])));
}

inline void StoreRgb(std::uint8_t *out, Vec r, Vec g, Vec b) {
  for (int chunk = 0; chunk < 3; ++chunk) {
    _mm_storeu_si128(reinterpret_cast<Vec *>(out + 16 * chunk), Interleaved(chunk, r, g, b));
  }
}

inline void NarrowRow(const std::uint8_t *up, const std::uint8_t *row, const std::uint8_t *down,
                      std::uint8_t *out, int width, bool redRow, const ChannelGains *gains) {
  InteriorPixels(up, row, down, out, 1, width - 1, redRow, gains);
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
#else
#pragma GCC pop_options
#endif

// ---------------------------------------------------------------- AVX2

#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx2"))), apply_to = function)
#else
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
inline Vec Set1Of16(std::uint16_t v) { return _mm256_set1_epi16(static_cast<short>(v)); }
inline Vec And(Vec a, Vec b) { return _mm256_and_si256(a, b); }
inline Vec Or(Vec a, Vec b) { return _mm256_or_si256(a, b); }
inline Vec Add16(Vec a, Vec b) { return _mm256_add_epi16(a, b); }
template <int kBits>
inline Vec Srl16(Vec v) {
  return _mm256_srli_epi16(v, kBits);
}
template <int kBits>
inline Vec Sll16(Vec v) {
  return _mm256_slli_epi16(v, kBits);
}
inline Vec Mullo16(Vec a, Vec b) { return _mm256_mullo_epi16(a, b); }
inline Vec Mulhi16(Vec a, Vec b) { return _mm256_mulhi_epu16(a, b); }
inline Vec Min255(Vec v) { return _mm256_min_epu16(v, _mm256_set1_epi16(255)); }

inline Vec Interleaved(int chunk, Vec r, Vec g, Vec b) {
  const auto &c = kShuffle.control[chunk];
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

inline void NarrowRow(const std::uint8_t *up, const std::uint8_t *row, const std::uint8_t *down,
                      std::uint8_t *out, int width, bool redRow, const ChannelGains *gains) {
  InteriorRowSsse3(up, row, down, out, width, redRow, gains);
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

// ---------------------------------------------------------------- AVX-512 VBMI

#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx512f,avx512bw,avx512vbmi"))), \
                             apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx512f,avx512bw,avx512vbmi")
#endif

namespace avx512 {
namespace {

using Vec = __m512i;
constexpr int kLanes = 64;

inline Vec Load(const void *p) { return _mm512_loadu_si512(p); }
inline Vec Set1Of16(std::uint16_t v) { return _mm512_set1_epi16(static_cast<short>(v)); }
inline Vec And(Vec a, Vec b) { return _mm512_and_si512(a, b); }
inline Vec Or(Vec a, Vec b) { return _mm512_or_si512(a, b); }
inline Vec Add16(Vec a, Vec b) { return _mm512_add_epi16(a, b); }
template <int kBits>
inline Vec Srl16(Vec v) {
  return _mm512_srli_epi16(v, kBits);
}
template <int kBits>
inline Vec Sll16(Vec v) {
  return _mm512_slli_epi16(v, kBits);
}

// The gains as the 256-byte tables of the scalar code, looked up 128 entries at
// a time with byte permutes: exact by construction.
#define OCAMERA_BAYER_TABLE_GAINS
struct Gains {
  Vec table[3][4];
};

inline Gains LoadGains(const ChannelGains &channelGains) {
  Gains gains;
  for (int c = 0; c < 3; ++c) {
    for (int quarter = 0; quarter < 4; ++quarter) {
      gains.table[c][quarter] = Load(channelGains.table[c] + 64 * quarter);
    }
  }
  return gains;
}

inline Vec GainedPlane(Vec siteG, Vec siteC, const Gains &gains, int channel) {
  const Vec v = Or(siteG, Sll16<8>(siteC));
  const Vec *t = gains.table[channel];
  const Vec lower = _mm512_permutex2var_epi8(t[0], v, t[1]);  // entries 0-127
  const Vec upper = _mm512_permutex2var_epi8(t[2], v, t[3]);  // entries 128-255
  return _mm512_mask_blend_epi8(_mm512_movepi8_mask(v), lower, upper);
}

inline void StoreRgb(std::uint8_t *out, Vec r, Vec g, Vec b) {
  for (int chunk = 0; chunk < 3; ++chunk) {
    const Vec redGreen = _mm512_permutex2var_epi8(r, Load(kPermute.redGreen[chunk]), g);
    const Vec rgb = _mm512_mask_permutexvar_epi8(redGreen, kPermute.blueBytes[chunk],
                                                 Load(kPermute.blue[chunk]), b);
    _mm512_storeu_si512(out + 64 * chunk, rgb);
  }
}

inline void NarrowRow(const std::uint8_t *up, const std::uint8_t *row, const std::uint8_t *down,
                      std::uint8_t *out, int width, bool redRow, const ChannelGains *gains) {
  InteriorRowAvx2(up, row, down, out, width, redRow, gains);
}

#include "tools/bayer_row_simd.inc"
#undef OCAMERA_BAYER_TABLE_GAINS

}  // namespace
}  // namespace avx512

void InteriorRowAvx512(const std::uint8_t *up, const std::uint8_t *row, const std::uint8_t *down,
                       std::uint8_t *out, int width, bool redRow, const ChannelGains *gains) {
  avx512::InteriorRow(up, row, down, out, width, redRow, gains);
}

#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif

}  // namespace tools
}  // namespace ocamera

#endif
