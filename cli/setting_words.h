// The camera's settings as ocam's command line writes them: names with
// hyphens, values as text, and help lines, all made from the library's
// settings table (<ocamera/settings.h>) so that ocam keeps no copy of a name,
// range or power-on value.
#pragma once

#include <ocamera/settings.h>

#include <string>
#include <vector>

namespace ocam_cli {

// The table's name with hyphens: "shutter-time" for "shutterTime".
std::string settingWord(const ocamera::SettingInfo &setting);
std::string settingWordOf(const std::string &name);

// The setting a command line names: any spelling the library's findSetting
// takes, or one of ocam's short names of old ("shutter", "fps", "light" ...).
// UsageError listing the names when there is none such.
const ocamera::SettingInfo &lookupSetting(const std::string &key);

// The short names of old that name a setting of the table, with that setting.
struct SettingAlias {
  std::string alias;
  const ocamera::SettingInfo *setting;
};
const std::vector<SettingAlias> &settingAliases();

// Parses a value as 'ocam set' takes it: one value for a one-field setting,
// else the fields in the table's order separated by commas ("0,0,640,480");
// trailing fields that do not depend on the sensor may be left out and take
// their power-on value. Numbers as decimals, switches as on/off (true/false,
// 1/0), choices by name in any case (a unique ending of the name does:
// "e0" for EXTERNAL_E0), bytes as hex. The range is the library's to check.
// UsageError naming the setting and what it takes.
ocamera::SettingValue parseSettingValue(const ocamera::SettingInfo &setting,
                                        const std::string &text);

// What a setting takes, for help and messages: "US", "X0,Y0,WIDTH,HEIGHT".
std::string settingPlaceholder(const ocamera::SettingInfo &setting);

// The help lines of every setting: name, placeholder, help and range.
std::string settingHelpLines();

// Every setting's word and the short names, separated by blanks.
std::string settingWords();

}  // namespace ocam_cli
