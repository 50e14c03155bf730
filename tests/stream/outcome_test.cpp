// What the stream promises when things go wrong: stop() ends a waiting
// next(), the counters never lag or overflow, no exception escapes (an
// allocation failure, a throwing callback, a thread that cannot start, stop or
// destruction from a callback), start() says which step failed, a stalled
// camera is a loss within the time-outs the user set, recovery backs off, and
// the camera object cannot be pulled away under withCamera.
#include <gtest/gtest.h>
#include <ocamera/export.h>
#include <ocamera/stream.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <future>
#include <stdexcept>
#include <string>
#include <thread>

#include "allocation_hooks.h"
#include "sim/simulator.h"
#include "stream/sequence_gaps.h"
#include "stream_fixture.h"

namespace stream_test {
namespace {

// Waits until thread `tid` of this process sleeps (blocked in a wait); false
// after the bound.
bool waitUntilAsleep(long tid) {
  const std::string path = "/proc/self/task/" + std::to_string(tid) + "/stat";
  for (int i = 0; i < 500; ++i) {
    std::ifstream stat(path);
    std::string line;
    std::getline(stat, line);
    const std::size_t paren = line.rfind(')');
    if (paren != std::string::npos && paren + 2 < line.size() && line[paren + 2] == 'S')
      return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

// Waits for a condition that another thread makes true; false after the bound.
template <class Condition>
bool eventually(Condition condition, int timeoutMs = 10000) {
  const Clock::time_point end = Clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!condition()) {
    if (Clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

// ---------------------------------------------------------------- waits and counters

TEST(StreamWaits, StopWakesAWaitingNextAndDeliveredNeverLagsTheFrames) {
  auto sim = startSim();
  StreamOptions o = smallStream();
  o.acquisitionMode = OCamera::ACQ_MODE_SELECT_SHOT;  // no trigger: nothing comes
  o.readTimeoutMs = 100;
  auto stream = makeStream(*sim, o);
  ASSERT_TRUE(stream);
  ASSERT_EQ(stream->start(), 0);
  std::promise<long> tidPromise;
  std::future<long> tid = tidPromise.get_future();
  std::future<FetchResult> waiting = std::async(std::launch::async, [&] {
    tidPromise.set_value(static_cast<long>(syscall(SYS_gettid)));
    Frame frame;
    return stream->next(frame, -1);
  });
  ASSERT_TRUE(waitUntilAsleep(tid.get()));
  stream->stop();
  const bool woke = waiting.wait_for(std::chrono::seconds(5)) == std::future_status::ready;
  EXPECT_TRUE(woke) << "next(-1) still waits after stop() returned";
  if (!woke) stream->setFrameCallback(nullptr);  // any notification lets it go
  EXPECT_EQ(waiting.get(), FetchResult::Stopped);

  // Every frame next() handed out is counted by then.
  o = smallStream();
  o.bufferCount = 4;
  o.queueDepth = 2;
  o.whenFull = QueuePolicy::Block;  // nothing dropped: delivered counts exactly the frames queued
  auto fast = makeStream(*sim, o);
  ASSERT_TRUE(fast);
  ASSERT_EQ(fast->setFrameRate(1000.0f), 0);
  ASSERT_EQ(fast->start(), 0);
  Frame frame;
  int lagging = 0;
  for (int i = 1; i <= 1000; ++i) {
    ASSERT_EQ(fast->next(frame, 5000), FetchResult::Frame);
    lagging += fast->stats().delivered < static_cast<std::uint64_t>(i);
  }
  EXPECT_EQ(lagging, 0) << "frames taken before delivered counted them, of 1000";
}

TEST(StreamWaits, SequenceGapsWrapAroundAndAJumpIsAReset) {
  ocamera::stream::SequenceGaps gaps;
  gaps.add(5);
  gaps.add(9);  // 6, 7, 8 never came
  EXPECT_EQ(gaps.missing(), 3u);
  gaps.add(INT_MAX);  // a jump far beyond any gap: a new count
  EXPECT_EQ(gaps.resets(), 1u);
  gaps.add(INT_MIN);  // the counter wrapped: one step
  gaps.add(INT_MIN + 2);
  EXPECT_EQ(gaps.missing(), 4u);
  EXPECT_EQ(gaps.resets(), 1u);
  // A peer alternating the extremes, or jumping by 2^30, adds resets, not gaps.
  for (int i = 0; i < 120; ++i) gaps.add(i % 2 ? INT_MAX : INT_MIN);
  for (unsigned i = 0; i < 119; ++i) gaps.add(static_cast<int>(i << 30));
  EXPECT_EQ(gaps.missing(), 4u);
  EXPECT_EQ(gaps.resets(), 2u + 60u + 119u);
  gaps.add(7);
  gaps.add(7);  // a repeated number
  EXPECT_EQ(gaps.resets(), 2u + 60u + 119u + 2u);
  gaps.add(7 + static_cast<int>(ocamera::stream::SequenceGaps::kLargestGap) + 1);
  EXPECT_EQ(gaps.missing(), 4u + ocamera::stream::SequenceGaps::kLargestGap);
  gaps.restart();
  gaps.add(0);  // after a restart a lower number is no reset
  EXPECT_EQ(gaps.missing(), 4u + ocamera::stream::SequenceGaps::kLargestGap);
}

// ---------------------------------------------------------------- no exception escapes

TEST(StreamFailures, FailuresOnTheGrabThreadBecomeErrorEvents) {
  if (!kHooksAllocations) GTEST_SKIP() << "no allocation hooks under AddressSanitizer";
  auto sim = startSim();
  StreamOptions o = smallStream();
  o.rgb = true;
  auto stream = makeStream(*sim, o);
  ASSERT_TRUE(stream);
  EventLog events;
  events.attach(*stream);
  // The frame buffers cannot be had (the RGB buffer's size is the one no
  // other allocation of the test has).
  g_failSize = std::size_t{kWidth} * kHeight * 3;
  const int rc = stream->start();
  const bool reported = events.waitFor(StreamEvent::Error, 1, 10000);
  g_failSize = 0;
  ASSERT_EQ(rc, 0);
  ASSERT_TRUE(reported) << events.details();
  EXPECT_NE(events.details().find("no memory"), std::string::npos) << events.details();
  Frame frame;
  EXPECT_EQ(stream->next(frame, -1), FetchResult::Stopped);
  EXPECT_EQ(stream->state(), StreamState::Stopped);
  // start() makes a new run of it, without a stop() first.
  ASSERT_EQ(stream->start(), 0);
  ASSERT_EQ(stream->next(frame, 5000), FetchResult::Frame);
  EXPECT_EQ(stream->state(), StreamState::Running);

  // A frame callback that throws ends the run the same way.
  stream->setFrameCallback([](Frame &) { throw std::runtime_error("callback broke"); });
  ASSERT_TRUE(events.waitFor(StreamEvent::Error, 2, 10000)) << events.details();
  EXPECT_NE(events.details().find("callback broke"), std::string::npos) << events.details();
  EXPECT_EQ(stream->state(), StreamState::Stopped);
  stream->setFrameCallback(nullptr);
  stream->stop();
  EXPECT_EQ(sim->acquisitionMode(), OCamera::ACQ_MODE_STOP);
}

TEST(StreamFailures, AGrabThreadThatCannotStartIsAReturnedError) {
  if (!kHooksAllocations) GTEST_SKIP() << "no allocation hooks under AddressSanitizer";
  auto sim = startSim();
  auto stream = makeStream(*sim, smallStream());
  ASSERT_TRUE(stream);
  ASSERT_EQ(stream->start(), 0);
  stream->stop();
  // The last allocation of start() on this thread is the grab thread's.
  const long before = tl_newCalls;
  ASSERT_EQ(stream->start(), 0);
  const long calls = tl_newCalls - before;
  stream->stop();
  std::string error;
  int rc = 0;
  tl_failAt = tl_newCalls + calls;
  EXPECT_NO_THROW(rc = stream->start(&error));
  tl_failAt = -1;
  EXPECT_EQ(rc, -1);
  EXPECT_NE(error.find("grab thread"), std::string::npos) << error;
  EXPECT_EQ(stream->state(), StreamState::Stopped);
  EXPECT_EQ(sim->acquisitionMode(), OCamera::ACQ_MODE_STOP) << "nothing left running";
  EXPECT_EQ(sim->count("scam:close"), sim->count("scam:open"));
  ASSERT_EQ(stream->start(&error), 0) << error;
  Frame frame;
  EXPECT_EQ(stream->next(frame, 5000), FetchResult::Frame);
}

TEST(StreamFailures, StopFromACallbackIsRefusedAndDestructionDeferred) {
  auto sim = startSim();
  auto stream = makeStream(*sim, smallStream());
  ASSERT_TRUE(stream);
  std::atomic<int> calls{0};
  stream->setFrameCallback([&](Frame &) {
    stream->stop();  // would wait for this very thread
    EXPECT_EQ(stream->start(), -1);
    ++calls;
  });
  ASSERT_EQ(stream->start(), 0);
  ASSERT_TRUE(eventually([&] { return calls.load() >= 3; })) << "the stream goes on";
  EXPECT_EQ(stream->state(), StreamState::Running);
  stream->stop();

  // Destroyed from its own callback: the grab thread ends the camera.
  sim->clearLog();
  std::unique_ptr<Stream> doomed = makeStream(*sim, smallStream());
  ASSERT_TRUE(doomed);
  std::atomic<bool> destroyed{false};
  doomed->setFrameCallback([&](Frame &) {
    if (destroyed.load()) return;
    doomed.reset();
    destroyed = true;
  });
  ASSERT_EQ(doomed->start(), 0);
  ASSERT_TRUE(eventually([&] { return destroyed.load(); }));
  ASSERT_TRUE(sim->waitForCount("rdev:close", 1, 10000));
  EXPECT_EQ(sim->count("scam:destroy"), 1u);
  EXPECT_EQ(sim->acquisitionMode(), OCamera::ACQ_MODE_STOP);
}

TEST(StreamFailures, BuffersHoldTheWindowAndALargerFrameIsAFailedRequest) {
  if (!kHooksAllocations) GTEST_SKIP() << "no allocation hooks under AddressSanitizer";
  auto sim = startSim();
  StreamOptions o = smallStream();
  o.bufferCount = 8;
  o.width = kWidth / 2;
  o.height = kHeight / 2;
  auto stream = makeStream(*sim, o);
  ASSERT_TRUE(stream);
  ASSERT_EQ(stream->setFrameRate(1000.0f), 0);
  const long large = g_largeAllocations.load();
  ASSERT_EQ(stream->start(), 0);
  Frame frame;
  for (int i = 0; i < 20; ++i) ASSERT_EQ(stream->next(frame, 5000), FetchResult::Frame);
  EXPECT_EQ(g_largeAllocations.load(), large) << "buffers for 32x24 frames took megabytes";
  // A camera that sends more than the window (here: its window was changed
  // behind the stream's back): refused, counted, and lost.
  EventLog events;
  events.attach(*stream);
  ASSERT_EQ(stream->withCamera([](OCamera &c) { return c.setCameraWindow(0, 0, kWidth, kHeight); }),
            0);
  ASSERT_TRUE(events.waitFor(StreamEvent::Lost, 1, 10000)) << events.details();
  EXPECT_NE(events.details().find("larger than the window"), std::string::npos) << events.details();
  EXPECT_GE(stream->stats().failedRequests, 2u);
  stream->stop();
}

// ---------------------------------------------------------------- start

TEST(StreamStart, StartSaysWhichStepFailedAndWhatTheCameraRefused) {
  auto sim = startSim();
  const int port = sim->cameraPort();
  std::string error;
  // A white-balance file that is missing or broken fails before any traffic.
  char dir[] = "/tmp/stream-wb-XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  char *previous = getcwd(nullptr, 0);
  ASSERT_EQ(chdir(dir), 0);
  StreamOptions o = smallStream();
  o.rgb = true;
  o.whiteBalance = ocamera::WhiteBalance::File;
  auto balanced = makeStream(*sim, o);
  ASSERT_TRUE(balanced);
  EXPECT_EQ(balanced->start(&error), -1);
  EXPECT_NE(error.find("wb.conf"), std::string::npos) << error;
  std::ofstream("wb.conf") << "this is no list of factors\n";
  EXPECT_EQ(balanced->start(&error), -1);
  EXPECT_NE(error.find("all three factors"), std::string::npos) << error;
  EXPECT_EQ(sim->count("scam:open"), 0u);
  EXPECT_EQ(balanced->state(), StreamState::Stopped);
  std::ofstream("wb.conf") << "red=120\ngreen=100\nblue=80\n";
  EXPECT_EQ(balanced->start(&error), 0) << error;
  EXPECT_EQ(error, "");
  balanced.reset();
  std::remove("wb.conf");
  EXPECT_EQ(chdir(previous), 0);
  std::free(previous);
  rmdir(dir);

  // A window the camera refuses is named.
  o = smallStream();
  o.width = kWidth * 2;
  auto wide = makeStream(*sim, o);
  ASSERT_TRUE(wide);
  EXPECT_EQ(wide->start(&error), ocamsim::status::kBadArgument);
  EXPECT_NE(error.find("window"), std::string::npos) << error;
  // So is a recorded setting the camera took once and refuses now.
  ASSERT_EQ(wide->setCameraWindow(0, 0, kWidth, kHeight), 0);
  ASSERT_EQ(wide->setShutterTime(20000), 0);
  ocamsim::Fault refuse{ocamsim::FaultKind::Status, "scam:setShutterTime"};
  refuse.status = ocamsim::status::kBadArgument;
  refuse.count = 1;
  sim->inject(refuse);
  EXPECT_EQ(wide->start(&error), ocamsim::status::kBadArgument);
  EXPECT_NE(error.find("shutterTime failed: the camera refused the value"), std::string::npos)
      << error;

  // A setting recorded while the camera was lost, refused by the camera the
  // next start() makes, is reported.
  auto stream = makeStream(*sim, smallStream());
  ASSERT_TRUE(stream);
  EventLog events;
  events.attach(*stream);
  ASSERT_EQ(stream->start(), 0);
  sim->stop();
  ASSERT_TRUE(events.waitFor(StreamEvent::Lost, 1, 10000)) << events.details();
  EXPECT_EQ(stream->setTriggerDelay(77), -1);
  stream->stop();
  sim.reset();
  sim = std::make_unique<ocamsim::Simulator>(simOptions(port));
  ocamsim::Fault refuseDelay{ocamsim::FaultKind::Status, "scam:setTriggerDelay"};
  refuseDelay.status = ocamsim::status::kBadArgument;
  refuseDelay.count = 1;
  sim->inject(refuseDelay);
  sim->start();
  ASSERT_EQ(stream->start(&error), 0) << error;
  EXPECT_NE(error.find("triggerDelay (refused with -15)"), std::string::npos) << error;
  EXPECT_TRUE(events.waitFor(StreamEvent::Started, 2, 1000));
  EXPECT_NE(events.details().find("triggerDelay"), std::string::npos) << events.details();
  stream->stop();

  // Once frameLimit frames are fetched, state() agrees with next().
  o = smallStream();
  o.frameLimit = 3;
  auto three = makeStream(*sim, o);
  ASSERT_TRUE(three);
  ASSERT_EQ(three->start(), 0);
  Frame frame;
  for (int i = 0; i < 3; ++i) ASSERT_EQ(three->next(frame, 5000), FetchResult::Frame);
  EXPECT_EQ(three->next(frame, 5000), FetchResult::Stopped);
  EXPECT_EQ(three->state(), StreamState::Stopped);
  ASSERT_EQ(three->start(), 0) << "a finished run starts afresh";
  EXPECT_EQ(three->next(frame, 5000), FetchResult::Frame);
  EXPECT_EQ(three->state(), StreamState::Running);

  // No camera at the address: create() says what was tried and why it failed.
  three.reset();
  sim->stop();
  const std::string address = "127.0.0.1:" + std::to_string(port);
  EXPECT_FALSE(Stream::create(address.c_str(), smallStream(), &error));
  EXPECT_NE(error.find(address + ": listing the devices: "), std::string::npos) << error;
}

// ---------------------------------------------------------------- a stalled camera

TEST(StreamStall, AHeldReplyIsALossWithinTheTimeOutsAndStopKeepsItsBound) {
  auto sim = startSim();
  StreamOptions o = smallStream();
  o.readTimeoutMs = 200;
  o.replyTimeoutMs = 500;
  auto stream = makeStream(*sim, o);
  ASSERT_TRUE(stream);
  EventLog events;
  events.attach(*stream);
  ASSERT_EQ(stream->start(), 0);
  Frame frame;
  ASSERT_EQ(stream->next(frame, 5000), FetchResult::Frame);

  // Every image reply is held for a minute from now on.
  ocamsim::Fault hold{ocamsim::FaultKind::Delay, kImage};
  hold.delayMs = 60000;
  const Clock::time_point held = Clock::now();
  sim->inject(hold);
  Clock::time_point lostAt;
  ASSERT_TRUE(events.waitFor(StreamEvent::Lost, 1, 10000, &lostAt)) << events.details();
  EXPECT_NE(events.details().find("no reply"), std::string::npos) << events.details();
  // The new camera object's first request is held again; stop() waits at most
  // the read time-out plus the margin for it (the bound is 700 ms).
  ASSERT_TRUE(events.waitFor(StreamEvent::Recovered, 1, 10000)) << events.details();
  Clock::time_point before = Clock::now();
  stream->stop();
  const long stopMs = msSince(before);
  EXPECT_LT(stopMs, 700 + 3000);
  std::printf("held image reply: lost after %ld ms, stop() took %ld ms (bound 700 ms)\n",
              static_cast<long>(
                  std::chrono::duration_cast<std::chrono::milliseconds>(lostAt - held).count()),
              stopMs);
  EXPECT_GE(stream->stats().failedRequests, 1u);

  // A setter on a camera that holds its reply returns within the time-out too.
  sim->clearFaults();
  ASSERT_EQ(stream->start(), 0);
  ocamsim::Fault holdGain{ocamsim::FaultKind::Delay, "scam:setGain"};
  holdGain.delayMs = 60000;
  sim->inject(holdGain);
  before = Clock::now();
  EXPECT_EQ(stream->setGain(3), -1);
  EXPECT_LT(msSince(before), 500 + 3000);
  stream->stop();
  sim->clearFaults();

  // With no time-out of its own, the stream follows the process-wide one: a
  // held reply is not taken for "no frame yet".
  o.replyTimeoutMs = 0;
  auto following = makeStream(*sim, o);
  ASSERT_TRUE(following);
  EventLog followingEvents;
  followingEvents.attach(*following);
  ocamera::setReplyTimeout(400);
  const int started = following->start();
  sim->inject(hold);
  const bool lost = followingEvents.waitFor(StreamEvent::Lost, 1, 10000);
  ocamera::setReplyTimeout(0);
  ASSERT_EQ(started, 0);
  EXPECT_TRUE(lost) << followingEvents.details();
  sim->clearFaults();
  following->stop();
}

// ---------------------------------------------------------------- recovery

TEST(StreamRecoveryBackoff, ACameraLostRightAfterEachRecoveryIsTriedLessOftenThenGivenUp) {
  auto sim = startSim();
  StreamOptions o = smallStream();
  o.retryInitialMs = 40;
  o.retryMaxMs = 1000;
  o.retryLimit = 4;
  auto stream = makeStream(*sim, o);
  ASSERT_TRUE(stream);
  EventLog events;
  events.attach(*stream);
  ASSERT_EQ(stream->start(), 0);
  // Creation and set-up succeed; every image is of the wrong size.
  ocamsim::Fault padded{ocamsim::FaultKind::PadData, kImage};
  padded.bytes = 16;
  sim->inject(padded);
  ASSERT_TRUE(events.waitFor(StreamEvent::GaveUp, 1, 20000)) << events.details();
  EXPECT_EQ(stream->stats().recoveries, 4u);
  EXPECT_EQ(events.count(StreamEvent::Lost), 5);
  EXPECT_EQ(stream->state(), StreamState::Lost);
  // Each recovery came at least twice as late after its loss as the one before.
  for (int k = 1; k <= 4; ++k) {
    Clock::time_point lost, recovered;
    ASSERT_TRUE(events.waitFor(StreamEvent::Lost, k, 0, &lost));
    ASSERT_TRUE(events.waitFor(StreamEvent::Recovered, k, 0, &recovered));
    EXPECT_GE(recovered - lost, std::chrono::milliseconds(40 << (k - 1))) << "recovery " << k;
  }
  stream->stop();
}

// ---------------------------------------------------------------- the camera object

TEST(StreamCamera, WithCameraHoldsTheObjectWhileTheStreamLosesIt) {
  auto sim = startSim();
  auto stream = makeStream(*sim, smallStream());
  ASSERT_TRUE(stream);
  EventLog events;
  events.attach(*stream);
  ASSERT_EQ(stream->start(), 0);
  EXPECT_EQ(stream->withCamera([](OCamera &c) { return c.getShutterTime(); }), 10000);
  EXPECT_EQ(stream->withCamera([](OCamera &) -> int { throw std::runtime_error("x"); }), -1);
  // The camera goes while the call runs: the grab thread's requests fail, but
  // the object it would end stays until the call returns.
  const int rc = stream->withCamera([&](OCamera &c) {
    sim->stop();
    if (!eventually([&] { return stream->stats().failedRequests >= 2; })) return -100;
    if (events.count(StreamEvent::Lost) != 0) return -101;
    return c.getShutterTime() == -1 ? 7 : -102;  // the object is alive; the camera is not
  });
  EXPECT_EQ(rc, 7);
  ASSERT_TRUE(events.waitFor(StreamEvent::Lost, 1, 10000)) << events.details();
  bool called = false;
  EXPECT_EQ(stream->withCamera([&](OCamera &) { return called = true, 0; }), -1);
  EXPECT_FALSE(called) << "no camera while lost";
  stream->stop();
}

}  // namespace
}  // namespace stream_test
