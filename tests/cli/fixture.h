// Shared pieces of the ocam tests: an in-process simulated camera, a scratch
// directory, ocam run as a child process, and a PNG reader.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/process.h"
#include "common/loopback_port.h"
#include "sim/simulator.h"

namespace ocam_test {

// The picture in a PNG file as 8-bit R, G, B.
struct Picture {
  int width = 0;
  int height = 0;
  std::vector<unsigned char> rgb;
};
// Empty picture (width 0) when the file is not a readable PNG.
Picture readPng(const std::string &path);
// How many pixels have channels that are not all equal.
std::size_t colouredPixels(const Picture &picture);

std::vector<std::string> linesOf(const std::string &text);
std::vector<std::string> filesIn(const std::string &directory);  // sorted names
std::string readFile(const std::string &path);
void writeFile(const std::string &path, const std::vector<unsigned char> &bytes);

// A scratch directory, removed with everything in it.
class ScratchDirectory {
 public:
  ScratchDirectory();
  ~ScratchDirectory();
  const std::string &path() const { return path_; }
  std::string operator/(const std::string &name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// Where ocam run in `directory` keeps its records of the cameras
// (XDG_STATE_HOME): beside it, so that a test's files stay the test's, and
// removed with the scratch directory.
std::string stateDirectoryOf(const std::string &directory);

// Runs ocam in `directory` with the address variables removed, so that only
// -a decides where it goes, and its records beside it.
ProcessResult ocam(const std::vector<std::string> &args, const std::string &directory,
                   ProcessOptions options = ProcessOptions());
ProcessOptions ocamOptions(const std::string &directory);
const char *ocamPath();

// A port on 127.0.0.1 that refuses connections: bound, never listening.
using RefusingPort = ocamera_test::LoopbackPort;

class OcamTest : public ::testing::Test {
 protected:
  OcamTest() : sim(simOptions()) {}
  static ocamsim::Options simOptions() { return ocamsim::Options(); }
  void SetUp() override { sim.start(); }

  ProcessResult run(const std::vector<std::string> &args,
                    ProcessOptions options = ProcessOptions()) {
    if (options.directory.empty()) options.directory = dir.path();
    return ocam(args, dir.path(), options);
  }
  std::string camera() const { return sim.cameraAddress(); }
  std::string io() const { return sim.ioAddress(); }

  ocamsim::Simulator sim;
  ScratchDirectory dir;
};

// One line on standard error, nothing else.
::testing::AssertionResult OneErrorLine(const ProcessResult &result);

}  // namespace ocam_test
