// Several image requests in flight: the delivery order of what they bring,
// and the stream's run, stop and recovery with them against the simulator.
#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <thread>

#include "stream/request_order.h"
#include "tests/stream/stream_fixture.h"

using namespace stream_test;
using ocamera::stream::FrameSlot;
using ocamera::stream::RequestOrder;

namespace {

FrameSlot numbered(int seqNr) {
  FrameSlot s;
  s.seqNr = seqNr;
  return s;
}

int nextSeq(RequestOrder &order) {
  FrameSlot *s = order.next();
  return s ? s->seqNr : -1;
}

}  // namespace

TEST(RequestOrder, FramesGoOutBySequenceNumberOnceNoEarlierOneCanCome) {
  RequestOrder order(4);
  FrameSlot f10 = numbered(10), f11 = numbered(11), f12 = numbered(12), f13 = numbered(13);
  const auto a = order.issue(), b = order.issue(), c = order.issue();
  // The first frame waits for every request in flight when it came.
  order.complete(b, &f11);
  EXPECT_EQ(nextSeq(order), -1);
  order.complete(c, &f12);
  EXPECT_EQ(nextSeq(order), -1);
  order.complete(a, &f10);
  EXPECT_EQ(nextSeq(order), 10);
  EXPECT_EQ(nextSeq(order), 11);
  EXPECT_EQ(nextSeq(order), 12);
  EXPECT_EQ(nextSeq(order), -1);

  // The frame after the last one goes at once, whatever is in flight.
  const auto d = order.issue(), e = order.issue();
  order.complete(e, &f13);
  EXPECT_EQ(nextSeq(order), 13);
  order.complete(d, nullptr);
  EXPECT_EQ(nextSeq(order), -1);

  // After a gap a frame waits for the requests in flight when it came, not
  // for those issued after it.
  FrameSlot f20 = numbered(20);
  const auto f = order.issue(), g = order.issue();
  order.complete(g, &f20);
  const auto h = order.issue();
  EXPECT_EQ(nextSeq(order), -1);
  order.complete(f, nullptr);
  EXPECT_EQ(nextSeq(order), 20);
  // A held frame ahead of the one that follows still goes in order.
  FrameSlot f22 = numbered(22), f21 = numbered(21);
  const auto i = order.issue();
  order.complete(i, &f22);
  order.complete(h, &f21);
  EXPECT_EQ(nextSeq(order), 21);
  EXPECT_EQ(nextSeq(order), 22);

  // Across the wrap of the camera's counter, and anew after restart().
  order.restart();
  FrameSlot last = numbered(INT_MAX), first = numbered(INT_MIN);
  const auto j = order.issue(), k = order.issue();
  order.complete(k, &first);
  EXPECT_EQ(nextSeq(order), -1);
  order.complete(j, &last);
  EXPECT_EQ(order.next(), &last);
  EXPECT_EQ(order.next(), &first);
  EXPECT_EQ(order.inFlight(), 0u);
  EXPECT_EQ(order.held(), 0u);

  // What is held at the end is handed back.
  const auto l = order.issue(), m = order.issue();
  order.complete(m, &f10);
  EXPECT_EQ(order.takeHeld(), &f10);
  EXPECT_EQ(order.takeHeld(), nullptr);
  order.complete(l, nullptr);
}

TEST(StreamInFlight, FramesComeInOrderWithNothingLostAndAFrameLimitIsExact) {
  auto sim = startSim();
  for (int inFlight : {2, 4}) {
    StreamOptions o = smallStream();
    o.requestsInFlight = inFlight;
    o.whenFull = QueuePolicy::Block;
    auto stream = makeStream(*sim, o);
    ASSERT_TRUE(stream);
    ASSERT_EQ(stream->setFrameRate(1000.0f), 0);
    ASSERT_EQ(stream->start(), 0);
    Frame frame;
    ASSERT_EQ(stream->next(frame, 5000), FetchResult::Frame);
    int last = frame.seqNr(), frames = 0;
    bool inOrder = true;
    for (; frames < 300; ++frames) {
      if (stream->next(frame, 5000) != FetchResult::Frame) break;
      inOrder = inOrder && frame.seqNr() == last + 1;  // Block drops nothing
      last = frame.seqNr();
    }
    EXPECT_EQ(frames, 300) << inFlight;
    EXPECT_TRUE(inOrder) << inFlight;
    stream->stop();
    ocamera::StreamStats s = stream->stats();
    EXPECT_EQ(s.missing, 0u) << inFlight;
    EXPECT_EQ(s.dropped, 0u) << inFlight;
    EXPECT_EQ(s.failedRequests, 0u) << inFlight;
    EXPECT_EQ(s.sequenceResets, 0u) << inFlight;

    // A run of N frames delivers N, though more requests were in flight.
    StreamOptions limited = o;
    limited.frameLimit = 5;
    auto counted = makeStream(*sim, limited);
    ASSERT_TRUE(counted);
    ASSERT_EQ(counted->start(), 0);
    int got = 0;
    while (counted->next(frame, 5000) == FetchResult::Frame) ++got;
    EXPECT_EQ(got, 5) << inFlight;
    EXPECT_EQ(counted->stats().delivered, 5u) << inFlight;
  }
}

TEST(StreamInFlight, AHeldRequestHoldsUpNoOtherAndStopWaitsOneRequestsBound) {
  // One image request held for a minute: the other requests go on bringing
  // frames, and those that follow the last one delivered do not wait for it.
  {
    auto sim = startSim();
    StreamOptions o = smallStream();
    o.requestsInFlight = 4;
    o.replyTimeoutMs = 120000;  // no loss while the test looks
    auto stream = makeStream(*sim, o);
    ASSERT_TRUE(stream);
    ASSERT_EQ(stream->start(), 0);
    Frame frame;
    ASSERT_EQ(stream->next(frame, 5000), FetchResult::Frame);
    ocamsim::Fault hold{ocamsim::FaultKind::Delay, kImage};
    hold.delayMs = 60000;
    hold.count = 1;
    sim->inject(hold);
    int frames = 0;
    while (frames < 50 && stream->next(frame, 5000) == FetchResult::Frame) ++frames;
    EXPECT_EQ(frames, 50);
    sim->stop();  // ends the held request
    stream->stop();
  }
  auto sim = startSim();
  StreamOptions o = smallStream();
  o.requestsInFlight = 4;
  o.readTimeoutMs = 200;
  o.replyTimeoutMs = 500;
  auto stream = makeStream(*sim, o);
  ASSERT_TRUE(stream);
  ASSERT_EQ(stream->start(), 0);
  Frame frame;
  ASSERT_EQ(stream->next(frame, 5000), FetchResult::Frame);
  ocamsim::Fault hold{ocamsim::FaultKind::Delay, kImage};
  hold.delayMs = 60000;
  sim->inject(hold);
  const std::size_t served = sim->count(kImage);
  // The requests under way when the fault came are answered; then four are held.
  ASSERT_TRUE(sim->waitForCount(kImage, served, 5000));
  const Clock::time_point before = Clock::now();
  stream->stop();
  const long took = msSince(before);
  // The bound of one request (700 ms), not four of them one after another.
  EXPECT_LT(took, 700 + 1500);
  std::printf("stop with four held image requests took %ld ms (bound 700 ms)\n", took);
  EXPECT_EQ(stream->state(), StreamState::Stopped);
  sim->clearFaults();
}

TEST(StreamInFlight, ARestartedCameraIsLostOnceAndRecoveredWithFramesInOrder) {
  auto sim = startSim();
  const int port = sim->cameraPort();
  StreamOptions o = smallStream();
  o.requestsInFlight = 3;
  auto stream = makeStream(*sim, o);
  ASSERT_TRUE(stream);
  EventLog events;
  events.attach(*stream);
  ASSERT_EQ(stream->setGain(7), 0);
  ASSERT_EQ(stream->start(), 0);
  Frame frame;
  ASSERT_EQ(stream->next(frame, 5000), FetchResult::Frame);

  sim->stop();
  ASSERT_TRUE(events.waitFor(StreamEvent::Lost, 1, 10000)) << events.details();
  while (stream->tryNext(frame)) {
  }
  sim.reset();
  sim = startSim(port);
  ASSERT_TRUE(events.waitFor(StreamEvent::Recovered, 1, 10000)) << events.details();
  ASSERT_EQ(stream->next(frame, 5000), FetchResult::Frame);
  int last = frame.seqNr();
  bool inOrder = true;
  for (int i = 0; i < 50; ++i) {
    ASSERT_EQ(stream->next(frame, 5000), FetchResult::Frame);
    // DropOldest may skip frames, never go back.
    inOrder = inOrder && frame.seqNr() > last;
    last = frame.seqNr();
  }
  EXPECT_TRUE(inOrder);
  EXPECT_EQ(sim->lastSetting("scam:setGain"), "7");
  ocamera::StreamStats s = stream->stats();
  EXPECT_EQ(s.recoveries, 1u);
  EXPECT_EQ(events.count(StreamEvent::Lost), 1) << events.details();
  // The requests cut by the loss are not failures of their own.
  EXPECT_GE(s.failedRequests, 1u);
  EXPECT_LE(s.failedRequests, static_cast<std::uint64_t>(o.failuresBeforeLost));
  stream->stop();
  EXPECT_EQ(sim->acquisitionMode(), OCamera::ACQ_MODE_STOP);
}
