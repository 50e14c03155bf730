// ocamera::listDevices: the devices a camera's device manager announces (the
// camera itself, its inputs, outputs and LEDs), without opening any of them.
#pragma once

#include <ocamera/export.h>

#include <string>
#include <vector>

namespace ocamera {

// One entry of a camera's device list, as the device manager reports it.
struct DeviceInfo {
  int id = 0;               // the manager's number for the device
  std::string type;         // the device type, e.g. the camera or an I/O service
  std::string vendor;       // the vendor's name
  std::string description;  // a camera's ends in " [sensor <width>x<height> <layout>]"
  std::string version;      // "major.minor"
  int maxTimeout = 0;       // the session time-out in seconds (keep-alive at half of it)
  std::string status;       // the device's status text
};

// Asks the device manager at address (a host, "host:port" or "http://host:port";
// port 80 when none is given) for its devices and replaces *out with them.
// Returns 0 on success; -1 when the request failed (nothing answered, a fault,
// a malformed reply) or address or out is null, with the reason in *error when
// error is given. One request per call, on a connection of its own; thread-safe.
OCAMERA_API int listDevices(const char *address, std::vector<DeviceInfo> *out,
                            std::string *error = nullptr);

}  // namespace ocamera
