// The options every command shares (--version, -v, --timeout), the library's
// lines on standard error, --json output and the bash completion script.
#include <gtest/gtest.h>

#include <algorithm>

#include "cli/fixture.h"
#include "common/loopback_port.h"

namespace ocam_test {
namespace {

TEST(OcamOptions, VersionOfOcamAndOcamsimAgree) {
  ScratchDirectory dir;
  ProcessResult ocamVersion = ocam({"--version"}, dir.path());
  EXPECT_EQ(ocamVersion.exitCode, 0);
  EXPECT_EQ(ocamVersion.out, std::string("ocam ") + OCAMERA_VERSION + "\n");
  // Each command answers it too (the manual pages are made that way).
  EXPECT_EQ(ocam({"grab", "--version"}, dir.path()).out, ocamVersion.out);
#ifdef OCAMSIM_PATH
  ProcessResult simVersion = run(OCAMSIM_PATH, {"--version"});
  EXPECT_EQ(simVersion.exitCode, 0);
  EXPECT_EQ(simVersion.out, std::string("ocamsim ") + OCAMERA_VERSION + "\n");
#endif
}

TEST(OcamOptions, SilentCameraFailsAtTheReplyTimeoutInsteadOfHanging) {
  ScratchDirectory dir;
  // Accepts connections (the kernel completes them) and never answers.
  ocamera_test::LoopbackPort silent(16);
  ProcessOptions bounded = ocamOptions(dir.path());
  bounded.timeout = std::chrono::seconds(30);
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"--timeout", "300", "devices", "-a", silent.address()}, "300"},
      {{"get", "-a", silent.address(), "shutter", "--timeout=300"}, "300"},
      {{"--timeout", "300", "leds", "-a", silent.address()}, "300"},
      // Making, opening and setting up the camera of a grab are bounded too.
      {{"--timeout", "300", "grab", "-a", silent.address(), "-o", "out"}, "300"},
      {{"grab", "-a", silent.address(), "--seconds", "1"}, "5000"},
      // The default, a few seconds, applies without the option.
      {{"devices", "-a", silent.address()}, "5000"}};
  for (const auto &[args, limit] : cases) {
    ProcessResult result = ocam(args, dir.path(), bounded);
    EXPECT_FALSE(result.timedOut) << args[0];
    EXPECT_EQ(result.exitCode, 1) << args[0] << ": " << result.err;
    EXPECT_TRUE(OneErrorLine(result)) << args[0];
    EXPECT_NE(result.err.find("no answer within " + limit + " ms"), std::string::npos)
        << result.err;
  }
  ProcessResult wrong = ocam({"--timeout", "soon", "devices"}, dir.path());
  EXPECT_EQ(wrong.exitCode, 2);
  EXPECT_TRUE(OneErrorLine(wrong));
}

TEST_F(OcamTest, InputWaitOutlastsAShorterReplyTimeout) {
  // The camera ends the wait after 1000 ms itself; a reply time-out of 300 ms
  // must not cut it short.
  ProcessResult result =
      run({"--timeout", "300", "inputs", "-a", io(), "--wait", "I0", "--timeout", "1000"});
  EXPECT_EQ(result.exitCode, 1) << result.err;
  EXPECT_NE(result.err.find("timed out after 1000 ms waiting for a change of I0"),
            std::string::npos)
      << result.err;
  EXPECT_EQ(result.err.find("no answer"), std::string::npos) << result.err;
}

TEST_F(OcamTest, AddressAndTimeoutMeanTheSameBeforeAndAfterTheCommand) {
  // -a/--address before the command, as --timeout; one after it wins.
  for (const std::vector<std::string> &args :
       {std::vector<std::string>{"-a", camera(), "get", "shutter"},
        std::vector<std::string>{"--address=" + camera(), "get", "shutter"},
        std::vector<std::string>{"-a", "127.0.0.1:1", "get", "-a", camera(), "shutter"}}) {
    ProcessResult result = run(args);
    EXPECT_EQ(result.exitCode, 0) << args[0] << ": " << result.err;
    EXPECT_EQ(result.out, std::to_string(sim.shutterTime()) + "\n");
  }
  EXPECT_EQ(run({"-a", io(), "--timeout", "2000", "outputs", "set", "O1=on"}).exitCode, 0);
  EXPECT_EQ(sim.outputs(), 2);
  ProcessResult noAddress = run({"-a", camera(), "wb"});
  EXPECT_EQ(noAddress.exitCode, 2);
  EXPECT_TRUE(OneErrorLine(noAddress));

  // --timeout 0 is no limit for the inputs' wait too, not an instant time-out.
  Process waiter(ocamPath(), {"inputs", "-a", io(), "--wait", "I0", "--timeout", "0"},
                 ocamOptions(dir.path()));
  ASSERT_TRUE(sim.waitForInputWaits(1, 20000)) << waiter.errorSoFar();
  sim.setInputs(1);
  ProcessResult waited = waiter.wait();
  EXPECT_EQ(waited.exitCode, 0) << waited.err;
  EXPECT_NE(waited.err.find("without limit"), std::string::npos) << waited.err;

  // What a continuous run cannot do is refused alike.
  for (const std::vector<std::string> &args :
       {std::vector<std::string>{"grab", "-a", camera(), "--continuous", "-n", "5"},
        std::vector<std::string>{"grab", "-a", camera(), "--continuous", "-o", "out"},
        std::vector<std::string>{"grab", "-a", camera(), "--json"}}) {
    ProcessResult refused = run(args);
    EXPECT_EQ(refused.exitCode, 2) << args[3];
    EXPECT_TRUE(OneErrorLine(refused));
  }
  EXPECT_EQ(sim.count("scam:setCameraWindow"), 0u);  // refused before connecting
}

TEST_F(OcamTest, VerboseAndLibraryLinesGoToStandardErrorOnly) {
  for (const std::vector<std::string> &args :
       {std::vector<std::string>{"-v", "get", "-a", camera(), "shutter"},
        std::vector<std::string>{"get", "-a", camera(), "shutter", "--verbose"}}) {
    ProcessResult result = run(args);
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out, std::to_string(sim.shutterTime()) + "\n");
    EXPECT_NE(result.err.find("scam:getShutterTime"), std::string::npos) << result.err;
    EXPECT_NE(result.err.find("rdev:open"), std::string::npos) << result.err;
  }
  EXPECT_EQ(run({"get", "-a", camera(), "shutter"}).err, "");
}

TEST(OcamOptions, FailedKeepAliveIsReportedOnStandardError) {
  ocamsim::Options options;
  options.maxTimeout = 1;  // a keep-alive every half second
  ocamsim::Simulator sim(options);
  sim.start();
  sim.inject({ocamsim::FaultKind::DropAfterRequest, "rdev:keepAlive"});
  ScratchDirectory dir;
  ProcessResult result = ocam(
      {"inputs", "-a", sim.ioAddress(), "--wait", "I0", "--timeout", "2500", "--json"}, dir.path());
  EXPECT_NE(result.err.find("failure keep-alive"), std::string::npos) << result.err;
  EXPECT_EQ(result.out.find("keep-alive"), std::string::npos) << result.out;
}

TEST_F(OcamTest, JsonGivesOneObjectPerCommand) {
  sim.setInputs(1);
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"outputs", "-a", io(), "set", "O1=on", "--json"},
       "{\"O0\": false, \"O1\": true, \"O2\": false, \"O3\": false}\n"},
      {{"inputs", "-a", io(), "--json"},
       "{\"I0\": {\"level\": 1, \"rising\": true, \"falling\": false}, \"I1\": {\"level\": 0, "
       "\"rising\": false, \"falling\": false}, \"overload\": false}\n"},
      {{"registers", "-a", camera(), "get", "ANALOG_GAIN", "ROW_START", "--json"},
       "{\"ANALOG_GAIN\": 16, \"ROW_START\": 4}\n"},
      {{"get", "-a", camera(), "SHUTTER", "images", "--json"},
       "{\"shutter\": " + std::to_string(sim.shutterTime()) + ", \"images\": 0}\n"}};
  for (const auto &[args, expected] : cases) {
    ProcessResult result = run(args);
    EXPECT_EQ(result.exitCode, 0) << args[0] << ": " << result.err;
    EXPECT_EQ(result.out, expected) << args[0];
  }
  ProcessResult leds = run({"leds", "-a", io(), "--json"});
  EXPECT_EQ(leds.out.rfind("{\"LED_0_RED\": false, \"LED_0_GREEN\": false, ", 0), 0u) << leds.out;
  EXPECT_EQ(std::count(leds.out.begin(), leds.out.end(), ':'), 8);
  ProcessResult list = run({"registers", "-a", camera(), "--json"});
  EXPECT_NE(list.out.find("\"CHIP_VERSION\": 4883, "), std::string::npos) << list.out;
  EXPECT_EQ(std::count(list.out.begin(), list.out.end(), '\n'), 1);
}

// Completes `words` (the last one being typed) with the generated script.
std::string complete(const std::string &words) {
  ScratchDirectory dir;
  writeFile(dir / "script.sh", [] {
    std::string script =
        "source <(\"$OCAM\" --bash-completion)\n"
        "COMP_WORDS=($WORDS)\n"
        "[[ $WORDS == *' ' ]] && COMP_WORDS+=('')\n"
        "COMP_CWORD=$((${#COMP_WORDS[@]} - 1))\n"
        "_ocam\n"
        "echo \"${COMPREPLY[*]}\"\n";
    return std::vector<unsigned char>(script.begin(), script.end());
  }());
  ProcessOptions options;
  options.directory = dir.path();
  options.environment.push_back(std::string("OCAM=") + ocamPath());
  options.environment.push_back("WORDS=" + words);
  ProcessResult result = run("/bin/bash", {"script.sh"}, options);
  EXPECT_EQ(result.exitCode, 0) << result.err;
  return result.out;
}

TEST(OcamOptions, BashCompletionKnowsCommandsOptionsAndValues) {
  EXPECT_EQ(complete("ocam ou"), "outputs\n");
  EXPECT_EQ(complete("ocam --time"), "--timeout\n");
  EXPECT_EQ(complete("ocam -v outputs t"), "toggle\n");
  EXPECT_EQ(complete("ocam -a 10.0.0.7 ou"), "outputs\n");
  EXPECT_EQ(complete("ocam --ad"), "--address\n");
  EXPECT_EQ(complete("ocam registers --j"), "--json\n");
  EXPECT_EQ(complete("ocam convert --pattern BG"), "BGBG BGGR\n");
  EXPECT_EQ(complete("ocam grab --mode single"), "single-shot\n");
  // inputs --timeout is the wait's own option: still completed for inputs.
  EXPECT_EQ(complete("ocam inputs --ti"), "--timeout\n");
  // The settings by the library's table's names; config's actions.
  EXPECT_EQ(complete("ocam set shutter-t"), "shutter-time\n");
  EXPECT_EQ(complete("ocam set circular"), "circular-overwrite\n");
  EXPECT_EQ(complete("ocam config ap"), "apply\n");
}

}  // namespace
}  // namespace ocam_test
