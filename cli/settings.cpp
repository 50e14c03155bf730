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
  bool window = false;  // a refusal names the sensor's size
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
    return {key, value, [=](OCamera &c) { return c.setCameraWindow(x0, y0, width, height); }, true};
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
  const std::string address = cameraAddress(args);
  CameraPtr camera = connectCamera(address, sensorType(args));
  for (const Change &change : changes) {
    int result = change.apply(*camera);
    std::string refusal;
    if (result == status::kBadArgument && change.window) {
      std::string sensor = describedSensorSize(address);
      refusal = "the window " + change.value + " does not lie inside the sensor" +
                (sensor.empty() ? "" : " (" + sensor + ")");
    } else if (result == status::kBadArgument) {
      refusal = "the camera refused " + change.key + " " + change.value;
    }
    expectOk(result, "setting " + change.key + " to " + change.value, refusal);
    std::cout << change.key << '=' << change.value << '\n';
  }
  return 0;
}

int runGet(const Args &args) {
  if (args.positional().empty()) throw UsageError("nothing to get");
  struct Getter {
    std::string key;  // as the user wrote it; JSON uses the lower-case name
    std::string name;
    std::function<int(OCamera &)> read;
  };
  std::vector<Getter> getters;
  for (const std::string &key : args.positional()) {
    std::string name = upper(key);
    if (name == "SHUTTER")
      getters.push_back({key, "shutter", [](OCamera &c) { return c.getShutterTime(); }});
    else if (name == "IMAGES")
      getters.push_back({key, "images", [](OCamera &c) { return c.getImageCount(); }});
    else if (name == "MAX-IMAGES")
      getters.push_back({key, "max-images", [](OCamera &c) { return c.getMaxImageCount(); }});
    else
      throw UsageError("'" + key +
                       "' cannot be read back from the camera (readable: shutter, images, "
                       "max-images)");
  }
  CameraPtr camera = connectCamera(cameraAddress(args), sensorType(args));
  std::vector<std::pair<std::string, std::string>> members;
  for (const Getter &getter : getters) {
    int value = getter.read(*camera);
    // Every error the camera answers is negative; -1 is a failed request.
    if (value < 0) expectOk(value, "reading " + getter.key);
    // The camera counts its image buffers only while it is open, and only the
    // session that opens it chooses how many: say so rather than let 0 look
    // like a camera without room.
    if (getter.name == "max-images" && value == 0)
      std::cerr << "ocam get: max-images is 0 because the camera is not open; it counts the "
                   "buffers a grab opens it with (ocam grab --buffers)\n";
    members.emplace_back(getter.name, std::to_string(value));
    if (args.has("json")) continue;
    if (getters.size() == 1)
      std::cout << value << '\n';
    else
      std::cout << getter.key << '=' << value << '\n';
  }
  if (args.has("json")) printJsonObject(members);
  return 0;
}

}  // namespace

Command setCommand() {
  return {{"set",
           "Change camera settings",
           "[-a ADDR] KEY VALUE [KEY VALUE ...]",
           "Sends each setting in the order given and stops at the first the camera\n"
           "refuses. KEY=VALUE works as well as KEY VALUE. Every setting stays on the\n"
           "camera until it is changed again or the camera restarts, so it applies to\n"
           "later commands and other programs too (a slow fps slows every later grab).\n\n"
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
           "  max-images   how many images the camera holds while it is open (the\n"
           "               buffers the opening session asked for; 0 when closed)\n\n"
           "The camera cannot report its gain, frame rate, window, trigger or\n"
           "illumination: those are set only. With --json the values form one JSON\n"
           "object with the keys in lower case: {\"shutter\": 5000, \"images\": 0}.\n\n"
           "examples:\n"
           "  ocam get shutter\n"
           "  ocam get shutter images --json\n",
           {cameraAddressOption(), sensorTypeOption(), {"json", 0, "", "print one JSON object"}}},
          runGet};
}

}  // namespace ocam_cli
