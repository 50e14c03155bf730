// The stream against the simulated camera in-process: delivery from the pool
// without allocation, the three full-queue policies, sequence gaps, stop with
// a request in flight, recovery after the camera went away, and no growth of
// threads or descriptors over many start/stop cycles.
#include <dirent.h>
#include <gtest/gtest.h>
#include <ocamera/stream.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "allocation_hooks.h"
#include "sim/simulator.h"
#include "stream_fixture.h"

namespace stream_test {
namespace {

// ---------------------------------------------------------------- delivery

TEST(StreamDelivery, SteadyFramesComeFromThePoolInOrderWithoutAllocating) {
  auto sim = startSim();
  StreamOptions o = smallStream();
  o.bufferCount = 4;
  o.queueDepth = 2;
  o.whenFull = QueuePolicy::Block;
  auto stream = makeStream(*sim, o);
  ASSERT_TRUE(stream);
  ASSERT_EQ(stream->setFrameRate(1000.0f), 0);
  ASSERT_EQ(stream->start(), 0);

  // The grab thread is marked from inside a frame callback (which runs on
  // it); then the frames go to the queue again.
  std::mutex mutex;
  std::condition_variable marked;
  bool grabThreadMarked = false;
  stream->setFrameCallback([&](Frame &) {
    tl_counted = true;
    std::lock_guard<std::mutex> lock(mutex);
    grabThreadMarked = true;
    marked.notify_all();
  });
  {
    std::unique_lock<std::mutex> lock(mutex);
    ASSERT_TRUE(marked.wait_for(lock, std::chrono::seconds(5), [&] { return grabThreadMarked; }));
  }
  stream->setFrameCallback(nullptr);
  tl_counted = true;

  Frame frame;
  // The first round gives every buffer its memory.
  for (int i = 0; i < 10; ++i) ASSERT_EQ(stream->next(frame, 5000), FetchResult::Frame);
  int last = frame.seqNr();
  const unsigned char *buffers[8] = {};  // the distinct buffers seen (no allocation)
  std::size_t distinct = 0;
  g_allocations = 0;
  g_counting = true;
  int frames = 0;
  bool inOrder = true, sized = true;
  for (; frames < 300; ++frames) {
    if (stream->next(frame, 5000) != FetchResult::Frame) break;
    inOrder = inOrder && frame.seqNr() == last + 1;  // Block drops nothing, the camera keeps all
    sized = sized && frame.size() == std::size_t{kWidth} * kHeight && frame.channels() == 1 &&
            frame.width() == kWidth && frame.height() == kHeight;
    last = frame.seqNr();
    if (std::find(buffers, buffers + distinct, frame.data()) == buffers + distinct && distinct < 8)
      buffers[distinct++] = frame.data();
  }
  g_counting = false;
  const long streamAllocations = g_allocations.load();
  EXPECT_EQ(frames, 300);
  EXPECT_TRUE(inOrder);
  EXPECT_TRUE(sized);
  EXPECT_LE(distinct, 4u) << "frames come from the pool's four buffers";
  EXPECT_EQ(stream->state(), StreamState::Running);

  stream->stop();
  ocamera::StreamStats s = stream->stats();
  EXPECT_EQ(s.dropped, 0u);
  EXPECT_EQ(s.missing, 0u);
  EXPECT_EQ(s.failedRequests, 0u);
  EXPECT_GE(s.delivered, 310u);
  EXPECT_GT(s.framesPerSecond, 0.0);
  EXPECT_NEAR(s.megabytesPerSecond, s.framesPerSecond * kWidth * kHeight / 1e6, 1e-9);
  EXPECT_EQ(s.state, StreamState::Stopped);

  // The same 300 images fetched by hand on this thread: whatever the request
  // itself allocates, the stream must add nothing to it.
  OCamera *camera = stream->camera();
  ASSERT_EQ(camera->open(kWidth * kHeight, 1024), 0);
  ASSERT_EQ(camera->setAcquisitionMode(OCamera::ACQ_MODE_FREE_RUN), 0);
  std::vector<unsigned char> buffer(1 << 20);
  OCamera::Image image{};
  image.data = buffer.data();
  for (int i = 0; i < 10; ++i) ASSERT_EQ(camera->getSingleImageInto(&image), 0);
  g_allocations = 0;
  g_counting = true;
  for (int i = 0; i < 300; ++i) camera->getSingleImageInto(&image);
  g_counting = false;
  const long bareAllocations = g_allocations.load();
  camera->setAcquisitionMode(OCamera::ACQ_MODE_STOP);
  camera->close();
  // A few requests more than frames: the grab thread fetches ahead.
  if (kHooksAllocations) {
    EXPECT_LE(streamAllocations, bareAllocations * 305 / 300)
        << "operator new calls for 300 frames through the stream, beside " << bareAllocations
        << " for 300 bare requests";
  }
  std::printf("operator new calls for 300 frames: stream %ld, bare requests %ld\n",
              streamAllocations, bareAllocations);
}

TEST(StreamDelivery, RgbFramesAreTheCamerasImageConvertedWithTheFactors) {
  auto sim = startSim();
  StreamOptions o = smallStream();
  o.bufferCount = 2;
  o.queueDepth = 1;
  o.whenFull = QueuePolicy::Block;  // one frame is fetched and the grab thread waits
  o.rgb = true;
  o.whiteBalance = ocamera::WhiteBalance::Factors;
  o.red = 150;
  o.green = 100;
  o.blue = 50;
  auto stream = makeStream(*sim, o);
  ASSERT_TRUE(stream);
  ASSERT_EQ(stream->start(), 0);
  ASSERT_TRUE(sim->waitForCount(kImage, 1, 5000));
  std::vector<std::uint8_t> raw = sim->lastImage();
  ASSERT_EQ(raw.size(), std::size_t{kWidth} * kHeight);
  std::vector<unsigned char> expected(raw.size() * 3);
  OCameraTools::Bayer2RGBWhiteBalance(raw.data(), expected.data(), kWidth, kHeight, 150, 100, 50,
                                      OCameraTools::BAYER_PATTERN_GRGR);
  Frame frame;
  ASSERT_EQ(stream->next(frame, 5000), FetchResult::Frame);
  ASSERT_EQ(frame.channels(), 3);
  ASSERT_EQ(frame.size(), expected.size());
  EXPECT_EQ(std::vector<unsigned char>(frame.data(), frame.data() + frame.size()), expected);
  EXPECT_EQ(frame.pattern(), OCameraTools::BAYER_PATTERN_GRGR);
  EXPECT_EQ(frame.status(), 0);

  // A frame outlives its stream; the pool goes with the last frame.
  stream.reset();
  EXPECT_EQ(std::vector<unsigned char>(frame.data(), frame.data() + frame.size()), expected);
  frame.release();
  EXPECT_FALSE(frame);
  EXPECT_EQ(frame.data(), nullptr);
}

TEST(StreamDelivery, NextTellsStoppedTimeoutAndFrameAndTheCallbackTakesOver) {
  auto sim = startSim();
  StreamOptions o = smallStream();
  o.acquisitionMode = OCamera::ACQ_MODE_SELECT_SHOT;
  o.readTimeoutMs = 100;
  auto stream = makeStream(*sim, o);
  ASSERT_TRUE(stream);
  Frame frame;
  EXPECT_EQ(stream->next(frame, -1), FetchResult::Stopped);
  EXPECT_FALSE(stream->tryNext(frame));
  ASSERT_EQ(stream->start(), 0);
  EXPECT_EQ(stream->start(), 0);  // running already: nothing happens
  EXPECT_EQ(sim->count("scam:open"), 1u);
  // Select shot without a trigger: the camera's read time-outs are no failures.
  ASSERT_TRUE(sim->waitForCount(kImage, 2, 5000));
  EXPECT_EQ(stream->next(frame, 20), FetchResult::Timeout);
  EXPECT_EQ(stream->stats().failedRequests, 0u);
  EXPECT_EQ(stream->state(), StreamState::Running);
  ASSERT_EQ(stream->triggerImage(), 0);
  ASSERT_EQ(stream->next(frame, 5000), FetchResult::Frame);
  EXPECT_FALSE(stream->tryNext(frame)) << "one trigger, one frame";
  EXPECT_TRUE(frame) << "a failed tryNext leaves the frame as it was";

  // With a callback the frames go there; one that keeps the frame owns it.
  std::mutex mutex;
  std::condition_variable got;
  std::vector<Frame> kept;
  stream->setFrameCallback([&](Frame &f) {
    std::lock_guard<std::mutex> lock(mutex);
    kept.push_back(std::move(f));
    got.notify_all();
  });
  for (int i = 0; i < 3; ++i) {
    ASSERT_EQ(stream->triggerImage(), 0);
    std::unique_lock<std::mutex> lock(mutex);
    ASSERT_TRUE(got.wait_for(lock, std::chrono::seconds(5),
                             [&] { return kept.size() > static_cast<std::size_t>(i); }));
  }
  stream->stop();
  EXPECT_EQ(sim->acquisitionMode(), OCamera::ACQ_MODE_STOP);
  EXPECT_EQ(stream->next(frame, 1000), FetchResult::Stopped);
  EXPECT_EQ(stream->state(), StreamState::Stopped);
  ASSERT_EQ(kept.size(), 3u);
  for (std::size_t i = 1; i < kept.size(); ++i) EXPECT_EQ(kept[i].seqNr(), kept[i - 1].seqNr() + 1);
  EXPECT_EQ(stream->stats().delivered, 4u);
}

TEST(StreamDelivery, CreationRefusesOptionsItCannotRunWith) {
  auto sim = startSim();
  std::string error;
  StreamOptions o = smallStream();
  o.rgb = true;
  o.pattern = OCameraTools::BAYER_PATTERN_RGRG;  // the conversion would leave frames untouched
  EXPECT_FALSE(Stream::create(sim->cameraAddress().c_str(), o, &error));
  EXPECT_NE(error.find("GRGR"), std::string::npos) << error;
  o = smallStream();
  o.queueDepth = o.bufferCount + 1;
  EXPECT_FALSE(Stream::create(sim->cameraAddress().c_str(), o, &error));
  EXPECT_EQ(sim->count("rdev:open"), 0u) << "refused before any connection";
  EXPECT_FALSE(Stream::create(nullptr, smallStream(), &error));
  // A window the camera refuses fails start() with the camera's status, and
  // leaves nothing running.
  o = smallStream();
  o.width = kWidth * 2;
  auto stream = makeStream(*sim, o);
  ASSERT_TRUE(stream);
  EXPECT_EQ(stream->start(), ocamsim::status::kBadArgument);
  EXPECT_EQ(stream->state(), StreamState::Stopped);
  EXPECT_EQ(stream->setCameraWindow(0, 0, kWidth, kHeight), 0);
  EXPECT_EQ(stream->start(), 0);
  EXPECT_EQ(stream->setCameraWindow(0, 0, 8, 8), -1) << "only while stopped";
  EXPECT_EQ(stream->options().width, kWidth);
}

// ---------------------------------------------------------------- full queue

// The application takes nothing until the camera has served `requests` images.
struct FullQueue {
  std::vector<int> taken;  // seqNrs taken afterwards
  ocamera::StreamStats stats;
};

FullQueue fillQueue(QueuePolicy policy, std::size_t requests) {
  auto sim = startSim();
  StreamOptions o = smallStream();
  o.bufferCount = 5;
  o.queueDepth = 3;
  o.whenFull = policy;
  auto stream = makeStream(*sim, o);
  FullQueue out;
  if (!stream) return out;
  stream->setFrameRate(1000.0f);
  EXPECT_EQ(stream->start(), 0);
  EXPECT_TRUE(sim->waitForCount(kImage, requests, 5000));
  out.stats = stream->stats();  // before anything is taken
  Frame frame;
  while (out.taken.size() < 3 && stream->tryNext(frame)) out.taken.push_back(frame.seqNr());
  stream->stop();
  return out;
}

TEST(StreamQueue, DropNewestKeepsTheFirstFramesDropOldestTheLatest) {
  FullQueue newest = fillQueue(QueuePolicy::DropNewest, 20);
  EXPECT_EQ(newest.taken, (std::vector<int>{0, 1, 2}));
  // The camera served 20: 3 are queued, one may still be on its way.
  EXPECT_GE(newest.stats.dropped, 16u);
  EXPECT_EQ(newest.stats.delivered, 3u);
  EXPECT_EQ(newest.stats.missing, 0u);

  FullQueue oldest = fillQueue(QueuePolicy::DropOldest, 20);
  ASSERT_EQ(oldest.taken.size(), 3u);
  EXPECT_GE(oldest.taken[0], 20 - 5 - 1) << "the oldest frames made room for newer ones";
  EXPECT_GT(oldest.taken[1], oldest.taken[0]);
  EXPECT_GT(oldest.taken[2], oldest.taken[1]);
  EXPECT_GE(oldest.stats.dropped, 16u);
  EXPECT_EQ(oldest.stats.missing, 0u) << "dropped frames are not missing at the camera";
  EXPECT_GE(oldest.stats.delivered, 19u);
}

TEST(StreamQueue, BlockStopsFetchingUntilAFrameIsTaken) {
  auto sim = startSim();
  StreamOptions o = smallStream();
  o.bufferCount = 4;
  o.queueDepth = 2;
  o.whenFull = QueuePolicy::Block;
  auto stream = makeStream(*sim, o);
  ASSERT_TRUE(stream);
  stream->setFrameRate(1000.0f);
  ASSERT_EQ(stream->start(), 0);
  ASSERT_TRUE(sim->waitForCount(kImage, 2, 5000));
  EXPECT_FALSE(sim->waitForCount(kImage, 3, 300)) << "a full queue stops the requests";
  Frame frame;
  for (int i = 0; i < 20; ++i) {
    ASSERT_EQ(stream->next(frame, 5000), FetchResult::Frame);
    EXPECT_EQ(frame.seqNr(), i);
  }
  ocamera::StreamStats s = stream->stats();
  EXPECT_EQ(s.dropped, 0u);
  EXPECT_EQ(s.missing, 0u);
  stream->stop();

  // A frame limit: exactly that many are asked for, then next() says Stopped.
  StreamOptions limited = o;
  limited.frameLimit = 5;
  auto five = makeStream(*sim, limited);
  ASSERT_TRUE(five);
  sim->clearLog();
  ASSERT_EQ(five->start(), 0);
  for (int i = 0; i < 5; ++i) ASSERT_EQ(five->next(frame, 5000), FetchResult::Frame) << i;
  EXPECT_EQ(five->next(frame, 5000), FetchResult::Stopped);
  ASSERT_TRUE(sim->waitForCount(kImage, 5, 5000));
  EXPECT_EQ(sim->count(kImage), 5u);
  five->stop();
  ASSERT_EQ(five->start(), 0);  // the limit counts again from each start
  ASSERT_EQ(five->next(frame, 5000), FetchResult::Frame);
}

TEST(StreamQueue, SequenceGapsAtTheCameraAreCountedAsMissing) {
  auto sim = startSim();
  StreamOptions o = smallStream();
  o.cameraBuffers = 1;  // the camera overwrites what the stream does not fetch in time
  auto stream = makeStream(*sim, o);
  ASSERT_TRUE(stream);
  std::mutex mutex;
  std::condition_variable changed;
  std::vector<int> seen;
  stream->setFrameCallback([&](Frame &f) {
    // A slow consumer: at 1000 frames/s the camera captures several meanwhile.
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    std::lock_guard<std::mutex> lock(mutex);
    seen.push_back(f.seqNr());
    changed.notify_all();
  });
  stream->setFrameRate(1000.0f);
  ASSERT_EQ(stream->start(), 0);
  {
    std::unique_lock<std::mutex> lock(mutex);
    ASSERT_TRUE(
        changed.wait_for(lock, std::chrono::seconds(10), [&] { return seen.size() >= 20; }));
  }
  stream->stop();
  std::uint64_t gaps = 0;
  for (std::size_t i = 1; i < seen.size(); ++i) {
    ASSERT_GT(seen[i], seen[i - 1]);
    gaps += static_cast<std::uint64_t>(seen[i] - seen[i - 1] - 1);
  }
  EXPECT_GT(gaps, 0u);
  EXPECT_EQ(stream->stats().missing, gaps);
  EXPECT_EQ(stream->stats().delivered, seen.size());
}

// ---------------------------------------------------------------- stop and lifetime

TEST(StreamLifetime, StopWithARequestInFlightReturnsWithinTheReadTimeOut) {
  auto sim = startSim();
  StreamOptions o = smallStream();
  o.acquisitionMode = OCamera::ACQ_MODE_SINGLE_SHOT;  // one picture on entry, then none
  o.readTimeoutMs = 300;
  auto stream = makeStream(*sim, o);
  ASSERT_TRUE(stream);
  ASSERT_EQ(stream->start(), 0);
  Frame frame;
  ASSERT_EQ(stream->next(frame, 5000), FetchResult::Frame);
  // The request after it waits in the camera for a frame that does not come.
  ASSERT_TRUE(sim->waitForCount(kImage, 2, 5000));
  const Clock::time_point before = Clock::now();
  stream->stop();
  const long took = msSince(before);
  EXPECT_LT(took, 300 + 700) << "stop waited longer than the read time-out for the request";
  EXPECT_EQ(stream->stats().failedRequests, 0u);
  EXPECT_EQ(sim->acquisitionMode(), OCamera::ACQ_MODE_STOP);
  EXPECT_EQ(sim->count("scam:close"), 1u);
}

long countEntries(const char *directory) {
  long n = 0;
  if (DIR *d = opendir(directory)) {
    while (readdir(d)) ++n;
    closedir(d);
  }
  return n;
}

// The count of a /proc directory once it has come down to `expected`, or what
// it is after a bounded settling time: a thread or socket ended on another
// thread leaves /proc a moment later, with nothing to wait on.
long settledCount(const char *directory, long expected) {
  long n = countEntries(directory);
  for (int i = 0; i < 100 && n > expected; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    n = countEntries(directory);
  }
  return n;
}

TEST(StreamLifetime, ManyStartStopCyclesLeaveNoThreadsOrDescriptors) {
  auto sim = startSim();
  StreamOptions o = smallStream();
  o.readTimeoutMs = 50;
  auto stream = makeStream(*sim, o);
  ASSERT_TRUE(stream);
  ASSERT_EQ(stream->setFrameRate(1000.0f), 0);
  auto cycle = [&] {
    ASSERT_EQ(stream->start(), 0);
    Frame frame;
    ASSERT_EQ(stream->next(frame, 5000), FetchResult::Frame);
    stream->stop();
  };
  cycle();
  const std::size_t connections = sim->openConnections();
  const long threads = countEntries("/proc/self/task");
  const long fds = countEntries("/proc/self/fd");
  for (int i = 0; i < 40; ++i) cycle();
  // A connection the pool gave back may still be closing on the camera's side.
  EXPECT_TRUE(sim->waitForOpenConnections(connections, 5000)) << sim->openConnections();
  EXPECT_EQ(settledCount("/proc/self/task", threads), threads);
  EXPECT_EQ(settledCount("/proc/self/fd", fds), fds);
  EXPECT_EQ(sim->count("scam:open"), 41u);
  EXPECT_EQ(sim->count("rdev:open"), 1u) << "one camera object for all cycles";

  // Whole streams made and ended leave nothing either.
  stream.reset();
  ASSERT_TRUE(sim->waitForOpenConnections(0, 5000));
  const long idleThreads = countEntries("/proc/self/task");
  const long idleFds = countEntries("/proc/self/fd");
  for (int i = 0; i < 10; ++i) {
    auto s = makeStream(*sim, o);
    ASSERT_TRUE(s);
    ASSERT_EQ(s->start(), 0);
  }
  ASSERT_TRUE(sim->waitForOpenConnections(0, 5000));
  EXPECT_EQ(settledCount("/proc/self/task", idleThreads), idleThreads);
  EXPECT_EQ(settledCount("/proc/self/fd", idleFds), idleFds);
  EXPECT_EQ(sim->openSessions(), 0u);
}

// ---------------------------------------------------------------- recovery

TEST(StreamRecovery, ACameraRestartedOnItsPortGetsTheSettingsAgain) {
  auto sim = startSim();
  const int port = sim->cameraPort();
  StreamOptions o = smallStream();
  o.x0 = 8;
  o.y0 = 4;
  o.width = 32;
  o.height = 24;
  auto stream = makeStream(*sim, o);
  ASSERT_TRUE(stream);
  EventLog events;
  events.attach(*stream);
  ASSERT_EQ(stream->setGain(7), 0);
  ASSERT_EQ(stream->setShutterTime(20000), 0);
  ASSERT_EQ(stream->setFrameRate(500.0f), 0);
  ASSERT_EQ(stream->setTriggerDelay(123), 0);
  ASSERT_EQ(stream->start(), 0);
  Frame frame;
  ASSERT_EQ(stream->next(frame, 5000), FetchResult::Frame);
  // A value the camera refuses is not recorded: a recovery would fail on it.
  EXPECT_EQ(stream->setShutterTime(0), ocamsim::status::kBadArgument);

  sim->stop();
  ASSERT_TRUE(events.waitFor(StreamEvent::Lost, 1, 10000)) << events.details();
  EXPECT_EQ(stream->state(), StreamState::Lost);
  EXPECT_EQ(stream->camera(), nullptr);
  // Recorded while lost, made on the new camera.
  EXPECT_EQ(stream->setGain(9), -1);
  EXPECT_EQ(stream->setTriggerDelay(456), -1);  // the new camera refuses it: dropped
  // Outside the settings table: refused at once, as the camera would, and
  // not recorded.
  EXPECT_EQ(stream->setTriggerDelay(-5), ocamsim::status::kBadArgument);
  while (stream->tryNext(frame)) {
  }  // frames queued before the loss come first
  EXPECT_EQ(stream->next(frame, 50), FetchResult::Lost);

  sim.reset();
  sim = std::make_unique<ocamsim::Simulator>(simOptions(port));
  ocamsim::Fault refuse{ocamsim::FaultKind::Status, "scam:setTriggerDelay"};
  refuse.status = ocamsim::status::kBadArgument;
  refuse.count = 1;
  sim->inject(refuse);
  sim->start();
  Clock::time_point restarted = Clock::now(), recovered;
  ASSERT_TRUE(events.waitFor(StreamEvent::Recovered, 1, 10000, &recovered)) << events.details();
  std::printf(
      "recovered %ld ms after the camera came back\n",
      static_cast<long>(
          std::chrono::duration_cast<std::chrono::milliseconds>(recovered - restarted).count()));
  ASSERT_EQ(stream->next(frame, 5000), FetchResult::Frame);
  EXPECT_EQ(frame.size(), 32u * 24u);
  EXPECT_EQ(sim->lastSetting("scam:setGain"), "9");
  EXPECT_EQ(sim->lastSetting("scam:setShutterTime"), "20000");
  EXPECT_EQ(sim->lastSetting("scam:setFrameRateFloat"), "500");
  EXPECT_EQ(sim->lastSetting("scam:setTriggerDelay"), "");
  EXPECT_NE(events.details().find("triggerDelay (refused with -15)"), std::string::npos)
      << events.details();
  EXPECT_EQ(sim->lastSetting("scam:setCameraWindow"), "8 4 32 24");
  EXPECT_EQ(sim->acquisitionMode(), OCamera::ACQ_MODE_FREE_RUN);
  EXPECT_EQ(stream->state(), StreamState::Running);
  EXPECT_NE(stream->camera(), nullptr);
  ocamera::StreamStats s = stream->stats();
  EXPECT_EQ(s.recoveries, 1u);
  EXPECT_GE(s.failedRequests, 1u);
  EXPECT_EQ(events.count(StreamEvent::Lost), 1);

  stream->stop();
  EXPECT_EQ(sim->acquisitionMode(), OCamera::ACQ_MODE_STOP);
}

TEST(StreamRecovery, StopCutsARecoveryShortAndBoundedTriesGiveUp) {
  auto sim = startSim();
  StreamOptions o = smallStream();
  o.retryInitialMs = 60000;  // the first try would come only after a minute
  o.retryMaxMs = 60000;
  auto endless = makeStream(*sim, o);
  ASSERT_TRUE(endless);
  EventLog endlessEvents;
  endlessEvents.attach(*endless);
  ASSERT_EQ(endless->start(), 0);
  sim->stop();
  ASSERT_TRUE(endlessEvents.waitFor(StreamEvent::Lost, 1, 10000));
  Clock::time_point before = Clock::now();
  endless->stop();
  EXPECT_LT(msSince(before), 2000) << "stop waited for the back-off";
  EXPECT_EQ(endless->state(), StreamState::Stopped);
  EXPECT_EQ(endlessEvents.count(StreamEvent::Recovered), 0);
  EXPECT_EQ(endlessEvents.count(StreamEvent::Stopped), 1);
  EXPECT_EQ(endless->camera(), nullptr);
  EXPECT_NE(endless->start(), 0) << "started again with no camera there";
  EXPECT_EQ(endless->state(), StreamState::Stopped);

  sim = startSim();
  o = smallStream();
  o.retryLimit = 3;
  auto limited = makeStream(*sim, o);
  ASSERT_TRUE(limited);
  EventLog events;
  events.attach(*limited);
  ASSERT_EQ(limited->start(), 0);
  sim->stop();
  ASSERT_TRUE(events.waitFor(StreamEvent::GaveUp, 1, 10000)) << events.details();
  EXPECT_EQ(limited->state(), StreamState::Lost);
  Frame frame;
  before = Clock::now();
  EXPECT_EQ(limited->next(frame, 5000), FetchResult::Lost);
  EXPECT_LT(msSince(before), 1000) << "nothing comes after giving up: next does not wait";
  limited->stop();
  EXPECT_EQ(limited->next(frame, 0), FetchResult::Stopped);
  EXPECT_EQ(events.count(StreamEvent::Recovered), 0);
}

}  // namespace
}  // namespace stream_test
