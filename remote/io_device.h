// What the inputs, outputs and LED objects have in common: a device class per
// service, an object that holds the session (token, device, device manager),
// the factory that opens the session and creates the service instance, and
// destroy. Each service only supplies a traits struct and its operations:
//
//   struct Traits {
//     using Interface = OCameraInputs;                     // the exported interface
//     static constexpr const char *kFactory = "...";       // name of the exported factory
//     static constexpr const char *kTypeName = "...";      // device type, registered and looked up
//     static constexpr const char *kNotFound = "...";      // message when no such device is listed
//     static constexpr TokenCall create = ..., destroy = ...;  // the service's create and destroy
//   };
#pragma once

#include <boost/make_shared.hpp>
#include <boost/pointer_cast.hpp>
#include <boost/shared_ptr.hpp>
#include <string>

#include "ocamH.h"
#include "ocamera/export.h"
#include "remote/call.h"
#include "support/device.h"
#include "support/device_manager.h"
#include "support/exception.h"
#include "support/log.h"
#include "support/soap_cache.h"

namespace ocamera {
namespace remote {

// Port of the inputs, outputs and LED services on a camera at its factory default.
constexpr int kIoServicePort = 8080;
// Access mode "SERVICE-READ-WRITE" of "rdev:open".
constexpr int kAccessReadWrite = 3;

// Shape of the create and destroy calls of the three services: token in, status out.
using TokenCall = int (*)(struct soap *, const char *, const char *, int, int &);

// "192.168.0.42:8080": the address the static factories use.
inline std::string defaultIoAddress() {
  return std::string(kFactoryDefaultAddress) + ":" + std::to_string(kIoServicePort);
}

// The device class of one service. It adds nothing to the session; being a class
// of its own lets the device manager make it by type name and the factory tell it
// apart from the devices of the other services.
template <class Traits>
class IoDevice : public mox::webservice::client::Device {
 public:
  IoDevice(const mox::webservice::Descriptor *descriptor, mox::webservice::client::SoapCache &cache)
      : Device(descriptor, cache) {}
  ~IoDevice() override {}
};

// The implementation object of one service: the session it owns and the way
// every operation is sent. Operations of several threads may run at once, each
// on a context of its own.
template <class ServiceTraits>
class IoObject : public ServiceTraits::Interface {
 public:
  using Traits = ServiceTraits;
  using Interface = typename Traits::Interface;
  using DeviceClass = IoDevice<Traits>;
  using DeviceManager = mox::webservice::client::DeviceManager;

  IoObject(int token, boost::shared_ptr<DeviceClass> device,
           boost::shared_ptr<DeviceManager> manager)
      : token_(token), device_(std::move(device)), manager_(std::move(manager)) {}
  virtual ~IoObject() {}

  // Sends the service's destroy request (its outcome does not matter), closes
  // the session and frees the object. No "iClose" is sent.
  void destroy() override {
    call(Traits::destroy);
    device_->close();
    // The device borrows its contexts from the manager's cache: it goes first.
    device_.reset();
    manager_.reset();
    delete this;
  }

 protected:
  // One request with the session's token first; the reply's status, or -1 when
  // the request failed.
  template <class Fn, class... In>
  int call(Fn fn, In... in) {
    return callStatus(device_->soapCache(), fn, token_, in...);
  }

 private:
  int token_;
  boost::shared_ptr<DeviceClass> device_;
  boost::shared_ptr<DeviceManager> manager_;
};

// The factory of a service object: lists the camera's devices, opens a session
// on the first device of the service's type, creates the service instance and
// wraps the session in a new Object. Any web-service failure on the way is
// written to standard error as one line and gives null, after closing the
// session if it had been opened. Other exceptions reach the caller.
template <class Object>
typename Object::Interface *createIoObject(const char *address) {
  using Traits = typename Object::Traits;
  using DeviceClass = typename Object::DeviceClass;
  using mox::webservice::Descriptor;
  using mox::webservice::WebServiceException;
  using mox::webservice::client::Device;
  using mox::webservice::client::DeviceManager;
  using mox::webservice::client::SoapCache;
  using mox::webservice::client::SoapGuard;

  if (address == nullptr) {
    support::logLine(LogSource::Creation,
                     std::string(Traits::kFactory) + ": no camera address given");
    return nullptr;
  }
  auto manager = boost::make_shared<DeviceManager>(std::string(address), true, std::string(), 0);
  boost::shared_ptr<DeviceClass> device;
  try {
    manager->registerType(Traits::kTypeName, [](const Descriptor *descriptor, SoapCache &cache) {
      return boost::shared_ptr<Device>(new DeviceClass(descriptor, cache));
    });
    device = boost::dynamic_pointer_cast<DeviceClass>(manager->createDevice(Traits::kTypeName));
    if (!device) throw WebServiceException(Traits::kNotFound);
    device->open(true, kAccessReadWrite);

    SoapGuard lease(device->soapCache(), true);
    int status = 0;
    const int result =
        Traits::create(lease.context(), lease.endpoint(), "", device->token(), status);
    if (result == SOAP_OK && status != 0) throw WebServiceException("Create failed");
    lease.finish();  // raises the fault text when the request failed
    return new Object(device->token(), device, manager);
  } catch (const WebServiceException &e) {
    ocamera::support::logLine(ocamera::LogSource::Creation, e.what());
    if (device) device->close();
    device.reset();
    manager.reset();
    return nullptr;
  }
}

}  // namespace remote
}  // namespace ocamera
