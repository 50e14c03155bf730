// mox::Thread when the system refuses to create a thread. The executable
// interposes pthread_create so that a test can make the next creation fail;
// every other creation goes through to the real one.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <pthread.h>

#include <algorithm>
#include <atomic>
#include <boost/thread/exceptions.hpp>
#include <cerrno>
#include <future>

#include "ocamera/camera.h"
#include "ocamera/inputs.h"
#include "sim/simulator.h"
#include "worker_probe.h"

namespace {

std::atomic<int> failNextCreations{0};
// The same for the creations of the current thread only: the simulated camera
// of a test starts threads of its own meanwhile.
thread_local int failNextCreationsHere = 0;

}  // namespace

extern "C" __attribute__((visibility("default"))) int pthread_create(pthread_t *thread,
                                                                     const pthread_attr_t *attr,
                                                                     void *(*start)(void *),
                                                                     void *arg) {
  using Create = int (*)(pthread_t *, const pthread_attr_t *, void *(*)(void *), void *);
  static const Create real = reinterpret_cast<Create>(dlsym(RTLD_NEXT, "pthread_create"));
  if (failNextCreationsHere > 0) {
    --failNextCreationsHere;
    return EAGAIN;
  }
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

// A factory whose keep-alive thread cannot start gives null and one line, and
// leaves no session open; nothing is thrown across it.
TEST(FactoryThreadStartFailure, FactoriesGiveNullAndCloseTheSession) {
  ocamsim::Options options;
  options.sensorWidth = 64;
  options.sensorHeight = 48;
  ocamsim::Simulator sim(options);
  sim.start();

  testing::internal::CaptureStderr();
  failNextCreationsHere = 1;
  OCamera *camera = nullptr;
  EXPECT_NO_THROW(
      camera = CreateCameraInterface(OCamera::CAM_TYPE_GENERIC, sim.cameraAddress().c_str()));
  EXPECT_EQ(camera, nullptr);
  EXPECT_EQ(failNextCreationsHere, 0);
  failNextCreationsHere = 1;
  OCameraInputs *inputs = nullptr;
  EXPECT_NO_THROW(inputs = CreateCameraInputs(sim.ioAddress().c_str()));
  EXPECT_EQ(inputs, nullptr);
  EXPECT_EQ(failNextCreationsHere, 0);
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 2) << err;
  ASSERT_TRUE(sim.waitForCount("rdev:close", 2, 5000));
  EXPECT_EQ(sim.openSessions(), 0u);

  // The next creation starts its thread and works.
  camera = CreateCameraInterface(OCamera::CAM_TYPE_GENERIC, sim.cameraAddress().c_str());
  ASSERT_NE(camera, nullptr);
  EXPECT_EQ(camera->destroy(), 0);
}

}  // namespace
