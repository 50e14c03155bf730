// ONetCameraInputs, ONetCameraOutputs and ONetCameraLEDs: the remote
// implementations of the I/O interfaces, one request of the inputs (sinp),
// outputs (sout) or LED (sled) service per operation.
#pragma once

#include "ocamera/inputs.h"
#include "ocamera/leds.h"
#include "ocamera/outputs.h"
#include "remote/io_device.h"

namespace ocamera {
namespace remote {

struct InputsTraits {
  using Interface = OCameraInputs;
  static constexpr const char *kFactory = "CreateCameraInputs";
  static constexpr const char *kTypeName = "ONetCameraInputs";
  static constexpr const char *kNotFound = "CameraInputs not found";
  static constexpr TokenCall create = ocam::soap_call_sinp__create;
  static constexpr TokenCall destroy = ocam::soap_call_sinp__destroy;
};

struct OutputsTraits {
  using Interface = OCameraOutputs;
  static constexpr const char *kFactory = "CreateCameraOutputs";
  static constexpr const char *kTypeName = "ONetCameraOutputs";
  static constexpr const char *kNotFound = "CameraOutputs not found";
  static constexpr TokenCall create = ocam::soap_call_sout__create;
  static constexpr TokenCall destroy = ocam::soap_call_sout__destroy;
};

struct LEDsTraits {
  using Interface = OCameraLEDs;
  static constexpr const char *kFactory = "CreateCameraLEDs";
  static constexpr const char *kTypeName = "ONetCameraLEDs";
  static constexpr const char *kNotFound = "CameraLEDs not found";
  static constexpr TokenCall create = ocam::soap_call_sled__create;
  static constexpr TokenCall destroy = ocam::soap_call_sled__destroy;
};

using ONetCameraInputsDevice = IoDevice<InputsTraits>;
using ONetCameraOutputsDevice = IoDevice<OutputsTraits>;
using ONetCameraLEDsDevice = IoDevice<LEDsTraits>;

class ONetCameraInputs final : public IoObject<InputsTraits> {
 public:
  using IoObject::IoObject;
  int iOpen() override;
  int iClose() override;
  int iGetInputs() override;
  int iGetInput(eCameraInput enIn) override;
  int iSetTimeout(int iTimeout) override;
  int iWaitForInput(eCameraInput enIn, int iState) override;
  int iWaitForInputs(int iMask, int iState) override;
  int iWaitForInputChange(eCameraInput enIn) override;
  int iWaitForInputsChange(int iMask) override;
  int iClearEdges(int iMask) override;
  int iReserved() override;
};

class ONetCameraOutputs final : public IoObject<OutputsTraits> {
 public:
  using IoObject::IoObject;
  int iOpen() override;
  int iClose() override;
  int iGetOutputs() override;
  int iGetOutput(eCameraOutput enOut) override;
  int iSetOutputs(int iMask, int iState) override;
  int iSetOutput(eCameraOutput enOut, int iState) override;
  int iToggleOutputs(int iMask) override;
  int iToggleOutput(eCameraOutput enOut) override;
};

class ONetCameraLEDs final : public IoObject<LEDsTraits> {
 public:
  using IoObject::IoObject;
  int iOpen() override;
  int iClose() override;
  int iGetLEDs() override;
  int iGetLED(eCameraLED enLED) override;
  int iSetLEDs(int iMask, int iState) override;
  int iSetLED(eCameraLED enLED, int iState) override;
  int iToggleLEDs(int iMask) override;
  int iToggleLED(eCameraLED enLED) override;
};

}  // namespace remote
}  // namespace ocamera
