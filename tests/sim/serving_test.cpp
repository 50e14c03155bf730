// How the simulator serves: ports and framings, keep-alive, bounds on
// connections and request size, start and stop.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "sim_client.h"

using simtest::Client;
using simtest::kFailed;

namespace {

using namespace ocam;

TEST(SimServing, EveryServiceAnswersOnBothPortsInBothFramings) {
  ocamsim::Simulator sim;
  sim.start();
  EXPECT_NE(sim.cameraPort(), sim.ioPort());
  EXPECT_EQ(sim.cameraAddress(), "127.0.0.1:" + std::to_string(sim.cameraPort()));
  for (const std::string &addr : {sim.cameraAddress(), sim.ioAddress()}) {
    for (bool http : {true, false}) {
      Client c(addr, http);
      const int cam = c.open(1), in = c.open(2), out = c.open(3), led = c.open(4);
      EXPECT_EQ(c.status(soap_call_scam__create, cam, scam__eCameraType__CAM_TYPE_GENERIC), 0);
      EXPECT_EQ(c.status(soap_call_sinp__create, in), 0);
      EXPECT_EQ(c.status(soap_call_sout__create, out), 0);
      EXPECT_EQ(c.status(soap_call_sled__create, led), 0);
      EXPECT_EQ(c.keepAlive(cam), SOAP_OK);
      EXPECT_EQ(c.close(cam), SOAP_OK);
    }
  }
}

TEST(SimServing, KeepAliveConnectionsAreReused) {
  ocamsim::Simulator sim;
  sim.start();
  for (bool http : {true, false}) {
    const std::size_t before = sim.connectionsAccepted();
    Client c(sim.cameraAddress(), http);
    const int t = c.open(1);
    ASSERT_EQ(c.status(soap_call_scam__create, t, scam__eCameraType__CAM_TYPE_GENERIC), 0);
    for (int i = 0; i < 150; ++i) ASSERT_EQ(c.status(soap_call_scam__getShutterTime, t), 10000);
    EXPECT_EQ(sim.connectionsAccepted(), before + 1) << (http ? "http" : "bare");
  }
}

TEST(SimServing, ConnectionsBeyondTheLimitAreClosed) {
  ocamsim::Options o;
  o.maxConnections = 2;
  ocamsim::Simulator sim(o);
  sim.start();
  auto a = std::make_unique<Client>(sim.cameraAddress());
  Client b(sim.cameraAddress());
  const int t = a->open(1);
  ASSERT_NE(t, kFailed);
  ASSERT_NE(b.open(1), kFailed);
  EXPECT_EQ(sim.openConnections(), 2u);
  Client third(sim.cameraAddress());
  EXPECT_EQ(third.open(1), kFailed);
  a.reset();
  ASSERT_TRUE(sim.waitForOpenConnections(1, 5000));
  EXPECT_NE(third.open(1), kFailed);
  EXPECT_EQ(sim.connectionsAccepted(), 3u);
}

TEST(SimServing, OversizedRequestsAreRefused) {
  ocamsim::Options o;
  o.maxRequestBytes = 64 * 1024;
  ocamsim::Simulator sim(o);
  sim.start();
  Client c(sim.cameraAddress());
  const int t = c.openCamera();
  std::vector<unsigned char> big(100 * 1024, 3);
  xsd__base64Binary b = simtest::payload(big);
  EXPECT_EQ(c.status(soap_call_scam__writeImageRAM, t, b, 0u, 100u * 1024u), kFailed);
  EXPECT_EQ(sim.readRam(0, 1), std::vector<std::uint8_t>(1, 0));
  b.__size = 1024;
  EXPECT_EQ(c.status(soap_call_scam__writeImageRAM, t, b, 0u, 1024u), 0);
  EXPECT_EQ(sim.readRam(0, 1), std::vector<std::uint8_t>(1, 3));
}

TEST(SimServing, UnknownOperationsAndGarbageGetFaults) {
  ocamsim::Simulator sim;
  sim.start();
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<uint16_t>(sim.cameraPort()));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(::connect(fd, reinterpret_cast<sockaddr *>(&a), sizeof a), 0);
  timeval tv{5, 0};
  ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
  const std::string req =
      "<?xml version=\"1.0\"?><SOAP-ENV:Envelope "
      "xmlns:SOAP-ENV=\"http://schemas.xmlsoap.org/soap/envelope/\" xmlns:scam=\"urn:vdx\">"
      "<SOAP-ENV:Body><scam:selfDestruct><scam:token>1</scam:token></scam:selfDestruct>"
      "</SOAP-ENV:Body></SOAP-ENV:Envelope>";
  ASSERT_EQ(::send(fd, req.data(), req.size(), MSG_NOSIGNAL), static_cast<ssize_t>(req.size()));
  std::string reply;
  char buf[4096];
  ssize_t n;
  while (reply.find("</SOAP-ENV:Envelope>") == std::string::npos &&
         (n = ::recv(fd, buf, sizeof buf, 0)) > 0)
    reply.append(buf, n);
  ::close(fd);
  EXPECT_NE(reply.find("SOAP-ENV:Fault"), std::string::npos) << reply;
  EXPECT_TRUE(sim.waitForCount("scam:selfDestruct", 1, 1000));
  // The simulator goes on serving.
  Client c(sim.cameraAddress());
  EXPECT_NE(c.open(1), kFailed);
}

TEST(SimServing, StartStopAndPorts) {
  ocamsim::Options o;
  o.ioPort = -1;
  ocamsim::Simulator sim(o);
  sim.start();
  EXPECT_GT(sim.cameraPort(), 0);
  EXPECT_EQ(sim.ioPort(), -1);
  // A port in use cannot be bound.
  ocamsim::Options clash;
  clash.cameraPort = sim.cameraPort();
  ocamsim::Simulator second(clash);
  EXPECT_THROW(second.start(), std::runtime_error);
  // Idle keep-alive connections do not hold up stop().
  auto c = std::make_unique<Client>(sim.cameraAddress());
  ASSERT_NE(c->open(1), kFailed);
  sim.stop();
  EXPECT_EQ(sim.openConnections(), 0u);
  EXPECT_EQ(c->open(1), kFailed);
  // Started again, it serves on fresh ports.
  sim.start();
  Client d(sim.cameraAddress());
  EXPECT_NE(d.open(1), kFailed);
}

}  // namespace
