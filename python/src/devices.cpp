// ocamera.list_devices: the device list of a camera's device manager.
#include <ocamera/devices.h>
#include <ocamera/export.h>
#include <pybind11/stl.h>

#include <optional>
#include <string>
#include <vector>

#include "common.h"

namespace ocamera_python {

void defineDevices(py::module_ &m) {
  using D = ocamera::DeviceInfo;
  py::class_<D>(m, "DeviceInfo", "One device of a camera's device list")
      .def_readonly("id", &D::id, "The device manager's number for the device.")
      .def_readonly("type", &D::type, "The device type, the camera or one of its I/O services.")
      .def_readonly("vendor", &D::vendor, "The vendor's name.")
      .def_readonly("description", &D::description,
                    "The device's description; a camera's ends in its geometry, "
                    "\" [sensor 1280x1024 GRGR]\".")
      .def_readonly("version", &D::version, "\"major.minor\".")
      .def_readonly("max_timeout", &D::maxTimeout,
                    "The session time-out in seconds (the keep-alive runs at half of it).")
      .def_readonly("status", &D::status, "The device's status text.")
      .def("__repr__", [](const D &d) {
        return "<ocamera.DeviceInfo id=" + std::to_string(d.id) + " type=" + d.type + ">";
      });
  m.def(
      "list_devices",
      [](std::optional<std::string> address) {
        const std::string at = address ? *address : ocamera::kFactoryDefaultAddress;
        std::vector<D> devices;
        std::string error;
        int result;
        {
          py::gil_scoped_release unlocked;
          result = ocamera::listDevices(at.c_str(), &devices, &error);
        }
        if (result != 0) raiseCreationError("device list", at, error);
        return devices;
      },
      py::arg("address") = py::none(),
      "The devices (a list of DeviceInfo) the device manager at address announces "
      "(host, host:port, http://host:port; None: the factory default, port 80), without "
      "opening any of them. CreationError when it cannot be asked.");
}

}  // namespace ocamera_python
