// destroy() of an object while another thread's call of the same object waits
// for a reply that never comes: destroy cuts that call (it fails with -1), the
// object goes only once the call has left it, and a call lease made after
// destroy began fails without sending anything.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <future>
#include <string>

#include "faults/watchdog.h"
#include "io/scripted_camera.h"
#include "ocamH.h"
#include "ocamera/camera.h"
#include "ocamera/inputs.h"
#include "ocamera/leds.h"
#include "ocamera/outputs.h"
#include "remote/call.h"
#include "support/device_manager.h"
#include "support/soap_cache.h"

namespace ocamera_test {
namespace {

using Clock = std::chrono::steady_clock;

// One object of each kind: the blocking call of its test, and its destroy.
struct Subject {
  const char *operation;              // never answered
  std::function<int()> blockingCall;  // the call that waits on it
  std::function<void()> destroy;
};

// Whether a request of `op` has reached the camera.
bool received(const ScriptedCamera &camera, const std::string &op) {
  for (const std::string &name : camera.operationsFrom(0))
    if (name == op) return true;
  return false;
}

void destroyWhileACallWaits(ScriptedCamera &camera, const Subject &subject) {
  SCOPED_TRACE(subject.operation);
  camera.override(subject.operation, PeerReply::raw(""));  // accepted, never answered
  Watchdog watchdog(std::string("destroy during ") + subject.operation, std::chrono::seconds(30));
  const std::size_t before = camera.peer().requestCount();
  std::future<int> call = std::async(std::launch::async, subject.blockingCall);
  // Nothing else is sent meanwhile: the sessions' keep-alive is minutes away.
  ASSERT_TRUE(camera.peer().waitForRequests(before + 1, std::chrono::seconds(10)));
  ASSERT_EQ(camera.operationsFrom(before).at(0), subject.operation);
  const auto start = Clock::now();
  subject.destroy();
  // The cut call ends at once; the bound is the library's plus room for load.
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(8));
  ASSERT_EQ(call.wait_for(std::chrono::seconds(8)), std::future_status::ready);
  EXPECT_EQ(call.get(), -1);
}

TEST(DestroyInFlight, CutsTheCallOfEveryKindOfObject) {
  ScriptedCamera camera({"ONetCamera", "ONetCameraInputs", "ONetCameraOutputs", "ONetCameraLEDs"});
  OCamera *cam = CreateCameraInterface(OCamera::CAM_TYPE_GENERIC, camera.address().c_str());
  OCameraInputs *inputs = CreateCameraInputs(camera.address().c_str());
  OCameraOutputs *outputs = CreateCameraOutputs(camera.address().c_str());
  OCameraLEDs *leds = CreateCameraLEDs(camera.address().c_str());
  ASSERT_TRUE(cam && inputs && outputs && leds);
  int camDestroyed = -2;
  destroyWhileACallWaits(camera, {"scam:getShutterTime", [cam] { return cam->getShutterTime(); },
                                  [&] { camDestroyed = cam->destroy(); }});
  EXPECT_EQ(camDestroyed, 0) << "the destroy request still goes out and is answered";
  destroyWhileACallWaits(camera, {"sinp:iGetInputs", [inputs] { return inputs->iGetInputs(); },
                                  [inputs] { inputs->destroy(); }});
  destroyWhileACallWaits(camera, {"sout:iGetOutputs", [outputs] { return outputs->iGetOutputs(); },
                                  [outputs] { outputs->destroy(); }});
  destroyWhileACallWaits(
      camera, {"sled:iGetLEDs", [leds] { return leds->iGetLEDs(); }, [leds] { leds->destroy(); }});
  for (const char *op : {"scam:destroy", "sinp:destroy", "sout:destroy", "sled:destroy"})
    EXPECT_TRUE(received(camera, op)) << op;
}

// Once the calls are closed a call lease sends nothing and fails, while the
// session's upkeep (the destroy request, rdev:close) still goes out.
TEST(DestroyInFlight, CallsAfterTheCloseFailWithoutSending) {
  ScriptedCamera camera;
  mox::webservice::client::DeviceManager manager(camera.address(), true, "", 0);
  auto &cache = manager.soapCache();
  EXPECT_EQ(ocamera::remote::callStatus(cache, &ocam::soap_call_sinp__iGetInputs, 701), 0);
  const std::size_t before = camera.peer().requestCount();
  EXPECT_TRUE(cache.closeCalls(std::chrono::milliseconds(100)));
  EXPECT_EQ(ocamera::remote::callStatus(cache, &ocam::soap_call_sinp__iGetInputs, 701), -1);
  EXPECT_EQ(camera.peer().requestCount(), before);
  EXPECT_EQ(ocamera::remote::callStatusAs(mox::webservice::client::LeaseKind::kUpkeep, cache,
                                          &ocam::soap_call_sinp__destroy, 701),
            0);
  EXPECT_EQ(camera.peer().requestCount(), before + 1);
}

}  // namespace
}  // namespace ocamera_test
