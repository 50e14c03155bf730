// ocam config and the record ocam keeps of what it set on a camera: set then
// grab, save, apply, diff and reset against the simulated camera, a record
// that cannot be trusted, and a sensor other than the usual one.
#include <gtest/gtest.h>
#include <ocamera/ocamera.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "cli/fixture.h"

namespace ocam_test {
namespace {

std::string recordPath(const ScratchDirectory &dir, int port) {
  return stateDirectoryOf(dir.path()) + "/ocamera/cameras/127.0.0.1%3A" + std::to_string(port) +
         ".json";
}

void writeText(const std::string &path, const std::string &text) {
  writeFile(path, std::vector<unsigned char>(text.begin(), text.end()));
}

bool contains(const std::string &text, const std::string &part) {
  return text.find(part) != std::string::npos;
}

TEST_F(OcamTest, SetWindowThenGrabTakesThatWindowAndShowMarksItRecorded) {
  ProcessResult set = run({"set", "-a", camera(), "window", "16,8,320,240", "shutter", "5000"});
  ASSERT_EQ(set.exitCode, 0) << set.err;
  EXPECT_EQ(set.err, "");

  ProcessResult grab = run({"grab", "-a", camera()});
  ASSERT_EQ(grab.exitCode, 0) << grab.err;
  EXPECT_EQ(sim.lastSetting("scam:setCameraWindow"), "16 8 320 240");
  EXPECT_EQ(sim.lastImage().size(), 320u * 240u);
  Picture picture = readPng(dir / "frame-0001.png");
  EXPECT_EQ(picture.width, 320);
  EXPECT_EQ(picture.height, 240);
  EXPECT_TRUE(contains(grab.out, "1 frame of 320x240 at 16,8 (the window recorded for this camera"))
      << grab.out;
  // Given sizes win over the record.
  ProcessResult given = run({"grab", "-a", camera(), "--width", "64", "--height", "48"});
  ASSERT_EQ(given.exitCode, 0) << given.err;
  EXPECT_EQ(sim.lastSetting("scam:setCameraWindow"), "0 0 64 48");

  // The grab recorded its own window: show marks it recorded, the shutter
  // time read from the camera.
  ProcessResult show = run({"config", "-a", camera(), "show"});
  ASSERT_EQ(show.exitCode, 0) << show.err;
  bool window = false, shutter = false;
  for (const std::string &line : linesOf(show.out)) {
    if (line.rfind("window ", 0) == 0)
      window = contains(line, "width=64") && contains(line, "recorded");
    if (line.rfind("shutter-time ", 0) == 0)
      shutter = contains(line, "5000") && contains(line, " read");
  }
  EXPECT_TRUE(window) << show.out;
  EXPECT_TRUE(shutter) << show.out;
  EXPECT_TRUE(contains(show.out, "sensor") && contains(show.out, "1280x1024 GRGR")) << show.out;

  // Another camera address has a record of its own.
  ocamsim::Simulator other;
  other.start();
  ASSERT_EQ(run({"grab", "-a", other.cameraAddress()}).exitCode, 0);
  EXPECT_EQ(other.lastSetting("scam:setCameraWindow"), "0 0 1280 1024");
}

TEST_F(OcamTest, RecordThatCannotBeTrustedIsRefusedBeforeAnyRequest) {
  ASSERT_EQ(run({"set", "-a", camera(), "gain", "2"}).exitCode, 0);
  const std::string path = recordPath(dir, sim.cameraPort());
  ASSERT_TRUE(std::filesystem::is_regular_file(path)) << path;
  const std::string good = readFile(path);
  EXPECT_TRUE(contains(good, "\"gain\": 2")) << good;

  struct Case {
    const char *what;
    std::function<void()> spoil;
    const char *says;
  };
  const std::string elsewhere = dir / "elsewhere.json";
  const std::vector<Case> cases = {
      {"damaged", [&] { writeText(path, "{\"format\": 1, \"gain\": "); }, "is damaged"},
      {"foreign", [&] { writeText(path, "{\"format\": 1, \"colour\": 3}\n"); }, "colour"},
      {"out of range", [&] { writeText(path, "{\"format\": 1, \"gain\": 99}\n"); }, "1..32"},
      {"writable by others",
       [&] {
         writeText(path, good);
         ::chmod(path.c_str(), 0666);
       },
       "other users"},
      {"a link",
       [&] {
         writeText(elsewhere, good);
         std::filesystem::remove(path);
         std::filesystem::create_symlink(elsewhere, path);
       },
       "cannot be read"},
  };
  for (const Case &c : cases) {
    c.spoil();
    sim.clearLog();
    for (const std::vector<std::string> &args :
         {std::vector<std::string>{"grab", "-a", camera()},
          std::vector<std::string>{"set", "-a", camera(), "gain", "3"},
          std::vector<std::string>{"config", "-a", camera(), "show"}}) {
      ProcessResult result = run(args);
      EXPECT_EQ(result.exitCode, 1) << c.what << " " << args[0];
      EXPECT_TRUE(OneErrorLine(result)) << c.what;
      EXPECT_TRUE(contains(result.err, path) && contains(result.err, c.says) &&
                  contains(result.err, "remove it"))
          << c.what << ": " << result.err;
    }
    EXPECT_EQ(sim.log().size(), 0u) << c.what << ": requests sent";
  }
  EXPECT_EQ(sim.gain(), 2);
  // A reset writes a new record in its place.
  std::filesystem::remove(path);
  writeText(path, "garbage");
  ProcessResult reset = run({"config", "-a", camera(), "reset"});
  ASSERT_EQ(reset.exitCode, 0) << reset.err;
  EXPECT_EQ(run({"grab", "-a", camera()}).exitCode, 0);
}

TEST_F(OcamTest, ConfigSaveResetDiffAndApplyRoundTrip) {
  ASSERT_EQ(
      run({"set", "-a", camera(), "gain", "4", "shutter-time", "5000", "fps", "12.5"}).exitCode, 0);
  ASSERT_EQ(run({"registers", "-a", camera(), "set", "HORIZONTAL_BLANKING=0x2a"}).exitCode, 0);
  ProcessResult saved = run({"config", "-a", camera(), "save", "good.json"});
  ASSERT_EQ(saved.exitCode, 0) << saved.err;
  const std::string good = readFile(dir / "good.json");
  for (const char *line : {"\"gain\": 4", "\"shutterTime\": 5000", "\"frameRate\": 12.5",
                           "\"HORIZONTAL_BLANKING\": 42"})
    EXPECT_TRUE(contains(good, line)) << line << "\n" << good;
  // Of the registers the camera reports, only those ocam set: a read-only one
  // would be refused when the file is applied.
  EXPECT_FALSE(contains(good, "CHIP_VERSION")) << good;

  ProcessResult reset = run({"config", "-a", camera(), "reset"});
  ASSERT_EQ(reset.exitCode, 0) << reset.err;
  EXPECT_EQ(sim.gain(), 1);
  EXPECT_EQ(sim.shutterTime(), 10000);
  EXPECT_EQ(sim.lastSetting("scam:setCameraWindow"), "0 0 1280 1024");
  ASSERT_EQ(run({"config", "-a", camera(), "save", "plain.json"}).exitCode, 0);

  ProcessResult differ = run({"config", "diff", "good.json", "plain.json"});
  EXPECT_EQ(differ.exitCode, 1) << differ.err;
  EXPECT_TRUE(contains(differ.out, "gain: 4 -> 1")) << differ.out;
  EXPECT_TRUE(contains(differ.out, "shutterTime: 5000")) << differ.out;
  ProcessResult same = run({"config", "diff", "good.json", "good.json"});
  EXPECT_EQ(same.exitCode, 0) << same.err;
  EXPECT_EQ(same.out, "");

  ProcessResult apply = run({"config", "-a", camera(), "apply", "good.json"});
  ASSERT_EQ(apply.exitCode, 0) << apply.err;
  EXPECT_EQ(sim.gain(), 4);
  EXPECT_EQ(sim.shutterTime(), 5000);
  EXPECT_EQ(sim.lastSetting("scam:setFrameRateFloat"), "12.5");
  // What the apply made is recorded over the reset: saved again, it holds the
  // profile and nothing else but the power-on values the reset recorded.
  ASSERT_EQ(run({"config", "-a", camera(), "save", "again.json"}).exitCode, 0);
  ProcessResult again = run({"config", "diff", "good.json", "again.json"});
  EXPECT_EQ(again.exitCode, 1);
  for (const std::string &line : linesOf(again.out))
    EXPECT_TRUE(contains(line, ": (not set) -> ")) << line;
}

TEST_F(OcamTest, ApplyNamesRefusalsByKeyAndSkipRefusedMakesTheRest) {
  // Inside the table's range, outside this sensor: the camera refuses it.
  writeText(dir / "wide.json",
            "{\"format\": 1, \"gain\": 3, \"window\": {\"x0\": 0, \"y0\": 0, \"width\": 2000, "
            "\"height\": 480}}\n");
  ProcessResult stopped = run({"config", "-a", camera(), "apply", "wide.json"});
  EXPECT_EQ(stopped.exitCode, 1);
  EXPECT_TRUE(contains(stopped.err, "refused window")) << stopped.err;
  EXPECT_TRUE(contains(stopped.err, "status -15")) << stopped.err;
  EXPECT_TRUE(contains(stopped.err, "not sent") && contains(stopped.err, "gain")) << stopped.err;
  EXPECT_EQ(sim.gain(), 1);

  ProcessResult skipped = run({"config", "-a", camera(), "apply", "wide.json", "--skip-refused"});
  EXPECT_EQ(skipped.exitCode, 1);
  EXPECT_TRUE(contains(skipped.err, "refused window")) << skipped.err;
  EXPECT_FALSE(contains(skipped.err, "not sent")) << skipped.err;
  EXPECT_EQ(sim.gain(), 3);

  // Out of the table's range: refused before anything is sent, naming the key.
  writeText(dir / "bad.json", "{\"format\": 1, \"gain\": 99}\n");
  sim.clearLog();
  ProcessResult bad = run({"config", "-a", camera(), "apply", "bad.json"});
  EXPECT_EQ(bad.exitCode, 1);
  EXPECT_TRUE(OneErrorLine(bad));
  EXPECT_TRUE(contains(bad.err, "gain") && contains(bad.err, "1..32")) << bad.err;
  EXPECT_EQ(sim.log().size(), 0u);
}

TEST_F(OcamTest, SetTakesTheTableNamesAndItsRanges) {
  ProcessResult set = run({"set", "-a", camera(), "trigger-source", "external-e1,active-low",
                           "illumination-mode=normal", "light", "on", "frame-rate", "7"});
  ASSERT_EQ(set.exitCode, 0) << set.err;
  EXPECT_EQ(sim.lastSetting("scam:setTriggerSource"), "3 2");
  EXPECT_EQ(sim.lastSetting("scam:setFrameRateFloat"), "7");
  // 'illumination' alone keeps its old meaning, the mode.
  ASSERT_EQ(run({"set", "-a", camera(), "illumination", "pulsed"}).exitCode, 0);
  EXPECT_EQ(sim.lastSetting("scam:setIlluminationMode"), "3");

  sim.clearLog();
  ProcessResult range = run({"set", "-a", camera(), "gain", "99"});
  EXPECT_EQ(range.exitCode, 2);
  EXPECT_TRUE(contains(range.err, "1..32")) << range.err;
  EXPECT_EQ(sim.log().size(), 0u);

  ProcessResult help = run({"set", "--help"});
  for (const char *line :
       {"  shutter-time US", "also shutter", "  window X0,Y0,WIDTH,HEIGHT", "  gain ", "1..32"})
    EXPECT_TRUE(contains(help.out, line)) << line << "\n" << help.out;
}

class OcamSmallSensor : public ::testing::Test {
 protected:
  static ocamsim::Options options() {
    ocamsim::Options o;
    o.sensorWidth = 752;
    o.sensorHeight = 480;
    o.bayerPattern = 2;  // BGBG
    return o;
  }
  ocamsim::Simulator sim{options()};
  ScratchDirectory dir;
};

TEST_F(OcamSmallSensor, GrabTakesTheWholeSensorInItsLayout) {
  sim.start();
  ProcessResult grab = ocam({"grab", "-a", sim.cameraAddress()}, dir.path());
  ASSERT_EQ(grab.exitCode, 0) << grab.err;
  EXPECT_EQ(sim.lastSetting("scam:setCameraWindow"), "0 0 752 480");
  EXPECT_TRUE(contains(grab.out, "752x480 (the whole sensor")) << grab.out;
  std::vector<std::uint8_t> raw = sim.lastImage();
  ASSERT_EQ(raw.size(), 752u * 480u);
  std::vector<unsigned char> rgb(raw.size() * 3);
  OCameraTools::Bayer2RGB(raw.data(), rgb.data(), 752, 480, OCameraTools::BAYER_PATTERN_BGBG);
  EXPECT_EQ(readPng(dir / "frame-0001.png").rgb, rgb);
  ProcessResult show = ocam({"config", "-a", sim.cameraAddress(), "show"}, dir.path());
  EXPECT_TRUE(contains(show.out, "752x480 BGBG") && contains(show.out, "described")) << show.out;
}

}  // namespace
}  // namespace ocam_test
