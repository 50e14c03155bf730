// A simulated camera with one device manager and plain mox devices on it, for
// the session and device-manager tests.
#pragma once

#include <gtest/gtest.h>

#include <boost/make_shared.hpp>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "sim/simulator.h"
#include "support/device.h"
#include "support/device_manager.h"
#include "support/soap_cache.h"
#include "support_helpers.h"

namespace support_test {

using Clock = std::chrono::steady_clock;

inline long msBetween(Clock::time_point from, Clock::time_point to) {
  return static_cast<long>(
      std::chrono::duration_cast<std::chrono::milliseconds>(to - from).count());
}

inline ocamsim::DeviceEntry entry(int id, const std::string &type, int maxTimeout = -1) {
  ocamsim::DeviceEntry e;
  e.id = id;
  e.type = type;
  e.maxTimeout = maxTimeout;
  return e;
}

inline boost::shared_ptr<mox::webservice::client::Device> makeDevice(
    const mox::webservice::Descriptor *descriptor, mox::webservice::client::SoapCache &cache) {
  return boost::make_shared<mox::webservice::client::Device>(descriptor, cache);
}

class SimFixture : public ::testing::Test {
 protected:
  ~SimFixture() override {
    if (device_) device_->close();
    device_.reset();
    manager_.reset();
    sim_.reset();
  }

  // Starts a camera listing the given devices (type "ONetCamera" with id 1 and
  // this time-out when none are given) and a keep-alive manager on it.
  void startCamera(int maxTimeout, std::vector<ocamsim::DeviceEntry> devices = {}) {
    ocamsim::Options options;
    options.ioPort = -1;
    options.maxTimeout = maxTimeout;
    options.devices =
        devices.empty() ? std::vector<ocamsim::DeviceEntry>{entry(1, "ONetCamera")} : devices;
    sim_ = std::make_unique<ocamsim::Simulator>(options);
    sim_->start();
    manager_ = std::make_unique<mox::webservice::client::DeviceManager>(sim_->cameraAddress(), true,
                                                                        "", 0);
    manager_->registerType("ONetCamera", makeDevice);
  }

  // startCamera, then the device of type "ONetCamera", closed.
  void startDevice(int maxTimeout) {
    startCamera(maxTimeout);
    device_ = manager_->createDevice("ONetCamera");
    ASSERT_TRUE(device_);
  }

  // The log entries of one operation, in arrival order.
  std::vector<ocamsim::LogEntry> entries(const std::string &operation) const {
    std::vector<ocamsim::LogEntry> out;
    for (const ocamsim::LogEntry &e : sim_->log())
      if (e.operation == operation) out.push_back(e);
    return out;
  }

  // The camera logs a request just after answering it, so a reply can reach
  // the client before its log entry exists. Stopping the camera makes the log
  // final; exact counts are read after this.
  void settle() { sim_->stop(); }

  // Waits for the n-th request of `operation` and returns when it was seen.
  Clock::time_point seen(const std::string &operation, std::size_t n, int timeoutMs = 5000) {
    EXPECT_TRUE(sim_->waitForCount(operation, n, timeoutMs)) << operation << " #" << n;
    return Clock::now();
  }

  // Declared first so that it outlives the keep-alive thread, which writes to std::cout.
  CapturedStdout out_;
  std::unique_ptr<ocamsim::Simulator> sim_;
  std::unique_ptr<mox::webservice::client::DeviceManager> manager_;
  boost::shared_ptr<mox::webservice::client::Device> device_;
};

}  // namespace support_test
