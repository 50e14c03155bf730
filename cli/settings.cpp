// ocam set / ocam get: the camera settings a user changes most.
#include <iostream>
#include <utility>

#include "commands.h"
#include "common.h"
#include "record.h"
#include "setting_words.h"

namespace ocam_cli {
namespace {

// One requested change, read and checked against the library's table before
// anything is sent.
struct Change {
  std::string key;    // as the user wrote it
  std::string value;  // as the user wrote it
  const ocamera::SettingInfo *setting;
  ocamera::SettingValue parsed;
};

Change makeChange(const std::string &key, const std::string &value) {
  const ocamera::SettingInfo &setting = lookupSetting(key);
  Change change{key, value, &setting, parseSettingValue(setting, value)};
  ocamera::Settings probe;
  std::string why;
  if (!probe.set(setting.name, change.parsed, ocamera::SettingOrigin::Given, &why))
    throw UsageError(why);
  return change;
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

// Why the camera refused a change, in the user's words.
std::string refusalOf(const Change &change, int result, OCamera &camera,
                      const std::string &address) {
  if (result != status::kBadArgument) return "";
  // A window's size is bounded by the sensor's.
  bool window = false;
  for (const ocamera::SettingField &field : change.setting->fields)
    window = window || field.extent == ocamera::SettingExtent::SensorWidth;
  if (!window) return "the camera refused " + change.key + " " + change.value;
  const ocamera::SensorGeometry sensor = ocamera::sensorGeometry(camera);
  std::string size = sensor.known()
                         ? std::to_string(sensor.width) + "x" + std::to_string(sensor.height)
                         : describedSensorSize(address);
  return "the window " + change.value + " does not lie inside the sensor" +
         (size.empty() ? "" : " (" + size + ")");
}

int runSet(const Args &args) {
  if (args.positional().empty()) throw UsageError("nothing to set");
  std::vector<Change> changes;
  for (const auto &[key, value] : pairs(args.positional()))
    changes.push_back(makeChange(key, value));
  const std::string address = cameraAddress(args);
  // A record that cannot be trusted stops the command before anything is sent.
  const CameraRecord record(address);
  record.load();
  CameraPtr camera = connectCamera(address, sensorType(args));
  // In the order given: the user chose it.
  for (const Change &change : changes) {
    ocamera::Settings one;
    one.set(change.setting->name, change.parsed);
    const ocamera::ApplyResult result = ocamera::applySettings(*camera, one);
    if (!result.ok()) {
      record.update(ocamera::sessionRecord(*camera));
      const int status = result.refused.front().status;
      expectOk(status, "setting " + change.key + " to " + change.value,
               refusalOf(change, status, *camera, address));
    }
    std::cout << change.key << '=' << change.value << '\n';
  }
  record.update(ocamera::sessionRecord(*camera));
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
           "refuses; values outside a setting's range are refused before anything is\n"
           "sent. KEY=VALUE works as well as KEY VALUE. Every setting stays on the\n"
           "camera until it is changed again or the camera restarts, so it applies to\n"
           "later commands and other programs too (a slow frame rate slows every later\n"
           "grab). What the camera takes is recorded for 'ocam config show' and 'save'\n"
           "and for grab, which takes its window from the record.\n\n"
           "A setting of several fields takes them separated by commas, in the order\n"
           "shown; trailing fields that do not depend on the sensor may be left out\n"
           "and take their power-on value. Switches are on or off, choices are named\n"
           "in any case (a unique ending does: e0 for external-e0), bytes are hex.\n\n"
           "settings (the names of the library's settings table, with hyphens):\n" +
               settingHelpLines() +
               "\nexamples:\n"
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
