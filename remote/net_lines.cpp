#include "remote/net_lines.h"

#include "ocamH.h"
#include "remote/factory.h"

namespace ocamera {
namespace remote {
namespace {

// A generated call whose first parameter after the token is the service's line
// enumeration, taking the line as an int instead.
template <auto Call>
struct ByLine;
template <class Line, class... Rest,
          int (*Call)(struct soap *, const char *, const char *, int, Line, Rest...)>
struct ByLine<Call> {
  static int send(struct soap *ctx, const char *endpoint, const char *action, int token, int line,
                  Rest... rest) {
    return Call(ctx, endpoint, action, token, static_cast<Line>(line), rest...);
  }
};

// Makes the object of one service for an address; the factories of both
// services are this with their service.
template <class Interface>
Interface *createLines(const char *factory, const char *address, const LineService &service) {
  return createGuarded(factory, address, [&service](const std::string &where) -> Interface * {
    return new ONetSwitchedLines(service,
                                 ServiceSession::open(where, service.typeName, service.create));
  });
}

}  // namespace

// The two services have the same requests under their own prefix and names.
#define OCAMERA_LINE_SERVICE(type, prefix, one, all)                                 \
  {                                                                                  \
    type, &ocam::soap_call_##prefix##__create, &ocam::soap_call_##prefix##__destroy, \
        &ocam::soap_call_##prefix##__iOpen, &ocam::soap_call_##prefix##__iClose,     \
        &ocam::soap_call_##prefix##__iGet##all,                                      \
        &ByLine<&ocam::soap_call_##prefix##__iGet##one>::send,                       \
        &ocam::soap_call_##prefix##__iToggle##all,                                   \
        &ByLine<&ocam::soap_call_##prefix##__iToggle##one>::send,                    \
        &ocam::soap_call_##prefix##__iSet##all,                                      \
        &ByLine<&ocam::soap_call_##prefix##__iSet##one>::send                        \
  }

const LineService kOutputService = OCAMERA_LINE_SERVICE("ONetCameraOutputs", sout, Output, Outputs);
const LineService kLedService = OCAMERA_LINE_SERVICE("ONetCameraLEDs", sled, LED, LEDs);

#undef OCAMERA_LINE_SERVICE

ONetSwitchedLines::ONetSwitchedLines(const LineService &service,
                                     std::unique_ptr<ServiceSession> session)
    : service_(service), session_(std::move(session)) {}

ONetSwitchedLines::~ONetSwitchedLines() = default;

void ONetSwitchedLines::destroy() {
  // Calls of other threads still running past the bound keep the object.
  if (!session_->endCalls()) return;
  session_->end(service_.destroy);
  delete this;
}

// The two interfaces name the same operations differently; each pair below is
// one request of the object's service.
int ONetSwitchedLines::iOpen() { return session_->send(service_.open); }
int ONetSwitchedLines::iClose() { return session_->send(service_.close); }
int ONetSwitchedLines::iGetOutputs() { return session_->send(service_.getAll); }
int ONetSwitchedLines::iGetLEDs() { return iGetOutputs(); }
int ONetSwitchedLines::iGetOutput(eCameraOutput enOut) {
  return session_->send(service_.get, static_cast<int>(enOut));
}
int ONetSwitchedLines::iGetLED(eCameraLED enLED) {
  return iGetOutput(static_cast<eCameraOutput>(enLED));
}
int ONetSwitchedLines::iSetOutputs(int iMask, int iState) {
  return session_->send(service_.setAll, iMask, iState);
}
int ONetSwitchedLines::iSetLEDs(int iMask, int iState) { return iSetOutputs(iMask, iState); }
int ONetSwitchedLines::iSetOutput(eCameraOutput enOut, int iState) {
  return session_->send(service_.set, static_cast<int>(enOut), iState);
}
int ONetSwitchedLines::iSetLED(eCameraLED enLED, int iState) {
  return iSetOutput(static_cast<eCameraOutput>(enLED), iState);
}
int ONetSwitchedLines::iToggleOutputs(int iMask) {
  return session_->send(service_.toggleAll, iMask);
}
int ONetSwitchedLines::iToggleLEDs(int iMask) { return iToggleOutputs(iMask); }
int ONetSwitchedLines::iToggleOutput(eCameraOutput enOut) {
  return session_->send(service_.toggle, static_cast<int>(enOut));
}
int ONetSwitchedLines::iToggleLED(eCameraLED enLED) {
  return iToggleOutput(static_cast<eCameraOutput>(enLED));
}

}  // namespace remote
}  // namespace ocamera

OCameraOutputs *CreateCameraOutputs(const char *address) {
  return ocamera::remote::createLines<OCameraOutputs>("CreateCameraOutputs", address,
                                                      ocamera::remote::kOutputService);
}

OCameraOutputs *OCameraOutputs::poCreateInterface() {
  return CreateCameraOutputs(ocamera::kFactoryDefaultIoAddress);
}

OCameraLEDs *CreateCameraLEDs(const char *address) {
  return ocamera::remote::createLines<OCameraLEDs>("CreateCameraLEDs", address,
                                                   ocamera::remote::kLedService);
}

OCameraLEDs *OCameraLEDs::poCreateInterface() {
  return CreateCameraLEDs(ocamera::kFactoryDefaultIoAddress);
}
