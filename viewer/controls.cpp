#include "viewer/controls.h"

#include <ocamera/status.h>

#include <nlohmann/json.hpp>

namespace ocam_viewer {

using nlohmann::json;

namespace {

// How the stream takes a setting of the table.
enum class Route {
  Stream,   // one of the stream's recorded setters: made again after every recovery
  Restart,  // the window or the acquisition mode: set while the stream is stopped
  Camera,   // the camera object, while the stream runs
};

// The stream waits for frames with its own read time-out; the page leaves it alone.
constexpr const char *kStreamOwned = "readTimeout";

bool isWindow(const ocamera::SettingInfo &info) {
  return info.fields.size() == 4 && ocamera::findSettingField(info, "x0") &&
         ocamera::findSettingField(info, "y0") && ocamera::findSettingField(info, "width") &&
         ocamera::findSettingField(info, "height");
}

Route routeOf(const std::string &name) {
  const ocamera::SettingInfo *info = ocamera::findSetting(name);
  if (!info) return Route::Camera;
  const std::string n = info->name;
  if (n == "shutterTime" || n == "gain" || n == "frameRate" || n == "triggerSource" ||
      n == "triggerDelay")
    return Route::Stream;
  if (n == "acquisitionMode" || isWindow(*info)) return Route::Restart;
  return Route::Camera;
}

// The number of the field `field` of a setting's value (0 when the table has no such field).
double fieldOf(const std::string &setting, const ocamera::SettingValue &value, const char *field) {
  const ocamera::SettingInfo *info = ocamera::findSetting(setting);
  if (!info) return 0;
  for (std::size_t i = 0; i < info->fields.size() && i < value.numbers.size(); ++i)
    if (std::string(info->fields[i].name) == field) return value.numbers[i];
  return info->fields.size() == 1 && !value.numbers.empty() ? value.numbers[0] : 0;
}

const char *typeName(ocamera::SettingFieldType type) {
  switch (type) {
    case ocamera::SettingFieldType::Int:
      return "int";
    case ocamera::SettingFieldType::Number:
      return "number";
    case ocamera::SettingFieldType::Bool:
      return "bool";
    case ocamera::SettingFieldType::Choice:
      return "choice";
    default:
      return "bytes";
  }
}

std::string refusal(const std::string &name, int status) {
  return name + ": the camera refused it (" + ocamera::statusText(status) + ")";
}

}  // namespace

Controls::Controls(CameraLink &link) : link_(link) {
  if (ocamera::Stream *stream = link.stream())
    stream->withCamera([this](OCamera &camera) {
      sensor_ = ocamera::sensorGeometry(camera);
      return 0;
    });
}

std::string Controls::tableJson() {
  const ocamera::Settings recorded = record();
  const ocamera::Settings powerOn = ocamera::powerOnSettings(sensor_);
  json table = json::array();
  for (const ocamera::SettingInfo &info : ocamera::settingTable()) {
    json fields = json::array();
    for (const ocamera::SettingField &f : info.fields) {
      json choices = json::array();
      for (const ocamera::SettingChoice &c : f.choices)
        choices.push_back({{"name", c.name}, {"value", c.value}});
      fields.push_back({{"name", f.name},
                        {"type", typeName(f.type)},
                        {"min", f.min},
                        {"max", f.max},
                        {"powerOn", f.powerOn},
                        {"unit", f.unit},
                        {"help", f.help},
                        {"choices", choices}});
    }
    json entry = {
        {"name", info.name}, {"help", info.help}, {"readable", info.readable}, {"fields", fields}};
    if (const auto *e = recorded.get(info.name)) entry["value"] = e->value.numbers;
    if (const auto *e = powerOn.get(info.name)) entry["powerOn"] = e->value.numbers;
    table.push_back(entry);
  }
  return json{{"settings", table}}.dump();
}

ocamera::Settings Controls::record() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return record_;
}

ApplyOutcome Controls::apply(const std::string &json) {
  ApplyOutcome out;
  out.httpStatus = 400;
  nlohmann::json parsed = nlohmann::json::parse(json, nullptr, false);
  if (parsed.is_discarded() || !parsed.is_object()) {
    out.message = "the body is not a JSON object";
    return out;
  }
  // The page sends bare settings; the document form carries its version.
  if (!parsed.contains("format")) parsed["format"] = 1;
  ocamera::Settings doc;
  std::string error;
  if (!ocamera::Settings::fromJson(parsed.dump(), &doc, &error)) {
    out.message = error;
    return out;
  }
  if (doc.get(kStreamOwned)) {
    out.message =
        std::string(kStreamOwned) + " is the viewer's own: its stream waits for frames with it";
    return out;
  }
  return applyDocument(doc);
}

ApplyOutcome Controls::reset() {
  ocamera::Settings powerOn = ocamera::powerOnSettings(sensor_);
  powerOn.erase(kStreamOwned);
  // The camera powers on stopped; a live view keeps its stream's mode.
  powerOn.erase("acquisitionMode");
  return applyDocument(powerOn);
}

ApplyOutcome Controls::applyDocument(const ocamera::Settings &doc) {
  std::lock_guard<std::mutex> serial(applying_);
  ApplyOutcome out;
  ocamera::Stream *stream = link_.stream();
  if (!stream) {
    out.httpStatus = 503;
    out.message = "no camera";
    return out;
  }
  auto accept = [&](const std::string &name, const ocamera::SettingValue &value) {
    out.applied.push_back(name);
    std::lock_guard<std::mutex> lock(mutex_);
    record_.set(name, value, ocamera::SettingOrigin::Recorded);
  };
  auto refuse = [&](const std::string &message) {
    out.httpStatus = 409;
    out.message = message;
    return out;
  };

  // The window and the mode need a stopped stream: one stop and start for both.
  ocamera::Settings restart, camera;
  for (const auto &entry : doc.entries()) {
    const Route route = routeOf(entry.first);
    if (route == Route::Restart) {
      restart.set(entry.first, entry.second.value);
    } else if (route == Route::Camera) {
      camera.set(entry.first, entry.second.value);
    }
  }
  for (const auto &reg : doc.registers()) camera.setRegister(reg.first, reg.second.value);

  if (!camera.empty()) {
    ocamera::ApplyResult result;
    const int rc = stream->withCamera([&](OCamera &cam) {
      result = ocamera::applySettings(cam, camera, ocamera::ApplyMode::StopAtRefusal);
      return 0;
    });
    if (rc != 0) return refuse("the camera is not reachable now");
    for (const std::string &name : result.applied) {
      const auto *entry = camera.get(name);
      if (entry) accept(name, entry->value);
    }
    if (!result.ok())
      return refuse(refusal(result.refused.front().name, result.refused.front().status));
  }

  for (const auto &entry : doc.entries()) {
    if (routeOf(entry.first) != Route::Stream) continue;
    const std::string &name = entry.first;
    const ocamera::SettingValue &v = entry.second.value;
    const std::string n = ocamera::findSetting(name)->name;
    int rc = -1;
    if (n == "shutterTime") {
      rc = stream->setShutterTime(static_cast<int>(fieldOf(n, v, "value")));
    } else if (n == "gain") {
      rc = stream->setGain(static_cast<int>(fieldOf(n, v, "value")));
    } else if (n == "frameRate") {
      rc = stream->setFrameRate(static_cast<float>(fieldOf(n, v, "value")));
    } else if (n == "triggerDelay") {
      rc = stream->setTriggerDelay(static_cast<int>(fieldOf(n, v, "value")));
    } else if (n == "triggerSource") {
      rc = stream->setTriggerSource(
          static_cast<OCamera::eTrigSource>(static_cast<int>(fieldOf(n, v, "source"))),
          static_cast<OCamera::eTrigPolarity>(static_cast<int>(fieldOf(n, v, "polarity"))));
    }
    if (rc != 0)
      return refuse(rc == -1 ? name + ": the camera is not reachable now" : refusal(name, rc));
    accept(name, v);
  }

  if (!restart.empty()) {
    stream->stop();
    for (const auto &entry : restart.entries()) {
      const ocamera::SettingInfo *info = ocamera::findSetting(entry.first);
      const ocamera::SettingValue &v = entry.second.value;
      int rc = 0;
      if (isWindow(*info)) {
        rc = stream->setCameraWindow(static_cast<int>(fieldOf(info->name, v, "x0")),
                                     static_cast<int>(fieldOf(info->name, v, "y0")),
                                     static_cast<int>(fieldOf(info->name, v, "width")),
                                     static_cast<int>(fieldOf(info->name, v, "height")));
      } else {
        rc = stream->setAcquisitionMode(
            static_cast<OCamera::eAcqMode>(static_cast<int>(fieldOf(info->name, v, "value"))));
      }
      if (rc != 0) {
        out.httpStatus = 409;
        out.message = entry.first + ": the stream cannot run with it";
      } else {
        accept(entry.first, v);
      }
    }
    std::string error;
    if (stream->start(&error) != 0) return refuse("restarting the stream: " + error);
    if (out.httpStatus != 200) return out;
    if (!error.empty()) return refuse(error);
  }
  out.ok = true;
  return out;
}

std::string Controls::profileJson() {
  ocamera::Settings doc = record();
  const int exposure = link_.readExposure();
  if (exposure >= 0) doc.set("shutterTime", exposure, ocamera::SettingOrigin::Read);
  if (sensor_.known()) doc.sensor = sensor_;
  return doc.toJson();
}

}  // namespace ocam_viewer
