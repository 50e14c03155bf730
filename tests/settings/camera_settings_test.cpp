// Settings documents against the simulated camera: the order of requests,
// the power-on state, reset, refusals, the session record, the geometry of
// the device description, and profiles the simulator starts from.
#include <gtest/gtest.h>
#include <ocamera/camera.h>
#include <ocamera/settings.h>
#include <ocamera/status.h>
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "sim/simulator.h"

namespace {

using ocamera::ApplyMode;
using ocamera::Settings;
using ocamera::SettingValue;

struct DestroyCamera {
  void operator()(OCamera *camera) const {
    if (camera) camera->destroy();
  }
};
using CameraHandle = std::unique_ptr<OCamera, DestroyCamera>;

SettingValue values(std::initializer_list<double> numbers) {
  SettingValue v;
  v.numbers = numbers;
  return v;
}

// The entries of the table that differ between a and b (registers and the
// sensor left out), as "name: a / b" lines.
std::string entryDifferences(const Settings &a, const Settings &b) {
  std::string out;
  for (const auto &d : ocamera::diffSettings(a, b))
    if (d.name.rfind("registers.", 0) != 0 && d.name != "sensor")
      out += d.name + ": " + d.a + " / " + d.b + "\n";
  return out;
}

// A value other than the power-on one in every entry, all of them accepted
// by the simulated camera (sensor 752 x 480); the mode stays STOP, since
// every other mode needs the camera open.
Settings everyEntryChanged() {
  Settings s;
  auto set = [&](const char *name, SettingValue v) {
    std::string why;
    EXPECT_TRUE(s.set(name, v, ocamera::SettingOrigin::Given, &why)) << why;
  };
  set("frequency", values({3}));
  set("window", values({8, 4, 320, 240}));
  set("frameRate", values({12.5}));
  set("shutterTime", values({2500}));
  set("gain", values({3}));
  set("triggerSource", values({2, 2}));
  set("triggerDelay", values({150}));
  set("triggerWindow", values({1, 2, 30, 40, 10, 200}));
  set("illuminationMode", values({3}));
  set("illuminationModeExternal", values({2}));
  set("illuminationTiming", values({5, 60}));
  set("illumination", values({1}));
  set("readTimeout", values({750}));
  set("circularOverwrite", values({0}));
  set("jpeg", values({1, 3, 1, 3, 1}));
  set("bayer2X", values({5, 4}));
  SettingValue wb = values({3, 0});
  for (int i = 0; i < 768; ++i) wb.bytes.push_back(static_cast<unsigned char>(i % 251));
  set("whiteBalance", wb);
  set("median", values({1}));
  set("filter", values({3, 2, 7, 9}));
  set("binarization", values({1, 1, 2, 20, 30}));
  set("imageRAMPictureSize", values({100, 50}));
  set("imageCorrection", values({1, 2, 4096, 1000, 2}));
  set("imageSplitting", values({1, 8192, 4000}));
  SettingValue laser = values({1, 10, 20, 4, 100, 3, 1, 5, 250, 2, 300, 18, 0});
  laser.bytes = {9, 8, 7, 6};
  set("laserProfiling", laser);
  set("hardwareApplet", values({1, 4096, 3}));
  set("acquisitionMode", values({1}));
  return s;
}

class CameraSettings : public ::testing::Test {
 protected:
  void start(int width = 752, int height = 480, int pattern = 2) {
    ocamsim::Options o;
    o.ioPort = -1;
    o.sensorWidth = width;
    o.sensorHeight = height;
    o.bayerPattern = pattern;
    sim_ = std::make_unique<ocamsim::Simulator>(o);
    sim_->start();
    camera_.reset(CreateCameraInterface(OCamera::CAM_TYPE_GENERIC, sim_->cameraAddress().c_str()));
    ASSERT_TRUE(camera_) << ocamera::lastCreationError();
  }
  void SetUp() override { start(); }

  std::unique_ptr<ocamsim::Simulator> sim_;
  CameraHandle camera_;
};

TEST_F(CameraSettings, SimulatorStartsAtThePowerOnSettingsOfItsSensor) {
  const Settings model = sim_->settings();
  const Settings powerOn = ocamera::powerOnSettings(ocamera::sensorGeometry(*camera_));
  EXPECT_EQ(model.entries().size(), ocamera::settingTable().size());
  EXPECT_EQ(entryDifferences(model, powerOn), "");
  EXPECT_EQ(model.get("window")->value, values({0, 0, 752, 480}));
  EXPECT_EQ(model.sensor.width, 752);
}

TEST_F(CameraSettings, FullProfileIsMadeInTheTablesOrderAndReachesTheModel) {
  Settings profile = everyEntryChanged();
  profile.setRegister("READ_MODE", 0x0301);
  sim_->clearLog();
  const ocamera::ApplyResult r = ocamera::applySettings(*camera_, profile);
  ASSERT_TRUE(r.ok()) << r.refused[0].name << ": " << r.refused[0].text;
  EXPECT_EQ(r.applied.size(), ocamera::settingTable().size() + 1);
  std::vector<std::string> sent;
  for (const auto &e : sim_->log()) sent.push_back(e.operation);
  const std::vector<std::string> expected = {"scam:setFrequency",
                                             "scam:setSensorRegister",
                                             "scam:setCameraWindow",
                                             "scam:setFrameRateFloat",
                                             "scam:setShutterTime",
                                             "scam:setGain",
                                             "scam:setTriggerSource",
                                             "scam:setTriggerDelay",
                                             "scam:setTriggerWindow",
                                             "scam:setIlluminationMode",
                                             "scam:setIlluminationModeExternal",
                                             "scam:setIlluminationTiming",
                                             "scam:switchIllumination",
                                             "scam:setReadTimeout",
                                             "scam:setCircularOverwrite",
                                             "scam:setJPEG",
                                             "scam:setBayer2X",
                                             "scam:setWhiteBalance",
                                             "scam:setMedian",
                                             "scam:setFilter",
                                             "scam:setBinarization",
                                             "scam:setImageRAMPictureSize",
                                             "scam:setupImageCorrection",
                                             "scam:setupImageSplitting",
                                             "scam:setupLaserProfiling",
                                             "scam:setHardwareApplet",
                                             "scam:setAcquisitionMode"};
  EXPECT_EQ(sent, expected);
  const Settings model = sim_->settings();
  EXPECT_EQ(entryDifferences(model, profile), "");
  EXPECT_EQ(model.registers().at("READ_MODE").value, 0x0301u);
}

TEST_F(CameraSettings, ResetBringsEveryValueAtTheModelBackToPowerOn) {
  Settings changed = everyEntryChanged();
  changed.setRegister("ANALOG_GAIN", 40);
  ASSERT_TRUE(ocamera::applySettings(*camera_, changed).ok());
  const Settings powerOn = ocamera::powerOnSettings(ocamera::sensorGeometry(*camera_));
  // Every entry but the mode (STOP in both) differs now.
  std::size_t differ = 0;
  for (const auto &d : ocamera::diffSettings(sim_->settings(), powerOn))
    if (d.name.rfind("registers.", 0) != 0) ++differ;
  EXPECT_EQ(differ, ocamera::settingTable().size() - 1);
  const ocamera::ApplyResult r = ocamera::resetSettings(*camera_);
  EXPECT_TRUE(r.ok());
  EXPECT_EQ(entryDifferences(sim_->settings(), powerOn), "");
  // The gain register follows the gain set after it.
  EXPECT_EQ(sim_->settings().registers().at("ANALOG_GAIN").value, 16u);
}

TEST_F(CameraSettings, RefusedEntryIsReportedWithItsKeyAndStopsOrIsSkipped) {
  Settings profile;
  profile.set("window", values({700, 0, 100, 100}));  // beyond the 752 columns
  profile.set("gain", 4);
  profile.set("median", 1);
  ocamera::ApplyResult stop = ocamera::applySettings(*camera_, profile, ApplyMode::StopAtRefusal);
  ASSERT_EQ(stop.refused.size(), 1u);
  EXPECT_EQ(stop.refused[0].name, "window");
  EXPECT_EQ(stop.refused[0].status, ocamera::status::kBadArgument);
  EXPECT_EQ(stop.refused[0].text, ocamera::statusText(ocamera::status::kBadArgument));
  EXPECT_EQ(stop.notSent, (std::vector<std::string>{"gain", "median"}));
  EXPECT_TRUE(stop.applied.empty());
  EXPECT_EQ(sim_->gain(), 1);

  ocamera::ApplyResult skip = ocamera::applySettings(*camera_, profile, ApplyMode::SkipRefused);
  ASSERT_EQ(skip.refused.size(), 1u);
  EXPECT_EQ(skip.refused[0].name, "window");
  EXPECT_EQ(skip.applied, (std::vector<std::string>{"gain", "median"}));
  EXPECT_TRUE(skip.notSent.empty());
  EXPECT_EQ(sim_->gain(), 4);

  Settings registers;
  registers.setRegister("NO_SUCH_REGISTER", 1);
  const auto r = ocamera::applySettings(*camera_, registers);
  ASSERT_EQ(r.refused.size(), 1u);
  EXPECT_EQ(r.refused[0].name, "registers.NO_SUCH_REGISTER");
  EXPECT_EQ(r.refused[0].status, ocamera::status::kUnknownRegister);
}

TEST_F(CameraSettings, SessionRecordHoldsWhatTheCameraAcceptedWithItsOrigin) {
  EXPECT_TRUE(ocamera::sessionRecord(*camera_).empty());
  ASSERT_EQ(camera_->setGain(3), 0);
  EXPECT_NE(camera_->setGain(40), 0);  // refused: the 3 stays
  ASSERT_EQ(camera_->setCameraWindow(2, 2, 100, 80), 0);
  ASSERT_EQ(camera_->setSensorRegister("READ_MODE", 5), 0);
  EXPECT_NE(camera_->setSensorRegister("CHIP_VERSION", 5), 0);  // read-only
  const OCamera::FilterParams params{1, 9, 0};
  ASSERT_EQ(camera_->setFilter(OCamera::FILTER_MEAN, &params), 0);
  Settings record = ocamera::sessionRecord(*camera_);
  EXPECT_EQ(record.entries().size(), 3u);
  EXPECT_EQ(record.get("gain")->value, values({3}));
  EXPECT_EQ(record.get("gain")->origin, ocamera::SettingOrigin::Recorded);
  EXPECT_EQ(record.get("window")->value, values({2, 2, 100, 80}));
  EXPECT_EQ(record.get("filter")->value, values({3, 1, 9, 0}));
  EXPECT_EQ(record.registers().size(), 1u);
  EXPECT_EQ(record.registers().at("READ_MODE").value, 5u);

  // Applying a whole profile records all of it: the record is then the profile.
  const Settings profile = everyEntryChanged();
  ASSERT_TRUE(ocamera::applySettings(*camera_, profile).ok());
  record = ocamera::sessionRecord(*camera_);
  EXPECT_EQ(entryDifferences(record, profile), "");
  EXPECT_EQ(record.get("whiteBalance")->value.bytes, profile.get("whiteBalance")->value.bytes);
  EXPECT_EQ(record.get("laserProfiling")->value.bytes, (std::vector<unsigned char>{9, 8, 7, 6}));
}

TEST_F(CameraSettings, ReadSettingsGivesTheExposureAndRegistersAsRead) {
  ASSERT_EQ(camera_->setShutterTime(4321), 0);
  ASSERT_EQ(camera_->setGain(2), 0);
  std::string why = "stale";
  const Settings read = ocamera::readSettings(*camera_, &why);
  EXPECT_EQ(why, "");
  ASSERT_NE(read.get("shutterTime"), nullptr);
  EXPECT_EQ(read.get("shutterTime")->value, values({4321}));
  EXPECT_EQ(read.get("shutterTime")->origin, ocamera::SettingOrigin::Read);
  EXPECT_EQ(read.entries().size(), 1u);
  EXPECT_EQ(read.registers().at("ANALOG_GAIN").value, 32u);
  EXPECT_EQ(read.registers().at("ANALOG_GAIN").origin, ocamera::SettingOrigin::Read);
  EXPECT_EQ(read.registers().size(), sim_->settings().registers().size());
}

TEST_F(CameraSettings, GeometryComesFromTheDeviceDescriptionAndSetsTheResetWindow) {
  const ocamera::SensorGeometry g = ocamera::sensorGeometry(*camera_);
  EXPECT_EQ(g.width, 752);
  EXPECT_EQ(g.height, 480);
  EXPECT_EQ(g.pattern, OCameraTools::BAYER_PATTERN_BGBG);
  ASSERT_EQ(camera_->setCameraWindow(0, 0, 10, 10), 0);
  ASSERT_TRUE(ocamera::resetSettings(*camera_).ok());
  EXPECT_EQ(sim_->settings().get("window")->value, values({0, 0, 752, 480}));

  // A camera whose description says nothing: unknown.
  ocamsim::Options o;
  o.ioPort = -1;
  ocamsim::DeviceEntry d;
  d.id = 1;
  d.type = "ONetCamera";
  d.description = "a camera";
  o.devices = {d};
  ocamsim::Simulator plain(o);
  plain.start();
  CameraHandle other(
      CreateCameraInterface(OCamera::CAM_TYPE_GENERIC, plain.cameraAddress().c_str()));
  ASSERT_TRUE(other);
  EXPECT_FALSE(ocamera::sensorGeometry(*other).known());
}

TEST_F(CameraSettings, SimulatorStartsFromAProfileAndNamesARefusedEntry) {
  Settings profile = everyEntryChanged();
  profile.setRegister("READ_MODE", 7);
  ocamsim::Options o;
  o.ioPort = -1;
  o.sensorWidth = 752;
  o.sensorHeight = 480;
  ocamsim::Simulator fresh(o);
  EXPECT_EQ(fresh.applySettings(profile), "");
  EXPECT_EQ(entryDifferences(fresh.settings(), profile), "");
  EXPECT_EQ(fresh.settings().registers().at("READ_MODE").value, 7u);
  EXPECT_EQ(fresh.openSessions(), 0u);

  Settings refused;
  refused.set("gain", 5);
  refused.set("acquisitionMode", OCamera::ACQ_MODE_FREE_RUN);  // the camera is not open
  const std::string why = fresh.applySettings(refused);
  EXPECT_EQ(why.rfind("acquisitionMode: ", 0), 0u) << why;
  EXPECT_EQ(fresh.settings().get("gain")->value, values({5}));
}

TEST(SettingsFile, WrittenWholeAndReadBackButNeverOverAnythingButAFile) {
  char dir[] = "/tmp/settings_test_XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  const std::string path = std::string(dir) + "/profile.json";
  Settings s = ocamera::powerOnSettings();
  s.set("gain", 9);
  std::string why;
  ASSERT_TRUE(s.writeFile(path, &why)) << why;
  Settings back;
  ASSERT_TRUE(Settings::readFile(path, &back, &why)) << why;
  EXPECT_EQ(back.get("gain")->value, values({9}));
  // A directory of that name is left alone, and named in the refusal.
  EXPECT_FALSE(s.writeFile(dir, &why));
  EXPECT_EQ(why, std::string(dir) + ": not a regular file");
  EXPECT_FALSE(Settings::readFile(dir, &back, &why));
  EXPECT_FALSE(Settings::readFile(std::string(dir) + "/none.json", &back, &why));
  EXPECT_EQ(why.rfind(std::string(dir) + "/none.json: cannot open", 0), 0u) << why;
  // A refusal of the text names the file and the key.
  std::FILE *f = std::fopen(path.c_str(), "w");
  ASSERT_TRUE(f);
  std::fputs("{\"format\": 1, \"gain\": 0}", f);
  std::fclose(f);
  EXPECT_FALSE(Settings::readFile(path, &back, &why));
  EXPECT_EQ(why, path + ": gain must be 1..32, not 0");
  std::remove(path.c_str());
  rmdir(dir);
}

}  // namespace
