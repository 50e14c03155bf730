// ONetSwitchedLines: the camera's digital outputs ("sout") and status LEDs
// ("sled"). On the camera both are the same kind of thing, a word of switched
// lines that is read, set and toggled by mask or by line, and so one class
// carries out both interfaces; an object talks to one service and is handed
// out as that service's interface only.
#pragma once

#include <memory>

#include "ocamera/leds.h"
#include "ocamera/outputs.h"
#include "remote/service_session.h"

namespace ocamera {
namespace remote {

// The requests of one service of switched lines. A line selector travels as an
// int and is given to the service as its own enumeration.
struct LineService {
  using MaskCall = int (*)(struct soap *, const char *, const char *, int, int, int &);
  using MaskStateCall = int (*)(struct soap *, const char *, const char *, int, int, int, int &);

  const char *typeName;  // the device type of the service's sessions
  TokenCall create, destroy, open, close, getAll;
  MaskCall get, toggleAll, toggle;
  MaskStateCall setAll, set;
};

extern const LineService kOutputService;
extern const LineService kLedService;

class ONetSwitchedLines final : public OCameraOutputs, public OCameraLEDs {
 public:
  ONetSwitchedLines(const LineService &service, std::unique_ptr<ServiceSession> session);

  // Ends the calls in flight (ServiceSession::endCalls), sends the service's
  // destroy request (its outcome does not matter), closes the session and
  // frees the object. No "iClose" is sent.
  void destroy() override;
  int iOpen() override;
  int iClose() override;
  int iGetOutputs() override;
  int iGetLEDs() override;
  int iGetOutput(eCameraOutput enOut) override;
  int iGetLED(eCameraLED enLED) override;
  int iSetOutputs(int iMask, int iState) override;
  int iSetLEDs(int iMask, int iState) override;
  int iSetOutput(eCameraOutput enOut, int iState) override;
  int iSetLED(eCameraLED enLED, int iState) override;
  int iToggleOutputs(int iMask) override;
  int iToggleLEDs(int iMask) override;
  int iToggleOutput(eCameraOutput enOut) override;
  int iToggleLED(eCameraLED enLED) override;

 private:
  ~ONetSwitchedLines();  // objects end through destroy()

  const LineService &service_;
  std::unique_ptr<ServiceSession> session_;
};

}  // namespace remote
}  // namespace ocamera
