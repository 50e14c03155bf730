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
      .def_readonly("id", &D::id)
      .def_readonly("type", &D::type)
      .def_readonly("vendor", &D::vendor)
      .def_readonly("description", &D::description)
      .def_readonly("version", &D::version)
      .def_readonly("max_timeout", &D::maxTimeout, "session time-out in seconds")
      .def_readonly("status", &D::status)
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
      "The devices the camera's device manager announces; CreationError when it cannot "
      "be asked.");
}

}  // namespace ocamera_python
