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

// The plain codec, for callers that hold the whole text or payload in memory.
// Number of characters that encodeBase64 writes for `bytes` bytes.
constexpr std::size_t base64EncodedLength(std::size_t bytes) { return (bytes + 2) / 3 * 4; }
// Writes base64EncodedLength(bytes) characters to `out` (no terminating NUL).
void encodeBase64(const unsigned char *in, std::size_t bytes, char *out);

}  // namespace wire
}  // namespace ocamera
