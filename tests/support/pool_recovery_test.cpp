// The pool against a camera with limited connection slots: idle connections
// beyond the pool's four are given back, and a refused connection gets one
// more try on a fresh one.
#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <thread>
#include <vector>

#include "ocamH.h"
#include "ocamera/inputs.h"
#include "sim/simulator.h"
#include "stdsoap2.h"
#include "support/device_manager.h"
#include "support/soap_cache.h"

namespace {

using mox::webservice::client::DeviceManager;
using mox::webservice::client::SoapItem;

TEST(PoolRecovery, AfterABurstTheObjectKeepsOnlyItsFourConnections) {
  ocamsim::Options options;
  options.cameraPort = -1;
  options.maxConnections = 8;
  ocamsim::Simulator sim(options);
  sim.start();
  OCameraInputs *burst = CreateCameraInputs(sim.ioAddress().c_str());
  ASSERT_NE(burst, nullptr);
  ASSERT_EQ(burst->iOpen(), 0);
  ASSERT_EQ(burst->iSetTimeout(300), 0);
  // Eight waits at once that the inputs (all low) never satisfy: each needs a
  // connection of its own, the eight slots of the camera are all taken.
  std::vector<std::thread> waits;
  std::atomic<int> timedOut{0};
  for (int i = 0; i < 8; ++i)
    waits.emplace_back([&] {
      if (burst->iWaitForInput(OCameraInputs::INPUT_I0, 1) == ocamsim::status::kTimeout) ++timedOut;
    });
  for (std::thread &t : waits) t.join();
  EXPECT_GT(timedOut.load(), 4);
  EXPECT_TRUE(sim.waitForOpenConnections(4, 5000)) << sim.openConnections() << " still open";

  // The slots given back serve another object.
  OCameraInputs *other = CreateCameraInputs(sim.ioAddress().c_str());
  ASSERT_NE(other, nullptr);
  EXPECT_EQ(other->iOpen(), 0);
  EXPECT_GE(other->iGetInputs(), 0);
  other->destroy();
  burst->destroy();
}

// A connect hook that refuses the first attempt and then connects as the
// runtime does.
std::atomic<int> connects{0};
SOAP_SOCKET (*runtimeOpen)(struct soap *, const char *, const char *, int) = nullptr;

SOAP_SOCKET refuseFirst(struct soap *ctx, const char *endpoint, const char *host, int port) {
  if (connects++ == 0) {
    ctx->errnum = ECONNREFUSED;
    soap_set_receiver_error(ctx, "Connection refused", "connect failed in tcp_connect()",
                            SOAP_TCP_ERROR);
    return SOAP_INVALID_SOCKET;
  }
  return runtimeOpen(ctx, endpoint, host, port);
}

TEST(PoolRecovery, ARefusedConnectionIsTriedOnceMore) {
  ocamsim::Options options;
  options.ioPort = -1;
  ocamsim::Simulator sim(options);
  sim.start();
  DeviceManager manager(sim.cameraAddress(), true, "", 0);
  std::vector<SoapItem *> items;
  for (int i = 0; i < 4; ++i) items.push_back(manager.soapCache().acquire());
  runtimeOpen = items[0]->context()->fopen;
  for (SoapItem *item : items) item->context()->fopen = refuseFirst;
  for (SoapItem *item : items) manager.soapCache().release(item);

  EXPECT_NO_THROW(manager.list());
  EXPECT_FALSE(manager.devices().empty());
  EXPECT_EQ(connects.load(), 2);
}

}  // namespace
