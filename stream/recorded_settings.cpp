// Replaying the recorded settings.
#include "stream/recorded_settings.h"

namespace ocamera {
namespace stream {

namespace {
const char *const kNames[] = {"shutter time", "gain", "frame rate", "trigger source",
                              "trigger delay"};
}  // namespace

void RecordedSettings::record(Kind kind, bool accepted) {
  entries_[kind].recorded = true;
  entries_[kind].accepted = accepted;
}

int RecordedSettings::send(Kind kind, OCamera &camera) const {
  switch (kind) {
    case kShutter:
      return camera.setShutterTime(shutterUs);
    case kGain:
      return camera.setGain(gain);
    case kFrameRate:
      return camera.setFrameRate(fps);
    case kTriggerSource:
      return camera.setTriggerSource(triggerSource, triggerPolarity);
    case kTriggerDelay:
      return camera.setTriggerDelay(triggerDelayUs);
    case kKinds:
      break;
  }
  return -1;
}

int RecordedSettings::applyTo(OCamera &camera, std::string *dropped, std::string *failed) {
  for (int k = 0; k < kKinds; ++k) {
    Entry &e = entries_[k];
    if (!e.recorded) continue;
    const int rc = send(static_cast<Kind>(k), camera);
    if (rc == 0) {
      e.accepted = true;
    } else if (!e.accepted && rc != -1) {
      e.recorded = false;
      if (dropped) {
        if (!dropped->empty()) *dropped += ", ";
        *dropped += std::string(kNames[k]) + " (refused with " + std::to_string(rc) + ")";
      }
    } else {
      if (failed) *failed = kNames[k];
      return rc;
    }
  }
  return 0;
}

}  // namespace stream
}  // namespace ocamera
