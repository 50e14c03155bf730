// mox::Thread when the system refuses to create a thread. The executable
// interposes pthread_create so that a test can make the next creation fail;
// every other creation goes through to the real one.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <pthread.h>

#include <atomic>
#include <boost/thread/exceptions.hpp>
#include <cerrno>
#include <future>

#include "worker_probe.h"

namespace {

std::atomic<int> failNextCreations{0};

}  // namespace

extern "C" __attribute__((visibility("default"))) int pthread_create(pthread_t *thread,
                                                                     const pthread_attr_t *attr,
                                                                     void *(*start)(void *),
                                                                     void *arg) {
  using Create = int (*)(pthread_t *, const pthread_attr_t *, void *(*)(void *), void *);
  static const Create real = reinterpret_cast<Create>(dlsym(RTLD_NEXT, "pthread_create"));
  int pending = failNextCreations.load();
  while (pending > 0) {
    if (failNextCreations.compare_exchange_weak(pending, pending - 1)) return EAGAIN;
  }
  return real(thread, attr, start, arg);
}

namespace {

using support_test::Body;
using support_test::Probe;
using support_test::ProbedWorker;

TEST(WorkerThreadStartFailure, FailedCreationRaisesAndLeavesTheWorkerIdle) {
  Probe probe;
  ProbedWorker worker(probe, Body::UntilStopped);
  failNextCreations.store(1);
  EXPECT_THROW(worker.start(), boost::thread_resource_error);
  EXPECT_EQ(failNextCreations.load(), 0);  // the failure came from our creation
  EXPECT_FALSE(worker.running());

  // Neither stop nor a new start waits for the body that never ran.
  auto stopped = std::async(std::launch::async, [&] { worker.stop(); });
  ASSERT_EQ(stopped.wait_for(std::chrono::seconds(5)), std::future_status::ready);
  worker.start();
  ASSERT_TRUE(probe.waitEntered(1));
  worker.stop();
  EXPECT_EQ(probe.returned(), 1);
}

TEST(WorkerThreadStartFailure, DestroyingAfterAFailedStartReturns) {
  Probe probe;
  auto destroyed = std::async(std::launch::async, [&] {
    ProbedWorker worker(probe, Body::UntilStopped);
    failNextCreations.store(1);
    try {
      worker.start();
    } catch (const boost::thread_resource_error &) {
    }
  });
  ASSERT_EQ(destroyed.wait_for(std::chrono::seconds(5)), std::future_status::ready);
  EXPECT_EQ(failNextCreations.load(), 0);
  EXPECT_EQ(probe.entered(), 0);
}

}  // namespace
