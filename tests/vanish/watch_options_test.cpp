// Every connection of a client context carries the dead-peer watch, and a
// camera that is alive but slow is never cut short by it.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <ocamera/inputs.h>
#include <sys/socket.h>

#include <chrono>

#include "faults/watchdog.h"
#include "ocamH.h"
#include "protocol/dead_peer.h"
#include "sim/simulator.h"
#include "stdsoap2.h"
#include "support/device_manager.h"
#include "support/soap_cache.h"

namespace ocamera_test {
namespace {

using Clock = std::chrono::steady_clock;

int intOption(int fd, int level, int name) {
  int value = -1;
  socklen_t size = sizeof value;
  if (getsockopt(fd, level, name, &value, &size) != 0) return -1;
  return value;
}

// Each pooled context (copies of the prototype, and contexts made when the pool
// runs dry) opens its connections with the probes and the limit on
// unacknowledged data.
TEST(DeadPeerWatch, EveryConnectionOfEveryContextCarriesIt) {
  ocamsim::Simulator sim;
  sim.start();
  mox::webservice::client::DeviceManager manager(sim.cameraAddress(), true, "", 0);
  // One more lease than the pool holds, all at once.
  std::vector<std::unique_ptr<mox::webservice::client::SoapGuard>> leases;
  for (int i = 0; i < 5; ++i) {
    leases.emplace_back(new mox::webservice::client::SoapGuard(manager.soapCache(), false));
    ocam::rdev__listResponse out;
    ASSERT_EQ(
        ocam::soap_call_rdev__list(leases.back()->context(), leases.back()->endpoint(), "", out),
        SOAP_OK);
    const int fd = leases.back()->context()->socket;
    ASSERT_TRUE(soap_valid_socket(fd)) << "lease " << i << " kept no connection";
    EXPECT_EQ(intOption(fd, SOL_SOCKET, SO_KEEPALIVE), 1) << "lease " << i;
    EXPECT_EQ(intOption(fd, IPPROTO_TCP, TCP_KEEPIDLE), ocamera::wire::kProbeIdleSeconds);
    EXPECT_EQ(intOption(fd, IPPROTO_TCP, TCP_KEEPINTVL), ocamera::wire::kProbeIntervalSeconds);
    EXPECT_EQ(intOption(fd, IPPROTO_TCP, TCP_KEEPCNT), ocamera::wire::kProbeCount);
    EXPECT_EQ(intOption(fd, IPPROTO_TCP, TCP_USER_TIMEOUT),
              static_cast<int>(ocamera::wire::kUnacknowledgedMs));
  }
  for (auto &lease : leases) lease->finish();
}

// An input wait longer than the dead-peer bound, on a camera that stays alive,
// runs to the camera's own time-out and returns its status.
TEST(DeadPeerWatch, LongInputWaitOfALiveCameraCompletes) {
  ocamsim::Simulator sim;
  sim.start();
  OCameraInputs *inputs = CreateCameraInputs(sim.ioAddress().c_str());
  ASSERT_NE(inputs, nullptr);
  ASSERT_EQ(inputs->iOpen(), 0);
  const int waitMs = ocamera::wire::kDeadPeerBoundMs + 1500;
  ASSERT_EQ(inputs->iSetTimeout(waitMs), 0);
  sim.setInputs(0);
  const auto start = Clock::now();
  {
    Watchdog watchdog("a long input wait", std::chrono::milliseconds(waitMs + 20000));
    EXPECT_EQ(inputs->iWaitForInputs(1, 1), ocamsim::status::kTimeout);
  }
  const auto took =
      std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
  EXPECT_GE(took, waitMs - 50);
  // The connection that waited is still good.
  EXPECT_EQ(inputs->iGetInputs(), 0);
  inputs->destroy();
}

}  // namespace
}  // namespace ocamera_test
