// Making one entry of a settings document on a camera object: the setter
// call its value stands for.
#pragma once

#include <ocamera/camera.h>

#include "settings/ids.h"

namespace ocamera {
namespace settings {

// Calls the setter of `id` with `value` (checked against the table: one
// number per field, the bytes of a Bytes field) and returns its result.
int sendSetting(OCamera &camera, SettingId id, const SettingValue &value);

}  // namespace settings
}  // namespace ocamera
