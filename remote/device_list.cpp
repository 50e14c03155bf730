// The public device list: one "rdev:list" through a device manager of its own.
#include <exception>
#include <list>
#include <string>
#include <vector>

#include "ocamera/devices.h"
#include "support/descriptor.h"
#include "support/device_manager.h"
#include "support/exception.h"

namespace ocamera {

int listDevices(const char *address, std::vector<DeviceInfo> *out, std::string *error) {
  if (!address || !out) {
    if (error) *error = !address ? "no address given" : "no list to fill given";
    return -1;
  }
  try {
    // No keep-alive: the manager lives for this one request.
    mox::webservice::client::DeviceManager manager(address, false, "", 0);
    manager.list();
    std::vector<DeviceInfo> devices;
    for (const mox::webservice::Descriptor &d : manager.devices()) {
      DeviceInfo info;
      info.id = d.id;
      info.type = d.type;
      info.vendor = d.vendor;
      info.description = d.description;
      info.version = std::to_string(d.versionMajor) + "." + std::to_string(d.versionMinor);
      info.maxTimeout = d.maxTimeout;
      info.status = d.status;
      devices.push_back(std::move(info));
    }
    out->swap(devices);
    if (error) error->clear();
    return 0;
  } catch (const mox::webservice::WebServiceException &e) {
    if (error) *error = std::string("cannot list the devices at ") + address + ": " + e.reason();
    return -1;
  } catch (const std::exception &e) {
    if (error) *error = e.what();
    return -1;
  }
}

}  // namespace ocamera
