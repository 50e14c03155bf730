// The bulk base64 writer against the runtime's own (soap_putbase64): the same
// characters on the wire and the same count in the counting pass that gives
// the HTTP Content-Length; and the plain encoder against a reference.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "ocamH.h"
#include "protocol/base64.h"
#include "protocol/base64_codec.h"
#include "protocol/transport.h"

namespace codec_test {
namespace {

enum class Writer { kRuntime, kBulk, kBulkPortable };

struct Written {
  int countError = 0;
  ULONG64 counted = 0;
  int sendError = 0;
  ULONG64 countAfterSend = 0;
  std::string sent;
  std::size_t sends = 0;
};

int capture(soap *ctx, const char *bytes, std::size_t n) {
  auto *out = static_cast<Written *>(ctx->user);
  out->sent.append(bytes, n);
  ++out->sends;
  return SOAP_OK;
}

// Writes the payload once in counting mode and once for real, the way a
// message with a Content-Length is written.
Written write(const unsigned char *bytes, int size, Writer writer, soap_mode mode,
              std::size_t before = 0) {
  // Text written before the payload puts it anywhere in the send buffer.
  const std::string prefix(before, '<');
  soap *ctx = soap_new1(mode);
  ocamera::wire::configure(ctx);
  Written out;
  ctx->user = &out;
  ctx->fsend = capture;
  auto put = [&] {
    if (writer == Writer::kRuntime) return soap_putbase64(ctx, bytes, size);
    const auto before = ocamera::wire::selectedBase64Codec();
    ocamera::wire::selectBase64Codec(writer == Writer::kBulk
                                         ? ocamera::wire::Base64Codec::kBulk
                                         : ocamera::wire::Base64Codec::kBulkPortable);
    const int rc = ocamera::wire::writeBase64(ctx, bytes, size);
    ocamera::wire::selectBase64Codec(before);
    return rc;
  };
  // As a generated call does it: the counting pass runs only when the mode
  // needs the length in advance (not for a stored message).
  soap_begin_count(ctx);
  if (ctx->mode & SOAP_IO_LENGTH) {
    soap_send_raw(ctx, prefix.data(), prefix.size());
    out.countError = put();
  }
  soap_end_count(ctx);
  out.counted = ctx->count;
  if (soap_begin_send(ctx) == SOAP_OK) {
    soap_send_raw(ctx, prefix.data(), prefix.size());
    out.sendError = put();
    out.countAfterSend = ctx->count;
    if (soap_end_send(ctx) != SOAP_OK && out.sendError == SOAP_OK) out.sendError = ctx->error;
  } else {
    out.sendError = ctx->error;
  }
  soap_destroy(ctx);
  soap_end(ctx);
  soap_free(ctx);
  return out;
}

TEST(Base64Writer, WritesAndCountsLikeTheRuntime) {
  std::mt19937 rng(5);
  std::vector<int> sizes;
  for (int n = 0; n <= 64; ++n) sizes.push_back(n);
  for (int n : {12287, 12288, 12289, 12290, 24576, 65535, 65536, 65537, 100000, 196607, 196608,
                196609, 393217, 1310720})
    sizes.push_back(n);
  for (int i = 0; i < 20; ++i) sizes.push_back(static_cast<int>(rng() % 300000));
  for (int size : sizes) {
    std::vector<unsigned char> bytes(static_cast<std::size_t>(size) + 1);
    for (auto &b : bytes) b = static_cast<unsigned char>(rng());
    for (soap_mode mode : {SOAP_IO_DEFAULT, SOAP_IO_BUFFER, SOAP_IO_STORE, SOAP_IO_CHUNK}) {
      const Written runtime = write(bytes.data(), size, Writer::kRuntime, mode);
      const Written bulk = write(bytes.data(), size, Writer::kBulk, mode);
      const Written portable = write(bytes.data(), size, Writer::kBulkPortable, mode);
      EXPECT_TRUE(portable.sent == runtime.sent) << size << " mode " << mode;
      EXPECT_EQ(portable.counted, runtime.counted) << size << " mode " << mode;
      ASSERT_EQ(bulk.countError, SOAP_OK) << size;
      ASSERT_EQ(bulk.sendError, SOAP_OK) << size;
      EXPECT_EQ(bulk.counted, runtime.counted) << size << " mode " << mode;
      EXPECT_EQ(bulk.countAfterSend, runtime.countAfterSend) << size << " mode " << mode;
      EXPECT_TRUE(bulk.sent == runtime.sent) << size << " mode " << mode;
      if (mode == SOAP_IO_DEFAULT || mode == SOAP_IO_BUFFER) {  // no HTTP framing around it
        EXPECT_EQ(bulk.sent.size(), ocamera::wire::base64EncodedLength(size)) << size;
      }
    }
  }
}

TEST(Base64Writer, PayloadStartingAnywhereInTheSendBuffer) {
  std::vector<unsigned char> bytes(200000);
  std::mt19937 rng(9);
  for (auto &b : bytes) b = static_cast<unsigned char>(rng());
  for (std::size_t before : {1u, 2u, 3u, 5u, 65530u, 65533u, 65534u, 65535u, 65536u, 65537u}) {
    for (int size : {1, 2, 3, 49150, 49151, 49152, 200000}) {
      for (soap_mode mode : {SOAP_IO_BUFFER, SOAP_IO_STORE, SOAP_IO_CHUNK}) {
        const Written runtime = write(bytes.data(), size, Writer::kRuntime, mode, before);
        const Written bulk = write(bytes.data(), size, Writer::kBulk, mode, before);
        EXPECT_EQ(bulk.sendError, SOAP_OK);
        EXPECT_TRUE(bulk.sent == runtime.sent)
            << before << " " << size << " mode " << mode << ": " << bulk.sent.size() << " and "
            << runtime.sent.size() << " bytes";
        EXPECT_EQ(bulk.counted, runtime.counted) << before << " " << size << " mode " << mode;
      }
    }
  }
}

TEST(Base64Writer, NullOrNegativeWritesNothing) {
  const unsigned char bytes[] = {1, 2, 3};
  for (Writer writer : {Writer::kRuntime, Writer::kBulk}) {
    EXPECT_EQ(write(nullptr, 3, writer, SOAP_IO_DEFAULT).sent, "");
    EXPECT_EQ(write(bytes, 0, writer, SOAP_IO_DEFAULT).sent, "");
    EXPECT_EQ(write(bytes, -5, writer, SOAP_IO_DEFAULT).sent, "");
    EXPECT_EQ(write(bytes, -5, writer, SOAP_IO_DEFAULT).counted, 0u);
  }
}

// The counting pass hands the bytes to a hook that asks to see them.
TEST(Base64Writer, PrepareSendHookSeesTheCharacters) {
  struct Seen {
    std::string text;
  } seen;
  std::vector<unsigned char> bytes(50000);
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<unsigned char>(i * 7);
  std::string viaRuntime;
  for (Writer writer : {Writer::kRuntime, Writer::kBulk}) {
    soap *ctx = soap_new();
    ctx->user = &seen;
    seen.text.clear();
    ctx->fpreparesend = [](soap *c, const char *s, std::size_t n) {
      static_cast<Seen *>(c->user)->text.append(s, n);
      return SOAP_OK;
    };
    soap_begin_count(ctx);
    const int rc = writer == Writer::kRuntime
                       ? soap_putbase64(ctx, bytes.data(), 50000)
                       : ocamera::wire::writeBase64(ctx, bytes.data(), 50000);
    soap_end_count(ctx);
    EXPECT_EQ(rc, SOAP_OK);
    EXPECT_EQ(ctx->count, ocamera::wire::base64EncodedLength(50000));
    soap_destroy(ctx);
    soap_end(ctx);
    soap_free(ctx);
    if (writer == Writer::kRuntime) viaRuntime = seen.text;
  }
  EXPECT_EQ(seen.text.size(), ocamera::wire::base64EncodedLength(50000));
  EXPECT_EQ(seen.text, viaRuntime);
}

TEST(Base64Encoder, KnownTexts) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"", ""},
      {"f", "Zg=="},
      {"fo", "Zm8="},
      {"foo", "Zm9v"},
      {"foob", "Zm9vYg=="},
      {"fooba", "Zm9vYmE="},
      {"foobar", "Zm9vYmFy"},
      {"\xff\xfe\xfd", "//79"},
      {std::string("\0\0\0", 3), "AAAA"},
  };
  for (const auto &c : cases) {
    std::string out(ocamera::wire::base64EncodedLength(c.first.size()), '?');
    ocamera::wire::encodeBase64(reinterpret_cast<const unsigned char *>(c.first.data()),
                                c.first.size(), out.data());
    EXPECT_EQ(out, c.second);
  }
}

}  // namespace
}  // namespace codec_test
