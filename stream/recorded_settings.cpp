// Replaying the recorded settings.
#include "stream/recorded_settings.h"

namespace ocamera {
namespace detail {

int RecordedSettings::applyTo(OCamera &camera) const {
  int rc = 0;
  if (hasShutter && (rc = camera.setShutterTime(shutterUs)) != 0) return rc;
  if (hasGain && (rc = camera.setGain(gain)) != 0) return rc;
  if (hasFrameRate && (rc = camera.setFrameRate(fps)) != 0) return rc;
  if (hasTriggerSource && (rc = camera.setTriggerSource(triggerSource, triggerPolarity)) != 0)
    return rc;
  if (hasTriggerDelay && (rc = camera.setTriggerDelay(triggerDelayUs)) != 0) return rc;
  return 0;
}

}  // namespace detail
}  // namespace ocamera
