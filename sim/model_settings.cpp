// The camera's settings as a settings document: what the model keeps right
// now, and a profile made at start-up.
#include <functional>
#include <map>

#include "sim/model.h"

namespace ocamsim {
namespace detail {
namespace {

using namespace status;
using ocamera::SettingValue;

SettingValue numbers(std::initializer_list<double> list,
                     const std::vector<std::uint8_t> &bytes = {}) {
  SettingValue v;
  v.numbers.assign(list.begin(), list.end());
  v.bytes.assign(bytes.begin(), bytes.end());
  return v;
}

double flag(bool on) { return on ? 1 : 0; }

}  // namespace

ocamera::Settings Model::settings() {
  std::lock_guard<std::mutex> lock(mutex_);
  const StoredSettings &s = stored_;
  const Window &w = cam_.window;
  const Window &tw = s.triggerWindow;
  const Window &lw = s.laserWindow;
  const std::map<std::string, SettingValue> values = {
      {"frequency", numbers({double(s.frequency)})},
      {"window", numbers({double(w.x0), double(w.y0), double(w.width), double(w.height)})},
      {"frameRate", numbers({cam_.fps})},
      {"shutterTime", numbers({double(cam_.shutterUs)})},
      {"gain", numbers({double(cam_.gainSixteenths / 16)})},
      {"triggerSource", numbers({double(cam_.triggerSource), double(cam_.triggerPolarity)})},
      {"triggerDelay", numbers({double(cam_.triggerDelayUs)})},
      {"triggerWindow", numbers({double(tw.x0), double(tw.y0), double(tw.width), double(tw.height),
                                 double(s.triggerThreshMin), double(s.triggerThreshMax)})},
      {"illuminationMode", numbers({double(s.illuminationMode)})},
      {"illuminationModeExternal", numbers({double(s.illuminationModeExternal)})},
      {"illuminationTiming", numbers({double(s.illuminationDelay), double(s.illuminationPeriod)})},
      {"illumination", numbers({flag(s.illumination)})},
      {"readTimeout", numbers({double(cam_.readTimeoutMs)})},
      {"circularOverwrite", numbers({flag(cam_.overwrite)})},
      {"jpeg", numbers({flag(s.jpegEnable), double(s.jpegQuality), flag(s.jpegByteStuff),
                        double(s.jpegPattern), flag(s.jpegGreyscale)})},
      {"bayer2X", numbers({double(s.bayer2XOutput), double(s.bayer2XPattern)})},
      {"whiteBalance", numbers({double(s.whiteBalancePattern), 0}, s.whiteBalanceTable)},
      {"median", numbers({flag(s.median)})},
      {"filter", numbers({double(s.filter), double(s.filterParams[0]), double(s.filterParams[1]),
                          double(s.filterParams[2])})},
      {"binarization",
       numbers({flag(s.binarization), flag(s.binarizationInvert),
                double(s.binarizationThresholds[0]), double(s.binarizationThresholds[1]),
                double(s.binarizationThresholds[2])})},
      {"imageRAMPictureSize", numbers({double(s.ramPictureWidth), double(s.ramPictureHeight)})},
      {"imageCorrection",
       numbers({flag(s.correction), double(s.correctionType), double(s.correctionRegion[0]),
                double(s.correctionRegion[1]), double(s.correctionRegion[2])})},
      {"imageSplitting",
       numbers({double(s.splitting), double(s.splittingRegion[0]), double(s.splittingRegion[1])})},
      {"laserProfiling",
       numbers({flag(s.laserEnable), double(lw.x0), double(lw.y0), double(lw.width),
                double(lw.height), double(s.laserPriority), double(s.laserDirection),
                double(s.laserThreshMin), double(s.laserThreshMax), double(s.laserAreaMin),
                double(s.laserAreaMax), double(s.laserFormat), 0},
               s.laserReference)},
      {"hardwareApplet", numbers({flag(s.applet), double(s.appletMaxSize), double(s.appletType)})},
      {"acquisitionMode", numbers({double(cam_.mode)})},
  };
  ocamera::Settings out;
  // A value the library's table cannot hold (a switched-off laser set-up
  // outside the sensor, the mode FREE-RUN-SLAVE-STOP) is left out.
  for (const auto &v : values) out.set(v.first, v.second, ocamera::SettingOrigin::Read);
  for (const std::string &name : registers_.names()) {
    std::uint32_t value = 0;
    if (readRegister(name, value) == kOk)
      out.setRegister(name, value, ocamera::SettingOrigin::Read);
  }
  out.sensor.width = options_.sensorWidth;
  out.sensor.height = options_.sensorHeight;
  out.sensor.pattern = static_cast<OCameraTools::eBayerPattern>(options_.bayerPattern);
  return out;
}

std::string Model::loadSettings(const ocamera::Settings &profile) {
  using Send = std::function<int(int token, const SettingValue &v)>;
  auto i = [](const SettingValue &v, std::size_t k) { return static_cast<int>(v.numbers[k]); };
  auto u = [](const SettingValue &v, std::size_t k) {
    return static_cast<std::uint32_t>(v.numbers[k]);
  };
  const std::map<std::string, Send> setters = {
      {"frequency", [&](int t, const SettingValue &v) { return setFrequency(t, i(v, 0)); }},
      {"window",
       [&](int t, const SettingValue &v) {
         return setCameraWindow(t, i(v, 0), i(v, 1), i(v, 2), i(v, 3));
       }},
      {"frameRate",
       [&](int t, const SettingValue &v) {
         return setFrameRate(t, static_cast<float>(v.numbers[0]));
       }},
      {"shutterTime", [&](int t, const SettingValue &v) { return setShutterTime(t, i(v, 0)); }},
      {"gain", [&](int t, const SettingValue &v) { return setGain(t, i(v, 0)); }},
      {"triggerSource",
       [&](int t, const SettingValue &v) { return setTriggerSource(t, i(v, 0), i(v, 1)); }},
      {"triggerDelay", [&](int t, const SettingValue &v) { return setTriggerDelay(t, i(v, 0)); }},
      {"triggerWindow",
       [&](int t, const SettingValue &v) {
         return setTriggerWindow(t, i(v, 0), i(v, 1), i(v, 2), i(v, 3), i(v, 4), i(v, 5));
       }},
      {"illuminationMode",
       [&](int t, const SettingValue &v) { return setIlluminationMode(t, i(v, 0)); }},
      {"illuminationModeExternal",
       [&](int t, const SettingValue &v) { return setIlluminationModeExternal(t, i(v, 0)); }},
      {"illuminationTiming",
       [&](int t, const SettingValue &v) { return setIlluminationTiming(t, i(v, 0), i(v, 1)); }},
      {"illumination",
       [&](int t, const SettingValue &v) { return switchIllumination(t, i(v, 0) != 0); }},
      {"readTimeout", [&](int t, const SettingValue &v) { return setReadTimeout(t, i(v, 0)); }},
      {"circularOverwrite",
       [&](int t, const SettingValue &v) { return setCircularOverwrite(t, i(v, 0)); }},
      {"jpeg",
       [&](int t, const SettingValue &v) {
         return setJpeg(t, i(v, 0) != 0, i(v, 1), i(v, 2) != 0, i(v, 3), i(v, 4) != 0);
       }},
      {"bayer2X", [&](int t, const SettingValue &v) { return setBayer2X(t, i(v, 0), i(v, 1)); }},
      {"whiteBalance",
       [&](int t, const SettingValue &v) {
         return setWhiteBalance(t, i(v, 0),
                                std::vector<std::uint8_t>(v.bytes.begin(), v.bytes.end()));
       }},
      {"median", [&](int t, const SettingValue &v) { return setMedian(t, i(v, 0) != 0); }},
      {"filter",
       [&](int t, const SettingValue &v) {
         return setFilter(t, i(v, 0), true, u(v, 1), u(v, 2), u(v, 3));
       }},
      {"binarization",
       [&](int t, const SettingValue &v) {
         return setBinarization(t, i(v, 0) != 0, true, i(v, 1) != 0, i(v, 2), i(v, 3), i(v, 4));
       }},
      {"imageRAMPictureSize",
       [&](int t, const SettingValue &v) { return setRamPictureSize(t, i(v, 0), i(v, 1)); }},
      {"imageCorrection",
       [&](int t, const SettingValue &v) {
         return setupImageCorrection(t, i(v, 0) != 0, i(v, 1), u(v, 2), u(v, 3), u(v, 4));
       }},
      {"imageSplitting",
       [&](int t, const SettingValue &v) {
         return setupImageSplitting(t, i(v, 0), u(v, 1), u(v, 2));
       }},
      {"laserProfiling",
       [&](int t, const SettingValue &v) {
         LaserSetup l;
         l.enable = i(v, 0) != 0;
         l.x0 = i(v, 1);
         l.y0 = i(v, 2);
         l.width = i(v, 3);
         l.height = i(v, 4);
         l.priority = i(v, 5);
         l.direction = i(v, 6);
         l.threshMin = i(v, 7);
         l.threshMax = i(v, 8);
         l.areaMin = i(v, 9);
         l.areaMax = i(v, 10);
         l.format = i(v, 11);
         l.reference.assign(v.bytes.begin(), v.bytes.end());
         return setupLaserProfiling(t, l);
       }},
      {"hardwareApplet",
       [&](int t, const SettingValue &v) {
         return setHardwareApplet(t, i(v, 0) != 0, u(v, 1), i(v, 2));
       }},
      {"acquisitionMode",
       [&](int t, const SettingValue &v) { return setAcquisitionMode(t, i(v, 0)); }},
  };

  // A session of its own, as a client's, so that every value passes the
  // same checks as one sent over the wire.
  int device = 0;
  for (const DeviceEntry &d : devices_)
    if (kindOf(d.type) == DeviceKind::Camera && !device) device = d.id;
  int token = 0;
  if (!device || openSession(device, 3, token) != kOk) return "the camera lists no camera device";
  std::string why;
  auto check = [&](const std::string &name, int st) {
    if (st != kOk && why.empty())
      why = name + ": " + ocamera::statusText(st) + " (status " + std::to_string(st) + ")";
  };
  check("create", cameraCreate(token, 4));
  for (const ocamera::SettingInfo &info : ocamera::settingTable()) {
    if (!why.empty()) break;
    const ocamera::Settings::Entry *e = profile.get(info.name);
    auto setter = setters.find(info.name);
    if (e && setter != setters.end()) check(info.name, setter->second(token, e->value));
    if (std::string(info.name) == "frequency")
      for (const auto &r : profile.registers())
        if (why.empty()) check("registers." + r.first, setRegister(token, r.first, r.second.value));
  }
  cameraDestroy(token);
  closeSession(token);
  return why;
}

}  // namespace detail
}  // namespace ocamsim
