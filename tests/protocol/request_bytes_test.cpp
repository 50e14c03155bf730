// The bytes of a request, exactly: envelope, namespace declarations, element
// names and the HTTP header block of either framing.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "common/scripted_peer.h"
#include "ocamH.h"
#include "wire_call.h"
#include "protocol/transport.h"
#include "wire_context.h"

namespace ocamera_test {
namespace {

using std::chrono::seconds;

const std::string kEnvelopeStart =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<SOAP-ENV:Envelope"
    " xmlns:SOAP-ENV=\"http://schemas.xmlsoap.org/soap/envelope/\""
    " xmlns:SOAP-ENC=\"http://schemas.xmlsoap.org/soap/encoding/\""
    " xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\""
    " xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\""
    " xmlns:rdev=\"" +
    std::string(ocamera::wire::kDeviceManagerUrn) +
    "\""
    " xmlns:scam=\"urn:vdx\""
    " xmlns:sinp=\"urn:vdx_inputs\""
    " xmlns:sout=\"urn:vdx_outputs\""
    " xmlns:sled=\"urn:vdx_leds\">"
    "<SOAP-ENV:Body>";
const std::string kEnvelopeEnd = "</SOAP-ENV:Body></SOAP-ENV:Envelope>\r\n";

const std::string kSetGainEnvelope =
    kEnvelopeStart +
    "<scam:setGain><scam:token>7</scam:token><scam:dFactor>3</scam:dFactor></scam:setGain>" +
    kEnvelopeEnd;

std::string expectedHttpHeader(std::uint16_t port, std::size_t length, bool keepAlive) {
  return "POST / HTTP/1.1\r\n"
         "Host: 127.0.0.1:" +
         std::to_string(port) +
         "\r\n"
         "User-Agent: gSOAP/2.7\r\n"
         "Content-Type: text/xml; charset=utf-8\r\n"
         "Content-Length: " +
         std::to_string(length) + "\r\n" + (keepAlive ? "Connection: keep-alive\r\n" : "") +
         "SOAPAction: \"\"\r\n"
         "\r\n";
}

struct FramingCase {
  const char *name;
  bool http;
  bool keepAlive;
};

class SetGainBytes : public ::testing::TestWithParam<FramingCase> {};

TEST_P(SetGainBytes, MatchTheExpectedRequestExactly) {
  const FramingCase &c = GetParam();
  ScriptedPeer peer;
  peer.enqueue(PeerReply::bare(soapEnvelope(statusResponse("scam:setGainResponse", 0))));
  WireContext ctx(c.keepAlive ? SOAP_IO_KEEPALIVE : SOAP_IO_DEFAULT);
  const std::string endpoint = c.http ? peer.httpEndpoint() : peer.bareEndpoint();

  int status = -1;
  ASSERT_EQ(ocamera::wire::call(ocam::soap_call_scam__setGain, ctx, endpoint.c_str(), status, 7, 3),
            SOAP_OK);
  ASSERT_TRUE(peer.waitForRequests(1, seconds(5)));

  const std::string expected =
      (c.http ? expectedHttpHeader(peer.port(), kSetGainEnvelope.size(), c.keepAlive) : "") +
      kSetGainEnvelope;
  EXPECT_EQ(peer.request(0).raw, expected);
}

INSTANTIATE_TEST_SUITE_P(Framings, SetGainBytes,
                         ::testing::Values(FramingCase{"Bare", false, false},
                                           FramingCase{"BareKeepAlive", false, true},
                                           FramingCase{"Http", true, false},
                                           FramingCase{"HttpKeepAlive", true, true}),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(RequestBytes, OperationWithoutParametersIsAnEmptyElement) {
  ScriptedPeer peer;
  peer.enqueue(PeerReply::bare(soapEnvelope("<rdev:listResponse></rdev:listResponse>")));
  WireContext ctx;
  ocam::rdev__listResponse list;
  ASSERT_EQ(ocamera::wire::call(ocam::soap_call_rdev__list, ctx, peer.bareEndpoint().c_str(), list),
            SOAP_OK);
  ASSERT_TRUE(peer.waitForRequests(1, seconds(5)));
  EXPECT_EQ(peer.request(0).raw, kEnvelopeStart + "<rdev:list></rdev:list>" + kEnvelopeEnd);
  EXPECT_EQ(list.devices, nullptr);
}

TEST(RequestBytes, EndpointPathAndDefaultPortShapeTheRequestLine) {
  ScriptedPeer peer;
  peer.enqueue(PeerReply::http(soapEnvelope(statusResponse("scam:setGainResponse", 0))));
  WireContext ctx;
  const std::string endpoint = peer.httpEndpoint() + "/vdx/cam";
  int status = -1;
  ASSERT_EQ(ocamera::wire::call(ocam::soap_call_scam__setGain, ctx, endpoint.c_str(), status, 1, 2),
            SOAP_OK);
  ASSERT_TRUE(peer.waitForRequests(1, seconds(5)));
  const PeerRequest request = peer.request(0);
  EXPECT_EQ(request.headers.substr(0, request.headers.find("\r\n")), "POST /vdx/cam HTTP/1.1");
  EXPECT_EQ(request.header("Host"), "127.0.0.1:" + std::to_string(peer.port()));
}

// Contexts of the session layer are copies of one configured prototype.
TEST(RequestBytes, CopiedContextKeepsUserAgentAndNamespaceTable) {
  ScriptedPeer peer;
  peer.enqueue(PeerReply::http(soapEnvelope(statusResponse("scam:setGainResponse", 0))));
  WireContext prototype(SOAP_IO_KEEPALIVE);
  soap *copy = soap_copy(prototype);
  ASSERT_NE(copy, nullptr);

  int status = -1;
  const int rc = ocamera::wire::call(ocam::soap_call_scam__setGain, copy,
                                     peer.httpEndpoint().c_str(), status, 7, 3);
  soap_destroy(copy);
  soap_end(copy);
  soap_free(copy);
  ASSERT_EQ(rc, SOAP_OK);
  ASSERT_TRUE(peer.waitForRequests(1, seconds(5)));
  const PeerRequest request = peer.request(0);
  EXPECT_EQ(request.header("User-Agent"), "gSOAP/2.7");
  EXPECT_EQ(request.header("Connection"), "keep-alive");
  EXPECT_EQ(request.body, kSetGainEnvelope);
}

// ---------------------------------------------------------------- payloads and pointers

// Answers every request with "<operation>Response" holding status 0.
PeerReply statusZero(const PeerRequest &request) {
  return PeerReply::bare(soapEnvelope(statusResponse(request.operation() + "Response", 0)));
}

ocam::xsd__base64Binary bytesOf(std::vector<unsigned char> &bytes) {
  ocam::xsd__base64Binary b;
  b.__ptr = bytes.data();
  b.__size = static_cast<int>(bytes.size());
  return b;
}

TEST(RequestPayloads, NullPointersLeaveTheirElementOut) {
  ScriptedPeer peer;
  peer.setFallback(statusZero);
  WireContext ctx(SOAP_IO_KEEPALIVE);
  const std::string ep = peer.bareEndpoint();
  int status = -1;
  std::vector<unsigned char> none;

  struct Case {
    const char *name;
    std::function<int()> send;
    std::string expected;
  };
  const Case cases[] = {
      {"WhiteBalanceWithoutTable",
       [&] {
         return ocamera::wire::call(ocam::soap_call_scam__setWhiteBalance, ctx, ep.c_str(), status,
                                    1, ocam::scam__eBayerPattern__BAYER_PATTERN_GRGR,
                                    ocam::xsd__base64Binary());
       },
       "<scam:setWhiteBalance><scam:token>1</scam:token>"
       "<scam:ePattern>BAYER-PATTERN-GRGR</scam:ePattern></scam:setWhiteBalance>"},
      {"WhiteBalanceWithEmptyTable",
       [&] {
         static unsigned char nothing[1];
         ocam::xsd__base64Binary empty;
         empty.__ptr = nothing;
         empty.__size = 0;
         return ocamera::wire::call(ocam::soap_call_scam__setWhiteBalance, ctx, ep.c_str(), status,
                                    1, ocam::scam__eBayerPattern__BAYER_PATTERN_GRGR, empty);
       },
       "<scam:setWhiteBalance><scam:token>1</scam:token>"
       "<scam:ePattern>BAYER-PATTERN-GRGR</scam:ePattern><scam:data></scam:data>"
       "</scam:setWhiteBalance>"},
      {"LaserSetupWithoutReferenceData",
       [&] {
         ocam::scam__LaserSetup setup;  // all defaults: zeros, false, null payload
         return ocamera::wire::call(ocam::soap_call_scam__setupLaserProfiling, ctx, ep.c_str(),
                                    status, 1, setup);
       },
       "<scam:setupLaserProfiling><scam:token>1</scam:token><scam:setup>"
       "<scam:bEnable>false</scam:bEnable><scam:dX0>0</scam:dX0><scam:dY0>0</scam:dY0>"
       "<scam:dWidth>0</scam:dWidth><scam:dHeight>0</scam:dHeight><scam:ePrio>PRIO-FIRST-POINT"
       "</scam:ePrio><scam:eDir>DIRECTION-TOP-DOWN</scam:eDir><scam:dThreshMin>0</scam:dThreshMin>"
       "<scam:dThreshMax>0</scam:dThreshMax><scam:dAreaMin>0</scam:dAreaMin>"
       "<scam:dAreaMax>0</scam:dAreaMax><scam:eSubRes>0</scam:eSubRes></scam:setup>"
       "</scam:setupLaserProfiling>"},
      {"RegisterNameWithoutText",
       [&] {
         return ocamera::wire::call(ocam::soap_call_scam__setSensorRegister, ctx, ep.c_str(),
                                    status, 1, static_cast<char *>(nullptr), 2u);
       },
       "<scam:setSensorRegister><scam:token>1</scam:token><scam:nValue>2</scam:nValue>"
       "</scam:setSensorRegister>"},
      {"RegisterNameIsEscaped",
       [&] {
         return ocamera::wire::call(ocam::soap_call_scam__setSensorRegister, ctx, ep.c_str(),
                                    status, 1, const_cast<char *>("a<b&\"c\">"), 2u);
       },
       "<scam:setSensorRegister><scam:token>1</scam:token><scam:name>a&lt;b&amp;\"c\"&gt;"
       "</scam:name><scam:nValue>2</scam:nValue></scam:setSensorRegister>"},
      {"OrdinalWithoutStringGoesOutAsNumber",
       [&] {
         return ocamera::wire::call(ocam::soap_call_scam__setAcquisitionMode, ctx, ep.c_str(),
                                    status, 1, static_cast<ocam::scam__eAcqMode>(5));
       },
       "<scam:setAcquisitionMode><scam:token>1</scam:token><scam:eAcq>5</scam:eAcq>"
       "</scam:setAcquisitionMode>"},
      {"FractionalFrameRateKeepsItsFraction",
       [&] {
         return ocamera::wire::call(ocam::soap_call_scam__setFrameRateFloat, ctx, ep.c_str(),
                                    status, 1, 7.25f);
       },
       "<scam:setFrameRateFloat><scam:token>1</scam:token><scam:dFps>7.25</scam:dFps>"
       "</scam:setFrameRateFloat>"},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(cases[i].name);
    EXPECT_EQ(cases[i].send(), SOAP_OK);
    ASSERT_TRUE(peer.waitForRequests(i + 1, seconds(5)));
    EXPECT_EQ(peer.request(i).operationElement(), cases[i].expected);
  }
}

// Standard base64, written here independently of the runtime.
std::string base64(const std::vector<unsigned char> &in) {
  static const char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  for (std::size_t i = 0; i < in.size(); i += 3) {
    const std::size_t n = std::min<std::size_t>(3, in.size() - i);
    std::uint32_t v = in[i] << 16;
    if (n > 1) v |= in[i + 1] << 8;
    if (n > 2) v |= in[i + 2];
    out += kAlphabet[(v >> 18) & 63];
    out += kAlphabet[(v >> 12) & 63];
    out += n > 1 ? kAlphabet[(v >> 6) & 63] : '=';
    out += n > 2 ? kAlphabet[v & 63] : '=';
  }
  return out;
}

TEST(RequestPayloads, WhiteBalanceTableOf768BytesRoundTrips) {
  std::vector<unsigned char> table(768);
  for (std::size_t i = 0; i < table.size(); ++i)
    table[i] = static_cast<unsigned char>(i * 7 + i / 256);
  const std::string encoded = base64(table);
  ASSERT_EQ(encoded.size(), 1024u);

  ScriptedPeer peer;
  WireContext ctx(SOAP_IO_KEEPALIVE);
  const std::string ep = peer.httpEndpoint();

  // Out in a request...
  peer.enqueue(PeerReply::http(soapEnvelope(statusResponse("scam:setWhiteBalanceResponse", 0))));
  int status = -1;
  ASSERT_EQ(ocamera::wire::call(ocam::soap_call_scam__setWhiteBalance, ctx, ep.c_str(), status, 1,
                                ocam::scam__eBayerPattern__BAYER_PATTERN_GBGB, bytesOf(table)),
            SOAP_OK);
  ASSERT_TRUE(peer.waitForRequests(1, seconds(5)));
  EXPECT_EQ(elementText(peer.request(0).body, "scam:data"), encoded) << "one line, no breaks";

  // ...and back in a reply.
  peer.enqueue(PeerReply::http(
      soapEnvelope("<scam:readImageRAMResponse><scam:data>" + encoded +
                   "</scam:data><scam:status>0</scam:status></scam:readImageRAMResponse>")));
  ocam::scam__readImageRAMResponse reply;
  ASSERT_EQ(
      ocamera::wire::call(ocam::soap_call_scam__readImageRAM, ctx, ep.c_str(), reply, 1, 0u, 768u),
      SOAP_OK);
  ASSERT_EQ(reply.data.__size, 768);
  EXPECT_EQ(std::vector<unsigned char>(reply.data.__ptr, reply.data.__ptr + 768), table);
}

}  // namespace
}  // namespace ocamera_test
