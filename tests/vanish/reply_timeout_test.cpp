// The opt-in reply time-out against a camera whose host is alive but whose
// service accepts a request and never answers it.
#include <gtest/gtest.h>

#include <chrono>

#include "common/scripted_peer.h"
#include "faults/watchdog.h"
#include "io/scripted_camera.h"
#include "ocamera/export.h"
#include "ocamera/inputs.h"
#include "protocol/transport.h"
#include "sim/simulator.h"

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

}  // namespace
}  // namespace ocamera_test
