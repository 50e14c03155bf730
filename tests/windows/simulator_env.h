// Where the end-to-end tests find the Linux simulator that with_simulator.sh
// started for them, and how they ask it to restart.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace windows_test {

// "127.0.0.1:port" of the simulator's camera service.
inline std::string cameraAddress() {
  const char *value = std::getenv("OCAMERA_TEST_CAMERA");
  return value ? value : "";
}

// "127.0.0.1:port" of its inputs, outputs and LEDs.
inline std::string ioAddress() {
  const char *value = std::getenv("OCAMERA_TEST_IO");
  return value ? value : "";
}

// Asks with_simulator.sh to stop the simulator and start a new one on the
// same ports; the new one knows nothing of the old one's sessions.
inline void restartSimulator() {
  std::printf("\n@@restart-simulator\n");
  std::fflush(stdout);
}

// The tests need the simulator; without it they fail at once, naming why.
class WithSimulator : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(cameraAddress().empty())
        << "OCAMERA_TEST_CAMERA is not set: run through with_simulator.sh";
    ASSERT_FALSE(ioAddress().empty());
  }
};

}  // namespace windows_test
