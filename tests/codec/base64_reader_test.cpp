// The bulk base64 reader against the runtime's own reader (soap_getbase64): the
// same text, arriving in the same pieces, must give the same bytes, the same
// error, and leave the parser at the same place, whatever the text holds
// (whitespace, padding or none, comments, CDATA, character references, stray
// markup, characters outside the alphabet, an early end of input).
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "fed_context.h"
#include "ocamH.h"
#include "protocol/base64.h"
#include "protocol/base64_codec.h"

namespace codec_test {
namespace {

// The runtime's reader, and the bulk reader with and without its AVX2 blocks.
enum class Reader { kRuntime, kBulk, kBulkPortable };

// Selects a codec while it lives.
class CodecSelection {
 public:
  explicit CodecSelection(ocamera::wire::Base64Codec codec)
      : before_(ocamera::wire::selectedBase64Codec()) {
    ocamera::wire::selectBase64Codec(codec);
  }
  ~CodecSelection() { ocamera::wire::selectBase64Codec(before_); }
  CodecSelection(const CodecSelection &) = delete;
  CodecSelection &operator=(const CodecSelection &) = delete;

 private:
  ocamera::wire::Base64Codec before_;
};

// Everything a reader leaves behind that a caller or the rest of the parse can see.
struct Outcome {
  int beginError = 0;
  bool nullResult = true;
  int size = -7;  // untouched unless the reader stores a size
  std::vector<unsigned char> bytes;
  int error = 0;
  soap_wchar ahead = 0;
  short cdata = 0;
  std::size_t consumed = 0;
  int endError = 0;
  std::size_t consumedAfterEnd = 0;
  int nextError = 0;  // reading the element after the payload's

  bool operator==(const Outcome &o) const {
    return beginError == o.beginError && nullResult == o.nullResult && size == o.size &&
           bytes == o.bytes && error == o.error && ahead == o.ahead && cdata == o.cdata &&
           consumed == o.consumed && endError == o.endError &&
           consumedAfterEnd == o.consumedAfterEnd && nextError == o.nextError;
  }
};

std::ostream &operator<<(std::ostream &out, const Outcome &o) {
  out << "{begin " << o.beginError << ", " << (o.nullResult ? "null" : "bytes") << ", size "
      << o.size << ", error " << o.error << ", ahead " << o.ahead << ", cdata " << o.cdata
      << ", consumed " << o.consumed << ", end " << o.endError << ", consumed after end "
      << o.consumedAfterEnd << ", next " << o.nextError << ", first bytes";
  for (std::size_t i = 0; i < o.bytes.size() && i < 8; ++i) out << ' ' << int(o.bytes[i]);
  return out << '}';
}

// Reads "<r><d>TEXT</d><z>1</z></r>" (or whatever `document` is) up to the text
// of <d>, lets `reader` take the text, then reads on as a reply parser would.
Outcome readPayload(const std::string &document, const std::vector<std::size_t> &pieces,
                    Reader reader) {
  FedContext ctx(document, pieces);
  Outcome o;
  if (soap_begin_recv(ctx) || soap_element_begin_in(ctx, "r", 0, nullptr) ||
      soap_element_begin_in(ctx, "d", 0, nullptr)) {
    o.beginError = ctx->error;
    return o;
  }
  unsigned char *p = nullptr;
  if (reader == Reader::kRuntime) {
    p = soap_getbase64(ctx, &o.size, 0);
  } else {
    CodecSelection codec(reader == Reader::kBulk ? ocamera::wire::Base64Codec::kBulk
                                                 : ocamera::wire::Base64Codec::kBulkPortable);
    p = ocamera::wire::readBase64(ctx, &o.size);
  }
  o.nullResult = p == nullptr;
  if (p && o.size > 0) o.bytes.assign(p, p + o.size);
  o.error = ctx->error;
  o.ahead = ctx->ahead;
  o.cdata = ctx->cdata;
  o.consumed = ctx.consumed();
  if (!p) return o;
  o.endError = soap_element_end_in(ctx, "d");
  o.consumedAfterEnd = ctx.consumed();
  if (o.endError == SOAP_OK) {
    o.nextError = soap_element_begin_in(ctx, "z", 0, nullptr);
    if (o.nextError == SOAP_OK) o.nextError = soap_element_end_in(ctx, "z");
  }
  return o;
}

std::string document(const std::string &text) { return "<r><d>" + text + "</d><z>1</z></r>"; }

// Plain base64 with padding, written here independently of both codecs.
std::string encode(const std::vector<unsigned char> &bytes) {
  static const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string text;
  for (std::size_t i = 0; i < bytes.size(); i += 3) {
    const std::size_t n = std::min<std::size_t>(3, bytes.size() - i);
    std::uint32_t group = std::uint32_t{bytes[i]} << 16;
    if (n > 1) group |= std::uint32_t{bytes[i + 1]} << 8;
    if (n > 2) group |= bytes[i + 2];
    text += alphabet[group >> 18];
    text += alphabet[group >> 12 & 63];
    text += n > 1 ? alphabet[group >> 6 & 63] : '=';
    text += n > 2 ? alphabet[group & 63] : '=';
  }
  return text;
}

std::vector<unsigned char> randomBytes(std::mt19937 &rng, std::size_t n) {
  std::vector<unsigned char> bytes(n);
  for (auto &b : bytes) b = static_cast<unsigned char>(rng());
  return bytes;
}

// The ways the text is received: all at once (as the runtime asks for it),
// byte by byte, in a few fixed and uneven sizes.
const std::vector<std::vector<std::size_t>> kPieces = {
    {}, {1}, {2}, {3}, {5}, {7, 1, 64}, {13, 4096}, {65536},
};

void expectSameOutcome(const std::string &doc, const std::vector<std::size_t> &pieces,
                       const std::string &what) {
  const Outcome runtime = readPayload(doc, pieces, Reader::kRuntime);
  std::string chunking;
  for (std::size_t n : pieces) chunking += std::to_string(n) + " ";
  EXPECT_EQ(readPayload(doc, pieces, Reader::kBulk), runtime)
      << what << "; pieces: " << chunking << "; document: " << doc.substr(0, 200);
  EXPECT_EQ(readPayload(doc, pieces, Reader::kBulkPortable), runtime)
      << "portable; " << what << "; pieces: " << chunking << "; document: " << doc.substr(0, 200);
}

void expectSameOutcomeForAllPieces(const std::string &doc, const std::string &what) {
  for (const auto &pieces : kPieces) expectSameOutcome(doc, pieces, what);
}

// ---------------------------------------------------------------- fixed texts

struct TextCase {
  const char *name;
  std::string text;
};

class Base64FixedText : public ::testing::TestWithParam<TextCase> {};

TEST_P(Base64FixedText, ReadsLikeTheRuntime) {
  expectSameOutcomeForAllPieces(document(GetParam().text), GetParam().name);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, Base64FixedText,
    ::testing::Values(
        TextCase{"Padded", "QUJDRA=="}, TextCase{"Unpadded", "QUJDRA"},
        TextCase{"ThreeLeft", "QUJDREU"}, TextCase{"OneLeftIsDropped", "QUJDR"},
        TextCase{"Empty", ""}, TextCase{"OnlyBlanks", " \r\n\t "},
        TextCase{"BlanksEverywhere", " Q U\nJ\tD\rR A = = "},
        TextCase{"LineBreaksEvery76", std::string(76, 'A') + "\r\n" + std::string(76, 'B') + "\n"},
        TextCase{"GarbageAfterPadding", "QUJDRA==!!junk"},
        TextCase{"DataAfterPaddingIsSkipped", "QQ==QUJD"},
        TextCase{"TagAfterPadding", "QQ==<x>1</x>"}, TextCase{"PaddingFirst", "=QUJD"},
        TextCase{"ThreePads", "QUJDR==="}, TextCase{"Asterisk", "QUJ*RA=="},
        TextCase{"Dash", "QU-JDRA=="}, TextCase{"Underscore", "QU_JDRA=="},
        TextCase{"HighByte", "QUJ\xc3\xa9RA=="}, TextCase{"Comment", "QU<!-- x -->JDRA=="},
        TextCase{"CommentAfterPadding", "QUJDRA==<!-- x -->"},
        TextCase{"Cdata", "QU<![CDATA[JD]]>RA=="},
        TextCase{"CdataWithBlanks", "<![CDATA[ QU JD ]]>RA=="},
        TextCase{"CdataWithBracket", "QU<![CDATA[J]D]]>RA=="},
        TextCase{"ProcessingInstruction", "QU<?pi x?>JDRA=="},
        TextCase{"DecimalReference", "&#81;UJDRA=="}, TextCase{"HexReference", "QUJ&#x44;RA=="},
        TextCase{"ReferenceToBlank", "QUJD&#32;RA=="}, TextCase{"ReferenceToLt", "QUJD&#60;RA=="},
        TextCase{"ReferenceToEquals", "QUJDRA&#61;="}, TextCase{"Amp", "QUJD&amp;RA=="},
        TextCase{"Lt", "QUJD&lt;RA=="}, TextCase{"UnknownEntity", "QUJD&bogus;RA=="},
        TextCase{"BrokenEntity", "QUJD&#xZZ;RA=="}, TextCase{"Quote", "QUJD\"RA=="},
        TextCase{"Apostrophe", "QUJD'RA=="}, TextCase{"Gt", "QUJD>RA=="},
        TextCase{"ChildElement", "QUJD<x>y</x>RA=="}, TextCase{"Nul", std::string("QUJD\0RA==", 9)},
        TextCase{"ControlCharacters",
                 "QU\x01J\x1f"
                 "DRA=="},
        TextCase{"Delete", "QUJD\x7fRA=="},
        TextCase{"AllLetters", "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/"}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(Base64Reader, EndOfInputEndsTheText) {
  for (const char *doc : {"<r><d>QUJDRA==", "<r><d>QUJDRA", "<r><d>QUJ", "<r><d>",
                          "<r><d>QUJDRA==</d", "<r><d>QU<!--"})
    for (const auto &pieces : kPieces) expectSameOutcome(doc, pieces, "cut off");
}

TEST(Base64Reader, EveryByteValueInEveryPositionOfAGroup) {
  for (int b = 0; b < 256; ++b) {
    const std::string c(1, static_cast<char>(b));
    for (const std::string &text : {c + "QUJDRA==", "Q" + c + "UJDRA==", "QU" + c + "JDRA==",
                                    "QUJ" + c + "DRA==", "QUJDRA=" + c + "="})
      for (const auto &pieces : std::vector<std::vector<std::size_t>>{{}, {1}, {4}})
        expectSameOutcome(document(text), pieces, "byte " + std::to_string(b));
  }
}

// The same inside runs long enough for the 16- and 32-character blocks.
TEST(Base64Reader, EveryByteValueInsideLongRuns) {
  const std::string run = "QUJDREVGR0hJSktMTU5PUFFSU1RVVldYWVphYmNkZWZnaGlqa2xtbm9w";  // 56
  for (int b = 0; b < 256; ++b) {
    for (std::size_t at : {0u, 5u, 15u, 16u, 31u, 32u, 33u, 47u, 55u}) {
      std::string text = run + run;
      text.insert(at, 1, static_cast<char>(b));
      expectSameOutcome(document(text), {},
                        "byte " + std::to_string(b) + " at " + std::to_string(at));
    }
  }
}

// ---------------------------------------------------------------- random texts

// One random change to a well-formed text.
std::string mutate(std::mt19937 &rng, std::string text) {
  auto pos = [&] { return std::uniform_int_distribution<std::size_t>(0, text.size())(rng); };
  switch (rng() % 14) {
    case 0: {  // blanks anywhere
      static const char blanks[] = {' ', '\t', '\r', '\n', '\0', '\x01', '\x1f', ' '};
      for (int i = rng() % 8; i >= 0; --i) text.insert(pos(), 1, blanks[rng() % sizeof blanks]);
      break;
    }
    case 1:  // no padding
      while (!text.empty() && text.back() == '=') text.pop_back();
      break;
    case 2:
      text += rng() % 2 ? "=AAAA" : "xyz";
      break;
    case 3:
      text.insert(pos(), "<!-- note -->");
      break;
    case 4: {  // part of the text in a CDATA section
      const std::size_t a = pos();
      const std::size_t b = std::uniform_int_distribution<std::size_t>(a, text.size())(rng);
      text.insert(b, "]]>");
      text.insert(a, "<![CDATA[");
      break;
    }
    case 5: {  // a character as a character reference
      if (text.empty()) break;
      const std::size_t a = pos() % text.size();
      const std::string ref = (rng() % 2 ? "&#" + std::to_string(int(text[a])) : "&#x41") + ";";
      text.replace(a, 1, ref);
      break;
    }
    case 6:  // any byte at all
      text.insert(pos(), 1, static_cast<char>(rng()));
      break;
    case 7:
      text.insert(pos(), 1, '=');
      break;
    case 8:
      text.insert(pos(), "<?pi data?>");
      break;
    case 9:
      text.insert(pos(), "<x>1</x>");
      break;
    case 10: {
      static const char *marks[] = {"\"", "'", ">", "&amp;", "&lt;", "&bogus;", "&#"};
      text.insert(pos(), marks[rng() % 7]);
      break;
    }
    case 11: {  // a long run of blanks, longer than some receives
      text.insert(pos(), std::string(rng() % 300, rng() % 2 ? ' ' : '\n'));
      break;
    }
    case 12:  // line breaks every 76 characters, as mail encoders write
      for (std::size_t i = 76; i < text.size(); i += 78) text.insert(i, "\r\n");
      break;
    default:
      break;  // unchanged
  }
  return text;
}

std::vector<std::size_t> randomPieces(std::mt19937 &rng) {
  std::vector<std::size_t> pieces(1 + rng() % 4);
  for (auto &n : pieces) n = 1 + rng() % (rng() % 2 ? 16 : 300);
  return pieces;
}

TEST(Base64Reader, RandomTextsInRandomPiecesReadLikeTheRuntime) {
  std::mt19937 rng(20240611);
  for (int round = 0; round < 3000; ++round) {
    const std::size_t n = rng() % 8 == 0 ? rng() % 5000 : rng() % 200;
    std::string text = encode(randomBytes(rng, n));
    for (int k = rng() % 4; k > 0; --k) text = mutate(rng, text);
    std::string doc = document(text);
    if (rng() % 20 == 0) doc.resize(rng() % (doc.size() + 1));  // cut off anywhere
    expectSameOutcome(doc, randomPieces(rng), "round " + std::to_string(round));
    expectSameOutcome(doc, {}, "round " + std::to_string(round));
    if (HasFailure()) break;  // one document is enough to look at
  }
}

TEST(Base64Reader, LargePayloadAcrossManyReceives) {
  std::mt19937 rng(7);
  const std::vector<unsigned char> bytes = randomBytes(rng, 1024 * 1024 + 1);
  const std::string text = encode(bytes);
  std::string wrapped = text;
  for (std::size_t i = 76; i < wrapped.size(); i += 77) wrapped.insert(i, "\n");
  for (const auto &pieces :
       std::vector<std::vector<std::size_t>>{{}, {1000, 65536, 3}, {4093}, {65536, 17}}) {
    for (const std::string *t : std::vector<const std::string *>{&text, &wrapped}) {
      const Outcome bulk = readPayload(document(*t), pieces, Reader::kBulk);
      ASSERT_EQ(bulk.error, SOAP_OK);
      ASSERT_EQ(bulk.bytes, bytes);
      EXPECT_EQ(bulk, readPayload(document(*t), pieces, Reader::kRuntime));
      EXPECT_EQ(bulk, readPayload(document(*t), pieces, Reader::kBulkPortable));
    }
  }
}

// The first guess of the payload's size comes from the HTTP content length
// when the end tag is not in the buffer yet; a length that lies either way
// changes nothing but where the memory comes from.
TEST(Base64Reader, ContentLengthIsOnlyAGuess) {
  std::mt19937 rng(11);
  const std::vector<unsigned char> bytes = randomBytes(rng, 200000);
  const std::string body = document(encode(bytes));
  for (const std::string &length :
       std::vector<std::string>{std::to_string(body.size()), "100", "2000000000"}) {
    const std::string reply =
        "HTTP/1.1 200 OK\r\nContent-Type: text/xml\r\nContent-Length: " + length + "\r\n\r\n" +
        body;
    const Outcome bulk = readPayload(reply, {4096}, Reader::kBulk);
    EXPECT_EQ(bulk.error, SOAP_OK) << length;
    EXPECT_EQ(bulk.bytes, bytes) << length;
    EXPECT_EQ(bulk, readPayload(reply, {4096}, Reader::kRuntime)) << length;
  }
}

// ---------------------------------------------------------------- through the generated reader

// A reply read through the generated code, once with each codec selected.
struct ReplyOutcome {
  int error = 0;
  bool nullData = true;
  std::vector<unsigned char> bytes;
  int nSize = 0;
};

ReplyOutcome readImageReply(const std::string &data, ocamera::wire::Base64Codec codec,
                            long maxlength = 0) {
  const std::string doc =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<SOAP-ENV:Envelope "
      "xmlns:SOAP-ENV=\"http://schemas.xmlsoap.org/soap/envelope/\" "
      "xmlns:SOAP-ENC=\"http://schemas.xmlsoap.org/soap/encoding/\" "
      "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
      "xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\" xmlns:scam=\"urn:vdx\"><SOAP-ENV:Body>"
      "<scam:SingleImageResponse><scam:nSize>9</scam:nSize>" +
      data +
      "<scam:nStatus>0</scam:nStatus></scam:SingleImageResponse>"
      "</SOAP-ENV:Body></SOAP-ENV:Envelope>";
  const ocamera::wire::Base64Codec before = ocamera::wire::selectedBase64Codec();
  ocamera::wire::selectBase64Codec(codec);
  FedContext ctx(doc, {5});
  ctx->maxlength = maxlength;
  ocam::scam__SingleImageResponse reply;
  reply.soap_default(ctx);
  ReplyOutcome o;
  if (soap_begin_recv(ctx) || soap_envelope_begin_in(ctx) || soap_recv_header(ctx) ||
      soap_body_begin_in(ctx) || !reply.soap_get(ctx, "scam:SingleImageResponse", nullptr) ||
      soap_body_end_in(ctx) || soap_envelope_end_in(ctx) || soap_end_recv(ctx))
    o.error = ctx->error;
  ocamera::wire::selectBase64Codec(before);
  o.nullData = reply.data.__ptr == nullptr;
  if (reply.data.__ptr) o.bytes.assign(reply.data.__ptr, reply.data.__ptr + reply.data.__size);
  o.nSize = reply.nSize;
  return o;
}

TEST(Base64Reader, GeneratedReaderKeepsTheElementRules) {
  const std::vector<std::pair<std::string, int>> cases = {
      {"<scam:data>/wAB</scam:data>", SOAP_OK},
      {"<scam:data xsi:type=\"xsd:base64Binary\">/wAB</scam:data>", SOAP_OK},
      {"<scam:data xsi:type=\"xsd:base64\">/wAB</scam:data>", SOAP_OK},
      {"<scam:data xsi:type=\"SOAP-ENC:base64\">/wAB</scam:data>", SOAP_OK},
      {"<scam:data xsi:type=\"xsd:string\">/wAB</scam:data>", SOAP_TYPE},
      {"<scam:data xsi:type=\"xsd:hexBinary\">FF0001</scam:data>", SOAP_TYPE},
      {"<scam:data></scam:data>", SOAP_OK},
      {"<scam:data/>", SOAP_OK},
      {"", SOAP_OK},
      {"<scam:data>/w!B</scam:data>", SOAP_TYPE},
      {"<scam:data>/wAB<!-- -->Zm9v</scam:data>", SOAP_OK},
  };
  for (const auto &c : cases) {
    const ReplyOutcome runtime = readImageReply(c.first, ocamera::wire::Base64Codec::kRuntime);
    const ReplyOutcome bulk = readImageReply(c.first, ocamera::wire::Base64Codec::kBulk);
    EXPECT_EQ(bulk.error, c.second) << c.first;
    EXPECT_EQ(bulk.error, runtime.error) << c.first;
    EXPECT_EQ(bulk.nullData, runtime.nullData) << c.first;
    EXPECT_EQ(bulk.bytes, runtime.bytes) << c.first;
    EXPECT_EQ(bulk.nSize, runtime.nSize) << c.first;
  }
  EXPECT_EQ(readImageReply("<scam:data>/wAB</scam:data>", ocamera::wire::Base64Codec::kBulk).bytes,
            (std::vector<unsigned char>{0xFF, 0x00, 0x01}));
}

// Payloads are bounded by the reply size, not by the string limit, whichever
// codec reads them; strings still are.
TEST(Base64Reader, StringLimitLeavesPayloadsAlone) {
  const std::string data = "<scam:data>" + std::string(400, 'A') + "</scam:data>";
  for (auto codec : {ocamera::wire::Base64Codec::kRuntime, ocamera::wire::Base64Codec::kBulk}) {
    const ReplyOutcome o = readImageReply(data, codec, 16);
    EXPECT_EQ(o.error, SOAP_OK);
    EXPECT_EQ(o.bytes.size(), 300u);
  }
}

TEST(Base64Reader, LibraryUsesTheBulkCodec) {
  EXPECT_EQ(ocamera::wire::selectedBase64Codec(), ocamera::wire::Base64Codec::kBulk);
}

}  // namespace
}  // namespace codec_test
