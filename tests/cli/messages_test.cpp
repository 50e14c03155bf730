// What ocam tells a user when the camera refuses something or an address is
// wrong: the value refused and why, in one line, with the right exit code.
#include <gtest/gtest.h>
#include <ocamera/ocamera.h>

#include <functional>

#include "cli/fixture.h"

namespace ocam_test {
namespace {

struct Expected {
  std::vector<std::string> args;
  int exitCode;
  std::vector<std::string> says;
};

void expectEach(const std::vector<Expected> &cases,
                const std::function<ProcessResult(const std::vector<std::string> &)> &run) {
  for (const Expected &c : cases) {
    std::string line;
    for (const std::string &a : c.args) line += a + " ";
    ProcessResult result = run(c.args);
    EXPECT_EQ(result.exitCode, c.exitCode) << line << "\n" << result.err;
    EXPECT_TRUE(OneErrorLine(result)) << line;
    for (const std::string &text : c.says)
      EXPECT_NE(result.err.find(text), std::string::npos) << line << "\n" << result.err;
    // The runtime's internals are never part of a message.
    EXPECT_EQ(result.err.find("tcp_connect"), std::string::npos) << result.err;
  }
}

TEST_F(OcamTest, RefusalsNameTheValueAndTheReason) {
  sim.inject({ocamsim::FaultKind::Status, "sout:iSetOutput", 0, 0, -23});
  sim.inject({ocamsim::FaultKind::Status, "scam:setGain", 0, 0, -15});
  expectEach({{{"set", "-a", camera(), "gain", "9"}, 1, {"refused gain 9", "(status -15)"}},
              {{"registers", "-a", camera(), "get", "NO_SUCH"},
               1,
               {"no register NO_SUCH", "'ocam registers list'"}},
              {{"registers", "-a", camera(), "set", "CHIP_VERSION=1"},
               1,
               {"register CHIP_VERSION is read-only"}},
              {{"registers", "-a", camera(), "set", "ANALOG_GAIN=0x10000"},
               1,
               {"refused the value 0x00010000 for ANALOG_GAIN"}},
              // The simulated image RAM holds 16 MiB; the message says so.
              {{"ram", "-a", camera(), "read", "0xFFFFFFF0", "16", "-f", "x.bin"},
               1,
               {"does not fit the image RAM", "holds 16777216 bytes (0x00000000-0x00ffffff)"}},
              {{"ram", "-a", camera(), "read", "0", "100000000", "-f", "x.bin"},
               1,
               {"0x00000000 + 100000000 bytes", "holds 16777216 bytes"}},
              {{"outputs", "-a", io(), "set", "O1=on"}, 1, {"overload", "OVERLOAD_UNLOCK=on"}}},
             [&](const std::vector<std::string> &args) { return run(args); });
  EXPECT_EQ(sim.count("scam:setSensorRegister"), 2u);
  EXPECT_TRUE(filesIn(dir.path()).empty());
}

TEST_F(OcamTest, WrongAddressesAreUsageErrorsAndRefusalsStayPlain) {
  expectEach({{{"get", "-a", "127.0.0.1:70000", "shutter"}, 2, {"port '70000'", "1-65535"}},
              {{"get", "-a", "127.0.0.1:0", "shutter"}, 2, {"port '0'"}},
              {{"leds", "-a", "127.0.0.1:"}, 2, {"1-65535"}},
              {{"devices", "-a", "[::1]:99999"}, 2, {"port '99999'"}},
              {{"devices", "-a", "ftp://127.0.0.1:8000"}, 2, {"not host[:port]"}}},
             [&](const std::vector<std::string> &args) { return run(args); });
  EXPECT_EQ(sim.log().size(), 0u) << "a wrong address sent requests";
}

// A camera whose device list describes its sensor: a refused window names it.
class OcamDescribedSensor : public ::testing::Test {
 protected:
  static ocamsim::Options options() {
    ocamsim::Options o;
    const char *types[] = {"ONetCamera", "ONetCameraInputs", "ONetCameraOutputs", "ONetCameraLEDs"};
    for (int i = 0; i < 4; ++i) {
      ocamsim::DeviceEntry d;
      d.id = i + 1;
      d.type = types[i];
      d.description = i == 0 ? "colour camera, 1280x1024 sensor" : "I/O";
      o.devices.push_back(d);
    }
    return o;
  }
  ocamsim::Simulator sim{options()};
  ScratchDirectory dir;
};

TEST_F(OcamDescribedSensor, RefusedWindowNamesTheSensorSize) {
  sim.start();
  ProcessResult result =
      ocam({"set", "-a", sim.cameraAddress(), "window", "0,0,2000,480"}, dir.path());
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_TRUE(OneErrorLine(result));
  EXPECT_NE(result.err.find("the window 0,0,2000,480 does not lie inside the sensor (1280x1024)"),
            std::string::npos)
      << result.err;
}

TEST_F(OcamTest, MaxImagesIsExplainedWhileClosedAndCountedWhileOpen) {
  ProcessResult closed = run({"get", "-a", camera(), "max-images"});
  EXPECT_EQ(closed.exitCode, 0) << closed.err;
  EXPECT_EQ(closed.out, "0\n");
  EXPECT_NE(closed.err.find("not open"), std::string::npos) << closed.err;

  // Another session has the camera open with 7 buffers, as a grab would.
  OCamera *holder = CreateCameraInterface(OCamera::CAM_TYPE_GENERIC, camera().c_str());
  ASSERT_NE(holder, nullptr);
  ASSERT_EQ(holder->open(640 * 480, 7), 0);
  ProcessResult open = run({"get", "-a", camera(), "max-images"});
  EXPECT_EQ(open.exitCode, 0) << open.err;
  EXPECT_EQ(open.out, "7\n");
  EXPECT_EQ(open.err, "");
  holder->close();
  holder->destroy();
}

}  // namespace
}  // namespace ocam_test
