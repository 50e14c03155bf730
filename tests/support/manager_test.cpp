// The device manager against the simulated camera: listing, choosing a device
// by type, the factory registry, connections and proxy settings.
#include <gtest/gtest.h>

#include <boost/function.hpp>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "ocamH.h"
#include "protocol/transport.h"
#include "sim_fixture.h"

namespace {

using mox::webservice::Descriptor;
using mox::webservice::WebServiceException;
using mox::webservice::client::Device;
using mox::webservice::client::DeviceManager;
using mox::webservice::client::Factory;
using mox::webservice::client::SoapCache;
using mox::webservice::client::SoapGuard;
using support_test::entry;

class Manager : public support_test::SimFixture {
 protected:
  // A factory that counts its calls under a name of its own.
  Factory countingFactory(std::vector<std::string> &calls, const std::string &name) {
    return [&calls, name](const Descriptor *d, SoapCache &cache) {
      calls.push_back(name);
      return support_test::makeDevice(d, cache);
    };
  }
};

TEST_F(Manager, ListCopiesEveryFieldInListingOrder) {
  ocamsim::DeviceEntry first = entry(4, "ONetCameraLEDs", 7);
  first.vendor = "vendor text";
  first.description = "four two-colour LEDs";
  first.versionMajor = 2;
  first.versionMinor = 5;
  first.status = "busy";
  startCamera(10, {first, entry(2, "ONetCamera", -1)});
  manager_->list();
  const auto &devices = manager_->devices();
  ASSERT_EQ(devices.size(), 2u);
  const Descriptor &d = devices.front();
  EXPECT_EQ(d.id, 4);
  EXPECT_EQ(d.vendor, "vendor text");
  EXPECT_EQ(d.type, "ONetCameraLEDs");
  EXPECT_EQ(d.description, "four two-colour LEDs");
  EXPECT_EQ(d.versionMajor, 2);
  EXPECT_EQ(d.versionMinor, 5);
  EXPECT_EQ(d.maxTimeout, 7);
  EXPECT_EQ(d.status, "busy");
  EXPECT_EQ(devices.back().id, 2);
  EXPECT_EQ(devices.back().maxTimeout, 10);
}

TEST_F(Manager, FirstOfTwoMatchingDevicesWins) {
  startCamera(10, {entry(5, "ONetCameraInputs"), entry(7, "ONetCamera"), entry(9, "ONetCamera")});
  auto device = manager_->createDevice("ONetCamera");
  ASSERT_TRUE(device);
  EXPECT_EQ(device->descriptor().id, 7);
  EXPECT_FALSE(device->isOpen());
  EXPECT_EQ(sim_->count("rdev:open"), 0u);  // the device comes back closed
  device->open(false, 3);
  EXPECT_TRUE(sim_->sessionOpen(device->token()));
  device->close();
}

TEST_F(Manager, TypeNamesCompareExactly) {
  startCamera(10, {entry(1, "ONETCAMERA"), entry(2, "onetcamera")});
  std::vector<std::string> calls;
  manager_->registerType("ONetCamera", countingFactory(calls, "exact"));
  manager_->registerType("ONETCAMERA", countingFactory(calls, "upper"));
  EXPECT_FALSE(manager_->createDevice("ONetCamera"));
  EXPECT_TRUE(calls.empty());
  EXPECT_EQ(manager_->devices().size(), 2u);  // listed, just not matching

  auto upper = manager_->createDevice("ONETCAMERA");
  ASSERT_TRUE(upper);
  EXPECT_EQ(upper->descriptor().id, 1);
  EXPECT_EQ(calls, std::vector<std::string>{"upper"});
}

TEST_F(Manager, ListedTypeWithoutFactoryIsNotRegistered) {
  startCamera(10, {entry(1, "ONetCamera"), entry(3, "ONetCameraOutputs")});
  std::vector<std::string> calls;
  manager_->registerType("ONetCamera", countingFactory(calls, "camera"));
  try {
    manager_->createDevice("ONetCameraOutputs");
    ADD_FAILURE() << "createDevice did not raise";
  } catch (const WebServiceException &e) {
    EXPECT_EQ(e.message(), "type not registered");
  }
  EXPECT_TRUE(calls.empty());
}

TEST_F(Manager, LaterFactoryReplacesTheEarlierAndAnEmptyOneCannotBeCalled) {
  startCamera(10);
  std::vector<std::string> calls;
  manager_->registerType("ONetCamera", countingFactory(calls, "first"));
  manager_->registerType("ONetCamera", countingFactory(calls, "second"));
  EXPECT_TRUE(manager_->createDevice("ONetCamera"));
  EXPECT_EQ(calls, std::vector<std::string>{"second"});

  manager_->registerType("ONetCamera", Factory());
  EXPECT_THROW(manager_->createDevice("ONetCamera"), boost::bad_function_call);
}

TEST_F(Manager, FailedListingEmptiesTheList) {
  startCamera(10, {entry(1, "ONetCamera"), entry(2, "ONetCameraInputs")});
  manager_->list();
  ASSERT_EQ(manager_->devices().size(), 2u);
  sim_->inject(ocamsim::Fault{ocamsim::FaultKind::SoapFault, "rdev:list"});
  try {
    manager_->list();
    ADD_FAILURE() << "list did not raise";
  } catch (const WebServiceException &e) {
    EXPECT_EQ(e.message(), "SOAP-ENV:Server: simulated fault");
  }
  EXPECT_TRUE(manager_->devices().empty());
  EXPECT_THROW(manager_->createDevice("ONetCamera"), WebServiceException);
  EXPECT_EQ(manager_->soapCache().lentCount(), 0u);

  sim_->clearFaults();
  EXPECT_TRUE(manager_->createDevice("ONetCamera"));
}

// Without keep-alive every request opens its own connection; with it each of
// the four pooled contexts keeps one.
TEST_F(Manager, KeepAliveDecidesHowManyConnectionsTheCameraSees) {
  startCamera(10);
  for (bool keepAlive : {false, true}) {
    DeviceManager manager(sim_->cameraAddress(), keepAlive, "", 0);
    const std::size_t before = sim_->connectionsAccepted();
    for (int i = 0; i < 8; ++i) manager.list();
    EXPECT_EQ(sim_->connectionsAccepted() - before, keepAlive ? 4u : 8u)
        << "keepAlive " << keepAlive;
    EXPECT_EQ(manager.devices().size(), 1u);
  }
}

TEST_F(Manager, ProxyNeedsBothHostAndPort) {
  startCamera(10);
  support_test::RefusedPort proxy;
  DeviceManager noPort(sim_->cameraAddress(), true, "127.0.0.1", 0);
  EXPECT_NO_THROW(noPort.list());
  DeviceManager noHost(sim_->cameraAddress(), true, "", proxy.port());
  EXPECT_NO_THROW(noHost.list());
  // With both, requests go to the proxy, which refuses them.
  DeviceManager proxied(sim_->cameraAddress(), true, "127.0.0.1", proxy.port());
  EXPECT_THROW(proxied.list(), WebServiceException);
  settle();
  EXPECT_EQ(sim_->count("rdev:list"), 2u);
}

// A context whose raising lease failed is closed but still usable: the same
// context then reaches the camera.
TEST_F(Manager, ContextWorksAgainAfterARaisingLeaseFailed) {
  startCamera(10);
  support_test::RefusedPort refused;
  char endpoint[64];
  std::strcpy(endpoint, refused.address().c_str());
  struct soap prototype(SOAP_IO_KEEPALIVE, SOAP_IO_KEEPALIVE);
  ocamera::wire::configure(&prototype);
  prototype.connect_timeout = 2;
  SoapCache cache(&prototype, endpoint, 1);

  struct soap *failed = nullptr;
  try {
    SoapGuard lease(cache, true);
    failed = lease.context();
    ocam::rdev__listResponse result;
    ocam::soap_call_rdev__list(lease.context(), lease.endpoint(), "", result);
    lease.finish();
    ADD_FAILURE() << "finish did not raise";
  } catch (const WebServiceException &e) {
    EXPECT_EQ(e.message(), support_test::refusedConnectionText());
  }

  std::strcpy(endpoint, sim_->cameraAddress().c_str());
  for (int i = 0; i < 2; ++i) {
    SoapGuard lease(cache, true);
    EXPECT_EQ(lease.context(), failed);
    ocam::rdev__listResponse result;
    EXPECT_EQ(ocam::soap_call_rdev__list(lease.context(), lease.endpoint(), "", result), SOAP_OK);
    EXPECT_EQ(result.__sizedevices, 1);
    EXPECT_NO_THROW(lease.finish());
  }
  settle();
  EXPECT_EQ(sim_->count("rdev:list"), 2u);
  EXPECT_EQ(sim_->connectionsAccepted(), 1u);  // kept alive between the two
}

}  // namespace
