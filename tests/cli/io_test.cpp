// ocam against the inputs, outputs and LED services.
#include <gtest/gtest.h>

#include "cli/fixture.h"

namespace ocam_test {
namespace {

TEST_F(OcamTest, InputsShowLevelsEdgesAndClearThem) {
  sim.setInputs(1);  // I0 rises
  ProcessResult shown = run({"inputs", "-a", io()});
  ASSERT_EQ(shown.exitCode, 0) << shown.err;
  std::vector<std::string> lines = linesOf(shown.out);
  ASSERT_EQ(lines.size(), 4u) << shown.out;
  EXPECT_EQ(lines[1], "I0     1      rising");
  EXPECT_EQ(lines[2], "I1     0      -");
  EXPECT_EQ(lines[3], "overload: no");

  sim.setInputs(0);  // and falls
  sim.setOverload(true);
  lines = linesOf(run({"inputs", "-a", io()}).out);
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[1], "I0     0      rising,falling");
  EXPECT_EQ(lines[3], "overload: yes");

  lines = linesOf(run({"inputs", "-a", io(), "--clear"}).out);
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[1], "I0     0      -");
}

TEST_F(OcamTest, InputsWaitEndsWhenTheInputChanges) {
  // Starts a wait, changes the inputs once it is blocked in the camera.
  auto waitWhileSetting = [&](const std::string &spec, int levels) {
    Process waiter(ocamPath(), {"inputs", "-a", io(), "--wait", spec, "--timeout", "20000"},
                   ocamOptions(dir.path()));
    EXPECT_TRUE(sim.waitForInputWaits(1, 20000)) << spec;
    sim.setInputs(levels);
    return waiter.wait();
  };
  ProcessResult changed = waitWhileSetting("I0", 1);
  EXPECT_EQ(changed.exitCode, 0) << changed.err;
  EXPECT_NE(changed.out.find("I0     1"), std::string::npos) << changed.out;
  EXPECT_EQ(sim.count("sinp:iWaitForInputChange"), 1u);
  ProcessResult reached = waitWhileSetting("I1=1", 3);
  EXPECT_EQ(reached.exitCode, 0) << reached.err;
  EXPECT_NE(reached.out.find("I1     1"), std::string::npos) << reached.out;
  EXPECT_EQ(sim.count("sinp:iWaitForInput"), 1u);

  // Several inputs go out as one request; levels already there end it at once.
  EXPECT_EQ(run({"inputs", "-a", io(), "--wait", "I0,I1", "--timeout", "100"}).exitCode, 1);
  EXPECT_EQ(sim.count("sinp:iWaitForInputsChange"), 1u);
  ProcessResult levels = run({"inputs", "-a", io(), "--wait", "I0=1,I1=1"});
  EXPECT_EQ(levels.exitCode, 0) << levels.err;
  EXPECT_EQ(sim.count("sinp:iWaitForInputs"), 1u);
}

TEST_F(OcamTest, InputsWaitTimesOutWithAnError) {
  ProcessResult result = run({"inputs", "-a", io(), "--wait", "I1=1", "--timeout", "200"});
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_NE(result.err.find("timed out after 200 ms"), std::string::npos) << result.err;
  EXPECT_GE(result.elapsed.count(), 200);
  EXPECT_EQ(sim.count("sinp:iWaitForInput"), 1u);
}

TEST_F(OcamTest, OutputsSetToggleAndReadBack) {
  ProcessResult one = run({"outputs", "-a", io(), "set", "O2=on"});
  ASSERT_EQ(one.exitCode, 0) << one.err;
  EXPECT_EQ(sim.outputs(), 4);
  EXPECT_EQ(one.out, "O0            off\nO1            off\nO2            on\nO3            off\n");

  ASSERT_EQ(run({"outputs", "-a", io(), "set", "o0=1", "OUTPUT_O3=on", "O2=off"}).exitCode, 0);
  EXPECT_EQ(sim.outputs(), 9);
  EXPECT_EQ(sim.count("sout:iSetOutputs"), 1u);  // several names, one request

  ASSERT_EQ(run({"outputs", "-a", io(), "toggle", "O1"}).exitCode, 0);
  EXPECT_EQ(sim.outputs(), 11);
  ASSERT_EQ(run({"outputs", "-a", io(), "toggle", "O0", "O1"}).exitCode, 0);
  EXPECT_EQ(sim.outputs(), 8);
  ProcessResult shown = run({"outputs", "-a", io()});
  EXPECT_EQ(shown.out,
            "O0            off\nO1            off\nO2            off\nO3            on\n");

  // An overload locks the outputs: the camera's refusal is reported.
  sim.setOverload(true);
  ProcessResult locked = run({"outputs", "-a", io(), "set", "O1=on"});
  EXPECT_EQ(locked.exitCode, 1);
  EXPECT_TRUE(OneErrorLine(locked));
  ASSERT_EQ(run({"outputs", "-a", io(), "set", "OVERLOAD_UNLOCK=on", "O1=on"}).exitCode, 0);
  EXPECT_EQ(sim.outputs(), 10);
}

TEST_F(OcamTest, LedsSetToggleAndReadBack) {
  ProcessResult set = run({"leds", "-a", io(), "set", "LED_1_GREEN=on"});
  ASSERT_EQ(set.exitCode, 0) << set.err;
  EXPECT_EQ(sim.leds(), 8);
  EXPECT_NE(set.out.find("LED_1_GREEN   on\n"), std::string::npos) << set.out;
  EXPECT_EQ(linesOf(set.out).size(), 8u);

  ASSERT_EQ(run({"leds", "-a", io(), "toggle", "2_yellow", "led_3_yellow"}).exitCode, 0);
  EXPECT_EQ(sim.leds(), 8 | 32 | 128);
  ASSERT_EQ(run({"leds", "-a", io(), "set", "ALL_RED=on"}).exitCode, 0);
  EXPECT_EQ(sim.leds(), 8 | 32 | 128 | 85);
  ASSERT_EQ(run({"leds", "-a", io(), "set", "LED_ALL=off"}).exitCode, 0);
  EXPECT_EQ(sim.leds(), 0);
}

}  // namespace
}  // namespace ocam_test
