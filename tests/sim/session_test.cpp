// The device manager of the simulator: the device list, tokens, keep-alive,
// expiry and close, seen through the generated client calls.
#include <gtest/gtest.h>

#include <cstdlib>
#include <set>

#include "sim_client.h"

using simtest::Client;
using simtest::kFailed;
namespace st = ocamsim::status;

namespace {

using namespace ocam;

std::vector<std::string> listTypes(Client &c, std::vector<int> *timeouts = nullptr) {
  rdev__listResponse r;
  EXPECT_EQ(c.call(soap_call_rdev__list, r), SOAP_OK);
  std::vector<std::string> types;
  for (int i = 0; i < r.__sizedevices; ++i) {
    types.push_back(r.devices[i].type);
    if (timeouts) timeouts->push_back(r.devices[i].maxTimeout);
  }
  return types;
}

TEST(SimSessions, ListsTheFourDevicesOnBothPortsWithTheConfiguredTimeout) {
  ocamsim::Options o;
  o.maxTimeout = 7;
  ocamsim::Simulator sim(o);
  sim.start();
  for (const std::string &addr : {sim.cameraAddress(), sim.ioAddress()}) {
    Client c(addr);
    std::vector<int> timeouts;
    EXPECT_EQ(listTypes(c, &timeouts),
              (std::vector<std::string>{"ONetCamera", "ONetCameraInputs", "ONetCameraOutputs",
                                        "ONetCameraLEDs"}));
    EXPECT_EQ(timeouts, (std::vector<int>{7, 7, 7, 7}));
  }
}

TEST(SimSessions, ConfiguredDeviceListsAreServedAsGiven) {
  ocamsim::Options o;
  ocamsim::DeviceEntry cam;
  cam.id = 5;
  cam.type = "ONetCamera";
  ocamsim::DeviceEntry twin = cam;
  twin.id = 6;
  twin.maxTimeout = 3;
  ocamsim::DeviceEntry lower;
  lower.id = 9;
  lower.type = "onetcamerainputs";
  o.devices = {cam, twin, lower};
  ocamsim::Simulator sim(o);
  sim.start();
  Client c(sim.cameraAddress());
  std::vector<int> timeouts;
  EXPECT_EQ(listTypes(c, &timeouts),
            (std::vector<std::string>{"ONetCamera", "ONetCamera", "onetcamerainputs"}));
  EXPECT_EQ(timeouts, (std::vector<int>{10, 3, 10}));
  // Ids that are not listed cannot be opened; a device of unknown type opens
  // but no service accepts its token.
  EXPECT_EQ(c.open(1), kFailed);
  EXPECT_EQ(c.lastResult(), SOAP_CLI_FAULT);
  EXPECT_EQ(c.lastFault(), "no such device");
  const int odd = c.open(9);
  ASSERT_NE(odd, kFailed);
  EXPECT_EQ(c.status(soap_call_scam__create, odd, scam__eCameraType__CAM_TYPE_GENERIC),
            st::kBadSession);
  EXPECT_NE(c.open(6), kFailed);

  ocamsim::Options none;
  none.devices = {cam};
  none.devices[0].type = "ONetCameraLEDs";
  none.devices.insert(none.devices.begin(), cam);
  ocamsim::Simulator noLeds(none);
  noLeds.start();
  Client d(noLeds.cameraAddress());
  EXPECT_EQ(listTypes(d), (std::vector<std::string>{"ONetCamera", "ONetCameraLEDs"}));
}

TEST(SimSessions, TokensAreFreshAndCloseEndsTheSession) {
  ocamsim::Simulator sim;
  sim.start();
  Client c(sim.cameraAddress());
  Client io(sim.ioAddress());
  std::set<int> tokens;
  for (int id = 1; id <= 4; ++id) tokens.insert(c.open(id));
  const int again = io.open(1);
  tokens.insert(again);
  EXPECT_EQ(tokens.size(), 5u);
  EXPECT_EQ(tokens.count(kFailed), 0u);
  EXPECT_EQ(sim.openSessions(), 5u);

  // Tokens are the simulator's, whatever port they were handed out on.
  EXPECT_EQ(c.keepAlive(again), SOAP_OK);
  EXPECT_EQ(c.status(soap_call_scam__create, again, scam__eCameraType__CAM_TYPE_MT9V022), 0);
  EXPECT_EQ(io.close(again), SOAP_OK);
  EXPECT_FALSE(sim.sessionOpen(again));
  EXPECT_EQ(sim.openSessions(), 4u);

  // A closed or unknown token: faults from the device manager, a status elsewhere.
  EXPECT_EQ(c.keepAlive(again), SOAP_CLI_FAULT);
  EXPECT_EQ(c.lastFault(), "invalid session");
  EXPECT_EQ(c.close(again), SOAP_CLI_FAULT);
  EXPECT_EQ(c.status(soap_call_scam__getShutterTime, again), st::kBadSession);
  EXPECT_EQ(c.status(soap_call_scam__getShutterTime, 12345), st::kBadSession);
  const std::vector<ocamsim::LogEntry> log = sim.log();
  ASSERT_GE(log.size(), 2u);
  EXPECT_EQ(log[log.size() - 2].operation, "scam:getShutterTime");
  EXPECT_EQ(log[log.size() - 2].token, again);
  EXPECT_EQ(log[log.size() - 2].status, st::kBadSession);
}

// A client that guesses near its own token, or reads the next one off the
// sequence, must not land on another client's session.
TEST(SimSessions, TokensCannotBeGuessedFromOneAnother) {
  ocamsim::Simulator sim;
  sim.start();
  Client c(sim.cameraAddress());
  std::vector<int> tokens;
  for (int i = 0; i < 64; ++i) tokens.push_back(c.open(1 + i % 4));
  std::set<int> distinct(tokens.begin(), tokens.end());
  EXPECT_EQ(distinct.size(), tokens.size());
  int spread = 0;
  for (std::size_t i = 0; i < tokens.size(); ++i) {
    EXPECT_GT(tokens[i], 0);
    for (int near = -16; near <= 16; ++near) {
      if (near == 0) continue;
      EXPECT_FALSE(sim.sessionOpen(tokens[i] + near))
          << "token " << tokens[i] << " has an open neighbour at " << near;
    }
    if (i > 0 && std::abs(static_cast<long long>(tokens[i]) - tokens[i - 1]) > (1 << 20)) ++spread;
  }
  // Drawn from all 31 bits, not from a narrow range.
  EXPECT_GT(spread, 48);
  EXPECT_EQ(c.status(soap_call_scam__getShutterTime, tokens[1] - 1), st::kBadSession);
}

TEST(SimSessions, TokenOfAnotherDeviceKindIsRefused) {
  ocamsim::Simulator sim;
  sim.start();
  Client c(sim.ioAddress());
  Client camera(sim.cameraAddress());
  const int inputs = c.open(2);
  const int leds = c.open(4);
  EXPECT_EQ(camera.status(soap_call_scam__create, inputs, scam__eCameraType__CAM_TYPE_GENERIC),
            st::kBadSession);
  EXPECT_EQ(c.status(soap_call_sout__create, leds), st::kBadSession);
  EXPECT_EQ(c.status(soap_call_sled__create, leds), 0);
  EXPECT_EQ(c.status(soap_call_sinp__create, inputs), 0);
}

TEST(SimSessions, KeepAliveRenewsAndSilenceExpires) {
  ocamsim::Options o;
  o.maxTimeout = 1;
  ocamsim::Simulator sim(o);
  sim.start();
  Client c(sim.cameraAddress());
  const int kept = c.openCamera();
  const int idle = c.open(2);
  ASSERT_NE(kept, kFailed);
  ASSERT_NE(idle, kFailed);
  // Keep one session alive for twice its time-out; the other one lapses.
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(2200);
  while (std::chrono::steady_clock::now() < end) {
    ASSERT_EQ(c.keepAlive(kept), SOAP_OK);
    std::this_thread::sleep_for(std::chrono::milliseconds(250));
  }
  EXPECT_TRUE(sim.sessionOpen(kept));
  EXPECT_FALSE(sim.sessionOpen(idle));
  EXPECT_EQ(c.keepAlive(idle), SOAP_CLI_FAULT);
  Client io(sim.ioAddress());
  EXPECT_EQ(io.status(soap_call_sinp__create, idle), st::kBadSession);

  // When the camera's session expires, the camera it opened is closed and
  // another session may open it.
  ASSERT_TRUE(simtest::eventually([&] { return !sim.sessionOpen(kept); }));
  EXPECT_EQ(c.status(soap_call_scam__getImageCount, kept), st::kBadSession);
  EXPECT_NE(c.openCamera(), kFailed);
}

}  // namespace
