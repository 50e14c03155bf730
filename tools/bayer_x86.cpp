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

// Compiles the functions between OCAMERA_TARGET_BEGIN and OCAMERA_TARGET_END
// for the instruction sets `isa`.
#define OCAMERA_PRAGMA(...) _Pragma(#__VA_ARGS__)
#if defined(__clang__)
#define OCAMERA_TARGET_BEGIN(isa) \
  OCAMERA_PRAGMA(clang attribute push(__attribute__((target(isa))), apply_to = function))
#define OCAMERA_TARGET_END() OCAMERA_PRAGMA(clang attribute pop)
#else
#define OCAMERA_TARGET_BEGIN(isa) OCAMERA_PRAGMA(GCC push_options) OCAMERA_PRAGMA(GCC target(isa))
#define OCAMERA_TARGET_END() OCAMERA_PRAGMA(GCC pop_options)
#endif

// The operations that every instruction set spells alike apart from its prefix
// P (_mm, _mm256, _mm512) and its whole-register suffix S (si128, si256, si512).
#define OCAMERA_COMMON_VECTOR_OPERATIONS(P, S)                                           \
  inline Vec Load(const void *p) { return P##_loadu_##S(static_cast<const Vec *>(p)); }  \
  inline Vec Set1Of16(std::uint16_t v) { return P##_set1_epi16(static_cast<short>(v)); } \
  inline Vec And(Vec a, Vec b) { return P##_and_##S(a, b); }                             \
  inline Vec Or(Vec a, Vec b) { return P##_or_##S(a, b); }                               \
  inline Vec Add16(Vec a, Vec b) { return P##_add_epi16(a, b); }                         \
  template <int kBits>                                                                   \
  inline Vec Srl16(Vec v) {                                                              \
    return P##_srli_epi16(v, kBits);                                                     \
  }                                                                                      \
  template <int kBits>                                                                   \
  inline Vec Sll16(Vec v) {                                                              \
    return P##_slli_epi16(v, kBits);                                                     \
  }

// Gains by multiplication and interleaving by in-lane byte shuffles, for SSSE3
// and AVX2.
#define OCAMERA_SHUFFLE_VECTOR_OPERATIONS(P, S)                                       \
  inline Vec Mullo16(Vec a, Vec b) { return P##_mullo_epi16(a, b); }                  \
  inline Vec Mulhi16(Vec a, Vec b) { return P##_mulhi_epu16(a, b); }                  \
  /* Output bytes 16 * chunk .. + 15 of 16 pixels (of each 128-bit half). */          \
  inline Vec Interleaved(int chunk, Vec r, Vec g, Vec b) {                            \
    const auto &c = kShuffle.control[chunk];                                          \
    return P##_or_##S(                                                                \
        P##_or_##S(P##_shuffle_epi8(r, Load(c[0])), P##_shuffle_epi8(g, Load(c[1]))), \
        P##_shuffle_epi8(b, Load(c[2])));                                             \
  }

// ---------------------------------------------------------------- SSSE3

OCAMERA_TARGET_BEGIN("ssse3")

namespace ssse3 {
namespace {

using Vec = __m128i;
constexpr int kLanes = 16;
OCAMERA_COMMON_VECTOR_OPERATIONS(_mm, si128)
OCAMERA_SHUFFLE_VECTOR_OPERATIONS(_mm, si128)

// min(v, 255) for unsigned 16-bit lanes without SSE4.1's min.
inline Vec Min255(Vec v) { return _mm_sub_epi16(v, _mm_subs_epu16(v, _mm_set1_epi16(255))); }

inline void StoreRgb(std::uint8_t *out, Vec r, Vec g, Vec b) {
  for (int chunk = 0; chunk < 3; ++chunk) {
    _mm_storeu_si128(reinterpret_cast<Vec *>(out + 16 * chunk), Interleaved(chunk, r, g, b));
  }
}

constexpr InteriorRowFunction kNarrowRow = InteriorRowScalar;

}  // namespace

#include "tools/bayer_row_simd.inc"

}  // namespace ssse3

OCAMERA_TARGET_END()

// ---------------------------------------------------------------- AVX2

OCAMERA_TARGET_BEGIN("avx2")

namespace avx2 {
namespace {

using Vec = __m256i;
constexpr int kLanes = 32;
OCAMERA_COMMON_VECTOR_OPERATIONS(_mm256, si256)
OCAMERA_SHUFFLE_VECTOR_OPERATIONS(_mm256, si256)

inline Vec Min255(Vec v) { return _mm256_min_epu16(v, _mm256_set1_epi16(255)); }

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

constexpr InteriorRowFunction kNarrowRow = ssse3::InteriorRow;

}  // namespace

#include "tools/bayer_row_simd.inc"

}  // namespace avx2

OCAMERA_TARGET_END()

// ---------------------------------------------------------------- AVX-512 VBMI

OCAMERA_TARGET_BEGIN("avx512f,avx512bw,avx512vbmi")

namespace avx512 {
namespace {

using Vec = __m512i;
constexpr int kLanes = 64;
OCAMERA_COMMON_VECTOR_OPERATIONS(_mm512, si512)

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

// Each 64-byte chunk of the output takes its R and G bytes with one two-source
// permute and its B bytes with a masked permute over them.
inline void StoreRgb(std::uint8_t *out, Vec r, Vec g, Vec b) {
  for (int chunk = 0; chunk < 3; ++chunk) {
    const Vec redGreen = _mm512_permutex2var_epi8(r, Load(kPermute.redGreen[chunk]), g);
    const Vec rgb = _mm512_mask_permutexvar_epi8(redGreen, kPermute.blueBytes[chunk],
                                                 Load(kPermute.blue[chunk]), b);
    _mm512_storeu_si512(out + 64 * chunk, rgb);
  }
}

constexpr InteriorRowFunction kNarrowRow = avx2::InteriorRow;

}  // namespace

#include "tools/bayer_row_simd.inc"
#undef OCAMERA_BAYER_TABLE_GAINS

}  // namespace avx512

OCAMERA_TARGET_END()

}  // namespace tools
}  // namespace ocamera

#endif
