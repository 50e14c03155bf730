#include "setting_words.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "common.h"

namespace ocam_cli {
namespace {

// ocam's short names of old and the table names they stand for (the first
// the table has), so that scripts written for them keep working.
struct OldName {
  const char *alias;
  std::vector<const char *> candidates;
};
const std::vector<OldName> kOldNames = {
    {"shutter", {"shutterTime", "exposureTime"}},
    {"fps", {"frameRate"}},
    {"window", {"cameraWindow", "window"}},
    {"trigger", {"triggerSource"}},
    {"trigger-delay", {"triggerDelay"}},
    {"illumination", {"illuminationMode"}},
    {"illumination-ext", {"illuminationModeExternal", "illuminationExternal"}},
    {"light", {"illuminationSwitch", "switchIllumination", "illumination"}},
};

std::string number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.10g", value);
  return text;
}

std::string lowerWord(std::string text) {
  for (char &c : text)
    c = c == '_' ? '-' : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// "polarity" -> "POLARITY", "x0" -> "X0".
std::string fieldPlaceholder(const ocamera::SettingField &field) {
  using Type = ocamera::SettingFieldType;
  if (std::string(field.name) != "value") return upper(settingWordOf(field.name));
  if (field.type == Type::Bool) return "on|off";
  if (field.type == Type::Choice) return "NAME";
  if (field.type == Type::Bytes) return "HEX";
  if (*field.unit) return upper(field.unit);
  return field.type == Type::Int ? "N" : "X";
}

// The range of a field for help lines: "1..32", "on|off", "free-run|...".
std::string fieldRange(const ocamera::SettingField &field) {
  using Type = ocamera::SettingFieldType;
  std::string unit = *field.unit ? std::string(" ") + field.unit : "";
  switch (field.type) {
    case Type::Bool:
      return "on|off";
    case Type::Choice: {
      std::string names;
      for (const ocamera::SettingChoice &c : field.choices)
        names += (names.empty() ? "" : "|") + lowerWord(c.name);
      return names;
    }
    case Type::Bytes:
      return number(field.min) + ".." + number(field.max) + " bytes as hex";
    default:
      if (field.extent == ocamera::SettingExtent::SensorWidth)
        return number(field.min) + "..the sensor's width" + unit;
      if (field.extent == ocamera::SettingExtent::SensorHeight)
        return number(field.min) + "..the sensor's height" + unit;
      return number(field.min) + ".." + number(field.max) + unit;
  }
}

[[noreturn]] void wrongValue(const ocamera::SettingInfo &setting, const std::string &text,
                             const std::string &why) {
  throw UsageError(settingWord(setting) + " takes " + settingPlaceholder(setting) + ", not '" +
                   text + "' (" + why + ")");
}

// A choice by its name, without regard to case and with '-' for '_', or by
// the unique ending after an '_' ("E0" for "EXTERNAL_E0").
bool findChoice(const ocamera::SettingField &field, const std::string &text, int *value) {
  std::string wanted = upper(text);
  for (char &c : wanted)
    if (c == '-') c = '_';
  if (wanted.empty()) return false;
  for (const ocamera::SettingChoice &c : field.choices)
    if (wanted == upper(c.name)) return *value = c.value, true;
  int found = 0;
  for (const ocamera::SettingChoice &c : field.choices) {
    const std::string name = upper(c.name);
    if (name.size() > wanted.size() && name[name.size() - wanted.size() - 1] == '_' &&
        name.compare(name.size() - wanted.size(), wanted.size(), wanted) == 0) {
      *value = c.value;
      ++found;
    }
  }
  return found == 1;
}

double parseField(const ocamera::SettingInfo &setting, const ocamera::SettingField &field,
                  const std::string &whole, const std::string &text,
                  std::vector<unsigned char> *bytes) {
  using Type = ocamera::SettingFieldType;
  const std::string what = std::string(field.name) == "value" ? "" : std::string(field.name) + ": ";
  switch (field.type) {
    case Type::Bool: {
      const std::string word = upper(text);
      if (word == "ON" || word == "TRUE" || word == "YES" || word == "1") return 1;
      if (word == "OFF" || word == "FALSE" || word == "NO" || word == "0") return 0;
      wrongValue(setting, whole, what + "on or off");
    }
    case Type::Choice: {
      int value = 0;
      if (!findChoice(field, text, &value)) wrongValue(setting, whole, what + fieldRange(field));
      return value;
    }
    case Type::Bytes: {
      std::string hex = text.compare(0, 2, "0x") == 0 ? text.substr(2) : text;
      if (hex.size() % 2 != 0) wrongValue(setting, whole, what + "an even number of hex digits");
      bytes->clear();
      for (std::size_t i = 0; i < hex.size(); i += 2) {
        if (!std::isxdigit(static_cast<unsigned char>(hex[i])) ||
            !std::isxdigit(static_cast<unsigned char>(hex[i + 1])))
          wrongValue(setting, whole, what + "hex digits");
        bytes->push_back(static_cast<unsigned char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
      }
      return 0;
    }
    default: {
      const char *start = text.c_str();
      char *end = nullptr;
      const double value = std::strtod(start, &end);
      if (text.empty() || end != start + text.size() || !std::isfinite(value) ||
          std::isspace(static_cast<unsigned char>(text[0])))
        wrongValue(setting, whole, what + "a number");
      if (field.type == Type::Int && value != std::floor(value))
        wrongValue(setting, whole, what + "a whole number");
      return value;
    }
  }
}

// Words of `text` on lines of at most `width` columns, each indented.
std::string wrapped(const std::string &text, std::size_t indent, std::size_t width) {
  std::string out, line;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find(' ', start);
    if (end == std::string::npos) end = text.size();
    const std::string word = text.substr(start, end - start);
    if (!line.empty() && indent + line.size() + 1 + word.size() > width) {
      out += std::string(indent, ' ') + line + "\n";
      line.clear();
    }
    line += (line.empty() ? "" : " ") + word;
    start = end + 1;
  }
  if (!line.empty()) out += std::string(indent, ' ') + line + "\n";
  return out;
}

}  // namespace

std::string settingWordOf(const std::string &name) {
  // A capital starts a word, and a run of capitals is one ("imageRAMPictureSize"
  // is image-ram-picture-size).
  std::string word;
  for (std::size_t i = 0; i < name.size(); ++i) {
    const auto at = [&](std::size_t j) { return static_cast<unsigned char>(name[j]); };
    const char c = name[i];
    if (std::isupper(at(i))) {
      const bool afterLower = i > 0 && !std::isupper(at(i - 1));
      const bool endsRun =
          i > 0 && std::isupper(at(i - 1)) && i + 1 < name.size() && std::islower(at(i + 1));
      if (!word.empty() && (afterLower || endsRun)) word += '-';
      word += static_cast<char>(std::tolower(at(i)));
    } else {
      word += c == '_' ? '-' : c;
    }
  }
  return word;
}

std::string settingWord(const ocamera::SettingInfo &setting) { return settingWordOf(setting.name); }

const std::vector<SettingAlias> &settingAliases() {
  static const std::vector<SettingAlias> aliases = [] {
    std::vector<SettingAlias> list;
    for (const OldName &old : kOldNames) {
      for (const char *candidate : old.candidates) {
        const ocamera::SettingInfo *setting = ocamera::findSetting(candidate);
        if (!setting) continue;
        // A short name that is the table's own word needs no alias.
        if (settingWord(*setting) != old.alias) list.push_back({old.alias, setting});
        break;
      }
    }
    return list;
  }();
  return aliases;
}

const ocamera::SettingInfo &lookupSetting(const std::string &key) {
  std::string word = lowerWord(key);
  for (const SettingAlias &alias : settingAliases())
    if (alias.alias == word) return *alias.setting;
  if (const ocamera::SettingInfo *setting = ocamera::findSetting(key)) return *setting;
  for (const ocamera::SettingInfo &setting : ocamera::settingTable())
    if (settingWord(setting) == word) return setting;
  throw UsageError("unknown setting '" + key + "' (see 'ocam set --help' for the names)");
}

std::string settingPlaceholder(const ocamera::SettingInfo &setting) {
  std::string text;
  for (const ocamera::SettingField &field : setting.fields)
    text += (text.empty() ? "" : ",") + fieldPlaceholder(field);
  return text;
}

ocamera::SettingValue parseSettingValue(const ocamera::SettingInfo &setting,
                                        const std::string &text) {
  const std::vector<std::string> parts =
      setting.fields.size() == 1 ? std::vector<std::string>{text} : splitList(text);
  if (parts.size() > setting.fields.size())
    wrongValue(setting, text, std::to_string(setting.fields.size()) + " values at most");
  ocamera::SettingValue value;
  for (std::size_t i = 0; i < setting.fields.size(); ++i) {
    const ocamera::SettingField &field = setting.fields[i];
    if (i < parts.size()) {
      value.numbers.push_back(parseField(setting, field, text, parts[i], &value.bytes));
    } else if (field.extent == ocamera::SettingExtent::None) {
      value.numbers.push_back(field.type == ocamera::SettingFieldType::Bytes ? 0 : field.powerOn);
    } else {
      wrongValue(setting, text, "the " + std::string(field.name) + " is missing");
    }
  }
  return value;
}

std::string settingHelpLines() {
  std::string text;
  for (const ocamera::SettingInfo &setting : ocamera::settingTable()) {
    std::string head = "  " + settingWord(setting) + " " + settingPlaceholder(setting);
    std::string ranges;
    for (const ocamera::SettingField &field : setting.fields)
      ranges += (ranges.empty() ? "" : ", ") +
                (setting.fields.size() == 1 ? "" : std::string(field.name) + " ") +
                fieldRange(field);
    std::string also, shadowed;
    for (const SettingAlias &alias : settingAliases()) {
      if (alias.setting == &setting) also += (also.empty() ? "; also " : ", ") + alias.alias;
      // A short name of old that is another setting's word keeps its old meaning.
      else if (alias.alias == settingWord(setting))
        shadowed =
            "; '" + alias.alias + "' alone means " + settingWord(*alias.setting) + " as before";
    }
    text += head + "\n" +
            wrapped(std::string(setting.help) + " (" + ranges + also + shadowed + ")", 6, 79);
  }
  return text;
}

std::string settingWords() {
  std::string words;
  for (const ocamera::SettingInfo &setting : ocamera::settingTable())
    words += (words.empty() ? "" : " ") + settingWord(setting);
  for (const SettingAlias &alias : settingAliases()) words += " " + alias.alias;
  return words;
}

}  // namespace ocam_cli
