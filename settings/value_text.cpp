// A setting's value as text for people.
#include "settings/ids.h"

namespace ocamera {

std::string settingValueText(const SettingInfo &setting, const SettingValue &value) {
  if (value.numbers.size() != setting.fields.size()) return "?";
  std::string text;
  std::string unit;
  bool sameUnit = true;
  for (std::size_t i = 0; i < setting.fields.size(); ++i) {
    const SettingField &f = setting.fields[i];
    if (i) text += ' ';
    if (setting.fields.size() > 1) text += std::string(f.name) + "=";
    text += settings::fieldText(f, value.numbers[i], value.bytes.size());
    if (i == 0)
      unit = f.unit;
    else if (unit != f.unit)
      sameUnit = false;
  }
  // One unit for all the fields goes once at the end ("... height=1024 px");
  // mixed units are left out rather than put on the wrong field.
  if (sameUnit && !unit.empty()) text += " " + unit;
  return text;
}

}  // namespace ocamera
