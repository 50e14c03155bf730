// The camera factories: find the camera device, open a session on it, create
// the camera on the camera service and hand out an ONetCamera.
#include <boost/pointer_cast.hpp>
#include <boost/shared_ptr.hpp>
#include <memory>
#include <string>

#include "ocamH.h"
#include "ocamera/camera.h"
#include "ocamera/export.h"
#include "remote/camera_device.h"
#include "remote/camera_state.h"
#include "remote/net_camera.h"
#include "support/exception.h"
#include "support/log.h"
#include "support/soap_cache.h"

namespace {

// Access mode "SERVICE-READ-WRITE" of "rdev:open".
constexpr int kReadWrite = 3;

boost::shared_ptr<mox::webservice::client::Device> makeCameraDevice(
    const mox::webservice::Descriptor *descriptor, mox::webservice::client::SoapCache &cache) {
  return boost::shared_ptr<mox::webservice::client::Device>(
      new ONetCameraDevice(descriptor, cache));
}

}  // namespace

OCamera *CreateCameraInterface(OCamera::eCameraType type, const char *address) {
  using mox::webservice::WebServiceException;
  using mox::webservice::client::SoapGuard;

  if (!address) {
    ocamera::support::logLine(ocamera::LogSource::Creation,
                              "CreateCameraInterface: no camera address given");
    return nullptr;
  }
  // Destroying the state closes the session if it was opened.
  std::unique_ptr<ONetCameraState> state(new ONetCameraState(address));
  try {
    state->manager.registerType(ONetCameraDevice::kTypeName, &makeCameraDevice);
    boost::shared_ptr<ONetCameraDevice> device = boost::dynamic_pointer_cast<ONetCameraDevice>(
        state->manager.createDevice(ONetCameraDevice::kTypeName));
    if (!device) throw WebServiceException("Camera not found");
    device->open(true, kReadWrite);
    state->device = device;
    state->token = device->token();

    SoapGuard lease(device->soapCache(), true);
    int status = 0;
    const int result = ocam::soap_call_scam__create(
        lease.context(), lease.endpoint(), "", state->token, ocam::scam__eCameraType(type), status);
    if (result == SOAP_OK && status != 0) throw WebServiceException("Create failed");
    lease.finish();  // raises the fault text when the request failed
    return new ONetCamera(state.release());
  } catch (const WebServiceException &e) {
    ocamera::support::logLine(ocamera::LogSource::Creation, e.what());
    return nullptr;
  }
}

OCamera *OCamera::CreateCameraInterface(eCameraType type) {
  return ::CreateCameraInterface(type, ocamera::kFactoryDefaultAddress);
}
