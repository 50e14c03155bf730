// How the simulator serves: ports and framings, keep-alive, bounds on
// connections and request size, start and stop.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <thread>

#include "sim_client.h"

namespace st = ocamsim::status;
using simtest::Client;
using simtest::eventually;
using simtest::kFailed;

namespace {

using namespace ocam;

TEST(SimServing, EachPortServesItsOwnServicesInBothFramings) {
  ocamsim::Simulator sim;
  sim.start();
  EXPECT_NE(sim.cameraPort(), sim.ioPort());
  EXPECT_EQ(sim.cameraAddress(), "127.0.0.1:" + std::to_string(sim.cameraPort()));
  for (bool http : {true, false}) {
    Client cam(sim.cameraAddress(), http), io(sim.ioAddress(), http);
    // The device manager answers on both ports.
    const int camera = io.open(1), in = cam.open(2), out = io.open(3), led = io.open(4);
    EXPECT_EQ(cam.status(soap_call_scam__create, camera, scam__eCameraType__CAM_TYPE_GENERIC), 0);
    EXPECT_EQ(io.status(soap_call_sinp__create, in), 0);
    EXPECT_EQ(io.status(soap_call_sout__create, out), 0);
    EXPECT_EQ(io.status(soap_call_sled__create, led), 0);
    // Neither port answers the other's services, whatever the session.
    EXPECT_EQ(io.status(soap_call_scam__getShutterTime, camera), kFailed);
    EXPECT_EQ(io.lastFault(), "no such service on this port");
    EXPECT_EQ(cam.status(soap_call_sinp__destroy, in), kFailed);
    EXPECT_EQ(cam.status(soap_call_sout__destroy, out), kFailed);
    EXPECT_EQ(cam.status(soap_call_sled__destroy, led), kFailed);
    EXPECT_EQ(cam.lastFault(), "no such service on this port");
    EXPECT_EQ(cam.keepAlive(in), SOAP_OK);
    EXPECT_EQ(io.close(camera), SOAP_OK);
  }
  EXPECT_EQ(sim.count("sled:destroy"), 2u);
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

// A raw loopback connection for the bounds below, from the loopback address
// `source` (a client of its own) when given; reads wait at most 5 s.
int rawConnection(int port, const char *source = nullptr) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  if (source) {
    sockaddr_in from{};
    from.sin_family = AF_INET;
    ::inet_pton(AF_INET, source, &from.sin_addr);
    if (::bind(fd, reinterpret_cast<sockaddr *>(&from), sizeof from) != 0) return -1;
  }
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<uint16_t>(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) != 0) return -1;
  timeval tv{5, 0};
  ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
  return fd;
}

// Whether the simulator closed the connection (as against the 5 s bound passing).
bool closedByPeer(int fd) {
  char buf[4096];
  ssize_t n;
  while ((n = ::recv(fd, buf, sizeof buf, 0)) > 0) {
  }
  return n == 0 || (n < 0 && errno == ECONNRESET);
}

bool sendText(int fd, const std::string &text) {
  return ::send(fd, text.data(), text.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(text.size());
}

// The start of a request whose body is `bodyBytes` long; the caller sends the body.
std::string postHeader(std::size_t bodyBytes) {
  return "POST / HTTP/1.1\r\nHost: localhost\r\nContent-Type: text/xml\r\nContent-Length: " +
         std::to_string(bodyBytes) + "\r\n\r\n";
}

TEST(SimServing, OnePortsConnectionsCannotLockOutTheOther) {
  ocamsim::Options o;
  o.maxConnections = 3;
  ocamsim::Simulator sim(o);
  sim.start();
  // Three clients fill the I/O port; a fourth takes the slot of the one idle longest.
  std::vector<int> idle;
  for (const char *client : {"127.0.0.2", "127.0.0.3", "127.0.0.4"}) {
    idle.push_back(rawConnection(sim.ioPort(), client));
    ASSERT_TRUE(eventually([&] { return sim.openConnections() == idle.size(); }));
  }
  const int beyond = rawConnection(sim.ioPort(), "127.0.0.5");
  ASSERT_GE(beyond, 0);
  EXPECT_TRUE(closedByPeer(idle[0]));
  EXPECT_TRUE(eventually([&] { return sim.connectionsAccepted() == 4; }));
  Client camera(sim.cameraAddress());
  EXPECT_NE(camera.open(1), kFailed);
  for (int fd : idle) ::close(fd);
  ::close(beyond);
}

// One client (127.0.0.2) re-opening idle and slow-header connections as fast
// as the simulator closes them cannot make the calls of another fail.
TEST(SimServing, AFloodOfIdleAndSlowConnectionsCannotLockAPort) {
  ocamsim::Options o;
  o.maxConnections = 16;
  ocamsim::Simulator sim(o);
  sim.start();
  std::atomic<bool> stop{false};
  std::atomic<int> reopened{0};
  std::thread flood([&] {
    std::vector<int> fds;
    for (int i = 0; i < 16; ++i) fds.push_back(rawConnection(sim.cameraPort(), "127.0.0.2"));
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!stop && std::chrono::steady_clock::now() < end && reopened < 100000) {
      for (std::size_t i = 0; i < fds.size(); ++i) {
        pollfd p{fds[i], POLLIN, 0};
        if (fds[i] >= 0 && ::poll(&p, 1, 0) == 0) continue;  // still open
        ::close(fds[i]);
        fds[i] = rawConnection(sim.cameraPort(), "127.0.0.2");
        // Every other one starts a request and never finishes its header.
        if (i % 2 && fds[i] >= 0) sendText(fds[i], "POST / HTTP/1.1\r\nHost: x");
        ++reopened;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    for (int fd : fds) ::close(fd);
  });
  const bool full = eventually([&] { return sim.openConnections() >= 15; });
  int failed = 0;
  for (int i = 0; full && i < 40; ++i) {
    Client c(sim.cameraAddress());
    rdev__listResponse r;
    if (c.call(soap_call_rdev__list, r) != SOAP_OK || r.__sizedevices != 4) ++failed;
  }
  stop = true;
  flood.join();
  EXPECT_TRUE(full);
  EXPECT_EQ(failed, 0);
}

// A connection in the middle of being served never gives way; when nothing
// else can, the newcomer is turned away.
TEST(SimServing, AConnectionBeingServedIsNeverClosedForRoom) {
  ocamsim::Options o;
  o.maxConnections = 2;
  ocamsim::Simulator sim(o);
  sim.start();
  Client waiter(sim.ioAddress());
  const int in = waiter.open(2);
  ASSERT_EQ(waiter.status(soap_call_sinp__create, in), 0);
  ASSERT_EQ(waiter.status(soap_call_sinp__iOpen, in), 0);
  ASSERT_EQ(waiter.status(soap_call_sinp__iSetTimeout, in, 10000), 0);
  std::thread wait([&] {
    EXPECT_EQ(waiter.status(soap_call_sinp__iWaitForInput, in, sinp__eCameraInput__INPUT_I0, 1), 0);
  });
  const bool waiting = sim.waitForInputWaits(1, 5000);
  EXPECT_TRUE(waiting);
  // The same client holds its share (one of two): only its own connections
  // could give way, and the one it has is busy.
  Client other(sim.ioAddress());
  if (waiting) {
    EXPECT_EQ(other.open(2), kFailed);
  }
  sim.setInputs(1);
  wait.join();
  // Once the waiter's connection waits for its next request, it gives way.
  EXPECT_TRUE(eventually([&] { return other.open(2) != kFailed; }));
}

// Bad session tokens cost time: one client address gets its burst, then the
// steady rate, however many connections it guesses on.
TEST(SimServing, GuessingTokensIsSlowedToTheBadTokenRate) {
  ocamsim::Options o;
  o.badTokenBurst = 5;
  o.badTokenRate = 10;
  ocamsim::Simulator sim(o);
  sim.start();
  std::atomic<int> bad{0};
  const auto start = std::chrono::steady_clock::now();
  std::vector<std::thread> guessers;
  for (int g = 0; g < 4; ++g)
    guessers.emplace_back([&, g] {
      Client c(sim.cameraAddress());
      const auto end = start + std::chrono::milliseconds(1500);
      for (int token = 1000 * g + 1; std::chrono::steady_clock::now() < end; ++token)
        if (c.status(soap_call_scam__getShutterTime, token) == st::kBadSession) ++bad;
    });
  for (std::thread &t : guessers) t.join();
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_GE(bad.load(), 5);
  EXPECT_LE(bad.load(), 5 + 10 * seconds + 4) << seconds << " s";
  // The client's own sessions are not held back.
  Client c(sim.cameraAddress());
  const int t = c.openCamera();
  EXPECT_EQ(c.status(soap_call_scam__getShutterTime, t), 10000);
}

TEST(SimServing, IdleAndStalledConnectionsAreClosed) {
  ocamsim::Options o;
  o.idleTimeoutMs = 200;
  o.requestTimeoutMs = 400;
  ocamsim::Simulator sim(o);
  sim.start();
  const auto t0 = std::chrono::steady_clock::now();
  const int idle = rawConnection(sim.cameraPort());
  const int stalled = rawConnection(sim.cameraPort());
  // A request that trickles in, never complete.
  ASSERT_TRUE(sendText(stalled, postHeader(1000) + "<?xml version=\"1.0\"?>"));
  EXPECT_TRUE(closedByPeer(idle));
  EXPECT_TRUE(sendText(stalled, "<SOAP-ENV:Envelope"));
  EXPECT_TRUE(closedByPeer(stalled));
  EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(4));
  ::close(idle);
  ::close(stalled);
  // A client that pauses between requests for less than the idle time keeps its connection.
  Client c(sim.cameraAddress());
  const std::size_t before = sim.connectionsAccepted();
  const int t = c.open(1);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(c.keepAlive(t), SOAP_OK);
  EXPECT_EQ(sim.connectionsAccepted(), before + 1);
}

TEST(SimServing, RequestMemoryIsBoundedPerRequestAndInTotal) {
  ocamsim::Options o;
  o.maxRequestBytes = 256 * 1024;
  o.maxRequestMemory = 384 * 1024;
  ocamsim::Simulator sim(o);
  sim.start();
  // Announcing more than the largest request is refused before the body.
  const int huge = rawConnection(sim.cameraPort());
  ASSERT_TRUE(sendText(huge, postHeader(std::size_t{1} << 30)));
  EXPECT_TRUE(closedByPeer(huge));
  ::close(huge);
  // Two large requests cannot be in progress at once: whichever comes second
  // is closed, the other keeps its connection.
  const std::string body(200 * 1024, ' ');
  const int first = rawConnection(sim.cameraPort());
  ASSERT_TRUE(sendText(first, postHeader(250 * 1024) + body));
  const int second = rawConnection(sim.cameraPort());
  ASSERT_TRUE(sendText(second, "<?xml version=\"1.0\"?>" + body));
  pollfd both[2] = {{first, POLLIN, 0}, {second, POLLIN, 0}};
  ASSERT_EQ(::poll(both, 2, 5000), 1);
  const int closed = (both[0].revents & POLLIN) ? first : second;
  const int survivor = closed == first ? second : first;
  EXPECT_TRUE(closedByPeer(closed));
  ::close(closed);
  // Small requests still fit beside it, and all of it once that one ends.
  Client c(sim.cameraAddress(), false);
  EXPECT_NE(c.open(1), kFailed);
  ::close(survivor);
  ASSERT_TRUE(sim.waitForOpenConnections(1, 5000));
  const int t = c.openCamera();
  std::vector<unsigned char> big(150 * 1024, 7);
  xsd__base64Binary b = simtest::payload(big);
  EXPECT_EQ(c.status(soap_call_scam__writeImageRAM, t, b, 0u, 150u * 1024u), 0);
}

TEST(SimServing, TheDefaultRequestLimitHoldsAWriteOfTheWholeImageRam) {
  ocamsim::Options o;
  o.imageRamSize = 1u << 20;
  ocamsim::Simulator sim(o);
  sim.start();
  Client c(sim.cameraAddress());
  const int t = c.openCamera();
  std::vector<unsigned char> all(o.imageRamSize, 9);
  xsd__base64Binary b = simtest::payload(all);
  EXPECT_EQ(c.status(soap_call_scam__writeImageRAM, t, b, 0u, 1u << 20), 0);
  EXPECT_EQ(sim.readRam((1u << 20) - 1, 1), std::vector<std::uint8_t>(1, 9));
  // Twice that is more than any legitimate request.
  Client d(sim.cameraAddress());
  std::vector<unsigned char> twice(2 * o.imageRamSize, 9);
  b = simtest::payload(twice);
  EXPECT_EQ(d.status(soap_call_scam__writeImageRAM, t, b, 0u, 1u << 20), kFailed);
}

// Sends one bare envelope on a new connection to `port` and returns what came
// back up to the end of the reply's envelope.
std::string exchangeBare(int port, const std::string &body) {
  const int fd = rawConnection(port);
  if (fd < 0) return "";
  std::string reply;
  if (sendText(fd,
               "<?xml version=\"1.0\"?><SOAP-ENV:Envelope "
               "xmlns:SOAP-ENV=\"http://schemas.xmlsoap.org/soap/envelope/\" "
               "xmlns:scam=\"urn:vdx\"><SOAP-ENV:Body>" +
                   body + "</SOAP-ENV:Body></SOAP-ENV:Envelope>")) {
    char buf[4096];
    ssize_t n;
    while (reply.find("</SOAP-ENV:Envelope>") == std::string::npos &&
           (n = ::recv(fd, buf, sizeof buf, 0)) > 0)
      reply.append(buf, n);
  }
  ::close(fd);
  return reply;
}

TEST(SimServing, UnknownOperationsAndGarbageGetFaults) {
  ocamsim::Simulator sim;
  sim.start();
  const std::string reply = exchangeBare(
      sim.cameraPort(), "<scam:selfDestruct><scam:token>1</scam:token></scam:selfDestruct>");
  EXPECT_NE(reply.find("SOAP-ENV:Fault"), std::string::npos) << reply;
  EXPECT_TRUE(sim.waitForCount("scam:selfDestruct", 1, 1000));
  // The simulator goes on serving.
  Client c(sim.cameraAddress());
  EXPECT_NE(c.open(1), kFailed);
}

// A client of another SOAP toolkit may pass arguments by reference (SOAP
// encoding's multi-reference values): they are resolved, and a reference to
// nothing is refused.
TEST(SimServing, ArgumentsPassedByReferenceAreResolved) {
  ocamsim::Simulator sim;
  sim.start();
  Client c(sim.cameraAddress());
  const int t = c.openCamera();
  ASSERT_NE(t, kFailed);
  const std::string token = "<scam:token>" + std::to_string(t) + "</scam:token>";
  const std::string set =
      exchangeBare(sim.cameraPort(), "<scam:setShutterTime>" + token +
                                         "<scam:dShutter href=\"#d\"/></scam:setShutterTime>"
                                         "<scam:dShutter id=\"d\">2500</scam:dShutter>");
  EXPECT_NE(set.find("<scam:status>0</scam:status>"), std::string::npos) << set;
  EXPECT_EQ(c.status(soap_call_scam__getShutterTime, t), 2500);

  const std::string dangling =
      exchangeBare(sim.cameraPort(), "<scam:setShutterTime>" + token +
                                         "<scam:dShutter href=\"#gone\"/></scam:setShutterTime>");
  EXPECT_NE(dangling.find("SOAP-ENV:Fault"), std::string::npos) << dangling;
  EXPECT_EQ(c.status(soap_call_scam__getShutterTime, t), 2500);
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
