// What every subcommand does with --help, a wrong command line, and a camera
// that is not there.
#include <gtest/gtest.h>

#include "cli/fixture.h"

namespace ocam_test {
namespace {

const std::vector<std::string> kCommands = {"devices",   "grab",   "set",     "get",
                                            "config",    "inputs", "outputs", "leds",
                                            "registers", "ram",    "convert", "wb"};

TEST(OcamUsage, EveryCommandExplainsItself) {
  ScratchDirectory dir;
  ProcessResult overview = ocam({"--help"}, dir.path());
  EXPECT_EQ(overview.exitCode, 0);
  for (const std::string &command : kCommands) {
    EXPECT_NE(overview.out.find("\n  " + command + " "), std::string::npos) << command;
    ProcessResult help = ocam({command, "--help"}, dir.path());
    EXPECT_EQ(help.exitCode, 0) << command;
    EXPECT_EQ(help.out.rfind("usage: ocam " + command + " ", 0), 0u) << help.out;
    EXPECT_NE(help.out.find("-h, --help"), std::string::npos) << command;
    EXPECT_EQ(ocam({"help", command}, dir.path()).out, help.out) << command;
  }
}

TEST_F(OcamTest, WrongCommandLinesExitWith2BeforeAnyRequest) {
  const std::vector<std::vector<std::string>> cases = {
      {},
      {"frobnicate"},
      {"devices", "-a", camera(), "--colour"},
      {"devices", "-a", camera(), "extra"},
      {"grab", "-a", camera(), "-n", "0"},
      {"grab", "-a", camera(), "-n"},
      {"grab", "-a", camera(), "-n", "ten"},
      {"grab", "-a", camera(), "--pattern", "RGRG"},
      {"grab", "-a", camera(), "--wb", "120,100"},
      {"grab", "-a", camera(), "--raw", "--wb", "file"},
      {"grab", "-a", camera(), "--width", "1"},
      {"set", "-a", camera()},
      {"set", "-a", camera(), "shutter"},
      {"set", "-a", camera(), "colour", "3"},
      {"set", "-a", camera(), "window", "0,0,640"},
      {"set", "-a", camera(), "trigger", "e7"},
      {"set", "-a", camera(), "gain", "99"},
      {"set", "-a", camera(), "gain", "2.5"},
      {"config", "-a", camera()},
      {"config", "-a", camera(), "load"},
      {"config", "-a", camera(), "apply"},
      {"config", "-a", camera(), "show", "--skip-refused"},
      {"config", "diff", "a.json"},
      {"get", "-a", camera(), "gain"},
      {"inputs", "-a", io(), "--wait", "I2"},
      {"inputs", "-a", io(), "--wait", "I0=2"},
      {"inputs", "-a", io(), "--wait", "I0,I1=1"},
      {"inputs", "-a", io(), "--timeout", "100"},
      {"outputs", "-a", io(), "set", "O9=on"},
      {"outputs", "-a", io(), "set", "O1=maybe"},
      {"outputs", "-a", io(), "blink", "O1"},
      {"leds", "-a", io(), "toggle"},
      {"leds", "-a", io(), "set", "LED_4_RED=1"},
      {"registers", "-a", camera(), "set", "ANALOG_GAIN"},
      {"registers", "-a", camera(), "poke"},
      {"ram", "-a", camera(), "read", "0x10", "16"},
      {"ram", "-a", camera(), "read", "0x10", "-f", "x.bin"},
      {"ram", "-a", camera(), "write", "zero", "-f", "x.bin"},
      {"convert"},
      {"convert", "a.raw", "--pattern", "GBGB"},
      {"wb", "store", "120", "100"},
      {"wb", "store", "120", "100", "-5"},
  };
  for (const auto &args : cases) {
    std::string line;
    for (const std::string &a : args) line += a + " ";
    ProcessResult result = run(args);
    EXPECT_EQ(result.exitCode, 2) << line << "\n" << result.err;
    EXPECT_TRUE(OneErrorLine(result)) << line;
    EXPECT_EQ(result.out, "") << line;
  }
  EXPECT_EQ(sim.log().size(), 0u) << "a wrong command line sent requests";
  EXPECT_TRUE(filesIn(dir.path()).empty());
}

TEST(OcamUsage, RefusedAddressFailsWithOneLineWithinTheConnectTimeout) {
  ScratchDirectory dir;
  RefusingPort refusing;
  const std::string address = "127.0.0.1:" + std::to_string(refusing.port());
  const std::vector<std::vector<std::string>> cases = {{"devices"},
                                                       {"grab", "-o", "out"},
                                                       {"set", "gain", "2"},
                                                       {"get", "shutter"},
                                                       {"inputs"},
                                                       {"outputs", "set", "O1=on"},
                                                       {"leds"},
                                                       {"registers"},
                                                       {"ram", "read", "0", "16", "-f", "x.bin"}};
  for (auto args : cases) {
    args.insert(args.begin() + 1, {"-a", address});
    ProcessResult result = ocam(args, dir.path());
    EXPECT_EQ(result.exitCode, 1) << args[0] << ": " << result.err;
    EXPECT_TRUE(OneErrorLine(result)) << args[0];
    EXPECT_NE(result.err.find(address), std::string::npos) << result.err;
    EXPECT_NE(result.err.find("Connection refused"), std::string::npos) << result.err;
    EXPECT_EQ(result.err.find("tcp_connect"), std::string::npos) << result.err;
    // The library's connect time-out is 2 s.
    EXPECT_LT(result.elapsed.count(), 2500) << args[0];
  }
  EXPECT_TRUE(filesIn(dir.path()).empty()) << "a failed command left files behind";
}

}  // namespace
}  // namespace ocam_test
