// The settings of the table by position, so that the code that sends or
// records a setting can switch on it. The order is the table's, which is the
// order applySettings makes them in.
#pragma once

#include <ocamera/settings.h>

#include <string>

namespace ocamera {
namespace settings {

enum SettingId : int {
  kFrequency,
  kWindow,
  kFrameRate,
  kShutterTime,
  kGain,
  kTriggerSource,
  kTriggerDelay,
  kTriggerWindow,
  kIlluminationMode,
  kIlluminationModeExternal,
  kIlluminationTiming,
  kIllumination,
  kReadTimeout,
  kCircularOverwrite,
  kJpeg,
  kBayer2X,
  kWhiteBalance,
  kMedian,
  kFilter,
  kBinarization,
  kImageRamPictureSize,
  kImageCorrection,
  kImageSplitting,
  kLaserProfiling,
  kHardwareApplet,
  kAcquisitionMode,
  kSettingCount
};

// The setting's position in the table.
inline SettingId settingId(const SettingInfo &setting) {
  return static_cast<SettingId>(&setting - settingTable().data());
}
inline const SettingInfo &settingAt(SettingId id) { return settingTable()[id]; }

// A name as the table writes it: "shutter_time" and "shutter-time" become
// "shutterTime".
std::string camelName(const std::string &name);

// Whether `value` fits `setting`: "" when it does, else why not, naming the
// setting, the field and the allowed range ("gain must be 1..32, not 40").
std::string checkValue(const SettingInfo &setting, const SettingValue &value);

// The allowed range of a field as text: "1..32", "false or true", "one of
// FREE_RUN, STOP", "768 bytes".
std::string rangeText(const SettingField &field);

// A field's value as text: "10000", "FREE_RUN", "true", "768 bytes".
std::string fieldText(const SettingField &field, double number, std::size_t bytes);

// The name of a choice of `field` with that value; null when none.
const char *choiceName(const SettingField &field, int value);

}  // namespace settings
}  // namespace ocamera
