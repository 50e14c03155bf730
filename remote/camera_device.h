// ONetCameraDevice: the session on a camera's "ONetCamera" device.
#pragma once

#include "support/device.h"

// Adds nothing to the session; being a class of its own lets the device manager
// make it by type name and the camera factory tell it apart from other devices.
class ONetCameraDevice : public mox::webservice::client::Device {
 public:
  // The type name the device is registered and looked up under.
  static constexpr const char *kTypeName = "ONetCamera";

  ONetCameraDevice(const mox::webservice::Descriptor *descriptor,
                   mox::webservice::client::SoapCache &cache)
      : Device(descriptor, cache) {}
  ~ONetCameraDevice() override {}
};
