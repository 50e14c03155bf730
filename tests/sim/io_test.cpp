// The simulated inputs, outputs and LEDs: levels, latched edges, waits that
// end on a change or on the time-out, masks, groups and the overload lock.
#include <gtest/gtest.h>

#include <future>

#include "sim_client.h"

using simtest::Client;
using simtest::kFailed;
namespace st = ocamsim::status;

namespace {

using namespace ocam;

constexpr int kI0 = 1, kI1 = 2, kI0Re = 4, kI0Fe = 8, kI1Re = 16, kOverload = 64;

// A session on an I/O device (2 inputs, 3 outputs, 4 LEDs), created and opened.
template <class Create, class Open>
int openIo(Client &c, int id, Create create, Open open) {
  const int t = c.open(id);
  if (t == kFailed || c.status(create, t) != 0 || c.status(open, t) != 0) return kFailed;
  return t;
}

class SimInputs : public ::testing::Test {
 protected:
  void SetUp() override {
    sim_.start();
    c_ = std::make_unique<Client>(sim_.ioAddress());
    t_ = openIo(*c_, 2, soap_call_sinp__create, soap_call_sinp__iOpen);
    ASSERT_NE(t_, kFailed);
  }
  // Runs a wait on its own connection; the future holds its status.
  template <class Fn, class... A>
  std::future<int> waitAsync(Fn fn, A... a) {
    return std::async(std::launch::async, [this, fn, a...] {
      Client w(sim_.ioAddress());
      return w.status(fn, t_, a...);
    });
  }
  ocamsim::Simulator sim_;
  std::unique_ptr<Client> c_;
  int t_ = 0;
};

TEST_F(SimInputs, LevelsAndLatchedEdges) {
  EXPECT_EQ(c_->status(soap_call_sinp__iGetInputs, t_), 0);
  sim_.setInputs(kI0);
  sim_.setInputs(0);
  sim_.setInputs(kI1);
  EXPECT_EQ(sim_.inputs(), kI1);
  EXPECT_EQ(c_->status(soap_call_sinp__iGetInputs, t_), kI1 | kI0Re | kI0Fe | kI1Re);
  EXPECT_EQ(c_->status(soap_call_sinp__iGetInput, t_, sinp__eCameraInput__INPUT_I0), 0);
  EXPECT_EQ(c_->status(soap_call_sinp__iGetInput, t_, sinp__eCameraInput__INPUT_I1), 1);
  EXPECT_EQ(c_->status(soap_call_sinp__iGetInput, t_, sinp__eCameraInput__INPUT_I0_FE), 1);
  EXPECT_EQ(c_->status(soap_call_sinp__iGetInput, t_, sinp__eCameraInput__INPUT_ALL), kI1);
  EXPECT_EQ(c_->status(soap_call_sinp__iGetInput, t_, static_cast<sinp__eCameraInput>(5)),
            st::kBadArgument);
  EXPECT_EQ(c_->status(soap_call_sinp__iClearEdges, t_, kI0Re | kI0Fe), 0);
  EXPECT_EQ(c_->status(soap_call_sinp__iGetInputs, t_), kI1 | kI1Re);
  sim_.setOverload(true);
  EXPECT_EQ(c_->status(soap_call_sinp__iGetInput, t_, sinp__eCameraInput__OVERLOAD), 1);
  EXPECT_EQ(c_->status(soap_call_sinp__iGetInputs, t_) & kOverload, kOverload);
}

TEST_F(SimInputs, WaitsReturnWhenTheInputChanges) {
  EXPECT_EQ(c_->status(soap_call_sinp__iSetTimeout, t_, 20000), 0);
  auto level = waitAsync(soap_call_sinp__iWaitForInput, sinp__eCameraInput__INPUT_I1, 1);
  auto masked = waitAsync(soap_call_sinp__iWaitForInputs, kI0 | kI1, kI0 | kI1);
  auto change = waitAsync(soap_call_sinp__iWaitForInputChange, sinp__eCameraInput__INPUT_I0);
  auto edges = waitAsync(soap_call_sinp__iWaitForInputsChange, kI0Re | kI1Re);
  ASSERT_TRUE(sim_.waitForInputWaits(4, 10000));
  // I1 alone: the level wait and the rising-edge wait end, the others go on.
  sim_.setInputs(kI1);
  EXPECT_EQ(level.get(), 0);
  EXPECT_EQ(edges.get(), 0);
  EXPECT_EQ(masked.wait_for(std::chrono::milliseconds(0)), std::future_status::timeout);
  EXPECT_EQ(change.wait_for(std::chrono::milliseconds(0)), std::future_status::timeout);
  sim_.setInputs(kI0 | kI1);
  EXPECT_EQ(masked.get(), 0);
  EXPECT_EQ(change.get(), 0);
  // A wait whose condition already holds returns at once.
  EXPECT_EQ(c_->status(soap_call_sinp__iWaitForInput, t_, sinp__eCameraInput__INPUT_I0, 1), 0);
}

TEST_F(SimInputs, WaitsEndWithTheTimeoutStatus) {
  EXPECT_EQ(c_->status(soap_call_sinp__iSetTimeout, t_, 50), 0);
  EXPECT_EQ(c_->status(soap_call_sinp__iWaitForInput, t_, sinp__eCameraInput__INPUT_I0, 1),
            st::kTimeout);
  EXPECT_EQ(c_->status(soap_call_sinp__iWaitForInputsChange, t_, kI0 | kI1), st::kTimeout);
  EXPECT_EQ(c_->status(soap_call_sinp__iWaitForInputs, t_, 0x80, 0), st::kBadArgument);
  EXPECT_EQ(c_->status(soap_call_sinp__iSetTimeout, t_, -1), st::kBadArgument);
}

// A single line waits for 0 or 1, INPUT-ALL for the level bits; a selector that
// is no enumerator is refused, after the session checks.
TEST_F(SimInputs, LineWaitsReadTheirStateByTheSelector) {
  EXPECT_EQ(c_->status(soap_call_sinp__iSetTimeout, t_, 50), 0);
  sim_.setInputs(kI1);
  EXPECT_EQ(c_->status(soap_call_sinp__iWaitForInput, t_, sinp__eCameraInput__INPUT_ALL, kI1), 0);
  const auto bogus = static_cast<sinp__eCameraInput>(5);
  EXPECT_EQ(c_->status(soap_call_sinp__iWaitForInput, t_, bogus, 1), st::kBadArgument);
  EXPECT_EQ(c_->status(soap_call_sinp__iWaitForInputChange, t_, bogus), st::kBadArgument);
  const int unopened = c_->open(2);
  EXPECT_EQ(c_->status(soap_call_sinp__create, unopened), 0);
  EXPECT_EQ(c_->status(soap_call_sinp__iWaitForInput, unopened, bogus, 1), st::kNotOpen);
  EXPECT_EQ(c_->status(soap_call_sinp__iWaitForInputChange, unopened, bogus), st::kNotOpen);
}

TEST_F(SimInputs, StopWakesBlockedWaits) {
  EXPECT_EQ(c_->status(soap_call_sinp__iSetTimeout, t_, 60000), 0);
  auto wait = waitAsync(soap_call_sinp__iWaitForInputChange, sinp__eCameraInput__INPUT_I0);
  ASSERT_TRUE(sim_.waitForInputWaits(1, 10000));
  const auto t0 = std::chrono::steady_clock::now();
  sim_.stop();
  EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(5));
  const int s = wait.get();
  EXPECT_TRUE(s == st::kShutdown || s == kFailed) << s;
}

TEST(SimIo, ServicesNeedCreateAndOpen) {
  ocamsim::Simulator sim;
  sim.start();
  Client c(sim.ioAddress());
  const int t = c.open(3);
  EXPECT_EQ(c.status(soap_call_sout__iOpen, t), st::kNotCreated);
  EXPECT_EQ(c.status(soap_call_sout__create, t), 0);
  EXPECT_EQ(c.status(soap_call_sout__create, t), st::kAlreadyCreated);
  EXPECT_EQ(c.status(soap_call_sout__iGetOutputs, t), st::kNotOpen);
  EXPECT_EQ(c.status(soap_call_sout__iOpen, t), 0);
  EXPECT_EQ(c.status(soap_call_sout__iOpen, t), st::kAlreadyOpen);
  EXPECT_EQ(c.status(soap_call_sout__iGetOutputs, t), 0);
  EXPECT_EQ(c.status(soap_call_sout__iClose, t), 0);
  EXPECT_EQ(c.status(soap_call_sout__iClose, t), st::kNotOpen);
  EXPECT_EQ(c.status(soap_call_sout__destroy, t), 0);
  EXPECT_EQ(c.status(soap_call_sout__destroy, t), st::kNotCreated);
}

TEST(SimIo, OutputsKeepStateThroughSetToggleAndOverload) {
  ocamsim::Simulator sim;
  sim.start();
  Client c(sim.ioAddress());
  const int t = openIo(c, 3, soap_call_sout__create, soap_call_sout__iOpen);
  EXPECT_EQ(c.status(soap_call_sout__iSetOutputs, t, 15, 5), 0);
  EXPECT_EQ(sim.outputs(), 5);
  EXPECT_EQ(c.status(soap_call_sout__iSetOutput, t, sout__eCameraOutput__OUTPUT_O1, 1), 0);
  EXPECT_EQ(c.status(soap_call_sout__iToggleOutputs, t, 3), 0);
  EXPECT_EQ(c.status(soap_call_sout__iToggleOutput, t, sout__eCameraOutput__OUTPUT_O3), 0);
  EXPECT_EQ(sim.outputs(), 4 | 8);
  EXPECT_EQ(c.status(soap_call_sout__iGetOutputs, t), 12);
  EXPECT_EQ(c.status(soap_call_sout__iGetOutput, t, sout__eCameraOutput__OUTPUT_O2), 1);
  EXPECT_EQ(c.status(soap_call_sout__iGetOutput, t, sout__eCameraOutput__OUTPUT_O0), 0);
  EXPECT_EQ(c.status(soap_call_sout__iGetOutput, t, sout__eCameraOutput__OUTPUT_ALL), 12);
  EXPECT_EQ(c.status(soap_call_sout__iToggleOutput, t, static_cast<sout__eCameraOutput>(7)),
            st::kBadArgument);
  EXPECT_EQ(c.status(soap_call_sout__iSetOutputs, t, 0x40, 0x40), st::kBadArgument);
  // An overload locks the outputs until it is unlocked.
  sim.setOverload(true);
  EXPECT_EQ(c.status(soap_call_sout__iSetOutput, t, sout__eCameraOutput__OUTPUT_O0, 1),
            st::kOverload);
  EXPECT_EQ(c.status(soap_call_sout__iGetOutput, t, sout__eCameraOutput__OUTPUT_OVERLOAD_UNLOCK),
            1);
  EXPECT_EQ(c.status(soap_call_sout__iSetOutput, t, sout__eCameraOutput__OUTPUT_OVERLOAD_UNLOCK, 1),
            0);
  EXPECT_EQ(c.status(soap_call_sout__iSetOutput, t, sout__eCameraOutput__OUTPUT_O0, 1), 0);
  EXPECT_EQ(sim.outputs(), 13);
}

TEST(SimIo, LedsKeepStateWithGroupsAndMasks) {
  ocamsim::Simulator sim;
  sim.start();
  Client c(sim.ioAddress());
  const int t = openIo(c, 4, soap_call_sled__create, soap_call_sled__iOpen);
  EXPECT_EQ(c.status(soap_call_sled__iSetLED, t, sled__eCameraLED__LED_ALL_RED, 1), 0);
  EXPECT_EQ(sim.leds(), 85);
  EXPECT_EQ(c.status(soap_call_sled__iToggleLED, t, sled__eCameraLED__LED_2_YELLOW), 0);
  EXPECT_EQ(c.status(soap_call_sled__iGetLEDs, t), 85 | 32);
  EXPECT_EQ(c.status(soap_call_sled__iGetLED, t, sled__eCameraLED__LED_2_YELLOW), 1);
  EXPECT_EQ(c.status(soap_call_sled__iGetLED, t, sled__eCameraLED__LED_ALL_YELLOW), 32);
  EXPECT_EQ(c.status(soap_call_sled__iSetLEDs, t, 255, 10), 0);
  EXPECT_EQ(sim.leds(), 10);
  EXPECT_EQ(c.status(soap_call_sled__iToggleLEDs, t, 0xF0), 0);
  EXPECT_EQ(sim.leds(), 0xFA);
  EXPECT_EQ(c.status(soap_call_sled__iSetLED, t, sled__eCameraLED__LED_ALL, 0), 0);
  EXPECT_EQ(sim.leds(), 0);
  EXPECT_EQ(c.status(soap_call_sled__iGetLED, t, static_cast<sled__eCameraLED>(3)),
            st::kBadArgument);
  EXPECT_EQ(c.status(soap_call_sled__iSetLEDs, t, 0x100, 0x100), st::kBadArgument);
}

TEST(SimIo, ScheduleDrivesTheInputs) {
  ocamsim::Options o;
  o.inputSchedule = {{0, 0}, {20, kI0}, {40, kI0 | kI1}, {60, 0}};
  o.inputSchedulePeriodMs = 80;
  ocamsim::Simulator sim(o);
  sim.start();
  Client c(sim.ioAddress());
  const int t = openIo(c, 2, soap_call_sinp__create, soap_call_sinp__iOpen);
  EXPECT_EQ(c.status(soap_call_sinp__iSetTimeout, t, 10000), 0);
  // The schedule repeats: both inputs come up, and go down, again and again.
  for (int round = 0; round < 3; ++round) {
    EXPECT_EQ(c.status(soap_call_sinp__iWaitForInputs, t, kI0 | kI1, kI0 | kI1), 0);
    EXPECT_EQ(c.status(soap_call_sinp__iWaitForInputs, t, kI0 | kI1, 0), 0);
  }
  EXPECT_EQ(c.status(soap_call_sinp__iGetInputs, t) & (kI0Re | kI0Fe), kI0Re | kI0Fe);
}

}  // namespace
