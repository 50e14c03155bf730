// Creation, tear-down and lost cameras.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <string>

#include "camera/camera_support.h"
#include "common/loopback_port.h"
#include "common/netns.h"
#include "ocamera/export.h"
#include "ocamera/status.h"

namespace camera_test {
namespace {

using ocamsim::Fault;
using ocamsim::FaultKind;

constexpr int kWait = 5000;  // ms: the simulator logs a request just after answering it

using ocamera_test::LoopbackPort;

CameraHandle createOn(const std::string &address) {
  return CameraHandle(CreateCameraInterface(OCamera::CAM_TYPE_IBIS1300, address.c_str()));
}

TEST(CameraCreation, NoCameraDeviceListed) {
  ocamsim::Options options;
  ocamsim::DeviceEntry inputs;
  inputs.id = 2;
  inputs.type = "ONetCameraInputs";
  options.devices = {inputs};
  auto sim = startSimulator(options);
  StderrCapture err;
  EXPECT_EQ(createOn(sim->cameraAddress()), nullptr);
  EXPECT_EQ(err.text(), "Camera not found\n");
  EXPECT_EQ(ocamera::lastCreationError(), "cannot create the camera at " + sim->cameraAddress() +
                                              ": the camera lists no ONetCamera device");
  EXPECT_TRUE(sim->waitForCount("rdev:list", 1, kWait));
  EXPECT_EQ(sim->count("rdev:open"), 0u);
}

TEST(CameraCreation, CreateRefusedClosesTheSession) {
  auto sim = startSimulator();
  sim->inject(Fault{FaultKind::Status, "scam:create", 0, 0, 5});
  StderrCapture err;
  EXPECT_EQ(createOn(sim->cameraAddress()), nullptr);
  EXPECT_EQ(err.text(), "Create failed\n");
  EXPECT_EQ(ocamera::lastCreationError(),
            "cannot create the camera at " + sim->cameraAddress() +
                ": setting up the service: the camera refused (status 5)");
  EXPECT_TRUE(sim->waitForCount("rdev:close", 1, kWait));
  EXPECT_EQ(sim->openSessions(), 0u);
}

TEST(CameraCreation, UnreachableCamera) {
  std::string address;
  {
    LoopbackPort closed;  // bound, never listening: connections are refused
    address = closed.address();
    StderrCapture err;
    EXPECT_EQ(createOn(address), nullptr);
    const std::string text = err.text();
    EXPECT_NE(text.find("connect failed"), std::string::npos) << text;
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1) << text;
    // The reason in words, without the runtime's fault text.
    EXPECT_EQ(ocamera::lastCreationError(), "cannot create the camera at " + address +
                                                ": listing the devices: connection refused");
  }
  // A peer that never accepts: the connect time-out ends the attempt.
  LoopbackPort full(0);
  LoopbackPort filler;
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(static_cast<uint16_t>(full.port()));
  ::connect(filler.fd(), reinterpret_cast<sockaddr *>(&addr), sizeof addr);  // fills the backlog
  StderrCapture err;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(createOn(full.address()), nullptr);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
  EXPECT_FALSE(err.text().empty());
}

TEST(CameraCreation, NullAddress) {
  StderrCapture err;
  EXPECT_EQ(CreateCameraInterface(OCamera::CAM_TYPE_GENERIC, nullptr), nullptr);
  const std::string text = err.text();
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1) << text;
  EXPECT_EQ(ocamera::lastCreationError(), "cannot create the camera: no camera address given");
}

TEST(CameraCreation, TwoObjectsAreTwoSessions) {
  auto sim = startSimulator();
  CameraHandle a = createOn(sim->cameraAddress());
  CameraHandle b = createOn(sim->cameraAddress());
  ASSERT_NE(a, nullptr);
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(ocamera::lastCreationError(), "") << "a success leaves no reason behind";
  EXPECT_TRUE(sim->waitForCount("scam:create", 2, kWait));
  EXPECT_EQ(sim->openSessions(), 2u);
  a.reset();
  EXPECT_EQ(sim->openSessions(), 1u);
  EXPECT_EQ(b->setGain(2), 0) << "the other session is untouched";
}

// The scripted peer records each request before it answers, so its order is
// the order in which the requests were sent.
TEST(CameraTearDown, DestroyThenCloseReturningTheStatus) {
  ScriptedCamera scripted;
  OCamera *camera = scripted.create().release();
  ASSERT_NE(camera, nullptr);
  scripted.answerStatus("scam:destroy", 4);
  EXPECT_EQ(camera->destroy(), 4);
  std::vector<std::string> sent;
  for (const auto &request : scripted.requests()) sent.push_back(operationOf(request));
  const auto destroyAt = std::find(sent.begin(), sent.end(), "scam:destroy");
  ASSERT_NE(destroyAt, sent.end());
  EXPECT_EQ(std::vector<std::string>(destroyAt, sent.end()),
            (std::vector<std::string>{"scam:destroy", "rdev:close"}));
  EXPECT_EQ(std::count(sent.begin(), sent.end(), "scam:close"), 0)
      << "tear-down sends no scam:close";
}

TEST(CameraTearDown, VanishedCamera) {
  auto sim = startSimulator();
  OCamera *camera = CreateCameraInterface(OCamera::CAM_TYPE_GENERIC, sim->cameraAddress().c_str());
  ASSERT_NE(camera, nullptr);
  sim->stop();
  EXPECT_EQ(camera->destroy(), -1);  // everything is freed: the leak checker watches
}

TEST(CameraLostConnection, FailuresThenRecovery) {
  auto sim = startSimulator();
  const int port = sim->cameraPort();
  CameraHandle camera = createOn(sim->cameraAddress());
  ASSERT_NE(camera, nullptr);
  const char *const *names = camera->getSensorRegisterNames();
  ASSERT_NE(names, nullptr);
  ASSERT_NE(names[0], nullptr);
  const std::string firstName = names[0];

  sim->stop();
  EXPECT_EQ(camera->getImageCount(), 0);
  EXPECT_EQ(camera->getMaxImageCount(), -1);
  EXPECT_EQ(camera->getSensorRegisterNames(), nullptr);
  EXPECT_EQ(names[0], firstName) << "the earlier list stays valid";

  ocamsim::Options again;
  again.cameraPort = port;
  auto back = startSimulator(again);
  const int count = camera->getMaxImageCount();
  ASSERT_TRUE(back->waitForCount("scam:getMaxImageCount", 1, kWait));
  EXPECT_EQ(count, back->log().back().status);
}

// The static factory talks to the factory-default address on port 80; it runs in
// a network namespace of its own where that address is on the loopback only.
TEST(CameraStaticFactory, ReachesTheDefaultAddressOnPort80) {
  const auto outcome = ocamera_test::runInPrivateNetwork({ocamera::kFactoryDefaultAddress}, [] {
    ocamsim::Options options;
    options.bindAddress = ocamera::kFactoryDefaultAddress;
    options.cameraPort = 80;
    options.ioPort = -1;
    ocamsim::Simulator sim(options);
    sim.start();
    OCamera *camera = OCamera::CreateCameraInterface(OCamera::CAM_TYPE_GENERIC);
    if (!camera) return 1;
    const int gain = camera->setGain(3);
    const int destroyed = camera->destroy();
    if (gain != 0 || destroyed != 0) return 2;
    for (const char *op : {"scam:create", "scam:setGain", "scam:destroy", "rdev:close"})
      if (!sim.waitForCount(op, 1, kWait) || sim.count(op) != 1) return 3;
    for (const auto &entry : sim.log())
      if (entry.port != 80) return 4;
    return 0;
  });
  if (!outcome.ran) GTEST_SKIP() << "no private network namespace: " << outcome.reason;
  EXPECT_EQ(outcome.exitCode, 0) << outcome.reason;
}

}  // namespace
}  // namespace camera_test
