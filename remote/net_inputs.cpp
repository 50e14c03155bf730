#include "remote/net_inputs.h"

#include "ocamH.h"
#include "remote/factory.h"

namespace ocamera {
namespace remote {
namespace {

// The selector travels as its wire string, or as a decimal number when it has none.
ocam::sinp__eCameraInput wire(OCameraInputs::eCameraInput enIn) {
  return static_cast<ocam::sinp__eCameraInput>(enIn);
}

}  // namespace

ONetCameraInputs::ONetCameraInputs(std::unique_ptr<ServiceSession> session)
    : session_(std::move(session)) {}

ONetCameraInputs::~ONetCameraInputs() = default;

void ONetCameraInputs::destroy() {
  // Calls of other threads still running past the bound keep the object.
  if (!session_->endCalls()) return;
  session_->end(&ocam::soap_call_sinp__destroy);
  delete this;
}

int ONetCameraInputs::iOpen() { return session_->send(&ocam::soap_call_sinp__iOpen); }
int ONetCameraInputs::iClose() { return session_->send(&ocam::soap_call_sinp__iClose); }
int ONetCameraInputs::iGetInputs() { return session_->send(&ocam::soap_call_sinp__iGetInputs); }
int ONetCameraInputs::iGetInput(eCameraInput enIn) {
  return session_->send(&ocam::soap_call_sinp__iGetInput, wire(enIn));
}
int ONetCameraInputs::iSetTimeout(int iTimeout) {
  return session_->send(&ocam::soap_call_sinp__iSetTimeout, iTimeout);
}
int ONetCameraInputs::iWaitForInput(eCameraInput enIn, int iState) {
  return session_->send(&ocam::soap_call_sinp__iWaitForInput, wire(enIn), iState);
}
int ONetCameraInputs::iWaitForInputs(int iMask, int iState) {
  return session_->send(&ocam::soap_call_sinp__iWaitForInputs, iMask, iState);
}
int ONetCameraInputs::iWaitForInputChange(eCameraInput enIn) {
  return session_->send(&ocam::soap_call_sinp__iWaitForInputChange, wire(enIn));
}
int ONetCameraInputs::iWaitForInputsChange(int iMask) {
  return session_->send(&ocam::soap_call_sinp__iWaitForInputsChange, iMask);
}
int ONetCameraInputs::iClearEdges(int iMask) {
  return session_->send(&ocam::soap_call_sinp__iClearEdges, iMask);
}
// A slot without an operation on the camera: nothing is sent.
int ONetCameraInputs::iReserved() { return -1; }

}  // namespace remote
}  // namespace ocamera

OCameraInputs *CreateCameraInputs(const char *address) {
  using ocamera::remote::ONetCameraInputs;
  using ocamera::remote::ServiceSession;
  return ocamera::remote::createGuarded(
      "CreateCameraInputs", address, [](const std::string &where) -> OCameraInputs * {
        return new ONetCameraInputs(ServiceSession::open(where, ONetCameraInputs::kTypeName,
                                                         &ocam::soap_call_sinp__create));
      });
}

OCameraInputs *OCameraInputs::poCreateInterface() {
  return CreateCameraInputs(ocamera::kFactoryDefaultIoAddress);
}
