// Ctrl-C and SIGTERM end a command cleanly: the acquisition stopped, the camera
// closed, the session ended and no temporary file left, with exit status 130.
#include <gtest/gtest.h>
#include <ocamera/ocamera.h>
#include <signal.h>

#include "cli/fixture.h"

namespace ocam_test {
namespace {

using std::chrono::steady_clock;

// A stop waits for the image request in flight (the stream's read time-out)
// and sends a few requests; far less than this even on a busy machine.
constexpr auto kCleanEnd = std::chrono::seconds(10);

TEST_F(OcamTest, InterruptedGrabClosesTheCameraAndLeavesNoPartialFile) {
  Process grab(ocamPath(), {"grab", "-a", camera(), "-n", "1000", "-o", "out"},
               ocamOptions(dir.path()));
  ASSERT_TRUE(sim.waitForCount("scam:getSingleImage", 5, 30000));
  ASSERT_EQ(kill(grab.pid(), SIGINT), 0);
  const steady_clock::time_point signalled = steady_clock::now();
  ProcessResult result = grab.wait();
  EXPECT_LT(steady_clock::now() - signalled, kCleanEnd);
  EXPECT_EQ(result.exitCode, 130) << result.err;
  EXPECT_TRUE(OneErrorLine(result));
  EXPECT_NE(result.err.find("interrupted"), std::string::npos) << result.err;
  // Done before ocam exited, not by the session's expiry.
  EXPECT_EQ(sim.openSessions(), 0u);
  EXPECT_EQ(sim.count("scam:close"), 1u);
  EXPECT_EQ(sim.acquisitionMode(), OCamera::ACQ_MODE_STOP);
  std::vector<std::string> written = filesIn(dir / "out");
  EXPECT_LT(written.size(), 1000u);
  for (const std::string &name : written) EXPECT_NE(name[0], '.') << name;
  // The camera is free for the next command at once.
  ProcessResult next = run({"grab", "-a", camera(), "-o", "again"});
  EXPECT_EQ(next.exitCode, 0) << next.err;
}

TEST_F(OcamTest, ViewServesUntilCtrlCThenStopsTheCameraAndEndsItsSessions) {
  Process view(ocamPath(), {"view", "-a", camera(), "--io-address", io(), "--port", "0"},
               ocamOptions(dir.path()));
  ASSERT_TRUE(sim.waitForCount("scam:getSingleImage", 5, 30000));
  ASSERT_TRUE(sim.waitForCount("sinp:iGetInputs", 1, 30000));
  ASSERT_EQ(kill(view.pid(), SIGINT), 0);
  const steady_clock::time_point signalled = steady_clock::now();
  ProcessResult result = view.wait();
  EXPECT_LT(steady_clock::now() - signalled, kCleanEnd);
  EXPECT_EQ(result.exitCode, 130) << result.err;
  // The address to open, on this machine only, with its token.
  EXPECT_NE(result.out.find("open http://127.0.0.1:"), std::string::npos) << result.out;
  EXPECT_NE(result.out.find("/?token="), std::string::npos) << result.out;
  EXPECT_NE(result.out.find("camera stopped"), std::string::npos) << result.out;
  EXPECT_EQ(sim.openSessions(), 0u);  // the camera's and the I/O services'
  EXPECT_EQ(sim.count("scam:close"), 1u);
  EXPECT_EQ(sim.acquisitionMode(), OCamera::ACQ_MODE_STOP);
}

TEST_F(OcamTest, ContinuousGrabShowsStatusAndEndsOnSigtermWithStatistics) {
  Process grab(ocamPath(), {"grab", "-a", camera(), "--continuous", "--json"},
               ocamOptions(dir.path()));
  // A status line comes within the first second or so, before any signal.
  ASSERT_TRUE(grab.waitForError("frames/s", std::chrono::seconds(30))) << grab.errorSoFar();
  EXPECT_NE(grab.errorSoFar().find("dropped"), std::string::npos) << grab.errorSoFar();
  ASSERT_EQ(kill(grab.pid(), SIGTERM), 0);
  const steady_clock::time_point signalled = steady_clock::now();
  ProcessResult result = grab.wait();
  EXPECT_LT(steady_clock::now() - signalled, kCleanEnd);
  EXPECT_EQ(result.exitCode, 130) << result.err;
  EXPECT_EQ(sim.openSessions(), 0u);
  EXPECT_EQ(sim.count("scam:close"), 1u);
  // One JSON object with the totals on standard output.
  ASSERT_EQ(linesOf(result.out).size(), 1u) << result.out;
  EXPECT_EQ(result.out.rfind("{\"frames\": ", 0), 0u) << result.out;
  for (const char *key : {"\"dropped\": ", "\"missing\": ", "\"recoveries\": ",
                          "\"frames_per_second\": ", "\"interrupted\": true"})
    EXPECT_NE(result.out.find(key), std::string::npos) << key << " in " << result.out;
}

TEST_F(OcamTest, InterruptedInputWaitSaysSoAndEndsTheSessionWhenTheCameraReplies) {
  Process waiter(ocamPath(), {"inputs", "-a", io(), "--wait", "I0", "--timeout", "5000"},
                 ocamOptions(dir.path()));
  ASSERT_TRUE(sim.waitForInputWaits(1, 20000));
  ASSERT_EQ(kill(waiter.pid(), SIGINT), 0);
  // Told while the camera still waits, not once it replied.
  EXPECT_TRUE(waiter.waitForError("interrupted;", std::chrono::seconds(20))) << waiter.errorSoFar();
  EXPECT_TRUE(sim.waitForInputWaits(1, 0));
  ProcessResult result = waiter.wait();
  EXPECT_EQ(result.exitCode, 130) << result.err;
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(sim.openSessions(), 0u);
}

TEST_F(OcamTest, ReaderOfStandardOutputGoingAwayFailsTheWriteNotTheSession) {
  ProcessOptions options = ocamOptions(dir.path());
  options.environment.push_back(std::string("OCAM=") + ocamPath());
  options.environment.push_back("CAMERA=" + camera());
  ProcessResult result =
      ocam_test::run("/bin/bash",
                     {"-c",
                      "\"$OCAM\" ram -a \"$CAMERA\" read 0 0x400000 -f - | head -c 10 > /dev/null; "
                      "echo ${PIPESTATUS[0]}"},
                     options);
  EXPECT_EQ(result.out, "1\n") << result.err;
  EXPECT_NE(result.err.find("Broken pipe"), std::string::npos) << result.err;
  EXPECT_EQ(sim.openSessions(), 0u);
}

}  // namespace
}  // namespace ocam_test
