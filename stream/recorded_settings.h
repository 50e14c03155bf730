// The settings a stream makes on its camera at every start and recovery: the
// settings document of its options, updated by the stream's own setters, so
// that they can be made again on a new camera object after the camera was
// lost.
#pragma once

#include <ocamera/camera.h>
#include <ocamera/settings.h>

#include <string>

namespace ocamera {
namespace stream {

class RecordedSettings {
 public:
  // The stream's document. An entry's origin says whether a camera took its
  // value already (Recorded) or not yet (Given: from the options, or set
  // while the camera was lost).
  explicit RecordedSettings(Settings document = Settings());

  // A value of the stream's setters: accepted, a camera has taken it; else
  // it is to be made on the next camera (a failed request). A value outside
  // the table is not recorded (false).
  bool record(const std::string &name, const SettingValue &value, bool accepted);

  // Makes every entry on camera, in the table's order. An entry no camera
  // has accepted yet that this one refuses is dropped from the document and
  // named in *dropped ("triggerDelay (refused with -15)"); it does not fail
  // the set-up. Returns 0, or the result of the first other failure (the
  // later entries are not sent then), naming that entry in *failed.
  int applyTo(OCamera &camera, std::string *dropped, std::string *failed = nullptr);

  const Settings &document() const { return document_; }

 private:
  Settings document_;
};

}  // namespace stream
}  // namespace ocamera
