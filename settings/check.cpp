// Checking a value against the table, and the words for ranges and values.
#include <cmath>
#include <cstdio>

#include "settings/ids.h"

namespace ocamera {
namespace settings {
namespace {

// A number as people write it: 30, 0.5, 4294967295.
std::string numberText(double v) {
  char buf[40];
  if (std::fabs(v) < 1e15 && v == std::floor(v))
    std::snprintf(buf, sizeof buf, "%.0f", v);
  else
    std::snprintf(buf, sizeof buf, "%g", v);
  return buf;
}

// "gain" for a one-field setting, "window.width" for a field of several.
std::string fieldName(const SettingInfo &setting, const SettingField &field) {
  if (setting.fields.size() == 1) return setting.name;
  return std::string(setting.name) + "." + field.name;
}

}  // namespace

const char *choiceName(const SettingField &field, int value) {
  for (const SettingChoice &c : field.choices)
    if (c.value == value) return c.name;
  return nullptr;
}

std::string rangeText(const SettingField &field) {
  switch (field.type) {
    case SettingFieldType::Int:
    case SettingFieldType::Number:
      return numberText(field.min) + ".." + numberText(field.max);
    case SettingFieldType::Bool:
      return "false or true";
    case SettingFieldType::Choice: {
      std::string text = "one of ";
      for (std::size_t i = 0; i < field.choices.size(); ++i)
        text += (i ? ", " : "") + std::string(field.choices[i].name);
      return text;
    }
    case SettingFieldType::Bytes:
      if (field.min == field.max) return "none or " + numberText(field.max) + " bytes";
      return "none or " + numberText(field.min) + ".." + numberText(field.max) + " bytes";
  }
  return "";
}

std::string fieldText(const SettingField &field, double number, std::size_t bytes) {
  switch (field.type) {
    case SettingFieldType::Bool:
      return number != 0 ? "true" : "false";
    case SettingFieldType::Choice:
      if (const char *name = choiceName(field, static_cast<int>(number))) return name;
      return numberText(number);
    case SettingFieldType::Bytes:
      return bytes ? std::to_string(bytes) + " bytes" : "none";
    default:
      return numberText(number);
  }
}

std::string checkValue(const SettingInfo &setting, const SettingValue &value) {
  if (value.numbers.size() != setting.fields.size())
    return std::string(setting.name) + " takes " + std::to_string(setting.fields.size()) +
           " value" + (setting.fields.size() == 1 ? "" : "s") + ", not " +
           std::to_string(value.numbers.size());
  bool hasBytes = false;
  for (std::size_t i = 0; i < setting.fields.size(); ++i) {
    const SettingField &f = setting.fields[i];
    const double v = value.numbers[i];
    const std::string name = fieldName(setting, f);
    bool ok = std::isfinite(v);
    switch (f.type) {
      case SettingFieldType::Int:
        ok = ok && v == std::floor(v) && v >= f.min && v <= f.max;
        break;
      case SettingFieldType::Number:
        ok = ok && v >= f.min && v <= f.max;
        break;
      case SettingFieldType::Bool:
        ok = ok && (v == 0 || v == 1);
        break;
      case SettingFieldType::Choice:
        ok = ok && v == std::floor(v) && std::fabs(v) < 1e9 && choiceName(f, static_cast<int>(v));
        break;
      case SettingFieldType::Bytes: {
        hasBytes = true;
        const double n = static_cast<double>(value.bytes.size());
        if (n != 0 && (n < f.min || n > f.max))
          return name + " must be " + rangeText(f) + ", not " + numberText(n) + " bytes";
        ok = ok && v == 0;
        break;
      }
    }
    if (!ok) return name + " must be " + rangeText(f) + ", not " + numberText(v);
  }
  if (!hasBytes && !value.bytes.empty()) return std::string(setting.name) + " takes no bytes";
  // The camera reads one byte of the reference line per column of the region.
  if (settingId(setting) == kLaserProfiling && !value.bytes.empty() &&
      static_cast<double>(value.bytes.size()) != value.numbers[3])
    return std::string(setting.name) + ".reference must be none or width (" +
           numberText(value.numbers[3]) + ") bytes, not " + std::to_string(value.bytes.size()) +
           " bytes";
  return "";
}

}  // namespace settings
}  // namespace ocamera
