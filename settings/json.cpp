// The JSON form of a settings document: written with sorted keys, one entry
// per line; read with every key, type and range checked before anything is
// taken.
#include <cctype>
#include <cmath>
#include <cstdio>
#include <nlohmann/json.hpp>

#include "settings/ids.h"

namespace ocamera {
namespace {

using nlohmann::json;

constexpr int kFormat = 1;
const char *const kPatterns[] = {"GRGR", "BGBG", "RGRG", "GBGB"};

std::string hex(const std::vector<unsigned char> &bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  out.reserve(bytes.size() * 2);
  for (unsigned char b : bytes) {
    out += digits[b >> 4];
    out += digits[b & 15];
  }
  return out;
}

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool unhex(const std::string &text, std::vector<unsigned char> &out) {
  if (text.size() % 2) return false;
  out.clear();
  for (std::size_t i = 0; i < text.size(); i += 2) {
    const int hi = hexDigit(text[i]), lo = hexDigit(text[i + 1]);
    if (hi < 0 || lo < 0) return false;
    out.push_back(static_cast<unsigned char>(hi * 16 + lo));
  }
  return true;
}

// A value of the JSON text as a refusal quotes it (cut short when long).
std::string quoted(const json &v) {
  std::string text = v.dump();
  if (text.size() > 40) text = text.substr(0, 37) + "...";
  return text;
}

// A choice by name (any case, '-' for '_').
bool choiceByName(const SettingField &field, const std::string &name, double &out) {
  for (const SettingChoice &c : field.choices) {
    const std::string have = c.name;
    if (have.size() != name.size()) continue;
    bool same = true;
    for (std::size_t i = 0; i < have.size() && same; ++i) {
      char a = static_cast<char>(std::toupper(static_cast<unsigned char>(have[i])));
      char b = static_cast<char>(std::toupper(static_cast<unsigned char>(name[i])));
      if (b == '-') b = '_';
      same = a == b;
    }
    if (same) {
      out = c.value;
      return true;
    }
  }
  return false;
}

// Reads one field's JSON value into value; "" or why not.
std::string readField(const std::string &key, const SettingField &field, const json &v,
                      SettingValue &value) {
  const std::string refusal = key + " must be " + settings::rangeText(field) + ", not " + quoted(v);
  switch (field.type) {
    case SettingFieldType::Int:
      if (!v.is_number_integer() &&
          !(v.is_number_float() && v.get<double>() == std::floor(v.get<double>())))
        return refusal;
      value.numbers.push_back(v.get<double>());
      return "";
    case SettingFieldType::Number:
      if (!v.is_number()) return refusal;
      value.numbers.push_back(v.get<double>());
      return "";
    case SettingFieldType::Bool:
      if (v.is_boolean())
        value.numbers.push_back(v.get<bool>() ? 1 : 0);
      else if (v.is_number_integer() && (v.get<long long>() == 0 || v.get<long long>() == 1))
        value.numbers.push_back(static_cast<double>(v.get<long long>()));
      else
        return refusal;
      return "";
    case SettingFieldType::Choice: {
      double n = 0;
      if (v.is_string() && choiceByName(field, v.get<std::string>(), n)) {
        value.numbers.push_back(n);
      } else if (v.is_number_integer() && settings::choiceName(field, v.get<int>())) {
        value.numbers.push_back(v.get<int>());
      } else {
        return refusal;
      }
      return "";
    }
    case SettingFieldType::Bytes:
      if (!v.is_string() || !unhex(v.get<std::string>(), value.bytes))
        return key + " must be hexadecimal text (" + settings::rangeText(field) + "), not " +
               quoted(v);
      value.numbers.push_back(0);
      return "";
  }
  return refusal;
}

// Reads the entry of one setting; "" or why not.
std::string readSetting(const SettingInfo &setting, const json &v, SettingValue &value) {
  if (setting.fields.size() == 1) {
    const std::string why = readField(setting.name, setting.fields[0], v, value);
    return why.empty() ? settings::checkValue(setting, value) : why;
  }
  if (!v.is_object()) {
    std::string names;
    for (const SettingField &f : setting.fields)
      names += (names.empty() ? "" : ", ") + std::string(f.name);
    return std::string(setting.name) + " must be an object of " + names + ", not " + quoted(v);
  }
  for (auto it = v.begin(); it != v.end(); ++it) {
    if (!findSettingField(setting, it.key()) || settings::camelName(it.key()) != it.key()) {
      std::string names;
      for (const SettingField &f : setting.fields)
        names += (names.empty() ? "" : ", ") + std::string(f.name);
      return std::string(setting.name) + " has no field \"" + it.key() + "\" (fields: " + names +
             ")";
    }
  }
  for (const SettingField &f : setting.fields) {
    const std::string key = std::string(setting.name) + "." + f.name;
    auto it = v.find(f.name);
    if (it == v.end()) return key + " is missing (" + settings::rangeText(f) + ")";
    const std::string why = readField(key, f, *it, value);
    if (!why.empty()) return why;
  }
  return settings::checkValue(setting, value);
}

std::string readRegisters(const json &v, Settings &out) {
  if (!v.is_object()) return "registers must be an object of name: value, not " + quoted(v);
  for (auto it = v.begin(); it != v.end(); ++it) {
    const json &r = it.value();
    if (it.key().empty()) return "registers: a register needs a name";
    if (!r.is_number_unsigned() && !(r.is_number_integer() && r.get<long long>() >= 0))
      return "registers." + it.key() + " must be 0..4294967295, not " + quoted(r);
    const unsigned long long n = r.get<unsigned long long>();
    if (n > 4294967295ull)
      return "registers." + it.key() + " must be 0..4294967295, not " + quoted(r);
    out.setRegister(it.key(), static_cast<unsigned>(n));
  }
  return "";
}

std::string readSensor(const json &v, SensorGeometry &g) {
  const char *form =
      "an object of width (1..65535), height (1..65535) and pattern (GRGR, BGBG, "
      "RGRG or GBGB)";
  if (!v.is_object() || v.size() != 3 || !v.contains("width") || !v.contains("height") ||
      !v.contains("pattern"))
    return std::string("sensor must be ") + form + ", not " + quoted(v);
  for (const char *key : {"width", "height"}) {
    const json &n = v.at(key);
    if (!n.is_number_integer() || n.get<long long>() < 1 || n.get<long long>() > 65535)
      return std::string("sensor.") + key + " must be 1..65535, not " + quoted(n);
  }
  const json &p = v.at("pattern");
  int pattern = 0;
  for (int i = 0; i < 4; ++i)
    if (p.is_string() && p.get<std::string>() == kPatterns[i]) pattern = i + 1;
  if (!pattern) return "sensor.pattern must be one of GRGR, BGBG, RGRG, GBGB, not " + quoted(p);
  g.width = v.at("width").get<int>();
  g.height = v.at("height").get<int>();
  g.pattern = static_cast<OCameraTools::eBayerPattern>(pattern);
  return "";
}

json fieldJson(const SettingField &field, double number, const std::vector<unsigned char> &bytes) {
  switch (field.type) {
    case SettingFieldType::Int:
      return static_cast<long long>(number);
    case SettingFieldType::Number:
      return number;
    case SettingFieldType::Bool:
      return number != 0;
    case SettingFieldType::Choice:
      if (const char *name = settings::choiceName(field, static_cast<int>(number))) return name;
      return static_cast<long long>(number);
    case SettingFieldType::Bytes:
      return hex(bytes);
  }
  return nullptr;
}

}  // namespace

std::string Settings::toJson() const {
  json doc = json::object();
  doc["format"] = kFormat;
  for (const auto &e : entries_) {
    const SettingInfo *s = findSetting(e.first);
    if (!s || e.second.value.numbers.size() != s->fields.size()) continue;
    const SettingValue &v = e.second.value;
    if (s->fields.size() == 1) {
      doc[s->name] = fieldJson(s->fields[0], v.numbers[0], v.bytes);
    } else {
      json o = json::object();
      for (std::size_t i = 0; i < s->fields.size(); ++i)
        o[s->fields[i].name] = fieldJson(s->fields[i], v.numbers[i], v.bytes);
      doc[s->name] = o;
    }
  }
  if (!registers_.empty()) {
    json r = json::object();
    for (const auto &reg : registers_) r[reg.first] = reg.second.value;
    doc["registers"] = r;
  }
  if (sensor.known()) {
    const int p = sensor.pattern >= 1 && sensor.pattern <= 4 ? sensor.pattern : 1;
    doc["sensor"] = {
        {"width", sensor.width}, {"height", sensor.height}, {"pattern", kPatterns[p - 1]}};
  }
  return doc.dump(2) + "\n";
}

bool Settings::fromJson(const std::string &text, Settings *out, std::string *error) {
  auto fail = [&](const std::string &why) {
    if (error) *error = why;
    return false;
  };
  json doc;
  try {
    doc = json::parse(text);
  } catch (const json::parse_error &e) {
    return fail(std::string("not JSON: ") + e.what());
  }
  if (!doc.is_object()) return fail("a settings document is a JSON object, not " + quoted(doc));
  auto format = doc.find("format");
  if (format == doc.end()) return fail("format is missing: must be 1");
  if (!format->is_number_integer() || format->get<long long>() != kFormat)
    return fail("format must be 1, not " + quoted(*format));
  Settings read;
  for (auto it = doc.begin(); it != doc.end(); ++it) {
    const std::string &key = it.key();
    std::string why;
    if (key == "format") continue;
    if (key == "registers") {
      why = readRegisters(it.value(), read);
    } else if (key == "sensor") {
      why = readSensor(it.value(), read.sensor);
    } else {
      const SettingInfo *s = findSetting(key);
      if (!s) return fail("unknown setting \"" + key + "\"");
      if (read.entries_.count(s->name))
        return fail("\"" + key + "\" names " + s->name + " a second time");
      SettingValue value;
      why = readSetting(*s, it.value(), value);
      if (why.empty()) read.entries_[s->name].value = value;
    }
    if (!why.empty()) return fail(why);
  }
  if (out) *out = std::move(read);
  return true;
}

}  // namespace ocamera
