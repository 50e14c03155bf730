// What ocam has set on a camera, kept between runs: the camera reports back
// almost none of its settings, so 'ocam set', 'grab' and 'config' keep a
// record of what they made, one small file per camera address under the
// user's state directory ($XDG_STATE_HOME/ocamera/cameras, or
// ~/.local/state/ocamera/cameras). 'config show' and 'config save' report it,
// 'grab' takes its window from it.
//
// The file is a settings document in the library's JSON form, replaced as a
// whole on every change. A file that is not the user's own regular file, is
// too large or does not read as a settings document is refused with a
// message naming it, never used in part.
#pragma once

#include <ocamera/settings.h>

#include <string>

namespace ocam_cli {

class CameraRecord {
 public:
  // The record of the camera at `address` (as given to -a; "host" and
  // "host:80" are the same camera). Nothing is read yet.
  explicit CameraRecord(const std::string &address);

  // The file, or empty when neither XDG_STATE_HOME nor HOME says where the
  // user's state directory is (nothing is then recorded).
  const std::string &path() const { return path_; }

  // The settings recorded, each with SettingOrigin::Recorded; an empty
  // document when there is no file. Failure when the file cannot be trusted.
  ocamera::Settings load() const;

  // Takes what a command made on the camera over the record (entries,
  // registers, and the sensor geometry when known) and writes it. A record
  // that cannot be written or read back is reported on standard error, and
  // the command goes on: the camera was changed all the same.
  void update(const ocamera::Settings &made) const;
  // Replaces the record with `all` (after a reset).
  void replace(const ocamera::Settings &all) const;

 private:
  void write(const ocamera::Settings &settings) const;
  std::string address_;
  std::string path_;
};

// The user's state directory for ocamera, or empty when none can be named.
std::string stateDirectory();

}  // namespace ocam_cli
