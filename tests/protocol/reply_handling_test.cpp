// How a client call reads its reply: framing, faults, unexpected elements,
// unknown children, namespaces, the odd reply names and base64 payloads; and
// that a failed call leaves the caller's result alone.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <string>
#include <vector>

#include "common/scripted_peer.h"
#include "ocamH.h"
#include "protocol/transport.h"
#include "wire_call.h"
#include "wire_context.h"

namespace ocamera_test {
namespace {

using ocamera::wire::call;
using std::chrono::seconds;

constexpr int kUntouched = 4242;

// An envelope like soapEnvelope() but with a chosen SOAP-ENV and scam URI.
std::string envelopeWith(const std::string &envUri, const std::string &scamUri,
                         const std::string &body) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<SOAP-ENV:Envelope xmlns:SOAP-ENV=\"" +
         envUri + "\" xmlns:scam=\"" + scamUri + "\"><SOAP-ENV:Body>" + body +
         "</SOAP-ENV:Body></SOAP-ENV:Envelope>";
}

const std::string kSoap11 = "http://schemas.xmlsoap.org/soap/envelope/";
const std::string kSoap12 = "http://www.w3.org/2003/05/soap-envelope";

struct SetGainReplyCase {
  const char *name;
  bool httpRequest;  // request framing
  std::string reply;
  int expectedRc;  // SOAP_OK, or -1 for "any error"
  int expectedStatus;
};

std::vector<SetGainReplyCase> setGainReplyCases() {
  const std::string ok7 = statusResponse("scam:setGainResponse", 7);
  return {
      {"HttpReplyToHttpRequest", true, httpResponse(soapEnvelope(ok7)), SOAP_OK, 7},
      {"BareReplyToHttpRequest", true, soapEnvelope(ok7), SOAP_OK, 7},
      {"HttpReplyToBareRequest", false, httpResponse(soapEnvelope(ok7)), SOAP_OK, 7},
      {"BareReplyToBareRequest", false, soapEnvelope(ok7), SOAP_OK, 7},
      {"ByteOrderMarkBeforeBareReply", true, "\xEF\xBB\xBF" + soapEnvelope(ok7), SOAP_OK, 7},
      {"MissingStatusReadsAsZero", true, soapEnvelope("<scam:setGainResponse/>"), SOAP_OK, 0},
      {"UnknownChildrenAreSkipped", true,
       soapEnvelope("<scam:setGainResponse><scam:extra><scam:status>1</scam:status></scam:extra>"
                    "<other:note xmlns:other=\"urn:elsewhere\">x</other:note>"
                    "<scam:status>7</scam:status><scam:more/></scam:setGainResponse>"),
       SOAP_OK, 7},
      {"HeaderContentIsIgnored", true,
       "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<SOAP-ENV:Envelope xmlns:SOAP-ENV=\"" +
           kSoap11 +
           "\" xmlns:scam=\"urn:vdx\"><SOAP-ENV:Header><scam:session>1</scam:session>"
           "</SOAP-ENV:Header><SOAP-ENV:Body>" +
           ok7 + "</SOAP-ENV:Body></SOAP-ENV:Envelope>",
       SOAP_OK, 7},
      {"Soap12EnvelopeUriIsAccepted", true, envelopeWith(kSoap12, "urn:vdx", ok7), SOAP_OK, 7},
      {"OtherYearSchemaUriIsAccepted", true,
       envelopeWith(kSoap11, "urn:vdx",
                    "<scam:setGainResponse xmlns:xsi=\"http://www.w3.org/1999/XMLSchema-instance\""
                    " xmlns:xsd=\"http://www.w3.org/1999/XMLSchema\">"
                    "<scam:status xsi:type=\"xsd:int\">7</scam:status></scam:setGainResponse>"),
       SOAP_OK, 7},
      {"WrongScamNamespaceFails", true, envelopeWith(kSoap11, "urn:vdx2", ok7), -1, 0},
      {"ScamNamespaceIsMatchedExactly", true, envelopeWith(kSoap11, "URN:VDX", ok7), -1, 0},
      {"UnexpectedReplyElementFails", true,
       soapEnvelope(statusResponse("scam:setShutterTimeResponse", 7)), -1, 0},
      {"ReplyInAnotherServiceFails", true, soapEnvelope(statusResponse("sinp:setGainResponse", 7)),
       -1, 0},
      {"StatusThatIsNoNumberFails", true,
       soapEnvelope(
           "<scam:setGainResponse><scam:status>seven</scam:status></scam:setGainResponse>"),
       -1, 0},
      {"HttpErrorStatusFails", true, httpResponse("", 404, "Not Found"), -1, 0},
      {"UnclosedEnvelopeFails", true,
       httpResponse(soapEnvelope(ok7).substr(0, soapEnvelope(ok7).rfind("</SOAP-ENV:Body>"))), -1,
       0},
      {"UnknownEntityFails", true,
       soapEnvelope("<scam:setGainResponse><scam:status>&bogus;7</scam:status>"
                    "</scam:setGainResponse>"),
       -1, 0},
      {"GarbageFails", true, "HELLO\r\n\r\n", -1, 0},
      // Replies that use the id/href table read as the runtime reads them.
      {"ReferencedStatusIsResolved", true,
       soapEnvelope("<scam:setGainResponse><scam:status href=\"#s\"/></scam:setGainResponse>"
                    "<scam:status id=\"s\">7</scam:status>"),
       SOAP_OK, 7},
      {"DanglingReferenceFails", true,
       soapEnvelope("<scam:setGainResponse><scam:status href=\"#gone\"/></scam:setGainResponse>"),
       -1, 0},
  };
}

class SetGainReply : public ::testing::TestWithParam<SetGainReplyCase> {};

TEST_P(SetGainReply, IsReadOrRejected) {
  const SetGainReplyCase &c = GetParam();
  ScriptedPeer peer;
  peer.enqueue(PeerReply::raw(c.reply).thenClose());
  WireContext ctx;
  const std::string endpoint = c.httpRequest ? peer.httpEndpoint() : peer.bareEndpoint();

  int status = kUntouched;
  const int rc = call(ocam::soap_call_scam__setGain, ctx, endpoint.c_str(), status, 1, 2);
  if (c.expectedRc == SOAP_OK) {
    EXPECT_EQ(rc, SOAP_OK);
    EXPECT_EQ(status, c.expectedStatus);
  } else {
    EXPECT_NE(rc, SOAP_OK);
    EXPECT_EQ(status, kUntouched) << "a failed call must not write the result";
  }
  EXPECT_EQ(peer.requestCount(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Replies, SetGainReply, ::testing::ValuesIn(setGainReplyCases()),
                         [](const auto &info) { return std::string(info.param.name); });

// Replies that end before they are complete, or never come.
struct BrokenReplyCase {
  const char *name;
  PeerReply reply;
};

class BrokenReply : public ::testing::TestWithParam<BrokenReplyCase> {};

TEST_P(BrokenReply, FailsTheCall) {
  ScriptedPeer peer;
  peer.enqueue(GetParam().reply);
  WireContext ctx(SOAP_IO_KEEPALIVE);
  int status = kUntouched;
  EXPECT_NE(call(ocam::soap_call_scam__setGain, ctx, peer.httpEndpoint().c_str(), status, 1, 2),
            SOAP_OK);
  EXPECT_EQ(status, kUntouched);
}

const std::string kFullHttpReply =
    httpResponse(soapEnvelope(statusResponse("scam:setGainResponse", 7)));

INSTANTIATE_TEST_SUITE_P(
    Replies, BrokenReply,
    ::testing::Values(BrokenReplyCase{"CloseWithoutReply", PeerReply::closeWithoutReply()},
                      BrokenReplyCase{"CutInHeaderBlock", PeerReply::truncated(kFullHttpReply, 20)},
                      BrokenReplyCase{
                          "CutInEnvelope",
                          PeerReply::truncated(kFullHttpReply, kFullHttpReply.size() - 30)},
                      BrokenReplyCase{"Garbage", PeerReply::garbage()}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(Faults, FaultCodeBecomesTheErrorAndNothingIsDelivered) {
  struct Case {
    const char *name;
    std::string envelope;
    int rc;
    const char *faultstring;
  };
  const Case cases[] = {
      {"Soap11Client", soapEnvelope(soapFault("SOAP-ENV:Client", "bad token")), SOAP_CLI_FAULT,
       "bad token"},
      {"Soap11Server", soapEnvelope(soapFault("SOAP-ENV:Server", "camera busy")), SOAP_SVR_FAULT,
       "camera busy"},
      {"Soap12Sender",
       envelopeWith(
           kSoap12, "urn:vdx",
           "<SOAP-ENV:Fault><SOAP-ENV:Code><SOAP-ENV:Value>SOAP-ENV:Sender</SOAP-ENV:Value>"
           "</SOAP-ENV:Code><SOAP-ENV:Reason><SOAP-ENV:Text xml:lang=\"en\">no such device"
           "</SOAP-ENV:Text></SOAP-ENV:Reason></SOAP-ENV:Fault>"),
       SOAP_CLI_FAULT, "no such device"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    ScriptedPeer peer;
    peer.enqueue(PeerReply::http(c.envelope));
    WireContext ctx(SOAP_IO_KEEPALIVE);
    int status = kUntouched;
    EXPECT_EQ(call(ocam::soap_call_scam__setGain, ctx, peer.httpEndpoint().c_str(), status, 1, 2),
              c.rc);
    EXPECT_EQ(status, kUntouched);
    ASSERT_NE(soap_fault_string(ctx), nullptr);
    EXPECT_STREQ(soap_fault_string(ctx), c.faultstring);

    // The structured replies are protected the same way.
    peer.enqueue(PeerReply::http(c.envelope));
    ocam::scam__GetSensorRegisterResponse reg;
    reg.nValue = 11;
    reg.status = 12;
    EXPECT_EQ(call(ocam::soap_call_scam__getSensorRegister, ctx, peer.httpEndpoint().c_str(), reg,
                   1, const_cast<char *>("gain")),
              c.rc);
    EXPECT_EQ(reg.nValue, 11u);
    EXPECT_EQ(reg.status, 12);
  }
}

TEST(Faults, RefusedConnectionFailsWithoutWriting) {
  int port;
  {
    ScriptedPeer closed;  // a port that nobody listens on once the peer is gone
    port = closed.port();
  }
  WireContext ctx;
  int status = kUntouched;
  const std::string endpoint = "http://127.0.0.1:" + std::to_string(port);
  EXPECT_NE(call(ocam::soap_call_scam__setGain, ctx, endpoint.c_str(), status, 1, 2), SOAP_OK);
  EXPECT_EQ(status, kUntouched);
}

// A reply in the SOAP 1.2 envelope does not change what the context sends next.
TEST(Namespaces, Soap12ReplyLeavesTheNextRequestInSoap11) {
  ScriptedPeer peer;
  WireContext ctx(SOAP_IO_KEEPALIVE);
  const std::string ep = peer.bareEndpoint();
  peer.enqueue(
      PeerReply::bare(envelopeWith(kSoap12, "urn:vdx", statusResponse("scam:setGainResponse", 1))));
  peer.enqueue(PeerReply::bare(soapEnvelope(statusResponse("scam:setGainResponse", 2))));
  int status = 0;
  ASSERT_EQ(call(ocam::soap_call_scam__setGain, ctx, ep.c_str(), status, 1, 2), SOAP_OK);
  EXPECT_EQ(status, 1);
  ASSERT_EQ(call(ocam::soap_call_scam__setGain, ctx, ep.c_str(), status, 1, 2), SOAP_OK);
  EXPECT_EQ(status, 2);
  ASSERT_TRUE(peer.waitForRequests(2, seconds(5)));
  EXPECT_EQ(peer.request(0).body, peer.request(1).body);
}

// ---------------------------------------------------------------- the device list

TEST(DeviceList, DescriptorsAreReadInDocumentOrderWhateverTheirChildOrder) {
  ScriptedPeer peer;
  WireContext ctx;
  peer.enqueue(PeerReply::http(soapEnvelope(
      "<rdev:listResponse>"
      "<rdev:devices><rdev:id>1</rdev:id><rdev:vendor>V</rdev:vendor><rdev:type>camera</rdev:type>"
      "<rdev:description>d</rdev:description><rdev:versionMajor>2</rdev:versionMajor>"
      "<rdev:versionMinor>3</rdev:versionMinor><rdev:maxTimeout>10</rdev:maxTimeout>"
      "<rdev:status>ok</rdev:status></rdev:devices>"
      "<rdev:devices><rdev:status>busy</rdev:status><rdev:serial>x</rdev:serial>"
      "<rdev:maxTimeout>6</rdev:maxTimeout><rdev:type>leds</rdev:type><rdev:id>4</rdev:id>"
      "</rdev:devices>"
      "</rdev:listResponse>")));
  ocam::rdev__listResponse list;
  ASSERT_EQ(call(ocam::soap_call_rdev__list, ctx, peer.httpEndpoint().c_str(), list), SOAP_OK);
  ASSERT_EQ(list.__sizedevices, 2);
  const ocam::rdev__Descriptor &first = list.devices[0];
  EXPECT_EQ(first.id, 1);
  EXPECT_STREQ(first.vendor, "V");
  EXPECT_STREQ(first.type, "camera");
  EXPECT_STREQ(first.description, "d");
  EXPECT_EQ(first.versionMajor, 2);
  EXPECT_EQ(first.versionMinor, 3);
  EXPECT_EQ(first.maxTimeout, 10);
  EXPECT_STREQ(first.status, "ok");
  const ocam::rdev__Descriptor &second = list.devices[1];
  EXPECT_EQ(second.id, 4);
  EXPECT_STREQ(second.type, "leds");
  EXPECT_EQ(second.maxTimeout, 6);
  EXPECT_STREQ(second.status, "busy");
  EXPECT_EQ(second.vendor, nullptr);
  EXPECT_EQ(second.versionMajor, 0);
}

TEST(DeviceList, EmptyListResponseSucceedsWithoutDevices) {
  ScriptedPeer peer;
  WireContext ctx;
  peer.enqueue(PeerReply::http(soapEnvelope("<rdev:listResponse/>")));
  ocam::rdev__listResponse list;
  ASSERT_EQ(call(ocam::soap_call_rdev__list, ctx, peer.httpEndpoint().c_str(), list), SOAP_OK);
  EXPECT_EQ(list.__sizedevices, 0);
  EXPECT_EQ(list.devices, nullptr);
}

// ---------------------------------------------------------------- the odd reply names

TEST(OddReplyNames, SingleImageResponseIsMatchedExactly) {
  const std::string content =
      "<scam:nSeqNr>5</scam:nSeqNr><scam:nTimeSec>1700000000</scam:nTimeSec>"
      "<scam:nTimeMicroSec>250</scam:nTimeMicroSec><scam:nSize>4</scam:nSize>"
      "<scam:nStatus>0</scam:nStatus><scam:data>AQIDBA==</scam:data>";
  ScriptedPeer peer;
  WireContext ctx(SOAP_IO_KEEPALIVE);
  const std::string endpoint = peer.httpEndpoint();

  peer.enqueue(PeerReply::http(soapEnvelope(xmlElement("scam:SingleImageResponse", content))));
  ocam::scam__SingleImageResponse image;
  ASSERT_EQ(call(ocam::soap_call_scam__getSingleImage, ctx, endpoint.c_str(), image, 1), SOAP_OK);
  EXPECT_EQ(image.nSeqNr, 5);
  EXPECT_EQ(image.nTimeSec, 1700000000);
  EXPECT_EQ(image.nTimeMicroSec, 250);
  EXPECT_EQ(image.nSize, 4);
  ASSERT_EQ(image.data.__size, 4);
  EXPECT_EQ(std::vector<unsigned char>(image.data.__ptr, image.data.__ptr + 4),
            (std::vector<unsigned char>{1, 2, 3, 4}));

  peer.enqueue(PeerReply::http(soapEnvelope(xmlElement("scam:getSingleImageResponse", content))));
  ocam::scam__SingleImageResponse other;
  other.nSeqNr = kUntouched;
  EXPECT_NE(call(ocam::soap_call_scam__getSingleImage, ctx, endpoint.c_str(), other, 1), SOAP_OK);
  EXPECT_EQ(other.nSeqNr, kUntouched);
}

TEST(OddReplyNames, GetSensorRegisterResponseHasAnUpperCaseG) {
  const std::string content = "<scam:nValue>4000000000</scam:nValue><scam:status>3</scam:status>";
  ScriptedPeer peer;
  WireContext ctx(SOAP_IO_KEEPALIVE);
  const std::string endpoint = peer.httpEndpoint();

  peer.enqueue(
      PeerReply::http(soapEnvelope(xmlElement("scam:GetSensorRegisterResponse", content))));
  ocam::scam__GetSensorRegisterResponse reg;
  ASSERT_EQ(call(ocam::soap_call_scam__getSensorRegister, ctx, endpoint.c_str(), reg, 1,
                 const_cast<char *>("gain")),
            SOAP_OK);
  EXPECT_EQ(reg.nValue, 4000000000u);
  EXPECT_EQ(reg.status, 3);

  peer.enqueue(
      PeerReply::http(soapEnvelope(xmlElement("scam:getSensorRegisterResponse", content))));
  EXPECT_NE(call(ocam::soap_call_scam__getSensorRegister, ctx, endpoint.c_str(), reg, 1,
                 const_cast<char *>("gain")),
            SOAP_OK);
}

TEST(OddReplyNames, SensorRegisterNamesIsTheReplyElementItself) {
  ScriptedPeer peer;
  WireContext ctx(SOAP_IO_KEEPALIVE);
  const std::string endpoint = peer.httpEndpoint();
  const auto namesFrom = [&](const std::string &body, ocam::scam__SensorRegisterNames &names) {
    peer.enqueue(PeerReply::http(soapEnvelope(body)));
    return call(ocam::soap_call_scam__getSensorRegisterNames, ctx, endpoint.c_str(), names, 1);
  };

  ocam::scam__SensorRegisterNames names;
  ASSERT_EQ(
      namesFrom("<scam:SensorRegisterNames><scam:names>gain</scam:names><scam:names>black "
                "level</scam:names><scam:names>a&amp;b</scam:names></scam:SensorRegisterNames>",
                names),
      SOAP_OK);
  ASSERT_EQ(names.__sizenames, 3);
  EXPECT_STREQ(names.names[0], "gain");
  EXPECT_STREQ(names.names[1], "black level");
  EXPECT_STREQ(names.names[2], "a&b");

  ocam::scam__SensorRegisterNames none;
  ASSERT_EQ(namesFrom("<scam:SensorRegisterNames/>", none), SOAP_OK);
  EXPECT_EQ(none.__sizenames, 0);
  EXPECT_EQ(none.names, nullptr);

  ocam::scam__SensorRegisterNames wrong;
  EXPECT_NE(namesFrom("<scam:getSensorRegisterNamesResponse><scam:names>gain</scam:names>"
                      "</scam:getSensorRegisterNamesResponse>",
                      wrong),
            SOAP_OK);
}

// ---------------------------------------------------------------- the wire layer helper

TEST(WireCall, CopiesTheReplyOnlyOnSuccess) {
  ScriptedPeer peer;
  WireContext ctx(SOAP_IO_KEEPALIVE);
  const std::string endpoint = peer.bareEndpoint();

  // Out integer.
  peer.enqueue(PeerReply::bare(soapEnvelope(soapFault("SOAP-ENV:Server", "no"))));
  peer.enqueue(PeerReply::bare(soapEnvelope(statusResponse("scam:getShutterTimeResponse", 250))));
  int shutter = kUntouched;
  EXPECT_NE(call(ocam::soap_call_scam__getShutterTime, ctx, endpoint.c_str(), shutter, 1), SOAP_OK);
  EXPECT_EQ(shutter, kUntouched);
  EXPECT_EQ(call(ocam::soap_call_scam__getShutterTime, ctx, endpoint.c_str(), shutter, 1), SOAP_OK);
  EXPECT_EQ(shutter, 250);

  // Empty reply taken by pointer: the reply is still read, so the next call on
  // the same connection gets its own reply.
  peer.enqueue(PeerReply::bare(soapEnvelope("<rdev:keepAliveResponse/>")));
  peer.enqueue(PeerReply::bare(soapEnvelope(statusResponse("scam:getShutterTimeResponse", 9))));
  ocam::rdev__keepAliveResponse alive;
  EXPECT_EQ(call(ocam::soap_call_rdev__keepAlive, ctx, endpoint.c_str(), alive, 77), SOAP_OK);
  EXPECT_EQ(call(ocam::soap_call_scam__getShutterTime, ctx, endpoint.c_str(), shutter, 1), SOAP_OK);
  EXPECT_EQ(shutter, 9);

  // Token reply of rdev:open; a missing token reads as 0.
  peer.enqueue(
      PeerReply::bare(soapEnvelope("<rdev:openResponse><rdev:token>31</rdev:token>"
                                   "</rdev:openResponse>")));
  peer.enqueue(PeerReply::bare(soapEnvelope("<rdev:openResponse/>")));
  int token = kUntouched;
  EXPECT_EQ(call(ocam::soap_call_rdev__open, ctx, endpoint.c_str(), token, 2,
                 ocam::rdev__eAccess__SERVICE_READ_WRITE),
            SOAP_OK);
  EXPECT_EQ(token, 31);
  EXPECT_EQ(call(ocam::soap_call_rdev__open, ctx, endpoint.c_str(), token, 2,
                 ocam::rdev__eAccess__SERVICE_READ_WRITE),
            SOAP_OK);
  EXPECT_EQ(token, 0);
  ASSERT_TRUE(peer.waitForRequests(6, seconds(5)));
  EXPECT_EQ(peer.connectionCount(), 1u) << "keep-alive reuses the one connection";
}

// ---------------------------------------------------------------- base64

struct Base64Case {
  const char *name;
  std::string dataElement;
  bool ok;
  std::vector<unsigned char> bytes;
};

class Base64Reply : public ::testing::TestWithParam<Base64Case> {};

TEST_P(Base64Reply, ReadsPayloadOrRejectsType) {
  const Base64Case &c = GetParam();
  ScriptedPeer peer;
  peer.enqueue(PeerReply::http(soapEnvelope(
      "<scam:readImageRAMResponse xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\""
      " xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\">" +
      c.dataElement + "<scam:status>0</scam:status></scam:readImageRAMResponse>")));
  WireContext ctx;
  ocam::scam__readImageRAMResponse reply;
  reply.status = kUntouched;
  const int rc = call(ocam::soap_call_scam__readImageRAM, ctx, peer.httpEndpoint().c_str(), reply,
                      1, 0u, static_cast<unsigned>(c.bytes.size()));
  if (!c.ok) {
    EXPECT_EQ(rc, SOAP_TYPE);
    EXPECT_EQ(reply.status, kUntouched);
    return;
  }
  ASSERT_EQ(rc, SOAP_OK);
  EXPECT_EQ(reply.status, 0);
  ASSERT_EQ(reply.data.__size, static_cast<int>(c.bytes.size()));
  if (!c.bytes.empty()) {
    EXPECT_EQ(std::vector<unsigned char>(reply.data.__ptr, reply.data.__ptr + reply.data.__size),
              c.bytes);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Types, Base64Reply,
    ::testing::Values(
        Base64Case{"NoType", "<scam:data>/wAB</scam:data>", true, {0xFF, 0x00, 0x01}},
        Base64Case{"Base64Binary",
                   "<scam:data xsi:type=\"xsd:base64Binary\">/wAB</scam:data>",
                   true,
                   {0xFF, 0x00, 0x01}},
        Base64Case{"Base64",
                   "<scam:data xsi:type=\"xsd:base64\">/wAB</scam:data>",
                   true,
                   {0xFF, 0x00, 0x01}},
        Base64Case{"EncodingBase64",
                   "<scam:data xsi:type=\"SOAP-ENC:base64\">/wAB</scam:data>",
                   true,
                   {0xFF, 0x00, 0x01}},
        Base64Case{"String", "<scam:data xsi:type=\"xsd:string\">/wAB</scam:data>", false, {}},
        Base64Case{"EmptyElement", "<scam:data></scam:data>", true, {}},
        Base64Case{"SelfClosingElement", "<scam:data/>", true, {}},
        Base64Case{"Padding", "<scam:data>YQ==</scam:data>", true, {'a'}}),
    [](const auto &info) { return std::string(info.param.name); });

}  // namespace
}  // namespace ocamera_test
