// What every camera operation puts on the wire and what it makes of the reply,
// against a scripted camera that answers exactly what a case asks for.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "camera/camera_support.h"

namespace camera_test {
namespace {

struct WireCase {
  std::string label;
  std::function<int(OCamera &)> invoke;
  std::string operation;              // request element, e.g. "scam:setGain"
  std::vector<std::string> children;  // expected after the token, in this order
  std::vector<std::string> absent;    // members that must be left out
};

std::string el(const std::string &name, const std::string &text) {
  return "<scam:" + name + ">" + text + "</scam:" + name + ">";
}

std::vector<unsigned char> pattern(std::size_t n, unsigned seed) {
  std::vector<unsigned char> bytes(n);
  for (std::size_t i = 0; i < n; ++i) bytes[i] = static_cast<unsigned char>(i * 31 + seed);
  return bytes;
}

const std::vector<unsigned char> kTable = pattern(768, 5);
const std::vector<unsigned char> kRefData = pattern(640, 9);
const std::vector<unsigned char> kRamBytes = pattern(10, 1);

OCamera::LaserSetup laserSetup(const unsigned char *refData) {
  return {true,
          1,
          2,
          640,
          4,
          OCamera::PRIO_LARGEST_LAST,
          OCamera::DIRECTION_BOTTOM_UP,
          5,
          6,
          7,
          8,
          OCamera::LASER_OUTPUT_8_3,
          refData};
}

std::vector<WireCase> wireCases() {
  using C = OCamera;
  const C::CalibrationParams calib{3, 40, 50};
  const C::FilterParams filter{2, 11, 12};
  const C::BinarizationParams binar{true, 2, 100, 200};
  const std::string noParams =
      el("bHasParams", "false") + el("nNumParam", "0") + el("nParam1", "0") + el("nParam2", "0");
  return {
      {"open",
       [](C &c) { return c.open(4096, 3); },
       "scam:open",
       {el("frameBufferSize", "4096"), el("maxBuffers", "3")},
       {}},
      {"close", [](C &c) { return c.close(); }, "scam:close", {}, {}},
      {"getMaxImageCount",
       [](C &c) { return c.getMaxImageCount(); },
       "scam:getMaxImageCount",
       {},
       {}},
      {"setAcquisitionMode",
       [](C &c) { return c.setAcquisitionMode(C::ACQ_MODE_SINGLE_SHOT); },
       "scam:setAcquisitionMode",
       {el("eAcq", "ACQ-MODE-SINGLE-SHOT")},
       {}},
      {"setTriggerSource",
       [](C &c) { return c.setTriggerSource(C::TRIG_SRC_EXTERNAL_E1, C::TRIG_POL_ACTIVE_LOW); },
       "scam:setTriggerSource",
       {el("eTrig", "TRIG-SRC-EXTERNAL-E1"), el("ePol", "TRIG-POL-ACTIVE-LOW")},
       {}},
      {"setIlluminationMode",
       [](C &c) { return c.setIlluminationMode(C::ILL_MODE_PULSED); },
       "scam:setIlluminationMode",
       {el("eIll", "ILL-MODE-PULSED")},
       {}},
      {"setIlluminationModeExternal",
       [](C &c) { return c.setIlluminationModeExternal(C::ILL_MODE_EXT_OFF); },
       "scam:setIlluminationModeExternal",
       {el("eIll", "ILL-MODE-EXT-OFF")},
       {}},
      {"setIlluminationTiming",
       [](C &c) { return c.setIlluminationTiming(10, 20); },
       "scam:setIlluminationTiming",
       {el("dDelay", "10"), el("dPeriod", "20")},
       {}},
      {"switchIllumination on",
       [](C &c) { return c.switchIllumination(true); },
       "scam:switchIllumination",
       {el("bOn", "1")},
       {}},
      {"switchIllumination off",
       [](C &c) { return c.switchIllumination(false); },
       "scam:switchIllumination",
       {el("bOn", "0")},
       {}},
      {"setShutterTime",
       [](C &c) { return c.setShutterTime(1500); },
       "scam:setShutterTime",
       {el("dShutter", "1500")},
       {}},
      {"getShutterTime", [](C &c) { return c.getShutterTime(); }, "scam:getShutterTime", {}, {}},
      {"setCameraWindow",
       [](C &c) { return c.setCameraWindow(1, 2, 3, 4); },
       "scam:setCameraWindow",
       {el("dX0", "1"), el("dY0", "2"), el("dWidth", "3"), el("dHeight", "4")},
       {}},
      {"setFrameRate float",
       [](C &c) { return c.setFrameRate(12.5f); },
       "scam:setFrameRateFloat",
       {el("dFps", "12.5")},
       {}},
      {"setFrameRate int",
       [](C &c) { return c.setFrameRate(25); },
       "scam:setFrameRate",
       {el("dFps", "25")},
       {}},
      {"setTriggerDelay",
       [](C &c) { return c.setTriggerDelay(-3); },
       "scam:setTriggerDelay",
       {el("dDelay", "-3")},
       {}},
      {"setGain", [](C &c) { return c.setGain(3); }, "scam:setGain", {el("dFactor", "3")}, {}},
      {"initColor", [](C &c) { return c.initColor(); }, "scam:initColor", {}, {}},
      {"setReadTimeout",
       [](C &c) { return c.setReadTimeout(900); },
       "scam:setReadTimeout",
       {el("dTimeout", "900")},
       {}},
      {"setCircularOverwrite",
       [](C &c) { return c.setCircularOverwrite(true); },
       "scam:setCircularOverwrite",
       {el("bOverwrite", "1")},
       {}},
      {"setJPEG",
       [](C &c) {
         return c.setJPEG(true, C::JPEG_QUALITY_GOOD, false, OCameraTools::BAYER_PATTERN_GBGB,
                          true);
       },
       "scam:setJPEG",
       {el("bEnable", "1"), el("eQuality", "JPEG-QUALITY-GOOD"), el("bByteStuffEnable", "0"),
        el("ePattern", "BAYER-PATTERN-GBGB"), el("bForceGreyscale", "1")},
       {}},
      {"setFrequency",
       [](C &c) { return c.setFrequency(C::FREQU_40MHz); },
       "scam:setFrequency",
       {el("eFrequ", "FREQU-40MHz")},
       {}},
      {"writeImageRAM",
       [](C &c) { return c.writeImageRAM(kRamBytes.data(), 4096, 10); },
       "scam:writeImageRAM",
       {el("data", base64(kRamBytes)), el("ulAddr", "4096"), el("ulLen", "10")},
       {}},
      {"imageRAMToImageRAM",
       [](C &c) { return c.imageRAMToImageRAM(1, 2, 3, 4294967295u); },
       "scam:imageRAMToImageRAM",
       {el("ulSrcAddr", "1"), el("ulSrcLen", "2"), el("ulDestAddr", "3"),
        el("ulDestLen", "4294967295")},
       {}},
      {"initImageRAM", [](C &c) { return c.initImageRAM(); }, "scam:initImageRAM", {}, {}},
      {"disableImageRAM", [](C &c) { return c.disableImageRAM(); }, "scam:disableImageRAM", {}, {}},
      {"getImageToImageRAM",
       [](C &c) { return c.getImageToImageRAM(65536); },
       "scam:getImageToImageRAM",
       {el("ulAddr", "65536")},
       {}},
      {"resetSequenceCounter",
       [](C &c) { return c.resetSequenceCounter(); },
       "scam:resetSequenceCounter",
       {},
       {}},
      {"purgeImages", [](C &c) { return c.purgeImages(); }, "scam:purgeImages", {}, {}},
      {"calibrateSensor with params",
       [calib](C &c) { return c.calibrateSensor(&calib); },
       "scam:calibrateSensor",
       {"<scam:CalibrateParam>", el("bHasParams", "true"), el("nNumParam", "3"),
        el("nParam1", "40"), el("nParam2", "50")},
       {}},
      {"calibrateSensor without params",
       [](C &c) { return c.calibrateSensor(nullptr); },
       "scam:calibrateSensor",
       {"<scam:CalibrateParam>" + noParams},
       {}},
      {"setSensorRegister",
       [](C &c) { return c.setSensorRegister("gain<A&B>", 7); },
       "scam:setSensorRegister",
       {el("name", "gain&lt;A&amp;B&gt;"), el("nValue", "7")},
       {}},
      {"triggerImage", [](C &c) { return c.triggerImage(); }, "scam:triggerImage", {}, {}},
      {"triggerImageAbort",
       [](C &c) { return c.triggerImageAbort(); },
       "scam:triggerImageAbort",
       {},
       {}},
      {"setupLaserProfiling with reference data",
       [](C &c) { return c.setupLaserProfiling(laserSetup(kRefData.data())); },
       "scam:setupLaserProfiling",
       {"<scam:setup>", el("bEnable", "true"), el("dX0", "1"), el("dY0", "2"), el("dWidth", "640"),
        el("dHeight", "4"), el("ePrio", "PRIO-LARGEST-LAST"), el("eDir", "DIRECTION-BOTTOM-UP"),
        el("dThreshMin", "5"), el("dThreshMax", "6"), el("dAreaMin", "7"), el("dAreaMax", "8"),
        el("eSubRes", "LASER-OUTPUT-8-3"), el("RefData", base64(kRefData))},
       {}},
      {"setupLaserProfiling without reference data",
       [](C &c) { return c.setupLaserProfiling(laserSetup(nullptr)); },
       "scam:setupLaserProfiling",
       {el("eSubRes", "LASER-OUTPUT-8-3")},
       {"RefData"}},
      {"setHardwareApplet",
       [](C &c) { return c.setHardwareApplet(true, 1024, C::APPLET_IN8_OUT16); },
       "scam:setHardwareApplet",
       {el("bEnable", "1"), el("nMaxSize", "1024"), el("eApplet", "APPLET-IN8-OUT16")},
       {}},
      {"setMedian",
       [](C &c) { return c.setMedian(false); },
       "scam:setMedian",
       {el("bEnable", "0")},
       {}},
      {"setFilter with params",
       [filter](C &c) { return c.setFilter(C::FILTER_SOBEL, &filter); },
       "scam:setFilter",
       {"<scam:setup>", el("eFilter", "FILTER-SOBEL"), el("bHasParams", "true"),
        el("nNumParam", "2"), el("nParam1", "11"), el("nParam2", "12")},
       {}},
      {"setFilter without params",
       [](C &c) { return c.setFilter(C::FILTER_MEDIAN, nullptr); },
       "scam:setFilter",
       {"<scam:setup>", el("eFilter", "FILTER-MEDIAN") + noParams},
       {}},
      {"setBinarization with params",
       [binar](C &c) { return c.setBinarization(true, &binar); },
       "scam:setBinarization",
       {"<scam:setup>", el("bEnable", "true"), el("bHasParams", "true"), el("bInvert", "true"),
        el("nNumThreshold", "2"), el("nThreshold1", "100"), el("nThreshold2", "200")},
       {}},
      {"setBinarization without params",
       [](C &c) { return c.setBinarization(false, nullptr); },
       "scam:setBinarization",
       {"<scam:setup>", el("bEnable", "false"), el("bHasParams", "false"), el("bInvert", "false"),
        el("nNumThreshold", "0"), el("nThreshold1", "0"), el("nThreshold2", "0")},
       {}},
      {"setBayer2X",
       [](C &c) { return c.setBayer2X(C::BAYER_OUTPUT_G, OCameraTools::BAYER_PATTERN_RGRG); },
       "scam:setBayer2X",
       {el("eBayer2xOutput", "BAYER-OUTPUT-G"), el("ePattern", "BAYER-PATTERN-RGRG")},
       {}},
      {"setWhiteBalance with table",
       [](C &c) { return c.setWhiteBalance(OCameraTools::BAYER_PATTERN_BGBG, kTable.data()); },
       "scam:setWhiteBalance",
       {el("ePattern", "BAYER-PATTERN-BGBG"), el("data", base64(kTable))},
       {}},
      {"setWhiteBalance without table",
       [](C &c) { return c.setWhiteBalance(OCameraTools::BAYER_PATTERN_GRGR, nullptr); },
       "scam:setWhiteBalance",
       {el("ePattern", "BAYER-PATTERN-GRGR")},
       {"data"}},
      {"setImageRAMPictureSize",
       [](C &c) { return c.setImageRAMPictureSize(640, 480); },
       "scam:setImageRAMPictureSize",
       {el("dWidth", "640"), el("dHeight", "480")},
       {}},
      {"setTriggerWindow",
       [](C &c) { return c.setTriggerWindow(1, 2, 3, 4, 5, 6); },
       "scam:setTriggerWindow",
       {el("dX0", "1"), el("dY0", "2"), el("dWidth", "3"), el("dHeight", "4"),
        el("dThreshMin", "5"), el("dThreshMax", "6")},
       {}},
      {"setupImageCorrection on",
       [](C &c) { return c.setupImageCorrection(true, C::CORRECTION_MASK_OR, 16, 32, 2); },
       "scam:setupImageCorrection",
       {el("bEnable", "true"), el("eType", "CORRECTION-MASK-OR"), el("ulStartAddr", "16"),
        el("ulSize", "32"), el("ulImages", "2")},
       {}},
      {"setupImageCorrection off",
       [](C &c) { return c.setupImageCorrection(false, C::CORRECTION_REPLACE, 0, 0, 0); },
       "scam:setupImageCorrection",
       {el("bEnable", "false"), el("eType", "CORRECTION-REPLACE")},
       {}},
      {"setupImageSplitting",
       [](C &c) { return c.setupImageSplitting(C::SPLIT_RAW, 8, 9); },
       "scam:setupImageSplitting",
       {el("eType", "SPLIT-RAW"), el("ulDestAddr", "8"), el("ulSize", "9")},
       {}},
  };
}

// Each operation sends its element with the token first and the arguments in
// order, and returns the status the camera answered; a fault gives -1.
TEST(CameraWire, EveryOperationSendsItsMembersAndReturnsTheStatus) {
  ScriptedCamera scripted;
  CameraHandle camera = scripted.create();
  ASSERT_NE(camera, nullptr);
  const std::string token = el("token", std::to_string(ScriptedCamera::kToken));
  int status = 40;
  for (const WireCase &c : wireCases()) {
    SCOPED_TRACE(c.label);
    scripted.answerStatus(c.operation, ++status);
    EXPECT_EQ(c.invoke(*camera), status);
    const auto requests = scripted.requestsOf(c.operation);
    ASSERT_FALSE(requests.empty());
    const std::string &body = requests.back().body;
    std::size_t at = body.find("<" + c.operation + ">" + token);
    ASSERT_NE(at, std::string::npos) << body;
    for (const std::string &child : c.children) {
      const std::size_t next = body.find(child, at);
      EXPECT_NE(next, std::string::npos) << "missing or out of order: " << child;
      if (next != std::string::npos) at = next + child.size();
    }
    for (const std::string &name : c.absent)
      EXPECT_EQ(body.find("<scam:" + name), std::string::npos) << name << " sent: " << body;

    scripted.answerFault(c.operation);
    EXPECT_EQ(c.invoke(*camera), -1) << "a fault must give -1";
  }
}

TEST(CameraWire, GettersReportFailureTheirOwnWay) {
  ScriptedCamera scripted;
  CameraHandle camera = scripted.create();
  ASSERT_NE(camera, nullptr);

  scripted.answerStatus("scam:getImageCount", 12);
  EXPECT_EQ(camera->getImageCount(), 12);
  scripted.answerFault("scam:getImageCount");
  EXPECT_EQ(camera->getImageCount(), 0);

  unsigned value = 1234;
  scripted.answer("scam:getSensorRegister",
                  "<scam:GetSensorRegisterResponse><scam:nValue>4000000000</scam:nValue>"
                  "<scam:status>3</scam:status></scam:GetSensorRegisterResponse>");
  EXPECT_EQ(camera->getSensorRegister("gain", &value), 3);
  EXPECT_EQ(value, 4000000000u);
  EXPECT_NE(scripted.requestsOf("scam:getSensorRegister").back().body.find(el("name", "gain")),
            std::string::npos);
  value = 1234;
  scripted.answerFault("scam:getSensorRegister");
  EXPECT_EQ(camera->getSensorRegister("gain", &value), -1);
  EXPECT_EQ(value, 1234u) << "a failed read must not write the value";
}

TEST(CameraWire, ReservedSlotsSendNothing) {
  ScriptedCamera scripted;
  CameraHandle camera = scripted.create();
  ASSERT_NE(camera, nullptr);
  const std::size_t before = scripted.requestCount();
  EXPECT_EQ(camera->reserved1(), 0);
  EXPECT_EQ(camera->reserved2(), -1);
  EXPECT_EQ(scripted.requestCount(), before);
}

TEST(CameraWire, SensorRegisterNamesAreCopiedAndReplaced) {
  ScriptedCamera scripted;
  CameraHandle camera = scripted.create();
  ASSERT_NE(camera, nullptr);
  auto names = [](std::vector<std::string> list) {
    std::string body = "<scam:SensorRegisterNames>";
    for (const auto &n : list) body += el("names", n);
    return body + "</scam:SensorRegisterNames>";
  };

  scripted.answer("scam:getSensorRegisterNames", names({"gain", "shutter", "black level"}));
  const char *const *first = camera->getSensorRegisterNames();
  ASSERT_NE(first, nullptr);
  EXPECT_STREQ(first[0], "gain");
  EXPECT_STREQ(first[1], "shutter");
  EXPECT_STREQ(first[2], "black level");
  EXPECT_EQ(first[3], nullptr);

  // A failed request leaves the earlier list valid.
  scripted.answerFault("scam:getSensorRegisterNames");
  EXPECT_EQ(camera->getSensorRegisterNames(), nullptr);
  EXPECT_STREQ(first[2], "black level");

  scripted.answer("scam:getSensorRegisterNames", names({"window"}));
  const char *const *second = camera->getSensorRegisterNames();
  ASSERT_NE(second, nullptr);
  EXPECT_STREQ(second[0], "window");
  EXPECT_EQ(second[1], nullptr);

  // No names at all: an empty list, not a failure.
  scripted.answer("scam:getSensorRegisterNames", names({}));
  const char *const *empty = camera->getSensorRegisterNames();
  ASSERT_NE(empty, nullptr);
  EXPECT_EQ(empty[0], nullptr);
}

}  // namespace
}  // namespace camera_test
