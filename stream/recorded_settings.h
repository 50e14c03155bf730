// The settings an application made through a stream, kept so that they can be
// made again on a new camera object after the camera was lost.
#pragma once

#include <ocamera/camera.h>

namespace ocamera {
namespace detail {

struct RecordedSettings {
  bool hasShutter = false;
  int shutterUs = 0;
  bool hasGain = false;
  int gain = 0;
  bool hasFrameRate = false;
  float fps = 0;
  bool hasTriggerSource = false;
  OCamera::eTrigSource triggerSource = OCamera::TRIG_SRC_SOFTWARE;
  OCamera::eTrigPolarity triggerPolarity = OCamera::TRIG_POL_ACTIVE_HIGH;
  bool hasTriggerDelay = false;
  int triggerDelayUs = 0;

  // Makes every recorded setting on camera, in the order above; returns 0, or
  // the result of the first that failed (the later ones are not sent then).
  int applyTo(OCamera &camera) const;
};

}  // namespace detail
}  // namespace ocamera
