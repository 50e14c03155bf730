// ONetCameraOutputs: the camera's digital outputs over the "sout" service.
#include "remote/net_io.h"

namespace ocamera {
namespace remote {
namespace {

// The output travels as its wire string, or as a decimal number when it has none.
ocam::sout__eCameraOutput wire(OCameraOutputs::eCameraOutput enOut) {
  return static_cast<ocam::sout__eCameraOutput>(enOut);
}

}  // namespace

int ONetCameraOutputs::iOpen() { return call(ocam::soap_call_sout__iOpen); }
int ONetCameraOutputs::iClose() { return call(ocam::soap_call_sout__iClose); }
int ONetCameraOutputs::iGetOutputs() { return call(ocam::soap_call_sout__iGetOutputs); }
int ONetCameraOutputs::iGetOutput(eCameraOutput enOut) {
  return call(ocam::soap_call_sout__iGetOutput, wire(enOut));
}
int ONetCameraOutputs::iSetOutputs(int iMask, int iState) {
  return call(ocam::soap_call_sout__iSetOutputs, iMask, iState);
}
int ONetCameraOutputs::iSetOutput(eCameraOutput enOut, int iState) {
  return call(ocam::soap_call_sout__iSetOutput, wire(enOut), iState);
}
int ONetCameraOutputs::iToggleOutputs(int iMask) {
  return call(ocam::soap_call_sout__iToggleOutputs, iMask);
}
int ONetCameraOutputs::iToggleOutput(eCameraOutput enOut) {
  return call(ocam::soap_call_sout__iToggleOutput, wire(enOut));
}

}  // namespace remote
}  // namespace ocamera

OCameraOutputs *CreateCameraOutputs(const char *address) {
  return ocamera::remote::createIoObject<ocamera::remote::ONetCameraOutputs>(address);
}

OCameraOutputs *OCameraOutputs::poCreateInterface() {
  return CreateCameraOutputs(ocamera::remote::defaultIoAddress().c_str());
}
