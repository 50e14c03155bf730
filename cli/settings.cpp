// ocam set / ocam get: the camera settings a user changes most.
#include <iostream>
#include <utility>

#include "commands.h"
#include "common.h"

namespace ocam_cli {
namespace {

const std::vector<Named> kTriggerSources = {{"SOFTWARE", OCamera::TRIG_SRC_SOFTWARE},
                                            {"E0", OCamera::TRIG_SRC_EXTERNAL_E0},
                                            {"E1", OCamera::TRIG_SRC_EXTERNAL_E1}};
const std::vector<Named> kPolarities = {{"HIGH", OCamera::TRIG_POL_ACTIVE_HIGH},
                                        {"LOW", OCamera::TRIG_POL_ACTIVE_LOW}};
const std::vector<Named> kIllumination = {{"OFF", OCamera::ILL_MODE_OFF},
                                          {"NORMAL", OCamera::ILL_MODE_NORMAL},
                                          {"PULSED", OCamera::ILL_MODE_PULSED}};
const std::vector<Named> kIlluminationExt = {{"OFF", OCamera::ILL_MODE_EXT_OFF},
                                             {"POSITIVE", OCamera::ILL_MODE_EXT_ON_POSITIVE},
                                             {"NEGATIVE", OCamera::ILL_MODE_EXT_ON_NEGATIVE}};
const std::vector<Named> kOnOff = {{"ON", 1}, {"OFF", 0}};

// One requested change, checked before anything is sent.
struct Change {
  std::string key;
  std::string value;
  std::function<int(OCamera &)> apply;
};

Change makeChange(const std::string &key, const std::string &value) {
  std::string name = upper(key);
  std::string what = key;
  if (name == "SHUTTER") {
    int us = parseInt(value, what, 1, 1000000000);
    return {key, value, [us](OCamera &c) { return c.setShutterTime(us); }};
  }
  if (name == "GAIN") {
    int factor = parseInt(value, what, 0, 1000000);
    return {key, value, [factor](OCamera &c) { return c.setGain(factor); }};
  }
  if (name == "FPS") {
    float fps = parseFloat(value, what, 0.001f, 100000.0f);
    return {key, value, [fps](OCamera &c) { return c.setFrameRate(fps); }};
  }
  if (name == "WINDOW") {
    std::vector<std::string> parts = splitList(value);
    if (parts.size() != 4) throw UsageError("window must be X,Y,WIDTH,HEIGHT, not '" + value + "'");
    int x0 = parseInt(parts[0], "window x", 0, 65535);
    int y0 = parseInt(parts[1], "window y", 0, 65535);
    int width = parseInt(parts[2], "window width", 1, 65535);
    int height = parseInt(parts[3], "window height", 1, 65535);
    return {key, value, [=](OCamera &c) { return c.setCameraWindow(x0, y0, width, height); }};
  }
  if (name == "TRIGGER") {
    std::vector<std::string> parts = splitList(value);
    if (parts.size() > 2)
      throw UsageError("trigger must be SOURCE[,POLARITY], not '" + value + "'");
    auto source = static_cast<OCamera::eTrigSource>(
        lookupName(kTriggerSources, parts[0], "trigger source", "TRIG_SRC_EXTERNAL_"));
    auto polarity = static_cast<OCamera::eTrigPolarity>(
        parts.size() == 2 ? lookupName(kPolarities, parts[1], "trigger polarity", "ACTIVE_")
                          : OCamera::TRIG_POL_ACTIVE_HIGH);
    return {key, value,
            [source, polarity](OCamera &c) { return c.setTriggerSource(source, polarity); }};
  }
  if (name == "TRIGGER-DELAY") {
    int delay = parseInt(value, what, 0, 1000000000);
    return {key, value, [delay](OCamera &c) { return c.setTriggerDelay(delay); }};
  }
  if (name == "ILLUMINATION") {
    auto mode = static_cast<OCamera::eIllMode>(lookupName(kIllumination, value, what));
    return {key, value, [mode](OCamera &c) { return c.setIlluminationMode(mode); }};
  }
  if (name == "ILLUMINATION-EXT") {
    auto mode = static_cast<OCamera::eIllModeExt>(lookupName(kIlluminationExt, value, what));
    return {key, value, [mode](OCamera &c) { return c.setIlluminationModeExternal(mode); }};
  }
  if (name == "LIGHT") {
    bool on = lookupName(kOnOff, value, what) != 0;
    return {key, value, [on](OCamera &c) { return c.switchIllumination(on); }};
  }
  throw UsageError("unknown setting '" + key +
                   "' (one of: shutter, gain, fps, window, trigger, trigger-delay, "
                   "illumination, illumination-ext, light)");
}

// "key value key value" or "key=value key=value", mixed freely.
std::vector<std::pair<std::string, std::string>> pairs(const std::vector<std::string> &words) {
  std::vector<std::pair<std::string, std::string>> result;
  for (std::size_t i = 0; i < words.size(); ++i) {
    std::size_t eq = words[i].find('=');
    if (eq != std::string::npos) {
      result.emplace_back(words[i].substr(0, eq), words[i].substr(eq + 1));
    } else if (i + 1 < words.size()) {
      result.emplace_back(words[i], words[i + 1]);
      ++i;
    } else {
      throw UsageError("setting '" + words[i] + "' has no value");
    }
  }
  return result;
}

int runSet(const Args &args) {
  if (args.positional().empty()) throw UsageError("nothing to set");
  std::vector<Change> changes;
  for (const auto &[key, value] : pairs(args.positional()))
    changes.push_back(makeChange(key, value));
  CameraPtr camera = connectCamera(cameraAddress(args), sensorType(args));
  for (const Change &change : changes) {
    expectOk(change.apply(*camera), "setting " + change.key + " to " + change.value);
    std::cout << change.key << '=' << change.value << '\n';
  }
  return 0;
}

int runGet(const Args &args) {
  if (args.positional().empty()) throw UsageError("nothing to get");
  std::vector<std::pair<std::string, std::function<int(OCamera &)>>> getters;
  for (const std::string &key : args.positional()) {
    std::string name = upper(key);
    if (name == "SHUTTER")
      getters.emplace_back(key, [](OCamera &c) { return c.getShutterTime(); });
    else if (name == "IMAGES")
      getters.emplace_back(key, [](OCamera &c) { return c.getImageCount(); });
    else if (name == "MAX-IMAGES")
      getters.emplace_back(key, [](OCamera &c) { return c.getMaxImageCount(); });
    else
      throw UsageError("'" + key +
                       "' cannot be read back from the camera (readable: shutter, images, "
                       "max-images)");
  }
  CameraPtr camera = connectCamera(cameraAddress(args), sensorType(args));
  for (const auto &[key, getter] : getters) {
    int value = getter(*camera);
    // Every error the camera answers is negative; -1 is a failed request.
    if (value < 0) {
      expectValue(value, "reading " + key);
      throw Failure("reading " + key + ": the camera refused (status " + std::to_string(value) +
                    ")");
    }
    if (getters.size() == 1)
      std::cout << value << '\n';
    else
      std::cout << key << '=' << value << '\n';
  }
  return 0;
}

}  // namespace

Command setCommand() {
  return {{"set",
           "Change camera settings",
           "[-a ADDR] KEY VALUE [KEY VALUE ...]",
           "Sends each setting in the order given and stops at the first the camera\n"
           "refuses. KEY=VALUE works as well as KEY VALUE.\n\n"
           "settings:\n"
           "  shutter US              exposure time (the simulator counts microseconds)\n"
           "  gain N                  gain factor\n"
           "  fps F                   frame rate, may have decimals\n"
           "  window X,Y,W,H          sensor window; it sets the image size\n"
           "  trigger SRC[,POL]       software, e0 or e1; polarity high (default) or low\n"
           "  trigger-delay US        delay after an external trigger\n"
           "  illumination MODE       off, normal or pulsed\n"
           "  illumination-ext MODE   external output: off, positive or negative\n"
           "  light on|off            switch the illumination\n\n"
           "examples:\n"
           "  ocam set shutter 5000 gain 2\n"
           "  ocam set window=0,0,640,480 fps=12.5 trigger=e0,low\n",
           {cameraAddressOption(), sensorTypeOption()}},
          runSet};
}

Command getCommand() {
  return {{"get",
           "Read camera settings",
           "[-a ADDR] KEY [KEY ...]",
           "Prints the value alone for one key, KEY=VALUE lines for several.\n\n"
           "keys:\n"
           "  shutter      exposure time\n"
           "  images       images waiting in the camera\n"
           "  max-images   how many images the camera can hold\n\n"
           "The camera cannot report its gain, frame rate, window, trigger or\n"
           "illumination: those are set only.\n\n"
           "example:\n"
           "  ocam get shutter\n",
           {cameraAddressOption(), sensorTypeOption()}},
          runGet};
}

}  // namespace ocam_cli
