// The limits of the client contexts against a hostile camera: a reply longer
// than the limit, nested deeper, with a longer string or a longer list fails
// the call cleanly (a non-zero result, the connection dropped, nothing kept),
// while replies up to the limits, among them the largest image, still pass.
#include "protocol/limits.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "camera/camera_support.h"
#include "common/scripted_peer.h"
#include "ocamH.h"
#include "protocol/transport.h"
#include "protocol/wire_context.h"
#include "support/device_manager.h"
#include "support/soap_cache.h"

namespace codec_test {
namespace {

using ocamera_test::httpResponse;
using ocamera_test::PeerReply;
using ocamera_test::ScriptedPeer;
using ocamera_test::soapEnvelope;

// A context set up as the library sets up its own, limits included.
class LimitedContext : public ocamera_test::WireContext {
 public:
  LimitedContext() : WireContext(SOAP_IO_KEEPALIVE) { ocamera::wire::applyClientLimits(get()); }
};

// "scam:SingleImageResponse" whose data is `chars` characters of base64 ("A"
// is six zero bits, so the payload is chars * 3 / 4 zero bytes).
std::string imageReply(std::size_t chars) {
  std::string body = "<scam:SingleImageResponse><scam:nSeqNr>1</scam:nSeqNr><scam:nSize>";
  body += std::to_string(chars / 4 * 3) + "</scam:nSize><scam:nStatus>0</scam:nStatus><scam:data>";
  body.append(chars, 'A');
  body += "</scam:data></scam:SingleImageResponse>";
  return soapEnvelope(body);
}

struct ImageCall {
  int rc = -1;
  int bytes = 0;
};

ImageCall getImage(soap *ctx, const std::string &endpoint) {
  ocam::scam__SingleImageResponse reply;
  ImageCall call;
  call.rc = ocam::soap_call_scam__getSingleImage(ctx, endpoint.c_str(), "", 7, reply);
  if (call.rc == SOAP_OK) call.bytes = reply.data.__size;
  soap_destroy(ctx);
  soap_end(ctx);
  return call;
}

// Base64 characters of the largest image a camera delivers (2592 x 1944 bytes).
constexpr std::size_t kLargestImageChars = (2592u * 1944u + 2) / 3 * 4;
// Just over the reply limit once the envelope is around it.
constexpr std::size_t kOverLimitChars = static_cast<std::size_t>(ocamera::wire::kMaxReplyBytes);

TEST(ClientLimits, AreWhatTheContextsOfADeviceManagerGet) {
  mox::webservice::client::DeviceManager manager("127.0.0.1:1", true, "", 0);
  mox::webservice::client::SoapGuard lease(manager.soapCache(), false);
  soap *ctx = lease.context();
  ASSERT_NE(ctx, nullptr);
  EXPECT_EQ(ctx->recv_maxlength, ocamera::wire::kMaxReplyBytes);
  EXPECT_EQ(ctx->maxlevel, ocamera::wire::kMaxElementDepth);
  EXPECT_EQ(ctx->maxlength, ocamera::wire::kMaxStringLength);
  EXPECT_EQ(ctx->maxoccurs, ocamera::wire::kMaxListEntries);
  // Stricter than the runtime's own defaults in every respect.
  soap plain;
  EXPECT_LT(ctx->recv_maxlength, plain.recv_maxlength);
  EXPECT_LT(ctx->maxlevel, plain.maxlevel);
  EXPECT_LT(ctx->maxoccurs, plain.maxoccurs);
  EXPECT_LE(plain.maxlength, 0);  // unbounded
}

TEST(ClientLimits, TheLargestImagePasses) {
  ScriptedPeer peer;
  LimitedContext ctx;
  peer.enqueue(PeerReply::http(imageReply(kLargestImageChars)));
  peer.enqueue(PeerReply::bare(imageReply(kLargestImageChars)));
  for (int i = 0; i < 2; ++i) {
    const ImageCall call = getImage(ctx, peer.httpEndpoint());
    EXPECT_EQ(call.rc, SOAP_OK) << i;
    EXPECT_EQ(call.bytes, 2592 * 1944) << i;
  }
}

TEST(ClientLimits, ReplyOverTheLimitFailsAndTheNextCallWorks) {
  ScriptedPeer peer;
  LimitedContext ctx;
  peer.enqueue(PeerReply::http(imageReply(kOverLimitChars)));  // with Content-Length
  peer.enqueue(PeerReply::bare(imageReply(kOverLimitChars)));  // without: read until it overflows
  peer.enqueue(PeerReply::http(imageReply(8)));
  for (int i = 0; i < 2; ++i) {
    const ImageCall call = getImage(ctx, peer.httpEndpoint());
    EXPECT_NE(call.rc, SOAP_OK) << i;
    EXPECT_FALSE(soap_valid_socket(ctx->socket)) << "the connection is dropped";
  }
  const ImageCall after = getImage(ctx, peer.httpEndpoint());
  EXPECT_EQ(after.rc, SOAP_OK);
  EXPECT_EQ(after.bytes, 6);
  EXPECT_EQ(peer.connectionCount(), 3u);
}

// The limit is per reply: replies that together exceed it pass one by one on a
// kept-alive connection.
TEST(ClientLimits, LimitCountsEachReplyOfAKeptConnection) {
  ScriptedPeer peer;
  LimitedContext ctx;
  const std::size_t chars = kOverLimitChars / 5 * 2;  // two of them are over the limit
  for (int i = 0; i < 3; ++i) peer.enqueue(PeerReply::http(imageReply(chars)));
  for (int i = 0; i < 3; ++i) {
    const ImageCall call = getImage(ctx, peer.httpEndpoint());
    EXPECT_EQ(call.rc, SOAP_OK) << i;
    EXPECT_EQ(call.bytes, static_cast<int>(chars / 4 * 3)) << i;
  }
  EXPECT_EQ(peer.connectionCount(), 1u);
}

// A SOAP 1.2 fault nests sub-codes as deep as the sender likes; the parser
// enters each of them.
std::string nestedFault(int depth) {
  std::string code = "<SOAP-ENV:Value>SOAP-ENV:Receiver</SOAP-ENV:Value>";
  for (int i = 0; i < depth; ++i)
    code = "<SOAP-ENV:Value>scam:c" + std::to_string(i) + "</SOAP-ENV:Value><SOAP-ENV:Subcode>" +
           code + "</SOAP-ENV:Subcode>";
  return soapEnvelope("<SOAP-ENV:Fault><SOAP-ENV:Code>" + code +
                      "</SOAP-ENV:Code><SOAP-ENV:Reason><SOAP-ENV:Text xml:lang=\"en\">deep"
                      "</SOAP-ENV:Text></SOAP-ENV:Reason></SOAP-ENV:Fault>");
}

int setGain(soap *ctx, const std::string &endpoint) {
  int status = -1;
  const int rc = ocam::soap_call_scam__setGain(ctx, endpoint.c_str(), "", 7, 3, status);
  soap_destroy(ctx);
  soap_end(ctx);
  return rc;
}

// A fault that cannot be read fails the call with the reply's HTTP status (200)
// instead of the fault's code.
TEST(ClientLimits, FaultNestedBeyondTheDepthFails) {
  ScriptedPeer peer;
  LimitedContext ctx;
  peer.enqueue(PeerReply::http(nestedFault(10)));
  peer.enqueue(PeerReply::http(nestedFault(40)));
  peer.enqueue(PeerReply::http(nestedFault(40)));
  EXPECT_EQ(setGain(ctx, peer.httpEndpoint()), SOAP_SVR_FAULT) << "within the depth";
  const int rc = setGain(ctx, peer.httpEndpoint());
  EXPECT_NE(rc, SOAP_OK);
  EXPECT_NE(rc, SOAP_SVR_FAULT);
  EXPECT_STRNE(*soap_faultstring(ctx), "deep");
  // The depth limit, not the reply, is what makes the difference.
  ctx->maxlevel = soap().maxlevel;
  EXPECT_EQ(setGain(ctx, peer.httpEndpoint()), SOAP_SVR_FAULT);
}

// Unknown elements are skipped, however deep they nest, without recursion.
TEST(ClientLimits, DeepUnknownElementsAreSkipped) {
  ScriptedPeer peer;
  LimitedContext ctx;
  const int depth = 200000;
  std::string body = "<scam:setGainResponse>";
  body.reserve(static_cast<std::size_t>(depth) * 11 + 100);
  for (int i = 0; i < depth; ++i) body += "<scam:x>";
  for (int i = 0; i < depth; ++i) body += "</scam:x>";
  body += "<scam:status>5</scam:status></scam:setGainResponse>";
  peer.enqueue(PeerReply::http(soapEnvelope(body)));
  int status = -1;
  EXPECT_EQ(ocam::soap_call_scam__setGain(ctx, peer.httpEndpoint().c_str(), "", 7, 3, status),
            SOAP_OK);
  EXPECT_EQ(status, 5);
}

std::string namesReply(const std::vector<std::string> &names) {
  std::string body = "<scam:SensorRegisterNames>";
  for (const std::string &n : names) body += "<scam:names>" + n + "</scam:names>";
  return soapEnvelope(body + "</scam:SensorRegisterNames>");
}

int getNames(soap *ctx, const std::string &endpoint, std::size_t *count) {
  ocam::scam__SensorRegisterNames reply;
  const int rc = ocam::soap_call_scam__getSensorRegisterNames(ctx, endpoint.c_str(), "", 7, reply);
  *count = rc == SOAP_OK ? static_cast<std::size_t>(reply.__sizenames) : 0;
  soap_destroy(ctx);
  soap_end(ctx);
  return rc;
}

TEST(ClientLimits, StringLongerThanTheLimitFails) {
  ScriptedPeer peer;
  LimitedContext ctx;
  const std::size_t limit = static_cast<std::size_t>(ocamera::wire::kMaxStringLength);
  peer.enqueue(PeerReply::http(namesReply({"GAIN", std::string(limit, 'r')})));
  peer.enqueue(PeerReply::http(namesReply({"GAIN", std::string(limit + 1, 'r')})));
  std::size_t count = 0;
  EXPECT_EQ(getNames(ctx, peer.httpEndpoint(), &count), SOAP_OK);
  EXPECT_EQ(count, 2u);
  EXPECT_EQ(getNames(ctx, peer.httpEndpoint(), &count), SOAP_LENGTH);
}

TEST(ClientLimits, ListLongerThanTheLimitFails) {
  ScriptedPeer peer;
  LimitedContext ctx;
  const std::vector<std::string> full(ocamera::wire::kMaxListEntries, "R");
  std::vector<std::string> over = full;
  over.push_back("R");
  peer.enqueue(PeerReply::http(namesReply(full)));
  peer.enqueue(PeerReply::http(namesReply(over)));
  std::size_t count = 0;
  EXPECT_EQ(getNames(ctx, peer.httpEndpoint(), &count), SOAP_OK);
  EXPECT_EQ(count, ocamera::wire::kMaxListEntries);
  EXPECT_EQ(getNames(ctx, peer.httpEndpoint(), &count), SOAP_OCCURS);
}

TEST(ClientLimits, DeviceListLongerThanTheLimitFails) {
  ScriptedPeer peer;
  LimitedContext ctx;
  std::string body = "<rdev:listResponse>";
  for (std::size_t i = 0; i <= ocamera::wire::kMaxListEntries; ++i)
    body += "<rdev:devices><rdev:id>1</rdev:id><rdev:type>ONetCamera</rdev:type></rdev:devices>";
  peer.enqueue(PeerReply::http(soapEnvelope(body + "</rdev:listResponse>")));
  ocam::rdev__listResponse reply;
  EXPECT_EQ(ocam::soap_call_rdev__list(ctx, peer.httpEndpoint().c_str(), "", reply), SOAP_OCCURS);
}

// A names reply whose first name element carries `attributes` (name="v") and
// `declarations` (xmlns:pN="urn:N") on its start tag.
std::string costlyNamesReply(std::size_t attributes, std::size_t declarations) {
  std::string tag = "<scam:names";
  for (std::size_t i = 0; i < attributes; ++i) tag += " a" + std::to_string(i) + "=\"v\"";
  for (std::size_t i = 0; i < declarations; ++i)
    tag += " xmlns:p" + std::to_string(i) + "=\"urn:" + std::to_string(i) + "\"";
  return soapEnvelope("<scam:SensorRegisterNames>" + tag +
                      ">GAIN</scam:names></scam:SensorRegisterNames>");
}

// A names call that fails for too many attributes; its connection is dropped
// (as a lease drops it) with the rest of the reply unread.
void expectTooManyAttributes(soap *ctx, const std::string &endpoint, int which) {
  std::size_t count = 0;
  EXPECT_EQ(getNames(ctx, endpoint, &count), SOAP_OCCURS) << which;
  soap_force_closesock(ctx);
}

// Attributes and namespace declarations cost the parser time quadratic in
// their number on one tag: up to the limit a tag passes, one more fails the
// call before the parser takes them in, on a connection that is then dropped.
TEST(ClientLimits, AttributesAndDeclarationsOfATagAreBounded) {
  ScriptedPeer peer;
  LimitedContext ctx;
  const std::size_t attributes = ocamera::wire::kMaxElementAttributes;
  const std::size_t declarations = ocamera::wire::kMaxElementNamespaces;
  peer.enqueue(PeerReply::http(costlyNamesReply(attributes, declarations)));
  peer.enqueue(PeerReply::http(costlyNamesReply(attributes + 1, 0)));
  peer.enqueue(PeerReply::http(costlyNamesReply(0, declarations + 1)));
  peer.enqueue(PeerReply::http(costlyNamesReply(100000, 0)));  // 27 s of parsing unbounded
  peer.enqueue(PeerReply::http(costlyNamesReply(0, 100000)));
  std::size_t count = 0;
  EXPECT_EQ(getNames(ctx, peer.httpEndpoint(), &count), SOAP_OK);
  EXPECT_EQ(count, 1u);
  for (int i = 0; i < 4; ++i) expectTooManyAttributes(ctx, peer.httpEndpoint(), i);
}

// Per reply: a list at its limit with every member typed passes, tags each
// within the limit but together beyond the reply's fail; the count starts
// again with every reply of a kept connection, and '=' in text, values,
// comments and CDATA is no attribute.
TEST(ClientLimits, AttributesOfAReplyAreBounded) {
  ScriptedPeer peer;
  LimitedContext ctx;
  auto typedNames = [](std::size_t members, const std::string &attributes) {
    std::string body = "<scam:SensorRegisterNames>";
    for (std::size_t i = 0; i < members; ++i)
      body += "<scam:names xsi:type=\"xsd:string\"" + attributes + ">R</scam:names>";
    return soapEnvelope(body + "</scam:SensorRegisterNames>");
  };
  const std::size_t full = ocamera::wire::kMaxListEntries;
  const std::string many(ocamera::wire::kMaxReplyAttributes / full, 'x');  // 16 more each
  std::string sixteen;
  for (char c : many) sixteen += std::string(" ") + c + std::to_string(sixteen.size()) + "=\"1\"";
  peer.enqueue(PeerReply::http(typedNames(full, "")));
  peer.enqueue(PeerReply::http(typedNames(full, "")));  // the same again on the kept connection
  peer.enqueue(PeerReply::http(typedNames(full, sixteen)));
  const std::string noise = "a=b&amp;c=d<!-- x=\"1\" y=2 --><![CDATA[<e f=\"g\">]]>";
  peer.enqueue(PeerReply::http(
      soapEnvelope("<scam:SensorRegisterNames><scam:names n=\"" + std::string(5000, '=') + "\">" +
                   noise + std::string(5000, '=') + "</scam:names></scam:SensorRegisterNames>")));
  std::size_t count = 0;
  EXPECT_EQ(getNames(ctx, peer.httpEndpoint(), &count), SOAP_OK);
  EXPECT_EQ(count, full);
  EXPECT_EQ(getNames(ctx, peer.httpEndpoint(), &count), SOAP_OK);
  EXPECT_EQ(peer.connectionCount(), 1u);
  expectTooManyAttributes(ctx, peer.httpEndpoint(), 0);
  EXPECT_EQ(getNames(ctx, peer.httpEndpoint(), &count), SOAP_OK);
  EXPECT_EQ(count, 1u);
}

// The camera object turns an oversized image into a failed getSingleImage and
// goes on working.
TEST(ClientLimits, CameraRefusesAnOversizedImage) {
  camera_test::ScriptedCamera camera;
  camera_test::CameraHandle cam = camera.create();
  ASSERT_TRUE(cam);
  ASSERT_EQ(cam->setAcquisitionMode(OCamera::ACQ_MODE_FREE_RUN), 0);
  const std::string over = imageReply(kOverLimitChars);
  const std::string body =
      over.substr(over.find("<scam:SingleImageResponse>"),
                  over.find("</SOAP-ENV:Body>") - over.find("<scam:SingleImageResponse>"));
  camera.answer("scam:getSingleImage", body);
  OCamera::Image image{};
  EXPECT_EQ(cam->getSingleImage(&image), -1);
  EXPECT_EQ(image.data, nullptr);
  camera.answer("scam:getSingleImage",
                "<scam:SingleImageResponse><scam:nSize>3</scam:nSize>"
                "<scam:data>AAEC</scam:data></scam:SingleImageResponse>");
  ASSERT_EQ(cam->getSingleImage(&image), 0);
  EXPECT_EQ(image.size, 3);
  cam->freeImage(&image);
}

}  // namespace
}  // namespace codec_test
