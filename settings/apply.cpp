// Applying a settings document to a camera, bringing a camera to its
// power-on settings, and reading what a camera reports.
#include <ocamera/status.h>

#include "settings/send.h"

namespace ocamera {
namespace {

// Each sent entry goes to `applied` or `refused`; after a refusal with
// StopAtRefusal the rest goes to `notSent`.
class Applier {
 public:
  Applier(OCamera &camera, ApplyMode mode, ApplyResult &result)
      : camera_(camera), mode_(mode), result_(result) {}

  template <class Send>
  void entry(const std::string &name, Send send) {
    if (stopped_) {
      result_.notSent.push_back(name);
      return;
    }
    const int status = send();
    if (status == 0) {
      result_.applied.push_back(name);
      return;
    }
    result_.refused.push_back({name, status, statusText(status)});
    if (mode_ == ApplyMode::StopAtRefusal) stopped_ = true;
  }

  void registers(const Settings &settings) {
    for (const auto &r : settings.registers())
      entry("registers." + r.first,
            [&] { return camera_.setSensorRegister(r.first.c_str(), r.second.value); });
  }

  OCamera &camera() { return camera_; }

 private:
  OCamera &camera_;
  ApplyMode mode_;
  ApplyResult &result_;
  bool stopped_ = false;
};

}  // namespace

ApplyResult applySettings(OCamera &camera, const Settings &settings, ApplyMode mode) {
  ApplyResult result;
  Applier applier(camera, mode, result);
  for (const SettingInfo &s : settingTable()) {
    const settings::SettingId id = settings::settingId(s);
    if (const Settings::Entry *e = settings.get(s.name))
      applier.entry(s.name, [&] { return settings::sendSetting(camera, id, e->value); });
    // Registers come right after the clock and before the window: a register
    // that mirrors the window or the gain is then overruled by those entries.
    if (id == settings::kFrequency) applier.registers(settings);
  }
  return result;
}

ApplyResult resetSettings(OCamera &camera, ApplyMode mode) {
  return applySettings(camera, powerOnSettings(sensorGeometry(camera)), mode);
}

Settings readSettings(OCamera &camera, std::string *error) {
  Settings out;
  auto failed = [&](const std::string &why) {
    if (error && error->empty()) *error = why;
  };
  if (error) error->clear();
  const int shutter = camera.getShutterTime();
  if (shutter > 0)
    out.set("shutterTime", shutter, SettingOrigin::Read);
  else
    failed("reading the shutter time: " + statusText(shutter));
  const char *const *names = camera.getSensorRegisterNames();
  if (!names) {
    failed("reading the sensor register names: the request failed");
    return out;
  }
  std::vector<std::string> list;
  for (const char *const *n = names; *n; ++n) list.push_back(*n);
  for (const std::string &name : list) {
    unsigned value = 0;
    const int status = camera.getSensorRegister(name.c_str(), &value);
    if (status == 0)
      out.setRegister(name, value, SettingOrigin::Read);
    else
      failed("reading the sensor register " + name + ": " + statusText(status));
  }
  return out;
}

}  // namespace ocamera
