// ocam as a new user meets it: with its default addresses, against the
// factory-default address, and against a separately started ocamsim.
#include <gtest/gtest.h>
#include <signal.h>

#include <cstdlib>

#include "cli/fixture.h"
#include "common/netns.h"

namespace ocam_test {
namespace {

// Runs in a private network namespace (a forked child): a failed step returns its number.
int defaultsBody() {
  ScratchDirectory dir;
  {
    ocamsim::Options options;
    options.cameraPort = 8000;
    options.ioPort = 8080;
    ocamsim::Simulator sim(options);
    sim.start();
    if (ocam({"devices"}, dir.path()).exitCode != 0) return 10;
    if (ocam({"outputs", "set", "O1=on"}, dir.path()).exitCode != 0 || sim.outputs() != 2)
      return 11;
    // An I/O address without a port goes to port 8080.
    if (ocam({"leds", "-a", "127.0.0.1", "set", "LED_0_RED=on"}, dir.path()).exitCode != 0 ||
        sim.leds() != 1)
      return 12;
    // The address variables take the place of the built-in defaults.
    ProcessOptions elsewhere = ocamOptions(dir.path());
    elsewhere.environment.push_back("OCAM_ADDRESS=127.0.0.1:1");
    elsewhere.unset.clear();
    ProcessResult moved = run(ocamPath(), {"get", "shutter"}, elsewhere);
    if (moved.exitCode != 1 || moved.err.find("127.0.0.1:1") == std::string::npos) return 13;
  }
  {
    ocamsim::Options options;
    options.bindAddress = "192.168.0.42";
    options.cameraPort = 80;
    options.ioPort = 8080;
    ocamsim::Simulator sim(options);
    sim.start();
    if (ocam({"set", "-a", "factory", "shutter", "1234"}, dir.path()).exitCode != 0 ||
        sim.shutterTime() != 1234)
      return 20;
    if (ocam({"outputs", "-a", "factory", "set", "O3=on"}, dir.path()).exitCode != 0 ||
        sim.outputs() != 8)
      return 21;
    if (ocam({"devices", "-a", "factory"}, dir.path()).exitCode != 0) return 22;
  }
  // Nothing listens any more: the message names what "factory" stood for.
  ProcessResult camera = ocam({"get", "-a", "factory", "shutter"}, dir.path());
  if (camera.exitCode != 1 ||
      camera.err.find("192.168.0.42 (the factory default)") == std::string::npos)
    return 23;
  ProcessResult io = ocam({"leds", "-a", "factory"}, dir.path());
  if (io.exitCode != 1 ||
      io.err.find("192.168.0.42:8080 (the factory default)") == std::string::npos)
    return 24;
  return 0;
}

TEST(OcamSetup, DefaultAddressesReachTheLocalSimulatorAndTheFactoryAddress) {
  ocamera_test::NetnsOutcome outcome =
      ocamera_test::runInPrivateNetwork({"192.168.0.42"}, defaultsBody, 60000);
  if (!outcome.ran) GTEST_SKIP() << outcome.reason;
  EXPECT_EQ(outcome.exitCode, 0) << "step " << outcome.exitCode << " failed " << outcome.reason;
}

// An address where nothing answers at all: the connection attempt runs into
// the library's connect time-out of 2 s, and ocam says so in one line.
int silentAddressBody() {
  // Packets to 10.1.1.0/24 loop back and are dropped: no host, no refusal.
  if (std::system("ip route add 10.1.1.0/24 dev lo") != 0) return 1;
  ScratchDirectory dir;
  ProcessResult camera = ocam({"grab", "-a", "10.1.1.2", "-o", "out"}, dir.path());
  ProcessResult io = ocam({"leds", "-a", "10.1.1.2"}, dir.path());
  for (const ProcessResult *result : {&camera, &io}) {
    if (result->exitCode != 1 || !OneErrorLine(*result)) return 2;
    if (result->err.find("10.1.1.2") == std::string::npos ||
        result->err.find("timed out") == std::string::npos)
      return 3;
    if (result->elapsed < std::chrono::milliseconds(1500) ||
        result->elapsed > std::chrono::milliseconds(6000))
      return 4;
  }
  return filesIn(dir.path()).empty() ? 0 : 5;
}

TEST(OcamSetup, SilentAddressFailsAtTheConnectTimeout) {
  ocamera_test::NetnsOutcome outcome =
      ocamera_test::runInPrivateNetwork({}, silentAddressBody, 60000);
  if (!outcome.ran) GTEST_SKIP() << outcome.reason;
  EXPECT_EQ(outcome.exitCode, 0) << "step " << outcome.exitCode << " failed " << outcome.reason;
}

#ifdef OCAMSIM_PATH
// The tour of the demo script, against ocamsim started as its own program.
TEST(OcamSetup, TourAgainstAStartedSimulator) {
  ScratchDirectory dir;
  ProcessOptions simOptions;
  simOptions.timeout = std::chrono::seconds(100);
  Process simulator(OCAMSIM_PATH, {"--camera-port", "0", "--io-port", "0"}, simOptions);
  ASSERT_TRUE(simulator.waitForError("inputs/outputs/LEDs on", std::chrono::seconds(20)))
      << simulator.errorSoFar();
  // "ocamsim: camera on 127.0.0.1:P, inputs/outputs/LEDs on 127.0.0.1:Q"
  const std::string banner = simulator.errorSoFar();
  const std::string cameraMark = "camera on ", ioMark = "inputs/outputs/LEDs on ";
  std::size_t cameraAt = banner.find(cameraMark), ioAt = banner.find(ioMark);
  ASSERT_NE(cameraAt, std::string::npos) << banner;
  cameraAt += cameraMark.size();
  ioAt += ioMark.size();
  const std::string camera = banner.substr(cameraAt, banner.find(',', cameraAt) - cameraAt);
  const std::string io = banner.substr(ioAt, banner.find_first_of(" \n", ioAt) - ioAt);

  ProcessResult devices = ocam({"devices", "-a", camera}, dir.path());
  EXPECT_EQ(devices.exitCode, 0) << devices.err;
  EXPECT_EQ(linesOf(devices.out).size(), 5u) << devices.out;

  ProcessResult grab = ocam({"grab", "-a", camera, "-n", "10", "-o", "out"}, dir.path());
  ASSERT_EQ(grab.exitCode, 0) << grab.err;
  std::vector<std::string> files = filesIn(dir / "out");
  ASSERT_EQ(files.size(), 10u);
  for (const std::string &name : files) {
    Picture picture = readPng(dir / "out/" + name);
    EXPECT_EQ(picture.width, 1280) << name;
    EXPECT_EQ(picture.height, 1024) << name;
    EXPECT_GT(colouredPixels(picture), picture.rgb.size() / 3 / 2) << name << " is grey";
  }
  ProcessResult outputs = ocam({"outputs", "-a", io, "set", "O0=on", "O2=on"}, dir.path());
  EXPECT_EQ(outputs.exitCode, 0) << outputs.err;
  EXPECT_EQ(outputs.out,
            "O0            on\nO1            off\nO2            on\nO3            off\n");
  ProcessResult leds = ocam({"leds", "-a", io, "set", "LED_1_GREEN=on"}, dir.path());
  EXPECT_EQ(leds.exitCode, 0) << leds.err;
  EXPECT_EQ(linesOf(ocam({"leds", "-a", io}, dir.path()).out).at(3), "LED_1_GREEN   on");

  ASSERT_EQ(kill(simulator.pid(), SIGTERM), 0);
  ProcessResult ended = simulator.wait();
  EXPECT_EQ(ended.exitCode, 0) << ended.err;
  EXPECT_FALSE(ended.timedOut);
}
#endif

}  // namespace
}  // namespace ocam_test
