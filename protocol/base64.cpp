#include "protocol/base64.h"

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstdint>
#include <cstring>

#include "stdsoap2.h"

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
// The first allocation never trusts a length announced by the peer beyond this;
// a longer payload grows into its room as it arrives.
constexpr std::size_t kMaxFirstAllocation = std::size_t{64} << 20;
constexpr std::size_t kMinFirstAllocation = 64;
constexpr std::size_t kGrowthFloor = std::size_t{64} << 10;

// The decoded bytes, in one block of context memory that grows (by doubling)
// only when the first guess of its size was too small.
class DecodedBytes {
 public:
  explicit DecodedBytes(struct soap *ctx) : ctx_(ctx) {}
  ~DecodedBytes() {
    if (data_) soap_dealloc(ctx_, data_);
  }
  DecodedBytes(const DecodedBytes &) = delete;
  DecodedBytes &operator=(const DecodedBytes &) = delete;

  // Room for `more` bytes after the used ones; false (SOAP_EOM) when it
  // cannot be had.
  bool reserve(std::size_t more) {
    if (more <= capacity_ - used_) return true;
    if (more > kMaxPayload - used_) return fail();
    const std::size_t wanted = std::max({used_ + more, capacity_ * 2, kMinFirstAllocation});
    return moveTo(std::min(wanted, kMaxPayload));
  }

  unsigned char *tail() { return data_ + used_; }
  void advance(std::size_t bytes) { used_ += bytes; }
  void put(std::uint32_t byte) { data_[used_++] = static_cast<unsigned char>(byte); }

  // Hands the block over to the caller (the context still owns it). A block
  // much larger than its content is exchanged for one that fits.
  unsigned char *release(int *size) {
    if (capacity_ - used_ > kGrowthFloor && used_ < capacity_ / 2 && !moveTo(used_)) return nullptr;
    if (size) *size = static_cast<int>(used_);
    unsigned char *result = data_;
    data_ = nullptr;
    return result;
  }

 private:
  bool fail() {
    ctx_->error = SOAP_EOM;
    return false;
  }

  bool moveTo(std::size_t capacity) {
    // One spare byte: the block decoder stores four bytes to place three.
    auto *fresh = static_cast<unsigned char *>(soap_malloc(ctx_, capacity + 1));
    if (!fresh) return fail();
    if (used_) std::memcpy(fresh, data_, used_);
    if (data_) soap_dealloc(ctx_, data_);
    data_ = fresh;
    capacity_ = capacity;
    return true;
  }

  struct soap *ctx_;
  unsigned char *data_ = nullptr;
  std::size_t used_ = 0;
  std::size_t capacity_ = 0;
};

// A first guess of the payload's size, from what is known before reading it:
// the end tag already in the buffer, else the HTTP content length, else the
// buffer's worth. Only a guess: the block grows when the text runs longer.
std::size_t firstGuess(const struct soap *ctx) {
  const std::size_t buffered = ctx->buflen - ctx->bufidx;
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

// Stores the three bytes of a complete group (held in the low 24 bits of
// `group`) with one four-byte store; the fourth byte is scratch.
inline void storeGroup(unsigned char *out, std::uint32_t group) {
  const std::uint32_t bytes = __builtin_bswap32(group << 8);
  std::memcpy(out, &bytes, 4);
}

inline bool coblank(soap_wchar c) { return c + 1 > 0 && c <= 32; }

unsigned char *bulkRead(struct soap *ctx, int *size) {
  const DecodeTables &tables = decodeTables();
  DecodedBytes out(ctx);
  if (!out.reserve(firstGuess(ctx))) return nullptr;
  std::uint32_t bits = 0;  // the characters of the group so far
  int have = 0;            // how many (0..3)
  for (;;) {
    // Straight from the receive buffer while nothing there needs the scanner.
    if (!ctx->ahead && !ctx->cdata) {
      const auto *base = reinterpret_cast<const unsigned char *>(ctx->buf);
      const unsigned char *p = base + ctx->bufidx;
      const unsigned char *const end = base + ctx->buflen;
      while (p < end) {
        if (have == 0 && end - p >= 4) {
          if (!out.reserve(static_cast<std::size_t>(end - p) / 4 * 3)) return nullptr;
          unsigned char *o = out.tail();
          const auto &s = tables.shifted;
          while (end - p >= 16) {
            const std::uint32_t g0 = s[0][p[0]] | s[1][p[1]] | s[2][p[2]] | s[3][p[3]];
            const std::uint32_t g1 = s[0][p[4]] | s[1][p[5]] | s[2][p[6]] | s[3][p[7]];
            const std::uint32_t g2 = s[0][p[8]] | s[1][p[9]] | s[2][p[10]] | s[3][p[11]];
            const std::uint32_t g3 = s[0][p[12]] | s[1][p[13]] | s[2][p[14]] | s[3][p[15]];
            if ((g0 | g1 | g2 | g3) & kNotInAlphabet) break;
            storeGroup(o, g0);
            storeGroup(o + 3, g1);
            storeGroup(o + 6, g2);
            storeGroup(o + 9, g3);
            p += 16;
            o += 12;
          }
          while (end - p >= 4) {
            const std::uint32_t g = s[0][p[0]] | s[1][p[1]] | s[2][p[2]] | s[3][p[3]];
            if (g & kNotInAlphabet) break;
            storeGroup(o, g);
            p += 4;
            o += 3;
          }
          out.advance(static_cast<std::size_t>(o - out.tail()));
          if (p == end) break;
        }
        // One character: a letter of a broken-up group, or a blank.
        const std::uint8_t v = tables.value[*p];
        if (v < 64) {
          bits = bits << 6 | v;
          ++p;
          if (++have == 4) {
            if (!out.reserve(3)) return nullptr;
            storeGroup(out.tail(), bits);
            out.advance(3);
            bits = 0;
            have = 0;
          }
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
      if (!out.reserve(2)) return nullptr;
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
      bits = bits << 6 | static_cast<std::uint32_t>(v);
      if (++have == 4) {
        if (!out.reserve(3)) return nullptr;
        storeGroup(out.tail(), bits);
        out.advance(3);
        bits = 0;
        have = 0;
      }
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

// Characters per send: a whole number of groups, so padding only ever ends
// the last block.
constexpr std::size_t kSendBlock = 16384;
constexpr std::size_t kBytesPerBlock = kSendBlock / 4 * 3;

int bulkWrite(struct soap *ctx, const unsigned char *bytes, int size) {
  if (!bytes || size <= 0) return SOAP_OK;
  std::size_t left = static_cast<std::size_t>(size);
  // The counting pass of a message only needs the length, unless a hook looks
  // at the bytes as they are counted.
  if ((ctx->mode & SOAP_IO_LENGTH) && !ctx->fpreparesend && !ctx->ffiltersend) {
    ctx->count += base64EncodedLength(left);
    return SOAP_OK;
  }
  char block[kSendBlock];
  while (left > 0) {
    const std::size_t take = std::min(left, kBytesPerBlock);
    encodeBase64(bytes, take, block);
    if (soap_send_raw(ctx, block, base64EncodedLength(take))) return ctx->error;
    bytes += take;
    left -= take;
  }
  return SOAP_OK;
}

}  // namespace

unsigned char *readBase64(struct soap *ctx, int *size) {
  if (selected.load(std::memory_order_relaxed) == Base64Codec::kRuntime)
    return soap_getbase64(ctx, size, 0);
  return bulkRead(ctx, size);
}

int writeBase64(struct soap *ctx, const unsigned char *bytes, int size) {
  if (selected.load(std::memory_order_relaxed) == Base64Codec::kRuntime)
    return soap_putbase64(ctx, bytes, size);
  return bulkWrite(ctx, bytes, size);
}

void selectBase64Codec(Base64Codec codec) { selected.store(codec, std::memory_order_relaxed); }

Base64Codec selectedBase64Codec() { return selected.load(std::memory_order_relaxed); }

void encodeBase64(const unsigned char *in, std::size_t bytes, char *out) {
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

}  // namespace wire
}  // namespace ocamera
