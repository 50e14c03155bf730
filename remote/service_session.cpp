#include "remote/service_session.h"

#include <cstring>

#include "remote/factory.h"

namespace ocamera {
namespace remote {
namespace {

using mox::webservice::Descriptor;
using mox::webservice::client::Device;
using mox::webservice::client::SoapCache;

boost::shared_ptr<Device> makeDevice(const Descriptor *descriptor, SoapCache &cache) {
  return boost::shared_ptr<Device>(new Device(descriptor, cache));
}

// "Camera not found" for "ONetCamera", "CameraInputs not found" for
// "ONetCameraInputs".
std::string notFound(const char *typeName) {
  const char *kind = std::strncmp(typeName, "ONet", 4) == 0 ? typeName + 4 : typeName;
  return std::string(kind) + " not found";
}

}  // namespace

ServiceSession::ServiceSession(const std::string &address)
    : manager_(std::make_unique<mox::webservice::client::DeviceManager>(address, true,
                                                                        std::string(), 0)) {}

ServiceSession::~ServiceSession() {
  if (device_) device_->close();
  device_.reset();
  manager_.reset();
}

void ServiceSession::openDevice(const char *typeName) {
  manager_->registerType(typeName, &makeDevice);
  boost::shared_ptr<Device> device;
  duringStep("listing the devices", [&] { device = manager_->createDevice(typeName); });
  if (!device)
    throw mox::webservice::WebServiceException(
        notFound(typeName), std::string("the camera lists no ") + typeName + " device");
  duringStep("opening a session", [&] { device->open(true, kAccessReadWrite); });
  device_ = device;
  token_ = device->token();
  description_ = device->descriptor().description;
}

bool ServiceSession::endCalls() { return cache().closeCalls(kCallsEndBound); }

int ServiceSession::end(TokenCall destroy) {
  const int status =
      callStatusAs(mox::webservice::client::LeaseKind::kUpkeep, cache(), destroy, token_);
  if (device_) device_->close();
  return status;
}

}  // namespace remote
}  // namespace ocamera
