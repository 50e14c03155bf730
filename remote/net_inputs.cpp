// ONetCameraInputs: the camera's digital inputs over the "sinp" service.
#include "remote/net_io.h"

namespace ocamera {
namespace remote {
namespace {

// The selector travels as its wire string, or as a decimal number when it has none.
ocam::sinp__eCameraInput wire(OCameraInputs::eCameraInput enIn) {
  return static_cast<ocam::sinp__eCameraInput>(enIn);
}

}  // namespace

int ONetCameraInputs::iOpen() { return call(ocam::soap_call_sinp__iOpen); }
int ONetCameraInputs::iClose() { return call(ocam::soap_call_sinp__iClose); }
int ONetCameraInputs::iGetInputs() { return call(ocam::soap_call_sinp__iGetInputs); }
int ONetCameraInputs::iGetInput(eCameraInput enIn) {
  return call(ocam::soap_call_sinp__iGetInput, wire(enIn));
}
int ONetCameraInputs::iSetTimeout(int iTimeout) {
  return call(ocam::soap_call_sinp__iSetTimeout, iTimeout);
}
int ONetCameraInputs::iWaitForInput(eCameraInput enIn, int iState) {
  return call(ocam::soap_call_sinp__iWaitForInput, wire(enIn), iState);
}
int ONetCameraInputs::iWaitForInputs(int iMask, int iState) {
  return call(ocam::soap_call_sinp__iWaitForInputs, iMask, iState);
}
int ONetCameraInputs::iWaitForInputChange(eCameraInput enIn) {
  return call(ocam::soap_call_sinp__iWaitForInputChange, wire(enIn));
}
int ONetCameraInputs::iWaitForInputsChange(int iMask) {
  return call(ocam::soap_call_sinp__iWaitForInputsChange, iMask);
}
int ONetCameraInputs::iClearEdges(int iMask) {
  return call(ocam::soap_call_sinp__iClearEdges, iMask);
}
// A slot without an operation on the camera: nothing is sent.
int ONetCameraInputs::iReserved() { return -1; }

}  // namespace remote
}  // namespace ocamera

OCameraInputs *CreateCameraInputs(const char *address) {
  return ocamera::remote::createIoObject<ocamera::remote::ONetCameraInputs>(address);
}

OCameraInputs *OCameraInputs::poCreateInterface() {
  return CreateCameraInputs(ocamera::remote::defaultIoAddress().c_str());
}
