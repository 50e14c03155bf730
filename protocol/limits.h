// Bounds on what a reply can make a client context do. A camera is trusted to
// speak the protocol, not to be well-behaved: whatever it sends, a reply cannot
// make the client allocate without bound or nest its parser without bound.
//
// The runtime's defaults are 2 GiB per message, 10000 levels of elements,
// strings of any length and 100000 entries per list. The library's contexts
// get these instead (copies of a context keep them):
//
//  - kMaxReplyBytes: the whole reply as it arrives, HTTP header block
//    included, per message (a kept-alive connection starts again at 0 with
//    every reply). 64 MiB holds 48 MiB of base64 payload, nine times the
//    largest image a camera delivers (2592 x 1944 bytes = 4.8 MiB, 6.4 MiB as
//    base64) and all of a 16 MiB image memory in one read. Every payload byte
//    costs one decoded byte, so this also bounds the memory a reply can take.
//  - kMaxElementDepth: elements the parser enters (Envelope, Body, reply,
//    member: 4 deep; a fault's nested sub-codes go deeper). Unknown elements
//    are skipped without recursion at any depth.
//  - kMaxStringLength: length of one string (device descriptions, sensor
//    register names, fault texts). Base64 payloads are not held to it (the
//    runtime's own reader would hold them): their bound is kMaxReplyBytes.
//  - kMaxListEntries: entries of one list (devices of "rdev:list", names of
//    "scam:getSensorRegisterNames").
//  - kMaxElementAttributes / kMaxElementNamespaces: attributes and namespace
//    declarations (xmlns, xmlns:p) of one start tag; kMaxReplyAttributes /
//    kMaxReplyNamespaces: of all the tags of one reply. A real reply has a
//    handful (the envelope declares its namespaces, a member may carry
//    xsi:type), while the runtime's parser spends time quadratic in the
//    number on one tag. The runtime has no such limit: the reply's text is
//    counted as it arrives, before the parser sees it, and a reply over a
//    limit stops there.
//
// A reply over a limit fails the call: SOAP_EOF when the message is too long
// (the runtime stops receiving), SOAP_LEVEL, SOAP_LENGTH or SOAP_OCCURS for the
// others (SOAP_OCCURS for too many attributes or declarations).
#pragma once

#include <cstddef>
#include <cstdint>

struct soap;

namespace ocamera {
namespace wire {

constexpr std::uint64_t kMaxReplyBytes = std::uint64_t{64} << 20;
constexpr unsigned kMaxElementDepth = 32;
constexpr long kMaxStringLength = 64 * 1024;
constexpr std::size_t kMaxListEntries = 4096;
constexpr unsigned kMaxElementAttributes = 64;
constexpr unsigned kMaxElementNamespaces = 64;
// Room for a list at its limit with every member and its fields typed.
constexpr std::size_t kMaxReplyAttributes = 16 * kMaxListEntries;
constexpr std::size_t kMaxReplyNamespaces = 16 * kMaxListEntries;

// Puts the limits above on a client context (the prototype of a context cache;
// copies keep them, each with a count of its own).
void applyClientLimits(struct soap *ctx);

}  // namespace wire
}  // namespace ocamera
