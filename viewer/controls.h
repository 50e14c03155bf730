// The page's controls: the library's settings table sent to the page (names,
// units, ranges, help), and settings documents from the page made on the
// camera. Every check of a value is the table's: the viewer keeps no ranges.
#pragma once

#include <ocamera/settings.h>

#include <mutex>
#include <string>
#include <vector>

#include "viewer/camera_link.h"

namespace ocam_viewer {

// What making settings came to.
struct ApplyOutcome {
  bool ok = false;
  int httpStatus = 200;  // 400 for a document the table refuses, 409 for a camera refusal
  std::string message;   // why not, naming the setting
  std::vector<std::string> applied;
};

class Controls {
 public:
  // Learns the sensor's geometry from the camera (after link.open()).
  explicit Controls(CameraLink &link);

  // The table as JSON: every setting with its fields, the value this viewer
  // set (if any) and the power-on value (the window: the whole sensor).
  std::string tableJson();

  // Checks a settings document (the library's JSON form; "format" may be
  // left out) against the table and makes it: the stream's own setters for
  // what the stream records (made again after every recovery), the camera
  // object for the rest; the window and the acquisition mode stop and start
  // the stream. Nothing is sent for a document the table refuses; the first
  // refusal of the camera ends it.
  ApplyOutcome apply(const std::string &json);
  // The camera's power-on settings, the window the whole sensor.
  ApplyOutcome reset();
  // What this viewer set and the camera accepted, with the exposure read back.
  std::string profileJson();

 private:
  ApplyOutcome applyDocument(const ocamera::Settings &doc);
  ocamera::Settings record() const;

  CameraLink &link_;
  ocamera::SensorGeometry sensor_;
  mutable std::mutex mutex_;  // record_
  ocamera::Settings record_;  // accepted, shown as the controls' values
  std::mutex applying_;       // one document at a time
};

}  // namespace ocam_viewer
