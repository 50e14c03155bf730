// ocam grab on top of the stream, run as a process: a timed continuous run
// that outlives a restart of the camera, and the modes without a trigger.
#include <gtest/gtest.h>
#include <ocamera/camera.h>

#include "cli/fixture.h"

namespace ocam_test {
namespace {

TEST_F(OcamTest, GrabForSecondsRidesOutACameraRestartAndCountsIt) {
  const int port = sim.cameraPort();
  ProcessOptions options = ocamOptions(dir.path());
  options.timeout = std::chrono::seconds(60);
  Process grab(ocamPath(),
               {"grab", "-a", camera(), "--seconds", "4", "--width", "320", "--height", "240"},
               options);
  ASSERT_TRUE(sim.waitForCount("scam:getSingleImage", 5, 10000));
  sim.stop();
  ASSERT_TRUE(grab.waitForError("camera lost", std::chrono::seconds(10))) << grab.errorSoFar();
  ocamsim::Options again = simOptions();
  again.cameraPort = port;
  again.ioPort = -1;
  ocamsim::Simulator restarted(again);
  restarted.start();
  ASSERT_TRUE(grab.waitForError("camera back", std::chrono::seconds(10))) << grab.errorSoFar();
  ProcessResult result = grab.wait();
  ASSERT_EQ(result.exitCode, 0) << result.err;
  EXPECT_FALSE(result.timedOut);
  EXPECT_NE(result.out.find("of 320x240 in"), std::string::npos) << result.out;
  EXPECT_NE(result.out.find("recoveries 1"), std::string::npos) << result.out;
  // The window was made again on the new camera, and the run ended cleanly there.
  EXPECT_EQ(restarted.lastSetting("scam:setCameraWindow"), "0 0 320 240");
  EXPECT_GE(restarted.count("scam:getSingleImage"), 1u);
  EXPECT_EQ(restarted.acquisitionMode(), OCamera::ACQ_MODE_STOP);
  EXPECT_TRUE(restarted.waitForOpenConnections(0, 5000));
  EXPECT_EQ(restarted.openSessions(), 0u);
  EXPECT_TRUE(filesIn(dir.path()).empty()) << "a continuous run writes no files";
}

TEST_F(OcamTest, GrabTriggersOnlyInTheModesThatTakeATrigger) {
  ProcessResult slave = run({"grab", "-a", camera(), "-n", "2", "--mode", "free-run-slave",
                             "--width", "64", "--height", "48", "--raw"});
  ASSERT_EQ(slave.exitCode, 0) << slave.err;
  EXPECT_EQ(sim.count("scam:triggerImage"), 0u);
  EXPECT_EQ(filesIn(dir.path()), (std::vector<std::string>{"frame-0001.raw", "frame-0002.raw"}));
  // Exactly the frames written were fetched: the last one the camera sent is the last file.
  std::vector<std::uint8_t> last = sim.lastImage();
  EXPECT_EQ(readFile(dir / "frame-0002.raw"), std::string(last.begin(), last.end()));
  EXPECT_EQ(sim.count("scam:getSingleImage"), 2u);
  EXPECT_EQ(slave.out.find("default window"), std::string::npos) << slave.out;

  ProcessResult select = run(
      {"grab", "-a", camera(), "-n", "3", "--mode", "select-shot", "--raw", "--prefix", "select"});
  ASSERT_EQ(select.exitCode, 0) << select.err;
  EXPECT_EQ(sim.count("scam:triggerImage"), 3u);
  // A grab keeps the window it used in the camera's record, and the next grab
  // without a size takes it from there, saying so.
  EXPECT_NE(select.out.find("3 frames of 64x48 at 0,0 (the window recorded for this camera"),
            std::string::npos)
      << select.out;

  ProcessResult help = run({"grab", "--help"});
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_NE(help.out.find("persists"), std::string::npos) << help.out;
  EXPECT_NE(help.out.find("--seconds"), std::string::npos) << help.out;
}

}  // namespace
}  // namespace ocam_test
