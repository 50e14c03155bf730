// mox::Thread: starting, stopping, restarting and destroying a worker.
#include "support/thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <memory>
#include <thread>

#include "worker_probe.h"

namespace {

using support_test::Body;
using support_test::Probe;
using support_test::ProbedWorker;
using Clock = std::chrono::steady_clock;

long msSince(Clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

TEST(WorkerThread, StopAndDestroyWithoutStartRunNothing) {
  Probe probe;
  {
    ProbedWorker worker(probe, Body::UntilStopped);
    worker.stop();
    worker.stop();
    EXPECT_FALSE(worker.running());
  }
  EXPECT_EQ(probe.entered(), 0);
}

TEST(WorkerThread, StartWhileRunningMakesNoSecondBody) {
  Probe probe;
  ProbedWorker worker(probe, Body::UntilStopped);
  worker.start();
  ASSERT_TRUE(probe.waitEntered(1));
  worker.start();
  worker.start();
  EXPECT_TRUE(worker.running());
  worker.stop();
  // stop returns only after the body has returned.
  EXPECT_EQ(probe.returned(), 1);
  EXPECT_EQ(probe.entered(), 1);
  EXPECT_FALSE(worker.running());
}

TEST(WorkerThread, StopWakesASleepingBodyAtOnce) {
  Probe probe;
  ProbedWorker worker(probe, Body::UntilStopped);  // sleeps in 60 s waits
  worker.start();
  ASSERT_TRUE(probe.waitEntered(1));
  const auto start = Clock::now();
  worker.stop();
  EXPECT_LT(msSince(start), 1000);
  EXPECT_EQ(probe.returned(), 1);
}

// However the body ended (asked to stop, by itself, or by calling stop() on its
// own thread, which must not wait for itself), the worker starts again.
TEST(WorkerThread, StartsAgainHoweverTheBodyEnded) {
  for (Body body : {Body::UntilStopped, Body::ReturnAtOnce, Body::StopsItself}) {
    Probe probe;
    ProbedWorker worker(probe, body);
    for (int round = 1; round <= 3; ++round) {
      worker.start();
      ASSERT_TRUE(probe.waitEntered(round));
      worker.stop();
      EXPECT_EQ(probe.returned(), round);
      EXPECT_FALSE(worker.running());
    }
  }
}

// One thread is inside stop() waiting for a slow body; a start() from a second
// thread waits for that body to return, then starts a fresh one, and the stop()
// still returns although a new body now runs.
TEST(WorkerThread, StartDuringStopWaitsForTheOldBodyAndStopStillReturns) {
  Probe probe;
  ProbedWorker worker(probe, Body::GatedAfterStop);
  worker.start();
  ASSERT_TRUE(probe.waitEntered(1));

  auto stopping = std::async(std::launch::async, [&] { worker.stop(); });
  ASSERT_TRUE(probe.waitSawStop(1));
  auto starting = std::async(std::launch::async, [&] { worker.start(); });

  // The old body has not returned, so neither call can have finished.
  EXPECT_EQ(starting.wait_for(std::chrono::milliseconds(200)), std::future_status::timeout);
  EXPECT_EQ(stopping.wait_for(std::chrono::milliseconds(0)), std::future_status::timeout);
  EXPECT_EQ(probe.entered(), 1);

  probe.openGate();
  ASSERT_EQ(starting.wait_for(std::chrono::seconds(5)), std::future_status::ready);
  ASSERT_EQ(stopping.wait_for(std::chrono::seconds(5)), std::future_status::ready);
  EXPECT_EQ(probe.returned(), 1);
  ASSERT_TRUE(probe.waitEntered(2));  // the fresh body
  EXPECT_TRUE(worker.running());

  worker.stop();
  EXPECT_EQ(probe.returned(), 2);
}

// A running body is stopped and waited for; one that ended by itself is not.
TEST(WorkerThread, DestroyingAWorkerLeavesNoBodyBehind) {
  for (Body body : {Body::UntilStopped, Body::ReturnAtOnce}) {
    Probe probe;
    auto worker = std::make_unique<ProbedWorker>(probe, body);
    worker->start();
    ASSERT_TRUE(probe.waitEntered(1));
    worker.reset();
    EXPECT_EQ(probe.returned(), 1);
  }
}

TEST(WorkerThread, ConcurrentStartsAndStopsLeaveOneBodyAtATime) {
  Probe probe;
  ProbedWorker worker(probe, Body::UntilStopped);
  std::atomic<bool> go{false};
  auto churn = [&] {
    while (!go.load()) std::this_thread::yield();
    for (int i = 0; i < 50; ++i) {
      worker.start();
      worker.stop();
    }
  };
  std::thread a(churn), b(churn);
  go.store(true);
  a.join();
  b.join();
  worker.stop();
  EXPECT_FALSE(worker.running());
  EXPECT_GE(probe.entered(), 1);
  EXPECT_EQ(probe.entered(), probe.returned());
}

}  // namespace
