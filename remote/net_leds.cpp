// ONetCameraLEDs: the camera's status LEDs over the "sled" service.
#include "remote/net_io.h"

namespace ocamera {
namespace remote {
namespace {

// The LED colour travels as its wire string, or as a decimal number when it has none.
ocam::sled__eCameraLED wire(OCameraLEDs::eCameraLED enLED) {
  return static_cast<ocam::sled__eCameraLED>(enLED);
}

}  // namespace

int ONetCameraLEDs::iOpen() { return call(ocam::soap_call_sled__iOpen); }
int ONetCameraLEDs::iClose() { return call(ocam::soap_call_sled__iClose); }
int ONetCameraLEDs::iGetLEDs() { return call(ocam::soap_call_sled__iGetLEDs); }
int ONetCameraLEDs::iGetLED(eCameraLED enLED) {
  return call(ocam::soap_call_sled__iGetLED, wire(enLED));
}
int ONetCameraLEDs::iSetLEDs(int iMask, int iState) {
  return call(ocam::soap_call_sled__iSetLEDs, iMask, iState);
}
int ONetCameraLEDs::iSetLED(eCameraLED enLED, int iState) {
  return call(ocam::soap_call_sled__iSetLED, wire(enLED), iState);
}
int ONetCameraLEDs::iToggleLEDs(int iMask) {
  return call(ocam::soap_call_sled__iToggleLEDs, iMask);
}
int ONetCameraLEDs::iToggleLED(eCameraLED enLED) {
  return call(ocam::soap_call_sled__iToggleLED, wire(enLED));
}

}  // namespace remote
}  // namespace ocamera

OCameraLEDs *CreateCameraLEDs(const char *address) {
  return ocamera::remote::createIoObject<ocamera::remote::ONetCameraLEDs>(address);
}

OCameraLEDs *OCameraLEDs::poCreateInterface() {
  return CreateCameraLEDs(ocamera::remote::defaultIoAddress().c_str());
}
