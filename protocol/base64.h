// Bulk base64 reading and writing for the "xsd:base64Binary" payloads (images,
// image memory, white-balance tables, reference data).
//
// The runtime's own reader takes one character at a time through its XML
// scanner; for a multi-megabyte image that is where nearly all the time of a
// reply goes. readBase64 decodes straight out of the context's receive buffer
// in blocks and hands every character that needs the XML scanner (a tag, an
// entity, a comment, CDATA, '=', a character outside the alphabet) to the
// runtime, one at a time, exactly as the runtime's reader would. The generated
// reader of xsd__base64Binary calls it in place of soap_getbase64 (see
// wire_fixups.cmake), so the element handling around the text (the xsi:type
// check, an element without content) stays the runtime's.
//
// writeBase64 is the matching writer: it encodes in large blocks instead of
// four characters per send.
#pragma once

#include <cstddef>

struct soap;

namespace ocamera {
namespace wire {

// Reads base64 text up to the end of the element's content. Contract of the
// runtime's soap_getbase64(ctx, size, 0):
//  - Returns the decoded bytes in memory of the context (soap_malloc; freed by
//    soap_end or soap_dealloc), non-null also for zero bytes, and stores their
//    number in *size (when size is not null).
//  - Whitespace (any character up to 32) is skipped wherever it stands;
//    comments, processing instructions and CDATA sections are read through;
//    character references (&#65;) stand for their character.
//  - '=' ends the data; whatever follows it up to the next tag is skipped. The
//    end of the text without padding also ends it: a last group of 2 or 3
//    characters gives 1 or 2 bytes, a single character is dropped.
//  - Any other character outside the base64 alphabet fails with SOAP_TYPE
//    (null returned, *size untouched).
//  - On success the parser stands where the runtime's reader leaves it: the
//    tag (or end of input) that ended the text is held as the look-ahead.
// Allocation failure or a payload above INT_MAX bytes fails with SOAP_EOM.
// Unlike the runtime's reader, the payload is not held to the context's string
// limit (soap->maxlength): strings stay short while an image is megabytes; the
// reply size limit (recv_maxlength) bounds a payload instead.
unsigned char *readBase64(struct soap *ctx, int *size);

// Writes `size` bytes as base64 text with '=' padding and no line breaks, the
// same characters the runtime's soap_putbase64 writes. A null `bytes` or a size
// of 0 or less writes nothing. Returns SOAP_OK or the runtime's send error.
int writeBase64(struct soap *ctx, const unsigned char *bytes, int size);

// A buffer of the caller's for the next payload readBase64 reads on one context
// from this thread, so that a large payload is decoded where it is wanted, with
// no block of context memory and no copy. While a target is alive, the first
// payload read on `ctx` (by this thread) goes into it when the size the reply
// announced (*announced, read when the payload begins: the reply's size member
// stands before its data) is positive:
//  - into `buffer`, which holds `capacity` bytes, when one is given and the
//    announced size fits in it (a larger claim is not believed either: that
//    payload goes to context memory, where the caller sees its true size);
//  - else into a new[] block of *announced bytes that the target owns until
//    take() (a claim beyond what the rest of the reply can hold is not
//    believed: that payload goes to context memory as usual).
// A payload longer than announced fails the read into a caller's buffer
// (SOAP_LENGTH), and nothing is written past the announced size; on a failed
// read the buffer's content is unspecified. Into an owned block, it moves on
// into context memory as if there were no target. readBase64 then returns data() as the payload's
// pointer, which the context does not own (never soap_dealloc it). One target per thread at a time.
class PayloadTarget {
 public:
  PayloadTarget(struct soap *ctx, const int *announced, unsigned char *buffer,
                std::size_t capacity = 0);
  ~PayloadTarget();
  PayloadTarget(const PayloadTarget &) = delete;
  PayloadTarget &operator=(const PayloadTarget &) = delete;

  // Where the payload went, or null when no payload came into the target.
  unsigned char *data() const { return data_; }
  // The owned block (with a null buffer), now the caller's to delete[].
  unsigned char *take();
  bool owned() const { return owned_; }

  // For readBase64: the target for ctx, or null.
  static PayloadTarget *active(const struct soap *ctx);
  // For readBase64: claims the target for one payload bounded by `bound`
  // bytes; the room for it (its capacity in *capacity), or null.
  unsigned char *claim(std::size_t bound, std::size_t *capacity);
  // For readBase64: the read into the claimed room failed.
  void abandon();

 private:
  struct soap *ctx_;
  const int *announced_;
  unsigned char *buffer_;
  std::size_t bufferCapacity_;
  unsigned char *data_ = nullptr;
  bool owned_ = false;
  bool claimed_ = false;
  PayloadTarget *previous_;
};

// The plain codec, for callers that hold the whole text or payload in memory.
// Number of characters that encodeBase64 writes for `bytes` bytes.
constexpr std::size_t base64EncodedLength(std::size_t bytes) { return (bytes + 2) / 3 * 4; }
// Writes base64EncodedLength(bytes) characters to `out` (no terminating NUL).
void encodeBase64(const unsigned char *in, std::size_t bytes, char *out);
// Decodes whole groups of four letters from `in` (at most `chars`
// characters), stopping before the first group that holds anything else
// (padding, a blank, markup); returns the characters taken, a multiple of 4.
// `out` needs room for chars / 4 * 3 bytes; nothing is written past them.
std::size_t decodeBase64Groups(const char *in, std::size_t chars, unsigned char *out);

}  // namespace wire
}  // namespace ocamera
