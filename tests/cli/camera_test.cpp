// ocam against the camera service: devices, grab, set/get, registers, ram.
#include <gtest/gtest.h>
#include <ocamera/ocamera.h>

#include <filesystem>
#include <random>

#include "cli/fixture.h"

namespace ocam_test {
namespace {

std::vector<unsigned char> converted(std::vector<std::uint8_t> raw, int width, int height) {
  std::vector<unsigned char> rgb(raw.size() * 3);
  OCameraTools::Bayer2RGB(raw.data(), rgb.data(), width, height, OCameraTools::BAYER_PATTERN_GRGR);
  return rgb;
}

TEST_F(OcamTest, DevicesListsTheCameraAndItsIoAsTableAndJson) {
  ProcessResult table = run({"devices", "-a", camera()});
  ASSERT_EQ(table.exitCode, 0) << table.err;
  std::vector<std::string> lines = linesOf(table.out);
  ASSERT_EQ(lines.size(), 5u) << table.out;
  EXPECT_EQ(lines[0].rfind("ID", 0), 0u);
  for (const char *heading : {"TYPE", "VENDOR", "VERSION", "TIMEOUT", "STATUS"})
    EXPECT_NE(lines[0].find(heading), std::string::npos) << heading;
  const std::vector<std::string> types = {"ONetCamera ", "ONetCameraInputs", "ONetCameraOutputs",
                                          "ONetCameraLEDs"};
  for (std::size_t i = 0; i < types.size(); ++i) {
    EXPECT_NE(lines[i + 1].find(types[i]), std::string::npos) << lines[i + 1];
    EXPECT_NE(lines[i + 1].find("ocamsim"), std::string::npos) << lines[i + 1];
    EXPECT_NE(lines[i + 1].find("10 s"), std::string::npos) << lines[i + 1];
  }

  ProcessResult json = run({"devices", "-a", camera(), "--json"});
  ASSERT_EQ(json.exitCode, 0) << json.err;
  EXPECT_EQ(json.out.front(), '[');
  EXPECT_EQ(json.out.substr(json.out.size() - 2), "]\n");
  for (const char *item : {"\"id\": 1, \"type\": \"ONetCamera\"", "\"type\": \"ONetCameraLEDs\"",
                           "\"vendor\": \"ocamsim\"", "\"timeout\": 10", "\"version\": \"1.0\""})
    EXPECT_NE(json.out.find(item), std::string::npos) << item << "\n" << json.out;
  EXPECT_EQ(std::count(json.out.begin(), json.out.end(), '{'), 4);
}

TEST_F(OcamTest, GrabWritesColourPngFilesOfTheScene) {
  ProcessResult result = run({"grab", "-a", camera(), "-n", "3", "-o", "out"});
  ASSERT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(filesIn(dir / "out"),
            (std::vector<std::string>{"frame-0001.png", "frame-0002.png", "frame-0003.png"}));
  for (const std::string &name : filesIn(dir / "out")) {
    Picture picture = readPng(dir / "out/" + name);
    ASSERT_EQ(picture.width, 1280) << name;
    ASSERT_EQ(picture.height, 1024) << name;
    EXPECT_GT(colouredPixels(picture), picture.rgb.size() / 3 / 2) << name << " is grey";
  }
  // The last file is exactly the last frame the camera sent, converted.
  EXPECT_EQ(readPng(dir / "out/frame-0003.png").rgb, converted(sim.lastImage(), 1280, 1024));
  EXPECT_NE(result.out.find("3 frames of 1280x1024"), std::string::npos) << result.out;
  EXPECT_NE(result.out.find("frames/s"), std::string::npos);
  EXPECT_NE(result.out.find("MB/s"), std::string::npos);
  // The acquisition was stopped and the camera closed: another grab may open it.
  EXPECT_EQ(sim.acquisitionMode(), OCamera::ACQ_MODE_STOP);
  EXPECT_EQ(sim.count("scam:close"), 1u);
  EXPECT_EQ(sim.openSessions(), 0u);
}

TEST_F(OcamTest, GrabAppliesWindowWhiteBalanceAndRawOutput) {
  ProcessResult balanced = run({"grab", "-a", camera(), "--width", "320", "--height", "240", "--wb",
                                "150,100,50", "--prefix", "wb"});
  ASSERT_EQ(balanced.exitCode, 0) << balanced.err;
  std::vector<std::uint8_t> raw = sim.lastImage();
  ASSERT_EQ(raw.size(), 320u * 240u);
  std::vector<unsigned char> expected(raw.size() * 3);
  OCameraTools::Bayer2RGBWhiteBalance(raw.data(), expected.data(), 320, 240, 150, 100, 50,
                                      OCameraTools::BAYER_PATTERN_GRGR);
  Picture picture = readPng(dir / "wb-0001.png");
  EXPECT_EQ(picture.width, 320);
  EXPECT_EQ(picture.height, 240);
  EXPECT_EQ(picture.rgb, expected);

  ProcessResult rawRun = run({"grab", "-a", camera(), "--raw", "-n", "2", "--width", "100",
                              "--height", "50", "-o", "raw", "--mode", "single-shot"});
  ASSERT_EQ(rawRun.exitCode, 0) << rawRun.err;
  EXPECT_EQ(filesIn(dir / "raw"), (std::vector<std::string>{"frame-0001.raw", "frame-0002.raw"}));
  std::vector<std::uint8_t> last = sim.lastImage();
  EXPECT_EQ(readFile(dir / "raw/frame-0002.raw"), std::string(last.begin(), last.end()));
  EXPECT_EQ(sim.count("scam:triggerImage"), 2u);
}

TEST_F(OcamTest, GrabThatCannotWriteFailsWithoutLeavingAnyFile) {
  writeFile(dir / "plain", {1, 2, 3});
  ProcessResult notADirectory = run({"grab", "-a", camera(), "-o", "plain/out"});
  EXPECT_EQ(notADirectory.exitCode, 1);
  EXPECT_TRUE(OneErrorLine(notADirectory));
  EXPECT_NE(notADirectory.err.find("plain/out"), std::string::npos) << notADirectory.err;

  // The disk "fills up" in the middle of the first PNG file.
  ProcessOptions small = ocamOptions(dir.path());
  small.fileSizeLimit = 4000;
  ProcessResult full = run(
      {"grab", "-a", camera(), "-n", "3", "-o", "out", "--width", "640", "--height", "480"}, small);
  EXPECT_EQ(full.exitCode, 1);
  EXPECT_TRUE(OneErrorLine(full));
  EXPECT_NE(full.err.find("File too large"), std::string::npos) << full.err;
  // Neither a partial file nor the directory made for it is left.
  EXPECT_EQ(filesIn(dir.path()), std::vector<std::string>{"plain"});
  // The camera was closed on the way out.
  EXPECT_EQ(sim.acquisitionMode(), OCamera::ACQ_MODE_STOP);
  EXPECT_EQ(sim.openSessions(), 0u);
}

TEST_F(OcamTest, GrabReportsWhatTheCameraGotWrong) {
  // The simulated sensor is 1280 pixels wide.
  ProcessResult window = run({"grab", "-a", camera(), "--width", "2000", "-o", "out"});
  EXPECT_EQ(window.exitCode, 1);
  EXPECT_TRUE(OneErrorLine(window));
  EXPECT_NE(window.err.find("setting the window: the camera refused"), std::string::npos)
      << window.err;

  sim.inject({ocamsim::FaultKind::Status, "scam:getSingleImage", 0, 0, -21});
  ProcessResult status = run({"grab", "-a", camera(), "-n", "2", "-o", "out"});
  EXPECT_EQ(status.exitCode, 1);
  EXPECT_TRUE(OneErrorLine(status));
  EXPECT_NE(status.err.find("frame 1"), std::string::npos) << status.err;
  EXPECT_NE(status.err.find("-21"), std::string::npos) << status.err;

  sim.clearFaults();
  sim.inject({ocamsim::FaultKind::DropAfterRequest, "scam:getSingleImage"});
  ProcessResult dropped = run({"grab", "-a", camera(), "-n", "2", "-o", "out"});
  EXPECT_EQ(dropped.exitCode, 1);
  EXPECT_TRUE(OneErrorLine(dropped));
  EXPECT_NE(dropped.err.find("frame 1: the image request failed: the request failed"),
            std::string::npos)
      << dropped.err;
  // Each attempt closed the camera again, and none left a file or directory.
  EXPECT_EQ(sim.openSessions(), 0u);
  EXPECT_TRUE(filesIn(dir.path()).empty());
}

TEST_F(OcamTest, SetAndGetReachTheCamera) {
  ProcessResult set =
      run({"set", "-a", camera(), "shutter", "5000", "gain=4", "fps", "12.5", "window",
           "0,0,640,480", "trigger", "e0,low", "illumination", "pulsed", "light", "on"});
  ASSERT_EQ(set.exitCode, 0) << set.err;
  EXPECT_EQ(sim.shutterTime(), 5000);
  EXPECT_EQ(sim.gain(), 4);
  for (const char *op : {"scam:setFrameRateFloat", "scam:setCameraWindow", "scam:setTriggerSource",
                         "scam:setIlluminationMode", "scam:switchIllumination"})
    EXPECT_EQ(sim.count(op), 1u) << op;
  EXPECT_EQ(linesOf(set.out).size(), 7u) << set.out;

  ProcessResult get = run({"get", "-a", camera(), "shutter"});
  ASSERT_EQ(get.exitCode, 0) << get.err;
  EXPECT_EQ(get.out, "5000\n");
  ProcessResult several = run({"get", "-a", camera(), "shutter", "max-images"});
  ASSERT_EQ(several.exitCode, 0) << several.err;
  EXPECT_EQ(linesOf(several.out).at(0), "shutter=5000");

  // The simulated camera refuses a window beyond its sensor, and ocam stops there.
  ProcessResult refused =
      run({"set", "-a", camera(), "gain", "6", "window", "0,0,2000,480", "shutter", "7000"});
  EXPECT_EQ(refused.exitCode, 1);
  EXPECT_TRUE(OneErrorLine(refused));
  EXPECT_NE(refused.err.find("window"), std::string::npos) << refused.err;
  EXPECT_EQ(sim.gain(), 6);
  EXPECT_EQ(sim.shutterTime(), 5000);
}

TEST_F(OcamTest, RegistersListGetAndSet) {
  ProcessResult list = run({"registers", "-a", camera()});
  ASSERT_EQ(list.exitCode, 0) << list.err;
  EXPECT_GT(linesOf(list.out).size(), 3u);
  // One column of values, however long the names.
  std::vector<std::string> rows = linesOf(list.out);
  for (const std::string &row : rows) EXPECT_EQ(row.find("0x"), rows[0].find("0x")) << row;
  EXPECT_EQ(rows[0].rfind("CHIP_VERSION ", 0), 0u) << list.out;
  EXPECT_NE(rows[0].find(" 0x00001313"), std::string::npos) << list.out;

  ProcessResult set = run({"registers", "-a", camera(), "set", "ANALOG_GAIN=0x2a"});
  ASSERT_EQ(set.exitCode, 0) << set.err;
  EXPECT_EQ(set.out, "ANALOG_GAIN  0x0000002a\n");
  ProcessResult get = run({"registers", "-a", camera(), "get", "ANALOG_GAIN"});
  ASSERT_EQ(get.exitCode, 0) << get.err;
  EXPECT_EQ(get.out, "0x0000002a\n");
  ProcessResult listed = run({"registers", "-a", camera()});
  EXPECT_NE(listed.out.find("\nANALOG_GAIN "), std::string::npos) << listed.out;
  EXPECT_NE(listed.out.find(" 0x0000002a\n"), std::string::npos) << listed.out;

  ProcessResult unknown = run({"registers", "-a", camera(), "get", "NO_SUCH_REGISTER"});
  EXPECT_EQ(unknown.exitCode, 1);
  EXPECT_TRUE(OneErrorLine(unknown));
  EXPECT_NE(unknown.err.find("NO_SUCH_REGISTER"), std::string::npos);
}

TEST_F(OcamTest, RamWritesAFileAndReadsItBack) {
  // More than one request's worth, so that the pieces must line up.
  std::vector<unsigned char> bytes(2621440 + 123);
  std::mt19937 random(7);
  for (unsigned char &b : bytes) b = static_cast<unsigned char>(random());
  writeFile(dir / "in.bin", bytes);

  ProcessResult write = run({"ram", "-a", camera(), "write", "0x1000", "-f", "in.bin"});
  ASSERT_EQ(write.exitCode, 0) << write.err;
  EXPECT_EQ(sim.readRam(0x1000, bytes.size()),
            std::vector<std::uint8_t>(bytes.begin(), bytes.end()));

  ProcessResult read =
      run({"ram", "-a", camera(), "read", "4096", std::to_string(bytes.size()), "-f", "back.bin"});
  ASSERT_EQ(read.exitCode, 0) << read.err;
  EXPECT_EQ(readFile(dir / "back.bin"), std::string(bytes.begin(), bytes.end()));

  // Beyond the end of the image RAM: refused, and no file appears.
  ProcessResult outside = run({"ram", "-a", camera(), "read", "0xFFFF00", "4096", "-f", "x.bin"});
  EXPECT_EQ(outside.exitCode, 1);
  EXPECT_TRUE(OneErrorLine(outside));
  EXPECT_FALSE(std::filesystem::exists(dir / "x.bin"));
}

}  // namespace
}  // namespace ocam_test
