// The settings an application made through a stream, kept so that they can be
// made again on a new camera object after the camera was lost.
#pragma once

#include <ocamera/camera.h>

#include <string>

namespace ocamera {
namespace stream {

class RecordedSettings {
 public:
  enum Kind { kShutter, kGain, kFrameRate, kTriggerSource, kTriggerDelay, kKinds };

  // The values; a setter writes its value, then calls record().
  int shutterUs = 0;
  int gain = 0;
  float fps = 0;
  OCamera::eTrigSource triggerSource = OCamera::TRIG_SRC_SOFTWARE;
  OCamera::eTrigPolarity triggerPolarity = OCamera::TRIG_POL_ACTIVE_HIGH;
  int triggerDelayUs = 0;

  // A setting to make again; accepted: a camera has taken this value.
  void record(Kind kind, bool accepted);
  bool recorded(Kind kind) const { return entries_[kind].recorded; }

  // Makes every recorded setting on camera, in the order of Kind. A value no
  // camera has accepted yet (set while the camera was lost) that this one
  // refuses is dropped from the record and named in *dropped; it does not
  // fail the set-up. Returns 0, or the result of the first other failure
  // (the later settings are not sent then), naming that setting in *failed.
  int applyTo(OCamera &camera, std::string *dropped, std::string *failed = nullptr);

 private:
  int send(Kind kind, OCamera &camera) const;

  struct Entry {
    bool recorded = false;
    bool accepted = false;
  };
  Entry entries_[kKinds];
};

}  // namespace stream
}  // namespace ocamera
