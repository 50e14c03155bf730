#include "protocol/base64.h"

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>

#include "protocol/base64_codec.h"
#include "stdsoap2.h"

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace ocamera {
namespace wire {
namespace {

std::atomic<Base64Codec> selected{Base64Codec::kBulk};

// What the runtime's scanner (soap_get) returns for markup instead of a
// character: '<' of a start tag, "</" of an end tag, and '\'' (the last of its
// codes; a character reference comes back below it, with the top bit set).
constexpr soap_wchar kStartTag = -2;
constexpr soap_wchar kEndTag = -3;
constexpr soap_wchar kLastMarkup = -6;

// ------------------------------------------------------------------ decoding

// Classes of a byte of the receive buffer, besides its value 0..63.
constexpr std::uint8_t kBlank = 0x40;  // skipped, as the runtime skips it
constexpr std::uint8_t kOther = 0x80;  // left to the XML scanner (soap_get)
// Marks a byte outside the alphabet in the shifted tables.
constexpr std::uint32_t kNotInAlphabet = 0x01000000u;

struct DecodeTables {
  std::uint8_t value[256];
  // value << 18, << 12, << 6, << 0: a group of four characters is the OR of
  // four look-ups, with kNotInAlphabet set when any of them is no letter.
  std::uint32_t shifted[4][256];

  DecodeTables() {
    for (int c = 0; c < 256; ++c) {
      // Every byte up to 32 is blank to the runtime's reader (NUL included).
      value[c] = c <= 32 ? kBlank : kOther;
      for (auto &table : shifted) table[c] = kNotInAlphabet;
    }
    // The letters are taken from the runtime's own table, so both readers
    // accept the same ones; '=' ends the data and stays with the scanner.
    for (int c = '+'; c < '+' + 80; ++c) {
      const int v = soap_base64i[c - '+'];
      if (c == '=' || v < 0 || v >= 64) continue;
      value[c] = static_cast<std::uint8_t>(v);
      for (int k = 0; k < 4; ++k) shifted[k][c] = static_cast<std::uint32_t>(v) << (18 - 6 * k);
    }
  }
};

const DecodeTables &decodeTables() {
  static const DecodeTables tables;
  return tables;
}

// Any single payload must fit the int size of xsd__base64Binary.
constexpr std::size_t kMaxPayload = INT_MAX;
// The first allocation never trusts a length announced by the peer beyond this
// (the largest image, 2592 x 1944 bytes, fits); a longer payload grows into
// its room as it arrives.
constexpr std::size_t kMaxFirstAllocation = std::size_t{8} << 20;
constexpr std::size_t kMinFirstAllocation = 64;
constexpr std::size_t kGrowthFloor = std::size_t{64} << 10;

// Stores the three bytes of a complete group (held in the low 24 bits of
// `group`) with one four-byte store; the fourth byte is scratch, for the next
// group to overwrite.
inline void storeGroup(unsigned char *out, std::uint32_t group) {
  const std::uint32_t bytes = __builtin_bswap32(group << 8);
  std::memcpy(out, &bytes, 4);
}

// The same, writing the three bytes only: for the last group of a run, so
// that nothing is ever written past the bytes placed.
inline void storeLastGroup(unsigned char *out, std::uint32_t group) {
  out[0] = static_cast<unsigned char>(group >> 16);
  out[1] = static_cast<unsigned char>(group >> 8);
  out[2] = static_cast<unsigned char>(group);
}

// The decoded bytes: in one block of context memory that grows (by doubling)
// only when the first guess of its size was too small, or in a caller's room
// of fixed size (a PayloadTarget's). A payload longer than a fixed room fails,
// unless the room may be left: then the bytes move on into context memory.
class DecodedBytes {
 public:
  explicit DecodedBytes(struct soap *ctx) : ctx_(ctx) {}
  DecodedBytes(struct soap *ctx, unsigned char *room, std::size_t capacity, bool leavable)
      : ctx_(ctx), data_(room), capacity_(capacity), fixed_(true), leavable_(leavable) {}
  ~DecodedBytes() {
    if (data_ && !fixed_) soap_dealloc(ctx_, data_);
  }
  DecodedBytes(const DecodedBytes &) = delete;
  DecodedBytes &operator=(const DecodedBytes &) = delete;

  bool fixed() const { return fixed_; }

  // Room for `more` bytes after the used ones; false when it cannot be had
  // (SOAP_EOM, or SOAP_LENGTH in a fixed room).
  bool reserve(std::size_t more) {
    if (more <= capacity_ - used_) return true;
    if (fixed_ && !leavable_) return fail(SOAP_LENGTH);
    if (more > kMaxPayload - used_) return fail(SOAP_EOM);
    const std::size_t wanted = std::max({used_ + more, capacity_ * 2, kMinFirstAllocation});
    return moveTo(std::min(wanted, kMaxPayload));
  }

  std::size_t room() const { return capacity_ - used_; }
  unsigned char *tail() { return data_ + used_; }
  void advance(std::size_t bytes) { used_ += bytes; }
  void put(std::uint32_t byte) { data_[used_++] = static_cast<unsigned char>(byte); }
  // The three bytes of a group (after reserve(3)).
  void putGroup(std::uint32_t group) {
    storeLastGroup(tail(), group);
    used_ += 3;
  }

  // Hands the bytes over to the caller (a block stays the context's). A block
  // much larger than its content is exchanged for one that fits.
  unsigned char *release(int *size) {
    if (!fixed_ && capacity_ - used_ > kGrowthFloor && used_ < capacity_ / 2 && !moveTo(used_))
      return nullptr;
    if (size) *size = static_cast<int>(used_);
    unsigned char *result = data_;
    data_ = nullptr;
    return result;
  }

 private:
  bool fail(int error) {
    ctx_->error = error;
    return false;
  }

  bool moveTo(std::size_t capacity) {
    auto *fresh = static_cast<unsigned char *>(soap_malloc(ctx_, capacity));
    if (!fresh) return fail(SOAP_EOM);
    if (used_) std::memcpy(fresh, data_, used_);
    if (data_ && !fixed_) soap_dealloc(ctx_, data_);
    data_ = fresh;
    capacity_ = capacity;
    fixed_ = false;
    return true;
  }

  struct soap *ctx_;
  unsigned char *data_ = nullptr;
  std::size_t used_ = 0;
  std::size_t capacity_ = 0;
  bool fixed_ = false;
  bool leavable_ = false;
};

// ------------------------------------------------------------------ AVX2 blocks
//
// 32 characters to 24 bytes and 24 bytes to 32 characters per step, where the
// processor has AVX2 (checked once at run time); the scalar code does the rest.

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define OCAMERA_BASE64_AVX2 1

// Decodes whole blocks of 32 letters from [*in, end) to *out while every
// character of a block is a letter; stops before the first block that holds
// anything else. Writes exactly the bytes it places.
__attribute__((target("avx2"))) void decodeBlocksAvx2(const unsigned char **in,
                                                      const unsigned char *end,
                                                      unsigned char **out) {
  const unsigned char *p = *in;
  unsigned char *o = *out;
  const __m256i upperLo = _mm256_set1_epi8('A' - 1), upperHi = _mm256_set1_epi8('Z' + 1);
  const __m256i lowerLo = _mm256_set1_epi8('a' - 1), lowerHi = _mm256_set1_epi8('z' + 1);
  const __m256i digitLo = _mm256_set1_epi8('0' - 1), digitHi = _mm256_set1_epi8('9' + 1);
  const __m256i plus = _mm256_set1_epi8('+'), slash = _mm256_set1_epi8('/');
  const __m256i pairs = _mm256_set1_epi32(0x01400140);  // a * 64 + b per 16 bits
  const __m256i quads = _mm256_set1_epi32(0x00011000);  // ab * 4096 + cd per 32 bits
  const __m256i order = _mm256_setr_epi8(2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1, 2,
                                         1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1);
  const __m256i lanes = _mm256_setr_epi32(0, 1, 2, 4, 5, 6, 3, 7);
  while (end - p >= 32) {
    const __m256i c = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(p));
    // Bytes from 128 up are negative as signed and fall in no range.
    const __m256i upper =
        _mm256_and_si256(_mm256_cmpgt_epi8(c, upperLo), _mm256_cmpgt_epi8(upperHi, c));
    const __m256i lower =
        _mm256_and_si256(_mm256_cmpgt_epi8(c, lowerLo), _mm256_cmpgt_epi8(lowerHi, c));
    const __m256i digit =
        _mm256_and_si256(_mm256_cmpgt_epi8(c, digitLo), _mm256_cmpgt_epi8(digitHi, c));
    const __m256i isPlus = _mm256_cmpeq_epi8(c, plus), isSlash = _mm256_cmpeq_epi8(c, slash);
    const __m256i letter = _mm256_or_si256(
        _mm256_or_si256(upper, lower), _mm256_or_si256(digit, _mm256_or_si256(isPlus, isSlash)));
    if (_mm256_movemask_epi8(letter) != -1) break;
    __m256i shift = _mm256_and_si256(upper, _mm256_set1_epi8(-'A'));
    shift = _mm256_or_si256(shift, _mm256_and_si256(lower, _mm256_set1_epi8(26 - 'a')));
    shift = _mm256_or_si256(shift, _mm256_and_si256(digit, _mm256_set1_epi8(52 - '0')));
    shift = _mm256_or_si256(shift, _mm256_and_si256(isPlus, _mm256_set1_epi8(62 - '+')));
    shift = _mm256_or_si256(shift, _mm256_and_si256(isSlash, _mm256_set1_epi8(63 - '/')));
    const __m256i values = _mm256_add_epi8(c, shift);
    const __m256i merged = _mm256_madd_epi16(_mm256_maddubs_epi16(values, pairs), quads);
    const __m256i bytes = _mm256_permutevar8x32_epi32(_mm256_shuffle_epi8(merged, order), lanes);
    // The 24 bytes are the low lane and half the high one: two exact stores.
    _mm_storeu_si128(reinterpret_cast<__m128i *>(o), _mm256_castsi256_si128(bytes));
    _mm_storel_epi64(reinterpret_cast<__m128i *>(o + 16), _mm256_extracti128_si256(bytes, 1));
    p += 32;
    o += 24;
  }
  *in = p;
  *out = o;
}

// Encodes whole blocks of 24 bytes from `in` while at least 28 are left (each
// step reads 4 bytes ahead); returns the number of bytes it took.
__attribute__((target("avx2"))) std::size_t encodeBlocksAvx2(const unsigned char *in,
                                                             std::size_t bytes, char *out) {
  std::size_t done = 0;
  // Every 32-bit lane gets the bytes s1 s0 s2 s1 of its group of three.
  const __m256i spread = _mm256_setr_epi8(1, 0, 2, 1, 4, 3, 5, 4, 7, 6, 8, 7, 10, 9, 11, 10, 1, 0,
                                          2, 1, 4, 3, 5, 4, 7, 6, 8, 7, 10, 9, 11, 10);
  const __m256i offsets =
      _mm256_setr_epi8(65, 71, -4, -4, -4, -4, -4, -4, -4, -4, -4, -4, -19, -16, 0, 0, 65, 71, -4,
                       -4, -4, -4, -4, -4, -4, -4, -4, -4, -19, -16, 0, 0);
  while (bytes - done >= 28) {
    const __m128i lo = _mm_loadu_si128(reinterpret_cast<const __m128i *>(in + done));
    const __m128i hi = _mm_loadu_si128(reinterpret_cast<const __m128i *>(in + done + 12));
    const __m256i groups = _mm256_shuffle_epi8(_mm256_set_m128i(hi, lo), spread);
    // The four 6-bit values of each group, one per byte.
    const __m256i ac = _mm256_mulhi_epu16(_mm256_and_si256(groups, _mm256_set1_epi32(0x0fc0fc00)),
                                          _mm256_set1_epi32(0x04000040));
    const __m256i bd = _mm256_mullo_epi16(_mm256_and_si256(groups, _mm256_set1_epi32(0x003f03f0)),
                                          _mm256_set1_epi32(0x01000010));
    const __m256i values = _mm256_or_si256(ac, bd);
    // 0..25 'A'.., 26..51 'a'.., 52..61 '0'.., 62 '+', 63 '/'.
    __m256i index = _mm256_subs_epu8(values, _mm256_set1_epi8(51));
    index = _mm256_sub_epi8(index, _mm256_cmpgt_epi8(values, _mm256_set1_epi8(25)));
    const __m256i text = _mm256_add_epi8(values, _mm256_shuffle_epi8(offsets, index));
    _mm256_storeu_si256(reinterpret_cast<__m256i *>(out + done / 3 * 4), text);
    done += 24;
  }
  return done;
}

bool haveAvx2() {
  static const bool have = __builtin_cpu_supports("avx2");
  return have;
}
#else
bool haveAvx2() { return false; }
#endif

// A first guess of the payload's size, from what is known before reading it:
// the end tag already in the buffer, else the HTTP content length, else the
// buffer's worth. Only a guess: the block grows when the text runs longer.
std::size_t firstGuess(const struct soap *ctx) {
  const std::size_t buffered = ctx->buflen > ctx->bufidx ? ctx->buflen - ctx->bufidx : 0;
  if (const void *tag = std::memchr(ctx->buf + ctx->bufidx, '<', buffered)) {
    const std::size_t text =
        static_cast<std::size_t>(static_cast<const char *>(tag) - (ctx->buf + ctx->bufidx));
    return text / 4 * 3 + 3;
  }
  std::size_t bound = buffered;
  if (ctx->length > buffered) bound = ctx->length;
  if (ctx->recv_maxlength > 0 && bound > ctx->recv_maxlength) bound = ctx->recv_maxlength;
  return std::min(bound / 4 * 3 + 3, kMaxFirstAllocation);
}

// The most bytes the rest of the reply can decode to: a claimed size beyond
// it is no reason to allocate.
std::size_t payloadBound(const struct soap *ctx) {
  std::size_t chars = kMaxPayload / 3 * 4;
  if (ctx->length > 0) chars = std::min<std::size_t>(chars, ctx->length);
  if (ctx->recv_maxlength > 0) chars = std::min<std::size_t>(chars, ctx->recv_maxlength);
  return chars / 4 * 3 + 3;
}

inline bool coblank(soap_wchar c) { return c + 1 > 0 && c <= 32; }

// Decodes into context memory, or into the caller's `capacity` bytes at `room`.
unsigned char *bulkRead(struct soap *ctx, int *size, bool simd, unsigned char *room = nullptr,
                        std::size_t capacity = 0, bool leavable = false) {
  const DecodeTables &tables = decodeTables();
  const bool avx2 = simd && haveAvx2();
  DecodedBytes out = room ? DecodedBytes(ctx, room, capacity, leavable) : DecodedBytes(ctx);
  if (!out.fixed() && !out.reserve(firstGuess(ctx))) return nullptr;
  std::uint32_t bits = 0;  // the characters of the group so far
  int have = 0;            // how many (0..3)
  // One more letter; a complete group becomes three bytes.
  auto addLetter = [&](std::uint32_t value) {
    bits = bits << 6 | value;
    if (++have < 4) return true;
    if (!out.reserve(3)) return false;
    out.putGroup(bits);
    bits = 0;
    have = 0;
    return true;
  };
  for (;;) {
    // Straight from the receive buffer while nothing there needs the scanner.
    if (!ctx->ahead && !ctx->cdata) {
      const auto *base = reinterpret_cast<const unsigned char *>(ctx->buf);
      const unsigned char *p = base + ctx->bufidx;
      const unsigned char *const end = base + ctx->buflen;
      while (p < end) {
        if (have == 0 && end - p >= 4) {
          const std::size_t groups = static_cast<std::size_t>(end - p) / 4;
          if (!out.fixed() && !out.reserve(groups * 3)) return nullptr;
          // As many groups as the room holds (a fixed room may hold fewer);
          // what does not fit goes one letter at a time below and fails there.
          const unsigned char *const stop = p + std::min(groups, out.room() / 3) * 4;
          unsigned char *const start = out.tail();
          unsigned char *o = start;
#if defined(OCAMERA_BASE64_AVX2)
          if (avx2) decodeBlocksAvx2(&p, stop, &o);
#endif
          const auto &s = tables.shifted;
          while (stop - p >= 16) {
            const std::uint32_t g0 = s[0][p[0]] | s[1][p[1]] | s[2][p[2]] | s[3][p[3]];
            const std::uint32_t g1 = s[0][p[4]] | s[1][p[5]] | s[2][p[6]] | s[3][p[7]];
            const std::uint32_t g2 = s[0][p[8]] | s[1][p[9]] | s[2][p[10]] | s[3][p[11]];
            const std::uint32_t g3 = s[0][p[12]] | s[1][p[13]] | s[2][p[14]] | s[3][p[15]];
            if ((g0 | g1 | g2 | g3) & kNotInAlphabet) break;
            storeGroup(o, g0);
            storeGroup(o + 3, g1);
            storeGroup(o + 6, g2);
            storeLastGroup(o + 9, g3);
            p += 16;
            o += 12;
          }
          while (stop - p >= 4) {
            const std::uint32_t g = s[0][p[0]] | s[1][p[1]] | s[2][p[2]] | s[3][p[3]];
            if (g & kNotInAlphabet) break;
            storeLastGroup(o, g);
            p += 4;
            o += 3;
          }
          out.advance(static_cast<std::size_t>(o - start));
          if (p == end) break;
        }
        // One character: a letter of a broken-up group, or a blank.
        const std::uint8_t v = tables.value[*p];
        if (v < 64) {
          ++p;
          if (!addLetter(v)) return nullptr;
        } else if (v == kBlank) {
          ++p;
        } else {
          break;
        }
      }
      ctx->bufidx = static_cast<std::size_t>(p - base);
    }

    // Through the scanner, as the runtime's reader takes every character:
    // refills, tags, entities, comments, CDATA, '=' and the rest.
    soap_wchar c = soap_get(ctx);
    if (c < kLastMarkup) c &= 0x7FFFFFFF;  // a character reference stands for its character
    if (c == '=' || c < 0) {
      if (have >= 2 && !out.reserve(static_cast<std::size_t>(have - 1))) return nullptr;
      if (have == 2) {
        out.put(bits >> 4);
      } else if (have == 3) {
        out.put(bits >> 10);
        out.put(bits >> 2);
      }
      if (c >= 0) {
        // After the padding, everything up to the next tag is skipped.
        do c = soap_get(ctx);
        while (c != EOF && c != kStartTag && c != kEndTag);
      }
      soap_unget(ctx, c);
      return out.release(size);
    }
    const soap_wchar k = c - '+';
    if (k >= 0 && k < 80) {
      const int v = soap_base64i[k];
      if (v < 0 || v >= 64) {
        ctx->error = SOAP_TYPE;
        return nullptr;
      }
      if (!addLetter(static_cast<std::uint32_t>(v))) return nullptr;
    } else if (!coblank(c)) {
      ctx->error = SOAP_TYPE;
      return nullptr;
    }
  }
}

// ------------------------------------------------------------------ encoding

const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Two characters for every 12-bit value.
struct EncodeTable {
  char pair[4096][2];
  EncodeTable() {
    for (int v = 0; v < 4096; ++v) {
      pair[v][0] = kAlphabet[v >> 6];
      pair[v][1] = kAlphabet[v & 63];
    }
  }
};

const EncodeTable &encodeTable() {
  static const EncodeTable table;
  return table;
}

void encode(const unsigned char *in, std::size_t bytes, char *out, bool simd);

// Characters per unbuffered send: a whole number of groups, so padding only
// ever ends the last block.
constexpr std::size_t kSendBlock = std::size_t{256} << 10;
constexpr std::size_t kBytesPerBlock = kSendBlock / 4 * 3;

int bulkWrite(struct soap *ctx, const unsigned char *bytes, int size, bool simd) {
  if (!bytes || size <= 0) return SOAP_OK;
  std::size_t left = static_cast<std::size_t>(size);
  // The counting pass of a message only needs the length, unless a hook looks
  // at the bytes as they are counted.
  if ((ctx->mode & SOAP_IO_LENGTH) && !ctx->fpreparesend && !ctx->ffiltersend) {
    ctx->count += base64EncodedLength(left);
    return SOAP_OK;
  }
  // Buffered output (buffer, store, chunk) with no filter: encode straight
  // into the send buffer, where soap_send_raw would copy the text, and flush
  // it when it is full.
  if ((ctx->mode & SOAP_IO) != SOAP_IO_FLUSH && !(ctx->mode & SOAP_IO_LENGTH) &&
      !ctx->ffiltersend && ctx->bufidx <= sizeof ctx->buf) {
    while (left > 0) {
      const std::size_t room = sizeof ctx->buf - ctx->bufidx;
      if (room < 4) {
        // A group across the end of the buffer goes the runtime's way, so
        // the buffer is flushed just where it would flush it.
        char group[4];
        const std::size_t take = std::min<std::size_t>(left, 3);
        encode(bytes, take, group, simd);
        if (soap_send_raw(ctx, group, 4)) return ctx->error;
        bytes += take;
        left -= take;
        continue;
      }
      const std::size_t take = std::min(left, room / 4 * 3);
      encode(bytes, take, ctx->buf + ctx->bufidx, simd);
      ctx->bufidx += base64EncodedLength(take);
      bytes += take;
      left -= take;
    }
    return SOAP_OK;
  }
  // Unbuffered output (or a filter): every send goes to the connection as it
  // is, so the text goes in few large sends.
  const std::size_t blockBytes = std::min(left, kBytesPerBlock);
  std::unique_ptr<char[]> block(new (std::nothrow) char[base64EncodedLength(blockBytes)]);
  if (!block) return ctx->error = SOAP_EOM;
  while (left > 0) {
    const std::size_t take = std::min(left, kBytesPerBlock);
    encode(bytes, take, block.get(), simd);
    if (soap_send_raw(ctx, block.get(), base64EncodedLength(take))) return ctx->error;
    bytes += take;
    left -= take;
  }
  return SOAP_OK;
}

}  // namespace

unsigned char *readBase64(struct soap *ctx, int *size) {
  const Base64Codec codec = selected.load(std::memory_order_relaxed);
  if (codec == Base64Codec::kRuntime) {
    // The runtime's reader also holds a payload to the string limit; payloads
    // are bounded by the reply size instead (see readBase64 in base64.h).
    const long maxlength = ctx->maxlength;
    ctx->maxlength = 0;
    unsigned char *bytes = soap_getbase64(ctx, size, 0);
    ctx->maxlength = maxlength;
    return bytes;
  }
  const bool simd = codec == Base64Codec::kBulk;
  if (PayloadTarget *target = PayloadTarget::active(ctx)) {
    std::size_t capacity = 0;
    if (unsigned char *room = target->claim(payloadBound(ctx), &capacity)) {
      unsigned char *bytes = bulkRead(ctx, size, simd, room, capacity, target->owned());
      if (!bytes) target->abandon();
      return bytes;
    }
  }
  return bulkRead(ctx, size, simd);
}

// ------------------------------------------------------------------ targets

namespace {
thread_local PayloadTarget *activeTarget = nullptr;
}  // namespace

PayloadTarget::PayloadTarget(struct soap *ctx, const int *announced, unsigned char *buffer,
                             std::size_t capacity)
    : ctx_(ctx),
      announced_(announced),
      buffer_(buffer),
      bufferCapacity_(capacity),
      previous_(activeTarget) {
  activeTarget = this;
}

PayloadTarget::~PayloadTarget() {
  activeTarget = previous_;
  if (owned_) delete[] data_;
}

unsigned char *PayloadTarget::take() {
  owned_ = false;
  return data_;
}

PayloadTarget *PayloadTarget::active(const struct soap *ctx) {
  return activeTarget && activeTarget->ctx_ == ctx ? activeTarget : nullptr;
}

unsigned char *PayloadTarget::claim(std::size_t bound, std::size_t *capacity) {
  if (claimed_ || !announced_ || *announced_ <= 0) return nullptr;
  const auto announced = static_cast<std::size_t>(*announced_);
  if (buffer_) {
    if (announced > bufferCapacity_) return nullptr;
    data_ = buffer_;
  } else {
    if (announced > bound) return nullptr;
    data_ = new (std::nothrow) unsigned char[announced];
    if (!data_) return nullptr;
    owned_ = true;
  }
  claimed_ = true;
  *capacity = announced;
  return data_;
}

void PayloadTarget::abandon() {
  if (owned_) delete[] data_;
  owned_ = false;
  data_ = nullptr;
}

int writeBase64(struct soap *ctx, const unsigned char *bytes, int size) {
  const Base64Codec codec = selected.load(std::memory_order_relaxed);
  if (codec == Base64Codec::kRuntime) return soap_putbase64(ctx, bytes, size);
  return bulkWrite(ctx, bytes, size, codec == Base64Codec::kBulk);
}

void selectBase64Codec(Base64Codec codec) { selected.store(codec, std::memory_order_relaxed); }

Base64Codec selectedBase64Codec() { return selected.load(std::memory_order_relaxed); }

void encodeBase64(const unsigned char *in, std::size_t bytes, char *out) {
  encode(in, bytes, out, true);
}

std::size_t decodeBase64Groups(const char *in, std::size_t chars, unsigned char *out) {
  const auto *p = reinterpret_cast<const unsigned char *>(in);
  const unsigned char *const end = p + chars / 4 * 4;
#if defined(OCAMERA_BASE64_AVX2)
  if (haveAvx2()) decodeBlocksAvx2(&p, end, &out);
#endif
  const auto &s = decodeTables().shifted;
  while (end - p >= 4) {
    const std::uint32_t g = s[0][p[0]] | s[1][p[1]] | s[2][p[2]] | s[3][p[3]];
    if (g & kNotInAlphabet) break;
    storeLastGroup(out, g);
    p += 4;
    out += 3;
  }
  return static_cast<std::size_t>(p - reinterpret_cast<const unsigned char *>(in));
}

namespace {

void encode(const unsigned char *in, std::size_t bytes, char *out, bool simd) {
#if defined(OCAMERA_BASE64_AVX2)
  if (simd && haveAvx2()) {
    const std::size_t done = encodeBlocksAvx2(in, bytes, out);
    in += done;
    out += done / 3 * 4;
    bytes -= done;
  }
#endif
  const auto &pair = encodeTable().pair;
  for (; bytes >= 3; bytes -= 3, in += 3, out += 4) {
    const std::uint32_t group = std::uint32_t{in[0]} << 16 | std::uint32_t{in[1]} << 8 | in[2];
    std::memcpy(out, pair[group >> 12], 2);
    std::memcpy(out + 2, pair[group & 0xFFF], 2);
  }
  if (bytes > 0) {
    const std::uint32_t group =
        std::uint32_t{in[0]} << 16 | (bytes > 1 ? std::uint32_t{in[1]} << 8 : 0);
    out[0] = kAlphabet[group >> 18];
    out[1] = kAlphabet[group >> 12 & 63];
    out[2] = bytes > 1 ? kAlphabet[group >> 6 & 63] : '=';
    out[3] = '=';
  }
}

}  // namespace

}  // namespace wire
}  // namespace ocamera
