// The opt-in reply time-out against a camera whose host is alive but whose
// service accepts a request and never answers it.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "common/scripted_peer.h"
#include "faults/watchdog.h"
#include "io/scripted_camera.h"
#include "ocamH.h"
#include "ocamera/export.h"
#include "ocamera/inputs.h"
#include "protocol/connection_guard.h"
#include "protocol/transport.h"
#include "sim/simulator.h"
#include "support/device_manager.h"
#include "support/soap_cache.h"

namespace ocamera_test {
namespace {

using Clock = std::chrono::steady_clock;

long long msSince(Clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// Switches the process-wide time-out off again however the test ends.
struct ReplyTimeoutScope {
  explicit ReplyTimeoutScope(int ms) { ocamera::setReplyTimeout(ms); }
  ~ReplyTimeoutScope() { ocamera::setReplyTimeout(0); }
};

// A request that gets no reply fails after the time-out, its connection is
// dropped (no later request travels on it, so a late reply can never be read as
// the answer to another request), and the object keeps working.
TEST(ReplyTimeout, FrozenServiceFailsTheCallAndTheNextCallsStartClean) {
  ASSERT_EQ(ocamera::replyTimeout(), 0) << "on by default";
  ScriptedCamera camera;
  OCameraInputs *inputs = CreateCameraInputs(camera.address().c_str());
  ASSERT_NE(inputs, nullptr);
  camera.status = 2;
  ASSERT_EQ(inputs->iGetInputs(), 2);  // answered before any time-out is set

  constexpr int kTimeoutMs = 300;
  ReplyTimeoutScope scope(kTimeoutMs);
  camera.override("sinp:iGetInputs", PeerReply::raw(""));  // accepted, never answered
  const std::size_t frozenIndex = camera.peer().requestCount();
  const auto start = Clock::now();
  {
    Watchdog watchdog("a request under a reply time-out", std::chrono::seconds(10));
    EXPECT_EQ(inputs->iGetInputs(), -1);
  }
  const long long took = msSince(start);
  EXPECT_GE(took, kTimeoutMs - 20);
  EXPECT_LT(took, kTimeoutMs + 1500);
  ASSERT_GT(camera.peer().requestCount(), frozenIndex);
  const std::size_t frozenConnection = camera.peer().request(frozenIndex).connection;

  camera.override("sinp:iGetInputs",
                  PeerReply::bare(soapEnvelope(statusResponse("sinp:iGetInputsResponse", 3))));
  // Twice round the object's pool of four contexts: the one that timed out is
  // among them.
  for (int i = 0; i < 8; ++i) EXPECT_EQ(inputs->iGetInputs(), 3) << "call " << i;
  for (std::size_t i = frozenIndex + 1; i < camera.peer().requestCount(); ++i)
    EXPECT_NE(camera.peer().request(i).connection, frozenConnection) << "request " << i;

  ocamera::setReplyTimeout(-1);  // off, as 0 is
  EXPECT_EQ(ocamera::replyTimeout(), 0);
  inputs->destroy();
}

// A thread's own time-out bounds that thread's requests while the
// process-wide setting stays off, and ends with its scope.
TEST(ReplyTimeout, ThreadScopeBoundsOnlyTheCallingThreadsRequests) {
  ScriptedCamera camera;
  OCameraInputs *inputs = CreateCameraInputs(camera.address().c_str());
  ASSERT_NE(inputs, nullptr);
  camera.override("sinp:iGetInputs", PeerReply::raw(""));  // accepted, never answered
  {
    ocamera::wire::ThreadReplyTimeout scope(300);
    EXPECT_EQ(ocamera::wire::effectiveReplyTimeout(), 300);
    EXPECT_EQ(ocamera::replyTimeout(), 0) << "the process-wide setting is untouched";
    Watchdog watchdog("a request under a thread's reply time-out", std::chrono::seconds(10));
    const auto start = Clock::now();
    EXPECT_EQ(inputs->iGetInputs(), -1);
    EXPECT_GE(msSince(start), 280);
    {
      ocamera::wire::ThreadReplyTimeout inner(0);  // off for this thread, whatever the process says
      ReplyTimeoutScope global(50);
      EXPECT_EQ(ocamera::wire::effectiveReplyTimeout(), 0);
    }
    EXPECT_EQ(ocamera::wire::effectiveReplyTimeout(), 300) << "the inner scope restored the outer";
  }
  EXPECT_EQ(ocamera::wire::effectiveReplyTimeout(), 0);
  inputs->destroy();
}

// A camera that takes a keep-alive request and never answers it cannot hold
// the object's tear-down, which waits for the keep-alive thread: that request
// is bounded by the keep-alive interval (half the session time-out).
TEST(ReplyTimeout, ASilentKeepAliveEndsWithinTheIntervalAndTearDownGoesOn) {
  ocamsim::Options options;
  options.maxTimeout = 2;  // keep-alive every second
  ocamsim::Simulator sim(options);
  sim.start();
  OCameraInputs *inputs = CreateCameraInputs(sim.ioAddress().c_str());
  ASSERT_NE(inputs, nullptr);
  sim.inject(ocamsim::Fault{ocamsim::FaultKind::SilentKeepAlive, ""});
  const std::size_t keepAlives = sim.count("rdev:keepAlive");
  ASSERT_TRUE(sim.waitForCount("rdev:keepAlive", keepAlives + 1, 5000));
  Watchdog watchdog("a tear-down waiting on a silent keep-alive", std::chrono::seconds(30));
  const auto start = Clock::now();
  inputs->destroy();
  // The interval, plus room for a loaded machine.
  EXPECT_LT(msSince(start), 1000 + 4000);
}

// A camera that answers one request on one connection with `reply`, `piece`
// bytes at a time every `every`, and gives up after `giveUp`.
class PacedPeer {
 public:
  PacedPeer(std::string reply, std::size_t piece, std::chrono::milliseconds every,
            std::chrono::milliseconds giveUp)
      : listener_(socket(AF_INET, SOCK_STREAM, 0)) {
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof at;
    if (bind(listener_, reinterpret_cast<sockaddr *>(&at), size) != 0 ||
        listen(listener_, 1) != 0 ||
        getsockname(listener_, reinterpret_cast<sockaddr *>(&at), &size) != 0)
      throw std::runtime_error("cannot listen");
    port_ = ntohs(at.sin_port);
    thread_ = std::thread([=, reply = std::move(reply)] {
      const int fd = accept(listener_, nullptr, nullptr);
      if (fd < 0) return;
      std::string request;
      char buffer[4096];
      while (request.find("</SOAP-ENV:Envelope>") == std::string::npos) {
        const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0) break;
        request.append(buffer, static_cast<std::size_t>(n));
      }
      const auto until = Clock::now() + giveUp;
      for (std::size_t at = 0; at < reply.size() && !stop_ && Clock::now() < until; at += piece) {
        if (send(fd, reply.data() + at, std::min(piece, reply.size() - at), MSG_NOSIGNAL) <= 0)
          break;
        std::this_thread::sleep_for(every);  // the pace of the reply, not a wait for a condition
      }
      close(fd);
    });
  }
  ~PacedPeer() {
    stop_ = true;
    shutdown(listener_, SHUT_RDWR);
    thread_.join();
    close(listener_);
  }
  std::string address() const { return "127.0.0.1:" + std::to_string(port_); }

 private:
  int listener_;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

// An image reply of `bytes` zero bytes behind an HTTP header block.
std::string imageReply(std::size_t bytes) {
  return httpResponse(soapEnvelope("<scam:SingleImageResponse><scam:nSize>" +
                                   std::to_string(bytes) + "</scam:nSize><scam:data>" +
                                   std::string(bytes / 3 * 4, 'A') +
                                   "</scam:data></scam:SingleImageResponse>"));
}

// getSingleImage on a context of the library's own set-up: rc and bytes.
std::pair<int, int> fetchImage(const std::string &address) {
  mox::webservice::client::DeviceManager manager(address, true, "", 0);
  mox::webservice::client::SoapGuard lease(manager.soapCache(), false);
  ocam::scam__SingleImageResponse reply;
  const int rc = lease.send([&](soap *c, const char *e) {
    return ocam::soap_call_scam__getSingleImage(c, e, "", 7, reply);
  });
  return {rc, rc == SOAP_OK ? reply.data.__size : 0};
}

// Under a reply time-out a reply must bring a few KB per period once it has
// begun: one that trickles (never silent for a whole period) fails within about
// two periods, while a slower-than-instant image above the floor comes whole
// however many periods it takes.
TEST(ReplyTimeout, ATricklingReplyFailsAndAFlowingOneIsNeverCut) {
  constexpr int kTimeoutMs = 500;
  ReplyTimeoutScope scope(kTimeoutMs);
  Watchdog watchdog("paced replies", std::chrono::seconds(60));
  {
    // 16 bytes every 50 ms: 160 bytes a period, where the floor asks for 4096.
    PacedPeer trickle(imageReply(48 << 10), 16, std::chrono::milliseconds(50),
                      std::chrono::seconds(15));
    const auto start = Clock::now();
    EXPECT_NE(fetchImage(trickle.address()).first, SOAP_OK);
    const long long took = msSince(start);
    EXPECT_GE(took, kTimeoutMs);
    EXPECT_LT(took, 2 * kTimeoutMs + 2500) << "cut within about two periods";
  }
  {
    // 8 KiB every 100 ms, 40 KiB a period: the 192 KiB of base64 take about
    // 2.4 s, nearly five periods. One piece a period already meets the floor,
    // which leaves room for a busy machine.
    constexpr std::size_t kBytes = 144 << 10;
    PacedPeer flowing(imageReply(kBytes), 8 << 10, std::chrono::milliseconds(100),
                      std::chrono::seconds(30));
    const auto start = Clock::now();
    const std::pair<int, int> got = fetchImage(flowing.address());
    EXPECT_EQ(got.first, SOAP_OK);
    EXPECT_EQ(got.second, static_cast<int>(kBytes));
    EXPECT_GT(msSince(start), 4 * kTimeoutMs) << "the reply lasted several periods";
  }
}

}  // namespace
}  // namespace ocamera_test
