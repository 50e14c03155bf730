// The requests of the inputs, outputs and LED objects byte for byte, against a
// scripted camera that answers every request and records what it received.
#include <gtest/gtest.h>
#include <ocamera/inputs.h>
#include <ocamera/leds.h>
#include <ocamera/outputs.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "io/scripted_camera.h"

namespace ocamera_test {
namespace {

constexpr int kInputsToken = kTokenBase + 1, kOutputsToken = kTokenBase + 2,
              kLEDsToken = kTokenBase + 3;

// All three objects on one scripted camera.
class IoWire : public testing::Test {
 protected:
  void SetUp() override {
    inputs = CreateCameraInputs(camera.address().c_str());
    outputs = CreateCameraOutputs(camera.address().c_str());
    leds = CreateCameraLEDs(camera.address().c_str());
    ASSERT_NE(inputs, nullptr);
    ASSERT_NE(outputs, nullptr);
    ASSERT_NE(leds, nullptr);
  }
  void TearDown() override {
    if (inputs) inputs->destroy();
    if (outputs) outputs->destroy();
    if (leds) leds->destroy();
  }

 public:
  ScriptedCamera camera;
  OCameraInputs *inputs = nullptr;
  OCameraOutputs *outputs = nullptr;
  OCameraLEDs *leds = nullptr;
};

struct WireCase {
  std::string label;
  std::function<int(IoWire &)> call;
  std::string expected;  // the operation element on the wire
};

TEST_F(IoWire, EachOperationSendsTokenAndParametersUnchangedAndReturnsTheStatus) {
  using In = OCameraInputs;
  using Out = OCameraOutputs;
  using Led = OCameraLEDs;
  const int ti = kInputsToken, to = kOutputsToken, tl = kLEDsToken;
  const std::vector<WireCase> cases = {
      {"iOpen", [](IoWire &t) { return t.inputs->iOpen(); }, request("sinp:iOpen", ti)},
      {"iClose", [](IoWire &t) { return t.inputs->iClose(); }, request("sinp:iClose", ti)},
      {"iGetInputs", [](IoWire &t) { return t.inputs->iGetInputs(); },
       request("sinp:iGetInputs", ti)},
      {"iGetInput enumerator", [](IoWire &t) { return t.inputs->iGetInput(In::INPUT_I1_FE); },
       request("sinp:iGetInput", ti, {{"enIn", "INPUT-I1-FE"}})},
      {"iGetInput 0", [](IoWire &t) { return t.inputs->iGetInput(In::eCameraInput(0)); },
       request("sinp:iGetInput", ti, {{"enIn", "0"}})},
      {"iGetInput 7", [](IoWire &t) { return t.inputs->iGetInput(In::eCameraInput(7)); },
       request("sinp:iGetInput", ti, {{"enIn", "7"}})},
      {"iGetInput -3", [](IoWire &t) { return t.inputs->iGetInput(In::eCameraInput(-3)); },
       request("sinp:iGetInput", ti, {{"enIn", "-3"}})},
      {"iSetTimeout", [](IoWire &t) { return t.inputs->iSetTimeout(2500); },
       request("sinp:iSetTimeout", ti, {{"iTimeout", "2500"}})},
      {"iWaitForInput", [](IoWire &t) { return t.inputs->iWaitForInput(In::OVERLOAD, 1); },
       request("sinp:iWaitForInput", ti, {{"enIn", "OVERLOAD"}, {"iState", "1"}})},
      {"iWaitForInputs", [](IoWire &t) { return t.inputs->iWaitForInputs(3, 1); },
       request("sinp:iWaitForInputs", ti, {{"iMask", "3"}, {"iState", "1"}})},
      {"iWaitForInputChange 5",
       [](IoWire &t) { return t.inputs->iWaitForInputChange(In::eCameraInput(5)); },
       request("sinp:iWaitForInputChange", ti, {{"enIn", "5"}})},
      {"iWaitForInputsChange", [](IoWire &t) { return t.inputs->iWaitForInputsChange(48); },
       request("sinp:iWaitForInputsChange", ti, {{"iMask", "48"}})},
      {"iClearEdges", [](IoWire &t) { return t.inputs->iClearEdges(-60); },
       request("sinp:iClearEdges", ti, {{"iMask", "-60"}})},

      {"iOpen", [](IoWire &t) { return t.outputs->iOpen(); }, request("sout:iOpen", to)},
      {"iClose", [](IoWire &t) { return t.outputs->iClose(); }, request("sout:iClose", to)},
      {"iGetOutputs", [](IoWire &t) { return t.outputs->iGetOutputs(); },
       request("sout:iGetOutputs", to)},
      {"iGetOutput", [](IoWire &t) { return t.outputs->iGetOutput(Out::OUTPUT_OVERLOAD_UNLOCK); },
       request("sout:iGetOutput", to, {{"enOut", "OUTPUT-OVERLOAD-UNLOCK"}})},
      {"iSetOutputs", [](IoWire &t) { return t.outputs->iSetOutputs(15, 5); },
       request("sout:iSetOutputs", to, {{"iMask", "15"}, {"iState", "5"}})},
      {"iSetOutput", [](IoWire &t) { return t.outputs->iSetOutput(Out::OUTPUT_O2, 1); },
       request("sout:iSetOutput", to, {{"enOut", "OUTPUT-O2"}, {"iState", "1"}})},
      {"iToggleOutputs", [](IoWire &t) { return t.outputs->iToggleOutputs(31); },
       request("sout:iToggleOutputs", to, {{"iMask", "31"}})},
      {"iToggleOutput ALL", [](IoWire &t) { return t.outputs->iToggleOutput(Out::OUTPUT_ALL); },
       request("sout:iToggleOutput", to, {{"enOut", "OUTPUT-ALL"}})},
      {"iToggleOutput 5", [](IoWire &t) { return t.outputs->iToggleOutput(Out::eCameraOutput(5)); },
       request("sout:iToggleOutput", to, {{"enOut", "5"}})},

      {"iToggleOutput 1000",
       [](IoWire &t) { return t.outputs->iToggleOutput(Out::eCameraOutput(1000)); },
       request("sout:iToggleOutput", to, {{"enOut", "1000"}})},

      {"iOpen", [](IoWire &t) { return t.leds->iOpen(); }, request("sled:iOpen", tl)},
      {"iClose", [](IoWire &t) { return t.leds->iClose(); }, request("sled:iClose", tl)},
      {"iGetLEDs", [](IoWire &t) { return t.leds->iGetLEDs(); }, request("sled:iGetLEDs", tl)},
      {"iGetLED", [](IoWire &t) { return t.leds->iGetLED(Led::LED_ALL); },
       request("sled:iGetLED", tl, {{"enLED", "LED-ALL"}})},
      {"iSetLEDs", [](IoWire &t) { return t.leds->iSetLEDs(255, 85); },
       request("sled:iSetLEDs", tl, {{"iMask", "255"}, {"iState", "85"}})},
      {"iSetLED group", [](IoWire &t) { return t.leds->iSetLED(Led::LED_ALL_RED, 0); },
       request("sled:iSetLED", tl, {{"enLED", "LED-ALL-RED"}, {"iState", "0"}})},
      {"iToggleLEDs", [](IoWire &t) { return t.leds->iToggleLEDs(160); },
       request("sled:iToggleLEDs", tl, {{"iMask", "160"}})},
      {"iToggleLED", [](IoWire &t) { return t.leds->iToggleLED(Led::LED_2_YELLOW); },
       request("sled:iToggleLED", tl, {{"enLED", "LED-2-YELLOW"}})},
      {"iToggleLED 3", [](IoWire &t) { return t.leds->iToggleLED(Led::eCameraLED(3)); },
       request("sled:iToggleLED", tl, {{"enLED", "3"}})},
  };
  for (std::size_t i = 0; i < cases.size(); ++i) {
    SCOPED_TRACE(cases[i].expected);
    // A distinct status per case, negative ones too, must come back unchanged.
    const int status = (i % 2) ? -1000 - static_cast<int>(i) : 40 + static_cast<int>(i);
    camera.status = status;
    const std::size_t before = camera.peer().requestCount();
    EXPECT_EQ(cases[i].call(*this), status);
    ASSERT_EQ(camera.peer().requestCount(), before + 1);
    EXPECT_EQ(camera.lastRequest(), cases[i].expected);
  }
}

TEST_F(IoWire, ReservedSlotReturnsMinusOneAndSendsNothing) {
  camera.status = 3;
  const std::size_t before = camera.peer().requestCount();
  EXPECT_EQ(inputs->iReserved(), -1);
  // The next request the camera sees is the one sent after iReserved.
  EXPECT_EQ(inputs->iGetInputs(), 3);
  ASSERT_EQ(camera.peer().requestCount(), before + 1);
  EXPECT_EQ(camera.lastRequest(), request("sinp:iGetInputs", kInputsToken));
}

// A request that fails gives -1; the next request on the same object works.
TEST_F(IoWire, FailedRequestGivesMinusOneAndLeavesTheObjectUsable) {
  const std::vector<std::pair<std::string, PeerReply>> failures = {
      {"connection closed", PeerReply::closeWithoutReply()},
      {"not XML", PeerReply::garbage()},
      {"SOAP fault", PeerReply::bare(soapEnvelope(soapFault("SOAP-ENV:Server", "broken")))},
      {"unexpected element",
       PeerReply::bare(soapEnvelope(statusResponse("sinp:otherResponse", 9)))},
      {"cut off",
       PeerReply::truncated(soapEnvelope(statusResponse("sout:iSetOutputsResponse", 9)), 120)},
  };
  const std::vector<std::function<int()>> operations = {
      [this] { return inputs->iWaitForInputs(1, 1); },
      [this] { return outputs->iSetOutputs(1, 1); },
      [this] { return leds->iToggleLED(OCameraLEDs::LED_0_GREEN); },
  };
  camera.status = 12;
  for (const auto &failure : failures) {
    for (const auto &operation : operations) {
      SCOPED_TRACE(failure.first);
      const std::size_t before = camera.peer().requestCount();
      camera.peer().enqueue(failure.second);
      EXPECT_EQ(operation(), -1);
      EXPECT_EQ(camera.peer().requestCount(), before + 1);  // it was sent
      EXPECT_EQ(operation(), 12);
    }
  }
}

}  // namespace
}  // namespace ocamera_test
