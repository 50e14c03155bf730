// mox::webservice::client::DeviceManager: the client of a camera's device manager.
#pragma once

#include <boost/function.hpp>
#include <boost/shared_ptr.hpp>
#include <list>
#include <memory>
#include <string>

#include "support/descriptor.h"

namespace mox {
namespace webservice {
namespace client {

class Device;
class SoapCache;

// Makes a new, closed device from a descriptor and the manager's cache.
typedef boost::function<boost::shared_ptr<Device>(const Descriptor *, SoapCache &)> Factory;

// Owns the context cache of one address (four contexts, connect time-out 2 s, no
// read time-out), the last device listing and a registry of device factories.
// Used by one thread at a time; its cache is shared with the devices' threads.
// Devices it made must be closed before it is destroyed.
class DeviceManager {
 public:
  DeviceManager(const std::string &address, bool keepAlive, const std::string &proxyHost,
                unsigned short proxyPort);
  virtual ~DeviceManager();
  DeviceManager(const DeviceManager &) = delete;
  DeviceManager &operator=(const DeviceManager &) = delete;

  // Replaces any factory registered earlier under the same name.
  void registerType(const std::string &type, Factory factory);
  // Lists the devices and builds the first one of this type (compared exactly);
  // empty when none is listed; raises "type not registered" or the fault text.
  boost::shared_ptr<Device> createDevice(std::string type);
  // Refreshes the device list ("rdev:list"); on failure the list is empty and
  // the fault text is raised ("<address>: device list too long" for a list
  // over the reply limits).
  void list();

  const std::list<Descriptor> &devices() const;
  SoapCache &soapCache();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace client
}  // namespace webservice
}  // namespace mox
