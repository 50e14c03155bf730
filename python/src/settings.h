// The settings document in Python (settings.cpp): ocamera.Settings and its
// helpers, and the settings operations of ocamera.Camera.
#pragma once

#include <ocamera/camera.h>
#include <ocamera/settings.h>
#include <pybind11/stl.h>

#include <functional>

#include "common.h"

namespace ocamera_python {

// What the settings operations need of a Python Camera (camera.cpp has its type).
struct CameraHooks {
  // Calls f on the camera object without the GIL, as the camera's other
  // operations do (ClosedError after close()).
  std::function<void(py::handle camera, const std::function<void(OCamera &)> &f)> run;
  // A window the camera took: the shape of the images it delivers.
  std::function<void(py::handle camera, int width, int height)> windowSet;
};

// ocamera.Settings, SettingOrigin, SensorGeometry, ApplyResult, SettingRefusal
// and setting_table().
void defineSettingsDocument(py::module_ &m);
// Camera.apply, reset_settings, session_record, read_settings and
// sensor_geometry, on the class made by defineCamera.
void defineCameraSettings(py::object cameraClass, CameraHooks hooks);

}  // namespace ocamera_python
