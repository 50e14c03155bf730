// Waiting on the camera's inputs while other threads use the same object.
#include <gtest/gtest.h>
#include <ocamera/inputs.h>

#include <chrono>
#include <functional>
#include <future>
#include <memory>
#include <vector>

#include "sim/simulator.h"

namespace ocamera_test {
namespace {

using namespace std::chrono_literals;
constexpr int kTimeout = ocamsim::status::kTimeout;

class IoWait : public testing::Test {
 protected:
  void SetUp() override {
    ocamsim::Options options;
    options.cameraPort = -1;
    sim = std::make_unique<ocamsim::Simulator>(options);
    sim->start();
    inputs = CreateCameraInputs(sim->ioAddress().c_str());
    ASSERT_NE(inputs, nullptr);
    ASSERT_EQ(inputs->iOpen(), 0);
  }
  void TearDown() override {
    // Stopping the camera ends any wait still blocked, so no thread outlives the test.
    sim->stop();
    for (auto &w : waiters)
      if (w.valid()) w.wait();
    if (inputs) inputs->destroy();
  }
  // Starts each wait on a thread of its own; true once the camera holds them all.
  bool startWaiting(const std::vector<std::function<int()>> &waits) {
    for (const auto &wait : waits) waiters.push_back(std::async(std::launch::async, wait));
    return sim->waitForInputWaits(waits.size(), 5000);
  }
  // True when every wait has returned within the time-out.
  bool allReturned() {
    for (auto &w : waiters)
      if (w.wait_for(10s) != std::future_status::ready) return false;
    return true;
  }

  std::unique_ptr<ocamsim::Simulator> sim;
  OCameraInputs *inputs = nullptr;
  std::vector<std::future<int>> waiters;
};

TEST_F(IoWait, ReadingGoesOnWhileAnotherThreadWaitsAndTheWaitEndsOnTheChange) {
  ASSERT_EQ(inputs->iSetTimeout(20000), 0);
  sim->setInputs(2);
  ASSERT_TRUE(startWaiting({[this] { return inputs->iWaitForInput(OCameraInputs::INPUT_I0, 1); }}));

  for (int i = 0; i < 20; ++i) {
    EXPECT_EQ(inputs->iGetInput(OCameraInputs::INPUT_ALL), 2);
    EXPECT_EQ(inputs->iGetInput(OCameraInputs::INPUT_I0), 0);
  }
  EXPECT_EQ(waiters[0].wait_for(0s), std::future_status::timeout) << "the wait ended by itself";

  sim->setInputs(3);
  ASSERT_TRUE(allReturned());
  EXPECT_EQ(waiters[0].get(), 0);
}

TEST_F(IoWait, ChangeWaitsOnSeveralThreadsAllReturnOnTheChange) {
  ASSERT_EQ(inputs->iSetTimeout(20000), 0);
  sim->setInputs(0);
  ASSERT_TRUE(startWaiting({
      [this] { return inputs->iWaitForInputsChange(3); },
      [this] { return inputs->iWaitForInputChange(OCameraInputs::INPUT_I1); },
      [this] { return inputs->iWaitForInputs(3, 2); },
  }));
  EXPECT_EQ(inputs->iGetInputs() & 3, 0);
  sim->setInputs(2);
  ASSERT_TRUE(allReturned());
  for (auto &w : waiters) EXPECT_EQ(w.get(), 0);
}

TEST_F(IoWait, EveryWaitEndsWithTheCamerasTimeOutWhenNothingChanges) {
  ASSERT_EQ(inputs->iSetTimeout(150), 0);
  sim->setInputs(1);
  const auto started = std::chrono::steady_clock::now();
  EXPECT_EQ(inputs->iWaitForInput(OCameraInputs::INPUT_I0, 0), kTimeout);
  EXPECT_EQ(inputs->iWaitForInputs(3, 2), kTimeout);
  EXPECT_EQ(inputs->iWaitForInputChange(OCameraInputs::INPUT_I1), kTimeout);
  EXPECT_EQ(inputs->iWaitForInputsChange(3), kTimeout);
  // Each wait lasted the camera's time-out; none came back early.
  EXPECT_GE(std::chrono::steady_clock::now() - started, 4 * 150ms);
}

}  // namespace
}  // namespace ocamera_test
