// The settings document: entries checked against the table, registers by
// name, and the camera's power-on settings.
#include "settings/ids.h"

namespace ocamera {

bool Settings::set(const std::string &name, const SettingValue &value, SettingOrigin origin,
                   std::string *error) {
  const SettingInfo *setting = findSetting(name);
  std::string why;
  if (!setting)
    why = "unknown setting \"" + name + "\"";
  else
    why = settings::checkValue(*setting, value);
  if (!why.empty()) {
    if (error) *error = why;
    return false;
  }
  Entry &e = entries_[setting->name];
  e.value = value;
  e.origin = origin;
  return true;
}

bool Settings::set(const std::string &name, double value, SettingOrigin origin,
                   std::string *error) {
  SettingValue v;
  v.numbers.push_back(value);
  return set(name, v, origin, error);
}

const Settings::Entry *Settings::get(const std::string &name) const {
  const SettingInfo *setting = findSetting(name);
  if (!setting) return nullptr;
  auto it = entries_.find(setting->name);
  return it == entries_.end() ? nullptr : &it->second;
}

void Settings::erase(const std::string &name) {
  if (const SettingInfo *setting = findSetting(name)) entries_.erase(setting->name);
}

void Settings::setRegister(const std::string &name, unsigned value, SettingOrigin origin) {
  Register &r = registers_[name];
  r.value = value;
  r.origin = origin;
}

void Settings::eraseRegister(const std::string &name) { registers_.erase(name); }

void Settings::merge(const Settings &other) {
  for (const auto &e : other.entries_) entries_[e.first] = e.second;
  for (const auto &r : other.registers_) registers_[r.first] = r.second;
  if (other.sensor.known()) sensor = other.sensor;
}

Settings powerOnSettings(const SensorGeometry &sensor) {
  const int width = sensor.known() ? sensor.width : 1280;
  const int height = sensor.known() ? sensor.height : 1024;
  const int pattern = sensor.known() ? sensor.pattern : OCameraTools::BAYER_PATTERN_GRGR;
  Settings out;
  for (const SettingInfo &s : settingTable()) {
    SettingValue v;
    for (const SettingField &f : s.fields) {
      switch (f.extent) {
        case SettingExtent::SensorWidth:
          v.numbers.push_back(width);
          break;
        case SettingExtent::SensorHeight:
          v.numbers.push_back(height);
          break;
        case SettingExtent::SensorPattern:
          v.numbers.push_back(pattern);
          break;
        case SettingExtent::None:
          v.numbers.push_back(f.powerOn);
          break;
      }
    }
    out.set(s.name, v);
  }
  if (sensor.known()) out.sensor = sensor;
  return out;
}

}  // namespace ocamera
